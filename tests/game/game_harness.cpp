#include "tests/game/game_harness.h"

#include <filesystem>
#include <string_view>

#include "engine/directx/directx.h"
#include "framework/forms.h"
#include "game/core/main_form.h"
#include "platform/backend/headless/headless_audio.h"
#include "platform/backend/headless/headless_input.h"
#include "platform/backend/headless/headless_video.h"
#include "platform/ddraw/ddraw.h"
#include "platform/ddraw/ddraw_seam.h"
#include "platform/dinput/input_host.h"
#include "platform/win/library.h"

namespace fs = std::filesystem;

std::string GameDataDir() {
  return std::string(TAL_BIN_DIR) + "/data";
}

std::string MakeGameFolder(const std::string& Folder, bool Fresh) {
  if (Fresh) fs::remove_all(Folder);
  fs::create_directories(Folder);
  if (!fs::exists(fs::path(Folder) / "data"))
    fs::create_directory_symlink(GameDataDir(), fs::path(Folder) / "data");
  // The audio library beside the program, as it ships.
  for (const char* lib : {"libbass.so", "libbasswma.so"})
    if (!fs::exists(fs::path(Folder) / lib))
      fs::create_symlink(fs::path(GameDataDir()).parent_path() / lib, fs::path(Folder) / lib);
  return Folder;
}

TGameRun::TGameRun(const std::string& Folder, uint64_t Seed)
    : scope_(std::make_unique<TApplicationScope>()), start_(Seed) {
  HeadlessInstall(Seed);
  HeadlessInstallVideo();
  DDRegisterModule();
  HeadlessInstallAudio();
  HeadlessInstallInput();
  SetProgramFolder(Folder + "/");
}

TGameRun::~TGameRun() {
  delete form_;
  DDSetVideoOutput(nullptr);
  UninstallHeadlessAudio();
  InputHost().Reset();
  FreeDirectXLibraries();
  HeadlessUninstall();
  SetProgramFolder("");
  scope_.reset();
}

uint64_t TGameRun::ElapsedMs() const {
  return HeadlessClock().Microseconds() / 1000 - start_;
}

bool TGameRun::Play(const std::function<void()>& EachFrame, uint64_t LimitMs) {
  bool timedOut = false;
  HeadlessSetIdlePace([&] {
    HeadlessAdvance(FrameMs);
    ++frames_;
    if (frames_ % 8 == 0) {
      const TDDFrame& shown = HeadlessVideo().LastFrame();
      const std::string_view bytes(reinterpret_cast<const char*>(shown.Pixels.data()),
                                   shown.Pixels.size() * sizeof(shown.Pixels[0]));
      sum_ = (sum_ ^ std::hash<std::string_view>{}(bytes)) * 1099511628211ull;
    }
    if (EachFrame) EachFrame();
    if (ElapsedMs() > LimitMs) {
      timedOut = true;
      Application->Terminate();
    }
  });
  form_ = CreateGame();
  Application->Run();
  HeadlessSetIdlePace(nullptr);
  return !timedOut;
}
