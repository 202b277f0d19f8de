// A grid of text cells with fixed header rows and a selected row: drawn on
// its canvas, a row chosen with the mouse or the arrow, Home and End keys.
#pragma once

#include <string>
#include <vector>

#include "framework/customctrls.h"

class TStringGrid : public TCustomControl {
 public:
  TAL_CLASS_NAME(TStringGrid)
  explicit TStringGrid(TComponent* AOwner);

  int ColCount() const { return col_count_; }
  void SetColCount(int Value);
  int RowCount() const { return row_count_; }
  void SetRowCount(int Value);
  int FixedRows() const { return fixed_rows_; }
  void SetFixedRows(int Value);
  int ColWidths(int Col) const;
  void SetColWidths(int Col, int Width);
  int DefaultRowHeight() const { return row_height_; }
  void SetDefaultRowHeight(int Value);
  // "" outside the grid.
  const std::string& Cells(int Col, int Row) const;
  void SetCells(int Col, int Row, const std::string& Text);
  // Empties every cell of a row.
  void ClearRow(int Row);
  // The selected row: a row below the fixed ones.
  int Row() const { return row_; }
  void SetRow(int Value);
  // The row at a point of the client area, or -1.
  int RowAtPos(int X, int Y) const;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  bool KeyDown(WORD& Key, TShiftState Shift) override;

 private:
  void Reshape();
  int col_count_ = 5, row_count_ = 5, fixed_rows_ = 1;
  int row_height_ = 24;
  int row_ = 1;
  std::vector<int> col_widths_;
  std::vector<std::vector<std::string>> cells_;  // [row][col]
};
