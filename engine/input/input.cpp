#include "engine/input/input.h"

#include <algorithm>
#include <cstring>

#include "framework/filer.h"
#include "framework/scope_exit.h"
#include "platform/win/user.h"

namespace {

// The program's one object, shared by the components that hold it: it goes
// when the last of them lets go, and the next one to ask makes a new one.
std::weak_ptr<TDirectInput> g_directInput;

constexpr uint32_t kJoyStateSize = sizeof(TDIJoyState2);

}  // namespace

void SetKeyAssign(TKeyAssignList& Table, int State, std::initializer_list<int32_t> Keys) {
  // The row is the state's number: anything past the 36 rows would land
  // outside the table, so it is ignored.
  const int row = State & 127;
  if (row >= InputStateCount) return;
  TKeyAssign& r = Table[static_cast<size_t>(row)];
  r = {0, 0, 0};
  size_t i = 0;
  for (int32_t k : Keys) {
    if (i == r.size()) break;
    r[i++] = k;
  }
}

int32_t JoystickAxisValue(int32_t Pos, int32_t Max, int32_t Min, int32_t Range, int32_t DeadZone) {
  // The centre lies half-way between the ends, wherever the travel starts.
  const int64_t half = (int64_t{Max} - Min) / 2;
  const int64_t v = int64_t{Pos} - (int64_t{Min} + half);
  const int64_t dz = half * std::clamp(DeadZone, 0, 100) / 100;
  if (half <= dz || (v < 0 ? -v : v) <= dz) return 0;
  const int64_t range = std::max(Range, 0);
  // MulDiv's rounding, in 64 bits so that no travel can overflow it.
  auto muldiv = [](int64_t a, int64_t b, int64_t c) {
    const int64_t n = a * b;
    const int64_t q = (n < 0 ? n - c / 2 : n + c / 2) / c;
    return static_cast<int32_t>(std::clamp<int64_t>(q, INT32_MIN, INT32_MAX));
  };
  return v > 0 ? muldiv(v - dz, range, half - dz) : muldiv(v + dz, range, half - dz);
}

std::shared_ptr<TDirectInput> AcquireDirectInput() {
  if (std::shared_ptr<TDirectInput> held = g_directInput.lock()) return held;
  std::shared_ptr<TDirectInput> di;
  try {
    auto create = LoadDirectXEntryAs<TDirectInputCreateA>("DInput.dll", "DirectInputCreateA");
    if (!create || FAILED(create(nullptr, DIRECTINPUT_VERSION, &di, nullptr))) di.reset();
  } catch (const Exception&) {
    // No DirectInput: the devices fall back.
    di.reset();
  }
  g_directInput = di;
  return di;
}

void ReleaseDirectInput(std::shared_ptr<TDirectInput>& Object) {
  Object.reset();
}

int DirectInputReferences() {
  return static_cast<int>(g_directInput.use_count());
}

// ---- TCustomInput ---------------------------------------------------------------

TCustomInput::TCustomInput(TCustomDXInput* DXInput)
    : dxInput_(DXInput), effects_(std::make_unique<TForceFeedbackEffects>(this)) {
  if (dxInput_) dxInput_->devices_.push_back(this);
}

TCustomInput::~TCustomInput() {
  try {
    TCustomInput::Finalize();
  } catch (...) {
  }
  if (dxInput_) std::erase(dxInput_->devices_, this);
}

bool TCustomInput::Loading() const {
  return dxInput_ && (dxInput_->Has(csLoading) || dxInput_->Has(csReading));
}

void TCustomInput::SetEnabled(bool Value) {
  if (enabled_ == Value) return;
  enabled_ = Value;
  if (!Loading()) Initialize();
}

void TCustomInput::SetForceFeedback(bool Value) {
  if (forceFeedback_ == Value) return;
  forceFeedback_ = Value;
  if (!Loading()) Initialize();
}

void TCustomInput::Assign(TPersistent* Source) {
  if (auto* s = dynamic_cast<TCustomInput*>(Source)) {
    if (s == this) return;
    BindInputStates = s->BindInputStates;
    SetEnabled(s->enabled_);
    SetForceFeedback(s->forceFeedback_);
    effects_->Assign(s->effects_.get());
    return;
  }
  TPersistent::Assign(Source);
}

bool TCustomInput::ReadProperty(const std::string& Name, TReader& Reader) {
  if (Name == "BindInputStates") {
    BindInputStates = Reader.ReadBoolean();
  } else if (Name == "Enabled") {
    SetEnabled(Reader.ReadBoolean());
  } else if (Name == "ForceFeedback") {
    SetForceFeedback(Reader.ReadBoolean());
  } else if (Name == "Effects.Effects" || Name == "Effects") {
    return effects_->ReadProperty("Effects", Reader);
  } else {
    return TPersistent::ReadProperty(Name, Reader);
  }
  return true;
}

void TCustomInput::WriteDeviceProperties(TWriter& Writer, const std::string& Prefix) const {
  Writer.WriteBoolean(Prefix + "BindInputStates", BindInputStates);
  Writer.WriteBoolean(Prefix + "Enabled", enabled_);
  Writer.WriteBoolean(Prefix + "ForceFeedback", forceFeedback_);
  // The tree is a sub-object whose own property is "Effects", so its path
  // repeats the name; a bare "Effects" is still read.
  Writer.WriteBinary(Prefix + "Effects.Effects", [&](TStream& s) { effects_->SaveToStream(s); });
}

bool TCustomInput::InputAllowed() const {
  if (!dxInput_ || !dxInput_->activeOnly_) return true;
  TForm* f = dxInput_->form_;
  return f && f->HandleAllocated() && GetForegroundWindow() == f->Handle();
}

void TCustomInput::Initialize() {
  initialized_ = true;
  effects_->Initialize();
}

void TCustomInput::Finalize() {
  if (device_) device_->Unacquire();
  device2_.reset();
  device_.reset();
  initialized_ = false;
  effects_->Finalize();
  forceFeedbackDevice_ = false;
  states_ = {};
}

uint32_t TCustomInput::GetCooperativeLevel() const {
  uint32_t level = (forceFeedbackDevice_ && forceFeedback_) ? DISCL_EXCLUSIVE : DISCL_NONEXCLUSIVE;
  const bool activeOnly = dxInput_ ? dxInput_->activeOnly_ : true;
  return level | (activeOnly ? DISCL_FOREGROUND : DISCL_BACKGROUND);
}

void TCustomInput::Acquire() {
  // Restarting the effects may find the device still refusing and ask for
  // it again: one attempt at a time.
  if (acquiring_ || !InputAllowed()) return;
  acquiring_ = true;
  const TScopeExit done([this] { acquiring_ = false; });
  if (device_) device_->Acquire();
  effects_->Acquire();
}

bool TCustomInput::GetDeviceState(uint32_t Size, void* Buffer) {
  std::memset(Buffer, 0, Size);
  if (!device_) return false;
  HRESULT hr = device_->GetDeviceState(Size, Buffer);
  if (hr == DIERR_INPUTLOST || hr == DIERR_NOTACQUIRED) {
    Acquire();
    hr = device_->GetDeviceState(Size, Buffer);
  }
  if (FAILED(hr)) {
    std::memset(Buffer, 0, Size);
    return false;
  }
  return true;
}

void TCustomInput::BuildDataFormat(uint32_t DataSize) {
  dataFormat_ = {};
  dataFormat_.Flags = DIDF_ABSAXIS;
  dataFormat_.DataSize = DataSize;
  if (!device_) return;
  device_->EnumObjects(
      [&](const TDIDeviceObjectInstance& o) {
        if (dataFormat_.Objects.size() >= 256) return DIENUM_STOP;
        const bool known = o.GuidType == GUID_XAxis || o.GuidType == GUID_YAxis ||
                           o.GuidType == GUID_ZAxis || o.GuidType == GUID_RxAxis ||
                           o.GuidType == GUID_RyAxis || o.GuidType == GUID_RzAxis ||
                           o.GuidType == GUID_Button || o.GuidType == GUID_POV;
        if (known && o.Ofs < DataSize)
          dataFormat_.Objects.push_back({o.GuidType, o.Ofs, o.Type, 0});
        return DIENUM_CONTINUE;
      },
      DIDFT_ALL);
}

// ---- TKeyboard ---------------------------------------------------------------------

TKeyboard::TKeyboard(TCustomDXInput* DXInput) : TCustomInput(DXInput) {}

void TKeyboard::Assign(TPersistent* Source) {
  if (auto* s = dynamic_cast<TKeyboard*>(Source)) Assigns = s->Assigns;
  TCustomInput::Assign(Source);
}

void TKeyboard::Initialize() {
  Finalize();
  if (!Enabled() || (DXInput() && DXInput()->Has(csDesigning))) return;
  if (TDirectInput* di = DXInput() ? DXInput()->DirectInput() : nullptr) {
    if (FAILED(di->CreateDevice(GUID_SysKeyboard, device_))) return;
    device_->SetDataFormat(c_dfDIKeyboard());
  }
  TCustomInput::Initialize();
}

void TKeyboard::Finalize() {
  TCustomInput::Finalize();
  Keys.fill(0);
}

bool TKeyboard::GetKey(int Key) const {
  return Key >= 1 && Key <= 255 && (Keys[static_cast<size_t>(Key)] & 0x80) != 0;
}

void TKeyboard::Update() {
  Keys.fill(0);
  states_ = {};
  if (!initialized_ || !InputAllowed()) return;
  if (device_) {
    uint8_t scan[256];
    if (GetDeviceState(sizeof scan, scan))
      for (int code = 0; code < 256; ++code)
        if (scan[code] & 0x80) Keys[ScanCodeToVirtualKey(code)] = 0x80;
  } else {
    ::GetKeyboardState(Keys.data());
  }
  for (int s = 0; s < InputStateCount; ++s)
    for (int32_t k : Assigns[static_cast<size_t>(s)])
      if (GetKey(k)) {
        states_.Include(static_cast<TDXInputBit>(s));
        break;
      }
}

std::vector<uint8_t> TKeyboard::AssignsBytes() const {
  std::vector<uint8_t> out;
  out.reserve(KeyAssignListSize);
  for (const auto& row : Assigns)
    for (int32_t k : row) {
      const auto u = static_cast<uint32_t>(k);
      for (int b = 0; b < 4; ++b) out.push_back(static_cast<uint8_t>(u >> (8 * b)));
    }
  return out;
}

void TKeyboard::SetAssignsBytes(const std::vector<uint8_t>& Bytes) {
  // A table of another size would shift every row: refuse it whole.
  if (Bytes.size() != KeyAssignListSize) Raise<EReadError>("Invalid property value");
  size_t p = 0;
  for (auto& row : Assigns)
    for (int32_t& k : row) {
      uint32_t u = 0;
      for (int b = 0; b < 4; ++b) u |= uint32_t{Bytes[p++]} << (8 * b);
      k = static_cast<int32_t>(u);
    }
}

bool TKeyboard::ReadProperty(const std::string& Name, TReader& Reader) {
  // "Aissgns" is how older forms spelled the table.
  if (Name == "Assigns" || Name == "Aissgns") {
    SetAssignsBytes(Reader.ReadBinary());
    return true;
  }
  return TCustomInput::ReadProperty(Name, Reader);
}

void TKeyboard::WriteDeviceProperties(TWriter& Writer, const std::string& Prefix) const {
  TCustomInput::WriteDeviceProperties(Writer, Prefix);
  Writer.WriteBinary(Prefix + "Assigns", AssignsBytes());
}

// ---- TMouse ------------------------------------------------------------------------

TMouse::TMouse(TCustomDXInput* DXInput) : TCustomInput(DXInput) {
  BindInputStates = false;
  SetEnabled(false);
}

void TMouse::Initialize() {
  Finalize();
  if (!Enabled() || (DXInput() && DXInput()->Has(csDesigning))) return;
  TDirectInput* di = DXInput() ? DXInput()->DirectInput() : nullptr;
  if (!di) {
    // Without DirectInput the mouse reads its buttons from the keyboard
    // state and its motion from the cursor, like the keyboard's fallback,
    // rather than failing the whole component.
    ::GetCursorPos(&lastCursor_);
    TCustomInput::Initialize();
    return;
  }
  if (FAILED(di->CreateDevice(GUID_SysMouse, device_))) {
    device_.reset();
    return;
  }
  device_->SetDataFormat(c_dfDIMouse());
  TCustomInput::Initialize();
}

void TMouse::Finalize() {
  TCustomInput::Finalize();
  MouseState = {};
}

void TMouse::Update() {
  MouseState = {};
  states_ = {};
  if (!initialized_ || !InputAllowed()) return;
  if (device_) {
    GetDeviceState(sizeof MouseState, &MouseState);
  } else {
    POINT p{0, 0};
    ::GetCursorPos(&p);
    MouseState.lX = p.x - lastCursor_.x;
    MouseState.lY = p.y - lastCursor_.y;
    lastCursor_ = p;
    uint8_t keys[256];
    ::GetKeyboardState(keys);
    MouseState.rgbButtons[0] = keys[VK_LBUTTON] & 0x80;
    MouseState.rgbButtons[1] = keys[VK_RBUTTON] & 0x80;
    MouseState.rgbButtons[2] = keys[VK_MBUTTON] & 0x80;
  }
  if (MouseState.lX < 0) states_.Include(ibLeft);
  if (MouseState.lX > 0) states_.Include(ibRight);
  if (MouseState.lY < 0) states_.Include(ibUp);
  if (MouseState.lY > 0) states_.Include(ibDown);
  for (int i = 0; i < 3; ++i)
    if (MouseState.rgbButtons[i] & 0x80) states_.Include(ibButton(i + 1));
}

// ---- TJoystick -------------------------------------------------------------------

TJoystick::TJoystick(TCustomDXInput* DXInput) : TCustomInput(DXInput) {
  for (int ofs : {0, 4, 8}) {
    deadZone_[static_cast<size_t>(ofs)] = 50;
    range_[static_cast<size_t>(ofs)] = 1000;
  }
}

void TJoystick::Assign(TPersistent* Source) {
  if (auto* s = dynamic_cast<TJoystick*>(Source)) {
    if (s == this) return;
    deadZone_ = s->deadZone_;
    range_ = s->range_;
    SetAutoCenter(s->autoCenter_);
    // An opened device takes the new values at once, as at Initialize.
    if (device_)
      for (int ofs = 0; ofs < static_cast<int>(kJoyStateSize); ++ofs) {
        SetDeadZone(ofs, GetDeadZone(ofs));
        SetRange(ofs, GetRange(ofs));
      }
    TCustomInput::Assign(Source);
    SetID(s->id_);
    return;
  }
  TCustomInput::Assign(Source);
}

int32_t TJoystick::GetDeadZone(int Offset) const {
  return Offset >= 0 && Offset <= 270 ? deadZone_[static_cast<size_t>(Offset)] : 0;
}

int32_t TJoystick::GetRange(int Offset) const {
  return Offset >= 0 && Offset <= 270 ? range_[static_cast<size_t>(Offset)] : 0;
}

void TJoystick::SetDeadZone(int Offset, int32_t Value) {
  if (Offset < 0 || Offset > 270) return;
  auto& slot = deadZone_[static_cast<size_t>(Offset)];
  if (Offset == static_cast<int>(DIJOFS_POV0)) {
    slot = -1;  // a hat has no dead zone
    return;
  }
  slot = std::clamp(Value, 0, 100);
  if (device_) {
    TDIPropDword p;
    p.Header = {static_cast<uint32_t>(Offset), DIPH_BYOFFSET};
    p.Data = static_cast<uint32_t>(slot) * 100;
    if (FAILED(device_->SetProperty(DIPROP_DEADZONE, p))) slot = -1;
  }
}

void TJoystick::SetRange(int Offset, int32_t Value) {
  if (Offset < 0 || Offset > 270) return;
  auto& slot = range_[static_cast<size_t>(Offset)];
  if (Offset == static_cast<int>(DIJOFS_POV0)) {
    slot = -1;
    return;
  }
  slot = std::max(Value, 0);
  if (device_) {
    TDIPropRange p;
    p.Header = {static_cast<uint32_t>(Offset), DIPH_BYOFFSET};
    p.Min = -slot;
    p.Max = slot;
    if (FAILED(device_->SetProperty(DIPROP_RANGE, p))) slot = -1;
  }
}

void TJoystick::SetAutoCenter(bool Value) {
  autoCenter_ = Value;
  if (device_) {
    TDIPropDword p;
    p.Header = {0, DIPH_DEVICE};
    p.Data = Value ? DIPROPAUTOCENTER_ON : DIPROPAUTOCENTER_OFF;
    device_->SetProperty(DIPROP_AUTOCENTER, p);
  }
}

void TJoystick::SetID(int Value) {
  if (id_ == Value) return;
  id_ = Value;
  Initialize();
}

uint32_t TJoystick::GetCooperativeLevel() const {
  if (!autoCenter_) return DISCL_EXCLUSIVE | DISCL_FOREGROUND;
  return TCustomInput::GetCooperativeLevel();
}

void TJoystick::Finalize() {
  TCustomInput::Finalize();
  joyID_ = -1;
  JoyState = {};
}

void TJoystick::InitializeDirectInput(TDirectInput& DI) {
  int index = 0;
  bool found = false;
  DI.EnumDevices(
      DIDEVTYPE_JOYSTICK,
      [&](const TDIDeviceInstance& d) {
        if (index++ == id_) {
          deviceGuid_ = d.GuidInstance;
          found = true;
          return DIENUM_STOP;
        }
        return DIENUM_CONTINUE;
      },
      DIEDFL_ATTACHEDONLY);
  if (!found || FAILED(DI.CreateDevice(deviceGuid_, device_))) {
    device_.reset();
    return;
  }
  TDIDevCaps caps;
  device_->GetCapabilities(caps);
  forceFeedbackDevice_ = (caps.Flags & DIDC_FORCEFEEDBACK) != 0;
  // A device given up on leaves nothing behind that would make the
  // cooperative level or the effects think it is still there.
  auto drop = [&] {
    device_.reset();
    forceFeedbackDevice_ = false;
  };
  if (ReopenAsSystemJoystick) {
    std::shared_ptr<TDirectInputDevice> again;
    if (FAILED(DI.CreateDevice(GUID_Joystick, again))) return drop();
    device_ = std::move(again);
  }
  BuildDataFormat(kJoyStateSize);
  if (FAILED(device_->SetDataFormat(dataFormat_))) return drop();
  SetAutoCenter(autoCenter_);
  for (int ofs = 0; ofs < static_cast<int>(kJoyStateSize); ++ofs) {
    SetDeadZone(ofs, GetDeadZone(ofs));
    SetRange(ofs, GetRange(ofs));
  }
  device2_ = device_;
}

void TJoystick::Initialize() {
  Finalize();
  if (!Enabled() || id_ < 0 || (DXInput() && DXInput()->Has(csDesigning))) return;
  if (TDirectInput* di = DXInput() ? DXInput()->DirectInput() : nullptr) {
    try {
      InitializeDirectInput(*di);
    } catch (...) {
      Finalize();
      throw;
    }
    if (!device_) return;
  } else {
    int working = 0;
    for (uint32_t n = 0; n < 256; ++n) {
      TJoyInfoEx info;
      info.dwFlags = JOY_RETURNALL;
      if (joyGetPosEx(n, &info) != JOYERR_NOERROR) continue;
      if (working++ == id_) {
        joyID_ = static_cast<int>(n);
        joyGetDevCapsA(n, &joyCaps_, sizeof joyCaps_);
        break;
      }
    }
  }
  TCustomInput::Initialize();
}

void TJoystick::Update() {
  JoyState = {};
  states_ = {};
  if (!initialized_ || !InputAllowed()) return;
  if (device_) {
    if (device2_) device2_->Poll();
    GetDeviceState(kJoyStateSize, &JoyState);
  } else if (joyID_ >= 0) {
    TJoyInfoEx info;
    info.dwFlags = JOY_RETURNX | JOY_RETURNY | JOY_RETURNZ | JOY_RETURNPOV | JOY_RETURNBUTTONS |
                   JOY_RETURNCENTERED;
    if (joyGetPosEx(static_cast<uint32_t>(joyID_), &info) == JOYERR_NOERROR) {
      auto axis = [&](uint32_t pos, uint32_t max, uint32_t min, int ofs) {
        return JoystickAxisValue(static_cast<int32_t>(pos), static_cast<int32_t>(max),
                                 static_cast<int32_t>(min), GetRange(ofs), GetDeadZone(ofs));
      };
      JoyState.lX = axis(info.dwXpos, joyCaps_.wXmax, joyCaps_.wXmin, 0);
      JoyState.lY = axis(info.dwYpos, joyCaps_.wYmax, joyCaps_.wYmin, 4);
      JoyState.lZ = axis(info.dwZpos, joyCaps_.wZmax, joyCaps_.wZmin, 8);
      JoyState.rgdwPOV[0] = info.dwPOV;
      for (uint32_t n = 0; n < std::min<uint32_t>(joyCaps_.wNumButtons, 32); ++n)
        if (info.dwButtons & (1u << n)) JoyState.rgbButtons[n] = 128;
    }
  }
  for (int i = 0; i < 32; ++i)
    if (JoyState.rgbButtons[i] & 0x80) states_.Include(ibButton(i + 1));
  if (JoyState.lX < 0) states_.Include(ibLeft);
  if (JoyState.lX > 0) states_.Include(ibRight);
  if (JoyState.lY < 0) states_.Include(ibUp);
  if (JoyState.lY > 0) states_.Include(ibDown);
}

bool TJoystick::ReadProperty(const std::string& Name, TReader& Reader) {
  if (Name == "AutoCenter") {
    SetAutoCenter(Reader.ReadBoolean());
  } else if (Name == "ID") {
    SetID(Reader.ReadInteger());
  } else if (Name == "DeadZoneX" || Name == "DeadZoneY" || Name == "DeadZoneZ") {
    SetDeadZone(4 * (Name.back() - 'X'), Reader.ReadInteger());
  } else if (Name == "RangeX" || Name == "RangeY" || Name == "RangeZ") {
    SetRange(4 * (Name.back() - 'X'), Reader.ReadInteger());
  } else {
    return TCustomInput::ReadProperty(Name, Reader);
  }
  return true;
}

void TJoystick::WriteDeviceProperties(TWriter& Writer, const std::string& Prefix) const {
  TCustomInput::WriteDeviceProperties(Writer, Prefix);
  Writer.WriteBoolean(Prefix + "AutoCenter", autoCenter_);
  Writer.WriteInteger(Prefix + "DeadZoneX", DeadZoneX());
  Writer.WriteInteger(Prefix + "DeadZoneY", DeadZoneY());
  Writer.WriteInteger(Prefix + "DeadZoneZ", DeadZoneZ());
  Writer.WriteInteger(Prefix + "ID", id_);
  Writer.WriteInteger(Prefix + "RangeX", RangeX());
  Writer.WriteInteger(Prefix + "RangeY", RangeY());
  Writer.WriteInteger(Prefix + "RangeZ", RangeZ());
}

// ---- TCustomDXInput ----------------------------------------------------------------

TCustomDXInput::TCustomDXInput(TComponent* AOwner) : TComponent(AOwner) {
  joystick_ = std::make_unique<TJoystick>(this);
  keyboard_ = std::make_unique<TKeyboard>(this);
  mouse_ = std::make_unique<TMouse>(this);
  for (TComponent* o = AOwner; o; o = o->Owner())
    if ((form_ = dynamic_cast<TForm*>(o))) break;
  if (!form_) Raise<EDXInputError>("Form not found");
  formHook_ = std::make_unique<TControlSubClass>(
      form_, [this](TMessage& m, const TWndMethod& def) { FormWndProc(m, def); });
}

TCustomDXInput::~TCustomDXInput() {
  try {
    Finalize();
  } catch (...) {
  }
  joystick_.reset();
  keyboard_.reset();
  mouse_.reset();
  formHook_.reset();
}

void TCustomDXInput::FormWndProc(TMessage& Message, const TWndMethod& DefWindowProc) {
  DefWindowProc(Message);
  switch (Message.Msg) {
    case WM_CREATE:
      SetCooperativeLevels();
      break;
    case WM_ACTIVATE:
      if (LOWORD(Message.WParam) != 0) AcquireAll();
      break;
    case WM_ACTIVATEAPP:
      if (Message.WParam != 0) AcquireAll();
      break;
    default:
      break;
  }
}

void TCustomDXInput::Loaded() {
  // The loading flag stays set: from here on, device settings only take
  // effect at the next Initialize.
  Initialize();
}

void TCustomDXInput::SetActiveOnly(bool Value) {
  if (activeOnly_ == Value) return;
  activeOnly_ = Value;
  if (!Has(csLoading) && !Has(csReading)) SetCooperativeLevels();
}

void TCustomDXInput::SetUseDirectInput(bool Value) {
  if (useDirectInput_ == Value) return;
  useDirectInput_ = Value;
  Initialize();
}

void TCustomDXInput::Initialize() {
  Finalize();
  if (Has(csDesigning)) return;
  if (useDirectInput_) directInput_ = AcquireDirectInput();
  for (TCustomInput* d : std::vector<TCustomInput*>(devices_)) d->Initialize();
  SetCooperativeLevels();
  Update();
}

void TCustomDXInput::Finalize() {
  for (TCustomInput* d : devices_) d->Finalize();
  ReleaseDirectInput(directInput_);
}

void TCustomDXInput::SetCooperativeLevels() {
  if (!form_) return;
  for (TCustomInput* d : devices_)
    if (TDirectInputDevice* dev = d->Device())
      dev->SetCooperativeLevel(form_->Handle(), d->GetCooperativeLevel());
}

void TCustomDXInput::AcquireAll() {
  for (TCustomInput* d : devices_) d->Acquire();
}

void TCustomDXInput::Update() {
  TDXInputBits u;
  for (TCustomInput* d : devices_) {
    d->Update();
    if (d->BindInputStates) u = u + d->States();
  }
  for (int i = 0; i < InputStateCount; ++i) {
    const auto s = static_cast<TDXInputBit>(i);
    if (u.Contains(s) && !prevStates_.Contains(s)) States.Include(s);
    if (prevStates_.Contains(s) && !u.Contains(s)) States.Exclude(s);
  }
  prevStates_ = u;
}

bool TCustomDXInput::ReadProperty(const std::string& Name, TReader& Reader) {
  auto dispatch = [&](const char* prefix, TCustomInput* device) {
    const size_t n = std::strlen(prefix);
    return Name.size() > n && Name.compare(0, n, prefix) == 0 &&
           device->ReadProperty(Name.substr(n), Reader);
  };
  if (Name == "ActiveOnly") {
    SetActiveOnly(Reader.ReadBoolean());
    return true;
  }
  if (Name == "UseDirectInput") {
    SetUseDirectInput(Reader.ReadBoolean());
    return true;
  }
  if (dispatch("Joystick.", joystick_.get()) || dispatch("Keyboard.", keyboard_.get()) ||
      dispatch("Mouse.", mouse_.get()))
    return true;
  return TComponent::ReadProperty(Name, Reader);
}

void TCustomDXInput::WriteProperties(TWriter& Writer) const {
  Writer.WriteBoolean("ActiveOnly", activeOnly_);
  joystick_->WriteDeviceProperties(Writer, "Joystick.");
  keyboard_->WriteDeviceProperties(Writer, "Keyboard.");
  mouse_->WriteDeviceProperties(Writer, "Mouse.");
  Writer.WriteBoolean("UseDirectInput", useDirectInput_);
}
