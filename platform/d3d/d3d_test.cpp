#include "platform/d3d/d3d.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "platform/cpu/vector_width_fixture.h"
#include "platform/ddraw/ddraw_seam.h"

namespace {

DDPIXELFORMAT Format(uint32_t Bits, uint32_t R, uint32_t G, uint32_t B) {
  DDPIXELFORMAT f;
  f.dwFlags = DDPF_RGB;
  f.dwRGBBitCount = Bits;
  f.dwRBitMask = R, f.dwGBitMask = G, f.dwBBitMask = B;
  return f;
}

// Pictures drawn one texel to a pixel (the game's sprites) go through rows
// that use the widest vectors the processor has. Every width must give the
// pixels of the plain row, for every row length and position, under a key
// of one value or a range, copied and blended.
class D3DRowsTest : public ::testing::Test {
 protected:
  static constexpr uint32_t kW = 96, kH = 80, kTexW = 128, kTexH = 128;

  void SetUp() override {
    D3DResetMachine();
    ASSERT_EQ(DirectDrawCreateEx(nullptr, &dd), DD_OK);
    ASSERT_EQ(Direct3DQuery(dd.get(), &d3d), DD_OK);
    target = Surface(kW, kH, Format(16, 0xF800, 0x7E0, 0x1F), DDSCAPS_OFFSCREENPLAIN);
    texture = Surface(kTexW, kTexH, Format(32, 0xFF0000, 0xFF00, 0xFF), DDSCAPS_TEXTURE);
    ASSERT_EQ(d3d->CreateDevice(IID_IDirect3DHALDevice, target.get(), &device), DD_OK);
    // Texels of every kind, a quarter of them keys of the two kinds below.
    std::mt19937 random(7);
    Fill<uint32_t>(*texture, [&](uint32_t, uint32_t) -> uint32_t {
      const uint32_t r = static_cast<uint32_t>(random());
      switch (r % 8) {
        case 0:
          return kKey;
        case 1:
          return kRangeLo + (r >> 8) % (kRangeHi - kRangeLo + 1);
        default:
          return r & 0xFFFFFF;
      }
    });
  }
  void TearDown() override { D3DLimitVectors(512); }

  PDirectDrawSurface Surface(uint32_t W, uint32_t H, const DDPIXELFORMAT& F, uint32_t Caps) {
    DDSURFACEDESC d;
    d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    d.ddsCaps.dwCaps = Caps | DDSCAPS_SYSTEMMEMORY;
    d.dwWidth = W;
    d.dwHeight = H;
    d.ddpfPixelFormat = F;
    PDirectDrawSurface s;
    EXPECT_EQ(dd->CreateSurface(&d, &s), DD_OK);
    return s;
  }

  template <class T, class F>
  static void Fill(IDirectDrawSurface& S, F Pixel) {
    DDSURFACEDESC d;
    ASSERT_EQ(S.Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
    for (uint32_t y = 0; y < d.dwHeight; ++y)
      for (uint32_t x = 0; x < d.dwWidth; ++x) {
        const T v = Pixel(x, y);
        std::memcpy(
            static_cast<uint8_t*>(d.lpSurface) + y * static_cast<size_t>(d.lPitch) + x * sizeof(T),
            &v, sizeof(T));
      }
    S.Unlock(nullptr);
  }

  std::vector<uint16_t> Pixels() {
    DDSURFACEDESC d;
    EXPECT_EQ(target->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
    std::vector<uint16_t> out(kW * kH);
    for (uint32_t y = 0; y < kH; ++y)
      std::memcpy(&out[y * kW],
                  static_cast<uint8_t*>(d.lpSurface) + y * static_cast<size_t>(d.lPitch), kW * 2);
    target->Unlock(nullptr);
    return out;
  }

  // A rectangle of Width x Height pixels at (X, Y) showing texels from (U, V).
  void Rect(int X, int Y, int Width, int Height, int U, int V, D3DCOLOR Color) {
    std::array<D3DTLVERTEX, 4> q;
    for (size_t i = 0; i < q.size(); ++i) {
      const bool right = i & 1, bottom = i & 2;
      q[i].sx = static_cast<float>(X + (right ? Width : 0)) - 0.5f;
      q[i].sy = static_cast<float>(Y + (bottom ? Height : 0)) - 0.5f;
      q[i].rhw = 1;
      q[i].color = Color;
      q[i].tu = static_cast<float>(U + (right ? Width : 0)) / kTexW;
      q[i].tv = static_cast<float>(V + (bottom ? Height : 0)) / kTexH;
    }
    ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, D3DFVF_TLVERTEX, q.data(), 4, 0), DD_OK);
  }

  // Every row length from 1 to 80 at shifting places, in rectangles of a
  // few rows and of many, through each key and each way of drawing, onto
  // the same noisy background.
  std::vector<uint16_t> DrawAll(int Bits) {
    D3DLimitVectors(Bits);
    std::mt19937 random(11);
    Fill<uint16_t>(*target, [&](uint32_t, uint32_t) { return static_cast<uint16_t>(random()); });
    EXPECT_EQ(device->SetTexture(0, texture.get()), DD_OK);
    struct TKey {
      bool On;
      uint32_t Lo, Hi;
    };
    const TKey keys[] = {{false, 0, 0}, {true, kKey, kKey}, {true, kRangeLo, kRangeHi}};
    const uint32_t alphas[] = {255, 0, 1, 128, 200};
    int y = 0;
    for (const TKey& k : keys) {
      DDCOLORKEY ck{k.Lo, k.Hi};
      EXPECT_EQ(texture->SetColorKey(DDCKEY_SRCBLT, &ck), DD_OK);
      device->SetRenderState(D3DRENDERSTATE_COLORKEYENABLE, k.On ? 1 : 0);
      for (bool blend : {false, true})
        for (uint32_t a : alphas) {
          if (!blend && a != 255) continue;
          device->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, blend ? 1 : 0);
          device->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
          device->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
          device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
          device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
          for (int n = 1; n <= 80; ++n) {
            const int h = n % 8 == 0 ? 70 : 1 + n % 3;
            Rect(n % 13, (y * 5) % (kH - h + 1), n, h, (n * 7) % (kTexW - n + 1),
                 (n * 3) % (kTexH - h + 1), (a << 24) | 0xFFFFFF);
            ++y;
          }
        }
    }
    return Pixels();
  }

  static constexpr uint32_t kKey = 0x102030, kRangeLo = 0x400000, kRangeHi = 0x4000FF;
  PDirectDraw dd;
  PDirect3D d3d;
  PDirectDrawSurface target, texture;
  PDirect3DDevice device;
};

// The rows at one vector width against the plain row.
using D3DRowsWidthTest = TVectorWidthTest<D3DRowsTest, D3DLimitVectors, D3DVectorBits>;

TEST_P(D3DRowsWidthTest, GivesThePixelsOfThePlainRow) {
  std::mt19937 random(11);
  std::vector<uint16_t> background(kW * kH);
  for (uint16_t& p : background) p = static_cast<uint16_t>(random());
  const std::vector<uint16_t> plain = DrawAll(0);
  ASSERT_NE(plain, background);
  EXPECT_EQ(DrawAll(GetParam().Bits), plain);
}

TAL_VECTOR_WIDTH_CASES(D3DRowsWidthTest, 512, 256);

TEST(D3DRowsWidths, ACaseForAWidthTheProcessorLacksIsSkippedAndSaysWhy) {
  ExpectSkippedWithoutAvx512("D3DRowsWidthTest", {"GivesThePixelsOfThePlainRow"}, {512, 256});
}

}  // namespace
