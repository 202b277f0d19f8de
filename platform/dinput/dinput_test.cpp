#include "platform/dinput/dinput.h"

#include <gtest/gtest.h>

#include "platform/backend/headless/headless_input.h"
#include "platform/win/clock.h"
#include "platform/win/user.h"
#include "platform/win/vkeys.h"

namespace {

class DInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetClockSource(&clock_);
    HeadlessInstallInput();
    ASSERT_EQ(DirectInputCreateA(nullptr, DIRECTINPUT_VERSION, &di_, nullptr), DI_OK);
    wnd_ = CreateWindowHandle(TWindowParams{}, [](HWND h, UINT m, WPARAM w, LPARAM l) {
      return DefWindowProcA(h, m, w, l);
    });
    SetForegroundWindow(wnd_);
  }
  void TearDown() override {
    InputHost().Reset();
    DestroyWindow(wnd_);
    SetClockSource(nullptr);
  }
  std::shared_ptr<TDirectInputDevice> Open(const GUID& g, const TDIDataFormat& f, uint32_t level) {
    std::shared_ptr<TDirectInputDevice> d;
    EXPECT_EQ(di_->CreateDevice(g, d), DI_OK);
    if (!d) return d;
    EXPECT_EQ(d->SetDataFormat(f), DI_OK);
    EXPECT_EQ(d->SetCooperativeLevel(wnd_, level), DI_OK);
    EXPECT_EQ(d->Acquire(), DI_OK);
    return d;
  }
  TVirtualClock clock_;
  std::shared_ptr<TDirectInput> di_;
  HWND wnd_ = nullptr;
};

TEST_F(DInputTest, KeyboardReportsScanCodes) {
  auto kb = Open(GUID_SysKeyboard, c_dfDIKeyboard(), DISCL_NONEXCLUSIVE | DISCL_BACKGROUND);
  HeadlessKeyDown(52);  // apostrophe
  uint8_t keys[256];
  ASSERT_EQ(kb->GetDeviceState(256, keys), DI_OK);
  EXPECT_EQ(keys[40], 0x80);
  EXPECT_EQ(keys[205], 0);
  // A wrong size is refused rather than written past.
  EXPECT_EQ(kb->GetDeviceState(16, keys), DIERR_INVALIDPARAM);
  uint8_t state[256];
  GetKeyboardState(state);
  EXPECT_EQ(state[VK_OEM_7] & 0x80, 0x80);
}

TEST_F(DInputTest, EachMouseGetsTheMotionSinceItsOwnLastRead) {
  HeadlessMouseMotion(100, 100);  // before anyone acquired: never reported
  auto a = Open(GUID_SysMouse, c_dfDIMouse(), DISCL_NONEXCLUSIVE | DISCL_FOREGROUND);
  auto b = Open(GUID_SysMouse, c_dfDIMouse(), DISCL_NONEXCLUSIVE | DISCL_FOREGROUND);
  HeadlessMouseMotion(5, -3);
  HeadlessMouseMotion(2, 1);
  HeadlessMouseButton(1, true);
  TDIMouseState m;
  ASSERT_EQ(a->GetDeviceState(sizeof m, &m), DI_OK);
  EXPECT_EQ(m.lX, 7);
  EXPECT_EQ(m.lY, -2);
  EXPECT_EQ(m.rgbButtons[0], 0);
  EXPECT_EQ(m.rgbButtons[1], 0x80);
  HeadlessMouseMotion(1, 0);
  ASSERT_EQ(a->GetDeviceState(sizeof m, &m), DI_OK);
  EXPECT_EQ(m.lX, 1);
  ASSERT_EQ(b->GetDeviceState(sizeof m, &m), DI_OK);
  EXPECT_EQ(m.lX, 8);
}

TEST_F(DInputTest, ForegroundDevicesLoseTheInputWithTheFocus) {
  auto m = Open(GUID_SysMouse, c_dfDIMouse(), DISCL_NONEXCLUSIVE | DISCL_FOREGROUND);
  TDIMouseState s;
  HWND other = CreateWindowHandle(TWindowParams{}, [](HWND h, UINT m, WPARAM w, LPARAM l) {
    return DefWindowProcA(h, m, w, l);
  });
  SetForegroundWindow(other);
  EXPECT_EQ(m->GetDeviceState(sizeof s, &s), DIERR_INPUTLOST);
  EXPECT_EQ(m->GetDeviceState(sizeof s, &s), DIERR_NOTACQUIRED);
  EXPECT_EQ(m->Acquire(), DIERR_OTHERAPPHASPRIO);
  SetForegroundWindow(wnd_);
  EXPECT_EQ(m->Acquire(), DI_OK);
  EXPECT_EQ(m->GetDeviceState(sizeof s, &s), DI_OK);
  // Background devices keep reading.
  auto k = Open(GUID_SysKeyboard, c_dfDIKeyboard(), DISCL_NONEXCLUSIVE | DISCL_BACKGROUND);
  SetForegroundWindow(other);
  uint8_t keys[256];
  EXPECT_EQ(k->GetDeviceState(256, keys), DI_OK);
  DestroyWindow(other);
}

TEST_F(DInputTest, JoystickAxesTakeDeadZoneAndRange) {
  auto joy = HeadlessAddJoystick();
  int count = 0;
  GUID guid{};
  di_->EnumDevices(
      DIDEVTYPE_JOYSTICK,
      [&](const TDIDeviceInstance& d) {
        guid = d.GuidInstance;
        ++count;
        return DIENUM_CONTINUE;
      },
      DIEDFL_ATTACHEDONLY);
  ASSERT_EQ(count, 1);
  std::shared_ptr<TDirectInputDevice> dev;
  ASSERT_EQ(di_->CreateDevice(guid, dev), DI_OK);
  TDIDataFormat f;
  f.Flags = DIDF_ABSAXIS;
  f.DataSize = sizeof(TDIJoyState2);
  dev->EnumObjects(
      [&](const TDIDeviceObjectInstance& o) {
        f.Objects.push_back({o.GuidType, o.Ofs, o.Type, 0});
        return DIENUM_CONTINUE;
      },
      DIDFT_ALL);
  ASSERT_EQ(dev->SetDataFormat(f), DI_OK);
  TDIPropRange r;
  r.Header = {DIJOFS_X, DIPH_BYOFFSET};
  r.Min = -300;
  r.Max = 300;
  ASSERT_EQ(dev->SetProperty(DIPROP_RANGE, r), DI_OK);
  TDIPropDword dz;
  dz.Header = {DIJOFS_X, DIPH_BYOFFSET};
  dz.Data = 5000;
  ASSERT_EQ(dev->SetProperty(DIPROP_DEADZONE, dz), DI_OK);
  // Objects that are no axis refuse axis properties.
  dz.Header.Obj = DIJOFS_POV0;
  EXPECT_TRUE(FAILED(dev->SetProperty(DIPROP_DEADZONE, dz)));
  dz.Header.Obj = 1;
  EXPECT_TRUE(FAILED(dev->SetProperty(DIPROP_DEADZONE, dz)));
  ASSERT_EQ(dev->SetCooperativeLevel(wnd_, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND), DI_OK);
  ASSERT_EQ(dev->Acquire(), DI_OK);
  struct Case {
    int raw;
    int x;
  } cases[] = {{0, 0},         {16000, 0},     {-16383, 0}, {32767, 300},
               {-32767, -300}, {-32768, -300}, {24575, 150}};
  for (const auto& c : cases) {
    joy->sample.Axes[0] = c.raw;
    joy->sample.Buttons[2] = true;
    joy->sample.Pov = 9000;
    TDIJoyState2 s;
    ASSERT_EQ(dev->Poll(), DI_OK);
    ASSERT_EQ(dev->GetDeviceState(sizeof s, &s), DI_OK);
    EXPECT_EQ(s.lX, c.x) << c.raw;
    EXPECT_EQ(s.lY, 32768) << "untouched axis sits at the centre of 0..65535";
    EXPECT_EQ(s.rgbButtons[2], 0x80);
    EXPECT_EQ(s.rgdwPOV[0], 9000u);
  }
  joy->attached = false;
  TDIJoyState2 s;
  EXPECT_EQ(dev->GetDeviceState(sizeof s, &s), DIERR_INPUTLOST);
}

TEST_F(DInputTest, MultimediaJoystickReportsPositionsOnItsOwnScale) {
  auto joy = HeadlessAddJoystick();
  joy->buttons = 4;
  joy->sample.Axes[0] = -32768;
  joy->sample.Axes[1] = 32767;
  joy->sample.Buttons[0] = joy->sample.Buttons[3] = true;
  TJoyCaps caps;
  ASSERT_EQ(joyGetDevCapsA(0, &caps, sizeof caps), JOYERR_NOERROR);
  EXPECT_EQ(caps.wXmax, 65535u);
  EXPECT_EQ(caps.wNumButtons, 4u);
  TJoyInfoEx info;
  info.dwFlags = JOY_RETURNALL;
  ASSERT_EQ(joyGetPosEx(0, &info), JOYERR_NOERROR);
  EXPECT_EQ(info.dwXpos, 0u);
  EXPECT_EQ(info.dwYpos, 65535u);
  EXPECT_EQ(info.dwButtons, 0x9u);
  EXPECT_EQ(info.dwPOV, JOY_POVCENTERED);
  EXPECT_EQ(joyGetPosEx(1, &info), JOYERR_PARMS);
  EXPECT_EQ(joyGetDevCapsA(0, &caps, 4), JOYERR_PARMS);
}

TEST(MulDiv, RoundsToNearestAndReportsOverflow) {
  struct Case {
    int a, b, c, r;
  } cases[] = {
      {10850, 300, 16384, 199},
      {16385, 300, 16384, 300},
      {-16384, 300, 16384, -300},
      {1, 1, 2, 1},
      {-1, 1, 2, -1},
      {5, 3, 0, -1},
      {INT32_MAX, 2, 1, -1},
      {7, -2, 3, -5},
  };
  for (const auto& c : cases)
    EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.r) << c.a << "*" << c.b << "/" << c.c;
}

TEST_F(DInputTest, EffectsPlayOnlyOnForceFeedbackDevices) {
  auto plain = HeadlessAddJoystick(false);
  auto ff = HeadlessAddJoystick(true);
  ff->haptic->Kinds = {THapticEffect::hkConstant, THapticEffect::hkSquare};
  std::shared_ptr<TDirectInputDevice> d0, d1;
  GUID g0{}, g1{};
  int i = 0;
  di_->EnumDevices(
      DIDEVTYPE_JOYSTICK,
      [&](const TDIDeviceInstance& d) {
        (i++ == 0 ? g0 : g1) = d.GuidInstance;
        return DIENUM_CONTINUE;
      },
      DIEDFL_ATTACHEDONLY);
  ASSERT_EQ(di_->CreateDevice(g0, d0), DI_OK);
  ASSERT_EQ(di_->CreateDevice(g1, d1), DI_OK);
  TDIDevCaps caps;
  d0->GetCapabilities(caps);
  EXPECT_EQ(caps.Flags & DIDC_FORCEFEEDBACK, 0u);
  d1->GetCapabilities(caps);
  EXPECT_EQ(caps.Flags & DIDC_FORCEFEEDBACK, DIDC_FORCEFEEDBACK);

  std::vector<GUID> periodic;
  d1->EnumEffects(
      [&](const TDIEffectInfo& e) {
        periodic.push_back(e.Guid);
        return DIENUM_CONTINUE;
      },
      DIEFT_PERIODIC);
  EXPECT_EQ(periodic, std::vector<GUID>{GUID_Square});

  std::shared_ptr<TDirectInputEffect> e;
  EXPECT_TRUE(FAILED(d0->CreateEffect(GUID_ConstantForce, nullptr, e)));
  EXPECT_TRUE(FAILED(d1->CreateEffect(GUID_Spring, nullptr, e)));
  EXPECT_EQ(e, nullptr);

  uint32_t axes[2] = {DIJOFS_X, DIJOFS_Y};
  int32_t dir[2] = {-1, 2};
  TDIEnvelope env{0, 0, 0, 0};
  TDIConstantForce cf{5000};
  TDIEffect desc;
  desc.Flags = DIEFF_CARTESIAN | DIEFF_OBJECTOFFSETS;
  desc.Duration = 400000;
  desc.Gain = 10000;
  desc.Axes = 2;
  desc.AxisOffsets = axes;
  desc.Direction = dir;
  desc.Envelope = &env;
  desc.TypeSpecificParamsSize = sizeof cf;
  desc.TypeSpecificParams = &cf;
  ASSERT_EQ(d1->CreateEffect(GUID_ConstantForce, &desc, e), DI_OK);
  EXPECT_EQ(e->Params().Magnitude, 5000);
  EXPECT_EQ(e->Params().DirectionY, 2);
  // Playing needs the device acquired.
  EXPECT_EQ(e->Start(1, 0), DIERR_NOTACQUIRED);
  TDIDataFormat f;
  f.DataSize = sizeof(TDIJoyState2);
  ASSERT_EQ(d1->SetDataFormat(f), DI_OK);
  ASSERT_EQ(d1->SetCooperativeLevel(wnd_, DISCL_EXCLUSIVE | DISCL_FOREGROUND), DI_OK);
  ASSERT_EQ(d1->Acquire(), DI_OK);
  ASSERT_EQ(e->Start(1, 0), DI_OK);
  uint32_t status = 0;
  e->GetEffectStatus(status);
  EXPECT_EQ(status, DIEGES_PLAYING);
  clock_.Advance(400);
  e->GetEffectStatus(status);
  EXPECT_EQ(status, 0u);
  // A block of the wrong size is refused.
  desc.TypeSpecificParamsSize = 2;
  EXPECT_EQ(e->SetParameters(desc, DIEP_TYPESPECIFICPARAMS), DIERR_INVALIDPARAM);
  EXPECT_EQ(e->Params().Magnitude, 5000);
}

}  // namespace
