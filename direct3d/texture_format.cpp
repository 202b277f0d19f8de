#include "direct3d/texture_format.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>

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

namespace {
// Surfaces pack pixels below 8 bits least significant first.
void PutSurfacePixel(uint8_t* Line, int32_t X, int32_t BitCount, uint32_t Value) {
  switch (BitCount) {
    case 8:
      Line[X] = static_cast<uint8_t>(Value);
      break;
    case 16: {
      const auto v = static_cast<uint16_t>(Value);
      std::memcpy(Line + 2 * static_cast<intptr_t>(X), &v, 2);
      break;
    }
    case 24:
      Line[3 * X] = static_cast<uint8_t>(Value);
      Line[3 * X + 1] = static_cast<uint8_t>(Value >> 8);
      Line[3 * X + 2] = static_cast<uint8_t>(Value >> 16);
      break;
    case 32:
      std::memcpy(Line + 4 * static_cast<intptr_t>(X), &Value, 4);
      break;
    case 1:
    case 2:
    case 4: {
      const int32_t bit = X * BitCount;
      const uint32_t mask = ((1u << BitCount) - 1) << (bit % 8);
      uint8_t& b = Line[bit / 8];
      b = static_cast<uint8_t>((b & ~mask) | ((Value << (bit % 8)) & mask));
      break;
    }
    default:
      break;
  }
}

// Rows of the image copied byte for byte, as far as the image reaches; the
// rest of each row and the rows below the image are cleared.
void CopyRows(uint8_t* Bits, int32_t Pitch, int32_t Width, int32_t Height, int32_t BitCount,
              const TDXTextureImage& Image) {
  const int64_t rowBytes = (static_cast<int64_t>(BitCount) * Width + 7) / 8;
  const int64_t imageRowBytes = (static_cast<int64_t>(BitCount) * Image.Width + 7) / 8;
  const int64_t copied = std::min(rowBytes, imageRowBytes);
  for (int32_t y = 0; y < Height; ++y) {
    uint8_t* line = Bits + static_cast<intptr_t>(y) * Pitch;
    const int64_t n = y < Image.Height ? copied : 0;
    if (n > 0) std::memcpy(line, Image.ScanLine(y), static_cast<size_t>(n));
    std::memset(line + n, 0, static_cast<size_t>(rowBytes - n));
  }
}

bool SameChannel(const TDXTextureImageChannel& C, uint32_t Mask) {
  return static_cast<uint32_t>(C.Mask) == Mask;
}
}  // namespace

void FillTextureLevel(const DDPIXELFORMAT& Format, uint8_t* Bits, int32_t Pitch, int32_t Width,
                      int32_t Height, const TDXTextureImage& Image) {
  const auto bitCount = static_cast<int32_t>(Format.dwRGBBitCount);
  const int32_t indexBits = PaletteIndexBits(Format);
  const bool paletteImage = Image.ImageType == DXTextureImageType_PaletteIndexedColor;
  auto each = [&](auto value) {
    for (int32_t y = 0; y < Height; ++y) {
      uint8_t* line = Bits + static_cast<intptr_t>(y) * Pitch;
      for (int32_t x = 0; x < Width; ++x)
        PutSurfacePixel(line, x, bitCount, value(Image.GetPixel(x, y)));
    }
  };
  if (indexBits) {
    if (!paletteImage) return;
    if ((int64_t{1} << indexBits) == int64_t{static_cast<uint32_t>(Image.IndexChannel.Mask)} + 1 &&
        Image.AlphaIndexChannel.Mask == 0 && bitCount == Image.BitCount && !Image.PackedPixelOrder)
      return CopyRows(Bits, Pitch, Width, Height, bitCount, Image);
    return each([&](uint32_t p) { return ChannelToByte(Image.IndexChannel, p); });
  }
  const TDXTextureImageChannel r = MakeChannel(Format.dwRBitMask, false),
                               g = MakeChannel(Format.dwGBitMask, false),
                               b = MakeChannel(Format.dwBBitMask, false),
                               a = MakeChannel(Format.dwRGBAlphaBitMask, false);
  if (paletteImage) {
    const bool alpha = Image.AlphaIndexChannel.Mask != 0;
    return each([&](uint32_t p) {
      const TDXTextureImagePaletteEntry& e =
          Image.Palette[ChannelToByte(Image.IndexChannel, p) & 0xFF];
      return ByteToChannel(r, e.peRed) | ByteToChannel(g, e.peGreen) | ByteToChannel(b, e.peBlue) |
             ByteToChannel(a, alpha ? ChannelToByte(Image.AlphaIndexChannel, p) : 255);
    });
  }
  if (SameChannel(Image.RChannel, Format.dwRBitMask) &&
      SameChannel(Image.GChannel, Format.dwGBitMask) &&
      SameChannel(Image.BChannel, Format.dwBBitMask) &&
      SameChannel(Image.AChannel, Format.dwRGBAlphaBitMask) && bitCount == Image.BitCount &&
      !Image.PackedPixelOrder)
    return CopyRows(Bits, Pitch, Width, Height, bitCount, Image);
  const bool alpha = Image.AChannel.Mask != 0;
  each([&](uint32_t p) {
    return ByteToChannel(r, ChannelToByte(Image.RChannel, p)) |
           ByteToChannel(g, ChannelToByte(Image.GChannel, p)) |
           ByteToChannel(b, ChannelToByte(Image.BChannel, p)) |
           ByteToChannel(a, alpha ? ChannelToByte(Image.AChannel, p) : 255);
  });
}
