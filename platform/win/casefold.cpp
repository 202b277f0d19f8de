#include "platform/win/casefold.h"

#include <array>

namespace {
// constexpr, so the table is ready before any static initialiser folds a name.
constexpr std::array<uint8_t, 256> BuildTable() {
  std::array<uint8_t, 256> t{};
  for (int i = 0; i < 256; ++i) t[i] = static_cast<uint8_t>(i);
  for (int c = 'A'; c <= 'Z'; ++c) t[c] = static_cast<uint8_t>(c + 32);
  // Cyrillic capitals of code page 1251 (some of the game's texts are Russian).
  for (int c = 0xC0; c <= 0xDF; ++c) t[c] = static_cast<uint8_t>(c + 32);
  t[0xA8] = 0xB8;  // YO
  t[0x80] = 0x90;
  t[0x81] = 0x83;
  t[0x8A] = 0x9A;
  t[0x8C] = 0x9C;
  t[0x8D] = 0x9D;
  t[0x8E] = 0x9E;
  t[0x8F] = 0x9F;
  t[0xA1] = 0xA2;
  t[0xA3] = 0xBC;
  t[0xA5] = 0xB4;
  t[0xAA] = 0xBA;
  t[0xAF] = 0xBF;
  t[0xB2] = 0xB3;
  t[0xBD] = 0xBE;
  return t;
}
constexpr std::array<uint8_t, 256> kFold = BuildTable();
}  // namespace

uint8_t CaseFold(uint8_t c) {
  return kFold[c];
}

bool SameFolded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (kFold[static_cast<uint8_t>(a[i])] != kFold[static_cast<uint8_t>(b[i])]) return false;
  return true;
}
