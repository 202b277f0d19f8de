#include "engine/dib/dib.h"

#include <algorithm>
#include <cstring>

#include "framework/canvas.h"
#include "framework/filer.h"
#include "framework/jpeg.h"
#include "platform/gdi/pixel_access.h"

namespace {

// The image of every new or cleared bitmap. It holds an extra reference so
// that no bitmap's release frees it, and it is never written: every write
// goes through Unshare first.
TDIBSharedImage* EmptyImage() {
  static TDIBSharedImage* image = [] {
    auto* i = new TDIBSharedImage;
    i->Reference();
    return i;
  }();
  return image;
}

constexpr int32_t FileHeaderSize = 14;

uint16_t U16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t U32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
void PutU16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

[[noreturn]] void InvalidDIB() {
  Raise<EInvalidGraphic>("DIB is invalid");
}

int LowestBit(uint32_t m) {
  for (int i = 0; i < 32; ++i)
    if (m & (1u << i)) return i;
  return 0;
}

// Rewrites 16- and 32-bit pixels stored under masks that sit elsewhere than
// the packed layout of their bit counts (blue on top, for example), so the
// image holds its true colours in its own layout.
void RepackMaskedPixels(TDIBSharedImage& Image, uint32_t RMask, uint32_t GMask, uint32_t BMask) {
  const TPixelLayout& L = Image.PixelFormat;
  if (static_cast<uint32_t>(L.RedMask) == RMask && static_cast<uint32_t>(L.GreenMask) == GMask &&
      static_cast<uint32_t>(L.BlueMask) == BMask)
    return;
  struct TField {
    uint32_t mask;
    int low;
    uint32_t ones;
    int32_t bits;
  };
  const auto field = [](uint32_t mask, int32_t bits) {
    return TField{mask, LowestBit(mask), bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1, bits};
  };
  const TField r = field(RMask, L.RedBits), g = field(GMask, L.GreenBits),
               b = field(BMask, L.BlueBits);
  const auto get = [](uint32_t v, const TField& f) { return ((v & f.mask) >> f.low) & f.ones; };
  const int bytes = Image.BitCount / 8;
  for (int32_t y = 0; y < Image.Height; ++y) {
    uint8_t* row = Image.PBits + static_cast<int64_t>(y) * Image.WidthBytes;
    for (int32_t x = 0; x < Image.Width; ++x) {
      uint8_t* p = row + static_cast<int64_t>(x) * bytes;
      const uint32_t v = bytes == 2 ? U16(p) : U32(p);
      const uint32_t out =
          (get(v, r) << (L.GreenBits + L.BlueBits)) | (get(v, g) << L.BlueBits) | get(v, b);
      if (bytes == 2)
        PutU16(p, out);
      else
        PutU32(p, out);
    }
  }
}

}  // namespace

namespace {

// The size in a JPEG frame header, read from the stream's position without
// decoding anything; false when no frame header comes before the image data.
bool JPEGFrameSize(TStream& Stream, uint32_t& Width, uint32_t& Height) {
  uint8_t b[8];
  if (Stream.Read(b, 2) != 2 || b[0] != 0xFF || b[1] != 0xD8) return false;
  for (;;) {
    if (Stream.Read(b, 1) != 1) return false;
    if (b[0] != 0xFF) continue;  // not a marker: libjpeg will say so
    uint8_t marker = 0xFF;
    while (marker == 0xFF)
      if (Stream.Read(&marker, 1) != 1) return false;
    if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;
    if (marker == 0xD9 || marker == 0xDA) return false;  // end, or scan data before a frame
    if (Stream.Read(b, 2) != 2) return false;
    const int64_t length = (b[0] << 8) | b[1];
    const bool frame =
        marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      if (Stream.Read(b, 5) != 5) return false;
      Height = static_cast<uint32_t>((b[1] << 8) | b[2]);
      Width = static_cast<uint32_t>((b[3] << 8) | b[4]);
      return true;
    }
    if (length < 2) return false;
    Stream.SetPosition(Stream.Position() + length - 2);
  }
}

}  // namespace

void ReadDIBBody(TStream& Stream, TDIBSharedImage& Image, bool MemoryImage) {
  uint8_t head[40] = {};
  const int64_t got = Stream.Read(head, 4);
  if (got == 0) {
    Image.MemoryImage = MemoryImage;
    return;
  }
  if (got != 4) InvalidDIB();
  const uint32_t headerSize = U32(head);
  if (headerSize != 12 && headerSize != 40) InvalidDIB();
  const bool core = headerSize == 12;
  Stream.ReadBuffer(head + 4, static_cast<int64_t>(headerSize) - 4);

  int64_t width, height;
  int32_t bitCount;
  uint32_t compression = BI_RGB, colorsUsed = 0, imageSize = 0;
  bool topDown = false;
  if (core) {
    width = U16(head + 4);
    height = U16(head + 6);
    bitCount = U16(head + 10);
  } else {
    width = static_cast<int32_t>(U32(head + 4));
    height = static_cast<int32_t>(U32(head + 8));
    bitCount = U16(head + 14);
    compression = U32(head + 16);
    imageSize = U32(head + 20);
    colorsUsed = U32(head + 32);
    if (height < 0) {
      topDown = true;
      height = -height;
    }
  }
  if (width < 0 || height > INT32_MAX) InvalidDIB();
  if (compression > BI_BITFIELDS) InvalidDIB();
  // Checked before anything is decoded, whatever the compression: a few
  // bytes of run-length data may claim gigabytes of pixels.
  if (bitCount > 0 && DIBImageBytes(width, height, bitCount) < 0)
    Raise<EInvalidGraphic>("DIB is invalid: %lld x %lld pixels of %d bits are more than %lld bytes",
                           static_cast<long long>(width), static_cast<long long>(height), bitCount,
                           static_cast<long long>(MaxImageBytes));
  // An RLE header must describe the depth it encodes; anything else would
  // be decoded as the other format.
  if ((compression == BI_RLE8 && bitCount != 8) || (compression == BI_RLE4 && bitCount != 4))
    InvalidDIB();

  TPixelLayout layout = bitCount == 16 ? Layout555() : Layout888();
  uint32_t masks[3] = {};
  if (compression == BI_BITFIELDS) {
    uint8_t m[12];
    Stream.ReadBuffer(m, 12);
    masks[0] = U32(m);
    masks[1] = U32(m + 4);
    masks[2] = U32(m + 8);
    layout =
        MakePixelLayoutFromMasks(static_cast<int32_t>(masks[0]), static_cast<int32_t>(masks[1]),
                                 static_cast<int32_t>(masks[2]));
  }

  int64_t count = colorsUsed;
  if (count == 0 && bitCount >= 0 && bitCount <= 8) count = int64_t{1} << bitCount;
  count = std::min<int64_t>(count, 256);
  TRGBQuads table{};
  if (count > 0) {
    const int entry = core ? 3 : 4;
    uint8_t raw[256 * 4];
    Stream.ReadBuffer(raw, count * entry);
    for (int64_t i = 0; i < count; ++i)
      table[static_cast<size_t>(i)] =
          RGBQUAD{raw[i * entry], raw[i * entry + 1], raw[i * entry + 2], 0};
    if (!core)
      for (int64_t i = 0; i < count; ++i)
        table[static_cast<size_t>(i)].rgbReserved = raw[i * 4 + 3];
  }

  const bool rle = compression == BI_RLE8 || compression == BI_RLE4;
  if (bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 16 || bitCount == 24 ||
      bitCount == 32) {
    // Refuse data the stream cannot hold before allocating room for it.
    const int64_t rows = DIBImageBytes(width, height, bitCount);
    const int64_t need = rle ? imageSize : (rows < 0 ? INT64_MAX : rows);
    if (need > Stream.Size() - Stream.Position()) Raise<EReadError>("Stream read error");
  }
  Image.NewImage(static_cast<int32_t>(width), static_cast<int32_t>(height), bitCount, layout, table,
                 MemoryImage, rle);
  if (width == 0 || height == 0) {
    // No pixels: the empty bitmap, not one with rows of no bytes (or no
    // rows) that readers would still walk. RLE data is passed over.
    if (rle) Stream.SetPosition(Stream.Position() + imageSize);
    const TDIBSharedImage empty;
    Image.Duplicate(empty, MemoryImage);
    return;
  }
  if (rle) {
    std::vector<uint8_t> raw(imageSize);
    Stream.ReadBuffer(raw.data(), imageSize);
    Image.SetCompressedData(std::move(raw));
    return;
  }
  if (Image.Size == 0) return;
  if (!topDown) {
    Stream.ReadBuffer(Image.PBits, Image.Size);
  } else {
    for (int32_t y = 0; y < Image.Height; ++y)
      Stream.ReadBuffer(Image.TopPBits + static_cast<int64_t>(y) * Image.NextLine,
                        Image.WidthBytes);
  }
  if (compression == BI_BITFIELDS && (bitCount == 16 || bitCount == 32))
    RepackMaskedPixels(Image, masks[0], masks[1], masks[2]);
}

// ---- TDIB -----------------------------------------------------------------------------

TDIB::TDIB() {
  SetImage(EmptyImage());
}

TDIB::~TDIB() {
  if (canvas_) canvas_->SetHandle(nullptr);
  image_->Release();
  image_ = nullptr;
  canvas_.reset();
  while (!alpha_dibs_.empty()) alpha_dibs_.erase(alpha_dibs_.begin());
}

void TDIB::SetImage(TDIBSharedImage* Value) {
  if (Value == image_) return;
  if (canvas_) canvas_->SetHandle(nullptr);
  Value->Reference();
  if (image_) image_->Release();
  image_ = Value;
  if (canvas_) canvas_->SetHandle(image_->DC.get());
  ColorTable = image_->ColorTable;
  PixelFormat = image_->PixelFormat;
  bit_count_ = image_->BitCount;
  height_ = image_->Height;
  next_line_ = image_->NextLine;
  image_pixel_format_ = image_->PixelFormat;
  pbits_ = image_->PBits;
  size_ = image_->Size;
  top_pbits_ = image_->TopPBits;
  width_ = image_->Width;
  width_bytes_ = image_->WidthBytes;
}

void TDIB::Unshare(bool KeepMemoryImage) {
  if (image_->RefCount() <= 1 && !image_->Compressed && (KeepMemoryImage || !image_->MemoryImage))
    return;
  auto copy = std::make_unique<TDIBSharedImage>();
  copy->Decompress(*image_, KeepMemoryImage && image_->MemoryImage);
  SetImage(copy.release());
}

void TDIB::ToDIBSection() {
  if (!image_->MemoryImage) return;
  auto copy = std::make_unique<TDIBSharedImage>();
  copy->Decompress(*image_, false);
  SetImage(copy.release());
}

void TDIB::EnsureDecompressed() {
  if (!image_->Compressed) return;
  auto copy = std::make_unique<TDIBSharedImage>();
  copy->Decompress(*image_, image_->MemoryImage);
  SetImage(copy.release());
}

void TDIB::Clear() {
  SetImage(EmptyImage());
}

void TDIB::SetSize(int32_t AWidth, int32_t AHeight, int32_t ABitCount) {
  if (AWidth == width_ && AHeight == height_ && ABitCount == bit_count_ &&
      image_pixel_format_.SameMasks(PixelFormat))
    return;
  if (AWidth <= 0 || AHeight <= 0) {
    Clear();
    return;
  }
  auto image = std::make_unique<TDIBSharedImage>();
  image->NewImage(AWidth, AHeight, ABitCount, PixelFormat, ColorTable, image_->MemoryImage, false);
  SetImage(image.release());
  SetPaletteModified(true);
}

void TDIB::SetBitCount(int32_t Value) {
  if (Value <= 0)
    Clear();
  else if (Empty())
    SetSize(std::max(width_, 1), std::max(height_, 1), Value);
  else
    ConvertBitCount(Value);
}

void TDIB::SetWidth(int32_t Value) {
  if (Value <= 0)
    Clear();
  else if (Empty())
    SetSize(Value, std::max(height_, 1), 8);
  else
    SetSize(Value, height_, bit_count_);
}

void TDIB::SetHeight(int32_t Value) {
  if (Value <= 0)
    Clear();
  else if (Empty())
    SetSize(std::max(width_, 1), Value, 8);
  else
    SetSize(width_, Value, bit_count_);
}

void TDIB::UpdatePalette() {
  if (std::memcmp(ColorTable.data(), image_->ColorTable.data(), sizeof(TRGBQuads)) == 0) return;
  const TRGBQuads saved = ColorTable;
  Unshare(true);
  ColorTable = saved;
  image_->SetColorTable(saved);
  SetPaletteModified(true);
}

TPaletteHandle TDIB::GetPalette() {
  return image_->GetPalette();
}

void TDIB::SetPalette(TPaletteHandle Value) {
  TPaletteEntries entries{};
  GetPaletteHandleEntries(Value, 0, 256, entries.data());
  DeletePaletteHandle(Value);
  PaletteEntriesToRGBQuads(entries, ColorTable);
  UpdatePalette();
}

uint8_t* TDIB::Bits() {
  Unshare(true);
  return pbits_;
}

uint8_t* TDIB::TopBits() {
  Unshare(true);
  return top_pbits_;
}

uint8_t* TDIB::ScanLine(int32_t Y) {
  Unshare(true);
  if (Y < 0 || Y >= height_)
    Raise<EInvalidGraphicOperation>("Index of the scanning line exceeded the range. (%d)", Y);
  return top_pbits_ + static_cast<int64_t>(Y) * next_line_;
}

int32_t TDIB::GetPixel(int32_t X, int32_t Y) {
  EnsureDecompressed();
  if (X < 0 || X >= width_ || Y < 0 || Y >= height_ || !top_pbits_) return 0;
  const uint8_t* row = top_pbits_ + static_cast<int64_t>(Y) * next_line_;
  const uint32_t v = ReadRowPixel(row, X, bit_count_);
  return static_cast<int32_t>(bit_count_ == 24 ? SwapPixel24(v) : v);
}

void TDIB::SetPixel(int32_t X, int32_t Y, int32_t Value) {
  Unshare(true);
  if (X < 0 || X >= width_ || Y < 0 || Y >= height_ || !top_pbits_) return;
  uint8_t* row = top_pbits_ + static_cast<int64_t>(Y) * next_line_;
  const auto v = static_cast<uint32_t>(Value);
  WriteRowPixel(row, X, bit_count_, bit_count_ == 24 ? SwapPixel24(v) : v);
}

TCanvas* TDIB::Canvas() {
  if (canvas_ && canvas_->HandleAllocated()) return canvas_.get();
  ToDIBSection();
  if (!canvas_) {
    canvas_ = std::make_unique<TCanvas>();
    // Drawing writes pixels: a shared image must become this bitmap's own.
    canvas_->OnChanging = [this](TObject*) { Unshare(false); };
  }
  canvas_->SetHandle(image_->DC.get());
  return canvas_.get();
}

bool TDIB::HasAlphaChannel() {
  if (bit_count_ != 32) return false;
  for (int32_t y = 0; y < height_; ++y) {
    const uint8_t* row = ScanLine(y);
    for (int32_t x = 0; x < width_; ++x)
      if (row[4 * static_cast<int64_t>(x) + 3] != 0) return true;
  }
  return false;
}

std::unique_ptr<TDIB> TDIB::CreateAlphaDIB() {
  if (!HasAlphaChannel()) return nullptr;
  auto alpha = std::make_unique<TDIB>();
  alpha->SetSize(width_, height_, 8);
  for (int32_t y = 0; y < height_; ++y) {
    const uint8_t* src = ScanLine(y);
    uint8_t* dst = alpha->ScanLine(y);
    for (int32_t x = 0; x < width_; ++x) dst[x] = src[4 * static_cast<int64_t>(x) + 3];
  }
  return alpha;
}

TDIB* TDIB::MakeAlphaDIB() {
  alpha_dibs_.push_back(CreateAlphaDIB());
  return alpha_dibs_.back().get();
}

void TDIB::Assign(TPersistent* Source) {
  if (!Source) {
    Clear();
  } else if (auto* dib = dynamic_cast<TDIB*>(Source)) {
    if (dib != this) SetImage(dib->image_);
  } else if (auto* graphic = dynamic_cast<TGraphic*>(Source)) {
    AssignGraphic(graphic);
  } else if (auto* picture = dynamic_cast<TPicture*>(Source)) {
    if (picture->Graphic())
      AssignGraphic(picture->Graphic());
    else
      Clear();
  } else {
    TGraphic::Assign(Source);
  }
}

void TDIB::AssignGraphic(TGraphic* Graphic) {
  if (auto* jpeg = dynamic_cast<TJPEGImage*>(Graphic)) {
    // Same result as drawing it on the canvas, without a round trip through
    // a device context.
    auto image = std::make_unique<TDIBSharedImage>();
    image->NewImage(jpeg->Width(), jpeg->Height(), 24, Layout888(), ColorTable, image_->MemoryImage,
                    false);
    const size_t row = static_cast<size_t>(jpeg->Width()) * 3;
    for (int32_t y = 0; y < image->Height; ++y)
      std::memcpy(image->TopPBits + static_cast<int64_t>(y) * image->NextLine, jpeg->ScanLine(y),
                  row);
    SetImage(image.release());
    SetPaletteModified(true);
    return;
  }
  // Other graphics are drawn into 24 bits (the framework has no bitmap class
  // yet whose depth and palette could be kept). A layout left behind by an
  // earlier 16-bit image must not refuse that: 24 bits always take 8-8-8.
  const TPixelLayout kept = PixelFormat;
  PixelFormat = Layout888();
  try {
    SetSize(Graphic->Width(), Graphic->Height(), 24);
  } catch (...) {
    PixelFormat = kept;
    throw;
  }
  if (Empty()) return;
  std::memset(Bits(), 0, static_cast<size_t>(size_));
  Canvas()->Draw(0, 0, Graphic);
}

void TDIB::Draw(TCanvas* ACanvas, const TRect& Rect) {
  if (!ACanvas || size_ <= 0) return;
  HDC target = ACanvas->Handle();
  if (!target) return;
  const TDIBSharedImage* image = image_;
  // Compressed data is drawn from an expanded copy; the bitmap itself stays
  // compressed.
  std::unique_ptr<TDIBSharedImage> expanded;
  if (image->Compressed) {
    expanded = std::make_unique<TDIBSharedImage>();
    expanded->Decompress(*image, true);
    image = expanded.get();
  }
  if (!image->TopPBits) return;
  TDeviceContext source(image->TopPBits, image->Width, image->Height, image->NextLine,
                        image->GdiFormat(), image->ColorTable.data(), image->PaletteCount);
  target->StretchBlt(Rect, source, TRect{0, 0, image->Width, image->Height}, ACanvas->CopyMode);
}

void TDIB::ReadData(TStream& Stream) {
  auto image = std::make_unique<TDIBSharedImage>();
  ReadDIBBody(Stream, *image, image_->MemoryImage);
  SetImage(image.release());
}

void TDIB::WriteData(TStream& Stream) {
  if (size_ == 0) return;
  Stream.WriteBuffer(image_->BitmapInfo.data(), image_->BitmapInfoSize);
  const int64_t bytes = std::min<int64_t>(image_->HeaderImageSize(), image_->Size);
  if (bytes > 0) Stream.WriteBuffer(image_->PBits, bytes);
}

void TDIB::SaveToStream(TStream& Stream) {
  if (size_ == 0) return;
  uint8_t header[FileHeaderSize] = {'B', 'M'};
  PutU32(header + 2, image_->HeaderImageSize() + static_cast<uint32_t>(image_->BitmapInfoSize) +
                         FileHeaderSize);
  PutU32(header + 10, static_cast<uint32_t>(image_->BitmapInfoSize) + FileHeaderSize);
  Stream.WriteBuffer(header, FileHeaderSize);
  WriteData(Stream);
}

void TDIB::LoadFromStream(TStream& Stream) {
  const int64_t start = Stream.Position();
  uint8_t header[FileHeaderSize];
  const int64_t got = Stream.Read(header, FileHeaderSize);
  if (got == 0) return;
  if (got < FileHeaderSize) InvalidDIB();
  if (header[0] == 0xFF && header[1] == 0xD8) {
    LoadJPEG(Stream, start);
  } else if (header[0] == 'B' && header[1] == 'M') {
    ReadData(Stream);
  } else {
    InvalidDIB();
  }
}

void TDIB::LoadJPEG(TStream& Stream, int64_t Start) {
  // The JPEG data starts where the file header was read from, which need
  // not be the start of the stream (a picture inside a larger file).
  Stream.SetPosition(Start);
  uint32_t w = 0, h = 0;
  if (JPEGFrameSize(Stream, w, h) && DIBImageBytes(w, h, 24) < 0)
    Raise<EInvalidGraphic>(
        "DIB is invalid: a JPEG picture of %u x %u pixels is more than %lld bytes", w, h,
        static_cast<long long>(MaxImageBytes));
  Stream.SetPosition(Start);
  TJPEGImage jpeg;
  jpeg.LoadFromStream(Stream);
  AssignGraphic(&jpeg);
}

void TDIB::SaveToClipboardFormat(uint16_t& Format, TClipboardData& Data, TPaletteHandle& Palette) {
  Format = CF_DIB;
  Palette = nullptr;
  TMemoryStream stream;
  WriteData(stream);
  Data = std::make_shared<std::vector<uint8_t>>(stream.Bytes());
}

void TDIB::LoadFromClipboardFormat(uint16_t, const TClipboardData& Data, TPaletteHandle) {
  TGlobalMemoryStream stream(Data);
  ReadData(stream);
}

bool TDIB::ReadProperty(const std::string& Name, TReader& Reader) {
  if (Name == "DIB") {
    const std::vector<uint8_t> bytes = Reader.ReadBinary();
    TByteStream stream(bytes.data(), bytes.size());
    LoadFromStream(stream);
    return true;
  }
  return TGraphic::ReadProperty(Name, Reader);
}

void RegisterDIBGraphicClass() {
  static const bool done = [] {
    RegisterGraphicClass("TDIB", [] { return std::make_unique<TDIB>(); });
    TPicture::RegisterFileFormat("dib", "Device Independent Bitmap", "TDIB");
    TPicture::RegisterClipboardFormat(CF_DIB, "TDIB");
    RegisterJPEGGraphicClass();
    return true;
  }();
  (void)done;
}

namespace {
const bool registered = (RegisterDIBGraphicClass(), true);
}
