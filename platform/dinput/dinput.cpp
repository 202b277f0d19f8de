#include "platform/dinput/dinput.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/dinput/keytable.h"
#include "platform/win/library.h"

// Our own identities for the devices, effect kinds and object kinds; only
// the system joystick's and the constant force's are fixed by their users.
const GUID GUID_SysKeyboard = {
    0x54A1E001, 0x0001, 0x4B45, {0x59, 0x42, 0x4F, 0x41, 0x52, 0x44, 0, 0}};
const GUID GUID_SysMouse = {0x54A1E001, 0x0002, 0x4D4F, {0x55, 0x53, 0x45, 0, 0, 0, 0, 0}};
const GUID GUID_Joystick = {
    0x6F1D2B70, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_ConstantForce = {
    0x13541C20, 0x8E33, 0x11D0, {0x9A, 0xD0, 0x00, 0xA0, 0xC9, 0xA0, 0x6E, 0x35}};
const GUID GUID_Square = {0x54A1E002, 0x0001, 0x4646, {1, 0, 0, 0, 0, 0, 0, 0}};
const GUID GUID_Sine = {0x54A1E002, 0x0002, 0x4646, {2, 0, 0, 0, 0, 0, 0, 0}};
const GUID GUID_Spring = {0x54A1E002, 0x0003, 0x4646, {3, 0, 0, 0, 0, 0, 0, 0}};
const GUID GUID_Damper = {0x54A1E002, 0x0004, 0x4646, {4, 0, 0, 0, 0, 0, 0, 0}};
const GUID GUID_XAxis = {0x54A1E003, 0x0000, 0x4F42, {0, 0, 0, 0, 0, 0, 0, 0}};
const GUID GUID_YAxis = {0x54A1E003, 0x0001, 0x4F42, {0, 0, 0, 0, 0, 0, 0, 0}};
const GUID GUID_ZAxis = {0x54A1E003, 0x0002, 0x4F42, {0, 0, 0, 0, 0, 0, 0, 0}};
const GUID GUID_RxAxis = {0x54A1E003, 0x0003, 0x4F42, {0, 0, 0, 0, 0, 0, 0, 0}};
const GUID GUID_RyAxis = {0x54A1E003, 0x0004, 0x4F42, {0, 0, 0, 0, 0, 0, 0, 0}};
const GUID GUID_RzAxis = {0x54A1E003, 0x0005, 0x4F42, {0, 0, 0, 0, 0, 0, 0, 0}};
const GUID GUID_Button = {0x54A1E003, 0x0010, 0x4F42, {0, 0, 0, 0, 0, 0, 0, 0}};
const GUID GUID_POV = {0x54A1E003, 0x0020, 0x4F42, {0, 0, 0, 0, 0, 0, 0, 0}};
const GUID GUID_Key = {0x54A1E003, 0x0030, 0x4F42, {0, 0, 0, 0, 0, 0, 0, 0}};
const GUID GUID_Unknown = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

const TDIDataFormat& c_dfDIKeyboard() {
  static const TDIDataFormat f = [] {
    TDIDataFormat d;
    d.DataSize = 256;
    for (uint32_t i = 0; i < 256; ++i)
      d.Objects.push_back({GUID_Key, i, DIDFT_OPTIONAL | DIDFT_BUTTON | DIDFT_MAKEINSTANCE(i), 0});
    return d;
  }();
  return f;
}

const TDIDataFormat& c_dfDIMouse() {
  static const TDIDataFormat f = [] {
    TDIDataFormat d;
    d.Flags = DIDF_RELAXIS;
    d.DataSize = sizeof(TDIMouseState);
    d.Objects.push_back({GUID_XAxis, 0, DIDFT_AXIS | DIDFT_ANYINSTANCE, 0});
    d.Objects.push_back({GUID_YAxis, 4, DIDFT_AXIS | DIDFT_ANYINSTANCE, 0});
    d.Objects.push_back({GUID_ZAxis, 8, DIDFT_AXIS | DIDFT_ANYINSTANCE, 0});
    for (uint32_t i = 0; i < 4; ++i)
      d.Objects.push_back({GUID_Unknown, 12 + i, DIDFT_BUTTON | DIDFT_ANYINSTANCE, 0});
    return d;
  }();
  return f;
}

namespace {

const GUID* const kAxisGuids[6] = {&GUID_XAxis,  &GUID_YAxis,  &GUID_ZAxis,
                                   &GUID_RxAxis, &GUID_RyAxis, &GUID_RzAxis};
const char* const kAxisNames[6] = {"X Axis",     "Y Axis",     "Z Axis",
                                   "X Rotation", "Y Rotation", "Z Rotation"};

struct TEffectKind {
  const GUID* Guid;
  THapticEffect::TKind Kind;
  uint32_t EffType;
  const char* Name;
};
const TEffectKind kEffectKinds[] = {
    {&GUID_ConstantForce, THapticEffect::hkConstant, DIEFT_CONSTANTFORCE, "Constant Force"},
    {&GUID_Sine, THapticEffect::hkSine, DIEFT_PERIODIC, "Sine"},
    {&GUID_Square, THapticEffect::hkSquare, DIEFT_PERIODIC, "Square"},
    {&GUID_Spring, THapticEffect::hkSpring, DIEFT_CONDITION, "Spring"},
    {&GUID_Damper, THapticEffect::hkDamper, DIEFT_CONDITION, "Damper"},
};

const TEffectKind* FindEffectKind(const GUID& g) {
  for (const auto& k : kEffectKinds)
    if (*k.Guid == g) return &k;
  return nullptr;
}

GUID JoystickInstanceGuid(size_t index) {
  GUID g = GUID_Joystick;
  g.Data4[7] = static_cast<uint8_t>(index + 1);
  return g;
}

int32_t ClampToInt32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

}  // namespace

// ---- Effects ----------------------------------------------------------------

TDirectInputEffect::TDirectInputEffect(std::shared_ptr<TDirectInputDevice> Device, const GUID& Guid)
    : device_(Device), guid_(Guid) {
  if (const TEffectKind* k = FindEffectKind(Guid)) params_.Kind = k->Kind;
}

TDirectInputEffect::~TDirectInputEffect() {
  if (auto d = device_)
    if (THaptic* h = d->Haptic(); h && hapticId_ >= 0) h->Destroy(hapticId_);
}

HRESULT TDirectInputEffect::SetParameters(const TDIEffect& E, uint32_t Flags) {
  auto d = device_;
  if (!d) return DIERR_INPUTLOST;
  THapticEffect p = params_;
  if (Flags & DIEP_DURATION) p.Duration = E.Duration;
  if (Flags & DIEP_GAIN) p.Gain = std::min<uint32_t>(E.Gain, DI_FFNOMINALMAX);
  if (Flags & DIEP_AXES) {
    if (E.Axes > 2 || (E.Axes && !E.AxisOffsets)) return DIERR_INVALIDPARAM;
    p.AxisCount = E.Axes;
    for (uint32_t i = 0; i < E.Axes; ++i) p.AxisOffsets[i] = E.AxisOffsets[i];
  }
  if (Flags & DIEP_DIRECTION) {
    if (!E.Direction && p.AxisCount) return DIERR_INVALIDPARAM;
    p.DirectionX = p.AxisCount > 0 ? E.Direction[0] : 0;
    p.DirectionY = p.AxisCount > 1 ? E.Direction[1] : 0;
  }
  if (Flags & DIEP_ENVELOPE) {
    TDIEnvelope env = E.Envelope ? *E.Envelope : TDIEnvelope{};
    p.AttackLevel = env.AttackLevel;
    p.AttackTime = env.AttackTime;
    p.FadeLevel = env.FadeLevel;
    p.FadeTime = env.FadeTime;
  }
  if (Flags & DIEP_TYPESPECIFICPARAMS) {
    switch (p.Kind) {
      case THapticEffect::hkConstant: {
        if (E.TypeSpecificParamsSize != sizeof(TDIConstantForce) || !E.TypeSpecificParams)
          return DIERR_INVALIDPARAM;
        p.Magnitude = static_cast<const TDIConstantForce*>(E.TypeSpecificParams)->Magnitude;
        break;
      }
      case THapticEffect::hkSine:
      case THapticEffect::hkSquare: {
        if (E.TypeSpecificParamsSize != sizeof(TDIPeriodic) || !E.TypeSpecificParams)
          return DIERR_INVALIDPARAM;
        const auto* q = static_cast<const TDIPeriodic*>(E.TypeSpecificParams);
        p.Magnitude = static_cast<int32_t>(std::min<uint32_t>(q->Magnitude, DI_FFNOMINALMAX));
        p.Offset = q->Offset;
        p.Phase = q->Phase;
        p.Period = q->Period;
        break;
      }
      case THapticEffect::hkSpring:
      case THapticEffect::hkDamper: {
        if (E.TypeSpecificParamsSize != sizeof(TDICondition) || !E.TypeSpecificParams)
          return DIERR_INVALIDPARAM;
        const auto* q = static_cast<const TDICondition*>(E.TypeSpecificParams);
        p.Offset = q->Offset;
        p.PositiveCoefficient = q->PositiveCoefficient;
        p.NegativeCoefficient = q->NegativeCoefficient;
        p.PositiveSaturation = q->PositiveSaturation;
        p.NegativeSaturation = q->NegativeSaturation;
        p.DeadBand = q->DeadBand;
        break;
      }
    }
  }
  params_ = p;
  complete_ = true;
  HRESULT hr = Upload();
  if (FAILED(hr)) return hr;
  if (Flags & DIEP_START) return Start(1, 0);
  return DI_OK;
}

HRESULT TDirectInputEffect::Upload() {
  auto d = device_;
  THaptic* h = d ? d->Haptic() : nullptr;
  if (!h) return DIERR_INPUTLOST;
  if (hapticId_ >= 0) return h->Update(hapticId_, params_) ? DI_OK : DIERR_INVALIDPARAM;
  hapticId_ = h->Create(params_);
  return hapticId_ >= 0 ? DI_OK : DIERR_UNSUPPORTED;
}

HRESULT TDirectInputEffect::Start(uint32_t Iterations, uint32_t Flags) {
  auto d = device_;
  THaptic* h = d ? d->Haptic() : nullptr;
  if (!h) return DIERR_INPUTLOST;
  if (!d->Acquired()) return DIERR_NOTACQUIRED;
  if (d->LostFocus()) {
    d->acquired_ = false;
    return DIERR_INPUTLOST;
  }
  if (!complete_ || hapticId_ < 0) return DIERR_INCOMPLETEEFFECT;
  return h->Run(hapticId_, Iterations) ? DI_OK : DIERR_INVALIDPARAM;
}

HRESULT TDirectInputEffect::Stop() {
  auto d = device_;
  THaptic* h = d ? d->Haptic() : nullptr;
  if (!h) return DIERR_INPUTLOST;
  if (hapticId_ >= 0) h->Stop(hapticId_);
  return DI_OK;
}

HRESULT TDirectInputEffect::GetEffectStatus(uint32_t& Status) {
  Status = 0;
  auto d = device_;
  THaptic* h = d ? d->Haptic() : nullptr;
  if (!h) return DIERR_INPUTLOST;
  if (hapticId_ >= 0 && h->Playing(hapticId_)) Status = DIEGES_PLAYING;
  return DI_OK;
}

// ---- Devices ---------------------------------------------------------------

TDirectInputDevice::TDirectInputDevice(uint32_t DevType, std::shared_ptr<TJoystickSource> Joystick)
    : devType_(DevType), joystick_(std::move(Joystick)) {
  BuildObjects();
}

TDirectInputDevice::~TDirectInputDevice() = default;

THaptic* TDirectInputDevice::Haptic() const {
  return joystick_ ? joystick_->Haptic() : nullptr;
}

void TDirectInputDevice::BuildObjects() {
  if (!joystick_) return;
  const bool ff = joystick_->Haptic() != nullptr;
  const int axes = std::clamp(joystick_->AxisCount(), 0, 6);
  for (int i = 0; i < axes; ++i) {
    TObject o{*kAxisGuids[i], static_cast<uint32_t>(4 * i),
              DIDFT_ABSAXIS | DIDFT_MAKEINSTANCE(static_cast<uint32_t>(i)), 0, kAxisNames[i]};
    if (ff && i < 2) {
      o.Type |= DIDFT_FFACTUATOR;
      o.Flags |= DIDOI_FFACTUATOR;
    }
    o.Source = i;
    objects_.push_back(o);
  }
  if (joystick_->PovCount() > 0)
    objects_.push_back({GUID_POV, DIJOFS_POV0, DIDFT_POV | DIDFT_MAKEINSTANCE(0), 0, "Hat Switch"});
  const int buttons = std::clamp(joystick_->ButtonCount(), 0, 32);
  for (int i = 0; i < buttons; ++i) {
    TObject o{GUID_Button, DIJOFS_BUTTON0 + static_cast<uint32_t>(i),
              DIDFT_PSHBUTTON | DIDFT_MAKEINSTANCE(static_cast<uint32_t>(i)), 0,
              "Button " + std::to_string(i + 1)};
    o.Source = i;
    objects_.push_back(o);
  }
}

TDirectInputDevice::TObject* TDirectInputDevice::FindByOffset(uint32_t Ofs) {
  for (auto& o : objects_)
    if (o.Ofs == Ofs) return &o;
  return nullptr;
}

const TDirectInputDevice::TObject* TDirectInputDevice::FindByOffset(uint32_t Ofs) const {
  for (const auto& o : objects_)
    if (o.Ofs == Ofs) return &o;
  return nullptr;
}

bool TDirectInputDevice::LostFocus() const {
  return (level_ & DISCL_FOREGROUND) && GetForegroundWindow() != window_;
}

HRESULT TDirectInputDevice::GetCapabilities(TDIDevCaps& Caps) {
  Caps = {};
  Caps.DevType = devType_;
  Caps.Flags = DIDC_ATTACHED;
  switch (devType_) {
    case DIDEVTYPE_KEYBOARD:
      Caps.Buttons = 128;
      break;
    case DIDEVTYPE_MOUSE:
      Caps.Axes = 3;
      Caps.Buttons = 4;
      break;
    default:
      if (!joystick_->Attached()) Caps.Flags = 0;
      if (Haptic()) Caps.Flags |= DIDC_FORCEFEEDBACK;
      for (const auto& o : objects_) {
        if (o.Type & DIDFT_AXIS) ++Caps.Axes;
        if (o.Type & DIDFT_BUTTON) ++Caps.Buttons;
        if (o.Type & DIDFT_POV) ++Caps.POVs;
      }
  }
  return DI_OK;
}

HRESULT TDirectInputDevice::EnumObjects(
    const std::function<bool(const TDIDeviceObjectInstance&)>& Callback, uint32_t Flags) {
  for (const auto& o : objects_) {
    if (Flags != DIDFT_ALL && (o.Type & Flags & 0xFF) == 0) continue;
    if (Callback({o.GuidType, o.Ofs, o.Type, o.Flags, o.Name}) == DIENUM_STOP) break;
  }
  return DI_OK;
}

HRESULT TDirectInputDevice::SetDataFormat(const TDIDataFormat& Format) {
  if (acquired_) return DIERR_ACQUIRED;
  if (Format.DataSize == 0 || Format.DataSize % 4 != 0) return DIERR_INVALIDPARAM;
  for (const auto& o : Format.Objects) {
    const bool axis = (o.Type & DIDFT_AXIS) || (o.Type & DIDFT_POV);
    if (o.Ofs >= Format.DataSize || (axis && (o.Ofs % 4 != 0 || o.Ofs + 4 > Format.DataSize)))
      return DIERR_INVALIDPARAM;
  }
  format_ = Format;
  formatSet_ = true;
  return DI_OK;
}

HRESULT TDirectInputDevice::SetProperty(TDIProperty Prop, const TDIPropDword& Value) {
  if (Prop == DIPROP_AUTOCENTER) {
    if (Value.Header.How != DIPH_DEVICE || Value.Data > 1) return DIERR_INVALIDPARAM;
    if (!joystick_) return DIERR_UNSUPPORTED;
    autoCenter_ = Value.Data == DIPROPAUTOCENTER_ON;
    if (THaptic* h = Haptic()) h->SetAutoCenter(autoCenter_);
    return DI_OK;
  }
  if (Prop != DIPROP_DEADZONE || Value.Header.How != DIPH_BYOFFSET) return DIERR_INVALIDPARAM;
  if (Value.Data > 10000) return DIERR_INVALIDPARAM;
  TObject* o = FindByOffset(Value.Header.Obj);
  if (!o || !(o->Type & DIDFT_AXIS)) return DIERR_OBJECTNOTFOUND;
  o->DeadZone = static_cast<int32_t>(Value.Data);
  return DI_OK;
}

HRESULT TDirectInputDevice::SetProperty(TDIProperty Prop, const TDIPropRange& Value) {
  if (Prop != DIPROP_RANGE || Value.Header.How != DIPH_BYOFFSET) return DIERR_INVALIDPARAM;
  if (Value.Min > Value.Max) return DIERR_INVALIDPARAM;
  TObject* o = FindByOffset(Value.Header.Obj);
  if (!o || !(o->Type & DIDFT_AXIS)) return DIERR_OBJECTNOTFOUND;
  o->Min = Value.Min;
  o->Max = Value.Max;
  return DI_OK;
}

int32_t TDirectInputDevice::DeadZoneAt(uint32_t Ofs) const {
  const TObject* o = FindByOffset(Ofs);
  return o ? o->DeadZone : -1;
}

std::pair<int32_t, int32_t> TDirectInputDevice::RangeAt(uint32_t Ofs) const {
  const TObject* o = FindByOffset(Ofs);
  return o ? std::pair{o->Min, o->Max} : std::pair{0, 0};
}

HRESULT TDirectInputDevice::SetCooperativeLevel(HWND Window, uint32_t Flags) {
  const uint32_t share = Flags & (DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE);
  const uint32_t when = Flags & (DISCL_FOREGROUND | DISCL_BACKGROUND);
  if (share == 0 || share == (DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE) || when == 0 ||
      when == (DISCL_FOREGROUND | DISCL_BACKGROUND))
    return DIERR_INVALIDPARAM;
  if (!Window && (Flags & DISCL_FOREGROUND)) return DIERR_INVALIDPARAM;
  level_ = Flags;
  window_ = Window;
  return DI_OK;
}

HRESULT TDirectInputDevice::Acquire() {
  if (!formatSet_) return DIERR_INVALIDPARAM;
  if ((level_ & DISCL_FOREGROUND) && GetForegroundWindow() != window_) return DIERR_OTHERAPPHASPRIO;
  if (acquired_) return S_FALSE;
  acquired_ = true;
  // Motion made while the device was not ours is not reported.
  for (int i = 0; i < 3; ++i) mouseMark_[i] = static_cast<uint64_t>(InputHost().MouseTotal(i));
  return DI_OK;
}

HRESULT TDirectInputDevice::Unacquire() {
  if (!acquired_) return S_FALSE;
  acquired_ = false;
  return DI_OK;
}

HRESULT TDirectInputDevice::Poll() {
  if (!acquired_) return DIERR_NOTACQUIRED;
  if (!joystick_) return S_FALSE;
  if (!joystick_->Attached()) return DIERR_INPUTLOST;
  return DI_OK;
}

HRESULT TDirectInputDevice::GetDeviceState(uint32_t Size, void* Data) {
  if (!Data || !formatSet_ || Size != format_.DataSize) return DIERR_INVALIDPARAM;
  if (!acquired_) return DIERR_NOTACQUIRED;
  if (LostFocus()) {
    acquired_ = false;
    return DIERR_INPUTLOST;
  }
  auto* out = static_cast<uint8_t*>(Data);
  std::memset(out, 0, Size);
  const TInputHost& host = InputHost();
  switch (devType_) {
    case DIDEVTYPE_KEYBOARD:
      std::memcpy(out, host.ScanKeys(), std::min<uint32_t>(Size, 256));
      return DI_OK;
    case DIDEVTYPE_MOUSE: {
      TDIMouseState m;
      int32_t* axes[3] = {&m.lX, &m.lY, &m.lZ};
      for (int i = 0; i < 3; ++i) {
        const auto total = static_cast<uint64_t>(host.MouseTotal(i));
        *axes[i] = ClampToInt32(static_cast<int64_t>(total - mouseMark_[i]));
        mouseMark_[i] = total;
      }
      for (int i = 0; i < 4; ++i) m.rgbButtons[i] = host.MouseButtonDown(i) ? 0x80 : 0;
      std::memcpy(out, &m, std::min<size_t>(Size, sizeof m));
      return DI_OK;
    }
    default:
      break;
  }
  if (!joystick_->Attached()) return DIERR_INPUTLOST;
  joystick_->Read(sample_);
  for (const auto& f : format_.Objects) {
    const uint32_t kind = f.Type & 0xFF;
    const uint32_t instance = DIDFT_GETINSTANCE(f.Type);
    const TObject* o = nullptr;
    for (const auto& c : objects_) {
      if ((c.Type & 0xFF & kind) == 0) continue;
      if ((f.Type & DIDFT_ANYINSTANCE) != DIDFT_ANYINSTANCE &&
          DIDFT_GETINSTANCE(c.Type) != instance)
        continue;
      o = &c;
      break;
    }
    if (!o) continue;
    if (o->Type & DIDFT_AXIS) {
      // Dead zone around the centre, then the rest of the travel stretched
      // over the range, as the device driver reports it.
      const double raw = std::clamp(sample_.Axes[o->Source], -32767, 32767) / 32767.0;
      const double dz = o->DeadZone / 10000.0;
      double n = 0;
      if (std::fabs(raw) > dz && dz < 1) n = std::copysign((std::fabs(raw) - dz) / (1 - dz), raw);
      const double centre = (static_cast<double>(o->Min) + o->Max) / 2;
      const double half = (static_cast<double>(o->Max) - o->Min) / 2;
      const int32_t v = ClampToInt32(std::llround(centre + n * half));
      std::memcpy(out + f.Ofs, &v, 4);
    } else if (o->Type & DIDFT_POV) {
      const uint32_t v = sample_.Pov < 0 ? 0xFFFFFFFF : static_cast<uint32_t>(sample_.Pov);
      std::memcpy(out + f.Ofs, &v, 4);
    } else if (o->Type & DIDFT_BUTTON) {
      out[f.Ofs] = sample_.Buttons[o->Source] ? 0x80 : 0;
    }
  }
  return DI_OK;
}

HRESULT TDirectInputDevice::CreateEffect(const GUID& Guid, const TDIEffect* Effect,
                                         std::shared_ptr<TDirectInputEffect>& Out) {
  Out.reset();
  THaptic* h = Haptic();
  const TEffectKind* k = FindEffectKind(Guid);
  if (!h || !k || !h->Supports(k->Kind)) return DIERR_DEVICENOTREG;
  auto e = std::make_shared<TDirectInputEffect>(shared_from_this(), Guid);
  if (Effect) {
    HRESULT hr =
        e->SetParameters(*Effect, DIEP_DURATION | DIEP_SAMPLEPERIOD | DIEP_GAIN |
                                      DIEP_TRIGGERBUTTON | DIEP_TRIGGERREPEATINTERVAL | DIEP_AXES |
                                      DIEP_DIRECTION | DIEP_ENVELOPE | DIEP_TYPESPECIFICPARAMS);
    if (FAILED(hr)) return hr;
  }
  Out = std::move(e);
  return DI_OK;
}

HRESULT TDirectInputDevice::EnumEffects(const std::function<bool(const TDIEffectInfo&)>& Callback,
                                        uint32_t EffType) {
  THaptic* h = Haptic();
  if (!h) return DI_OK;
  for (const auto& k : kEffectKinds) {
    if (EffType != 0 && k.EffType != EffType) continue;
    if (!h->Supports(k.Kind)) continue;
    if (Callback({*k.Guid, k.EffType, k.Name}) == DIENUM_STOP) break;
  }
  return DI_OK;
}

// ---- The DirectInput object ------------------------------------------------

HRESULT TDirectInput::CreateDevice(const GUID& Guid, std::shared_ptr<TDirectInputDevice>& Out) {
  Out.reset();
  if (Guid == GUID_SysKeyboard) {
    Out = std::make_shared<TDirectInputDevice>(DIDEVTYPE_KEYBOARD, nullptr);
    return DI_OK;
  }
  if (Guid == GUID_SysMouse) {
    Out = std::make_shared<TDirectInputDevice>(DIDEVTYPE_MOUSE, nullptr);
    return DI_OK;
  }
  const auto& joys = InputHost().Joysticks();
  // The system joystick is the first one attached.
  for (size_t i = 0; i < joys.size(); ++i) {
    if (Guid == JoystickInstanceGuid(i) || (Guid == GUID_Joystick && i == 0)) {
      Out = std::make_shared<TDirectInputDevice>(DIDEVTYPE_JOYSTICK, joys[i]);
      return DI_OK;
    }
  }
  return DIERR_DEVICENOTREG;
}

HRESULT TDirectInput::EnumDevices(uint32_t DevType,
                                  const std::function<bool(const TDIDeviceInstance&)>& Callback,
                                  uint32_t Flags) {
  std::vector<TDIDeviceInstance> list;
  if (DevType == 0 || DevType == DIDEVTYPE_KEYBOARD)
    list.push_back(
        {GUID_SysKeyboard, GUID_SysKeyboard, DIDEVTYPE_KEYBOARD, "Keyboard", "Keyboard"});
  if (DevType == 0 || DevType == DIDEVTYPE_MOUSE)
    list.push_back({GUID_SysMouse, GUID_SysMouse, DIDEVTYPE_MOUSE, "Mouse", "Mouse"});
  if (DevType == 0 || DevType == DIDEVTYPE_JOYSTICK) {
    const auto& joys = InputHost().Joysticks();
    for (size_t i = 0; i < joys.size(); ++i) {
      if ((Flags & DIEDFL_ATTACHEDONLY) && !joys[i]->Attached()) continue;
      if ((Flags & DIEDFL_FORCEFEEDBACK) && !joys[i]->Haptic()) continue;
      list.push_back({JoystickInstanceGuid(i), GUID_Joystick, DIDEVTYPE_JOYSTICK, joys[i]->Name(),
                      joys[i]->Name()});
    }
  }
  // The callback may open devices, so it sees a copy.
  for (const auto& d : list)
    if (Callback(d) == DIENUM_STOP) break;
  return DI_OK;
}

HRESULT DirectInputCreateA(void* Instance, uint32_t Version, std::shared_ptr<TDirectInput>* Out,
                           void* Outer) {
  if (!Out) return DIERR_INVALIDPARAM;
  Out->reset();
  if (Version > DIRECTINPUT_VERSION) return DIERR_OLDDIRECTINPUTVERSION;
  *Out = std::make_shared<TDirectInput>();
  return DI_OK;
}

// ---- Fallbacks -----------------------------------------------------------------

uint32_t joyGetNumDevs() {
  return 16;
}

uint32_t joyGetDevCapsA(uint32_t JoyID, TJoyCaps* Caps, uint32_t Size) {
  if (!Caps || Size < sizeof(TJoyCaps)) return JOYERR_PARMS;
  const auto& joys = InputHost().Joysticks();
  if (JoyID >= joys.size()) return JOYERR_PARMS;
  const auto& j = joys[JoyID];
  *Caps = {};
  const std::string name = j->Name();
  std::strncpy(Caps->szPname, name.c_str(), sizeof Caps->szPname - 1);
  Caps->wXmax = Caps->wYmax = Caps->wZmax = Caps->wRmax = Caps->wUmax = Caps->wVmax = 65535;
  Caps->wNumButtons = static_cast<uint32_t>(std::clamp(j->ButtonCount(), 0, 32));
  Caps->wMaxButtons = 32;
  Caps->wNumAxes = static_cast<uint32_t>(std::clamp(j->AxisCount(), 0, 6));
  Caps->wMaxAxes = 6;
  Caps->wPeriodMin = 10;
  Caps->wPeriodMax = 1000;
  return JOYERR_NOERROR;
}

uint32_t joyGetPosEx(uint32_t JoyID, TJoyInfoEx* Info) {
  if (!Info || Info->dwSize < sizeof(TJoyInfoEx)) return JOYERR_PARMS;
  const auto& joys = InputHost().Joysticks();
  if (JoyID >= joys.size()) return JOYERR_PARMS;
  const auto& j = joys[JoyID];
  if (!j->Attached()) return JOYERR_UNPLUGGED;
  TJoystickSample s;
  j->Read(s);
  // -32768..32767 onto the 0..65535 that the capabilities report.
  auto pos = [&](int i) {
    return i < j->AxisCount() ? static_cast<uint32_t>(s.Axes[i] + 32768) : 32768u;
  };
  const uint32_t flags = Info->dwFlags;
  if (flags & JOY_RETURNX) Info->dwXpos = pos(0);
  if (flags & JOY_RETURNY) Info->dwYpos = pos(1);
  if (flags & JOY_RETURNZ) Info->dwZpos = pos(2);
  if (flags & JOY_RETURNR) Info->dwRpos = pos(3);
  if (flags & JOY_RETURNU) Info->dwUpos = pos(4);
  if (flags & JOY_RETURNV) Info->dwVpos = pos(5);
  if (flags & JOY_RETURNPOV)
    Info->dwPOV = s.Pov < 0 ? JOY_POVCENTERED : static_cast<uint32_t>(s.Pov);
  if (flags & JOY_RETURNBUTTONS) {
    Info->dwButtons = 0;
    Info->dwButtonNumber = 0;
    for (int i = 0; i < std::min(j->ButtonCount(), 32); ++i)
      if (s.Buttons[i]) {
        Info->dwButtons |= 1u << i;
        ++Info->dwButtonNumber;
      }
  }
  return JOYERR_NOERROR;
}

int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
  if (c == 0) return -1;
  int64_t n = int64_t{a} * b;
  // Halves round away from zero.
  const bool neg = (n < 0) != (c < 0);
  const int64_t an = n < 0 ? -n : n;
  const int64_t ac = c < 0 ? -int64_t{c} : c;
  int64_t q = (an + ac / 2) / ac;
  q = neg ? -q : q;
  if (q > INT32_MAX || q < INT32_MIN) return -1;
  return static_cast<int32_t>(q);
}

void RegisterDirectInputModule() {
  RegisterBuiltinModule("DInput.dll",
                        {{"DirectInputCreateA", reinterpret_cast<FARPROC>(&DirectInputCreateA)}});
}
