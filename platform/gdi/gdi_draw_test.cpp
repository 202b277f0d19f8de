#include "platform/gdi/gdi_draw.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct TCanvasBuffer {
  TCanvasBuffer(int W, int H, uint32_t Fill = 0xFFFFFF)
      : Width(W),
        Pixels(static_cast<size_t>(W * H), Fill),
        DC(Pixels.data(), W, H, W * 4, TGdiPixelFormat::RGB888(32)) {
    DC.Font.Height = -16;
  }
  uint32_t At(int X, int Y) const { return Pixels[static_cast<size_t>(Y * Width + X)]; }
  int Width;
  std::vector<uint32_t> Pixels;
  TDeviceContext DC;
};

TEST(DrawText, MeasuresLinesWordsTabsAndPrefixes) {
  TCanvasBuffer b(200, 100);
  HDC dc = &b.DC;
  const int h = GdiTextMetrics(dc->Font).Height;
  const int ave = GdiTextMetrics(dc->Font).AveCharWidth;
  auto measure = [&](const std::string& Text, uint32_t Flags, int Width = 200) {
    TRect r{5, 7, 5 + Width, 100};
    int height = DrawTextA(dc, Text, -1, &r, Flags | DT_CALCRECT);
    EXPECT_EQ(height, r.Bottom - 7) << Text;
    return r;
  };
  TRect one = measure("Hello", 0);
  EXPECT_EQ(one.Left, 5);
  EXPECT_EQ(one.Right, 5 + dc->TextExtent("Hello").cx);
  EXPECT_EQ(one.Bottom, 7 + h);
  EXPECT_EQ(measure("a\nbb\r\nccc", 0).Bottom, 7 + 3 * h);
  EXPECT_EQ(measure("a\nbb", DT_SINGLELINE).Bottom, 7 + h);
  // "&&" shows one "&"; "&x" marks x; without prefixes both stay.
  EXPECT_EQ(measure("A&&B", 0).Right, 5 + dc->TextExtent("A&B").cx);
  EXPECT_EQ(measure("&File", 0).Right, 5 + dc->TextExtent("File").cx);
  EXPECT_EQ(measure("&File", DT_NOPREFIX).Right, 5 + dc->TextExtent("&File").cx);
  // Words wrap to the width; a word wider than the line stands alone.
  const int w = dc->TextExtent("one two").cx;
  TRect wrapped = measure("one two three", DT_WORDBREAK, w);
  EXPECT_EQ(wrapped.Bottom, 7 + 2 * h);
  EXPECT_EQ(measure("unbreakable", DT_WORDBREAK, 10).Bottom, 7 + h);
  // A tab goes to the next stop of eight average characters.
  EXPECT_EQ(measure("a\tb", DT_EXPANDTABS).Right, 5 + 8 * ave + dc->TextExtent("b").cx);
  EXPECT_EQ(measure("", 0).Bottom, 7);
}

TEST(DrawText, AlignsClipsAndUnderlinesTheMarkedCharacter) {
  TCanvasBuffer b(100, 40);
  HDC dc = &b.DC;
  dc->BkMode = TRANSPARENT;
  dc->Font.Color = 0x000000;
  const int w = dc->TextExtent("ab").cx;
  auto inkColumns = [&](int Top, int Bottom) {
    int first = -1, last = -1;
    for (int x = 0; x < 100; ++x)
      for (int y = Top; y < Bottom; ++y)
        if (b.At(x, y) != 0xFFFFFF) {
          if (first < 0) first = x;
          last = x;
        }
    return std::pair{first, last};
  };
  TRect r{0, 0, 100, 20};
  DrawTextA(dc, "ab", -1, &r, DT_RIGHT);
  auto [first, last] = inkColumns(0, 20);
  EXPECT_GE(first, 100 - w);
  EXPECT_LE(last, 99);
  // Clipped to the rectangle unless asked not to.
  std::fill(b.Pixels.begin(), b.Pixels.end(), 0xFFFFFF);
  TRect narrow{0, 0, 4, 20};
  DrawTextA(dc, "WWW", -1, &narrow, 0);
  EXPECT_LE(inkColumns(0, 20).second, 3);
  // The underline of "&a" spans the a's cell just below the baseline.
  std::fill(b.Pixels.begin(), b.Pixels.end(), 0xFFFFFF);
  TRect u{10, 0, 100, 30};
  DrawTextA(dc, "&a", -1, &u, 0);
  const int y = GdiTextMetrics(dc->Font).Ascent + 1;
  for (int x = 10; x < 10 + dc->TextExtent("a").cx; ++x) EXPECT_EQ(b.At(x, y), 0u) << x;
}

TEST(DrawEdge, RingsTakeTheirColoursAndAdjustShrinks) {
  TCanvasBuffer b(10, 10);
  TRect r{0, 0, 10, 10};
  ASSERT_TRUE(DrawEdge(&b.DC, &r, EDGE_SUNKEN, BF_RECT | BF_ADJUST));
  EXPECT_EQ(r, (TRect{2, 2, 8, 8}));
  const uint32_t shadow = 0x808080, highlight = 0xFFFFFF, dark = 0x404040, light = 0xD4D0C8;
  EXPECT_EQ(b.At(0, 0), shadow);  // sunken outer: shadow above and left
  EXPECT_EQ(b.At(9, 5), highlight);
  EXPECT_EQ(b.At(1, 1), dark);  // sunken inner: dark shadow above and left
  EXPECT_EQ(b.At(8, 5), light);
  EXPECT_EQ(b.At(5, 5), 0xFFFFFFu);
  TCanvasBuffer c(10, 10, 0x123456);
  TRect top{0, 0, 10, 10};
  DrawEdge(&c.DC, &top, BDR_RAISEDINNER, BF_TOP);
  EXPECT_EQ(top, (TRect{0, 0, 10, 10}));
  EXPECT_EQ(c.At(4, 0), highlight);
  EXPECT_EQ(c.At(0, 4), 0x123456u);
}

TEST(DrawFocusRect, DotsEveryOtherPixelAndASecondDrawRemovesIt) {
  TCanvasBuffer b(12, 8, 0x336699);
  std::vector<uint32_t> before = b.Pixels;
  DrawFocusRect(&b.DC, TRect{1, 1, 11, 7});
  EXPECT_EQ(b.At(1, 1), 0x336699u ^ 0xFFFFFF);
  EXPECT_EQ(b.At(2, 1), 0x336699u);
  EXPECT_EQ(b.At(5, 4), 0x336699u);
  DrawFocusRect(&b.DC, TRect{1, 1, 11, 7});
  EXPECT_EQ(b.Pixels, before);
}

TEST(RopBlt, CombinesSourceDestinationAndPatternByTheTruthTable) {
  TCanvasBuffer src(2, 1), dst(2, 1);
  src.Pixels = {0xFFFFFF, 0x000000};
  struct TCase {
    uint32_t Rop;
    uint32_t Dest, Expect0, Expect1;
  };
  const TCase cases[] = {
      {SRCCOPY, 0x123456, 0xFFFFFF, 0x000000},
      {SRCAND, 0x123456, 0x123456, 0x000000},
      {SRCPAINT, 0x123456, 0xFFFFFF, 0x123456},
      {SRCINVERT, 0x123456, 0xEDCBA9, 0x123456},
      {NOTSRCCOPY, 0x123456, 0x000000, 0xFFFFFF},
      {PATCOPY, 0x123456, 0x0000FF, 0x0000FF},
      // The brush where the source is white, the destination where black.
      {DSPDxax, 0x123456, 0x0000FF, 0x123456},
      {BLACKNESS, 0x123456, 0, 0},
  };
  for (const TCase& c : cases) {
    dst.Pixels = {c.Dest, c.Dest};
    dst.DC.Brush.Color = 0xFF0000;  // blue as 0x00BBGGRR: 0x0000FF as a pixel
    ASSERT_TRUE(RopBlt(&dst.DC, 0, 0, 2, 1, &src.DC, 0, 0, c.Rop)) << std::hex << c.Rop;
    EXPECT_EQ(dst.At(0, 0), c.Expect0) << std::hex << c.Rop;
    EXPECT_EQ(dst.At(1, 0), c.Expect1) << std::hex << c.Rop;
  }
  // A one-bit source takes the destination's text colour for 0 and its
  // background colour for 1.
  int pitch = 0;
  std::vector<uint8_t> bits = MonochromeMask(src.DC, 0, 0, 2, 1, 0xFFFFFF, pitch);
  EXPECT_EQ(pitch, 4);
  EXPECT_EQ(bits[0], 0x80);
  TDeviceContext mono(bits.data(), 2, 1, pitch, TGdiPixelFormat::Indexed(1), MonochromeTable(), 2);
  dst.DC.Font.Color = 0x0000FF;  // red
  dst.DC.BkColor = 0x00FF00;     // green
  RopBlt(&dst.DC, 0, 0, 2, 1, &mono, 0, 0, SRCCOPY);
  EXPECT_EQ(dst.At(0, 0), 0x00FF00u);
  EXPECT_EQ(dst.At(1, 0), 0xFF0000u);
  // A pattern brush tiles from the device's corner.
  TPatternBrush pattern{2, 1, {0x000000, 0xFFFFFF}};
  TCanvasBuffer wide(4, 1);
  RopBlt(&wide.DC, 0, 0, 4, 1, nullptr, 0, 0, PATCOPY, &pattern);
  EXPECT_EQ(wide.Pixels, (std::vector<uint32_t>{0, 0xFFFFFF, 0, 0xFFFFFF}));
  EXPECT_FALSE(RopBlt(&wide.DC, 0, 0, 4, 1, nullptr, 0, 0, SRCCOPY));
}

TEST(SavedState, OriginAndClipComeBackWithTheRestOfTheState) {
  TCanvasBuffer b(20, 20, 0);
  HDC dc = &b.DC;
  dc->Brush.Color = 0x0000FF;
  int level = SaveDC(dc);
  EXPECT_EQ(level, 1);
  // Logical (0, 0) at the device's (5, 6), drawing limited to 4 x 4 there.
  SetWindowOrgEx(dc, -5, -6, nullptr);
  IntersectClipRect(dc, TRect{0, 0, 4, 4});
  dc->Brush.Color = 0x00FF00;
  dc->FillRect(TRect{-10, -10, 100, 100});
  EXPECT_EQ(b.At(5, 6), 0x00FF00u);
  EXPECT_EQ(b.At(8, 9), 0x00FF00u);
  EXPECT_EQ(b.At(9, 9), 0u);
  EXPECT_EQ(b.At(4, 6), 0u);
  // Moving the origin keeps the clip where it is on the device.
  SaveDC(dc);
  SetWindowOrgEx(dc, -3, -4, nullptr);
  EXPECT_EQ(GetWindowOrg(dc), (TPoint{-3, -4}));
  EXPECT_EQ(dc->ClipRect(), (TRect{2, 2, 6, 6}));
  dc->FillSolid(TRect{0, 0, 3, 3}, 0xFF0000);
  EXPECT_EQ(b.At(5, 6), 0x0000FFu);
  EXPECT_EQ(b.At(4, 6), 0u);
  ASSERT_TRUE(RestoreDC(dc, level));
  EXPECT_EQ(GetWindowOrg(dc), (TPoint{0, 0}));
  EXPECT_EQ(dc->Brush.Color, 0x0000FF);
  EXPECT_EQ(dc->ClipRect(), (TRect{0, 0, 20, 20}));
  dc->FillSolid(TRect{0, 0, 1, 1}, 0xFFFFFF);
  EXPECT_EQ(b.At(0, 0), 0xFFFFFFu);
  EXPECT_FALSE(RestoreDC(dc, 1));
}

}  // namespace
