// A 60-second MP3 decoded through the audio library and mixed on a clock
// output, against a plain libmpg123 read loop over the same file. The library
// adds the walk of the frame headers, its queue and the mixer; it should stay
// within 1.2 times the plain loop. Also the load of long modules, and the
// player's flanger, which runs on the audio path for every frame.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <mpg123.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "music/player_effects.h"
#include "music/rt_bass.h"
#include "platform/dsound/mixer.h"
#include "platform/win/clock.h"
#include "tools/mkdata/music.h"

namespace {

// The file, written once.
const std::string& SixtySeconds() {
  static const std::string path = [] {
    const TMusicTheme theme{"bench.mp3", "Bench", 120.0, 30, 0, true, 2};  // 30 bars of 2 s
    const std::vector<uint8_t> mp3 = EncodeMp3(SynthesizeTheme(theme), theme);
    const std::string p = (std::filesystem::temp_directory_path() / "tal_bench_music.mp3").string();
    std::FILE* f = std::fopen(p.c_str(), "wb");
    std::fwrite(mp3.data(), 1, mp3.size(), f);
    std::fclose(f);
    return p;
  }();
  return path;
}

void PlainMpg123(benchmark::State& state) {
  const std::string& path = SixtySeconds();
  std::vector<unsigned char> buf(1 << 16);
  for (auto _ : state) {
    mpg123_handle* mh = mpg123_new(nullptr, nullptr);
    mpg123_open(mh, path.c_str());
    size_t got = 0, total = 0;
    int r;
    do {
      r = mpg123_read(mh, buf.data(), buf.size(), &got);
      total += got;
    } while (r == MPG123_OK || r == MPG123_NEW_FORMAT);
    benchmark::DoNotOptimize(total);
    mpg123_close(mh);
    mpg123_delete(mh);
  }
}
BENCHMARK(PlainMpg123)->Unit(benchmark::kMillisecond);

// The library on a clock output, as the tests and the game's headless runs
// have it, with what it mixes handed to Heard; its functions by name.
struct TBenchLibrary {
  TVirtualClock Clock;
  void* Dl = nullptr;
  explicit TBenchLibrary(TClockAudioOutput::TSink Heard) {
    SetClockSource(&Clock);
    TSoundMixer::Instance().SetOutput(
        std::make_unique<TClockAudioOutput>([] { return timeGetTime(); }, std::move(Heard)));
    Dl = dlopen(TAL_BIN_DIR "/libbass.so", RTLD_NOW | RTLD_LOCAL);
    if (Dl) {
      Get<RT_bass::BASS_Init_t>("BASS_Init")(-1, 44100, 0, nullptr);
      Get<RT_bass::BASS_Start_t>("BASS_Start")();
    }
  }
  ~TBenchLibrary() {
    if (Dl) {
      Get<RT_bass::BASS_Free_t>("BASS_Free")();
      dlclose(Dl);
    }
    TSoundMixer::Instance().SetOutput(nullptr);
    SetClockSource(nullptr);
  }
  template <class F>
  F* Get(const char* name) {
    return reinterpret_cast<F*>(dlsym(Dl, name));
  }
};

void ThroughTheLibrary(benchmark::State& state) {
  const std::string& path = SixtySeconds();
  int64_t sum = 0;
  TBenchLibrary lib([&sum](const int16_t* f, uint32_t n) { sum += f[0] + f[2 * n - 1]; });
  if (!lib.Dl) {
    state.SkipWithError("libbass.so not found");
    return;
  }
  auto create = lib.Get<RT_bass::BASS_StreamCreateFile_t>("BASS_StreamCreateFile");
  auto play = lib.Get<RT_bass::BASS_StreamPlay_t>("BASS_StreamPlay");
  auto active = lib.Get<RT_bass::BASS_ChannelIsActive_t>("BASS_ChannelIsActive");
  auto freeStream = lib.Get<RT_bass::BASS_StreamFree_t>("BASS_StreamFree");
  for (auto _ : state) {
    const HSTREAM h = create(FALSE, path.c_str(), 0, 0, 0);
    play(h, FALSE, 0);
    // The game's clock in 50 ms steps, the library asked at each.
    while (active(h) == BASS_ACTIVE_PLAYING) lib.Clock.Advance(50);
    freeStream(h);
  }
  benchmark::DoNotOptimize(sum);
}
BENCHMARK(ThroughTheLibrary)->Unit(benchmark::kMillisecond);

// A module of about Minutes minutes as long songs are made: eight patterns,
// four channels struck on every row, played in order as many times as it
// takes (at most 128 orders, slowed by the speed on the first row).
const std::string& LongModule(int minutes) {
  static std::map<int, std::string> paths;
  std::string& path = paths[minutes];
  if (!path.empty()) return path;
  constexpr double kTickSeconds = 0.02;  // 125 BPM
  const double seconds = minutes * 60.0;
  const int speed =
      std::clamp(static_cast<int>(std::ceil(seconds / (128 * 64 * kTickSeconds))), 1, 31);
  const int orders =
      std::clamp(static_cast<int>(std::lround(seconds / (64 * speed * kTickSeconds))), 1, 128);
  std::vector<uint8_t> v(20, 0);
  std::memcpy(v.data(), "bench", 5);
  for (int s = 0; s < 31; ++s) {
    std::vector<uint8_t> h(30, 0);
    if (s < 4) {
      h[23] = 128;  // 256 bytes, as words, big-endian
      h[25] = 64;   // volume
      h[29] = 128;  // looped whole
    }
    v.insert(v.end(), h.begin(), h.end());
  }
  v.push_back(static_cast<uint8_t>(orders));
  v.push_back(127);
  for (int i = 0; i < 128; ++i) v.push_back(static_cast<uint8_t>(i < orders ? i % 8 : 0));
  v.insert(v.end(), {'M', '.', 'K', '.'});
  const int periods[] = {428, 381, 339, 320, 285, 254, 226, 214};
  for (int p = 0; p < 8; ++p) {
    for (int row = 0; row < 64; ++row) {
      for (int ch = 0; ch < 4; ++ch) {
        const int period = periods[(row + ch + p) % 8], sample = ch + 1;
        const bool speedHere = row == 0 && ch == 0;
        v.insert(v.end(), {static_cast<uint8_t>(period >> 8), static_cast<uint8_t>(period),
                           static_cast<uint8_t>(sample << 4 | (speedHere ? 0xF : 0)),
                           static_cast<uint8_t>(speedHere ? speed : 0)});
      }
    }
  }
  for (int s = 0; s < 4; ++s)
    for (int i = 0; i < 256; ++i)
      v.push_back(static_cast<uint8_t>(std::lrint(100 * std::sin(2 * M_PI * i * (s + 1) / 256))));
  path = (std::filesystem::temp_directory_path() /
          ("tal_bench_" + std::to_string(minutes) + "min.mod"))
             .string();
  std::FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(v.data(), 1, v.size(), f);
  std::fclose(f);
  return path;
}

// BASS_MusicLoad of a 5- and a 60-minute module, as the player loads it, and
// the time until BASS_MusicGetLength answers: opening any file should take
// under 50 ms (of_50ms is the time over that bound).
void ModuleOpen(benchmark::State& state, bool length) {
  const std::string& path = LongModule(static_cast<int>(state.range(0)));
  TBenchLibrary lib([](const int16_t*, uint32_t) {});
  if (!lib.Dl) {
    state.SkipWithError("libbass.so not found");
    return;
  }
  auto load = lib.Get<RT_bass::BASS_MusicLoad_t>("BASS_MusicLoad");
  auto getLength = lib.Get<RT_bass::BASS_MusicGetLength_t>("BASS_MusicGetLength");
  auto freeMusic = lib.Get<RT_bass::BASS_MusicFree_t>("BASS_MusicFree");
  double total = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const HMUSIC m = load(FALSE, path.c_str(), 0, 0, BASS_MUSIC_CALCLEN);
    if (length) benchmark::DoNotOptimize(getLength(m, TRUE));
    const double spent =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(spent);
    total += spent;
    if (!m) {
      state.SkipWithError("the module did not load");
      return;
    }
    freeMusic(m);
  }
  state.counters["of_50ms"] = total / static_cast<double>(state.iterations()) / 0.050;
}
BENCHMARK_CAPTURE(ModuleOpen, load, false)
    ->Arg(5)
    ->Arg(60)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ModuleOpen, load_and_length, true)
    ->Arg(5)
    ->Arg(60)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// One second of 16-bit stereo through the flanger, in the library's blocks.
void FlangerOneSecond(benchmark::State& state) {
  RT_bass::BASS_ChannelGetFlags = [](BASS_DWORD) -> BASS_DWORD { return 0; };
  ResetFlanger();
  std::vector<int16_t> block(2048 * 2);
  for (size_t i = 0; i < block.size(); ++i)
    block[i] = static_cast<int16_t>((i * 37) % 20000 - 10000);
  for (auto _ : state) {
    for (int b = 0; b < 44100 / 2048 + 1; ++b)
      FlangerDSP(1, 1, block.data(), static_cast<BASS_DWORD>(block.size() * 2), nullptr);
    benchmark::DoNotOptimize(block.data());
  }
  RT_bass::BASS_ChannelGetFlags = nullptr;
}
BENCHMARK(FlangerOneSecond)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
