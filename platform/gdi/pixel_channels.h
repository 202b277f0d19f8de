// The one conversion between 8-bit colour components and the pixels of 16-,
// 24- and 32-bit buffers. Bitmaps, device contexts (canvas drawing, picture
// loading, colour keys) and surfaces all convert through it, so a colour
// becomes the same pixel wherever it is drawn and keys keep matching.
#pragma once

#include <bit>
#include <cstdint>

// Where one component sits in a pixel. Packing moves the 8-bit value Up bits
// left then Down bits right and keeps what falls inside Mask, so a narrow
// component keeps its top bits. Unpacking makes the reverse moves, keeps the
// low byte, then copies the top bits into the low ones (a shift by Fill), so
// full intensity reads back as 255 and 0 as 0; a Fill of 8 or more copies
// nothing. Shift counts are used modulo 32.
struct TPixelChannel {
  uint32_t Mask = 0;
  int32_t Up = 0, Down = 0, Fill = 8;
};

struct TPixelChannels {
  TPixelChannel Red, Green, Blue;
};

inline uint32_t PackChannel(const TPixelChannel& C, uint8_t V) {
  return ((static_cast<uint32_t>(V) << (static_cast<uint32_t>(C.Up) & 31)) >>
          (static_cast<uint32_t>(C.Down) & 31)) &
         C.Mask;
}

inline uint8_t UnpackChannel(const TPixelChannel& C, uint32_t Pixel) {
  const auto v = static_cast<uint8_t>(((Pixel & C.Mask) >> (static_cast<uint32_t>(C.Up) & 31))
                                      << (static_cast<uint32_t>(C.Down) & 31));
  return static_cast<uint8_t>(v | (v >> (static_cast<uint32_t>(C.Fill) & 31)));
}

inline uint32_t PackChannels(const TPixelChannels& C, uint8_t R, uint8_t G, uint8_t B) {
  return PackChannel(C.Red, R) | PackChannel(C.Green, G) | PackChannel(C.Blue, B);
}

inline void UnpackChannels(const TPixelChannels& C, uint32_t Pixel, uint8_t& R, uint8_t& G,
                           uint8_t& B) {
  R = UnpackChannel(C.Red, Pixel);
  G = UnpackChannel(C.Green, Pixel);
  B = UnpackChannel(C.Blue, Pixel);
}

// A component under a mask wherever the mask sits (a mask is one run of set
// bits); a zero mask packs and reads as 0.
inline TPixelChannel ChannelFromMask(uint32_t Mask) {
  if (!Mask) return TPixelChannel{};
  const int32_t bits = std::popcount(Mask);
  const int32_t low = std::countr_zero(Mask) + bits - 8;  // where an 8-bit value's low bit lands
  return TPixelChannel{Mask, low > 0 ? low : 0, low < 0 ? -low : 0, bits <= 8 ? 8 - bits : 8};
}

inline TPixelChannels ChannelsFromMasks(uint32_t RedMask, uint32_t GreenMask, uint32_t BlueMask) {
  return {ChannelFromMask(RedMask), ChannelFromMask(GreenMask), ChannelFromMask(BlueMask)};
}
