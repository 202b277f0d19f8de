#include "platform/backend/sdl/sdl_input.h"

#include <algorithm>
#include <map>
#include <memory>
#include <string>

#include "platform/backend/sdl/sdl_core.h"
#include "platform/dinput/dinput.h"
#include "platform/win/clock.h"

namespace {

// Levels and times: 0..10000 onto SDL's 0..32767, microseconds onto ms.
Sint16 Level(int64_t v) {
  return static_cast<Sint16>(std::clamp<int64_t>(v * 32767 / 10000, -32767, 32767));
}
Uint16 ULevel(int64_t v) {
  return static_cast<Uint16>(std::clamp<int64_t>(v * 32767 / 10000, 0, 32767));
}
Uint16 Ms16(uint32_t us) {
  return static_cast<Uint16>(std::min<uint32_t>(us / 1000, 0x7FFF));
}
Uint32 Length(uint32_t us) {
  return us == INFINITE_DURATION ? SDL_HAPTIC_INFINITY : us / 1000;
}

class TSdlHaptic : public THaptic {
 public:
  explicit TSdlHaptic(SDL_Haptic* H) : h_(H), caps_(SDL_HapticQuery(H)) {
    if (caps_ & SDL_HAPTIC_GAIN) SDL_HapticSetGain(h_, 100);
    if (caps_ & SDL_HAPTIC_AUTOCENTER) SDL_HapticSetAutocenter(h_, 0);
  }
  ~TSdlHaptic() override { SDL_HapticClose(h_); }
  bool Supports(THapticEffect::TKind Kind) const override {
    SDL_HapticEffect e;
    THapticEffect probe;
    probe.Kind = Kind;
    return ToSdlHapticEffect(probe, e) && (caps_ & e.type);
  }
  int Create(const THapticEffect& Effect) override {
    SDL_HapticEffect e;
    if (!ToSdlHapticEffect(Effect, e)) return -1;
    const int id = SDL_HapticNewEffect(h_, &e);
    if (id >= 0) lengths_[id] = {Effect.Duration, 0};
    return id;
  }
  bool Update(int Id, const THapticEffect& Effect) override {
    SDL_HapticEffect e;
    if (!ToSdlHapticEffect(Effect, e) || SDL_HapticUpdateEffect(h_, Id, &e) != 0) return false;
    lengths_[Id].first = Effect.Duration;
    return true;
  }
  bool Run(int Id, uint32_t Iterations) override {
    if (SDL_HapticRunEffect(h_, Id, std::max<uint32_t>(Iterations, 1)) != 0) return false;
    auto& l = lengths_[Id];
    l.second = ClockSource().Microseconds() + uint64_t{l.first} * std::max<uint32_t>(Iterations, 1);
    if (l.first == INFINITE_DURATION) l.second = UINT64_MAX;
    return true;
  }
  bool Stop(int Id) override {
    lengths_[Id].second = 0;
    return SDL_HapticStopEffect(h_, Id) == 0;
  }
  bool Playing(int Id) override {
    if (caps_ & SDL_HAPTIC_STATUS) return SDL_HapticGetEffectStatus(h_, Id) == 1;
    // Devices that cannot tell are taken to play for the effect's length.
    auto it = lengths_.find(Id);
    return it != lengths_.end() && ClockSource().Microseconds() < it->second.second;
  }
  void Destroy(int Id) override {
    SDL_HapticDestroyEffect(h_, Id);
    lengths_.erase(Id);
  }
  void SetAutoCenter(bool On) override {
    if (caps_ & SDL_HAPTIC_AUTOCENTER) SDL_HapticSetAutocenter(h_, On ? 100 : 0);
  }

 private:
  SDL_Haptic* h_;
  unsigned int caps_;
  std::map<int, std::pair<uint32_t, uint64_t>> lengths_;  // duration, end
};

class TSdlJoystick : public TJoystickSource {
 public:
  explicit TSdlJoystick(SDL_Joystick* J) : j_(J), id_(SDL_JoystickInstanceID(J)) {
    const char* n = SDL_JoystickName(J);
    name_ = n ? n : "Joystick";
    if (SDL_JoystickIsHaptic(J) == 1)
      if (SDL_Haptic* h = SDL_HapticOpenFromJoystick(J)) haptic_ = std::make_unique<TSdlHaptic>(h);
  }
  ~TSdlJoystick() override {
    haptic_.reset();
    SDL_JoystickClose(j_);
  }
  std::string Name() const override { return name_; }
  int AxisCount() const override { return std::clamp(SDL_JoystickNumAxes(j_), 0, 6); }
  int ButtonCount() const override { return std::clamp(SDL_JoystickNumButtons(j_), 0, 32); }
  int PovCount() const override { return SDL_JoystickNumHats(j_) > 0 ? 1 : 0; }
  bool Attached() const override { return attached_ && SDL_JoystickGetAttached(j_) == SDL_TRUE; }
  void Read(TJoystickSample& S) override {
    S = {};
    for (int i = 0; i < AxisCount(); ++i) S.Axes[i] = SDL_JoystickGetAxis(j_, i);
    for (int i = 0; i < ButtonCount(); ++i) S.Buttons[i] = SDL_JoystickGetButton(j_, i) != 0;
    S.Pov = PovCount() ? HatToPov(SDL_JoystickGetHat(j_, 0)) : -1;
  }
  THaptic* Haptic() override { return haptic_.get(); }
  SDL_JoystickID InstanceId() const { return id_; }
  void Detach() { attached_ = false; }

 private:
  SDL_Joystick* j_;
  SDL_JoystickID id_;
  std::string name_;
  bool attached_ = true;
  std::unique_ptr<TSdlHaptic> haptic_;
};

struct TSdlInputState {
  int Listener = 0;
  bool Joysticks = false;
  bool Haptics = false;
  std::map<SDL_JoystickID, std::shared_ptr<TSdlJoystick>> Open;
};

TSdlInputState& St() {
  static auto* s = new TSdlInputState;
  return *s;
}

void OpenJoystick(int DeviceIndex) {
  SDL_Joystick* j = SDL_JoystickOpen(DeviceIndex);
  if (!j) return;
  const SDL_JoystickID id = SDL_JoystickInstanceID(j);
  if (St().Open.count(id)) {
    SDL_JoystickClose(j);  // already ours; SDL counts the extra open
    return;
  }
  auto joy = std::make_shared<TSdlJoystick>(j);
  St().Open[id] = joy;
  InputHost().AddJoystick(joy);
}

void CloseJoystick(SDL_JoystickID Id) {
  auto it = St().Open.find(Id);
  if (it == St().Open.end()) return;
  // Devices opened on it keep the object; they see it detached.
  it->second->Detach();
  InputHost().RemoveJoystick(it->second.get());
  St().Open.erase(it);
}

void OnEvent(const SDL_Event& e) {
  TInputHost& host = InputHost();
  switch (e.type) {
    case SDL_KEYDOWN:
      host.KeyDown(e.key.keysym.scancode);
      break;
    case SDL_KEYUP:
      host.KeyUp(e.key.keysym.scancode);
      break;
    case SDL_MOUSEMOTION:
      host.MouseMotion(e.motion.xrel, e.motion.yrel);
      break;
    case SDL_MOUSEWHEEL:
      host.MouseWheel(e.wheel.y * 120);
      break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      int index = -1;
      switch (e.button.button) {
        case SDL_BUTTON_LEFT:
          index = 0;
          break;
        case SDL_BUTTON_RIGHT:
          index = 1;
          break;
        case SDL_BUTTON_MIDDLE:
          index = 2;
          break;
        case SDL_BUTTON_X1:
          index = 3;
          break;
        default:
          break;
      }
      host.MouseButton(index, e.type == SDL_MOUSEBUTTONDOWN);
      break;
    }
    case SDL_JOYDEVICEADDED:
      if (St().Joysticks) OpenJoystick(e.jdevice.which);
      break;
    case SDL_JOYDEVICEREMOVED:
      CloseJoystick(e.jdevice.which);
      break;
    case SDL_WINDOWEVENT:
      // Releases that happen elsewhere never reach us.
      if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
        host.ReleaseAllKeys();
        for (int i = 0; i < 4; ++i) host.MouseButton(i, false);
      }
      break;
    default:
      break;
  }
}

}  // namespace

int32_t HatToPov(uint8_t Hat) {
  switch (Hat) {
    case SDL_HAT_UP:
      return 0;
    case SDL_HAT_RIGHTUP:
      return 4500;
    case SDL_HAT_RIGHT:
      return 9000;
    case SDL_HAT_RIGHTDOWN:
      return 13500;
    case SDL_HAT_DOWN:
      return 18000;
    case SDL_HAT_LEFTDOWN:
      return 22500;
    case SDL_HAT_LEFT:
      return 27000;
    case SDL_HAT_LEFTUP:
      return 31500;
    default:
      return -1;
  }
}

bool ToSdlHapticEffect(const THapticEffect& E, SDL_HapticEffect& Out) {
  Out = {};
  const int64_t gain = std::clamp<int64_t>(E.Gain, 0, 10000);
  auto scaled = [&](int64_t v) { return v * gain / 10000; };
  SDL_HapticDirection dir{};
  dir.type = SDL_HAPTIC_CARTESIAN;
  dir.dir[0] = E.DirectionX;
  dir.dir[1] = E.DirectionY;
  switch (E.Kind) {
    case THapticEffect::hkConstant: {
      auto& c = Out.constant;
      c.type = SDL_HAPTIC_CONSTANT;
      c.direction = dir;
      c.length = Length(E.Duration);
      c.level = Level(scaled(E.Magnitude));
      c.attack_length = Ms16(E.AttackTime);
      c.attack_level = ULevel(scaled(E.AttackLevel));
      c.fade_length = Ms16(E.FadeTime);
      c.fade_level = ULevel(scaled(E.FadeLevel));
      return true;
    }
    case THapticEffect::hkSine: {
      auto& p = Out.periodic;
      p.type = SDL_HAPTIC_SINE;
      p.direction = dir;
      p.length = Length(E.Duration);
      p.period = Ms16(E.Period);
      p.magnitude = Level(scaled(E.Magnitude));
      p.offset = Level(scaled(E.Offset));
      p.phase = static_cast<Uint16>(std::min<uint32_t>(E.Phase, 35999));
      p.attack_length = Ms16(E.AttackTime);
      p.attack_level = ULevel(scaled(E.AttackLevel));
      p.fade_length = Ms16(E.FadeTime);
      p.fade_level = ULevel(scaled(E.FadeLevel));
      return true;
    }
    case THapticEffect::hkSpring:
    case THapticEffect::hkDamper: {
      auto& c = Out.condition;
      c.type = E.Kind == THapticEffect::hkSpring ? SDL_HAPTIC_SPRING : SDL_HAPTIC_DAMPER;
      c.direction = dir;
      c.length = Length(E.Duration);
      // One axis per effect: the offset picks it (X at 0, Y at 4).
      const int axis = E.AxisCount > 0 && E.AxisOffsets[0] == 4 ? 1 : 0;
      c.right_sat[axis] = ULevel(E.PositiveSaturation);
      c.left_sat[axis] = ULevel(E.NegativeSaturation);
      c.right_coeff[axis] = Level(scaled(E.PositiveCoefficient));
      c.left_coeff[axis] = Level(scaled(E.NegativeCoefficient));
      c.deadband[axis] = ULevel(E.DeadBand);
      c.center[axis] = Level(E.Offset);
      return true;
    }
    case THapticEffect::hkSquare:
      return false;  // SDL 2 has no square wave
  }
  return false;
}

void SdlClampToPicture(SDL_Window* Window, int32_t& X, int32_t& Y) {
  SDL_Renderer* r = Window ? SDL_GetRenderer(Window) : nullptr;
  if (!r) return;
  int w = 0, h = 0;
  SDL_RenderGetLogicalSize(r, &w, &h);
  if (w <= 0 || h <= 0) return;
  X = std::clamp<int32_t>(X, 0, w - 1);
  Y = std::clamp<int32_t>(Y, 0, h - 1);
}

void SdlInstallInput() {
  auto& s = St();
  RegisterDirectInputModule();
  if (s.Listener) return;
  s.Joysticks = SDL_InitSubSystem(SDL_INIT_JOYSTICK) == 0;
  s.Haptics = s.Joysticks && SDL_InitSubSystem(SDL_INIT_HAPTIC) == 0;
  if (s.Joysticks)
    for (int i = 0; i < SDL_NumJoysticks(); ++i) OpenJoystick(i);
  s.Listener = SdlAddEventListener(OnEvent);
}

void SdlInputUninstall() {
  auto& s = St();
  if (s.Listener) SdlRemoveEventListener(s.Listener);
  s.Listener = 0;
  while (!s.Open.empty()) CloseJoystick(s.Open.begin()->first);
  if (s.Haptics) SDL_QuitSubSystem(SDL_INIT_HAPTIC);
  if (s.Joysticks) SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
  s.Haptics = s.Joysticks = false;
}
