// WMA files made on the spot by libavcodec's encoders and libavformat's ASF
// muxer, for the tests and benchmarks of the WMA add-on. The signal has two
// tones, a sweeping high one and a little noise, so that every band of the
// codec, and its noise coding where the rate and bit rate call for it, has
// something to carry; or, for the tests that listen for a pitch, a plain
// 440 Hz tone. The same arguments always give the same file.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

struct TWmaSpec {
  AVCodecID Codec = AV_CODEC_ID_WMAV2;
  int Rate = 44100;
  int Channels = 2;
  int BitRate = 128000;
  double Seconds = 1.0;
  const char* Title = nullptr;
  bool PlainTone = false;
};

// False when the encoder is missing or the file cannot be written. With
// Repeats above 1 the encoded audio is written that many times over, one copy
// after another, which makes a long file in the time of a short one.
inline bool WriteWmaFile(const std::string& Path, const TWmaSpec& Spec, int Repeats = 1) {
  const AVCodec* codec = avcodec_find_encoder(Spec.Codec);
  if (!codec) return false;
  AVFormatContext* fmt = nullptr;
  if (avformat_alloc_output_context2(&fmt, nullptr, "asf", Path.c_str()) < 0) return false;
  AVCodecContext* ctx = avcodec_alloc_context3(codec);
  AVFrame* frame = av_frame_alloc();
  AVPacket* pkt = av_packet_alloc();
  std::vector<AVPacket*> packets;
  bool ok = false;
  AVStream* st = avformat_new_stream(fmt, nullptr);
  ctx->sample_rate = Spec.Rate;
  ctx->sample_fmt = AV_SAMPLE_FMT_FLTP;
  av_channel_layout_default(&ctx->ch_layout, Spec.Channels);
  ctx->bit_rate = Spec.BitRate;
  ctx->time_base = AVRational{1, Spec.Rate};
  if (st && frame && pkt && avcodec_open2(ctx, codec, nullptr) >= 0 &&
      avcodec_parameters_from_context(st->codecpar, ctx) >= 0) {
    auto drain = [&] {
      while (avcodec_receive_packet(ctx, pkt) == 0) packets.push_back(av_packet_clone(pkt));
    };
    const auto total = static_cast<int64_t>(Spec.Seconds * Spec.Rate);
    uint32_t seed = 1;
    ok = true;
    for (int64_t pts = 0; ok && pts < total; pts += ctx->frame_size) {
      frame->nb_samples = ctx->frame_size;
      frame->format = ctx->sample_fmt;
      ok = av_channel_layout_copy(&frame->ch_layout, &ctx->ch_layout) >= 0 &&
           av_frame_get_buffer(frame, 0) >= 0;
      for (int c = 0; ok && c < Spec.Channels; ++c) {
        auto* d = reinterpret_cast<float*>(frame->data[c]);
        for (int i = 0; i < frame->nb_samples; ++i) {
          const double t = static_cast<double>(pts + i) / Spec.Rate;
          seed = seed * 1664525u + 1013904223u;
          d[i] = Spec.PlainTone ? static_cast<float>(0.4 * std::sin(2 * M_PI * 440 * t))
                                : static_cast<float>(
                                      0.3 * std::sin(2 * M_PI * (220 + 110 * c) * t) +
                                      0.15 * std::sin(2 * M_PI * 0.2 * Spec.Rate * t *
                                                      (1 + 0.1 * std::sin(t))) +
                                      0.05 * ((seed >> 8) / 16777216.0 - 0.5));
        }
      }
      frame->pts = pts;
      ok = ok && avcodec_send_frame(ctx, frame) >= 0;
      av_frame_unref(frame);
      drain();
    }
    avcodec_send_frame(ctx, nullptr);
    drain();
    ok = ok && !packets.empty() && packets.back();
    st->time_base = ctx->time_base;
    if (Spec.Title) av_dict_set(&fmt->metadata, "title", Spec.Title, 0);
    if (ok && avio_open(&fmt->pb, Path.c_str(), AVIO_FLAG_WRITE) >= 0) {
      ok = avformat_write_header(fmt, nullptr) >= 0;
      // Each copy starts where the one before ended.
      const int64_t span = packets.back()->pts + packets.back()->duration - packets.front()->pts;
      for (int r = 0; ok && r < Repeats; ++r) {
        for (const AVPacket* p : packets) {
          if (av_packet_ref(pkt, p) < 0) {
            ok = false;
            break;
          }
          pkt->pts += r * span;
          pkt->dts += r * span;
          av_packet_rescale_ts(pkt, ctx->time_base, st->time_base);
          pkt->stream_index = st->index;
          ok = av_write_frame(fmt, pkt) >= 0;
          av_packet_unref(pkt);
          if (!ok) break;
        }
      }
      ok = av_write_trailer(fmt) >= 0 && ok;
      avio_closep(&fmt->pb);
    }
  }
  for (AVPacket*& p : packets) av_packet_free(&p);
  av_frame_free(&frame);
  av_packet_free(&pkt);
  avcodec_free_context(&ctx);
  avformat_free_context(fmt);
  return ok;
}
