// The engine form on the real backend: started as the programs start, in a
// window of a virtual X server, on the real clock, with key presses coming
// through SDL's event queue.
#include <gtest/gtest.h>

#include <SDL.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

#include "direct3d/d2d.h"
#include "framework/forms.h"
#include "platform/backend/sdl/sdl_core.h"
#include "platform/backend/sdl/sdl_video.h"
#include "platform/backend/sdl/xvfb_server.h"
#include "programs/startup.h"
#include "tests/engine_form.h"
#include "tests/engine_scene.h"
#include "tests/under_x.h"

namespace {

std::string DataDir() {
  return std::string(TAL_BIN_DIR) + "/data";
}

// The game's data, then a virtual X server of the game's size.
void StartX(TXvfbServer& Server) {
  ASSERT_TRUE(FileExists(DataDir() + "/graphic/data.dan")) << DataDir() << " holds no archives";
  StartGameX(Server);
}

TEST(EngineUnderX, FormRunsItsFrameLoopInAWindowAndKeysSteerTheShip) {
  TXvfbServer server;
  StartX(server);
  if (HasFatalFailure() || IsSkipped()) return;

  constexpr int kFrames = 300;
  TApplicationScope scope;
  ASSERT_TRUE(StartPlatform(dbGame));
  SdlVideo()->KeepReadback = true;

  auto* form = Application->CreateForm<TEngineForm>(DataDir());
  auto scene = std::make_unique<TScene>(*form, 60, 20261210);
  TScenePlayer& ship = *scene->Player;
  double x0 = 0, x1 = 0;
  int64_t moved0 = 0, moved1 = 0;
  double coverage = 0;
  bool soundPlayed = false;
  form->OnFrameFlipped = [&](int Frame) {
    SDL_Window* window = SdlWindowOf(form->Handle());
    if (!window) return;
    switch (Frame) {
      case 60:
        x0 = ship.X;
        moved0 = form->MovedTime();
        SdlPushKey(window, SDL_SCANCODE_RIGHT, true);
        form->PlaySound("explosion1", 0, 0);
        soundPlayed = true;
        break;
      case 100:
        x1 = ship.X;
        moved1 = form->MovedTime();
        SdlPushKey(window, SDL_SCANCODE_RIGHT, false);
        break;
      case kFrames:
        if (SdlVideo()->ReadbackWidth() == 800 && SdlVideo()->ReadbackHeight() == 600)
          coverage = SpriteCoverage(ship, SdlVideo()->Readback().data(), 800, 600);
        Application->Terminate();
        break;
      default:
        break;
    }
  };
  Application->Run();

  EXPECT_EQ(form->FrameCount(), kFrames);
  EXPECT_TRUE(soundPlayed);
  // Held for frames 61..100: the ship went right by its speed times the
  // time those frames moved the sprites, unless it reached the right edge
  // first. Real frames stretch on a busy machine, so the edge is a real
  // outcome, not a fault.
  EXPECT_GT(moved1, moved0);
  EXPECT_GT(x1, x0);
  const double edge = 800.0 - ship.Width;
  EXPECT_NEAR(x1 - x0,
              std::min(TScene::ShipSpeed * static_cast<double>(moved1 - moved0), edge - x0), 1e-6);
  // The window shows the last frame with the ship where it is.
  EXPECT_EQ(SdlVideo()->ReadbackWidth(), 800);
  EXPECT_EQ(SdlVideo()->ReadbackHeight(), 600);
  EXPECT_GT(coverage, 0.99);

  // Everything SDL loads is loaded by now; it must stay for the leak report.
  TXvfbServer::KeepLibraries();
  StopPlatform();
  scene.reset();
}

// With the display's 3D options the pictures go through the Direct3D device
// and the X server shows them: the ship's picture is where the ship is. (The
// headless test compares the two paths pixel for pixel on the virtual clock;
// real-clock frames differ from run to run.)
TEST(EngineUnderX, ThreeDimensionalOptionsDrawTheSceneThroughTheDevice) {
  TXvfbServer server;
  StartX(server);
  if (HasFatalFailure() || IsSkipped()) return;

  constexpr int kFrames = 120;
  TApplicationScope scope;
  ASSERT_TRUE(StartPlatform(dbGame));
  InstallDirect3DPath();
  SdlVideo()->KeepReadback = true;

  auto* form = Application->CreateForm<TEngineForm>(DataDir());
  TDXDrawOptions options = form->DXDraw->Options();
  options.Include(do3D);
  form->DXDraw->SetOptions(options);
  auto scene = std::make_unique<TScene>(*form, 60, 20261210);
  TScenePlayer& ship = *scene->Player;
  double coverage = 0;
  uint32_t draws = 0;
  form->OnFrameFlipped = [&](int Frame) {
    if (Frame != kFrames) return;
    if (SdlVideo()->ReadbackWidth() == 800 && SdlVideo()->ReadbackHeight() == 600)
      coverage = SpriteCoverage(ship, SdlVideo()->Readback().data(), 800, 600);
    if (form->DXDraw->D3DDevice7) draws = form->DXDraw->D3DDevice7->DrawCount();
    Application->Terminate();
  };
  Application->Run();

  EXPECT_EQ(form->FrameCount(), kFrames);
  EXPECT_GT(draws, 100u) << "the pictures did not go through the device";
  EXPECT_GT(coverage, 0.99);

  TXvfbServer::KeepLibraries();
  StopPlatform();
  scene.reset();
}

}  // namespace
