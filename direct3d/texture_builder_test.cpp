#include "direct3d/texture_builder.h"

#include <gtest/gtest.h>

#include <iterator>

#include "engine/dib/dib.h"
#include "platform/gdi/gdi.h"

namespace {

// A 32-bit bitmap whose colour and fourth byte vary with the position.
void Fill32(TDIB& d, int32_t w, int32_t h, bool alpha) {
  d.SetSize(w, h, 32);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const uint32_t a = alpha ? static_cast<uint32_t>((x * 4 + y) & 0xFF) : 0;
      d.SetPixel(x, y,
                 static_cast<int32_t>((a << 24) | ((x * 3) & 0xFF) << 16 | (y & 0xFF) << 8 | 0x5A));
    }
}

// An 8-bit bitmap with a table of distinct colours.
void FillPalette(TDIB& d, int32_t w, int32_t h) {
  for (int i = 0; i < 256; ++i)
    d.ColorTable[i] = RGBQuad(static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), 0x33);
  d.SetSize(w, h, 8);
  d.UpdatePalette();
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) d.SetPixel(x, y, (x + 7 * y) & 0xFF);
}

TEST(TextureBuilder, APictureWithAlphaBecomesA32BitImageWithItsFourthBytesAsAlpha) {
  TDIB d;
  Fill32(d, 64, 64, true);
  const auto image = MakeTextureImageFromDIB(d);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->ImageType, DXTextureImageType_RGBColor);
  EXPECT_EQ(image->Width, 64);
  EXPECT_EQ(image->Height, 64);
  EXPECT_EQ(image->BitCount, 32);
  EXPECT_EQ(image->RChannel.Mask, 0xFF0000);
  EXPECT_EQ(image->GChannel.Mask, 0xFF00);
  EXPECT_EQ(image->BChannel.Mask, 0xFF);
  EXPECT_EQ(static_cast<uint32_t>(image->AChannel.Mask), 0xFF000000u);
  EXPECT_EQ(image->ImageName, "");
  EXPECT_FALSE(image->Transparent);
  EXPECT_EQ(image->TransparentColor, 0u);
  for (int32_t y = 0; y < 64; y += 7)
    for (int32_t x = 0; x < 64; x += 5) {
      SCOPED_TRACE(testing::Message() << x << ", " << y);
      // The alpha picture's grey entry (v, v, v) has luminance v.
      EXPECT_EQ(image->GetPixel(x, y), static_cast<uint32_t>(d.GetPixel(x, y)));
    }
}

TEST(TextureBuilder, APictureWhoseFourthBytesAreAllZeroGetsNoAlpha) {
  // Otherwise every pixel would be fully transparent.
  TDIB d;
  Fill32(d, 16, 16, false);
  const auto image = MakeTextureImageFromDIB(d);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->BitCount, 24);
  EXPECT_EQ(image->AChannel.Mask, 0);
  EXPECT_EQ(image->GetPixel(3, 2), static_cast<uint32_t>(d.GetPixel(3, 2)) & 0xFFFFFF);
}

TEST(TextureBuilder, TheOutputIsTheLargestPowerOfTwoSquareAndZeroOutsideTheSource) {
  TDIB original, d;
  Fill32(original, 100, 60, false);
  Fill32(d, 100, 60, false);
  d.ConvertBitCount(24);
  const auto image = MakeTextureImageFromDIB(d);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->Width, 64);
  EXPECT_EQ(image->Height, 64);
  EXPECT_EQ(image->BitCount, 24);
  EXPECT_EQ(image->GetPixel(63, 59), static_cast<uint32_t>(original.GetPixel(63, 59)));
  EXPECT_EQ(image->GetPixel(0, 0), static_cast<uint32_t>(original.GetPixel(0, 0)));
  for (int32_t y = 60; y < 64; ++y)
    for (int32_t x = 0; x < 64; ++x) ASSERT_EQ(image->GetPixel(x, y), 0u) << x << ", " << y;
}

TEST(TextureBuilder, PaletteSourcesAndTheirOutputs) {
  {
    SCOPED_TRACE("a square power-of-two palette picture stays a palette image");
    TDIB d;
    FillPalette(d, 32, 32);
    const auto image = MakeTextureImageFromDIB(d);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->ImageType, DXTextureImageType_PaletteIndexedColor);
    EXPECT_EQ(image->BitCount, 8);
    EXPECT_EQ(image->IndexChannel.Mask, 0xFF);
    EXPECT_EQ(image->GetPixel(5, 3), static_cast<uint32_t>(d.GetPixel(5, 3)));
    EXPECT_EQ(image->Palette[9].peRed, 9);
    EXPECT_EQ(image->Palette[9].peGreen, 255 - 9);
    EXPECT_EQ(image->Palette[9].peBlue, 0x33);
    // The key is black's nearest index.
    EXPECT_EQ(image->TransparentColor, image->NearestPaletteIndex(0, 0, 0));
  }
  {
    SCOPED_TRACE("a palette picture of another shape becomes RGB");
    TDIB d;
    FillPalette(d, 32, 16);
    const auto image = MakeTextureImageFromDIB(d);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->ImageType, DXTextureImageType_RGBColor);
    EXPECT_EQ(image->BitCount, 24);
    const uint32_t i = static_cast<uint32_t>(d.GetPixel(4, 2));
    EXPECT_EQ(image->GetPixel(4, 2), i << 16 | (255 - i) << 8 | 0x33);
  }
  {
    SCOPED_TRACE("a palette picture with a separate alpha picture");
    TDIB color, alpha, original;
    FillPalette(color, 16, 16);
    Fill32(alpha, 16, 16, true);
    Fill32(original, 16, 16, true);
    alpha.ConvertBitCount(24);
    TDXTBase builder;
    builder.SetColorDIB(color);
    builder.SetAlphaDIB(alpha);
    const auto image = builder.Build();
    EXPECT_EQ(image->ImageType, DXTextureImageType_PaletteIndexedColor);
    EXPECT_EQ(image->BitCount, 16);
    EXPECT_EQ(image->IndexChannel.Mask, 0xFF);
    EXPECT_EQ(image->AlphaIndexChannel.Mask, 0xFF00);
    const uint32_t p = static_cast<uint32_t>(original.GetPixel(6, 5));
    const uint32_t lum =
        (306 * ((p >> 16) & 0xFF) + 602 * ((p >> 8) & 0xFF) + 116 * (p & 0xFF)) >> 10;
    EXPECT_EQ(image->GetPixel(6, 5), lum << 8 | static_cast<uint32_t>(color.GetPixel(6, 5)));
  }
}

// Grey levels weigh red 306, green 602 and blue 116 parts in 1024, rounded
// down. The last two colours sit on a level and just below the next, so any
// weight made larger or smaller moves one of them.
TEST(TextureBuilder, AnAlphaPictureGivesTheGreyLevelOfEachColour) {
  struct TCase {
    uint8_t R, G, B;
    uint32_t Grey;
  };
  const TCase cases[] = {
      {0, 0, 0, 0},    {255, 255, 255, 255}, {255, 0, 0, 76},     {0, 255, 0, 149},
      {0, 0, 255, 28}, {128, 128, 128, 128}, {129, 125, 35, 116}, {129, 58, 162, 90},
  };
  constexpr int32_t kSide = 8;
  TDIB color, alpha;
  color.SetSize(kSide, kSide, 24);
  alpha.SetSize(kSide, kSide, 24);
  for (int32_t i = 0; i < static_cast<int32_t>(std::size(cases)); ++i)
    alpha.SetPixel(i, 0, static_cast<int32_t>(RGB(cases[i].R, cases[i].G, cases[i].B)));
  TDXTBase builder;
  builder.SetColorDIB(color);
  builder.SetAlphaDIB(alpha);
  const auto image = builder.Build();
  ASSERT_EQ(image->ImageType, DXTextureImageType_RGBColor);
  ASSERT_EQ(static_cast<uint32_t>(image->AChannel.Mask), 0xFF000000u);
  for (int32_t i = 0; i < static_cast<int32_t>(std::size(cases)); ++i) {
    const TCase& c = cases[i];
    EXPECT_EQ(image->GetPixel(i, 0) >> 24, c.Grey)
        << int{c.R} << ", " << int{c.G} << ", " << int{c.B};
  }
}

TEST(TextureBuilder, Failures) {
  TDXTBase builder;
  try {
    builder.Build();
    ADD_FAILURE() << "built without a source";
  } catch (const EDXTBaseError& e) {
    EXPECT_EQ(e.Message(), "No image found");
  }
  // An empty picture gives no texture image.
  TDIB empty;
  builder.SetColorDIB(empty);
  EXPECT_THROW(builder.Build(), EDXTBaseError);
  EXPECT_EQ(MakeTextureImageFromDIB(empty), nullptr);
}

TEST(TextureBuilder, ABitmapSeenAsATextureImageSharesItsPixels) {
  {
    SCOPED_TRACE("32 bits: 8-8-8 and alpha above");
    TDIB d;
    Fill32(d, 5, 3, true);
    TDXTextureImage image;
    SetTextureImageFromDIB(image, d);
    EXPECT_EQ(image.ImageType, DXTextureImageType_RGBColor);
    EXPECT_EQ(image.Memory, d.PBits());
    EXPECT_FALSE(image.AutoFreeImage);
    EXPECT_EQ(static_cast<uint32_t>(image.AChannel.Mask), 0xFF000000u);
    EXPECT_EQ(image.GetPixel(4, 2), static_cast<uint32_t>(d.GetPixel(4, 2)));
    EXPECT_EQ(image.GetPixel(1, 0), static_cast<uint32_t>(d.GetPixel(1, 0)));
  }
  {
    SCOPED_TRACE("8 bits: a palette image with the bitmap's colours");
    TDIB d;
    FillPalette(d, 4, 2);
    TDXTextureImage image;
    SetTextureImageFromDIB(image, d);
    EXPECT_EQ(image.ImageType, DXTextureImageType_PaletteIndexedColor);
    EXPECT_TRUE(image.PackedPixelOrder);
    EXPECT_EQ(image.IndexChannel.Mask, 0xFF);
    EXPECT_EQ(image.GetPixel(3, 1), static_cast<uint32_t>(d.GetPixel(3, 1)));
    EXPECT_EQ(image.Palette[200].peRed, 200);
    EXPECT_EQ(image.Palette[200].peGreen, 55);
  }
}

}  // namespace
