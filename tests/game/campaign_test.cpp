// The whole game played through its input by the scripted pilot, headless on
// the virtual clock: every mission from start-up to victory, the name in the
// top ten and the exit, with what game.INI keeps; the same seed playing the
// same frames; and a game lost to the first hit.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "framework/inifiles.h"
#include "game/core/main_form.h"
#include "game/play/play.h"
#include "platform/win/user_seam.h"
#include "tests/game/game_harness.h"
#include "tests/game/pilot.h"

namespace {

constexpr uint64_t kSeed = 20261210;

// More than any mission takes; a run that reaches it has lost its way.
constexpr uint64_t kMissionLimitMs = 40 * 60 * 1000;

// The parts' shared folder; a run may move it (to try a part on its own).
std::string CampaignDir() {
  const char* dir = std::getenv("TAL_CAMPAIGN_DIR");
  return dir && *dir ? dir : TAL_CAMPAIGN_DIR;
}

std::string Ini(const std::string& Folder, const std::string& Section, const std::string& Key) {
  TIniFile file(Folder + "/game.INI");
  return file.ReadString(Section, Key, "");
}

// What the test sees of a run, screen by screen; each level's end goes to
// the log with the time it took.
struct TWatch {
  int LevelsCompleted = 0;
  int GameOvers = 0;
  int Victories = 0;
  std::string Last;
  uint64_t LevelStartMs = 0;
  void Step(uint64_t NowMs) {
    if (NowMs % 60000 < TGameRun::FrameMs)
      std::printf("  %3.0f s: \"%s\", mission %d level %d, %d enemies alive\n", NowMs / 1000.0,
                  GameState.c_str(), CurrentMission, CurrentLevel, EnemiesAlive);
    if (GameState == Last) return;
    if (GameState == "game" && Last == "ready") LevelStartMs = NowMs;
    // The last level of all goes straight on to the victory screen.
    if ((GameState == "levelcomplete" || GameState == "victory") && Last == "game") {
      ++LevelsCompleted;
      std::printf("  %3.0f s: level %d of mission %d done in %.0f s\n", NowMs / 1000.0,
                  LevelsCompleted, CurrentLevel == 0 ? CurrentMission - 1 : CurrentMission,
                  (NowMs - LevelStartMs) / 1000.0);
      std::fflush(stdout);
    }
    if (GameState == "gameover") ++GameOvers;
    if (GameState == "victory") ++Victories;
    Last = GameState;
  }
};

void PlayMission(int32_t Mission) {
  const std::string dir = MakeGameFolder(CampaignDir(), Mission == 1);
  if (Mission > 1)
    ASSERT_GE(std::stoi(Ini(dir, "User", "Status")), Mission)
        << "the part before left no game.INI opening mission " << Mission;

  TPilot::TPlan plan;
  plan.Mission = Mission;
  plan.Ending = Mission == 10 ? TPilot::enVictory : TPilot::enLeaveAfterMission;
  TPilot pilot(plan, TGameRun::FrameMs);
  TWatch watch;
  TGameRun run(dir, kSeed + static_cast<uint64_t>(Mission));
  const bool ended = run.Play(
      [&] {
        pilot.Step();
        watch.Step(run.ElapsedMs());
      },
      kMissionLimitMs);
  std::printf("mission %d: %.0f s of play in %d frames\n", Mission, run.ElapsedMs() / 1000.0,
              run.Frames());

  EXPECT_TRUE(ended) << "still in \"" << GameState << "\" after " << run.ElapsedMs() / 1000
                     << " s, mission " << CurrentMission << " level " << CurrentLevel;
  for (const auto& box : TakeRecordedMessageBoxes())
    ADD_FAILURE() << box.Caption << ": " << box.Text;
  EXPECT_EQ(watch.GameOvers, 0);
  // Ten levels, and the exit after the next mission's start.
  EXPECT_EQ(watch.LevelsCompleted, 10);
  EXPECT_GE(pilot.LevelsStarted(), 10);
  for (int level = 1; level <= 10; ++level) {
    const int slot = (Mission - 1) * 10 + level;
    EXPECT_GT(std::stoll("0" + Ini(dir, "TT", "t" + std::to_string(slot))), 0)
        << "no best time for mission " << Mission << " level " << level;
  }
  EXPECT_EQ(std::stoi(Ini(dir, "User", "Status")), Mission + 1);
  if (Mission < 10) return;

  // The end of the campaign: victory, the name in the table, and every
  // level's time and every enemy type kept.
  EXPECT_EQ(watch.Victories, 1);
  bool inTable = false;
  for (int row = 1; row <= 10; ++row)
    inTable |= Ini(dir, "Table", "n" + std::to_string(row)) == plan.Name &&
               std::stoll(Ini(dir, "Table", "s" + std::to_string(row))) > 0;
  EXPECT_TRUE(inTable) << "the pilot's score is not in the top ten";
  for (int slot = 1; slot <= 100; ++slot)
    EXPECT_GT(std::stoll("0" + Ini(dir, "TT", "t" + std::to_string(slot))), 0) << "t" << slot;
  const std::string book = Ini(dir, "eB", "e");
  std::set<int> types;
  for (size_t i = 0; i + 1 < book.size() && i < 38; i += 2) {
    const int type = std::stoi(book.substr(i, 2));
    if (type != 0) types.insert(type);
  }
  EXPECT_EQ(types.size(), 19u) << "book: " << book;
}

// The ten parts, in order: each starts the program from the game.INI the
// part before saved (CTest runs them as a chain of fixtures).
TEST(Campaign, Mission1) { PlayMission(1); }
TEST(Campaign, Mission2) { PlayMission(2); }
TEST(Campaign, Mission3) { PlayMission(3); }
TEST(Campaign, Mission4) { PlayMission(4); }
TEST(Campaign, Mission5) { PlayMission(5); }
TEST(Campaign, Mission6) { PlayMission(6); }
TEST(Campaign, Mission7) { PlayMission(7); }
TEST(Campaign, Mission8) { PlayMission(8); }
TEST(Campaign, Mission9) { PlayMission(9); }
TEST(Campaign, Mission10) { PlayMission(10); }

// Plays the first minute of a new game in a child process (the
// game's state is the process's own) and returns its frame checksum.
uint64_t FramesOfANewGame(uint64_t Seed, const std::string& Folder) {
  int fds[2];
  if (pipe(fds) != 0) return 0;
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    uint64_t sum = 0;
    {
      MakeGameFolder(Folder, true);
      TPilot pilot({}, TGameRun::FrameMs);
      TGameRun run(Folder, Seed);
      run.Play([&] { pilot.Step(); }, 60 * 1000);
      sum = run.FrameSum();
    }
    const ssize_t written = write(fds[1], &sum, sizeof sum);
    _exit(written == sizeof sum ? 0 : 1);
  }
  close(fds[1]);
  uint64_t sum = 0;
  const ssize_t got = read(fds[0], &sum, sizeof sum);
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return got == sizeof sum && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? sum : 0;
}

TEST(Campaign, SameSeedSameFrames) {
  const std::string dir = CampaignDir() + "-seed";
  const uint64_t first = FramesOfANewGame(kSeed, dir);
  const uint64_t second = FramesOfANewGame(kSeed, dir);
  ASSERT_NE(first, 0u) << "the run failed";
  EXPECT_EQ(first, second);
}

TEST(Campaign, GameOver) {
  const std::string dir = MakeGameFolder(CampaignDir() + "-gameover", true);
  TPilot::TPlan plan;
  plan.Codes = false;
  plan.Ending = TPilot::enGameOver;
  TPilot pilot(plan, TGameRun::FrameMs);
  TGameRun run(dir, kSeed);

  struct {
    int32_t PrimaryBefore = 0;
    int64_t HitMs = -1, OverMs = -1;
    int32_t ControlsAtHit = -1, ControlsAtOver = -1;
    int64_t ScoreAtOver = -1;
    bool BackInMenu = false;
  } seen;
  int32_t primary = 0;
  run.Play(
      [&] {
        pilot.Step();
        const int64_t now = static_cast<int64_t>(run.ElapsedMs());
        if (seen.HitMs < 0 && DeathCountdown >= 0) {
          seen.HitMs = now;
          seen.PrimaryBefore = primary;
          seen.ControlsAtHit = GameOptions.Controls;
        }
        if (seen.OverMs < 0 && GameState == "gameover") {
          seen.OverMs = now;
          seen.ControlsAtOver = GameOptions.Controls;
          seen.ScoreAtOver = Player.Score;
        }
        if (seen.OverMs >= 0 && GameState == "mainmenu") seen.BackInMenu = true;
        primary = Player.PrimaryLevel;
      },
      10 * 60 * 1000);

  for (const auto& box : TakeRecordedMessageBoxes())
    ADD_FAILURE() << box.Caption << ": " << box.Text;
  ASSERT_GE(seen.HitMs, 0) << "the ship was never hit";
  EXPECT_EQ(seen.PrimaryBefore, 1);
  EXPECT_EQ(seen.ControlsAtHit, 0) << "the controls stay with the player after the fatal hit";
  ASSERT_GE(seen.OverMs, 0) << "no game-over screen";
  // Six rounds of explosions on the 550-ms timer, then the screen.
  EXPECT_GE(seen.OverMs - seen.HitMs, 3300 - static_cast<int64_t>(TGameRun::FrameMs));
  EXPECT_LE(seen.OverMs - seen.HitMs, 3850 + static_cast<int64_t>(TGameRun::FrameMs));
  EXPECT_EQ(seen.ControlsAtOver, 1);
  EXPECT_TRUE(seen.BackInMenu);
  // The score went to the name entry and from there to the table.
  EXPECT_EQ(Ini(dir, "Table", "n1"), plan.Name);
  EXPECT_EQ(std::stoll(Ini(dir, "Table", "s1")), seen.ScoreAtOver);
}

}  // namespace
