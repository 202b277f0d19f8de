#include "platform/backend/sdl/sdl_input.h"

#include <gtest/gtest.h>

namespace {

TEST(SdlInput, HatsBecomePointOfViewValues) {
  const std::pair<uint8_t, int32_t> cases[] = {
      {SDL_HAT_CENTERED, -1},     {SDL_HAT_UP, 0},
      {SDL_HAT_RIGHTUP, 4500},    {SDL_HAT_RIGHT, 9000},
      {SDL_HAT_RIGHTDOWN, 13500}, {SDL_HAT_DOWN, 18000},
      {SDL_HAT_LEFTDOWN, 22500},  {SDL_HAT_LEFT, 27000},
      {SDL_HAT_LEFTUP, 31500},    {SDL_HAT_UP | SDL_HAT_DOWN, -1},
  };
  for (const auto& [hat, pov] : cases) EXPECT_EQ(HatToPov(hat), pov) << int(hat);
}

TEST(SdlInput, EffectsTranslateToHapticEffects) {
  THapticEffect c;
  c.Kind = THapticEffect::hkConstant;
  c.Duration = 400000;
  c.Gain = 5000;
  c.Magnitude = 10000;
  c.DirectionX = 0;
  c.DirectionY = -10000;
  c.FadeTime = 400000;
  c.AttackLevel = 10000;
  SDL_HapticEffect e;
  ASSERT_TRUE(ToSdlHapticEffect(c, e));
  EXPECT_EQ(e.type, SDL_HAPTIC_CONSTANT);
  EXPECT_EQ(e.constant.length, 400u);
  EXPECT_EQ(e.constant.level, 16383);  // half gain
  EXPECT_EQ(e.constant.attack_level, 16383);
  EXPECT_EQ(e.constant.fade_length, 400);
  EXPECT_EQ(e.constant.direction.type, SDL_HAPTIC_CARTESIAN);
  EXPECT_EQ(e.constant.direction.dir[1], -10000);

  c.Duration = 0xFFFFFFFF;
  c.Gain = 10000;
  c.Magnitude = 14142;  // beyond full scale: clipped
  ASSERT_TRUE(ToSdlHapticEffect(c, e));
  EXPECT_EQ(e.constant.length, SDL_HAPTIC_INFINITY);
  EXPECT_EQ(e.constant.level, 32767);

  THapticEffect p;
  p.Kind = THapticEffect::hkSine;
  p.Duration = 50000;
  p.Period = 30000;
  p.Magnitude = 10000;
  ASSERT_TRUE(ToSdlHapticEffect(p, e));
  EXPECT_EQ(e.type, SDL_HAPTIC_SINE);
  EXPECT_EQ(e.periodic.period, 30);
  EXPECT_EQ(e.periodic.length, 50u);

  THapticEffect s;
  s.Kind = THapticEffect::hkSpring;
  s.AxisCount = 1;
  s.AxisOffsets[0] = 4;
  s.Offset = 800;
  s.PositiveCoefficient = 800;
  s.NegativeCoefficient = -800;
  ASSERT_TRUE(ToSdlHapticEffect(s, e));
  EXPECT_EQ(e.type, SDL_HAPTIC_SPRING);
  EXPECT_EQ(e.condition.right_coeff[1], 2621);
  EXPECT_EQ(e.condition.left_coeff[1], -2621);
  EXPECT_EQ(e.condition.center[1], 2621);
  EXPECT_EQ(e.condition.right_coeff[0], 0);

  THapticEffect q;
  q.Kind = THapticEffect::hkSquare;
  EXPECT_FALSE(ToSdlHapticEffect(q, e));
}

}  // namespace

#include <cstdlib>
#include <string>

#include "platform/backend/sdl/sdl_core.h"
#include "platform/win/user.h"

namespace {

// The event path end to end on SDL's window-less driver: SDL's events reach
// the host through the core's pump.
TEST(SdlInput, EventsReachTheHost) {
  const char* saved = std::getenv("SDL_VIDEODRIVER");
  const std::string keep = saved ? saved : "";
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  const bool up = SdlInstall();
  if (saved)
    setenv("SDL_VIDEODRIVER", keep.c_str(), 1);
  else
    unsetenv("SDL_VIDEODRIVER");
  if (!up) GTEST_SKIP() << "SDL cannot start here";
  SdlInstallInput();
  InputHost().Reset();
  auto push = [](SDL_Event e) { SDL_PushEvent(&e); };
  auto pump = [] {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
    }
  };
  SDL_Event e{};
  e.type = SDL_KEYDOWN;
  e.key.keysym.scancode = SDL_SCANCODE_APOSTROPHE;
  push(e);
  e = {};
  e.type = SDL_MOUSEMOTION;
  e.motion.xrel = 3;
  e.motion.yrel = -2;
  push(e);
  e = {};
  e.type = SDL_MOUSEBUTTONDOWN;
  e.button.button = SDL_BUTTON_RIGHT;
  push(e);
  pump();
  EXPECT_EQ(InputHost().ScanKeys()[40], 0x80);
  EXPECT_EQ(InputHost().MouseTotal(0), 3);
  EXPECT_EQ(InputHost().MouseTotal(1), -2);
  EXPECT_TRUE(InputHost().MouseButtonDown(1));
  // Losing the focus lets go of everything held.
  e = {};
  e.type = SDL_WINDOWEVENT;
  e.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
  push(e);
  pump();
  EXPECT_EQ(InputHost().ScanKeys()[40], 0);
  EXPECT_FALSE(InputHost().MouseButtonDown(1));
  SdlInputUninstall();
  SdlUninstall();
}

}  // namespace

namespace {

// A wider desktop than the picture: SDL maps positions onto the picture, and
// points on the bars stay on its edge, so the pointer never leaves it.
TEST(SdlInput, PointerStaysOnThePictureOverTheBars) {
  const char* saved = std::getenv("SDL_VIDEODRIVER");
  const std::string keep = saved ? saved : "";
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  const bool up = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
  if (saved)
    setenv("SDL_VIDEODRIVER", keep.c_str(), 1);
  else
    unsetenv("SDL_VIDEODRIVER");
  if (!up) GTEST_SKIP() << "SDL cannot start here";
  SDL_Window* w = SDL_CreateWindow("talgame", 0, 0, 1000, 600, 0);
  ASSERT_NE(w, nullptr) << SDL_GetError();
  int32_t x = -40, y = 700;
  SdlClampToPicture(w, x, y);  // no picture yet: as it came
  EXPECT_EQ(x, -40);
  EXPECT_EQ(y, 700);
  SDL_Renderer* r = SDL_CreateRenderer(w, -1, SDL_RENDERER_SOFTWARE);
  ASSERT_NE(r, nullptr) << SDL_GetError();
  ASSERT_EQ(SDL_RenderSetLogicalSize(r, 800, 600), 0);
  struct Case {
    int wx, wy, lx, ly;
  } cases[] = {{500, 300, 400, 300},
               {100, 0, 0, 0},
               {899, 599, 799, 599},
               {20, 300, 0, 300},
               {990, 300, 799, 300}};
  for (const auto& c : cases) {
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.windowID = SDL_GetWindowID(w);
    e.motion.x = c.wx;
    e.motion.y = c.wy;
    SDL_PushEvent(&e);
    SDL_Event got{}, any;
    while (SDL_PollEvent(&any))
      if (any.type == SDL_MOUSEMOTION) got = any;
    ASSERT_EQ(got.type, SDL_MOUSEMOTION);
    int32_t lx = got.motion.x, ly = got.motion.y;
    SdlClampToPicture(w, lx, ly);
    EXPECT_EQ(lx, c.lx) << c.wx;
    EXPECT_EQ(ly, c.ly) << c.wy;
  }
  SDL_DestroyRenderer(r);
  SDL_DestroyWindow(w);
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

}  // namespace
