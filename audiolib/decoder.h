// Decoders behind the library's channels. Each gives 16-bit samples in the
// file's own channel count and rate, knows its exact length and seeks to a
// sample frame. Every one treats its file as hostile: a file it cannot make
// sense of gives no decoder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "audiolib/bass.h"

class TDecoder {
 public:
  virtual ~TDecoder() = default;
  // Up to Frames frames into Out (Channels samples each); 0 at the end.
  virtual size_t Read(int16_t* Out, size_t Frames) = 0;
  virtual bool Seek(uint64_t Frame) = 0;

  // The length once it is known: a count under way is waited for and kept.
  uint64_t CountedLength() {
    if (LengthCount.valid()) {
      Length = LengthCount.get();
      LengthCount = {};
    }
    return Length;
  }

  uint32_t Rate = 0;
  uint16_t Channels = 0;  // 1 or 2
  bool EightBit = false;  // the file stores 8-bit samples
  uint64_t Length = 0;    // frames
  // A decoder whose length takes long to find (a module is rendered to its
  // end for it) counts it on a thread of its own and may be read meanwhile;
  // Length is 0 until the count is taken, and Read ends at the decoder's own
  // end. The thread stops early when the decoder goes, and the last holder of
  // the count waits for it.
  std::shared_future<uint64_t> LengthCount;
};

// The file behind a channel, opened by FileOpenRegular: a folder, a device,
// a FIFO, or a file whose read fails answers BASS_ERROR_FILEOPEN at once, as
// a missing one does. Shared with the WMA add-on.
class __attribute__((visibility("default"))) TSourceFile {
 public:
  explicit TSourceFile(const std::string& Path);
  ~TSourceFile();
  TSourceFile(const TSourceFile&) = delete;
  TSourceFile& operator=(const TSourceFile&) = delete;

  int32_t Error() const { return error_; }  // BASS_OK or BASS_ERROR_FILEOPEN
  // A name for the decoders that open files by name. Where the system can,
  // it names the very file checked here, so what they read is what was
  // checked, whatever happens to the path meanwhile.
  const std::string& Path() const { return path_; }
  // The file's size now; 0 when it cannot be told.
  uint64_t Size() const;
  // Bytes from Offset, at most Length of them (0: to the end); false on a
  // read error.
  bool Read(uint64_t Offset, uint64_t Length, std::vector<uint8_t>& Out) const;

 private:
  int fd_ = -1;
  int32_t error_ = BASS_ERROR_FILEOPEN;
  std::string path_;
};

// Each Open* below gives no decoder for a file it cannot play. Those given
// an Error say why: BASS_ERROR_FORMAT for a file of their kind whose samples
// are of a form the library does not play (it is then no use trying another
// decoder), else BASS_ERROR_FILEFORM.
//
// MPEG audio; with a Length, that many bytes of the file from Offset (a WAV's
// data chunk), else all of it from Offset.
std::unique_ptr<TDecoder> OpenMpegDecoder(const std::string& Path, uint64_t Offset = 0,
                                          uint64_t Length = 0);
std::unique_ptr<TDecoder> OpenVorbisDecoder(const std::string& Path, int32_t* Error = nullptr);
// A WAV that holds MPEG audio gives the MPEG decoder of its data chunk.
std::unique_ptr<TDecoder> OpenWaveDecoder(const std::string& Path, int32_t* Error = nullptr);
// WMA (ASF); part of the WMA add-on.
std::unique_ptr<TDecoder> OpenAsfDecoder(const std::string& Path);
// Module music, rendered in stereo at Rate to the renderer's own end; its
// length, counted as LengthCount, is what that render gives.
std::unique_ptr<TDecoder> OpenModuleDecoder(std::vector<uint8_t> Data, uint32_t Rate);
// Module music from a file, as the library loads it: Length bytes from
// Offset (0: to the end). Error: BASS_ERROR_FILEOPEN when the file cannot be
// read, BASS_ERROR_FILEFORM when it holds no module.
std::unique_ptr<TDecoder> LoadModuleFile(const std::string& Path, uint64_t Offset, uint64_t Length,
                                         uint32_t Rate, int32_t& Error);
