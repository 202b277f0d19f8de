// Test fixture: a headless form with a sound component, on the virtual clock.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "engine/sound/dxsound.h"
#include "engine/sound/wave.h"
#include "framework/forms.h"
#include "platform/backend/headless/headless_audio.h"
#include "platform/backend/headless/headless_core.h"
#include "platform/dsound/dsound.h"
#include "platform/win/library.h"

// A 16-bit mono sine wave of Ms milliseconds at Rate.
inline void MakeTone(TWave& Wave, int Ms, uint32_t Rate = 22050, double Hz = 440) {
  WAVEFORMATEX f;
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = 1;
  f.nSamplesPerSec = Rate;
  f.wBitsPerSample = 16;
  f.nBlockAlign = 2;
  f.nAvgBytesPerSec = Rate * 2;
  Wave.SetFormatSize(16);
  std::memcpy(Wave.Format(), &f, 16);
  const int frames = static_cast<int>(int64_t{Rate} * Ms / 1000);
  Wave.SetSize(frames * 2);
  for (int i = 0; i < frames; ++i) {
    auto s = static_cast<int16_t>(std::lround(20000 * std::sin(2 * M_PI * Hz * i / Rate)));
    std::memcpy(Wave.Data() + 2 * i, &s, 2);
  }
}

class SoundTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HeadlessInstall(1000);
    HeadlessInstallAudio();
    RegisterDirectSoundModule();
    DSoundFaults() = TDSoundFaults{};
    form_ = std::make_unique<TForm>(nullptr);
  }
  void TearDown() override {
    form_.reset();
    DSoundFaults() = TDSoundFaults{};
    RegisterDirectSoundModule();
    UninstallHeadlessAudio();
    HeadlessUninstall();
  }

  // A sound component on the form, initialised as the form's loading does.
  TDXSound* MakeSound(bool Load = true) {
    auto* s = new TDXSound(form_.get());
    if (Load) s->Loaded();
    return s;
  }

  std::unique_ptr<TForm> form_;
};
