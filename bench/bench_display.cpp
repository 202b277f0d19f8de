// The display path of one game frame on the 800 x 600 5-6-5 back surface:
// the clear, 200 colour-keyed 32 x 32 draws of the game's pictures and the
// present through a gamma ramp the game sets, each beside the peer doing the
// same job at its best (SDL2's fill, SDL2's run-length keyed blit, one plain
// copy of the frame), with the ratios printed at the end. The keyed draws
// run on two sets of pictures: the bonus capsules, whose lower third and
// corners are clear (a run-length blit skips those), and the middles of the
// enemy craft, opaque but for a few holes.
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "bench/bench_pictures.h"
#include "bench/bench_ratios.h"
#include "engine/draw/dxdraws.h"
#include "platform/cpu/cpu.h"
#include "platform/ddraw/ddraw.h"
#include "platform/ddraw/ddraw_seam.h"

namespace {

constexpr int kSprites = 200;
constexpr int kPictures = 20;

// Positions shared by both sides, inside the screen.
const std::vector<TRect>& Places() {
  static const std::vector<TRect> places = [] {
    std::vector<TRect> v;
    uint32_t seed = 12345;
    for (int i = 0; i < kSprites; ++i) {
      seed = seed * 1103515245u + 12345u;
      int x = static_cast<int>((seed >> 8) % (800 - 32));
      seed = seed * 1103515245u + 12345u;
      int y = static_cast<int>((seed >> 8) % (600 - 32));
      v.push_back(TRect{x, y, x + 32, y + 32});
    }
    return v;
  }();
  return places;
}

enum EPictureSet { psSparse, psDense };

// Twenty different keyed pictures of a set, frame by frame.
const std::vector<TBenchPicture>& Pictures(EPictureSet Set = psSparse) {
  static const std::vector<TBenchPicture> sparse =
      GamePictures({"bonus1", "bonus2", "bonus3", "bonus4", "bonus6", "bonus7"}, 10, kPictures);
  static const std::vector<TBenchPicture> dense = [] {
    std::vector<TBenchPicture> v;
    for (const TBenchPicture& p :
         GamePictures({"enemy1", "enemy2", "enemy3", "enemy5", "enemy8", "enemy12"}, 10, kPictures))
      v.push_back(Middle(p, 32, 32));
    return v;
  }();
  return Set == psSparse ? sparse : dense;
}

class TDiscard : public IDDVideoOutput {
 public:
  void Present(const TDDFrame& Frame) override { benchmark::DoNotOptimize(Frame.Pixels.data()); }
  std::vector<TDDDisplayMode> DisplayModes() const override { return {{800, 600, 16}}; }
};

struct TOurs {
  TDiscard output;
  PDirectDraw dd;
  PDirectDrawSurface primary, back;
  std::vector<PDirectDrawSurface> sprites;
  explicit TOurs(EPictureSet Set = psSparse) {
    DDSetVideoOutput(&output);
    DirectDrawCreateEx(nullptr, &dd);
    DDSURFACEDESC d;
    d.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    d.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    d.dwBackBufferCount = 1;
    dd->CreateSurface(&d, &primary);
    DDSCAPS caps{DDSCAPS_BACKBUFFER};
    primary->GetAttachedSurface(&caps, &back);
    for (const TBenchPicture& p : Pictures(Set)) {
      DDSURFACEDESC s;
      s.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
      s.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
      s.dwWidth = uint32_t(p.Width);
      s.dwHeight = uint32_t(p.Height);
      PDirectDrawSurface sprite;
      dd->CreateSurface(&s, &sprite);
      DDSURFACEDESC lk;
      sprite->Lock(nullptr, &lk, DDLOCK_WAIT, nullptr);
      for (int y = 0; y < p.Height; ++y)
        std::memcpy(static_cast<uint8_t*>(lk.lpSurface) + y * lk.lPitch,
                    p.Pixels.data() + y * p.Width, size_t(p.Width) * 2);
      sprite->Unlock(nullptr);
      DDCOLORKEY key{0, 0};
      sprite->SetColorKey(DDCKEY_SRCBLT, &key);
      sprites.push_back(sprite);
    }
    // The ramp the game sets for brightness 30, and passes through as it
    // fades the screen in: every entry of the identity ramp moved down by
    // 6555, none below 0.
    DDGAMMARAMP ramp;
    for (int i = 0; i < 256; ++i)
      ramp.red[i] = ramp.green[i] = ramp.blue[i] =
          static_cast<uint16_t>(std::max(i * 257 - 6555, 0));
    PDirectDrawGammaControl gamma;
    primary->QueryGammaControl(&gamma);
    gamma->SetGammaRamp(0, &ramp);
  }
  ~TOurs() { DDSetVideoOutput(nullptr); }
  void Clear() {
    DDBLTFX fx;
    fx.dwFillColor = 0;
    back->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
  }
  void Blits() {
    DDBLTFX fx;
    int i = 0;
    for (const TRect& r : Places())
      back->Blt(&r, sprites[size_t(i++ % kPictures)].get(), nullptr, DDBLT_WAIT | DDBLT_KEYSRC,
                &fx);
  }
  void Flip() { primary->Flip(nullptr, DDFLIP_WAIT); }
};

// The same sprites drawn the way the game's pictures draw them: through the
// surface wrapper's keyed draw, which clips to the back surface on the way.
struct TGame {
  TDiscard output;
  std::unique_ptr<TDirectDraw> dd;
  std::unique_ptr<TDirectDrawSurface> back;
  std::vector<std::unique_ptr<TDirectDrawSurface>> sprites;
  explicit TGame(EPictureSet Set) {
    DDSetVideoOutput(&output);
    DDRegisterModule();
    dd = std::make_unique<TDirectDraw>(nullptr);
    back = std::make_unique<TDirectDrawSurface>(dd.get());
    back->SetSize(800, 600);
    for (const TBenchPicture& p : Pictures(Set)) {
      auto s = std::make_unique<TDirectDrawSurface>(dd.get());
      s->SetSize(p.Width, p.Height);
      for (int y = 0; y < p.Height; ++y)
        for (int x = 0; x < p.Width; ++x) s->SetPixel(x, y, p.Pixels[size_t(y * p.Width + x)]);
      s->SetTransparentColor(0);
      sprites.push_back(std::move(s));
    }
  }
  ~TGame() {
    sprites.clear();
    back.reset();
    dd.reset();
    DDSetVideoOutput(nullptr);
  }
  void Blits() {
    const TRect whole{0, 0, 32, 32};
    int i = 0;
    for (const TRect& r : Places())
      back->StretchDraw(r, whole, sprites[size_t(i++ % kPictures)].get(), true);
  }
};

// SDL2 at its best: run-length encoded keyed sprites (SDL_RLEACCEL).
struct TSdl {
  SDL_Surface* back;
  std::vector<SDL_Surface*> sprites;
  explicit TSdl(EPictureSet Set = psSparse) {
    back = SDL_CreateRGBSurfaceWithFormat(0, 800, 600, 16, SDL_PIXELFORMAT_RGB565);
    for (const TBenchPicture& p : Pictures(Set)) {
      SDL_Surface* s =
          SDL_CreateRGBSurfaceWithFormat(0, p.Width, p.Height, 16, SDL_PIXELFORMAT_RGB565);
      SDL_LockSurface(s);
      for (int y = 0; y < p.Height; ++y)
        std::memcpy(static_cast<uint8_t*>(s->pixels) + y * s->pitch, p.Pixels.data() + y * p.Width,
                    size_t(p.Width) * 2);
      SDL_UnlockSurface(s);
      SDL_SetColorKey(s, SDL_TRUE, 0);
      SDL_SetSurfaceRLE(s, 1);
      sprites.push_back(s);
    }
  }
  ~TSdl() {
    for (SDL_Surface* s : sprites) SDL_FreeSurface(s);
    SDL_FreeSurface(back);
  }
  void Clear() { SDL_FillRect(back, nullptr, 0); }
  void Blits() {
    int i = 0;
    for (const TRect& r : Places()) {
      SDL_Rect d{r.Left, r.Top, 32, 32};
      SDL_BlitSurface(sprites[size_t(i++ % kPictures)], nullptr, back, &d);
    }
  }
};

void BM_Clear_Ours(benchmark::State& state) {
  TOurs o;
  for (auto _ : state) o.Clear();
  state.SetBytesProcessed(state.iterations() * 800 * 600 * 2);
}
void BM_Clear_SDL2(benchmark::State& state) {
  TSdl s;
  for (auto _ : state) s.Clear();
  state.SetBytesProcessed(state.iterations() * 800 * 600 * 2);
}
template <EPictureSet Set>
void BM_Keyed_Ours(benchmark::State& state) {
  TOurs o(Set);
  o.Clear();
  o.Blits();
  for (auto _ : state) o.Blits();
  state.SetItemsProcessed(state.iterations() * kSprites);
}
template <EPictureSet Set>
void BM_Keyed_SDL2RLE(benchmark::State& state) {
  TSdl s(Set);
  s.Clear();
  s.Blits();  // the first blit encodes the runs
  for (auto _ : state) s.Blits();
  state.SetItemsProcessed(state.iterations() * kSprites);
}
template <EPictureSet Set>
void BM_GameKeyed(benchmark::State& state) {
  TGame g(Set);
  g.Blits();
  for (auto _ : state) g.Blits();
  state.SetItemsProcessed(state.iterations() * kSprites);
}
// A busy frame of the game's pictures in both buffers, presented again and
// again through the game's ramp.
void BM_Present_Ours(benchmark::State& state) {
  TOurs o;
  for (int i = 0; i < 2; ++i) {
    o.Clear();
    o.Blits();
    o.Flip();
  }
  for (auto _ : state) o.Flip();
  state.SetBytesProcessed(state.iterations() * 800 * 600 * 2);
}
void BM_FrameCopy_memcpy(benchmark::State& state) {
  std::vector<uint8_t> from(800 * 600 * 2), to(800 * 600 * 2);
  for (size_t i = 0; i < from.size(); ++i) from[i] = uint8_t(i * 131);
  for (auto _ : state) {
    benchmark::DoNotOptimize(from.data());
    std::memcpy(to.data(), from.data(), from.size());
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * int64_t(from.size()));
}
#if defined(__SSE2__)
// The floors of any present without wide vectors, with what every x86-64
// processor has and no ramp at all: the 16-bit frame widened to 32 bits
// (each pixel zero-extended), and the 5-6-5 channels only moved into their
// bytes (no low bits filled), written to a frame of the present's size.
template <bool Channels>
void BM_WidenFloor_Sse2(benchmark::State& state) {
  std::vector<uint16_t> from(800 * 600);
  std::vector<uint32_t> to(800 * 600);
  for (size_t i = 0; i < from.size(); ++i) from[i] = uint16_t(i * 131);
  const __m128i zero = _mm_setzero_si128(), f8 = _mm_set1_epi16(0xF8), fc = _mm_set1_epi16(0xFC);
  for (auto _ : state) {
    benchmark::DoNotOptimize(from.data());
    for (size_t i = 0; i < from.size(); i += 8) {
      __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from.data() + i)), hi = zero;
      if constexpr (Channels) {
        const __m128i g = _mm_and_si128(_mm_srli_epi16(lo, 3), fc);
        const __m128i b = _mm_and_si128(_mm_slli_epi16(lo, 3), f8);
        hi = _mm_and_si128(_mm_srli_epi16(lo, 8), f8);
        lo = _mm_or_si128(_mm_slli_epi16(g, 8), b);
      }
      _mm_storeu_si128(reinterpret_cast<__m128i*>(to.data() + i), _mm_unpacklo_epi16(lo, hi));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(to.data() + i + 4), _mm_unpackhi_epi16(lo, hi));
    }
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * int64_t(from.size()) * 2);
}
#endif
#if defined(__x86_64__)
// The same floor on processors whose vectors stop at 256 bits: the 5-6-5
// channels only moved into their bytes, no ramp, sixteen pixels a step.
__attribute__((target("avx2"))) void WidenChannelsAvx2(const uint16_t* from, uint32_t* to,
                                                       size_t n) {
  const __m256i f8 = _mm256_set1_epi16(0xF8), fc = _mm256_set1_epi16(0xFC);
  for (size_t i = 0; i < n; i += 16) {
    const __m256i p = _mm256_permute4x64_epi64(
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + i)), 0xD8);
    const __m256i g = _mm256_and_si256(_mm256_srli_epi16(p, 3), fc);
    const __m256i b = _mm256_and_si256(_mm256_slli_epi16(p, 3), f8);
    const __m256i hi = _mm256_and_si256(_mm256_srli_epi16(p, 8), f8);
    const __m256i lo = _mm256_or_si256(_mm256_slli_epi16(g, 8), b);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + i), _mm256_unpacklo_epi16(lo, hi));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + i + 8), _mm256_unpackhi_epi16(lo, hi));
  }
}
void BM_WidenFloor_Avx2Channels(benchmark::State& state) {
  if (!CpuFeatures().Avx2) {
    state.SkipWithError("this processor lacks vectors of that width");
    return;
  }
  std::vector<uint16_t> from(800 * 600);
  std::vector<uint32_t> to(800 * 600);
  for (size_t i = 0; i < from.size(); ++i) from[i] = uint16_t(i * 131);
  for (auto _ : state) {
    benchmark::DoNotOptimize(from.data());
    WidenChannelsAvx2(from.data(), to.data(), from.size());
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * int64_t(from.size()) * 2);
}
#endif
// The same on processors whose vectors stop at 256 bits, and on those with
// none beyond the x86-64 baseline. A width the processor lacks is skipped.
template <void (*Bench)(benchmark::State&), int Bits>
void Forced(benchmark::State& state) {
  DDLimitVectors(Bits);
  if (DDVectorBits() != Bits)
    state.SkipWithError("this processor lacks vectors of that width");
  else
    Bench(state);
  DDLimitVectors(512);
}
void BM_Frame_Ours(benchmark::State& state) {
  TOurs o;
  for (auto _ : state) {
    o.Clear();
    o.Blits();
    o.Flip();
  }
}

BENCHMARK(BM_Clear_Ours);
BENCHMARK(BM_Clear_SDL2);
BENCHMARK(BM_Keyed_Ours<psSparse>)->Name("BM_KeyedSparse_Ours");
BENCHMARK(BM_Keyed_SDL2RLE<psSparse>)->Name("BM_KeyedSparse_SDL2RLE");
BENCHMARK(BM_Keyed_Ours<psDense>)->Name("BM_KeyedDense_Ours");
BENCHMARK(BM_Keyed_SDL2RLE<psDense>)->Name("BM_KeyedDense_SDL2RLE");
BENCHMARK(BM_GameKeyed<psSparse>)->Name("BM_GameKeyedSparse");
BENCHMARK(BM_GameKeyed<psDense>)->Name("BM_GameKeyedDense");
BENCHMARK(BM_Present_Ours);
BENCHMARK(BM_FrameCopy_memcpy);
#if defined(__SSE2__)
BENCHMARK(BM_WidenFloor_Sse2<false>)->Name("BM_WidenFloor_Sse2");
BENCHMARK(BM_WidenFloor_Sse2<true>)->Name("BM_WidenFloor_Sse2Channels");
#endif
#if defined(__x86_64__)
BENCHMARK(BM_WidenFloor_Avx2Channels);
#endif
BENCHMARK(Forced<BM_Clear_Ours, 256>)->Name("BM_Clear_Ours256");
BENCHMARK(Forced<BM_Clear_Ours, 0>)->Name("BM_Clear_OursScalar");
BENCHMARK(Forced<BM_Keyed_Ours<psSparse>, 256>)->Name("BM_KeyedSparse_Ours256");
BENCHMARK(Forced<BM_Keyed_Ours<psSparse>, 0>)->Name("BM_KeyedSparse_OursScalar");
BENCHMARK(Forced<BM_Keyed_Ours<psDense>, 256>)->Name("BM_KeyedDense_Ours256");
BENCHMARK(Forced<BM_Keyed_Ours<psDense>, 0>)->Name("BM_KeyedDense_OursScalar");
BENCHMARK(Forced<BM_Present_Ours, 256>)->Name("BM_Present_Ours256");
BENCHMARK(Forced<BM_Present_Ours, 0>)->Name("BM_Present_OursScalar");
BENCHMARK(BM_Frame_Ours);

}  // namespace

int main(int argc, char** argv) {
  return RunWithRatios(
      argc, argv,
      {
          {"BM_Clear_Ours", "BM_Clear_SDL2", "widest vectors: at most 1.0"},
          {"BM_Clear_Ours256", "BM_Clear_SDL2", "256-bit vectors: at most 1.0"},
          {"BM_Clear_OursScalar", "BM_Clear_SDL2", "no vectors: at most 1.0"},
          {"BM_KeyedSparse_Ours", "BM_KeyedSparse_SDL2RLE", "widest vectors: at most 0.85"},
          {"BM_KeyedSparse_Ours256", "BM_KeyedSparse_SDL2RLE", "256-bit vectors: at most 0.85"},
          {"BM_KeyedSparse_OursScalar", "BM_KeyedSparse_SDL2RLE", "no vectors: at most 0.85"},
          {"BM_KeyedDense_Ours", "BM_KeyedDense_SDL2RLE", "widest vectors: at most 0.85"},
          {"BM_KeyedDense_Ours256", "BM_KeyedDense_SDL2RLE", "256-bit vectors: at most 0.85"},
          {"BM_KeyedDense_OursScalar", "BM_KeyedDense_SDL2RLE", "no vectors: at most 0.85"},
          {"BM_GameKeyedSparse", "BM_KeyedSparse_SDL2RLE", "through the engine's wrapper"},
          {"BM_GameKeyedDense", "BM_KeyedDense_SDL2RLE", "through the engine's wrapper"},
          {"BM_Present_Ours", "BM_FrameCopy_memcpy", "widest vectors: at most 2.5"},
          {"BM_Present_Ours256", "BM_FrameCopy_memcpy", "256-bit vectors: at most 2.5"},
          {"BM_Present_OursScalar", "BM_FrameCopy_memcpy", "no vectors: at most 3"},
          {"BM_WidenFloor_Sse2", "BM_FrameCopy_memcpy", "no vectors, no ramp: widening alone"},
          {"BM_WidenFloor_Sse2Channels", "BM_FrameCopy_memcpy",
           "no vectors, no ramp: 5-6-5 placed"},
          {"BM_WidenFloor_Avx2Channels", "BM_FrameCopy_memcpy",
           "256-bit vectors, no ramp: 5-6-5 placed"},
      });
}
