// The fragments a span routine is made of, as one interface with two
// back-ends: native x86-64 code and the portable interpreter. Operands are
// byte offsets from the machine, so both back-ends read and write exactly the
// same fields. A routine is laid out as loop head, body, entry (in that order
// of calls); skips inside the body go back to the loop head.
#pragma once

#include <memory>
#include <vector>

#include "render/dxrender.h"

class TDXREmitter {
 public:
  virtual ~TDXREmitter() = default;

  // Layout.
  virtual void BeginLoopHead() = 0;
  virtual void EndLoopHead() = 0;  // count down, leave when done
  virtual void BeginBody() = 0;
  virtual void EndBody() = 0;  // back to the loop head
  virtual void BeginEntry() = 0;
  virtual void EndEntry() = 0;  // on to the body
  // A whole solid-fill routine (16 or 32 bits per pixel).
  virtual void Fill(const TDXRSurfaceInfo& Dest, int32_t ColorOff, TDXRChannels Ch) = 0;

  // Machine fields.
  virtual void AddDwordImm(int32_t Off, int32_t Imm) = 0;
  virtual void AddDwordMem(int32_t Off, int32_t SrcOff, bool Subtract) = 0;
  virtual void CopyDword(int32_t Dst, int32_t Src, int32_t Add) = 0;
  virtual void AddWords4(int32_t Off, int32_t StepOff) = 0;
  virtual void AddQword(int32_t Off, int32_t SrcOff) = 0;
  virtual void AddPointer(int32_t Off, int32_t Bytes) = 0;
  virtual void SaveRaw(int32_t Off) = 0;
  // [Dst] := [Base] + ((Raw - [Scratch]) shl 16), or ([Scratch] - Raw).
  virtual void Displace(int32_t Dst, int32_t Base, int32_t ScratchOff, bool RawMinusScratch) = 0;

  // Pixels.
  virtual void EmitDestAddress(const TDXRSurfaceInfo& Dest) = 0;
  virtual void EmitDestStep(int32_t Bytes) = 0;
  virtual void EmitLoadDest(int32_t BitCount) = 0;
  virtual void EmitStoreDest(int32_t BitCount) = 0;
  virtual void EmitDepthAddress(const TDXRSurfaceInfo& Depth, int32_t PtrOff) = 0;
  virtual void EmitDepthTest(int32_t PtrOff, int32_t ZHighOff, int32_t Bytes, uint8_t Compare,
                             bool Write) = 0;
  virtual void EmitFetch(const TDXRTexture& Texture, int32_t PairOff) = 0;
  virtual void EmitColorKey(const TDXRTexture& Texture) = 0;
  virtual void EmitUnpack(const TDXRSurfaceInfo& Info, int32_t Target, const TDXRColor& Default,
                          TDXRChannels Ch) = 0;
  virtual void EmitPack(const TDXRSurfaceInfo& Info, int32_t Source, TDXRChannels Ch,
                        bool Dither) = 0;
  // Returns true when a vector form was used.
  virtual bool EmitBlend(uint8_t Op, int32_t Target, int32_t First, int32_t Second, TDXRChannels Ch,
                         bool Vector) = 0;
  virtual void Bilinear(int32_t Target, int32_t UOff, int32_t VOff, int32_t SamplesOff,
                        TDXRChannels Ch) = 0;

  // An optional loop at the entry that draws eight pixels at a time while
  // eight remain; the per-pixel routine finishes the rest. Only a back-end
  // with vector registers offers it.
  // Returns true when the loop was emitted.
  virtual bool WideSpan(const struct TDXRWideSpan&) { return false; }
  // An optional loop at the entry that draws the whole run with the
  // texture's coordinates held in registers, written back at the end.
  // Returns true when the loop was emitted.
  virtual bool RegisterSpan(const struct TDXRRegisterSpan&) { return false; }

  // False when the routine did not fit.
  virtual bool Finish() = 0;
};

// A span of 16-bit texels one texel per pixel along a row, blended with a
// 16-bit destination: the shape of every unstretched sprite draw.
struct TDXRWideSpan {
  const TDXRSurfaceInfo* Tex = nullptr;
  const TDXRSurfaceInfo* Dest = nullptr;
  int32_t UOff = 0, VOff = 0;
  int32_t TexParams = 0;   // the texture's entry of the parameter block
  bool Raw = false;        // copy texels unchanged
  uint8_t Op = boSource;   // else blend the texture over the destination
  TDXRChannels Ch = 0;     // channels packed into the destination
  TDXRChannels TexCh = 0;  // channels read from the texel; others the default's
  bool Keyed = false;
  uint16_t KeyMask = 0;
};

// A texture copied texel for texel (same 16-bit format, nearest, direct
// addressing) along any direction: the shape of a turned sprite.
struct TDXRRegisterSpan {
  int32_t UOff = 0, VOff = 0, DUOff = 0, DVOff = 0;
  int32_t TexParams = 0;
  bool Keyed = false;
  uint32_t KeyMask = 0;  // bits of the texel compared with the key
  int32_t KeyOff = 0;
};

// Offsets of machine fields the fragments need besides their operands.
struct TDXRLayout {
  int32_t DestX, DestY, ZeroColor, HighByteMask, DitherMatrix;
};

// The interpreter's compiled form, owned by the machine.
struct TDXRProgram;
std::unique_ptr<TDXREmitter> MakeReferenceEmitter(TDXRMachine& M, const TDXRLayout& L,
                                                  TDXRProgram& Out);
void ResetProgram(TDXRProgramPtr& P);
void RunProgram(TDXRMachine& M, const TDXRProgram& P, int32_t Count);

// Executable memory holding the routines built so far, mapped once. A
// routine is built in plain memory and installed here; one identical to an
// installed routine is reused. Writable and executable are never granted
// together: installing opens only the pages it writes, and only a new kind of
// draw installs anything.
class TDXRCodeBuffer {
 public:
  static std::unique_ptr<TDXRCodeBuffer> Create(size_t Size);
  ~TDXRCodeBuffer();
  // The installed copy's entry point, or null when the code cannot be made
  // executable.
  void* Install(const uint8_t* Code, size_t Length, size_t EntryOffset);
  // Goes up each time the block is emptied to make room: routines installed
  // under an older generation are gone.
  uint64_t Generation() const { return Gen; }
  // Test hook: make every install fail, as when the system refuses to change
  // page rights.
  static inline bool FailInstalls = false;

 private:
  struct TEntry {
    uint64_t Hash;
    size_t Offset, Length;
  };
  TDXRCodeBuffer(uint8_t* d, size_t s) : Data(d), Size(s) {}
  uint8_t* Data;
  size_t Size;
  size_t Used = 0;
  uint64_t Gen = 0;
  std::vector<TEntry> Entries;
  size_t Probe = 0;
};

// Lanes of TDXRMachine::WideConstants that hold a draw's own values (the
// texture's default channels, then its colour key), rewritten at every
// compile; the lanes after them hold what the kind of draw fixes.
constexpr int WideLaneDefault = 0;
constexpr int WideLaneKey = 4;
constexpr int WideLaneFirstFixed = 5;

// The native back-end writes into Code (Size bytes); Finish fails when the
// routine does not fit. Null when native code is not supported here.
std::unique_ptr<TDXREmitter> MakeNativeEmitter(TDXRMachine& M, const TDXRLayout& L, uint8_t* Code,
                                               size_t Size, size_t* EntryOffset, size_t* Length);
bool NativeCodeAvailable();
