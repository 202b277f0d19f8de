// The player's weapons: what each trigger fires, how shots fly, and the hit
// test with its one-hit-per-frame handoff.
#include <algorithm>
#include <cmath>

#include "game/play/ship_test_fixture.h"

namespace {

class WeaponTest : public TPlayFixture {
 protected:
  void SetUp() override {
    TPlayFixture::SetUp();
    MakeShip();
    PrimaryMount->X = 400;
    PrimaryMount->Y = 500;
    SecondaryMount->X = 380;
    SecondaryMount->Y = 560;
  }

  // A box for enemy number N that shots may hit.
  static void Box(int32_t N, double X, double Y, int32_t W, int32_t H) {
    EnemyCount = std::max(EnemyCount, N);
    EnemyX[N] = X;
    EnemyY[N] = Y;
    EnemyWidth[N] = W;
    EnemyHeight[N] = H;
    EnemyDestroyed[N] = false;
  }

  TWeaponSprite* Shot(int32_t Kind, const std::string& Picture, double X, double Y) {
    auto* s = new TWeaponSprite(Engine());
    SetPicture(s, Form->WeaponsList, Picture);
    s->Kind = Kind;
    s->X = X;
    s->Y = Y;
    s->Damage = 3;
    return s;
  }
};

TEST_F(WeaponTest, PrimaryVolleysByLevel) {
  struct TShot {
    const char* Picture;
    int32_t DX;  // from the centred place
    bool Scatter;
    int32_t Damage;
    double Speed;
    int32_t Angle;
  };
  struct TCase {
    int32_t Level;
    std::vector<TShot> Shots;
    int32_t Reload;
  } cases[] = {
      {0, {}, 45},
      {1, {{"clip1", 0, false, 2, 4.5, 0}}, 33},
      {2, {{"clip2", -5, true, 1, 3.5, 0}, {"clip2", 5, true, 1, 3.5, 0}}, 20},
      {3,
       {{"clip1", 0, false, 1, 6, 0}, {"clip2", -5, true, 1, 4, 0}, {"clip2", 5, true, 1, 4, 0}},
       22},
      {4,
       {{"clip3", 0, false, 7, 5.4, 0},
        {"clip4", -10, true, 2, 3.5, -68},
        {"clip4", 10, true, 2, 3.5, -60}},
       34},
      {5,
       {{"clip3", -10, false, 1, 3, 0},
        {"clip3", 10, false, 1, 3, 0},
        {"clip1", -5, false, 2, 4, -66},
        {"clip1", 5, false, 2, 4, -62}},
       18},
      {6, {}, 45},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Level);
    for (TWeaponSprite* s : All<TWeaponSprite>()) s->MarkDead();
    for (TShootFxSprite* s : All<TShootFxSprite>()) s->MarkDead();
    Engine()->FreeDead();
    Player.PrimaryReload = 45;
    PrimaryCounter = 60;
    RandSeed = 77;
    std::vector<int32_t> draws;
    for (int i = 0; i < 4; ++i) draws.push_back(Random(10));
    RandSeed = 77;

    PlayerShoot(1, c.Level, 0, 0, 0);

    EXPECT_EQ(PrimaryCounter, 0);
    EXPECT_EQ(Player.PrimaryReload, c.Reload);
    const auto shots = All<TWeaponSprite>();
    const auto flashes = All<TShootFxSprite>();
    ASSERT_EQ(shots.size(), c.Shots.size());
    ASSERT_EQ(flashes.size(), c.Shots.size());
    size_t draw = 0;
    for (size_t i = 0; i < shots.size(); ++i) {
      SCOPED_TRACE(i);
      const TShot& e = c.Shots[i];
      const TWeaponSprite& s = *shots[i];
      EXPECT_EQ(s.DXImageName, e.Picture);
      EXPECT_EQ(s.Kind, 1);
      EXPECT_EQ(s.X, 400 + PrimaryMount->Width / 2 - s.Width / 2 + e.DX);
      EXPECT_EQ(s.Y, 500 - s.Height - (e.Scatter ? draws[draw++] : 0));
      EXPECT_EQ(s.Damage, e.Damage);
      EXPECT_EQ(s.Speed, e.Speed);
      EXPECT_EQ(s.Angle, e.Angle);
      EXPECT_EQ(s.Z(), PlayerShip->Z() - 1);
      EXPECT_TRUE(s.AnimLooped);
      // The muzzle flash follows the gun.
      EXPECT_EQ(flashes[i]->Owner, "player");
      EXPECT_EQ(flashes[i]->Z(), s.Z() + 3);
      EXPECT_EQ(flashes[i]->AnimCount, 15);
    }
    if (!c.Shots.empty()) {
      // The gun's own animation runs at the reload that was in force.
      EXPECT_TRUE(PrimaryMount->AnimLooped);
      EXPECT_DOUBLE_EQ(PrimaryMount->AnimSpeed, 1.0 / 45);
    }
  }
}

TEST_F(WeaponTest, RocketsExtraWeaponsAndShrapnel) {
  // A pair of rockets per rocket; none without one left.
  Player.Rockets = 1;
  PlayerShoot(2, 1, 0, 0, 0);
  auto shots = All<TWeaponSprite>();
  ASSERT_EQ(shots.size(), 2u);
  EXPECT_EQ(Player.Rockets, 0);
  EXPECT_EQ(shots[0]->DXImageName, "2clip1");
  EXPECT_EQ(shots[0]->X, 380 - shots[0]->Width / 2 + 7);
  EXPECT_EQ(shots[1]->X, 380 + SecondaryMount->Width - shots[1]->Width / 2 - 3);
  EXPECT_EQ(shots[1]->Y, 560 - shots[1]->Height / 2);
  EXPECT_EQ(shots[0]->Damage, 20);
  EXPECT_EQ(shots[0]->Speed, Player.RocketSpeed);
  PlayerShoot(2, 1, 0, 0, 0);
  EXPECT_EQ(All<TWeaponSprite>().size(), 2u);
  EXPECT_EQ(Player.Rockets, 0);

  // Extra weapon 2: four shots from both edges of the ship.
  Engine()->Clear();
  MakeShip();
  PlayerShip->X = 300;
  Player.ExtraWeapon2Time = 5;
  PlayerShoot(3, 1, 0, 0, 0);
  shots = All<TWeaponSprite>();
  ASSERT_EQ(shots.size(), 4u);
  const int32_t angles[] = {-64, -64, -66, -62};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(shots[i]->DXImageName, "3clip2");
    EXPECT_EQ(shots[i]->Kind, 3);
    EXPECT_EQ(shots[i]->X, i % 2 == 0 ? 300 : 300 + PlayerShip->Width - shots[i]->Width);
    EXPECT_EQ(shots[i]->Angle, angles[i]);
  }

  // Shrapnel: a fan of four from the given corner; nothing while fire is locked.
  Engine()->Clear();
  MakeShip();
  PlayerShoot(0, 0, 1, 120, 240);
  shots = All<TWeaponSprite>();
  ASSERT_EQ(shots.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(shots[i]->Angle, 16 - 32 * static_cast<int32_t>(i + 1));
    EXPECT_EQ(shots[i]->Damage, 5);
    EXPECT_EQ(shots[i]->Kind, 0);
    EXPECT_EQ(shots[i]->X, 120);
  }
  FireLocked = true;
  PlayerShoot(0, 0, 1, 120, 240);
  PlayerShoot(1, 1, 0, 0, 0);
  EXPECT_EQ(All<TWeaponSprite>().size(), 4u);
  FireLocked = false;
  GameState = "levelcomplete";
  PlayerShoot(1, 1, 0, 0, 0);
  EXPECT_EQ(All<TWeaponSprite>().size(), 4u);
}

TEST_F(WeaponTest, EachKindFliesItsOwnWay) {
  const double m = 10;
  auto cs = [](int32_t a) { return CosineStep(static_cast<uint8_t>(a)); };
  auto sn = [](int32_t a) { return SineStep(static_cast<uint8_t>(a)); };
  struct TCase {
    const char* Name;
    int32_t Kind;
    const char* Picture;
    int32_t Level;
    double Speed;
    int32_t Angle;
    double DX, DY;  // after one frame of 10 ms
  } cases[] = {
      {"primary level 1", 1, "clip1", 1, 4.5, -66, 0, -m / 5 * 4.5},
      {"primary level 5 clip1 angled", 1, "clip1", 5, 4, -66, cs(-66) * 4 * m / 12,
       sn(-66) * 4 * m / 12},
      {"primary level 5 clip3 straight", 1, "clip3", 5, 3, 0, 0, -m / 4 * 3},
      {"primary level 4 clip4 angled", 1, "clip4", 4, 3.5, -68, cs(-68) * 3.5 * m / 10,
       sn(-68) * 3.5 * m / 10},
      {"primary level 4 clip3 straight", 1, "clip3", 4, 5.4, 0, 0, -m / 8 * 5.4},
      {"rocket accelerates", 2, "2clip1", 1, 0.5, 0, 0, -m / 20 * (0.5 + 0.025 * m)},
      {"extra 3clip1", 3, "3clip1", 1, 8, 0, 0, -m / 12 * 8},
      {"extra 3clip2", 3, "3clip2", 1, 7.5, -62, cs(-62) * 7.5 * m / 12, sn(-62) * 7.5 * m / 12},
      {"shrapnel", 0, "2clip2", 1, 0.1, -48, cs(-48) * (0.1 + 0.0125 * m) * m / 12,
       sn(-48) * (0.1 + 0.0125 * m) * m / 12},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Player.PrimaryLevel = c.Level;
    TWeaponSprite* s = Shot(c.Kind, c.Picture, 300, 300);
    s->Speed = c.Speed;
    s->Angle = c.Angle;
    s->Move(static_cast<int32_t>(m));
    EXPECT_NEAR(s->X - 300, c.DX, 1e-9);
    EXPECT_NEAR(s->Y - 300, c.DY, 1e-9);
    s->MarkDead();
  }

  // The level in force at each step picks the rule: a level-5 "clip1"
  // flies straight up once the ship drops to level 4.
  Player.PrimaryLevel = 5;
  TWeaponSprite* s = Shot(1, "clip1", 300, 300);
  s->Speed = 4;
  s->Angle = -66;
  s->Move(10);
  const double x = s->X, y = s->Y;
  EXPECT_NE(x, 300);
  Player.PrimaryLevel = 4;
  s->Move(10);
  EXPECT_EQ(s->X, x);
  EXPECT_NEAR(s->Y, y - 10.0 / 8 * 4, 1e-9);

  // Bomb splinters gather speed; with smoke on they trail it.
  GameOptions.Splinters = 2;
  auto* b = new TWeaponSprite(Engine());
  SetPicture(b, Form->BonusesList, "bonus7splinter");
  b->Kind = 4;
  b->Speed = 0.01;
  b->Angle = -64;
  b->X = 300;
  b->Y = 300;
  const size_t smoke = All<TPixelAnimationSprite>().size();
  b->Move(10);
  EXPECT_NEAR(b->Y, 300 - (0.01 + 10.0 / 920) * 10, 1e-9);
  EXPECT_EQ(All<TPixelAnimationSprite>().size(), smoke + 1);

  // Off the top, or off to another screen, a shot ends.
  TWeaponSprite* top = Shot(1, "clip1", 300, -15);
  top->Speed = 4.5;
  Frame(10);
  const auto live = All<TWeaponSprite>();
  EXPECT_EQ(std::find(live.begin(), live.end(), top), live.end());
  Shot(1, "clip1", 300, 300);
  GameState = "newlevel";
  Frame(10);
  EXPECT_TRUE(All<TWeaponSprite>().empty());
}

TEST_F(WeaponTest, HitTestIsStrictAndHandsOverOneHitPerFrame) {
  // Corner on each edge, and just inside: only strictly inside hits.
  struct TCase {
    double X, Y;
    bool Hits;
  } cases[] = {{100, 150, false}, {160, 150, false},    {130, 100, false},
               {130, 200, false}, {100.5, 100.5, true}, {159.5, 199.5, true}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.X << ", " << c.Y);
    ClearEnemyDestroyedMass();
    Box(1, 100, 100, 60, 100);
    // The shot's step moves it first; start it where that lands it.
    TWeaponSprite* s = Shot(3, "3clip1", c.X, c.Y);
    s->Speed = 0;
    s->Move(1);
    EXPECT_EQ(HitEnemy == 1, c.Hits);
    EXPECT_EQ(s->IsDead(), c.Hits);
    EXPECT_EQ(EnemyWidth[1], c.Hits ? 0 : 60);
    Engine()->Clear();
  }

  // Destroyed numbers and empty boxes are passed over.
  MakeShip();
  ClearEnemyDestroyedMass();
  Box(1, 0, 0, 800, 600);
  EnemyDestroyed[1] = true;
  Box(2, 0, 0, 0, 600);
  Box(3, 0, 0, 800, 0);
  Box(4, 250, 250, 100, 100);
  TWeaponSprite* s = Shot(1, "clip1", 300, 300);
  s->Damage = 9;
  s->Move(0);
  EXPECT_EQ(HitEnemy, 4);
  EXPECT_EQ(Player.HitDamage, 9);
  // The impact flash sits on the shot's centre.
  const auto impacts = All<TClipExplosion>();
  ASSERT_EQ(impacts.size(), 1u);
  EXPECT_EQ(impacts[0]->DXImageName, "clipexplosion1");
  EXPECT_EQ(impacts[0]->Y + impacts[0]->Height, 300 + s->Height / 2);

  // Two shots on two enemies in one frame: both spent, both boxes cleared,
  // only the last one's damage handed over.
  ClearEnemyDestroyedMass();
  Box(1, 100, 100, 50, 50);
  Box(2, 400, 100, 50, 50);
  TWeaponSprite* a = Shot(3, "3clip1", 120, 120);
  TWeaponSprite* b = Shot(3, "3clip1", 420, 120);
  a->Speed = b->Speed = 0;
  a->Damage = 4;
  b->Damage = 6;
  Engine()->Move(1);
  EXPECT_TRUE(a->IsDead());
  EXPECT_TRUE(b->IsDead());
  EXPECT_EQ(EnemyWidth[1], 0);
  EXPECT_EQ(EnemyWidth[2], 0);
  EXPECT_EQ(HitEnemy, 2);
  EXPECT_EQ(Player.HitDamage, 6);
  Engine()->FreeDead();

  // A rocket's hit scatters four shrapnel at its place, but not while fire
  // is locked.
  for (bool locked : {false, true}) {
    SCOPED_TRACE(locked);
    for (TWeaponSprite* w : All<TWeaponSprite>()) w->MarkDead();
    Engine()->FreeDead();
    ClearEnemyDestroyedMass();
    Box(1, 100, 100, 200, 200);
    FireLocked = locked;
    TWeaponSprite* r = Shot(2, "2clip1", 200, 200);
    r->Speed = 0;
    r->Move(1);
    const auto shrapnel = All<TWeaponSprite>();
    ASSERT_EQ(shrapnel.size(), locked ? 0u : 4u);
    for (TWeaponSprite* w : shrapnel) {
      EXPECT_EQ(w->Kind, 0);
      EXPECT_EQ(w->X, r->X);
      EXPECT_EQ(w->Y, r->Y);
    }
  }
}

TEST_F(WeaponTest, ClearingTheBoxesDropsAHitThatWasNotHandedOver) {
  // A hit registered just before the game ended.
  Box(5, 100, 100, 50, 50);
  TWeaponSprite* s = Shot(3, "3clip1", 120, 120);
  s->Speed = 0;
  s->Move(1);
  ASSERT_EQ(HitEnemy, 5);
  // The next game starts: its enemy number 5 must not take that hit.
  ClearEnemyDestroyedMass();
  EXPECT_EQ(HitEnemy, -1);
  EXPECT_TRUE(EnemyDestroyed[5]);
  EXPECT_EQ(EnemyWidth[5], 0);
}

TEST_F(WeaponTest, EnemiesNumberedBeyondTheFirstTenThousandCanBeHit) {
  // A long boss fight keeps numbering the enemies it spawns.
  for (int32_t n : {1500, 10000, 10001, 25000}) {
    SCOPED_TRACE(n);
    ClearEnemyDestroyedMass();
    Box(n, 100, 100, 50, 50);
    EnemyCount = n;
    TWeaponSprite* s = Shot(3, "3clip1", 120, 120);
    s->Speed = 0;
    s->Move(1);
    EXPECT_EQ(HitEnemy, n);
    EXPECT_EQ(EnemyWidth[n], 0);
  }
  // A new level forgets them; numbers never made are never hit.
  ClearEnemyDestroyedMass();
  EXPECT_TRUE(EnemyDestroyed[25000]);
  EXPECT_EQ(EnemyWidth.Last(), MaxEnemyNumber);
  EXPECT_THROW((void)EnemyX[-1], EListError);
}

}  // namespace
