#include "platform/backend/headless/headless_paint.h"

#include <map>

namespace {
std::map<HWND, THeadlessPicture>& Pictures() {
  static auto* m = new std::map<HWND, THeadlessPicture>;
  return *m;
}
}  // namespace

void HeadlessKeepWindowPicture(HWND Wnd, const uint32_t* Pixels, int Width, int Height) {
  THeadlessPicture& p = Pictures()[Wnd];
  p.Width = Width > 0 ? Width : 0;
  p.Height = Height > 0 ? Height : 0;
  p.Pixels.assign(Pixels, Pixels + static_cast<size_t>(p.Width) * static_cast<size_t>(p.Height));
  ++p.Presented;
}

const THeadlessPicture& HeadlessWindowPicture(HWND Wnd) {
  static const THeadlessPicture none;
  auto it = Pictures().find(Wnd);
  return it == Pictures().end() ? none : it->second;
}

void HeadlessClearWindowPictures() {
  Pictures().clear();
}
