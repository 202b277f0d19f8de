#include "platform/d3d/d3d.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <deque>
#include <map>
#include <optional>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "platform/cpu/cpu.h"
#include "platform/ddraw/ddraw_seam.h"

namespace {

TD3DFaults gFaults;
std::map<size_t, std::vector<TD3DDeviceInfo>> gDevices;

bool Consume(int& counter) {
  if (counter <= 0) return false;
  --counter;
  return true;
}

D3DPRIMCAPS SoftwareTriCaps() {
  D3DPRIMCAPS c;
  c.dwTextureCaps = D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_ALPHA |
                    D3DPTEXTURECAPS_TRANSPARENCY;
  c.dwSrcBlendCaps = c.dwDestBlendCaps = 0x3FF;
  c.dwTextureFilterCaps = 0x3;
  c.dwTextureBlendCaps = 0xFF;
  c.dwTextureAddressCaps = 0x1;
  c.dwRasterCaps = 0x1;
  c.dwShadeCaps = 0x1;
  c.dwMiscCaps = 0x1;
  c.dwAlphaCmpCaps = 0x1;
  return c;
}

// A channel of a pixel format: where it sits and how wide it is.
struct TChannel {
  uint32_t Mask = 0;
  int Shift = 0;
  int Bits = 0;
};

TChannel ChannelOf(uint32_t mask) {
  TChannel c;
  c.Mask = mask;
  if (!mask) return c;
  c.Shift = std::countr_zero(mask);
  c.Bits = std::countr_one(mask >> c.Shift);
  return c;
}

// The value of a channel widened to 8 bits, the top bits repeated below.
inline uint32_t Widen(uint32_t v, int bits) {
  if (bits >= 8) return v >> (bits - 8);
  if (bits <= 0) return 0;
  uint32_t r = v << (8 - bits);
  for (int s = bits; s < 8; s += bits) r |= r >> bits;
  return r & 0xFF;
}

// Decoding and encoding of one surface's pixels through 8-bit channels.
struct TFormat {
  int Bytes = 0;
  bool Palette = false;
  bool HasAlpha = false;
  TChannel R, G, B, A;
  // Palette formats and 16-bit formats decode through a table.
  std::vector<uint32_t> Table;
  const std::vector<uint32_t>* Table16 = nullptr;

  explicit TFormat(const DDPIXELFORMAT& f, const PDirectDrawPalette& pal = nullptr) {
    Bytes = static_cast<int>((f.dwRGBBitCount + 7) / 8);
    Palette = (f.dwFlags & DDPF_PALETTEINDEXED8) != 0 || f.dwRGBBitCount <= 8;
    R = ChannelOf(f.dwRBitMask);
    G = ChannelOf(f.dwGBitMask);
    B = ChannelOf(f.dwBBitMask);
    HasAlpha = (f.dwFlags & DDPF_ALPHAPIXELS) && f.dwRGBAlphaBitMask;
    if (HasAlpha) A = ChannelOf(f.dwRGBAlphaBitMask);
    if (Palette) {
      Table.resize(256);
      for (uint32_t i = 0; i < 256; ++i) {
        if (pal) {
          const PALETTEENTRY& e = pal->Entries()[i];
          Table[i] = 0xFF000000u | (uint32_t{e.peRed} << 16) | (uint32_t{e.peGreen} << 8) |
                     e.peBlue;
        } else {
          Table[i] = 0xFF000000u | (i << 16) | (i << 8) | i;
        }
      }
    } else if (Bytes == 2) {
      Table16 = &MakeTable16(f);
    }
  }
  // One decoding table per 16-bit layout, made once: every draw needs it.
  const std::vector<uint32_t>& MakeTable16(const DDPIXELFORMAT& f) const {
    struct TEntry {
      uint32_t R, G, B, A;
      std::vector<uint32_t> Table;
    };
    static std::deque<TEntry> cache;
    const uint32_t a = HasAlpha ? f.dwRGBAlphaBitMask : 0;
    for (const TEntry& e : cache)
      if (e.R == f.dwRBitMask && e.G == f.dwGBitMask && e.B == f.dwBBitMask && e.A == a)
        return e.Table;
    TEntry e{f.dwRBitMask, f.dwGBitMask, f.dwBBitMask, a, std::vector<uint32_t>(65536)};
    for (uint32_t p = 0; p < 65536; ++p) e.Table[p] = Slow(p);
    cache.push_back(std::move(e));
    return cache.back().Table;
  }
  uint32_t Slow(uint32_t p) const {
    uint32_t a = HasAlpha ? Widen((p & A.Mask) >> A.Shift, A.Bits) : 255;
    return (a << 24) | (Widen((p & R.Mask) >> R.Shift, R.Bits) << 16) |
           (Widen((p & G.Mask) >> G.Shift, G.Bits) << 8) | Widen((p & B.Mask) >> B.Shift, B.Bits);
  }
  uint32_t Raw(const uint8_t* p) const {
    switch (Bytes) {
      case 1:
        return *p;
      case 2:
        return uint32_t{p[0]} | (uint32_t{p[1]} << 8);
      case 3:
        return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16);
      default: {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
      }
    }
  }
  // 0xAARRGGBB of a raw value.
  uint32_t Decode(uint32_t raw) const {
    if (Table16) return (*Table16)[raw & 0xFFFF];
    if (!Table.empty()) return Table[raw & 0xFF];
    return Slow(raw);
  }
  uint32_t Encode(uint32_t argb) const {
    auto put = [](const TChannel& c, uint32_t v8) {
      if (!c.Bits) return 0u;
      uint32_t v = c.Bits >= 8 ? v8 << (c.Bits - 8) : v8 >> (8 - c.Bits);
      return (v << c.Shift) & c.Mask;
    };
    uint32_t v = put(R, (argb >> 16) & 0xFF) | put(G, (argb >> 8) & 0xFF) | put(B, argb & 0xFF);
    if (HasAlpha) v |= put(A, argb >> 24);
    return v;
  }
  void Write(uint8_t* p, uint32_t v) const {
    switch (Bytes) {
      case 1:
        *p = static_cast<uint8_t>(v);
        break;
      case 2: {
        uint16_t s = static_cast<uint16_t>(v);
        std::memcpy(p, &s, 2);
        break;
      }
      case 3:
        p[0] = static_cast<uint8_t>(v);
        p[1] = static_cast<uint8_t>(v >> 8);
        p[2] = static_cast<uint8_t>(v >> 16);
        break;
      default:
        std::memcpy(p, &v, 4);
        break;
    }
  }
};

// a * b / 255, rounded.
inline uint32_t Mul8(uint32_t a, uint32_t b) {
  uint32_t t = a * b + 128;
  return (t + (t >> 8)) >> 8;
}

inline uint32_t MulColor(uint32_t x, uint32_t y) {
  return (Mul8(x >> 24, y >> 24) << 24) | (Mul8((x >> 16) & 0xFF, (y >> 16) & 0xFF) << 16) |
         (Mul8((x >> 8) & 0xFF, (y >> 8) & 0xFF) << 8) | Mul8(x & 0xFF, y & 0xFF);
}

struct TLocked {
  IDirectDrawSurface* Surface = nullptr;
  uint8_t* Bits = nullptr;
  int32_t Pitch = 0;
  int32_t Width = 0, Height = 0;
  DDSURFACEDESC Desc;
  HRESULT Lock(IDirectDrawSurface* s) {
    HRESULT r = s->Lock(nullptr, &Desc, DDLOCK_WAIT, nullptr);
    if (r != DD_OK) return r;
    Surface = s;
    Bits = static_cast<uint8_t*>(Desc.lpSurface);
    Pitch = Desc.lPitch;
    Width = static_cast<int32_t>(Desc.dwWidth);
    Height = static_cast<int32_t>(Desc.dwHeight);
    return DD_OK;
  }
  ~TLocked() {
    if (Surface) Surface->Unlock(nullptr);
  }
};

// Everything one DrawPrimitive call needs per pixel, decided once.
struct TPipeline {
  const TLocked* Target = nullptr;
  const TFormat* TargetFormat = nullptr;
  const TLocked* Tex = nullptr;
  const TFormat* TexFormat = nullptr;
  bool Keyed = false;
  uint32_t KeyLo = 0, KeyHi = 0;
  bool Linear = false;
  bool Blend = false;
  uint32_t SrcBlend = D3DBLEND_ONE, DestBlend = D3DBLEND_ZERO;
  uint32_t ColorOp = D3DTOP_MODULATE, ColorArg1 = D3DTA_TEXTURE, ColorArg2 = D3DTA_CURRENT;
  uint32_t AlphaOp = D3DTOP_SELECTARG1, AlphaArg1 = D3DTA_TEXTURE, AlphaArg2 = D3DTA_CURRENT;
  bool TexPow2 = false;

  bool KeyedRaw(uint32_t raw) const { return Keyed && raw >= KeyLo && raw <= KeyHi; }

  uint32_t Texel(int32_t x, int32_t y) const {
    if (TexPow2) {
      x &= Tex->Width - 1;
      y &= Tex->Height - 1;
    } else {
      x %= Tex->Width;
      if (x < 0) x += Tex->Width;
      y %= Tex->Height;
      if (y < 0) y += Tex->Height;
    }
    return TexFormat->Raw(Tex->Bits + static_cast<intptr_t>(y) * Tex->Pitch +
                          static_cast<intptr_t>(x) * TexFormat->Bytes);
  }

  // The texture's colour at (u, v), or false where the colour key removes it.
  bool Sample(float u, float v, uint32_t& out) const {
    const float fu = u * static_cast<float>(Tex->Width), fv = v * static_cast<float>(Tex->Height);
    if (!Linear) {
      uint32_t raw = Texel(static_cast<int32_t>(std::floor(fu)), static_cast<int32_t>(std::floor(fv)));
      if (KeyedRaw(raw)) return false;
      out = TexFormat->Decode(raw);
      return true;
    }
    const int32_t nx = static_cast<int32_t>(std::floor(fu)), ny = static_cast<int32_t>(std::floor(fv));
    const uint32_t nearest = Texel(nx, ny);
    if (KeyedRaw(nearest)) return false;
    const float lu = fu - 0.5f, lv = fv - 0.5f;
    const int32_t x0 = static_cast<int32_t>(std::floor(lu)), y0 = static_cast<int32_t>(std::floor(lv));
    const uint32_t wx = static_cast<uint32_t>(std::lround((lu - static_cast<float>(x0)) * 256.0f));
    const uint32_t wy = static_cast<uint32_t>(std::lround((lv - static_cast<float>(y0)) * 256.0f));
    uint32_t c[4];
    const int32_t xs[4] = {x0, x0 + 1, x0, x0 + 1}, ys[4] = {y0, y0, y0 + 1, y0 + 1};
    for (int i = 0; i < 4; ++i) {
      uint32_t raw = Texel(xs[i], ys[i]);
      // Keyed neighbours lend the kept texel's colour, so edges do not
      // bleed the key colour in.
      c[i] = TexFormat->Decode(KeyedRaw(raw) ? nearest : raw);
    }
    const uint32_t w[4] = {(256 - wx) * (256 - wy), wx * (256 - wy), (256 - wx) * wy, wx * wy};
    uint32_t r = 0;
    for (int s = 0; s < 32; s += 8) {
      uint32_t sum = 0;
      for (int i = 0; i < 4; ++i) sum += ((c[i] >> s) & 0xFF) * w[i];
      r |= ((sum + 32768) >> 16) << s;
    }
    out = r;
    return true;
  }

  static uint32_t Arg(uint32_t which, uint32_t tex, uint32_t diffuse) {
    return (which & 0xF) == D3DTA_TEXTURE ? tex : diffuse;
  }
  static uint32_t Op(uint32_t op, uint32_t a1, uint32_t a2) {
    switch (op) {
      case D3DTOP_SELECTARG1:
        return a1;
      case D3DTOP_SELECTARG2:
        return a2;
      case D3DTOP_MODULATE:
        return MulColor(a1, a2);
      default:
        return a2;  // a disabled stage passes the current colour on
    }
  }

  static uint32_t Factor(uint32_t f, uint32_t src, uint32_t dst) {
    const uint32_t sa = src >> 24;
    switch (f) {
      case D3DBLEND_ZERO:
        return 0;
      case D3DBLEND_ONE:
        return 0xFFFFFFFFu;
      case D3DBLEND_SRCCOLOR:
        return src;
      case D3DBLEND_INVSRCCOLOR:
        return ~src;
      case D3DBLEND_SRCALPHA:
        return sa * 0x01010101u;
      case D3DBLEND_INVSRCALPHA:
        return (255 - sa) * 0x01010101u;
      case D3DBLEND_DESTALPHA:
        return (dst >> 24) * 0x01010101u;
      case D3DBLEND_INVDESTALPHA:
        return (255 - (dst >> 24)) * 0x01010101u;
      case D3DBLEND_DESTCOLOR:
        return dst;
      case D3DBLEND_INVDESTCOLOR:
        return ~dst;
      default:
        return 0xFFFFFFFFu;
    }
  }

  void Shade(uint8_t* p, bool textured, float u, float v, uint32_t diffuse) const {
    uint32_t tex = 0xFFFFFFFFu;
    if (textured && !Sample(u, v, tex)) return;
    Combine(p, tex, diffuse);
  }

  void Combine(uint8_t* p, uint32_t tex, uint32_t diffuse) const {
    const uint32_t c = Op(ColorOp, Arg(ColorArg1, tex, diffuse), Arg(ColorArg2, tex, diffuse));
    const uint32_t a = Op(AlphaOp, Arg(AlphaArg1, tex, diffuse), Arg(AlphaArg2, tex, diffuse));
    uint32_t src = (c & 0x00FFFFFFu) | (a & 0xFF000000u);
    if (Blend) {
      const uint32_t dst = TargetFormat->Decode(TargetFormat->Raw(p));
      const uint32_t fs = Factor(SrcBlend, src, dst), fd = Factor(DestBlend, src, dst);
      uint32_t r = 0;
      for (int s = 0; s < 32; s += 8) {
        uint32_t sum = Mul8((src >> s) & 0xFF, (fs >> s) & 0xFF) +
                       Mul8((dst >> s) & 0xFF, (fd >> s) & 0xFF);
        r |= std::min<uint32_t>(sum, 255) << s;
      }
      src = r;
    }
    TargetFormat->Write(p, TargetFormat->Encode(src));
  }
};

// Whether the stage gives the texel itself (a white diffuse colour, or a
// stage that selects the texture) and no blending follows.
bool PlainCopy(const TPipeline& P, uint32_t diffuse) {
  if (P.Blend) return false;
  const bool colorIsTex =
      (P.ColorOp == D3DTOP_SELECTARG1 && (P.ColorArg1 & 0xF) == D3DTA_TEXTURE) ||
      (P.ColorOp == D3DTOP_MODULATE && (diffuse & 0xFFFFFF) == 0xFFFFFF);
  return colorIsTex;
}

// ---- Rows of a picture at its own size -------------------------------------------
//
// The game's sprites reach the device as rectangles one texel to a pixel:
// X888 texels onto a 5-6-5 target, copied under the colour key or weighted
// by the draw's alpha. The scalar row is the reference; the vector rows give
// the same pixels, the widest the processor has picked for each draw.

int gVectorLimit = 512;

int VectorBits() {
  const TCpuFeatures& c = CpuFeatures();
  return CpuVectorBits(c.Avx512F && c.Avx512Bw && c.Avx512Vl, gVectorLimit);
}

// What a draw does to each texel of its rows.
struct TRowRule {
  bool Keyed = false, Blend = false;
  // Texels t with t - KeyLo <= KeySpan are the key; Alpha weights blends.
  uint32_t KeyLo = 0, KeySpan = 0, Alpha = 0;
};

// A block of rows: row r takes Count texels from Src[r] onto the pixels at
// Dst + r * Pitch bytes. Sprites are narrow, so rows go in blocks: what each
// row costs besides its pixels is paid once a block.
struct TRows {
  const uint32_t* const* Src;
  uint8_t* Dst;
  intptr_t Pitch;
  size_t Rows, Count;
  uint16_t* Out(size_t r) const {
    return reinterpret_cast<uint16_t*>(Dst + static_cast<intptr_t>(r) * Pitch);
  }
};

inline uint32_t To565(uint32_t t) {
  return ((t >> 8) & 0xF800) | ((t >> 5) & 0x7E0) | ((t >> 3) & 0x1F);
}

// Each channel: texel × a + pixel × (255 − a), divided by 255 once, rounded;
// the pixel's fields widened to 8 bits with their top bits repeated. The sum
// fits 16 bits, which lets the compiler use 16-bit lanes.
inline uint16_t Mix565(uint32_t t, uint16_t p, uint32_t sa) {
  const auto a = static_cast<uint16_t>(sa), ia = static_cast<uint16_t>(255 - sa);
  auto mix = [&](uint32_t sc, uint32_t dc) {
    const auto x =
        static_cast<uint16_t>(static_cast<uint16_t>(sc) * a + static_cast<uint16_t>(dc) * ia + 128);
    return static_cast<uint16_t>((x + (x >> 8)) >> 8);
  };
  const uint32_t r5 = p >> 11, g6 = (p >> 5) & 0x3F, b5 = p & 0x1F;
  const uint32_t r = mix((t >> 16) & 0xFF, (r5 << 3) | (r5 >> 2));
  const uint32_t g = mix((t >> 8) & 0xFF, (g6 << 2) | (g6 >> 4));
  const uint32_t b = mix(t & 0xFF, (b5 << 3) | (b5 >> 2));
  return static_cast<uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}

// Written as a choice per pixel rather than a skip, so the compiler can
// vectorize it with whatever the build targets; sixteen pixels a step halve
// the time at the 128-bit baseline. Builds that do not vectorize (the
// sanitizer tree) keep the plain loop.
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wpass-failed"
template <bool Keyed, bool Blend>
[[gnu::always_inline]] inline void RowScalar(const uint32_t* __restrict s, uint16_t* __restrict d,
                                             size_t n, const TRowRule& k) {
  const uint32_t lo = k.KeyLo, span = k.KeySpan, sa = k.Alpha;
#pragma clang loop vectorize_width(16)
  for (size_t i = 0; i < n; ++i) {
    const uint32_t t = s[i];
    const uint16_t p = d[i];
    const uint16_t o = Blend ? Mix565(t, p, sa) : static_cast<uint16_t>(To565(t));
    d[i] = Keyed && t - lo <= span ? p : o;
  }
}
#pragma clang diagnostic pop

#if defined(__x86_64__)
#define TAL_AVX2 __attribute__((target("avx2")))
#define TAL_AVX512 __attribute__((target("avx2,avx512f,avx512bw,avx512vl")))

// The channel at Shift of sixteen texels in two vectors, one per 16-bit
// lane, in texel order.
TAL_AVX2 inline __m256i Channel256(__m256i t0, __m256i t1, int Shift) {
  const __m256i ff = _mm256_set1_epi32(0xFF);
  const __m128i sh = _mm_cvtsi32_si128(Shift);
  const __m256i c0 = _mm256_and_si256(_mm256_srl_epi32(t0, sh), ff);
  const __m256i c1 = _mm256_and_si256(_mm256_srl_epi32(t1, sh), ff);
  return _mm256_permute4x64_epi64(_mm256_packus_epi32(c0, c1), 0xD8);
}

// One channel of Mix565 in 16-bit lanes: a product of two bytes fits, and
// so does the sum weighted by sa and ia = 255 - sa.
TAL_AVX2 inline __m256i MixChannel256(__m256i sc, __m256i dc, __m256i sa, __m256i ia) {
  const __m256i x =
      _mm256_add_epi16(_mm256_add_epi16(_mm256_mullo_epi16(sc, sa), _mm256_mullo_epi16(dc, ia)),
                       _mm256_set1_epi16(128));
  return _mm256_srli_epi16(_mm256_add_epi16(x, _mm256_srli_epi16(x, 8)), 8);
}

// Mix565 of sixteen pixels, the texel channels one to a 16-bit lane.
TAL_AVX2 inline __m256i Mix256(__m256i r8, __m256i g8, __m256i b8, __m256i p, __m256i sa) {
  const __m256i ia = _mm256_sub_epi16(_mm256_set1_epi16(255), sa);
  const __m256i m5 = _mm256_set1_epi16(0x1F), m6 = _mm256_set1_epi16(0x3F);
  const __m256i r5 = _mm256_srli_epi16(p, 11);
  const __m256i g6 = _mm256_and_si256(_mm256_srli_epi16(p, 5), m6);
  const __m256i b5 = _mm256_and_si256(p, m5);
  const __m256i r = MixChannel256(
      r8, _mm256_or_si256(_mm256_slli_epi16(r5, 3), _mm256_srli_epi16(r5, 2)), sa, ia);
  const __m256i g = MixChannel256(
      g8, _mm256_or_si256(_mm256_slli_epi16(g6, 2), _mm256_srli_epi16(g6, 4)), sa, ia);
  const __m256i b = MixChannel256(
      b8, _mm256_or_si256(_mm256_slli_epi16(b5, 3), _mm256_srli_epi16(b5, 2)), sa, ia);
  return _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi16(_mm256_srli_epi16(r, 3), 11),
                                         _mm256_slli_epi16(_mm256_srli_epi16(g, 2), 5)),
                         _mm256_srli_epi16(b, 3));
}

// To565 of eight texels, one to a 32-bit lane.
TAL_AVX2 inline __m256i Pack256(__m256i t) {
  return _mm256_or_si256(
      _mm256_or_si256(_mm256_and_si256(_mm256_srli_epi32(t, 8), _mm256_set1_epi32(0xF800)),
                      _mm256_and_si256(_mm256_srli_epi32(t, 5), _mm256_set1_epi32(0x7E0))),
      _mm256_and_si256(_mm256_srli_epi32(t, 3), _mm256_set1_epi32(0x1F)));
}

// All ones in the lanes of the key (unsigned t - lo <= span), where the
// pixel stays.
TAL_AVX2 inline __m256i Key256(__m256i t, __m256i lo, __m256i span) {
  const __m256i x = _mm256_sub_epi32(t, lo);
  return _mm256_cmpeq_epi32(_mm256_max_epu32(x, span), span);
}

template <bool Keyed, bool Blend>
[[gnu::always_inline]] TAL_AVX2 inline void Row256(const uint32_t* s, uint16_t* d, size_t n,
                                                   const TRowRule& k) {
  const __m256i lo = _mm256_set1_epi32(static_cast<int>(k.KeyLo));
  const __m256i span = _mm256_set1_epi32(static_cast<int>(k.KeySpan));
  const __m256i sa = _mm256_set1_epi16(static_cast<short>(k.Alpha));
  size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m256i t0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i));
    const __m256i t1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i + 8));
    __m256i* at = reinterpret_cast<__m256i*>(d + i);
    __m256i o;
    if constexpr (Blend)
      o = Mix256(Channel256(t0, t1, 16), Channel256(t0, t1, 8), Channel256(t0, t1, 0),
                 _mm256_loadu_si256(at), sa);
    else
      o = _mm256_permute4x64_epi64(_mm256_packus_epi32(Pack256(t0), Pack256(t1)), 0xD8);
    if constexpr (Keyed) {
      const __m256i m = _mm256_permute4x64_epi64(
          _mm256_packs_epi32(Key256(t0, lo, span), Key256(t1, lo, span)), 0xD8);
      o = _mm256_blendv_epi8(o, _mm256_loadu_si256(at), m);
    }
    _mm256_storeu_si256(at, o);
  }
  RowScalar<Keyed, Blend>(s + i, d + i, n - i, k);
}

template <bool Keyed, bool Blend>
[[gnu::always_inline]] TAL_AVX512 inline void Row512(const uint32_t* s, uint16_t* d, size_t n,
                                                     const TRowRule& k) {
  const __m512i lo = _mm512_set1_epi32(static_cast<int>(k.KeyLo));
  const __m512i span = _mm512_set1_epi32(static_cast<int>(k.KeySpan));
  const __m256i sa = _mm256_set1_epi16(static_cast<short>(k.Alpha));
  const __m512i ff = _mm512_set1_epi32(0xFF);
  // Sixteen pixels a step, the last step cut short by a mask.
  for (size_t i = 0; i < n; i += 16) {
    const __mmask16 m = n - i >= 16 ? __mmask16(0xFFFF) : __mmask16((1u << (n - i)) - 1);
    const __m512i t = _mm512_maskz_loadu_epi32(m, s + i);
    __mmask16 w = m;
    if constexpr (Keyed) w &= _mm512_cmpgt_epu32_mask(_mm512_sub_epi32(t, lo), span);
    __m256i o;
    if constexpr (Blend) {
      o = Mix256(_mm512_cvtepi32_epi16(_mm512_and_si512(_mm512_srli_epi32(t, 16), ff)),
                 _mm512_cvtepi32_epi16(_mm512_and_si512(_mm512_srli_epi32(t, 8), ff)),
                 _mm512_cvtepi32_epi16(_mm512_and_si512(t, ff)), _mm256_maskz_loadu_epi16(m, d + i),
                 sa);
    } else {
      const __m512i v = _mm512_or_si512(
          _mm512_or_si512(_mm512_and_si512(_mm512_srli_epi32(t, 8), _mm512_set1_epi32(0xF800)),
                          _mm512_and_si512(_mm512_srli_epi32(t, 5), _mm512_set1_epi32(0x7E0))),
          _mm512_and_si512(_mm512_srli_epi32(t, 3), _mm512_set1_epi32(0x1F)));
      o = _mm512_cvtepi32_epi16(v);
    }
    _mm256_mask_storeu_epi16(d + i, w, o);
  }
}

template <bool Keyed, bool Blend>
void RowsScalar(const TRows& b, const TRowRule& k) {
  for (size_t r = 0; r < b.Rows; ++r) RowScalar<Keyed, Blend>(b.Src[r], b.Out(r), b.Count, k);
}

template <bool Keyed, bool Blend>
TAL_AVX2 void Rows256(const TRows& b, const TRowRule& k) {
  for (size_t r = 0; r < b.Rows; ++r) Row256<Keyed, Blend>(b.Src[r], b.Out(r), b.Count, k);
}

template <bool Keyed, bool Blend>
TAL_AVX512 void Rows512(const TRows& b, const TRowRule& k) {
  for (size_t r = 0; r < b.Rows; ++r) Row512<Keyed, Blend>(b.Src[r], b.Out(r), b.Count, k);
}

#undef TAL_AVX2
#undef TAL_AVX512
#endif

using TRowsFn = void (*)(const TRows&, const TRowRule&);

// The rows function for a rule at the widest vectors allowed.
TRowsFn RowsFunction(const TRowRule& k) {
#if defined(__x86_64__)
  const int bits = VectorBits();
  if (bits >= 512)
    return k.Blend ? (k.Keyed ? Rows512<true, true> : Rows512<false, true>)
                   : (k.Keyed ? Rows512<true, false> : Rows512<false, false>);
  if (bits >= 256)
    return k.Blend ? (k.Keyed ? Rows256<true, true> : Rows256<false, true>)
                   : (k.Keyed ? Rows256<true, false> : Rows256<false, false>);
#endif
  return k.Blend ? (k.Keyed ? RowsScalar<true, true> : RowsScalar<false, true>)
                 : (k.Keyed ? RowsScalar<true, false> : RowsScalar<false, false>);
}

// 16.16 texel coordinates from texture coordinates, or false where they do
// not fit (hostile or degenerate vertices go the slow way). The floor is
// spelt out: every row of every sprite takes it.
bool ToFixed(double t, int64_t size, int64_t& out) {
  const double f = t * static_cast<double>(size) * 65536.0;
  if (!(std::fabs(f) < 0x1p52)) return false;
  const int64_t i = static_cast<int64_t>(f);
  out = static_cast<double>(i) > f ? i - 1 : i;
  return true;
}

// Point sampling from a 32-bit texture under one diffuse colour: what each
// texel becomes and how the texels step, decided once for a triangle or a
// rectangle and then applied row by row.
class TFastSpans {
 public:
  TFastSpans(const TPipeline& P, double dudx, double dvdx, uint32_t diffuse)
      : P_(P),
        t_(*P.Tex),
        tf_(*P.TargetFormat),
        xf_(*P.TexFormat),
        diffuse_(diffuse),
        dudx_(dudx),
        dvdx_(dvdx) {
    const double du = dudx * static_cast<double>(t_.Width) * 65536.0;
    const double dv = dvdx * static_cast<double>(t_.Height) * 65536.0;
    stepping_ = std::fabs(du) < 0x1p52 && std::fabs(dv) < 0x1p52;
    if (stepping_) {
      du_ = std::llround(du);
      dv_ = std::llround(dv);
    }
    copy_ = PlainCopy(P, diffuse);
    is565_ = tf_.Bytes == 2 && tf_.R.Mask == 0xF800 && tf_.G.Mask == 0x7E0 && tf_.B.Mask == 0x1F;
    texRGB_ = xf_.R.Mask == 0xFF0000 && xf_.G.Mask == 0xFF00 && xf_.B.Mask == 0xFF;
    // The stage of alpha blends with a white diffuse colour and an opaque
    // texture: the texel weighted by the diffuse alpha.
    blendHalf_ = P.Blend && !xf_.HasAlpha && P.SrcBlend == D3DBLEND_SRCALPHA &&
                 P.DestBlend == D3DBLEND_INVSRCALPHA && P.ColorOp == D3DTOP_MODULATE &&
                 (diffuse & 0xFFFFFF) == 0xFFFFFF && P.AlphaOp == D3DTOP_MODULATE &&
                 (P.AlphaArg1 & 0xF) == D3DTA_TEXTURE &&
                 ((P.AlphaArg2 & 0xF) == D3DTA_DIFFUSE || (P.AlphaArg2 & 0xF) == D3DTA_CURRENT);
    alpha_ = diffuse >> 24;
    row_path_ = du_ == 65536 && dv_ == 0 && is565_ && texRGB_ && (copy_ || blendHalf_);
    if (row_path_) {
      rule_.Keyed = P.Keyed;
      rule_.Blend = !copy_;
      rule_.KeyLo = P.KeyLo;
      rule_.KeySpan = P.KeyHi - P.KeyLo;
      rule_.Alpha = alpha_;
      rows_fn_ = RowsFunction(rule_);
    }
  }

  // Whether every span can be drawn here; otherwise pixels are shaded one
  // by one.
  bool Usable() const { return stepping_; }

  void Span(uint8_t* row, int32_t xs, int32_t xe, double u, double v) const {
    int64_t fu = 0, fv = 0;
    if (!ToFixed(u, t_.Width, fu) || !ToFixed(v, t_.Height, fv)) return Shaded(row, xs, xe, u, v);
    const int64_t n = int64_t{xe} - xs + 1;
    const int64_t W = t_.Width, H = t_.Height;
    if (row_path_ && (fu >> 16) >= 0 && (fu >> 16) + n <= W && (fv >> 16) >= 0 && (fv >> 16) < H) {
      const uint8_t* texRow = t_.Bits + static_cast<intptr_t>(fv >> 16) * t_.Pitch;
      const uint32_t* src = reinterpret_cast<const uint32_t*>(texRow) + (fu >> 16);
      rows_fn_(TRows{&src, row + 2 * static_cast<intptr_t>(xs), 0, 1, static_cast<size_t>(n)},
               rule_);
      return;
    }
    Stepped(row, xs, xe, fu, fv);
  }

  // Rows Ys..Ye of an upright rectangle, each from U, row y from
  // V0 + Dvdy (y - Y0). Sprites come here.
  void Rectangle(int32_t xs, int32_t xe, int32_t ys, int32_t ye, double u, double v0, double dvdy,
                 double y0) const {
    const TLocked& target = *P_.Target;
    const int64_t n = int64_t{xe} - xs + 1;
    int64_t fu = 0;
    const bool rows =
        row_path_ && ToFixed(u, t_.Width, fu) && (fu >> 16) >= 0 && (fu >> 16) + n <= t_.Width;
    const uint8_t* src = rows ? t_.Bits + 4 * (fu >> 16) : nullptr;
    constexpr size_t kBlock = 64;
    const uint32_t* block[kBlock];
    TRows b{block, nullptr, target.Pitch, 0, static_cast<size_t>(n)};
    auto flush = [&] {
      if (b.Rows) rows_fn_(b, rule_);
      b.Rows = 0;
    };
    for (int32_t y = ys; y <= ye; ++y) {
      uint8_t* row = target.Bits + static_cast<intptr_t>(y) * target.Pitch;
      const double v = v0 + dvdy * (y - y0);
      int64_t fv = 0;
      if (rows && ToFixed(v, t_.Height, fv) && (fv >> 16) >= 0 && (fv >> 16) < t_.Height) {
        if (!b.Rows) b.Dst = row + 2 * static_cast<intptr_t>(xs);
        block[b.Rows++] =
            reinterpret_cast<const uint32_t*>(src + static_cast<intptr_t>(fv >> 16) * t_.Pitch);
        if (b.Rows == kBlock) flush();
        continue;
      }
      flush();
      Span(row, xs, xe, u, v);
    }
    flush();
  }

 private:
  // Texels stepped in 16.16, wrapped by the power-of-two masks.
  void Stepped(uint8_t* row, int32_t xs, int32_t xe, int64_t fu, int64_t fv) const {
    const uint32_t wm = static_cast<uint32_t>(t_.Width - 1),
                   hm = static_cast<uint32_t>(t_.Height - 1);
    const uint32_t sa = alpha_;
    uint8_t* p = row + static_cast<intptr_t>(xs) * tf_.Bytes;
    for (int32_t x = xs; x <= xe; ++x, fu += du_, fv += dv_, p += tf_.Bytes) {
      const uint32_t tx = static_cast<uint32_t>(fu >> 16) & wm,
                     ty = static_cast<uint32_t>(fv >> 16) & hm;
      uint32_t raw;
      std::memcpy(
          &raw, t_.Bits + static_cast<intptr_t>(ty) * t_.Pitch + 4 * static_cast<intptr_t>(tx), 4);
      if (P_.KeyedRaw(raw)) continue;
      if (copy_ && texRGB_) {
        if (is565_) {
          const uint16_t o = static_cast<uint16_t>(To565(raw));
          std::memcpy(p, &o, 2);
        } else {
          tf_.Write(p, tf_.Encode(raw));
        }
        continue;
      }
      if (is565_ && texRGB_ && blendHalf_) {
        // Alpha blending of an opaque texel by the diffuse alpha.
        uint16_t d16;
        std::memcpy(&d16, p, 2);
        const uint32_t dst = tf_.Decode(d16);
        uint32_t out = 0;
        for (int sh = 0; sh < 24; sh += 8) {
          const uint32_t sc = (raw >> sh) & 0xFF, dc = (dst >> sh) & 0xFF;
          out |= std::min<uint32_t>(Mul8(sc, sa) + Mul8(dc, 255 - sa), 255) << sh;
        }
        const uint16_t o = static_cast<uint16_t>(To565(out));
        std::memcpy(p, &o, 2);
        continue;
      }
      P_.Combine(p, xf_.Decode(raw), diffuse_);
    }
  }

  void Shaded(uint8_t* row, int32_t xs, int32_t xe, double u, double v) const {
    for (int32_t x = xs; x <= xe; ++x, u += dudx_, v += dvdx_)
      P_.Shade(row + static_cast<intptr_t>(x) * tf_.Bytes, true, static_cast<float>(u),
               static_cast<float>(v), diffuse_);
  }

  const TPipeline& P_;
  const TLocked& t_;
  const TFormat& tf_;
  const TFormat& xf_;
  uint32_t diffuse_;
  double dudx_, dvdx_;
  bool stepping_ = false;
  int64_t du_ = 0, dv_ = 0;
  bool copy_ = false, is565_ = false, texRGB_ = false, blendHalf_ = false, row_path_ = false;
  uint32_t alpha_ = 0;
  TRowRule rule_;
  TRowsFn rows_fn_ = nullptr;
};

// Fills one triangle: pixel centres on integer coordinates, edges shared by
// two triangles drawn once (top-left rule).
void FillTriangle(const TPipeline& P, const D3DTLVERTEX* a, const D3DTLVERTEX* b,
                  const D3DTLVERTEX* c, bool textured) {
  double area = (double(b->sx) - a->sx) * (double(c->sy) - a->sy) -
                (double(b->sy) - a->sy) * (double(c->sx) - a->sx);
  if (!(std::fabs(area) > 1e-12)) return;  // also NaN
  if (area < 0) {
    std::swap(b, c);
    area = -area;
  }
  const D3DTLVERTEX* v[3] = {a, b, c};
  for (const D3DTLVERTEX* p : v)
    if (!std::isfinite(p->sx) || !std::isfinite(p->sy)) return;
  // Edge i runs from v[i] to v[i+1]; E(p) > 0 inside. E = A x + B y + C.
  double A[3], B[3], C[3];
  bool tie[3];
  for (int i = 0; i < 3; ++i) {
    const D3DTLVERTEX* p = v[i];
    const D3DTLVERTEX* q = v[(i + 1) % 3];
    // With area > 0 (y down), the inside of p->q is where
    // (q - p) x (pt - p) > 0.
    A[i] = -(double(q->sy) - p->sy);
    B[i] = double(q->sx) - p->sx;
    C[i] = -(A[i] * p->sx + B[i] * p->sy);
    tie[i] = A[i] > 0 || (A[i] == 0 && B[i] > 0);
  }
  auto inside = [&](int i, double x, double y) {
    double e = A[i] * x + B[i] * y + C[i];
    return e > 0 || (e == 0 && tie[i]);
  };
  const double minX = std::min({a->sx, b->sx, c->sx}), maxX = std::max({a->sx, b->sx, c->sx});
  const double minY = std::min({a->sy, b->sy, c->sy}), maxY = std::max({a->sy, b->sy, c->sy});
  const int32_t W = P.Target->Width, H = P.Target->Height;
  const int32_t y0 = static_cast<int32_t>(std::max(0.0, std::ceil(minY)));
  const int32_t y1 = static_cast<int32_t>(std::min(double(H - 1), std::floor(maxY)));
  const int32_t bx0 = static_cast<int32_t>(std::max(0.0, std::ceil(minX)));
  const int32_t bx1 = static_cast<int32_t>(std::min(double(W - 1), std::floor(maxX)));
  if (y0 > y1 || bx0 > bx1) return;
  // Attribute planes: value = base + dx * (x - a.x) + dy * (y - a.y).
  auto plane = [&](float D3DTLVERTEX::*m, double& dx, double& dy) {
    const double d1 = double(b->*m) - a->*m, d2 = double(c->*m) - a->*m;
    const double e1x = double(b->sx) - a->sx, e1y = double(b->sy) - a->sy;
    const double e2x = double(c->sx) - a->sx, e2y = double(c->sy) - a->sy;
    dx = (d1 * e2y - d2 * e1y) / area;
    dy = (d2 * e1x - d1 * e2x) / area;
  };
  double dudx, dudy, dvdx, dvdy;
  plane(&D3DTLVERTEX::tu, dudx, dudy);
  plane(&D3DTLVERTEX::tv, dvdx, dvdy);
  const bool flat = a->color == b->color && a->color == c->color;
  double dcx[4] = {}, dcy[4] = {}, cb[4] = {};
  if (!flat) {
    for (int s = 0; s < 4; ++s) {
      const int sh = 8 * s;
      const double ca = (a->color >> sh) & 0xFF, cbv = (b->color >> sh) & 0xFF,
                   cc = (c->color >> sh) & 0xFF;
      const double d1 = cbv - ca, d2 = cc - ca;
      const double e1x = double(b->sx) - a->sx, e1y = double(b->sy) - a->sy;
      const double e2x = double(c->sx) - a->sx, e2y = double(c->sy) - a->sy;
      dcx[s] = (d1 * e2y - d2 * e1y) / area;
      dcy[s] = (d2 * e1x - d1 * e2x) / area;
      cb[s] = ca;
    }
  }
  const TFormat& tf = *P.TargetFormat;
  // Point-sampled textures from a power-of-two 32-bit surface with one
  // diffuse colour: the game's sprites. Texels are stepped in 16.16.
  std::optional<TFastSpans> fast;
  if (textured && flat && !P.Linear && P.TexPow2 && P.TexFormat->Bytes == 4 &&
      !P.TexFormat->Palette && (tf.Bytes == 2 || tf.Bytes == 4) && !tf.Palette)
    fast.emplace(P, dudx, dvdx, a->color);
  if (fast && !fast->Usable()) fast.reset();
  for (int32_t y = y0; y <= y1; ++y) {
    // The span of this row: the tightest x range every edge allows.
    int32_t xs = bx0, xe = bx1;  // inclusive
    bool empty = false;
    for (int i = 0; i < 3 && !empty; ++i) {
      if (A[i] == 0) {
        if (!inside(i, 0, y)) empty = true;
        continue;
      }
      const double t = -(B[i] * y + C[i]) / A[i];
      if (A[i] > 0) {
        int32_t s = static_cast<int32_t>(std::max(double(bx0), std::floor(t) - 1));
        while (s <= xe && !inside(i, s, y)) ++s;
        xs = std::max(xs, s);
      } else {
        int32_t e = static_cast<int32_t>(std::min(double(bx1), std::floor(t) + 1));
        while (e >= xs && !inside(i, e, y)) --e;
        xe = std::min(xe, e);
      }
      if (xs > xe) empty = true;
    }
    if (empty) continue;
    uint8_t* row = P.Target->Bits + static_cast<intptr_t>(y) * P.Target->Pitch;
    const double ry = y - double(a->sy);
    double u = a->tu + dudx * (xs - double(a->sx)) + dudy * ry;
    double vv = a->tv + dvdx * (xs - double(a->sx)) + dvdy * ry;
    if (fast) {
      fast->Span(row, xs, xe, u, vv);
      continue;
    }
    for (int32_t x = xs; x <= xe; ++x) {
      uint32_t diffuse = a->color;
      if (!flat) {
        diffuse = 0;
        for (int s = 0; s < 4; ++s) {
          double cv = cb[s] + dcx[s] * (x - double(a->sx)) + dcy[s] * ry;
          uint32_t ci = static_cast<uint32_t>(std::clamp(std::lround(cv), 0L, 255L));
          diffuse |= ci << (8 * s);
        }
      }
      P.Shade(row + static_cast<intptr_t>(x) * tf.Bytes, textured, static_cast<float>(u),
              static_cast<float>(vv), diffuse);
      u += dudx;
      vv += dvdx;
    }
  }
}

// A strip of four corners that is an upright rectangle (the flat draws)
// filled row by row: the same pixels the two triangles would fill.
bool FillRectangle(const TPipeline& P, const D3DTLVERTEX* v, bool textured) {
  const D3DTLVERTEX &tl = v[0], &tr = v[1], &bl = v[2], &br = v[3];
  if (tl.sy != tr.sy || bl.sy != br.sy || tl.sx != bl.sx || tr.sx != br.sx) return false;
  if (tl.color != tr.color || tl.color != bl.color || tl.color != br.color) return false;
  if (tl.tv != tr.tv || bl.tv != br.tv || tl.tu != bl.tu || tr.tu != br.tu) return false;
  for (const D3DTLVERTEX* p : {&tl, &tr, &bl, &br})
    if (!std::isfinite(p->sx) || !std::isfinite(p->sy)) return false;
  const double x0 = std::min(tl.sx, tr.sx), x1 = std::max(tl.sx, tr.sx);
  const double y0 = std::min(tl.sy, bl.sy), y1 = std::max(tl.sy, bl.sy);
  if (!(x1 > x0) || !(y1 > y0)) return true;
  // Pixel centres c with x0 <= c < x1 (left and top edges are in).
  const int32_t W = P.Target->Width, H = P.Target->Height;
  const int32_t xs = static_cast<int32_t>(std::max(0.0, std::ceil(x0)));
  const int32_t xe = static_cast<int32_t>(std::min(double(W), std::ceil(x1))) - 1;
  const int32_t ys = static_cast<int32_t>(std::max(0.0, std::ceil(y0)));
  const int32_t ye = static_cast<int32_t>(std::min(double(H), std::ceil(y1))) - 1;
  if (xs > xe || ys > ye) return true;
  const double dudx = (double(tr.tu) - tl.tu) / (double(tr.sx) - tl.sx);
  const double dvdy = (double(bl.tv) - tl.tv) / (double(bl.sy) - tl.sy);
  const TFormat& tf = *P.TargetFormat;
  std::optional<TFastSpans> fast;
  if (textured && !P.Linear && P.TexPow2 && P.TexFormat->Bytes == 4 && !P.TexFormat->Palette &&
      (tf.Bytes == 2 || tf.Bytes == 4) && !tf.Palette)
    fast.emplace(P, dudx, 0.0, tl.color);
  if (fast && !fast->Usable()) fast.reset();
  const double u = tl.tu + dudx * (xs - double(tl.sx));
  if (fast) {
    fast->Rectangle(xs, xe, ys, ye, u, tl.tv, dvdy, tl.sy);
    return true;
  }
  for (int32_t y = ys; y <= ye; ++y) {
    uint8_t* row = P.Target->Bits + static_cast<intptr_t>(y) * P.Target->Pitch;
    const double vv = tl.tv + dvdy * (y - double(tl.sy));
    double uu = u;
    for (int32_t x = xs; x <= xe; ++x, uu += dudx)
      P.Shade(row + static_cast<intptr_t>(x) * tf.Bytes, textured, static_cast<float>(uu),
              static_cast<float>(vv), tl.color);
  }
  return true;
}

}  // namespace

// ---- Machine ---------------------------------------------------------------------

std::vector<TD3DDeviceInfo> D3DDefaultDevices() {
  D3DDEVICEDESC desc;
  desc.dwFlags = 0x7FF;
  desc.dcmColorModel = D3DCOLOR_RGB;
  desc.dpcLineCaps = desc.dpcTriCaps = SoftwareTriCaps();
  desc.dwDeviceRenderBitDepth = DDBD_16 | DDBD_32;
  desc.dwDeviceZBufferBitDepth = DDBD_16;
  desc.dwMinTextureWidth = desc.dwMinTextureHeight = 1;
  desc.dwMaxTextureWidth = desc.dwMaxTextureHeight = 2048;
  TD3DDeviceInfo rgb;
  rgb.Guid = IID_IDirect3DRGBDevice;
  rgb.Description = "RGB Emulation";
  rgb.Name = "RGB Emulation";
  rgb.HWDesc.dcmColorModel = 0;
  rgb.HELDesc = desc;
  rgb.HELDesc.deviceGUID = rgb.Guid;
  TD3DDeviceInfo hal;
  hal.Guid = IID_IDirect3DHALDevice;
  hal.Description = "Direct3D HAL";
  hal.Name = "Direct3D HAL";
  hal.HWDesc = desc;
  hal.HWDesc.dwDevCaps = D3DDEVCAPS_HWRASTERIZATION;
  hal.HWDesc.deviceGUID = hal.Guid;
  return {rgb, hal};
}

void D3DSetDevices(size_t DriverIndex, std::vector<TD3DDeviceInfo> Devices) {
  gDevices[DriverIndex] = std::move(Devices);
}

const std::vector<TD3DDeviceInfo>& D3DDevices(size_t DriverIndex) {
  static const std::vector<TD3DDeviceInfo> defaults = D3DDefaultDevices();
  static const std::vector<TD3DDeviceInfo> none;
  auto it = gDevices.find(DriverIndex);
  if (it != gDevices.end()) return it->second;
  return DriverIndex == 0 ? defaults : none;
}

void D3DResetMachine() {
  gDevices.clear();
  DDSetDrivers({});
  gFaults = TD3DFaults{};
}

TD3DFaults& D3DFaults() {
  return gFaults;
}

void D3DLimitVectors(int Bits) {
  gVectorLimit = Bits;
}

int D3DVectorBits() {
  return VectorBits();
}

// ---- Direct3D ----------------------------------------------------------------------

HRESULT Direct3DQuery(IDirectDraw* DDraw, PDirect3D* Out) {
  if (!DDraw || !Out) return DDERR_INVALIDPARAMS;
  const std::vector<TD3DDeviceInfo>& devices = D3DDevices(DDraw->DriverIndex());
  if (devices.empty()) return DDERR_NOINTERFACE;
  PDirect3D d(new IDirect3D());
  d->dd_ = DDraw->shared_from_this();
  d->devices_ = devices;
  *Out = d;
  return DD_OK;
}

HRESULT IDirect3D::EnumDevices(const TEnumDevicesCallback& Callback) const {
  if (!Callback) return DDERR_INVALIDPARAMS;
  for (const TD3DDeviceInfo& d : devices_)
    if (Callback(&d.Guid, d.Description.c_str(), d.Name.c_str(), d.HWDesc, d.HELDesc) ==
        D3DENUMRET_CANCEL)
      break;
  return DD_OK;
}

HRESULT IDirect3D::EnumDevices7(const TEnumDevices7Callback& Callback) const {
  if (!Callback) return DDERR_INVALIDPARAMS;
  for (const TD3DDeviceInfo& d : devices_) {
    D3DDEVICEDESC7 desc = d.IsHardware() ? d.HWDesc : d.HELDesc;
    if (d.IsHardware()) desc.dwDevCaps |= D3DDEVCAPS_HWRASTERIZATION;
    else desc.dwDevCaps &= ~D3DDEVCAPS_HWRASTERIZATION;
    desc.deviceGUID = d.Guid;
    if (Callback(d.Description.c_str(), d.Name.c_str(), desc) == D3DENUMRET_CANCEL) break;
  }
  return DD_OK;
}

HRESULT IDirect3D::CreateDevice(const GUID& Guid, IDirectDrawSurface* Target,
                                PDirect3DDevice* Out) {
  if (!Target || !Out) return DDERR_INVALIDPARAMS;
  auto it = std::find_if(devices_.begin(), devices_.end(),
                         [&](const TD3DDeviceInfo& d) { return d.Guid == Guid; });
  if (it == devices_.end()) return DDERR_INVALIDPARAMS;
  if (Consume(gFaults.FailCreateDevice)) return DDERR_GENERIC;
  if (it->IsHardware() && Consume(gFaults.FailCreateHardwareDevice)) return DDERR_GENERIC;
  const D3DDEVICEDESC& desc = it->IsHardware() ? it->HWDesc : it->HELDesc;
  const uint32_t bits = Target->PixelFormat().dwRGBBitCount;
  const uint32_t flag = bits == 16 ? DDBD_16 : bits == 24 ? DDBD_24 : bits == 32 ? DDBD_32 : 0;
  if (!(desc.dwDeviceRenderBitDepth & flag)) return DDERR_INVALIDPIXELFORMAT;
  PDirect3DDevice d(new IDirect3DDevice());
  d->info_ = *it;
  d->dd_ = dd_;
  d->target_ = Target->shared_from_this();
  *Out = d;
  return DD_OK;
}

// ---- Device ----------------------------------------------------------------------------

IDirect3DDevice::IDirect3DDevice() {
  rs_[D3DRENDERSTATE_SRCBLEND] = D3DBLEND_ONE;
  rs_[D3DRENDERSTATE_DESTBLEND] = D3DBLEND_ZERO;
  for (uint32_t s = 0; s < D3DMAX_TEXTURESTAGES; ++s) {
    tss_[s][D3DTSS_COLOROP] = s == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
    tss_[s][D3DTSS_COLORARG1] = D3DTA_TEXTURE;
    tss_[s][D3DTSS_COLORARG2] = D3DTA_CURRENT;
    tss_[s][D3DTSS_ALPHAOP] = s == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
    tss_[s][D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
    tss_[s][D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
    tss_[s][D3DTSS_MAGFILTER] = D3DTFG_POINT;
    tss_[s][D3DTSS_MINFILTER] = D3DTFN_POINT;
  }
}

IDirect3DDevice::~IDirect3DDevice() = default;

HRESULT IDirect3DDevice::GetCaps(D3DDEVICEDESC* Desc) const {
  if (!Desc) return DDERR_INVALIDPARAMS;
  const uint32_t size = Desc->dwSize;
  *Desc = IsHardware() ? info_.HWDesc : info_.HELDesc;
  Desc->dwSize = size;
  return DD_OK;
}

HRESULT IDirect3DDevice::EnumTextureFormats(const TEnumTextureFormatsCallback& Callback) const {
  if (!Callback) return DDERR_INVALIDPARAMS;
  for (const DDPIXELFORMAT& f : D3DSoftwareTextureFormats())
    if (Callback(f) == D3DENUMRET_CANCEL) break;
  return DD_OK;
}

HRESULT IDirect3DDevice::SetRenderTarget(IDirectDrawSurface* Target, uint32_t) {
  if (!Target) return DDERR_INVALIDPARAMS;
  if (Consume(gFaults.FailSetRenderTarget)) return DDERR_GENERIC;
  const uint32_t bits = Target->PixelFormat().dwRGBBitCount;
  if (bits != 16 && bits != 32) return DDERR_INVALIDPIXELFORMAT;
  target_ = Target->shared_from_this();
  return DD_OK;
}

HRESULT IDirect3DDevice::SetTexture(uint32_t Stage, IDirectDrawSurface* Texture) {
  if (Stage >= D3DMAX_TEXTURESTAGES) return DDERR_INVALIDPARAMS;
  if (Texture && Consume(gFaults.FailSetTexture)) return DDERR_GENERIC;
  if (Texture && Texture->IsLost() != DD_OK) return DDERR_SURFACELOST;
  textures_[Stage] = Texture ? Texture->shared_from_this() : nullptr;
  return DD_OK;
}

IDirectDrawSurface* IDirect3DDevice::Texture(uint32_t Stage) const {
  return Stage < D3DMAX_TEXTURESTAGES ? textures_[Stage].get() : nullptr;
}

HRESULT IDirect3DDevice::SetRenderState(D3DRENDERSTATETYPE State, uint32_t Value) {
  if (State >= D3DRENDERSTATE_COUNT) return DDERR_INVALIDPARAMS;
  rs_[State] = Value;
  return DD_OK;
}

HRESULT IDirect3DDevice::GetRenderState(D3DRENDERSTATETYPE State, uint32_t* Value) const {
  if (State >= D3DRENDERSTATE_COUNT || !Value) return DDERR_INVALIDPARAMS;
  *Value = rs_[State];
  return DD_OK;
}

HRESULT IDirect3DDevice::SetTextureStageState(uint32_t Stage, D3DTEXTURESTAGESTATETYPE Type,
                                              uint32_t Value) {
  if (Stage >= D3DMAX_TEXTURESTAGES || Type >= D3DTSS_COUNT) return DDERR_INVALIDPARAMS;
  tss_[Stage][Type] = Value;
  return DD_OK;
}

HRESULT IDirect3DDevice::GetTextureStageState(uint32_t Stage, D3DTEXTURESTAGESTATETYPE Type,
                                              uint32_t* Value) const {
  if (Stage >= D3DMAX_TEXTURESTAGES || Type >= D3DTSS_COUNT || !Value)
    return DDERR_INVALIDPARAMS;
  *Value = tss_[Stage][Type];
  return DD_OK;
}

HRESULT IDirect3DDevice::DrawPrimitive(D3DPRIMITIVETYPE Type, uint32_t VertexFormat,
                                       const void* Vertices, uint32_t Count, uint32_t) {
  if (Type != D3DPT_TRIANGLESTRIP || VertexFormat != D3DFVF_TLVERTEX || !Vertices)
    return D3DERR_INVALIDCALL;
  if (Consume(gFaults.FailDrawPrimitive)) return DDERR_GENERIC;
  const auto* v = static_cast<const D3DTLVERTEX*>(Vertices);
  last_.assign(v, v + Count);
  ++draws_;
  if (!target_) return D3DERR_INVALIDCALL;
  TLocked target;
  if (HRESULT r = target.Lock(target_.get()); r != DD_OK) return r;
  const TFormat targetFormat(target_->PixelFormat());
  TPipeline p;
  p.Target = &target;
  p.TargetFormat = &targetFormat;
  TLocked tex;
  std::unique_ptr<TFormat> texFormat;
  IDirectDrawSurface* t = textures_[0].get();
  if (t) {
    if (HRESULT r = tex.Lock(t); r != DD_OK) return r;
    PDirectDrawPalette pal;
    t->GetPalette(&pal);
    texFormat = std::make_unique<TFormat>(t->PixelFormat(), pal);
    p.Tex = &tex;
    p.TexFormat = texFormat.get();
    p.TexPow2 = std::has_single_bit(static_cast<uint32_t>(tex.Width)) &&
                std::has_single_bit(static_cast<uint32_t>(tex.Height));
    DDCOLORKEY key;
    if (rs_[D3DRENDERSTATE_COLORKEYENABLE] && t->GetColorKey(DDCKEY_SRCBLT, &key) == DD_OK) {
      p.Keyed = true;
      p.KeyLo = key.dwColorSpaceLowValue;
      p.KeyHi = std::max(key.dwColorSpaceLowValue, key.dwColorSpaceHighValue);
    }
    p.Linear = tss_[0][D3DTSS_MAGFILTER] == D3DTFG_LINEAR;
  }
  p.Blend = rs_[D3DRENDERSTATE_ALPHABLENDENABLE] != 0;
  p.SrcBlend = rs_[D3DRENDERSTATE_SRCBLEND];
  p.DestBlend = rs_[D3DRENDERSTATE_DESTBLEND];
  p.ColorOp = tss_[0][D3DTSS_COLOROP];
  p.ColorArg1 = tss_[0][D3DTSS_COLORARG1];
  p.ColorArg2 = tss_[0][D3DTSS_COLORARG2];
  p.AlphaOp = tss_[0][D3DTSS_ALPHAOP];
  p.AlphaArg1 = tss_[0][D3DTSS_ALPHAARG1];
  p.AlphaArg2 = tss_[0][D3DTSS_ALPHAARG2];
  if (p.ColorOp == D3DTOP_DISABLE) {
    // A disabled first stage passes the diffuse colour through.
    p.ColorOp = p.AlphaOp = D3DTOP_SELECTARG1;
    p.ColorArg1 = p.AlphaArg1 = D3DTA_DIFFUSE;
  }
  if (Count == 4 && FillRectangle(p, v, t != nullptr)) return DD_OK;
  for (uint32_t i = 0; i + 2 < Count; ++i) FillTriangle(p, &v[i], &v[i + 1], &v[i + 2], t != nullptr);
  return DD_OK;
}
