// Shared memory, the named mutex, published windows and posts that cross
// processes through them (here: a raw connection standing for the other
// process).
#include "platform/win/ipc.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/win/user.h"
#include "tests/main/real_clock.h"

namespace {

class Ipc : public ::testing::Test {
 protected:
  void SetUp() override { SetIpcNamespace("ipctest" + std::to_string(::getpid()) + "_"); }
  void TearDown() override { SetIpcNamespace(""); }
};

TEST_F(Ipc, ABlockIsMadeOnceSharedByNameAndGoneWithItsCreator) {
  HANDLE a = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 100, "blk");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  auto* w = static_cast<uint8_t*>(MapViewOfFile(a, FILE_MAP_ALL_ACCESS, 0, 0, 0));
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w[99], 0);
  w[7] = 42;
  // A second creator of the name gets the same block and says so.
  HANDLE b = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 100, "blk");
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  ASSERT_NE(b, nullptr);
  auto* r = static_cast<const uint8_t*>(MapViewOfFile(b, FILE_MAP_READ, 0, 0, 0));
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r[7], 42);
  EXPECT_EQ(MapViewOfFile(b, FILE_MAP_READ, 0, 0, 101), nullptr) << "beyond the block";
  HANDLE ro = OpenFileMappingA(FILE_MAP_READ, FALSE, "blk");
  ASSERT_NE(ro, nullptr);
  EXPECT_EQ(MapViewOfFile(ro, FILE_MAP_WRITE, 0, 0, 0), nullptr) << "opened for reading only";
  EXPECT_TRUE(UnmapViewOfFile(r));
  EXPECT_FALSE(UnmapViewOfFile(r));
  EXPECT_TRUE(UnmapViewOfFile(w));
  EXPECT_TRUE(CloseHandle(ro));
  EXPECT_TRUE(CloseHandle(b));
  EXPECT_TRUE(CloseHandle(a));
  EXPECT_EQ(OpenFileMappingA(FILE_MAP_READ, FALSE, "blk"), nullptr) << "the creator took the name";
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  // Names that are not names, sizes that are not sizes, files that are files.
  for (const char* bad : {"", "a/b"})
    EXPECT_EQ(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 10, bad),
              nullptr);
  EXPECT_EQ(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 0, "z"), nullptr);
  EXPECT_EQ(CreateFileMappingA(nullptr, nullptr, PAGE_READWRITE, 0, 10, "z"), nullptr);
  EXPECT_EQ(MapViewOfFile(nullptr, FILE_MAP_READ, 0, 0, 0), nullptr);
}

TEST_F(Ipc, AMutexIsSharedByNameAndReleasedOnlyByItsOwner) {
  HANDLE m = CreateMutexA(nullptr, FALSE, "mx");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  EXPECT_FALSE(ReleaseMutex(m)) << "never taken";
  EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);
  HANDLE owned = CreateMutexA(nullptr, TRUE, "mx");
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_TRUE(ReleaseMutex(owned));
  EXPECT_FALSE(ReleaseMutex(owned));
  EXPECT_TRUE(CloseHandle(owned));
  EXPECT_TRUE(CloseHandle(m));
  EXPECT_FALSE(ReleaseMutex(m));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

// A connection to a published window, as another process makes it.
int Connect(const std::string& cls, const std::string& title) {
  const std::string name = "tal-window:" + IpcNamespace() + ":" + cls + ":" + title;
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  std::memcpy(a.sun_path + 1, name.data(), name.size());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  const auto len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), len) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

void Send(int fd, uint32_t msg, const std::string& name, int64_t w, int64_t l,
          uint32_t claimed_length) {
  struct {
    uint32_t Msg, NameLength;
    int64_t W, L;
  } p{msg, claimed_length, w, l};
  std::string wire(reinterpret_cast<const char*>(&p), sizeof(p));
  wire += name;
  ASSERT_EQ(::send(fd, wire.data(), wire.size(), MSG_NOSIGNAL), static_cast<ssize_t>(wire.size()));
}

TEST_F(Ipc, PostsFromAnotherProcessArriveUnderTheReceiversNumberAndGarbageIsDropped) {
  std::vector<MSG> got;
  UINT mine = 0;
  TWindowParams params;
  params.MessageOnly = true;
  HWND wnd = CreateWindowHandle(params, [&](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
    // Only what crossed: the window's own messages (creation, destruction) are not.
    if (m == mine || m == 1234 || m == 5 || m >= 0xC000) got.push_back(MSG{h, m, w, l});
    return 0;
  });
  EXPECT_EQ(FindWindowA("TApplication", "Here"), nullptr);
  ASSERT_TRUE(PublishWindow(wnd, "TApplication", "Here"));
  EXPECT_EQ(FindWindowA("TApplication", "Here"), wnd) << "a window of this process is itself";
  EXPECT_EQ(FindWindowA("TApplication", "There"), nullptr);

  mine = RegisterWindowMessageA("WM_Test_Notice");
  EXPECT_EQ(RegisterWindowMessageA("WM_Test_Notice"), mine);
  EXPECT_EQ(RegisteredMessageName(mine), "WM_Test_Notice");
  const int fd = Connect("TApplication", "Here");
  ASSERT_GE(fd, 0);
  // The other side numbered the message its own way; the name decides.
  Send(fd, 0xC123, "WM_Test_Notice", 20, -7, 14);
  Send(fd, 1234, "", 1, 2, 0);
  auto wait = [&](size_t n) {
    WaitOnRealClock(
        [&] {
          MSG m;
          while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
          return got.size() >= n;
        },
        std::chrono::milliseconds(1));
  };
  wait(2);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].message, mine);
  EXPECT_EQ(got[0].wParam, 20u);
  EXPECT_EQ(got[0].lParam, -7);
  EXPECT_EQ(got[1].message, 1234u);

  // A registered number without its name, a name too long, a name with a
  // zero in it: each ends its connection and nothing arrives.
  Send(fd, 0xC001, "", 0, 0, 0);
  const int fd2 = Connect("TApplication", "Here");
  Send(fd2, 0xC001, "x", 0, 0, 100000);
  const int fd3 = Connect("TApplication", "Here");
  Send(fd3, 0xC001, std::string("a\0b", 3), 0, 0, 3);
  const int fd4 = Connect("TApplication", "Here");
  Send(fd4, 5, "", 3, 4, 0);
  wait(3);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[2].message, 5u) << "a good connection still works";
  for (int f : {fd, fd2, fd3, fd4}) ::close(f);

  DestroyWindow(wnd);
  EXPECT_EQ(FindWindowA("TApplication", "Here"), nullptr) << "gone with its window";
}

}  // namespace
