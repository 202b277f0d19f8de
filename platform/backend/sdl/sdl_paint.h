// Painted client areas of dialog windows, shown through the window's own
// surface (such windows never get a renderer).
#pragma once

#include <SDL.h>

#include <cstdint>

void SdlPresentWindowPixels(SDL_Window* Window, const uint32_t* Pixels, int Width, int Height);
