#include "engine/sound/wave.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "framework/filer.h"

namespace {

uint32_t Id(const char (&s)[5]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(s[0])) |
         static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(s[3])) << 24;
}

uint32_t LoadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void WriteU32(TStream& s, uint32_t v) {
  const uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                        static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
  s.WriteBuffer(b, 4);
}

// A 32-bit size field; the files this writes stay far below 4 GiB.
uint32_t SizeField(int64_t v) {
  if (v < 0 || v > std::numeric_limits<uint32_t>::max()) Raise<EWaveStreamError>("Wave is invalid");
  return static_cast<uint32_t>(v);
}

}  // namespace

// ---- TWave ------------------------------------------------------------------

void TWave::Assign(TPersistent* Source) {
  if (!Source) {
    Clear();
    return;
  }
  if (auto* w = dynamic_cast<TWave*>(Source)) {
    if (w == this) return;
    SetSize(w->Size());
    SetFormatSize(w->FormatSize());
    if (w->FormatSize() > 0)
      std::memcpy(Format(), w->Format(), static_cast<size_t>(w->FormatSize()));
    if (w->Size() > 0) std::memcpy(Data(), w->Data(), static_cast<size_t>(w->Size()));
    return;
  }
  TPersistent::Assign(Source);
}

void TWave::Clear() {
  std::vector<uint8_t>().swap(data_);
  std::vector<uint8_t>().swap(format_);
  size_ = 0;
}

void TWave::SetFormatSize(int32_t Value) {
  format_.resize(static_cast<size_t>(Value < 0 ? 0 : Value));
}

void TWave::SetSize(int32_t Value) {
  if (Value < 0) Value = 0;
  const int64_t blocks = (int64_t{Value} + kBlockSize - 1) / kBlockSize;
  if (blocks * kBlockSize != static_cast<int64_t>(data_.size())) {
    data_.resize(static_cast<size_t>(blocks * kBlockSize));
  }
  size_ = Value;
}

void TWave::LoadFromFile(const std::string& FileName) {
  TFileStream f(FileName, fmOpenRead);
  LoadFromStream(f);
}

void TWave::LoadFromStream(TStream& Stream) {
  Clear();
  TWaveStream ws(Stream);
  ws.Open(false);
  SetFormatSize(ws.GetFormatSize());
  if (FormatSize() > 0) std::memcpy(Format(), ws.GetFormat(), static_cast<size_t>(FormatSize()));
  const int64_t n = ws.GetWaveSize();
  if (n > std::numeric_limits<int32_t>::max()) Raise<EWaveStreamError>("Wave is invalid");
  SetSize(static_cast<int32_t>(n));
  ws.ReadBuffer(Data(), Size());
}

void TWave::SaveToStream(TStream& Stream) const {
  if (FormatSize() <= 0 || Size() <= 0) return;
  TWaveStream ws(Stream);
  ws.SetFormatSize(FormatSize());
  std::memcpy(ws.GetFormat(), Format(), static_cast<size_t>(FormatSize()));
  ws.Open(true);
  ws.WriteBuffer(Data(), Size());
  ws.Close();
}

void TWave::ReadData(TStream& Stream) {
  // An empty wave is stored as no bytes at all and comes back empty.
  if (Stream.Size() - Stream.Position() <= 0) {
    Clear();
    return;
  }
  LoadFromStream(Stream);
}

void TWave::WriteData(TStream& Stream) const {
  SaveToStream(Stream);
}

bool TWave::ReadProperty(const std::string& Name, TReader& Reader) {
  return ReadPropertyAs("", Name, Reader);
}

void TWave::WriteProperties(TWriter& Writer) const {
  WritePropertiesAs("", Writer);
}

bool TWave::ReadPropertyAs(const std::string& Prefix, const std::string& Name, TReader& Reader) {
  const std::string own = Prefix.empty() ? std::string("WAVE") : Prefix + ".WAVE";
  if (!SameText(Name, own)) return false;
  std::vector<uint8_t> bytes = Reader.ReadBinary();
  TByteStream s(bytes.data(), bytes.size());
  ReadData(s);
  return true;
}

void TWave::WritePropertiesAs(const std::string& Prefix, TWriter& Writer) const {
  Writer.WriteBinary(Prefix.empty() ? std::string("WAVE") : Prefix + ".WAVE",
                     [this](TStream& s) { WriteData(s); });
}

// ---- TCustomWaveStream --------------------------------------------------------

int64_t TCustomWaveStream::Read(void* Buffer, int64_t Count) {
  Count = std::max<int64_t>(Count, 0);
  const int64_t size = GetWaveSize();
  if (size >= 0) {
    position_ = std::min(position_, size);
    Count = std::min(Count, size - position_);
  }
  const int64_t n = ReadWave(Buffer, Count);
  if (n > 0) position_ += n;
  return n;
}

int64_t TCustomWaveStream::Write(const void* Buffer, int64_t Count) {
  Count = std::max<int64_t>(Count, 0);
  const int64_t size = GetWaveSize();
  if (size >= 0) position_ = std::min(position_, size);
  const int64_t n = WriteWave(Buffer, Count);
  if (n > 0) position_ += n;
  return n;
}

int64_t TCustomWaveStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  const int64_t size = GetWaveSize();
  int64_t p = Origin == soBeginning ? Offset
              : Origin == soCurrent ? position_ + Offset
                                    : size + Offset;
  if (size >= 0) p = std::min(p, size);
  position_ = std::max<int64_t>(p, 0);
  return position_;
}

// ---- TWaveStream ---------------------------------------------------------------

TWaveStream::TWaveStream(TStream& Stream) : start_pos_(Stream.Position()), stream_(Stream) {}

TWaveStream::~TWaveStream() {
  try {
    Close();
  } catch (...) {
    // A destructor never throws; Close reports the failure to callers that
    // want it.
  }
}

void TWaveStream::Open(bool WriteMode) {
  if (WriteMode) {
    OpenWrite();
  } else {
    OpenRead();
  }
}

void TWaveStream::Close() {
  if (opened_ && !read_mode_) CloseWrite();
}

void TWaveStream::OpenRead() {
  if (opened_) Raise<EWaveStreamError>("Stream is already open");
  opened_ = true;
  read_mode_ = true;
  stream_.SetPosition(start_pos_);
  uint8_t head[12];
  stream_.ReadBuffer(head, 12);
  if (LoadU32(head) != Id("RIFF") || LoadU32(head + 8) != Id("WAVE"))
    Raise<EWaveStreamError>("Wave is invalid");

  bool have_format = false;
  const int64_t end = stream_.Size();
  for (;;) {
    uint8_t chunk[8];
    // A header cut short by the end of the stream ends the walk.
    if (stream_.Read(chunk, 8) != 8) break;
    const uint32_t id = LoadU32(chunk);
    if (id == 0) break;
    const int64_t left = std::max<int64_t>(end - stream_.Position(), 0);
    const int64_t size = LoadU32(chunk + 4);
    if (id == Id("fmt ")) {
      // Checked before allocating: a chunk cannot hold more than is left.
      if (size > left) Raise<EReadError>("Stream read error");
      // Its extension size is 16 bits, so no real format block is larger;
      // a bigger one (in a file of gigabytes) would not fit the size field.
      if (size > kMaxWaveFormatSize) Raise<EWaveStreamError>("Format is invalid");
      SetFormatSize(static_cast<int32_t>(size));
      stream_.ReadBuffer(GetFormat(), size);
      have_format = true;
    } else if (id == Id("data")) {
      // A data chunk cut short by the end of the file keeps what is there.
      data_size_ = std::min(size, left);
      data_start_ = stream_.Position();
      stream_.Seek(data_size_, soCurrent);
    } else {
      stream_.Seek(std::min(size, left), soCurrent);
    }
    // Chunks are word-aligned.
    if ((size & 1) && stream_.Position() < end) stream_.Seek(1, soCurrent);
  }
  if (!have_format || GetFormatSize() < kMinWaveFormatSize)
    Raise<EWaveStreamError>("Format is invalid");
}

void TWaveStream::OpenWrite() {
  if (opened_) Raise<EWaveStreamError>("Stream is already open");
  if (GetFormatSize() == 0) Raise<EWaveStreamError>("Format is invalid");
  opened_ = true;
  stream_.SetPosition(start_pos_);
  const uint8_t zeros[12] = {};
  stream_.WriteBuffer(zeros, 12);
  WriteU32(stream_, Id("fmt "));
  WriteU32(stream_, SizeField(GetFormatSize()));
  stream_.WriteBuffer(GetFormat(), GetFormatSize());
  if (GetFormatSize() & 1) {
    const uint8_t pad = 0;
    stream_.WriteBuffer(&pad, 1);
  }
  data_header_pos_ = stream_.Position();
  WriteU32(stream_, Id("data"));
  WriteU32(stream_, 0);
  data_start_ = stream_.Position();
}

void TWaveStream::CloseWrite() {
  opened_ = false;  // whatever happens below, closing happens once
  const int64_t wave_size = stream_.Size() - data_start_;
  if (wave_size & 1) {
    stream_.Seek(0, soEnd);
    const uint8_t pad = 0;
    stream_.WriteBuffer(&pad, 1);
  }
  const int64_t total = stream_.Size();
  stream_.SetPosition(start_pos_);
  WriteU32(stream_, Id("RIFF"));
  WriteU32(stream_, SizeField(total - start_pos_ - 8));
  WriteU32(stream_, Id("WAVE"));
  stream_.SetPosition(data_header_pos_);
  WriteU32(stream_, Id("data"));
  WriteU32(stream_, SizeField(wave_size));
  stream_.Seek(0, soEnd);
}

int64_t TWaveStream::GetWaveSize() {
  if (!opened_) return 0;
  if (read_mode_) return data_size_;
  return stream_.Size() - data_start_;
}

int64_t TWaveStream::ReadWave(void* Buffer, int64_t Count) {
  if (!opened_) Raise<EWaveStreamError>("Stream not opened");
  stream_.SetPosition(data_start_ + position_);
  return stream_.Read(Buffer, Count);
}

int64_t TWaveStream::WriteWave(const void* Buffer, int64_t Count) {
  if (!opened_) Raise<EWaveStreamError>("Stream not opened");
  if (read_mode_) Count = std::max<int64_t>(std::min(Count, data_size_ - position_), 0);
  stream_.SetPosition(data_start_ + position_);
  return stream_.Write(Buffer, Count);
}
