// The game's own pictures for the benchmarks, painted by the data generator
// exactly as it writes them into the archives, and turned into 5-6-5 pixels;
// black is their transparent colour, as in the game.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/dib/dib.h"
#include "tools/mkdata/painter.h"
#include "tools/mkdata/picture_table.h"

struct TBenchPicture {
  int Width = 0, Height = 0;
  std::vector<uint16_t> Pixels;  // rows of Width pixels
};

// Pattern Frame of the picture Name.
inline TBenchPicture GamePicture(const std::string& Name, int Frame) {
  for (const TPictureSpec& spec : PictureTable()) {
    if (spec.Name != Name) continue;
    const auto dib = PaintPicture(spec);
    TBenchPicture p;
    p.Width = spec.Width;
    p.Height = spec.Height;
    p.Pixels.resize(size_t(p.Width) * size_t(p.Height));
    const int x0 = (Frame % spec.Frames) * spec.Width;
    for (int y = 0; y < p.Height; ++y)
      for (int x = 0; x < p.Width; ++x) {
        const auto& c = dib->ColorTable[size_t(dib->Pixels(x0 + x, y) & 0xFF)];
        p.Pixels[size_t(y * p.Width + x)] =
            uint16_t((c.rgbRed >> 3) << 11 | (c.rgbGreen >> 2) << 5 | c.rgbBlue >> 3);
      }
    return p;
  }
  throw std::runtime_error("no picture " + Name);
}

// The middle Width x Height of a picture at least that large.
inline TBenchPicture Middle(const TBenchPicture& Whole, int Width, int Height) {
  if (Whole.Width < Width || Whole.Height < Height)
    throw std::runtime_error("a picture smaller than its middle");
  TBenchPicture p;
  p.Width = Width;
  p.Height = Height;
  const int x0 = (Whole.Width - Width) / 2, y0 = (Whole.Height - Height) / 2;
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x)
      p.Pixels.push_back(Whole.Pixels[size_t((y0 + y) * Whole.Width + x0 + x)]);
  return p;
}

// Frames of several pictures in turn, Count of them.
inline std::vector<TBenchPicture> GamePictures(const std::vector<std::string>& Names, int Frames,
                                               int Count) {
  std::vector<TBenchPicture> v;
  for (int i = 0; int(v.size()) < Count; ++i)
    v.push_back(GamePicture(Names[size_t(i) % Names.size()], i / int(Names.size()) % Frames));
  return v;
}
