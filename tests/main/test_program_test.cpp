// What RunThisTestProgram gives back of a run.
#include "tests/main/test_program.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "framework/scope_exit.h"
#include "tests/main/real_clock.h"

namespace {

constexpr const char* kLastWords = "the run's last words";

// Run on its own by the test below: silent, then its last words just
// before it ends.
TEST(TestProgram, DISABLED_SaysItsLastWordsAsItEnds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  std::printf("%s\n", kLastWords);
  std::fflush(stdout);
}

// The run's end is seen only after it has come, as on a loaded machine:
// what the run wrote just before it ended is still in the pipe, unread, and
// is read all the same, every time.
TEST(TestProgram, WhatARunWroteJustBeforeItsEndSeenLateIsRead) {
  SetTestProgramWaitHook([](pid_t Run) {
    WaitOnRealClock([Run] {
      siginfo_t info{};
      return waitid(P_PID, static_cast<id_t>(Run), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
             info.si_pid == Run;
    });
  });
  // Nothing before the end but the last words: no pass has read anything
  // when the end is seen.
  setenv("GTEST_BRIEF", "1", 1);
  const TScopeExit restore([] {
    SetTestProgramWaitHook(nullptr);
    unsetenv("GTEST_BRIEF");
  });
  for (int attempt = 1; attempt <= 3; ++attempt) {
    SCOPED_TRACE(attempt);
    const TTestProgramRun run =
        RunThisTestProgram("TestProgram.DISABLED_SaysItsLastWordsAsItEnds", 120);
    ASSERT_TRUE(run.Ended) << run.Output;
    EXPECT_EQ(run.ExitCode, 0) << run.Output;
    EXPECT_NE(run.Output.find(kLastWords), std::string::npos) << run.Output;
    EXPECT_NE(run.Output.find("[  PASSED  ] 1 test."), std::string::npos) << run.Output;
  }
}

}  // namespace
