#include "framework/imglist.h"

#include <algorithm>

#include "framework/sysutils.h"

namespace {
uint32_t ToPixel(TColor C) {
  C = ColorToRGB(C);
  return static_cast<uint32_t>(((C & 0xFF) << 16) | (C & 0xFF00) | ((C >> 16) & 0xFF));
}
}  // namespace

TCustomImageList::TCustomImageList(int AWidth, int AHeight, TComponent* AOwner)
    : TComponent(AOwner), width_(std::max(AWidth, 0)), height_(std::max(AHeight, 0)) {}

TCustomImageList::TImage TCustomImageList::Make(TBitmap* Image, TColor MaskColor,
                                                TBitmap* Mask) const {
  TImage img;
  size_t n = static_cast<size_t>(width_) * static_cast<size_t>(height_);
  img.Pixels.assign(n, 0);
  img.Shows.assign(n, 0);
  if (!Image || Image->Empty()) return img;
  bool keyed = !Mask;
  uint32_t key = 0;
  if (keyed) {
    TColor mc = MaskColor == clDefault ? Image->TransparentColor() : MaskColor;
    key = mc == clNone || mc == clDefault ? 0xFFFFFFFFu : ToPixel(mc);
  }
  for (int y = 0; y < std::min(height_, Image->Height()); ++y)
    for (int x = 0; x < std::min(width_, Image->Width()); ++x) {
      size_t i = static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x);
      uint32_t p = Image->ScanLine(y)[x] & 0xFFFFFF;
      img.Pixels[i] = p;
      if (keyed) {
        img.Shows[i] = p != key;
      } else {
        // A mask bitmap: white leaves the pixel out.
        bool out = y < Mask->Height() && x < Mask->Width() &&
                   (Mask->ScanLine(y)[x] & 0xFFFFFF) == 0xFFFFFF;
        img.Shows[i] = !out;
      }
    }
  return img;
}

int TCustomImageList::Add(TBitmap* Image, TBitmap* Mask) {
  images_.push_back(Make(Image, clNone, Mask ? Mask : nullptr));
  if (!Mask) std::fill(images_.back().Shows.begin(), images_.back().Shows.end(), 1);
  return Count() - 1;
}

int TCustomImageList::AddMasked(TBitmap* Image, TColor MaskColor) {
  images_.push_back(Make(Image, MaskColor, nullptr));
  return Count() - 1;
}

void TCustomImageList::ReplaceMasked(int Index, TBitmap* Image, TColor MaskColor) {
  if (Index < 0 || Index >= Count()) Raise<EInvalidOperation>("Invalid ImageList Index");
  images_[static_cast<size_t>(Index)] = Make(Image, MaskColor, nullptr);
}

void TCustomImageList::Delete(int Index) {
  if (Index < 0 || Index >= Count()) Raise<EInvalidOperation>("Invalid ImageList Index");
  images_.erase(images_.begin() + Index);
}

uint32_t TCustomImageList::ImagePixel(int Index, int X, int Y, bool* Shows) const {
  if (Index < 0 || Index >= Count() || X < 0 || Y < 0 || X >= width_ || Y >= height_) {
    if (Shows) *Shows = false;
    return 0;
  }
  const TImage& img = images_[static_cast<size_t>(Index)];
  size_t i = static_cast<size_t>(Y) * static_cast<size_t>(width_) + static_cast<size_t>(X);
  if (Shows) *Shows = img.Shows[i] != 0;
  return img.Pixels[i];
}

void TCustomImageList::DrawEx(TCanvas* Canvas, int X, int Y, int Index, bool Transparent,
                              TColor Blend) {
  if (!Canvas || Index < 0 || Index >= Count()) return;
  HDC dc = Canvas->Handle();
  if (!dc) return;
  Canvas->Changing();
  const TImage& img = images_[static_cast<size_t>(Index)];
  for (int y = 0; y < height_; ++y)
    for (int x = 0; x < width_; ++x) {
      size_t i = static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x);
      uint32_t p = img.Pixels[i];
      TColor c = static_cast<TColor>(((p & 0xFF) << 16) | (p & 0xFF00) | ((p >> 16) & 0xFF));
      if (!Transparent) {
        dc->SetPixel(X + x, Y + y, img.Shows[i] ? c : Blend);
        continue;
      }
      if (!img.Shows[i]) continue;
      if (Blend != clNone) {
        TColor under = dc->GetPixel(X + x, Y + y);
        if (under != clNone) {
          under = ColorToRGB(under);
          c = RGB(static_cast<uint8_t>((GetRValue(c) + GetRValue(under)) / 2),
                  static_cast<uint8_t>((GetGValue(c) + GetGValue(under)) / 2),
                  static_cast<uint8_t>((GetBValue(c) + GetBValue(under)) / 2));
        }
      }
      dc->SetPixel(X + x, Y + y, c);
    }
  Canvas->Changed();
}
