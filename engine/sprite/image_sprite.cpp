#include "engine/sprite/image_sprite.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/draw/dxdraws.h"
#include "engine/draw/pictures.h"
#include "engine/sprite/dx_sprite_engine.h"
#include "framework/filer.h"
#include "platform/gdi/pixel_access.h"

namespace {

const char* const kRenderTypeNames[] = {"rtDraw", "rtBlend", "rtAdd", "rtSub"};
const char* const kMirrorFlipNames[] = {"rmfMirror", "rmfFlip"};

int32_t Mid(int32_t a, int32_t b) {
  // div 2 of the sum, truncating, without overflowing.
  return static_cast<int32_t>((static_cast<int64_t>(a) + b) / 2);
}

// One pattern into D, or rotated about D's centre at its own size.
void DrawPatternAs(TPictureCollectionItem* Image, TDirectDrawSurface* Dest, const TRect& D,
                   int32_t Pattern, TRenderType Mode, int32_t Alpha, bool Rotated, float Angle,
                   double CenterX, double CenterY) {
  const int32_t a = Alpha & 0xFF;
  if (!Rotated) {
    switch (Mode) {
      case rtDraw:
        Image->StretchDraw(Dest, D, Pattern);
        break;
      case rtBlend:
        Image->DrawAlpha(Dest, D, Pattern, a);
        break;
      case rtAdd:
        Image->DrawAdd(Dest, D, Pattern, a);
        break;
      case rtSub:
        Image->DrawSub(Dest, D, Pattern, a);
        break;
    }
    return;
  }
  const int32_t x = Mid(D.Left, D.Right), y = Mid(D.Top, D.Bottom);
  const int32_t pw = Image->Width(), ph = Image->Height();
  switch (Mode) {
    case rtDraw:
      Image->DrawRotate(Dest, x, y, pw, ph, Pattern, CenterX, CenterY, Angle);
      break;
    case rtBlend:
      Image->DrawRotateAlpha(Dest, x, y, pw, ph, Pattern, CenterX, CenterY, Angle, a);
      break;
    case rtAdd:
      Image->DrawRotateAdd(Dest, x, y, pw, ph, Pattern, CenterX, CenterY, Angle, a);
      break;
    case rtSub:
      Image->DrawRotateSub(Dest, x, y, pw, ph, Pattern, CenterX, CenterY, Angle, a);
      break;
  }
}

// Reads a pixel of 8, 16, 24 or 32 bits; 24-bit values read first byte high.
uint32_t ReadPixel(const uint8_t* row, int32_t x, int bits) {
  if (bits == 24) return SwapPixel24(ReadRowPixel(row, x, 24));
  return ReadRowPixel(row, x, bits == 8 || bits == 16 ? bits : 32);
}

}  // namespace

TImageSprite::TImageSprite(TSprite* AParent) : TSprite(AParent) {}

int32_t TImageSprite::Frame() const {
  // A far-off start names no pattern either way; it must not overflow.
  return static_cast<int32_t>(
      std::clamp<int64_t>(int64_t{AnimStart} + Trunc(AnimPos), INT32_MIN, INT32_MAX));
}

void TImageSprite::SetImage(TPictureCollectionItem* Item) {
  image_ = Item;
  DXImageName.clear();
  if (Item) {
    Width = Item->Width();
    Height = Item->Height();
    DXImageName = Item->Name();
  } else {
    Width = 0;
    Height = 0;
  }
}

void TImageSprite::DoGetImage() {
  if (image_) return;
  if (OnGetImage) {
    TPictureCollectionItem* item = nullptr;
    OnGetImage(this, item);
    if (item != image_) SetImage(item);
  } else if (!DXImageName.empty() && DXImageList) {
    SetImage(DXImageList->Items().Find(DXImageName));
  }
}

void TImageSprite::DoMove(int32_t MoveCount) {
  if (OnMove) {
    int32_t m = MoveCount;
    OnMove(this, m);
  } else {
    DoAnimate(MoveCount);
  }
}

void TImageSprite::DoAnimate(int32_t MoveCount) {
  AnimPos += MoveCount * AnimSpeed;
  if (AnimLooped) {
    AnimPos = AnimCount < 1 ? 0 : WrapFloat(AnimCount, AnimPos);
  } else {
    if (std::nearbyint(AnimPos) >= AnimCount) {
      AnimPos = AnimCount - 1;
      AnimSpeed = 0;
    }
    if (AnimPos < 0) {
      AnimPos = 0;
      AnimSpeed = 0;
    }
  }
  if (!BlurImage) return;
  const int32_t x = Round(WorldX()), y = Round(WorldY());
  // The second call of a pass adds an entry only when the sprite moved.
  if (x == BlurTrail[7].X && y == BlurTrail[7].Y) return;
  const int64_t step = Round(Alpha / 8.0);
  for (int i = 1; i < 8; ++i) {
    BlurTrail[i - 1] = BlurTrail[i];
    BlurTrail[i - 1].Alpha = static_cast<uint8_t>(step * (i - 1));
  }
  BlurTrail[7] = TBlurTrailEntry{true, x, y, Frame(), Angle, static_cast<uint8_t>(step * 7)};
}

TRect TImageSprite::GetBoundsRect() {
  TRect r = SpriteRect(WorldX(), WorldY(), Width, Height);
  if (!Tile || !Engine()) return r;
  const TRect& s = Engine()->SurfaceRect();
  const int64_t extX = int64_t{s.Right} + Width, extY = int64_t{s.Bottom} + Height;
  // No extent to wrap in: the sprite occupies nothing, so it is neither
  // drawn nor hit.
  if (extX <= 0 || extY <= 0 || extX > INT32_MAX || extY > INT32_MAX)
    return TRect{r.Left, r.Top, r.Left, r.Top};
  int32_t x = WrapInt(r.Left, static_cast<int32_t>(extX));
  if (x > s.Right) x = static_cast<int32_t>(x - extX);
  int32_t y = WrapInt(r.Top, static_cast<int32_t>(extY));
  if (y > s.Bottom) y = static_cast<int32_t>(y - extY);
  return TRect{x, y, x + Width, y + Height};
}

TRect TImageSprite::GetDrawRect() {
  TRect r = GetBoundsRect();
  if (!image_) return r;
  const int64_t dx = (int64_t{Width} - image_->Width()) / 2,
                dy = (int64_t{Height} - image_->Height()) / 2;
  return SpriteRect(static_cast<double>(r.Left + dx), static_cast<double>(r.Top + dy), r.Width(),
                    r.Height());
}

TCustomDXDraw* TImageSprite::DrawTarget() const {
  TSpriteEngine* e = Engine();
  if (!e || !e->OwnerComponent) return nullptr;
  TCustomDXDraw* d = e->OwnerComponent->DXDraw();
  return d && d->Surface ? d : nullptr;
}

TPatternLook TImageSprite::SpriteLook() const {
  return TPatternLook{BlendMode, Alpha, Angle, CenterX, CenterY, MirrorFlip, TextureFilter};
}

void TImageSprite::DrawLook(TCustomDXDraw* DXDraw, const TRect& D, int32_t Pattern,
                            const TPatternLook& Look) {
  TDirectDrawSurface* dest = DXDraw->Surface.get();
  DXDraw->SetTextureFilter(Look.TextureFilter);
  if (BlurImage) {
    const int32_t pw = image_->Width(), ph = image_->Height();
    // The trail is drawn with each entry's alpha, oldest first; plain
    // sprites leave it blended.
    const TRenderType mode = Look.RenderType == rtDraw ? rtBlend : Look.RenderType;
    for (TBlurTrailEntry& e : BlurTrail) {
      if (!e.Active) continue;
      DXDraw->SetMirrorFlip(Look.MirrorFlip);
      const TRect E = SpriteRect(e.X, e.Y, pw, ph);
      const int32_t pattern = Look.RenderType == rtDraw ? e.Frame : Pattern;
      // The sprite's angle decides whether the trail turns; each entry keeps
      // the angle it was recorded with.
      DrawPatternAs(image_, dest, E, pattern, mode, e.Alpha, Look.Angle != 0, e.Angle, Look.CenterX,
                    Look.CenterY);
      if (e.Alpha > 0)
        --e.Alpha;
      else
        e = TBlurTrailEntry{};
    }
  }
  DXDraw->SetMirrorFlip(Look.MirrorFlip);
  DrawPatternAs(image_, dest, D, Pattern, Look.RenderType, Look.Alpha, Look.Angle != 0, Look.Angle,
                Look.CenterX, Look.CenterY);
}

void TImageSprite::DoDraw() {
  DoGetImage();
  if (!image_) return;
  if (OnDraw) {
    OnDraw(this);
    return;
  }
  TCustomDXDraw* d = DrawTarget();
  if (!d) return;
  // Tiling changes only the bounds: the picture is drawn where the sprite is.
  DrawLook(d, SpriteRect(WorldX(), WorldY(), Width, Height), Frame(), SpriteLook());
}

bool TImageSprite::TestCollision(TSprite* Other) {
  auto* o = dynamic_cast<TImageSprite*>(Other);
  if (!o) return true;
  // Without pixels to compare, the bounds decide.
  if (!PixelCheck || !image_ || !o->image_)
    return RectsOverlap(SpriteRect(WorldX(), WorldY(), Width, Height),
                        SpriteRect(o->WorldX(), o->WorldY(), o->Width, o->Height));
  const TRect a = GetDrawRect(), b = o->GetDrawRect();
  return PixelCollision(image_, Frame(), a.Left, a.Top, o->image_, o->Frame(), b.Left, b.Top);
}

bool TImageSprite::PixelCollision(TPictureCollectionItem* A, int32_t PatternA, int32_t x1,
                                  int32_t y1, TPictureCollectionItem* B, int32_t PatternB,
                                  int32_t x2, int32_t y2) {
  return PatternsCollide(A->GetPatternSurface(PatternA), A->GetPatternRect(PatternA), x1, y1,
                         B->GetPatternSurface(PatternB), B->GetPatternRect(PatternB), x2, y2);
}

bool TImageSprite::PatternsCollide(TDirectDrawSurface* sa, const TRect& ra, int32_t x1, int32_t y1,
                                   TDirectDrawSurface* sb, const TRect& rb, int32_t x2,
                                   int32_t y2) {
  const int32_t wa = ra.Width(), ha = ra.Height(), wb = rb.Width(), hb = rb.Height();
  if (!RectsOverlap(SpriteRect(x1, y1, wa, ha), SpriteRect(x2, y2, wb, hb))) return false;
  if (!sa || !sb) return true;

  // The overlap in each pattern's own coordinates, then on its surface.
  auto part = [](int32_t dx, int32_t dy, int32_t w, int32_t h) {
    TRect p{static_cast<int32_t>(std::max<int64_t>(dx, 0)),
            static_cast<int32_t>(std::max<int64_t>(dy, 0)), 0, 0};
    p.Right = static_cast<int32_t>(std::min<int64_t>(int64_t{p.Left} + w, w));
    p.Bottom = static_cast<int32_t>(std::min<int64_t>(int64_t{p.Top} + h, h));
    return p;
  };
  // The patterns overlap, so the offsets are smaller than their sizes.
  TRect pa = part(x2 - x1, y2 - y1, wa, ha);
  TRect pb = part(x1 - x2, y1 - y2, wb, hb);
  const int32_t w = std::min(pa.Width(), pb.Width()), h = std::min(pa.Height(), pb.Height());
  if (w <= 0 || h <= 0) return false;
  pa = Bounds(pa.Left + ra.Left, pa.Top + ra.Top, w, h);
  pb = Bounds(pb.Left + rb.Left, pb.Top + rb.Top, w, h);
  // Patterns always lie on their surfaces; a stray rectangle reads nothing.
  auto inside = [](const TRect& r, TDirectDrawSurface* s) {
    return r.Left >= 0 && r.Top >= 0 && r.Right <= s->Width() && r.Bottom <= s->Height();
  };
  if (!inside(pa, sa) || !inside(pb, sb)) return false;

  DDSURFACEDESC da, db;
  if (!sa->Lock(nullptr, da)) return false;
  if (sb == sa) {
    db = da;
  } else if (!sb->Lock(nullptr, db)) {
    sa->Unlock();
    return false;
  }
  bool hit = false;
  const int bits = static_cast<int>(da.ddpfPixelFormat.dwRGBBitCount);
  if (bits != static_cast<int>(db.ddpfPixelFormat.dwRGBBitCount)) {
    hit = true;
  } else if (bits == 8 || bits == 16 || bits == 24 || bits == 32) {
    const uint32_t ka = da.ddckCKSrcBlt.dwColorSpaceLowValue,
                   kb = db.ddckCKSrcBlt.dwColorSpaceLowValue;
    const auto* basea = static_cast<const uint8_t*>(da.lpSurface);
    const auto* baseb = static_cast<const uint8_t*>(db.lpSurface);
    for (int32_t j = 0; j < h && !hit; ++j) {
      const uint8_t* rowa = basea + static_cast<ptrdiff_t>(pa.Top + j) * da.lPitch;
      const uint8_t* rowb = baseb + static_cast<ptrdiff_t>(pb.Top + j) * db.lPitch;
      for (int32_t i = 0; i < w; ++i) {
        if (ReadPixel(rowa, pa.Left + i, bits) != ka && ReadPixel(rowb, pb.Left + i, bits) != kb) {
          hit = true;
          break;
        }
      }
    }
  }
  if (sb != sa) sb->Unlock();
  sa->Unlock();
  return hit;
}

// ---- Copying and streaming ---------------------------------------------------

void TImageSprite::Assign(TPersistent* Source) {
  if (auto* s = dynamic_cast<TImageSprite*>(Source)) {
    CenterX = s->CenterX;
    CenterY = s->CenterY;
    AnimCount = s->AnimCount;
    AnimLooped = s->AnimLooped;
    AnimPos = s->AnimPos;
    AnimSpeed = s->AnimSpeed;
    AnimStart = s->AnimStart;
    image_ = s->image_;
    PixelCheck = s->PixelCheck;
    Tile = s->Tile;
    Angle = s->Angle;
    Alpha = s->Alpha;
    BlendMode = s->BlendMode;
    BlurImage = s->BlurImage;
  }
  TSprite::Assign(Source);
}

bool TImageSprite::ReadProperty(const std::string& Name, TReader& Reader) {
  if (Name == "BlendMode") {
    const std::string v = Reader.ReadString();
    for (int i = 0; i < 4; ++i)
      if (SameText(v, kRenderTypeNames[i])) {
        BlendMode = static_cast<TRenderType>(i);
        return true;
      }
    Raise<EReadError>("Invalid property value");
  }
  if (Name == "MirrorFlip") {
    const std::string v = Reader.ReadString();
    MirrorFlip = 0;
    for (int i = 0; i < 2; ++i)
      if (v.find(kMirrorFlipNames[i]) != std::string::npos)
        MirrorFlip |= MirrorFlipBit(static_cast<TRenderMirrorFlip>(i));
    return true;
  }
  if (Name == "Angle")
    Angle = static_cast<float>(Reader.ReadFloat());
  else if (Name == "CenterX")
    CenterX = Reader.ReadFloat();
  else if (Name == "CenterY")
    CenterY = Reader.ReadFloat();
  else if (Name == "Alpha")
    Alpha = Reader.ReadInteger();
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
  else if (Name == "PixelCheck")
    PixelCheck = Reader.ReadBoolean();
  else if (Name == "Tile")
    Tile = Reader.ReadBoolean();
  else if (Name == "BlurImage")
    BlurImage = Reader.ReadBoolean();
  else if (Name == "TextureFilter")
    TextureFilter = static_cast<uint8_t>(Reader.ReadInteger());
  else
    return TSprite::ReadProperty(Name, Reader);
  return true;
}

void TImageSprite::WriteSpriteProperties(TWriter& Writer, const std::string& P) const {
  TSprite::WriteSpriteProperties(Writer, P);
  if (BlendMode != rtDraw) Writer.WriteString(P + "BlendMode", kRenderTypeNames[BlendMode & 3]);
  if (Angle != 0) Writer.WriteSingle(P + "Angle", Angle);
  if (CenterX != 0.5) Writer.WriteFloat(P + "CenterX", CenterX);
  if (CenterY != 0.5) Writer.WriteFloat(P + "CenterY", CenterY);
  if (Alpha != 255) Writer.WriteInteger(P + "Alpha", Alpha);
  if (AnimCount != 0) Writer.WriteInteger(P + "AnimCount", AnimCount);
  if (AnimLooped) Writer.WriteBoolean(P + "AnimLooped", AnimLooped);
  if (AnimPos != 0) Writer.WriteFloat(P + "AnimPos", AnimPos);
  if (AnimSpeed != 0) Writer.WriteFloat(P + "AnimSpeed", AnimSpeed);
  Writer.WriteInteger(P + "AnimStart", AnimStart);
  if (PixelCheck) Writer.WriteBoolean(P + "PixelCheck", PixelCheck);
  if (Tile) Writer.WriteBoolean(P + "Tile", Tile);
  if (BlurImage) Writer.WriteBoolean(P + "BlurImage", BlurImage);
  if (MirrorFlip != 0) {
    std::string v = "[";
    for (int i = 0; i < 2; ++i)
      if (MirrorFlip & MirrorFlipBit(static_cast<TRenderMirrorFlip>(i))) {
        if (v.size() > 1) v += ", ";
        v += kMirrorFlipNames[i];
      }
    Writer.WriteString(P + "MirrorFlip", v + "]");
  }
  if (TextureFilter != 0) Writer.WriteInteger(P + "TextureFilter", TextureFilter);
}
