// The push button: raised face, pressed look while the left button is held
// on it, a focus frame, and clicks from the mouse, Space or Enter.
#pragma once

#include "framework/customctrls.h"

class TBitBtn : public TCustomControl {
 public:
  TAL_CLASS_NAME(TBitBtn)
  explicit TBitBtn(TComponent* AOwner);
  bool Down() const { return down_; }

 protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  bool KeyDown(WORD& Key, TShiftState Shift) override;

 private:
  bool down_ = false;      // drawn pressed
  bool tracking_ = false;  // the left button went down on it
};

using TButton = TBitBtn;
