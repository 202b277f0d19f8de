#include "platform/gdi/gdi.h"

#include "platform/gdi/gdi_draw.h"
#include "platform/gdi/pixel_access.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

TGdiPixelFormat TGdiPixelFormat::Resolved() const {
  if (IsIndexed() || RMask || GMask || BMask) return *this;
  if (BitCount == 16) return RGB555();
  return RGB888(BitCount);
}

TPixelChannels TGdiPixelFormat::Channels() const {
  const TGdiPixelFormat f = Resolved();
  return ChannelsFromMasks(f.RMask, f.GMask, f.BMask);
}

int GdiNearestIndex(const RGBQUAD* Table, int Count, uint8_t R, uint8_t G, uint8_t B) {
  int best = 0;
  int bestDist = 0x7FFFFFFF;
  for (int i = 0; i < Count; ++i) {
    int dr = Table[i].rgbRed - R, dg = Table[i].rgbGreen - G, db = Table[i].rgbBlue - B;
    int d = dr * dr + dg * dg + db * db;
    if (d < bestDist) {
      bestDist = d;
      best = i;
      if (d == 0) break;
    }
  }
  return best;
}

TColor ColorToRGB(TColor Color) {
  uint32_t c = static_cast<uint32_t>(Color);
  if ((c & 0xFF000000u) == 0xFF000000u) {
    // The classic system colours, by index.
    static const uint32_t sys[] = {
        0xC8D0D4, 0xA56E3A, 0x6A240A, 0x808080, 0xC8D0D4, 0xFFFFFF, 0x000000, 0x000000,
        0x000000, 0xFFFFFF, 0xC8D0D4, 0xC8D0D4, 0x808080, 0x6A240A, 0xFFFFFF, 0xC8D0D4,
        0x808080, 0x808080, 0x000000, 0xC8D0D4, 0xFFFFFF, 0x404040, 0xC8D0D4, 0x000000,
        0xE1FFFF, 0xB5B5B5, 0x800000, 0xF0CAA6, 0xC0C0C0, 0xD0D0D0, 0xFFFFFF};
    uint32_t i = c & 0xFF;
    return static_cast<TColor>(i < std::size(sys) ? sys[i] : 0);
  }
  return static_cast<TColor>(c & 0x00FFFFFFu);
}

void GetSystemPaletteEntries(RGBQUAD (&Table)[256]) {
  static const uint8_t lo[10][3] = {{0, 0, 0},       {128, 0, 0},    {0, 128, 0},   {128, 128, 0},
                                    {0, 0, 128},     {128, 0, 128},  {0, 128, 128}, {192, 192, 192},
                                    {192, 220, 192}, {166, 202, 240}};
  static const uint8_t hi[10][3] = {
      {255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},   {0, 255, 0},
      {255, 255, 0},   {0, 0, 255},     {255, 0, 255},   {0, 255, 255}, {255, 255, 255}};
  for (auto& e : Table) e = RGBQUAD{};
  for (int i = 0; i < 10; ++i) {
    Table[i] = RGBQUAD{lo[i][2], lo[i][1], lo[i][0], 0};
    Table[246 + i] = RGBQUAD{hi[i][2], hi[i][1], hi[i][0], 0};
  }
}

// ---------------------------------------------------------------------------

TDeviceContext::TDeviceContext(void* Bits, int Width, int Height, int Pitch,
                               const TGdiPixelFormat& Format, const RGBQUAD* Table, int Colors)
    : bits_(Bits),
      width_(Width),
      height_(Height),
      pitch_(Pitch),
      format_(Format.Resolved()),
      channels_(format_.Channels()) {
  SetColorTable(Table, Colors);
  ResetClip();
}

// A context that goes leaves no saved states behind for the next one made
// at its address.
TDeviceContext::~TDeviceContext() {
  ReleaseDCState(this);
}

void TDeviceContext::Rebind(void* Bits, int Width, int Height, int Pitch) {
  bits_ = Bits;
  width_ = Width;
  height_ = Height;
  pitch_ = Pitch;
  ResetClip();
}

void TDeviceContext::SetColorTable(const RGBQUAD* Table, int Colors) {
  table_.assign(Table, Table + (Table ? std::max(Colors, 0) : 0));
}

void TDeviceContext::SetClipRect(const TRect& Rect) {
  clip_.Left = std::max(Rect.Left, 0);
  clip_.Top = std::max(Rect.Top, 0);
  clip_.Right = std::min(Rect.Right, width_);
  clip_.Bottom = std::min(Rect.Bottom, height_);
}

void TDeviceContext::ResetClip() {
  clip_ = TRect{0, 0, width_, height_};
}

uint32_t TDeviceContext::ColorToPixel(TColor Color) const {
  TColor c = ColorToRGB(Color);
  if (format_.IsIndexed()) {
    if (table_.empty()) return 0;
    int n = std::min<int>(static_cast<int>(table_.size()), 1 << format_.BitCount);
    return static_cast<uint32_t>(
        GdiNearestIndex(table_.data(), n, GetRValue(c), GetGValue(c), GetBValue(c)));
  }
  return PackChannels(channels_, GetRValue(c), GetGValue(c), GetBValue(c));
}

TColor TDeviceContext::PixelToColor(uint32_t Pixel) const {
  if (format_.IsIndexed()) {
    if (Pixel >= table_.size()) return clBlack;
    const RGBQUAD& q = table_[Pixel];
    return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
  }
  uint8_t r, g, b;
  UnpackChannels(channels_, Pixel, r, g, b);
  return RGB(r, g, b);
}

uint32_t TDeviceContext::GetRawPixel(int X, int Y) const {
  if (!bits_ || X < 0 || Y < 0 || X >= width_ || Y >= height_) return 0;
  return ReadRowPixel(Row(Y), X, format_.BitCount);
}

void TDeviceContext::SetRawPixel(int X, int Y, uint32_t Pixel) {
  if (!bits_ || X < 0 || Y < 0 || X >= width_ || Y >= height_) return;
  WriteRowPixel(Row(Y), X, format_.BitCount, Pixel);
}

TColor TDeviceContext::GetPixel(int X, int Y) const {
  if (!bits_ || X < 0 || Y < 0 || X >= width_ || Y >= height_) return clNone;
  return PixelToColor(GetRawPixel(X, Y));
}

void TDeviceContext::SetPixel(int X, int Y, TColor Color) {
  if (X < clip_.Left || Y < clip_.Top || X >= clip_.Right || Y >= clip_.Bottom) return;
  SetRawPixel(X, Y, ColorToPixel(Color));
}

void TDeviceContext::HLine(int X0, int X1, int Y, uint32_t Pixel) {
  if (Y < clip_.Top || Y >= clip_.Bottom) return;
  X0 = std::max(X0, clip_.Left);
  X1 = std::min(X1, clip_.Right);
  if (X0 >= X1) return;
  uint8_t* row = Row(Y);
  switch (format_.BitCount) {
    case 8:
      std::memset(row + X0, static_cast<int>(Pixel & 0xFF), static_cast<size_t>(X1 - X0));
      return;
    case 16: {
      uint16_t v = static_cast<uint16_t>(Pixel);
      auto* p = reinterpret_cast<uint16_t*>(row) + X0;
      if ((reinterpret_cast<uintptr_t>(row) & 1) == 0) {
        std::fill(p, p + (X1 - X0), v);
        return;
      }
      break;
    }
    case 32: {
      if ((reinterpret_cast<uintptr_t>(row) & 3) == 0) {
        auto* p = reinterpret_cast<uint32_t*>(row) + X0;
        std::fill(p, p + (X1 - X0), Pixel);
        return;
      }
      break;
    }
    default:
      break;
  }
  for (int x = X0; x < X1; ++x) SetRawPixel(x, Y, Pixel);
}

void TDeviceContext::FillSolid(const TRect& Rect, TColor Color) {
  uint32_t p = ColorToPixel(Color);
  int top = std::max(Rect.Top, clip_.Top), bottom = std::min(Rect.Bottom, clip_.Bottom);
  for (int y = top; y < bottom; ++y) HLine(Rect.Left, Rect.Right, y, p);
}

void TDeviceContext::FillRect(const TRect& Rect) {
  if (Brush.Style == bsClear) return;
  FillSolid(Rect, Brush.Color);
}

void TDeviceContext::FrameRect(const TRect& R) {
  if (R.Right <= R.Left || R.Bottom <= R.Top) return;
  uint32_t p = ColorToPixel(Brush.Color);
  HLine(R.Left, R.Right, R.Top, p);
  HLine(R.Left, R.Right, R.Bottom - 1, p);
  for (int y = R.Top + 1; y < R.Bottom - 1; ++y) {
    HLine(R.Left, R.Left + 1, y, p);
    HLine(R.Right - 1, R.Right, y, p);
  }
}

void TDeviceContext::PutPen(int X, int Y, uint32_t Pixel) {
  int w = std::max(Pen.Width, 1);
  int off = (w - 1) / 2;
  for (int dy = 0; dy < w; ++dy) HLine(X - off, X - off + w, Y - off + dy, Pixel);
}

void TDeviceContext::MoveTo(int X, int Y) {
  PenPos = TPoint{X, Y};
}

void TDeviceContext::LineTo(int X, int Y) {
  if (Pen.Style != psClear) {
    uint32_t p = ColorToPixel(Pen.Color);
    int x0 = PenPos.X, y0 = PenPos.Y;
    int dx = std::abs(X - x0), dy = -std::abs(Y - y0);
    int sx = x0 < X ? 1 : -1, sy = y0 < Y ? 1 : -1;
    int err = dx + dy;
    int step = 0;
    while (!(x0 == X && y0 == Y)) {
      bool on = true;
      if (Pen.Style == psDot) on = (step % 2) == 0;
      if (Pen.Style == psDash) on = (step % 8) < 6;
      if (on) PutPen(x0, y0, p);
      ++step;
      int e2 = 2 * err;
      if (e2 >= dy) {
        err += dy;
        x0 += sx;
      }
      if (e2 <= dx) {
        err += dx;
        y0 += sy;
      }
    }
  }
  PenPos = TPoint{X, Y};
}

void TDeviceContext::Rectangle(const TRect& R) {
  if (R.Right <= R.Left || R.Bottom <= R.Top) return;
  if (Brush.Style != bsClear)
    FillSolid(TRect{R.Left + 1, R.Top + 1, R.Right - 1, R.Bottom - 1}, Brush.Color);
  if (Pen.Style == psClear) return;
  TPoint saved = PenPos;
  MoveTo(R.Left, R.Top);
  LineTo(R.Right - 1, R.Top);
  LineTo(R.Right - 1, R.Bottom - 1);
  LineTo(R.Left, R.Bottom - 1);
  LineTo(R.Left, R.Top);
  PenPos = saved;
}

void TDeviceContext::Ellipse(const TRect& R) {
  int w = R.Right - R.Left, h = R.Bottom - R.Top;
  if (w <= 0 || h <= 0) return;
  double cx = R.Left + w / 2.0, cy = R.Top + h / 2.0, rx = w / 2.0, ry = h / 2.0;
  uint32_t fill = ColorToPixel(Brush.Color), pen = ColorToPixel(Pen.Color);
  for (int y = R.Top; y < R.Bottom; ++y) {
    double t = (y + 0.5 - cy) / ry;
    double half = rx * std::sqrt(std::max(0.0, 1.0 - t * t));
    int x0 = static_cast<int>(std::lround(cx - half)),
        x1 = static_cast<int>(std::lround(cx + half));
    if (x1 <= x0) continue;
    if (Brush.Style != bsClear) HLine(x0, x1, y, fill);
    if (Pen.Style != psClear) {
      HLine(x0, x0 + 1, y, pen);
      HLine(x1 - 1, x1, y, pen);
    }
  }
}

bool TDeviceContext::BitBlt(int X, int Y, int W, int H, const TDeviceContext& Source, int SX,
                            int SY, uint32_t Rop) {
  return StretchBlt(TRect{X, Y, X + W, Y + H}, Source, TRect{SX, SY, SX + W, SY + H}, Rop);
}

bool TDeviceContext::StretchBlt(const TRect& Dest, const TDeviceContext& Source, const TRect& Src,
                                uint32_t Rop) {
  int dw = Dest.Right - Dest.Left, dh = Dest.Bottom - Dest.Top;
  int sw = Src.Right - Src.Left, sh = Src.Bottom - Src.Top;
  if (dw == 0 || dh == 0 || sw == 0 || sh == 0 || !bits_ || !Source.bits_) return false;
  // A negative extent on one side only mirrors along that axis.
  bool mirrorX = (dw < 0) != (sw < 0), mirrorY = (dh < 0) != (sh < 0);
  int dl = std::min(Dest.Left, Dest.Right), dt = std::min(Dest.Top, Dest.Bottom);
  int sl = std::min(Src.Left, Src.Right), st = std::min(Src.Top, Src.Bottom);
  dw = std::abs(dw);
  dh = std::abs(dh);
  sw = std::abs(sw);
  sh = std::abs(sh);
  int x0 = std::max(dl, clip_.Left), x1 = std::min(dl + dw, clip_.Right);
  int y0 = std::max(dt, clip_.Top), y1 = std::min(dt + dh, clip_.Bottom);
  if (x0 >= x1 || y0 >= y1) return true;
  bool same = format_ == Source.format_ && (!format_.IsIndexed() || table_ == Source.table_);
  // Source index of each destination column, sampled at pixel centres.
  std::vector<int> cols(static_cast<size_t>(x1 - x0));
  for (int x = x0; x < x1; ++x) {
    int64_t i = x - dl;
    if (mirrorX) i = dw - 1 - i;
    cols[static_cast<size_t>(x - x0)] =
        sl + static_cast<int>(((2 * i + 1) * sw) / (2 * static_cast<int64_t>(dw)));
  }
  std::vector<uint32_t> lut;
  if (!same && Source.format_.IsIndexed()) {
    lut.resize(size_t{1} << Source.format_.BitCount);
    for (size_t i = 0; i < lut.size(); ++i)
      lut[i] = ColorToPixel(Source.PixelToColor(static_cast<uint32_t>(i)));
  }
  for (int y = y0; y < y1; ++y) {
    int64_t j = y - dt;
    if (mirrorY) j = dh - 1 - j;
    int sy = st + static_cast<int>(((2 * j + 1) * sh) / (2 * static_cast<int64_t>(dh)));
    if (sy < 0 || sy >= Source.height_) continue;
    for (int x = x0; x < x1; ++x) {
      int sx = cols[static_cast<size_t>(x - x0)];
      if (sx < 0 || sx >= Source.width_) continue;
      uint32_t p = Source.GetRawPixel(sx, sy);
      if (!same) p = lut.empty() ? ColorToPixel(Source.PixelToColor(p)) : lut[p];
      SetRawPixel(x, y, p);
    }
  }
  return true;
}

void TDeviceContext::BlendPixel(int X, int Y, TColor Color, uint8_t Coverage) {
  if (Coverage == 0 || X < clip_.Left || Y < clip_.Top || X >= clip_.Right || Y >= clip_.Bottom)
    return;
  if (Coverage == 255 || format_.IsIndexed()) {
    if (Coverage >= 128) SetRawPixel(X, Y, ColorToPixel(Color));
    return;
  }
  TColor under = PixelToColor(GetRawPixel(X, Y));
  auto mix = [&](int a, int b) {
    return static_cast<uint8_t>((a * Coverage + b * (255 - Coverage) + 127) / 255);
  };
  SetRawPixel(X, Y,
              PackChannels(channels_, mix(GetRValue(Color), GetRValue(under)),
                           mix(GetGValue(Color), GetGValue(under)),
                           mix(GetBValue(Color), GetBValue(under))));
}
