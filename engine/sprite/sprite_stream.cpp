#include "engine/sprite/sprite_stream.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "framework/filer.h"

void DoubleToExtended(double Value, unsigned char Out[10]) {
  uint64_t mant = 0;
  uint16_t se = std::signbit(Value) ? 0x8000 : 0;
  if (std::isnan(Value)) {
    se |= 0x7FFF;
    mant = 0xC000000000000000ull;
  } else if (std::isinf(Value)) {
    se |= 0x7FFF;
    mant = 0x8000000000000000ull;
  } else if (Value != 0) {
    int e = 0;
    double f = std::frexp(std::fabs(Value), &e);  // f in [0.5, 1)
    // 53 significant bits scaled into the top of 64: exact.
    mant = static_cast<uint64_t>(std::ldexp(f, 64));
    se |= static_cast<uint16_t>(e - 1 + 16383);
  }
  for (int i = 0; i < 8; ++i) Out[i] = static_cast<unsigned char>(mant >> (8 * i));
  Out[8] = static_cast<unsigned char>(se);
  Out[9] = static_cast<unsigned char>(se >> 8);
}

double ExtendedToDouble(const unsigned char In[10]) {
  uint64_t mant = 0;
  for (int i = 0; i < 8; ++i) mant |= static_cast<uint64_t>(In[i]) << (8 * i);
  uint16_t se = static_cast<uint16_t>(In[8] | (In[9] << 8));
  bool neg = (se & 0x8000) != 0;
  int exp = se & 0x7FFF;
  double v;
  if (exp == 0x7FFF) {
    v = (mant << 1) == 0 ? INFINITY : NAN;
  } else {
    // Values beyond a double's range become infinity or zero.
    v = std::ldexp(static_cast<double>(mant), exp - 16383 - 63);
  }
  return neg ? -v : v;
}

double ReadFloatValue(TReader& Reader) {
  // The filer knows no floating-point types, so their type byte is taken
  // here before it looks.
  TStream& s = Reader.Stream();
  const uint8_t type = s.ReadValue<uint8_t>();
  if (type == vaExtended) {
    unsigned char b[10];
    s.ReadBuffer(b, 10);
    return ExtendedToDouble(b);
  }
  if (type == vaSingle) {
    float f;
    s.ReadBuffer(&f, 4);
    return f;
  }
  // Integers are accepted; anything else raises the filer's error.
  s.Seek(-1, soCurrent);
  return Reader.ReadInteger();
}

void WriteFloatProperty(TWriter& Writer, const std::string& Name, double Value) {
  Writer.WritePropName(Name);
  Writer.WriteValue(vaExtended);
  unsigned char b[10];
  DoubleToExtended(Value, b);
  Writer.Stream().WriteBuffer(b, 10);
}

void WriteSingleProperty(TWriter& Writer, const std::string& Name, float Value) {
  Writer.WritePropName(Name);
  Writer.WriteValue(vaSingle);
  Writer.Stream().WriteBuffer(&Value, 4);
}
