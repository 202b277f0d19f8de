// Runs the test program that is running, again, on some of its own tests:
// for a test that proves what the tests' main or a fixture does with a test
// that fails, hangs or skips, which it cannot watch from inside.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

struct TTestProgramRun {
  bool Ended = false;  // ended by itself before the deadline
  int ExitCode = -1;   // its exit status; -1 when a signal or the deadline ended it
  std::string Output;  // what it wrote, standard output and error together
};

// Runs this program on the tests that Filter selects, disabled ones too,
// with the leak check off. A run still going after DeadlineSeconds is killed
// with every process it started: the caller gets its answer in time and
// never waits on a run that hangs.
TTestProgramRun RunThisTestProgram(const std::string& Filter, int DeadlineSeconds);

// Called with the run's process each time before RunThisTestProgram looks
// whether it has ended: a test of RunThisTestProgram itself can see the end
// late, as a loaded machine would. Nil removes it.
void SetTestProgramWaitHook(std::function<void(pid_t)> Hook);
