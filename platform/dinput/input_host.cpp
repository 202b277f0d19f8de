#include "platform/dinput/input_host.h"

#include <algorithm>

#include "platform/dinput/keytable.h"

#include "platform/win/user.h"

namespace {
// Two keys may share a code (both Shift keys): the code is down while either is.
void Press(uint8_t* bytes, uint8_t* counts, uint8_t code, bool down) {
  if (code == 0) return;
  if (down) {
    ++counts[code];
  } else if (counts[code] > 0) {
    --counts[code];
  }
  bytes[code] = counts[code] ? 0x80 : 0;
}

}  // namespace

void TInputHost::KeyDown(int SdlScancode) {
  if (SdlScancode < 0 || SdlScancode >= 512 || sdlDown_[SdlScancode]) return;  // auto-repeat
  sdlDown_[SdlScancode] = true;
  Press(scan_, scanCount_, SdlToScanCode(SdlScancode), true);
}

void TInputHost::KeyUp(int SdlScancode) {
  if (SdlScancode < 0 || SdlScancode >= 512 || !sdlDown_[SdlScancode]) return;
  sdlDown_[SdlScancode] = false;
  Press(scan_, scanCount_, SdlToScanCode(SdlScancode), false);
}

void TInputHost::ReleaseAllKeys() {
  for (int i = 0; i < 512; ++i)
    if (sdlDown_[i]) KeyUp(i);
}

void TInputHost::MouseMotion(int32_t Dx, int32_t Dy) {
  mouse_[0] += Dx;
  mouse_[1] += Dy;
}

void TInputHost::MouseWheel(int32_t Dz) {
  mouse_[2] += Dz;
}

void TInputHost::MouseButton(int Index, bool Down) {
  static constexpr uint8_t kVk[4] = {VK_LBUTTON, VK_RBUTTON, VK_MBUTTON, 0x05};
  if (Index < 0 || Index >= 4 || buttons_[Index] == Down) return;
  buttons_[Index] = Down;
  // The keyboard state carries the mouse buttons too; key messages already
  // report the keys themselves.
  NotifyKeyState(kVk[Index], Down);
}

void TInputHost::AddJoystick(std::shared_ptr<TJoystickSource> Joystick) {
  if (Joystick) joysticks_.push_back(std::move(Joystick));
}

void TInputHost::RemoveJoystick(const TJoystickSource* Joystick) {
  std::erase_if(joysticks_, [&](const auto& j) { return j.get() == Joystick; });
}

void TInputHost::Reset() {
  ReleaseAllKeys();
  for (int i = 0; i < 4; ++i) MouseButton(i, false);
  *this = TInputHost();
}

TInputHost& InputHost() {
  static TInputHost host;
  return host;
}

TLetterbox ComputeLetterbox(int32_t WindowW, int32_t WindowH, int32_t LogicalW, int32_t LogicalH) {
  TLetterbox b;
  if (WindowW <= 0 || WindowH <= 0 || LogicalW <= 0 || LogicalH <= 0) return b;
  // The wider side gets the bars: compare WindowW / WindowH with LogicalW / LogicalH.
  if (int64_t{WindowW} * LogicalH > int64_t{WindowH} * LogicalW) {
    b.H = WindowH;
    b.W = static_cast<int32_t>(int64_t{WindowH} * LogicalW / LogicalH);
  } else {
    b.W = WindowW;
    b.H = static_cast<int32_t>(int64_t{WindowW} * LogicalH / LogicalW);
  }
  b.X = (WindowW - b.W) / 2;
  b.Y = (WindowH - b.H) / 2;
  return b;
}

void WindowToLogical(const TLetterbox& Box, int32_t LogicalW, int32_t LogicalH, int32_t Wx,
                     int32_t Wy, int32_t& Lx, int32_t& Ly) {
  if (Box.W <= 0 || Box.H <= 0) {
    Lx = Ly = 0;
    return;
  }
  auto map = [](int32_t v, int32_t origin, int32_t extent, int32_t logical) {
    int64_t l = ((int64_t{v} - origin) * logical) / extent;
    return static_cast<int32_t>(std::clamp<int64_t>(l, 0, logical - 1));
  };
  Lx = map(Wx, Box.X, Box.W, LogicalW);
  Ly = map(Wy, Box.Y, Box.H, LogicalH);
}
