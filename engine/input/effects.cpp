#include "engine/input/effects.h"

#include <algorithm>
#include <cmath>

#include "engine/input/input.h"
#include "framework/filer.h"
#include "framework/scope_exit.h"

namespace {

constexpr uint32_t kParamsFlags = DIEP_DURATION | DIEP_SAMPLEPERIOD | DIEP_GAIN |
                                  DIEP_TRIGGERBUTTON | DIEP_TRIGGERREPEATINTERVAL | DIEP_DIRECTION |
                                  DIEP_ENVELOPE |
                                  DIEP_TYPESPECIFICPARAMS;  // everything but the axes
static_assert(kParamsFlags == 0x1DF);

// Milliseconds to the microseconds of an effect description; a duration
// too long for it is the longest finite one.
uint32_t Micro(int64_t Ms) {
  return static_cast<uint32_t>(std::clamp<int64_t>(Ms * 1000, 0, INFINITE_DURATION - 1));
}

const char* const kTypeNames[] = {"etNone", "etConstantForce", "etPeriodic", "etCondition"};

TForceFeedbackEffectType TypeFromName(const std::string& Name) {
  for (int i = 0; i < 4; ++i)
    if (SameText(Name, kTypeNames[i])) return static_cast<TForceFeedbackEffectType>(i);
  Raise<EReadError>("Invalid property value");
}

constexpr const char* kResourceName = "ValtorixForceFeedbackEffect";

}  // namespace

const char* EffectTypeName(TForceFeedbackEffectType Type) {
  return kTypeNames[Type];
}

void TForceFeedbackEffectObject::Link(TForceFeedbackEffectType Type) {
  Effect.AxisOffsets = AxisOffsets;
  Effect.Axes = AxisCount;
  Effect.Direction = Direction;
  Effect.Envelope = &Envelope;
  switch (Type) {
    case etConstantForce:
      Effect.TypeSpecificParamsSize = sizeof Constant;
      Effect.TypeSpecificParams = &Constant;
      break;
    case etPeriodic:
      Effect.TypeSpecificParamsSize = sizeof Periodic;
      Effect.TypeSpecificParams = &Periodic;
      break;
    case etCondition:
      Effect.TypeSpecificParamsSize = sizeof Condition;
      Effect.TypeSpecificParams = &Condition;
      break;
    case etNone:
      Effect.TypeSpecificParamsSize = 0;
      Effect.TypeSpecificParams = nullptr;
      break;
  }
}

// ---- TForceFeedbackEffect ----------------------------------------------------------

TForceFeedbackEffect::TForceFeedbackEffect(TForceFeedbackEffect* Parent) : parent_(Parent) {
  blocks_[0] = std::make_unique<TForceFeedbackEffectObject>();
  blocks_[1] = std::make_unique<TForceFeedbackEffectObject>();
  if (parent_) {
    root_ = parent_->root_;
    parent_->children_.push_back(this);
  } else {
    name_ = "Effects";
  }
}

TForceFeedbackEffect::~TForceFeedbackEffect() {
  try {
    Clear();
    ReleaseDeviceEffects();
  } catch (...) {
  }
  if (parent_) std::erase(parent_->children_, this);
}

void TForceFeedbackEffect::Clear() {
  while (!children_.empty()) delete children_.back();
}

TForceFeedbackEffect* TForceFeedbackEffect::Find(const std::string& Name) const {
  for (auto* c : children_)
    if (SameText(c->name_, Name)) return c;
  return nullptr;
}

TCustomInput* TForceFeedbackEffect::Input() const {
  return root_ ? root_->Input() : nullptr;
}

template <class T>
void TForceFeedbackEffect::SetValue(T& Field, T Value) {
  if (Field == Value) return;
  Field = Value;
  UpdateParams();
}

void TForceFeedbackEffect::SetAttackLevel(int32_t Value) {
  SetValue(attackLevel_, std::clamp(Value, 0, 10000));
}
void TForceFeedbackEffect::SetAttackTime(int32_t Value) {
  SetValue(attackTime_, std::max(Value, 0));
}
void TForceFeedbackEffect::SetFadeLevel(int32_t Value) {
  SetValue(fadeLevel_, std::clamp(Value, 0, 10000));
}
void TForceFeedbackEffect::SetFadeTime(int32_t Value) {
  SetValue(fadeTime_, std::max(Value, 0));
}
void TForceFeedbackEffect::SetPeriod(int32_t Value) {
  SetValue(period_, std::max(Value, 0));
}
void TForceFeedbackEffect::SetPower(int32_t Value) {
  SetValue(power_, std::clamp(Value, 0, 10000));
}
void TForceFeedbackEffect::SetCondition(TPoint Value) {
  SetValue(condition_,
           TPoint{std::clamp(Value.X, -10000, 10000), std::clamp(Value.Y, -10000, 10000)});
}
void TForceFeedbackEffect::SetConstant(TPoint Value) {
  SetValue(constant_,
           TPoint{std::clamp(Value.X, -10000, 10000), std::clamp(Value.Y, -10000, 10000)});
}

void TForceFeedbackEffect::SetTime(int32_t Value) {
  Value = Value < 0 ? -1 : Value;  // every negative time means endless
  if (time_ == Value) return;
  Stop();
  time_ = Value;
  UpdateParams();
}

void TForceFeedbackEffect::SetStartDelayTime(int32_t Value) {
  Value = std::max(Value, 0);
  if (startDelayTime_ == Value) return;
  Stop();
  startDelayTime_ = Value;
  UpdateParams();
}

void TForceFeedbackEffect::SetEffectType(TForceFeedbackEffectType Value) {
  if (effectType_ == Value) return;
  Stop();
  effectType_ = Value;
  CreateEffect();
}

void TForceFeedbackEffect::BuildParams() {
  for (auto& b : blocks_) {
    auto effect = std::move(b->DeviceEffect);
    b = std::make_unique<TForceFeedbackEffectObject>();
    b->DeviceEffect = std::move(effect);
  }
  const int32_t a = constant_.X, c = constant_.Y;
  const auto magnitude = static_cast<int32_t>(
      Trunc(std::sqrt(static_cast<double>(a) * a + static_cast<double>(c) * c)));
  int used = 0;
  switch (effectType_) {
    case etNone:
      return;
    case etConstantForce:
    case etPeriodic: {
      auto& b = *blocks_[0];
      b.AxisCount = 2;
      b.AxisOffsets[0] = DIJOFS_X;
      b.AxisOffsets[1] = DIJOFS_Y;
      b.Direction[0] = -a;
      b.Direction[1] = -c;
      if (effectType_ == etConstantForce) {
        b.Constant.Magnitude = magnitude;
      } else {
        b.Periodic.Magnitude = static_cast<uint32_t>(magnitude);
        b.Periodic.Offset = 0;
        b.Periodic.Phase = 0;
        b.Periodic.Period = Micro(period_);
      }
      used = 1;
      break;
    }
    case etCondition: {
      const int32_t offsets[2] = {a, c};
      const int32_t coefficients[2] = {condition_.X, condition_.Y};
      for (int i = 0; i < 2; ++i) {
        auto& b = *blocks_[i];
        b.AxisCount = 1;
        b.AxisOffsets[0] = i == 0 ? DIJOFS_X : DIJOFS_Y;
        b.Direction[0] = b.Direction[1] = 0;
        b.Condition.Offset = offsets[i];
        b.Condition.PositiveCoefficient = coefficients[i];
        b.Condition.NegativeCoefficient = -coefficients[i];
        b.Condition.PositiveSaturation = 0;
        b.Condition.NegativeSaturation = 0;
        b.Condition.DeadBand = 0;
      }
      used = 2;
      break;
    }
  }
  for (int i = 0; i < used; ++i) {
    auto& b = *blocks_[i];
    b.Effect.Flags = DIEFF_CARTESIAN | DIEFF_OBJECTOFFSETS;
    b.Effect.TriggerButton = DIEB_NOTRIGGER;
    b.Effect.SamplePeriod = 0;
    b.Effect.Gain = static_cast<uint32_t>(power_);
    b.Effect.Duration = time_ == -1 ? INFINITE_DURATION : Micro(time_);
    b.Envelope.AttackLevel = static_cast<uint32_t>(attackLevel_);
    b.Envelope.AttackTime = Micro(time_ == -1 ? attackTime_ : std::min(attackTime_, time_));
    if (time_ == -1) {
      b.Envelope.FadeLevel = 0;
      b.Envelope.FadeTime = 0;
    } else {
      b.Envelope.FadeLevel = static_cast<uint32_t>(fadeLevel_);
      b.Envelope.FadeTime = Micro(std::min(fadeTime_, time_));
    }
    b.Link(effectType_);
  }
}

void TForceFeedbackEffect::ReleaseDeviceEffects() {
  for (auto& b : blocks_) b->DeviceEffect.reset();
}

void TForceFeedbackEffect::CreateEffect() {
  ReleaseDeviceEffects();
  TCustomInput* in = Input();
  TDirectInputDevice* dev = in ? in->Device2() : nullptr;
  if (!dev || !in->ForceFeedbackDevice() || !in->ForceFeedback() || effectType_ == etNone) return;
  BuildParams();
  auto firstGuid = [&](uint32_t kind, GUID& out) {
    bool found = false;
    dev->EnumEffects(
        [&](const TDIEffectInfo& info) {
          out = info.Guid;
          found = true;
          return DIENUM_STOP;
        },
        kind);
    return found;
  };
  GUID guid = GUID_ConstantForce;
  if (effectType_ == etPeriodic && !firstGuid(DIEFT_PERIODIC, guid)) return;
  if (effectType_ == etCondition && !firstGuid(DIEFT_CONDITION, guid)) return;
  const int count = effectType_ == etCondition ? 2 : 1;
  for (int i = 0; i < count; ++i) {
    auto& b = *blocks_[i];
    if (FAILED(dev->CreateEffect(guid, &b.Effect, b.DeviceEffect))) b.DeviceEffect.reset();
  }
  if (started_ && time_ == -1) StartDeviceEffects();
}

void TForceFeedbackEffect::UpdateParams() {
  if (effectType_ == etNone || !HasDeviceEffect()) return;
  const bool playing = Playing();
  BuildParams();
  for (auto& b : blocks_)
    if (b->DeviceEffect)
      b->DeviceEffect->SetParameters(b->Effect, kParamsFlags | (playing ? DIEP_START : 0));
}

bool TForceFeedbackEffect::StartDeviceEffects() {
  bool any = false;
  for (auto& b : blocks_) {
    if (!b->DeviceEffect) continue;
    any = true;
    HRESULT hr = b->DeviceEffect->Start(1, 0);
    if (hr == DIERR_INPUTLOST || hr == DIERR_NOTACQUIRED) {
      // Acquiring re-creates the effects below the root, this one among
      // them, and the device may refuse to make it again.
      if (TCustomInput* in = Input()) in->Acquire();
      if (b->DeviceEffect) b->DeviceEffect->Start(1, 0);
    }
  }
  return any;
}

void TForceFeedbackEffect::Start() {
  for (auto* c : std::vector<TForceFeedbackEffect*>(children_)) c->Start();
  if (!HasDeviceEffect()) CreateEffect();
  if (!HasDeviceEffect()) return;
  StartDeviceEffects();
  // Nothing left to play when the device would not make the effect again.
  if (HasDeviceEffect()) started_ = true;
}

void TForceFeedbackEffect::Stop() {
  if (Playing()) {
    started_ = false;
    for (auto& b : blocks_)
      if (b->DeviceEffect) b->DeviceEffect->Stop();
  }
  for (auto* c : children_) c->Stop();
}

bool TForceFeedbackEffect::Playing() {
  if (!started_) return false;
  if (time_ == -1) return true;
  for (auto& b : blocks_) {
    uint32_t status = 0;
    if (b->DeviceEffect && SUCCEEDED(b->DeviceEffect->GetEffectStatus(status)) &&
        (status & DIEGES_PLAYING))
      return true;
  }
  started_ = false;
  return false;
}

void TForceFeedbackEffect::Initialize() {
  CreateEffect();
  for (auto* c : children_) c->Initialize();
}

void TForceFeedbackEffect::Finalize() {
  Stop();
  ReleaseDeviceEffects();
  std::exception_ptr first;
  for (auto* c : children_) {
    try {
      c->Finalize();
    } catch (...) {
      if (!first) first = std::current_exception();
    }
  }
  if (first) std::rethrow_exception(first);
}

void TForceFeedbackEffect::Acquire() {
  if (Playing() && time_ == -1) StartDeviceEffects();
  for (auto* c : children_) c->Initialize();
}

void TForceFeedbackEffect::Assign(TPersistent* Source) {
  auto* s = dynamic_cast<TForceFeedbackEffect*>(Source);
  if (!s) {
    TPersistent::Assign(Source);
    return;
  }
  if (s == this) return;
  Clear();
  SetEffectType(etNone);
  name_ = s->name_;
  SetAttackLevel(s->attackLevel_);
  SetAttackTime(s->attackTime_);
  SetConstant(s->constant_);
  SetCondition(s->condition_);
  SetEffectType(s->effectType_);
  SetFadeLevel(s->fadeLevel_);
  SetFadeTime(s->fadeTime_);
  SetPeriod(s->period_);
  SetPower(s->power_);
  SetTime(s->time_);
  SetStartDelayTime(s->startDelayTime_);
  for (auto* c : s->children_) (new TForceFeedbackEffect(this))->Assign(c);
}

// ---- Stream carrier --------------------------------------------------------------

TForceFeedbackEffectItem* TForceFeedbackEffectItems::Item(int Index) const {
  return static_cast<TForceFeedbackEffectItem*>(Items(Index));
}

TCollectionItem* TForceFeedbackEffectItems::MakeItem() {
  return new TForceFeedbackEffectItem(this);
}

TForceFeedbackEffectItem::TForceFeedbackEffectItem(TCollection* Collection)
    : TCollectionItem(Collection) {}

bool TForceFeedbackEffectItem::ReadProperty(const std::string& N, TReader& Reader) {
  struct TField {
    const char* Name;
    int32_t TForceFeedbackEffectItem::*Field;
  };
  static constexpr TField kFields[] = {
      {"AttackLevel", &TForceFeedbackEffectItem::AttackLevel},
      {"AttackTime", &TForceFeedbackEffectItem::AttackTime},
      {"ConditionX", &TForceFeedbackEffectItem::ConditionX},
      {"ConditionY", &TForceFeedbackEffectItem::ConditionY},
      {"ConstantX", &TForceFeedbackEffectItem::ConstantX},
      {"ConstantY", &TForceFeedbackEffectItem::ConstantY},
      {"FadeLevel", &TForceFeedbackEffectItem::FadeLevel},
      {"FadeTime", &TForceFeedbackEffectItem::FadeTime},
      {"Period", &TForceFeedbackEffectItem::Period},
      {"Power", &TForceFeedbackEffectItem::Power},
      {"Time", &TForceFeedbackEffectItem::Time},
      {"StartDelayTime", &TForceFeedbackEffectItem::StartDelayTime},
  };
  for (const auto& f : kFields)
    if (N == f.Name) {
      this->*f.Field = Reader.ReadInteger();
      return true;
    }
  if (N == "Name") {
    Name = Reader.ReadString();
  } else if (N == "EffectType") {
    EffectType = TypeFromName(Reader.ReadIdent());
  } else if (N == "Effects") {
    Reader.ReadCollection(Effects);
  } else {
    return TCollectionItem::ReadProperty(N, Reader);
  }
  return true;
}

void TForceFeedbackEffectItem::WriteProperties(TWriter& Writer) const {
  if (!Name.empty()) Writer.WriteString("Name", Name);
  Writer.WriteIdent("EffectType", EffectTypeName(EffectType));
  const std::pair<const char*, int32_t> optional[] = {
      {"AttackLevel", AttackLevel}, {"AttackTime", AttackTime}, {"ConditionX", ConditionX},
      {"ConditionY", ConditionY},   {"ConstantX", ConstantX},   {"ConstantY", ConstantY},
      {"FadeLevel", FadeLevel},     {"FadeTime", FadeTime},
  };
  for (const auto& [name, value] : optional)
    if (value != 0) Writer.WriteInteger(name, value);
  Writer.WriteInteger("Period", Period);
  Writer.WriteInteger("Power", Power);
  Writer.WriteInteger("Time", Time);
  Writer.WriteInteger("StartDelayTime", StartDelayTime);
  if (Effects.Count() > 0) Writer.WriteCollection("Effects", Effects);
}

bool TForceFeedbackEffectComponent::ReadProperty(const std::string& Name, TReader& Reader) {
  if (Name == "Effects" && Effects) {
    Reader.ReadCollection(*Effects);
    return true;
  }
  return TComponent::ReadProperty(Name, Reader);
}

void TForceFeedbackEffectComponent::WriteProperties(TWriter& Writer) const {
  if (Effects) Writer.WriteCollection("Effects", *Effects);
}

// ---- TForceFeedbackEffects -------------------------------------------------------

TForceFeedbackEffects::TForceFeedbackEffects(TCustomInput* Input)
    : TForceFeedbackEffect(nullptr),
      input_(Input),
      component_(std::make_unique<TForceFeedbackEffectComponent>(nullptr)) {
  BecomeRoot(this);
}

TForceFeedbackEffects::~TForceFeedbackEffects() {
  try {
    Clear();
  } catch (...) {
  }
}

namespace {

void CopyToItem(TForceFeedbackEffect& E, TForceFeedbackEffectItem& I) {
  I.Name = E.Name();
  I.EffectType = E.EffectType();
  I.AttackLevel = E.AttackLevel();
  I.AttackTime = E.AttackTime();
  I.ConditionX = E.Condition().X;
  I.ConditionY = E.Condition().Y;
  I.ConstantX = E.Constant().X;
  I.ConstantY = E.Constant().Y;
  I.FadeLevel = E.FadeLevel();
  I.FadeTime = E.FadeTime();
  I.Period = E.Period();
  I.Power = E.Power();
  I.Time = E.Time();
  I.StartDelayTime = E.StartDelayTime();
  for (int i = 0; i < E.Count(); ++i)
    CopyToItem(*E.Effects(i), *static_cast<TForceFeedbackEffectItem*>(I.Effects.Add()));
}

void CopyFromItem(const TForceFeedbackEffectItem& I, TForceFeedbackEffect& E) {
  E.SetEffectType(etNone);
  E.SetName(I.Name);
  E.SetAttackLevel(I.AttackLevel);
  E.SetAttackTime(I.AttackTime);
  E.SetCondition({I.ConditionX, I.ConditionY});
  E.SetConstant({I.ConstantX, I.ConstantY});
  E.SetFadeLevel(I.FadeLevel);
  E.SetFadeTime(I.FadeTime);
  E.SetPeriod(I.Period);
  E.SetPower(I.Power);
  E.SetTime(I.Time);
  E.SetStartDelayTime(I.StartDelayTime);
  E.SetEffectType(I.EffectType);
  for (int i = 0; i < I.Effects.Count(); ++i)
    CopyFromItem(*I.Effects.Item(i), *new TForceFeedbackEffect(&E));
}

}  // namespace

void TForceFeedbackEffects::SaveToStream(TStream& Stream) const {
  auto self = const_cast<TForceFeedbackEffects*>(this);
  component_->Effects = std::make_unique<TForceFeedbackEffectItems>(component_.get());
  const TScopeExit free([c = component_.get()] { c->Effects.reset(); });
  CopyToItem(*self, *static_cast<TForceFeedbackEffectItem*>(component_->Effects->Add()));
  WriteComponentResource(Stream, kResourceName, *component_);
}

void TForceFeedbackEffects::LoadFromStream(TStream& Stream) {
  Clear();
  component_->Effects = std::make_unique<TForceFeedbackEffectItems>(component_.get());
  const TScopeExit free([c = component_.get()] { c->Effects.reset(); });
  ReadComponentResource(Stream, *component_);
  if (component_->Effects->Count() > 0) CopyFromItem(*component_->Effects->Item(0), *this);
}

bool TForceFeedbackEffects::ReadProperty(const std::string& Name, TReader& Reader) {
  if (Name == "Effects") {
    std::vector<uint8_t> bytes = Reader.ReadBinary();
    TByteStream s(bytes.data(), bytes.size());
    LoadFromStream(s);
    return true;
  }
  return TForceFeedbackEffect::ReadProperty(Name, Reader);
}

void TForceFeedbackEffects::WriteProperties(TWriter& Writer) const {
  Writer.WriteBinary("Effects", [&](TStream& s) { SaveToStream(s); });
}
