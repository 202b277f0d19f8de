#include "platform/ddraw/ddraw.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "platform/cpu/cpu.h"
#include "platform/ddraw/ddraw_seam.h"
#include "platform/gdi/pixel_access.h"
#include "platform/win/library.h"

// Where a keyed 16-bit picture is opaque. Pictures on surfaces rarely
// change between draws, so this is kept with the pixels and dropped
// whenever the pixels may change (a lock and its unlock, a device context
// and its release, a blit or fill onto the surface, a restore); a picture
// drawn every frame is scanned for its key once. Drawn from stale tables a
// picture would show its old pixels, or lose new ones outside its old spans.
struct TDDKeyedMasks {
  // Row0 points into Opaque: a copy would point into the original's.
  TDDKeyedMasks() = default;
  TDDKeyedMasks(const TDDKeyedMasks&) = delete;
  TDDKeyedMasks& operator=(const TDDKeyedMasks&) = delete;

  uint32_t KeyLo = 0, KeyHi = 0;
  // One bit per pixel (set: opaque), rows of MaskStride bytes with room to
  // read 8 bytes from any pixel of a row.
  uint32_t MaskStride = 0;
  std::vector<uint8_t> Mask;
  // The picture with every keyed pixel set to KeyLo, which no opaque pixel
  // has: one comparison per pixel then tells keyed from opaque even where
  // the key is a range. Rows of OpaqueStride pixels in Opaque, the first at
  // Row0, each starting a cache line: a row of up to 32 pixels is then read
  // from one line, and the wide loads neither split across two nor run as
  // fast or slow as wherever the heap put the table.
  static constexpr size_t kLine = 64;
  std::vector<uint16_t> Opaque;
  uint16_t* Row0 = nullptr;
  size_t OpaqueStride = 0;
  // Where each row is opaque: from its first opaque column to past its last
  // (First == End: the row is clear), and whether every pixel between is
  // opaque, so that a draw neither reads nor compares what lies outside and
  // copies a solid stretch without looking at the key.
  struct TRowSpan {
    uint32_t First = 0, End = 0;
    bool Solid = false;
  };
  std::vector<TRowSpan> Rows;
  // The rows from the first that holds an opaque pixel to past the last.
  uint32_t RowFirst = 0, RowEnd = 0;
};

struct TDDSurfaceMemory {
  std::vector<uint8_t> Bytes;
  uint32_t Width = 0, Height = 0;
  int32_t Pitch = 0;
  DDPIXELFORMAT Format;
  bool Lost = false;
  std::shared_ptr<const TDDKeyedMasks> KeyedMasks;
  // Keyed blits from these pixels since they last changed: the masks are
  // worked out at the second, so a picture redrawn before every blit is not
  // scanned for nothing.
  uint32_t UnchangedBlits = 0;

  // The pixels may change: what was worked out about them goes.
  void Written() {
    KeyedMasks.reset();
    UnchangedBlits = 0;
  }
};

namespace {

IDDVideoOutput* gOutput = nullptr;
TDDFaults gFaults;
std::vector<std::weak_ptr<IDirectDraw>> gDevices;
std::vector<TDDDriverInfo> gDrivers = DDDefaultDrivers();

// Larger surfaces are refused rather than allocated: sizes can come from
// stored data.
constexpr uint64_t kMaxSurfacePixels = 64ull * 1024 * 1024;

// The widest vectors the blitter and the present use: 512 bits where the
// processor has the byte and word instructions of that width, else 256 where
// it has them, else none; tests lower the limit to reach every path.
int gVectorLimit = 512;
}  // namespace

int DDVectorBits() {
  const TCpuFeatures& c = CpuFeatures();
  return CpuVectorBits(c.Avx512F && c.Avx512Bw && c.Avx512Vbmi, gVectorLimit);
}

namespace {

bool Consume(int& counter) {
  if (counter <= 0) return false;
  --counter;
  return true;
}

bool SameFormat(const DDPIXELFORMAT& a, const DDPIXELFORMAT& b) {
  return a.dwRGBBitCount == b.dwRGBBitCount && a.dwRBitMask == b.dwRBitMask &&
         a.dwGBitMask == b.dwGBitMask && a.dwBBitMask == b.dwBBitMask &&
         (a.dwFlags & (DDPF_RGB | DDPF_PALETTEINDEXED8)) ==
             (b.dwFlags & (DDPF_RGB | DDPF_PALETTEINDEXED8));
}

bool Inside(const TRect& r, uint32_t w, uint32_t h) {
  return r.Left >= 0 && r.Top >= 0 && r.Left < r.Right && r.Top < r.Bottom &&
         r.Right <= static_cast<int64_t>(w) && r.Bottom <= static_cast<int64_t>(h);
}

TRect Intersect(const TRect& a, const TRect& b) {
  return TRect{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
               std::min(a.Bottom, b.Bottom)};
}

bool Empty(const TRect& r) {
  return r.Left >= r.Right || r.Top >= r.Bottom;
}

uint32_t BytesPerPixel(const DDPIXELFORMAT& f) {
  return (f.dwRGBBitCount + 7) / 8;
}

// Pixels of 1 to 4 whole bytes; any other width reads and writes 32 bits.
int32_t PixelBits(uint32_t bpp) {
  return bpp >= 1 && bpp <= 3 ? static_cast<int32_t>(bpp * 8) : 32;
}

uint32_t ReadPixel(const uint8_t* p, uint32_t bpp) {
  return ReadRowPixel(p, 0, PixelBits(bpp));
}

void WritePixel(uint8_t* p, uint32_t bpp, uint32_t v) {
  WriteRowPixel(p, 0, PixelBits(bpp), v);
}

// Runs of 16-bit pixels are filled with the widest stores the processor
// has: an unaligned store at each end and aligned stores between, so every
// line of the run is written whole. The stores go through the cache, since
// the sprites and the present read the surface right after the clear. Four
// stores a turn of the loop: a processor takes at most one taken branch a
// cycle, and with one store a turn the branch, not the stores, would set the
// pace (the baseline's 16-byte stores ran at half the speed they can).
#if defined(__x86_64__)
template <size_t Bytes>
uint8_t* AlignUp(uint16_t* p) {
  return reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(p) + Bytes - 1) & ~(Bytes - 1));
}
template <size_t Bytes>
uint8_t* AlignDown(uint16_t* p) {
  return reinterpret_cast<uint8_t*>(reinterpret_cast<uintptr_t>(p) & ~(Bytes - 1));
}

// Runs of at least this many bytes go to the processor's string store
// instead, on the baseline path: it writes whole lines at a time through the
// cache, faster than 16-byte stores can, but takes a while to start.
constexpr size_t kStringStoreBytes = 4096;

void Fill16Sse2(uint16_t* d, size_t n, uint16_t v) {
  if (n < 8) {
    std::fill_n(d, n, v);
    return;
  }
  const __m128i c = _mm_set1_epi16(static_cast<short>(v));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(d), c);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(d + n - 8), c);
  if (n * 2 >= kStringStoreBytes) {
    // Eight-byte words from the first aligned one; the stores above cover
    // the ends. An aligned word starts on a pixel, so each holds four.
    void* p = AlignUp<8>(d);
    size_t words = static_cast<size_t>(AlignDown<8>(d + n) - static_cast<uint8_t*>(p)) / 8;
    asm volatile("rep stosq"
                 : "+D"(p), "+c"(words)
                 : "a"(uint64_t{v} * 0x0001000100010001ull)
                 : "memory");
    return;
  }
  uint8_t *p = AlignUp<16>(d), *end = AlignDown<16>(d + n);
  for (; end - p >= 64; p += 64) {
    _mm_store_si128(reinterpret_cast<__m128i*>(p), c);
    _mm_store_si128(reinterpret_cast<__m128i*>(p + 16), c);
    _mm_store_si128(reinterpret_cast<__m128i*>(p + 32), c);
    _mm_store_si128(reinterpret_cast<__m128i*>(p + 48), c);
  }
  for (; p < end; p += 16) _mm_store_si128(reinterpret_cast<__m128i*>(p), c);
}

__attribute__((target("avx2"))) void Fill16Avx2(uint16_t* d, size_t n, uint16_t v) {
  if (n < 16) return Fill16Sse2(d, n, v);
  const __m256i c = _mm256_set1_epi16(static_cast<short>(v));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), c);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + n - 16), c);
  uint8_t *p = AlignUp<32>(d), *end = AlignDown<32>(d + n);
  for (; end - p >= 128; p += 128) {
    _mm256_store_si256(reinterpret_cast<__m256i*>(p), c);
    _mm256_store_si256(reinterpret_cast<__m256i*>(p + 32), c);
    _mm256_store_si256(reinterpret_cast<__m256i*>(p + 64), c);
    _mm256_store_si256(reinterpret_cast<__m256i*>(p + 96), c);
  }
  for (; p < end; p += 32) _mm256_store_si256(reinterpret_cast<__m256i*>(p), c);
}

__attribute__((target("avx512f,avx512bw"))) void Fill16Avx512(uint16_t* d, size_t n, uint16_t v) {
  if (n < 32) return Fill16Avx2(d, n, v);
  const __m512i c = _mm512_set1_epi16(static_cast<short>(v));
  _mm512_storeu_si512(d, c);
  _mm512_storeu_si512(d + n - 32, c);
  uint8_t *p = AlignUp<64>(d), *end = AlignDown<64>(d + n);
  for (; end - p >= 256; p += 256) {
    _mm512_store_si512(p, c);
    _mm512_store_si512(p + 64, c);
    _mm512_store_si512(p + 128, c);
    _mm512_store_si512(p + 192, c);
  }
  for (; p < end; p += 64) _mm512_store_si512(p, c);
}
#endif

void Fill16(uint16_t* d, size_t n, uint16_t v) {
#if defined(__x86_64__)
  switch (DDVectorBits()) {
    case 512:
      return Fill16Avx512(d, n, v);
    case 256:
      return Fill16Avx2(d, n, v);
    default:
      return Fill16Sse2(d, n, v);
  }
#else
  std::fill_n(d, n, v);
#endif
}

void FillRows(TDDSurfaceMemory& m, const TRect& r, uint32_t color) {
  uint32_t bpp = BytesPerPixel(m.Format);
  const size_t n = static_cast<size_t>(r.Right - r.Left);
  const size_t rows = static_cast<size_t>(r.Bottom - r.Top);
  uint8_t* first = m.Bytes.data() + static_cast<size_t>(r.Top) * static_cast<size_t>(m.Pitch) +
                   static_cast<size_t>(r.Left) * bpp;
  if (bpp == 2 && (reinterpret_cast<uintptr_t>(first) & 1) == 0 && (m.Pitch & 1) == 0) {
    auto* d = reinterpret_cast<uint16_t*>(first);
    const auto v = static_cast<uint16_t>(color);
    if (n * 2 == static_cast<size_t>(m.Pitch))
      Fill16(d, n * rows, v);  // whole rows: one run
    else
      for (size_t y = 0; y < rows; ++y) Fill16(d + y * static_cast<size_t>(m.Pitch) / 2, n, v);
    return;
  }
  for (size_t y = 0; y < rows; ++y) {
    uint8_t* row = first + y * static_cast<size_t>(m.Pitch);
    if (bpp == 2) {
      uint16_t v = static_cast<uint16_t>(color);
      for (size_t i = 0; i < n; ++i) std::memcpy(row + 2 * i, &v, 2);
    } else if (bpp == 1) {
      std::memset(row, static_cast<int>(color & 0xFF), n);
    } else {
      for (size_t i = 0; i < n; ++i) WritePixel(row + i * bpp, bpp, color);
    }
  }
}

// The hot loop of sprite drawing: eight pixels at a time where the key is a
// single value (the game's case).
void CopyRowKeyed16(uint16_t* __restrict d, const uint16_t* __restrict s, int n, uint16_t key) {
  int i = 0;
#if defined(__SSE2__)
  const __m128i k = _mm_set1_epi16(static_cast<short>(key));
  for (; i + 8 <= n; i += 8) {
    __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
    __m128i m = _mm_cmpeq_epi16(sv, k);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i),
                     _mm_or_si128(_mm_and_si128(m, dv), _mm_andnot_si128(m, sv)));
  }
#endif
  for (; i < n; ++i) d[i] = s[i] == key ? d[i] : s[i];
}

template <class T>
void CopyRowKeyed(T* __restrict d, const T* __restrict s, int n, T lo, T hi) {
  if (lo == hi) {
    for (int i = 0; i < n; ++i) d[i] = s[i] == lo ? d[i] : s[i];
  } else {
    for (int i = 0; i < n; ++i) d[i] = (s[i] >= lo && s[i] <= hi) ? d[i] : s[i];
  }
}

const TDDKeyedMasks& KeyedMasksOf(TDDSurfaceMemory& m, DDCOLORKEY key) {
  if (m.KeyedMasks && m.KeyedMasks->KeyLo == key.dwColorSpaceLowValue &&
      m.KeyedMasks->KeyHi == key.dwColorSpaceHighValue)
    return *m.KeyedMasks;
  auto masks = std::make_shared<TDDKeyedMasks>();
  masks->KeyLo = key.dwColorSpaceLowValue;
  masks->KeyHi = key.dwColorSpaceHighValue;
  masks->MaskStride = (m.Width + 7) / 8 + 8;
  masks->Mask.assign(static_cast<size_t>(masks->MaskStride) * m.Height, 0);
  constexpr size_t kLinePixels = TDDKeyedMasks::kLine / 2;
  masks->OpaqueStride = (size_t{m.Width} + kLinePixels - 1) / kLinePixels * kLinePixels;
  masks->Opaque.assign(masks->OpaqueStride * m.Height + kLinePixels,
                       static_cast<uint16_t>(masks->KeyLo));
  masks->Row0 = reinterpret_cast<uint16_t*>(
      (reinterpret_cast<uintptr_t>(masks->Opaque.data()) + TDDKeyedMasks::kLine - 1) &
      ~uintptr_t{TDDKeyedMasks::kLine - 1});
  masks->Rows.resize(m.Height);
  masks->RowFirst = m.Height;
  for (uint32_t y = 0; y < m.Height; ++y) {
    const uint8_t* row = m.Bytes.data() + static_cast<size_t>(y) * static_cast<size_t>(m.Pitch);
    TDDKeyedMasks::TRowSpan& span = masks->Rows[y];
    uint32_t opaque = 0;
    for (uint32_t x = 0; x < m.Width; ++x) {
      uint16_t v;
      std::memcpy(&v, row + 2 * x, 2);
      if (v >= masks->KeyLo && v <= masks->KeyHi) continue;
      masks->Mask[static_cast<size_t>(y) * masks->MaskStride + x / 8] |=
          static_cast<uint8_t>(1u << (x % 8));
      masks->Row0[y * masks->OpaqueStride + x] = v;
      if (!opaque++) span.First = x;
      span.End = x + 1;
    }
    if (!opaque) continue;
    span.Solid = opaque == span.End - span.First;
    masks->RowFirst = std::min(masks->RowFirst, y);
    masks->RowEnd = y + 1;
  }
  m.KeyedMasks = std::move(masks);
  return *m.KeyedMasks;
}

// A keyed draw of a picture's opaque pixels (TDDKeyedMasks::Row0): Count
// picture rows, columns X0 to X0 + W, onto D, the destination of the first
// row's column X0, rows DP bytes apart. The kernels take it by value and
// keep its pointers in registers: a store through a pixel pointer could
// otherwise alias anything, and every row would read them again.
struct TKeyedDraw {
  uint8_t* D;
  size_t DP;
  const TDDKeyedMasks::TRowSpan* Rows;  // the first row's
  const uint16_t* Opaque;               // the first row's column X0
  size_t OpaqueStride;
  const uint8_t* Mask;  // the first row's bits
  size_t MaskStride;
  uint32_t Count;
  uint32_t X0, W;
  uint16_t Hole;
};

// The columns of one row to draw, counted from the draw's first column:
// what the row's opaque span and the draw's columns have in common.
inline bool RowWindow(const TDDKeyedMasks::TRowSpan& r, uint32_t x0, uint32_t w, uint32_t& from,
                      uint32_t& to) {
  const uint32_t lo = std::max(r.First, x0), hi = std::min(r.End, x0 + w);
  if (lo >= hi) return false;
  from = lo - x0;
  to = hi - x0;
  return true;
}

// Each kernel draws every row either whole (Windows false) or only its
// window. A row of one or two vectors costs less drawn whole than the
// branches a window takes, so windows are for draws wider than that.
//
// A row or window is drawn in moves of one vector each: two where it is at
// most two vectors wide, four where at most four, the later ones
// overlapping the earlier where it is no multiple of a vector. Every move
// of a row loads before the first one stores, so an overlapping move reads
// the destination as it was, and a keyed pixel of the picture (the hole
// value, which no opaque pixel has) leaves it as it was: the result is the
// one of a pixel at a time. A window narrower than a vector is widened to
// one within the draw's columns, which takes in only keyed pixels. Sizes
// rather than a loop keep the branches few and predictable on rows of
// varying width. A solid window is copied without looking at the key.
#if defined(__SSE2__)
inline __m128i Load8(const uint16_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline void Store8(uint16_t* p, __m128i v) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}
template <bool Solid>
inline __m128i Move8(const uint16_t* s, const uint16_t* d, __m128i hole) {
  const __m128i v = Load8(s);
  if constexpr (Solid) return v;
  const __m128i m = _mm_cmpeq_epi16(v, hole);
  return _mm_or_si128(_mm_andnot_si128(m, v), _mm_and_si128(m, Load8(d)));
}

// N pixels, at least eight.
template <bool Solid>
inline void DrawRunSse2(uint16_t* o, const uint16_t* p, uint32_t n, __m128i hole) {
  if (n <= 16) {
    const __m128i a = Move8<Solid>(p, o, hole), b = Move8<Solid>(p + n - 8, o + n - 8, hole);
    Store8(o, a);
    Store8(o + n - 8, b);
  } else if (n <= 32) {
    const __m128i a = Move8<Solid>(p, o, hole), b = Move8<Solid>(p + 8, o + 8, hole);
    const __m128i c = Move8<Solid>(p + n - 16, o + n - 16, hole);
    const __m128i e = Move8<Solid>(p + n - 8, o + n - 8, hole);
    Store8(o, a);
    Store8(o + 8, b);
    Store8(o + n - 16, c);
    Store8(o + n - 8, e);
  } else {
    const __m128i last = Move8<Solid>(p + n - 8, o + n - 8, hole);
    for (uint32_t i = 0; i + 8 < n; i += 8) Store8(o + i, Move8<Solid>(p + i, o + i, hole));
    Store8(o + n - 8, last);
  }
}
#endif

// One row of a draw: Out and S at the draw's first column, the window From
// to To within its W columns.
inline void DrawRowSse2(uint16_t* out, const uint16_t* s, uint32_t from, uint32_t to, uint32_t w,
                        bool solid, uint16_t hole) {
#if defined(__SSE2__)
  const __m128i h = _mm_set1_epi16(static_cast<short>(hole));
  if (to - from >= 8) {
    if (solid)
      DrawRunSse2<true>(out + from, s + from, to - from, h);
    else
      DrawRunSse2<false>(out + from, s + from, to - from, h);
    return;
  }
  if (w >= 8) {
    from = std::min(from, w - 8);
    Store8(out + from, Move8<false>(s + from, out + from, h));
    return;
  }
#else
  (void)w;
  (void)solid;
#endif
  for (uint32_t i = from; i < to; ++i)
    if (s[i] != hole) out[i] = s[i];
}

template <bool Windows>
__attribute__((noinline)) void DrawKeyedSse2(const TKeyedDraw k) {
  uint8_t* d = k.D;
  const uint16_t* s = k.Opaque;
  for (uint32_t y = 0; y < k.Count; ++y, d += k.DP, s += k.OpaqueStride) {
    uint32_t from = 0, to = k.W;
    if (Windows && !RowWindow(k.Rows[y], k.X0, k.W, from, to)) continue;
    DrawRowSse2(reinterpret_cast<uint16_t*>(d), s, from, to, k.W, Windows && k.Rows[y].Solid,
                k.Hole);
  }
}

#if defined(__x86_64__)
// Sixteen pixels a move with 256-bit vectors; a window narrower than that
// within a draw narrower than that goes eight at a time.
__attribute__((target("avx2"))) inline __m256i Load16(const uint16_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
__attribute__((target("avx2"))) inline void Store16(uint16_t* p, __m256i v) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}
template <bool Solid>
__attribute__((target("avx2"))) inline __m256i Move16(const uint16_t* s, const uint16_t* d,
                                                      __m256i hole) {
  const __m256i v = Load16(s);
  if constexpr (Solid) return v;
  return _mm256_blendv_epi8(v, Load16(d), _mm256_cmpeq_epi16(v, hole));
}

template <bool Solid>
__attribute__((target("avx2"))) inline void DrawRunAvx2(uint16_t* o, const uint16_t* p, uint32_t n,
                                                        __m256i hole) {
  if (n <= 32) {
    const __m256i a = Move16<Solid>(p, o, hole), b = Move16<Solid>(p + n - 16, o + n - 16, hole);
    Store16(o, a);
    Store16(o + n - 16, b);
  } else if (n <= 64) {
    const __m256i a = Move16<Solid>(p, o, hole), b = Move16<Solid>(p + 16, o + 16, hole);
    const __m256i c = Move16<Solid>(p + n - 32, o + n - 32, hole);
    const __m256i e = Move16<Solid>(p + n - 16, o + n - 16, hole);
    Store16(o, a);
    Store16(o + 16, b);
    Store16(o + n - 32, c);
    Store16(o + n - 16, e);
  } else {
    const __m256i last = Move16<Solid>(p + n - 16, o + n - 16, hole);
    for (uint32_t i = 0; i + 16 < n; i += 16) Store16(o + i, Move16<Solid>(p + i, o + i, hole));
    Store16(o + n - 16, last);
  }
}

template <bool Windows>
__attribute__((target("avx2"), noinline)) void DrawKeyedAvx2(const TKeyedDraw k) {
  const __m256i h = _mm256_set1_epi16(static_cast<short>(k.Hole));
  uint8_t* d = k.D;
  const uint16_t* s = k.Opaque;
  for (uint32_t y = 0; y < k.Count; ++y, d += k.DP, s += k.OpaqueStride) {
    uint32_t from = 0, to = k.W;
    if (Windows && !RowWindow(k.Rows[y], k.X0, k.W, from, to)) continue;
    auto* out = reinterpret_cast<uint16_t*>(d);
    const bool solid = Windows && k.Rows[y].Solid;
    if (to - from >= 16) {
      if (solid)
        DrawRunAvx2<true>(out + from, s + from, to - from, h);
      else
        DrawRunAvx2<false>(out + from, s + from, to - from, h);
    } else if (k.W >= 16) {
      from = std::min(from, k.W - 16);
      Store16(out + from, Move16<false>(s + from, out + from, h));
    } else {
      DrawRowSse2(out, s, from, to, k.W, solid, k.Hole);
    }
  }
}

// Thirty-two pixels a step: the picture's own bits say which to store, so
// keyed pixels are neither compared nor branched on, and the masked load
// reads nothing outside the row or its window.
template <bool Windows>
__attribute__((target("avx512f,avx512bw"), noinline)) void DrawKeyedAvx512(const TKeyedDraw k) {
  uint8_t* d = k.D;
  const uint16_t* s = k.Opaque;
  const uint8_t* bitsRow = k.Mask;
  for (uint32_t y = 0; y < k.Count; ++y, d += k.DP, s += k.OpaqueStride, bitsRow += k.MaskStride) {
    uint32_t from = 0, to = k.W;
    if (Windows && !RowWindow(k.Rows[y], k.X0, k.W, from, to)) continue;
    for (uint32_t i = from; i < to; i += 32) {
      const uint32_t at = k.X0 + i;
      uint64_t bits;
      std::memcpy(&bits, bitsRow + at / 8, 8);
      // No more than the row's pixels, without a branch on how many.
      const auto mask =
          static_cast<uint32_t>((bits >> (at % 8)) & (~0ull >> (64 - std::min(to - i, 32u))));
      const __m512i v = _mm512_maskz_loadu_epi16(mask, s + i);
      _mm512_mask_storeu_epi16(d + 2 * size_t{i}, mask, v);
    }
  }
}
#endif

// Draws K with the widest vectors in use: rows whole where the draw is at
// most two vectors wide, else their windows.
void DrawKeyed(const TKeyedDraw& k) {
#if defined(__x86_64__)
  switch (DDVectorBits()) {
    case 512:
      return k.W <= 64 ? DrawKeyedAvx512<false>(k) : DrawKeyedAvx512<true>(k);
    case 256:
      return k.W <= 32 ? DrawKeyedAvx2<false>(k) : DrawKeyedAvx2<true>(k);
  }
#endif
  return k.W <= 16 ? DrawKeyedSse2<false>(k) : DrawKeyedSse2<true>(k);
}

// Copies Src (in source memory) onto Dst, where Full/FullSrc are the whole
// unclipped rectangles that give the stretch mapping. Masks, when given, say
// where the source is opaque.
void BlitPart(TDDSurfaceMemory& dm, const TDDSurfaceMemory& sm, const TRect& dst, const TRect& full,
              const TRect& fullSrc, bool keyed, DDCOLORKEY key, const TDDKeyedMasks* masks) {
  uint32_t bpp = BytesPerPixel(dm.Format);
  int fw = full.Right - full.Left, fh = full.Bottom - full.Top;
  int sw = fullSrc.Right - fullSrc.Left, sh = fullSrc.Bottom - fullSrc.Top;
  bool stretch = fw != sw || fh != sh;
  const size_t dp = static_cast<size_t>(dm.Pitch), sp = static_cast<size_t>(sm.Pitch);
  if (!stretch) {
    int sx = fullSrc.Left + (dst.Left - full.Left);
    int n = dst.Right - dst.Left;
    if (keyed && masks) {
      // Only the rows that hold an opaque pixel are visited.
      const auto sy = static_cast<uint32_t>(fullSrc.Top + (dst.Top - full.Top));
      const uint32_t from = std::max(sy, masks->RowFirst);
      const uint32_t to = std::min(sy + static_cast<uint32_t>(dst.Bottom - dst.Top), masks->RowEnd);
      if (from >= to) return;
      const TKeyedDraw k{
          dm.Bytes.data() + (dst.Top + size_t{from - sy}) * dp + static_cast<size_t>(dst.Left) * 2,
          dp,
          masks->Rows.data() + from,
          masks->Row0 + from * masks->OpaqueStride + static_cast<size_t>(sx),
          masks->OpaqueStride,
          masks->Mask.data() + size_t{from} * masks->MaskStride,
          masks->MaskStride,
          to - from,
          static_cast<uint32_t>(sx),
          static_cast<uint32_t>(n),
          static_cast<uint16_t>(masks->KeyLo)};
      return DrawKeyed(k);
    }
    for (int y = dst.Top; y < dst.Bottom; ++y) {
      int sy = fullSrc.Top + (y - full.Top);
      uint8_t* d =
          dm.Bytes.data() + static_cast<size_t>(y) * dp + static_cast<size_t>(dst.Left) * bpp;
      const uint8_t* s =
          sm.Bytes.data() + static_cast<size_t>(sy) * sp + static_cast<size_t>(sx) * bpp;
      if (!keyed) {
        std::memmove(d, s, static_cast<size_t>(n) * bpp);
      } else if (bpp == 2 && key.dwColorSpaceLowValue == key.dwColorSpaceHighValue &&
                 (reinterpret_cast<uintptr_t>(d) & 1) == 0 &&
                 (reinterpret_cast<uintptr_t>(s) & 1) == 0) {
        CopyRowKeyed16(reinterpret_cast<uint16_t*>(d), reinterpret_cast<const uint16_t*>(s), n,
                       static_cast<uint16_t>(key.dwColorSpaceLowValue));
      } else if (bpp == 2 && (reinterpret_cast<uintptr_t>(d) & 1) == 0 &&
                 (reinterpret_cast<uintptr_t>(s) & 1) == 0) {
        CopyRowKeyed(reinterpret_cast<uint16_t*>(d), reinterpret_cast<const uint16_t*>(s), n,
                     static_cast<uint16_t>(key.dwColorSpaceLowValue),
                     static_cast<uint16_t>(key.dwColorSpaceHighValue));
      } else if (bpp == 4 && (reinterpret_cast<uintptr_t>(d) & 3) == 0 &&
                 (reinterpret_cast<uintptr_t>(s) & 3) == 0) {
        CopyRowKeyed(reinterpret_cast<uint32_t*>(d), reinterpret_cast<const uint32_t*>(s), n,
                     key.dwColorSpaceLowValue, key.dwColorSpaceHighValue);
      } else if (bpp == 1) {
        CopyRowKeyed(d, s, n, static_cast<uint8_t>(key.dwColorSpaceLowValue),
                     static_cast<uint8_t>(key.dwColorSpaceHighValue));
      } else {
        for (int i = 0; i < n; ++i) {
          uint32_t v = ReadPixel(s + static_cast<size_t>(i) * bpp, bpp);
          if (v < key.dwColorSpaceLowValue || v > key.dwColorSpaceHighValue)
            WritePixel(d + static_cast<size_t>(i) * bpp, bpp, v);
        }
      }
    }
    return;
  }
  // Stretching samples the source at each destination pixel's centre.
  std::vector<int> cols(static_cast<size_t>(dst.Right - dst.Left));
  for (int x = dst.Left; x < dst.Right; ++x)
    cols[static_cast<size_t>(x - dst.Left)] =
        fullSrc.Left + static_cast<int>(((2 * static_cast<int64_t>(x - full.Left) + 1) * sw) /
                                        (2 * static_cast<int64_t>(fw)));
  for (int y = dst.Top; y < dst.Bottom; ++y) {
    int sy = fullSrc.Top + static_cast<int>(((2 * static_cast<int64_t>(y - full.Top) + 1) * sh) /
                                            (2 * static_cast<int64_t>(fh)));
    uint8_t* d = dm.Bytes.data() + static_cast<size_t>(y) * dp;
    const uint8_t* s = sm.Bytes.data() + static_cast<size_t>(sy) * sp;
    for (int x = dst.Left; x < dst.Right; ++x) {
      uint32_t v =
          ReadPixel(s + static_cast<size_t>(cols[static_cast<size_t>(x - dst.Left)]) * bpp, bpp);
      if (keyed && v >= key.dwColorSpaceLowValue && v <= key.dwColorSpaceHighValue) continue;
      WritePixel(d + static_cast<size_t>(x) * bpp, bpp, v);
    }
  }
}

TGdiPixelFormat GdiFormat(const DDPIXELFORMAT& f) {
  if (f.dwRGBBitCount <= 8) return TGdiPixelFormat::Indexed(static_cast<int>(f.dwRGBBitCount));
  return TGdiPixelFormat::Masks(static_cast<int>(f.dwRGBBitCount), f.dwRBitMask, f.dwGBitMask,
                                f.dwBBitMask);
}

std::vector<TDDDisplayMode> DefaultModes() {
  std::vector<TDDDisplayMode> modes;
  for (uint32_t bits : {8u, 16u, 32u})
    for (auto [w, h] : {std::pair{640u, 480u}, {800u, 600u}, {1024u, 768u}})
      modes.push_back({w, h, bits});
  return modes;
}

std::vector<TDDDisplayMode> CurrentModes() {
  return gOutput ? gOutput->DisplayModes() : DefaultModes();
}

}  // namespace

DDPIXELFORMAT DDPixelFormat(uint32_t BitCount, bool RGB555) {
  DDPIXELFORMAT f;
  f.dwRGBBitCount = BitCount;
  if (BitCount <= 8) {
    f.dwFlags = DDPF_RGB | (BitCount == 8   ? DDPF_PALETTEINDEXED8
                            : BitCount == 4 ? DDPF_PALETTEINDEXED4
                                            : DDPF_PALETTEINDEXED1);
  } else if (BitCount == 16) {
    f.dwFlags = DDPF_RGB;
    f.dwRBitMask = RGB555 ? 0x7C00 : 0xF800;
    f.dwGBitMask = RGB555 ? 0x03E0 : 0x07E0;
    f.dwBBitMask = 0x001F;
  } else {
    f.dwFlags = DDPF_RGB;
    f.dwRBitMask = 0xFF0000;
    f.dwGBitMask = 0x00FF00;
    f.dwBBitMask = 0x0000FF;
  }
  return f;
}

void DDSetVideoOutput(IDDVideoOutput* Output) {
  gOutput = Output;
}
IDDVideoOutput* DDVideoOutput() {
  return gOutput;
}
TDDFaults& DDFaults() {
  return gFaults;
}

std::vector<TDDDriverInfo> DDDefaultDrivers() {
  TDDDriverInfo d;
  d.Caps.dwCaps = DDCAPS_3D;
  d.Caps.ddsCaps.dwCaps = DDSCAPS_TEXTURE | DDSCAPS_ZBUFFER | DDSCAPS_MIPMAP;
  d.Caps.dwVidMemTotal = d.Caps.dwVidMemFree = 32u << 20;
  return {d};
}

void DDSetDrivers(std::vector<TDDDriverInfo> Drivers) {
  gDrivers = Drivers.empty() ? DDDefaultDrivers() : std::move(Drivers);
}

const std::vector<TDDDriverInfo>& DDDrivers() {
  return gDrivers;
}

void DDLoseAllSurfaces() {
  for (auto& w : gDevices)
    if (auto d = w.lock()) d->LoseSurfaces();
}

// --- palette and clipper ----------------------------------------------------

HRESULT IDirectDrawPalette::GetEntries(uint32_t, uint32_t Start, uint32_t Count,
                                       PALETTEENTRY* Entries) const {
  if (!Entries || Start > 256 || Count > 256 - Start) return DDERR_INVALIDPARAMS;
  std::copy_n(entries_.begin() + Start, Count, Entries);
  return DD_OK;
}

HRESULT IDirectDrawPalette::SetEntries(uint32_t, uint32_t Start, uint32_t Count,
                                       const PALETTEENTRY* Entries) {
  if (!Entries || Start > 256 || Count > 256 - Start) return DDERR_INVALIDPARAMS;
  std::copy_n(Entries, Count, entries_.begin() + Start);
  return DD_OK;
}

HRESULT IDirectDrawClipper::SetClipList(const void* Region, uint32_t) {
  rects_.clear();
  bound_ = TRect{};
  hasList_ = false;
  if (!Region) return DD_OK;
  RGNDATAHEADER h;
  std::memcpy(&h, Region, sizeof h);
  if (h.dwSize != sizeof(RGNDATAHEADER) || h.iType != 1 || h.nRgnSize != h.nCount * 16)
    return DDERR_INVALIDPARAMS;
  const uint8_t* p = static_cast<const uint8_t*>(Region) + sizeof h;
  for (uint32_t i = 0; i < h.nCount; ++i) {
    TRect r;
    std::memcpy(&r, p + 16 * i, 16);
    rects_.push_back(r);
  }
  bound_ = h.rcBound;
  hasList_ = true;
  return DD_OK;
}

HRESULT IDirectDrawClipper::SetHWnd(uint32_t, DDWindow Window) {
  window_ = Window;
  return DD_OK;
}

HRESULT IDirectDrawClipper::GetClipList(std::vector<TRect>& Rects) const {
  if (!hasList_) return DDERR_NOCLIPLIST;
  Rects = rects_;
  return DD_OK;
}

HRESULT IDirectDrawGammaControl::GetGammaRamp(uint32_t, DDGAMMARAMP* Ramp) const {
  auto d = device_.lock();
  if (!d || !Ramp) return DDERR_INVALIDPARAMS;
  *Ramp = d->GammaRamp();
  return DD_OK;
}

HRESULT IDirectDrawGammaControl::SetGammaRamp(uint32_t, const DDGAMMARAMP* Ramp) {
  auto d = device_.lock();
  if (!d || !Ramp) return DDERR_INVALIDPARAMS;
  d->SetGammaRampInternal(*Ramp);
  return DD_OK;
}

// --- surface ----------------------------------------------------------------

IDirectDrawSurface::~IDirectDrawSurface() = default;

uint32_t IDirectDrawSurface::Width() const {
  return mem_ ? mem_->Width : 0;
}
uint32_t IDirectDrawSurface::Height() const {
  return mem_ ? mem_->Height : 0;
}
const DDPIXELFORMAT& IDirectDrawSurface::PixelFormat() const {
  static const DDPIXELFORMAT none;
  return mem_ ? mem_->Format : none;
}
bool IDirectDrawSurface::IsPrimary() const {
  return (caps_ & DDSCAPS_PRIMARYSURFACE) != 0;
}

HRESULT IDirectDrawSurface::GetSurfaceDesc(DDSURFACEDESC* Desc) const {
  if (!Desc) return DDERR_INVALIDPARAMS;
  uint32_t size = Desc->dwSize;
  *Desc = DDSURFACEDESC{};
  Desc->dwSize = size;
  Desc->dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT |
                  (hasSrcKey_ ? DDSD_CKSRCBLT : 0) | (back_ ? DDSD_BACKBUFFERCOUNT : 0);
  Desc->dwWidth = mem_->Width;
  Desc->dwHeight = mem_->Height;
  Desc->lPitch = mem_->Pitch;
  Desc->dwBackBufferCount = back_ ? 1 : 0;
  Desc->ddpfPixelFormat = mem_->Format;
  Desc->ddsCaps.dwCaps = caps_;
  if (hasSrcKey_) Desc->ddckCKSrcBlt = srcKey_;
  return DD_OK;
}

HRESULT IDirectDrawSurface::Lock(const TRect* Rect, DDSURFACEDESC* Desc, uint32_t, void*) {
  if (!Desc) return DDERR_INVALIDPARAMS;
  if (mem_->Lost) return DDERR_SURFACELOST;
  if (locks_ > 0 || dc_) return DDERR_SURFACEBUSY;
  TRect r{0, 0, static_cast<int32_t>(mem_->Width), static_cast<int32_t>(mem_->Height)};
  if (Rect) {
    if (!Inside(*Rect, mem_->Width, mem_->Height)) return DDERR_INVALIDPARAMS;
    r = *Rect;
  }
  GetSurfaceDesc(Desc);
  Desc->dwFlags |= DDSD_LPSURFACE;
  Desc->lpSurface = mem_->Bytes.data() +
                    static_cast<size_t>(r.Top) * static_cast<size_t>(mem_->Pitch) +
                    static_cast<size_t>(r.Left) * BytesPerPixel(mem_->Format);
  ++locks_;
  mem_->Written();
  return DD_OK;
}

HRESULT IDirectDrawSurface::Unlock(void*) {
  if (locks_ <= 0) return DDERR_NOTLOCKED;
  --locks_;
  // Again on the way out: a duplicate shares these pixels but not the lock,
  // and a keyed draw from it while this lock was held worked out spans from
  // pixels the holder went on writing.
  mem_->Written();
  return DD_OK;
}

HRESULT IDirectDrawSurface::IsLost() const {
  return mem_->Lost ? DDERR_SURFACELOST : DD_OK;
}

HRESULT IDirectDrawSurface::Restore() {
  mem_->Lost = false;
  mem_->Written();
  if (back_) {
    back_->mem_->Lost = false;
    back_->mem_->Written();
  }
  // A mipmap chain is restored as one surface.
  for (IDirectDrawSurface* m = mip_.get(); m; m = m->mip_.get()) {
    m->mem_->Lost = false;
    m->mem_->Written();
  }
  return DD_OK;
}

HRESULT IDirectDrawSurface::SetColorKey(uint32_t Flags, const DDCOLORKEY* Key) {
  if (!(Flags & DDCKEY_SRCBLT)) return DDERR_UNSUPPORTED;
  hasSrcKey_ = Key != nullptr;
  if (Key) srcKey_ = *Key;
  return DD_OK;
}

HRESULT IDirectDrawSurface::GetColorKey(uint32_t Flags, DDCOLORKEY* Key) const {
  if (!(Flags & DDCKEY_SRCBLT) || !Key) return DDERR_INVALIDPARAMS;
  if (!hasSrcKey_) return DDERR_NOCOLORKEY;
  *Key = srcKey_;
  return DD_OK;
}

HRESULT IDirectDrawSurface::SetClipper(PDirectDrawClipper Clipper) {
  clipper_ = std::move(Clipper);
  return DD_OK;
}

HRESULT IDirectDrawSurface::GetClipper(PDirectDrawClipper* Out) const {
  if (!Out) return DDERR_INVALIDPARAMS;
  *Out = clipper_;
  return clipper_ ? DD_OK : DDERR_NOCLIPPERATTACHED;
}

HRESULT IDirectDrawSurface::SetPalette(PDirectDrawPalette Palette) {
  palette_ = std::move(Palette);
  return DD_OK;
}

HRESULT IDirectDrawSurface::GetPalette(PDirectDrawPalette* Out) const {
  if (!Out) return DDERR_INVALIDPARAMS;
  *Out = palette_;
  return palette_ ? DD_OK : DDERR_NOPALETTEATTACHED;
}

HRESULT IDirectDrawSurface::Blt(const TRect* DestRect, IDirectDrawSurface* Source,
                                const TRect* SrcRect, uint32_t Flags, const DDBLTFX* Fx) {
  if (mem_->Lost || (Source && Source->mem_->Lost)) return DDERR_SURFACELOST;
  if (locks_ > 0 || dc_ || (Source && (Source->locks_ > 0 || Source->dc_)))
    return DDERR_SURFACEBUSY;
  TRect bounds{0, 0, static_cast<int32_t>(mem_->Width), static_cast<int32_t>(mem_->Height)};
  TRect dest = DestRect ? *DestRect : bounds;
  if (Empty(dest)) return DDERR_INVALIDRECT;
  // Parts of the destination that may be written. Without a clipper, or
  // with one of a single rectangle (the engine clips its pictures to the
  // surface so), there is one part at most and nothing is allocated: this
  // is the path of every sprite.
  std::vector<TRect> clips;
  TRect one = dest;
  const TRect* parts = &one;
  size_t nparts = 1;
  if (clipper_ && clipper_->HasClipList() && clipper_->rects_.size() != 1) {
    for (const TRect& c : clipper_->rects_) {
      TRect r = Intersect(Intersect(c, bounds), dest);
      if (!Empty(r)) clips.push_back(r);
    }
    parts = clips.data();
    nparts = clips.size();
  } else if (clipper_) {
    one = Intersect(bounds, dest);
    if (clipper_->HasClipList()) one = Intersect(one, clipper_->rects_[0]);
    nparts = Empty(one) ? 0 : 1;
  } else {
    if (!Inside(dest, mem_->Width, mem_->Height)) return DDERR_INVALIDRECT;
  }
  if (Flags & DDBLT_COLORFILL) {
    if (!Fx) return DDERR_INVALIDPARAMS;
    mem_->Written();
    for (size_t i = 0; i < nparts; ++i) FillRows(*mem_, parts[i], Fx->dwFillColor);
  } else {
    if (!Source) return DDERR_INVALIDPARAMS;
    if (!SameFormat(mem_->Format, Source->mem_->Format)) return DDERR_INVALIDPIXELFORMAT;
    TRect src = SrcRect ? *SrcRect
                        : TRect{0, 0, static_cast<int32_t>(Source->mem_->Width),
                                static_cast<int32_t>(Source->mem_->Height)};
    if (!Inside(src, Source->mem_->Width, Source->mem_->Height)) return DDERR_INVALIDRECT;
    bool keyed = (Flags & DDBLT_KEYSRC) != 0;
    if (keyed && !Source->hasSrcKey_) return DDERR_NOCOLORKEY;
    // Overlapping copies within one surface go through a copy of the source.
    std::shared_ptr<TDDSurfaceMemory> copy;
    const TDDSurfaceMemory* sm = Source->mem_.get();
    if (sm == mem_.get()) {
      copy = std::make_shared<TDDSurfaceMemory>(*sm);
      sm = copy.get();
    }
    // The key as the source's pixels read it: a range past their largest
    // value ends there, and one that holds no value keys nothing. Every
    // path then compares pixels of their own width with it.
    DDCOLORKEY key = Source->srcKey_;
    if (keyed) {
      const int32_t bits = PixelBits(BytesPerPixel(sm->Format));
      const uint32_t largest = bits >= 32 ? ~0u : (1u << bits) - 1;
      key.dwColorSpaceHighValue = std::min(key.dwColorSpaceHighValue, largest);
      keyed = key.dwColorSpaceLowValue <= key.dwColorSpaceHighValue;
    }
    const TDDKeyedMasks* masks = nullptr;
    if (keyed && !copy && BytesPerPixel(sm->Format) == 2 && ++Source->mem_->UnchangedBlits >= 2)
      masks = &KeyedMasksOf(*Source->mem_, key);
    mem_->Written();
    for (size_t i = 0; i < nparts; ++i)
      BlitPart(*mem_, *sm, parts[i], dest, src, keyed, key, masks);
  }
  if (IsPrimary() && device_) device_->Present(*this);
  return DD_OK;
}

HRESULT IDirectDrawSurface::Flip(IDirectDrawSurface*, uint32_t) {
  if (!back_) return DDERR_NOTFLIPPABLE;
  if (mem_->Lost || back_->mem_->Lost) return DDERR_SURFACELOST;
  if (locks_ > 0 || dc_ || back_->locks_ > 0 || back_->dc_) return DDERR_SURFACEBUSY;
  std::swap(mem_, back_->mem_);
  if (device_) device_->Present(*this);
  return DD_OK;
}

HRESULT IDirectDrawSurface::GetAttachedSurface(const DDSCAPS* Caps, PDirectDrawSurface* Out) {
  if (!Caps || !Out) return DDERR_INVALIDPARAMS;
  if (Caps->dwCaps & (DDSCAPS_MIPMAP | DDSCAPS_ZBUFFER)) {
    const PDirectDrawSurface& s = (Caps->dwCaps & DDSCAPS_MIPMAP) ? mip_ : zbuffer_;
    if (!s) return DDERR_NOTFOUND;
    *Out = s;
    return DD_OK;
  }
  if (!(Caps->dwCaps & DDSCAPS_BACKBUFFER) || !back_ || Consume(gFaults.FailAttachedSurface))
    return DDERR_NOTFOUND;
  *Out = back_;
  return DD_OK;
}

HRESULT IDirectDrawSurface::AddAttachedSurface(IDirectDrawSurface* Surface) {
  if (!Surface || Surface == this) return DDERR_INVALIDPARAMS;
  if (!(Surface->caps_ & DDSCAPS_ZBUFFER)) return DDERR_UNSUPPORTED;
  if (zbuffer_) return DDERR_GENERIC;
  if (Surface->Width() != Width() || Surface->Height() != Height()) return DDERR_INVALIDPARAMS;
  if (Consume(gFaults.FailAddAttachedSurface)) return DDERR_GENERIC;
  zbuffer_ = Surface->shared_from_this();
  return DD_OK;
}

HRESULT IDirectDrawSurface::DeleteAttachedSurface(uint32_t, IDirectDrawSurface* Surface) {
  if (!zbuffer_ || (Surface && Surface != zbuffer_.get())) return DDERR_NOTFOUND;
  zbuffer_.reset();
  return DD_OK;
}

HRESULT IDirectDrawSurface::GetDC(HDC* Out) {
  if (!Out) return DDERR_INVALIDPARAMS;
  if (mem_->Lost) return DDERR_SURFACELOST;
  if (dc_) return DDERR_DCALREADYCREATED;
  if (locks_ > 0) return DDERR_SURFACEBUSY;
  std::vector<RGBQUAD> table;
  if (mem_->Format.dwRGBBitCount <= 8) {
    PDirectDrawPalette pal = palette_;
    if (!pal) {
      // A back buffer without its own palette shows through the primary's.
      if (auto f = front_.lock()) pal = f->palette_;
    }
    table.resize(256);
    if (pal) {
      for (int i = 0; i < 256; ++i) {
        const PALETTEENTRY& e = pal->Entries()[static_cast<size_t>(i)];
        table[static_cast<size_t>(i)] = RGBQUAD{e.peBlue, e.peGreen, e.peRed, 0};
      }
    } else {
      RGBQUAD sys[256];
      GetSystemPaletteEntries(sys);
      table.assign(sys, sys + 256);
    }
  }
  mem_->Written();
  dc_ = std::make_unique<TDeviceContext>(
      mem_->Bytes.data(), static_cast<int>(mem_->Width), static_cast<int>(mem_->Height),
      mem_->Pitch, GdiFormat(mem_->Format), table.data(), static_cast<int>(table.size()));
  *Out = dc_.get();
  return DD_OK;
}

HRESULT IDirectDrawSurface::ReleaseDC(HDC DC) {
  if (!dc_ || DC != dc_.get()) return DDERR_INVALIDPARAMS;
  dc_.reset();
  mem_->Written();  // as at Unlock
  if (IsPrimary() && device_) device_->Present(*this);
  return DD_OK;
}

HRESULT IDirectDrawSurface::QueryGammaControl(PDirectDrawGammaControl* Out) {
  if (!Out) return DDERR_INVALIDPARAMS;
  if (!IsPrimary() || !device_) return DDERR_NOINTERFACE;
  *Out = PDirectDrawGammaControl(new IDirectDrawGammaControl(device_->weak_from_this()));
  return DD_OK;
}

// --- device -----------------------------------------------------------------

IDirectDraw::IDirectDraw() {
  for (int i = 0; i < 256; ++i)
    gamma_.red[i] = gamma_.green[i] = gamma_.blue[i] = static_cast<uint16_t>(i * 257);
  mode_ = TDDDisplayMode{800, 600, 16};
}

IDirectDraw::~IDirectDraw() {
  for (auto& w : surfaces_)
    if (auto s = w.lock()) s->device_ = nullptr;
}

HRESULT IDirectDraw::GetCaps(DDCAPS* Driver, DDCAPS* Emulation) const {
  if (Driver) {
    *Driver = driver_ < gDrivers.size() ? gDrivers[driver_].Caps : DDCAPS{};
    Driver->dwCaps2 |= gFaults.NoPrimaryGamma ? 0 : DDCAPS2_PRIMARYGAMMA;
    Driver->dwPalCaps = DDPCAPS_8BIT | DDPCAPS_ALLOW256;
  }
  if (Emulation) *Emulation = DDCAPS{};
  return DD_OK;
}

PDirectDrawSurface IDirectDraw::NewSurface() {
  PDirectDrawSurface s(new IDirectDrawSurface());
  s->device_ = this;
  std::erase_if(surfaces_, [](const auto& w) { return w.expired(); });
  surfaces_.push_back(s);
  return s;
}

HRESULT IDirectDraw::CreateSurface(const DDSURFACEDESC* Desc, PDirectDrawSurface* Out) {
  if (!Desc || !Out) return DDERR_INVALIDPARAMS;
  uint32_t caps = (Desc->dwFlags & DDSD_CAPS) ? Desc->ddsCaps.dwCaps : DDSCAPS_OFFSCREENPLAIN;
  DDPIXELFORMAT fmt = DDPixelFormat(mode_.BitCount);
  uint32_t w, h;
  if (caps & DDSCAPS_PRIMARYSURFACE) {
    if (Consume(gFaults.FailPrimary)) return DDERR_GENERIC;
    w = mode_.Width;
    h = mode_.Height;
  } else {
    if ((Desc->dwFlags & (DDSD_WIDTH | DDSD_HEIGHT)) != (DDSD_WIDTH | DDSD_HEIGHT))
      return DDERR_INVALIDPARAMS;
    w = Desc->dwWidth;
    h = Desc->dwHeight;
    if ((caps & DDSCAPS_ZBUFFER) && (Desc->dwFlags & DDSD_ZBUFFERBITDEPTH)) {
      uint32_t b = Desc->dwZBufferBitDepth;
      if (b != 16 && b != 24 && b != 32) return DDERR_INVALIDPIXELFORMAT;
      fmt = DDPIXELFORMAT{};
      fmt.dwFlags = DDPF_ZBUFFER;
      fmt.dwRGBBitCount = b;
    } else if (Desc->dwFlags & DDSD_PIXELFORMAT) {
      fmt = Desc->ddpfPixelFormat;
      uint32_t b = fmt.dwRGBBitCount;
      if (b != 1 && b != 4 && b != 8 && b != 16 && b != 24 && b != 32)
        return DDERR_INVALIDPIXELFORMAT;
      if (b == 16 && !fmt.dwRBitMask) fmt = DDPixelFormat(16, true);
      if (b > 16 && !fmt.dwRBitMask) fmt = DDPixelFormat(b);
    }
  }
  if (w == 0 || h == 0 || static_cast<uint64_t>(w) * h > kMaxSurfacePixels || w > 65536 ||
      h > 65536)
    return DDERR_INVALIDPARAMS;
  if (caps & DDSCAPS_SYSTEMMEMORY) {
    if (Consume(gFaults.FailSystemMemory)) return DDERR_OUTOFMEMORY;
  } else {
    if (Consume(gFaults.FailVideoMemory)) return DDERR_OUTOFVIDEOMEMORY;
    caps |= DDSCAPS_VIDEOMEMORY;
  }
  auto makeMem = [&](uint32_t w, uint32_t h) {
    auto m = std::make_shared<TDDSurfaceMemory>();
    m->Width = w;
    m->Height = h;
    m->Format = fmt;
    m->Pitch = static_cast<int32_t>(((static_cast<uint64_t>(w) * fmt.dwRGBBitCount + 31) / 32) * 4);
    m->Bytes.assign(static_cast<size_t>(m->Pitch) * h, 0);
    return m;
  };
  PDirectDrawSurface s = NewSurface();
  s->mem_ = makeMem(w, h);
  s->caps_ = caps;
  if (Desc->dwFlags & DDSD_CKSRCBLT) {
    s->hasSrcKey_ = true;
    s->srcKey_ = Desc->ddckCKSrcBlt;
  }
  if ((caps & DDSCAPS_PRIMARYSURFACE) && (caps & DDSCAPS_FLIP) &&
      (Desc->dwFlags & DDSD_BACKBUFFERCOUNT) && Desc->dwBackBufferCount >= 1) {
    s->caps_ |= DDSCAPS_FRONTBUFFER;
    PDirectDrawSurface b = NewSurface();
    b->mem_ = makeMem(w, h);
    b->caps_ = (caps & ~(DDSCAPS_PRIMARYSURFACE | DDSCAPS_FRONTBUFFER)) | DDSCAPS_BACKBUFFER;
    b->front_ = s;
    s->back_ = b;
  }
  // A mipmap chain: each level half the one before (at least 1), each
  // attached to the one before.
  if ((caps & DDSCAPS_MIPMAP) && (caps & DDSCAPS_COMPLEX) && (Desc->dwFlags & DDSD_MIPMAPCOUNT)) {
    IDirectDrawSurface* prev = s.get();
    uint32_t mw = w, mh = h;
    for (uint32_t level = 1; level < std::min<uint32_t>(Desc->dwMipMapCount, 32); ++level) {
      mw = std::max<uint32_t>(mw / 2, 1);
      mh = std::max<uint32_t>(mh / 2, 1);
      PDirectDrawSurface m = NewSurface();
      m->mem_ = makeMem(mw, mh);
      m->caps_ = caps & ~DDSCAPS_COMPLEX;
      prev->mip_ = m;
      prev = m.get();
      if (mw == 1 && mh == 1) break;
    }
  }
  *Out = s;
  return DD_OK;
}

HRESULT IDirectDraw::CreatePalette(uint32_t Caps, const PALETTEENTRY* Entries,
                                   PDirectDrawPalette* Out) {
  if (!Out || !Entries) return DDERR_INVALIDPARAMS;
  auto p = std::make_shared<IDirectDrawPalette>();
  p->caps_ = Caps;
  size_t n = (Caps & DDPCAPS_4BIT) ? 16 : 256;
  std::copy_n(Entries, n, p->entries_.begin());
  *Out = p;
  return DD_OK;
}

HRESULT IDirectDraw::CreateClipper(uint32_t, PDirectDrawClipper* Out) {
  if (!Out) return DDERR_INVALIDPARAMS;
  if (Consume(gFaults.FailCreateClipper)) return DDERR_GENERIC;
  *Out = std::make_shared<IDirectDrawClipper>();
  return DD_OK;
}

HRESULT IDirectDraw::DuplicateSurface(IDirectDrawSurface* Source, PDirectDrawSurface* Out) {
  if (!Source || !Out) return DDERR_INVALIDPARAMS;
  if (Source->IsPrimary()) return DDERR_UNSUPPORTED;
  PDirectDrawSurface s = NewSurface();
  s->mem_ = Source->mem_;
  s->caps_ = Source->caps_;
  s->hasSrcKey_ = Source->hasSrcKey_;
  s->srcKey_ = Source->srcKey_;
  *Out = s;
  return DD_OK;
}

HRESULT IDirectDraw::SetCooperativeLevel(DDWindow Window, uint32_t Flags) {
  coopWindow_ = Window;
  coopLevel_ = Flags;
  return DD_OK;
}

HRESULT IDirectDraw::SetDisplayMode(uint32_t Width, uint32_t Height, uint32_t BitCount) {
  auto modes = CurrentModes();
  TDDDisplayMode m{Width, Height, BitCount};
  if (std::find(modes.begin(), modes.end(), m) == modes.end()) return DDERR_INVALIDMODE;
  // Only the logical picture changes; the desktop keeps its real mode.
  mode_ = m;
  return DD_OK;
}

HRESULT IDirectDraw::RestoreDisplayMode() {
  mode_ = TDDDisplayMode{800, 600, 16};
  return DD_OK;
}

HRESULT IDirectDraw::GetDisplayMode(DDSURFACEDESC* Desc) const {
  if (!Desc) return DDERR_INVALIDPARAMS;
  *Desc = DDSURFACEDESC{};
  Desc->dwFlags = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
  Desc->dwWidth = mode_.Width;
  Desc->dwHeight = mode_.Height;
  Desc->ddpfPixelFormat = DDPixelFormat(mode_.BitCount);
  return DD_OK;
}

HRESULT IDirectDraw::EnumDisplayModes(uint32_t, const DDSURFACEDESC*,
                                      const TEnumModesCallback& Callback) const {
  for (const TDDDisplayMode& m : CurrentModes()) {
    DDSURFACEDESC d;
    d.dwFlags = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT | DDSD_PITCH;
    d.dwWidth = m.Width;
    d.dwHeight = m.Height;
    d.ddpfPixelFormat = DDPixelFormat(m.BitCount);
    d.lPitch = static_cast<int32_t>(((m.Width * m.BitCount + 31) / 32) * 4);
    if (Callback(d) == DDENUMRET_CANCEL) break;
  }
  return DD_OK;
}

HRESULT IDirectDraw::WaitForVerticalBlank(uint32_t, void*) {
  // Presentation itself waits for the vertical blank where the backend can.
  return DD_OK;
}

HRESULT IDirectDraw::FlipToGDISurface() {
  return DD_OK;
}

void IDirectDraw::LoseSurfaces() {
  for (auto& w : surfaces_)
    if (auto s = w.lock()) s->mem_->Lost = true;
}

void IDirectDraw::Present(const IDirectDrawSurface& Primary) {
  if (!gOutput) return;
  static thread_local TDDFrame frame;
  DDComposeFrame(Primary, gamma_, frame);
  frame.FullScreen = (coopLevel_ & DDSCL_FULLSCREEN) != 0;
  gOutput->Present(frame);
}

// --- frames -----------------------------------------------------------------

namespace {

// A 16-bit layout with wider channels goes through one table of every pixel
// value per format and ramp, rebuilt only when either changes (fades change
// the ramp a few times a second).
struct TLut16 {
  DDPIXELFORMAT Format;
  DDGAMMARAMP Ramp;
  bool Valid = false;
  std::vector<uint32_t> Table;
};

// One channel of a 16-bit pixel through a ramp that is a line, in 16-bit
// arithmetic: the channel moved to the top byte (Shl, then Top keeps it
// alone) and widened there as the 8-bit read widens it (Fill), then
// Slope * i + Add - Sub, saturating, whose high byte is the output.
struct TLineChannel {
  uint16_t Shl = 0, Top = 0, Fill = 0, Slope = 0, Add = 0, Sub = 0;
  uint8_t At(uint32_t v, int bits) const {
    const uint32_t t = (v << (16 - bits)) & 0xFFFF;
    const uint32_t i = (t | (t >> Fill)) >> 8;
    const uint32_t added = std::min<uint32_t>(i * Slope + Add, 0xFFFF);
    return static_cast<uint8_t>((added > Sub ? added - Sub : 0) >> 8);
  }
};

struct TChannelLuts;
// A row of a 16-bit frame composed into out; the pixels it leaves at the end
// are composed through the tables.
using TComposeRow = uint32_t (*)(const uint16_t*, uint32_t*, uint32_t, const TChannelLuts&);

// A 16-bit frame goes out through one small table per channel: no channel
// of the game's formats has more than 6 bits, so a table is at most 64
// bytes, four vector registers, and a lookup is a handful of byte shuffles
// instead of a read from a table of every pixel value. An identity ramp only
// widens the channels.
struct TChannelLuts {
  DDPIXELFORMAT Format;
  DDGAMMARAMP Ramp;
  bool Valid = false, Usable = false, Identity = false;
  TPixelChannel Channel[3];  // red, green, blue
  int Pos[3] = {}, Bits[3] = {};
  alignas(32) uint8_t Table[3][64] = {};
  // For the vector lookups: each table repeated over the index bits its
  // channel lacks, and cut into 16-byte blocks each held as the difference
  // from the block before.
  alignas(64) uint8_t Repeated[3][64] = {};
  alignas(16) uint8_t Delta[3][4][16] = {};
  // Fades and brightness make each channel's ramp a line, Slope * i + Offset
  // held between 0 and 65535 for the 8-bit i; then a channel is worked out
  // with a few multiplies and adds, which every x86-64 processor does on
  // eight pixels at once, instead of looked up. The row that does it is
  // picked with the tables, for the operations the lines need; none where a
  // ramp is not a line.
  TLineChannel LineChannel[3];
  TComposeRow LineRow = nullptr;
};

TComposeRow PickLineRow(const TChannelLuts& l);

// Whether channel k's ramp is a line through which the arithmetic gives
// every entry of its table; the line is read off the first two neighbouring
// entries that are not held at an end.
bool FitLine(TChannelLuts& l, int k, const uint16_t* curve) {
  int32_t slope = 0, offset = curve[0];
  for (int i = 0; i < 255; ++i)
    if (curve[i] > 0 && curve[i + 1] < 0xFFFF) {
      slope = curve[i + 1] - curve[i];
      offset = curve[i] - i * slope;
      break;
    }
  const int bits = l.Bits[k];
  if (slope < 0 || slope > 257 || offset < -0xFFFF || offset > 0xFFFF || bits < 4) return false;
  TLineChannel& c = l.LineChannel[k];
  c.Shl = static_cast<uint16_t>(16 - l.Pos[k] - bits);
  c.Top = static_cast<uint16_t>(0xFFFF << (16 - bits));
  c.Fill = static_cast<uint16_t>(std::min(l.Channel[k].Fill & 31, 16));
  c.Slope = static_cast<uint16_t>(slope);
  c.Add = static_cast<uint16_t>(std::max(offset, 0));
  c.Sub = static_cast<uint16_t>(std::max(-offset, 0));
  for (uint32_t v = 0; v < (1u << bits); ++v)
    if (c.At(v, bits) != l.Table[k][v]) return false;
  return true;
}

bool BuildChannelLuts(TChannelLuts& l, const DDGAMMARAMP& ramp, const TGdiPixelFormat& gf) {
  const TPixelChannels c = gf.Channels();
  const TPixelChannel* ch[3] = {&c.Red, &c.Green, &c.Blue};
  const uint16_t* curve[3] = {ramp.red, ramp.green, ramp.blue};
  l.LineRow = nullptr;
  bool identity = true;
  for (int k = 0; k < 3; ++k)
    for (int i = 0; i < 256; ++i) identity = identity && (curve[k][i] >> 8) == i;
  l.Identity = identity;
  for (int k = 0; k < 3; ++k) {
    const uint32_t mask = ch[k]->Mask;
    if (mask == 0 || mask > 0xFFFF) return false;
    const int pos = std::countr_zero(mask), bits = std::popcount(mask);
    if ((mask >> pos) != (1u << bits) - 1 || bits > 6) return false;
    l.Channel[k] = *ch[k];
    l.Pos[k] = pos;
    l.Bits[k] = bits;
    for (uint32_t v = 0; v < (1u << bits); ++v)
      l.Table[k][v] = static_cast<uint8_t>(curve[k][UnpackChannel(*ch[k], v << pos)] >> 8);
    for (int i = 0; i < 64; ++i) {
      l.Repeated[k][i] = l.Table[k][i & ((1 << bits) - 1)];
      l.Delta[k][i / 16][i % 16] = l.Table[k][i] ^ (i >= 16 ? l.Table[k][i - 16] : 0);
    }
  }
  bool line = true;
  for (int k = 0; k < 3; ++k) line = line && FitLine(l, k, curve[k]);
  if (line) l.LineRow = PickLineRow(l);
  return true;
}

void ComposeRowLut(const uint16_t* s, uint32_t* out, uint32_t n, const TChannelLuts& l) {
  // Read once: the output could alias them as far as the compiler knows.
  const uint32_t pos[3] = {uint32_t(l.Pos[0]), uint32_t(l.Pos[1]), uint32_t(l.Pos[2])};
  const uint32_t mask[3] = {(1u << l.Bits[0]) - 1, (1u << l.Bits[1]) - 1, (1u << l.Bits[2]) - 1};
  for (uint32_t x = 0; x < n; ++x) {
    const uint32_t p = s[x];
    out[x] = static_cast<uint32_t>(l.Table[0][(p >> pos[0]) & mask[0]]) << 16 |
             static_cast<uint32_t>(l.Table[1][(p >> pos[1]) & mask[1]]) << 8 |
             l.Table[2][(p >> pos[2]) & mask[2]];
  }
}

#if defined(__SSE2__)
// The 5-6-5 layout of the game's screen, channel K widened in the high byte
// of each 16-bit lane with its shifts written as constants: red needs no
// move and blue no mask, and a shift by a constant is cheaper than one by a
// count on some processors.
template <int K>
inline __m128i Widen565Sse2(__m128i p) {
  __m128i t;
  if constexpr (K == 0)
    t = _mm_and_si128(p, _mm_set1_epi16(static_cast<short>(0xF800)));
  else if constexpr (K == 1)
    t = _mm_and_si128(_mm_slli_epi16(p, 5), _mm_set1_epi16(static_cast<short>(0xFC00)));
  else
    t = _mm_slli_epi16(p, 11);
  return _mm_or_si128(t, _mm_srli_epi16(t, K == 1 ? 2 : 3));
}

// Eight pixels per step through the channels' lines, with what every x86-64
// processor has. At this width every operation left out shows: fades have
// no offset, brightness moves every channel the same way, and a slope below
// 256 takes one multiply whose high half also drops the byte below i.
template <bool Add, bool Sub, bool Narrow, bool Fixed565>
uint32_t ComposeRowLineSse2T(const uint16_t* s, uint32_t* out, uint32_t n, const TChannelLuts& l) {
  __m128i shl[3], fill[3], top[3], slope[3], add[3], sub[3];
  for (int k = 0; k < 3; ++k) {
    const TLineChannel& c = l.LineChannel[k];
    shl[k] = _mm_cvtsi32_si128(c.Shl);
    fill[k] = _mm_cvtsi32_si128(c.Fill);
    top[k] = _mm_set1_epi16(static_cast<short>(c.Top));
    slope[k] = _mm_set1_epi16(static_cast<short>(Narrow ? c.Slope << 8 : c.Slope));
    add[k] = _mm_set1_epi16(static_cast<short>(c.Add));
    sub[k] = _mm_set1_epi16(static_cast<short>(c.Sub));
  }
  const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF00));
  uint32_t x = 0;
  for (; x + 8 <= n; x += 8) {
    const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + x));
    __m128i i[3];
    if constexpr (Fixed565) {
      i[0] = Widen565Sse2<0>(p);
      i[1] = Widen565Sse2<1>(p);
      i[2] = Widen565Sse2<2>(p);
    } else {
      for (int k = 0; k < 3; ++k) {
        const __m128i t = _mm_and_si128(_mm_sll_epi16(p, shl[k]), top[k]);
        i[k] = _mm_or_si128(t, _mm_srl_epi16(t, fill[k]));
      }
    }
    __m128i y[3];
    for (int k = 0; k < 3; ++k) {
      // i in the high byte, nothing below it.
      __m128i v = Narrow ? _mm_mulhi_epu16(i[k], slope[k])
                         : _mm_mullo_epi16(_mm_srli_epi16(i[k], 8), slope[k]);
      if constexpr (Add) v = _mm_adds_epu16(v, add[k]);
      if constexpr (Sub) v = _mm_subs_epu16(v, sub[k]);
      y[k] = v;
    }
    const __m128i gb = _mm_or_si128(_mm_and_si128(y[1], high), _mm_srli_epi16(y[2], 8));
    const __m128i r = _mm_srli_epi16(y[0], 8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_unpacklo_epi16(gb, r));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x + 4), _mm_unpackhi_epi16(gb, r));
  }
  return x;
}

template <bool Fixed565>
TComposeRow LineRowAs(bool Add, bool Sub, bool Narrow) {
  static constexpr TComposeRow kRows[2][2][2] = {
      {{ComposeRowLineSse2T<false, false, false, Fixed565>,
        ComposeRowLineSse2T<false, false, true, Fixed565>},
       {ComposeRowLineSse2T<false, true, false, Fixed565>,
        ComposeRowLineSse2T<false, true, true, Fixed565>}},
      {{ComposeRowLineSse2T<true, false, false, Fixed565>,
        ComposeRowLineSse2T<true, false, true, Fixed565>},
       {ComposeRowLineSse2T<true, true, false, Fixed565>,
        ComposeRowLineSse2T<true, true, true, Fixed565>}}};
  return kRows[Add][Sub][Narrow];
}
#endif

TComposeRow PickLineRow(const TChannelLuts& l) {
#if defined(__SSE2__)
  bool add = false, sub = false, narrow = true;
  for (const TLineChannel& c : l.LineChannel) {
    add = add || c.Add;
    sub = sub || c.Sub;
    narrow = narrow && c.Slope < 256;
  }
  // Red, green and blue of 5, 6 and 5 bits from the top: the game's screen.
  const bool is565 = l.Pos[0] == 11 && l.Bits[0] == 5 && l.Pos[1] == 5 && l.Bits[1] == 6 &&
                     l.Pos[2] == 0 && l.Bits[2] == 5 && (l.Channel[0].Fill & 31) == 3 &&
                     (l.Channel[1].Fill & 31) == 2 && (l.Channel[2].Fill & 31) == 3;
  return is565 ? LineRowAs<true>(add, sub, narrow) : LineRowAs<false>(add, sub, narrow);
#else
  (void)l;
  return nullptr;
#endif
}

#if defined(__x86_64__)
// Thirty-two pixels per pass. The tables are kept as 16-byte blocks, each the
// difference from the block before, so shuffling every block with the index
// less 16 per block and combining with xor leaves exactly the entry asked
// for (a shuffle index below zero reads as zero).
// The numbers of blocks are constants, so every loop below unrolls and the
// tables stay in registers.
template <int BlocksR, int BlocksG, int BlocksB, bool Identity>
__attribute__((target("avx2"))) uint32_t ComposeRowAvx2T(const uint16_t* s, uint32_t* out,
                                                         uint32_t n, const TChannelLuts& l) {
  __m256i blocks[3][4];
  constexpr int nblocks[3] = {BlocksR, BlocksG, BlocksB};
  for (int k = 0; k < 3; ++k) {
    for (int b = 0; b < 4; ++b)
      blocks[k][b] = _mm256_broadcastsi128_si256(
          _mm_load_si128(reinterpret_cast<const __m128i*>(l.Delta[k][b])));
  }
  // Read once: the output could alias the tables as far as the compiler
  // knows, which would reload them on every pass.
  __m256i mask[3], lower[3];
  __m128i up[3], down[3], fill[3];
  bool shifted[3];
  for (int k = 0; k < 3; ++k) {
    const TPixelChannel& ch = l.Channel[k];
    mask[k] = _mm256_set1_epi16(static_cast<short>(ch.Mask));
    up[k] = _mm_cvtsi32_si128(ch.Up & 31);
    down[k] = _mm_cvtsi32_si128(ch.Down & 31);
    fill[k] = _mm_cvtsi32_si128(ch.Fill & 31);
    // The high half of a product by a power of two is a right shift, which
    // runs beside the shuffles rather than on their units.
    lower[k] = _mm256_set1_epi16(static_cast<short>(1u << ((16 - l.Pos[k]) & 15)));
    shifted[k] = l.Pos[k] > 0;
  }
  const __m256i zero = _mm256_setzero_si256();
  uint32_t x = 0;
  for (; x + 32 <= n; x += 32) {
    // Packing and unpacking below work within 128-bit halves; taking each
    // load's quarters in the order 0 2 1 3 makes them end in pixel order.
    const __m256i p0 =
        _mm256_permute4x64_epi64(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + x)), 0xD8);
    const __m256i p1 = _mm256_permute4x64_epi64(
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + x + 16)), 0xD8);
    __m256i c[3];
    for (int k = 0; k < 3; ++k) {
      __m256i a0, a1;
      if constexpr (Identity) {
        // The widening of an 8-bit read: the channel's bits moved to the
        // top of the byte, then copied into the low bits.
        a0 = _mm256_sll_epi16(_mm256_srl_epi16(_mm256_and_si256(p0, mask[k]), up[k]), down[k]);
        a1 = _mm256_sll_epi16(_mm256_srl_epi16(_mm256_and_si256(p1, mask[k]), up[k]), down[k]);
        a0 = _mm256_or_si256(a0, _mm256_srl_epi16(a0, fill[k]));
        a1 = _mm256_or_si256(a1, _mm256_srl_epi16(a1, fill[k]));
        c[k] = _mm256_packus_epi16(a0, a1);
      } else {
        a0 = _mm256_and_si256(p0, mask[k]);
        a1 = _mm256_and_si256(p1, mask[k]);
        if (shifted[k]) {
          a0 = _mm256_mulhi_epu16(a0, lower[k]);
          a1 = _mm256_mulhi_epu16(a1, lower[k]);
        }
        const __m256i idx = _mm256_packus_epi16(a0, a1);
        __m256i v = _mm256_shuffle_epi8(blocks[k][0], idx);
        for (int b = 1; b < nblocks[k]; ++b)
          v = _mm256_xor_si256(
              v,
              _mm256_shuffle_epi8(
                  blocks[k][b], _mm256_sub_epi8(idx, _mm256_set1_epi8(static_cast<char>(16 * b)))));
        c[k] = v;
      }
    }
    // Bytes blue, green, red, 0 per pixel.
    const __m256i bgLo = _mm256_unpacklo_epi8(c[2], c[1]), bgHi = _mm256_unpackhi_epi8(c[2], c[1]);
    const __m256i r0Lo = _mm256_unpacklo_epi8(c[0], zero), r0Hi = _mm256_unpackhi_epi8(c[0], zero);
    auto* o = reinterpret_cast<__m256i*>(out + x);
    _mm256_storeu_si256(o + 0, _mm256_unpacklo_epi16(bgLo, r0Lo));
    _mm256_storeu_si256(o + 1, _mm256_unpackhi_epi16(bgLo, r0Lo));
    _mm256_storeu_si256(o + 2, _mm256_unpacklo_epi16(bgHi, r0Hi));
    _mm256_storeu_si256(o + 3, _mm256_unpackhi_epi16(bgHi, r0Hi));
  }
  return x;
}

__attribute__((target("avx2"))) uint32_t ComposeRowAvx2(const uint16_t* s, uint32_t* out,
                                                        uint32_t n, const TChannelLuts& l) {
  if (l.Identity) return ComposeRowAvx2T<1, 1, 1, true>(s, out, n, l);
  if (l.Bits[0] <= 5 && l.Bits[1] <= 6 && l.Bits[2] <= 5)
    return l.Bits[1] <= 5 ? ComposeRowAvx2T<2, 2, 2, false>(s, out, n, l)
                          : ComposeRowAvx2T<2, 4, 2, false>(s, out, n, l);
  return ComposeRowAvx2T<4, 4, 4, false>(s, out, n, l);
}

__attribute__((target("avx512f"))) inline __m512i PlaceChannel(__m512i d, int shift) {
  return shift >= 0 ? _mm512_slli_epi32(d, static_cast<unsigned>(shift))
                    : _mm512_srli_epi32(d, static_cast<unsigned>(-shift));
}

// Sixteen pixels per pass where the processor looks bytes up in 64-byte
// tables: each pixel widened to 32 bits is shifted so that a channel's bits
// start its output byte, and one lookup per channel writes that byte only.
// A lookup reads the low 6 bits of each byte, so a narrower channel's table
// repeats over the bits above it.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) uint32_t ComposeRowVbmi(
    const uint16_t* s, uint32_t* out, uint32_t n, const TChannelLuts& l) {
  __m512i table[3];
  int shift[3];
  for (int k = 0; k < 3; ++k) {
    table[k] = _mm512_load_si512(l.Repeated[k]);
    shift[k] = 8 * (2 - k) - l.Pos[k];  // red is byte 2, blue byte 0
  }

  const __mmask64 byte0 = 0x1111111111111111ull, byte1 = byte0 << 1, byte2 = byte0 << 2;
  uint32_t x = 0;
  for (; x + 16 <= n; x += 16) {
    const __m512i d =
        _mm512_cvtepu16_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + x)));
    __m512i r = _mm512_maskz_permutexvar_epi8(byte0, PlaceChannel(d, shift[2]), table[2]);
    r = _mm512_mask_permutexvar_epi8(r, byte1, PlaceChannel(d, shift[1]), table[1]);
    r = _mm512_mask_permutexvar_epi8(r, byte2, PlaceChannel(d, shift[0]), table[0]);
    _mm512_storeu_si512(out + x, r);
  }
  return x;
}

#endif

}  // namespace

void DDLimitVectors(int Bits) {
  gVectorLimit = Bits;
}

void DDComposeFrame(const IDirectDrawSurface& Primary, const DDGAMMARAMP& Ramp, TDDFrame& Frame) {
  uint32_t w = Primary.Width(), h = Primary.Height();
  Frame.Width = w;
  Frame.Height = h;
  Frame.Pixels.resize(static_cast<size_t>(w) * h);
  if (!w || !h) return;
  DDSURFACEDESC d;
  Primary.GetSurfaceDesc(&d);
  const DDPIXELFORMAT& f = d.ddpfPixelFormat;
  TGdiPixelFormat gf = GdiFormat(f);
  // Reach the memory without a lock: presenting must work while the game
  // holds none, and reads never disturb a lock.
  const auto& self = const_cast<IDirectDrawSurface&>(Primary);
  DDSURFACEDESC lk;
  bool locked =
      const_cast<IDirectDrawSurface&>(self).Lock(nullptr, &lk, DDLOCK_WAIT, nullptr) == DD_OK;
  if (!locked) return;  // lost or busy: the frame keeps its previous picture
  const uint8_t* base = static_cast<const uint8_t*>(lk.lpSurface);
  auto gammaRGB = [&](uint8_t r, uint8_t g, uint8_t b) {
    return (static_cast<uint32_t>(Ramp.red[r] >> 8) << 16) |
           (static_cast<uint32_t>(Ramp.green[g] >> 8) << 8) |
           static_cast<uint32_t>(Ramp.blue[b] >> 8);
  };
  static thread_local TChannelLuts luts;
  if (f.dwRGBBitCount == 16 && (!luts.Valid || !SameFormat(luts.Format, f) ||
                                std::memcmp(&luts.Ramp, &Ramp, sizeof Ramp) != 0)) {
    luts.Usable = BuildChannelLuts(luts, Ramp, gf);
    luts.Format = f;
    luts.Ramp = Ramp;
    luts.Valid = true;
  }
  if (f.dwRGBBitCount == 16 && luts.Usable && (reinterpret_cast<uintptr_t>(base) & 1) == 0 &&
      (lk.lPitch & 1) == 0) {
    for (uint32_t y = 0; y < h; ++y) {
      const auto* row = reinterpret_cast<const uint16_t*>(
          base + static_cast<size_t>(y) * static_cast<size_t>(lk.lPitch));
      uint32_t* out = Frame.Pixels.data() + static_cast<size_t>(y) * w;
      uint32_t x = 0;
#if defined(__x86_64__)
      const int vectors = DDVectorBits();
      if (vectors == 512)
        x = ComposeRowVbmi(row, out, w, luts);
      else if (vectors == 256)
        x = ComposeRowAvx2(row, out, w, luts);
      else if (luts.LineRow)
        x = luts.LineRow(row, out, w, luts);
#else
      if (luts.LineRow) x = luts.LineRow(row, out, w, luts);
#endif
      ComposeRowLut(row + x, out + x, w - x, luts);
    }
  } else if (f.dwRGBBitCount == 16) {
    static thread_local TLut16 lut;
    if (!lut.Valid || !SameFormat(lut.Format, f) ||
        std::memcmp(&lut.Ramp, &Ramp, sizeof Ramp) != 0) {
      lut.Table.resize(65536);
      for (uint32_t p = 0; p < 65536; ++p) {
        uint8_t r, g, b;
        gf.Unpack(p, r, g, b);
        lut.Table[p] = gammaRGB(r, g, b);
      }
      lut.Format = f;
      lut.Ramp = Ramp;
      lut.Valid = true;
    }
    const uint32_t* t = lut.Table.data();
    for (uint32_t y = 0; y < h; ++y) {
      const uint8_t* row = base + static_cast<size_t>(y) * static_cast<size_t>(lk.lPitch);
      uint32_t* out = Frame.Pixels.data() + static_cast<size_t>(y) * w;
      for (uint32_t x = 0; x < w; ++x) {
        uint16_t v;
        std::memcpy(&v, row + 2 * x, 2);
        out[x] = t[v];
      }
    }
  } else if (f.dwRGBBitCount <= 8) {
    PDirectDrawPalette pal;
    Primary.GetPalette(&pal);
    uint32_t colors[256];
    for (int i = 0; i < 256; ++i) {
      if (pal) {
        const PALETTEENTRY& e = pal->Entries()[static_cast<size_t>(i)];
        colors[i] = gammaRGB(e.peRed, e.peGreen, e.peBlue);
      } else {
        colors[i] =
            gammaRGB(static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i));
      }
    }
    TDeviceContext dc(const_cast<uint8_t*>(base), static_cast<int>(w), static_cast<int>(h),
                      lk.lPitch, TGdiPixelFormat::Indexed(static_cast<int>(f.dwRGBBitCount)));
    for (uint32_t y = 0; y < h; ++y)
      for (uint32_t x = 0; x < w; ++x)
        Frame.Pixels[static_cast<size_t>(y) * w + x] =
            colors[dc.GetRawPixel(static_cast<int>(x), static_cast<int>(y)) & 0xFF];
  } else {
    uint32_t bpp = BytesPerPixel(f);
    for (uint32_t y = 0; y < h; ++y) {
      const uint8_t* row = base + static_cast<size_t>(y) * static_cast<size_t>(lk.lPitch);
      for (uint32_t x = 0; x < w; ++x) {
        uint8_t r, g, b;
        gf.Unpack(ReadPixel(row + static_cast<size_t>(x) * bpp, bpp), r, g, b);
        Frame.Pixels[static_cast<size_t>(y) * w + x] = gammaRGB(r, g, b);
      }
    }
  }
  const_cast<IDirectDrawSurface&>(self).Unlock(nullptr);
}

// --- entry points -------------------------------------------------------------

HRESULT DirectDrawCreateEx(const GUID* Driver, PDirectDraw* Out) {
  if (!Out) return DDERR_INVALIDPARAMS;
  if (Consume(gFaults.FailCreateDevice)) return DDERR_GENERIC;
  size_t index = 0;
  // DirectDraw's special driver values (small numbers) mean the primary one.
  if (reinterpret_cast<uintptr_t>(Driver) >= 0x10000) {
    auto it = std::find_if(gDrivers.begin(), gDrivers.end(),
                           [&](const TDDDriverInfo& d) { return d.HasGuid && d.Guid == *Driver; });
    if (it == gDrivers.end()) return DDERR_INVALIDPARAMS;
    index = static_cast<size_t>(it - gDrivers.begin());
  }
  PDirectDraw d(new IDirectDraw());
  d->driver_ = index;
  std::erase_if(gDevices, [](const auto& w) { return w.expired(); });
  gDevices.push_back(d);
  *Out = d;
  return DD_OK;
}

HRESULT DirectDrawCreate(const GUID* Driver, PDirectDraw* Out) {
  return DirectDrawCreateEx(Driver, Out);
}

HRESULT DirectDrawEnumerateA(const TDDEnumCallback& Callback) {
  if (!Callback) return DD_OK;
  // A copy: a callback may make devices, which reads the table.
  const std::vector<TDDDriverInfo> drivers = gDrivers;
  for (const TDDDriverInfo& d : drivers)
    if (!Callback(d.HasGuid ? &d.Guid : nullptr, d.Description.c_str(), d.Name.c_str())) break;
  return DD_OK;
}

void DDRegisterModule() {
  RegisterBuiltinModule(
      "DDraw.dll", {{"DirectDrawCreateEx", reinterpret_cast<FARPROC>(&DirectDrawCreateEx)},
                    {"DirectDrawCreate", reinterpret_cast<FARPROC>(&DirectDrawCreate)},
                    {"DirectDrawEnumerateA", reinterpret_cast<FARPROC>(&DirectDrawEnumerateA)}});
}
