// WMA (ASF) files decoded by libavformat/libavcodec, for the WMA add-on.
#include <algorithm>
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

namespace {

// Output is exact to the frame. The file is decoded once when opened: that
// gives its true length (the header's duration is the container's, a little
// longer) and, for each packet, the frame its output starts at. A seek
// decodes forward from a packet a little before the target and drops what
// comes before the frame sought.
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
    AVStream* st = fmt_->streams[stream_];
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec) return false;
    ctx_ = avcodec_alloc_context3(codec);
    if (!ctx_ || avcodec_parameters_to_context(ctx_, st->codecpar) < 0) return false;
    if (avcodec_open2(ctx_, codec, nullptr) < 0) return false;
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
    for (TPacket p; DecodePacket(&p);) {
      p.Start = Length;
      p.Frames = pending_.size() / Channels;
      Length += p.Frames;
      packets_.push_back(p);
    }
    Length += pending_.size() / Channels;  // what the decoder gave at the end
    return Length > 0 && !packets_.empty() && Rewind(0);
  }
  size_t Read(int16_t* out, size_t frames) override {
    size_t done = 0;
    while (done < frames) {
      const size_t have = (pending_.size() - pending_pos_) / Channels;
      if (have > 0) {
        // What lies before the frame sought is dropped.
        const size_t drop =
            static_cast<size_t>(std::min<uint64_t>(have, pos_ > at_ ? pos_ - at_ : 0));
        const size_t n = std::min(frames - done, have - drop);
        pending_pos_ += drop * Channels;
        std::memcpy(out + done * Channels, pending_.data() + pending_pos_, n * Channels * 2);
        pending_pos_ += n * Channels;
        at_ += drop + n;
        pos_ += n;
        done += n;
        continue;
      }
      if (eof_) break;
      TPacket p;
      if (!DecodePacket(&p)) continue;
      if (jumped_ && next_ <= settled_) {
        // Settling after a jump: the output is not yet the file's.
        pending_.clear();
        ++next_;
        continue;
      }
      // After a jump every packet must decode as it did from the start; if
      // one does not, the file is decoded from its start instead.
      if (jumped_ &&
          (next_ >= packets_.size() || p.Pts != packets_[next_].Pts ||
           p.Pos != packets_[next_].Pos || pending_.size() / Channels != packets_[next_].Frames)) {
        if (!Rewind(0)) break;
        continue;
      }
      if (jumped_) at_ = packets_[next_].Start;
      ++next_;
    }
    return done;
  }
  bool Seek(uint64_t frame) override {
    if (frame > Length) return false;
    // The packet whose output holds the frame, and some before it: after a
    // jump the decoder gives nothing or the wrong samples for a packet or
    // two, until its state is the one a decode from the start has.
    const auto after = std::upper_bound(packets_.begin(), packets_.end(), frame,
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
    uint64_t Start = 0;   // the frame its output starts at
    uint64_t Frames = 0;  // how many it gives
  };
  static constexpr size_t kSettle = 3;

  // Restarts decoding at packet From; false when the file cannot be brought
  // there.
  bool Rewind(size_t from) {
    avcodec_flush_buffers(ctx_);
    pending_.clear();
    pending_pos_ = 0;
    eof_ = false;
    if (from == 0) {
      if (av_seek_frame(fmt_, stream_, 0, AVSEEK_FLAG_BACKWARD) < 0 &&
          av_seek_frame(fmt_, stream_, 0, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_BYTE) < 0)
        return false;
      jumped_ = false;
      next_ = 0;
      at_ = 0;
      return true;
    }
    TPacket p;
    if (av_seek_frame(fmt_, stream_, packets_[from].Pts, AVSEEK_FLAG_BACKWARD) < 0 ||
        !DecodePacket(&p))
      return false;
    // Where the demuxer landed. The decoder starts there from nothing: what
    // it gives for that packet and the next, and up to packet From, is
    // dropped whole.
    const auto it = std::find_if(packets_.begin(), packets_.end(), [&](const TPacket& q) {
      return q.Pts == p.Pts && q.Pos == p.Pos;
    });
    if (it == packets_.end() || static_cast<size_t>(it - packets_.begin()) > from) return false;
    pending_.clear();
    next_ = static_cast<size_t>(it - packets_.begin()) + 1;
    settled_ = std::max(from, next_);
    jumped_ = true;
    return true;
  }
  // Decodes the next packet of the stream into pending_; false at the end,
  // with what the decoder still held in pending_.
  bool DecodePacket(TPacket* p) {
    pending_.clear();
    pending_pos_ = 0;
    if (eof_) return false;
    for (;;) {
      if (av_read_frame(fmt_, pkt_) < 0) {
        eof_ = true;
        avcodec_send_packet(ctx_, nullptr);
        Receive();
        return false;
      }
      if (pkt_->stream_index == stream_) break;
      av_packet_unref(pkt_);
    }
    p->Pts = pkt_->pts;
    p->Pos = pkt_->pos;
    // A packet the decoder refuses gives nothing, the same way every time.
    avcodec_send_packet(ctx_, pkt_);
    av_packet_unref(pkt_);
    Receive();
    return true;
  }
  void Receive() {
    while (avcodec_receive_frame(ctx_, frame_) == 0) {
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
  AVCodecContext* ctx_ = nullptr;
  SwrContext* swr_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* pkt_ = nullptr;
  int stream_ = -1;
  bool eof_ = false;
  std::vector<TPacket> packets_;
  bool jumped_ = false;  // decoding did not start at the file's start
  size_t settled_ = 0;   // after a jump, the last packet whose output is dropped
  size_t next_ = 0;      // the packet decoded next
  uint64_t at_ = 0;      // the frame pending_[pending_pos_] holds
  uint64_t pos_ = 0;     // the frame Read gives next
  std::vector<int16_t> pending_;
  size_t pending_pos_ = 0;
};

}  // namespace

std::unique_ptr<TDecoder> OpenAsfDecoder(const std::string& Path) {
  auto d = std::make_unique<TAsfDecoder>();
  if (!d->Open(Path)) return nullptr;
  return d;
}
