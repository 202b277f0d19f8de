// A scripted player. It plays only through the game's input, as a player at
// the machine would: the mouse steers, fires (left button held) and clicks
// through the screens, the right button fires rockets, and the keyboard
// types the game's own codes and the name for the top ten. It looks at the
// screen by reading where the game put its buttons and the enemies' published
// hit boxes.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

class TImageSprite;

class TPilot {
 public:
  enum TEnding {
    enLeaveAfterMission,  // finish the mission, start the next one, leave through the pause menu
    enVictory,            // finish the last mission, enter the name, leave through the main menu
    enGameOver,           // sit still until shot down, enter the name, leave through the main menu
  };
  struct TPlan {
    int32_t Mission = 1;
    int32_t Difficulty = 1;  // 0 easy, 1 normal, 2 hard
    bool Codes = true;       // god mode, weapon level and rockets by typed codes
    TEnding Ending = enLeaveAfterMission;
    std::string Name = "PILOT";
  };

  TPilot(TPlan Plan, int FrameMs) : plan_(std::move(Plan)), frameMs_(FrameMs) {}

  // One frame's worth of the player's hands; call once after every frame,
  // FrameMs after the one before.
  void Step();

  // Levels the pilot saw start ("game" entered after "ready").
  int LevelsStarted() const { return levels_; }

 private:
  void Fight();
  void Codes();
  void Aim();
  // Clicks once the screen has stood for a moment, and again every EveryMs
  // while it stays.
  void ClickOn(const TImageSprite* Sprite, int EveryMs = 500);
  void ClickAt(int X, int Y, int EveryMs = 500);
  // True on the one frame at which the screen has stood for Ms.
  bool At(int Ms) const { return inState_ >= Ms && inState_ - frameMs_ < Ms; }
  void Type(const std::string& Letters);
  void HoldFire(bool Hold);

  TPlan plan_;
  int frameMs_;
  std::string state_;
  int inState_ = 0;  // milliseconds since the screen changed
  int now_ = 0;
  int lastKey_ = -100000;
  std::deque<int> keys_;  // scancodes still to press, one a frame
  bool firing_ = false;
  bool typedName_ = false;
  bool leaving_ = false;
  int levels_ = 0;
};
