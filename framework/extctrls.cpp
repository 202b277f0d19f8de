#include "framework/extctrls.h"

#include "framework/forms.h"
#include "platform/win/user.h"

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner) {
  TWindowParams p;
  p.MessageOnly = true;
  window_ =
      CreateWindowHandle(p, [this](HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) -> LRESULT {
        if (Msg != WM_TIMER) return DefWindowProcA(Wnd, Msg, WParam, LParam);
        // A failing handler is reported and the timer keeps running.
        try {
          Timer();
        } catch (...) {
          if (Application) Application->HandleException(this);
        }
        return 0;
      });
}

TTimer::~TTimer() {
  HWND w = window_;
  window_ = nullptr;
  SetWindowProc(w, nullptr);
  DestroyWindow(w);
}

void TTimer::SetEnabled(bool v) {
  if (enabled_ == v) return;
  enabled_ = v;
  UpdateTimer();
}

void TTimer::SetInterval(UINT v) {
  if (interval_ == v) return;
  interval_ = v;
  UpdateTimer();
}

void TTimer::SetOnTimer(TNotifyEvent e) {
  on_timer_ = std::move(e);
  UpdateTimer();
}

void TTimer::Loaded() {
  TComponent::Loaded();
  UpdateTimer();
}

void TTimer::Timer() {
  if (enabled_ && on_timer_) on_timer_(this);
}

void TTimer::UpdateTimer() {
  if (!window_) return;
  KillTimer(window_, 1);
  if (Has(csLoading)) return;
  if (enabled_ && interval_ != 0 && on_timer_) SetTimer(window_, 1, interval_);
}
