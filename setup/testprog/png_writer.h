// Pictures of the setup's tests saved as PNG, for a person to look at.
#pragma once

#include <png.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace setup_test {

// 0x00RRGGBB rows to a PNG file; false when it cannot be written.
inline bool WritePng(const std::string& File, const uint32_t* Pixels, int W, int H) {
  FILE* f = std::fopen(File.c_str(), "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, static_cast<png_uint_32>(W), static_cast<png_uint_32>(H), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<uint8_t> row(static_cast<size_t>(W) * 3);
  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < W; ++x) {
      uint32_t p = Pixels[static_cast<size_t>(y) * static_cast<size_t>(W) + static_cast<size_t>(x)];
      row[3 * static_cast<size_t>(x)] = static_cast<uint8_t>(p >> 16);
      row[3 * static_cast<size_t>(x) + 1] = static_cast<uint8_t>(p >> 8);
      row[3 * static_cast<size_t>(x) + 2] = static_cast<uint8_t>(p);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0;
}

}  // namespace setup_test
