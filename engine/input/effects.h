// Force-feedback effects: a tree of effects per input device, started and
// stopped as a whole, played on the device's force-feedback hardware when it
// has some and the device asks for it, and kept in component streams as the
// "Effects" property.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/classes.h"
#include "framework/types.h"
#include "platform/dinput/dinput.h"

class TCustomInput;
class TForceFeedbackEffects;

enum TForceFeedbackEffectType { etNone, etConstantForce, etPeriodic, etCondition };

// One device effect with the storage its description points into.
struct TForceFeedbackEffectObject {
  uint32_t AxisOffsets[2] = {};
  uint32_t AxisCount = 0;
  TDIEffect Effect;
  int32_t Direction[2] = {};
  TDIEnvelope Envelope;
  TDIConstantForce Constant;
  TDIPeriodic Periodic;
  TDICondition Condition;
  std::shared_ptr<TDirectInputEffect> DeviceEffect;

  TForceFeedbackEffectObject() = default;
  TForceFeedbackEffectObject(const TForceFeedbackEffectObject&) = delete;
  TForceFeedbackEffectObject& operator=(const TForceFeedbackEffectObject&) = delete;
  // Points the description at this block's own storage.
  void Link(TForceFeedbackEffectType Type);
};

class TForceFeedbackEffect : public TPersistent {
 public:
  TAL_CLASS_NAME(TForceFeedbackEffect)
  // Joins Parent's children; without a parent the effect is a root.
  explicit TForceFeedbackEffect(TForceFeedbackEffect* Parent);
  ~TForceFeedbackEffect() override;
  TForceFeedbackEffect(const TForceFeedbackEffect&) = delete;
  TForceFeedbackEffect& operator=(const TForceFeedbackEffect&) = delete;

  void Assign(TPersistent* Source) override;

  void Start();
  void Stop();
  bool Playing();
  // Frees the children.
  void Clear();
  int Count() const { return static_cast<int>(children_.size()); }
  TForceFeedbackEffect* Effects(int Index) const {
    return children_.at(static_cast<size_t>(Index));
  }
  TForceFeedbackEffect* Parent() const { return parent_; }
  TForceFeedbackEffects* Root() const { return root_; }
  // The child named Name (case ignored), or nullptr.
  TForceFeedbackEffect* Find(const std::string& Name) const;

  // Called by the device.
  void Initialize();
  void Finalize();
  void Acquire();

  int32_t AttackLevel() const { return attackLevel_; }
  void SetAttackLevel(int32_t Value);
  int32_t AttackTime() const { return attackTime_; }
  void SetAttackTime(int32_t Value);
  TPoint Condition() const { return condition_; }
  void SetCondition(TPoint Value);
  TPoint Constant() const { return constant_; }
  void SetConstant(TPoint Value);
  TForceFeedbackEffectType EffectType() const { return effectType_; }
  void SetEffectType(TForceFeedbackEffectType Value);
  int32_t FadeLevel() const { return fadeLevel_; }
  void SetFadeLevel(int32_t Value);
  int32_t FadeTime() const { return fadeTime_; }
  void SetFadeTime(int32_t Value);
  const std::string& Name() const { return name_; }
  void SetName(const std::string& Value) { name_ = Value; }
  int32_t Period() const { return period_; }
  void SetPeriod(int32_t Value);
  int32_t Power() const { return power_; }
  void SetPower(int32_t Value);
  // Milliseconds; -1 plays until stopped.
  int32_t Time() const { return time_; }
  void SetTime(int32_t Value);
  int32_t StartDelayTime() const { return startDelayTime_; }
  void SetStartDelayTime(int32_t Value);

  // The two parameter blocks as last built (the second serves only the
  // condition's Y axis).
  const TForceFeedbackEffectObject& Block(int Index) const { return *blocks_[Index]; }
  bool HasDeviceEffect() const { return blocks_[0]->DeviceEffect || blocks_[1]->DeviceEffect; }
  // Fills the parameter blocks from the values.
  void BuildParams();

 protected:
  void BecomeRoot(TForceFeedbackEffects* Root) { root_ = Root; }

 private:
  void CreateEffect();
  void UpdateParams();
  void ReleaseDeviceEffects();
  bool StartDeviceEffects();
  TCustomInput* Input() const;
  template <class T>
  void SetValue(T& Field, T Value);

  TForceFeedbackEffects* root_ = nullptr;
  TForceFeedbackEffect* parent_ = nullptr;
  std::vector<TForceFeedbackEffect*> children_;
  int32_t attackLevel_ = 0;
  int32_t attackTime_ = 0;
  TPoint condition_;
  TPoint constant_;
  TForceFeedbackEffectType effectType_ = etNone;
  int32_t fadeLevel_ = 0;
  int32_t fadeTime_ = 0;
  std::string name_;
  int32_t period_ = 50;
  bool started_ = false;
  int32_t power_ = 10000;
  int32_t time_ = 1000;
  int32_t startDelayTime_ = 0;
  std::unique_ptr<TForceFeedbackEffectObject> blocks_[2];
};

// The stream carrier: one collection of items, each a copy of an effect with
// its children as a nested collection.
class TForceFeedbackEffectItem;
class TForceFeedbackEffectItems : public TCollection {
 public:
  TAL_CLASS_NAME(TForceFeedbackEffectItems)
  using TCollection::TCollection;
  TForceFeedbackEffectItem* Item(int Index) const;

 protected:
  TCollectionItem* MakeItem() override;
};

class TForceFeedbackEffectItem : public TCollectionItem {
 public:
  TAL_CLASS_NAME(TForceFeedbackEffectItem)
  explicit TForceFeedbackEffectItem(TCollection* Collection);
  bool ReadProperty(const std::string& Name, TReader& Reader) override;
  void WriteProperties(TWriter& Writer) const override;

  std::string Name;
  TForceFeedbackEffectType EffectType = etNone;
  int32_t AttackLevel = 0, AttackTime = 0, ConditionX = 0, ConditionY = 0, ConstantX = 0,
          ConstantY = 0, FadeLevel = 0, FadeTime = 0;
  int32_t Period = 0, Power = 0, Time = 0, StartDelayTime = 0;
  TForceFeedbackEffectItems Effects{this};
};

class TForceFeedbackEffectComponent : public TComponent {
 public:
  TAL_CLASS_NAME(TForceFeedbackEffectComponent)
  explicit TForceFeedbackEffectComponent(TComponent* AOwner) : TComponent(AOwner) {}
  bool ReadProperty(const std::string& Name, TReader& Reader) override;
  void WriteProperties(TWriter& Writer) const override;
  // Made fresh for each read or write and freed afterwards.
  std::unique_ptr<TForceFeedbackEffectItems> Effects;
};

class TForceFeedbackEffects : public TForceFeedbackEffect {
 public:
  TAL_CLASS_NAME(TForceFeedbackEffects)
  explicit TForceFeedbackEffects(TCustomInput* Input);
  ~TForceFeedbackEffects() override;
  TCustomInput* Input() const { return input_; }

  // The "Effects" binary property.
  bool ReadProperty(const std::string& Name, TReader& Reader) override;
  void WriteProperties(TWriter& Writer) const override;
  // The property's value: a component resource holding the tree.
  void LoadFromStream(TStream& Stream);
  void SaveToStream(TStream& Stream) const;

 private:
  TCustomInput* input_;
  std::unique_ptr<TForceFeedbackEffectComponent> component_;
};

const char* EffectTypeName(TForceFeedbackEffectType Type);
