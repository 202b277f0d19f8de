// The main form on the headless backend for the screens' tests: a scratch
// program folder with the generated data and a complete game.INI, the form
// shown and in front, and helpers that play the mouse and the keyboard
// through the window messages a real session gets. Frames move the sprite
// tree by hand, so the window timers run only when a test moves the clock.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/forms.h"
#include "game/core/main_form.h"
#include "game/screens/interface_sprite.h"

struct TPlayedSound {
  std::string Name;
  int32_t Volume;
  int32_t Pan;
};

// SDL scancodes.
constexpr int kScanEnter = 40, kScanEscape = 41, kScanF1 = 58, kScanX = 27;

class ScreensTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Handles the posted messages (and any window timer that is due).
  void Pump();
  // One frame: pending messages, then the sprite tree moved by Ms.
  void Frame(int Ms = 16);
  void MoveMouse(int X, int Y);
  // A left click at X, Y, then a frame.
  void Click(int X, int Y);
  // A click on the middle of a sprite.
  void ClickOn(const TImageSprite* Sprite);
  // Press and release of a key, then the messages.
  void Key(int Scancode);
  // Types a code of decimal virtual-key codes, two digits a letter.
  void TypeCode(const std::string& Code);
  // The main menu as the intro leaves it, faded in.
  void EnterMainMenu();
  // A game in play with the heads-up display and Alive live enemies.
  void EnterPlay(int Alive = 3);
  // The sounds played since the last call, and forgets them.
  std::vector<TPlayedSound> TakeSounds();
  int CountSounds(const std::string& Name);
  int InterfaceSpriteCount() const;

  TMainForm* Form = nullptr;
  std::vector<TPlayedSound> Sounds;

 private:
  std::unique_ptr<TApplicationScope> scope_;
  std::string folder_;
};

std::string Picture(const TImageSprite* Sprite);
