#include "engine/directx/dxclass.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/backend/headless/headless_core.h"
#include "platform/win/clock.h"

namespace {

class FrameTimer : public ::testing::Test {
 protected:
  void Start(uint64_t startMs) {
    HeadlessInstall(startMs);
    scope_ = std::make_unique<TApplicationScope>();
  }
  void TearDown() override {
    scope_.reset();
    HeadlessUninstall();
  }
  // One idle pass of the loop.
  static void Pass() {
    bool done = true;
    if (Application->OnIdle) Application->OnIdle(Application, done);
  }
  std::unique_ptr<TApplicationScope> scope_;
};

TEST_F(FrameTimer, LagCountOnTheVirtualClock) {
  struct {
    const char* what;
    uint64_t start;
    uint32_t interval;
    std::vector<uint32_t> gaps;  // ms before each pass
    std::vector<int> lags;       // OnTimer calls
  } cases[] = {
      {"interval 16, passes 40 ms apart", 5000, 16, {40, 40}, {2, 2}},
      {"interval 16, passes 5 ms apart", 5000, 16, {5, 5, 5, 5}, {1}},
      {"interval 0, same millisecond", 5000, 0, {0, 0, 3}, {1, 1, 3}},
      {"clock wraps at 2^32 ms", 0xFFFFFFFFull - 10, 16, {20, 20}, {1, 1}},
      {"interval 0 across the wrap", 0xFFFFFFFFull - 2, 0, {5}, {5}},
      {"a huge interval counts as none", 5000, 0x80000000u, {7}, {7}},
  };
  for (const auto& c : cases) {
    Start(c.start);
    auto* timer = new TDXTimer(nullptr);
    timer->SetInterval(c.interval);
    std::vector<int> lags;
    timer->OnTimer = [&](TObject*, int lag) { lags.push_back(lag); };
    timer->SetEnabled(false);
    timer->SetEnabled(true);
    for (uint32_t gap : c.gaps) {
      HeadlessAdvance(gap);
      Pass();
    }
    EXPECT_EQ(lags, c.lags) << c.what;
    delete timer;
    TearDown();
  }
}

TEST_F(FrameTimer, FrameRateAndTheLoopNeverWaits) {
  Start(0xFFFFFFFFull - 500);  // the rate is measured across the wrap
  TDXTimer timer(nullptr);
  timer.SetInterval(0);
  timer.SetEnabled(false);
  timer.SetEnabled(true);
  for (int i = 0; i < 60; ++i) {
    HeadlessAdvance(i == 59 ? 1000 - 59 * 16 : 16);
    bool done = true;
    timer.IdleTick(nullptr, done);
    EXPECT_FALSE(done);
  }
  EXPECT_EQ(timer.FrameRate(), 60);
}

TEST_F(FrameTimer, GameTimeNeverRunsAheadOfTheClock) {
  // A frame handler that takes no time: the loop must not count more
  // milliseconds of lag than pass on the clock.
  Start(1000);
  TDXTimer timer(nullptr);
  timer.SetInterval(0);
  timer.SetActiveOnly(false);
  timer.SetEnabled(false);
  timer.SetEnabled(true);
  int64_t game_ms = 0;
  int frames = 0;
  timer.OnTimer = [&](TObject*, int lag) {
    game_ms += lag;
    if (++frames == 500) Application->Terminate();
  };
  DWORD start = timeGetTime();
  Application->Run();
  EXPECT_EQ(frames, 500);
  // Only the first frame may count a millisecond that has not passed yet
  // (a lag is at least 1); nothing accumulates after it.
  EXPECT_LE(game_ms, static_cast<int64_t>(timeGetTime() - start) + 1);
}

TEST_F(FrameTimer, EnableDisableAndActiveOnly) {
  Start(100);
  TDXTimer timer(nullptr);
  // Made enabled, but not running until loaded or switched.
  EXPECT_TRUE(timer.Enabled());
  EXPECT_TRUE(timer.ActiveOnly());
  EXPECT_EQ(timer.Interval(), 1000u);
  EXPECT_FALSE(Application->OnIdle);
  timer.SetInterval(10);
  timer.BeginLoading();
  timer.EndLoading();
  EXPECT_TRUE(Application->OnIdle);

  std::vector<std::string> events;
  std::vector<int> lags;
  timer.OnTimer = [&](TObject*, int lag) { lags.push_back(lag); };
  timer.OnActivate = [&](TObject*) { events.push_back("activate"); };
  timer.OnDeactivate = [&](TObject*) { events.push_back("deactivate"); };

  // Switching to another program stops the ticks; coming back resumes
  // them with fresh times.
  Application->SetActive(false);
  EXPECT_FALSE(Application->OnIdle);
  HeadlessAdvance(5000);
  Application->SetActive(true);
  ASSERT_TRUE(Application->OnIdle);
  HeadlessAdvance(20);
  Pass();
  EXPECT_EQ(lags, (std::vector<int>{2}));
  EXPECT_EQ(events, (std::vector<std::string>{"deactivate", "activate"}));

  // Disabling removes the idle handler; enabling installs it with fresh
  // times, so the first lag after a pause is small.
  timer.SetEnabled(false);
  EXPECT_FALSE(Application->OnIdle);
  HeadlessAdvance(3000);
  timer.SetEnabled(true);
  HeadlessAdvance(10);
  Pass();
  EXPECT_EQ(lags.back(), 1);

  // Without ActiveOnly the timer runs on while the program is inactive.
  timer.SetActiveOnly(false);
  Application->SetActive(false);
  EXPECT_TRUE(Application->OnIdle);
  // Setting ActiveOnly while inactive suspends at once.
  timer.SetActiveOnly(true);
  EXPECT_FALSE(Application->OnIdle);
  // Clearing it again resumes at once: activation would not, as it resumes
  // only ActiveOnly clocks, so the clock would otherwise stay stopped.
  timer.SetActiveOnly(false);
  ASSERT_TRUE(Application->OnIdle);
  HeadlessAdvance(30);
  Pass();
  EXPECT_EQ(lags.back(), 3);
  timer.SetActiveOnly(true);
  EXPECT_FALSE(Application->OnIdle);
  Application->SetActive(true);
  EXPECT_TRUE(Application->OnIdle);
}

TEST(DXForm, KeepsTheApplicationWindowOutOfTheTaskBarWhileOneExists) {
  HeadlessInstall();
  {
    TApplicationScope scope;
    HWND app = Application->Handle();
    auto* a = Application->CreateForm<TDXForm>();
    auto* b = Application->CreateForm<TDXForm>();
    EXPECT_EQ(TDXForm::Count(), 2);
    EXPECT_TRUE(GetWindowLongA(app, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    EXPECT_TRUE(GetWindowLongA(a->Handle(), GWL_EXSTYLE) & WS_EX_APPWINDOW);
    delete a;
    EXPECT_TRUE(GetWindowLongA(app, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    // Minimising from the system menu leaves the form minimised.
    b->Show();
    b->Perform(WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_EQ(b->WindowState(), wsMinimized);
    EXPECT_TRUE(IsIconic(b->Handle()));
    delete b;
    EXPECT_EQ(TDXForm::Count(), 0);
    EXPECT_FALSE(GetWindowLongA(app, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
  }
  HeadlessUninstall();
}

}  // namespace
