#include "setup/testprog/x_screenshot.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdint>
#include <vector>

#include "setup/testprog/png_writer.h"

bool XWindowScreenshot(const std::string& DisplayName, unsigned long Window,
                       const std::string& File) {
  Display* d = XOpenDisplay(DisplayName.c_str());
  if (!d) return false;
  XWindowAttributes a;
  bool ok = false;
  if (XGetWindowAttributes(d, Window, &a)) {
    if (XImage* img = XGetImage(d, Window, 0, 0, static_cast<unsigned>(a.width),
                                static_cast<unsigned>(a.height), AllPlanes, ZPixmap)) {
      std::vector<uint32_t> px(static_cast<size_t>(a.width) * static_cast<size_t>(a.height));
      for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
          px[static_cast<size_t>(y) * static_cast<size_t>(a.width) + static_cast<size_t>(x)] =
              static_cast<uint32_t>(XGetPixel(img, x, y) & 0xFFFFFF);
      ok = setup_test::WritePng(File, px.data(), a.width, a.height);
      XDestroyImage(img);
    }
  }
  XCloseDisplay(d);
  return ok;
}
