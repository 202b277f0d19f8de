// Exceptions with messages formatted from their texts, and the arithmetic
// helpers every module shares.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>
#include <type_traits>
#include <utility>

namespace detail {
inline const char* FormatArg(const std::string& s) { return s.c_str(); }
template <class T>
T FormatArg(T v) {
  static_assert(std::is_arithmetic_v<T> || std::is_pointer_v<T>, "Format takes numbers and text");
  return v;
}
}  // namespace detail

// printf-style formatting where %s also takes std::string.
template <class... A>
std::string Format(const char* fmt, const A&... args) {
  if constexpr (sizeof...(A) == 0) {
    return fmt;
  } else {
    int n = std::snprintf(nullptr, 0, fmt, detail::FormatArg(args)...);
    if (n < 0) return fmt;
    std::string out(static_cast<size_t>(n), '\0');
    std::snprintf(out.data(), out.size() + 1, fmt, detail::FormatArg(args)...);
    return out;
  }
}

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  template <class... A>
  static Exception CreateFmt(const char* fmt, const A&... args) {
    return Exception(Format(fmt, args...));
  }
  const std::string& Message() const noexcept { return message_; }
  void SetMessage(std::string m) { message_ = std::move(m); }
  const char* what() const noexcept override { return message_.c_str(); }
  virtual const char* ClassName() const noexcept { return "Exception"; }

 private:
  std::string message_;
};

#define TAL_DECLARE_EXCEPTION(Name, Base)                                      \
  class Name : public Base {                                                   \
   public:                                                                     \
    using Base::Base;                                                          \
    const char* ClassName() const noexcept override { return #Name; }         \
  };

TAL_DECLARE_EXCEPTION(EConvertError, Exception)
TAL_DECLARE_EXCEPTION(EInvalidOperation, Exception)
TAL_DECLARE_EXCEPTION(EInvalidPointer, Exception)
TAL_DECLARE_EXCEPTION(EListError, Exception)
TAL_DECLARE_EXCEPTION(EOutOfMemory, Exception)
// A system object (a bitmap section, a handle) could not be made.
TAL_DECLARE_EXCEPTION(EOutOfResources, EOutOfMemory)
TAL_DECLARE_EXCEPTION(EStreamError, Exception)
TAL_DECLARE_EXCEPTION(EReadError, EStreamError)
TAL_DECLARE_EXCEPTION(EWriteError, EStreamError)
TAL_DECLARE_EXCEPTION(EFOpenError, EStreamError)
TAL_DECLARE_EXCEPTION(EFCreateError, EStreamError)
TAL_DECLARE_EXCEPTION(EFilerError, EStreamError)
TAL_DECLARE_EXCEPTION(EClassNotFound, EFilerError)
TAL_DECLARE_EXCEPTION(EInvalidImage, EFilerError)
TAL_DECLARE_EXCEPTION(EIniFileException, Exception)
TAL_DECLARE_EXCEPTION(EInvalidGraphic, Exception)
TAL_DECLARE_EXCEPTION(EInvalidGraphicOperation, Exception)
TAL_DECLARE_EXCEPTION(EComponentError, Exception)
// The common base of the DirectDraw and DirectSound wrappers' errors.
TAL_DECLARE_EXCEPTION(EDirectXError, Exception)

// Throws E with a message formatted from fmt.
template <class E, class... A>
[[noreturn]] void Raise(const char* fmt, const A&... args) {
  throw E(Format(fmt, args...));
}

// ---- Arithmetic as the game states it ------------------------------------

// Round to nearest, halves to even.
inline double RoundEven(double v) { return std::nearbyint(v); }

// The one conversion of a floating-point value to a 32-bit integer. NaN gives
// 0 and values outside the range saturate, so a division by zero upstream
// never turns into undefined behaviour here.
inline int32_t ToInt32(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return INT32_MAX;
  if (v <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(v);
}
inline int64_t ToInt64(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 9.2233720368547758e18) return INT64_MAX;
  if (v <= -9.2233720368547758e18) return INT64_MIN;
  return static_cast<int64_t>(v);
}
// Round: nearest, halves to even.
inline int32_t Round(double v) { return ToInt32(std::nearbyint(v)); }
// Trunc: towards zero.
inline int32_t Trunc(double v) { return ToInt32(std::trunc(v)); }
// x wrapped into [0, n): x - Round(x / n) * n, plus n when that is negative.
inline double WrapFloat(int32_t n, double x) {
  double q = std::nearbyint(x / n);
  double r = x - q * n;
  if (r < 0) r += n;
  return r;
}

// The one table of cosines: entry i is the cosine of i / 256 of a turn,
// computed in extended precision and stored as double. Built on first use,
// so code that runs before main may already ask for angles.
const double (&TurnCosines())[256];

inline int32_t Max(int32_t a, int32_t b) { return a > b ? a : b; }
inline int32_t Min(int32_t a, int32_t b) { return a < b ? a : b; }

// Text helpers of the framework (8-bit text, ASCII case folding).
std::string LowerCase(const std::string& s);
std::string UpperCase(const std::string& s);
std::string Trim(const std::string& s);
bool SameText(const std::string& a, const std::string& b);
int CompareText(const std::string& a, const std::string& b);
int StrToInt(const std::string& s);  // raises EConvertError "'%s' is not a valid integer value"
bool TryStrToInt(const std::string& s, int& out);
// The same for 64 bits: decimal within the signed range, or up to 16
// hexadecimal digits taken as the bit pattern.
int64_t StrToInt64(const std::string& s);
bool TryStrToInt64(const std::string& s, int64_t& out);
std::string IntToStr(int64_t v);
std::string IntToHex(uint64_t v, int digits);
