#include "render/dxrender.h"

#include <gtest/gtest.h>

#include <climits>

#include "render/render_test_util.h"

namespace {

TEST(RenderChannels, ChannelRecordsOfCommonFormats) {
  struct Case {
    uint32_t Mask;
    int32_t Bits, Shift, LeftShift;
  } cases[] = {
      {0xF800, 5, 8, 0},      {0x07E0, 6, 3, 0}, {0x001F, 5, 0, 3}, {0x00FF0000, 8, 16, 0},
      {0xFF000000, 8, 24, 0}, {0x8000, 1, 8, 0},  // 1-5-5-5 alpha keeps its one bit as the top of
                                                  // the byte
  };
  for (const Case& c : cases) {
    const TDXRChannelInfo i = MakeChannelInfo(c.Mask, false);
    EXPECT_EQ(i.ChannelBits, c.Bits) << std::hex << c.Mask;
    EXPECT_EQ(i.Shift, c.Shift) << std::hex << c.Mask;
    EXPECT_EQ(i.LeftShift, c.LeftShift) << std::hex << c.Mask;
  }
  EXPECT_EQ(HighestBit(0), 0);
  EXPECT_EQ(HighestBit(1), 0);
  EXPECT_EQ(HighestBit(800), 9);
  EXPECT_EQ(LowestBit(0), 31);
  EXPECT_EQ(LowestBit(0x80000000u), 31);
  EXPECT_EQ(LowestBit(0x50), 4);
}

TEST(RenderChannels, SurfaceDescriptionAndFormatComparison) {
  TTestSurface s(fmt565, 800, 600);
  EXPECT_EQ(s.Info.WidthPow2, 512);
  EXPECT_EQ(s.Info.WidthMask, 511);
  EXPECT_EQ(s.Info.HeightMask, 511);
  EXPECT_EQ(s.Info.PitchBit, 10);
  EXPECT_EQ(SurfaceChannels(s.Info), chColor);
  TTestSurface a(fmt8888, 4, 4), i(fmtI8, 4, 4), i4(fmtI4, 4, 4);
  EXPECT_EQ(SurfaceChannels(a.Info), chAll);
  EXPECT_EQ(SurfaceChannels(i.Info), chColor);
  TTestSurface s2(fmt565, 3, 3, true);
  EXPECT_TRUE(SameSurfaceFormat(s.Info, s2.Info));
  EXPECT_FALSE(SameSurfaceFormat(s.Info, a.Info));
  EXPECT_FALSE(SameSurfaceFormat(i.Info, i4.Info));
  EXPECT_FALSE(SameSurfaceFormat(i.Info, s.Info));
}

TEST(RenderTables, CosineTableAndMulDiv) {
  EXPECT_DOUBLE_EQ(RenderCos(0), 1.0);
  EXPECT_DOUBLE_EQ(RenderCos(128), -1.0);
  EXPECT_DOUBLE_EQ(RenderSin(64), 1.0);
  EXPECT_NEAR(RenderSin(0), 0.0, 1e-15);
  EXPECT_DOUBLE_EQ(RenderSin(uint8_t(-64)), -1.0);
  EXPECT_EQ(MulDivTrunc(32, 65536, 64), 32768);
  EXPECT_EQ(MulDivTrunc(-7, 1, 2), -3);
}

class RenderBackendTest : public ::testing::TestWithParam<TBackend> {
 protected:
  void SetUp() override { UseBackend(GetParam(), DXRMachine()); }
  void TearDown() override { UseBackend(bkNativeVector, DXRMachine()); }
};

// One pixel of S drawn over one pixel of D through the rectangle entry point.
uint32_t BlendOne(const TTestFormat& df, uint32_t d, const TTestFormat& sf, uint32_t s,
                  TDXRBlendOp op, int32_t alpha = 0) {
  TTestSurface dst(df, 1, 1), src(sf, 1, 1);
  dst.Set(0, 0, d);
  src.Set(0, 0, s);
  RenderBlendRect(dst.Info, src.Info, Rect(0, 0, 1, 1), Rect(0, 0, 1, 1), op, alpha, false, 0);
  return dst.Get(0, 0);
}

TEST_P(RenderBackendTest, BlendFormulas) {
  struct Case {
    TDXRBlendOp Op;
    uint32_t Src, Dst, Want;
    const TTestFormat* DstFormat;
  } cases[] = {
      // s, d per channel; alpha of the source in its top byte.
      {boAdd, 0x00C8C8C8, 0x00646464, 0x00FFFFFF, &fmtX888},
      {boSubtract, 0x00646464, 0x003C3C3C, 0x00000000, &fmtX888},
      {boReverseSubtract, 0x00646464, 0x003C3C3C, 0x00282828, &fmtX888},
      {boAddAlpha, 0x80FFFFFF, 0x000A0A0A, 0x00898989, &fmtX888},
      {boSubtractAlpha, 0x80FFFFFF, 0x00A0A0A0, 0x00212121, &fmtX888},
      {boModulate, 0x00FFFFFF, 0x00FFFFFF, 0x00FEFEFE, &fmtX888},
      {boBlend, 0xFFFFFFFF, 0x00000000, 0x00FEFEFE, &fmtX888},
      {boBlend, 0x00FFFFFF, 0x00000000, 0x00000000, &fmtX888},
      // A destination without alpha blends red and green as a pair and blue
      // alone: the two forms differ by one.
      {boBlend, 0x80000000, 0x00FFFFFF, 0x007E7E7F, &fmtX888},
      // With alpha, both pairs are full pairs.
      {boBlend, 0x80000000, 0x00FFFFFF, 0x407E7E7E, &fmt8888},
      {boBlendInverse, 0x7F000000, 0x00FFFFFF, 0x007E7E7F, &fmtX888},
      {boPremultiply, 0x80FF4020, 0x00000000, 0x407F2010, &fmt8888},
      {boModulateAll, 0x80FF8040, 0xFF808080, 0x7F7F4020, &fmt8888},
      {boModulateColor, 0x80FF8040, 0xFF808080, 0x807F4020, &fmt8888},
      {boAddColor, 0x80F08040, 0x11808080, 0x11FFFFC0, &fmt8888},
      {boSourceDestAlpha, 0x80F08040, 0x11808080, 0x11F08040, &fmt8888},
      {boZero, 0x80F08040, 0x11808080, 0x00000000, &fmt8888},
      {boDestination, 0x80F08040, 0x11808080, 0x11808080, &fmt8888},
  };
  for (const Case& c : cases)
    EXPECT_EQ(BlendOne(*c.DstFormat, c.Dst, fmt8888, c.Src, c.Op), c.Want)
        << "op " << int(c.Op) << " src " << std::hex << c.Src;
}

TEST_P(RenderBackendTest, MissingAlphaComesFromTheCallsAlpha) {
  // A 5-6-5 picture has no alpha: additive blending at alpha 128 halves it.
  EXPECT_EQ(BlendOne(fmtX888, 0x000A0A0A, fmt565, 0xFFFF, boAddAlpha, 128), 0x00868886u);
  EXPECT_EQ(BlendOne(fmtX888, 0x00000000, fmt565, 0xFFFF, boBlend, 255), 0x00F7FBF7u);
}

TEST_P(RenderBackendTest, PackAndUnpack565) {
  EXPECT_EQ(BlendOne(fmtX888, 0, fmt565, 0xFFFF, boSource), 0x00F8FCF8u);
  EXPECT_EQ(BlendOne(fmt565, 0, fmtX888, 0x00FFFFFF, boSource), 0xFFFFu);
  EXPECT_EQ(BlendOne(fmt565, 0, fmtX888, 0x00F8FCF8, boSource), 0xFFFFu);
  EXPECT_EQ(BlendOne(fmt888, 0, fmt565, 0xF800, boSource), 0xF80000u);
  EXPECT_EQ(BlendOne(fmt1555, 0, fmt8888, 0x80FF0000, boSource), 0xFC00u);
}

TEST_P(RenderBackendTest, ColorKeyedThirtyTwoBitTexels) {
  struct Case {
    const TTestFormat* Format;
    uint32_t Texel, Key, Want;
  } cases[] = {
      // Without alpha bits only the low 24 bits are compared and copied.
      {&fmtX888, 0xAB123456, 0x00123456, 0x99999999},
      {&fmtX888, 0xAB123457, 0x00123456, 0x00123457},
      // With an alpha mask the key matches whatever the alpha, and a texel that
      // does not match keeps its alpha.
      {&fmt8888, 0xAB123456, 0x00123456, 0x99999999},
      {&fmt8888, 0xAB123457, 0x00123456, 0xAB123457},
  };
  for (const Case& c : cases) {
    TTestSurface dst(*c.Format, 1, 1), src(*c.Format, 1, 1);
    dst.Set(0, 0, 0x99999999);
    src.Set(0, 0, c.Texel);
    RenderBlendRect(dst.Info, src.Info, Rect(0, 0, 1, 1), Rect(0, 0, 1, 1), boSource, 0, true,
                    c.Key);
    EXPECT_EQ(dst.Get(0, 0), c.Want) << c.Format->Name << " " << std::hex << c.Texel;
  }
}

TEST_P(RenderBackendTest, KeyedSpriteLeavesKeyedPixelsAlone) {
  // Wide enough for whole eight-pixel blocks and a tail.
  TTestSurface dst(fmt565, 19, 1), src(fmt565, 19, 1);
  const uint32_t texels[4] = {0, 0x1234, 0, 0xF800};
  const uint32_t want[4] = {0x0841, 0x1234 + 0x0841, 0x0841, 0xF841};
  for (int x = 0; x < 19; ++x) src.Set(x, 0, texels[x % 4]);
  dst.Fill(0x0841);
  RenderBlendRect(dst.Info, src.Info, Rect(0, 0, 19, 1), Rect(0, 0, 19, 1), boAdd, 255, true, 0);
  for (int x = 0; x < 19; ++x) EXPECT_EQ(dst.Get(x, 0), want[x % 4]) << x;
}

TEST_P(RenderBackendTest, RawCopyKeepsBitsOutsideTheMasks) {
  // 1-5-5-5 to 1-5-5-5 is a raw copy: nothing is unpacked.
  TTestSurface dst(fmt555, 2, 1), src(fmt555, 2, 1);
  src.Set(0, 0, 0x8001);
  src.Set(1, 0, 0xFFFF);
  RenderBlendRect(dst.Info, src.Info, Rect(0, 0, 2, 1), Rect(0, 0, 2, 1), boSource, 0, false, 0);
  EXPECT_EQ(dst.Get(0, 0), 0x8001u);
  EXPECT_EQ(dst.Get(1, 0), 0xFFFFu);
  // An indexed destination with an indexed source of the same format.
  TTestSurface di(fmtI8, 3, 1), si(fmtI8, 3, 1);
  for (int x = 0; x < 3; ++x) si.Set(x, 0, uint32_t(200 + x));
  RenderBlendRect(di.Info, si.Info, Rect(0, 0, 3, 1), Rect(0, 0, 3, 1), boSource, 0, false, 0);
  EXPECT_EQ(di.Get(2, 0), 202u);
}

TEST_P(RenderBackendTest, SubBytePixels) {
  // A 1-bit texture: x = 9 reads bit 6 of the second byte of the row.
  TTestSurface src(fmtI1, 16, 1), dst(fmtI8, 16, 1);
  src.Row(0)[0] = 0x00;
  src.Row(0)[1] = 0x40;
  src.Info.Palette[1][0] = 77;
  dst.Fill(5);
  RenderBlendRect(dst.Info, src.Info, Rect(0, 0, 16, 1), Rect(0, 0, 16, 1), boSource, 0, false, 0);
  for (int x = 0; x < 16; ++x) EXPECT_EQ(dst.Get(x, 0), x == 9 ? 77u : 0u) << x;
  // 2 and 4 bits, most significant first.
  TTestSurface s2(fmtI2, 4, 1), s4(fmtI4, 2, 1), d2(fmtI8, 4, 1);
  s2.Row(0)[0] = 0b00011011;
  for (int i = 0; i < 4; ++i) s2.Info.Palette[i][0] = uint8_t(10 * i + 1);
  RenderBlendRect(d2.Info, s2.Info, Rect(0, 0, 4, 1), Rect(0, 0, 4, 1), boSource, 0, false, 0);
  EXPECT_EQ(d2.Get(0, 0), 1u);
  EXPECT_EQ(d2.Get(1, 0), 11u);
  EXPECT_EQ(d2.Get(3, 0), 31u);
  s4.Row(0)[0] = 0x3C;
  s4.Info.Palette[3][0] = 33;
  s4.Info.Palette[12][0] = 44;
  RenderBlendRect(d2.Info, s4.Info, Rect(0, 0, 2, 1), Rect(0, 0, 2, 1), boSource, 0, false, 0);
  EXPECT_EQ(d2.Get(0, 0), 33u);
  EXPECT_EQ(d2.Get(1, 0), 44u);
  // A destination of fewer than 8 bits per pixel is never written.
  TTestSurface d4(fmtI4, 4, 2), s8(fmtI8, 4, 2);
  s8.Fill(0x11);
  d4.Row(0)[0] = 0xAB;
  RenderBlendRect(d4.Info, s8.Info, Rect(0, 0, 4, 2), Rect(0, 0, 4, 2), boSource, 0, false, 0);
  EXPECT_EQ(d4.Row(0)[0], 0xAB);
  EXPECT_EQ(d4.Row(1)[1], 0xCD);
}

TEST_P(RenderBackendTest, TwentyFourBitTexels) {
  TTestSurface src(fmt888, 3, 1), dst(fmtX888, 3, 1);
  src.Set(0, 0, 0x010203);
  src.Set(1, 0, 0x445566);
  src.Set(2, 0, 0xA0B0C0);
  RenderBlendRect(dst.Info, src.Info, Rect(0, 0, 3, 1), Rect(0, 0, 3, 1), boSource, 0, false, 0);
  EXPECT_EQ(dst.Get(1, 0), 0x445566u);
  EXPECT_EQ(dst.Get(2, 0), 0xA0B0C0u);
}

// ---- The machine driven directly ------------------------------------------

class RenderMachineTest : public ::testing::TestWithParam<TBackend> {
 protected:
  TDXRMachine M;
  void SetUp() override { UseBackend(GetParam(), M); }
  void TearDown() override { UseBackend(bkNativeVector, M); }
};

TEST_P(RenderMachineTest, WrappedFetchOfNegativeCoordinate) {
  TTestSurface tex(fmtI8, 256, 256), dst(fmtI8, 1, 1);
  tex.Set(255, 3, 42);
  tex.Set(0, 3, 1);
  M.Reset();
  M.Dest = &dst.Info;
  M.Textures[0].Surface = &tex.Info;
  M.Textures[0].Addressing = amWrap;
  ASSERT_TRUE(M.Compile(M.CreateTextureNode(0)));
  M.Textures[0].U = int32_t(0xFFFF0000u);
  M.Textures[0].V = 3 << 16;
  M.Run(1);
  EXPECT_EQ(dst.Get(0, 0), 42u);
}

TEST_P(RenderMachineTest, DitherAddsOneStepWhereTheMatrixSays) {
  // Per channel of 5-6-5: the 8-bit value and the packed channel at the
  // positions q = (X and 1) * 2 + (Y and 1) = 0, 1, 2, 3.
  struct Case {
    TDXRColor Color;
    int Shift;
    uint32_t Mask, Want[4];
  } cases[] = {
      // 5-bit red 10: a quarter step lost, one position in four rounds up.
      {{10 << 8, 0, 0, 0}, 11, 0x1F, {2, 1, 1, 1}},
      // 6-bit green 2: half a step lost, two positions of four.
      {{0, 2 << 8, 0, 0}, 5, 0x3F, {1, 0, 0, 1}},
      // 5-bit blue 255: the raised value stops at 255 instead of carrying
      // out of the channel.
      {{0, 0, 255 << 8, 0}, 0, 0x1F, {31, 31, 31, 31}},
  };
  for (const Case& c : cases) {
    TTestSurface dst(fmt565, 4, 4);
    M.Reset();
    M.Dest = &dst.Info;
    M.Dither = true;
    M.ColorSlots[0].Color = c.Color;
    ASSERT_TRUE(M.Compile(M.CreateNode(nkColor)));
    for (int y = 0; y < 4; ++y) {
      M.DestX = 0;
      M.DestY = y;
      M.Run(4);
      EXPECT_EQ(M.DestX, 4);
    }
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x)
        EXPECT_EQ(dst.Get(x, y) >> c.Shift & c.Mask, c.Want[(x & 1) * 2 + (y & 1)])
            << "shift " << c.Shift << " at " << x << "," << y;
  }
}

TEST_P(RenderMachineTest, SolidFillIsTheSameAtAnyAlignment) {
  TTestSurface dst(fmt565, 9, 2);
  M.Reset();
  M.Dest = &dst.Info;
  M.ColorSlots[0].Color = TDXRColor{0xFF00, 0x8000, 0x1000, 0};
  ASSERT_TRUE(M.Compile(M.CreateNode(nkColor)));
  M.DestX = 1;  // 2 mod 4
  M.DestY = 0;
  M.Run(7);
  M.DestX = 1;  // a multiple of 4
  M.DestY = 1;
  M.Run(7);
  const uint32_t want = 0xF800 | (0x80 >> 2) << 5 | (0x10 >> 3);
  for (int x = 0; x < 9; ++x) {
    EXPECT_EQ(dst.Get(x, 0), (x >= 1 && x < 8) ? want : 0xCDCDu) << x;
    EXPECT_EQ(dst.Get(x, 1), (x >= 1 && x < 8) ? want : 0xCDCDu) << x;
  }
  TTestSurface d32(fmtX888, 5, 1);
  M.Reset();
  M.Dest = &d32.Info;
  M.ColorSlots[0].Color = TDXRColor{0x1200, 0x3400, 0x5600, 0};
  ASSERT_TRUE(M.Compile(M.CreateNode(nkColor)));
  M.DestX = 1;
  M.Run(3);
  EXPECT_EQ(d32.Get(0, 0), 0xCDCDCDCDu);
  EXPECT_EQ(d32.Get(1, 0), 0x123456u);
  EXPECT_EQ(d32.Get(3, 0), 0x123456u);
  EXPECT_EQ(d32.Get(4, 0), 0xCDCDCDCDu);
}

TEST_P(RenderMachineTest, GradientStepsEveryPixel) {
  TTestSurface dst(fmtX888, 4, 1);
  M.Reset();
  M.Dest = &dst.Info;
  M.ColorSlots[2].Color = TDXRColor{200 << 8, 50 << 8, 0, 0};
  M.ColorSlots[2].Step = TDXRColor{0xFF00, 0, 0, 0};
  M.ColorSlots[2].Gradient = true;
  TDXRNode* n = M.CreateNode(nkColor);
  n->ColorIndex = 2;
  ASSERT_TRUE(M.Compile(n));
  M.Run(4);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(dst.Get(x, 0), uint32_t((200 - x) << 16 | 50 << 8)) << x;
  EXPECT_EQ(M.ColorSlots[2].Color.R, 196 << 8);
  EXPECT_EQ(M.ColorSlots[2].Color.G, 50 << 8);
}

TEST_P(RenderMachineTest, BilinearSamples) {
  struct Case {
    uint8_t Left, Right;
    int32_t U, V;
    uint32_t Want;
  } cases[] = {
      {200, 200, 0, 0, 198},          // weights are 255 - f and f
      {0, 255, 0x8000, 0x8000, 127},  // halfway, same lower row
      {255, 255, 0, 0, 253},
  };
  for (const Case& c : cases) {
    TTestSurface tex(fmtX888, 2, 2), dst(fmtX888, 1, 1);
    for (int y = 0; y < 2; ++y) {
      tex.Set(0, y, c.Left);
      tex.Set(1, y, c.Right);
    }
    M.Reset();
    M.Dest = &dst.Info;
    M.Textures[0].Surface = &tex.Info;
    M.Textures[0].Filter = 1;
    M.Textures[0].Addressing = amWrap;
    ASSERT_TRUE(M.Compile(M.CreateTextureNode(0)));
    M.Textures[0].U = c.U;
    M.Textures[0].V = c.V;
    M.Run(1);
    EXPECT_EQ(dst.Get(0, 0) & 0xFF, c.Want) << int(c.Left) << " " << int(c.Right);
  }
  // A keyed texel under the sample point skips the pixel; keyed neighbours
  // are blended in.
  TTestSurface tex(fmtX888, 2, 1), dst(fmtX888, 2, 1);
  tex.Set(0, 0, 0);
  tex.Set(1, 0, 0xFF);
  dst.Fill(0x77);
  M.Reset();
  M.Dest = &dst.Info;
  M.Textures[0].Surface = &tex.Info;
  M.Textures[0].Filter = 3;
  M.Textures[0].ColorKeyed = true;
  M.Textures[0].ColorKey = 0;
  M.Textures[0].DU = 0x18000;
  M.Textures[0].ConstantSteps = true;
  ASSERT_TRUE(M.Compile(M.CreateTextureNode(0)));
  M.Textures[0].U = 0;
  M.Run(2);
  EXPECT_EQ(dst.Get(0, 0), 0x77u);
  EXPECT_EQ(dst.Get(1, 0) & 0xFF, (uint32_t(255 * 127 + 0 * 128) * 255) >> 16);
}

TEST_P(RenderMachineTest, DepthTestAndWrite) {
  struct Case {
    uint8_t Compare;
    bool Write;
    uint32_t Depth0;
    bool Drawn;
    uint32_t DepthAfter;
  } cases[] = {
      {7, true, 50, true, 10},   // never tests, always writes
      {0, false, 50, true, 50},  // tests, never skips
      {1, false, 5, false, 5},   // skipped when stored < Z
      {1, true, 50, true, 10},  {2, true, 10, false, 10}, {4, false, 50, false, 50},
      {6, true, 10, false, 10}, {5, true, 10, true, 10},
  };
  for (const Case& c : cases) {
    TTestSurface dst(fmt565, 1, 1), tex(fmt565, 1, 1);
    TTestSurface depth16(fmt565, 1, 1);
    depth16.Set(0, 0, c.Depth0);
    tex.Set(0, 0, 0x1234);
    dst.Set(0, 0, 0);
    M.Reset();
    M.Dest = &dst.Info;
    M.Textures[0].Surface = &tex.Info;
    M.DepthBuffer.Surface = &depth16.Info;
    M.DepthBuffer.Compare = c.Compare;
    M.DepthBuffer.Write = c.Write;
    ASSERT_TRUE(M.Compile(M.CreateTextureNode(0)));
    M.Z = int64_t(10) << 32;
    M.DeltaZ = int64_t(1) << 31;
    M.Run(1);
    EXPECT_EQ(dst.Get(0, 0), c.Drawn ? 0x1234u : 0u) << int(c.Compare);
    EXPECT_EQ(depth16.Get(0, 0), c.DepthAfter) << int(c.Compare);
    EXPECT_EQ(M.Z, (int64_t(10) << 32) + (int64_t(1) << 31));
  }
}

TEST_P(RenderMachineTest, RunBeforeCompileOrWithNoCountDoesNothing) {
  TTestSurface dst(fmt565, 2, 1), tex(fmt565, 2, 1);
  tex.Fill(0x1111);
  M.Reset();
  M.Run(5);
  M.Dest = &dst.Info;
  M.Textures[0].Surface = &tex.Info;
  ASSERT_TRUE(M.Compile(M.CreateTextureNode(0)));
  M.Run(0);
  M.Run(-3);
  EXPECT_EQ(dst.Get(0, 0), 0xCDCDu);
}

TEST_P(RenderMachineTest, CapacitiesAreChecked) {
  TTestSurface dst(fmtX888, 1, 1), tex(fmtX888, 1, 1);
  M.Reset();
  for (int i = 0; i < TDXRMachine::MaxNodes; ++i) ASSERT_NE(M.CreateNode(nkZero), nullptr);
  EXPECT_EQ(M.CreateNode(nkZero), nullptr);
  EXPECT_EQ(M.CreateBlendNode(boAdd, nullptr, nullptr), nullptr);

  // Malformed trees: no operand, a texture out of range or without surface,
  // an unknown operation, a node from outside the machine, a cycle.
  TDXRNode outside;
  auto tryTree = [&](auto make) {
    M.Reset();
    M.Dest = &dst.Info;
    M.Textures[0].Surface = &tex.Info;
    return M.Compile(make());
  };
  EXPECT_FALSE(tryTree([&] { return M.CreateBlendNode(boAdd, M.CreateTextureNode(0), nullptr); }));
  EXPECT_FALSE(tryTree([&] { return M.CreateTextureNode(8); }));
  EXPECT_FALSE(tryTree([&] { return M.CreateTextureNode(1); }));
  EXPECT_FALSE(tryTree([&] {
    return M.CreateBlendNode(TDXRBlendOp(17), M.CreateTextureNode(0), M.CreateNode(nkDestination));
  }));
  EXPECT_FALSE(tryTree([&] { return &outside; }));
  EXPECT_FALSE(tryTree([&] {
    TDXRNode* b = M.CreateBlendNode(boAdd, M.CreateTextureNode(0), nullptr);
    b->Second = b;
    return b;
  }));
  // A picture of no pixels has nothing to fetch, even wrapped.
  TTestSurface empty(fmtX888, 0, 4);
  M.Reset();
  M.Dest = &dst.Info;
  M.Textures[0].Surface = &empty.Info;
  EXPECT_FALSE(M.Compile(M.CreateTextureNode(0)));
  // Operands shared so that the paths double at every level: refused at
  // once instead of walked 2^60 times.
  M.Reset();
  M.Dest = &dst.Info;
  M.Textures[0].Surface = &tex.Info;
  TDXRNode* shared = M.CreateTextureNode(0);
  for (int i = 0; i < 60; ++i) shared = M.CreateBlendNode(boAdd, shared, shared);
  EXPECT_FALSE(M.Compile(shared));
  EXPECT_FALSE(M.Compiled);
  // A depth buffer of an odd width or an unknown comparison.
  TTestSurface depth12(TTestFormat{"d12", false, 12, 0, 0, 0, 0}, 1, 1), depth16(fmt565, 1, 1);
  for (auto [surface, compare] : {std::pair{&depth12, 1}, std::pair{&depth16, 8}}) {
    M.Reset();
    M.Dest = &dst.Info;
    M.DepthBuffer.Surface = &surface->Info;
    M.DepthBuffer.Compare = uint8_t(compare);
    EXPECT_FALSE(M.Compile(M.CreateNode(nkDestination)));
  }

  // The deepest tree the pool holds: every node evaluated. Whether it fits
  // the code block depends on the back-end; either way nothing overruns.
  M.Reset();
  M.Dest = &dst.Info;
  M.Textures[0].Surface = &tex.Info;
  TDXRNode* root = M.CreateNode(nkDestination);
  while (M.NodeCount + 2 <= TDXRMachine::MaxNodes)
    root = M.CreateBlendNode(boModulate, M.CreateTextureNode(0), root);
  const bool ok = M.Compile(root);
  dst.Set(0, 0, 0x00FFFFFF);
  tex.Set(0, 0, 0x00FFFFFF);
  M.Run(1);
  EXPECT_TRUE(dst.GuardsIntact());
  if (ok) EXPECT_LT(dst.Get(0, 0), 0x00FFFFFFu);
}

TEST_P(RenderMachineTest, SharedOperandIsEvaluatedForEachParent) {
  // The premultiplied picture added to itself: the shared blend is simplified
  // twice, its unused destination operand already dropped the second time.
  TTestSurface dst(fmtX888, 1, 1), tex(fmt8888, 1, 1);
  tex.Set(0, 0, 0x80402010);
  dst.Set(0, 0, 0x00FFFFFF);
  M.Reset();
  M.Dest = &dst.Info;
  M.Textures[0].Surface = &tex.Info;
  TDXRNode* p =
      M.CreateBlendNode(boPremultiply, M.CreateTextureNode(0), M.CreateNode(nkDestination));
  ASSERT_TRUE(M.Compile(M.CreateBlendNode(boAdd, p, p)));
  M.Run(1);
  EXPECT_EQ(dst.Get(0, 0), 0x00402010u);  // 2 * ((s * 128) >> 8)
}

TEST_P(RenderMachineTest, OnlyPlainNearestFiltersCopyRaw) {
  // Bit 15 lies outside every mask of 5-5-5: a raw copy keeps it, unpacking
  // and packing drops it. Sixteen pixels take the eight-pixel loop as well.
  for (uint8_t filter : {0, 2, 4}) {
    TTestSurface dst(fmt555, 16, 1), tex(fmt555, 16, 1);
    tex.Fill(0x8421);
    M.Reset();
    M.Dest = &dst.Info;
    TDXRTexture& t = M.Textures[0];
    t.Surface = &tex.Info;
    t.Filter = filter;
    t.Addressing = amDirect;
    t.DU = 0x10000;
    t.ConstantSteps = true;
    ASSERT_TRUE(M.Compile(M.CreateTextureNode(0)));
    M.Run(16);
    for (int x = 0; x < 16; ++x)
      ASSERT_EQ(dst.Get(x, 0), filter == 4 ? 0x0421u : 0x8421u) << int(filter) << " at " << x;
  }
}

TEST_P(RenderMachineTest, FillCountIgnoresTheUpperHalfOfItsRegister) {
  // The count is a 32-bit argument: whatever the caller left in the upper
  // half of its 64-bit register must not reach the addressing.
  if (!M.UseCodeGen) GTEST_SKIP() << "native routines only";
  TTestSurface dst(fmtX888, 5, 1);
  M.Reset();
  M.Dest = &dst.Info;
  M.ColorSlots[0].Color = TDXRColor{0x1200, 0x3400, 0x5600, 0};
  ASSERT_TRUE(M.Compile(M.CreateNode(nkColor)));
  ASSERT_NE(M.Routine, nullptr);
  M.DestX = 1;
  reinterpret_cast<void (*)(TDXRMachine*, uint64_t)>(M.Routine)(&M, 0xFFFFFFFF00000003ull);
  EXPECT_EQ(dst.Get(0, 0), 0xCDCDCDCDu);
  for (int x = 1; x <= 3; ++x) EXPECT_EQ(dst.Get(x, 0), 0x123456u) << x;
  EXPECT_EQ(dst.Get(4, 0), 0xCDCDCDCDu);
}

TEST_P(RenderMachineTest, StateIsAdvancedAfterARun) {
  TTestSurface dst(fmtX888, 8, 1), tex(fmtX888, 8, 8);
  M.Reset();
  M.Dest = &dst.Info;
  M.Textures[1].Surface = &tex.Info;
  M.Textures[1].DU = 0x10000;
  M.Textures[1].DV = 0x8000;
  M.Textures[1].Addressing = amWrap;
  TDXRNode* n = M.CreateTextureNode(1);
  ASSERT_TRUE(M.Compile(M.CreateBlendNode(boAdd, n, M.CreateNode(nkDestination))));
  EXPECT_EQ(M.UsesCodeGen(), GetParam() != bkReference);
  EXPECT_EQ(M.UsesMMX, GetParam() == bkNativeVector);
  M.Textures[1].U = 0x20000;
  M.Run(5);
  EXPECT_EQ(M.Textures[1].U, 0x20000 + 5 * 0x10000);
  EXPECT_EQ(M.Textures[1].V, 5 * 0x8000);
  EXPECT_EQ(M.UsedTextureCount, 1);
  EXPECT_EQ(M.UsedTextures[0], 1);
  EXPECT_EQ(M.Textures[1].Channels, chColor);
}

// ---- Entry points ---------------------------------------------------------

TEST_P(RenderBackendTest, RectIsCutNotSqueezedAndStretched) {
  TTestSurface src(fmtX888, 32, 1), dst(fmtX888, 64, 1);
  for (int x = 0; x < 32; ++x) src.Set(x, 0, uint32_t(x + 1));
  // Starts 3 pixels left of the destination: the first visible pixel samples
  // source column 3.
  RenderBlendRect(dst.Info, src.Info, Rect(-3, 0, 29, 1), Rect(0, 0, 32, 1), boSource, 0, false, 0);
  EXPECT_EQ(dst.Get(0, 0), 4u);
  EXPECT_EQ(dst.Get(28, 0), 32u);
  EXPECT_EQ(dst.Get(29, 0), 0xCDCDCDCDu);
  // 32 source columns over 64 destination columns: each twice.
  RenderBlendRect(dst.Info, src.Info, Rect(0, 0, 64, 1), Rect(0, 0, 32, 1), boSource, 0, false, 0);
  for (int x = 0; x < 64; ++x) ASSERT_EQ(dst.Get(x, 0), uint32_t(x / 2 + 1)) << x;
}

TEST_P(RenderBackendTest, RejectedRectanglesDrawNothing) {
  TTestSurface src(fmtX888, 8, 8), dst(fmtX888, 16, 16);
  src.Fill(0x123456);
  struct Case {
    TRect D, S;
    bool Drawn;
  } cases[] = {
      {Rect(0, 0, 8, 8), Rect(0, 0, 8, 8), true},
      {Rect(0, 0, 8, 8), Rect(0, 0, 9, 8), false},  // one beyond the right edge
      {Rect(0, 0, 8, 8), Rect(-1, 0, 8, 8), false},
      {Rect(0, 0, 8, 8), Rect(4, 0, 4, 8), false},
      {Rect(5, 0, 5, 8), Rect(0, 0, 8, 8), false},
      {Rect(16, 0, 20, 8), Rect(0, 0, 8, 8), false},
      {Rect(0, -8, 8, 0), Rect(0, 0, 8, 8), false},
      // Far-off rectangles cannot wrap round into view.
      {Rect(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX), Rect(0, 0, 8, 8), true},
      {Rect(INT32_MIN, 0, INT32_MIN + 4, 8), Rect(0, 0, 8, 8), false},
      {Rect(INT32_MAX - 4, 0, INT32_MAX, 8), Rect(0, 0, 8, 8), false},
      // A single destination pixel over the whole picture steps past 32 bits.
      {Rect(0, 0, 1, 1), Rect(0, 0, 8, 8), true},
  };
  for (const Case& c : cases) {
    dst.Fill(0);
    RenderBlendRect(dst.Info, src.Info, c.D, c.S, boSource, 0, false, 0);
    EXPECT_EQ(dst.Get(0, 0) != 0, c.Drawn) << c.D.Left << "," << c.D.Top << " " << c.S.Right;
    EXPECT_TRUE(dst.GuardsIntact());
  }
  // The source may not be the destination.
  TTestSurface same(fmtX888, 8, 8);
  same.Fill(1);
  same.Set(0, 0, 0x00808080);
  RenderBlendRect(same.Info, same.Info, Rect(1, 0, 8, 8), Rect(0, 0, 7, 8), boAdd, 0, false, 0);
  EXPECT_EQ(same.Get(1, 0), 1u);
}

TEST_P(RenderBackendTest, RectStretchThatEndsPastTheSourceDrawsNothing) {
  // A source wider than 16.16 can address cannot be stepped.
  TTestSurface src(fmtI8, 40000, 1), dst(fmtI8, 2, 1);
  src.Fill(9);
  RenderBlendRect(dst.Info, src.Info, Rect(0, 0, 1, 1), Rect(0, 0, 40000, 1), boSource, 0, false,
                  0);
  EXPECT_EQ(dst.Get(0, 0), 0xCDu);
}

TEST_P(RenderBackendTest, WaveShiftsRows) {
  TTestSurface src(fmtI8, 4, 3), dst(fmtI8, 16, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) src.Set(x, y, uint32_t(10 * y + x + 1));
  // Length 0: every row moves by the same Round(sin(Phase) * Amplitude).
  dst.Fill(0);
  RenderBlendWave(dst.Info, src.Info, 4, 0, 4, 3, Rect(0, 0, 4, 3), 3, 0, 64, boSource, 0, false,
                  0);
  for (int y = 0; y < 3; ++y) {
    EXPECT_EQ(dst.Get(6, y), 0u);
    EXPECT_EQ(dst.Get(7, y), uint32_t(10 * y + 1));
    EXPECT_EQ(dst.Get(10, y), uint32_t(10 * y + 4));
    EXPECT_EQ(dst.Get(11, y), 0u);
  }
  // A row pushed wholly off the destination is skipped; later rows are drawn.
  // Length 4 turns a quarter per row: offsets 0, +A, 0 (sin 0, 1, 0).
  dst.Fill(0);
  RenderBlendWave(dst.Info, src.Info, 0, 0, 4, 3, Rect(0, 0, 4, 3), 100, 4, 0, boSource, 0, false,
                  0);
  EXPECT_EQ(dst.Get(0, 0), 1u);
  for (int x = 0; x < 16; ++x) EXPECT_EQ(dst.Get(x, 1), 0u);
  EXPECT_EQ(dst.Get(0, 2), 21u);
}

TEST_P(RenderBackendTest, RotationsOfQuarterTurnsArePixelExact) {
  // dest (x, y) = src (u, v) for the picture's 4 x 4 pixels about (10, 10);
  // every other pixel of the destination keeps its canary value.
  struct Case {
    int32_t Angle;
    int U0, UX, UY, V0, VX, VY;  // u = U0 + UX*x + UY*y, v likewise
  } cases[] = {
      {0, -8, 1, 0, -8, 0, 1},
      {64, -8, 0, 1, 12, -1, 0},
      {128, 12, -1, 0, 12, 0, -1},
      {256, -8, 1, 0, -8, 0, 1},
  };
  TTestSurface src(fmtX888, 4, 4);
  for (int v = 0; v < 4; ++v)
    for (int u = 0; u < 4; ++u) src.Set(u, v, uint32_t(0x10 * v + u + 1));
  for (const Case& c : cases) {
    TTestSurface dst(fmtX888, 20, 20);
    dst.Fill(0xEEEEEE);
    RenderBlendRotate(dst.Info, src.Info, 10, 10, 4, 4, Rect(0, 0, 4, 4), 0.5, 0.5, c.Angle,
                      boSource, 0, false, 0);
    int drawn = 0;
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 20; ++x) {
        const int u = c.U0 + c.UX * x + c.UY * y, v = c.V0 + c.VX * x + c.VY * y;
        const bool inside = u >= 0 && u < 4 && v >= 0 && v < 4;
        drawn += inside;
        EXPECT_EQ(dst.Get(x, y), inside ? src.Get(u, v) : 0xEEEEEEu)
            << "angle " << c.Angle << " at " << x << "," << y;
      }
    EXPECT_EQ(drawn, 16);
    EXPECT_TRUE(dst.GuardsIntact());
  }
}

TEST_P(RenderBackendTest, RotationsStayInsideTheSourceAtEveryAngle) {
  // Every angle, scaled and at the edges of the destination: no read or
  // write outside either buffer (the sanitizers and guards watch).
  TTestSurface src(fmt565, 16, 12), dst(fmt565, 40, 30);
  src.Fill(0x1234);
  for (int a = 0; a < 256; a += 7) {
    RenderBlendRotate(dst.Info, src.Info, (a * 3) % 50 - 5, (a * 5) % 40 - 5, 20 + a % 9, 9 + a % 5,
                      Rect(2, 1, 14, 11), 0.3, 0.7, a, boAdd, 200, true, 0);
  }
  EXPECT_TRUE(dst.GuardsIntact());
  RenderBlendRotate(dst.Info, src.Info, INT32_MAX, INT32_MIN, 1000000, 3, Rect(0, 0, 16, 12), 0.5,
                    0.5, 30, boSource, 0, false, 0);
  RenderBlendRotate(dst.Info, src.Info, 10, 10, 16, 12, Rect(0, 0, 16, 12), std::nan(""), 1e300, 30,
                    boSource, 0, false, 0);
  EXPECT_TRUE(dst.GuardsIntact());
}

INSTANTIATE_TEST_SUITE_P(Backends, RenderBackendTest,
                         ::testing::Values(bkNativeVector, bkNativeScalar, bkReference),
                         [](const auto& i) { return BackendName(i.param); });
INSTANTIATE_TEST_SUITE_P(Backends, RenderMachineTest,
                         ::testing::Values(bkNativeVector, bkNativeScalar, bkReference),
                         [](const auto& i) { return BackendName(i.param); });

}  // namespace
