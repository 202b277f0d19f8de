// The engine's bitmap: pixels at 1, 4, 8, 16, 24 and 32 bits shared
// copy-on-write between copies, a colour table and palette, a canvas, and the
// DIB stream format (BMP files, bitmap bodies in picture archives and on the
// clipboard, and JPEG data recognised by its first bytes FF D8).
//
// Rows are stored bottom-up: row y counted from the top starts at
// TopPBits() + y * NextLine(). 16- and 32-bit pixels are in ImagePixelFormat();
// 24-bit pixels are the bytes blue, green, red.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "engine/dib/pixel_layout.h"
#include "engine/dib/shared_image.h"
#include "framework/graphics.h"

class TCanvas;

enum TResampleFilter : uint8_t {
  rfBox = 0,
  rfTriangle = 1,
  rfHermite = 2,
  rfBell = 3,
  rfBSpline = 4,
  rfLanczos3 = 5,
  rfMitchell = 6,
};

// The windows clipboard format number of device-independent bitmaps.
constexpr uint16_t CF_DIB = 8;

// Reads a block of clipboard memory in place. The stream keeps the block
// alive while it reads and never frees it: the block stays the clipboard's.
class TGlobalMemoryStream : public TByteStream {
 public:
  TAL_CLASS_NAME(TGlobalMemoryStream)
  explicit TGlobalMemoryStream(TClipboardData Data)
      : TByteStream(Data ? Data->data() : nullptr, Data ? Data->size() : 0),
        data_(std::move(Data)) {}

 private:
  TClipboardData data_;
};

class TDIB : public TGraphic {
 public:
  TAL_CLASS_NAME(TDIB)
  TDIB();
  ~TDIB() override;

  void Clear();
  // A new blank image of that shape in PixelFormat and ColorTable (zeroed);
  // nothing happens when shape and layout are unchanged. W or H at most 0
  // clears the bitmap.
  void SetSize(int32_t AWidth, int32_t AHeight, int32_t ABitCount);

  // Cached fields of the current image; reading them never copies pixels.
  int32_t BitCount() const { return bit_count_; }
  int32_t WidthBytes() const { return width_bytes_; }
  int32_t NextLine() const { return next_line_; }
  int32_t Size() const { return size_; }
  const TPixelLayout& ImagePixelFormat() const { return image_pixel_format_; }
  uint8_t* PBits() const { return pbits_; }
  uint8_t* TopPBits() const { return top_pbits_; }
  int32_t BitmapInfoSize() const { return image_->BitmapInfoSize; }
  int32_t PaletteCount() const { return image_->PaletteCount; }
  const TDIBSharedImage* Image() const { return image_; }

  // At most 0 clears; an empty bitmap gets a 1 x 1 (at least) image; any
  // other converts the pixels.
  void SetBitCount(int32_t Value);

  // Writable pixels: the image is made this bitmap's own first.
  uint8_t* Bits();
  uint8_t* TopBits();
  // Raises EInvalidGraphicOperation "Index of the scanning line exceeded the
  // range. (%d)" outside the rows.
  uint8_t* ScanLine(int32_t Y);
  // Outside the bitmap: 0 / nothing.
  int32_t GetPixel(int32_t X, int32_t Y);
  void SetPixel(int32_t X, int32_t Y, int32_t Value);
  int32_t Pixels(int32_t X, int32_t Y) { return GetPixel(X, Y); }

  TCanvas* Canvas();

  // The table used for new images; UpdatePalette pushes it into the image.
  TRGBQuads ColorTable{};
  // The layout SetSize gives new 16- and 32-bit images.
  TPixelLayout PixelFormat = Layout888();
  void UpdatePalette();

  bool HasAlphaChannel();
  // The fourth bytes of a 32-bit bitmap as an 8-bit grey bitmap; nullptr
  // without an alpha channel.
  std::unique_ptr<TDIB> CreateAlphaDIB();
  // Like CreateAlphaDIB, but this bitmap keeps (and frees) the result.
  TDIB* MakeAlphaDIB();
  const std::vector<std::unique_ptr<TDIB>>& AlphaDIBs() const { return alpha_dibs_; }

  void ConvertBitCount(int32_t ABitCount);
  // Becomes a 24-bit bitmap of the new size; raises "Source bitmap too small"
  // for an empty bitmap.
  void Resize(int32_t AWidth, int32_t AHeight, TResampleFilter Filter);
  void MakeBitfieldColorTable(int32_t R, int32_t G, int32_t B);

  // TGraphic
  void Assign(TPersistent* Source) override;
  void Draw(TCanvas* ACanvas, const TRect& Rect) override;
  bool GetEmpty() const override { return size_ == 0; }
  int32_t GetWidth() const override { return width_; }
  int32_t GetHeight() const override { return height_; }
  TPaletteHandle GetPalette() override;
  void SetPalette(TPaletteHandle Value) override;
  void SetWidth(int32_t Value) override;
  void SetHeight(int32_t Value) override;
  // The bitmap body: header, masks, colour table, pixels (no file header).
  void ReadData(TStream& Stream) override;
  void WriteData(TStream& Stream) override;
  void LoadFromStream(TStream& Stream) override;
  void SaveToStream(TStream& Stream) override;
  void LoadFromClipboardFormat(uint16_t Format, const TClipboardData& Data,
                               TPaletteHandle Palette) override;
  void SaveToClipboardFormat(uint16_t& Format, TClipboardData& Data,
                             TPaletteHandle& Palette) override;
  // Component streams: a binary "DIB" property is read as a BMP stream; it
  // is never written.
  bool ReadProperty(const std::string& Name, TReader& Reader) override;

 private:
  void SetImage(TDIBSharedImage* Value);
  void Unshare(bool KeepMemoryImage);
  void ToDIBSection();
  void EnsureDecompressed();
  void AssignGraphic(TGraphic* Graphic);
  void LoadJPEG(TStream& Stream, int64_t Start);

  TDIBSharedImage* image_ = nullptr;
  std::unique_ptr<TCanvas> canvas_;
  std::vector<std::unique_ptr<TDIB>> alpha_dibs_;
  int32_t bit_count_ = 0, height_ = 0, next_line_ = 0, size_ = 0, width_ = 0, width_bytes_ = 0;
  TPixelLayout image_pixel_format_ = Layout888();
  uint8_t* pbits_ = nullptr;
  uint8_t* top_pbits_ = nullptr;
};

// Reads a bitmap body into a fresh image (header, masks, colour table,
// pixels). Bad data raises EInvalidGraphic "DIB is invalid", the layout
// errors of NewImage, or EReadError when the stream ends early.
void ReadDIBBody(TStream& Stream, TDIBSharedImage& Image, bool MemoryImage);

// Fills Dest (whose size is the target size) from Source, both made 24-bit.
// Raises Exception "Source bitmap too small" for a source without pixels.
void ResampleDIB(TDIB& Source, TDIB& Dest, TResampleFilter Filter, float Support);
float FilterSupport(TResampleFilter Filter);
float FilterKernel(TResampleFilter Filter, float X);

// Registers TDIB with the graphic classes, the "dib" extension and the
// device-independent bitmap clipboard format. Runs at start-up; repeating it
// does nothing.
void RegisterDIBGraphicClass();
