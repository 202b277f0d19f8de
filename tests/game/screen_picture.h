// Looks for a picture of the game's archives on a screen grabbed from the X
// server. The game's display is 16 bits (5-6-5): each colour of the archive
// is packed into it and widened back for the screen the way the display
// does, which moves some colours by tens of levels ((179, 217, 255) shows as
// (182, 254, 255)). The gamma ramp is the identity at the default
// brightness; a fade's last steps are within the tolerance. Pixels of the
// transparent colour are not compared, since whatever lies behind shows
// there.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/dib/dib.h"
#include "engine/draw/pictures.h"
#include "platform/gdi/gdi.h"

// A grabbed screen: 0x00RRGGBB pixels row by row.
struct TGrabbedScreen {
  int Width = 0, Height = 0;
  std::vector<uint32_t> Pixels;

  uint32_t At(int X, int Y) const {
    return Pixels[static_cast<size_t>(Y) * static_cast<size_t>(Width) + static_cast<size_t>(X)];
  }
  // The share of pixels that are not black.
  double Lit() const {
    size_t lit = 0;
    for (uint32_t p : Pixels) lit += p != 0;
    return Pixels.empty() ? 0 : static_cast<double>(lit) / static_cast<double>(Pixels.size());
  }
};

// A rectangle of the screen left out of a comparison (the mouse cursor).
struct TScreenHole {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  bool Holds(int X, int Y) const { return X >= Left && X < Right && Y >= Top && Y < Bottom; }
};

class TPictureOnScreen {
 public:
  // How far a channel on the screen may lie from the colour expected there.
  static constexpr int kTolerance = 12;

  // The first pattern of picture Name of Archive (raises when it has none).
  TPictureOnScreen(const TPictureCollection& Archive, const std::string& Name) : name_(Name) {
    TPictureCollectionItem* item = Archive.Find(Name);
    width_ = item->Width();
    height_ = item->Height();
    TDIB dib;
    dib.Assign(item->Picture().Graphic());
    dib.SetBitCount(24);
    const TGdiPixelFormat display = TGdiPixelFormat::RGB565();
    const auto key = ColorToRGB(item->TransparentColor());
    const uint32_t keyPixel = display.Pack(GetRValue(key), GetGValue(key), GetBValue(key));
    for (int y = 0; y < height_; ++y) {
      const uint8_t* row = dib.ScanLine(y);
      for (int x = 0; x < width_; ++x) {
        const uint32_t pixel = display.Pack(row[3 * x + 2], row[3 * x + 1], row[3 * x + 0]);
        if (pixel == keyPixel) continue;
        uint8_t r, g, b;
        display.Unpack(pixel, r, g, b);
        opaque_.push_back({x, y, (uint32_t{r} << 16) | (uint32_t{g} << 8) | b});
      }
    }
  }

  const std::string& Name() const { return name_; }
  int Width() const { return width_; }
  int Height() const { return height_; }

  // The share, 0 to 1, of the picture's opaque pixels that Screen shows with
  // the picture's top left at (X, Y); pixels off the screen or in Hole are
  // left out, and none left compared shows nothing.
  double Shown(const TGrabbedScreen& Screen, int X, int Y, const TScreenHole& Hole = {}) const {
    size_t compared = 0, shown = 0;
    for (const TPixel& p : opaque_) {
      const int sx = X + p.X, sy = Y + p.Y;
      if (sx < 0 || sy < 0 || sx >= Screen.Width || sy >= Screen.Height || Hole.Holds(sx, sy))
        continue;
      ++compared;
      shown += Near(Screen.At(sx, sy), p.Rgb);
    }
    return compared ? static_cast<double>(shown) / static_cast<double>(compared) : 0;
  }

 private:
  struct TPixel {
    int X, Y;
    uint32_t Rgb;
  };
  static bool Near(uint32_t A, uint32_t B) {
    for (int shift : {0, 8, 16}) {
      const int a = static_cast<int>((A >> shift) & 0xFF),
                b = static_cast<int>((B >> shift) & 0xFF);
      if (std::abs(a - b) > kTolerance) return false;
    }
    return true;
  }

  std::string name_;
  int width_ = 0, height_ = 0;
  std::vector<TPixel> opaque_;
};
