// The one clock of the program. The frame timer, window timers, sleeps and the
// audio mixer all read it: the real monotonic clock normally, a virtual clock
// in headless runs so that a test decides exactly when time passes.
#pragma once

#include <cstdint>

#include "platform/win/wintypes.h"

// A source of time. The real clock is built in; the headless backend installs
// a virtual one.
class TClockSource {
 public:
  virtual ~TClockSource() = default;
  // Microseconds since an arbitrary start; never decreases.
  virtual uint64_t Microseconds() = 0;
  // Lets at least Ms milliseconds pass (a virtual clock simply moves on).
  virtual void Sleep(uint32_t Ms) = 0;
};

// Installs Source as the program's clock (not owned; nullptr restores the
// real clock). Done once at start-up by a backend or by a test.
void SetClockSource(TClockSource* Source);
TClockSource& ClockSource();

// Milliseconds of the multimedia clock; wraps at 2^32.
DWORD timeGetTime();
// Milliseconds since start; the same clock as timeGetTime.
DWORD GetTickCount();
// The performance counter: microseconds, frequency 1 000 000.
BOOL QueryPerformanceCounter(int64_t* Count);
BOOL QueryPerformanceFrequency(int64_t* Frequency);
void Sleep(DWORD Ms);

// The virtual clock of headless runs. Its millisecond count starts at a value
// the test chooses (so a wrap at 2^32 ms can be reached) and moves only when
// Advance or Sleep is called.
class TVirtualClock : public TClockSource {
 public:
  explicit TVirtualClock(uint64_t StartMs = 0) : us_(StartMs * 1000) {}
  uint64_t Microseconds() override { return us_; }
  void Sleep(uint32_t Ms) override { us_ += uint64_t{Ms} * 1000; }
  void Advance(uint32_t Ms) { us_ += uint64_t{Ms} * 1000; }
  void AdvanceMicroseconds(uint64_t Us) { us_ += Us; }
  void SetMilliseconds(uint64_t Ms) { us_ = Ms * 1000; }

 private:
  uint64_t us_;
};
