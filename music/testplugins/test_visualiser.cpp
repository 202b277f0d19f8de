// A stand-in visualisation program for the player's tests, run as a child
// process. "listen NS": maps the shared block of namespace NS read-only,
// prints its size and how many of its bytes are zero, owns a window of class
// "TApplication" titled "ZerIdi" and prints each notice it receives, ending
// at the player-closing notice (20). "create NS": creates the block as a
// player would, marks it, and waits to be killed.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "platform/win/ipc.h"
#include "platform/win/user.h"

namespace {

constexpr const char* kShareName = "fisSharedMemory1";
constexpr DWORD kShareSize = 2312;

int Listen() {
  HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, kShareName);
  const auto* view =
      mapping ? static_cast<const uint8_t*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0))
              : nullptr;
  size_t zeros = 0;
  if (view)
    for (DWORD i = 0; i < kShareSize; ++i) zeros += view[i] == 0;
  std::printf("block %u %zu\n", view ? kShareSize : 0u, zeros);
  // A message registered first, so that this process numbers the notice
  // differently from the player.
  RegisterWindowMessageA("WM_RequestingData");
  const UINT notice = RegisterWindowMessageA("WM_SendingData");
  TWindowParams params;
  params.MessageOnly = true;
  params.Caption = "ZerIdi";
  bool done = false;
  HWND wnd = CreateWindowHandle(params, [&](HWND, UINT m, WPARAM w, LPARAM l) -> LRESULT {
    if (m == notice) {
      std::printf("notice %lu %ld\n", static_cast<unsigned long>(w), static_cast<long>(l));
      std::fflush(stdout);
      if (w == 20) done = true;
    }
    return 0;
  });
  if (!PublishWindow(wnd, "TApplication", "ZerIdi")) {
    std::printf("cannot publish\n");
    return 3;
  }
  std::printf("ready %u\n", notice);
  std::fflush(stdout);
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!done && std::chrono::steady_clock::now() < end) {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    if (!done) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  DestroyWindow(wnd);
  if (view) UnmapViewOfFile(view);
  if (mapping) CloseHandle(mapping);
  return done ? 0 : 2;
}

int Create() {
  HANDLE mapping =
      CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kShareSize, kShareName);
  const DWORD err = GetLastError();
  auto* view =
      mapping ? static_cast<uint8_t*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0)) : nullptr;
  if (view) std::memset(view, 0xAB, kShareSize);
  std::printf("created %u\n", mapping ? err : 9999u);
  std::fflush(stdout);
  for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 1;
  SetIpcNamespace(argv[2]);
  if (std::strcmp(argv[1], "listen") == 0) return Listen();
  if (std::strcmp(argv[1], "create") == 0) return Create();
  return 1;
}
