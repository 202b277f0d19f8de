#include "engine/sprite/image_sprite.h"

#include <gtest/gtest.h>

#include <memory>

#include "engine/draw/dxdraws.h"
#include "engine/sprite/sprite_display_fixture.h"
#include "platform/backend/headless/headless_core.h"
#include "platform/backend/headless/headless_video.h"

namespace {

class TTestEngine : public TSpriteEngine {
 public:
  explicit TTestEngine(TRect r = Rect(0, 0, 800, 600)) { surfaceRect_ = r; }
};

TEST(ImageSpriteAnimation, AdvancesTwicePerPassAndLoopsOrStops) {
  struct Case {
    const char* what;
    bool looped;
    int32_t count;
    double pos, speed;
    int passes;
    double wantPos, wantSpeed;
  } cases[] = {
      {"looped: two steps of 0.25 per pass", true, 4, 0, 0.25, 1, 0.5, 0.25},
      {"looped: back at 0 after 8 passes", true, 4, 0, 0.25, 8, 0, 0.25},
      {"looped: wraps past the end", true, 4, 3.5, 0.5, 1, 0.5, 0.5},
      {"looped without frames stays at 0", true, 0, 0, 0.7, 3, 0, 0.7},
      // 7.4 + 0.3 = 7.7 rounds to 8: stop on the last frame.
      {"one-shot stops on its last frame", false, 8, 7.4, 0.3, 1, 7, 0},
      {"one-shot still running", false, 8, 5.0, 0.5, 1, 6.0, 0.5},
      {"backward one-shot stops on frame 0", false, 8, 0.2, -0.5, 1, 0, 0},
  };
  for (const auto& c : cases) {
    TTestEngine e;
    auto* s = new TImageSprite(&e);
    s->AnimLooped = c.looped;
    s->AnimCount = c.count;
    s->AnimPos = c.pos;
    s->AnimSpeed = c.speed;
    for (int i = 0; i < c.passes; ++i) e.Move(1);
    EXPECT_NEAR(s->AnimPos, c.wantPos, 1e-9) << c.what;
    EXPECT_EQ(s->AnimSpeed, c.wantSpeed) << c.what;
  }
}

TEST(ImageSpriteAnimation, OnMoveReplacesTheFirstStepAndFrameTruncates) {
  TTestEngine e;
  auto* s = new TImageSprite(&e);
  s->AnimLooped = true;
  s->AnimCount = 10;
  s->AnimSpeed = 0.5;
  s->AnimStart = 3;
  int calls = 0;
  s->OnMove = [&](TObject*, int32_t&) { ++calls; };
  e.Move(3);
  EXPECT_EQ(calls, 1);
  EXPECT_DOUBLE_EQ(s->AnimPos, 1.5);
  EXPECT_EQ(s->Frame(), 4);
  s->AnimPos = -0.5;
  EXPECT_EQ(s->Frame(), 3);  // Trunc, not floor
  s->AnimStart = INT32_MAX;  // names no pattern, and must not overflow
  s->AnimPos = 5;
  EXPECT_EQ(s->Frame(), INT32_MAX);
}

TEST(ImageSpriteTrail, RecordsMovesWithAnAlphaRamp) {
  TTestEngine e;
  auto* s = new TImageSprite(&e);
  s->BlurImage = true;
  s->X = 10;
  s->AnimCount = 4;
  s->AnimLooped = true;
  s->AnimSpeed = 0.5;
  int step = 0;
  s->OnMove = [&](TObject*, int32_t&) { s->X = 10 + 5 * ++step; };
  for (int i = 0; i < 8; ++i) e.Move(1);
  for (int i = 0; i < 8; ++i) {
    EXPECT_TRUE(s->BlurTrail[i].Active) << i;
    EXPECT_EQ(s->BlurTrail[i].Alpha, 32 * i) << i;
    EXPECT_EQ(s->BlurTrail[i].X, 15 + 5 * i) << i;
  }
  // A sprite that stops adds nothing more, however often it animates.
  s->OnMove = nullptr;
  const auto before = s->BlurTrail;
  e.Move(1);
  e.Move(1);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(s->BlurTrail[i].X, before[i].X) << i;
  // Without OnMove both steps of a pass see the same place: one entry.
  s->X = 200;
  e.Move(1);
  EXPECT_EQ(s->BlurTrail[7].X, 200);
  EXPECT_EQ(s->BlurTrail[6].X, 50);
}

TEST(ImageSpriteBounds, TileWrapsTheBoundsOnly) {
  struct Case {
    double x;
    int32_t wantLeft;
  } cases[] = {{850, -50}, {800, 800}, {-20, -20}, {1750, -50}, {-920, -20}};
  for (const auto& c : cases) {
    TTestEngine e;
    auto* s = new TImageSprite(&e);
    s->Width = 100;
    s->Height = 10;
    s->Tile = true;
    s->X = c.x;
    EXPECT_EQ(s->GetBoundsRect().Left, c.wantLeft) << c.x;
    EXPECT_EQ(s->GetBoundsRect().Width(), 100) << c.x;
  }
  // No surface and no size: there is nothing to wrap in, and the sprite
  // occupies nothing instead of dividing by zero.
  TTestEngine none(TRect{});
  auto* s = new TImageSprite(&none);
  s->Tile = true;
  s->X = 33;
  EXPECT_EQ(s->GetBoundsRect(), Rect(33, 0, 33, 0));
  s->Width = -5;  // a negative extent as well
  EXPECT_EQ(s->GetBoundsRect().Width(), 0);
}

TEST(ImageSpriteCollision, BoundsDecideWithoutPixelCheck) {
  TTestEngine e;
  auto* a = new TImageSprite(&e);
  auto* b = new TImageSprite(&e);
  auto* plain = new TSprite(&e);
  plain->Width = plain->Height = 10;
  a->Width = a->Height = b->Width = b->Height = 10;
  b->X = 9.6;  // rounds to 10: touching only
  EXPECT_FALSE(a->TestCollision(b));
  EXPECT_TRUE(a->TestCollision(plain));
  b->X = 9.4;
  EXPECT_TRUE(a->TestCollision(b));
  EXPECT_EQ(a->Collision(), 2);
}

// Two generated pictures on real surfaces: an 8 x 8 pattern pair side by side
// (the left one empty, the right one with an opaque 2 x 2 block in its lower
// right corner), and a one-pixel dot in the corner of another picture.
class PixelCollisionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HeadlessInstall();
    HeadlessInstallVideo();
    DDRegisterModule();
    dd_ = std::make_unique<TDirectDraw>(nullptr);
    blocks_ = Make(16, 8, 16);
    for (int y = 6; y < 8; ++y)
      for (int x = 14; x < 16; ++x) blocks_->SetPixel(x, y, 0xFFFF);
    dot_ = Make(8, 8, 16);
    dot_->SetPixel(0, 0, 0x1234);
  }
  void TearDown() override {
    dd_.reset();
    HeadlessUninstall();
  }
  TDirectDrawSurface* Make(int w, int h, int bits) {
    DDSURFACEDESC d;
    d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    d.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
    d.dwWidth = static_cast<uint32_t>(w);
    d.dwHeight = static_cast<uint32_t>(h);
    d.ddpfPixelFormat = DDPixelFormat(static_cast<uint32_t>(bits));
    auto* s = new TDirectDrawSurface(dd_.get());  // freed with the device
    EXPECT_TRUE(s->CreateSurface(d));
    s->Fill(0x0007);
    s->SetTransparentColor(0x0007);
    return s;
  }
  std::unique_ptr<TDirectDraw> dd_;
  TDirectDrawSurface* blocks_ = nullptr;
  TDirectDrawSurface* dot_ = nullptr;
};

TEST_F(PixelCollisionTest, HitsOnlyWhereBothPixelsAreOpaque) {
  const TRect block = Rect(8, 0, 16, 8), empty = Rect(0, 0, 8, 8), dot = Rect(0, 0, 8, 8);
  struct Case {
    const char* what;
    TRect ra;
    int x2, y2;
    bool hit;
  } cases[] = {
      {"dot on the block's first pixel", block, 6, 6, true},
      {"dot on the block's last pixel", block, 7, 7, true},
      {"dot on a transparent pixel beside the block", block, 5, 5, false},
      {"dot beside the block's rows", block, 6, 5, false},
      {"rectangles only touch", block, 8, 7, false},
      {"the empty pattern never hits", empty, 6, 6, false},
      {"the block seen from the dot's side", block, -2, -2, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TImageSprite::PatternsCollide(blocks_, c.ra, 0, 0, dot_, dot, c.x2, c.y2), c.hit)
        << c.what;
    // The test is symmetric.
    EXPECT_EQ(TImageSprite::PatternsCollide(dot_, dot, c.x2, c.y2, blocks_, c.ra, 0, 0), c.hit)
        << c.what;
  }
  // Both patterns on one surface lock it once.
  EXPECT_TRUE(TImageSprite::PatternsCollide(blocks_, block, 0, 0, blocks_, block, 1, 1));
  EXPECT_FALSE(TImageSprite::PatternsCollide(blocks_, block, 0, 0, blocks_, empty, 1, 1));
  EXPECT_EQ(blocks_->LockCount(), 0);
  // A surface already locked cannot be compared: no hit.
  DDSURFACEDESC d;
  ASSERT_TRUE(dot_->Lock(nullptr, d));
  EXPECT_FALSE(TImageSprite::PatternsCollide(blocks_, block, 0, 0, dot_, dot, 6, 6));
  dot_->Unlock();
  EXPECT_EQ(blocks_->LockCount(), 0);
}

TEST_F(PixelCollisionTest, MissingSurfacesAndMixedDepthsFallBackToTheRectangles) {
  const TRect r = Rect(0, 0, 8, 8);
  EXPECT_TRUE(TImageSprite::PatternsCollide(nullptr, r, 0, 0, dot_, r, 7, 7));
  EXPECT_FALSE(TImageSprite::PatternsCollide(nullptr, r, 0, 0, dot_, r, 8, 0));
  TDirectDrawSurface* deep = Make(8, 8, 32);
  EXPECT_TRUE(TImageSprite::PatternsCollide(deep, r, 0, 0, dot_, r, 7, 7));
  // A rectangle beyond its surface reads nothing.
  EXPECT_FALSE(TImageSprite::PatternsCollide(dot_, Rect(4, 4, 12, 12), 0, 0, dot_, r, 0, 0));
}

}  // namespace

// ---- On the display ------------------------------------------------------------------

namespace {

class ImageSpriteDraw : public TSpriteDisplayFixture {
 protected:
  // Three 8 x 8 frames: red, lime, blue.
  void SetImageNames() { AddStrip("lights", 8, 8, {clRed, clLime, clBlue}); }
};

TEST_F(ImageSpriteDraw, DrawsTheCurrentFrameStretchedToItsSize) {
  SetImageNames();
  auto* s = new TImageSprite(&Engine());
  s->DXImageList = Images;
  s->DXImageName = "LIGHTS";  // found ignoring case, on first use
  s->Width = s->Height = 1;   // visible, so that it is drawn and fetches it
  s->X = 10.5;                // rounds to 10
  s->Y = 20;
  s->AnimStart = 1;
  s->AnimPos = 0.9;
  Draw->Surface->Fill(0);
  Sprites->Draw();
  ASSERT_NE(s->Image(), nullptr);
  EXPECT_EQ(s->DXImageName, "lights");
  EXPECT_EQ(s->Width, 8);
  EXPECT_EQ(Pixel(10, 20), Dev(clLime));
  EXPECT_EQ(Pixel(17, 27), Dev(clLime));
  EXPECT_EQ(Pixel(18, 27), 0u);
  EXPECT_EQ(Engine().DrawCount(), 1);

  // A sprite bigger than its pattern stretches the pattern.
  s->Width = 16;
  s->AnimPos = 1;
  Sprites->Draw();
  EXPECT_EQ(Pixel(25, 27), Dev(clBlue));

  auto* lost = new TImageSprite(&Engine());
  lost->DXImageList = Images;
  lost->DXImageName = "nowhere";
  lost->Width = lost->Height = 5;  // a sprite without size is never drawn
  try {
    Sprites->Draw();
    FAIL();
  } catch (const EPictureCollectionError& e) {
    EXPECT_EQ(e.Message(), "Image 'nowhere' not found");
  }
}

TEST_F(ImageSpriteDraw, BlendModesAlphaAndRotation) {
  TPictureCollectionItem* pic = AddStrip("grey", 8, 8, {0x202020});
  auto* s = new TImageSprite(&Engine());
  s->SetImage(pic);
  s->X = 10;
  s->Y = 10;
  // The red level of the drawn pixel over a mid-grey screen.
  auto red = [&](TRenderType mode, int32_t alpha) {
    Draw->Surface->Fill(Dev(0x808080));
    s->BlendMode = mode;
    s->Alpha = alpha;
    Sprites->Draw();
    return static_cast<int>((Pixel(13, 13) >> 11) << 3);
  };
  const int plain = red(rtDraw, 255), add = red(rtAdd, 255), sub = red(rtSub, 255);
  const int opaque = red(rtBlend, 255), half = red(rtBlend, 128);
  EXPECT_NEAR(plain, 0x20, 8);
  EXPECT_NEAR(add, 0xA0, 8);
  EXPECT_NEAR(sub, 0x60, 8);
  EXPECT_EQ(opaque, plain);
  EXPECT_GT(half, plain + 16);
  EXPECT_LT(half, 0x80 - 16);
  // The draws take the low 8 bits of Alpha: 300 is 44.
  EXPECT_EQ(red(rtBlend, 300), red(rtBlend, 44));
  EXPECT_NE(red(rtBlend, 300), opaque);

  // Turned a quarter about its centre, a 16 x 4 bar stands upright there.
  TPictureCollectionItem* bar = AddStrip("bar", 16, 4, {clWhite});
  s->SetImage(bar);
  s->BlendMode = rtDraw;
  s->X = 100;
  s->Y = 100;
  s->Angle = 64;
  Draw->Surface->Fill(0);
  Sprites->Draw();
  EXPECT_EQ(Pixel(108, 96), Dev(clWhite));
  EXPECT_EQ(Pixel(108, 108), Dev(clWhite));
  EXPECT_EQ(Pixel(114, 102), 0u);
}

TEST_F(ImageSpriteDraw, TrailIsDrawnFirstAtPatternSizeAndFades) {
  SetImageNames();
  auto* s = new TImageSprite(&Engine());
  s->SetImage(Images->Items().Find("lights"));
  s->Width = 16;  // the sprite stretches; its trail keeps the pattern's size
  s->X = 10;
  s->Y = 10;
  s->BlurImage = true;
  auto entry = [](int32_t x, int32_t frame, uint8_t alpha) {
    return TBlurTrailEntry{true, x, 10, frame, 0, alpha};
  };
  s->BlurTrail[5] = entry(10, 1, 255);  // under the sprite itself
  s->BlurTrail[6] = entry(100, 1, 255);
  s->BlurTrail[7] = entry(200, 2, 0);
  Draw->Surface->Fill(0);
  Sprites->Draw();
  // Plain sprites draw each entry's own frame, below the sprite.
  EXPECT_EQ(Pixel(12, 12), Dev(clRed));
  EXPECT_EQ(Pixel(100, 10), Dev(clLime));
  EXPECT_EQ(Pixel(107, 17), Dev(clLime));
  EXPECT_EQ(Pixel(108, 17), 0u);
  EXPECT_EQ(Pixel(200, 10), 0u);  // alpha 0 shows nothing
  // Each draw fades an entry by one step; one already at 0 is cleared.
  EXPECT_EQ(s->BlurTrail[6].Alpha, 254);
  EXPECT_TRUE(s->BlurTrail[6].Active);
  EXPECT_FALSE(s->BlurTrail[7].Active);
  EXPECT_FALSE(s->BlurTrail[0].Active);

  // Blended sprites draw their trail with the current frame, in their mode.
  s->BlendMode = rtAdd;
  s->AnimPos = 2;  // blue
  Draw->Surface->Fill(0);
  Sprites->Draw();
  // Added at the entry's alpha, 254 by now: nearly full blue, nothing else.
  EXPECT_EQ(Pixel(100, 10) & ~0x1Fu, 0u);
  EXPECT_GE(Pixel(100, 10) & 0x1Fu, 30u);
}

TEST_F(ImageSpriteDraw, OnGetImageAndOnDrawTakeOver) {
  SetImageNames();
  TPictureCollectionItem* lights = Images->Items().Find("lights");
  auto* s = new TImageSprite(&Engine());
  s->Width = s->Height = 8;
  int asked = 0, drawn = 0;
  s->OnGetImage = [&](TObject*, TPictureCollectionItem*& item) {
    ++asked;
    item = lights;
  };
  s->OnDraw = [&](TObject*) { ++drawn; };
  Draw->Surface->Fill(0);
  Sprites->Draw();
  Sprites->Draw();
  EXPECT_EQ(asked, 1);  // kept once set
  EXPECT_EQ(drawn, 2);
  EXPECT_EQ(Pixel(0, 0), 0u);
}

TEST_F(ImageSpriteDraw, PixelCheckOnGeneratedPictures) {
  // A 10 x 10 ring (transparent middle) and a 2 x 2 dot.
  TPictureCollectionItem* ring = AddStrip("ring", 10, 10, {clRed}, {Rect(2, 2, 8, 8)});
  TPictureCollectionItem* dot = AddStrip("dot", 2, 2, {clWhite});
  auto* a = new TImageSprite(&Engine());
  a->SetImage(ring);
  a->PixelCheck = true;
  auto* b = new TImageSprite(&Engine());
  b->SetImage(dot);
  struct Case {
    const char* what;
    double x, y;
    bool hit;
  } cases[] = {
      {"dot on the ring", 0, 0, true},
      {"dot inside the hole", 4, 4, false},
      {"dot half on the ring's inner edge", 7, 4, true},
      {"dot just outside", 10, 0, false},
  };
  for (const auto& c : cases) {
    b->X = c.x;
    b->Y = c.y;
    EXPECT_EQ(a->TestCollision(b), c.hit) << c.what;
    EXPECT_EQ(a->Collision(), c.hit ? 1 : 0) << c.what;
  }
  // The pattern sits centred in bounds bigger than itself.
  // At (2, 6) the dot meets the hole of an uncentred ring, but the ring's
  // left edge once it is centred.
  b->X = 2;
  b->Y = 6;
  EXPECT_FALSE(a->TestCollision(b));
  a->Width = 14;
  EXPECT_TRUE(a->TestCollision(b));
  // Only the sprite asking with PixelCheck compares pixels.
  b->X = 4;
  b->Y = 4;
  a->Width = 10;
  EXPECT_FALSE(a->TestCollision(b));
  EXPECT_TRUE(b->TestCollision(a));
}

}  // namespace
