// The programs' 8-bit text is in code page 1251 (ASCII and Cyrillic). This
// is the one table between it and Unicode: window titles, message boxes and
// canvas text go out through it and typed text comes back through it.
#pragma once

#include <cstdint>
#include <string>

// The code point of a byte. Every byte has one, so text survives a round trip.
char32_t AnsiToCode(uint8_t c);
// The byte of a code point; false when the code page has none.
bool CodeToAnsi(char32_t u, char& Ansi);
// The same with '?' for a code point the code page lacks.
char CodeToAnsi(char32_t u);

std::string AnsiToUtf8(const std::string& Ansi);
// Stray or cut-off bytes and characters outside the code page become '?'.
std::string Utf8ToAnsi(const std::string& Utf8);
std::string WideToAnsi(const std::u16string& Wide);
