#include "platform/backend/headless/headless_audio.h"

#include <memory>
#include <mutex>

#include "platform/dsound/dsound.h"
#include "platform/dsound/mixer.h"
#include "platform/win/clock.h"

namespace {

// Guarded by the mixer's lock: the sink runs under it, and so does the take.
std::vector<int16_t>& Captured() {
  static std::vector<int16_t> v;
  return v;
}

// Guarded by the mixer's lock, as the observer runs under it. Capped like the
// sound, for long runs.
std::vector<THeadlessWavePlay>& WavesPlayed() {
  static std::vector<THeadlessWavePlay> v;
  if (v.size() > 100000) v.erase(v.begin(), v.begin() + 50000);
  return v;
}

// A long headless run keeps at most this much; tests look at the recent past.
constexpr size_t kMaxCapturedSamples = size_t{HeadlessAudioRate} * 2 * 120;

}  // namespace

void HeadlessInstallAudio() {
  RegisterDirectSoundModule();
  TSoundMixer& mixer = TSoundMixer::Instance();
  mixer.SetOutput(
      std::make_unique<TClockAudioOutput>([] { return timeGetTime(); },
                                          [](const int16_t* frames, uint32_t count) {
                                            std::vector<int16_t>& c = Captured();
                                            if (c.size() + count * 2 > kMaxCapturedSamples)
                                              c.clear();
                                            c.insert(c.end(), frames, frames + size_t{count} * 2);
                                          },
                                          HeadlessAudioRate));
  mixer.SetPlayObserver([](const TMixVoice& v) {
    WavesPlayed().push_back({v.Samples, v.Volume, v.Pan, v.Looping});
  });
  std::lock_guard g(mixer.Mutex());
  Captured().clear();
  WavesPlayed().clear();
}

std::vector<THeadlessWavePlay> HeadlessWavesPlayed() {
  std::lock_guard g(TSoundMixer::Instance().Mutex());
  return WavesPlayed();
}

void HeadlessClearWavesPlayed() {
  std::lock_guard g(TSoundMixer::Instance().Mutex());
  WavesPlayed().clear();
}

std::vector<int16_t> TakeHeadlessAudio() {
  TSoundMixer& mixer = TSoundMixer::Instance();
  mixer.Service();
  std::vector<int16_t> out;
  {
    std::lock_guard g(mixer.Mutex());
    mixer.Pump();
    out.swap(Captured());
  }
  mixer.AfterService();
  return out;
}

void UninstallHeadlessAudio() {
  TSoundMixer& mixer = TSoundMixer::Instance();
  mixer.SetOutput(nullptr);
  mixer.SetPlayObserver(nullptr);
  std::lock_guard g(mixer.Mutex());
  Captured().clear();
  WavesPlayed().clear();
}
