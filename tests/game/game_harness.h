// The real game program, headless: the main form in a program folder of its
// own beside the generated data, on the virtual clock, one frame every 40 ms
// as a slow machine paces it: every move scales by the time that passed, and
// the frames are what a sanitizer build pays for. A step of the test's runs
// after every frame.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/backend/headless/headless_core.h"

class TMainForm;
class TApplicationScope;

// A program folder: "data" links to the generated data folder; game.INI is
// whatever the test or an earlier run left there.
std::string MakeGameFolder(const std::string& Folder, bool Fresh);
std::string GameDataDir();

class TGameRun {
 public:
  static constexpr int FrameMs = 40;

  // Seed is where the virtual clock starts, from which the game seeds its
  // random generator.
  TGameRun(const std::string& Folder, uint64_t Seed);
  ~TGameRun();
  TGameRun(const TGameRun&) = delete;
  TGameRun& operator=(const TGameRun&) = delete;

  // Starts the program and runs it until it ends by itself (true) or
  // LimitMs of virtual time have passed (false).
  bool Play(const std::function<void()>& EachFrame, uint64_t LimitMs);

  TMainForm* Form() const { return form_; }
  uint64_t ElapsedMs() const;
  int Frames() const { return frames_; }
  // A checksum of every eighth presented frame.
  uint64_t FrameSum() const { return sum_; }

 private:
  std::unique_ptr<TApplicationScope> scope_;
  TMainForm* form_ = nullptr;
  uint64_t start_ = 0;
  int frames_ = 0;
  uint64_t sum_ = 1469598103934665603ull;
};
