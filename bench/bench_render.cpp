// The game's typical sprite (64 x 64, 16-bit 5-6-5, colour-keyed) drawn
// with each of the game's six blend operations through the generated code
// and the interpreter, and, for the operations they share, through pixman
// and SDL2's software blitter. Each renderer draw includes its compile, as
// every draw in the game does. Then the game's own explosions and asteroids:
// a draw of a new picture or at a new angle against the same draw repeated,
// which must cost about the same, since one routine serves every picture and
// every angle of a kind.
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_pictures.h"
#include "bench/bench_ratios.h"
#include "render/dxrender.h"

namespace {

constexpr int Size = 64;
constexpr int DestW = 256, DestH = 256;

struct TOpCase {
  const char* Name;
  TDXRBlendOp Op;
  int32_t Alpha;
};
const TOpCase Ops[] = {
    {"Add", boAdd, 255},     {"AddAlpha", boAddAlpha, 160}, {"Blend", boBlend, 160},
    {"Source", boSource, 0}, {"Subtract", boSubtract, 255}, {"SubtractAlpha", boSubtractAlpha, 160},
};

// A round sprite on a keyed (0) background, and a busy destination.
struct TPictures {
  std::vector<uint16_t> Sprite = std::vector<uint16_t>(Size * Size);
  std::vector<uint16_t> Dest = std::vector<uint16_t>(DestW * DestH);
  TPictures() {
    for (int y = 0; y < Size; ++y)
      for (int x = 0; x < Size; ++x) {
        const int dx = x - 32, dy = y - 32;
        Sprite[size_t(y * Size + x)] =
            dx * dx + dy * dy < 900
                ? uint16_t(((x >> 1) << 11) | ((y) << 5) | ((x + y) >> 2)) | 0x0821
                : 0;
      }
    for (size_t i = 0; i < Dest.size(); ++i) Dest[i] = uint16_t(i * 2654435761u >> 16);
  }
};

void BM_Renderer(benchmark::State& state, TOpCase op, bool native) {
  TPictures p;
  TDXRSurfaceInfo src, dst;
  SetupSurfaceInfo(src, false, Size, Size, 16, p.Sprite.data(), Size * 2, 0xF800, 0x07E0, 0x001F,
                   0);
  SetupSurfaceInfo(dst, false, DestW, DestH, 16, p.Dest.data(), DestW * 2, 0xF800, 0x07E0, 0x001F,
                   0);
  DXRMachine().UseCodeGen = native;
  for (auto _ : state) {
    RenderBlendRect(dst, src, Bounds(40, 40, Size, Size), Rect(0, 0, Size, Size), op.Op, op.Alpha,
                    true, 0);
    benchmark::ClobberMemory();
  }
  DXRMachine().UseCodeGen = true;
  state.SetItemsProcessed(state.iterations() * Size * Size);
}

// The same sprite turned by 30/256 of a turn: every pixel steps both
// coordinates, so this is the per-pixel routine.
void BM_RendererRotated(benchmark::State& state, TOpCase op, bool native) {
  TPictures p;
  TDXRSurfaceInfo src, dst;
  SetupSurfaceInfo(src, false, Size, Size, 16, p.Sprite.data(), Size * 2, 0xF800, 0x07E0, 0x001F,
                   0);
  SetupSurfaceInfo(dst, false, DestW, DestH, 16, p.Dest.data(), DestW * 2, 0xF800, 0x07E0, 0x001F,
                   0);
  DXRMachine().UseCodeGen = native;
  for (auto _ : state) {
    RenderBlendRotate(dst, src, 100, 100, Size, Size, Rect(0, 0, Size, Size), 0.5, 0.5, 30, op.Op,
                      op.Alpha, true, 0);
    benchmark::ClobberMemory();
  }
  DXRMachine().UseCodeGen = true;
  state.SetItemsProcessed(state.iterations() * Size * Size);
}

// pixman: ADD, ADD through a solid alpha mask, OVER through it, SRC. It has
// no subtraction and no colour key, so it draws every pixel.
void BM_Pixman(benchmark::State& state, TOpCase op) {
  TPictures p;
  pixman_image_t* src = pixman_image_create_bits(
      PIXMAN_r5g6b5, Size, Size, reinterpret_cast<uint32_t*>(p.Sprite.data()), Size * 2);
  pixman_image_t* dst = pixman_image_create_bits(
      PIXMAN_r5g6b5, DestW, DestH, reinterpret_cast<uint32_t*>(p.Dest.data()), DestW * 2);
  const pixman_color_t maskColor{0, 0, 0, uint16_t(op.Alpha * 257)};
  pixman_image_t* mask =
      op.Alpha < 255 && op.Op != boSource ? pixman_image_create_solid_fill(&maskColor) : nullptr;
  const pixman_op_t pop = op.Op == boBlend    ? PIXMAN_OP_OVER
                          : op.Op == boSource ? PIXMAN_OP_SRC
                                              : PIXMAN_OP_ADD;
  for (auto _ : state) {
    pixman_image_composite32(pop, src, mask, dst, 0, 0, 0, 0, 40, 40, Size, Size);
    benchmark::ClobberMemory();
  }
  if (mask) pixman_image_unref(mask);
  pixman_image_unref(src);
  pixman_image_unref(dst);
  state.SetItemsProcessed(state.iterations() * Size * Size);
}

// SDL2's blended blit with the colour key: ADD (with alpha modulation), BLEND
// and NONE. It has no subtraction.
void BM_SDL(benchmark::State& state, TOpCase op) {
  TPictures p;
  SDL_Surface* src = SDL_CreateRGBSurfaceWithFormatFrom(p.Sprite.data(), Size, Size, 16, Size * 2,
                                                        SDL_PIXELFORMAT_RGB565);
  SDL_Surface* dst = SDL_CreateRGBSurfaceWithFormatFrom(p.Dest.data(), DestW, DestH, 16, DestW * 2,
                                                        SDL_PIXELFORMAT_RGB565);
  SDL_SetColorKey(src, SDL_TRUE, 0);
  SDL_SetSurfaceBlendMode(src, op.Op == boSource  ? SDL_BLENDMODE_NONE
                               : op.Op == boBlend ? SDL_BLENDMODE_BLEND
                                                  : SDL_BLENDMODE_ADD);
  SDL_SetSurfaceAlphaMod(src, uint8_t(op.Op == boSource ? 255 : op.Alpha));
  SDL_Rect sr{0, 0, Size, Size}, dr{40, 40, Size, Size};
  for (auto _ : state) {
    SDL_BlitSurface(src, &sr, dst, &dr);
    benchmark::ClobberMemory();
  }
  SDL_FreeSurface(src);
  SDL_FreeSurface(dst);
  state.SetItemsProcessed(state.iterations() * Size * Size);
}

// Fifty frames of the game's explosions (64 x 64, keyed), as surfaces.
struct TGameSprites {
  std::vector<TBenchPicture> Pictures;
  std::vector<TDXRSurfaceInfo> Infos;
  std::vector<uint16_t> Dest = std::vector<uint16_t>(DestW * DestH);
  TDXRSurfaceInfo DestInfo;
  TGameSprites(const std::vector<std::string>& Names, int Frames, int Count)
      : Pictures(GamePictures(Names, Frames, Count)), Infos(Pictures.size()) {
    for (size_t i = 0; i < Pictures.size(); ++i)
      SetupSurfaceInfo(Infos[i], false, Pictures[i].Width, Pictures[i].Height, 16,
                       Pictures[i].Pixels.data(), Pictures[i].Width * 2, 0xF800, 0x07E0, 0x001F, 0);
    for (size_t i = 0; i < Dest.size(); ++i) Dest[i] = uint16_t(i * 2654435761u >> 16);
    SetupSurfaceInfo(DestInfo, false, DestW, DestH, 16, Dest.data(), DestW * 2, 0xF800, 0x07E0,
                     0x001F, 0);
  }
};

// Additive keyed draws of explosion frames, as the game draws its blasts.
void BlendDraws(benchmark::State& state, bool cycle) {
  TGameSprites g({"ExplosionFx1", "ExplosionFx3", "mesh1"}, 21, 50);
  DXRMachine().UseCodeGen = true;
  size_t i = 0;
  for (auto _ : state) {
    const TDXRSurfaceInfo& src = g.Infos[cycle ? i++ % g.Infos.size() : 0];
    RenderBlendRect(g.DestInfo, src, Bounds(40, 40, 64, 64), Rect(0, 0, 64, 64), boAdd, 255, true,
                    0);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 64 * 64);
}
void BM_Blend_SamePicture(benchmark::State& state) {
  BlendDraws(state, false);
}
void BM_Blend_NewPictures(benchmark::State& state) {
  BlendDraws(state, true);
}

// A turning asteroid: the same angle each draw against a new angle each draw.
void RotateDraws(benchmark::State& state, bool turn) {
  TGameSprites g({"asteroid1"}, 16, 1);
  DXRMachine().UseCodeGen = true;
  int32_t angle = 30;
  for (auto _ : state) {
    RenderBlendRotate(g.DestInfo, g.Infos[0], 100, 100, 64, 64, Rect(0, 0, 64, 64), 0.5, 0.5, angle,
                      boSource, 0, true, 0);
    if (turn) angle = (angle + 7) & 255;
    benchmark::ClobberMemory();
  }
  // Routines generated so far in the process: a turn adds none after its first kinds.
  state.counters["routines"] = double(DXRMachine().RoutinesBuilt());
  state.SetItemsProcessed(state.iterations() * 64 * 64);
}
void BM_Rotate_SameAngle(benchmark::State& state) {
  RotateDraws(state, false);
}
void BM_Rotate_TurningSprite(benchmark::State& state) {
  RotateDraws(state, true);
}

[[maybe_unused]] const bool registered = [] {
  benchmark::RegisterBenchmark("BM_Blend_SamePicture", BM_Blend_SamePicture);
  benchmark::RegisterBenchmark("BM_Blend_NewPictures", BM_Blend_NewPictures);
  benchmark::RegisterBenchmark("BM_Rotate_SameAngle", BM_Rotate_SameAngle);
  benchmark::RegisterBenchmark("BM_Rotate_TurningSprite", BM_Rotate_TurningSprite);
  for (const TOpCase& op : Ops) {
    const std::string n = op.Name;
    benchmark::RegisterBenchmark(("Generated/" + n).c_str(), BM_Renderer, op, true);
    benchmark::RegisterBenchmark(("Reference/" + n).c_str(), BM_Renderer, op, false);
    benchmark::RegisterBenchmark(("GeneratedRotated/" + n).c_str(), BM_RendererRotated, op, true);
    benchmark::RegisterBenchmark(("ReferenceRotated/" + n).c_str(), BM_RendererRotated, op, false);
    if (op.Op != boSubtract && op.Op != boSubtractAlpha) {
      benchmark::RegisterBenchmark(("Pixman/" + n).c_str(), BM_Pixman, op);
      benchmark::RegisterBenchmark(("SDL2/" + n).c_str(), BM_SDL, op);
    }
  }
  return true;
}();

}  // namespace

int main(int argc, char** argv) {
  return RunWithRatios(argc, argv,
                       {
                           {"BM_Blend_NewPictures", "BM_Blend_SamePicture", "at most 1.2"},
                           {"BM_Rotate_TurningSprite", "BM_Rotate_SameAngle", "at most 1.2"},
                       });
}
