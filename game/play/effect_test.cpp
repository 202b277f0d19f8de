// Effects and scenery: explosions and their overlays, flashes that follow
// the gun, splinters and smoke, asteroids and the background layers.
#include "game/play/ship_test_fixture.h"

namespace {

class EffectTest : public TPlayFixture {};

TEST_F(EffectTest, ExplosionsStretchTheirOverlayAndEndOnlyInPlay) {
  int32_t smallest = 1000, largest = 0;
  for (int i = 0; i < 60; ++i) {
    const uint32_t seed = RandSeed;
    const int32_t dw = Random(100), dh = Random(100);
    RandSeed = seed;
    CreateExplosion(20, "ExplosionFx1", 400, 300, "mesh1", 0, 0, 1, 0);
    const auto blasts = All<TExplosionSprite>();
    ASSERT_EQ(blasts.size(), 2u);
    const TExplosionSprite& blast = *blasts[0];
    const TExplosionSprite& overlay = *blasts[1];
    // Width is drawn first, then height.
    EXPECT_EQ(overlay.Width, 64 + 100 + dw);
    EXPECT_EQ(overlay.Height, 64 + 100 + dh);
    smallest = std::min(smallest, overlay.Width);
    largest = std::max(largest, overlay.Width);
    EXPECT_EQ(overlay.X + overlay.Width / 2, 400);
    EXPECT_EQ(overlay.Y + overlay.Height / 2, 300);
    EXPECT_EQ(blast.X, 400 - 32);
    EXPECT_EQ(blast.Z(), 20);
    EXPECT_EQ(overlay.Z(), 21);
    EXPECT_FALSE(blast.AnimLooped);
    EXPECT_EQ(blast.AnimCount, 21);
    Engine()->Clear();
  }
  EXPECT_GE(smallest, 164);
  EXPECT_LE(largest, 263);
  EXPECT_FALSE(FlashActive);
  CreateExplosion(20, "ExplosionFx2", 400, 300, "mesh2", 250, 0, 1, 0);
  EXPECT_TRUE(FlashActive);
  EXPECT_EQ(FlashLevel, 250);

  // Outside play an explosion holds its last frame; back in play it ends.
  GameState = "pause";
  Frame(1000);
  ASSERT_EQ(All<TExplosionSprite>().size(), 2u);
  EXPECT_EQ(All<TExplosionSprite>()[0]->AnimPos, 20);
  GameState = "game";
  Frame(1);
  EXPECT_TRUE(All<TExplosionSprite>().empty());

  // In play the picture goes at frame 20 (two animation steps per move).
  CreateExplosion(20, "ExplosionFx2", 400, 300, "mesh2", 0, 0, 1, 0);
  Frame(390);
  EXPECT_EQ(All<TExplosionSprite>().size(), 2u);
  Frame(20);
  EXPECT_EQ(All<TExplosionSprite>().size(), 1u);  // the slower overlay lives on
}

TEST_F(EffectTest, MuzzleFlashesFollowTheGunUntilItIsGone) {
  MakeShip();
  PrimaryMount->X = 300;
  CreateShootFx(10, "playersmoke1", 310, 200, 15, 1.0 / 23, "player");
  CreateShootFx(10, "smokeshoot1", 500, 100, 16, 1.0 / 40, "");
  auto flashes = All<TShootFxSprite>();
  ASSERT_EQ(flashes.size(), 2u);
  TShootFxSprite* own = flashes[0];
  TShootFxSprite* enemy = flashes[1];
  EXPECT_EQ(own->X, 310 - own->Width / 2);
  EXPECT_EQ(own->Y, 200 - own->Height / 2);
  EXPECT_EQ(own->Z(), 12);
  EXPECT_EQ(own->OffsetX, own->X - 300);

  PrimaryMount->X = 340;
  own->Move(1);
  enemy->Move(1);
  EXPECT_EQ(own->X, 310 - own->Width / 2 + 40);
  EXPECT_EQ(enemy->X, 500 - enemy->Width / 2);

  // The game ends into the victory screen and frees the mount while the
  // flash still burns: the flash stays where it was.
  PrimaryMount->MarkDead();
  Engine()->FreeDead();
  ASSERT_EQ(PrimaryMount, nullptr);
  const double x = own->X;
  own->Move(1);
  EXPECT_EQ(own->X, x);
  EXPECT_EQ(All<TPlayerWeaponSprite>().size(), 1u);

  // Flashes end at their last frame, and in the main menu.
  Frame(15 * 23 / 2 + 1);  // the last frame shows...
  Frame(1);                // ...and the next step ends it
  EXPECT_TRUE(All<TShootFxSprite>().size() <= 1u);
  GameState = "mainmenu";
  Frame(1);
  EXPECT_TRUE(All<TShootFxSprite>().empty());
  // The main menu also sweeps the ship's own effect sprites.
  EXPECT_EQ(ShipFire, nullptr);
  EXPECT_EQ(EngineFlames[1], nullptr);
}

TEST_F(EffectTest, ImpactFlashesStandOnTheirBottomCentre) {
  CreateClipExplosion(30, "clipexplosion4", 200, 100, 11, 1.0 / 15);
  auto impacts = All<TClipExplosion>();
  ASSERT_EQ(impacts.size(), 1u);
  EXPECT_EQ(impacts[0]->X, 200 - 16);
  EXPECT_EQ(impacts[0]->Y, 100 - 32);
  EXPECT_EQ(impacts[0]->Z(), 30);
  Frame(80);  // two steps of 80 / 15 frames: the last frame shows...
  EXPECT_EQ(All<TClipExplosion>().size(), 1u);
  Frame(1);  // ...and the next step ends it
  EXPECT_TRUE(All<TClipExplosion>().empty());
}

TEST_F(EffectTest, SplintersScatterAndTrailSmokeBySetting) {
  const uint32_t seed = RandSeed;
  CreateSplinters(40, 30, 100, 200, 4);
  const auto splinters = All<TFxSprite>();
  ASSERT_EQ(splinters.size(), 4u);
  RandSeed = seed;
  for (TFxSprite* s : splinters) {
    // Draws in the order picture, X, Y, angle, speed.
    EXPECT_EQ(s->DXImageName, "splinter" + std::to_string(1 + Random(8)));
    EXPECT_EQ(s->X, 100 + Random(40));
    EXPECT_EQ(s->Y, 200 + Random(30));
    EXPECT_EQ(s->Angle, Random(256));
    EXPECT_EQ(s->Speed, 5 + Random(3));
    EXPECT_EQ(s->Kind, "splinter");
    EXPECT_EQ(s->Z(), 30);
  }

  for (int32_t setting : {1, 2}) {
    SCOPED_TRACE(setting);
    GameOptions.Splinters = setting;
    for (TPixelAnimationSprite* p : All<TPixelAnimationSprite>()) p->MarkDead();
    Engine()->FreeDead();
    TFxSprite* s = splinters[0];
    const double x = s->X, y = s->Y;
    s->Move(8);
    EXPECT_NEAR(s->X - x, CosineStep(static_cast<uint8_t>(s->Angle)) * s->Speed, 1e-9);
    EXPECT_NEAR(s->Y - y, SineStep(static_cast<uint8_t>(s->Angle)) * s->Speed, 1e-9);
    EXPECT_EQ(All<TPixelAnimationSprite>().size(), setting == 2 ? 1u : 0u);
  }

  // Smoke drifts up and ends after its 49th frame.
  const auto smoke = All<TPixelAnimationSprite>();
  ASSERT_EQ(smoke.size(), 1u);
  const double y = smoke[0]->Y;
  smoke[0]->Move(10);
  EXPECT_EQ(smoke[0]->Y, y - 1);

  // Off the screen a splinter ends; so does everything in the main menu.
  splinters[1]->X = 851;
  splinters[1]->Move(0);
  EXPECT_TRUE(splinters[1]->IsDead());
  GameState = "mainmenu";
  Frame(1);
  EXPECT_TRUE(All<TFxSprite>().empty());
}

class SceneryTest : public EffectTest {
 protected:
  void SetUp() override {
    EffectTest::SetUp();
    saved_ = Episodes[1].Levels[1];
  }
  void TearDown() override {
    Episodes[1].Levels[1] = saved_;
    EffectTest::TearDown();
  }

 private:
  TLevel saved_;
};

TEST_F(SceneryTest, LayersScrollBySlotAndAsteroidsDriftAcross) {
  TLevel& level = Episodes[1].Levels[1];
  level.Backgrounds = {};
  level.Backgrounds[2] = "back1";
  level.Backgrounds[3] = "stars1";
  level.Backgrounds[4] = "stars2";
  level.Backgrounds[5] = "layer1";
  level.Backgrounds[10] = "layer2";
  level.BossKind = 0;
  CurrentMission = 1;
  CurrentLevel = 1;

  LoadEpisode();
  const auto layers = All<TBackMapSprite>();
  ASSERT_EQ(layers.size(), 5u);
  const int32_t z[] = {-10, -9, -8, -7, -2};
  const double speed[] = {0.2, 0.4, 0.6, 0.8, 0};
  for (size_t i = 0; i < layers.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(layers[i]->Z(), z[i]);
    EXPECT_NEAR(layers[i]->Speed, speed[i], 1e-12);
    EXPECT_TRUE(layers[i]->Tile);
    EXPECT_EQ(layers[i]->MapWidth(), 1);
    EXPECT_EQ(layers[i]->Kind, "back");
    layers[i]->Y = 0;
    layers[i]->Move(10);
    EXPECT_NEAR(layers[i]->Y, speed[i], 1e-12);
  }
  // They rush past while the ship rises into view.
  GameState = "ready";
  layers[0]->Move(30);
  EXPECT_NEAR(layers[0]->Y, 0.2 + 2, 1e-12);

  GameState = "game";
  auto rocks = All<TObjectSprite>();
  ASSERT_EQ(rocks.size(), 32u);
  for (TObjectSprite* a : rocks) {
    EXPECT_EQ(a->Z(), -10);
    EXPECT_TRUE(a->Speed == 2.5 || std::abs(a->Speed - 5.0 / 3) < 1e-12) << a->Speed;
    EXPECT_DOUBLE_EQ(a->AnimSpeed, a->Speed / 250);
    EXPECT_LT(a->X, 500);
    EXPECT_LE(a->Width, a->DXImageName == "asteroid1" ? 64 : 48);
    EXPECT_LT(a->Y, 600 - a->Width);
  }
  // Leaving at the right, an asteroid comes back 200..799 pixels left of the
  // screen at a new height.
  for (int i = 0; i < 20; ++i) {
    TObjectSprite* a = rocks[static_cast<size_t>(i)];
    a->X = 799.95;
    a->Angle = 0;
    a->Move(1);
    EXPECT_LE(a->X, -200);
    EXPECT_GE(a->X, -799);
    EXPECT_GE(a->Y, 0);
    EXPECT_LT(a->Y, 600 - a->Width);
  }
  // The statistics screen sweeps the scenery away.
  GameState = "newlevel";
  Frame(1);
  EXPECT_TRUE(All<TObjectSprite>().empty());
  EXPECT_TRUE(All<TBackMapSprite>().empty());

  // On a boss level asteroids spin twice as fast, further forward.
  GameState = "game";
  level.BossKind = 1;
  LoadEpisode();
  rocks = All<TObjectSprite>();
  ASSERT_EQ(rocks.size(), 32u);
  for (TObjectSprite* a : rocks) {
    EXPECT_EQ(a->Z(), -5);
    EXPECT_TRUE(a->Speed == 5 || std::abs(a->Speed - 10.0 / 3) < 1e-12) << a->Speed;
  }
}

}  // namespace
