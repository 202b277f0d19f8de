// The one case-fold table of the program: name hashing, case-insensitive
// comparison and lower-casing all go through it, so a name that compares
// equal always hashes equal. Letters of code page 1251 fold as well.
#pragma once

#include <cstdint>

uint8_t CaseFold(uint8_t c);
