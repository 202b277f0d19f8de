#include "platform/win/driver.h"

#include <cstdio>

#include "platform/win/clock.h"

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
  DWORD now = timeGetTime();
  while (now == last_pace_ms_) {
    ClockSource().Sleep(1);
    now = timeGetTime();
  }
  last_pace_ms_ = now;
}

int TPlatformDriver::MessageBox(HWND, const std::string& Text, const std::string& Caption,
                                UINT Type) {
  std::fprintf(stderr, "[%s] %s\n", Caption.c_str(), Text.c_str());
  UINT kind = Type & MB_TYPEMASK;
  return kind == MB_YESNO || kind == MB_YESNOCANCEL ? IDYES : IDOK;
}

void SetPlatformDriver(std::unique_ptr<TPlatformDriver> Driver) {
  Slot() = std::move(Driver);
}

TPlatformDriver& PlatformDriver() {
  static auto* null_driver = new TPlatformDriver;
  return Slot() ? *Slot() : *null_driver;
}
