#include "platform/backend/headless/headless_core.h"

#include <gtest/gtest.h>

#include "framework/forms.h"
#include "platform/win/driver.h"
#include "platform/win/user.h"
#include "platform/win/user_seam.h"
#include "tests/main/test_program.h"

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
  // Unanswered, a box gives its first button, as under the SDL backend; a
  // test can say otherwise until the backend is installed again.
  EXPECT_EQ(MessageBoxA(nullptr, "Save changes?", "Confirm", MB_YESNO), IDYES);
  HeadlessSetMessageBoxAnswer(IDNO);
  EXPECT_EQ(MessageBoxA(nullptr, "Save changes?", "Confirm", MB_YESNO), IDNO);
  HeadlessInstall(500);
  EXPECT_EQ(MessageBoxA(nullptr, "Leave?", "Confirm", MB_OKCANCEL), IDOK);
  // Starting over keeps what was shown for the test to take.
  const auto boxes = TakeRecordedMessageBoxes();
  ASSERT_EQ(boxes.size(), 4u);
  EXPECT_EQ(boxes[0].Text, "'xyz' is not a valid integer value");
  EXPECT_EQ(boxes[0].Caption, "Taloren Setup programm");
  EXPECT_EQ(boxes[1].Caption, "Confirm");
  EXPECT_EQ(boxes[1].Type, static_cast<UINT>(MB_YESNO));
  EXPECT_EQ(boxes[3].Text, "Leave?");
  EXPECT_TRUE(TakeRecordedMessageBoxes().empty());
}

// Left behind on purpose, for the test below to run on its own.
TEST_F(HeadlessCore, DISABLED_LeavesABoxBehind) {
  MessageBoxA(nullptr, "A box nobody takes", "Proof", MB_OK | MB_ICONERROR);
}

TEST_F(HeadlessCore, TheTestsMainFailsATestThatLeavesABoxUnread) {
  const TTestProgramRun run = RunThisTestProgram("HeadlessCore.DISABLED_LeavesABoxBehind", 120);
  ASSERT_TRUE(run.Ended) << run.Output;
  EXPECT_EQ(run.ExitCode, 1) << run.Output;
  EXPECT_NE(run.Output.find("the test did not take it: [Proof] A box nobody takes"),
            std::string::npos)
      << run.Output;
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
