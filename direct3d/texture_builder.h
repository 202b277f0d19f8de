// Builds one texture image out of channel sources: red (or palette index),
// green, blue and alpha each come from a source image, and the output's
// pixel format follows from the channels in use. Pictures with an alpha
// channel become textures through it.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "direct3d/texture_image.h"

class TDIB;

TAL_DECLARE_EXCEPTION(EDXTBaseError, Exception)

class TDXTBase {
 public:
  // Channel slots: 1 red or palette index, 2 green, 3 blue, 4 alpha.
  enum : int32_t { slRed = 1, slGreen = 2, slBlue = 3, slAlpha = 4 };

  TDXTBase() = default;
  TDXTBase(const TDXTBase&) = delete;
  TDXTBase& operator=(const TDXTBase&) = delete;

  // Slots 1 to 3 from the bitmap.
  void SetColorDIB(TDIB& DIB);
  // Slot 4 from the bitmap.
  void SetAlphaDIB(TDIB& DIB);
  // A new image, owned by the caller; raises EDXTBaseError.
  std::unique_ptr<TDXTextureImage> Build();

 private:
  struct TSlot {
    TDXTextureImage* Source = nullptr;
    int32_t BitCount = 0;
    bool InUse = false;
  };
  void SetChannelDIB(TDIB& DIB, std::initializer_list<int32_t> Slots);

  TSlot slots_[5];  // 1 to 4
  std::vector<std::unique_ptr<TDXTextureImage>> sources_;
};

// Points Image at the bitmap's pixels without copying them (the image must
// not outlive them): a palette image up to 8 bits, an RGB one above, whose
// bits above the colour masks are alpha.
void SetTextureImageFromDIB(TDXTextureImage& Image, TDIB& DIB);

// The bitmap as a texture image, its fourth bytes as alpha when it has an
// alpha channel; nullptr when anything fails.
std::unique_ptr<TDXTextureImage> MakeTextureImageFromDIB(TDIB& DIB);
