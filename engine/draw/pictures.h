// Picture collections and image lists: named pictures cut into equally
// sized patterns (animation frames) on DirectDraw surfaces, loaded from and
// saved to picture archives (".dan", a component resource).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/dib/pixel_layout.h"
#include "engine/directx/directx.h"
#include "framework/classes.h"
#include "framework/filer.h"
#include "framework/graphics.h"
#include "render/blit.h"

class TDirectDrawSurface;
class TCustomDXDraw;

TAL_DECLARE_EXCEPTION(EPictureCollectionError, Exception)

// Surfaces are owned by the picture that cut them.
struct TSurfaceDeleter {
  void operator()(TDirectDrawSurface* Surface) const;
};
using TOwnedSurface = std::unique_ptr<TDirectDrawSurface, TSurfaceDeleter>;

// ---- Cutting -------------------------------------------------------------------

// One pattern: its rectangle on surface number Surface.
struct TPatternCut {
  TRect Rect;
  int Surface = 0;
  friend bool operator==(const TPatternCut&, const TPatternCut&) = default;
};

// How a picture is laid onto surfaces: the picture areas that become
// surfaces, and the patterns on them.
struct TPictureCut {
  std::vector<TRect> Surfaces;
  std::vector<TPatternCut> Patterns;
};

// Cells of Width x Height followed by SkipWidth / SkipHeight gaps, over a
// picture of PictureWidth x PictureHeight. Long strips are split into tiles
// of about 2048 pixels per side unless SystemMemory keeps one surface. A
// picture smaller than one cell, an empty cell, or a negative gap gives no
// patterns.
TPictureCut CutPicture(int32_t PictureWidth, int32_t PictureHeight, int32_t Width, int32_t Height,
                       int32_t SkipWidth, int32_t SkipHeight, bool SystemMemory);
// The number of patterns CutPicture makes.
int32_t CountPatterns(int32_t PictureWidth, int32_t PictureHeight, int32_t Width, int32_t Height,
                      int32_t SkipWidth, int32_t SkipHeight);

// What one picture may be cut into. The game's largest pictures are full
// screens and strips of a few dozen frames; these bounds are far above them
// and keep a small hostile archive from taking gigabytes.
constexpr int64_t MaxCutPatterns = int64_t{1} << 16;
// Surface pixels of one picture: 64 MiB at the display's 16 bits.
constexpr int64_t MaxCutPixels = int64_t{1} << 25;
// Raises EReadError "Invalid stream format", saying why, when a picture of
// that size cut so would pass those bounds. Allocates nothing.
void CheckCut(int32_t PictureWidth, int32_t PictureHeight, int32_t Width, int32_t Height,
              int32_t SkipWidth, int32_t SkipHeight);

// The framework's standard colour names ("clRed", "clBtnFace", ...), case
// ignored. False for an unknown name.
bool IdentToColor(const std::string& Ident, TColor& Color);

// ---- Picture item ----------------------------------------------------------------

class TPictureCollection;

struct TPictureCollectionItemPattern {
  TRect Rect;
  TDirectDrawSurface* Surface = nullptr;  // one of the item's surfaces
};

// Blits draw it through the display control.
class TPictureCollectionItem : public THashCollectionItem, public TBlitPicture {
 public:
  TAL_CLASS_NAME(TPictureCollectionItem)
  explicit TPictureCollectionItem(TCollection* Collection);
  ~TPictureCollectionItem() override;

  void Assign(TPersistent* Source) override;
  bool ReadProperty(const std::string& Name, TReader& Reader) override;
  void WriteProperties(TWriter& Writer) const override;

  TPictureCollection* PictureCollection() const;

  TPicture& Picture() { return *picture_; }
  const TPicture& Picture() const { return *picture_; }
  void SetPicture(TPicture* Value) { picture_->Assign(Value); }

  // 0 means the whole picture. Counting patterns of an uncut item sets a 0
  // to the picture's size.
  int32_t PatternWidth = 0;
  int32_t PatternHeight = 0;
  int32_t SkipWidth = 0;
  int32_t SkipHeight = 0;
  bool SystemMemory = false;
  bool Transparent = true;
  TColor TransparentColor() const { return transparent_color_; }
  // Re-keys the surfaces already cut; a surface that refuses is skipped.
  void SetTransparentColor(TColor Value);

  bool Initialized() const { return initialized_; }
  int32_t Width() const override;
  int32_t Height() const override;
  int32_t GetPatternCount();
  TRect GetPatternRect(int Index) const;
  TDirectDrawSurface* GetPatternSurface(int Index) const;
  int SurfaceCount() const { return static_cast<int>(surfaces_.size()); }
  TDirectDrawSurface* Surfaces(int Index) const {
    return surfaces_.at(static_cast<size_t>(Index)).get();
  }

  void Initialize();
  void Finalize();
  // Cuts the picture into surfaces again (after initialisation or a lost
  // display). A picture past the cutting bounds, or one the display
  // refuses, raises and is left with no surfaces.
  void Restore();

  // The draw family: each does nothing unless the item is initialised and
  // PatternIndex names a pattern.
  void StretchDraw(TDirectDrawSurface* Dest, const TRect& DestRect, int PatternIndex);
  void DrawAdd(TDirectDrawSurface* Dest, const TRect& DestRect, int PatternIndex, int Alpha = 255);
  void DrawAlpha(TDirectDrawSurface* Dest, const TRect& DestRect, int PatternIndex, int Alpha);
  void DrawSub(TDirectDrawSurface* Dest, const TRect& DestRect, int PatternIndex, int Alpha = 255);
  void DrawRotate(TDirectDrawSurface* Dest, int X, int Y, int Width, int Height, int PatternIndex,
                  double CenterX, double CenterY, float Angle);
  void DrawRotateAdd(TDirectDrawSurface* Dest, int X, int Y, int Width, int Height,
                     int PatternIndex, double CenterX, double CenterY, float Angle,
                     int Alpha = 255);
  void DrawRotateAlpha(TDirectDrawSurface* Dest, int X, int Y, int Width, int Height,
                       int PatternIndex, double CenterX, double CenterY, float Angle, int Alpha);
  void DrawRotateSub(TDirectDrawSurface* Dest, int X, int Y, int Width, int Height,
                     int PatternIndex, double CenterX, double CenterY, float Angle,
                     int Alpha = 255);
  void DrawWaveX(TDirectDrawSurface* Dest, int X, int Y, int Width, int Height, int PatternIndex,
                 int Amplitude, int Length, int Phase);
  void DrawWaveXAdd(TDirectDrawSurface* Dest, int X, int Y, int Width, int Height, int PatternIndex,
                    int Amplitude, int Length, int Phase, int Alpha = 255);
  void DrawWaveXAlpha(TDirectDrawSurface* Dest, int X, int Y, int Width, int Height,
                      int PatternIndex, int Amplitude, int Length, int Phase, int Alpha);
  void DrawWaveXSub(TDirectDrawSurface* Dest, int X, int Y, int Width, int Height, int PatternIndex,
                    int Amplitude, int Length, int Phase, int Alpha = 255);
  void DrawWaveY(TDirectDrawSurface* Dest, int X, int Y, int Width, int Height, int PatternIndex,
                 int Amplitude, int Length, int Phase);
  void DrawWaveYAdd(TDirectDrawSurface* Dest, int X, int Y, int Width, int Height, int PatternIndex,
                    int Amplitude, int Length, int Phase, int Alpha = 255);
  void DrawWaveYAlpha(TDirectDrawSurface* Dest, int X, int Y, int Width, int Height,
                      int PatternIndex, int Amplitude, int Length, int Phase, int Alpha);
  void DrawWaveYSub(TDirectDrawSurface* Dest, int X, int Y, int Width, int Height, int PatternIndex,
                    int Amplitude, int Length, int Phase, int Alpha = 255);

 private:
  void ClearSurfaces();
  // The pattern of that index, or null when there is none.
  const TPictureCollectionItemPattern* Pattern(int Index) const;
  // The pattern to draw, or null when the draw has nothing to do.
  const TPictureCollectionItemPattern* DrawPattern(const TDirectDrawSurface* Dest,
                                                   int PatternIndex) const;
  bool ReadItemProperty(const std::string& Name, TReader& Reader);
  void RestoreSurfaces(TGraphic* Graphic);

  std::unique_ptr<TPicture> picture_;
  bool initialized_ = false;
  TColor transparent_color_ = 0;
  std::vector<TPictureCollectionItemPattern> patterns_;
  std::vector<TOwnedSurface> surfaces_;
};

// ---- Collection ----------------------------------------------------------------------

class TPictureCollection : public THashCollection {
 public:
  TAL_CLASS_NAME(TPictureCollection)
  explicit TPictureCollection(TPersistent* Owner = nullptr);
  ~TPictureCollection() override;

  TPictureCollectionItem* Items(int Index) const {
    return static_cast<TPictureCollectionItem*>(TCollection::Items(Index));
  }
  TPictureCollectionItem* Add() { return static_cast<TPictureCollectionItem*>(TCollection::Add()); }
  // Raises EPictureCollectionError "Image '%s' not found".
  TPictureCollectionItem* Find(const std::string& Name) const;

  TCustomDXDraw* DXDraw() const { return dxdraw_; }
  bool Initialized() const;
  // Raises EPictureCollectionError "%s cannot be initialized" for a control
  // that is missing or not initialised.
  void Initialize(TCustomDXDraw* DXDraw);
  void Finalize();
  // Cuts every picture. One that fails is reported through the application
  // (naming it and the archive) and the others are still cut.
  void Restore();

  TRGBQuads ColorTable{};
  void MakeColorTable();

  // Archives: a component resource whose carrier holds this collection. An
  // error while loading leaves the items read so far; its message names the
  // picture being read and, from a file, the file.
  void LoadFromFile(const std::string& FileName);
  void LoadFromStream(TStream& Stream);
  // The archive the items came from, for messages ("" when not a file).
  const std::string& SourceName() const { return source_name_; }
  void SaveToFile(const std::string& FileName);
  void SaveToStream(TStream& Stream);

 protected:
  TCollectionItem* MakeItem() override { return new TPictureCollectionItem(this); }

 private:
  void Load(TStream& Stream, const std::string& Source);
  TCustomDXDraw* dxdraw_ = nullptr;
  std::string source_name_;
};

// The carrier through which a collection is read and written as a component
// stream: one property, List.
class TPictureCollectionComponent : public TComponent {
 public:
  TAL_CLASS_NAME(TPictureCollectionComponent)
  explicit TPictureCollectionComponent(TComponent* AOwner = nullptr) : TComponent(AOwner) {}
  TPictureCollection* List = nullptr;  // not owned
  bool ReadProperty(const std::string& Name, TReader& Reader) override;
  void WriteProperties(TWriter& Writer) const override;
};

// ---- Image list ----------------------------------------------------------------------

class TCustomDXImageList : public TComponent {
 public:
  TAL_CLASS_NAME(TCustomDXImageList)
  explicit TCustomDXImageList(TComponent* AOwner);
  ~TCustomDXImageList() override;

  TCustomDXDraw* DXDraw() const { return dxdraw_; }
  // Follows the control's notifications from now on; a list given an
  // initialised control is initialised and cut at once.
  void SetDXDraw(TCustomDXDraw* Value);
  TPictureCollection& Items() { return *items_; }
  void SetItems(TPictureCollection* Value) { items_->Assign(Value); }
  void Notification(TComponent* AComponent, bool Removing) override;

 private:
  TCustomDXDraw* dxdraw_ = nullptr;
  std::unique_ptr<TPictureCollection> items_;
};

class TDXImageList : public TCustomDXImageList {
 public:
  TAL_CLASS_NAME(TDXImageList)
  using TCustomDXImageList::TCustomDXImageList;
};
