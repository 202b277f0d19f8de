// The pieces of picture collections that touch the display: cutting pictures
// onto surfaces, the draw family, and image lists following their control.
#include "engine/directx/load_report.h"
#include "engine/draw/dxdraws.h"
#include "engine/draw/pictures.h"

void TSurfaceDeleter::operator()(TDirectDrawSurface* Surface) const {
  delete Surface;
}

// ---- Picture item ----------------------------------------------------------------

void TPictureCollectionItem::SetTransparentColor(TColor Value) {
  if (Value == transparent_color_) return;
  transparent_color_ = Value;
  for (auto& s : surfaces_) {
    try {
      s->SetTransparentColor(s->ColorToPixel(Value));
    } catch (const Exception&) {
      // One surface refusing its key must not leave the others unkeyed.
    }
  }
}

void TPictureCollectionItem::Restore() {
  TGraphic* g = picture_->Graphic();
  if (!g) return;
  TPictureCollection* coll = PictureCollection();
  if (!initialized_) {
    if (coll && coll->Initialized()) Initialize();
    if (!initialized_) return;
  }
  ClearSurfaces();
  try {
    RestoreSurfaces(g);
  } catch (...) {
    // Half a cut would draw some patterns and not others; none is clearer.
    ClearSurfaces();
    throw;
  }
}

void TPictureCollectionItem::RestoreSurfaces(TGraphic* g) {
  TCustomDXDraw* dx = PictureCollection()->DXDraw();
  // Width() reads a negative size as the whole picture; cutting keeps it
  // negative so a damaged item gets no patterns, as its pattern count says.
  const int32_t w = PatternWidth < 0 ? PatternWidth : Width();
  const int32_t h = PatternHeight < 0 ? PatternHeight : Height();
  // Before anything is allocated: a cut of millions of patterns would take
  // gigabytes, and again after every lost display.
  CheckCut(g->Width(), g->Height(), w, h, SkipWidth, SkipHeight);
  TPictureCut cut = CutPicture(g->Width(), g->Height(), w, h, SkipWidth, SkipHeight, SystemMemory);
  for (const TRect& area : cut.Surfaces) {
    TOwnedSurface s(new TDirectDrawSurface(dx->DDraw.get()));
    s->SetSystemMemory(SystemMemory);
    s->LoadFromGraphicRect(g, 0, 0, area);
    // Keyed whatever Transparent says, so switching it needs no new cut.
    s->SetTransparentColor(s->ColorToPixel(transparent_color_));
    surfaces_.push_back(std::move(s));
  }
  patterns_.reserve(cut.Patterns.size());
  for (const TPatternCut& p : cut.Patterns)
    patterns_.push_back({p.Rect, surfaces_[static_cast<size_t>(p.Surface)].get()});
  if (dx->Options().Contains(do3D) && dx->D2D()) dx->D2D()->ClearTextureCache();
}

namespace {

// The hardware drawer that takes an item's draw onto Dest: the collection's
// control asks for 3D, Dest is its back surface and its drawer is usable.
TD2D* HardwareFor(TPictureCollection* Collection, const TDirectDrawSurface* Dest) {
  TCustomDXDraw* dx = Collection ? Collection->DXDraw() : nullptr;
  if (!dx || !Dest || dx->Surface.get() != Dest || !dx->Options().Contains(do3D) || !dx->D2D())
    return nullptr;
  return dx->D2D()->CheckUsable() ? dx->D2D() : nullptr;
}

}  // namespace

// Each draw goes to the hardware drawer when it takes Dest, else to Dest's
// own draw family with the pattern's rectangle and surface.
#define TAL_ITEM_HARDWARE(call)                               \
  if (TD2D* d = HardwareFor(PictureCollection(), Dest)) {     \
    d->call;                                                  \
    return;                                                   \
  }

void TPictureCollectionItem::StretchDraw(TDirectDrawSurface* Dest, const TRect& DestRect,
                                         int PatternIndex) {
  TAL_ITEM_HARDWARE(RenderPattern(this, DestRect, PatternIndex, rtDraw, 255))
  if (const TPictureCollectionItemPattern* p = DrawPattern(Dest, PatternIndex))
    Dest->StretchDraw(DestRect, p->Rect, p->Surface, Transparent);
}

void TPictureCollectionItem::DrawAdd(TDirectDrawSurface* Dest, const TRect& DestRect,
                                     int PatternIndex, int Alpha) {
  TAL_ITEM_HARDWARE(RenderPattern(this, DestRect, PatternIndex, rtAdd, Alpha))
  if (const TPictureCollectionItemPattern* p = DrawPattern(Dest, PatternIndex))
    Dest->DrawAdd(DestRect, p->Rect, p->Surface, Transparent, Alpha);
}

void TPictureCollectionItem::DrawAlpha(TDirectDrawSurface* Dest, const TRect& DestRect,
                                       int PatternIndex, int Alpha) {
  TAL_ITEM_HARDWARE(RenderPattern(this, DestRect, PatternIndex, rtBlend, Alpha))
  if (const TPictureCollectionItemPattern* p = DrawPattern(Dest, PatternIndex))
    Dest->DrawAlpha(DestRect, p->Rect, p->Surface, Transparent, Alpha);
}

void TPictureCollectionItem::DrawSub(TDirectDrawSurface* Dest, const TRect& DestRect,
                                     int PatternIndex, int Alpha) {
  TAL_ITEM_HARDWARE(RenderPattern(this, DestRect, PatternIndex, rtSub, Alpha))
  if (const TPictureCollectionItemPattern* p = DrawPattern(Dest, PatternIndex))
    Dest->DrawSub(DestRect, p->Rect, p->Surface, Transparent, Alpha);
}

void TPictureCollectionItem::DrawRotate(TDirectDrawSurface* Dest, int X, int Y, int Width,
                                        int Height, int PatternIndex, double CenterX,
                                        double CenterY, float Angle) {
  TAL_ITEM_HARDWARE(RenderPatternRotate(this, X, Y, Width, Height, PatternIndex, rtDraw, CenterX,
                                        CenterY, Angle, 255))
  if (const TPictureCollectionItemPattern* p = DrawPattern(Dest, PatternIndex))
    Dest->DrawRotate(X, Y, Width, Height, p->Rect, p->Surface, CenterX, CenterY, Transparent,
                     Angle);
}

void TPictureCollectionItem::DrawRotateAdd(TDirectDrawSurface* Dest, int X, int Y, int Width,
                                           int Height, int PatternIndex, double CenterX,
                                           double CenterY, float Angle, int Alpha) {
  TAL_ITEM_HARDWARE(RenderPatternRotate(this, X, Y, Width, Height, PatternIndex, rtAdd, CenterX,
                                        CenterY, Angle, Alpha))
  if (const TPictureCollectionItemPattern* p = DrawPattern(Dest, PatternIndex))
    Dest->DrawRotateAdd(X, Y, Width, Height, p->Rect, p->Surface, CenterX, CenterY, Transparent,
                        Angle, Alpha);
}

void TPictureCollectionItem::DrawRotateAlpha(TDirectDrawSurface* Dest, int X, int Y, int Width,
                                             int Height, int PatternIndex, double CenterX,
                                             double CenterY, float Angle, int Alpha) {
  TAL_ITEM_HARDWARE(RenderPatternRotate(this, X, Y, Width, Height, PatternIndex, rtBlend, CenterX,
                                        CenterY, Angle, Alpha))
  if (const TPictureCollectionItemPattern* p = DrawPattern(Dest, PatternIndex))
    Dest->DrawRotateAlpha(X, Y, Width, Height, p->Rect, p->Surface, CenterX, CenterY, Transparent,
                          Angle, Alpha);
}

void TPictureCollectionItem::DrawRotateSub(TDirectDrawSurface* Dest, int X, int Y, int Width,
                                           int Height, int PatternIndex, double CenterX,
                                           double CenterY, float Angle, int Alpha) {
  TAL_ITEM_HARDWARE(RenderPatternRotate(this, X, Y, Width, Height, PatternIndex, rtSub, CenterX,
                                        CenterY, Angle, Alpha))
  if (const TPictureCollectionItemPattern* p = DrawPattern(Dest, PatternIndex))
    Dest->DrawRotateSub(X, Y, Width, Height, p->Rect, p->Surface, CenterX, CenterY, Transparent,
                        Angle, Alpha);
}

void TPictureCollectionItem::DrawWaveX(TDirectDrawSurface* Dest, int X, int Y, int Width,
                                       int Height, int PatternIndex, int Amplitude, int Length,
                                       int Phase) {
  TAL_ITEM_HARDWARE(RenderPatternWaveX(this, X, Y, Width, Height, PatternIndex, rtDraw,
                                       Transparent, Amplitude, Length, Phase, 255))
  if (const TPictureCollectionItemPattern* p = DrawPattern(Dest, PatternIndex))
    Dest->DrawWaveX(X, Y, Width, Height, p->Rect, p->Surface, Transparent, Amplitude, Length,
                    Phase);
}

void TPictureCollectionItem::DrawWaveXAdd(TDirectDrawSurface* Dest, int X, int Y, int Width,
                                          int Height, int PatternIndex, int Amplitude, int Length,
                                          int Phase, int Alpha) {
  TAL_ITEM_HARDWARE(RenderPatternWaveX(this, X, Y, Width, Height, PatternIndex, rtAdd,
                                       Transparent, Amplitude, Length, Phase, Alpha))
  if (const TPictureCollectionItemPattern* p = DrawPattern(Dest, PatternIndex))
    Dest->DrawWaveXAdd(X, Y, Width, Height, p->Rect, p->Surface, Transparent, Amplitude, Length,
                       Phase, Alpha);
}

void TPictureCollectionItem::DrawWaveXAlpha(TDirectDrawSurface* Dest, int X, int Y, int Width,
                                            int Height, int PatternIndex, int Amplitude, int Length,
                                            int Phase, int Alpha) {
  TAL_ITEM_HARDWARE(RenderPatternWaveX(this, X, Y, Width, Height, PatternIndex, rtBlend,
                                       Transparent, Amplitude, Length, Phase, Alpha))
  if (const TPictureCollectionItemPattern* p = DrawPattern(Dest, PatternIndex))
    Dest->DrawWaveXAlpha(X, Y, Width, Height, p->Rect, p->Surface, Transparent, Amplitude, Length,
                         Phase, Alpha);
}

void TPictureCollectionItem::DrawWaveXSub(TDirectDrawSurface* Dest, int X, int Y, int Width,
                                          int Height, int PatternIndex, int Amplitude, int Length,
                                          int Phase, int Alpha) {
  TAL_ITEM_HARDWARE(RenderPatternWaveX(this, X, Y, Width, Height, PatternIndex, rtSub,
                                       Transparent, Amplitude, Length, Phase, Alpha))
  if (const TPictureCollectionItemPattern* p = DrawPattern(Dest, PatternIndex))
    Dest->DrawWaveXSub(X, Y, Width, Height, p->Rect, p->Surface, Transparent, Amplitude, Length,
                       Phase, Alpha);
}

// Vertical waves exist only on the hardware path; elsewhere they draw nothing.
void TPictureCollectionItem::DrawWaveY(TDirectDrawSurface* Dest, int X, int Y, int Width,
                                       int Height, int PatternIndex, int Amplitude, int Length,
                                       int Phase) {
  TAL_ITEM_HARDWARE(RenderPatternWaveY(this, X, Y, Width, Height, PatternIndex, rtDraw,
                                       Transparent, Amplitude, Length, Phase, 255))
}
void TPictureCollectionItem::DrawWaveYAdd(TDirectDrawSurface* Dest, int X, int Y, int Width,
                                          int Height, int PatternIndex, int Amplitude, int Length,
                                          int Phase, int Alpha) {
  TAL_ITEM_HARDWARE(RenderPatternWaveY(this, X, Y, Width, Height, PatternIndex, rtAdd,
                                       Transparent, Amplitude, Length, Phase, Alpha))
}
void TPictureCollectionItem::DrawWaveYAlpha(TDirectDrawSurface* Dest, int X, int Y, int Width,
                                            int Height, int PatternIndex, int Amplitude, int Length,
                                            int Phase, int Alpha) {
  TAL_ITEM_HARDWARE(RenderPatternWaveY(this, X, Y, Width, Height, PatternIndex, rtBlend,
                                       Transparent, Amplitude, Length, Phase, Alpha))
}
void TPictureCollectionItem::DrawWaveYSub(TDirectDrawSurface* Dest, int X, int Y, int Width,
                                          int Height, int PatternIndex, int Amplitude, int Length,
                                          int Phase, int Alpha) {
  TAL_ITEM_HARDWARE(RenderPatternWaveY(this, X, Y, Width, Height, PatternIndex, rtSub,
                                       Transparent, Amplitude, Length, Phase, Alpha))
}

#undef TAL_ITEM_HARDWARE

// ---- Collection ----------------------------------------------------------------------

bool TPictureCollection::Initialized() const {
  return dxdraw_ && dxdraw_->Initialized();
}

void TPictureCollection::Initialize(TCustomDXDraw* DXDraw) {
  Finalize();
  dxdraw_ = DXDraw;
  if (!Initialized()) Raise<EPictureCollectionError>("%s cannot be initialized", ClassName());
  for (int i = 0; i < Count(); ++i) Items(i)->Initialize();
}

void TPictureCollection::Restore() {
  ForEachReported(
      Count(), source_name_,
      [this](int i) {
        const std::string& name = Items(i)->Name();
        return name.empty() ? Format("picture %d", i) : Format("picture '%s'", name);
      },
      [this](int i) { Items(i)->Restore(); });
}

void TPictureCollection::Finalize() {
  for (int i = 0; i < Count(); ++i) Items(i)->Finalize();
  dxdraw_ = nullptr;
}

// ---- Image list -----------------------------------------------------------------------

TCustomDXImageList::TCustomDXImageList(TComponent* AOwner)
    : TComponent(AOwner), items_(std::make_unique<TPictureCollection>(this)) {}

TCustomDXImageList::~TCustomDXImageList() {
  SetDXDraw(nullptr);
  items_.reset();
}

void TCustomDXImageList::SetDXDraw(TCustomDXDraw* Value) {
  if (dxdraw_) dxdraw_->RemoveNotifyHandler(this);
  dxdraw_ = Value;
  if (!dxdraw_) return;
  dxdraw_->AddNotifyHandler(this, [this](TCustomDXDraw* Sender, TDXDrawNotifyType NotifyType) {
    switch (NotifyType) {
      case dnDestroying:
        SetDXDraw(nullptr);
        break;
      case dnInitialize:
        items_->Initialize(Sender);
        break;
      case dnFinalize:
        items_->Finalize();
        break;
      case dnRestore:
        items_->Restore();
        break;
      default:
        break;
    }
  });
}

void TCustomDXImageList::Notification(TComponent* AComponent, bool Removing) {
  TComponent::Notification(AComponent, Removing);
  if (Removing && dxdraw_ && AComponent == static_cast<TComponent*>(dxdraw_)) SetDXDraw(nullptr);
}
