// Bonuses: which kind the chance tables choose, what taking each kind
// gives, and that a kind is free to fall again however its bonus goes.
#include <algorithm>
#include <array>
#include <functional>

#include "game/play/ship_test_fixture.h"

namespace {

class BonusTest : public TPlayFixture {
 protected:
  // The eight draws GenerateBonus will make now: it reseeds from the clock,
  // which stands still between this look and the call. The clock moves on
  // until the first draw falls as Points asks (a 7 % chance of points).
  std::array<int32_t, 9> NextDraws(bool Points) {
    std::array<int32_t, 9> r{};
    for (;;) {
      HeadlessAdvance(1);
      Randomize();
      for (size_t i = 1; i <= 8; ++i) r[i] = Random(100) + 1;
      if ((r[1] <= 7) == Points) return r;
    }
  }

  // Chance tables on Level where exactly the kinds in Passing pass: a
  // passing kind's chance equals its draw, a failing one's is one below.
  static void Script(const std::array<int32_t, 9>& R, int32_t Level, int32_t PrimaryLevel,
                     std::initializer_list<int32_t> Passing) {
    auto chance = [&](int32_t Kind) {
      const auto k = static_cast<size_t>(Kind);
      return std::find(Passing.begin(), Passing.end(), Kind) != Passing.end() ? R[k] : R[k] - 1;
    };
    const auto l = static_cast<size_t>(Level);
    BonusChance.Upgrade[static_cast<size_t>(PrimaryLevel)][l] = chance(2);
    BonusChance.ArmorGod[1][l] = chance(3);
    BonusChance.Rockets[l] = chance(4);
    BonusChance.Extra[1][l] = chance(5);
    BonusChance.ArmorGod[2][l] = chance(6);
    BonusChance.Bomb[l] = chance(7);
    BonusChance.Extra[2][l] = chance(8);
  }

  TBonusSprite* MakeBonus(int32_t Kind, double X, double Y) {
    auto* b = new TBonusSprite(Engine());
    SetPicture(b, Form->BonusesList, "bonus" + std::to_string(Kind));
    b->Kind = Kind;
    b->X = X;
    b->Y = Y;
    b->SetFalling();
    BonusKindFalling[static_cast<size_t>(Kind)] = true;
    BonusesInFlight += 1;
    return b;
  }
};

TEST_F(BonusTest, TheFirstPassingKindWinsAndFallingKindsAreSkipped) {
  struct TCase {
    const char* Name;
    bool Points;                          // the first draw is 7 or less
    std::initializer_list<int32_t> Pass;  // kinds whose draws pass
    std::initializer_list<int32_t> Falling;
    int32_t PrimaryLevel;  // the player's
    bool Armor;
    int32_t GodTime;
    int32_t Kind;
  } cases[] = {
      {"nothing", false, {}, {}, 1, false, 0, 0},
      {"points", true, {}, {}, 1, false, 0, 1},
      {"upgrade", false, {2, 3, 8}, {}, 1, false, 0, 2},
      {"upgrade falling", false, {2, 3}, {2}, 1, false, 0, 3},
      {"upgrade at level 5", false, {2}, {}, 5, false, 0, 0},
      {"armor while armored", false, {3, 4}, {}, 1, true, 0, 4},
      {"armor falling", false, {3, 7}, {3}, 1, false, 0, 7},
      {"god while god", false, {6, 8}, {}, 1, false, 5, 8},
      {"extra weapon 1 before 2", false, {5, 8}, {}, 1, false, 0, 5},
      {"extra weapon 2 falling", true, {8}, {8}, 1, false, 0, 1},
      {"a kind overrides points", true, {4}, {}, 1, false, 0, 4},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    BonusKindFalling = {};
    for (int32_t k : c.Falling) BonusKindFalling[static_cast<size_t>(k)] = true;
    Player.PrimaryLevel = c.PrimaryLevel;
    Player.Armor = c.Armor;
    Player.GodTime = c.GodTime;
    const auto r = NextDraws(c.Points);
    Script(r, 3, 2, c.Pass);
    const int32_t ninth = Random(1000000);

    EXPECT_EQ(GenerateBonus(3, 2), c.Kind);
    if (c.Kind) EXPECT_TRUE(BonusKindFalling[static_cast<size_t>(c.Kind)]);
    EXPECT_EQ(BonusKindFalling[1], c.Points);
    // All eight draws were made, whatever won.
    EXPECT_EQ(Random(1000000), ninth);
  }

  // The bonus made: its kind's picture and animation, at the enemy's corner.
  Player = TPlayer{};
  BonusKindFalling = {};
  CurrentLevel = 4;
  const auto r = NextDraws(false);
  Script(r, 4, 1, {5});
  CreateBonus(20, 10, 130, 70);
  auto bonuses = All<TBonusSprite>();
  ASSERT_EQ(bonuses.size(), 1u);
  EXPECT_EQ(bonuses[0]->Kind, 5);
  EXPECT_EQ(bonuses[0]->DXImageName, "bonus5");
  EXPECT_EQ(bonuses[0]->AnimCount, 10);
  EXPECT_DOUBLE_EQ(bonuses[0]->AnimSpeed, 0.02);
  EXPECT_EQ(bonuses[0]->X, 130);
  EXPECT_EQ(bonuses[0]->Z(), 20);
  EXPECT_EQ(BonusesInFlight, 1);
}

TEST_F(BonusTest, EachKindGivesItsEffectOnce) {
  MakeShip();
  FaceSprite = MakeInterface("face_empty");
  PrimaryIcon = MakeInterface("primary1");
  SecondaryIcon = MakeInterface("secondary0");
  GodBar = MakeInterface("godindicator");
  ExtraWeaponIcon = new TInterFaceSprite(Engine());
  SetPicture(ExtraWeaponIcon, Form->BonusesList, "bonus5");
  ExtraWeaponIcon->Visible = false;

  struct TCase {
    const char* Name;
    int32_t Kind;
    std::function<void()> Before;
    std::function<void()> Check;
  } cases[] = {
      {"points", 1, [] {},
       [] {
         EXPECT_EQ(Player.Score, 50);
         EXPECT_EQ(Player.LevelScore, 50);
       }},
      {"upgrade", 2, [] { Player.PrimaryLevel = 3; },
       [] {
         EXPECT_EQ(Player.PrimaryLevel, 4);
         EXPECT_EQ(PrimaryMount->DXImageName, "primary4");
         EXPECT_EQ(PrimaryIcon->DXImageName, "primary4");
       }},
      {"upgrade at level 5", 2, [] { Player.PrimaryLevel = 5; },
       [] {
         EXPECT_EQ(Player.PrimaryLevel, 5);
         EXPECT_EQ(PrimaryMount->DXImageName, "primary1");
       }},
      {"armor ends god mode", 3, [] { Player.GodTime = 7; },
       [] {
         EXPECT_TRUE(Player.Armor);
         EXPECT_EQ(Player.GodTime, 0);
         EXPECT_EQ(GodBar->Height, 0);
         EXPECT_EQ(PlayerShip->DXImageName, "player1left_armor");
       }},
      {"rockets 95", 4, [] { Player.Rockets = 95; }, [] { EXPECT_EQ(Player.Rockets, 99); }},
      {"rockets 96", 4, [] { Player.Rockets = 96; }, [] { EXPECT_EQ(Player.Rockets, 99); }},
      {"rockets 10", 4, [] { Player.Rockets = 10; },
       [] {
         EXPECT_EQ(Player.Rockets, 14);
         EXPECT_EQ(SecondaryIcon->DXImageName, "secondary1");
       }},
      {"extra weapon 1", 5, [] { Player.ExtraWeapon2Time = 3; },
       [] {
         EXPECT_EQ(Player.ExtraWeapon1Time, 20);
         EXPECT_EQ(Player.ExtraWeapon2Time, 0);
         EXPECT_TRUE(ExtraWeaponMount->Visible);
         EXPECT_TRUE(ExtraWeaponIcon->Visible);
         EXPECT_EQ(ExtraWeaponIcon->DXImageName, "bonus5");
       }},
      {"god ends armor", 6, [] { Player.Armor = true; },
       [] {
         EXPECT_EQ(Player.GodTime, 23);
         EXPECT_FALSE(Player.Armor);
         EXPECT_EQ(GodBar->Height, 230);
         EXPECT_EQ(GodBar->Y, 226);
         EXPECT_EQ(PlayerShip->DXImageName, "player1left_god");
       }},
      {"bomb", 7, [] {},
       [] {
         EXPECT_EQ(ShakeCount, 14);
         EXPECT_EQ(FlashLevel, 250);
       }},
      {"extra weapon 2", 8, [] { Player.ExtraWeapon1Time = 3; },
       [] {
         EXPECT_EQ(Player.ExtraWeapon2Time, 20);
         EXPECT_EQ(Player.ExtraWeapon1Time, 0);
         EXPECT_EQ(ExtraWeaponIcon->DXImageName, "bonus8");
       }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Player = TPlayer{};
    SetPicture(PrimaryMount, Form->WeaponsList, "primary1");
    BonusesInFlight = 0;
    c.Before();
    TBonusSprite* b = MakeBonus(c.Kind, 300, 200);
    TakeBonus(b);
    TakeBonus(b);  // a second touch does nothing
    EXPECT_TRUE(b->Taken);
    EXPECT_TRUE(b->IsDead());
    EXPECT_EQ(BonusesInFlight, 0);
    EXPECT_EQ(Player.BonusesTaken, 1);
    EXPECT_FALSE(BonusKindFalling[static_cast<size_t>(c.Kind)]);
    c.Check();
    Frame(0);
  }

  // The bomb's eight splinters fan upwards from its corner and hit like shots.
  const auto splinters = All<TWeaponSprite>();
  ASSERT_EQ(splinters.size(), 8u);
  const int32_t angles[] = {-96, -88, -80, -72, -56, -48, -40, -32};
  for (size_t i = 0; i < 8; ++i) {
    EXPECT_EQ(splinters[i]->Angle, angles[i]);
    EXPECT_EQ(splinters[i]->Kind, 4);
    EXPECT_EQ(splinters[i]->Damage, 50);
    EXPECT_EQ(splinters[i]->X, 300);
    EXPECT_EQ(splinters[i]->DXImageName, "bonus7splinter");
  }
}

TEST_F(BonusTest, TwoHitBoxesOnOneBonusTakeItOnce) {
  MakeShip();
  PlayerShip->X = 300;
  Frame(1);
  Player.Rockets = 10;
  // Over boxes 1 and 3 at once.
  MakeBonus(4, ShipHitBoxes[3]->X + 10, ShipHitBoxes[1]->Y + 15);
  Frame(1);
  EXPECT_EQ(Player.Rockets, 14);
  EXPECT_EQ(Player.BonusesTaken, 1);
  EXPECT_EQ(BonusesInFlight, 0);
}

TEST_F(BonusTest, AKindFallsAgainHoweverItsBonusWent) {
  // Missed: it falls a ninth of a pixel per millisecond past the bottom.
  TBonusSprite* b = MakeBonus(3, 100, 595);
  Frame(36);
  EXPECT_EQ(b->Y, 599);
  EXPECT_TRUE(BonusKindFalling[3]);
  Frame(18);
  EXPECT_TRUE(All<TBonusSprite>().empty());
  EXPECT_FALSE(BonusKindFalling[3]);
  EXPECT_EQ(Player.BonusesMissed, 1);
  EXPECT_EQ(BonusesInFlight, 0);

  // Outside play it stands still; swept off by the statistics screen or the
  // main menu, its kind is free again.
  for (const char* screen : {"pause", "newlevel", "mainmenu"}) {
    SCOPED_TRACE(screen);
    GameState = "game";
    b = MakeBonus(3, 100, 100);
    GameState = screen;
    Frame(20);
    if (GameState == "pause") {
      EXPECT_EQ(b->Y, 100);
      EXPECT_TRUE(BonusKindFalling[3]);
      b->MarkDead();
      b->Gone();
      Frame(0);
      continue;
    }
    EXPECT_TRUE(All<TBonusSprite>().empty());
    EXPECT_FALSE(BonusKindFalling[3]);
  }

  // Freed with the whole play field, the same.
  GameState = "game";
  MakeBonus(6, 100, 100);
  Engine()->Clear();
  EXPECT_FALSE(BonusKindFalling[6]);

  // A bonus taken frees its kind for the next one, which the first one's
  // end must leave falling.
  TBonusSprite* first = MakeBonus(3, 100, 100);
  TakeBonus(first);
  MakeBonus(3, 200, 100);
  Frame(0);
  EXPECT_TRUE(BonusKindFalling[3]);
}

}  // namespace
