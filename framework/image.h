// The picture control: shows a graphic at its size or stretched to the
// control.
#pragma once

#include "framework/customctrls.h"
#include "framework/graphics.h"

class TImage : public TGraphicControl {
 public:
  TAL_CLASS_NAME(TImage)
  explicit TImage(TComponent* AOwner);
  TPicture* Picture() { return &picture_; }
  bool Stretch() const { return stretch_; }
  void SetStretch(bool v);

 protected:
  void Paint() override;

 private:
  TPicture picture_;
  bool stretch_ = false;
};
