// The settings record that both programs keep in game.INI's [Options].
#pragma once

#include <cstdint>

struct TGameOptions {
  int32_t SoundFxLevel = 8;
  int32_t MusicLevel = 8;
  int32_t RadioVoxLevel = 8;
  int32_t Channels = 0;  // 0 mono, 1 stereo, 2 reversed stereo
  bool RocketSmoke = true;
  int32_t Brightness = 50;
  int32_t Splinters = 2;
  // The control mode in force (0 while control is taken away) and the one
  // chosen, which comes back into Controls when control returns.
  int32_t Controls = 1;
  int32_t SavedControls = 1;
  int32_t Bumpiness = 1;
  // Not in the file: always on.
  bool Asteroids = true;
  bool PageFlip = true;
  bool FPS = false;
  bool UDI = false;
};
