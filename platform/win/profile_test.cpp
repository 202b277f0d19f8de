#include "platform/win/profile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "platform/win/profile_seam.h"

namespace {

namespace fs = std::filesystem;

class ProfileFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("tal_profile_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    file_ = (dir_ / "game.INI").string();
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, ec);
    fs::remove_all(dir_, ec);
  }
  void Put(const std::string& text) { std::ofstream(file_, std::ios::binary) << text; }
  std::string Get() {
    std::ifstream in(file_, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  // The names in the folder, sorted.
  std::vector<std::string> Entries() {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir_)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
  }
  fs::path dir_;
  std::string file_;
};

TEST(ProfileText, LookupRules) {
  TProfileText t(
      "stray=before any section\r\n"
      "[Options]\r\n"
      "  Music = 7  \r\n"
      "music=8\r\n"
      "Name=\"  quoted  \"\r\n"
      "; comment=not a key\r\n"
      "Empty=\r\n"
      "[options]\r\n"
      "Music=9\r\n"
      "[Keys]\n"
      "Left=72");
  struct {
    const char* section;
    const char* key;
    std::optional<std::string> want;
  } cases[] = {
      {"Options", "Music", "7"},          // trimmed, first of duplicate keys
      {"OPTIONS", "mUsIc", "7"},          // case ignored in both names
      {"options", "Name", "  quoted  "},  // quotes dropped, inside kept
      {"Options", "Empty", ""},
      {"Options", "; comment", std::nullopt},
      {"Options", "stray", std::nullopt},  // lines before the first section
      {"Keys", "Left", "72"},              // LF section, no final line end
      {"Nope", "Music", std::nullopt},
      {"Options", "Nope", std::nullopt},
  };
  for (const auto& c : cases)
    EXPECT_EQ(t.Get(c.section, c.key), c.want) << c.section << "/" << c.key;
  EXPECT_EQ(t.SectionNames(), (std::vector<std::string>{"Options", "Keys"}));
  EXPECT_EQ(t.KeyNames("options"), (std::vector<std::string>{"Music", "Name", "Empty"}));
}

TEST(ProfileText, WriteChangesOnlyItsLine) {
  const std::string before =
      "; written by hand\r\n"
      "[Options]\r\n"
      "Music=7\r\n"
      "Foreign=kept\r\n"
      "\r\n"
      "[Keys]\r\n"
      "Left=72\r\n";
  TProfileText t(before);
  t.Set("options", "MUSIC", "3");
  t.Set("Options", "Brightness", "100");
  t.Set("User", "Status", "2");
  EXPECT_EQ(t.Text(),
            "; written by hand\r\n"
            "[Options]\r\n"
            "Music=3\r\n"
            "Foreign=kept\r\n"
            "Brightness=100\r\n"
            "\r\n"
            "[Keys]\r\n"
            "Left=72\r\n"
            "[User]\r\n"
            "Status=2\r\n");
}

TEST(ProfileText, NewLinesFollowTheFilesLineEnds) {
  TProfileText lf("[A]\nx=1");
  lf.Set("A", "y", "2");
  lf.Set("B", "z", "3");
  EXPECT_EQ(lf.Text(), "[A]\nx=1\ny=2\n[B]\nz=3\n");
  TProfileText empty;
  empty.Set("A", "x", "1");
  EXPECT_EQ(empty.Text(), "[A]\r\nx=1\r\n");
}

TEST(ProfileText, AByteOrderMarkHidesNoSection) {
  TProfileText t("\xEF\xBB\xBF[Options]\r\nMusic=7\r\n");
  EXPECT_EQ(t.Get("Options", "Music"), "7");
  t.Set("Options", "Music", "8");
  EXPECT_EQ(t.Text(), "\xEF\xBB\xBF[Options]\r\nMusic=8\r\n");
}

TEST(ProfileText, DeleteKeyAndSection) {
  TProfileText t("[A]\nx=1\ny=2\n[B]\nz=3\n[C]\nw=4\n");
  EXPECT_TRUE(t.DeleteKey("a", "X"));
  EXPECT_FALSE(t.DeleteKey("a", "x"));
  EXPECT_TRUE(t.DeleteSection("b"));
  EXPECT_EQ(t.Text(), "[A]\ny=2\n[C]\nw=4\n");
}

// Runs of reads and writes in one section go through what the text remembers
// of it; after every edit each lookup must still give what a fresh reading of
// the same text gives, whatever the mix of sections, spellings and lines.
TEST(ProfileText, LookupsAfterEditsMatchAFreshReading) {
  const char* sections[] = {"Options", "OPTIONS", "Keys", "Table", "New"};
  const char* keys[] = {"a", "A", "Brightness", "t1", "t10", "x"};
  const char* values[] = {"", "1", "a much longer value than before", "  padded  ", "7"};
  TProfileText t(
      "; settings\r\n[Options]\r\na=1\r\n\r\nA=dup\r\nBrightness=50\r\n\r\n\r\n"
      "[Keys]\r\nx=3\r\n[Table]\r\nt1=9");
  uint32_t seed = 12345;
  auto next = [&](uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % n;
  };
  for (int step = 0; step < 400; ++step) {
    const char* section = sections[next(5)];
    const char* key = keys[next(6)];
    switch (next(8)) {
      case 0:
        t.DeleteKey(section, key);
        break;
      case 1:
        if (next(4) == 0) t.DeleteSection(section);
        break;
      case 2:
      case 3:
      case 4:
        t.Set(section, key, values[next(5)]);
        break;
      default:
        break;  // lookups only
    }
    const TProfileText fresh(t.Text());
    for (const char* s : sections)
      for (const char* k : keys)
        ASSERT_EQ(t.Get(s, k), fresh.Get(s, k)) << "step " << step << " [" << s << "] " << k << "\n"
                                                << t.Text();
  }
}

TEST_F(ProfileFile, MissingFileReadsEmptyAndWriteCreatesIt) {
  EXPECT_FALSE(ProfileReadString(file_, "Options", "Music").has_value());
  EXPECT_TRUE(ProfileSectionNames(file_).empty());
  ASSERT_TRUE(ProfileWriteString(file_, "Options", "Music", "5"));
  EXPECT_EQ(Get(), "[Options]\r\nMusic=5\r\n");
  EXPECT_EQ(ProfileReadString(file_, "options", "music"), "5");
}

TEST_F(ProfileFile, WriteKeepsForeignContentAndLeavesNoTemporaryFile) {
  Put("[Options]\r\nMusic=7\r\n; note\r\n[TT]\r\nt1=100\r\n");
  ASSERT_TRUE(ProfileWriteString(file_, "Options", "Music", "1"));
  EXPECT_EQ(Get(), "[Options]\r\nMusic=1\r\n; note\r\n[TT]\r\nt1=100\r\n");
  int entries = 0;
  for (const auto& e : fs::directory_iterator(dir_)) entries += e.is_regular_file();
  EXPECT_EQ(entries, 1);
}

// The names a save leaves behind when it is killed before its rename, made
// by killing a real save in a child process.
std::string KilledSaveLeftover(const std::string& File, const fs::path& Dir) {
  std::set<std::string> before;
  for (const auto& e : fs::directory_iterator(Dir)) before.insert(e.path().filename().string());
  pid_t child = ::fork();
  if (child == 0) {
    SetProfileWriteHook([](TProfileWriteStep S) {
      if (S == pwsTempWritten) ::raise(SIGKILL);
    });
    ProfileWriteString(File, "Options", "Music", "killed");
    ::_exit(0);
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFSIGNALED(status)) return "";
  std::string made;
  for (const auto& e : fs::directory_iterator(Dir))
    if (!before.count(e.path().filename().string())) made = e.path().filename().string();
  return made;
}

// Puts the system's calls back however a test ends.
struct TRestoreProfileCalls {
  ~TRestoreProfileCalls() {
    SetProfileFileCalls({});
    SetProfileWriteHook(nullptr);
  }
};

// Where a save fails once its temporary file exists.
enum TSaveFault { sfDiskFull, sfCutShort, sfRenameRefused };
const struct {
  const char* What;
  TSaveFault Fault;
} kSaveFaults[] = {
    {"the disk is full at the first byte", sfDiskFull},
    {"the write stops half-way", sfCutShort},
    {"the file has become a folder when the rename comes", sfRenameRefused},
};

struct TFailedSave {
  bool Saved = true;
  bool TempExisted = false;  // the temporary file was there when the save began to fail
};

// A save of game.INI in Dir that meets Fault, with the file-system calls
// Calls otherwise. Leaves the hook and the calls as the system's.
TFailedSave SaveMeeting(TSaveFault Fault, TProfileFileCalls Calls, const std::string& File,
                        const fs::path& Dir) {
  auto names = [&] {
    std::set<std::string> out;
    for (const auto& e : fs::directory_iterator(Dir)) out.insert(e.path().filename().string());
    return out;
  };
  const std::set<std::string> before = names();
  TFailedSave out;
  SetProfileWriteHook([&](TProfileWriteStep S) {
    if (S == pwsTempCreated)
      for (const std::string& name : names()) out.TempExisted |= before.count(name) == 0;
    if (S == pwsTempSynced && Fault == sfRenameRefused) {
      fs::remove(File);
      fs::create_directories(fs::path(File) / "kept");
    }
  });
  int writes = 0;
  if (Fault != sfRenameRefused)
    Calls.Write = [&](int Fd, const void* Data, size_t Size) -> ssize_t {
      if (Fault == sfCutShort && writes++ == 0) return ::write(Fd, Data, Size / 2);
      errno = Fault == sfDiskFull ? ENOSPC : EIO;
      return -1;
    };
  SetProfileFileCalls(std::move(Calls));
  out.Saved = ProfileWriteString(File, "Options", "Music", "1");
  SetProfileFileCalls({});
  SetProfileWriteHook(nullptr);
  return out;
}

TEST_F(ProfileFile, AWriteRemovesTheTemporaryFilesOfKilledWritesOnly) {
  Put("[Options]\r\nMusic=7\r\n");
  const std::string leftover = KilledSaveLeftover(file_, dir_);
  ASSERT_FALSE(leftover.empty());
  ASSERT_EQ(Get(), "[Options]\r\nMusic=7\r\n");
  auto put = [&](const std::string& Name, const std::string& Text) {
    std::ofstream((dir_ / Name).string(), std::ios::binary) << Text;
  };
  // A second leftover, as a write killed once its text was whole leaves it.
  std::string whole = leftover;
  whole.back() = whole.back() == 'Q' ? 'R' : 'Q';
  put(whole, "[Options]\r\nMusic=9\r\n");
  // Names a person or another program may give their own files beside
  // game.INI, and names that only look like a save's.
  std::vector<std::string> foreign = {".game.INI.backup",  ".game.INI.old001",  ".game.INI.bak",
                                      ".game.INI.a1B2c3",  ".other.INI.a1B2c3", "game.INI.a1B2c3",
                                      ".game.INI.a1B2c3d", ".game.INI.a1-2c3"};
  std::string odd = leftover;
  odd.back() = '-';
  for (const std::string& like : {leftover + "d", leftover.substr(0, leftover.size() - 1), odd,
                                  leftover.substr(1), "x" + leftover})
    foreign.push_back(like);
  for (const std::string& name : foreign) put(name, "keep");
  // A write running in another program holds its temporary file locked.
  std::string live = leftover;
  live.back() = live.back() == 'Z' ? 'Y' : 'Z';
  put(live, "");
  int fd = ::open((dir_ / live).c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);

  ASSERT_TRUE(ProfileWriteString(file_, "Options", "Music", "1"));
  EXPECT_EQ(Get(), "[Options]\r\nMusic=1\r\n");
  EXPECT_FALSE(fs::exists(dir_ / leftover)) << leftover;
  EXPECT_FALSE(fs::exists(dir_ / whole)) << whole;
  for (const std::string& name : foreign) {
    std::error_code ec;
    EXPECT_EQ(fs::file_size(dir_ / name, ec), 4u) << name;
  }
  EXPECT_TRUE(fs::exists(dir_ / live));

  // Once its writer is gone, it is a leftover too.
  ::close(fd);
  ASSERT_TRUE(ProfileWriteString(file_, "Options", "Music", "2"));
  EXPECT_FALSE(fs::exists(dir_ / live));
  EXPECT_EQ(Entries().size(), foreign.size() + 1);
}

// A file system that keeps no locks (a network mount without a lock
// service, or one that makes none): saves go on without the lock, as they
// did before they took one, and none leaves its own temporary file behind.
TEST_F(ProfileFile, WithoutLocksSavesLandAndLeaveNoTemporaryFile) {
  TRestoreProfileCalls restore;
  for (int error : {ENOLCK, EOPNOTSUPP, EINVAL}) {
    SCOPED_TRACE(std::strerror(error));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    Put("[Options]\r\nMusic=7\r\n");
    // A leftover of a save killed long ago, and one of a save that may be
    // running now: without locks only their age tells them apart.
    const std::string old = KilledSaveLeftover(file_, dir_);
    ASSERT_FALSE(old.empty());
    std::string recent = old;
    recent.back() = recent.back() == 'Z' ? 'Y' : 'Z';
    fs::copy_file(dir_ / old, dir_ / recent);
    const timespec twoHoursAgo[2] = {{::time(nullptr) - 2 * 60 * 60, 0},
                                     {::time(nullptr) - 2 * 60 * 60, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (dir_ / old).c_str(), twoHoursAgo, 0), 0);

    int locks = 0;
    const TProfileFileCalls lockless{.Lock = [&](int, int) {
      ++locks;
      errno = error;
      return -1;
    }};
    SetProfileFileCalls(lockless);
    for (int i = 0; i < 3; ++i)
      ASSERT_TRUE(ProfileWriteString(file_, "Options", "Music", std::to_string(i)));
    EXPECT_EQ(Get(), "[Options]\r\nMusic=2\r\n");
    EXPECT_GT(locks, 0);
    EXPECT_EQ(Entries(), (std::vector<std::string>{recent, "game.INI"}));

    // A write that cannot land takes its temporary file away too.
    for (const auto& f : kSaveFaults) {
      SCOPED_TRACE(f.What);
      fs::remove_all(file_);
      Put("[Options]\r\nMusic=2\r\n");
      const TFailedSave save = SaveMeeting(f.Fault, lockless, file_, dir_);
      EXPECT_TRUE(save.TempExisted) << "the save failed before its temporary file existed";
      EXPECT_FALSE(save.Saved);
      EXPECT_EQ(Entries(), (std::vector<std::string>{recent, "game.INI"}));
    }
    SetProfileFileCalls({});
  }
}

// Once the file is renamed into place the save has happened: syncing the
// folder makes the rename outlive a power cut, and a folder that cannot be
// opened or synced leaves the save standing, reported as done.
TEST_F(ProfileFile, TheFolderIsSyncedAfterTheRenameAndItsFailureLosesNoSave) {
  TRestoreProfileCalls restore;
  struct stat folder;
  ASSERT_EQ(::stat(dir_.c_str(), &folder), 0);
  const struct {
    const char* what;
    int openError, syncError;
  } cases[] = {{"the folder synced", 0, 0},
               {"a folder that cannot be opened", EACCES, 0},
               {"a folder that cannot be synced", 0, EIO},
               {"a file system without folder sync", 0, EINVAL}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Put("[Options]\r\nMusic=7\r\n");
    bool renamed = false;
    int syncs = 0;
    SetProfileWriteHook([&](TProfileWriteStep S) { renamed = renamed || S == pwsRenamed; });
    SetProfileFileCalls({.OpenFolder =
                             [&](const char* Path) {
                               if (c.openError) {
                                 errno = c.openError;
                                 return -1;
                               }
                               return ::open(Path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                             },
                         .SyncFolder =
                             [&](int Fd) {
                               struct stat synced;
                               EXPECT_EQ(::fstat(Fd, &synced), 0);
                               EXPECT_EQ(synced.st_ino, folder.st_ino);
                               EXPECT_TRUE(renamed) << "the folder was synced before the rename";
                               ++syncs;
                               if (!c.syncError) return ::fsync(Fd);
                               errno = c.syncError;
                               return -1;
                             }});
    EXPECT_TRUE(ProfileWriteString(file_, "Options", "Music", "1"));
    EXPECT_EQ(Get(), "[Options]\r\nMusic=1\r\n");
    EXPECT_EQ(syncs, c.openError ? 0 : 1);
    EXPECT_EQ(Entries(), std::vector<std::string>{"game.INI"});
  }
}

TEST_F(ProfileFile, BackslashPathsAndDoubledSeparators) {
  std::string win = dir_.string() + "\\\\game.INI";
  ASSERT_TRUE(ProfileWriteString(win, "User", "Status", "3"));
  EXPECT_EQ(ProfileReadString(file_, "User", "Status"), "3");
}

TEST_F(ProfileFile, AWriteCutShortLeavesTheOldFileWhole) {
  // A write that stops half-way (here: the file-size limit, as a full disk
  // would) must leave the old file as it was and no stray file beside it.
  const std::string before = "[Options]\r\nMusic=7\r\nForeign=kept\r\n";
  Put(before);
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = before.size() + 8;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  bool written = ProfileWriteString(file_, "Options", "Music", std::string(100, '9'));
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_FALSE(written);
  EXPECT_EQ(Get(), before);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator{}), 1);
}

// A save that fails once its temporary file exists reports the failure,
// keeps the old file as it was and takes its temporary file away.
TEST_F(ProfileFile, AWriteThatCannotLandLeavesNoTemporaryFile) {
  TRestoreProfileCalls restore;
  const std::string before = "[Options]\r\nMusic=7\r\n";
  for (const auto& f : kSaveFaults) {
    SCOPED_TRACE(f.What);
    fs::remove_all(file_);
    Put(before);
    const TFailedSave save = SaveMeeting(f.Fault, {}, file_, dir_);
    EXPECT_TRUE(save.TempExisted) << "the save failed before its temporary file existed";
    EXPECT_FALSE(save.Saved);
    EXPECT_EQ(Entries(), std::vector<std::string>{"game.INI"});
    if (f.Fault != sfRenameRefused) {
      EXPECT_EQ(Get(), before);
    }
  }
}

TEST_F(ProfileFile, WriteIntoMissingFolderFails) {
  EXPECT_FALSE(ProfileWriteString((dir_ / "no" / "game.INI").string(), "A", "b", "c"));
}

TEST_F(ProfileFile, RefusesTextThatWouldPlantLines) {
  Put("[Options]\r\nMusic=7\r\n");
  EXPECT_FALSE(ProfileWriteString(file_, "Options", "Music", "1\r\n[Evil]\r\nx=1"));
  EXPECT_FALSE(ProfileWriteString(file_, "Opt]ions", "Music", "1"));
  EXPECT_FALSE(ProfileWriteString(file_, "Options", "Mu=sic", "1"));
  EXPECT_EQ(Get(), "[Options]\r\nMusic=7\r\n");
}

TEST_F(ProfileFile, PlatformShapedCalls) {
  Put("[Options]\r\nMusic=7\r\nVolume=-3\r\n[Keys]\r\nLeft=72\r\n");
  char buf[64];
  EXPECT_EQ(GetPrivateProfileStringA("Options", "Music", "xyz", buf, sizeof buf, file_.c_str()),
            1u);
  EXPECT_STREQ(buf, "7");
  EXPECT_EQ(GetPrivateProfileStringA("Options", "Nope", "xyz", buf, sizeof buf, file_.c_str()), 3u);
  EXPECT_STREQ(buf, "xyz");
  // A small buffer truncates.
  EXPECT_EQ(GetPrivateProfileStringA("Options", "Nope", "abcdef", buf, 4, file_.c_str()), 3u);
  EXPECT_STREQ(buf, "abc");
  // Section names as a double-null-terminated list.
  DWORD n = GetPrivateProfileStringA(nullptr, nullptr, "", buf, sizeof buf, file_.c_str());
  EXPECT_EQ(std::string(buf, n), std::string("Options\0Keys\0", 13));
  EXPECT_EQ(GetPrivateProfileIntA("Options", "Volume", 5, file_.c_str()), static_cast<UINT>(-3));
  EXPECT_EQ(GetPrivateProfileIntA("Options", "Nope", 5, file_.c_str()), 5u);
  EXPECT_TRUE(WritePrivateProfileStringA("Options", "Volume", nullptr, file_.c_str()));
  EXPECT_TRUE(WritePrivateProfileStringA("Keys", nullptr, nullptr, file_.c_str()));
  EXPECT_EQ(Get(), "[Options]\r\nMusic=7\r\n");
}

}  // namespace
