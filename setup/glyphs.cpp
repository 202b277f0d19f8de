#include "setup/glyphs.h"

#include <algorithm>

#include "framework/customctrls.h"
#include "platform/gdi/gdi_draw.h"
#include "platform/win/paint.h"

namespace {
constexpr TColor clOlive = 0x008080;
}

// ---- Plain routines -----------------------------------------------------------------

void DrawWallpaper(HDC DC, TBitmap* Bitmap, const TRect& Rect, uint32_t Rop, bool Tile) {
  if (!DC || !Bitmap || Bitmap->Empty()) return;
  HDC src = Bitmap->DC();
  if (!Tile) {
    RopBlt(DC, Rect.Left, Rect.Top, Rect.Width(), Rect.Height(), src, Rect.Left, Rect.Top, Rop);
    return;
  }
  for (int y = Rect.Top; y < Rect.Bottom; y += Bitmap->Height())
    for (int x = Rect.Left; x < Rect.Right; x += Bitmap->Width())
      RopBlt(DC, x, y, Rect.Right - x, Rect.Bottom - y, src, 0, 0, Rop);
}

bool InvalidateArea(TControl* Window, const TRect& Rect, bool Erase) {
  auto* w = dynamic_cast<TWinControl*>(Window);
  if (!w) {
    if (Window) Window->Invalidate();
    return Window != nullptr;
  }
  TControl* top = w;
  while (top->Parent()) top = top->Parent();
  auto* form = dynamic_cast<TWinControl*>(top);
  if (!form || !form->HandleAllocated()) return false;
  TPoint p = top == w ? TPoint{} : w->ClientToWindow(TPoint{Rect.Left, Rect.Top});
  if (top == w) p = TPoint{Rect.Left, Rect.Top};
  RECT r{p.X, p.Y, p.X + Rect.Width(), p.Y + Rect.Height()};
  return InvalidateRect(form->Handle(), &r, Erase ? TRUE : FALSE) != FALSE;
}

void PaintParentBackground(TControl* Control, HDC DC) {
  if (!Control || !DC) return;
  TWinControl* parent = Control->Parent();
  if (!parent) return;
  int saved = SaveDC(DC);
  TPoint org = GetWindowOrg(DC);
  SetWindowOrgEx(DC, org.X + Control->Left(), org.Y + Control->Top(), nullptr);
  IntersectClipRect(DC, Control->BoundsRect());
  parent->Perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(DC), 0);
  for (int i = 0; i < parent->ControlCount(); ++i) {
    TControl* c = parent->Controls(i);
    if (c == Control || dynamic_cast<TWinControl*>(c) || !c->Visible()) continue;
    int s = SaveDC(DC);
    TPoint o = GetWindowOrg(DC);
    SetWindowOrgEx(DC, o.X - c->Left(), o.Y - c->Top(), nullptr);
    IntersectClipRect(DC, TRect{0, 0, c->Width(), c->Height()});
    c->PaintTo(DC);
    RestoreDC(DC, s);
  }
  RestoreDC(DC, saved);
}

void DrawTextShadowed(HDC DC, TRect& Rect, TShadowPosition ShadowPos, const std::string& Text,
                      uint32_t Format, TColor TextColor, TColor ShadowColor, int ShadowSize) {
  if (!DC) return;
  TRect shadow = Rect;
  const int s = ShadowSize;
  auto move = [](TRect& r, int dx, int dy) {
    r.Left += dx;
    r.Right += dx;
    r.Top += dy;
    r.Bottom += dy;
  };
  switch (ShadowPos) {
    case spLeftTop:
      move(Rect, s, s);
      break;
    case spLeftBottom:
      move(Rect, s, 0);
      move(shadow, 0, s);
      break;
    case spRightBottom:
      move(shadow, s, s);
      break;
    case spRightTop:
      move(Rect, 0, s);
      move(shadow, s, 0);
      break;
  }
  DC->Font.Color = ShadowColor;
  DrawTextA(DC, Text, -1, &shadow, Format);
  DC->BkMode = TRANSPARENT;
  DC->Font.Color = TextColor;
  DrawTextA(DC, Text, -1, &Rect, Format);
}

// ---- Glyph lists and the cache --------------------------------------------------------

int TGlyphList::AddMasked(TBitmap* Image, TColor MaskColor) {
  auto free = std::find(used_.begin(), used_.end(), false);
  int index;
  if (free == used_.end()) {
    TBitmap empty;
    index = TCustomImageList::AddMasked(&empty, clNone);
    used_.push_back(true);
  } else {
    index = static_cast<int>(free - used_.begin());
    *free = true;
  }
  ReplaceMasked(index, Image, MaskColor);
  ++used_count_;
  return index;
}

void TGlyphList::Delete(int Index) {
  if (Index < 0 || Index >= static_cast<int>(used_.size()) || !used_[static_cast<size_t>(Index)])
    return;
  used_[static_cast<size_t>(Index)] = false;
  --used_count_;
}

TGlyphCache* GlyphCache = nullptr;

TGlyphList* TGlyphCache::ListForSize(int AWidth, int AHeight) {
  for (auto it = lists_.rbegin(); it != lists_.rend(); ++it)
    if ((*it)->Width() == AWidth && (*it)->Height() == AHeight) return it->get();
  lists_.push_back(std::make_unique<TGlyphList>(AWidth, AHeight));
  return lists_.back().get();
}

void TGlyphCache::ReturnList(TGlyphList* List) {
  if (!List || List->UsedCount() != 0) return;
  std::erase_if(lists_, [List](const auto& l) { return l.get() == List; });
}

// ---- Glyphs -------------------------------------------------------------------------------

TGlyph::TGlyph() : original_(std::make_unique<TBitmap>()), transparent_color_(clOlive) {
  original_->OnChange = [this](TObject*) { PictureChanged(); };
  if (!GlyphCache) GlyphCache = new TGlyphCache;
}

TGlyph::~TGlyph() {
  original_->OnChange = nullptr;
  original_.reset();
  Invalidate();
  if (GlyphCache && GlyphCache->IsEmpty()) {
    delete GlyphCache;
    GlyphCache = nullptr;
  }
}

void TGlyph::PictureChanged() {
  if (original_) transparent_color_ = original_->TransparentColor();
  Invalidate();
  if (OnChange) OnChange(nullptr);
}

void TGlyph::SetGlyph(TBitmap* Value) {
  Invalidate();
  original_->Assign(Value);
  if (Value && Value->Height() > 0) {
    transparent_color_ = Value->TransparentColor();
    // A picture as wide as a whole number of squares holds that many
    // slices; a picture narrower than tall holds none, so the count stays.
    if (Value->Width() % Value->Height() == 0 && Value->Width() >= Value->Height()) {
      int n = Value->Width() / Value->Height();
      num_glyphs_ = static_cast<uint8_t>(n < 5 ? n : 1);
    }
  }
}

void TGlyph::SetNumGlyphs(int N) {
  if (N == num_glyphs_ || N <= 0) return;
  Invalidate();
  num_glyphs_ = static_cast<uint8_t>(std::min(N, 255));
  PictureChanged();
}

void TGlyph::Invalidate() {
  for (int& idx : indexes_) {
    if (idx != -1 && list_) list_->Delete(idx);
    idx = -1;
  }
  if (list_ && GlyphCache) GlyphCache->ReturnList(list_);
  list_ = nullptr;
}

int TGlyph::CreateImage(bool Enabled) {
  int& index = indexes_[Enabled ? 1 : 0];
  if (index != -1) return index;
  if (!original_) return -1;
  const int w = original_->Width() / num_glyphs_, h = original_->Height();
  // A picture without area (or narrower than its slices) makes no image.
  if (w <= 0 || h <= 0) return -1;
  if (!GlyphCache) GlyphCache = new TGlyphCache;
  if (!list_) list_ = GlyphCache->ListForSize(w, h);
  TBitmap image;
  image.SetSize(w, h);
  image.SetColorTable(original_->ColorTable());
  HDC dc = image.DC();
  HDC src = original_->DC();
  dc->FillSolid(TRect{0, 0, w, h}, clBtnFace);
  if (Enabled) {
    dc->BitBlt(0, 0, w, h, *src, 0, 0);
    TColor mask = original_->TransparentMode() == tmFixed ? transparent_color_ : clDefault;
    index = list_->AddMasked(&image, mask);
  } else {
    dc->Font.Color = clBlack;
    dc->BkColor = clWhite;
    auto paint = [&](int SliceX, TColor Key, TColor With, int X, int Y) {
      int pitch = 0;
      std::vector<uint8_t> bits = MonochromeMask(*src, SliceX, 0, w, h, Key, pitch);
      TDeviceContext mask(bits.data(), w, h, pitch, TGdiPixelFormat::Indexed(1), MonochromeTable(),
                          2);
      dc->Brush.Color = With;
      RopBlt(dc, X, Y, w, h, &mask, 0, 0, DSPDxax);
    };
    if (num_glyphs_ == 1) {
      // Embossed: the picture's dark lines in light one pixel right and
      // down, then in shadow over them.
      paint(0, clBlack, clBtnHighlight, 1, 1);
      paint(0, clBlack, clBtnShadow, 0, 0);
    } else {
      dc->BitBlt(0, 0, w, h, *src, w, 0);
      paint(w, clWhite, clBtnHighlight, 0, 0);
      paint(w, 0x808080, clBtnShadow, 0, 0);
      paint(w, transparent_color_, clBtnFace, 0, 0);
    }
    index = list_->AddMasked(&image, clDefault);
  }
  original_->Dormant();
  return index;
}

void TGlyph::Draw(TCanvas* Canvas, TPoint P, bool Enabled, bool Transparent, TColor Colour) {
  if (!Canvas || !original_ || original_->Width() == 0 || original_->Height() == 0) return;
  int index = CreateImage(Enabled);
  if (index < 0 || !list_) return;
  list_->DrawEx(Canvas, P.X, P.Y, index, Transparent, Colour);
}

// ---- The wallpaper store ---------------------------------------------------------------

TCoolChangeLink::~TCoolChangeLink() {
  if (Sender) Sender->UnRegisterChanges(this);
}

void TCoolChangeLink::Change() {
  if (OnChange) OnChange(Sender);
}

TBitmapItem::TBitmapItem(TCollection* Collection)
    : TCollectionItem(Collection), bitmap_(std::make_unique<TBitmap>()) {
  bitmap_->OnChange = [this](TObject*) {
    if (auto* b = dynamic_cast<TBitmaps*>(this->Collection()))
      if (b->Owner()) b->Owner()->Change();
  };
}

TBitmapItem::~TBitmapItem() {
  bitmap_->OnChange = nullptr;
}

void TBitmapItem::Assign(TPersistent* Source) {
  if (auto* item = dynamic_cast<TBitmapItem*>(Source)) {
    bitmap_->Assign(item->Bitmap());
    return;
  }
  TCollectionItem::Assign(Source);
}

TBitmaps::TBitmaps(TCoolImages* Owner) : TCollection(Owner), owner_(Owner) {}

TCoolImages::TCoolImages(TComponent* AOwner)
    : TComponent(AOwner), bitmaps_(std::make_unique<TBitmaps>(this)) {}

TCoolImages::~TCoolImages() {
  while (!links_.empty()) UnRegisterChanges(links_.back());
  bitmaps_.reset();
}

void TCoolImages::RegisterChanges(TCoolChangeLink* Link) {
  if (!Link) return;
  Link->Sender = this;
  links_.push_back(Link);
}

void TCoolImages::UnRegisterChanges(TCoolChangeLink* Link) {
  auto it = std::find(links_.begin(), links_.end(), Link);
  if (it == links_.end()) return;
  (*it)->Sender = nullptr;
  links_.erase(it);
}

void TCoolImages::Change() {
  for (TCoolChangeLink* l : std::vector<TCoolChangeLink*>(links_)) l->Change();
}

TBitmap* TCoolImages::WallpaperAt(int Index) {
  if (!bitmaps_ || Index < 0 || Index >= bitmaps_->Count()) return nullptr;
  TBitmap* b = bitmaps_->Items(Index)->Bitmap();
  return b && !b->Empty() ? b : nullptr;
}

// ---- Wallpaper of a control ------------------------------------------------

TCoolWallpaper::TCoolWallpaper(TControl* Control) : control_(Control) {
  link_.OnChange = [this](TObject*) { control_->Invalidate(); };
}

TBitmap* TCoolWallpaper::Bitmap() {
  if (!bitmap_) {
    bitmap_ = std::make_unique<TBitmap>();
    bitmap_->OnChange = [this](TObject*) {
      control_->Invalidate();
      control_->Perform(CM_COLORCHANGED, 0, 0);
    };
  }
  return bitmap_.get();
}

void TCoolWallpaper::SetBitmap(TBitmap* Value) {
  Bitmap()->Assign(Value);
  control_->Invalidate();
}

void TCoolWallpaper::SetImages(TCoolImages* Value) {
  if (link_.Sender == Value) return;
  if (link_.Sender) link_.Sender->UnRegisterChanges(&link_);
  if (Value) Value->RegisterChanges(&link_);
  control_->Invalidate();
}

void TCoolWallpaper::SetId(int Value) {
  if (id_ == Value) return;
  id_ = Value;
  control_->Invalidate();
}

void TCoolWallpaper::Notification(TComponent* AComponent, bool Removing) {
  if (Removing && AComponent && AComponent == link_.Sender) SetImages(nullptr);
}

bool TCoolWallpaper::Paint(HDC DC, const TRect& Rect, uint32_t Rop, bool Tile) {
  TBitmap* b = link_.Sender ? link_.Sender->WallpaperAt(id_) : nullptr;
  if (!b && bitmap_ && !bitmap_->Empty()) b = bitmap_.get();
  if (!b) return false;
  DrawWallpaper(DC, b, Rect, Rop, Tile);
  return true;
}
