// The input component: keyboard, mouse and joystick polled once per frame
// and folded into one latched set of 36 input states, with the key-assignment
// table that maps states to keys.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "engine/directx/directx.h"
#include "engine/input/effects.h"
#include "framework/classes.h"
#include "framework/forms.h"
#include "framework/sysutils.h"
#include "platform/dinput/dinput.h"
#include "platform/dinput/keytable.h"

TAL_DECLARE_EXCEPTION(EDXInputError, Exception)

enum TDXInputBit : uint8_t {
  ibUp,
  ibDown,
  ibLeft,
  ibRight,
  ibButton1,
  ibButton2,
  ibButton3,
  ibButton4,
  ibButton5,
  ibButton6,
  ibButton7,
  ibButton8,
  ibButton9,
  ibButton10,
  ibButton11,
  ibButton12,
  ibButton13,
  ibButton14,
  ibButton15,
  ibButton16,
  ibButton17,
  ibButton18,
  ibButton19,
  ibButton20,
  ibButton21,
  ibButton22,
  ibButton23,
  ibButton24,
  ibButton25,
  ibButton26,
  ibButton27,
  ibButton28,
  ibButton29,
  ibButton30,
  ibButton31,
  ibButton32,
};
constexpr int InputStateCount = 36;
constexpr TDXInputBit ibButton(int n) {
  return static_cast<TDXInputBit>(ibButton1 + n - 1);
}

// A set of input states; bit i is state i, 5 bytes when stored.
class TDXInputBits {
 public:
  constexpr TDXInputBits() = default;
  constexpr TDXInputBits(std::initializer_list<TDXInputBit> Bits) {
    for (auto b : Bits) Include(b);
  }
  constexpr bool Contains(TDXInputBit b) const { return (bits_ >> b) & 1; }
  constexpr void Include(TDXInputBit b) { bits_ |= uint64_t{1} << b; }
  constexpr void Exclude(TDXInputBit b) { bits_ &= ~(uint64_t{1} << b); }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr uint64_t Value() const { return bits_; }
  constexpr TDXInputBits operator+(TDXInputBits o) const { return FromValue(bits_ | o.bits_); }
  constexpr TDXInputBits operator-(TDXInputBits o) const { return FromValue(bits_ & ~o.bits_); }
  constexpr TDXInputBits operator*(TDXInputBits o) const { return FromValue(bits_ & o.bits_); }
  friend constexpr bool operator==(TDXInputBits, TDXInputBits) = default;
  static constexpr TDXInputBits FromValue(uint64_t v) {
    TDXInputBits r;
    r.bits_ = v & 0xFFFFFFFFFFull;
    return r;
  }

 private:
  uint64_t bits_ = 0;
};

// Three Windows virtual-key codes per state; a code outside 1..255 is no key.
using TKeyAssign = std::array<int32_t, 3>;
using TKeyAssignList = std::array<TKeyAssign, InputStateCount>;
inline constexpr TKeyAssignList DefaultKeyAssigns = [] {
  TKeyAssignList t{};
  t[ibUp] = {'K', VK_UP, VK_NUMPAD0 + 8};
  t[ibDown] = {'J', VK_DOWN, VK_NUMPAD0 + 2};
  t[ibLeft] = {'H', VK_LEFT, VK_NUMPAD0 + 4};
  t[ibRight] = {'L', VK_RIGHT, VK_NUMPAD0 + 6};
  t[ibButton1] = {'Z', VK_SPACE, 0};
  t[ibButton2] = {'X', VK_RETURN, 0};
  t[ibButton9] = {VK_F1 + 1, 0, 0};
  return t;
}();
constexpr size_t KeyAssignListSize = InputStateCount * 3 * 4;  // 432 bytes as stored
// Replaces State's row with up to three codes, first slot first. States
// outside the table are ignored.
void SetKeyAssign(TKeyAssignList& Table, int State, std::initializer_list<int32_t> Keys);

// The integer axis value of the multimedia joystick: dead band around the
// centre of min..max, the rest scaled onto -range..range.
int32_t JoystickAxisValue(int32_t Pos, int32_t Max, int32_t Min, int32_t Range, int32_t DeadZone);

class TCustomDXInput;

// Shared DirectInput object of the program, nullptr when unavailable.
std::shared_ptr<TDirectInput> AcquireDirectInput();
void ReleaseDirectInput(std::shared_ptr<TDirectInput>& Object);
// How many components hold the object now (tests).
int DirectInputReferences();

class TCustomInput : public TPersistent {
 public:
  TAL_CLASS_NAME(TCustomInput)
  explicit TCustomInput(TCustomDXInput* DXInput);
  ~TCustomInput() override;
  TCustomInput(const TCustomInput&) = delete;
  TCustomInput& operator=(const TCustomInput&) = delete;

  virtual void Finalize();
  virtual void Initialize();
  virtual uint32_t GetCooperativeLevel() const;
  virtual void Update() = 0;

  void Assign(TPersistent* Source) override;
  bool ReadProperty(const std::string& Name, TReader& Reader) override;
  void WriteProperties(TWriter& Writer) const override { WriteDeviceProperties(Writer, ""); }
  // The properties under Prefix + name ("Keyboard.Assigns" in the
  // component's stream).
  virtual void WriteDeviceProperties(TWriter& Writer, const std::string& Prefix) const;

  void Acquire();
  // Zeroes Buffer, reads; once more after re-acquiring when the input was
  // lost. True on success.
  bool GetDeviceState(uint32_t Size, void* Buffer);

  bool BindInputStates = true;
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool Value);
  bool ForceFeedback() const { return forceFeedback_; }
  void SetForceFeedback(bool Value);
  bool ForceFeedbackDevice() const { return forceFeedbackDevice_; }
  bool Initialized() const { return initialized_; }
  TDXInputBits States() const { return states_; }
  TForceFeedbackEffects* Effects() const { return effects_.get(); }
  void SetEffects(TForceFeedbackEffects* Value) { effects_->Assign(Value); }
  TCustomDXInput* DXInput() const { return dxInput_; }
  TDirectInputDevice* Device() const { return device_.get(); }
  TDirectInputDevice* Device2() const { return device2_.get(); }

 protected:
  // Format for the joystick: absolute axes, DataSize bytes, every object the
  // device lists below that size.
  void BuildDataFormat(uint32_t DataSize);
  bool InputAllowed() const;  // ActiveOnly and the form in front, or not ActiveOnly
  bool Loading() const;

  TDIDataFormat dataFormat_;
  std::shared_ptr<TDirectInputDevice> device_;
  std::shared_ptr<TDirectInputDevice> device2_;
  bool forceFeedbackDevice_ = false;
  bool initialized_ = false;
  TDXInputBits states_;

 private:
  TCustomDXInput* dxInput_;
  std::unique_ptr<TForceFeedbackEffects> effects_;
  bool enabled_ = true;
  bool forceFeedback_ = false;
  bool acquiring_ = false;
};

class TKeyboard : public TCustomInput {
 public:
  TAL_CLASS_NAME(TKeyboard)
  explicit TKeyboard(TCustomDXInput* DXInput);
  void Finalize() override;
  void Initialize() override;
  void Update() override;
  void Assign(TPersistent* Source) override;
  bool ReadProperty(const std::string& Name, TReader& Reader) override;
  void WriteDeviceProperties(TWriter& Writer, const std::string& Prefix) const override;

  bool GetKey(int Key) const;
  // 256 bytes by virtual-key code, bit 7 = down.
  std::array<uint8_t, 256> Keys{};
  TKeyAssignList Assigns = DefaultKeyAssigns;

  // The "Assigns" value: 432 bytes, rows of three little-endian codes.
  std::vector<uint8_t> AssignsBytes() const;
  // Raises EReadError "Invalid property value" unless Bytes holds the table.
  void SetAssignsBytes(const std::vector<uint8_t>& Bytes);
};

class TMouse : public TCustomInput {
 public:
  TAL_CLASS_NAME(TMouse)
  explicit TMouse(TCustomDXInput* DXInput);
  void Initialize() override;
  void Finalize() override;
  void Update() override;

  TDIMouseState MouseState;
  int32_t X() const { return MouseState.lX; }
  int32_t Y() const { return MouseState.lY; }
  int32_t Z() const { return MouseState.lZ; }

 private:
  POINT lastCursor_{0, 0};
};

class TJoystick : public TCustomInput {
 public:
  TAL_CLASS_NAME(TJoystick)
  explicit TJoystick(TCustomDXInput* DXInput);
  void Finalize() override;
  void Initialize() override;
  uint32_t GetCooperativeLevel() const override;
  void Update() override;
  void Assign(TPersistent* Source) override;
  bool ReadProperty(const std::string& Name, TReader& Reader) override;
  void WriteDeviceProperties(TWriter& Writer, const std::string& Prefix) const override;

  TDIJoyState2 JoyState;
  int32_t X() const { return JoyState.lX; }
  int32_t Y() const { return JoyState.lY; }
  int32_t Z() const { return JoyState.lZ; }

  bool AutoCenter() const { return autoCenter_; }
  void SetAutoCenter(bool Value);
  int ID() const { return id_; }
  void SetID(int Value);
  int JoyID() const { return joyID_; }
  const TJoyCaps& JoyCaps() const { return joyCaps_; }
  const GUID& DeviceGUID() const { return deviceGuid_; }

  int32_t GetDeadZone(int Offset) const;
  void SetDeadZone(int Offset, int32_t Value);
  int32_t GetRange(int Offset) const;
  void SetRange(int Offset, int32_t Value);
  int32_t DeadZoneX() const { return GetDeadZone(0); }
  int32_t DeadZoneY() const { return GetDeadZone(4); }
  int32_t DeadZoneZ() const { return GetDeadZone(8); }
  void SetDeadZoneX(int32_t v) { SetDeadZone(0, v); }
  void SetDeadZoneY(int32_t v) { SetDeadZone(4, v); }
  void SetDeadZoneZ(int32_t v) { SetDeadZone(8, v); }
  int32_t RangeX() const { return GetRange(0); }
  int32_t RangeY() const { return GetRange(4); }
  int32_t RangeZ() const { return GetRange(8); }
  void SetRangeX(int32_t v) { SetRange(0, v); }
  void SetRangeY(int32_t v) { SetRange(4, v); }
  void SetRangeZ(int32_t v) { SetRange(8, v); }

  // The setup program opens the chosen joystick once more as the system
  // joystick, which then replaces it.
  bool ReopenAsSystemJoystick = false;

 private:
  void InitializeDirectInput(TDirectInput& DI);
  bool autoCenter_ = true;
  GUID deviceGuid_{};
  int id_ = 0;
  int joyID_ = -1;
  TJoyCaps joyCaps_;
  std::array<int32_t, 272> deadZone_{};
  std::array<int32_t, 272> range_{};
};

class TCustomDXInput : public TComponent {
 public:
  TAL_CLASS_NAME(TCustomDXInput)
  explicit TCustomDXInput(TComponent* AOwner);
  ~TCustomDXInput() override;

  void Loaded() override;
  bool ReadProperty(const std::string& Name, TReader& Reader) override;
  void WriteProperties(TWriter& Writer) const override;

  void Initialize();
  void Finalize();
  void Update();
  void SetCooperativeLevels();
  void AcquireAll();

  // The latched set; the application may remove states from it.
  TDXInputBits States;

  bool ActiveOnly() const { return activeOnly_; }
  void SetActiveOnly(bool Value);
  bool UseDirectInput() const { return useDirectInput_; }
  void SetUseDirectInput(bool Value);
  TJoystick* Joystick() const { return joystick_.get(); }
  TKeyboard* Keyboard() const { return keyboard_.get(); }
  TMouse* Mouse() const { return mouse_.get(); }
  void SetJoystick(TJoystick* Value) { joystick_->Assign(Value); }
  void SetKeyboard(TKeyboard* Value) { keyboard_->Assign(Value); }
  void SetMouse(TMouse* Value) { mouse_->Assign(Value); }
  TForm* Form() const { return form_; }
  TDirectInput* DirectInput() const { return directInput_.get(); }
  const std::vector<TCustomInput*>& Devices() const { return devices_; }
  TDXInputBits PrevStates() const { return prevStates_; }

 private:
  friend class TCustomInput;
  void FormWndProc(TMessage& Message, const TWndMethod& DefWindowProc);

  bool activeOnly_ = true;
  // Every device made on this component, in creation order; the devices add
  // and remove themselves, so it outlives them.
  std::vector<TCustomInput*> devices_;
  std::shared_ptr<TDirectInput> directInput_;
  TForm* form_ = nullptr;
  std::unique_ptr<TJoystick> joystick_;
  std::unique_ptr<TKeyboard> keyboard_;
  std::unique_ptr<TMouse> mouse_;
  TDXInputBits prevStates_;
  std::unique_ptr<TControlSubClass> formHook_;
  bool useDirectInput_ = true;
};

class TDXInput : public TCustomDXInput {
 public:
  TAL_CLASS_NAME(TDXInput)
  using TCustomDXInput::TCustomDXInput;
};
