// The client-area picture of forms drawn with the framework's controls.
#include <algorithm>

#include "framework/forms.h"
#include "platform/gdi/gdi_draw.h"
#include "platform/win/driver.h"
#include "platform/win/paint.h"

void TForm::SetPaintClientArea(bool v) {
  if (paint_client_area_ == v) return;
  paint_client_area_ = v;
  if (v) Invalidate();
}

void TForm::PaintWindow() {
  if (!paint_client_area_ || !HandleAllocated()) {
    if (HandleAllocated()) TakeUpdateRect(Handle(), nullptr, nullptr);
    if (OnPaint) OnPaint(this);
    return;
  }
  // The whole client area is painted each time: dialogs are small, and a
  // picture that is always whole cannot show stale parts.
  TakeUpdateRect(Handle(), nullptr, nullptr);
  const int w = std::max(ClientWidth(), 0), h = std::max(ClientHeight(), 0);
  client_pixels_.assign(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
  if (w == 0 || h == 0) return;
  TDeviceContext dc(client_pixels_.data(), w, h, w * 4, TGdiPixelFormat::RGB888(32));
  PaintTo(&dc);
  ReleaseDCState(&dc);
  if (OnPaint) OnPaint(this);
  if (Visible()) PlatformDriver().PresentWindow(Handle(), client_pixels_.data(), w, h);
}
