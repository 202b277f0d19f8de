// The real audio device: the mixer feeds SDL's default output from SDL's
// audio thread.
#pragma once

// Registers "DSound.dll" and opens the default audio device (44.1 kHz, 16-bit stereo) and makes it
// the mixer's output. Without a device the mixer keeps playing into nothing and the call returns
// false; the game then runs silently.
bool SdlInstallAudio();
// Closes the device; the mixer goes back to playing into nothing.
void UninstallSdlAudio();
