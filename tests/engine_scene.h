// A small playable scene on the engine form: a ship steered by the input
// states, shots, enemies from every picture archive that die in explosions
// with a sound panned to where they died. Both end-to-end tests play it.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "engine/sprite/image_sprite.h"
#include "tests/engine_form.h"

// The game's generator: one seed, one sequence.
struct TSceneRandom {
  uint32_t Seed;
  uint32_t Next(uint32_t N) {
    Seed = Seed * 134775813u + 1u;
    return static_cast<uint32_t>((uint64_t{Seed} * N) >> 32);
  }
};

class TScenePlayer;

struct TScene {
  static constexpr double ShipSpeed = 0.1;  // pixels per millisecond
  static constexpr int ShipZ = 100;

  // Fills the form's sprite engine: the ship, Enemies enemies and, from an
  // archive of full-screen pictures only, a backdrop.
  TScene(TEngineForm& Form, int Enemies, uint32_t Seed);

  TEngineForm& Form;
  TSceneRandom Random;
  // Pictures an enemy may take, per archive (full-screen ones left out).
  std::vector<std::vector<TPictureCollectionItem*>> EnemyPictures;
  std::vector<std::string> EnemyArchives;
  TPictureCollectionItem* ShotPicture = nullptr;
  TPictureCollectionItem* BlastPicture = nullptr;
  TScenePlayer* Player = nullptr;

  // What happened so far.
  int ShotsFired = 0;
  int Kills = 0;
  int LiveEnemies = 0;
  int Backdrops = 0;
  int SoundsPlayed = 0;
  std::set<std::string> ArchivesShown;

  void NewEnemy();
};

class TScenePlayer : public TImageSprite {
 public:
  TScenePlayer(TSprite* Parent, TScene& Scene);
  void DoMove(int32_t MoveCount) override;

 private:
  TScene& scene_;
  int32_t reload_ = 0;
};

// Share (0..1) of the opaque pixels of Sprite's current pattern that the
// presented frame Pixels (0x00RRGGBB, Width wide, neutral gamma) shows in the
// pattern's colours at the sprite's place.
double SpriteCoverage(TImageSprite& Sprite, const uint32_t* Pixels, int Width, int Height);
