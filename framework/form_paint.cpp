// The client-area picture of forms drawn with the framework's controls.
#include <algorithm>

#include "framework/forms.h"
#include "platform/gdi/gdi_draw.h"
#include "platform/win/driver.h"
#include "platform/win/paint.h"

namespace {
void PaintHintBox(HDC DC, const std::string& Text, TPoint At, int Width, int Height);
}

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
  if (!hint_text_.empty()) PaintHintBox(&dc, hint_text_, hint_at_, w, h);
  ReleaseDCState(&dc);
  if (OnPaint) OnPaint(this);
  if (Visible()) PlatformDriver().PresentWindow(Handle(), client_pixels_.data(), w, h);
}

// ---- Hints -----------------------------------------------------------------------

namespace {

constexpr uintptr_t kHintTimer = 0x4854;  // "HT"

// The innermost visible control under a point of the form.
TControl* ControlUnder(TWinControl* Form, TPoint P) {
  TControl* found = nullptr;
  TWinControl* w = Form;
  while (w) {
    TControl* c = w->ControlAtPos(P);
    if (!c) break;
    found = c;
    P = TPoint{P.X - c->Left(), P.Y - c->Top()};
    w = dynamic_cast<TWinControl*>(c);
  }
  return found;
}

TControl* WithHint(TControl* C) {
  for (; C; C = C->Parent())
    if (C->ShowHint() && !C->Hint().empty()) return C;
  return nullptr;
}

}  // namespace

void TForm::HideHint() {
  if (HandleAllocated()) KillTimer(Handle(), kHintTimer);
  if (!hint_text_.empty()) {
    hint_text_.clear();
    Invalidate();
  }
}

bool TForm::HintMessage(TMessage& Message) {
  if (!paint_client_area_) return false;
  switch (Message.Msg) {
    case WM_MOUSEMOVE: {
      pointer_ = TPoint{GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam)};
      TControl* c = WithHint(ControlUnder(this, pointer_));
      if (c != hint_control_) {
        HideHint();
        hint_control_ = c;
        if (c && HandleAllocated()) SetTimer(Handle(), kHintTimer, HintPauseMs);
      }
      return false;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_KEYDOWN:
      HideHint();
      return false;
    case WM_TIMER:
      if (Message.WParam != kHintTimer) return false;
      KillTimer(Handle(), kHintTimer);
      // Only a control still under the pointer (and so still there) shows it.
      if (hint_control_ && WithHint(ControlUnder(this, pointer_)) == hint_control_) {
        hint_text_ = hint_control_->Hint();
        hint_at_ = TPoint{pointer_.X, pointer_.Y + 20};
        Invalidate();
      }
      return true;
    default:
      return false;
  }
}

namespace {
// The hint box: pale yellow with a dark frame, kept inside the form.
void PaintHintBox(HDC DC, const std::string& Text, TPoint At, int Width, int Height) {
  TGdiFont font;
  DC->Font = font;
  DC->Font.Color = clBlack;
  TSize ext = DC->TextExtent(Text);
  TRect r{At.X, At.Y, At.X + ext.cx + 6, At.Y + ext.cy + 4};
  if (r.Right > Width) r = TRect{Width - r.Width(), r.Top, Width, r.Bottom};
  if (r.Bottom > Height) r = TRect{r.Left, At.Y - 24 - r.Height(), r.Right, At.Y - 24};
  if (r.Left < 0) r = TRect{0, r.Top, r.Width(), r.Bottom};
  DC->FillSolid(r, 0xE1FFFF);
  DC->Brush.Color = clBlack;
  DC->FrameRect(r);
  DC->BkMode = TRANSPARENT;
  DC->TextOut(r.Left + 3, r.Top + 2, Text);
}
}  // namespace
