// The audio device of headless runs: the mixer runs on the program's clock
// (the virtual one in tests) and what it mixes is kept for the test to read.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

// Registers "DSound.dll" and replaces the mixer's output; the capture
// starts empty at the clock's now.
void HeadlessInstallAudio();
// Brings the mixer up to the clock's now and hands over everything mixed
// since the last call: interleaved 16-bit stereo frames at HeadlessAudioRate.
std::vector<int16_t> TakeHeadlessAudio();
constexpr uint32_t HeadlessAudioRate = 44100;
// Back to the default output (mixing into nothing).
void UninstallHeadlessAudio();

// Every sound buffer started since HeadlessInstallAudio (or the last clear):
// its samples, volume and pan as it started.
struct THeadlessWavePlay {
  std::shared_ptr<std::vector<uint8_t>> Samples;
  int32_t Volume = 0;
  int32_t Pan = 0;
  bool Looping = false;
};
std::vector<THeadlessWavePlay> HeadlessWavesPlayed();
void HeadlessClearWavesPlayed();
