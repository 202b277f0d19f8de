#include "platform/win/codepage.h"

#include <array>

namespace {

// Code page 1251, 0x80..0xBF; 0xC0..0xFF are U+0410..U+044F. 0x98 is unused
// in the code page and maps to itself so every byte survives a round trip.
constexpr std::array<char16_t, 64> kCp1251High = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
    0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
    0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
    0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
    0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
};

}  // namespace

char32_t AnsiToCode(uint8_t c) {
  if (c < 0x80) return c;
  if (c < 0xC0) return kCp1251High[c - 0x80];
  return 0x0410 + (c - 0xC0);
}

bool CodeToAnsi(char32_t u, char& Ansi) {
  if (u < 0x80) {
    Ansi = static_cast<char>(u);
    return true;
  }
  if (u >= 0x0410 && u <= 0x044F) {
    Ansi = static_cast<char>(0xC0 + (u - 0x0410));
    return true;
  }
  for (size_t i = 0; i < kCp1251High.size(); ++i)
    if (kCp1251High[i] == u) {
      Ansi = static_cast<char>(0x80 + i);
      return true;
    }
  return false;
}

char CodeToAnsi(char32_t u) {
  char c;
  return CodeToAnsi(u, c) ? c : '?';
}

// ---- Text ------------------------------------------------------------------

std::string AnsiToUtf8(const std::string& Ansi) {
  std::string out;
  for (unsigned char c : Ansi) {
    char32_t u = AnsiToCode(c);
    if (u < 0x80) {
      out += static_cast<char>(u);
    } else if (u < 0x800) {
      out += static_cast<char>(0xC0 | (u >> 6));
      out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (u >> 12));
      out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  return out;
}

std::string Utf8ToAnsi(const std::string& Utf8) {
  std::string out;
  size_t i = 0, n = Utf8.size();
  while (i < n) {
    auto c = static_cast<unsigned char>(Utf8[i]);
    int len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (len == 0 || i + static_cast<size_t>(len) > n) {
      out += '?';  // a stray or cut-off byte
      ++i;
      continue;
    }
    char32_t u = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
    bool ok = true;
    for (int k = 1; k < len; ++k) {
      auto d = static_cast<unsigned char>(Utf8[i + static_cast<size_t>(k)]);
      if ((d & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      u = (u << 6) | (d & 0x3F);
    }
    if (!ok) {
      out += '?';
      ++i;
      continue;
    }
    out += CodeToAnsi(u);
    i += static_cast<size_t>(len);
  }
  return out;
}

std::string WideToAnsi(const std::u16string& Wide) {
  std::string out;
  for (size_t i = 0; i < Wide.size(); ++i) {
    char32_t u = Wide[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < Wide.size() && Wide[i + 1] >= 0xDC00 &&
        Wide[i + 1] <= 0xDFFF) {
      ++i;
      out += '?';  // outside the basic plane: nothing in code page 1251
      continue;
    }
    out += CodeToAnsi(u);
  }
  return out;
}
