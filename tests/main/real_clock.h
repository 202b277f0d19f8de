// For tests on the real clock (other processes, an X server, a device's
// thread). Such a test asserts what happened, never how soon: on a loaded
// machine anything may take seconds. Its deadline is one that only a hang
// misses, and a time worth knowing is printed, not compared.
#pragma once

#include <chrono>
#include <thread>

inline constexpr std::chrono::seconds kOnlyAHangMisses{60};

// Calls Done every Poll until it returns true (then true) or Limit has
// passed (then false).
template <class F>
bool WaitOnRealClock(F&& Done, std::chrono::milliseconds Poll = std::chrono::milliseconds(10),
                     std::chrono::steady_clock::duration Limit = kOnlyAHangMisses) {
  const auto deadline = std::chrono::steady_clock::now() + Limit;
  for (;;) {
    if (Done()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(Poll);
  }
}
