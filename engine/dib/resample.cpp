#include <algorithm>
#include <cmath>
#include <numbers>
#include <unordered_map>
#include <vector>

#include "engine/dib/dib.h"
#include "platform/gdi/pixel_access.h"

// ---- Depth conversion -------------------------------------------------------------

void TDIB::MakeBitfieldColorTable(int32_t R, int32_t G, int32_t B) {
  const auto level = [](int32_t v, int32_t bits) {
    const int32_t max = (1 << bits) - 1;
    return static_cast<uint8_t>((v & max) * 255 / max);
  };
  for (int32_t i = 0; i < 256; ++i)
    ColorTable[static_cast<size_t>(i)] =
        RGBQUAD{level(i, B), level(i >> B, G), level(i >> (G + B), R), 0};
}

namespace {

// Colour of pixel X of a row at any depth.
RGBQUAD ReadColor(const uint8_t* Row, int32_t X, int32_t Bits, const TPixelLayout& Layout,
                  const TRGBQuads& Table) {
  RGBQUAD c{};
  const uint32_t v = ReadRowPixel(Row, X, Bits);
  switch (Bits) {
    case 1:
    case 4:
    case 8:
      c = Table[v];
      c.rgbReserved = 0;
      break;
    case 16:
    case 32:
      UnpackPixel(Layout, static_cast<int32_t>(v), c.rgbRed, c.rgbGreen, c.rgbBlue);
      break;
    case 24:
      c = RGBQUAD{static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                  static_cast<uint8_t>(v >> 16), 0};
      break;
    default:
      break;
  }
  return c;
}

void WriteColor(uint8_t* Row, int32_t X, int32_t Bits, const TPixelLayout& Layout, RGBQUAD C) {
  switch (Bits) {
    case 16:
      WriteRowPixel(Row, X, 16,
                    static_cast<uint32_t>(PackPixel(Layout, C.rgbRed, C.rgbGreen, C.rgbBlue)));
      break;
    case 24:
      WriteRowPixel(Row, X, 24, C.rgbBlue | (C.rgbGreen << 8) | (C.rgbRed << 16));
      break;
    case 32:
      // The fourth byte of a 32-bit pixel is always 0.
      WriteRowPixel(
          Row, X, 32,
          static_cast<uint32_t>(PackPixel(Layout, C.rgbRed, C.rgbGreen, C.rgbBlue)) & 0xFFFFFF);
      break;
    default:
      break;
  }
}

bool LayoutFits(const TPixelLayout& L, int32_t Bits) {
  if (Bits == 16) return L.SameMasks(Layout555()) || L.SameMasks(Layout565());
  return L.SameMasks(Layout888());
}

}  // namespace

void TDIB::ConvertBitCount(int32_t ABitCount) {
  if (size_ == 0) return;
  TDIB old;
  old.Assign(this);
  // The layout left from the old depth cannot describe the new one (a 5-6-5
  // bitmap going to 24 bits): take the new depth's own default instead of
  // refusing the conversion.
  if (!LayoutFits(PixelFormat, ABitCount))
    PixelFormat = ABitCount == 16 ? Layout555() : Layout888();
  const TDIBSharedImage* before = image_;
  SetSize(width_, height_, ABitCount);
  if (image_ == before) return;

  const int32_t from = old.BitCount(), to = bit_count_;
  if (from <= 8 && to <= 8 && from <= to) {
    for (int32_t y = 0; y < height_; ++y) {
      const uint8_t* src = old.ScanLine(y);
      uint8_t* dst = ScanLine(y);
      for (int32_t x = 0; x < width_; ++x) WriteRowPixel(dst, x, to, ReadRowPixel(src, x, from));
    }
    return;
  }
  if (to <= 8) {
    if (to == 1) {
      ColorTable[0] = RGBQUAD{0, 0, 0, 0};
      ColorTable[1] = RGBQUAD{255, 255, 255, 0};
    } else if (to == 4) {
      MakeBitfieldColorTable(1, 2, 1);
    } else {
      MakeBitfieldColorTable(3, 3, 2);
    }
    UpdatePalette();
    const int count = 1 << to;
    std::unordered_map<uint32_t, uint8_t> nearest;
    for (int32_t y = 0; y < height_; ++y) {
      const uint8_t* src = old.ScanLine(y);
      uint8_t* dst = ScanLine(y);
      for (int32_t x = 0; x < width_; ++x) {
        const RGBQUAD c = ReadColor(src, x, from, old.ImagePixelFormat(), old.ColorTable);
        const uint32_t key = c.rgbRed | (c.rgbGreen << 8) | (c.rgbBlue << 16);
        auto it = nearest.find(key);
        if (it == nearest.end())
          it = nearest
                   .emplace(key, static_cast<uint8_t>(GdiNearestIndex(
                                     ColorTable.data(), count, c.rgbRed, c.rgbGreen, c.rgbBlue)))
                   .first;
        WriteRowPixel(dst, x, to, it->second);
      }
    }
    return;
  }
  for (int32_t y = 0; y < height_; ++y) {
    const uint8_t* src = old.ScanLine(y);
    uint8_t* dst = ScanLine(y);
    for (int32_t x = 0; x < width_; ++x)
      WriteColor(dst, x, to, image_pixel_format_,
                 ReadColor(src, x, from, old.ImagePixelFormat(), old.ColorTable));
  }
}

// ---- Resampling ----------------------------------------------------------------------

float FilterSupport(TResampleFilter Filter) {
  switch (Filter) {
    case rfBox:
      return 0.5f;
    case rfTriangle:
    case rfHermite:
      return 1.0f;
    case rfBell:
      return 1.5f;
    case rfBSpline:
    case rfMitchell:
      return 2.0f;
    case rfLanczos3:
      return 3.0f;
  }
  return 0.5f;
}

namespace {
float Sinc(float x) {
  if (x == 0.0f) return 1.0f;
  const float px = x * std::numbers::pi_v<float>;
  return std::sin(px) / px;
}
}  // namespace

float FilterKernel(TResampleFilter Filter, float X) {
  const float a = std::fabs(X);
  switch (Filter) {
    case rfBox:
      return (X > -0.5f && X <= 0.5f) ? 1.0f : 0.0f;
    case rfTriangle:
      return a < 1.0f ? 1.0f - a : 0.0f;
    case rfHermite:
      return a < 1.0f ? (2.0f * a - 3.0f) * a * a + 1.0f : 0.0f;
    case rfBell:
      if (a < 0.5f) return 0.75f - a * a;
      if (a < 1.5f) return 0.5f * (a - 1.5f) * (a - 1.5f);
      return 0.0f;
    case rfBSpline:
      if (a < 1.0f) return 0.5f * a * a * a - a * a + 2.0f / 3.0f;
      if (a < 2.0f) return (2.0f - a) * (2.0f - a) * (2.0f - a) / 6.0f;
      return 0.0f;
    case rfLanczos3:
      return a < 3.0f ? Sinc(X) * Sinc(X / 3.0f) : 0.0f;
    case rfMitchell:
      if (a < 1.0f) return (7.0f * a * a * a - 12.0f * a * a + 16.0f / 3.0f) / 6.0f;
      if (a < 2.0f)
        return (-7.0f / 3.0f * a * a * a + 12.0f * a * a - 20.0f * a + 32.0f / 3.0f) / 6.0f;
      return 0.0f;
  }
  return 0.0f;
}

namespace {

struct TContributor {
  int32_t Pixel;
  float Weight;
};
using TContributorList = std::vector<TContributor>;

// Mirrors an index that lies beyond an edge back into the source; sources
// narrower than the filter's reach are clamped after one mirror.
int32_t Fold(int64_t J, int32_t N) {
  if (J < 0) J = -J;
  if (J >= N) J = 2 * static_cast<int64_t>(N) - 1 - J;
  return static_cast<int32_t>(std::clamp<int64_t>(J, 0, N - 1));
}

std::vector<TContributorList> Contributors(int32_t DestSize, int32_t SourceSize,
                                           TResampleFilter Filter, float Support) {
  std::vector<TContributorList> lists(static_cast<size_t>(DestSize));
  // Ends map onto ends. A single destination pixel has no second end: it
  // stands for the whole source, centred on it.
  float scale;
  if (SourceSize == 1 || DestSize == 1)
    scale = static_cast<float>(DestSize) / static_cast<float>(SourceSize);
  else
    scale = static_cast<float>(DestSize - 1) / static_cast<float>(SourceSize - 1);
  for (int32_t i = 0; i < DestSize; ++i) {
    const float centre =
        DestSize == 1 ? static_cast<float>(SourceSize - 1) / 2.0f : static_cast<float>(i) / scale;
    TContributorList& list = lists[static_cast<size_t>(i)];
    const bool enlarge = scale >= 1.0f;
    const float radius = enlarge ? Support : Support / scale;
    const int64_t left = static_cast<int64_t>(std::floor(centre - radius));
    const int64_t right = static_cast<int64_t>(std::ceil(centre + radius));
    for (int64_t j = left; j <= right; ++j) {
      const float d = centre - static_cast<float>(j);
      const float w = enlarge ? FilterKernel(Filter, d) : FilterKernel(Filter, d * scale) * scale;
      if (w == 0.0f) continue;
      list.push_back(TContributor{Fold(j, SourceSize), w});
    }
  }
  return lists;
}

uint8_t ToByte(float V) {
  if (V > 255.0f) return 255;
  if (V < 0.0f) return 0;
  return static_cast<uint8_t>(std::nearbyint(V));
}

}  // namespace

void ResampleDIB(TDIB& Source, TDIB& Dest, TResampleFilter Filter, float Support) {
  if (Source.Width() < 1 || Source.Height() < 1) throw Exception("Source bitmap too small");
  const int32_t dw = Dest.Width(), dh = Dest.Height();
  const int32_t sw = Source.Width(), sh = Source.Height();
  if (dw < 1 || dh < 1) return;
  Source.SetBitCount(24);
  Dest.SetBitCount(24);
  TDIB work;
  work.PixelFormat = Layout888();
  work.SetSize(dw, sh, 24);

  {
    const auto columns = Contributors(dw, sw, Filter, Support);
    for (int32_t y = 0; y < sh; ++y) {
      const uint8_t* src = Source.ScanLine(y);
      uint8_t* dst = work.ScanLine(y);
      for (int32_t i = 0; i < dw; ++i) {
        float b = 0, g = 0, r = 0;
        for (const TContributor& c : columns[static_cast<size_t>(i)]) {
          const uint8_t* p = src + 3 * static_cast<int64_t>(c.Pixel);
          b += c.Weight * p[0];
          g += c.Weight * p[1];
          r += c.Weight * p[2];
        }
        uint8_t* q = dst + 3 * static_cast<int64_t>(i);
        q[0] = ToByte(b);
        q[1] = ToByte(g);
        q[2] = ToByte(r);
      }
    }
  }
  const auto rows = Contributors(dh, sh, Filter, Support);
  uint8_t* workTop = work.ScanLine(0);
  uint8_t* destTop = Dest.ScanLine(0);
  const int64_t workStep = work.NextLine(), destStep = Dest.NextLine();
  for (int32_t i = 0; i < dw; ++i) {
    for (int32_t y = 0; y < dh; ++y) {
      float b = 0, g = 0, r = 0;
      for (const TContributor& c : rows[static_cast<size_t>(y)]) {
        const uint8_t* p = workTop + c.Pixel * workStep + 3 * static_cast<int64_t>(i);
        b += c.Weight * p[0];
        g += c.Weight * p[1];
        r += c.Weight * p[2];
      }
      uint8_t* q = destTop + y * destStep + 3 * static_cast<int64_t>(i);
      q[0] = ToByte(b);
      q[1] = ToByte(g);
      q[2] = ToByte(r);
    }
  }
}

void TDIB::Resize(int32_t AWidth, int32_t AHeight, TResampleFilter Filter) {
  TDIB source;
  source.SetBitCount(24);
  source.Assign(this);
  TDIB dest;
  dest.SetSize(AWidth, AHeight, 24);
  ResampleDIB(source, dest, Filter, FilterSupport(Filter));
  Assign(&dest);
}
