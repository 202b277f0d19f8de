// MPEG audio streams. libmpg123 decodes, but it resynchronises on almost any
// bytes, so it never decides what a file is: the frame headers are walked
// first, as a careful reader does. A file is MPEG audio when, after its ID3v2
// tags, frames chain (each header where the one before it says, all of one
// stream: version, layer, rate, mono or not). The walk runs to the end of
// the audio, over damaged stretches and tags between joined files, and stops
// where another stream begins. libmpg123 is then handed only the frames the
// walk found, as one stream, with their index: the length is known without
// decoding, every seek finds its frame at once, and a change of format is
// the end of the stream, so the length is what plays.
#include <fcntl.h>
#include <mpg123.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <limits>
#include <vector>

#include "audiolib/decoder.h"
#include "audiolib/mpeg_frame.h"

namespace {

constexpr long kSeekPreframes = 32;
// Frames in a row that make a stream; fewer do when they run to the end of
// the audio or follow a VBR header.
constexpr int kChainFrames = 4;
// How far past its tags a file may keep junk before its first frame; a file
// that is no MPEG audio is refused after looking this far.
constexpr uint64_t kFirstFrameReach = 64 * 1024;
// Samples by which libmpg123's Layer III synthesis trails its input; an
// encoder's delay and padding are counted with it.
constexpr int64_t kDecoderDelay = 529;
constexpr size_t kBlockBytes = size_t{1} << 20;
constexpr size_t kIndexEntries = size_t{1} << 16;
constexpr uint64_t kId3v1Bytes = 128;
constexpr uint8_t kLayerIII = 1;
constexpr uint8_t kMono = 3;
constexpr uint32_t kVbriOffset = 36;
constexpr uint64_t kNone = std::numeric_limits<uint64_t>::max();

uint32_t Be32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

bool SameStream(const TMpegHeader& a, const TMpegHeader& b) {
  return a.VersionID == b.VersionID && a.LayerID == b.LayerID && a.SampleRateID == b.SampleRateID &&
         (a.ModeID == kMono) == (b.ModeID == kMono);
}

// A file read in large blocks, for walking its frame headers.
class TBlockReader {
 public:
  TBlockReader(int fd, uint64_t size)
      : fd_(fd), size_(size), buf_(static_cast<size_t>(std::min<uint64_t>(kBlockBytes, size))) {}

  uint64_t Size() const { return size_; }

  // The N bytes at At (N well below a block), or null when they are not all
  // there.
  const uint8_t* Peek(uint64_t at, size_t n) {
    if (at < at_ || at + n > at_ + len_) {
      if (at >= size_) return nullptr;
      at_ = at;
      len_ = 0;
      const size_t want = static_cast<size_t>(std::min<uint64_t>(buf_.size(), size_ - at));
      while (len_ < want) {
        const ssize_t r =
            pread(fd_, buf_.data() + len_, want - len_, static_cast<off_t>(at + len_));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        len_ += static_cast<size_t>(r);
      }
      if (n > len_) return nullptr;
    }
    return buf_.data() + (at - at_);
  }

  // The first byte Value in [From, To); kNone when there is none.
  uint64_t Find(uint64_t from, uint64_t to, uint8_t value) {
    while (from < to) {
      const uint8_t* p = Peek(from, 1);
      if (!p) return kNone;
      const size_t span = static_cast<size_t>(std::min<uint64_t>(to - from, at_ + len_ - from));
      if (const void* hit = std::memchr(p, value, span))
        return from + static_cast<uint64_t>(static_cast<const uint8_t*>(hit) - p);
      from += span;
    }
    return kNone;
  }

 private:
  int fd_;
  uint64_t size_;
  std::vector<uint8_t> buf_;
  uint64_t at_ = 0;
  size_t len_ = 0;
};

// A stretch of the file that holds frames, placed in the stream that
// libmpg123 reads.
struct TSegment {
  uint64_t FileAt;
  uint64_t StreamAt;
  uint64_t Bytes;
};

// What the walk found: the frames' places in that stream, the stretches of
// the file they come from, the stream's format and its VBR header.
struct TWalk {
  std::vector<off_t> Frames;
  std::vector<TSegment> Segments;
  TMpegHeader Head;
  int64_t VbrFrames = -1;  // the frame count a Xing or Info header gives
};

class TFrameWalker {
 public:
  explicit TFrameWalker(TBlockReader& file) : file_(file), end_(file.Size()) {
    // Audio ends where an ID3v1 tag begins.
    if (const uint8_t* t = end_ >= kId3v1Bytes ? file.Peek(end_ - kId3v1Bytes, 3) : nullptr)
      if (std::memcmp(t, "TAG", 3) == 0) end_ -= kId3v1Bytes;
  }

  bool Walk(TWalk& w) {
    const uint64_t start = SkipTags(0);
    if (start >= end_) return false;
    uint64_t at = FindChain(start, std::min(end_, start + kFirstFrameReach));
    if (at == kNone) return false;
    uint32_t len = FrameAt(at, w.Head);
    w.VbrFrames = VbrHeader(at, w.Head, len).Frames;
    uint64_t streamAt = 0;
    for (;;) {
      const uint64_t from = at;
      while ((len = StreamFrameAt(at, w.Head)) != 0) {
        w.Frames.push_back(static_cast<off_t>(streamAt + (at - from)));
        at += len;
      }
      w.Segments.push_back({from, streamAt, at - from});
      streamAt += at - from;
      if (at >= end_) break;
      // Damage, or tags between joined files: the stream goes on where its
      // frames chain again. Frames of another stream end it.
      at = FindChain(SkipTags(at), end_);
      if (at == kNone) break;
      TMpegHeader h;
      FrameAt(at, h);
      if (!SameStream(w.Head, h)) break;
    }
    return true;
  }

 private:
  struct TVbr {
    bool Found = false;
    int64_t Frames = -1;
  };

  // The length of the frame whose header is at At, when all of it lies
  // before the end of the audio; 0 when there is none.
  uint32_t FrameAt(uint64_t at, TMpegHeader& h) {
    const uint8_t* b = file_.Peek(at, 4);
    if (!b || !IsMPEGFrameHeader(b)) return 0;
    h = ParseMPEGFrameHeader(b);
    const uint32_t len = MPEGFrameLength(h);
    return len > 4 && at + len <= end_ ? len : 0;
  }

  // The length of the frame of Stream whose header is at At, as FrameAt;
  // each header word met on the walk is worked out once.
  uint32_t StreamFrameAt(uint64_t at, const TMpegHeader& stream) {
    const uint8_t* b = file_.Peek(at, 4);
    if (!b) return 0;
    const uint32_t word = Be32(b);
    TKnownHeader& k = known_[b[2] >> 1];
    if (!k.Known || k.Word != word) {
      const TMpegHeader h = ParseMPEGFrameHeader(b);
      k = {true, word, IsMPEGFrameHeader(b) && SameStream(stream, h) ? MPEGFrameLength(h) : 0u};
    }
    return k.Length > 4 && at + k.Length <= end_ ? k.Length : 0;
  }

  // A Xing, Info or VBRI header in the Layer III frame at At.
  TVbr VbrHeader(uint64_t at, const TMpegHeader& h, uint32_t len) {
    TVbr v;
    if (h.LayerID != kLayerIII) return v;
    const uint32_t x = MPEGXingOffset(h) + (h.Protected ? 2 : 0);
    if (const uint8_t* b = x + 12 <= len ? file_.Peek(at + x, 12) : nullptr) {
      const uint32_t flags = Be32(b + 4);
      if ((std::memcmp(b, "Xing", 4) == 0 || std::memcmp(b, "Info", 4) == 0) && flags < 16) {
        v.Found = true;
        if (flags & 1) v.Frames = Be32(b + 8);
        return v;
      }
    }
    if (const uint8_t* b = kVbriOffset + 26 <= len ? file_.Peek(at + kVbriOffset, 6) : nullptr)
      v.Found = std::memcmp(b, "VBRI", 4) == 0 && b[4] == 0 && b[5] == 1;
    return v;
  }

  // Whether frames of one stream chain from At.
  bool ChainAt(uint64_t at) {
    TMpegHeader first, h;
    uint32_t len = FrameAt(at, first);
    if (len == 0) return false;
    const uint32_t firstLen = len;
    int frames = 1;
    uint64_t q = at + len;
    while (frames < kChainFrames && (len = FrameAt(q, h)) != 0 && SameStream(first, h)) {
      ++frames;
      q += len;
    }
    return frames >= kChainFrames ||
           (frames >= 2 && (q == end_ || VbrHeader(at, first, firstLen).Found));
  }

  // The first place in [From, To) where frames chain; kNone when none.
  uint64_t FindChain(uint64_t from, uint64_t to) {
    for (uint64_t p = from; (p = file_.Find(p, to, 0xFF)) != kNone; ++p)
      if (ChainAt(p)) return p;
    return kNone;
  }

  // Past the ID3v2 and ID3v1 tags that begin at At.
  uint64_t SkipTags(uint64_t at) {
    for (;;) {
      if (const uint8_t* b = file_.Peek(at, 10); b && IsID3v2Header(b)) {
        at += static_cast<uint64_t>(ID3v2TagSize(b));
      } else if (const uint8_t* t = file_.Peek(at, kId3v1Bytes);
                 t && std::memcmp(t, "TAG", 3) == 0) {
        at += kId3v1Bytes;
      } else {
        return at;
      }
    }
  }

  // Header words by their third byte (bit rate, rate and padding), which is
  // what changes from frame to frame of one stream.
  struct TKnownHeader {
    bool Known = false;
    uint32_t Word = 0;
    uint32_t Length = 0;
  };

  TBlockReader& file_;
  uint64_t end_;
  std::array<TKnownHeader, 128> known_{};
};

// The frames of the walk as one stream, for libmpg123's reader.
struct TStreamSource {
  int Fd = -1;
  std::vector<TSegment> Segments;
  uint64_t Size = 0;
  uint64_t Pos = 0;

  static mpg123_ssize_t Read(void* handle, void* buf, size_t n) {
    auto& s = *static_cast<TStreamSource*>(handle);
    size_t done = 0;
    while (done < n && s.Pos < s.Size) {
      const auto seg =
          std::prev(std::upper_bound(s.Segments.begin(), s.Segments.end(), s.Pos,
                                     [](uint64_t p, const TSegment& g) { return p < g.StreamAt; }));
      const uint64_t in = s.Pos - seg->StreamAt;
      const size_t want = static_cast<size_t>(std::min<uint64_t>(n - done, seg->Bytes - in));
      const ssize_t r =
          pread(s.Fd, static_cast<char*>(buf) + done, want, static_cast<off_t>(seg->FileAt + in));
      if (r < 0 && errno == EINTR) continue;
      if (r < 0 && done == 0) return -1;
      if (r <= 0) break;
      done += static_cast<size_t>(r);
      s.Pos += static_cast<uint64_t>(r);
    }
    return static_cast<mpg123_ssize_t>(done);
  }

  static off_t Seek(void* handle, off_t offset, int whence) {
    auto& s = *static_cast<TStreamSource*>(handle);
    const int64_t base = whence == SEEK_SET   ? 0
                         : whence == SEEK_CUR ? static_cast<int64_t>(s.Pos)
                         : whence == SEEK_END ? static_cast<int64_t>(s.Size)
                                              : -1;
    if (base < 0 || offset < -base || offset > static_cast<int64_t>(s.Size) - base) return -1;
    s.Pos = static_cast<uint64_t>(base + offset);
    return static_cast<off_t>(s.Pos);
  }
};

class TMpegDecoder : public TDecoder {
 public:
  ~TMpegDecoder() override {
    if (h_) {
      mpg123_close(h_);
      mpg123_delete(h_);
    }
    if (source_.Fd >= 0) close(source_.Fd);
  }

  bool Open(const std::string& path) {
    // Never waits on a pipe's writer; only plain files are read.
    source_.Fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    if (source_.Fd < 0 || fstat(source_.Fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    TWalk walk;
    {
      TBlockReader file(source_.Fd, static_cast<uint64_t>(st.st_size));
      if (!TFrameWalker(file).Walk(walk) || walk.Frames.empty()) return false;
    }
    source_.Segments = std::move(walk.Segments);
    source_.Size = source_.Segments.back().StreamAt + source_.Segments.back().Bytes;

    int err = 0;
    h_ = mpg123_new(nullptr, &err);
    if (!h_) return false;
    mpg123_param(h_, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    // The encoder's delay and padding are trimmed here, where the frames the
    // file really holds are known, rather than by libmpg123, which goes by
    // the frame count in the encoder's header.
    mpg123_param(h_, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0);
    // A frame may take its data from the frames before it (up to 511 bytes
    // back, many small frames), so a seek decodes enough of them first to
    // give the very samples a decode from the start gives.
    mpg123_param(h_, MPG123_PREFRAMES, kSeekPreframes, 0);
    // Only the file's own rate and channels, as 16-bit samples.
    mpg123_format_none(h_);
    const long* rates = nullptr;
    size_t n = 0;
    mpg123_rates(&rates, &n);
    for (size_t i = 0; i < n; ++i)
      mpg123_format(h_, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    if (mpg123_replace_reader_handle(h_, &TStreamSource::Read, &TStreamSource::Seek, nullptr) !=
            MPG123_OK ||
        mpg123_open_handle(h_, &source_) != MPG123_OK)
      return false;
    long rate = 0;
    int ch = 0, enc = 0;
    if (mpg123_getformat(h_, &rate, &ch, &enc) != MPG123_OK || rate <= 0 || (ch != 1 && ch != 2))
      return false;

    // libmpg123 counts frames from its first audio frame: past a VBR header
    // frame, which it reads as no audio.
    const auto first = std::find(walk.Frames.begin(), walk.Frames.end(), mpg123_framepos(h_));
    if (first == walk.Frames.end()) return false;
    const size_t audio = static_cast<size_t>(walk.Frames.end() - first);
    const off_t step = static_cast<off_t>((audio + kIndexEntries - 1) / kIndexEntries);
    std::vector<off_t> index;
    for (size_t i = 0; i < audio; i += static_cast<size_t>(step))
      index.push_back(first[static_cast<ptrdiff_t>(i)]);
    if (mpg123_set_index(h_, index.data(), step, index.size()) != MPG123_OK) return false;

    // The delay is trimmed whenever the encoder's header tells it; the
    // padding only when the header's frame count is the file's, as it lies
    // after the last frame the header counted.
    long delay = -1, padding = -1;
    double unused = 0;
    mpg123_getstate(h_, MPG123_ENC_DELAY, &delay, &unused);
    mpg123_getstate(h_, MPG123_ENC_PADDING, &padding, &unused);
    const int64_t raw = static_cast<int64_t>(audio) * MPEGFrameSamples(walk.Head);
    int64_t end = raw;
    if (delay >= 0) begin_ = delay + kDecoderDelay;
    if (delay >= 0 && padding >= 0 && walk.VbrFrames == static_cast<int64_t>(audio))
      end = std::min(raw, raw - padding + kDecoderDelay);
    if (end <= begin_) return false;
    if (begin_ > 0 && mpg123_seek(h_, static_cast<off_t>(begin_), SEEK_SET) < 0) return false;
    Rate = static_cast<uint32_t>(rate);
    Channels = static_cast<uint16_t>(ch);
    Length = static_cast<uint64_t>(end - begin_);
    return true;
  }

  size_t Read(int16_t* out, size_t frames) override {
    frames = static_cast<size_t>(std::min<uint64_t>(frames, Length - pos_));
    size_t done = 0;
    const size_t bytes = frames * Channels * 2;
    unsigned char* p = reinterpret_cast<unsigned char*>(out);
    while (done < bytes) {
      size_t got = 0;
      const int r = mpg123_read(h_, p + done, bytes - done, &got);
      done += got;
      if (r != MPG123_OK || got == 0) break;
    }
    pos_ += done / (Channels * 2u);
    return done / (Channels * 2u);
  }

  bool Seek(uint64_t frame) override {
    if (frame > Length ||
        mpg123_seek(h_, static_cast<off_t>(static_cast<uint64_t>(begin_) + frame), SEEK_SET) < 0)
      return false;
    pos_ = frame;
    return true;
  }

 private:
  mpg123_handle* h_ = nullptr;
  TStreamSource source_;
  int64_t begin_ = 0;  // samples of the encoder's delay
  uint64_t pos_ = 0;
};

}  // namespace

std::unique_ptr<TDecoder> OpenMpegDecoder(const std::string& Path) {
  auto d = std::make_unique<TMpegDecoder>();
  if (!d->Open(Path)) return nullptr;
  return d;
}
