// Enemies: how a level's enemies are made and placed, difficulty, movement,
// damage and death.
#include <algorithm>
#include <cmath>
#include <string>

#include "game/play/enemy_test_fixture.h"

namespace {

using EnemyCreation = EnemyFixture;
using EnemyMovement = EnemyFixture;
using EnemyDamage = EnemyFixture;

TEST_F(EnemyCreation, FirstLevelFillsItsFormationGridInNumberOrder) {
  CurrentMission = 1;
  CurrentLevel = 1;
  LoadEnemies(1);
  const auto enemies = Enemies();
  // The table's rows hold 8 + 8 + 6 + 4 craft.
  ASSERT_EQ(enemies.size(), 26u);
  EXPECT_EQ(EnemiesAlive, 26);
  EXPECT_EQ(EnemyCount, 26);
  int n = 0;
  for (int r = 1; r <= FormationRows; ++r)
    for (int c = 1; c <= FormationColumns; ++c) {
      if (!Episodes[1].Levels[1].Formation[static_cast<size_t>(r)][static_cast<size_t>(c)])
        continue;
      const TEnemySprite* e = enemies[static_cast<size_t>(n++)];
      SCOPED_TRACE(n);
      EXPECT_EQ(e->Number, n);
      EXPECT_EQ(e->Info.EnemyType, 4);
      EXPECT_EQ(e->X, c * 58 + 32);
      EXPECT_EQ(e->Y, r * 50 - 45);
      EXPECT_FALSE(EnemyDestroyed[n]);
    }
  // The box is published by the first step, not by the making.
  EXPECT_EQ(EnemyWidth[1], 0);
  const double x = enemies[0]->X;
  Step();
  EXPECT_EQ(EnemyWidth[1], enemies[0]->Width);
  EXPECT_EQ(EnemyX[1], x) << "published before it moves";
  EXPECT_GT(enemies[0]->X, x) << "the grid first sways right";
}

TEST_F(EnemyCreation, BossLevelsMakeAnUnhittableBodyAndItsPartsAtTheirOffsets) {
  struct TCase {
    int Mission, Parts;
    double FirstX, FirstY;
  } cases[] = {{1, 4, 18, 35}, {3, 6, 40, 35}, {5, 6, 37, -10}, {10, 6, 37, -10}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Mission);
    for (TEnemySprite* e : Enemies()) e->MarkDead();
    Engine()->FreeDead();
    CurrentMission = c.Mission;
    CurrentLevel = 10;
    ClearEnemyDestroyedMass();
    LoadEnemies(10);
    const auto enemies = Enemies();
    ASSERT_EQ(static_cast<int>(enemies.size()), 1 + c.Parts);
    EXPECT_EQ(EnemiesAlive, 1 + c.Parts);
    const TEnemySprite* body = enemies[0];
    EXPECT_EQ(body->Number, 1);
    EXPECT_EQ(
        body->Info.KindName,
        "boss" + std::to_string(Episodes[static_cast<size_t>(c.Mission)].Levels[10].BossKind));
    EXPECT_EQ(body->X, -25);
    EXPECT_EQ(body->Y, -15);
    EXPECT_EQ(body->Info.Health, 99999);
    EXPECT_TRUE(EnemyDestroyed[1]);
    for (int i = 1; i <= c.Parts; ++i) {
      EXPECT_EQ(enemies[static_cast<size_t>(i)]->Number, i + 1);
      EXPECT_TRUE(enemies[static_cast<size_t>(i)]->BossPart);
      EXPECT_FALSE(EnemyDestroyed[i + 1]);
    }
    EXPECT_EQ(enemies[1]->X, -25 + c.FirstX);
    EXPECT_EQ(enemies[1]->Y, -15 + c.FirstY);
    // The body stays out of the hit test while its parts live.
    Step();
    EXPECT_TRUE(EnemyDestroyed[1]);
  }
}

// Path-flying enemies start spread along their path by the number alive;
// a start index that names no point is mended.
TEST_F(EnemyCreation, PathStartsFollowTheCountAliveAndStayOnThePath) {
  struct TCase {
    int Type, Path, AliveBefore;
    bool Spawned;
    double X;
    int Index;  // expected PathIndex; 0: stays at (X, 100) and heads for point 1
  } cases[] = {
      // Patterns 2 and 9 on path 1: 22 × EA up to 14, then 22 × EA - 330.
      {2, 1, 0, false, 300, 22},
      {2, 1, 13, false, 300, 308},
      {2, 1, 14, false, 300, 0},
      {11, 1, 15, false, 300, 22},
      // Pattern 3 on path 3 and 4 on path 2: 15 × EA up to 19, then - 300.
      {3, 3, 18, false, 300, 285},
      {3, 3, 19, false, 300, 0},
      {1, 2, 20, false, 300, 15},
      // Pattern 6 on path 4: 20 × EA up to 14, then - 300.
      {6, 4, 14, false, 300, 0},
      // Pattern 7 on path 5: 40 × EA up to 7, then - 320; 440 at 19 wraps.
      {8, 5, 6, false, 300, 280},
      {8, 5, 7, false, 300, 0},
      {8, 5, 18, false, 300, 41},
      // Patterns 10 and 11: 30 × EA up to 12, then - 390; 420 at 27 wraps.
      {14, 6, 12, false, 300, 0},
      {17, 7, 26, false, 300, 21},
      // Sent in by a boss: type 2 joins path 1 by the side it came from.
      {2, 1, 0, true, 419, 62},
      {2, 1, 0, true, 420, 0},
      {2, 1, 0, true, 421, 124},
      // A sent-in type 8 always enters where it was sent.
      {8, 5, 0, true, 500, 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "type " << c.Type << " alive " << c.AliveBefore
                                    << (c.Spawned ? " spawned at " : " at ") << c.X);
    EnemiesAlive = c.AliveBefore;
    ++EnemyCount;
    CreateEnemy(20, c.Type, c.X, 100, EnemyCount, c.Spawned, !c.Spawned);
    TEnemySprite* e = Last();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->PathIndex, c.Index);
    EXPECT_EQ(e->StartX, c.X);
    const TWayPath& path = WayPaths[static_cast<size_t>(c.Path)];
    const double shift = c.Spawned ? e->Width / 2.0 : 0;
    if (c.Index == 0 || c.Spawned) {
      EXPECT_EQ(e->X, c.X - shift);
      EXPECT_EQ(e->Y, 100);
    } else {
      EXPECT_EQ(e->X, path.X[static_cast<size_t>(c.Index)]);
      EXPECT_EQ(e->Y, path.Y[static_cast<size_t>(c.Index)]);
    }
    EXPECT_EQ(e->Z(), c.Spawned ? 8 : 20);
    // Its first step heads for the next point, which exists.
    const double x0 = e->X, y0 = e->Y;
    const size_t next = static_cast<size_t>(e->PathIndex) + 1;
    const double before = std::hypot(path.X[next] - x0, path.Y[next] - y0);
    Step();
    if (before > 2) EXPECT_LT(std::hypot(path.X[next] - e->X, path.Y[next] - e->Y), before);
    e->MarkDead();
    Engine()->FreeDead();
  }
}

TEST_F(EnemyCreation, DifficultyScalesHealthShotSpeedAndReload) {
  struct TCase {
    int Type, Difficulty, Health;
    double ShotSpeed;
    int ReloadBase, ReloadRange, ReloadSign;  // Reload = Base + Sign × Random(Range)
  } cases[] = {
      {1, 0, 22 - 4, 0.075, 820, 328, +1}, {1, 1, 22, 0.1, 820, 410, -1},
      {1, 2, 26, 0.12, 328, 164, -1},      {14, 2, 46, 1.68, 208, 104, -1},
      {7, 0, 8 - 1, 0.15, 0, 0, +1},       {7, 1, 8, 0.2, 0, 0, -1},
      {7, 2, 8 + 1, 0.24, 0, 0, -1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "type " << c.Type << " difficulty " << c.Difficulty);
    Player.Difficulty = c.Difficulty;
    RandSeed = 77;
    const int reload = c.ReloadBase + c.ReloadSign * Random(c.ReloadRange);
    const double fireTimer = Random(reload) - 150;
    RandSeed = 77;
    TEnemySprite* e = Make(c.Type);
    EXPECT_EQ(e->Info.Health, c.Health);
    EXPECT_EQ(e->Info.MaxHealth, c.Health);
    EXPECT_NEAR(e->Info.ShotSpeed, c.ShotSpeed, 1e-12);
    EXPECT_EQ(e->Info.Reload, reload);
    EXPECT_EQ(e->FireTimer, fireTimer);
    if (c.Type == 7) EXPECT_EQ(e->FireTimer, -150);
  }
}

TEST_F(EnemyCreation, InfoComesFromTheTypeRow) {
  TEnemySprite* e = Make(18, 200, 120);
  EXPECT_EQ(e->Info.KindName, "enemy18");
  EXPECT_EQ(e->Image()->Name(), "enemy11");
  EXPECT_EQ(e->Info.Points, 35);
  EXPECT_EQ(e->Info.Shot, "enemy14clip");
  EXPECT_EQ(e->AnimCount, 20);
  EXPECT_TRUE(e->AnimLooped);
  EXPECT_EQ(e->HealthBar->Image()->Name(), "showhealth");
  EXPECT_FALSE(e->HealthBar->Visible);
  EXPECT_EQ(e->HealthBar->Z(), 35);
  ++EnemyCount;
  CreateEnemy(20, 2, 440, -100, EnemyCount, true, false);
  EXPECT_EQ(Last()->Info.Points, 0);
}

// A roaming enemy starts anywhere and heads for its first random target.
TEST_F(EnemyCreation, RoamerDrawsItsPlaceThenItsTarget) {
  RandSeed = 5;
  const int x = 100 + Random(580), y = Random(400), tx = 100 + Random(580), ty = Random(300);
  RandSeed = 5;
  TEnemySprite* e = Make(19, 1, 1);
  EXPECT_EQ(e->X, x);
  EXPECT_EQ(e->Y, y);
  EXPECT_EQ(e->TargetX, tx);
  EXPECT_EQ(e->TargetY, ty);
  EXPECT_EQ(e->StartX, 1);
}

// A synthetic path: a straight line right along Y 50, ten pixels a point.
void StraightPath(int Path) {
  for (int i = 1; i <= WayPathPoints; ++i) {
    WayPaths[static_cast<size_t>(Path)].X[static_cast<size_t>(i)] = 100 + 10 * i;
    WayPaths[static_cast<size_t>(Path)].Y[static_cast<size_t>(i)] = 50;
  }
}

TEST_F(EnemyMovement, PathFlyersReachEachPointAndGoRound) {
  StraightPath(1);
  TEnemySprite* e = Make(2);  // pattern 2, Speed 8
  e->FireTimer = -1e9;
  e->PathIndex = 5;
  e->X = 150;
  e->Y = 50;
  // 8 × 25 / 100 = 2 px a frame towards point 6 at X 160: arrived, within
  // 2 px, after four frames.
  for (int i = 0; i < 3; ++i) Step(25);
  EXPECT_EQ(e->X, 156);
  EXPECT_EQ(e->PathIndex, 5);
  Step(25);
  EXPECT_EQ(e->X, 158);
  EXPECT_EQ(e->Y, 50);
  EXPECT_EQ(e->PathIndex, 6);

  // After point 400 comes point 2.
  e->PathIndex = 399;
  e->X = WayPaths[1].X[400] - 1;
  Step(20);
  EXPECT_EQ(e->PathIndex, 1);
  const double x = e->X;
  Step(20);
  EXPECT_LT(e->X, x) << "heads back towards point 2";
}

// Every path flyer, at the frame lengths of a fast and of a slow machine,
// goes round its path point by point, spending on each leg no more frames
// than its length takes at the flyer's pace. A step longer than the 2-pixel
// arrival box would otherwise carry a fast flyer over a point again and
// again, and it would circle there for good.
TEST_F(EnemyMovement, PathFlyersGoRoundTheirPathsAtAnyFrameLength) {
  struct TFlyer {
    int Path;
    double Speed;  // of the types that fly it, and the third boss's body
  };
  constexpr TFlyer Flyers[] = {{1, 8},   {1, 5.5}, {2, 7},  {2, 7.2}, {3, 6.5}, {3, 9},
                               {4, 6.5}, {5, 8},   {6, 13}, {7, 12},  {8, 10}};
  TEnemySprite* e = Make(2);
  for (const int lag : {16, 18, 33, 40, 45}) {
    for (const TFlyer& f : Flyers) {
      SCOPED_TRACE("path " + std::to_string(f.Path) + ", speed " + std::to_string(f.Speed) + ", " +
                   std::to_string(lag) + " ms a frame");
      const TWayPath& path = WayPaths[static_cast<size_t>(f.Path)];
      const double step = f.Speed * lag / 100;
      e->Info.Speed = f.Speed;
      e->PathIndex = 1;
      e->X = path.X[1];
      e->Y = path.Y[1];
      // Twice round: points 2..400, then 2 again and on to 400.
      for (int leg = 0; leg < 2 * (WayPathPoints - 1); ++leg) {
        const int from = e->PathIndex;
        const auto to = static_cast<size_t>(from) + 1;
        const double length = std::hypot(path.X[to] - e->X, path.Y[to] - e->Y);
        const int allowed = static_cast<int>(length / step) + 3;
        int frames = 0;
        while (e->PathIndex == from && frames <= allowed) {
          e->FollowPath(f.Path, lag);
          ++frames;
        }
        ASSERT_NE(e->PathIndex, from) << "still short of point " << to << " after " << frames
                                      << " frames, at " << e->X << ", " << e->Y;
        EXPECT_LE(std::hypot(path.X[to] - e->X, path.Y[to] - e->Y),
                  std::max(step, 2 * M_SQRT2) + 1e-9)
            << "arrived at point " << to << " from too far";
      }
    }
  }
}

TEST_F(EnemyMovement, MendedStartIndexZeroFliesToPointOne) {
  StraightPath(1);
  // The fifteenth pattern-2 enemy of a level computes index 0.
  EnemiesAlive = 14;
  TEnemySprite* e = Make(2, 60, 50);
  e->FireTimer = -1e9;
  EXPECT_EQ(e->PathIndex, 0);
  EXPECT_EQ(e->X, 60);
  for (int i = 0; i < 24; ++i) Step(25);
  EXPECT_EQ(e->PathIndex, 1);
  EXPECT_EQ(e->X, 108);
}

TEST_F(EnemyMovement, FormationSwaysFasterAsItThinsAndTheLastOneHunts) {
  struct TCase {
    int Alive;
    double Pace;
  } cases[] = {{24, 32.0 / 50}, {2, 32.0 / 6}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Alive);
    TEnemySprite* e = Make(4, 300, 100);
    e->FireTimer = -1e9;
    EnemiesAlive = c.Alive;
    Step(20);
    EXPECT_NEAR(e->X, 300 + c.Pace / 40 * 20, 1e-9);
    EXPECT_NEAR(e->Info.Speed, c.Pace, 1e-12);
    // Moving left keeps its sign.
    e->Info.Speed = -1.5;
    e->X = 300;
    Step(20);
    EXPECT_NEAR(e->X, 300 - c.Pace / 40 * 20, 1e-9);
    e->MarkDead();
    Engine()->FreeDead();
  }

  // A bounce off the right edge.
  TEnemySprite* e = Make(4, 790, 100);
  e->FireTimer = -1e9;
  EnemiesAlive = 24;
  Step(20);
  EXPECT_LT(e->Info.Speed, 0);
  EXPECT_NEAR(e->X, 790 - 1.5 / 25 * 20 - 0.64 / 40 * 20, 1e-9);

  // The last one closes in on the ship at 15 / 67 px per ms, with fast fire.
  EnemiesAlive = 1;
  e->X = 500;
  Step(20);
  EXPECT_NEAR(e->X, 500 - 20 * 15 / 67.0, 1e-9);
  EXPECT_EQ(e->Info.Reload, 30);
  EXPECT_EQ(e->Info.ShotSpeed, 20);
  PlayerShip->X = 700;
  e->X = 500;
  Step(20);
  EXPECT_NEAR(e->X, 500 + 20 * 15 / 67.0, 1e-9);
  PlayerShip->X = 500;
  Step(20);
  EXPECT_NEAR(e->X, 500 + 20 * 15 / 67.0, 1e-9) << "close enough: it stays";
}

TEST_F(EnemyMovement, CirclersLoopAndJumpBackHome) {
  TEnemySprite* e = Make(7, 200, 150);  // pattern 8
  Step(20);
  EXPECT_NEAR(e->Phase, 2, 1e-12);
  EXPECT_NEAR(e->X, 200 + SineStep(2) * 20 / 35, 1e-9);
  EXPECT_NEAR(e->Y, 150 + CosineStep(2) * 0.02 * 20, 1e-9);
  e->Phase = 254;
  e->X = 10;
  Step(20);
  EXPECT_EQ(e->Phase, 0);
  EXPECT_EQ(e->X, 200);
  EXPECT_EQ(e->Y, 150);
  EXPECT_TRUE(Shots().empty()) << "a circler never fires on its own";
}

TEST_F(EnemyMovement, RoamersFlyToTheirTargetFireAndPickTheNext) {
  TEnemySprite* e = Make(19);  // pattern 12, Speed 14
  e->X = 200;
  e->Y = 100;
  e->TargetX = 300;
  e->TargetY = 100;
  Step(20);
  EXPECT_NEAR(e->X, 200 + 14 * 20 / 100.0, 1e-9);
  EXPECT_NEAR(e->Y, 100, 1e-9);
  EXPECT_TRUE(Shots().empty());
  e->X = 297;
  RandSeed = 9;
  const int tx = 100 + Random(580), ty = Random(300);
  RandSeed = 9;
  Step(20);
  EXPECT_EQ(Shots().size(), 1u);
  EXPECT_EQ(e->TargetX, tx);
  EXPECT_EQ(e->TargetY, ty);
}

TEST_F(EnemyMovement, FireTimerCountsIn22MsUnits) {
  TEnemySprite* e = Make(4, 300, 100);
  EnemiesAlive = 24;
  e->Info.Reload = 10;
  e->FireTimer = 0;
  for (int i = 0; i < 10; ++i) Step(22);
  EXPECT_TRUE(Shots().empty());
  EXPECT_NEAR(e->FireTimer, 10, 1e-9);
  Step(22);
  EXPECT_EQ(Shots().size(), 1u);
  EXPECT_EQ(e->FireTimer, 0);
}

TEST_F(EnemyMovement, OnlyPlayMovesEnemies) {
  TEnemySprite* e = Make(4, 300, 100);
  for (const char* state : {"pause", "book", "levelcomplete"}) {
    GameState = state;
    Step(20);
    EXPECT_EQ(e->X, 300) << state;
  }
}

TEST_F(EnemyDamage, HitsWearHealthDownAndTheLastOneKills) {
  TEnemySprite* e = Make(4, 300, 100);  // 11 hit points
  e->FireTimer = -1e9;
  Hit(e, 10);
  Step();
  EXPECT_EQ(e->Info.Health, 1);
  EXPECT_EQ(HitEnemy, -1);
  EXPECT_TRUE(e->HealthBar->Visible);
  // The bar shows what is left, at half the craft's width.
  const int w = static_cast<int>(std::nearbyint(static_cast<double>(e->Width) / 11));
  EXPECT_EQ(e->HealthBar->Width, w != 0 ? w * 1 / 2 : 0);
  EXPECT_FALSE(e->IsDead());
  EXPECT_EQ(EnemiesAlive, 1);

  Hit(e, 1);
  Step();
  EXPECT_EQ(EnemiesAlive, 0);
  EXPECT_TRUE(Enemies().empty());
  EXPECT_TRUE(EnemyDestroyed[1]);
  EXPECT_EQ(Player.LevelScore, 3);
  EXPECT_EQ(Player.EnemiesDestroyed, 1);

  // A bar unhit for 150 frames goes away.
  TEnemySprite* f = Make(4, 300, 100);
  f->FireTimer = -1e9;
  Hit(f, 1);
  Step();
  for (int i = 0; i < 150; ++i) Step();
  EXPECT_TRUE(f->HealthBar->Visible);
  Step();
  EXPECT_FALSE(f->HealthBar->Visible);
}

TEST_F(EnemyDamage, ScoreDependsOnDifficultyButLevelScoreDoesNot) {
  struct TCase {
    int Type, Difficulty;
    int64_t Score;
  } cases[] = {
      {1, 0, 9},   {1, 1, 10},  {1, 2, 11},   // 10 points
      {14, 0, 31}, {14, 1, 35}, {14, 2, 39},  // 35 points
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "type " << c.Type << " difficulty " << c.Difficulty);
    Player = TPlayer();
    Player.Difficulty = c.Difficulty;
    TEnemySprite* e = Make(c.Type);
    Hit(e, 1000);
    Step();
    EXPECT_EQ(Player.Score, c.Score);
    EXPECT_EQ(Player.LevelScore, EnemyTypes[static_cast<size_t>(c.Type)].Info.Points);
  }
}

TEST_F(EnemyDamage, EachTypeEntersTheBookOnceAndOnlyOffBossLevels) {
  IncomingMessage = MakeInterface("ready");
  IncomingMessage->Visible = false;
  for (int type : {4, 4, 5}) {
    TEnemySprite* e = Make(type);
    Hit(e, 1000);
    Step();
  }
  EXPECT_EQ(EnemyBookCount, 2);
  EXPECT_EQ(EnemyBook[1], 4);
  EXPECT_EQ(EnemyBook[2], 5);
  EXPECT_EQ(EnemyBook[20], 2);
  EXPECT_EQ(ReadIniValue("eB", "e"), "0405" + std::string(34, '0')) << "written at once";
  EXPECT_TRUE(IncomingMessage->Visible);

  CurrentMission = 1;
  CurrentLevel = 10;
  TEnemySprite* e = Make(2);
  Hit(e, 1000);
  Step();
  EXPECT_EQ(EnemyBookCount, 2);
  EXPECT_EQ(EnemyBook[3], 0);

  // A full book takes no more.
  CurrentLevel = 1;
  for (int i = 1; i <= EnemyBookSize; ++i) EnemyBook[static_cast<size_t>(i)] = 100 + i;
  EnemyBookCount = EnemyBookSize;
  e = Make(6);
  Hit(e, 1000);
  Step();
  EXPECT_EQ(EnemyBookCount, EnemyBookSize);
  EXPECT_EQ(EnemyBook[20], 2);
  IncomingMessage = nullptr;
}

TEST_F(EnemyDamage, LeavingPlayKillsEveryEnemySilently) {
  for (const char* state : {"mainmenu", "gameover"}) {
    SCOPED_TRACE(state);
    Player = TPlayer();
    Make(4);
    Make(5);
    Hit(Last(), 1000);
    GameState = state;
    Step();
    EXPECT_TRUE(Enemies().empty());
    EXPECT_EQ(EnemiesAlive, 0);
    EXPECT_EQ(Player.Score, 0);
    EXPECT_EQ(Player.EnemiesDestroyed, 0);
    EXPECT_EQ(EnemyBookCount, 0);
    GameState = "game";
  }
}

TEST_F(EnemyDamage, ADestroyedCirclerBurstsIntoARing) {
  TEnemySprite* e = Make(7, 300, 200);
  for (int i = 0; i < 50; ++i) Step();
  EXPECT_TRUE(Shots().empty());
  const double y = e->Y + e->Height;
  Hit(e, 1000);
  Step();
  const auto shots = Shots();
  ASSERT_EQ(shots.size(), 8u);
  for (const TEnemyShoot* s : shots) EXPECT_LT(s->Y, y + 100) << "fired where it died";
}

}  // namespace
