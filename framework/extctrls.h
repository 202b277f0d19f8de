// The window timer component.
#pragma once

#include "framework/classes.h"
#include "framework/types.h"
#include "platform/win/wintypes.h"

// Fires OnTimer from the message loop every Interval milliseconds, with the
// platform's coarse timer granularity. Timers that fall due together fire in
// the order they were switched on.
class TTimer : public TComponent {
 public:
  TAL_CLASS_NAME(TTimer)
  explicit TTimer(TComponent* AOwner);
  ~TTimer() override;
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v);
  UINT Interval() const { return interval_; }
  void SetInterval(UINT v);
  void SetOnTimer(TNotifyEvent e);
  const TNotifyEvent& OnTimer() const { return on_timer_; }
  void Loaded() override;

 protected:
  virtual void Timer();

 private:
  void UpdateTimer();
  HWND window_ = nullptr;
  bool enabled_ = true;
  UINT interval_ = 1000;
  TNotifyEvent on_timer_;
};
