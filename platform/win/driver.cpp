#include "platform/win/driver.h"

#include <cstdio>

#include "platform/win/clock.h"
#include "platform/win/user_seam.h"

namespace {
std::unique_ptr<TPlatformDriver>& Slot() {
  // Never destroyed: windows of static objects may still go at exit.
  static auto* d = new std::unique_ptr<TPlatformDriver>;
  return *d;
}
}  // namespace

void TPlatformDriver::WaitEvents(uint64_t TimeoutUs) {
  // Nothing can arrive without a backend but a timer: sleep until it is due,
  // a little at a time.
  uint64_t ms = TimeoutUs == UINT64_MAX ? 10 : (TimeoutUs + 999) / 1000;
  ClockSource().Sleep(static_cast<uint32_t>(ms > 10 ? 10 : ms));
}

void TPlatformDriver::IdlePace() {
  // Whatever the handler read of the clock, the next pass reads a later
  // millisecond: two frames in one millisecond would let game time outrun
  // real time.
  DWORD start = timeGetTime();
  while (timeGetTime() == start) ClockSource().Sleep(1);
}

int TPlatformDriver::MessageBox(HWND, const std::string& Text, const std::string& Caption,
                                UINT Type) {
  std::fprintf(stderr, "[%s] %s\n", Caption.c_str(), Text.c_str());
  return DefaultMessageBoxAnswer(Type);
}

void SetPlatformDriver(std::unique_ptr<TPlatformDriver> Driver) {
  Slot() = std::move(Driver);
}

TPlatformDriver& PlatformDriver() {
  static auto* null_driver = new TPlatformDriver;
  return Slot() ? *Slot() : *null_driver;
}
