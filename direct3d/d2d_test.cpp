#include "direct3d/d2d.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/dib/dib.h"
#include "engine/draw/pictures.h"
#include "platform/backend/headless/headless_core.h"
#include "platform/backend/headless/headless_video.h"

namespace {

using Frame = std::vector<uint16_t>;
constexpr int kW = 800, kH = 600;

class D2DOnDisplay : public ::testing::Test {
 public:
  void SetUp() override {
    HeadlessInstall();
    HeadlessInstallVideo();
    DDRegisterModule();
    D3DResetMachine();
    InstallDirect3DPath();
    SkipNextFlip = false;
  }
  void TearDown() override {
    images = nullptr;
    draw = nullptr;
    form.reset();
    SetDirect3DPath(nullptr);
    D3DResetMachine();
    DDSetVideoOutput(nullptr);
    HeadlessUninstall();
  }

  void Start(bool ThreeD) {
    form = std::make_unique<TForm>(nullptr);
    form->SetBounds(0, 0, kW, kH);
    draw = new TDXDraw(form.get());
    draw->SetParent(form.get());
    draw->SetAutoSize(false);
    draw->SetBounds(0, 0, kW, kH);
    draw->SetSurfaceWidth(kW);
    draw->SetSurfaceHeight(kH);
    TDXDrawOptions o{doDirectX7Mode, doHardware};
    if (ThreeD) o.Include(do3D);
    draw->SetOptions(o);
    form->Perform(WM_ACTIVATE, WA_ACTIVE, 0);
    draw->Initialize();
    ASSERT_TRUE(draw->Initialized());
    images = new TDXImageList(form.get());
    images->SetDXDraw(draw);
  }

  // A picture of smooth colours with a keyed (black) hole, in patterns.
  // The picture's colour at (x, y) as 0x00BBGGRR; 0 in its keyed holes.
  static int PictureColor(int x, int y, int W, int H, int PW, int PH) {
    int r = 40 + (x * 200) / W, g = 30 + (y * 200) / H, b = 90 + ((x + y) * 3) % 120;
    bool hole = (x % PW) >= PW / 4 && (x % PW) < PW / 2 && (y % PH) >= PH / 4 && (y % PH) < PH / 2;
    if (hole) r = g = b = 0;
    return (b << 16) | (g << 8) | r;
  }
  TPictureCollectionItem* AddPicture(const char* Name, int W, int H, int PW, int PH,
                                     bool Transposed = false) {
    auto dib = std::make_unique<TDIB>();
    dib->SetSize(Transposed ? H : W, Transposed ? W : H, 24);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const int c = PictureColor(x, y, W, H, PW, PH);
        if (Transposed) dib->SetPixel(y, x, c);
        else dib->SetPixel(x, y, c);
      }
    if (Transposed) std::swap(PW, PH);
    auto* item = static_cast<TPictureCollectionItem*>(images->Items().Add());
    item->SetName(Name);
    item->Picture().SetGraphic(dib.get());
    item->PatternWidth = PW;
    item->PatternHeight = PH;
    item->Transparent = true;
    item->SetTransparentColor(clBlack);
    images->Items().Initialize(draw);
    item->Restore();
    return item;
  }

  static uint16_t BackgroundAt(int x, int y) {
    return static_cast<uint16_t>(((x * 31 / kW) << 11) | (((y * 63) / kH) << 5) |
                                 (((x + y) * 31) / (kW + kH)));
  }
  void Background(bool Transposed = false) {
    DDSURFACEDESC d;
    ASSERT_TRUE(draw->Surface->Lock(nullptr, d));
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        uint16_t v = Transposed ? (x < kH && y < kH ? BackgroundAt(y, x) : 0) : BackgroundAt(x, y);
        std::memcpy(static_cast<uint8_t*>(d.lpSurface) + y * d.lPitch + 2 * x, &v, 2);
      }
    draw->Surface->Unlock();
  }

  Frame Shot() {
    Frame f(kW * kH);
    DDSURFACEDESC d;
    EXPECT_TRUE(draw->Surface->Lock(nullptr, d));
    for (int y = 0; y < kH; ++y)
      std::memcpy(&f[y * kW], static_cast<uint8_t*>(d.lpSurface) + y * d.lPitch, 2 * kW);
    draw->Surface->Unlock();
    return f;
  }

  std::unique_ptr<TForm> form;
  TDXDraw* draw = nullptr;
  TDXImageList* images = nullptr;
};

bool Near(uint16_t a, uint16_t b, int Tol = 1) {
  auto f = [](uint16_t v, int s, int m) { return (v >> s) & m; };
  return std::abs(f(a, 11, 31) - f(b, 11, 31)) <= Tol && std::abs(f(a, 5, 63) - f(b, 5, 63)) <= Tol &&
         std::abs(f(a, 0, 31) - f(b, 0, 31)) <= Tol;
}

// Pixels of A (left of column Right) that match neither the same nor a
// neighbouring pixel of B.
int Mismatches(const Frame& A, const Frame& B, bool Neighbours, int Right = kW) {
  int bad = 0;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < Right; ++x) {
      bool ok = false;
      const int r = Neighbours ? 1 : 0;
      for (int dy = -r; dy <= r && !ok; ++dy)
        for (int dx = -r; dx <= r && !ok; ++dx) {
          int xx = x + dx, yy = y + dy;
          if (xx < 0 || yy < 0 || xx >= kW || yy >= kH) continue;
          ok = Near(A[y * kW + x], B[yy * kW + xx]);
        }
      if (!ok) ++bad;
    }
  return bad;
}

enum TScene { scFlat, scTurned, scWaves, scSub, scWaveY, scWaveXTransposed };

Frame DrawScene(D2DOnDisplay& T, bool ThreeD, TScene Scene) {
  T.Start(ThreeD);
  const bool transposed = Scene == scWaveXTransposed;
  TPictureCollectionItem* p = T.AddPicture("ship", 96, 32, 32, 32, Scene == scWaveXTransposed);
  T.Background(transposed);
  TDirectDrawSurface* s = T.draw->Surface.get();
  T.draw->SetTextureFilter(D2D_POINT);
  switch (Scene) {
    case scFlat:
      p->StretchDraw(s, TRect{4, 4, 36, 36}, 0);
      p->DrawAlpha(s, TRect{44, 4, 76, 36}, 1, 128);
      p->DrawAdd(s, TRect{84, 4, 116, 36}, 2, 255);
      p->DrawAdd(s, TRect{124, 4, 156, 36}, 0, 128);
      p->DrawAlpha(s, TRect{164, 4, 196, 36}, 2, 255);
      break;
    case scTurned:
      p->DrawRotate(s, 60, 60, 32, 32, 0, 0.5, 0.5, 64);
      p->DrawRotateAlpha(s, 120, 60, 32, 32, 1, 0.5, 0.5, 128, 128);
      p->DrawRotateAdd(s, 180, 60, 32, 32, 2, 0.5, 0.5, 192, 255);
      break;
    case scWaves:
      p->DrawWaveX(s, 20, 100, 32, 32, 0, 4, 32, 0);
      p->DrawWaveXAdd(s, 80, 100, 32, 32, 1, 3, 16, 64, 128);
      break;
    case scSub:
      p->DrawSub(s, TRect{4, 44, 36, 76}, 0, 255);
      p->DrawSub(s, TRect{44, 44, 76, 76}, 1, 128);
      break;
    case scWaveY:
      p->DrawWaveY(s, 40, 20, 32, 32, 0, 4, 32, 0);
      p->DrawWaveYAlpha(s, 100, 20, 32, 32, 1, 3, 16, 64, 128);
      break;
    case scWaveXTransposed:
      p->DrawWaveX(s, 20, 40, 32, 32, 0, 4, 32, 0);
      p->DrawWaveXAlpha(s, 20, 100, 32, 32, 1, 3, 16, 64, 128);
      break;
  }
  Frame f = T.Shot();
  // The 3D picture really came through the device.
  EXPECT_EQ(ThreeD, T.draw->D3DDevice7 && T.draw->D3DDevice7->DrawCount() > 0);
  T.images = nullptr;
  T.draw = nullptr;
  T.form.reset();
  return f;
}

TEST_F(D2DOnDisplay, FlatDrawsAgreeWithTheTwoDimensionalPathOnEveryPixel) {
  Frame flat2 = DrawScene(*this, false, scFlat);
  Frame flat3 = DrawScene(*this, true, scFlat);
  EXPECT_EQ(Mismatches(flat3, flat2, false), 0);
}

TEST_F(D2DOnDisplay, RotationsAndWavesMatchANeighbourOfTheTwoDimensionalPicture) {
  for (TScene sc : {scTurned, scWaves}) {
    Frame a = DrawScene(*this, false, sc);
    Frame b = DrawScene(*this, true, sc);
    EXPECT_EQ(Mismatches(b, a, true), 0) << sc;
    EXPECT_EQ(Mismatches(a, b, true), 0) << sc;
  }
}

// Subtraction through the device is destination x (1 - source), where the
// software path takes destination - source.
TEST_F(D2DOnDisplay, SubtractionFollowsTheDevicesOwnFormula) {
  Frame f = DrawScene(*this, true, scSub);
  auto expand = [](int v, int bits) { return bits == 5 ? (v << 3) | (v >> 2) : (v << 2) | (v >> 4); };
  struct Draw {
    int Left, Top, Pattern, Alpha;
  } draws[] = {{4, 44, 0, 255}, {44, 44, 1, 128}};
  int bad = 0;
  for (const Draw& d : draws)
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x) {
        const int c = PictureColor(d.Pattern * 32 + x, y, 96, 32, 32, 32);
        const uint16_t bg = BackgroundAt(d.Left + x, d.Top + y);
        uint16_t want = bg;
        if (c != 0) {
          const int src[3] = {c & 0xFF, (c >> 8) & 0xFF, c >> 16};  // r, g, b
          const int shifts[3] = {11, 5, 0}, bits[3] = {5, 6, 5};
          want = 0;
          for (int k = 0; k < 3; ++k) {
            const int s8 = src[k] * d.Alpha / 255;
            const int d8 = expand((bg >> shifts[k]) & ((1 << bits[k]) - 1), bits[k]);
            const int out = d8 * (255 - s8) / 255;
            want = static_cast<uint16_t>(want | ((out >> (8 - bits[k])) << shifts[k]));
          }
        }
        if (!Near(f[(d.Top + y) * kW + d.Left + x], want)) ++bad;
      }
  EXPECT_EQ(bad, 0);
}

// The software path draws no vertical wave: the device's one is the
// horizontal wave of the transposed picture, transposed.
TEST_F(D2DOnDisplay, AVerticalWaveIsTheTransposedHorizontalOne) {
  Frame y3 = DrawScene(*this, true, scWaveY);
  Frame x2 = DrawScene(*this, false, scWaveXTransposed);
  int bad = 0;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kH; ++x) {
      bool ok = false;
      for (int dy = -1; dy <= 1 && !ok; ++dy)
        for (int dx = -1; dx <= 1 && !ok; ++dx) {
          const int xx = x + dx, yy = y + dy;
          if (xx < 0 || yy < 0 || xx >= kH || yy >= kH) continue;
          ok = Near(y3[y * kW + x], x2[xx * kW + yy]);
        }
      if (!ok) ++bad;
    }
  EXPECT_EQ(bad, 0);
}

}  // namespace

namespace {

TEST(D2DTextureCache, PicturesAreSquaredUpToAPowerOfTwo) {
  struct Case {
    int W, H, Bits, Side;
    double U1, V1;
    int OutBits;
  } cases[] = {
      {3, 5, 24, 8, 0.375, 0.625, 24},
      {1, 1, 24, 2, 0.5, 0.5, 24},
      {16, 16, 8, 16, 1, 1, 24},
      {16, 16, 32, 16, 1, 1, 32},
  };
  for (const Case& c : cases) {
    TD2DTextureEntry e;
    e.Image = std::make_unique<TDIB>();
    e.Image->SetSize(c.W, c.H, c.Bits);
    MakePowerOfTwo(e);
    EXPECT_EQ(e.Image->GetWidth(), c.Side) << c.W << "x" << c.H;
    EXPECT_EQ(e.Image->GetHeight(), c.Side);
    EXPECT_DOUBLE_EQ(e.U1, c.U1);
    EXPECT_DOUBLE_EQ(e.V1, c.V1);
    EXPECT_EQ(e.Image->BitCount(), c.OutBits);
  }
}

TEST(D2DTextureCache, WavesGetWholeStripsAndAtLeastOne) {
  struct Case {
    int Extent, Length, Strips;
  } cases[] = {{64, 64, 8}, {64, 48, 16}, {64, 0, 1}, {64, 1000, 1}, {0, 10, 1}, {64, -64, 8},
               {7, 1, 7}};
  for (const Case& c : cases)
    EXPECT_EQ(TD2DDirect3D::WaveStrips(c.Extent, c.Length), c.Strips) << c.Extent << " " << c.Length;
}

TEST_F(D2DOnDisplay, TheCacheEmptiesBeforeItsTwoThousandFiftiethEntryAndIgnoresCase) {
  Start(true);
  TPictureCollectionItem* p = AddPicture("Ship", 8, 8, 8, 8);
  auto* d = static_cast<TD2DDirect3D*>(draw->D2D());
  ASSERT_TRUE(d->CheckUsable());
  TD2DTextures& t = *d->Textures();
  for (int i = 0; i < 2049; ++i) {
    ASSERT_TRUE(t.LoadSurface(p->GetPatternSurface(0), true, "s" + std::to_string(i)));
  }
  EXPECT_EQ(t.Count(), 2049);
  ASSERT_TRUE(t.AddFromItem(p));
  EXPECT_EQ(t.Count(), 1);
  EXPECT_TRUE(t.Contains("SHIP"));
  EXPECT_EQ(t.IndexOf("sHiP"), 0);
}

TEST_F(D2DOnDisplay, MirrorAppliesToOneDrawAndPatternsAreInsetByHalfATexel) {
  Start(true);
  TPictureCollectionItem* p = AddPicture("strip", 96, 32, 32, 32);
  auto* d = static_cast<TD2DDirect3D*>(draw->D2D());
  draw->SetMirrorFlip(MirrorFlipBit(rmfMirror));
  p->StretchDraw(draw->Surface.get(), TRect{0, 0, 32, 32}, 1);
  const std::vector<D3DTLVERTEX>& v = draw->D3DDevice7->LastVertices();
  ASSERT_EQ(v.size(), 4u);
  // 96 x 32 becomes 128 x 128: pattern 1 spans u 32/128 to 63.5/128.
  EXPECT_FLOAT_EQ(v[0].tu, 63.5f / 128);
  EXPECT_FLOAT_EQ(v[1].tu, 32.0f / 128);
  EXPECT_FLOAT_EQ(v[2].tv, 31.5f / 128);
  EXPECT_FLOAT_EQ(v[0].sx, -0.5f);
  EXPECT_EQ(d->MirrorFlip, 0);
  p->DrawWaveX(draw->Surface.get(), 10, 10, 32, 32, 0, 3, 32, 0);
  EXPECT_EQ(draw->D3DDevice7->LastVertices().size(), 18u);
}

TEST_F(D2DOnDisplay, AfterALossAndRestoreTheFrameIsTheSame) {
  Start(true);
  TPictureCollectionItem* p = AddPicture("ship", 96, 32, 32, 32);
  auto scene = [&] {
    Background();
    p->StretchDraw(draw->Surface.get(), TRect{4, 4, 36, 36}, 0);
    p->DrawAlpha(draw->Surface.get(), TRect{44, 4, 76, 36}, 1, 128);
    p->DrawWaveX(draw->Surface.get(), 80, 4, 32, 32, 2, 3, 16, 0);
    return Shot();
  };
  Frame before = scene();
  DDLoseAllSurfaces();
  EXPECT_TRUE(draw->CanDraw());
  Frame after = scene();
  EXPECT_EQ(Mismatches(after, before, false), 0);
}

TEST_F(D2DOnDisplay, ATextureMadeOutsideTheCacheReloadsItsPixelsOnRestore) {
  Start(true);
  TDIB dib;
  dib.SetSize(4, 4, 24);
  for (int i = 0; i < 16; ++i) dib.SetPixel(i % 4, i / 4, 0x102030 * (i + 1));
  TDirect3DTexture2 tex(draw, static_cast<TGraphic*>(&dib), false);
  ASSERT_NE(tex.Surface(), nullptr);
  auto read = [&] {
    DDSURFACEDESC d;
    EXPECT_EQ(tex.SurfaceOrNil()->ISurface()->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
    std::vector<uint8_t> bytes(static_cast<uint8_t*>(d.lpSurface),
                               static_cast<uint8_t*>(d.lpSurface) + d.lPitch * 4);
    tex.SurfaceOrNil()->ISurface()->Unlock(nullptr);
    return bytes;
  };
  std::vector<uint8_t> first = read();
  DDLoseAllSurfaces();
  // A restore wipes what the surface held; the texture fills it again.
  tex.SurfaceOrNil()->ISurface()->Restore();
  {
    DDSURFACEDESC d;
    ASSERT_EQ(tex.SurfaceOrNil()->ISurface()->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
    std::memset(d.lpSurface, 0, static_cast<size_t>(d.lPitch) * 4);
    tex.SurfaceOrNil()->ISurface()->Unlock(nullptr);
  }
  DDLoseAllSurfaces();
  draw->CheckSurfaces();
  EXPECT_EQ(read(), first);
}

}  // namespace

namespace {

TEST_F(D2DOnDisplay, PalettePicturesKeepTheirColours) {
  Frame shots[2];
  for (int threeD = 0; threeD < 2; ++threeD) {
    Start(threeD == 1);
    auto dib = std::make_unique<TDIB>();
    dib->SetSize(16, 16, 8);
    TRGBQuads table = dib->Image()->ColorTable;
    for (int i = 0; i < 256; ++i)
      table[size_t(i)] = RGBQUAD{uint8_t(255 - i), uint8_t((i * 7) & 255), uint8_t(i), 0};
    dib->ColorTable = table;
    dib->UpdatePalette();
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) dib->SetPixel(x, y, y * 16 + x);
    auto* item = static_cast<TPictureCollectionItem*>(images->Items().Add());
    item->SetName("pal");
    item->Picture().SetGraphic(dib.get());
    item->Transparent = false;
    images->Items().Initialize(draw);
    item->Restore();
    Background();
    item->StretchDraw(draw->Surface.get(), TRect{10, 10, 26, 26}, 0);
    shots[threeD] = Shot();
    images = nullptr;
    draw = nullptr;
    form.reset();
  }
  for (int i = 0; i < 256; ++i) {
    const int x = 10 + i % 16, y = 10 + i / 16;
    EXPECT_TRUE(Near(shots[1][y * kW + x], shots[0][y * kW + x]))
        << i << ": " << std::hex << shots[1][y * kW + x] << " vs " << shots[0][y * kW + x];
  }
}

}  // namespace

namespace {

// Pictures of the generated archives, drawn with the game's six operations.
TEST_F(D2DOnDisplay, ArchivePicturesLookTheSameThroughBothPaths) {
  const std::string dir = std::string(TAL_BIN_DIR) + "/data/graphic/";
  if (!FileExists(dir + "models.dan")) GTEST_SKIP() << "no generated data";
  // Flat draws agree pixel for pixel; turned and waved ones within a pixel.
  // (Subtraction follows its own formula: see its test.)
  enum TKind { kFlat, kTurned };
  Frame shots[2][2];
  for (int threeD = 0; threeD < 2; ++threeD)
    for (TKind kind : {kFlat, kTurned}) {
      Start(threeD == 1);
      auto list = [&](const char* File) {
        auto* l = new TDXImageList(form.get());
        l->SetDXDraw(draw);
        l->Items().LoadFromFile(dir + File);
        return l;
      };
      TDXImageList* video = list("video.dan");
      TDXImageList* bg = list("bg.dan");
      TDXImageList* models = list("models.dan");
      TDXImageList* inter = list("interface.dan");
      draw->SetTextureFilter(D2D_POINT);
      TDirectDrawSurface* s = draw->Surface.get();
      video->Items().Find("partner_logo")->StretchDraw(s, TRect{0, 0, 800, 600}, 0);
      TPictureCollectionItem* ship = models->Items().Find("player1left");
      TPictureCollectionItem* back = bg->Items().Find("back1");
      if (kind == kFlat) {
        back->DrawAdd(s, TRect{224, 195, 480, 451}, 0, 255);
        bg->Items().Find("layer1")->StretchDraw(s, TRect{337, 106, 593, 362}, 0);
        inter->Items().Find("enter_name")->StretchDraw(s, TRect{-18, 211, 382, 331}, 0);
        const struct {
          int Op, Alpha;
        } ops[] = {{0, 255}, {1, 128}, {2, 255}, {2, 128}};
        int x = 10;
        for (const auto& o : ops) {
          const TRect r{x, 470, x + 64, 527};
          switch (o.Op) {
            case 0:
              ship->StretchDraw(s, r, 3);
              break;
            case 1:
              ship->DrawAlpha(s, r, 3, o.Alpha);
              break;
            case 2:
              ship->DrawAdd(s, r, 3, o.Alpha);
              break;
          }
          x += 80;
        }
      } else {
        ship->DrawRotate(s, 100, 100, 64, 57, 2, 0.5, 0.5, 40);
        ship->DrawRotateAlpha(s, 200, 100, 64, 57, 4, 0.5, 0.5, 100, 128);
        ship->DrawRotateAdd(s, 300, 100, 64, 57, 6, 0.5, 0.5, 170, 128);
        ship->DrawWaveX(s, 400, 60, 64, 57, 1, 5, 40, 10);
        back->DrawWaveXAlpha(s, 500, 200, 256, 256, 0, 6, 64, 0, 128);
      }
      shots[threeD][kind] = Shot();
      images = nullptr;
      draw = nullptr;
      form.reset();
    }
  EXPECT_EQ(Mismatches(shots[1][kFlat], shots[0][kFlat], false), 0);
  // Turned at odd angles (everything left of column 390), every pixel takes
  // the texel the software path takes.
  EXPECT_EQ(Mismatches(shots[1][kTurned], shots[0][kTurned], false, 390), 0);
  EXPECT_EQ(Mismatches(shots[0][kTurned], shots[1][kTurned], false, 390), 0);
  // Waved, the strips' corners carry the shift that the software path rounds
  // row by row; between them a row may sit a pixel off, so a few dozen
  // pixels on thin lines still differ (of the 25,000 drawn).
  EXPECT_LT(Mismatches(shots[1][kTurned], shots[0][kTurned], true), 40);
  EXPECT_LT(Mismatches(shots[0][kTurned], shots[1][kTurned], true), 40);
}

}  // namespace

namespace {

// A picture whose texture cannot be made draws nothing and says so; a
// 32-bit picture blends by its own alpha times the draw's, and one whose
// fourth bytes are all 0 is opaque.
TEST_F(D2DOnDisplay, TexturesThatCannotBeMadeDrawNothingAndAlphaMultiplies) {
  Start(true);
  TPictureCollectionItem* p = AddPicture("ship", 32, 32, 32, 32);
  auto* d = static_cast<TD2DDirect3D*>(draw->D2D());
  Background();
  const Frame before = Shot();
  DDFaults().FailVideoMemory = 1000;
  DDFaults().FailSystemMemory = 1000;
  EXPECT_FALSE(d->RenderPattern(p, TRect{0, 0, 32, 32}, 0, rtDraw, 255));
  DDFaults() = TDDFaults{};
  EXPECT_TRUE(Shot() == before) << "a box was drawn";
  EXPECT_EQ(d->Textures()->Count(), 0);

  struct Case {
    const char* Name;
    uint8_t Fourth;  // the fourth byte of every pixel
    int Alpha;
    int Expected;  // percent of the picture in the result
  } cases[] = {{"opaque32", 0, 128, 50}, {"half32", 128, 255, 50}, {"half32at128", 128, 128, 25}};
  for (const Case& c : cases) {
    auto dib = std::make_unique<TDIB>();
    dib->SetSize(8, 8, 32);
    for (int y = 0; y < 8; ++y) {
      uint8_t* row = dib->ScanLine(y);
      for (int x = 0; x < 8; ++x) {
        row[4 * x] = 0, row[4 * x + 1] = 0, row[4 * x + 2] = 248, row[4 * x + 3] = c.Fourth;
      }
    }
    auto* item = static_cast<TPictureCollectionItem*>(images->Items().Add());
    item->SetName(c.Name);
    item->Picture().SetGraphic(dib.get());
    item->Transparent = false;
    images->Items().Initialize(draw);
    item->Restore();
    DDSURFACEDESC desc;
    ASSERT_TRUE(draw->Surface->Lock(nullptr, desc));
    for (int y = 0; y < 8; ++y) std::memset(static_cast<uint8_t*>(desc.lpSurface) + y * desc.lPitch, 0, 16);
    draw->Surface->Unlock();
    EXPECT_TRUE(d->RenderPattern(item, TRect{0, 0, 8, 8}, 0, rtBlend, c.Alpha)) << c.Name;
    const uint16_t v = Shot()[3 * kW + 3];
    EXPECT_NEAR((v >> 11) * 100 / 31, c.Expected, 3) << c.Name;
  }
}

}  // namespace

namespace {

TEST_F(D2DOnDisplay, MipmapSubImagesBecomeTextureLevels) {
  Start(true);
  auto make = [](TDXTextureImage& I, int Side, uint32_t Color) {
    I.SetSize(DXTextureImageType_RGBColor, Side, Side, 32, 0);
    I.RChannel = MakeChannel(0xFF0000, false);
    I.GChannel = MakeChannel(0x00FF00, false);
    I.BChannel = MakeChannel(0x0000FF, false);
    for (int y = 0; y < Side; ++y)
      for (int x = 0; x < Side; ++x) I.SetPixel(x, y, Color);
  };
  auto* image = new TDXTextureImage();
  make(*image, 8, 0xFF0000);
  const uint32_t colors[] = {0x00FF00, 0x0000FF};
  for (int k = 0; k < 2; ++k) {
    auto* sub = new TDXTextureImage(image);
    sub->ImageGroupType = DXTextureImageGroupType_Mipmap;
    make(*sub, 4 >> k, colors[k]);
  }
  TDirect3DTexture2 tex(draw, image, true);
  ASSERT_NE(tex.Surface(), nullptr);
  EXPECT_TRUE(tex.Mipmap());
  PDirectDrawSurface level = tex.SurfaceOrNil()->ISurface();
  const uint32_t expected[] = {0xFF0000, 0x00FF00, 0x0000FF};
  for (int k = 0; k < 3; ++k) {
    ASSERT_TRUE(level) << k;
    EXPECT_EQ(level->Width(), 8u >> k);
    DDSURFACEDESC d;
    ASSERT_EQ(level->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
    uint32_t v;
    std::memcpy(&v, d.lpSurface, 4);
    level->Unlock(nullptr);
    EXPECT_EQ(v & 0xFFFFFF, expected[k]) << k;
    DDSCAPS caps{DDSCAPS_TEXTURE | DDSCAPS_MIPMAP};
    PDirectDrawSurface next;
    if (level->GetAttachedSurface(&caps, &next) != DD_OK) next = nullptr;
    level = next;
  }
  EXPECT_EQ(level, nullptr);
}

}  // namespace
