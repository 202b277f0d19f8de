// Feeds arbitrary bytes to a background sprite twice: as a bare "Map" value
// and as a list of stored sprite properties. Either must end in an exception
// or a map that every accessor and the collision test can walk.
#include <cstddef>
#include <cstdint>

#include "engine/sprite/background_sprite.h"
#include "framework/filer.h"

namespace {

class TFuzzEngine : public TSpriteEngine {
 public:
  TFuzzEngine() { surfaceRect_ = Rect(0, 0, 800, 600); }
};

void Walk(TBackgroundSprite& b) {
  for (int32_t y = -1; y <= b.MapHeight() && y < 64; ++y)
    for (int32_t x = -1; x <= b.MapWidth() && x < 64; ++x) {
      b.GetChip(x, y);
      b.GetCollisionChip(x, y);
      b.GetCell(x, y);
    }
  b.GetBoundsRect();
  TMemoryStream out;
  b.WriteMap(out);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFuzzEngine e;
  auto* b = new TBackgroundSprite(&e);
  try {
    TByteStream s(data, size);
    b->ReadMap(s);
  } catch (const Exception&) {
  }
  Walk(*b);
  try {
    TByteStream s(data, size);
    TReader r(s);
    r.ReadProperties(*b);
  } catch (const Exception&) {
  }
  Walk(*b);
  return 0;
}
