// The core of the SDL backend: the native windows of top-level forms, the
// event pump that turns SDL events into window messages, message boxes and
// the real clock. Other areas (display, sound, input) see the raw events
// through listeners.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <functional>
#include <string>

#include "platform/win/wintypes.h"

// Initialises SDL's video and events and installs the SDL driver and the
// real clock. Returns false (with the reason on stderr) when SDL cannot
// start. The programs call it first thing.
bool SdlInstall();
// Closes the windows and SDL.
void SdlUninstall();
bool SdlInstalled();

// Every SDL event, before it becomes a window message. Listeners run on the
// window thread from the message loop; one may remove itself while called.
using TSdlEventListener = std::function<void(const SDL_Event& Event)>;
int SdlAddEventListener(TSdlEventListener Listener);
void SdlRemoveEventListener(int Id);

// The native window of Wnd's top-level window, or nullptr.
SDL_Window* SdlWindowOf(HWND Wnd);
// The window of the first top-level form still open (the main form).
SDL_Window* SdlMainWindow();
// The desktop size of the display the main window is on (or display 0).
void SdlDesktopSize(int& Width, int& Height);

// A message box's text as the SDL box shows it: lines broken between words
// at Columns characters (a longer word is cut), at most MaxLines of them.
inline constexpr int kMessageBoxColumns = 60;
inline constexpr int kMessageBoxLines = 24;
std::string WrapMessageBoxText(const std::string& Utf8, int Columns, int MaxLines);
