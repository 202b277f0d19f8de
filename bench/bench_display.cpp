// One frame of the game's display path (clear the 800 x 600 16-bit back
// surface, 200 colour-keyed 32 x 32 sprites, present through the gamma ramp)
// beside SDL2's own fill and colour-keyed blit of surfaces of the same shape.
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/draw/dxdraws.h"
#include "platform/ddraw/ddraw.h"
#include "platform/ddraw/ddraw_seam.h"

namespace {

constexpr int kSprites = 200;
constexpr uint16_t kKey = 0xF81F;

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

// A round sprite: the corners are the colour key, as in the game's pictures.
uint16_t SpritePixel(int x, int y) {
  int dx = x - 16, dy = y - 16;
  if (dx * dx + dy * dy > 15 * 15) return kKey;
  return static_cast<uint16_t>(((x * 2) << 11) | ((y * 2) << 5) | 0x0A);
}

class TDiscard : public IDDVideoOutput {
 public:
  void Present(const TDDFrame& Frame) override { benchmark::DoNotOptimize(Frame.Pixels.data()); }
  std::vector<TDDDisplayMode> DisplayModes() const override { return {{800, 600, 16}}; }
};

struct TOurs {
  TDiscard output;
  PDirectDraw dd;
  PDirectDrawSurface primary, back, sprite;
  TOurs() {
    DDSetVideoOutput(&output);
    DirectDrawCreateEx(nullptr, &dd);
    DDSURFACEDESC d;
    d.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    d.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    d.dwBackBufferCount = 1;
    dd->CreateSurface(&d, &primary);
    DDSCAPS caps{DDSCAPS_BACKBUFFER};
    primary->GetAttachedSurface(&caps, &back);
    DDSURFACEDESC s;
    s.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
    s.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    s.dwWidth = s.dwHeight = 32;
    dd->CreateSurface(&s, &sprite);
    DDSURFACEDESC lk;
    sprite->Lock(nullptr, &lk, DDLOCK_WAIT, nullptr);
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x)
        reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(lk.lpSurface) + y * lk.lPitch)[x] =
            SpritePixel(x, y);
    sprite->Unlock(nullptr);
    DDCOLORKEY key{kKey, kKey};
    sprite->SetColorKey(DDCKEY_SRCBLT, &key);
    // A dimmed ramp, as while the game fades.
    DDGAMMARAMP ramp;
    for (int i = 0; i < 256; ++i)
      ramp.red[i] = ramp.green[i] = ramp.blue[i] = static_cast<uint16_t>(i * 200);
    PDirectDrawGammaControl gamma;
    primary->QueryGammaControl(&gamma);
    gamma->SetGammaRamp(0, &ramp);
  }
  ~TOurs() { DDSetVideoOutput(nullptr); }
  void Fill() {
    DDBLTFX fx;
    fx.dwFillColor = 0;
    back->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
  }
  void Blits() {
    DDBLTFX fx;
    for (const TRect& r : Places())
      back->Blt(&r, sprite.get(), nullptr, DDBLT_WAIT | DDBLT_KEYSRC, &fx);
  }
  void Flip() { primary->Flip(nullptr, DDFLIP_WAIT); }
};

// The same sprites drawn the way the game's pictures draw them: through the
// surface wrapper's keyed draw, which clips to the back surface on the way.
struct TGame {
  TDiscard output;
  std::unique_ptr<TDirectDraw> dd;
  std::unique_ptr<TDirectDrawSurface> back, sprite;
  TGame() {
    DDSetVideoOutput(&output);
    DDRegisterModule();
    dd = std::make_unique<TDirectDraw>(nullptr);
    back = std::make_unique<TDirectDrawSurface>(dd.get());
    back->SetSize(800, 600);
    sprite = std::make_unique<TDirectDrawSurface>(dd.get());
    sprite->SetSize(32, 32);
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x) sprite->SetPixel(x, y, SpritePixel(x, y));
    sprite->SetTransparentColor(kKey);
  }
  ~TGame() {
    sprite.reset();
    back.reset();
    dd.reset();
    DDSetVideoOutput(nullptr);
  }
  void Blits() {
    const TRect whole{0, 0, 32, 32};
    for (const TRect& r : Places()) back->StretchDraw(r, whole, sprite.get(), true);
  }
};

struct TSdl {
  SDL_Surface* back;
  SDL_Surface* sprite;
  TSdl() {
    back = SDL_CreateRGBSurfaceWithFormat(0, 800, 600, 16, SDL_PIXELFORMAT_RGB565);
    sprite = SDL_CreateRGBSurfaceWithFormat(0, 32, 32, 16, SDL_PIXELFORMAT_RGB565);
    SDL_LockSurface(sprite);
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x)
        reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(sprite->pixels) + y * sprite->pitch)[x] =
            SpritePixel(x, y);
    SDL_UnlockSurface(sprite);
    SDL_SetColorKey(sprite, SDL_TRUE, kKey);
  }
  ~TSdl() {
    SDL_FreeSurface(sprite);
    SDL_FreeSurface(back);
  }
  void Fill() { SDL_FillRect(back, nullptr, 0); }
  void Blits() {
    for (const TRect& r : Places()) {
      SDL_Rect d{r.Left, r.Top, 32, 32};
      SDL_BlitSurface(sprite, nullptr, back, &d);
    }
  }
};

void BM_OursFill(benchmark::State& state) {
  TOurs o;
  for (auto _ : state) o.Fill();
}
void BM_SdlFill(benchmark::State& state) {
  TSdl s;
  for (auto _ : state) s.Fill();
}
void BM_OursKeyedBlits(benchmark::State& state) {
  TOurs o;
  o.Fill();
  for (auto _ : state) o.Blits();
  state.SetItemsProcessed(state.iterations() * kSprites);
}
void BM_GameKeyedDraws(benchmark::State& state) {
  TGame g;
  for (auto _ : state) g.Blits();
  state.SetItemsProcessed(state.iterations() * kSprites);
}
void BM_SdlKeyedBlits(benchmark::State& state) {
  TSdl s;
  s.Fill();
  for (auto _ : state) s.Blits();
  state.SetItemsProcessed(state.iterations() * kSprites);
}
void BM_OursPresent(benchmark::State& state) {
  TOurs o;
  for (auto _ : state) o.Flip();
}
void BM_OursFrame(benchmark::State& state) {
  TOurs o;
  for (auto _ : state) {
    o.Fill();
    o.Blits();
    o.Flip();
  }
}

BENCHMARK(BM_OursFill);
BENCHMARK(BM_SdlFill);
BENCHMARK(BM_OursKeyedBlits);
BENCHMARK(BM_GameKeyedDraws);
BENCHMARK(BM_SdlKeyedBlits);
BENCHMARK(BM_OursPresent);
BENCHMARK(BM_OursFrame);

// Keeps each run's time per iteration so the ratios can be printed at the end.
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& Runs) override {
    for (const Run& r : Runs)
      if (r.iterations > 0) times_[r.benchmark_name()] = r.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(Runs);
  }
  void Ratios() const {
    auto ratio = [&](const char* ours, const char* sdl) {
      auto a = times_.find(ours), b = times_.find(sdl);
      if (a == times_.end() || b == times_.end() || a->second <= 0) return;
      std::printf("%-22s ours / SDL2 = %.2f  (below 1: ours faster)\n", ours + 3,
                  a->second / b->second);
    };
    ratio("BM_OursFill", "BM_SdlFill");
    ratio("BM_OursKeyedBlits", "BM_SdlKeyedBlits");
    ratio("BM_GameKeyedDraws", "BM_SdlKeyedBlits");
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.Ratios();
  benchmark::Shutdown();
  return 0;
}
