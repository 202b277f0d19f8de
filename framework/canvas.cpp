#include "framework/canvas.h"

#include <algorithm>

#if __has_include("framework/graphics.h")
#include "framework/graphics.h"
#define TAL_HAVE_GRAPHICS 1
#endif

void TGraphicsObject::Changed() {
  if (OnChange) OnChange(this);
}

void TPen::SetColor(TColor v) {
  if (pen_.Color != v) {
    pen_.Color = v;
    Changed();
  }
}
void TPen::SetWidth(int v) {
  if (pen_.Width != v) {
    pen_.Width = v;
    Changed();
  }
}
void TPen::SetStyle(TPenStyle v) {
  if (pen_.Style != v) {
    pen_.Style = v;
    Changed();
  }
}
void TPen::Assign(TPersistent* Source) {
  if (auto* p = dynamic_cast<TPen*>(Source)) {
    pen_ = p->pen_;
    Changed();
    return;
  }
  TGraphicsObject::Assign(Source);
}

void TBrush::SetColor(TColor v) {
  if (brush_.Color != v || brush_.Style == bsClear) {
    brush_.Color = v;
    // Giving a clear brush a colour makes it solid again.
    if (brush_.Style == bsClear) brush_.Style = bsSolid;
    Changed();
  }
}
void TBrush::SetStyle(TBrushStyle v) {
  if (brush_.Style != v) {
    brush_.Style = v;
    Changed();
  }
}
void TBrush::Assign(TPersistent* Source) {
  if (auto* b = dynamic_cast<TBrush*>(Source)) {
    brush_ = b->brush_;
    Changed();
    return;
  }
  TGraphicsObject::Assign(Source);
}

void TFont::SetName(const std::string& v) {
  if (font_.Name != v) {
    font_.Name = v;
    Changed();
  }
}
int TFont::Size() const {
  // Height in pixels to points, rounding as the conversion back does.
  return -((font_.Height * 72 + (font_.Height < 0 ? -PixelsPerInch / 2 : PixelsPerInch / 2)) /
           PixelsPerInch);
}
void TFont::SetSize(int v) {
  SetHeight(-((v * PixelsPerInch + (v < 0 ? -36 : 36)) / 72));
}
void TFont::SetHeight(int v) {
  if (font_.Height != v) {
    font_.Height = v;
    Changed();
  }
}
void TFont::SetColor(TColor v) {
  if (font_.Color != v) {
    font_.Color = v;
    Changed();
  }
}
void TFont::SetStyle(TFontStyles v) {
  if (font_.Style != v) {
    font_.Style = v;
    Changed();
  }
}
void TFont::Assign(TPersistent* Source) {
  if (auto* f = dynamic_cast<TFont*>(Source)) {
    font_ = f->font_;
    Changed();
    return;
  }
  TGraphicsObject::Assign(Source);
}

// ---------------------------------------------------------------------------

TCanvas::TCanvas() {
  auto invalidate = [this](uint8_t flag) {
    return [this, flag](TObject*) { state_ &= static_cast<uint8_t>(~flag); };
  };
  pen_.OnChange = invalidate(csPenValid);
  brush_.OnChange = invalidate(csBrushValid);
  font_.OnChange = invalidate(csFontValid);
}

TCanvas::~TCanvas() = default;

HDC TCanvas::Handle() {
  RequiredState(csHandleValid);
  return handle_;
}

void TCanvas::SetHandle(HDC Value) {
  if (handle_ == Value) return;
  handle_ = Value;
  state_ = Value ? csHandleValid : 0;
}

void TCanvas::RequiredState(uint8_t Flags) {
  if (!handle_) CreateHandle();
  if (!handle_) return;
  state_ |= csHandleValid;
  if ((Flags & csPenValid) && !(state_ & csPenValid)) {
    handle_->Pen = pen_.Data();
    state_ |= csPenValid;
  }
  if ((Flags & csBrushValid) && !(state_ & csBrushValid)) {
    handle_->Brush = brush_.Data();
    state_ |= csBrushValid;
  }
  if ((Flags & csFontValid) && !(state_ & csFontValid)) {
    handle_->Font = font_.Data();
    state_ |= csFontValid;
  }
}

void TCanvas::Changing() {
  if (OnChanging) OnChanging(this);
}

void TCanvas::Changed() {
  if (OnChange) OnChange(this);
}

TPoint TCanvas::PenPos() const {
  return handle_ ? handle_->PenPos : TPoint{};
}

TRect TCanvas::ClipRect() {
  RequiredState(csHandleValid);
  return handle_ ? handle_->ClipRect() : TRect{};
}

void TCanvas::FillRect(const TRect& Rect) {
  Changing();
  RequiredState(csHandleValid | csBrushValid);
  if (handle_) handle_->FillRect(Rect);
  Changed();
}

void TCanvas::FrameRect(const TRect& Rect) {
  Changing();
  RequiredState(csHandleValid | csBrushValid);
  if (handle_) handle_->FrameRect(Rect);
  Changed();
}

void TCanvas::MoveTo(int X, int Y) {
  RequiredState(csHandleValid);
  if (handle_) handle_->MoveTo(X, Y);
}

void TCanvas::LineTo(int X, int Y) {
  Changing();
  RequiredState(csHandleValid | csPenValid);
  if (handle_) handle_->LineTo(X, Y);
  Changed();
}

void TCanvas::Rectangle(int X1, int Y1, int X2, int Y2) {
  Changing();
  RequiredState(csHandleValid | csPenValid | csBrushValid);
  if (handle_) handle_->Rectangle(TRect{X1, Y1, X2, Y2});
  Changed();
}

void TCanvas::Ellipse(int X1, int Y1, int X2, int Y2) {
  Changing();
  RequiredState(csHandleValid | csPenValid | csBrushValid);
  if (handle_) handle_->Ellipse(TRect{X1, Y1, X2, Y2});
  Changed();
}

void TCanvas::TextOut(int X, int Y, const std::string& Text) {
  Changing();
  RequiredState(csHandleValid | csFontValid | csBrushValid);
  if (handle_) {
    handle_->BkMode = brush_.Style() == bsClear ? TRANSPARENT : OPAQUE;
    handle_->BkColor = brush_.Color();
    handle_->TextOut(X, Y, Text);
    handle_->PenPos = TPoint{X + handle_->TextExtent(Text).cx, Y};
  }
  Changed();
}

void TCanvas::TextRect(const TRect& Rect, int X, int Y, const std::string& Text) {
  Changing();
  RequiredState(csHandleValid | csFontValid | csBrushValid);
  if (handle_) {
    TRect saved = handle_->ClipRect();
    if (brush_.Style() != bsClear) handle_->FillSolid(Rect, brush_.Color());
    handle_->SetClipRect(TRect{std::max(Rect.Left, saved.Left), std::max(Rect.Top, saved.Top),
                               std::min(Rect.Right, saved.Right),
                               std::min(Rect.Bottom, saved.Bottom)});
    handle_->BkMode = TRANSPARENT;
    handle_->TextOut(X, Y, Text);
    handle_->SetClipRect(saved);
  }
  Changed();
}

TSize TCanvas::TextExtent(const std::string& Text) {
  RequiredState(csHandleValid | csFontValid);
  if (handle_) return handle_->TextExtent(Text);
  // Without a context, measure in a scratch one so layout still works.
  uint32_t pixel = 0;
  TDeviceContext scratch(&pixel, 1, 1, 4, TGdiPixelFormat::RGB888(32));
  scratch.Font = font_.Data();
  return scratch.TextExtent(Text);
}

TColor TCanvas::Pixel(int X, int Y) {
  RequiredState(csHandleValid);
  return handle_ ? handle_->GetPixel(X, Y) : clNone;
}

void TCanvas::SetPixel(int X, int Y, TColor Color) {
  Changing();
  RequiredState(csHandleValid | csPenValid);
  if (handle_) handle_->SetPixel(X, Y, Color);
  Changed();
}

void TCanvas::Draw(int X, int Y, TGraphic* Graphic) {
#ifdef TAL_HAVE_GRAPHICS
  if (!Graphic || Graphic->Empty()) return;
  Changing();
  RequiredState(csHandleValid);
  Graphic->Draw(this, TRect{X, Y, X + Graphic->Width(), Y + Graphic->Height()});
  Changed();
#else
  (void)X;
  (void)Y;
  (void)Graphic;
#endif
}

void TCanvas::StretchDraw(const TRect& Rect, TGraphic* Graphic) {
#ifdef TAL_HAVE_GRAPHICS
  if (!Graphic) return;
  Changing();
  RequiredState(csHandleValid);
  Graphic->Draw(this, Rect);
  Changed();
#else
  (void)Rect;
  (void)Graphic;
#endif
}

void TCanvas::CopyRect(const TRect& Dest, TCanvas* Canvas, const TRect& Source) {
  if (!Canvas) return;
  Changing();
  RequiredState(csHandleValid);
  HDC src = Canvas->Handle();
  if (handle_ && src) handle_->StretchBlt(Dest, *src, Source, CopyMode);
  Changed();
}
