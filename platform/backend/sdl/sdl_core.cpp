#include "platform/backend/sdl/sdl_core.h"

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/backend/sdl/sdl_ending.h"
#include "platform/backend/sdl/sdl_input.h"
#include "platform/backend/sdl/sdl_paint.h"
#include "platform/dinput/input_messages.h"
#include "platform/dinput/keytable.h"
#include "platform/win/clock.h"
#include "platform/win/codepage.h"
#include "platform/win/driver.h"
#include "platform/win/user.h"
#include "platform/win/user_seam.h"
#include "platform/win/vkeys.h"

namespace {

struct TListener {
  int Id;
  TSdlEventListener Fn;
  bool Removed = false;
};

struct TSdlState {
  bool Installed = false;
  Uint32 WakeEvent = 0;
  std::map<HWND, SDL_Window*> Windows;  // top-level windows, oldest first by handle
  std::vector<std::shared_ptr<TListener>> Listeners;
  int NextListener = 1;
};

TSdlState& St() {
  static auto* s = new TSdlState;
  return *s;
}

HWND HandleOf(Uint32 WindowId) {
  SDL_Window* w = SDL_GetWindowFromID(WindowId);
  for (const auto& [h, win] : St().Windows)
    if (win == w) return h;
  return nullptr;
}

HWND MainHandle() {
  return St().Windows.empty() ? nullptr : St().Windows.begin()->first;
}

WPARAM MouseKeys() {
  Uint32 b = SDL_GetMouseState(nullptr, nullptr);
  SDL_Keymod m = SDL_GetModState();
  WPARAM k = 0;
  if (b & SDL_BUTTON_LMASK) k |= MK_LBUTTON;
  if (b & SDL_BUTTON_RMASK) k |= MK_RBUTTON;
  if (b & SDL_BUTTON_MMASK) k |= MK_MBUTTON;
  if (m & KMOD_SHIFT) k |= MK_SHIFT;
  if (m & KMOD_CTRL) k |= MK_CONTROL;
  return k;
}

void Translate(const SDL_Event& e) {
  switch (e.type) {
    case SDL_QUIT:
      // The last window's close box, or the desktop asking the program to
      // quit (signals are the programs' own): ask the main window to close.
      if (HWND h = MainHandle())
        PostMessageA(h, WM_CLOSE, 0, 0);
      else
        PostQuitMessage(0);
      return;
    case SDL_WINDOWEVENT: {
      HWND h = HandleOf(e.window.windowID);
      if (!h) return;
      switch (e.window.event) {
        case SDL_WINDOWEVENT_CLOSE:
          PostMessageA(h, WM_CLOSE, 0, 0);
          return;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
          PostMessageA(h, WM_ACTIVATE, WA_ACTIVE, 0);
          PostMessageA(h, WM_ACTIVATEAPP, 1, 0);
          return;
        case SDL_WINDOWEVENT_FOCUS_LOST:
          ResetKeyboardState();
          PostMessageA(h, WM_ACTIVATE, WA_INACTIVE, 0);
          PostMessageA(h, WM_ACTIVATEAPP, 0, 0);
          return;
        case SDL_WINDOWEVENT_EXPOSED:
          PostMessageA(h, WM_PAINT, 0, 0);
          return;
        case SDL_WINDOWEVENT_MINIMIZED:
          // The window manager's minimise reaches the form as the system's
          // would, so a game in play can pause itself.
          PostMessageA(h, WM_SYSCOMMAND, SC_MINIMIZE, 0);
          return;
        default:
          return;
      }
    }
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      HWND h = HandleOf(e.key.windowID);
      if (!h) h = MainHandle();
      PostKeyInput(h, e.key.keysym.scancode, e.type == SDL_KEYDOWN, e.key.repeat != 0,
                   (SDL_GetModState() & KMOD_ALT) != 0);
      return;
    }
    case SDL_TEXTINPUT: {
      HWND h = HandleOf(e.text.windowID);
      if (!h) h = MainHandle();
      PostTextInput(h, e.text.text);
      return;
    }
    case SDL_MOUSEMOTION: {
      HWND h = HandleOf(e.motion.windowID);
      // A pointer on the bars beside the picture stays on its edge, so the
      // ship never leaves the screen on a desktop of another shape.
      int32_t x = e.motion.x, y = e.motion.y;
      SdlClampToPicture(SDL_GetWindowFromID(e.motion.windowID), x, y);
      PostMouseMoveInput(h, x, y, MouseKeys());
      return;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      HWND h = HandleOf(e.button.windowID);
      if (!h) return;
      bool down = e.type == SDL_MOUSEBUTTONDOWN;
      bool dbl = down && e.button.clicks == 2;
      TMouseButtonKind button;
      switch (e.button.button) {
        case SDL_BUTTON_LEFT:
          button = mbLeftButton;
          break;
        case SDL_BUTTON_RIGHT:
          button = mbRightButton;
          break;
        case SDL_BUTTON_MIDDLE:
          button = mbMiddleButton;
          break;
        default:
          return;
      }
      int32_t x = e.button.x, y = e.button.y;
      SdlClampToPicture(SDL_GetWindowFromID(e.button.windowID), x, y);
      // The flags tell the state after this event, whether or not SDL's own
      // record has caught up with it (an event put on the queue has not).
      static constexpr WPARAM flags[] = {MK_LBUTTON, MK_RBUTTON, MK_MBUTTON};
      WPARAM keys = MouseKeys();
      keys = down ? keys | flags[button] : keys & ~flags[button];
      PostMouseButtonInput(h, button, down, dbl, x, y, keys);
      return;
    }
    case SDL_MOUSEWHEEL: {
      HWND h = HandleOf(e.wheel.windowID);
      if (!h) return;
      int delta = e.wheel.y * 120;
      POINT pt;
      GetCursorPos(&pt);
      PostMessageA(h, WM_MOUSEWHEEL,
                   MouseKeys() | (static_cast<WPARAM>(static_cast<uint16_t>(delta)) << 16),
                   MAKELPARAM(pt.x, pt.y));
      return;
    }
    default:
      return;
  }
}

void Handle(const SDL_Event& e) {
  auto& s = St();
  if (s.WakeEvent && e.type == s.WakeEvent) return;
  auto snapshot = s.Listeners;
  for (const auto& l : snapshot)
    if (!l->Removed) l->Fn(e);
  Translate(e);
}

class TSdlDriver : public TPlatformDriver {
 public:
  const char* Name() const override { return "sdl"; }

  void PumpEvents() override {
    SDL_Event e;
    while (SDL_PollEvent(&e)) Handle(e);
    // Told from outside to end: the loop ends, with no question asked. The
    // main window is not closed, since its close may ask (the setup's asks
    // whether to save), and nothing the user did not confirm is saved: the
    // game keeps its options and records at the player's own leaving, and the
    // setup its options at "Save"; what each keeps as it goes is already on
    // disk.
    if (SdlTakeEndSignal()) PostQuitMessage(0);
  }

  void WaitEvents(uint64_t TimeoutUs) override {
    // Bounded, so a message posted without a wake-up is never stuck long.
    uint64_t ms = TimeoutUs == UINT64_MAX ? 100 : (TimeoutUs + 999) / 1000;
    if (ms > 100) ms = 100;
    SDL_Event e;
    if (ms == 0) return;
    if (SDL_WaitEventTimeout(&e, static_cast<int>(ms))) Handle(e);
  }

  void Wake() override {
    if (!St().WakeEvent) return;
    SDL_Event e{};
    e.type = St().WakeEvent;
    SDL_PushEvent(&e);
  }

  void CreateNativeWindow(HWND Wnd, const TWindowParams& P) override {
    Uint32 flags = SDL_WINDOW_HIDDEN | SDL_WINDOW_ALLOW_HIGHDPI;
    if ((P.Style & WS_POPUP) || !(P.Style & WS_CAPTION)) flags |= SDL_WINDOW_BORDERLESS;
    if (P.Style & WS_THICKFRAME) flags |= SDL_WINDOW_RESIZABLE;
    int w = P.Width > 0 ? P.Width : 640, h = P.Height > 0 ? P.Height : 480;
    SDL_Window* win = SDL_CreateWindow(P.Caption.c_str(), P.X, P.Y, w, h, flags);
    if (!win) {
      std::fprintf(stderr, "Cannot create a window: %s\n", SDL_GetError());
      return;
    }
    St().Windows[Wnd] = win;
  }

  void DestroyNativeWindow(HWND Wnd) override {
    auto it = St().Windows.find(Wnd);
    if (it == St().Windows.end()) return;
    SDL_DestroyWindow(it->second);
    St().Windows.erase(it);
  }

  void ShowNativeWindow(HWND Wnd, int Cmd) override {
    SDL_Window* w = Window(Wnd);
    if (!w) return;
    switch (Cmd) {
      case SW_HIDE:
        SDL_HideWindow(w);
        break;
      case SW_MINIMIZE:
      case SW_SHOWMINIMIZED:
        SDL_MinimizeWindow(w);
        break;
      case SW_SHOWMAXIMIZED:
        SDL_ShowWindow(w);
        SDL_MaximizeWindow(w);
        break;
      case SW_RESTORE:
        SDL_RestoreWindow(w);
        SDL_ShowWindow(w);
        break;
      default:
        SDL_ShowWindow(w);
        SDL_RaiseWindow(w);
        break;
    }
  }

  void SetNativeWindowText(HWND Wnd, const std::string& Text) override {
    if (SDL_Window* w = Window(Wnd)) SDL_SetWindowTitle(w, AnsiToUtf8(Text).c_str());
  }

  void SetNativeWindowBounds(HWND Wnd, int X, int Y, int Width, int Height) override {
    if (SDL_Window* w = Window(Wnd)) {
      SDL_SetWindowPosition(w, X, Y);
      if (Width > 0 && Height > 0) SDL_SetWindowSize(w, Width, Height);
    }
  }

  void SetNativeWindowStyle(HWND Wnd, DWORD Style, DWORD) override {
    if (SDL_Window* w = Window(Wnd))
      SDL_SetWindowBordered(w, (Style & WS_POPUP) || !(Style & WS_CAPTION) ? SDL_FALSE : SDL_TRUE);
  }

  void DesktopSize(int& Width, int& Height) override { SdlDesktopSize(Width, Height); }

  void PresentWindow(HWND Wnd, const uint32_t* Pixels, int W, int H) override {
    SdlPresentWindowPixels(Window(Wnd), Pixels, W, H);
  }

  void SetCursorVisible(bool Visible) override {
    SDL_ShowCursor(Visible ? SDL_ENABLE : SDL_DISABLE);
  }

  void WarpCursor(HWND Wnd, int X, int Y) override {
    SDL_Window* w = SdlWindowOf(Wnd);
    if (!w) w = SdlMainWindow();
    if (w) SDL_WarpMouseInWindow(w, X, Y);
  }

  int MessageBox(HWND Wnd, const std::string& Text, const std::string& Caption,
                 UINT Type) override {
    if (MessageBoxesRecorded()) return RecordMessageBox(Text, Caption, Type);
    const std::string title = AnsiToUtf8(Caption), message = AnsiToUtf8(Text);
    std::fprintf(stderr, "[%s] %s\n", title.c_str(), message.c_str());
    // A program that is ending asks nobody anything.
    if (SdlEndSignalled()) return DefaultMessageBoxAnswer(Type);
    // SDL's own box neither wraps a long line nor keeps one on the screen.
    const std::string shown = WrapMessageBoxText(message, kMessageBoxColumns, kMessageBoxLines);
    UINT kind = Type & MB_TYPEMASK;
    std::vector<SDL_MessageBoxButtonData> buttons;
    auto add = [&](int id, const char* text, Uint32 flags) {
      buttons.push_back({flags, id, text});
    };
    switch (kind) {
      case MB_OKCANCEL:
        add(IDOK, "OK", SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT);
        add(IDCANCEL, "Cancel", SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT);
        break;
      case MB_YESNO:
        add(IDYES, "Yes", SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT);
        add(IDNO, "No", SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT);
        break;
      case MB_YESNOCANCEL:
        add(IDYES, "Yes", SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT);
        add(IDNO, "No", 0);
        add(IDCANCEL, "Cancel", SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT);
        break;
      default:
        add(IDOK, "OK",
            SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT);
        break;
    }
    Uint32 icon = (Type & 0xF0) == MB_ICONERROR     ? SDL_MESSAGEBOX_ERROR
                  : (Type & 0xF0) == MB_ICONWARNING ? SDL_MESSAGEBOX_WARNING
                                                    : SDL_MESSAGEBOX_INFORMATION;
    SDL_MessageBoxData data{};
    data.flags = icon;
    // No owner: SDL places a box over its owner from the owner's offset
    // counted twice, which puts it off centre and, for a window away from
    // the corner, partly off the screen. Without one it centres the box on
    // the screen, where the game's full-screen window and the setup's
    // centred dialog both are.
    data.window = nullptr;
    data.title = title.c_str();
    data.message = shown.c_str();
    data.numbuttons = static_cast<int>(buttons.size());
    data.buttons = buttons.data();
    int pressed = buttons.front().buttonid;
    SdlBoxShowing(true);
    if (SDL_ShowMessageBox(&data, &pressed) != 0 || pressed < 0) pressed = buttons.front().buttonid;
    SdlBoxShowing(false);
    return pressed;
  }

 private:
  static SDL_Window* Window(HWND Wnd) {
    auto it = St().Windows.find(Wnd);
    return it == St().Windows.end() ? nullptr : it->second;
  }
};

}  // namespace

std::string WrapMessageBoxText(const std::string& Utf8, int Columns, int MaxLines) {
  // Characters are counted, not bytes: the game's messages are Russian.
  auto chars = [](std::string_view s) {
    int n = 0;
    for (unsigned char c : s) n += (c & 0xC0) != 0x80;
    return n;
  };
  // The byte length of the first Count characters of s.
  auto prefix = [](std::string_view s, int Count) {
    size_t i = 0;
    for (int n = 0; i < s.size(); ++i) {
      if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80 && n++ == Count) break;
    }
    return i;
  };
  std::vector<std::string> lines;
  std::string_view text = Utf8;
  while (true) {
    const size_t end = text.find('\n');
    std::string_view para = text.substr(0, end);
    std::string line;
    while (!para.empty()) {
      const size_t space = para.find(' ');
      std::string_view word = para.substr(0, space);
      para = space == std::string_view::npos ? std::string_view() : para.substr(space + 1);
      // A word longer than a line (a path) is cut where the line ends.
      while (chars(word) > Columns) {
        if (!line.empty()) lines.push_back(std::exchange(line, {}));
        const size_t cut = prefix(word, Columns);
        lines.emplace_back(word.substr(0, cut));
        word.remove_prefix(cut);
      }
      if (word.empty()) continue;
      if (!line.empty() && chars(line) + 1 + chars(word) > Columns)
        lines.push_back(std::exchange(line, {}));
      if (!line.empty()) line += ' ';
      line += word;
    }
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  if (static_cast<int>(lines.size()) > MaxLines) {
    lines.resize(static_cast<size_t>(MaxLines));
    lines.back() += " ...";
  }
  std::string out;
  for (size_t i = 0; i < lines.size(); ++i) out += (i ? "\n" : "") + lines[i];
  return out;
}

bool SdlInstall() {
  auto& s = St();
  if (s.Installed) return true;
  // SDL would turn SIGINT and SIGTERM into a quit event, which reaches the
  // main window as a close; the programs say what these signals do
  // themselves (SdlInstallEndSignals), and tests keep their defaults.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
    std::fprintf(stderr, "Cannot start SDL: %s\n", SDL_GetError());
    return false;
  }
  SdlInstallDisplayLoss();
  s.WakeEvent = SDL_RegisterEvents(1);
  if (s.WakeEvent == static_cast<Uint32>(-1)) s.WakeEvent = 0;
  SDL_StartTextInput();
  SetClockSource(nullptr);
  SetPlatformDriver(std::make_unique<TSdlDriver>());
  s.Installed = true;
  return true;
}

void SdlUninstall() {
  auto& s = St();
  if (!s.Installed) return;
  SetPlatformDriver(nullptr);
  for (auto& [h, w] : s.Windows) SDL_DestroyWindow(w);
  s.Windows.clear();
  // Everything of SDL goes here, the areas' subsystems included: the programs
  // uninstall the core last.
  SDL_Quit();
  s.Installed = false;
}

bool SdlInstalled() {
  return St().Installed;
}

int SdlAddEventListener(TSdlEventListener Listener) {
  auto& s = St();
  auto l = std::make_shared<TListener>(TListener{s.NextListener++, std::move(Listener)});
  s.Listeners.push_back(l);
  return l->Id;
}

void SdlRemoveEventListener(int Id) {
  auto& ls = St().Listeners;
  for (auto it = ls.begin(); it != ls.end(); ++it) {
    if ((*it)->Id == Id) {
      (*it)->Removed = true;
      ls.erase(it);
      return;
    }
  }
}

SDL_Window* SdlWindowOf(HWND Wnd) {
  HWND top = GetAncestorWindow(Wnd);
  auto it = St().Windows.find(top);
  return it == St().Windows.end() ? nullptr : it->second;
}

SDL_Window* SdlMainWindow() {
  return St().Windows.empty() ? nullptr : St().Windows.begin()->second;
}

void SdlDesktopSize(int& Width, int& Height) {
  int display = 0;
  if (SDL_Window* w = SdlMainWindow()) {
    int d = SDL_GetWindowDisplayIndex(w);
    if (d >= 0) display = d;
  }
  SDL_DisplayMode mode;
  if (SDL_GetDesktopDisplayMode(display, &mode) == 0) {
    Width = mode.w;
    Height = mode.h;
  } else {
    Width = 800;
    Height = 600;
  }
}
