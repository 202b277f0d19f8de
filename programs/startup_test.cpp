// The real programs started as a user or a launcher starts them. Where they
// cannot start: over a damaged install the game names the archive, says
// whether it is missing or damaged, shows no window and ends with a failure
// status; there they run on SDL's dummy video driver, or none. And on a
// virtual X server, told to end from outside: by a signal, or by losing the
// display. Boxes return at once and are printed to stderr.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "framework/scope_exit.h"
#include "platform/backend/sdl/sdl_ending.h"
#include "platform/backend/sdl/xvfb_server.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string ReadFile(const fs::path& File) {
  std::ifstream in(File, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& File, const std::string& Bytes) {
  fs::remove(File);
  std::ofstream(File, std::ios::binary) << Bytes;
}

// The lines of stderr that are message boxes ("[caption] text").
std::vector<std::string> Boxes(const std::string& Stderr) {
  std::vector<std::string> boxes;
  std::istringstream lines(Stderr);
  for (std::string line; std::getline(lines, line);)
    if (line.rfind('[', 0) == 0) boxes.push_back(line);
  return boxes;
}

struct TRun {
  bool Ended = false;
  int Status = -1;  // the exit status, or -1 when the program did not exit
  int Signal = 0;   // the signal that ended it, or 0
  std::string Stderr;
};

// Starts the program in Folder, with its stderr in Folder/stderr.txt.
// Display is the X display it shows on, "" for none; Driver the SDL video
// driver asked for, "" for none.
pid_t StartProgram(const fs::path& Program, const fs::path& Folder, const std::string& Display,
                   const char* Driver) {
  const fs::path err = Folder / "stderr.txt";
  const pid_t pid = fork();
  if (pid == 0) {
    if (!freopen(err.c_str(), "w", stderr) || chdir(Folder.c_str()) != 0) _exit(126);
    // A box is answered at once, as under every test (the switch is
    // inherited), and written to stderr in UTF-8.
    unsetenv("WAYLAND_DISPLAY");
    if (!Display.empty())
      setenv("DISPLAY", Display.c_str(), 1);
    else
      unsetenv("DISPLAY");
    if (*Driver)
      setenv("SDL_VIDEODRIVER", Driver, 1);
    else
      unsetenv("SDL_VIDEODRIVER");
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    // Started as from a terminal, whatever the test's own start ignored.
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    // A sanitizer's finding must not pass for the program's own status. The
    // X and bus libraries keep their start-up allocations for good.
    setenv("ASAN_OPTIONS",
           Display.empty() ? "detect_leaks=1:abort_on_error=1" : "detect_leaks=0:abort_on_error=1",
           1);
    setenv("UBSAN_OPTIONS", "print_stacktrace=1:halt_on_error=1:abort_on_error=1", 1);
    execl(Program.c_str(), Program.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

// Waits up to Limit for the program to end; one still running then is
// killed and counts as not ended.
TRun WaitForProgram(pid_t Pid, const fs::path& Folder, std::chrono::seconds Limit) {
  TRun run;
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + Limit;
  while (!(run.Ended = waitpid(Pid, &status, WNOHANG) == Pid) &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(10ms);
  if (!run.Ended) {
    kill(Pid, SIGKILL);
    waitpid(Pid, &status, 0);
  }
  if (WIFEXITED(status)) run.Status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) run.Signal = WTERMSIG(status);
  run.Stderr = ReadFile(Folder / "stderr.txt");
  return run;
}

// Starts the program without a display and waits for it, generously: a
// start-up that fails takes a second or two on a loaded machine.
TRun RunProgram(const fs::path& Program, const fs::path& Folder, const char* Driver) {
  return WaitForProgram(StartProgram(Program, Folder, "", Driver), Folder, 120s);
}

enum TDamage { dmMissing, dmEmpty, dmHalf, dmGarbage, dmOtherPictures };

TEST(ProgramsStartUp, ADamagedOrMissingArchiveIsNamedAndTheGameFails) {
  const fs::path data = fs::path(TAL_BIN_DIR) / "data";
  ASSERT_TRUE(fs::exists(data / "graphic" / "data.dan")) << "no data folder";
  const fs::path folder = fs::temp_directory_path() / ("tal_startup_" + std::to_string(getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  // The program finds its data beside its own file, so it is copied.
  fs::copy_file(TAL_GAME_PROGRAM, folder / "talgame");

  const std::string missing = "Не найден файл \"", damaged = "Повреждён файл \"";
  const struct {
    const char* Archive;
    TDamage Damage;
    std::string Box;
  } cases[] = {
      {"bg.dan", dmMissing, missing + "bg.dan\" !!!"},
      {"data.dan", dmEmpty, damaged + "data.dan\" !!!"},
      {"models.dan", dmHalf, damaged + "models.dan\" !!!"},
      {"weapons.dan", dmGarbage, damaged + "weapons.dan\" !!!"},
      // An archive that reads but lacks the pictures the game asks for.
      {"data.dan", dmOtherPictures, "Image 'cursor_image_v1_1' not found"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.Archive) + " damage " + std::to_string(c.Damage));
    // A fresh copy of the data folder, the archives linked, one doctored.
    fs::remove_all(folder / "data");
    for (const char* sub : {"graphic", "sound", "music"}) {
      fs::create_directories(folder / "data" / sub);
      for (const auto& e : fs::directory_iterator(data / sub))
        fs::create_symlink(e.path(), folder / "data" / sub / e.path().filename());
    }
    const fs::path archive = folder / "data" / "graphic" / c.Archive;
    const std::string whole = ReadFile(archive);
    switch (c.Damage) {
      case dmMissing:
        fs::remove(archive);
        break;
      case dmEmpty:
        WriteFile(archive, "");
        break;
      case dmHalf:
        WriteFile(archive, whole.substr(0, whole.size() / 2));
        break;
      case dmGarbage: {
        std::minstd_rand random(31);
        std::string bytes(whole.size(), '\0');
        for (char& b : bytes) b = static_cast<char>(random());
        WriteFile(archive, bytes);
        break;
      }
      case dmOtherPictures:
        WriteFile(archive, ReadFile(data / "graphic" / "fx.dan"));
        break;
    }

    const TRun run = RunProgram(folder / "talgame", folder, "dummy");
    ASSERT_TRUE(run.Ended) << "the program did not end\n" << run.Stderr;
    EXPECT_EQ(run.Status, 1) << run.Stderr;
    // Only the one box: no window came up after it, so no other.
    EXPECT_EQ(Boxes(run.Stderr), std::vector<std::string>{"[Taloren: Ostrime] " + c.Box})
        << run.Stderr;
  }
  fs::remove_all(folder);
}

// With no display SDL would draw off screen, and the program would run where
// nobody can see or close it.
TEST(ProgramsStartUp, WithoutADisplayNeitherProgramStarts) {
  const fs::path folder =
      fs::temp_directory_path() / ("tal_no_display_" + std::to_string(getpid()));
  fs::create_directories(folder);
  for (const char* program : {TAL_GAME_PROGRAM, TAL_SETUP_PROGRAM}) {
    SCOPED_TRACE(program);
    const TRun run = RunProgram(program, folder, "");
    ASSERT_TRUE(run.Ended) << "the program did not end\n" << run.Stderr;
    EXPECT_EQ(run.Status, 1) << run.Stderr;
    EXPECT_NE(run.Stderr.find("The program needs a display to run."), std::string::npos)
        << run.Stderr;
  }
  fs::remove_all(folder);
}

// ---- Ended from outside -----------------------------------------------------

bool HaveXdotool() {
  return std::system("command -v xdotool >/dev/null 2>&1") == 0;
}

std::vector<std::string> FolderEntries(const fs::path& Folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(Folder)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// A game.INI that either program reads whole, and that neither writes back
// as it stands: a save would write RocketSmoke as 1, and the game's would
// add its progress.
constexpr const char* kIni =
    "[Options]\nUDI=0\nFPS=0\nRocketSmoke=5\nBrightness=50\nSoundFxLevel=5\nMusicLevel=5\n"
    "RadioVoxLevel=5\nChannels=1\nSplinters=2\nControls=1\nBumpiness=1\n"
    "[Keys]\nLeft=37\nRight=39\nPrimary=32\nSecondary=88\n";

struct TEnding {
  bool Ran = false;  // false (with Why) when the program never came up
  std::string Why;
  TRun Run;
  double Seconds = 0;                      // from being told to the end
  std::string Ini;                         // game.INI afterwards
  std::vector<std::string> Before, After;  // the folder's entries
};

constexpr int kDisplayGoes = 0;

// Installs Program in a folder of its own as it ships (the game with its
// data and audio library beside it) with kIni, runs it on a virtual X server
// until its window shows and a while after, then ends it from outside: How
// is a signal, or kDisplayGoes for the X server ending. Measures how long the
// program takes to end, waiting generously.
TEnding EndFromOutside(const std::string& Xvfb, const char* Program, int How) {
  TEnding out;
  const fs::path folder = fs::temp_directory_path() /
                          ("tal_ending_" + std::to_string(getpid()) + "_" + std::to_string(How));
  fs::remove_all(folder);
  fs::create_directories(folder);
  const TScopeExit clean([&] { fs::remove_all(folder); });
  const fs::path program = folder / fs::path(Program).filename();
  fs::copy_file(Program, program);
  if (program.filename() == "talgame") {
    for (const char* shipped : {"data", "libbass.so", "libbasswma.so"})
      fs::create_symlink(fs::path(TAL_BIN_DIR) / shipped, folder / shipped);
  }
  WriteFile(folder / "game.INI", kIni);
  // The program's stderr is among what it leaves.
  std::ofstream(folder / "stderr.txt").flush();
  out.Before = FolderEntries(folder);

  TXvfbServer server;
  if (!server.Start(Xvfb, "800x600x24")) {
    out.Why = "Xvfb did not start";
    return out;
  }
  const pid_t pid = StartProgram(program, folder, server.Display(), "x11");
  // Under the sanitizers on a loaded machine the game takes a while to start.
  bool shown = false;
  const auto deadline = std::chrono::steady_clock::now() + 90s;
  while (!shown && std::chrono::steady_clock::now() < deadline &&
         waitpid(pid, nullptr, WNOHANG) == 0) {
    shown = std::system(("DISPLAY=" + server.Display() +
                         " xdotool search --onlyvisible --name Taloren >/dev/null 2>&1")
                            .c_str()) == 0;
    if (!shown) std::this_thread::sleep_for(250ms);
  }
  if (!shown) {
    out.Run = WaitForProgram(pid, folder, 0s);
    out.Why = "no window showed\n" + out.Run.Stderr;
    return out;
  }
  // Into its loop; the game on into its intro's music, which starts at 4 s.
  std::this_thread::sleep_for(program.filename() == "talgame" ? 5s : 1s);
  // The clock starts when the signal is sent, or when the server has ended
  // (how long the server itself takes to go is not the program's doing).
  if (How == kDisplayGoes)
    server.Stop();
  else
    kill(pid, How);
  const auto told = std::chrono::steady_clock::now();
  out.Run = WaitForProgram(pid, folder, 60s);
  out.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - told).count();
  out.Ran = true;
  out.Ini = ReadFile(folder / "game.INI");
  out.After = FolderEntries(folder);
  return out;
}

// SIGINT and SIGTERM end either program at once, asking nothing: no box,
// and not the setup's "save options?" prompt, which would wait for a click.
// What a loaded machine cannot stretch is asserted: that the program ended
// by itself (the wait for it is one only a hang misses). How long it took is
// printed.
// Nothing the user did not confirm is saved (the setup keeps its options at
// "Save", the game its options and records at the player's leaving), so
// game.INI is as it was and nothing else is left beside it.
TEST(ProgramsEnding, ASignalEndsEitherProgramAtOnceSavingNothingUnasked) {
  const std::string xvfb = TXvfbServer::Find();
  if (xvfb.empty()) GTEST_SKIP() << "Xvfb is not installed";
  if (!HaveXdotool()) GTEST_SKIP() << "xdotool is not installed";
  for (const char* program : {TAL_GAME_PROGRAM, TAL_SETUP_PROGRAM}) {
    for (int which : {SIGTERM, SIGINT}) {
      SCOPED_TRACE(std::string(program) + " signal " + std::to_string(which));
      const TEnding end = EndFromOutside(xvfb, program, which);
      ASSERT_TRUE(end.Ran) << end.Why;
      ASSERT_TRUE(end.Run.Ended) << "the program did not end\n" << end.Run.Stderr;
      std::printf("ended %.2f s after the signal\n", end.Seconds);
      EXPECT_EQ(end.Run.Status, 0) << "signal " << end.Run.Signal << "\n" << end.Run.Stderr;
      EXPECT_EQ(Boxes(end.Run.Stderr), std::vector<std::string>{}) << end.Run.Stderr;
      EXPECT_EQ(end.Ini, kIni);
      EXPECT_EQ(end.After, end.Before);
    }
  }
}

// The X server goes away under either program: it says so and ends at once
// with a failure status, by itself, not by a crash or an abort, and without
// spinning on for want of a display (within a deadline only a hang misses;
// the time is printed). game.INI is as it was.
TEST(ProgramsEnding, LosingTheDisplayEndsEitherProgramWithAFailureNotACrash) {
  const std::string xvfb = TXvfbServer::Find();
  if (xvfb.empty()) GTEST_SKIP() << "Xvfb is not installed";
  if (!HaveXdotool()) GTEST_SKIP() << "xdotool is not installed";
  for (const char* program : {TAL_GAME_PROGRAM, TAL_SETUP_PROGRAM}) {
    SCOPED_TRACE(program);
    const TEnding end = EndFromOutside(xvfb, program, kDisplayGoes);
    ASSERT_TRUE(end.Ran) << end.Why;
    ASSERT_TRUE(end.Run.Ended) << "the program did not end\n" << end.Run.Stderr;
    EXPECT_EQ(end.Run.Signal, 0) << end.Run.Stderr;
    EXPECT_EQ(end.Run.Status, kDisplayLostStatus) << end.Run.Stderr;
    std::printf("ended %.2f s after the display went\n", end.Seconds);
    EXPECT_NE(end.Run.Stderr.find("The display went away"), std::string::npos) << end.Run.Stderr;
    EXPECT_EQ(Boxes(end.Run.Stderr), std::vector<std::string>{}) << end.Run.Stderr;
    EXPECT_EQ(end.Ini, kIni);
    EXPECT_EQ(end.After, end.Before);
  }
}

}  // namespace
