// The game's three music files, synthesized and encoded as VBR MP3 with
// both tag kinds: "music/menu.mp3" (calm), "music/main.mp3" (driving) and
// "music/boss.mp3" (darker). Each is a whole number of bars so it loops
// without a seam; the same input always gives the same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TMusicTheme {
  const char* File;  // under the data folder
  const char* Title;
  double Bpm;
  int Bars;  // of four beats
  int Root;  // semitones above A2
  bool Minor;
  int Drive;  // 0 calm .. 2 driving
};

const std::vector<TMusicTheme>& MusicThemes();
// Interleaved 16-bit stereo at 44100 Hz, exactly Bars bars long.
std::vector<int16_t> SynthesizeTheme(const TMusicTheme& Theme);
// An MP3 (ID3v2 tag, Xing frame, VBR audio, ID3v1 tag) of the samples; with
// CbrKbps, audio at that constant bit rate and no Xing frame.
std::vector<uint8_t> EncodeMp3(const std::vector<int16_t>& Stereo, const TMusicTheme& Theme,
                               int CbrKbps = 0);
// The ways of writing an MP3 that the game's music does not use.
struct TMp3Form {
  int CbrKbps = 0;            // 0: variable bit rate, with a Xing frame
  bool CbrInfoFrame = false;  // constant-rate audio behind LAME's Info frame
  bool Crc = false;           // a CRC after every frame header
};
std::vector<uint8_t> EncodeMp3(const std::vector<int16_t>& Stereo, const TMusicTheme& Theme,
                               const TMp3Form& Form);
// Writes every theme into the data folder.
void WriteMusicFiles(const std::string& DataDir);
