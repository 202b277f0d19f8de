#include "platform/backend/sdl/sdl_paint.h"

#include <cstdio>

void SdlPresentWindowPixels(SDL_Window* Window, const uint32_t* Pixels, int Width, int Height) {
  if (!Window || !Pixels || Width <= 0 || Height <= 0) return;
  SDL_Surface* target = SDL_GetWindowSurface(Window);
  if (!target) {
    std::fprintf(stderr, "Cannot paint the window: %s\n", SDL_GetError());
    return;
  }
  SDL_Surface* picture = SDL_CreateRGBSurfaceWithFormatFrom(
      const_cast<uint32_t*>(Pixels), Width, Height, 32, Width * 4, SDL_PIXELFORMAT_RGB888);
  if (!picture) return;
  SDL_SetSurfaceBlendMode(picture, SDL_BLENDMODE_NONE);
  SDL_BlitSurface(picture, nullptr, target, nullptr);
  SDL_FreeSurface(picture);
  SDL_UpdateWindowSurface(Window);
}
