// The framework's dialog pieces: bitmaps, image lists, painting of forms
// with their controls, focus, mouse capture and disabled windows.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <vector>

#include "framework/bitmap.h"
#include "framework/buttons.h"
#include "framework/comctrls.h"
#include "framework/dialog_test_fixture.h"
#include "framework/forms.h"
#include "framework/imglist.h"
#include "framework/label.h"
#include "framework/sysutils.h"
#include "platform/gdi/gdi_draw.h"
#include "platform/win/clock.h"
#include "platform/win/driver.h"
#include "platform/win/resources.h"
#include "platform/win/vkeys.h"

namespace {

// A control that fills itself with one colour and counts its paints.
class TSwatch : public TCustomControl {
 public:
  TSwatch(TComponent* Owner, TColor C) : TCustomControl(Owner) { SetColor(C); }
  int Paints = 0;

 protected:
  void Paint() override { ++Paints; }
};

TEST_F(DialogControls, AFormPaintsItselfAndItsControlsInOrderClippedToEach) {
  auto* under = new TSwatch(form_, 0x00FF00);  // green
  under->SetParent(form_);
  under->SetBounds(10, 10, 50, 30);
  auto* inner = new TSwatch(form_, 0xFF0000);  // blue, a child of the green one
  inner->SetParent(under);
  inner->SetBounds(40, 20, 30, 30);  // reaches beyond its parent
  auto* over = new TSwatch(form_, 0xFFFFFF);
  over->SetParent(form_);
  over->SetBounds(50, 5, 20, 10);
  form_->Show();
  Application->ProcessMessages();
  EXPECT_EQ(Pixel(5, 5), 0xFF0000u);    // the form (red as a pixel)
  EXPECT_EQ(Pixel(10, 10), 0x00FF00u);  // green
  EXPECT_EQ(Pixel(50, 30), 0x0000FFu);  // blue inside green
  EXPECT_EQ(Pixel(59, 39), 0x0000FFu);
  EXPECT_EQ(Pixel(61, 45), 0xFF0000u);  // the blue part beyond green is cut
  EXPECT_EQ(Pixel(55, 12), 0xFFFFFFu);  // placed later: on top
  EXPECT_EQ(Pixel(55, 16), 0x00FF00u);
  // An invalidation is painted once the loop gets to it.
  int before = inner->Paints;
  inner->Invalidate();
  inner->Invalidate();
  Application->ProcessMessages();
  EXPECT_EQ(inner->Paints, before + 1);
  // Hiding a control shows what was under it.
  over->Hide();
  Application->ProcessMessages();
  EXPECT_EQ(Pixel(55, 12), 0x00FF00u);
}

TEST_F(DialogControls, ButtonsClickByMouseSpaceAndEnterAndDisabledOnesDoNot) {
  int clicks = 0;
  auto* b = new TBitBtn(form_);
  b->SetParent(form_);
  b->SetBounds(10, 10, 60, 25);
  b->SetCaption("Go");
  b->OnClick = [&](TObject*) { ++clicks; };
  auto* other = new TBitBtn(form_);
  other->SetParent(form_);
  other->SetBounds(10, 40, 60, 25);
  form_->Show();
  Application->ProcessMessages();
  Click(20, 20);
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(b->Focused());
  // Pressed on the button but released elsewhere: no click.
  Post(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
  Post(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(100, 70));
  EXPECT_FALSE(b->Down());
  Post(WM_LBUTTONUP, 0, MAKELPARAM(100, 70));
  EXPECT_EQ(clicks, 1);
  for (WORD k : {WORD{VK_SPACE}, WORD{VK_RETURN}}) Post(WM_KEYDOWN, k, 1);
  EXPECT_EQ(clicks, 3);
  Post(WM_KEYDOWN, 'A', 1);
  EXPECT_EQ(clicks, 3);
  b->SetEnabled(false);
  Click(20, 20);
  Post(WM_KEYDOWN, VK_SPACE, 1);
  EXPECT_EQ(clicks, 3);
  // A disabled form passes nothing to its controls.
  b->SetEnabled(true);
  form_->SetEnabled(false);
  Click(20, 20);
  EXPECT_EQ(clicks, 3);
  form_->SetEnabled(true);
  Click(20, 20);
  EXPECT_EQ(clicks, 4);
  // A hint shows once the pointer rests on the button, and goes with it.
  b->SetHint("Press me");
  b->SetShowHint(true);
  Post(WM_MOUSEMOVE, 0, MAKELPARAM(20, 20));
  EXPECT_EQ(form_->ShownHint(), "");
  clock_.Advance(TForm::HintPauseMs + 20);
  Application->ProcessMessages();
  EXPECT_EQ(form_->ShownHint(), "Press me");
  EXPECT_EQ(Pixel(21, 41), 0xFFFFE1u);  // the pale box under the pointer
  Post(WM_MOUSEMOVE, 0, MAKELPARAM(100, 70));
  EXPECT_EQ(form_->ShownHint(), "");
  clock_.Advance(TForm::HintPauseMs + 20);
  Application->ProcessMessages();
  EXPECT_EQ(form_->ShownHint(), "");
}

TEST_F(DialogControls, TheMouseStaysWithTheControlItWasPressedOn) {
  std::vector<std::pair<int, int>> moves;
  auto* c = new TSwatch(form_, clWhite);
  c->SetParent(form_);
  c->SetBounds(10, 10, 20, 20);
  c->OnMouseMove = [&](TObject*, TShiftState, int X, int Y) { moves.emplace_back(X, Y); };
  form_->Show();
  Post(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(15, 15));
  Post(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(100, 5));  // outside, still captured
  Post(WM_LBUTTONUP, 0, MAKELPARAM(100, 5));
  Post(WM_MOUSEMOVE, 0, MAKELPARAM(100, 6));  // released: not any more
  EXPECT_EQ(moves, (std::vector<std::pair<int, int>>{{90, -5}}));
}

TEST_F(DialogControls, TabsShowOnePageAtATimeAndADisabledTabControlKeepsItsPage) {
  auto* pc = new TPageControl(form_);
  pc->SetParent(form_);
  pc->SetBounds(0, 0, 120, 80);
  auto* a = new TTabSheet(form_);
  a->SetCaption("A");
  a->SetPageControl(pc);
  auto* b = new TTabSheet(form_);
  b->SetCaption("B");
  b->SetPageControl(pc);
  form_->Show();
  Application->ProcessMessages();
  EXPECT_EQ(pc->ActivePage(), a);
  EXPECT_TRUE(a->Visible());
  EXPECT_FALSE(b->Visible());
  EXPECT_EQ(a->BoundsRect(), (TRect{4, TPageControl::TabHeight + 4, 116, 76}));
  TRect tab = pc->TabRect(1);
  Click((tab.Left + tab.Right) / 2, (tab.Top + tab.Bottom) / 2);
  EXPECT_EQ(pc->ActivePage(), b);
  pc->SetEnabled(false);
  tab = pc->TabRect(0);
  Click((tab.Left + tab.Right) / 2, (tab.Top + tab.Bottom) / 2);
  EXPECT_EQ(pc->ActivePage(), b);
  delete b;
  EXPECT_EQ(pc->PageCount(), 1);
  EXPECT_EQ(pc->ActivePage(), a);
}

TEST(Bitmap, SavesAndLoadsEveryDepthAndRefusesBadDataKeepingItsPicture) {
  for (TPixelFormat f : {pf1bit, pf4bit, pf8bit, pf24bit, pf32bit}) {
    SCOPED_TRACE(f);
    TBitmap b;
    b.SetSize(5, 3);
    b.SetPixelFormat(f);
    if (f == pf8bit) b.SetColorTable(StandardColorTable16());
    b.ScanLine(0)[0] = 0xFFFFFF;
    b.ScanLine(2)[4] = f == pf1bit ? 0xFFFFFF : 0x808000;
    TMemoryStream s;
    b.SaveToStream(s);
    s.SetPosition(0);
    TBitmap c;
    c.LoadFromStream(s);
    EXPECT_EQ(c.Width(), 5);
    EXPECT_EQ(c.Height(), 3);
    EXPECT_EQ(c.PixelFormat(), f);
    EXPECT_EQ(c.ScanLine(0)[0], 0xFFFFFFu);
    EXPECT_EQ(c.ScanLine(2)[4], b.ScanLine(2)[4]);
    EXPECT_EQ(c.ScanLine(1)[1], 0u);
    // The bottom-left pixel gives the transparent colour until one is set.
    EXPECT_EQ(c.TransparentColor(), 0);
    c.SetTransparentColor(clWhite);
    EXPECT_EQ(c.TransparentMode(), tmFixed);
    EXPECT_EQ(c.TransparentColor(), clWhite);
    // Cut anywhere, the data is refused and the picture stays.
    std::vector<uint8_t> bytes = s.Bytes();
    for (size_t cut : {size_t{0}, size_t{13}, size_t{30}, bytes.size() - 1}) {
      TMemoryStream t(std::vector<uint8_t>(bytes.begin(), bytes.begin() + cut));
      EXPECT_THROW(c.LoadFromStream(t), EInvalidGraphic) << cut;
      EXPECT_EQ(c.Width(), 5);
    }
  }
}

TEST(Bitmap, MonochromeKeepsTheBrushColourAsWhiteAndResourcesLoadByName) {
  TBitmap b;
  b.SetSize(3, 1);
  b.ScanLine(0)[0] = 0x000000;
  b.ScanLine(0)[1] = 0x808080;
  b.ScanLine(0)[2] = 0xFFFFFF;
  b.Canvas()->Brush()->SetColor(clBlack);
  b.SetMonochrome(true);
  EXPECT_EQ(std::vector<uint32_t>(b.ScanLine(0), b.ScanLine(0) + 3),
            (std::vector<uint32_t>{0xFFFFFF, 0, 0}));
  EXPECT_THROW(b.LoadFromResourceName("NO_SUCH_PICTURE"), Exception);
  TMemoryStream s;
  b.SaveToStream(s);
  static std::vector<uint8_t> keep;
  keep = s.Bytes();
  RegisterResource("a_test_picture", keep.data(), keep.size());
  TBitmap c;
  c.LoadFromResourceName("A_TEST_PICTURE");
  EXPECT_EQ(c.Width(), 3);
}

TEST(ImageList, MasksTheGivenColourAndDrawsBlendedOrOnABackground) {
  TCustomImageList list(2, 1);
  TBitmap b;
  b.SetSize(2, 1);
  b.ScanLine(0)[0] = 0x808000;  // olive: masked
  b.ScanLine(0)[1] = 0x0000FF;
  EXPECT_EQ(list.AddMasked(&b, 0x008080), 0);
  EXPECT_EQ(list.AddMasked(&b, clDefault), 1);  // the picture's own: bottom-left
  TBitmap target;
  target.SetSize(2, 1);
  target.Canvas()->Brush()->SetColor(clWhite);
  target.Canvas()->FillRect(TRect{0, 0, 2, 1});
  list.DrawEx(target.Canvas(), 0, 0, 0, true, clNone);
  EXPECT_EQ(target.ScanLine(0)[0], 0xFFFFFFu);
  EXPECT_EQ(target.ScanLine(0)[1], 0x0000FFu);
  target.ScanLine(0)[1] = 0xFFFFFF;
  list.DrawEx(target.Canvas(), 0, 0, 1, true, clBlack);  // half and half
  EXPECT_EQ(target.ScanLine(0)[1], 0x7F7FFFu);
  list.DrawEx(target.Canvas(), 0, 0, 0, false, 0x00FF00);
  EXPECT_EQ(target.ScanLine(0)[0], 0x00FF00u);
  list.Delete(0);
  EXPECT_EQ(list.Count(), 1);
  EXPECT_THROW(list.Delete(5), EInvalidOperation);
}

}  // namespace
