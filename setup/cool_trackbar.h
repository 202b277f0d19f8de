// The setup's slider: a coloured bar with a sunken edge, a tick for every
// value, a bitmap thumb, optional bevels, focus rectangle and wallpaper or
// parent background; moved by clicks beside the thumb, by dragging it and by
// keys, each change telling OnChange.
#pragma once

#include <cstdint>
#include <memory>

#include "framework/bitmap.h"
#include "framework/customctrls.h"
#include "setup/glyphs.h"

enum TTrackOrientation { toHorizontal, toVertical };
enum TTickMark { tmBottomRight, tmTopLeft, tmBoth };
enum TPaintOption { poDrawFocusRect, poDrawTrackBar, poDrawTicks, poDrawThumb, poDrawThumbStates };
using TPaintOptions = uint32_t;
constexpr TPaintOptions PaintOption(TPaintOption O) {
  return TPaintOptions{1} << O;
}
constexpr TPaintOptions AllPaintOptions = 0x1F;

class TCoolTrackBar : public TCustomControl {
 public:
  TAL_CLASS_NAME(TCoolTrackBar)
  explicit TCoolTrackBar(TComponent* AOwner);
  ~TCoolTrackBar() override;

  int Position() const { return position_; }
  void SetPosition(int Value);
  int MinValue() const { return min_; }
  void SetMinValue(int Value);
  int MaxValue() const { return max_; }
  void SetMaxValue(int Value);
  TTrackOrientation Orientation() const { return orientation_; }
  void SetOrientation(TTrackOrientation Value);
  TColor BarColor() const { return bar_color_; }
  void SetBarColor(TColor Value);
  int BarSize() const { return bar_size_; }
  void SetBarSize(int Value);
  static constexpr int BarMargin = 10;
  uint16_t PageSize() const { return page_size_; }
  void SetPageSize(uint16_t Value) { page_size_ = Value; }
  TTickMark TickMarks() const { return tick_marks_; }
  void SetTickMarks(TTickMark Value);
  bool TransparentThumb() const { return transparent_thumb_; }
  void SetTransparentThumb(bool Value);
  TCoolOptions Options() const { return options_; }
  void SetOptions(TCoolOptions Value);
  TPaintOptions PaintOptions() const { return paint_options_; }
  void SetPaintOptions(TPaintOptions Value);
  TBevelCut BevelInner() const { return bevel_inner_; }
  void SetBevelInner(TBevelCut Value);
  TBevelCut BevelOuter() const { return bevel_outer_; }
  void SetBevelOuter(TBevelCut Value);

  // User thumbs, made on first read.
  TBitmap* ThumbHorz();
  TBitmap* ThumbVert();
  TBitmap* ThumbHorzSelected();
  TBitmap* ThumbVertSelected();
  void SetThumbHorz(TBitmap* Value);
  void SetThumbVert(TBitmap* Value);
  void SetThumbHorzSelected(TBitmap* Value);
  void SetThumbVertSelected(TBitmap* Value);
  TBitmap* Wallpaper();
  void SetWallpaper(TBitmap* Value);
  TCoolImages* CoolImages() const { return wallpaper_.Images(); }
  void SetCoolImages(TCoolImages* Value);
  int IdWallpaper() const { return wallpaper_.Id(); }
  void SetIdWallpaper(int Value);

  TBitmap* Thumb() { return &thumb_; }
  const TRect& ThumbRect() const { return thumb_rect_; }
  const TRect& BarRect() const { return bar_rect_; }
  bool Dragging() const { return dragging_; }

  virtual void UpdateThumbBitmap();
  virtual void DrawTrackBar(TCanvas* Canvas);
  virtual void DrawTicks(TCanvas* Canvas);
  virtual void DrawThumb(TCanvas* Canvas);
  bool PaintWallpaper(HDC DC, const TRect& Rect, uint32_t Rop, bool Tile);
  void InvalidateThumb();
  void Loaded() override;
  void Notification(TComponent* AComponent, bool Removing) override;

  TNotifyEvent OnChange;

 protected:
  void Paint() override;
  bool KeyDown(WORD& Key, TShiftState Shift) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void Resize() override;
  void WndProc(TMessage& Message) override;

 private:
  // Pixels per value along the bar; 0 when the range or the bar is empty,
  // which puts every value at the margin.
  double Scale() const;
  int Extent() const { return orientation_ == toHorizontal ? Width() : Height(); }
  void LoadThumb(const char* Name);
  TBitmap* MakeOnRead(std::unique_ptr<TBitmap>& Slot);

  int position_ = 0, min_ = 0, max_ = 10;
  TTrackOrientation orientation_ = toHorizontal;
  TColor bar_color_;
  int bar_size_ = 10;
  uint16_t page_size_ = 1;
  TTickMark tick_marks_ = tmBottomRight;
  bool transparent_thumb_ = true;
  TCoolOptions options_ = 0;
  TPaintOptions paint_options_ = AllPaintOptions;
  TBevelCut bevel_inner_ = bvNone, bevel_outer_ = bvNone;
  std::unique_ptr<TBitmap> thumb_horz_, thumb_vert_, thumb_horz_sel_, thumb_vert_sel_;
  TBitmap thumb_;
  TRect thumb_rect_, bar_rect_;
  bool dragging_ = false;
  TCoolWallpaper wallpaper_{this};
};
