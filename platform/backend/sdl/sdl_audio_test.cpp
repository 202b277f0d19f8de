#include "platform/backend/sdl/sdl_audio.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

#include "platform/dsound/dsound.h"
#include "platform/win/clock.h"
#include "tests/main/real_clock.h"

namespace {

// A one-second 8-bit mono buffer, playing.
std::unique_ptr<IDirectSoundBuffer> PlayingBuffer(IDirectSound& ds) {
  WAVEFORMATEX f;
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = 1;
  f.nSamplesPerSec = 8000;
  f.wBitsPerSample = 8;
  f.nBlockAlign = 1;
  f.nAvgBytesPerSec = 8000;
  DSBUFFERDESC d;
  d.dwBufferBytes = 8000;
  d.lpwfxFormat = &f;
  std::unique_ptr<IDirectSoundBuffer> b;
  EXPECT_EQ(ds.CreateSoundBuffer(&d, &b), DS_OK);
  if (b) EXPECT_EQ(b->Play(0, 0, 0), DS_OK);
  return b;
}

TEST(SdlAudioTest, WithoutADeviceSoundStillRunsOnTheClock) {
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  TVirtualClock clock(5000);
  SetClockSource(&clock);
  TSoundMixer::Instance().SetOutput(nullptr);
  EXPECT_FALSE(SdlInstallAudio());
  std::unique_ptr<IDirectSound> ds;
  ASSERT_EQ(DirectSoundCreate(nullptr, &ds, nullptr), DS_OK);
  auto b = PlayingBuffer(*ds);
  DWORD status = 0;
  clock.Advance(900);
  b->GetStatus(&status);
  EXPECT_EQ(status, DSBSTATUS_PLAYING);
  clock.Advance(200);
  b->GetStatus(&status);
  EXPECT_EQ(status, 0u);
  b.reset();
  SetClockSource(nullptr);
  unsetenv("SDL_AUDIODRIVER");
}

TEST(SdlAudioTest, ADeviceTakesOverTheMixerAndGivesItBack) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  if (!SdlInstallAudio()) GTEST_SKIP() << "SDL has no dummy audio driver here";
  EXPECT_TRUE(SdlInstallAudio());  // once is enough
  std::unique_ptr<IDirectSound> ds;
  ASSERT_EQ(DirectSoundCreate(nullptr, &ds, nullptr), DS_OK);
  auto b = PlayingBuffer(*ds);
  UninstallSdlAudio();
  DWORD status = 0;
  EXPECT_EQ(b->GetStatus(&status), DS_OK);
  unsetenv("SDL_AUDIODRIVER");
}

// The audio library on a device: its own thread keeps the music fed and
// reports the end, with nobody asking.
TEST(SdlAudioTest, MusicIsFedAndEndsOnADeviceThread) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  if (!SdlInstallAudio()) GTEST_SKIP() << "SDL has no dummy audio driver here";
  void* dl = dlopen(TAL_BIN_DIR "/libbass.so", RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(dl, nullptr) << dlerror();
  using TProc = uint32_t (*)(uint32_t, void*, uint32_t, void*);
  using TSync = void (*)(uint32_t, uint32_t, uint32_t, void*);
  auto init =
      reinterpret_cast<int32_t (*)(int32_t, uint32_t, uint32_t, void*)>(dlsym(dl, "BASS_Init"));
  auto start = reinterpret_cast<int32_t (*)()>(dlsym(dl, "BASS_Start"));
  auto create = reinterpret_cast<uint32_t (*)(uint32_t, uint32_t, TProc, void*)>(
      dlsym(dl, "BASS_StreamCreate"));
  auto play =
      reinterpret_cast<int32_t (*)(uint32_t, int32_t, uint32_t)>(dlsym(dl, "BASS_StreamPlay"));
  auto setSync = reinterpret_cast<uint32_t (*)(uint32_t, uint32_t, uint64_t, TSync, void*)>(
      dlsym(dl, "BASS_ChannelSetSync"));
  auto freeLib = reinterpret_cast<int32_t (*)()>(dlsym(dl, "BASS_Free"));
  ASSERT_TRUE(init(-1, 44100, 0, nullptr));
  ASSERT_TRUE(start());
  struct TState {
    std::atomic<uint32_t> Left{44100 * 4 / 5};  // 0.2 s of 16-bit stereo
    std::atomic<bool> Ended{false};
  } st;
  const uint32_t h = create(
      44100, 0,
      [](uint32_t, void* buf, uint32_t len, void* user) -> uint32_t {
        auto* s = static_cast<TState*>(user);
        const uint32_t n = std::min(len, s->Left.load());
        std::memset(buf, 0x11, n);
        s->Left -= n;
        return n;
      },
      &st);
  ASSERT_NE(h, 0u);
  setSync(
      h, 2, 0,
      [](uint32_t, uint32_t, uint32_t, void* user) { static_cast<TState*>(user)->Ended = true; },
      &st);
  ASSERT_TRUE(play(h, 0, 0));
  // The device's thread runs on the real clock.
  WaitOnRealClock([&] { return st.Ended.load(); });
  EXPECT_EQ(st.Left.load(), 0u);
  EXPECT_TRUE(st.Ended);
  freeLib();
  dlclose(dl);
  UninstallSdlAudio();
  unsetenv("SDL_AUDIODRIVER");
}

}  // namespace
