// A window of an X display, captured for a person to look at (kept apart
// from the tests: X's headers define names that clash with theirs).
#pragma once

#include <string>

// Writes the window's picture as PNG; false when it cannot.
bool XWindowScreenshot(const std::string& Display, unsigned long Window, const std::string& File);
