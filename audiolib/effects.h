// The channel effects, in software on 16-bit stereo blocks at the channel's
// rate: a peaking equaliser band, an echo and a reverb, with the parameter
// records of bass.h.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "audiolib/bass.h"

class TChannelEffect {
 public:
  virtual ~TChannelEffect() = default;
  virtual void Process(int16_t* Frames, size_t Count) = 0;
  // The effect's record; false when Params is not of its kind.
  virtual void Get(void* Params) const = 0;
  virtual void Set(const void* Params) = 0;
};

// Nil for a type the library does not have.
std::unique_ptr<TChannelEffect> MakeChannelEffect(BASS_DWORD Type, uint32_t Rate);

// 512 frames mixed to mono, Hann window, kFftBins magnitudes.
constexpr size_t kFftBins = 256;
void Fft512(const int16_t* Frames, size_t Count, float* Out256);
