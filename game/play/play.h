// Play: the ship and its weapons, bonuses, effects and scenery, enemies,
// bosses and enemy fire, and the level flow. The sprite classes and the play
// routines, by area; the shared play variables are in game/core/main_form.h.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "engine/sprite/background_sprite.h"
#include "engine/sprite/image_sprite.h"
#include "game/core/enemy_table.h"
#include "game/core/main_form.h"

// =========================================================================
// ship: ship, weapons and hit testing, bonuses, effects and scenery
// =========================================================================
// The ship. Play sprites that other sprites or the form point at clear
// those pointers when they are freed, so a reference is checked by testing
// it, never by trusting it.
class TPlayerSprite : public TImageSprite {
 public:
  TAL_CLASS_NAME(TPlayerSprite)
  using TImageSprite::TImageSprite;
  ~TPlayerSprite() override { ForgetPlaySprite(this); }
  // The ship itself never collides; its hit boxes do.
  void DoCollision(TSprite*, bool&) override {}
  void DoMove(int32_t MoveCount) override;

 private:
  void StepIntoNextLevel();
  void StepInPlay(double MoveCount);
};

// A gun mount: PrimaryMount or SecondaryMount.
class TPlayerWeaponSprite : public TImageSprite {
 public:
  TAL_CLASS_NAME(TPlayerWeaponSprite)
  using TImageSprite::TImageSprite;
  ~TPlayerWeaponSprite() override { ForgetPlaySprite(this); }
  void DoMove(int32_t MoveCount) override;
};

// One of the ship's three hit boxes: never drawn, collides with enemy shots
// and bonuses.
class TPlayerSpriteCollision : public TImageSprite {
 public:
  TAL_CLASS_NAME(TPlayerSpriteCollision)
  using TImageSprite::TImageSprite;
  ~TPlayerSpriteCollision() override { ForgetPlaySprite(this); }
  void DoCollision(TSprite* Sprite, bool& Done) override;
  void DoMove(int32_t MoveCount) override;
};

// A player's shot or a bomb's splinter.
class TWeaponSprite : public TImageSprite {
 public:
  TAL_CLASS_NAME(TWeaponSprite)
  using TImageSprite::TImageSprite;
  void DoMove(int32_t MoveCount) override;

  int32_t Damage = 0;
  // 0 shrapnel, 1 primary shot, 2 rocket, 3 extra-weapon shot, 4 bomb splinter.
  int32_t Kind = 0;
  double Speed = 0;
  // Direction in 1/256 turns, 0 right, 64 down.
  int32_t Angle = 0;
};

class TBonusSprite : public TImageSprite {
 public:
  TAL_CLASS_NAME(TBonusSprite)
  using TImageSprite::TImageSprite;
  ~TBonusSprite() override;
  void DoMove(int32_t MoveCount) override;

  int32_t Kind = 0;  // 1..8
  bool Taken = false;

  // Marks its kind as falling until it goes.
  void SetFalling() { falling_ = true; }
  // Its kind is no longer falling: taken, missed or removed.
  void Gone();

 private:
  bool falling_ = false;
};

// Splinters; also the ship's flames, fire and extra-weapon mount and the
// enemies' health bars, which have an empty Kind.
class TFxSprite : public TImageSprite {
 public:
  TAL_CLASS_NAME(TFxSprite)
  using TImageSprite::TImageSprite;
  ~TFxSprite() override { ForgetPlaySprite(this); }
  void DoMove(int32_t MoveCount) override;

  int32_t Angle = 0;  // 1/256 turns
  double Speed = 0;
  std::string Kind;
};

// An explosion or its overlay.
class TExplosionSprite : public TImageSprite {
 public:
  TAL_CLASS_NAME(TExplosionSprite)
  using TImageSprite::TImageSprite;
  void DoMove(int32_t MoveCount) override;
};

// The impact flash of a player's shot.
class TClipExplosion : public TImageSprite {
 public:
  TAL_CLASS_NAME(TClipExplosion)
  using TImageSprite::TImageSprite;
  void DoMove(int32_t MoveCount) override;
};

// A tiled background layer.
class TBackMapSprite : public TBackgroundSprite {
 public:
  TAL_CLASS_NAME(TBackMapSprite)
  using TBackgroundSprite::TBackgroundSprite;
  void DoMove(int32_t MoveCount) override;

  double Speed = 0;
  std::string Kind;
};

// An asteroid.
class TObjectSprite : public TImageSprite {
 public:
  TAL_CLASS_NAME(TObjectSprite)
  using TImageSprite::TImageSprite;
  void DoMove(int32_t MoveCount) override;

  double Speed = 0;  // sets only its spin
  int32_t Angle = 0;
};

// A smoke particle.
class TPixelAnimationSprite : public TImageSprite {
 public:
  TAL_CLASS_NAME(TPixelAnimationSprite)
  using TImageSprite::TImageSprite;
  void DoMove(int32_t MoveCount) override;

  std::string Kind;
};

// A muzzle flash; a "player" one follows the primary mount sideways.
class TShootFxSprite : public TImageSprite {
 public:
  TAL_CLASS_NAME(TShootFxSprite)
  using TImageSprite::TImageSprite;
  void DoMove(int32_t MoveCount) override;

  double OffsetX = 0;  // its X minus the primary mount's X when made
  std::string Owner;
};

// Bonus chances in percent by level 1..10; the level flow changes the
// level-10 entries for the rest of the run.
struct TBonusChance {
  using TRow = std::array<int32_t, 11>;
  std::array<TRow, 6> Upgrade;  // by primary level 1..5
  TRow Rockets;
  std::array<TRow, 3> Extra;     // 1 extra weapon 1, 2 extra weapon 2
  std::array<TRow, 3> ArmorGod;  // 1 armor, 2 god
  TRow Bomb;
};
extern TBonusChance BonusChance;

void PlayerShoot(int32_t Weapon, int32_t Level, int32_t Shrapnel, double X, double Y);
void ClearEnemyDestroyedMass();
void CreateBonus(int32_t Z, int32_t Frames, double X, double Y);
int32_t GenerateBonus(int32_t Level, int32_t PrimaryLevel);
void CreateExplosion(int32_t Z, const std::string& Name, double X, double Y,
                     const std::string& Mesh, int32_t Flash, int32_t PlaySound, int32_t SoundNo,
                     int32_t Pan);
void CreateShootFx(int32_t Z, const std::string& Name, double X, double Y, int32_t Frames,
                   double Speed, const std::string& Owner);
void CreateClipExplosion(int32_t Z, const std::string& Name, double X, double Y, int32_t Frames,
                         double Speed);
void CreateSplinters(int32_t Width, int32_t Height, double X, double Y, int32_t Count);
void CreatePixels(const std::string& Kind, const std::string& Picture, double X, double Y);
void LoadEpisode();
// The ship's sprites as a new game makes them, in this order, which is also
// their move order: CreateShipCompanions (both flames, the ship's fire, the
// extra-weapon mount) before the heads-up display, CreatePlayerShip (the
// ship, its hit boxes, both mounts) after it.
void CreateShipCompanions();
void CreatePlayerShip();

// =========================================================================
// enemies: creation and formations, movement and damage, bosses, enemy fire
// =========================================================================
class TEnemyFxSprite;

class TEnemySprite : public TImageSprite {
 public:
  TAL_CLASS_NAME(TEnemySprite)
  using TImageSprite::TImageSprite;

  void DoMove(int32_t MoveCount) override;
  // Kind 1: one shot aimed at the ship; kind 2: a ring of eight.
  void Shoot(int32_t Kind);

  double TargetX = 0, TargetY = 0;
  double StartX = 0, StartY = 0;
  int32_t BurstCount = 0;
  TFxSprite* HealthBar = nullptr;
  int32_t HealthBarTimer = 0;
  double BossOffsetX = 0, BossOffsetY = 0;
  int32_t ShotPattern = 0;
  bool BossPart = false;
  int32_t Number = 0;
  TSpriteInfo Info;
  double FireTimer = 0;
  double Phase = 0;
  int32_t PathIndex = 0;

  // Pieces of the step, shared between the ordinary and the boss code.
  // Fires K when the timer is due, else counts it on in 22-ms units.
  void FireRule(int32_t Kind, int32_t MoveCount);
  // One step towards the next point of way path Path (1..8).
  void FollowPath(int32_t Path, int32_t MoveCount);
  // Movement pattern 5, by KindName.
  void BossMove(int32_t MoveCount);
  // The boss death sequence for this enemy; true when it must die now.
  bool BossDeathStep();
  // A hit part of a boss fight: its explosions and the generator releases.
  void BossPartExplosion();
  void GeneratorRelease();

 private:
  // Explosion, hit box, count and score: what every death has in common.
  void Perish();
};

class TEnemyShoot : public TImageSprite {
 public:
  TAL_CLASS_NAME(TEnemyShoot)
  using TImageSprite::TImageSprite;

  void DoMove(int32_t MoveCount) override;

  double Speed = 0;
  int32_t Pattern = 0;
  TEnemyFxSprite* Glow = nullptr;
  int32_t Angle = 0;
};

class TEnemyFxSprite : public TImageSprite {
 public:
  TAL_CLASS_NAME(TEnemyFxSprite)
  using TImageSprite::TImageSprite;

  void DoMove(int32_t MoveCount) override;
};

void LoadEnemies(int32_t Level);
void CreateEnemy(int32_t Z, int32_t EnemyType, double X, double Y, int32_t Number, bool Spawned,
                 bool WithPoints);
void CreateBoss(int32_t Z, int32_t Number, int32_t PartIndex, int32_t PartKind, double X, double Y);
// Direction from (X1, Y1) to (X2, Y2) in degrees, -90..270, 90 straight
// down; 90 also for two equal points.
double CheckAngle(double X1, double Y1, double X2, double Y2);

// The countdown value whose round of death-sequence explosions was made last.
extern int32_t BossExplosionMark;
// BossKind of the level being played; 0 outside the mission table.
int32_t CurrentBossKind();
// The way-path point an enemy made with PathIndex Index starts on, as an
// index that names a point and whose successor does too: 0 stays 0 (the
// enemy stays where it was made and flies to point 1), and indices past 399
// wrap round the 399-step cycle that path following flies.
int32_t StartPathIndex(int32_t Index);

// =========================================================================
// flow: level flow
// =========================================================================
void NewGame();
void ShowCompleteLevel(bool Show);
void EnterNewLevelBg();
void EnterNewLevel();
void LoadLevel();
void ShowGameOver(bool Show);
void AnimateStvorki(const std::string& State);
// The level the player finished last (0: none since the mission began); its
// best time is kept under it even after the mission moves on.
extern int32_t FinishedMission, FinishedLevel;
