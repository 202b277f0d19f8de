// The engine form with the display's 3D options: the same scripted scene,
// on the virtual clock, drawn once through the blitter and the software
// renderer and once through hardware 2D drawing, gives the same picture.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "framework/forms.h"
#include "platform/backend/headless/headless_audio.h"
#include "platform/backend/headless/headless_core.h"
#include "platform/backend/headless/headless_input.h"
#include "platform/backend/headless/headless_video.h"
#include "render/d3d/d2d.h"
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
  std::vector<THeadlessMessageBox> Boxes;
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
  shot.Boxes = HeadlessMessageBoxes();
  scene.reset();
  DDSetVideoOutput(nullptr);
  UninstallHeadlessAudio();
  InputHost().Reset();
  FreeDirectXLibraries();
  SetDirect3DPath(nullptr);
  HeadlessUninstall();
  return shot;
}

// Within two units of a 5-6-5 field (the frame holds its fields widened to
// 8 bits): each blend may round a unit apart, and the scene stacks them.
bool Near(uint32_t a, uint32_t b) {
  auto d = [&](int s, int unit) {
    return std::abs(int((a >> s) & 0xFF) - int((b >> s) & 0xFF)) <= 3 * unit - 1;
  };
  return d(16, 8) && d(8, 4) && d(0, 8);
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
  // Each pixel matches the same or a neighbouring pixel of the other
  // picture: rotated sprites may land a pixel apart.
  int bad = 0;
  for (int y = 0; y < 600; ++y)
    for (int x = 0; x < 800; ++x) {
      bool ok = false;
      for (int dy = -1; dy <= 1 && !ok; ++dy)
        for (int dx = -1; dx <= 1 && !ok; ++dx) {
          const int xx = x + dx, yy = y + dy;
          if (xx < 0 || yy < 0 || xx >= 800 || yy >= 600) continue;
          ok = Near(hw.Pixels[size_t(y * 800 + x)], flat.Pixels[size_t(yy * 800 + xx)]);
        }
      bad += !ok;
    }
  // A few dozen pixels under the half-transparent panels still differ
  // (fewer than 1 in 5,000): the software renderer's blend rounds down, so a
  // colour blended over itself drops a unit of red and green, where the
  // device keeps it. One unit on the back surface, the display's colour
  // table widens it past the tolerance here. Set TAL_DUMP_3D to write both
  // frames side by side to /tmp/engine3d.ppm.
  EXPECT_LT(bad, 800 * 600 / 5000);
  if (bad && std::getenv("TAL_DUMP_3D")) {
    FILE* f = std::fopen("/tmp/engine3d.ppm", "wb");
    std::fprintf(f, "P6 1600 600 255\n");
    for (int y = 0; y < 600; ++y)
      for (int x = 0; x < 1600; ++x) {
        uint32_t p = x < 800 ? flat.Pixels[size_t(y * 800 + x)] : hw.Pixels[size_t(y * 800 + x - 800)];
        uint8_t rgb[3] = {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)};
        std::fwrite(rgb, 1, 3, f);
      }
    std::fclose(f);
  }
}

}  // namespace
