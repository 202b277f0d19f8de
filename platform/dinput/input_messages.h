// What a user's keys, typing and mouse become for the programs' windows: the
// key state and cursor position the platform keeps, and the window messages
// posted to the window that has the input. The SDL backend and the headless
// backend both go through here, so a scripted test hands a form exactly what
// a real session does.
#pragma once

#include "platform/win/wintypes.h"

// A key pressed (Repeat: held down and repeating) or released. The key state
// follows even when no window takes it (Wnd null or a key with no code).
// AltHeld makes it a system key, as does the Alt key itself and F10.
void PostKeyInput(HWND Wnd, int SdlScancode, bool Down, bool Repeat, bool AltHeld);

// Typed UTF-8 text as WM_CHAR in code page 1251; characters with no code there
// are dropped.
void PostTextInput(HWND Wnd, const char* Utf8);

// Keys: the MK_ flags of the buttons and modifiers held.
void PostMouseMoveInput(HWND Wnd, int X, int Y, WPARAM Keys);

enum TMouseButtonKind { mbLeftButton, mbRightButton, mbMiddleButton };
void PostMouseButtonInput(HWND Wnd, TMouseButtonKind Button, bool Down, bool Double, int X, int Y,
                          WPARAM Keys);
