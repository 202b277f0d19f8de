// The screens between levels as a player goes through them, headless on the
// virtual clock: the doors close over the finished level and name the next
// one, the statistics are typed, the doors open on the level, and when the
// ship is lost the doors close again over the statistics of the lost level.
// The player reads each statistics screen to its end before clicking on.
#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "game/core/main_form.h"
#include "game/play/play.h"
#include "game/screens/interface_sprite.h"
#include "platform/win/user_seam.h"
#include "tests/game/game_harness.h"
#include "tests/game/pilot.h"

namespace {

// What one screen showed while it stood.
struct TScreenSeen {
  std::string State;
  int Frames = 0;
  int DigitsHidden = 0;                   // frames on which a door digit was hidden
  std::array<int, 3> Digits{-1, -1, -1};  // mission, episode, level digit frames
  int FirstStatStep = -1, LastStatStep = -1;
  std::array<std::string, 9> Lines;  // the statistics lines it left
  int64_t Score = 0;
};

bool Between(const std::string& State) {
  return State == "levelcomplete" || State == "newlevel" || State == "ready" || State == "game" ||
         State == "gameover";
}

bool HasStatistics(const std::string& State) {
  return State == "levelcomplete" || State == "newlevel" || State == "gameover";
}

int FrameOf(const TInterFaceSprite* Digit) {
  return Digit ? static_cast<int>(std::trunc(Digit->AnimPos)) : -1;
}

struct TCase {
  int Mission;
  int LevelsToPlay;  // levels finished before the pilot sits still
  // Door digits (mission, episode, level) on each levelcomplete/newlevel
  // pair, then on the game-over screen.
  std::vector<std::array<int, 3>> Doors;
  std::array<int, 3> GameOverDoors;
};

// Plays case C in the program folder Dir.
std::vector<TScreenSeen> PlayToGameOver(const TCase& C, const std::string& Dir) {
  const std::string dir = MakeGameFolder(Dir, true);
  {
    std::ofstream ini(dir + "/game.INI");
    ini << "[User]\nStatus=" << C.Mission << "\n";
  }
  TPilot::TPlan fight;
  fight.Mission = C.Mission;
  TPilot::TPlan sit = fight;
  sit.Codes = false;
  sit.Ending = TPilot::enGameOver;
  auto pilot = std::make_unique<TPilot>(C.LevelsToPlay > 0 ? fight : sit, TGameRun::FrameMs);
  bool sitting = C.LevelsToPlay == 0;

  std::vector<TScreenSeen> seen;
  TGameRun run(dir, 20261211 + static_cast<uint64_t>(C.Mission));
  const bool ended = run.Play(
      [&] {
        // From the first screen between levels on.
        if (!seen.empty() || GameState == "levelcomplete") {
          if (seen.empty() || seen.back().State != GameState) {
            seen.emplace_back();
            seen.back().State = GameState;
          }
          TScreenSeen& s = seen.back();
          ++s.Frames;
          for (const TInterFaceSprite* d : {MissionDigit, EpisodeDigit, LevelDigit})
            s.DigitsHidden += !d || !d->Visible;
          s.Digits = {FrameOf(MissionDigit), FrameOf(EpisodeDigit), FrameOf(LevelDigit)};
          if (s.FirstStatStep < 0) s.FirstStatStep = StatStep;
          s.LastStatStep = StatStep;
          s.Lines = MessageLines;
          s.Score = Player.Score;
        }
        if (!sitting && GameState == "game" && CurrentLevel > C.LevelsToPlay) {
          pilot = std::make_unique<TPilot>(sit, TGameRun::FrameMs);
          sitting = true;
        }
        // A player reads the statistics to the end before going on.
        if (HasStatistics(GameState) && StatStep < 30) return;
        pilot->Step();
      },
      10 * 60 * 1000);
  EXPECT_TRUE(ended) << "still in \"" << GameState << "\"";
  for (const auto& box : TakeRecordedMessageBoxes())
    ADD_FAILURE() << box.Caption << ": " << box.Text;

  std::vector<TScreenSeen> between;
  for (const TScreenSeen& s : seen) {
    if (!Between(s.State)) break;
    between.push_back(s);
  }
  return between;
}

// The game's state is the process's own: each case runs as a test program
// of its own.
class TransitionScreens : public ::testing::TestWithParam<TCase> {};

TEST_P(TransitionScreens, DoorsNameTheLevelAndEveryScreenTypesItsStatistics) {
  const TCase& c = GetParam();
  const std::string dir = ::testing::TempDir() + "tal_transitions_" + std::to_string(c.Mission) +
                          "_" + std::to_string(getpid());
  const std::vector<TScreenSeen> seen = PlayToGameOver(c, dir);
  std::filesystem::remove_all(dir);

  std::vector<std::string> expected;
  for (size_t i = 0; i < c.Doors.size(); ++i)
    expected.insert(expected.end(), {"levelcomplete", "newlevel", "ready", "game"});
  expected.push_back("gameover");
  std::vector<std::string> states;
  for (const TScreenSeen& s : seen) states.push_back(s.State);
  ASSERT_EQ(states, expected);

  const std::string dashes(30, '-');
  for (size_t i = 0; i < seen.size(); ++i) {
    const TScreenSeen& s = seen[i];
    SCOPED_TRACE("screen " + std::to_string(i) + " \"" + s.State + "\"");
    if (s.State == "ready" || s.State == "game") {
      EXPECT_EQ(s.DigitsHidden, 3 * s.Frames) << "the door digits stay on the doors";
      continue;
    }
    EXPECT_EQ(s.DigitsHidden, 0) << "the door digits are hidden on " << s.DigitsHidden / 3 << " of "
                                 << s.Frames << " frames";
    EXPECT_EQ(s.Digits, s.State == "gameover" ? c.GameOverDoors : c.Doors[i / 4]);
    // Typed from the first character to the thirtieth.
    EXPECT_LE(s.FirstStatStep, 1);
    EXPECT_EQ(s.LastStatStep, 30);
    if (s.State == "newlevel") {
      EXPECT_EQ(s.Lines[1], "TIME");
      EXPECT_EQ(s.Lines[2], dashes);
      EXPECT_EQ(s.Lines[3].substr(0, 12), "Level time: ");
    } else {
      EXPECT_EQ(s.Lines[1], "Difficulty: Normal");
      EXPECT_EQ(s.Lines[2], dashes);
      EXPECT_EQ(s.Lines[3].substr(0, 15), "Bonuses taken: ");
      EXPECT_EQ(s.Lines[4].substr(0, 17), "Enemies blasted: ");
      EXPECT_EQ(s.Lines[7], ("General scores: " + std::to_string(s.Score)).substr(0, 30));
      EXPECT_EQ(s.Lines[8], dashes);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Missions, TransitionScreens,
                         ::testing::Values(
                             // The first level of mission 1 played, the second lost.
                             TCase{1, 1, {{0, 0, 0}, {0, 0, 1}}, {0, 0, 1}},
                             // Mission 7 is the second of episode 2; its first level lost.
                             TCase{7, 0, {{1, 1, 0}}, {1, 1, 0}}),
                         [](const ::testing::TestParamInfo<TCase>& Info) {
                           return "Mission" + std::to_string(Info.param.Mission);
                         });

}  // namespace
