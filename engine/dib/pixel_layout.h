// How red, green and blue sit in 16- and 32-bit pixels, and the small colour
// helpers around colour tables and palettes. PackPixel and UnpackPixel go
// through the pixel channels of platform/gdi, the same conversion that
// device contexts and surfaces use, so a bitmap's colours, canvas drawing on
// it and colour keys all agree.
#pragma once

#include <array>
#include <cstdint>

#include "framework/graphics.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/pixel_channels.h"

struct TPixelLayout {
  int32_t RedMask = 0, GreenMask = 0, BlueMask = 0;
  int32_t RedBits = 0, GreenBits = 0, BlueBits = 0;
  int32_t RedShift = 0, GreenShift = 0, BlueShift = 0;
  int32_t RedFill = 0, GreenFill = 0, BlueFill = 0;
  friend bool operator==(const TPixelLayout&, const TPixelLayout&) = default;
  bool SameMasks(const TPixelLayout& o) const {
    return RedMask == o.RedMask && GreenMask == o.GreenMask && BlueMask == o.BlueMask;
  }
};

// A full colour table: always 256 entries whatever the bit count.
using TRGBQuads = std::array<RGBQUAD, 256>;
using TPaletteEntries = std::array<TPaletteEntry, 256>;

// Red above green above blue, blue at bit 0.
TPixelLayout MakePixelLayout(int32_t R, int32_t G, int32_t B);
// Counts the bits of each mask; where the masks sit is dropped, so masks that
// are not packed red-above-green-above-blue give the packed layout of the
// same counts.
TPixelLayout MakePixelLayoutFromMasks(int32_t RedMask, int32_t GreenMask, int32_t BlueMask);

inline const TPixelLayout& Layout555() {
  static const TPixelLayout l = MakePixelLayout(5, 5, 5);
  return l;
}
inline const TPixelLayout& Layout565() {
  static const TPixelLayout l = MakePixelLayout(5, 6, 5);
  return l;
}
inline const TPixelLayout& Layout888() {
  static const TPixelLayout l = MakePixelLayout(8, 8, 8);
  return l;
}

// Red and green move left into place, blue right; the fills copy the top
// bits of a widened component into its low ones.
inline TPixelChannels LayoutChannels(const TPixelLayout& L) {
  return {{static_cast<uint32_t>(L.RedMask), L.RedShift, 0, L.RedFill},
          {static_cast<uint32_t>(L.GreenMask), L.GreenShift, 0, L.GreenFill},
          {static_cast<uint32_t>(L.BlueMask), 0, L.BlueShift, L.BlueFill}};
}

inline int32_t PackPixel(const TPixelLayout& L, uint8_t R, uint8_t G, uint8_t B) {
  return static_cast<int32_t>(PackChannels(LayoutChannels(L), R, G, B));
}

inline void UnpackPixel(const TPixelLayout& L, int32_t Value, uint8_t& R, uint8_t& G, uint8_t& B) {
  UnpackChannels(LayoutChannels(L), static_cast<uint32_t>(Value), R, G, B);
}

void MakeGrayColorTable(TRGBQuads& Table);
inline RGBQUAD RGBQuad(uint8_t R, uint8_t G, uint8_t B) {
  return RGBQUAD{B, G, R, 0};
}
// Swap the first and third bytes and clear the fourth.
inline RGBQUAD PaletteEntryToRGBQuad(TPaletteEntry V) {
  return RGBQUAD{V.peBlue, V.peGreen, V.peRed, 0};
}
inline TPaletteEntry RGBQuadToPaletteEntry(RGBQUAD V) {
  return TPaletteEntry{V.rgbRed, V.rgbGreen, V.rgbBlue, 0};
}
void PaletteEntriesToRGBQuads(const TPaletteEntries& Source, TRGBQuads& Dest);
void RGBQuadsToPaletteEntries(const TRGBQuads& Source, TPaletteEntries& Dest);
