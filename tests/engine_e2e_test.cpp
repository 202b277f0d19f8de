// The engine as the game uses it, on the headless backend: the engine form
// loads the generated data folder and runs its frame loop on the virtual
// clock for fifteen seconds of play while a script plays keyboard, mouse and
// joystick, shoots enemies down and listens to the mixer.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "framework/forms.h"
#include "platform/backend/headless/headless_audio.h"
#include "platform/backend/headless/headless_core.h"
#include "platform/backend/headless/headless_input.h"
#include "platform/backend/headless/headless_video.h"
#include "platform/ddraw/ddraw.h"
#include "platform/ddraw/ddraw_seam.h"
#include "platform/win/user_seam.h"
#include "tests/engine_form.h"
#include "tests/engine_scene.h"

namespace {

// SDL scancodes.
constexpr int kRight = 79, kLeft = 80, kSpace = 44;

std::string DataDir() {
  return std::string(TAL_BIN_DIR) + "/data";
}

// Mean square of one channel of interleaved stereo samples.
double Power(const std::vector<int16_t>& Samples, int Channel) {
  double sum = 0;
  size_t n = 0;
  for (size_t i = static_cast<size_t>(Channel); i < Samples.size(); i += 2, ++n)
    sum += static_cast<double>(Samples[i]) * Samples[i];
  return n ? sum / static_cast<double>(n) : 0;
}

struct TRun {
  uint64_t FrameSum = 1469598103934665603ull;
  int Frames = 0;
  int Unpresented = 0;
  int64_t MovedTime = 0;
  int FrameRate = 0;
  double ShipX60 = 0, ShipX180 = 0, ShipX240 = 0, ShipY250 = 0, ShipY290 = 0;
  double CoverageAfterRight = 0, CoverageAtStart = 0, CoverageAtEnd = 0;
  int ShotsFired = 0, Kills = 0, SoundsPlayed = 0, LiveEnemies = 0, SpriteCount = 0, Backdrops = 0;
  std::set<std::string> Archives;
  double FightPowerL = 0, FightPowerR = 0;
  double LeftPanL = 0, LeftPanR = 0, RightPanL = 0, RightPanR = 0;
  std::vector<TRecordedMessageBox> Boxes;
};

constexpr int kEnemies = 100;
constexpr int kFrames = 960;

// One whole scripted run on a fresh application and backend.
TRun PlayScript() {
  TRun run;
  TApplicationScope scope;
  HeadlessInstall(1000);
  THeadlessVideo& video = HeadlessInstallVideo();
  DDRegisterModule();
  HeadlessInstallAudio();
  HeadlessInstallInput();
  std::shared_ptr<TScriptedJoystick> joystick = HeadlessAddJoystick(true);
  // One frame per idle pass, 16 ms apart, as a 60 Hz display paces the game.
  HeadlessSetIdlePace([] { HeadlessAdvance(16); });

  auto* form = Application->CreateForm<TEngineForm>(DataDir());
  auto scene = std::make_unique<TScene>(*form, kEnemies, 20261210);
  TScenePlayer& ship = *scene->Player;

  int presented = video.FrameCount();
  form->OnFrameFlipped = [&](int Frame) {
    const TDDFrame& shown = video.LastFrame();
    // Each flip presents the frame just drawn.
    run.Unpresented += video.FrameCount() == presented;
    presented = video.FrameCount();
    const std::string_view bytes(reinterpret_cast<const char*>(shown.Pixels.data()),
                                 shown.Pixels.size() * sizeof(uint32_t));
    run.FrameSum = (run.FrameSum ^ std::hash<std::string_view>{}(bytes)) * 1099511628211ull;
    auto coverage = [&] {
      return SpriteCoverage(ship, shown.Pixels.data(), static_cast<int>(shown.Width),
                            static_cast<int>(shown.Height));
    };
    switch (Frame) {
      // Keyboard: Right for frames 61..180.
      case 60:
        run.ShipX60 = ship.X;
        HeadlessKeyDown(kRight);
        break;
      case 180:
        run.ShipX180 = ship.X;
        run.CoverageAfterRight = coverage();
        {
          // Where it was before: no longer there.
          const double x = ship.X;
          ship.X = run.ShipX60;
          run.CoverageAtStart = coverage();
          ship.X = x;
        }
        HeadlessKeyUp(kRight);
        break;
      case 240:
        run.ShipX240 = ship.X;
        break;
      // Joystick: pushed forward for frames 251..280.
      case 250:
        run.ShipY250 = ship.Y;
        joystick->sample.Axes[1] = -32767;
        break;
      case 280:
        joystick->sample.Axes[1] = 0;
        break;
      case 290:
        run.ShipY290 = ship.Y;
        break;
      // The fight: fire held, sweeping left, then right.
      case 300:
        HeadlessKeyDown(kSpace);
        HeadlessKeyDown(kLeft);
        TakeHeadlessAudio();
        break;
      case 420:
        HeadlessKeyUp(kLeft);
        HeadlessKeyDown(kRight);
        break;
      case 600:
        HeadlessKeyUp(kRight);
        break;
      case 650: {
        HeadlessKeyUp(kSpace);
        std::vector<int16_t> fight = TakeHeadlessAudio();
        run.FightPowerL = Power(fight, 0);
        run.FightPowerR = Power(fight, 1);
        break;
      }
      // Another program takes the display and the sound device: surfaces
      // and buffers are lost, and both must come back by themselves.
      case 700:
        form->DXDraw->DDraw->IDDraw()->LoseSurfaces();
        form->DXSound->DSound()->IDSound()->ForceAllLost();
        break;
      // Quiet again (the last explosion has faded): one shot panned hard
      // left at full volume, then the same hard right 6 dB down.
      case 850:
        TakeHeadlessAudio();
        form->PlaySound("weapon1", 0, -10000);
        break;
      case 880: {
        std::vector<int16_t> left = TakeHeadlessAudio();
        run.LeftPanL = Power(left, 0);
        run.LeftPanR = Power(left, 1);
        form->PlaySound("weapon1", -600, 10000);
        break;
      }
      case 910: {
        std::vector<int16_t> right = TakeHeadlessAudio();
        run.RightPanL = Power(right, 0);
        run.RightPanR = Power(right, 1);
        break;
      }
      default:
        break;
    }
    // Mouse: moved left for frames 201..230.
    if (Frame >= 200 && Frame < 230) HeadlessMouseMotion(-4, 0);
    if (Frame == kFrames) {
      run.CoverageAtEnd = coverage();
      Application->Terminate();
    }
  };
  Application->Run();

  run.Frames = form->FrameCount();
  run.MovedTime = form->MovedTime();
  run.FrameRate = form->DXTimer->FrameRate();
  run.ShotsFired = scene->ShotsFired;
  run.Kills = scene->Kills;
  run.SoundsPlayed = scene->SoundsPlayed;
  run.SpriteCount = form->DXSpriteEngine->Engine()->SpriteCount();
  run.Backdrops = scene->Backdrops;
  run.Archives = scene->ArchivesShown;
  delete form;
  run.LiveEnemies = scene->LiveEnemies;
  run.Boxes = TakeRecordedMessageBoxes();

  scene.reset();
  DDSetVideoOutput(nullptr);
  UninstallHeadlessAudio();
  InputHost().Reset();
  FreeDirectXLibraries();
  HeadlessUninstall();
  return run;
}

// One test, so the script plays twice in all (each test runs in a process of
// its own under CTest).
TEST(EngineEndToEnd, ScriptedSceneRunsTheSameOnEveryRun) {
  ASSERT_TRUE(FileExists(DataDir() + "/graphic/data.dan")) << DataDir() << " holds no archives";
  const TRun r = PlayScript();
  for (const auto& box : r.Boxes) ADD_FAILURE() << box.Caption << ": " << box.Text;

  // The frame loop: every idle pass is a frame (Interval 0) moved by the
  // 16 ms that passed (the first by less: it counts from the display's
  // start), and every frame reaches the screen, also across the loss of the
  // display at frame 700.
  EXPECT_EQ(r.Frames, kFrames);
  EXPECT_EQ(r.Unpresented, 0);
  EXPECT_GT(r.MovedTime, int64_t{16} * (kFrames - 1));
  EXPECT_LE(r.MovedTime, int64_t{16} * kFrames);
  EXPECT_NEAR(r.FrameRate, 1000 / 16.0, 1);

  // Input: keyboard Right for 120 frames, mouse left for 30, joystick
  // forward for 30; the presented frame shows the ship where it went and no
  // longer where it was, and shows it again at the end, so the pictures
  // were cut anew after the loss.
  const double step = TScene::ShipSpeed * 16;
  EXPECT_NEAR(r.ShipX180 - r.ShipX60, 120 * step, 1e-6);
  EXPECT_NEAR(r.ShipX240 - r.ShipX180, -30 * step, 1e-6);
  EXPECT_NEAR(r.ShipY290 - r.ShipY250, -30 * step, 1e-6);
  EXPECT_GT(r.CoverageAfterRight, 0.99);
  EXPECT_LT(r.CoverageAtStart, 0.5);
  EXPECT_GT(r.CoverageAtEnd, 0.99);

  // Sprites: shots hit, enemies die and are replaced, the dead are freed,
  // and every picture archive was on the screen.
  EXPECT_GT(r.ShotsFired, 30);
  EXPECT_GT(r.Kills, 10);
  EXPECT_EQ(r.SoundsPlayed, r.Kills);
  EXPECT_EQ(r.LiveEnemies, 0) << "enemies outlived their form";
  EXPECT_EQ(r.SpriteCount, kEnemies + 1 + r.Backdrops) << "shots and explosions outlived their end";
  EXPECT_EQ(r.Archives.size(), TEngineForm::PictureArchives.size());

  // Sound: explosions all over the screen reach both sides; after the
  // device was lost, a shot panned hard left is silent on the right, and
  // hard right at -6 dB has half the amplitude, a quarter of the power.
  EXPECT_GT(r.FightPowerL, 1e4);
  EXPECT_GT(r.FightPowerR, 1e4);
  EXPECT_GT(r.LeftPanL, 1e5);
  EXPECT_EQ(r.LeftPanR, 0);
  EXPECT_EQ(r.RightPanL, 0);
  EXPECT_NEAR(r.RightPanR / r.LeftPanL, 0.251, 0.03);

  // The same script gives the same frames and the same sound.
  const TRun again = PlayScript();
  EXPECT_EQ(again.FrameSum, r.FrameSum);
  EXPECT_EQ(again.Kills, r.Kills);
  EXPECT_EQ(again.ShotsFired, r.ShotsFired);
  EXPECT_EQ(again.FightPowerL, r.FightPowerL);
  EXPECT_EQ(again.FightPowerR, r.FightPowerR);
}

}  // namespace
