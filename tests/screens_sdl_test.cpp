// The game program as it starts, in a window of a virtual X server on the
// real clock: the intro skipped by Esc, the main menu on the screen, and a
// click on OPTIONS, both put on SDL's event queue as the desktop would.
#include <gtest/gtest.h>

#include <SDL.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "framework/extctrls.h"
#include "framework/forms.h"
#include "framework/sysutils.h"
#include "game/core/enemy_table.h"
#include "game/core/main_form.h"
#include "game/core/mission_table.h"
#include "game/screens/interface_sprite.h"
#include "platform/backend/sdl/sdl_core.h"
#include "platform/backend/sdl/sdl_video.h"
#include "platform/backend/sdl/xvfb_server.h"
#include "platform/win/clock.h"
#include "platform/win/library.h"
#include "platform/win/user_seam.h"
#include "programs/startup.h"
#include "tests/under_x.h"

namespace {

// Pixels of the rectangle that are not black.
int Lit(const std::vector<uint32_t>& P, int X0, int Y0, int X1, int Y1) {
  int n = 0;
  for (int y = Y0; y < Y1; ++y)
    for (int x = X0; x < X1; ++x) n += (P[static_cast<size_t>(y * 800 + x)] & 0xFFFFFF) != 0;
  return n;
}

TEST(ScreensUnderX, EscSkipsTheIntroAndAClickOpensTheOptions) {
  const std::string data = std::string(TAL_BIN_DIR) + "/data";
  ASSERT_TRUE(FileExists(data + "/graphic/data.dan")) << data << " holds no archives";
  TXvfbServer server;
  StartGameX(server);
  if (HasFatalFailure() || IsSkipped()) return;

  char pattern[] = "/tmp/tal_screens_x_XXXXXX";
  const std::string folder = mkdtemp(pattern);
  std::filesystem::create_directory_symlink(data, folder + "/data");
  // The audio libraries beside the program, as in the game's own folder.
  for (const char* lib : {"libbass.so", "libbasswma.so"})
    std::filesystem::create_symlink(std::string(TAL_BIN_DIR) + "/" + lib, folder + "/" + lib);
  {
    std::ofstream ini(folder + "/game.INI");
    ini << "[Options]\nUDI=0\nFPS=0\nBrightness=50\nSoundFxLevel=8\nMusicLevel=8\n"
           "RadioVoxLevel=8\nChannels=0\nSplinters=2\nRocketSmoke=1\nControls=1\n"
           "Bumpiness=1\n[Keys]\nLeft=37\nRight=39\nPrimary=17\nSecondary=32\n[User]\n"
           "Status=2\n[Table]\n";
    for (int i = 1; i <= 10; ++i) ini << "n" << i << "=Ace\ns" << i << "=" << 100 * i << "\n";
    ini << "[TT]\n";
    for (int i = 1; i <= 100; ++i) ini << "t" << i << "=0\n";
    ini << "[eB]\ne=" << std::string(38, '0') << "\n";
  }
  SetProgramFolder(folder);

  enum { kWaitSecondPicture, kWaitMenu, kWaitOptions, kDone } phase = kWaitSecondPicture;
  std::string stateAtEsc;
  int menuLit = 0, buttonLit = 0, readWidth = 0;
  {
    TApplicationScope scope;
    ASSERT_TRUE(StartPlatform(dbGame));
    SdlVideo()->KeepReadback = true;
    auto* form = CreateGame();

    // The test looks in every 50 ms; the game's own clocks run the intro.
    const uint64_t start = ClockSource().Microseconds() / 1000;
    auto* watch = new TTimer(form);
    watch->SetInterval(50);
    watch->SetOnTimer([&](TObject*) {
      SDL_Window* window = SdlWindowOf(form->Handle());
      const uint64_t elapsed = ClockSource().Microseconds() / 1000 - start;
      if (!window || elapsed > 150000) {
        Application->Terminate();
        return;
      }
      switch (phase) {
        case kWaitSecondPicture:
          if (GameState == "intro2") {
            stateAtEsc = GameState;
            SdlPushKey(window, SDL_SCANCODE_ESCAPE, true);
            SdlPushKey(window, SDL_SCANCODE_ESCAPE, false);
            phase = kWaitMenu;
          }
          break;
        case kWaitMenu:
          // Faded in and drawn since: the picture on the screen is the menu.
          if (GameState == "mainmenu" && ScreenFadeStep <= 0 && ScreenFadeLevel >= 50) {
            const auto& shown = SdlVideo()->Readback();
            readWidth = SdlVideo()->ReadbackWidth();
            if (readWidth == 800 && SdlVideo()->ReadbackHeight() == 600) {
              menuLit = Lit(shown, 0, 0, 800, 600);
              const TInterFaceSprite* b = MenuButtons[3];
              buttonLit =
                  Lit(shown, static_cast<int>(b->X), static_cast<int>(b->Y),
                      static_cast<int>(b->X) + b->Width, static_cast<int>(b->Y) + b->Height);
            }
            SdlPushClick(window, static_cast<int>(MenuButtons[3]->X) + MenuButtons[3]->Width / 2,
                         static_cast<int>(MenuButtons[3]->Y) + MenuButtons[3]->Height / 2);
            phase = kWaitOptions;
          }
          break;
        case kWaitOptions:
          if (GameState == "options") {
            phase = kDone;
            Application->Terminate();
          }
          break;
        case kDone:
          break;
      }
    });
    watch->SetEnabled(true);
    Application->Run();

    EXPECT_EQ(stateAtEsc, "intro2");
    EXPECT_EQ(phase, kDone) << "ended in " << GameState;
    EXPECT_EQ(readWidth, 800);
    EXPECT_GT(menuLit, 800 * 600 / 2) << "the menu's backdrop is on the screen";
    EXPECT_GT(buttonLit, 0);
    EXPECT_TRUE(MenuButtons[8] && MenuButtons[8]->Visible);
    for (const TRecordedMessageBox& box : TakeRecordedMessageBoxes())
      ADD_FAILURE() << "message box shown: [" << box.Caption << "] " << box.Text;

    TXvfbServer::KeepLibraries();
    StopPlatform();
  }
  SetProgramFolder("");
  std::filesystem::remove_all(folder);
}

}  // namespace
