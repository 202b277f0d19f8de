// WMA files made on the spot by libavcodec's encoders and libavformat's ASF
// muxer, for the tests and benchmarks of the WMA add-on. The signal has two
// tones, a sweeping high one and a little noise, so that every band of the
// codec, and its noise coding where the rate and bit rate call for it, has
// something to carry; or, for the tests that listen for a pitch, a plain
// 440 Hz tone; or music: chords of struck notes rich in harmonics over a
// bass line, with a drum on every beat, whose spectrum changes all the time
// as a song's does. The same arguments always give the same file.
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
  bool Music = false;
};

// One sample of the music at frame N of Channel (0 or 1), within -1..1;
// Seed is the drum's noise generator, run once per sample.
inline float WmaMusicSample(int64_t N, int Rate, int Channel, uint32_t& Seed) {
  // A chord a bar of four beats, round a progression of four; the pitches
  // are MIDI notes.
  static const int kChords[4][3] = {{60, 64, 67}, {57, 60, 64}, {53, 57, 60}, {55, 59, 62}};
  const double t = static_cast<double>(N) / Rate;
  const double beat = 0.25;
  const auto b = static_cast<int64_t>(t / beat);
  const double since = t - static_cast<double>(b) * beat;  // since the beat was struck
  const int* chord = kChords[(b / 4) % 4];
  const auto hz = [](int note) { return 440.0 * std::pow(2.0, (note - 69) / 12.0); };
  double v = 0;
  for (int i = 0; i < 3; ++i) {
    // Each note a little to one side, struck on every beat and dying away.
    const double f = hz(chord[i] + ((b % 2) && i == 2 ? 12 : 0));
    const double side = Channel == (i % 2) ? 1.0 : 0.6;
    const double env = 0.25 + 0.75 * std::exp(-6 * since);
    for (int k = 1; k <= 16 && k * f < Rate / 2; ++k)
      v += side * env * 0.08 / k * std::sin(2 * M_PI * k * f * t + k * i);
  }
  // The bass, an octave and more below the chord's root: odd harmonics.
  const double root = hz(chord[0] - 24);
  for (int k = 1; k <= 9 && k * root < Rate / 2; k += 2)
    v += 0.12 / k * std::exp(-2 * since) * std::sin(2 * M_PI * k * root * t);
  // The drums: a burst of noise on each beat, louder on the first of a bar,
  // and a cymbal's hiss, high noise that rings on through the beat.
  const double last = (Seed >> 8) / 16777216.0 - 0.5;
  Seed = Seed * 1664525u + 1013904223u;
  const double noise = (Seed >> 8) / 16777216.0 - 0.5;
  v += (b % 4 == 0 ? 0.5 : 0.25) * std::exp(-40 * since) * noise;
  v += 0.12 * (0.3 + std::exp(-8 * since)) * (noise - last);
  return static_cast<float>(v);
}

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
          d[i] = Spec.Music ? WmaMusicSample(pts + i, Spec.Rate, c, seed)
                 : Spec.PlainTone
                     ? static_cast<float>(0.4 * std::sin(2 * M_PI * 440 * t))
                     : static_cast<float>(0.3 * std::sin(2 * M_PI * (220 + 110 * c) * t) +
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
