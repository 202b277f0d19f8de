// The sprite classes of the interface: every interface picture, the mouse
// cursor that is also the menu controller, and the volume-bar sprites.
#pragma once

#include <array>
#include <cstdint>

#include "engine/sprite/image_sprite.h"

class TInterFaceSprite : public TImageSprite {
 public:
  TAL_CLASS_NAME(TInterFaceSprite)
  using TImageSprite::TImageSprite;
};

class TCursorImage : public TImageSprite {
 public:
  TAL_CLASS_NAME(TCursorImage)
  using TImageSprite::TImageSprite;
};

class TProgressSprite : public TImageSprite {
 public:
  TAL_CLASS_NAME(TProgressSprite)
  using TImageSprite::TImageSprite;
};

// A volume bar: caption, minus and plus buttons, ten elements and a level.
struct TVolumeBar {
  TProgressSprite* Caption = nullptr;
  TProgressSprite* Minus = nullptr;
  TProgressSprite* Plus = nullptr;
  std::array<TProgressSprite*, 11> Elements{};  // 1..10
  int32_t Level = 0;
};
