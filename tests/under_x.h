// For tests that drive the game under a virtual X server: the server, and a
// player's keys and clicks put on SDL's event queue as the desktop would
// deliver them to the window.
#pragma once

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/backend/sdl/xvfb_server.h"

// Starts a virtual X server of the game's own size (the full-screen window
// then shows the picture unscaled, pixel for pixel) and points SDL at it.
// Skips the test where no server is installed: the caller checks
// HasFatalFailure() || IsSkipped() afterwards.
inline void StartGameX(TXvfbServer& Server) {
  const std::string xvfb = TXvfbServer::Find();
  if (xvfb.empty()) GTEST_SKIP() << "Xvfb is not installed";
  ASSERT_TRUE(Server.Start(xvfb, "800x600x24")) << "Xvfb did not start";
  setenv("DISPLAY", Server.Display().c_str(), 1);
  setenv("SDL_VIDEODRIVER", "x11", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
}

inline void SdlPushEvent(SDL_Event& E) {
  EXPECT_EQ(SDL_PushEvent(&E), 1) << SDL_GetError();
}

inline void SdlPushKey(SDL_Window* Window, SDL_Scancode Code, bool Down) {
  SDL_Event e{};
  e.type = Down ? SDL_KEYDOWN : SDL_KEYUP;
  e.key.windowID = SDL_GetWindowID(Window);
  e.key.state = Down ? SDL_PRESSED : SDL_RELEASED;
  e.key.keysym.scancode = Code;
  e.key.keysym.sym = SDL_GetKeyFromScancode(Code);
  SdlPushEvent(e);
}

// The pointer moves to (X, Y) and the left button goes down and up there.
inline void SdlPushClick(SDL_Window* Window, int X, int Y) {
  SDL_Event move{};
  move.type = SDL_MOUSEMOTION;
  move.motion.windowID = SDL_GetWindowID(Window);
  move.motion.x = X;
  move.motion.y = Y;
  SdlPushEvent(move);
  for (bool down : {true, false}) {
    SDL_Event b{};
    b.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    b.button.windowID = SDL_GetWindowID(Window);
    b.button.button = SDL_BUTTON_LEFT;
    b.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    b.button.clicks = 1;
    b.button.x = X;
    b.button.y = Y;
    SdlPushEvent(b);
  }
}
