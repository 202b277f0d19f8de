// The list box, the string grid and the check box, driven by the mouse and
// the keys on a form that paints its client area.
#include <gtest/gtest.h>

#include "framework/checkbox.h"
#include "framework/dialog_test_fixture.h"
#include "framework/grids.h"
#include "framework/listbox.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/gdi_draw.h"
#include "platform/win/vkeys.h"

namespace {

using ChoiceControls = DialogControls;

// A colour as the form's picture holds it (0x00RRGGBB).
uint32_t Rgb(TColor C) {
  const auto c = static_cast<uint32_t>(ColorToRGB(C));
  return (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF);
}

TEST_F(ChoiceControls, AListBoxSelectsByMouseAndKeysAndShowsTheSelection) {
  auto* list = new TListBox(form_);
  list->SetParent(form_);
  list->SetBounds(0, 0, 100, 40);  // two lines of 16 in sight
  list->Items = {"one", "two", "three"};
  list->Changed();
  int clicks = 0;
  list->OnClick = [&](TObject*) { ++clicks; };
  form_->Show();
  Application->ProcessMessages();
  EXPECT_EQ(list->ItemIndex(), -1);
  EXPECT_EQ(Pixel(90, 10), Rgb((clWindow)));

  Click(50, 2 + 16 + 5);
  EXPECT_EQ(list->ItemIndex(), 1);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(Pixel(90, 2 + 16 + 5), Rgb((clHighlight)));
  Click(50, 38);  // below the last line in sight, inside the frame
  EXPECT_EQ(list->ItemIndex(), 1);
  EXPECT_EQ(clicks, 2) << "a click is a click, even beside the lines";

  struct TKey {
    WORD Key;
    int Index;
  };
  for (const TKey& k :
       {TKey{VK_DOWN, 2}, TKey{VK_DOWN, 2}, TKey{VK_HOME, 0}, TKey{VK_UP, 0}, TKey{VK_END, 2}}) {
    Post(WM_KEYDOWN, k.Key, 1);
    EXPECT_EQ(list->ItemIndex(), k.Index) << k.Key;
  }
  EXPECT_EQ(list->TopIndex(), 1) << "the selected line scrolled into sight";
  EXPECT_EQ(clicks, 5) << "a key that moves nothing reports nothing";
  list->Items.clear();
  list->Changed();
  EXPECT_EQ(list->ItemIndex(), -1);
  Post(WM_KEYDOWN, VK_DOWN, 1);
  EXPECT_EQ(list->ItemIndex(), -1);
}

TEST_F(ChoiceControls, AStringGridKeepsCellsAndSelectsRowsBelowItsHeader) {
  auto* grid = new TStringGrid(form_);
  grid->SetParent(form_);
  grid->SetBounds(0, 0, 110, 78);
  grid->SetColCount(2);
  grid->SetRowCount(4);
  grid->SetFixedRows(1);
  grid->SetDefaultRowHeight(20);
  grid->SetColWidths(0, 50);
  grid->SetColWidths(1, 40);
  grid->SetCells(1, 2, "b");
  EXPECT_EQ(grid->Cells(1, 2), "b");
  EXPECT_EQ(grid->Cells(5, 2), "") << "outside the grid";
  grid->SetCells(9, 9, "nowhere");
  EXPECT_EQ(grid->Row(), 1);
  form_->Show();
  Application->ProcessMessages();
  EXPECT_EQ(Pixel(20, 10), Rgb((clBtnFace))) << "the header row";
  EXPECT_EQ(Pixel(20, 30), Rgb((clHighlight)));

  Click(20, 65);
  EXPECT_EQ(grid->Row(), 3);
  Click(20, 5);
  EXPECT_EQ(grid->Row(), 3) << "the header is not a row to choose";
  Post(WM_KEYDOWN, VK_UP, 1);
  EXPECT_EQ(grid->Row(), 2);
  Post(WM_KEYDOWN, VK_HOME, 1);
  EXPECT_EQ(grid->Row(), 1);
  Post(WM_KEYDOWN, VK_UP, 1);
  EXPECT_EQ(grid->Row(), 1);
  Post(WM_KEYDOWN, VK_END, 1);
  EXPECT_EQ(grid->Row(), 3);
  grid->ClearRow(2);
  EXPECT_EQ(grid->Cells(1, 2), "");
  grid->SetRowCount(2);
  EXPECT_EQ(grid->Row(), 1) << "the selection stays inside a smaller grid";
}

TEST_F(ChoiceControls, ACheckBoxTurnsOverOnAClickOrSpace) {
  auto* box = new TCheckBox(form_);
  box->SetParent(form_);
  box->SetBounds(5, 5, 100, 17);
  box->SetCaption("Check");
  std::vector<bool> seen;
  box->OnClick = [&](TObject*) { seen.push_back(box->Checked()); };
  form_->Show();
  Application->ProcessMessages();
  Click(10, 10);
  EXPECT_TRUE(box->Checked());
  Post(WM_KEYDOWN, VK_SPACE, 1);
  EXPECT_FALSE(box->Checked());
  EXPECT_EQ(seen, (std::vector<bool>{true, false})) << "the new state is seen by the handler";
  box->SetChecked(true);
  EXPECT_EQ(seen.size(), 2u) << "set by the program: no click";
  box->SetEnabled(false);
  Click(10, 10);
  EXPECT_TRUE(box->Checked());
}

}  // namespace
