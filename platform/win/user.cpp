#include "platform/win/user.h"

#include <array>
#include <cstdlib>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "platform/win/clock.h"
#include "platform/win/codepage.h"
#include "platform/win/driver.h"
#include "platform/win/ipc.h"
#include "platform/win/user_seam.h"
#include "platform/win/vkeys.h"

namespace {

struct TWindow {
  TWindowParams Params;
  TWndProc Proc;
  bool Visible = false;
  bool Iconic = false;
  bool Native = false;
  std::vector<HWND> Children;
};

struct TTimerRec {
  HWND Wnd;
  uintptr_t Id;
  void* Func;
  uint64_t ElapseUs;
  uint64_t DueUs;
  bool Pending;
};

struct TState {
  std::map<uintptr_t, TWindow> Windows;
  uintptr_t NextHandle = 1;
  std::mutex QueueLock;
  std::deque<MSG> Queue;  // guarded by QueueLock
  bool QuitPosted = false;
  int QuitCode = 0;
  std::vector<TTimerRec> Timers;  // in the order they were set
  HWND Active = nullptr;
  std::array<uint8_t, 256> Keys{};
  POINT Cursor{0, 0};
  int CursorCount = 0;
  uintptr_t NextThreadTimer = 0x7FFF0000;
  std::thread::id MainThread = std::this_thread::get_id();
};

// Never destroyed: objects with static lifetime (the default application
// object) still destroy their windows at exit.
TState& S() {
  static TState* s = new TState;
  return *s;
}

uintptr_t Id(HWND h) {
  return reinterpret_cast<uintptr_t>(h);
}
HWND Handle(uintptr_t id) {
  return reinterpret_cast<HWND>(id);
}

TWindow* Find(HWND h) {
  auto it = S().Windows.find(Id(h));
  return it == S().Windows.end() ? nullptr : &it->second;
}

uint64_t NowUs() {
  return ClockSource().Microseconds();
}

uint64_t CeilTick(uint64_t us) {
  return (us + kTimerTickMicroseconds - 1) / kTimerTickMicroseconds * kTimerTickMicroseconds;
}

// Marks the timers that fell due on a tick up to now. As on the original
// platform, a timer's next due time counts from the tick it expired on, and a
// timer that expires again before its message was taken is not queued twice.
void UpdateTimers() {
  uint64_t tick = NowUs() / kTimerTickMicroseconds * kTimerTickMicroseconds;
  for (auto& t : S().Timers) {
    int guard = 0;
    while (t.DueUs <= tick) {
      t.Pending = true;
      uint64_t expired = CeilTick(t.DueUs);
      t.DueUs = expired + t.ElapseUs;
      if (++guard > 64) {  // a long stall: catch up in one step
        t.DueUs = tick + t.ElapseUs;
        break;
      }
    }
  }
}

bool Matches(const MSG& m, HWND Wnd, UINT MsgMin, UINT MsgMax) {
  if (Wnd && m.hwnd != Wnd) return false;
  if (MsgMin == 0 && MsgMax == 0) return true;
  return m.message >= MsgMin && m.message <= MsgMax;
}

bool TakeMessage(MSG* Msg, HWND Wnd, UINT MsgMin, UINT MsgMax, bool Remove) {
  auto& s = S();
  {
    std::lock_guard<std::mutex> lock(s.QueueLock);
    for (auto it = s.Queue.begin(); it != s.Queue.end(); ++it) {
      if (!Matches(*it, Wnd, MsgMin, MsgMax)) continue;
      if (Msg) *Msg = *it;
      if (Remove) s.Queue.erase(it);
      return true;
    }
    if (s.QuitPosted && !Wnd && Matches(MSG{nullptr, WM_QUIT}, nullptr, MsgMin, MsgMax)) {
      if (Msg)
        *Msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(s.QuitCode), 0, timeGetTime(), s.Cursor};
      if (Remove) s.QuitPosted = false;
      return true;
    }
  }
  UpdateTimers();
  for (auto& t : s.Timers) {
    if (!t.Pending) continue;
    MSG m{t.Wnd, WM_TIMER, t.Id, reinterpret_cast<LPARAM>(t.Func), timeGetTime(), s.Cursor};
    if (!Matches(m, Wnd, MsgMin, MsgMax)) continue;
    if (Msg) *Msg = m;
    if (Remove) t.Pending = false;
    return true;
  }
  return false;
}

void DestroyTree(HWND h) {
  TWindow* w = Find(h);
  if (!w) return;
  std::vector<HWND> children = w->Children;
  for (HWND c : children) DestroyTree(c);
  SendMessageA(h, WM_DESTROY, 0, 0);
  w = Find(h);
  if (!w) return;
  auto& s = S();
  std::erase_if(s.Timers, [h](const TTimerRec& t) { return t.Wnd == h; });
  {
    std::lock_guard<std::mutex> lock(s.QueueLock);
    std::erase_if(s.Queue, [h](const MSG& m) { return m.hwnd == h; });
  }
  UnpublishWindow(h);
  if (w->Native) PlatformDriver().DestroyNativeWindow(h);
  if (TWindow* p = Find(w->Params.Parent)) std::erase(p->Children, h);
  if (s.Active == h) s.Active = nullptr;
  s.Windows.erase(Id(h));
}

}  // namespace

// ---- Windows ---------------------------------------------------------------

HWND CreateWindowHandle(const TWindowParams& Params, TWndProc Proc) {
  auto& s = S();
  HWND h = Handle(s.NextHandle++);
  TWindow w;
  w.Params = Params;
  w.Proc = std::move(Proc);
  w.Native = !Params.MessageOnly && !Params.Parent;
  w.Visible = false;
  if (TWindow* p = Find(Params.Parent)) p->Children.push_back(h);
  bool native = w.Native;
  s.Windows.emplace(Id(h), std::move(w));
  if (native) PlatformDriver().CreateNativeWindow(h, Params);
  SendMessageA(h, WM_CREATE, 0, 0);
  if (Params.Style & WS_VISIBLE) ShowWindow(h, SW_SHOW);
  return h;
}

BOOL DestroyWindow(HWND Wnd) {
  if (!Find(Wnd)) return FALSE;
  DestroyTree(Wnd);
  return TRUE;
}

BOOL IsWindow(HWND Wnd) {
  return Find(Wnd) ? TRUE : FALSE;
}

HWND GetParent(HWND Wnd) {
  TWindow* w = Find(Wnd);
  return w ? w->Params.Parent : nullptr;
}

HWND GetAncestorWindow(HWND Wnd) {
  HWND h = Wnd;
  for (int depth = 0; depth < 1000; ++depth) {
    HWND p = GetParent(h);
    if (!p) return Find(h) ? h : nullptr;
    h = p;
  }
  return nullptr;
}

void SetWindowProc(HWND Wnd, TWndProc Proc) {
  if (TWindow* w = Find(Wnd)) w->Proc = std::move(Proc);
}

LRESULT DefWindowProcA(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  switch (Msg) {
    case WM_CLOSE:
      DestroyWindow(Wnd);
      return 0;
    case WM_SYSCOMMAND:
      switch (WParam & 0xFFF0) {
        case SC_MINIMIZE:
          ShowWindow(Wnd, SW_MINIMIZE);
          return 0;
        case SC_RESTORE:
          ShowWindow(Wnd, SW_RESTORE);
          return 0;
        case SC_CLOSE:
          SendMessageA(Wnd, WM_CLOSE, 0, 0);
          return 0;
      }
      return 0;
    case WM_SYSKEYDOWN:
      // Alt+F4 asks the top-level window to close.
      if (WParam == VK_F4) SendMessageA(GetAncestorWindow(Wnd), WM_SYSCOMMAND, SC_CLOSE, 0);
      return 0;
    default:
      return 0;
  }
}

BOOL ShowWindow(HWND Wnd, int CmdShow) {
  TWindow* w = Find(Wnd);
  if (!w) return FALSE;
  BOOL was = w->Visible ? TRUE : FALSE;
  bool visible = CmdShow != SW_HIDE;
  bool changed = visible != w->Visible;
  w->Visible = visible;
  if (CmdShow == SW_MINIMIZE || CmdShow == SW_SHOWMINIMIZED) w->Iconic = true;
  if (CmdShow == SW_RESTORE || CmdShow == SW_SHOWNORMAL || CmdShow == SW_SHOWMAXIMIZED)
    w->Iconic = false;
  if (w->Native) PlatformDriver().ShowNativeWindow(Wnd, CmdShow);
  if (changed) SendMessageA(Wnd, WM_SHOWWINDOW, visible ? 1 : 0, 0);
  return was;
}

BOOL IsWindowVisible(HWND Wnd) {
  TWindow* w = Find(Wnd);
  return w && w->Visible ? TRUE : FALSE;
}

BOOL IsIconic(HWND Wnd) {
  TWindow* w = Find(Wnd);
  return w && w->Iconic ? TRUE : FALSE;
}

BOOL SetWindowTextA(HWND Wnd, const char* Text) {
  TWindow* w = Find(Wnd);
  if (!w) return FALSE;
  w->Params.Caption = Text ? Text : "";
  if (w->Native) PlatformDriver().SetNativeWindowText(Wnd, w->Params.Caption);
  return TRUE;
}

std::string GetWindowTextString(HWND Wnd) {
  TWindow* w = Find(Wnd);
  return w ? w->Params.Caption : std::string();
}

LONG GetWindowLongA(HWND Wnd, int Index) {
  TWindow* w = Find(Wnd);
  if (!w) return 0;
  if (Index == GWL_STYLE) return static_cast<LONG>(w->Params.Style);
  if (Index == GWL_EXSTYLE) return static_cast<LONG>(w->Params.ExStyle);
  return 0;
}

LONG SetWindowLongA(HWND Wnd, int Index, LONG NewLong) {
  TWindow* w = Find(Wnd);
  if (!w) return 0;
  DWORD* field = Index == GWL_STYLE     ? &w->Params.Style
                 : Index == GWL_EXSTYLE ? &w->Params.ExStyle
                                        : nullptr;
  if (!field) return 0;
  LONG old = static_cast<LONG>(*field);
  *field = static_cast<DWORD>(NewLong);
  if (w->Native) PlatformDriver().SetNativeWindowStyle(Wnd, w->Params.Style, w->Params.ExStyle);
  return old;
}

BOOL MoveWindow(HWND Wnd, int X, int Y, int Width, int Height, BOOL) {
  TWindow* w = Find(Wnd);
  if (!w) return FALSE;
  bool resized = w->Params.Width != Width || w->Params.Height != Height;
  w->Params.X = X;
  w->Params.Y = Y;
  w->Params.Width = Width;
  w->Params.Height = Height;
  if (w->Native) PlatformDriver().SetNativeWindowBounds(Wnd, X, Y, Width, Height);
  if (resized) SendMessageA(Wnd, WM_SIZE, 0, MAKELPARAM(Width, Height));
  return TRUE;
}

BOOL GetWindowRect(HWND Wnd, RECT* Rect) {
  TWindow* w = Find(Wnd);
  if (!w || !Rect) return FALSE;
  *Rect =
      RECT{w->Params.X, w->Params.Y, w->Params.X + w->Params.Width, w->Params.Y + w->Params.Height};
  return TRUE;
}

BOOL GetClientRect(HWND Wnd, RECT* Rect) {
  TWindow* w = Find(Wnd);
  if (!w || !Rect) return FALSE;
  *Rect = RECT{0, 0, w->Params.Width, w->Params.Height};
  return TRUE;
}

HWND GetActiveWindow() {
  return S().Active;
}
HWND GetForegroundWindow() {
  return S().Active;
}

BOOL SetForegroundWindow(HWND Wnd) {
  if (!Find(Wnd)) return FALSE;
  HWND top = GetAncestorWindow(Wnd);
  HWND previous = S().Active;
  if (previous == top) return TRUE;
  S().Active = top;
  // Both windows hear of the change, as they do when the user switches: a
  // form learns it is active (and may draw) without waiting for the system.
  if (previous && Find(previous))
    SendMessageA(previous, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(top));
  SendMessageA(top, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(previous));
  return TRUE;
}

int GetSystemMetrics(int Index) {
  int w = 0, h = 0;
  PlatformDriver().DesktopSize(w, h);
  return Index == SM_CXSCREEN ? w : Index == SM_CYSCREEN ? h : 0;
}

// ---- Messages ----------------------------------------------------------------

LRESULT SendMessageA(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  TWindow* w = Find(Wnd);
  if (!w || !w->Proc) return 0;
  // A copy: the procedure may replace itself or destroy the window.
  TWndProc proc = w->Proc;
  if (Msg == WM_ACTIVATE && LOWORD(WParam) != WA_INACTIVE) S().Active = GetAncestorWindow(Wnd);
  return proc(Wnd, Msg, WParam, LParam);
}

BOOL PostMessageA(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (IsRemoteWindow(Wnd)) return PostRemoteMessage(Wnd, Msg, WParam, LParam);
  auto& s = S();
  bool other_thread = std::this_thread::get_id() != s.MainThread;
  {
    std::lock_guard<std::mutex> lock(s.QueueLock);
    s.Queue.push_back(MSG{Wnd, Msg, WParam, LParam, other_thread ? 0u : timeGetTime(), s.Cursor});
  }
  if (other_thread) PlatformDriver().Wake();
  return TRUE;
}

void PostQuitMessage(int ExitCode) {
  auto& s = S();
  std::lock_guard<std::mutex> lock(s.QueueLock);
  s.QuitPosted = true;
  s.QuitCode = ExitCode;
}

BOOL PeekMessageA(MSG* Msg, HWND Wnd, UINT MsgMin, UINT MsgMax, UINT RemoveMsg) {
  PlatformDriver().PumpEvents();
  return TakeMessage(Msg, Wnd, MsgMin, MsgMax, (RemoveMsg & PM_REMOVE) != 0) ? TRUE : FALSE;
}

BOOL GetMessageA(MSG* Msg, HWND Wnd, UINT MsgMin, UINT MsgMax) {
  MSG m;
  while (!PeekMessageA(&m, Wnd, MsgMin, MsgMax, PM_REMOVE)) WaitMessage();
  if (Msg) *Msg = m;
  return m.message == WM_QUIT ? FALSE : TRUE;
}

BOOL TranslateMessage(const MSG*) {
  return FALSE;
}

LRESULT DispatchMessageA(const MSG* Msg) {
  if (!Msg) return 0;
  if (Msg->message == WM_TIMER && Msg->lParam) {
    auto fn = reinterpret_cast<void (*)(HWND, UINT, uintptr_t, DWORD)>(Msg->lParam);
    fn(Msg->hwnd, WM_TIMER, Msg->wParam, Msg->time);
    return 0;
  }
  return SendMessageA(Msg->hwnd, Msg->message, Msg->wParam, Msg->lParam);
}

BOOL WaitMessage() {
  PlatformDriver().PumpEvents();
  if (TakeMessage(nullptr, nullptr, 0, 0, false)) return TRUE;
  PlatformDriver().WaitEvents(MicrosecondsToNextTimer());
  return TRUE;
}

// ---- Window timers -------------------------------------------------------------

uintptr_t SetTimer(HWND Wnd, uintptr_t IDEvent, UINT ElapseMs, void* TimerFunc) {
  auto& s = S();
  if (Wnd && !Find(Wnd)) return 0;
  // The platform's floor for a timer's period.
  uint64_t elapse = uint64_t{ElapseMs < 10 ? 10u : ElapseMs} * 1000;
  uint64_t due = NowUs() + elapse;
  for (auto& t : s.Timers) {
    if (t.Wnd == Wnd && t.Id == IDEvent) {
      t.ElapseUs = elapse;
      t.DueUs = due;
      t.Func = TimerFunc;
      t.Pending = false;
      return Wnd ? 1 : IDEvent;
    }
  }
  // A timer without a window gets an identifier of its own, as the caller
  // cannot choose one.
  if (!Wnd) IDEvent = s.NextThreadTimer++;
  s.Timers.push_back(TTimerRec{Wnd, IDEvent, TimerFunc, elapse, due, false});
  return Wnd ? 1 : IDEvent;
}

BOOL KillTimer(HWND Wnd, uintptr_t IDEvent) {
  auto n = std::erase_if(S().Timers,
                         [&](const TTimerRec& t) { return t.Wnd == Wnd && t.Id == IDEvent; });
  return n ? TRUE : FALSE;
}

uint64_t MicrosecondsToNextTimer() {
  UpdateTimers();
  uint64_t now = NowUs();
  uint64_t best = UINT64_MAX;
  for (const auto& t : S().Timers) {
    if (t.Pending) return 0;
    // It is seen on the first tick at or after its due time.
    uint64_t at = CeilTick(t.DueUs);
    uint64_t wait = at > now ? at - now : 0;
    if (wait < best) best = wait;
  }
  return best;
}

// ---- Message boxes -------------------------------------------------------------

int MessageBoxA(HWND Wnd, const char* Text, const char* Caption, UINT Type) {
  return PlatformDriver().MessageBox(Wnd, Text ? Text : "", Caption ? Caption : "Error", Type);
}

namespace {
std::mutex RecordedBoxesLock;
std::vector<TRecordedMessageBox>& RecordedBoxes() {
  static auto* boxes = new std::vector<TRecordedMessageBox>;
  return *boxes;
}
}  // namespace

bool MessageBoxesRecorded() {
  const char* v = std::getenv(kMessageBoxesVariable);
  return v && std::string_view(v) == kMessageBoxesRecorded;
}

int RecordMessageBox(const std::string& Text, const std::string& Caption, UINT Type) {
  // As a shown box would be written: in UTF-8, so a test reading a started
  // program's output sees the game's Russian messages as they are.
  std::fprintf(stderr, "[%s] %s\n", AnsiToUtf8(Caption).c_str(), AnsiToUtf8(Text).c_str());
  return KeepMessageBox(Text, Caption, Type);
}

int KeepMessageBox(const std::string& Text, const std::string& Caption, UINT Type) {
  {
    std::lock_guard<std::mutex> lock(RecordedBoxesLock);
    RecordedBoxes().push_back({Caption, Text, Type});
  }
  return DefaultMessageBoxAnswer(Type);
}

std::vector<TRecordedMessageBox> TakeRecordedMessageBoxes() {
  std::lock_guard<std::mutex> lock(RecordedBoxesLock);
  return std::exchange(RecordedBoxes(), {});
}

int DefaultMessageBoxAnswer(UINT Type) {
  const UINT kind = Type & MB_TYPEMASK;
  return kind == MB_YESNO || kind == MB_YESNOCANCEL ? IDYES : IDOK;
}

// ---- Cursor and keyboard ---------------------------------------------------------

namespace {
// The pointer shows while the display count is not negative and the window
// under it does not ask for no pointer.
bool PointerHidden = false;
bool PointerShown() { return S().CursorCount >= 0 && !PointerHidden; }
}  // namespace

int ShowCursor(BOOL Show) {
  auto& s = S();
  bool before = PointerShown();
  s.CursorCount += Show ? 1 : -1;
  if (before != PointerShown()) PlatformDriver().SetCursorVisible(PointerShown());
  return s.CursorCount;
}

void SetPointerHidden(bool Hidden) {
  bool before = PointerShown();
  PointerHidden = Hidden;
  if (before != PointerShown()) PlatformDriver().SetCursorVisible(PointerShown());
}

BOOL GetCursorPos(POINT* Point) {
  if (!Point) return FALSE;
  *Point = S().Cursor;
  return TRUE;
}

BOOL SetCursorPos(int X, int Y) {
  S().Cursor = POINT{X, Y};
  PlatformDriver().WarpCursor(S().Active, X, Y);
  return TRUE;
}

int16_t GetKeyState(int VirtKey) {
  if (VirtKey < 0 || VirtKey > 255) return 0;
  uint8_t k = S().Keys[static_cast<size_t>(VirtKey)];
  return static_cast<int16_t>(((k & 0x80) ? 0x8000 : 0) | (k & 1));
}

int16_t GetAsyncKeyState(int VirtKey) {
  return static_cast<int16_t>(GetKeyState(VirtKey) & 0x8000);
}

BOOL GetKeyboardState(BYTE* KeyState) {
  if (!KeyState) return FALSE;
  for (size_t i = 0; i < 256; ++i) KeyState[i] = S().Keys[i];
  return TRUE;
}

void NotifyKeyState(int VirtKey, bool Down) {
  if (VirtKey < 0 || VirtKey > 255) return;
  uint8_t& k = S().Keys[static_cast<size_t>(VirtKey)];
  if (Down && !(k & 0x80)) k ^= 1;
  k = static_cast<uint8_t>(Down ? (k | 0x80) : (k & ~0x80));
  // The generic shift keys follow their sides.
  auto both = [](int l, int r, int g) {
    auto& keys = S().Keys;
    bool down = (keys[static_cast<size_t>(l)] | keys[static_cast<size_t>(r)]) & 0x80;
    keys[static_cast<size_t>(g)] =
        static_cast<uint8_t>((keys[static_cast<size_t>(g)] & 1) | (down ? 0x80 : 0));
  };
  if (VirtKey == VK_LSHIFT || VirtKey == VK_RSHIFT) both(VK_LSHIFT, VK_RSHIFT, VK_SHIFT);
  if (VirtKey == VK_LCONTROL || VirtKey == VK_RCONTROL) both(VK_LCONTROL, VK_RCONTROL, VK_CONTROL);
  if (VirtKey == VK_LMENU || VirtKey == VK_RMENU) both(VK_LMENU, VK_RMENU, VK_MENU);
}

void NotifyCursorPos(int X, int Y) {
  S().Cursor = POINT{X, Y};
}

void ResetKeyboardState() {
  for (auto& k : S().Keys) k &= 1;
}
