#include "platform/backend/sdl/sdl_audio.h"

#include <SDL.h>

#include <cstdio>
#include <memory>

#include "platform/dsound/dsound.h"
#include "platform/dsound/mixer.h"

namespace {

class TSdlAudioOutput : public TAudioOutput {
 public:
  TSdlAudioOutput(SDL_AudioDeviceID Device, uint32_t Rate) : device_(Device), rate_(Rate) {}
  ~TSdlAudioOutput() override {
    // Waits for a running callback; the mixer's lock is not held here.
    SDL_CloseAudioDevice(device_);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }
  uint32_t Rate() const override { return rate_; }
  void Start() { SDL_PauseAudioDevice(device_, 0); }

 private:
  SDL_AudioDeviceID device_;
  uint32_t rate_;
};

void Callback(void*, Uint8* stream, int len) {
  TSoundMixer::Instance().Mix(reinterpret_cast<int16_t*>(stream), static_cast<uint32_t>(len) / 4);
}

bool g_installed = false;

}  // namespace

bool SdlInstallAudio() {
  RegisterDirectSoundModule();
  if (g_installed) return true;
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    std::fprintf(stderr, "No audio: %s\n", SDL_GetError());
    return false;
  }
  SDL_AudioSpec want{};
  want.freq = 44100;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = 1024;
  want.callback = Callback;
  SDL_AudioSpec have{};
  // The mixer adapts to the device's rate; format and channels stay ours.
  SDL_AudioDeviceID dev =
      SDL_OpenAudioDevice(nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
  if (dev == 0) {
    std::fprintf(stderr, "No audio: %s\n", SDL_GetError());
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  auto out = std::make_unique<TSdlAudioOutput>(dev, static_cast<uint32_t>(have.freq));
  TSdlAudioOutput* raw = out.get();
  TSoundMixer::Instance().SetOutput(std::move(out));
  raw->Start();
  g_installed = true;
  return true;
}

void UninstallSdlAudio() {
  if (!g_installed) return;
  TSoundMixer::Instance().SetOutput(nullptr);
  g_installed = false;
}
