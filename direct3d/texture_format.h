// The decisions a texture makes before it has a surface: its size under the
// device's limits, the pixel format it takes from those the device offers,
// and the colour key its surface gets. They read only descriptions, so they
// are the same for every device.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "direct3d/texture_image.h"
#include "platform/d3d/d3d.h"

struct TTextureSize {
  int32_t Width = 0, Height = 0;
  friend bool operator==(const TTextureSize&, const TTextureSize&) = default;
};

// The image's size made a power of two and square where the device asks
// for it, then held within the device's limits (a limit of 0 is none).
TTextureSize TextureSurfaceSize(int32_t Width, int32_t Height, const D3DDEVICEDESC& Desc);

// Walks the offered formats in order and returns the one the image fits
// best; nullopt when none will do.
std::optional<DDPIXELFORMAT> ChooseTextureFormat(const TDXTextureImage& Image,
                                                 const std::vector<DDPIXELFORMAT>& Formats);

// Index bits of a palette format; 0 for an RGB one.
int32_t PaletteIndexBits(const DDPIXELFORMAT& Format);

// Colour keys are colours with red in the low byte; 0x01000000 + n asks for
// palette index n.
constexpr uint32_t TexturePaletteKey = 0x01000000;

// The key colour of an image, as a texture keeps it.
uint32_t TextureKeyOfImage(const TDXTextureImage& Image);

// The surface value that key colour C becomes; nullopt when C has no value
// on that surface (then no key is set).
std::optional<uint32_t> TextureSurfaceKey(const DDPIXELFORMAT& Surface,
                                          const TDXTextureImage* Image, uint32_t C);

// Fills one level of a texture, locked at Bits with Pitch bytes a line and
// Width x Height pixels of Format, from the image: palette to palette, palette
// to RGB and RGB to RGB (an RGB image on a palette surface writes nothing).
// Past the image's edges a larger surface gets what a pixel value of 0
// converts to, or zero bytes where rows are copied as they stand; nothing is
// ever read past the image.
void FillTextureLevel(const DDPIXELFORMAT& Format, uint8_t* Bits, int32_t Pitch, int32_t Width,
                      int32_t Height, const TDXTextureImage& Image);
