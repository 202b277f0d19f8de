// Controls that draw themselves on a canvas: graphic controls (no window of
// their own; they draw on their parent's area) and custom controls (a
// window with its own canvas). Both get their canvas's context for the
// length of a paint.
#pragma once

#include "framework/canvas.h"
#include "framework/controls.h"

class TGraphicControl : public TControl {
 public:
  TAL_CLASS_NAME(TGraphicControl)
  explicit TGraphicControl(TComponent* AOwner);
  TCanvas* Canvas() { return &canvas_; }
  TFont* Font() { return &font_; }
  void SetFont(TFont* Value) { font_.Assign(Value); }

 protected:
  virtual void Paint() {}
  void WndProc(TMessage& Message) override;

 private:
  TCanvas canvas_;
  TFont font_;
};

class TCustomControl : public TWinControl {
 public:
  TAL_CLASS_NAME(TCustomControl)
  explicit TCustomControl(TComponent* AOwner);
  TCanvas* Canvas() { return &canvas_; }
  TFont* Font() { return &font_; }
  void SetFont(TFont* Value) { font_.Assign(Value); }

 protected:
  virtual void Paint() {}
  void WndProc(TMessage& Message) override;

 private:
  TCanvas canvas_;
  TFont font_;
};

// Gives a canvas a device context for a while and takes it back, also when
// the drawing throws.
class TCanvasHandleScope {
 public:
  TCanvasHandleScope(TCanvas& Canvas, HDC DC) : canvas_(Canvas), saved_(nullptr) {
    saved_ = Canvas.HandleAllocated() ? Canvas.Handle() : nullptr;
    Canvas.SetHandle(DC);
  }
  ~TCanvasHandleScope() { canvas_.SetHandle(saved_); }
  TCanvasHandleScope(const TCanvasHandleScope&) = delete;
  TCanvasHandleScope& operator=(const TCanvasHandleScope&) = delete;

 private:
  TCanvas& canvas_;
  HDC saved_;
};
