// The interface a backend (SDL for the programs, headless for tests) fills in
// so that the window layer reaches the screen, the events and the user.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/win/user.h"
#include "platform/win/wintypes.h"

class TPlatformDriver {
 public:
  virtual ~TPlatformDriver() = default;
  virtual const char* Name() const { return "null"; }

  // Turns pending events of the system into posted messages; never blocks.
  virtual void PumpEvents() {}
  // Blocks until an event may be pending or TimeoutUs passes on the clock
  // (UINT64_MAX: no limit).
  virtual void WaitEvents(uint64_t TimeoutUs);
  // Called after an idle pass whose handler asked to be called again at once.
  // Keeps such a loop from running ahead of the clock: it returns only once
  // the clock has moved on to a later millisecond than when it was called.
  virtual void IdlePace();
  // Wakes a WaitEvents in progress; called when a message is posted from
  // another thread (the audio library's end-of-playback callback does).
  virtual void Wake() {}

  // Native windows of top-level windows.
  virtual void CreateNativeWindow(HWND Wnd, const TWindowParams& Params) {}
  virtual void DestroyNativeWindow(HWND Wnd) {}
  virtual void ShowNativeWindow(HWND Wnd, int CmdShow) {}
  virtual void SetNativeWindowText(HWND Wnd, const std::string& Text) {}
  virtual void SetNativeWindowBounds(HWND Wnd, int X, int Y, int Width, int Height) {}
  virtual void SetNativeWindowStyle(HWND Wnd, DWORD Style, DWORD ExStyle) {}
  virtual void DesktopSize(int& Width, int& Height) {
    Width = 800;
    Height = 600;
  }
  virtual void SetCursorVisible(bool Visible) {}
  // Shows a top-level window's painted client area: Width x Height pixels of
  // 0x00RRGGBB, top row first.
  virtual void PresentWindow(HWND Wnd, const uint32_t* Pixels, int Width, int Height) {}
  virtual void WarpCursor(HWND Wnd, int X, int Y) {}

  // Shows a message box and returns the button pressed (IDOK, IDYES...).
  virtual int MessageBox(HWND Wnd, const std::string& Text, const std::string& Caption, UINT Type);
};

// Installs the backend (nullptr: the null driver). Done once at start-up.
void SetPlatformDriver(std::unique_ptr<TPlatformDriver> Driver);
TPlatformDriver& PlatformDriver();
