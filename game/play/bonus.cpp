// Bonuses: the chance tables, the choice of a kind, the falling capsule and
// what taking it gives.
#include <array>

#include "framework/random.h"
#include "game/core/main_form.h"
#include "game/play/play.h"
#include "game/play/ship_common.h"
#include "game/screens/interface_sprite.h"

TBonusChance BonusChance = {
    // Upgrade by primary level 1..5, levels 1..10.
    {{{},
      {0, 9, 40, 45, 45, 50, 55, 60, 70, 80, 90},
      {0, 0, 0, 5, 8, 25, 38, 50, 50, 50, 70},
      {0, 0, 0, 0, 0, 4, 5, 16, 27, 38, 70},
      {0, 100, 0, 0, 0, 0, 0, 3, 4, 15, 60},
      {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}}},
    // Rockets.
    {0, 1, 2, 2, 2, 2, 3, 3, 3, 3, 0},
    // Extra weapon 1, extra weapon 2.
    {{{}, {0, 2, 2, 2, 2, 2, 2, 2, 3, 0, 10}, {0, 1, 1, 1, 1, 2, 2, 2, 3, 0, 0}}},
    // Armor, god.
    {{{}, {0, 1, 1, 1, 2, 2, 2, 3, 3, 4, 10}, {0, 1, 1, 1, 2, 2, 2, 2, 3, 3, 8}}},
    // Bomb.
    {0, 1, 1, 1, 2, 2, 2, 3, 4, 5, 50},
};

namespace {

// The table value for Level, 0 outside 1..10 (no chance).
int32_t At(const TBonusChance::TRow& Row, int32_t Level) {
  return Level >= 1 && Level <= 10 ? Row[static_cast<size_t>(Level)] : 0;
}

// The animation of each kind: frames and speed.
struct TBonusLook {
  int32_t Frames;
  double Speed;
};
constexpr std::array<TBonusLook, 9> kLooks = {{{0, 0},
                                               {20, 0.02},
                                               {20, 1.0 / 60},
                                               {20, 1.0 / 65},
                                               {20, 0.025},
                                               {0, 0.02},
                                               {20, 1.0 / 65},
                                               {20, 1.0 / 60},
                                               {0, 0.02}}};

void ShowIcon(const std::string& Picture) {
  if (!ExtraWeaponIcon) return;
  if (!Picture.empty()) SetPicture(ExtraWeaponIcon, MainForm->BonusesList, Picture);
  ExtraWeaponIcon->Visible = true;
}

void Bomb(TBonusSprite* Bonus) {
  const double x = Bonus->X, y = Bonus->Y;
  CreateExplosion(Bonus->Z(), "ExplosionFx2", x, y, "mesh2", 250, 1, 3, Trunc(x * 2.5) - 1000);
  if (GameOptions.Bumpiness == 1) {
    ShakeCount = 14;
    ShakeAmplitude = 20;
  }
  // A fan upwards with a gap straight up.
  static constexpr std::array<int32_t, 8> angles = {-96, -88, -80, -72, -56, -48, -40, -32};
  for (int32_t angle : angles) {
    auto* s = new TWeaponSprite(PlayRoot());
    SetPicture(s, MainForm->BonusesList, "bonus7splinter");
    s->X = x;
    s->Y = y;
    s->SetZ(Bonus->Z());
    s->Damage = 50;
    s->Kind = 4;
    s->Speed = 0.01;
    s->Angle = angle;
  }
}

}  // namespace

int32_t GenerateBonus(int32_t Level, int32_t PrimaryLevel) {
  Randomize();
  std::array<int32_t, 9> r{};
  // All eight draws are made every time, whatever wins.
  int32_t result = 0;
  r[1] = Random(100) + 1;
  if (r[1] <= 7) {
    result = 1;
    BonusKindFalling[1] = true;
  }
  int32_t chosen = 0;  // the first of kinds 2..7 that passes
  auto choose = [&](int32_t Kind, bool Passes) {
    if (chosen == 0 && Passes && !BonusKindFalling[static_cast<size_t>(Kind)]) {
      chosen = Kind;
      BonusKindFalling[static_cast<size_t>(Kind)] = true;
    }
  };
  const TBonusChance::TRow none{};
  const TBonusChance::TRow& upgrade = PrimaryLevel >= 1 && PrimaryLevel <= 5
                                          ? BonusChance.Upgrade[static_cast<size_t>(PrimaryLevel)]
                                          : none;
  r[2] = Random(100) + 1;
  choose(2, r[2] <= At(upgrade, Level) && Player.PrimaryLevel <= 4);
  r[3] = Random(100) + 1;
  choose(3, !Player.Armor && r[3] <= At(BonusChance.ArmorGod[1], Level));
  r[4] = Random(100) + 1;
  choose(4, r[4] <= At(BonusChance.Rockets, Level));
  r[5] = Random(100) + 1;
  choose(5, r[5] <= At(BonusChance.Extra[1], Level));
  r[6] = Random(100) + 1;
  choose(6, Player.GodTime <= 0 && r[6] <= At(BonusChance.ArmorGod[2], Level));
  r[7] = Random(100) + 1;
  choose(7, r[7] <= At(BonusChance.Bomb, Level));
  r[8] = Random(100) + 1;
  if (chosen != 0) return chosen;
  if (r[8] <= At(BonusChance.Extra[2], Level) && !BonusKindFalling[8]) {
    BonusKindFalling[8] = true;
    return 8;
  }
  return result;
}

void CreateBonus(int32_t Z, int32_t Frames, double X, double Y) {
  const int32_t k = GenerateBonus(CurrentLevel, Player.PrimaryLevel);
  if (k == 0) return;
  auto* b = new TBonusSprite(PlayRoot());
  b->Taken = false;
  b->Kind = k;
  b->SetFalling();
  SetPicture(b, MainForm->BonusesList, "bonus" + std::to_string(k));
  b->SetZ(Z);
  b->X = X;
  b->Y = Y;
  BonusesInFlight += 1;
  if (Frames > 0) {
    const TBonusLook& look = kLooks[static_cast<size_t>(k)];
    StartAnimation(b, look.Frames > 0 ? look.Frames : Frames, look.Speed, true);
  }
}

void TBonusSprite::Gone() {
  if (!falling_) return;
  falling_ = false;
  if (Kind >= 1 && Kind <= 8) BonusKindFalling[static_cast<size_t>(Kind)] = false;
}

TBonusSprite::~TBonusSprite() {
  // However a bonus goes (swept off with the whole screen too), its kind may
  // fall again.
  Gone();
}

void TBonusSprite::DoMove(int32_t MoveCount) {
  TImageSprite::DoMove(MoveCount);
  if (GameState == "mainmenu") {
    MarkDead();
    Gone();
  }
  if (GameState == "game" && !IsDead()) {
    Y += MoveCount / 9.0;
    if (Y > 600) {
      Player.BonusesMissed += 1;
      Gone();
      MarkDead();
      BonusesInFlight -= 1;
      CheckLevelComplete();
    }
  }
  if (GameState == "newlevel") {
    MarkDead();
    Gone();
  }
}

void TakeBonus(TBonusSprite* Bonus) {
  if (!Bonus || Bonus->Taken) return;
  Bonus->Taken = true;
  Bonus->MarkDead();
  BonusesInFlight -= 1;
  Player.BonusesTaken += 1;
  const int32_t kind = Bonus->Kind;
  Bonus->Gone();

  bool applied = true;
  switch (kind) {
    case 1:
      Player.Score += 50;
      Player.LevelScore += 50;
      break;
    case 2:
      if (Player.PrimaryLevel <= 4) {
        Player.PrimaryLevel += 1;
        const std::string picture = "primary" + std::to_string(Player.PrimaryLevel);
        if (PrimaryMount) SetPicture(PrimaryMount, MainForm->WeaponsList, picture);
        if (PrimaryIcon) SetPicture(PrimaryIcon, MainForm->InterFaceList, picture);
      } else {
        applied = false;
      }
      break;
    case 3:
      Player.Armor = true;
      Player.GodTime = 0;
      if (GodBar) GodBar->Height = 0;
      if (PlayerShip) SetPicture(PlayerShip, MainForm->ModelsList, "player1left_armor");
      break;
    case 4:
      Player.SecondaryLevel = 1;
      Player.Rockets = Player.Rockets >= 96 ? 99 : Player.Rockets + 4;
      if (SecondaryIcon)
        SetPicture(SecondaryIcon, MainForm->InterFaceList,
                   "secondary" + std::to_string(Player.SecondaryLevel));
      SWeaponTextout();
      break;
    case 5:
      Player.ExtraWeapon2Time = 0;
      Player.ExtraWeapon1Time = 20;
      if (ExtraWeaponMount) ExtraWeaponMount->Visible = true;
      TWeaponTextout(1);
      TWeaponTextout(2);
      ShowIcon("bonus5");
      break;
    case 6:
      Player.GodTime = 23;
      if (GodBar) {
        GodBar->Height = 230;
        GodBar->Y = 226;
      }
      Player.Armor = false;
      if (PlayerShip) SetPicture(PlayerShip, MainForm->ModelsList, "player1left_god");
      break;
    case 7:
      Bomb(Bonus);
      break;
    case 8:
      Player.ExtraWeapon1Time = 0;
      Player.ExtraWeapon2Time = 20;
      if (ExtraWeaponMount) ExtraWeaponMount->Visible = true;
      if (ExtraWeaponIcon) SetPicture(ExtraWeaponIcon, MainForm->BonusesList, "bonus8");
      TWeaponTextout(1);
      TWeaponTextout(2);
      ShowIcon("");
      break;
    default:
      applied = false;
      break;
  }
  if (applied && FaceSprite && FaceSprite->DXImageName == "face_empty")
    AnimAteFace("face_speak", 40, 0.05, 4, true, "extra_weapon", kind);
  CheckLevelComplete();
  PlayEffect("bonus" + std::to_string(kind), 0);
}
