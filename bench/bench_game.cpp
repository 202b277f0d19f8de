// One whole game frame (input, move, sweep, clear, draw, text overlays and
// the present through the gamma ramp) of the real main form, headless at
// 800 x 600, in each of the four boss fights with the heaviest settings:
// hard, splinters with smoke, rocket smoke, shake on. The ship fires all the
// time in god mode; when a boss falls the fight is set up again outside the
// timing.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <unistd.h>

#include "engine/directx/directx.h"
#include "framework/forms.h"
#include "game/core/main_form.h"
#include "game/play/play.h"
#include "platform/backend/headless/headless_audio.h"
#include "platform/backend/headless/headless_core.h"
#include "platform/backend/headless/headless_input.h"
#include "platform/backend/headless/headless_video.h"
#include "platform/ddraw/ddraw.h"
#include "platform/dinput/input_host.h"
#include "platform/win/library.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFrameMs = 16;

class TBossFight {
 public:
  explicit TBossFight(int32_t Mission) : mission_(Mission) {
    folder_ = fs::temp_directory_path() / ("tal_bench_game_" + std::to_string(getpid()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    fs::create_directory_symlink(fs::path(TAL_BIN_DIR) / "data", folder_ / "data");
    SetProgramFolder(folder_.string() + "/");
    HeadlessInstall(1000);
    HeadlessInstallVideo();
    DDRegisterModule();
    InstallHeadlessAudio();
    InstallHeadlessInput();
    HeadlessSetIdlePace([] {
      HeadlessAdvance(kFrameMs);
      Application->Terminate();
    });
    InitEnemyTexts();
  InitMissionTable();
  form_ = Application->CreateForm<TMainForm>();
    Application->Run();
    HeadlessSetIdlePace(nullptr);

    GameOptions.Splinters = 2;
    GameOptions.RocketSmoke = true;
    GameOptions.Bumpiness = 1;
    GameOptions.Controls = GameOptions.SavedControls = 1;
    Player.Difficulty = 2;
    CreateMainMenu();
    NewGame();
    GameCreated = true;
    Start();
  }

  ~TBossFight() {
    delete form_;
    DDSetVideoOutput(nullptr);
    UninstallHeadlessAudio();
    InputHost().Reset();
    FreeDirectXLibraries();
    HeadlessUninstall();
    SetProgramFolder("");
    fs::remove_all(folder_);
  }

  // The boss level from its first frame, the fight under way for a while.
  void Start() {
    CurrentMission = mission_;
    CurrentEpisode = mission_ < 6 ? 1 : 2;
    CurrentLevel = 9;
    EnterNewLevel();
    Player.PrimaryLevel = 5;
    Player.Rockets = 99;
    HeadlessMouseButton(0, true);
    for (int i = 0; i < 240; ++i) Frame();
  }

  bool Fighting() const { return GameState == "game" && BossPartsAlive > 0; }

  void Frame() {
    // God mode and rockets never run out, and a rocket pair flies whenever
    // the launcher is ready.
    Player.GodTime = 20;
    Player.Rockets = 99;
    RightClickFlag = true;
    HeadlessAdvance(kFrameMs);
    form_->DXTimerTimer(form_->DXTimer, kFrameMs);
  }

  int Sprites() const { return form_->DXSpriteEngine->Engine()->SpriteCount(); }
  int EnemyShots() const {
    int n = 0;
    Count(form_->DXSpriteEngine->Engine(), n);
    return n;
  }

 private:
  static void Count(TSprite* Sprite, int& N) {
    for (int i = 0; i < Sprite->Count(); ++i) {
      TSprite* s = Sprite->Items(i);
      if (dynamic_cast<TEnemyShoot*>(s)) ++N;
      Count(s, N);
    }
  }

  int32_t mission_;
  fs::path folder_;
  TApplicationScope scope_;
  TMainForm* form_ = nullptr;
};

void GameFrameBossFight(benchmark::State& State) {
  TBossFight fight(static_cast<int32_t>(State.range(0)));
  double sprites = 0, shots = 0;
  int64_t frames = 0, samples = 0;
  for (auto _ : State) {
    if (!fight.Fighting()) {
      State.PauseTiming();
      fight.Start();
      State.ResumeTiming();
    }
    fight.Frame();
    if (++frames % 16 == 0) {
      State.PauseTiming();
      sprites += fight.Sprites();
      shots += fight.EnemyShots();
      ++samples;
      State.ResumeTiming();
    }
  }
  State.counters["sprites"] = samples ? sprites / static_cast<double>(samples) : 0;
  State.counters["enemy_shots"] = samples ? shots / static_cast<double>(samples) : 0;
}
BENCHMARK(GameFrameBossFight)->ArgName("mission")->Arg(1)->Arg(3)->Arg(5)->Arg(10)->Unit(
    benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
