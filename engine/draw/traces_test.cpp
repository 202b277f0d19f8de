#include "engine/draw/traces.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/dib/dib.h"
#include "engine/draw/dxdraws.h"
#include "engine/draw/pictures.h"
#include "framework/filer.h"
#include "platform/backend/headless/headless_core.h"
#include "platform/backend/headless/headless_video.h"
#include "platform/ddraw/ddraw_seam.h"

namespace {

using Bytes = std::vector<uint8_t>;

class TracesOnDisplay : public ::testing::Test {
 protected:
  void SetUp() override {
    HeadlessInstall();
    HeadlessInstallVideo();
    DDRegisterModule();
    SkipNextFlip = false;
    form = std::make_unique<TForm>(nullptr);
    form->SetBounds(0, 0, 800, 600);
    draw = new TDXDraw(form.get());
    draw->SetParent(form.get());
    draw->SetAutoSize(false);
    draw->SetBounds(0, 0, 800, 600);
    draw->SetSurfaceWidth(800);
    draw->SetSurfaceHeight(600);
    draw->SetOptions(TDXDrawOptions{doFlip, doDirectX7Mode, doHardware});
    form->Perform(WM_ACTIVATE, WA_ACTIVE, 0);
  }
  void TearDown() override {
    form.reset();
    DDSetVideoOutput(nullptr);
    HeadlessUninstall();
  }

  void Start() {
    draw->Initialize();
    ASSERT_TRUE(draw->Initialized());
    images = new TDXImageList(form.get());
    images->SetDXDraw(draw);
  }

  // A strip of 20 x 12 patterns: red, lime, blue, each with a transparent
  // (black) square so keyed drawing shows.
  TPictureCollectionItem* Strip() {
    const TColor colors[] = {clRed, clLime, clBlue};
    auto dib = std::make_unique<TDIB>();
    dib->SetSize(60, 12, 24);
    for (int i = 0; i < 3; ++i)
      for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 20; ++x)
          dib->SetPixel(i * 20 + x, y, (x >= 4 && x < 8 && y >= 4 && y < 8) ? clBlack : colors[i]);
    TPictureCollectionItem* item = images->Items().Add();
    item->SetName("strip");
    item->PatternWidth = 20;
    item->PatternHeight = 12;
    item->Picture().TakeGraphic(std::move(dib));
    item->Initialize();
    item->Restore();
    return item;
  }

  // The back surface's top-left 200 x 200 pixels.
  Bytes Shot() {
    DDSURFACEDESC desc{};
    TDirectDrawSurface* s = draw->Surface.get();
    EXPECT_TRUE(s->Lock(nullptr, desc));
    Bytes out;
    const int bpp = s->BitCount() / 8;
    for (int y = 0; y < 200; ++y) {
      auto* row = static_cast<const uint8_t*>(desc.lpSurface) + y * desc.lPitch;
      out.insert(out.end(), row, row + 200 * bpp);
    }
    s->Unlock();
    return out;
  }
  // A grey ground, so adding and subtracting both show.
  void Clear() { draw->Surface->Fill(draw->Surface->ColorToPixel(0x808080)); }

  std::unique_ptr<TForm> form;
  TDXDraw* draw = nullptr;         // owned by the form
  TDXImageList* images = nullptr;  // owned by the form
};

// ---- Names and assignment -----------------------------------------------------------

TEST_F(TracesOnDisplay, TracesAreMadeForTheDisplayAndNamesStayUnique) {
  TTraces* traces = draw->Traces();
  EXPECT_EQ(traces->GetOwner(), draw);
  TTrace* a = traces->Add();
  TTrace* b = traces->Add();
  a->SetName("Comet");
  b->SetName("Ship");
  EXPECT_EQ(a->Blit()->DXDraw, static_cast<TBlitDisplay*>(draw));
  EXPECT_EQ(a->Blit()->Parent(), nullptr);
  EXPECT_TRUE(a->Active());

  struct Case {
    TTrace* trace;
    const char* name;
    bool raises;
  } cases[] = {
      {b, "comet", true},   {b, "COMET", true},
      {b, "Comet", true},   {a, "comet", false},  // its own name in another case
      {a, "Rocket", false}, {a, "", false},
  };
  for (const auto& c : cases) {
    try {
      c.trace->SetDisplayName(c.name);
      EXPECT_FALSE(c.raises) << c.name;
    } catch (const Exception& e) {
      EXPECT_TRUE(c.raises) << c.name;
      EXPECT_EQ(e.Message(), std::string("Item duplicate name \"") + c.name + "\" error");
    }
  }
  EXPECT_EQ(a->Name(), "Comet");
  EXPECT_EQ(b->Name(), "Ship");
}

TEST_F(TracesOnDisplay, AssignCopiesBlitAndTagButKeepsTheName) {
  Start();
  TPictureCollectionItem* item = Strip();
  TTraces* traces = draw->Traces();
  TTrace* src = traces->Add();
  TTrace* dst = traces->Add();
  src->SetName("from");
  dst->SetName("to");
  src->Tag = -42;
  src->Blit()->X = 7.5;
  src->Blit()->Paths.resize(3);
  src->SetActive(false);
  dst->Blit()->Image = item;
  dst->Blit()->Trail()[7] = {true, 1, 1, 0, 0, 9};

  dst->Assign(src);
  EXPECT_EQ(dst->Name(), "to");
  EXPECT_EQ(dst->Tag, -42);
  EXPECT_EQ(dst->Blit()->X, 7.5);
  EXPECT_EQ(dst->Blit()->PathCount(), 3);
  EXPECT_FALSE(dst->Active());
  EXPECT_EQ(dst->Blit()->Image, nullptr);
  EXPECT_EQ(dst->Blit()->Trail(), TBlitTrail{});

  // The whole collection: emptied, then one copy per trace.
  TDXDraw other(nullptr);
  other.Traces()->Add()->SetName("old");
  other.SetTraces(traces);
  ASSERT_EQ(other.Traces()->Count(), 2);
  EXPECT_EQ(other.Traces()->Items(1)->Tag, -42);
  EXPECT_EQ(other.Traces()->Items(1)->Blit()->PathCount(), 3);
  // Each copy belongs to the display it was copied into.
  EXPECT_EQ(other.Traces()->Items(0)->Blit()->DXDraw, static_cast<TBlitDisplay*>(&other));
}

// ---- Collision through the display ----------------------------------------------------

TEST_F(TracesOnDisplay, CollisionWalksTheDisplaysTracesInOrder) {
  TTraces* traces = draw->Traces();
  TBlit* blits[3];
  const double xs[] = {0, 30, 5};
  for (int i = 0; i < 3; ++i) {
    blits[i] = traces->Add()->Blit();
    blits[i]->X = xs[i];
    blits[i]->Width = blits[i]->Height = 10;
  }
  EXPECT_EQ(blits[0]->DoCollision(), blits[2]);
  EXPECT_EQ(blits[2]->DoCollision(), blits[0]);
  EXPECT_EQ(blits[1]->DoCollision(), nullptr);
  // Moving a trace moves its place in the walk.
  traces->Items(2)->SetIndex(0);
  blits[1]->X = 3;
  EXPECT_EQ(blits[1]->DoCollision(), blits[2]);
}

// ---- Drawing --------------------------------------------------------------------------

TEST_F(TracesOnDisplay, EachDrawKindGivesThePixelsOfThatPictureDraw) {
  Start();
  TPictureCollectionItem* item = Strip();
  TDirectDrawSurface* dest = draw->Surface.get();
  TBlitDraw d;
  d.Rect = Rect(10, 20, 50, 44);
  d.X = 90;
  d.Y = 80;
  d.Width = 40;
  d.Height = 24;
  d.Pattern = 1;
  d.CenterX = 0.25;
  d.CenterY = 0.5;
  d.Angle = 40;
  d.Amplitude = 6;
  d.Length = 30;
  d.Phase = 11;
  d.Alpha = 150;
  const int x = 90, y = 80, w = 40, h = 24, p = 1, a = 150;
  struct Case {
    TBlitDrawKind kind;
    std::function<void()> direct;
  } cases[] = {
      {bdStretchDraw, [&] { item->StretchDraw(dest, d.Rect, p); }},
      {bdDrawAlpha, [&] { item->DrawAlpha(dest, d.Rect, p, a); }},
      {bdDrawAdd, [&] { item->DrawAdd(dest, d.Rect, p, a); }},
      {bdDrawSub, [&] { item->DrawSub(dest, d.Rect, p, a); }},
      {bdDrawRotate, [&] { item->DrawRotate(dest, x, y, w, h, p, 0.25, 0.5, 40); }},
      {bdDrawRotateAlpha, [&] { item->DrawRotateAlpha(dest, x, y, w, h, p, 0.25, 0.5, 40, a); }},
      {bdDrawRotateAdd, [&] { item->DrawRotateAdd(dest, x, y, w, h, p, 0.25, 0.5, 40, a); }},
      {bdDrawRotateSub, [&] { item->DrawRotateSub(dest, x, y, w, h, p, 0.25, 0.5, 40, a); }},
      {bdDrawWaveX, [&] { item->DrawWaveX(dest, x, y, w, h, p, 6, 30, 11); }},
      {bdDrawWaveXAlpha, [&] { item->DrawWaveXAlpha(dest, x, y, w, h, p, 6, 30, 11, a); }},
      {bdDrawWaveXAdd, [&] { item->DrawWaveXAdd(dest, x, y, w, h, p, 6, 30, 11, a); }},
      {bdDrawWaveXSub, [&] { item->DrawWaveXSub(dest, x, y, w, h, p, 6, 30, 11, a); }},
      {bdDrawWaveY, [&] { item->DrawWaveY(dest, x, y, w, h, p, 6, 30, 11); }},
      {bdDrawWaveYAlpha, [&] { item->DrawWaveYAlpha(dest, x, y, w, h, p, 6, 30, 11, a); }},
      {bdDrawWaveYAdd, [&] { item->DrawWaveYAdd(dest, x, y, w, h, p, 6, 30, 11, a); }},
      {bdDrawWaveYSub, [&] { item->DrawWaveYSub(dest, x, y, w, h, p, 6, 30, 11, a); }},
  };
  Clear();
  const Bytes blank = Shot();
  for (const auto& c : cases) {
    Clear();
    d.Kind = c.kind;
    draw->DrawBlitPicture(item, d);
    Bytes viaBlit = Shot();
    Clear();
    c.direct();
    Bytes direct = Shot();
    EXPECT_TRUE(viaBlit == direct) << "kind " << int(c.kind);
    // Waves the software path does not draw leave the surface alone; all
    // others must have drawn something, or the comparison proves nothing.
    if (c.kind < bdDrawWaveY) EXPECT_FALSE(direct == blank) << "kind " << int(c.kind);
  }
}

TEST_F(TracesOnDisplay, OpaquePictureOverABlendedTrailOfItsOwnPatterns) {
  Start();
  TPictureCollectionItem* item = Strip();
  TTrace* t = draw->Traces()->Add();
  TBlit* b = t->Blit();
  b->Image = item;
  b->X = 100;
  b->Y = 100;
  b->AnimCount = 3;
  b->AnimPos = 2;  // blue
  b->BlurImage = true;
  b->Trail()[5] = {true, 40, 30, 0, 0, 96};   // red
  b->Trail()[7] = {true, 70, 60, 1, 0, 160};  // lime

  Clear();
  b->DoDraw();
  Bytes viaBlit = Shot();
  Clear();
  item->DrawAlpha(draw->Surface.get(), Bounds(40, 30, 20, 12), 0, 96);
  item->DrawAlpha(draw->Surface.get(), Bounds(70, 60, 20, 12), 1, 160);
  item->StretchDraw(draw->Surface.get(), Bounds(100, 100, 20, 12), 2);
  EXPECT_TRUE(viaBlit == Shot());
  EXPECT_EQ(b->Trail()[5].Alpha, 95);
  EXPECT_EQ(b->Trail()[7].Alpha, 159);

  // Rotated and scaled: the picture and its trail both at twice the size,
  // each about the centre of where it was.
  b->Angle = 64;
  b->Scale = 2;
  b->Trail()[5] = TBlitTrailEntry{};
  b->Trail()[7] = {true, 70, 60, 1, 32, 160};
  Clear();
  b->DoDraw();
  viaBlit = Shot();
  Clear();
  item->DrawRotateAlpha(draw->Surface.get(), 80, 66, 40, 24, 1, 0.5, 0.5, 32, 160);
  item->DrawRotate(draw->Surface.get(), 110, 106, 40, 24, 2, 0.5, 0.5, 64);
  EXPECT_TRUE(viaBlit == Shot());
}

// A drawer that only records what the control hands it, and never draws.
class TRecordingD2D : public TD2D {
 public:
  using TD2D::TD2D;
  static inline TRenderMirrorFlips MirrorFlip = 0;
  static inline int TextureFilter = -1;
  bool CheckUsable() override { return false; }
  bool SelectBackSurface() override { return false; }
  void ClearTextureCache() override {}
  void SetMirrorFlip(TRenderMirrorFlips Value) override { MirrorFlip = Value; }
  void SetTextureFilter(TD2DTextureFilter Filter) override { TextureFilter = Filter; }
  bool RenderSurface(TDirectDrawSurface*, const TRect&, bool, TRenderType, int) override {
    return false;
  }
  bool RenderSurfaceRotate(TDirectDrawSurface*, int, int, int, int, TRenderType, double, double,
                           float, int, bool) override {
    return false;
  }
  bool RenderSurfaceWaveX(TDirectDrawSurface*, int, int, int, int, TRenderType, bool, int, int,
                          int, int) override {
    return false;
  }
  bool RenderPattern(TPictureCollectionItem*, const TRect&, int, TRenderType, int) override {
    return false;
  }
  bool RenderPatternRotate(TPictureCollectionItem*, int, int, int, int, int, TRenderType, double,
                           double, float, int) override {
    return false;
  }
  bool RenderPatternWaveX(TPictureCollectionItem*, int, int, int, int, int, TRenderType, bool, int,
                          int, int, int) override {
    return false;
  }
  bool RenderPatternWaveY(TPictureCollectionItem*, int, int, int, int, int, TRenderType, bool, int,
                          int, int, int) override {
    return false;
  }
};

TEST_F(TracesOnDisplay, MirrorFlipAndFilterReachTheHardwareDrawerWithThe3DOptions) {
  static const TDirect3DPath path{
      [](TCustomDXDraw* d) -> std::unique_ptr<TD2D> { return std::make_unique<TRecordingD2D>(d); },
      [](TDirect3DSetupOptions, TCustomDXDraw*) {},
      [](TCustomDXDraw*, bool, TDirect3DSetupOptions) -> TDirect3DSetupOptions { return 0; },
      [](TCustomDXDraw*) {}};
  const TDirect3DPath* before = Direct3DPath();
  SetDirect3DPath(&path);
  struct TRestore {
    const TDirect3DPath* Path;
    ~TRestore() { SetDirect3DPath(Path); }
  } restore{before};
  TBlit* b = draw->Traces()->Add()->Blit();
  b->Mirror = true;
  b->Flip = true;
  b->TextureFilter = D2D_LINEAR;
  draw->SetOptions(TDXDrawOptions{doFlip, doDirectX7Mode, doHardware, do3D});
  Start();
  b->Image = Strip();
  b->DoDraw();
  EXPECT_EQ(TRecordingD2D::MirrorFlip, MirrorFlipBit(rmfMirror) | MirrorFlipBit(rmfFlip));
  EXPECT_EQ(TRecordingD2D::TextureFilter, D2D_LINEAR);
}

// ---- Streams --------------------------------------------------------------------------

Bytes WriteDisplay(const TDXDraw& d) {
  TMemoryStream m;
  WriteComponent(m, d);
  return m.Bytes();
}

TEST_F(TracesOnDisplay, TracesStreamWithTheDisplayAndRewriteIdentically) {
  // The game's stored display: an empty list.
  Bytes empty = WriteDisplay(*draw);
  const Bytes emptyList = {6, 'T', 'r', 'a', 'c', 'e', 's', vaCollection, 0};
  EXPECT_NE(std::search(empty.begin(), empty.end(), emptyList.begin(), emptyList.end()),
            empty.end());

  TTrace* a = draw->Traces()->Add();
  a->SetName("Comet");
  a->Tag = 77;
  a->Blit()->X = 12.5;
  a->Blit()->SpeedX = -0.25f;
  a->Blit()->BlendMode = rtAdd;
  a->Blit()->SetPathCount(2);
  a->Blit()->Paths[1].fill(0xC3);
  TTrace* b = draw->Traces()->Add();
  b->SetName("Dust");
  b->SetActive(false);
  Bytes first = WriteDisplay(*draw);

  // A stored display is read in place on its form.
  auto* cp = new TDXDraw(form.get());
  cp->SetParent(form.get());
  TDXDraw& copy = *cp;
  TByteStream s(first.data(), first.size());
  ReadComponent(s, copy);
  ASSERT_EQ(copy.Traces()->Count(), 2);
  TTrace* ca = copy.Traces()->Items(0);
  EXPECT_EQ(ca->Name(), "Comet");
  EXPECT_EQ(ca->Tag, 77);
  EXPECT_EQ(ca->Blit()->Paths, a->Blit()->Paths);
  EXPECT_EQ(ca->Blit()->DXDraw, static_cast<TBlitDisplay*>(&copy));
  EXPECT_FALSE(copy.Traces()->Items(1)->Active());
  EXPECT_EQ(copy.Traces()->IndexOfName("dust"), 1);
  EXPECT_TRUE(WriteDisplay(copy) == first);
}

TEST_F(TracesOnDisplay, MalformedTracesRaiseTheirErrors) {
  Bytes good;
  {
    TTrace* t = draw->Traces()->Add();
    t->SetName("T");
    t->Blit()->SetPathCount(1);
    good = WriteDisplay(*draw);
  }
  // Finds a property name in the good stream so the cases can cut or
  // change the bytes after it.
  auto at = [&](const std::string& name) {
    Bytes n{static_cast<uint8_t>(name.size())};
    n.insert(n.end(), name.begin(), name.end());
    auto it = std::search(good.begin(), good.end(), n.begin(), n.end());
    EXPECT_NE(it, good.end()) << name;
    return static_cast<size_t>(it - good.begin()) + n.size();
  };
  struct Case {
    const char* what;
    std::function<Bytes()> make;
    std::string message;
  } cases[] = {
      {"cut inside the records",
       [&] { return Bytes(good.begin(), good.begin() + at("Blit.Paths") + 20); },
       "Stream read error"},
      {"count larger than the block",
       [&] {
         Bytes b = good;
         b[at("Blit.Paths") + 5] = 9;
         return b;
       },
       "Stream read error"},
      {"Tag as text",
       [&] {
         Bytes b = good;
         b[at("Tag")] = vaString;
         return b;
       },
       "Invalid property value"},
      {"unknown blit property",
       [&] {
         Bytes b = good;
         b[at("Blit.Width") - 5] = 'V';
         return b;
       },
       "Property Blit.Vidth does not exist"},
      {"cut after the list", [&] { return Bytes(good.begin(), good.begin() + at("Traces") + 1); },
       "Stream read error"},
  };
  for (const auto& c : cases) {
    Bytes bytes = c.make();
    TDXDraw d(nullptr);
    TByteStream s(bytes.data(), bytes.size());
    try {
      ReadComponent(s, d);
      ADD_FAILURE() << c.what << ": no error";
    } catch (const EReadError& e) {
      EXPECT_EQ(e.Message(), c.message) << c.what;
    }
  }
}

}  // namespace
