// The player record, the mission table of ten missions of ten levels, and
// the way paths that path-flying enemies follow.
//
// Tables indexed from 1 keep an unused element 0 (mission 1..10, level
// 1..10, row and column from 1, path 1..8, point 1..400).
#pragma once

#include <array>
#include <cstdint>
#include <string>

struct TPlayer {
  std::string Name = "Player1";
  int32_t PrimaryLevel = 1;
  int32_t PrimaryReload = 45;
  int32_t SecondaryLevel = 1;
  int32_t Rockets = 4;
  int32_t SecondaryReload = 50;
  double RocketSpeed = 0.5;
  double SecondaryCounter = 0;
  int64_t Score = 0;
  int32_t HitDamage = 0;
  bool Armor = false;
  int32_t GodTime = 0;
  int32_t ExtraWeapon1Time = 0;
  double ExtraWeaponCounter = 0;
  int32_t ExtraWeapon2Time = 0;
  int32_t ShieldTime = 0;
  int32_t Status = 2;
  int32_t Difficulty = 1;  // 0 easy, 1 normal, 2 hard
  int64_t BonusesTaken = 0;
  int64_t BonusesMissed = 0;
  int64_t LevelScore = 0;
  int64_t EnemiesDestroyed = 0;
  int64_t LevelTime = 0;
  int64_t GameTime = 0;
  // Best level times by slot 1..100 (BestTimeSlot); 0 = none yet.
  std::array<int64_t, 102> BestTimes{};
};

extern TPlayer Player;

constexpr int MissionCount = 10;
constexpr int LevelsPerMission = 10;
constexpr int WaveRows = 5, WaveColumns = 8;
constexpr int FormationRows = 8, FormationColumns = 12;
constexpr int BackgroundSlots = 10;

struct TLevel {
  // [row][column]: enemy type 1..19 or 0.
  std::array<std::array<int32_t, WaveColumns + 1>, WaveRows + 1> Waves{};
  std::array<std::array<int32_t, FormationColumns + 1>, FormationRows + 1> Formation{};
  // Background pictures by layer slot 1..10; empty = no layer.
  std::array<std::string, BackgroundSlots + 1> Backgrounds;
  int32_t BossKind = 0;   // 0 none, 1..3
  int32_t BossParts = 0;  // 4 or 6 on a boss level
};

struct TEpisode {
  std::string Name;
  std::array<TLevel, LevelsPerMission + 1> Levels;
};

extern std::array<TEpisode, MissionCount + 1> Episodes;

constexpr int WayPathCount = 8;
constexpr int WayPathPoints = 400;
struct TWayPath {
  std::array<int32_t, WayPathPoints + 1> X{};
  std::array<int32_t, WayPathPoints + 1> Y{};
};
extern std::array<TWayPath, WayPathCount + 1> WayPaths;

// What each path is known by: the box it stays in and nine of its points.
struct TWayPathSample {
  int32_t Point, X, Y;
};
struct TWayPathShape {
  int32_t MinX, MaxX, MinY, MaxY;
  std::array<TWayPathSample, 9> Samples;
};
extern const std::array<TWayPathShape, WayPathCount + 1> WayPathShapes;  // 1..8

// Sets the player defaults and fills Episodes and WayPaths; run once at start.
void InitMissionTable();
