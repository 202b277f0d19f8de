// Native span routines for x86-64 (System V). The routine is
// void (TDXRMachine* rdi, int32 count esi); every machine field is reached
// through rdi, the destination pointer lives in r8 and the raw pixel in eax.
// Only caller-saved registers are used, so nothing is saved or restored.
// Vector forms use SSE2 (always present on x86-64) on the four channel words.
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <iterator>
#include <vector>

#include "render/dxr_emit.h"

// ---- Executable memory -----------------------------------------------------

std::unique_ptr<TDXRCodeBuffer> TDXRCodeBuffer::Create(size_t Size) {
  void* p = mmap(nullptr, Size, PROT_READ | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  return std::unique_ptr<TDXRCodeBuffer>(new TDXRCodeBuffer(static_cast<uint8_t*>(p), Size));
}

TDXRCodeBuffer::~TDXRCodeBuffer() {
  munmap(Data, Size);
}

void* TDXRCodeBuffer::Install(const uint8_t* Code, size_t Length, size_t EntryOffset) {
  if (Length == 0 || Length > Size || EntryOffset >= Length) return nullptr;
  uint64_t h = Length;
  size_t i = 0;
  for (; i + 8 <= Length; i += 8) {
    uint64_t w;
    std::memcpy(&w, Code + i, 8);
    h = (h ^ w) * 0x9E3779B97F4A7C15ull;
    h ^= h >> 29;
  }
  for (; i < Length; ++i) h = (h ^ Code[i]) * 0x100000001B3ull;
  // Most draws repeat the one before; look there first.
  for (size_t n = 0; n < Entries.size(); ++n) {
    const TEntry& e = Entries[(Probe + n) % Entries.size()];
    if (e.Hash == h && e.Length == Length && std::memcmp(Data + e.Offset, Code, Length) == 0) {
      Probe = (Probe + n) % Entries.size();
      return Data + e.Offset + EntryOffset;
    }
  }
  if (FailInstalls) return nullptr;
  // Routines start on cache lines; a full block starts again from empty.
  size_t at = (Used + 63) & ~size_t(63);
  if (at + Length > Size) {
    at = 0;
    Entries.clear();
    ++Gen;
  }
  const size_t page = size_t(sysconf(_SC_PAGESIZE));
  const size_t first = at / page * page, last = (at + Length + page - 1) / page * page;
  if (mprotect(Data + first, last - first, PROT_READ | PROT_WRITE) != 0) return nullptr;
  std::memcpy(Data + at, Code, Length);
  if (mprotect(Data + first, last - first, PROT_READ | PROT_EXEC) != 0) {
    Entries.clear();
    Used = 0;
    ++Gen;
    return nullptr;
  }
  Used = at + Length;
  Entries.push_back(TEntry{h, at, Length});
  Probe = Entries.size() - 1;
  return Data + at + EntryOffset;
}

#if defined(__x86_64__)

bool NativeCodeAvailable() {
  return true;
}

namespace {

enum TReg : int { rAX = 0, rCX = 1, rDX = 2, rSI = 6, rDI = 7, r8 = 8, r9 = 9, r10 = 10, r11 = 11 };
constexpr int xmm0 = 0, xmm1 = 1, xmm7 = 7;

// The group-1 arithmetic operations, by the number the encoding carries.
enum TAluOp : int { aluAdd = 0, aluOr = 1, aluAnd = 4, aluSub = 5, aluXor = 6, aluCmp = 7 };
// The shifts of group 2.
enum TShiftOp : int { shShl = 4, shShr = 5, shSar = 7 };

// Condition codes.
enum : uint8_t { ccE = 0x4, ccNE = 0x5, ccA = 0x7, ccL = 0xC, ccGE = 0xD, ccLE = 0xE, ccG = 0xF };

struct TMem {
  int Base;
  int32_t Disp = 0;
  int Index = -1;
  int Scale = 1;
};
TMem M(int32_t disp) {
  return TMem{rDI, disp};
}

// A small encoder for the instructions the fragments use.
class TAsm {
 public:
  TAsm(uint8_t* b, size_t cap) : Buf(b), Cap(cap) {}
  size_t Pos = 0;
  bool Over = false;

  void Byte(uint8_t v) {
    if (Pos < Cap)
      Buf[Pos] = v;
    else
      Over = true;
    ++Pos;
  }
  void D16(uint16_t v) { Byte(uint8_t(v)), Byte(uint8_t(v >> 8)); }
  void D32(uint32_t v) {
    for (int i = 0; i < 4; ++i) Byte(uint8_t(v >> (8 * i)));
  }
  void D64(uint64_t v) {
    for (int i = 0; i < 8; ++i) Byte(uint8_t(v >> (8 * i)));
  }
  void Patch32(size_t at, int32_t v) {
    if (at + 4 <= Cap) std::memcpy(Buf + at, &v, 4);
  }

  // prefix (0 none), REX.W, opcode bytes, reg field, memory operand.
  void OpM(uint8_t prefix, bool w, std::initializer_list<uint8_t> opc, int reg, const TMem& m,
           bool byteReg = false) {
    if (prefix) Byte(prefix);
    const int idx = m.Index < 0 ? 4 : m.Index;
    uint8_t rex =
        uint8_t((w ? 8 : 0) | ((reg >> 3) & 1) << 2 | ((idx >> 3) & 1) << 1 | ((m.Base >> 3) & 1));
    if (rex || (byteReg && reg >= 4)) Byte(0x40 | rex);
    for (uint8_t o : opc) Byte(o);
    const int b = m.Base & 7;
    int mod = (m.Disp == 0 && b != 5) ? 0 : (m.Disp >= -128 && m.Disp <= 127 ? 1 : 2);
    if (m.Index < 0 && b != 4) {
      Byte(uint8_t(mod << 6 | (reg & 7) << 3 | b));
    } else {
      Byte(uint8_t(mod << 6 | (reg & 7) << 3 | 4));
      const int sc = m.Scale == 8 ? 3 : m.Scale == 4 ? 2 : m.Scale == 2 ? 1 : 0;
      Byte(uint8_t(sc << 6 | (idx & 7) << 3 | b));
    }
    if (mod == 1)
      Byte(uint8_t(int8_t(m.Disp)));
    else if (mod == 2)
      D32(uint32_t(m.Disp));
  }
  // Register-register form: reg field and rm register.
  void OpR(uint8_t prefix, bool w, std::initializer_list<uint8_t> opc, int reg, int rm,
           bool byteRm = false) {
    if (prefix) Byte(prefix);
    uint8_t rex = uint8_t((w ? 8 : 0) | ((reg >> 3) & 1) << 2 | ((rm >> 3) & 1));
    if (rex || (byteRm && rm >= 4)) Byte(0x40 | rex);
    for (uint8_t o : opc) Byte(o);
    Byte(uint8_t(0xC0 | (reg & 7) << 3 | (rm & 7)));
  }

  // ---- integer ----
  void MovRM(int r, const TMem& m, bool w = false) { OpM(0, w, {0x8B}, r, m); }
  void MovMR(const TMem& m, int r, bool w = false) { OpM(0, w, {0x89}, r, m); }
  void MovM16R(const TMem& m, int r) { OpM(0x66, false, {0x89}, r, m); }
  void MovM8R(const TMem& m, int r) { OpM(0, false, {0x88}, r, m, true); }
  void MovRR(int d, int s, bool w = false) { OpR(0, w, {0x89}, s, d); }
  void MovRI(int r, uint32_t imm) {
    if (r >= 8) Byte(0x41);
    Byte(uint8_t(0xB8 | (r & 7)));
    D32(imm);
  }
  void MovRI64(int r, uint64_t imm) {
    Byte(uint8_t(0x48 | ((r >> 3) & 1)));
    Byte(uint8_t(0xB8 | (r & 7)));
    D64(imm);
  }
  void MovM16I(const TMem& m, uint16_t imm) {
    OpM(0x66, false, {0xC7}, 0, m);
    D16(imm);
  }
  void MovM64I0(const TMem& m) {
    OpM(0, true, {0xC7}, 0, m);
    D32(0);
  }
  void MovzxB(int r, const TMem& m) { OpM(0, false, {0x0F, 0xB6}, r, m); }
  void MovzxW(int r, const TMem& m) { OpM(0, false, {0x0F, 0xB7}, r, m); }
  void MovzxBR(int r, int s) { OpR(0, false, {0x0F, 0xB6}, r, s, true); }
  void MovzxWR(int r, int s) { OpR(0, false, {0x0F, 0xB7}, r, s); }
  void Movsxd(int r, const TMem& m) { OpM(0, true, {0x63}, r, m); }
  void Lea(int r, const TMem& m, bool w = true) { OpM(0, w, {0x8D}, r, m); }
  void AluRR(TAluOp ext, int d, int s, bool w = false) { OpR(0, w, {uint8_t(ext * 8 + 1)}, s, d); }
  void AluRM(TAluOp ext, int d, const TMem& m, bool w = false) {
    OpM(0, w, {uint8_t(ext * 8 + 3)}, d, m);
  }
  void AluMR(TAluOp ext, const TMem& m, int s, bool w = false) {
    OpM(0, w, {uint8_t(ext * 8 + 1)}, s, m);
  }
  void AluRI(TAluOp ext, int r, int32_t imm, bool w = false) {
    if (imm >= -128 && imm <= 127) {
      OpR(0, w, {0x83}, ext, r);
      Byte(uint8_t(int8_t(imm)));
    } else {
      OpR(0, w, {0x81}, ext, r);
      D32(uint32_t(imm));
    }
  }
  void AluMI(TAluOp ext, const TMem& m, int32_t imm, bool w = false) {
    if (imm >= -128 && imm <= 127) {
      OpM(0, w, {0x83}, ext, m);
      Byte(uint8_t(int8_t(imm)));
    } else {
      OpM(0, w, {0x81}, ext, m);
      D32(uint32_t(imm));
    }
  }
  void Test(int a, int b, bool w = false) { OpR(0, w, {0x85}, b, a); }
  void ShiftI(TShiftOp ext, int r, int n, bool w = false) {
    if (n == 0) return;
    OpR(0, w, {0xC1}, ext, r);
    Byte(uint8_t(n));
  }
  void ShiftCL(TShiftOp ext, int r) { OpR(0, false, {0xD3}, ext, r); }
  void Shl(int r, int n, bool w = false) { ShiftI(shShl, r, n, w); }
  void Shr(int r, int n) { ShiftI(shShr, r, n); }
  void Sar(int r, int n) { ShiftI(shSar, r, n); }
  void Neg(int r, bool w = false) { OpR(0, w, {0xF7}, 3, r); }
  void Imul(int d, int s) { OpR(0, false, {0x0F, 0xAF}, d, s); }
  void Imul64I(int d, int s, int32_t imm) {
    OpR(0, true, {0x69}, d, s);
    D32(uint32_t(imm));
  }
  void Imul64M(int d, const TMem& m) { OpM(0, true, {0x0F, 0xAF}, d, m); }
  void Cmov(uint8_t cc, int d, int s) { OpR(0, false, {0x0F, uint8_t(0x40 | cc)}, d, s); }
  void Ret() { Byte(0xC3); }

  // Jumps back to a known place: short form when it reaches.
  void JumpBack(int cc, size_t target) {  // cc < 0: always
    const int64_t shortRel = int64_t(target) - int64_t(Pos + 2);
    if (shortRel >= -127 && shortRel <= 127) {
      Byte(cc < 0 ? 0xEB : uint8_t(0x70 | cc));
      Byte(uint8_t(int8_t(shortRel)));
    } else if (cc < 0) {
      Byte(0xE9);
      D32(uint32_t(int32_t(int64_t(target) - int64_t(Pos + 4))));
    } else {
      Byte(0x0F);
      Byte(uint8_t(0x80 | cc));
      D32(uint32_t(int32_t(int64_t(target) - int64_t(Pos + 4))));
    }
  }
  // Forward jump with a 32-bit displacement patched by Bind.
  size_t JumpFwd(int cc) {
    if (cc < 0) {
      Byte(0xE9);
    } else {
      Byte(0x0F);
      Byte(uint8_t(0x80 | cc));
    }
    const size_t at = Pos;
    D32(0);
    return at;
  }
  void Bind(size_t at) { Patch32(at, int32_t(int64_t(Pos) - int64_t(at + 4))); }

  // ---- SSE2 ----
  void MovqXM(int x, const TMem& m) { OpM(0xF3, false, {0x0F, 0x7E}, x, m); }
  void MovqMX(const TMem& m, int x) { OpM(0x66, false, {0x0F, 0xD6}, x, m); }
  void SseRR(uint8_t op, int d, int s) { OpR(0x66, false, {0x0F, op}, d, s); }
  void Pand(int d, int s) { SseRR(0xDB, d, s); }
  void SseRM(uint8_t op, int x, const TMem& m) { OpM(0x66, false, {0x0F, op}, x, m); }
  void MovdquLoad(int x, const TMem& m) { OpM(0xF3, false, {0x0F, 0x6F}, x, m); }
  void MovdquStore(const TMem& m, int x) { OpM(0xF3, false, {0x0F, 0x7F}, x, m); }
  void Movdqa(int d, int s) { SseRR(0x6F, d, s); }
  void Pinsrw(int x, const TMem& m, int lane) {
    OpM(0x66, false, {0x0F, 0xC4}, x, m);
    Byte(uint8_t(lane));
  }
  void Paddusw(int d, int s) { SseRR(0xDD, d, s); }
  void Psubusw(int d, int s) { SseRR(0xD9, d, s); }
  void Pmulhuw(int d, int s) { SseRR(0xE4, d, s); }
  void Paddw(int d, int s) { SseRR(0xFD, d, s); }
  void Psrlw(int x, int n) {
    OpR(0x66, false, {0x0F, 0x71}, 2, x);
    Byte(uint8_t(n));
  }
  void Psllw(int x, int n) {
    OpR(0x66, false, {0x0F, 0x71}, 6, x);
    Byte(uint8_t(n));
  }

 private:
  uint8_t* Buf;
  size_t Cap;
};

constexpr int ChannelOf(int k) {
  return 1 << k;
}

class TNativeEmitter final : public TDXREmitter {
 public:
  TNativeEmitter(TDXRMachine& m, const TDXRLayout& l, uint8_t* code, size_t size, size_t* entry,
                 size_t* length)
      : Mach(m), L(l), A(code, size), EntryOut(entry), LengthOut(length) {}

  void BeginLoopHead() override {
    Exit = A.Pos;
    A.Ret();
    LoopHead = A.Pos;
  }
  void EndLoopHead() override {
    A.AluRI(aluSub, rSI, 1);
    A.JumpBack(ccLE, Exit);
  }
  void BeginBody() override { Body = A.Pos; }
  void EndBody() override { A.JumpBack(-1, LoopHead); }
  void BeginEntry() override {
    Entry = A.Pos;
    A.AluRR(aluXor, rAX, rAX);
    A.MovqXM(xmm7, M(L.HighByteMask));
  }
  void EndEntry() override { A.JumpBack(-1, Body); }

  void Fill(const TDXRSurfaceInfo& Dest, int32_t ColorOff, TDXRChannels Ch) override {
    Entry = A.Pos;
    // The count arrives as a 32-bit argument whose upper half the calling
    // convention leaves undefined, and the 32-bit loop indexes with rsi.
    A.MovRR(rSI, rSI);
    EmitDestAddress(Dest);
    EmitPack(Dest, ColorOff, Ch, false);
    if (Dest.BitCount == 16) {
      A.MovzxWR(rAX, rAX);
      A.MovRR(rCX, rAX);
      A.Shl(rCX, 16);
      A.AluRR(aluOr, rCX, rAX);
      // Unaligned start: 16-bit stores all the way.
      A.MovRI(rDX, 3);
      A.AluRR(aluAnd, rDX, r8, true);
      const size_t aligned = A.JumpFwd(ccE);
      const size_t loop16 = A.Pos;
      A.MovM16R(TMem{r8}, rAX);
      A.AluRI(aluAdd, r8, 2, true);
      A.AluRI(aluSub, rSI, 1);
      A.JumpBack(ccG, loop16);
      A.Ret();
      A.Bind(aligned);
      A.MovRR(rDX, rSI);
      A.Shr(rDX, 1);
      const size_t tail = A.JumpFwd(ccE);
      const size_t loop32 = A.Pos;
      A.MovMR(TMem{r8}, rCX);
      A.AluRI(aluAdd, r8, 4, true);
      A.AluRI(aluSub, rDX, 1);
      A.JumpBack(ccNE, loop32);
      A.Bind(tail);
      A.MovRI(rDX, 1);
      A.Test(rSI, rDX);
      const size_t done = A.JumpFwd(ccE);
      A.MovM16R(TMem{r8}, rAX);
      A.Bind(done);
      A.Ret();
    } else {
      // From the last pixel back to the first.
      const size_t loop = A.Pos;
      A.MovMR(TMem{r8, -4, rSI, 4}, rAX);
      A.AluRI(aluSub, rSI, 1);
      A.JumpBack(ccG, loop);
      A.Ret();
    }
  }

  void AddDwordImm(int32_t Off, int32_t Imm) override { A.AluMI(aluAdd, M(Off), Imm); }
  void AddDwordMem(int32_t Off, int32_t Src, bool Subtract) override {
    A.MovRM(rCX, M(Src));
    A.AluMR(Subtract ? aluSub : aluAdd, M(Off), rCX);
  }
  void CopyDword(int32_t Dst, int32_t Src, int32_t Add) override {
    A.MovRM(rCX, M(Src));
    if (Add) A.AluRI(aluAdd, rCX, Add);
    A.MovMR(M(Dst), rCX);
  }
  void AddWords4(int32_t Off, int32_t Step) override {
    A.MovqXM(xmm0, M(Off));
    A.MovqXM(xmm1, M(Step));
    A.Paddw(xmm0, xmm1);
    A.MovqMX(M(Off), xmm0);
  }
  void AddQword(int32_t Off, int32_t Src) override {
    A.MovRM(rCX, M(Src), true);
    A.AluMR(aluAdd, M(Off), rCX, true);
  }
  void AddPointer(int32_t Off, int32_t Bytes) override { A.AluMI(aluAdd, M(Off), Bytes, true); }
  void SaveRaw(int32_t Off) override { A.MovMR(M(Off), rAX); }
  void Displace(int32_t Dst, int32_t Base, int32_t Scratch, bool RawMinusScratch) override {
    if (RawMinusScratch) {
      A.MovRR(rCX, rAX);
      A.AluRM(aluSub, rCX, M(Scratch));
    } else {
      A.MovRM(rCX, M(Scratch));
      A.AluRR(aluSub, rCX, rAX);
    }
    A.Shl(rCX, 16);
    A.AluRM(aluAdd, rCX, M(Base));
    A.MovMR(M(Dst), rCX);
  }

  // rd := Bits + DestY * Pitch + DestX * bytes, from the machine's position
  // and the surface's place in the parameter block.
  void Address(int rd, int32_t params, int32_t bytes) {
    A.Movsxd(rCX, M(L.DestY));
    A.Imul64M(rCX, M(params + int32_t(offsetof(TDXRSurfaceParams, Pitch))));
    A.MovRM(rd, M(params + int32_t(offsetof(TDXRSurfaceParams, Bits))), true);
    A.AluRR(aluAdd, rd, rCX, true);
    if (bytes != 0) {
      A.Movsxd(rDX, M(L.DestX));
      A.Imul64I(rDX, rDX, bytes);
      A.AluRR(aluAdd, rd, rDX, true);
    }
  }
  int32_t ParamsOff(int i) const {
    return int32_t(reinterpret_cast<const char*>(&Mach.Params[i]) -
                   reinterpret_cast<const char*>(&Mach));
  }
  // The parameter entry of a surface the machine refers to; a surface it
  // does not know cannot be reached at run time, so the build fails.
  int32_t ParamsOf(const TDXRSurfaceInfo& s) {
    if (&s == Mach.Dest) return ParamsOff(TDXRMachine::ParamDest);
    for (int i = 0; i < TDXRMachine::MaxTextures; ++i)
      if (&s == Mach.Textures[i].Surface && Mach.Params[TDXRMachine::ParamTexture + i].Bits)
        return ParamsOff(TDXRMachine::ParamTexture + i);
    if (&s == Mach.DepthBuffer.Surface) return ParamsOff(TDXRMachine::ParamDepth);
    Unreachable = true;
    return 0;
  }
  int32_t MachineOff(const void* p) {
    const auto* c = static_cast<const char*>(p);
    const auto* m = reinterpret_cast<const char*>(&Mach);
    if (c < m || c >= m + sizeof(TDXRMachine)) {
      Unreachable = true;
      return 0;
    }
    return int32_t(c - m);
  }
  void EmitDestAddress(const TDXRSurfaceInfo& Dest) override {
    Address(r8, ParamsOf(Dest), Dest.BitCount / 8);
  }
  void EmitDestStep(int32_t Bytes) override {
    if (Bytes != 0) A.AluRI(aluAdd, r8, Bytes, true);
  }
  void EmitLoadDest(int32_t BitCount) override {
    switch (BitCount) {
      case 8:
        A.MovzxB(rAX, TMem{r8});
        break;
      case 16:
        A.MovzxW(rAX, TMem{r8});
        break;
      case 24:
        A.MovzxW(rAX, TMem{r8});
        A.MovzxB(rCX, TMem{r8, 2});
        A.Shl(rCX, 16);
        A.AluRR(aluOr, rAX, rCX);
        break;
      case 32:
        A.MovRM(rAX, TMem{r8});
        break;
    }
  }
  void EmitStoreDest(int32_t BitCount) override {
    switch (BitCount) {
      case 8:
        A.MovM8R(TMem{r8}, rAX);
        break;
      case 16:
        A.MovM16R(TMem{r8}, rAX);
        break;
      case 24:
        A.MovM16R(TMem{r8}, rAX);
        A.MovRR(rCX, rAX);
        A.Shr(rCX, 16);
        A.MovM8R(TMem{r8, 2}, rCX);
        break;
      case 32:
        A.MovMR(TMem{r8}, rAX);
        break;
    }
  }
  void EmitDepthAddress(const TDXRSurfaceInfo& Depth, int32_t PtrOff) override {
    Address(r9, ParamsOf(Depth), Depth.BitCount / 8);
    A.MovMR(M(PtrOff), r9, true);
  }
  void EmitDepthTest(int32_t PtrOff, int32_t ZHighOff, int32_t Bytes, uint8_t Compare,
                     bool Write) override {
    A.MovRM(rCX, M(PtrOff), true);
    A.MovRM(r9, M(ZHighOff));
    if (Compare != 7) {
      switch (Bytes) {
        case 1:
          A.MovzxB(rDX, TMem{rCX});
          break;
        case 2:
          A.MovzxW(rDX, TMem{rCX});
          break;
        case 3:
          A.MovzxW(rDX, TMem{rCX});
          A.MovzxB(r10, TMem{rCX, 2});
          A.Shl(r10, 16);
          A.AluRR(aluOr, rDX, r10);
          break;
        case 4:
          A.MovRM(rDX, TMem{rCX});
          break;
      }
      A.AluRR(aluCmp, rDX, r9);
      static const int cc[8] = {-2, ccL, ccE, ccLE, ccG, ccNE, ccGE, -2};
      if (cc[Compare] >= 0) A.JumpBack(cc[Compare], LoopHead);
    }
    if (Write) {
      switch (Bytes) {
        case 1:
          A.MovM8R(TMem{rCX}, r9);
          break;
        case 2:
          A.MovM16R(TMem{rCX}, r9);
          break;
        case 3:
          A.MovM16R(TMem{rCX}, r9);
          A.Shr(r9, 16);
          A.MovM8R(TMem{rCX, 2}, r9);
          break;
        case 4:
          A.MovMR(TMem{rCX}, r9);
          break;
      }
    }
  }

  void EmitFetch(const TDXRTexture& T, int32_t PairOff) override {
    if (T.Addressing != amWrap && T.Addressing != amDirect) return;
    const TDXRSurfaceInfo& s = *T.Surface;
    const int bc = s.BitCount;
    if (bc != 1 && bc != 2 && bc != 4 && bc != 8 && bc != 16 && bc != 24 && bc != 32) return;
    const int32_t params = ParamsOff(TDXRMachine::ParamTexture + int(&T - Mach.Textures));
    A.MovRM(rCX, M(PairOff));
    A.Shr(rCX, 16);
    A.MovRM(rDX, M(PairOff + 4));
    A.Shr(rDX, 16);
    if (T.Addressing == amWrap) {
      A.AluRM(aluAnd, rCX, M(params + int32_t(offsetof(TDXRSurfaceParams, WidthMask))));
      A.AluRM(aluAnd, rDX, M(params + int32_t(offsetof(TDXRSurfaceParams, HeightMask))));
    }
    A.Imul64M(rDX, M(params + int32_t(offsetof(TDXRSurfaceParams, Pitch))));
    A.AluRM(aluAdd, rDX, M(params + int32_t(offsetof(TDXRSurfaceParams, Bits))), true);
    A.MovRR(r9, rDX, true);
    switch (bc) {
      case 8:
        A.MovzxB(rAX, TMem{r9, 0, rCX, 1});
        break;
      case 16:
        A.MovzxW(rAX, TMem{r9, 0, rCX, 2});
        break;
      case 32:
        A.MovRM(rAX, TMem{r9, 0, rCX, 4});
        break;
      case 24:
        A.Lea(rCX, TMem{rCX, 0, rCX, 2});
        A.MovzxW(rAX, TMem{r9, 0, rCX, 1});
        A.MovzxB(rDX, TMem{r9, 2, rCX, 1});
        A.Shl(rDX, 16);
        A.AluRR(aluOr, rAX, rDX);
        break;
      default: {
        // Sub-byte pixels, most significant first.
        const int perByteLog = bc == 1 ? 3 : bc == 2 ? 2 : 1;
        const int last = (1 << perByteLog) - 1;
        A.MovRR(rDX, rCX);
        A.Shr(rDX, perByteLog);
        A.MovzxB(rAX, TMem{r9, 0, rDX, 1});
        A.AluRI(aluAnd, rCX, last);
        A.AluRI(aluXor, rCX, last);
        if (bc == 2) A.Shl(rCX, 1);
        if (bc == 4) A.Shl(rCX, 2);
        A.ShiftCL(shShr, rAX);
        A.AluRI(aluAnd, rAX, (1 << bc) - 1);
        break;
      }
    }
  }

  void EmitColorKey(const TDXRTexture& T) override {
    if (!T.ColorKeyed) return;
    const TDXRSurfaceInfo& s = *T.Surface;
    uint32_t keyMask = ~(s.Kind == 0 ? s.SecondChannel().Mask : s.Channels[3].Mask);
    int r = rAX;
    if (keyMask == 0xFFFFFFFFu) {
      if (s.BitCount == 32) A.AluRI(aluAnd, rAX, 0x00FFFFFF);
    } else {
      if (s.BitCount == 32) keyMask &= 0x00FFFFFFu;
      A.MovRR(rCX, rAX);
      A.AluRI(aluAnd, rCX, int32_t(keyMask));
      r = rCX;
    }
    A.AluRM(aluCmp, r, M(MachineOff(&T.ColorKey)));
    A.JumpBack(ccE, LoopHead);
  }

  // ecx := the channel's 8-bit value of eax, placed as a word v * 256.
  void ChannelWord(const TDXRChannelInfo& c) {
    const int s = c.Shift & 31, ls = c.LeftShift & 31;
    A.MovRR(rCX, rAX);
    A.AluRI(aluAnd, rCX, int32_t(c.Mask));
    const uint64_t placed = (uint64_t(c.Mask) >> s) << ls;
    const bool exact = (c.Mask & ((1u << s) - 1)) == 0 && placed <= 0xFF;
    if (exact) {
      const int net = ls + 8 - s;
      if (net > 0) A.Shl(rCX, net);
      if (net < 0) A.Shr(rCX, -net);
      return;
    }
    A.Shr(rCX, s);
    A.Shl(rCX, ls);
    A.MovzxBR(rCX, rCX);
    A.Shl(rCX, 8);
  }

  void EmitUnpack(const TDXRSurfaceInfo& Info, int32_t Target, const TDXRColor& Default,
                  TDXRChannels Ch) override {
    if (Ch == 0) return;
    const int32_t def = MachineOff(&Default);
    // A channel the format lacks takes the default's word, read when the
    // routine runs.
    auto putDefault = [&](int k) {
      A.MovzxW(rCX, M(def + 2 * k));
      A.MovM16R(M(Target + 2 * k), rCX);
    };
    if (Info.Kind != 0) {
      for (int k = 0; k < 4; ++k) {
        if (!(Ch & ChannelOf(k))) continue;
        if (Info.Channels[k].Mask == 0) {
          putDefault(k);
        } else {
          ChannelWord(Info.Channels[k]);
          A.MovM16R(M(Target + 2 * k), rCX);
        }
      }
      return;
    }
    if (Ch & chColor) {
      const TDXRChannelInfo& c = Info.IndexChannel();
      if (c.Mask != 0) {
        A.MovRR(rCX, rAX);
        A.AluRI(aluAnd, rCX, int32_t(c.Mask));
        A.Shr(rCX, c.Shift & 31);
        A.Shl(rCX, c.LeftShift & 31);
        A.MovzxBR(rCX, rCX);  // the palette has 256 entries
        A.MovRM(rDX, M(ParamsOf(Info) + int32_t(offsetof(TDXRSurfaceParams, Palette))), true);
        A.MovRM(rDX, TMem{rDX, 0, rCX, 4});
        for (int k = 0; k < 3; ++k) {
          A.MovRR(rCX, rDX);
          A.Shr(rCX, 8 * k);
          A.MovzxBR(rCX, rCX);
          A.Shl(rCX, 8);
          A.MovM16R(M(Target + 2 * k), rCX);
        }
      } else {
        for (int k = 0; k < 3; ++k) putDefault(k);
      }
    }
    if (Ch & chAlpha) {
      const TDXRChannelInfo& c = Info.SecondChannel();
      if (c.Mask != 0) {
        ChannelWord(c);
        A.MovM16R(M(Target + 6), rCX);
      } else {
        putDefault(3);
      }
    }
  }

  void EmitPack(const TDXRSurfaceInfo& Info, int32_t Source, TDXRChannels Ch,
                bool Dither) override {
    A.AluRR(aluXor, rAX, rAX);
    const int n = Info.Kind != 0 ? 4 : 1;
    bool haveQ = false;
    for (int k = 0; k < n; ++k) {
      if (!(Ch & ChannelOf(k))) continue;
      const TDXRChannelInfo& c = Info.Channels[k];
      A.MovzxB(rCX, M(Source + 2 * k + 1));
      if (Dither && c.ChannelBits < 7) {
        if (!haveQ) {
          // q = (DestX and 1) * 2 + (DestY and 1)
          A.MovRM(rDX, M(L.DestX));
          A.AluRI(aluAnd, rDX, 1);
          A.AluRR(aluAdd, rDX, rDX);
          A.MovRM(r9, M(L.DestY));
          A.AluRI(aluAnd, r9, 1);
          A.AluRR(aluOr, rDX, r9);
          haveQ = true;
        }
        A.MovRR(r9, rCX);
        A.Shr(r9, (6 - c.ChannelBits) & 31);
        A.AluRI(aluAnd, r9, 3);
        A.Lea(r9, TMem{rDX, 0, r9, 4}, false);
        A.MovzxB(r9, TMem{rDI, L.DitherMatrix, r9, 1});
        A.Shl(r9, (8 - c.ChannelBits) & 31);
        A.AluRR(aluAdd, rCX, r9);
        A.MovRI(r10, 255);
        A.AluRR(aluCmp, rCX, r10);
        A.Cmov(ccA, rCX, r10);
      }
      A.Shl(rCX, c.Shift & 31);
      A.Shr(rCX, c.LeftShift & 31);
      A.AluRI(aluAnd, rCX, int32_t(c.Mask));
      A.AluRR(aluOr, rAX, rCX);
    }
  }

  bool EmitBlend(uint8_t Op, int32_t T, int32_t F, int32_t S, TDXRChannels Ch,
                 bool Vector) override {
    if (Ch == 0) return false;
    switch (Op) {
      case boZero:
        A.MovM64I0(M(T));
        return false;
      case boSource:
      case boSourceCopy:
      case boDestination: {
        const int32_t from = Op == boDestination ? S : F;
        if (from == T) return false;
        A.MovRM(rCX, M(from), true);
        A.MovMR(M(T), rCX, true);
        return false;
      }
    }
    if (Vector && (Op != boSourceDestAlpha || (Ch & chColor) == chColor)) {
      // Operands are often written a word at a time just before; loading
      // them the same way lets each load take its value from the store.
      LoadWords(xmm0, F);
      if (Op != boSourceDestAlpha) LoadWords(xmm1, S);
      switch (Op) {
        case boAdd:
        case boAddColor:
          A.Paddusw(xmm0, xmm1);
          break;
        case boReverseSubtract:
          A.Psubusw(xmm0, xmm1);
          break;
        case boSubtract:
          A.Psubusw(xmm1, xmm0);
          A.Pand(xmm1, xmm7);
          A.MovqMX(M(T), xmm1);
          return true;
        case boModulate:
        case boModulateAll:
          A.Psrlw(xmm0, 1);
          A.Psrlw(xmm1, 1);
          A.Pmulhuw(xmm0, xmm1);
          A.Psllw(xmm0, 2);
          break;
        default:
          break;
      }
      A.Pand(xmm0, xmm7);
      A.MovqMX(M(T), xmm0);
      if (Op == boAddColor || Op == boSourceDestAlpha) {
        A.MovzxB(rCX, M(S + 7));
        A.Shl(rCX, 8);
        A.MovM16R(M(T + 6), rCX);
      }
      return true;
    }
    const bool needsA = Op == boPremultiply || Op == boAddAlpha || Op == boSubtractAlpha ||
                        Op == boBlend || Op == boBlendInverse;
    if (needsA) A.MovzxB(r10, M(F + 7));
    if (Op == boBlendInverse) {
      A.MovRI(r11, 255);
      A.AluRR(aluSub, r11, r10);
      A.MovRR(r10, r11);
    }
    if (Op == boBlend || Op == boBlendInverse) {
      A.MovRI(r11, 255);
      A.AluRR(aluSub, r11, r10);
    }
    for (int k = 0; k < 4; ++k) {
      if (!(Ch & ChannelOf(k))) continue;
      const bool alpha = k == 3;
      A.MovzxB(rCX, M(F + 2 * k + 1));
      if (S >= 0) A.MovzxB(rDX, M(S + 2 * k + 1));
      switch (Op) {
        case boAdd:
          A.AluRR(aluAdd, rCX, rDX);
          Min255();
          break;
        case boReverseSubtract:
          A.AluRR(aluSub, rCX, rDX);
          Max0();
          break;
        case boSubtract:
          A.AluRR(aluSub, rDX, rCX);
          A.MovRR(rCX, rDX);
          Max0();
          break;
        case boModulate:
        case boModulateAll:
          A.Imul(rCX, rDX);
          A.Shr(rCX, 8);
          break;
        case boPremultiply:
          A.Imul(rCX, r10);
          A.Shr(rCX, 8);
          break;
        case boAddAlpha:
          A.Imul(rCX, r10);
          A.Shr(rCX, 8);
          A.AluRR(aluAdd, rCX, rDX);
          Min255();
          break;
        case boSubtractAlpha:
          A.Imul(rCX, r10);
          A.Shr(rCX, 8);
          A.AluRR(aluSub, rDX, rCX);
          A.MovRR(rCX, rDX);
          Max0();
          break;
        case boBlend:
        case boBlendInverse:
          if (Ch & ChannelOf(k ^ 1)) {
            A.Imul(rCX, r10);
            A.Imul(rDX, r11);
            A.AluRR(aluAdd, rCX, rDX);
            A.Shr(rCX, 8);
          } else {
            A.AluRR(aluSub, rCX, rDX);
            A.Imul(rCX, r10);
            A.Sar(rCX, 8);
            A.AluRR(aluAdd, rCX, rDX);
          }
          break;
        case boSourceDestAlpha:
          if (alpha) A.MovRR(rCX, rDX);
          break;
        case boModulateColor:
          if (!alpha) {
            A.Imul(rCX, rDX);
            A.Shr(rCX, 8);
          }
          break;
        case boAddColor:
          if (alpha) {
            A.MovRR(rCX, rDX);
          } else {
            A.AluRR(aluAdd, rCX, rDX);
            Min255();
          }
          break;
      }
      A.Shl(rCX, 8);
      A.MovM16R(M(T + 2 * k), rCX);
    }
    return false;
  }

  void Bilinear(int32_t T, int32_t UOff, int32_t VOff, int32_t S, TDXRChannels Ch) override {
    if (Ch == 0) return;
    A.MovRM(r10, M(UOff));
    A.Shr(r10, 8);
    A.AluRI(aluAnd, r10, 255);
    A.MovRI(r11, 255);
    A.AluRR(aluSub, r11, r10);
    for (int k = 0; k < 4; ++k) {
      if (!(Ch & ChannelOf(k))) continue;
      A.MovzxB(rCX, M(S + 2 * k + 1));
      A.Imul(rCX, r11);
      A.MovzxB(rDX, M(S + 8 + 2 * k + 1));
      A.Imul(rDX, r10);
      A.AluRR(aluAdd, rCX, rDX);  // top
      A.MovzxB(rDX, M(S + 16 + 2 * k + 1));
      A.Imul(rDX, r11);
      A.MovzxB(r9, M(S + 24 + 2 * k + 1));
      A.Imul(r9, r10);
      A.AluRR(aluAdd, rDX, r9);  // bottom
      A.MovRM(r9, M(VOff));
      A.Shr(r9, 8);
      A.AluRI(aluAnd, r9, 255);
      A.Imul(rDX, r9);
      A.Neg(r9);
      A.AluRI(aluAdd, r9, 255);
      A.Imul(rCX, r9);
      A.AluRR(aluAdd, rCX, rDX);
      A.Shr(rCX, 16);
      A.Shl(rCX, 8);
      A.MovM16R(M(T + 2 * k), rCX);
    }
  }

  // Eight pixels per pass: texels are contiguous (one per pixel, same row),
  // each channel is a lane-wise mask and shift, and the blend is the same
  // 8-bit formula in 16-bit lanes. Keyed texels keep the destination's
  // pixel through a lane mask instead of a branch.
  bool WideSpan(const TDXRWideSpan& w) override {
    enum : uint8_t {
      opPand = 0xDB,
      opPandn = 0xDF,
      opPor = 0xEB,
      opPxor = 0xEF,
      opPcmpeqw = 0x75,
      opPaddw = 0xFD,
      opPsubw = 0xF9,
      opPsubusw = 0xD9,
      opPminsw = 0xEA,
      opPmullw = 0xD5
    };
    constexpr int x0 = 0, x1 = 1, x2 = 2, x3 = 3, x4 = 4, x8 = 8, x9 = 9, x10 = 10, x11 = 11,
                  x12 = 12;
    // A draw's own values sit in lanes of their own, written at compile.
    int used = WideLaneFirstFixed;
    bool full = false;
    auto lanes = [&](uint16_t v) {
      for (int i = WideLaneFirstFixed; i < used; ++i)
        if (Mach.WideConstants[i][0] == v) return WideOff(i);
      if (used == int(std::size(Mach.WideConstants))) {
        full = true;
        return 0;
      }
      for (auto& l : Mach.WideConstants[used]) l = v;
      return WideOff(used++);
    };
    const bool needsA =
        w.Op == boAddAlpha || w.Op == boSubtractAlpha || w.Op == boBlend || w.Op == boBlendInverse;
    const int32_t c255 = lanes(255), c256 = lanes(256);
    int32_t texMask[4], destMask[4], constant[4];
    for (int k = 0; k < 4; ++k) {
      texMask[k] = lanes(uint16_t(w.Tex->Channels[k].Mask));
      destMask[k] = lanes(uint16_t(w.Dest->Channels[k].Mask));
      constant[k] = WideOff(WideLaneDefault + k);
    }
    const int32_t keyMask = lanes(w.KeyMask), key = WideOff(WideLaneKey);
    if (full) return false;

    A.AluRI(aluCmp, rSI, 8);
    const size_t skip = A.JumpFwd(ccL);
    A.MovRM(rDX, M(w.VOff));
    A.Shr(rDX, 16);
    A.Imul64M(rDX, M(w.TexParams + int32_t(offsetof(TDXRSurfaceParams, Pitch))));
    A.MovRM(r9, M(w.TexParams + int32_t(offsetof(TDXRSurfaceParams, Bits))), true);
    A.AluRR(aluAdd, r9, rDX, true);
    const size_t loop = A.Pos;
    A.MovRM(rCX, M(w.UOff));
    A.Shr(rCX, 16);
    A.MovdquLoad(x0, TMem{r9, 0, rCX, 2});
    A.MovdquLoad(x1, TMem{r8});
    auto unpack = [&](int x, int from, const TDXRChannelInfo& c, int32_t mask) {
      A.Movdqa(x, from);
      A.SseRM(opPand, x, M(mask));
      if (c.Shift) A.Psrlw(x, c.Shift);
      if (c.LeftShift) A.Psllw(x, c.LeftShift);
    };
    if (w.Raw) {
      A.Movdqa(x8, x0);
    } else {
      A.SseRR(opPxor, x8, x8);
      if (needsA) {
        if (w.TexCh & chAlpha)
          unpack(x9, x0, w.Tex->Channels[3], texMask[3]);
        else
          A.MovdquLoad(x9, M(constant[3]));
      }
      if (w.Op == boBlend || w.Op == boBlendInverse) {
        if (w.Op == boBlend) {
          A.Movdqa(x10, x9);
        } else {
          A.MovdquLoad(x10, M(c255));
          A.SseRR(opPsubw, x10, x9);
        }
        A.MovdquLoad(x11, M(c255));
        A.SseRR(opPsubw, x11, x10);
        A.MovdquLoad(x12, M(c256));
        A.SseRR(opPsubw, x12, x10);
      }
      for (int k = 0; k < 4; ++k) {
        if (!(w.Ch & ChannelOf(k))) continue;
        if (w.TexCh & ChannelOf(k))
          unpack(x3, x0, w.Tex->Channels[k], texMask[k]);
        else
          A.MovdquLoad(x3, M(constant[k]));
        if (w.Op != boSource) unpack(x4, x1, w.Dest->Channels[k], destMask[k]);
        switch (w.Op) {
          case boAdd:
            A.SseRR(opPaddw, x3, x4);
            A.SseRM(opPminsw, x3, M(c255));
            break;
          case boReverseSubtract:
            A.SseRR(opPsubusw, x3, x4);
            break;
          case boSubtract:
            A.SseRR(opPsubusw, x4, x3);
            A.Movdqa(x3, x4);
            break;
          case boModulate:
            A.SseRR(opPmullw, x3, x4);
            A.Psrlw(x3, 8);
            break;
          case boAddAlpha:
            A.SseRR(opPmullw, x3, x9);
            A.Psrlw(x3, 8);
            A.SseRR(opPaddw, x3, x4);
            A.SseRM(opPminsw, x3, M(c255));
            break;
          case boSubtractAlpha:
            A.SseRR(opPmullw, x3, x9);
            A.Psrlw(x3, 8);
            A.SseRR(opPsubusw, x4, x3);
            A.Movdqa(x3, x4);
            break;
          case boBlend:
          case boBlendInverse:
            // A pair weighs d by 255 - w; a lone channel, d + (s - d) * w / 256,
            // is the same as weighing d by 256 - w.
            A.SseRR(opPmullw, x3, x10);
            A.SseRR(opPmullw, x4, (w.Ch & ChannelOf(k ^ 1)) ? x11 : x12);
            A.SseRR(opPaddw, x3, x4);
            A.Psrlw(x3, 8);
            break;
        }
        const TDXRChannelInfo& dc = w.Dest->Channels[k];
        if (dc.Shift) A.Psllw(x3, dc.Shift);
        if (dc.LeftShift) A.Psrlw(x3, dc.LeftShift);
        A.SseRM(opPand, x3, M(destMask[k]));
        A.SseRR(opPor, x8, x3);
      }
    }
    if (w.Keyed) {
      A.Movdqa(x2, x0);
      A.SseRM(opPand, x2, M(keyMask));
      A.SseRM(opPcmpeqw, x2, M(key));
      A.SseRR(opPand, x1, x2);
      A.SseRR(opPandn, x2, x8);
      A.SseRR(opPor, x2, x1);
      A.MovdquStore(TMem{r8}, x2);
    } else {
      A.MovdquStore(TMem{r8}, x8);
    }
    A.AluMI(aluAdd, M(w.UOff), 8 << 16);
    A.AluRI(aluAdd, r8, 16, true);
    A.AluRI(aluSub, rSI, 8);
    A.AluRI(aluCmp, rSI, 8);
    A.JumpBack(ccGE, loop);
    A.Test(rSI, rSI);
    A.JumpBack(ccLE, Exit);
    A.Bind(skip);
    return true;
  }

  bool RegisterSpan(const TDXRRegisterSpan& r) override {
    constexpr int rU = r10, rV = r11;
    A.MovRM(rU, M(r.UOff));
    A.MovRM(rV, M(r.VOff));
    A.MovRM(r9, M(r.TexParams + int32_t(offsetof(TDXRSurfaceParams, Bits))), true);
    const size_t loop = A.Pos;
    A.MovRR(rCX, rU);
    A.Shr(rCX, 16);
    A.MovRR(rDX, rV);
    A.Shr(rDX, 16);
    A.Imul64M(rDX, M(r.TexParams + int32_t(offsetof(TDXRSurfaceParams, Pitch))));
    A.AluRR(aluAdd, rDX, r9, true);
    A.MovzxW(rAX, TMem{rDX, 0, rCX, 2});
    if (r.Keyed) {
      // A keyed texel stores the destination's own pixel back: the edges of
      // a turned picture move with every angle, and a branch there would
      // be mispredicted at each of them.
      if ((r.KeyMask & 0xFFFF) == 0xFFFF) {
        A.AluRM(aluCmp, rAX, M(r.KeyOff));
      } else {
        A.MovRR(rCX, rAX);
        A.AluRI(aluAnd, rCX, int32_t(r.KeyMask));
        A.AluRM(aluCmp, rCX, M(r.KeyOff));
      }
      A.MovzxW(rCX, TMem{r8});
      A.Cmov(ccE, rAX, rCX);
    }
    A.MovM16R(TMem{r8}, rAX);
    A.AluRM(aluAdd, rU, M(r.DUOff));
    A.AluRM(aluAdd, rV, M(r.DVOff));
    A.AluRI(aluAdd, r8, 2, true);
    A.AluRI(aluSub, rSI, 1);
    A.JumpBack(ccG, loop);
    A.MovMR(M(r.UOff), rU);
    A.MovMR(M(r.VOff), rV);
    A.Ret();
    return true;
  }

  bool Finish() override {
    if (A.Over || Unreachable) return false;
    *EntryOut = Entry;
    *LengthOut = A.Pos;
    return true;
  }

 private:
  int32_t WideOff(int i) const {
    return int32_t(reinterpret_cast<const char*>(&Mach.WideConstants[i]) -
                   reinterpret_cast<const char*>(&Mach));
  }
  void LoadWords(int x, int32_t off) {
    for (int k = 0; k < 4; ++k) A.Pinsrw(x, M(off + 2 * k), k);
    A.Pand(x, xmm7);
  }
  void Min255() {
    A.MovRI(r9, 255);
    A.AluRR(aluCmp, rCX, r9);
    A.Cmov(ccG, rCX, r9);
  }
  void Max0() {
    A.AluRR(aluXor, r9, r9);
    A.Test(rCX, rCX);
    A.Cmov(ccL, rCX, r9);
  }

  TDXRMachine& Mach;
  TDXRLayout L;
  TAsm A;
  size_t* EntryOut;
  size_t* LengthOut;
  size_t Exit = 0, LoopHead = 0, Body = 0, Entry = 0;
  bool Unreachable = false;
};

}  // namespace

std::unique_ptr<TDXREmitter> MakeNativeEmitter(TDXRMachine& M, const TDXRLayout& L, uint8_t* Code,
                                               size_t Size, size_t* Entry, size_t* Length) {
  return std::make_unique<TNativeEmitter>(M, L, Code, Size, Entry, Length);
}

#else

bool NativeCodeAvailable() {
  return false;
}
std::unique_ptr<TDXREmitter> MakeNativeEmitter(TDXRMachine&, const TDXRLayout&, uint8_t*, size_t,
                                               size_t*, size_t*) {
  return nullptr;
}

#endif
