#include "platform/win/user.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win/clock.h"

namespace {

class WindowTimers : public ::testing::Test {
 protected:
  void SetUp() override { SetClockSource(&clock_); }
  void TearDown() override {
    if (wnd_) DestroyWindow(wnd_);
    SetClockSource(nullptr);
  }
  // Takes every message now due and dispatches it.
  void Drain() {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
  }
  TVirtualClock clock_{0};
  HWND wnd_ = nullptr;
};

TEST_F(WindowTimers, FireInOrderAtTheCoarseGranularity) {
  struct TFire {
    uintptr_t id;
    DWORD at;
  };
  std::vector<TFire> fired;
  wnd_ = CreateWindowHandle({}, [&](HWND, UINT msg, WPARAM w, LPARAM) -> LRESULT {
    if (msg == WM_TIMER) fired.push_back({w, timeGetTime()});
    return 0;
  });
  SetTimer(wnd_, 1000, 1000);
  SetTimer(wnd_, 1, 1);
  SetTimer(wnd_, 10, 10);
  for (int ms = 1; ms <= 1000; ++ms) {
    clock_.Advance(1);
    Drain();
  }
  int count1 = 0, count10 = 0, count1000 = 0;
  DWORD last1 = 0;
  for (const auto& f : fired) {
    if (f.id == 1) {
      ++count1;
      EXPECT_GE(f.at - last1, 15u) << "a 1 ms timer fires at most every 15.625 ms";
      last1 = f.at;
    }
    count10 += f.id == 10;
    count1000 += f.id == 1000;
  }
  // 1000 ms / 15.625 ms = 64 ticks.
  EXPECT_EQ(count1, 64);
  EXPECT_EQ(count10, 64);
  EXPECT_EQ(count1000, 1);
  // Each tick fires the due timers in the order they were set.
  ASSERT_GE(fired.size(), 3u);
  EXPECT_EQ(fired[0].id, 1u);
  EXPECT_EQ(fired[0].at, 16u);
  EXPECT_EQ(fired[1].id, 10u);
  EXPECT_EQ(fired[1].at, 16u);
  EXPECT_EQ(fired.back().at, 1000u);
  EXPECT_EQ(fired[fired.size() - 1].id, 10u);
  EXPECT_EQ(fired[fired.size() - 2].id, 1u);
  EXPECT_EQ(fired[fired.size() - 3].id, 1000u);
}

TEST_F(WindowTimers, LongerPeriodsRoundUpToTicksAndAStallQueuesOneMessage) {
  std::vector<DWORD> at;
  wnd_ = CreateWindowHandle({}, [&](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
    if (msg == WM_TIMER) at.push_back(timeGetTime());
    return 0;
  });
  SetTimer(wnd_, 7, 20);
  for (int ms = 1; ms <= 100; ++ms) {
    clock_.Advance(1);
    Drain();
  }
  // Due at 20 -> seen at 31.25; due at 51.25 -> 62.5; due at 82.5 -> 93.75.
  EXPECT_EQ(at, (std::vector<DWORD>{32, 63, 94}));
  at.clear();
  clock_.Advance(500);
  Drain();
  EXPECT_EQ(at.size(), 1u);
  EXPECT_TRUE(KillTimer(wnd_, 7));
  clock_.Advance(500);
  Drain();
  EXPECT_EQ(at.size(), 1u);
}

TEST_F(WindowTimers, PostedMessagesComeBeforeTimersAndDestroyDropsBoth) {
  std::vector<UINT> seen;
  wnd_ = CreateWindowHandle({}, [&](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
    if (msg >= WM_USER || msg == WM_TIMER) seen.push_back(msg);
    return 0;
  });
  SetTimer(wnd_, 1, 10);
  clock_.Advance(20);
  PostMessageA(wnd_, WM_USER + 1, 0, 0);
  Drain();
  EXPECT_EQ(seen, (std::vector<UINT>{WM_USER + 1, WM_TIMER}));
  PostMessageA(wnd_, WM_USER + 2, 0, 0);
  clock_.Advance(20);
  DestroyWindow(wnd_);
  wnd_ = nullptr;
  seen.clear();
  Drain();
  EXPECT_TRUE(seen.empty());
}

TEST(WindowMessages, AltF4AndCloseDestroyTheTopLevelWindow) {
  std::vector<UINT> seen;
  HWND top = CreateWindowHandle({}, [&](HWND h, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
    seen.push_back(msg);
    return DefWindowProcA(h, msg, w, l);
  });
  TWindowParams child;
  child.Parent = top;
  HWND kid = CreateWindowHandle(
      child, [](HWND h, UINT msg, WPARAM w, LPARAM l) { return DefWindowProcA(h, msg, w, l); });
  EXPECT_EQ(GetAncestorWindow(kid), top);
  SendMessageA(kid, WM_SYSKEYDOWN, 0x73 /* F4 */, 0);
  EXPECT_FALSE(IsWindow(top));
  EXPECT_FALSE(IsWindow(kid));
  EXPECT_NE(std::find(seen.begin(), seen.end(), WM_CLOSE), seen.end());
  EXPECT_EQ(seen.back(), WM_DESTROY);
}

TEST(WindowMessages, ForegroundChangeActivatesOneWindowAndDeactivatesTheOther) {
  std::vector<std::string> seen;
  auto recorder = [&](const std::string& Name) {
    return [&seen, Name](HWND, UINT msg, WPARAM w, LPARAM) -> LRESULT {
      if (msg == WM_ACTIVATE) seen.push_back(Name + (w == WA_INACTIVE ? " off" : " on"));
      return 0;
    };
  };
  HWND a = CreateWindowHandle({}, recorder("a"));
  HWND b = CreateWindowHandle({}, recorder("b"));
  TWindowParams child;
  child.Parent = b;
  HWND kid = CreateWindowHandle(child, recorder("kid"));
  SetForegroundWindow(a);
  SetForegroundWindow(kid);  // its top-level window comes forward
  SetForegroundWindow(b);    // already in front: nothing new
  EXPECT_EQ(seen, (std::vector<std::string>{"a on", "a off", "b on"}));
  EXPECT_EQ(GetForegroundWindow(), b);
  DestroyWindow(b);
  DestroyWindow(a);
}

TEST(Clock, VirtualClockWrapsLikeTheMillisecondClock) {
  TVirtualClock clock(0xFFFFFFFFull - 1);
  SetClockSource(&clock);
  EXPECT_EQ(timeGetTime(), 0xFFFFFFFEu);
  Sleep(3);
  EXPECT_EQ(timeGetTime(), 1u);
  int64_t c = 0, f = 0;
  EXPECT_TRUE(QueryPerformanceFrequency(&f));
  EXPECT_TRUE(QueryPerformanceCounter(&c));
  EXPECT_EQ(f, 1000000);
  EXPECT_EQ(c, static_cast<int64_t>((0xFFFFFFFFull + 2) * 1000));
  SetClockSource(nullptr);
}

TEST(KeyState, TracksPressesAndSides) {
  ResetKeyboardState();
  NotifyKeyState(0xA0 /* left shift */, true);
  EXPECT_LT(GetKeyState(0x10), 0);
  NotifyKeyState(0xA0, false);
  EXPECT_GE(GetKeyState(0x10), 0);
  NotifyKeyState('A', true);
  BYTE keys[256];
  GetKeyboardState(keys);
  EXPECT_EQ(keys[0x41] & 0x80, 0x80);
  ResetKeyboardState();
  EXPECT_EQ(GetAsyncKeyState('A'), 0);
}

}  // namespace
