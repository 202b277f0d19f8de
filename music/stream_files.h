// What a ".WAV", ".OGG" or ".WMA" file holds before it is played: the
// canonical RIFF WAVE header, the first Ogg pages with the Vorbis headers and
// the last page's granule position, and the objects of an ASF header.
#pragma once

#include <cstdint>
#include <string>

class TWAVfile {
 public:
  TWAVfile() { ResetData(); }
  void ResetData();
  bool ReadFromFile(const std::string& FileName);
  double GetDuration() const;

  bool Valid;
  uint8_t Channels;
  uint32_t SampleRate;  // the header's whole rate: 96000 stays 96000
  uint8_t BitsPerSample;
  int32_t FileSize;
};

class TOggVorbis {
 public:
  TOggVorbis() { ResetData(); }
  void ResetData();
  bool ReadFromFile(const std::string& FileName);
  double GetDuration() const;
  uint16_t GetBitRate() const;
  bool IsValid() const;

  int32_t FileSize;
  uint8_t Channels;
  uint32_t SampleRate;
  uint16_t BitRateNominal;
  int32_t Samples;
  int32_t ID3v2Size;
  std::string Title, Artist, Album;
  uint8_t Track;
  std::string Year, Genre, Comment;
};

// UTF-8 to UTF-16 as the comment reader takes it: a malformed or cut
// sequence ends the text, keeping what came before.
std::u16string VorbisUtf8ToWide(const std::string& Utf8);

class TWMAfile {
 public:
  TWMAfile() { ResetData(); }
  void ResetData();
  bool ReadFromFile(const std::string& FileName);

  bool Valid;
  int32_t FileSize;
  uint8_t Channels;
  int32_t SampleRate;
  double Duration;
  int32_t BitRate;
  std::u16string Title, Artist, Album;
  int32_t Track;
  std::u16string Year, Genre, Comment;
};
