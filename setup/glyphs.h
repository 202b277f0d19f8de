// Drawing support shared by the setup's own controls: wallpaper tiling,
// invalidation, the parent's background behind a control, shadowed text;
// glyph pictures with cached enabled and disabled images in shared image
// lists; and a store of wallpaper bitmaps that tells its controls of changes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/bitmap.h"
#include "framework/classes.h"
#include "framework/controls.h"
#include "framework/imglist.h"

enum TShadowPosition { spLeftTop, spLeftBottom, spRightBottom, spRightTop };
enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };

enum TCoolOption {
  ocPaintWallpaper,
  ocPaintSelWallpaper,
  ocPaintCaptionWallpaper,
  ocTileWallpaper,
  ocInvertWallpaperAsSelect,
  ocPaintGradiently,
  ocBevelOnlyIfSel,
  ocNoHighlightImage,
  ocNoImageAttached,
  ocUseImageList,
  oc3dMDIForm,
  ocWallpaperForMDIChildren,
  ocGradientForMDIChildren,
  ocNoCaption,
  ocSmallCaption,
  ocNoMDIChildrensCaptions,
  ocDragUsingClientArea,
  ocNoDragUsingCaption,
  ocRoundedForm,
  ocFlatBorder,
  ocPaintTransparently
};
// A set of options, one bit per value.
using TCoolOptions = uint32_t;
constexpr TCoolOptions CoolOption(TCoolOption O) {
  return TCoolOptions{1} << O;
}

// Copies Bitmap into Rect with Rop: tiled from the top-left corner, each
// copy reaching to the rectangle's right and bottom; untiled, the part of the
// bitmap at the rectangle's own coordinates.
void DrawWallpaper(HDC DC, TBitmap* Bitmap, const TRect& Rect, uint32_t Rop, bool Tile);
bool InvalidateArea(TControl* Window, const TRect& Rect, bool Erase);
// The parent's background and its non-windowed controls, drawn into DC
// (whose origin is the control's top-left corner).
void PaintParentBackground(TControl* Control, HDC DC);
// Draws Text in ShadowColor in the shadow rectangle, then in TextColor in
// the text rectangle; Rect is the caller's text rectangle and is shifted in
// place (with DT_CALCRECT it receives the measured extent).
void DrawTextShadowed(HDC DC, TRect& Rect, TShadowPosition ShadowPos, const std::string& Text,
                      uint32_t Format, TColor TextColor, TColor ShadowColor, int ShadowSize);

// An image list whose freed slots are taken again before it grows.
class TGlyphList : public TCustomImageList {
 public:
  TAL_CLASS_NAME(TGlyphList)
  TGlyphList(int AWidth, int AHeight) : TCustomImageList(AWidth, AHeight) {}
  int AddMasked(TBitmap* Image, TColor MaskColor);
  // Releases a used slot; the image stays for reuse.
  void Delete(int Index);
  int UsedCount() const { return used_count_; }

 private:
  std::vector<bool> used_;
  int used_count_ = 0;
};

// One glyph list per image size in use.
class TGlyphCache {
 public:
  // The list of that size, newest first; made when there is none.
  TGlyphList* ListForSize(int AWidth, int AHeight);
  // Frees the list when no slot of it is used.
  void ReturnList(TGlyphList* List);
  bool IsEmpty() const { return lists_.empty(); }
  int ListCount() const { return static_cast<int>(lists_.size()); }

 private:
  std::vector<std::unique_ptr<TGlyphList>> lists_;
};

// The process-wide cache: made by the first glyph, freed by the glyph whose
// end leaves it empty.
extern TGlyphCache* GlyphCache;

class TGlyph {
 public:
  TGlyph();
  ~TGlyph();
  TGlyph(const TGlyph&) = delete;
  TGlyph& operator=(const TGlyph&) = delete;

  TBitmap* Glyph() { return original_.get(); }
  // Copies the picture; its shape may set the number of slices.
  void SetGlyph(TBitmap* Value);
  int NumGlyphs() const { return num_glyphs_; }
  void SetNumGlyphs(int N);
  TColor TransparentColor() const { return transparent_color_; }
  // Drops the cached images.
  void Invalidate();
  // The index of the state's image in the glyph's list, made on first use;
  // -1 for an empty picture.
  int CreateImage(bool Enabled);
  void Draw(TCanvas* Canvas, TPoint P, bool Enabled, bool Transparent, TColor Colour);
  TGlyphList* List() const { return list_; }
  int ImageIndex(bool Enabled) const { return indexes_[Enabled ? 1 : 0]; }

  TNotifyEvent OnChange;

 private:
  void PictureChanged();
  std::unique_ptr<TBitmap> original_;
  TGlyphList* list_ = nullptr;
  int indexes_[2] = {-1, -1};  // disabled, enabled
  TColor transparent_color_;
  uint8_t num_glyphs_ = 1;
};

class TCoolImages;

// A control's link to a store; its change repaints the control.
class TCoolChangeLink {
 public:
  ~TCoolChangeLink();
  TCoolImages* Sender = nullptr;
  TNotifyEvent OnChange;
  void Change();
};

class TBitmapItem : public TCollectionItem {
 public:
  TAL_CLASS_NAME(TBitmapItem)
  explicit TBitmapItem(TCollection* Collection);
  ~TBitmapItem() override;
  TBitmap* Bitmap() { return bitmap_.get(); }
  void SetBitmap(TBitmap* Value) { bitmap_->Assign(Value); }
  void Assign(TPersistent* Source) override;

 private:
  std::unique_ptr<TBitmap> bitmap_;
};

class TBitmaps : public TCollection {
 public:
  TAL_CLASS_NAME(TBitmaps)
  explicit TBitmaps(TCoolImages* Owner);
  TCoolImages* Owner() const { return owner_; }
  TBitmapItem* Items(int i) const { return static_cast<TBitmapItem*>(TCollection::Items(i)); }
  TBitmapItem* Add() { return static_cast<TBitmapItem*>(TCollection::Add()); }

 protected:
  TCollectionItem* MakeItem() override { return new TBitmapItem(this); }

 private:
  TCoolImages* owner_;
};

class TCoolImages : public TComponent {
 public:
  TAL_CLASS_NAME(TCoolImages)
  explicit TCoolImages(TComponent* AOwner);
  ~TCoolImages() override;
  TBitmaps* Bitmaps() { return bitmaps_.get(); }
  void RegisterChanges(TCoolChangeLink* Link);
  void UnRegisterChanges(TCoolChangeLink* Link);
  void Change();
  // The item's bitmap when Index names one that is not empty, else nullptr.
  TBitmap* WallpaperAt(int Index);

 private:
  std::unique_ptr<TBitmaps> bitmaps_;
  std::vector<TCoolChangeLink*> links_;
};

// A control's wallpaper: a picture of a shared store by index, or else the
// control's own bitmap. A change of either repaints the control.
class TCoolWallpaper {
 public:
  explicit TCoolWallpaper(TControl* Control);
  // The control's own bitmap, made on first use.
  TBitmap* Bitmap();
  void SetBitmap(TBitmap* Value);
  TCoolImages* Images() const { return link_.Sender; }
  void SetImages(TCoolImages* Value);
  int Id() const { return id_; }
  void SetId(int Value);
  // Forgets a store that is going away.
  void Notification(TComponent* AComponent, bool Removing);
  // False when there is no picture to paint.
  bool Paint(HDC DC, const TRect& Rect, uint32_t Rop, bool Tile);

 private:
  TControl* control_;
  std::unique_ptr<TBitmap> bitmap_;
  int id_ = -1;
  TCoolChangeLink link_;
};
