// The drawing surface of bitmaps, surfaces and controls: pen, brush and font
// over a device context (platform/gdi). A canvas either is given its context
// (Handle) or makes one on first drawing through CreateHandle, which
// descendants override (a surface canvas locks its surface there).
//
// Graphics draw themselves: Draw and StretchDraw call
//   void TGraphic::Draw(TCanvas* ACanvas, const TRect& Rect)
// which every graphic class overrides (framework/graphics.h).
#pragma once

#include <string>

#include "framework/classes.h"
#include "framework/types.h"
#include "platform/gdi/gdi.h"

class TGraphic;
class TCanvas;

// Shared by pen, brush and font: a change notifies the canvas, which passes
// it into its device context before the next drawing.
class TGraphicsObject : public TPersistent {
 public:
  TAL_CLASS_NAME(TGraphicsObject)
  TNotifyEvent OnChange;

 protected:
  void Changed();
};

class TPen : public TGraphicsObject {
 public:
  TAL_CLASS_NAME(TPen)
  TColor Color() const { return pen_.Color; }
  void SetColor(TColor v);
  int Width() const { return pen_.Width; }
  void SetWidth(int v);
  TPenStyle Style() const { return pen_.Style; }
  void SetStyle(TPenStyle v);
  void Assign(TPersistent* Source) override;
  const TGdiPen& Data() const { return pen_; }

 private:
  TGdiPen pen_;
};

class TBrush : public TGraphicsObject {
 public:
  TAL_CLASS_NAME(TBrush)
  TColor Color() const { return brush_.Color; }
  void SetColor(TColor v);
  TBrushStyle Style() const { return brush_.Style; }
  void SetStyle(TBrushStyle v);
  void Assign(TPersistent* Source) override;
  const TGdiBrush& Data() const { return brush_; }

 private:
  TGdiBrush brush_;
};

class TFont : public TGraphicsObject {
 public:
  TAL_CLASS_NAME(TFont)
  static constexpr int PixelsPerInch = 96;
  const std::string& Name() const { return font_.Name; }
  void SetName(const std::string& v);
  // Points; Size and Height are two views of one value.
  int Size() const;
  void SetSize(int v);
  int Height() const { return font_.Height; }
  void SetHeight(int v);
  TColor Color() const { return font_.Color; }
  void SetColor(TColor v);
  TFontStyles Style() const { return font_.Style; }
  void SetStyle(TFontStyles v);
  void Assign(TPersistent* Source) override;
  const TGdiFont& Data() const { return font_; }

 private:
  TGdiFont font_;
};

enum TCanvasStateFlag : uint8_t {
  csHandleValid = 1,
  csFontValid = 2,
  csPenValid = 4,
  csBrushValid = 8
};

class TCanvas : public TPersistent {
 public:
  TAL_CLASS_NAME(TCanvas)
  TCanvas();
  ~TCanvas() override;

  // The device context, made on demand; 0 when none can be made.
  HDC Handle();
  void SetHandle(HDC Value);
  bool HandleAllocated() const { return handle_ != nullptr; }

  TPen* Pen() { return &pen_; }
  TBrush* Brush() { return &brush_; }
  TFont* Font() { return &font_; }
  void SetFont(TFont* Value) { font_.Assign(Value); }
  void SetBrush(TBrush* Value) { brush_.Assign(Value); }
  void SetPen(TPen* Value) { pen_.Assign(Value); }
  uint32_t CopyMode = SRCCOPY;
  TPoint PenPos() const;
  void SetPenPos(TPoint P) { MoveTo(P.X, P.Y); }
  TRect ClipRect();

  void FillRect(const TRect& Rect);
  void FrameRect(const TRect& Rect);
  void MoveTo(int X, int Y);
  void LineTo(int X, int Y);
  void Rectangle(int X1, int Y1, int X2, int Y2);
  void Rectangle(const TRect& R) { Rectangle(R.Left, R.Top, R.Right, R.Bottom); }
  void Ellipse(int X1, int Y1, int X2, int Y2);
  // Text with the font; the brush's colour fills the cell unless the brush
  // style is bsClear.
  void TextOut(int X, int Y, const std::string& Text);
  void TextRect(const TRect& Rect, int X, int Y, const std::string& Text);
  TSize TextExtent(const std::string& Text);
  int TextWidth(const std::string& Text) { return TextExtent(Text).cx; }
  int TextHeight(const std::string& Text) { return TextExtent(Text).cy; }
  TColor Pixel(int X, int Y);
  void SetPixel(int X, int Y, TColor Color);
  void Draw(int X, int Y, TGraphic* Graphic);
  void StretchDraw(const TRect& Rect, TGraphic* Graphic);
  void CopyRect(const TRect& Dest, TCanvas* Canvas, const TRect& Source);

  // Before any drawing changes pixels, then after.
  TNotifyEvent OnChanging;
  TNotifyEvent OnChange;
  void Changing();
  void Changed();

 protected:
  // Called when a drawing needs a context and none is set.
  virtual void CreateHandle() {}
  void RequiredState(uint8_t Flags);
  void DeselectHandles() {
    state_ &= static_cast<uint8_t>(~(csFontValid | csPenValid | csBrushValid));
  }

 private:
  HDC handle_ = nullptr;
  TPen pen_;
  TBrush brush_;
  TFont font_;
  uint8_t state_ = 0;
};
