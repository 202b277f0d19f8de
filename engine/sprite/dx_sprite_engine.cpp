#include "engine/sprite/dx_sprite_engine.h"

#include "engine/sprite/background_sprite.h"
#include "engine/sprite/image_sprite.h"
#include "framework/filer.h"

namespace {

const char* const kSpriteTypeNames[] = {"stSprite", "stImageSprite", "stImageSpriteEx",
                                        "stBackgroundSprite"};
const std::string kSpritePrefix = "Sprite.";

}  // namespace

TSprite* CreateSprite(TSpriteType Kind, TSprite* Parent) {
  switch (Kind) {
    case stImageSprite:
      return new TImageSprite(Parent);
    case stImageSpriteEx:
      return new TImageSpriteEx(Parent);
    case stBackgroundSprite:
      return new TBackgroundSprite(Parent);
    case stSprite:
      break;
  }
  return new TSprite(Parent);
}

// ---- Design-time collection ---------------------------------------------------

TSpriteCollectionItem::TSpriteCollectionItem(TCollection* Collection)
    : THashCollectionItem(Collection) {
  sprite_ = MakeSprite(stSprite);
}

TSpriteCollectionItem::~TSpriteCollectionItem() {
  if (sprite_) {
    sprite_->collectionItem_ = nullptr;
    delete sprite_;
  }
}

TSpriteCollection* TSpriteCollectionItem::SpriteCollection() const {
  return dynamic_cast<TSpriteCollection*>(Collection());
}

TSprite* TSpriteCollectionItem::MakeSprite(TSpriteType Kind) {
  TSpriteCollection* c = SpriteCollection();
  TSprite* s = CreateSprite(Kind, c ? c->Engine() : nullptr);
  s->collectionItem_ = this;
  return s;
}

TSprite* TSpriteCollectionItem::Sprite() {
  if (!sprite_) sprite_ = MakeSprite(kind_);
  return sprite_;
}

void TSpriteCollectionItem::SetKindSprite(TSpriteType Value) {
  if (Value == kind_) return;
  TSprite* old = Sprite();
  TSprite* fresh = MakeSprite(Value);
  fresh->Assign(old);
  fresh->OnDraw = old->OnDraw;
  fresh->OnMove = old->OnMove;
  fresh->OnCollision = old->OnCollision;
  fresh->OnGetImage = old->OnGetImage;
  delete old;  // clears sprite_
  sprite_ = fresh;
  kind_ = Value;
}

void TSpriteCollectionItem::SetDisplayName(const std::string& Value) {
  TSpriteCollection* c = SpriteCollection();
  if (c && !SameText(Value, GetDisplayName()) && c->IndexOfName(Value) >= 0)
    Raise<Exception>("Item duplicate name \"%s\" error", Value);
  SetName(Value);
}

void TSpriteCollectionItem::Assign(TPersistent* Source) {
  if (auto* s = dynamic_cast<TSpriteCollectionItem*>(Source)) {
    Sprite()->Assign(s->Sprite());
    SetDisplayName(s->Name());
    return;
  }
  THashCollectionItem::Assign(Source);
}

bool TSpriteCollectionItem::ReadProperty(const std::string& Name, TReader& Reader) {
  if (Name == "KindSprite") {
    const std::string v = Reader.ReadIdent();
    for (int i = 0; i < 4; ++i)
      if (SameText(v, kSpriteTypeNames[i])) {
        SetKindSprite(static_cast<TSpriteType>(i));
        return true;
      }
    Raise<EReadError>("Invalid property value");
  }
  if (Name.rfind(kSpritePrefix, 0) == 0)
    return Sprite()->ReadProperty(Name.substr(kSpritePrefix.size()), Reader);
  return THashCollectionItem::ReadProperty(Name, Reader);
}

void TSpriteCollectionItem::WriteProperties(TWriter& Writer) const {
  THashCollectionItem::WriteProperties(Writer);
  if (kind_ != stSprite) Writer.WriteIdent("KindSprite", kSpriteTypeNames[kind_]);
  if (sprite_) sprite_->WriteSpriteProperties(Writer, kSpritePrefix);
}

TSpriteCollection::TSpriteCollection(TCustomDXSpriteEngine* OwnerItem, TSpriteEngine* Engine)
    : THashCollection(OwnerItem), owner_item_(OwnerItem), engine_(Engine) {}

TSpriteCollection::~TSpriteCollection() {
  if (OnFinalize) {
    try {
      OnFinalize(engine_);
    } catch (...) {
      // A destructor never throws; the handler's failure ends here.
    }
  }
  Clear();
}

bool TSpriteCollection::Initialize(TSpriteEngine* Engine) {
  if (!OnInitialize) return true;
  try {
    OnInitialize(Engine);
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

// ---- Component ---------------------------------------------------------------------

TCustomDXSpriteEngine::TCustomDXSpriteEngine(TComponent* AOwner)
    : TComponent(AOwner), engine_(std::make_unique<TSpriteEngine>()) {
  engine_->OwnerComponent = this;
  items_ = std::make_unique<TSpriteCollection>(this, engine_.get());
  items_->Initialize(engine_.get());
}

TCustomDXSpriteEngine::~TCustomDXSpriteEngine() {
  SetDXDraw(nullptr);
  items_.reset();
  engine_.reset();
}

void TCustomDXSpriteEngine::Notification(TComponent* AComponent, bool Removing) {
  TComponent::Notification(AComponent, Removing);
  if (Removing && AComponent && AComponent == dxdraw_) SetDXDraw(nullptr);
}

void TCustomDXSpriteEngine::SetDXDraw(TCustomDXDraw* Value) {
  if (dxdraw_) dxdraw_->RemoveNotifyHandler(this);
  dxdraw_ = Value;
  if (dxdraw_)
    dxdraw_->AddNotifyHandler(this, [this](TCustomDXDraw* Sender, TDXDrawNotifyType Kind) {
      DXDrawNotify(Sender, Kind);
    });
}

void TCustomDXSpriteEngine::DXDrawNotify(TCustomDXDraw* Sender, TDXDrawNotifyType NotifyType) {
  switch (NotifyType) {
    case dnDestroying:
      SetDXDraw(nullptr);
      break;
    case dnInitialize:
      engine_->SetSurface(dxdraw_ ? dxdraw_->Surface.get() : nullptr);
      break;
    case dnFinalize:
      engine_->SetSurface(nullptr);
      break;
    default:
      break;
  }
}

void TCustomDXSpriteEngine::Move(int32_t MoveCount) {
  engine_->Move(MoveCount);
}

void TCustomDXSpriteEngine::FreeDead() {
  engine_->FreeDead();
}

void TCustomDXSpriteEngine::Draw() {
  if (dxdraw_ && dxdraw_->Initialized()) engine_->Draw();
}
