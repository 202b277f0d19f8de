#include "direct3d/d2d.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "direct3d/direct3d_setup.h"
#include "direct3d/texture_builder.h"
#include "engine/dib/dib.h"
#include "engine/dib/pixel_layout.h"
#include "engine/draw/pictures.h"
#include "framework/sysutils.h"
#include "render/dxrender.h"

TD2DTextureEntry::TD2DTextureEntry() = default;
TD2DTextureEntry::~TD2DTextureEntry() = default;
TD2DTextureEntry::TD2DTextureEntry(TD2DTextureEntry&&) noexcept = default;
TD2DTextureEntry& TD2DTextureEntry::operator=(TD2DTextureEntry&&) noexcept = default;

std::string SurfaceTextureKey(const TDirectDrawSurface* Surface) {
  return std::to_string(reinterpret_cast<uintptr_t>(Surface));
}

namespace {

// A colour (red in the low byte) of a raw pixel through the masks.
uint32_t ColorOfPixel(uint32_t Raw, uint32_t R, uint32_t G, uint32_t B) {
  return ChannelToByte(MakeChannel(R, false), Raw) |
         (ChannelToByte(MakeChannel(G, false), Raw) << 8) |
         (ChannelToByte(MakeChannel(B, false), Raw) << 16);
}

// The surface's pixels as a bitmap of the same depth where the bitmap class
// holds that layout (so keys and colours match the surface exactly), else
// through the surface's own conversion.
std::unique_ptr<TDIB> DIBFromSurface(TDirectDrawSurface* Surface) {
  auto dib = std::make_unique<TDIB>();
  const DDPIXELFORMAT& f = Surface->SurfaceDesc().ddpfPixelFormat;
  const int32_t w = Surface->Width(), h = Surface->Height();
  const bool is565 = f.dwRGBBitCount == 16 && f.dwRBitMask == 0xF800 && f.dwGBitMask == 0x7E0 &&
                     f.dwBBitMask == 0x1F;
  const bool is555 = f.dwRGBBitCount == 16 && f.dwRBitMask == 0x7C00 && f.dwGBitMask == 0x3E0 &&
                     f.dwBBitMask == 0x1F;
  const bool is888 = f.dwRGBBitCount == 32 && f.dwRBitMask == 0xFF0000 &&
                     f.dwGBitMask == 0xFF00 && f.dwBBitMask == 0xFF;
  DDSURFACEDESC d;
  if ((is565 || is555 || is888) && Surface->ISurface() &&
      Surface->ISurface()->Lock(nullptr, &d, DDLOCK_WAIT, nullptr) == DD_OK) {
    dib->PixelFormat = is565 ? Layout565() : is555 ? Layout555() : Layout888();
    dib->SetSize(w, h, static_cast<int32_t>(f.dwRGBBitCount));
    const size_t bytes = static_cast<size_t>(w) * (f.dwRGBBitCount / 8);
    for (int32_t y = 0; y < h; ++y)
      std::memcpy(dib->ScanLine(y), static_cast<uint8_t*>(d.lpSurface) + static_cast<size_t>(y) * d.lPitch,
                  bytes);
    Surface->ISurface()->Unlock(nullptr);
    return dib;
  }
  dib->Assign(Surface);
  return dib;
}

// The surface's own source colour key as a colour; 0 without one.
uint32_t SurfaceKeyColor(TDirectDrawSurface* Surface) {
  DDCOLORKEY key;
  if (!Surface->ISurface() || Surface->ISurface()->GetColorKey(DDCKEY_SRCBLT, &key) != DD_OK)
    return 0;
  const DDPIXELFORMAT& f = Surface->SurfaceDesc().ddpfPixelFormat;
  if (f.dwRGBBitCount <= 8) return 0;
  return ColorOfPixel(key.dwColorSpaceLowValue, f.dwRBitMask, f.dwGBitMask, f.dwBBitMask);
}

}  // namespace

void MakePowerOfTwo(TD2DTextureEntry& Entry) {
  TDIB& img = *Entry.Image;
  const int32_t w = img.GetWidth(), h = img.GetHeight();
  int32_t p = 2, q = 2;
  while (p < w) p *= 2;
  while (q < h) q *= 2;
  const int32_t s = std::max(p, q);
  int32_t bits = img.BitCount();
  if (bits != 16 && bits != 32) {
    img.ConvertBitCount(24);
    bits = 24;
  }
  if (w == s && h == s) return;
  auto square = std::make_unique<TDIB>();
  square->PixelFormat = img.ImagePixelFormat();
  square->SetSize(s, s, bits);
  const size_t bytes = static_cast<size_t>(w) * static_cast<size_t>(bits / 8);
  for (int32_t y = 0; y < h; ++y) std::memcpy(square->ScanLine(y), img.ScanLine(y), bytes);
  Entry.U1 = static_cast<double>(w) / s;
  Entry.V1 = static_cast<double>(h) / s;
  Entry.Image = std::move(square);
}

// ---- Cache ---------------------------------------------------------------------

// Every draw looks its texture up by name, and a game's cache holds hundreds:
// names are found through an index of their folded case.
int32_t TD2DTextures::IndexOf(const std::string& Name) const {
  const auto it = index_.find(LowerCase(Name));
  return it == index_.end() ? -1 : it->second;
}

void TD2DTextures::Clear() {
  entries_.clear();
  index_.clear();
}

bool TD2DTextures::Added() {
  index_.emplace(LowerCase(entries_.back().Name), Count() - 1);
  return true;
}

bool TD2DTextures::ContainsItem(TPictureCollectionItem* Item) const {
  return Contains(Item->Name());
}

TD2DTextureEntry& TD2DTextures::Append() {
  if (Count() > D2DMaxTextures) Clear();
  entries_.emplace_back();
  return entries_.back();
}

bool TD2DTextures::AddFromItem(TPictureCollectionItem* Item) {
  Append();
  try {
    TD2DTextureEntry& e = entries_.back();
    if (Item->Name().empty()) Item->SetName(Format("Item%s", SurfaceTextureKey(nullptr) + std::to_string(reinterpret_cast<uintptr_t>(Item))));
    TGraphic* g = Item->Picture().Graphic();
    if (!g) return entries_.pop_back(), false;
    e.Image = std::make_unique<TDIB>();
    e.Image->Assign(g);
    e.U0 = e.V0 = 0;
    e.U1 = e.V1 = 1;
    MakePowerOfTwo(e);
    e.Name = Item->Name();
    e.Width = e.Image->GetWidth();
    e.Height = e.Image->GetHeight();
    if (e.Image->HasAlphaChannel()) {
      std::unique_ptr<TDXTextureImage> ti = MakeTextureImageFromDIB(*e.Image);
      if (!ti) return entries_.pop_back(), false;
      ti->ImageName = Item->Name();
      ti->Transparent = Item->Transparent;
      // The texture reloads from its image after every loss, so it keeps it.
      e.Texture = std::make_unique<TDirect3DTexture2>(dxdraw_, ti.release(), true);
      e.Texture->SetTransparent(Item->Transparent);
      e.HasAlpha = true;
    } else {
      e.Texture = std::make_unique<TDirect3DTexture2>(dxdraw_, static_cast<TGraphic*>(e.Image.get()), false);
      e.Texture->SetTransparentColor(static_cast<uint32_t>(Item->TransparentColor()));
      e.Texture->SetTransparent(Item->Transparent);
      e.HasAlpha = false;
    }
    return Added();
  } catch (const Exception&) {
    entries_.pop_back();
    return false;
  }
}

bool TD2DTextures::AddSurface(TDirectDrawSurface* Surface, bool Transparent,
                              const std::string& Key, bool AlphaFromImage) {
  Append();
  try {
    TD2DTextureEntry& e = entries_.back();
    e.Name = Key;
    e.Image = DIBFromSurface(Surface);
    e.U0 = e.V0 = 0;
    e.U1 = e.V1 = 1;
    MakePowerOfTwo(e);
    e.Width = e.Image->GetWidth();
    e.Height = e.Image->GetHeight();
    if (AlphaFromImage && e.Image->HasAlphaChannel()) {
      std::unique_ptr<TDXTextureImage> ti = MakeTextureImageFromDIB(*e.Image);
      if (!ti) return entries_.pop_back(), false;
      ti->ImageName = Key;
      ti->Transparent = Transparent;
      e.Texture = std::make_unique<TDirect3DTexture2>(dxdraw_, ti.release(), true);
      e.Texture->SetTransparent(Transparent);
      e.HasAlpha = true;
      return Added();
    }
    // Keyed as the blitter and the software renderer key it: by the
    // surface's own colour key.
    const uint32_t key = SurfaceKeyColor(Surface);
    e.Texture = std::make_unique<TDirect3DTexture2>(dxdraw_, static_cast<TGraphic*>(e.Image.get()), false);
    e.Texture->SetTransparentColor(key);
    e.Texture->SetTransparent(Transparent);
    return Added();
  } catch (const Exception&) {
    entries_.pop_back();
    return false;
  }
}

bool TD2DTextures::LoadSurface(TDirectDrawSurface* Surface, bool Transparent,
                               const std::string& Key) {
  return AddSurface(Surface, Transparent, Key, false);
}

bool TD2DTextures::AddFromSurface(TDirectDrawSurface* Surface, bool Transparent,
                                  const std::string& Key) {
  return AddSurface(Surface, Transparent, Key, true);
}

// ---- Drawer --------------------------------------------------------------------

TD2DDirect3D::TD2DDirect3D(TCustomDXDraw* DXDraw) : TD2D(DXDraw) {
  TextureFilter = D2D_POINT;
  ResetVertices();
  const TDXDrawOptions o = DXDraw->Options();
  SetUsable(o.Contains(do3D) && o.Contains(doDirectX7Mode) && o.Contains(doHardware));
}

TD2DDirect3D::~TD2DDirect3D() {
  usable_ = false;
  textures_.reset();
}

IDirect3DDevice* TD2DDirect3D::Device() const {
  return DXDraw()->D3DDevice7.get();
}

void TD2DDirect3D::ResetVertices() {
  for (D3DTLVERTEX& v : Vertices) {
    v = D3DTLVERTEX{};
    v.rhw = 1.0f;
    v.specular = 0xFFFFFFFFu;
  }
}

void TD2DDirect3D::SetUsable(bool Value) {
  if (Value && !usable_) {
    textures_ = std::make_unique<TD2DTextures>(DXDraw());
    SetTextureFilter(D2D_LINEAR);
  }
  usable_ = Value;
}

bool TD2DDirect3D::CheckUsable() {
  const TDXDrawOptions o = DXDraw()->Options();
  if (o.Contains(do3D) && o.Contains(doDirectX7Mode) && o.Contains(doHardware)) {
    if (!usable_) SetUsable(true);
  } else {
    usable_ = false;
  }
  TDirectDrawSurface* s = DXDraw()->Surface.get();
  if (!s || (s->BitCount() != 16 && s->BitCount() != 32)) usable_ = false;
  // Without a device nothing could be drawn: the other paths draw instead.
  return usable_ && Device();
}

bool TD2DDirect3D::SelectBackSurface() {
  IDirect3DDevice* d = Device();
  TDirectDrawSurface* s = DXDraw()->Surface.get();
  if (!d || !s || !s->ISurface()) return false;
  return d->SetRenderTarget(s->ISurface().get(), 0) == DD_OK;
}

void TD2DDirect3D::ClearTextureCache() {
  if (textures_) textures_->Clear();
}

void TD2DDirect3D::SetTextureFilter(TD2DTextureFilter Filter) {
  TextureFilter = Filter;
  if (DXDraw()->Options().Contains(do3D) && Device()) {
    Device()->SetTextureStageState(0, D3DTSS_MAGFILTER, uint32_t{Filter} + 1);
    Device()->SetTextureStageState(0, D3DTSS_MINFILTER, uint32_t{Filter} + 1);
  }
}

void TD2DDirect3D::SetColor(D3DCOLOR C) {
  for (D3DTLVERTEX& v : Vertices) v.color = C;
}

void TD2DDirect3D::SetRenderStates(TRenderType RenderType, int Alpha, bool WithColor) {
  IDirect3DDevice* d = Device();
  const uint32_t a = static_cast<uint32_t>(std::clamp(Alpha, 0, 255));
  auto stage = [&] {
    // The picture's own alpha times the draw's: a texture without alpha
    // reads as opaque, so Alpha alone decides.
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
  };
  switch (RenderType) {
    case rtDraw:
      d->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 0);
      d->SetRenderState(D3DRENDERSTATE_COLORKEYENABLE, 1);
      d->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_ONE);
      if (WithColor) SetColor(RGB_MAKE(255, 255, 255));
      break;
    case rtBlend:
      d->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
      d->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
      d->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
      stage();
      if (WithColor) SetColor(RGBA_MAKE(255, 255, 255, a));
      break;
    case rtAdd:
      d->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
      d->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_ONE);
      d->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_ONE);
      stage();
      if (WithColor) SetColor(RGB_MAKE(a, a, a));
      break;
    case rtSub:
      d->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
      d->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_ZERO);
      d->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCCOLOR);
      stage();
      if (WithColor) SetColor(RGB_MAKE(a, a, a));
      break;
  }
}

void TD2DDirect3D::SetTextureCoords(const TD2DTextureEntry& E) {
  const float u0 = static_cast<float>(E.U0), v0 = static_cast<float>(E.V0);
  const float u1 = static_cast<float>(E.U1), v1 = static_cast<float>(E.V1);
  float tl[2] = {u0, v0}, tr[2] = {u1, v0}, bl[2] = {u0, v1}, br[2] = {u1, v1};
  const bool mirror = MirrorFlip & MirrorFlipBit(rmfMirror);
  const bool flip = MirrorFlip & MirrorFlipBit(rmfFlip);
  if (mirror) {
    std::swap(tl, tr);
    std::swap(bl, br);
  }
  if (flip) {
    std::swap(tl, bl);
    std::swap(tr, br);
  }
  Vertices[0].tu = tl[0], Vertices[0].tv = tl[1];
  Vertices[1].tu = tr[0], Vertices[1].tv = tr[1];
  Vertices[2].tu = bl[0], Vertices[2].tv = bl[1];
  Vertices[3].tu = br[0], Vertices[3].tv = br[1];
}

void TD2DDirect3D::SetVertexRect(const TRect& R) {
  auto at = [&](D3DTLVERTEX& v, int32_t x, int32_t y) {
    v.sx = static_cast<float>(x) - 0.5f;
    v.sy = static_cast<float>(y) - 0.5f;
  };
  at(Vertices[0], R.Left, R.Top);
  at(Vertices[1], R.Right, R.Top);
  at(Vertices[2], R.Left, R.Bottom);
  at(Vertices[3], R.Right, R.Bottom);
}

void TD2DDirect3D::SetVertexRotation(int X, int Y, int Width, int Height, double CenterX,
                                     double CenterY, float Angle, int SourceWidth,
                                     int SourceHeight) {
  // The software path walks the source in 16.16 steps from the turning
  // centre: the steps come from its sine table cut to 16.16 and divided
  // down, and a pixel takes the texel under its top-left corner. The quad
  // is that walk run backwards from the picture's corners, so the device's
  // interpolation lands every pixel on the texel the software path takes.
  // Whole angles go through that path's table; between them the turn stays
  // smooth.
  const bool whole = std::fabs(Angle) < 1e9f && std::round(Angle) == Angle;
  const double turn = -Angle * (2 * std::numbers::pi / 256);
  const auto angle = whole ? static_cast<uint8_t>(-static_cast<int64_t>(Angle)) : uint8_t{0};
  const double c = std::trunc((whole ? RenderCos(angle) : std::cos(turn)) * 65536),
               s = std::trunc((whole ? RenderSin(angle) : std::sin(turn)) * 65536);
  const double sw = SourceWidth, sh = SourceHeight;
  const double w = Width, h = Height;
  // Texel steps per screen pixel, as the software path truncates them.
  const double dux = std::trunc(sw * c / w) / 65536, duy = std::trunc(sw * s / w) / 65536;
  const double dvx = std::trunc(sh * s / h) / 65536, dvy = std::trunc(sh * c / h) / 65536;
  const double uc = std::trunc(sw * CenterX * 65536) / 65536,
               vc = std::trunc(sh * CenterY * 65536) / 65536;
  // u = uc + dux (x - X) - duy (y - Y); v = vc + dvx (x - X) + dvy (y - Y).
  const double det = dux * dvy + duy * dvx;
  // A hair into each texel: the software path floors exact coordinates, and
  // points landing on a texel edge must fall on the side it takes.
  constexpr double kHair = 1.0 / 2048;
  auto at = [&](D3DTLVERTEX& v, double u, double t) {
    const double du = u - kHair - uc, dv = t - kHair - vc;
    double x = 0, y = 0;
    // An empty or flattened picture leaves an empty quad.
    if (det != 0 && Width != 0 && Height != 0) {
      x = (du * dvy + duy * dv) / det;
      y = (dux * dv - dvx * du) / det;
    }
    v.sx = static_cast<float>(X + x);
    v.sy = static_cast<float>(Y + y);
  };
  at(Vertices[0], 0, 0);
  at(Vertices[1], sw, 0);
  at(Vertices[2], 0, sh);
  at(Vertices[3], sw, sh);
}

void TD2DDirect3D::DrawQuad() {
  IDirect3DDevice* d = Device();
  SkipNextFlip = d->DrawPrimitive(D3DPT_TRIANGLESTRIP, D3DFVF_TLVERTEX, Vertices.data(), 4,
                                  D3DDP_WAIT) != DD_OK;
  ResetVertices();
  MirrorFlip = 0;
  d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
  d->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
  d->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 0);
}

// Makes an entry's texture the current one with its colour keying. A device
// that refuses it has lost its textures: the cache is emptied to be made
// again, and the frame it would spoil is skipped.
bool TD2DDirect3D::SetEntryTexture(const TD2DTextureEntry& Entry) {
  HRESULT r = DDERR_GENERIC;
  try {
    TDirectDrawSurface* s = Entry.Texture->Surface();
    if (s && s->ISurface()) r = Device()->SetTexture(0, s->ISurface().get());
  } catch (const Exception&) {
  }
  if (r != DD_OK) {
    SkipNextFlip = true;
    textures_->Clear();
    return false;
  }
  Device()->SetRenderState(D3DRENDERSTATE_COLORKEYENABLE, Entry.Texture->Transparent() ? 1 : 0);
  return true;
}

bool TD2DDirect3D::BindPatternTexture(TPictureCollectionItem* Item, int PatternIndex,
                                      TRenderType RenderType) {
  Device()->SetTexture(0, nullptr);
  int32_t i = textures_->IndexOf(Item->Name());
  if (i < 0) {
    if (!textures_->AddFromItem(Item)) return false;
    i = textures_->IndexOf(Item->Name());
    if (i < 0) return false;
  }
  TD2DTextureEntry& e = textures_->Entry(i);
  if (!SetEntryTexture(e)) {
    Item->Restore();
    SetTextureFilter(D2D_LINEAR);
    return false;
  }
  if (e.HasAlpha && RenderType == rtDraw) {
    SetRenderStates(rtBlend, 255, false);
    SetColor(RGBA_MAKE(255, 255, 255, 255));
  }
  if (Item->PatternWidth != 0 || Item->PatternHeight != 0) {
    const TRect pr = Item->GetPatternRect(PatternIndex);
    // The inset keeps linear filtering off the next pattern; point sampling
    // never reaches it, and without the inset it picks the texels the
    // software path picks when a pattern is stretched.
    const double inset = Item->GetPatternCount() == 1 || TextureFilter == D2D_POINT ? 0.0 : 0.5;
    e.U0 = pr.Left / static_cast<double>(e.Width);
    e.V0 = pr.Top / static_cast<double>(e.Height);
    e.U1 = (pr.Right - inset) / static_cast<double>(e.Width);
    e.V1 = (pr.Bottom - inset) / static_cast<double>(e.Height);
  }
  SetTextureCoords(e);
  return true;
}

int32_t TD2DDirect3D::SurfaceTextureIndex(TDirectDrawSurface* Surface, bool Transparent) {
  const std::string key = SurfaceTextureKey(Surface);
  if (textures_->Contains(key)) return textures_->IndexOf(key);
  if (!textures_->LoadSurface(Surface, Transparent, key)) return -1;
  return textures_->IndexOf(key);
}

bool TD2DDirect3D::BindSurfaceTexture(TDirectDrawSurface* Surface, bool Transparent) {
  Device()->SetTexture(0, nullptr);
  const int32_t i = SurfaceTextureIndex(Surface, Transparent);
  if (i < 0) return false;
  TD2DTextureEntry& e = textures_->Entry(i);
  if (!SetEntryTexture(e)) return false;
  SetTextureCoords(e);
  return true;
}

bool TD2DDirect3D::RenderPattern(TPictureCollectionItem* Item, const TRect& DestRect,
                                 int PatternIndex, TRenderType RenderType, int Alpha) {
  if (!CheckUsable()) return false;
  SetRenderStates(RenderType, Alpha, true);
  const bool bound = BindPatternTexture(Item, PatternIndex, RenderType);
  SetVertexRect(DestRect);
  // A picture with no texture draws nothing rather than a box.
  if (bound) DrawQuad();
  else ResetVertices(), MirrorFlip = 0;
  return bound;
}

bool TD2DDirect3D::RenderSurface(TDirectDrawSurface* Source, const TRect& DestRect,
                                 bool Transparent, TRenderType RenderType, int Alpha) {
  if (!CheckUsable()) return false;
  SetRenderStates(RenderType, Alpha, true);
  const bool bound = Source && BindSurfaceTexture(Source, Transparent);
  SetVertexRect(DestRect);
  if (bound) DrawQuad();
  else ResetVertices(), MirrorFlip = 0;
  return bound;
}

bool TD2DDirect3D::RenderPatternRotate(TPictureCollectionItem* Item, int X, int Y, int Width,
                                       int Height, int PatternIndex, TRenderType RenderType,
                                       double CenterX, double CenterY, float Angle, int Alpha) {
  if (!CheckUsable()) return false;
  SetRenderStates(RenderType, Alpha, true);
  const bool bound = BindPatternTexture(Item, PatternIndex, RenderType);
  const TRect pr = Item->GetPatternRect(PatternIndex);
  SetVertexRotation(X, Y, Width, Height, CenterX, CenterY, Angle, pr.Width(), pr.Height());
  if (bound) DrawQuad();
  else ResetVertices(), MirrorFlip = 0;
  return bound;
}

bool TD2DDirect3D::RenderSurfaceRotate(TDirectDrawSurface* Source, int X, int Y, int Width,
                                       int Height, TRenderType RenderType, double CenterX,
                                       double CenterY, float Angle, int Alpha, bool Transparent) {
  if (!CheckUsable()) return false;
  SetRenderStates(RenderType, Alpha, true);
  const bool bound = Source && BindSurfaceTexture(Source, Transparent);
  SetVertexRotation(X, Y, Width, Height, CenterX, CenterY, Angle, Source ? Source->Width() : Width,
                    Source ? Source->Height() : Height);
  if (bound) DrawQuad();
  else ResetVertices(), MirrorFlip = 0;
  return bound;
}

int32_t TD2DDirect3D::WaveStrips(int32_t Extent, int32_t Length) {
  if (Extent <= 0 || Length == 0) return 1;
  int64_t n = std::abs(int64_t{Extent} * 8 / Length);
  n = std::clamp<int64_t>(n, 1, Extent);
  while (Extent % n != 0) ++n;
  return static_cast<int32_t>(n);
}

bool TD2DDirect3D::RenderWave(TDirectDrawSurface* Source, const TRect* PatternRect, int X, int Y,
                              int Width, int Height, TRenderType RenderType, bool Transparent,
                              int Amplitude, int Length, int Phase, int Alpha, bool Vertical) {
  IDirect3DDevice* d = Device();
  auto done = [&](bool result) {
    ResetVertices();
    MirrorFlip = 0;
    d->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 0);
    return result;
  };
  if (!Source) return done(false);
  d->SetTexture(0, nullptr);
  const std::string key = SurfaceTextureKey(Source);
  if (!textures_->Contains(key) && !textures_->AddFromSurface(Source, Transparent, key))
    return done(false);
  const int32_t i = textures_->IndexOf(key);
  if (i < 0) return done(false);
  TD2DTextureEntry& e = textures_->Entry(i);
  HRESULT r = DDERR_GENERIC;
  try {
    TDirectDrawSurface* s = e.Texture->Surface();
    if (s && s->ISurface()) r = d->SetTexture(0, s->ISurface().get());
  } catch (const Exception&) {
  }
  if (r != DD_OK) {
    SkipNextFlip = true;
    textures_->Clear();
    return done(false);
  }
  d->SetRenderState(D3DRENDERSTATE_COLORKEYENABLE, e.Texture->Transparent() ? 1 : 0);
  double u0 = e.U0, v0 = e.V0, u1 = e.U1, v1 = e.V1;
  if (PatternRect) {
    Width = PatternRect->Right - PatternRect->Left;
    Height = PatternRect->Bottom - PatternRect->Top;
    u0 = PatternRect->Left / static_cast<double>(e.Width);
    u1 = PatternRect->Right / static_cast<double>(e.Width);
    v0 = PatternRect->Top / static_cast<double>(e.Height);
    v1 = PatternRect->Bottom / static_cast<double>(e.Height);
  }
  const int32_t extent = Vertical ? Width : Height;
  const int32_t n = WaveStrips(extent, Length);
  const int32_t step = extent > 0 ? extent / n : 0;
  const double dt = ((Vertical ? u1 - u0 : v1 - v0)) / n;
  // The wave runs along the picture from its first row (or column) with the
  // software path's own steps: a 16.16 phase that advances 256 / Length of
  // a turn a pixel, through the renderer's sine table, rounded.
  const int32_t phaseStep = Length == 0 ? 0 : MulDivTrunc(256, 65536, Length);
  auto shift = [&](int32_t t) {
    const uint32_t p = (static_cast<uint32_t>(Phase) << 16) +
                       static_cast<uint32_t>(t) * static_cast<uint32_t>(phaseStep);
    const int32_t angle = static_cast<int32_t>(p) / 65536;
    return static_cast<double>(Round(RenderSin(static_cast<uint8_t>(angle & 255)) * Amplitude));
  };
  D3DCOLOR color;
  const uint32_t a = static_cast<uint32_t>(std::clamp(Alpha, 0, 255));
  switch (RenderType) {
    case rtBlend:
      color = RGBA_MAKE(255, 255, 255, a);
      break;
    case rtAdd:
    case rtSub:
      color = D3DRGB(a / 255.0, a / 255.0, a / 255.0);
      break;
    default:
      color = RGBA_MAKE(255, 255, 255, 255);
      break;
  }
  const bool mirror = MirrorFlip & MirrorFlipBit(rmfMirror);
  const bool flip = MirrorFlip & MirrorFlipBit(rmfFlip);
  std::vector<D3DTLVERTEX> v(2 * (static_cast<size_t>(n) + 1));
  for (int32_t k = 0; k <= n; ++k) {
    const int32_t o = k * step;
    const double s = shift(o);
    D3DTLVERTEX& p = v[2 * static_cast<size_t>(k)];
    D3DTLVERTEX& q = v[2 * static_cast<size_t>(k) + 1];
    for (D3DTLVERTEX* x : {&p, &q}) {
      x->rhw = 1.0f;
      x->specular = 0xFFFFFFFFu;
      x->color = color;
    }
    if (!Vertical) {
      const double along = flip ? v1 - k * dt : v0 + k * dt;
      p.sx = static_cast<float>(X + s - 0.5), p.sy = static_cast<float>(Y + o - 0.5);
      q.sx = static_cast<float>(X + Width + s - 0.5), q.sy = p.sy;
      p.tv = q.tv = static_cast<float>(along);
      p.tu = static_cast<float>(mirror ? u1 : u0);
      q.tu = static_cast<float>(mirror ? u0 : u1);
    } else {
      const double along = mirror ? u1 - k * dt : u0 + k * dt;
      p.sx = static_cast<float>(X + o - 0.5), p.sy = static_cast<float>(Y + Height + s - 0.5);
      q.sx = p.sx, q.sy = static_cast<float>(Y + s - 0.5);
      p.tu = q.tu = static_cast<float>(along);
      p.tv = static_cast<float>(flip ? v0 : v1);
      q.tv = static_cast<float>(flip ? v1 : v0);
    }
  }
  SetRenderStates(RenderType, Alpha, false);
  const bool ok = d->DrawPrimitive(D3DPT_TRIANGLESTRIP, D3DFVF_TLVERTEX, v.data(),
                                   static_cast<uint32_t>(v.size()), D3DDP_WAIT) == DD_OK;
  return done(ok);
}

bool TD2DDirect3D::RenderSurfaceWaveX(TDirectDrawSurface* Source, int X, int Y, int Width,
                                      int Height, TRenderType RenderType, bool Transparent,
                                      int Amplitude, int Length, int Phase, int Alpha) {
  if (!CheckUsable()) return false;
  return RenderWave(Source, nullptr, X, Y, Width, Height, RenderType, Transparent, Amplitude,
                    Length, Phase, Alpha, false);
}

bool TD2DDirect3D::RenderPatternWaveX(TPictureCollectionItem* Item, int X, int Y, int Width,
                                      int Height, int PatternIndex, TRenderType RenderType,
                                      bool Transparent, int Amplitude, int Length, int Phase,
                                      int Alpha) {
  if (!CheckUsable()) return false;
  const TRect r = Item->GetPatternRect(PatternIndex);
  return RenderWave(Item->GetPatternSurface(PatternIndex), &r, X, Y, Width, Height, RenderType,
                    Transparent, Amplitude, Length, Phase, Alpha, false);
}

bool TD2DDirect3D::RenderPatternWaveY(TPictureCollectionItem* Item, int X, int Y, int Width,
                                      int Height, int PatternIndex, TRenderType RenderType,
                                      bool Transparent, int Amplitude, int Length, int Phase,
                                      int Alpha) {
  if (!CheckUsable()) return false;
  const TRect r = Item->GetPatternRect(PatternIndex);
  return RenderWave(Item->GetPatternSurface(PatternIndex), &r, X, Y, Width, Height, RenderType,
                    Transparent, Amplitude, Length, Phase, Alpha, true);
}

// ---- Installation ------------------------------------------------------------------

namespace {

TDirect3DSetupOptions Initialize3D(TCustomDXDraw* c, bool DirectX7Mode,
                                   TDirect3DSetupOptions Options) {
  if (DirectX7Mode)
    InitializeDirect3D7(c->Surface.get(), c->ZBuffer, c->D3D7, Options, c->D3DDevice7);
  else
    InitializeDirect3D6(c->Surface.get(), c->ZBuffer, c->D3D, Options, c->D3DDevice3, c->D3DDevice2,
                        c->D3DDevice, c->D3D3, c->D3D2);
  return Options;
}

const TDirect3DPath kPath{
    [](TCustomDXDraw* d) -> std::unique_ptr<TD2D> { return std::make_unique<TD2DDirect3D>(d); },
    [](TDirect3DSetupOptions o, TCustomDXDraw* d) { SelectDisplayDriver(o, d); },
    &Initialize3D,
    [](TCustomDXDraw* d) { FreeZBuffer(d->Surface.get(), d->ZBuffer); },
};

}  // namespace

void InstallDirect3DPath() {
  SetDirect3DPath(&kPath);
}
