// For tests and benchmarks: a headless 800 x 600 display as the game sets it
// up, an image list and a sprite engine bound to it, and generated pictures.
// Users link tal_backend_headless.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/dib/dib.h"
#include "engine/draw/dxdraws.h"
#include "engine/draw/pictures.h"
#include "engine/sprite/dx_sprite_engine.h"
#include "framework/forms.h"
#include "platform/backend/headless/headless_core.h"
#include "platform/backend/headless/headless_video.h"
#include "platform/ddraw/ddraw_seam.h"

class TSpriteTestDisplay {
 public:
  TSpriteTestDisplay() {
    HeadlessInstall();
    HeadlessInstallVideo();
    DDRegisterModule();
    SkipNextFlip = false;
    form = std::make_unique<TForm>(nullptr);
    form->SetBounds(0, 0, 800, 600);
    Draw = new TDXDraw(form.get());
    Draw->SetParent(form.get());
    Draw->SetAutoSize(false);
    Draw->SetBounds(0, 0, 800, 600);
    Draw->SetSurfaceWidth(800);
    Draw->SetSurfaceHeight(600);
    Draw->Display()->SetWidth(800);
    Draw->Display()->SetHeight(600);
    Draw->Display()->FixedBitCount = true;
    Draw->SetOptions({doFullScreen, doAllowReboot, doWaitVBlank, doAllowPalette256, doStretch,
                      doCenter, doFlip, doDirectX7Mode, doHardware, doSelectDriver, doZBuffer});
    form->Perform(WM_ACTIVATE, WA_ACTIVE, 0);
    Draw->Initialize();
    Images = new TDXImageList(form.get());
    Images->SetDXDraw(Draw);
    Sprites = new TDXSpriteEngine(form.get());
    Sprites->SetDXDraw(Draw);
  }
  ~TSpriteTestDisplay() {
    form.reset();
    DDSetVideoOutput(nullptr);
    HeadlessUninstall();
  }
  TSpriteTestDisplay(const TSpriteTestDisplay&) = delete;
  TSpriteTestDisplay& operator=(const TSpriteTestDisplay&) = delete;

  // A picture of one row of W x H patterns, pattern i filled with Colors[i],
  // with Holes[i] (when given) punched out in the transparent colour, black.
  TPictureCollectionItem* AddStrip(const std::string& Name, int W, int H,
                                   const std::vector<TColor>& Colors,
                                   const std::vector<TRect>& Holes = {}) {
    auto dib = std::make_unique<TDIB>();
    const int n = static_cast<int>(Colors.size());
    dib->SetSize(W * n, H, 24);
    for (int i = 0; i < n; ++i)
      for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
          bool hole = false;
          if (i < static_cast<int>(Holes.size())) {
            const TRect& r = Holes[static_cast<size_t>(i)];
            hole = x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom;
          }
          dib->SetPixel(i * W + x, y, hole ? clBlack : Colors[static_cast<size_t>(i)]);
        }
    TPictureCollectionItem* item = Images->Items().Add();
    item->SetName(Name);
    item->PatternWidth = W;
    item->PatternHeight = H;
    item->Picture().TakeGraphic(std::move(dib));
    item->Initialize();
    item->Restore();
    return item;
  }

  std::unique_ptr<TForm> form;
  TDXDraw* Draw = nullptr;
  TDXImageList* Images = nullptr;
  TDXSpriteEngine* Sprites = nullptr;
};
