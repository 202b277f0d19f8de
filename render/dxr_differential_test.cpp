// The generated code against the interpreter: random trees over random
// formats and machine settings, run on copies of the same buffers, must leave
// the same bytes and the same machine state.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <sstream>

#include "render/dxr_emit.h"
#include "render/render_test_util.h"

namespace {

const TTestFormat* const Formats[] = {&fmtI1,  &fmtI2,   &fmtI4,  &fmtI8,   &fmt565,
                                      &fmt555, &fmt1555, &fmt888, &fmtX888, &fmt8888};

struct TNodeSpec {
  uint8_t Kind = nkZero;
  int32_t Index = 0, Displacer = 0;
  TDXRColor Constant;
  uint8_t Op = 0;
  int First = -1, Second = -1;
};

struct TTextureSpec {
  const TTestFormat* Format;
  int32_t W, H;
  bool BottomUp;
  uint8_t Addressing, Filter;
  bool Keyed, ConstantSteps;
  uint32_t Key;
  int32_t DU, DV;
  TDXRColor Default;
};

struct TRunSpec {
  int32_t X, Y, Count;
  int32_t U[TDXRMachine::MaxTextures], V[TDXRMachine::MaxTextures];
};

struct TScenario {
  const TTestFormat* DestFormat;
  int32_t W, H;
  bool BottomUp;
  int32_t ExtraPitch;
  bool Dither;
  int DepthBits;  // 0 none
  uint8_t Compare;
  bool DepthWrite;
  int64_t Z, DeltaZ;
  std::vector<TTextureSpec> Textures;
  TDXRColorSlot Slots[TDXRMachine::MaxColorSlots];
  std::vector<TNodeSpec> Nodes;
  int Root = 0;
  std::vector<TRunSpec> Runs;
  uint32_t Seed = 0;
};

class TGenerator {
 public:
  explicit TGenerator(uint32_t seed) : R(seed) {}

  int Rand(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(R); }
  uint32_t Bits32() { return uint32_t(R()); }
  bool Chance(int percent) { return Rand(0, 99) < percent; }
  TDXRColor Color() {
    return TDXRColor{uint16_t(Bits32()), uint16_t(Bits32()), uint16_t(Bits32()),
                     uint16_t(Bits32())};
  }

  // The drawing entry points' shape: one 16-bit picture stepped a texel per
  // pixel, blended over a 16-bit destination (the wide span's case).
  TScenario MakeSprite(uint32_t seed) {
    static const TTestFormat* const sixteen[] = {&fmt565, &fmt555, &fmt1555};
    TScenario s;
    s.Seed = seed;
    s.DestFormat = sixteen[Rand(0, 2)];
    s.W = Rand(1, 40);
    s.H = Rand(1, 3);
    s.BottomUp = Chance(30);
    s.ExtraPitch = Rand(0, 1) * 2;
    s.Dither = false;
    s.DepthBits = 0;
    s.Z = s.DeltaZ = 0;
    s.Compare = 0;
    s.DepthWrite = false;
    TTextureSpec t{};
    t.Format = sixteen[Rand(0, 2)];
    t.W = Rand(2, 48);
    t.H = Rand(2, 5);
    t.BottomUp = Chance(30);
    t.Addressing = amDirect;
    t.Filter = Chance(80) ? 0 : uint8_t(Rand(1, 4));  // 4: nearest, not a raw copy
    t.Keyed = Chance(60);
    t.ConstantSteps = Chance(90);
    t.Key = Bits32() & 0xFFFF;
    t.DU = Chance(85) ? 0x10000 : Rand(0x8000, 0x10000);
    t.DV = 0;
    t.Default = Color();
    s.Textures.push_back(t);
    for (auto& slot : s.Slots) slot = TDXRColorSlot{};
    TNodeSpec tex;
    tex.Kind = nkTexture;
    s.Nodes.push_back(tex);
    if (Chance(80)) {
      TNodeSpec blend, dest;
      blend.Kind = nkBlend;
      blend.Op = uint8_t(Rand(0, DXRBlendOpCount - 1));
      blend.First = 0;
      blend.Second = 2;
      dest.Kind = nkDestination;
      s.Nodes.push_back(blend);
      s.Nodes.push_back(dest);
      s.Root = 1;
    }
    AddRuns(s);
    return s;
  }

  TScenario Make(uint32_t seed) {
    if (Chance(30)) return MakeSprite(seed);
    TScenario s;
    s.Seed = seed;
    s.DestFormat = Formats[Rand(0, 9)];
    s.W = Rand(1, 24);
    s.H = Rand(1, 5);
    s.BottomUp = Chance(30);
    s.ExtraPitch = Rand(0, 3);
    s.Dither = Chance(30);
    static const int depthBits[] = {8, 16, 24, 32};
    s.DepthBits = Chance(25) ? depthBits[Rand(0, 3)] : 0;
    s.Compare = uint8_t(Rand(0, 7));
    s.DepthWrite = Chance(50);
    s.Z = int64_t(Bits32() % 300) << 32 | Bits32();
    s.DeltaZ = (int64_t(Rand(-3, 3)) << 32) + Bits32();
    const int nt = Rand(1, 3);
    for (int i = 0; i < nt; ++i) {
      TTextureSpec t{};
      t.Format = Formats[Rand(0, 9)];
      t.W = Chance(50) ? 1 << Rand(1, 4) : Rand(2, 20);
      t.H = Chance(50) ? 1 << Rand(1, 3) : Rand(2, 9);
      t.BottomUp = Chance(30);
      t.Addressing = Chance(10) ? 2 : uint8_t(Rand(0, 1));
      t.Filter = uint8_t(Rand(0, 4));
      t.Keyed = Chance(40);
      t.ConstantSteps = Chance(50);
      t.Key = Chance(20) ? 0
                         : Bits32() & (t.Format->BitCount >= 32 ? 0xFFFFFFFFu
                                                                : (1u << t.Format->BitCount) - 1);
      t.DU = Rand(-0x18000, 0x18000);
      t.DV = Chance(50) ? 0 : Rand(-0x8000, 0x8000);
      t.Default = Color();
      s.Textures.push_back(t);
    }
    for (auto& slot : s.Slots) {
      slot.Color = Color();
      slot.Step = Color();
      slot.Gradient = Chance(40);
    }
    s.Root = Tree(s, 0, nt);
    // Coordinates outside the picture are only for wrapped textures, so
    // every texture a displacement touches wraps, and direct ones step
    // forward within the picture.
    for (const TNodeSpec& n : s.Nodes)
      if (n.Kind == nkDisplacedTexture) {
        s.Textures[size_t(n.Index)].Addressing = amWrap;
        s.Textures[size_t(n.Displacer)].Addressing = amWrap;
      }
    for (auto& t : s.Textures)
      if (t.Addressing == amDirect) {
        t.DU = std::abs(t.DU) % 0x10001;
        t.DV = std::abs(t.DV) % 0x4001;
      }
    AddRuns(s);
    return s;
  }

  void AddRuns(TScenario& s) {
    const int runs = Rand(1, 4);
    for (int i = 0; i < runs; ++i) {
      TRunSpec r{};
      r.Y = Rand(0, s.H - 1);
      r.X = Rand(0, s.W - 1);
      r.Count = Rand(-1, s.W - r.X);
      for (size_t k = 0; k < s.Textures.size(); ++k) {
        const TTextureSpec& t = s.Textures[k];
        if (t.Addressing == amDirect) {
          // Room for the bilinear neighbour, one texel right and below.
          const int64_t roomU = int64_t(t.W - 2) << 16, roomV = int64_t(t.H - 2) << 16;
          if (t.DU > 0) r.Count = int32_t(std::min<int64_t>(r.Count, roomU / t.DU + 1));
          if (t.DV > 0) r.Count = int32_t(std::min<int64_t>(r.Count, roomV / t.DV + 1));
          const int64_t spanU = int64_t(std::max(r.Count - 1, 0)) * t.DU;
          const int64_t spanV = int64_t(std::max(r.Count - 1, 0)) * t.DV;
          r.U[k] = int32_t(
              std::uniform_int_distribution<int64_t>(0, std::max<int64_t>(roomU - spanU, 0))(R));
          r.V[k] = int32_t(
              std::uniform_int_distribution<int64_t>(0, std::max<int64_t>(roomV - spanV, 0))(R));
        } else {
          r.U[k] = int32_t(Bits32());
          r.V[k] = int32_t(Bits32());
        }
      }
      s.Runs.push_back(r);
    }
  }

 private:
  int Tree(TScenario& s, int depth, int nt) {
    TNodeSpec n;
    const int kind = depth >= 4 || Chance(35) ? Rand(0, 5) : nkBlend;
    n.Kind = uint8_t(kind);
    n.Index = Rand(0, nt - 1);
    n.Displacer = Rand(0, nt - 1);
    n.Constant = Color();
    if (kind == nkColor) n.Index = Rand(0, TDXRMachine::MaxColorSlots - 1);
    const int me = int(s.Nodes.size());
    s.Nodes.push_back(n);
    if (kind == nkBlend) {
      s.Nodes[size_t(me)].Op = uint8_t(Rand(0, DXRBlendOpCount - 1));
      const int f = Tree(s, depth + 1, nt);
      const int g = Tree(s, depth + 1, nt);
      s.Nodes[size_t(me)].First = f;
      s.Nodes[size_t(me)].Second = g;
    }
    return me;
  }
  std::mt19937 R;
};

// One back-end's copy of a scenario: its own destination and depth buffers.
struct TInstance {
  std::unique_ptr<TTestSurface> Dest, Depth;
  bool Compiled = false;
};

void Fill(std::mt19937& r, TTestSurface& s) {
  for (auto& b : s.Mem) b = uint8_t(r());
  for (size_t i = 0; i < TTestSurface::Guard; ++i) s.Mem[i] = s.Mem[s.Mem.size() - 1 - i] = 0xCD;
  for (auto& e : s.Info.Palette)
    for (auto& c : e) c = uint8_t(r());
}

TInstance Apply(const TScenario& s, TDXRMachine& m,
                std::vector<std::unique_ptr<TTestSurface>>& textures) {
  TInstance in;
  std::mt19937 r(s.Seed);
  in.Dest = std::make_unique<TTestSurface>(*s.DestFormat, s.W, s.H, s.BottomUp, s.ExtraPitch);
  Fill(r, *in.Dest);
  if (s.DepthBits) {
    const TTestFormat df{"depth", false, s.DepthBits, 0, 0, 0, 0};
    in.Depth = std::make_unique<TTestSurface>(df, s.W, s.H, s.BottomUp, s.ExtraPitch);
    Fill(r, *in.Depth);
  }
  m.Reset();
  m.Dest = &in.Dest->Info;
  m.Dither = s.Dither;
  if (in.Depth) {
    m.DepthBuffer.Surface = &in.Depth->Info;
    m.DepthBuffer.Compare = s.Compare;
    m.DepthBuffer.Write = s.DepthWrite;
  }
  m.Z = s.Z;
  m.DeltaZ = s.DeltaZ;
  for (size_t i = 0; i < s.Textures.size(); ++i) {
    const TTextureSpec& t = s.Textures[i];
    TDXRTexture& mt = m.Textures[i];
    mt.Surface = &textures[i]->Info;
    mt.Addressing = t.Addressing;
    mt.Filter = t.Filter;
    mt.ColorKeyed = t.Keyed;
    mt.ColorKey = t.Key;
    mt.ConstantSteps = t.ConstantSteps;
    mt.DU = t.DU;
    mt.DV = t.DV;
    mt.DefaultColor = t.Default;
  }
  for (int i = 0; i < TDXRMachine::MaxColorSlots; ++i) {
    m.ColorSlots[i].Color = s.Slots[i].Color;
    m.ColorSlots[i].Step = s.Slots[i].Step;
    m.ColorSlots[i].Gradient = s.Slots[i].Gradient;
  }
  std::vector<TDXRNode*> nodes;
  for (const TNodeSpec& n : s.Nodes) {
    TDXRNode* x = m.CreateNode(TDXRNodeKind(n.Kind));
    x->ColorIndex = n.Index;
    x->TextureIndex = n.Index;
    x->DisplacerIndex = n.Displacer;
    x->Constant = n.Constant;
    x->Op = n.Op;
    nodes.push_back(x);
  }
  for (size_t i = 0; i < s.Nodes.size(); ++i) {
    if (s.Nodes[i].First >= 0) nodes[i]->First = nodes[size_t(s.Nodes[i].First)];
    if (s.Nodes[i].Second >= 0) nodes[i]->Second = nodes[size_t(s.Nodes[i].Second)];
  }
  in.Compiled = m.Compile(nodes[size_t(s.Root)]);
  for (const TRunSpec& run : s.Runs) {
    m.DestX = run.X;
    m.DestY = run.Y;
    for (size_t k = 0; k < s.Textures.size(); ++k) {
      m.Textures[k].U = run.U[k];
      m.Textures[k].V = run.V[k];
    }
    m.Run(run.Count);
  }
  return in;
}

std::string Describe(const TScenario& s) {
  std::ostringstream o;
  o << "seed " << s.Seed << " dest " << s.DestFormat->Name << " " << s.W << "x" << s.H << " dither "
    << s.Dither << " depth " << s.DepthBits << "/" << int(s.Compare) << " textures";
  for (const auto& t : s.Textures)
    o << " [" << t.Format->Name << " " << t.W << "x" << t.H << " am" << int(t.Addressing) << " f"
      << int(t.Filter) << (t.Keyed ? " keyed" : "") << "]";
  o << " nodes";
  for (const auto& n : s.Nodes)
    o << " " << int(n.Kind) << (n.Kind == nkBlend ? "/" + std::to_string(n.Op) : "");
  return o.str();
}

void ExpectSameState(const TDXRMachine& a, const TDXRMachine& b, const TInstance& ia,
                     const TInstance& ib, const std::string& what) {
  EXPECT_EQ(ia.Dest->Mem, ib.Dest->Mem) << what;
  if (ia.Depth) {
    EXPECT_EQ(ia.Depth->Mem, ib.Depth->Mem) << what;
    auto where = [](const uint8_t* p, const TInstance& i) {
      return p ? p - i.Depth->Mem.data() : -1;
    };
    EXPECT_EQ(where(a.DepthPointer, ia), where(b.DepthPointer, ib)) << what;
  }
  EXPECT_EQ(a.DestX, b.DestX) << what;
  EXPECT_EQ(a.DestY, b.DestY) << what;
  EXPECT_EQ(a.Z, b.Z) << what;
  for (int i = 0; i < TDXRMachine::MaxTextures; ++i) {
    EXPECT_EQ(a.Textures[i].U, b.Textures[i].U) << what << " texture " << i;
    EXPECT_EQ(a.Textures[i].V, b.Textures[i].V) << what << " texture " << i;
  }
  for (int i = 0; i < TDXRMachine::MaxColorSlots; ++i)
    EXPECT_EQ(a.ColorSlots[i].Color, b.ColorSlots[i].Color) << what;
  for (int i = 0; i < 4; ++i) EXPECT_EQ(a.Samples[i], b.Samples[i]) << what;
  EXPECT_EQ(a.SamplePair.U, b.SamplePair.U) << what;
  EXPECT_EQ(a.SamplePair.V, b.SamplePair.V) << what;
  EXPECT_EQ(a.ProbePair.U, b.ProbePair.U) << what;
  EXPECT_EQ(a.ProbePair.V, b.ProbePair.V) << what;
  EXPECT_EQ(a.DisplacedPair.U, b.DisplacedPair.U) << what;
  EXPECT_EQ(a.DisplacedPair.V, b.DisplacedPair.V) << what;
  EXPECT_EQ(a.Scratch, b.Scratch) << what;
  EXPECT_TRUE(ia.Dest->GuardsIntact()) << what;
}

TEST(RenderDifferential, GeneratedCodeMatchesTheInterpreter) {
  if (!NativeCodeAvailable()) GTEST_SKIP() << "no code generation on this processor";
  TDXRMachine reference, native;
  UseBackend(bkReference, reference);
  int compiled = 0;
  constexpr int Scenarios = 4000;
  for (uint32_t i = 0; i < Scenarios; ++i) {
    TGenerator gen(0x5EED0000u + i);
    TScenario s = gen.Make(i);
    std::mt19937 r(s.Seed * 7 + 1);
    std::vector<std::unique_ptr<TTestSurface>> textures;
    for (const auto& t : s.Textures) {
      textures.push_back(std::make_unique<TTestSurface>(*t.Format, t.W, t.H, t.BottomUp));
      Fill(r, *textures.back());
    }
    // Keys that occur in the picture, so keyed-out pixels happen.
    for (size_t k = 0; k < s.Textures.size(); ++k)
      if (s.Textures[k].Keyed && i % 2 == 0) {
        const TTestSurface& t = *textures[k];
        uint32_t texel = 0;
        std::memcpy(&texel, t.Info.Bits, size_t(std::max(t.Info.BitCount / 8, 1)));
        if (t.Info.BitCount < 8) texel >>= 8 - t.Info.BitCount;
        s.Textures[k].Key = t.Info.BitCount == 32
                                ? texel & 0x00FFFFFF
                                : texel & ((1u << std::min(t.Info.BitCount, 31)) - 1);
      }
    const TInstance ref = Apply(s, reference, textures);
    for (TBackend b : {bkNativeVector, bkNativeScalar}) {
      UseBackend(b, native);
      const TInstance nat = Apply(s, native, textures);
      const std::string what = BackendName(b) + " " + Describe(s);
      ASSERT_EQ(nat.Compiled, ref.Compiled) << what;
      ASSERT_EQ(native.UsesCodeGen(), nat.Compiled) << what;
      ExpectSameState(native, reference, nat, ref, what);
      if (::testing::Test::HasFailure()) return;
    }
    compiled += ref.Compiled;
  }
  UseBackend(bkNativeVector, native);
  // The generator only makes well-formed trees that fit the code block.
  EXPECT_EQ(compiled, Scenarios);
}

}  // namespace
