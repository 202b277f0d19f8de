#include "platform/backend/sdl/sdl_video.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/backend/sdl/xvfb_server.h"
#include "tests/main/real_clock.h"

namespace {

TEST(SdlVideo, PresentsTheBackSurfaceThroughTheGammaRampUnderX) {
  std::string xvfb = TXvfbServer::Find();
  if (xvfb.empty()) GTEST_SKIP() << "Xvfb is not installed";
  TXvfbServer server;
  ASSERT_TRUE(server.Start(xvfb)) << "Xvfb did not start";
  setenv("DISPLAY", server.Display().c_str(), 1);
  setenv("SDL_VIDEODRIVER", "x11", 1);
  ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
  SDL_Window* window =
      SDL_CreateWindow("talgame", 0, 0, 800, 600, SDL_WINDOW_SHOWN | SDL_WINDOW_BORDERLESS);
  ASSERT_NE(window, nullptr) << SDL_GetError();

  {
    TSdlVideo video([&] { return window; });
    video.KeepReadback = true;
    DDSetVideoOutput(&video);
    PDirectDraw dd;
    ASSERT_EQ(DirectDrawCreateEx(nullptr, &dd), DD_OK);
    DDSURFACEDESC d;
    d.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    d.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    d.dwBackBufferCount = 1;
    PDirectDrawSurface primary, back;
    ASSERT_EQ(dd->CreateSurface(&d, &primary), DD_OK);
    DDSCAPS caps{DDSCAPS_BACKBUFFER};
    ASSERT_EQ(primary->GetAttachedSurface(&caps, &back), DD_OK);

    // A fade to three quarters, as the game's brightness does.
    DDGAMMARAMP ramp;
    for (int i = 0; i < 256; ++i)
      ramp.red[i] = ramp.green[i] = ramp.blue[i] = static_cast<uint16_t>(i * 3 / 4 * 257);
    PDirectDrawGammaControl gamma;
    ASSERT_EQ(primary->QueryGammaControl(&gamma), DD_OK);
    gamma->SetGammaRamp(0, &ramp);

    // Every 5-6-5 value along the rows, so each channel's every level shows.
    DDSURFACEDESC lk;
    ASSERT_EQ(back->Lock(nullptr, &lk, DDLOCK_WAIT, nullptr), DD_OK);
    for (uint32_t y = 0; y < 600; ++y)
      for (uint32_t x = 0; x < 800; ++x) {
        uint16_t v = static_cast<uint16_t>((y * 800 + x) * 7);
        std::memcpy(
            static_cast<uint8_t*>(lk.lpSurface) + y * static_cast<uint32_t>(lk.lPitch) + 2 * x, &v,
            2);
      }
    back->Unlock(nullptr);
    ASSERT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);

    ASSERT_EQ(video.ReadbackWidth(), 800);
    ASSERT_EQ(video.ReadbackHeight(), 600);
    int wrong = 0;
    for (uint32_t y = 0; y < 600; ++y)
      for (uint32_t x = 0; x < 800; ++x) {
        uint32_t v = static_cast<uint16_t>((y * 800 + x) * 7);
        uint32_t r5 = v >> 11, g6 = (v >> 5) & 63, b5 = v & 31;
        uint32_t r = (r5 << 3) | r5, g = (g6 << 2) | g6, b = (b5 << 3) | b5;
        uint32_t want =
            ((ramp.red[r] >> 8) << 16) | ((ramp.green[g] >> 8) << 8) | (ramp.blue[b] >> 8);
        if (video.Readback()[y * 800 + x] != want && ++wrong < 5)
          ADD_FAILURE() << "at " << x << "," << y << std::hex << " got "
                        << video.Readback()[y * 800 + x] << " want " << want;
      }
    EXPECT_EQ(wrong, 0);

    // A wider window keeps the picture's aspect: black bars at the sides.
    SDL_SetWindowSize(window, 1000, 600);
    SDL_PumpEvents();
    DDBLTFX white;
    white.dwFillColor = 0xFFFF;
    ASSERT_EQ(back->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &white), DD_OK);
    ASSERT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);
    ASSERT_EQ(video.ReadbackWidth(), 1000);
    ASSERT_EQ(video.ReadbackHeight(), 600);
    for (int y : {0, 300, 599}) {
      EXPECT_EQ(video.Readback()[static_cast<size_t>(y) * 1000 + 50], 0u) << y;
      EXPECT_EQ(video.Readback()[static_cast<size_t>(y) * 1000 + 950], 0u) << y;
      EXPECT_EQ(video.Readback()[static_cast<size_t>(y) * 1000 + 500], 0xBFBFBFu)
          << y;  // white at 3/4
      EXPECT_EQ(video.Readback()[static_cast<size_t>(y) * 1000 + 100], 0xBFBFBFu)
          << y;  // the picture's first column
    }

    // A full-screen device takes the whole desktop (1024 x 768 here), even
    // for a window made borderless at its own size. The X server resizes the
    // window in its own time: the frame loop goes on meanwhile.
    dd->SetCooperativeLevel(nullptr, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE | DDSCL_ALLOWMODEX);
    auto covered = [&] {
      return video.ReadbackWidth() == 1024 && video.ReadbackHeight() == 768 &&
             video.Readback()[0] == 0xBFBFBFu && video.Readback()[1024 * 768 - 1] == 0xBFBFBFu;
    };
    WaitOnRealClock([&] {
      if (covered()) return true;
      EXPECT_EQ(back->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &white), DD_OK);
      EXPECT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);
      SDL_PumpEvents();
      return false;
    });
    int ww = 0, wh = 0;
    SDL_GetWindowSize(window, &ww, &wh);
    EXPECT_EQ(std::vector<int>({ww, wh}), std::vector<int>({1024, 768}));
    EXPECT_TRUE(covered());
    DDSetVideoOutput(nullptr);
  }
  SDL_DestroyWindow(window);
  // SDL's video stays up: quitting it unloads the X libraries, whose own
  // start-up allocations would then show as leaks of unknown modules.
}

}  // namespace
