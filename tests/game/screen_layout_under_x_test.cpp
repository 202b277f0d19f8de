// Every screen of the game on the real backend, in a window of a virtual X
// server on the real clock, walked through SDL's event queue as the desktop
// would deliver a player's clicks and keys. Each screen, once settled, is
// kept as artifacts/screens/<screen>.png, so a person can look them all over in one
// folder. Only what holds on a loaded machine is asserted: the walk came
// through and every picture was kept; the headless test checks the layout.
#include <gtest/gtest.h>

#include <SDL.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "framework/extctrls.h"
#include "framework/forms.h"
#include "game/core/main_form.h"
#include "platform/backend/sdl/sdl_core.h"
#include "platform/backend/sdl/sdl_video.h"
#include "platform/backend/sdl/xvfb_server.h"
#include "platform/win/clock.h"
#include "platform/win/library.h"
#include "programs/startup.h"
#include "setup/testprog/png_writer.h"
#include "tests/game/game_harness.h"
#include "tests/game/screen_tour.h"
#include "tests/under_x.h"

namespace {

namespace fs = std::filesystem;

void PushText(SDL_Window* Window, const std::string& Text) {
  SDL_Event e{};
  e.type = SDL_TEXTINPUT;
  e.text.windowID = SDL_GetWindowID(Window);
  std::strncpy(e.text.text, Text.c_str(), sizeof e.text.text - 1);
  SdlPushEvent(e);
}

TEST(ScreenLayoutUnderX, EveryScreenIsKeptAsAPicture) {
  ASSERT_TRUE(fs::exists(GameDataDir() + "/graphic/data.dan")) << "no data folder";
  TXvfbServer server;
  StartGameX(server);
  if (HasFatalFailure() || IsSkipped()) return;

  const std::string folder = MakeGameFolder(
      (fs::temp_directory_path() / ("tal_screens_x_" + std::to_string(getpid()))).string(), true);
  std::ofstream(folder + "/game.INI") << TScreenTour::StartingIni();
  SetProgramFolder(folder + "/");
  fs::create_directories(std::string(TAL_ARTIFACTS_DIR) + "/screens");

  std::vector<std::string> kept;
  std::string stuck;
  {
    TApplicationScope scope;
    ASSERT_TRUE(StartPlatform(dbGame));
    SdlVideo()->KeepReadback = true;
    auto* form = CreateGame();
    SDL_Window* window = nullptr;
    TScreenTour tour(
        {[&](int X, int Y) { SdlPushClick(window, X, Y); },
         [&](int Key) {
           SdlPushKey(window, static_cast<SDL_Scancode>(Key), true);
           SdlPushKey(window, static_cast<SDL_Scancode>(Key), false);
         },
         [&](const std::string& Text) { PushText(window, Text); }},
        [&](const std::string& Screen) {
          if (SdlVideo()->ReadbackWidth() != 800 || SdlVideo()->ReadbackHeight() != 600) return;
          const std::string file = std::string(TAL_ARTIFACTS_DIR) + "/screens/" + Screen + ".png";
          if (setup_test::WritePng(file, SdlVideo()->Readback().data(), 800, 600))
            kept.push_back(Screen);
        });

    // The test looks in every 50 ms, as the player's eyes and hands.
    const uint64_t start = ClockSource().Microseconds() / 1000;
    auto* watch = new TTimer(form);
    watch->SetInterval(50);
    watch->SetOnTimer([&](TObject*) {
      window = SdlWindowOf(form->Handle());
      const uint64_t now = ClockSource().Microseconds() / 1000;
      if (!window || now - start > 300000) {
        stuck = tour.Waiting();
        Application->Terminate();
      } else if (!tour.Step(now)) {
        Application->Terminate();
      }
    });
    watch->SetEnabled(true);
    Application->Run();

    TXvfbServer::KeepLibraries();
    StopPlatform();
  }
  SetProgramFolder("");
  fs::remove_all(folder);

  EXPECT_EQ(stuck, "");
  EXPECT_EQ(kept, TScreenTour::Screens());
}

}  // namespace
