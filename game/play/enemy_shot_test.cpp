// Enemy fire: directions, bursts, rings, how shots fly and where they end.
#include <cmath>
#include <set>

#include "game/play/enemy_test_fixture.h"

namespace {

// One step of a shot of flight pattern P at (400, 300) heading right (angle
// 0) at speed 1, with the ship below and to the left.
struct TFlight {
  double X, Y, Speed;
  int Angle;
};

class EnemyFire : public EnemyFixture {
 public:
  TFlight FlyOnce(TEnemySprite* E, int Pattern, int M) {
    for (TEnemyShoot* s : Shots()) s->MarkDead();
    Engine()->FreeDead();
    E->ShotPattern = Pattern;
    E->Shoot(2);
    TEnemyShoot* s = Shots()[0];
    s->X = 400;
    s->Y = 300;
    s->Speed = 1;
    s->Angle = 0;
    s->Glow->Y = 0;
    s->DoMove(M);
    return {s->X, s->Y, s->Speed, s->Angle};
  }
};

TEST(CheckAngleTest, GivesTheDirectionInDegreesWithDownAt90) {
  struct TCase {
    double X1, Y1, X2, Y2, Degrees;
  } cases[] = {
      {0, 0, 10, 10, 45},   {10, 0, 0, 10, 135}, {10, 10, 0, 0, 225}, {0, 10, 10, 0, -45},
      {5, 0, 5, 10, 90},    {5, 10, 5, 0, 270},  {0, 0, 10, 0, 0},    {10, 0, 0, 0, 180},
      {3, 3, 3, 3, 90},  // two equal points have no direction: straight down
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.X1 << "," << c.Y1 << " -> " << c.X2 << "," << c.Y2);
    const double a = CheckAngle(c.X1, c.Y1, c.X2, c.Y2);
    EXPECT_FALSE(std::isnan(a));
    EXPECT_NEAR(a, c.Degrees, 1e-12);
  }
}

// Fires Shots shots in a row and returns the fire timer after each.
std::vector<double> Burst(TEnemySprite* E, int Shots) {
  std::vector<double> timers;
  for (int i = 0; i < Shots; ++i) {
    E->Shoot(1);
    timers.push_back(E->FireTimer);
  }
  return timers;
}

TEST_F(EnemyFire, BurstPatternsPauseAfterTheirLastShot) {
  struct TCase {
    int Type;
    std::vector<double> Timers;
  } cases[] = {
      {3, {0, -210, 0, -210}},          // pattern 3: two, then a pause
      {11, {0, 0, -300, 0}},            // pattern 9: three, then a long pause
      {17, {0, -250, 0}},               // pattern 11
      {18, {0, -200, 0, -200}},         // pattern 4 with the "enemy11" picture
      {1, {0, 0, 0, 0}},                // pattern 4 with another picture: no bursts
      {6, {0, 0, 0}},                   // pattern 6: none
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Type);
    TEnemySprite* e = Make(c.Type);
    EXPECT_EQ(Burst(e, static_cast<int>(c.Timers.size())), c.Timers);
  }
}

TEST_F(EnemyFire, AimedShotLeavesTheUndersideTowardsTheShip) {
  TEnemySprite* e = Make(4, 300, 100);
  e->Shoot(1);
  const auto shots = Shots();
  ASSERT_EQ(shots.size(), 1u);
  const TEnemyShoot* s = shots[0];
  EXPECT_EQ(s->Image()->Name(), "sphere2");
  EXPECT_DOUBLE_EQ(s->X, 300 + e->Width / 2.0 - s->Width / 2.0);
  EXPECT_DOUBLE_EQ(s->Y, 100 + e->Height);
  EXPECT_EQ(s->Z(), e->Z() - 1);
  EXPECT_EQ(s->Pattern, 1);
  EXPECT_NEAR(s->Speed, 0.08, 1e-12);
  const double toShip =
      CheckAngle(s->X, s->Y, PlayerShip->X + PlayerShip->Width / 2.0,
                 PlayerShip->Y + PlayerShip->Height / 2.0);
  EXPECT_EQ(s->Angle, static_cast<int>(std::nearbyint(toShip / 1.40625)));
  ASSERT_NE(s->Glow, nullptr);
  EXPECT_EQ(s->Glow->Image()->Name(), "smoke3");
  EXPECT_EQ(s->Glow->AnimCount, 7);
  EXPECT_DOUBLE_EQ(s->Glow->X, 300 + e->Width / 2.0 - s->Glow->Width / 2.0);
}

TEST_F(EnemyFire, NobodyFiresOutsidePlayOrWhileABossDies) {
  TEnemySprite* e = Make(4);
  GameState = "pause";
  e->Shoot(1);
  GameState = "game";
  BossDying = true;
  e->Shoot(2);
  EXPECT_TRUE(Shots().empty());
}

TEST_F(EnemyFire, ShotsFlyByTheirPattern) {
  PlayerShip->X = 100;
  PlayerShip->Y = 538;
  const double m = 20;
  const double cx = 100 + PlayerShip->Width / 2, cy = 538 + PlayerShip->Height / 2;
  TEnemySprite* e = Make(4, 300, 100);
  struct TCase {
    int Pattern;
    double X, Y, Speed;
  } cases[] = {
      {1, 400, 300 + m / 50, 1 + m / 100},
      {2, 400, 300 + m / 5, 1},
      {9, 400, 300 + m / 5, 1},
      {3, 400, 300 + m / 50 * (1 + m / 150), 1 + m / 150},
      {6, 400 + m / 100 * (1 + m / 100), 300, 1 + m / 100},
      {7, 400 + m / 100 * (1 + m / 100), 300, 1 + m / 100},
      {10, 400 + m / 100 * (1 + m / 100), 300, 1 + m / 100},
      {12, 400 + m / 100 * (1 + m / 100), 300, 1 + m / 100},
      {8, 400 + m / 70 * (1 + m / 80), 300, 1 + m / 80},
      {11, 400, 300 + m / 45 * (1 + m / 100), 1 + m / 100},
      {99, 400, 300, 1},  // no such pattern: it stays
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Pattern);
    const TFlight f = FlyOnce(e, c.Pattern, static_cast<int>(m));
    EXPECT_NEAR(f.X, c.X, 1e-9);
    EXPECT_NEAR(f.Y, c.Y, 1e-9);
    EXPECT_NEAR(f.Speed, c.Speed, 1e-12);
    EXPECT_EQ(f.Angle, 0);
  }

  // 4 and 5 turn towards the ship's centre each step and close in on it.
  for (int pattern : {4, 5}) {
    SCOPED_TRACE(pattern);
    const TFlight f = FlyOnce(e, pattern, static_cast<int>(m));
    const int towards = static_cast<int>(std::nearbyint(CheckAngle(400, 300, cx, cy) / 1.40625));
    EXPECT_EQ(f.Angle, towards);
    EXPECT_LT(f.X, 400);
    EXPECT_GT(f.Y, 300);
    EXPECT_LT(std::hypot(cx - f.X, cy - f.Y), std::hypot(cx - 400, cy - 300));
  }
  // ... except 5 with the "enemy8clip" picture, which keeps its heading.
  e->Info.Shot = "enemy8clip";
  const TFlight f = FlyOnce(e, 5, static_cast<int>(m));
  EXPECT_EQ(f.Angle, 0);
  EXPECT_NEAR(f.X, 400 + m / 40 * (1 + m / 65), 1e-9);
  EXPECT_NEAR(f.Y, 300, 1e-9);
}

TEST_F(EnemyFire, RingsSpreadOnlyUnderPatternsThatUseTheAngle) {
  TEnemySprite* e = Make(4, 300, 100);
  struct TCase {
    int Pattern;
    const char* Shot;
    bool Spreads;
  } cases[] = {
      {1, "sphere2", false},  {2, "sphere2", false},    {3, "sphere2", false},
      {9, "sphere2", false},  {11, "sphere2", false},   {5, "enemy8clip", true},
      {6, "sphere2", true},   {7, "sphere2", true},     {8, "sphere2", true},
      {10, "sphere2", true},  {12, "sphere2", true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Pattern);
    for (TEnemyShoot* s : Shots()) s->MarkDead();
    Engine()->FreeDead();
    e->ShotPattern = c.Pattern;
    e->Info.Shot = c.Shot;
    e->Shoot(2);
    auto shots = Shots();
    ASSERT_EQ(shots.size(), 8u);
    std::set<int> angles;
    for (const TEnemyShoot* s : shots) {
      angles.insert(s->Angle);
      EXPECT_DOUBLE_EQ(s->X + s->Width / 2.0, 300 + e->Width / 2.0);
      EXPECT_DOUBLE_EQ(s->Y + s->Height / 2.0, 100 + e->Height / 2.0);
      // The ring's glows sit left of centre by the glow's height.
      EXPECT_DOUBLE_EQ(s->Glow->X, 300 + e->Width / 2.0 - s->Glow->Height);
    }
    EXPECT_EQ(angles, (std::set<int>{0, 32, 64, 96, 128, 160, 192, 224}));
    for (int i = 0; i < 5; ++i) Step(20);
    std::set<int> xs;
    for (const TEnemyShoot* s : shots) xs.insert(static_cast<int>(std::lround(s->X * 100)));
    EXPECT_EQ(xs.size() > 1, c.Spreads);
  }
}

TEST_F(EnemyFire, ShotsEndAtTheScreenEdgesWithTheirGlows) {
  TEnemySprite* e = Make(4, 300, 100);
  e->ShotPattern = 99;  // does not move
  struct TCase {
    double X, Y;
    bool Lives;
  } cases[] = {
      {400, 600, true}, {400, 601, false}, {400, -100, true}, {400, -101, false},
      {0, 300, true},   {-1, 300, false},  {800, 300, true},  {801, 300, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.X << "," << c.Y);
    e->Shoot(1);
    TEnemyShoot* s = Shots().back();
    TEnemyFxSprite* g = s->Glow;
    s->X = c.X;
    s->Y = c.Y;
    s->DoMove(16);
    EXPECT_EQ(!s->IsDead(), c.Lives);
    EXPECT_EQ(!g->IsDead(), c.Lives);
    EXPECT_EQ(g->Y, c.Y - g->Height + g->Height / 4) << "the glow follows vertically";
    EXPECT_TRUE(s->PixelCheck);
    s->MarkDead();
    g->MarkDead();
    Engine()->FreeDead();
  }
  // Between levels they go; in the main menu the glow goes by itself.
  for (const char* state : {"newlevel", "levelcomplete", "mainmenu"}) {
    SCOPED_TRACE(state);
    e->Shoot(1);
    GameState = state;
    Step();
    EXPECT_TRUE(Shots().empty());
    EXPECT_TRUE(Live<TEnemyFxSprite>().empty());
    GameState = "game";
  }
}

}  // namespace
