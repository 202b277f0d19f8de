#include "platform/backend/headless/headless_core.h"

#include <gtest/gtest.h>

#include "framework/forms.h"
#include "platform/win/driver.h"
#include "platform/win/user.h"

namespace {

class HeadlessCore : public ::testing::Test {
 protected:
  void SetUp() override { HeadlessInstall(500); }
  void TearDown() override { HeadlessUninstall(); }
};

TEST_F(HeadlessCore, MessageBoxesAreRecordedAndAnswered) {
  TApplicationScope scope;
  Application->SetTitle("Taloren Setup programm");
  try {
    throw Exception("'xyz' is not a valid integer value");
  } catch (...) {
    Application->HandleException(nullptr);
  }
  HeadlessSetMessageBoxAnswer(IDNO);
  EXPECT_EQ(MessageBoxA(nullptr, "Save changes?", "Confirm", MB_YESNO), IDNO);
  const auto& boxes = HeadlessMessageBoxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].Text, "'xyz' is not a valid integer value");
  EXPECT_EQ(boxes[0].Caption, "Taloren Setup programm");
  EXPECT_EQ(boxes[1].Caption, "Confirm");
  HeadlessClearMessageBoxes();
  EXPECT_TRUE(HeadlessMessageBoxes().empty());
}

TEST_F(HeadlessCore, TimeMovesOnlyWhenTheTestOrAWaitSaysSo) {
  EXPECT_EQ(timeGetTime(), 500u);
  EXPECT_EQ(timeGetTime(), 500u);
  HeadlessAdvance(20);
  EXPECT_EQ(timeGetTime(), 520u);
  // A wait lasts until the next window timer is seen.
  HWND w = CreateWindowHandle({}, [](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
  SetTimer(w, 1, 1000);
  WaitMessage();
  MSG m;
  EXPECT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, WM_TIMER);
  EXPECT_GE(timeGetTime(), 1520u);
  EXPECT_LT(timeGetTime(), 1520u + 16);
  DestroyWindow(w);
  // An idle pass that does not wait costs a millisecond, or what the test says.
  DWORD t = timeGetTime();
  PlatformDriver().IdlePace();
  EXPECT_EQ(timeGetTime(), t + 1);
  HeadlessSetIdlePace([] { HeadlessAdvance(16); });
  PlatformDriver().IdlePace();
  EXPECT_EQ(timeGetTime(), t + 17);
}

}  // namespace
