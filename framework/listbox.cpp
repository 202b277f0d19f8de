#include "framework/listbox.h"

#include <algorithm>

#include "platform/gdi/gdi_draw.h"
#include "platform/win/vkeys.h"

TListBox::TListBox(TComponent* AOwner) : TCustomControl(AOwner) {
  SetBounds(0, 0, 121, 97);
  SetTabStop(true);
  SetColor(clWindow);
}

void TListBox::Changed() {
  if (item_index_ >= static_cast<int>(Items.size())) item_index_ = -1;
  top_index_ = std::clamp(top_index_, 0, std::max(0, static_cast<int>(Items.size()) - 1));
  Invalidate();
}

void TListBox::SetItemIndex(int Value) {
  if (Value < -1 || Value >= static_cast<int>(Items.size())) Value = -1;
  if (Value == item_index_) return;
  item_index_ = Value;
  // The selected line is always in sight.
  if (Value >= 0) {
    if (Value < top_index_) top_index_ = Value;
    if (Value >= top_index_ + VisibleLines()) top_index_ = Value - VisibleLines() + 1;
  }
  Invalidate();
}

void TListBox::SetItemHeight(int Value) {
  item_height_ = std::max(1, Value);
  Invalidate();
}

int TListBox::VisibleLines() const {
  return std::max(1, (Height() - 4) / item_height_);
}

int TListBox::ItemAtPos(int X, int Y) const {
  if (X < 0 || X >= Width() || Y < 2 || Y >= Height() - 2) return -1;
  const int i = top_index_ + (Y - 2) / item_height_;
  return i < static_cast<int>(Items.size()) ? i : -1;
}

void TListBox::Select(int Index, bool ByKey) {
  const int before = item_index_;
  SetItemIndex(Index);
  // A click of the mouse reports itself when the button comes up.
  if (ByKey && item_index_ != before) Click();
}

void TListBox::Paint() {
  HDC dc = Canvas()->Handle();
  if (!dc) return;
  TRect r = ClientRect();
  dc->FillSolid(r, Color());
  DrawEdge(dc, &r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
  dc->Font = Font()->Data();
  dc->BkMode = TRANSPARENT;
  for (int i = top_index_; i < static_cast<int>(Items.size()); ++i) {
    const int y = r.Top + (i - top_index_) * item_height_;
    if (y >= r.Bottom) break;
    TRect line{r.Left, y, r.Right, std::min(y + item_height_, r.Bottom)};
    const bool selected = i == item_index_;
    if (selected) dc->FillSolid(line, clHighlight);
    dc->Font.Color = selected ? clHighlightText : clWindowText;
    TRect text{line.Left + 2, line.Top, line.Right, line.Bottom};
    DrawTextA(dc, Items[static_cast<size_t>(i)], -1, &text,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    if (selected && Focused()) DrawFocusRect(dc, line);
  }
}

void TListBox::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft) {
    if (CanFocus()) SetFocus();
    const int i = ItemAtPos(X, Y);
    if (i >= 0) Select(i, false);
  }
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

bool TListBox::KeyDown(WORD& Key, TShiftState Shift) {
  const int n = static_cast<int>(Items.size());
  if (n > 0) {
    switch (Key) {
      case VK_UP:
        Select(std::max(0, item_index_ - 1), true);
        return true;
      case VK_DOWN:
        Select(std::min(n - 1, item_index_ + 1), true);
        return true;
      case VK_HOME:
        Select(0, true);
        return true;
      case VK_END:
        Select(n - 1, true);
        return true;
      default:
        break;
    }
  }
  return TCustomControl::KeyDown(Key, Shift);
}
