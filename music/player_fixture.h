// The fixture of the player's tests: the headless backend and audio device
// on a virtual clock, the program folder beside the built libraries and the
// generated data folder as the current directory.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "audiolib/bass.h"
#include "framework/forms.h"
#include "music/rt_bass.h"
#include "platform/backend/headless/headless_audio.h"
#include "platform/backend/headless/headless_core.h"
#include "platform/win/clock.h"
#include "platform/win/ipc.h"
#include "platform/win/library.h"
#include "platform/win/user_seam.h"

class PlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HeadlessInstall(1000);
    HeadlessInstallAudio();
    // The player's link names are this run's own: parallel runs never meet.
    static int run = 0;
    SetIpcNamespace("tal" + std::to_string(::getpid()) + "_" + std::to_string(++run) + "_");
    SetProgramFolder(TAL_BIN_DIR);
    old_dir_ = std::filesystem::current_path();
    std::filesystem::current_path(std::string(TAL_BIN_DIR) + "/data");
  }
  void TearDown() override {
    std::filesystem::current_path(old_dir_);
    RT_bass::FreeBASS();
    RT_BASSWMA::FreeBASSWMA();
    UninstallHeadlessAudio();
    SetProgramFolder("");
    HeadlessUninstall();
    SetIpcNamespace("");
  }
  // Runs the message loop on the virtual clock for Ms milliseconds. The
  // library catches up with the clock whenever it is asked; this loop asks
  // after every message, as a busy game does.
  void Run(uint32_t Ms) {
    const uint32_t end = timeGetTime() + Ms;
    while (static_cast<int32_t>(timeGetTime() - end) < 0) {
      Application->HandleMessage();
      if (RT_bass::BASS_Update) ProcAs<BASS_BOOL (*)()>(RT_bass::BASS_Update)();
    }
  }
  // The boxes shown since the last take, as "caption: text".
  static std::vector<std::string> TakeBoxes() {
    std::vector<std::string> r;
    for (const auto& b : TakeRecordedMessageBoxes()) r.push_back(b.Caption + ": " + b.Text);
    return r;
  }

  TApplicationScope app_;
  std::filesystem::path old_dir_;
};
