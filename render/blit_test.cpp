#include "render/blit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "framework/filer.h"

namespace {

class TFakePicture : public TBlitPicture {
 public:
  TFakePicture(int32_t W, int32_t H) : w_(W), h_(H) {}
  int32_t Width() const override { return w_; }
  int32_t Height() const override { return h_; }

 private:
  int32_t w_, h_;
};

// Records what a blit asks of its display.
class TFakeDisplay : public TBlitDisplay {
 public:
  bool BlitSurfaceReady() const override { return Ready; }
  void SetMirrorFlip(TRenderMirrorFlips Value) override { MirrorFlips.push_back(Value); }
  void SetTextureFilter(int Value) override { Filter = Value; }
  void DrawBlitPicture(TBlitPicture* Picture, const TBlitDraw& Draw) override {
    Draws.push_back(Draw);
  }
  int BlitCount() const override { return static_cast<int>(List.size()); }
  TBlit* Blits(int Index) const override { return List.at(static_cast<size_t>(Index)); }

  bool Ready = true;
  std::vector<TRenderMirrorFlips> MirrorFlips;
  int Filter = -1;
  std::vector<TBlitDraw> Draws;
  std::vector<TBlit*> List;
};

// ---- Movement ---------------------------------------------------------------------

TEST(BlitMove, AnimationSpeedEnergyAndGravity) {
  struct Case {
    const char* what;
    std::function<void(TBlit&)> setup;
    int32_t lag;
    double animPos, animSpeed, x, y;
    float speedX, speedY;
  } cases[] = {
      {"non-looped past the end: rounds to 4, clamped to the last frame",
       [](TBlit& b) {
         b.AnimCount = 4;
         b.AnimPos = 3.0;
         b.AnimSpeed = 0.5;
       },
       1, 3.0, 0.0, 0, 0, 0, 0},
      {"non-looped at 2.5 of 3 frames: rounds to even 2 and runs on",
       [](TBlit& b) {
         b.AnimCount = 3;
         b.AnimPos = 2.0;
         b.AnimSpeed = 0.5;
       },
       1, 2.5, 0.5, 0, 0, 0, 0},
      {"non-looped below 0: clamped to 0",
       [](TBlit& b) {
         b.AnimCount = 4;
         b.AnimPos = 0.5;
         b.AnimSpeed = -1;
       },
       1, 0.0, 0.0, 0, 0, 0, 0},
      {"looped 7.5 of 4 wraps to 3.5",
       [](TBlit& b) {
         b.AnimCount = 4;
         b.AnimLooped = true;
         b.AnimPos = 7.5;
       },
       1, 3.5, 0.0, 0, 0, 0, 0},
      {"looped backwards wraps from the end",
       [](TBlit& b) {
         b.AnimCount = 4;
         b.AnimLooped = true;
         b.AnimPos = 0.5;
         b.AnimSpeed = -1;
       },
       1, 3.5, -1.0, 0, 0, 0, 0},
      {"looped with no frames stays at 0",
       [](TBlit& b) {
         b.AnimLooped = true;
         b.AnimPos = 5;
         b.AnimSpeed = 1;
       },
       3, 0.0, 1.0, 0, 0, 0, 0},
      {"speed moves by lag",
       [](TBlit& b) {
         b.AnimCount = 1;
         b.SpeedX = -2;
       },
       3, 0, 0, -6, 0, -2, 0},
      {"energy raises the speed once before moving",
       [](TBlit& b) {
         b.AnimCount = 1;
         b.SpeedX = -2;
         b.SpeedY = 4;
         b.Energy = 0.5;
       },
       3, 0, 0, -9, 18, -3, 6},
      {"gravity moves the position, not the speed",
       [](TBlit& b) {
         b.AnimCount = 1;
         b.X = 10;
         b.GravityX = 1.5;
         b.GravityY = 2;
       },
       3, 0, 0, 14.5, 6, 0, 0},
  };
  for (const auto& c : cases) {
    TBlit b;
    c.setup(b);
    b.DoMove(c.lag);
    EXPECT_DOUBLE_EQ(b.AnimPos, c.animPos) << c.what;
    EXPECT_DOUBLE_EQ(b.AnimSpeed, c.animSpeed) << c.what;
    EXPECT_DOUBLE_EQ(b.X, c.x) << c.what;
    EXPECT_DOUBLE_EQ(b.Y, c.y) << c.what;
    EXPECT_FLOAT_EQ(b.SpeedX, c.speedX) << c.what;
    EXPECT_FLOAT_EQ(b.SpeedY, c.speedY) << c.what;
  }
}

TEST(BlitMove, TrailRampsFromTheOldestAndOnlyWhenTheBlitMoved) {
  TBlit parent;
  parent.X = 100;
  parent.Y = 50;
  TBlit b(&parent);
  ASSERT_EQ(b.Parent(), &parent);
  b.BlurImage = true;
  b.AnimCount = 8;
  b.AnimLooped = true;
  b.AnimSpeed = 1;
  b.AnimStart = 10;
  b.Angle = 32;
  b.SpeedX = 1.5f;
  for (int i = 0; i < 8; ++i) b.DoMove(1);
  const TBlitTrail& t = b.Trail();
  for (int i = 0; i < 7; ++i) EXPECT_EQ(t[i].Alpha, 32 * i) << i;
  EXPECT_EQ(t[7].Alpha, 224);
  // The newest entry: rounded absolute position (112 from 100 + 12), the
  // pattern shown and the angle.
  EXPECT_TRUE(t[7].Used);
  EXPECT_EQ(t[7].X, 112);
  EXPECT_EQ(t[7].Y, 50);
  EXPECT_EQ(t[7].PatternIndex, b.CurrentPattern());
  EXPECT_EQ(t[7].Angle, 32.0f);
  // 1.5 and 4.5 round to even: entries at 102 and 104 come from those.
  EXPECT_EQ(t[0].X, 102);
  EXPECT_EQ(t[2].X, 104);

  // Standing still adds nothing.
  TBlitTrail before = t;
  b.SpeedX = 0;
  b.DoMove(5);
  EXPECT_EQ(b.Trail(), before);

  // A faint blit: s = Round(12 / 8) = 2, so the newest starts at 14.
  TBlit faint;
  faint.BlurImage = true;
  faint.SetAlpha(12);
  faint.SpeedY = 1;
  faint.DoMove(1);
  EXPECT_EQ(faint.Trail()[7].Alpha, 14);
  EXPECT_FALSE(faint.Trail()[6].Used);

  // Without BlurImage no trail is kept.
  TBlit plain;
  plain.SpeedX = 3;
  plain.DoMove(1);
  EXPECT_EQ(plain.Trail(), TBlitTrail{});
}

TEST(BlitMove, NaNAndHugeValuesBecomeDefinedIntegers) {
  TFakeDisplay d;
  TFakePicture pic(8, 8);
  TBlit b;
  b.DXDraw = &d;
  b.Image = &pic;
  b.BlurImage = true;
  b.AnimCount = 4;
  b.AnimLooped = true;
  b.AnimPos = std::nan("");
  b.AnimStart = 2;
  b.X = std::nan("");
  b.Y = 1e300;
  b.Width = b.Height = 8;
  b.DoMove(1);
  EXPECT_EQ(b.CurrentPattern(), 2);
  EXPECT_EQ(b.Trail()[7].X, 0);
  EXPECT_EQ(b.Trail()[7].Y, INT32_MAX);
  d.List = {&b};
  EXPECT_EQ(b.DoCollision(), nullptr);
  b.Angle = 8;
  b.DoDraw();
  ASSERT_EQ(d.Draws.size(), 2u);
  EXPECT_EQ(d.Draws[1].Y, INT32_MAX);  // the centre of a rectangle pinned at the edge
}

// ---- Collision --------------------------------------------------------------------

TEST(BlitCollision, FirstOverlappingOtherBlitInOrder) {
  TFakeDisplay d;
  auto place = [&](TBlit& b, double x, double y, int w, int h) {
    b.X = x;
    b.Y = y;
    b.Width = w;
    b.Height = h;
    b.DXDraw = &d;
  };
  TBlit self, edge, first, second, far;
  place(self, 0, 0, 10, 10);
  place(edge, 10, 0, 10, 10);      // shares only an edge
  place(first, 9.4, 9.4, 10, 10);  // rounds to (9, 9): one pixel of overlap
  place(second, 5, 5, 10, 10);
  place(far, 500, 500, 10, 10);

  struct Case {
    const char* what;
    std::vector<TBlit*> list;
    TBlit* want;
  } cases[] = {
      {"only itself", {&self}, nullptr},
      {"an edge is no overlap", {&self, &edge}, nullptr},
      {"the first overlapping in order", {&edge, &self, &first, &second}, &first},
      {"order decides", {&second, &first, &self}, &second},
      {"nothing near", {&far, &self}, nullptr},
  };
  for (const auto& c : cases) {
    d.List = c.list;
    EXPECT_EQ(self.DoCollision(), c.want) << c.what;
  }

  // A rounded position of 9.6 becomes 10: only an edge again.
  d.List = {&self, &first};
  first.X = first.Y = 9.6;
  EXPECT_EQ(self.DoCollision(), nullptr);

  // Positions are absolute: a child placed by its parent.
  TBlit parent;
  parent.X = 495;
  parent.Y = 495;
  TBlit child(&parent);
  place(child, 0, 0, 10, 10);
  d.List = {&far, &child};
  EXPECT_EQ(child.DoCollision(), &far);

  // OnCollision replaces the test; Collisioned False silences even that.
  int called = 0;
  d.List = {&self, &second};
  self.OnCollision = [&](TObject* Sender) {
    EXPECT_EQ(Sender, &self);
    ++called;
  };
  EXPECT_EQ(self.DoCollision(), nullptr);
  EXPECT_EQ(called, 1);
  self.Collisioned = false;
  EXPECT_EQ(self.DoCollision(), nullptr);
  EXPECT_EQ(called, 1);

  // A blit of no display hits nothing.
  self.OnCollision = nullptr;
  self.Collisioned = true;
  self.DXDraw = nullptr;
  EXPECT_EQ(self.DoCollision(), nullptr);
}

// ---- Drawing ----------------------------------------------------------------------

TEST(BlitDraw, DispatchByBlendWaveAngleAndTrail) {
  struct Case {
    TRenderType blend;
    TWaveType wave;
    float angle;
    bool trail;
    std::vector<TBlitDrawKind> kinds;  // trail entries first, then the picture
  } cases[] = {
      {rtDraw, wtWaveNone, 0, false, {bdStretchDraw}},
      {rtBlend, wtWaveNone, 0, false, {bdDrawAlpha}},
      {rtAdd, wtWaveNone, 0, false, {bdDrawAdd}},
      {rtSub, wtWaveNone, 0, false, {bdDrawSub}},
      {rtDraw, wtWaveNone, 40, false, {bdDrawRotate}},
      {rtBlend, wtWaveNone, 40, false, {bdDrawRotateAlpha}},
      {rtAdd, wtWaveNone, 40, false, {bdDrawRotateAdd}},
      {rtSub, wtWaveNone, 40, false, {bdDrawRotateSub}},
      {rtDraw, wtWaveNone, 0, true, {bdDrawAlpha, bdDrawAlpha, bdStretchDraw}},
      {rtBlend, wtWaveNone, 0, true, {bdDrawAlpha, bdDrawAlpha, bdDrawAlpha}},
      {rtAdd, wtWaveNone, 0, true, {bdDrawAdd, bdDrawAdd, bdDrawAdd}},
      {rtSub, wtWaveNone, 0, true, {bdDrawSub, bdDrawSub, bdDrawSub}},
      {rtDraw, wtWaveNone, 40, true, {bdDrawRotateAlpha, bdDrawRotateAlpha, bdDrawRotate}},
      {rtBlend, wtWaveNone, 40, true, {bdDrawRotateAlpha, bdDrawRotateAlpha, bdDrawRotateAlpha}},
      {rtAdd, wtWaveNone, 40, true, {bdDrawRotateAdd, bdDrawRotateAdd, bdDrawRotateAdd}},
      {rtSub, wtWaveNone, 40, true, {bdDrawRotateSub, bdDrawRotateSub, bdDrawRotateSub}},
      // A wave is the one draw, whatever the angle and the trail.
      {rtDraw, wtWaveX, 40, true, {bdDrawWaveX}},
      {rtBlend, wtWaveX, 0, false, {bdDrawWaveXAlpha}},
      {rtAdd, wtWaveX, 0, true, {bdDrawWaveXAdd}},
      {rtSub, wtWaveX, 0, false, {bdDrawWaveXSub}},
      {rtDraw, wtWaveY, 0, false, {bdDrawWaveY}},
      {rtBlend, wtWaveY, 40, false, {bdDrawWaveYAlpha}},
      {rtAdd, wtWaveY, 0, false, {bdDrawWaveYAdd}},
      {rtSub, wtWaveY, 0, true, {bdDrawWaveYSub}},
  };
  for (const auto& c : cases) {
    std::string what = std::to_string(c.blend) + "/" + std::to_string(c.wave) + "/" +
                       std::to_string(c.angle) + "/" + std::to_string(c.trail);
    TFakeDisplay d;
    TFakePicture pic(20, 10);
    TBlit b;
    b.DXDraw = &d;
    b.Image = &pic;
    b.X = 100.5;  // rounds to even 100
    b.Y = 51.5;   // rounds to even 52
    b.AnimCount = 4;
    b.AnimPos = 2.7;
    b.AnimStart = 1;  // pattern 3
    b.BlendMode = c.blend;
    b.WaveType = c.wave;
    b.Angle = c.angle;
    b.SetAlpha(200);
    b.CenterX = 0.25;
    b.CenterY = 0.75;
    b.Amplitude = 5;
    b.AmpLength = 7;
    b.Phase = 9;
    b.BlurImage = c.trail;
    b.TextureFilter = D2D_LINEAR;
    b.Mirror = true;
    // Two used entries, one fading out and one to be cleared.
    b.Trail()[3] = {true, 30, 40, 1, 16.0f, 0};
    b.Trail()[7] = {true, 60, 70, 2, 24.0f, 100};
    b.DoDraw();

    ASSERT_EQ(d.Draws.size(), c.kinds.size()) << what;
    for (size_t i = 0; i < c.kinds.size(); ++i) EXPECT_EQ(d.Draws[i].Kind, c.kinds[i]) << what;
    EXPECT_EQ(d.Filter, D2D_LINEAR) << what;
    for (auto mf : d.MirrorFlips) EXPECT_EQ(mf, MirrorFlipBit(rmfMirror)) << what;

    const TBlitDraw& pd = d.Draws.back();
    EXPECT_EQ(pd.Pattern, 3) << what;
    if (c.wave != wtWaveNone) {
      EXPECT_EQ(pd.X, 100) << what;
      EXPECT_EQ(pd.Y, 52) << what;
      EXPECT_EQ(pd.Width, 20) << what;
      EXPECT_EQ(pd.Height, 10) << what;
      EXPECT_EQ(pd.Amplitude, 5) << what;
      EXPECT_EQ(pd.Length, 7) << what;
      EXPECT_EQ(pd.Phase, 9) << what;
      EXPECT_EQ(pd.Alpha, 200) << what;
      // The trail neither draws nor fades.
      EXPECT_EQ(b.Trail()[7].Alpha, 100) << what;
      continue;
    }
    if (c.angle == 0) {
      EXPECT_EQ(pd.Rect, Rect(100, 52, 120, 62)) << what;
    } else {
      EXPECT_EQ(pd.X, 110) << what;
      EXPECT_EQ(pd.Y, 57) << what;
      EXPECT_EQ(pd.Width, 20) << what;
      EXPECT_EQ(pd.Height, 10) << what;
      EXPECT_EQ(pd.Angle, 40.0f) << what;
      EXPECT_EQ(pd.CenterX, 0.25) << what;
      EXPECT_EQ(pd.CenterY, 0.75) << what;
    }
    EXPECT_EQ(pd.Alpha, 200) << what;
    if (!c.trail) continue;
    // Oldest entry first; each with its own alpha; rtDraw draws each entry's
    // own pattern, the other modes the current one.
    const TBlitDraw& e3 = d.Draws[0];
    const TBlitDraw& e7 = d.Draws[1];
    EXPECT_EQ(e3.Alpha, 0) << what;
    EXPECT_EQ(e7.Alpha, 100) << what;
    EXPECT_EQ(e3.Pattern, c.blend == rtDraw ? 1 : 3) << what;
    EXPECT_EQ(e7.Pattern, c.blend == rtDraw ? 2 : 3) << what;
    if (c.angle == 0) {
      EXPECT_EQ(e3.Rect, Rect(30, 40, 50, 50)) << what;
    } else {
      EXPECT_EQ(e7.X, 70) << what;
      EXPECT_EQ(e7.Y, 75) << what;
      EXPECT_EQ(e7.Angle, 24.0f) << what;
    }
    // Drawn once: one step fainter, and the one at 0 cleared.
    EXPECT_EQ(b.Trail()[7].Alpha, 99) << what;
    EXPECT_EQ(b.Trail()[3], TBlitTrailEntry{}) << what;
    EXPECT_EQ(d.MirrorFlips.size(), 4u) << what;  // once, then before each draw
  }
}

TEST(BlitDraw, ScaleSizesEveryDrawOnce) {
  TFakeDisplay d;
  TFakePicture pic(20, 10);
  TBlit b;
  b.DXDraw = &d;
  b.Image = &pic;
  b.X = 100;
  b.Y = 50;
  b.Scale = 1.5;
  b.BlurImage = true;
  b.Trail()[7] = {true, 60, 70, 0, 0, 10};
  b.DoDraw();
  ASSERT_EQ(d.Draws.size(), 2u);
  EXPECT_EQ(d.Draws[0].Rect, Rect(60, 70, 90, 85));
  EXPECT_EQ(d.Draws[1].Rect, Rect(100, 50, 130, 65));

  // Rotating: W x H about the centre of the picture's own rectangle, for the
  // picture and its trail alike.
  d.Draws.clear();
  b.Angle = 64;
  b.DoDraw();
  ASSERT_EQ(d.Draws.size(), 2u);
  EXPECT_EQ(d.Draws[0].X, 70);
  EXPECT_EQ(d.Draws[0].Y, 75);
  EXPECT_EQ(d.Draws[1].X, 110);
  EXPECT_EQ(d.Draws[1].Y, 55);
  for (const auto& dr : d.Draws) {
    EXPECT_EQ(dr.Width, 30);
    EXPECT_EQ(dr.Height, 15);
  }
}

TEST(BlitDraw, FadingByOnePerDrawUntilCleared) {
  TFakeDisplay d;
  TFakePicture pic(4, 4);
  TBlit b;
  b.DXDraw = &d;
  b.Image = &pic;
  b.BlurImage = true;
  b.Trail()[7] = {true, 5, 5, 0, 0, 2};
  for (int alpha : {1, 0}) {
    b.DoDraw();
    EXPECT_TRUE(b.Trail()[7].Used);
    EXPECT_EQ(b.Trail()[7].Alpha, alpha);
  }
  b.DoDraw();
  EXPECT_EQ(b.Trail()[7], TBlitTrailEntry{});
  d.Draws.clear();
  b.DoDraw();
  EXPECT_EQ(d.Draws.size(), 1u);  // the picture alone
}

TEST(BlitDraw, PictureLookupAndTheCasesThatDrawNothing) {
  TFakeDisplay d;
  TFakePicture pic(12, 7);

  // No picture and no OnGetImage: nothing, no error.
  TBlit none;
  none.DXDraw = &d;
  EXPECT_NO_THROW(none.DoDraw());
  EXPECT_TRUE(d.Draws.empty());

  // An OnGetImage that finds nothing.
  TBlit missing;
  missing.DXDraw = &d;
  missing.X = 3;
  missing.OnGetImage = [](TObject*) {};
  try {
    missing.DoDraw();
    ADD_FAILURE() << "no error";
  } catch (const EDXBlitError& e) {
    EXPECT_EQ(e.Message(), "Undefined image file!");
  }
  EXPECT_TRUE(d.Draws.empty());
  EXPECT_EQ(missing.Width, 0);
  EXPECT_EQ(missing.X, 3);

  // An OnGetImage that finds the picture: asked once, and the size taken.
  int asked = 0;
  TBlit found;
  found.DXDraw = &d;
  found.OnGetImage = [&](TObject* Sender) {
    ++asked;
    static_cast<TBlit*>(Sender)->Image = &pic;
  };
  found.DoDraw();
  found.DoDraw();
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(found.Width, 12);
  EXPECT_EQ(found.Height, 7);
  EXPECT_EQ(d.Draws.size(), 2u);

  // OnDraw replaces the drawing; an invisible blit does not even ask.
  d.Draws.clear();
  int drawn = 0;
  found.OnDraw = [&](TObject*) { ++drawn; };
  found.DoDraw();
  EXPECT_EQ(drawn, 1);
  EXPECT_TRUE(d.Draws.empty());
  found.Visible = false;
  found.DoDraw();
  EXPECT_EQ(drawn, 1);

  // No back surface, or no display at all: nothing is drawn.
  TBlit lone;
  lone.Image = &pic;
  lone.BlurImage = true;
  lone.Trail()[7] = {true, 1, 1, 0, 0, 5};
  EXPECT_NO_THROW(lone.DoDraw());
  EXPECT_EQ(lone.Trail()[7].Alpha, 5);
  TFakeDisplay idle;
  idle.Ready = false;
  lone.DXDraw = &idle;
  lone.DoDraw();
  EXPECT_TRUE(idle.Draws.empty());
  EXPECT_TRUE(idle.MirrorFlips.empty());
}

// ---- Assignment -------------------------------------------------------------------

TEST(BlitAssign, CopiesTheBlitClearsTheTrailAndForgetsThePicture) {
  TFakeDisplay d;
  TFakePicture pic(1, 1);
  TBlit src;
  src.Paths = {TPathRec{}, TPathRec{}};
  src.Paths[1][48] = 0xAB;
  src.Collisioned = src.Moved = src.Visible = false;
  src.X = 1.25;
  src.Y = -2.5;
  src.Z = 3;
  src.Width = 4;
  src.Height = 5;
  src.AnimCount = 6;
  src.AnimLooped = true;
  src.AnimPos = 1.5;
  src.AnimSpeed = 0.25;
  src.AnimStart = 2;
  src.Angle = 12.5f;
  src.SetAlpha(77);
  src.CenterX = 0.1;
  src.CenterY = 0.9;
  src.Scale = 2;
  src.BlendMode = rtSub;
  src.Amplitude = 8;
  src.AmpLength = 9;
  src.Phase = 10;
  src.WaveType = wtWaveY;
  src.SpeedX = 1;
  src.SpeedY = 2;
  src.GravityX = 3;
  src.GravityY = 4;
  src.Energy = 0.5f;
  src.BlurImage = src.Mirror = src.Flip = true;
  src.TextureFilter = D2D_ANISOTROPIC;
  src.Active = false;
  src.MovingRepeatly = false;
  src.Bustrofedon = true;
  src.DXDraw = &d;
  src.Image = &pic;
  int moves = 0;
  src.OnMove = [&](TObject*, int32_t, bool&) { ++moves; };
  src.OnRender = [](TBlit*) {};
  src.Trail()[7] = {true, 1, 2, 3, 4, 5};

  TBlit parent;
  TBlit dst(&parent);
  dst.Image = &pic;
  dst.Trail()[0] = {true, 9, 9, 9, 9, 9};
  dst.Assign(&src);

  TMemoryStream a, b;
  TWriter wa(a), wb(b);
  src.WriteProperties(wa);
  dst.WriteProperties(wb);
  // Bustrofedon is the one streamed value not copied.
  dst.Bustrofedon = true;
  TMemoryStream b2;
  TWriter wb2(b2);
  dst.WriteProperties(wb2);
  EXPECT_EQ(a.Bytes(), b2.Bytes());
  EXPECT_NE(a.Bytes(), b.Bytes());
  EXPECT_EQ(dst.Paths, src.Paths);
  EXPECT_EQ(dst.DXDraw, &d);
  EXPECT_EQ(dst.Image, nullptr);
  EXPECT_EQ(dst.Trail(), TBlitTrail{});
  EXPECT_EQ(dst.Parent(), &parent);
  EXPECT_FALSE(dst.OnRender);
  ASSERT_TRUE(dst.OnMove);
  bool moveIt = true;
  dst.OnMove(&dst, 1, moveIt);
  EXPECT_EQ(moves, 1);

  // Fewer records shrink the list.
  TBlit empty;
  dst.Assign(&empty);
  EXPECT_EQ(dst.PathCount(), 0);

  TPersistent other;
  EXPECT_THROW(dst.Assign(&other), EConvertError);
}

// ---- Streams ----------------------------------------------------------------------

using Bytes = std::vector<uint8_t>;

Bytes Written(const TBlit& b) {
  TMemoryStream m;
  TWriter w(m);
  b.WriteProperties(w);
  w.WriteListEnd();
  return m.Bytes();
}

void ReadInto(TBlit& b, const Bytes& bytes) {
  TByteStream s(bytes.data(), bytes.size());
  TReader r(s);
  r.ReadProperties(b);
}

Bytes Name(const std::string& s) {
  Bytes out{static_cast<uint8_t>(s.size())};
  out.insert(out.end(), s.begin(), s.end());
  return out;
}
Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
const Bytes kZeroExtended = {5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

TEST(BlitStream, DefaultsWriteOnlyWhatHasNoDefaultAndActiveAlways) {
  TBlit b;
  Bytes want = Cat({Name("Active"),
                    {9},
                    Name("X"),
                    kZeroExtended,
                    Name("Y"),
                    kZeroExtended,
                    Name("Z"),
                    {2, 0},
                    Name("Width"),
                    {2, 0},
                    Name("Height"),
                    {2, 0},
                    {0}});
  EXPECT_EQ(Written(b), want);
  // Inactive survives a round trip.
  b.Active = false;
  Bytes off = Written(b);
  off[7] = vaTrue;
  EXPECT_EQ(off, want);
  TBlit back;
  ReadInto(back, Written(b));
  EXPECT_FALSE(back.Active);
}

TEST(BlitStream, ValuesAndPathsRoundTripByteForByte) {
  TBlit b;
  b.Active = false;
  b.Collisioned = b.Moved = b.Visible = false;
  b.X = -12.375;
  b.Y = 1e300;
  b.Z = -5;
  b.Width = 300;
  b.Height = 70000;
  b.MovingRepeatly = false;
  b.Bustrofedon = true;
  b.AnimCount = 9;
  b.AnimLooped = true;
  b.AnimPos = 0.1;
  b.AnimSpeed = -0.3;
  b.AnimStart = 4;
  b.Angle = 200.5f;
  b.SetAlpha(0);
  b.CenterX = 0;
  b.CenterY = 1;
  b.Scale = 0.5;
  b.BlendMode = rtAdd;
  b.Amplitude = -3;
  b.AmpLength = 40;
  b.Phase = 128;
  b.WaveType = wtWaveY;
  b.SpeedX = -1.5f;
  b.SpeedY = 2.25f;
  b.GravityX = 0.125f;
  b.GravityY = -9.75f;
  b.Energy = 0.01f;
  b.BlurImage = b.Mirror = b.Flip = true;
  b.TextureFilter = D2D_GAUSSIANCUBIC;
  b.SetPathCount(2);
  for (size_t i = 0; i < BlitPathSize; ++i) {
    b.Paths[0][i] = static_cast<uint8_t>(i);
    b.Paths[1][i] = static_cast<uint8_t>(255 - i);
  }

  Bytes first = Written(b);
  TBlit back;
  ReadInto(back, first);
  Bytes second = Written(back);
  EXPECT_EQ(first, second);
  EXPECT_EQ(back.Paths, b.Paths);
  EXPECT_EQ(back.Alpha(), 0);
  EXPECT_EQ(back.TextureFilter, D2D_GAUSSIANCUBIC);
  EXPECT_EQ(back.Active, false);

  // Two records: a 4-byte count and 98 bytes, as the block's length says.
  Bytes paths = Name("Paths");
  auto at = std::search(first.begin(), first.end(), paths.begin(), paths.end());
  ASSERT_NE(at, first.end());
  size_t v = static_cast<size_t>(at - first.begin()) + paths.size();
  EXPECT_EQ(first[v], vaBinary);
  EXPECT_EQ((Bytes{first.begin() + v + 1, first.begin() + v + 9}),
            (Bytes{102, 0, 0, 0, 2, 0, 0, 0}));
  EXPECT_EQ(first.size(), v + 5 + 102 + 1);

  // No records, no "Paths".
  back.SetPathCount(0);
  Bytes none = Written(back);
  EXPECT_EQ(std::search(none.begin(), none.end(), paths.begin(), paths.end()), none.end());
}

TEST(BlitStream, MalformedValuesRaiseTheirErrors) {
  Bytes rec(BlitPathSize, 7);
  auto paths = [&](std::initializer_list<Bytes> block) {
    Bytes b = Cat(block);
    Bytes len = {static_cast<uint8_t>(b.size()), static_cast<uint8_t>(b.size() >> 8), 0, 0};
    return Cat({Name("Paths"), {vaBinary}, len, b, {0}});
  };
  struct Case {
    const char* what;
    Bytes bytes;
    std::string message;
    int32_t pathsAfter;  // the record count the blit keeps
  } cases[] = {
      {"count beyond the records", paths({{3, 0, 0, 0}, rec}), "Stream read error", 1},
      {"huge count", paths({{0xFF, 0xFF, 0xFF, 0x7F}, rec}), "Stream read error", 1},
      {"negative count", paths({{0xFE, 0xFF, 0xFF, 0xFF}, rec}), "Stream read error", 0},
      {"count cut off", paths({{1, 0}}), "Stream read error", 1},
      {"empty block", paths({}), "Stream read error", 1},
      {"block longer than the input", Cat({Name("Paths"), {vaBinary, 200, 0, 0, 0, 1, 0}}),
       "Stream read error", 1},
      {"extended cut off", Cat({Name("X"), {5, 0, 0, 0}}), "Stream read error", 1},
      {"text for a float", Cat({Name("AnimPos"), {6, 1, 'x', 0}}), "Invalid property value", 1},
      {"integer for a boolean", Cat({Name("Visible"), {2, 1, 0}}), "Invalid property value", 1},
      {"unknown blend mode", Cat({Name("BlendMode"), {7}, Name("rtMul"), {0}}),
       "Invalid property value", 1},
      {"wave type as integer", Cat({Name("WaveType"), {2, 1, 0}}), "Invalid property value", 1},
      {"handler as text", Cat({Name("OnMove"), {6, 1, 'x', 0}}), "Invalid property value", 1},
      {"unknown property", Cat({Name("Speed"), {2, 1, 0}}), "Property Speed does not exist", 1},
  };
  for (const auto& c : cases) {
    TBlit b;
    b.SetPathCount(1);
    try {
      ReadInto(b, c.bytes);
      ADD_FAILURE() << c.what << ": no error";
    } catch (const EReadError& e) {
      EXPECT_EQ(e.Message(), c.message) << c.what;
    }
    EXPECT_EQ(b.PathCount(), c.pathsAfter) << c.what;
  }

  // A stream naming handlers, and numbers of the other float kind, read.
  TBlit b;
  ReadInto(b, Cat({Name("OnMove"),
                   {7},
                   Name("TraceMove"),
                   Name("X"),
                   {15, 0, 0, 0x40, 0x40},
                   Name("Angle"),
                   {2, 64},
                   Name("Alpha"),
                   {3, 0x2C, 0x01},
                   {0}}));
  EXPECT_FALSE(b.OnMove);
  EXPECT_EQ(b.X, 3.0);
  EXPECT_EQ(b.Angle, 64.0f);
  EXPECT_EQ(b.Alpha(), 0x2C);  // the byte of 300
}

}  // namespace
