#include "framework/image.h"

TImage::TImage(TComponent* AOwner) : TGraphicControl(AOwner) {
  SetBounds(0, 0, 105, 105);
  picture_.OnChange = [this](TObject*) { Invalidate(); };
}

void TImage::SetStretch(bool v) {
  if (stretch_ == v) return;
  stretch_ = v;
  Invalidate();
}

void TImage::Paint() {
  TGraphic* g = picture_.Graphic();
  if (!g || g->Empty()) return;
  if (stretch_)
    Canvas()->StretchDraw(ClientRect(), g);
  else
    Canvas()->Draw(0, 0, g);
}
