#include "tools/mkdata/painter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/gdi/pixel_channels.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// ---- Palette -----------------------------------------------------------------
// 0: black (transparent); 16..111: 12 hues x 8 shades; 112..127: greys;
// the rest stay black and unused.
constexpr int kHueBase = 16;
constexpr int kGreyBase = 112;

TRGBQuads BuildPalette() {
  TRGBQuads t{};
  const double value[8] = {0.22, 0.35, 0.5, 0.65, 0.8, 1.0, 1.0, 1.0};
  const double white[8] = {0, 0, 0, 0, 0, 0, 0.4, 0.7};
  for (int h = 0; h < 12; ++h) {
    // Full-saturation colour of hue h (30 degrees apart).
    double hh = h / 2.0;  // sextant position
    int sector = static_cast<int>(hh) % 6;
    double f = hh - std::floor(hh);
    double r = 0, g = 0, b = 0;
    switch (sector) {
      case 0:
        r = 1;
        g = f;
        break;
      case 1:
        r = 1 - f;
        g = 1;
        break;
      case 2:
        g = 1;
        b = f;
        break;
      case 3:
        g = 1 - f;
        b = 1;
        break;
      case 4:
        r = f;
        b = 1;
        break;
      default:
        r = 1;
        b = 1 - f;
        break;
    }
    for (int s = 0; s < 8; ++s) {
      auto mix = [&](double c) {
        double v = c * value[s];
        v = v + (1 - v) * white[s];
        // Never fully dark: even the darkest shade stays away from the
        // transparent black after any 16-bit conversion.
        return static_cast<uint8_t>(std::lround(std::clamp(v, 0.12, 1.0) * 255));
      };
      RGBQUAD& q = t[static_cast<size_t>(kHueBase + h * 8 + s)];
      q.rgbRed = mix(r);
      q.rgbGreen = mix(g);
      q.rgbBlue = mix(b);
    }
  }
  for (int g = 0; g < 16; ++g) {
    auto v = static_cast<uint8_t>(24 + g * 231 / 15);
    RGBQUAD& q = t[static_cast<size_t>(kGreyBase + g)];
    q.rgbRed = q.rgbGreen = q.rgbBlue = v;
  }
  return t;
}

// ---- Block letters -------------------------------------------------------------

struct TGlyph {
  char c;
  uint8_t rows[7];
};

#define G(ch, a, b, c, d, e, f, g)                    \
  {                                                   \
    ch, {                                             \
      0b##a, 0b##b, 0b##c, 0b##d, 0b##e, 0b##f, 0b##g \
    }                                                 \
  }
constexpr TGlyph kGlyphs[] = {
    G('A', 01110, 10001, 10001, 11111, 10001, 10001, 10001),
    G('B', 11110, 10001, 10001, 11110, 10001, 10001, 11110),
    G('C', 01110, 10001, 10000, 10000, 10000, 10001, 01110),
    G('D', 11110, 10001, 10001, 10001, 10001, 10001, 11110),
    G('E', 11111, 10000, 10000, 11110, 10000, 10000, 11111),
    G('F', 11111, 10000, 10000, 11110, 10000, 10000, 10000),
    G('G', 01110, 10001, 10000, 10111, 10001, 10001, 01111),
    G('H', 10001, 10001, 10001, 11111, 10001, 10001, 10001),
    G('I', 01110, 00100, 00100, 00100, 00100, 00100, 01110),
    G('J', 00111, 00010, 00010, 00010, 00010, 10010, 01100),
    G('K', 10001, 10010, 10100, 11000, 10100, 10010, 10001),
    G('L', 10000, 10000, 10000, 10000, 10000, 10000, 11111),
    G('M', 10001, 11011, 10101, 10101, 10001, 10001, 10001),
    G('N', 10001, 10001, 11001, 10101, 10011, 10001, 10001),
    G('O', 01110, 10001, 10001, 10001, 10001, 10001, 01110),
    G('P', 11110, 10001, 10001, 11110, 10000, 10000, 10000),
    G('Q', 01110, 10001, 10001, 10001, 10101, 10010, 01101),
    G('R', 11110, 10001, 10001, 11110, 10100, 10010, 10001),
    G('S', 01111, 10000, 10000, 01110, 00001, 00001, 11110),
    G('T', 11111, 00100, 00100, 00100, 00100, 00100, 00100),
    G('U', 10001, 10001, 10001, 10001, 10001, 10001, 01110),
    G('V', 10001, 10001, 10001, 10001, 10001, 01010, 00100),
    G('W', 10001, 10001, 10001, 10101, 10101, 10101, 01010),
    G('X', 10001, 10001, 01010, 00100, 01010, 10001, 10001),
    G('Y', 10001, 10001, 01010, 00100, 00100, 00100, 00100),
    G('Z', 11111, 00001, 00010, 00100, 01000, 10000, 11111),
    G('0', 01110, 10001, 10011, 10101, 11001, 10001, 01110),
    G('1', 00100, 01100, 00100, 00100, 00100, 00100, 01110),
    G('2', 01110, 10001, 00001, 00010, 00100, 01000, 11111),
    G('3', 11111, 00010, 00100, 00010, 00001, 10001, 01110),
    G('4', 00010, 00110, 01010, 10010, 11111, 00010, 00010),
    G('5', 11111, 10000, 11110, 00001, 00001, 10001, 01110),
    G('6', 00110, 01000, 10000, 11110, 10001, 10001, 01110),
    G('7', 11111, 00001, 00010, 00100, 01000, 01000, 01000),
    G('8', 01110, 10001, 10001, 01110, 10001, 10001, 01110),
    G('9', 01110, 10001, 10001, 01111, 00001, 00010, 01100),
    G('-', 00000, 00000, 00000, 11111, 00000, 00000, 00000),
    G('.', 00000, 00000, 00000, 00000, 00000, 01100, 01100),
    G('!', 00100, 00100, 00100, 00100, 00100, 00000, 00100),
    G('?', 01110, 10001, 00001, 00010, 00100, 00000, 00100),
    G(':', 00000, 01100, 01100, 00000, 01100, 01100, 00000),
    G('/', 00001, 00001, 00010, 00100, 01000, 10000, 10000),
    G('+', 00000, 00100, 00100, 11111, 00100, 00100, 00000),
    G('\'', 00100, 00100, 01000, 00000, 00000, 00000, 00000),
    G(',', 00000, 00000, 00000, 00000, 01100, 00100, 01000),
    G('(', 00010, 00100, 01000, 01000, 01000, 00100, 00010),
    G(')', 01000, 00100, 00010, 00010, 00010, 00100, 01000),
};
#undef G

const TGlyph* FindGlyph(char c) {
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  for (const auto& g : kGlyphs)
    if (g.c == c) return &g;
  return nullptr;  // space and anything unknown: a blank cell
}

// A small deterministic generator so the same table gives the same bytes.
class TRand {
 public:
  explicit TRand(const std::string& seed) {
    for (unsigned char c : seed) s_ = s_ * 131 + c;
    if (s_ == 0) s_ = 1;
  }
  uint32_t Next() {
    s_ = s_ * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>(s_ >> 33);
  }
  int Int(int n) { return n <= 0 ? 0 : static_cast<int>(Next() % static_cast<uint32_t>(n)); }
  double Real() { return (Next() & 0xFFFFFF) / double(0x1000000); }

 private:
  uint64_t s_ = 88172645463325252ull;
};

}  // namespace

const TRGBQuads& PainterPalette() {
  static const TRGBQuads p = BuildPalette();
  return p;
}

uint8_t HueIndex(int Hue, int Shade) {
  Hue = ((Hue % 12) + 12) % 12;
  Shade = std::clamp(Shade, 0, 7);
  return static_cast<uint8_t>(kHueBase + Hue * 8 + Shade);
}

uint8_t GreyIndex(int Level) {
  return static_cast<uint8_t>(kGreyBase + std::clamp(Level, 0, 15));
}

uint32_t PaletteRgb(uint8_t Index) {
  const RGBQUAD& q = PainterPalette()[Index];
  return uint32_t{q.rgbRed} << 16 | uint32_t{q.rgbGreen} << 8 | q.rgbBlue;
}

double RelativeLuminance(uint32_t Rgb) {
  auto channel = [](uint32_t V) {
    const double c = (V & 0xFF) / 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * channel(Rgb >> 16) + 0.7152 * channel(Rgb >> 8) + 0.0722 * channel(Rgb);
}

uint32_t DisplayRgb(uint8_t Index) {
  static const TPixelChannels c565 = ChannelsFromMasks(0xF800, 0x07E0, 0x001F);
  const uint32_t rgb = PaletteRgb(Index);
  uint8_t r, g, b;
  UnpackChannels(c565, PackChannels(c565, rgb >> 16 & 0xFF, rgb >> 8 & 0xFF, rgb & 0xFF), r, g, b);
  return uint32_t{r} << 16 | uint32_t{g} << 8 | b;
}

double InkContrast(uint8_t Ink, uint8_t Ground) {
  return ContrastRatio(DisplayRgb(Ink), DisplayRgb(Ground));
}

double ContrastRatio(uint32_t RgbA, uint32_t RgbB) {
  const double a = RelativeLuminance(RgbA), b = RelativeLuminance(RgbB);
  return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

// ---- Canvas --------------------------------------------------------------------

TPainter::TPainter(int Width, int Height)
    : width_(Width),
      height_(Height),
      pixels_(static_cast<size_t>(Width) * static_cast<size_t>(Height), 0) {
  SetCell(0, 0, Width, Height);
}

uint8_t TPainter::Pixel(int X, int Y) const {
  if (X < 0 || Y < 0 || X >= width_ || Y >= height_) return 0;
  return pixels_[static_cast<size_t>(Y) * static_cast<size_t>(width_) + static_cast<size_t>(X)];
}

void TPainter::SetCell(int X, int Y, int W, int H) {
  ox_ = X;
  oy_ = Y;
  cw_ = W;
  ch_ = H;
}

void TPainter::Put(int X, int Y, uint8_t C) {
  if (X < 0 || Y < 0 || X >= cw_ || Y >= ch_) return;
  int ax = ox_ + X, ay = oy_ + Y;
  if (ax < 0 || ay < 0 || ax >= width_ || ay >= height_) return;
  pixels_[static_cast<size_t>(ay) * static_cast<size_t>(width_) + static_cast<size_t>(ax)] = C;
}

void TPainter::Dot(int X, int Y, uint8_t C) {
  Put(X, Y, C);
}

void TPainter::Fill(int X, int Y, int W, int H, uint8_t C) {
  for (int y = Y; y < Y + H; ++y)
    for (int x = X; x < X + W; ++x) Put(x, y, C);
}

void TPainter::Frame(int X, int Y, int W, int H, uint8_t C, int Thick) {
  Fill(X, Y, W, Thick, C);
  Fill(X, Y + H - Thick, W, Thick, C);
  Fill(X, Y, Thick, H, C);
  Fill(X + W - Thick, Y, Thick, H, C);
}

void TPainter::Ellipse(double CX, double CY, double RX, double RY, uint8_t C) {
  if (RX <= 0 || RY <= 0) return;
  int y0 = static_cast<int>(std::floor(CY - RY)), y1 = static_cast<int>(std::ceil(CY + RY));
  int x0 = static_cast<int>(std::floor(CX - RX)), x1 = static_cast<int>(std::ceil(CX + RX));
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x) {
      double dx = (x + 0.5 - CX) / RX, dy = (y + 0.5 - CY) / RY;
      if (dx * dx + dy * dy <= 1.0) Put(x, y, C);
    }
}

void TPainter::Ring(double CX, double CY, double R, double Thick, uint8_t C) {
  if (R <= 0) return;
  int y0 = static_cast<int>(std::floor(CY - R)), y1 = static_cast<int>(std::ceil(CY + R));
  int x0 = static_cast<int>(std::floor(CX - R)), x1 = static_cast<int>(std::ceil(CX + R));
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x) {
      double d = std::hypot(x + 0.5 - CX, y + 0.5 - CY);
      if (d <= R && d >= R - Thick) Put(x, y, C);
    }
}

void TPainter::Polygon(const std::vector<double>& XY, uint8_t C) {
  size_t n = XY.size() / 2;
  if (n < 3) return;
  double miny = XY[1], maxy = XY[1];
  for (size_t i = 0; i < n; ++i) {
    miny = std::min(miny, XY[2 * i + 1]);
    maxy = std::max(maxy, XY[2 * i + 1]);
  }
  for (int y = static_cast<int>(std::floor(miny)); y <= static_cast<int>(std::ceil(maxy)); ++y) {
    double sy = y + 0.5;
    std::vector<double> xs;
    for (size_t i = 0; i < n; ++i) {
      double ax = XY[2 * i], ay = XY[2 * i + 1];
      double bx = XY[2 * ((i + 1) % n)], by = XY[2 * ((i + 1) % n) + 1];
      if ((ay <= sy && by > sy) || (by <= sy && ay > sy))
        xs.push_back(ax + (sy - ay) / (by - ay) * (bx - ax));
    }
    std::sort(xs.begin(), xs.end());
    for (size_t k = 0; k + 1 < xs.size(); k += 2)
      for (int x = static_cast<int>(std::ceil(xs[k] - 0.5));
           x < static_cast<int>(std::ceil(xs[k + 1] - 0.5)); ++x)
        Put(x, y, C);
  }
}

void TPainter::Line(double X0, double Y0, double X1, double Y1, uint8_t C, double Thick) {
  double len = std::hypot(X1 - X0, Y1 - Y0);
  int steps = std::max(1, static_cast<int>(std::ceil(len * 2)));
  for (int i = 0; i <= steps; ++i) {
    double t = static_cast<double>(i) / steps;
    double x = X0 + (X1 - X0) * t, y = Y0 + (Y1 - Y0) * t;
    if (Thick <= 1)
      Put(static_cast<int>(std::floor(x)), static_cast<int>(std::floor(y)), C);
    else
      Disc(x, y, Thick / 2, C);
  }
}

int TPainter::FitScale(const std::string& Text, int W, int H, int MaxScale) {
  int scale = MaxScale;
  while (scale > 1 && (TextWidth(Text, scale) > W - 2 || 7 * scale > H - 2)) --scale;
  return scale;
}

int TPainter::TextWidth(const std::string& Text, int Scale) {
  if (Text.empty()) return 0;
  return static_cast<int>(Text.size()) * 6 * Scale - Scale;
}

void TPainter::Text(int X, int Y, const std::string& Text, int Scale, uint8_t C) {
  int first = -1, last = -1;
  for (size_t i = 0; i < Text.size(); ++i) {
    const TGlyph* g = FindGlyph(Text[i]);
    if (!g) continue;
    if (first < 0) first = static_cast<int>(i);
    last = static_cast<int>(i);
    int gx = X + static_cast<int>(i) * 6 * Scale;
    for (int r = 0; r < 7; ++r)
      for (int c = 0; c < 5; ++c)
        if (g->rows[r] & (0x10 >> c)) Fill(gx + c * Scale, Y + r * Scale, Scale, Scale, C);
  }
  if (first < 0) return;
  // The line's box, clipped to the cell.
  int x0 = std::max(0, X + first * 6 * Scale), y0 = std::max(0, Y);
  int x1 = std::min(cw_, X + (last + 1) * 6 * Scale - Scale), y1 = std::min(ch_, Y + 7 * Scale);
  if (x0 >= x1 || y0 >= y1) return;
  runs_.push_back(TTextRun{0, ox_ + x0, oy_ + y0, x1 - x0, y1 - y0, C, Text});
}

std::vector<TTextRun> TPainter::Runs(int CellWidth) const {
  std::vector<TTextRun> out = runs_;
  for (TTextRun& r : out) {
    r.Frame = CellWidth > 0 ? r.X / CellWidth : 0;
    r.X -= r.Frame * CellWidth;
  }
  return out;
}

void TPainter::TextIn(int X, int Y, int W, int H, const std::string& Text, uint8_t C,
                      int MaxScale) {
  int scale = FitScale(Text, W, H, MaxScale);
  int tw = TextWidth(Text, scale);
  this->Text(X + (W - tw) / 2, Y + (H - 7 * scale) / 2, Text, scale, C);
}

std::unique_ptr<TDIB> TPainter::ToDIB() const {
  auto dib = std::make_unique<TDIB>();
  dib->ColorTable = PainterPalette();
  dib->SetSize(width_, height_, 8);
  dib->UpdatePalette();
  for (int y = 0; y < height_; ++y)
    std::memcpy(dib->ScanLine(y), &pixels_[static_cast<size_t>(y) * static_cast<size_t>(width_)],
                static_cast<size_t>(width_));
  return dib;
}

// ---- The pictures ------------------------------------------------------------------

namespace {

struct TCtx {
  TPainter& P;
  const TPictureSpec& S;
  TRand& R;
  int W, H;  // cell size
  int F;     // frame
  double T;  // frame / frames, 0..1
  uint8_t C(int Shade) const { return HueIndex(S.Hue, Shade); }
};

// Rows left clear at the top of the pilot's face and its interference: the
// level digits (Y 526 to 541) stand right above the face (Y 536).
constexpr int kFaceTop = 8;

// A part of a picture, in its cell's coordinates.
struct TBox {
  int X, Y, W, H;
  bool Holds(int Px, int Py) const { return Px >= X && Px < X + W && Py >= Y && Py < Y + H; }
};

void StarField(TCtx& c, int Count, bool Wrap, const std::vector<TBox>& Clear = {}) {
  for (int i = 0; i < Count; ++i) {
    int x = c.R.Int(c.W), y = c.R.Int(c.H);
    int lvl = 6 + c.R.Int(10);
    // No star falls on words or on a plate that words are written on.
    bool kept = false;
    for (const TBox& b : Clear)
      kept = kept || b.Holds(x, y) || b.Holds(x + 1, y) || b.Holds(x, y + 1);
    if (kept) continue;
    c.P.Dot(x, y, GreyIndex(lvl));
    if (lvl > 13 && Wrap) {
      c.P.Dot((x + 1) % c.W, y, GreyIndex(lvl - 6));
      c.P.Dot(x, (y + 1) % c.H, GreyIndex(lvl - 6));
    }
  }
}

// A disc repeated across the tile edges so tiles join without seams.
void WrapDisc(TCtx& c, double x, double y, double r, uint8_t col) {
  for (int dx = -1; dx <= 1; ++dx)
    for (int dy = -1; dy <= 1; ++dy) c.P.Disc(x + dx * c.W, y + dy * c.H, r, col);
}

// A near-black plate for the game's own lines of text: the overlay colours
// are a middle green and teal that read only on a very dark ground.
void Plate(TCtx& c, int X, int Y, int W, int H, std::vector<TBox>& Clear) {
  c.P.Fill(X, Y, W, H, GreyIndex(0));
  c.P.Frame(X, Y, W, H, c.C(3), 1);
  Clear.push_back({X - 2, Y - 2, W + 4, H + 4});
}

// Where a picture's words stand, grown by Margin: kept free of stars.
void ClearWords(const TCtx& c, std::vector<TBox>& Clear, int Margin) {
  for (const TTextRun& r : c.P.Runs(c.W))
    if (r.Frame == c.F)
      Clear.push_back({r.X - Margin, r.Y - Margin, r.W + 2 * Margin, r.H + 2 * Margin});
}

// The brightest shade of Hue, from Shade down, on which Ink still reads.
uint8_t GroundFor(int Hue, int Shade, uint8_t Ink) {
  for (; Shade > 0; --Shade)
    if (InkContrast(Ink, HueIndex(Hue, Shade)) >= kReadableContrast + 0.3) break;
  return HueIndex(Hue, Shade);
}

void DrawEnemyShape(TCtx& c, int Variant, double cx, double cy, double w, double h) {
  int hue = c.S.Hue;
  auto col = [&](int s) { return HueIndex(hue, s); };
  double pulse = 0.5 + 0.5 * std::sin(c.T * 2 * kPi);
  switch (Variant % 5) {
    case 0: {  // saucer with a dome and running lights
      c.P.Ellipse(cx, cy + h * 0.1, w * 0.48, h * 0.22, col(3));
      c.P.Ellipse(cx, cy + h * 0.05, w * 0.40, h * 0.14, col(5));
      c.P.Ellipse(cx, cy - h * 0.08, w * 0.18, h * 0.2, col(7));
      for (int i = 0; i < 4; ++i) {
        double a = (c.T + i / 4.0) * 2 * kPi;
        c.P.Disc(cx + std::cos(a) * w * 0.36, cy + h * 0.12 + std::sin(a) * h * 0.05, 2,
                 GreyIndex(15));
      }
      break;
    }
    case 1: {  // arrowhead pointing down at the player
      c.P.Polygon({cx - w * 0.48, cy - h * 0.45, cx + w * 0.48, cy - h * 0.45, cx, cy + h * 0.48},
                  col(4));
      c.P.Polygon({cx - w * 0.3, cy - h * 0.35, cx + w * 0.3, cy - h * 0.35, cx, cy + h * 0.25},
                  col(2));
      c.P.Disc(cx, cy - h * 0.1, w * 0.09 + 2 * pulse, col(7));
      c.P.Fill(static_cast<int>(cx - w * 0.46), static_cast<int>(cy - h * 0.45),
               static_cast<int>(w * 0.1), static_cast<int>(h * 0.3), col(5));
      c.P.Fill(static_cast<int>(cx + w * 0.36), static_cast<int>(cy - h * 0.45),
               static_cast<int>(w * 0.1), static_cast<int>(h * 0.3), col(5));
      break;
    }
    case 2: {  // spiked ball
      double r = std::min(w, h) * 0.32;
      for (int i = 0; i < 8; ++i) {
        double a = (i / 8.0 + c.T / 8.0) * 2 * kPi;
        c.P.Line(cx, cy, cx + std::cos(a) * r * 1.45, cy + std::sin(a) * r * 1.45, col(6), 3);
      }
      c.P.Disc(cx, cy, r, col(3));
      c.P.Disc(cx - r * 0.3, cy - r * 0.3, r * 0.35, col(6));
      break;
    }
    case 3: {  // crab: body with two claws that open and close
      double open = 0.15 + 0.2 * pulse;
      c.P.Ellipse(cx, cy, w * 0.3, h * 0.3, col(4));
      c.P.Polygon(
          {cx - w * 0.28, cy, cx - w * 0.48, cy + h * (0.25 + open), cx - w * 0.2, cy + h * 0.2},
          col(5));
      c.P.Polygon(
          {cx + w * 0.28, cy, cx + w * 0.48, cy + h * (0.25 + open), cx + w * 0.2, cy + h * 0.2},
          col(5));
      c.P.Disc(cx - w * 0.1, cy - h * 0.05, 3, GreyIndex(15));
      c.P.Disc(cx + w * 0.1, cy - h * 0.05, 3, GreyIndex(15));
      c.P.Line(cx - w * 0.2, cy - h * 0.25, cx - w * 0.3, cy - h * 0.45, col(6), 2);
      c.P.Line(cx + w * 0.2, cy - h * 0.25, cx + w * 0.3, cy - h * 0.45, col(6), 2);
      break;
    }
    default: {  // winged craft with a glowing core
      c.P.Polygon(
          {cx - w * 0.48, cy - h * 0.2, cx - w * 0.15, cy - h * 0.3, cx - w * 0.12, cy + h * 0.3},
          col(3));
      c.P.Polygon(
          {cx + w * 0.48, cy - h * 0.2, cx + w * 0.15, cy - h * 0.3, cx + w * 0.12, cy + h * 0.3},
          col(3));
      c.P.Ellipse(cx, cy, w * 0.16, h * 0.46, col(5));
      c.P.Disc(cx, cy + h * 0.1, w * 0.06 + 2 * pulse, col(7));
      break;
    }
  }
}

void DrawShip(TCtx& c) {
  // Frame 0 is level; frame 9 is fully banked towards the picture's side.
  double bank = c.F / 9.0 * (c.S.Variant == 0 ? -1 : 1);
  double cx = c.W / 2.0, h = c.H;
  // The wing on the side of the turn foreshortens and darkens.
  double lw = c.W * 0.48 * (1 + 0.55 * std::min(0.0, bank)),
         rw = c.W * 0.48 * (1 - 0.55 * std::max(0.0, bank));
  uint8_t body = c.C(4), edge = c.C(6);
  uint8_t wing = c.C(2), lwing = bank < -0.3 ? c.C(1) : wing, rwing = bank > 0.3 ? c.C(1) : wing;
  c.P.Polygon({cx, h * 0.38, cx - lw, h * 0.78, cx - lw, h * 0.92, cx, h * 0.8}, lwing);
  c.P.Polygon({cx, h * 0.38, cx + rw, h * 0.78, cx + rw, h * 0.92, cx, h * 0.8}, rwing);
  c.P.Line(cx - lw, h * 0.78, cx - lw, h * 0.92, edge, 2);
  c.P.Line(cx + rw, h * 0.78, cx + rw, h * 0.92, edge, 2);
  c.P.Polygon({cx, 1, cx - c.W * 0.14, h * 0.55, cx - c.W * 0.12, h * 0.98, cx + c.W * 0.12,
               h * 0.98, cx + c.W * 0.14, h * 0.55},
              body);
  c.P.Ellipse(cx + bank * 4, h * 0.42, c.W * 0.06, h * 0.1, GreyIndex(15));
}

void DrawFace(TCtx& c) {
  // The top rows stay clear: the level digits stand right above the face.
  const int h = c.H - kFaceTop;
  c.P.SetCell(c.F * c.W, kFaceTop, c.W, h);
  double cx = c.W / 2.0, cy = h / 2.0 + 2;
  c.P.Fill(0, 0, c.W, h, GreyIndex(2));
  c.P.Frame(0, 0, c.W, h, c.C(3), 2);
  bool hit = c.S.Variant == 2;
  uint8_t skin = hit && (c.F % 8) < 4 ? HueIndex(0, 6) : HueIndex(1, 6);
  c.P.Ellipse(cx, cy - 2, 22, 26, c.C(2));  // helmet
  c.P.Ellipse(cx, cy + 2, 16, 19, skin);
  c.P.Fill(static_cast<int>(cx - 18), static_cast<int>(cy - 18), 36, 6, c.C(4));  // visor band
  bool blink = c.S.Variant == 0 && (c.F % 20) >= 18;
  if (hit) {
    for (int s : {-1, 1}) {
      c.P.Line(cx + s * 7 - 3, cy - 5, cx + s * 7 + 3, cy + 1, GreyIndex(1), 2);
      c.P.Line(cx + s * 7 + 3, cy - 5, cx + s * 7 - 3, cy + 1, GreyIndex(1), 2);
    }
  } else if (blink) {
    c.P.Fill(static_cast<int>(cx - 10), static_cast<int>(cy - 2), 6, 2, GreyIndex(1));
    c.P.Fill(static_cast<int>(cx + 4), static_cast<int>(cy - 2), 6, 2, GreyIndex(1));
  } else {
    c.P.Disc(cx - 7, cy - 2, 3, GreyIndex(15));
    c.P.Disc(cx + 7, cy - 2, 3, GreyIndex(15));
    c.P.Disc(cx - 7, cy - 2, 1.5, GreyIndex(1));
    c.P.Disc(cx + 7, cy - 2, 1.5, GreyIndex(1));
  }
  double mouth = c.S.Variant == 1 ? 1 + 4 * std::fabs(std::sin(c.F * kPi / 3)) : (hit ? 5 : 1);
  c.P.Ellipse(cx, cy + 10, 6, mouth, HueIndex(0, 2));
  if (c.S.Variant == 1) c.P.Ring(cx + 26, cy - 10, 4 + (c.F % 4) * 2, 1, c.C(6));  // radio waves
}

void PaintFrame(TCtx& c) {
  TPainter& P = c.P;
  const TPictureSpec& S = c.S;
  int W = c.W, H = c.H;
  double cx = W / 2.0, cy = H / 2.0;
  switch (S.Kind) {
    case pkBackdrop: {
      // A dark sky growing lighter downwards, dithered between neighbouring
      // shades; kept dark so the game's text overlays stay readable.
      static const int bayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
      // Pages with text below their title stay darker, so it reads to the
      // bottom.
      const bool page = S.Name == "help" || S.Name == "credits" || S.Name == "topranks" ||
                        S.Name == "finish_bg" || S.Name == "bg";
      for (int y = 0; y < H; ++y) {
        double level = (page ? 1.0 : 1.6) * y / H;
        int base = static_cast<int>(level);
        int frac = static_cast<int>((level - base) * 16);
        for (int x = 0; x < W; ++x)
          P.Dot(x, y, HueIndex(S.Hue, base + (frac > bayer[y & 3][x & 3] ? 1 : 0)));
      }
      const uint8_t ink = HueIndex(S.Hue, 7), rule = HueIndex(S.Hue, 5);
      std::vector<TBox> clear;  // kept free of stars
      if (S.Name == "topranks") {
        // The table: the game writes each row's name at x 238 and its score
        // at 431; the ranks stand left of the name panel (x 200).
        const int rows[10] = {155, 191, 227, 263, 299, 340, 378, 415, 447, 484};
        Plate(c, 146, 146, 410, 362, clear);
        for (int i = 0; i < 10; ++i) {
          const std::string rank = std::to_string(i + 1) + ".";
          P.Text(192 - TPainter::TextWidth(rank, 2), rows[i] + 4, rank, 2, ink);
          if (i < 9) P.Fill(154, rows[i] + 28, 394, 1, HueIndex(S.Hue, 2));
        }
      } else if (S.Name == "help") {
        // The controls of each of the three ways to play, with the keys the
        // game binds, then what every way shares.
        struct TLine {
          const char* Input;
          const char* Does;
        };
        struct TPart {
          const char* Title;
          TLine Lines[3];
        };
        static const TPart parts[] = {
            {"MOUSE",
             {{"MOVE THE MOUSE", "STEER THE SHIP"},
              {"LEFT BUTTON", "FIRE, GO ON BETWEEN LEVELS"},
              {"RIGHT BUTTON", "ROCKETS"}}},
            {"KEYBOARD",
             {{"LEFT, RIGHT ARROW", "STEER (NUMPAD 4, 6 TOO)"},
              {"SPACE", "FIRE, GO ON BETWEEN LEVELS"},
              {"SHIFT", "ROCKETS"}}},
            {"JOYSTICK",
             {{"STICK LEFT, RIGHT", "STEER THE SHIP"},
              {"BUTTON 1", "FIRE, GO ON BETWEEN LEVELS"},
              {"BUTTON 2", "ROCKETS"}}},
        };
        const uint8_t heading = HueIndex(2, 7);
        int y = 112;
        for (const TPart& part : parts) {
          P.Text(60, y, part.Title, 3, heading);
          y += 30;
          for (const TLine& line : part.Lines) {
            P.Text(80, y, line.Input, 2, ink);
            P.Text(330, y, line.Does, 2, ink);
            y += 22;
          }
          y += 12;
        }
        const char* shared[] = {"ESC: PAUSE    F1: ENEMY BOOK    ENTER: CONFIRM YOUR NAME",
                                "OPTIONS - CONTROLS CHOOSES MOUSE, KEYBOARD OR JOYSTICK",
                                "THE SETUP PROGRAM CAN CHANGE THE KEYS",
                                "CATCH THE CAPSULES FOR BONUSES"};
        y += 4;
        for (const char* line : shared) {
          P.Text(60, y, line, 2, heading);
          y += 24;
        }
      } else if (S.Name == "credits") {
        const char* lines[] = {"PICTURES AND SOUNDS", "MADE BY THE DATA GENERATOR",
                               "THANK YOU FOR PLAYING"};
        for (int i = 0; i < 3; ++i) P.TextIn(0, 280 + 50 * i, W, 34, lines[i], ink, 3);
      } else if (S.Name == "bg") {
        // The book page: art and model frames, the screens the game writes
        // its information (from y 100) and description (from y 300) on, and
        // the list of entries. The title keeps left of the close button
        // (x 380 to 460).
        P.Frame(60, 88, 170, 210, rule, 2);
        P.Frame(80, 312, 124, 126, rule, 2);
        Plate(c, 232, 88, 360, 98, clear);
        Plate(c, 240, 290, 352, 178, clear);
        P.Frame(600, 24, 192, 560, rule, 2);
        P.Text(60, 28, S.Caption, 5, ink);
      } else if (S.Name == "finish_bg") {
        // Where the game writes the difficulty, the score and the way out.
        Plate(c, 388, 390, 330, 148, clear);
      }
      if (S.Caption.empty()) {
        // The menu background: a planet on the horizon behind the buttons,
        // a plate for the version the menus write at the top right, and a
        // clear sky where the graphics options write the brightness.
        P.Disc(W * 0.5, H * 1.35, H * 0.75, HueIndex(S.Hue, 2));
        P.Ring(W * 0.5, H * 1.35, H * 0.75, 4, HueIndex(S.Hue, 6));
        P.TextIn(0, 60, W, 70, "TALOREN: OSTRIME", ink, 6);
        Plate(c, 650, 4, 140, 28, clear);
        clear.push_back({248, 272, 274, 36});
      } else if (S.Name != "bg" && S.Name != "help") {
        // Logos stand in the upper third; pages with content carry their
        // title along the top edge, clear of the buttons above it.
        bool logo = S.Name == "partner_logo" || S.Name == "quorvil" || S.Name == "logotip" ||
                    S.Name == "gamelogo";
        P.TextIn(0, logo ? H / 3 - 40 : 62, W, logo ? 80 : 56, S.Caption, ink, logo ? 8 : 6);
      } else if (S.Name == "help") {
        P.TextIn(0, 40, W, 56, S.Caption, ink, 6);
      }
      P.Frame(0, 0, W, H, HueIndex(S.Hue, 5), 4);
      ClearWords(c, clear, 3);
      StarField(c, 400, false, clear);
      break;
    }
    case pkTile: {
      P.Fill(0, 0, W, H, HueIndex(S.Hue, 0));
      for (int i = 0; i < 6; ++i)
        WrapDisc(c, c.R.Int(W), c.R.Int(H), 10 + c.R.Int(40), HueIndex(S.Hue, c.R.Int(2)));
      StarField(c, 60, true);
      break;
    }
    case pkStars:
      StarField(c, 40 + 40 * S.Variant, true);
      break;
    case pkLayer: {
      for (int i = 0; i < 3 + S.Variant; ++i) {
        double x = c.R.Int(W), y = c.R.Int(H), r = 4 + c.R.Int(14);
        WrapDisc(c, x, y, r, HueIndex(S.Hue, 1 + c.R.Int(2)));
        WrapDisc(c, x - r * 0.3, y - r * 0.3, r * 0.4, HueIndex(S.Hue, 4));
      }
      break;
    }
    case pkButton: {
      // A lit button is brighter, as far as its white caption still reads.
      // A button that stands on something drawn right above it (the
      // game-over buttons under the last statistics line) starts lower.
      bool lit = S.Variant == 1;
      const int top = S.Name.rfind("gameover", 0) == 0 ? 8 : 0;
      const uint8_t caption = lit ? GreyIndex(15) : HueIndex(S.Hue, 7);
      P.SetCell(c.F * W, top, W, H - top);
      P.Fill(0, 0, W, H - top, lit ? GroundFor(S.Hue, 3, caption) : HueIndex(S.Hue, 1));
      P.Frame(0, 0, W, H - top, HueIndex(S.Hue, lit ? 7 : 4), H - top >= 30 ? 2 : 1);
      P.TextIn(2, 2, W - 4, H - top - 4, S.Caption, caption, 3);
      break;
    }
    case pkPanel: {
      P.Fill(0, 0, W, H, HueIndex(S.Hue, 0));
      P.Frame(0, 0, W, H, HueIndex(S.Hue, 4), 2);
      P.Frame(4, 4, W - 8, H - 8, HueIndex(S.Hue, 2), 1);
      if (S.Variant > 0) {
        // An enemy book picture: the craft, large, over its name.
        DrawEnemyShape(c, S.Variant, cx, cy - 10, W * 0.8, H * 0.6);
        P.TextIn(6, H - 30, W - 12, 24, S.Caption, HueIndex(S.Hue, 7), 2);
      } else if (S.Name == "ays_panel") {
        // The question keeps to the top rows: under the OK and CANCEL buttons
        // (Y 309 on the panel at 260), and, when the game stretches the panel
        // to 120 pixels for the difficulty buttons, wholly behind EASY.
        const int scale = 2;
        P.Text((W - TPainter::TextWidth(S.Caption, scale)) / 2, 6, S.Caption, scale,
               HueIndex(S.Hue, 7));
      } else if (S.Name == "enter_name") {
        // The field the game writes the typed name into, at (292, 294) on
        // the panel at (200, 240).
        P.TextIn(8, 8, W - 16, 40, S.Caption, HueIndex(S.Hue, 7), 3);
        std::vector<TBox> unused;
        Plate(c, 84, 48, 232, 36, unused);
      } else if (S.Name == "pausemenupanel") {
        // Across the play field only: the heads-up display at the left
        // stays in view, and the caption keeps left of the menu (x 300) and
        // of the "are you sure?" panel opened over it (x 266).
        P.Fill(0, 0, 104, H, kTransparentIndex);
        P.SetCell(c.F * W + 104, 0, W - 104, H);
        P.Frame(0, 0, W - 104, H, HueIndex(S.Hue, 4), 2);
        P.Frame(4, 4, W - 112, H - 8, HueIndex(S.Hue, 2), 1);
        P.TextIn(4, 0, 156, H, S.Caption, HueIndex(S.Hue, 7), 5);
      } else if (S.Name == "leftpanel") {
        P.TextIn(0, 192, W, 16, "SCORE", HueIndex(S.Hue, 6), 2);
        P.TextIn(0, 20, W, 16, "WEAPON", HueIndex(S.Hue, 6), 2);
        P.TextIn(0, 455, W, 16, "MISSION", HueIndex(S.Hue, 6), 2);
        P.TextIn(0, 508, W, 16, "LEVEL", HueIndex(S.Hue, 6), 2);
      } else {
        P.TextIn(8, 8, W - 16, std::min(40, H / 2), S.Caption, HueIndex(S.Hue, 7), 3);
      }
      break;
    }
    case pkDoor: {
      // Dark plates: the statistics lines are written over the lower leaf.
      P.Fill(0, 0, W, H, GreyIndex(2));
      for (int x = 0; x < W; x += 100) P.Fill(x, 0, 3, H, GreyIndex(4));
      for (int y = 20; y < H; y += 60)
        for (int x = 20; x < W; x += 50) P.Disc(x, y, 3, GreyIndex(6));
      int edge = S.Variant == 0 ? H - 16 : 0;
      for (int x = -16; x < W; x += 32)
        P.Polygon({double(x), double(edge), x + 16.0, double(edge), x + 32.0, edge + 16.0, x + 16.0,
                   edge + 16.0},
                  HueIndex(2, 5));
      // Dark plates where words are written on the leaves: on the upper
      // one its labels and the digits that ride beside them, on the lower
      // one the statistics the game types at (123..430, 345..520) once
      // the leaf stands at Y 278.
      std::vector<TBox> unused;
      if (S.Variant == 0) {
        Plate(c, 276, 4, 214, 184, unused);
        P.Text(290, 20, "MISSION", 2, HueIndex(S.Hue, 7));
        P.Text(308, 58, "LEVEL", 2, HueIndex(S.Hue, 7));
        P.Text(340, 154, "EPISODE", 2, HueIndex(S.Hue, 7));
      } else {
        Plate(c, 110, 60, 360, 184, unused);
      }
      break;
    }
    case pkCaption: {
      // The words stand on a dark label of their own, whatever the play
      // field or the sky shows under the picture.
      bool dim = S.Variant == 1 && c.F >= S.Frames / 2;
      const int scale = TPainter::FitScale(S.Caption, W - 8, H - 8, 6);
      const int tw = TPainter::TextWidth(S.Caption, scale), th = 7 * scale;
      const int x = (W - tw) / 2, y = (H - th) / 2;
      P.Fill(x - 4, y - 4, tw + 8, th + 8, HueIndex(S.Hue, 0));
      P.Frame(x - 4, y - 4, tw + 8, th + 8, HueIndex(S.Hue, 3), 1);
      P.Text(x, y, S.Caption, scale, HueIndex(S.Hue, dim ? 4 : 7));
      break;
    }
    case pkDigits:
      // A dark window behind each digit, so a counter reads on whatever it
      // is written over (the extra weapon's seconds lie on its capsule).
      if (c.F < 10) {
        P.Fill(0, 0, W, H, GreyIndex(0));
        P.TextIn(0, 0, W, H, std::to_string(c.F), HueIndex(S.Hue, 6), 4);
      }
      break;
    case pkNumbers:
      P.Frame(0, 0, W, H, HueIndex(S.Hue, 3), 1);
      P.TextIn(0, 0, W, H, std::to_string(c.F + 1), HueIndex(S.Hue, 7), 3);
      break;
    case pkShip:
      DrawShip(c);
      break;
    case pkEnemy:
      DrawEnemyShape(c, S.Variant, cx, cy, W, H);
      break;
    case pkBoss: {
      double pulse = 0.5 + 0.5 * std::sin(c.T * 2 * kPi);
      P.Ellipse(cx, cy * 0.8, W * 0.5, H * 0.4, HueIndex(S.Hue, 1));
      P.Polygon({0, H * 0.2, double(W), H * 0.2, W * 0.8, H * 0.85, W * 0.2, H * 0.85},
                HueIndex(S.Hue, 2));
      P.Ellipse(cx, cy * 0.9, W * 0.2, H * 0.25, HueIndex(S.Hue, 4));
      P.Disc(cx, cy * 0.9, std::min(W, H) * (0.08 + 0.03 * pulse), HueIndex(S.Hue, 7));
      for (int i = 1; i < 8; ++i)
        P.Fill(W * i / 8 - 2, static_cast<int>(H * 0.25), 4, static_cast<int>(H * 0.4),
               HueIndex(S.Hue, 3));
      // The name on a dark band of its own.
      const int ly = static_cast<int>(H * 0.7), lh = static_cast<int>(H * 0.15);
      const int scale = TPainter::FitScale("BOSS", W, lh, 3);
      const int tw = TPainter::TextWidth("BOSS", scale);
      P.Fill((W - tw) / 2 - 3, ly + (lh - 7 * scale) / 2 - 3, tw + 6, 7 * scale + 6,
             HueIndex(S.Hue, 0));
      P.TextIn(0, ly, W, lh, "BOSS", GreyIndex(15), 3);
      break;
    }
    case pkBossPart: {
      double r = std::min(W, H) * 0.42;
      if (S.Variant == 1) {  // weapon: a turret whose light runs round
        P.Disc(cx, cy, r, HueIndex(S.Hue, 2));
        P.Fill(static_cast<int>(cx - 4), static_cast<int>(cy), 8, static_cast<int>(r + 6),
               HueIndex(S.Hue, 5));
        double a = c.T * 2 * kPi;
        P.Disc(cx + std::cos(a) * r * 0.6, cy + std::sin(a) * r * 0.6, 4, GreyIndex(15));
      } else if (S.Variant == 2) {  // creator: a hatch
        P.Polygon({cx - r, cy - r * 0.5, cx, cy - r, cx + r, cy - r * 0.5, cx + r, cy + r * 0.5, cx,
                   cy + r, cx - r, cy + r * 0.5},
                  HueIndex(S.Hue, 3));
        P.Disc(cx, cy, r * 0.45, GreyIndex(1));
        P.Ring(cx, cy, r * 0.45, 2, HueIndex(S.Hue, 6));
      } else {  // generator: a pulsing core
        P.Disc(cx, cy, r, HueIndex(S.Hue, 2));
        P.Disc(cx, cy, r * (0.35 + 0.25 * (0.5 + 0.5 * std::sin(c.T * 2 * kPi))),
               HueIndex(S.Hue, 7));
        P.Ring(cx, cy, r, 3, HueIndex(S.Hue, 5));
      }
      break;
    }
    case pkHitBox:
      P.Fill(0, 0, W, H, HueIndex(S.Hue, 5));
      break;
    case pkMount: {
      double kick = std::sin(c.T * kPi) * 3;
      if (S.Variant == 0) {  // primary gun: barrels by level
        int level = S.Caption.empty() ? 1 : S.Caption[0] - '0';
        int barrels = std::min(level, 3);
        for (int i = 0; i < barrels; ++i) {
          double x = cx + (i - (barrels - 1) / 2.0) * 6;
          P.Fill(static_cast<int>(x - 2), static_cast<int>(2 + kick), 4, H / 2, HueIndex(S.Hue, 5));
        }
        P.Ellipse(cx, H * 0.72, W * 0.45, H * 0.25, HueIndex(S.Hue, 2));
        P.Disc(cx, H * 0.72, 3 + level * 0.5, HueIndex(S.Hue, 7));
      } else {  // rocket pods on both sides (launcher) or side guns (extra weapon)
        for (int s : {0, 1}) {
          int x = s == 0 ? 2 : W - 14;
          P.Fill(x, static_cast<int>(2 + kick), 12, H - 4, HueIndex(S.Hue, 3));
          P.Fill(x + 3, static_cast<int>(kick), 6, 6, HueIndex(S.Hue, 6));
        }
      }
      break;
    }
    case pkShot: {
      double flick = (c.F % 2) ? 0.8 : 1.0;
      switch (S.Variant) {
        case 0:
          P.Ellipse(cx, cy, W * 0.45, H * 0.48, HueIndex(S.Hue, 4));
          P.Ellipse(cx, cy, W * 0.22 * flick, H * 0.4, GreyIndex(15));
          break;
        case 1:  // rocket
          P.Fill(static_cast<int>(cx - 2), 2, 4, H - 8, GreyIndex(12));
          P.Polygon({cx - 2, 0, cx + 2, 0, cx, -3}, GreyIndex(15));
          P.Polygon({cx - 5, H - 10.0, cx - 2, H - 14.0, cx - 2, H - 6.0}, HueIndex(S.Hue, 4));
          P.Polygon({cx + 5, H - 10.0, cx + 2, H - 14.0, cx + 2, H - 6.0}, HueIndex(S.Hue, 4));
          P.Polygon({cx - 2, H - 6.0, cx + 2, H - 6.0, cx, H - 6.0 + 6 * flick},
                    HueIndex(S.Hue, 6));
          break;
        case 2:
          P.Disc(cx, cy, W * 0.5 * flick, HueIndex(S.Hue, 6));
          break;
        case 3:  // enemy orb
          P.Disc(cx, cy, W * 0.45, HueIndex(S.Hue, 4));
          P.Disc(cx, cy, W * (0.15 + 0.15 * flick), GreyIndex(15));
          break;
        default:  // enemy dart
          P.Polygon({cx, 0, cx + W * 0.3, cy, cx, double(H), cx - W * 0.3, cy}, HueIndex(S.Hue, 5));
          P.Polygon({cx, H * 0.2, cx + W * 0.12, cy, cx, H * 0.8, cx - W * 0.12, cy},
                    GreyIndex(15));
          break;
      }
      break;
    }
    case pkBlast: {
      double t = c.T;
      double r = std::min(W, H) * 0.5 * (0.25 + 0.75 * std::sqrt(t));
      int shade = std::max(0, 7 - static_cast<int>(t * 9));
      P.Disc(cx, cy, r, HueIndex(S.Hue, std::max(0, shade - 2)));
      P.Disc(cx, cy, r * (1 - t) * 0.8, HueIndex(S.Hue == 0 ? 2 : S.Hue, shade));
      if (t < 0.3) P.Disc(cx, cy, r * 0.35, GreyIndex(15));
      for (int i = 0; i < 8; ++i) {
        double a = (i + S.Variant * 0.3) / 8.0 * 2 * kPi;
        P.Disc(cx + std::cos(a) * r * 1.05, cy + std::sin(a) * r * 1.05, 2,
               HueIndex(1, std::max(1, shade)));
      }
      break;
    }
    case pkMesh: {
      double r = std::min(W, H) * 0.48 * (0.3 + 0.7 * c.T);
      int shade = std::max(0, 6 - static_cast<int>(c.T * 7));
      P.Ring(cx, cy, r, 3, HueIndex(S.Hue, shade));
      P.Ring(cx, cy, r * 0.7, 1.5, HueIndex(S.Hue, std::max(0, shade - 1)));
      break;
    }
    case pkPuff: {
      double fade = 1 - c.T;
      int shade = std::max(0, static_cast<int>(fade * 7.5));
      if (S.Variant == 1) {  // muzzle flash: a star that shrinks
        double r = std::min(W, H) * 0.5 * (0.4 + 0.6 * fade);
        for (int i = 0; i < 6; ++i) {
          double a = i / 6.0 * 2 * kPi + c.T;
          P.Line(cx, cy, cx + std::cos(a) * r, cy + std::sin(a) * r, HueIndex(S.Hue, shade), 2);
        }
        P.Disc(cx, cy, r * 0.35, GreyIndex(std::max(0, static_cast<int>(fade * 15))));
      } else if (S.Variant == 2) {  // glow trailing above a shot
        double len = H * (0.6 + 0.4 * std::sin((c.T + 0.25) * 2 * kPi));
        P.Ellipse(cx, H - len / 2, W * 0.35, len / 2, HueIndex(S.Hue, 3));
        P.Ellipse(cx, H - len / 4, W * 0.18, len / 4, HueIndex(S.Hue, 6));
      } else {  // smoke particle: fades to grey and shrinks
        P.Disc(cx, cy, 2.5 * (0.4 + 0.6 * fade),
               GreyIndex(std::max(0, static_cast<int>(fade * 12))));
      }
      break;
    }
    case pkFlame: {
      double len = H * (0.7 + 0.3 * std::sin(c.F * 2.1));
      P.Polygon({cx - W * 0.45, 0, cx + W * 0.45, 0, cx, len}, HueIndex(S.Hue, 4));
      P.Polygon({cx - W * 0.22, 0, cx + W * 0.22, 0, cx, len * 0.6}, HueIndex(S.Hue, 7));
      break;
    }
    case pkBonus: {
      // A pill in the upper two thirds, its letter on it and a light running
      // round its ends. The lower third stays clear: the heads-up display
      // shows the extra weapons' capsule at (16, 154) and writes their
      // seconds below its middle, at Y 175.
      const double py = H * 0.33, rx = W * 0.46, ry = H * 0.3;
      const uint8_t letter = GreyIndex(15);
      P.Ellipse(cx, py, rx, ry, GroundFor(S.Hue, 2, letter));
      P.Ellipse(cx, py, rx - 2, ry - 2, GroundFor(S.Hue, 1, letter));
      const double a = c.T * 2 * kPi;
      P.Disc(cx + (std::cos(a) >= 0 ? 1 : -1) * (rx - 3), py + std::sin(a) * (ry - 4), 1.5,
             HueIndex(S.Hue, 6));
      P.TextIn(0, static_cast<int>(py) - 8, W, 17, S.Caption, letter, 2);
      break;
    }
    case pkSplinter:
      P.Polygon({0, H * 0.3, W * 0.6, 0, double(W), H * 0.7, W * 0.3, double(H)},
                HueIndex(S.Hue, 5));
      break;
    case pkAsteroid: {
      double rot = c.T * 2 * kPi;
      std::vector<double> pts;
      TRand shape(S.Name);  // the same outline in every frame, turned
      for (int i = 0; i < 10; ++i) {
        double a = i / 10.0 * 2 * kPi + rot;
        double r = std::min(W, H) * (0.36 + 0.1 * shape.Real());
        pts.push_back(cx + std::cos(a) * r);
        pts.push_back(cy + std::sin(a) * r);
      }
      P.Polygon(pts, HueIndex(S.Hue, 1));
      for (int i = 0; i < 3; ++i) {
        double a = i * 2.1 + rot, r = std::min(W, H) * 0.18;
        P.Disc(cx + std::cos(a) * r, cy + std::sin(a) * r, std::min(W, H) * 0.07,
               HueIndex(S.Hue, 0));
      }
      break;
    }
    case pkFace:
      DrawFace(c);
      break;
    case pkBar:
      P.Fill(0, 0, W, H, HueIndex(S.Hue, 4));
      if (S.Variant == 1)
        for (int y = (c.F * 3) % 12; y < H; y += 12) P.Fill(0, y, W, 4, HueIndex(S.Hue, 7));
      break;
    case pkCursor:
      P.Polygon({1, 1, 1, 26, 8, 19, 14, 30, 18, 28, 12, 17, 22, 17}, HueIndex(S.Hue, 7));
      P.Polygon({3, 5, 3, 21, 8, 16, 14, 27, 15, 26, 10, 15, 17, 15}, HueIndex(S.Hue, 4));
      break;
    case pkIcon:
      P.Fill(0, 0, W, H, HueIndex(S.Hue, 1));
      P.Frame(0, 0, W, H, HueIndex(S.Hue, 5), 1);
      P.TextIn(0, 0, W, H, S.Caption, HueIndex(S.Hue, 7), 3);
      break;
    case pkOverlay:
      if (S.Variant == 0) {  // pause: scan lines over the frozen field
        for (int y = c.F; y < H; y += 4) P.Fill(0, y, W, 1, HueIndex(S.Hue, 0));
      } else if (S.Variant == 1) {  // book: a scanning beam over the model
        int y = static_cast<int>(c.T * H);
        P.Fill(0, y, W, 2, HueIndex(S.Hue, 6));
        P.Frame(0, 0, W, H, HueIndex(S.Hue, 3), 1);
      } else {  // face: radio interference
        for (int i = 0; i < 6; ++i)
          P.Fill(0, kFaceTop + c.R.Int(H - kFaceTop), W, 1, HueIndex(S.Hue, 3 + c.R.Int(4)));
      }
      break;
    case pkElement:
      P.Frame(0, 0, W, H, HueIndex(S.Hue, 5), 2);
      if (S.Variant == 1) P.Fill(4, 4, W - 8, H - 8, HueIndex(S.Hue, 6));
      break;
  }
}

}  // namespace

std::unique_ptr<TDIB> PaintPicture(const TPictureSpec& Spec, std::vector<TTextRun>* Runs) {
  int frames = std::max(1, Spec.Frames);
  TPainter p(Spec.Width * frames, Spec.Height);
  TRand r(Spec.Name);
  for (int f = 0; f < frames; ++f) {
    p.SetCell(f * Spec.Width, 0, Spec.Width, Spec.Height);
    TCtx c{
        p, Spec, r, Spec.Width, Spec.Height, f, frames > 1 ? static_cast<double>(f) / frames : 0.0};
    PaintFrame(c);
  }
  if (Runs) *Runs = p.Runs(Spec.Width);
  return p.ToDIB();
}
