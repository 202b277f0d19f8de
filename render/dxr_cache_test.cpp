// Generated routines are kept per kind of draw: a new picture or a new angle
// runs the routine its kind already has and draws what the interpreter
// draws; a routine that cannot be installed leaves the draw to the
// interpreter instead of drawing nothing.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "render/dxr_emit.h"
#include "render/render_test_util.h"

namespace {

// Keyed pictures with their own colours, a busy background, and the same
// draws made once through generated code and once through the interpreter.
struct TPictures {
  std::vector<std::unique_ptr<TTestSurface>> Pictures;
  explicit TPictures(int Count) {
    std::mt19937 r(7);
    for (int i = 0; i < Count; ++i) {
      auto p = std::make_unique<TTestSurface>(fmt565, 20 + i % 5, 18 + i % 3, i % 4 == 3);
      for (int y = 0; y < p->Info.Height; ++y)
        for (int x = 0; x < p->Info.Width; ++x)
          p->Set(x, y, (x + y + i) % 5 == 0 ? 0 : uint32_t(r()) & 0xFFFF);
      Pictures.push_back(std::move(p));
    }
  }
};

// A busy background; the surface's description points into its own buffer,
// so it is made in place.
struct TBackground : TTestSurface {
  TBackground() : TTestSurface(fmt565, 64, 48) {
    for (int y = 0; y < 48; ++y)
      for (int x = 0; x < 64; ++x) Set(x, y, uint32_t(x * 977 + y * 131) & 0xFFFF);
  }
};

struct TDraw {
  int Picture;
  int32_t Angle;  // -1: unturned rectangle
  TDXRBlendOp Op;
  int32_t Alpha;
};

void Draw(TTestSurface& dst, const TPictures& p, const TDraw& d) {
  const TTestSurface& src = *p.Pictures[size_t(d.Picture)];
  const TRect whole = Rect(0, 0, src.Info.Width, src.Info.Height);
  if (d.Angle < 0)
    RenderBlendRect(dst.Info, src.Info,
                    Bounds(3 + d.Picture % 29, 2 + d.Picture % 17, src.Info.Width, src.Info.Height),
                    whole, d.Op, d.Alpha, true, 0);
  else
    RenderBlendRotate(dst.Info, src.Info, 30, 22, 26, 21, whole, 0.5, 0.4, d.Angle, d.Op, d.Alpha,
                      true, 0);
}

class RoutineCacheTest : public ::testing::Test {
 protected:
  void TearDown() override {
    TDXRCodeBuffer::FailInstalls = false;
    UseBackend(bkNativeVector, DXRMachine());
  }
};

TEST_F(RoutineCacheTest, EveryPictureAndAngleOfAKindRunsOneRoutineAndDrawsTheReferenceBytes) {
  if (!NativeCodeAvailable()) GTEST_SKIP() << "no code generation on this processor";
  TPictures pics(50);
  TBackground native, reference;
  TDXRMachine& m = DXRMachine();
  auto both = [&](const TDraw& d) {
    UseBackend(bkReference, m);
    Draw(reference, pics, d);
    UseBackend(bkNativeVector, m);
    Draw(native, pics, d);
  };
  // A first draw of each kind: an additive, a blended and a turned sprite,
  // and a whole turn, whose quarter turns step along one axis only.
  both({0, -1, boAdd, 255});
  both({0, -1, boBlend, 160});
  for (int32_t a = 0; a < 256; ++a) both({0, a, boAddAlpha, 200});
  const uint64_t built = m.RoutinesBuilt();
  // Then every picture, in turn with a changing angle, through those kinds.
  for (int i = 1; i < 50; ++i) {
    both({i, -1, boAdd, 255});
    both({i, -1, boBlend, 40 + i});
    both({i, (i * 37) % 256, boAddAlpha, 200});
    ASSERT_EQ(native.Mem, reference.Mem) << "picture " << i;
  }
  EXPECT_EQ(m.RoutinesBuilt(), built);
  EXPECT_TRUE(native.GuardsIntact());
}

// Plain turned and stretched copies, keyed by a whole pixel or past an alpha
// bit, at every few angles: the generated code leaves the interpreter's
// bytes and coordinates.
TEST_F(RoutineCacheTest, TurnedCopiesMatchTheInterpreter) {
  if (!NativeCodeAvailable()) GTEST_SKIP() << "no code generation on this processor";
  TDXRMachine& m = DXRMachine();
  for (const TTestFormat* f : {&fmt565, &fmt1555})
    for (bool keyed : {false, true}) {
      TTestSurface src(*f, 23, 17);
      std::mt19937 r(11);
      for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 23; ++x)
          src.Set(x, y, (x * y) % 7 == 0 ? 0x8000u * (x & 1) : r() & 0xFFFF);
      TTestSurface native(*f, 70, 50), reference(*f, 70, 50);
      for (TTestSurface* d : {&native, &reference})
        for (int y = 0; y < 50; ++y)
          for (int x = 0; x < 70; ++x) d->Set(x, y, uint32_t(x * 977 + y * 131) & 0xFFFF);
      for (int32_t a = 0; a < 256; a += 5) {
        for (auto [b, dst] :
             {std::pair{bkReference, &reference}, std::pair{bkNativeVector, &native}}) {
          UseBackend(b, m);
          RenderBlendRotate(dst->Info, src.Info, 35, 25, 23 + a % 19, 17 + a % 7,
                            Rect(0, 0, 23, 17), 0.5, 0.4, a, boSource, 0, keyed, 0);
          RenderBlendRect(dst->Info, src.Info, Bounds(a % 40, a % 30, 31, 13), Rect(1, 2, 22, 16),
                          boSource, 0, keyed, 0);
        }
        ASSERT_EQ(native.Mem, reference.Mem) << f->Name << " keyed " << keyed << " angle " << a;
      }
      EXPECT_TRUE(native.GuardsIntact());
    }
}

TEST_F(RoutineCacheTest, AWholeTurnNeedsNoMoreThanItsFourKindsOfStepping) {
  if (!NativeCodeAvailable()) GTEST_SKIP() << "no code generation on this processor";
  TPictures pics(1);
  TBackground dst;
  TDXRMachine& m = DXRMachine();
  UseBackend(bkNativeVector, m);
  // Subtraction is drawn nowhere else in these tests: its kinds are new.
  const uint64_t before = m.RoutinesBuilt();
  for (int32_t a = 0; a < 256; ++a) Draw(dst, pics, {0, a, boSubtract, 255});
  EXPECT_LE(m.RoutinesBuilt() - before, 4u);
}

TEST_F(RoutineCacheTest, ARoutineThatCannotBeInstalledIsDrawnByTheInterpreter) {
  if (!NativeCodeAvailable()) GTEST_SKIP() << "no code generation on this processor";
  TPictures pics(3);
  TBackground native, reference;
  // A machine of its own, whose cache is empty: every kind must install.
  TDXRMachine m, ref;
  UseBackend(bkReference, ref);
  UseBackend(bkNativeVector, m);
  TDXRCodeBuffer::FailInstalls = true;
  for (int i = 0; i < 3; ++i) {
    for (auto [mach, dst] : {std::pair{&m, &native}, std::pair{&ref, &reference}}) {
      const TTestSurface& src = *pics.Pictures[size_t(i)];
      mach->Reset();
      mach->Dest = &dst->Info;
      TDXRTexture& t = mach->Textures[0];
      t.Surface = &src.Info;
      t.Addressing = amDirect;
      t.ConstantSteps = true;
      t.DU = 65536;
      t.ColorKeyed = true;
      t.DefaultColor = TDXRColor{0x8000, 0x8000, 0x8000, 0x8000};
      ASSERT_TRUE(mach->Compile(mach->CreateBlendNode(boAddAlpha, mach->CreateTextureNode(0),
                                                      mach->CreateNode(nkDestination))));
      for (int y = 0; y < src.Info.Height; ++y) {
        mach->DestX = 5 + i;
        mach->DestY = y + i;
        t.U = 0;
        t.V = y << 16;
        mach->Run(src.Info.Width);
      }
    }
    EXPECT_TRUE(m.Compiled);
    EXPECT_FALSE(m.UsesCodeGen());
  }
  EXPECT_EQ(native.Mem, reference.Mem);
  EXPECT_NE(native.Mem, TBackground().Mem);
  // Once installing works again the same kind gets its routine.
  TDXRCodeBuffer::FailInstalls = false;
  TBackground again;
  m.Reset();
  m.Dest = &again.Info;
  m.Textures[0].Surface = &pics.Pictures[0]->Info;
  ASSERT_TRUE(m.Compile(m.CreateTextureNode(0)));
  EXPECT_TRUE(m.UsesCodeGen());
}

}  // namespace
