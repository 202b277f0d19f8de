#include "setup/testprog/x_screenshot.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <csetjmp>
#include <cstdint>
#include <vector>

#include "setup/testprog/png_writer.h"

namespace {

std::jmp_buf* gJump = nullptr;
bool gFailed = false;

// A window that went away fails the picture, not the program.
int NoteError(Display*, XErrorEvent*) {
  gFailed = true;
  return 0;
}

// A server that went away would end the program; go back to the caller.
void LeaveOnLostConnection(Display*, void*) {
  if (gJump) std::longjmp(*gJump, 1);
}

}  // namespace

bool XWindowScreenshot(const std::string& DisplayName, unsigned long Window,
                       const std::string& File) {
  Display* d = XOpenDisplay(DisplayName.c_str());
  if (!d) return false;
  std::vector<uint32_t> px;
  std::jmp_buf jump;
  gJump = &jump;
  gFailed = false;
  auto previous = XSetErrorHandler(NoteError);
  XSetIOErrorExitHandler(d, LeaveOnLostConnection, nullptr);
  if (setjmp(jump) != 0) {
    // The connection is gone; what Xlib kept for it is left behind.
    XSetErrorHandler(previous);
    gJump = nullptr;
    return false;
  }
  if (Window == 0) Window = DefaultRootWindow(d);
  XWindowAttributes a;
  int width = 0, height = 0;
  if (XGetWindowAttributes(d, Window, &a) && !gFailed) {
    if (XImage* img = XGetImage(d, Window, 0, 0, static_cast<unsigned>(a.width),
                                static_cast<unsigned>(a.height), AllPlanes, ZPixmap)) {
      width = a.width;
      height = a.height;
      px.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
      for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
          px[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] =
              static_cast<uint32_t>(XGetPixel(img, x, y) & 0xFFFFFF);
      XDestroyImage(img);
    }
  }
  XSync(d, False);
  XCloseDisplay(d);
  XSetErrorHandler(previous);
  gJump = nullptr;
  return !gFailed && width > 0 && setup_test::WritePng(File, px.data(), width, height);
}

bool XFindTopWindow(const std::string& DisplayName, const std::string& Name, XTopWindow& Found) {
  Display* d = XOpenDisplay(DisplayName.c_str());
  if (!d) return false;
  auto previous = XSetErrorHandler(NoteError);
  gFailed = false;
  bool found = false;
  Window root = DefaultRootWindow(d), parent = 0, *children = nullptr;
  unsigned count = 0;
  if (XQueryTree(d, root, &root, &parent, &children, &count)) {
    for (unsigned i = 0; i < count && !found; ++i) {
      XTextProperty name{};
      XWindowAttributes a;
      gFailed = false;
      // The title's bytes as they stand, whatever their encoding (SDL's boxes
      // title themselves in UTF-8). A window may go while it is looked at: it
      // is then not the one.
      if (XGetWMName(d, children[i], &name) && name.value && name.format == 8 &&
          Name == std::string(reinterpret_cast<const char*>(name.value), name.nitems) &&
          XGetWindowAttributes(d, children[i], &a) && !gFailed && a.map_state == IsViewable) {
        Found = {children[i], a.x, a.y, a.width, a.height};
        found = true;
      }
      if (name.value) XFree(name.value);
    }
    if (children) XFree(children);
  }
  XSync(d, False);
  XCloseDisplay(d);
  XSetErrorHandler(previous);
  return found;
}

bool XHasCoreFonts(const std::string& DisplayName) {
  Display* d = XOpenDisplay(DisplayName.c_str());
  if (!d) return false;
  int count = 0;
  char** names = XListFonts(d, "-*-*-medium-r-normal--*-120-*-*-*-*-iso8859-1", 1, &count);
  if (names) XFreeFontNames(names);
  XCloseDisplay(d);
  return count > 0;
}
