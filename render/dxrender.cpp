#include "render/dxrender.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <unordered_map>

#include "framework/sysutils.h"
#include "render/dxr_emit.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

// ---- Unit state ------------------------------------------------------------

namespace {

struct TRenderUnit {
  bool HasMMX = false;
  bool UseMMX = false;
  std::unique_ptr<TDXRMachine> Machine;

  TRenderUnit() {
    DetectFeatures();
    UseMMX = HasMMX;
  }
  void DetectFeatures() {
    HasMMX = false;
#if defined(__x86_64__) || defined(__i386__)
    unsigned a, b, c, d;
    if (__get_cpuid(0, &a, &b, &c, &d) && a >= 1 && __get_cpuid(1, &a, &b, &c, &d))
      HasMMX = (d >> 23) & 1;
#endif
  }
};

TRenderUnit& Unit() {
  static TRenderUnit unit;
  return unit;
}

// Ordered dither thresholds by fraction f (rows) and position q (columns).
constexpr uint8_t DitherTable[16] = {0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 1, 1, 1, 1, 0};

}  // namespace

void DetectCpuFeatures() {
  Unit().DetectFeatures();
  Unit().UseMMX = Unit().HasMMX;
}
bool CpuHasMMX() {
  return Unit().HasMMX;
}
bool RenderUsesMMX() {
  return Unit().UseMMX;
}

void SetRenderOption(uint8_t Option, uint32_t Value) {
  if (Option == 1) Unit().UseMMX = Value != 0 && Unit().HasMMX;
}

double RenderCos(uint8_t Angle) {
  return TurnCosines()[Angle];
}
double RenderSin(uint8_t Angle) {
  return TurnCosines()[uint8_t(Angle + 192)];
}

int32_t MulDivTrunc(int64_t a, int64_t b, int64_t c) {
  if (c == 0) return 0;
  const int64_t q = a * b / c;
  return int32_t(q);
}

namespace {
// The same, or false when the quotient does not fit a 16.16 coordinate.
bool MulDiv64(int64_t a, int64_t b, int64_t c, int64_t& out) {
  if (c == 0) return false;
  int64_t p;
  if (__builtin_mul_overflow(a, b, &p)) return false;
  out = p / c;
  return out >= INT32_MIN && out <= INT32_MAX;
}
}  // namespace

// ---- Channels and surfaces -------------------------------------------------

int32_t HighestBit(uint32_t x) {
  for (int i = 31; i >= 1; --i)
    if (x & (1u << i)) return i;
  return 0;
}

int32_t LowestBit(uint32_t x) {
  for (int i = 0; i <= 30; ++i)
    if (x & (1u << i)) return i;
  return 31;
}

int32_t CountBits(uint32_t x) {
  return __builtin_popcount(x);
}

TDXRChannelInfo MakeChannelInfo(uint32_t Mask, bool Indexed) {
  TDXRChannelInfo c;
  c.Mask = Mask;
  c.ChannelBits = CountBits(Mask >> LowestBit(Mask));
  if (Indexed) {
    c.Shift = LowestBit(Mask);
    c.LeftShift = 0;
  } else {
    const int32_t b = LowestBit(Mask) - (8 - c.ChannelBits);
    if (b < 0) {
      c.LeftShift = -b;
      c.Shift = 0;
    } else {
      c.Shift = b;
      c.LeftShift = 0;
    }
  }
  return c;
}

bool SameSurfaceFormat(const TDXRSurfaceInfo& A, const TDXRSurfaceInfo& B) {
  if (A.Kind != B.Kind) return false;
  if (A.Kind == 0)
    return A.Channels[0].Mask == B.Channels[0].Mask && A.Channels[1].Mask == B.Channels[1].Mask;
  for (int k = 0; k < 4; ++k)
    if (A.Channels[k].Mask != B.Channels[k].Mask) return false;
  return true;
}

TDXRChannels SurfaceChannels(const TDXRSurfaceInfo& Info) {
  TDXRChannels r = 0;
  if (Info.Kind == 0) {
    if (Info.Channels[0].Mask != 0) r |= chColor;
    if (Info.Channels[1].Mask != 0) r |= chAlpha;
    return r;
  }
  for (int k = 0; k < 4; ++k)
    if (Info.Channels[k].Mask != 0) r |= TDXRChannels(1 << k);
  return r;
}

void SetupSurfaceInfo(TDXRSurfaceInfo& Info, bool Indexed, int32_t Width, int32_t Height,
                      int32_t BitCount, void* Bits, int32_t Pitch, uint32_t RMask, uint32_t GMask,
                      uint32_t BMask, uint32_t AMask) {
  Info = TDXRSurfaceInfo{};
  if (Indexed) {
    Info.Kind = 0;
    Info.Channels[0] =
        MakeChannelInfo(BitCount >= 32 || BitCount < 0 ? 0xFFFFFFFFu : (1u << BitCount) - 1, true);
    Info.Channels[1] = MakeChannelInfo(AMask, true);
  } else {
    Info.Kind = 1;
    Info.Channels[0] = MakeChannelInfo(RMask, false);
    Info.Channels[1] = MakeChannelInfo(GMask, false);
    Info.Channels[2] = MakeChannelInfo(BMask, false);
    Info.Channels[3] = MakeChannelInfo(AMask, false);
  }
  Info.Width = Width;
  Info.Height = Height;
  Info.WidthBit = HighestBit(uint32_t(Width));
  Info.HeightBit = HighestBit(uint32_t(Height));
  Info.WidthPow2 = int32_t(1u << Info.WidthBit);
  Info.HeightPow2 = int32_t(1u << Info.HeightBit);
  Info.WidthMask = Info.WidthPow2 - 1;
  Info.HeightMask = Info.HeightPow2 - 1;
  Info.BitCount = BitCount;
  Info.Bits = static_cast<uint8_t*>(Bits);
  Info.Pitch = Pitch;
  Info.PitchBit = HighestBit(Pitch < 0 ? 0u - uint32_t(Pitch) : uint32_t(Pitch));
}

// ---- The machine -----------------------------------------------------------

// Generated routines by the kind of draw they serve. A kind is everything
// that shapes the code (formats, tree, key, filter, addressing, stepping);
// what only feeds it (surface places, steps, positions, key values, default
// channels) reaches the routine through the machine, so every picture and
// every angle of one kind runs the same routine.
struct TDXRRoutineCache {
  struct TRoutine {
    void* Entry = nullptr;
    uint64_t Generation = 0;
    bool UsesMMX = false;
    // Value words the build filled from a texture's default colour: the
    // routine reads them, so each draw fills them again from its own.
    std::vector<std::pair<int32_t, int32_t>> Defaults;
    decltype(TDXRMachine::WideConstants) Lanes;
  };
  std::unordered_map<std::string, TRoutine> Routines;
  std::string Key;  // kept to spare an allocation per draw
};

TDXRMachine::TDXRMachine() {
  std::memcpy(DitherMatrix, DitherTable, sizeof DitherMatrix);
  if (NativeCodeAvailable()) {
    Code = TDXRCodeBuffer::Create(CodeCacheSize);
    Staging = std::make_unique<uint8_t[]>(CodeSize);
    Cache = std::make_unique<TDXRRoutineCache>();
  }
  ResetProgram(Program);
  Reset();
}

TDXRMachine::~TDXRMachine() = default;

void TDXRMachine::Reset() {
  Routine = nullptr;
  Native = nullptr;
  NodeCount = 0;
  UsedColorSlotCount = 0;
  UsedTextureCount = 0;
  Dest = nullptr;
  Compiled = false;
  UsesMMX = false;
  for (auto& s : ColorSlots) s = TDXRColorSlot{};
  for (auto& t : Textures) t = TDXRTexture{};
  for (auto& v : Values) v = TDXRColor{};
  Dither = false;
  DepthBuffer = TDXRDepthBuffer{};
  DestX = DestY = 0;
  DitherStep = false;
  ZEnabled = false;
  Z = DeltaZ = 0;
  DepthPointer = nullptr;
  SamplePair = ProbePair = DisplacedPair = TDXRCoordPair{};
  for (auto& s : Samples) s = TDXRColor{};
  Scratch = 0;
  RootNode = nullptr;
  ResetProgram(Program);
}

TDXRNode* TDXRMachine::AllocNode() {
  if (NodeCount >= MaxNodes) return nullptr;
  TDXRNode* n = &Nodes[NodeCount++];
  *n = TDXRNode{};
  return n;
}

TDXRNode* TDXRMachine::CreateNode(TDXRNodeKind Kind) {
  TDXRNode* n = AllocNode();
  if (n) n->Kind = Kind;
  return n;
}

TDXRNode* TDXRMachine::CreateTextureNode(int32_t Index) {
  TDXRNode* n = CreateNode(nkTexture);
  if (n) n->TextureIndex = Index;
  return n;
}

TDXRNode* TDXRMachine::CreateBlendNode(TDXRBlendOp Op, TDXRNode* First, TDXRNode* Second) {
  TDXRNode* n = CreateNode(nkBlend);
  if (n) {
    n->Op = Op;
    n->First = First;
    n->Second = Second;
  }
  return n;
}

// Simplifies, scans and builds one tree. Every malformed or oversized input
// makes the compile fail, so a draw never runs a routine that reaches past
// the machine.
class TDXRCompiler {
 public:
  explicit TDXRCompiler(TDXRMachine& m) : M(m) {}

  bool Compile(TDXRNode* Root);

 private:
  TDXRMachine& M;
  TDXREmitter* E = nullptr;
  int32_t NextValue = 0;
  bool Failed = false;

  int32_t Off(const void* p) const {
    return int32_t(reinterpret_cast<const char*>(p) - reinterpret_cast<const char*>(&M));
  }
  bool InPool(const TDXRNode* n) const {
    return n >= M.Nodes && n < M.Nodes + TDXRMachine::MaxNodes;
  }
  // Operand references may be shared, which makes the tree a graph whose
  // paths can outnumber its nodes many times over; walking it is bounded by
  // Visits, well above what a compilable tree takes (one value per
  // evaluated node).
  int32_t Visits = 0;
  static constexpr int32_t MaxVisits = 4 * TDXRMachine::MaxValues;
  bool Validate(const TDXRNode* n, int depth);
  // The textures the tree names: only their surfaces are looked at.
  uint32_t Referenced = 0;
  bool HasPicture(int32_t i) const {
    if (i < 0 || i >= TDXRMachine::MaxTextures) return false;
    const TDXRSurfaceInfo* s = M.Textures[i].Surface;
    return s && s->Bits && s->Width > 0 && s->Height > 0;
  }
  void SimplifyNode(TDXRNode*& n);
  bool ScanNode(const TDXRNode* n);
  int32_t EmitNode(const TDXRNode* n, TDXRChannels ch);
  int32_t Operand(const TDXRNode* n);
  void EmitTextureNode(int32_t target, const TDXRTexture& t, TDXRChannels ch);
  void EmitDisplacedTexture(int32_t target, const TDXRTexture& a, const TDXRTexture& b,
                            TDXRChannels ch);
  bool BuildRoutine(TDXRNode* root);
  void TryWideSpan(const TDXRNode* root);
  bool TryRegisterSpan(const TDXRNode* root);
  void FillParams();
  void BindDrawLanes();
  void Signature(std::string& key, const TDXRNode* root);
  void SignatureNode(std::string& key, const TDXRNode* n, uint32_t& textures);
  bool BuildNative(TDXRNode* root);
  bool BuildReference(TDXRNode* root);
  std::vector<std::pair<int32_t, int32_t>> Defaults;
  // A bare texture over a destination of its own format is copied texel for
  // texel, without unpacking; only the plain nearest filters (0 and 2) take
  // this path, any other filter value samples nearest through unpack and pack.
  bool RawCopy(const TDXRNode* root) const {
    if (root->Kind != nkTexture || M.Dither) return false;
    const TDXRTexture& t = M.Textures[root->TextureIndex];
    return (t.Filter == 0 || t.Filter == 2) && SameSurfaceFormat(*M.Dest, *t.Surface);
  }
};

namespace {

struct TRequirement {
  TDXRChannels Mask1, Add1, Mask2, Add2;
};

TRequirement BlendRequirements(uint8_t op) {
  switch (op) {
    case boSource:
    case boSourceCopy:
      return {chAll, 0, 0, 0};
    case boDestination:
      return {0, 0, chAll, 0};
    case boAdd:
    case boReverseSubtract:
    case boSubtract:
    case boModulate:
    case boModulateColor:
    case boAddColor:
      return {chAll, 0, chAll, 0};
    case boPremultiply:
      return {chColor, chAlpha, 0, 0};
    case boAddAlpha:
    case boSubtractAlpha:
    case boBlend:
    case boBlendInverse:
      return {chColor, chAlpha, chAll, 0};
    case boSourceDestAlpha:
      return {chColor, 0, 0, chAlpha};
    case boModulateAll:
      return {chColor, chAlpha, chColor, chAlpha};
  }
  return {0, 0, 0, 0};
}

bool HasVectorForm(uint8_t op) {
  switch (op) {
    case boSource:
    case boDestination:
    case boSourceCopy:
    case boAdd:
    case boReverseSubtract:
    case boSubtract:
    case boModulate:
    case boModulateAll:
    case boAddColor:
    case boSourceDestAlpha:
      return true;
  }
  return false;
}

bool DepthWidthOk(int32_t bits) {
  return bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

}  // namespace

bool TDXRCompiler::Validate(const TDXRNode* n, int depth) {
  if (!n || !InPool(n) || depth > TDXRMachine::MaxNodes || ++Visits > MaxVisits) return false;
  switch (n->Kind) {
    case nkZero:
    case nkDestination:
      return true;
    case nkColor:
      return n->ColorIndex >= 0 && n->ColorIndex < TDXRMachine::MaxColorSlots;
    case nkConstant:
      return true;
    case nkTexture:
      if (!HasPicture(n->TextureIndex)) return false;
      Referenced |= 1u << n->TextureIndex;
      return true;
    case nkDisplacedTexture:
      if (!HasPicture(n->TextureIndex) || !HasPicture(n->DisplacerIndex)) return false;
      Referenced |= 1u << n->TextureIndex | 1u << n->DisplacerIndex;
      return true;
    case nkBlend:
      return n->Op < DXRBlendOpCount && Validate(n->First, depth + 1) &&
             Validate(n->Second, depth + 1);
  }
  return false;
}

void TDXRCompiler::SimplifyNode(TDXRNode*& n) {
  if (n->Kind != nkBlend) return;
  const TRequirement r = BlendRequirements(n->Op);
  // A node shared by two parents comes here twice; the first pass may have
  // dropped an operand its operation does not read.
  if (n->First) n->First->Channels = TDXRChannels((n->Channels & r.Mask1) | r.Add1);
  if (n->Second) n->Second->Channels = TDXRChannels((n->Channels & r.Mask2) | r.Add2);
  if (n->First) SimplifyNode(n->First);
  if (n->Second) SimplifyNode(n->Second);
  const TDXRChannels ch = n->Channels;
  switch (n->Op) {
    case boZero:
      n->Kind = nkZero;
      return;
    case boSource:
    case boSourceCopy:
      n = n->First;
      n->Channels = ch;
      return;
    case boDestination:
      n = n->Second;
      n->Channels = ch;
      return;
  }
  if (n->Op == boAdd && n->Second->Kind == nkZero) {
    n = n->First;
    n->Channels = ch;
    return;
  }
  if ((n->Op == boAdd || n->Op == boSubtract) && n->First->Kind == nkZero) {
    n = n->Second;
    n->Channels = ch;
    return;
  }
  if (r.Mask1 == 0 && r.Add1 == 0) n->First = nullptr;
  if (r.Mask2 == 0 && r.Add2 == 0) n->Second = nullptr;
}

bool TDXRCompiler::ScanNode(const TDXRNode* n) {
  switch (n->Kind) {
    case nkColor: {
      TDXRColorSlot& s = M.ColorSlots[n->ColorIndex];
      s.Channels |= n->Channels;
      if (s.Channels != 0) s.Used = true;
      return true;
    }
    case nkTexture:
    case nkDisplacedTexture: {
      TDXRTexture& t = M.Textures[n->TextureIndex];
      t.Channels |= SurfaceChannels(*t.Surface) & n->Channels;
      if (t.Channels != 0) t.Used = true;
      if (n->Kind == nkDisplacedTexture) M.Textures[n->DisplacerIndex].Used = true;
      return true;
    }
    case nkBlend:
      if (n->First && !ScanNode(n->First)) return false;
      if (n->Second && !ScanNode(n->Second)) return false;
      return true;
  }
  return true;
}

void TDXRCompiler::EmitTextureNode(int32_t target, const TDXRTexture& t, TDXRChannels ch) {
  if (ch == 0) return;
  const TDXRSurfaceInfo& s = *t.Surface;
  if (t.Filter == 1 || t.Filter == 3) {
    E->EmitFetch(t, Off(&t.U));
    E->EmitColorKey(t);
    E->EmitUnpack(s, Off(&M.Samples[0]), t.DefaultColor, ch);
    E->CopyDword(Off(&M.SamplePair.U), Off(&t.U), 65536);
    E->CopyDword(Off(&M.SamplePair.V), Off(&t.V), 0);
    E->EmitFetch(t, Off(&M.SamplePair));
    E->EmitUnpack(s, Off(&M.Samples[1]), t.DefaultColor, ch);
    E->AddDwordImm(Off(&M.SamplePair.V), 65536);
    E->EmitFetch(t, Off(&M.SamplePair));
    E->EmitUnpack(s, Off(&M.Samples[3]), t.DefaultColor, ch);
    E->AddDwordImm(Off(&M.SamplePair.U), -65536);
    E->EmitFetch(t, Off(&M.SamplePair));
    E->EmitUnpack(s, Off(&M.Samples[2]), t.DefaultColor, ch);
    E->Bilinear(target, Off(&t.U), Off(&t.V), Off(&M.Samples[0]), ch);
    return;
  }
  E->EmitFetch(t, Off(&t.U));
  E->EmitColorKey(t);
  E->EmitUnpack(s, target, t.DefaultColor, ch);
}

// The horizontal difference is taken between the texel one step back and the
// current one; the vertical one, between the texel one row up and the
// current one, so both measure the slope just before the sample point.
void TDXRCompiler::EmitDisplacedTexture(int32_t target, const TDXRTexture& a, const TDXRTexture& b,
                                        TDXRChannels ch) {
  if (ch == 0) return;
  const int32_t probeU = Off(&M.ProbePair.U), probeV = Off(&M.ProbePair.V),
                scratch = Off(&M.Scratch);
  E->CopyDword(probeU, Off(&b.U), 0);
  E->AddDwordMem(probeU, Off(&b.DU), true);
  E->CopyDword(probeV, Off(&b.V), 0);
  E->EmitFetch(b, Off(&M.ProbePair));
  E->SaveRaw(scratch);
  E->AddDwordMem(probeU, Off(&b.DU), false);
  E->EmitFetch(b, Off(&M.ProbePair));
  E->Displace(Off(&M.DisplacedPair.U), Off(&a.U), scratch, true);
  E->SaveRaw(scratch);
  E->AddDwordImm(probeV, -65536);
  E->EmitFetch(b, Off(&M.ProbePair));
  E->Displace(Off(&M.DisplacedPair.V), Off(&a.V), scratch, false);
  E->EmitFetch(a, Off(&M.DisplacedPair));
  E->EmitColorKey(a);
  E->EmitUnpack(*a.Surface, target, a.DefaultColor, ch);
}

int32_t TDXRCompiler::Operand(const TDXRNode* n) {
  if (!n) return -1;
  switch (n->Kind) {
    case nkZero:
      return Off(&M.ZeroColor);
    case nkColor:
      return Off(&M.ColorSlots[n->ColorIndex].Color);
    case nkConstant:
      return Off(&n->Constant);
    case nkTexture: {
      const TDXRTexture& t = M.Textures[n->TextureIndex];
      const TDXRChannels missing = TDXRChannels(n->Channels & ~t.Channels);
      const int32_t v = EmitNode(n, TDXRChannels(n->Channels & t.Channels));
      if (v < 0) return v;
      // Channels the picture lacks are constants written once here.
      TDXRColor& slot = M.Values[(v - Off(&M.Values[0])) / int32_t(sizeof(TDXRColor))];
      uint16_t* words = &slot.R;
      const uint16_t* def = &t.DefaultColor.R;
      for (int k = 0; k < 4; ++k)
        if (missing & TDXRChannels(1 << k)) {
          words[k] = def[k];
          Defaults.emplace_back(Off(&words[k]), Off(&def[k]));
        }
      return v;
    }
  }
  return EmitNode(n, n->Channels);
}

int32_t TDXRCompiler::EmitNode(const TDXRNode* n, TDXRChannels ch) {
  if (NextValue >= TDXRMachine::MaxValues) {
    Failed = true;
    return -1;
  }
  const int32_t v = Off(&M.Values[NextValue++]);
  switch (n->Kind) {
    case nkZero:
      E->EmitBlend(boZero, v, Off(&M.ZeroColor), -1, ch, false);
      break;
    case nkColor:
      E->EmitBlend(boSource, v, Off(&M.ColorSlots[n->ColorIndex].Color), -1, ch, false);
      break;
    case nkConstant:
      E->EmitBlend(boSource, v, Off(&n->Constant), -1, ch, false);
      break;
    case nkTexture:
      EmitTextureNode(v, M.Textures[n->TextureIndex], ch);
      break;
    case nkDisplacedTexture:
      EmitDisplacedTexture(v, M.Textures[n->TextureIndex], M.Textures[n->DisplacerIndex], ch);
      break;
    case nkDestination:
      E->EmitLoadDest(M.Dest->BitCount);
      E->EmitUnpack(*M.Dest, v, M.ZeroColor, ch);
      break;
    case nkBlend: {
      const int32_t f = Operand(n->First);
      if (Failed) return -1;
      const int32_t s = Operand(n->Second);
      if (Failed) return -1;
      const bool vec = RenderUsesMMX() && HasVectorForm(n->Op);
      if (E->EmitBlend(n->Op, v, f, s, ch, vec)) M.UsesMMX = true;
      break;
    }
  }
  return v;
}

namespace {

// Every channel unpacks with one mask and one shift inside a 16-bit lane.
bool WideFormat(const TDXRSurfaceInfo& s) {
  if (s.Kind != 1 || s.BitCount != 16) return false;
  for (const TDXRChannelInfo& c : s.Channels) {
    if (c.Mask == 0) continue;
    if (c.Mask > 0xFFFF || c.Shift >= 16 || c.LeftShift >= 16 || (c.Shift && c.LeftShift))
      return false;
    if ((c.Mask & ((1u << c.Shift) - 1)) != 0 || ((c.Mask >> c.Shift) << c.LeftShift) > 0xFF)
      return false;
  }
  return true;
}

bool WideOp(uint8_t op) {
  switch (op) {
    case boAdd:
    case boReverseSubtract:
    case boSubtract:
    case boModulate:
    case boAddAlpha:
    case boSubtractAlpha:
    case boBlend:
    case boBlendInverse:
      return true;
  }
  return false;
}

}  // namespace

namespace {
// The wide loop compares 16-bit texels: a key with other bits set never
// matches, and the narrow loop alone must find that out.
bool WideKeyFits(const TDXRTexture& t) {
  const uint32_t keyMask = ~t.Surface->Channels[3].Mask & 0xFFFF;
  return (t.ColorKey & ~keyMask) == 0;
}
}  // namespace

void TDXRCompiler::TryWideSpan(const TDXRNode* root) {
  if (!RenderUsesMMX() || M.Dither || M.UsedColorSlotCount != 0 || M.UsedTextureCount != 1) return;
  TDXRWideSpan w;
  const TDXRNode* texNode = nullptr;
  if (root->Kind == nkTexture) {
    texNode = root;
    w.Op = boSource;
  } else if (root->Kind == nkBlend && WideOp(root->Op) && root->First && root->Second &&
             root->First->Kind == nkTexture && root->Second->Kind == nkDestination) {
    texNode = root->First;
    w.Op = root->Op;
  } else {
    return;
  }
  const TDXRTexture& t = M.Textures[texNode->TextureIndex];
  if (t.Filter == 1 || t.Filter == 3 || t.Addressing != amDirect || !t.ConstantSteps ||
      t.DU != 65536 || t.DV != 0)
    return;
  if (!WideFormat(*t.Surface) || !WideFormat(*M.Dest)) return;
  w.Tex = t.Surface;
  w.Dest = M.Dest;
  w.UOff = Off(&t.U);
  w.VOff = Off(&t.V);
  w.TexParams = Off(&M.Params[TDXRMachine::ParamTexture + texNode->TextureIndex]);
  w.Raw = RawCopy(root);
  w.Ch = root->Channels;
  w.TexCh = t.Channels;
  if (t.ColorKeyed && WideKeyFits(t)) {
    w.Keyed = true;
    w.KeyMask = uint16_t(~t.Surface->Channels[3].Mask & 0xFFFF);
  }
  if (E->WideSpan(w)) M.UsesMMX = true;
}

// A turned or stretched sprite copied as it stands: its coordinates step in
// registers rather than through the machine at every pixel. A unit step
// along the row is the wide loop's.
bool TDXRCompiler::TryRegisterSpan(const TDXRNode* root) {
  if (M.Dither || M.UsedColorSlotCount != 0 || M.UsedTextureCount != 1 || !RawCopy(root))
    return false;
  const TDXRTexture& t = M.Textures[root->TextureIndex];
  if (t.Addressing != amDirect || t.Surface->BitCount != 16 || t.Surface->Kind != 1) return false;
  if (t.ConstantSteps && t.DU == 65536 && t.DV == 0) return false;
  TDXRRegisterSpan r;
  r.UOff = Off(&t.U);
  r.VOff = Off(&t.V);
  r.DUOff = Off(&t.DU);
  r.DVOff = Off(&t.DV);
  r.TexParams = Off(&M.Params[TDXRMachine::ParamTexture + root->TextureIndex]);
  r.Keyed = t.ColorKeyed;
  r.KeyMask = ~t.Surface->Channels[3].Mask;
  r.KeyOff = Off(&t.ColorKey);
  return E->RegisterSpan(r);
}

bool TDXRCompiler::BuildRoutine(TDXRNode* root) {
  const TDXRSurfaceInfo& dest = *M.Dest;
  const int32_t bytes = dest.BitCount / 8;
  if (root->Kind == nkColor && !M.ColorSlots[root->ColorIndex].Gradient && !M.DepthBuffer.Enabled &&
      !M.Dither && (dest.BitCount == 16 || dest.BitCount == 32)) {
    E->Fill(dest, Off(&M.ColorSlots[root->ColorIndex].Color), root->Channels);
    return E->Finish();
  }
  E->BeginLoopHead();
  if (M.DitherStep) E->AddDwordImm(Off(&M.DestX), 1);
  for (int i = 0; i < M.UsedColorSlotCount; ++i) {
    TDXRColorSlot& s = M.ColorSlots[M.UsedColorSlots[i]];
    if (s.Gradient) E->AddWords4(Off(&s.Color), Off(&s.Step));
  }
  for (int i = 0; i < M.UsedTextureCount; ++i) {
    TDXRTexture& t = M.Textures[M.UsedTextures[i]];
    // Constant steps still come from the machine, so one routine serves
    // every step of its kind; only a step of zero leaves code out.
    if (t.ConstantSteps) {
      if (t.DU != 0) E->AddDwordMem(Off(&t.U), Off(&t.DU), false);
      if (t.DV != 0) E->AddDwordMem(Off(&t.V), Off(&t.DV), false);
    } else {
      E->AddDwordMem(Off(&t.U), Off(&t.DU), false);
      E->AddDwordMem(Off(&t.V), Off(&t.DV), false);
    }
  }
  if (M.ZEnabled) E->AddQword(Off(&M.Z), Off(&M.DeltaZ));
  E->EmitDestStep(bytes);
  const TDXRSurfaceInfo* depth = M.DepthBuffer.Enabled ? M.DepthBuffer.Surface : nullptr;
  if (depth) E->AddPointer(Off(&M.DepthPointer), depth->BitCount / 8);
  E->EndLoopHead();

  E->BeginBody();
  if (depth)
    E->EmitDepthTest(Off(&M.DepthPointer), Off(&M.Z) + 4, depth->BitCount / 8,
                     M.DepthBuffer.Compare, M.DepthBuffer.Write);
  if (root->Kind == nkColor) {
    E->EmitPack(dest, Off(&M.ColorSlots[root->ColorIndex].Color), root->Channels, M.Dither);
  } else if (RawCopy(root)) {
    const TDXRTexture& t = M.Textures[root->TextureIndex];
    E->EmitFetch(t, Off(&t.U));
    E->EmitColorKey(t);
  } else {
    NextValue = 0;
    const int32_t v = EmitNode(root, root->Channels);
    if (Failed) return false;
    E->EmitPack(dest, v, root->Channels, M.Dither);
  }
  E->EmitStoreDest(dest.BitCount);
  E->EndBody();

  E->BeginEntry();
  E->EmitDestAddress(dest);
  if (depth)
    E->EmitDepthAddress(*depth, Off(&M.DepthPointer));
  else if (!TryRegisterSpan(root))
    TryWideSpan(root);
  E->EndEntry();
  return E->Finish();
}

bool TDXRCompiler::Compile(TDXRNode* Root) {
  M.Compiled = false;
  M.Routine = nullptr;
  M.Native = nullptr;
  M.UsesMMX = false;
  M.RootNode = nullptr;
  ResetProgram(M.Program);
  if (!M.Dest || !Validate(Root, 0)) return false;
  if (!M.Dest->Bits && M.Dest->BitCount >= 8) return false;
  Root->Channels = SurfaceChannels(*M.Dest);
  SimplifyNode(Root);
  if (!ScanNode(Root)) return false;
  M.UsedColorSlotCount = 0;
  for (int i = 0; i < TDXRMachine::MaxColorSlots; ++i)
    if (M.ColorSlots[i].Used) M.UsedColorSlots[M.UsedColorSlotCount++] = i;
  M.UsedTextureCount = 0;
  for (int i = 0; i < TDXRMachine::MaxTextures; ++i)
    if (M.Textures[i].Used) {
      if (!M.Textures[i].Surface) return false;
      M.UsedTextures[M.UsedTextureCount++] = i;
    }
  M.DepthBuffer.Enabled = M.DepthBuffer.Surface != nullptr;
  if (M.DepthBuffer.Enabled && (!DepthWidthOk(M.DepthBuffer.Surface->BitCount) ||
                                !M.DepthBuffer.Surface->Bits || M.DepthBuffer.Compare > 7))
    return false;
  M.ZEnabled = M.DepthBuffer.Enabled;
  M.DitherStep = M.Dither;

  FillParams();
  M.RootNode = Root;
  if (M.UseCodeGen && M.Code && M.Cache) {
    TDXRRoutineCache& cache = *M.Cache;
    Signature(cache.Key, Root);
    const auto it = cache.Routines.find(cache.Key);
    if (it != cache.Routines.end() && it->second.Generation == M.Code->Generation()) {
      const TDXRRoutineCache::TRoutine& r = it->second;
      auto* base = reinterpret_cast<uint8_t*>(&M);
      for (const auto& [to, from] : r.Defaults) std::memcpy(base + to, base + from, 2);
      std::memcpy(M.WideConstants, r.Lanes, sizeof M.WideConstants);
      BindDrawLanes();
      M.UsesMMX = r.UsesMMX;
      M.Native = r.Entry;
      M.Routine = reinterpret_cast<void (*)(TDXRMachine*, int32_t)>(M.Native);
      M.Compiled = true;
      return true;
    }
    if (BuildNative(Root)) {
      TDXRRoutineCache::TRoutine& r = cache.Routines[cache.Key];
      r.Entry = M.Native;
      r.Generation = M.Code->Generation();
      r.UsesMMX = M.UsesMMX;
      r.Defaults = Defaults;
      std::memcpy(r.Lanes, M.WideConstants, sizeof r.Lanes);
      BindDrawLanes();
      M.Compiled = true;
      return true;
    }
    // No code for this draw: it is drawn all the same, by the interpreter.
    M.UsesMMX = false;
    Failed = false;
  }
  if (!BuildReference(Root)) return false;
  BindDrawLanes();
  M.Compiled = true;
  return true;
}

bool TDXRCompiler::BuildNative(TDXRNode* root) {
  const TDXRLayout layout{Off(&M.DestX), Off(&M.DestY), Off(&M.ZeroColor), Off(M.HighByteMask),
                          Off(M.DitherMatrix)};
  size_t entry = 0, length = 0;
  std::unique_ptr<TDXREmitter> e =
      MakeNativeEmitter(M, layout, M.Staging.get(), TDXRMachine::CodeSize, &entry, &length);
  if (!e) return false;
  E = e.get();
  Defaults.clear();
  if (!BuildRoutine(root) || Failed) return false;
  ++M.Built;
  M.Native = M.Code->Install(M.Staging.get(), length, entry);
  if (!M.Native) return false;
  M.Routine = reinterpret_cast<void (*)(TDXRMachine*, int32_t)>(M.Native);
  return true;
}

bool TDXRCompiler::BuildReference(TDXRNode* root) {
  const TDXRLayout layout{Off(&M.DestX), Off(&M.DestY), Off(&M.ZeroColor), Off(M.HighByteMask),
                          Off(M.DitherMatrix)};
  std::unique_ptr<TDXREmitter> e = MakeReferenceEmitter(M, layout, *M.Program);
  E = e.get();
  Defaults.clear();
  if (!BuildRoutine(root) || Failed) {
    ResetProgram(M.Program);
    return false;
  }
  return true;
}

void TDXRCompiler::FillParams() {
  auto fill = [](TDXRSurfaceParams& p, const TDXRSurfaceInfo* s) {
    p = TDXRSurfaceParams{};
    if (!s) return;
    p.Bits = s->Bits;
    p.Pitch = s->Pitch;
    p.WidthMask = s->WidthMask;
    p.HeightMask = s->HeightMask;
    p.Palette = &s->Palette[0][0];
  };
  fill(M.Params[TDXRMachine::ParamDest], M.Dest);
  fill(M.Params[TDXRMachine::ParamDepth], M.DepthBuffer.Enabled ? M.DepthBuffer.Surface : nullptr);
  for (int i = 0; i < TDXRMachine::MaxTextures; ++i) {
    const bool wanted = (Referenced >> i & 1) || M.Textures[i].Used;
    fill(M.Params[TDXRMachine::ParamTexture + i], wanted ? M.Textures[i].Surface : nullptr);
  }
}

// The wide loop's lanes that hold this draw's default channels and key.
void TDXRCompiler::BindDrawLanes() {
  if (M.UsedTextureCount != 1) return;
  const TDXRTexture& t = M.Textures[M.UsedTextures[0]];
  const uint16_t* def = &t.DefaultColor.R;
  for (int k = 0; k < 4; ++k)
    for (auto& l : M.WideConstants[WideLaneDefault + k]) l = uint16_t(def[k] >> 8);
  for (auto& l : M.WideConstants[WideLaneKey]) l = uint16_t(t.ColorKey);
}

namespace {
template <class T>
void Put(std::string& key, T v) {
  key.append(reinterpret_cast<const char*>(&v), sizeof v);
}
void PutFormat(std::string& key, const TDXRSurfaceInfo& f) {
  Put(key, f.Kind);
  Put(key, uint8_t(f.BitCount));
  for (const TDXRChannelInfo& c : f.Channels) {
    Put(key, c.Mask);
    Put(key, uint8_t(c.ChannelBits));
    Put(key, uint8_t(c.Shift));
    Put(key, uint8_t(c.LeftShift));
  }
}
}  // namespace

void TDXRCompiler::SignatureNode(std::string& key, const TDXRNode* n, uint32_t& textures) {
  Put(key, n->Kind);
  Put(key, n->Channels);
  switch (n->Kind) {
    case nkColor:
      Put(key, uint8_t(n->ColorIndex));
      break;
    case nkConstant:
      // The routine reads the constant from its node.
      Put(key, uint8_t(n - M.Nodes));
      break;
    case nkTexture:
      Put(key, uint8_t(n->TextureIndex));
      textures |= 1u << n->TextureIndex;
      break;
    case nkDisplacedTexture:
      Put(key, uint8_t(n->TextureIndex));
      Put(key, uint8_t(n->DisplacerIndex));
      textures |= 1u << n->TextureIndex | 1u << n->DisplacerIndex;
      break;
    case nkBlend:
      Put(key, n->Op);
      Put(key, uint8_t((n->First ? 1 : 0) | (n->Second ? 2 : 0)));
      if (n->First) SignatureNode(key, n->First, textures);
      if (n->Second) SignatureNode(key, n->Second, textures);
      break;
  }
}

// Everything the builder looks at, except what the routine reads when it
// runs.
void TDXRCompiler::Signature(std::string& key, const TDXRNode* root) {
  key.clear();
  Put(key, uint8_t(RenderUsesMMX()));
  Put(key, uint8_t(M.Dither));
  PutFormat(key, *M.Dest);
  Put(key, uint8_t(M.DepthBuffer.Enabled));
  if (M.DepthBuffer.Enabled) {
    Put(key, uint8_t(M.DepthBuffer.Surface->BitCount));
    Put(key, M.DepthBuffer.Compare);
    Put(key, uint8_t(M.DepthBuffer.Write));
  }
  for (const TDXRColorSlot& c : M.ColorSlots) Put(key, uint8_t(c.Used | c.Gradient << 1));
  uint32_t textures = 0;
  SignatureNode(key, root, textures);
  for (int i = 0; i < TDXRMachine::MaxTextures; ++i) {
    const TDXRTexture& t = M.Textures[i];
    if (!t.Used && !(textures & (1u << i))) continue;
    Put(key, uint8_t(i));
    PutFormat(key, *t.Surface);
    Put(key, uint8_t(t.Used | t.ConstantSteps << 1 | t.ColorKeyed << 2 | WideKeyFits(t) << 3));
    Put(key, t.Filter);
    Put(key, t.Addressing);
    Put(key, t.Channels);
    if (t.ConstantSteps) Put(key, uint8_t((t.DU == 0) | (t.DV == 0) << 1 | (t.DU == 65536) << 2));
  }
}

bool TDXRMachine::Compile(TDXRNode* Root) {
  return TDXRCompiler(*this).Compile(Root);
}

void TDXRMachine::Run(int32_t Count) {
  if (Count <= 0 || !Compiled) return;
  if (Routine)
    Routine(this, Count);
  else
    RunProgram(*this, *Program, Count);
}

TDXRMachine& DXRMachine() {
  auto& m = Unit().Machine;
  if (!m) m = std::make_unique<TDXRMachine>();
  return *m;
}

// ---- Drawing entry points --------------------------------------------------

namespace {

// The byte range a locked buffer covers, for refusing a source that is also
// the destination.
void SurfaceRange(const TDXRSurfaceInfo& s, uintptr_t& lo, uintptr_t& hi) {
  const uintptr_t base = reinterpret_cast<uintptr_t>(s.Bits);
  const int64_t rowBytes = (int64_t(s.Width) * s.BitCount + 7) / 8;
  const int64_t last = int64_t(s.Height > 0 ? s.Height - 1 : 0) * s.Pitch;
  lo = base + uintptr_t(last < 0 ? last : 0);
  hi = base + uintptr_t(last > 0 ? last : 0) + uintptr_t(rowBytes);
}

bool Overlap(const TDXRSurfaceInfo& a, const TDXRSurfaceInfo& b) {
  uintptr_t alo, ahi, blo, bhi;
  SurfaceRange(a, alo, ahi);
  SurfaceRange(b, blo, bhi);
  return alo < bhi && blo < ahi;
}

bool Usable(const TDXRSurfaceInfo& Dest, const TDXRSurfaceInfo& Src) {
  return Dest.Bits && Src.Bits && Dest.Width > 0 && Dest.Height > 0 && Src.Width > 0 &&
         Src.Height > 0 && !Overlap(Dest, Src);
}

bool SrcRectBad(const TDXRSurfaceInfo& Src, const TRect& r) {
  return r.Left < 0 || r.Top < 0 || r.Right > Src.Width || r.Bottom > Src.Height ||
         r.Left >= r.Right || r.Top >= r.Bottom;
}

// Clips one axis of the destination; all in 64 bits so far-off rectangles
// cannot wrap round into view.
bool ClipSpan(int64_t& start, int64_t& stop, int64_t& skip, int32_t size) {
  if (start < 0) {
    skip -= start;
    start = 0;
  }
  if (stop > size) stop = size;
  return stop > 0 && stop - start > 0;
}

bool FitsInt32(int64_t v) {
  return v >= INT32_MIN && v <= INT32_MAX;
}

}  // namespace

void SetupBlendPipeline(const TDXRSurfaceInfo& Dest, const TDXRSurfaceInfo& Src, TDXRBlendOp Op,
                        int32_t Alpha, int32_t DU, int32_t DV, bool Keyed, uint32_t Key) {
  TDXRMachine& m = DXRMachine();
  m.Reset();
  m.Dest = &Dest;
  TDXRTexture& t = m.Textures[0];
  t.Surface = &Src;
  t.DU = DU;
  t.DV = DV;
  t.ConstantSteps = true;
  t.Addressing = amDirect;
  t.ColorKeyed = Keyed;
  t.ColorKey = Key;
  const uint16_t a = uint16_t(uint32_t(Alpha) << 8);
  t.DefaultColor = TDXRColor{a, a, a, a};
  TDXRNode* d = m.CreateNode(nkDestination);
  TDXRNode* s = m.CreateTextureNode(0);
  m.Compile(m.CreateBlendNode(Op, s, d));
}

void RenderBlendRect(const TDXRSurfaceInfo& Dest, const TDXRSurfaceInfo& Src, const TRect& DestRect,
                     const TRect& SrcRect, TDXRBlendOp Op, int32_t Alpha, bool Keyed,
                     uint32_t Key) {
  if (DestRect.Left >= DestRect.Right || DestRect.Top >= DestRect.Bottom) return;
  if (SrcRectBad(Src, SrcRect) || !Usable(Dest, Src)) return;
  int64_t x1 = DestRect.Left, y1 = DestRect.Top, x2 = DestRect.Right, y2 = DestRect.Bottom,
          skipX = 0, skipY = 0;
  if (!ClipSpan(x1, x2, skipX, Dest.Width) || !ClipSpan(y1, y2, skipY, Dest.Height)) return;
  int64_t du, dv;
  if (!MulDiv64(int64_t(SrcRect.Right) - SrcRect.Left, 65536,
                int64_t(DestRect.Right) - DestRect.Left, du) ||
      !MulDiv64(int64_t(SrcRect.Bottom) - SrcRect.Top, 65536,
                int64_t(DestRect.Bottom) - DestRect.Top, dv))
    return;
  const int64_t u0 = skipX * du + (int64_t(SrcRect.Left) << 16);
  int64_t v = skipY * dv + (int64_t(SrcRect.Top) << 16);
  const int64_t uEnd = (x2 - x1) * du + u0, vEnd = (y2 - y1) * dv + v;
  if (u0 < 0 || v < 0 || (uEnd >> 16) > Src.Width || (vEnd >> 16) > Src.Height) return;
  if (!FitsInt32(uEnd) || !FitsInt32(vEnd)) return;
  SetupBlendPipeline(Dest, Src, Op, Alpha, int32_t(du), 0, Keyed, Key);
  TDXRMachine& m = DXRMachine();
  for (int64_t y = y1; y < y2; ++y) {
    m.DestX = int32_t(x1);
    m.DestY = int32_t(y);
    m.Textures[0].U = int32_t(u0);
    m.Textures[0].V = int32_t(v);
    m.Run(int32_t(x2 - x1));
    v += dv;
  }
}

void RenderBlendWave(const TDXRSurfaceInfo& Dest, const TDXRSurfaceInfo& Src, int32_t X, int32_t Y,
                     int32_t Width, int32_t Height, const TRect& SrcRect, int32_t Amplitude,
                     int32_t Length, int32_t Phase, TDXRBlendOp Op, int32_t Alpha, bool Keyed,
                     uint32_t Key) {
  if (Width == 0 || Height == 0) return;
  if (SrcRectBad(Src, SrcRect) || !Usable(Dest, Src)) return;
  int64_t y1 = Y, y2 = int64_t(Y) + Height, skipY = 0;
  if (!ClipSpan(y1, y2, skipY, Dest.Height)) return;
  int64_t du, dv;
  if (!MulDiv64(int64_t(SrcRect.Right) - SrcRect.Left, 65536, Width, du) ||
      !MulDiv64(int64_t(SrcRect.Bottom) - SrcRect.Top, 65536, Height, dv))
    return;
  const int32_t phaseStep = Length == 0 ? 0 : MulDivTrunc(256, 65536, Length);
  // The phase is a 32-bit 16.16 angle and wraps as one.
  uint32_t p = (uint32_t(Phase) << 16) + uint32_t(skipY) * uint32_t(phaseStep);
  int64_t v = skipY * dv + (int64_t(SrcRect.Top) << 16);
  const int64_t vEnd = (y2 - y1) * dv + v;
  if (v < 0 || (vEnd >> 16) > Src.Height || !FitsInt32(vEnd)) return;
  SetupBlendPipeline(Dest, Src, Op, Alpha, int32_t(du), 0, Keyed, Key);
  TDXRMachine& m = DXRMachine();
  for (int64_t y = y1; y < y2; ++y) {
    const int32_t angle = int32_t(p) / 65536;
    const int64_t offset = int64_t(Round(RenderSin(uint8_t(angle & 255)) * Amplitude)) + X;
    int64_t x1 = offset, x2 = offset + Width, skipX = 0;
    if (ClipSpan(x1, x2, skipX, Dest.Width)) {
      const int64_t u = skipX * du + (int64_t(SrcRect.Left) << 16);
      const int64_t uEnd = (x2 - x1) * du + u;
      if (u < 0 || v < 0 || (uEnd >> 16) > Src.Width || !FitsInt32(uEnd)) return;
      m.DestX = int32_t(x1);
      m.DestY = int32_t(y);
      m.Textures[0].U = int32_t(u);
      m.Textures[0].V = int32_t(v);
      m.Run(int32_t(x2 - x1));
    }
    p += uint32_t(phaseStep);
    v += dv;
  }
}

namespace {

int64_t Trunc64(double v) {
  return ToInt64(std::trunc(v));
}
// A mapped corner, held well inside 64 bits so adding a position cannot wrap.
int64_t Coord(double v) {
  return std::clamp<int64_t>(Trunc64(v), -(int64_t(1) << 40), int64_t(1) << 40);
}

bool Add64(int64_t a, int64_t b, int64_t& r) {
  return !__builtin_add_overflow(a, b, &r);
}
bool Mul64(int64_t a, int64_t b, int64_t& r) {
  return !__builtin_mul_overflow(a, b, &r);
}

// How many steps from c (inclusive) stay inside [lo, hi).
int64_t RunLength(int64_t c, int64_t step, int64_t lo, int64_t hi) {
  if (c < lo || c >= hi) return 0;
  if (step > 0) return (hi - c + step - 1) / step;
  if (step < 0) return (c - lo) / -step + 1;
  return INT64_MAX;
}

}  // namespace

void RenderBlendRotate(const TDXRSurfaceInfo& Dest, const TDXRSurfaceInfo& Src, int32_t X,
                       int32_t Y, int32_t Width, int32_t Height, const TRect& SrcRect,
                       double CenterX, double CenterY, int32_t Angle, TDXRBlendOp Op, int32_t Alpha,
                       bool Keyed, uint32_t Key) {
  if (Width == 0 || Height == 0) return;
  if (SrcRectBad(Src, SrcRect) || !Usable(Dest, Src)) return;
  const double co = RenderCos(uint8_t(Angle)), si = RenderSin(uint8_t(Angle));
  int64_t bx1 = INT64_MAX, by1 = INT64_MAX, bx2 = INT64_MIN, by2 = INT64_MIN;
  const double corners[4][2] = {
      {0, 0}, {double(Width), 0}, {0, double(Height)}, {double(Width), double(Height)}};
  for (const auto& c : corners) {
    const double cx = std::trunc(c[0] - Width * CenterX), cy = std::trunc(c[1] - Height * CenterY);
    const int64_t x = Coord(cx * co - cy * si) + X, y = Coord(cx * si + cy * co) + Y;
    bx1 = std::min(bx1, x);
    by1 = std::min(by1, y);
    bx2 = std::max(bx2, x);
    by2 = std::max(by2, y);
  }
  // The corners are truncated from floating point and a dest pixel samples
  // the source at its top-left corner, so the picture can reach one pixel
  // past the mapped corners; rows and runs are cut to the source below, so a
  // wider box only costs a row.
  bx1 = std::max<int64_t>(bx1 - 1, 0);
  by1 = std::max<int64_t>(by1 - 1, 0);
  bx2 = std::min<int64_t>(bx2 + 1, Dest.Width);
  by2 = std::min<int64_t>(by2 + 1, Dest.Height);
  if (!(bx1 <= Dest.Width && bx2 > 0 && bx2 - bx1 > 0 && by1 <= Dest.Height && by2 > 0 &&
        by2 - by1 > 0))
    return;

  const int64_t c = Trunc64(RenderCos(uint8_t(-Angle)) * 65536),
                s = Trunc64(RenderSin(uint8_t(-Angle)) * 65536);
  const int64_t sw = int64_t(SrcRect.Right) - SrcRect.Left,
                sh = int64_t(SrcRect.Bottom) - SrcRect.Top;
  int64_t dux, dvx, duy, dvy;
  if (!MulDiv64(sw, c, Width, dux) || !MulDiv64(sh, s, Height, dvx) ||
      !MulDiv64(sw, s, Width, duy) || !MulDiv64(sh, c, Height, dvy))
    return;
  int64_t u0, v0, t1, t2;
  if (!Mul64(bx1 - X, dux, t1) || !Mul64(int64_t(Y) - by1, duy, t2) ||
      !Add64(Trunc64(sw * CenterX * 65536), t1, u0) || !Add64(u0, t2, u0) ||
      !Add64(u0, int64_t(SrcRect.Left) << 16, u0))
    return;
  if (!Mul64(bx1 - X, dvx, t1) || !Mul64(int64_t(Y) - by1, dvy, t2) ||
      !Add64(Trunc64(sh * CenterY * 65536), t1, v0) || !Add64(v0, -t2, v0) ||
      !Add64(v0, int64_t(SrcRect.Top) << 16, v0))
    return;

  SetupBlendPipeline(Dest, Src, Op, Alpha, int32_t(dux), int32_t(dvx), Keyed, Key);
  TDXRMachine& m = DXRMachine();
  const int64_t L = int64_t(SrcRect.Left) << 16, T = int64_t(SrcRect.Top) << 16,
                R = int64_t(SrcRect.Right) << 16, B = int64_t(SrcRect.Bottom) << 16;
  for (int64_t y = by1; y < by2; ++y) {
    int64_t ru, rv, a, b;
    if (!Mul64(y - by1, duy, a) || !Mul64(y - by1, dvy, b) || !Add64(u0, -a, ru) ||
        !Add64(v0, b, rv))
      continue;
    // A coordinate that does not move along the row must start inside the
    // source, or the whole row would read outside it.
    if ((dux == 0 && (ru < L || ru >= R)) || (dvx == 0 && (rv < T || rv >= B))) continue;
    int64_t k = 0;
    if (dux > 0 && L > ru) k = (L - ru + dux - 1) / dux;
    if (dux < 0 && R <= ru) k = (R - ru + dux) / dux;
    if (dvx > 0 && T > rv) k = std::max(k, (T - rv + dvx - 1) / dvx);
    if (dvx < 0 && B <= rv) k = std::max(k, (B - rv + dvx) / dvx);
    if (k > Dest.Width) continue;
    const int64_t u = ru + k * dux, v = rv + k * dvx;
    // Every pixel whose source coordinates stay inside the rectangle.
    int64_t n = RunLength(u, dux, L, R);
    n = std::min(n, RunLength(v, dvx, T, B));
    n = std::min(n, Dest.Width - (bx1 + k));
    if (n <= 0) continue;
    m.DestX = int32_t(bx1 + k);
    m.DestY = int32_t(y);
    m.Textures[0].U = int32_t(u);
    m.Textures[0].V = int32_t(v);
    m.Run(int32_t(n));
  }
}
