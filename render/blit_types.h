// The settings a picture draw takes on its way to the blitter, the software
// renderer or the hardware drawer: shared by sprites, blits and the display.
#pragma once

#include <cstdint>

// The blend of a picture draw; also a background cell's stored byte.
enum TRenderType : uint8_t { rtDraw = 0, rtBlend = 1, rtAdd = 2, rtSub = 3 };

// Corner swaps of the next hardware draw, as a one-byte set: bit 0
// rmfMirror, bit 1 rmfFlip.
enum TRenderMirrorFlip : uint8_t { rmfMirror = 0, rmfFlip = 1 };
using TRenderMirrorFlips = uint8_t;
constexpr TRenderMirrorFlips MirrorFlipBit(TRenderMirrorFlip f) {
  return static_cast<uint8_t>(1u << f);
}

// The texture sampling of hardware draws.
enum TD2DTextureFilter : uint8_t {
  D2D_POINT = 0,
  D2D_LINEAR = 1,
  D2D_FLATCUBIC = 2,
  D2D_GAUSSIANCUBIC = 3,
  D2D_ANISOTROPIC = 4,
};

// Which axis a wave draw bends along, or none.
enum TWaveType : uint8_t { wtWaveNone = 0, wtWaveX = 1, wtWaveY = 2 };
