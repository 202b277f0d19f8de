#include "engine/input/effects.h"

#include <gtest/gtest.h>

#include "engine/input/input.h"
#include "framework/filer.h"
#include "framework/forms.h"
#include "platform/backend/headless/headless_core.h"
#include "platform/backend/headless/headless_input.h"
#include "platform/win/user.h"

namespace {

TEST(ForceFeedbackEffect, DefaultsAndClamping) {
  TForceFeedbackEffects root(nullptr);
  EXPECT_EQ(root.Name(), "Effects");
  EXPECT_EQ(root.Period(), 50);
  EXPECT_EQ(root.Power(), 10000);
  EXPECT_EQ(root.Time(), 1000);
  EXPECT_EQ(root.EffectType(), etNone);
  EXPECT_EQ(root.Root(), &root);
  auto* child = new TForceFeedbackEffect(&root);
  EXPECT_EQ(child->Root(), &root);
  EXPECT_EQ(child->Name(), "");

  child->SetPower(20000);
  EXPECT_EQ(child->Power(), 10000);
  child->SetPower(-3);
  EXPECT_EQ(child->Power(), 0);
  child->SetCondition({-20000, 5});
  EXPECT_EQ(child->Condition(), (TPoint{-10000, 5}));
  child->SetConstant({12000, -10001});
  EXPECT_EQ(child->Constant(), (TPoint{10000, -10000}));
  child->SetAttackLevel(10001);
  EXPECT_EQ(child->AttackLevel(), 10000);
  child->SetFadeLevel(-1);
  EXPECT_EQ(child->FadeLevel(), 0);
  child->SetAttackTime(-5);
  EXPECT_EQ(child->AttackTime(), 0);
  child->SetPeriod(-1);
  EXPECT_EQ(child->Period(), 0);
  child->SetTime(-7);
  EXPECT_EQ(child->Time(), -1);
  child->SetStartDelayTime(-2);
  EXPECT_EQ(child->StartDelayTime(), 0);
  delete child;
  EXPECT_EQ(root.Count(), 0);
}

struct TBuild {
  const char* what;
  TForceFeedbackEffectType type;
  TPoint constant, condition;
  int period, power, time, attackLevel, attackTime, fadeLevel, fadeTime;
};

TEST(ForceFeedbackEffect, BuiltParameters) {
  const TBuild builds[] = {
      {"periodic", etPeriodic, {10000, -10000}, {}, 30, 10000, 50, 0, 0, 0, 0},
      {"constant", etConstantForce, {0, 10000}, {}, 50, 10000, 400, 0, 0, 0, 500},
      {"condition", etCondition, {0, 800}, {0, 800}, 10, 5, 5, 0, 0, 50, 50},
      {"endless", etConstantForce, {3, 4}, {}, 50, 7000, -1, 900, 200, 7, 30},
      {"attack cut to time", etPeriodic, {0, 0}, {}, 20, 100, 100, 500, 300, 9, 40},
  };
  for (const auto& b : builds) {
    SCOPED_TRACE(b.what);
    TForceFeedbackEffects e(nullptr);
    e.SetConstant(b.constant);
    e.SetCondition(b.condition);
    e.SetPeriod(b.period);
    e.SetPower(b.power);
    e.SetTime(b.time);
    e.SetAttackLevel(b.attackLevel);
    e.SetAttackTime(b.attackTime);
    e.SetFadeLevel(b.fadeLevel);
    e.SetFadeTime(b.fadeTime);
    e.SetEffectType(b.type);
    e.BuildParams();
    const auto& p = e.Block(0);
    EXPECT_EQ(p.Effect.Flags, 0x12u);
    EXPECT_EQ(p.Effect.TriggerButton, DIEB_NOTRIGGER);
    EXPECT_EQ(p.Effect.SamplePeriod, 0u);
    EXPECT_EQ(p.Effect.Gain, static_cast<uint32_t>(b.power));
    EXPECT_EQ(p.Effect.Duration, b.time == -1 ? INFINITE_DURATION : uint32_t(b.time) * 1000);
    EXPECT_EQ(p.Effect.Envelope, &p.Envelope);
    EXPECT_EQ(p.Envelope.AttackLevel, static_cast<uint32_t>(b.attackLevel));
    const int attack = b.time == -1 ? b.attackTime : std::min(b.attackTime, b.time);
    EXPECT_EQ(p.Envelope.AttackTime, uint32_t(attack) * 1000);
    EXPECT_EQ(p.Envelope.FadeLevel, b.time == -1 ? 0u : uint32_t(b.fadeLevel));
    EXPECT_EQ(p.Envelope.FadeTime,
              b.time == -1 ? 0u : uint32_t(std::min(b.fadeTime, b.time)) * 1000);
  }
  // Type-specific blocks.
  TForceFeedbackEffects e(nullptr);
  e.SetConstant({10000, -10000});
  e.SetPeriod(30);
  e.SetEffectType(etPeriodic);
  e.BuildParams();
  EXPECT_EQ(e.Block(0).AxisCount, 2u);
  EXPECT_EQ(e.Block(0).Effect.Axes, 2u);
  EXPECT_EQ(e.Block(0).AxisOffsets[1], 4u);
  EXPECT_EQ(e.Block(0).Direction[0], -10000);
  EXPECT_EQ(e.Block(0).Direction[1], 10000);
  EXPECT_EQ(e.Block(0).Periodic.Magnitude, 14142u);
  EXPECT_EQ(e.Block(0).Periodic.Period, 30000u);
  EXPECT_EQ(e.Block(0).Effect.TypeSpecificParamsSize, sizeof(TDIPeriodic));

  e.SetEffectType(etConstantForce);
  e.SetConstant({3, -4});
  e.BuildParams();
  EXPECT_EQ(e.Block(0).Constant.Magnitude, 5);
  EXPECT_EQ(e.Block(0).Direction[1], 4);

  e.SetEffectType(etCondition);
  e.SetConstant({-20, 800});
  e.SetCondition({300, 800});
  e.BuildParams();
  for (int i = 0; i < 2; ++i) {
    const auto& c = e.Block(i);
    EXPECT_EQ(c.AxisCount, 1u);
    EXPECT_EQ(c.AxisOffsets[0], i == 0 ? DIJOFS_X : DIJOFS_Y);
    EXPECT_EQ(c.Direction[0], 0);
    EXPECT_EQ(c.Condition.Offset, i == 0 ? -20 : 800);
    EXPECT_EQ(c.Condition.PositiveCoefficient, i == 0 ? 300 : 800);
    EXPECT_EQ(c.Condition.NegativeCoefficient, i == 0 ? -300 : -800);
    EXPECT_EQ(c.Condition.PositiveSaturation, 0u);
    EXPECT_EQ(c.Condition.DeadBand, 0);
    EXPECT_EQ(c.Effect.TypeSpecificParams, &c.Condition);
  }
  // A duration past what the description holds stays finite.
  e.SetTime(INT32_MAX);
  e.BuildParams();
  EXPECT_EQ(e.Block(0).Effect.Duration, INFINITE_DURATION - 1);
}

class EffectDeviceTest : public ::testing::Test {
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
    HeadlessUninstall();
  }
  TDXInput* Make(bool ForceFeedback) {
    auto* in = new TDXInput(form_);
    in->BeginLoading();
    in->Joystick()->SetForceFeedback(ForceFeedback);
    in->EndLoading();
    return in;
  }
  TApplicationScope app_;
  TForm* form_ = nullptr;
};

TEST_F(EffectDeviceTest, NothingReachesDevicesWithoutForceFeedback) {
  struct Case {
    const char* what;
    bool deviceHasIt, propertyOn;
  } cases[] = {{"device without", false, true}, {"property off", true, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    InputHost().Reset();
    auto joy = HeadlessAddJoystick(c.deviceHasIt);
    TDXInput* in = Make(c.propertyOn);
    TForceFeedbackEffects* fx = in->Joystick()->Effects();
    fx->SetEffectType(etConstantForce);
    fx->SetTime(-1);
    fx->Start();
    EXPECT_FALSE(fx->HasDeviceEffect());
    EXPECT_FALSE(fx->Playing());
    if (joy->haptic) EXPECT_TRUE(joy->haptic->Effects.empty());
    delete in;
  }
}

TEST_F(EffectDeviceTest, TreePlaysOnTheDevice) {
  auto joy = HeadlessAddJoystick(true);
  TDXInput* in = Make(true);
  TJoystick* j = in->Joystick();
  ASSERT_TRUE(j->ForceFeedbackDevice());
  EXPECT_EQ(j->Device()->CooperativeLevel(), DISCL_EXCLUSIVE | DISCL_FOREGROUND);
  TForceFeedbackEffects* fx = j->Effects();
  fx->SetEffectType(etCondition);
  fx->SetCondition({0, 800});
  fx->SetTime(5);
  auto* landing = new TForceFeedbackEffect(fx);
  landing->SetName("Landing");
  landing->SetConstant({0, 10000});
  landing->SetTime(400);
  landing->SetEffectType(etConstantForce);
  auto* endless = new TForceFeedbackEffect(fx);
  endless->SetTime(-1);
  endless->SetEffectType(etPeriodic);

  fx->Start();  // the device is not acquired yet: the start acquires it
  auto& played = joy->haptic->Effects;
  ASSERT_EQ(played.size(), 4u);  // two condition axes, the force, the periodic
  for (auto& [id, p] : played) EXPECT_TRUE(p.Running) << id;
  EXPECT_TRUE(fx->Playing());
  EXPECT_TRUE(landing->Playing());
  HeadlessAdvance(5);
  EXPECT_FALSE(fx->Playing());
  EXPECT_TRUE(landing->Playing());
  HeadlessAdvance(395);
  EXPECT_FALSE(landing->Playing());
  // An endless effect counts as playing without asking the device.
  for (auto& [id, p] : played) p.Running = false;
  EXPECT_TRUE(endless->Playing());

  // A new value reaches a device effect that is playing, and restarts it.
  const int runsBefore = played.rbegin()->second.Runs;
  endless->SetPower(3000);
  EXPECT_EQ(played.rbegin()->second.Effect.Gain, 3000u);
  EXPECT_EQ(played.rbegin()->second.Runs, runsBefore + 1);
  fx->Stop();
  EXPECT_FALSE(endless->Playing());
  for (auto& [id, p] : played) EXPECT_FALSE(p.Running) << id;
  delete in;
  EXPECT_TRUE(played.empty()) << "device effects are released with the device";
}

// A joystick without auto-centre is exclusive and in the foreground; with the
// form behind another window it cannot be had, and an endless effect that
// keeps asking for it must not ask forever.
TEST_F(EffectDeviceTest, RefusedDeviceDoesNotLoopOnEndlessEffects) {
  auto joy = HeadlessAddJoystick(true);
  auto* in = new TDXInput(form_);
  in->BeginLoading();
  in->SetActiveOnly(false);
  in->Joystick()->SetForceFeedback(true);
  in->Joystick()->SetAutoCenter(false);
  in->EndLoading();
  TForm* other = new TForm(Application);
  SetForegroundWindow(other->Handle());
  in->Joystick()->Device()->Unacquire();
  TForceFeedbackEffects* fx = in->Joystick()->Effects();
  fx->SetEffectType(etConstantForce);
  fx->SetTime(-1);
  fx->Start();
  EXPECT_TRUE(fx->Playing());
  joy->sample.Buttons[0] = true;
  in->Update();
  EXPECT_TRUE(in->States.Empty());
  // Once the form is in front the device is had and the effect plays.
  SetForegroundWindow(form_->Handle());
  in->Update();
  EXPECT_EQ(in->States, TDXInputBits{ibButton1});
  ASSERT_EQ(joy->haptic->Effects.size(), 1u);
  EXPECT_TRUE(joy->haptic->Effects.begin()->second.Running);
  delete other;
  delete in;
}

// Starting on a device that is not acquired acquires it, and acquiring makes
// the effects below the root anew; a device that will no longer make them
// leaves them silent instead of starting what is gone.
TEST_F(EffectDeviceTest, ReacquiringWhileStartingSurvivesEffectsTheDeviceNoLongerMakes) {
  auto joy = HeadlessAddJoystick(true);
  TDXInput* in = Make(true);
  TForceFeedbackEffects* fx = in->Joystick()->Effects();
  auto* child = new TForceFeedbackEffect(fx);
  child->SetTime(-1);
  child->SetEffectType(etConstantForce);
  ASSERT_TRUE(child->HasDeviceEffect());
  in->Joystick()->Device()->Unacquire();
  joy->haptic->Kinds.clear();
  fx->Start();
  EXPECT_TRUE(in->Joystick()->Device()->Acquired());
  EXPECT_FALSE(child->HasDeviceEffect());
  EXPECT_FALSE(child->Playing());
  EXPECT_TRUE(joy->haptic->Effects.empty());
  delete in;
}

void MakeMouseTree(TForceFeedbackEffect& root) {
  root.SetEffectType(etCondition);
  root.SetCondition({0, 800});
  root.SetConstant({0, 800});
  root.SetFadeLevel(50);
  root.SetFadeTime(50);
  root.SetPeriod(10);
  root.SetPower(5);
  root.SetTime(5);
  auto* landing = new TForceFeedbackEffect(&root);
  landing->SetName("Landing");
  landing->SetEffectType(etConstantForce);
  landing->SetConstant({0, 10000});
  landing->SetFadeTime(500);
  landing->SetPeriod(50);
  landing->SetPower(10000);
  landing->SetTime(400);
  auto* deep = new TForceFeedbackEffect(landing);
  deep->SetName("deep");
  deep->SetEffectType(etPeriodic);
  deep->SetAttackLevel(1);
  deep->SetAttackTime(2);
  deep->SetTime(-1);
  deep->SetStartDelayTime(3);
}

std::vector<uint8_t> Save(const TForceFeedbackEffects& fx) {
  TMemoryStream s;
  fx.SaveToStream(s);
  return s.Bytes();
}

void ExpectSameTree(TForceFeedbackEffect& a, TForceFeedbackEffect& b) {
  EXPECT_EQ(a.Name(), b.Name());
  EXPECT_EQ(a.EffectType(), b.EffectType());
  EXPECT_EQ(a.AttackLevel(), b.AttackLevel());
  EXPECT_EQ(a.AttackTime(), b.AttackTime());
  EXPECT_EQ(a.Condition(), b.Condition());
  EXPECT_EQ(a.Constant(), b.Constant());
  EXPECT_EQ(a.FadeLevel(), b.FadeLevel());
  EXPECT_EQ(a.FadeTime(), b.FadeTime());
  EXPECT_EQ(a.Period(), b.Period());
  EXPECT_EQ(a.Power(), b.Power());
  EXPECT_EQ(a.Time(), b.Time());
  EXPECT_EQ(a.StartDelayTime(), b.StartDelayTime());
  ASSERT_EQ(a.Count(), b.Count());
  for (int i = 0; i < a.Count(); ++i) ExpectSameTree(*a.Effects(i), *b.Effects(i));
}

TEST(ForceFeedbackEffects, StreamRoundTripIsByteExact) {
  TForceFeedbackEffects a(nullptr);
  MakeMouseTree(a);
  const auto first = Save(a);
  // Resource header: name upper-cased, memory flags 0x1030, then the stream.
  const std::string name = "VALTORIXFORCEFEEDBACKEFFECT";
  ASSERT_GT(first.size(), 3 + name.size() + 1 + 6 + 4);
  EXPECT_EQ(first[0], 0xFF);
  EXPECT_EQ(first[1], 10);
  EXPECT_EQ(first[2], 0);
  EXPECT_EQ(std::string(first.begin() + 3, first.begin() + 3 + name.size()), name);
  const size_t flags = 3 + name.size() + 1;
  EXPECT_EQ(first[flags], 0x30);
  EXPECT_EQ(first[flags + 1], 0x10);
  const size_t stream = flags + 6;
  EXPECT_EQ(std::string(first.begin() + stream, first.begin() + stream + 4), "TPF0");
  const std::string text(first.begin(), first.end());
  EXPECT_NE(text.find("TForceFeedbackEffectComponent"), std::string::npos);
  EXPECT_NE(text.find("etCondition"), std::string::npos);
  EXPECT_EQ(text.find("AttackLevel"), text.rfind("AttackLevel")) << "zero values are left out";

  TForceFeedbackEffects b(nullptr);
  new TForceFeedbackEffect(&b);  // replaced by what is read
  TByteStream in(first.data(), first.size());
  b.LoadFromStream(in);
  ExpectSameTree(a, b);
  EXPECT_EQ(Save(b), first);

  // Through the device's property, and Assign, the same.
  TForceFeedbackEffects c(nullptr);
  c.Assign(&b);
  ExpectSameTree(a, c);
  EXPECT_EQ(Save(c), first);
}

TEST(ForceFeedbackEffects, ReadsTheFormsRootNameAndRejectsDamage) {
  TForceFeedbackEffects a(nullptr);
  MakeMouseTree(a);
  auto bytes = Save(a);
  // The root name slot holds "" when written; forms carry "_1" there.
  const std::string marker = "TForceFeedbackEffectComponent";
  const size_t at = std::string(bytes.begin(), bytes.end()).find(marker) + marker.size();
  ASSERT_EQ(bytes[at], 0);
  bytes[at] = 2;
  bytes.insert(bytes.begin() + static_cast<long>(at) + 1, {'_', '1'});
  TForceFeedbackEffects b(nullptr);
  TByteStream s(bytes.data(), bytes.size());
  b.LoadFromStream(s);
  ExpectSameTree(a, b);

  const auto good = Save(a);
  for (size_t cut : {size_t{0}, size_t{5}, good.size() / 2, good.size() - 1}) {
    SCOPED_TRACE(cut);
    TForceFeedbackEffects c(nullptr);
    TByteStream t(good.data(), cut);
    EXPECT_THROW(c.LoadFromStream(t), Exception);
  }
}

}  // namespace
