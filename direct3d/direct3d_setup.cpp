#include "direct3d/direct3d_setup.h"

#include <bit>
#include <memory>
#include <optional>

#include "framework/sysutils.h"

uint32_t BitDepthFlag(int32_t BitCount) {
  switch (BitCount) {
    case 1:
      return DDBD_1;
    case 2:
      return DDBD_2;
    case 4:
      return DDBD_4;
    case 8:
      return DDBD_8;
    case 16:
      return DDBD_16;
    case 24:
      return DDBD_24;
    case 32:
      return DDBD_32;
    default:
      return 0;
  }
}

namespace {

// A Direct3D interface the DirectDraw object must offer; the framework's
// cast error when it does not.
PDirect3D QueryDirect3D(IDirectDraw* DD) {
  PDirect3D d;
  if (!DD || Direct3DQuery(DD, &d) != DD_OK || !d) Raise<Exception>("Invalid class typecast");
  return d;
}

struct TCandidate {
  DDCAPS Caps;
  D3DDEVICEDESC HW;
};

int Compare(uint32_t a, uint32_t b) {
  int x = std::popcount(a), y = std::popcount(b);
  return x > y ? 1 : x < y ? -1 : 0;
}

// Whether the newly visited driver replaces the chosen one.
bool Replaces(const TCandidate& New, const TCandidate& Chosen) {
  if (New.Caps.dwVidMemTotal < Chosen.Caps.dwVidMemTotal) return false;
  auto tally = [](const DDCAPS& c) {
    int n = 0;
    for (uint32_t f : {DDSCAPS_TEXTURE, DDSCAPS_ZBUFFER, DDSCAPS_MIPMAP})
      if (c.ddsCaps.dwCaps & f) ++n;
    return n;
  };
  int score = tally(New.Caps) > tally(Chosen.Caps) ? 1 : tally(New.Caps) < tally(Chosen.Caps) ? -1 : 0;
  const D3DPRIMCAPS& n = New.HW.dpcLineCaps;
  const D3DPRIMCAPS& c = Chosen.HW.dpcLineCaps;
  score += Compare(n.dwMiscCaps, c.dwMiscCaps) + Compare(n.dwRasterCaps, c.dwRasterCaps) +
           Compare(n.dwAlphaCmpCaps, c.dwAlphaCmpCaps) +
           Compare(n.dwSrcBlendCaps, c.dwSrcBlendCaps) +
           Compare(n.dwDestBlendCaps, c.dwDestBlendCaps) + Compare(n.dwShadeCaps, c.dwShadeCaps) +
           Compare(n.dwTextureCaps, c.dwTextureCaps) +
           Compare(n.dwTextureFilterCaps, c.dwTextureFilterCaps) +
           Compare(n.dwTextureBlendCaps, c.dwTextureBlendCaps) +
           Compare(n.dwTextureAddressCaps, c.dwTextureAddressCaps);
  return score >= 0;
}

// The last device of the driver that renders at BitCount (or, with
// soBitCount, at 16, 24 or 32 bits).
std::optional<D3DDEVICEDESC> DriverCandidate(TDirectDraw& DD, int32_t BitCount,
                                             TDirect3DSetupOptions Options) {
  PDirect3D d3d = QueryDirect3D(DD.GetIDirectDraw());
  std::optional<D3DDEVICEDESC> found;
  d3d->EnumDevices([&](const GUID*, const char*, const char*, const D3DDEVICEDESC& HW,
                       const D3DDEVICEDESC&) {
    const uint32_t depths = HW.dwDeviceRenderBitDepth;
    const bool counts =
        HW.dcmColorModel != 0 &&
        ((depths & BitDepthFlag(BitCount)) ||
         ((Options & soBitCount) && (depths & (DDBD_16 | DDBD_24 | DDBD_32))));
    if (counts) found = HW;
    return D3DENUMRET_OK;
  });
  return found;
}

}  // namespace

void SelectDisplayDriver(TDirect3DSetupOptions Options, TCustomDXDraw* DXDraw) {
  int32_t bitCount = DXDraw->Display()->BitCount();
  const GUID* guid = DXDraw->DriverGUID();
  GUID guidStore{};
  bool chosen = false;
  TCandidate best;
  if (Options & soSelectDriver) {
    CallDirectDrawEnumerate([&](const GUID* Driver, const char*, const char*) {
      try {
        // The object exists only for the look at its caps and devices.
        auto dd = std::make_unique<TDirectDraw>(Driver);
        if (!(dd->DriverCaps.dwCaps & DDCAPS_3D) ||
            !(dd->DriverCaps.ddsCaps.dwCaps & DDSCAPS_TEXTURE))
          return true;
        std::optional<D3DDEVICEDESC> hw = DriverCandidate(*dd, bitCount, Options);
        if (!hw) return true;
        TCandidate c{dd->DriverCaps, *hw};
        if (!chosen || Replaces(c, best)) {
          chosen = true;
          best = c;
          if (Driver) {
            guidStore = *Driver;
            guid = &guidStore;
          } else {
            guid = nullptr;
          }
        }
      } catch (const Exception&) {
        // A driver that cannot be looked at is passed over.
      }
      return true;
    });
  } else {
    try {
      auto dd = std::make_unique<TDirectDraw>(DXDraw->DriverGUID());
      if (std::optional<D3DDEVICEDESC> hw = DriverCandidate(*dd, bitCount, Options)) {
        chosen = true;
        best.HW = *hw;
      }
    } catch (const Exception&) {
    }
  }
  if (!chosen) return;
  const uint32_t depths = best.HW.dwDeviceRenderBitDepth;
  if ((Options & soBitCount) && !(depths & BitDepthFlag(bitCount))) {
    if (depths & DDBD_16) bitCount = 16;
    else if (depths & DDBD_24) bitCount = 24;
    else if (depths & DDBD_32) bitCount = 32;
  }
  DXDraw->SetDriverGUID(guid);
  DXDraw->Display()->SetBitCount(bitCount);
}

// ---- Z-buffer ---------------------------------------------------------------------------

void FreeZBuffer(TDirectDrawSurface* Surface, std::unique_ptr<TDirectDrawSurface>& ZBuffer) {
  if (!ZBuffer) return;
  if (Surface && Surface->ISurface() && ZBuffer->ISurface())
    Surface->ISurface()->DeleteAttachedSurface(0, ZBuffer->ISurface().get());
  ZBuffer.reset();
}

bool CreateZBuffer(TDirectDrawSurface* Surface, std::unique_ptr<TDirectDrawSurface>& ZBuffer,
                   const D3DDEVICEDESC& Description, bool Hardware) {
  FreeZBuffer(Surface, ZBuffer);
  const uint32_t z = Description.dwDeviceZBufferBitDepth;
  const uint32_t depth = (z & DDBD_16) ? 16 : (z & DDBD_24) ? 24 : (z & DDBD_32) ? 32 : 0;
  if (!depth) return false;
  DDSURFACEDESC d;
  d.dwSize = DDSURFACEDESC_SIZE;
  Surface->GetIDirectDrawSurface()->GetSurfaceDesc(&d);
  d.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_ZBUFFERBITDEPTH;
  d.ddsCaps.dwCaps = DDSCAPS_ZBUFFER | (Hardware ? DDSCAPS_VIDEOMEMORY : DDSCAPS_SYSTEMMEMORY);
  d.dwHeight = static_cast<uint32_t>(Surface->Height());
  d.dwWidth = static_cast<uint32_t>(Surface->Width());
  d.dwZBufferBitDepth = depth;
  auto z_buffer = std::make_unique<TDirectDrawSurface>(Surface->DDraw());
  if (!z_buffer->CreateSurface(d)) return false;
  if (Surface->GetIDirectDrawSurface()->AddAttachedSurface(z_buffer->ISurface().get()) != DD_OK)
    return false;
  ZBuffer = std::move(z_buffer);
  return true;
}

// ---- Device set-up -------------------------------------------------------------------------

namespace {

struct TFound {
  bool Found = false;
  bool Hardware = false;
  GUID Guid{};
  D3DDEVICEDESC Desc;
};

// Records the last hardware device, or without one the last software one.
void Consider(TFound& F, const GUID& Guid, const D3DDEVICEDESC& Desc, bool Hardware,
              bool HardwareWanted, uint32_t BitFlag, bool CheckColorModel) {
  if (Hardware && !HardwareWanted) return;
  if (CheckColorModel && Desc.dcmColorModel != D3DCOLOR_RGB) return;
  if (Guid == IID_IDirect3DRefDevice) return;
  if (!(Desc.dwDeviceRenderBitDepth & BitFlag)) return;
  if (Hardware || !F.Hardware) {
    F.Found = true;
    F.Hardware = Hardware;
    F.Guid = Guid;
    F.Desc = Desc;
  }
}

TFound SearchDevice(IDirect3D* D3D, bool Version7, bool HardwareWanted, int32_t BitCount) {
  TFound f;
  const uint32_t flag = BitDepthFlag(BitCount);
  if (Version7) {
    D3D->EnumDevices7([&](const char*, const char*, const D3DDEVICEDESC7& Desc) {
      Consider(f, Desc.deviceGUID, Desc, (Desc.dwDevCaps & D3DDEVCAPS_HWRASTERIZATION) != 0,
               HardwareWanted, flag, false);
      return D3DENUMRET_OK;
    });
  } else {
    D3D->EnumDevices([&](const GUID* Guid, const char*, const char*, const D3DDEVICEDESC& HW,
                         const D3DDEVICEDESC& HEL) {
      const bool hw = HW.dcmColorModel != 0;
      Consider(f, Guid ? *Guid : GUID{}, hw ? HW : HEL, hw, HardwareWanted, flag, true);
      return D3DENUMRET_OK;
    });
  }
  if (!f.Found) Raise<EDXDrawError>("3D device not found");
  return f;
}

// The shared body of both set-ups. Version7 picks the enumeration and the
// interface name; the caller keeps the interfaces.
PDirect3DDevice SetUp(TDirectDrawSurface* Surface, std::unique_ptr<TDirectDrawSurface>& ZBuffer,
                      const PDirect3D& D3D, TDirect3DSetupOptions Wanted,
                      TDirect3DSetupOptions& Options, bool Version7) {
  TDirectDraw* dd = Surface->DDraw();
  bool hardwareWanted = (Surface->SurfaceDesc().ddsCaps.dwCaps & DDSCAPS_VIDEOMEMORY) &&
                        (Wanted & soHardware) && (dd->DriverCaps.dwCaps & DDCAPS_3D);
  if (!(dd->DriverCaps.ddsCaps.dwCaps & DDSCAPS_TEXTURE)) hardwareWanted = false;
  const int32_t bits = Surface->BitCount();
  auto search = [&] {
    TFound f = SearchDevice(D3D.get(), Version7, hardwareWanted, bits);
    if (f.Hardware) Options |= soHardware;
    Options &= static_cast<TDirect3DSetupOptions>(~soZBuffer);
    if ((Wanted & soZBuffer) && CreateZBuffer(Surface, ZBuffer, f.Desc, f.Hardware))
      Options |= soZBuffer;
    return f;
  };
  TFound f = search();
  PDirect3DDevice device;
  if (D3D->CreateDevice(f.Guid, Surface->GetIDirectDrawSurface(), &device) != DD_OK || !device) {
    hardwareWanted = false;
    f = search();
    if (D3D->CreateDevice(f.Guid, Surface->GetIDirectDrawSurface(), &device) != DD_OK || !device)
      Raise<EDXDrawError>("%s cannot be made", Version7 ? "IDirect3DDevice7" : "IDirect3DDevice3");
  }
  // What is reported is what the device in use is; a hardware device found
  // first and refused leaves a software one.
  if (hardwareWanted && device->IsHardware()) Options |= soHardware;
  else Options &= static_cast<TDirect3DSetupOptions>(~soHardware);
  return device;
}

}  // namespace

void InitializeDirect3D6(TDirectDrawSurface* Surface, std::unique_ptr<TDirectDrawSurface>& ZBuffer, PDirect3D& D3D,
                         TDirect3DSetupOptions& Options, PDirect3DDevice& D3DDevice3,
                         PDirect3DDevice& D3DDevice2, PDirect3DDevice& D3DDevice, PDirect3D& D3D3,
                         PDirect3D& D3D2) {
  D3D.reset(), D3D2.reset(), D3D3.reset();
  D3DDevice.reset(), D3DDevice2.reset(), D3DDevice3.reset();
  const TDirect3DSetupOptions wanted = Options;
  Options = 0;
  try {
    D3D3 = QueryDirect3D(Surface->DDraw()->GetIDirectDraw());
    D3D2 = D3D = D3D3;
    D3DDevice3 = SetUp(Surface, ZBuffer, D3D3, wanted, Options, false);
    D3DDevice2 = D3DDevice = D3DDevice3;
    D3DDevice3->SetRenderState(D3DRENDERSTATE_DITHERENABLE, 1);
    D3DDevice3->SetRenderState(D3DRENDERSTATE_ZENABLE, ZBuffer ? 1 : 0);
    D3DDevice3->SetRenderState(D3DRENDERSTATE_ZWRITEENABLE, ZBuffer ? 1 : 0);
    if (wanted & soRetainedMode) Options |= soRetainedMode;
  } catch (...) {
    FreeZBuffer(Surface, ZBuffer);
    D3D.reset(), D3D2.reset(), D3D3.reset();
    D3DDevice.reset(), D3DDevice2.reset(), D3DDevice3.reset();
    throw;
  }
}

void InitializeDirect3D7(TDirectDrawSurface* Surface, std::unique_ptr<TDirectDrawSurface>& ZBuffer,
                         PDirect3D& D3D7, TDirect3DSetupOptions& Options,
                         PDirect3DDevice& D3DDevice7) {
  D3D7.reset();
  D3DDevice7.reset();
  const TDirect3DSetupOptions wanted =
      static_cast<TDirect3DSetupOptions>(Options & ~soRetainedMode);
  Options = 0;
  try {
    D3D7 = QueryDirect3D(Surface->DDraw()->GetIDirectDraw7());
    D3DDevice7 = SetUp(Surface, ZBuffer, D3D7, wanted, Options, true);
  } catch (...) {
    FreeZBuffer(Surface, ZBuffer);
    D3D7.reset();
    D3DDevice7.reset();
    throw;
  }
}
