// The setup's caption control: the framework's label with a drop shadow, a
// plain mode, a bevelled frame with an inner offset, a glyph beside the text
// and a wallpaper background.
#pragma once

#include <memory>

#include "framework/label.h"
#include "setup/glyphs.h"

class TCoolLabel : public TCustomLabel {
 public:
  TAL_CLASS_NAME(TCoolLabel)
  explicit TCoolLabel(TComponent* AOwner);
  ~TCoolLabel() override;

  TColor ShadowColor() const { return shadow_color_; }
  void SetShadowColor(TColor Value);
  int ShadowSize() const { return shadow_size_; }
  void SetShadowSize(int Value);
  TShadowPosition ShadowPos() const { return shadow_pos_; }
  void SetShadowPos(TShadowPosition Value);
  bool SimpleView() const { return simple_view_; }
  void SetSimpleView(bool Value);
  TBevelCut BevelInner() const { return bevel_inner_; }
  void SetBevelInner(TBevelCut Value);
  TBevelCut BevelOuter() const { return bevel_outer_; }
  void SetBevelOuter(TBevelCut Value);
  int BevelsOffset() const { return bevels_offset_; }
  void SetBevelsOffset(int Value);
  TBitmap* Glyph() { return glyph_->Glyph(); }
  void SetGlyph(TBitmap* Value);
  int NumGlyphs() const { return glyph_->NumGlyphs(); }
  void SetNumGlyphs(int Value);
  TGlyph* GlyphHolder() { return glyph_.get(); }
  TBitmap* Wallpaper();
  void SetWallpaper(TBitmap* Value);
  TCoolImages* CoolImages() const { return wallpaper_.Images(); }
  void SetCoolImages(TCoolImages* Value);
  int IdWallpaper() const { return wallpaper_.Id(); }
  void SetIdWallpaper(int Value);
  void SetAutoSize(bool v) override;

  bool PaintWallpaper(HDC DC, const TRect& Rect, uint32_t Rop, bool Tile);
  void DoDrawText(TRect& Rect, uint32_t Flags) override;
  void Notification(TComponent* AComponent, bool Removing) override;

 protected:
  void Paint() override;
  void AdjustBounds() override;

 private:
  std::unique_ptr<TGlyph> glyph_;
  TColor shadow_color_;
  int shadow_size_ = 1;
  TShadowPosition shadow_pos_ = spLeftTop;
  bool simple_view_ = false;
  TBevelCut bevel_inner_ = bvNone, bevel_outer_ = bvNone;
  int bevels_offset_ = 0;
  TCoolWallpaper wallpaper_{this};
};
