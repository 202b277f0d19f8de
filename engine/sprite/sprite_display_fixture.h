// GoogleTest fixture over TSpriteTestDisplay.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "engine/sprite/sprite_test_display.h"

class TSpriteDisplayFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    display_ = std::make_unique<TSpriteTestDisplay>();
    Draw = display_->Draw;
    Images = display_->Images;
    Sprites = display_->Sprites;
    ASSERT_TRUE(Draw->Initialized());
  }
  void TearDown() override { display_.reset(); }

  TPictureCollectionItem* AddStrip(const std::string& Name, int W, int H,
                                   const std::vector<TColor>& Colors,
                                   const std::vector<TRect>& Holes = {}) {
    return display_->AddStrip(Name, W, H, Colors, Holes);
  }
  uint32_t Pixel(int X, int Y) { return Draw->Surface->Pixel(X, Y); }
  uint32_t Dev(TColor Color) { return Draw->Surface->ColorToPixel(Color); }
  TSpriteEngine& Engine() { return *Sprites->Engine(); }

  TDXDraw* Draw = nullptr;
  TDXImageList* Images = nullptr;
  TDXSpriteEngine* Sprites = nullptr;

 private:
  std::unique_ptr<TSpriteTestDisplay> display_;
};
