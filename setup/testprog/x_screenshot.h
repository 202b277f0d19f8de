// Windows of an X display: found by title, and captured for a person to look
// at (kept apart from the tests: X's headers define names that clash with
// theirs).
#pragma once

#include <string>

// Writes the window's picture (Window 0: the whole screen) as PNG; false
// when it cannot.
bool XWindowScreenshot(const std::string& Display, unsigned long Window, const std::string& File);

// A top-level window that is shown, where it is on the screen.
struct XTopWindow {
  unsigned long Id = 0;
  int X = 0, Y = 0, Width = 0, Height = 0;
};
// The shown top-level window titled exactly Name; false when there is none.
bool XFindTopWindow(const std::string& Display, const std::string& Name, XTopWindow& Found);
// Whether the server has the core fonts that SDL's message boxes are drawn
// with (Debian's xfonts-base); without them a box cannot show.
bool XHasCoreFonts(const std::string& Display);
