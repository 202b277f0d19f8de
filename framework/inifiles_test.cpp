#include "framework/inifiles.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "framework/random.h"

namespace {

namespace fs = std::filesystem;

class IniFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("tal_ini_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    file_ = (dir_ / "game.INI").string();
    std::ofstream(file_, std::ios::binary)
        << "[Options]\r\nMusic=7\r\nUDI=5\r\nBad=12x\r\nHex=$1F\r\n"
           "[User]\r\nn1=Ace\r\n";
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
  std::string file_;
};

TEST_F(IniFile, ReadsWithDefaults) {
  TIniFile ini(file_);
  EXPECT_EQ(ini.ReadString("User", "n1", "xyz"), "Ace");
  EXPECT_EQ(ini.ReadString("User", "n2", "xyz"), "xyz");
  EXPECT_EQ(ini.ReadInteger("Options", "Music", 0), 7);
  EXPECT_EQ(ini.ReadInteger("Options", "Bad", -1), -1);
  EXPECT_EQ(ini.ReadInteger("Options", "Hex", 0), 31);
  EXPECT_EQ(ini.ReadInteger("Options", "Nope", 42), 42);
  EXPECT_TRUE(ini.ReadBool("Options", "UDI", false));
  EXPECT_TRUE(ini.SectionExists("user"));
  EXPECT_TRUE(ini.ValueExists("options", "music"));
  std::vector<std::string> names;
  ini.ReadSections(names);
  EXPECT_EQ(names, (std::vector<std::string>{"Options", "User"}));
  ini.ReadSection("Options", names);
  EXPECT_EQ(names, (std::vector<std::string>{"Music", "UDI", "Bad", "Hex"}));
  ini.ReadSectionValues("User", names);
  EXPECT_EQ(names, (std::vector<std::string>{"n1=Ace"}));
}

TEST_F(IniFile, WritesEraseAndLongValues) {
  TIniFile ini(file_);
  ini.WriteInteger("Options", "Music", 3);
  ini.WriteBool("Options", "UDI", false);
  ini.WriteString("eB", "e", "1 2 3");
  ini.DeleteKey("Options", "Bad");
  ini.EraseSection("User");
  EXPECT_EQ(ini.ReadString("Options", "Music", ""), "3");
  EXPECT_EQ(ini.ReadString("Options", "UDI", ""), "0");
  EXPECT_EQ(ini.ReadString("eB", "e", ""), "1 2 3");
  EXPECT_FALSE(ini.ValueExists("Options", "Bad"));
  EXPECT_FALSE(ini.SectionExists("User"));
  // Values come back through a 2048-character buffer.
  ini.WriteString("Table", "long", std::string(3000, 'a'));
  EXPECT_EQ(ini.ReadString("Table", "long", "").size(), 2047u);
}

TEST_F(IniFile, AFailedWriteRaises) {
  std::string bad = (dir_ / "missing" / "game.INI").string();
  TIniFile ini(bad);
  try {
    ini.WriteString("Options", "Music", "1");
    FAIL() << "no exception";
  } catch (const EIniFileException& e) {
    EXPECT_EQ(e.Message(), "Unable to write to " + bad);
  }
  EXPECT_THROW(ini.WriteInteger("Options", "Music", 1), EIniFileException);
}

TEST(RandomGenerator, SeedReplaysAndStaysInRange) {
  RandSeed = 12345;
  std::vector<int> a;
  for (int i = 0; i < 100; ++i) a.push_back(Random(10));
  RandSeed = 12345;
  for (int i = 0; i < 100; ++i) EXPECT_EQ(Random(10), a[static_cast<size_t>(i)]);
  bool seen[10] = {};
  for (int v : a) {
    ASSERT_GE(v, 0);
    ASSERT_LT(v, 10);
    seen[v] = true;
  }
  for (bool s : seen) EXPECT_TRUE(s);
  EXPECT_EQ(Random(0), 0);
  EXPECT_EQ(Random(-5), 0);
  EXPECT_EQ(Random(1), 0);
  double f = RandomFloat();
  EXPECT_GE(f, 0.0);
  EXPECT_LT(f, 1.0);
}

}  // namespace
