#include "platform/backend/sdl/sdl_core.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "framework/forms.h"
#include "platform/win/clock.h"
#include "platform/win/vkeys.h"

namespace {

// Drives the real backend on SDL's off-screen video driver: no display needed.
class SdlCore : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("SDL_VIDEODRIVER", "offscreen", 1);
    if (!SdlInstall()) GTEST_SKIP() << "SDL cannot start here";
    scope_ = std::make_unique<TApplicationScope>();
  }
  void TearDown() override {
    scope_.reset();
    SdlUninstall();
  }
  static void Push(SDL_Event e) { ASSERT_EQ(SDL_PushEvent(&e), 1); }
  std::unique_ptr<TApplicationScope> scope_;
};

TEST_F(SdlCore, FormsGetWindowsAndEventsBecomeMessages) {
  TForm* form = Application->CreateForm<TForm>();
  form->SetBounds(0, 0, 320, 200);
  form->Show();
  SDL_Window* win = SdlWindowOf(form->Handle());
  ASSERT_NE(win, nullptr);
  EXPECT_EQ(SdlMainWindow(), win);
  Uint32 id = SDL_GetWindowID(win);

  std::vector<WORD> keys;
  std::vector<std::string> mouse;
  form->OnKeyDown = [&](TObject*, WORD& Key, TShiftState) { keys.push_back(Key); };
  form->OnMouseDown = [&](TObject*, TMouseButton b, TShiftState, int x, int y) {
    mouse.push_back(std::to_string(b) + "@" + std::to_string(x) + "," + std::to_string(y));
  };
  int raw = 0;
  int listener = 0;
  listener = SdlAddEventListener([&](const SDL_Event& e) {
    if (e.type == SDL_KEYDOWN && ++raw == 2) SdlRemoveEventListener(listener);
  });

  SDL_Event k{};
  k.type = SDL_KEYDOWN;
  k.key.windowID = id;
  k.key.keysym.scancode = SDL_SCANCODE_ESCAPE;
  Push(k);
  k.key.keysym.scancode = SDL_SCANCODE_A;
  Push(k);
  k.key.keysym.scancode = SDL_SCANCODE_LEFT;
  Push(k);
  SDL_Event m{};
  m.type = SDL_MOUSEBUTTONDOWN;
  m.button.windowID = id;
  m.button.button = SDL_BUTTON_RIGHT;
  m.button.clicks = 1;
  m.button.x = 30;
  m.button.y = 40;
  Push(m);
  Application->ProcessMessages();
  EXPECT_EQ(keys, (std::vector<WORD>{VK_ESCAPE, 'A', VK_LEFT}));
  EXPECT_EQ(mouse, (std::vector<std::string>{"1@30,40"}));
  EXPECT_EQ(raw, 2);  // the listener left after its second key

  // The window's close button ends the program through the main form.
  SDL_Event c{};
  c.type = SDL_WINDOWEVENT;
  c.window.windowID = id;
  c.window.event = SDL_WINDOWEVENT_CLOSE;
  Push(c);
  Application->ProcessMessages();
  EXPECT_TRUE(Application->Terminated());
}

TEST_F(SdlCore, FocusChangesActivateTheApplication) {
  TForm* form = Application->CreateForm<TForm>();
  form->Show();
  Uint32 id = SDL_GetWindowID(SdlWindowOf(form->Handle()));
  std::vector<std::string> seen;
  Application->OnDeactivate = [&](TObject*) { seen.push_back("off"); };
  Application->OnActivate = [&](TObject*) { seen.push_back("on"); };
  SDL_Event f{};
  f.type = SDL_WINDOWEVENT;
  f.window.windowID = id;
  f.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
  Push(f);
  f.window.event = SDL_WINDOWEVENT_FOCUS_GAINED;
  Push(f);
  Application->ProcessMessages();
  EXPECT_EQ(seen, (std::vector<std::string>{"off", "on"}));
  EXPECT_TRUE(form->Active());
}

TEST_F(SdlCore, ALoopThatNeverWaitsStillNeverRunsAheadOfTheClock) {
  // An idle handler that asks to run again at once (the frame timer) counts
  // at least one millisecond per pass; two passes in the same millisecond
  // would let game time outrun real time.
  std::vector<DWORD> at;
  Application->OnIdle = [&](TObject*, bool& Done) {
    Done = false;
    at.push_back(timeGetTime());
    if (at.size() == 20) Application->Terminate();
  };
  Application->Run();
  ASSERT_EQ(at.size(), 20u);
  for (size_t i = 1; i < at.size(); ++i) EXPECT_GT(at[i], at[i - 1]) << "pass " << i;
}

}  // namespace
