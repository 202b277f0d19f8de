#include "tools/mkdata/waves.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>

#include "engine/sound/wave.h"
#include "engine/sound/wavelist.h"
#include "platform/dsound/dsound.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr uint32_t kEffectRate = 22050;  // 16-bit effects
constexpr uint32_t kVoiceRate = 11025;   // 8-bit radio, as a radio sounds

// Runs of notes, in semitones from the base.
const std::vector<std::vector<int>> kNotePatterns = {
    {0, 4, 7, 12},          // 0: major, up
    {0, 7, 12, 19},         // 1: fifths, up
    {12, 7, 4, 0},          // 2: major, down
    {0, 3, 7, 10, 12},      // 3: minor seventh, up
    {0, 12, 0, 12},         // 4: octave trill
    {0, 2, 4, 7, 9, 12},    // 5: pentatonic, up
    {12, 11, 7, 3, 0, -5},  // 6: falling minor, the defeat
    {0, 4, 7, 12, 7, 12},   // 7: the fanfare
};

// A small deterministic noise source, seeded from the wave's name.
class TNoise {
 public:
  explicit TNoise(const char* Seed) {
    for (const char* p = Seed; *p; ++p) state_ = (state_ ^ static_cast<uint8_t>(*p)) * 16777619u;
  }
  double Next() {
    state_ = state_ * 1664525u + 1013904223u;
    return static_cast<double>(state_ >> 8) / 8388608.0 - 1.0;
  }
  // 0..n-1
  int Pick(int n) { return static_cast<int>((Next() + 1.0) * 0.5 * n) % n; }

 private:
  uint32_t state_ = 2166136261u;
};

struct TLowPass {
  double a, y = 0;
  TLowPass(double Hz, double Rate) : a(1.0 - std::exp(-2 * kPi * Hz / Rate)) {}
  double operator()(double x) { return y += a * (x - y); }
};

struct THighPass {
  TLowPass lp;
  THighPass(double Hz, double Rate) : lp(Hz, Rate) {}
  double operator()(double x) { return x - lp(x); }
};

// A two-pole resonance: a vowel's formant.
struct TResonator {
  double b1 = 0, b2 = 0, g = 0, y1 = 0, y2 = 0;
  void Tune(double Hz, double Bandwidth, double Rate) {
    const double r = std::exp(-kPi * Bandwidth / Rate);
    b1 = 2 * r * std::cos(2 * kPi * Hz / Rate);
    b2 = -r * r;
    g = 1 - r;
  }
  double operator()(double x) {
    const double y = g * x + b1 * y1 + b2 * y2;
    y2 = y1;
    y1 = y;
    return y;
  }
};

double Square(double phase) {
  return std::fmod(phase, 1.0) < 0.5 ? 1.0 : -1.0;
}

// Fades the first and last few milliseconds so nothing clicks.
void Fade(std::vector<double>& s, uint32_t rate, int ms) {
  const size_t n =
      std::min(s.size() / 2, static_cast<size_t>(rate) * static_cast<size_t>(ms) / 1000);
  for (size_t i = 0; i < n; ++i) {
    const double g = static_cast<double>(i) / static_cast<double>(n);
    s[i] *= g;
    s[s.size() - 1 - i] *= g;
  }
}

void Normalize(std::vector<double>& s, double peak) {
  double m = 0;
  for (double v : s) m = std::max(m, std::abs(v));
  if (m > 0)
    for (double& v : s) v *= peak / m;
}

std::vector<double> Effect(const TWaveRecipe& w) {
  const double rate = kEffectRate;
  const size_t n = static_cast<size_t>(rate * w.Ms / 1000);
  std::vector<double> s(n);
  TNoise noise(w.Name);
  const double len = static_cast<double>(n);
  switch (w.Synth) {
    case wsZap: {
      // Exponential sweep from A to B, bright and quickly fading.
      double phase = 0;
      for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / len;
        const double f = w.A * std::pow(w.B / w.A, t);
        phase += f / rate;
        const double env = std::exp(-4.0 * t);
        s[i] = env * (0.8 * std::sin(2 * kPi * phase) + 0.2 * Square(phase));
      }
      break;
    }
    case wsBuzz: {
      double phase = 0;
      for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / rate;
        phase += w.A / rate;
        const double pulse = 0.5 + 0.5 * Square(t * w.B);
        s[i] = pulse * Square(phase) * std::exp(-2.0 * t);
      }
      break;
    }
    case wsWhoosh: {
      // Swells quickly, then fades as the rockets fly off.
      TLowPass lp(1500, rate), rumble(120, rate);
      for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / len;
        const double env = t < 0.2 ? t / 0.2 : std::pow((1.0 - t) / 0.8, 1.5);
        const double hiss = lp(noise.Next());
        s[i] = env * (hiss + 3.0 * rumble(noise.Next()));
      }
      break;
    }
    case wsBoom: {
      // Noise through two low-pass stages whose cutoff falls as the blast
      // dies, over a sinking thump.
      TLowPass lp1(w.A, rate), lp2(w.A, rate);
      double phase = 0;
      for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / len;
        lp1.a = lp2.a = 1.0 - std::exp(-2 * kPi * (w.A * (1.0 - 0.8 * t)) / rate);
        phase += (w.B * (1.0 - 0.5 * t)) / rate;
        const double env =
            std::exp(-3.5 * t) * std::min(1.0, static_cast<double>(i) / (rate * 0.005));
        s[i] = env * (4.0 * lp2(lp1(noise.Next())) + 0.6 * std::sin(2 * kPi * phase));
      }
      break;
    }
    case wsBlip: {
      for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / len;
        s[i] = std::sin(2 * kPi * w.A * static_cast<double>(i) / rate) * (1.0 - t);
      }
      break;
    }
    case wsTwoTone: {
      for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / len;
        const double f = t < 0.5 ? w.A : w.B;
        s[i] = 0.7 * Square(f * static_cast<double>(i) / rate) * (1.0 - 0.6 * t);
      }
      break;
    }
    case wsNotes: {
      const std::vector<int>& notes = kNotePatterns.at(static_cast<size_t>(w.B));
      const size_t per = n / notes.size();
      double phase = 0;
      for (size_t i = 0; i < n; ++i) {
        const size_t k = std::min(i / per, notes.size() - 1);
        const double f = 440.0 * std::pow(2.0, (w.A + notes[k]) / 12.0);
        phase += f / rate;
        const double within = static_cast<double>(i - k * per) / static_cast<double>(per);
        const double env = std::exp(-2.5 * within) * (k + 1 == notes.size() ? 1.0 - within : 1.0);
        s[i] = env * (0.7 * std::sin(2 * kPi * phase) + 0.3 * std::sin(4 * kPi * phase));
      }
      break;
    }
    case wsBeeps: {
      const int count = static_cast<int>(w.B);
      const size_t per = n / static_cast<size_t>(count);
      for (size_t i = 0; i < n; ++i) {
        const double within = static_cast<double>(i % per) / static_cast<double>(per);
        s[i] = within < 0.6 ? std::sin(2 * kPi * w.A * static_cast<double>(i) / rate) : 0.0;
      }
      break;
    }
    case wsVoice:
      break;
  }
  Fade(s, kEffectRate, 3);
  Normalize(s, 0.9);
  return s;
}

// A radio phrase: voiced syllables through vowel formants, some with a
// hissed consonant in front, band-limited and a little overdriven, between
// two squelch clicks.
std::vector<double> Voice(const TWaveRecipe& w) {
  const double rate = kVoiceRate;
  const size_t n = static_cast<size_t>(rate * w.Ms / 1000);
  std::vector<double> s(n, 0.0);
  TNoise noise(w.Name);
  static const double kVowels[][2] = {{730, 1090}, {530, 1840}, {270, 2290},
                                      {570, 840},  {300, 870},  {660, 1720}};
  const size_t squelch = static_cast<size_t>(rate * 0.06);
  size_t pos = squelch + static_cast<size_t>(rate * 0.04);
  const size_t end = n > 2 * squelch ? n - 2 * squelch : n;
  double phase = 0;
  const double base = 105 + 4 * w.A;  // one pilot, a slightly different mood per category
  while (pos + static_cast<size_t>(rate * 0.1) < end) {
    const size_t syl =
        std::min(static_cast<size_t>(rate * (0.11 + 0.1 * (noise.Next() + 1) / 2)), end - pos);
    const double* v = kVowels[noise.Pick(6)];
    TResonator f1, f2;
    f1.Tune(v[0], 90, rate);
    f2.Tune(std::min(v[1], rate * 0.45), 130, rate);
    const bool consonant = noise.Next() > 0;
    const size_t hiss = consonant ? static_cast<size_t>(rate * 0.03) : 0;
    THighPass hp(2000, rate);
    const double rise = 0.1 * noise.Next();
    for (size_t i = 0; i < syl && pos + i < end; ++i) {
      const double t = static_cast<double>(i) / static_cast<double>(syl);
      const double phrase = static_cast<double>(pos + i) / static_cast<double>(end);
      double x;
      if (i < hiss) {
        x = 0.5 * hp(noise.Next());
      } else {
        const double pitch = base * (1.0 + rise * t) * (1.1 - 0.2 * phrase);
        phase += pitch / rate;
        const double saw = 2.0 * std::fmod(phase, 1.0) - 1.0;
        const double src = saw + 0.05 * noise.Next();
        const double env = std::sin(
            kPi * std::min(1.0, (static_cast<double>(i - hiss)) / static_cast<double>(syl - hiss)));
        x = env * (6.0 * f1(src) + 4.0 * f2(src));
      }
      s[pos + i] += x;
    }
    pos += syl + static_cast<size_t>(rate * (0.03 + 0.04 * (noise.Next() + 1) / 2));
  }
  // The radio: a narrow band, driven a little into saturation.
  THighPass hp(300, rate);
  TLowPass lp(2800, rate);
  Normalize(s, 1.0);
  for (double& x : s) x = std::tanh(2.0 * lp(hp(x)));
  // Squelch: a click and a breath of static at both ends.
  for (size_t i = 0; i < squelch && i < n; ++i) {
    const double g = 0.25 * (1.0 - static_cast<double>(i) / static_cast<double>(squelch));
    s[i] += g * noise.Next();
    s[n - 1 - i] += g * noise.Next();
  }
  if (n > 4) s[1] = s[n - 2] = 0.8;
  Fade(s, kVoiceRate, 2);
  Normalize(s, 0.85);
  return s;
}

void Store(const std::vector<double>& s, uint32_t rate, int bits, TWave& wave) {
  WAVEFORMATEX f;
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = 1;
  f.nSamplesPerSec = rate;
  f.wBitsPerSample = static_cast<uint16_t>(bits);
  f.nBlockAlign = static_cast<uint16_t>(bits / 8);
  f.nAvgBytesPerSec = rate * f.nBlockAlign;
  wave.Clear();
  wave.SetFormatSize(16);
  std::memcpy(wave.Format(), &f, 16);
  wave.SetSize(static_cast<int32_t>(s.size()) * f.nBlockAlign);
  uint8_t* d = wave.Data();
  for (size_t i = 0; i < s.size(); ++i) {
    const double v = std::clamp(s[i], -1.0, 1.0);
    if (bits == 16) {
      const auto x = static_cast<int16_t>(std::lround(v * 32767.0));
      d[2 * i] = static_cast<uint8_t>(x & 0xFF);
      d[2 * i + 1] = static_cast<uint8_t>((x >> 8) & 0xFF);
    } else {
      d[i] = static_cast<uint8_t>(std::lround(128.0 + v * 127.0));
    }
  }
}

}  // namespace

const std::vector<TWaveRecipe>& WaveTable() {
  // Voice lengths follow how long the pilot's face speaks: its hold time in
  // ticks of 200 ms, less one tick.
  static const std::vector<TWaveRecipe> table = {
      // Shots of the primary weapon by level, the extra weapon and rockets.
      {"snd", "weapon1", wsZap, 160, 1800, 300},
      {"snd", "weapon2", wsZap, 120, 2600, 700},
      {"snd", "weapon3", wsZap, 260, 900, 120},
      {"snd", "b_weapon1", wsBuzz, 220, 520, 40},
      {"snd", "rockets", wsWhoosh, 650},
      // Explosions: enemies, the ship hit, big ones and the boss's end.
      {"snd", "explosion1", wsBoom, 800, 2500, 70},
      {"snd", "explosion2", wsBoom, 1100, 1400, 55},
      {"snd", "explosion3", wsBoom, 1600, 800, 40},
      // Menus and the score counter.
      {"snd", "menu1", wsBlip, 45, 1320},
      {"snd", "menu2", wsTwoTone, 110, 700, 1400},
      {"snd", "score", wsBlip, 25, 2100},
      // Bonuses by kind, the incoming message, the level's end.
      {"snd", "bonus1", wsNotes, 320, 3, 0},
      {"snd", "bonus2", wsNotes, 360, 5, 1},
      {"snd", "bonus3", wsNotes, 320, 0, 3},
      {"snd", "bonus4", wsNotes, 300, -2, 4},
      {"snd", "bonus5", wsNotes, 380, 7, 5},
      {"snd", "bonus6", wsNotes, 420, 10, 1},
      {"snd", "bonus7", wsNotes, 300, -5, 2},
      {"snd", "bonus8", wsNotes, 380, 2, 5},
      {"snd", "message", wsBeeps, 420, 1050, 3},
      {"snd", "finish", wsNotes, 1300, 3, 7},
      {"snd", "defeat", wsNotes, 1600, -3, 6},
      // The pilot on the radio: category, "b", variant.
      {"vc", "1b1", wsVoice, 2400, 1},
      {"vc", "1b2", wsVoice, 1600, 1},
      {"vc", "1b3", wsVoice, 1400, 1},
      {"vc", "1b4", wsVoice, 800, 1},
      {"vc", "2b1", wsVoice, 1000, 2},
      {"vc", "2b2", wsVoice, 2000, 2},
      {"vc", "2b3", wsVoice, 2400, 2},
      {"vc", "3b1", wsVoice, 2000, 3},
      {"vc", "3b2", wsVoice, 2200, 3},
      {"vc", "4b1", wsVoice, 2200, 4},
      {"vc", "5b1", wsVoice, 1400, 5},
      {"vc", "6b1", wsVoice, 1200, 6},
      {"vc", "6b2", wsVoice, 1400, 6},
      {"vc", "7b1", wsVoice, 1200, 7},
      {"vc", "7b2", wsVoice, 1000, 7},
      {"vc", "7b3", wsVoice, 2000, 7},
      {"vc", "8b1", wsVoice, 1200, 8},
      {"vc", "8b2", wsVoice, 1200, 8},
      {"vc", "8b3", wsVoice, 1400, 8},
  };
  return table;
}

void SynthesizeWave(const TWaveRecipe& Recipe, TWave& Wave) {
  if (Recipe.Synth == wsVoice) {
    Store(Voice(Recipe), kVoiceRate, 8, Wave);
  } else {
    Store(Effect(Recipe), kEffectRate, 16, Wave);
  }
}

void BuildWaveCollection(const std::string& Archive, TWaveCollection& Collection) {
  Collection.Clear();
  for (const TWaveRecipe& recipe : WaveTable()) {
    if (Archive != recipe.Archive) continue;
    auto* item = static_cast<TWaveCollectionItem*>(Collection.Add());
    item->SetName(recipe.Name);
    SynthesizeWave(recipe, item->Wave());
  }
}

void WriteWaveArchives(const std::string& dataDir) {
  const std::filesystem::path dir = std::filesystem::path(dataDir) / "sound";
  std::filesystem::create_directories(dir);
  for (const char* archive : {"snd", "vc"}) {
    TWaveCollection c(nullptr);
    BuildWaveCollection(archive, c);
    c.SaveToFile((dir / (std::string(archive) + ".tor")).string());
  }
}
