#include "platform/backend/sdl/sdl_video.h"

#include <cstdio>
#include <memory>

#include "platform/backend/sdl/sdl_core.h"

TSdlVideo::TSdlVideo(std::function<SDL_Window*()> Window) : window_fn_(std::move(Window)) {}

TSdlVideo::~TSdlVideo() {
  Release();
}

void TSdlVideo::Release() {
  if (texture_) SDL_DestroyTexture(texture_);
  if (renderer_) SDL_DestroyRenderer(renderer_);
  texture_ = nullptr;
  renderer_ = nullptr;
  window_ = nullptr;
  covered_ = nullptr;
  tex_w_ = tex_h_ = 0;
}

// Full screen is a borderless window over the whole desktop, whatever border
// the window was made with; the video mode itself never changes. Done once
// per window, so a window manager that places it otherwise is not fought
// every frame.
void TSdlVideo::CoverDesktop(SDL_Window* Window) {
  if (SDL_GetWindowFlags(Window) & SDL_WINDOW_FULLSCREEN) return;
  const int display = SDL_GetWindowDisplayIndex(Window);
  SDL_Rect r;
  if (display < 0 || SDL_GetDisplayBounds(display, &r) != 0) return;
  SDL_SetWindowBordered(Window, SDL_FALSE);
  SDL_SetWindowPosition(Window, r.x, r.y);
  SDL_SetWindowSize(Window, r.w, r.h);
}

bool TSdlVideo::Prepare(SDL_Window* Window, const TDDFrame& Frame) {
  if (Window != window_) {
    Release();
    renderer_ =
        SDL_CreateRenderer(Window, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
    if (!renderer_) renderer_ = SDL_CreateRenderer(Window, -1, SDL_RENDERER_SOFTWARE);
    if (!renderer_) {
      std::fprintf(stderr, "talgame: no renderer for the window: %s\n", SDL_GetError());
      return false;
    }
    window_ = Window;
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "linear");
  }
  if (Frame.FullScreen && covered_ != Window) {
    CoverDesktop(Window);
    covered_ = Window;
  }
  if (!texture_ || tex_w_ != Frame.Width || tex_h_ != Frame.Height) {
    if (texture_) SDL_DestroyTexture(texture_);
    texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING,
                                 static_cast<int>(Frame.Width), static_cast<int>(Frame.Height));
    if (!texture_) return false;
    tex_w_ = Frame.Width;
    tex_h_ = Frame.Height;
    // Scales the logical picture to the window, keeping its aspect.
    SDL_RenderSetLogicalSize(renderer_, static_cast<int>(Frame.Width),
                             static_cast<int>(Frame.Height));
  }
  return true;
}

void TSdlVideo::Present(const TDDFrame& Frame) {
  SDL_Window* w = window_fn_ ? window_fn_() : nullptr;
  if (!w || !Frame.Width || !Frame.Height) return;
  if (!Prepare(w, Frame)) return;
  SDL_UpdateTexture(texture_, nullptr, Frame.Pixels.data(), static_cast<int>(Frame.Width * 4));
  SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
  SDL_RenderClear(renderer_);
  SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
  if (KeepReadback) {
    int ow = 0, oh = 0;
    SDL_GetRendererOutputSize(renderer_, &ow, &oh);
    // Read the whole output, bars included, at its real size.
    SDL_Rect vp;
    SDL_RenderGetViewport(renderer_, &vp);
    SDL_RenderSetLogicalSize(renderer_, 0, 0);
    SDL_RenderSetViewport(renderer_, nullptr);
    readback_.assign(static_cast<size_t>(ow) * static_cast<size_t>(oh), 0);
    if (SDL_RenderReadPixels(renderer_, nullptr, SDL_PIXELFORMAT_RGB888, readback_.data(),
                             ow * 4) == 0) {
      readback_w_ = ow;
      readback_h_ = oh;
    } else {
      readback_.clear();
      readback_w_ = readback_h_ = 0;
    }
    SDL_RenderSetLogicalSize(renderer_, static_cast<int>(Frame.Width),
                             static_cast<int>(Frame.Height));
    for (uint32_t& p : readback_) p &= 0x00FFFFFFu;
  }
  SDL_RenderPresent(renderer_);
}

std::vector<TDDDisplayMode> TSdlVideo::DisplayModes() const {
  // Logical modes: any of them is shown scaled on the desktop as it is.
  std::vector<TDDDisplayMode> modes;
  for (uint32_t bits : {8u, 16u, 24u, 32u})
    for (auto [w, h] : {std::pair{640u, 480u}, {800u, 600u}, {1024u, 768u}})
      modes.push_back({w, h, bits});
  return modes;
}

namespace {
std::unique_ptr<TSdlVideo> gVideo;
}

void SdlInstallVideo() {
  gVideo = std::make_unique<TSdlVideo>([] { return SdlMainWindow(); });
  DDSetVideoOutput(gVideo.get());
}

void SdlUninstallVideo() {
  if (DDVideoOutput() == gVideo.get()) DDSetVideoOutput(nullptr);
  gVideo.reset();
}

TSdlVideo* SdlVideo() {
  return gVideo.get();
}
