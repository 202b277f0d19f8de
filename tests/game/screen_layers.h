// What a screen is made of, as the player sees it: every visible sprite
// (the cursor aside) and every line of overlay text, bottom to top, each
// with the pixels it covers and the boxes of the words or digits it carries.
// A sprite's words are where the data generator drew letters into its
// picture; an overlay line's are the pixels its letters cover.
//
// The checks read a screen the way a player does: words must not be cut or
// covered by another picture, nor sit on a picture that is not their ground,
// and they need a contrast of 4.5:1 against what lies under them. A short
// table says which overlaps are meant.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win/geometry.h"

class TImageSprite;

struct TTextBox {
  TRect Box;         // on the screen
  uint32_t Ink = 0;  // 0xRRGGBB as the screen shows it
  std::string Text;
};

struct TLayer {
  std::string Name;                      // the game's name for the sprite, or "Overlay"
  const TImageSprite* Sprite = nullptr;  // none for overlay text
  TRect Bounds{};                        // on the screen
  std::vector<uint8_t> Opaque;           // one byte a pixel of Bounds
  std::vector<TTextBox> Texts;

  bool OpaqueAt(int X, int Y) const {
    return X >= Bounds.Left && X < Bounds.Right && Y >= Bounds.Top && Y < Bounds.Bottom &&
           Opaque[static_cast<size_t>(Y - Bounds.Top) * static_cast<size_t>(Bounds.Width()) +
                  static_cast<size_t>(X - Bounds.Left)];
  }
};

struct TScreenPicture {
  std::vector<TLayer> Layers;     // in drawing order
  std::vector<uint32_t> Sprites;  // 800 x 600, 0xRRGGBB: the sprites alone, without the texts
};

// Takes the current screen apart. It draws on the back surface, which the
// next frame clears: call it between frames.
TScreenPicture TakeScreenApart();

// Every fault a player would see on the screen, one line each; empty when
// the screen reads cleanly.
std::vector<std::string> ScreenFaults(const TScreenPicture& Screen);
