// The WMA add-on: ASF files decoded by libavformat/libavcodec into a stream
// channel of the main library. Encoding and the reader object are not here.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include "audiolib/bass.h"
#include "audiolib/channels.h"
#include "audiolib/decoder.h"

#define BASS_EXPORT extern "C" __attribute__((visibility("default")))

extern "C" HSYNC BASS_ChannelSetSync(BASS_DWORD Handle, BASS_DWORD Type, BASS_QWORD Param,
                                     SYNCPROC Proc, void* User);

namespace {

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
    if (fmt_->duration > 0) {
      Length = static_cast<uint64_t>(av_rescale(fmt_->duration, Rate, AV_TIME_BASE));
    } else if (st->duration > 0) {
      Length = static_cast<uint64_t>(
          av_rescale_q(st->duration, st->time_base, AVRational{1, static_cast<int>(Rate)}));
    }
    return Length > 0;
  }
  size_t Read(int16_t* out, size_t frames) override {
    size_t done = 0;
    while (done < frames) {
      if (pending_pos_ < pending_.size()) {
        const size_t n = std::min(frames - done, (pending_.size() - pending_pos_) / Channels);
        std::memcpy(out + done * Channels, pending_.data() + pending_pos_, n * Channels * 2);
        pending_pos_ += n * Channels;
        done += n;
        continue;
      }
      if (!Decode()) break;
    }
    return done;
  }
  bool Seek(uint64_t frame) override {
    const int64_t ts =
        av_rescale_q(static_cast<int64_t>(frame), AVRational{1, static_cast<int>(Rate)},
                     fmt_->streams[stream_]->time_base);
    if (av_seek_frame(fmt_, stream_, ts, AVSEEK_FLAG_BACKWARD) < 0 && frame != 0) return false;
    if (frame == 0) av_seek_frame(fmt_, stream_, 0, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_BYTE);
    avcodec_flush_buffers(ctx_);
    pending_.clear();
    pending_pos_ = 0;
    eof_ = false;
    return true;
  }

 private:
  // One more decoded frame into pending_; false at the end.
  bool Decode() {
    for (;;) {
      const int r = avcodec_receive_frame(ctx_, frame_);
      if (r == 0) {
        const int n = frame_->nb_samples;
        pending_.resize(static_cast<size_t>(swr_get_out_samples(swr_, n)) * Channels);
        uint8_t* dst = reinterpret_cast<uint8_t*>(pending_.data());
        const int got =
            swr_convert(swr_, &dst, n, const_cast<const uint8_t**>(frame_->extended_data), n);
        av_frame_unref(frame_);
        if (got < 0) return false;
        pending_.resize(static_cast<size_t>(got) * Channels);
        pending_pos_ = 0;
        if (got > 0) return true;
        continue;
      }
      if (r == AVERROR_EOF || eof_) return false;
      if (r != AVERROR(EAGAIN)) return false;
      if (av_read_frame(fmt_, pkt_) < 0) {
        eof_ = true;
        avcodec_send_packet(ctx_, nullptr);
        continue;
      }
      if (pkt_->stream_index == stream_) avcodec_send_packet(ctx_, pkt_);
      av_packet_unref(pkt_);
    }
  }
  AVFormatContext* fmt_ = nullptr;
  AVCodecContext* ctx_ = nullptr;
  SwrContext* swr_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* pkt_ = nullptr;
  int stream_ = -1;
  bool eof_ = false;
  std::vector<int16_t> pending_;
  size_t pending_pos_ = 0;
};

}  // namespace

BASS_EXPORT HSTREAM BASS_WMA_StreamCreateFile(BASS_BOOL Mem, const void* File, BASS_DWORD Offset,
                                              BASS_DWORD Length, BASS_DWORD Flags) {
  if (Mem || !File) {
    BassSetError(BASS_ERROR_NOTAVAIL);
    return 0;
  }
  auto d = std::make_unique<TAsfDecoder>();
  if (!d->Open(static_cast<const char*>(File))) {
    BassSetError(BASS_ERROR_FILEFORM);
    return 0;
  }
  return BassAdoptDecoder(std::move(d));
}

BASS_EXPORT HSYNC BASS_WMA_ChannelSetSync(BASS_DWORD Handle, BASS_DWORD Type, BASS_QWORD Param,
                                          SYNCPROC Proc, void* User) {
  return BASS_ChannelSetSync(Handle, Type, Param, Proc, User);
}

#define TAL_WMA_NOT_AVAILABLE(name, ret, value, ...) \
  BASS_EXPORT ret name(__VA_ARGS__) {                \
    BassSetError(BASS_ERROR_NOTAVAIL);               \
    return value;                                    \
  }

TAL_WMA_NOT_AVAILABLE(BASS_WMA_GetIWMReader, void*, nullptr, HSTREAM)
TAL_WMA_NOT_AVAILABLE(BASS_WMA_EncodeGetRates, const BASS_DWORD*, nullptr, BASS_DWORD, BASS_DWORD)
TAL_WMA_NOT_AVAILABLE(BASS_WMA_EncodeOpenFile, BASS_DWORD, 0, BASS_DWORD, BASS_DWORD, BASS_DWORD,
                      BASS_DWORD, const char*)
TAL_WMA_NOT_AVAILABLE(BASS_WMA_EncodeOpenNetwork, BASS_DWORD, 0, BASS_DWORD, BASS_DWORD, BASS_DWORD,
                      BASS_DWORD, BASS_DWORD, BASS_DWORD)
TAL_WMA_NOT_AVAILABLE(BASS_WMA_EncodeGetPort, BASS_DWORD, 0, BASS_DWORD)
TAL_WMA_NOT_AVAILABLE(BASS_WMA_EncodeSetNotify, BASS_BOOL, 0, BASS_DWORD, void*, void*)
TAL_WMA_NOT_AVAILABLE(BASS_WMA_EncodeGetClients, BASS_DWORD, 0, BASS_DWORD)
TAL_WMA_NOT_AVAILABLE(BASS_WMA_EncodeSetTag, BASS_BOOL, 0, BASS_DWORD, const char*, const char*)
TAL_WMA_NOT_AVAILABLE(BASS_WMA_EncodeWrite, BASS_BOOL, 0, BASS_DWORD, const void*, BASS_DWORD)
TAL_WMA_NOT_AVAILABLE(BASS_WMA_EncodeClose, void*, nullptr, BASS_DWORD)
