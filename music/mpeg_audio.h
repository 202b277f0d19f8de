// What an MP3 file holds before it is played: the ID3v1 tag at its end, the
// ID3v2 tag at its start, and the first MPEG audio frame with its Xing or
// VBRI header. Each read starts from a reset reader, so a failed read leaves
// it empty; files are only read.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "audiolib/mpeg_frame.h"

class TID3v1 {
 public:
  TID3v1() { ResetData(); }
  void ResetData();
  bool ReadFromFile(const std::string& FileName);
  std::string GetGenre() const;

  bool Exists;
  uint8_t VersionID;  // 1: version 1.0, 2: version 1.1
  std::string Title, Artist, Album, Year, Comment;
  uint8_t Track;
  uint8_t GenreID;
};

// The genre name of a number, empty for 148 and above.
std::string ID3GenreName(unsigned GenreID);

class TID3v2 {
 public:
  TID3v2() { ResetData(); }
  void ResetData();
  bool ReadFromFile(const std::string& FileName);

  bool Exists;
  uint8_t VersionID;
  int32_t Size;
  std::string Title, Artist, Album;
  uint16_t Track;
  std::string Year, Genre, Comment;
};

struct TVBRData {
  bool Found = false;
  char ID[4] = {0, 0, 0, 0};
  int32_t Frames = 0;
  int32_t Bytes = 0;
};

// The first frame: where it was found, its length and raw header, and the
// header's fields (the frame arithmetic of audiolib/mpeg_frame.h applies).
struct TFrameData : TMpegHeader {
  bool Found = false;
  int32_t Position = 0;
  uint16_t Size = 0;
  uint8_t Data[4] = {0, 0, 0, 0};
};

// The frame that 4 bytes begin.
TFrameData DecodeMPEGFrameHeader(const uint8_t* B);

class TMPEGaudio {
 public:
  TMPEGaudio() { ResetData(); }
  void ResetData();
  bool ReadFromFile(const std::string& FileName);
  bool IsValid() const;
  uint16_t GetBitRate() const;
  uint16_t GetSampleRate() const;
  double GetDuration() const;
  std::string GetChannelMode() const;

  int32_t FileLength;
  TVBRData VBR;
  TFrameData Frame;
  TID3v1 ID3v1;
  TID3v2 ID3v2;
};
