#include "engine/sprite/sprite.h"

#include <algorithm>
#include <cmath>

#include "engine/directx/directx.h"
#include "engine/draw/dxdraws.h"
#include "engine/sprite/dx_sprite_engine.h"
#include "framework/filer.h"

namespace {

void EraseOne(std::vector<TSprite*>& list, TSprite* s) {
  // Sprites leave mostly from the end (the dead list, the newest children).
  auto it = std::find(list.rbegin(), list.rend(), s);
  if (it != list.rend()) list.erase(std::next(it).base());
}

}  // namespace

int32_t WrapInt(int32_t a, int32_t b) {
  if (b == 0) return a;
  int64_t r = static_cast<int64_t>(a) % b;
  if (r < 0) r += b;
  return static_cast<int32_t>(r);
}

TRect SpriteRect(double x, double y, int32_t w, int32_t h) {
  // Positions far off the surface saturate instead of overflowing.
  auto clamp = [](int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
  };
  int64_t l = Round(x), t = Round(y);
  return TRect{clamp(l), clamp(t), clamp(l + w), clamp(t + h)};
}

// ---- TSprite ----------------------------------------------------------------

TSprite::TSprite(TSprite* AParent) : parent_(AParent) {
  if (AParent) {
    AParent->AddChild(this);
    auto* e = dynamic_cast<TSpriteEngine*>(AParent);
    engine_ = e ? e : AParent->engine_;
    if (engine_) ++engine_->spriteCount_;
  }
}

TSprite::~TSprite() {
  if (collectionItem_) collectionItem_->sprite_ = nullptr;
  SetGroupNumber(-1);
  SetSelected(false);
  Clear();
  if (parent_) {
    if (engine_) --engine_->spriteCount_;
    parent_->RemoveChild(this);
    if (engine_) EraseOne(engine_->deadList_, this);
  }
}

void TSprite::AddChild(TSprite* Sprite) {
  items_.push_back(Sprite);
  InsertByZ(Sprite);
}

void TSprite::RemoveChild(TSprite* Sprite) {
  EraseOne(items_, Sprite);
  EraseOne(drawList_, Sprite);
  if (items_.empty()) {
    items_.shrink_to_fit();
    drawList_.shrink_to_fit();
  }
}

void TSprite::InsertByZ(TSprite* Sprite) {
  // Lands before the first sibling whose Z is not smaller, so below the
  // siblings of equal Z.
  int32_t lo = 0, hi = static_cast<int32_t>(drawList_.size()) - 1;
  while (lo <= hi) {
    int32_t mid = (lo + hi) / 2;
    if (drawList_[static_cast<size_t>(mid)]->z_ < Sprite->z_)
      lo = mid + 1;
    else
      hi = mid - 1;
  }
  drawList_.insert(drawList_.begin() + lo, Sprite);
}

void TSprite::SetZ(int32_t Value) {
  if (z_ == Value) return;
  z_ = Value;
  if (parent_) {
    EraseOne(parent_->drawList_, this);
    parent_->InsertByZ(this);
  }
}

TSprite* TSprite::Items(int32_t Index) const {
  if (items_.empty()) Raise<ESpriteError>("Index of the list exceeds the range. (%d)", Index);
  if (Index < 0 || Index >= Count()) Raise<EListError>("List index out of bounds (%d)", Index);
  return items_[static_cast<size_t>(Index)];
}

double TSprite::WorldX() const {
  return parent_ ? parent_->WorldX() + X : X;
}
double TSprite::WorldY() const {
  return parent_ ? parent_->WorldY() + Y : Y;
}

void TSprite::Clear() {
  while (!items_.empty()) delete items_.back();
}

void TSprite::Move(int32_t MoveCount) {
  if (!Moved) return;
  DoMove(MoveCount);
  DoAnimate(MoveCount);
  // Children made during the pass wait for the next one.
  const size_t n = items_.size();
  for (size_t i = 0; i < n && i < items_.size(); ++i) items_[i]->Move(MoveCount);
}

void TSprite::Draw() {
  if (!Visible) return;
  if (engine_ && RectsOverlap(GetBoundsRect(), engine_->surfaceRect_)) {
    DoDraw();
    ++engine_->drawCount_;
  }
  const size_t n = drawList_.size();
  for (size_t i = 0; i < n && i < drawList_.size(); ++i) drawList_[i]->Draw();
}

int32_t TSprite::Collision() {
  if (!engine_ || isDead_ || !Collisioned) return 0;
  TSpriteEngine* e = engine_;
  e->hitCount_ = 0;
  e->hitDone_ = false;
  e->hitRect_ = GetBoundsRect();
  e->hitSprite_ = this;
  const size_t n = e->items_.size();
  for (size_t i = 0; i < n && i < e->items_.size(); ++i) CollisionWalk(e->items_[i]);
  return e->hitCount_;
}

void TSprite::CollisionWalk(TSprite* T) {
  if (!T->Collisioned) return;
  TSpriteEngine* e = engine_;
  if (T != this && RectsOverlap(T->GetBoundsRect(), e->hitRect_) && TestCollision(T) &&
      T->TestCollision(this)) {
    ++e->hitCount_;
    DoCollision(T, e->hitDone_);
    if (!Collisioned || isDead_) e->hitDone_ = true;
  }
  if (e->hitDone_) return;
  const size_t n = T->items_.size();
  for (size_t i = 0; i < n && i < T->items_.size(); ++i) CollisionWalk(T->items_[i]);
}

void TSprite::MarkDead() {
  if (!engine_ || isDead_) return;
  isDead_ = true;
  engine_->deadList_.push_back(this);
}

void TSprite::DoCollision(TSprite* Sprite, bool& Done) {
  if (OnCollision) OnCollision(Sprite, Done);
}

void TSprite::DoDraw() {
  if (OnDraw) OnDraw(this);
}

void TSprite::DoMove(int32_t MoveCount) {
  if (OnMove) {
    int32_t m = MoveCount;
    OnMove(this, m);
  }
}

TRect TSprite::GetBoundsRect() {
  return SpriteRect(WorldX(), WorldY(), Width, Height);
}

bool TSprite::TestCollision(TSprite*) {
  return true;
}

void TSprite::DoAnimate(int32_t) {}

void TSprite::SetGroupNumber(int32_t Value) {
  if (Value == groupNumber_ || !engine_) return;
  auto& groups = engine_->groups_;
  if (groupNumber_ >= 0 && groupNumber_ < static_cast<int32_t>(groups.size()))
    EraseOne(groups[static_cast<size_t>(groupNumber_)], this);
  if (Value >= 0 && Value < static_cast<int32_t>(groups.size()))
    groups[static_cast<size_t>(Value)].push_back(this);
  groupNumber_ = Value;
}

void TSprite::SetSelected(bool Value) {
  if (Value == selected_ || !engine_) return;
  selected_ = Value;
  if (Value)
    engine_->selectionList_.push_back(this);
  else
    EraseOne(engine_->selectionList_, this);
  engine_->anySelected_ = !engine_->selectionList_.empty();
}

void TSprite::Assign(TPersistent* Source) {
  auto* s = dynamic_cast<TSprite*>(Source);
  if (!s) {
    TPersistent::Assign(Source);
    return;
  }
  Collisioned = s->Collisioned;
  Moved = s->Moved;
  Visible = s->Visible;
  Height = s->Height;
  Width = s->Width;
  X = s->X;
  Y = s->Y;
  // Through the setters, so the parent's draw order, the selection list and
  // the groups stay in step with the copied values.
  SetZ(s->z_);
  SetSelected(s->selected_);
  SetGroupNumber(s->groupNumber_);
  image_ = s->image_;
  DXImageName = s->DXImageName;
  DXImageList = s->DXImageList;
  OnDraw = s->OnDraw;
  OnMove = s->OnMove;
  OnCollision = s->OnCollision;
  OnGetImage = s->OnGetImage;
}

// Picture lists and handlers are references to other components and code;
// they are set by the program, not stored.
bool TSprite::ReadProperty(const std::string& Name, TReader& Reader) {
  if (Name == "X")
    X = Reader.ReadFloat();
  else if (Name == "Y")
    Y = Reader.ReadFloat();
  else if (Name == "Z")
    SetZ(Reader.ReadInteger());
  else if (Name == "Width")
    Width = Reader.ReadInteger();
  else if (Name == "Height")
    Height = Reader.ReadInteger();
  else if (Name == "Visible")
    Visible = Reader.ReadBoolean();
  else if (Name == "Moved")
    Moved = Reader.ReadBoolean();
  else if (Name == "Collisioned")
    Collisioned = Reader.ReadBoolean();
  else if (Name == "Tag")
    Tag = Reader.ReadInteger();
  else if (Name == "Caption")
    Caption = Reader.ReadString();
  else if (Name == "DXImageName")
    DXImageName = Reader.ReadString();
  else
    return TPersistent::ReadProperty(Name, Reader);
  return true;
}

void TSprite::WriteProperties(TWriter& Writer) const {
  WriteSpriteProperties(Writer, "");
}

void TSprite::WriteSpriteProperties(TWriter& Writer, const std::string& P) const {
  // Only what differs from a new sprite is stored.
  if (X != 0) Writer.WriteFloat(P + "X", X);
  if (Y != 0) Writer.WriteFloat(P + "Y", Y);
  if (z_ != 0) Writer.WriteInteger(P + "Z", z_);
  if (Width != 0) Writer.WriteInteger(P + "Width", Width);
  if (Height != 0) Writer.WriteInteger(P + "Height", Height);
  if (!Visible) Writer.WriteBoolean(P + "Visible", Visible);
  if (!Moved) Writer.WriteBoolean(P + "Moved", Moved);
  if (!Collisioned) Writer.WriteBoolean(P + "Collisioned", Collisioned);
  if (Tag != 0) Writer.WriteInteger(P + "Tag", Tag);
  if (!Caption.empty()) Writer.WriteString(P + "Caption", Caption);
  if (!DXImageName.empty()) Writer.WriteString(P + "DXImageName", DXImageName);
}

// ---- TSpriteEngine ----------------------------------------------------------

TSpriteEngine::TSpriteEngine() : TSprite(nullptr) {
  SetGroupCount(10);
}

TSpriteEngine::~TSpriteEngine() {
  DeselectAll();
  SetGroupCount(0);
  Clear();
  deadList_.clear();
}

void TSpriteEngine::Draw() {
  drawCount_ = 0;
  TSprite::Draw();
}

void TSpriteEngine::FreeDead() {
  // A sprite leaves the list in its destructor, its dead descendants with it.
  while (!deadList_.empty()) delete deadList_.back();
}

void TSpriteEngine::DeselectAll() {
  while (!selectionList_.empty()) {
    TSprite* s = selectionList_.back();
    s->SetSelected(false);
    // An override that keeps the sprite selected must not hang the loop.
    if (!selectionList_.empty() && selectionList_.back() == s) selectionList_.pop_back();
  }
  anySelected_ = false;
}

void TSpriteEngine::DeselectGroup(int32_t GroupNumber) {
  const std::vector<TSprite*>* g = GetGroup(GroupNumber);
  if (!g) return;
  std::vector<TSprite*> members = *g;
  for (TSprite* s : members) s->SetSelected(false);
}

void TSpriteEngine::SetSurface(TDirectDrawSurface* Value) {
  surface_ = Value;
  if (Value) {
    surfaceRect_ = Value->ClientRect();
    Width = Value->Width();
    Height = Value->Height();
  }
}

void TSpriteEngine::SetGroupCount(int32_t Value) {
  const int32_t old = GroupCount();
  if (Value == old || Value < 0) return;
  for (int32_t i = Value; i < old; ++i) DeselectGroup(i);
  groups_.resize(static_cast<size_t>(Value));
}

const std::vector<TSprite*>* TSpriteEngine::GetGroup(int32_t Index) const {
  if (Index < 0 || Index >= GroupCount()) return nullptr;
  return &groups_[static_cast<size_t>(Index)];
}
