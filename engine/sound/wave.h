// One sound in memory (its format block and samples) and the RIFF WAVE
// streams it is read from and written to.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/classes.h"
#include "framework/sysutils.h"

TAL_DECLARE_EXCEPTION(EWaveStreamError, Exception)

// The smallest format block accepted: the 16-byte wave format header.
constexpr int kMinWaveFormatSize = 16;
// The largest: the 18-byte header and the most its extension size can count.
constexpr int kMaxWaveFormatSize = 18 + 0xFFFF;

class TWave : public TPersistent {
 public:
  TAL_CLASS_NAME(TWave)
  TWave() = default;
  TWave(const TWave&) = delete;
  TWave& operator=(const TWave&) = delete;

  void Assign(TPersistent* Source) override;
  void Clear();
  void LoadFromFile(const std::string& FileName);
  void LoadFromStream(TStream& Stream);
  // Writes nothing at all for a wave without format or samples.
  void SaveToStream(TStream& Stream) const;

  // Negative sizes count as 0. Samples are kept in whole blocks of
  // kBlockSize bytes, so growing a sound a little at a time stays cheap.
  void SetFormatSize(int32_t Value);
  void SetSize(int32_t Value);
  static constexpr int32_t kBlockSize = 8096;

  uint8_t* Format() { return format_.data(); }
  const uint8_t* Format() const { return format_.data(); }
  int32_t FormatSize() const { return static_cast<int32_t>(format_.size()); }
  uint8_t* Data() { return data_.data(); }
  const uint8_t* Data() const { return data_.data(); }
  int32_t Size() const { return size_; }
  int32_t Capacity() const { return static_cast<int32_t>(data_.size()); }

  // The stored property "WAVE": a whole RIFF WAVE file, or no bytes for an
  // empty wave.
  virtual void ReadData(TStream& Stream);
  virtual void WriteData(TStream& Stream) const;
  bool ReadProperty(const std::string& Name, TReader& Reader) override;
  void WriteProperties(TWriter& Writer) const override;
  // The same property under a prefix, for owners that store their wave as a
  // sub-object ("Wave" gives "Wave.WAVE").
  bool ReadPropertyAs(const std::string& Prefix, const std::string& Name, TReader& Reader);
  void WritePropertiesAs(const std::string& Prefix, TWriter& Writer) const;

 private:
  std::vector<uint8_t> data_;    // capacity, a whole number of blocks
  std::vector<uint8_t> format_;  // exactly FormatSize bytes
  int32_t size_ = 0;
};

// A stream over the samples of a wave; Position counts sample bytes.
class TCustomWaveStream : public TStream {
 public:
  TAL_CLASS_NAME(TCustomWaveStream)
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  void SetSize(int64_t NewSize) override {}
  int64_t Size() override { return GetWaveSize(); }

  virtual uint8_t* GetFormat() = 0;
  virtual int32_t GetFormatSize() { return 0; }
  // -1: no bound.
  virtual int64_t GetWaveSize() { return -1; }
  virtual int64_t ReadWave(void* Buffer, int64_t Count) { return 0; }
  virtual void SetFormatSize(int32_t Size) = 0;
  virtual int64_t WriteWave(const void* Buffer, int64_t Count) { return 0; }

 protected:
  int64_t position_ = 0;
};

// A wave stream that owns its format block.
class TCustomWaveStream2 : public TCustomWaveStream {
 public:
  TAL_CLASS_NAME(TCustomWaveStream2)
  uint8_t* GetFormat() override { return format_.data(); }
  int32_t GetFormatSize() override { return static_cast<int32_t>(format_.size()); }
  void SetFormatSize(int32_t Size) override {
    format_.assign(static_cast<size_t>(Size < 0 ? 0 : Size), 0);
  }

 private:
  std::vector<uint8_t> format_;
};

// Reads or writes a RIFF WAVE file on another stream, from that stream's
// position when made. Chunks are word-aligned: an odd-sized chunk is followed
// by a pad byte, which is skipped on reading and written on writing.
class TWaveStream : public TCustomWaveStream2 {
 public:
  TAL_CLASS_NAME(TWaveStream)
  explicit TWaveStream(TStream& Stream);
  // Completes the headers of a stream opened for writing; errors there are
  // dropped, so call Close to see them.
  ~TWaveStream() override;

  void Open(bool WriteMode);
  // Finishes a written file (headers and pad byte); nothing for reading.
  void Close();

  int64_t GetWaveSize() override;
  int64_t ReadWave(void* Buffer, int64_t Count) override;
  int64_t WriteWave(const void* Buffer, int64_t Count) override;

  bool Opened() const { return opened_; }
  int64_t DataStart() const { return data_start_; }
  int64_t DataSize() const { return data_size_; }

 private:
  void OpenRead();
  void OpenWrite();
  void CloseWrite();

  int64_t data_start_ = 0;
  int64_t data_header_pos_ = 0;
  bool opened_ = false;
  int64_t start_pos_;
  bool read_mode_ = false;
  int64_t data_size_ = 0;
  TStream& stream_;
};
