// JPEG pictures through libjpeg: decoded to 24-bit rows (blue, green, red,
// top row first) and encoded from them.
#pragma once

#include <cstdint>
#include <vector>

#include "framework/graphics.h"

class TJPEGImage : public TGraphic {
 public:
  TAL_CLASS_NAME(TJPEGImage)
  TJPEGImage() = default;

  bool GetEmpty() const override { return width_ == 0 || height_ == 0; }
  int32_t GetWidth() const override { return width_; }
  int32_t GetHeight() const override { return height_; }
  // A JPEG picture's size comes from its data.
  void SetWidth(int32_t) override {}
  void SetHeight(int32_t) override {}
  void Draw(TCanvas* ACanvas, const TRect& Rect) override;

  // Decodes the JPEG data that starts at the stream's position and leaves
  // the position just behind the data's end. Bad data raises EInvalidGraphic
  // and leaves the picture as it was.
  void LoadFromStream(TStream& Stream) override;
  void SaveToStream(TStream& Stream) override;
  void Assign(TPersistent* Source) override;

  // Encoder quality (1..100) for SaveToStream.
  int CompressionQuality = 90;

  // Sets the picture from 24-bit rows (blue, green, red); used to encode.
  void SetPixels(int32_t AWidth, int32_t AHeight, std::vector<uint8_t> Rows);
  const uint8_t* ScanLine(int32_t Y) const {
    return rows_.data() + static_cast<size_t>(Y) * Pitch();
  }
  int32_t Pitch() const { return ((width_ * 3) + 3) & ~3; }

 private:
  int32_t width_ = 0, height_ = 0;
  std::vector<uint8_t> rows_;
};

// Registers TJPEGImage and the "jpg" and "jpeg" extensions; repeating it
// does nothing.
void RegisterJPEGGraphicClass();
