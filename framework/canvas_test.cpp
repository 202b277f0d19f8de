#include "framework/canvas.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(Canvas, FontSizesConvertAtNinetySixDotsPerInch) {
  TFont f;
  struct TCase {
    int Size, Height;
  };
  for (TCase c : {TCase{8, -11}, TCase{10, -13}, TCase{12, -16}, TCase{14, -19}, TCase{16, -21}}) {
    f.SetSize(c.Size);
    EXPECT_EQ(f.Height(), c.Height) << c.Size;
    EXPECT_EQ(f.Size(), c.Size);
  }
}

TEST(Canvas, DrawsThroughItsContextWithPenBrushAndFont) {
  std::vector<uint32_t> px(40 * 20, 0);
  TDeviceContext dc(px.data(), 40, 20, 40 * 4, TGdiPixelFormat::RGB888(32));
  TCanvas c;
  c.SetHandle(&dc);
  int changing = 0;
  c.OnChanging = [&](TObject*) { ++changing; };
  c.Brush()->SetColor(clRed);
  c.FillRect(TRect{0, 0, 4, 4});
  EXPECT_EQ(px[0], 0xFF0000u);
  EXPECT_EQ(px[4], 0u);
  c.Pen()->SetColor(clBlue);
  c.MoveTo(0, 10);
  c.LineTo(10, 10);  // the end point stays undrawn
  EXPECT_EQ(px[10 * 40 + 9], 0x0000FFu);
  EXPECT_EQ(px[10 * 40 + 10], 0u);
  EXPECT_EQ(changing, 2);
  // A clear brush leaves the text's cell as it was.
  c.Brush()->SetStyle(bsClear);
  c.Font()->SetColor(clWhite);
  c.TextOut(20, 0, "i");
  EXPECT_EQ(px[19], 0u);
  EXPECT_GT(c.TextWidth("ii"), c.TextWidth("i"));
  c.SetHandle(nullptr);
  // Without a context text is still measured.
  EXPECT_GT(c.TextHeight("Ag"), 0);
}

}  // namespace
