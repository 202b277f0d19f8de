#include "setup/cool_trackbar.h"

#include <gtest/gtest.h>

#include "platform/gdi/gdi_draw.h"
#include "platform/win/vkeys.h"
#include "setup/setup_test_util.h"

using namespace setup_test;

namespace {

// A bar on a shown form, as the dialog holds them.
class TrackBar : public ::testing::Test {
 protected:
  void SetUp() override {
    form_ = new TForm(Application);
    form_->SetPaintClientArea(true);
    form_->SetBounds(0, 0, 400, 100);
    form_->SetColor(0xC0C0C0);
    bar_ = new TCoolTrackBar(form_);
    bar_->SetParent(form_);
    bar_->SetBounds(20, 30, 337, 25);
    bar_->SetMaxValue(100);
    bar_->SetPosition(50);
    bar_->OnChange = [this](TObject*) { changes_.push_back(bar_->Position()); };
    form_->Show();
    Pump();
  }
  const THeadlessPicture& Picture() { return HeadlessWindowPicture(form_->Handle()); }
  // The bar's own pixel, as last shown.
  uint32_t Pixel(int X, int Y) {
    TPoint p = bar_->ClientToWindow(TPoint{X, Y});
    return Picture().Pixel(p.X, p.Y);
  }
  void Press(int X, int Y) {
    TPoint p = bar_->ClientToWindow(TPoint{X, Y});
    Post(form_->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.X, p.Y));
  }
  void Move(int X, int Y) {
    TPoint p = bar_->ClientToWindow(TPoint{X, Y});
    Post(form_->Handle(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(p.X, p.Y));
  }
  void Release(int X, int Y) {
    TPoint p = bar_->ClientToWindow(TPoint{X, Y});
    Post(form_->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(p.X, p.Y));
  }

  THeadlessSetup headless_;
  TApplicationScope app_;
  TForm* form_ = nullptr;
  TCoolTrackBar* bar_ = nullptr;
  std::vector<int> changes_;
};

TEST_F(TrackBar, ThumbAndTicksSitWhereTheScaleSays) {
  EXPECT_EQ(bar_->ThumbRect().Left, 164);
  EXPECT_EQ(bar_->ThumbRect().Right, 173);
  EXPECT_EQ(bar_->ThumbRect().Top, 2);
  EXPECT_EQ(bar_->ThumbRect().Height(), 20);

  // Ticks of a 0..10 bar 297 pixels wide, tall enough to show them.
  bar_->SetBounds(20, 20, 297, 60);
  bar_->SetMaxValue(10);
  bar_->SetPosition(0);
  Pump();
  const int bottom = bar_->BarRect().Bottom;
  std::vector<int> ticks;
  for (int x = 0; x < bar_->Width(); ++x)
    if (Pixel(x, bottom + 9) == 0) ticks.push_back(x);
  EXPECT_EQ(ticks, (std::vector<int>{10, 37, 65, 93, 120, 148, 176, 203, 231, 259, 287}));
  // Each tick is four pixels long.
  EXPECT_EQ(Pixel(37, bottom + 8), 0u);
  EXPECT_EQ(Pixel(37, bottom + 11), 0u);
  EXPECT_NE(Pixel(37, bottom + 12), 0u);
  EXPECT_NE(Pixel(37, bottom + 7), 0u);
}

TEST_F(TrackBar, PositionIsClampedAndEveryChangeIsTold) {
  bar_->SetMaxValue(10);
  bar_->SetPosition(10);
  changes_.clear();
  bar_->SetPosition(11);  // clamps back to what it was, and still tells
  EXPECT_EQ(bar_->Position(), 10);
  EXPECT_EQ(changes_, std::vector<int>{10});
  bar_->SetPosition(10);  // the same value: nothing
  EXPECT_EQ(changes_.size(), 1u);
  bar_->SetPosition(-5);
  EXPECT_EQ(bar_->Position(), 0);
  // Narrowing the range moves the position without telling.
  bar_->SetPosition(8);
  changes_.clear();
  bar_->SetMaxValue(5);
  EXPECT_EQ(bar_->Position(), 5);
  bar_->SetMinValue(9);  // above the maximum: becomes it
  EXPECT_EQ(bar_->MinValue(), 5);
  EXPECT_TRUE(changes_.empty());
}

TEST_F(TrackBar, KeysMoveTheValue) {
  struct TCase {
    int From;
    WORD Key;
    int To;
    bool Told;
  };
  const TCase cases[] = {
      {0, VK_PRIOR, 0, true},  // asks for -1, clamped, told all the same
      {5, VK_PRIOR, 2, true},  // page size 3
      {5, VK_NEXT, 8, true},  {9, VK_NEXT, 10, true},    {5, VK_HOME, 0, true},
      {5, VK_END, 10, true},  {0, VK_LEFT, 0, false},  // already at the minimum: nothing asked
      {5, VK_LEFT, 4, true},  {5, VK_UP, 4, true},       {5, VK_RIGHT, 6, true},
      {5, VK_DOWN, 6, true},  {10, VK_RIGHT, 10, false},
  };
  bar_->SetMaxValue(10);
  bar_->SetPageSize(3);
  bar_->SetFocus();
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.From << " key " << c.Key);
    bar_->SetPosition(c.From);
    changes_.clear();
    Key(form_, c.Key);
    EXPECT_EQ(bar_->Position(), c.To);
    EXPECT_EQ(!changes_.empty(), c.Told);
  }
  EXPECT_EQ(bar_->Perform(WM_GETDLGCODE, 0, 0), DLGC_WANTARROWS);
}

TEST_F(TrackBar, ClicksBesideTheThumbStepAndClicksLevelWithItDoNot) {
  struct TCase {
    int X, Y, To;
  };
  // The thumb spans 164..172 across and 2..21 down, at 50.
  const TCase cases[] = {
      {300, 12, 51}, {20, 12, 49}, {173, 12, 50}, {168, 0, 50}, {168, 23, 50}, {174, 1, 51},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.X << "," << c.Y);
    bar_->SetPosition(50);
    Press(c.X, c.Y);
    Release(c.X, c.Y);
    EXPECT_EQ(bar_->Position(), c.To);
    EXPECT_FALSE(bar_->Dragging());
  }
  EXPECT_TRUE(bar_->Focused());
}

TEST_F(TrackBar, DraggingPullsByThePointersDistanceRoundedHalvesToEven) {
  // 0..10 over 297 - 20 = 277 pixels: 10/277 values per pixel.
  bar_->SetBounds(20, 30, 297, 25);
  bar_->SetMaxValue(10);
  bar_->SetPosition(5);
  Pump();
  const TRect t = bar_->ThumbRect();  // centre 148
  Press(t.Left + 2, 10);
  EXPECT_TRUE(bar_->Dragging());
  // The chequered thumb shows while dragging.
  EXPECT_EQ(Pixel(t.Left + 3, t.Top + 3), 0xFFFFFFu);
  // 41.55 pixels is exactly 1.5 values: rounds to 2; 13.85 is 0.5: to 0.
  const int centre = t.Left + t.Width() / 2;
  Move(centre + 14, 10);  // 14 px = 0.505 values -> 1
  EXPECT_EQ(bar_->Position(), 6);
  const int c2 = bar_->ThumbRect().Left + bar_->ThumbRect().Width() / 2;
  Move(c2 - 97, 10);  // -3.50 values -> -4 (to even)
  EXPECT_EQ(bar_->Position(), 2);
  Move(-500, 10);  // far outside: clamped, still captured
  EXPECT_EQ(bar_->Position(), 0);
  Release(-500, 10);
  EXPECT_FALSE(bar_->Dragging());
  Move(250, 10);
  EXPECT_EQ(bar_->Position(), 0);
}

TEST_F(TrackBar, TallerThanWideTurnsVerticalWithItsOwnThumb) {
  bar_->SetBounds(20, 0, 30, 100);
  EXPECT_EQ(bar_->Orientation(), toVertical);
  EXPECT_EQ(bar_->Thumb()->Width(), 20);
  EXPECT_EQ(bar_->Thumb()->Height(), 9);
  bar_->SetBounds(20, 0, 100, 30);
  EXPECT_EQ(bar_->Orientation(), toHorizontal);
  EXPECT_EQ(bar_->Thumb()->Width(), 9);
}

TEST_F(TrackBar, ThumbPixelsFollowTheTableAndADisabledBarShowsTheChequeredOne) {
  // Rows of the built-in thumbs (o olive is transparent: the bar's face or
  // the bar shows through).
  const char* normal[] = {"WWWWWWWWk", "Wssssssgk", "Wssssssgk", "Wssssssgk",
                          "oWssssgko", "ooWssgkoo", "oooWgkooo", "ooookoooo"};
  const char* chequered[] = {"WWWWWWWWk", "Wssssssgk", "WssWsWsgk", "WsWsWsWgk",
                             "oWsWsWgko", "ooWsWgkoo", "oooWgkooo", "ooookoooo"};
  const int rows[] = {1, 2, 3, 4, 15, 16, 17, 18};
  auto colour = [](char c) -> uint32_t {
    switch (c) {
      case 'W':
        return 0xFFFFFF;
      case 's':
        return 0xC0C0C0;
      case 'g':
        return 0x808080;
      default:
        return 0;
    }
  };
  auto check = [&](const char* const* table) {
    const TRect t = bar_->ThumbRect();
    for (int i = 0; i < 8; ++i)
      for (int x = 0; x < 9; ++x) {
        char c = table[i][x];
        if (c == 'o') {
          EXPECT_NE(Pixel(t.Left + x, t.Top + rows[i]), 0x808000u);
          continue;
        }
        EXPECT_EQ(Pixel(t.Left + x, t.Top + rows[i]), colour(c))
            << "row " << rows[i] << " column " << x;
      }
  };
  check(normal);
  // Whatever the paint options say.
  bar_->SetPaintOptions(AllPaintOptions & ~PaintOption(poDrawThumbStates));
  bar_->SetEnabled(false);
  Pump();
  check(chequered);
  bar_->SetEnabled(true);
  Pump();
  check(normal);
}

TEST_F(TrackBar, AnEmptyScaleDrawsOneTickAndDragsNothing) {
  struct TCase {
    int Width, Height, Min, Max;
  };
  for (const TCase& c : {TCase{200, 60, 5, 5}, TCase{20, 20, 0, 10}, TCase{12, 12, 0, 10}}) {
    SCOPED_TRACE(testing::Message() << c.Width << " " << c.Min << ".." << c.Max);
    bar_->SetBounds(20, 20, c.Width, c.Height);
    ASSERT_EQ(bar_->Orientation(), toHorizontal);
    bar_->SetMinValue(-100);
    bar_->SetMaxValue(c.Max);
    bar_->SetMinValue(c.Min);
    bar_->SetPosition(c.Min);
    Pump();
    const TRect t = bar_->ThumbRect();
    EXPECT_EQ(t.Left + t.Width() / 2, TCoolTrackBar::BarMargin);
    int ticks = 0;
    for (int x = 0; x < bar_->Width(); ++x)
      if (Pixel(x, bar_->BarRect().Bottom + 9) == 0) ++ticks;
    EXPECT_LE(ticks, 1);
    changes_.clear();
    Press(t.Left + 1, t.Top + 5);
    Move(t.Left + 40, t.Top + 5);
    Release(t.Left + 40, t.Top + 5);
    EXPECT_TRUE(changes_.empty());
  }
}

TEST_F(TrackBar, WallpaperAndBevelsAndFocus) {
  TBitmap paper;
  paper.SetSize(4, 4);
  paper.Canvas()->Brush()->SetColor(0x0000FF);
  paper.Canvas()->FillRect(TRect{0, 0, 4, 4});
  bar_->SetWallpaper(&paper);
  bar_->SetOptions(CoolOption(ocPaintWallpaper) | CoolOption(ocTileWallpaper));
  bar_->SetBevelInner(bvLowered);
  bar_->SetBevelOuter(bvRaised);
  bar_->SetFocus();
  Pump();
  EXPECT_EQ(Pixel(5, 3), 0xFF0000u);  // wallpaper where nothing else is drawn
  // The raised outer bevel's light top-left corner.
  EXPECT_EQ(Pixel(0, 0), static_cast<uint32_t>(0xD4D0C8));
  // A store's wallpaper comes before the own one.
  TCoolImages store(nullptr);
  store.Bitmaps()->Add()->Bitmap()->SetSize(2, 2);
  store.Bitmaps()->Items(0)->Bitmap()->Canvas()->Brush()->SetColor(0x00FF00);
  store.Bitmaps()->Items(0)->Bitmap()->Canvas()->FillRect(TRect{0, 0, 2, 2});
  bar_->SetCoolImages(&store);
  bar_->SetIdWallpaper(0);
  Pump();
  EXPECT_EQ(Pixel(5, 3), 0x00FF00u);
}

}  // namespace
