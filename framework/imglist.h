// Image lists: pictures of one size, each with a mask of the pixels that
// show, drawn by index.
#pragma once

#include <cstdint>
#include <vector>

#include "framework/bitmap.h"
#include "framework/classes.h"

class TCustomImageList : public TComponent {
 public:
  TAL_CLASS_NAME(TCustomImageList)
  TCustomImageList(int AWidth, int AHeight, TComponent* AOwner = nullptr);
  int Width() const { return width_; }
  int Height() const { return height_; }
  int Count() const { return static_cast<int>(images_.size()); }

  // The part of Image from its top-left corner that fits the list's size;
  // pixels outside Image are masked out. Returns the new index.
  int Add(TBitmap* Image, TBitmap* Mask);
  // The mask leaves out the pixels of MaskColor (clDefault: the image's
  // transparent colour).
  int AddMasked(TBitmap* Image, TColor MaskColor);
  void ReplaceMasked(int Index, TBitmap* Image, TColor MaskColor);
  // Removes the image; later images move down by one.
  void Delete(int Index);
  void Clear() { images_.clear(); }

  // Transparent: only the masked-in pixels are drawn, mixed half and half
  // with the canvas unless Blend is clNone. Not transparent: the whole cell,
  // with Background where the mask leaves pixels out.
  void DrawEx(TCanvas* Canvas, int X, int Y, int Index, bool Transparent, TColor Blend);
  void Draw(TCanvas* Canvas, int X, int Y, int Index) { DrawEx(Canvas, X, Y, Index, true, clNone); }
  // 0x00RRGGBB of a pixel of an image and whether the mask lets it show.
  uint32_t ImagePixel(int Index, int X, int Y, bool* Shows = nullptr) const;

 private:
  struct TImage {
    std::vector<uint32_t> Pixels;
    std::vector<uint8_t> Shows;
  };
  TImage Make(TBitmap* Image, TColor MaskColor, TBitmap* Mask) const;
  int width_, height_;
  std::vector<TImage> images_;
};
