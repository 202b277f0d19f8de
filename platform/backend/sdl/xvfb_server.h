// For tests of the SDL backend under a real X server: a virtual X server
// (Xvfb) on a free display number, and what such tests need to keep the
// leak checker's report about our code.
#pragma once

#include <sys/types.h>

#include <string>

class TXvfbServer {
 public:
  // The Xvfb binary, or "" when none is installed.
  static std::string Find();

  TXvfbServer() = default;
  ~TXvfbServer() { Stop(); }
  TXvfbServer(const TXvfbServer&) = delete;
  TXvfbServer& operator=(const TXvfbServer&) = delete;

  // Starts Binary on a display it picks itself with one screen of Screen
  // ("1024x768x24"); true once it accepts connections.
  bool Start(const std::string& Binary, const std::string& Screen = "1024x768x24");
  void Stop();
  // ":N" while running.
  const std::string& Display() const { return display_; }

  // The X and D-Bus client libraries keep allocations from their start-up
  // for the life of the process; the leak checker is told to leave them be,
  // by library name. SDL unloads the libraries it loaded when it quits, after
  // which their allocations would be reported from unknown modules: this
  // pins every library loaded so far for the life of the process. Call it
  // just before SDL quits.
  static void KeepLibraries();

 private:
  pid_t pid_ = 0;
  std::string display_;
};
