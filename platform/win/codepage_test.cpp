#include "platform/win/codepage.h"

#include <gtest/gtest.h>

namespace {

TEST(CodePage, EveryByteRoundTripsAndCyrillicMapsBothWays) {
  for (int b = 0; b < 256; ++b) {
    char back;
    ASSERT_TRUE(CodeToAnsi(AnsiToCode(static_cast<uint8_t>(b)), back)) << b;
    EXPECT_EQ(static_cast<uint8_t>(back), b);
  }
  const struct {
    uint8_t Ansi;
    char32_t Code;
  } pairs[] = {{0xC0, 0x0410}, {0xFF, 0x044F}, {0xA8, 0x0401}, {0xB8, 0x0451},
               {0xB3, 0x0456}, {0xB2, 0x0406}, {0xBA, 0x0454}, {0xBF, 0x0457},
               {0x88, 0x20AC}, {0xB9, 0x2116}, {0x41, 0x41}};
  for (const auto& p : pairs) EXPECT_EQ(AnsiToCode(p.Ansi), p.Code) << int(p.Ansi);
  char c;
  EXPECT_FALSE(CodeToAnsi(0x00E9, c));  // é has no place in the code page
  EXPECT_EQ(Utf8ToAnsi("\xD1\x96\xD0\x96 \xC3\xA9"), "\xB3\xC6 ?");
  EXPECT_EQ(AnsiToUtf8("\xCD\xE5 \xE9"), "\xD0\x9D\xD0\xB5 \xD0\xB9");
}

}  // namespace
