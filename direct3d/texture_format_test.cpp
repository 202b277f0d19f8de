#include "direct3d/texture_format.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

D3DDEVICEDESC Caps(uint32_t textureCaps, uint32_t minW = 0, uint32_t minH = 0, uint32_t maxW = 0,
                   uint32_t maxH = 0) {
  D3DDEVICEDESC d;
  d.dpcTriCaps.dwTextureCaps = textureCaps;
  d.dwMinTextureWidth = minW, d.dwMinTextureHeight = minH;
  d.dwMaxTextureWidth = maxW, d.dwMaxTextureHeight = maxH;
  return d;
}

TEST(TextureFormat, SurfaceSizes) {
  const uint32_t pow2 = D3DPTEXTURECAPS_POW2, square = D3DPTEXTURECAPS_SQUAREONLY;
  struct Case {
    int32_t W, H;
    D3DDEVICEDESC Desc;
    TTextureSize Want;
  };
  const Case cases[] = {
      {100, 60, Caps(0), {100, 60}},
      {100, 60, Caps(pow2), {64, 32}},
      {100, 60, Caps(pow2 | square), {64, 64}},
      {100, 60, Caps(square), {100, 100}},
      {0, 0, Caps(pow2), {1, 1}},
      {8, 8, Caps(0, 16, 0), {16, 8}},
      {8, 8, Caps(0, 0, 32), {8, 32}},
      {512, 300, Caps(pow2, 0, 0, 256, 128), {256, 128}},
      {1, 1, Caps(pow2 | square, 4, 2, 2, 2), {2, 2}},  // the maximum wins over the minimum
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.W << " x " << c.H << " caps " << c.Desc.dpcTriCaps.dwTextureCaps);
    EXPECT_EQ(TextureSurfaceSize(c.W, c.H, c.Desc), c.Want);
  }
}

DDPIXELFORMAT Rgb(uint32_t bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  DDPIXELFORMAT f;
  f.dwFlags = DDPF_RGB | (a ? DDPF_ALPHAPIXELS : 0);
  f.dwRGBBitCount = bits;
  f.dwRBitMask = r, f.dwGBitMask = g, f.dwBBitMask = b, f.dwRGBAlphaBitMask = a;
  return f;
}
DDPIXELFORMAT Pal(uint32_t flag, uint32_t bits) {
  DDPIXELFORMAT f;
  f.dwFlags = DDPF_RGB | flag;
  f.dwRGBBitCount = bits;
  return f;
}

const DDPIXELFORMAT f8888 = Rgb(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
const DDPIXELFORMAT fX888 = Rgb(32, 0xFF0000, 0xFF00, 0xFF, 0);
const DDPIXELFORMAT f565 = Rgb(16, 0xF800, 0x7E0, 0x1F, 0);
const DDPIXELFORMAT f1555 = Rgb(16, 0x7C00, 0x3E0, 0x1F, 0x8000);
const DDPIXELFORMAT f4444 = Rgb(16, 0xF00, 0xF0, 0xF, 0xF000);
const DDPIXELFORMAT f565bgr = Rgb(16, 0x1F, 0x7E0, 0xF800, 0);
const DDPIXELFORMAT f8 = Pal(DDPF_PALETTEINDEXED8, 8);
const DDPIXELFORMAT f4 = Pal(DDPF_PALETTEINDEXED4, 4);

void RgbImage(TDXTextureImage& i, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  i.ImageType = DXTextureImageType_RGBColor;
  i.RChannel = MakeChannel(r, false), i.GChannel = MakeChannel(g, false);
  i.BChannel = MakeChannel(b, false), i.AChannel = MakeChannel(a, false);
}
void PaletteImage(TDXTextureImage& i, uint32_t index, uint32_t alpha) {
  i.ImageType = DXTextureImageType_PaletteIndexedColor;
  i.IndexChannel = MakeChannel(index, true);
  i.AlphaIndexChannel = MakeChannel(alpha, false);
}

bool Same(const DDPIXELFORMAT& a, const DDPIXELFORMAT& b) {
  return a.dwFlags == b.dwFlags && a.dwRGBBitCount == b.dwRGBBitCount &&
         a.dwRBitMask == b.dwRBitMask && a.dwGBitMask == b.dwGBitMask &&
         a.dwBBitMask == b.dwBBitMask && a.dwRGBAlphaBitMask == b.dwRGBAlphaBitMask;
}

TEST(TextureFormat, Choice) {
  TDXTextureImage rgb888, rgb8888, rgb565, pal8, pal4, pal8a1;
  RgbImage(rgb888, 0xFF0000, 0xFF00, 0xFF, 0);
  RgbImage(rgb8888, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
  RgbImage(rgb565, 0xF800, 0x7E0, 0x1F, 0);
  PaletteImage(pal8, 0xFF, 0);
  PaletteImage(pal4, 0xF, 0);
  PaletteImage(pal8a1, 0xFF, 0x100);
  DDPIXELFORMAT noRgb = f565;
  noRgb.dwFlags = 0;
  struct Case {
    const char* Name;
    const TDXTextureImage* Image;
    std::vector<DDPIXELFORMAT> Formats;
    std::optional<DDPIXELFORMAT> Want;
  };
  const std::vector<DDPIXELFORMAT> all = D3DSoftwareTextureFormats();
  const Case cases[] = {
      {"no formats", &rgb888, {}, std::nullopt},
      {"only formats without the RGB flag", &rgb888, {noRgb}, std::nullopt},
      {"an RGB image never takes a palette", &rgb888, {f8}, std::nullopt},
      {"a 4-bit palette is too small for 8-bit indices", &pal8, {f4}, std::nullopt},
      {"8-8-8 takes X-8-8-8 from all", &rgb888, all, fX888},
      {"8-8-8-8 takes 8-8-8-8 from all", &rgb8888, all, f8888},
      {"5-6-5 takes 5-6-5 from all", &rgb565, all, f565},
      {"an alpha image prefers any alpha format", &rgb8888, {fX888, f4444}, f4444},
      {"and keeps it against a closer one without", &rgb8888, {f4444, fX888}, f4444},
      {"an 8-bit palette image takes the palette", &pal8, all, f8},
      {"a 4-bit palette image takes the closer 4-bit palette", &pal4, {f8, f4}, f4},
      {"an equally close later palette replaces", &pal4, {f4, f4, f8}, f4},
      {"an RGB format replaces a taken palette", &pal8, {f8, f565}, f565},
      {"a palette image with 1-bit alpha takes an alpha format", &pal8a1, {f8, f565, f4444}, f4444},
      {"whatever their bit counts", &pal8a1, {f8888, f565}, f8888},
      {"equally distant: the last offered", &rgb888, {f565, f565bgr}, f565bgr},
      {"a farther later one does not replace", &rgb888, {f1555, f4444}, f1555},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const auto got = ChooseTextureFormat(*c.Image, c.Formats);
    ASSERT_EQ(got.has_value(), c.Want.has_value());
    if (got) EXPECT_TRUE(Same(*got, *c.Want)) << got->dwRGBBitCount << " " << got->dwRBitMask;
  }
}

TEST(TextureFormat, ColourKeys) {
  TDXTextureImage pal, rgb;
  pal.SetSize(DXTextureImageType_PaletteIndexedColor, 1, 1, 8, 0);
  pal.IndexChannel = MakeChannel(0xFF, true);
  pal.Palette[5] = {0x10, 0x20, 0x30, 0};
  pal.Palette[9] = {0xFF, 0x00, 0xFF, 0};
  pal.TransparentColor = 9;
  EXPECT_EQ(TextureKeyOfImage(pal), 0x01000009u);
  RgbImage(rgb, 0xF800, 0x7E0, 0x1F, 0);
  rgb.TransparentColor = 0xF81F;
  EXPECT_EQ(TextureKeyOfImage(rgb), 0xFF00FFu);

  struct Case {
    const char* Name;
    DDPIXELFORMAT Surface;
    const TDXTextureImage* Image;
    uint32_t C;
    std::optional<uint32_t> Want;
  };
  const Case cases[] = {
      {"palette index on a palette surface", f8, &pal, 0x01000005, 5},
      {"colour on a palette surface: the nearest entry", f8, &pal, 0x00F000F0, 9},
      {"colour on a palette surface without an image", f8, nullptr, 0x00FF00FF, std::nullopt},
      {"magenta on 5-6-5", f565, &rgb, 0x00FF00FF, 0xF81F},
      {"a palette entry on 5-6-5", f565, &pal, 0x01000005,
       (0x10u >> 3) << 11 | (0x20u >> 2) << 5 | 0x30u >> 3},
      {"a palette index without a palette image", f565, &rgb, 0x01000005, std::nullopt},
      {"above 24 bits", f565, &rgb, 0x02000000, std::nullopt},
      {"on 8-8-8-8 the alpha bits stay clear", f8888, &rgb, 0x00123456, 0x563412},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(TextureSurfaceKey(c.Surface, c.Image, c.C), c.Want);
  }
}

// A locked surface of W x H pixels with a pitch wider than its lines, and
// a guard pattern everywhere, so untouched bytes show.
struct TSurface {
  int32_t W, H, Pitch;
  std::vector<uint8_t> Bytes;
  TSurface(int32_t w, int32_t h, int32_t bits)
      : W(w), H(h), Pitch((w * bits + 7) / 8 + 4), Bytes(static_cast<size_t>(Pitch * h), 0xEE) {}
  uint32_t At(int32_t x, int32_t y, int32_t bits) const {
    const uint8_t* line = Bytes.data() + y * Pitch;
    if (bits < 8) return (line[x * bits / 8] >> (x * bits % 8)) & ((1u << bits) - 1);
    uint32_t v = 0;
    std::memcpy(&v, line + x * (bits / 8), static_cast<size_t>(bits / 8));
    return v;
  }
};

TEST(TextureFormat, FillingALevel) {
  {
    SCOPED_TRACE("same layout: rows copied, a wider and taller surface cleared past the image");
    TDXTextureImage image;
    image.SetSize(DXTextureImageType_RGBColor, 3, 2, 16, 6);  // no padding: reads past would show
    RgbImage(image, 0xF800, 0x7E0, 0x1F, 0);
    image.SetPixel(2, 1, 0xABCD);
    TSurface s(16, 4, 16);
    FillTextureLevel(f565, s.Bytes.data(), s.Pitch, s.W, s.H, image);
    EXPECT_EQ(s.At(2, 1, 16), 0xABCDu);
    EXPECT_EQ(s.At(3, 1, 16), 0u);
    EXPECT_EQ(s.At(15, 3, 16), 0u);
    EXPECT_EQ(s.Bytes[static_cast<size_t>(s.Pitch - 1)],
              0xEE);  // the pitch's padding is not touched
  }
  {
    SCOPED_TRACE("8-8-8-8 onto 5-6-5, pixel by pixel; outside the image as pixel 0");
    TDXTextureImage image;
    image.SetSize(DXTextureImageType_RGBColor, 2, 1, 32, 0);
    RgbImage(image, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    image.SetPixel(1, 0, 0x80FF8008);
    TSurface s(4, 2, 16);
    FillTextureLevel(f565, s.Bytes.data(), s.Pitch, s.W, s.H, image);
    EXPECT_EQ(s.At(1, 0, 16), 0xF800u | 0x400u | 0x1u);
    EXPECT_EQ(s.At(3, 1, 16), 0u);
  }
  {
    SCOPED_TRACE("an image without alpha is opaque on an alpha surface");
    TDXTextureImage image;
    image.SetSize(DXTextureImageType_RGBColor, 1, 1, 24, 0);
    RgbImage(image, 0xFF0000, 0xFF00, 0xFF, 0);
    image.SetPixel(0, 0, 0x123456);
    TSurface s(2, 1, 16);
    FillTextureLevel(f4444, s.Bytes.data(), s.Pitch, s.W, s.H, image);
    EXPECT_EQ(s.At(0, 0, 16), 0xF135u);
    EXPECT_EQ(s.At(1, 0, 16), 0xF000u);  // outside: black, still opaque
  }
  {
    SCOPED_TRACE("palette images onto palette surfaces, copied or packed anew");
    TDXTextureImage image;
    image.SetSize(DXTextureImageType_PaletteIndexedColor, 3, 1, 4, 0);
    PaletteImage(image, 0xF, 0);
    image.PackedPixelOrder = true;  // as a bitmap stores them: high nibble first
    image.SetPixel(0, 0, 0x1), image.SetPixel(1, 0, 0x2), image.SetPixel(2, 0, 0x3);
    TSurface s(4, 1, 4);
    FillTextureLevel(f4, s.Bytes.data(), s.Pitch, s.W, s.H, image);
    EXPECT_EQ(s.Bytes[0], 0x21);  // low nibble first on the surface
    EXPECT_EQ(s.At(2, 0, 4), 3u);
    EXPECT_EQ(s.At(3, 0, 4), 0u);
    image.PackedPixelOrder = false;
    TSurface same(4, 1, 4);
    FillTextureLevel(f4, same.Bytes.data(), same.Pitch, same.W, same.H, image);
    EXPECT_EQ(same.Bytes[0], image.ScanLine(0)[0]);
    EXPECT_EQ(same.Bytes[1], image.ScanLine(0)[1]);
  }
  {
    SCOPED_TRACE("a palette image with alpha onto 4-4-4-4");
    TDXTextureImage image;
    image.SetSize(DXTextureImageType_PaletteIndexedColor, 1, 1, 16, 0);
    PaletteImage(image, 0xFF, 0xFF00);
    image.Palette[7] = {0xFF, 0x00, 0x80, 0};
    image.SetPixel(0, 0, 0x8007);
    TSurface s(1, 1, 16);
    FillTextureLevel(f4444, s.Bytes.data(), s.Pitch, s.W, s.H, image);
    EXPECT_EQ(s.At(0, 0, 16), 0x8F08u);
  }
  {
    SCOPED_TRACE("an RGB image on a palette surface writes nothing");
    TDXTextureImage image;
    image.SetSize(DXTextureImageType_RGBColor, 1, 1, 32, 0);
    RgbImage(image, 0xFF0000, 0xFF00, 0xFF, 0);
    TSurface s(1, 1, 8);
    FillTextureLevel(f8, s.Bytes.data(), s.Pitch, s.W, s.H, image);
    EXPECT_EQ(s.Bytes[0], 0xEE);
  }
}

}  // namespace
