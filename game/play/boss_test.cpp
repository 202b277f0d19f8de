// Boss fights: parts riding on the body, their fire, the enemies they send
// in or release, and the death sequence that ends the fight.
#include <algorithm>

#include "game/play/enemy_common.h"
#include "game/play/enemy_test_fixture.h"

namespace {

class BossFight : public EnemyFixture {
 protected:
  // Loads level 10 of Mission; the enemies in creation order, body first.
  std::vector<TEnemySprite*> Fight(int Mission) {
    CurrentMission = Mission;
    CurrentLevel = 10;
    BossPartsAlive = Episodes[static_cast<size_t>(Mission)].Levels[10].BossParts;
    LoadEnemies(10);
    return Enemies();
  }
  // Everybody quiet: no fire, no spawns, unless a test wants them.
  void Silence() {
    for (TEnemySprite* e : Enemies()) e->FireTimer = -1e9;
  }
  void Kill(TEnemySprite* E) {
    Hit(E, 1000000);
    Step();
  }
  // Ends the fight at once, for the next case.
  void Clear() {
    for (TEnemySprite* e : Enemies()) {
      e->HealthBar->MarkDead();
      e->MarkDead();
    }
    for (TEnemyShoot* s : Shots()) s->MarkDead();
    Engine()->FreeDead();
    BossDying = false;
    BossDeathCountdown = 0;
    FireLocked = false;
  }
};

TEST_F(BossFight, PartsRideOnTheBodyInTheSameFrameButBoss3sLagOneStep) {
  for (int mission : {1, 3}) {
    SCOPED_TRACE(mission);
    auto boss = Fight(mission);
    Silence();
    for (int i = 0; i < 30; ++i) Step(20);
    const TEnemySprite* body = boss[0];
    EXPECT_NE(body->X, -25) << "the body sways";
    EXPECT_EQ(BossBaseX, body->X);
    EXPECT_EQ(BossBaseY, body->Y);
    for (size_t i = 1; i < boss.size(); ++i) {
      EXPECT_EQ(boss[i]->X, body->X + boss[i]->BossOffsetX);
      EXPECT_EQ(boss[i]->Y, body->Y + boss[i]->BossOffsetY);
    }
    Clear();
  }

  auto boss = Fight(5);
  Silence();
  TEnemySprite* body = boss[0];
  EXPECT_EQ(body->PathIndex, 0);
  for (int i = 0; i < 30; ++i) {
    const double x = body->X, y = body->Y;
    Step(20);
    for (size_t p = 1; p < boss.size(); ++p) {
      EXPECT_EQ(boss[p]->X, x + boss[p]->BossOffsetX);
      EXPECT_EQ(boss[p]->Y, y + boss[p]->BossOffsetY);
    }
  }
  EXPECT_NE(body->X, -25) << "it flies towards path 8";
}

TEST_F(BossFight, WeaponsFireAnAimedShotThenARingInBurstsOfSeven) {
  auto boss = Fight(1);
  // Part timers start staggered.
  for (size_t p = 1; p <= 4; ++p) EXPECT_EQ(boss[p]->FireTimer, 55.0 * (p - 1));
  Silence();
  TEnemySprite* weapon = boss[1];
  ASSERT_EQ(weapon->Info.KindName, "boss1weapon1");
  EXPECT_EQ(weapon->Info.Reload, 160);

  // The first rule's count reaches the interval: the second fires one shot.
  weapon->FireTimer = 159.5;
  Step(22);
  auto shots = Shots();
  ASSERT_EQ(shots.size(), 1u);
  EXPECT_EQ(shots[0]->Pattern, 6);
  EXPECT_EQ(shots[0]->Image()->Name(), "enemy4clip");
  EXPECT_EQ(weapon->FireTimer, 0);

  // The second rule's count reaches it: the next frame opens with a ring.
  weapon->FireTimer = 158.5;
  Step(22);
  EXPECT_EQ(Shots().size(), 1u);
  Step(22);
  EXPECT_EQ(Shots().size(), 9u);

  // Seven shots, then 120 units of pause.
  weapon->BurstCount = 0;
  std::vector<double> timers;
  for (int i = 0; i < 8; ++i) {
    weapon->AnimPos = 5;
    weapon->Shoot(1);
    timers.push_back(weapon->FireTimer);
    EXPECT_EQ(weapon->AnimPos, 0) << "the firing animation restarts";
  }
  EXPECT_EQ(timers, (std::vector<double>{0, 0, 0, 0, 0, 0, -120, 0}));
}

TEST_F(BossFight, SpawnersSendEnemiesInOnlyBelowTheirCaps) {
  // Boss 1's creators send type 2 from their centres above the screen while
  // fewer than 18 live; the number advances either way.
  auto boss = Fight(1);
  Silence();
  TEnemySprite* creator = boss[3];
  ASSERT_EQ(creator->Info.KindName, "boss1creator");
  creator->FireTimer = creator->Info.Reload;
  Step(20);
  EXPECT_EQ(EnemyCount, 6);
  TEnemySprite* sent = Last();
  EXPECT_EQ(sent->Number, 6);
  EXPECT_EQ(sent->Info.EnemyType, 2);
  EXPECT_EQ(sent->Info.Points, 0);
  EXPECT_EQ(sent->StartX, creator->X + creator->Width / 2.0);
  EXPECT_EQ(sent->StartY, -100);
  EXPECT_FALSE(EnemyDestroyed[6]);

  EnemiesAlive = 18;
  creator->FireTimer = creator->Info.Reload;
  const size_t before = Enemies().size();
  Step(20);
  EXPECT_EQ(EnemyCount, 7);
  EXPECT_EQ(Enemies().size(), before);

  // A creator's kill gives no points and no bonus.
  EnemiesAlive = 6;
  Player = TPlayer();
  Kill(sent);
  EXPECT_EQ(Player.Score, 0);
  EXPECT_EQ(Player.EnemiesDestroyed, 1);
  Clear();

  // Boss 2's body sends type 8 every interval, four in a row, then pauses;
  // with 16 alive it sends nothing and the number stays.
  boss = Fight(3);
  Silence();
  TEnemySprite* body = boss[0];
  ASSERT_EQ(body->Info.Reload, 35);
  std::vector<int> sentAt;
  body->FireTimer = 35;
  for (int frame = 1; frame <= 520; ++frame) {
    const int count = EnemyCount;
    Step(22);
    if (EnemyCount != count) sentAt.push_back(frame);
  }
  ASSERT_GE(sentAt.size(), 5u);
  EXPECT_EQ(sentAt[0], 1);
  EXPECT_EQ(sentAt[1] - sentAt[0], 36);
  EXPECT_EQ(sentAt[3] - sentAt[2], 36);
  EXPECT_EQ(sentAt[4] - sentAt[3], 36 + 370);
  TEnemySprite* eight = Enemies()[7];
  EXPECT_EQ(eight->Info.EnemyType, 8);
  EXPECT_EQ(eight->Z(), 8);
  EXPECT_EQ(eight->Number, 8);

  EnemiesAlive = 16;
  body->FireTimer = 35;
  const int count = EnemyCount;
  Step(22);
  EXPECT_EQ(EnemyCount, count);
}

TEST_F(BossFight, GeneratorsReleaseEnemiesWhileAnotherPartRemains) {
  struct TCase {
    int Mission;
    std::vector<int> Types;
  } cases[] = {{5, {13, 13, 13, 10, 10}}, {10, {17, 17, 17, 17, 19}}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Mission);
    auto boss = Fight(c.Mission);
    Silence();
    EXPECT_EQ(boss[1]->Info.Health, c.Mission == 10 ? 1 : 50);
    Kill(boss[1]);
    EXPECT_EQ(BossPartsAlive, 5);
    auto enemies = Enemies();
    ASSERT_EQ(enemies.size(), 6u + c.Types.size());
    for (size_t i = 0; i < c.Types.size(); ++i) {
      const TEnemySprite* e = enemies[6 + i];
      EXPECT_EQ(e->Info.EnemyType, c.Types[i]);
      EXPECT_EQ(e->Number, 8 + static_cast<int>(i));
      EXPECT_FALSE(EnemyDestroyed[e->Number]);
      EXPECT_GT(e->Info.Points, 0);
    }
    // The last generator releases nothing.
    for (size_t p = 2; p <= 5; ++p) Kill(boss[p]);
    EXPECT_EQ(BossPartsAlive, 1);
    const int count = EnemyCount;
    Kill(boss[6]);
    EXPECT_EQ(BossPartsAlive, 0);
    EXPECT_EQ(EnemyCount, count);
    Clear();
  }
}

TEST_F(BossFight, TheBodyBecomesHittableOnlyWhenAlone) {
  auto boss = Fight(1);
  Silence();
  for (size_t p = 1; p <= 3; ++p) Kill(boss[p]);
  EXPECT_TRUE(EnemyDestroyed[1]);
  Kill(boss[4]);
  EXPECT_EQ(EnemiesAlive, 1);
  EXPECT_FALSE(EnemyDestroyed[1]);
}

TEST_F(BossFight, DeathSequenceRunsSevenRoundsThenDestroysEveryoneWithPoints) {
  struct TCase {
    int Mission, Difficulty;
    int64_t BodyScore;
  } cases[] = {{1, 1, 400}, {3, 0, 720}, {5, 2, 1320}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Mission);
    Player = TPlayer();
    Player.Difficulty = c.Difficulty;
    auto boss = Fight(c.Mission);
    // A sent-in enemy still flying when the last part goes.
    ++EnemyCount;
    CreateEnemy(20, 2, 300, -100, EnemyCount, false, true);
    EnemyDestroyed[EnemyCount] = false;
    Silence();
    for (size_t p = 1; p < boss.size(); ++p) Kill(boss[p]);
    EXPECT_TRUE(BossDying);
    EXPECT_TRUE(FireLocked);
    EXPECT_EQ(BossDeathCountdown, 7);
    const int64_t scoreBefore = Player.Score;
    const int64_t sentPoints = ScoreFor(7);

    // The one-second timer counts down; each new count brings one round,
    // the first in the very step the last part died.
    std::vector<int> rounds{BossExplosionMark};
    for (TEnemySprite* e : Enemies()) e->FireTimer = e->Info.Reload;  // all due
    for (int ms = 0; ms < 8000; ms += 20) {
      if (ms > 0 && ms % 1000 == 0 && BossDeathCountdown > 0) --BossDeathCountdown;
      const int mark = BossExplosionMark;
      Step(20);
      if (BossExplosionMark != mark) rounds.push_back(BossExplosionMark);
      if (Enemies().empty()) break;
    }
    EXPECT_EQ(rounds, (std::vector<int>{7, 6, 5, 4, 3, 2, 1}));
    EXPECT_TRUE(Shots().empty()) << "nobody fires while the boss dies";
    EXPECT_TRUE(Enemies().empty());
    EXPECT_EQ(EnemiesAlive, 0);
    EXPECT_EQ(Player.Score - scoreBefore, c.BodyScore + sentPoints);
    Clear();
  }
}

TEST_F(BossFight, ALongCreatorFightPastTenThousandEnemiesStaysHittable) {
  auto boss = Fight(1);
  Silence();
  TEnemySprite* creator = boss[3];
  EnemyCount = 9998;
  for (int i = 0; i < 4; ++i) {
    creator->FireTimer = creator->Info.Reload;
    Step(16);
  }
  EXPECT_EQ(EnemyCount, 10002);
  TEnemySprite* sent = Last();
  ASSERT_EQ(sent->Number, 10002);
  Step(16);
  EXPECT_EQ(EnemyWidth[10002], sent->Width);
  EXPECT_FALSE(EnemyDestroyed[10002]);

  // A player's shot standing in its middle hits it, and the hit lands.
  auto* shot = new TWeaponSprite(Engine());
  shot->SetImage(Form->WeaponsList->Items().Find("clip1"));
  shot->Kind = 1;
  shot->Damage = 3;
  shot->Speed = 0;
  shot->X = sent->X + sent->Width / 2;
  shot->Y = sent->Y + sent->Height / 2;
  const int health = sent->Info.Health;
  Step(16);
  EXPECT_EQ(HitEnemy, 10002);
  Step(16);
  EXPECT_EQ(sent->Info.Health, health - 3);
}

}  // namespace
