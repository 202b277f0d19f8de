#include "audiolib/decoder.h"

#include <libopenmpt/libopenmpt.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "audiolib/bass_seam.h"
#include "platform/win/files.h"

TSourceFile::TSourceFile(const std::string& Path) : path_(Path) {
  fd_ = FileOpenRegular(Path);
  if (fd_ < 0) return;
  error_ = BASS_OK;
  struct stat st {};
  struct stat named {};
  const std::string self = "/proc/self/fd/" + std::to_string(fd_);
  if (::fstat(fd_, &st) == 0 && ::stat(self.c_str(), &named) == 0 && named.st_dev == st.st_dev &&
      named.st_ino == st.st_ino)
    path_ = self;
}

TSourceFile::~TSourceFile() {
  if (fd_ >= 0) ::close(fd_);
}

uint64_t TSourceFile::Size() const {
  struct stat st {};
  return error_ == BASS_OK && ::fstat(fd_, &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

bool TSourceFile::Read(uint64_t Offset, uint64_t Length, std::vector<uint8_t>& Out) const {
  Out.clear();
  if (error_ != BASS_OK) return false;
  const uint64_t size = Size();
  uint64_t want = Offset < size ? size - Offset : 0;
  if (Length) want = std::min(want, Length);
  Out.resize(static_cast<size_t>(want));
  size_t done = 0;
  while (done < Out.size()) {
    const ssize_t r =
        ::pread(fd_, Out.data() + done, Out.size() - done, static_cast<off_t>(Offset + done));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return false;
    if (r == 0) break;  // the file shrank meanwhile: what is there
    done += static_cast<size_t>(r);
  }
  Out.resize(done);
  return true;
}

namespace {

// The bytes of a file from Begin to End, as libvorbisfile reads a file.
struct TFileSpan {
  std::FILE* F;
  ogg_int64_t Begin, End;

  static size_t Read(void* out, size_t size, size_t count, void* self) {
    auto* s = static_cast<TFileSpan*>(self);
    const ogg_int64_t at = std::ftell(s->F);
    if (at < s->Begin || size == 0 || at >= s->End) return 0;
    count = static_cast<size_t>(std::min<ogg_int64_t>(count, (s->End - at) / size));
    return std::fread(out, size, count, s->F);
  }
  static int Seek(void* self, ogg_int64_t offset, int whence) {
    auto* s = static_cast<TFileSpan*>(self);
    offset += whence == SEEK_END ? s->End : whence == SEEK_CUR ? std::ftell(s->F) : s->Begin;
    if (offset < s->Begin || offset > s->End) return -1;
    return std::fseek(s->F, static_cast<long>(offset), SEEK_SET);
  }
  static long Tell(void* self) {
    auto* s = static_cast<TFileSpan*>(self);
    return std::ftell(s->F) - static_cast<long>(s->Begin);
  }
};

// Where an Ogg stream keeps audio on the page of its last header,
// libvorbisfile never gives those frames when it starts decoding at the
// stream's start (on opening, or after a seek there), though its length and
// its positions count them; played on from the stream before it in a chain,
// the stream gives them all. Opened, a file of that one stream stands where
// the frames it gives begin: those are the frames it leaves out. Begin and
// End are the stream's bytes in the file at Path.
ogg_int64_t FramesLeftOutAtTheStart(const std::string& path, ogg_int64_t begin, ogg_int64_t end) {
  TFileSpan span{std::fopen(path.c_str(), "rb"), begin, end};
  if (!span.F) return 0;
  OggVorbis_File vf{};
  const ov_callbacks calls{&TFileSpan::Read, &TFileSpan::Seek, nullptr, &TFileSpan::Tell};
  ogg_int64_t left = 0;
  if (std::fseek(span.F, static_cast<long>(begin), SEEK_SET) == 0 &&
      ov_open_callbacks(&span, &vf, nullptr, 0, calls) == 0) {
    left = std::max<ogg_int64_t>(0, ov_pcm_tell(&vf));
    ov_clear(&vf);
  }
  std::fclose(span.F);
  return left;
}

// A chained file (several Ogg streams one after another) plays while its
// links keep the first one's rate and channels, and ends where that changes:
// the length is the frames of those links, so what is reported is what
// plays, and samples of another layout never reach the channel.
//
// The channel's frames are those a decode from the file's start gives, all
// of every link but those left out at the start of the first. A seek goes
// to the page before its frame and decodes on to it, since libvorbisfile's
// own positions are not those frames at the start of a link that leaves
// frames out; landed at the start of such a link past the first, it goes
// back into the link before, which plays on into it with every frame.
class TVorbisDecoder : public TDecoder {
 public:
  ~TVorbisDecoder() override {
    if (open_) ov_clear(&vf_);
  }
  bool Open(const std::string& path, int32_t& error) {
    if (ov_fopen(path.c_str(), &vf_) != 0) return false;
    open_ = true;
    const vorbis_info* vi = ov_info(&vf_, 0);
    if (!vi || vi->rate <= 0) return false;
    if (vi->channels != 1 && vi->channels != 2) {
      error = BASS_ERROR_FORMAT;
      return false;
    }
    Rate = static_cast<uint32_t>(vi->rate);
    Channels = static_cast<uint16_t>(vi->channels);
    const int links = ov_streams(&vf_);
    // Opened, a file of one link stands where the frames it gives begin.
    const ogg_int64_t opened = links == 1 ? ov_pcm_tell(&vf_) : 0;
    ogg_int64_t total = 0;
    for (int link = 0; link < links; ++link) {
      const vorbis_info* li = ov_info(&vf_, link);
      const ogg_int64_t frames = ov_pcm_total(&vf_, link);
      if (!li || li->rate != vi->rate || li->channels != vi->channels || frames < 0) break;
      const ogg_int64_t left =
          links == 1 ? opened
                     : FramesLeftOutAtTheStart(path, vf_.offsets[link], vf_.offsets[link + 1]);
      links_.push_back({total, std::clamp<ogg_int64_t>(left, 0, frames)});
      total += frames;
    }
    if (links_.empty() || total <= links_[0].LeftOut) return false;
    Length = static_cast<uint64_t>(total - links_[0].LeftOut);
    // Having looked through a chained file's links, the reader may be left
    // in the last one: reading starts at the first.
    return links == 1 || Seek(0);
  }
  size_t Read(int16_t* out, size_t frames) override {
    // A read never spans two links, so stopping at the length stops before
    // the first sample of a link that changed the format.
    frames = static_cast<size_t>(std::min<uint64_t>(frames, Length > pos_ ? Length - pos_ : 0));
    const size_t got = Decode(out, frames);
    pos_ += got;
    return got;
  }
  bool Seek(uint64_t frame) override {
    if (frame > Length) return false;
    // In libvorbisfile's count, which has the first link's frames left out.
    const ogg_int64_t want = static_cast<ogg_int64_t>(frame) + links_[0].LeftOut;
    ogg_int64_t page = want;
    ogg_int64_t at = 0;
    for (;;) {
      if (ov_pcm_seek_page(&vf_, page) != 0) return false;
      at = ov_pcm_tell(&vf_);
      // At the first link's start, decoding starts after what it leaves out.
      if (at <= links_[0].LeftOut) {
        at = links_[0].LeftOut;
        break;
      }
      // At the start of a later link that leaves frames out, libvorbisfile's
      // position is not that of the frames it gives: back into the link
      // before, which gives them.
      const auto link = std::find_if(links_.begin() + 1, links_.end(), [&](const TLink& l) {
        return l.Start == at && l.LeftOut > 0;
      });
      if (link == links_.end()) break;
      page = link->Start - 1;
    }
    // What lies between the page and the frame is decoded and dropped.
    std::vector<int16_t> scratch;
    for (ogg_int64_t skip = want - at; skip > 0;) {
      const size_t n = static_cast<size_t>(std::min<ogg_int64_t>(skip, 4096));
      scratch.resize(n * Channels);
      const size_t got = Decode(scratch.data(), n);
      if (got == 0) return false;
      skip -= static_cast<ogg_int64_t>(got);
    }
    pos_ = frame;
    return true;
  }

 private:
  struct TLink {
    ogg_int64_t Start;    // its first frame in libvorbisfile's count
    ogg_int64_t LeftOut;  // frames it leaves out when decoding starts at its start
  };

  // Up to Frames frames from where the reader stands.
  size_t Decode(int16_t* out, size_t frames) {
    size_t done = 0;
    const size_t bytes = frames * Channels * 2;
    char* p = reinterpret_cast<char*>(out);
    while (done < bytes) {
      int section = 0;
      const long r =
          ov_read(&vf_, p + done, static_cast<int>(std::min<size_t>(bytes - done, 1 << 16)), 0, 2,
                  1, &section);
      if (r == OV_HOLE) continue;
      if (r <= 0) break;
      done += static_cast<size_t>(r);
    }
    return done / (Channels * 2u);
  }

  OggVorbis_File vf_{};
  bool open_ = false;
  std::vector<TLink> links_;  // those that play
  uint64_t pos_ = 0;
};

uint32_t Le32(const uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24;
}
uint16_t Le16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}

constexpr uint16_t kWavePcm = 1;
constexpr uint16_t kWaveMpeg = 0x50;  // MPEG Layer I or II
constexpr uint16_t kWaveMpegLayer3 = 0x55;
constexpr uint16_t kWaveExtensible = 0xFFFE;
// The tail of the sub-format GUIDs of an extensible header that hold a
// format tag in their first two bytes.
constexpr uint8_t kTagGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                      0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// The format and data chunks of a RIFF WAVE file, found in either order
// among whatever other chunks it has; Read stops at the first fault, with
// what it found so far.
struct TWaveChunks {
  uint8_t Fmt[40] = {};  // the format chunk's first bytes
  uint32_t FmtSize = 0;  // 0: none found
  bool Data = false;
  uint64_t DataAt = 0;
  // What the file holds of the data: a size of 0 or beyond the file (a
  // writer that streamed the file and never came back to fill it in, or a
  // cut download) is what is there.
  uint64_t DataBytes = 0;

  void Read(std::FILE* f) {
    uint8_t h[12];
    if (std::fread(h, 1, 12, f) != 12 || std::memcmp(h, "RIFF", 4) ||
        std::memcmp(h + 8, "WAVE", 4) || std::fseek(f, 0, SEEK_END) != 0)
      return;
    const long end = std::ftell(f);
    if (end < 0 || std::fseek(f, 12, SEEK_SET) != 0) return;
    const auto fileSize = static_cast<uint64_t>(end);
    uint8_t c[8];
    while (!(FmtSize && Data) && std::fread(c, 1, 8, f) == 8) {
      const uint32_t size = Le32(c + 4);
      const long here = std::ftell(f);
      if (here < 0) return;
      const auto at = static_cast<uint64_t>(here);
      if (!std::memcmp(c, "fmt ", 4) && !FmtSize) {
        const size_t want = std::min<size_t>(size, sizeof Fmt);
        if (size < 16 || std::fread(Fmt, 1, want, f) != want) return;
        FmtSize = size;
      } else if (!std::memcmp(c, "data", 4) && !Data) {
        const uint64_t have = fileSize - std::min(at, fileSize);
        Data = true;
        DataAt = at;
        DataBytes = size == 0 ? have : std::min<uint64_t>(size, have);
        // Nothing after data that runs to the end of the file.
        if (size == 0 || size >= have) break;
      }
      const uint64_t next = at + size + (size & 1);
      if (next >= fileSize || std::fseek(f, static_cast<long>(next), SEEK_SET) != 0) break;
    }
  }

  // The format tag, or, of an extensible header, the one its sub-format
  // holds (0 for a sub-format of another kind).
  uint16_t Tag() const {
    const uint16_t tag = Le16(Fmt);
    if (tag != kWaveExtensible) return tag;
    if (FmtSize < 40 || Le16(Fmt + 16) < 22 ||
        std::memcmp(Fmt + 26, kTagGuidTail, sizeof kTagGuidTail) != 0)
      return 0;
    return Le16(Fmt + 24);
  }
  // Whether the samples are plain integer PCM. Samples with fewer valid
  // bits than their container are stored in its high bits, so they play as
  // the container's size.
  bool PlainPcm() const {
    if (Tag() != kWavePcm) return false;
    if (Le16(Fmt) != kWaveExtensible) return true;
    const uint16_t valid = Le16(Fmt + 18);
    return valid > 0 && valid <= Le16(Fmt + 14);
  }
  bool Mpeg() const { return Tag() == kWaveMpeg || Tag() == kWaveMpegLayer3; }
};

// A WAV file's handle, closed with whoever holds it last.
using TWaveFile = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

// RIFF WAVE with PCM samples of 8 or 16 bits, mono or stereo, in the plain or
// the extensible header. Other sample forms (24-bit, float, mu-law, ADPCM,
// more channels) are a WAV the library does not play: BASS_ERROR_FORMAT.
// (One that holds MPEG audio is the MPEG decoder's.)
class TWaveDecoder : public TDecoder {
 public:
  // F is the file the chunks were found in; the decoder keeps it.
  bool Open(TWaveFile&& f, const TWaveChunks& w, int32_t& error) {
    f_ = std::move(f);
    Channels = Le16(w.Fmt + 2);
    Rate = Le32(w.Fmt + 4);
    uint16_t align = Le16(w.Fmt + 12);
    const uint16_t bits = Le16(w.Fmt + 14);
    if (Channels == 0 || Rate == 0) return false;
    if (!w.PlainPcm() || (Channels != 1 && Channels != 2) || (bits != 8 && bits != 16)) {
      error = BASS_ERROR_FORMAT;
      return false;
    }
    if (!w.Data) return false;
    // Some writers leave the block align (and the byte rate, which nothing
    // here needs) 0: it follows from the channels and bits.
    const auto frame = static_cast<uint16_t>(Channels * bits / 8);
    if (align == 0) align = frame;
    if (align != frame) return false;
    Length = w.DataBytes / align;
    if (Length == 0) return false;
    data_ = static_cast<long>(w.DataAt);
    align_ = align;
    EightBit = bits == 8;
    return std::fseek(f_.get(), data_, SEEK_SET) == 0;
  }
  size_t Read(int16_t* out, size_t frames) override {
    frames = static_cast<size_t>(std::min<uint64_t>(frames, Length - pos_));
    raw_.resize(frames * align_);
    const size_t got = std::fread(raw_.data(), align_, frames, f_.get());
    const size_t samples = got * Channels;
    for (size_t i = 0; i < samples; ++i) {
      out[i] = EightBit ? static_cast<int16_t>((raw_[i] - 128) << 8)
                        : static_cast<int16_t>(Le16(&raw_[2 * i]));
    }
    pos_ += got;
    return got;
  }
  bool Seek(uint64_t frame) override {
    if (frame > Length) return false;
    pos_ = frame;
    return std::fseek(f_.get(), data_ + static_cast<long>(frame * align_), SEEK_SET) == 0;
  }

 private:
  TWaveFile f_{nullptr, &std::fclose};
  long data_ = 0;
  uint32_t align_ = 0;
  uint64_t pos_ = 0;
  std::vector<uint8_t> raw_;
};

std::atomic<int32_t> g_module_memory{kModuleMemoryNone};

// Whether memory runs out at Step of a module load, as the test hook says:
// once, where it said.
bool ModuleMemoryRunsOut(int32_t step) {
  int32_t armed = step;
  return step != kModuleMemoryNone &&
         g_module_memory.compare_exchange_strong(armed, kModuleMemoryNone);
}

// What libopenmpt reports about a module as it renders: only running out of
// memory counts, since every other failure ends a render the same way each
// time.
int KeepOutOfMemory(int error, void* user) {
  if (error == OPENMPT_ERROR_OUT_OF_MEMORY) static_cast<std::atomic<bool>*>(user)->store(true);
  return OPENMPT_ERROR_FUNC_RESULT_NONE;
}

// The renderer's duration is an estimate: its output goes on past it (by
// about a tenth of a second, more or less with the tempo), and a channel
// stopped there would cut the sound short. The length is therefore counted
// by rendering the whole song once, on a renderer of its own with the
// cheapest settings (they change the samples, not how many there are), and
// the song plays to the renderer's own end. That render takes over a second
// for an hour of music, so it is the decoder's LengthCount: the song opens at
// once and plays while it is counted.
//
// Memory that runs out is never taken for the file's fault: a renderer that
// cannot be made for want of it throws std::bad_alloc, as does a count that
// runs out partway (its length is then unknown, never 0), and a render that
// runs out while it plays ends the channel there.
class TModuleDecoder : public TDecoder {
 public:
  ~TModuleDecoder() override {
    stop_->store(true);
    if (m_) openmpt_module_destroy(m_);
  }
  bool Open(std::vector<uint8_t> data, uint32_t rate) {
    data_ = std::make_shared<const std::vector<uint8_t>>(std::move(data));
    Rate = rate;
    Channels = 2;
    m_ = Create(*data_, kModuleMemoryRenderer, &out_of_memory_);
    if (!m_) return false;
    const double secs = openmpt_module_get_duration_seconds(m_);
    if (!(secs > 0) || !std::isfinite(secs) || secs > 86400) return false;
    // Where no thread can be had, the count runs in the first wait for it.
    LengthCount =
        std::async(std::launch::async | std::launch::deferred, &Count, data_, rate, stop_).share();
    return true;
  }
  size_t Read(int16_t* out, size_t frames) override {
    const size_t got =
        openmpt_module_read_interleaved_stereo(m_, static_cast<int32_t>(Rate), frames, out);
    if (got == 0 && out_of_memory_.exchange(false)) throw std::bad_alloc();
    return got;
  }
  bool Seek(uint64_t frame) override {
    if (frame == 0) {
      // From the start, a fresh renderer gives exactly the render that was
      // counted.
      openmpt_module* fresh = Create(*data_, kModuleMemoryRenderer, &out_of_memory_);
      if (!fresh) return false;
      openmpt_module_destroy(m_);
      m_ = fresh;
      return true;
    }
    openmpt_module_set_position_seconds(m_, static_cast<double>(frame) / Rate);
    return true;
  }

 private:
  // A renderer of Data, or nil for data that is no module (an ordinary
  // answer, not a message). Memory running out, in libopenmpt or at Step by
  // the test hook's say, throws; OutOfMemory is set when it runs out later,
  // as the renderer renders.
  static openmpt_module* Create(const std::vector<uint8_t>& data, int32_t step,
                                std::atomic<bool>* outOfMemory) {
    int error = OPENMPT_ERROR_OK;
    openmpt_module* m = nullptr;
    if (ModuleMemoryRunsOut(step))
      error = OPENMPT_ERROR_OUT_OF_MEMORY;  // as libopenmpt answers then
    else
      m = openmpt_module_create_from_memory2(data.data(), data.size(), openmpt_log_func_silent,
                                             nullptr, &KeepOutOfMemory, outOfMemory, &error,
                                             nullptr, nullptr);
    if (!m && error == OPENMPT_ERROR_OUT_OF_MEMORY) throw std::bad_alloc();
    return m;
  }
  // Runs on the count's thread, on what it shares with the decoder alone.
  // A count that fails throws, and the length stays unknown.
  static uint64_t Count(std::shared_ptr<const std::vector<uint8_t>> data, uint32_t rate,
                        std::shared_ptr<std::atomic<bool>> stop) {
    std::vector<int16_t> scratch(8192);
    std::atomic<bool> outOfMemory{false};
    openmpt_module* counter = Create(*data, kModuleMemoryNone, &outOfMemory);
    // The same data made a renderer a moment ago.
    if (!counter) throw std::runtime_error("the module's length could not be counted");
    openmpt_module_set_render_param(counter, OPENMPT_MODULE_RENDER_INTERPOLATIONFILTER_LENGTH, 1);
    openmpt_module_set_render_param(counter, OPENMPT_MODULE_RENDER_VOLUMERAMPING_STRENGTH, 0);
    uint64_t frames = 0;
    for (size_t n; !stop->load() && !outOfMemory &&
                   (n = openmpt_module_read_mono(counter, static_cast<int32_t>(rate),
                                                 scratch.size(), scratch.data())) > 0;) {
      frames += n;
      // Partway, as libopenmpt tells it, when the test hook says so.
      if (ModuleMemoryRunsOut(kModuleMemoryCount)) outOfMemory = true;
    }
    openmpt_module_destroy(counter);
    if (outOfMemory) throw std::bad_alloc();
    return frames;
  }

  std::shared_ptr<const std::vector<uint8_t>> data_;
  std::shared_ptr<std::atomic<bool>> stop_ = std::make_shared<std::atomic<bool>>(false);
  std::atomic<bool> out_of_memory_{false};
  openmpt_module* m_ = nullptr;
};

template <class D, class... A>
std::unique_ptr<TDecoder> Try(A&&... a) {
  auto d = std::make_unique<D>();
  if (!d->Open(std::forward<A>(a)...)) return nullptr;
  return d;
}

// Try, for a decoder whose Open says why it refused a file of its own kind.
template <class D>
std::unique_ptr<TDecoder> TryTelling(const std::string& path, int32_t* error) {
  int32_t why = BASS_ERROR_FILEFORM;
  std::unique_ptr<TDecoder> d = Try<D>(path, why);
  if (error) *error = d ? BASS_OK : why;
  return d;
}

}  // namespace

std::unique_ptr<TDecoder> OpenVorbisDecoder(const std::string& Path, int32_t* Error) {
  return TryTelling<TVorbisDecoder>(Path, Error);
}
std::unique_ptr<TDecoder> OpenWaveDecoder(const std::string& Path, int32_t* Error) {
  int32_t why = BASS_ERROR_FILEFORM;
  std::unique_ptr<TDecoder> d;
  TWaveChunks chunks;
  TWaveFile f(std::fopen(Path.c_str(), "rb"), &std::fclose);
  if (f) chunks.Read(f.get());
  // A WAV that holds MPEG audio (as Windows tools write MP3 into one) plays
  // its data chunk as an MPEG file.
  if (chunks.FmtSize && chunks.Mpeg()) {
    if (chunks.Data) d = OpenMpegDecoder(Path, chunks.DataAt, chunks.DataBytes);
  } else if (chunks.FmtSize) {
    d = Try<TWaveDecoder>(std::move(f), chunks, why);
  }
  if (Error) *Error = d ? BASS_OK : why;
  return d;
}
std::unique_ptr<TDecoder> OpenModuleDecoder(std::vector<uint8_t> Data, uint32_t Rate) {
  return Try<TModuleDecoder>(std::move(Data), Rate);
}

std::unique_ptr<TDecoder> LoadModuleFile(const std::string& Path, uint64_t Offset, uint64_t Length,
                                         uint32_t Rate, int32_t& Error) {
  // Modules are read whole; one far larger than any song (a mistaken
  // multi-gigabyte file) is refused before it fills the memory, and so is
  // any file whose first bytes are of no module, before the rest is read.
  constexpr uint64_t kMaxModuleBytes = uint64_t{256} << 20;
  const TSourceFile file(Path);
  const uint64_t size = file.Size();
  std::vector<uint8_t> head;
  if (file.Error() != BASS_OK ||
      !file.Read(Offset, openmpt_probe_file_header_get_recommended_size(), head)) {
    Error = BASS_ERROR_FILEOPEN;
    return nullptr;
  }
  uint64_t bytes = size > Offset ? size - Offset : 0;
  if (Length) bytes = std::min(bytes, Length);
  if (head.size() > bytes) head.resize(static_cast<size_t>(bytes));
  // Only a clear "no" refuses: an answer that needs more bytes, or an error
  // inside the probe, leaves it to the load.
  if (bytes > kMaxModuleBytes ||
      openmpt_probe_file_header(OPENMPT_PROBE_FILE_HEADER_FLAGS_DEFAULT, head.data(), head.size(),
                                bytes, openmpt_log_func_silent, nullptr, openmpt_error_func_ignore,
                                nullptr, nullptr,
                                nullptr) == OPENMPT_PROBE_FILE_HEADER_RESULT_FAILURE) {
    Error = BASS_ERROR_FILEFORM;
    return nullptr;
  }
  if (ModuleMemoryRunsOut(kModuleMemoryRead)) throw std::bad_alloc();
  std::vector<uint8_t> data;
  if (!file.Read(Offset, bytes, data)) {
    Error = BASS_ERROR_FILEOPEN;
    return nullptr;
  }
  std::unique_ptr<TDecoder> d = OpenModuleDecoder(std::move(data), Rate);
  Error = d ? BASS_OK : BASS_ERROR_FILEFORM;
  return d;
}

void BassFailModuleMemory(int32_t Step) {
  g_module_memory = Step;
}
