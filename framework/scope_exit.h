// The one way to restore something on the way out of a scope: a counter
// raised for the duration of a call, a flag, saved values. The action runs
// when the scope is left by return or by exception, so the restore cannot be
// forgotten on one of the paths. It runs from a destructor and must not
// throw.
#pragma once

#include <utility>

template <class TAction>
class [[nodiscard]] TScopeExit {
 public:
  explicit TScopeExit(TAction Action) : action_(std::move(Action)) {}
  TScopeExit(const TScopeExit&) = delete;
  TScopeExit& operator=(const TScopeExit&) = delete;
  ~TScopeExit() { action_(); }

 private:
  TAction action_;
};

// Usage: ++depth_; const TScopeExit undo([&] { --depth_; });
