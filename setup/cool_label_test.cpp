#include "setup/cool_label.h"

#include <gtest/gtest.h>

#include "platform/gdi/gdi_draw.h"
#include "setup/setup_test_util.h"

using namespace setup_test;

namespace {

class CoolLabel : public ::testing::Test {
 protected:
  void SetUp() override {
    form_ = new TForm(Application);
    form_->SetPaintClientArea(true);
    form_->SetBounds(0, 0, 300, 100);
    form_->SetColor(0xC0C0C0);
    label_ = new TCoolLabel(form_);
    label_->SetParent(form_);
    label_->SetAutoSize(false);
    label_->SetBounds(10, 20, 200, 40);
    label_->SetColor(clWhite);
    label_->Font()->SetHeight(-19);
    label_->Font()->SetColor(0x000080);
    label_->SetCaption("Shadow & Light");
    form_->Show();
    Pump();
  }
  // The label's pixels as the form shows them.
  std::vector<uint32_t> Shown() {
    Pump();
    const THeadlessPicture& p = HeadlessWindowPicture(form_->Handle());
    std::vector<uint32_t> out;
    for (int y = 0; y < label_->Height(); ++y)
      for (int x = 0; x < label_->Width(); ++x)
        out.push_back(p.Pixel(label_->Left() + x, label_->Top() + y));
    return out;
  }
  // Two plain draws of the caption on the label's background.
  std::vector<uint32_t> TwoDraws(TRect Shadow, TColor ShadowColour, TRect Text, TColor TextColour) {
    TBitmap b;
    b.SetSize(label_->Width(), label_->Height());
    HDC dc = b.DC();
    dc->FillSolid(TRect{0, 0, b.Width(), b.Height()}, clWhite);
    dc->Font = label_->Font()->Data();
    dc->BkMode = TRANSPARENT;
    dc->Font.Color = ShadowColour;
    if (ShadowColour != clNone) DrawTextA(dc, label_->Caption(), -1, &Shadow, DT_EXPANDTABS);
    dc->Font.Color = TextColour;
    DrawTextA(dc, label_->Caption(), -1, &Text, DT_EXPANDTABS);
    std::vector<uint32_t> out;
    for (int y = 0; y < b.Height(); ++y)
      for (int x = 0; x < b.Width(); ++x) out.push_back(b.ScanLine(y)[x]);
    return out;
  }

  THeadlessSetup headless_;
  TApplicationScope app_;
  TForm* form_ = nullptr;
  TCoolLabel* label_ = nullptr;
};

TRect Moved(int DX, int DY) {
  return TRect{DX, DY, 200 + DX, 40 + DY};
}

TEST_F(CoolLabel, TheShadowIsTheTextDrawnOnceMoreBesideIt) {
  struct TCase {
    TShadowPosition Pos;
    int Size;
    TRect Shadow, Text;
  };
  const TCase cases[] = {
      {spLeftTop, 2, Moved(0, 0), Moved(2, 2)},     {spLeftBottom, 2, Moved(0, 2), Moved(2, 0)},
      {spRightBottom, 2, Moved(2, 2), Moved(0, 0)}, {spRightTop, 3, Moved(3, 0), Moved(0, 3)},
      {spLeftTop, 0, Moved(0, 0), Moved(0, 0)},     {spRightBottom, 1, Moved(1, 1), Moved(0, 0)},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Pos << " size " << c.Size);
    label_->SetShadowPos(c.Pos);
    label_->SetShadowSize(c.Size);
    label_->SetShadowColor(0x00C000);
    EXPECT_EQ(Shown(), TwoDraws(c.Shadow, 0x00C000, c.Text, 0x000080));
  }
  // Size 0 puts the shadow exactly under the text, which covers it.
  label_->SetShadowSize(0);
  label_->SetShadowPos(spLeftTop);
  EXPECT_EQ(Shown(), TwoDraws(Moved(0, 0), 0x00C000, Moved(0, 0), 0x000080));
}

TEST_F(CoolLabel, ADisabledLabelIsEmbossed) {
  label_->SetEnabled(false);
  EXPECT_EQ(Shown(), TwoDraws(Moved(1, 1), clBtnHighlight, Moved(0, 0), clBtnShadow));
}

TEST_F(CoolLabel, SimpleViewDrawsPlainlyAndShadowSettersSwitchItOff) {
  label_->SetSimpleView(true);
  EXPECT_EQ(Shown(), TwoDraws(Moved(0, 0), clNone, Moved(0, 0), 0x000080));
  label_->SetShadowColor(clRed);
  EXPECT_FALSE(label_->SimpleView());
  label_->SetSimpleView(true);
  label_->SetShadowSize(3);
  EXPECT_FALSE(label_->SimpleView());
  label_->SetSimpleView(true);
  label_->SetShadowPos(spRightTop);
  EXPECT_FALSE(label_->SimpleView());
}

TEST_F(CoolLabel, AutoSizeMeasuresTheTextWithItsShadow) {
  HDC m = MeasureDC();
  m->Font = label_->Font()->Data();
  const int lineHeight = GdiTextMetrics(m->Font).Height;
  const int space = m->TextExtent(" ").cx;
  // "&" marks the space after it, which stays.
  const int text = m->TextExtent("Shadow  Light").cx;
  label_->SetShadowSize(1);
  label_->SetAutoSize(true);
  EXPECT_EQ(label_->Width(), text + 1);
  EXPECT_EQ(label_->Height(), lineHeight + 1);
  // An empty caption measures one space, plainly drawn or not.
  label_->SetCaption("");
  EXPECT_EQ(label_->Width(), space + 1);
  EXPECT_EQ(label_->Height(), lineHeight + 1);
  label_->SetSimpleView(true);
  label_->SetAutoSize(false);
  label_->SetAutoSize(true);
  EXPECT_EQ(label_->Width(), space);
  EXPECT_EQ(label_->Height(), lineHeight);
  // Right alignment keeps the right edge.
  label_->SetCaption("x");
  label_->SetAlignment(taRightJustify);
  int right = label_->Left() + label_->Width();
  label_->SetCaption("a wider caption");
  EXPECT_EQ(label_->Left() + label_->Width(), right);
  // An offset inside a frame ends automatic sizing.
  label_->SetBevelsOffset(4);
  EXPECT_FALSE(label_->AutoSize());
}

TEST_F(CoolLabel, TheGlyphSitsByAlignmentBesideTheCaption) {
  TBitmap glyph;
  glyph.SetSize(16, 16);
  glyph.Canvas()->Brush()->SetColor(0xFF0000);
  glyph.Canvas()->FillRect(TRect{0, 0, 16, 16});
  glyph.Canvas()->SetPixel(0, 15, 0x008080);  // olive: the transparent colour
  label_->SetShadowSize(0);
  label_->SetGlyph(&glyph);
  HDC m = MeasureDC();
  m->Font = label_->Font()->Data();
  const int cw = m->TextExtent(label_->Caption()).cx;
  struct TCase {
    TAlignment Align;
    int GlyphX;
  };
  const TCase cases[] = {
      {taLeftJustify, 0}, {taRightJustify, 200 - cw - 16 - 2}, {taCenter, 100 - (cw + 18) / 2}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Align);
    label_->SetAlignment(c.Align);
    std::vector<uint32_t> px = Shown();
    auto at = [&](int x, int y) { return px[static_cast<size_t>(y * 200 + x)]; };
    EXPECT_EQ(at(c.GlyphX, 0), 0x0000FFu);
    EXPECT_EQ(at(c.GlyphX + 15, 14), 0x0000FFu);
    EXPECT_NE(at(c.GlyphX + 16, 3), 0x0000FFu);
    EXPECT_EQ(at(c.GlyphX, 15), 0xFFFFFFu);  // transparent: the label's colour
    if (c.GlyphX > 0) EXPECT_NE(at(c.GlyphX - 1, 3), 0x0000FFu);
  }
  // The picture's shape sets the slices; the label takes at most two.
  TBitmap three;
  three.SetSize(48, 16);
  label_->SetGlyph(&three);
  EXPECT_EQ(label_->NumGlyphs(), 3);
  label_->SetNumGlyphs(3);
  EXPECT_EQ(label_->NumGlyphs(), 2);
  label_->SetNumGlyphs(1);
  EXPECT_EQ(label_->NumGlyphs(), 1);
}

}  // namespace
