#include "framework/label.h"

#include "platform/gdi/gdi_draw.h"

HDC MeasureDC() {
  static uint32_t pixel = 0;
  static TDeviceContext dc(&pixel, 1, 1, 4, TGdiPixelFormat::RGB888(32));
  return &dc;
}

TCustomLabel::TCustomLabel(TComponent* AOwner) : TGraphicControl(AOwner) {
  SetBounds(0, 0, 65, 17);
}

void TCustomLabel::SetAlignment(TAlignment v) {
  if (alignment_ == v) return;
  alignment_ = v;
  Invalidate();
}

void TCustomLabel::SetAutoSize(bool v) {
  if (auto_size_ == v) return;
  auto_size_ = v;
  AdjustBounds();
}

void TCustomLabel::SetLayout(TTextLayout v) {
  if (layout_ == v) return;
  layout_ = v;
  Invalidate();
}

void TCustomLabel::SetShowAccelChar(bool v) {
  if (show_accel_char_ == v) return;
  show_accel_char_ = v;
  Invalidate();
}

void TCustomLabel::SetTransparent(bool v) {
  if (transparent_ == v) return;
  transparent_ = v;
  Invalidate();
}

void TCustomLabel::SetWordWrap(bool v) {
  if (word_wrap_ == v) return;
  word_wrap_ = v;
  AdjustBounds();
  Invalidate();
}

void TCustomLabel::Loaded() {
  TGraphicControl::Loaded();
  AdjustBounds();
}

TColor TCustomLabel::BackgroundColor() const {
  if (Color() != clDefault) return Color();
  for (const TControl* p = Parent(); p; p = p->Parent())
    if (p->Color() != clDefault) return p->Color();
  return clBtnFace;
}

void TCustomLabel::DoDrawText(TRect& Rect, uint32_t Flags) {
  std::string text = Caption();
  if ((Flags & DT_CALCRECT) && (text.empty() || (show_accel_char_ && text == "&"))) text += " ";
  if (!show_accel_char_) Flags |= DT_NOPREFIX;
  Flags = DrawTextBiDiModeFlags(Flags);
  Canvas()->SetFont(Font());
  HDC dc = Canvas()->Handle();
  if (!dc) return;
  dc->Font = Font()->Data();
  dc->BkMode = Canvas()->Brush()->Style() == bsClear ? TRANSPARENT : OPAQUE;
  dc->BkColor = Canvas()->Brush()->Color();
  if (!Enabled()) {
    // The disabled look: a light copy one pixel right and down under the
    // text in the shadow colour.
    TRect r = Rect;
    r.Left += 1;
    r.Top += 1;
    r.Right += 1;
    r.Bottom += 1;
    dc->Font.Color = clBtnHighlight;
    DrawTextA(dc, text, -1, &r, Flags);
    dc->Font.Color = clBtnShadow;
    DrawTextA(dc, text, -1, &Rect, Flags);
  } else {
    DrawTextA(dc, text, -1, &Rect, Flags);
  }
}

void TCustomLabel::Paint() {
  TCanvas* c = Canvas();
  if (!transparent_) {
    c->Brush()->SetColor(BackgroundColor());
    c->Brush()->SetStyle(bsSolid);
    c->FillRect(ClientRect());
  }
  c->Brush()->SetStyle(bsClear);
  TRect r = ClientRect();
  uint32_t flags = DT_EXPANDTABS | (word_wrap_ ? DT_WORDBREAK : 0) |
                   (alignment_ == taRightJustify ? DT_RIGHT
                    : alignment_ == taCenter     ? DT_CENTER
                                                 : DT_LEFT);
  if (layout_ != tlTop) {
    TRect calc = r;
    DoDrawText(calc, flags | DT_CALCRECT);
    if (layout_ == tlBottom)
      r.Top += Height() - calc.Bottom;
    else
      r.Top += (Height() - calc.Bottom) / 2;
  }
  DoDrawText(r, flags);
}

void TCustomLabel::AdjustBounds() {
  if (!auto_size_ || Has(csReading) || Has(csLoading)) return;
  TCanvasHandleScope scope(*Canvas(),
                           Canvas()->HandleAllocated() ? Canvas()->Handle() : MeasureDC());
  TRect r = ClientRect();
  DoDrawText(r, DT_EXPANDTABS | DT_CALCRECT | (word_wrap_ ? DT_WORDBREAK : 0));
  int x = Left();
  if (alignment_ == taRightJustify) x += Width() - r.Right;
  SetBounds(x, Top(), r.Right, r.Bottom);
}

void TCustomLabel::WndProc(TMessage& Message) {
  TGraphicControl::WndProc(Message);
  if (Message.Msg == CM_TEXTCHANGED || Message.Msg == CM_FONTCHANGED) AdjustBounds();
}
