// MPEG audio streams. libmpg123 decodes, but it resynchronises on almost any
// bytes, so it never decides what a file is: the frame headers are walked
// first, as a careful reader does. A file is MPEG audio when, after its ID3v2
// tags, frames chain (each header where the one before it says, all of one
// stream: version, layer, rate, mono or not). The walk runs to the end of
// the audio, over damaged stretches and tags between joined files, and stops
// where another stream begins or where a long stretch holds no frame, so
// what follows the audio costs nothing however large it is. libmpg123 is
// then handed only the frames the walk found, as one stream, with their
// index: the length is known without decoding, every seek finds its frame at
// once, and a change of format is the end of the stream, so the length is
// what plays. The audio may be part of a file (the data chunk of a WAV that
// holds MPEG audio).
#include <fcntl.h>
#include <mpg123.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "audiolib/decoder.h"
#include "audiolib/mpeg_frame.h"

namespace {

constexpr long kSeekPreframes = 32;
// Frames in a row that make a stream; fewer do when they run to the end of
// the audio (even one, or one and the start of the next) or follow a VBR
// header.
constexpr int kChainFrames = 4;
// Layer I frames are short and their headers begin with the bytes FF FF,
// which other data (machine code, tables, pictures) is full of: a Layer I
// stream must show more frames in a row, and sound (a frame that is more
// than its header) among its first frames. Layer I files are rare; one that
// starts with more silence than that is refused with the rest.
constexpr int kLayerIChainFrames = 8;
constexpr int kLayerISoundWithin = 72;
// How far the walk looks for frames past what holds none: junk or zeros
// before the first frame (after the tags), damage amid the audio, and what
// follows it. A file without frames that far past its tags is no MPEG
// audio, and the audio ends where that much follows a frame without
// another, whatever the file holds after it.
constexpr uint64_t kJunkReach = uint64_t{1} << 20;
// Samples by which libmpg123's Layer III synthesis trails its input; an
// encoder's delay and padding are counted with it.
constexpr int64_t kDecoderDelay = 529;
constexpr size_t kBlockBytes = size_t{1} << 20;
constexpr size_t kIndexEntries = size_t{1} << 16;
constexpr uint64_t kId3v1Bytes = 128;
constexpr uint8_t kMpeg25 = 0;
constexpr uint8_t kMpeg1 = 3;
constexpr uint8_t kLayerIII = 1;
constexpr uint8_t kLayerI = 3;
constexpr uint8_t kJointStereo = 1;
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

// A file read in large blocks, for walking its frame headers; nothing at or
// past Size is read.
class TBlockReader {
 public:
  TBlockReader(int fd, uint64_t size)
      : fd_(fd),
        size_(size),
        room_(static_cast<size_t>(std::min<uint64_t>(kBlockBytes, size))),
        buf_(new uint8_t[room_]) {}

  uint64_t Size() const { return size_; }

  // The N bytes at At (N well below a block), or null when they are not all
  // there.
  const uint8_t* Peek(uint64_t at, size_t n) {
    if (at < at_ || at + n > at_ + len_) {
      if (at >= size_) return nullptr;
      at_ = at;
      len_ = 0;
      const size_t want = static_cast<size_t>(std::min<uint64_t>(room_, size_ - at));
      while (len_ < want) {
        const ssize_t r = pread(fd_, buf_.get() + len_, want - len_, static_cast<off_t>(at + len_));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        len_ += static_cast<size_t>(r);
      }
      if (n > len_) return nullptr;
    }
    return buf_.get() + (at - at_);
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
  size_t room_;
  // Not cleared first: only what was read is ever looked at.
  std::unique_ptr<uint8_t[]> buf_;
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

// The bits of a frame's body, first to last.
class TBits {
 public:
  TBits(const uint8_t* p, uint32_t bytes) : p_(p), bytes_(bytes) {}
  // The next N bits (N at most 9), or -1 when the body ends first.
  int Take(int n) {
    if (pos_ + static_cast<uint32_t>(n) > bytes_ * 8) return -1;
    const uint32_t at = pos_ >> 3;
    const uint32_t two = uint32_t{p_[at]} << 8 | (at + 1 < bytes_ ? p_[at + 1] : 0);
    const int v =
        static_cast<int>(two >> (16 - (pos_ & 7) - static_cast<uint32_t>(n))) & ((1 << n) - 1);
    pos_ += static_cast<uint32_t>(n);
    return v;
  }
  uint32_t Left() const { return bytes_ * 8 - pos_; }

 private:
  const uint8_t* p_;
  uint32_t bytes_;
  uint32_t pos_ = 0;
};

// Layer II's bit allocation tables, chosen by the version, the rate and the
// bit rate of each channel: how many subbands they cover, and the width of
// each subband's allocation.
constexpr int kLayerIISubbands[5] = {27, 30, 8, 12, 30};
int LayerIITable(const TMpegHeader& h, int channels) {
  if (h.VersionID != kMpeg1) return 4;
  const int perChannel = MPEGBitRate(h) / channels;
  const int rate = MPEGSampleRate(h);
  if ((rate == 48000 && perChannel >= 56) || (perChannel >= 56 && perChannel <= 80)) return 0;
  if (rate != 48000 && perChannel >= 96) return 1;
  if (rate != 32000 && perChannel <= 48) return 2;
  return 3;
}
int LayerIIAllocationBits(int table, int sb) {
  switch (table) {
    case 0:
    case 1:
      return sb < 11 ? 4 : sb < 23 ? 3 : 2;
    case 2:
    case 3:
      return sb < 2 ? 4 : 3;
    default:
      return sb < 4 ? 4 : sb < 11 ? 3 : 2;
  }
}

// The frames of the audio between Begin and the reader's size.
class TFrameWalker {
 public:
  TFrameWalker(TBlockReader& file, uint64_t begin) : file_(file), begin_(begin), end_(file.Size()) {
    // Audio ends where an ID3v1 tag begins.
    if (const uint8_t* t =
            end_ >= begin_ + kId3v1Bytes ? file.Peek(end_ - kId3v1Bytes, 3) : nullptr)
      if (std::memcmp(t, "TAG", 3) == 0) end_ -= kId3v1Bytes;
  }

  bool Walk(TWalk& w) {
    const uint64_t start = SkipTags(begin_);
    if (start >= end_) return false;
    uint64_t at = FindChain(start);
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
      // frames chain again. Frames of another stream end it, and so does a
      // long stretch without frames.
      at = FindChain(SkipTags(at));
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

  // The length of the frame whose header is at At, wherever it ends; 0 when
  // there is none.
  uint32_t HeaderAt(uint64_t at, TMpegHeader& h) {
    const uint8_t* b = at + 4 <= end_ ? file_.Peek(at, 4) : nullptr;
    if (!b || !IsMPEGFrameHeader(b)) return 0;
    h = ParseMPEGFrameHeader(b);
    const uint32_t len = MPEGFrameLength(h);
    return len > 4 ? len : 0;
  }

  // The length of the frame whose header is at At, when all of it lies
  // before the end of the audio; 0 when there is none.
  uint32_t FrameAt(uint64_t at, TMpegHeader& h) {
    const uint32_t len = HeaderAt(at, h);
    return at + len <= end_ ? len : 0;
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
    // Behind a CRC the side information ends two bytes later, and some
    // encoders put the header there; LAME puts it where it would be without
    // the CRC.
    const uint32_t plain = MPEGXingOffset(h);
    for (const uint32_t x : {plain, plain + 2}) {
      if (x != plain && !h.Protected) break;
      const uint8_t* b = x + 12 <= len ? file_.Peek(at + x, 12) : nullptr;
      if (!b) continue;
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

  // Whether a stream begins at At: frames of one stream in a row, enough of
  // them, or two after a VBR header, or fewer that run to the end of the
  // audio, the last of them whole or cut short by it.
  bool ChainAt(uint64_t at) {
    TMpegHeader first, h;
    const uint32_t firstLen = FrameAt(at, first);
    if (firstLen == 0) return false;
    // MPEG 2.5 was only ever Layer III.
    if (first.VersionID == kMpeg25 && first.LayerID != kLayerIII) return false;
    if (first.LayerID == kLayerI) return LayerIChainAt(at, first);
    int frames = 0;
    uint64_t q = at;
    for (uint32_t len; frames < kChainFrames && (len = FrameAt(q, h)) != 0 &&
                       SameStream(first, h) && SideInfoFits(q, h, len);
         q += len)
      ++frames;
    if (frames == 0) return false;
    if (frames >= kChainFrames || (frames >= 2 && VbrHeader(at, first, firstLen).Found))
      return true;
    // Fewer frames are the whole file (or the start of one cut short) only
    // when the first can begin a stream.
    if (!BeginsStream(at, first)) return false;
    if (q == end_) return true;
    const uint32_t cut = HeaderAt(q, h);
    return cut != 0 && SameStream(first, h) && q + cut > end_;
  }

  // Whether the frame at At can be a stream's first: a Layer III frame
  // takes none of its data from frames before it (its main data begins 0
  // bytes back, in the first 9 bits after the header, 8 in MPEG 2 and 2.5).
  bool BeginsStream(uint64_t at, const TMpegHeader& h) {
    if (h.LayerID != kLayerIII) return true;
    const uint8_t* b = file_.Peek(at + 4 + (h.Protected ? 2 : 0), 2);
    return b && b[0] == 0 && (h.VersionID != kMpeg1 || (b[1] & 0x80) == 0);
  }

  // ChainAt for Layer I: a longer chain, and not of silent frames alone.
  bool LayerIChainAt(uint64_t at, const TMpegHeader& first) {
    TMpegHeader h;
    bool sound = false;
    uint64_t q = at;
    uint32_t len;
    for (int frames = 1; frames <= kLayerISoundWithin && (len = FrameAt(q, h)) != 0 &&
                         SameStream(first, h) && SideInfoFits(q, h, len);
         ++frames, q += len) {
      sound = sound || !Silent(q, h, len);
      if (frames >= kLayerIChainFrames && sound) return true;
    }
    return false;
  }

  // Whether a Layer I or II frame (at At, Len bytes) is laid out as an
  // encoder writes one: its bit allocation and scale factors (and, in Layer
  // I, the samples they call for) fit in it, no allocation is Layer I's
  // forbidden 15 and no scale factor the forbidden 63. Other data that
  // chains as such frames seldom passes.
  bool SideInfoFits(uint64_t at, const TMpegHeader& h, uint32_t len) {
    if (h.LayerID == kLayerIII) return true;
    const uint32_t from = 4 + (h.Protected ? 2 : 0);
    const uint8_t* body = from < len ? file_.Peek(at + from, len - from) : nullptr;
    if (!body) return false;
    TBits bits(body, len - from);
    const bool layerI = h.LayerID == kLayerI;
    // Most data that reads as Layer I fails on its first bytes: a nibble
    // of 15 among the allocations.
    for (uint32_t i = 0; layerI && i < std::min<uint32_t>(16, len - from); ++i)
      if ((body[i] & 0x0F) == 0x0F || (body[i] & 0xF0) == 0xF0) return false;
    const int channels = h.ModeID == kMono ? 1 : 2;
    const int table = layerI ? -1 : LayerIITable(h, channels);
    const int limit = layerI ? 32 : kLayerIISubbands[table];
    const int bound = std::min(limit, h.ModeID == kJointStereo ? 4 * (h.ModeExtension + 1) : 32);
    uint8_t alloc[32][2] = {};
    for (int sb = 0; sb < limit; ++sb) {
      for (int ch = 0; ch < (sb < bound ? channels : 1); ++ch) {
        const int a = bits.Take(layerI ? 4 : LayerIIAllocationBits(table, sb));
        if (a < 0 || (layerI && a == 15)) return false;
        alloc[sb][ch] = static_cast<uint8_t>(a);
        if (sb >= bound) alloc[sb][1] = alloc[sb][0];
      }
    }
    uint8_t scfsi[32][2] = {};
    for (int sb = 0; !layerI && sb < limit; ++sb) {
      for (int ch = 0; ch < channels; ++ch) {
        const int select = alloc[sb][ch] ? bits.Take(2) : 0;
        if (select < 0) return false;
        scfsi[sb][ch] = static_cast<uint8_t>(select);
      }
    }
    for (int sb = 0; sb < limit; ++sb) {
      for (int ch = 0; ch < channels; ++ch) {
        if (!alloc[sb][ch]) continue;
        // Layer II sends one, two or three scale factors as its selection
        // info says.
        static constexpr int kScaleFactors[4] = {3, 2, 1, 2};
        for (int n = layerI ? 1 : kScaleFactors[scfsi[sb][ch]]; n > 0; --n) {
          const int sf = bits.Take(6);
          if (sf < 0 || sf == 63) return false;
        }
      }
    }
    // Layer I's twelve samples a subband, of allocation + 1 bits each (one
    // set for both channels above the bound).
    uint64_t samples = 0;
    for (int sb = 0; layerI && sb < limit; ++sb)
      for (int ch = 0; ch < (sb < bound ? channels : 1); ++ch)
        if (alloc[sb][ch]) samples += 12u * static_cast<unsigned>(alloc[sb][ch] + 1);
    return samples <= bits.Left();
  }

  // Whether the frame at At (Len bytes) holds nothing but its header.
  bool Silent(uint64_t at, const TMpegHeader& h, uint32_t len) {
    const uint32_t from = 4 + (h.Protected ? 2 : 0);
    const uint8_t* b = file_.Peek(at + from, len - from);
    return b && std::all_of(b, b + (len - from), [](uint8_t x) { return x == 0; });
  }

  // The first place within reach of From where a stream begins; kNone when
  // none.
  uint64_t FindChain(uint64_t from) {
    const uint64_t to = std::min(end_, from + kJunkReach);
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
  uint64_t begin_;
  uint64_t end_;
  std::array<TKnownHeader, 128> known_{};
};

// The frames of the walk as one stream, for libmpg123's reader. Each frame's
// header is checked again as the frame is read: in a file changed since the
// walk (overwritten in place while it plays), the stream ends at the first
// frame that is no longer there, as at the end of the file. libmpg123 is
// never left to hunt through what is left of it for a frame, byte by byte.
struct TStreamSource {
  int Fd = -1;
  std::vector<TSegment> Segments;
  std::vector<off_t> Frames;  // where each frame begins in the stream
  TMpegHeader Head;           // the stream's format
  uint64_t Size = 0;
  uint64_t Pos = 0;

  static mpg123_ssize_t Read(void* handle, void* buf, size_t n) {
    auto& s = *static_cast<TStreamSource*>(handle);
    auto* out = static_cast<uint8_t*>(buf);
    const uint64_t from = s.Pos;
    size_t done = 0;
    while (done < n && s.Pos < s.Size) {
      const ssize_t r = s.ReadAt(s.Pos, out + done,
                                 static_cast<size_t>(std::min<uint64_t>(n - done, s.Size - s.Pos)));
      if (r < 0 && done == 0) return -1;
      if (r <= 0) break;
      done += static_cast<size_t>(r);
      s.Pos += static_cast<uint64_t>(r);
    }
    for (auto f = std::lower_bound(s.Frames.begin(), s.Frames.end(), static_cast<off_t>(from));
         f != s.Frames.end() && static_cast<uint64_t>(*f) < from + done; ++f) {
      const uint64_t at = static_cast<uint64_t>(*f);
      uint8_t head[4];
      if (at + 4 <= from + done)
        std::memcpy(head, out + (at - from), 4);
      else if (s.ReadAt(at, head, 4) != 4)
        std::memset(head, 0, 4);
      const uint64_t next = f + 1 != s.Frames.end() ? static_cast<uint64_t>(f[1]) : s.Size;
      if (!IsMPEGFrameHeader(head) || !SameStream(s.Head, ParseMPEGFrameHeader(head)) ||
          MPEGFrameLength(ParseMPEGFrameHeader(head)) != next - at) {
        s.Size = s.Pos = at;
        done = static_cast<size_t>(at - from);
        break;
      }
    }
    return static_cast<mpg123_ssize_t>(done);
  }

  // Up to N bytes of the stream from At, all from one segment; -1 on a read
  // error.
  ssize_t ReadAt(uint64_t at, uint8_t* buf, size_t n) const {
    const auto seg =
        std::prev(std::upper_bound(Segments.begin(), Segments.end(), at,
                                   [](uint64_t p, const TSegment& g) { return p < g.StreamAt; }));
    const uint64_t in = at - seg->StreamAt;
    const size_t want = static_cast<size_t>(std::min<uint64_t>(n, seg->Bytes - in));
    ssize_t r;
    while ((r = pread(Fd, buf, want, static_cast<off_t>(seg->FileAt + in))) < 0 && errno == EINTR) {
    }
    return r;
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

  bool Open(const std::string& path, uint64_t offset, uint64_t length) {
    // Never waits on a pipe's writer; only plain files are read.
    source_.Fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    if (source_.Fd < 0 || fstat(source_.Fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    if (offset >= size) return false;
    const uint64_t last = length == 0 || length > size - offset ? size : offset + length;
    TWalk walk;
    {
      TBlockReader file(source_.Fd, last);
      if (!TFrameWalker(file, offset).Walk(walk) || walk.Frames.empty()) return false;
    }
    source_.Segments = std::move(walk.Segments);
    source_.Frames = std::move(walk.Frames);
    source_.Head = walk.Head;
    source_.Size = source_.Segments.back().StreamAt + source_.Segments.back().Bytes;

    int err = 0;
    h_ = mpg123_new(nullptr, &err);
    if (!h_) return false;
    mpg123_param(h_, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    // Every frame it is given has been found whole in its place, so it need
    // not see the next header before it trusts one: a file of a single
    // frame plays.
    mpg123_param(h_, MPG123_ADD_FLAGS, MPG123_NO_READAHEAD, 0);
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
    const std::vector<off_t>& frames = source_.Frames;
    const auto first = std::find(frames.begin(), frames.end(), mpg123_framepos(h_));
    if (first == frames.end()) return false;
    const size_t audio = static_cast<size_t>(frames.end() - first);
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

std::unique_ptr<TDecoder> OpenMpegDecoder(const std::string& Path, uint64_t Offset,
                                          uint64_t Length) {
  auto d = std::make_unique<TMpegDecoder>();
  if (!d->Open(Path, Offset, Length)) return nullptr;
  return d;
}
