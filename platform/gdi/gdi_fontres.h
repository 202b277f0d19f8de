// Fonts the program brings along: a font file added here is found by name
// like the system's own fonts until it is removed.
#pragma once

#include "platform/win/wintypes.h"

// The number of fonts added from the file (0 when it holds none or cannot be
// read).
int AddFontResourceA(const char* FileName);
BOOL RemoveFontResourceA(const char* FileName);
