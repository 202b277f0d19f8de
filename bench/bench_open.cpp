// Opening (and freeing) a 60-minute MP3, a 60-minute WMA stream, a 60-minute
// module and a 10-second MP3 followed by 4 GB of zeros (a sparse tail, as a
// download written in place leaves) through the audio library's exported
// calls, as the music player does. An open should take less than 50 ms
// whatever the file's length and whatever follows the audio. The files are made once and kept in
// the build tree for the next run. A module's exact length is counted while it plays, so asking for
// it at once waits for the count: that figure is printed beside the load.
#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "audiolib/wma_fixture.h"
#include "bench/bench_ratios.h"
#include "music/rt_bass.h"
#include "platform/dsound/mixer.h"
#include "platform/win/clock.h"
#include "tools/mkdata/music.h"

namespace {

constexpr int kMinutes = 60;

std::string CachePath(const char* name) {
  std::filesystem::create_directories(TAL_BENCH_CACHE_DIR);
  return std::string(TAL_BENCH_CACHE_DIR) + "/" + name;
}

// Writes the file through Make into a scratch name and moves it into place,
// so that a run stopped halfway leaves no half file for the next.
template <typename F>
std::string Cached(const char* name, F make) {
  const std::string path = CachePath(name);
  if (std::filesystem::exists(path)) return path;
  const std::string part = path + ".part";
  if (!make(part)) return "";
  std::filesystem::rename(part, path);
  return path;
}

// A constant bit rate MP3 without a Xing frame, so that its length can only
// be had from the frames themselves: the ID3v2 tag, a minute's frames
// sixty times, the ID3v1 tag.
const std::string& LongMp3() {
  static const std::string path = Cached("sixty-minutes.mp3", [](const std::string& to) {
    const TMusicTheme theme{"bench.mp3", "Bench", 120.0, 30, 0, true, 2};  // 30 bars of 2 s
    const std::vector<uint8_t> mp3 = EncodeMp3(SynthesizeTheme(theme), theme, 128);
    if (mp3.size() < 10 + 128 || mp3[0] != 'I' || mp3[1] != 'D' || mp3[2] != '3') return false;
    const size_t id3v2 = 10 + ((mp3[6] & 0x7F) << 21 | (mp3[7] & 0x7F) << 14 |
                               (mp3[8] & 0x7F) << 7 | (mp3[9] & 0x7F));
    const size_t end = mp3.size() - 128;  // the ID3v1 tag
    if (id3v2 >= end) return false;
    std::FILE* f = std::fopen(to.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(mp3.data(), 1, id3v2, f) == id3v2;
    for (int m = 0; m < kMinutes; ++m)
      ok = ok && std::fwrite(mp3.data() + id3v2, 1, end - id3v2, f) == end - id3v2;
    ok = ok && std::fwrite(mp3.data() + end, 1, 128, f) == 128;
    return std::fclose(f) == 0 && ok;
  });
  return path;
}

// Ten seconds of constant bit rate MP3 and then a hole of 4 GB: the file
// takes no room on a disc that keeps holes.
const std::string& Mp3WithSparseTail() {
  static const std::string path = Cached("ten-seconds-and-4gb.mp3", [](const std::string& to) {
    const TMusicTheme theme{"bench.mp3", "Bench", 120.0, 5, 0, true, 2};  // 5 bars of 2 s
    const std::vector<uint8_t> mp3 = EncodeMp3(SynthesizeTheme(theme), theme, 128);
    std::FILE* f = std::fopen(to.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(mp3.data(), 1, mp3.size(), f) == mp3.size();
    if (std::fclose(f) != 0 || !ok) return false;
    std::error_code ec;
    std::filesystem::resize_file(to, mp3.size() + (uint64_t{4} << 30), ec);
    return !ec;
  });
  return path;
}

const std::string& LongWma() {
  static const std::string path = Cached("sixty-minutes.wma", [](const std::string& to) {
    TWmaSpec spec;
    spec.Seconds = 60;
    return WriteWmaFile(to, spec, kMinutes);
  });
  return path;
}

// A module of about Minutes minutes as long songs are made: eight patterns,
// four channels struck on every row, played in order as many times as it
// takes (at most 128 orders, slowed by the speed on the first row).
bool WriteLongModule(const std::string& to, int minutes) {
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
  std::FILE* f = std::fopen(to.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(v.data(), 1, v.size(), f) == v.size();
  return std::fclose(f) == 0 && ok;
}

const std::string& LongModule() {
  static const std::string path = Cached(
      "sixty-minutes.mod", [](const std::string& to) { return WriteLongModule(to, kMinutes); });
  return path;
}

// The library on a clock output, loaded once for every benchmark.
struct TLibrary {
  TVirtualClock Clock;
  void* Bass = nullptr;
  void* Wma = nullptr;
  RT_bass::BASS_StreamCreateFile_t* CreateFile = nullptr;
  RT_bass::BASS_StreamFree_t* Free = nullptr;
  RT_bass::BASS_StreamGetLength_t* GetLength = nullptr;
  RT_BASSWMA::BASS_WMA_StreamCreateFile_t* CreateWma = nullptr;
  RT_bass::BASS_MusicLoad_t* LoadMusic = nullptr;
  RT_bass::BASS_MusicGetLength_t* MusicLength = nullptr;
  RT_bass::BASS_MusicFree_t* FreeMusic = nullptr;

  TLibrary() {
    SetClockSource(&Clock);
    TSoundMixer::Instance().SetOutput(std::make_unique<TClockAudioOutput>(
        [] { return timeGetTime(); }, [](const int16_t*, uint32_t) {}));
    Bass = dlopen(TAL_BIN_DIR "/libbass.so", RTLD_NOW | RTLD_LOCAL);
    Wma = dlopen(TAL_BIN_DIR "/libbasswma.so", RTLD_NOW | RTLD_LOCAL);
    if (!Bass || !Wma) return;
    CreateFile =
        reinterpret_cast<RT_bass::BASS_StreamCreateFile_t*>(dlsym(Bass, "BASS_StreamCreateFile"));
    Free = reinterpret_cast<RT_bass::BASS_StreamFree_t*>(dlsym(Bass, "BASS_StreamFree"));
    GetLength =
        reinterpret_cast<RT_bass::BASS_StreamGetLength_t*>(dlsym(Bass, "BASS_StreamGetLength"));
    CreateWma = reinterpret_cast<RT_BASSWMA::BASS_WMA_StreamCreateFile_t*>(
        dlsym(Wma, "BASS_WMA_StreamCreateFile"));
    LoadMusic = reinterpret_cast<RT_bass::BASS_MusicLoad_t*>(dlsym(Bass, "BASS_MusicLoad"));
    MusicLength =
        reinterpret_cast<RT_bass::BASS_MusicGetLength_t*>(dlsym(Bass, "BASS_MusicGetLength"));
    FreeMusic = reinterpret_cast<RT_bass::BASS_MusicFree_t*>(dlsym(Bass, "BASS_MusicFree"));
    reinterpret_cast<RT_bass::BASS_Init_t*>(dlsym(Bass, "BASS_Init"))(-1, 44100, 0, nullptr);
  }
  bool Ready() const {
    return CreateFile && Free && GetLength && CreateWma && LoadMusic && MusicLength && FreeMusic;
  }
};

TLibrary& Library() {
  static TLibrary lib;
  return lib;
}

template <typename Open>
void OpenAndFree(benchmark::State& state, const std::string& path, Open open) {
  TLibrary& lib = Library();
  if (!lib.Ready() || path.empty()) {
    state.SkipWithError(path.empty() ? "the file could not be made" : "the library did not load");
    return;
  }
  BASS_QWORD bytes = 0;
  for (auto _ : state) {
    const HSTREAM h = open(path);
    if (!h) {
      state.SkipWithError("the stream did not open");
      return;
    }
    bytes = lib.GetLength(h);
    lib.Free(h);
  }
  // The length found, as a check that the whole file was taken in.
  state.counters["seconds"] = static_cast<double>(bytes) / (44100 * 4);
}

void OpenMp3SixtyMinutes(benchmark::State& state) {
  OpenAndFree(state, LongMp3(),
              [](const std::string& p) { return Library().CreateFile(FALSE, p.c_str(), 0, 0, 0); });
}
BENCHMARK(OpenMp3SixtyMinutes)->Unit(benchmark::kMillisecond);

// The open walks the frames and stops a bounded stretch past the last: the
// hole after them is not read. (Reading it would be time of the system's
// copying zeros, which the processor time counts too.)
void OpenMp3BeforeFourGigabytesOfZeros(benchmark::State& state) {
  OpenAndFree(state, Mp3WithSparseTail(),
              [](const std::string& p) { return Library().CreateFile(FALSE, p.c_str(), 0, 0, 0); });
}
BENCHMARK(OpenMp3BeforeFourGigabytesOfZeros)->Unit(benchmark::kMillisecond);

void OpenWmaSixtyMinutes(benchmark::State& state) {
  OpenAndFree(state, LongWma(),
              [](const std::string& p) { return Library().CreateWma(FALSE, p.c_str(), 0, 0, 0); });
}
BENCHMARK(OpenWmaSixtyMinutes)->Unit(benchmark::kMillisecond);

// The module's load alone, then the load with its length asked at once: the
// second waits on the count's thread, so only its real time tells.
void LoadModule(benchmark::State& state, bool length) {
  TLibrary& lib = Library();
  const std::string& path = LongModule();
  if (!lib.Ready() || path.empty()) {
    state.SkipWithError(path.empty() ? "the file could not be made" : "the library did not load");
    return;
  }
  for (auto _ : state) {
    const HMUSIC m = lib.LoadMusic(FALSE, path.c_str(), 0, 0, BASS_MUSIC_CALCLEN);
    if (!m) {
      state.SkipWithError("the module did not load");
      return;
    }
    if (length) benchmark::DoNotOptimize(lib.MusicLength(m, TRUE));
    lib.FreeMusic(m);
  }
}
void LoadModuleSixtyMinutes(benchmark::State& state) {
  LoadModule(state, false);
}
BENCHMARK(LoadModuleSixtyMinutes)->Unit(benchmark::kMillisecond);
void LoadModuleSixtyMinutesAndAskItsLength(benchmark::State& state) {
  LoadModule(state, true);
}
BENCHMARK(LoadModuleSixtyMinutesAndAskItsLength)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- MPEG audio in an ASF file ----------------------------------------------
// A .wma file that holds an MP3 stream opens through the WMA add-on, which
// counts its length from the frames' headers as the file's data packets hold
// them, as it counts a WMA stream's from its superframes; the whole file was
// once decoded to count it (0.41-0.45 s for ten minutes).

const std::string& LongMp3InAsf() {
  static const std::string path = Cached("sixty-minutes-mp3.wma", [](const std::string& to) {
    TWmaSpec spec;
    spec.Codec = AV_CODEC_ID_MP3;
    spec.Seconds = 60;
    spec.Music = true;
    return WriteWmaFile(to, spec, kMinutes);
  });
  return path;
}

void OpenMp3InAsfSixtyMinutes(benchmark::State& state) {
  OpenAndFree(state, LongMp3InAsf(),
              [](const std::string& p) { return Library().CreateWma(FALSE, p.c_str(), 0, 0, 0); });
}
BENCHMARK(OpenMp3InAsfSixtyMinutes)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return RunWithRatios(argc, argv, {},
                       {{"OpenMp3SixtyMinutes", 50},
                        {"OpenMp3BeforeFourGigabytesOfZeros", 50},
                        {"OpenWmaSixtyMinutes", 50},
                        {"LoadModuleSixtyMinutes", 50},
                        {"OpenMp3InAsfSixtyMinutes", 50}});
}
