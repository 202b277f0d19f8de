#include "platform/backend/headless/headless_input.h"

#include <algorithm>

#include "platform/dinput/dinput.h"
#include "platform/dinput/keytable.h"
#include "platform/win/clock.h"
#include "platform/win/user.h"

void InstallHeadlessInput() {
  RegisterDirectInputModule();
  InputHost().Reset();
  ResetKeyboardState();
}

// Both views of a key, as the SDL backend's key events give them.
static void KeyState(int SdlScancode, bool Down) {
  if (int side = SideVirtualKey(SdlScancode)) {
    NotifyKeyState(side, Down);
  } else if (int vk = SdlToVirtualKey(SdlScancode)) {
    NotifyKeyState(vk, Down);
  }
}

void HeadlessKeyDown(int SdlScancode) {
  InputHost().KeyDown(SdlScancode);
  KeyState(SdlScancode, true);
}

void HeadlessKeyUp(int SdlScancode) {
  InputHost().KeyUp(SdlScancode);
  KeyState(SdlScancode, false);
}
void HeadlessMouseMotion(int Dx, int Dy) {
  InputHost().MouseMotion(Dx, Dy);
}
void HeadlessMouseButton(int Index, bool Down) {
  InputHost().MouseButton(Index, Down);
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
