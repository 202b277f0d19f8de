// A picture as a Direct3D texture of a display control: a surface in a
// format the device offers, sized by its limits, filled from a texture
// image (with mipmap levels where the image has them), keyed, and made,
// freed and reloaded as the control's surfaces come and go.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "direct3d/texture_image.h"
#include "engine/draw/dxdraws.h"

TAL_DECLARE_EXCEPTION(EDirect3DTextureError, EDirectXError)

class TDIB;

class TDirect3DTexture2 {
 public:
  // From a texture image (owned when AutoFreeGraphic).
  TDirect3DTexture2(TCustomDXDraw* DXDraw, TDXTextureImage* Image, bool AutoFreeGraphic);
  // From a bitmap (its pixels used in place), any other graphic (copied into
  // a bitmap of the texture's own) or nil, which raises "Can not load graphic".
  TDirect3DTexture2(TCustomDXDraw* DXDraw, TGraphic* Graphic, bool AutoFreeGraphic);
  virtual ~TDirect3DTexture2();
  TDirect3DTexture2(const TDirect3DTexture2&) = delete;
  TDirect3DTexture2& operator=(const TDirect3DTexture2&) = delete;

  // The texture surface, filled first when it needs it; nil while the
  // control has no surfaces.
  TDirectDrawSurface* Surface();
  TDirectDrawSurface* SurfaceOrNil() const { return surface_.get(); }
  TDXTextureImage* Image() const { return image_; }
  bool Transparent() const;
  void SetTransparent(bool Value);
  uint32_t TransparentColor() const { return transparent_color_; }
  void SetTransparentColor(uint32_t Value);
  bool Mipmap() const { return mipmap_; }
  bool NeedLoad() const { return need_load_; }

  void Load();
  void MakeSurface();
  void FreeSurface();

  std::function<void(TDirect3DTexture2* Sender)> OnRestoreSurface;

 protected:
  virtual void DoRestoreSurface();

 private:
  void Init(TCustomDXDraw* DXDraw);
  void SetDIB(TDIB& DIB);
  void UpdateColorKey();
  void LoadLevel(IDirectDrawSurface* Level, const TDXTextureImage& Image);
  void Notify(TCustomDXDraw* Sender, TDXDrawNotifyType NotifyType);

  TCustomDXDraw* dxdraw_ = nullptr;
  TGraphic* graphic_ = nullptr;
  TDIB* dib_ = nullptr;
  std::unique_ptr<TDXTextureImage> given_image_;  // when AutoFreeGraphic
  TDXTextureImage* image_ = nullptr;
  std::unique_ptr<TDXTextureImage> own_image_;
  bool auto_free_graphic_ = false;
  std::unique_ptr<TDirectDrawSurface> surface_;
  DDPIXELFORMAT format_;
  bool use_mipmap_ = false;
  bool transparent_ = false;
  uint32_t transparent_color_ = 0;
  bool mipmap_ = false;
  bool color_key_set_ = false;
  bool need_load_ = true;
  D3DDEVICEDESC caps_;
};
