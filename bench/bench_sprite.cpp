// The sprite passes of one game frame with 1,000 animated image sprites on
// the 800 x 600 back surface: the move pass alone, the draw pass alone, and
// the whole frame (move, sweep, clear, draw).
#include <benchmark/benchmark.h>

#include <memory>

#include "engine/sprite/image_sprite.h"
#include "engine/sprite/sprite_test_display.h"

namespace {

constexpr int kSprites = 1000;

// Drifts across the screen and wraps, as the game's shots and scenery do.
class TDrifter : public TImageSprite {
 public:
  TDrifter(TSprite* Parent, double vx, double vy) : TImageSprite(Parent), vx_(vx), vy_(vy) {}
  void DoMove(int32_t MoveCount) override {
    TImageSprite::DoMove(MoveCount);
    X += vx_ * MoveCount;
    Y += vy_ * MoveCount;
    if (X > 800) X -= 832;
    if (X < -32) X += 832;
    if (Y > 600) Y -= 632;
    if (Y < -32) Y += 632;
  }

 private:
  double vx_, vy_;
};

struct TScene {
  TSpriteTestDisplay display;
  TScene() {
    // A round 32 x 32 picture with eight frames of different colours; the
    // corners are transparent.
    std::vector<TColor> colors;
    std::vector<TRect> holes;
    for (int i = 0; i < 8; ++i) {
      colors.push_back(0x203040 + i * 0x101810);
      holes.push_back(Rect(0, 0, 6, 6));
    }
    TPictureCollectionItem* pic = display.AddStrip("ball", 32, 32, colors, holes);
    uint32_t seed = 12345;
    auto next = [&seed] {
      seed = seed * 1103515245u + 12345u;
      return (seed >> 8) & 0xFFFF;
    };
    TSpriteEngine* e = display.Sprites->Engine();
    for (int i = 0; i < kSprites; ++i) {
      auto* s = new TDrifter(e, (static_cast<int>(next() % 200) - 100) / 1000.0,
                             (static_cast<int>(next() % 200) - 100) / 1000.0);
      s->SetImage(pic);
      s->X = next() % 800;
      s->Y = next() % 600;
      s->SetZ(static_cast<int32_t>(next() % 4));
      s->AnimCount = 8;
      s->AnimLooped = true;
      s->AnimSpeed = 0.01;
    }
  }
};

TScene& Scene() {
  static auto* scene = new TScene;  // kept to the end of the process
  return *scene;
}

void BM_MovePass(benchmark::State& state) {
  TScene& s = Scene();
  for (auto _ : state) s.display.Sprites->Move(16);
  state.SetItemsProcessed(state.iterations() * kSprites);
}
BENCHMARK(BM_MovePass);

void BM_DrawPass(benchmark::State& state) {
  TScene& s = Scene();
  for (auto _ : state) s.display.Sprites->Draw();
  state.SetItemsProcessed(state.iterations() * kSprites);
}
BENCHMARK(BM_DrawPass);

void BM_Frame(benchmark::State& state) {
  TScene& s = Scene();
  for (auto _ : state) {
    s.display.Sprites->Move(16);
    s.display.Sprites->FreeDead();
    s.display.Draw->Surface->Fill(0);
    s.display.Sprites->Draw();
  }
  state.SetItemsProcessed(state.iterations() * kSprites);
}
BENCHMARK(BM_Frame);

}  // namespace

BENCHMARK_MAIN();
