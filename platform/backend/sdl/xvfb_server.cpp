#include "platform/backend/sdl/xvfb_server.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

// Linked into a program only with TXvfbServer, that is into the tests that
// run SDL under X. Their allocations are the system libraries', not ours.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libdbus-1.so\n"
         "leak:libX11.so\n"
         "leak:libxcb.so\n"
         "leak:libX11-xcb.so\n";
}

std::string TXvfbServer::Find() {
  for (const char* p : {"/usr/bin/Xvfb", "/usr/local/bin/Xvfb", "/bin/Xvfb"})
    if (access(p, X_OK) == 0) return p;
  return {};
}

bool TXvfbServer::Start(const std::string& Binary, const std::string& Screen) {
  Stop();
  // The server picks a free display itself and writes its number to a pipe
  // once it accepts connections: tests running side by side never share or
  // stop each other's server.
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  const std::string fd = std::to_string(fds[1]);
  // By default an X server resets whenever its last client leaves, and
  // drops whoever connects meanwhile: a test that looks at the display
  // before it starts a program would have that program's connection
  // refused now and then on a busy machine.
  const char* argv[] = {Binary.c_str(), "-displayfd", fd.c_str(), "-screen",  "0",
                        Screen.c_str(), "-nolisten",  "tcp",      "-noreset", nullptr};
  const pid_t parent = getpid();
  pid_ = fork();
  if (pid_ < 0) {
    pid_ = 0;
    close(fds[0]);
    close(fds[1]);
    return false;
  }
  if (pid_ == 0) {
    // The server must not outlive a test that crashes, nor hold its output
    // open: whoever reads that output (CTest) would wait for it forever.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    const int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
      dup2(null, 0);
      dup2(null, 1);
      dup2(null, 2);
    }
    // Only the pipe's write end stays open in the server.
    const int out = dup2(fds[1], 3);
    close_range(4, ~0u, 0);
    if (out != 3) _exit(127);
    argv[2] = "3";
    execv(Binary.c_str(), const_cast<char**>(argv));
    _exit(127);
  }
  close(fds[1]);
  // Wait for the display number; a server that starts at all starts in well
  // under a second, but a loaded machine may stretch that to several.
  std::string number;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  fcntl(fds[0], F_SETFL, O_NONBLOCK);
  while (std::chrono::steady_clock::now() < deadline) {
    char c;
    ssize_t n = read(fds[0], &c, 1);
    if (n == 1) {
      if (c == '\n') break;
      number += c;
      continue;
    }
    if (n == 0) break;  // the server closed the pipe: it died
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  close(fds[0]);
  if (number.empty()) {
    Stop();
    return false;
  }
  display_ = ":" + number;
  return true;
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
  for (const std::string& name : names)
    dlopen(name.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}
