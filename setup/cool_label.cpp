#include "setup/cool_label.h"

#include <algorithm>

#include "platform/gdi/gdi_draw.h"

// The glyph holder comes first: the label's own construction may already
// measure itself with it.
TCoolLabel::TCoolLabel(TComponent* AOwner)
    : TCustomLabel(AOwner), glyph_(std::make_unique<TGlyph>()), shadow_color_(clBtnHighlight) {
  glyph_->OnChange = [this](TObject*) { Invalidate(); };
}

TCoolLabel::~TCoolLabel() = default;

void TCoolLabel::SetShadowColor(TColor Value) {
  if (shadow_color_ == Value) return;
  shadow_color_ = Value;
  simple_view_ = false;
  Invalidate();
}

void TCoolLabel::SetShadowSize(int Value) {
  Value = std::clamp(Value, 0, 255);
  if (shadow_size_ == Value) return;
  shadow_size_ = Value;
  simple_view_ = false;
  Invalidate();
}

void TCoolLabel::SetShadowPos(TShadowPosition Value) {
  if (shadow_pos_ == Value) return;
  shadow_pos_ = Value;
  simple_view_ = false;
  Invalidate();
}

void TCoolLabel::SetSimpleView(bool Value) {
  simple_view_ = Value;
  Invalidate();
}

void TCoolLabel::SetBevelInner(TBevelCut Value) {
  bevel_inner_ = Value;
  Invalidate();
}

void TCoolLabel::SetBevelOuter(TBevelCut Value) {
  bevel_outer_ = Value;
  Invalidate();
}

void TCoolLabel::SetBevelsOffset(int Value) {
  if (bevels_offset_ == Value) return;
  bevels_offset_ = Value;
  if (Value != 0) SetAutoSize(false);
  Invalidate();
}

void TCoolLabel::SetGlyph(TBitmap* Value) {
  glyph_->SetGlyph(Value);
  AdjustBounds();
}

void TCoolLabel::SetNumGlyphs(int Value) {
  Value = std::min(Value, 2);
  if (Value == glyph_->NumGlyphs()) return;
  glyph_->SetNumGlyphs(Value);
  Invalidate();
}

TBitmap* TCoolLabel::Wallpaper() {
  return wallpaper_.Bitmap();
}

void TCoolLabel::SetWallpaper(TBitmap* Value) {
  wallpaper_.SetBitmap(Value);
}

void TCoolLabel::SetCoolImages(TCoolImages* Value) {
  wallpaper_.SetImages(Value);
}

void TCoolLabel::Notification(TComponent* AComponent, bool Removing) {
  TCustomLabel::Notification(AComponent, Removing);
  wallpaper_.Notification(AComponent, Removing);
}

void TCoolLabel::SetIdWallpaper(int Value) {
  wallpaper_.SetId(Value);
}

void TCoolLabel::SetAutoSize(bool v) {
  TCustomLabel::SetAutoSize(v);
  AdjustBounds();
}

bool TCoolLabel::PaintWallpaper(HDC DC, const TRect& Rect, uint32_t Rop, bool Tile) {
  return wallpaper_.Paint(DC, Rect, Rop, Tile);
}

void TCoolLabel::Paint() {
  TCanvas* c = Canvas();
  HDC dc = c->Handle();
  if (!dc) return;
  if (!Transparent() && !PaintWallpaper(dc, ClientRect(), SRCCOPY, true)) {
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(BackgroundColor());
    c->FillRect(ClientRect());
  }
  TRect r = ClientRect();
  auto cut = [](TBevelCut b) { return b == bvLowered || b == bvRaised; };
  if (cut(bevel_inner_) || cut(bevel_outer_)) {
    uint32_t edge = 0;
    if (bevel_inner_ == bvLowered) edge |= BDR_SUNKENINNER;
    if (bevel_inner_ == bvRaised) edge |= BDR_RAISEDINNER;
    if (bevel_outer_ == bvLowered) edge |= BDR_SUNKENOUTER;
    if (bevel_outer_ == bvRaised) edge |= BDR_RAISEDOUTER;
    TRect e = r;
    DrawEdge(dc, &e, edge, BF_RECT);
    r = TRect{r.Left + bevels_offset_, r.Top + bevels_offset_, r.Right - bevels_offset_,
              r.Bottom - bevels_offset_};
  }
  c->Brush()->SetStyle(bsClear);
  uint32_t flags = DT_EXPANDTABS | (WordWrap() ? DT_WORDBREAK : 0) |
                   (Alignment() == taRightJustify ? DT_RIGHT
                    : Alignment() == taCenter     ? DT_CENTER
                                                  : DT_LEFT);
  if (Layout() != tlTop) {
    TRect calc = r;
    DoDrawText(calc, flags | DT_CALCRECT);
    int dy = Layout() == tlBottom ? Height() - calc.Bottom : (Height() - calc.Bottom) / 2;
    r.Top += dy;
    r.Bottom += dy;
  }
  TBitmap* g = glyph_->Glyph();
  if (g && !g->Empty() && glyph_->NumGlyphs() > 0) {
    int gw = g->Width() / glyph_->NumGlyphs();
    dc->Font = Font()->Data();
    int cw = dc->TextExtent(Caption()).cx;
    TPoint at{r.Left, r.Top};
    switch (Alignment()) {
      case taLeftJustify:
        r.Left += gw + 2;
        break;
      case taRightJustify:
        at.X = r.Right - cw - gw - 2;
        break;
      case taCenter:
        at.X = r.Width() / 2 - (cw + gw + 2) / 2;
        r.Left += (gw + 2) / 2;
        break;
    }
    glyph_->Draw(c, at, Enabled(), true, clNone);
  }
  DoDrawText(r, flags);
}

void TCoolLabel::DoDrawText(TRect& Rect, uint32_t Flags) {
  std::string text = Caption();
  if ((Flags & DT_CALCRECT) && (text.empty() || (ShowAccelChar() && text == "&"))) text += " ";
  if (!ShowAccelChar()) Flags |= DT_NOPREFIX;
  Flags = DrawTextBiDiModeFlags(Flags);
  Canvas()->SetFont(Font());
  HDC dc = Canvas()->Handle();
  if (!dc) return;
  dc->Font = Font()->Data();
  dc->BkMode = Canvas()->Brush()->Style() == bsClear ? TRANSPARENT : OPAQUE;
  dc->BkColor = Canvas()->Brush()->Color();
  if (!Enabled()) {
    DrawTextShadowed(dc, Rect, spRightBottom, text, Flags, clBtnShadow, clBtnHighlight, 1);
  } else if (simple_view_) {
    DrawTextA(dc, text, -1, &Rect, Flags);
  } else {
    DrawTextShadowed(dc, Rect, shadow_pos_, text, Flags, Font()->Color(), shadow_color_,
                     shadow_size_);
  }
}

void TCoolLabel::AdjustBounds() {
  if (!glyph_ || !AutoSize() || !Parent() || Has(csReading) || Has(csLoading)) return;
  TCanvasHandleScope scope(*Canvas(),
                           Canvas()->HandleAllocated() ? Canvas()->Handle() : MeasureDC());
  TRect r = ClientRect();
  DoDrawText(r, DT_EXPANDTABS | DT_CALCRECT | (WordWrap() ? DT_WORDBREAK : 0));
  int w = r.Right, h = r.Bottom;
  TBitmap* g = glyph_->Glyph();
  if (g && !g->Empty() && glyph_->NumGlyphs() > 0) {
    w += g->Width() / glyph_->NumGlyphs() + 2;
    h = std::max(h, g->Height());
  }
  int x = Left();
  if (DrawTextBiDiModeFlags(Alignment() == taRightJustify ? DT_RIGHT : 0) & DT_RIGHT)
    x += Width() - w;
  SetBounds(x, Top(), w, h);
}
