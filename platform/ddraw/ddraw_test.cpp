#include "platform/ddraw/ddraw.h"
#include "platform/ddraw/ddraw_seam.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "platform/cpu/vector_width_fixture.h"

namespace {

class TRecordingOutput : public IDDVideoOutput {
 public:
  void Present(const TDDFrame& Frame) override {
    Last = Frame;
    ++Count;
  }
  std::vector<TDDDisplayMode> DisplayModes() const override { return Modes; }
  TDDFrame Last;
  int Count = 0;
  std::vector<TDDDisplayMode> Modes{{640, 480, 16}, {800, 600, 16}, {800, 600, 8}};
};

class DDrawTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DDFaults() = TDDFaults{};
    DDSetVideoOutput(&output);
    ASSERT_EQ(DirectDrawCreateEx(nullptr, &dd), DD_OK);
  }
  void TearDown() override {
    DDSetVideoOutput(nullptr);
    DDLimitVectors(512);
  }

  PDirectDrawSurface Offscreen(uint32_t w, uint32_t h, uint32_t caps = DDSCAPS_OFFSCREENPLAIN) {
    DDSURFACEDESC d;
    d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
    d.ddsCaps.dwCaps = caps;
    d.dwWidth = w;
    d.dwHeight = h;
    PDirectDrawSurface s;
    EXPECT_EQ(dd->CreateSurface(&d, &s), DD_OK);
    return s;
  }

  // Rows of 16-bit pixels, as text-like tables in the tests.
  static void Put(IDirectDrawSurface& s, const std::vector<std::vector<uint16_t>>& rows) {
    DDSURFACEDESC d;
    ASSERT_EQ(s.Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
    for (size_t y = 0; y < rows.size(); ++y)
      std::memcpy(static_cast<uint8_t*>(d.lpSurface) + y * static_cast<size_t>(d.lPitch),
                  rows[y].data(), rows[y].size() * 2);
    s.Unlock(nullptr);
  }
  static std::vector<std::vector<uint16_t>> Get(IDirectDrawSurface& s) {
    DDSURFACEDESC d;
    EXPECT_EQ(s.Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
    std::vector<std::vector<uint16_t>> rows(d.dwHeight, std::vector<uint16_t>(d.dwWidth));
    for (size_t y = 0; y < d.dwHeight; ++y)
      std::memcpy(rows[y].data(),
                  static_cast<uint8_t*>(d.lpSurface) + y * static_cast<size_t>(d.lPitch),
                  d.dwWidth * 2);
    s.Unlock(nullptr);
    return rows;
  }

  TRecordingOutput output;
  PDirectDraw dd;
};

// The blitter and the present at one vector width.
using DDrawWidthTest = TVectorWidthTest<DDrawTest, DDLimitVectors, DDVectorBits>;

TEST_F(DDrawTest, OffscreenSurfaceTakesTheDisplayFormatAndLocksOnce) {
  auto s = Offscreen(3, 2);
  DDSURFACEDESC d;
  ASSERT_EQ(s->GetSurfaceDesc(&d), DD_OK);
  EXPECT_EQ(d.ddpfPixelFormat.dwRGBBitCount, 16u);
  EXPECT_EQ(d.ddpfPixelFormat.dwRBitMask, 0xF800u);
  EXPECT_EQ(d.ddpfPixelFormat.dwGBitMask, 0x07E0u);
  EXPECT_TRUE(d.ddsCaps.dwCaps & DDSCAPS_VIDEOMEMORY);
  DDSURFACEDESC l1, l2;
  ASSERT_EQ(s->Lock(nullptr, &l1, DDLOCK_WAIT, nullptr), DD_OK);
  EXPECT_EQ(s->Lock(nullptr, &l2, DDLOCK_WAIT, nullptr), DDERR_SURFACEBUSY);
  HDC dc;
  EXPECT_EQ(s->GetDC(&dc), DDERR_SURFACEBUSY);
  EXPECT_EQ(s->Unlock(nullptr), DD_OK);
  EXPECT_EQ(s->Unlock(nullptr), DDERR_NOTLOCKED);
  // A device context keeps the surface locked until it is released.
  ASSERT_EQ(s->GetDC(&dc), DD_OK);
  EXPECT_EQ(s->Lock(nullptr, &l1, DDLOCK_WAIT, nullptr), DDERR_SURFACEBUSY);
  EXPECT_EQ(s->ReleaseDC(dc), DD_OK);
  EXPECT_EQ(s->Lock(nullptr, &l1, DDLOCK_WAIT, nullptr), DD_OK);
  s->Unlock(nullptr);
}

TEST_F(DDrawTest, HostileSizesAreRefused) {
  PDirectDrawSurface s;
  DDSURFACEDESC d;
  d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
  d.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
  for (auto [w, h] :
       {std::pair{0u, 5u}, {5u, 0u}, {0x7FFFFFFFu, 0x7FFFFFFFu}, {100000u, 100000u}}) {
    d.dwWidth = w;
    d.dwHeight = h;
    EXPECT_NE(dd->CreateSurface(&d, &s), DD_OK) << w << "x" << h;
  }
}

TEST_F(DDrawTest, KeyedStretchedAndClippedBlits) {
  const uint16_t K = 0x1234, A = 0xF800, B = 0x07E0;
  auto src = Offscreen(2, 2);
  Put(*src, {{A, K}, {K, B}});
  DDCOLORKEY key{K, K};
  src->SetColorKey(DDCKEY_SRCBLT, &key);

  struct TCase {
    const char* Name;
    TRect Dest;
    uint32_t Flags;
    std::vector<TRect> Clips;  // a clipper with this list; none: no clipper
    HRESULT Result;
    std::vector<std::vector<uint16_t>> Expect;
  };
  const uint16_t Z = 0x0001;  // the destination's background
  const TCase cases[] = {
      {"plain copy",
       {1, 1, 3, 3},
       DDBLT_WAIT,
       {},
       DD_OK,
       {{Z, Z, Z, Z}, {Z, A, K, Z}, {Z, K, B, Z}, {Z, Z, Z, Z}}},
      {"keyed copy",
       {1, 1, 3, 3},
       DDBLT_WAIT | DDBLT_KEYSRC,
       {},
       DD_OK,
       {{Z, Z, Z, Z}, {Z, A, Z, Z}, {Z, Z, B, Z}, {Z, Z, Z, Z}}},
      {"stretched x2 keyed",
       {0, 0, 4, 4},
       DDBLT_WAIT | DDBLT_KEYSRC,
       {},
       DD_OK,
       {{A, A, Z, Z}, {A, A, Z, Z}, {Z, Z, B, B}, {Z, Z, B, B}}},
      {"outside without clipper fails",
       {3, 3, 5, 5},
       DDBLT_WAIT,
       {},
       DDERR_INVALIDRECT,
       {{Z, Z, Z, Z}, {Z, Z, Z, Z}, {Z, Z, Z, Z}, {Z, Z, Z, Z}}},
      {"outside with clipper is clipped",
       {3, 3, 5, 5},
       DDBLT_WAIT,
       {{0, 0, 4, 4}},
       DD_OK,
       {{Z, Z, Z, Z}, {Z, Z, Z, Z}, {Z, Z, Z, Z}, {Z, Z, Z, A}}},
      {"negative corner clipped and stretched",
       {-2, -2, 2, 2},
       DDBLT_WAIT | DDBLT_KEYSRC,
       {{0, 0, 4, 4}},
       DD_OK,
       {{B, B, Z, Z}, {B, B, Z, Z}, {Z, Z, Z, Z}, {Z, Z, Z, Z}}},
      {"stretched onto a clip list of one rectangle",
       {0, 0, 4, 4},
       DDBLT_WAIT,
       {{1, 0, 3, 3}},
       DD_OK,
       {{Z, A, K, Z}, {Z, A, K, Z}, {Z, K, B, Z}, {Z, Z, Z, Z}}},
      {"stretched onto a clip list of two rectangles",
       {0, 0, 4, 4},
       DDBLT_WAIT,
       {{0, 0, 1, 1}, {2, 2, 4, 4}},
       DD_OK,
       {{A, Z, Z, Z}, {Z, Z, Z, Z}, {Z, Z, B, B}, {Z, Z, B, B}}},
  };
  for (const TCase& c : cases) {
    auto dst = Offscreen(4, 4);
    DDBLTFX fx;
    fx.dwFillColor = Z;
    ASSERT_EQ(dst->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx), DD_OK);
    if (!c.Clips.empty()) {
      PDirectDrawClipper clip;
      ASSERT_EQ(dd->CreateClipper(0, &clip), DD_OK);
      std::vector<uint8_t> region(sizeof(RGNDATAHEADER) + 16 * c.Clips.size());
      const auto n = static_cast<uint32_t>(c.Clips.size());
      const RGNDATAHEADER h{32, 1, n, 16 * n, {0, 0, 4, 4}};
      std::memcpy(region.data(), &h, sizeof h);
      std::memcpy(region.data() + sizeof h, c.Clips.data(), 16 * c.Clips.size());
      ASSERT_EQ(clip->SetClipList(region.data(), 0), DD_OK);
      dst->SetClipper(clip);
    }
    DDBLTFX none;
    EXPECT_EQ(dst->Blt(&c.Dest, src.get(), nullptr, c.Flags, &none), c.Result) << c.Name;
    EXPECT_EQ(Get(*dst), c.Expect) << c.Name;
  }
}

// A keyed picture of scattered runs (single pixels, long stretches, keys
// inside a range) drawn from parts of itself onto clipped places: every
// pixel is the source's unless the source holds a key.
TEST_P(DDrawWidthTest, KeyedBlitsOfPartsMatchPixelByPixel) {
  constexpr uint32_t W = 45, H = 13;
  auto src = Offscreen(W, H);
  std::vector<std::vector<uint16_t>> pic(H, std::vector<uint16_t>(W));
  uint32_t seed = 5;
  for (auto& row : pic)
    for (auto& v : row) {
      seed = seed * 1103515245u + 12345u;
      const uint32_t r = seed >> 16;
      v = static_cast<uint16_t>(r % 5 < 2 ? 0x0800 + r % 3 : 0x2000 + (r & 0x0FFF));
    }
  Put(*src, pic);
  for (DDCOLORKEY key : {DDCOLORKEY{0x0801, 0x0801}, DDCOLORKEY{0x0800, 0x0802}}) {
    src->SetColorKey(DDCKEY_SRCBLT, &key);
    struct TCase {
      TRect Src, Dest;
    } cases[] = {
        {{0, 0, 45, 13}, {0, 0, 45, 13}},   {{3, 2, 40, 11}, {5, 1, 42, 10}},
        {{17, 0, 18, 13}, {60, 3, 61, 16}}, {{0, 0, 45, 13}, {-7, -4, 38, 9}},
        {{9, 5, 45, 13}, {30, 10, 66, 18}},
    };
    for (const TCase& c : cases) {
      auto dst = Offscreen(64, 16);
      DDBLTFX fx;
      fx.dwFillColor = 0x5555;
      ASSERT_EQ(dst->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx), DD_OK);
      PDirectDrawClipper clip;
      ASSERT_EQ(dd->CreateClipper(0, &clip), DD_OK);
      struct {
        RGNDATAHEADER h;
        TRect r;
      } region{{32, 1, 1, 16, {0, 0, 64, 16}}, {0, 0, 64, 16}};
      ASSERT_EQ(clip->SetClipList(&region, 0), DD_OK);
      dst->SetClipper(clip);
      // The first draw compares texels with the key, the second goes
      // through the picture's runs.
      ASSERT_EQ(dst->Blt(&c.Dest, src.get(), &c.Src, DDBLT_KEYSRC, &fx), DD_OK);
      ASSERT_EQ(dst->Blt(&c.Dest, src.get(), &c.Src, DDBLT_KEYSRC, &fx), DD_OK);
      const auto got = Get(*dst);
      for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 64; ++x) {
          const int sx = c.Src.Left + x - c.Dest.Left, sy = c.Src.Top + y - c.Dest.Top;
          uint16_t want = 0x5555;
          if (x >= c.Dest.Left && x < c.Dest.Right && y >= c.Dest.Top && y < c.Dest.Bottom) {
            const uint16_t v = pic[size_t(sy)][size_t(sx)];
            if (v < key.dwColorSpaceLowValue || v > key.dwColorSpaceHighValue) want = v;
          }
          ASSERT_EQ(got[size_t(y)][size_t(x)], want) << x << "," << y;
        }
    }
  }
}

// Pictures whose opaque pixels lie in spans of every kind, each drawn whole,
// clipped into its spans on every side, and from a part of itself. The
// first draw of a picture compares every pixel with the key; the second
// goes through the picture's spans, which this width's kernels draw. The
// second must leave exactly what the first did, and that must be the
// picture's pixel wherever the picture is opaque and the background
// elsewhere.
TEST_P(DDrawWidthTest, KeyedDrawsThroughSpansMatchThePlainDraw) {
  constexpr uint16_t kKey = 0x0801;
  using TOpaque = std::function<bool(int x, int y)>;
  // Inside an ellipse filling W x H from row Top.
  auto capsule = [](int w, int h, int top = 0) -> TOpaque {
    return [=](int x, int y) {
      const double dx = (x + 0.5) / w * 2 - 1, dy = (y - top + 0.5) / h * 2 - 1;
      return dx * dx + dy * dy <= 1;
    };
  };
  struct TPicture {
    const char* Name;
    int W, H;
    TOpaque Opaque;
  } pictures[] = {
      {"a clear picture", 40, 4, [](int, int) { return false; }},
      {"clear rows above, between and below", 40, 9,
       [](int x, int y) { return (y == 2 || y == 5) && x >= 3 && x < 37; }},
      {"one pixel on the left edge", 33, 3, [](int x, int y) { return x == 0 && y == 1; }},
      {"one pixel on the right edge", 33, 3, [](int x, int y) { return x == 32 && y == 1; }},
      {"one pixel in each corner", 70, 5,
       [](int x, int y) { return (x == 0 || x == 69) && (y == 0 || y == 4); }},
      {"a capsule as the bonuses are, its lower third clear", 32, 32, capsule(32, 19, 1)},
      {"a capsule wider than every vector", 150, 20, capsule(150, 20)},
      {"a capsule with holes", 150, 12,
       [c = capsule(150, 12)](int x, int y) { return c(x, y) && (x * 7 + y * 3) % 5 != 0; }},
      {"short spans across wide rows, the last against the right edge", 100, 8,
       [](int x, int y) { return y < 7 ? x >= 13 * y + 1 && x <= 14 * y + 1 : x >= 97; }},
      {"rows of every column but one", 67, 3, [](int x, int y) { return x != 11 * y + 20; }},
      {"an odd width below a vector", 7, 5, [](int x, int y) { return (x + y) % 3 != 0; }},
      {"an odd width between vectors", 13, 4, capsule(13, 4)},
      {"an odd width past a vector", 35, 6, capsule(35, 6)},
      {"one column", 1, 4, [](int, int y) { return y % 2 == 1; }},
  };
  for (const TPicture& p : pictures) {
    std::vector<std::vector<uint16_t>> pic(size_t(p.H), std::vector<uint16_t>(size_t(p.W)));
    for (int y = 0; y < p.H; ++y)
      for (int x = 0; x < p.W; ++x)
        pic[size_t(y)][size_t(x)] =
            p.Opaque(x, y) ? static_cast<uint16_t>(0x2000 + (x * 31 + y * 17) % 0x1000) : kKey;
    const int dw = 2 * p.W + 24, dh = p.H + 8;
    std::vector<std::vector<uint16_t>> background(static_cast<size_t>(dh),
                                                  std::vector<uint16_t>(static_cast<size_t>(dw)));
    for (int y = 0; y < dh; ++y)
      for (int x = 0; x < dw; ++x)
        background[size_t(y)][size_t(x)] = static_cast<uint16_t>(0x5000 + (x * 13 + y * 7) % 256);
    struct TDraw {
      const char* Name;
      TRect Src;
      int X, Y;
    } draws[] = {
        {"whole", {0, 0, p.W, p.H}, 7, 3},
        {"clipped on the left", {0, 0, p.W, p.H}, -p.W / 3 - 1, 2},
        {"clipped on the right", {0, 0, p.W, p.H}, dw - 2 * p.W / 3, 4},
        {"clipped at the top", {0, 0, p.W, p.H}, 3, -p.H / 3 - 1},
        {"clipped at the bottom", {0, 0, p.W, p.H}, p.W + 10, dh - p.H / 2},
        {"from a part", {p.W / 4, p.H / 4, p.W - p.W / 5, p.H}, 5, 5},
    };
    for (const TDraw& draw : draws) {
      SCOPED_TRACE(testing::Message() << p.Name << ", " << draw.Name);
      auto src = Offscreen(uint32_t(p.W), uint32_t(p.H));
      Put(*src, pic);
      DDCOLORKEY key{kKey, kKey};
      src->SetColorKey(DDCKEY_SRCBLT, &key);
      const TRect dest{draw.X, draw.Y, draw.X + draw.Src.Right - draw.Src.Left,
                       draw.Y + draw.Src.Bottom - draw.Src.Top};
      std::vector<std::vector<uint16_t>> plain;
      for (int pass = 0; pass < 2; ++pass) {
        auto dst = Offscreen(uint32_t(dw), uint32_t(dh));
        Put(*dst, background);
        PDirectDrawClipper clip;
        ASSERT_EQ(dd->CreateClipper(0, &clip), DD_OK);
        struct {
          RGNDATAHEADER h;
          TRect r;
        } region{{32, 1, 1, 16, {0, 0, dw, dh}}, {0, 0, dw, dh}};
        ASSERT_EQ(clip->SetClipList(&region, 0), DD_OK);
        dst->SetClipper(clip);
        DDBLTFX fx;
        ASSERT_EQ(dst->Blt(&dest, src.get(), &draw.Src, DDBLT_KEYSRC, &fx), DD_OK);
        const auto got = Get(*dst);
        if (pass == 1) {
          ASSERT_EQ(got, plain) << "the draw through the spans differs from the plain draw";
          break;
        }
        plain = got;
        for (int y = 0; y < dh; ++y)
          for (int x = 0; x < dw; ++x) {
            uint16_t want = background[size_t(y)][size_t(x)];
            if (x >= dest.Left && x < dest.Right && y >= dest.Top && y < dest.Bottom) {
              const uint16_t v =
                  pic[size_t(draw.Src.Top + y - dest.Top)][size_t(draw.Src.Left + x - dest.Left)];
              if (v != kKey) want = v;
            }
            ASSERT_EQ(got[size_t(y)][size_t(x)], want) << "the plain draw, at " << x << "," << y;
          }
      }
    }
  }
}

// A key's range reaching past the pixels' sixteen bits ends at their largest
// value, and a range that holds no pixel value keys nothing: each pixel is
// compared with the key as the number it is, on the plain draw and through
// the spans alike.
TEST_P(DDrawWidthTest, KeysBeyondSixteenBitsKeyWhatThePixelsHold) {
  constexpr int W = 40, H = 3;
  std::vector<std::vector<uint16_t>> pic(H, std::vector<uint16_t>(W));
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x)
      pic[size_t(y)][size_t(x)] = static_cast<uint16_t>((x * 0x0680 + y * 0x2000) & 0xFFFF);
  pic[1][39] = 0xFFFF;
  auto src = Offscreen(W, H);
  const DDCOLORKEY keys[] = {
      {0x10000, 0x10000},  // above every pixel
      {0x8000, 0x18000},   // the upper half and on past it
      {0x0900, 0x0800},    // an empty range
      {0x0000, 0x0000},    // black alone, as the game keys
  };
  for (const DDCOLORKEY& key : keys) {
    SCOPED_TRACE(testing::Message()
                 << std::hex << key.dwColorSpaceLowValue << "-" << key.dwColorSpaceHighValue);
    Put(*src, pic);  // written again: the first draw after is a plain one
    src->SetColorKey(DDCKEY_SRCBLT, &key);
    for (int pass = 0; pass < 2; ++pass) {
      auto dst = Offscreen(W, H);
      DDBLTFX fx;
      fx.dwFillColor = 0x1234;
      ASSERT_EQ(dst->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx), DD_OK);
      ASSERT_EQ(dst->Blt(nullptr, src.get(), nullptr, DDBLT_KEYSRC, &fx), DD_OK);
      const auto got = Get(*dst);
      for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
          const uint32_t v = pic[size_t(y)][size_t(x)];
          const bool keyed = v >= key.dwColorSpaceLowValue && v <= key.dwColorSpaceHighValue;
          ASSERT_EQ(got[size_t(y)][size_t(x)], keyed ? 0x1234 : v)
              << (pass ? "through the spans" : "the plain draw") << ", at " << x << "," << y;
        }
    }
  }
}

// A picture drawn once and then changed draws as changed: whatever changes
// its pixels or its key also forgets what was worked out about them. Each
// change puts opaque pixels outside the picture's old spans and into its
// clear row, where a draw through stale spans would not look. A duplicate
// shares the pixels but not the lock, so a picture can be drawn (and its
// spans worked out) while its duplicate is being written.
TEST_F(DDrawTest, AChangedPictureDrawsAsChanged) {
  const uint16_t K = 0, A = 0xF800, B = 0x07E0, Z = 0x0001;
  using TRows = std::vector<std::vector<uint16_t>>;
  struct TCase {
    const char* Name;
    // Changes the picture; Draw draws it twice as the game would.
    std::function<void(IDirectDrawSurface& Picture, const std::function<void()>& Draw)> Change;
    TRows Expect;  // the destination after the change
  } cases[] = {
      {"locked and written",
       [](IDirectDrawSurface& s, const std::function<void()>&) {
         Put(s, {{B, K, A}, {K, K, B}});
       },
       {{B, Z, A}, {Z, Z, B}}},
      {"drawn on through a device context",
       [](IDirectDrawSurface& s, const std::function<void()>&) {
         HDC dc;
         ASSERT_EQ(s.GetDC(&dc), DD_OK);
         dc->FillSolid(TRect{0, 0, 1, 2}, RGB(0, 255, 0));
         ASSERT_EQ(s.ReleaseDC(dc), DD_OK);
       },
       {{B, A, Z}, {B, Z, Z}}},
      {"filled",
       [](IDirectDrawSurface& s, const std::function<void()>&) {
         DDBLTFX fx;
         fx.dwFillColor = B;
         const TRect r{2, 0, 3, 2};
         ASSERT_EQ(s.Blt(&r, nullptr, nullptr, DDBLT_COLORFILL, &fx), DD_OK);
       },
       {{Z, A, B}, {Z, Z, B}}},
      {"drawn on by a blit",
       [this](IDirectDrawSurface& s, const std::function<void()>&) {
         auto row = Offscreen(3, 1);
         Put(*row, {{B, A, B}});
         const TRect r{0, 1, 3, 2};
         DDBLTFX fx;
         ASSERT_EQ(s.Blt(&r, row.get(), nullptr, DDBLT_WAIT, &fx), DD_OK);
       },
       {{Z, A, Z}, {B, A, B}}},
      {"given another key",
       [](IDirectDrawSurface& s, const std::function<void()>&) {
         DDCOLORKEY key{A, A};
         ASSERT_EQ(s.SetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
       },
       {{K, Z, K}, {K, K, K}}},
      {"written through a duplicate's lock while drawn",
       [this](IDirectDrawSurface& s, const std::function<void()>& Draw) {
         PDirectDrawSurface dup;
         ASSERT_EQ(dd->DuplicateSurface(&s, &dup), DD_OK);
         DDSURFACEDESC d;
         ASSERT_EQ(dup->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
         Draw();
         const uint16_t row[3] = {B, B, B};
         std::memcpy(static_cast<uint8_t*>(d.lpSurface) + d.lPitch, row, sizeof row);
         ASSERT_EQ(dup->Unlock(nullptr), DD_OK);
       },
       {{Z, A, Z}, {B, B, B}}},
      {"drawn on through a duplicate's device context while drawn",
       [this](IDirectDrawSurface& s, const std::function<void()>& Draw) {
         PDirectDrawSurface dup;
         ASSERT_EQ(dd->DuplicateSurface(&s, &dup), DD_OK);
         HDC dc;
         ASSERT_EQ(dup->GetDC(&dc), DD_OK);
         Draw();
         dc->FillSolid(TRect{0, 1, 3, 2}, RGB(0, 255, 0));
         ASSERT_EQ(dup->ReleaseDC(dc), DD_OK);
       },
       {{Z, A, Z}, {B, B, B}}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    auto src = Offscreen(3, 2);
    Put(*src, {{K, A, K}, {K, K, K}});
    DDCOLORKEY key{K, K};
    src->SetColorKey(DDCKEY_SRCBLT, &key);
    auto dst = Offscreen(3, 2);
    // Drawn twice each time: a picture drawn again unchanged has its spans.
    auto draw = [&] {
      DDBLTFX fx;
      fx.dwFillColor = Z;
      for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(dst->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx), DD_OK);
        ASSERT_EQ(dst->Blt(nullptr, src.get(), nullptr, DDBLT_KEYSRC, &fx), DD_OK);
      }
    };
    draw();
    ASSERT_EQ(Get(*dst), (TRows{{Z, A, Z}, {Z, Z, Z}}));
    c.Change(*src, draw);
    draw();
    EXPECT_EQ(Get(*dst), c.Expect);
  }
}

TEST_F(DDrawTest, LostSurfacesFailUntilRestored) {
  auto s = Offscreen(2, 2);
  DDBLTFX fx;
  dd->LoseSurfaces();
  EXPECT_EQ(s->IsLost(), DDERR_SURFACELOST);
  DDSURFACEDESC d;
  EXPECT_EQ(s->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DDERR_SURFACELOST);
  EXPECT_EQ(s->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx), DDERR_SURFACELOST);
  EXPECT_EQ(s->Restore(), DD_OK);
  EXPECT_EQ(s->IsLost(), DD_OK);
  EXPECT_EQ(s->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx), DD_OK);
}

TEST_F(DDrawTest, FlipPresentsTheBackBufferThroughTheGammaRamp) {
  DDSURFACEDESC d;
  d.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
  d.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
  d.dwBackBufferCount = 1;
  PDirectDrawSurface primary, back;
  ASSERT_EQ(dd->CreateSurface(&d, &primary), DD_OK);
  DDSCAPS caps{DDSCAPS_BACKBUFFER};
  ASSERT_EQ(primary->GetAttachedSurface(&caps, &back), DD_OK);
  EXPECT_EQ(back->Width(), 800u);

  PDirectDrawGammaControl gamma;
  ASSERT_EQ(primary->QueryGammaControl(&gamma), DD_OK);
  PDirectDrawGammaControl none;
  EXPECT_EQ(back->QueryGammaControl(&none), DDERR_NOINTERFACE);
  DDGAMMARAMP ramp;
  for (int i = 0; i < 256; ++i) {
    ramp.red[i] = static_cast<uint16_t>((255 - i) * 257);  // red inverted
    ramp.green[i] = static_cast<uint16_t>((i / 2) * 257);  // green halved
    ramp.blue[i] = static_cast<uint16_t>(i * 257);
  }
  ASSERT_EQ(gamma->SetGammaRamp(0, &ramp), DD_OK);

  DDBLTFX fx;
  fx.dwFillColor = 0xFFFF;  // white
  ASSERT_EQ(back->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx), DD_OK);
  int before = output.Count;
  ASSERT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);
  EXPECT_EQ(output.Count, before + 1);
  ASSERT_EQ(output.Last.Width, 800u);
  EXPECT_EQ(output.Last.Pixels[0], 0x007FFFu);
  EXPECT_EQ(output.Last.Pixels[800 * 600 - 1], 0x007FFFu);
}

TEST_F(DDrawTest, DisplayModesComeFromTheOutput) {
  std::vector<TDDDisplayMode> seen;
  dd->EnumDisplayModes(0, nullptr, [&](const DDSURFACEDESC& d) {
    seen.push_back({d.dwWidth, d.dwHeight, d.ddpfPixelFormat.dwRGBBitCount});
    return DDENUMRET_OK;
  });
  EXPECT_EQ(seen, output.Modes);
  EXPECT_EQ(dd->SetDisplayMode(1024, 768, 16), DDERR_INVALIDMODE);
  EXPECT_EQ(dd->SetDisplayMode(800, 600, 8), DD_OK);
  EXPECT_EQ(dd->DisplayMode(), (TDDDisplayMode{800, 600, 8}));
}

TEST_F(DDrawTest, EveryDepthPresentsItsColours) {
  output.Modes = {{800, 600, 8}, {800, 600, 16}, {800, 600, 24}, {800, 600, 32}};
  for (uint32_t bits : {8u, 16u, 24u, 32u}) {
    ASSERT_EQ(dd->SetDisplayMode(800, 600, bits), DD_OK);
    DDSURFACEDESC d;
    d.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    d.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    d.dwBackBufferCount = 1;
    PDirectDrawSurface primary, back;
    ASSERT_EQ(dd->CreateSurface(&d, &primary), DD_OK);
    DDSCAPS caps{DDSCAPS_BACKBUFFER};
    ASSERT_EQ(primary->GetAttachedSurface(&caps, &back), DD_OK);
    EXPECT_EQ(back->PixelFormat().dwRGBBitCount, bits);
    PALETTEENTRY entries[256] = {};
    entries[9] = PALETTEENTRY{200, 96, 48, 0};
    PDirectDrawPalette pal;
    ASSERT_EQ(dd->CreatePalette(DDPCAPS_8BIT, entries, &pal), DD_OK);
    primary->SetPalette(pal);
    // Through a device context, as the canvas draws.
    HDC dc;
    ASSERT_EQ(back->GetDC(&dc), DD_OK);
    dc->FillSolid(TRect{0, 0, 10, 10}, RGB(200, 96, 48));
    ASSERT_EQ(back->ReleaseDC(dc), DD_OK);
    ASSERT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);
    // 5-6-5 keeps the top bits, then widens them as the bitmaps read pixels.
    uint32_t want = bits == 16 ? 0xD97836u : 0xC86030u;
    EXPECT_EQ(output.Last.Pixels[5 * 800 + 5], want) << bits;
    EXPECT_EQ(output.Last.Pixels[20 * 800 + 20], 0u) << bits;
  }
}

// Every 16-bit pixel value of 5-6-5 and 5-5-5 through identity, uneven,
// scattered, dimmed, brightened and darkened ramps (and dimmed ones moved
// up or down, and the steps of a fade) comes out as its widened
// channels looked up one by one, on every vector width; a row length that is
// not a multiple of the vector width covers the tail.
TEST_P(DDrawWidthTest, ComposedFrameLooksEveryChannelUpInTheRamp) {
  // Dimmed, brightened and darkened ramps are lines held at the ends, which
  // the present works out rather than looks up.
  DDGAMMARAMP identity, uneven, scattered, dimmed, brighter, darker, dimmedUp, dimmedDown;
  uint32_t seed = 99;
  for (int i = 0; i < 256; ++i) {
    identity.red[i] = identity.green[i] = identity.blue[i] = static_cast<uint16_t>(i * 257);
    dimmed.red[i] = dimmed.green[i] = dimmed.blue[i] = static_cast<uint16_t>(i * 200);
    brighter.red[i] = brighter.green[i] = brighter.blue[i] =
        static_cast<uint16_t>(std::min(i * 257 + 9830, 65535));
    darker.red[i] = darker.green[i] = darker.blue[i] =
        static_cast<uint16_t>(std::max(i * 257 - 13107, 0));
    dimmedUp.red[i] = dimmedUp.green[i] = dimmedUp.blue[i] = static_cast<uint16_t>(i * 200 + 6000);
    dimmedDown.red[i] = dimmedDown.green[i] = dimmedDown.blue[i] =
        static_cast<uint16_t>(std::max(i * 200 - 6000, 0));
    uneven.red[i] = static_cast<uint16_t>((255 - i) * 257);
    uneven.green[i] = static_cast<uint16_t>((i / 2) * 257);
    uneven.blue[i] = static_cast<uint16_t>(i * 200);
    for (uint16_t* c : {&scattered.red[i], &scattered.green[i], &scattered.blue[i]}) {
      seed = seed * 1103515245u + 12345u;
      *c = static_cast<uint16_t>(seed >> 8);
    }
  }
  // Steps of a whole fade, from black to a slope that is no longer below 256.
  std::vector<DDGAMMARAMP> fades;
  for (int slope : {0, 1, 37, 128, 255, 256}) {
    DDGAMMARAMP& f = fades.emplace_back();
    for (int i = 0; i < 256; ++i)
      f.red[i] = f.green[i] = f.blue[i] = static_cast<uint16_t>(i * slope);
  }
  constexpr uint32_t W = 77, H = 65536 / W + 1;
  for (bool rgb555 : {false, true}) {
    DDSURFACEDESC d;
    d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    d.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    d.dwWidth = W;
    d.dwHeight = H;
    d.ddpfPixelFormat = DDPixelFormat(16, rgb555);
    PDirectDrawSurface s;
    ASSERT_EQ(dd->CreateSurface(&d, &s), DD_OK);
    DDSURFACEDESC lk;
    ASSERT_EQ(s->Lock(nullptr, &lk, DDLOCK_WAIT, nullptr), DD_OK);
    for (uint32_t i = 0; i < W * H; ++i) {
      const auto v = static_cast<uint16_t>(i);
      std::memcpy(static_cast<uint8_t*>(lk.lpSurface) + (i / W) * static_cast<size_t>(lk.lPitch) +
                      (i % W) * 2,
                  &v, 2);
    }
    s->Unlock(nullptr);
    const DDPIXELFORMAT& f = s->PixelFormat();
    const TGdiPixelFormat gf =
        TGdiPixelFormat::Masks(f.dwRGBBitCount, f.dwRBitMask, f.dwGBitMask, f.dwBBitMask);
    std::vector<const DDGAMMARAMP*> ramps = {&identity, &uneven, &scattered, &dimmed,
                                             &brighter, &darker, &dimmedUp,  &dimmedDown};
    for (const DDGAMMARAMP& r : fades) ramps.push_back(&r);
    for (size_t n = 0; n < ramps.size(); ++n) {
      const DDGAMMARAMP* ramp = ramps[n];
      TDDFrame frame;
      DDComposeFrame(*s, *ramp, frame);
      ASSERT_EQ(frame.Pixels.size(), size_t{W} * H);
      for (uint32_t i = 0; i < W * H; ++i) {
        uint8_t r, g, b;
        gf.Unpack(i & 0xFFFF, r, g, b);
        const uint32_t want = static_cast<uint32_t>(ramp->red[r] >> 8) << 16 |
                              static_cast<uint32_t>(ramp->green[g] >> 8) << 8 |
                              static_cast<uint32_t>(ramp->blue[b] >> 8);
        ASSERT_EQ(frame.Pixels[i], want)
            << "pixel " << std::hex << (i & 0xFFFF) << " 555 " << rgb555 << " ramp " << n;
      }
    }
  }
}

TAL_VECTOR_WIDTH_CASES(DDrawWidthTest, 512, 256, 0);

TEST(DDrawWidths, ACaseForAWidthTheProcessorLacksIsSkippedAndSaysWhy) {
  ExpectSkippedWithoutAvx512(
      "DDrawWidthTest",
      {"KeyedBlitsOfPartsMatchPixelByPixel", "KeyedDrawsThroughSpansMatchThePlainDraw",
       "KeysBeyondSixteenBitsKeyWhatThePixelsHold", "ComposedFrameLooksEveryChannelUpInTheRamp"},
      {512, 256, 0});
}

// Colour fills on each vector width the processor runs: rows of every
// length around the vectors' sizes and past the string store's start, odd
// widths whose rows end in padding, rectangles on every edge and at odd
// offsets. Inside the rectangle every pixel takes the colour; nothing else
// changes, the padding included.
class DDrawFill : public DDrawTest, public ::testing::WithParamInterface<int> {};

TEST_P(DDrawFill, FillsExactlyItsRectangle) {
  DDLimitVectors(GetParam());
  if (DDVectorBits() != GetParam())
    GTEST_SKIP() << "this processor lacks " << GetParam() << "-bit vectors";
  constexpr uint16_t kColour = 0xA5C3;  // two different bytes: a shifted store shows
  // 2048 and more: rows long enough for the string store.
  for (uint32_t w :
       {1u, 2u, 7u, 8u, 9u, 15u, 16u, 17u, 31u, 32u, 33u, 63u, 64u, 65u, 97u, 130u, 2048u, 2053u}) {
    constexpr uint32_t h = 5;
    const int32_t W = static_cast<int32_t>(w), H = h;
    const TRect rects[] = {
        {0, 0, W, H}, {0, 1, W, H - 1},        {0, 0, 1, H}, {W - 1, 0, W, H}, {W / 2, 2, W, 3},
        {1, 0, W, 1}, {W / 3, 3, W - W / 3, H}};
    for (const TRect& r : rects) {
      if (r.Left >= r.Right) continue;  // too narrow a surface for this one
      SCOPED_TRACE(testing::Message() << w << " wide, rect " << r.Left << "," << r.Top << " - "
                                      << r.Right << "," << r.Bottom);
      auto s = Offscreen(w, h);
      DDSURFACEDESC d;
      ASSERT_EQ(s->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
      const size_t pitch = static_cast<size_t>(d.lPitch);
      auto* bytes = static_cast<uint8_t*>(d.lpSurface);
      for (size_t i = 0; i < pitch * h; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 1);
      const std::vector<uint8_t> before(bytes, bytes + pitch * h);
      s->Unlock(nullptr);

      DDBLTFX fx;
      fx.dwFillColor = kColour;
      ASSERT_EQ(s->Blt(&r, nullptr, nullptr, DDBLT_COLORFILL, &fx), DD_OK);

      ASSERT_EQ(s->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
      bytes = static_cast<uint8_t*>(d.lpSurface);
      for (size_t y = 0; y < h; ++y)
        for (size_t x = 0; x < pitch; ++x) {
          const size_t at = y * pitch + x;
          const auto px = static_cast<int32_t>(x / 2);
          const bool inside = x / 2 < w && px >= r.Left && px < r.Right &&
                              static_cast<int32_t>(y) >= r.Top &&
                              static_cast<int32_t>(y) < r.Bottom;
          const uint8_t want = inside ? static_cast<uint8_t>(kColour >> (x % 2 * 8)) : before[at];
          ASSERT_EQ(bytes[at], want) << "byte " << x << " of row " << y;
        }
      s->Unlock(nullptr);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(VectorWidths, DDrawFill, ::testing::Values(512, 256, 0),
                         [](const ::testing::TestParamInfo<int>& i) {
                           return i.param ? std::to_string(i.param) + "Bit"
                                          : std::string("Baseline");
                         });

}  // namespace
