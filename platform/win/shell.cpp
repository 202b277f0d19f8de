#include "platform/win/shell.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/win/paths.h"
#include "platform/win/shell_seam.h"

extern char** environ;

namespace {

std::function<void(const std::string&, const std::string&)>& Handler() {
  static std::function<void(const std::string&, const std::string&)> h;
  return h;
}

constexpr intptr_t SE_ERR_NOASSOC = 31;
constexpr intptr_t SE_ERR_FNF = 2;
constexpr intptr_t ShellOk = 42;

}  // namespace

void SetShellExecuteHandler(std::function<void(const std::string&, const std::string&)> H) {
  Handler() = std::move(H);
}

intptr_t ShellExecuteA(HWND, const char* Operation, const char* File, const char*, const char*,
                       int) {
  std::string verb = Operation ? Operation : "open";
  if (!File || !*File) return SE_ERR_FNF;
  std::string file = NativePath(File);
  if (Handler()) {
    Handler()(verb, file);
    return ShellOk;
  }
  if (verb != "open") return SE_ERR_NOASSOC;
  // The opener runs on its own and nobody waits for it: a short-lived middle
  // process starts it and ends at once, so it never lingers as our child.
  std::string prog = "xdg-open";
  char* argv[] = {prog.data(), file.data(), nullptr};
  pid_t middle = ::fork();
  if (middle < 0) return SE_ERR_NOASSOC;
  if (middle == 0) {
    pid_t pid;
    int r = posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ);
    _exit(r == 0 ? 0 : 1);
  }
  int status = 0;
  while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
  bool started = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return started ? ShellOk : SE_ERR_NOASSOC;
}
