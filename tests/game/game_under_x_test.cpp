// The real game program under a virtual X server, on the real clock, played
// from outside with xdotool as a player at the keyboard would: skip the
// intro, click into mission 1, steer and fire with the keys, type the
// god-mode code, then pause, leave and confirm. Only what holds on a loaded
// machine is asserted: the program ends by itself with status 0 and game.INI
// holds what it saved. A screenshot of play is kept for people to look at.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/dib/dib.h"
#include "engine/draw/pictures.h"
#include "framework/inifiles.h"
#include "platform/backend/sdl/xvfb_server.h"
#include "tests/game/game_harness.h"
#include "tests/game/game_screenshot.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const char* const XdotoolPath = "/usr/bin/xdotool";

class TXdotool {
 public:
  explicit TXdotool(std::string Display) : display_(std::move(Display)) {}
  // Runs xdotool with Args; true when it succeeded.
  bool operator()(std::vector<std::string> Args) const {
    const pid_t pid = fork();
    if (pid == 0) {
      setenv("DISPLAY", display_.c_str(), 1);
      std::vector<char*> argv{const_cast<char*>(XdotoolPath)};
      for (std::string& a : Args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(XdotoolPath, argv.data());
      _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  bool Key(const std::string& Name) const { return (*this)({"key", Name}); }
  bool Click(int X, int Y) const {
    return (*this)({"mousemove", std::to_string(X), std::to_string(Y)}) &&
           (*this)({"click", "1"});
  }

 private:
  std::string display_;
};

// Where a picture of the interface archive is, for clicking its middle.
struct TPictureSize {
  int Width = 0, Height = 0;
};
TPictureSize SizeOf(const std::string& Name) {
  static TPictureCollection* pictures = [] {
    RegisterDIBGraphicClass();
    auto* p = new TPictureCollection();
    p->LoadFromFile(GameDataDir() + "/graphic/interface.dan");
    return p;
  }();
  TPictureCollectionItem* item = pictures->Find(Name);
  return {item->Width(), item->Height()};
}

// Keeps the X server's screen as a bitmap file, and tells how much of it is
// not black; false when it cannot be read.
bool SaveScreen(const std::string& Display, const std::string& FileName, double* Lit) {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
  if (!GrabXScreen(Display, width, height, pixels) || pixels.empty()) return false;
  TDIB dib;
  dib.SetSize(width, height, 24);
  size_t lit = 0;
  for (int y = 0; y < height; ++y) {
    uint8_t* row = dib.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      const uint32_t p = pixels[static_cast<size_t>(y) * static_cast<size_t>(width) +
                                static_cast<size_t>(x)];
      row[3 * x + 0] = static_cast<uint8_t>(p);
      row[3 * x + 1] = static_cast<uint8_t>(p >> 8);
      row[3 * x + 2] = static_cast<uint8_t>(p >> 16);
      lit += p != 0;
    }
  }
  *Lit = static_cast<double>(lit) / static_cast<double>(pixels.size());
  fs::create_directories(fs::path(FileName).parent_path());
  dib.SaveToFile(FileName);
  return true;
}

TEST(GameUnderX, PlaysMissionOneWithTheKeyboardAndSavesOnExit) {
  ASSERT_TRUE(fs::exists(GameDataDir() + "/graphic/data.dan")) << "no data folder";
  const std::string xvfb = TXvfbServer::Find();
  if (xvfb.empty()) GTEST_SKIP() << "Xvfb is not installed";
  if (access(XdotoolPath, X_OK) != 0) GTEST_SKIP() << "xdotool is not installed";

  // The program finds its data and game.INI beside itself, so it is copied
  // into a folder of its own.
  const fs::path folder = fs::temp_directory_path() / ("tal_game_x_" + std::to_string(getpid()));
  fs::remove_all(folder);
  MakeGameFolder(folder.string(), true);
  fs::copy_file(TAL_GAME_PROGRAM, folder / "talgame");
  {
    std::ofstream ini(folder / "game.INI");
    ini << "[Options]\nControls=2\nMusicLevel=0\nSoundFxLevel=5\nBrightness=50\n"
        << "[Keys]\nLeft=37\nRight=39\nPrimary=32\nSecondary=88\n";
  }

  TXvfbServer server;
  ASSERT_TRUE(server.Start(xvfb, "800x600x24")) << "Xvfb did not start";
  const TXdotool xdo(server.Display());

  const pid_t game = fork();
  if (game == 0) {
    setenv("DISPLAY", server.Display().c_str(), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    // The X and bus libraries keep their start-up allocations for good;
    // the game's own leaks are the headless tests' business.
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
    const std::string program = (folder / "talgame").string();
    execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  auto stopGame = [&] {
    kill(game, SIGKILL);
    waitpid(game, nullptr, 0);
  };
  ASSERT_TRUE(xdo({"search", "--sync", "--onlyvisible", "--name", "Taloren"})) << "no game window";
  // There is no window manager to give the window the keyboard.
  xdo({"search", "--onlyvisible", "--name", "Taloren", "windowfocus", "--sync"});
  xdo({"mousemove", "400", "300"});

  // The intro's logos come at 4 and 10 seconds; Esc skips from the second
  // on and does nothing in the menu, where the intro ends by itself at 32.
  std::this_thread::sleep_for(10s);
  for (int i = 0; i < 24; ++i) {
    xdo.Key("Escape");
    std::this_thread::sleep_for(1s);
  }
  auto clickButton = [&](const std::string& Picture, int X, int Y) {
    const TPictureSize s = SizeOf(Picture);
    xdo.Click(X + s.Width / 2, Y + s.Height / 2);
    std::this_thread::sleep_for(1500ms);
  };
  clickButton("NewGameButton", 308, 180);
  clickButton("normal", 275, 282);
  clickButton("ChooseEpisode1Button", 310, 250);
  clickButton("mission1", 310, 200);
  // Level complete (the mission's start), statistics, ready: a click each.
  for (int i = 0; i < 3; ++i) {
    xdo.Click(400, 300);
    std::this_thread::sleep_for(2500ms);
  }
  xdo({"type", "--delay", "80", "kqfxczb"});
  xdo({"keydown", "space"});
  xdo({"keydown", "Right"});
  std::this_thread::sleep_for(1500ms);
  xdo({"keyup", "Right"});
  xdo({"keydown", "Left"});
  std::this_thread::sleep_for(1500ms);
  xdo({"keyup", "Left"});
  double lit = 0;
  const std::string shot = std::string(TAL_ARTIFACTS_DIR) + "/game_under_x.bmp";
  EXPECT_TRUE(SaveScreen(server.Display(), shot, &lit));
  EXPECT_GT(lit, 0.05) << "the screen of play is black";
  xdo({"keyup", "space"});

  // Pause, leave, confirm.
  xdo.Key("Escape");
  std::this_thread::sleep_for(1500ms);
  const TPictureSize panel = SizeOf("pausemenupanel");
  clickButton("pausemenuexit", 300, 300 - panel.Height / 2 + 122);
  clickButton("ays_ok", 285, 309);

  int status = -1;
  for (int i = 0; i < 300; ++i) {
    if (waitpid(game, &status, WNOHANG) == game) break;
    status = -1;
    std::this_thread::sleep_for(100ms);
  }
  if (status == -1) {
    SaveScreen(server.Display(), std::string(TAL_ARTIFACTS_DIR) + "/game_under_x_stuck.bmp", &lit);
    stopGame();
    FAIL() << "the game did not end after the exit was confirmed";
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;

  // game.INI was written on the way out, keeping the keyboard.
  TIniFile ini((folder / "game.INI").string());
  EXPECT_EQ(ini.ReadString("Options", "Controls", ""), "2");
  EXPECT_NE(ini.ReadString("User", "Status", ""), "");
  EXPECT_NE(ini.ReadString("Table", "s1", ""), "");
  server.Stop();
  fs::remove_all(folder);
}

}  // namespace
