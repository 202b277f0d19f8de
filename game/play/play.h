// Play: the ship and its weapons, bonuses, effects and scenery, enemies,
// bosses and enemy fire, and the level flow. The sprite classes and the play
// routines, by area; the shared play variables are in game/core/main_form.h.
#pragma once

#include <cstdint>
#include <string>

#include "engine/sprite/image_sprite.h"
#include "game/core/enemy_table.h"
#include "game/core/main_form.h"

// =========================================================================
// ship: ship, weapons and hit testing, bonuses, effects and scenery
// =========================================================================
class TPlayerSprite : public TImageSprite {
 public:
  TAL_CLASS_NAME(TPlayerSprite)
  using TImageSprite::TImageSprite;
};

class TPlayerWeaponSprite : public TImageSprite {
 public:
  TAL_CLASS_NAME(TPlayerWeaponSprite)
  using TImageSprite::TImageSprite;
};

class TPlayerSpriteCollision : public TImageSprite {
 public:
  TAL_CLASS_NAME(TPlayerSpriteCollision)
  using TImageSprite::TImageSprite;
};

class TWeaponSprite : public TImageSprite {
 public:
  TAL_CLASS_NAME(TWeaponSprite)
  using TImageSprite::TImageSprite;
};

class TBonusSprite : public TImageSprite {
 public:
  TAL_CLASS_NAME(TBonusSprite)
  using TImageSprite::TImageSprite;
};

class TFxSprite : public TImageSprite {
 public:
  TAL_CLASS_NAME(TFxSprite)
  using TImageSprite::TImageSprite;
};

class TExplosionSprite : public TImageSprite {
 public:
  TAL_CLASS_NAME(TExplosionSprite)
  using TImageSprite::TImageSprite;
};

class TClipExplosion : public TImageSprite {
 public:
  TAL_CLASS_NAME(TClipExplosion)
  using TImageSprite::TImageSprite;
};

class TBackMapSprite : public TImageSprite {
 public:
  TAL_CLASS_NAME(TBackMapSprite)
  using TImageSprite::TImageSprite;
};

class TObjectSprite : public TImageSprite {
 public:
  TAL_CLASS_NAME(TObjectSprite)
  using TImageSprite::TImageSprite;
};

class TPixelAnimationSprite : public TImageSprite {
 public:
  TAL_CLASS_NAME(TPixelAnimationSprite)
  using TImageSprite::TImageSprite;
};

class TShootFxSprite : public TImageSprite {
 public:
  TAL_CLASS_NAME(TShootFxSprite)
  using TImageSprite::TImageSprite;
};

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

// =========================================================================
// enemies: creation and formations, movement and damage, bosses, enemy fire
// =========================================================================
class TEnemySprite : public TImageSprite {
 public:
  TAL_CLASS_NAME(TEnemySprite)
  using TImageSprite::TImageSprite;

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
};

class TEnemyShoot : public TImageSprite {
 public:
  TAL_CLASS_NAME(TEnemyShoot)
  using TImageSprite::TImageSprite;
};

class TEnemyFxSprite : public TImageSprite {
 public:
  TAL_CLASS_NAME(TEnemyFxSprite)
  using TImageSprite::TImageSprite;
};

void LoadEnemies(int32_t Level);
void CreateEnemy(int32_t Z, int32_t EnemyType, double X, double Y, int32_t Number, bool Spawned,
                 bool WithPoints);
void CreateBoss(int32_t Z, int32_t Number, int32_t PartIndex, int32_t PartKind, double X, double Y);
double CheckAngle(double X1, double Y1, double X2, double Y2);

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
