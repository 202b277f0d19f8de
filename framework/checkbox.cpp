#include "framework/checkbox.h"

#include "platform/gdi/gdi_draw.h"
#include "platform/win/vkeys.h"

TCheckBox::TCheckBox(TComponent* AOwner) : TCustomControl(AOwner) {
  SetBounds(0, 0, 97, 17);
  SetTabStop(true);
}

void TCheckBox::SetChecked(bool Value) {
  if (Value == checked_) return;
  checked_ = Value;
  Invalidate();
}

void TCheckBox::Click() {
  // The state turns before the owner hears of the click.
  SetChecked(!checked_);
  TCustomControl::Click();
}

void TCheckBox::Paint() {
  HDC dc = Canvas()->Handle();
  if (!dc) return;
  const TRect r = ClientRect();
  dc->FillSolid(r, Color() == clDefault ? clBtnFace : Color());
  const int size = 13;
  const int top = (r.Bottom - size) / 2;
  TRect box{0, top, size, top + size};
  dc->FillSolid(box, EnabledInParents() ? clWindow : clBtnFace);
  DrawEdge(dc, &box, EDGE_SUNKEN, BF_RECT);
  if (checked_) {
    // A tick of three short strokes.
    dc->Pen.Color = clWindowText;
    for (int i = 0; i < 3; ++i) {
      dc->MoveTo(3, top + 5 + i);
      dc->LineTo(5, top + 7 + i);
      dc->LineTo(10, top + 2 + i);
    }
  }
  dc->Font = Font()->Data();
  dc->BkMode = TRANSPARENT;
  dc->Font.Color = EnabledInParents() ? clBtnText : clGrayText;
  TRect text{size + 4, r.Top, r.Right, r.Bottom};
  DrawTextA(dc, Caption(), -1, &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
  if (Focused()) DrawFocusRect(dc, text);
}

void TCheckBox::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft && CanFocus()) SetFocus();
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

bool TCheckBox::KeyDown(WORD& Key, TShiftState Shift) {
  if (Key == VK_SPACE) {
    Click();
    return true;
  }
  return TCustomControl::KeyDown(Key, Shift);
}
