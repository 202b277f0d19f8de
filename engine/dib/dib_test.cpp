#include "engine/dib/dib.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "framework/canvas.h"
#include "framework/filer.h"
#include "framework/jpeg.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Little-endian byte builder for hand-made bitmap fixtures.
struct TBuilder {
  Bytes b;
  TBuilder& u8(uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    return *this;
  }
  TBuilder& u16(uint32_t v) { return u8(v).u8(v >> 8); }
  TBuilder& u32(uint32_t v) { return u16(v).u16(v >> 16); }
  TBuilder& raw(const Bytes& v) {
    b.insert(b.end(), v.begin(), v.end());
    return *this;
  }
};

Bytes InfoHeader(int32_t w, int32_t h, int bits, uint32_t compression, uint32_t imageSize = 0,
                 uint32_t colorsUsed = 0) {
  return TBuilder{}
      .u32(40)
      .u32(static_cast<uint32_t>(w))
      .u32(static_cast<uint32_t>(h))
      .u16(1)
      .u16(static_cast<uint32_t>(bits))
      .u32(compression)
      .u32(imageSize)
      .u32(0)
      .u32(0)
      .u32(colorsUsed)
      .u32(0)
      .b;
}

Bytes FileHeader() {
  return TBuilder{}.u8('B').u8('M').u32(0).u32(0).u32(0).b;
}

void Load(TDIB& dib, const Bytes& bytes) {
  TByteStream s(bytes.data(), bytes.size());
  dib.LoadFromStream(s);
}

Bytes Save(TDIB& dib) {
  TMemoryStream s;
  dib.SaveToStream(s);
  return s.Bytes();
}

// Expects fn to raise exception E with exactly this message.
template <class E>
void ExpectRaises(const std::function<void()>& fn, const std::string& message) {
  try {
    fn();
    ADD_FAILURE() << "no exception, expected: " << message;
  } catch (const E& e) {
    EXPECT_EQ(e.Message(), message);
  } catch (const Exception& e) {
    ADD_FAILURE() << "wrong exception " << e.ClassName() << ": " << e.Message();
  }
}

std::vector<int32_t> AllPixels(TDIB& dib) {
  std::vector<int32_t> v;
  for (int32_t y = 0; y < dib.Height(); ++y)
    for (int32_t x = 0; x < dib.Width(); ++x) v.push_back(dib.GetPixel(x, y));
  return v;
}

// ---- Pixel layouts ------------------------------------------------------------------

TEST(PixelLayout, LayoutsFromCountsAndMasks) {
  const TPixelLayout l565 = MakePixelLayout(5, 6, 5);
  EXPECT_EQ(l565.RedMask, 0xF800);
  EXPECT_EQ(l565.GreenMask, 0x07E0);
  EXPECT_EQ(l565.BlueMask, 0x001F);
  EXPECT_EQ(l565.RedShift, 8);
  EXPECT_EQ(l565.GreenShift, 3);
  EXPECT_EQ(l565.BlueShift, 3);
  EXPECT_EQ(l565.GreenFill, 2);
  EXPECT_EQ(MakePixelLayout(5, 5, 5).RedMask, 0x7C00);
  EXPECT_EQ(MakePixelLayout(8, 8, 8).RedMask, 0xFF0000);

  EXPECT_EQ(MakePixelLayoutFromMasks(0xF800, 0x07E0, 0x001F), l565);
  // Where the masks sit is dropped: blue-on-top masks give the same layout.
  EXPECT_EQ(MakePixelLayoutFromMasks(0x001F, 0x07E0, 0xF800), l565);
  EXPECT_EQ(MakePixelLayoutFromMasks(0x7C00, 0x03E0, 0x001F), MakePixelLayout(5, 5, 5));
  // Hostile masks must not be undefined behaviour.
  EXPECT_EQ(MakePixelLayoutFromMasks(-1, 0, 0).RedBits, 32);
}

TEST(PixelLayout, PackAndUnpack) {
  struct Case {
    TPixelLayout layout;
    int32_t value;
    uint8_t r, g, b;
  };
  const Case cases[] = {
      {MakePixelLayout(5, 6, 5), 0xFFFF, 255, 255, 255},
      {MakePixelLayout(5, 6, 5), 0x0821, 9, 5, 9},
      {MakePixelLayout(5, 6, 5), 0x8410, 144, 160, 144},
      {MakePixelLayout(5, 6, 5), 0x0000, 0, 0, 0},
      {MakePixelLayout(5, 5, 5), 0x7C00, 255, 0, 0},
      {MakePixelLayout(5, 5, 5), 0x03E0, 0, 255, 0},
      {MakePixelLayout(8, 8, 8), 0x123456, 0x12, 0x34, 0x56},
  };
  for (const Case& c : cases) {
    uint8_t r, g, b;
    UnpackPixel(c.layout, c.value, r, g, b);
    EXPECT_EQ(r, c.r) << std::hex << c.value;
    EXPECT_EQ(g, c.g) << std::hex << c.value;
    EXPECT_EQ(b, c.b) << std::hex << c.value;
  }
  EXPECT_EQ(PackPixel(MakePixelLayout(5, 5, 5), 255, 0, 0), 0x7C00);
  EXPECT_EQ(PackPixel(MakePixelLayout(5, 6, 5), 255, 128, 0), 0xFC00);
  EXPECT_EQ(PackPixel(MakePixelLayout(5, 6, 5), 255, 255, 255), 0xFFFF);
  EXPECT_EQ(PackPixel(MakePixelLayout(8, 8, 8), 0x12, 0x34, 0x56), 0x123456);
  EXPECT_EQ(PackPixel(MakePixelLayout(5, 5, 5), 0x08, 0x10, 0x18), 0x0443);
}

TEST(PixelLayout, DeviceContextsConvertColoursAlike) {
  // Canvas drawing converts through the device context; it must agree with
  // the bitmaps' own conversion, or colour keys stop matching.
  struct Case {
    TPixelLayout layout;
    TGdiPixelFormat gdi;
  };
  const Case cases[] = {{Layout555(), TGdiPixelFormat::RGB555()},
                        {Layout565(), TGdiPixelFormat::RGB565()},
                        {Layout888(), TGdiPixelFormat::RGB888(32)}};
  for (const Case& c : cases) {
    for (uint32_t v = 0; v < 0x10000; v += (c.layout == Layout888() ? 257 : 1)) {
      const uint32_t pixel = c.layout == Layout888() ? v * 0x101 : v;
      uint8_t r, g, b, gr, gg, gb;
      UnpackPixel(c.layout, static_cast<int32_t>(pixel), r, g, b);
      c.gdi.Unpack(pixel, gr, gg, gb);
      ASSERT_EQ((std::array<int, 3>{r, g, b}), (std::array<int, 3>{gr, gg, gb}))
          << std::hex << pixel;
      ASSERT_EQ(static_cast<uint32_t>(PackPixel(c.layout, r, g, b)), c.gdi.Pack(r, g, b))
          << std::hex << pixel;
    }
  }
}

TEST(PixelLayout, ColourHelpers) {
  TRGBQuads grey;
  MakeGrayColorTable(grey);
  EXPECT_EQ(grey[0], (RGBQUAD{0, 0, 0, 0}));
  EXPECT_EQ(grey[200], (RGBQUAD{200, 200, 200, 0}));
  EXPECT_EQ(RGBQuad(1, 2, 3), (RGBQUAD{3, 2, 1, 0}));
  EXPECT_EQ(PaletteEntryToRGBQuad(TPaletteEntry{1, 2, 3, 9}), (RGBQUAD{3, 2, 1, 0}));
  EXPECT_EQ(RGBQuadToPaletteEntry(RGBQUAD{3, 2, 1, 9}), (TPaletteEntry{1, 2, 3, 0}));
}

// ---- Shared images and the palette cache ---------------------------------------------

TEST(SharedImage, NewImageShapesAndErrors) {
  TRGBQuads table{};
  {
    TDIBSharedImage i;
    i.NewImage(33, 2, 1, Layout888(), table, true, false);
    EXPECT_EQ(i.WidthBytes, 8);
    EXPECT_EQ(i.Size, 16);
    EXPECT_EQ(i.PaletteCount, 2);
    EXPECT_EQ(i.BitmapInfoSize, 40 + 8);
    EXPECT_EQ(i.NextLine, -8);
    EXPECT_EQ(i.TopPBits, i.PBits + 8);
  }
  {
    TDIBSharedImage i;
    i.NewImage(1, 1, 24, Layout888(), table, true, false);
    EXPECT_EQ(i.WidthBytes, 4);
  }
  {
    TDIBSharedImage i;
    i.NewImage(2, 2, 16, Layout565(), table, true, false);
    EXPECT_EQ(i.BitmapInfoSize, 52);
    EXPECT_EQ(i.ColorTablePos, 52);
    EXPECT_EQ(i.HeaderCompression(), uint32_t{BI_BITFIELDS});
  }
  ExpectRaises<EInvalidGraphicOperation>(
      [&] { TDIBSharedImage().NewImage(2, 2, 16, Layout888(), table, true, false); },
      "PixelFormat in invalid");
  ExpectRaises<EInvalidGraphicOperation>(
      [&] { TDIBSharedImage().NewImage(2, 2, 24, Layout565(), table, true, false); },
      "PixelFormat in invalid");
  ExpectRaises<EInvalidGraphicOperation>(
      [&] { TDIBSharedImage().NewImage(2, 2, 15, Layout888(), table, true, false); },
      "Bitcount in invalid (15)");
  // Sizes that cannot be held are refused before any arithmetic wraps: a
  // memory image is out of memory, a bitmap section cannot be made.
  ExpectRaises<EOutOfMemory>(
      [&] {
        TDIBSharedImage().NewImage(0x7FFFFFFF, 0x7FFFFFFF, 32, Layout888(), table, true, false);
      },
      "Out of memory");
  ExpectRaises<EOutOfResources>(
      [&] {
        TDIBSharedImage().NewImage(0x7FFFFFFF, 0x7FFFFFFF, 32, Layout888(), table, false, false);
      },
      "DIB cannot be made");
}

TEST(PaletteCache, SharesEqualTablesByReference) {
  TRGBQuads table{};
  table[0] = RGBQuad(10, 20, 30);
  table[1] = RGBQuad(40, 50, 60);
  TDIB a, b;
  a.ColorTable = table;
  a.SetSize(2, 2, 8);
  b.ColorTable = table;
  b.SetSize(3, 3, 8);
  TPaletteHandle pa = a.GetPalette();
  ASSERT_NE(pa, nullptr);
  EXPECT_EQ(b.GetPalette(), pa);
  // Palette entries are the table's colours with red and blue swapped back.
  TPaletteEntry e[2];
  ASSERT_EQ(GetPaletteHandleEntries(pa, 0, 2, e), 2);
  EXPECT_EQ(e[1], (TPaletteEntry{40, 50, 60, 0}));

  const int items = PaletteManager().ItemCount();
  a.Clear();  // gives a's reference back
  EXPECT_EQ(PaletteManager().ItemCount(), items);
  EXPECT_EQ(GetPaletteHandleEntries(b.GetPalette(), 0, 2, e), 2);
  b.Clear();  // the last holder: the palette goes
  EXPECT_EQ(PaletteManager().ItemCount(), items - 1);
  b.ColorTable = table;
  b.SetSize(3, 3, 8);

  // A different table gets a different palette.
  TDIB c;
  table[0] = RGBQuad(11, 20, 30);
  c.ColorTable = table;
  c.SetSize(1, 1, 8);
  EXPECT_NE(c.GetPalette(), b.GetPalette());

  // A handle the cache never gave out is left alone.
  TPaletteEntry one{1, 2, 3, 0};
  TPaletteHandle foreign = CreatePaletteHandle(&one, 1);
  TPaletteHandle copy = foreign;
  PaletteManager().DeletePalette(copy);
  EXPECT_EQ(copy, foreign);
  DeletePaletteHandle(foreign);
}

// ---- RLE ----------------------------------------------------------------------------

struct RLECase {
  const char* name;
  int bits, width, height;
  Bytes data;
  std::vector<std::string> rows;  // expected pixels as hex digits, bottom row first
};

class RLEDecoding : public ::testing::TestWithParam<RLECase> {};

TEST_P(RLEDecoding, ExpandsIntoRows) {
  const RLECase& c = GetParam();
  const int64_t wb = DIBWidthBytes(c.width, c.bits);
  Bytes out(static_cast<size_t>(wb * c.height), 0);
  if (c.bits == 8)
    DecodeRLE8(c.data.data(), static_cast<int64_t>(c.data.size()), out.data(), c.width, c.height,
               static_cast<int32_t>(wb));
  else
    DecodeRLE4(c.data.data(), static_cast<int64_t>(c.data.size()), out.data(), c.width, c.height,
               static_cast<int32_t>(wb));
  for (int y = 0; y < c.height; ++y) {
    std::string row;
    for (int x = 0; x < c.width; ++x) {
      const uint8_t b = out[static_cast<size_t>(y * wb + (c.bits == 8 ? x : x / 2))];
      const int v = c.bits == 8 ? b : ((x & 1) ? (b & 15) : (b >> 4));
      char hex[4];
      std::snprintf(hex, sizeof hex, c.bits == 8 ? "%02X" : "%X", v);
      row += hex;
    }
    EXPECT_EQ(row, c.rows[static_cast<size_t>(y)]) << c.name << " row " << y;
  }
  // Nothing is ever written into the row padding.
  for (int y = 0; y < c.height; ++y)
    for (int64_t i = (c.width * c.bits + 7) / 8; i < wb; ++i)
      EXPECT_EQ(out[static_cast<size_t>(y * wb + i)], 0);
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, RLEDecoding,
    ::testing::Values(
        RLECase{"rle8 run, end of line, end of bitmap",
                8,
                8,
                2,
                Bytes{0x04, 0x07, 0x00, 0x00, 0x02, 0x09, 0x00, 0x01},
                {"0707070700000000", "0909000000000000"}},
        RLECase{"rle8 absolute run of 3 is padded",
                8,
                4,
                1,
                Bytes{0x00, 0x03, 0x0A, 0x0B, 0x0C, 0x00, 0x01, 0x05},
                {"0A0B0C05"}},
        RLECase{"rle8 delta",
                8,
                4,
                3,
                Bytes{0x01, 0x01, 0x00, 0x02, 0x01, 0x01, 0x02, 0x03, 0x00, 0x01},
                {"01000000", "00000303", "00000000"}},
        RLECase{"rle8 runs beyond the row and image are clipped",
                8,
                3,
                2,
                Bytes{0xFF, 0x05, 0x00, 0x02, 0xFF, 0xFF, 0x03, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                      0x00, 0x09, 0x09},
                {"050505", "000000"}},
        RLECase{"rle8 absolute run longer than the data",
                8,
                4,
                1,
                Bytes{0x00, 0x06, 0x0A, 0x0B},
                {"0A0B0000"}},
        RLECase{"rle8 delta cut short", 8, 2, 1, Bytes{0x01, 0x04, 0x00, 0x02, 0x01}, {"0400"}},
        RLECase{"rle4 run alternates nibbles",
                4,
                6,
                2,
                Bytes{0x05, 0x12, 0x00, 0x00, 0x02, 0x3F, 0x00, 0x01},
                {"121210", "3F0000"}},
        RLECase{"rle4 absolute and delta",
                4,
                8,
                2,
                Bytes{0x00, 0x03, 0xAB, 0xC0, 0x00, 0x02, 0x01, 0x01, 0x02, 0x77, 0x00, 0x01},
                {"ABC00000", "00007700"}},
        RLECase{
            "rle4 run beyond the row is clipped", 4, 3, 1, Bytes{0x09, 0xEF, 0x00, 0x01}, {"EFE"}}),
    [](const ::testing::TestParamInfo<RLECase>& info) {
      return "Case" + std::to_string(info.index);
    });

// ---- TDIB pixels and sharing ---------------------------------------------------------------

TEST(DIB, PixelAccessAtEveryDepth) {
  {
    TDIB d;
    d.SetSize(1, 1, 24);
    d.SetPixel(0, 0, 0x00112233);
    const uint8_t* p = d.ScanLine(0);
    EXPECT_EQ(p[0], 0x11);
    EXPECT_EQ(p[1], 0x22);
    EXPECT_EQ(p[2], 0x33);
    EXPECT_EQ(d.GetPixel(0, 0), 0x112233);
  }
  {
    TDIB d;
    d.SetSize(1, 1, 32);
    d.SetPixel(0, 0, static_cast<int32_t>(0xAA112233));
    EXPECT_EQ(static_cast<uint32_t>(d.GetPixel(0, 0)), 0xAA112233u);
  }
  {
    TDIB d;
    d.SetSize(8, 2, 4);
    d.ScanLine(0)[1] = 0xA0;
    d.SetPixel(3, 0, 5);
    EXPECT_EQ(d.ScanLine(0)[1], 0xA5);
    EXPECT_EQ(d.GetPixel(3, 0), 5);
    EXPECT_EQ(d.GetPixel(2, 0), 0xA);
  }
  {
    TDIB d;
    d.SetSize(9, 1, 1);
    d.SetPixel(0, 0, 1);
    d.SetPixel(8, 0, 3);  // only the low bit counts
    EXPECT_EQ(d.ScanLine(0)[0], 0x80);
    EXPECT_EQ(d.ScanLine(0)[1], 0x80);
    d.SetPixel(0, 0, 0);
    EXPECT_EQ(d.ScanLine(0)[0], 0x00);
  }
  {
    TDIB d;
    d.PixelFormat = Layout565();
    d.SetSize(2, 2, 16);
    d.SetPixel(1, 1, 0x12345);
    EXPECT_EQ(d.GetPixel(1, 1), 0x2345);
    // Outside the bitmap reads 0 and writes nothing.
    d.SetPixel(-1, 0, 7);
    d.SetPixel(2, 0, 7);
    EXPECT_EQ(d.GetPixel(2, 0), 0);
    EXPECT_EQ(d.GetPixel(0, -1), 0);
  }
}

TEST(DIB, ScanLineRange) {
  TDIB d;
  d.SetSize(2, 3, 8);
  ExpectRaises<EInvalidGraphicOperation>([&] { d.ScanLine(-1); },
                                         "Index of the scanning line exceeded the range. (-1)");
  ExpectRaises<EInvalidGraphicOperation>([&] { d.ScanLine(3); },
                                         "Index of the scanning line exceeded the range. (3)");
  // Row 0 is the top row, stored last.
  EXPECT_EQ(d.ScanLine(0), d.Bits() + 2 * 4);
  EXPECT_EQ(d.ScanLine(2), d.Bits());
}

TEST(DIB, CopiesShareUntilOneWrites) {
  TDIB a;
  a.SetSize(2, 2, 8);
  a.SetPixel(0, 0, 1);
  TDIB b;
  b.Assign(&a);
  EXPECT_EQ(a.Image(), b.Image());
  b.SetPixel(0, 0, 2);
  EXPECT_NE(a.Image(), b.Image());
  EXPECT_EQ(a.GetPixel(0, 0), 1);
  EXPECT_EQ(b.GetPixel(0, 0), 2);

  // A colour-table change is a write too.
  TDIB c;
  c.Assign(&a);
  c.ColorTable[1] = RGBQuad(255, 0, 0);
  c.UpdatePalette();
  EXPECT_NE(a.Image(), c.Image());
  EXPECT_EQ(a.ColorTable[1], (RGBQUAD{1, 1, 1, 0}));
  EXPECT_EQ(c.Image()->ColorTable[1], RGBQuad(255, 0, 0));
}

TEST(DIB, SizeChanges) {
  TDIB d;
  d.SetWidth(5);
  EXPECT_EQ(d.Width(), 5);
  EXPECT_EQ(d.Height(), 1);
  EXPECT_EQ(d.BitCount(), 8);
  d.SetHeight(3);
  EXPECT_EQ(d.Height(), 3);
  d.SetWidth(0);
  EXPECT_TRUE(d.Empty());
  EXPECT_EQ(d.Width(), 0);
  d.SetBitCount(32);
  EXPECT_EQ(d.Width(), 1);
  EXPECT_EQ(d.BitCount(), 32);
  // New images are zeroed, row padding included.
  TDIB z;
  z.SetSize(3, 2, 24);
  for (int32_t i = 0; i < z.Size(); ++i) EXPECT_EQ(z.Bits()[i], 0);
}

TEST(DIB, ImageThatCannotBeMadeKeepsThePreviousOne) {
  // With a canvas the bitmap holds a bitmap section; without one, memory.
  for (const bool section : {true, false}) {
    TDIB d;
    d.SetSize(2, 2, 24);
    if (section) ASSERT_NE(d.Canvas(), nullptr);
    d.SetPixel(1, 1, 0x123456);
    const auto grow = [&] { d.SetSize(0x7FFFFFFF, 0x7FFFFFFF, 32); };
    if (section)
      ExpectRaises<EOutOfResources>(grow, "DIB cannot be made");
    else
      ExpectRaises<EOutOfMemory>(grow, "Out of memory");
    EXPECT_EQ(d.Width(), 2) << section;
    EXPECT_EQ(d.BitCount(), 24) << section;
    EXPECT_EQ(d.GetPixel(1, 1), 0x123456) << section;
  }
}

TEST(DIB, SavingTheSamePictureTwiceGivesTheSameBytes) {
  const auto make = [] {
    TDIB d;
    d.SetSize(3, 3, 24);  // 9 bytes of pixels and 3 of padding per row
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 3; ++x) d.SetPixel(x, y, x * 40 + y * 7);
    return Save(d);
  };
  const Bytes first = make();
  EXPECT_EQ(first, make());
  EXPECT_EQ(first.size(), 14u + 40u + 36u);
}

TEST(DIB, AlphaChannel) {
  TDIB d;
  d.SetSize(2, 1, 32);
  EXPECT_FALSE(d.HasAlphaChannel());
  EXPECT_EQ(d.MakeAlphaDIB(), nullptr);
  d.SetPixel(1, 0, static_cast<int32_t>(0x80FFFFFF));
  EXPECT_TRUE(d.HasAlphaChannel());
  TDIB* alpha = d.MakeAlphaDIB();
  ASSERT_NE(alpha, nullptr);
  EXPECT_EQ(alpha->BitCount(), 8);
  EXPECT_EQ(alpha->GetPixel(0, 0), 0);
  EXPECT_EQ(alpha->GetPixel(1, 0), 0x80);
  EXPECT_EQ(alpha->ColorTable[0x80], (RGBQUAD{0x80, 0x80, 0x80, 0}));
  EXPECT_EQ(d.AlphaDIBs().size(), 2u);
  TDIB narrow;
  narrow.SetSize(2, 1, 24);
  EXPECT_FALSE(narrow.HasAlphaChannel());
}

// ---- Stream format -----------------------------------------------------------------

// Fills a bitmap of any depth with a pattern that uses every bit of a pixel.
void FillPattern(TDIB& d) {
  for (int32_t y = 0; y < d.Height(); ++y)
    for (int32_t x = 0; x < d.Width(); ++x) {
      const uint32_t v = static_cast<uint32_t>(x * 37 + y * 101 + 13) * 2654435761u;
      d.SetPixel(x, y, static_cast<int32_t>(v >> (32 - std::min(d.BitCount(), 31))));
    }
}

// A bitmap body written by hand in the other forms the reader accepts.
Bytes WriteVariant(TDIB& d, bool core, bool topDown) {
  TBuilder out;
  const int bits = d.BitCount();
  const bool masks = bits == 16 || bits == 32;
  if (core) {
    out.u32(12)
        .u16(static_cast<uint32_t>(d.Width()))
        .u16(static_cast<uint32_t>(d.Height()))
        .u16(1)
        .u16(static_cast<uint32_t>(bits));
  } else {
    out.raw(InfoHeader(d.Width(), topDown ? -d.Height() : d.Height(), bits,
                       masks ? BI_BITFIELDS : BI_RGB));
    if (masks)
      out.u32(static_cast<uint32_t>(d.ImagePixelFormat().RedMask))
          .u32(static_cast<uint32_t>(d.ImagePixelFormat().GreenMask))
          .u32(static_cast<uint32_t>(d.ImagePixelFormat().BlueMask));
  }
  if (bits <= 8)
    for (int i = 0; i < (1 << bits); ++i) {
      const RGBQUAD& q = d.ColorTable[static_cast<size_t>(i)];
      out.u8(q.rgbBlue).u8(q.rgbGreen).u8(q.rgbRed);
      if (!core) out.u8(0);
    }
  for (int32_t y = 0; y < d.Height(); ++y) {
    const int32_t row = topDown ? y : d.Height() - 1 - y;
    const uint8_t* p = d.ScanLine(row);
    out.raw(Bytes(p, p + d.WidthBytes()));
  }
  return out.b;
}

TEST(DIBStream, RoundTripsAtEveryDepthAndHeaderForm) {
  struct Depth {
    int bits;
    TPixelLayout layout;
  };
  const Depth depths[] = {{1, Layout888()},  {4, Layout888()},  {8, Layout888()}, {16, Layout555()},
                          {16, Layout565()}, {24, Layout888()}, {32, Layout888()}};
  for (const Depth& depth : depths) {
    TDIB d;
    d.PixelFormat = depth.layout;
    for (int i = 0; i < 256; ++i) d.ColorTable[static_cast<size_t>(i)] = RGBQuad(i, 255 - i, i / 2);
    d.SetSize(7, 5, depth.bits);
    FillPattern(d);
    const std::vector<int32_t> pixels = AllPixels(d);

    struct Form {
      const char* name;
      bool core, topDown, fileHeader;
    };
    const Form forms[] = {{"saved", false, false, true},
                          {"info top-down", false, true, false},
                          {"info bottom-up", false, false, false},
                          {"core", true, false, false}};
    for (const Form& form : forms) {
      // Core headers carry no masks; they are read as 5-5-5.
      if (form.core && depth.bits == 16 && depth.layout == Layout565()) continue;
      const std::string what = std::to_string(depth.bits) + " bits, " + form.name;
      Bytes bytes = form.fileHeader ? Save(d) : WriteVariant(d, form.core, form.topDown);
      TDIB back;
      if (form.fileHeader) {
        Load(back, bytes);
      } else {
        TByteStream s(bytes.data(), bytes.size());
        back.ReadData(s);
      }
      ASSERT_EQ(back.Width(), 7) << what;
      ASSERT_EQ(back.Height(), 5) << what;
      ASSERT_EQ(back.BitCount(), depth.bits) << what;
      EXPECT_TRUE(back.ImagePixelFormat().SameMasks(depth.layout)) << what;
      EXPECT_EQ(AllPixels(back), pixels) << what;
      if (depth.bits <= 8)
        for (int i = 0; i < (1 << depth.bits); ++i)
          EXPECT_EQ(back.ColorTable[static_cast<size_t>(i)], d.ColorTable[static_cast<size_t>(i)])
              << what << " " << i;
      // Whatever form was read, it is written back in the normal form.
      EXPECT_EQ(Save(back), Save(d)) << what;
    }
  }
}

TEST(DIBStream, FileHeaderAndSizes) {
  TDIB d;
  d.SetSize(2, 2, 8);
  const Bytes b = Save(d);
  ASSERT_EQ(b.size(), 14u + 40u + 1024u + 8u);
  EXPECT_EQ(b[0], 'B');
  EXPECT_EQ(b[1], 'M');
  EXPECT_EQ(b[2] | (b[3] << 8) | (b[4] << 16), 14 + 40 + 1024 + 8);
  EXPECT_EQ(b[10] | (b[11] << 8), 1078);

  TDIB empty;
  EXPECT_TRUE(Save(empty).empty());
}

TEST(DIBStream, EmptyStreamLeavesTheBitmap) {
  TDIB d;
  d.SetSize(3, 3, 8);
  d.SetPixel(1, 1, 9);
  Load(d, Bytes{});
  EXPECT_EQ(d.Width(), 3);
  EXPECT_EQ(d.GetPixel(1, 1), 9);
  // A body that ends before its header size gives an empty bitmap.
  TByteStream none(nullptr, 0);
  d.ReadData(none);
  EXPECT_TRUE(d.Empty());
}

TEST(DIBStream, NoPixelsGiveTheEmptyBitmap) {
  struct Case {
    const char* name;
    Bytes body;
  };
  const Bytes rle{0x00, 0x01};
  const Case cases[] = {
      {"width 0", InfoHeader(0, 3, 24, BI_RGB)},
      {"height 0", InfoHeader(5, 0, 24, BI_RGB)},
      {"core width 0", TBuilder{}.u32(12).u16(0).u16(2).u16(1).u16(24).b},
      {"RLE, height 0", TBuilder{}
                            .raw(InfoHeader(4, 0, 8, BI_RLE8, static_cast<uint32_t>(rle.size())))
                            .raw(Bytes(1024, 0))
                            .raw(rle)
                            .b},
  };
  for (const Case& c : cases) {
    Bytes body = c.body;
    body.push_back(0x5A);  // whatever follows the body
    TDIB d;
    d.SetSize(2, 2, 8);
    TByteStream s(body.data(), body.size());
    d.ReadData(s);
    EXPECT_TRUE(d.Empty()) << c.name;
    EXPECT_EQ(d.Width(), 0) << c.name;
    EXPECT_EQ(d.Height(), 0) << c.name;
    EXPECT_EQ(s.Position(), static_cast<int64_t>(body.size() - 1)) << c.name;
  }
}

TEST(DIBStream, ShortColourTable) {
  Bytes body = InfoHeader(2, 1, 8, BI_RGB, 0, 16);
  for (int i = 0; i < 16; ++i) body.insert(body.end(), {static_cast<uint8_t>(i), 1, 2, 0});
  body.insert(body.end(), {15, 3, 0, 0});
  TDIB d;
  TByteStream s(body.data(), body.size());
  d.ReadData(s);
  EXPECT_EQ(d.ColorTable[15], (RGBQUAD{15, 1, 2, 0}));
  EXPECT_EQ(d.ColorTable[16], (RGBQUAD{0, 0, 0, 0}));
  EXPECT_EQ(d.GetPixel(0, 0), 15);
  TMemoryStream out;
  d.WriteData(out);
  EXPECT_EQ(out.Size(), 40 + 1024 + 4);
}

TEST(DIBStream, TopDownRowsAreWrittenBackBottomUp) {
  Bytes body = InfoHeader(1, -2, 24, BI_RGB);
  body.insert(body.end(), {1, 2, 3, 0, 4, 5, 6, 0});  // top row first
  TDIB d;
  TByteStream s(body.data(), body.size());
  d.ReadData(s);
  EXPECT_EQ(d.GetPixel(0, 0), 0x010203);
  EXPECT_EQ(d.GetPixel(0, 1), 0x040506);
  TMemoryStream out;
  d.WriteData(out);
  const Bytes& o = out.Bytes();
  EXPECT_EQ(o[8] | (o[9] << 8), 2);  // positive height
  EXPECT_EQ(Bytes(o.end() - 8, o.end()), (Bytes{4, 5, 6, 0, 1, 2, 3, 0}));
}

TEST(DIBStream, BlueFirstBitFieldsKeepTheirColours) {
  struct Case {
    int bits;
    uint32_t r, g, b;
    uint32_t stored;  // pure red under those masks
    int32_t expected;
  };
  const Case cases[] = {
      {16, 0x001F, 0x07E0, 0xF800, 0x001F, 0xF800},  // 5-6-5, blue on top
      {16, 0x001F, 0x03E0, 0x7C00, 0x001F, 0x7C00},  // 5-5-5, blue on top
      {32, 0x0000FF, 0x00FF00, 0xFF0000, 0x0000FF, 0xFF0000},
  };
  for (const Case& c : cases) {
    Bytes body = InfoHeader(1, 1, c.bits, BI_BITFIELDS);
    TBuilder t;
    t.u32(c.r).u32(c.g).u32(c.b).u32(c.stored);
    body.insert(body.end(), t.b.begin(), t.b.end());
    TDIB d;
    TByteStream s(body.data(), body.size());
    d.ReadData(s);
    EXPECT_EQ(d.GetPixel(0, 0), c.expected) << c.bits;
    uint8_t r, g, b;
    UnpackPixel(d.ImagePixelFormat(), d.GetPixel(0, 0), r, g, b);
    EXPECT_EQ(r, 255);
    EXPECT_EQ(g, 0);
    EXPECT_EQ(b, 0);
  }
}

TEST(DIBStream, RLEStaysCompressedUntilPixelsAreNeeded) {
  const Bytes rle{0x04, 0x07, 0x00, 0x00, 0x02, 0x09, 0x00, 0x01};
  Bytes body = InfoHeader(8, 2, 8, BI_RLE8, static_cast<uint32_t>(rle.size()));
  body.resize(body.size() + 1024, 0);
  body.insert(body.end(), rle.begin(), rle.end());
  TDIB d;
  TByteStream s(body.data(), body.size());
  d.ReadData(s);
  EXPECT_EQ(d.Size(), 8);
  EXPECT_TRUE(d.Image()->Compressed);
  TMemoryStream out;
  d.WriteData(out);
  EXPECT_EQ(out.Bytes(), body);

  TDIB copy;
  copy.Assign(&d);
  EXPECT_EQ(copy.GetPixel(3, 1), 7);  // the bottom row
  EXPECT_EQ(copy.GetPixel(1, 0), 9);
  EXPECT_EQ(copy.GetPixel(4, 1), 0);
  EXPECT_FALSE(copy.Image()->Compressed);
  EXPECT_TRUE(d.Image()->Compressed);

  // RLE4 through the whole reader, bits 4.
  const Bytes rle4{0x03, 0x12, 0x00, 0x00, 0x00, 0x03, 0xAB, 0xC0, 0x00, 0x01};
  Bytes body4 = InfoHeader(4, 2, 4, BI_RLE4, static_cast<uint32_t>(rle4.size()));
  body4.resize(body4.size() + 64, 0);
  body4.insert(body4.end(), rle4.begin(), rle4.end());
  TDIB d4;
  TByteStream s4(body4.data(), body4.size());
  d4.ReadData(s4);
  const std::vector<int32_t> expected{0xA, 0xB, 0xC, 0, 1, 2, 1, 0};
  EXPECT_EQ(AllPixels(d4), expected);
}

TEST(DIBStream, MalformedInputs) {
  struct Case {
    const char* name;
    Bytes bytes;  // a whole stream for LoadFromStream
    std::string message;
    enum { invalid, operation, read, memory } kind;
  };
  const auto bmp = [](const Bytes& body) {
    Bytes b = FileHeader();
    b.insert(b.end(), body.begin(), body.end());
    return b;
  };
  const auto withTable = [](Bytes h, int entries) {
    h.resize(h.size() + static_cast<size_t>(entries) * 4, 0);
    return h;
  };
  const Case cases[] = {
      {"ten bytes", Bytes(10, 'B'), "DIB is invalid", Case::invalid},
      {"wrong signature", Bytes(20, 'X'), "DIB is invalid", Case::invalid},
      {"header size 20", bmp(TBuilder{}.u32(20).u32(0).u32(0).u32(0).u32(0).b), "DIB is invalid",
       Case::invalid},
      {"partial header size", bmp(Bytes{40, 0}), "DIB is invalid", Case::invalid},
      {"truncated info header", bmp(Bytes{40, 0, 0, 0, 1, 0}), "Stream read error", Case::read},
      {"compression 4", bmp(InfoHeader(1, 1, 24, 4)), "DIB is invalid", Case::invalid},
      {"RLE8 at 4 bits", bmp(withTable(InfoHeader(2, 2, 4, BI_RLE8, 2), 16)), "DIB is invalid",
       Case::invalid},
      {"RLE4 at 8 bits", bmp(withTable(InfoHeader(2, 2, 8, BI_RLE4, 2), 256)), "DIB is invalid",
       Case::invalid},
      {"negative width", bmp(InfoHeader(-4, 1, 24, BI_RGB)), "DIB is invalid", Case::invalid},
      {"lowest height", bmp(InfoHeader(1, INT32_MIN, 24, BI_RGB)), "DIB is invalid", Case::invalid},
      {"bit count 15", bmp(InfoHeader(1, 1, 15, BI_RGB)), "Bitcount in invalid (15)",
       Case::operation},
      {"bit count 0", bmp(withTable(InfoHeader(1, 1, 0, BI_RGB), 1)), "Bitcount in invalid (0)",
       Case::operation},
      {"16 bits with 8-8-8 masks",
       bmp(TBuilder{}
               .raw(InfoHeader(1, 1, 16, BI_BITFIELDS))
               .u32(0xFF0000)
               .u32(0xFF00)
               .u32(0xFF)
               .u32(0)
               .b),
       "PixelFormat in invalid", Case::operation},
      {"32 bits with 5-6-5 masks",
       bmp(TBuilder{}
               .raw(InfoHeader(1, 1, 32, BI_BITFIELDS))
               .u32(0xF800)
               .u32(0x7E0)
               .u32(0x1F)
               .u32(0)
               .b),
       "PixelFormat in invalid", Case::operation},
      {"masks cut short", bmp(TBuilder{}.raw(InfoHeader(1, 1, 16, BI_BITFIELDS)).u32(0xF800).b),
       "Stream read error", Case::read},
      {"colour table cut short", bmp(withTable(InfoHeader(1, 1, 8, BI_RGB), 100)),
       "Stream read error", Case::read},
      {"pixels cut short", bmp(TBuilder{}.raw(InfoHeader(2, 2, 24, BI_RGB)).u32(0).u32(0).b),
       "Stream read error", Case::read},
      {"top-down pixels cut short",
       bmp(TBuilder{}.raw(InfoHeader(2, -2, 24, BI_RGB)).u32(0).u32(0).b), "Stream read error",
       Case::read},
      {"huge picture, no pixels", bmp(InfoHeader(0x7FFFFFFF, 0x7FFFFFFF, 32, BI_RGB)),
       "DIB is invalid: 2147483647 x 2147483647 pixels of 32 bits are more than 67108864 bytes",
       Case::invalid},
      {"RLE size beyond the data", bmp(withTable(InfoHeader(2, 2, 8, BI_RLE8, 1000), 256)),
       "Stream read error", Case::read},
      {"RLE of a huge picture",
       bmp(TBuilder{}
               .raw(withTable(InfoHeader(0x7FFFFFF0, 0x7FFFFFF0, 8, BI_RLE8, 2), 256))
               .u16(0x100)
               .b),
       "DIB is invalid: 2147483632 x 2147483632 pixels of 8 bits are more than 67108864 bytes",
       Case::invalid},
  };
  for (const Case& c : cases) {
    TDIB d;
    d.SetSize(1, 1, 8);
    d.SetPixel(0, 0, 42);
    const auto load = [&] { Load(d, c.bytes); };
    switch (c.kind) {
      case Case::invalid:
        ExpectRaises<EInvalidGraphic>(load, c.message);
        break;
      case Case::operation:
        ExpectRaises<EInvalidGraphicOperation>(load, c.message);
        break;
      case Case::read:
        ExpectRaises<EReadError>(load, c.message);
        break;
      case Case::memory:
        ExpectRaises<EOutOfMemory>(load, c.message);
        break;
    }
    // A failed load leaves the bitmap as it was.
    EXPECT_EQ(d.Width(), 1) << c.name;
    EXPECT_EQ(d.GetPixel(0, 0), 42) << c.name;
  }
}

TEST(DIBStream, DIBPropertyOfComponentStreams) {
  TDIB source;
  source.SetSize(2, 2, 24);
  source.SetPixel(1, 0, 0x445566);
  const Bytes bmp = Save(source);
  TMemoryStream s;
  {
    TWriter w(s);
    w.WritePropName("DIB");
    w.WriteBinaryValue(bmp.data(), bmp.size());
    w.WriteListEnd();
  }
  s.SetPosition(0);
  TDIB d;
  TReader r(s);
  r.ReadProperties(d);
  EXPECT_EQ(d.GetPixel(1, 0), 0x445566);
}

// ---- JPEG ---------------------------------------------------------------------------------

// A 16 x 8 picture: left half red, right half blue, encoded by libjpeg.
Bytes MakeJPEG() {
  const int w = 16, h = 8;
  const int pitch = w * 3;
  Bytes rows(static_cast<size_t>(pitch * h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &rows[static_cast<size_t>(y * pitch + x * 3)];
      if (x < 8) {
        p[0] = 0, p[1] = 0, p[2] = 255;  // blue, green, red
      } else {
        p[0] = 255, p[1] = 0, p[2] = 0;
      }
    }
  TJPEGImage j;
  j.CompressionQuality = 95;
  j.SetPixels(w, h, rows);
  TMemoryStream s;
  j.SaveToStream(s);
  return s.Bytes();
}

void ExpectJPEGPixels(TDIB& d) {
  ASSERT_EQ(d.Width(), 16);
  ASSERT_EQ(d.Height(), 8);
  EXPECT_EQ(d.BitCount(), 24);
  const auto near = [](int32_t v, int r, int g, int b) {
    const int pr = v & 0xFF, pg = (v >> 8) & 0xFF,
              pb = (v >> 16) & 0xFF;  // stored blue, green, red
    return std::abs(pr - r) <= 24 && std::abs(pg - g) <= 24 && std::abs(pb - b) <= 24;
  };
  for (int y = 0; y < 8; ++y) {
    EXPECT_TRUE(near(d.GetPixel(2, y), 255, 0, 0)) << std::hex << d.GetPixel(2, y);
    EXPECT_TRUE(near(d.GetPixel(13, y), 0, 0, 255)) << std::hex << d.GetPixel(13, y);
  }
}

TEST(DIBJPEG, LoadsThroughLoadFromStream) {
  const Bytes jpeg = MakeJPEG();
  ASSERT_GE(jpeg.size(), 14u);
  ASSERT_EQ(jpeg[0], 0xFF);
  ASSERT_EQ(jpeg[1], 0xD8);
  TDIB d;
  Load(d, jpeg);
  ExpectJPEGPixels(d);
}

TEST(DIBJPEG, JPEGImageDrawsOnACanvas) {
  const Bytes jpeg = MakeJPEG();
  TJPEGImage j;
  TByteStream s(jpeg.data(), jpeg.size());
  j.LoadFromStream(s);
  TDIB d;
  d.SetSize(16, 8, 24);
  d.Canvas()->Draw(0, 0, &j);
  ExpectJPEGPixels(d);
}

TEST(DIBJPEG, DecodesFromWhereTheDataStarts) {
  // The JPEG sits behind other data; the position is at its start.
  Bytes all{'j', 'u', 'n', 'k'};
  const Bytes jpeg = MakeJPEG();
  all.insert(all.end(), jpeg.begin(), jpeg.end());
  all.insert(all.end(), {1, 2, 3});
  TByteStream s(all.data(), all.size());
  s.SetPosition(4);
  TDIB d;
  d.LoadFromStream(s);
  ExpectJPEGPixels(d);
  // The stream is left right behind the JPEG data.
  EXPECT_EQ(s.Position(), static_cast<int64_t>(4 + jpeg.size()));
}

TEST(DIBJPEG, BadDataRaisesAndKeepsTheBitmap) {
  Bytes jpeg = MakeJPEG();
  const Bytes cases[] = {
      Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},  // segment length 0
      Bytes(jpeg.begin(), jpeg.begin() + 20),                       // headers cut short
      [&] {
        Bytes b = jpeg;
        for (size_t i = 2; i < 40 && i < b.size(); ++i) b[i] = 0xFF;  // markers destroyed
        return b;
      }(),
  };
  for (const Bytes& bad : cases) {
    TDIB d;
    d.SetSize(1, 1, 8);
    d.SetPixel(0, 0, 5);
    EXPECT_THROW(Load(d, bad), EInvalidGraphic);
    EXPECT_EQ(d.Width(), 1);
    EXPECT_EQ(d.GetPixel(0, 0), 5);
  }
}

// ---- Depth conversion ------------------------------------------------------------------------

TEST(DIBConvert, IndexCopiesKeepIndexesAndColours) {
  TDIB d;
  d.ColorTable[0] = RGBQuad(12, 34, 56);
  d.ColorTable[1] = RGBQuad(200, 100, 50);
  d.SetSize(11, 2, 1);
  FillPattern(d);
  const std::vector<int32_t> indexes = AllPixels(d);
  for (int to : {4, 8}) {
    TDIB c;
    c.Assign(&d);
    c.SetBitCount(to);
    EXPECT_EQ(c.BitCount(), to);
    EXPECT_EQ(AllPixels(c), indexes) << to;
    EXPECT_EQ(c.ColorTable[0], RGBQuad(12, 34, 56));
    EXPECT_EQ(c.ColorTable[1], RGBQuad(200, 100, 50));
  }
  EXPECT_EQ(AllPixels(d), indexes);  // the source is untouched
}

TEST(DIBConvert, PaletteReduction) {
  TDIB d;
  d.SetSize(4, 1, 24);
  d.SetPixel(0, 0, 0x0000FF);  // stored blue, green, red: red
  d.SetPixel(1, 0, 0x00FF00);  // green
  d.SetPixel(2, 0, 0xFF0000);  // blue
  d.SetPixel(3, 0, 0xFFFFFF);
  TDIB c;
  c.Assign(&d);
  c.SetBitCount(8);
  EXPECT_EQ(c.ColorTable[255], RGBQuad(255, 255, 255));
  EXPECT_EQ(c.ColorTable[0xE0], RGBQuad(255, 0, 0));
  EXPECT_EQ(c.ColorTable[0x1C], RGBQuad(0, 255, 0));
  EXPECT_EQ(c.ColorTable[3], RGBQuad(0, 0, 255));
  EXPECT_EQ(AllPixels(c), (std::vector<int32_t>{0xE0, 0x1C, 0x03, 0xFF}));

  TDIB four;
  four.Assign(&d);
  four.SetBitCount(4);
  EXPECT_EQ(four.ColorTable[8], RGBQuad(255, 0, 0));
  EXPECT_EQ(AllPixels(four), (std::vector<int32_t>{8, 6, 1, 15}));

  TDIB one;
  one.Assign(&d);
  one.SetBitCount(1);
  EXPECT_EQ(one.ColorTable[1], RGBQuad(255, 255, 255));
  // Pure green is nearer to black than to white.
  EXPECT_EQ(AllPixels(one), (std::vector<int32_t>{0, 0, 0, 1}));
}

TEST(DIBConvert, ColourConversions) {
  struct Case {
    int fromBits;
    TPixelLayout from;
    int32_t pixel;
    int toBits;
    TPixelLayout to;
    int32_t expected;
  };
  const Case cases[] = {
      {16, Layout555(), 0x7FFF, 24, Layout888(), 0xFFFFFF},
      {16, Layout565(), 0xF800, 24, Layout888(), 0x0000FF},  // red: stored blue, green, red
      {24, Layout888(), 0x0080FF, 16, Layout565(), 0xFC00},  // 255, 128, 0
      {16, Layout555(), 0x7C00, 16, Layout565(), 0xF800},
      {16, Layout565(), 0x07E0, 16, Layout555(), 0x03E0},
      {24, Layout888(), 0x332211, 32, Layout888(), 0x112233},
      {32, Layout888(), static_cast<int32_t>(0xFF112233), 24, Layout888(), 0x332211},
      {16, Layout565(), 0xFFFF, 32, Layout888(), 0xFFFFFF},
  };
  for (const Case& c : cases) {
    TDIB d;
    d.PixelFormat = c.from;
    d.SetSize(1, 1, c.fromBits);
    d.SetPixel(0, 0, c.pixel);
    d.PixelFormat = c.to;
    d.SetBitCount(c.toBits);
    EXPECT_EQ(d.BitCount(), c.toBits);
    EXPECT_EQ(d.GetPixel(0, 0), c.expected)
        << c.fromBits << " -> " << c.toBits << " " << std::hex << c.pixel;
  }
  // An 8-bit source goes through its colour table.
  TDIB idx;
  idx.ColorTable[7] = RGBQuad(1, 2, 3);
  idx.SetSize(1, 1, 8);
  idx.SetPixel(0, 0, 7);
  idx.SetBitCount(24);
  EXPECT_EQ(idx.GetPixel(0, 0), 0x030201);
}

TEST(DIBConvert, SameDepthKeepsTheImageShared) {
  TDIB d;
  d.SetSize(2, 2, 24);
  TDIB c;
  c.Assign(&d);
  c.ConvertBitCount(24);
  EXPECT_EQ(c.Image(), d.Image());
  TDIB empty;
  empty.ConvertBitCount(8);
  EXPECT_TRUE(empty.Empty());
}

TEST(DIBConvert, LeavingSixteenBitsNeedsNoLayoutChange) {
  // The bitmap's layout is still 5-6-5 from its image; going to 24 or 8 bits
  // works all the same.
  TDIB d;
  d.PixelFormat = Layout565();
  d.SetSize(1, 1, 16);
  d.SetPixel(0, 0, 0xFFFF);
  TDIB c;
  c.Assign(&d);
  c.SetBitCount(24);
  EXPECT_EQ(c.GetPixel(0, 0), 0xFFFFFF);
  c.Assign(&d);
  c.SetBitCount(8);
  EXPECT_EQ(c.GetPixel(0, 0), 0xFF);
  // And 24 bits to 16 takes 5-5-5 when no 16-bit layout was asked for.
  TDIB t;
  t.SetSize(1, 1, 24);
  t.SetPixel(0, 0, 0xFFFFFF);
  t.SetBitCount(16);
  EXPECT_EQ(t.GetPixel(0, 0), 0x7FFF);
}

TEST(DIBConvert, BitfieldColorTable) {
  TDIB d;
  d.MakeBitfieldColorTable(3, 3, 2);
  EXPECT_EQ(d.ColorTable[0xE0], RGBQuad(255, 0, 0));
  EXPECT_EQ(d.ColorTable[0x20], RGBQuad(36, 0, 0));
  EXPECT_EQ(d.ColorTable[0x01], RGBQuad(0, 0, 85));
  d.MakeBitfieldColorTable(1, 2, 1);
  EXPECT_EQ(d.ColorTable[0x0F], RGBQuad(255, 255, 255));
  EXPECT_EQ(d.ColorTable[0x02], RGBQuad(0, 85, 0));
  EXPECT_EQ(d.ColorTable[0x10], RGBQuad(0, 0, 0));  // bits above the layout are dropped
}

// ---- Resampling --------------------------------------------------------------------------------

TEST(DIBResample, Kernels) {
  struct Case {
    TResampleFilter f;
    float x, expected;
  };
  const Case cases[] = {
      {rfBox, 0.5f, 1.0f},
      {rfBox, -0.5f, 0.0f},
      {rfTriangle, 0.25f, 0.75f},
      {rfHermite, 0.5f, 0.5f},
      {rfBell, 1.0f, 0.125f},
      {rfBSpline, 0.0f, 2.0f / 3.0f},
      {rfBSpline, 1.0f, 1.0f / 6.0f},
      {rfLanczos3, 0.0f, 1.0f},
      {rfLanczos3, 1.0f, 0.0f},
      {rfMitchell, 0.0f, 8.0f / 9.0f},
      {rfMitchell, 1.0f, 1.0f / 18.0f},
      {rfMitchell, 2.0f, 0.0f},
  };
  for (const Case& c : cases)
    EXPECT_NEAR(FilterKernel(c.f, c.x), c.expected, 1e-5f) << int(c.f) << " " << c.x;
  EXPECT_EQ(FilterSupport(rfLanczos3), 3.0f);
  EXPECT_EQ(FilterSupport(rfBell), 1.5f);
}

TEST(DIBResample, SameSizeWithTriangleIsIdentity) {
  TDIB d;
  d.SetSize(4, 4, 24);
  FillPattern(d);
  const std::vector<int32_t> before = AllPixels(d);
  d.Resize(4, 4, rfTriangle);
  EXPECT_EQ(AllPixels(d), before);
}

TEST(DIBResample, SizesAndColours) {
  struct Case {
    const char* name;
    int sw, sh, dw, dh;
    TResampleFilter filter;
  };
  // A flat colour must come out flat whatever the filter and the scale.
  const Case cases[] = {
      {"box 1x1 to 3x3", 1, 1, 3, 3, rfBox},       {"triangle enlarge", 3, 2, 7, 5, rfTriangle},
      {"hermite shrink", 9, 7, 3, 2, rfHermite},   {"bell enlarge", 2, 2, 5, 5, rfBell},
      {"bspline shrink", 8, 8, 3, 3, rfBSpline},   {"lanczos one column", 1, 4, 5, 4, rfLanczos3},
      {"lanczos shrink", 10, 3, 4, 3, rfLanczos3}, {"mitchell enlarge", 3, 3, 8, 8, rfMitchell},
      {"to one column", 6, 4, 1, 4, rfTriangle},   {"to one row", 4, 6, 4, 1, rfMitchell},
      {"to one pixel", 5, 5, 1, 1, rfLanczos3},    {"one row", 6, 1, 3, 1, rfBell},
  };
  for (const Case& c : cases) {
    TDIB d;
    d.SetSize(c.sw, c.sh, 24);
    for (int y = 0; y < c.sh; ++y)
      for (int x = 0; x < c.sw; ++x) d.SetPixel(x, y, 0x4080C0);
    d.Resize(c.dw, c.dh, c.filter);
    ASSERT_EQ(d.Width(), c.dw) << c.name;
    ASSERT_EQ(d.Height(), c.dh) << c.name;
    EXPECT_EQ(d.BitCount(), 24);
    for (int32_t v : AllPixels(d)) {
      EXPECT_NEAR(v & 0xFF, 0xC0, 6) << c.name;
      EXPECT_NEAR((v >> 8) & 0xFF, 0x80, 6) << c.name;
      EXPECT_NEAR((v >> 16) & 0xFF, 0x40, 6) << c.name;
    }
  }
}

TEST(DIBResample, OnePixelWideResultIsTheAverage) {
  TDIB d;
  d.SetSize(4, 1, 24);
  const int32_t values[] = {0x000000, 0x000040, 0x000080, 0x0000C0};
  for (int x = 0; x < 4; ++x) d.SetPixel(x, 0, values[x]);
  d.Resize(1, 1, rfBox);
  EXPECT_EQ(d.GetPixel(0, 0), 0x000060);
}

TEST(DIBResample, EnlargingInterpolatesBetweenEnds) {
  TDIB d;
  d.SetSize(2, 1, 24);
  d.SetPixel(0, 0, 0x000000);
  d.SetPixel(1, 0, 0x0000C8);  // stored red 200 in the low byte
  d.Resize(5, 1, rfTriangle);
  EXPECT_EQ(AllPixels(d), (std::vector<int32_t>{0x00, 0x32, 0x64, 0x96, 0xC8}));
}

TEST(DIBResample, EmptySourceRaises) {
  TDIB d;
  ExpectRaises<Exception>([&] { d.Resize(4, 4, rfBox); }, "Source bitmap too small");
  TDIB small;
  small.SetSize(2, 2, 8);
  small.Resize(0, 3, rfBox);
  EXPECT_TRUE(small.Empty());
}

// ---- Canvas, clipboard and the registry ---------------------------------------------------------

TEST(DIBCanvas, DrawingUnsharesAndDrawsIntoTheRows) {
  TDIB a;
  a.SetSize(4, 4, 24);
  TDIB b;
  b.Assign(&a);
  TCanvas* canvas = b.Canvas();
  ASSERT_NE(canvas, nullptr);
  canvas->Brush()->SetColor(clRed);
  canvas->FillRect(TRect{0, 0, 2, 2});
  EXPECT_EQ(b.GetPixel(1, 1), 0x0000FF);  // stored blue, green, red
  EXPECT_EQ(b.GetPixel(2, 2), 0);
  EXPECT_EQ(a.GetPixel(1, 1), 0);  // the copy it shared with is untouched

  // One bitmap drawn onto another through its canvas.
  TDIB dest;
  dest.SetSize(8, 8, 24);
  dest.Canvas()->StretchDraw(TRect{0, 0, 8, 8}, &b);
  EXPECT_EQ(dest.GetPixel(0, 0), 0x0000FF);
  EXPECT_EQ(dest.GetPixel(7, 7), 0);

  // Index bitmaps draw through their colour table, compressed ones too.
  TDIB mono;
  mono.ColorTable[1] = RGBQuad(0, 255, 0);
  mono.SetSize(9, 1, 1);
  mono.SetPixel(8, 0, 1);
  TDIB wide;
  wide.SetSize(16, 6, 24);
  wide.Canvas()->Draw(0, 0, &mono);
  EXPECT_EQ(wide.GetPixel(8, 0), 0x00FF00);
  EXPECT_EQ(wide.GetPixel(7, 0), 0);

  const Bytes rle{0x02, 0x01, 0x00, 0x01};
  Bytes body = InfoHeader(2, 1, 8, BI_RLE8, static_cast<uint32_t>(rle.size()));
  TBuilder table;
  table.u32(0).u32(0x00FF0000);  // entry 1: red
  body.insert(body.end(), table.b.begin(), table.b.end());
  body.resize(body.size() + 254 * 4, 0);
  body.insert(body.end(), rle.begin(), rle.end());
  TDIB packed;
  TByteStream s(body.data(), body.size());
  packed.ReadData(s);
  wide.Canvas()->Draw(0, 4, &packed);
  EXPECT_EQ(wide.GetPixel(1, 4), 0x0000FF);
  EXPECT_TRUE(packed.Image()->Compressed);  // drawing does not expand it
}

TEST(DIBCanvas, IndexBitmapsDrawThroughTheTargetsColourTable) {
  // Colours are matched against the target's own table, as a realised
  // palette would do: a target with the same table receives the very
  // indexes, duplicate entries included; any other gets the nearest entries.
  TDIB source;
  source.ColorTable[1] = RGBQuad(10, 20, 30);
  source.ColorTable[2] = RGBQuad(10, 20, 30);
  source.ColorTable[3] = RGBQuad(200, 0, 0);
  source.SetSize(3, 1, 8);
  for (int x = 0; x < 3; ++x) source.SetPixel(x, 0, x + 1);

  TDIB same;
  same.ColorTable = source.ColorTable;
  same.SetSize(3, 1, 8);
  same.Canvas()->Draw(0, 0, &source);
  EXPECT_EQ(AllPixels(same), (std::vector<int32_t>{1, 2, 3}));

  TDIB other;
  other.ColorTable.fill(RGBQuad(255, 255, 255));
  other.ColorTable[5] = RGBQuad(12, 20, 30);
  other.ColorTable[9] = RGBQuad(190, 0, 0);
  other.SetSize(3, 1, 8);
  other.Canvas()->Draw(0, 0, &source);
  EXPECT_EQ(AllPixels(other), (std::vector<int32_t>{5, 5, 9}));
}

// Any graphic that is not a bitmap: it fills what it is drawn into.
class TSolidGraphic : public TGraphic {
 public:
  TSolidGraphic(int32_t W, int32_t H, TColor C) : w_(W), h_(H), c_(C) {}
  bool GetEmpty() const override { return w_ == 0; }
  int32_t GetWidth() const override { return w_; }
  int32_t GetHeight() const override { return h_; }
  void SetWidth(int32_t) override {}
  void SetHeight(int32_t) override {}
  void Draw(TCanvas* ACanvas, const TRect& Rect) override {
    ACanvas->Handle()->FillSolid(Rect, c_);
  }
  void LoadFromStream(TStream&) override {}
  void SaveToStream(TStream&) override {}

 private:
  int32_t w_, h_;
  TColor c_;
};

TEST(DIBCanvas, OtherGraphicsAreDrawnIntoTwentyFourBits) {
  // Even over a 5-6-5 image, whose layout the bitmap still carries.
  TDIB d;
  d.PixelFormat = Layout565();
  d.SetSize(2, 2, 16);
  TSolidGraphic red(3, 2, clRed);
  d.Assign(&red);
  EXPECT_EQ(d.BitCount(), 24);
  EXPECT_EQ(d.Width(), 3);
  EXPECT_EQ(AllPixels(d), std::vector<int32_t>(6, 0x0000FF));  // stored blue, green, red
}

TEST(DIBClipboard, RoundTripThroughTheClipboard) {
  TDIB d;
  d.SetSize(3, 2, 8);
  d.ColorTable[5] = RGBQuad(9, 8, 7);
  d.UpdatePalette();
  d.SetPixel(2, 1, 5);
  uint16_t format = 0;
  TClipboardData data;
  TPaletteHandle palette = nullptr;
  d.SaveToClipboardFormat(format, data, palette);
  EXPECT_EQ(format, CF_DIB);
  ASSERT_TRUE(OpenClipboard());
  EmptyClipboard();
  SetClipboardData(format, data);
  CloseClipboard();

  ASSERT_TRUE(OpenClipboard());
  TClipboardData got = GetClipboardData(CF_DIB);
  CloseClipboard();
  TPicture picture;
  picture.LoadFromClipboardFormat(CF_DIB, got, nullptr);
  auto* back = dynamic_cast<TDIB*>(picture.Graphic());
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->GetPixel(2, 1), 5);
  EXPECT_EQ(back->ColorTable[5], RGBQuad(9, 8, 7));
}

TEST(GraphicRegistry, ClassesAndExtensions) {
  RegisterDIBGraphicClass();
  const TGraphicClass* c = FindGraphicClass("TDIB");
  ASSERT_NE(c, nullptr);
  EXPECT_STREQ(c->Create()->ClassName(), "TDIB");
  EXPECT_EQ(FindGraphicClass("tdib"), nullptr);  // exact names only
  EXPECT_EQ(TPicture::FileFormatClass("DIB"), "TDIB");
  EXPECT_EQ(TPicture::FileFormatDescription("dib"), "Device Independent Bitmap");
  EXPECT_EQ(TPicture::FileFormatClass("jpg"), "TJPEGImage");

  // The last registered class of a name is found first, and unregistering
  // it brings the earlier one back.
  struct TOther : TDIB {
    const char* ClassName() const override { return "TOtherDIB"; }
  };
  RegisterGraphicClass("TDIB", [] { return std::make_unique<TOther>(); });
  EXPECT_STREQ(FindGraphicClass("TDIB")->Create()->ClassName(), "TOtherDIB");
  TPicture::UnregisterGraphicClass("TDIB");
  EXPECT_EQ(FindGraphicClass("TDIB"), nullptr);
  RegisterGraphicClass("TDIB", [] { return std::make_unique<TDIB>(); });
  TPicture::RegisterFileFormat("dib", "Device Independent Bitmap", "TDIB");
  TPicture::RegisterClipboardFormat(CF_DIB, "TDIB");
}

TEST(GraphicRegistry, PictureLoadsFilesByExtension) {
  const std::string path = ::testing::TempDir() + "dib_test_picture.dib";
  TDIB d;
  d.SetSize(2, 3, 24);
  d.SetPixel(1, 2, 0x123456);
  d.SaveToFile(path);
  TPicture p;
  p.LoadFromFile(path);
  ASSERT_NE(p.Graphic(), nullptr);
  EXPECT_EQ(p.Width(), 2);
  TDIB back;
  back.Assign(&p);
  EXPECT_EQ(back.GetPixel(1, 2), 0x123456);
  std::remove(path.c_str());
  ExpectRaises<EInvalidGraphic>([&] { p.LoadFromFile("picture.xyz"); },
                                "Unknown picture file extension (.xyz)");
}

}  // namespace
