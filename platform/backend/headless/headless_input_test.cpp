#include "platform/backend/headless/headless_input.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/backend/headless/headless_core.h"
#include "platform/win/user.h"
#include "platform/win/vkeys.h"

namespace {

struct TSeen {
  UINT Msg;
  WPARAM W;
  LPARAM L;
};

class HeadlessInputMessages : public ::testing::Test {
 protected:
  void SetUp() override {
    HeadlessInstall(1000);
    HeadlessInstallInput();
    TWindowParams p;
    p.Caption = "target";
    p.Width = 800;
    p.Height = 600;
    wnd_ = CreateWindowHandle(p, [this](HWND, UINT m, WPARAM w, LPARAM l) -> LRESULT {
      if (m != WM_ACTIVATE && m != WM_SHOWWINDOW) seen_.push_back({m, w, l});
      return 0;
    });
    SetForegroundWindow(wnd_);
    seen_.clear();
  }
  void TearDown() override {
    DestroyWindow(wnd_);
    HeadlessUninstall();
  }
  std::vector<TSeen> Pump() {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    auto out = seen_;
    seen_.clear();
    return out;
  }
  HWND wnd_ = nullptr;
  std::vector<TSeen> seen_;
};

constexpr int kEscape = 41, kA = 4, kLeftAlt = 226;

TEST_F(HeadlessInputMessages, KeysPostKeyMessagesWithRepeatAndControlCharacters) {
  HeadlessKeyDown(kEscape);
  HeadlessKeyDown(kEscape, true);
  HeadlessKeyUp(kEscape);
  auto s = Pump();
  ASSERT_EQ(s.size(), 5u);
  EXPECT_EQ(s[0].Msg, WM_KEYDOWN);
  EXPECT_EQ(s[0].W, WPARAM{VK_ESCAPE});
  EXPECT_EQ(s[0].L & (LPARAM{1} << 30), 0);
  EXPECT_EQ(s[1].Msg, WM_CHAR);
  EXPECT_EQ(s[1].W, WPARAM{27});
  EXPECT_EQ(s[2].Msg, WM_KEYDOWN);
  EXPECT_NE(s[2].L & (LPARAM{1} << 30), 0) << "a repeat says the key was down";
  EXPECT_EQ(s[3].Msg, WM_CHAR);
  EXPECT_EQ(s[4].Msg, WM_KEYUP);
  EXPECT_EQ(GetKeyState(VK_ESCAPE) & 0x8000, 0);

  // With Alt held a letter is a system key; the key state sees both.
  HeadlessKeyDown(kLeftAlt);
  HeadlessKeyDown(kA);
  EXPECT_LT(GetKeyState('A'), 0);
  s = Pump();
  ASSERT_EQ(s.size(), 2u);
  EXPECT_EQ(s[0].Msg, WM_SYSKEYDOWN);
  EXPECT_EQ(s[1].Msg, WM_SYSKEYDOWN);
  EXPECT_EQ(s[1].W, WPARAM{'A'});
}

TEST_F(HeadlessInputMessages, TextBecomesCharactersOfTheEightBitCodePage) {
  HeadlessTypeText("a\xD0\x96\xF0\x9F\x98\x80z");  // a, Cyrillic Zhe, an emoji, z
  auto s = Pump();
  ASSERT_EQ(s.size(), 3u);
  EXPECT_EQ(s[0].W, WPARAM{'a'});
  EXPECT_EQ(s[1].W, WPARAM{0xC6});
  EXPECT_EQ(s[2].W, WPARAM{'z'});
}

TEST_F(HeadlessInputMessages, MouseMovesAndClicksReachTheWindowAtTheCursor) {
  HeadlessMouseMoveTo(380, 190);
  HeadlessMouseMotion(-5, 10);
  HeadlessMouseButton(1, true);
  HeadlessMouseButton(1, false);
  HeadlessClick(20, 30);
  auto s = Pump();
  ASSERT_EQ(s.size(), 7u);
  EXPECT_EQ(s[0].Msg, WM_MOUSEMOVE);
  EXPECT_EQ(s[0].L, MAKELPARAM(380, 190));
  EXPECT_EQ(s[1].L, MAKELPARAM(375, 200));
  EXPECT_EQ(s[2].Msg, WM_RBUTTONDOWN);
  EXPECT_EQ(s[2].W & MK_RBUTTON, MK_RBUTTON);
  EXPECT_EQ(s[2].L, MAKELPARAM(375, 200));
  EXPECT_EQ(s[3].Msg, WM_RBUTTONUP);
  EXPECT_EQ(s[3].W & MK_RBUTTON, 0u);
  EXPECT_EQ(s[4].Msg, WM_MOUSEMOVE);
  EXPECT_EQ(s[5].Msg, WM_LBUTTONDOWN);
  EXPECT_EQ(s[5].L, MAKELPARAM(20, 30));
  EXPECT_EQ(s[6].Msg, WM_LBUTTONUP);
  POINT pt;
  GetCursorPos(&pt);
  EXPECT_EQ(pt.x, 20);
  EXPECT_EQ(pt.y, 30);
}

}  // namespace
