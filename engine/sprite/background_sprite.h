// A sprite that draws a map of cells, each a pattern of its picture with
// its own blend, alpha, angle, pivot, mirror/flip and filter; clipped at its
// place or, with Tile, repeated over the whole surface.
#pragma once

#include <bit>
#include <cstdint>
#include <vector>

#include "engine/sprite/image_sprite.h"

static_assert(std::endian::native == std::endian::little,
              "map cells are kept as their stored bytes");

#pragma pack(push, 1)
// One map cell, 78 bytes, the same in memory and in the "Map" property.
struct TMapCell {
  int32_t Chip = 0;  // pattern index; below 0 an empty cell
  uint8_t CollisionChip = 0;
  uint8_t Reserved1[45] = {};
  uint8_t RenderType = 0;  // a TRenderType
  uint8_t Alpha = 0;
  float Angle = 0;
  double CenterX = 0;
  double CenterY = 0;
  uint8_t MirrorFlip = 0;  // TRenderMirrorFlips
  uint8_t TextureFilter = 0;
  uint8_t Reserved2[4] = {};
};
#pragma pack(pop)
static_assert(sizeof(TMapCell) == 78);

class TBackgroundSprite : public TImageSprite {
 public:
  TAL_CLASS_NAME(TBackgroundSprite)
  explicit TBackgroundSprite(TSprite* AParent);
  ~TBackgroundSprite() override;

  void Assign(TPersistent* Source) override;
  bool ReadProperty(const std::string& Name, TReader& Reader) override;

  // A new size clears every cell to pattern 0 with collision set; a size of
  // 0 or less empties the map.
  void SetMapSize(int32_t AMapWidth, int32_t AMapHeight);
  int32_t MapWidth() const { return mapWidth_; }
  int32_t MapHeight() const { return mapHeight_; }
  // -1 outside the map.
  int32_t GetChip(int32_t X, int32_t Y) const;
  // False outside the map.
  bool GetCollisionChip(int32_t X, int32_t Y) const;
  // All zero outside the map.
  TMapCell GetCell(int32_t X, int32_t Y) const;

  // The cell being drawn, for OnDraw handlers.
  TRect ChipRect;
  int32_t ChipIndex = 0;

  void SetImage(TPictureCollectionItem* Item) override;
  void DoDraw() override;
  TRect GetBoundsRect() override;
  bool TestCollision(TSprite* Other) override;

  // The "Map" value: width, height, then the cells row after row. Reading
  // raises EReadError "Stream read error" when the cells are not all there.
  void ReadMap(TStream& Stream);
  void WriteMap(TStream& Stream) const;

 protected:
  void WriteSpriteProperties(TWriter& Writer, const std::string& Prefix) const override;

 private:
  const TMapCell* Cell(int64_t X, int64_t Y) const;
  std::vector<TMapCell> map_;
  int32_t mapWidth_ = 0;
  int32_t mapHeight_ = 0;
};
