// A list of text lines with one selected line: drawn on its canvas, chosen
// with the mouse or the arrow, Home and End keys.
#pragma once

#include <string>
#include <vector>

#include "framework/customctrls.h"

class TListBox : public TCustomControl {
 public:
  TAL_CLASS_NAME(TListBox)
  explicit TListBox(TComponent* AOwner);

  // The lines; after changing them directly, call Changed.
  std::vector<std::string> Items;
  void Changed();
  // -1 when no line is selected.
  int ItemIndex() const { return item_index_; }
  void SetItemIndex(int Value);
  int ItemHeight() const { return item_height_; }
  void SetItemHeight(int Value);
  int TopIndex() const { return top_index_; }
  // The line at a point of the client area, or -1.
  int ItemAtPos(int X, int Y) const;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  bool KeyDown(WORD& Key, TShiftState Shift) override;

 private:
  void Select(int Index, bool ByKey);
  int VisibleLines() const;
  int item_index_ = -1;
  int item_height_ = 16;
  int top_index_ = 0;
};
