#include "audiolib/mpeg_frame.h"

#include <cstring>

namespace {

// Bit rates in kbit/s by [MPEG 1 or 2][layer III, II, I][index]; MPEG 2.5
// uses MPEG 2's.
const uint16_t kBitRates[2][3][16] = {
    {{0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0}},
    {{0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0}}};
const uint16_t kSampleRates[4][3] = {
    {11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};

constexpr uint8_t kLayerI = 3;
constexpr uint8_t kMpeg1 = 3;
constexpr uint8_t kMono = 3;

// Bytes per kbit/s per kHz. Layer I counts 4-byte slots of 12 per frame in
// every version.
uint16_t Coefficient(const TMpegHeader& h) {
  if (h.LayerID == kLayerI) return 48;
  if (h.VersionID == kMpeg1) return 144;
  return h.LayerID == 2 ? 144 : 72;
}

}  // namespace

bool IsMPEGFrameHeader(const uint8_t* b) {
  return b[0] == 0xFF && (b[1] & 0xE0) == 0xE0 && ((b[1] >> 3) & 3) != 1 &&
         ((b[1] >> 1) & 3) != 0 && (b[2] >> 4) != 0 && (b[2] >> 4) != 15 &&
         ((b[2] >> 2) & 3) != 3 && (b[3] & 3) != 2;
}

TMpegHeader ParseMPEGFrameHeader(const uint8_t* b) {
  TMpegHeader h;
  h.VersionID = (b[1] >> 3) & 3;
  h.LayerID = (b[1] >> 1) & 3;
  h.Protected = (b[1] & 1) == 0;
  h.BitRateID = b[2] >> 4;
  h.SampleRateID = (b[2] >> 2) & 3;
  h.PaddingBit = (b[2] & 2) != 0;
  h.ModeID = b[3] >> 6;
  h.ModeExtension = (b[3] >> 4) & 3;
  return h;
}

uint16_t MPEGBitRate(const TMpegHeader& h) {
  if (h.VersionID == 1 || h.VersionID > 3 || h.LayerID < 1 || h.LayerID > 3 || h.BitRateID > 15)
    return 0;
  return kBitRates[h.VersionID == kMpeg1 ? 0 : 1][h.LayerID - 1][h.BitRateID];
}

uint16_t MPEGSampleRate(const TMpegHeader& h) {
  return h.SampleRateID < 3 && h.VersionID < 4 ? kSampleRates[h.VersionID][h.SampleRateID] : 0;
}

uint16_t MPEGFrameLength(const TMpegHeader& h) {
  const uint32_t rate = MPEGSampleRate(h);
  if (rate == 0) return 0;
  const uint32_t br = MPEGBitRate(h) * 1000u;
  if (h.LayerID == kLayerI)
    return static_cast<uint16_t>((12 * br / rate + (h.PaddingBit ? 1 : 0)) * 4);
  return static_cast<uint16_t>(Coefficient(h) * br / rate + (h.PaddingBit ? 1 : 0));
}

uint16_t MPEGFrameSamples(const TMpegHeader& h) {
  return static_cast<uint16_t>(Coefficient(h) * 8);
}

uint16_t MPEGXingOffset(const TMpegHeader& h) {
  const bool mono = h.ModeID == kMono;
  return h.VersionID == kMpeg1 ? (mono ? 21 : 36) : (mono ? 13 : 21);
}

int32_t ID3v2TagSize(const uint8_t* h) {
  const int32_t body =
      (h[6] & 0x7F) << 21 | (h[7] & 0x7F) << 14 | (h[8] & 0x7F) << 7 | (h[9] & 0x7F);
  return body + ((h[5] & 0x10) ? 20 : 10);
}

bool IsID3v2Header(const uint8_t* h) {
  return std::memcmp(h, "ID3", 3) == 0 && h[3] != 0xFF && h[4] != 0xFF &&
         ((h[6] | h[7] | h[8] | h[9]) & 0x80) == 0;
}
