#include <gtest/gtest.h>

#include "platform/ddraw/ddraw.h"
#include "platform/ddraw/ddraw_seam.h"
#include "render/dxrender.h"

namespace {

class RenderLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DDFaults() = TDDFaults{};
    ASSERT_EQ(DirectDrawCreateEx(nullptr, &dd), DD_OK);
  }
  PDirectDrawSurface Offscreen(uint32_t w, uint32_t h) {
    DDSURFACEDESC d;
    d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
    d.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    d.dwWidth = w;
    d.dwHeight = h;
    PDirectDrawSurface s;
    EXPECT_EQ(dd->CreateSurface(&d, &s), DD_OK);
    return s;
  }
  PDirectDraw dd;
};

TEST_F(RenderLockTest, LockedSurfaceIsDescribedAndDrawnInto) {
  auto dst = Offscreen(6, 3), src = Offscreen(2, 2);
  DDCOLORKEY key{0x1234, 0x1234};
  ASSERT_EQ(src->SetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
  TDXRSurfaceInfo di, si;
  DDSURFACEDESC sd;
  ASSERT_TRUE(LockRenderSurface(dst.get(), di));
  ASSERT_TRUE(LockRenderSurfaceDesc(src.get(), sd, si));
  EXPECT_EQ(sd.dwSize, DDSURFACEDESC_SIZE);
  EXPECT_EQ(sd.ddckCKSrcBlt.dwColorSpaceLowValue, 0x1234u);
  EXPECT_EQ(di.Kind, 1);
  EXPECT_EQ(di.Width, 6);
  EXPECT_EQ(di.Height, 3);
  EXPECT_EQ(di.WidthMask, 3);
  EXPECT_EQ(di.BitCount, int32_t(dst->PixelFormat().dwRGBBitCount));
  EXPECT_EQ(di.Channels[0].Mask, dst->PixelFormat().dwRBitMask);
  EXPECT_NE(di.Bits, nullptr);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x)
      reinterpret_cast<uint16_t*>(si.Bits + y * si.Pitch)[x] = x == y ? 0x1234 : 0x0841;
  RenderBlendRect(di, si, Rect(1, 1, 3, 3), Rect(0, 0, 2, 2), boSource, 0, true,
                  sd.ddckCKSrcBlt.dwColorSpaceLowValue);
  auto px = [&](int x, int y) { return reinterpret_cast<uint16_t*>(di.Bits + y * di.Pitch)[x]; };
  EXPECT_EQ(px(2, 1), 0x0841);
  EXPECT_EQ(px(1, 2), 0x0841);
  EXPECT_NE(px(1, 1), 0x1234);
  UnlockRenderSurface(src.get(), si);
  UnlockRenderSurface(dst.get(), di);
}

TEST_F(RenderLockTest, LostSurfaceFailsAndLeavesTheDescriptionAlone) {
  auto s = Offscreen(2, 2);
  dd->LoseSurfaces();
  TDXRSurfaceInfo info;
  info.Width = 777;
  DDSURFACEDESC d;
  EXPECT_FALSE(LockRenderSurfaceDesc(s.get(), d, info));
  EXPECT_FALSE(LockRenderSurface(s.get(), info));
  EXPECT_EQ(info.Width, 777);
  EXPECT_FALSE(LockRenderSurface(nullptr, info));
}

}  // namespace
