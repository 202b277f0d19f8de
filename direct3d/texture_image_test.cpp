#include "direct3d/texture_image.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Little-endian bytes for hand-made files.
struct TBytes {
  std::vector<uint8_t> b;
  TBytes& u8(uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    return *this;
  }
  TBytes& u16(uint32_t v) { return u8(v).u8(v >> 8); }
  TBytes& u32(uint32_t v) { return u16(v).u16(v >> 16); }
  TBytes& raw(const std::vector<uint8_t>& v) {
    b.insert(b.end(), v.begin(), v.end());
    return *this;
  }
  TBytes& str(const char* s, size_t n) {
    b.insert(b.end(), s, s + n);
    return *this;
  }
};

struct TBmp {
  int32_t Width = 1, Height = 1;
  uint16_t BitCount = 24;
  uint32_t Compression = 0, SizeImage = 0, ClrUsed = 0;
  std::vector<uint8_t> AfterHeader;  // masks and colour table
  std::vector<uint8_t> Pixels;
  std::vector<uint8_t> Bytes() const {
    TBytes f;
    f.u16(0x4D42).u32(0).u32(0).u32(0);
    f.u32(40).u32(static_cast<uint32_t>(Width)).u32(static_cast<uint32_t>(Height)).u16(1);
    f.u16(BitCount).u32(Compression).u32(SizeImage).u32(0).u32(0).u32(ClrUsed).u32(0);
    return f.raw(AfterHeader).raw(Pixels).b;
  }
};

void Load(void (*load)(TStream&, TDXTextureImage&), const std::vector<uint8_t>& bytes,
          TDXTextureImage& image) {
  TMemoryStream s(bytes);
  load(s, image);
}

// The message a loader raises for these bytes ("" when it loads them).
std::string LoadError(void (*load)(TStream&, TDXTextureImage&), const std::vector<uint8_t>& bytes) {
  TDXTextureImage image;
  try {
    Load(load, bytes, image);
  } catch (const Exception& e) {
    return e.Message();
  }
  return "";
}

// ---- Channels ----------------------------------------------------------------------

TEST(TextureImageChannel, RecordsAndConversions) {
  struct Case {
    uint32_t Mask;
    bool AsIndex;
    TDXTextureImageChannel Want;  // Mask, BitCount, ByteMask, ShiftRight, ShiftLeft, Replicate
  };
  const Case cases[] = {
      {0xF800, false, {0xF800, 5, 0xF8, 8, 0, 3}},
      {0x1F, false, {0x1F, 5, 0xF8, 0, 3, 3}},
      {0x7E0, false, {0x7E0, 6, 0xFC, 3, 0, 2}},
      {0xFF000000, false, {static_cast<int32_t>(0xFF000000), 8, 0xFF, 24, 0, 0}},
      {0x8000, false, {0x8000, 1, 0x80, 8, 0, 7}},
      {0xF0, true, {0xF0, 4, 0xF, 4, 0, 0}},
      {0xFF, true, {0xFF, 8, 0xFF, 0, 0, 0}},
      // No bit at all: the lowest bit counts as 31 and the channel reads 0.
      {0, false, {0, 0, 0, 23, 0, 8}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Mask);
    const TDXTextureImageChannel ch = MakeChannel(c.Mask, c.AsIndex);
    EXPECT_EQ(ch.Mask, c.Want.Mask);
    EXPECT_EQ(ch.BitCount, c.Want.BitCount);
    EXPECT_EQ(ch.ByteMask, c.Want.ByteMask);
    EXPECT_EQ(ch.ShiftRight, c.Want.ShiftRight);
    EXPECT_EQ(ch.ShiftLeft, c.Want.ShiftLeft);
    EXPECT_EQ(ch.ReplicateShift, c.Want.ReplicateShift);
  }
  const auto red = MakeChannel(0xF800, false);
  EXPECT_EQ(ChannelToByte(red, 0xF800 | 0x7FF), 255u);
  // The byte's top bits copied down by the replicate shift.
  EXPECT_EQ(ChannelToByte(red, 0x0800), 0x09u);
  EXPECT_EQ(ChannelToByte(red, 0x8000), 0x90u);
  EXPECT_EQ(ChannelToByte(red, 0), 0u);
  // Channels narrower than 4 bits fill the whole byte, so a set 1-bit alpha
  // is opaque rather than half-transparent.
  EXPECT_EQ(ChannelToByte(MakeChannel(0x8000, false), 0x8000), 0xFFu);
  EXPECT_EQ(ChannelToByte(MakeChannel(0x3, false), 0x1), 0x55u);
  EXPECT_EQ(ChannelToByte(MakeChannel(0x7, false), 0x7), 0xFFu);
  EXPECT_EQ(ByteToChannel(red, 0x80), 0x8000u);
  EXPECT_EQ(ByteToChannel(red, 0xFF), 0xF800u);
  const auto blue = MakeChannel(0x1F, false);
  EXPECT_EQ(ChannelToByte(blue, 0x1F), 255u);
  EXPECT_EQ(ByteToChannel(blue, 0x87), 0x10u);
  const auto index = MakeChannel(0xF0, true);
  EXPECT_EQ(ChannelToByte(index, 0xA5), 0xAu);
  EXPECT_EQ(ByteToChannel(index, 0xA), 0xA0u);
  EXPECT_EQ(ChannelToByte(MakeChannel(0, false), 0xFFFFFFFF), 0u);
  EXPECT_EQ(ByteToChannel(MakeChannel(0, false), 0xFF), 0u);
  // Wider than a byte: the top 8 bits.
  const auto wide = MakeChannel(0xFFFF, false);
  EXPECT_EQ(ChannelToByte(wide, 0xAB12), 0xABu);
  EXPECT_EQ(ByteToChannel(wide, 0xAB), 0xAB00u);
}

TEST(TextureImageChannel, LineWidths) {
  EXPECT_EQ(WidthBytes(9, 1), 4);
  EXPECT_EQ(WidthBytes(33, 1), 8);
  EXPECT_EQ(WidthBytes(3, 24), 12);
  EXPECT_EQ(WidthBytes(5, 8), 8);
  EXPECT_EQ(WidthBytes(2, 32), 8);
  EXPECT_EQ(WidthBytes(0, 8), 0);
}

// ---- Pixels --------------------------------------------------------------------------

TEST(TextureImage, PixelsOfEveryDepthInBothPackingOrders) {
  struct Case {
    int32_t BitCount;
    bool Packed;
    int32_t X;
    uint32_t Value;
    std::vector<uint8_t> Line;  // the first bytes of line 1 after the write
  };
  const Case cases[] = {
      {1, true, 0, 1, {0x80, 0}},
      {1, false, 0, 1, {0x01, 0}},
      {1, true, 9, 1, {0, 0x40}},
      {2, true, 1, 3, {0x30}},
      {2, false, 1, 3, {0x0C}},
      {4, true, 0, 0xA, {0xA0}},
      {4, false, 0, 0xA, {0x0A}},
      {4, true, 3, 0x5, {0, 0x05}},
      {8, false, 2, 0xAB, {0, 0, 0xAB}},
      {16, false, 1, 0x1234, {0, 0, 0x34, 0x12}},
      {24, false, 1, 0x123456, {0, 0, 0, 0x56, 0x34, 0x12}},
      {32, false, 1, 0x89ABCDEF, {0, 0, 0, 0, 0xEF, 0xCD, 0xAB, 0x89}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.BitCount << " bits, x " << c.X);
    TDXTextureImage image;
    image.SetSize(DXTextureImageType_RGBColor, 12, 3, c.BitCount, 0);
    image.PackedPixelOrder = c.Packed;
    image.SetPixel(c.X, 1, c.Value);
    EXPECT_EQ(image.GetPixel(c.X, 1), c.Value);
    EXPECT_EQ(image.GetPixel(c.X, 0), 0u);
    EXPECT_EQ(std::vector<uint8_t>(image.ScanLine(1), image.ScanLine(1) + c.Line.size()), c.Line);
    // A neighbour's bits survive a write.
    if (c.BitCount < 8) {
      image.SetPixel(c.X + 1, 1, (1u << c.BitCount) - 1);
      image.SetPixel(c.X + 1, 1, 0);
      EXPECT_EQ(image.GetPixel(c.X, 1), c.Value);
    }
  }
}

TEST(TextureImage, OutsideReadsZeroAndWritesNothing) {
  TDXTextureImage image;
  image.SetSize(DXTextureImageType_RGBColor, 2, 2, 8, 0);
  EXPECT_EQ(image.WidthBytes, 4);
  EXPECT_EQ(image.Size, 8);
  for (int32_t i = 0; i < image.Size; ++i) image.Memory[i] = 0x77;
  const int32_t outside[][2] = {{-1, 0}, {2, 0}, {0, -1}, {0, 2}, {INT32_MIN, INT32_MAX}};
  for (const auto& p : outside) {
    EXPECT_EQ(image.GetPixel(p[0], p[1]), 0u);
    image.SetPixel(p[0], p[1], 0);
  }
  for (int32_t i = 0; i < image.Size; ++i) EXPECT_EQ(image.Memory[i], 0x77);
  // A depth no pixel has reads 0.
  image.BitCount = 7;
  EXPECT_EQ(image.GetPixel(0, 0), 0u);
}

TEST(TextureImage, NearestPaletteIndexAndEncodeColor) {
  TDXTextureImage pal;
  pal.SetSize(DXTextureImageType_PaletteIndexedColor, 4, 4, 8, 0);
  pal.IndexChannel = MakeChannel(0x0F, true);
  pal.AlphaIndexChannel = MakeChannel(0xF0, false);
  pal.Palette[0] = {0, 0, 0, 0};
  pal.Palette[1] = {100, 0, 0, 0};
  pal.Palette[2] = {120, 0, 0, 0};
  pal.Palette[20] = {110, 0, 0, 0};                  // beyond the 16 entries a 4-bit index reaches
  EXPECT_EQ(pal.NearestPaletteIndex(110, 0, 0), 1);  // a tie: the lower index
  EXPECT_EQ(pal.NearestPaletteIndex(119, 0, 0), 2);
  EXPECT_EQ(pal.NearestPaletteIndex(10, 0, 0), 0);
  EXPECT_EQ(pal.EncodeColor(121, 0, 0, 0xFF), 0xF2u);

  TDXTextureImage rgb;
  rgb.SetSize(DXTextureImageType_RGBColor, 1, 1, 16, 0);
  rgb.RChannel = MakeChannel(0xF800, false);
  rgb.GChannel = MakeChannel(0x7E0, false);
  rgb.BChannel = MakeChannel(0x1F, false);
  EXPECT_EQ(rgb.NearestPaletteIndex(1, 2, 3), 0);
  EXPECT_EQ(rgb.EncodeColor(0xFF, 0x80, 0x08, 0xFF), 0xF800u | 0x400u | 0x1u);
}

TEST(TextureImage, SubImagesLiveAndDieWithTheirOwner) {
  TDXTextureImage top;
  auto* a = new TDXTextureImage(&top);
  auto* b = new TDXTextureImage(&top);
  auto* c = new TDXTextureImage(&top);
  a->ImageGroupType = DXTextureImageGroupType_Mipmap;
  c->ImageGroupType = DXTextureImageGroupType_Mipmap;
  c->ImageID = 7;
  EXPECT_EQ(top.SubImageCount(), 3);
  EXPECT_EQ(top.CountSubImages(DXTextureImageGroupType_Mipmap), 2);
  EXPECT_EQ(top.FindSubImage(DXTextureImageGroupType_Mipmap, 1), c);
  EXPECT_EQ(c->Owner(), &top);
  EXPECT_THROW(top.FindSubImage(DXTextureImageGroupType_Mipmap, 2), EListError);
  EXPECT_THROW(top.SubImages(3), EListError);
  delete b;  // leaves its owner's list
  EXPECT_EQ(top.SubImageCount(), 2);
  EXPECT_EQ(top.SubImages(1), c);
  top.ImageName = "x";
  top.Transparent = true;
  top.Clear();  // frees the rest
  EXPECT_EQ(top.SubImageCount(), 0);
  EXPECT_EQ(top.ImageName, "");
  EXPECT_FALSE(top.Transparent);
}

TEST(TextureImage, SetImageBorrowsAndSetSizeOwns) {
  uint8_t pixels[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  TDXTextureImage image;
  // Bottom-up over the caller's block: line 0 is the last one in memory.
  image.SetImage(DXTextureImageType_RGBColor, 4, 2, 8, 4, -4, pixels, pixels + 4, 8, false);
  EXPECT_EQ(image.GetPixel(0, 0), 5u);
  EXPECT_EQ(image.GetPixel(0, 1), 1u);
  image.ClearPixels();  // does not free the caller's block
  EXPECT_EQ(image.Memory, nullptr);
  EXPECT_EQ(pixels[0], 1);
  EXPECT_THROW(image.SetSize(DXTextureImageType_RGBColor, 65536, 65536, 32, 0),
               EDXTextureImageError);
  EXPECT_THROW(image.SetSize(DXTextureImageType_RGBColor, 10, 1, 32, 8), EDXTextureImageError);
}

// ---- BMP -----------------------------------------------------------------------------

TEST(TextureImageBMP, LayoutsAndChannels) {
  {
    SCOPED_TRACE("1 bit, width 9, bottom-up");
    TBmp f;
    f.Width = 9, f.Height = 2, f.BitCount = 1;
    f.AfterHeader = {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0};
    f.Pixels = {0x80, 0x80, 0, 0, /* top: */ 0x00, 0x00, 0, 0};
    TDXTextureImage image;
    Load(LoadBMPTextureImage, f.Bytes(), image);
    EXPECT_EQ(image.ImageType, DXTextureImageType_PaletteIndexedColor);
    EXPECT_EQ(image.WidthBytes, 4);
    EXPECT_TRUE(image.PackedPixelOrder);
    EXPECT_EQ(image.GetPixel(0, 1), 1u);  // the first stored line is the bottom one
    EXPECT_EQ(image.GetPixel(8, 1), 1u);
    EXPECT_EQ(image.GetPixel(1, 1), 0u);
    EXPECT_EQ(image.GetPixel(0, 0), 0u);
    EXPECT_EQ(image.Palette[1].peRed, 0xFF);
    EXPECT_EQ(image.IndexChannel.Mask, 1);
  }
  {
    SCOPED_TRACE("8 bits, top-down, two colours used");
    TBmp f;
    f.Width = 2, f.Height = -2, f.BitCount = 8, f.ClrUsed = 2;
    f.AfterHeader = {0x30, 0x20, 0x10, 0, 0x33, 0x22, 0x11, 0};
    f.Pixels = {1, 0, 0, 0, 0, 1, 0, 0};
    TDXTextureImage image;
    Load(LoadBMPTextureImage, f.Bytes(), image);
    EXPECT_EQ(image.Height, 2);
    EXPECT_EQ(image.GetPixel(0, 0), 1u);
    EXPECT_EQ(image.GetPixel(1, 1), 1u);
    EXPECT_EQ(image.Palette[0].peRed, 0x10);
    EXPECT_EQ(image.Palette[0].peBlue, 0x30);
    EXPECT_EQ(image.Palette[1].peGreen, 0x22);
  }
  {
    SCOPED_TRACE("32 bits: alpha in the top byte");
    TBmp f;
    f.BitCount = 32;
    f.Pixels = {0x11, 0x22, 0x33, 0x44};
    TDXTextureImage image;
    Load(LoadBMPTextureImage, f.Bytes(), image);
    EXPECT_EQ(image.ImageType, DXTextureImageType_RGBColor);
    EXPECT_FALSE(image.PackedPixelOrder);
    EXPECT_EQ(image.RChannel.Mask, 0xFF0000);
    EXPECT_EQ(image.GChannel.Mask, 0xFF00);
    EXPECT_EQ(image.BChannel.Mask, 0xFF);
    EXPECT_EQ(static_cast<uint32_t>(image.AChannel.Mask), 0xFF000000u);
    EXPECT_EQ(ChannelToByte(image.AChannel, image.GetPixel(0, 0)), 0x44u);
    EXPECT_EQ(ChannelToByte(image.RChannel, image.GetPixel(0, 0)), 0x33u);
  }
  {
    SCOPED_TRACE("16 bits 5-5-5: a 1-bit alpha; 5-6-5 bit fields: none");
    TBmp f;
    f.BitCount = 16;
    f.Pixels = {0, 0x80, 0, 0};
    TDXTextureImage image;
    Load(LoadBMPTextureImage, f.Bytes(), image);
    EXPECT_EQ(image.AChannel.Mask, 0x8000);
    EXPECT_EQ(ChannelToByte(image.AChannel, image.GetPixel(0, 0)), 0xFFu);
    f.Compression = 3;
    f.AfterHeader = TBytes().u32(0xF800).u32(0x7E0).u32(0x1F).b;
    Load(LoadBMPTextureImage, f.Bytes(), image);
    EXPECT_EQ(image.GChannel.BitCount, 6);
    EXPECT_EQ(image.AChannel.Mask, 0);
  }
  {
    SCOPED_TRACE("core header, 24 bits, three-byte table entries skipped by count");
    TBytes f;
    f.u16(0x4D42).u32(0).u32(0).u32(0).u32(12).u16(2).u16(1).u16(1).u16(24);
    f.raw({0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0, 0});
    TDXTextureImage image;
    Load(LoadBMPTextureImage, f.b, image);
    EXPECT_EQ(image.Width, 2);
    EXPECT_EQ(image.GetPixel(1, 0), 0x060504u);
  }
}

TEST(TextureImageBMP, RunLengthData) {
  {
    SCOPED_TRACE("RLE8");
    TBmp f;
    f.Width = 4, f.Height = 2, f.BitCount = 8, f.Compression = 1, f.ClrUsed = 1;
    f.AfterHeader = {0, 0, 0, 0};
    // Bottom line: 3 x 7, end of line; top line: absolute 9 8 7, end of picture.
    f.Pixels = {3, 7, 0, 0, 0, 3, 9, 8, 7, 0, 0, 1};
    f.SizeImage = static_cast<uint32_t>(f.Pixels.size());
    TDXTextureImage image;
    Load(LoadBMPTextureImage, f.Bytes(), image);
    EXPECT_EQ(image.GetPixel(0, 1), 7u);
    EXPECT_EQ(image.GetPixel(2, 1), 7u);
    EXPECT_EQ(image.GetPixel(3, 1), 0u);
    EXPECT_EQ(image.GetPixel(0, 0), 9u);
    EXPECT_EQ(image.GetPixel(2, 0), 7u);
  }
  {
    SCOPED_TRACE("RLE4, with a delta and runs past the line and the picture");
    TBmp f;
    f.Width = 4, f.Height = 2, f.BitCount = 4, f.Compression = 2, f.ClrUsed = 1;
    f.AfterHeader = {0, 0, 0, 0};
    f.Pixels = {3, 0x12, 0, 2, 1, 1, 200, 0x34, 0, 0, 0, 0, 50, 0x55};
    f.SizeImage = static_cast<uint32_t>(f.Pixels.size());
    TDXTextureImage image;
    Load(LoadBMPTextureImage, f.Bytes(), image);
    EXPECT_EQ(image.GetPixel(0, 1), 1u);
    EXPECT_EQ(image.GetPixel(1, 1), 2u);
    EXPECT_EQ(image.GetPixel(2, 1), 1u);
    EXPECT_EQ(image.GetPixel(3, 1), 0u);
    // The delta moved to (4, top line): the long run starts past the edge.
    EXPECT_EQ(image.GetPixel(0, 0), 0u);
    EXPECT_EQ(image.GetPixel(3, 0), 0u);
  }
}

TEST(TextureImageBMP, EmptyStreamIsAnEmptyImage) {
  TDXTextureImage image;
  TMemoryStream s;
  image.LoadFromStream(s);
  EXPECT_EQ(image.Width, 0);
  EXPECT_EQ(image.Memory, nullptr);
}

TEST(TextureImageBMP, HostileFilesAreRefusedWithTheirMessages) {
  auto bmp = [](auto edit) {
    TBmp f;
    f.Width = 2, f.Height = 2, f.BitCount = 24;
    f.Pixels.assign(16, 0);
    edit(f);
    return f.Bytes();
  };
  auto cut = [](std::vector<uint8_t> v, size_t n) {
    v.resize(n);
    return v;
  };
  const std::string invalid = "DIB is invalid", short_ = "Stream read error";
  struct Case {
    const char* Name;
    std::vector<uint8_t> Bytes;
    std::string Message;
  };
  const Case cases[] = {
      {"a valid file", bmp([](TBmp&) {}), ""},
      {"short file header", cut(bmp([](TBmp&) {}), 10), invalid},
      {"wrong type",
       [&] {
         auto v = bmp([](TBmp&) {});
         v[0] = 'X';
         return v;
       }(),
       invalid},
      {"no header size", cut(bmp([](TBmp&) {}), 16), invalid},
      {"header size 64",
       [&] {
         auto v = bmp([](TBmp&) {});
         v[14] = 64;
         return v;
       }(),
       invalid},
      {"info header cut short", cut(bmp([](TBmp&) {}), 30), short_},
      {"compression 4", bmp([](TBmp& f) { f.Compression = 4; }), invalid},
      {"RLE8 at 4 bits", bmp([](TBmp& f) { f.Compression = 1, f.BitCount = 4; }), invalid},
      {"bit fields at 24 bits", bmp([](TBmp& f) { f.Compression = 3; }), invalid},
      {"0 bits", bmp([](TBmp& f) { f.BitCount = 0; }), invalid},
      {"7 bits", bmp([](TBmp& f) { f.BitCount = 7; }), invalid},
      {"no width", bmp([](TBmp& f) { f.Width = 0; }), invalid},
      {"negative width", bmp([](TBmp& f) { f.Width = -2; }), invalid},
      {"lowest height", bmp([](TBmp& f) { f.Height = INT32_MIN; }), invalid},
      {"2 GiB of pixels", bmp([](TBmp& f) { f.Width = 32768, f.Height = 16384; }), invalid},
      {"pixels cut short", cut(bmp([](TBmp&) {}), 60), short_},
      {"billions of colours", bmp([](TBmp& f) { f.ClrUsed = 0xFFFFFFF0; }), short_},
      {"RLE data longer than the file",
       bmp([](TBmp& f) { f.BitCount = 8, f.Compression = 1, f.SizeImage = 0x7FFFFFFF; }), short_},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(LoadError(LoadBMPTextureImage, c.Bytes), c.Message);
  }
}

TEST(TextureImageBMP, ColourTablesBeyond256EntriesAreSkippedNotRead) {
  TBmp f;
  f.Width = 1, f.Height = 1, f.BitCount = 24, f.ClrUsed = 300;
  f.AfterHeader.assign(300 * 4, 0);
  f.AfterHeader[0] = 0x42;
  f.Pixels = {1, 2, 3, 0};
  TDXTextureImage image;
  Load(LoadBMPTextureImage, f.Bytes(), image);
  EXPECT_EQ(image.Palette[0].peBlue, 0x42);
  EXPECT_EQ(image.GetPixel(0, 0), 0x030201u);
}

// ---- "dxt:" --------------------------------------------------------------------------

struct TDxt {
  TBytes f;
  TDxt() { f.str("dxt:", 5).u32(0x100); }
  static TBytes Chunk(int32_t type, const std::vector<uint8_t>& body) {
    TBytes c;
    c.u32(static_cast<uint32_t>(type)).u32(static_cast<uint32_t>(body.size()));
    return c.raw(body);
  }
  // An RGB image chunk body: 32-bit, with its pixels, group and id.
  static std::vector<uint8_t> RgbImage(int32_t w, int32_t h, uint32_t fill, int32_t group,
                                       int32_t id, const std::vector<uint8_t>& extra = {}) {
    TBytes body;
    body.u32(0x100);
    TBytes fmt;
    fmt.u8(1).u32(w).u32(h).u32(32).u32(0);
    fmt.u32(0xFF0000).u32(0xFF00).u32(0xFF).u32(0xFF000000);
    body.raw(Chunk(0x101, fmt.b).b);
    TBytes px;
    px.u32(0);
    for (int32_t i = 0; i < w * h; ++i) px.u32(fill);
    body.raw(Chunk(0x102, px.b).b);
    body.raw(Chunk(0x103, TBytes().u32(group).u32(id).b).b);
    body.raw(extra);
    body.raw(Chunk(1, {}).b);
    return body.b;
  }
};

TEST(TextureImageDXT, AnImageWithItsMipmapLevels) {
  TDxt d;
  TBytes extra;
  extra.raw(TDxt::Chunk(0x104, {'s', 'h', 'i', 'p'}).b);
  extra.raw(TDxt::Chunk(0x105, TBytes().u8(1).u32(0xFF00FF).b).b);
  extra.raw(TDxt::Chunk(0x777, {1, 2, 3}).b);  // unknown: skipped
  extra.raw(TDxt::Chunk(2, TDxt::RgbImage(2, 2, 0x11223344, 1, 1)).b);
  extra.raw(TDxt::Chunk(2, TDxt::RgbImage(1, 1, 0x55667788, 1, 2)).b);
  extra.raw(TDxt::Chunk(2, TBytes().u32(0x200).u32(0xDEAD).b).b);  // another version: skipped
  d.f.raw(TDxt::Chunk(5, {9, 9}).b);                               // unknown top-level chunk
  d.f.raw(TDxt::Chunk(2, TDxt::RgbImage(4, 4, 0xAABBCCDD, 0, 0, extra.b)).b);
  d.f.raw(TDxt::Chunk(0, {}).b);
  TDXTextureImage image;
  Load(LoadDXTTextureImage, d.f.b, image);
  EXPECT_EQ(image.Width, 4);
  EXPECT_EQ(image.BitCount, 32);
  EXPECT_EQ(image.GetPixel(3, 3), 0xAABBCCDDu);
  EXPECT_EQ(static_cast<uint32_t>(image.AChannel.Mask), 0xFF000000u);
  EXPECT_EQ(image.ImageName, "ship");
  EXPECT_TRUE(image.Transparent);
  EXPECT_EQ(image.TransparentColor, 0xFF00FFu);
  ASSERT_EQ(image.CountSubImages(DXTextureImageGroupType_Mipmap), 2);
  const TDXTextureImage* level1 = image.FindSubImage(DXTextureImageGroupType_Mipmap, 0);
  const TDXTextureImage* level2 = image.FindSubImage(DXTextureImageGroupType_Mipmap, 1);
  EXPECT_EQ(level1->Width, 2);
  EXPECT_EQ(level1->ImageID, 1);
  EXPECT_EQ(level1->GetPixel(1, 1), 0x11223344u);
  EXPECT_EQ(level2->GetPixel(0, 0), 0x55667788u);
  EXPECT_EQ(level2->Owner(), &image);
}

TEST(TextureImageDXT, APaletteImage) {
  TBytes fmt;
  fmt.u8(0).u32(3).u32(2).u32(4).u32(0).u32(0x0F).u32(0);
  std::vector<uint8_t> palette(1024, 0);
  palette[4] = 0xFF, palette[5] = 0x80, palette[7] = 1;
  fmt.raw(palette);
  TBytes body;
  body.u32(0x100).raw(TDxt::Chunk(0x101, fmt.b).b);
  body.raw(TDxt::Chunk(0x102, TBytes().u32(0).u32(0x00000100).u32(0x00000021).b).b);
  TDxt d;
  d.f.raw(TDxt::Chunk(2, body.b).b).raw(TDxt::Chunk(0, {}).b);
  TDXTextureImage image;
  Load(LoadDXTTextureImage, d.f.b, image);
  EXPECT_EQ(image.ImageType, DXTextureImageType_PaletteIndexedColor);
  EXPECT_EQ(image.WidthBytes, 4);
  // The format leaves the packing order to the reader: low nibble first.
  EXPECT_FALSE(image.PackedPixelOrder);
  EXPECT_EQ(image.GetPixel(0, 1), 1u);
  EXPECT_EQ(image.GetPixel(1, 1), 2u);
  EXPECT_EQ(image.GetPixel(2, 0), 1u);
  EXPECT_EQ(image.Palette[1].peRed, 0xFF);
  EXPECT_EQ(image.Palette[1].peFlags, 1);
  EXPECT_EQ(image.IndexChannel.BitCount, 4);
}

TEST(TextureImageDXT, HostileFilesAreRefusedWithTheirMessages) {
  const std::string invalid = "DXT file is invalid", short_ = "Stream read error";
  auto file = [](const std::vector<uint8_t>& image) {
    TDxt d;
    return d.f.raw(TDxt::Chunk(2, image).b).raw(TDxt::Chunk(0, {}).b).b;
  };
  auto image = [](const std::vector<uint8_t>& chunks) { return TBytes().u32(0x100).raw(chunks).b; };
  auto format = [](uint8_t type, int32_t w, int32_t h, int32_t bits, int32_t wb) {
    TBytes f;
    f.u8(type).u32(w).u32(h).u32(bits).u32(wb);
    f.raw(std::vector<uint8_t>(1032, 0));
    return TDxt::Chunk(0x101, f.b).b;
  };
  auto pixels = [](int32_t compression, size_t n) {
    return TDxt::Chunk(0x102, TBytes().u32(compression).raw(std::vector<uint8_t>(n, 0)).b).b;
  };
  auto join = [](std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  // A chain of sub-images nested deeper than any mipmap chain.
  std::vector<uint8_t> deep = image({});
  for (int i = 0; i < 100; ++i) deep = image(TDxt::Chunk(2, deep).b);

  struct Case {
    const char* Name;
    std::vector<uint8_t> Bytes;
    std::string Message;
  };
  const Case cases[] = {
      {"a valid file", file(image(join(format(1, 2, 2, 8, 0), pixels(0, 8)))), ""},
      {"wrong magic",
       [] {
         auto v = TDxt().f.raw(TDxt::Chunk(0, {}).b).b;
         v[4] = '!';
         return v;
       }(),
       invalid},
      {"wrong version", TBytes().str("dxt:", 5).u32(0x101).raw(TDxt::Chunk(0, {}).b).b, invalid},
      {"no end chunk", TDxt().f.b, short_},
      {"image type 2", file(image(format(2, 2, 2, 8, 0))), invalid},
      {"pixels before the format", file(image(join(pixels(0, 8), format(1, 2, 2, 8, 0)))), invalid},
      {"compressed pixels", file(image(join(format(1, 2, 2, 8, 0), pixels(5, 8)))),
       "Decompression error (5)"},
      {"lines narrower than their pixels", file(image(join(format(1, 4, 2, 32, 8), pixels(0, 16)))),
       invalid},
      {"pixel chunk smaller than the image", file(image(join(format(1, 2, 2, 8, 0), pixels(0, 7)))),
       invalid},
      {"format chunk cut short", file(image(TDxt::Chunk(0x101, {1, 2, 0, 0}).b)), invalid},
      {"3 bits", file(image(format(1, 2, 2, 3, 0))), invalid},
      {"no width", file(image(format(1, 0, 2, 8, 0))), invalid},
      {"negative height", file(image(format(1, 2, -2, 8, 0))), invalid},
      {"4 GiB of pixels", file(image(format(1, 65536, 16384, 32, 0))), invalid},
      {"negative chunk size", TDxt().f.u32(7).u32(0xFFFFFFF8).u32(0).u32(0).b, invalid},
      {"chunk past the file", TDxt().f.u32(7).u32(100).u32(0).b, invalid},
      {"an image without its end chunk ends with its chunk",
       file(image(TDxt::Chunk(0x104, {'a'}).b)), ""},
      {"sub-chunk header past its image", file(image({4, 1, 0, 0})), invalid},
      {"sub-image nested too deep", file(deep), invalid},
      {"a sub-image that fails fails its parent",
       file(image(TDxt::Chunk(2, image(format(9, 1, 1, 8, 0))).b)), invalid},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(LoadError(LoadDXTTextureImage, c.Bytes), c.Message);
  }

  // A sub-chunk whose size reaches past its image but not past the file.
  TBytes outer;
  outer.u32(0x100).u32(0x104).u32(50);
  TDxt d;
  d.f.raw(TDxt::Chunk(2, outer.b).b).raw(std::vector<uint8_t>(60, 0));
  EXPECT_EQ(LoadError(LoadDXTTextureImage, d.f.b), invalid);
}

TEST(TextureImageDXT, ImagesMayNotClaimMorePixelsThanTheFileOrTheBoundHolds) {
  // Levels of 16 MiB each, in a file padded to hold any one of them: five
  // together pass the bound.
  auto file = [](int levels, int32_t side) {
    TBytes fmt;
    fmt.u8(1).u32(side).u32(side).u32(32).u32(0).raw(std::vector<uint8_t>(16, 0));
    TBytes chunks;
    chunks.raw(TDxt::Chunk(0x101, fmt.b).b);
    for (int i = 1; i < levels; ++i)
      chunks.raw(TDxt::Chunk(2, TBytes().u32(0x100).raw(TDxt::Chunk(0x101, fmt.b).b).b).b);
    TDxt d;
    d.f.raw(TDxt::Chunk(2, TBytes().u32(0x100).raw(chunks.b).b).b).raw(TDxt::Chunk(0, {}).b);
    return d.f.raw(std::vector<uint8_t>(size_t{16} << 20, 0)).b;
  };
  EXPECT_EQ(LoadError(LoadDXTTextureImage, file(4, 2048)), "");
  EXPECT_EQ(LoadError(LoadDXTTextureImage, file(5, 2048)), "DXT file is invalid");
  EXPECT_EQ(LoadError(LoadDXTTextureImage, file(1, 2049)), "DXT file is invalid");
}

// ---- Registry ------------------------------------------------------------------------

TEST(TextureImageRegistry, LoadersAreTriedInOrderAndFailuresLeaveTheImageClear) {
  TDxt d;
  d.f.raw(TDxt::Chunk(2, TDxt::RgbImage(2, 1, 0x01020304, 0, 0)).b).raw(TDxt::Chunk(0, {}).b);
  TDXTextureImage image;
  image.ImageName = "old";
  {
    TMemoryStream s(d.f.b);
    try {
      image.LoadFromStream(s);
      ADD_FAILURE() << "loaded without a loader for it";
    } catch (const EDXTextureImageError& e) {
      EXPECT_EQ(e.Message(), "Graphic format not suported");
    }
    EXPECT_EQ(image.ImageName, "");
    EXPECT_EQ(image.Memory, nullptr);
  }
  RegisterTextureImageLoader(LoadDXTTextureImage);
  RegisterTextureImageLoader(LoadDXTTextureImage);  // once only
  {
    // Read from the middle of a stream: each loader starts where the caller was.
    TMemoryStream s;
    s.WriteBuffer("xyz", 3);
    s.WriteBuffer(d.f.b.data(), static_cast<int64_t>(d.f.b.size()));
    s.SetPosition(3);
    image.LoadFromStream(s);
    EXPECT_EQ(image.GetPixel(1, 0), 0x01020304u);
  }
  UnregisterTextureImageLoader(LoadDXTTextureImage);
  {
    TMemoryStream s(d.f.b);
    EXPECT_THROW(image.LoadFromStream(s), EDXTextureImageError);
  }
}

TEST(TextureImageRegistry, LoadFromFile) {
  TBmp f;
  f.BitCount = 24;
  f.Pixels = {3, 2, 1, 0};
  const std::string path = testing::TempDir() + "texture_image_test.bmp";
  TMemoryStream(f.Bytes()).SaveToFile(path);
  TDXTextureImage image;
  image.LoadFromFile(path);
  EXPECT_EQ(image.GetPixel(0, 0), 0x010203u);
  std::remove(path.c_str());
  EXPECT_THROW(image.LoadFromFile(path), EFOpenError);
}

}  // namespace
