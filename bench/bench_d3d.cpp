// An 800 x 600 frame of 1,000 sprites of the game's sizes, a quarter of them
// blended at half strength, drawn through the display's 2D path (blitter and
// software renderer) and through the 3D path (the software Direct3D device),
// side by side. Each iteration is one whole frame on the back surface. The
// plain names use the widest vectors the processor has; "_256" and "_Scalar"
// hold both paths to 256-bit vectors or none, as other processors run them.
#include <benchmark/benchmark.h>

#include <memory>

#include "direct3d/d2d.h"
#include "engine/dib/dib.h"
#include "engine/draw/pictures.h"
#include "platform/backend/headless/headless_core.h"
#include "platform/backend/headless/headless_video.h"
#include "platform/d3d/d3d.h"
#include "platform/ddraw/ddraw_seam.h"

namespace {

struct TSize {
  int W, H;
};
// Ships, enemies, shots and bonuses.
constexpr TSize kSizes[] = {{64, 64}, {48, 48}, {32, 32}, {16, 32}, {8, 16}, {40, 24}};

struct TBench {
  std::unique_ptr<TForm> form;
  TDXDraw* draw = nullptr;
  TDXImageList* images = nullptr;
  std::vector<TPictureCollectionItem*> items;

  explicit TBench(bool ThreeD) {
    HeadlessInstall();
    HeadlessInstallVideo();
    DDRegisterModule();
    D3DResetMachine();
    InstallDirect3DPath();
    form = std::make_unique<TForm>(nullptr);
    form->SetBounds(0, 0, 800, 600);
    draw = new TDXDraw(form.get());
    draw->SetParent(form.get());
    draw->SetAutoSize(false);
    draw->SetBounds(0, 0, 800, 600);
    draw->SetSurfaceWidth(800);
    draw->SetSurfaceHeight(600);
    TDXDrawOptions o{doDirectX7Mode, doHardware};
    if (ThreeD) o.Include(do3D);
    draw->SetOptions(o);
    form->Perform(WM_ACTIVATE, WA_ACTIVE, 0);
    draw->Initialize();
    images = new TDXImageList(form.get());
    images->SetDXDraw(draw);
    int n = 0;
    for (const TSize& s : kSizes) {
      TDIB dib;
      dib.SetSize(s.W, s.H, 24);
      for (int y = 0; y < s.H; ++y)
        for (int x = 0; x < s.W; ++x) {
          const int dx = 2 * x - s.W, dy = 2 * y - s.H;
          const bool inside = dx * dx * s.H * s.H + dy * dy * s.W * s.W < s.W * s.W * s.H * s.H;
          dib.SetPixel(x, y, inside ? 0x204080 + x * 3 + (y << 9) : 0);
        }
      auto* item = static_cast<TPictureCollectionItem*>(images->Items().Add());
      item->SetName("sprite" + std::to_string(n++));
      item->Picture().SetGraphic(&dib);
      item->Transparent = true;
      item->SetTransparentColor(clBlack);
      items.push_back(item);
    }
    images->Items().Initialize(draw);
    for (auto* i : items) i->Restore();
    draw->SetTextureFilter(D2D_POINT);
  }
  ~TBench() {
    form.reset();
    SetDirect3DPath(nullptr);
    DDSetVideoOutput(nullptr);
    HeadlessUninstall();
  }

  void Frame() {
    draw->Surface->Fill(0);
    for (int i = 0; i < 1000; ++i) {
      TPictureCollectionItem* item = items[static_cast<size_t>(i) % items.size()];
      const int x = (i * 97) % 760, y = (i * 61) % 560;
      const TRect r{x, y, x + item->Width(), y + item->Height()};
      if (i % 4 == 0)
        item->DrawAlpha(draw->Surface.get(), r, 0, 128);
      else
        item->StretchDraw(draw->Surface.get(), r, 0);
    }
  }
};

void BM_Frame(benchmark::State& state, bool ThreeD, int VectorBits) {
  DDLimitVectors(VectorBits);
  D3DLimitVectors(VectorBits);
  // A held width the processor lacks would time another path under its name.
  if (VectorBits < 512 && DDVectorBits() != VectorBits) {
    state.SkipWithError("this processor lacks vectors of that width");
  } else {
    TBench b(ThreeD);
    for (auto _ : state) {
      b.Frame();
      benchmark::ClobberMemory();
    }
  }
  DDLimitVectors(512);
  D3DLimitVectors(512);
}

}  // namespace

BENCHMARK_CAPTURE(BM_Frame, Path2D, false, 512)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Frame, Path3D, true, 512)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Frame, Path2D_256, false, 256)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Frame, Path3D_256, true, 256)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Frame, Path2D_Scalar, false, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Frame, Path3D_Scalar, true, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
