// DirectInput-shaped objects over the input host: the calls, flags and result
// codes that the engine's input component uses, with their meaning, and the
// keyboard-state and multimedia-joystick functions that serve as its
// fallbacks. Devices, effects and the DirectInput object itself are shared
// objects: holding the pointer is holding a reference.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/dinput/input_host.h"
#include "platform/win/user.h"
#include "platform/win/wintypes.h"

constexpr HRESULT DI_OK = 0;
constexpr HRESULT DI_NOEFFECT = S_FALSE;
constexpr HRESULT DIERR_INPUTLOST = static_cast<HRESULT>(0x8007001E);
constexpr HRESULT DIERR_NOTACQUIRED = static_cast<HRESULT>(0x8007000C);
constexpr HRESULT DIERR_INVALIDPARAM = static_cast<HRESULT>(0x80070057);
constexpr HRESULT DIERR_UNSUPPORTED = static_cast<HRESULT>(0x80004001);
constexpr HRESULT DIERR_DEVICENOTREG = static_cast<HRESULT>(0x80040154);
constexpr HRESULT DIERR_OTHERAPPHASPRIO = static_cast<HRESULT>(0x80070005);
constexpr HRESULT DIERR_OBJECTNOTFOUND = static_cast<HRESULT>(0x80070002);
constexpr HRESULT DIERR_NOTEXCLUSIVEACQUIRED = static_cast<HRESULT>(0x80040205);
constexpr HRESULT DIERR_INCOMPLETEEFFECT = static_cast<HRESULT>(0x80040206);
constexpr HRESULT DIERR_OLDDIRECTINPUTVERSION = static_cast<HRESULT>(0x8007047E);
constexpr HRESULT DIERR_ACQUIRED = static_cast<HRESULT>(0x800700AA);

extern const GUID GUID_SysKeyboard;
extern const GUID GUID_SysMouse;
extern const GUID GUID_Joystick;  // the system joystick
extern const GUID GUID_ConstantForce;
extern const GUID GUID_Square;
extern const GUID GUID_Sine;
extern const GUID GUID_Spring;
extern const GUID GUID_Damper;
// Object types reported by EnumObjects.
extern const GUID GUID_XAxis;
extern const GUID GUID_YAxis;
extern const GUID GUID_ZAxis;
extern const GUID GUID_RxAxis;
extern const GUID GUID_RyAxis;
extern const GUID GUID_RzAxis;
extern const GUID GUID_Button;
extern const GUID GUID_POV;
extern const GUID GUID_Key;
extern const GUID GUID_Unknown;

constexpr uint32_t DIRECTINPUT_VERSION = 0x0700;

// Device types and enumeration.
constexpr uint32_t DIDEVTYPE_MOUSE = 2, DIDEVTYPE_KEYBOARD = 3, DIDEVTYPE_JOYSTICK = 4;
constexpr uint32_t DIEDFL_ATTACHEDONLY = 1, DIEDFL_FORCEFEEDBACK = 0x100;
constexpr bool DIENUM_STOP = false, DIENUM_CONTINUE = true;

// Capabilities.
constexpr uint32_t DIDC_ATTACHED = 0x1, DIDC_FORCEFEEDBACK = 0x100;

// Object types (low byte: kind; bits 8..23: instance).
constexpr uint32_t DIDFT_RELAXIS = 0x1, DIDFT_ABSAXIS = 0x2, DIDFT_AXIS = 0x3;
constexpr uint32_t DIDFT_PSHBUTTON = 0x4, DIDFT_TGLBUTTON = 0x8, DIDFT_BUTTON = 0xC;
constexpr uint32_t DIDFT_OPTIONAL = 0x80000000;
constexpr uint32_t DIDFT_POV = 0x10;
constexpr uint32_t DIDFT_ALL = 0;
constexpr uint32_t DIDFT_ANYINSTANCE = 0xFFFF00;
constexpr uint32_t DIDFT_FFACTUATOR = 0x01000000;
inline uint32_t DIDFT_MAKEINSTANCE(uint32_t n) {
  return (n & 0xFFFF) << 8;
}
inline uint32_t DIDFT_GETINSTANCE(uint32_t t) {
  return (t >> 8) & 0xFFFF;
}
constexpr uint32_t DIDOI_FFACTUATOR = 0x1;
constexpr uint32_t DIDF_ABSAXIS = 1, DIDF_RELAXIS = 2;

// Cooperative levels.
constexpr uint32_t DISCL_EXCLUSIVE = 1, DISCL_NONEXCLUSIVE = 2, DISCL_FOREGROUND = 4,
                   DISCL_BACKGROUND = 8;

// Effect flags and status.
constexpr uint32_t DIEFF_OBJECTOFFSETS = 0x2, DIEFF_CARTESIAN = 0x10;
constexpr uint32_t DIEP_DURATION = 0x1, DIEP_SAMPLEPERIOD = 0x2, DIEP_GAIN = 0x4,
                   DIEP_TRIGGERBUTTON = 0x8, DIEP_TRIGGERREPEATINTERVAL = 0x10, DIEP_AXES = 0x20,
                   DIEP_DIRECTION = 0x40, DIEP_ENVELOPE = 0x80, DIEP_TYPESPECIFICPARAMS = 0x100,
                   DIEP_START = 0x20000000;
constexpr uint32_t DIEB_NOTRIGGER = 0xFFFFFFFF;
constexpr uint32_t DI_FFNOMINALMAX = 10000;
constexpr uint32_t INFINITE_DURATION = 0xFFFFFFFF;
constexpr uint32_t DIEGES_PLAYING = 1;
constexpr uint32_t DIEFT_CONSTANTFORCE = 1, DIEFT_RAMPFORCE = 2, DIEFT_PERIODIC = 3,
                   DIEFT_CONDITION = 4;

struct TDIDeviceInstance {
  GUID GuidInstance{};
  GUID GuidProduct{};
  uint32_t DevType = 0;
  std::string InstanceName;
  std::string ProductName;
};

struct TDIDevCaps {
  uint32_t Flags = 0;
  uint32_t DevType = 0;
  uint32_t Axes = 0;
  uint32_t Buttons = 0;
  uint32_t POVs = 0;
};

struct TDIDeviceObjectInstance {
  GUID GuidType{};
  uint32_t Ofs = 0;
  uint32_t Type = 0;
  uint32_t Flags = 0;
  std::string Name;
};

struct TDIObjectDataFormat {
  GUID GuidType{};  // GUID_Unknown matches any kind
  uint32_t Ofs = 0;
  uint32_t Type = 0;
  uint32_t Flags = 0;
};

struct TDIDataFormat {
  uint32_t Flags = 0;
  uint32_t DataSize = 0;
  std::vector<TDIObjectDataFormat> Objects;
};

// The standard formats of the system keyboard (256 key bytes by scan code)
// and mouse (X, Y, Z movement, then 4 button bytes).
const TDIDataFormat& c_dfDIKeyboard();
const TDIDataFormat& c_dfDIMouse();

struct TDIMouseState {
  int32_t lX = 0, lY = 0, lZ = 0;
  uint8_t rgbButtons[4] = {};
};
static_assert(sizeof(TDIMouseState) == 16);

// The extended joystick state: axes, sliders, four point-of-view values and
// 128 button bytes from offset 48, velocities, accelerations and forces.
struct TDIJoyState2 {
  int32_t lX = 0, lY = 0, lZ = 0, lRx = 0, lRy = 0, lRz = 0;
  int32_t rglSlider[2] = {};
  uint32_t rgdwPOV[4] = {};
  uint8_t rgbButtons[128] = {};
  int32_t rest[24] = {};  // velocities, accelerations, forces
};
static_assert(sizeof(TDIJoyState2) == 272);
constexpr uint32_t DIJOFS_X = 0, DIJOFS_Y = 4, DIJOFS_Z = 8, DIJOFS_RX = 12, DIJOFS_RY = 16,
                   DIJOFS_RZ = 20, DIJOFS_POV0 = 32, DIJOFS_BUTTON0 = 48;

// Properties.
enum TDIProperty { DIPROP_RANGE = 4, DIPROP_DEADZONE = 5, DIPROP_AUTOCENTER = 9 };
constexpr uint32_t DIPH_DEVICE = 0, DIPH_BYOFFSET = 1;
constexpr uint32_t DIPROPAUTOCENTER_OFF = 0, DIPROPAUTOCENTER_ON = 1;
struct TDIPropHeader {
  uint32_t Obj = 0;
  uint32_t How = DIPH_DEVICE;
};
struct TDIPropDword {
  TDIPropHeader Header;
  uint32_t Data = 0;
};
struct TDIPropRange {
  TDIPropHeader Header;
  int32_t Min = 0, Max = 0;
};

// Effects.
struct TDIEnvelope {
  uint32_t AttackLevel = 0, AttackTime = 0, FadeLevel = 0, FadeTime = 0;
};
struct TDIConstantForce {
  int32_t Magnitude = 0;
};
struct TDIPeriodic {
  uint32_t Magnitude = 0;
  int32_t Offset = 0;
  uint32_t Phase = 0;
  uint32_t Period = 0;
};
struct TDICondition {
  int32_t Offset = 0;
  int32_t PositiveCoefficient = 0, NegativeCoefficient = 0;
  uint32_t PositiveSaturation = 0, NegativeSaturation = 0;
  int32_t DeadBand = 0;
};
// The description points at storage its owner keeps, as the caller's
// parameter blocks do.
struct TDIEffect {
  uint32_t Flags = 0;
  uint32_t Duration = 0;  // microseconds or INFINITE_DURATION
  uint32_t SamplePeriod = 0;
  uint32_t Gain = 0;
  uint32_t TriggerButton = DIEB_NOTRIGGER;
  uint32_t TriggerRepeatInterval = 0;
  uint32_t Axes = 0;
  const uint32_t* AxisOffsets = nullptr;
  const int32_t* Direction = nullptr;
  const TDIEnvelope* Envelope = nullptr;
  uint32_t TypeSpecificParamsSize = 0;
  const void* TypeSpecificParams = nullptr;
};

struct TDIEffectInfo {
  GUID Guid{};
  uint32_t EffType = 0;  // DIEFT_*
  std::string Name;
};

class TDirectInputDevice;

class TDirectInputEffect {
 public:
  TDirectInputEffect(std::shared_ptr<TDirectInputDevice> Device, const GUID& Guid);
  ~TDirectInputEffect();
  TDirectInputEffect(const TDirectInputEffect&) = delete;
  TDirectInputEffect& operator=(const TDirectInputEffect&) = delete;

  HRESULT SetParameters(const TDIEffect& Effect, uint32_t Flags);
  HRESULT Start(uint32_t Iterations, uint32_t Flags);
  HRESULT Stop();
  HRESULT GetEffectStatus(uint32_t& Status);
  const GUID& Guid() const { return guid_; }
  // What the device was last given, for tests of the parameter blocks.
  const THapticEffect& Params() const { return params_; }

 private:
  friend class TDirectInputDevice;
  HRESULT Upload();
  std::shared_ptr<TDirectInputDevice> device_;  // an effect keeps its device
  GUID guid_{};
  THapticEffect params_;
  int hapticId_ = -1;
  bool complete_ = false;
};

class TDirectInputDevice : public std::enable_shared_from_this<TDirectInputDevice> {
 public:
  TDirectInputDevice(uint32_t DevType, std::shared_ptr<TJoystickSource> Joystick);
  ~TDirectInputDevice();
  TDirectInputDevice(const TDirectInputDevice&) = delete;
  TDirectInputDevice& operator=(const TDirectInputDevice&) = delete;

  HRESULT GetCapabilities(TDIDevCaps& Caps);
  HRESULT EnumObjects(const std::function<bool(const TDIDeviceObjectInstance&)>& Callback,
                      uint32_t Flags);
  HRESULT SetDataFormat(const TDIDataFormat& Format);
  HRESULT SetProperty(TDIProperty Prop, const TDIPropDword& Value);
  HRESULT SetProperty(TDIProperty Prop, const TDIPropRange& Value);
  HRESULT SetCooperativeLevel(HWND Window, uint32_t Flags);
  HRESULT Acquire();
  HRESULT Unacquire();
  HRESULT GetDeviceState(uint32_t Size, void* Data);
  HRESULT Poll();
  HRESULT CreateEffect(const GUID& Guid, const TDIEffect* Effect,
                       std::shared_ptr<TDirectInputEffect>& Out);
  HRESULT EnumEffects(const std::function<bool(const TDIEffectInfo&)>& Callback, uint32_t EffType);

  uint32_t DevType() const { return devType_; }
  uint32_t CooperativeLevel() const { return level_; }
  bool Acquired() const { return acquired_; }
  // Dead zone (1/100 %), range and auto-centre as last set, for tests.
  int32_t DeadZoneAt(uint32_t Ofs) const;
  std::pair<int32_t, int32_t> RangeAt(uint32_t Ofs) const;
  bool AutoCenter() const { return autoCenter_; }
  THaptic* Haptic() const;

 private:
  friend class TDirectInputEffect;
  struct TObject {
    GUID GuidType{};
    uint32_t Ofs;
    uint32_t Type;
    uint32_t Flags;
    std::string Name;
    int32_t Min = 0, Max = 65535;
    int32_t DeadZone = 0;
    int Source = 0;  // axis, button or POV index on the joystick source
  };
  void BuildObjects();
  TObject* FindByOffset(uint32_t Ofs);
  const TObject* FindByOffset(uint32_t Ofs) const;
  bool LostFocus() const;

  uint32_t devType_;
  std::shared_ptr<TJoystickSource> joystick_;
  std::vector<TObject> objects_;
  bool formatSet_ = false;
  TDIDataFormat format_;
  uint32_t level_ = 0;
  HWND window_ = nullptr;
  bool acquired_ = false;
  bool autoCenter_ = true;
  uint64_t mouseMark_[4] = {};  // running totals at the last read
  TJoystickSample sample_;
};

class TDirectInput {
 public:
  HRESULT CreateDevice(const GUID& Guid, std::shared_ptr<TDirectInputDevice>& Out);
  HRESULT EnumDevices(uint32_t DevType,
                      const std::function<bool(const TDIDeviceInstance&)>& Callback,
                      uint32_t Flags);
};

// The entry point of "DInput.dll".
using TDirectInputCreateA = HRESULT (*)(void* Instance, uint32_t Version,
                                        std::shared_ptr<TDirectInput>* Out, void* Outer);
HRESULT DirectInputCreateA(void* Instance, uint32_t Version, std::shared_ptr<TDirectInput>* Out,
                           void* Outer);
// Registers "DInput.dll" with its entry point in the platform's library
// registry; idempotent.
void RegisterDirectInputModule();

// ---- Fallbacks without DirectInput -------------------------------------

// GetKeyboardState and GetForegroundWindow are the window system's
// (platform/win/user.h); the host keeps the keyboard state up to date.

constexpr uint32_t JOYERR_NOERROR = 0, JOYERR_PARMS = 165, JOYERR_UNPLUGGED = 167;
constexpr uint32_t JOY_RETURNX = 0x1, JOY_RETURNY = 0x2, JOY_RETURNZ = 0x4, JOY_RETURNR = 0x8,
                   JOY_RETURNU = 0x10, JOY_RETURNV = 0x20, JOY_RETURNPOV = 0x40,
                   JOY_RETURNBUTTONS = 0x80, JOY_RETURNCENTERED = 0x400, JOY_RETURNALL = 0xFF;
constexpr uint32_t JOY_POVCENTERED = 0xFFFF;

// The multimedia capabilities record (the fields the engine reads).
struct TJoyCaps {
  uint16_t wMid = 0, wPid = 0;
  char szPname[32] = {};
  uint32_t wXmin = 0, wXmax = 0, wYmin = 0, wYmax = 0, wZmin = 0, wZmax = 0;
  uint32_t wNumButtons = 0;
  uint32_t wPeriodMin = 0, wPeriodMax = 0;
  uint32_t wRmin = 0, wRmax = 0, wUmin = 0, wUmax = 0, wVmin = 0, wVmax = 0;
  uint32_t wCaps = 0, wMaxAxes = 0, wNumAxes = 0, wMaxButtons = 0;
};
struct TJoyInfoEx {
  uint32_t dwSize = sizeof(TJoyInfoEx);
  uint32_t dwFlags = 0;
  uint32_t dwXpos = 0, dwYpos = 0, dwZpos = 0, dwRpos = 0, dwUpos = 0, dwVpos = 0;
  uint32_t dwButtons = 0, dwButtonNumber = 0, dwPOV = 0;
  uint32_t dwReserved1 = 0, dwReserved2 = 0;
};
uint32_t joyGetNumDevs();
uint32_t joyGetDevCapsA(uint32_t JoyID, TJoyCaps* Caps, uint32_t Size);
uint32_t joyGetPosEx(uint32_t JoyID, TJoyInfoEx* Info);

// a * b / c rounded to the nearest, -1 when c is 0.
int32_t MulDiv(int32_t a, int32_t b, int32_t c);
