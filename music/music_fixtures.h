// Small music files made by the tests themselves: a WAV of a tone, an Ogg
// Vorbis file from libvorbisenc, a WMA file from libavformat's ASF muxer and a
// four-channel module.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <mpg123.h>
#include <vorbis/vorbisenc.h>

#include "audiolib/wma_fixture.h"

namespace music_fixtures {

// A scratch folder of this test process, removed when it ends.
inline std::string TempDir() {
  struct TDir {
    std::string Path;
    TDir()
        : Path(
              (std::filesystem::temp_directory_path() / ("tal_music_" + std::to_string(::getpid())))
                  .string()) {
      std::filesystem::create_directories(Path);
    }
    ~TDir() {
      std::error_code ec;
      std::filesystem::remove_all(Path, ec);
    }
  };
  static const TDir dir;
  return dir.Path;
}

inline std::string WriteBytes(const std::string& name, const std::vector<uint8_t>& bytes) {
  const std::string path = TempDir() + "/" + name;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  return path;
}

// A FIFO of the scratch folder; opened for reading with no writer, it waits.
inline std::string MakeFifo(const std::string& name) {
  const std::string path = TempDir() + "/" + name;
  ::mkfifo(path.c_str(), 0600);
  return path;
}

// Should an open wait on a FIFO, a writer comes every few seconds and lets it
// go, so the test fails instead of hanging.
class TFifoWatch {
 public:
  explicit TFifoWatch(std::vector<std::string> paths)
      : paths_(std::move(paths)), thread_([this] {
          std::unique_lock l(m_);
          while (!cv_.wait_for(l, std::chrono::seconds(5), [this] { return done_; })) {
            for (const std::string& p : paths_) {
              const int fd = ::open(p.c_str(), O_WRONLY | O_NONBLOCK);
              if (fd >= 0) {
                rescued_ = true;
                ::close(fd);
              }
            }
          }
        }) {}
  ~TFifoWatch() {
    {
      std::lock_guard l(m_);
      done_ = true;
    }
    cv_.notify_all();
    thread_.join();
  }
  // Whether some open had to be let go.
  bool Rescued() {
    std::lock_guard l(m_);
    return rescued_;
  }

 private:
  std::vector<std::string> paths_;
  std::mutex m_;
  std::condition_variable cv_;
  bool done_ = false, rescued_ = false;
  std::thread thread_;
};

inline void Put16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(static_cast<uint8_t>(x));
  v.push_back(static_cast<uint8_t>(x >> 8));
}
inline void Put32(std::vector<uint8_t>& v, uint32_t x) {
  Put16(v, x & 0xFFFF);
  Put16(v, x >> 16);
}

// Interleaved stereo sine frames.
inline std::vector<int16_t> Tone(double seconds, double hz, double amp = 0.5,
                                 uint32_t rate = 44100) {
  const size_t n = static_cast<size_t>(seconds * rate);
  std::vector<int16_t> s(n * 2);
  for (size_t i = 0; i < n; ++i) {
    const auto v =
        static_cast<int16_t>(std::lrint(std::sin(2 * M_PI * hz * i / rate) * amp * 32767));
    s[2 * i] = s[2 * i + 1] = v;
  }
  return s;
}

inline std::vector<uint8_t> WavBytes(const std::vector<int16_t>& stereo, uint32_t rate = 44100,
                                     uint16_t channels = 2) {
  std::vector<uint8_t> v;
  const uint32_t data = static_cast<uint32_t>(stereo.size() * 2);
  v.insert(v.end(), {'R', 'I', 'F', 'F'});
  Put32(v, 36 + data);
  v.insert(v.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  Put32(v, 16);
  Put16(v, 1);
  Put16(v, channels);
  Put32(v, rate);
  Put32(v, rate * channels * 2);
  Put16(v, channels * 2);
  Put16(v, 16);
  v.insert(v.end(), {'d', 'a', 't', 'a'});
  Put32(v, data);
  for (int16_t s : stereo) Put16(v, static_cast<uint16_t>(s));
  return v;
}

// One Ogg Vorbis stream of a tone in Channels channels with the given
// comments ("NAME=value"); streams of other serial numbers written one after
// another make a chained file. With HeaderPageAudio, the stream is written as
// an encoder does that does not put its last header on a page of its own:
// the first HeaderPageAudio packets of audio share that page.
inline std::vector<uint8_t> OggBytes(double seconds, const std::vector<std::string>& comments,
                                     uint32_t rate = 44100, int channels = 2, int serial = 1,
                                     int header_page_audio = 0) {
  vorbis_info vi;
  vorbis_info_init(&vi);
  vorbis_encode_init_vbr(&vi, channels, static_cast<long>(rate), 0.3f);
  vorbis_comment vc;
  vorbis_comment_init(&vc);
  for (const std::string& c : comments) vorbis_comment_add(&vc, c.c_str());
  vorbis_dsp_state vd;
  vorbis_block vb;
  vorbis_analysis_init(&vd, &vi);
  vorbis_block_init(&vd, &vb);
  ogg_stream_state os;
  ogg_stream_init(&os, serial);
  ogg_packet h0, h1, h2;
  vorbis_analysis_headerout(&vd, &vc, &h0, &h1, &h2);
  std::vector<uint8_t> out;
  ogg_page og;
  auto put = [&](const ogg_page& p) {
    out.insert(out.end(), p.header, p.header + p.header_len);
    out.insert(out.end(), p.body, p.body + p.body_len);
  };
  ogg_stream_packetin(&os, &h0);
  if (header_page_audio > 0) {
    while (ogg_stream_flush(&os, &og)) put(og);
  }
  ogg_stream_packetin(&os, &h1);
  ogg_stream_packetin(&os, &h2);
  if (header_page_audio == 0) {
    while (ogg_stream_flush(&os, &og)) put(og);
  }
  int given = 0;  // packets of audio
  const std::vector<int16_t> pcm = Tone(seconds, 440, 0.5, rate);
  const size_t frames = pcm.size() / 2;
  for (size_t at = 0; at <= frames;) {
    const size_t n = std::min<size_t>(1024, frames - at);
    if (n == 0) {
      vorbis_analysis_wrote(&vd, 0);
      at = frames + 1;
    } else {
      float** buf = vorbis_analysis_buffer(&vd, static_cast<int>(n));
      for (size_t i = 0; i < n; ++i)
        for (int c = 0; c < channels; ++c) buf[c][i] = pcm[2 * (at + i) + (c & 1)] / 32768.0f;
      vorbis_analysis_wrote(&vd, static_cast<int>(n));
      at += n;
    }
    while (vorbis_analysis_blockout(&vd, &vb) == 1) {
      vorbis_analysis(&vb, nullptr);
      vorbis_bitrate_addblock(&vb);
      ogg_packet op;
      while (vorbis_bitrate_flushpacket(&vd, &op)) {
        ogg_stream_packetin(&os, &op);
        if (++given == header_page_audio) {
          while (ogg_stream_flush(&os, &og)) put(og);
        } else if (given > header_page_audio) {
          while (ogg_stream_pageout(&os, &og)) put(og);
        }
      }
    }
  }
  while (ogg_stream_flush(&os, &og)) put(og);
  ogg_stream_clear(&os);
  vorbis_block_clear(&vb);
  vorbis_dsp_clear(&vd);
  vorbis_comment_clear(&vc);
  vorbis_info_clear(&vi);
  return out;
}

// Ogg Vorbis of a stereo tone with the given comments ("NAME=value").
inline std::string WriteOgg(const std::string& name, double seconds,
                            const std::vector<std::string>& comments, uint32_t rate = 44100) {
  return WriteBytes(name, OggBytes(seconds, comments, rate));
}

// A WMA (ASF, wmav2) file of a stereo 440 Hz tone with a title; empty when
// the encoder is missing.
inline std::string WriteWma(const std::string& name, double seconds, const char* title) {
  const std::string path = TempDir() + "/" + name;
  TWmaSpec spec;
  spec.Seconds = seconds;
  spec.Title = title;
  spec.PlainTone = true;
  return WriteWmaFile(path, spec) ? path : "";
}

// A four-channel module: one pattern of 64 rows at speed 6 (about 7.7 s),
// a square-wave sample struck on the first row, played Times times (at most
// 128).
inline std::vector<uint8_t> ModBytes(int times = 1) {
  std::vector<uint8_t> v(20, 0);
  std::memcpy(v.data(), "tal test", 8);
  for (int s = 0; s < 31; ++s) {
    std::vector<uint8_t> h(30, 0);
    if (s == 0) {
      h[22] = 0;
      h[23] = 32;  // 64 bytes as words, big-endian
      h[25] = 64;  // volume
      h[29] = 32;  // loop length 32 words
      h[27] = 0;   // loop start 0
    }
    v.insert(v.end(), h.begin(), h.end());
  }
  v.push_back(static_cast<uint8_t>(times));  // song length
  v.push_back(127);
  std::vector<uint8_t> orders(128, 0);
  v.insert(v.end(), orders.begin(), orders.end());
  v.insert(v.end(), {'M', '.', 'K', '.'});
  std::vector<uint8_t> pattern(1024, 0);
  // Row 0, channel 0: sample 1, period 428.
  pattern[0] = 0x01;
  pattern[1] = 0xAC;
  pattern[2] = 0x10;
  v.insert(v.end(), pattern.begin(), pattern.end());
  for (int i = 0; i < 64; ++i) v.push_back(i < 32 ? 0x40 : 0xC0);
  return v;
}

// Frames of an MP3 as libmpg123 decodes them (16-bit stereo), from Frame on.
// Unless told that its frames are whole, libmpg123 waits for a second frame
// before it trusts the first, and plays nothing of a file of one frame.
inline std::vector<int16_t> DecodeMp3(const std::string& path, off_t frame, size_t frames,
                                      bool wholeFrames = false) {
  std::vector<int16_t> out(frames * 2);
  mpg123_handle* mh = mpg123_new(nullptr, nullptr);
  if (wholeFrames) mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_NO_READAHEAD, 0);
  size_t got = 0, part = 0;
  if (mpg123_open(mh, path.c_str()) == MPG123_OK && mpg123_seek(mh, frame, SEEK_SET) >= 0) {
    for (int r = MPG123_OK; got < out.size() * 2 && (r == MPG123_OK || r == MPG123_NEW_FORMAT);) {
      r = mpg123_read(mh, reinterpret_cast<unsigned char*>(out.data()) + got, out.size() * 2 - got,
                      &part);
      got += part;
    }
  }
  mpg123_close(mh);
  mpg123_delete(mh);
  out.resize(got / 2);
  return out;
}

}  // namespace music_fixtures
