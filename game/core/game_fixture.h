// The game's main form on the headless backend, in a program folder of its
// own whose data folder links to the generated archives (some may be left
// out), on the virtual clock.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>

#include "engine/directx/directx.h"
#include "framework/forms.h"
#include "framework/random.h"
#include "game/core/main_form.h"
#include "game/play/play.h"
#include "music/bass_player.h"
#include "platform/backend/headless/headless_audio.h"
#include "platform/backend/headless/headless_core.h"
#include "platform/backend/headless/headless_input.h"
#include "platform/backend/headless/headless_video.h"
#include "platform/ddraw/ddraw.h"
#include "platform/ddraw/ddraw_seam.h"
#include "platform/dinput/input_host.h"
#include "platform/win/files.h"
#include "platform/win/library.h"

namespace game_test {

namespace fs = std::filesystem;

inline std::string GeneratedData() {
  return std::string(TAL_BIN_DIR) + "/data";
}

// Every game-wide variable the game's tests read, back to its value at
// program start. The screens' and the play's fixtures start from here too.
inline void ResetGame() {
  InitEnemyTexts();
  InitMissionTable();
  GameState = "intro";
  PrevGameState.clear();
  GameOptions = TGameOptions();
  CurrentMission = CurrentEpisode = 1;
  CurrentLevel = 0;
  DisplayedScore = 0;
  IntroSeconds = 0;
  StatStep = 0;
  ClickFlag = RightClickFlag = false;
  Player = TPlayer();
  PrimaryCounter = 0;
  FireLocked = false;
  DeathCountdown = -10;
  DoorState = "opened";
  GameCreated = false;
  MessageLines = {};
  ClearEnemyDestroyedMass();
  BonusKindFalling = {};
  ScreenFadeLevel = -200;
  ScreenFadeStep = 6;
  FlashActive = false;
  FlashLevel = 0;
  ShakeCount = ShakeAmplitude = 0;
  CursorPulseStep = 5;
  ShipRemoved = true;
  ContinueBlink = 0;
  CheatBuffer.clear();
  CheatCountdown = -10;
  FaceTime = 0;
  BossDying = false;
  BossDeathCountdown = 0;
  MouseX = MouseY = 0;
  PathRecorderDone = true;
  PathRecorderCount = 0;
  EnemiesAlive = EnemyCount = 0;
  BonusesInFlight = 0;
  for (auto& r : TopRanks) r = Trecords();
  EnemyBook = {};
  EnemyBookCount = 0;
  RandSeed = 20261210;
}

class GameFixture {
 public:
  // Missing names archives ("models.dan", "snd.tor") left out of the data.
  explicit GameFixture(const std::set<std::string>& Missing = {}) {
    static int serial = 0;
    root_ = fs::temp_directory_path() /
            ("tal_game_" + std::to_string(::getpid()) + "_" + std::to_string(++serial));
    fs::remove_all(root_);
    for (const char* sub : {"graphic", "sound", "music"}) {
      fs::create_directories(root_ / "data" / sub);
      for (const auto& e : fs::directory_iterator(fs::path(GeneratedData()) / sub))
        if (!Missing.count(e.path().filename().string()))
          fs::create_symlink(e.path(), root_ / "data" / sub / e.path().filename());
    }
    // The audio library beside the program, as it ships.
    for (const char* lib : {"libbass.so", "libbasswma.so"})
      fs::create_symlink(fs::path(TAL_BIN_DIR) / lib, root_ / lib);
    saved_dir_ = GetCurrentDir();
    SetProgramFolder(root_.string());
    scope_ = std::make_unique<TApplicationScope>();
    HeadlessInstall(1000);
    HeadlessSetDesktopSize(800, 600);
    video_ = &HeadlessInstallVideo();
    DDRegisterModule();
    HeadlessInstallAudio();
    HeadlessInstallInput();
    HeadlessSetIdlePace([] { HeadlessAdvance(16); });
    ResetGame();
  }

  ~GameFixture() {
    delete form_;
    DDSetVideoOutput(nullptr);
    UninstallHeadlessAudio();
    InputHost().Reset();
    FreeDirectXLibraries();
    HeadlessUninstall();
    scope_.reset();
    SetCurrentDir(saved_dir_);
    SetProgramFolder("");
    fs::remove_all(root_);
  }

  // The form as the program makes it: its create handler runs at once.
  TMainForm* Create() {
    form_ = Application->CreateForm<TMainForm>();
    return form_;
  }

  // Shows the form and turns the message loop until Done says so (asked
  // before every turn; an idle pass moves the clock on by 16 ms, as a 60 Hz
  // display paces the game) or the program ends.
  template <class F>
  void RunUntil(F Done) {
    if (form_ && !form_->Visible()) form_->Show();
    HeadlessSetIdlePace([] { HeadlessAdvance(16); });
    while (!Done() && !Application->Terminated()) Application->HandleMessage();
  }
  void RunFrames(int Frames) {
    int until = video_->FrameCount() + Frames;
    RunUntil([this, until] { return video_->FrameCount() >= until; });
  }

  // Turns the message loop for Ms virtual milliseconds, one millisecond per
  // idle pass.
  void RunFor(uint64_t Ms) {
    if (form_ && !form_->Visible()) form_->Show();
    uint64_t end = HeadlessClock().Microseconds() + Ms * 1000;
    HeadlessSetIdlePace([] { HeadlessAdvance(1); });
    while (HeadlessClock().Microseconds() < end && !Application->Terminated())
      Application->HandleMessage();
  }

  // Forgets the form without freeing it (it freed itself).
  void Release() { form_ = nullptr; }

  std::string Ini() const { return (root_ / "game.INI").string(); }
  void WriteIni(const std::string& Text) const { std::ofstream(Ini(), std::ios::binary) << Text; }
  std::string ReadIni() const {
    std::ifstream in(Ini(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  fs::path Root() const { return root_; }
  THeadlessVideo& Video() { return *video_; }
  TMainForm* Form() { return form_; }

 private:
  fs::path root_;
  std::string saved_dir_;
  std::unique_ptr<TApplicationScope> scope_;
  THeadlessVideo* video_ = nullptr;
  TMainForm* form_ = nullptr;
};

}  // namespace game_test
