#include "platform/dinput/input_messages.h"

#include <cstdint>

#include "platform/dinput/keytable.h"
#include "platform/win/codepage.h"
#include "platform/win/user.h"
#include "platform/win/vkeys.h"

void PostKeyInput(HWND Wnd, int SdlScancode, bool Down, bool Repeat, bool AltHeld) {
  int vk = SdlToVirtualKey(SdlScancode);
  if (int side = SideVirtualKey(SdlScancode))
    NotifyKeyState(side, Down);
  else if (vk)
    NotifyKeyState(vk, Down);
  if (!Wnd || !vk) return;
  bool alt = AltHeld || vk == VK_MENU || vk == VK_F1 + 9;
  UINT msg = Down ? (alt ? WM_SYSKEYDOWN : WM_KEYDOWN) : (alt ? WM_SYSKEYUP : WM_KEYUP);
  LPARAM lp = 1 | (static_cast<LPARAM>(SdlToScanCode(SdlScancode) & 0x7F) << 16);
  if (Repeat) lp |= LPARAM{1} << 30;
  if (!Down) lp |= static_cast<LPARAM>(0xC0000000u);
  PostMessageA(Wnd, msg, static_cast<WPARAM>(vk), lp);
  // The control characters that typing produces besides text.
  if (Down && !alt && (vk == VK_BACK || vk == VK_RETURN || vk == VK_ESCAPE || vk == VK_TAB))
    PostMessageA(Wnd, WM_CHAR, vk == VK_RETURN ? 13 : vk, lp);
}

void PostTextInput(HWND Wnd, const char* Utf8) {
  if (!Wnd || !Utf8) return;
  const auto* p = reinterpret_cast<const unsigned char*>(Utf8);
  while (*p) {
    uint32_t cp;
    int len;
    if (*p < 0x80) {
      cp = *p;
      len = 1;
    } else if ((*p & 0xE0) == 0xC0) {
      cp = *p & 0x1F;
      len = 2;
    } else if ((*p & 0xF0) == 0xE0) {
      cp = *p & 0x0F;
      len = 3;
    } else {
      cp = *p & 0x07;
      len = 4;
    }
    int i = 1;
    for (; i < len && (p[i] & 0xC0) == 0x80; ++i) cp = (cp << 6) | (p[i] & 0x3F);
    p += i;
    if (i < len) continue;
    char ch;
    if (CodeToAnsi(cp, ch) && ch != 0)
      PostMessageA(Wnd, WM_CHAR, static_cast<WPARAM>(static_cast<unsigned char>(ch)), 1);
  }
}

void PostMouseMoveInput(HWND Wnd, int X, int Y, WPARAM Keys) {
  NotifyCursorPos(X, Y);
  if (Wnd) PostMessageA(Wnd, WM_MOUSEMOVE, Keys, MAKELPARAM(X, Y));
}

void PostMouseButtonInput(HWND Wnd, TMouseButtonKind Button, bool Down, bool Double, int X, int Y,
                          WPARAM Keys) {
  NotifyCursorPos(X, Y);
  if (!Wnd) return;
  UINT msg;
  switch (Button) {
    case mbLeftButton:
      msg = Down ? (Double ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN) : WM_LBUTTONUP;
      break;
    case mbRightButton:
      msg = Down ? (Double ? WM_RBUTTONDBLCLK : WM_RBUTTONDOWN) : WM_RBUTTONUP;
      break;
    default:
      msg = Down ? WM_MBUTTONDOWN : WM_MBUTTONUP;
      break;
  }
  // The message tells the buttons as the event left them, whatever the
  // device reads by now: a quick click's release may already be in.
  const WPARAM own = Button == mbLeftButton ? MK_LBUTTON
                     : Button == mbRightButton ? MK_RBUTTON
                                               : MK_MBUTTON;
  Keys = Down ? Keys | own : Keys & ~own;
  PostMessageA(Wnd, msg, Keys, MAKELPARAM(X, Y));
}
