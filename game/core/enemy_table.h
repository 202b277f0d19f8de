// The fixed data about the enemies: the 19 enemy types, the three boss
// kinds, the book's description lines, the radio-voice tables, and the enemy
// book of types destroyed so far.
//
// Tables indexed from 1 keep an unused element 0, so code reads like the
// numbers players and the settings file use (type 1..19, category 1..8).
#pragma once

#include <array>
#include <cstdint>
#include <string>

// The attributes of one enemy, copied into each enemy sprite and then
// changed only by that enemy.
struct TSpriteInfo {
  int32_t Points = 0;
  int32_t EnemyType = 0;  // 1..19; 0 for a boss body or boss part
  int32_t FireFrames = 0;
  double FireSpeed = 0;
  std::string Explosion;  // ExplosionsList
  std::string Muzzle;     // FxList
  int32_t MuzzleFrames = 0;
  double MuzzleSpeed = 0;
  std::string Shot;  // WeaponsList
  bool ShotAnimated = false;
  int32_t ShotFrames = 0;
  double ShotAnimSpeed = 0;
  std::string Glow;  // FxList
  int32_t GlowFrames = 0;
  double GlowSpeed = 0;
  std::string KindName;  // at most 30 characters
  int32_t Health = 0;
  int32_t MaxHealth = 0;
  double Speed = 0;
  int32_t Pattern = 0;
  double ShotSpeed = 0;
  int32_t Reload = 0;
};

// One row of the enemy-type table: what an enemy of the type starts with,
// and its looped model animation in ModelsList.
struct TEnemyType {
  TSpriteInfo Info;  // Health and MaxHealth both hold the normal-difficulty health
  std::string Model;
  int32_t ModelFrames = 0;
  double ModelSpeed = 0;
};

constexpr int EnemyTypeCount = 19;
constexpr int BossKindCount = 3;
constexpr int DescriptionLines = 8;
constexpr int DescriptionLength = 40;

// Rows 1..19 (row 0 empty).
extern const std::array<TEnemyType, EnemyTypeCount + 1> EnemyTypes;
extern const std::array<std::string, EnemyTypeCount + 1> EnemyNames;
// Rows 1..3 by boss kind (row 0 empty). Model stays empty: a body's picture
// is "boss" + kind.
extern const std::array<TEnemyType, BossKindCount + 1> BossTypes;

// [type 1..19][line 1..8], filled by InitEnemyTexts.
extern std::array<std::array<std::string, DescriptionLines + 1>, EnemyTypeCount + 1>
    EnemyDescriptions;

// Radio voices by [category 1..8][variant 1..5]: animation speed of the face
// and hold time in 200-ms ticks. Filled by InitEnemyTexts.
extern std::array<std::array<double, 6>, 9> VoiceAnimSpeed;
extern std::array<std::array<int32_t, 6>, 9> VoiceDuration;

// Elements 1..19: enemy types in the order first destroyed (0 empty);
// element 20: the row the book page shows.
constexpr int EnemyBookSize = 19;
extern std::array<int32_t, EnemyBookSize + 2> EnemyBook;
extern int32_t EnemyBookCount;

// Fills the description lines and the voice tables; run once at start.
void InitEnemyTexts();
