// Reference-counted pixel storage shared by bitmaps until one of them writes,
// and the process-wide cache of palettes made from colour tables.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/dib/pixel_layout.h"
#include "framework/graphics.h"

// ---- Palette cache ---------------------------------------------------------------

class TPaletteItem {
 public:
  TPaletteItem() = default;
  ~TPaletteItem();
  TPaletteItem(const TPaletteItem&) = delete;
  TPaletteItem& operator=(const TPaletteItem&) = delete;

  void AddRef() { ++RefCount; }
  // Gives one reference back; true when no holder is left, and the cache
  // that owns the item then frees it (and so its handle).
  bool Release() { return --RefCount <= 0; }

  int32_t Checksum = 0;
  TPaletteHandle Palette = nullptr;  // owned
  int32_t RefCount = 0;
  TRGBQuads ColorTable{};
  int32_t Count = 0;
};

class TPaletteManager {
 public:
  // A shared handle for the first Count entries of ColorTable; the caller
  // holds one reference and gives it back with DeletePalette.
  TPaletteHandle CreatePalette(const TRGBQuads& ColorTable, int32_t Count);
  // Gives one reference back and sets Palette to nullptr. A handle that no
  // item holds is left alone.
  void DeletePalette(TPaletteHandle& Palette);
  int ItemCount() const { return static_cast<int>(items_.size()); }

 private:
  std::vector<std::unique_ptr<TPaletteItem>> items_;
};

// The process-wide palette cache, made on first use.
TPaletteManager& PaletteManager();

// ---- Shared image ------------------------------------------------------------------

// RGB, RLE8, RLE4 and bit fields, as they stand in a bitmap header.
enum : int32_t { BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3 };

// Bitmap size arithmetic is done in 64 bits and an image never holds more
// than this many bytes of pixels (64 MiB: a 4096 x 4096 picture at 32 bits,
// far beyond any of the game's), so no size can wrap and no small file can
// make the program take gigabytes.
constexpr int64_t MaxImageBytes = int64_t{1} << 26;

// Bytes per row, a multiple of 4; computed without overflow.
inline int64_t DIBWidthBytes(int64_t Width, int64_t BitCount) {
  return ((BitCount * Width + 31) >> 5) * 4;
}
// Bytes of Height rows of Width pixels, or -1 when beyond MaxImageBytes.
inline int64_t DIBImageBytes(int64_t Width, int64_t Height, int64_t BitCount) {
  const int64_t wb = DIBWidthBytes(Width, BitCount);
  if (wb > MaxImageBytes || (wb > 0 && Height > MaxImageBytes / wb)) return -1;
  return wb * Height;
}

class TDIBSharedImage {
 public:
  // The empty image.
  TDIBSharedImage();
  ~TDIBSharedImage();
  TDIBSharedImage(const TDIBSharedImage&) = delete;
  TDIBSharedImage& operator=(const TDIBSharedImage&) = delete;

  void Reference() { ++ref_count_; }
  // Frees the image when the last holder lets go.
  void Release();
  int32_t RefCount() const { return ref_count_; }

  // Turns a fresh image into a blank one of that shape. Raises
  // EInvalidGraphicOperation for an unsupported bit count or layout; when
  // the pixels cannot be held, EOutOfResources "DIB cannot be made" for a
  // bitmap section and EOutOfMemory for a memory image.
  void NewImage(int32_t AWidth, int32_t AHeight, int32_t ABitCount,
                const TPixelLayout& APixelFormat, const TRGBQuads& AColorTable, bool AMemoryImage,
                bool ACompressed);
  void Duplicate(const TDIBSharedImage& Source, bool AMemoryImage);
  // Like Duplicate, but RLE data is expanded into rows.
  void Decompress(const TDIBSharedImage& Source, bool AMemoryImage);
  // Takes over raw RLE data for an image shaped by NewImage(..., Compressed).
  void SetCompressedData(std::vector<uint8_t> Data);
  void SetColorTable(const TRGBQuads& Table);
  TPaletteHandle GetPalette();

  // Header fields, little-endian, inside BitmapInfo.
  uint32_t HeaderCompression() const;
  uint32_t HeaderImageSize() const;

  int32_t BitCount = 0;
  std::vector<uint8_t> BitmapInfo;
  int32_t BitmapInfoSize = 0;
  bool ChangePalette = true;
  TRGBQuads ColorTable{};
  int32_t ColorTablePos = 0;
  bool Compressed = false;
  int32_t Height = 0;
  bool MemoryImage = true;
  int32_t NextLine = 0;
  TPaletteHandle Palette = nullptr;
  int32_t PaletteCount = 0;
  uint8_t* PBits = nullptr;
  TPixelLayout PixelFormat = Layout888();
  int32_t Size = 0;
  uint8_t* TopPBits = nullptr;
  int32_t Width = 0;
  int32_t WidthBytes = 0;
  // The device context over the rows of a DIB-section image (not a memory
  // image); canvases draw through it.
  std::unique_ptr<TDeviceContext> DC;

  // The gdi layout of this image's pixels.
  TGdiPixelFormat GdiFormat() const;

 private:
  void Reset();
  void Allocate(int64_t Bytes, bool Section);
  [[noreturn]] static void CannotHold(bool Section);
  std::unique_ptr<uint8_t[]> buffer_;
  int32_t ref_count_ = 0;
};

// Expands RLE data into the rows of Dest (bottom row first). Runs, deltas and
// copies that leave the image are clipped, and nothing is read beyond Size
// bytes of Src.
void DecodeRLE8(const uint8_t* Src, int64_t SrcSize, uint8_t* Dest, int32_t Width, int32_t Height,
                int32_t WidthBytes);
void DecodeRLE4(const uint8_t* Src, int64_t SrcSize, uint8_t* Dest, int32_t Width, int32_t Height,
                int32_t WidthBytes);
