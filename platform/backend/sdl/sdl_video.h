// The SDL backend's video output: the logical picture (800 x 600 in the
// game) shown in the main window through an SDL renderer, scaled with its
// aspect kept (bars where the window is wider), presented once per frame
// with vertical sync. A full-screen device makes the window borderless and
// desktop-sized; the real video mode never changes.
#pragma once

#include <SDL.h>

#include <functional>
#include <vector>

#include "platform/ddraw/ddraw_seam.h"

class TSdlVideo : public IDDVideoOutput {
 public:
  // Window gives the window to show frames in (the main form's by default);
  // nil means frames go nowhere for now.
  explicit TSdlVideo(std::function<SDL_Window*()> Window);
  ~TSdlVideo() override;
  TSdlVideo(const TSdlVideo&) = delete;
  TSdlVideo& operator=(const TSdlVideo&) = delete;

  void Present(const TDDFrame& Frame) override;
  std::vector<TDDDisplayMode> DisplayModes() const override;

  SDL_Renderer* Renderer() const { return renderer_; }
  // When set, each presentation reads the rendered picture back (0x00RRGGBB,
  // the window's output size) before showing it: for tests.
  bool KeepReadback = false;
  const std::vector<uint32_t>& Readback() const { return readback_; }
  int ReadbackWidth() const { return readback_w_; }
  int ReadbackHeight() const { return readback_h_; }

 private:
  bool Prepare(SDL_Window* Window, const TDDFrame& Frame);
  void CoverDesktop(SDL_Window* Window);
  void Release();
  std::function<SDL_Window*()> window_fn_;
  SDL_Window* window_ = nullptr;
  SDL_Window* covered_ = nullptr;  // the window made to cover the desktop
  SDL_Renderer* renderer_ = nullptr;
  SDL_Texture* texture_ = nullptr;
  uint32_t tex_w_ = 0, tex_h_ = 0;
  std::vector<uint32_t> readback_;
  int readback_w_ = 0, readback_h_ = 0;
};

// Makes the SDL video output the layer's output, showing frames in the main
// form's window. The programs call it after SdlInstall.
void SdlInstallVideo();
void SdlUninstallVideo();
TSdlVideo* SdlVideo();
