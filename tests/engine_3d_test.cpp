// The engine form with the display's 3D options: the same scripted scene,
// on the virtual clock, drawn once through the blitter and the software
// renderer and once through hardware 2D drawing, gives the same picture.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "direct3d/d2d.h"
#include "framework/forms.h"
#include "platform/backend/headless/headless_audio.h"
#include "platform/backend/headless/headless_core.h"
#include "platform/backend/headless/headless_input.h"
#include "platform/backend/headless/headless_video.h"
#include "platform/win/user_seam.h"
#include "tests/engine_form.h"
#include "tests/engine_scene.h"

namespace {

std::string DataDir() {
  return std::string(TAL_BIN_DIR) + "/data";
}

struct TShot {
  std::vector<uint32_t> Pixels;
  int Width = 0, Height = 0;
  uint32_t Draws = 0;
  int Unpresented = 0;
  // The back surface's 5-6-5 pixels as drawn, before the flip.
  std::vector<uint16_t> Back;
  std::vector<TRecordedMessageBox> Boxes;
};

constexpr int kFrames = 45;

TShot PlayScene(bool ThreeD) {
  TShot shot;
  TApplicationScope scope;
  HeadlessInstall(1000);
  THeadlessVideo& video = HeadlessInstallVideo();
  DDRegisterModule();
  D3DResetMachine();
  InstallDirect3DPath();
  HeadlessInstallAudio();
  HeadlessInstallInput();
  HeadlessSetIdlePace([] { HeadlessAdvance(16); });
  auto* form = Application->CreateForm<TEngineForm>(DataDir());
  if (ThreeD) {
    TDXDrawOptions o = form->DXDraw->Options();
    o.Include(do3D);
    form->DXDraw->SetOptions(o);
  }
  auto scene = std::make_unique<TScene>(*form, 60, 20261210);
  int presented = video.FrameCount();
  form->OnFrameDrawn = [&](int Frame) {
    if (Frame != kFrames) return;
    DDSURFACEDESC d;
    if (!form->DXDraw->Surface->Lock(nullptr, d)) return;
    if (d.ddpfPixelFormat.dwRGBBitCount == 16 && d.dwWidth == 800 && d.dwHeight == 600) {
      shot.Back.resize(800 * 600);
      for (int y = 0; y < 600; ++y)
        std::memcpy(&shot.Back[size_t(y * 800)], static_cast<uint8_t*>(d.lpSurface) + y * d.lPitch,
                    2 * 800);
    }
    form->DXDraw->Surface->Unlock();
  };
  form->OnFrameFlipped = [&](int Frame) {
    shot.Unpresented += video.FrameCount() == presented;
    presented = video.FrameCount();
    if (Frame != kFrames) return;
    const TDDFrame& f = video.LastFrame();
    shot.Pixels = f.Pixels;
    shot.Width = static_cast<int>(f.Width);
    shot.Height = static_cast<int>(f.Height);
    if (form->DXDraw->D3DDevice7) shot.Draws = form->DXDraw->D3DDevice7->DrawCount();
    Application->Terminate();
  };
  Application->Run();
  delete form;
  shot.Boxes = TakeRecordedMessageBoxes();
  scene.reset();
  DDSetVideoOutput(nullptr);
  UninstallHeadlessAudio();
  InputHost().Reset();
  FreeDirectXLibraries();
  SetDirect3DPath(nullptr);
  HeadlessUninstall();
  return shot;
}

// Within one unit of each 5-6-5 field.
bool Near(uint16_t a, uint16_t b) {
  auto d = [&](int s, int mask) { return std::abs(((a >> s) & mask) - ((b >> s) & mask)) <= 1; };
  return d(11, 31) && d(5, 63) && d(0, 31);
}

TEST(Engine3D, TheSceneLooksTheSameThroughTheThreeDimensionalPath) {
  ASSERT_TRUE(FileExists(DataDir() + "/graphic/data.dan")) << DataDir() << " holds no archives";
  const TShot flat = PlayScene(false);
  const TShot hw = PlayScene(true);
  for (const auto& box : flat.Boxes) ADD_FAILURE() << box.Caption << ": " << box.Text;
  for (const auto& box : hw.Boxes) ADD_FAILURE() << box.Caption << ": " << box.Text;
  ASSERT_EQ(flat.Width, 800);
  ASSERT_EQ(hw.Width, 800);
  EXPECT_EQ(flat.Draws, 0u);
  EXPECT_EQ(hw.Unpresented, 0);
  EXPECT_EQ(flat.Unpresented, 0);
  EXPECT_GT(hw.Draws, 100u) << "the pictures did not go through the device";
  // On the 5-6-5 back surface each pixel matches the same or a neighbouring
  // pixel of the other picture within one unit of each field: rotated
  // sprites may land a pixel apart, and the two paths' blends may round a
  // unit apart. (The presented frames pass through the display's colour
  // table, which is not linear, so they are not compared.)
  ASSERT_EQ(flat.Back.size(), size_t(800 * 600)) << "no 5-6-5 back surface";
  ASSERT_EQ(hw.Back.size(), size_t(800 * 600)) << "no 5-6-5 back surface";
  int bad = 0;
  for (int y = 0; y < 600; ++y)
    for (int x = 0; x < 800; ++x) {
      bool ok = false;
      for (int dy = -1; dy <= 1 && !ok; ++dy)
        for (int dx = -1; dx <= 1 && !ok; ++dx) {
          const int xx = x + dx, yy = y + dy;
          if (xx < 0 || yy < 0 || xx >= 800 || yy >= 600) continue;
          ok = Near(hw.Back[size_t(y * 800 + x)], flat.Back[size_t(yy * 800 + xx)]);
        }
      if (!ok && ++bad <= 10) ADD_FAILURE() << "pixel (" << x << ", " << y << ") differs";
    }
  EXPECT_EQ(bad, 0);
}

}  // namespace
