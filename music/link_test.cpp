// The visualisation link: the shared block, its mutex, and notices to a
// visualisation program run as a child process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "music/appexec.h"
#include "music/bass_player.h"
#include "music/fis_shared_memory.h"
#include "music/player_fixture.h"
#include "platform/win/ipc.h"

extern char** environ;

namespace {

// A child program whose standard output the test reads line by line.
class TChild {
 public:
  TChild(const char* mode) {
    int fds[2];
    if (::pipe(fds) != 0) return;
    posix_spawn_file_actions_t a;
    posix_spawn_file_actions_init(&a);
    posix_spawn_file_actions_adddup2(&a, fds[1], 1);
    posix_spawn_file_actions_addclose(&a, fds[0]);
    const std::string ns = IpcNamespace();
    char* argv[] = {const_cast<char*>(TAL_TEST_VISUALISER), const_cast<char*>(mode),
                    const_cast<char*>(ns.c_str()), nullptr};
    if (posix_spawn(&pid_, TAL_TEST_VISUALISER, &a, nullptr, argv, environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&a);
    ::close(fds[1]);
    out_ = fds[0];
  }
  ~TChild() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) ::close(out_);
  }
  // The next line, or "" when none comes within 30 s (a loaded machine).
  std::string Line() {
    for (;;) {
      const size_t nl = buf_.find('\n');
      if (nl != std::string::npos) {
        std::string l = buf_.substr(0, nl);
        buf_.erase(0, nl + 1);
        return l;
      }
      pollfd p{out_, POLLIN, 0};
      if (::poll(&p, 1, 30000) <= 0) return "";
      char b[256];
      const ssize_t n = ::read(out_, b, sizeof(b));
      if (n <= 0) return "";
      buf_.append(b, static_cast<size_t>(n));
    }
  }
  int Wait() {
    int status = -1;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  void Kill() {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string buf_;
};

using LinkTest = PlayerTest;

TEST_F(LinkTest, TheVisualiserSeesTheBlockAndHearsTheClosingNotice) {
  TBASSPlayer player(nullptr);
  ASSERT_TRUE(player.AudioReady);
  ASSERT_NE(player.SharedView(), nullptr);
  TfisSharedMemory& link = *player.SharedMemory();
  EXPECT_EQ(link.ShareName, "fisSharedMemory1");
  EXPECT_EQ(link.Size, 2312);
  EXPECT_EQ(link.TargetApplication, "ZerIdi");
  EXPECT_FALSE(link.MsgOutOnErr);

  // Nobody listens yet: nothing is sent, and nothing is said.
  player.StopZerIdiput();
  EXPECT_EQ(TakeBoxes(), std::vector<std::string>());

  TChild vis("listen");
  EXPECT_EQ(vis.Line(), "block 2312 2312") << "created zero-filled, and the player writes nothing";
  const std::string ready = vis.Line();
  ASSERT_EQ(ready.rfind("ready ", 0), 0u) << ready;
  // The notice crosses by name: the visualiser numbers it its own way.
  EXPECT_NE(ready, "ready " + std::to_string(link.SendingDataMessage()));

  // A second creator of the same name gets False, and its mutex still
  // carries notices.
  TfisSharedMemory second(nullptr);
  second.ShareName = "fisSharedMemory1";
  second.Size = 2312;
  second.TargetApplication = "ZerIdi";
  EXPECT_FALSE(second.OpenMapping());
  EXPECT_EQ(second.MappingHandle(), nullptr);
  EXPECT_NE(second.MutexHandle(), nullptr);
  EXPECT_EQ(second.MapView(), nullptr);
  EXPECT_FALSE(second.UnmapView(player.SharedView())) << "no mapping of its own";
  second.Notify(7, -9);
  EXPECT_EQ(vis.Line(), "notice 7 -9");

  player.StopZerIdiput();
  EXPECT_EQ(vis.Line(), "notice 20 0");
  EXPECT_EQ(vis.Wait(), 0);

  // Gone: a notice with MsgOutOnErr says so; without a target nothing happens.
  second.MsgOutOnErr = true;
  second.Notify(20, 0);
  EXPECT_EQ(TakeBoxes(),
            std::vector<std::string>{
                "Warning...: The application : [ZerIdi] is not active on your system.\n"
                "The notification message has not been sent."});
  second.TargetApplication = "";
  second.Notify(20, 0);
  EXPECT_EQ(TakeBoxes(), std::vector<std::string>());
}

TEST_F(LinkTest, ABlockLeftByAKilledCreatorIsReplaced) {
  TChild creator("create");
  ASSERT_EQ(creator.Line(), "created 0");
  // Alive: the name is taken.
  HANDLE taken = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 2312,
                                    "fisSharedMemory1");
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  ASSERT_NE(taken, nullptr);
  CloseHandle(taken);
  creator.Kill();

  TBASSPlayer player(nullptr);
  ASSERT_TRUE(player.AudioReady);
  ASSERT_NE(player.SharedView(), nullptr) << "the leftover is recognised and replaced";
  const auto* b = static_cast<const uint8_t*>(player.SharedView());
  size_t zeros = 0;
  for (int i = 0; i < 2312; ++i) zeros += b[i] == 0;
  EXPECT_EQ(zeros, 2312u) << "a fresh block, not the dead one's";
}

TEST(AppExec, PathsStateAndParameters) {
  TAppExec e(nullptr);
  EXPECT_EQ(e.ErrNo(), -1);
  EXPECT_TRUE(e.ChangeDir);
  EXPECT_EQ(e.ShowCommand(), 1);
  const std::pair<const char*, const char*> paths[] = {
      {"C:\\Games\\", "C:\\Games"}, {"C:\\", "C:\\"},         {"\\", "\\"},
      {"C:\\Games", "C:\\Games"},   {"D:\\a\\\\", "D:\\a\\"}, {"", ""},
  };
  for (const auto& [in, out] : paths) {
    e.SetExePath(in);
    EXPECT_EQ(e.ExePath(), out) << in;
  }
  const std::pair<TWindowState, int> states[] = {
      {wsMinimized, 2}, {wsMaximized, 3}, {wsNormal, 1}, {wsNormal, 1}};
  for (const auto& [s, cmd] : states) {
    e.SetWindowState(s);
    EXPECT_EQ(e.WindowState(), s);
    EXPECT_EQ(e.ShowCommand(), cmd);
  }
  e.SetExeParams({"-a", "b c"});
  EXPECT_EQ(e.ExeParams(), (std::vector<std::string>{"-a", "b c"}));
}

}  // namespace
