// Device contexts over pixel buffers: the drawing that canvases, bitmaps and
// surfaces share. A context draws straight into memory it does not own (a
// bitmap's rows, a locked surface) in that memory's pixel format. Colours
// become pixels through the one conversion in pixel_channels.h, which every
// other user of surface pixels calls too, so colour keys always match.
//
// Text goes through FreeType; font names are resolved with fontconfig, with
// metric-compatible faces standing in for the classic Windows families. Font
// heights follow the Windows convention: negative = character height in
// pixels, positive = cell height; point sizes convert at 96 dpi.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/win/geometry.h"
#include "platform/gdi/pixel_channels.h"

struct RGBQUAD {
  uint8_t rgbBlue = 0, rgbGreen = 0, rgbRed = 0, rgbReserved = 0;
  friend bool operator==(const RGBQUAD&, const RGBQUAD&) = default;
};

struct TSize {
  int32_t cx = 0, cy = 0;
  friend bool operator==(const TSize&, const TSize&) = default;
};

// The layout of pixels in memory. Masks describe 16-, 24- and 32-bit pixels
// (zero masks mean the defaults: 5-5-5 at 16 bits, 8-8-8 above); 1-, 4- and
// 8-bit pixels index a colour table.
struct TGdiPixelFormat {
  int BitCount = 32;
  uint32_t RMask = 0, GMask = 0, BMask = 0;

  static TGdiPixelFormat Masks(int Bits, uint32_t R, uint32_t G, uint32_t B) {
    return {Bits, R, G, B};
  }
  static TGdiPixelFormat RGB565() { return {16, 0xF800, 0x07E0, 0x001F}; }
  static TGdiPixelFormat RGB555() { return {16, 0x7C00, 0x03E0, 0x001F}; }
  static TGdiPixelFormat RGB888(int Bits) { return {Bits, 0xFF0000, 0x00FF00, 0x0000FF}; }
  static TGdiPixelFormat Indexed(int Bits) { return {Bits, 0, 0, 0}; }

  bool IsIndexed() const { return BitCount <= 8; }
  // Masks with the defaults filled in.
  TGdiPixelFormat Resolved() const;
  // Where the components of the resolved masks sit.
  TPixelChannels Channels() const;
  // 8-bit components to a pixel: each component keeps its top bits.
  uint32_t Pack(uint8_t R, uint8_t G, uint8_t B) const { return PackChannels(Channels(), R, G, B); }
  // A pixel to 8-bit components; the top bits are copied into the low ones so
  // full intensity gives 255.
  void Unpack(uint32_t Pixel, uint8_t& R, uint8_t& G, uint8_t& B) const {
    UnpackChannels(Channels(), Pixel, R, G, B);
  }
  friend bool operator==(const TGdiPixelFormat&, const TGdiPixelFormat&) = default;
};

// The nearest colour-table entry to a colour (first wins on ties).
int GdiNearestIndex(const RGBQUAD* Table, int Count, uint8_t R, uint8_t G, uint8_t B);

// System colours (top byte 0xFF) and palette indexes (top byte 0x01) to
// plain 0x00BBGGRR.
TColor ColorToRGB(TColor Color);
inline uint8_t GetRValue(TColor c) {
  return static_cast<uint8_t>(c & 0xFF);
}
inline uint8_t GetGValue(TColor c) {
  return static_cast<uint8_t>((c >> 8) & 0xFF);
}
inline uint8_t GetBValue(TColor c) {
  return static_cast<uint8_t>((c >> 16) & 0xFF);
}
inline TColor RGB(uint8_t r, uint8_t g, uint8_t b) {
  return r | (g << 8) | (b << 16);
}

// The 20 static colours of the system palette (entries 0..9 and 246..255;
// the middle is black).
void GetSystemPaletteEntries(RGBQUAD (&Table)[256]);

enum TPenStyle : uint8_t {
  psSolid,
  psDash,
  psDot,
  psDashDot,
  psDashDotDot,
  psClear,
  psInsideFrame
};
enum TBrushStyle : uint8_t {
  bsSolid,
  bsClear,
  bsHorizontal,
  bsVertical,
  bsFDiagonal,
  bsBDiagonal,
  bsCross,
  bsDiagCross
};
enum TFontStyle : uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = uint8_t;

struct TGdiPen {
  TColor Color = clBlack;
  int Width = 1;
  TPenStyle Style = psSolid;
};

struct TGdiBrush {
  TColor Color = clWhite;
  TBrushStyle Style = bsSolid;
};

struct TGdiFont {
  std::string Name = "MS Sans Serif";
  int Height = -11;  // -11 px = 8 pt at 96 dpi
  TFontStyles Style = 0;
  TColor Color = clBlack;
  friend bool operator==(const TGdiFont&, const TGdiFont&) = default;
};

enum TBkMode : uint8_t { TRANSPARENT = 1, OPAQUE = 2 };

constexpr uint32_t SRCCOPY = 0x00CC0020;

class TDeviceContext;
using HDC = TDeviceContext*;

class TDeviceContext {
 public:
  // Bits point at row 0 (the top row); Pitch may be negative for bottom-up
  // memory. Table holds Colors entries for indexed formats.
  TDeviceContext(void* Bits, int Width, int Height, int Pitch, const TGdiPixelFormat& Format,
                 const RGBQUAD* Table = nullptr, int Colors = 0);
  ~TDeviceContext();
  TDeviceContext(const TDeviceContext&) = delete;
  TDeviceContext& operator=(const TDeviceContext&) = delete;

  // Points the context at other memory of the same kind (a surface whose
  // memory was exchanged by a flip, a bitmap that was reallocated).
  void Rebind(void* Bits, int Width, int Height, int Pitch);
  void SetColorTable(const RGBQUAD* Table, int Colors);

  int Width() const { return width_; }
  int Height() const { return height_; }
  int Pitch() const { return pitch_; }
  void* Bits() const { return bits_; }
  const TGdiPixelFormat& Format() const { return format_; }
  const std::vector<RGBQUAD>& ColorTable() const { return table_; }

  // A colour's pixel in this context: packed for RGB formats, the nearest
  // table entry for indexed ones.
  uint32_t ColorToPixel(TColor Color) const;
  TColor PixelToColor(uint32_t Pixel) const;
  uint32_t GetRawPixel(int X, int Y) const;        // 0 outside
  void SetRawPixel(int X, int Y, uint32_t Pixel);  // nothing outside

  // Drawing state, as a selected pen, brush and font would be.
  TGdiPen Pen;
  TGdiBrush Brush;
  TGdiFont Font;
  TBkMode BkMode = OPAQUE;
  TColor BkColor = clWhite;
  TPoint PenPos;
  // Drawing is limited to this rectangle and the buffer.
  void SetClipRect(const TRect& Rect);
  void ResetClip();
  const TRect& ClipRect() const { return clip_; }

  TColor GetPixel(int X, int Y) const;  // clNone outside
  void SetPixel(int X, int Y, TColor Color);
  // The brush's colour over Rect (right and bottom exclusive).
  void FillRect(const TRect& Rect);
  void FillSolid(const TRect& Rect, TColor Color);
  void MoveTo(int X, int Y);
  void LineTo(int X, int Y);          // the end point is not drawn
  void Rectangle(const TRect& Rect);  // pen frame, brush inside
  void FrameRect(const TRect& Rect);  // brush-coloured frame one pixel wide
  void Ellipse(const TRect& Rect);
  // Text at (X, Y) = the top-left of its cell, in Font.Color; OPAQUE fills
  // the cell with BkColor first.
  void TextOut(int X, int Y, const std::string& Text);
  TSize TextExtent(const std::string& Text);
  // Copies (stretching by nearest pixel when sizes differ) with SRCCOPY.
  // Negative destination sizes mirror. Colours convert between formats.
  bool StretchBlt(const TRect& Dest, const TDeviceContext& Source, const TRect& Src,
                  uint32_t Rop = SRCCOPY);
  bool BitBlt(int X, int Y, int W, int H, const TDeviceContext& Source, int SX, int SY,
              uint32_t Rop = SRCCOPY);

 private:
  uint8_t* Row(int Y) const {
    return static_cast<uint8_t*>(bits_) + static_cast<std::ptrdiff_t>(Y) * pitch_;
  }
  void HLine(int X0, int X1, int Y, uint32_t Pixel);
  void PutPen(int X, int Y, uint32_t Pixel);
  void BlendPixel(int X, int Y, TColor Color, uint8_t Coverage);

  void* bits_;
  int width_, height_, pitch_;
  TGdiPixelFormat format_;
  TPixelChannels channels_;  // of format_, worked out once for per-pixel use
  std::vector<RGBQUAD> table_;
  TRect clip_;
};

// Font metrics of a resolved face at a Windows-style height.
struct TGdiTextMetric {
  int Height = 0, Ascent = 0, Descent = 0, InternalLeading = 0, AveCharWidth = 0;
};
TGdiTextMetric GdiTextMetrics(const TGdiFont& Font);
// The file fontconfig resolves a face name to (empty when none).
std::string GdiResolveFontFile(const std::string& Name, TFontStyles Style);
