#include "engine/draw/dxdraws.h"

#include <algorithm>
#include <cstring>

#include "engine/dib/dib.h"
#include "framework/scope_exit.h"
#include "render/dxrender.h"

TD2D* CurrentD2D = nullptr;
bool SkipNextFlip = false;

namespace {
const TDirect3DPath* gDirect3DPath = nullptr;
}  // namespace

void SetDirect3DPath(const TDirect3DPath* Path) {
  gDirect3DPath = Path;
}
const TDirect3DPath* Direct3DPath() {
  return gDirect3DPath;
}

namespace {

// The hardware drawer that takes a draw onto Dest: only the back surface of
// the control whose drawer is current, and only while it is usable.
TD2D* HardwareFor(const TDirectDrawSurface* Dest) {
  TD2D* d = CurrentD2D;
  if (!d || !d->DXDraw() || d->DXDraw()->Surface.get() != Dest) return nullptr;
  return d->CheckUsable() ? d : nullptr;
}

}  // namespace

// ---- Device -------------------------------------------------------------------

TDirectDraw::TDirectDraw(const GUID* DriverGUID, bool DirectX7Mode) {
  PDirectDraw d;
  if (DirectX7Mode) {
    auto create = LoadDirectXEntryAs<TDirectDrawCreateEx>("DDraw.dll", "DirectDrawCreateEx");
    if (create(DriverGUID, &d) != DD_OK || !d)
      Raise<EDirectDrawError>("%s cannot be initialized", "DirectDraw");
    // Every interface version is the same object in this layer, so the
    // queries for the older ones cannot fail.
    dd7_ = d;
    dd_ = d;
    dd4_ = d;
  } else {
    auto create = LoadDirectXEntryAs<TDirectDrawCreate>("DDraw.dll", "DirectDrawCreate");
    if (create(DriverGUID, &d) != DD_OK || !d)
      Raise<EDirectDrawError>("%s cannot be initialized", "DirectDraw");
    dd_ = d;
    dd4_ = d;
  }
  DriverCaps.dwSize = 380;
  HELCaps.dwSize = 380;
  dd_->GetCaps(&DriverCaps, &HELCaps);
}

TDirectDraw::~TDirectDraw() {
  while (!surfaces_.empty()) delete surfaces_.back();
  while (!palettes_.empty()) delete palettes_.back();
  while (!clippers_.empty()) delete clippers_.back();
}

IDirectDraw* TDirectDraw::GetIDirectDraw() const {
  if (!dd_) Raise<EDirectDrawError>("%s not made", "IDirectDraw");
  return dd_.get();
}
IDirectDraw4* TDirectDraw::GetIDirectDraw4() const {
  if (!dd4_) Raise<EDirectDrawError>("%s not made", "IDirectDraw4");
  return dd4_.get();
}
IDirectDraw7* TDirectDraw::GetIDirectDraw7() const {
  if (!dd7_) Raise<EDirectDrawError>("%s not made", "IDirectDraw7");
  return dd7_.get();
}

HRESULT CallDirectDrawEnumerate(const TDDEnumCallback& Callback) {
  return LoadDirectXEntryAs<TDirectDrawEnumerateA>("DDraw.dll", "DirectDrawEnumerateA")(Callback);
}

// ---- Palette and clipper ----------------------------------------------------------

TDirectDrawPalette::TDirectDrawPalette(TDirectDraw* DDraw) : ddraw_(DDraw) {
  ddraw_->palettes_.push_back(this);
}

TDirectDrawPalette::~TDirectDrawPalette() {
  std::erase(ddraw_->palettes_, this);
}

bool TDirectDrawPalette::CreatePalette(uint32_t Caps, const PALETTEENTRY* Entries) {
  pal_.reset();
  PDirectDrawPalette p;
  HRESULT r = ddraw_->GetIDirectDraw()->CreatePalette(Caps, Entries, &p);
  ddraw_->SetResultCode(r);
  SetResultCode(r);
  if (r == DD_OK) pal_ = std::move(p);
  return r == DD_OK;
}

bool TDirectDrawPalette::SetEntries(int StartIndex, int Count, const PALETTEENTRY* Entries) {
  if (!pal_) return false;
  if (StartIndex < 0 || Count < 0) {
    SetResultCode(DDERR_INVALIDPARAMS);
    return false;
  }
  HRESULT r =
      pal_->SetEntries(0, static_cast<uint32_t>(StartIndex), static_cast<uint32_t>(Count), Entries);
  SetResultCode(r);
  return r == DD_OK;
}

IDirectDrawPalette* TDirectDrawPalette::GetIDirectDrawPalette() const {
  if (!pal_) Raise<EDirectDrawPaletteError>("%s not made", "IDirectDrawPalette");
  return pal_.get();
}

TDirectDrawClipper::TDirectDrawClipper(TDirectDraw* DDraw) : ddraw_(DDraw) {
  ddraw_->clippers_.push_back(this);
  HRESULT r = ddraw_->GetIDirectDraw()->CreateClipper(0, &clip_);
  ddraw_->SetResultCode(r);
  if (r != DD_OK) {
    std::erase(ddraw_->clippers_, this);
    Raise<EDirectDrawClipperError>("%s cannot be made", "Clipper");
  }
}

TDirectDrawClipper::~TDirectDrawClipper() {
  std::erase(ddraw_->clippers_, this);
}

void TDirectDrawClipper::SetClipRects(const TRect* Rects, int Count) {
  Count = std::max(Count, 0);
  std::vector<uint8_t> block(32 + static_cast<size_t>(Count) * 16);
  RGNDATAHEADER h;
  h.nCount = static_cast<uint32_t>(Count);
  h.nRgnSize = static_cast<uint32_t>(Count) * 16;
  h.rcBound = TRect{2147483647, 2147483647, -2147483647, -2147483647};
  for (int i = 0; i < Count; ++i) {
    const TRect& r = Rects[i];
    h.rcBound.Left = std::min(h.rcBound.Left, r.Left);
    h.rcBound.Top = std::min(h.rcBound.Top, r.Top);
    h.rcBound.Right = std::max(h.rcBound.Right, r.Right);
    h.rcBound.Bottom = std::max(h.rcBound.Bottom, r.Bottom);
    std::memcpy(block.data() + 32 + 16 * static_cast<size_t>(i), &r, 16);
  }
  std::memcpy(block.data(), &h, 32);
  SetResultCode(GetIDirectDrawClipper()->SetClipList(block.data(), 0));
}

void TDirectDrawClipper::SetHandle(HWND Window) {
  SetResultCode(GetIDirectDrawClipper()->SetHWnd(0, Window));
}

IDirectDrawClipper* TDirectDrawClipper::GetIDirectDrawClipper() const {
  if (!clip_) Raise<EDirectDrawClipperError>("%s not made", "IDirectDrawClipper");
  return clip_.get();
}

// ---- Surface canvas ------------------------------------------------------------------

TDirectDrawSurfaceCanvas::~TDirectDrawSurfaceCanvas() {
  Release();
}

void TDirectDrawSurfaceCanvas::CreateHandle() {
  IDirectDrawSurface* s = surface_->GetIDirectDrawSurface();
  HDC dc = nullptr;
  HRESULT r = s->GetDC(&dc);
  surface_->SetResultCode(r);
  if (r == DD_OK) {
    dc_ = dc;
    SetHandle(dc);
  }
}

void TDirectDrawSurfaceCanvas::Release() {
  if (surface_ && surface_->surf_ && dc_) {
    SetHandle(nullptr);
    surface_->surf_->ReleaseDC(dc_);
    dc_ = nullptr;
  }
}

// ---- Surface ------------------------------------------------------------------------------

TDirectDrawSurface::TDirectDrawSurface(TDirectDraw* DDraw) : ddraw_(DDraw) {
  ddraw_->surfaces_.push_back(this);
}

TDirectDrawSurface::~TDirectDrawSurface() {
  canvas_.reset();
  SetIDirectDrawSurface(nullptr);
  std::erase(ddraw_->surfaces_, this);
}

IDirectDrawSurface* TDirectDrawSurface::GetIDirectDrawSurface() const {
  if (!surf_) Raise<EDirectDrawSurfaceError>("%s not made", "IDirectDrawSurface");
  return surf_.get();
}
IDirectDrawSurface4* TDirectDrawSurface::GetIDirectDrawSurface4() const {
  if (!surf4_) Raise<EDirectDrawSurfaceError>("%s not made", "IDirectDrawSurface4");
  return surf4_.get();
}
IDirectDrawSurface7* TDirectDrawSurface::GetIDirectDrawSurface7() const {
  if (!surf7_) Raise<EDirectDrawSurfaceError>("%s not made", "IDirectDrawSurface7");
  return surf7_.get();
}

void TDirectDrawSurface::SetIDirectDrawSurface(PDirectDrawSurface Value) {
  if (Value == surf_ && Value) return;
  // A canvas still holding the old surface's context would draw into freed
  // memory: give it back first.
  if (canvas_) canvas_->Release();
  if (surf_ && lock_count_ > 0) surf_->Unlock(nullptr);
  surf_.reset();
  surf4_.reset();
  surf7_.reset();
  stretch_clipper_.reset();
  gamma_.reset();
  has_clipper_ = false;
  lock_count_ = 0;
  desc_ = DDSURFACEDESC{};
  if (!Value) return;
  surf_ = Value;
  surf4_ = Value;
  if (ddraw_->GetIDirectDraw7OrNil()) surf7_ = Value;
  PDirectDrawClipper c;
  has_clipper_ = surf_->GetClipper(&c) == DD_OK && c;
  desc_.dwSize = DDSURFACEDESC_SIZE;
  surf_->GetSurfaceDesc(&desc_);
  if (ddraw_->DriverCaps.dwCaps2 & DDCAPS2_PRIMARYGAMMA) {
    PDirectDrawGammaControl g;
    if (surf_->QueryGammaControl(&g) == DD_OK) gamma_ = g;
  }
}

bool TDirectDrawSurface::CreateSurface(const DDSURFACEDESC& SurfaceDesc) {
  SetIDirectDrawSurface(nullptr);
  PDirectDrawSurface s;
  HRESULT r = ddraw_->GetIDirectDraw()->CreateSurface(&SurfaceDesc, &s);
  ddraw_->SetResultCode(r);
  SetResultCode(r);
  if (r != DD_OK) return false;
  SetIDirectDrawSurface(s);
  SetTransparentColor(0);
  return true;
}

void TDirectDrawSurface::SetSize(int AWidth, int AHeight) {
  if (AWidth <= 0 || AHeight <= 0) {
    SetIDirectDrawSurface(nullptr);
    return;
  }
  DDSURFACEDESC d;
  d.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
  d.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | (system_memory_ ? DDSCAPS_SYSTEMMEMORY : 0);
  d.dwWidth = static_cast<uint32_t>(AWidth);
  d.dwHeight = static_cast<uint32_t>(AHeight);
  if (CreateSurface(d)) return;
  if (!(d.ddsCaps.dwCaps & DDSCAPS_SYSTEMMEMORY)) {
    d.ddsCaps.dwCaps = (d.ddsCaps.dwCaps & ~DDSCAPS_VIDEOMEMORY) | DDSCAPS_SYSTEMMEMORY;
    if (CreateSurface(d)) {
      system_memory_ = true;
      return;
    }
  }
  Raise<EDirectDrawSurfaceError>("%s cannot be made", "Surface");
}

bool TDirectDrawSurface::Lock(const TRect* Rect, DDSURFACEDESC& SurfaceDesc) {
  if (!surf_ || lock_count_ > 0) return false;
  lock_desc_ = DDSURFACEDESC{};
  const TRect* r = (Rect && !(*Rect == ClientRect())) ? Rect : nullptr;
  HRESULT res = surf_->Lock(r, &lock_desc_, DDLOCK_WAIT, nullptr);
  SetResultCode(res);
  if (res != DD_OK) return false;
  lock_count_ = 1;
  SurfaceDesc = lock_desc_;
  return true;
}

void TDirectDrawSurface::Unlock() {
  if (!surf_ || lock_count_ <= 0) return;
  if (--lock_count_ == 0) surf_->Unlock(lock_desc_.lpSurface);
}

namespace {

TGdiPixelFormat FormatOf(const DDPIXELFORMAT& f) {
  if (f.dwRGBBitCount <= 8) return TGdiPixelFormat::Indexed(static_cast<int>(f.dwRGBBitCount));
  return TGdiPixelFormat::Masks(static_cast<int>(f.dwRGBBitCount), f.dwRBitMask, f.dwGBitMask,
                                f.dwBBitMask);
}

}  // namespace

uint32_t TDirectDrawSurface::Pixel(int X, int Y) {
  if (!surf_ || X < 0 || Y < 0 || X >= Width() || Y >= Height()) return 0;
  DDSURFACEDESC d;
  if (!Lock(nullptr, d)) return 0;
  TDeviceContext px(d.lpSurface, Width(), Height(), d.lPitch, FormatOf(d.ddpfPixelFormat));
  uint32_t v = px.GetRawPixel(X, Y);
  Unlock();
  return v;
}

void TDirectDrawSurface::SetPixel(int X, int Y, uint32_t Value) {
  if (!surf_ || X < 0 || Y < 0 || X >= Width() || Y >= Height()) return;
  DDSURFACEDESC d;
  if (!Lock(nullptr, d)) return;
  TDeviceContext px(d.lpSurface, Width(), Height(), d.lPitch, FormatOf(d.ddpfPixelFormat));
  px.SetRawPixel(X, Y, Value);
  Unlock();
}

bool TDirectDrawSurface::Fill(uint32_t DevColor) {
  DDBLTFX fx;
  fx.dwSize = 100;
  fx.dwFillColor = DevColor;
  return Blt(nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, fx, nullptr);
}

bool TDirectDrawSurface::Blt(const TRect* DestRect, const TRect* SrcRect, uint32_t Flags,
                             const DDBLTFX& Effects, TDirectDrawSurface* Source) {
  if (!surf_) return false;
  HRESULT r =
      surf_->Blt(DestRect, Source ? Source->surf_.get() : nullptr, SrcRect, Flags, &Effects);
  SetResultCode(r);
  return r == DD_OK;
}

uint32_t TDirectDrawSurface::ColorToPixel(TColor Color) {
  if (!surf_) return 0;
  // The device context converts, exactly as it does when a bitmap of this
  // colour is drawn onto the surface.
  TDirectDrawSurfaceCanvas* c = Canvas();
  HDC dc = c->Handle();
  uint32_t v = dc ? dc->ColorToPixel(ColorToRGB(Color)) : 0;
  c->Release();
  return v;
}

bool TDirectDrawSurface::Restore() {
  if (!surf_) return false;
  HRESULT r = surf_->Restore();
  SetResultCode(r);
  return r == DD_OK;
}

void TDirectDrawSurface::SetColorKey(uint32_t Flags, const DDCOLORKEY& Key) {
  if (!surf_) return;
  SetResultCode(surf_->SetColorKey(Flags, &Key));
  // The description carries the key for those who read it (the renderer).
  surf_->GetSurfaceDesc(&desc_);
}

void TDirectDrawSurface::SetTransparentColor(uint32_t DevColor) {
  SetColorKey(DDCKEY_SRCBLT, DDCOLORKEY{DevColor, DevColor});
}

void TDirectDrawSurface::SetClipper(TDirectDrawClipper* Clipper) {
  if (!surf_) return;
  SetResultCode(surf_->SetClipper(Clipper ? Clipper->IClipper() : nullptr));
  has_clipper_ = Clipper != nullptr && ResultCode() == DD_OK;
}

void TDirectDrawSurface::SetPalette(TDirectDrawPalette* Palette) {
  if (!surf_) return;
  SetResultCode(surf_->SetPalette(Palette ? Palette->IPalette() : nullptr));
}

TDirectDrawSurfaceCanvas* TDirectDrawSurface::Canvas() {
  if (!canvas_) canvas_ = std::make_unique<TDirectDrawSurfaceCanvas>(this);
  return canvas_.get();
}

void TDirectDrawSurface::LoadFromGraphic(TGraphic* Graphic) {
  LoadFromGraphicRect(Graphic, 0, 0, TRect{0, 0, Graphic->Width(), Graphic->Height()});
}

void TDirectDrawSurface::LoadFromGraphicRect(TGraphic* Graphic, int AWidth, int AHeight,
                                             const TRect& SrcRect) {
  if (AWidth == 0) AWidth = SrcRect.Width();
  if (AHeight == 0) AHeight = SrcRect.Height();
  SetSize(AWidth, AHeight);
  if (!surf_) return;
  TDirectDrawSurfaceCanvas* c = Canvas();
  const TScopeExit release([c] { c->Release(); });
  if (auto* dib = dynamic_cast<TDIB*>(Graphic)) {
    c->CopyRect(TRect{0, 0, AWidth, AHeight}, dib->Canvas(), SrcRect);
  } else if (AWidth == SrcRect.Width() && AHeight == SrcRect.Height()) {
    c->Draw(-SrcRect.Left, -SrcRect.Top, Graphic);
  } else {
    TDIB temp;
    temp.SetSize(SrcRect.Width(), SrcRect.Height(), 24);
    temp.Canvas()->Draw(-SrcRect.Left, -SrcRect.Top, Graphic);
    c->StretchDraw(TRect{0, 0, AWidth, AHeight}, &temp);
  }
}

void TDirectDrawSurface::Assign(TPersistent* Source) {
  if (!Source) {
    SetIDirectDrawSurface(nullptr);
  } else if (auto* g = dynamic_cast<TGraphic*>(Source)) {
    LoadFromGraphic(g);
  } else if (auto* p = dynamic_cast<TPicture*>(Source)) {
    if (p->Graphic()) LoadFromGraphic(p->Graphic());
  } else if (auto* s = dynamic_cast<TDirectDrawSurface*>(Source)) {
    if (!s->surf_) {
      SetIDirectDrawSurface(nullptr);
    } else {
      PDirectDrawSurface dup;
      HRESULT r = ddraw_->GetIDirectDraw()->DuplicateSurface(s->surf_.get(), &dup);
      ddraw_->SetResultCode(r);
      if (r == DD_OK) SetIDirectDrawSurface(dup);
    }
  } else {
    TDirectX::Assign(Source);
  }
}

void TDirectDrawSurface::AssignTo(TPersistent* Dest) {
  auto* dib = dynamic_cast<TDIB*>(Dest);
  if (!dib) {
    TDirectX::AssignTo(Dest);
    return;
  }
  dib->SetSize(Width(), Height(), std::max(BitCount(), 24));
  TDirectDrawSurfaceCanvas* c = Canvas();
  const TScopeExit release([c] { c->Release(); });
  dib->Canvas()->CopyRect(ClientRect(), c, ClientRect());
}

// ---- Draw family ----------------------------------------------------------------------------

struct TDirectDrawSurface::TDrawArgs {
  TDrawKind Kind = dkRect;
  TBlendKind Blend = bkPlain;
  TRect DestRect;
  int X = 0, Y = 0, W = 0, H = 0;
  TRect SrcRect;
  TDirectDrawSurface* Source = nullptr;
  double CenterX = 0, CenterY = 0;
  bool Transparent = false;
  float Angle = 0;
  int Amplitude = 0, Length = 0, Phase = 0;
  int Alpha = 255;

  // What every draw names: its kind and blend, the source and its keying.
  static TDrawArgs Of(TDrawKind Kind, TBlendKind Blend, const TRect& SrcRect,
                      TDirectDrawSurface* Source, bool Transparent, int Alpha) {
    TDrawArgs a;
    a.Kind = Kind;
    a.Blend = Blend;
    a.SrcRect = SrcRect;
    a.Source = Source;
    a.Transparent = Transparent;
    a.Alpha = Alpha;
    return a;
  }
  TDrawArgs& At(int AX, int AY, int AW, int AH) {
    X = AX;
    Y = AY;
    W = AW;
    H = AH;
    return *this;
  }

  static TDrawArgs Rect(TBlendKind Blend, const TRect& DestRect, const TRect& SrcRect,
                        TDirectDrawSurface* Source, bool Transparent, int Alpha) {
    TDrawArgs a = Of(dkRect, Blend, SrcRect, Source, Transparent, Alpha);
    a.DestRect = DestRect;
    return a;
  }
  static TDrawArgs Rotate(TBlendKind Blend, int X, int Y, int W, int H, const TRect& SrcRect,
                          TDirectDrawSurface* Source, double CenterX, double CenterY,
                          bool Transparent, float Angle, int Alpha) {
    TDrawArgs a = Of(dkRotate, Blend, SrcRect, Source, Transparent, Alpha).At(X, Y, W, H);
    a.CenterX = CenterX;
    a.CenterY = CenterY;
    a.Angle = Angle;
    return a;
  }
  static TDrawArgs Wave(TBlendKind Blend, int X, int Y, int W, int H, const TRect& SrcRect,
                        TDirectDrawSurface* Source, bool Transparent, int Amplitude, int Length,
                        int Phase, int Alpha) {
    TDrawArgs a = Of(dkWave, Blend, SrcRect, Source, Transparent, Alpha).At(X, Y, W, H);
    a.Amplitude = Amplitude;
    a.Length = Length;
    a.Phase = Phase;
    return a;
  }
};

void TDirectDrawSurface::StretchDraw(const TRect& DestRect, const TRect& SrcRect,
                                     TDirectDrawSurface* Source, bool Transparent) {
  auto empty = [](const TRect& r) { return r.Top >= r.Bottom || r.Left >= r.Right; };
  if (!Source || empty(DestRect) || empty(SrcRect)) return;
  if (TD2D* d = HardwareFor(this)) {
    d->RenderSurface(Source, DestRect, Transparent, rtDraw, 255);
    return;
  }
  DDBLTFX fx;
  fx.dwSize = 100;
  const uint32_t flags = DDBLT_WAIT | (Transparent ? DDBLT_KEYSRC : 0);
  if (has_clipper_) {
    Blt(&DestRect, &SrcRect, flags, fx, Source);
    return;
  }
  IDirectDrawSurface* s = GetIDirectDrawSurface();
  if (!stretch_clipper_) {
    TDirectDrawClipper clipper(ddraw_);
    TRect r = ClientRect();
    clipper.SetClipRects(&r, 1);
    stretch_clipper_ = clipper.IClipper();
  }
  s->SetClipper(stretch_clipper_);
  Blt(&DestRect, &SrcRect, flags, fx, Source);
  s->SetClipper(nullptr);
}

void TDirectDrawSurface::BlendDraw(const TDrawArgs& A) {
  if (Width() == 0 || Height() == 0 || !A.Source || A.Source->Width() == 0 ||
      A.Source->Height() == 0)
    return;
  if (A.Kind != dkRect && (A.W == 0 || A.H == 0)) return;
  if (A.Blend != bkPlain && A.Alpha <= 0) return;
  if (TD2D* d = HardwareFor(this)) {
    static constexpr TRenderType kRenderTypes[] = {rtDraw, rtAdd, rtBlend, rtSub};
    const TRenderType rt = kRenderTypes[A.Blend];
    const int alpha = A.Blend == bkPlain ? 255 : A.Alpha;
    switch (A.Kind) {
      case dkRect:
        d->RenderSurface(A.Source, A.DestRect, A.Transparent, rt, alpha);
        break;
      case dkRotate:
        d->RenderSurfaceRotate(A.Source, A.X, A.Y, A.W, A.H, rt, A.CenterX, A.CenterY, A.Angle,
                               alpha, A.Transparent);
        break;
      case dkWave:
        d->RenderSurfaceWaveX(A.Source, A.X, A.Y, A.W, A.H, rt, A.Transparent, A.Amplitude,
                              A.Length, A.Phase, alpha);
        break;
    }
    return;
  }
  IDirectDrawSurface* dest = GetIDirectDrawSurface();
  IDirectDrawSurface* source = A.Source->GetIDirectDrawSurface();
  TDXRSurfaceInfo destInfo, srcInfo;
  DDSURFACEDESC srcDesc;
  if (!LockRenderSurface(dest, destInfo)) return;
  if (!LockRenderSurfaceDesc(source, srcDesc, srcInfo)) {
    UnlockRenderSurface(dest, destInfo);
    return;
  }
  TDXRBlendOp op = boSource;
  if (destInfo.Kind != 0) {
    const bool partial = A.Alpha < 255;
    switch (A.Blend) {
      case bkAdd:
        op = partial ? boAddAlpha : boAdd;
        break;
      case bkAlpha:
        op = partial ? boBlend : boSource;
        break;
      case bkSub:
        op = partial ? boSubtractAlpha : boSubtract;
        break;
      case bkPlain:
        op = boSource;
        break;
    }
  }
  const int32_t alpha = A.Blend == bkPlain ? 0 : A.Alpha;
  const uint32_t key = srcDesc.ddckCKSrcBlt.dwColorSpaceLowValue;
  const TScopeExit unlock([&] {
    UnlockRenderSurface(source, srcInfo);
    UnlockRenderSurface(dest, destInfo);
  });
  switch (A.Kind) {
    case dkRect:
      RenderBlendRect(destInfo, srcInfo, A.DestRect, A.SrcRect, op, alpha, A.Transparent, key);
      break;
    case dkRotate:
      RenderBlendRotate(destInfo, srcInfo, A.X, A.Y, A.W, A.H, A.SrcRect, A.CenterX, A.CenterY,
                        Round(A.Angle), op, alpha, A.Transparent, key);
      break;
    case dkWave:
      RenderBlendWave(destInfo, srcInfo, A.X, A.Y, A.W, A.H, A.SrcRect, A.Amplitude, A.Length,
                      A.Phase, op, alpha, A.Transparent, key);
      break;
  }
}

void TDirectDrawSurface::DrawAdd(const TRect& DestRect, const TRect& SrcRect,
                                 TDirectDrawSurface* Source, bool Transparent, int Alpha) {
  BlendDraw(TDrawArgs::Rect(bkAdd, DestRect, SrcRect, Source, Transparent, Alpha));
}
void TDirectDrawSurface::DrawAlpha(const TRect& DestRect, const TRect& SrcRect,
                                   TDirectDrawSurface* Source, bool Transparent, int Alpha) {
  BlendDraw(TDrawArgs::Rect(bkAlpha, DestRect, SrcRect, Source, Transparent, Alpha));
}
void TDirectDrawSurface::DrawSub(const TRect& DestRect, const TRect& SrcRect,
                                 TDirectDrawSurface* Source, bool Transparent, int Alpha) {
  BlendDraw(TDrawArgs::Rect(bkSub, DestRect, SrcRect, Source, Transparent, Alpha));
}

void TDirectDrawSurface::DrawRotate(int X, int Y, int AWidth, int AHeight, const TRect& SrcRect,
                                    TDirectDrawSurface* Source, double CenterX, double CenterY,
                                    bool Transparent, float Angle) {
  BlendDraw(TDrawArgs::Rotate(bkPlain, X, Y, AWidth, AHeight, SrcRect, Source, CenterX, CenterY,
                              Transparent, Angle, 255));
}
void TDirectDrawSurface::DrawRotateAdd(int X, int Y, int AWidth, int AHeight, const TRect& SrcRect,
                                       TDirectDrawSurface* Source, double CenterX, double CenterY,
                                       bool Transparent, float Angle, int Alpha) {
  BlendDraw(TDrawArgs::Rotate(bkAdd, X, Y, AWidth, AHeight, SrcRect, Source, CenterX, CenterY,
                              Transparent, Angle, Alpha));
}
void TDirectDrawSurface::DrawRotateAlpha(int X, int Y, int AWidth, int AHeight,
                                         const TRect& SrcRect, TDirectDrawSurface* Source,
                                         double CenterX, double CenterY, bool Transparent,
                                         float Angle, int Alpha) {
  BlendDraw(TDrawArgs::Rotate(bkAlpha, X, Y, AWidth, AHeight, SrcRect, Source, CenterX, CenterY,
                              Transparent, Angle, Alpha));
}
void TDirectDrawSurface::DrawRotateSub(int X, int Y, int AWidth, int AHeight, const TRect& SrcRect,
                                       TDirectDrawSurface* Source, double CenterX, double CenterY,
                                       bool Transparent, float Angle, int Alpha) {
  BlendDraw(TDrawArgs::Rotate(bkSub, X, Y, AWidth, AHeight, SrcRect, Source, CenterX, CenterY,
                              Transparent, Angle, Alpha));
}

void TDirectDrawSurface::DrawWaveX(int X, int Y, int AWidth, int AHeight, const TRect& SrcRect,
                                   TDirectDrawSurface* Source, bool Transparent, int Amplitude,
                                   int Length, int Phase) {
  BlendDraw(TDrawArgs::Wave(bkPlain, X, Y, AWidth, AHeight, SrcRect, Source, Transparent, Amplitude,
                            Length, Phase, 255));
}
void TDirectDrawSurface::DrawWaveXAdd(int X, int Y, int AWidth, int AHeight, const TRect& SrcRect,
                                      TDirectDrawSurface* Source, bool Transparent, int Amplitude,
                                      int Length, int Phase, int Alpha) {
  BlendDraw(TDrawArgs::Wave(bkAdd, X, Y, AWidth, AHeight, SrcRect, Source, Transparent, Amplitude,
                            Length, Phase, Alpha));
}
void TDirectDrawSurface::DrawWaveXAlpha(int X, int Y, int AWidth, int AHeight, const TRect& SrcRect,
                                        TDirectDrawSurface* Source, bool Transparent, int Amplitude,
                                        int Length, int Phase, int Alpha) {
  BlendDraw(TDrawArgs::Wave(bkAlpha, X, Y, AWidth, AHeight, SrcRect, Source, Transparent, Amplitude,
                            Length, Phase, Alpha));
}
void TDirectDrawSurface::DrawWaveXSub(int X, int Y, int AWidth, int AHeight, const TRect& SrcRect,
                                      TDirectDrawSurface* Source, bool Transparent, int Amplitude,
                                      int Length, int Phase, int Alpha) {
  BlendDraw(TDrawArgs::Wave(bkSub, X, Y, AWidth, AHeight, SrcRect, Source, Transparent, Amplitude,
                            Length, Phase, Alpha));
}
