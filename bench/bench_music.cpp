// A 60-second MP3 decoded through the audio library and mixed on a clock
// output, against a plain libmpg123 read loop over the same file. The library
// adds the walk of the frame headers, its queue and the mixer; it should stay
// within 1.2 times the plain loop. Also the player's flanger, which runs on
// the audio path for every frame.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <mpg123.h>

#include <cstdio>
#include <filesystem>
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

void ThroughTheLibrary(benchmark::State& state) {
  const std::string& path = SixtySeconds();
  TVirtualClock clock;
  SetClockSource(&clock);
  int64_t sum = 0;
  TSoundMixer::Instance().SetOutput(std::make_unique<TClockAudioOutput>(
      [] { return timeGetTime(); },
      [&sum](const int16_t* f, uint32_t n) { sum += f[0] + f[2 * n - 1]; }));
  void* dl = dlopen(TAL_BIN_DIR "/libbass.so", RTLD_NOW | RTLD_LOCAL);
  if (!dl) {
    state.SkipWithError("libbass.so not found");
    return;
  }
  auto get = [&](const char* n) { return dlsym(dl, n); };
  auto init = reinterpret_cast<RT_bass::BASS_Init_t*>(get("BASS_Init"));
  auto start = reinterpret_cast<RT_bass::BASS_Start_t*>(get("BASS_Start"));
  auto freeLib = reinterpret_cast<RT_bass::BASS_Free_t*>(get("BASS_Free"));
  auto create = reinterpret_cast<RT_bass::BASS_StreamCreateFile_t*>(get("BASS_StreamCreateFile"));
  auto play = reinterpret_cast<RT_bass::BASS_StreamPlay_t*>(get("BASS_StreamPlay"));
  auto active = reinterpret_cast<RT_bass::BASS_ChannelIsActive_t*>(get("BASS_ChannelIsActive"));
  auto freeStream = reinterpret_cast<RT_bass::BASS_StreamFree_t*>(get("BASS_StreamFree"));
  init(-1, 44100, 0, nullptr);
  start();
  for (auto _ : state) {
    const HSTREAM h = create(FALSE, path.c_str(), 0, 0, 0);
    play(h, FALSE, 0);
    // The game's clock in 50 ms steps, the library asked at each.
    while (active(h) == BASS_ACTIVE_PLAYING) clock.Advance(50);
    freeStream(h);
  }
  benchmark::DoNotOptimize(sum);
  freeLib();
  dlclose(dl);
  TSoundMixer::Instance().SetOutput(nullptr);
  SetClockSource(nullptr);
}
BENCHMARK(ThroughTheLibrary)->Unit(benchmark::kMillisecond);

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
