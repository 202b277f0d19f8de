// The portable span interpreter. It runs the same fragments as the native
// code, on the same machine fields, with the same arithmetic; it serves where
// code cannot be generated and is the oracle the generated code is tested
// against. Raw and the destination pointer live in the run's own state.
#include <cstring>
#include <vector>

#include "platform/gdi/pixel_access.h"
#include "render/dxr_emit.h"

namespace {

enum TOpKind : uint8_t {
  okAddDwordImm,
  okAddDwordMem,
  okSubDwordMem,
  okCopyDword,
  okAddWords4,
  okAddQword,
  okAddPointer,
  okSaveRaw,
  okDisplace,
  okDestAddress,
  okDestStep,
  okLoadDest,
  okStoreDest,
  okDepthAddress,
  okDepthTest,
  okFetch,
  okColorKey,
  okUnpack,
  okPack,
  okBlend,
  okBilinear,
};

struct TOp {
  TOpKind Kind;
  uint8_t Small = 0;  // op code, compare, addressing
  bool Flag = false;  // write, dither, raw-minus-scratch
  TDXRChannels Ch = 0;
  int32_t A = 0, B = 0, C = 0, D = 0;
  const TDXRSurfaceInfo* Info = nullptr;
  TDXRColor Default;
  uint32_t Key = 0;
};

TOp Mk(TOpKind kind, uint8_t small = 0, bool flag = false, TDXRChannels ch = 0, int32_t a = 0,
       int32_t b = 0, int32_t c = 0, int32_t d = 0) {
  TOp o{};
  o.Kind = kind;
  o.Small = small;
  o.Flag = flag;
  o.Ch = ch;
  o.A = a;
  o.B = b;
  o.C = c;
  o.D = d;
  return o;
}

}  // namespace

struct TDXRProgram {
  bool IsFill = false;
  const TDXRSurfaceInfo* FillDest = nullptr;
  int32_t FillColor = 0;
  TDXRChannels FillCh = 0;
  std::vector<TOp> Head, Body, Entry;
  TDXRLayout L{};
};

namespace {

inline uint16_t& Word(uint8_t* m, int32_t off) {
  return *reinterpret_cast<uint16_t*>(m + off);
}
inline uint8_t High(uint8_t* m, int32_t off) {
  return m[off + 1];
}
inline uint32_t& Dword(uint8_t* m, int32_t off) {
  return *reinterpret_cast<uint32_t*>(m + off);
}

inline uint32_t Read(uintptr_t p, int32_t bits) {
  return ReadRowPixel(reinterpret_cast<const uint8_t*>(p), 0, bits == 1 || bits == 4 ? 0 : bits);
}

inline void Write(uintptr_t p, int32_t bits, uint32_t v) {
  WriteRowPixel(reinterpret_cast<uint8_t*>(p), 0, bits == 1 || bits == 4 ? 0 : bits, v);
}

inline uintptr_t RowAddress(const TDXRSurfaceInfo& s, int64_t y, int64_t x, int32_t bytes) {
  return reinterpret_cast<uintptr_t>(s.Bits) + uintptr_t(y * s.Pitch) + uintptr_t(x * bytes);
}

inline uint32_t ChannelValue(uint32_t raw, const TDXRChannelInfo& c) {
  return (((raw & c.Mask) >> (c.Shift & 31)) << (c.LeftShift & 31)) & 0xFF;
}

inline uint32_t Sat(int32_t v) {
  return v < 0 ? 0 : (v > 255 ? 255 : uint32_t(v));
}

constexpr int ChannelOf(int k) {
  return 1 << k;
}

class TReferenceEmitter final : public TDXREmitter {
 public:
  TReferenceEmitter(TDXRProgram& p) : P(p) {}

  void BeginLoopHead() override { Cur = &P.Head; }
  void EndLoopHead() override {}
  void BeginBody() override { Cur = &P.Body; }
  void EndBody() override {}
  void BeginEntry() override { Cur = &P.Entry; }
  void EndEntry() override {}
  void Fill(const TDXRSurfaceInfo& Dest, int32_t ColorOff, TDXRChannels Ch) override {
    P.IsFill = true;
    P.FillDest = &Dest;
    P.FillColor = ColorOff;
    P.FillCh = Ch;
  }
  void AddDwordImm(int32_t Off, int32_t Imm) override {
    Add(Mk(okAddDwordImm, 0, false, 0, Off, Imm));
  }
  void AddDwordMem(int32_t Off, int32_t Src, bool Subtract) override {
    Add(Mk(Subtract ? okSubDwordMem : okAddDwordMem, 0, false, 0, Off, Src));
  }
  void CopyDword(int32_t Dst, int32_t Src, int32_t AddImm) override {
    Add(Mk(okCopyDword, 0, false, 0, Dst, Src, AddImm));
  }
  void AddWords4(int32_t Off, int32_t Step) override {
    Add(Mk(okAddWords4, 0, false, 0, Off, Step));
  }
  void AddQword(int32_t Off, int32_t Src) override { Add(Mk(okAddQword, 0, false, 0, Off, Src)); }
  void AddPointer(int32_t Off, int32_t Bytes) override {
    Add(Mk(okAddPointer, 0, false, 0, Off, Bytes));
  }
  void SaveRaw(int32_t Off) override { Add(Mk(okSaveRaw, 0, false, 0, Off)); }
  void Displace(int32_t Dst, int32_t Base, int32_t Scratch, bool RawMinusScratch) override {
    Add(Mk(okDisplace, 0, RawMinusScratch, 0, Dst, Base, Scratch));
  }
  void EmitDestAddress(const TDXRSurfaceInfo& Dest) override {
    TOp o = Mk(okDestAddress);
    o.Info = &Dest;
    Add(o);
  }
  void EmitDestStep(int32_t Bytes) override {
    if (Bytes != 0) Add(Mk(okDestStep, 0, false, 0, Bytes));
  }
  void EmitLoadDest(int32_t BitCount) override {
    if (BitCount == 8 || BitCount == 16 || BitCount == 24 || BitCount == 32)
      Add(Mk(okLoadDest, 0, false, 0, BitCount));
  }
  void EmitStoreDest(int32_t BitCount) override {
    if (BitCount == 8 || BitCount == 16 || BitCount == 24 || BitCount == 32)
      Add(Mk(okStoreDest, 0, false, 0, BitCount));
  }
  void EmitDepthAddress(const TDXRSurfaceInfo& Depth, int32_t PtrOff) override {
    TOp o = Mk(okDepthAddress);
    o.Info = &Depth;
    o.A = PtrOff;
    Add(o);
  }
  void EmitDepthTest(int32_t PtrOff, int32_t ZHighOff, int32_t Bytes, uint8_t Compare,
                     bool Write) override {
    Add(Mk(okDepthTest, Compare, Write, 0, PtrOff, ZHighOff, Bytes));
  }
  void EmitFetch(const TDXRTexture& T, int32_t PairOff) override {
    if (T.Addressing != amWrap && T.Addressing != amDirect) return;
    switch (T.Surface->BitCount) {
      case 1:
      case 2:
      case 4:
      case 8:
      case 16:
      case 24:
      case 32:
        break;
      default:
        return;
    }
    TOp o = Mk(okFetch, T.Addressing);
    o.Info = T.Surface;
    o.A = PairOff;
    Add(o);
  }
  void EmitColorKey(const TDXRTexture& T) override {
    if (!T.ColorKeyed) return;
    const TDXRSurfaceInfo& s = *T.Surface;
    uint32_t keyMask = ~(s.Kind == 0 ? s.SecondChannel().Mask : s.Channels[3].Mask);
    TOp o = Mk(okColorKey);
    if (keyMask == 0xFFFFFFFFu) {
      o.Flag = true;  // the texel itself loses its top byte
      o.A = int32_t(s.BitCount == 32 ? 0x00FFFFFFu : 0xFFFFFFFFu);
    } else {
      o.A = int32_t(s.BitCount == 32 ? keyMask & 0x00FFFFFFu : keyMask);
    }
    o.Key = T.ColorKey;
    Add(o);
  }
  void EmitUnpack(const TDXRSurfaceInfo& Info, int32_t Target, const TDXRColor& Default,
                  TDXRChannels Ch) override {
    if (Ch == 0) return;
    TOp o = Mk(okUnpack, 0, false, Ch, Target);
    o.Info = &Info;
    o.Default = Default;
    Add(o);
  }
  void EmitPack(const TDXRSurfaceInfo& Info, int32_t Source, TDXRChannels Ch,
                bool Dither) override {
    TOp o = Mk(okPack, 0, Dither, Ch, Source);
    o.Info = &Info;
    Add(o);
  }
  bool EmitBlend(uint8_t Op, int32_t Target, int32_t First, int32_t Second, TDXRChannels Ch,
                 bool) override {
    if (Ch == 0) return false;
    if ((Op == boSource || Op == boSourceCopy) && Target == First) return false;
    if (Op == boDestination && Target == Second) return false;
    Add(Mk(okBlend, Op, false, Ch, Target, First, Second));
    return false;
  }
  void Bilinear(int32_t Target, int32_t UOff, int32_t VOff, int32_t SamplesOff,
                TDXRChannels Ch) override {
    if (Ch != 0) Add(Mk(okBilinear, 0, false, Ch, Target, UOff, VOff, SamplesOff));
  }
  bool Finish() override { return true; }

 private:
  void Add(const TOp& o) { Cur->push_back(o); }
  TDXRProgram& P;
  std::vector<TOp>* Cur = nullptr;
};

// One scalar blend, channel by channel on the high bytes.
void BlendOp(uint8_t* m, const TOp& o) {
  const int32_t t = o.A, f = o.B, s = o.C;
  switch (o.Small) {
    case boZero:
      std::memset(m + t, 0, 8);
      return;
    case boSource:
    case boSourceCopy:
      std::memmove(m + t, m + f, 8);
      return;
    case boDestination:
      std::memmove(m + t, m + s, 8);
      return;
  }
  const int32_t a = High(m, f + 6);
  const int32_t w = o.Small == boBlendInverse ? 255 - a : a;
  uint32_t out[4];
  for (int k = 0; k < 4; ++k) {
    if (!(o.Ch & ChannelOf(k))) continue;
    const int32_t sv = High(m, f + 2 * k);
    const int32_t dv = s >= 0 ? High(m, s + 2 * k) : 0;
    const bool alpha = k == 3;
    uint32_t r = 0;
    switch (o.Small) {
      case boAdd:
        r = Sat(sv + dv);
        break;
      case boReverseSubtract:
        r = Sat(sv - dv);
        break;
      case boSubtract:
        r = Sat(dv - sv);
        break;
      case boModulate:
      case boModulateAll:
        r = uint32_t(sv * dv) >> 8;
        break;
      case boPremultiply:
        r = uint32_t(sv * a) >> 8;
        break;
      case boAddAlpha:
        r = Sat(dv + int32_t(uint32_t(sv * a) >> 8));
        break;
      case boSubtractAlpha:
        r = Sat(dv - int32_t(uint32_t(sv * a) >> 8));
        break;
      case boBlend:
      case boBlendInverse: {
        // Red pairs with green, blue with alpha; a pair computed together
        // keeps the product's full word, a lone channel steps from d.
        const int partner = k ^ 1;
        if (o.Ch & ChannelOf(partner))
          r = uint32_t(sv * w + dv * (255 - w)) >> 8;
        else
          r = uint32_t(dv + ((sv - dv) * w >> 8));
        break;
      }
      case boSourceDestAlpha:
        r = alpha ? dv : sv;
        break;
      case boModulateColor:
        r = alpha ? sv : uint32_t(sv * dv) >> 8;
        break;
      case boAddColor:
        r = alpha ? dv : Sat(sv + dv);
        break;
    }
    out[k] = r & 0xFF;
  }
  for (int k = 0; k < 4; ++k)
    if (o.Ch & ChannelOf(k)) Word(m, t + 2 * k) = uint16_t(out[k] << 8);
}

void UnpackOp(uint8_t* m, const TOp& o, uint32_t raw) {
  const TDXRSurfaceInfo& s = *o.Info;
  const uint16_t def[4] = {o.Default.R, o.Default.G, o.Default.B, o.Default.A};
  if (s.Kind != 0) {
    for (int k = 0; k < 4; ++k) {
      if (!(o.Ch & ChannelOf(k))) continue;
      const TDXRChannelInfo& c = s.Channels[k];
      Word(m, o.A + 2 * k) = c.Mask != 0 ? uint16_t(ChannelValue(raw, c) << 8) : def[k];
    }
    return;
  }
  if (o.Ch & chColor) {
    const TDXRChannelInfo& c = s.IndexChannel();
    if (c.Mask != 0) {
      // The palette has 256 entries whatever the index mask claims.
      const uint8_t* e = s.Palette[ChannelValue(raw, c)];
      for (int k = 0; k < 3; ++k) Word(m, o.A + 2 * k) = uint16_t(e[k] << 8);
    } else {
      for (int k = 0; k < 3; ++k) Word(m, o.A + 2 * k) = def[k];
    }
  }
  if (o.Ch & chAlpha) {
    const TDXRChannelInfo& c = s.SecondChannel();
    Word(m, o.A + 6) = c.Mask != 0 ? uint16_t(ChannelValue(raw, c) << 8) : def[3];
  }
}

uint32_t PackOp(uint8_t* m, const TDXRLayout& L, const TDXRSurfaceInfo& s, int32_t src,
                TDXRChannels ch, bool dither) {
  uint32_t raw = 0;
  uint32_t q = 0;
  if (dither) q = ((Dword(m, L.DestX) & 1) << 1) | (Dword(m, L.DestY) & 1);
  const int n = s.Kind != 0 ? 4 : 1;
  for (int k = 0; k < n; ++k) {
    if (!(ch & ChannelOf(k))) continue;
    const TDXRChannelInfo& c = s.Channels[k];
    uint32_t v = High(m, src + 2 * k);
    if (dither && c.ChannelBits < 7) {
      const uint32_t f = (v >> ((6 - c.ChannelBits) & 31)) & 3;
      v += uint32_t(m[L.DitherMatrix + f * 4 + q]) << ((8 - c.ChannelBits) & 31);
      if (v > 255) v = 255;
    }
    raw |= ((v << (c.Shift & 31)) >> (c.LeftShift & 31)) & c.Mask;
  }
  return raw;
}

}  // namespace

std::unique_ptr<TDXREmitter> MakeReferenceEmitter(TDXRMachine&, const TDXRLayout& L,
                                                  TDXRProgram& Out) {
  Out = TDXRProgram{};
  Out.L = L;
  return std::make_unique<TReferenceEmitter>(Out);
}

void TDXRProgramDeleter::operator()(TDXRProgram* p) const {
  delete p;
}

void ResetProgram(TDXRProgramPtr& P) {
  if (!P)
    P.reset(new TDXRProgram);
  else
    *P = TDXRProgram{};
}

namespace {

struct TRunState {
  uint32_t Raw = 0;
  uintptr_t P = 0;
};

// Runs one section; false when the pixel is skipped.
bool RunOps(uint8_t* m, const TDXRProgram& prog, const std::vector<TOp>& ops, TRunState& st) {
  for (const TOp& o : ops) {
    switch (o.Kind) {
      case okAddDwordImm:
        Dword(m, o.A) += uint32_t(o.B);
        break;
      case okAddDwordMem:
        Dword(m, o.A) += Dword(m, o.B);
        break;
      case okSubDwordMem:
        Dword(m, o.A) -= Dword(m, o.B);
        break;
      case okCopyDword:
        Dword(m, o.A) = Dword(m, o.B) + uint32_t(o.C);
        break;
      case okAddWords4:
        for (int k = 0; k < 4; ++k)
          Word(m, o.A + 2 * k) = uint16_t(Word(m, o.A + 2 * k) + Word(m, o.B + 2 * k));
        break;
      case okAddQword: {
        uint64_t a, b;
        std::memcpy(&a, m + o.A, 8);
        std::memcpy(&b, m + o.B, 8);
        a += b;
        std::memcpy(m + o.A, &a, 8);
        break;
      }
      case okAddPointer: {
        uintptr_t p;
        std::memcpy(&p, m + o.A, sizeof p);
        p += uintptr_t(intptr_t(o.B));
        std::memcpy(m + o.A, &p, sizeof p);
        break;
      }
      case okSaveRaw:
        Dword(m, o.A) = st.Raw;
        break;
      case okDisplace: {
        const uint32_t d = o.Flag ? st.Raw - Dword(m, o.C) : Dword(m, o.C) - st.Raw;
        Dword(m, o.A) = Dword(m, o.B) + (d << 16);
        break;
      }
      case okDestAddress:
        st.P = RowAddress(*o.Info, int32_t(Dword(m, prog.L.DestY)), int32_t(Dword(m, prog.L.DestX)),
                          o.Info->BitCount / 8);
        break;
      case okDestStep:
        st.P += uintptr_t(intptr_t(o.A));
        break;
      case okLoadDest:
        st.Raw = Read(st.P, o.A);
        break;
      case okStoreDest:
        Write(st.P, o.A, st.Raw);
        break;
      case okDepthAddress: {
        const uintptr_t p = RowAddress(*o.Info, int32_t(Dword(m, prog.L.DestY)),
                                       int32_t(Dword(m, prog.L.DestX)), o.Info->BitCount / 8);
        std::memcpy(m + o.A, &p, sizeof p);
        break;
      }
      case okDepthTest: {
        uintptr_t p;
        std::memcpy(&p, m + o.A, sizeof p);
        const int32_t z = int32_t(Dword(m, o.B));
        if (o.Small != 7) {
          const int32_t s = int32_t(Read(p, o.C * 8));
          bool skip = false;
          switch (o.Small) {
            case 1:
              skip = s < z;
              break;
            case 2:
              skip = s == z;
              break;
            case 3:
              skip = s <= z;
              break;
            case 4:
              skip = s > z;
              break;
            case 5:
              skip = s != z;
              break;
            case 6:
              skip = s >= z;
              break;
          }
          if (skip) return false;
        }
        if (o.Flag) Write(p, o.C * 8, uint32_t(z));
        break;
      }
      case okFetch: {
        const TDXRSurfaceInfo& s = *o.Info;
        uint32_t x = Dword(m, o.A) >> 16, y = Dword(m, o.A + 4) >> 16;
        if (o.Small == amWrap) {
          x &= uint32_t(s.WidthMask);
          y &= uint32_t(s.HeightMask);
        }
        const uintptr_t row = reinterpret_cast<uintptr_t>(s.Bits) + uintptr_t(int64_t(y) * s.Pitch);
        const auto* r = reinterpret_cast<const uint8_t*>(row);
        switch (s.BitCount) {
          case 1:
            st.Raw = (r[x >> 3] >> (7 - (x & 7))) & 1;
            break;
          case 2:
            st.Raw = (r[x >> 2] >> (6 - 2 * (x & 3))) & 3;
            break;
          case 4:
            st.Raw = (r[x >> 1] >> (4 - 4 * (x & 1))) & 15;
            break;
          default:
            st.Raw = Read(row + uintptr_t(x) * uint32_t(s.BitCount / 8), s.BitCount);
            break;
        }
        break;
      }
      case okColorKey:
        if (o.Flag) {
          st.Raw &= uint32_t(o.A);
          if (st.Raw == o.Key) return false;
        } else if ((st.Raw & uint32_t(o.A)) == o.Key) {
          return false;
        }
        break;
      case okUnpack:
        UnpackOp(m, o, st.Raw);
        break;
      case okPack:
        st.Raw = PackOp(m, prog.L, *o.Info, o.A, o.Ch, o.Flag);
        break;
      case okBlend:
        BlendOp(m, o);
        break;
      case okBilinear: {
        const uint32_t fu = (Dword(m, o.B) >> 8) & 255, fv = (Dword(m, o.C) >> 8) & 255;
        for (int k = 0; k < 4; ++k) {
          if (!(o.Ch & ChannelOf(k))) continue;
          const uint32_t a = High(m, o.D + 2 * k), b = High(m, o.D + 8 + 2 * k),
                         c = High(m, o.D + 16 + 2 * k), d = High(m, o.D + 24 + 2 * k);
          const uint32_t top = a * (255 - fu) + b * fu, bottom = c * (255 - fu) + d * fu;
          Word(m, o.A + 2 * k) = uint16_t(((top * (255 - fv) + bottom * fv) >> 16) << 8);
        }
        break;
      }
    }
  }
  return true;
}

}  // namespace

void RunProgram(TDXRMachine& M, const TDXRProgram& P, int32_t Count) {
  auto* m = reinterpret_cast<uint8_t*>(&M);
  if (P.IsFill) {
    const TDXRSurfaceInfo& d = *P.FillDest;
    const uint32_t raw = PackOp(m, P.L, d, P.FillColor, P.FillCh, false);
    const int32_t bytes = d.BitCount / 8;
    uintptr_t p = RowAddress(d, int32_t(Dword(m, P.L.DestY)), int32_t(Dword(m, P.L.DestX)), bytes);
    for (int32_t i = 0; i < Count; ++i, p += uintptr_t(bytes)) Write(p, d.BitCount, raw);
    return;
  }
  TRunState st;
  RunOps(m, P, P.Entry, st);
  for (;;) {
    RunOps(m, P, P.Body, st);
    RunOps(m, P, P.Head, st);
    if (--Count <= 0) return;
  }
}
