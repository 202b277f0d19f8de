// The player's effects and spectrum: the flanger it computes itself, the
// library's equaliser, echo and reverb, and the bands of the spectrum timer.
#include "music/player_effects.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "music/bass_player.h"
#include "music/rt_bass.h"
#include "platform/win/user.h"

using namespace RT_bass;

namespace {

constexpr BASS_DWORD kFftBins = 256;

// One channel of one frame through the line: the delayed sample, read
// between two entries, added to the input.
int16_t Flange(int16_t TFlangerState::TEntry::*Side, int16_t In, int d, int d1, float f,
               TFlangerState& s) {
  const int delayed = static_cast<int>((1.0f - f) * (s.Line[d].*Side) + f * (s.Line[d1].*Side));
  s.Line[s.WritePos].*Side = In;
  return static_cast<int16_t>(std::clamp(delayed + In, -32768, 32767));
}

}  // namespace

TFlangerState& FlangerState() {
  static TFlangerState state;
  return state;
}

void ResetFlanger() {
  FlangerState() = TFlangerState{};
}

void FlangerDSP(HDSP Handle, BASS_DWORD Channel, void* Buffer, BASS_DWORD Length, void* User) {
  const BASS_DWORD flags = BASS_ChannelGetFlags ? BASS_ChannelGetFlags(Channel) : 0;
  if (flags == ~BASS_DWORD{0} || (flags & BASS_SAMPLE_8BITS) || !Buffer) return;
  const bool mono = (flags & BASS_SAMPLE_MONO) != 0;
  const size_t width = mono ? 1 : 2;
  TFlangerState& s = FlangerState();
  auto* samples = static_cast<int16_t*>(Buffer);
  // Whole frames only: a stray tail byte is not half a sample to be bent.
  const size_t frames = Length / (width * sizeof(int16_t));
  for (size_t i = 0; i < frames; ++i) {
    int16_t* frame = samples + i * width;
    const int d = (static_cast<int>(s.SweepPos) + s.WritePos) % TFlangerState::kLineLength;
    const int d1 = (d + 1) % TFlangerState::kLineLength;
    const float f = s.SweepPos - std::trunc(s.SweepPos);
    frame[0] = Flange(&TFlangerState::TEntry::Left, frame[0], d, d1, f, s);
    if (!mono) frame[1] = Flange(&TFlangerState::TEntry::Right, frame[1], d, d1, f, s);
    if (++s.WritePos == TFlangerState::kLineLength) s.WritePos = 0;
    s.SweepPos += s.SweepStep;
    if (s.SweepPos < 0.0f || s.SweepPos > static_cast<float>(TFlangerState::kLineLength))
      s.SweepStep = -s.SweepStep;
  }
}

void TBASSPlayer::SetEffects(TSoundEffects NewEffects) {
  effects_ = NewEffects;
  if (channel_kind_ == ckNone || !bass_loaded_) return;
  if (effects_ & Flanger) {
    if (flanger_dsp_ == 0) {
      // The callback is not installed yet, so nothing else touches the state.
      ResetFlanger();
      flanger_dsp_ = BASS_ChannelSetDSP(channel_, &FlangerDSP, nullptr);
    }
  } else if (flanger_dsp_ != 0 && BASS_ChannelRemoveDSP(channel_, flanger_dsp_)) {
    flanger_dsp_ = 0;
  }
  if (!dx8_effect_ready_) return;

  if (effects_ & Equalizer) {
    for (int i = 0; i < eq_band_count_ && i < kEQBands; ++i) {
      if (fx_handles_[i] == 0) fx_handles_[i] = BASS_ChannelSetFX(channel_, BASS_FX_PARAMEQ);
      if (fx_handles_[i] == 0) continue;
      eq_params_.fCenter = eq_bands_[i].Center;
      eq_params_.fBandwidth = eq_bands_[i].Bandwidth;
      eq_params_.fGain = eq_gains_[i];
      BASS_FXSetParameters(fx_handles_[i], &eq_params_);
    }
  } else {
    for (int i = 0; i < kEQBands; ++i)
      if (fx_handles_[i] != 0 && BASS_ChannelRemoveFX(channel_, fx_handles_[i])) fx_handles_[i] = 0;
  }

  HFX& echo = fx_handles_[kEchoSlot];
  if (effects_ & Echo) {
    if (echo == 0) echo = BASS_ChannelSetFX(channel_, BASS_FX_ECHO);
    if (echo != 0 && BASS_FXGetParameters(echo, &echo_params_)) {
      echo_params_.fWetDryMix = echo_level_ * 1.2f;
      echo_params_.fFeedback = 30.0f;
      BASS_FXSetParameters(echo, &echo_params_);
    }
  } else if (echo != 0 && BASS_ChannelRemoveFX(channel_, echo)) {
    echo = 0;
  }

  HFX& reverb = fx_handles_[kReverbSlot];
  if (effects_ & Reverb) {
    if (reverb == 0) reverb = BASS_ChannelSetFX(channel_, BASS_FX_REVERB);
    if (reverb != 0 && BASS_FXGetParameters(reverb, &reverb_params_)) {
      reverb_params_.fInGain = 0.0f;
      reverb_params_.fReverbMix = reverb_level_ * 0.5f - 16.0f;
      reverb_params_.fReverbTime = 1000.0f;
      reverb_params_.fHighFreqRTRatio = 0.1f;
      BASS_FXSetParameters(reverb, &reverb_params_);
    }
  } else if (reverb != 0 && BASS_ChannelRemoveFX(channel_, reverb)) {
    reverb = 0;
  }
}

void TBASSPlayer::ClearEffectHandles() {
  flanger_dsp_ = 0;
  if (dx8_effect_ready_) fx_handles_.fill(0);
}

void TBASSPlayer::SpectrumTimerTick() {
  if (!bass_loaded_ || BASS_ChannelIsActive(channel_) != BASS_ACTIVE_PLAYING) {
    spectrum_timer_->SetEnabled(false);
    return;
  }
  std::array<float, kFftBins> fft{};
  if (BASS_ChannelGetData(channel_, fft.data(), BASS_DATA_FFT512) == BASS_DATA_FAILED) {
    band_out_.fill(0);
    return;
  }
  // Off while computing, so that ticks never pile up behind a slow one.
  spectrum_timer_->SetEnabled(false);
  int low = 1;
  for (int i = 0; i < kSpectrumBands; ++i) {
    float peak = 0.0f;
    for (int b = low; b <= kSpectrumBandEdges[i]; ++b) peak = std::max(peak, fft[b]);
    low = kSpectrumBandEdges[i] + 1;
    const double v = std::nearbyint((i * 0.15 + 1) * static_cast<double>(peak) * 80);
    // A wild magnitude saturates instead of wrapping to a small level.
    const uint16_t level = !(v > 0) ? 0 : v >= 65535.0 ? 65535 : static_cast<uint16_t>(v);
    const uint16_t fallen = band_out_[i] >= 2 ? static_cast<uint16_t>(band_out_[i] - 2) : 0;
    band_out_[i] = std::max(level, fallen);
  }
  PostMessageA(message_window_, WM_NewFFTData, 0, 0);
  spectrum_timer_->SetEnabled(true);
}
