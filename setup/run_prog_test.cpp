#include "setup/run_prog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/win/process.h"
#include "setup/setup_test_util.h"
#include "tests/main/real_clock.h"

using namespace setup_test;

namespace {

class Starter : public ::testing::Test {
 protected:
  void SetUp() override {
    record_ = dir_.File("record");
    setenv("TAL_FAKE_RECORD", record_.c_str(), 1);
    run_ = new TzcRunProg(nullptr);
    run_->OnBeforeRun = [this](TObject*) { events_.push_back("before run"); };
    run_->OnBeforeWait = [this](TObject*) { events_.push_back("before wait"); };
    run_->OnFinish = [this](TObject*) { events_.push_back("finish"); };
    run_->OnError = [this](TObject*, TzcRunError E, int32_t Code) {
      events_.push_back("error " + std::to_string(E) + " " + std::to_string(Code));
    };
  }
  void TearDown() override {
    delete run_;
    unsetenv("TAL_FAKE_RECORD");
    SetProgramFolder("");
  }
  // A copy of the fake program under another name, executable.
  std::string Copy(const std::string& Dir, const std::string& Name) {
    std::filesystem::create_directories(Dir);
    std::string to = Dir + "/" + Name;
    std::filesystem::copy_file(TAL_FAKE_PROGRAM, to,
                               std::filesystem::copy_options::overwrite_existing);
    chmod(to.c_str(), 0755);
    return to;
  }
  // The record of the last start, once the program has written it.
  std::string Record() {
    WaitOnRealClock([&] { return !ReadAll(record_).empty(); });
    return ReadAll(record_);
  }
  std::string Field(const std::string& Key) {
    std::string r = Record();
    size_t at = r.find(Key + "=");
    if (at == std::string::npos) return "<none>";
    size_t end = r.find('\n', at);
    return r.substr(at + Key.size() + 1, end - at - Key.size() - 1);
  }

  THeadlessSetup headless_;
  TApplicationScope app_;
  TScratchDir dir_;
  std::string record_;
  TzcRunProg* run_ = nullptr;
  std::vector<std::string> events_;
};

TEST_F(Starter, StartsWithoutWaitingAndReportsNothingElse) {
  run_->SetWait(false);
  run_->SetCmdLine(std::string(TAL_FAKE_PROGRAM) + " exit 3");
  run_->Run();
  EXPECT_EQ(run_->ReturnCode(), 0);
  EXPECT_EQ(run_->LastResultCode(), zre_OK);
  EXPECT_EQ(run_->GetRealErrorCode(), 0);
  EXPECT_EQ(events_, std::vector<std::string>{"before run"});
  EXPECT_EQ(Field("argc"), "2");
}

TEST_F(Starter, WaitsPlainlyForTheExitCodeOrHardlyWithoutIt) {
  struct TCase {
    bool Hard;
    int Exit;
    int ReturnCode;
  };
  // 259 is the "still running" code: the wait on the process itself ends
  // all the same.
  for (TCase c : {TCase{false, 3, 3}, TCase{false, 259 % 256, 259 % 256}, TCase{true, 3, 0}}) {
    SCOPED_TRACE(testing::Message() << (c.Hard ? "hard" : "plain") << " " << c.Exit);
    events_.clear();
    run_->SetWait(true);
    run_->SetHardWait(c.Hard);
    run_->RunCmdLine(std::string(TAL_FAKE_PROGRAM) + " exit " + std::to_string(c.Exit));
    EXPECT_EQ(run_->ReturnCode(), c.ReturnCode);
    EXPECT_EQ(events_, (std::vector<std::string>{"before run", "before wait", "finish"}));
  }
}

TEST_F(Starter, AProgramThatIsNotThereFailsThroughOnErrorOnce) {
  run_->SetCmdLine("no-such-program-anywhere.exe and arguments");
  run_->Run();
  EXPECT_EQ(run_->LastResultCode(), zre_FileNotFound);
  EXPECT_EQ(run_->GetRealErrorCode(), 2);
  EXPECT_EQ(events_, (std::vector<std::string>{"before run", "error 2 2"}));
  // The stored values are not for writing.
  run_->SetReturnCode(42);
  run_->SetLastResultCode(zre_OK);
  EXPECT_EQ(run_->ReturnCode(), 0);
  EXPECT_EQ(run_->LastResultCode(), zre_FileNotFound);
}

TEST_F(Starter, ALineTooLongForTheBufferIsRefusedNotCut) {
  std::string line = std::string(TAL_FAKE_PROGRAM) + " ";
  line += std::string(511 - line.size(), 'x');
  run_->SetWait(true);
  run_->RunCmdLine(line);  // 511 characters: runs
  EXPECT_EQ(run_->LastResultCode(), zre_OK);
  std::filesystem::remove(record_);
  events_.clear();
  run_->RunCmdLine(line + "y");
  EXPECT_EQ(events_, (std::vector<std::string>{"before run", "error 9 206"}));
  usleep(50000);
  EXPECT_FALSE(std::filesystem::exists(record_));
}

TEST_F(Starter, ErrorCodesMapToResultsByTheTable) {
  struct TCase {
    int32_t Code;
    TzcRunError Result;
  };
  const TCase cases[] = {
      {0, zre_OK},
      {1, zre_FileNotFound},
      {2, zre_FileNotFound},
      {3, zre_PathNotFound},
      {4, zre_FileError},
      {5, zre_networkerror},
      {6, zre_MemoryError},
      {14, zre_MemoryError},
      {15, zre_FileError},
      {31, zre_FileError},
      {32, zre_networkerror},
      {36, zre_networkerror},
      {37, zre_UnknownError},
      {38, zre_FileError},
      {52, zre_FileError},
      {53, zre_networkerror},
      {55, zre_networkerror},
      {56, zre_UnknownError},
      {193, zre_UnknownError},
      {-1, zre_UnknownError},
  };
  for (const TCase& c : cases) EXPECT_EQ(RunErrorFromCode(c.Code), c.Result) << c.Code;
}

TEST_F(Starter, FailuresCarryThePlatformsCodesFromWhatTheSystemSays) {
  std::string plain = dir_.File("plain.txt");
  WriteAll(plain, "not a program");
  chmod(plain.c_str(), 0644);
  std::string garbage = dir_.File("garbage");
  WriteAll(garbage, "\x01\x02\x03\x04 not a program");
  chmod(garbage.c_str(), 0755);
  std::filesystem::create_directory(dir_.File("folder"));
  struct TCase {
    std::string Line;
    int32_t Code;
  };
  const TCase cases[] = {
      {dir_.File("missing"), 2},  // ENOENT
      {plain + "/inside", 3},     // ENOTDIR
      {plain, 5},                 // EACCES: not executable, root included
      {dir_.File("folder"), 5},   // a folder is no program
      {garbage, 193},             // ENOEXEC
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Line);
    events_.clear();
    run_->RunCmdLine("\"" + c.Line + "\"");
    EXPECT_EQ(run_->GetRealErrorCode(), c.Code);
    EXPECT_EQ(events_.size(), 2u);
  }
  EXPECT_EQ(ErrnoToWinError(ENOMEM), 8u);
}

TEST_F(Starter, LooksInTheProgramsFolderThenTheCurrentOneThenPath) {
  const std::string programs = dir_.File("programs"), current = dir_.File("current"),
                    path = dir_.File("path");
  std::string a = Copy(programs, "game"), b = Copy(current, "game"), c = Copy(path, "game");
  SetProgramFolder(programs + "/");
  std::string here = std::filesystem::current_path().string();
  std::filesystem::current_path(current);
  std::string savedPath = getenv("PATH") ? getenv("PATH") : "";
  setenv("PATH", ("/nonexistent:" + path).c_str(), 1);
  run_->SetWait(true);
  for (const std::string& expected : {a, b, c}) {
    std::filesystem::remove(record_);
    run_->RunCmdLine("game.exe");  // also found without ".exe"
    EXPECT_EQ(Field("exe"), expected);
    std::filesystem::remove(expected);
  }
  events_.clear();
  run_->RunCmdLine("game.exe");
  EXPECT_EQ(run_->GetRealErrorCode(), 2);
  std::filesystem::current_path(here);
  setenv("PATH", savedPath.c_str(), 1);
}

TEST_F(Starter, TheChildGetsTheCallersEnvironmentAndDirectoryAndOnlyTheStandardDescriptors) {
  setenv("TAL_FAKE_MARK", "inherited", 1);
  int extra = ::open("/dev/null", O_RDONLY);  // not close-on-exec
  ASSERT_GE(extra, 0);
  run_->SetWait(true);
  run_->RunCmdLine(std::string("\"") + TAL_FAKE_PROGRAM + "\" \"two words\" a\\\"b c:\\\\d\\\\");
  ::close(extra);
  unsetenv("TAL_FAKE_MARK");
  EXPECT_EQ(Field("mark"), "inherited");
  EXPECT_EQ(Field("cwd"), std::filesystem::current_path().string());
  EXPECT_EQ(Field("fds"), "3");
  std::string r = Record();
  EXPECT_NE(r.find("arg=two words\narg=a\"b\narg=c:\\\\d\\\\\n"), std::string::npos) << r;
}

TEST_F(Starter, CommandLinesSplitByTheOriginalRules) {
  struct TCase {
    const char* Line;
    std::vector<std::string> Words;
  };
  const TCase cases[] = {
      {"talgame.exe", {"talgame.exe"}},
      {"  a   b\tc ", {"a", "b", "c"}},
      {"\"a b\" c", {"a b", "c"}},
      {"a\\\\\"b c\"", {"a\\b c"}},  // 2n backslashes: n, and the quote opens
      {"a\\\\\\\"b", {"a\\\"b"}},    // 2n+1: n and a literal quote
      {"a\\b\\\\c", {"a\\b\\\\c"}},  // not before a quote: literal
      {"\"\"", {""}},
      {"\"a\"\"b\"", {"a\"b"}},
      {"", {}},
  };
  for (const TCase& c : cases) EXPECT_EQ(SplitCommandLine(c.Line), c.Words) << c.Line;
}

TEST_F(Starter, ChildrenNobodyWaitsForAreReaped) {
  PROCESS_INFORMATION pi;
  STARTUPINFOA si;
  ASSERT_TRUE(CreateProcessA(nullptr, TAL_FAKE_PROGRAM, FALSE, 0, nullptr, &si, &pi));
  pid_t pid = static_cast<pid_t>(pi.dwProcessId);
  CloseHandle(pi.hProcess);
  // Once it has ended, the next start or close reaps it: no zombie stays.
  const bool gone = WaitOnRealClock([&] {
    CloseHandle(nullptr);
    PROCESS_INFORMATION other;
    if (CreateProcessA(nullptr, TAL_FAKE_PROGRAM, FALSE, 0, nullptr, &si, &other)) {
      WaitForSingleObject(other.hProcess, INFINITE);
      CloseHandle(other.hProcess);
    }
    return !std::filesystem::exists("/proc/" + std::to_string(pid));
  });
  EXPECT_TRUE(gone);
}

}  // namespace
