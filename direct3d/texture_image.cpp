#include "direct3d/texture_image.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "engine/dib/shared_image.h"
#include "render/dxrender.h"

// ---- Channels ------------------------------------------------------------------

int32_t LowestBitOfMask(uint32_t Mask) {
  return LowestBit(Mask);
}

int32_t BitCountOfMask(uint32_t Mask) {
  if (!Mask) return 0;
  return std::countr_one(Mask >> std::countr_zero(Mask));
}

namespace {
// Shift counts of a hostile mask may leave 0..31; such a shift moves
// everything out, as a wider register would.
uint32_t Shr(uint32_t v, int32_t n) {
  return n < 0 || n > 31 ? 0 : v >> n;
}
uint32_t Shl(uint32_t v, int32_t n) {
  return n < 0 || n > 31 ? 0 : v << n;
}
uint32_t LowBits(int32_t n) {
  return n >= 32 ? 0xFFFFFFFFu : (1u << n) - 1;
}
}  // namespace

TDXTextureImageChannel MakeChannel(uint32_t Mask, bool AsIndex) {
  TDXTextureImageChannel c;
  c.BitCount = BitCountOfMask(Mask);
  c.Mask = static_cast<int32_t>(Mask);
  const int32_t low = LowestBitOfMask(Mask);
  if (AsIndex) {
    c.ShiftRight = low;
    c.ShiftLeft = 0;
    c.ByteMask = static_cast<int32_t>(LowBits(c.BitCount));
    c.ReplicateShift = 0;
  } else {
    const int32_t s = low + c.BitCount - 8;
    c.ShiftRight = s >= 0 ? s : 0;
    c.ShiftLeft = s >= 0 ? 0 : -s;
    // A channel wider than a byte keeps its top 8 bits: all of the byte.
    c.ByteMask =
        c.BitCount >= 8 ? 0xFF : static_cast<int32_t>(LowBits(c.BitCount) << (8 - c.BitCount));
    c.ReplicateShift = 8 - c.BitCount;
  }
  return c;
}

uint32_t ChannelToByte(const TDXTextureImageChannel& Channel, uint32_t Pixel) {
  const uint32_t a =
      Shl(Shr(Pixel & static_cast<uint32_t>(Channel.Mask), Channel.ShiftRight), Channel.ShiftLeft);
  // A replicate shift of 0 belongs to an index; nothing is copied down then.
  if (Channel.ReplicateShift <= 0) return a;
  // One copy fills a byte from 4 bits up; narrower channels repeat their
  // pattern, so their top value reads as 255 (a set 1-bit alpha is opaque).
  if (Channel.BitCount > 0 && Channel.BitCount < 4) {
    uint32_t r = a;
    for (int32_t s = Channel.BitCount; s < 8; s += Channel.BitCount) r |= a >> s;
    return r;
  }
  return a | Shr(a, Channel.ReplicateShift);
}

uint32_t ByteToChannel(const TDXTextureImageChannel& Channel, uint32_t Value) {
  return Shr(Shl(Value, Channel.ShiftRight), Channel.ShiftLeft) &
         static_cast<uint32_t>(Channel.Mask);
}

int32_t WidthBytes(int32_t Width, int32_t BitCount) {
  return static_cast<int32_t>((static_cast<int64_t>(Width) * BitCount + 31) / 32 * 4);
}

// ---- The image -------------------------------------------------------------------

namespace {
// The bytes a line's pixels take, without padding: the least a given line
// width may be.
int64_t LineBytes(int32_t Width, int32_t BitCount) {
  return (static_cast<int64_t>(Width) * BitCount + 7) / 8;
}
}  // namespace

TDXTextureImage::TDXTextureImage(TDXTextureImage* Owner) : owner_(Owner) {
  if (owner_) owner_->sub_images_.push_back(this);
}

TDXTextureImage::~TDXTextureImage() {
  Clear();
  if (owner_) {
    auto& list = owner_->sub_images_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
}

void TDXTextureImage::DoNotify(int32_t A, int32_t B) {
  if (OnNotify) OnNotify(this, A, B);
}

void TDXTextureImage::SetImage(uint8_t AImageType, int32_t AWidth, int32_t AHeight,
                               int32_t ABitCount, int32_t AWidthBytes, int32_t ANextLine,
                               uint8_t* AMemory, uint8_t* ATopPBits, int32_t ASize, bool AutoFree) {
  ClearPixels();
  ImageType = AImageType;
  Width = AWidth;
  Height = AHeight;
  BitCount = ABitCount;
  WidthBytes = AWidthBytes;
  NextLine = ANextLine;
  Memory = AMemory;
  TopPBits = ATopPBits;
  Size = ASize;
  AutoFreeImage = AutoFree;
}

void TDXTextureImage::SetSize(uint8_t AImageType, int32_t AWidth, int32_t AHeight,
                              int32_t ABitCount, int32_t AWidthBytes) {
  if (AWidthBytes == 0) AWidthBytes = ::WidthBytes(AWidth, ABitCount);
  const int64_t bytes = static_cast<int64_t>(AWidthBytes) * AHeight;
  if (AWidth < 0 || AHeight < 0 || ABitCount < 0 || AWidthBytes < 0 ||
      AWidthBytes < LineBytes(AWidth, ABitCount) || bytes > MaxTextureImageBytes)
    Raise<EDXTextureImageError>("Image size %d x %d of %d bits is invalid", AWidth, AHeight,
                                ABitCount);
  auto* block = new uint8_t[static_cast<size_t>(bytes)]();
  SetImage(AImageType, AWidth, AHeight, ABitCount, AWidthBytes, AWidthBytes, block, block,
           static_cast<int32_t>(bytes), true);
}

void TDXTextureImage::ClearPixels() {
  if (AutoFreeImage) delete[] Memory;
  ImageType = 0;
  Width = Height = BitCount = WidthBytes = NextLine = Size = 0;
  Memory = TopPBits = nullptr;
  AutoFreeImage = false;
}

void TDXTextureImage::Clear() {
  ClearPixels();
  while (!sub_images_.empty()) delete sub_images_.back();  // leaves the list itself
  ImageGroupType = ImageID = 0;
  Transparent = false;
  TransparentColor = 0;
  ImageName.clear();
  IndexChannel = AlphaIndexChannel = RChannel = GChannel = BChannel = AChannel = {};
  std::fill(std::begin(Palette), std::end(Palette), TDXTextureImagePaletteEntry{});
}

uint32_t TDXTextureImage::GetPixel(int32_t X, int32_t Y) const {
  if (X < 0 || X >= Width || Y < 0 || Y >= Height || !TopPBits) return 0;
  const uint8_t* p = ScanLine(Y);
  switch (BitCount) {
    case 8:
      return p[X];
    case 16:
      return p[2 * X] | (p[2 * X + 1] << 8);
    case 24:
      return p[3 * X] | (p[3 * X + 1] << 8) | (p[3 * X + 2] << 16);
    case 32: {
      uint32_t v;
      std::memcpy(&v, p + 4 * static_cast<intptr_t>(X), 4);
      return v;
    }
    case 1:
    case 2:
    case 4: {
      const int32_t bit = X * BitCount;
      const int32_t inByte = bit % 8;
      const int32_t shift = PackedPixelOrder ? 8 - BitCount - inByte : inByte;
      return (p[bit / 8] >> shift) & ((1u << BitCount) - 1);
    }
    default:
      return 0;
  }
}

void TDXTextureImage::SetPixel(int32_t X, int32_t Y, uint32_t Value) {
  if (X < 0 || X >= Width || Y < 0 || Y >= Height || !TopPBits) return;
  uint8_t* p = ScanLine(Y);
  switch (BitCount) {
    case 8:
      p[X] = static_cast<uint8_t>(Value);
      break;
    case 16:
      p[2 * X] = static_cast<uint8_t>(Value);
      p[2 * X + 1] = static_cast<uint8_t>(Value >> 8);
      break;
    case 24:
      p[3 * X] = static_cast<uint8_t>(Value);
      p[3 * X + 1] = static_cast<uint8_t>(Value >> 8);
      p[3 * X + 2] = static_cast<uint8_t>(Value >> 16);
      break;
    case 32:
      std::memcpy(p + 4 * static_cast<intptr_t>(X), &Value, 4);
      break;
    case 1:
    case 2:
    case 4: {
      const int32_t bit = X * BitCount;
      const int32_t inByte = bit % 8;
      const int32_t shift = PackedPixelOrder ? 8 - BitCount - inByte : inByte;
      const uint32_t mask = ((1u << BitCount) - 1) << shift;
      uint8_t& b = p[bit / 8];
      b = static_cast<uint8_t>((b & ~mask) | ((Value << shift) & mask));
      break;
    }
    default:
      break;
  }
}

uint8_t TDXTextureImage::NearestPaletteIndex(int32_t R, int32_t G, int32_t B) const {
  if (ImageType != DXTextureImageType_PaletteIndexedColor) return 0;
  const int32_t count = IndexChannel.BitCount >= 8 ? 256 : 1 << std::max(IndexChannel.BitCount, 0);
  int32_t best = 0;
  int64_t bestDist = INT64_MAX;
  for (int32_t i = 0; i < count; ++i) {
    const int64_t dr = Palette[i].peRed - R, dg = Palette[i].peGreen - G,
                  db = Palette[i].peBlue - B;
    const int64_t d = dr * dr + dg * dg + db * db;
    if (d < bestDist) {
      bestDist = d;
      best = i;
    }
  }
  return static_cast<uint8_t>(best);
}

uint32_t TDXTextureImage::EncodeColor(uint8_t R, uint8_t G, uint8_t B, uint8_t A) const {
  if (ImageType == DXTextureImageType_PaletteIndexedColor)
    return ByteToChannel(IndexChannel, NearestPaletteIndex(R, G, B)) |
           ByteToChannel(AlphaIndexChannel, A);
  return ByteToChannel(RChannel, R) | ByteToChannel(GChannel, G) | ByteToChannel(BChannel, B) |
         ByteToChannel(AChannel, A);
}

TDXTextureImage* TDXTextureImage::SubImages(int32_t I) const {
  if (I < 0 || I >= SubImageCount()) Raise<EListError>("List index out of bounds (%d)", I);
  return sub_images_[static_cast<size_t>(I)];
}

int32_t TDXTextureImage::CountSubImages(int32_t GroupType) const {
  return static_cast<int32_t>(
      std::count_if(sub_images_.begin(), sub_images_.end(),
                    [&](const TDXTextureImage* s) { return s->ImageGroupType == GroupType; }));
}

TDXTextureImage* TDXTextureImage::FindSubImage(int32_t GroupType, int32_t N) const {
  int32_t seen = 0;
  for (TDXTextureImage* s : sub_images_)
    if (s->ImageGroupType == GroupType && seen++ == N) return s;
  Raise<EListError>("List index out of bounds (%d)", N);
}

// ---- Registry --------------------------------------------------------------------

namespace {
std::vector<TDXTextureImageLoadFunc>& Loaders() {
  static std::vector<TDXTextureImageLoadFunc> list{LoadBMPTextureImage};
  return list;
}
}  // namespace

void RegisterTextureImageLoader(TDXTextureImageLoadFunc Loader) {
  auto& list = Loaders();
  if (std::find(list.begin(), list.end(), Loader) == list.end()) list.push_back(Loader);
}

void UnregisterTextureImageLoader(TDXTextureImageLoadFunc Loader) {
  auto& list = Loaders();
  list.erase(std::remove(list.begin(), list.end(), Loader), list.end());
}

void TDXTextureImage::LoadFromStream(TStream& Stream) {
  Clear();
  const int64_t start = Stream.Position();
  // A copy: a loader may not change the list under the walk.
  const std::vector<TDXTextureImageLoadFunc> loaders = Loaders();
  for (TDXTextureImageLoadFunc load : loaders) {
    Stream.SetPosition(start);
    try {
      load(Stream, *this);
      return;
    } catch (const Exception&) {
      Clear();
    }
  }
  Raise<EDXTextureImageError>("Graphic format not suported");
}

void TDXTextureImage::LoadFromFile(const std::string& FileName) {
  TFileStream f(FileName, fmOpenRead);
  LoadFromStream(f);
}

// ---- BMP -------------------------------------------------------------------------

namespace {
[[noreturn]] void InvalidDIB() {
  Raise<EDXTextureImageError>("DIB is invalid");
}

template <class T>
T Get(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// A body (pixel lines, run-length data) must be in the stream before its
// block is made: a short file may not claim a large picture.
void NeedBytes(TStream& Stream, int64_t Bytes) {
  if (Bytes > Stream.Remaining()) Raise<EReadError>("Stream read error");
}
}  // namespace

void LoadBMPTextureImage(TStream& Stream, TDXTextureImage& Image) {
  // Called directly, a loader must not keep channels of an earlier picture.
  Image.Clear();
  uint8_t fileHeader[14];
  const int64_t got = Stream.Read(fileHeader, sizeof fileHeader);
  if (got == 0) return;
  if (got != 14 || Get<uint16_t>(fileHeader) != 0x4D42) InvalidDIB();

  uint8_t info[40];
  if (Stream.Read(info, 4) != 4) InvalidDIB();
  const uint32_t headerSize = Get<uint32_t>(info);
  int64_t width, height;
  int32_t bitCount;
  uint32_t compression = BI_RGB, sizeImage = 0, clrUsed = 0;
  const bool core = headerSize == 12;
  if (core) {
    Stream.ReadBuffer(info + 4, 8);
    width = Get<uint16_t>(info + 4);
    height = Get<uint16_t>(info + 6);
    bitCount = Get<uint16_t>(info + 10);
  } else if (headerSize == 40) {
    Stream.ReadBuffer(info + 4, 36);
    width = Get<int32_t>(info + 4);
    height = Get<int32_t>(info + 8);
    bitCount = Get<uint16_t>(info + 14);
    compression = Get<uint32_t>(info + 16);
    sizeImage = Get<uint32_t>(info + 20);
    clrUsed = Get<uint32_t>(info + 32);
  } else {
    InvalidDIB();
  }

  uint32_t masks[3];
  if (compression == BI_BITFIELDS) {
    Stream.ReadBuffer(masks, sizeof masks);
  } else if (bitCount == 16) {
    masks[0] = 0x7C00, masks[1] = 0x3E0, masks[2] = 0x1F;
  } else {
    masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
  }

  const bool topDown = height < 0;
  if (topDown) height = -height;
  const bool palette = bitCount == 1 || bitCount == 4 || bitCount == 8;
  // Depths, compressions and sizes the reader cannot hold are refused before
  // anything is made of them.
  if (!palette && bitCount != 16 && bitCount != 24 && bitCount != 32) InvalidDIB();
  if (compression > BI_BITFIELDS || (compression == BI_RLE8 && bitCount != 8) ||
      (compression == BI_RLE4 && bitCount != 4) ||
      (compression == BI_BITFIELDS && bitCount != 16 && bitCount != 32))
    InvalidDIB();
  if (width <= 0 || height <= 0 ||
      ::WidthBytes(static_cast<int32_t>(width), bitCount) * height > MaxTextureImageBytes)
    InvalidDIB();
  const auto w = static_cast<int32_t>(width), h = static_cast<int32_t>(height);

  int64_t colors = clrUsed;
  if (colors == 0 && palette) colors = int64_t{1} << bitCount;
  const int64_t entrySize = core ? 3 : 4;
  NeedBytes(Stream, colors * entrySize);
  const int64_t kept = std::min<int64_t>(colors, 256);
  uint8_t table[256 * 4];
  Stream.ReadBuffer(table, kept * entrySize);
  // Entries beyond 256 have nowhere to go, but the pixels start after them.
  Stream.Seek((colors - kept) * entrySize, soCurrent);

  const int64_t lineBytes = ::WidthBytes(w, bitCount);
  if (compression == BI_RLE8 || compression == BI_RLE4)
    NeedBytes(Stream, sizeImage);
  else
    NeedBytes(Stream, lineBytes * h);

  if (palette) {
    Image.SetSize(DXTextureImageType_PaletteIndexedColor, w, h, bitCount, 0);
    Image.IndexChannel = MakeChannel((1u << bitCount) - 1, true);
    Image.PackedPixelOrder = true;
  } else {
    Image.SetSize(DXTextureImageType_RGBColor, w, h, bitCount, 0);
    Image.RChannel = MakeChannel(masks[0], false);
    Image.GChannel = MakeChannel(masks[1], false);
    Image.BChannel = MakeChannel(masks[2], false);
    const int32_t sum = Image.RChannel.BitCount + Image.GChannel.BitCount + Image.BChannel.BitCount;
    if (sum < bitCount) Image.AChannel = MakeChannel(LowBits(bitCount - sum) << sum, false);
    Image.PackedPixelOrder = false;
  }
  for (int64_t i = 0; i < kept; ++i) {
    const uint8_t* e = table + i * entrySize;
    Image.Palette[i] = {e[2], e[1], e[0], 0};
  }

  if (compression == BI_RLE8 || compression == BI_RLE4) {
    std::vector<uint8_t> data(sizeImage);
    Stream.ReadBuffer(data.data(), sizeImage);
    // The first decoded line is the bottom one; the decoders walk upwards
    // through a negative line step and clip whatever leaves the image.
    uint8_t* bottom = Image.ScanLine(h - 1);
    if (compression == BI_RLE8)
      DecodeRLE8(data.data(), sizeImage, bottom, w, h, -Image.NextLine);
    else
      DecodeRLE4(data.data(), sizeImage, bottom, w, h, -Image.NextLine);
    return;
  }
  for (int32_t y = 0; y < h; ++y)
    Stream.ReadBuffer(Image.ScanLine(topDown ? y : h - 1 - y), lineBytes);
}

// ---- "dxt:" ----------------------------------------------------------------------

namespace {
constexpr int32_t kDXTVersion = 0x100;
constexpr int32_t kChunkEnd = 0, kChunkImage = 2;
constexpr int32_t kImageEnd = 1, kImageSub = 2, kImageFormat = 0x101, kImagePixels = 0x102,
                  kImageGroup = 0x103, kImageName = 0x104, kImageTransparent = 0x105;
// Sub-images inside sub-images: deeper than any mipmap chain needs.
constexpr int kMaxImageDepth = 32;

[[noreturn]] void InvalidDXT() {
  Raise<EDXTextureImageError>("DXT file is invalid");
}

// Reads the chunks of one file. Every chunk must fit in what holds it, and
// every field in its chunk, so a chunk's size can never move the reader
// backwards or outside the file.
class TDXTReader {
 public:
  explicit TDXTReader(TStream& Stream) : s_(Stream) {}

  void ReadFile(TDXTextureImage& Image) {
    char magic[5];
    s_.ReadBuffer(magic, 5);
    if (std::memcmp(magic, "dxt:", 5) != 0 || s_.ReadValue<int32_t>() != kDXTVersion) InvalidDXT();
    const int64_t end = s_.Size();
    for (;;) {
      const auto [type, bodyEnd] = ChunkHeader(end, true);
      if (type == kChunkEnd) return;
      if (type == kChunkImage) ReadImageChunk(Image, bodyEnd, 0);
      s_.SetPosition(bodyEnd);
    }
  }

 private:
  struct TChunk {
    int32_t Type;
    int64_t BodyEnd;
  };

  TChunk ChunkHeader(int64_t ParentEnd, bool TopLevel) {
    // At the top level the file simply runs out; inside a chunk the header
    // has to fit in its parent.
    if (!TopLevel && s_.Position() + 8 > ParentEnd) InvalidDXT();
    const auto type = s_.ReadValue<int32_t>();
    const auto size = s_.ReadValue<int32_t>();
    if (size < 0 || size > ParentEnd - s_.Position()) InvalidDXT();
    return {type, s_.Position() + size};
  }

  void Field(void* Buffer, int64_t Count, int64_t BodyEnd) {
    if (Count > BodyEnd - s_.Position()) InvalidDXT();
    s_.ReadBuffer(Buffer, Count);
  }
  template <class T>
  T Field(int64_t BodyEnd) {
    T v;
    Field(&v, sizeof v, BodyEnd);
    return v;
  }

  void ReadImageChunk(TDXTextureImage& Image, int64_t BodyEnd, int Depth) {
    if (Field<int32_t>(BodyEnd) != kDXTVersion) return;
    if (Depth > kMaxImageDepth) InvalidDXT();
    bool shaped = false;
    while (s_.Position() < BodyEnd) {
      const auto [type, end] = ChunkHeader(BodyEnd, false);
      switch (type) {
        case kImageEnd:
          return;
        case kImageSub: {
          auto* sub = new TDXTextureImage(&Image);
          try {
            ReadImageChunk(*sub, end, Depth + 1);
          } catch (...) {
            delete sub;
            throw;
          }
          break;
        }
        case kImageFormat:
          ReadFormat(Image, end);
          shaped = true;
          break;
        case kImagePixels: {
          if (!shaped) InvalidDXT();
          const auto compression = Field<int32_t>(end);
          if (compression != 0)
            Raise<EDXTextureImageError>("Decompression error (%d)", compression);
          for (int32_t y = 0; y < Image.Height; ++y)
            Field(Image.ScanLine(y), Image.WidthBytes, end);
          break;
        }
        case kImageGroup:
          Image.ImageGroupType = Field<int32_t>(end);
          Image.ImageID = Field<int32_t>(end);
          break;
        case kImageName: {
          std::string name(static_cast<size_t>(end - s_.Position()), '\0');
          Field(name.data(), static_cast<int64_t>(name.size()), end);
          Image.ImageName = std::move(name);
          break;
        }
        case kImageTransparent:
          Image.Transparent = Field<uint8_t>(end) != 0;
          Image.TransparentColor = Field<uint32_t>(end);
          break;
        default:
          break;
      }
      s_.SetPosition(end);
    }
  }

  void ReadFormat(TDXTextureImage& Image, int64_t BodyEnd) {
    const auto imageType = Field<uint8_t>(BodyEnd);
    const auto width = Field<int32_t>(BodyEnd);
    const auto height = Field<int32_t>(BodyEnd);
    const auto bitCount = Field<int32_t>(BodyEnd);
    auto widthBytes = Field<int32_t>(BodyEnd);
    if (imageType > DXTextureImageType_RGBColor) InvalidDXT();
    static constexpr int32_t kDepths[] = {1, 2, 4, 8, 16, 24, 32};
    if (std::find(std::begin(kDepths), std::end(kDepths), bitCount) == std::end(kDepths))
      InvalidDXT();
    // A line narrower than its pixels would make every row copy overrun.
    if (width <= 0 || height <= 0 || widthBytes < 0 ||
        (widthBytes != 0 && widthBytes < LineBytes(width, bitCount)))
      InvalidDXT();
    if (widthBytes == 0) widthBytes = ::WidthBytes(width, bitCount);
    const int64_t bytes = static_cast<int64_t>(widthBytes) * height;
    // Pixels travel in the file, so an image larger than its file is a lie,
    // and all images of one file together stay within the bound.
    if (bytes > s_.Size() || bytes > MaxTextureImageBytes - allocated_) InvalidDXT();
    allocated_ += bytes;
    Image.SetSize(imageType, width, height, bitCount, widthBytes);
    if (imageType == DXTextureImageType_PaletteIndexedColor) {
      Image.IndexChannel = MakeChannel(Field<uint32_t>(BodyEnd), true);
      Image.AlphaIndexChannel = MakeChannel(Field<uint32_t>(BodyEnd), false);
      Field(Image.Palette, sizeof Image.Palette, BodyEnd);
    } else {
      Image.RChannel = MakeChannel(Field<uint32_t>(BodyEnd), false);
      Image.GChannel = MakeChannel(Field<uint32_t>(BodyEnd), false);
      Image.BChannel = MakeChannel(Field<uint32_t>(BodyEnd), false);
      Image.AChannel = MakeChannel(Field<uint32_t>(BodyEnd), false);
    }
  }

  TStream& s_;
  int64_t allocated_ = 0;  // pixel bytes of every image of this file so far
};
}  // namespace

void LoadDXTTextureImage(TStream& Stream, TDXTextureImage& Image) {
  Image.Clear();
  TDXTReader(Stream).ReadFile(Image);
}
