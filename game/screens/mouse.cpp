// The display's mouse events: the click flags the menus and the ship read,
// and the position the cursor follows.
#include <algorithm>

#include "framework/sysutils.h"
#include "game/core/main_form.h"
#include "game/screens/interface_sprite.h"

void TMainForm::DXDrawMouseDown(TObject*, TMouseButton, TShiftState Shift, int, int) {
  if (Shift & ssRight) RightClickFlag = true;
  if (Shift & ssLeft) ClickFlag = true;
}

void TMainForm::DXDrawMouseUp(TObject*, TMouseButton, TShiftState, int, int) {
  RightClickFlag = false;
}

void TMainForm::DXDrawMouseMove(TObject*, TShiftState, int X, int Y) {
  MouseX = X;
  MouseY = Y;
  if (CursorSprite) {
    CursorSprite->X = X;
    CursorSprite->Y = Y;
  }
  MouseX = std::clamp(MouseX, 100, 730);
  // In play the whole width of the screen maps onto the ship's lane.
  if (GameState == "game") MouseX = Trunc(X * 0.7875 + 100);
}
