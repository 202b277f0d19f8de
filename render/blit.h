// Blits: self-contained animated pictures that move by speed, gravity and
// energy, test their rectangles against the other blits of their display,
// leave a fading trail and draw through a picture's draw family. They keep
// opaque path records that are streamed with them.
//
// A blit lives below the display control and the picture items, so it knows
// them only through the two interfaces here: the display control implements
// TBlitDisplay (and owns the traces whose blits it lists), the picture item
// implements TBlitPicture. The blit decides which draw of the family each
// picture and trail entry takes (DrawBlitImage); the display makes the call.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "framework/classes.h"
#include "framework/sysutils.h"
#include "framework/types.h"
#include "render/blit_types.h"

TAL_DECLARE_EXCEPTION(EDXBlitError, Exception)

class TBlit;

// A picture a blit can draw: its size; its draws are the display's to call.
class TBlitPicture {
 public:
  virtual int32_t Width() const = 0;
  virtual int32_t Height() const = 0;

 protected:
  ~TBlitPicture() = default;
};

// The picture draws a blit asks for, named after the picture item's draw
// family.
enum TBlitDrawKind : uint8_t {
  bdStretchDraw,
  bdDrawAlpha,
  bdDrawAdd,
  bdDrawSub,
  bdDrawRotate,
  bdDrawRotateAlpha,
  bdDrawRotateAdd,
  bdDrawRotateSub,
  bdDrawWaveX,
  bdDrawWaveXAlpha,
  bdDrawWaveXAdd,
  bdDrawWaveXSub,
  bdDrawWaveY,
  bdDrawWaveYAlpha,
  bdDrawWaveYAdd,
  bdDrawWaveYSub,
};

// One draw with its arguments: the plain draws use Rect; the rotating and
// wave draws X, Y, Width and Height.
struct TBlitDraw {
  TBlitDrawKind Kind = bdStretchDraw;
  TRect Rect;
  int32_t X = 0, Y = 0, Width = 0, Height = 0;
  int32_t Pattern = 0;
  double CenterX = 0.5, CenterY = 0.5;
  float Angle = 0;
  int32_t Amplitude = 0, Length = 0, Phase = 0;
  int32_t Alpha = 255;
  friend bool operator==(const TBlitDraw&, const TBlitDraw&) = default;
};

// What a blit needs of the display control that owns its trace.
class TBlitDisplay {
 public:
  // True while the display has a back surface to draw on.
  virtual bool BlitSurfaceReady() const = 0;
  virtual void SetMirrorFlip(TRenderMirrorFlips Value) = 0;
  virtual void SetTextureFilter(int Value) = 0;
  // One draw of Picture onto the back surface.
  virtual void DrawBlitPicture(TBlitPicture* Picture, const TBlitDraw& Draw) = 0;
  // The blits of the display's traces, in collection order.
  virtual int BlitCount() const = 0;
  virtual TBlit* Blits(int Index) const = 0;

 protected:
  ~TBlitDisplay() = default;
};

// One position a blit passed through, drawn fading behind it.
struct TBlitTrailEntry {
  bool Used = false;
  int32_t X = 0, Y = 0;
  int32_t PatternIndex = 0;
  float Angle = 0;
  uint8_t Alpha = 0;
  friend bool operator==(const TBlitTrailEntry&, const TBlitTrailEntry&) = default;
};
constexpr int BlitTrailLength = 8;
using TBlitTrail = std::array<TBlitTrailEntry, BlitTrailLength>;

// A path record: 49 bytes kept, streamed and copied exactly as they are.
constexpr size_t BlitPathSize = 49;
using TPathRec = std::array<uint8_t, BlitPathSize>;
using TPathArr = std::vector<TPathRec>;

using TBlitMoveEvent = std::function<void(TObject* Sender, int32_t LagCount, bool& MoveIt)>;
using TOnRender = std::function<void(TBlit* Sender)>;

// Everything the blit's draw settles with the display and the picture.
struct TBlitImageArgs {
  TBlitDisplay* Display = nullptr;
  TBlitPicture* Picture = nullptr;
  TRect R;
  int32_t Pattern = 0;
  TBlitTrail* Trail = nullptr;
  bool BlurImage = false;
  int TextureFilter = D2D_POINT;
  TRenderMirrorFlips MirrorFlip = 0;
  TRenderType BlendMode = rtDraw;
  float Angle = 0;
  int32_t Alpha = 255;
  double CenterX = 0.5, CenterY = 0.5;
  float Scale = 1;
  TWaveType WaveType = wtWaveNone;
  int32_t Amplitude = 0, AmpLength = 0, Phase = 0;
};

// Draws a picture and its trail as a blit does; fades the trail by one step.
void DrawBlitImage(const TBlitImageArgs& A);

class TBlit : public TPersistent {
 public:
  TAL_CLASS_NAME(TBlit)
  // A blit made by another blit has it as parent: its position is relative.
  explicit TBlit(TPersistent* Owner = nullptr);
  ~TBlit() override;
  TBlit(const TBlit&) = delete;
  TBlit& operator=(const TBlit&) = delete;

  void Assign(TPersistent* Source) override;
  // Properties under their own names ("X", "Paths"); a trace adds "Blit.".
  bool ReadProperty(const std::string& Name, TReader& Reader) override;
  void WriteProperties(TWriter& Writer) const override;
  void WriteProperties(TWriter& Writer, const std::string& Prefix) const;

  virtual void DoDraw();
  virtual TBlit* DoCollision();
  virtual void DoGetImage();
  virtual void DoMove(int32_t LagCount);

  double AbsoluteX() const;
  double AbsoluteY() const;
  int32_t CurrentPattern() const { return Trunc(AnimPos) + AnimStart; }
  int32_t PathCount() const { return static_cast<int32_t>(Paths.size()); }
  void SetPathCount(int32_t N);
  TBlit* Parent() const { return parent_; }
  const TBlitTrail& Trail() const { return trail_; }
  TBlitTrail& Trail() { return trail_; }
  int32_t Alpha() const { return alpha_; }
  // The byte widens into the field.
  void SetAlpha(int32_t Value) { alpha_ = Value & 0xFF; }

  TPathArr Paths;
  bool Collisioned = true;
  bool Moved = true;
  bool Visible = true;
  double X = 0, Y = 0;
  int32_t Z = 0;
  int32_t Width = 0, Height = 0;
  int32_t AnimCount = 0;
  bool AnimLooped = false;
  double AnimPos = 0;
  double AnimSpeed = 0;
  int32_t AnimStart = 0;
  float Angle = 0;  // in 1/256 turns
  double CenterX = 0.5, CenterY = 0.5;
  double Scale = 1.0;
  TRenderType BlendMode = rtDraw;
  int32_t Amplitude = 0;
  int32_t AmpLength = 0;
  int32_t Phase = 0;
  TWaveType WaveType = wtWaveNone;
  float SpeedX = 0, SpeedY = 0;
  float GravityX = 0, GravityY = 0;
  float Energy = 0;
  bool BlurImage = false;
  bool Mirror = false;
  bool Flip = false;
  TD2DTextureFilter TextureFilter = D2D_POINT;
  bool Active = true;
  // Set by the application or OnGetImage; not owned.
  TBlitPicture* Image = nullptr;
  // Set by the trace; a blit without a display draws and hits nothing.
  TBlitDisplay* DXDraw = nullptr;
  bool MovingRepeatly = true;
  bool Bustrofedon = false;

  // Stored and copied for the application, which calls them itself.
  TBlitMoveEvent OnMove;
  TNotifyEvent OnDraw;
  TNotifyEvent OnCollision;
  TNotifyEvent OnGetImage;
  TOnRender OnRender;

 private:
  void ReadPaths(TStream& Stream);
  void WritePaths(TStream& Stream) const;
  TRect HitRect() const;

  TBlit* parent_ = nullptr;
  int32_t alpha_ = 255;
  TBlitTrail trail_{};
};

// Event properties name handlers of the form, which have no names here: the
// reader takes the name and leaves the handler as the application set it.
bool IsBlitEventProperty(const std::string& Name);
