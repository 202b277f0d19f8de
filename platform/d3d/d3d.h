// The Direct3D-shaped layer: Direct3D objects reached from DirectDraw
// objects, and software devices that draw transformed triangle strips into
// DirectDraw surfaces. Every interface version is one object here, as with
// DirectDraw: IDirect3D stands for IDirect3D2, 3 and 7, IDirect3DDevice for
// the device interfaces of every version. Only the calls, states and flags
// the engine uses exist.
//
// What a device draws: transformed, lit vertices (x, y, z, 1/w, diffuse,
// specular, u, v) as triangle strips, pixel centres on integer coordinates,
// filled by the top-left rule and clipped to the render target; affine
// texture coordinates, point or linear sampling with wrapping, the texture's
// source colour key, the first texture stage, and source/destination
// blending. Z is neither tested nor written.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ddraw/ddraw.h"

// Texture capabilities of a primitive kind.
constexpr uint32_t D3DPTEXTURECAPS_PERSPECTIVE = 0x1;
constexpr uint32_t D3DPTEXTURECAPS_POW2 = 0x2;
constexpr uint32_t D3DPTEXTURECAPS_ALPHA = 0x4;
constexpr uint32_t D3DPTEXTURECAPS_TRANSPARENCY = 0x8;
constexpr uint32_t D3DPTEXTURECAPS_SQUAREONLY = 0x20;

// Palette formats of textures below 8 bits.
constexpr uint32_t DDPF_PALETTEINDEXED2 = 0x1000;

constexpr HRESULT D3DENUMRET_CANCEL = DDENUMRET_CANCEL;
constexpr HRESULT D3DENUMRET_OK = DDENUMRET_OK;
constexpr HRESULT D3DERR_INVALIDCALL = DDERR_INVALIDPARAMS;
constexpr HRESULT D3DERR_TEXTURE_BADSIZE = static_cast<HRESULT>(0x887602B6);

// Bit-depth flags of render targets and Z-buffers.
constexpr uint32_t DDBD_1 = 0x4000;
constexpr uint32_t DDBD_2 = 0x2000;
constexpr uint32_t DDBD_4 = 0x1000;
constexpr uint32_t DDBD_8 = 0x800;
constexpr uint32_t DDBD_16 = 0x400;
constexpr uint32_t DDBD_24 = 0x200;
constexpr uint32_t DDBD_32 = 0x100;

// Colour models and device capabilities.
constexpr uint32_t D3DCOLOR_MONO = 1;
constexpr uint32_t D3DCOLOR_RGB = 2;
constexpr uint32_t D3DDEVCAPS_HWRASTERIZATION = 0x80000;

struct D3DPRIMCAPS {
  uint32_t dwSize = 56;
  uint32_t dwMiscCaps = 0;
  uint32_t dwRasterCaps = 0;
  uint32_t dwZCmpCaps = 0;
  uint32_t dwSrcBlendCaps = 0;
  uint32_t dwDestBlendCaps = 0;
  uint32_t dwAlphaCmpCaps = 0;
  uint32_t dwShadeCaps = 0;
  uint32_t dwTextureCaps = 0;
  uint32_t dwTextureFilterCaps = 0;
  uint32_t dwTextureBlendCaps = 0;
  uint32_t dwTextureAddressCaps = 0;
};

// One description serves the device interfaces of every version; the size
// field keeps what the caller set.
constexpr uint32_t D3DDEVICEDESC_SIZE = 252;

struct D3DDEVICEDESC {
  uint32_t dwSize = D3DDEVICEDESC_SIZE;
  uint32_t dwFlags = 0;
  uint32_t dcmColorModel = 0;
  uint32_t dwDevCaps = 0;
  D3DPRIMCAPS dpcLineCaps;
  D3DPRIMCAPS dpcTriCaps;
  uint32_t dwDeviceRenderBitDepth = 0;
  uint32_t dwDeviceZBufferBitDepth = 0;
  uint32_t dwMinTextureWidth = 0, dwMinTextureHeight = 0;
  uint32_t dwMaxTextureWidth = 0, dwMaxTextureHeight = 0;
  GUID deviceGUID{};
};
using D3DDEVICEDESC7 = D3DDEVICEDESC;

// The texture formats the software devices offer, in the order they are
// enumerated: 8-8-8-8, X-8-8-8, 5-6-5, 1-5-5-5, 4-4-4-4 and 8-bit palette.
inline std::vector<DDPIXELFORMAT> D3DSoftwareTextureFormats() {
  auto rgb = [](uint32_t flags, uint32_t bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    DDPIXELFORMAT f;
    f.dwFlags = DDPF_RGB | flags;
    f.dwRGBBitCount = bits;
    f.dwRBitMask = r, f.dwGBitMask = g, f.dwBBitMask = b, f.dwRGBAlphaBitMask = a;
    return f;
  };
  return {
      rgb(DDPF_ALPHAPIXELS, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000),
      rgb(0, 32, 0xFF0000, 0xFF00, 0xFF, 0),
      rgb(0, 16, 0xF800, 0x7E0, 0x1F, 0),
      rgb(DDPF_ALPHAPIXELS, 16, 0x7C00, 0x3E0, 0x1F, 0x8000),
      rgb(DDPF_ALPHAPIXELS, 16, 0xF00, 0xF0, 0xF, 0xF000),
      rgb(DDPF_PALETTEINDEXED8, 8, 0, 0, 0, 0),
  };
}

// ---- States --------------------------------------------------------------------

enum D3DRENDERSTATETYPE : uint32_t {
  D3DRENDERSTATE_ZENABLE = 7,
  D3DRENDERSTATE_ZWRITEENABLE = 14,
  D3DRENDERSTATE_SRCBLEND = 19,
  D3DRENDERSTATE_DESTBLEND = 20,
  D3DRENDERSTATE_DITHERENABLE = 26,
  D3DRENDERSTATE_ALPHABLENDENABLE = 27,
  D3DRENDERSTATE_COLORKEYENABLE = 41,
};
constexpr uint32_t D3DRENDERSTATE_COUNT = 256;

enum D3DBLEND : uint32_t {
  D3DBLEND_ZERO = 1,
  D3DBLEND_ONE = 2,
  D3DBLEND_SRCCOLOR = 3,
  D3DBLEND_INVSRCCOLOR = 4,
  D3DBLEND_SRCALPHA = 5,
  D3DBLEND_INVSRCALPHA = 6,
  D3DBLEND_DESTALPHA = 7,
  D3DBLEND_INVDESTALPHA = 8,
  D3DBLEND_DESTCOLOR = 9,
  D3DBLEND_INVDESTCOLOR = 10,
};

enum D3DTEXTURESTAGESTATETYPE : uint32_t {
  D3DTSS_COLOROP = 1,
  D3DTSS_COLORARG1 = 2,
  D3DTSS_COLORARG2 = 3,
  D3DTSS_ALPHAOP = 4,
  D3DTSS_ALPHAARG1 = 5,
  D3DTSS_ALPHAARG2 = 6,
  D3DTSS_MAGFILTER = 16,
  D3DTSS_MINFILTER = 17,
};
constexpr uint32_t D3DTSS_COUNT = 32;
constexpr uint32_t D3DMAX_TEXTURESTAGES = 8;

enum D3DTEXTUREOP : uint32_t {
  D3DTOP_DISABLE = 1,
  D3DTOP_SELECTARG1 = 2,
  D3DTOP_SELECTARG2 = 3,
  D3DTOP_MODULATE = 4,
};

constexpr uint32_t D3DTA_DIFFUSE = 0;
constexpr uint32_t D3DTA_CURRENT = 1;
constexpr uint32_t D3DTA_TEXTURE = 2;

constexpr uint32_t D3DTFG_POINT = 1;
constexpr uint32_t D3DTFG_LINEAR = 2;
constexpr uint32_t D3DTFN_POINT = 1;
constexpr uint32_t D3DTFN_LINEAR = 2;

enum D3DPRIMITIVETYPE : uint32_t { D3DPT_TRIANGLESTRIP = 5 };
constexpr uint32_t D3DDP_WAIT = 1;

constexpr uint32_t D3DFVF_XYZRHW = 0x4;
constexpr uint32_t D3DFVF_DIFFUSE = 0x40;
constexpr uint32_t D3DFVF_SPECULAR = 0x80;
constexpr uint32_t D3DFVF_TEX1 = 0x100;
constexpr uint32_t D3DFVF_TLVERTEX = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX1;

using D3DCOLOR = uint32_t;
// Colours are 0xAARRGGBB.
struct D3DTLVERTEX {
  float sx = 0, sy = 0, sz = 0, rhw = 0;
  D3DCOLOR color = 0, specular = 0;
  float tu = 0, tv = 0;
};
static_assert(sizeof(D3DTLVERTEX) == 32);

// The reference rasterizer's identifier.
constexpr GUID IID_IDirect3DRefDevice = {
    0x50936643, 0x13E9, 0x11D1, {0x89, 0xAA, 0x00, 0xA0, 0xC9, 0x05, 0x41, 0x29}};
// The software devices' identifiers.
constexpr GUID IID_IDirect3DRGBDevice = {
    0xA4665C60, 0x2673, 0x11CF, {0xA3, 0x1A, 0x00, 0xAA, 0x00, 0xB9, 0x33, 0x56}};
constexpr GUID IID_IDirect3DHALDevice = {
    0x84E63DE0, 0x46AA, 0x11CF, {0x81, 0x6F, 0x00, 0x00, 0xC0, 0x20, 0x15, 0x6E}};

// ---- Objects -------------------------------------------------------------------

class IDirect3D;
class IDirect3DDevice;
using IDirect3D2 = IDirect3D;
using IDirect3D3 = IDirect3D;
using IDirect3D7 = IDirect3D;
using IDirect3DDevice2 = IDirect3DDevice;
using IDirect3DDevice3 = IDirect3DDevice;
using IDirect3DDevice7 = IDirect3DDevice;
using PDirect3D = std::shared_ptr<IDirect3D>;
using PDirect3DDevice = std::shared_ptr<IDirect3DDevice>;

// One device a driver offers. A hardware device has a hardware description
// with a colour model; an emulation device only an emulation one.
struct TD3DDeviceInfo {
  GUID Guid{};
  std::string Description, Name;
  D3DDEVICEDESC HWDesc, HELDesc;
  bool IsHardware() const { return HWDesc.dcmColorModel != 0; }
};

// QueryInterface of a DirectDraw object for IDirect3D (of any version):
// DDERR_NOINTERFACE when its driver offers no 3D device.
HRESULT Direct3DQuery(IDirectDraw* DDraw, PDirect3D* Out);

class IDirect3D : public std::enable_shared_from_this<IDirect3D> {
 public:
  // The devices of the driver, each with its hardware and emulation
  // description; the callback answers D3DENUMRET_OK to go on.
  using TEnumDevicesCallback =
      std::function<HRESULT(const GUID* Guid, const char* Description, const char* Name,
                            const D3DDEVICEDESC& HW, const D3DDEVICEDESC& HEL)>;
  HRESULT EnumDevices(const TEnumDevicesCallback& Callback) const;
  // The version-7 enumeration: one description a device, the hardware one
  // for a hardware device (with D3DDEVCAPS_HWRASTERIZATION), its GUID in it.
  using TEnumDevices7Callback =
      std::function<HRESULT(const char* Description, const char* Name, const D3DDEVICEDESC7& Desc)>;
  HRESULT EnumDevices7(const TEnumDevices7Callback& Callback) const;
  HRESULT CreateDevice(const GUID& Guid, IDirectDrawSurface* Target, PDirect3DDevice* Out);

  IDirectDraw* DDraw() const { return dd_.get(); }

 private:
  friend HRESULT Direct3DQuery(IDirectDraw*, PDirect3D*);
  IDirect3D() = default;
  PDirectDraw dd_;
  std::vector<TD3DDeviceInfo> devices_;
};

class IDirect3DDevice {
 public:
  ~IDirect3DDevice();
  HRESULT GetCaps(D3DDEVICEDESC* Desc) const;
  using TEnumTextureFormatsCallback = std::function<HRESULT(const DDPIXELFORMAT& Format)>;
  HRESULT EnumTextureFormats(const TEnumTextureFormatsCallback& Callback) const;
  HRESULT SetRenderTarget(IDirectDrawSurface* Target, uint32_t Flags);
  HRESULT SetTexture(uint32_t Stage, IDirectDrawSurface* Texture);
  HRESULT SetRenderState(D3DRENDERSTATETYPE State, uint32_t Value);
  HRESULT GetRenderState(D3DRENDERSTATETYPE State, uint32_t* Value) const;
  HRESULT SetTextureStageState(uint32_t Stage, D3DTEXTURESTAGESTATETYPE Type, uint32_t Value);
  HRESULT GetTextureStageState(uint32_t Stage, D3DTEXTURESTAGESTATETYPE Type,
                               uint32_t* Value) const;
  HRESULT DrawPrimitive(D3DPRIMITIVETYPE Type, uint32_t VertexFormat, const void* Vertices,
                        uint32_t Count, uint32_t Flags);

  // Layer-side.
  const TD3DDeviceInfo& Info() const { return info_; }
  bool IsHardware() const { return info_.IsHardware(); }
  IDirectDrawSurface* RenderTarget() const { return target_.get(); }
  IDirectDrawSurface* Texture(uint32_t Stage) const;
  // What the last DrawPrimitive was given, for tests.
  const std::vector<D3DTLVERTEX>& LastVertices() const { return last_; }
  uint32_t DrawCount() const { return draws_; }

 private:
  friend class IDirect3D;
  IDirect3DDevice();
  TD3DDeviceInfo info_;
  PDirectDraw dd_;
  PDirectDrawSurface target_;
  PDirectDrawSurface textures_[D3DMAX_TEXTURESTAGES];
  uint32_t rs_[D3DRENDERSTATE_COUNT]{};
  uint32_t tss_[D3DMAX_TEXTURESTAGES][D3DTSS_COUNT]{};
  std::vector<D3DTLVERTEX> last_;
  uint32_t draws_ = 0;
};

// ---- The machine tests stage ------------------------------------------------------

// The devices of the default machine's card: an RGB emulation device and a
// hardware one, both rendering to 16 and 32 bits with a 16-bit Z-buffer.
std::vector<TD3DDeviceInfo> D3DDefaultDevices();
// The devices each entry of the DirectDraw driver table offers (by index).
void D3DSetDevices(size_t DriverIndex, std::vector<TD3DDeviceInfo> Devices);
const std::vector<TD3DDeviceInfo>& D3DDevices(size_t DriverIndex);
// Back to one display driver with a 3D card and the default devices.
void D3DResetMachine();

// Fault injection: each counter makes that many of the next calls fail.
struct TD3DFaults {
  int FailCreateDevice = 0;          // any CreateDevice: DDERR_GENERIC
  int FailCreateHardwareDevice = 0;  // CreateDevice of a hardware device: DDERR_GENERIC
  int FailSetTexture = 0;            // SetTexture with a texture: DDERR_GENERIC
  int FailSetRenderTarget = 0;       // SetRenderTarget: DDERR_GENERIC
  int FailDrawPrimitive = 0;         // DrawPrimitive: DDERR_GENERIC
};
TD3DFaults& D3DFaults();
// Test hook: the widest vectors (in bits: 512, 256, or 0 for none) that the
// devices may draw with where the processor has them, so every path is
// tested.
void D3DLimitVectors(int Bits);
// The width the devices draw with now: the processor's widest within the
// limit.
int D3DVectorBits();
