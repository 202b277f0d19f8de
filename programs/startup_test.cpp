// The real programs started as a user or a launcher starts them, where they
// cannot start. Over a damaged install the game names the archive, says
// whether it is missing or damaged, shows no window and ends with a failure
// status. They run on SDL's dummy video driver, or none, whose boxes return
// at once and are printed to stderr.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

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
  std::string Stderr;
};

// Starts the program without a display and waits for it, generously: a
// start-up that fails takes a second or two on a loaded machine. Driver is
// the SDL video driver asked for, "" for none.
TRun RunProgram(const fs::path& Program, const fs::path& Folder, const char* Driver) {
  const fs::path err = Folder / "stderr.txt";
  const pid_t pid = fork();
  if (pid == 0) {
    if (!freopen(err.c_str(), "w", stderr) || chdir(Folder.c_str()) != 0) _exit(126);
    // No display; a box is answered at once, as under every test (the
    // switch is inherited), and written to stderr in UTF-8.
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    if (*Driver)
      setenv("SDL_VIDEODRIVER", Driver, 1);
    else
      unsetenv("SDL_VIDEODRIVER");
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    // A sanitizer's finding must not pass for the program's own status.
    setenv("ASAN_OPTIONS", "detect_leaks=1:abort_on_error=1", 1);
    execl(Program.c_str(), Program.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  TRun run;
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + 120s;
  while (!(run.Ended = waitpid(pid, &status, WNOHANG) == pid) &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(20ms);
  if (!run.Ended) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  if (WIFEXITED(status)) run.Status = WEXITSTATUS(status);
  run.Stderr = ReadFile(err);
  return run;
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

}  // namespace
