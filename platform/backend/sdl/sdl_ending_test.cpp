// What SIGINT and SIGTERM do to a program on the SDL backend. Each case runs
// in a child process of its own, since signal handlers stay with a process.
#include "platform/backend/sdl/sdl_ending.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cstdlib>

#include "framework/forms.h"
#include "platform/backend/sdl/sdl_core.h"

namespace {

constexpr int kClosed = 2, kNoSdl = 3;

// A program on SDL's off-screen driver whose main form would ask before
// closing (as the setup's does), told to end by Signal: its loop must end
// without that question. A child that hangs is ended by the alarm.
[[noreturn]] void RunUntilTold(int Signal) {
  alarm(20);
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  SdlInstallEndSignals();
  if (!SdlInstall()) std::_Exit(kNoSdl);
  TApplicationScope scope;
  TForm* form = Application->CreateForm<TForm>();
  form->OnCloseQuery = [](TObject*, bool&) { std::_Exit(kClosed); };
  raise(Signal);
  Application->Run();
  std::_Exit(0);
}

TEST(SdlEndSignals, AnInterruptOrATerminationEndsTheLoopWithoutClosingTheMainForm) {
  for (int which : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(which);
    EXPECT_EXIT(RunUntilTold(which), testing::ExitedWithCode(0), "");
  }
}

// Ctrl+C pressed again over a program that does not end (a box waits for an
// answer) ends it at once.
TEST(SdlEndSignals, ASecondSignalEndsTheProgramAtOnce) {
  EXPECT_EXIT(
      {
        SdlInstallEndSignals();
        raise(SIGTERM);
        raise(SIGINT);
        std::_Exit(0);
      },
      testing::KilledBySignal(SIGINT), "");
}

// A program started in the background of a script keeps out of the
// script's interrupts, as the shell arranged.
TEST(SdlEndSignals, AnInterruptIgnoredAtStartStaysIgnored) {
  EXPECT_EXIT(
      {
        signal(SIGINT, SIG_IGN);
        SdlInstallEndSignals();
        raise(SIGINT);
        std::_Exit(SdlEndSignalled() ? 1 : 0);
      },
      testing::ExitedWithCode(0), "");
}

}  // namespace
