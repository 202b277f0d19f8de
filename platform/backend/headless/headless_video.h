// The test backend's video output: it keeps every presented frame's picture
// (the last one in full) and offers a display-mode list the test chooses.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/ddraw/ddraw_seam.h"

class THeadlessVideo : public IDDVideoOutput {
 public:
  void Present(const TDDFrame& Frame) override;
  std::vector<TDDDisplayMode> DisplayModes() const override { return modes_; }

  // The picture of the last presented frame.
  const TDDFrame& LastFrame() const { return last_; }
  int FrameCount() const { return frames_; }
  // 0x00RRGGBB of the last frame at (X, Y); 0 outside.
  uint32_t Pixel(uint32_t X, uint32_t Y) const;
  void SetDisplayModes(std::vector<TDDDisplayMode> Modes) { modes_ = std::move(Modes); }
  void Reset();

 private:
  TDDFrame last_;
  int frames_ = 0;
  std::vector<TDDDisplayMode> modes_ = StandardModes();
  static std::vector<TDDDisplayMode> StandardModes();
};

// Installs a fresh headless video output as the layer's output and returns
// it; also clears the layer's fault counters.
THeadlessVideo& HeadlessInstallVideo();
THeadlessVideo& HeadlessVideo();
