#include "setup/glyphs.h"

#include <gtest/gtest.h>

#include "platform/gdi/gdi_draw.h"
#include "setup/setup_test_util.h"

using namespace setup_test;

namespace {

std::unique_ptr<TBitmap> Picture(int W, int H, TColor Fill) {
  auto b = std::make_unique<TBitmap>();
  b->SetSize(W, H);
  b->Canvas()->Brush()->SetColor(Fill);
  b->Canvas()->FillRect(TRect{0, 0, W, H});
  return b;
}

TEST(Glyph, ThePicturesShapeSetsTheNumberOfSlices) {
  struct TCase {
    int W, H, Before, After;
  };
  const TCase cases[] = {
      {32, 16, 1, 2}, {16, 16, 3, 1},
      {64, 16, 1, 4}, {100, 16, 3, 3},  // not a whole number of squares: kept
      {80, 16, 3, 1},                   // five slices are too many: one
      {0, 16, 3, 3},                    // no width: kept, so no slice is ever zero
      {8, 16, 2, 2},                    // narrower than tall: kept
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.W << "x" << c.H);
    TGlyph g;
    g.SetNumGlyphs(c.Before);
    auto b = Picture(c.W, c.H, clRed);
    g.SetGlyph(b.get());
    EXPECT_EQ(g.NumGlyphs(), c.After);
    if (c.W == 0) {
      EXPECT_EQ(g.CreateImage(true), -1);
      EXPECT_EQ(g.CreateImage(false), -1);
    }
  }
}

TEST(Glyph, GlyphsOfOneSliceSizeShareAListThatGoesWithTheLast) {
  ASSERT_EQ(GlyphCache, nullptr);
  {
    auto a = std::make_unique<TGlyph>();
    auto b = std::make_unique<TGlyph>();
    auto one = Picture(16, 16, clRed);
    auto two = Picture(32, 16, clBlue);
    a->SetGlyph(one.get());
    b->SetGlyph(two.get());  // two slices of 16 x 16
    EXPECT_GE(a->CreateImage(true), 0);
    EXPECT_GE(b->CreateImage(true), 0);
    EXPECT_GE(b->CreateImage(false), 0);
    ASSERT_NE(a->List(), nullptr);
    EXPECT_EQ(a->List(), b->List());
    EXPECT_EQ(GlyphCache->ListCount(), 1);
    EXPECT_EQ(a->List()->UsedCount(), 3);
    a.reset();
    EXPECT_EQ(GlyphCache->ListCount(), 1);
    EXPECT_EQ(b->List()->UsedCount(), 2);
    b.reset();
  }
  EXPECT_EQ(GlyphCache, nullptr);
}

TEST(Glyph, AFreedSlotIsTakenAgainBeforeTheListGrows) {
  TGlyphList list(4, 4);
  auto p = Picture(4, 4, clRed);
  EXPECT_EQ(list.AddMasked(p.get(), clNone), 0);
  EXPECT_EQ(list.AddMasked(p.get(), clNone), 1);
  list.Delete(0);
  list.Delete(0);  // a free slot is not released twice
  EXPECT_EQ(list.UsedCount(), 1);
  EXPECT_EQ(list.AddMasked(p.get(), clNone), 0);
  EXPECT_EQ(list.Count(), 2);
}

TEST(Glyph, TheDisabledImageIsMadeOnceAndEmbossedUntilThePictureChanges) {
  TGlyph g;
  // A black cross on olive (the transparent colour, bottom-left).
  auto b = Picture(8, 8, 0x008080);
  for (int i = 1; i < 7; ++i) {
    b->ScanLine(4)[i] = 0;
    b->ScanLine(i)[4] = 0;
  }
  g.SetGlyph(b.get());
  int first = g.CreateImage(false);
  ASSERT_GE(first, 0);
  EXPECT_EQ(g.CreateImage(false), first);
  TGlyphList* list = g.List();
  bool shows;
  // The cross in shadow, its light copy one pixel right and down, the face
  // (the mask's colour) left out.
  EXPECT_EQ(list->ImagePixel(first, 2, 4, &shows), 0x808080u);
  EXPECT_TRUE(shows);
  EXPECT_EQ(list->ImagePixel(first, 6, 5, &shows), 0xFFFFFFu);
  EXPECT_TRUE(shows);
  list->ImagePixel(first, 1, 1, &shows);
  EXPECT_FALSE(shows);
  // Enabled: the picture itself with olive masked out.
  int enabled = g.CreateImage(true);
  EXPECT_EQ(list->ImagePixel(enabled, 4, 2, &shows), 0u);
  EXPECT_TRUE(shows);
  list->ImagePixel(enabled, 0, 0, &shows);
  EXPECT_FALSE(shows);
  // A change of the picture drops the images.
  b->ScanLine(0)[0] = 0xFF0000;
  g.SetGlyph(b.get());
  EXPECT_EQ(g.ImageIndex(false), -1);
  EXPECT_EQ(g.ImageIndex(true), -1);
}

TEST(Glyph, TwoSlicesRecolourTheSecondForTheDisabledImage) {
  TGlyph g;
  auto b = Picture(16, 8, 0x008080);
  b->ScanLine(2)[8 + 2] = 0xFFFFFF;  // white -> highlight
  b->ScanLine(3)[8 + 3] = 0x808080;  // grey -> shadow
  b->ScanLine(4)[8 + 4] = 0x0000FF;  // others stay
  g.SetGlyph(b.get());
  ASSERT_EQ(g.NumGlyphs(), 2);
  int i = g.CreateImage(false);
  TGlyphList* list = g.List();
  EXPECT_EQ(list->ImagePixel(i, 2, 2), static_cast<uint32_t>(0xFFFFFF));
  EXPECT_EQ(list->ImagePixel(i, 3, 3), static_cast<uint32_t>(0x808080));
  EXPECT_EQ(list->ImagePixel(i, 4, 4), static_cast<uint32_t>(0x0000FF));
  bool shows;
  list->ImagePixel(i, 0, 0, &shows);
  EXPECT_FALSE(shows);  // the transparent colour became the face, masked out
}

TEST(Wallpaper, TilesFromTheCornerToTheEdges) {
  auto paper = Picture(10, 10, 0x000000);
  paper->ScanLine(0)[0] = 0xFFFFFF;  // marks each copy's corner
  auto target = Picture(30, 20, 0x123456);
  DrawWallpaper(target->DC(), paper.get(), TRect{0, 0, 25, 15}, SRCCOPY, true);
  std::vector<std::pair<int, int>> corners;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 30; ++x)
      if (target->ScanLine(y)[x] == 0xFFFFFF) corners.emplace_back(x, y);
  EXPECT_EQ(corners, (std::vector<std::pair<int, int>>{
                         {0, 0}, {10, 0}, {20, 0}, {0, 10}, {10, 10}, {20, 10}}));
  // Nothing beyond the rectangle.
  EXPECT_EQ(target->ScanLine(0)[25], 0x563412u);
  EXPECT_EQ(target->ScanLine(15)[0], 0x563412u);
  // Untiled: the bitmap's own part under the rectangle.
  auto once = Picture(30, 20, 0x123456);
  paper->ScanLine(5)[5] = 0xFFFFFF;
  DrawWallpaper(once->DC(), paper.get(), TRect{5, 5, 25, 15}, SRCCOPY, false);
  EXPECT_EQ(once->ScanLine(5)[5], 0xFFFFFFu);
  EXPECT_EQ(once->ScanLine(6)[6], 0u);
  EXPECT_EQ(once->ScanLine(12)[12], 0x563412u);  // outside the 10 x 10 bitmap
}

TEST(ShadowedText, ShiftsTheCallersRectangleAndDrawsTwice) {
  auto a = Picture(80, 30, clWhite);
  auto b = Picture(80, 30, clWhite);
  a->DC()->Font.Height = -16;
  b->DC()->Font.Height = -16;
  TRect r{0, 0, 80, 30};
  DrawTextShadowed(a->DC(), r, spLeftTop, "Ab", 0, clRed, clBlue, 2);
  EXPECT_EQ(r, (TRect{2, 2, 82, 32}));
  HDC dc = b->DC();
  dc->BkMode = TRANSPARENT;
  dc->Font.Color = clBlue;
  TRect s{0, 0, 80, 30}, t{2, 2, 82, 32};
  DrawTextA(dc, "Ab", -1, &s, 0);
  dc->Font.Color = clRed;
  DrawTextA(dc, "Ab", -1, &t, 0);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 80; ++x) ASSERT_EQ(a->ScanLine(y)[x], b->ScanLine(y)[x]) << x << "," << y;
  // Measuring gives the text's extent where the text went.
  TRect m{0, 0, 80, 30};
  DrawTextShadowed(a->DC(), m, spLeftBottom, "Ab", DT_CALCRECT, clRed, clBlue, 3);
  EXPECT_EQ(m.Left, 3);
  EXPECT_EQ(m.Top, 0);
  EXPECT_EQ(m.Right, 3 + a->DC()->TextExtent("Ab").cx);
}

TEST(CoolImages, LinksHearChangesInOrderAndLetGoOfAStoreThatGoes) {
  std::vector<int> heard;
  TCoolChangeLink a, b;
  a.OnChange = [&](TObject*) { heard.push_back(1); };
  b.OnChange = [&](TObject*) { heard.push_back(2); };
  {
    TCoolImages store(nullptr);
    store.RegisterChanges(&a);
    store.RegisterChanges(&b);
    EXPECT_EQ(a.Sender, &store);
    TBitmapItem* item = store.Bitmaps()->Add();
    EXPECT_EQ(store.Bitmaps()->Owner(), &store);
    heard.clear();
    auto p = Picture(4, 4, clRed);
    item->SetBitmap(p.get());  // a change of an item's bitmap is the store's change
    EXPECT_EQ(heard, (std::vector<int>{1, 2}));
    EXPECT_EQ(store.WallpaperAt(0), item->Bitmap());
    EXPECT_EQ(store.WallpaperAt(1), nullptr);
    store.UnRegisterChanges(&a);
    EXPECT_EQ(a.Sender, nullptr);
    heard.clear();
    store.Change();
    EXPECT_EQ(heard, std::vector<int>{2});
  }
  EXPECT_EQ(b.Sender, nullptr);
}

}  // namespace
