#include "platform/gdi/pixel_access.h"

#include <gtest/gtest.h>

#include <vector>

// Every depth stores the bytes that bitmaps and surfaces expect, reads back
// what it wrote, and a packed pixel leaves its neighbours alone.
TEST(PixelAccess, EachDepthStoresItsBytesAndKeepsItsNeighbours) {
  struct TCase {
    int32_t Bits;
    int64_t X;
    uint32_t Value;
    std::vector<uint8_t> Row;  // a row of 0xFF after writing Value at X
  };
  const TCase cases[] = {
      {1, 2, 0, {0xDF}},
      {4, 1, 0x3, {0xF3}},
      {4, 0, 0x3, {0x3F}},
      {8, 1, 0x12, {0xFF, 0x12}},
      {16, 1, 0x1234, {0xFF, 0xFF, 0x34, 0x12}},
      // Blue, green, red in memory: red is the high byte, as at 32 bits.
      {24, 1, 0x00112233, {0xFF, 0xFF, 0xFF, 0x33, 0x22, 0x11}},
      {32, 0, 0xAA112233, {0x33, 0x22, 0x11, 0xAA}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Bits);
    std::vector<uint8_t> row(c.Row.size(), 0xFF);
    WriteRowPixel(row.data(), c.X, c.Bits, c.Value);
    EXPECT_EQ(row, c.Row);
    EXPECT_EQ(ReadRowPixel(row.data(), c.X, c.Bits), c.Value);
  }
}

TEST(PixelAccess, OtherDepthsReadZeroAndWriteNothing) {
  uint8_t row[4] = {1, 2, 3, 4};
  WriteRowPixel(row, 0, 2, 0xFFFFFFFF);
  WriteRowPixel(row, 0, 12, 0xFFFFFFFF);
  EXPECT_EQ(row[0], 1);
  EXPECT_EQ(ReadRowPixel(row, 0, 12), 0u);
  // The bitmap's own 24-bit values put the first byte high.
  EXPECT_EQ(SwapPixel24(0x00112233), 0x00332211u);
}
