// The most memory this process held during a piece of work, from the
// kernel's own counters: the high-water mark of resident memory is reset
// when the measurement starts and read when it ends. Independent of the
// machine's speed, and it sees every allocation (the allocator's, the
// sanitizers', the libraries').
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

class TPeakMemory {
 public:
  TPeakMemory() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    resettable_ = static_cast<bool>(clear);
    base_ = Read("VmRSS:");
  }
  // False where the kernel refuses the reset; Growth() means nothing then.
  bool Available() const { return resettable_ && base_ > 0; }
  // Bytes the peak rose above the resident memory at the start.
  int64_t Growth() const {
    const int64_t peak = Read("VmHWM:");
    return peak > base_ ? peak - base_ : 0;
  }

 private:
  static int64_t Read(const char* Field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
      if (line.rfind(Field, 0) == 0) return std::stoll(line.substr(std::strlen(Field))) * 1024;
    return 0;
  }
  bool resettable_ = false;
  int64_t base_ = 0;
};

constexpr int64_t MiB = int64_t{1} << 20;
