// The real setup program in a window of a virtual X server, driven with
// xdotool as a user would, beside a fake game that records how it was
// started.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "framework/scope_exit.h"
#include "game/options/game_options.h"
#include "platform/backend/sdl/sdl_ending.h"
#include "platform/backend/sdl/xvfb_server.h"
#include "platform/win/process.h"
#include "platform/win/user_seam.h"
#include "setup/options_dialog.h"
#include "setup/setup_test_util.h"
#include "setup/testprog/x_screenshot.h"
#include "tests/main/real_clock.h"

using namespace setup_test;

namespace {

std::string Shell(const std::string& Command) {
  std::string out;
  if (FILE* p = popen(Command.c_str(), "r")) {
    char buf[256];
    while (std::fgets(buf, sizeof buf, p)) out += buf;
    pclose(p);
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

// Where the dialog's controls are: the same forms, laid out headless.
struct TLayout {
  TPoint MainTab, GraphicTab, ControlsTab, Thumb, Splinters, ConfigureKeys, SaveAndStart;
};

TLayout DialogLayout(const std::string& Folder) {
  THeadlessSetup headless;
  TApplicationScope app;
  SetProgramFolder(Folder + "/");
  CreateSetupForms();
  auto centre = [](TControl* c) {
    return c->ClientToWindow(TPoint{c->Width() / 2, c->Height() / 2});
  };
  auto tab = [](int i) {
    TRect r = Form1->PageControl1->TabRect(i);
    return Form1->PageControl1->ClientToWindow(
        TPoint{(r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2});
  };
  TLayout l;
  l.MainTab = tab(0);
  l.GraphicTab = tab(1);
  l.ControlsTab = tab(3);
  // The thumb is placed when the bar is painted.
  Form1->Show();
  Form1->PageControl1->SetActivePage(Form1->TabSheet2);
  Pump();
  const TRect t = Form1->CoolTrackBar1->ThumbRect();
  l.Thumb =
      Form1->CoolTrackBar1->ClientToWindow(TPoint{(t.Left + t.Right) / 2, (t.Top + t.Bottom) / 2});
  l.Splinters = centre(Form1->BitBtn4);
  l.ConfigureKeys = centre(Form1->BitBtn8);
  l.SaveAndStart = centre(Form1->BitBtn1);
  SetProgramFolder("");
  return l;
}

// What one run of the program under X gave; Ran is false when the X side
// let the run down (the server, a window that went, a busy machine).
struct TOutcome {
  bool Ran = false;
  std::string Why;
  bool Screenshot = false;
  TOptionValues Values{};
  bool IniInCurrent = false;
  std::string Record, Programs, Current;
};

TOutcome RunOnce(const std::string& Xvfb, const std::string& Root, const TLayout& At) {
  TOutcome out;
  const std::string programs = Root + "/programs", current = Root + "/current";
  std::filesystem::create_directories(programs);
  std::filesystem::create_directories(current);
  std::filesystem::copy_file(TAL_SETUP_PROGRAM, programs + "/talsetup");
  std::filesystem::copy_file(TAL_FAKE_PROGRAM, programs + "/talgame");
  const std::string record = Root + "/record";
  out.Programs = programs;
  out.Current = current;

  TXvfbServer server;
  if (!server.Start(Xvfb, "1024x768x24")) {
    out.Why = "Xvfb did not start";
    return out;
  }
  setenv("DISPLAY", server.Display().c_str(), 1);
  setenv("SDL_VIDEODRIVER", "x11", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  setenv("TAL_FAKE_RECORD", record.c_str(), 1);
  // X's client libraries keep what they allocate for the process's life.
  setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
  PROCESS_INFORMATION pi;
  STARTUPINFOA si;
  bool started = CreateProcessA(nullptr, (programs + "/talsetup").c_str(), FALSE, 0,
                                current.c_str(), &si, &pi);
  unsetenv("ASAN_OPTIONS");
  unsetenv("TAL_FAKE_RECORD");
  if (!started) {
    out.Why = "talsetup did not start";
    return out;
  }

  // A search can trip over a window that goes while it looks (SDL makes
  // and drops some at start): look again until the dialog is there.
  std::string window;
  for (int i = 0; i < 240 && window.empty(); ++i) {
    window = Shell("xdotool search --onlyvisible --name 'Setup programm' 2>/dev/null | head -1");
    if (window.empty()) usleep(250000);
  }
  auto click = [&](TPoint p) {
    Shell("xdotool mousemove --window " + window + " " + std::to_string(p.X) + " " +
          std::to_string(p.Y) + " click 1 sleep 0.3 2>/dev/null");
  };
  auto keys = [&](const std::string& Names) {
    Shell("xdotool key --delay 150 " + Names + " 2>/dev/null");
  };
  if (!window.empty()) {
    // Without a window manager nobody gives the window the keyboard; the
    // first click on a window that is not focused only focuses it.
    Shell("xdotool windowfocus --sync " + window + " 2>/dev/null");
    click(At.MainTab);
    click(At.GraphicTab);
    click(At.Thumb);  // takes the focus, moves nothing
    // End takes the bar to its maximum: a key the server repeats on a busy
    // machine gives the same result.
    keys("End");
    click(At.Splinters);  // High -> Off
    Shell("sleep 1");
    const std::string artifacts = std::string(TAL_BIN_DIR) + "/../artifacts";
    std::filesystem::create_directories(artifacts);
    out.Screenshot =
        XWindowScreenshot(server.Display(), std::stoul(window), artifacts + "/talsetup.png");
    click(At.ControlsTab);
    click(At.ConfigureKeys);
    keys("a d space Shift_L");
    click(At.SaveAndStart);
  }
  // The dialog closes itself once the game is on its way.
  bool ended = false;
  for (int i = 0; i < 600 && !ended; ++i)
    ended = WaitForSingleObject(pi.hProcess, 100) == WAIT_OBJECT_0;
  if (!ended) {
    kill(static_cast<pid_t>(pi.dwProcessId), SIGKILL);
    WaitForSingleObject(pi.hProcess, INFINITE);
  }
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  if (window.empty() || !ended || code != 0 || !out.Screenshot) {
    out.Why = window.empty() ? "the dialog did not show"
              : !ended       ? "the setup did not end"
              : code != 0    ? "the setup ended with " + std::to_string(code)
                             : "no screenshot";
    return out;
  }
  out.Ran = true;
  out.Values = ReadOptionValues(programs + "/game.INI");
  out.IniInCurrent = std::filesystem::exists(current + "/game.INI");
  // The game records itself once it runs.
  WaitOnRealClock([&] {
    out.Record = ReadAll(record);
    return out.Record.find("mark=") != std::string::npos;
  });
  return out;
}

TEST(SetupUnderX, AUserChangesOptionsConfiguresKeysAndStartsTheGame) {
  const std::string xvfb = TXvfbServer::Find();
  if (xvfb.empty()) GTEST_SKIP() << "Xvfb is not installed";
  if (Shell("command -v xdotool").empty()) GTEST_SKIP() << "xdotool is not installed";
  TScratchDir dir;
  const TLayout at = DialogLayout(dir.Path());
  // On a loaded machine the X side may let a run down; what the program
  // does is checked on a run that went through.
  TOutcome out;
  for (int attempt = 1; attempt <= 3 && !out.Ran; ++attempt) {
    out = RunOnce(xvfb, dir.File("run" + std::to_string(attempt)), at);
    if (!out.Ran) std::fprintf(stderr, "run %d: %s\n", attempt, out.Why.c_str());
  }
  ASSERT_TRUE(out.Ran) << out.Why;
  const TOptionValues& v = out.Values;
  EXPECT_EQ(v[okBrightness], 100);
  EXPECT_EQ(v[okSplinters], 0);
  EXPECT_EQ(v[okLeft], 'A');
  EXPECT_EQ(v[okRight], 'D');
  EXPECT_EQ(v[okPrimary], 32);
  EXPECT_EQ(v[okSecondary], 16);
  EXPECT_FALSE(out.IniInCurrent);
  EXPECT_EQ(out.Record, "exe=" + std::filesystem::canonical(out.Programs + "/talgame").string() +
                            "\ncwd=" + std::filesystem::canonical(out.Current).string() +
                            "\nargc=0\nfds=3\nmark=\n");
}

// The box that says the game could not be started, as a user meets it: the
// real setup program, with no game beside it, shows a real box (the test
// lets this one through). Its long line is wrapped, the box stays whole on
// the screen and centred across it, and Enter closes it.
constexpr const char* kNoFonts = "the X server has no fonts to draw a box with";

struct TBoxOutcome {
  bool Ran = false;
  std::string Why;
  int X = 0, Y = 0, Width = 0, Height = 0;
  bool Screenshot = false, Closed = false;
};

TBoxOutcome ShowStartFailure(const std::string& Xvfb, const std::string& Root, const TLayout& At) {
  TBoxOutcome out;
  const std::string programs = Root + "/programs";
  std::filesystem::create_directories(programs);
  std::filesystem::copy_file(TAL_SETUP_PROGRAM, programs + "/talsetup");

  TXvfbServer server;
  if (!server.Start(Xvfb, "1024x768x24")) {
    out.Why = "Xvfb did not start";
    return out;
  }
  if (!XHasCoreFonts(server.Display())) {
    out.Why = kNoFonts;
    return out;
  }
  setenv("DISPLAY", server.Display().c_str(), 1);
  setenv("SDL_VIDEODRIVER", "x11", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
  const std::string recorded = std::getenv(kMessageBoxesVariable) ? kMessageBoxesRecorded : "";
  unsetenv(kMessageBoxesVariable);
  PROCESS_INFORMATION pi;
  STARTUPINFOA si;
  const bool started = CreateProcessA(nullptr, (programs + "/talsetup").c_str(), FALSE, 0,
                                      programs.c_str(), &si, &pi);
  if (!recorded.empty()) setenv(kMessageBoxesVariable, recorded.c_str(), 1);
  unsetenv("ASAN_OPTIONS");
  if (!started) {
    out.Why = "talsetup did not start";
    return out;
  }
  TScopeExit end([&] {
    kill(static_cast<pid_t>(pi.dwProcessId), SIGKILL);
    WaitForSingleObject(pi.hProcess, INFINITE);
    CloseHandle(pi.hProcess);
  });

  std::string dialog;
  for (int i = 0; i < 240 && dialog.empty(); ++i) {
    dialog =
        Shell("xdotool search --onlyvisible --name 'ostrime Setup programm' 2>/dev/null | head -1");
    if (dialog.empty()) usleep(250000);
  }
  if (dialog.empty()) {
    out.Why = "the dialog did not show";
    return out;
  }
  Shell("xdotool windowfocus --sync " + dialog + " 2>/dev/null");
  const std::string click = "xdotool mousemove --window " + dialog + " " +
                            std::to_string(At.SaveAndStart.X) + " " +
                            std::to_string(At.SaveAndStart.Y) + " click 1 2>/dev/null";
  // The box's caption is the application's title.
  const std::string caption = "Taloren Setup programm";
  XTopWindow box;
  bool shown = false;
  // The first click on a window without the focus may only focus it.
  for (int i = 0; i < 120 && !shown; ++i) {
    if (i % 20 == 0) Shell(click);
    shown = XFindTopWindow(server.Display(), caption, box);
    if (!shown) usleep(250000);
  }
  if (!shown) {
    out.Why = "no box showed";
    return out;
  }
  out.X = box.X;
  out.Y = box.Y;
  out.Width = box.Width;
  out.Height = box.Height;
  Shell("sleep 1");
  const std::string artifacts = std::string(TAL_BIN_DIR) + "/../artifacts";
  std::filesystem::create_directories(artifacts);
  out.Screenshot = XWindowScreenshot(server.Display(), 0, artifacts + "/talsetup-start-failed.png");
  Shell("xdotool windowfocus --sync " + std::to_string(box.Id) + " key Return 2>/dev/null");
  for (int i = 0; i < 80 && !out.Closed; ++i) {
    out.Closed = !XFindTopWindow(server.Display(), caption, box);
    if (!out.Closed) usleep(250000);
  }
  out.Ran = out.Width > 0;
  if (!out.Ran) out.Why = "the box had no size";
  return out;
}

TEST(SetupUnderX, TheBoxSayingTheGameCouldNotStartIsWholeOnTheScreen) {
  const std::string xvfb = TXvfbServer::Find();
  if (xvfb.empty()) GTEST_SKIP() << "Xvfb is not installed";
  if (Shell("command -v xdotool").empty()) GTEST_SKIP() << "xdotool is not installed";
  TScratchDir dir;
  const TLayout at = DialogLayout(dir.Path());
  TBoxOutcome out;
  for (int attempt = 1; attempt <= 3 && !out.Ran && out.Why != kNoFonts; ++attempt) {
    out = ShowStartFailure(xvfb, dir.File("box" + std::to_string(attempt)), at);
    if (!out.Ran) std::fprintf(stderr, "run %d: %s\n", attempt, out.Why.c_str());
  }
  // The project's set-up installs them; a machine without cannot show boxes.
  if (out.Why == kNoFonts) GTEST_SKIP() << out.Why;
  ASSERT_TRUE(out.Ran) << out.Why;
  EXPECT_TRUE(out.Screenshot);
  EXPECT_GE(out.X, 0);
  EXPECT_GE(out.Y, 0);
  EXPECT_LE(out.X + out.Width, 1024) << "the box runs off the right edge";
  EXPECT_LE(out.Y + out.Height, 768);
  EXPECT_LE(out.Width, 600) << "the line is not wrapped";
  EXPECT_NEAR(out.X + out.Width / 2, 512, 2) << "the box is not centred";
  EXPECT_TRUE(out.Closed) << "Enter did not close the box";
}

// The real setup program on a virtual X server with a real box up, waiting
// for its answer: the box that says what game.INI lacks, before the dialog
// shows. Its standard error goes to a file.
struct TWaitingBox {
  static constexpr const char* kIni = "[Options]\nUDI=0\n";
  static constexpr const char* kCaption = "Taloren Setup programm";
  TScratchDir Dir;
  TXvfbServer Server;
  PROCESS_INFORMATION Process{};
  bool Started = false;
  ~TWaitingBox() {
    if (!Started) return;
    kill(static_cast<pid_t>(Process.dwProcessId), SIGKILL);
    WaitForSingleObject(Process.hProcess, INFINITE);
    CloseHandle(Process.hProcess);
  }
  std::string Stderr() const { return ReadAll(Dir.File("stderr.txt")); }
  bool BoxShown() {
    XTopWindow box;
    return XFindTopWindow(Server.Display(), kCaption, box);
  }
  // Waits, with a deadline only a hang misses, for the program to end by
  // itself, and prints how long it took from Since; its exit code, or -1.
  int64_t WaitForTheEnd(std::chrono::steady_clock::time_point Since) {
    const bool ended = WaitForSingleObject(Process.hProcess, 60000) == WAIT_OBJECT_0;
    std::printf("the program ended after %.2f s\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - Since).count());
    DWORD code = 0;
    return ended && GetExitCodeProcess(Process.hProcess, &code) ? int64_t{code} : -1;
  }
};

// The caller checks HasFatalFailure() || IsSkipped() afterwards.
void ShowAWaitingBox(TWaitingBox& Box) {
  const std::string xvfb = TXvfbServer::Find();
  if (xvfb.empty()) GTEST_SKIP() << "Xvfb is not installed";
  std::filesystem::copy_file(TAL_SETUP_PROGRAM, Box.Dir.File("talsetup"));
  WriteAll(Box.Dir.File("game.INI"), TWaitingBox::kIni);
  ASSERT_TRUE(Box.Server.Start(xvfb, "1024x768x24")) << "Xvfb did not start";
  if (!XHasCoreFonts(Box.Server.Display())) GTEST_SKIP() << kNoFonts;
  setenv("DISPLAY", Box.Server.Display().c_str(), 1);
  setenv("SDL_VIDEODRIVER", "x11", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  setenv("ASAN_OPTIONS", "detect_leaks=0:abort_on_error=1", 1);
  // The box is a real one.
  const std::string recorded = std::getenv(kMessageBoxesVariable) ? kMessageBoxesRecorded : "";
  unsetenv(kMessageBoxesVariable);
  // The program's standard error is the test's while it starts.
  const int err = open(Box.Dir.File("stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int testErr = dup(STDERR_FILENO);
  dup2(err, STDERR_FILENO);
  STARTUPINFOA si;
  Box.Started = CreateProcessA(nullptr, Box.Dir.File("talsetup").c_str(), FALSE, 0,
                               Box.Dir.Path().c_str(), &si, &Box.Process);
  dup2(testErr, STDERR_FILENO);
  close(testErr);
  close(err);
  if (!recorded.empty()) setenv(kMessageBoxesVariable, recorded.c_str(), 1);
  unsetenv("ASAN_OPTIONS");
  ASSERT_TRUE(Box.Started);
  bool shown = false;
  for (int i = 0; i < 240 && !shown; ++i) {
    shown = Box.BoxShown();
    if (!shown) usleep(250000);
  }
  ASSERT_TRUE(shown) << "no box showed\n" << Box.Stderr();
}

// A signal (`kill`, a logout) while a box waits for its answer: the box goes
// and the program ends by itself, as it would without the box, with game.INI
// as it was. The deadline is one only a hang misses; the time is printed.
TEST(SetupUnderX, ASignalEndsTheProgramWhileABoxWaits) {
  TWaitingBox box;
  ShowAWaitingBox(box);
  if (HasFatalFailure() || IsSkipped()) return;
  kill(static_cast<pid_t>(box.Process.dwProcessId), SIGTERM);
  const int64_t code = box.WaitForTheEnd(std::chrono::steady_clock::now());
  ASSERT_NE(code, -1) << "the program waits for the box\n" << box.Stderr();
  EXPECT_EQ(code, 0) << box.Stderr();
  EXPECT_FALSE(box.BoxShown()) << "the box stayed";
  EXPECT_EQ(ReadAll(box.Dir.File("game.INI")), TWaitingBox::kIni);
}

// The display goes while a box waits: the box's own connection breaks with
// the program's, and the program alone says so, once. It ends by itself
// with the failure status, acting on no answer, so game.INI is as it was.
TEST(SetupUnderX, LosingTheDisplayWhileABoxWaitsIsSaidOnce) {
  TWaitingBox box;
  ShowAWaitingBox(box);
  if (HasFatalFailure() || IsSkipped()) return;
  box.Server.Stop();
  const int64_t code = box.WaitForTheEnd(std::chrono::steady_clock::now());
  const std::string err = box.Stderr();
  ASSERT_NE(code, -1) << "the program did not end\n" << err;
  EXPECT_EQ(code, kDisplayLostStatus) << err;
  const std::string said = "The display went away";
  const size_t first = err.find(said);
  ASSERT_NE(first, std::string::npos) << err;
  EXPECT_EQ(err.find(said, first + 1), std::string::npos) << "said more than once:\n" << err;
  EXPECT_EQ(ReadAll(box.Dir.File("game.INI")), TWaitingBox::kIni);
}

}  // namespace
