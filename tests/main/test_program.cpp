#include "tests/main/test_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

extern char** environ;

namespace {

std::function<void(pid_t)>& WaitHook() {
  static std::function<void(pid_t)> hook;
  return hook;
}

}  // namespace

void SetTestProgramWaitHook(std::function<void(pid_t)> Hook) {
  WaitHook() = std::move(Hook);
}

TTestProgramRun RunThisTestProgram(const std::string& Filter, int DeadlineSeconds) {
  TTestProgramRun run;
  char self[4096] = {};
  if (::readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return run;

  // A run that fails on purpose leaves what its failing test held; the leak
  // report would only hide the output that counts.
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, "ASAN_OPTIONS=", 13) != 0) env.emplace_back(*e);
  const char* asan = std::getenv("ASAN_OPTIONS");
  env.push_back(std::string("ASAN_OPTIONS=") + (asan ? asan : "") + (asan ? ":" : "") +
                "detect_leaks=0");
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string filter = "--gtest_filter=" + Filter;
  std::string disabled = "--gtest_also_run_disabled_tests";
  char* argv[] = {self, disabled.data(), filter.data(), nullptr};

  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return run;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, out[1], 2);
  // A group of its own, so that the deadline ends whatever it started too.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attr, 0);
  pid_t pid = -1;
  const int spawned = ::posix_spawn(&pid, self, &actions, &attr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  ::close(out[1]);
  if (spawned != 0) {
    ::close(out[0]);
    return run;
  }

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(DeadlineSeconds);
  bool exited = false, open = true;
  // Reads what is there now; false once the pipe is at its end.
  auto readSome = [&] {
    char buf[4096];
    const ssize_t n = ::read(out[0], buf, sizeof buf);
    if (n > 0) run.Output.append(buf, static_cast<size_t>(n));
    return n > 0 || (n < 0 && errno == EINTR);
  };
  auto ready = [&](int TimeoutMs) {
    pollfd p{out[0], POLLIN, 0};
    return ::poll(&p, 1, TimeoutMs) > 0;
  };
  while (!exited && std::chrono::steady_clock::now() <= deadline) {
    if (open && ready(100))
      open = readSome();
    else if (!open)
      ::usleep(100 * 1000);
    if (WaitHook()) WaitHook()(pid);
    // Seen ended, but not yet reaped: its group stays its own until then.
    siginfo_t info{};
    exited = ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
             info.si_pid == pid;
  }
  // Everything it wrote is in the pipe once it has ended, however late that
  // was seen: all of it is read. A process it left behind that holds the
  // pipe open is not waited for.
  while (exited && open && ready(0) && std::chrono::steady_clock::now() <= deadline)
    open = readSome();
  // Whatever it started and left running goes with it, and so does the run
  // itself when the deadline came first.
  ::kill(-pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ::close(out[0]);
  run.Ended = exited;
  run.ExitCode = exited && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}
