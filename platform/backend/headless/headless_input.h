// Scripted input for headless runs: a test presses keys, moves the mouse and
// plugs in joysticks, some with a force-feedback device that records what it
// is asked to play and plays on the program's (virtual) clock.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/dinput/input_host.h"

// Registers "DInput.dll" and starts from nothing pressed and no joystick.
void HeadlessInstallInput();

// Keys by SDL scancode (the USB usage code: A = 4, Space = 44...). Like the
// SDL backend, each reaches the input states, the key state, and the active
// window as key messages (a repeat as a held key's further key-down).
void HeadlessKeyDown(int SdlScancode, bool Repeat = false);
void HeadlessKeyUp(int SdlScancode);
// Typed UTF-8 text, as WM_CHAR messages to the active window.
void HeadlessTypeText(const char* Utf8);
// The mouse moves the cursor on the active window's client area (starting at
// 0, 0) and reports the motion to the input states; the window gets
// WM_MOUSEMOVE at the new position.
void HeadlessMouseMotion(int Dx, int Dy);
void HeadlessMouseMoveTo(int X, int Y);
// Index 0 left, 1 right, 2 middle (3: the fourth button, input states only).
// The window gets the button message at the cursor.
void HeadlessMouseButton(int Index, bool Down);
// Moves to X, Y, then presses and releases the left button.
void HeadlessClick(int X, int Y);

class TScriptedHaptic : public THaptic {
 public:
  struct TPlayed {
    THapticEffect Effect;
    bool Running = false;
    uint64_t StartUs = 0;
    uint32_t Iterations = 0;
    int Runs = 0;
  };
  bool Supports(THapticEffect::TKind Kind) const override;
  int Create(const THapticEffect& Effect) override;
  bool Update(int Id, const THapticEffect& Effect) override;
  bool Run(int Id, uint32_t Iterations) override;
  bool Stop(int Id) override;
  bool Playing(int Id) override;
  void Destroy(int Id) override;
  void SetAutoCenter(bool On) override { AutoCenter = On; }

  // The kinds the device offers (all by default).
  std::vector<THapticEffect::TKind> Kinds = {THapticEffect::hkConstant, THapticEffect::hkSine,
                                             THapticEffect::hkSquare, THapticEffect::hkSpring,
                                             THapticEffect::hkDamper};
  std::map<int, TPlayed> Effects;
  bool AutoCenter = false;

 private:
  int next_ = 0;
};

class TScriptedJoystick : public TJoystickSource {
 public:
  std::string Name() const override { return name; }
  int AxisCount() const override { return axes; }
  int ButtonCount() const override { return buttons; }
  int PovCount() const override { return povs; }
  bool Attached() const override { return attached; }
  void Read(TJoystickSample& Sample) override { Sample = sample; }
  THaptic* Haptic() override { return haptic.get(); }

  std::string name = "Scripted joystick";
  int axes = 3;
  int buttons = 8;
  int povs = 1;
  bool attached = true;
  TJoystickSample sample;
  std::unique_ptr<TScriptedHaptic> haptic;  // nullptr: no force feedback
};

// Plugs in a joystick; force feedback when asked.
std::shared_ptr<TScriptedJoystick> HeadlessAddJoystick(bool ForceFeedback = false);
