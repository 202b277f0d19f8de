#include "engine/directx/dxclass.h"

#include "platform/win/clock.h"

TCustomDXTimer::TCustomDXTimer(TComponent* AOwner) : TComponent(AOwner), app_(Application) {
  hook_ = app_->HookMainWindow([this](TMessage& Message) { return AppProc(Message); });
}

TCustomDXTimer::~TCustomDXTimer() {
  Finalize();
  app_->UnhookMainWindow(hook_);
}

void TCustomDXTimer::Loaded() {
  TComponent::Loaded();
  if (!Has(csDesigning) && enabled_) Initialize();
}

void TCustomDXTimer::SetActiveOnly(bool Value) {
  if (active_only_ == Value) return;
  active_only_ = Value;
  if (!initialized_) return;
  if (active_only_ && !app_->Active()) {
    Suspend();
  } else if (!active_only_ && !running_) {
    // A clock held only by inactivity runs again at once: nothing else
    // would restart it, as activation resumes only ActiveOnly clocks.
    Resume();
  }
}

void TCustomDXTimer::SetEnabled(bool Value) {
  if (enabled_ == Value) return;
  enabled_ = Value;
  if (Has(csLoading) || Has(csReading)) return;
  if (enabled_)
    Initialize();
  else
    Finalize();
}

void TCustomDXTimer::SetInterval(uint32_t Value) {
  if (interval_ == Value) return;
  // Values past the signed range count as negative: no wait, divide by 1.
  int32_t v = static_cast<int32_t>(Value);
  interval_ = static_cast<uint32_t>(Max(v, 0));
  divisor_ = static_cast<uint32_t>(Max(v, 1));
}

void TCustomDXTimer::Initialize() {
  Finalize();
  if (!(active_only_ && !app_->Active())) Resume();
  initialized_ = true;
}

void TCustomDXTimer::Finalize() {
  if (!initialized_) return;
  Suspend();
  initialized_ = false;
}

void TCustomDXTimer::Resume() {
  old_time_ = timeGetTime();
  old_time2_ = old_time_;
  app_->OnIdle = [this](TObject* Sender, bool& Done) { IdleTick(Sender, Done); };
  running_ = true;
}

void TCustomDXTimer::Suspend() {
  app_->OnIdle = nullptr;
  running_ = false;
}

bool TCustomDXTimer::AppProc(TMessage& Message) {
  switch (Message.Msg) {
    case CM_ACTIVATE:
      DoActivate();
      if (initialized_ && active_only_) Resume();
      break;
    case CM_DEACTIVATE:
      DoDeactivate();
      if (initialized_ && active_only_) Suspend();
      break;
    default:
      break;
  }
  return false;
}

void TCustomDXTimer::IdleTick(TObject*, bool& Done) {
  Done = false;
  uint32_t now = timeGetTime();
  // Unsigned differences, so the clock's wrap at 2^32 ms costs nothing.
  uint32_t elapsed = now - old_time_;
  if (elapsed < interval_) return;
  uint32_t lag = elapsed / divisor_;
  old_time_ = now;
  if (lag < 1) lag = 1;

  ++frame_count_;
  uint32_t span = now - old_time2_;
  if (span < 1) span = 1;
  if (span >= 1000) {
    frame_rate_ = Round(static_cast<double>(frame_count_) * 1000.0 / span);
    frame_count_ = 0;
    old_time2_ = now;
  }
  DoTimer(lag > INT32_MAX ? INT32_MAX : static_cast<int>(lag));
}

void TCustomDXTimer::DoActivate() {
  if (OnActivate) OnActivate(this);
}

void TCustomDXTimer::DoDeactivate() {
  if (OnDeactivate) OnDeactivate(this);
}

void TCustomDXTimer::DoTimer(int LagCount) {
  if (OnTimer) OnTimer(this, LagCount);
}
