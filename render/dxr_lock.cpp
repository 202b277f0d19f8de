#include "platform/ddraw/ddraw.h"
#include "render/dxrender.h"

namespace {
// Palette-indexed flags for 1, 2, 4 and 8 bits per pixel.
constexpr uint32_t PaletteIndexedFlags = 0x1828;
}  // namespace

bool LockRenderSurface(IDirectDrawSurface* Surface, TDXRSurfaceInfo& Info) {
  DDSURFACEDESC desc{};
  return LockRenderSurfaceDesc(Surface, desc, Info);
}

bool LockRenderSurfaceDesc(IDirectDrawSurface* Surface, DDSURFACEDESC& Desc,
                           TDXRSurfaceInfo& Info) {
  if (!Surface) return false;
  Desc.dwSize = DDSURFACEDESC_SIZE;
  if (Surface->Lock(nullptr, &Desc, DDLOCK_WAIT, nullptr) != DD_OK) return false;
  const DDPIXELFORMAT& pf = Desc.ddpfPixelFormat;
  const int32_t bits = int32_t(pf.dwRGBBitCount);
  if (pf.dwFlags & PaletteIndexedFlags) {
    SetupSurfaceInfo(Info, true, int32_t(Desc.dwWidth), int32_t(Desc.dwHeight), bits,
                     Desc.lpSurface, Desc.lPitch, 0, 0, 0, 0);
  } else {
    SetupSurfaceInfo(Info, false, int32_t(Desc.dwWidth), int32_t(Desc.dwHeight), bits,
                     Desc.lpSurface, Desc.lPitch, pf.dwRBitMask, pf.dwGBitMask, pf.dwBBitMask,
                     (pf.dwFlags & DDPF_ALPHAPIXELS) ? pf.dwRGBAlphaBitMask : 0);
  }
  return true;
}

void UnlockRenderSurface(IDirectDrawSurface* Surface, const TDXRSurfaceInfo& Info) {
  if (Surface) Surface->Unlock(Info.Bits);
}
