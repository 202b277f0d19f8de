#include "framework/sysutils.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "framework/casefold.h"

std::string LowerCase(const std::string& s) {
  std::string r(s);
  for (auto& c : r) c = static_cast<char>(CaseFold(static_cast<unsigned char>(c)));
  return r;
}

std::string UpperCase(const std::string& s) {
  std::string r(s);
  for (auto& c : r) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return r;
}

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

int CompareText(const std::string& a, const std::string& b) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    int ca = CaseFold(static_cast<unsigned char>(a[i]));
    int cb = CaseFold(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca - cb;
  }
  return static_cast<int>(a.size()) - static_cast<int>(b.size());
}

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && CompareText(a, b) == 0;
}

// Decimal text must be a 32-bit value; hexadecimal text is a 32-bit pattern,
// so "$FFFFFFFF" reads as -1, as the platform's conversion has it.
bool TryStrToInt(const std::string& s, int& out) {
  int64_t v;
  if (!TryStrToInt64(s, v)) return false;
  const std::string t = Trim(s);
  const size_t i = (t[0] == '+' || t[0] == '-') ? 1 : 0;
  const bool neg = t[0] == '-';
  const bool hex = t[i] == '$' || (t.compare(i, 2, "0x") == 0 || t.compare(i, 2, "0X") == 0);
  const bool fits = hex ? (neg ? v <= 0 && v >= -0xFFFFFFFFLL : v >= 0 && v <= 0xFFFFFFFFLL)
                        : v >= INT32_MIN && v <= INT32_MAX;
  if (!fits) return false;
  out = static_cast<int>(static_cast<uint32_t>(v));
  return true;
}

bool TryStrToInt64(const std::string& s, int64_t& out) {
  std::string t = Trim(s);
  if (t.empty()) return false;
  const char* p = t.c_str();
  bool neg = false;
  if (*p == '+' || *p == '-') neg = (*p++ == '-');
  int base = 10;
  if (*p == '$') {
    base = 16;
    ++p;
  } else if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
    base = 16;
    p += 2;
  }
  if (!*p) return false;
  // Decimal digits gather as the magnitude, which may reach 2^63 for the
  // most negative value; hexadecimal ones as the bit pattern.
  uint64_t v = 0;
  const uint64_t limit = base == 10 ? (neg ? uint64_t{1} << 63 : uint64_t{INT64_MAX}) : UINT64_MAX;
  for (; *p; ++p) {
    uint64_t d;
    if (*p >= '0' && *p <= '9')
      d = static_cast<uint64_t>(*p - '0');
    else if (base == 16 && *p >= 'a' && *p <= 'f')
      d = static_cast<uint64_t>(*p - 'a' + 10);
    else if (base == 16 && *p >= 'A' && *p <= 'F')
      d = static_cast<uint64_t>(*p - 'A' + 10);
    else
      return false;
    if (v > (limit - d) / static_cast<uint64_t>(base)) return false;
    v = v * static_cast<uint64_t>(base) + d;
  }
  if (neg) v = ~v + 1;
  out = static_cast<int64_t>(v);
  return true;
}

int64_t StrToInt64(const std::string& s) {
  int64_t v;
  if (!TryStrToInt64(s, v)) Raise<EConvertError>("'%s' is not a valid integer value", s);
  return v;
}

int StrToInt(const std::string& s) {
  int v;
  if (!TryStrToInt(s, v)) Raise<EConvertError>("'%s' is not a valid integer value", s);
  return v;
}

std::string IntToStr(int64_t v) { return std::to_string(v); }

std::string IntToHex(uint64_t v, int digits) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%0*llX", digits, static_cast<unsigned long long>(v));
  return buf;
}

const double (&TurnCosines())[256] {
  static const struct TCosines {
    double Table[256];
    TCosines() {
      const long double pi = 3.141592653589793238462643383279502884L;
      for (int i = 0; i < 256; ++i)
        Table[i] = static_cast<double>(std::cos(static_cast<long double>(i) / 256 * 2 * pi));
    }
  } cosines;
  return cosines.Table;
}
