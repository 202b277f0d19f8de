#include "engine/dib/pixel_layout.h"

TPixelLayout MakePixelLayout(int32_t R, int32_t G, int32_t B) {
  // Computed in unsigned arithmetic: counts outside 0..31 come only from
  // hostile masks and must not be undefined behaviour.
  const auto ones = [](int32_t n) -> uint32_t {
    return n >= 32 ? 0xFFFFFFFFu : (n <= 0 ? 0u : (1u << n) - 1);
  };
  const auto shl = [](uint32_t v, int32_t s) -> uint32_t {
    return v << (static_cast<uint32_t>(s) & 31);
  };
  TPixelLayout L;
  L.RedMask = static_cast<int32_t>(shl(ones(R), G + B));
  L.GreenMask = static_cast<int32_t>(shl(ones(G), B));
  L.BlueMask = static_cast<int32_t>(ones(B));
  L.RedBits = R;
  L.GreenBits = G;
  L.BlueBits = B;
  L.RedShift = R + G + B - 8;
  L.GreenShift = G + B - 8;
  L.BlueShift = 8 - B;
  L.RedFill = 8 - R;
  L.GreenFill = 8 - G;
  L.BlueFill = 8 - B;
  return L;
}

static int32_t CountMaskBits(int32_t Mask) {
  const uint32_t m = static_cast<uint32_t>(Mask);
  int bit = 31;
  for (int i = 0; i <= 30; ++i)
    if (m & (1u << i)) {
      bit = i;
      break;
    }
  int32_t n = 0;
  while (bit < 32 && (m & (1u << bit))) {
    ++n;
    ++bit;
  }
  return n;
}

TPixelLayout MakePixelLayoutFromMasks(int32_t RedMask, int32_t GreenMask, int32_t BlueMask) {
  return MakePixelLayout(CountMaskBits(RedMask), CountMaskBits(GreenMask), CountMaskBits(BlueMask));
}

void MakeGrayColorTable(TRGBQuads& Table) {
  for (int i = 0; i < 256; ++i) {
    const auto v = static_cast<uint8_t>(i);
    Table[static_cast<size_t>(i)] = RGBQUAD{v, v, v, 0};
  }
}

void PaletteEntriesToRGBQuads(const TPaletteEntries& Source, TRGBQuads& Dest) {
  for (size_t i = 0; i < 256; ++i) Dest[i] = PaletteEntryToRGBQuad(Source[i]);
}

void RGBQuadsToPaletteEntries(const TRGBQuads& Source, TPaletteEntries& Dest) {
  for (size_t i = 0; i < 256; ++i) Dest[i] = RGBQuadToPaletteEntry(Source[i]);
}
