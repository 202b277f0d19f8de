// The software span renderer: a source picture is drawn into a destination
// picture (both locked pixel buffers of any format) with a per-pixel blend.
// Each draw describes its per-pixel work as a small expression tree, compiles
// it into a span routine (native x86-64 code where that is available, an
// interpreted program otherwise) and runs it once per destination row. A
// generated routine is kept for its kind of draw and reads everything else
// (surfaces, steps, key, position) when it runs, so a new picture or angle
// reuses it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "framework/classes.h"
#include "framework/types.h"

class IDirectDrawSurface;
struct DDSURFACEDESC;

// ---- Channel sets ----------------------------------------------------------

using TDXRChannels = uint8_t;
constexpr TDXRChannels chRed = 1;
constexpr TDXRChannels chGreen = 2;
constexpr TDXRChannels chBlue = 4;
constexpr TDXRChannels chAlpha = 8;
constexpr TDXRChannels chColor = chRed | chGreen | chBlue;
constexpr TDXRChannels chAll = chColor | chAlpha;

// A channel of a locked buffer. The renderer reads a channel by its top
// bits only, without copying them into the low bits (a 5-bit channel gives
// 0 to 248), and may dither when it writes; its blends are defined on those
// values and the span code generator emits the same arithmetic as machine
// code. That differs on purpose from the pixel channels of platform/gdi
// (bitmaps, canvases, colour keys), which widen to full intensity, so the two
// stay apart.
struct TDXRChannelInfo {
  uint32_t Mask = 0;
  int32_t ChannelBits = 0;
  int32_t Shift = 0;
  int32_t LeftShift = 0;
};

// The description of one locked pixel buffer. An RGB buffer uses the four
// channel records as red, green, blue, alpha; an indexed one uses the first
// as the index channel, the second as the index's alpha channel, and Palette.
struct TDXRSurfaceInfo {
  uint8_t Kind = 0;  // 0 palette-indexed, 1 RGB
  int32_t Width = 0, Height = 0;
  int32_t WidthBit = 0, HeightBit = 0;
  int32_t WidthPow2 = 0, HeightPow2 = 0;
  int32_t WidthMask = 0, HeightMask = 0;
  int32_t BitCount = 0;
  uint8_t* Bits = nullptr;
  int32_t Pitch = 0;
  int32_t PitchBit = 0;
  TDXRChannelInfo Channels[4];
  uint8_t Palette[256][4] = {};  // red, green, blue, unused

  TDXRChannelInfo& IndexChannel() { return Channels[0]; }
  TDXRChannelInfo& SecondChannel() { return Channels[1]; }
  const TDXRChannelInfo& IndexChannel() const { return Channels[0]; }
  const TDXRChannelInfo& SecondChannel() const { return Channels[1]; }
};

int32_t HighestBit(uint32_t x);
int32_t LowestBit(uint32_t x);
int32_t CountBits(uint32_t x);
TDXRChannelInfo MakeChannelInfo(uint32_t Mask, bool Indexed);
bool SameSurfaceFormat(const TDXRSurfaceInfo& A, const TDXRSurfaceInfo& B);
TDXRChannels SurfaceChannels(const TDXRSurfaceInfo& Info);

// Fills Info for a buffer of the given geometry: an indexed one (index mask
// from BitCount, AMask as the index's alpha channel) or an RGB one.
void SetupSurfaceInfo(TDXRSurfaceInfo& Info, bool Indexed, int32_t Width, int32_t Height,
                      int32_t BitCount, void* Bits, int32_t Pitch, uint32_t RMask, uint32_t GMask,
                      uint32_t BMask, uint32_t AMask);

// ---- Values and nodes ------------------------------------------------------

// Each channel value v (0..255) is held as the word v * 256.
struct TDXRColor {
  uint16_t R = 0, G = 0, B = 0, A = 0;
  friend bool operator==(const TDXRColor&, const TDXRColor&) = default;
};

enum TDXRNodeKind : uint8_t {
  nkZero = 0,
  nkColor = 1,
  nkConstant = 2,
  nkTexture = 3,
  nkDisplacedTexture = 4,
  nkDestination = 5,
  nkBlend = 6,
};

enum TDXRBlendOp : uint8_t {
  boZero = 0,
  boSource = 1,
  boDestination = 2,
  boAdd = 3,
  boReverseSubtract = 4,
  boSubtract = 5,
  boModulate = 6,
  boPremultiply = 7,
  boAddAlpha = 8,
  boSubtractAlpha = 9,
  boBlend = 10,
  boBlendInverse = 11,
  boSourceCopy = 12,
  boSourceDestAlpha = 13,
  boModulateColor = 14,
  boModulateAll = 15,
  boAddColor = 16,
};
constexpr int DXRBlendOpCount = 17;

struct TDXRNode {
  uint8_t Kind = nkZero;
  TDXRChannels Channels = 0;
  int32_t ColorIndex = 0;      // nkColor
  TDXRColor Constant;          // nkConstant
  int32_t TextureIndex = 0;    // nkTexture, nkDisplacedTexture
  int32_t DisplacerIndex = 0;  // nkDisplacedTexture
  uint8_t Op = boZero;         // nkBlend
  TDXRNode* First = nullptr;   // nkBlend
  TDXRNode* Second = nullptr;  // nkBlend
};

enum TDXRAddressing : uint8_t { amWrap = 0, amDirect = 1 };

struct TDXRTexture {
  bool Used = false;
  const TDXRSurfaceInfo* Surface = nullptr;
  // U, V, DU, DV stay adjacent: a routine steps the pair with one addition.
  int32_t U = 0, V = 0;
  int32_t DU = 0, DV = 0;
  bool ConstantSteps = false;
  uint8_t Filter = 0;  // 1 or 3 bilinear, else nearest
  bool ColorKeyed = false;
  uint32_t ColorKey = 0;
  TDXRChannels Channels = 0;
  uint8_t Addressing = amWrap;
  TDXRColor DefaultColor;
};

struct TDXRColorSlot {
  bool Used = false;
  TDXRColor Color;
  TDXRColor Step;
  bool Gradient = false;
  TDXRChannels Channels = 0;
};

struct TDXRDepthBuffer {
  bool Enabled = false;
  const TDXRSurfaceInfo* Surface = nullptr;
  uint8_t Compare = 0;  // skip condition 0..7
  bool Write = false;
};

struct TDXRCoordPair {
  int32_t U = 0, V = 0;
};

// Where a routine finds a surface when it runs. A routine serves every draw
// of its kind, so nothing that changes from one picture to the next is built
// into its code; compiling copies each surface's place here.
struct TDXRSurfaceParams {
  uint8_t* Bits = nullptr;
  int64_t Pitch = 0;
  int32_t WidthMask = 0, HeightMask = 0;
  const uint8_t* Palette = nullptr;
};

// ---- The render machine ----------------------------------------------------

class TDXRCodeBuffer;
struct TDXRRoutineCache;
struct TDXRProgram;
struct TDXRProgramDeleter {
  void operator()(TDXRProgram* p) const;
};
using TDXRProgramPtr = std::unique_ptr<TDXRProgram, TDXRProgramDeleter>;

class TDXRMachine : public TObject {
 public:
  static constexpr int MaxNodes = 128;
  static constexpr int MaxValues = 256;
  static constexpr int MaxTextures = 8;
  static constexpr int MaxColorSlots = 8;
  // 64-bit code addresses its operands through a base register and loads
  // surface addresses as 64-bit constants, so routines are larger than the
  // 32-bit ones a 2 KiB block was sized for. A routine may take CodeSize
  // bytes; the executable block keeps recent routines for reuse.
  static constexpr size_t CodeSize = 16384;
  static constexpr size_t CodeCacheSize = 256 * 1024;
  // Entries of Params: the destination, the depth surface, then a texture's.
  static constexpr int ParamDest = 0, ParamDepth = 1, ParamTexture = 2;

  TDXRMachine();
  ~TDXRMachine() override;
  TAL_CLASS_NAME(TDXRMachine)

  void Reset();
  TDXRNode* AllocNode();
  TDXRNode* CreateNode(TDXRNodeKind Kind);
  TDXRNode* CreateTextureNode(int32_t Index);
  TDXRNode* CreateBlendNode(TDXRBlendOp Op, TDXRNode* First, TDXRNode* Second);
  // False when the tree is malformed or does not fit the machine's
  // capacities; nothing is drawn until a later compile succeeds.
  bool Compile(TDXRNode* Root);
  void Run(int32_t Count);

  // Generated code when available and UseCodeGen is set, else the portable
  // interpreter. Read at compile. A routine that cannot be generated or
  // installed leaves the draw to the interpreter.
  bool UseCodeGen = true;
  bool UsesCodeGen() const { return Compiled && Native != nullptr; }
  // How many routines were generated, for telling a reused one from a new one.
  uint64_t RoutinesBuilt() const { return Built; }

  // Entry point of the compiled native routine, nil when none.
  void (*Routine)(TDXRMachine* Machine, int32_t Count) = nullptr;
  bool Compiled = false;
  int32_t NodeCount = 0;
  TDXRNode Nodes[MaxNodes];
  // The routine uses the vector registers (SSE2 here); set by the build.
  bool UsesMMX = false;

  // Work area of the filtering, displacement and depth fragments.
  uint8_t* DepthPointer = nullptr;
  TDXRCoordPair SamplePair;
  TDXRColor Samples[4];
  TDXRCoordPair ProbePair;
  TDXRCoordPair DisplacedPair;
  uint32_t Scratch = 0;

  TDXRColor Values[MaxValues];
  const TDXRSurfaceInfo* Dest = nullptr;
  TDXRColorSlot ColorSlots[MaxColorSlots];
  int32_t UsedColorSlots[MaxColorSlots] = {};
  int32_t UsedColorSlotCount = 0;
  TDXRTexture Textures[MaxTextures];
  int32_t UsedTextures[MaxTextures] = {};
  int32_t UsedTextureCount = 0;
  bool Dither = false;
  TDXRDepthBuffer DepthBuffer;
  int32_t DestX = 0, DestY = 0;
  bool DitherStep = false;
  bool ZEnabled = false;
  int64_t Z = 0, DeltaZ = 0;

  // Constants the routines read relative to the machine.
  TDXRColor ZeroColor;
  alignas(16) uint16_t HighByteMask[8] = {0xFF00, 0xFF00, 0xFF00, 0xFF00,
                                          0xFF00, 0xFF00, 0xFF00, 0xFF00};
  uint8_t DitherMatrix[16] = {};
  // Eight-lane constants of the wide span loop, written at compile.
  alignas(16) uint16_t WideConstants[24][8] = {};
  TDXRSurfaceParams Params[ParamTexture + MaxTextures];

 private:
  std::unique_ptr<TDXRCodeBuffer> Code;
  std::unique_ptr<uint8_t[]> Staging;
  TDXRProgramPtr Program;
  TDXRNode* RootNode = nullptr;
  void* Native = nullptr;
  std::unique_ptr<TDXRRoutineCache> Cache;
  uint64_t Built = 0;
  friend class TDXRCompiler;
};

// The process's one machine, made on first use.
TDXRMachine& DXRMachine();

// ---- Unit state ------------------------------------------------------------

void DetectCpuFeatures();
bool CpuHasMMX();
// Option 1: use the vector forms (when the processor has them) or not.
void SetRenderOption(uint8_t Option, uint32_t Value);
bool RenderUsesMMX();
double RenderCos(uint8_t Angle);
double RenderSin(uint8_t Angle);
int32_t MulDivTrunc(int64_t a, int64_t b, int64_t c);

// ---- Locked surfaces -------------------------------------------------------

bool LockRenderSurface(IDirectDrawSurface* Surface, TDXRSurfaceInfo& Info);
bool LockRenderSurfaceDesc(IDirectDrawSurface* Surface, DDSURFACEDESC& Desc, TDXRSurfaceInfo& Info);
void UnlockRenderSurface(IDirectDrawSurface* Surface, const TDXRSurfaceInfo& Info);

// ---- Drawing entry points --------------------------------------------------

void SetupBlendPipeline(const TDXRSurfaceInfo& Dest, const TDXRSurfaceInfo& Src, TDXRBlendOp Op,
                        int32_t Alpha, int32_t DU, int32_t DV, bool Keyed, uint32_t Key);
void RenderBlendRect(const TDXRSurfaceInfo& Dest, const TDXRSurfaceInfo& Src, const TRect& DestRect,
                     const TRect& SrcRect, TDXRBlendOp Op, int32_t Alpha, bool Keyed, uint32_t Key);
void RenderBlendWave(const TDXRSurfaceInfo& Dest, const TDXRSurfaceInfo& Src, int32_t X, int32_t Y,
                     int32_t Width, int32_t Height, const TRect& SrcRect, int32_t Amplitude,
                     int32_t Length, int32_t Phase, TDXRBlendOp Op, int32_t Alpha, bool Keyed,
                     uint32_t Key);
void RenderBlendRotate(const TDXRSurfaceInfo& Dest, const TDXRSurfaceInfo& Src, int32_t X,
                       int32_t Y, int32_t Width, int32_t Height, const TRect& SrcRect,
                       double CenterX, double CenterY, int32_t Angle, TDXRBlendOp Op, int32_t Alpha,
                       bool Keyed, uint32_t Key);
