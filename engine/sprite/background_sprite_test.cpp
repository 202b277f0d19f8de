#include "engine/sprite/background_sprite.h"

#include <gtest/gtest.h>

#include <cstring>

#include "engine/sprite/sprite_display_fixture.h"
#include "framework/filer.h"

namespace {

class TTestEngine : public TSpriteEngine {
 public:
  explicit TTestEngine(TRect r = Rect(0, 0, 800, 600)) { surfaceRect_ = r; }
};

// A "Map" value: the sizes, then the given cells.
std::vector<uint8_t> MapBytes(int32_t w, int32_t h, const std::vector<TMapCell>& cells) {
  TMemoryStream s;
  s.WriteValue(w);
  s.WriteValue(h);
  for (const TMapCell& c : cells) s.WriteValue(c);
  return s.Bytes();
}

void LoadMap(TBackgroundSprite& b, const std::vector<uint8_t>& bytes) {
  TByteStream s(bytes.data(), bytes.size());
  b.ReadMap(s);
}

TMapCell Chip(int32_t chip, uint8_t collide = 1) {
  TMapCell c;
  c.Chip = chip;
  c.CollisionChip = collide;
  return c;
}

TEST(BackgroundMap, SetMapSizeClearsOrEmpties) {
  TTestEngine e;
  auto* b = new TBackgroundSprite(&e);
  EXPECT_FALSE(b->Collisioned);
  EXPECT_EQ(b->MapWidth(), 0);
  EXPECT_EQ(b->GetChip(0, 0), -1);
  LoadMap(*b, MapBytes(2, 1, {Chip(7, 0), Chip(-1)}));
  EXPECT_EQ(b->GetChip(0, 0), 7);
  EXPECT_FALSE(b->GetCollisionChip(0, 0));
  b->SetMapSize(3, 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) {
      const TMapCell c = b->GetCell(x, y);
      EXPECT_EQ(c.Chip, 0);
      EXPECT_EQ(c.CollisionChip, 1);
      EXPECT_EQ(c.Alpha, 0);
      EXPECT_EQ(c.RenderType, rtDraw);
    }
  EXPECT_EQ(b->GetChip(3, 0), -1);
  EXPECT_FALSE(b->GetCollisionChip(0, 2));
  EXPECT_EQ(b->GetCell(-1, 0).CollisionChip, 0);
  b->SetMapSize(0, 5);
  EXPECT_EQ(b->MapWidth(), 0);
  EXPECT_EQ(b->MapHeight(), 0);
  EXPECT_EQ(b->GetChip(0, 0), -1);
}

TEST(BackgroundMap, MapPropertyRoundTripsThroughAComponentStream) {
  TTestEngine e;
  auto* src = new TBackgroundSprite(&e);
  TMapCell a = Chip(3), c = Chip(-1, 0);
  a.RenderType = rtAdd;
  a.Alpha = 200;
  a.Angle = 12.5f;
  a.CenterX = 0.25;
  a.CenterY = 0.75;
  a.MirrorFlip = MirrorFlipBit(rmfMirror) | MirrorFlipBit(rmfFlip);
  a.TextureFilter = 1;
  std::memset(a.Reserved1, 0x5A, sizeof a.Reserved1);  // kept as they are
  a.Reserved2[3] = 0xEE;
  LoadMap(*src, MapBytes(2, 2, {a, Chip(1), c, Chip(0)}));
  src->Tile = true;
  src->X = -12.75;
  src->SetZ(-3);
  src->BlendMode = rtSub;
  src->MirrorFlip = MirrorFlipBit(rmfMirror) | MirrorFlipBit(rmfFlip);
  src->AnimSpeed = 0.125;
  src->Caption = "sky";

  TMemoryStream out;
  TWriter w(out);
  src->WriteProperties(w);
  w.WriteListEnd();

  auto* dst = new TBackgroundSprite(&e);
  dst->SetMapSize(4, 4);
  out.SetPosition(0);
  TReader r(out);
  r.ReadProperties(*dst);
  ASSERT_EQ(dst->MapWidth(), 2);
  ASSERT_EQ(dst->MapHeight(), 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) {
      const TMapCell p = src->GetCell(x, y), q = dst->GetCell(x, y);
      EXPECT_EQ(std::memcmp(&p, &q, sizeof p), 0) << x << "," << y;
    }
  EXPECT_TRUE(dst->Tile);
  EXPECT_EQ(dst->X, -12.75);
  EXPECT_EQ(dst->Z(), -3);
  EXPECT_EQ(dst->BlendMode, rtSub);
  EXPECT_EQ(dst->MirrorFlip, src->MirrorFlip);
  const std::string text(out.Bytes().begin(), out.Bytes().end());
  EXPECT_NE(text.find("[rmfMirror, rmfFlip]"), std::string::npos);
  EXPECT_NE(text.find("rtSub"), std::string::npos);
  EXPECT_EQ(dst->AnimSpeed, 0.125);
  EXPECT_EQ(dst->Caption, "sky");

  // Written again, the bytes are the same.
  TMemoryStream again;
  TWriter w2(again);
  dst->WriteProperties(w2);
  w2.WriteListEnd();
  EXPECT_EQ(again.Bytes(), out.Bytes());
}

TEST(BackgroundMap, HostileMapValues) {
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    bool raises;
    int32_t w, h;
  } cases[] = {
      {"no sizes", {1, 0, 0}, true, 1, 1},
      {"cells missing", MapBytes(2, 2, {Chip(1), Chip(2), Chip(3)}), true, 1, 1},
      {"sizes far beyond the data", MapBytes(0x7FFFFFFF, 0x7FFFFFFF, {}), true, 1, 1},
      {"negative width empties", MapBytes(-4, 2, {}), false, 0, 0},
      {"zero height empties", MapBytes(3, 0, {}), false, 0, 0},
      {"extra bytes after the cells are left", MapBytes(1, 1, {Chip(5), Chip(6)}), false, 1, 1},
  };
  for (const auto& c : cases) {
    TTestEngine e;
    auto* b = new TBackgroundSprite(&e);
    b->SetMapSize(1, 1);
    if (c.raises)
      EXPECT_THROW(LoadMap(*b, c.bytes), EReadError) << c.what;
    else
      EXPECT_NO_THROW(LoadMap(*b, c.bytes)) << c.what;
    EXPECT_EQ(b->MapWidth(), c.w) << c.what;
    EXPECT_EQ(b->MapHeight(), c.h) << c.what;
  }
}

TEST(BackgroundMap, AssignCopiesTheCells) {
  TTestEngine e;
  auto* src = new TBackgroundSprite(&e);
  LoadMap(*src, MapBytes(2, 1, {Chip(4), Chip(-1)}));
  src->Tile = true;
  auto* dst = new TBackgroundSprite(&e);
  dst->Assign(src);
  EXPECT_EQ(dst->MapWidth(), 2);
  EXPECT_EQ(dst->GetChip(0, 0), 4);
  EXPECT_EQ(dst->GetChip(1, 0), -1);
  EXPECT_TRUE(dst->Tile);
}

// ---- On the display ------------------------------------------------------------------

using BackgroundDraw = TSpriteDisplayFixture;

TEST_F(BackgroundDraw, TiledCellsCoverTheSurfaceFromOneRowAbove) {
  TPictureCollectionItem* pic = AddStrip("sky", 256, 256, {clBlue});
  auto* b = new TBackgroundSprite(&Engine());
  b->SetMapSize(1, 1);
  b->SetImage(pic);
  b->Tile = true;
  b->Y = 100;
  std::vector<TRect> cells;
  b->OnDraw = [&](TObject*) { cells.push_back(b->ChipRect); };
  Sprites->Draw();
  ASSERT_EQ(cells.size(), 6u * 7u);
  EXPECT_EQ(cells.front(), Rect(-256, -156, 0, 100));
  EXPECT_EQ(cells[7], Rect(-256, 100, 0, 356));
  EXPECT_EQ(cells.back(), Rect(1280, 1124, 1536, 1380));

  cells.clear();
  b->Tile = false;
  Sprites->Draw();
  EXPECT_EQ(cells, (std::vector<TRect>{Rect(0, 100, 256, 356)}));
}

TEST_F(BackgroundDraw, CellsDrawTheirChipsAndWrap) {
  TPictureCollectionItem* pic = AddStrip("tiles", 16, 16, {clRed, clLime, clBlue});
  auto* b = new TBackgroundSprite(&Engine());
  LoadMap(*b, MapBytes(3, 1, {Chip(1), Chip(-1), Chip(2)}));
  b->SetImage(pic);
  EXPECT_EQ(b->Width, 48);
  b->Tile = true;
  b->X = -8;
  Draw->Surface->Fill(0);
  std::vector<int32_t> chips;
  Sprites->Draw();
  // Columns from x = -8: chip 1 (lime), an empty cell, chip 2 (blue), again.
  EXPECT_EQ(Pixel(0, 0), Dev(clLime));
  EXPECT_EQ(Pixel(7, 5), Dev(clLime));
  EXPECT_EQ(Pixel(8, 5), 0u);
  EXPECT_EQ(Pixel(24, 599), Dev(clBlue));
  EXPECT_EQ(Pixel(40, 300), Dev(clLime));
  EXPECT_EQ(Pixel(799, 0), Dev(clBlue));  // column 50 of the repeated three

  // An empty cell is neither drawn nor handed to OnDraw.
  b->OnDraw = [&](TObject*) { chips.push_back(b->ChipIndex); };
  b->Tile = false;
  b->X = 0;
  Sprites->Draw();
  EXPECT_EQ(chips, (std::vector<int32_t>{1, 2}));
}

TEST_F(BackgroundDraw, PictureWithoutPatternsDrawsNothing) {
  // Smaller than one pattern: the picture has no pattern 0, so no cell size.
  TPictureCollectionItem* pic = AddStrip("tiny", 4, 4, {clRed});
  pic->PatternWidth = 8;
  pic->Restore();
  ASSERT_EQ(pic->GetPatternCount(), 0);
  auto* b = new TBackgroundSprite(&Engine());
  b->SetMapSize(2, 2);
  b->SetImage(pic);
  b->Tile = true;
  int calls = 0;
  b->OnDraw = [&](TObject*) { ++calls; };
  Draw->Surface->Fill(0);
  Sprites->Draw();
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(Pixel(0, 0), 0u);
  auto* other = new TImageSprite(&Engine());
  other->Width = other->Height = 10;
  EXPECT_FALSE(b->TestCollision(other));
}

TEST_F(BackgroundDraw, CollisionFollowsCellFlagsAndWraps) {
  TPictureCollectionItem* pic = AddStrip("wall", 10, 10, {clRed});
  auto* b = new TBackgroundSprite(&Engine());
  LoadMap(*b, MapBytes(2, 1, {Chip(0, 1), Chip(0, 0)}));
  b->SetImage(pic);
  b->Collisioned = true;
  b->X = 100;
  auto* s = new TImageSprite(&Engine());
  s->Width = s->Height = 4;
  struct Case {
    double x, y;
    bool hit;
  } cases[] = {
      {100, 0, true},   // on cell 0
      {113, 0, false},  // on cell 1, which does not collide
      {108, 8, true},   // across both: cell 0 decides
  };
  for (const auto& c : cases) {
    s->X = c.x;
    s->Y = c.y;
    EXPECT_EQ(b->TestCollision(s), c.hit) << c.x;
  }
  // The map repeats beyond its width for the test, tiled or not.
  b->Tile = true;
  s->X = 120;
  EXPECT_TRUE(b->TestCollision(s));
  s->X = 133;
  EXPECT_FALSE(b->TestCollision(s));
  // A query asks both sides: the sprite's rectangle test, then the cells.
  s->X = 105;
  EXPECT_EQ(s->Collision(), 1);
  s->X = 113;
  EXPECT_EQ(s->Collision(), 0);
}

}  // namespace
