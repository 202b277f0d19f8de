#include "platform/backend/headless/headless_video.h"

void THeadlessVideo::Present(const TDDFrame& Frame) {
  last_ = Frame;
  ++frames_;
}

uint32_t THeadlessVideo::Pixel(uint32_t X, uint32_t Y) const {
  if (X >= last_.Width || Y >= last_.Height) return 0;
  return last_.Pixels[static_cast<size_t>(Y) * last_.Width + X];
}

void THeadlessVideo::Reset() {
  last_ = TDDFrame{};
  frames_ = 0;
  modes_ = StandardModes();
}

std::vector<TDDDisplayMode> THeadlessVideo::StandardModes() {
  std::vector<TDDDisplayMode> modes;
  for (uint32_t bits : {8u, 16u, 24u, 32u})
    for (auto [w, h] : {std::pair{640u, 480u}, {800u, 600u}, {1024u, 768u}})
      modes.push_back({w, h, bits});
  return modes;
}

THeadlessVideo& HeadlessVideo() {
  static THeadlessVideo video;
  return video;
}

THeadlessVideo& HeadlessInstallVideo() {
  THeadlessVideo& v = HeadlessVideo();
  v.Reset();
  DDFaults() = TDDFaults{};
  DDSetVideoOutput(&v);
  return v;
}
