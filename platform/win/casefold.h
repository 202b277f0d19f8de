// The one case-fold table of the program: name hashing, case-insensitive
// comparison and lower-casing all go through it, so a name that compares
// equal always hashes equal. Letters of code page 1251 fold as well.
#pragma once

#include <cstdint>
#include <string_view>

uint8_t CaseFold(uint8_t c);
// Equal under CaseFold, character by character.
bool SameFolded(std::string_view a, std::string_view b);
