#include "platform/gdi/gdi.h"

#include "platform/gdi/gdi_fontres.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(GdiPixelFormat, PackAndUnpackKeepTopBitsAndWidenToFullIntensity) {
  struct TCase {
    TGdiPixelFormat Format;
    uint8_t R, G, B;
    uint32_t Pixel;
    uint8_t UR, UG, UB;  // what the pixel reads back as
  };
  const TCase cases[] = {
      {TGdiPixelFormat::RGB565(), 255, 255, 255, 0xFFFF, 255, 255, 255},
      {TGdiPixelFormat::RGB565(), 8, 4, 8, 0x0821, 9, 5, 9},
      {TGdiPixelFormat::RGB565(), 144, 130, 144, 0x9412, 146, 160, 146},
      {TGdiPixelFormat::RGB555(), 255, 0, 0, 0x7C00, 255, 0, 0},
      {TGdiPixelFormat{16}, 255, 0, 0, 0x7C00, 255, 0, 0},  // default 16-bit masks are 5-5-5
      {TGdiPixelFormat::RGB888(32), 1, 2, 3, 0x010203, 1, 2, 3},
      // Masks wherever they sit: blue on top, channels wider than a byte,
      // a missing channel.
      {TGdiPixelFormat::Masks(32, 0x0000FF, 0x00FF00, 0xFF0000), 1, 2, 3, 0x030201, 1, 2, 3},
      {TGdiPixelFormat::Masks(32, 0x3FF00000, 0x000FFC00, 0x000003FF), 255, 1, 128, 0x3FC01200, 255,
       1, 128},
      {TGdiPixelFormat::Masks(16, 0x001F, 0x07E0, 0x0000), 255, 255, 255, 0x07FF, 255, 255, 0},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(c.Format.Pack(c.R, c.G, c.B), c.Pixel);
    uint8_t r, g, b;
    c.Format.Unpack(c.Pixel, r, g, b);
    EXPECT_EQ((std::vector<int>{r, g, b}), (std::vector<int>{c.UR, c.UG, c.UB}))
        << std::hex << c.Pixel;
  }
}

TEST(GdiDeviceContext, PixelsAtEveryDepthStayInsideTheirBits) {
  // One byte row holds 8 one-bit or 2 four-bit pixels; writing one must keep
  // its neighbours.
  uint8_t row1[4] = {0, 0, 0, 0};
  TDeviceContext one(row1, 8, 1, 4, TGdiPixelFormat::Indexed(1));
  one.SetRawPixel(0, 0, 1);
  EXPECT_EQ(row1[0], 0x80);
  EXPECT_EQ(one.GetRawPixel(0, 0), 1u);
  one.SetRawPixel(0, 0, 0);
  EXPECT_EQ(row1[0], 0x00);

  uint8_t row4[4] = {0xAB, 0, 0, 0};
  TDeviceContext four(row4, 2, 1, 4, TGdiPixelFormat::Indexed(4));
  four.SetRawPixel(1, 0, 0x5);
  EXPECT_EQ(row4[0], 0xA5);
  EXPECT_EQ(four.GetRawPixel(0, 0), 0xAu);
  // Outside reads 0 and writes nothing.
  EXPECT_EQ(four.GetRawPixel(2, 0), 0u);
  four.SetRawPixel(-1, 0, 0xF);
  EXPECT_EQ(row4[0], 0xA5);
}

TEST(GdiDeviceContext, IndexedContextsTakeTheNearestEntry) {
  RGBQUAD table[3] = {{0, 0, 0, 0}, {0, 0, 200, 0}, {250, 250, 250, 0}};
  uint8_t px[4] = {};
  TDeviceContext dc(px, 4, 1, 4, TGdiPixelFormat::Indexed(8), table, 3);
  EXPECT_EQ(dc.ColorToPixel(RGB(255, 0, 0)), 1u);
  EXPECT_EQ(dc.ColorToPixel(clWhite), 2u);
  EXPECT_EQ(dc.ColorToPixel(RGB(10, 10, 10)), 0u);
}

TEST(GdiDeviceContext, StretchBltConvertsAndMirrors) {
  // A 2 x 1 8-bit source (red, blue) into a 4 x 1 16-bit destination.
  RGBQUAD table[2] = {{0, 0, 255, 0}, {255, 0, 0, 0}};
  uint8_t src[4] = {0, 1, 0, 0};
  TDeviceContext s(src, 2, 1, 4, TGdiPixelFormat::Indexed(8), table, 2);
  uint16_t dst[4] = {};
  TDeviceContext d(dst, 4, 1, 8, TGdiPixelFormat::RGB565());
  ASSERT_TRUE(d.StretchBlt(TRect{0, 0, 4, 1}, s, TRect{0, 0, 2, 1}));
  EXPECT_EQ((std::vector<uint16_t>(dst, dst + 4)),
            (std::vector<uint16_t>{0xF800, 0xF800, 0x001F, 0x001F}));
  ASSERT_TRUE(d.StretchBlt(TRect{4, 0, 0, 1}, s, TRect{0, 0, 2, 1}));
  EXPECT_EQ((std::vector<uint16_t>(dst, dst + 4)),
            (std::vector<uint16_t>{0x001F, 0x001F, 0xF800, 0xF800}));
}

TEST(GdiText, TextChangesPixelsInsideItsBoxAndNoneOutside) {
  const int W = 120, H = 40;
  std::vector<uint16_t> px(W * H, 0);
  TDeviceContext dc(px.data(), W, H, W * 2, TGdiPixelFormat::RGB565());
  dc.Font.Name = "Impact";
  dc.Font.Height = -13;
  dc.Font.Color = RGB(0, 255, 0);
  dc.BkMode = TRANSPARENT;
  const int X = 10, Y = 8;
  TSize ext = dc.TextExtent("Vers. 1.2");
  ASSERT_GT(ext.cx, 20);
  ASSERT_GT(ext.cy, 10);
  dc.TextOut(X, Y, "Vers. 1.2");
  int inside = 0, outside = 0;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      bool in = x >= X && x < X + ext.cx && y >= Y && y < Y + ext.cy;
      if (px[static_cast<size_t>(y * W + x)] != 0) (in ? inside : outside)++;
    }
  EXPECT_GT(inside, 20);
  EXPECT_EQ(outside, 0);
  // Only green was drawn.
  for (uint16_t p : px) EXPECT_EQ(p & 0xF81F, 0);
}

TEST(GdiText, FamiliesResolveToInstalledFaces) {
  for (const char* name : {"MS Sans Serif", "Arial", "Times New Roman", "Courier New", "Impact"})
    EXPECT_FALSE(GdiResolveFontFile(name, 0).empty()) << name;
  EXPECT_NE(GdiResolveFontFile("Arial", 0), GdiResolveFontFile("Arial", fsBold));
}

// Text is in code page 1251: the byte C5 is the Cyrillic capital Ie, drawn
// like the Latin E (and not as the ring-topped A the byte is in Latin-1).
TEST(GdiText, CodePageBytesDrawTheirCyrillicLetters) {
  auto draw = [](const std::string& Text) {
    const int W = 40, H = 30;
    std::vector<uint16_t> px(W * H, 0);
    TDeviceContext dc(px.data(), W, H, W * 2, TGdiPixelFormat::RGB565());
    dc.Font.Name = "Arial";
    dc.Font.Height = -20;
    dc.Font.Color = RGB(255, 255, 255);
    dc.BkMode = TRANSPARENT;
    dc.TextOut(4, 2, Text);
    return px;
  };
  EXPECT_EQ(draw("\xC5"), draw("E"));
  EXPECT_NE(draw("\xC6"), draw("E"));
}

TEST(GdiText, FontFilesAddedAndRemoved) {
  const std::string file = GdiResolveFontFile("Arial", 0);
  ASSERT_FALSE(file.empty());
  EXPECT_EQ(AddFontResourceA("/nonexistent/font.ttf"), 0);
  EXPECT_EQ(AddFontResourceA(file.c_str()), 1);
  EXPECT_TRUE(RemoveFontResourceA(file.c_str()));
  EXPECT_FALSE(RemoveFontResourceA(file.c_str()));
  EXPECT_FALSE(GdiResolveFontFile("Arial", 0).empty());
}

}  // namespace
