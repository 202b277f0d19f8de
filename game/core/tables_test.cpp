#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "game/core/enemy_table.h"
#include "game/core/mission_table.h"

namespace {

class Tables : public ::testing::Test {
 protected:
  void SetUp() override {
    InitEnemyTexts();
    InitMissionTable();
  }
};

TEST_F(Tables, GoldenEnemyAndBossRows) {
  const TSpriteInfo& t7 = EnemyTypes[7].Info;
  EXPECT_EQ(EnemyNames[7], "MB-1a");
  EXPECT_EQ(t7.Reload, 0);  // never fires by its timer
  EXPECT_EQ(t7.Points, 11);
  EXPECT_EQ(t7.Pattern, 8);
  EXPECT_EQ(t7.KindName, "enemy7");
  EXPECT_EQ(EnemyTypes[7].Model, "s_enemy3");

  const TEnemyType& t19 = EnemyTypes[19];
  EXPECT_EQ(EnemyNames[19], "Brain");
  EXPECT_EQ(t19.Info.Health, 55);
  EXPECT_EQ(t19.Info.MaxHealth, 55);
  EXPECT_DOUBLE_EQ(t19.Info.Speed, 14);
  EXPECT_EQ(t19.Info.Shot, "enemy19clip");
  EXPECT_EQ(t19.Info.ShotFrames, 11);
  EXPECT_DOUBLE_EQ(t19.Info.ShotAnimSpeed, 1.0 / 22);
  EXPECT_EQ(t19.ModelFrames, 22);
  EXPECT_DOUBLE_EQ(t19.ModelSpeed, 1.0 / 40);
  EXPECT_EQ(EnemyTypes[4].Info.Glow, "smoke3");
  EXPECT_EQ(EnemyTypes[4].Info.GlowFrames, 7);
  EXPECT_FALSE(EnemyTypes[4].Info.ShotAnimated);
  for (int t = 1; t <= EnemyTypeCount; ++t) {
    const TSpriteInfo& i = EnemyTypes[t].Info;
    EXPECT_EQ(i.EnemyType, t);
    EXPECT_EQ(i.KindName, "enemy" + std::to_string(t));
    EXPECT_EQ(i.MuzzleFrames, 16) << t;
    EXPECT_DOUBLE_EQ(i.MuzzleSpeed, 1.0 / 40) << t;
    EXPECT_EQ(i.FireFrames, 0) << t;
    EXPECT_FALSE(EnemyNames[t].empty());
  }

  const struct {
    int Points, ModelFrames;
    double ModelSpeed;
    const char *Explosion, *Shot;
    bool ShotAnimated;
    double ShotSpeed;
    int Reload;
  } bosses[] = {{400, 0, 1.0 / 300, "ExplosionFx2", "bomb2", false, 0.05, 10},
                {800, 0, 0, "ExplosionFx2", "bomb2", false, 0.05, 35},
                {1200, 10, 1.0 / 50, "ExplosionFx5", "enemy8clip", true, 0.4, 10}};
  for (int k = 1; k <= BossKindCount; ++k) {
    const auto& want = bosses[k - 1];
    const TEnemyType& b = BossTypes[k];
    EXPECT_EQ(b.Info.KindName, "boss" + std::to_string(k));
    EXPECT_EQ(b.Info.EnemyType, 0);
    EXPECT_EQ(b.Info.Points, want.Points);
    EXPECT_EQ(b.ModelFrames, want.ModelFrames);
    EXPECT_DOUBLE_EQ(b.ModelSpeed, want.ModelSpeed);
    EXPECT_EQ(b.Info.Explosion, want.Explosion);
    EXPECT_EQ(b.Info.Shot, want.Shot);
    EXPECT_EQ(b.Info.ShotAnimated, want.ShotAnimated);
    EXPECT_DOUBLE_EQ(b.Info.ShotSpeed, want.ShotSpeed);
    EXPECT_EQ(b.Info.Reload, want.Reload);
    EXPECT_EQ(b.Info.Health, 99999);
    EXPECT_EQ(b.Info.Pattern, 5);
    EXPECT_EQ(b.Info.Muzzle, "smokeshoot1");
  }
}

TEST_F(Tables, PlayerDefaultsDescriptionsAndVoices) {
  EXPECT_EQ(Player.Name, "Player1");
  EXPECT_EQ(Player.PrimaryLevel, 1);
  EXPECT_EQ(Player.PrimaryReload, 45);
  EXPECT_EQ(Player.Rockets, 4);
  EXPECT_EQ(Player.SecondaryReload, 50);
  EXPECT_DOUBLE_EQ(Player.RocketSpeed, 0.5);
  EXPECT_EQ(Player.Status, 2);
  EXPECT_EQ(Player.Difficulty, 1);
  EXPECT_EQ(Player.Score, 0);

  EXPECT_EQ(EnemyDescriptions[1][1], "Biological substance.");
  EXPECT_EQ(EnemyDescriptions[1][2], "");
  EXPECT_EQ(EnemyDescriptions[10][6], "               faster.");  // spaces belong to the text
  EXPECT_EQ(EnemyDescriptions[19][8], "         -Main Brain-");
  size_t filled = 0;
  for (int t = 1; t <= EnemyTypeCount; ++t)
    for (int l = 1; l <= DescriptionLines; ++l) {
      EXPECT_LE(EnemyDescriptions[t][l].size(), 40u);
      filled += !EnemyDescriptions[t][l].empty();
    }
  EXPECT_EQ(filled, 97u);

  EXPECT_DOUBLE_EQ(VoiceAnimSpeed[1][5], 1.0 / 22);
  EXPECT_EQ(VoiceDuration[1][5], 21);
  EXPECT_EQ(VoiceDuration[2][3], 13);
  EXPECT_DOUBLE_EQ(VoiceAnimSpeed[8][3], 1.0 / 31);
  EXPECT_EQ(VoiceDuration[5][2], 0);
}

int CountCells(const TLevel& L, int Type, bool Waves) {
  int n = 0;
  if (Waves) {
    for (int r = 1; r <= WaveRows; ++r)
      for (int c = 1; c <= WaveColumns; ++c) n += Type ? L.Waves[r][c] == Type : L.Waves[r][c] != 0;
  } else {
    for (int r = 1; r <= FormationRows; ++r)
      for (int c = 1; c <= FormationColumns; ++c)
        n += Type ? L.Formation[r][c] == Type : L.Formation[r][c] != 0;
  }
  return n;
}

TEST_F(Tables, LevelLayouts) {
  // Mission 1, level 1: no wave groups, 8 + 8 + 6 + 4 formation enemies of
  // type 4 in rows 2 to 5.
  const TLevel& m1l1 = Episodes[1].Levels[1];
  EXPECT_EQ(CountCells(m1l1, 0, true), 0);
  EXPECT_EQ(CountCells(m1l1, 0, false), 26);
  EXPECT_EQ(CountCells(m1l1, 4, false), 26);
  EXPECT_EQ(m1l1.Formation[2][3], 4);
  EXPECT_EQ(m1l1.Formation[2][2], 0);
  EXPECT_EQ(m1l1.Formation[5][5], 4);
  EXPECT_EQ(m1l1.Formation[1][5], 0);
  // Mission 1, level 9: 5 of type 8 in row 1, 6 of type 6 in row 2, no
  // formation.
  const TLevel& m1l9 = Episodes[1].Levels[9];
  EXPECT_EQ(CountCells(m1l9, 8, true), 5);
  EXPECT_EQ(CountCells(m1l9, 6, true), 6);
  for (int c = 1; c <= 5; ++c) EXPECT_EQ(m1l9.Waves[1][c], 8);
  for (int c = 1; c <= 6; ++c) EXPECT_EQ(m1l9.Waves[2][c], 6);
  EXPECT_EQ(CountCells(m1l9, 0, false), 0);
  // Mission 2, level 3: a mixed row a, j, a, j...
  for (int c = 1; c <= 8; ++c) EXPECT_EQ(Episodes[2].Levels[3].Waves[1][c], c % 2 ? 1 : 10);

  std::set<int> seen;
  for (int m = 1; m <= MissionCount; ++m) {
    for (int l = 1; l <= LevelsPerMission; ++l) {
      const TLevel& L = Episodes[m].Levels[l];
      for (int r = 1; r <= WaveRows; ++r)
        for (int c = 1; c <= WaveColumns; ++c) {
          EXPECT_GE(L.Waves[r][c], 0);
          EXPECT_LE(L.Waves[r][c], 19);
          seen.insert(L.Waves[r][c]);
        }
      for (int r = 1; r <= FormationRows; ++r)
        for (int c = 1; c <= FormationColumns; ++c) seen.insert(L.Formation[r][c]);
      bool boss = l == 10 && (m == 1 || m == 3 || m == 5 || m == 10);
      EXPECT_EQ(L.BossKind != 0, boss) << m << "/" << l;
      EXPECT_EQ(L.BossParts != 0, boss) << m << "/" << l;
      if (boss) EXPECT_EQ(CountCells(L, 0, true) + CountCells(L, 0, false), 0);
      // Backgrounds: slots 2..5 on levels 1..9, 6..9 on level 10.
      for (int s = 1; s <= BackgroundSlots; ++s) {
        bool used = l < 10 ? s >= 2 && s <= 5 : s >= 6 && s <= 9;
        EXPECT_EQ(!L.Backgrounds[s].empty(), used) << m << "/" << l << " slot " << s;
      }
    }
  }
  EXPECT_EQ(seen.size(), 20u);  // 0 and every type 1..19
  EXPECT_EQ(Episodes[1].Levels[10].BossKind, 1);
  EXPECT_EQ(Episodes[1].Levels[10].BossParts, 4);
  EXPECT_EQ(Episodes[3].Levels[10].BossKind, 2);
  EXPECT_EQ(Episodes[5].Levels[10].BossParts, 6);
  EXPECT_EQ(Episodes[10].Levels[10].BossKind, 3);
  EXPECT_EQ(Episodes[1].Levels[4].Backgrounds[2], "back2");
  EXPECT_EQ(Episodes[1].Levels[10].Backgrounds[9], "layer1");
  EXPECT_EQ(Episodes[9].Levels[3].Backgrounds[5], "layer3");
  EXPECT_EQ(Episodes[1].Name, "Mission1: invasion");
  EXPECT_EQ(Episodes[2].Name,
            "\xCC\xE8\xF1\xF1\xE8\xFF"
            "2");
}

// Every path passes through its samples, fills its box (both ends of both
// ranges reached within 2 pixels, nothing outside) and moves at most 20
// pixels from one point to the next.
TEST_F(Tables, WayPathsPassTheirSamplesFillTheirRangesInSmallSteps) {
  // A few entries of the design's table, as a check on the copy.
  EXPECT_EQ(WayPathShapes[4].MaxX, 730);
  EXPECT_EQ(WayPathShapes[5].MinY, 0);
  EXPECT_EQ(WayPathShapes[8].MaxY, 116);
  EXPECT_EQ(WayPathShapes[7].Samples[2].Point, 100);
  EXPECT_EQ(WayPathShapes[7].Samples[2].X, 644);
  for (int p = 1; p <= WayPathCount; ++p) {
    SCOPED_TRACE("path " + std::to_string(p));
    const TWayPath& path = WayPaths[static_cast<size_t>(p)];
    const TWayPathShape& c = WayPathShapes[static_cast<size_t>(p)];
    for (const TWayPathSample& sample : c.Samples) {
      EXPECT_EQ(path.X[static_cast<size_t>(sample.Point)], sample.X) << "point " << sample.Point;
      EXPECT_EQ(path.Y[static_cast<size_t>(sample.Point)], sample.Y) << "point " << sample.Point;
    }
    int minX = 100000, maxX = -100000, minY = 100000, maxY = -100000;
    double longest = 0;
    for (size_t i = 1; i <= WayPathPoints; ++i) {
      minX = std::min(minX, path.X[i]);
      maxX = std::max(maxX, path.X[i]);
      minY = std::min(minY, path.Y[i]);
      maxY = std::max(maxY, path.Y[i]);
      if (i > 1)
        longest =
            std::max(longest, std::hypot(path.X[i] - path.X[i - 1], path.Y[i] - path.Y[i - 1]));
    }
    EXPECT_GE(minX, c.MinX);
    EXPECT_LE(minX, c.MinX + 2);
    EXPECT_LE(maxX, c.MaxX);
    EXPECT_GE(maxX, c.MaxX - 2);
    EXPECT_GE(minY, c.MinY);
    EXPECT_LE(minY, c.MinY + 2);
    EXPECT_LE(maxY, c.MaxY);
    EXPECT_GE(maxY, c.MaxY - 2);
    EXPECT_LE(longest, 20);
    std::printf("path %d: X %d..%d, Y %d..%d, longest step %.1f\n", p, minX, maxX, minY, maxY,
                longest);
  }
}

}  // namespace
