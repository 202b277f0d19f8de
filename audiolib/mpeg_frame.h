// The arithmetic of MPEG audio frame headers and of the ID3v2 tag header in
// front of them: what the audio library's stream reader and the music
// player's tag reader both need to know where frames begin and end.
#pragma once

#include <cstdint>

// The fields of a 4-byte frame header. The defaults are "no header": a
// reserved version and sample rate and no channel mode.
struct TMpegHeader {
  uint8_t VersionID = 1;  // 0 MPEG 2.5, 1 reserved, 2 MPEG 2, 3 MPEG 1
  uint8_t LayerID = 0;    // 1 Layer III, 2 Layer II, 3 Layer I
  uint16_t BitRateID = 0;
  uint16_t SampleRateID = 3;
  bool PaddingBit = false;
  uint8_t ModeID = 4;         // 0 stereo, 1 joint stereo, 2 dual channel, 3 mono
  uint8_t ModeExtension = 0;  // of joint stereo: in Layers I and II, the bound
  bool Protected = false;     // a 16-bit CRC follows the header
};

// Whether 4 bytes are a frame header: sync, and no reserved or free-format
// field.
bool IsMPEGFrameHeader(const uint8_t* B);
TMpegHeader ParseMPEGFrameHeader(const uint8_t* B);
uint16_t MPEGBitRate(const TMpegHeader& Header);      // kbit/s from the table
uint16_t MPEGSampleRate(const TMpegHeader& Header);   // Hz
uint16_t MPEGFrameLength(const TMpegHeader& Header);  // bytes, header included
uint16_t MPEGFrameSamples(const TMpegHeader& Header);
// Offset from the frame's start at which a Xing header sits: the end of the
// side information of a Layer III frame without CRC.
uint16_t MPEGXingOffset(const TMpegHeader& Header);

// The size of an ID3v2 tag from its 10-byte header, footer included, before
// any check against the file's size.
int32_t ID3v2TagSize(const uint8_t* Header);
// Whether 10 bytes are an ID3v2 tag header: "ID3", a version and revision
// that are not 0xFF, and a size of 7-bit bytes.
bool IsID3v2Header(const uint8_t* Header);
