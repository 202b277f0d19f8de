#include "direct3d/d3d_texture.h"

#include <vector>

#include "direct3d/texture_builder.h"
#include "direct3d/texture_format.h"
#include "engine/dib/dib.h"

TDirect3DTexture2::TDirect3DTexture2(TCustomDXDraw* DXDraw, TDXTextureImage* Image,
                                     bool AutoFreeGraphic) {
  if (!Image) Raise<Exception>("Can not load graphic");
  auto_free_graphic_ = AutoFreeGraphic;
  if (AutoFreeGraphic) given_image_.reset(Image);
  image_ = Image;
  Init(DXDraw);
}

TDirect3DTexture2::TDirect3DTexture2(TCustomDXDraw* DXDraw, TGraphic* Graphic,
                                     bool AutoFreeGraphic) {
  if (!Graphic) Raise<Exception>("Can not load graphic");
  if (auto* dib = dynamic_cast<TDIB*>(Graphic)) {
    graphic_ = dib;
    dib_ = dib;
    auto_free_graphic_ = AutoFreeGraphic;
  } else {
    // The texture keeps a bitmap copy of its own.
    auto copy = std::make_unique<TDIB>();
    copy->Assign(Graphic);
    if (AutoFreeGraphic) delete Graphic;
    dib_ = copy.release();
    graphic_ = dib_;
    auto_free_graphic_ = true;
  }
  SetDIB(*dib_);
  Init(DXDraw);
}

void TDirect3DTexture2::Init(TCustomDXDraw* DXDraw) {
  need_load_ = true;
  use_mipmap_ = image_->CountSubImages(DXTextureImageGroupType_Mipmap) > 0;
  transparent_ = image_->Transparent;
  transparent_color_ = TextureKeyOfImage(*image_);
  dxdraw_ = DXDraw;
  if (!dxdraw_) return;
  try {
    // Registering with an initialised control makes the surface at once.
    dxdraw_->AddNotifyHandler(this, [this](TCustomDXDraw* Sender, TDXDrawNotifyType T) {
      Notify(Sender, T);
    });
  } catch (...) {
    // No destructor runs for a texture whose constructor fails: leave no
    // handler behind and free what it was given.
    try {
      dxdraw_->RemoveNotifyHandler(this);
    } catch (...) {
    }
    FreeSurface();
    if (auto_free_graphic_ && graphic_) delete graphic_;
    graphic_ = nullptr;
    throw;
  }
}

TDirect3DTexture2::~TDirect3DTexture2() {
  FreeSurface();
  if (dxdraw_) {
    try {
      dxdraw_->RemoveNotifyHandler(this);
    } catch (...) {
    }
  }
  if (auto_free_graphic_ && graphic_) delete graphic_;
}

void TDirect3DTexture2::SetDIB(TDIB& DIB) {
  if (!own_image_) own_image_ = std::make_unique<TDXTextureImage>();
  SetTextureImageFromDIB(*own_image_, DIB);
  // Fourth bytes that are all 0 are padding, not a picture that is wholly
  // transparent.
  if (DIB.BitCount() == 32 && !DIB.HasAlphaChannel()) own_image_->AChannel = {};
  image_ = own_image_.get();
}

void TDirect3DTexture2::Notify(TCustomDXDraw*, TDXDrawNotifyType NotifyType) {
  switch (NotifyType) {
    case dnDestroying:
      FreeSurface();
      dxdraw_->RemoveNotifyHandler(this);
      dxdraw_ = nullptr;
      break;
    case dnInitializeSurface:
      MakeSurface();
      break;
    case dnFinalizeSurface:
      FreeSurface();
      break;
    case dnRestore:
      Load();
      break;
    default:
      break;
  }
}

TDirectDrawSurface* TDirect3DTexture2::Surface() {
  if (surface_ && need_load_) Load();
  return surface_.get();
}

bool TDirect3DTexture2::Transparent() const {
  return surface_ ? color_key_set_ : transparent_;
}

void TDirect3DTexture2::SetTransparent(bool Value) {
  if (Value == transparent_) return;
  transparent_ = Value;
  if (surface_) UpdateColorKey();
}

void TDirect3DTexture2::SetTransparentColor(uint32_t Value) {
  if (Value == transparent_color_) return;
  transparent_color_ = Value;
  if (surface_ && transparent_) UpdateColorKey();
}

void TDirect3DTexture2::FreeSurface() {
  surface_.reset();
  mipmap_ = false;
  color_key_set_ = false;
  need_load_ = false;
}

void TDirect3DTexture2::DoRestoreSurface() {
  if (OnRestoreSurface) OnRestoreSurface(this);
}

void TDirect3DTexture2::MakeSurface() {
  FreeSurface();
  try {
    if (!dxdraw_ || !dxdraw_->DDraw) Raise<EDirect3DTextureError>("%s cannot be initialized", "Texture");
    IDirect3DDevice* device = dxdraw_->D3DDevice7 ? dxdraw_->D3DDevice7.get() : dxdraw_->D3DDevice3.get();
    if (!device) Raise<EDirect3DTextureError>("%s cannot be initialized", "Texture");
    caps_ = D3DDEVICEDESC{};
    device->GetCaps(&caps_);
    const TTextureSize size = TextureSurfaceSize(image_->Width, image_->Height, caps_);
    std::vector<DDPIXELFORMAT> formats;
    device->EnumTextureFormats([&](const DDPIXELFORMAT& f) {
      formats.push_back(f);
      return D3DENUMRET_OK;
    });
    std::optional<DDPIXELFORMAT> format = ChooseTextureFormat(*image_, formats);
    if (!format) Raise<EDirect3DTextureError>("%s cannot be initialized", "Texture");
    format_ = *format;
    TDirectDraw* dd = dxdraw_->DDraw.get();
    const int32_t levels = image_->CountSubImages(DXTextureImageGroupType_Mipmap);
    mipmap_ = use_mipmap_ && format_.dwRGBBitCount > 8 && levels > 0 &&
              (dd->DriverCaps.ddsCaps.dwCaps & DDSCAPS_MIPMAP);
    DDSURFACEDESC2 d;
    d.dwSize = 124;
    d.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
    d.ddsCaps.dwCaps = DDSCAPS_TEXTURE;
    d.dwWidth = static_cast<uint32_t>(size.Width);
    d.dwHeight = static_cast<uint32_t>(size.Height);
    d.ddpfPixelFormat = format_;
    if (dxdraw_->EffectiveOptions().Contains(doHardware))
      d.ddsCaps.dwCaps2 |= DDSCAPS2_TEXTUREMANAGE;
    else
      d.ddsCaps.dwCaps |= DDSCAPS_SYSTEMMEMORY;
    if (mipmap_) {
      d.dwFlags |= DDSD_MIPMAPCOUNT;
      d.ddsCaps.dwCaps |= DDSCAPS_MIPMAP | DDSCAPS_COMPLEX;
      // The count is of all levels: the image itself and each sub-image.
      d.dwMipMapCount = static_cast<uint32_t>(levels) + 1;
    }
    surface_ = std::make_unique<TDirectDrawSurface>(dd);
    PDirectDrawSurface s;
    HRESULT r = dd->GetIDirectDraw4()->CreateSurface(&d, &s);
    dd->SetResultCode(r);
    if (r != DD_OK || !s) Raise<EDirect3DTextureError>("%s cannot be initialized", "Texture");
    // Its key comes only from the texture's own conversion (UpdateColorKey).
    s->SetColorKey(DDCKEY_SRCBLT, nullptr);
    surface_->SetIDirectDrawSurface4(s);
    if (const int32_t bits = PaletteIndexBits(format_)) {
      const uint32_t caps = bits == 8   ? DDPCAPS_8BIT | DDPCAPS_ALLOW256
                            : bits == 4 ? DDPCAPS_4BIT
                            : bits == 2 ? DDPCAPS_2BIT
                                        : DDPCAPS_1BIT;
      PALETTEENTRY entries[256];
      for (int i = 0; i < 256; ++i)
        entries[i] = PALETTEENTRY{image_->Palette[i].peRed, image_->Palette[i].peGreen,
                                  image_->Palette[i].peBlue, 0};
      PDirectDrawPalette pal;
      r = dd->GetIDirectDraw()->CreatePalette(caps, entries, &pal);
      if (r != DD_OK || !pal) return;
      s->SetPalette(pal);
    }
    need_load_ = true;
  } catch (...) {
    FreeSurface();
    throw;
  }
}

void TDirect3DTexture2::Load() {
  if (!surface_) MakeSurface();
  if (!surface_) return;
  need_load_ = false;
  IDirectDrawSurface* s = surface_->ISurface().get();
  if (s && s->IsLost() == DDERR_SURFACELOST) surface_->Restore();
  UpdateColorKey();
  if (!image_) {
    DoRestoreSurface();
    return;
  }
  if (dib_) SetDIB(*dib_);
  PDirectDrawSurface level = surface_->ISurface();
  const TDXTextureImage* img = image_;
  for (int32_t k = 0; level && img; ++k) {
    LoadLevel(level.get(), *img);
    DDSCAPS caps{DDSCAPS_TEXTURE | DDSCAPS_MIPMAP};
    PDirectDrawSurface next;
    if (level->GetAttachedSurface(&caps, &next) != DD_OK) break;
    level = next;
    img = k < image_->CountSubImages(DXTextureImageGroupType_Mipmap)
              ? image_->FindSubImage(DXTextureImageGroupType_Mipmap, k)
              : nullptr;
  }
}

void TDirect3DTexture2::LoadLevel(IDirectDrawSurface* Level, const TDXTextureImage& Image) {
  DDSURFACEDESC d;
  if (Level->Lock(nullptr, &d, DDLOCK_WAIT, nullptr) != DD_OK) return;
  FillTextureLevel(d.ddpfPixelFormat, static_cast<uint8_t*>(d.lpSurface), d.lPitch,
                   static_cast<int32_t>(d.dwWidth), static_cast<int32_t>(d.dwHeight), Image);
  Level->Unlock(nullptr);
}

void TDirect3DTexture2::UpdateColorKey() {
  color_key_set_ = false;
  if (!surface_ || !transparent_ || !(caps_.dpcTriCaps.dwTextureCaps & D3DPTEXTURECAPS_TRANSPARENCY))
    return;
  std::optional<uint32_t> key = TextureSurfaceKey(format_, image_, transparent_color_);
  if (!key) return;
  DDCOLORKEY k{*key, *key};
  surface_->SetColorKey(DDCKEY_SRCBLT, k);
  color_key_set_ = true;
}
