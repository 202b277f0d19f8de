// Feeds arbitrary bytes to both texture-image loaders, directly and through
// the registry, then reads the pixels of whatever was accepted, sub-images
// included, so a layout that disagrees with its block shows up here.
#include <cstddef>
#include <cstdint>

#include "direct3d/texture_image.h"

namespace {
void Walk(const TDXTextureImage& image) {
  uint32_t sum = 0;
  // Every pixel of a small image; a grid of a large one with its last line,
  // its last column and its last pixel.
  const int32_t stepX = image.Width > 256 ? image.Width / 64 : 1;
  const int32_t stepY = image.Height > 256 ? image.Height / 64 : 1;
  for (int32_t y = 0; y < image.Height; y += stepY)
    for (int32_t x = 0; x < image.Width; x += stepX) sum += image.GetPixel(x, y);
  for (int32_t y = 0; y < image.Height; y += stepY) sum += image.GetPixel(image.Width - 1, y);
  for (int32_t x = 0; x < image.Width; x += stepX) sum += image.GetPixel(x, image.Height - 1);
  sum += image.GetPixel(image.Width - 1, image.Height - 1);
  sum += image.EncodeColor(1, 2, 3, 4);
  for (int32_t i = 0; i < image.SubImageCount(); ++i) Walk(*image.SubImages(i));
  if (sum == 0x5EED) __builtin_trap();  // keeps the reads from being optimised away
}

void Try(void (*load)(TStream&, TDXTextureImage&), const uint8_t* data, size_t size) {
  TDXTextureImage image;
  TByteStream s(data, size);
  try {
    load(s, image);
    Walk(image);
  } catch (const Exception&) {
  }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Try(LoadBMPTextureImage, data, size);
  Try(LoadDXTTextureImage, data, size);
  RegisterTextureImageLoader(LoadDXTTextureImage);
  Try([](TStream& s, TDXTextureImage& i) { i.LoadFromStream(s); }, data, size);
  UnregisterTextureImageLoader(LoadDXTTextureImage);
  return 0;
}
