#include "audiolib/decoder.h"

#include <libopenmpt/libopenmpt.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

class TVorbisDecoder : public TDecoder {
 public:
  ~TVorbisDecoder() override {
    if (open_) ov_clear(&vf_);
  }
  bool Open(const std::string& path) {
    if (ov_fopen(path.c_str(), &vf_) != 0) return false;
    open_ = true;
    const vorbis_info* vi = ov_info(&vf_, -1);
    const ogg_int64_t total = ov_pcm_total(&vf_, -1);
    if (!vi || (vi->channels != 1 && vi->channels != 2) || vi->rate <= 0 || total <= 0)
      return false;
    Rate = static_cast<uint32_t>(vi->rate);
    Channels = static_cast<uint16_t>(vi->channels);
    Length = static_cast<uint64_t>(total);
    return true;
  }
  size_t Read(int16_t* out, size_t frames) override {
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
  bool Seek(uint64_t frame) override {
    return ov_pcm_seek(&vf_, static_cast<ogg_int64_t>(frame)) == 0;
  }

 private:
  OggVorbis_File vf_{};
  bool open_ = false;
};

uint32_t Le32(const uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24;
}
uint16_t Le16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}

// RIFF WAVE with PCM samples of 8 or 16 bits, mono or stereo; the chunks are
// walked, so extra chunks before "data" are fine.
class TWaveDecoder : public TDecoder {
 public:
  ~TWaveDecoder() override {
    if (f_) std::fclose(f_);
  }
  bool Open(const std::string& path) {
    f_ = std::fopen(path.c_str(), "rb");
    if (!f_) return false;
    uint8_t h[12];
    if (std::fread(h, 1, 12, f_) != 12 || std::memcmp(h, "RIFF", 4) ||
        std::memcmp(h + 8, "WAVE", 4))
      return false;
    bool fmt = false;
    uint16_t bits = 0, align = 0;
    for (;;) {
      uint8_t c[8];
      if (std::fread(c, 1, 8, f_) != 8) return false;
      const uint32_t size = Le32(c + 4);
      const long at = std::ftell(f_);
      if (!std::memcmp(c, "fmt ", 4)) {
        uint8_t b[16];
        if (size < 16 || std::fread(b, 1, 16, f_) != 16) return false;
        if (Le16(b) != 1) return false;  // PCM only
        Channels = Le16(b + 2);
        Rate = Le32(b + 4);
        align = Le16(b + 12);
        bits = Le16(b + 14);
        if ((Channels != 1 && Channels != 2) || (bits != 8 && bits != 16) || Rate == 0 ||
            align != Channels * bits / 8)
          return false;
        fmt = true;
      } else if (!std::memcmp(c, "data", 4)) {
        if (!fmt) return false;
        std::fseek(f_, 0, SEEK_END);
        const long end = std::ftell(f_);
        // A size beyond the file (a cut download) plays what is there.
        const uint64_t have = end > at ? static_cast<uint64_t>(end - at) : 0;
        Length = std::min<uint64_t>(size, have) / align;
        if (Length == 0) return false;
        data_ = at;
        align_ = align;
        EightBit = bits == 8;
        return std::fseek(f_, at, SEEK_SET) == 0;
      }
      if (std::fseek(f_, at + static_cast<long>(size) + (size & 1), SEEK_SET) != 0) return false;
    }
  }
  size_t Read(int16_t* out, size_t frames) override {
    frames = static_cast<size_t>(std::min<uint64_t>(frames, Length - pos_));
    raw_.resize(frames * align_);
    const size_t got = std::fread(raw_.data(), align_, frames, f_);
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
    return std::fseek(f_, data_ + static_cast<long>(frame * align_), SEEK_SET) == 0;
  }

 private:
  std::FILE* f_ = nullptr;
  long data_ = 0;
  uint32_t align_ = 0;
  uint64_t pos_ = 0;
  std::vector<uint8_t> raw_;
};

class TModuleDecoder : public TDecoder {
 public:
  ~TModuleDecoder() override {
    if (m_) openmpt_module_destroy(m_);
  }
  bool Open(const std::vector<uint8_t>& data, uint32_t rate) {
    // A file that is no module is an ordinary answer, not a message.
    m_ = openmpt_module_create_from_memory2(data.data(), data.size(), openmpt_log_func_silent,
                                            nullptr, openmpt_error_func_ignore, nullptr, nullptr,
                                            nullptr, nullptr);
    if (!m_) return false;
    const double secs = openmpt_module_get_duration_seconds(m_);
    if (!(secs > 0) || !std::isfinite(secs) || secs > 86400) return false;
    Rate = rate;
    Channels = 2;
    Length = static_cast<uint64_t>(std::llround(secs * rate));
    return true;
  }
  size_t Read(int16_t* out, size_t frames) override {
    return openmpt_module_read_interleaved_stereo(m_, static_cast<int32_t>(Rate), frames, out);
  }
  bool Seek(uint64_t frame) override {
    openmpt_module_set_position_seconds(m_, static_cast<double>(frame) / Rate);
    return true;
  }

 private:
  openmpt_module* m_ = nullptr;
};

template <class D, class... A>
std::unique_ptr<TDecoder> Try(A&&... a) {
  auto d = std::make_unique<D>();
  if (!d->Open(std::forward<A>(a)...)) return nullptr;
  return d;
}

}  // namespace

std::unique_ptr<TDecoder> OpenVorbisDecoder(const std::string& Path) {
  return Try<TVorbisDecoder>(Path);
}
std::unique_ptr<TDecoder> OpenWaveDecoder(const std::string& Path) {
  return Try<TWaveDecoder>(Path);
}
std::unique_ptr<TDecoder> OpenModuleDecoder(const std::vector<uint8_t>& Data, uint32_t Rate) {
  return Try<TModuleDecoder>(Data, Rate);
}
