// The Direct3D-shaped layer: the device capabilities and texture formats
// that the texture code reads. The devices themselves join it later; until
// then nothing here is reached from the display.
#pragma once

#include <cstdint>
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

struct D3DPRIMCAPS {
  uint32_t dwSize = 56;
  uint32_t dwTextureCaps = 0;
};

// One description serves the device interfaces of every version; the size
// field keeps what the caller set.
constexpr uint32_t D3DDEVICEDESC_SIZE = 252;

struct D3DDEVICEDESC {
  uint32_t dwSize = D3DDEVICEDESC_SIZE;
  D3DPRIMCAPS dpcTriCaps;
  uint32_t dwMinTextureWidth = 0, dwMinTextureHeight = 0;
  uint32_t dwMaxTextureWidth = 0, dwMaxTextureHeight = 0;
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
