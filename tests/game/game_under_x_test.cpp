// The real game program under a virtual X server, on the real clock, played
// from outside with xdotool as a player at the keyboard would: skip the
// intro, click into mission 1, steer and fire with the keys, type the
// god-mode code, then pause, leave and confirm. Only what holds on a loaded
// machine is asserted: the program ends by itself with status 0 and game.INI
// holds what it saved. A screenshot of play is kept for people to look at.
//
// Like a player, the test acts on what the screen shows, never after a set
// time: a button is clicked once its picture stands at its place, and
// clicked again only while it still stands after the click, since a click
// that came before the screen listened is lost, which is no fault. How long
// each step took is printed; only a hang misses a step's deadline.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "engine/dib/dib.h"
#include "engine/draw/pictures.h"
#include "framework/inifiles.h"
#include "framework/scope_exit.h"
#include "platform/backend/sdl/xvfb_server.h"
#include "tests/game/game_harness.h"
#include "tests/game/game_screenshot.h"
#include "tests/game/screen_picture.h"
#include "tests/main/real_clock.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

const char* const kXdotoolPath = "/usr/bin/xdotool";

// How often the test looks at the screen.
constexpr auto kLookEvery = 100ms;
// A picture must stand this long before the test acts on it: what is still
// on its way (the doors, a banner) does not stay put so long, and a fade
// keeps the colours out of tolerance until its last steps.
constexpr auto kSettle = 300ms;
// A click or key that changed nothing by then is made again. Should the
// first have been taken late, the second does no harm: on the screen that
// follows it meets nothing, a locked button, or the statistics behind the
// doors, which it only leaves sooner.
constexpr auto kActAgainAfter = 3s;
// How much of a picture must show for it to stand: the text and digits
// drawn over the doors take a little of the rest.
constexpr double kShownShare = 0.95;
// The game's cursor: its top left is at the pointer.
constexpr int kCursorSize = 32;
// The intro ends by itself after this long; Esc only shortens it.
constexpr auto kIntroLength = 32s;

double Seconds(TClock::duration D) {
  return std::chrono::duration<double>(D).count();
}

class TXdotool {
 public:
  explicit TXdotool(std::string Display) : display_(std::move(Display)) {}
  // Runs xdotool with Args; true when it succeeded.
  bool operator()(std::vector<std::string> Args) const {
    const pid_t pid = fork();
    if (pid == 0) {
      setenv("DISPLAY", display_.c_str(), 1);
      // Window ids from a search are of no use to the log.
      const int quiet = open("/dev/null", O_WRONLY);
      if (quiet >= 0) dup2(quiet, STDOUT_FILENO);
      std::vector<char*> argv{const_cast<char*>(kXdotoolPath)};
      for (std::string& a : Args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(kXdotoolPath, argv.data());
      _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  bool Key(const std::string& Name) const { return (*this)({"key", Name}); }
  bool Move(int X, int Y) const {
    return (*this)({"mousemove", std::to_string(X), std::to_string(Y)});
  }
  bool Click() const { return (*this)({"click", "1"}); }

 private:
  std::string display_;
};

// The game program; killed when the test leaves before it ended.
class TGame {
 public:
  explicit TGame(pid_t Pid) : pid_(Pid) {}
  ~TGame() {
    if (pid_ > 0 && !Ended()) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  TGame(const TGame&) = delete;
  TGame& operator=(const TGame&) = delete;

  bool Ended() {
    if (!ended_ && waitpid(pid_, &status_, WNOHANG) == pid_) ended_ = true;
    return ended_;
  }
  int Status() const { return status_; }

 private:
  pid_t pid_;
  bool ended_ = false;
  int status_ = -1;
};

// A picture of the interface archive, loaded once.
const TPictureOnScreen& Picture(const std::string& Name) {
  static TPictureCollection* archive = [] {
    RegisterDIBGraphicClass();
    auto* p = new TPictureCollection();
    p->LoadFromFile(GameDataDir() + "/graphic/interface.dan");
    return p;
  }();
  static std::map<std::string, TPictureOnScreen> pictures;
  auto it = pictures.find(Name);
  if (it == pictures.end()) it = pictures.emplace(Name, TPictureOnScreen(*archive, Name)).first;
  return it->second;
}

// A button where the game puts it: its pictures, plain and lit (the cursor
// on it lights it), and its top left.
struct TButton {
  std::vector<std::string> Pictures;
  int X = 0, Y = 0;
  int MiddleX() const { return X + Picture(Pictures.front()).Width() / 2; }
  int MiddleY() const { return Y + Picture(Pictures.front()).Height() / 2; }
};

// Keeps Screen as a bitmap file (nothing for a screen that was not read).
void SaveScreen(const TGrabbedScreen& Screen, const std::string& FileName) {
  if (Screen.Pixels.empty()) return;
  TDIB dib;
  dib.SetSize(Screen.Width, Screen.Height, 24);
  for (int y = 0; y < Screen.Height; ++y) {
    uint8_t* row = dib.ScanLine(y);
    for (int x = 0; x < Screen.Width; ++x) {
      const uint32_t p = Screen.At(x, y);
      row[3 * x + 0] = static_cast<uint8_t>(p);
      row[3 * x + 1] = static_cast<uint8_t>(p >> 8);
      row[3 * x + 2] = static_cast<uint8_t>(p >> 16);
    }
  }
  fs::create_directories(fs::path(FileName).parent_path());
  dib.SaveToFile(FileName);
}

// Whether something has held on every look for kSettle.
class TStanding {
 public:
  bool Holds(bool Now) {
    const TClock::time_point t = TClock::now();
    if (Now && !held_) since_ = t;
    held_ = Now;
    return Now && t - since_ >= kSettle;
  }

 private:
  bool held_ = false;
  TClock::time_point since_;
};

// The player's eyes and hands.
class TPlayer {
 public:
  TPlayer(const std::string& Display, TGame& Game)
      : display_(Display), xdo_(Display), game_(Game) {}

  const TXdotool& Xdo() const { return xdo_; }

  TGrabbedScreen Look() const {
    TGrabbedScreen s;
    if (!GrabXScreen(display_, s.Width, s.Height, s.Pixels)) s = TGrabbedScreen{};
    return s;
  }

  void Point(int X, int Y) {
    xdo_.Move(X, Y);
    pointerX_ = X;
    pointerY_ = Y;
  }
  // A click where the pointer is; a click made again first moves the
  // pointer off and back, in case the game missed where it came to rest.
  void Click(bool Again = false) {
    if (Again) {
      xdo_.Move(pointerX_ + 1, pointerY_ + 1);
      xdo_.Move(pointerX_, pointerY_);
    }
    xdo_.Click();
    ++acts_;
  }
  void Key(const std::string& Name) {
    xdo_.Key(Name);
    ++acts_;
  }

  // Picture shows at (X, Y), the game's cursor left out.
  bool Shows(const TGrabbedScreen& Screen, const std::string& Name, int X, int Y) const {
    const TScreenHole cursor{pointerX_, pointerY_, pointerX_ + kCursorSize,
                             pointerY_ + kCursorSize};
    return Picture(Name).Shown(Screen, X, Y, cursor) >= kShownShare;
  }
  // One of the button's pictures shows.
  bool Shows(const TGrabbedScreen& Screen, const TButton& Button) const {
    for (const std::string& p : Button.Pictures)
      if (Shows(Screen, p, Button.X, Button.Y)) return true;
    return false;
  }

  // Looks at the screen until Done, given each look, says the step is over.
  // When the game ends first (unless that is what the step waits for) or
  // the deadline passes, keeps the screen where it got stuck, fails the
  // test naming the step, and returns false.
  bool Step(
      const std::string& Name, const std::function<bool(const TGrabbedScreen&)>& Done,
      bool EndsTheGame = false,
      TClock::duration Deadline = std::chrono::duration_cast<TClock::duration>(kOnlyAHangMisses)) {
    const TClock::time_point start = TClock::now();
    const int actsBefore = acts_;
    TGrabbedScreen screen;
    for (;;) {
      if (EndsTheGame && game_.Ended()) break;
      screen = Look();
      if (!screen.Pixels.empty() && Done(screen)) break;
      if (!EndsTheGame && game_.Ended())
        return Stuck(Name, screen,
                     "the game ended (status " + std::to_string(game_.Status()) + ")");
      if (TClock::now() - start >= Deadline)
        return Stuck(
            Name, screen,
            "nothing came within " + std::to_string(std::lround(Seconds(Deadline))) + " s");
      std::this_thread::sleep_for(kLookEvery);
    }
    std::printf("%-34s %6.2f s, %d clicks or keys\n", Name.c_str(), Seconds(TClock::now() - start),
                acts_ - actsBefore);
    return true;
  }

  // Points at Button, clicks once it stands, and again while it still
  // stands after the click; over when it no longer shows or MovedOn says
  // the next screen has come.
  bool ClickOn(const std::string& Name, const TButton& Button,
               const std::function<bool(const TGrabbedScreen&)>& MovedOn = nullptr,
               bool EndsTheGame = false) {
    Point(Button.MiddleX(), Button.MiddleY());
    TStanding standing;
    bool clicked = false;
    TClock::time_point clickedAt;
    return Step(
        Name,
        [&](const TGrabbedScreen& Screen) {
          const bool shows = Shows(Screen, Button);
          if (clicked && (!shows || (MovedOn && MovedOn(Screen)))) return true;
          if (standing.Holds(shows) && (!clicked || TClock::now() - clickedAt >= kActAgainAfter)) {
            Click(clicked);
            clicked = true;
            clickedAt = TClock::now();
          }
          return false;
        },
        EndsTheGame);
  }

 private:
  bool Stuck(const std::string& Step, const TGrabbedScreen& Screen, const std::string& Why) {
    const std::string file = std::string(TAL_ARTIFACTS_DIR) + "/game_under_x_stuck.bmp";
    SaveScreen(Screen, file);
    ADD_FAILURE() << "stuck at \"" << Step << "\": " << Why << "; the screen is kept as " << file;
    return false;
  }

  std::string display_;
  TXdotool xdo_;
  TGame& game_;
  int pointerX_ = 0, pointerY_ = 0;
  int acts_ = 0;
};

// Where the game puts what the test looks for.
const TButton kNewGame{{"NewGameButton", "NewGameButton_lighted"}, 308, 180};
const TButton kNormal{{"normal", "normal_lighted"}, 275, 282};
const TButton kEpisode1{{"ChooseEpisode1Button", "ChooseEpisode1Button_lighted"}, 310, 250};
// An open mission shows its lit picture whether or not the cursor is on it.
const TButton kMission1{{"mission1lighted"}, 310, 200};
// The pause panel stands in the middle of the screen.
TButton PauseExit() {
  return {{"pausemenuexit", "pausemenuexit_lighted"},
          300,
          300 - Picture("pausemenupanel").Height() / 2 + 122};
}
const TButton kConfirm{{"ays_ok", "ays_ok_lighted"}, 285, 309};
// The lower door once shut, and the banner that waits for the player.
constexpr int kDoorY = 278;
constexpr int kReadyX = 154;
int ReadyY() {
  return 300 - Picture("ready").Height() / 2;
}

// A summary of the screen's pixels from row Top down, to tell when it changes.
uint64_t Fingerprint(const TGrabbedScreen& Screen, int Top) {
  uint64_t h = 1469598103934665603ull;
  for (size_t i = static_cast<size_t>(Top) * static_cast<size_t>(Screen.Width);
       i < Screen.Pixels.size(); ++i)
    h = (h ^ Screen.Pixels[i]) * 1099511628211ull;
  return h;
}

TEST(GameUnderX, PlaysMissionOneWithTheKeyboardAndSavesOnExit) {
  ASSERT_TRUE(fs::exists(GameDataDir() + "/graphic/data.dan")) << "no data folder";
  const std::string xvfb = TXvfbServer::Find();
  if (xvfb.empty()) GTEST_SKIP() << "Xvfb is not installed";
  if (access(kXdotoolPath, X_OK) != 0) GTEST_SKIP() << "xdotool is not installed";

  // The program finds its data and game.INI beside itself, so it is copied
  // into a folder of its own.
  const fs::path folder = fs::temp_directory_path() / ("tal_game_x_" + std::to_string(getpid()));
  fs::remove_all(folder);
  MakeGameFolder(folder.string(), true);
  const TScopeExit removeFolder([&] { fs::remove_all(folder); });
  fs::copy_file(TAL_GAME_PROGRAM, folder / "talgame");
  {
    std::ofstream ini(folder / "game.INI");
    ini << "[Options]\nControls=2\nMusicLevel=0\nSoundFxLevel=5\nBrightness=50\n"
        << "[Keys]\nLeft=37\nRight=39\nPrimary=32\nSecondary=88\n";
  }

  TXvfbServer server;
  ASSERT_TRUE(server.Start(xvfb, "800x600x24")) << "Xvfb did not start";

  const TClock::time_point started = TClock::now();
  const pid_t pid = fork();
  if (pid == 0) {
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
  ASSERT_GT(pid, 0);
  TGame game(pid);
  TPlayer player(server.Display(), game);
  const TXdotool& xdo = player.Xdo();

  ASSERT_TRUE(WaitOnRealClock(
      [&] {
        return game.Ended() || xdo({"search", "--onlyvisible", "--name", "Taloren"});
      },
      kLookEvery))
      << "no game window";
  ASSERT_FALSE(game.Ended()) << "the game ended before its window showed, status " << game.Status();
  // There is no window manager to give the window the keyboard.
  xdo({"search", "--onlyvisible", "--name", "Taloren", "windowfocus", "--sync"});

  // The intro's logos come at 4 and 10 seconds; Esc skips from the second
  // on, so it is pressed until the menu stands (it does nothing there).
  player.Point(kNewGame.MiddleX(), kNewGame.MiddleY());
  {
    TStanding menu;
    TClock::time_point escaped;
    ASSERT_TRUE(player.Step(
        "the intro gives way to the menu",
        [&](const TGrabbedScreen& Screen) {
          if (menu.Holds(player.Shows(Screen, kNewGame))) return true;
          if (TClock::now() - escaped >= 500ms) {
            player.Key("Escape");
            escaped = TClock::now();
          }
          return false;
        },
        false, std::chrono::duration_cast<TClock::duration>(kOnlyAHangMisses + kIntroLength)));
  }
  ASSERT_TRUE(player.ClickOn("new game", kNewGame));
  ASSERT_TRUE(player.ClickOn("normal difficulty", kNormal));
  ASSERT_TRUE(player.ClickOn("episode 1", kEpisode1));
  ASSERT_TRUE(player.ClickOn("mission 1", kMission1));

  // Level complete (the mission's start) and the level's times come behind
  // shut doors, each clicked away once its text is typed; then the banner
  // waits for a click with the doors open, and leaves when play begins.
  player.Point(400, 300);
  {
    TStanding banner;
    uint64_t doorPrint = 0, clickedPrint = 0;
    TClock::time_point doorSince, clickedAt;
    bool doorClicked = false, readyClicked = false;
    ASSERT_TRUE(player.Step("through the doors into play", [&](const TGrabbedScreen& Screen) {
      const TClock::time_point now = TClock::now();
      const bool doors = player.Shows(Screen, "stvorka2", 0, kDoorY);
      const bool ready = !doors && player.Shows(Screen, "ready", kReadyX, ReadyY());
      if (doors) {
        const uint64_t print = Fingerprint(Screen, kDoorY);
        if (print != doorPrint) {
          doorPrint = print;
          doorSince = now;
        } else if (now - doorSince >= kSettle &&
                   (!doorClicked || print != clickedPrint || now - clickedAt >= kActAgainAfter)) {
          player.Click(doorClicked && print == clickedPrint);
          doorClicked = true;
          clickedPrint = print;
          clickedAt = now;
        }
      }
      if (banner.Holds(ready) && (!readyClicked || now - clickedAt >= kActAgainAfter)) {
        player.Click(readyClicked);
        readyClicked = true;
        clickedAt = now;
      }
      return readyClicked && !ready && !doors && Screen.Lit() > 0.05;
    }));
  }

  xdo({"type", "--delay", "80", "kqfxczb"});
  // How long a key is held is the player's choice, not a wait for the screen.
  xdo({"keydown", "space"});
  xdo({"keydown", "Right"});
  std::this_thread::sleep_for(1500ms);
  xdo({"keyup", "Right"});
  xdo({"keydown", "Left"});
  std::this_thread::sleep_for(1500ms);
  xdo({"keyup", "Left"});
  const TGrabbedScreen play = player.Look();
  const std::string shot = std::string(TAL_ARTIFACTS_DIR) + "/game_under_x.bmp";
  ASSERT_FALSE(play.Pixels.empty()) << "the screen of play cannot be read";
  SaveScreen(play, shot);
  EXPECT_GT(play.Lit(), 0.05) << "the screen of play is black: " << shot;
  xdo({"keyup", "space"});

  // Pause, leave, confirm.
  const TButton exit = PauseExit();
  player.Point(exit.MiddleX(), exit.MiddleY());
  {
    TStanding menu;
    TClock::time_point pressed;
    bool once = false;
    ASSERT_TRUE(player.Step("pause", [&](const TGrabbedScreen& Screen) {
      const bool shows = player.Shows(Screen, exit);
      if (menu.Holds(shows)) return true;
      // Esc again only once the first had time to show the menu: a second
      // one on a menu that is coming would close it.
      if (!shows && (!once || TClock::now() - pressed >= kActAgainAfter)) {
        player.Key("Escape");
        once = true;
        pressed = TClock::now();
      }
      return false;
    }));
  }
  ASSERT_TRUE(player.ClickOn(
      "leave", exit, [&](const TGrabbedScreen& Screen) { return player.Shows(Screen, kConfirm); }));
  ASSERT_TRUE(player.ClickOn("confirm", kConfirm, nullptr, true));

  const TClock::time_point confirmed = TClock::now();
  if (!WaitOnRealClock([&] { return game.Ended(); }, kLookEvery)) {
    SaveScreen(player.Look(), std::string(TAL_ARTIFACTS_DIR) + "/game_under_x_stuck.bmp");
    FAIL() << "the game did not end after the exit was confirmed";
  }
  std::printf("%-34s %6.2f s\n", "the game ends", Seconds(TClock::now() - confirmed));
  std::printf("%-34s %6.2f s\n", "the whole game", Seconds(TClock::now() - started));
  EXPECT_TRUE(WIFEXITED(game.Status()) && WEXITSTATUS(game.Status()) == 0)
      << "status " << game.Status();

  // game.INI was written on the way out, keeping the keyboard.
  TIniFile ini((folder / "game.INI").string());
  EXPECT_EQ(ini.ReadString("Options", "Controls", ""), "2");
  EXPECT_NE(ini.ReadString("User", "Status", ""), "");
  EXPECT_NE(ini.ReadString("Table", "s1", ""), "");
}

}  // namespace
