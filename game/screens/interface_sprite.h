// The sprite classes of the interface: every interface picture, the mouse
// cursor that is also the menu controller, and the volume-bar sprites.
#pragma once

#include <array>
#include <cstdint>

#include "engine/sprite/image_sprite.h"

// Clears the game-wide pointers to a sprite that is going away.
void ForgetPlaySprite(TSprite* Sprite);

// Each interface sprite moves the doors, the banner, the door digits and the
// face once per frame of its own, so those speeds grow with the number of
// interface sprites in existence (the timing of the transitions counts on it).
class TInterFaceSprite : public TImageSprite {
 public:
  TAL_CLASS_NAME(TInterFaceSprite)
  using TImageSprite::TImageSprite;
  void DoMove(int32_t MoveCount) override;
};

// The mouse cursor; its move step is the menu controller.
class TCursorImage : public TImageSprite {
 public:
  TAL_CLASS_NAME(TCursorImage)
  using TImageSprite::TImageSprite;
  ~TCursorImage() override { ForgetPlaySprite(this); }
  void DoMove(int32_t MoveCount) override;
};

// A part of a volume bar; its move step is the sound-options controller.
class TProgressSprite : public TImageSprite {
 public:
  TAL_CLASS_NAME(TProgressSprite)
  using TImageSprite::TImageSprite;
  void DoMove(int32_t MoveCount) override;
};

// A volume bar: caption, minus and plus buttons, ten elements and a level.
struct TVolumeBar {
  TProgressSprite* Caption = nullptr;
  TProgressSprite* Minus = nullptr;
  TProgressSprite* Plus = nullptr;
  std::array<TProgressSprite*, 11> Elements{};  // 1..10
  int32_t Level = 0;
};
