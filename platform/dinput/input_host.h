// The input host: what the backend saw of the keyboard, the mouse and the
// joysticks, kept for the DirectInput-shaped devices and the fallback
// functions to read. The SDL backend feeds it from its events; the headless
// backend from a test's script. Window thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/win/wintypes.h"

// One force-feedback effect as a haptic driver plays it. Times are in
// microseconds (Duration 0xFFFFFFFF: endless), levels and gains 0..10000.
struct THapticEffect {
  enum TKind { hkConstant, hkSine, hkSquare, hkSpring, hkDamper };
  TKind Kind = hkConstant;
  uint32_t Duration = 0;
  uint32_t Gain = 10000;
  int32_t DirectionX = 0, DirectionY = 0;  // Cartesian, towards the force
  uint32_t AxisCount = 0;
  uint32_t AxisOffsets[2] = {};
  uint32_t AttackLevel = 0, AttackTime = 0, FadeLevel = 0, FadeTime = 0;
  int32_t Magnitude = 0;  // constant and periodic
  int32_t Offset = 0;     // periodic and condition
  uint32_t Phase = 0;
  uint32_t Period = 0;
  int32_t PositiveCoefficient = 0, NegativeCoefficient = 0;
  uint32_t PositiveSaturation = 0, NegativeSaturation = 0;
  int32_t DeadBand = 0;
  friend bool operator==(const THapticEffect&, const THapticEffect&) = default;
};

// A force-feedback device's effects by number; every call reports failure
// as false (or -1), never throws.
class THaptic {
 public:
  virtual ~THaptic() = default;
  virtual bool Supports(THapticEffect::TKind Kind) const = 0;
  virtual int Create(const THapticEffect& Effect) = 0;
  virtual bool Update(int Id, const THapticEffect& Effect) = 0;
  virtual bool Run(int Id, uint32_t Iterations) = 0;
  virtual bool Stop(int Id) = 0;
  virtual bool Playing(int Id) = 0;
  virtual void Destroy(int Id) = 0;
  // The device's own spring that pulls the stick back to the centre.
  virtual void SetAutoCenter(bool On) { (void)On; }
};

// Axes in -32768..32767; POV in hundredths of a degree, or -1 centred.
struct TJoystickSample {
  int32_t Axes[6] = {};
  bool Buttons[32] = {};
  int32_t Pov = -1;
};

class TJoystickSource {
 public:
  virtual ~TJoystickSource() = default;
  virtual std::string Name() const = 0;
  virtual int AxisCount() const = 0;    // up to 6: X, Y, Z, Rx, Ry, Rz
  virtual int ButtonCount() const = 0;  // up to 32
  virtual int PovCount() const = 0;     // 0 or 1
  virtual bool Attached() const { return true; }
  virtual void Read(TJoystickSample& Sample) = 0;
  // nullptr without force feedback.
  virtual THaptic* Haptic() { return nullptr; }
};

class TInputHost {
 public:
  // Keys by SDL scancode, as the scan-code view of the DirectInput keyboard.
  // (The key messages' path keeps the window system's keyboard state.)
  void KeyDown(int SdlScancode);
  void KeyUp(int SdlScancode);
  void ReleaseAllKeys();
  // 256 bytes by DirectInput scan code, bit 7 = down.
  const uint8_t* ScanKeys() const { return scan_; }

  // Relative motion and wheel, gathered; each reader keeps its own mark.
  void MouseMotion(int32_t Dx, int32_t Dy);
  void MouseWheel(int32_t Dz);
  // 0 left, 1 right, 2 middle, 3 extra; also kept in the keyboard state.
  void MouseButton(int Index, bool Down);
  int64_t MouseTotal(int Axis) const { return mouse_[Axis]; }
  bool MouseButtonDown(int Index) const { return Index >= 0 && Index < 4 && buttons_[Index]; }

  // Joysticks in attachment order.
  void AddJoystick(std::shared_ptr<TJoystickSource> Joystick);
  void RemoveJoystick(const TJoystickSource* Joystick);
  const std::vector<std::shared_ptr<TJoystickSource>>& Joysticks() const { return joysticks_; }

  // Back to nothing pressed and no joystick (tests).
  void Reset();

 private:
  uint8_t scan_[256] = {};
  uint8_t scanCount_[256] = {};  // two keys may share a scan code
  bool sdlDown_[512] = {};
  int64_t mouse_[3] = {};
  bool buttons_[4] = {};
  std::vector<std::shared_ptr<TJoystickSource>> joysticks_;
};

TInputHost& InputHost();

// Where a point of a window of WindowW × WindowH pixels falls on the
// LogicalW × LogicalH picture that is scaled into it, keeping its shape, with
// bars on two sides. Points on the bars clamp to the picture's edge, so the
// pointer never leaves the picture.
struct TLetterbox {
  int32_t X = 0, Y = 0, W = 0, H = 0;  // the picture's rectangle in the window
};
TLetterbox ComputeLetterbox(int32_t WindowW, int32_t WindowH, int32_t LogicalW, int32_t LogicalH);
void WindowToLogical(const TLetterbox& Box, int32_t LogicalW, int32_t LogicalH, int32_t Wx,
                     int32_t Wy, int32_t& Lx, int32_t& Ly);
