#include "platform/backend/sdl/xvfb_server.h"

#include <dlfcn.h>
#include <link.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

extern char** environ;

// Linked into a program only with TXvfbServer, that is into the tests that
// run SDL under X. Their allocations are the system libraries', not ours.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libdbus-1.so\n"
         "leak:libX11.so\n"
         "leak:libxcb.so\n"
         "leak:libX11-xcb.so\n";
}

namespace {

bool Exists(const std::string& Path) {
  struct stat st;
  return stat(Path.c_str(), &st) == 0;
}

}  // namespace

std::string TXvfbServer::Find() {
  for (const char* p : {"/usr/bin/Xvfb", "/usr/local/bin/Xvfb", "/bin/Xvfb"})
    if (access(p, X_OK) == 0) return p;
  return {};
}

bool TXvfbServer::Start(const std::string& Binary, const std::string& Screen) {
  Stop();
  for (int n = 90; n < 140; ++n) {
    const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
    if (Exists("/tmp/.X" + std::to_string(n) + "-lock") || Exists(socket)) continue;
    const std::string display = ":" + std::to_string(n);
    const char* argv[] = {Binary.c_str(), display.c_str(), "-screen", "0",
                          Screen.c_str(),  "-nolisten",     "tcp",     nullptr};
    if (posix_spawn(&pid_, Binary.c_str(), nullptr, nullptr, const_cast<char**>(argv), environ) !=
        0) {
      pid_ = 0;
      return false;
    }
    // The server is up once its socket exists (or it died: try the next).
    for (int i = 0; i < 100; ++i) {
      if (Exists(socket)) {
        display_ = display;
        return true;
      }
      int status;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = 0;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    Stop();
  }
  return false;
}

void TXvfbServer::Stop() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    int status;
    waitpid(pid_, &status, 0);
  }
  pid_ = 0;
  display_.clear();
}

void TXvfbServer::KeepLibraries() {
  std::vector<std::string> names;
  dl_iterate_phdr(
      [](dl_phdr_info* Info, size_t, void* Names) {
        if (Info->dlpi_name && Info->dlpi_name[0])
          static_cast<std::vector<std::string>*>(Names)->push_back(Info->dlpi_name);
        return 0;
      },
      &names);
  // Opening a loaded library again with RTLD_NODELETE makes it stay; the
  // handle is deliberately never closed.
  for (const std::string& name : names) dlopen(name.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}
