// What the screens share among themselves: pictures by name, the button
// rule, and the sounds of the interface.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/sprite/image_sprite.h"

class TImageSprite;
class TSprite;
class TDXImageList;
class TDXWaveList;

// Gives Sprite the picture Name of List, with its size ("Image '%s' not
// found" when the list lacks it). Nothing happens when it already shows it.
void SetPicture(TImageSprite* Sprite, TDXImageList* List, const std::string& Name);
// The name of the picture Sprite shows; empty for none.
std::string PictureName(const TImageSprite* Sprite);
// The cursor lies on Sprite, edges included.
bool CursorOver(const TImageSprite* Sprite);

// The menus' button rule for a button of InterFaceList with the pictures
// Plain and Plain + "_lighted". Sounds: "menu1" on entering, "menu2" on a
// click. True when the button was clicked (the click is then consumed).
bool MenuButton(TImageSprite* Button, const std::string& Plain, bool Sounds = true,
                TDXImageList* List = nullptr);

// Plays a wave once at Volume (hundredths of a decibel) and Pan; a pan
// outside -10000..10000 leaves the wave's own.
void PlayWave(TDXWaveList* List, const std::string& Name, int32_t Volume, int32_t Pan = INT32_MIN);
// An effect at the effect level, when that is above 0.
void PlayMenuSound(const std::string& Name);

// Told of every wave the screens play (tests listen here).
extern std::function<void(const std::string& Name, int32_t Volume, int32_t Pan)> OnScreenSound;

// The root of the sprite tree every interface sprite hangs on.
TSprite* SpriteRoot();

// Creates an interface sprite of class T on the sprite engine with a picture
// of List, at X, Y and Z.
template <class T>
T* MakeInterfaceSprite(TDXImageList* List, const std::string& Picture, double X, double Y,
                       int32_t Z, bool Visible) {
  auto* s = new T(SpriteRoot());
  SetPicture(s, List, Picture);
  s->X = X;
  s->Y = Y;
  s->SetZ(Z);
  s->Visible = Visible;
  return s;
}

// The menu music from its beginning, at the music level (nothing at level 0).
void StartMenuMusic();
// The music player's volume from the music level.
void ApplyMusicVolume();
// Whether the music player holds a file.
bool MusicFileOpen();

// Shows or hides a sprite that may not exist.
void ShowSprite(TImageSprite* Sprite, bool Visible);

// The book page's art and model for enemy type 1..19.
void ShowBookType(int32_t Type);
