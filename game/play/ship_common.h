// Small helpers shared by the ship, weapon, bonus and effect sprites.
#pragma once

#include <cstdint>
#include <string>

#include "engine/sprite/image_sprite.h"

class TCustomDXImageList;

// The sprite every play sprite is made under: the form's sprite engine.
TSprite* PlayRoot();

// Gives Sprite the named picture of List and the picture's size
// ("Image '%s' not found" for an unknown name).
void SetPicture(TImageSprite* Sprite, TCustomDXImageList* List, const std::string& Name);

// Restarts the frame animation from frame 0.
void StartAnimation(TImageSprite* Sprite, int32_t Frames, double Speed, bool Looped);

// Shows or hides the ship with both mounts, its fire and both flames; a
// sprite already freed is skipped.
void ShowShipGroup(bool Show);
