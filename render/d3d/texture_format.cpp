#include "render/d3d/texture_format.h"

#include <algorithm>
#include <bit>
#include <cstdlib>

TTextureSize TextureSurfaceSize(int32_t Width, int32_t Height, const D3DDEVICEDESC& Desc) {
  int64_t w = Width, h = Height;
  const uint32_t caps = Desc.dpcTriCaps.dwTextureCaps;
  if (caps & D3DPTEXTURECAPS_POW2) {
    auto floor2 = [](int64_t v) {
      return v < 1 ? int64_t{1} : static_cast<int64_t>(std::bit_floor(static_cast<uint64_t>(v)));
    };
    w = floor2(w);
    h = floor2(h);
  }
  if (caps & D3DPTEXTURECAPS_SQUAREONLY) w = h = std::max(w, h);
  if (Desc.dwMinTextureWidth && w < Desc.dwMinTextureWidth) w = Desc.dwMinTextureWidth;
  if (Desc.dwMinTextureHeight && h < Desc.dwMinTextureHeight) h = Desc.dwMinTextureHeight;
  if (Desc.dwMaxTextureWidth && w > Desc.dwMaxTextureWidth) w = Desc.dwMaxTextureWidth;
  if (Desc.dwMaxTextureHeight && h > Desc.dwMaxTextureHeight) h = Desc.dwMaxTextureHeight;
  return {static_cast<int32_t>(std::min<int64_t>(w, INT32_MAX)),
          static_cast<int32_t>(std::min<int64_t>(h, INT32_MAX))};
}

int32_t PaletteIndexBits(const DDPIXELFORMAT& Format) {
  if (Format.dwFlags & DDPF_PALETTEINDEXED8) return 8;
  if (Format.dwFlags & DDPF_PALETTEINDEXED4) return 4;
  if (Format.dwFlags & DDPF_PALETTEINDEXED2) return 2;
  if (Format.dwFlags & DDPF_PALETTEINDEXED1) return 1;
  return 0;
}

std::optional<DDPIXELFORMAT> ChooseTextureFormat(const TDXTextureImage& Image,
                                                 const std::vector<DDPIXELFORMAT>& Formats) {
  const bool paletteImage = Image.ImageType == DXTextureImageType_PaletteIndexedColor;
  int32_t r, g, b, a, indexSize;
  if (paletteImage) {
    r = g = b = 8;
    a = Image.AlphaIndexChannel.BitCount;
    indexSize = Image.IndexChannel.BitCount;
  } else {
    r = Image.RChannel.BitCount;
    g = Image.GChannel.BitCount;
    b = Image.BChannel.BitCount;
    a = Image.AChannel.BitCount;
    indexSize = 8;
  }
  auto distance = [&](const DDPIXELFORMAT& f) {
    auto sq = [](int32_t d) { return d * d; };
    return sq(BitCountOfMask(f.dwRBitMask) - r) + sq(BitCountOfMask(f.dwGBitMask) - g) +
           sq(BitCountOfMask(f.dwBBitMask) - b) + sq(BitCountOfMask(f.dwRGBAlphaBitMask) - a);
  };
  auto hasAlpha = [](const DDPIXELFORMAT& f) { return (f.dwFlags & DDPF_ALPHAPIXELS) != 0; };

  std::optional<DDPIXELFORMAT> taken;
  for (const DDPIXELFORMAT& f : Formats) {
    if (!(f.dwFlags & DDPF_RGB)) continue;
    const int32_t indexBits = PaletteIndexBits(f);
    if (indexBits && (!paletteImage || indexBits < indexSize)) continue;
    if (!taken) {
      taken = f;
      continue;
    }
    if (indexBits) {
      const int32_t takenBits = static_cast<int32_t>(taken->dwRGBBitCount);
      if (a == 0 && std::abs(static_cast<int32_t>(f.dwRGBBitCount) - indexSize) <=
                        std::abs(takenBits - indexSize))
        taken = f;
      continue;
    }
    if (a > 0 && hasAlpha(f) != hasAlpha(*taken)) {
      if (hasAlpha(f)) taken = f;
      continue;
    }
    if (PaletteIndexBits(*taken) || distance(f) <= distance(*taken)) taken = f;
  }
  return taken;
}

uint32_t TextureKeyOfImage(const TDXTextureImage& Image) {
  const uint32_t c = Image.TransparentColor;
  if (Image.ImageType == DXTextureImageType_PaletteIndexedColor)
    return TexturePaletteKey + (ChannelToByte(Image.IndexChannel, c) & 0xFF);
  return (ChannelToByte(Image.RChannel, c) & 0xFF) |
         (ChannelToByte(Image.GChannel, c) & 0xFF) << 8 |
         (ChannelToByte(Image.BChannel, c) & 0xFF) << 16;
}

std::optional<uint32_t> TextureSurfaceKey(const DDPIXELFORMAT& Surface,
                                          const TDXTextureImage* Image, uint32_t C) {
  const bool paletteKey = (C & 0xFFFFFF00u) == TexturePaletteKey;
  if (PaletteIndexBits(Surface)) {
    if (paletteKey) return C & 0xFF;
    if (!Image) return std::nullopt;
    return Image->NearestPaletteIndex(C & 0xFF, (C >> 8) & 0xFF, (C >> 16) & 0xFF);
  }
  uint32_t red, green, blue;
  if (paletteKey && Image && Image->ImageType == DXTextureImageType_PaletteIndexedColor) {
    const TDXTextureImagePaletteEntry& e = Image->Palette[C & 0xFF];
    red = e.peRed, green = e.peGreen, blue = e.peBlue;
  } else if (C > 0xFFFFFF) {
    return std::nullopt;
  } else {
    red = C & 0xFF, green = (C >> 8) & 0xFF, blue = (C >> 16) & 0xFF;
  }
  return ByteToChannel(MakeChannel(Surface.dwRBitMask, false), red) |
         ByteToChannel(MakeChannel(Surface.dwGBitMask, false), green) |
         ByteToChannel(MakeChannel(Surface.dwBBitMask, false), blue);
}
