// A check box: a box and its caption; a click or Space turns it over.
#pragma once

#include "framework/customctrls.h"

class TCheckBox : public TCustomControl {
 public:
  TAL_CLASS_NAME(TCheckBox)
  explicit TCheckBox(TComponent* AOwner);
  bool Checked() const { return checked_; }
  // Setting it from the program reports no click.
  void SetChecked(bool Value);

 protected:
  void Paint() override;
  void Click() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  bool KeyDown(WORD& Key, TShiftState Shift) override;

 private:
  bool checked_ = false;
};
