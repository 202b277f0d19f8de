// game.INI through the game's reader and writer, the top-ten table and the
// best times, in a scratch program folder.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "framework/inifiles.h"
#include "framework/sysutils.h"
#include "game/core/game_fixture.h"
#include "platform/win/profile_seam.h"
#include "platform/win/user_seam.h"

namespace {

using game_test::GameFixture;
namespace fs = std::filesystem;

// Reading and writing without a form: the settings functions stand alone.
class Settings : public ::testing::Test {
 protected:
  GameFixture game_;
};

TEST_F(Settings, RoundTripKeepsForeignKeysLinesAndExactValues) {
  game_.WriteIni(
      "; my notes\r\n[OPTIONS]\r\nbrightness=61\r\nRocketSmoke=5\r\nUDI=2\r\nFPS=1\r\n"
      "Custom=keep me\r\n[keys]\r\nleft=65\r\n[user]\r\nstatus=11\r\n"
      "[table]\r\nN1=Ace\r\ns1=3000000000\r\nn2=Bob\r\ns2=-5\r\n"
      "[tt]\r\nT1=75\r\nt2=-30\r\nt100=9000000000\r\n[Mine]\r\nx=1\r\n");
  GameOptions.UDI = true;  // UDI=2 leaves it as it was
  LoadIniFile();
  EXPECT_EQ(GameOptions.Brightness, 61);
  EXPECT_TRUE(GameOptions.RocketSmoke);
  EXPECT_TRUE(GameOptions.UDI);
  EXPECT_TRUE(GameOptions.FPS);
  EXPECT_EQ(Player.Status, 11);  // after the last mission: every mission open
  EXPECT_EQ(TopRanks[1].Name, "Ace");
  EXPECT_EQ(TopRanks[1].Score, 3000000000LL);
  EXPECT_EQ(TopRanks[2].Name, "Bob");
  EXPECT_EQ(TopRanks[2].Score, 0);  // no score is below 0
  EXPECT_EQ(TopRanks[3].Name, "");
  EXPECT_EQ(TopRanks[3].Score, 0);
  EXPECT_EQ(Player.BestTimes[1], 75);
  EXPECT_EQ(Player.BestTimes[100], 9000000000LL);
  EXPECT_EQ(Player.BestTimes[2], 0);  // a negative time is no time yet
  EXPECT_EQ(Player.BestTimes[3], 0);

  TopRanks[1].Score = 4294967296LL + 7;
  SaveIniFile();
  std::string text = game_.ReadIni();
  EXPECT_EQ(text.rfind("; my notes\r\n[OPTIONS]\r\nbrightness=61\r\nRocketSmoke=1\r\nUDI=2\r\n", 0),
            0u)
      << text;
  for (const char* kept : {"Custom=keep me\r\n", "left=65\r\n", "[Mine]\r\nx=1\r\n", "FPS=1\r\n",
                           "status=11\r\n", "s1=4294967303\r\n", "t100=9000000000\r\n"})
    EXPECT_NE(text.find(kept), std::string::npos) << kept << " in\n" << text;

  TopRanks = {};
  LoadIniFile();
  EXPECT_EQ(TopRanks[1].Score, 4294967303LL);
  EXPECT_EQ(TopRanks[1].Name, "Ace");
}

TEST_F(Settings, EnemyBookFieldsAreCheckedPackedAndCounted) {
  const struct {
    const char* Value;
    std::vector<int32_t> Book;
  } cases[] = {
      {"010203"
       "0000000000000000000000000000000000",
       {1, 2, 3}},  // 40 characters
      {"01", {1}},  // short: the rest is empty
      {"", {}},
      {"25190119", {19, 1}},             // 25 is no type; 01 after 19 is new
      {"0303040304", {3, 4}},            // repeats are empty places
      {"00070000xx12-1 9", {7, 12, 9}},  // holes close up
      {"19181716151413121110090807060504030201",
       {19, 18, 17, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1}},
  };
  for (const auto& c : cases) {
    game_.WriteIni(std::string("[eB]\r\ne=") + c.Value + "\r\n");
    EnemyBook.fill(77);
    LoadIniFile();
    EXPECT_EQ(EnemyBookCount, static_cast<int32_t>(c.Book.size())) << c.Value;
    for (int i = 1; i <= EnemyBookSize; ++i) {
      int32_t want = i <= static_cast<int>(c.Book.size()) ? c.Book[i - 1] : 0;
      EXPECT_EQ(EnemyBook[i], want) << c.Value << " field " << i;
    }
  }
  // Written back as 19 two-digit fields.
  SaveIniFile();
  EXPECT_NE(game_.ReadIni().find("e=19181716151413121110090807060504030201\r\n"),
            std::string::npos);
}

TEST_F(Settings, TypesEnterTheBookOnceWhileThereIsRoom) {
  EXPECT_TRUE(EnterEnemyBook(5));
  EXPECT_FALSE(EnterEnemyBook(5));
  EXPECT_FALSE(EnterEnemyBook(0));
  EXPECT_FALSE(EnterEnemyBook(20));
  EXPECT_EQ(EnemyBookCount, 1);
  EXPECT_EQ(EnemyBook[20], 1);
  EXPECT_EQ(TIniFile(game_.Ini()).ReadString("eB", "e", ""),
            "05000000000000000000000000000000000000");
  for (int t = 1; t <= 19; ++t) EnterEnemyBook(t);
  EXPECT_EQ(EnemyBookCount, 19);
  EXPECT_EQ(EnemyBook[20], 19);
  EXPECT_EQ(EnemyBook[19], 19);
  EXPECT_FALSE(EnterEnemyBook(3));
}

TEST_F(Settings, ControlsAndKeysReachTheInput) {
  game_.WriteIni("[Options]\r\nControls=2\r\n[Keys]\r\nLeft=65\r\nSecondary=oops\r\n");
  TMainForm* form = game_.Create();
  EXPECT_EQ(GameOptions.Controls, 2);
  EXPECT_EQ(GameOptions.SavedControls, 2);
  EXPECT_FALSE(form->DXInput->Mouse()->BindInputStates);
  const TKeyAssignList& keys = form->DXInput->Keyboard()->Assigns;
  EXPECT_EQ(keys[ibLeft][0], 65);
  EXPECT_EQ(keys[ibRight][0], 0x27);
  EXPECT_EQ(keys[ibButton3][0], 0x20);
  EXPECT_EQ(keys[ibButton4][0], 0x10);

  // A dying ship has no control mode; the chosen one is saved.
  GameOptions.Controls = 0;
  SaveIniFile();
  EXPECT_EQ(TIniFile(game_.Ini()).ReadString("Options", "Controls", ""), "2");
}

void SetScores(std::initializer_list<int64_t> Scores) {
  int i = 1;
  for (int64_t s : Scores) TopRanks[i++] = {"r" + IntToStr(s), s};
}

TEST_F(Settings, QualificationAndInsertion) {
  const std::initializer_list<int64_t> sorted = {500, 400, 300, 200, 100, 90, 80, 70, 60, 50};
  const struct {
    int64_t Score;
    bool Qualifies;
    int Row;  // where it lands, 0 for nowhere
  } cases[] = {{300, true, 3}, {49, false, 0}, {50, true, 10},      {501, true, 1},
               {500, true, 1}, {75, true, 8},  {1LL << 40, true, 1}};
  for (const auto& c : cases) {
    SetScores(sorted);
    Player.Score = c.Score;
    UpdateRecords(false);
    EXPECT_EQ(Player.Score, c.Qualifies ? c.Score : 0) << c.Score;
    if (!c.Qualifies) continue;
    Player.Name = "New";
    UpdateRecords(true);
    EXPECT_EQ(TopRanks[c.Row].Name, "New") << c.Score;
    EXPECT_EQ(TopRanks[c.Row].Score, c.Score);
    // Sorted still, the one below a tie is the older entry, 50 dropped.
    for (int r = 2; r <= 10; ++r) EXPECT_GE(TopRanks[r - 1].Score, TopRanks[r].Score);
    if (c.Row < 10) EXPECT_EQ(TopRanks[c.Row + 1].Score <= c.Score, true);
    if (c.Score == 300) EXPECT_EQ(TopRanks[4].Name, "r300");
    EXPECT_EQ(TopRanks[10].Score, c.Row == 10 ? 50 : 60);
  }

  // Ten empty rows: a final 0 qualifies and goes to the top.
  TopRanks = {};
  Player.Score = 0;
  UpdateRecords(false);
  Player.Name = "Zero";
  UpdateRecords(true);
  EXPECT_EQ(TopRanks[1].Name, "Zero");
  EXPECT_EQ(TopRanks[2].Name, "");
}

TEST_F(Settings, ClearRecordsEmptiesTheTableInTheFile) {
  SetScores({9, 8, 7, 6, 5, 4, 3, 2, 1, 0});
  SaveIniFile();
  ClearRecords();
  std::string text = game_.ReadIni();
  for (int i = 1; i <= 10; ++i) {
    EXPECT_NE(text.find("n" + IntToStr(i) + "=\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("s" + IntToStr(i) + "=0\r\n"), std::string::npos) << text;
    EXPECT_EQ(TopRanks[i].Score, 0);
  }
}

// The temporary files of saves beside game.INI.
std::vector<std::string> Leftovers(const fs::path& Folder) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(Folder))
    if (e.path().filename().string().rfind(".game.INI.", 0) == 0)
      out.push_back(e.path().filename().string());
  return out;
}

// "Clear records" killed at each file event of its saving in turn: the file
// holds the whole old table or the whole cleared one, and the next save
// removes the temporary file the kill left.
TEST_F(Settings, ClearRecordsKilledAtAnyFileEventLeavesTheOldTableOrTheNew) {
  SetScores({9, 8, 7, 6, 5, 4, 3, 2, 1, 0});
  SaveIniFile();
  const std::string old = game_.ReadIni();
  const fs::path folder = fs::path(game_.Ini()).parent_path();
  bool finished = false;
  int kills = 0;
  for (int event = 1; !finished && event < 100; ++event) {
    SCOPED_TRACE(testing::Message() << "killed at file event " << event);
    game_.WriteIni(old);
    SetScores({9, 8, 7, 6, 5, 4, 3, 2, 1, 0});
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      int seen = 0;
      SetProfileWriteHook([&](TProfileWriteStep) {
        if (++seen == event) ::raise(SIGKILL);
      });
      ClearRecords();
      ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    finished = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!finished) {
      ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
      ++kills;
    }

    TopRanks = {};
    LoadIniFile();
    bool wholeOld = true, wholeNew = true;
    for (int i = 1; i <= 10; ++i) {
      wholeOld =
          wholeOld && TopRanks[i].Score == 10 - i && TopRanks[i].Name == "r" + IntToStr(10 - i);
      wholeNew = wholeNew && TopRanks[i].Score == 0 && TopRanks[i].Name.empty();
    }
    EXPECT_TRUE(wholeOld || wholeNew) << game_.ReadIni();
    if (finished) EXPECT_TRUE(wholeNew);
    // A kill before the rename leaves the save's temporary file behind.
    EXPECT_EQ(!Leftovers(folder).empty(), wholeOld);

    // Whatever the kill left beside the file, the next save takes away.
    SaveIniFile();
    EXPECT_TRUE(Leftovers(folder).empty()) << Leftovers(folder).front();
  }
  EXPECT_TRUE(finished);
  // A single save passes through each of its steps once.
  EXPECT_EQ(kills, pwsRenamed + 1);
}

TEST_F(Settings, BestTimeSlotsAndTheirKeys) {
  const struct {
    int Mission, Level, Slot;
  } slots[] = {{1, 1, 1},     {1, 10, 10}, {2, 1, 11}, {3, 2, 22}, {2, 3, 13},
               {10, 10, 100}, {1, 0, 0},   {11, 1, 0}, {0, 5, 0},  {4, 11, 0}};
  for (const auto& s : slots) EXPECT_EQ(BestTimeSlot(s.Mission, s.Level), s.Slot);

  CurrentMission = 10;
  CurrentLevel = 10;
  Player.LevelTime = 300;
  UpdateTime();
  Player.LevelTime = 400;  // slower: kept
  UpdateTime();
  EXPECT_EQ(Player.BestTimes[100], 300);
  CurrentMission = 1;
  CurrentLevel = 1;
  Player.LevelTime = 20;
  UpdateTime();
  CurrentLevel = 0;  // no level yet: nothing stored
  UpdateTime();
  TIniFile ini(game_.Ini());
  EXPECT_EQ(ini.ReadString("TT", "t100", ""), "300");
  EXPECT_EQ(ini.ReadString("TT", "t1", ""), "20");
  std::vector<std::string> keys;
  ini.ReadSection("TT", keys);
  EXPECT_EQ(keys.size(), 2u);
}

TEST(TranslateTime, MinutesAndHours) {
  const struct {
    int64_t Seconds;
    int Mode;
    const char* Text;
  } cases[] = {{59, 0, "00:59"},    {754, 0, "12:34"},      {600, 0, "10:00"},
               {6000, 0, "100:00"}, {0, 0, "00:00"},        {3725, 1, "1:02:05"},
               {59, 1, "0:00:59"},  {36000, 1, "10:00:00"}, {5, 2, ""}};
  for (const auto& c : cases) EXPECT_EQ(TranslateTime(c.Seconds, c.Mode), c.Text) << c.Seconds;
}

// A save killed at any moment leaves the old file or the new one, whole.
TEST_F(Settings, KilledSaveLeavesAWholeFile) {
  auto fill = [](int64_t Base) {
    for (int i = 1; i <= 10; ++i) TopRanks[i] = {"p" + IntToStr(Base), Base + i};
    for (int i = 1; i <= 100; ++i) Player.BestTimes[i] = Base;
  };
  fill(1000);
  SaveIniFile();
  std::srand(7);
  for (int round = 0; round < 12; ++round) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (int64_t n = 0;; ++n) {
        fill(n % 2 ? 1000 : 2000);
        SaveIniFile();
      }
    }
    std::this_thread::sleep_for(std::chrono::microseconds(2000 + std::rand() % 20000));
    ::kill(child, SIGKILL);
    int status;
    ::waitpid(child, &status, 0);
    TopRanks = {};
    Player.BestTimes = {};
    LoadIniFile();
    int64_t base = TopRanks[1].Score - 1;
    ASSERT_TRUE(base == 1000 || base == 2000) << base;
    for (int i = 1; i <= 10; ++i) {
      EXPECT_EQ(TopRanks[i].Name, "p" + IntToStr(base));
      EXPECT_EQ(TopRanks[i].Score, base + i);
    }
    for (int i = 1; i <= 100; ++i) EXPECT_EQ(Player.BestTimes[i], base);
  }
}

// game.INI a folder: nothing can replace it (also for the superuser); the
// player is told and the game still closes.
TEST_F(Settings, UnwritableSaveIsReportedAndTheFormStillCloses) {
  TMainForm* form = game_.Create();
  ASSERT_EQ(MainForm, form);
  fs::create_directories(game_.Ini());
  bool closed = false;
  form->OnClose = [&](TObject* Sender, TCloseAction& Action) {
    closed = true;
    form->FormClose(Sender, Action);
  };
  AbsoluteClose();
  Application->ProcessMessages();
  EXPECT_TRUE(closed);
  EXPECT_TRUE(Application->Terminated());
  const auto boxes = TakeRecordedMessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].Text, "Unable to write to " + game_.Ini());
}

}  // namespace
