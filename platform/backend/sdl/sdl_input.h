// The SDL side of input: keyboard, mouse and joystick events feed the input
// host, SDL joysticks become the host's joysticks, and SDL haptic devices
// play their force-feedback effects.
#pragma once

#include <SDL.h>

#include <cstdint>

#include "platform/dinput/input_host.h"

// Registers "DInput.dll", opens the joysticks present and follows SDL's
// events from then on. Needs SdlInstall first. Joysticks and force feedback
// are optional: without them the keyboard and mouse still work.
void SdlInstallInput();
void SdlInputUninstall();

// SDL's renderer already maps mouse positions onto the logical picture it
// scales into Window, but a point on the bars beside or above the picture
// lands outside it (x < 0 or x >= 800 in the game). This keeps such a point
// on the picture's edge, as the pointer of a real 800 x 600 screen would
// be; windows without a logical picture are left alone.
void SdlClampToPicture(SDL_Window* Window, int32_t& X, int32_t& Y);

// SDL's hat position as a point-of-view value: hundredths of a degree
// clockwise from up, or -1 when centred.
int32_t HatToPov(uint8_t Hat);
// An effect as SDL's haptic API takes it; false for a kind SDL cannot play.
bool ToSdlHapticEffect(const THapticEffect& Effect, SDL_HapticEffect& Out);
