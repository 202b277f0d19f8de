#include "engine/sprite/background_sprite.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "engine/directx/directx.h"
#include "engine/draw/dxdraws.h"
#include "engine/draw/pictures.h"
#include "framework/filer.h"

namespace {

// The non-negative remainder of a by b (b > 0), in 64 bits so that far
// positions do not overflow.
int32_t WrapCell(int64_t a, int32_t b) {
  int64_t r = a % b;
  if (r < 0) r += b;
  return static_cast<int32_t>(r);
}

TRect Cut(int64_t l, int64_t t, int64_t r, int64_t b) {
  auto c = [](int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
  };
  return TRect{c(l), c(t), c(r), c(b)};
}

}  // namespace

TBackgroundSprite::TBackgroundSprite(TSprite* AParent) : TImageSprite(AParent) {
  Collisioned = false;
}

TBackgroundSprite::~TBackgroundSprite() {
  SetMapSize(0, 0);
}

void TBackgroundSprite::SetMapSize(int32_t AMapWidth, int32_t AMapHeight) {
  if (AMapWidth == mapWidth_ && AMapHeight == mapHeight_ && !map_.empty()) return;
  map_.clear();
  map_.shrink_to_fit();
  mapWidth_ = 0;
  mapHeight_ = 0;
  if (AMapWidth <= 0 || AMapHeight <= 0) return;
  // A map too big to hold stays empty, as the game expects of a failed size.
  const int64_t n = int64_t{AMapWidth} * AMapHeight;
  if (n > static_cast<int64_t>(map_.max_size()) || n > (int64_t{1} << 28)) return;
  try {
    TMapCell fresh;
    fresh.CollisionChip = 1;
    map_.assign(static_cast<size_t>(n), fresh);
  } catch (const std::bad_alloc&) {
    map_.clear();
    return;
  }
  mapWidth_ = AMapWidth;
  mapHeight_ = AMapHeight;
}

const TMapCell* TBackgroundSprite::Cell(int64_t X, int64_t Y) const {
  if (X < 0 || Y < 0 || X >= mapWidth_ || Y >= mapHeight_) return nullptr;
  return &map_[static_cast<size_t>(X + Y * mapWidth_)];
}

int32_t TBackgroundSprite::GetChip(int32_t X, int32_t Y) const {
  const TMapCell* c = Cell(X, Y);
  return c ? c->Chip : -1;
}

bool TBackgroundSprite::GetCollisionChip(int32_t X, int32_t Y) const {
  const TMapCell* c = Cell(X, Y);
  return c && c->CollisionChip != 0;
}

TMapCell TBackgroundSprite::GetCell(int32_t X, int32_t Y) const {
  const TMapCell* c = Cell(X, Y);
  if (c) return *c;
  TMapCell zero;
  return zero;
}

void TBackgroundSprite::SetImage(TPictureCollectionItem* Item) {
  TImageSprite::SetImage(Item);
  // Saturated: a huge map of big cells must not overflow the size.
  auto extent = [](int32_t cell, int32_t cells) {
    return static_cast<int32_t>(std::clamp<int64_t>(int64_t{cell} * cells, INT32_MIN, INT32_MAX));
  };
  Width = Item ? extent(Item->Width(), mapWidth_) : 0;
  Height = Item ? extent(Item->Height(), mapHeight_) : 0;
}

TRect TBackgroundSprite::GetBoundsRect() {
  // A tiled background covers the surface, so it always passes the
  // visibility test.
  if (Tile) return Engine() ? Engine()->SurfaceRect() : TRect{};
  DoGetImage();
  if (!image_) return TRect{};
  const int64_t x = Round(WorldX()), y = Round(WorldY());
  return Cut(x, y, x + int64_t{image_->Width()} * mapWidth_,
             y + int64_t{image_->Height()} * mapHeight_);
}

void TBackgroundSprite::DoDraw() {
  DoGetImage();
  if (!image_ || mapWidth_ <= 0 || mapHeight_ <= 0) return;
  // A picture without pattern 0 has no cell size: nothing to draw.
  const TRect p0 = image_->GetPatternRect(0);
  const int64_t cw = p0.Width(), ch = p0.Height();
  if (cw <= 0 || ch <= 0) return;
  const TRect r = Engine() ? Engine()->SurfaceRect() : TRect{};
  const int64_t nx = (r.Right + cw) / cw + 1, ny = (r.Bottom + ch) / ch + 1;
  const int64_t x = Round(WorldX()), y = Round(WorldY());
  const int64_t ox = x % cw, oy = y % ch, qx = x / cw, qy = y / ch;

  // Screen cell (i, j) shows map cell (m, n). The map is looked up afresh
  // for each cell, since an OnDraw handler may resize it.
  auto visit = [&](int64_t i, int64_t j, int64_t m, int64_t n) {
    const TMapCell* cell = Cell(m, n);
    if (!cell) return;
    ChipIndex = cell->Chip;
    ChipRect = Cut(i * cw + ox, j * ch + oy, (i + 1) * cw + ox, (j + 1) * ch + oy);
    if (cell->Chip < 0) return;
    if (OnDraw) {
      OnDraw(this);
      return;
    }
    TCustomDXDraw* d = DrawTarget();
    if (!d) return;
    TPatternLook look{static_cast<TRenderType>(cell->RenderType),
                      cell->Alpha,
                      cell->Angle,
                      cell->CenterX,
                      cell->CenterY,
                      cell->MirrorFlip,
                      cell->TextureFilter};
    DrawLook(d, ChipRect, cell->Chip, look);
  };

  if (Tile) {
    for (int64_t j = -1; j <= ny && !map_.empty(); ++j)
      for (int64_t i = -1; i <= nx && !map_.empty(); ++i)
        visit(i, j, WrapCell(i - qx, mapWidth_), WrapCell(j - qy, mapHeight_));
  } else {
    // Only the screen cells that hold a map cell.
    const int64_t i0 = std::max<int64_t>(0, qx), i1 = std::min<int64_t>(nx, qx + mapWidth_);
    const int64_t j0 = std::max<int64_t>(0, qy), j1 = std::min<int64_t>(ny, qy + mapHeight_);
    for (int64_t j = j0; j < j1; ++j)
      for (int64_t i = i0; i < i1; ++i) visit(i, j, i - qx, j - qy);
  }
}

bool TBackgroundSprite::TestCollision(TSprite* Other) {
  if (!image_ || map_.empty()) return true;
  const TRect p0 = image_->GetPatternRect(0);
  const int64_t cw = p0.Width(), ch = p0.Height();
  // Cells of no size cover nothing.
  if (cw <= 0 || ch <= 0) return false;
  const int64_t x = Round(WorldX()), y = Round(WorldY());
  const TRect o = Other->GetBoundsRect(), b = GetBoundsRect();
  const int64_t oL = o.Left - x, oT = o.Top - y, oR = o.Right - x, oB = o.Bottom - y;
  const int64_t iL = std::max(o.Left, b.Left) - x, iT = std::max(o.Top, b.Top) - y;
  const int64_t iR = std::min(o.Right, b.Right) - x, iB = std::min(o.Bottom, b.Bottom) - y;
  // The map wraps here whether or not it is tiled.
  for (int64_t j = (iT - ch + 1) / ch; j <= iB / ch; ++j)
    for (int64_t i = (iL - cw + 1) / cw; i <= iR / cw; ++i) {
      if (!Cell(WrapCell(i, mapWidth_), WrapCell(j, mapHeight_))->CollisionChip) continue;
      if (i * cw < oR && oL < (i + 1) * cw && j * ch < oB && oT < (j + 1) * ch) return true;
    }
  return false;
}

void TBackgroundSprite::Assign(TPersistent* Source) {
  if (auto* s = dynamic_cast<TBackgroundSprite*>(Source)) {
    // The cells come along with the size, so a copied background shows the
    // same map.
    SetMapSize(s->mapWidth_, s->mapHeight_);
    if (map_.size() == s->map_.size()) map_ = s->map_;
    Tile = s->Tile;
  }
  TImageSprite::Assign(Source);
}

void TBackgroundSprite::ReadMap(TStream& Stream) {
  const int32_t w = Stream.ReadValue<int32_t>();
  const int32_t h = Stream.ReadValue<int32_t>();
  if (w > 0 && h > 0 && int64_t{w} * h > Stream.Remaining() / int64_t{sizeof(TMapCell)})
    Raise<EReadError>("Stream read error");
  SetMapSize(w, h);
  if (!map_.empty()) {
    // SetMapSize keeps a same-sized map, so every cell is read over.
    Stream.ReadBuffer(map_.data(), static_cast<int64_t>(map_.size() * sizeof(TMapCell)));
  }
}

void TBackgroundSprite::WriteMap(TStream& Stream) const {
  Stream.WriteValue<int32_t>(mapWidth_);
  Stream.WriteValue<int32_t>(mapHeight_);
  Stream.WriteBuffer(map_.data(), static_cast<int64_t>(map_.size() * sizeof(TMapCell)));
}

bool TBackgroundSprite::ReadProperty(const std::string& Name, TReader& Reader) {
  if (Name != "Map") return TImageSprite::ReadProperty(Name, Reader);
  const std::vector<uint8_t> bytes = Reader.ReadBinary();
  TByteStream s(bytes.data(), bytes.size());
  ReadMap(s);
  return true;
}

void TBackgroundSprite::WriteSpriteProperties(TWriter& Writer, const std::string& Prefix) const {
  TImageSprite::WriteSpriteProperties(Writer, Prefix);
  if (!map_.empty()) Writer.WriteBinary(Prefix + "Map", [this](TStream& s) { WriteMap(s); });
}
