// Picture sprites: a picture's patterns as animation frames, four blend
// modes, rotation, alpha, a fading trail and pixel-exact collision.
#pragma once

#include <array>
#include <cstdint>

#include "engine/sprite/sprite.h"
#include "render/blit_types.h"

class TCustomDXDraw;

struct TBlurTrailEntry {
  bool Active = false;
  int32_t X = 0;
  int32_t Y = 0;
  int32_t Frame = 0;
  float Angle = 0;
  uint8_t Alpha = 0;
};

// How one picture pattern is drawn: the sprite's own settings, or a
// background cell's.
struct TPatternLook {
  TRenderType RenderType = rtDraw;
  int32_t Alpha = 255;
  float Angle = 0;
  double CenterX = 0.5;
  double CenterY = 0.5;
  TRenderMirrorFlips MirrorFlip{};
  uint8_t TextureFilter = 0;
};

class TImageSprite : public TSprite {
 public:
  TAL_CLASS_NAME(TImageSprite)
  explicit TImageSprite(TSprite* AParent);

  void Assign(TPersistent* Source) override;
  bool ReadProperty(const std::string& Name, TReader& Reader) override;

  // Fetches the picture when none is set: from OnGetImage, else by
  // DXImageName from DXImageList ("Image '%s' not found" for an unknown name).
  virtual void DoGetImage();
  // Takes the picture and its pattern size (0 x 0 for none).
  virtual void SetImage(TPictureCollectionItem* Item);
  TPictureCollectionItem* GetImage() const { return image_; }

  // The pattern shown: AnimStart + Trunc(AnimPos).
  int32_t Frame() const;
  // The current pattern's place: the bounds with the pattern centred in them.
  TRect GetDrawRect();

  void DoDraw() override;
  // Without OnMove the sprite animates here and again in DoAnimate, so
  // AnimSpeed counts frames per half MoveCount unit.
  void DoMove(int32_t MoveCount) override;
  TRect GetBoundsRect() override;
  bool TestCollision(TSprite* Other) override;
  void DoAnimate(int32_t MoveCount) override;

  // True when a non-transparent pixel of pattern A placed at (x1, y1) lies
  // on a non-transparent pixel of pattern B placed at (x2, y2).
  static bool PixelCollision(TPictureCollectionItem* A, int32_t PatternA, int32_t x1, int32_t y1,
                             TPictureCollectionItem* B, int32_t PatternB, int32_t x2, int32_t y2);
  // The same for two source rectangles on their surfaces. Pixels equal to
  // their surface's source colour key are transparent; without a surface
  // the rectangles' overlap decides.
  static bool PatternsCollide(TDirectDrawSurface* SA, const TRect& RA, int32_t x1, int32_t y1,
                              TDirectDrawSurface* SB, const TRect& RB, int32_t x2, int32_t y2);

  int32_t AnimCount = 0;
  bool AnimLooped = false;
  double AnimPos = 0;
  double AnimSpeed = 0;
  int32_t AnimStart = 0;
  bool PixelCheck = false;
  bool Tile = false;
  float Angle = 0;
  int32_t Alpha = 255;
  TRenderType BlendMode = rtDraw;
  double CenterX = 0.5;
  double CenterY = 0.5;
  std::array<TBlurTrailEntry, 8> BlurTrail{};
  bool BlurImage = false;
  TRenderMirrorFlips MirrorFlip{};
  uint8_t TextureFilter = 0;

 protected:
  void WriteSpriteProperties(TWriter& Writer, const std::string& Prefix) const override;
  // The display control the sprite draws through, or nullptr when it has
  // none or the control has no back surface.
  TCustomDXDraw* DrawTarget() const;
  // The trail (when BlurImage is set), then the pattern into D with Look.
  void DrawLook(TCustomDXDraw* DXDraw, const TRect& D, int32_t Pattern, const TPatternLook& Look);
  TPatternLook SpriteLook() const;
};

// The same sprite under its own class name.
class TImageSpriteEx : public TImageSprite {
 public:
  TAL_CLASS_NAME(TImageSpriteEx)
  using TImageSprite::TImageSprite;
};
