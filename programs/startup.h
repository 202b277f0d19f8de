// What both programs do before their application runs and after it ends.
#pragma once

#include "engine/directx/directx.h"

// Starts the SDL backend and every area's driver. False (after telling the
// user) when the program cannot run at all.
bool StartPlatform(TDirectXBindingSet Binding);
// Frees the forms, the libraries loaded by name and the backend.
void StopPlatform();
