// The one way to read and write a pixel of N bits inside a row of memory.
// 1- and 4-bit pixels are packed most significant bits first; 8, 16, 24 and
// 32 bits are little-endian, so a 24-bit pixel stored as the bytes blue,
// green, red reads as 0x00RRGGBB, as a 32-bit one does. Other bit counts read
// 0 and write nothing.
#pragma once

#include <cstdint>
#include <cstring>

inline uint32_t ReadRowPixel(const uint8_t* Row, int64_t X, int32_t BitCount) {
  switch (BitCount) {
    case 1:
      return (Row[X >> 3] >> (7 - (X & 7))) & 1u;
    case 4:
      return (X & 1) ? (Row[X >> 1] & 0x0Fu) : (Row[X >> 1] >> 4);
    case 8:
      return Row[X];
    case 16: {
      const uint8_t* p = Row + 2 * X;
      return static_cast<uint32_t>(p[0] | (p[1] << 8));
    }
    case 24: {
      const uint8_t* p = Row + 3 * X;
      return static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16));
    }
    case 32: {
      uint32_t v;
      std::memcpy(&v, Row + 4 * X, 4);
      return v;
    }
    default:
      return 0;
  }
}

// Writes the low BitCount bits of Value; a packed pixel keeps its neighbours.
inline void WriteRowPixel(uint8_t* Row, int64_t X, int32_t BitCount, uint32_t Value) {
  switch (BitCount) {
    case 1: {
      const auto bit = static_cast<uint8_t>(0x80 >> (X & 7));
      uint8_t& b = Row[X >> 3];
      b = static_cast<uint8_t>((Value & 1) ? (b | bit) : (b & ~bit));
      break;
    }
    case 4: {
      uint8_t& b = Row[X >> 1];
      b = (X & 1) ? static_cast<uint8_t>((b & 0xF0) | (Value & 0x0F))
                  : static_cast<uint8_t>((b & 0x0F) | ((Value & 0x0F) << 4));
      break;
    }
    case 8:
      Row[X] = static_cast<uint8_t>(Value);
      break;
    case 16: {
      uint8_t* p = Row + 2 * X;
      p[0] = static_cast<uint8_t>(Value);
      p[1] = static_cast<uint8_t>(Value >> 8);
      break;
    }
    case 24: {
      uint8_t* p = Row + 3 * X;
      p[0] = static_cast<uint8_t>(Value);
      p[1] = static_cast<uint8_t>(Value >> 8);
      p[2] = static_cast<uint8_t>(Value >> 16);
      break;
    }
    case 32:
      std::memcpy(Row + 4 * X, &Value, 4);
      break;
    default:
      break;
  }
}

// A 24-bit pixel with its first byte high: the bitmap class's pixel values
// and the sprites' collision test give 24-bit pixels this way, as a colour
// 0x00BBGGRR, while memory and surfaces read them little-endian.
constexpr uint32_t SwapPixel24(uint32_t Value) {
  return ((Value & 0xFF) << 16) | (Value & 0xFF00) | ((Value >> 16) & 0xFF);
}
