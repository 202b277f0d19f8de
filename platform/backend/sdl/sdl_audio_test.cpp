#include "platform/backend/sdl/sdl_audio.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "platform/dsound/dsound.h"
#include "platform/win/clock.h"

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
  EXPECT_FALSE(InstallSdlAudio());
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
  if (!InstallSdlAudio()) GTEST_SKIP() << "SDL has no dummy audio driver here";
  EXPECT_TRUE(InstallSdlAudio());  // once is enough
  std::unique_ptr<IDirectSound> ds;
  ASSERT_EQ(DirectSoundCreate(nullptr, &ds, nullptr), DS_OK);
  auto b = PlayingBuffer(*ds);
  UninstallSdlAudio();
  DWORD status = 0;
  EXPECT_EQ(b->GetStatus(&status), DS_OK);
  unsetenv("SDL_AUDIODRIVER");
}

}  // namespace
