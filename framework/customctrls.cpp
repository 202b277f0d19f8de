#include "framework/customctrls.h"

#include "platform/gdi/gdi_draw.h"

namespace {
// The look of the text follows the control's font.
void BindFont(TControl* Control, TFont& Font) {
  Font.OnChange = [Control](TObject*) {
    Control->Perform(CM_FONTCHANGED, 0, 0);
    Control->Invalidate();
  };
}
}  // namespace

TGraphicControl::TGraphicControl(TComponent* AOwner) : TControl(AOwner) {
  BindFont(this, font_);
}

void TGraphicControl::WndProc(TMessage& Message) {
  if (Message.Msg == WM_PAINT && Message.WParam) {
    TCanvasHandleScope scope(canvas_, reinterpret_cast<HDC>(Message.WParam));
    canvas_.SetFont(&font_);
    Paint();
    return;
  }
  TControl::WndProc(Message);
}

TCustomControl::TCustomControl(TComponent* AOwner) : TWinControl(AOwner) {
  BindFont(this, font_);
  SetColor(clBtnFace);
}

void TCustomControl::WndProc(TMessage& Message) {
  if (Message.Msg == WM_PAINT && Message.WParam) {
    TCanvasHandleScope scope(canvas_, reinterpret_cast<HDC>(Message.WParam));
    canvas_.SetFont(&font_);
    Paint();
    return;
  }
  TWinControl::WndProc(Message);
}
