#include "engine/dib/shared_image.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "framework/sysutils.h"

// ---- Palette cache ---------------------------------------------------------------

TPaletteItem::~TPaletteItem() {
  DeletePaletteHandle(Palette);
}

TPaletteHandle TPaletteManager::CreatePalette(const TRGBQuads& ColorTable, int32_t Count) {
  Count = std::clamp(Count, 0, 256);
  int32_t checksum = Count;
  for (int32_t i = 0; i < Count; ++i) {
    const RGBQUAD& q = ColorTable[static_cast<size_t>(i)];
    checksum += q.rgbRed + q.rgbGreen + q.rgbBlue;
  }
  const size_t bytes = static_cast<size_t>(Count) * sizeof(RGBQUAD);
  for (auto& item : items_) {
    if (item->Checksum == checksum && item->Count == Count &&
        std::memcmp(item->ColorTable.data(), ColorTable.data(), bytes) == 0) {
      item->AddRef();
      return item->Palette;
    }
  }
  auto item = std::make_unique<TPaletteItem>();
  item->Checksum = checksum;
  std::copy_n(ColorTable.begin(), Count, item->ColorTable.begin());
  item->Count = Count;
  TPaletteEntries entries{};
  for (int32_t i = 0; i < Count; ++i)
    entries[static_cast<size_t>(i)] = RGBQuadToPaletteEntry(ColorTable[static_cast<size_t>(i)]);
  item->Palette = CreatePaletteHandle(entries.data(), Count);
  item->RefCount = 1;
  TPaletteHandle h = item->Palette;
  items_.push_back(std::move(item));
  return h;
}

void TPaletteManager::DeletePalette(TPaletteHandle& Palette) {
  if (!Palette) return;
  for (auto it = items_.begin(); it != items_.end(); ++it) {
    if ((*it)->Palette == Palette) {
      if ((*it)->Release()) items_.erase(it);
      Palette = nullptr;
      return;
    }
  }
}

TPaletteManager& PaletteManager() {
  // Never freed: bitmaps held by other static objects may give palettes back
  // during exit, after function-local statics would have died.
  static TPaletteManager* manager = new TPaletteManager;
  return *manager;
}

// ---- Shared image ------------------------------------------------------------------

namespace {
void PutU16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void PutU32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (size_t i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t GetU32(const std::vector<uint8_t>& b, size_t at) {
  if (b.size() < at + 4) return 0;
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
}  // namespace

TDIBSharedImage::TDIBSharedImage() {
  Reset();
}

TDIBSharedImage::~TDIBSharedImage() {
  if (Palette) PaletteManager().DeletePalette(Palette);
}

void TDIBSharedImage::Release() {
  if (--ref_count_ <= 0) delete this;
}

void TDIBSharedImage::Reset() {
  if (Palette) PaletteManager().DeletePalette(Palette);
  DC.reset();
  buffer_.reset();
  BitCount = 0;
  BitmapInfo.clear();
  BitmapInfoSize = 0;
  ChangePalette = true;
  MakeGrayColorTable(ColorTable);
  ColorTablePos = 0;
  Compressed = false;
  Height = 0;
  MemoryImage = true;
  NextLine = 0;
  PaletteCount = 0;
  PBits = nullptr;
  PixelFormat = Layout888();
  Size = 0;
  TopPBits = nullptr;
  Width = 0;
  WidthBytes = 0;
}

void TDIBSharedImage::Allocate(int64_t Bytes, bool Section) {
  buffer_.reset();
  PBits = nullptr;
  if (Bytes <= 0) return;
  // Zeroed, row padding included, so the same picture always saves as the
  // same bytes.
  uint8_t* p =
      Bytes > MaxImageBytes ? nullptr : new (std::nothrow) uint8_t[static_cast<size_t>(Bytes)]();
  if (!p) CannotHold(Section);
  buffer_.reset(p);
  PBits = p;
}

void TDIBSharedImage::CannotHold(bool Section) {
  // Rows that a device context draws on are a bitmap section, a system
  // object; plain pixel memory is only memory.
  if (Section) Raise<EOutOfResources>("%s cannot be made", "DIB");
  Raise<EOutOfMemory>("Out of memory");
}

void TDIBSharedImage::NewImage(int32_t AWidth, int32_t AHeight, int32_t ABitCount,
                               const TPixelLayout& APixelFormat, const TRGBQuads& AColorTable,
                               bool AMemoryImage, bool ACompressed) {
  Reset();
  switch (ABitCount) {
    case 1:
    case 4:
    case 8:
    case 24:
    case 32:
      if (!APixelFormat.SameMasks(Layout888()))
        Raise<EInvalidGraphicOperation>("PixelFormat in invalid");
      break;
    case 16:
      if (!APixelFormat.SameMasks(Layout555()) && !APixelFormat.SameMasks(Layout565()))
        Raise<EInvalidGraphicOperation>("PixelFormat in invalid");
      break;
    default:
      Raise<EInvalidGraphicOperation>("Bitcount in invalid (%d)", ABitCount);
  }
  if (AWidth < 0 || AHeight < 0) Raise<EInvalidGraphic>("DIB is invalid");
  const int64_t wb = DIBWidthBytes(AWidth, ABitCount);
  const int64_t size = DIBImageBytes(AWidth, AHeight, ABitCount);
  const bool section = !AMemoryImage && !ACompressed;
  if (size < 0) CannotHold(section);

  BitCount = ABitCount;
  Height = AHeight;
  Width = AWidth;
  WidthBytes = static_cast<int32_t>(wb);
  NextLine = -WidthBytes;
  Size = static_cast<int32_t>(size);
  PixelFormat = APixelFormat;
  PaletteCount = ABitCount <= 8 ? (1 << ABitCount) : 0;

  const bool masks = ABitCount == 16 || ABitCount == 32;
  BitmapInfoSize = 40 + (masks ? 12 : 0) + PaletteCount * 4;
  BitmapInfo.assign(static_cast<size_t>(BitmapInfoSize), 0);
  int32_t compression = BI_RGB;
  if (masks)
    compression = BI_BITFIELDS;
  else if (ABitCount == 4 && ACompressed)
    compression = BI_RLE4;
  else if (ABitCount == 8 && ACompressed)
    compression = BI_RLE8;
  PutU32(BitmapInfo, 0, 40);
  PutU32(BitmapInfo, 4, static_cast<uint32_t>(Width));
  PutU32(BitmapInfo, 8, static_cast<uint32_t>(Height));
  PutU16(BitmapInfo, 12, 1);
  PutU16(BitmapInfo, 14, static_cast<uint32_t>(BitCount));
  PutU32(BitmapInfo, 16, static_cast<uint32_t>(compression));
  PutU32(BitmapInfo, 20, static_cast<uint32_t>(Size));
  if (masks) {
    PutU32(BitmapInfo, 40, static_cast<uint32_t>(PixelFormat.RedMask));
    PutU32(BitmapInfo, 44, static_cast<uint32_t>(PixelFormat.GreenMask));
    PutU32(BitmapInfo, 48, static_cast<uint32_t>(PixelFormat.BlueMask));
    ColorTablePos = 52;
  } else {
    ColorTablePos = 40;
  }
  ColorTable = AColorTable;
  std::memcpy(BitmapInfo.data() + ColorTablePos, ColorTable.data(),
              static_cast<size_t>(PaletteCount) * 4);

  Compressed = compression == BI_RLE4 || compression == BI_RLE8;
  MemoryImage = AMemoryImage || Compressed;
  if (!ACompressed) Allocate(Size, section);
  if (PBits && Height > 0) TopPBits = PBits + static_cast<int64_t>(Height - 1) * WidthBytes;
  if (!MemoryImage && TopPBits)
    DC = std::make_unique<TDeviceContext>(TopPBits, Width, Height, NextLine, GdiFormat(),
                                          ColorTable.data(), PaletteCount);
}

TGdiPixelFormat TDIBSharedImage::GdiFormat() const {
  if (BitCount <= 8) return TGdiPixelFormat::Indexed(BitCount);
  if (BitCount == 24) return TGdiPixelFormat::RGB888(24);
  return TGdiPixelFormat::Masks(BitCount, static_cast<uint32_t>(PixelFormat.RedMask),
                                static_cast<uint32_t>(PixelFormat.GreenMask),
                                static_cast<uint32_t>(PixelFormat.BlueMask));
}

void TDIBSharedImage::SetCompressedData(std::vector<uint8_t> Data) {
  if (Data.size() > static_cast<size_t>(MaxImageBytes)) CannotHold(false);
  Allocate(static_cast<int64_t>(Data.size()), false);
  if (!Data.empty()) std::memcpy(PBits, Data.data(), Data.size());
  Size = static_cast<int32_t>(Data.size());
  if (BitmapInfo.size() >= 24) PutU32(BitmapInfo, 20, static_cast<uint32_t>(Size));
  TopPBits = nullptr;
}

uint32_t TDIBSharedImage::HeaderCompression() const {
  return GetU32(BitmapInfo, 16);
}
uint32_t TDIBSharedImage::HeaderImageSize() const {
  return GetU32(BitmapInfo, 20);
}

void TDIBSharedImage::Duplicate(const TDIBSharedImage& Source, bool AMemoryImage) {
  if (Source.Size == 0) {
    Reset();
    MemoryImage = AMemoryImage;
    return;
  }
  NewImage(Source.Width, Source.Height, Source.BitCount, Source.PixelFormat, Source.ColorTable,
           AMemoryImage, Source.Compressed);
  if (Source.Compressed) {
    std::vector<uint8_t> raw(Source.PBits, Source.PBits + Source.Size);
    SetCompressedData(std::move(raw));
  } else {
    std::memcpy(PBits, Source.PBits, static_cast<size_t>(Size));
  }
}

void TDIBSharedImage::Decompress(const TDIBSharedImage& Source, bool AMemoryImage) {
  if (!Source.Compressed) {
    Duplicate(Source, AMemoryImage);
    return;
  }
  NewImage(Source.Width, Source.Height, Source.BitCount, Source.PixelFormat, Source.ColorTable,
           AMemoryImage, false);
  switch (Source.HeaderCompression()) {
    case BI_RLE8:
      DecodeRLE8(Source.PBits, Source.Size, PBits, Width, Height, WidthBytes);
      break;
    case BI_RLE4:
      DecodeRLE4(Source.PBits, Source.Size, PBits, Width, Height, WidthBytes);
      break;
    default:
      Duplicate(Source, AMemoryImage);
  }
}

void TDIBSharedImage::SetColorTable(const TRGBQuads& Table) {
  ColorTable = Table;
  ChangePalette = true;
  if (Size > 0 && PaletteCount > 0 && DC) DC->SetColorTable(ColorTable.data(), PaletteCount);
  if (Size > 0 && PaletteCount > 0 &&
      BitmapInfo.size() >= static_cast<size_t>(ColorTablePos + PaletteCount * 4))
    std::memcpy(BitmapInfo.data() + ColorTablePos, ColorTable.data(),
                static_cast<size_t>(PaletteCount) * 4);
}

TPaletteHandle TDIBSharedImage::GetPalette() {
  if (PaletteCount == 0) return nullptr;
  if (ChangePalette) {
    ChangePalette = false;
    PaletteManager().DeletePalette(Palette);
    Palette = PaletteManager().CreatePalette(ColorTable, PaletteCount);
  }
  return Palette;
}

// ---- RLE ------------------------------------------------------------------------------

namespace {
// Walks RLE records; Put(x, y, value) writes one pixel, Abs(x, y, src, count)
// writes an absolute run. Both are only called for the caller to clip.
template <class RunFn, class AbsFn>
void WalkRLE(const uint8_t* Src, int64_t SrcSize, int32_t Height, bool BytePerPixel, RunFn Run,
             AbsFn Abs) {
  int64_t x = 0, y = 0, i = 0;
  while (i + 2 <= SrcSize && y < Height) {
    const uint8_t count = Src[i], code = Src[i + 1];
    i += 2;
    if (count > 0) {
      Run(x, y, count, code);
      x += count;
    } else if (code == 0) {
      x = 0;
      ++y;
    } else if (code == 1) {
      return;
    } else if (code == 2) {
      if (i + 2 > SrcSize) return;
      x += Src[i];
      y += Src[i + 1];
      i += 2;
    } else {
      // RLE8 copies one byte per pixel, RLE4 two pixels per byte.
      const int64_t bytes = BytePerPixel ? code : (code + 1) / 2;
      const int64_t avail = std::min<int64_t>(bytes, SrcSize - i);
      Abs(x, y, Src + i, code, avail);
      x += code;
      i += bytes;
    }
    i = (i + 1) & ~int64_t{1};
  }
}
}  // namespace

void DecodeRLE8(const uint8_t* Src, int64_t SrcSize, uint8_t* Dest, int32_t Width, int32_t Height,
                int32_t WidthBytes) {
  if (!Src || !Dest) return;
  auto row = [&](int64_t y) { return Dest + y * WidthBytes; };
  WalkRLE(
      Src, SrcSize, Height, true,
      [&](int64_t x, int64_t y, int count, uint8_t code) {
        if (y >= Height || x >= Width) return;
        const int64_t n = std::min<int64_t>(count, Width - x);
        std::memset(row(y) + x, code, static_cast<size_t>(n));
      },
      [&](int64_t x, int64_t y, const uint8_t* p, int count, int64_t avail) {
        if (y >= Height || x >= Width) return;
        const int64_t n = std::min<int64_t>({static_cast<int64_t>(count), avail, Width - x});
        if (n > 0) std::memcpy(row(y) + x, p, static_cast<size_t>(n));
      });
}

void DecodeRLE4(const uint8_t* Src, int64_t SrcSize, uint8_t* Dest, int32_t Width, int32_t Height,
                int32_t WidthBytes) {
  if (!Src || !Dest) return;
  auto put = [&](int64_t x, int64_t y, uint8_t nibble) {
    if (y >= Height || x >= Width) return;
    uint8_t& b = Dest[y * WidthBytes + (x >> 1)];
    b = (x & 1) ? static_cast<uint8_t>((b & 0xF0) | (nibble & 0x0F))
                : static_cast<uint8_t>((b & 0x0F) | (nibble << 4));
  };
  WalkRLE(
      Src, SrcSize, Height, false,
      [&](int64_t x, int64_t y, int count, uint8_t code) {
        if (y >= Height) return;
        const int64_t n = std::min<int64_t>(count, Width - x);
        for (int64_t k = 0; k < n; ++k) put(x + k, y, (k & 1) ? (code & 0x0F) : (code >> 4));
      },
      [&](int64_t x, int64_t y, const uint8_t* p, int count, int64_t avail) {
        if (y >= Height) return;
        const int64_t n = std::min<int64_t>({static_cast<int64_t>(count), avail * 2, Width - x});
        for (int64_t k = 0; k < n; ++k) {
          const uint8_t b = p[k >> 1];
          put(x + k, y, (k & 1) ? (b & 0x0F) : (b >> 4));
        }
      });
}
