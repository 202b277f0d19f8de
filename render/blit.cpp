#include "render/blit.h"

#include <algorithm>
#include <cstring>

#include "framework/filer.h"

namespace {

const char* const kRenderTypeNames[] = {"rtDraw", "rtBlend", "rtAdd", "rtSub"};
const char* const kWaveTypeNames[] = {"wtWaveNone", "wtWaveX", "wtWaveY"};
const char* const kFilterNames[] = {"D2D_POINT", "D2D_LINEAR", "D2D_FLATCUBIC", "D2D_GAUSSIANCUBIC",
                                    "D2D_ANISOTROPIC"};

template <size_t N>
int ReadEnumIdent(TReader& Reader, const char* const (&Names)[N]) {
  std::string ident = Reader.ReadIdent();
  for (size_t i = 0; i < N; ++i)
    if (SameText(ident, Names[i])) return static_cast<int>(i);
  Raise<EReadError>("Invalid property value");
}

// A rectangle at a rounded position; positions far off any surface saturate
// instead of overflowing.
TRect RectAt(double x, double y, int32_t w, int32_t h) {
  auto clamp = [](int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
  };
  int64_t l = Round(x), t = Round(y);
  return TRect{clamp(l), clamp(t), clamp(l + w), clamp(t + h)};
}

TBlitDrawKind PlainKind(TRenderType Mode) {
  switch (Mode) {
    case rtBlend:
      return bdDrawAlpha;
    case rtAdd:
      return bdDrawAdd;
    case rtSub:
      return bdDrawSub;
    default:
      return bdStretchDraw;
  }
}

// The rotating draw of each blend mode sits four places after its plain one.
TBlitDrawKind RotateKind(TBlitDrawKind Plain) {
  return static_cast<TBlitDrawKind>(Plain + (bdDrawRotate - bdStretchDraw));
}

TBlitDrawKind WaveKind(TRenderType Mode, TWaveType Wave) {
  TBlitDrawKind base = Wave == wtWaveY ? bdDrawWaveY : bdDrawWaveX;
  return static_cast<TBlitDrawKind>(base + (PlainKind(Mode) - bdStretchDraw));
}

int32_t Div2(int64_t v) {
  return static_cast<int32_t>(v / 2);
}

}  // namespace

bool IsBlitEventProperty(const std::string& Name) {
  return Name == "OnGetImage" || Name == "OnMove" || Name == "OnDraw" || Name == "OnCollision" ||
         Name == "OnRender";
}

// ---- Drawing ------------------------------------------------------------------------

void DrawBlitImage(const TBlitImageArgs& A) {
  if (!A.Display || !A.Display->BlitSurfaceReady() || !A.Picture) return;
  int32_t w = A.Picture->Width(), h = A.Picture->Height();
  if (A.Scale != 1.0f) {
    w = Round(static_cast<double>(w) * A.Scale);
    h = Round(static_cast<double>(h) * A.Scale);
  }
  A.Display->SetTextureFilter(A.TextureFilter);
  A.Display->SetMirrorFlip(A.MirrorFlip);

  TBlitDraw d;
  d.Width = w;
  d.Height = h;
  d.CenterX = A.CenterX;
  d.CenterY = A.CenterY;
  if (A.WaveType == wtWaveX || A.WaveType == wtWaveY) {
    d.Kind = WaveKind(A.BlendMode, A.WaveType);
    d.X = A.R.Left;
    d.Y = A.R.Top;
    d.Pattern = A.Pattern;
    d.Amplitude = A.Amplitude;
    d.Length = A.AmpLength;
    d.Phase = A.Phase;
    d.Alpha = A.Alpha;
    A.Display->DrawBlitPicture(A.Picture, d);
    return;
  }

  // Scale sizes every draw once: the plain draws fill W x H from the
  // rectangle's corner, the rotating ones turn W x H about its centre.
  // The blit's own angle chooses between the plain and the rotating draw for
  // its trail too; each entry turns by the angle it was left with.
  bool rotating = A.Angle != 0;
  auto draw = [&](TBlitDrawKind Plain, const TRect& At, int32_t Pattern, float Angle,
                  int32_t Alpha) {
    d.Pattern = Pattern;
    d.Alpha = Alpha;
    if (!rotating) {
      d.Kind = Plain;
      d.Rect = TRect{
          At.Left, At.Top,
          static_cast<int32_t>(std::clamp<int64_t>(int64_t{At.Left} + w, INT32_MIN, INT32_MAX)),
          static_cast<int32_t>(std::clamp<int64_t>(int64_t{At.Top} + h, INT32_MIN, INT32_MAX))};
      d.Angle = 0;
    } else {
      d.Kind = RotateKind(Plain);
      d.X = Div2(int64_t{At.Left} + At.Right);
      d.Y = Div2(int64_t{At.Top} + At.Bottom);
      d.Angle = Angle;
    }
    A.Display->DrawBlitPicture(A.Picture, d);
  };

  int32_t iw = A.Picture->Width(), ih = A.Picture->Height();
  if (A.BlurImage && A.Trail) {
    // The trail stays blended under an opaque picture.
    TBlitDrawKind trailKind = A.BlendMode == rtDraw ? bdDrawAlpha : PlainKind(A.BlendMode);
    for (TBlitTrailEntry& e : *A.Trail) {
      if (!e.Used) continue;
      A.Display->SetMirrorFlip(A.MirrorFlip);
      // Entries lie where the picture was: the same rectangle as R.
      TRect at = RectAt(e.X, e.Y, iw, ih);
      draw(trailKind, at, A.BlendMode == rtDraw ? e.PatternIndex : A.Pattern, e.Angle, e.Alpha);
      if (e.Alpha > 0)
        --e.Alpha;
      else
        e = TBlitTrailEntry{};
    }
  }
  A.Display->SetMirrorFlip(A.MirrorFlip);
  draw(PlainKind(A.BlendMode), A.R, A.Pattern, A.Angle, A.Alpha);
}

// ---- Blit ---------------------------------------------------------------------------

TBlit::TBlit(TPersistent* Owner) : parent_(dynamic_cast<TBlit*>(Owner)) {}

TBlit::~TBlit() {
  Paths.clear();
}

void TBlit::SetPathCount(int32_t N) {
  if (N == PathCount()) return;
  Paths.resize(static_cast<size_t>(std::max(N, 0)));
}

double TBlit::AbsoluteX() const {
  return parent_ ? X + parent_->AbsoluteX() : X;
}

double TBlit::AbsoluteY() const {
  return parent_ ? Y + parent_->AbsoluteY() : Y;
}

void TBlit::Assign(TPersistent* Source) {
  auto* s = dynamic_cast<TBlit*>(Source);
  if (!s) {
    TPersistent::Assign(Source);
    return;
  }
  if (s == this) {
    trail_ = TBlitTrail{};
    Image = nullptr;
    return;
  }
  SetPathCount(s->PathCount());
  if (s->PathCount() > 0) Paths = s->Paths;
  Collisioned = s->Collisioned;
  Moved = s->Moved;
  Visible = s->Visible;
  X = s->X;
  Y = s->Y;
  Z = s->Z;
  Width = s->Width;
  Height = s->Height;
  AnimCount = s->AnimCount;
  AnimLooped = s->AnimLooped;
  AnimPos = s->AnimPos;
  AnimSpeed = s->AnimSpeed;
  AnimStart = s->AnimStart;
  Angle = s->Angle;
  alpha_ = s->alpha_;
  CenterX = s->CenterX;
  CenterY = s->CenterY;
  Scale = s->Scale;
  BlendMode = s->BlendMode;
  Amplitude = s->Amplitude;
  AmpLength = s->AmpLength;
  Phase = s->Phase;
  WaveType = s->WaveType;
  SpeedX = s->SpeedX;
  SpeedY = s->SpeedY;
  GravityX = s->GravityX;
  GravityY = s->GravityY;
  Energy = s->Energy;
  BlurImage = s->BlurImage;
  Mirror = s->Mirror;
  Flip = s->Flip;
  TextureFilter = s->TextureFilter;
  Active = s->Active;
  MovingRepeatly = s->MovingRepeatly;
  OnMove = s->OnMove;
  OnDraw = s->OnDraw;
  OnCollision = s->OnCollision;
  OnGetImage = s->OnGetImage;
  DXDraw = s->DXDraw;
  trail_ = TBlitTrail{};
  Image = nullptr;
}

void TBlit::DoMove(int32_t LagCount) {
  AnimPos += LagCount * AnimSpeed;
  if (AnimLooped) {
    AnimPos = AnimCount < 1 ? 0 : WrapFloat(AnimCount, AnimPos);
  } else {
    if (Round(AnimPos) >= AnimCount) {
      AnimPos = AnimCount - 1;
      AnimSpeed = 0;
    }
    if (AnimPos < 0) {
      AnimPos = 0;
      AnimSpeed = 0;
    }
  }
  if (Energy != 0) {
    SpeedX = SpeedX + SpeedX * Energy;
    SpeedY = SpeedY + SpeedY * Energy;
  }
  X += LagCount * static_cast<double>(SpeedX);
  Y += LagCount * static_cast<double>(SpeedY);
  X += LagCount * static_cast<double>(GravityX);
  Y += LagCount * static_cast<double>(GravityY);

  if (!BlurImage) return;
  int32_t ax = Round(AbsoluteX()), ay = Round(AbsoluteY());
  TBlitTrailEntry& newest = trail_[BlitTrailLength - 1];
  if (ax == newest.X && ay == newest.Y) return;
  int32_t s = Round(alpha_ / 8.0);
  for (int i = 1; i < BlitTrailLength; ++i) {
    trail_[i - 1] = trail_[i];
    trail_[i - 1].Alpha = static_cast<uint8_t>((s * (i - 1)) % 256);
  }
  newest.Used = true;
  newest.X = ax;
  newest.Y = ay;
  newest.PatternIndex = CurrentPattern();
  newest.Angle = Angle;
  newest.Alpha = static_cast<uint8_t>((s * (BlitTrailLength - 1)) % 256);
}

TRect TBlit::HitRect() const {
  return RectAt(AbsoluteX(), AbsoluteY(), Width, Height);
}

TBlit* TBlit::DoCollision() {
  if (!Collisioned) return nullptr;
  if (OnCollision) {
    OnCollision(this);
    return nullptr;
  }
  if (!DXDraw) return nullptr;
  TRect a = HitRect();
  for (int i = 0; i < DXDraw->BlitCount(); ++i) {
    TBlit* other = DXDraw->Blits(i);
    if (!other || other == this) continue;
    if (RectsOverlap(a, other->HitRect())) return other;
  }
  return nullptr;
}

void TBlit::DoGetImage() {
  if (!Image) {
    if (!OnGetImage) return;
    OnGetImage(this);
    if (!Image) Raise<EDXBlitError>("Undefined image file!");
  }
  Width = Image->Width();
  Height = Image->Height();
}

void TBlit::DoDraw() {
  if (!Visible) return;
  if (!Image) DoGetImage();
  if (!Image) return;
  if (OnDraw) {
    OnDraw(this);
    return;
  }
  TBlitImageArgs a;
  a.Display = DXDraw;
  a.Picture = Image;
  a.R = RectAt(X, Y, Image->Width(), Image->Height());
  a.Pattern = CurrentPattern();
  a.Trail = &trail_;
  a.BlurImage = BlurImage;
  a.TextureFilter = TextureFilter;
  a.MirrorFlip = static_cast<TRenderMirrorFlips>((Mirror ? MirrorFlipBit(rmfMirror) : 0) |
                                                 (Flip ? MirrorFlipBit(rmfFlip) : 0));
  a.BlendMode = BlendMode;
  a.Angle = Angle;
  a.Alpha = alpha_;
  a.CenterX = CenterX;
  a.CenterY = CenterY;
  a.Scale = static_cast<float>(Scale);
  a.WaveType = WaveType;
  a.Amplitude = Amplitude;
  a.AmpLength = AmpLength;
  a.Phase = Phase;
  DrawBlitImage(a);
}

// ---- Streams ------------------------------------------------------------------------

void TBlit::ReadPaths(TStream& Stream) {
  int32_t n = 0;
  if (Stream.Read(&n, 4) != 4) Raise<EReadError>("Stream read error");
  if (n < 0) {
    SetPathCount(n);
    Raise<EReadError>("Stream read error");
  }
  // Checked before the list grows, so a huge count costs nothing.
  if (static_cast<int64_t>(n) * static_cast<int64_t>(BlitPathSize) > Stream.Remaining())
    Raise<EReadError>("Stream read error");
  SetPathCount(n);
  if (n > 0) Stream.ReadBuffer(Paths.data(), static_cast<int64_t>(n) * BlitPathSize);
}

void TBlit::WritePaths(TStream& Stream) const {
  int32_t n = PathCount();
  Stream.WriteBuffer(&n, 4);
  if (n > 0) Stream.WriteBuffer(Paths.data(), static_cast<int64_t>(n) * BlitPathSize);
}

bool TBlit::ReadProperty(const std::string& Name, TReader& Reader) {
  if (Name == "Active")
    Active = Reader.ReadBoolean();
  else if (Name == "Collisioned")
    Collisioned = Reader.ReadBoolean();
  else if (Name == "Moved")
    Moved = Reader.ReadBoolean();
  else if (Name == "Visible")
    Visible = Reader.ReadBoolean();
  else if (Name == "X")
    X = Reader.ReadFloat();
  else if (Name == "Y")
    Y = Reader.ReadFloat();
  else if (Name == "Z")
    Z = Reader.ReadInteger();
  else if (Name == "Width")
    Width = Reader.ReadInteger();
  else if (Name == "Height")
    Height = Reader.ReadInteger();
  else if (Name == "MovingRepeatly")
    MovingRepeatly = Reader.ReadBoolean();
  else if (Name == "Bustrofedon")
    Bustrofedon = Reader.ReadBoolean();
  else if (Name == "AnimCount")
    AnimCount = Reader.ReadInteger();
  else if (Name == "AnimLooped")
    AnimLooped = Reader.ReadBoolean();
  else if (Name == "AnimPos")
    AnimPos = Reader.ReadFloat();
  else if (Name == "AnimSpeed")
    AnimSpeed = Reader.ReadFloat();
  else if (Name == "AnimStart")
    AnimStart = Reader.ReadInteger();
  else if (Name == "Angle")
    Angle = Reader.ReadSingle();
  else if (Name == "Alpha")
    SetAlpha(Reader.ReadInteger());
  else if (Name == "CenterX")
    CenterX = Reader.ReadFloat();
  else if (Name == "CenterY")
    CenterY = Reader.ReadFloat();
  else if (Name == "Scale")
    Scale = Reader.ReadFloat();
  else if (Name == "BlendMode")
    BlendMode = static_cast<TRenderType>(ReadEnumIdent(Reader, kRenderTypeNames));
  else if (Name == "Amplitude")
    Amplitude = Reader.ReadInteger();
  else if (Name == "AmpLength")
    AmpLength = Reader.ReadInteger();
  else if (Name == "Phase")
    Phase = Reader.ReadInteger();
  else if (Name == "WaveType")
    WaveType = static_cast<TWaveType>(ReadEnumIdent(Reader, kWaveTypeNames));
  else if (Name == "SpeedX")
    SpeedX = Reader.ReadSingle();
  else if (Name == "SpeedY")
    SpeedY = Reader.ReadSingle();
  else if (Name == "GravityX")
    GravityX = Reader.ReadSingle();
  else if (Name == "GravityY")
    GravityY = Reader.ReadSingle();
  else if (Name == "Energy")
    Energy = Reader.ReadSingle();
  else if (Name == "BlurImage")
    BlurImage = Reader.ReadBoolean();
  else if (Name == "Mirror")
    Mirror = Reader.ReadBoolean();
  else if (Name == "Flip")
    Flip = Reader.ReadBoolean();
  else if (Name == "TextureFilter")
    TextureFilter = static_cast<TD2DTextureFilter>(ReadEnumIdent(Reader, kFilterNames));
  else if (IsBlitEventProperty(Name))
    Reader.ReadIdent();
  else if (Name == "Paths") {
    std::vector<uint8_t> bytes = Reader.ReadBinary();
    TByteStream s(bytes.data(), bytes.size());
    ReadPaths(s);
  } else
    return TPersistent::ReadProperty(Name, Reader);
  return true;
}

void TBlit::WriteProperties(TWriter& Writer) const {
  WriteProperties(Writer, "");
}

void TBlit::WriteProperties(TWriter& W, const std::string& P) const {
  // A blit starts active, so an inactive one that wrote nothing would come
  // back active: the flag is written either way.
  W.WriteBoolean(P + "Active", Active);
  if (!Collisioned) W.WriteBoolean(P + "Collisioned", false);
  if (!Moved) W.WriteBoolean(P + "Moved", false);
  if (!Visible) W.WriteBoolean(P + "Visible", false);
  W.WriteFloat(P + "X", X);
  W.WriteFloat(P + "Y", Y);
  W.WriteInteger(P + "Z", Z);
  W.WriteInteger(P + "Width", Width);
  W.WriteInteger(P + "Height", Height);
  if (!MovingRepeatly) W.WriteBoolean(P + "MovingRepeatly", false);
  if (Bustrofedon) W.WriteBoolean(P + "Bustrofedon", true);
  if (AnimCount != 0) W.WriteInteger(P + "AnimCount", AnimCount);
  if (AnimLooped) W.WriteBoolean(P + "AnimLooped", true);
  if (AnimPos != 0) W.WriteFloat(P + "AnimPos", AnimPos);
  if (AnimSpeed != 0) W.WriteFloat(P + "AnimSpeed", AnimSpeed);
  if (AnimStart != 0) W.WriteInteger(P + "AnimStart", AnimStart);
  if (Angle != 0) W.WriteSingle(P + "Angle", Angle);
  if (alpha_ != 255) W.WriteInteger(P + "Alpha", alpha_);
  if (CenterX != 0.5) W.WriteFloat(P + "CenterX", CenterX);
  if (CenterY != 0.5) W.WriteFloat(P + "CenterY", CenterY);
  if (Scale != 1.0) W.WriteFloat(P + "Scale", Scale);
  if (BlendMode != rtDraw) W.WriteIdent(P + "BlendMode", kRenderTypeNames[BlendMode & 3]);
  if (Amplitude != 0) W.WriteInteger(P + "Amplitude", Amplitude);
  if (AmpLength != 0) W.WriteInteger(P + "AmpLength", AmpLength);
  if (Phase != 0) W.WriteInteger(P + "Phase", Phase);
  if (WaveType != wtWaveNone) W.WriteIdent(P + "WaveType", kWaveTypeNames[WaveType % 3]);
  if (SpeedX != 0) W.WriteSingle(P + "SpeedX", SpeedX);
  if (SpeedY != 0) W.WriteSingle(P + "SpeedY", SpeedY);
  if (GravityX != 0) W.WriteSingle(P + "GravityX", GravityX);
  if (GravityY != 0) W.WriteSingle(P + "GravityY", GravityY);
  if (Energy != 0) W.WriteSingle(P + "Energy", Energy);
  if (BlurImage) W.WriteBoolean(P + "BlurImage", true);
  if (Mirror) W.WriteBoolean(P + "Mirror", true);
  if (Flip) W.WriteBoolean(P + "Flip", true);
  if (TextureFilter != D2D_POINT)
    W.WriteIdent(P + "TextureFilter", kFilterNames[TextureFilter % 5]);
  if (PathCount() != 0) W.WriteBinary(P + "Paths", [&](TStream& s) { WritePaths(s); });
}
