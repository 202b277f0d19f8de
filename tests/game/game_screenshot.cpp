#include "tests/game/game_screenshot.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

bool GrabXScreen(const std::string& DisplayName, int& Width, int& Height,
                 std::vector<uint32_t>& Pixels) {
  Display* x = XOpenDisplay(DisplayName.c_str());
  if (!x) return false;
  const Window root = DefaultRootWindow(x);
  XWindowAttributes attributes{};
  XGetWindowAttributes(x, root, &attributes);
  XImage* image = XGetImage(x, root, 0, 0, static_cast<unsigned>(attributes.width),
                            static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
  if (!image) {
    XCloseDisplay(x);
    return false;
  }
  Width = image->width;
  Height = image->height;
  Pixels.resize(static_cast<size_t>(Width) * static_cast<size_t>(Height));
  for (int y = 0; y < Height; ++y)
    for (int px = 0; px < Width; ++px)
      Pixels[static_cast<size_t>(y) * static_cast<size_t>(Width) + static_cast<size_t>(px)] =
          static_cast<uint32_t>(XGetPixel(image, px, y) & 0xFFFFFF);
  XDestroyImage(image);
  XCloseDisplay(x);
  return true;
}
