#include "tests/game/pilot.h"

#include <algorithm>
#include <cmath>

#include "game/core/main_form.h"
#include "game/play/play.h"
#include "game/screens/interface_sprite.h"
#include "platform/backend/headless/headless_input.h"

namespace {

// SDL scancodes.
constexpr int kReturn = 40, kEscape = 41;

int LetterScancode(char C) {
  return 4 + (C - 'A');
}

// The game's codes, as the letters whose key codes they spell.
const char* const GodCode = "KQFXCZB";
const char* const WeaponCode = "YDHKWFQVBO";
const char* const RocketsCode = "QJZCNGXHDVK";

// How long a typed code waits after the last key, so the game's buffer of
// recent keys has emptied and the code matches on its own.
constexpr int kCodePauseMs = 1200;

}  // namespace

void TPilot::ClickAt(int X, int Y, int EveryMs) {
  constexpr int kFirstMs = 300;
  if (inState_ < kFirstMs || (inState_ - kFirstMs) % EveryMs >= frameMs_) return;
  HeadlessClick(X, Y);
}

void TPilot::ClickOn(const TImageSprite* Sprite, int EveryMs) {
  if (!Sprite || !Sprite->Visible) return;
  ClickAt(static_cast<int>(Sprite->X) + Sprite->Width / 2,
          static_cast<int>(Sprite->Y) + Sprite->Height / 2, EveryMs);
}

void TPilot::Type(const std::string& Letters) {
  for (char c : Letters) keys_.push_back(LetterScancode(c));
}

void TPilot::HoldFire(bool Hold) {
  if (Hold == firing_) return;
  firing_ = Hold;
  HeadlessMouseButton(0, Hold);
}

void TPilot::Step() {
  now_ += frameMs_;
  if (GameState != state_) {
    if (GameState == "game" && state_ == "ready") ++levels_;
    state_ = GameState;
    inState_ = 0;
  } else {
    inState_ += frameMs_;
  }
  if (!keys_.empty()) {
    const int key = keys_.front();
    keys_.pop_front();
    HeadlessKeyDown(key);
    HeadlessKeyUp(key);
    lastKey_ = now_;
  }
  if (state_ != "game") HoldFire(false);

  if (state_ == "intro2") {
    if (At(200)) {
      HeadlessKeyDown(kEscape);
      HeadlessKeyUp(kEscape);
    }
  } else if (state_ == "mainmenu") {
    ClickOn(MenuButtons[leaving_ ? 6 : 1]);
  } else if (state_ == "difficulty") {
    ClickOn(MenuButtons[24 + std::clamp(plan_.Difficulty, 0, 2)]);
  } else if (state_ == "chooseepisode") {
    ClickOn(MenuButtons[plan_.Mission <= 5 ? 14 : 15]);
  } else if (state_ == "choosemission1" || state_ == "choosemission2") {
    ClickOn(MenuButtons[16 + (plan_.Mission - 1) % 5]);
  } else if (state_ == "levelcomplete" || state_ == "newlevel" || state_ == "ready") {
    ClickAt(400, 300);
  } else if (state_ == "game") {
    Fight();
  } else if (state_ == "pause") {
    ClickOn(PauseExitButton);
  } else if (state_ == "message") {
    ClickOn(MenuButtons[21]);
  } else if (state_ == "victory") {
    ClickAt(400, 300, 1000);
  } else if (state_ == "gameover") {
    ClickOn(GameOverMainButton);
  } else if (state_ == "topranks") {
    if (NameEntryPanel && NameEntryPanel->Visible) {
      if (!typedName_ && At(300)) {
        typedName_ = true;
        HeadlessTypeText(plan_.Name.c_str());
      } else if (typedName_ && At(600)) {
        HeadlessKeyDown(kReturn);
        HeadlessKeyUp(kReturn);
      }
    } else {
      leaving_ = true;
      ClickOn(MenuButtons[7]);
    }
  }
}

void TPilot::Fight() {
  if (plan_.Ending == enGameOver) {
    // A few shots straight ahead for a score, then sit still and take the
    // first hit.
    leaving_ = true;
    HoldFire(inState_ < 2000);
    return;
  }
  if (plan_.Ending == enLeaveAfterMission && CurrentMission > plan_.Mission) {
    // The next mission has begun: leave the game from its pause menu.
    leaving_ = true;
    HoldFire(false);
    if (inState_ >= 300 && inState_ % 500 < frameMs_ && EnemiesAlive > 0) {
      HeadlessKeyDown(kEscape);
      HeadlessKeyUp(kEscape);
    }
    return;
  }
  if (plan_.Codes) Codes();
  Aim();
  HoldFire(true);
  // A pair of rockets now and then.
  const int phase = inState_ % 3000;
  if (phase >= 1500 && phase < 1500 + frameMs_) HeadlessMouseButton(1, true);
  if (phase >= 1500 + frameMs_ && phase < 1500 + 2 * frameMs_) HeadlessMouseButton(1, false);
}

void TPilot::Codes() {
  if (!keys_.empty() || now_ - lastKey_ < kCodePauseMs) return;
  // The god bar shows the seconds left: type the code again before it ends.
  if (Player.GodTime <= 3)
    Type(GodCode);
  else if (Player.PrimaryLevel < 5)
    Type(WeaponCode);
  else if (Player.Rockets < 8)
    Type(RocketsCode);
}

void TPilot::Aim() {
  if (!PlayerShip) return;
  // The nearest enemy to the ship's line of fire among the lowest ones.
  int best = 0;
  double bestBottom = -1e9, bestDistance = 1e9;
  const double shipCentre = PlayerShip->X + PlayerShip->Width / 2.0;
  const int last = std::min<int>(EnemyWidth.Last(), HitTestLimit);
  for (int n = 1; n <= last; ++n) {
    if (EnemyDestroyed[n] || EnemyWidth[n] <= 0 || EnemyHeight[n] <= 0) continue;
    const double bottom = EnemyY[n] + EnemyHeight[n];
    // A destroyed enemy's box lies below the screen; when the last enemy but
    // one goes, number 1 turns hittable again (a boss body's rule, on every
    // level), and its box must not draw the ship away from the live ones.
    if (bottom < 0 || EnemyY[n] >= 600) continue;
    const double distance = std::abs(EnemyX[n] + EnemyWidth[n] / 2.0 - shipCentre);
    // Rows within 40 pixels count as one; then the nearest.
    if (bottom > bestBottom + 40 || (bottom > bestBottom - 40 && distance < bestDistance)) {
      best = n;
      bestBottom = std::max(bestBottom, bottom);
      bestDistance = distance;
    }
  }
  if (best == 0) return;
  const double want = EnemyX[best] + EnemyWidth[best] / 2.0 - PlayerShip->Width / 2.0;
  // In play the mouse's 800 pixels map onto ship positions 100..729.
  const int x = std::clamp(static_cast<int>(std::lround((want - 100) / 0.7875)), 0, 799);
  HeadlessMouseMoveTo(x, 500);
}
