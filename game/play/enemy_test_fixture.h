// For the enemy tests: the main form on the headless display with the
// generated model, effect, weapon and explosion pictures, the game's tables,
// a ship to aim at, a seeded generator and play variables as a level starts.
// Frames are moved by hand with a fixed lag.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "framework/forms.h"
#include "framework/random.h"
#include "game/core/main_form.h"
#include "game/play/play.h"
#include "platform/backend/headless/headless_core.h"
#include "platform/backend/headless/headless_video.h"
#include "platform/ddraw/ddraw.h"
#include "platform/win/library.h"

class EnemyFixture : public ::testing::Test {
 public:
  void SetUp() override {
    const std::string data = std::string(TAL_BIN_DIR) + "/data/graphic/";
    ASSERT_TRUE(std::filesystem::exists(data + "models.dan")) << data << " holds no archives";
    scratch_ = std::filesystem::temp_directory_path() /
               ("tal_enemy_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(scratch_);
    std::filesystem::create_directories(scratch_);
    SetProgramFolder(scratch_.string() + "/");

    HeadlessInstall();
    HeadlessInstallVideo();
    DDRegisterModule();
    form_ = new TMainForm(nullptr);
    form_->ModelsList->Items().LoadFromFile(data + "models.dan");
    form_->FxList->Items().LoadFromFile(data + "fx.dan");
    form_->WeaponsList->Items().LoadFromFile(data + "weapons.dan");
    form_->ExplosionsList->Items().LoadFromFile(data + "explosions.dan");
    form_->Perform(WM_ACTIVATE, WA_ACTIVE, 0);
    form_->DXDraw->Initialize();
    ASSERT_TRUE(form_->DXDraw->CanDraw());

    InitEnemyTexts();
    InitMissionTable();
    RandSeed = 20261210;
    GameOptions = TGameOptions();
    GameState = "game";
    CurrentMission = 1;
    CurrentLevel = 1;
    EnemiesAlive = 0;
    EnemyCount = 0;
    HitEnemy = -1;
    EnemyX.fill(0);
    EnemyY.fill(0);
    EnemyWidth.fill(0);
    EnemyHeight.fill(0);
    EnemyDestroyed.fill(true);
    BossPartsAlive = 0;
    BossBaseX = BossBaseY = 0;
    BossDying = false;
    BossDeathCountdown = 0;
    BossExplosionMark = 0;
    FireLocked = false;
    ShakeCount = ShakeAmplitude = 0;
    EnemyBook.fill(0);
    EnemyBookCount = 0;

    PlayerShip = new TPlayerSprite(Engine());
    PlayerShip->SetImage(form_->ModelsList->Items().Find("player1left"));
    PlayerShip->X = 350;
    PlayerShip->Y = 595 - PlayerShip->Height;
    PlayerShip->SetZ(15);
    // A target only: the ship's own step is not under test here.
    PlayerShip->Moved = false;
  }

  void TearDown() override {
    PlayerShip = nullptr;
    delete form_;
    MainForm = nullptr;
    DDSetVideoOutput(nullptr);
    HeadlessUninstall();
    std::filesystem::remove_all(scratch_);
  }

  TSpriteEngine* Engine() { return form_->DXSpriteEngine->Engine(); }

  // One frame's move pass with lag M, then the dead are freed.
  void Step(int M = 16) {
    Engine()->Move(M);
    Engine()->FreeDead();
  }

  // Live sprites of class T, in creation order.
  template <class T>
  std::vector<T*> Live() {
    std::vector<T*> out;
    for (int i = 0; i < Engine()->Count(); ++i)
      if (auto* s = dynamic_cast<T*>(Engine()->Items(i)); s && !s->IsDead()) out.push_back(s);
    return out;
  }
  std::vector<TEnemySprite*> Enemies() { return Live<TEnemySprite>(); }
  std::vector<TEnemyShoot*> Shots() { return Live<TEnemyShoot>(); }

  // The newest enemy made.
  TEnemySprite* Last() {
    auto e = Enemies();
    return e.empty() ? nullptr : e.back();
  }
  TEnemySprite* Make(int Type, double X = 300, double Y = 100) {
    ++EnemyCount;
    CreateEnemy(20, Type, X, Y, EnemyCount, false, true);
    EnemyDestroyed[static_cast<size_t>(EnemyCount)] = false;
    return Last();
  }
  // Hands the enemy a player hit of Damage for its next step.
  static void Hit(const TEnemySprite* E, int Damage) {
    HitEnemy = E->Number;
    Player.HitDamage = Damage;
  }

  TMainForm* form_ = nullptr;

 private:
  std::filesystem::path scratch_;
};
