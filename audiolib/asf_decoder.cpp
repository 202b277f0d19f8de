// WMA (ASF) files decoded by libavformat/libavcodec, for the WMA add-on.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include "audiolib/decoder.h"
#include "audiolib/mpeg_frame.h"

namespace {

// How many samples a WMA 1 or 2 packet decodes to, read from its superframe
// headers without decoding it. Each block of BlockAlign bytes is one
// superframe. Without the bit reservoir a superframe holds one frame; with it,
// the low four bits of its first byte count the frames that end in it, one of
// them begun in the superframe before, which a decoder that starts afresh
// does not have.
struct TSuperframes {
  int FrameLen = 0;  // 0: the codec is not WMA 1 or 2
  int BlockAlign = 0;
  bool Reservoir = false;

  explicit TSuperframes(const AVCodecParameters* par) {
    const int version =
        par->codec_id == AV_CODEC_ID_WMAV1 ? 1 : par->codec_id == AV_CODEC_ID_WMAV2 ? 2 : 0;
    const int rate = par->sample_rate;
    if (version == 0 || rate <= 0) return;
    FrameLen = rate <= 16000 ? 512 : rate <= 22050 || (rate <= 32000 && version == 1) ? 1024 : 2048;
    BlockAlign = std::max(par->block_align, 0);
    // The codec's flags: after two bytes in version 1, four in version 2.
    const int at = version == 1 ? 2 : 4;
    if (par->extradata && par->extradata_size >= at + 2)
      Reservoir = (par->extradata[at] | par->extradata[at + 1] << 8) & 0x0002;
  }
  // Fresh: the decoder has not yet decoded a superframe, and stays so while
  // it refuses them. ByteAt(offset) gives the packet's byte there.
  template <typename F>
  uint64_t Samples(int64_t size, F byteAt, bool* fresh) const {
    const int64_t len = BlockAlign > 0 ? BlockAlign : size;
    uint64_t frames = 0;
    for (int64_t at = 0; len > 0 && size - at >= len; at += len) {
      if (!Reservoir) {
        ++frames;
        continue;
      }
      const int n = (byteAt(at) & 0x0F) - (*fresh ? 1 : 0);
      // A count it cannot use makes the decoder drop the rest of the packet.
      if (n < 0 || (n == 0 && len <= 2)) break;
      frames += static_cast<uint64_t>(n);
      *fresh = false;
    }
    return frames * static_cast<uint64_t>(FrameLen);
  }
};

// How many samples a packet of MPEG audio decodes to, read from its frame
// headers; 0 unless it holds whole frames, one after another, at Rate.
uint64_t MpegSamples(const uint8_t* data, int size, int rate) {
  uint64_t samples = 0;
  int at = 0;
  while (size - at >= 4) {
    if (!IsMPEGFrameHeader(data + at)) return 0;
    const TMpegHeader h = ParseMPEGFrameHeader(data + at);
    const int len = MPEGFrameLength(h);
    if (len < 4 || len > size - at || MPEGSampleRate(h) != rate) return 0;
    samples += MPEGFrameSamples(h);
    at += len;
  }
  return at == size ? samples : 0;
}

bool IsMpeg(AVCodecID codec) {
  return codec == AV_CODEC_ID_MP1 || codec == AV_CODEC_ID_MP2 || codec == AV_CODEC_ID_MP3;
}

uint64_t Le(const uint8_t* p, int bytes) {
  uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

// The media objects of one stream of an ASF file, read from its data packets
// as they lie in the file: much quicker than the demuxer, which copies every
// object into a packet of its own. It takes only what is laid out plainly,
// every packet of the one fixed size and each object's fragments in order,
// and gives up on anything else, which the demuxer then reads instead; where
// it takes a file, it finds the objects the demuxer gives, each with the same
// time and position.
class TAsfWalker {
 public:
  struct TObject {
    int64_t Pts;
    int64_t Pos;  // the data packet its first fragment is in
    uint32_t Size;
    const uint8_t* Firsts;  // the first byte of each block of BlockAlign bytes, or of the object
  };
  // Calls Take(const TObject&) for each whole object of Stream, in order;
  // false when the file is not laid out plainly.
  template <typename F>
  static bool Walk(const std::string& path, int stream, int blockAlign, F take) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!f || std::fseek(f.get(), 0, SEEK_END) != 0) return false;
    const int64_t fileSize = std::ftell(f.get());
    // The header object and the objects in it.
    uint8_t head[30];
    if (fileSize < 80 || std::fseek(f.get(), 0, SEEK_SET) != 0 ||
        std::fread(head, 1, 30, f.get()) != 30 || std::memcmp(head, kHeaderGuid, 16) != 0)
      return false;
    const uint64_t headerSize = Le(head + 16, 8);
    if (headerSize < 30 || headerSize > static_cast<uint64_t>(fileSize) - 50 ||
        headerSize > (16u << 20))
      return false;
    std::vector<uint8_t> header(static_cast<size_t>(headerSize) + 50);
    if (std::fseek(f.get(), 0, SEEK_SET) != 0 ||
        std::fread(header.data(), 1, header.size(), f.get()) != header.size())
      return false;
    int64_t preroll = -1;
    uint32_t packetSize = 0;
    bool broadcast = false;
    for (size_t at = 30; at + 24 <= headerSize;) {
      const uint64_t size = Le(&header[at + 16], 8);
      if (size < 24 || size > headerSize - at) return false;
      if (std::memcmp(&header[at], kFilePropertiesGuid, 16) == 0) {
        if (size < 104) return false;
        preroll = static_cast<int64_t>(Le(&header[at + 80], 8));
        broadcast = header[at + 88] & 1;
        packetSize = static_cast<uint32_t>(Le(&header[at + 92], 4));
        if (Le(&header[at + 96], 4) != packetSize) return false;
      }
      at += static_cast<size_t>(size);
    }
    // The data object follows the header; its packets follow its 50 bytes.
    const uint8_t* data = &header[static_cast<size_t>(headerSize)];
    if (preroll < 0 || preroll > INT32_MAX || packetSize < 32 || packetSize > (1u << 20) ||
        std::memcmp(data, kDataGuid, 16) != 0)
      return false;
    const uint64_t dataSize = Le(data + 16, 8);
    const int64_t start = static_cast<int64_t>(headerSize) + 50;
    const int64_t end = !broadcast && dataSize >= 100 ? static_cast<int64_t>(headerSize + dataSize)
                                                      : fileSize;
    if (end > fileSize || end < start || (end - start) % packetSize != 0) return false;

    TWalk w{stream, blockAlign, preroll, {}, false, 0, 0, 0, 0, -1};
    std::vector<uint8_t> chunk(std::max<size_t>(1, (64u << 10) / packetSize) * packetSize);
    if (std::fseek(f.get(), start, SEEK_SET) != 0) return false;
    for (int64_t pos = start; pos < end;) {
      const size_t want = static_cast<size_t>(std::min<int64_t>(chunk.size(), end - pos));
      if (std::fread(chunk.data(), 1, want, f.get()) != want) return false;
      for (size_t at = 0; at < want; at += packetSize, pos += packetSize)
        if (!w.Packet(&chunk[at], packetSize, pos, take)) return false;
    }
    return true;
  }

 private:
  static constexpr uint8_t kHeaderGuid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                              0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
  static constexpr uint8_t kFilePropertiesGuid[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9,
                                                      0xCF, 0x11, 0x8E, 0xE4, 0x00, 0xC0,
                                                      0x0C, 0x20, 0x53, 0x65};
  static constexpr uint8_t kDataGuid[16] = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                            0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};

  struct TWalk {
    int Stream;
    int BlockAlign;
    int64_t Preroll;
    std::vector<uint8_t> Firsts;
    bool Open;  // an object is being put together
    uint32_t Size, Filled;
    int64_t Pts, Pos;
    int HasCorrection;  // every packet alike; -1 until the first one tells

    template <typename F>
    bool Packet(const uint8_t* p, uint32_t size, int64_t pos, F& take) {
      uint32_t i = 0;
      const bool corrected = p[0] & 0x80;
      if (HasCorrection < 0) HasCorrection = corrected;
      if (corrected != (HasCorrection == 1)) return false;
      if (corrected) {
        // Only the usual two bytes of zero, which the demuxer looks for.
        if (p[0] != 0x82 || p[1] != 0 || p[2] != 0) return false;
        i = 3;
      }
      const uint8_t flags = p[i++], property = p[i++];
      if (flags & 0x80) return false;
      // A field of 0, 1, 2 or 4 bytes by its two-bit type; the packet has
      // at least the 32 bytes that a header of every field at most holds.
      auto field = [&](int type, uint32_t absent) -> uint32_t {
        const int bytes = type == 3 ? 4 : type;
        if (bytes == 0) return absent;
        const auto v = static_cast<uint32_t>(Le(p + i, bytes));
        i += static_cast<uint32_t>(bytes);
        return v;
      };
      const uint32_t length = field(flags >> 5 & 3, size);
      field(flags >> 1 & 3, 0);
      const uint32_t padding = field(flags >> 3 & 3, 0);
      if (length != size || padding >= length) return false;
      i += 6;  // send time, duration
      const bool multiple = flags & 1;
      int count = 1, lengthType = 0;
      if (multiple) {
        count = p[i] & 0x3F;
        lengthType = p[i] >> 6;
        ++i;
      }
      if (i > length - padding) return false;
      uint32_t left = length - padding - i;
      for (; count > 0 && left > 0; --count) {
        // The demuxer passes over what is left of a packet shorter than the
        // least payload header it reads.
        if (left < 16) return false;
        const uint32_t from = i;
        const int number = p[i++] & 0x7F;
        field(property >> 4 & 3, 0);
        const uint32_t offset = field(property >> 2 & 3, 0);
        const uint32_t replicated = field(property & 3, 0);
        if (replicated < 8 || replicated > left - (i - from)) return false;
        const auto objectSize = static_cast<uint32_t>(Le(p + i, 4));
        const auto time = static_cast<int32_t>(Le(p + i + 4, 4));
        i += replicated;
        if (i - from > left - (multiple ? 4 : 0)) return false;
        const uint32_t fragment = multiple ? field(lengthType, 0) : left - (i - from);
        if (fragment > left - (i - from)) return false;
        left -= (i - from) + fragment;
        if (number == Stream && !Fragment(p + i, offset, fragment, objectSize, time, pos, take))
          return false;
        i += fragment;
      }
      return left == 0 && count == 0;
    }
    template <typename F>
    bool Fragment(const uint8_t* d, uint32_t offset, uint32_t size, uint32_t objectSize,
                  int32_t time, int64_t pos, F& take) {
      if (objectSize == 0 || objectSize >= (1u << 24)) return false;
      if (!Open) {
        if (offset != 0) return false;
        Open = true;
        Size = objectSize;
        Filled = 0;
        Pts = time - Preroll;
        Pos = pos;
        Firsts.clear();
      } else if (objectSize != Size || offset != Filled) {
        return false;
      }
      if (size > Size - Filled) return false;
      const uint32_t b = BlockAlign > 0 ? static_cast<uint32_t>(BlockAlign) : Size;
      if (b == 1) {
        Firsts.insert(Firsts.end(), d, d + size);
      } else {
        for (uint32_t k = (offset + b - 1) / b * b; k < offset + size; k += b)
          Firsts.push_back(d[k - offset]);
      }
      Filled += size;
      if (Filled == Size) {
        Open = false;
        take(TObject{Pts, Pos, Size, Firsts.data()});
      }
      return true;
    }
  };
};

// Output is exact to the frame and, from the start, the very samples a plain
// decode of the file gives. Opening walks the packets without decoding them:
// each one's output is known from its superframe headers (or, for MPEG audio
// in an ASF file, its frame headers), which a decode of the first packets
// and of the last ones confirms; a file where they do not agree, or of
// another codec, is decoded whole once instead. Every decode
// starts from a fresh decoder, since the codec's noise generator and its bit
// reservoir carry over from one packet to the next. A seek decodes forward
// from a packet a little before the target and drops what comes before the
// frame sought; after such a jump a file with noise coding gives other noise
// than a decode from the start, everything else the same samples.
class TAsfDecoder : public TDecoder {
 public:
  ~TAsfDecoder() override {
    swr_free(&swr_);
    av_frame_free(&frame_);
    av_packet_free(&pkt_);
    avcodec_free_context(&ctx_);
    if (fmt_) avformat_close_input(&fmt_);
  }
  bool Open(const std::string& path) {
    // A library tells what went wrong through its error code, not on the
    // program's error output.
    av_log_set_level(AV_LOG_QUIET);
    if (avformat_open_input(&fmt_, path.c_str(), av_find_input_format("asf"), nullptr) < 0)
      return false;
    if (avformat_find_stream_info(fmt_, nullptr) < 0) return false;
    stream_ = av_find_best_stream(fmt_, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (stream_ < 0) return false;
    const AVCodecParameters* par = fmt_->streams[stream_]->codecpar;
    codec_ = avcodec_find_decoder(par->codec_id);
    if (!codec_ || !NewDecoder()) return false;
    if (ctx_->sample_rate <= 0 || ctx_->ch_layout.nb_channels <= 0) return false;
    Rate = static_cast<uint32_t>(ctx_->sample_rate);
    Channels = ctx_->ch_layout.nb_channels == 1 ? 1 : 2;
    AVChannelLayout out{};
    av_channel_layout_default(&out, Channels);
    if (swr_alloc_set_opts2(&swr_, &out, AV_SAMPLE_FMT_S16, ctx_->sample_rate, &ctx_->ch_layout,
                            ctx_->sample_fmt, ctx_->sample_rate, 0, nullptr) < 0 ||
        swr_init(swr_) < 0)
      return false;
    frame_ = av_frame_alloc();
    pkt_ = av_packet_alloc();
    if (!frame_ || !pkt_) return false;
    const TSuperframes sf(par);
    const bool counted =
        sf.FrameLen > 0
            ? (IndexFromFile(sf, path) && Confirm(sf.FrameLen, true)) ||
                  (IndexFromDemuxer(sf) && Confirm(sf.FrameLen, true))
            : IsMpeg(par->codec_id) && ((IndexMpegFromFile(path) && Confirm(0, false)) ||
                                        (IndexMpegFromDemuxer() && Confirm(0, false)));
    if (!counted && !IndexByDecoding()) return false;
    const uint64_t end = packets_.back().Start + tail_;
    Length = end > skip_ ? end - skip_ : 0;
    return Length > 0 && Rewind(0);
  }
  size_t Read(int16_t* out, size_t frames) override {
    size_t done = 0;
    while (done < frames) {
      const size_t have = (pending_.size() - pending_pos_) / Channels;
      if (have > 0) {
        // What lies before the frame sought is dropped.
        const uint64_t want = pos_ + skip_;
        const size_t drop = static_cast<size_t>(std::min<uint64_t>(have, want > at_ ? want - at_ : 0));
        const size_t n = std::min(frames - done, have - drop);
        pending_pos_ += drop * Channels;
        std::memcpy(out + done * Channels, pending_.data() + pending_pos_, n * Channels * 2);
        pending_pos_ += n * Channels;
        at_ += drop + n;
        pos_ += n;
        done += n;
        continue;
      }
      if (drained_ || !DecodeNext()) break;
    }
    return done;
  }
  bool Seek(uint64_t frame) override {
    if (frame > Length) return false;
    // The packet whose output holds the frame, and some before it: after a
    // jump the decoder gives nothing or the wrong samples for a packet or
    // two, until its state is the one a decode from the start has.
    const uint64_t raw = frame + skip_;
    const auto last = packets_.end() - 1;
    const auto after = std::upper_bound(packets_.begin(), last, raw,
                                        [](uint64_t f, const TPacket& p) { return f < p.Start; });
    const size_t holds =
        after == packets_.begin() ? 0 : static_cast<size_t>(after - packets_.begin()) - 1;
    if (!Rewind(holds > kSettle ? holds - kSettle : 0) && !Rewind(0)) return false;
    pos_ = frame;
    return true;
  }

 private:
  struct TPacket {
    int64_t Pts = 0;
    int64_t Pos = 0;
    uint64_t Start = 0;  // the decoder's sample its output starts at, counted from a fresh start
  };
  static constexpr size_t kSettle = 3;
  // Packets decoded at each end of the file to confirm the headers' count.
  static constexpr size_t kConfirm = 8;

  bool NewDecoder() {
    avcodec_free_context(&ctx_);
    ctx_ = avcodec_alloc_context3(codec_);
    if (!ctx_ || avcodec_parameters_to_context(ctx_, fmt_->streams[stream_]->codecpar) < 0)
      return false;
    // The samples that the codec drops at its start are dropped here, where
    // the index says which they are, so that a decoder that starts after a
    // jump keeps all it gives.
    ctx_->flags2 |= AV_CODEC_FLAG2_SKIP_MANUAL;
    reported_skip_ = -1;
    return avcodec_open2(ctx_, codec_, nullptr) >= 0;
  }
  // Every packet of the stream with its output counted from its headers,
  // read from the file's data packets; false when the walk gives up.
  bool IndexFromFile(const TSuperframes& sf, const std::string& path) {
    Reserve(sf);
    bool fresh = true;
    uint64_t start = 0;
    const bool walked = TAsfWalker::Walk(
        path, fmt_->streams[stream_]->id, sf.BlockAlign, [&](const TAsfWalker::TObject& o) {
          const int64_t len = sf.BlockAlign > 0 ? sf.BlockAlign : o.Size;
          packets_.push_back({o.Pts, o.Pos, start});
          start += sf.Samples(o.Size, [&](int64_t at) { return o.Firsts[at / len]; }, &fresh);
        });
    packets_.push_back({-1, -1, start});
    // A short file is as quickly decoded whole.
    return walked && packets_.size() > 4 * kConfirm;
  }
  // The same, from the demuxer.
  bool IndexFromDemuxer(const TSuperframes& sf) {
    Reserve(sf);
    if (!Rewind(0)) return false;
    bool fresh = true;
    uint64_t start = 0;
    while (NextPacket()) {
      packets_.push_back({pkt_->pts, pkt_->pos, start});
      start += sf.Samples(pkt_->size, [&](int64_t at) { return pkt_->data[at]; }, &fresh);
    }
    packets_.push_back({-1, -1, start});
    return packets_.size() > 4 * kConfirm;
  }
  // MPEG audio: each frame's header tells its samples. From the file's data
  // packets, where an object holds a frame, which the demuxer's parser then
  // gives as it stands; false when the walk gives up or an object is not
  // whole frames at the stream's rate.
  bool IndexMpegFromFile(const std::string& path) {
    packets_.clear();
    const int64_t size = avio_size(fmt_->pb);
    bool whole = true;
    uint64_t start = 0;
    // Blocks of one byte: the walk hands over every byte of each object.
    const bool walked =
        TAsfWalker::Walk(path, fmt_->streams[stream_]->id, 1, [&](const TAsfWalker::TObject& o) {
          const uint64_t n = MpegSamples(o.Firsts, static_cast<int>(o.Size), ctx_->sample_rate);
          whole = whole && n > 0;
          // As many as objects of the first one's size fill the file.
          if (packets_.empty() && size > 0)
            packets_.reserve(static_cast<size_t>(std::min<int64_t>(size / o.Size, 1 << 21)) + 1);
          packets_.push_back({o.Pts, o.Pos, start});
          start += n;
        });
    packets_.push_back({-1, -1, start});
    return walked && whole && packets_.size() > 4 * kConfirm;
  }
  // The same, from the demuxer, whose parser gives a frame a packet.
  bool IndexMpegFromDemuxer() {
    packets_.clear();
    if (!Rewind(0)) return false;
    uint64_t start = 0;
    while (NextPacket()) {
      const uint64_t n = MpegSamples(pkt_->data, pkt_->size, ctx_->sample_rate);
      if (n == 0) return false;
      packets_.push_back({pkt_->pts, pkt_->pos, start});
      start += n;
    }
    packets_.push_back({-1, -1, start});
    return packets_.size() > 4 * kConfirm;
  }
  void Reserve(const TSuperframes& sf) {
    packets_.clear();
    const int64_t size = avio_size(fmt_->pb);
    if (sf.BlockAlign > 0 && size > 0)
      packets_.reserve(static_cast<size_t>(std::min<int64_t>(size / sf.BlockAlign, 1 << 20)) + 1);
  }
  // Decodes the first packets and the last ones: each must give what its
  // headers say, and the drained decoder Tail samples. Learns the samples the
  // codec drops at its start, which a codec that drops some (SkipTold) tells
  // with its first samples.
  bool Confirm(uint64_t tail, bool skipTold) {
    const size_t n = packets_.size() - 1;
    if (!Rewind(0)) return false;
    for (size_t i = 0; i < kConfirm; ++i)
      if (!NextPacket() || !IsPacket(i) || Decode() != Count(i)) return false;
    if (reported_skip_ < 0 && skipTold) return false;
    skip_ = reported_skip_ > 0 ? static_cast<uint64_t>(reported_skip_) : 0;
    if (!Rewind(n - kConfirm)) return false;
    for (size_t i = next_; i < n; ++i) {
      if (!NextPacket() || !IsPacket(i)) return false;
      if (Decode() != Count(i) && i > settled_) return false;
    }
    if (NextPacket()) return false;
    Drain();
    tail_ = pending_.size() / Channels;
    return tail_ == tail;
  }
  // Every packet with its output counted by decoding it.
  bool IndexByDecoding() {
    packets_.clear();
    if (!Rewind(0)) return false;
    uint64_t start = 0;
    while (NextPacket()) {
      packets_.push_back({pkt_->pts, pkt_->pos, start});
      start += Decode();
    }
    packets_.push_back({-1, -1, start});
    skip_ = reported_skip_ > 0 ? static_cast<uint64_t>(reported_skip_) : 0;
    Drain();
    tail_ = pending_.size() / Channels;
    return packets_.size() > 1;
  }
  uint64_t Count(size_t i) const { return packets_[i + 1].Start - packets_[i].Start; }
  bool IsPacket(size_t i) const { return pkt_->pts == packets_[i].Pts && pkt_->pos == packets_[i].Pos; }

  // Restarts decoding with a fresh decoder at packet From; false when the
  // file cannot be brought there.
  bool Rewind(size_t from) {
    if (!NewDecoder()) return false;
    pending_.clear();
    pending_pos_ = 0;
    drained_ = false;
    held_ = false;
    if (from == 0) {
      if (av_seek_frame(fmt_, stream_, 0, AVSEEK_FLAG_BACKWARD) < 0 &&
          av_seek_frame(fmt_, stream_, 0, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_BYTE) < 0)
        return false;
      jumped_ = false;
      next_ = 0;
      at_ = 0;
      return true;
    }
    if (av_seek_frame(fmt_, stream_, packets_[from].Pts, AVSEEK_FLAG_BACKWARD) < 0 || !NextPacket())
      return false;
    // Where the demuxer landed: that packet is decoded next. The decoder
    // starts there from nothing: what it gives for that packet and the next,
    // and up to packet From, is dropped whole.
    const auto end = packets_.begin() + static_cast<std::ptrdiff_t>(from) + 1;
    const auto it = std::find_if(packets_.begin(), end, [&](const TPacket& q) {
      return q.Pts == pkt_->pts && q.Pos == pkt_->pos;
    });
    if (it == end) return false;
    held_ = true;
    next_ = static_cast<size_t>(it - packets_.begin());
    settled_ = std::max(from, next_ + 1);
    jumped_ = true;
    return true;
  }
  // Decodes the next packet into pending_, with as many samples as the index
  // gives it, or drains the decoder after the last one; false when decoding
  // had to start again from the file's start.
  bool DecodeNext() {
    const size_t n = packets_.size() - 1;
    if (next_ == n) {
      Drain();
      Place(packets_[n].Start, tail_);
      drained_ = true;
      return true;
    }
    if (!NextPacket()) {
      // The file ends before its index does: the rest is silence.
      pending_.clear();
      Place(packets_[next_].Start, packets_[n].Start + tail_ - packets_[next_].Start);
      drained_ = true;
      return true;
    }
    if (jumped_ && !IsPacket(next_)) {
      // After a jump every packet must be the one the index has next; if
      // one is not, the file is decoded from its start instead.
      av_packet_unref(pkt_);
      return Rewind(0);
    }
    Decode();
    if (jumped_ && next_ <= settled_) {
      // Settling after a jump: the output is not yet the file's.
      pending_.clear();
    } else {
      // A damaged packet that gives more or fewer samples than its headers
      // promise is cut or filled with silence, so that the length stays
      // what plays and every later sample where the index has it.
      Place(packets_[next_].Start, Count(next_));
    }
    ++next_;
    return true;
  }
  void Place(uint64_t start, uint64_t frames) {
    pending_.resize(static_cast<size_t>(frames) * Channels, 0);
    pending_pos_ = 0;
    at_ = start;
  }
  // The next packet of the stream in pkt_; false at the end of the file.
  bool NextPacket() {
    if (held_) {
      held_ = false;
      return true;
    }
    // What a reader left unused in it.
    av_packet_unref(pkt_);
    for (;;) {
      if (av_read_frame(fmt_, pkt_) < 0) return false;
      if (pkt_->stream_index == stream_) return true;
      av_packet_unref(pkt_);
    }
  }
  // Decodes pkt_ into pending_; the samples it gave.
  uint64_t Decode() {
    pending_.clear();
    pending_pos_ = 0;
    // An empty packet would tell the decoder that the stream has ended. A
    // packet the decoder refuses gives nothing, the same way every time.
    if (pkt_->size > 0 && avcodec_send_packet(ctx_, pkt_) >= 0) Receive();
    av_packet_unref(pkt_);
    return pending_.size() / Channels;
  }
  void Drain() {
    pending_.clear();
    pending_pos_ = 0;
    if (avcodec_send_packet(ctx_, nullptr) >= 0) Receive();
  }
  void Receive() {
    while (avcodec_receive_frame(ctx_, frame_) == 0) {
      if (reported_skip_ < 0) {
        const AVFrameSideData* sd = av_frame_get_side_data(frame_, AV_FRAME_DATA_SKIP_SAMPLES);
        if (sd && sd->size >= 4)
          reported_skip_ = sd->data[0] | sd->data[1] << 8 | sd->data[2] << 16 |
                           static_cast<int64_t>(sd->data[3]) << 24;
      }
      const int room = swr_get_out_samples(swr_, frame_->nb_samples);
      const size_t at = pending_.size();
      pending_.resize(at + static_cast<size_t>(std::max(room, 0)) * Channels);
      uint8_t* dst = reinterpret_cast<uint8_t*>(pending_.data() + at);
      const int got = swr_convert(
          swr_, &dst, room, const_cast<const uint8_t**>(frame_->extended_data), frame_->nb_samples);
      av_frame_unref(frame_);
      pending_.resize(at + static_cast<size_t>(std::max(got, 0)) * Channels);
    }
  }

  AVFormatContext* fmt_ = nullptr;
  const AVCodec* codec_ = nullptr;
  AVCodecContext* ctx_ = nullptr;
  SwrContext* swr_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* pkt_ = nullptr;
  int stream_ = -1;
  bool held_ = false;  // pkt_ holds the next packet already
  // Every packet, then one past the last whose Start is where the samples
  // that the drained decoder gives begin.
  std::vector<TPacket> packets_;
  uint64_t skip_ = 0;  // samples a decode from the start drops
  uint64_t tail_ = 0;  // samples the decoder gives when drained
  int64_t reported_skip_ = -1;
  bool jumped_ = false;   // decoding did not start at the file's start
  bool drained_ = false;  // the decoder has given all it will
  size_t settled_ = 0;    // after a jump, the last packet whose output is dropped
  size_t next_ = 0;       // the packet decoded next
  uint64_t at_ = 0;       // the decoder's sample that pending_[pending_pos_] holds
  uint64_t pos_ = 0;      // the frame Read gives next
  std::vector<int16_t> pending_;
  size_t pending_pos_ = 0;
};

}  // namespace

std::unique_ptr<TDecoder> OpenAsfDecoder(const std::string& Path) {
  auto d = std::make_unique<TAsfDecoder>();
  if (!d->Open(Path)) return nullptr;
  return d;
}
