// A walk through every screen of the game as a new player makes it, through
// the game's own input: past the intro, into each menu and back, a mission
// with its screens between levels, the pause menu and its "are you sure?",
// the enemy book, a lost ship and the name entry, and a second game that
// ends on the victory screen. Each screen is looked at once it has settled
// (its fade, doors, banner and typed statistics done). The same walk runs
// headless on the virtual clock and under X on the real one; only the hands
// differ.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TImageSprite;

class TScreenTour {
 public:
  // How the tour acts: the player's hands on the backend in use.
  struct THands {
    std::function<void(int X, int Y)> Click;
    std::function<void(int Scancode)> Key;  // pressed and released
    std::function<void(const std::string& Text)> Type;
  };
  // Called once per screen when it has settled, with the screen's name.
  using TLook = std::function<void(const std::string& Screen)>;

  TScreenTour(THands Hands, TLook Look);

  // The game.INI the tour starts from: missions 1 to 7 open, five rows of
  // the top ten and five enemy types in the book.
  static std::string StartingIni();
  // Every screen the tour looks at, in its order.
  static std::vector<std::string> Screens();

  // One step; call after every frame or every few tens of milliseconds,
  // with the time in milliseconds. False once the tour has ended.
  bool Step(uint64_t NowMs);
  // The stage the tour waits in, for messages when it gets stuck.
  std::string Waiting() const;

 private:
  struct TStage {
    std::string Look;             // the screen's name, or empty for a stage passed through
    std::function<bool()> Ready;  // the screen stands and has settled
    std::function<void()> Act;    // what the player does there
  };
  void Build();
  void ClickOn(const TImageSprite* Sprite);

  THands hands_;
  TLook look_;
  std::vector<TStage> stages_;
  size_t next_ = 0;
  uint64_t readySince_ = 0;
  bool wasReady_ = false;
  uint64_t actedAt_ = 0;
  std::string actedIn_;  // the game state in which the last act was made
};
