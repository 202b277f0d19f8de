// A headless main form with the generated archives loaded, fresh play
// variables and a seeded generator, for the ship, weapon, bonus and effect
// tests. Tests make the sprites they need and move them on the virtual
// clock's terms: every move gets the lag it is given.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/directx/directx.h"
#include "framework/forms.h"
#include "framework/random.h"
#include "game/core/game_fixture.h"
#include "game/core/main_form.h"
#include "game/play/play.h"
#include "game/play/ship_common.h"
#include "game/screens/interface_sprite.h"
#include "platform/backend/headless/headless_audio.h"
#include "platform/backend/headless/headless_core.h"
#include "platform/backend/headless/headless_input.h"
#include "platform/backend/headless/headless_video.h"
#include "platform/ddraw/ddraw.h"
#include "platform/ddraw/ddraw_seam.h"
#include "platform/dinput/input_host.h"
#include "platform/win/library.h"
#include "platform/win/user_seam.h"

class TPlayFixture : public testing::Test {
 protected:
  static std::string DataDir() { return std::string(TAL_BIN_DIR) + "/data"; }

  void SetUp() override {
    ASSERT_TRUE(FileExists(DataDir() + "/graphic/models.dan")) << DataDir() << " holds no archives";
    app_ = std::make_unique<TApplicationScope>();
    HeadlessInstall(1000);
    HeadlessInstallVideo();
    DDRegisterModule();
    HeadlessInstallAudio();
    HeadlessInstallInput();
    Joystick = HeadlessAddJoystick(false);

    Form = new TMainForm(nullptr);
    Form->Show();
    // No audio library stands in the program folder: the game says so once
    // and plays on without music.
    const auto boxes = TakeRecordedMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, "BASS.DLL is not loaded.");
    Form->Perform(WM_ACTIVATE, WA_ACTIVE, 0);
    Form->DXDraw->Initialize();
    const std::pair<TDXImageList*, const char*> lists[] = {{Form->ImageList, "data.dan"},
                                                           {Form->ModelsList, "models.dan"},
                                                           {Form->ExplosionsList, "explosions.dan"},
                                                           {Form->WeaponsList, "weapons.dan"},
                                                           {Form->FxList, "fx.dan"},
                                                           {Form->BackGroundList, "bg.dan"},
                                                           {Form->InterFaceList, "interface.dan"},
                                                           {Form->BonusesList, "bonuses.dan"}};
    for (const auto& [list, file] : lists)
      list->Items().LoadFromFile(DataDir() + "/graphic/" + file);
    Form->DXWaveList->Items().LoadFromFile(DataDir() + "/sound/snd.tor");
    Form->VoiceList->Items().LoadFromFile(DataDir() + "/sound/vc.tor");

    savedChances_ = BonusChance;
    ResetPlay();
    RandSeed = 20261210;
  }

  void TearDown() override {
    if (!Form) return;
    BonusChance = savedChances_;
    Engine()->Clear();
    for (TInterFaceSprite** s : {&DoorTop, &FaceSprite, &PrimaryIcon, &SecondaryIcon, &GodBar,
                                 &ExtraWeaponIcon, &ReadyBanner})
      *s = nullptr;
    delete Form;
    DDSetVideoOutput(nullptr);
    UninstallHeadlessAudio();
    InputHost().Reset();
    FreeDirectXLibraries();
    HeadlessUninstall();
    app_.reset();
  }

  // Every play variable as a new game finds it.
  static void ResetPlay() {
    game_test::ResetGame();
    GameState = "game";
    CurrentLevel = 1;
    EnemiesAlive = 1;  // the level is not complete unless a test says so
    ScreenFadeStep = 0;
  }

  TSpriteEngine* Engine() { return Form->DXSpriteEngine->Engine(); }

  // The ship and its companions as a new game makes them, placed in play.
  void MakeShip() {
    CreateShipCompanions();
    CreatePlayerShip();
    PlayerShip->Y = 595 - PlayerShip->Height;
  }

  // An interface sprite with a picture of the interface list.
  TInterFaceSprite* MakeInterface(const std::string& Picture) {
    auto* s = new TInterFaceSprite(Engine());
    SetPicture(s, Form->InterFaceList, Picture);
    return s;
  }

  // One frame: the move pass with lag M, then the dead are freed.
  void Frame(int32_t M) {
    Engine()->Move(M);
    Engine()->FreeDead();
  }

  // Live sprites of class T, in creation order.
  template <class T>
  std::vector<T*> All() {
    std::vector<T*> out;
    for (int i = 0; i < Engine()->Count(); ++i)
      if (auto* s = dynamic_cast<T*>(Engine()->Items(i)); s && !s->IsDead()) out.push_back(s);
    return out;
  }

  // The input devices read the scripted keyboard, mouse and joystick.
  void PollInput() { Form->DXInput->Update(); }

  TMainForm* Form = nullptr;
  std::shared_ptr<TScriptedJoystick> Joystick;

 private:
  std::unique_ptr<TApplicationScope> app_;
  TBonusChance savedChances_{};
};
