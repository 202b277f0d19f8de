#include "platform/backend/headless/headless_input.h"

#include <algorithm>

#include "platform/dinput/dinput.h"
#include "platform/dinput/input_messages.h"
#include "platform/win/clock.h"
#include "platform/win/user.h"
#include "platform/win/vkeys.h"

namespace {
struct TPointer {
  int X = 0, Y = 0;
  bool Buttons[3] = {};
};
TPointer& Pointer() {
  static TPointer p;
  return p;
}

WPARAM MouseKeys() {
  const TPointer& p = Pointer();
  WPARAM k = 0;
  if (p.Buttons[0]) k |= MK_LBUTTON;
  if (p.Buttons[1]) k |= MK_RBUTTON;
  if (p.Buttons[2]) k |= MK_MBUTTON;
  if (GetKeyState(VK_SHIFT) < 0) k |= MK_SHIFT;
  if (GetKeyState(VK_CONTROL) < 0) k |= MK_CONTROL;
  return k;
}
}  // namespace

void HeadlessInstallInput() {
  RegisterDirectInputModule();
  InputHost().Reset();
  ResetKeyboardState();
  Pointer() = TPointer{};
}

void HeadlessKeyDown(int SdlScancode, bool Repeat) {
  InputHost().KeyDown(SdlScancode);
  PostKeyInput(GetActiveWindow(), SdlScancode, true, Repeat, GetKeyState(VK_MENU) < 0);
}

void HeadlessKeyUp(int SdlScancode) {
  InputHost().KeyUp(SdlScancode);
  PostKeyInput(GetActiveWindow(), SdlScancode, false, false, GetKeyState(VK_MENU) < 0);
}

void HeadlessTypeText(const char* Utf8) {
  PostTextInput(GetActiveWindow(), Utf8);
}

void HeadlessMouseMotion(int Dx, int Dy) {
  InputHost().MouseMotion(Dx, Dy);
  TPointer& p = Pointer();
  p.X += Dx;
  p.Y += Dy;
  PostMouseMoveInput(GetActiveWindow(), p.X, p.Y, MouseKeys());
}

void HeadlessMouseMoveTo(int X, int Y) {
  HeadlessMouseMotion(X - Pointer().X, Y - Pointer().Y);
}

void HeadlessMouseButton(int Index, bool Down) {
  InputHost().MouseButton(Index, Down);
  if (Index < 0 || Index > 2) return;
  TPointer& p = Pointer();
  p.Buttons[Index] = Down;
  static constexpr TMouseButtonKind kinds[3] = {mbLeftButton, mbRightButton, mbMiddleButton};
  PostMouseButtonInput(GetActiveWindow(), kinds[Index], Down, false, p.X, p.Y, MouseKeys());
}

void HeadlessClick(int X, int Y) {
  HeadlessMouseMoveTo(X, Y);
  HeadlessMouseButton(0, true);
  HeadlessMouseButton(0, false);
}

bool TScriptedHaptic::Supports(THapticEffect::TKind Kind) const {
  return std::find(Kinds.begin(), Kinds.end(), Kind) != Kinds.end();
}

int TScriptedHaptic::Create(const THapticEffect& Effect) {
  if (!Supports(Effect.Kind)) return -1;
  Effects[next_].Effect = Effect;
  return next_++;
}

bool TScriptedHaptic::Update(int Id, const THapticEffect& Effect) {
  auto it = Effects.find(Id);
  if (it == Effects.end() || it->second.Effect.Kind != Effect.Kind) return false;
  it->second.Effect = Effect;
  return true;
}

bool TScriptedHaptic::Run(int Id, uint32_t Iterations) {
  auto it = Effects.find(Id);
  if (it == Effects.end()) return false;
  it->second.Running = true;
  it->second.StartUs = ClockSource().Microseconds();
  it->second.Iterations = Iterations;
  ++it->second.Runs;
  return true;
}

bool TScriptedHaptic::Stop(int Id) {
  auto it = Effects.find(Id);
  if (it == Effects.end()) return false;
  it->second.Running = false;
  return true;
}

bool TScriptedHaptic::Playing(int Id) {
  auto it = Effects.find(Id);
  if (it == Effects.end() || !it->second.Running) return false;
  const TPlayed& p = it->second;
  if (p.Effect.Duration == 0xFFFFFFFF) return true;
  const uint64_t length = uint64_t{p.Effect.Duration} * std::max<uint32_t>(p.Iterations, 1);
  if (ClockSource().Microseconds() - p.StartUs >= length) it->second.Running = false;
  return it->second.Running;
}

void TScriptedHaptic::Destroy(int Id) {
  Effects.erase(Id);
}

std::shared_ptr<TScriptedJoystick> HeadlessAddJoystick(bool ForceFeedback) {
  auto j = std::make_shared<TScriptedJoystick>();
  if (ForceFeedback) j->haptic = std::make_unique<TScriptedHaptic>();
  InputHost().AddJoystick(j);
  return j;
}
