// For the enemy tests: the play fixture's headless main form with the
// generated archives, plus the game's tables, a ship to aim at and the boss
// and book variables as a level starts. Frames are moved by hand with a
// fixed lag.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/random.h"
#include "game/core/main_form.h"
#include "game/play/play.h"
#include "game/play/ship_test_fixture.h"

class EnemyFixture : public TPlayFixture {
 public:
  void SetUp() override {
    TPlayFixture::SetUp();
    if (HasFatalFailure()) return;
    InitEnemyTexts();
    InitMissionTable();
    EnemiesAlive = 0;
    BossPartsAlive = 0;
    BossBaseX = BossBaseY = 0;
    BossDying = false;
    BossDeathCountdown = 0;
    BossExplosionMark = 0;
    EnemyBook.fill(0);
    EnemyBookCount = 0;

    PlayerShip = new TPlayerSprite(Engine());
    PlayerShip->SetImage(Form->ModelsList->Items().Find("player1left"));
    PlayerShip->X = 350;
    PlayerShip->Y = 595 - PlayerShip->Height;
    PlayerShip->SetZ(15);
    // A target only: the ship's own step is not under test here.
    PlayerShip->Moved = false;
  }

  TSpriteEngine* Engine() { return TPlayFixture::Engine(); }

  // One frame's move pass with lag M, then the dead are freed.
  void Step(int M = 16) { Frame(M); }

  std::vector<TEnemySprite*> Enemies() { return All<TEnemySprite>(); }
  std::vector<TEnemyShoot*> Shots() { return All<TEnemyShoot>(); }
  template <class T>
  std::vector<T*> Live() {
    return All<T>();
  }

  // The newest enemy made.
  TEnemySprite* Last() {
    auto e = Enemies();
    return e.empty() ? nullptr : e.back();
  }
  TEnemySprite* Make(int Type, double X = 300, double Y = 100) {
    ++EnemyCount;
    CreateEnemy(20, Type, X, Y, EnemyCount, false, true);
    EnemyDestroyed[EnemyCount] = false;
    return Last();
  }
  // Hands the enemy a player hit of Damage for its next step.
  static void Hit(const TEnemySprite* E, int Damage) {
    HitEnemy = E->Number;
    Player.HitDamage = Damage;
  }
};
