// The player's shots: what each weapon fires, how each kind of shot flies,
// and the hit test against the boxes the enemies publish every frame.
#include <algorithm>
#include <array>

#include "engine/directx/directx.h"
#include "framework/random.h"
#include "framework/sysutils.h"
#include "game/core/main_form.h"
#include "game/play/play.h"
#include "game/play/ship_common.h"

namespace {

// One shot of a volley: picture, frames and speed of its animation, damage,
// flight speed and direction, and its muzzle flash.
struct TShotSpec {
  const char* Picture;
  int32_t Frames;
  double AnimSpeed;
  int32_t Damage;
  double Speed;
  int32_t Angle;
  const char* Muzzle;
  double MuzzleSpeed;
  // The flash's point below the shot's top-left corner: (W div 2 + dx, H + dy)
  // when FromBottom, else (W div 2 + dx, dy).
  int32_t MuzzleDX;
  int32_t MuzzleDY;
  bool FromBottom;
};

constexpr int32_t kMuzzleFrames = 15;

// Makes one shot; Place puts it by its own size; then its muzzle flash.
template <class TPlace>
TWeaponSprite* MakeShot(int32_t Kind, TCustomDXImageList* List, const TShotSpec& S,
                        const TPlace& Place) {
  auto* shot = new TWeaponSprite(PlayRoot());
  SetPicture(shot, List, S.Picture);
  shot->SetZ((PlayerShip ? PlayerShip->Z() : 15) - 1);
  StartAnimation(shot, S.Frames, S.AnimSpeed, true);
  shot->Kind = Kind;
  shot->Damage = S.Damage;
  shot->Speed = S.Speed;
  shot->Angle = S.Angle;
  Place(*shot);
  const double fx = shot->X + shot->Width / 2 + S.MuzzleDX;
  const double fy = (S.FromBottom ? shot->Y + shot->Height : shot->Y) + S.MuzzleDY;
  CreateShootFx(shot->Z() + 1, S.Muzzle, fx, fy, kMuzzleFrames, S.MuzzleSpeed, "player");
  return shot;
}

// A primary shot centred on the primary mount, Offset pixels right of the
// centre, raised by a fresh Random(10) when Scatter is set.
void Primary(const TShotSpec& S, int32_t Offset, bool Scatter) {
  MakeShot(1, MainForm->WeaponsList, S, [&](TWeaponSprite& shot) {
    const TPlayerWeaponSprite* p = PrimaryMount;
    const double px = p ? p->X : 0, py = p ? p->Y : 0;
    const int32_t pw = p ? p->Width : 0;
    shot.X = px + pw / 2 - shot.Width / 2 + Offset;
    shot.Y = py - shot.Height - (Scatter ? Random(10) : 0);
  });
}

// The weapons' sounds are panned by where the primary mount stands.
void WeaponSound(const std::string& Name) {
  if (GameOptions.SoundFxLevel <= 0) return;
  const int32_t pan =
      PrimaryMount ? Trunc((PrimaryMount->X + PrimaryMount->Width / 2) * 2) - 800 : 0;
  PlayEffect(Name, pan);
}

void FirePrimary(int32_t Level) {
  using S = TShotSpec;
  // The volleys by level.
  static const S l1 = {"Clip1", 5, 1.0 / 35, 2, 4.5, 0, "playersmoke1", 1.0 / 23, 0, 10, true};
  static const S l2 = {"Clip2", 6, 1.0 / 35, 1, 3.5, 0, "playersmoke2", 1.0 / 15, -2, 10, true};
  static const S l3a = {"Clip1", 6, 1.0 / 35, 1, 6, 0, "playersmoke1", 1.0 / 23, 0, 0, true};
  static const S l3b = {"Clip2", 6, 1.0 / 35, 1, 4, 0, "playersmoke2", 1.0 / 20, 0, 10, true};
  static const S l4a = {"Clip3", 10, 0.1, 7, 5.4, 0, "playersmoke2", 1.0 / 22, 0, 0, true};
  static const S l4l = {"clip4", 8, 0.05, 2, 3.5, -68, "playersmoke4", 1.0 / 3, 0, 0, true};
  static const S l4r = {"clip4", 8, 0.05, 2, 3.5, -60, "playersmoke4", 1.0 / 3, 0, 0, true};
  static const S l5a = {"Clip3", 10, 0.1, 1, 3, 0, "playersmoke2", 1.0 / 3, 0, 0, true};
  static const S l5l = {"Clip1", 6, 0.1, 2, 4, -66, "playersmoke1", 1.0 / 3, 0, 0, true};
  static const S l5r = {"Clip1", 6, 0.1, 2, 4, -62, "playersmoke1", 1.0 / 3, 0, 0, true};

  PrimaryCounter = 0;
  if (Level < 1 || Level > 5) return;
  // The gun cycles once per reload in force before this volley.
  if (PrimaryMount)
    StartAnimation(PrimaryMount, PrimaryMount->AnimCount, 1.0 / Player.PrimaryReload, true);
  switch (Level) {
    case 1:
      Primary(l1, 0, false);
      WeaponSound("weapon1");
      Player.PrimaryReload = 33;
      break;
    case 2:
      Primary(l2, -5, true);
      Primary(l2, 5, true);
      WeaponSound("weapon2");
      Player.PrimaryReload = 20;
      break;
    case 3:
      Primary(l3a, 0, false);
      WeaponSound("weapon1");
      Primary(l3b, -5, true);
      Primary(l3b, 5, true);
      WeaponSound("weapon2");
      Player.PrimaryReload = 22;
      break;
    case 4:
      Primary(l4a, 0, false);
      WeaponSound("weapon1");
      Primary(l4l, -10, true);
      Primary(l4r, 10, true);
      WeaponSound("weapon3");
      Player.PrimaryReload = 34;
      break;
    default:  // 5
      Primary(l5a, -10, false);
      Primary(l5a, 10, false);
      WeaponSound("weapon2");
      Primary(l5l, -5, false);
      Primary(l5r, 5, false);
      WeaponSound("weapon2");
      Player.PrimaryReload = 18;
      break;
  }
}

void FireRockets(int32_t Level) {
  if (Player.Rockets <= 0 || Level != 1) return;
  const TShotSpec rocket = {"2Clip1", 10, 0.04, 20,   Player.RocketSpeed, 0, "playersmoke1",
                            1.0 / 15, 0,  0,    false};
  const TPlayerWeaponSprite* s = SecondaryMount;
  const double sx = s ? s->X : 0, sy = s ? s->Y : 0;
  const int32_t sw = s ? s->Width : 0;
  MakeShot(2, MainForm->WeaponsList, rocket, [&](TWeaponSprite& shot) {
    shot.X = sx - shot.Width / 2 + 7;
    shot.Y = sy - shot.Height / 2;
  });
  MakeShot(2, MainForm->WeaponsList, rocket, [&](TWeaponSprite& shot) {
    shot.X = sx + sw - shot.Width / 2 - 3;
    shot.Y = sy - shot.Height / 2;
  });
  WeaponSound("rockets");
  // One rocket buys the pair.
  Player.Rockets -= 1;
  SWeaponTextout();
}

void FireExtraWeapons() {
  const double shipX = PlayerShip ? PlayerShip->X : 0;
  const int32_t shipW = PlayerShip ? PlayerShip->Width : 0;
  const double sy = SecondaryMount ? SecondaryMount->Y : 0;
  // Shots 1 and 3 leave from the ship's left edge, 2 and 4 from its right.
  auto place = [&](int32_t Side) {
    return [=](TWeaponSprite& shot) {
      shot.X = Side == 0 ? shipX : shipX + shipW - shot.Width;
      shot.Y = sy - shot.Height / 2;
    };
  };
  if (Player.ExtraWeapon1Time > 0) {
    const TShotSpec spec = {"3clip1", 5, 1.0 / 15, 1, 8, 0, "playersmoke1", 1.0 / 15, 0, 25, false};
    MakeShot(3, MainForm->WeaponsList, spec, place(0));
    MakeShot(3, MainForm->WeaponsList, spec, place(1));
    PlayEffect("b_weapon1", 0);
  }
  if (Player.ExtraWeapon2Time > 0) {
    static constexpr std::array<int32_t, 4> angles = {-64, -64, -66, -62};
    for (int i = 0; i < 4; ++i) {
      const TShotSpec spec = {
          "3clip2",       10,       0.05, 1,  7.5,  angles[static_cast<size_t>(i)],
          "playersmoke1", 1.0 / 15, 0,    25, false};
      MakeShot(3, MainForm->WeaponsList, spec, place(i % 2));
    }
    PlayEffect("b_weapon1", 0);
  }
}

// Four splinters fanning upwards from (X, Y), from up-right to up-left.
void FireShrapnel(double X, double Y) {
  for (int i = 1; i <= 4; ++i) {
    const TShotSpec spec = {"2Clip2",       20,       1.0 / 30, 5, 0.1,  16 - 32 * i,
                            "playersmoke1", 1.0 / 15, 0,        0, false};
    MakeShot(0, MainForm->WeaponsList, spec, [&](TWeaponSprite& shot) {
      shot.X = X;
      shot.Y = Y;
    });
  }
}

// The impact flash of a shot that hits, by its picture.
struct TImpact {
  const char* Shot;
  const char* Picture;
  int32_t Frames;
};
constexpr std::array<TImpact, 5> kImpacts = {{{"clip1", "clipexplosion1", 20},
                                              {"clip2", "clipexplosion2", 20},
                                              {"clip3", "clipexplosion3", 20},
                                              {"3clip1", "clipexplosion1", 11},
                                              {"2clip1", "clipexplosion4", 11}}};

}  // namespace

void PlayerShoot(int32_t Weapon, int32_t Level, int32_t Shrapnel, double X, double Y) {
  if (GameState != "game" || FireLocked) return;
  switch (Weapon) {
    case 1:
      FirePrimary(Level);
      break;
    case 2:
      FireRockets(Level);
      break;
    case 3:
      FireExtraWeapons();
      break;
    default:
      break;
  }
  if (Shrapnel == 1) FireShrapnel(X, Y);
}

void ClearEnemyDestroyedMass() {
  EnemyX.Clear(0);
  EnemyY.Clear(0);
  EnemyWidth.Clear(0);
  EnemyHeight.Clear(0);
  EnemyDestroyed.Clear(true);
  // A hit registered as the last game ended must not land on the next
  // game's enemy of that number.
  HitEnemy = -1;
}

void TWeaponSprite::DoMove(int32_t MoveCount) {
  TImageSprite::DoMove(MoveCount);
  if (GameState == "mainmenu" || GameState == "newlevel") {
    MarkDead();
    return;
  }
  if (GameState != "game" && GameState != "levelcomplete") return;

  const double m = MoveCount;
  const auto a = static_cast<uint8_t>(Angle);
  const std::string& picture = DXImageName;
  switch (Kind) {
    case 0:
      Speed += 0.0125 * m;
      X += CosineStep(a) * Speed * m / 12;
      Y += SineStep(a) * Speed * m / 12;
      CreatePixels("smoke", "pixel_smoke3", X + Width / 2 - 2.5, Y + Height - 5);
      break;
    case 1:
      // The rule follows the level in force at each step, not at firing.
      if (Player.PrimaryLevel == 5) {
        if (picture == "clip1") {
          X += CosineStep(a) * Speed * m / 12;
          Y += SineStep(a) * Speed * m / 12;
        } else {
          Y -= m / 4 * Speed;
        }
      } else if (Player.PrimaryLevel == 4) {
        if (picture == "clip4") {
          X += CosineStep(a) * Speed * m / 10;
          Y += SineStep(a) * Speed * m / 10;
        } else {
          Y -= m / 8 * Speed;
        }
      } else {
        Y -= m / 5 * Speed;
      }
      break;
    case 2:
      if (GameOptions.RocketSmoke && picture == "2clip1")
        CreatePixels("smoke", "pixel_smoke3", X + Width / 2 - 2.5, Y + Height - 5);
      Speed += 0.025 * m;
      Y -= m / 20 * Speed;
      break;
    case 3:
      if (picture == "3clip2") {
        X += CosineStep(a) * Speed * m / 12;
        Y += SineStep(a) * Speed * m / 12;
      } else if (picture == "3clip1") {
        Y -= m / 12 * Speed;
      }
      break;
    case 4:
      Speed += m / 920;
      X += CosineStep(a) * Speed * m;
      Y += SineStep(a) * Speed * m;
      if (GameOptions.Splinters == 2)
        CreatePixels("smoke", "pixel_smoke2", X + Width / 2 - 2.5, Y + Height - 5);
      break;
    default:
      break;
  }
  // Off the top it goes, but this frame's hit test still runs.
  if (Y + Height < 0) MarkDead();

  // Every number the level has made is tested, however long a boss fight
  // has been spawning enemies.
  const int32_t last = std::min(EnemyCount, EnemyWidth.Last());
  for (int32_t n = 1; n <= last; ++n) {
    if (EnemyDestroyed[n] || EnemyHeight[n] == 0 || EnemyWidth[n] == 0) continue;
    if (!(EnemyX[n] < X && X < EnemyX[n] + EnemyWidth[n] && EnemyY[n] < Y &&
          Y < EnemyY[n] + EnemyHeight[n]))
      continue;
    MarkDead();
    Player.HitDamage = Damage;
    HitEnemy = n;
    // No other shot may hit this enemy before its next step.
    EnemyWidth[n] = 0;
    EnemyHeight[n] = 0;
    if (Kind == 2) PlayerShoot(0, 0, 1, X, Y);
    for (const TImpact& impact : kImpacts) {
      if (picture == impact.Shot) {
        CreateClipExplosion(30, impact.Picture, X + Width / 2, Y + Height / 2, impact.Frames,
                            1.0 / 15);
        break;
      }
    }
  }
}
