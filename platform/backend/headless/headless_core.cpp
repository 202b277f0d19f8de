#include "platform/backend/headless/headless_core.h"

#include <unistd.h>

#include <memory>
#include <optional>
#include <string>

#include "platform/backend/headless/headless_paint.h"
#include "platform/win/driver.h"
#include "platform/win/ipc.h"
#include "platform/win/shell_seam.h"
#include "platform/win/user.h"
#include "platform/win/user_seam.h"

namespace {

struct THeadlessState {
  std::unique_ptr<TVirtualClock> Clock;
  std::optional<int> Answer;
  std::function<void()> Pace;
  std::function<void(uint64_t)> Wait;
  int DesktopWidth = 1024, DesktopHeight = 768;
  bool CursorVisible = true;
  bool Installed = false;
  std::vector<std::string> ShellOpened;
};

THeadlessState& H() {
  static auto* h = new THeadlessState;
  return *h;
}

class THeadlessDriver : public TPlatformDriver {
 public:
  const char* Name() const override { return "headless"; }

  void WaitEvents(uint64_t TimeoutUs) override {
    auto& h = H();
    if (h.Wait) {
      h.Wait(TimeoutUs);
      return;
    }
    // Waiting lets time pass: up to the next timer, else one millisecond.
    if (TimeoutUs == UINT64_MAX)
      h.Clock->Advance(1);
    else
      h.Clock->AdvanceMicroseconds(TimeoutUs == 0 ? 0 : TimeoutUs);
  }

  void IdlePace() override {
    auto& h = H();
    if (h.Pace)
      h.Pace();
    else
      h.Clock->Advance(1);
  }

  void DesktopSize(int& Width, int& Height) override {
    Width = H().DesktopWidth;
    Height = H().DesktopHeight;
  }

  void SetCursorVisible(bool Visible) override { H().CursorVisible = Visible; }

  void PresentWindow(HWND Wnd, const uint32_t* Pixels, int Width, int Height) override {
    HeadlessKeepWindowPicture(Wnd, Pixels, Width, Height);
  }

  int MessageBox(HWND, const std::string& Text, const std::string& Caption, UINT Type) override {
    const int answer = KeepMessageBox(Text, Caption, Type);
    return H().Answer.value_or(answer);
  }
};

}  // namespace

void HeadlessInstall(uint64_t StartMs) {
  auto& h = H();
  h.Clock = std::make_unique<TVirtualClock>(StartMs);
  SetClockSource(h.Clock.get());
  SetPlatformDriver(std::make_unique<THeadlessDriver>());
  h.Answer.reset();
  h.Pace = nullptr;
  h.Wait = nullptr;
  h.CursorVisible = true;
  h.Installed = true;
  h.ShellOpened.clear();
  SetShellExecuteHandler(
      [](const std::string&, const std::string& File) { H().ShellOpened.push_back(File); });
  // Shared memory and published windows of this run are its own, so that
  // runs side by side never meet.
  SetIpcNamespace("headless" + std::to_string(::getpid()) + "_");
}

const std::vector<std::string>& HeadlessShellOpened() {
  return H().ShellOpened;
}

void HeadlessUninstall() {
  auto& h = H();
  SetShellExecuteHandler(nullptr);
  SetPlatformDriver(nullptr);
  SetClockSource(nullptr);
  h.Clock.reset();
  h.Installed = false;
  SetIpcNamespace("");
}

bool HeadlessInstalled() {
  return H().Installed;
}

TVirtualClock& HeadlessClock() {
  auto& h = H();
  if (!h.Clock) HeadlessInstall();
  return *h.Clock;
}

void HeadlessAdvance(uint32_t Ms) {
  HeadlessClock().Advance(Ms);
}

void HeadlessSetMessageBoxAnswer(int Answer) {
  H().Answer = Answer;
}
void HeadlessSetIdlePace(std::function<void()> Pace) {
  H().Pace = std::move(Pace);
}
void HeadlessSetWait(std::function<void(uint64_t)> Wait) {
  H().Wait = std::move(Wait);
}

void HeadlessSetDesktopSize(int Width, int Height) {
  H().DesktopWidth = Width;
  H().DesktopHeight = Height;
}

bool HeadlessCursorVisible() {
  return H().CursorVisible;
}
