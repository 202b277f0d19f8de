// Decoders behind the library's channels. Each gives 16-bit samples in the
// file's own channel count and rate, knows its exact length and seeks to a
// sample frame. Every one treats its file as hostile: a file it cannot make
// sense of gives no decoder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TDecoder {
 public:
  virtual ~TDecoder() = default;
  // Up to Frames frames into Out (Channels samples each); 0 at the end.
  virtual size_t Read(int16_t* Out, size_t Frames) = 0;
  virtual bool Seek(uint64_t Frame) = 0;

  uint32_t Rate = 0;
  uint16_t Channels = 0;  // 1 or 2
  bool EightBit = false;  // the file stores 8-bit samples
  uint64_t Length = 0;    // frames
};

std::unique_ptr<TDecoder> OpenMpegDecoder(const std::string& Path);
std::unique_ptr<TDecoder> OpenVorbisDecoder(const std::string& Path);
std::unique_ptr<TDecoder> OpenWaveDecoder(const std::string& Path);
// WMA (ASF); part of the WMA add-on.
std::unique_ptr<TDecoder> OpenAsfDecoder(const std::string& Path);
// Module music, rendered in stereo at Rate.
std::unique_ptr<TDecoder> OpenModuleDecoder(const std::vector<uint8_t>& Data, uint32_t Rate);
