// Update regions of windows. Invalidating part of a window marks its
// top-level window for painting and posts it one WM_PAINT; the window paints
// when it takes that message and asks for (and clears) what was invalidated.
#pragma once

#include "platform/win/wintypes.h"

// Rect in Wnd's client coordinates; nullptr = the whole window. Erase asks
// for the background to be painted again too.
BOOL InvalidateRect(HWND Wnd, const RECT* Rect, BOOL Erase);
// The union of what was invalidated on the top-level window Wnd since its
// last paint, and whether any of it asked for erasing; clears it. FALSE when
// nothing was invalidated.
BOOL TakeUpdateRect(HWND Wnd, RECT* Rect, BOOL* Erase);
BOOL GetUpdateRect(HWND Wnd, RECT* Rect);
// Forgets what was invalidated (the window painted anyway).
void ValidateWindow(HWND Wnd);
// Sends WM_PAINT at once when the window has something to paint.
BOOL UpdateWindow(HWND Wnd);
// Client-area origin of Wnd inside its top-level window.
POINT ClientOriginInTopLevel(HWND Wnd);
