// Windows' painted client areas in headless runs: the last picture each
// top-level window presented is kept for the test to look at.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/win/wintypes.h"

struct THeadlessPicture {
  int Width = 0, Height = 0;
  std::vector<uint32_t> Pixels;  // 0x00RRGGBB, top row first
  int Presented = 0;             // how many times the window presented
  uint32_t Pixel(int X, int Y) const {
    if (X < 0 || Y < 0 || X >= Width || Y >= Height) return 0;
    return Pixels[static_cast<size_t>(Y) * static_cast<size_t>(Width) + static_cast<size_t>(X)];
  }
};

void HeadlessKeepWindowPicture(HWND Wnd, const uint32_t* Pixels, int Width, int Height);
// The window's last picture (empty when it never presented one).
const THeadlessPicture& HeadlessWindowPicture(HWND Wnd);
void HeadlessClearWindowPictures();
