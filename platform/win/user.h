// Windows, the message queue and window timers, message boxes, the cursor and
// the keyboard state. Windows here are handles with a window procedure; a
// top-level window gets a native window from the backend, child windows and
// the application's hidden window do not.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/win/wintypes.h"

using TWndProc = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;

struct TWindowParams {
  std::string Caption;
  DWORD Style = 0;
  DWORD ExStyle = 0;
  int X = 0, Y = 0, Width = 0, Height = 0;
  HWND Parent = nullptr;
  // A window that only receives messages (the application's hidden window):
  // never shown, no native window.
  bool MessageOnly = false;
};

struct MSG {
  HWND hwnd = nullptr;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  DWORD time = 0;
  POINT pt{0, 0};
};

constexpr UINT PM_NOREMOVE = 0;
constexpr UINT PM_REMOVE = 1;

// Window timers fire with the coarse granularity of the original platform's
// clock tick: a timer is checked on 1/64 s ticks, so a timer of 1 or 10 ms
// fires at most every 15.625 ms. Game speeds depend on it.
constexpr uint64_t kTimerTickMicroseconds = 15625;

// ---- Windows ---------------------------------------------------------------
HWND CreateWindowHandle(const TWindowParams& Params, TWndProc Proc);
// Sends WM_DESTROY, kills the window's timers, drops its queued messages and
// destroys its children first. Safe to call on a handle already gone.
BOOL DestroyWindow(HWND Wnd);
BOOL IsWindow(HWND Wnd);
HWND GetParent(HWND Wnd);
// The top-level window above Wnd (Wnd itself when it has no parent).
HWND GetAncestorWindow(HWND Wnd);
void SetWindowProc(HWND Wnd, TWndProc Proc);
LRESULT DefWindowProcA(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
BOOL ShowWindow(HWND Wnd, int CmdShow);
BOOL IsWindowVisible(HWND Wnd);
BOOL IsIconic(HWND Wnd);
BOOL SetWindowTextA(HWND Wnd, const char* Text);
std::string GetWindowTextString(HWND Wnd);
LONG GetWindowLongA(HWND Wnd, int Index);
LONG SetWindowLongA(HWND Wnd, int Index, LONG NewLong);
BOOL MoveWindow(HWND Wnd, int X, int Y, int Width, int Height, BOOL Repaint);
BOOL GetWindowRect(HWND Wnd, RECT* Rect);
BOOL GetClientRect(HWND Wnd, RECT* Rect);
HWND GetActiveWindow();
HWND GetForegroundWindow();
BOOL SetForegroundWindow(HWND Wnd);
constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;
int GetSystemMetrics(int Index);

// ---- Messages ----------------------------------------------------------------
LRESULT SendMessageA(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
BOOL PostMessageA(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
void PostQuitMessage(int ExitCode);
// Takes the next message: posted messages first, then WM_QUIT, then due
// window timers (one WM_TIMER per timer at most). Pumps the backend's events
// before looking. Filters (Wnd, MsgMin, MsgMax) as the platform's.
BOOL PeekMessageA(MSG* Msg, HWND Wnd, UINT MsgMin, UINT MsgMax, UINT RemoveMsg);
// Waits for a message; FALSE for WM_QUIT.
BOOL GetMessageA(MSG* Msg, HWND Wnd, UINT MsgMin, UINT MsgMax);
BOOL TranslateMessage(const MSG* Msg);
LRESULT DispatchMessageA(const MSG* Msg);
// Blocks until a message can be taken (an event, a posted message or a due
// timer).
BOOL WaitMessage();

// ---- Window timers -------------------------------------------------------------
// Timers that fall due together fire in the order they were set.
uintptr_t SetTimer(HWND Wnd, uintptr_t IDEvent, UINT ElapseMs, void* TimerFunc = nullptr);
BOOL KillTimer(HWND Wnd, uintptr_t IDEvent);
// Microseconds on the clock until the next timer is due (0: one is due now;
// UINT64_MAX: none is set).
uint64_t MicrosecondsToNextTimer();

// ---- Message boxes -------------------------------------------------------------
// Shown by the backend; without one it is written to stderr and answers IDOK.
int MessageBoxA(HWND Wnd, const char* Text, const char* Caption, UINT Type);

// ---- Cursor and keyboard ---------------------------------------------------------
int ShowCursor(BOOL Show);
// Hides the pointer while it is over a control whose cursor is none.
void SetPointerHidden(bool Hidden);
BOOL GetCursorPos(POINT* Point);
BOOL SetCursorPos(int X, int Y);
// Bit 15 set while the key is down; bit 0 toggles with each press.
int16_t GetKeyState(int VirtKey);
int16_t GetAsyncKeyState(int VirtKey);
// 256 bytes, bit 7 set for keys that are down.
BOOL GetKeyboardState(BYTE* KeyState);

// Backends report what the user does with these; they keep the key state and
// the cursor position that the calls above read.
void NotifyKeyState(int VirtKey, bool Down);
void NotifyCursorPos(int X, int Y);
// Forgets every key that is down (the program lost the focus).
void ResetKeyboardState();
