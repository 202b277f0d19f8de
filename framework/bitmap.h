// The framework's bitmap: a picture kept as 0x00RRGGBB pixels with a canvas,
// a colour table and pixel format for what it was loaded from or will be
// saved as, a monochrome form, and a transparent colour. Loads and saves BMP
// files and program resources by name.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/canvas.h"
#include "framework/graphics.h"
#include "platform/gdi/gdi.h"

enum TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf24bit, pf32bit };
enum TTransparentMode { tmAuto, tmFixed };
enum TBitmapHandleType { bmDIB, bmDDB };

class TBitmap : public TGraphic {
 public:
  TAL_CLASS_NAME(TBitmap)
  TBitmap();
  ~TBitmap() override;

  bool GetEmpty() const override { return width_ <= 0 || height_ <= 0; }
  int32_t GetWidth() const override { return width_; }
  int32_t GetHeight() const override { return height_; }
  // Resizing keeps what fits from the top-left; new pixels are black.
  void SetWidth(int32_t Value) override { SetSize(Value, height_); }
  void SetHeight(int32_t Value) override { SetSize(width_, Value); }
  void SetSize(int32_t AWidth, int32_t AHeight);

  TCanvas* Canvas();
  // The context over the pixels (made with the bitmap, follows resizing).
  HDC DC();
  uint32_t* ScanLine(int32_t Y);
  const uint32_t* ScanLine(int32_t Y) const;

  // Draws stretched; a transparent bitmap leaves the pixels of its
  // transparent colour out.
  void Draw(TCanvas* ACanvas, const TRect& Rect) override;

  // BMP files: 1, 4, 8, 24 and 32 bits per pixel, uncompressed. Bad data
  // raises EInvalidGraphic "Bitmap image is not valid" and leaves the
  // bitmap as it was.
  void LoadFromStream(TStream& Stream) override;
  // Written at the pixel format's depth (indexed formats through the colour
  // table, nearest entry), else 24 bits.
  void SaveToStream(TStream& Stream) override;
  // A program resource (a BMP file); EResNotFound "Resource %s not found".
  void LoadFromResourceName(const std::string& Name);
  void Assign(TPersistent* Source) override;

  TPixelFormat PixelFormat() const { return pixel_format_; }
  void SetPixelFormat(TPixelFormat Value);
  const std::vector<RGBQUAD>& ColorTable() const { return table_; }
  void SetColorTable(const std::vector<RGBQUAD>& Table) { table_ = Table; }

  // Monochrome: every pixel black or white. Setting it converts: pixels of
  // the canvas's brush colour become white, all others black.
  bool Monochrome() const { return monochrome_; }
  void SetMonochrome(bool Value);

  // tmAuto: the bottom-left pixel's colour (clDefault while empty); tmFixed:
  // the colour set. Setting a colour switches to tmFixed.
  TColor TransparentColor() const;
  void SetTransparentColor(TColor Value);
  TTransparentMode TransparentMode() const { return transparent_mode_; }
  void SetTransparentMode(TTransparentMode Value);

  TBitmapHandleType HandleType() const { return handle_type_; }
  void SetHandleType(TBitmapHandleType Value) { handle_type_ = Value; }
  // Gives back what the system keeps for the bitmap; the pixels stay.
  void Dormant() {}
  void FreeImage() {}

  // Tells OnChange that the pixels changed (drawing through the canvas does).
  void Modify() { Changed(this); }

 private:
  void Rebind();
  int32_t width_ = 0, height_ = 0;
  std::vector<uint32_t> pixels_;
  std::unique_ptr<TDeviceContext> dc_;
  std::unique_ptr<TCanvas> canvas_;
  TPixelFormat pixel_format_ = pfDevice;
  std::vector<RGBQUAD> table_;
  bool monochrome_ = false;
  TColor transparent_color_ = clDefault;
  TTransparentMode transparent_mode_ = tmAuto;
  TBitmapHandleType handle_type_ = bmDIB;
};

// The standard 16-colour table (black, maroon, green, olive, navy, purple,
// teal, silver, grey, red, lime, yellow, blue, fuchsia, aqua, white).
const std::vector<RGBQUAD>& StandardColorTable16();

// Registers TBitmap and the "bmp" extension; repeating it does nothing.
void RegisterBitmapGraphicClass();
