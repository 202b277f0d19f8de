#include "framework/buttons.h"

#include "platform/gdi/gdi_draw.h"
#include "platform/win/vkeys.h"

TBitBtn::TBitBtn(TComponent* AOwner) : TCustomControl(AOwner) {
  SetBounds(0, 0, 75, 25);
  SetTabStop(true);
}

void TBitBtn::Paint() {
  HDC dc = Canvas()->Handle();
  if (!dc) return;
  TRect r = ClientRect();
  dc->FillSolid(r, clBtnFace);
  if (Focused()) {
    // The focused button is the one Enter presses: a dark frame around it.
    dc->Brush.Color = clBlack;
    dc->FrameRect(r);
    r = TRect{r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1};
  }
  TRect edge = r;
  if (down_) {
    dc->Brush.Color = clBtnShadow;
    dc->FrameRect(edge);
  } else {
    DrawEdge(dc, &edge, EDGE_RAISED, BF_RECT);
  }
  TRect text = r;
  if (down_) {
    text.Left += 1;
    text.Top += 1;
    text.Right += 1;
    text.Bottom += 1;
  }
  dc->Font = Font()->Data();
  dc->BkMode = TRANSPARENT;
  const uint32_t flags = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
  if (EnabledInParents()) {
    DrawTextA(dc, Caption(), -1, &text, flags);
  } else {
    TRect light{text.Left + 1, text.Top + 1, text.Right + 1, text.Bottom + 1};
    dc->Font.Color = clBtnHighlight;
    DrawTextA(dc, Caption(), -1, &light, flags);
    dc->Font.Color = clBtnShadow;
    DrawTextA(dc, Caption(), -1, &text, flags);
  }
  if (Focused()) {
    TRect f{r.Left + 3, r.Top + 3, r.Right - 3, r.Bottom - 3};
    DrawFocusRect(dc, f);
  }
}

void TBitBtn::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft) {
    if (CanFocus()) SetFocus();
    tracking_ = true;
    down_ = true;
    Invalidate();
  }
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TBitBtn::MouseMove(TShiftState Shift, int X, int Y) {
  if (tracking_) {
    bool inside = X >= 0 && Y >= 0 && X < Width() && Y < Height();
    if (inside != down_) {
      down_ = inside;
      Invalidate();
    }
  }
  TCustomControl::MouseMove(Shift, X, Y);
}

void TBitBtn::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft && tracking_) {
    tracking_ = false;
    down_ = false;
    Invalidate();
  }
  TCustomControl::MouseUp(Button, Shift, X, Y);
}

bool TBitBtn::KeyDown(WORD& Key, TShiftState Shift) {
  if (TCustomControl::KeyDown(Key, Shift)) return true;
  if ((Key == VK_SPACE || Key == VK_RETURN) && EnabledInParents()) {
    Click();
    return true;
  }
  return false;
}
