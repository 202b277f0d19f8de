#include "engine/input/input.h"

#include <gtest/gtest.h>

#include "framework/filer.h"
#include "framework/forms.h"
#include "platform/backend/headless/headless_core.h"
#include "platform/backend/headless/headless_input.h"
#include "platform/win/library.h"
#include "platform/win/user.h"

namespace {

// SDL scancodes used below.
constexpr int kH = 11, kJ = 13, kK = 14, kL = 15, kX = 27, kZ = 29, kSpace = 44, kApostrophe = 52,
              kPrintScreen = 70, kRight = 79, kUp = 82, kLShift = 225;

TKeyAssignList GameKeyAssigns() {
  TKeyAssignList t{};
  SetKeyAssign(t, ibUp, {VK_UP, 0, VK_NUMPAD0 + 8});
  SetKeyAssign(t, ibDown, {VK_DOWN, 0, VK_NUMPAD0 + 2});
  SetKeyAssign(t, ibLeft, {VK_LEFT, 0, VK_NUMPAD0 + 4});
  SetKeyAssign(t, ibRight, {VK_RIGHT, 0, VK_NUMPAD0 + 6});
  SetKeyAssign(t, ibButton3, {VK_SPACE});
  SetKeyAssign(t, ibButton4, {VK_SHIFT});
  SetKeyAssign(t, ibButton9, {VK_F1 + 1});
  return t;
}

class DXInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HeadlessInstall();
    HeadlessInstallInput();
    FreeDirectXLibraries();
    form_ = new TForm(Application);
    SetForegroundWindow(form_->Handle());
  }
  void TearDown() override {
    delete form_;
    InputHost().Reset();
    FreeDirectXLibraries();
    RegisterDirectInputModule();
    HeadlessUninstall();
  }
  // A component as a form makes it: settings applied while loading, then
  // Loaded.
  template <class F>
  TDXInput* Make(F&& Configure) {
    auto* in = new TDXInput(form_);
    in->BeginLoading();
    Configure(*in);
    in->EndLoading();
    return in;
  }
  TDXInput* Make() {
    return Make([](TDXInput&) {});
  }

  TApplicationScope app_;
  TForm* form_ = nullptr;
};

TEST_F(DXInputTest, StatesLatchOverPolls) {
  struct Step {
    const char* what;
    std::vector<int> down, up;
    TDXInputBits remove;
    TDXInputBits expect;
  } steps[] = {
      {"press K", {kK}, {}, {}, {ibUp}},
      {"hold K, press Up too", {kUp}, {}, {}, {ibUp}},
      {"release K, Up still held", {}, {kK}, {}, {ibUp}},
      {"release Up", {}, {kUp}, {}, {}},
      {"press Z and X", {kZ, kX}, {}, {}, {ibButton1, ibButton2}},
      {"game takes button 1 while held", {}, {}, {ibButton1}, {ibButton2}},
      {"still held: stays out", {}, {}, {}, {ibButton2}},
      {"release both", {}, {kZ, kX}, {}, {}},
      {"press Z again: back in", {kZ}, {}, {}, {ibButton1}},
      {"press H, J, L with Z", {kH, kJ, kL}, {}, {}, {ibButton1, ibDown, ibLeft, ibRight}},
  };
  for (bool useDI : {true, false}) {
    SCOPED_TRACE(useDI ? "DirectInput" : "keyboard state");
    HeadlessInstallInput();  // nothing held from the last pass
    TDXInput* in = Make([&](TDXInput& i) { i.SetUseDirectInput(useDI); });
    ASSERT_TRUE(in->Keyboard()->Initialized());
    EXPECT_EQ(in->Keyboard()->Device() != nullptr, useDI);
    for (const auto& s : steps) {
      SCOPED_TRACE(s.what);
      for (int k : s.down) HeadlessKeyDown(k);
      for (int k : s.up) HeadlessKeyUp(k);
      in->States = in->States - s.remove;
      in->Update();
      EXPECT_EQ(in->States.Value(), s.expect.Value());
    }
    delete in;
  }
}

TEST_F(DXInputTest, GameTableLatchesSpaceUntilPressedAgain) {
  TDXInput* in = Make([](TDXInput& i) { i.Keyboard()->Assigns = GameKeyAssigns(); });
  HeadlessKeyDown(kSpace);
  HeadlessKeyDown(kLShift);
  in->Update();
  EXPECT_EQ(in->States, (TDXInputBits{ibButton3, ibButton4}));
  in->States.Exclude(ibButton3);
  for (int i = 0; i < 3; ++i) in->Update();
  EXPECT_EQ(in->States, TDXInputBits{ibButton4});
  HeadlessKeyUp(kSpace);
  in->Update();
  HeadlessKeyDown(kSpace);
  in->Update();
  EXPECT_EQ(in->States, (TDXInputBits{ibButton3, ibButton4}));
}

TEST_F(DXInputTest, SlotsOutsideOneTo255NeverMatch) {
  for (bool useDI : {true, false}) {
    SCOPED_TRACE(useDI ? "DirectInput" : "keyboard state");
    TDXInput* in = Make([&](TDXInput& i) {
      i.SetUseDirectInput(useDI);
      auto& t = i.Keyboard()->Assigns;
      t = {};
      // 300 and 288 are Print Screen and Space plus 256; -224 has Space's low byte.
      SetKeyAssign(t, ibButton5, {0, 300, -1});
      SetKeyAssign(t, ibButton6, {288, -224, 256});
      SetKeyAssign(t, ibButton7, {0, 0, VK_SPACE});
    });
    HeadlessKeyDown(kPrintScreen);
    HeadlessKeyDown(kSpace);
    in->Update();
    EXPECT_EQ(in->States, TDXInputBits{ibButton7});
    HeadlessKeyUp(kPrintScreen);
    HeadlessKeyUp(kSpace);
    delete in;
  }
}

TEST(KeyAssigns, SetKeyAssignFillsFirstSlotsAndIgnoresStatesOutsideTheTable) {
  TKeyAssignList t = DefaultKeyAssigns;
  SetKeyAssign(t, ibUp, {1, 2, 3, 4});
  EXPECT_EQ(t[ibUp], (TKeyAssign{1, 2, 3}));
  SetKeyAssign(t, ibDown, {9});
  EXPECT_EQ(t[ibDown], (TKeyAssign{9, 0, 0}));
  SetKeyAssign(t, 128 + ibLeft, {7});  // the row is State and 127
  EXPECT_EQ(t[ibLeft], (TKeyAssign{7, 0, 0}));
  const TKeyAssignList before = t;
  SetKeyAssign(t, 36, {5});
  SetKeyAssign(t, 127, {5});
  EXPECT_EQ(t, before);
  EXPECT_EQ(DefaultKeyAssigns[ibButton9], (TKeyAssign{113, 0, 0}));
  EXPECT_EQ(DefaultKeyAssigns[ibRight], (TKeyAssign{76, 39, 102}));
}

// The apostrophe is its own key: it does not press the state of the Right
// key, on either path, and a state assigned to it works on both.
TEST_F(DXInputTest, ApostropheIsNotTheRightKey) {
  for (bool useDI : {true, false}) {
    SCOPED_TRACE(useDI ? "DirectInput" : "keyboard state");
    TDXInput* in = Make([&](TDXInput& i) {
      i.SetUseDirectInput(useDI);
      SetKeyAssign(i.Keyboard()->Assigns, ibButton10, {VK_OEM_7});
    });
    HeadlessKeyDown(kApostrophe);
    in->Update();
    EXPECT_EQ(in->States, TDXInputBits{ibButton10});
    HeadlessKeyUp(kApostrophe);
    HeadlessKeyDown(kRight);
    in->Update();
    EXPECT_EQ(in->States, TDXInputBits{ibRight});
    HeadlessKeyUp(kRight);
    delete in;
  }
}

TEST_F(DXInputTest, BackgroundFormReadsNothingWithActiveOnly) {
  TDXInput* in = Make([](TDXInput& i) {
    i.Mouse()->SetEnabled(true);
    i.Mouse()->BindInputStates = true;
  });
  auto joy = HeadlessAddJoystick();
  in->Initialize();
  TForm* other = new TForm(Application);
  SetForegroundWindow(other->Handle());
  HeadlessKeyDown(kK);
  HeadlessMouseButton(0, true);
  joy->sample.Buttons[0] = true;
  in->Update();
  EXPECT_TRUE(in->States.Empty());
  for (TCustomInput* d : in->Devices()) EXPECT_TRUE(d->States().Empty()) << d->ClassName();
  // Back in front, the devices are acquired again and report.
  SetForegroundWindow(form_->Handle());
  in->Update();
  EXPECT_EQ(in->States, (TDXInputBits{ibUp, ibButton1}));
  // Without ActiveOnly the background does not matter.
  in->SetActiveOnly(false);
  in->Initialize();  // after loading, a changed ActiveOnly waits for this
  SetForegroundWindow(other->Handle());
  HeadlessKeyUp(kK);
  HeadlessKeyDown(kL);
  in->Update();
  EXPECT_TRUE(in->States.Contains(ibRight));
  delete other;
}

TEST_F(DXInputTest, ActivationReacquiresAndWindowCreationSetsLevels) {
  TDXInput* in = Make([](TDXInput& i) { i.Mouse()->SetEnabled(true); });
  TDirectInputDevice* kb = in->Keyboard()->Device();
  ASSERT_NE(kb, nullptr);
  EXPECT_TRUE(kb->Acquired());
  EXPECT_EQ(kb->CooperativeLevel(), DISCL_NONEXCLUSIVE | DISCL_FOREGROUND);
  kb->Unacquire();
  in->Mouse()->Device()->Unacquire();
  form_->Perform(WM_ACTIVATE, WA_INACTIVE, 0);
  EXPECT_FALSE(kb->Acquired());
  form_->Perform(WM_ACTIVATEAPP, 1, 0);
  EXPECT_TRUE(kb->Acquired());
  EXPECT_TRUE(in->Mouse()->Device()->Acquired());
  kb->Unacquire();
  form_->Perform(WM_ACTIVATE, WA_ACTIVE, 0);
  EXPECT_TRUE(kb->Acquired());
  // Window creation gives every opened device the form's window again.
  kb->SetCooperativeLevel(form_->Handle(), DISCL_EXCLUSIVE | DISCL_BACKGROUND);
  form_->Perform(WM_CREATE, 0, 0);
  EXPECT_EQ(kb->CooperativeLevel(), DISCL_NONEXCLUSIVE | DISCL_FOREGROUND);
}

TEST_F(DXInputTest, EnablingTheMouseAfterLoadingWaitsForUseDirectInput) {
  TDXInput* in = Make([](TDXInput& i) {
    i.SetUseDirectInput(false);
    i.Mouse()->SetEnabled(false);
  });
  in->Mouse()->SetEnabled(true);
  EXPECT_FALSE(in->Mouse()->Initialized());
  in->SetUseDirectInput(true);
  EXPECT_TRUE(in->Mouse()->Initialized());
  EXPECT_NE(in->Mouse()->Device(), nullptr);
  EXPECT_EQ(DirectInputReferences(), 1);
  HeadlessMouseMotion(-4, 0);
  HeadlessMouseButton(0, true);
  in->Mouse()->BindInputStates = true;
  in->Update();
  EXPECT_EQ(in->States, (TDXInputBits{ibLeft, ibButton1}));
  EXPECT_EQ(in->Mouse()->X(), -4);
  in->SetUseDirectInput(false);
  EXPECT_EQ(DirectInputReferences(), 0);
}

// Without DirectInput an enabled mouse still works, from the keyboard state
// and the cursor, instead of failing the component.
TEST_F(DXInputTest, MouseWithoutDirectInputFallsBack) {
  for (bool libraryMissing : {false, true}) {
    SCOPED_TRACE(libraryMissing ? "library missing" : "switched off");
    FreeDirectXLibraries();
    if (libraryMissing) UnregisterBuiltinModule("DInput.dll");
    TDXInput* in = nullptr;
    ASSERT_NO_THROW(in = Make([&](TDXInput& i) {
                      i.SetUseDirectInput(libraryMissing);
                      i.Mouse()->SetEnabled(true);
                      i.Mouse()->BindInputStates = true;
                    }));
    EXPECT_EQ(in->DirectInput(), nullptr);
    EXPECT_TRUE(in->Mouse()->Initialized());
    EXPECT_TRUE(in->Keyboard()->Initialized());
    HeadlessMouseButton(0, true);
    SetCursorPos(10, 10);
    in->Update();
    SetCursorPos(30, 5);
    in->Update();
    EXPECT_EQ(in->Mouse()->X(), 20);
    EXPECT_EQ(in->Mouse()->Y(), -5);
    EXPECT_EQ(in->States, (TDXInputBits{ibButton1, ibRight, ibUp}));
    HeadlessMouseButton(0, false);
    delete in;
    RegisterDirectInputModule();
  }
}

TEST(JoystickAxisValue, DeadBandAndRange) {
  struct Case {
    int pos, max, min, range, dz, expect;
  } cases[] = {
      {32767, 65535, 0, 300, 50, 0},
      {48000, 65535, 0, 300, 50, 0},
      {60000, 65535, 0, 300, 50, 199},
      {65535, 65535, 0, 300, 50, 300},
      {0, 65535, 0, 300, 50, -300},
      {49177, 65535, 0, 300, 50, 0},
      {49178, 65535, 0, 300, 50, 1},
      {65535, 65535, 0, 1000, 0, 1000},
      // A travel that does not start at 0 is centred on its own middle.
      {600, 1100, 100, 300, 50, 0},
      {1100, 1100, 100, 300, 50, 300},
      {100, 1100, 100, 300, 50, -300},
      {1000, 1100, 100, 300, 50, 180},
      {-1000, 1000, -1000, 100, 0, -100},
      {0, 1000, -1000, 100, 0, 0},
      // Degenerate axes and out-of-range settings give no motion, no fault.
      {5, 0, 0, 300, 50, 0},
      {700, 1000, 0, 300, 100, 0},
      {1000, 1000, 0, -5, 0, 0},
      {1000, 1000, 0, 300, -1, 300},
  };
  for (const auto& c : cases)
    EXPECT_EQ(JoystickAxisValue(c.pos, c.max, c.min, c.range, c.dz), c.expect)
        << c.pos << " in " << c.min << ".." << c.max << " range " << c.range << " dz " << c.dz;
}

TEST_F(DXInputTest, JoystickThroughDirectInputAndTheMultimediaFallback) {
  auto joy = HeadlessAddJoystick();
  for (bool useDI : {true, false}) {
    SCOPED_TRACE(useDI ? "DirectInput" : "multimedia");
    TDXInput* in = Make([&](TDXInput& i) {
      i.SetUseDirectInput(useDI);
      TJoystick* j = i.Joystick();
      for (int a = 0; a < 3; ++a) {
        j->SetDeadZone(4 * a, 50);
        j->SetRange(4 * a, 300);
      }
    });
    TJoystick* j = in->Joystick();
    ASSERT_TRUE(j->Initialized());
    EXPECT_EQ(j->Device() != nullptr, useDI);
    EXPECT_EQ(j->JoyID(), useDI ? -1 : 0);
    joy->sample.Axes[0] = 32767;
    joy->sample.Axes[1] = -32767;
    joy->sample.Axes[2] = 1000;  // inside the dead band
    joy->sample.Buttons[0] = joy->sample.Buttons[4] = true;
    in->Update();
    EXPECT_EQ(j->X(), 300);
    EXPECT_EQ(j->Y(), -300);
    EXPECT_EQ(j->Z(), 0);
    EXPECT_EQ(in->States, (TDXInputBits{ibRight, ibUp, ibButton1, ibButton5}));
    if (useDI) {
      // Offsets where the device has no axis refuse a dead zone or range.
      EXPECT_EQ(j->GetDeadZone(0), 50);
      EXPECT_EQ(j->GetRange(4), 300);
      EXPECT_EQ(j->GetDeadZone(12), -1);
      EXPECT_EQ(j->GetRange(2), -1);
      EXPECT_EQ(j->Device()->DeadZoneAt(0), 5000);
      EXPECT_EQ(j->Device()->RangeAt(4), (std::pair<int32_t, int32_t>{-300, 300}));
      EXPECT_EQ(j->GetDeadZone(32), -1);
    }
    EXPECT_EQ(j->GetDeadZone(271), 0);
    EXPECT_EQ(j->GetDeadZone(-4), 0);
    delete in;
  }
}

TEST_F(DXInputTest, JoystickIdPicksAmongAttachedOnes) {
  auto first = HeadlessAddJoystick();
  auto second = HeadlessAddJoystick();
  second->sample.Buttons[1] = true;
  TDXInput* in = Make();
  in->Joystick()->SetID(1);
  in->Update();
  EXPECT_EQ(in->States, TDXInputBits{ibButton2});
  in->Joystick()->SetID(2);  // none there: no states, and no fallback either
  EXPECT_FALSE(in->Joystick()->Initialized());
  in->Update();
  EXPECT_TRUE(in->States.Empty());
  // The setup program reopens its choice as the system joystick, which is
  // the first one attached.
  in->Joystick()->ReopenAsSystemJoystick = true;
  first->sample.Buttons[2] = true;
  in->Joystick()->SetID(1);
  in->Update();
  EXPECT_EQ(in->States, TDXInputBits{ibButton3});
}

// Handing the component a device copies its settings, and an opened device
// takes them at once.
TEST_F(DXInputTest, DeviceSettersCopyIntoTheOpenedDevices) {
  auto joy = HeadlessAddJoystick(true);
  TDXInput* in = Make();
  ASSERT_NE(in->Joystick()->Device(), nullptr);
  EXPECT_TRUE(joy->haptic->AutoCenter) << "the device's own centring follows AutoCenter";
  TJoystick joystick(nullptr);
  joystick.SetDeadZoneX(20);
  joystick.SetRangeY(300);
  joystick.SetAutoCenter(false);
  in->SetJoystick(&joystick);
  TDirectInputDevice* dev = in->Joystick()->Device();
  EXPECT_EQ(in->Joystick()->DeadZoneX(), 20);
  EXPECT_EQ(dev->DeadZoneAt(0), 2000);
  EXPECT_EQ(dev->RangeAt(4), (std::pair<int32_t, int32_t>{-300, 300}));
  EXPECT_FALSE(dev->AutoCenter());
  EXPECT_FALSE(joy->haptic->AutoCenter);
  TKeyboard keyboard(nullptr);
  keyboard.Assigns = GameKeyAssigns();
  in->SetKeyboard(&keyboard);
  EXPECT_EQ(in->Keyboard()->Assigns, keyboard.Assigns);
  delete in;
}

TEST_F(DXInputTest, ComponentNeedsAForm) {
  TComponent owner(nullptr);
  try {
    TDXInput in(&owner);
    FAIL() << "made without a form";
  } catch (const EDXInputError& e) {
    EXPECT_STREQ(e.what(), "Form not found");
  }
  EXPECT_EQ(owner.ComponentCount(), 0);
}

TEST_F(DXInputTest, AssignsWrittenAndReadBack) {
  TDXInput* a = Make([](TDXInput& i) { i.Keyboard()->Assigns = GameKeyAssigns(); });
  SetKeyAssign(a->Keyboard()->Assigns, ibButton32, {-7, 300, 255});
  TForceFeedbackEffects* fx = a->Mouse()->Effects();
  fx->SetEffectType(etCondition);
  fx->SetCondition({0, 800});
  auto* landing = new TForceFeedbackEffect(fx);
  landing->SetName("Landing");
  landing->SetEffectType(etConstantForce);
  landing->SetTime(400);
  TMemoryStream s;
  WriteComponent(s, *a);
  // The value is the table itself, rows of little-endian codes.
  const std::vector<uint8_t> bytes = a->Keyboard()->AssignsBytes();
  ASSERT_EQ(bytes.size(), 432u);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 12),
            (std::vector<uint8_t>{38, 0, 0, 0, 0, 0, 0, 0, 104, 0, 0, 0}));
  EXPECT_EQ(std::vector<uint8_t>(bytes.end() - 12, bytes.end()),
            (std::vector<uint8_t>{0xF9, 0xFF, 0xFF, 0xFF, 0x2C, 1, 0, 0, 255, 0, 0, 0}));
  const std::string text(s.Bytes().begin(), s.Bytes().end());
  EXPECT_NE(text.find("Keyboard.Assigns"), std::string::npos);
  EXPECT_NE(text.find("Mouse.Effects.Effects"), std::string::npos);
  EXPECT_EQ(text.find("Aissgns"), std::string::npos);

  TDXInput* b = Make();
  s.SetPosition(0);
  ReadComponent(s, *b);
  EXPECT_EQ(b->Keyboard()->Assigns, a->Keyboard()->Assigns);
  EXPECT_EQ(b->Joystick()->RangeX(), a->Joystick()->RangeX());
  EXPECT_EQ(b->Mouse()->Enabled(), a->Mouse()->Enabled());
  TForceFeedbackEffects* got = b->Mouse()->Effects();
  EXPECT_EQ(got->EffectType(), etCondition);
  EXPECT_EQ(got->Condition(), (TPoint{0, 800}));
  ASSERT_EQ(got->Count(), 1);
  EXPECT_EQ(got->Effects(0)->Name(), "Landing");
  EXPECT_EQ(got->Effects(0)->Time(), 400);
}

std::vector<uint8_t> StreamWithTable(const char* PropName, const std::vector<uint8_t>& Table) {
  TMemoryStream s;
  TWriter w(s);
  w.WriteSignature();
  w.WriteStr("TDXInput");
  w.WriteStr("DXInput");
  w.WriteBinary(PropName, Table);
  w.WriteListEnd();
  w.WriteListEnd();
  return s.Bytes();
}

TEST_F(DXInputTest, OlderSpellingIsReadAndWrongSizesRefused) {
  TKeyboard source(nullptr);
  source.Assigns = GameKeyAssigns();
  {
    TDXInput* in = Make();
    const auto bytes = StreamWithTable("Keyboard.Aissgns", source.AssignsBytes());
    TByteStream s(bytes.data(), bytes.size());
    ReadComponent(s, *in);
    EXPECT_EQ(in->Keyboard()->Assigns, source.Assigns);
  }
  for (size_t size : {0u, 431u, 433u, 864u}) {
    SCOPED_TRACE(size);
    TDXInput* in = Make();
    const auto bytes = StreamWithTable("Keyboard.Assigns", std::vector<uint8_t>(size, 1));
    TByteStream s(bytes.data(), bytes.size());
    EXPECT_THROW(ReadComponent(s, *in), EReadError);
    EXPECT_EQ(in->Keyboard()->Assigns, DefaultKeyAssigns);
  }
}

TEST_F(DXInputTest, DirectInputObjectIsSharedAndCounted) {
  TDXInput* a = Make();
  TDXInput* b = Make();
  EXPECT_EQ(a->DirectInput(), b->DirectInput());
  EXPECT_EQ(DirectInputReferences(), 2);
  delete a;
  EXPECT_EQ(DirectInputReferences(), 1);
  delete b;
  EXPECT_EQ(DirectInputReferences(), 0);
}

}  // namespace
