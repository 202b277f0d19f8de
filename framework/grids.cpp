#include "framework/grids.h"

#include <algorithm>

#include "platform/gdi/gdi_draw.h"
#include "platform/win/vkeys.h"

namespace {
const std::string kNoText;
constexpr int kDefaultColWidth = 64;
}  // namespace

TStringGrid::TStringGrid(TComponent* AOwner) : TCustomControl(AOwner) {
  SetBounds(0, 0, 320, 120);
  SetTabStop(true);
  SetColor(clWindow);
  Reshape();
}

void TStringGrid::Reshape() {
  col_widths_.resize(static_cast<size_t>(col_count_), kDefaultColWidth);
  cells_.resize(static_cast<size_t>(row_count_));
  for (auto& r : cells_) r.resize(static_cast<size_t>(col_count_));
  fixed_rows_ = std::min(fixed_rows_, std::max(0, row_count_ - 1));
  row_ = std::clamp(row_, fixed_rows_, std::max(fixed_rows_, row_count_ - 1));
  Invalidate();
}

void TStringGrid::SetColCount(int Value) {
  col_count_ = std::max(1, Value);
  Reshape();
}

void TStringGrid::SetRowCount(int Value) {
  row_count_ = std::max(1, Value);
  Reshape();
}

void TStringGrid::SetFixedRows(int Value) {
  fixed_rows_ = std::max(0, Value);
  Reshape();
}

int TStringGrid::ColWidths(int Col) const {
  return Col >= 0 && Col < col_count_ ? col_widths_[static_cast<size_t>(Col)] : 0;
}

void TStringGrid::SetColWidths(int Col, int Width) {
  if (Col < 0 || Col >= col_count_) return;
  col_widths_[static_cast<size_t>(Col)] = std::max(0, Width);
  Invalidate();
}

void TStringGrid::SetDefaultRowHeight(int Value) {
  row_height_ = std::max(1, Value);
  Invalidate();
}

const std::string& TStringGrid::Cells(int Col, int Row) const {
  if (Col < 0 || Col >= col_count_ || Row < 0 || Row >= row_count_) return kNoText;
  return cells_[static_cast<size_t>(Row)][static_cast<size_t>(Col)];
}

void TStringGrid::SetCells(int Col, int Row, const std::string& Text) {
  if (Col < 0 || Col >= col_count_ || Row < 0 || Row >= row_count_) return;
  cells_[static_cast<size_t>(Row)][static_cast<size_t>(Col)] = Text;
  Invalidate();
}

void TStringGrid::ClearRow(int Row) {
  if (Row < 0 || Row >= row_count_) return;
  for (auto& c : cells_[static_cast<size_t>(Row)]) c.clear();
  Invalidate();
}

void TStringGrid::SetRow(int Value) {
  if (Value < fixed_rows_ || Value >= row_count_ || Value == row_) return;
  row_ = Value;
  Invalidate();
}

int TStringGrid::RowAtPos(int X, int Y) const {
  if (X < 0 || X >= Width() || Y < 0) return -1;
  const int r = Y / row_height_;
  return r < row_count_ ? r : -1;
}

void TStringGrid::Paint() {
  HDC dc = Canvas()->Handle();
  if (!dc) return;
  dc->FillSolid(ClientRect(), Color());
  dc->Font = Font()->Data();
  dc->BkMode = TRANSPARENT;
  for (int r = 0; r < row_count_; ++r) {
    const int y = r * row_height_;
    if (y >= Height()) break;
    int x = 0;
    for (int c = 0; c < col_count_; ++c) {
      const int w = col_widths_[static_cast<size_t>(c)];
      TRect cell{x, y, x + w, y + row_height_};
      const bool fixed = r < fixed_rows_;
      const bool selected = !fixed && r == row_;
      if (fixed)
        dc->FillSolid(cell, clBtnFace);
      else if (selected)
        dc->FillSolid(cell, clHighlight);
      dc->Brush.Color = clBtnShadow;
      dc->FrameRect(TRect{cell.Left, cell.Top, cell.Right + 1, cell.Bottom + 1});
      dc->Font.Color = selected ? clHighlightText : clWindowText;
      TRect text{cell.Left + 2, cell.Top, cell.Right - 2, cell.Bottom};
      DrawTextA(dc, cells_[static_cast<size_t>(r)][static_cast<size_t>(c)], -1, &text,
                DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
      x += w + 1;
    }
  }
}

void TStringGrid::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft) {
    if (CanFocus()) SetFocus();
    SetRow(RowAtPos(X, Y));
  }
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

bool TStringGrid::KeyDown(WORD& Key, TShiftState Shift) {
  switch (Key) {
    case VK_UP:
      SetRow(row_ - 1);
      return true;
    case VK_DOWN:
      SetRow(row_ + 1);
      return true;
    case VK_HOME:
      SetRow(fixed_rows_);
      return true;
    case VK_END:
      SetRow(row_count_ - 1);
      return true;
    default:
      return TCustomControl::KeyDown(Key, Shift);
  }
}
