#include "setup/cool_trackbar.h"

#include <cmath>

#include "framework/sysutils.h"
#include "platform/gdi/gdi_draw.h"
#include "platform/win/vkeys.h"

TCoolTrackBar::TCoolTrackBar(TComponent* AOwner) : TCustomControl(AOwner), bar_color_(clWindow) {
  SetBounds(0, 0, 150, 40);
  SetTabStop(true);
  LoadThumb("THUMB_HORZ");
}

TCoolTrackBar::~TCoolTrackBar() = default;

void TCoolTrackBar::LoadThumb(const char* Name) {
  try {
    thumb_.LoadFromResourceName(Name);
  } catch (const Exception&) {
    // A program built without its thumbs still shows its bar and ticks.
    thumb_.Assign(nullptr);
  }
}

TBitmap* TCoolTrackBar::MakeOnRead(std::unique_ptr<TBitmap>& Slot) {
  if (!Slot) Slot = std::make_unique<TBitmap>();
  return Slot.get();
}

TBitmap* TCoolTrackBar::ThumbHorz() {
  return MakeOnRead(thumb_horz_);
}
TBitmap* TCoolTrackBar::ThumbVert() {
  return MakeOnRead(thumb_vert_);
}
TBitmap* TCoolTrackBar::ThumbHorzSelected() {
  return MakeOnRead(thumb_horz_sel_);
}
TBitmap* TCoolTrackBar::ThumbVertSelected() {
  return MakeOnRead(thumb_vert_sel_);
}

void TCoolTrackBar::SetThumbHorz(TBitmap* Value) {
  ThumbHorz()->Assign(Value);
  UpdateThumbBitmap();
  Invalidate();
}
void TCoolTrackBar::SetThumbVert(TBitmap* Value) {
  ThumbVert()->Assign(Value);
  UpdateThumbBitmap();
  Invalidate();
}
void TCoolTrackBar::SetThumbHorzSelected(TBitmap* Value) {
  ThumbHorzSelected()->Assign(Value);
  Invalidate();
}
void TCoolTrackBar::SetThumbVertSelected(TBitmap* Value) {
  ThumbVertSelected()->Assign(Value);
  Invalidate();
}

TBitmap* TCoolTrackBar::Wallpaper() {
  return wallpaper_.Bitmap();
}

void TCoolTrackBar::SetWallpaper(TBitmap* Value) {
  wallpaper_.SetBitmap(Value);
}

void TCoolTrackBar::SetCoolImages(TCoolImages* Value) {
  wallpaper_.SetImages(Value);
}

void TCoolTrackBar::Notification(TComponent* AComponent, bool Removing) {
  TCustomControl::Notification(AComponent, Removing);
  wallpaper_.Notification(AComponent, Removing);
}

void TCoolTrackBar::SetIdWallpaper(int Value) {
  wallpaper_.SetId(Value);
}

double TCoolTrackBar::Scale() const {
  int span = Extent() - 2 * BarMargin;
  if (max_ <= min_ || span <= 0) return 0.0;
  return static_cast<double>(span) / (static_cast<double>(max_) - min_);
}

void TCoolTrackBar::SetPosition(int Value) {
  if (Value == position_) return;
  position_ = std::clamp(Value, min_, max_);
  // Told even when clamping gave back the value it had.
  if (OnChange) OnChange(this);
  // The form's picture is the off-screen bitmap: the bar is painted into it
  // and shown now, not when the loop gets to it.
  Repaint();
}

void TCoolTrackBar::SetMinValue(int Value) {
  min_ = std::min(Value, max_);
  if (position_ < min_) position_ = min_;
  Invalidate();
}

void TCoolTrackBar::SetMaxValue(int Value) {
  max_ = std::max(Value, min_);
  if (position_ > max_) position_ = max_;
  Invalidate();
}

void TCoolTrackBar::SetOrientation(TTrackOrientation Value) {
  if (orientation_ == Value) return;
  orientation_ = Value;
  if (!Has(csLoading)) SetBounds(Left(), Top(), Width(), Height());
  UpdateThumbBitmap();
  Invalidate();
}

#define TAL_STORE_AND_REPAINT(Setter, Field, Type) \
  void TCoolTrackBar::Setter(Type Value) {         \
    if (Field == Value) return;                    \
    Field = Value;                                 \
    Invalidate();                                  \
  }
TAL_STORE_AND_REPAINT(SetBarColor, bar_color_, TColor)
TAL_STORE_AND_REPAINT(SetBarSize, bar_size_, int)
TAL_STORE_AND_REPAINT(SetTickMarks, tick_marks_, TTickMark)
TAL_STORE_AND_REPAINT(SetTransparentThumb, transparent_thumb_, bool)
TAL_STORE_AND_REPAINT(SetPaintOptions, paint_options_, TPaintOptions)
TAL_STORE_AND_REPAINT(SetBevelInner, bevel_inner_, TBevelCut)
TAL_STORE_AND_REPAINT(SetBevelOuter, bevel_outer_, TBevelCut)
#undef TAL_STORE_AND_REPAINT

void TCoolTrackBar::SetOptions(TCoolOptions Value) {
  options_ = Value;
  Invalidate();
  Perform(CM_COLORCHANGED, 0, 0);
}

void TCoolTrackBar::UpdateThumbBitmap() {
  bool vertical = orientation_ == toVertical;
  if (dragging_ || !Enabled()) {
    TBitmap* sel = vertical ? thumb_vert_sel_.get() : thumb_horz_sel_.get();
    if (sel && !sel->Empty())
      thumb_.Assign(sel);
    else
      LoadThumb(vertical ? "THUMB_VERT_INVERT" : "THUMB_HORZ_INVERT");
  } else {
    TBitmap* user = vertical ? thumb_vert_.get() : thumb_horz_.get();
    if (user && !user->Empty())
      thumb_.Assign(user);
    else
      LoadThumb(vertical ? "THUMB_VERT" : "THUMB_HORZ");
  }
}

void TCoolTrackBar::DrawTrackBar(TCanvas* Canvas) {
  if (orientation_ == toHorizontal) {
    int top = (Height() - bar_size_) / 2;
    bar_rect_ = TRect{BarMargin, top, Width() - BarMargin, top + bar_size_};
  } else {
    int left = (Width() - bar_size_) / 2;
    bar_rect_ = TRect{left, BarMargin, left + bar_size_, Height() - BarMargin};
  }
  Canvas->Brush()->SetColor(bar_color_);
  Canvas->Brush()->SetStyle(bsSolid);
  Canvas->FillRect(bar_rect_);
  DrawEdge(Canvas->Handle(), &bar_rect_, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
}

void TCoolTrackBar::DrawTicks(TCanvas* Canvas) {
  Canvas->Pen()->SetColor(clBlack);
  if (max_ < min_) return;
  const double k = Scale();
  // An empty scale puts every tick on the margin: one is enough.
  const int64_t count = k == 0.0 ? 0 : int64_t{max_} - min_;
  for (int64_t i = 0; i <= count; ++i) {
    int p = BarMargin + Trunc(static_cast<double>(i) * k);
    if (orientation_ == toHorizontal) {
      if (tick_marks_ == tmBottomRight || tick_marks_ == tmBoth) {
        Canvas->MoveTo(p, bar_rect_.Bottom + 8);
        Canvas->LineTo(p, bar_rect_.Bottom + 12);
      }
      if (tick_marks_ == tmTopLeft || tick_marks_ == tmBoth) {
        Canvas->MoveTo(p, bar_rect_.Top - 12);
        Canvas->LineTo(p, bar_rect_.Top - 8);
      }
    } else {
      if (tick_marks_ == tmBottomRight || tick_marks_ == tmBoth) {
        Canvas->MoveTo(bar_rect_.Right + 8, p);
        Canvas->LineTo(bar_rect_.Right + 12, p);
      }
      if (tick_marks_ == tmTopLeft || tick_marks_ == tmBoth) {
        Canvas->MoveTo(bar_rect_.Left - 12, p);
        Canvas->LineTo(bar_rect_.Left - 8, p);
      }
    }
  }
}

void TCoolTrackBar::DrawThumb(TCanvas* Canvas) {
  const double k = Scale();
  int centre = Trunc((BarMargin + Trunc(position_ * k)) - min_ * k);
  if (k == 0.0) centre = BarMargin;
  const int tw = thumb_.Width(), th = thumb_.Height();
  if (orientation_ == toHorizontal) {
    int left = centre - tw / 2, top = (Height() - th) / 2;
    thumb_rect_ = TRect{left, top, left + tw, top + th};
  } else {
    int top = centre - th / 2, left = (Width() - tw) / 2;
    thumb_rect_ = TRect{left, top, left + tw, top + th};
  }
  thumb_.SetTransparent(transparent_thumb_);
  Canvas->StretchDraw(thumb_rect_, &thumb_);
}

void TCoolTrackBar::Paint() {
  TCustomControl::Paint();
  TCanvas* c = Canvas();
  if (paint_options_ & PaintOption(poDrawTrackBar)) DrawTrackBar(c);
  if (paint_options_ & PaintOption(poDrawTicks)) DrawTicks(c);
  if (paint_options_ & PaintOption(poDrawThumb)) DrawThumb(c);
  TRect r = ClientRect();
  auto cut = [](TBevelCut b) { return b == bvLowered || b == bvRaised; };
  if (cut(bevel_inner_) || cut(bevel_outer_)) {
    uint32_t edge = 0;
    if (bevel_inner_ == bvLowered) edge |= BDR_SUNKENINNER;
    if (bevel_inner_ == bvRaised) edge |= BDR_RAISEDINNER;
    if (bevel_outer_ == bvLowered) edge |= BDR_SUNKENOUTER;
    if (bevel_outer_ == bvRaised) edge |= BDR_RAISEDOUTER;
    TRect e = r;
    DrawEdge(c->Handle(), &e, edge, BF_RECT);
    r = TRect{r.Left + 2, r.Top + 2, r.Right - 2, r.Bottom - 2};
  }
  if ((paint_options_ & PaintOption(poDrawFocusRect)) && CanFocus() && Focused())
    DrawFocusRect(c->Handle(), r);
}

bool TCoolTrackBar::KeyDown(WORD& Key, TShiftState Shift) {
  bool eaten = TCustomControl::KeyDown(Key, Shift);
  if (eaten || !Enabled()) return eaten;
  switch (Key) {
    case VK_PRIOR:
      SetPosition(position_ - page_size_);
      break;
    case VK_NEXT:
      SetPosition(position_ + page_size_);
      break;
    case VK_END:
      SetPosition(max_);
      break;
    case VK_HOME:
      SetPosition(min_);
      break;
    case VK_LEFT:
    case VK_UP:
      if (position_ > min_) SetPosition(position_ - 1);
      break;
    case VK_RIGHT:
    case VK_DOWN:
      if (position_ < max_) SetPosition(position_ + 1);
      break;
    default:
      break;
  }
  return false;
}

void TCoolTrackBar::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft || !Enabled()) return;
  if (CanFocus()) SetFocus();
  const TRect& t = thumb_rect_;
  if (X >= t.Left && X < t.Right && Y >= t.Top && Y < t.Bottom) {
    dragging_ = true;
    if (paint_options_ & PaintOption(poDrawThumbStates)) UpdateThumbBitmap();
    InvalidateThumb();
    return;
  }
  if (X < 0 || Y < 0 || X >= Width() || Y >= Height()) return;
  if (orientation_ == toHorizontal) {
    if (X > t.Right)
      SetPosition(position_ + 1);
    else if (X < t.Left)
      SetPosition(position_ - 1);
  } else {
    if (Y > t.Bottom)
      SetPosition(position_ + 1);
    else if (Y < t.Top)
      SetPosition(position_ - 1);
  }
}

void TCoolTrackBar::MouseMove(TShiftState Shift, int X, int Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  if (!dragging_) return;
  const int span = Extent() - 2 * BarMargin;
  // An empty scale has nothing to drag along.
  if (span <= 0 || max_ <= min_) return;
  const double perPixel = (static_cast<double>(max_) - min_) / span;
  const int offset = orientation_ == toHorizontal ? X - thumb_rect_.Left - thumb_rect_.Width() / 2
                                                  : Y - thumb_rect_.Top - thumb_rect_.Height() / 2;
  int64_t target = int64_t{position_} + Round(perPixel * offset);
  SetPosition(static_cast<int>(std::clamp<int64_t>(target, INT32_MIN, INT32_MAX)));
}

void TCoolTrackBar::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseUp(Button, Shift, X, Y);
  dragging_ = false;
  if (paint_options_ & PaintOption(poDrawThumbStates)) UpdateThumbBitmap();
  InvalidateThumb();
}

void TCoolTrackBar::InvalidateThumb() {
  InvalidateArea(this, thumb_rect_, true);
}

void TCoolTrackBar::Loaded() {
  TCustomControl::Loaded();
  UpdateThumbBitmap();
}

void TCoolTrackBar::Resize() {
  TCustomControl::Resize();
  SetOrientation(Width() < Height() ? toVertical : toHorizontal);
}

bool TCoolTrackBar::PaintWallpaper(HDC DC, const TRect& Rect, uint32_t Rop, bool Tile) {
  return wallpaper_.Paint(DC, Rect, Rop, Tile);
}

void TCoolTrackBar::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case WM_GETDLGCODE:
      Message.Result = DLGC_WANTARROWS;
      return;
    case WM_ERASEBKGND: {
      auto* dc = reinterpret_cast<HDC>(Message.WParam);
      if (dc && (options_ & CoolOption(ocPaintTransparently))) {
        PaintParentBackground(this, dc);
        Message.Result = 1;
        return;
      }
      if (dc && (options_ & CoolOption(ocPaintWallpaper)) &&
          PaintWallpaper(dc, ClientRect(), SRCCOPY,
                         (options_ & CoolOption(ocTileWallpaper)) != 0)) {
        Message.Result = 1;
        return;
      }
      break;
    }
    case CM_ENABLEDCHANGED:
      UpdateThumbBitmap();
      Invalidate();
      break;
    case CM_PARENTCOLORCHANGED:
      if (options_ & CoolOption(ocPaintTransparently)) Invalidate();
      break;
    default:
      break;
  }
  TCustomControl::WndProc(Message);
}
