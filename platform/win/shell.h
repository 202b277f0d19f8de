// The desktop shell: opening a document with the program the desktop
// associates with it.
#pragma once

#include <cstdint>

#include "platform/win/wintypes.h"

// "open" starts the desktop's opener on File (xdg-open, with File as its one
// argument, no shell in between) and returns at once without waiting for it.
// Other verbs, Parameters and Directory are not offered. Returns a value
// above 32 on success, as the original call does.
intptr_t ShellExecuteA(HWND Wnd, const char* Operation, const char* File, const char* Parameters,
                       const char* Directory, int ShowCmd);
