// The flanger the player computes itself, as a sample-processing callback of
// the audio library, and the spectrum bands it turns the library's FFT into.
#pragma once

#include <array>
#include <cstdint>

#include "audiolib/bass.h"

// One per process, shared by every player: the delay line of 350 frames and
// the sweep of the delay through it.
struct TFlangerState {
  static constexpr int kLineLength = 350;
  struct TEntry {
    int16_t Left, Right, Unused;
  };
  std::array<TEntry, kLineLength> Line{};
  int32_t WritePos = 0;
  float SweepPos = 175.0f;
  float SweepStep = 0.002f;
};
TFlangerState& FlangerState();
// Back to the start: an empty line, the delay at its middle.
void ResetFlanger();
// The library's callback. The buffer is taken in the channel's layout
// (16-bit mono or stereo); 8-bit data passes untouched.
void FlangerDSP(HDSP Handle, BASS_DWORD Channel, void* Buffer, BASS_DWORD Length, void* User);

constexpr int kSpectrumBands = 25;
// The highest FFT bin of each band; band 0 is bin 1 alone.
constexpr std::array<int, kSpectrumBands> kSpectrumBandEdges = {
    1,  2,  3,  6,  12, 18, 24,  30,  36,  42,  48,  54, 60,
    66, 72, 78, 84, 90, 96, 102, 108, 120, 132, 156, 180};
