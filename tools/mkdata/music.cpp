#include "tools/mkdata/music.h"

#include <lame/lame.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace {

constexpr int kRate = 44100;
constexpr double kPi = 3.14159265358979323846;

double NoteHz(int semitonesAboveA2) {
  return 110.0 * std::pow(2.0, semitonesAboveA2 / 12.0);
}

// A fixed generator, so the drums' noise is the same on every run.
struct TNoise {
  uint32_t s = 0x2545F491u;
  double Next() {
    s = s * 1664525u + 1013904223u;
    return (s >> 8) / 8388608.0 - 1.0;
  }
};

// Adds a note to the loop; whatever rings past the end comes in at the start,
// so the loop has no seam.
void AddNote(std::vector<float>& l, std::vector<float>& r, double start, double len, double hz,
             double amp, double pan, int shape) {
  const size_t n = l.size();
  const size_t s0 = static_cast<size_t>(start * kRate);
  const size_t count = static_cast<size_t>(len * kRate);
  for (size_t i = 0; i < count; ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double env = std::min(1.0, t * 200.0) * std::exp(-t * (shape == 2 ? 1.2 : 4.0 / len));
    const double ph = 2 * kPi * hz * t;
    double v;
    switch (shape) {
      case 0:
        v = std::sin(ph) + 0.3 * std::sin(2 * ph);
        break;  // bass
      case 1:
        v = std::sin(ph) + 0.5 * std::sin(3 * ph) / 3 + 0.2 * std::sin(5 * ph) / 5;
        break;  // lead
      default:
        v = std::sin(ph) * 0.6 + 0.4 * std::sin(ph * 1.005);
        break;  // pad
    }
    const size_t k = (s0 + i) % n;
    l[k] += static_cast<float>(v * env * amp * (1 - pan));
    r[k] += static_cast<float>(v * env * amp * (1 + pan));
  }
}

void AddDrum(std::vector<float>& l, std::vector<float>& r, double start, bool kick, double amp,
             TNoise& noise) {
  const size_t n = l.size();
  const size_t s0 = static_cast<size_t>(start * kRate);
  const size_t count = kRate / (kick ? 4 : 10);
  for (size_t i = 0; i < count; ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double v = kick
                         ? std::sin(2 * kPi * (60 + 80 * std::exp(-t * 30)) * t) * std::exp(-t * 12)
                         : noise.Next() * std::exp(-t * 40);
    const size_t k = (s0 + i) % n;
    l[k] += static_cast<float>(v * amp);
    r[k] += static_cast<float>(v * amp);
  }
}

}  // namespace

const std::vector<TMusicTheme>& MusicThemes() {
  static const std::vector<TMusicTheme> themes = {
      {"music/menu.mp3", "Menu", 80.0, 8, 3, false, 0},   // 24 s
      {"music/main.mp3", "Main", 128.0, 16, 0, true, 2},  // 30 s
      {"music/boss.mp3", "Boss", 100.0, 12, 1, true, 1},  // 28.8 s
  };
  return themes;
}

std::vector<int16_t> SynthesizeTheme(const TMusicTheme& th) {
  const double beat = 60.0 / th.Bpm;
  const double bar = beat * 4;
  const size_t frames = static_cast<size_t>(std::llround(bar * th.Bars * kRate));
  std::vector<float> l(frames, 0.0f), r(frames, 0.0f);
  TNoise noise;
  // A four-bar progression of chord roots, and the scale the lead walks.
  static const int kMajor[4] = {0, 5, 7, 5}, kMinor[4] = {0, 8, 3, 10};
  static const int kScaleMajor[7] = {0, 2, 4, 5, 7, 9, 11}, kScaleMinor[7] = {0, 2, 3, 5, 7, 8, 10};
  const int* prog = th.Minor ? kMinor : kMajor;
  const int* scale = th.Minor ? kScaleMinor : kScaleMajor;
  for (int b = 0; b < th.Bars; ++b) {
    const double t0 = b * bar;
    const int chord = th.Root + prog[b % 4];
    const int third = th.Minor ? 3 : 4;
    // Pad chord over the whole bar.
    for (int k : {0, third, 7})
      AddNote(l, r, t0, bar, NoteHz(chord + 12 + k), 0.06, (k - 3) * 0.1, 2);
    // Bass: whole notes when calm, eighths when driving.
    const int steps = th.Drive == 0 ? 2 : (th.Drive == 1 ? 4 : 8);
    for (int s = 0; s < steps; ++s)
      AddNote(l, r, t0 + s * bar / steps, bar / steps,
              NoteHz(chord - 12 + ((s % 2 && th.Drive == 2) ? 12 : 0)), 0.18, 0.0, 0);
    // Lead: a walk on the scale that repeats every two bars.
    for (int s = 0; s < 8; ++s) {
      if (th.Drive == 0 && s % 2) continue;
      const int deg = ((b % 2) * 3 + s * (th.Drive == 1 ? 2 : 3)) % 7;
      AddNote(l, r, t0 + s * beat / 2, beat / 2 * (th.Drive == 0 ? 2 : 1),
              NoteHz(th.Root + 24 + scale[deg]), 0.07, s % 2 ? 0.3 : -0.3, 1);
    }
    // Drums for the livelier themes.
    if (th.Drive > 0) {
      for (int s = 0; s < 4; ++s) {
        AddDrum(l, r, t0 + s * beat, true, 0.35, noise);
        if (th.Drive == 2 || s % 2) AddDrum(l, r, t0 + s * beat + beat / 2, false, 0.12, noise);
      }
    }
  }
  std::vector<int16_t> out(frames * 2);
  for (size_t i = 0; i < frames; ++i) {
    out[2 * i] = static_cast<int16_t>(std::lrint(std::clamp(l[i], -1.0f, 1.0f) * 32000.0f));
    out[2 * i + 1] = static_cast<int16_t>(std::lrint(std::clamp(r[i], -1.0f, 1.0f) * 32000.0f));
  }
  return out;
}

std::vector<uint8_t> EncodeMp3(const std::vector<int16_t>& stereo, const TMusicTheme& th,
                               int cbrKbps) {
  return EncodeMp3(stereo, th, TMp3Form{cbrKbps});
}

std::vector<uint8_t> EncodeMp3(const std::vector<int16_t>& stereo, const TMusicTheme& th,
                               const TMp3Form& form) {
  const int cbrKbps = form.CbrKbps;
  const bool infoFrame = cbrKbps == 0 || form.CbrInfoFrame;
  lame_t gf = lame_init();
  if (!gf) throw std::runtime_error("cannot start the MP3 encoder");
  // The plain C paths only: the same bytes on every processor.
  lame_set_asm_optimizations(gf, MMX, 0);
  lame_set_asm_optimizations(gf, AMD_3DNOW, 0);
  lame_set_asm_optimizations(gf, SSE, 0);
  lame_set_in_samplerate(gf, kRate);
  lame_set_out_samplerate(gf, kRate);
  lame_set_num_channels(gf, 2);
  if (cbrKbps > 0) {
    lame_set_VBR(gf, vbr_off);
    lame_set_brate(gf, cbrKbps);
  } else {
    lame_set_VBR(gf, vbr_default);
    lame_set_VBR_quality(gf, 4.0f);
  }
  lame_set_bWriteVbrTag(gf, infoFrame ? 1 : 0);
  lame_set_error_protection(gf, form.Crc ? 1 : 0);
  lame_set_write_id3tag_automatic(gf, 0);
  id3tag_init(gf);
  id3tag_add_v2(gf);
  id3tag_set_title(gf, th.Title);
  id3tag_set_artist(gf, "Taloren");
  id3tag_set_album(gf, "Taloren");
  id3tag_set_year(gf, "2026");
  id3tag_set_comment(gf, "Generated");
  id3tag_set_track(gf, "1");
  id3tag_set_genre(gf, "Game");
  if (lame_init_params(gf) < 0) {
    lame_close(gf);
    throw std::runtime_error("cannot set up the MP3 encoder");
  }
  std::vector<uint8_t> out;
  std::vector<uint8_t> v2(lame_get_id3v2_tag(gf, nullptr, 0));
  lame_get_id3v2_tag(gf, v2.data(), v2.size());
  out.insert(out.end(), v2.begin(), v2.end());
  const size_t audioAt = out.size();
  const int frames = static_cast<int>(stereo.size() / 2);
  std::vector<uint8_t> buf(static_cast<size_t>(frames) * 5 / 4 + 7200);
  std::vector<short> pcm(stereo.begin(), stereo.end());
  int n = lame_encode_buffer_interleaved(gf, pcm.data(), frames, buf.data(),
                                         static_cast<int>(buf.size()));
  if (n < 0) throw std::runtime_error("MP3 encoding failed");
  out.insert(out.end(), buf.begin(), buf.begin() + n);
  n = lame_encode_flush(gf, buf.data(), static_cast<int>(buf.size()));
  if (n < 0) throw std::runtime_error("MP3 encoding failed");
  out.insert(out.end(), buf.begin(), buf.begin() + n);
  // The Xing or Info frame takes the place LAME left empty for it.
  std::vector<uint8_t> tag(infoFrame ? lame_get_lametag_frame(gf, nullptr, 0) : 0);
  if (!tag.empty() && lame_get_lametag_frame(gf, tag.data(), tag.size()) == tag.size() &&
      audioAt + tag.size() <= out.size())
    std::copy(tag.begin(), tag.end(), out.begin() + static_cast<ptrdiff_t>(audioAt));
  uint8_t v1[128];
  const size_t v1n = lame_get_id3v1_tag(gf, v1, sizeof v1);
  out.insert(out.end(), v1, v1 + v1n);
  lame_close(gf);
  return out;
}

void WriteMusicFiles(const std::string& DataDir) {
  for (const TMusicTheme& th : MusicThemes()) {
    const std::filesystem::path path = std::filesystem::path(DataDir) / th.File;
    std::filesystem::create_directories(path.parent_path());
    const std::vector<uint8_t> mp3 = EncodeMp3(SynthesizeTheme(th), th);
    std::FILE* f = std::fopen(path.string().c_str(), "wb");
    if (!f) throw std::runtime_error("cannot write " + path.string());
    const bool ok = std::fwrite(mp3.data(), 1, mp3.size(), f) == mp3.size();
    if (std::fclose(f) != 0 || !ok) throw std::runtime_error("cannot write " + path.string());
  }
}
