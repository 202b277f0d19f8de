// The DirectDraw-shaped display layer: a device, surfaces held in memory in
// their pixel format, palettes, clippers and gamma control. Only the calls,
// flags and result codes the engine uses exist. Nothing here ever changes the
// real video mode: a "display mode" is the size and depth of the logical
// picture that the installed video output shows (scaled) on the desktop.
//
// Objects are shared through std::shared_ptr; holding a pointer is holding a
// reference, resetting it is releasing it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/win/geometry.h"
#include "platform/gdi/gdi.h"
#include "platform/win/wintypes.h"

constexpr HRESULT DD_OK = 0;
constexpr HRESULT DDERR_GENERIC = static_cast<HRESULT>(0x80004005);
constexpr HRESULT DDERR_INVALIDPARAMS = static_cast<HRESULT>(0x80070057);
constexpr HRESULT DDERR_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
constexpr HRESULT DDERR_UNSUPPORTED = static_cast<HRESULT>(0x80004001);
constexpr HRESULT DDERR_NOINTERFACE = static_cast<HRESULT>(0x80004002);
constexpr HRESULT DDERR_INVALIDRECT = static_cast<HRESULT>(0x88760096);
constexpr HRESULT DDERR_INVALIDPIXELFORMAT = static_cast<HRESULT>(0x88760091);
constexpr HRESULT DDERR_INVALIDMODE = static_cast<HRESULT>(0x8876008C);
constexpr HRESULT DDERR_NOCLIPLIST = static_cast<HRESULT>(0x887600CD);
constexpr HRESULT DDERR_NOCOLORKEY = static_cast<HRESULT>(0x887600D7);
constexpr HRESULT DDERR_NOGAMMARAMP = static_cast<HRESULT>(0x887601B1);
constexpr HRESULT DDERR_NOTFOUND = static_cast<HRESULT>(0x887600FF);
constexpr HRESULT DDERR_NOTLOCKED = static_cast<HRESULT>(0x887602E6);
constexpr HRESULT DDERR_OUTOFVIDEOMEMORY = static_cast<HRESULT>(0x8876017C);
constexpr HRESULT DDERR_SURFACEBUSY = static_cast<HRESULT>(0x887601AE);
constexpr HRESULT DDERR_SURFACELOST = static_cast<HRESULT>(0x887601C2);
constexpr HRESULT DDERR_UNSUPPORTEDMODE = static_cast<HRESULT>(0x8876024E);
constexpr HRESULT DDERR_NOTFLIPPABLE = static_cast<HRESULT>(0x887600E6);
constexpr HRESULT DDERR_CANTCREATEDC = static_cast<HRESULT>(0x8876021D);
constexpr HRESULT DDERR_NODC = static_cast<HRESULT>(0x8876024A);
constexpr HRESULT DDERR_DCALREADYCREATED = static_cast<HRESULT>(0x8876026C);
constexpr HRESULT DDERR_NOCLIPPERATTACHED = static_cast<HRESULT>(0x887600CE);
constexpr HRESULT DDERR_NOPALETTEATTACHED = static_cast<HRESULT>(0x887600D1);

// A window handle as the layer sees it: only remembered, never used to draw.
using DDWindow = HWND;

// Surface description flags.
constexpr uint32_t DDSD_CAPS = 0x1;
constexpr uint32_t DDSD_HEIGHT = 0x2;
constexpr uint32_t DDSD_WIDTH = 0x4;
constexpr uint32_t DDSD_PITCH = 0x8;
constexpr uint32_t DDSD_BACKBUFFERCOUNT = 0x20;
constexpr uint32_t DDSD_CKSRCBLT = 0x10000;
constexpr uint32_t DDSD_PIXELFORMAT = 0x1000;
constexpr uint32_t DDSD_LPSURFACE = 0x800;
constexpr uint32_t DDSD_ZBUFFERBITDEPTH = 0x40;
constexpr uint32_t DDSD_MIPMAPCOUNT = 0x20000;

// Surface capabilities.
constexpr uint32_t DDSCAPS_BACKBUFFER = 0x4;
constexpr uint32_t DDSCAPS_COMPLEX = 0x8;
constexpr uint32_t DDSCAPS_FLIP = 0x10;
constexpr uint32_t DDSCAPS_FRONTBUFFER = 0x20;
constexpr uint32_t DDSCAPS_OFFSCREENPLAIN = 0x40;
constexpr uint32_t DDSCAPS_PRIMARYSURFACE = 0x200;
constexpr uint32_t DDSCAPS_SYSTEMMEMORY = 0x800;
constexpr uint32_t DDSCAPS_TEXTURE = 0x1000;
constexpr uint32_t DDSCAPS_3DDEVICE = 0x2000;
constexpr uint32_t DDSCAPS_VIDEOMEMORY = 0x4000;
constexpr uint32_t DDSCAPS_ZBUFFER = 0x20000;
constexpr uint32_t DDSCAPS_MIPMAP = 0x400000;
constexpr uint32_t DDSCAPS2_TEXTUREMANAGE = 0x10;

// Pixel format flags.
constexpr uint32_t DDPF_ALPHAPIXELS = 0x1;
constexpr uint32_t DDPF_PALETTEINDEXED4 = 0x8;
constexpr uint32_t DDPF_PALETTEINDEXED8 = 0x20;
constexpr uint32_t DDPF_RGB = 0x40;
constexpr uint32_t DDPF_PALETTEINDEXED1 = 0x800;
constexpr uint32_t DDPF_ZBUFFER = 0x400;

// Lock, blit, flip and colour-key flags.
constexpr uint32_t DDLOCK_WAIT = 0x1;
constexpr uint32_t DDBLT_COLORFILL = 0x400;
constexpr uint32_t DDBLT_KEYSRC = 0x8000;
constexpr uint32_t DDBLT_WAIT = 0x01000000;
constexpr uint32_t DDFLIP_WAIT = 0x1;
constexpr uint32_t DDCKEY_SRCBLT = 0x8;
constexpr uint32_t DDWAITVB_BLOCKBEGIN = 0x1;

// Cooperative levels.
constexpr uint32_t DDSCL_FULLSCREEN = 0x1;
constexpr uint32_t DDSCL_ALLOWREBOOT = 0x2;
constexpr uint32_t DDSCL_NOWINDOWCHANGES = 0x4;
constexpr uint32_t DDSCL_NORMAL = 0x8;
constexpr uint32_t DDSCL_EXCLUSIVE = 0x10;
constexpr uint32_t DDSCL_ALLOWMODEX = 0x40;

// Palette capabilities.
constexpr uint32_t DDPCAPS_4BIT = 0x1;
constexpr uint32_t DDPCAPS_1BIT = 0x100;
constexpr uint32_t DDPCAPS_2BIT = 0x200;
constexpr uint32_t DDPCAPS_8BIT = 0x4;
constexpr uint32_t DDPCAPS_INITIALIZE = 0x8;
constexpr uint32_t DDPCAPS_ALLOW256 = 0x40;
constexpr uint32_t DDPCAPS_VSYNC = 0x80;

// Device capabilities.
constexpr uint32_t DDCAPS_3D = 0x1;
constexpr uint32_t DDCAPS2_PRIMARYGAMMA = 0x00020000;

constexpr HRESULT DDENUMRET_CANCEL = 0;
constexpr HRESULT DDENUMRET_OK = 1;

struct DDPIXELFORMAT {
  uint32_t dwSize = 32;
  uint32_t dwFlags = 0;
  uint32_t dwFourCC = 0;
  uint32_t dwRGBBitCount = 0;
  uint32_t dwRBitMask = 0;
  uint32_t dwGBitMask = 0;
  uint32_t dwBBitMask = 0;
  uint32_t dwRGBAlphaBitMask = 0;
};

struct DDCOLORKEY {
  uint32_t dwColorSpaceLowValue = 0;
  uint32_t dwColorSpaceHighValue = 0;
};

struct DDSCAPS {
  uint32_t dwCaps = 0;
  uint32_t dwCaps2 = 0;
};

// The size field keeps the value callers set; the layer does not check it.
constexpr uint32_t DDSURFACEDESC_SIZE = 108;

struct DDSURFACEDESC {
  uint32_t dwSize = DDSURFACEDESC_SIZE;
  uint32_t dwFlags = 0;
  uint32_t dwHeight = 0;
  uint32_t dwWidth = 0;
  int32_t lPitch = 0;
  uint32_t dwBackBufferCount = 0;
  uint32_t dwRefreshRate = 0;
  uint32_t dwAlphaBitDepth = 0;
  void* lpSurface = nullptr;
  DDCOLORKEY ddckCKDestOverlay, ddckCKDestBlt, ddckCKSrcOverlay, ddckCKSrcBlt;
  DDPIXELFORMAT ddpfPixelFormat;
  DDSCAPS ddsCaps;
  uint32_t dwMipMapCount = 0;
  uint32_t dwZBufferBitDepth = 0;
};
using DDSURFACEDESC2 = DDSURFACEDESC;

struct DDBLTFX {
  uint32_t dwSize = 100;
  uint32_t dwFillColor = 0;
};

struct DDCAPS {
  uint32_t dwSize = 380;
  uint32_t dwCaps = 0;
  uint32_t dwCaps2 = 0;
  uint32_t dwPalCaps = 0;
  uint32_t dwVidMemTotal = 0;
  uint32_t dwVidMemFree = 0;
  DDSCAPS ddsCaps;
};

struct DDGAMMARAMP {
  uint16_t red[256];
  uint16_t green[256];
  uint16_t blue[256];
};

struct PALETTEENTRY {
  uint8_t peRed = 0, peGreen = 0, peBlue = 0, peFlags = 0;
};

// Region data handed to a clipper: a 32-byte header, then nCount rectangles.
struct RGNDATAHEADER {
  uint32_t dwSize = 32;
  uint32_t iType = 1;
  uint32_t nCount = 0;
  uint32_t nRgnSize = 0;
  TRect rcBound;
};
static_assert(sizeof(RGNDATAHEADER) == 32);

class IDirectDraw;
class IDirectDrawSurface;
class IDirectDrawPalette;
class IDirectDrawClipper;
class IDirectDrawGammaControl;
using IDirectDraw4 = IDirectDraw;
using IDirectDraw7 = IDirectDraw;
using IDirectDrawSurface4 = IDirectDrawSurface;
using IDirectDrawSurface7 = IDirectDrawSurface;
using PDirectDraw = std::shared_ptr<IDirectDraw>;
using PDirectDrawSurface = std::shared_ptr<IDirectDrawSurface>;
using PDirectDrawPalette = std::shared_ptr<IDirectDrawPalette>;
using PDirectDrawClipper = std::shared_ptr<IDirectDrawClipper>;
using PDirectDrawGammaControl = std::shared_ptr<IDirectDrawGammaControl>;

// Pixel memory of one surface; a flip exchanges it between the chain's
// surfaces, a duplicate shares it.
struct TDDSurfaceMemory;

class IDirectDrawPalette {
 public:
  HRESULT GetEntries(uint32_t Flags, uint32_t Start, uint32_t Count, PALETTEENTRY* Entries) const;
  HRESULT SetEntries(uint32_t Flags, uint32_t Start, uint32_t Count, const PALETTEENTRY* Entries);
  uint32_t Caps() const { return caps_; }
  const std::array<PALETTEENTRY, 256>& Entries() const { return entries_; }

 private:
  friend class IDirectDraw;
  uint32_t caps_ = 0;
  std::array<PALETTEENTRY, 256> entries_{};
};

class IDirectDrawClipper {
 public:
  // Region must point at an RGNDATAHEADER followed by its rectangles; nil
  // removes the clip list.
  HRESULT SetClipList(const void* Region, uint32_t Flags);
  HRESULT SetHWnd(uint32_t Flags, DDWindow Window);
  HRESULT GetClipList(std::vector<TRect>& Rects) const;
  // The bounding rectangle the region data gave with its list.
  const TRect& Bound() const { return bound_; }
  DDWindow Window() const { return window_; }
  bool HasClipList() const { return hasList_; }

 private:
  friend class IDirectDrawSurface;
  std::vector<TRect> rects_;
  TRect bound_;
  bool hasList_ = false;
  DDWindow window_ = nullptr;
};

class IDirectDrawGammaControl {
 public:
  HRESULT GetGammaRamp(uint32_t Flags, DDGAMMARAMP* Ramp) const;
  HRESULT SetGammaRamp(uint32_t Flags, const DDGAMMARAMP* Ramp);

 private:
  friend class IDirectDrawSurface;
  explicit IDirectDrawGammaControl(std::weak_ptr<IDirectDraw> Device)
      : device_(std::move(Device)) {}
  std::weak_ptr<IDirectDraw> device_;
};

class IDirectDrawSurface : public std::enable_shared_from_this<IDirectDrawSurface> {
 public:
  ~IDirectDrawSurface();

  HRESULT Lock(const TRect* Rect, DDSURFACEDESC* Desc, uint32_t Flags, void* Event);
  HRESULT Unlock(void* Pointer);
  HRESULT GetSurfaceDesc(DDSURFACEDESC* Desc) const;
  // Dest and Src nil mean the whole surface. Destination rectangles beyond
  // the surface fail with DDERR_INVALIDRECT unless a clipper with a clip list
  // is attached, which clips them instead.
  HRESULT Blt(const TRect* DestRect, IDirectDrawSurface* Source, const TRect* SrcRect,
              uint32_t Flags, const DDBLTFX* Fx);
  HRESULT Flip(IDirectDrawSurface* Target, uint32_t Flags);
  // Back buffers, the next mipmap level (DDSCAPS_MIPMAP) and attached
  // Z-buffers (DDSCAPS_ZBUFFER).
  HRESULT GetAttachedSurface(const DDSCAPS* Caps, PDirectDrawSurface* Out);
  HRESULT AddAttachedSurface(IDirectDrawSurface* Surface);
  HRESULT DeleteAttachedSurface(uint32_t Flags, IDirectDrawSurface* Surface);
  HRESULT IsLost() const;
  HRESULT Restore();
  HRESULT SetColorKey(uint32_t Flags, const DDCOLORKEY* Key);
  HRESULT GetColorKey(uint32_t Flags, DDCOLORKEY* Key) const;
  HRESULT SetClipper(PDirectDrawClipper Clipper);
  HRESULT GetClipper(PDirectDrawClipper* Out) const;
  HRESULT SetPalette(PDirectDrawPalette Palette);
  HRESULT GetPalette(PDirectDrawPalette* Out) const;
  // The device context keeps the surface locked until ReleaseDC; see
  // platform/gdi/gdi.h. A locked surface has no context to give.
  HRESULT GetDC(HDC* Out);
  HRESULT ReleaseDC(HDC DC);
  // Interface queries: every version is this same object. The gamma control
  // exists only on a primary surface.
  HRESULT QueryGammaControl(PDirectDrawGammaControl* Out);

  // Layer-side helpers (no DirectDraw counterpart).
  IDirectDraw* Device() const { return device_; }
  uint32_t Width() const;
  uint32_t Height() const;
  const DDPIXELFORMAT& PixelFormat() const;
  bool IsPrimary() const;

 private:
  friend class IDirectDraw;
  IDirectDrawSurface() = default;
  IDirectDraw* device_ = nullptr;
  std::shared_ptr<TDDSurfaceMemory> mem_;
  uint32_t caps_ = 0;
  DDCOLORKEY srcKey_;
  bool hasSrcKey_ = false;
  PDirectDrawClipper clipper_;
  PDirectDrawPalette palette_;
  std::weak_ptr<IDirectDrawSurface> front_;  // the primary of a flip chain's back buffer
  PDirectDrawSurface back_;                  // a flip chain's back buffer
  PDirectDrawSurface mip_;                   // the next smaller level of a mipmap chain
  PDirectDrawSurface zbuffer_;               // an attached Z-buffer
  int locks_ = 0;
  std::unique_ptr<TDeviceContext> dc_;
};

// One display mode the video output offers.
struct TDDDisplayMode {
  uint32_t Width = 0, Height = 0, BitCount = 0;
  friend bool operator==(const TDDDisplayMode&, const TDDDisplayMode&) = default;
};

class IDirectDraw : public std::enable_shared_from_this<IDirectDraw> {
 public:
  ~IDirectDraw();
  HRESULT GetCaps(DDCAPS* Driver, DDCAPS* Emulation) const;
  HRESULT CreateSurface(const DDSURFACEDESC* Desc, PDirectDrawSurface* Out);
  HRESULT CreatePalette(uint32_t Caps, const PALETTEENTRY* Entries, PDirectDrawPalette* Out);
  HRESULT CreateClipper(uint32_t Flags, PDirectDrawClipper* Out);
  HRESULT DuplicateSurface(IDirectDrawSurface* Source, PDirectDrawSurface* Out);
  HRESULT SetCooperativeLevel(DDWindow Window, uint32_t Flags);
  HRESULT SetDisplayMode(uint32_t Width, uint32_t Height, uint32_t BitCount);
  HRESULT RestoreDisplayMode();
  HRESULT GetDisplayMode(DDSURFACEDESC* Desc) const;
  using TEnumModesCallback = std::function<HRESULT(const DDSURFACEDESC& Desc)>;
  HRESULT EnumDisplayModes(uint32_t Flags, const DDSURFACEDESC* Filter,
                           const TEnumModesCallback& Callback) const;
  HRESULT WaitForVerticalBlank(uint32_t Flags, void* Event);
  HRESULT FlipToGDISurface();

  // Layer-side state.
  uint32_t CooperativeLevel() const { return coopLevel_; }
  DDWindow CooperativeWindow() const { return coopWindow_; }
  const TDDDisplayMode& DisplayMode() const { return mode_; }
  // Gamma ramp of the primary surface, applied whenever a frame is presented.
  const DDGAMMARAMP& GammaRamp() const { return gamma_; }
  void SetGammaRampInternal(const DDGAMMARAMP& r) { gamma_ = r; }
  // Presents a primary surface's pixels through the installed video output.
  void Present(const IDirectDrawSurface& Primary);
  // Every surface of the device answers DDERR_SURFACELOST until restored.
  void LoseSurfaces();
  // Which entry of the driver table the device was made for (0: the
  // primary display driver).
  size_t DriverIndex() const { return driver_; }

 private:
  friend HRESULT DirectDrawCreateEx(const GUID*, PDirectDraw*);
  friend class IDirectDrawSurface;
  IDirectDraw();
  PDirectDrawSurface NewSurface();
  uint32_t coopLevel_ = 0;
  DDWindow coopWindow_ = nullptr;
  TDDDisplayMode mode_;
  DDGAMMARAMP gamma_;
  std::vector<std::weak_ptr<IDirectDrawSurface>> surfaces_;
  size_t driver_ = 0;
};

// The DDraw.dll entry points. The first registers the device made by
// DirectDrawCreate as IDirectDraw only; with this layer every version is the
// same object.
HRESULT DirectDrawCreateEx(const GUID* Driver, PDirectDraw* Out);
HRESULT DirectDrawCreate(const GUID* Driver, PDirectDraw* Out);
using TDDEnumCallback =
    std::function<bool(const GUID* Driver, const char* Description, const char* Name)>;
HRESULT DirectDrawEnumerateA(const TDDEnumCallback& Callback);
// Registers the three as the built-in module "DDraw.dll".
void DDRegisterModule();
using TDirectDrawCreateEx = HRESULT (*)(const GUID*, PDirectDraw*);
using TDirectDrawCreate = HRESULT (*)(const GUID*, PDirectDraw*);
using TDirectDrawEnumerateA = HRESULT (*)(const TDDEnumCallback&);

// Pixel formats of the layer (16-bit 5-6-5 is the default display format).
DDPIXELFORMAT DDPixelFormat(uint32_t BitCount, bool RGB555 = false);
