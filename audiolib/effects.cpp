#include "audiolib/effects.h"

#include <algorithm>
#include <cmath>
#include <complex>

namespace {

constexpr double kPi = 3.14159265358979323846;

int16_t Clip(float v) {
  return static_cast<int16_t>(std::lrintf(std::clamp(v, -32768.0f, 32767.0f)));
}

// One peaking band: a biquad with the centre, width (in semitones) and gain.
class TParamEq : public TChannelEffect {
 public:
  explicit TParamEq(uint32_t rate) : rate_(rate) { Design(); }
  void Process(int16_t* f, size_t n) override {
    for (size_t i = 0; i < n * 2; ++i) {
      const int c = static_cast<int>(i & 1);
      const double x = f[i];
      const double y = b0_ * x + b1_ * x1_[c] + b2_ * x2_[c] - a1_ * y1_[c] - a2_ * y2_[c];
      x2_[c] = x1_[c];
      x1_[c] = x;
      y2_[c] = y1_[c];
      y1_[c] = y;
      f[i] = Clip(static_cast<float>(y));
    }
  }
  void Get(void* p) const override { *static_cast<BASS_FXPARAMEQ*>(p) = par_; }
  void Set(const void* p) override {
    par_ = *static_cast<const BASS_FXPARAMEQ*>(p);
    Design();
  }

 private:
  void Design() {
    const double nyq = rate_ / 2.0;
    const double fc = std::clamp<double>(par_.fCenter, 80.0, nyq * 0.95);
    const double bw = std::clamp<double>(par_.fBandwidth, 1.0, 36.0) / 12.0;  // octaves
    const double a = std::pow(10.0, std::clamp<double>(par_.fGain, -15.0, 15.0) / 40.0);
    const double w0 = 2 * kPi * fc / rate_;
    const double alpha = std::sin(w0) * std::sinh(std::log(2.0) / 2 * bw * w0 / std::sin(w0));
    const double a0 = 1 + alpha / a;
    b0_ = (1 + alpha * a) / a0;
    b1_ = -2 * std::cos(w0) / a0;
    b2_ = (1 - alpha * a) / a0;
    a1_ = b1_;
    a2_ = (1 - alpha / a) / a0;
  }
  uint32_t rate_;
  BASS_FXPARAMEQ par_{100.0f, 12.0f, 0.0f};
  double b0_ = 1, b1_ = 0, b2_ = 0, a1_ = 0, a2_ = 0;
  double x1_[2]{}, x2_[2]{}, y1_[2]{}, y2_[2]{};
};

class TEcho : public TChannelEffect {
 public:
  explicit TEcho(uint32_t rate) : rate_(rate) { Resize(); }
  void Process(int16_t* f, size_t n) override {
    const float wet = std::clamp(par_.fWetDryMix, 0.0f, 100.0f) / 100.0f;
    const float fb = std::clamp(par_.fFeedback, 0.0f, 100.0f) / 100.0f;
    for (size_t i = 0; i < n; ++i) {
      for (int c = 0; c < 2; ++c) {
        std::vector<float>& line = line_[c];
        size_t& at = at_[c];
        // With pan delay the echoes swap sides on each repeat.
        const float delayed = line[at];
        const float x = f[2 * i + c];
        line_[par_.lPanDelay ? 1 - c : c][at_[par_.lPanDelay ? 1 - c : c]] = x + delayed * fb;
        f[2 * i + c] = Clip(x * (1 - wet) + delayed * wet);
        at = (at + 1) % line.size();
      }
    }
  }
  void Get(void* p) const override { *static_cast<BASS_FXECHO*>(p) = par_; }
  void Set(const void* p) override {
    par_ = *static_cast<const BASS_FXECHO*>(p);
    Resize();
  }

 private:
  void Resize() {
    const float d[2] = {par_.fLeftDelay, par_.fRightDelay};
    for (int c = 0; c < 2; ++c) {
      const size_t len =
          std::max<size_t>(1, static_cast<size_t>(std::clamp(d[c], 1.0f, 2000.0f) * rate_ / 1000));
      line_[c].assign(len, 0.0f);
      at_[c] = 0;
    }
  }
  uint32_t rate_;
  BASS_FXECHO par_{50.0f, 50.0f, 500.0f, 500.0f, 0};
  std::vector<float> line_[2];
  size_t at_[2]{};
};

// Four combs into two all-passes per side, a plain room.
class TReverb : public TChannelEffect {
 public:
  explicit TReverb(uint32_t rate) : rate_(rate) { Build(); }
  void Process(int16_t* f, size_t n) override {
    const float in = std::pow(10.0f, std::clamp(par_.fInGain, -96.0f, 0.0f) / 20.0f);
    const float mix = std::pow(10.0f, std::clamp(par_.fReverbMix, -96.0f, 0.0f) / 20.0f);
    for (size_t i = 0; i < n; ++i) {
      for (int c = 0; c < 2; ++c) {
        const float x = f[2 * i + c] * in;
        float sum = 0;
        for (int k = 0; k < 4; ++k) {
          TLine& l = comb_[c][k];
          const float y = l.buf[l.at];
          l.damp = y * (1 - damp_) + l.damp * damp_;
          l.buf[l.at] = x + l.damp * l.g;
          l.at = (l.at + 1) % l.buf.size();
          sum += y;
        }
        for (int k = 0; k < 2; ++k) {
          TLine& l = all_[c][k];
          const float b = l.buf[l.at];
          const float y = -sum * 0.5f + b;
          l.buf[l.at] = sum + b * 0.5f;
          l.at = (l.at + 1) % l.buf.size();
          sum = y;
        }
        f[2 * i + c] = Clip(x + sum * 0.25f * mix);
      }
    }
  }
  void Get(void* p) const override { *static_cast<BASS_FXREVERB*>(p) = par_; }
  void Set(const void* p) override {
    par_ = *static_cast<const BASS_FXREVERB*>(p);
    Build();
  }

 private:
  struct TLine {
    std::vector<float> buf;
    size_t at = 0;
    float g = 0, damp = 0;
  };
  void Build() {
    static constexpr float kComb[4] = {29.7f, 37.1f, 41.1f, 43.7f};
    static constexpr float kAll[2] = {5.0f, 1.7f};
    const float t = std::clamp(par_.fReverbTime, 1.0f, 3000.0f);
    damp_ = std::clamp(1.0f - par_.fHighFreqRTRatio, 0.0f, 0.9f) * 0.5f;
    for (int c = 0; c < 2; ++c) {
      for (int k = 0; k < 4; ++k) {
        const float ms = kComb[k] + c * 1.3f;
        comb_[c][k] = {std::vector<float>(static_cast<size_t>(ms * rate_ / 1000) + 1, 0.0f), 0,
                       std::pow(10.0f, -3.0f * ms / t), 0};
      }
      for (int k = 0; k < 2; ++k)
        all_[c][k] = {std::vector<float>(static_cast<size_t>(kAll[k] * rate_ / 1000) + 1, 0.0f), 0,
                      0, 0};
    }
  }
  uint32_t rate_;
  BASS_FXREVERB par_{0.0f, 0.0f, 1000.0f, 0.001f};
  float damp_ = 0;
  TLine comb_[2][4], all_[2][2];
};

}  // namespace

std::unique_ptr<TChannelEffect> MakeChannelEffect(BASS_DWORD Type, uint32_t Rate) {
  switch (Type) {
    case BASS_FX_PARAMEQ:
      return std::make_unique<TParamEq>(Rate);
    case BASS_FX_ECHO:
      return std::make_unique<TEcho>(Rate);
    case BASS_FX_REVERB:
      return std::make_unique<TReverb>(Rate);
    default:
      return nullptr;
  }
}

void Fft512(const int16_t* Frames, size_t Count, float* Out256) {
  constexpr size_t N = 512;
  std::complex<double> a[N];
  for (size_t i = 0; i < N; ++i) {
    const double s = i < Count ? (Frames[2 * i] + Frames[2 * i + 1]) / 65536.0 : 0.0;
    a[i] = s * (0.5 - 0.5 * std::cos(2 * kPi * i / (N - 1)));
  }
  for (size_t i = 1, j = 0; i < N; ++i) {
    size_t bit = N >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  for (size_t len = 2; len <= N; len <<= 1) {
    const std::complex<double> w = std::polar(1.0, -2 * kPi / len);
    for (size_t i = 0; i < N; i += len) {
      std::complex<double> u = 1;
      for (size_t k = 0; k < len / 2; ++k) {
        const auto x = a[i + k], y = a[i + k + len / 2] * u;
        a[i + k] = x + y;
        a[i + k + len / 2] = x - y;
        u *= w;
      }
    }
  }
  static_assert(kFftBins == N / 2);
  for (size_t i = 0; i < kFftBins; ++i) Out256[i] = static_cast<float>(std::abs(a[i]) * 2 / N);
}
