// Rectangles, points and colours as every layer passes them, from the
// device contexts and surfaces up to the game.
#pragma once

#include <cstdint>

struct TPoint {
  int32_t X = 0, Y = 0;
  friend bool operator==(const TPoint&, const TPoint&) = default;
};

struct TRect {
  int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
  int32_t Width() const { return Right - Left; }
  int32_t Height() const { return Bottom - Top; }
  friend bool operator==(const TRect&, const TRect&) = default;
};

inline TRect Rect(int32_t l, int32_t t, int32_t r, int32_t b) { return TRect{l, t, r, b}; }
inline TRect Bounds(int32_t l, int32_t t, int32_t w, int32_t h) { return TRect{l, t, l + w, t + h}; }
// True when the rectangles share area; touching edges do not overlap.
inline bool RectsOverlap(const TRect& R1, const TRect& R2) {
  return R1.Left < R2.Right && R2.Left < R1.Right && R1.Top < R2.Bottom && R2.Top < R1.Bottom;
}
inline TPoint Point(int32_t x, int32_t y) { return TPoint{x, y}; }

// A colour as the framework keeps it: 0x00BBGGRR, or a system colour with the
// top byte 0xFF, or a palette index with the top byte 0x01.
using TColor = int32_t;
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;
