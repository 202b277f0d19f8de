// game.INI as an attacker or a broken disk would leave it: huge files, files
// of many keys, things that are not files, files that must not be replaced.
// Each case holds for root too, since CI runs as root.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "platform/win/profile.h"
#include "tests/hostile_peak_memory.h"

namespace {

namespace fs = std::filesystem;

// Processor time of this process: unlike the wall clock, it does not grow
// when other programs load the machine.
double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

std::string ManyKeys(int Count) {
  std::string text = "[Table]\r\n";
  for (int i = 0; i < Count; ++i) text += "k" + std::to_string(i) + "=1\r\n";
  return text;
}

class HostileProfile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("tal_hostile_ini_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    file_ = (dir_ / "game.INI").string();
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  static void Put(const std::string& Path, const std::string& Text) {
    std::ofstream(Path, std::ios::binary) << Text;
  }
  static std::string Get(const std::string& Path) {
    std::ifstream in(Path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  fs::path dir_;
  std::string file_;
};

TEST(HostileProfileText, ListingManyKeysAndSectionsIsLinear) {
  // 100,000 keys, and as many sections: listing them took seconds when each
  // name was compared with every name before it.
  std::string sections;
  for (int i = 0; i < 100000; ++i) sections += "[s" + std::to_string(i) + "]\n";
  const TProfileText keys(ManyKeys(100000)), heads(sections);
  const double start = CpuSeconds();
  EXPECT_EQ(keys.KeyNames("table").size(), 100000u);
  EXPECT_EQ(heads.SectionNames().size(), 100000u);
  EXPECT_EQ(keys.Get("Table", "k99999"), "1");
  // A linear pass takes milliseconds; the quadratic one, minutes under the
  // sanitizers. The bound leaves room for a slow, loaded machine.
  EXPECT_LT(CpuSeconds() - start, 5.0);
  // Names that differ only in case are one name, listed as first spelt.
  const TProfileText dup("[A]\nKey=1\nkey=2\nKEY=3\nOther=4\n[a]\n");
  EXPECT_EQ(dup.KeyNames("a"), (std::vector<std::string>{"Key", "Other"}));
  EXPECT_EQ(dup.SectionNames(), (std::vector<std::string>{"A"}));
}

TEST(HostileProfileText, BlankLinesCostNoMoreThanTheirBytes) {
  // 16 MB of line ends took a gigabyte when each line was its own string.
  const std::string text(16 << 20, '\n');
  TPeakMemory peak;
  ASSERT_TRUE(peak.Available());
  TProfileText t(text);
  EXPECT_TRUE(t.SectionNames().empty());
  t.Set("Options", "Music", "1");
  EXPECT_EQ(t.Get("Options", "Music"), "1");
  // The text itself and a copy while editing.
  EXPECT_LT(peak.Growth(), 64 * MiB) << peak.Growth() / MiB << " MiB";
}

TEST_F(HostileProfile, FilesThatAreNotAGameIniAreNeitherReadNorWritten) {
  struct Case {
    const char* what;
    std::function<void()> arrange;
    std::string path;  // what the calls are given
  };
  const std::string big =
      std::string("[Options]\r\nMusic=7\r\n") + std::string((1 << 20) + 16, ';');
  const Case cases[] = {
      {"a FIFO, which would block every open and read",
       [&] { ASSERT_EQ(::mkfifo(file_.c_str(), 0644), 0); }, file_},
      {"a file far larger than any game.INI", [&] { Put(file_, big); }, file_},
      {"a folder", [&] { fs::create_directories(file_); }, file_},
      {"a device that is always full", [&] { fs::create_symlink("/dev/full", file_); }, file_},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    c.arrange();
    TPeakMemory peak;
    EXPECT_FALSE(ProfileReadString(c.path, "Options", "Music").has_value());
    EXPECT_TRUE(ProfileSectionNames(c.path).empty());
    EXPECT_FALSE(ProfileWriteString(c.path, "Options", "Music", "1"));
    EXPECT_FALSE(ProfileDeleteKey(c.path, "Options", "Music"));
    EXPECT_LT(peak.Growth(), 16 * MiB);
    // Left as it was, with nothing beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator{}), 1);
  }
  EXPECT_TRUE(fs::is_symlink(file_));  // the last case: still the link to the device
}

TEST_F(HostileProfile, FailedWritesKeepTheFileEvenForRoot) {
  // Folder permissions do not stop root; these do.
  const std::string before = "[Options]\r\nMusic=7\r\n; kept\r\n";
  struct Case {
    const char* what;
    std::function<std::string()> arrange;  // returns the path to write
    std::string kept;                      // the file that must not change
  };
  const Case cases[] = {
      {"a read-only game.INI",
       [&] {
         Put(file_, before);
         fs::permissions(file_, fs::perms::owner_read | fs::perms::group_read);
         return file_;
       },
       file_},
      {"a path through a plain file",
       [&] {
         Put(file_, before);
         return file_ + "/game.INI";
       },
       file_},
      {"a link to a read-only game.INI",
       [&] {
         const std::string real = (dir_ / "real.INI").string();
         Put(real, before);
         fs::permissions(real, fs::perms::owner_read);
         fs::create_symlink("real.INI", file_);
         return file_;
       },
       (dir_ / "real.INI").string()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    const std::string path = c.arrange();
    const auto entries = std::distance(fs::directory_iterator(dir_), fs::directory_iterator{});
    EXPECT_FALSE(ProfileWriteString(path, "Options", "Music", "1"));
    EXPECT_FALSE(ProfileDeleteSection(path, "Options"));
    EXPECT_EQ(WritePrivateProfileStringA("Options", "Music", "1", path.c_str()), FALSE);
    EXPECT_EQ(Get(c.kept), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator{}), entries);
    // Reading still works where there is a file to read.
    if (path == file_) {
      EXPECT_EQ(ProfileReadString(path, "Options", "Music"), "7");
    }
  }
}

TEST_F(HostileProfile, ALinkedGameIniIsWrittenThroughTheLink) {
  fs::create_directories(dir_ / "saved");
  const std::string real = (dir_ / "saved" / "game.INI").string();
  Put(real, "[Options]\r\nMusic=7\r\n");
  fs::create_symlink("saved/game.INI", file_);
  ASSERT_TRUE(ProfileWriteString(file_, "Options", "Music", "2"));
  EXPECT_TRUE(fs::is_symlink(file_));
  EXPECT_EQ(Get(real), "[Options]\r\nMusic=2\r\n");
  // A link to a file not there yet makes the file where it points.
  fs::remove(real);
  ASSERT_TRUE(ProfileWriteString(file_, "Options", "Music", "3"));
  EXPECT_TRUE(fs::is_symlink(file_));
  EXPECT_EQ(Get(real), "[Options]\r\nMusic=3\r\n");
  // A loop of links is refused, not followed forever.
  fs::remove(file_);
  fs::create_symlink("game.INI", file_);
  EXPECT_FALSE(ProfileWriteString(file_, "Options", "Music", "4"));
}

TEST_F(HostileProfile, AGameIniJustInsideTheSizeBoundIsReadAndWritten) {
  // About 60,000 keys: under a megabyte, far more than any real game.INI.
  const std::string text = ManyKeys(60000);
  ASSERT_LT(text.size(), 1u << 20);
  Put(file_, text);
  const double start = CpuSeconds();
  char buf[64];
  EXPECT_EQ(GetPrivateProfileStringA("Table", nullptr, "", buf, sizeof buf, file_.c_str()), 62u);
  EXPECT_EQ(ProfileKeyNames(file_, "Table").size(), 60000u);
  ASSERT_TRUE(ProfileWriteString(file_, "Table", "k59999", "2"));
  EXPECT_LT(CpuSeconds() - start, 5.0);
  EXPECT_EQ(ProfileReadString(file_, "Table", "k59999"), "2");
  EXPECT_EQ(Get(file_).size(), text.size());
}

}  // namespace
