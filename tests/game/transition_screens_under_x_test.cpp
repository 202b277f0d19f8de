// The screens between levels on the real backend, in a window of a virtual X
// server on the real clock, played through SDL's event queue as the desktop
// would deliver a player's clicks: into mission 7, through the level-complete
// and statistics screens into play, where the ship sits still until it is
// lost. The statistics screen and the game-over screen, each once its lines
// are typed, are kept as newlevel.png and gameover.png for people to look
// at. Only what holds on a loaded machine is asserted: the screens came, and
// their pictures show the typed lines.
#include <gtest/gtest.h>

#include <SDL.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "framework/extctrls.h"
#include "framework/forms.h"
#include "game/core/enemy_table.h"
#include "game/core/main_form.h"
#include "game/core/mission_table.h"
#include "game/screens/interface_sprite.h"
#include "platform/backend/sdl/sdl_core.h"
#include "platform/backend/sdl/sdl_video.h"
#include "platform/backend/sdl/xvfb_server.h"
#include "platform/win/clock.h"
#include "platform/win/library.h"
#include "programs/startup.h"
#include "setup/testprog/png_writer.h"
#include "tests/game/game_harness.h"
#include "tests/under_x.h"

namespace {

namespace fs = std::filesystem;

void PushEscape(SDL_Window* Window) {
  SdlPushKey(Window, SDL_SCANCODE_ESCAPE, true);
  SdlPushKey(Window, SDL_SCANCODE_ESCAPE, false);
}

void PushClickOn(SDL_Window* Window, const TImageSprite* Sprite) {
  if (Sprite && Sprite->Visible)
    SdlPushClick(Window, static_cast<int>(Sprite->X) + Sprite->Width / 2,
                 static_cast<int>(Sprite->Y) + Sprite->Height / 2);
}

// Pixels of the statistics lines' area in the green they are typed in.
int TypedPixels(const std::vector<uint32_t>& P) {
  int n = 0;
  for (int y = 340; y < 530; ++y)
    for (int x = 120; x < 560; ++x) {
      const uint32_t p = P[static_cast<size_t>(y) * 800 + static_cast<size_t>(x)];
      const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
      n += g > 100 && g > 2 * r && g > 2 * b;
    }
  return n;
}

// The screen as the player sees it, kept as a picture; the typed pixels, or
// -1 when there was no picture to keep.
int KeepScreen(const std::string& Name) {
  const std::vector<uint32_t>& shown = SdlVideo()->Readback();
  if (SdlVideo()->ReadbackWidth() != 800 || SdlVideo()->ReadbackHeight() != 600) return -1;
  fs::create_directories(TAL_ARTIFACTS_DIR);
  const std::string file = std::string(TAL_ARTIFACTS_DIR) + "/" + Name + ".png";
  EXPECT_TRUE(setup_test::WritePng(file, shown.data(), 800, 600)) << file;
  return TypedPixels(shown);
}

TEST(TransitionScreensUnderX, StatisticsAndGameOverScreensAreKeptAsPictures) {
  ASSERT_TRUE(fs::exists(GameDataDir() + "/graphic/data.dan")) << "no data folder";
  TXvfbServer server;
  StartGameX(server);
  if (HasFatalFailure() || IsSkipped()) return;

  // A program folder of the test's own, with the data and the audio
  // libraries beside the program as the game ships; mission 7 is open.
  const std::string folder = MakeGameFolder(
      (fs::temp_directory_path() / ("tal_transitions_x_" + std::to_string(getpid()))).string(),
      true);
  {
    std::ofstream ini(folder + "/game.INI");
    ini << "[Options]\nControls=1\nMusicLevel=0\nSoundFxLevel=5\nBrightness=50\n"
        << "[User]\nStatus=7\n";
  }
  SetProgramFolder(folder + "/");

  std::vector<std::string> screens;
  int newLevelTyped = -1, gameOverTyped = -1;
  bool escaped = false;
  {
    TApplicationScope scope;
    ASSERT_TRUE(StartPlatform(dbGame));
    SdlVideo()->KeepReadback = true;
    auto* form = CreateGame();

    // The test looks in every 50 ms and acts like a player: a click on what
    // the screen offers every half second, once the screen has stood (and
    // its statistics are typed) for a moment.
    const uint64_t start = ClockSource().Microseconds() / 1000;
    uint64_t since = start;  // when the screen came, or its lines were typed
    uint64_t acted = 0;      // when the test last acted
    auto* watch = new TTimer(form);
    watch->SetInterval(50);
    watch->SetOnTimer([&](TObject*) {
      SDL_Window* window = SdlWindowOf(form->Handle());
      const uint64_t now = ClockSource().Microseconds() / 1000;
      if (!window || now - start > 240000) {
        Application->Terminate();
        return;
      }
      const bool typing =
          (GameState == "levelcomplete" || GameState == "newlevel" || GameState == "gameover") &&
          StatStep < 30;
      if (screens.empty() || screens.back() != GameState || typing) {
        if (screens.empty() || screens.back() != GameState) screens.push_back(GameState);
        since = now;
        return;
      }
      // A few frames after the last change, so the picture shows it.
      if (now - since < 400 || now - acted < 500) return;
      acted = now;
      if (GameState == "intro2" && !escaped) {
        escaped = true;
        PushEscape(window);
      } else if (GameState == "mainmenu") {
        PushClickOn(window, MenuButtons[1]);
      } else if (GameState == "difficulty") {
        PushClickOn(window, MenuButtons[25]);
      } else if (GameState == "chooseepisode") {
        PushClickOn(window, MenuButtons[15]);
      } else if (GameState == "choosemission2") {
        PushClickOn(window, MenuButtons[17]);
      } else if (GameState == "levelcomplete" || GameState == "ready") {
        SdlPushClick(window, 400, 300);
      } else if (GameState == "newlevel") {
        if (newLevelTyped < 0) newLevelTyped = KeepScreen("newlevel");
        SdlPushClick(window, 400, 300);
      } else if (GameState == "gameover") {
        gameOverTyped = KeepScreen("gameover");
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

  std::string seen;
  for (const std::string& s : screens) seen += " " + s;
  const std::vector<std::string> between = {"levelcomplete", "newlevel", "ready", "game",
                                            "gameover"};
  auto at = std::search(screens.begin(), screens.end(), between.begin(), between.end());
  EXPECT_NE(at, screens.end()) << "screens:" << seen;
  // Thirty characters of each of the eight lines make thousands of pixels.
  EXPECT_GT(newLevelTyped, 500) << "screens:" << seen;
  EXPECT_GT(gameOverTyped, 500) << "screens:" << seen;
}

}  // namespace
