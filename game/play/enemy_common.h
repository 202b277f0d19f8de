// Helpers shared by the enemy, boss and enemy-fire code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TFxSprite;
class TImageSprite;

// Hit-box entries of an enemy number.
void SetEnemyBox(int32_t Number, double X, double Y, int32_t Width, int32_t Height);
void SetEnemyDestroyed(int32_t Number, bool Destroyed);

// A hidden "showhealth" bar above everything else.
TFxSprite* MakeHealthBar();
// Looped animation from frame 0.
void LoopAnimation(TImageSprite* Sprite, int32_t Frames, double Speed);
// Pan of an explosion at screen X.
int32_t ExplosionPan(double X);
// "mesh1" or "mesh2", drawn at random.
std::string MeshName();
// Points adjusted by the player's difficulty.
int32_t ScoreFor(int32_t Points);

// A boss part's place on the body and its kind (1 weapon, 2 creator,
// 3 generator).
struct TBossPartPlace {
  double X, Y;
  int32_t Kind;
};
// The parts of a boss kind 1..3, in part order; empty for another kind.
const std::vector<TBossPartPlace>& BossPartsOf(int32_t BossKind);
