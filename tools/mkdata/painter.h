// Draws the generated pictures: simple shapes and block letters on an 8-bit
// canvas with one fixed palette shared by every picture, so the first image
// list's colour table is also a sensible display palette.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/dib/dib.h"
#include "tools/mkdata/picture_table.h"

// Palette index 0 is black, the transparent colour of every picture; no
// shape is ever drawn with it.
constexpr uint8_t kTransparentIndex = 0;

// The shared palette (blue, green, red, reserved).
const TRGBQuads& PainterPalette();
// Index of a hue (0..11) at a shade: 0..5 dark to full, 6 and 7 paler.
uint8_t HueIndex(int Hue, int Shade);
// Index of a grey level 0..15 (never black).
uint8_t GreyIndex(int Level);
// The colour of a palette index as 0xRRGGBB.
uint32_t PaletteRgb(uint8_t Index);

// Relative luminance of a colour 0xRRGGBB as the web's accessibility
// guidelines define it: 0 for black to 1 for white.
double RelativeLuminance(uint32_t Rgb);
// The contrast ratio of two colours, 1 (the same) to 21 (black on white).
double ContrastRatio(uint32_t RgbA, uint32_t RgbB);
// Text reads at this contrast against what lies under it, or more.
constexpr double kReadableContrast = 4.5;
// A palette colour as the game's 16-bit display shows it.
uint32_t DisplayRgb(uint8_t Index);
// The contrast of letters in palette colour Ink on palette colour Ground,
// as the display shows them.
double InkContrast(uint8_t Ink, uint8_t Ground);

// Where a picture carries words or digits: the box of one line of letters
// in its frame's own coordinates (blank letters at either end left out),
// and the palette index the letters are drawn in.
struct TTextRun {
  int Frame = 0;
  int X = 0, Y = 0, W = 0, H = 0;
  uint8_t Ink = 0;
  std::string Text;
};

class TPainter {
 public:
  TPainter(int Width, int Height);

  int Width() const { return width_; }
  int Height() const { return height_; }
  uint8_t Pixel(int X, int Y) const;

  // Everything below draws relative to the cell origin and clipped to it.
  void SetCell(int X, int Y, int W, int H);

  void Fill(int X, int Y, int W, int H, uint8_t C);
  void Frame(int X, int Y, int W, int H, uint8_t C, int Thick = 1);
  void Ellipse(double CX, double CY, double RX, double RY, uint8_t C);
  void Disc(double CX, double CY, double R, uint8_t C) { Ellipse(CX, CY, R, R, C); }
  void Ring(double CX, double CY, double R, double Thick, uint8_t C);
  void Polygon(const std::vector<double>& XY, uint8_t C);  // x0, y0, x1, y1, ...
  void Line(double X0, double Y0, double X1, double Y1, uint8_t C, double Thick = 1);
  void Dot(int X, int Y, uint8_t C);

  // Block letters of 5 x 7 cells at Scale pixels per cell.
  static int TextWidth(const std::string& Text, int Scale);
  // The scale TextIn draws Text at in a W x H box.
  static int FitScale(const std::string& Text, int W, int H, int MaxScale);
  void Text(int X, int Y, const std::string& Text, int Scale, uint8_t C);
  // Centred in the cell box (X, Y, W, H) at the largest scale up to MaxScale that fits.
  void TextIn(int X, int Y, int W, int H, const std::string& Text, uint8_t C, int MaxScale = 4);

  // An 8-bit bitmap with the shared palette.
  std::unique_ptr<TDIB> ToDIB() const;

  // Every line of letters drawn so far, in the coordinates of its frame
  // when the frames are CellWidth wide, side by side.
  std::vector<TTextRun> Runs(int CellWidth) const;

 private:
  void Put(int X, int Y, uint8_t C);
  int width_, height_;
  std::vector<uint8_t> pixels_;
  int ox_ = 0, oy_ = 0, cw_ = 0, ch_ = 0;
  std::vector<TTextRun> runs_;  // on the whole canvas
};

// Draws one picture of the table: all its frames side by side. Runs, when
// given, receives where the picture carries text.
std::unique_ptr<TDIB> PaintPicture(const TPictureSpec& Spec, std::vector<TTextRun>* Runs = nullptr);
