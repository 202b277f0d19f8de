// Pixel buffers and back-end switching shared by the renderer's tests.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "render/dxrender.h"

struct TTestFormat {
  const char* Name;
  bool Indexed;
  int32_t BitCount;
  uint32_t R, G, B, A;
};

inline const TTestFormat fmt565{"565", false, 16, 0xF800, 0x07E0, 0x001F, 0};
inline const TTestFormat fmt555{"555", false, 16, 0x7C00, 0x03E0, 0x001F, 0};
inline const TTestFormat fmt1555{"1555", false, 16, 0x7C00, 0x03E0, 0x001F, 0x8000};
inline const TTestFormat fmt888{"888", false, 24, 0xFF0000, 0x00FF00, 0x0000FF, 0};
inline const TTestFormat fmtX888{"x888", false, 32, 0xFF0000, 0x00FF00, 0x0000FF, 0};
inline const TTestFormat fmt8888{"8888", false, 32, 0xFF0000, 0x00FF00, 0x0000FF, 0xFF000000};
inline const TTestFormat fmtI1{"i1", true, 1, 0, 0, 0, 0};
inline const TTestFormat fmtI2{"i2", true, 2, 0, 0, 0, 0};
inline const TTestFormat fmtI4{"i4", true, 4, 0, 0, 0, 0};
inline const TTestFormat fmtI8{"i8", true, 8, 0, 0, 0, 0};

// A pixel buffer with a guard band of canary bytes around it.
struct TTestSurface {
  static constexpr size_t Guard = 64;
  std::vector<uint8_t> Mem;
  TDXRSurfaceInfo Info;
  int32_t Pitch = 0;

  TTestSurface(const TTestFormat& f, int32_t w, int32_t h, bool bottomUp = false,
               int32_t extraPitch = 0) {
    Pitch = int32_t((int64_t(w) * f.BitCount + 7) / 8) + extraPitch;
    Mem.assign(Guard * 2 + size_t(Pitch) * size_t(h), 0xCD);
    uint8_t* top = Mem.data() + Guard + (bottomUp ? size_t(Pitch) * size_t(h - 1) : 0);
    SetupSurfaceInfo(Info, f.Indexed, w, h, f.BitCount, top, bottomUp ? -Pitch : Pitch, f.R, f.G,
                     f.B, f.A);
  }
  uint8_t* Row(int32_t y) { return Info.Bits + int64_t(y) * Info.Pitch; }
  uint32_t Get(int32_t x, int32_t y) {
    const uint8_t* p = Row(y) + int64_t(x) * Info.BitCount / 8;
    switch (Info.BitCount) {
      case 8:
        return p[0];
      case 16:
        return uint32_t(p[0] | p[1] << 8);
      case 24:
        return uint32_t(p[0] | p[1] << 8 | p[2] << 16);
      case 32:
        return uint32_t(p[0] | p[1] << 8 | p[2] << 16) | uint32_t(p[3]) << 24;
    }
    return 0;
  }
  void Set(int32_t x, int32_t y, uint32_t v) {
    uint8_t* p = Row(y) + int64_t(x) * Info.BitCount / 8;
    for (int i = 0; i < Info.BitCount / 8; ++i) p[i] = uint8_t(v >> (8 * i));
  }
  void Fill(uint32_t v) {
    for (int32_t y = 0; y < Info.Height; ++y)
      for (int32_t x = 0; x < Info.Width; ++x) Set(x, y, v);
  }
  bool GuardsIntact() const {
    for (size_t i = 0; i < Guard; ++i)
      if (Mem[i] != 0xCD || Mem[Mem.size() - 1 - i] != 0xCD) return false;
    return true;
  }
};

enum TBackend { bkNativeVector, bkNativeScalar, bkReference };

inline std::string BackendName(TBackend b) {
  return b == bkNativeVector ? "NativeVector" : b == bkNativeScalar ? "NativeScalar" : "Reference";
}

// Selects a back-end for the process's machine and for any given machine.
inline void UseBackend(TBackend b, TDXRMachine& m) {
  m.UseCodeGen = b != bkReference;
  SetRenderOption(1, b == bkNativeVector ? 1 : 0);
}
