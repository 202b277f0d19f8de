#include "game/options/game_options.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "framework/inifiles.h"
#include "framework/sysutils.h"

namespace {

namespace fs = std::filesystem;

class GameOptionsFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("tal_options_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    file_ = (dir_ / "game.INI").string();
  }
  void TearDown() override { fs::remove_all(dir_); }
  void Write(const std::string& Text) { std::ofstream(file_, std::ios::binary) << Text; }
  std::string Contents() const {
    std::ifstream in(file_, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  fs::path dir_;
  std::string file_;
};

// The table's defaults are the record's starting values, so the setup
// program's first choices and the game's fallback can never drift apart.
TEST(GameOptions, DefaultsTableIsTheRecordsStartingValues) {
  TGameOptions o;
  TGameKeys k;
  o.UDI = true;  // the flags 0/1 rule must clear it from the table's 0
  o.FPS = true;
  ApplyOptionValues(DefaultOptionValues(), o, k);
  TGameOptions fresh;
  EXPECT_EQ(OptionValuesOf(o, k), OptionValuesOf(fresh, TGameKeys{}));
  EXPECT_EQ(o.Brightness, 50);
  EXPECT_EQ(o.SoundFxLevel, 8);
  EXPECT_EQ(o.MusicLevel, 8);
  EXPECT_EQ(o.RadioVoxLevel, 8);
  EXPECT_EQ(o.Channels, 0);
  EXPECT_EQ(o.Splinters, 2);
  EXPECT_TRUE(o.RocketSmoke);
  EXPECT_EQ(o.Controls, 1);
  EXPECT_EQ(o.SavedControls, 1);
  EXPECT_EQ(o.Bumpiness, 1);
  EXPECT_FALSE(o.UDI);
  EXPECT_FALSE(o.FPS);
  EXPECT_TRUE(o.Asteroids);
  EXPECT_TRUE(o.PageFlip);
  EXPECT_EQ(k.Left, 37);
  EXPECT_EQ(k.Right, 39);
  EXPECT_EQ(k.Primary, 32);
  EXPECT_EQ(k.Secondary, 16);
}

TEST_F(GameOptionsFile, MissingFileReadsAsDefaults) {
  EXPECT_EQ(ReadOptionValues(file_), DefaultOptionValues());
  EXPECT_EQ(ReadOptionValues((dir_ / "none" / "game.INI").string()), DefaultOptionValues());
}

TEST_F(GameOptionsFile, MalformedKeysTakeTheirDefaultAndOthersAreKeptAsRead) {
  Write(
      "[options]\r\nbrightness=300\r\nSoundFxLevel=abc\r\nMusicLevel=\r\n"
      "RadioVoxLevel=99999999999\r\nChannels=1.5\r\nSplinters= 0 \r\nCONTROLS=-3\r\n"
      "[KEYS]\r\nleft=65\r\nPrimary=x\r\n");
  TOptionValues v = ReadOptionValues(file_);
  TOptionValues want = DefaultOptionValues();
  want[okBrightness] = 300;  // no range test: kept as read
  want[okSplinters] = 0;
  want[okControls] = -3;
  want[okLeft] = 65;
  EXPECT_EQ(v, want);
}

TEST(GameOptions, GameReadsFlagsItsOwnWay) {
  struct Case {
    int32_t UDI, FPS, RocketSmoke;
    bool WantUDI, WantFPS, WantSmoke;
  };
  // The record starts with UDI and FPS set, to show what "unchanged" means.
  const Case cases[] = {
      {0, 0, 0, false, false, false},
      {1, 1, 1, true, true, true},
      {2, 2, 5, true, true, true},
      {-1, 7, -4, true, true, true},
  };
  for (const Case& c : cases) {
    TOptionValues v = DefaultOptionValues();
    v[okUDI] = c.UDI;
    v[okFPS] = c.FPS;
    v[okRocketSmoke] = c.RocketSmoke;
    v[okControls] = 2;
    TGameOptions o;
    o.UDI = true;
    o.FPS = true;
    TGameKeys k;
    ApplyOptionValues(v, o, k);
    EXPECT_EQ(o.UDI, c.WantUDI) << c.UDI;
    EXPECT_EQ(o.FPS, c.WantFPS) << c.FPS;
    EXPECT_EQ(o.RocketSmoke, c.WantSmoke) << c.RocketSmoke;
    EXPECT_EQ(o.Controls, 2);
    EXPECT_EQ(o.SavedControls, 2);
    // A smoke setting of 5 goes back to the file as 1.
    EXPECT_EQ(OptionValuesOf(o, k)[okRocketSmoke], c.WantSmoke ? 1 : 0);
  }
}

TEST_F(GameOptionsFile, WritingKeepsForeignKeysAndLinesAndReadsBack) {
  Write(
      "; kept comment\r\n[User]\r\nStatus=7\r\n[Options]\r\nbrightness=10\r\nMine=keep\r\n"
      "[Table]\r\nn1=Ace\r\n");
  TOptionValues v = DefaultOptionValues();
  v[okBrightness] = 77;
  v[okLeft] = 65;
  v[okUDI] = 1;
  WriteOptionValues(file_, v);
  EXPECT_EQ(ReadOptionValues(file_), v);
  std::string text = Contents();
  EXPECT_EQ(text.rfind("; kept comment\r\n[User]\r\nStatus=7\r\n[Options]\r\nbrightness=77\r\n", 0),
            0u)
      << text;
  EXPECT_NE(text.find("Mine=keep\r\n"), std::string::npos);
  EXPECT_NE(text.find("n1=Ace\r\n"), std::string::npos);
  EXPECT_NE(text.find("[Keys]\r\nLeft=65\r\n"), std::string::npos);
}

TEST_F(GameOptionsFile, WriteThatCannotReplaceTheFileRaisesAndLeavesNothing) {
  fs::create_directories(file_);  // game.INI is a folder
  try {
    WriteOptionValues(file_, DefaultOptionValues());
    FAIL() << "no error";
  } catch (const EIniFileException& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + file_);
  }
  EXPECT_TRUE(fs::is_directory(file_));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

}  // namespace
