// What SIGINT and SIGTERM do to a program on the SDL backend. Each case runs
// in a child process of its own, since signal handlers stay with a process.
#include "platform/backend/sdl/sdl_ending.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "framework/forms.h"
#include "framework/scope_exit.h"
#include "platform/backend/sdl/sdl_core.h"
#include "platform/backend/sdl/sdl_ending_seam.h"
#include "platform/backend/sdl/xvfb_server.h"
#include "platform/win/user_seam.h"
#include "tests/main/test_program.h"

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

// ---- A signal as a box opens -------------------------------------------------

constexpr char kBoxProcessStarted[] = "the box process started\n";

// The box process as a loaded machine runs it: late. The end signal comes
// before the process could tell the program its id, and the program's
// handler runs before it goes on (the wait ends once the process sees the
// program's flag, as it must; it lasts its whole length where it cannot).
// One signal: SDL may fork again when its first way of showing a box fails,
// and that process sees the signal that came.
void SignalBeforeTheBoxProcessIsKnown() {
  (void)!write(STDERR_FILENO, kBoxProcessStarted, sizeof kBoxProcessStarted - 1);
  if (SdlEndSignalled()) return;
  kill(getppid(), SIGTERM);
  for (int i = 0; i < 100 && !SdlEndSignalled(); ++i) usleep(20000);
}

// The program: a real box on the X server the test below started, with the
// signal coming as it opens. Run on its own by that test.
TEST(SdlEndSignalsUnderX, DISABLED_ABoxOpensAsTheSignalComes) {
  SdlInstallEndSignals();
  ASSERT_TRUE(SdlInstall()) << "SDL did not start on the test's X server";
  SdlSetBoxProcessHook(SignalBeforeTheBoxProcessIsKnown);
  unsetenv(kMessageBoxesVariable);
  const TScopeExit recordAgain([] { setenv(kMessageBoxesVariable, kMessageBoxesRecorded, 1); });
  const auto opened = std::chrono::steady_clock::now();
  MessageBoxA(nullptr, "Save the changes?", "Ending", MB_YESNO);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - opened).count();
  std::printf("the box returned after %.2f s\n", seconds);
  EXPECT_TRUE(SdlEndSignalled());
}

// A signal that lands between SDL's fork of the box process and the moment
// the program learns its id still ends the program, box and all, at once:
// the program does not wait for a click or a second signal. SDL waits for
// the box process before it returns, so a program that ends by itself has no
// box left behind. The deadline is one only a hang misses; the time is
// printed. (The project's set-up installs the fonts a box is drawn with:
// without them no box could wait, and this test could not fail.)
TEST(SdlEndSignalsUnderX, ASignalAsABoxOpensEndsTheProgramAndTheBox) {
  const std::string xvfb = TXvfbServer::Find();
  if (xvfb.empty()) GTEST_SKIP() << "Xvfb is not installed";
  TXvfbServer server;
  ASSERT_TRUE(server.Start(xvfb, "800x600x24")) << "Xvfb did not start";
  setenv("DISPLAY", server.Display().c_str(), 1);
  setenv("SDL_VIDEODRIVER", "x11", 1);
  const TScopeExit restore([] { unsetenv("SDL_VIDEODRIVER"); });

  const TTestProgramRun run =
      RunThisTestProgram("SdlEndSignalsUnderX.DISABLED_ABoxOpensAsTheSignalComes", 120);
  ASSERT_TRUE(run.Ended) << "the box waited after the signal:\n" << run.Output;
  EXPECT_EQ(run.ExitCode, 0) << run.Output;
  EXPECT_NE(run.Output.find(kBoxProcessStarted), std::string::npos)
      << "no box process was started:\n"
      << run.Output;
  EXPECT_NE(run.Output.find("[       OK ] SdlEndSignalsUnderX.DISABLED_ABoxOpensAsTheSignalComes"),
            std::string::npos)
      << run.Output;
  const size_t figure = run.Output.find("the box returned after");
  if (figure != std::string::npos)
    std::printf("%s\n", run.Output.substr(figure, run.Output.find('\n', figure) - figure).c_str());
}

}  // namespace
