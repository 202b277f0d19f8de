// The label: a non-windowed control that draws its caption on its parent,
// with alignment, layout, word wrap, transparency, accelerator characters
// and automatic sizing.
#pragma once

#include <cstdint>

#include "framework/customctrls.h"

enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TTextLayout { tlTop, tlCenter, tlBottom };

class TCustomLabel : public TGraphicControl {
 public:
  TAL_CLASS_NAME(TCustomLabel)
  explicit TCustomLabel(TComponent* AOwner);

  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment v);
  bool AutoSize() const { return auto_size_; }
  virtual void SetAutoSize(bool v);
  TTextLayout Layout() const { return layout_; }
  void SetLayout(TTextLayout v);
  bool ShowAccelChar() const { return show_accel_char_; }
  void SetShowAccelChar(bool v);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool v);
  bool WordWrap() const { return word_wrap_; }
  void SetWordWrap(bool v);
  void Loaded() override;

  // Measures (DT_CALCRECT in Flags) or draws the caption in Rect.
  virtual void DoDrawText(TRect& Rect, uint32_t Flags);

 protected:
  void Paint() override;
  virtual void AdjustBounds();
  void WndProc(TMessage& Message) override;
  // The right-to-left adjustment of the flags; left-to-right here.
  uint32_t DrawTextBiDiModeFlags(uint32_t Flags) const { return Flags; }
  // The colour behind the caption: the label's own, else its parent's.
  TColor BackgroundColor() const;

 private:
  TAlignment alignment_ = taLeftJustify;
  bool auto_size_ = true;
  TTextLayout layout_ = tlTop;
  bool show_accel_char_ = true;
  bool transparent_ = false;
  bool word_wrap_ = false;
};

class TLabel : public TCustomLabel {
 public:
  TAL_CLASS_NAME(TLabel)
  using TCustomLabel::TCustomLabel;
};

// A context to measure text on when the control has none of its own.
HDC MeasureDC();
