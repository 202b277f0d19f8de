#include "platform/win/clock.h"

#include <chrono>
#include <thread>

namespace {

class TRealClock : public TClockSource {
 public:
  TRealClock() : start_(std::chrono::steady_clock::now()) {}
  uint64_t Microseconds() override {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                     std::chrono::steady_clock::now() - start_)
                                     .count());
  }
  void Sleep(uint32_t Ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(Ms)); }

 private:
  std::chrono::steady_clock::time_point start_;
};

TRealClock& RealClock() {
  static TRealClock clock;
  return clock;
}

TClockSource* g_source = nullptr;

}  // namespace

void SetClockSource(TClockSource* Source) {
  g_source = Source;
}

TClockSource& ClockSource() {
  return g_source ? *g_source : RealClock();
}

DWORD timeGetTime() {
  return static_cast<DWORD>(ClockSource().Microseconds() / 1000);
}

DWORD GetTickCount() {
  return timeGetTime();
}

BOOL QueryPerformanceCounter(int64_t* Count) {
  if (!Count) return FALSE;
  *Count = static_cast<int64_t>(ClockSource().Microseconds());
  return TRUE;
}

BOOL QueryPerformanceFrequency(int64_t* Frequency) {
  if (!Frequency) return FALSE;
  *Frequency = 1000000;
  return TRUE;
}

void Sleep(DWORD Ms) {
  ClockSource().Sleep(Ms);
}
