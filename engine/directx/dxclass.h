// The frame timer that runs from the application's idle loop, and the form
// class of the game's main window.
#pragma once

#include <cstdint>
#include <functional>

#include "framework/classes.h"
#include "framework/forms.h"

using TDXTimerEvent = std::function<void(TObject* Sender, int LagCount)>;

// Fires OnTimer at most once per Interval milliseconds from the application's
// idle handler, with the number of intervals that passed (the lag count).
// While it runs the message loop never waits. It owns the application's one
// idle-handler slot: running replaces any other idle handler, stopping
// removes whatever is installed.
class TCustomDXTimer : public TComponent {
 public:
  TAL_CLASS_NAME(TCustomDXTimer)
  explicit TCustomDXTimer(TComponent* AOwner);
  ~TCustomDXTimer() override;
  void Loaded() override;

  bool ActiveOnly() const { return active_only_; }
  void SetActiveOnly(bool Value);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool Value);
  uint32_t Interval() const { return interval_; }
  void SetInterval(uint32_t Value);
  int FrameRate() const { return frame_rate_; }
  // Set up (running or suspended while inactive).
  bool Initialized() const { return initialized_; }

  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;
  TDXTimerEvent OnTimer;

  // The idle handler.
  void IdleTick(TObject* Sender, bool& Done);

 protected:
  virtual void DoActivate();
  virtual void DoDeactivate();
  virtual void DoTimer(int LagCount);

 private:
  void Initialize();
  void Finalize();
  void Resume();
  void Suspend();
  bool AppProc(TMessage& Message);

  TApplication* app_;
  uint64_t hook_ = 0;
  bool active_only_ = true;
  bool enabled_ = true;
  bool initialized_ = false;
  bool running_ = false;  // our idle handler is installed
  uint32_t interval_ = 1000;
  uint32_t divisor_ = 1000;
  int frame_rate_ = 0;
  uint32_t frame_count_ = 0;
  uint32_t old_time_ = 0;
  uint32_t old_time2_ = 0;
};

class TDXTimer : public TCustomDXTimer {
 public:
  TAL_CLASS_NAME(TDXTimer)
  using TCustomDXTimer::TCustomDXTimer;
};

// While any of these forms exists, the application's hidden window is a tool
// window and the form's own window stands in the task bar.
class TDXForm : public TForm {
 public:
  TAL_CLASS_NAME(TDXForm)
  explicit TDXForm(TComponent* AOwner);
  ~TDXForm() override;
  // How many exist.
  static int Count();

 protected:
  void CreateParams(TCreateParams& Params) override;
  void WndProc(TMessage& Message) override;

 private:
  TApplication* app_;
};
