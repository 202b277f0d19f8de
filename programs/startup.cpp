#include "programs/startup.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/directx/directx.h"
#include "framework/forms.h"
#include "platform/backend/sdl/sdl_audio.h"
#include "platform/backend/sdl/sdl_core.h"
#include "platform/backend/sdl/sdl_ending.h"
#include "platform/backend/sdl/sdl_input.h"
#include "platform/backend/sdl/sdl_video.h"
#include "platform/ddraw/ddraw.h"
#include "platform/dsound/dsound.h"

namespace {

// Without a display SDL falls back to drawing off screen, where the program
// would run with nobody able to see or close it. Such a driver serves only
// whoever asks for it by name.
bool OnAScreen() {
  if (std::getenv("SDL_VIDEODRIVER")) return true;
  const char* driver = SDL_GetCurrentVideoDriver();
  return driver && std::strcmp(driver, "offscreen") != 0 && std::strcmp(driver, "dummy") != 0;
}

}  // namespace

bool StartPlatform(TDirectXBindingSet Binding) {
  SdlInstallEndSignals();
  const bool started = SdlInstall();
  if (!started || !OnAScreen()) {
    if (started) SdlUninstall();
    std::fprintf(stderr, "The program needs a display to run.\n");
    return false;
  }
  // ---- Area drivers -------------------------------------------------------
  // Each area registers its built-in library and installs its SDL driver
  // here. A new area adds its pair of calls here and in StopPlatform.
  DDRegisterModule();  // "DDraw.dll"
  SdlInstallVideo();
  RegisterDirectSoundModule();  // "DSound.dll"
  // Without an audio device the mixer plays into nothing: the game runs
  // silently rather than not at all.
  SdlInstallAudio();
  SdlInstallInput();  // "DInput.dll", keyboard, mouse, joysticks
  // ---------------------------------------------------------------------------
  LoadDirectXBinding(Binding);
  return true;
}

void StopPlatform() {
  // The forms go first: their components still talk to the backend.
  while (Application->ComponentCount() > 0)
    delete Application->Components(Application->ComponentCount() - 1);
  FreeDirectXLibraries();
  FreeDirectXBinding();
  SdlInputUninstall();
  UninstallSdlAudio();
  SdlUninstallVideo();
  SdlUninstall();
}
