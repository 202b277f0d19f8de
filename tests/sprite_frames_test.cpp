// A few hundred sprites of the game's own pictures, loaded from the
// generated archives, run for a thousand frames on the virtual clock: every
// run must present exactly the same frames.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/sprite/background_sprite.h"
#include "engine/sprite/image_sprite.h"
#include "engine/sprite/sprite_test_display.h"

namespace {

const char* const kArchives[] = {"data.dan",   "info.dan",    "video.dan",     "explosions.dan",
                                 "fx.dan",     "bonuses.dan", "interface.dan", "bg.dan",
                                 "models.dan", "weapons.dan"};

// The data folder beside the programs.
std::string DataDir() { return std::string(TAL_BIN_DIR) + "/data"; }

// The game's generator: one seed, one sequence.
struct TRandom {
  uint32_t seed;
  uint32_t Next(uint32_t n) {
    seed = seed * 134775813u + 1u;
    return static_cast<uint32_t>((uint64_t{seed} * n) >> 32);
  }
};

// Flies straight, bounces off the screen edges, and now and then dies and
// leaves a successor behind, as shots and explosions do.
class TFlyer : public TImageSprite {
 public:
  TFlyer(TSprite* Parent, TRandom& Random, std::vector<TPictureCollectionItem*>& Pictures)
      : TImageSprite(Parent), random_(Random), pictures_(Pictures) {
    TPictureCollectionItem* pic = pictures_[random_.Next(static_cast<uint32_t>(pictures_.size()))];
    SetImage(pic);
    X = random_.Next(800);
    Y = random_.Next(600);
    vx_ = (static_cast<double>(random_.Next(400)) - 200) / 1000;
    vy_ = (static_cast<double>(random_.Next(400)) - 200) / 1000;
    SetZ(static_cast<int32_t>(random_.Next(5)));
    AnimCount = pic->GetPatternCount();
    AnimLooped = random_.Next(2) == 0;
    AnimSpeed = random_.Next(30) / 1000.0;
    // Most of the game's sprites are plain; some blend.
    const uint32_t blend = random_.Next(12);
    BlendMode = blend < 9 ? rtDraw : static_cast<TRenderType>(blend - 8);
    Alpha = 64 + static_cast<int32_t>(random_.Next(192));
    if (random_.Next(8) == 0) Angle = static_cast<float>(random_.Next(256));
    BlurImage = random_.Next(10) == 0;
    life_ = 200 + static_cast<int32_t>(random_.Next(3000));
  }

  void DoMove(int32_t MoveCount) override {
    TImageSprite::DoMove(MoveCount);
    X += vx_ * MoveCount;
    Y += vy_ * MoveCount;
    if (X < -Width || X > 800) vx_ = -vx_;
    if (Y < -Height || Y > 600) vy_ = -vy_;
    if (Angle != 0) Angle = static_cast<float>(static_cast<int>(Angle + MoveCount) % 256);
    life_ -= MoveCount;
    if (life_ <= 0 && !IsDead()) {
      MarkDead();
      new TFlyer(Parent(), random_, pictures_);
    }
  }

 private:
  TRandom& random_;
  std::vector<TPictureCollectionItem*>& pictures_;
  double vx_, vy_;
  int32_t life_;
};

// Folds the drawn frame's pixels into Sum, eight bytes at a time.
uint64_t HashSurface(TDirectDrawSurface& Surface, uint64_t Sum) {
  DDSURFACEDESC d;
  if (!Surface.Lock(nullptr, d)) return Sum * 31;
  const auto* base = static_cast<const uint8_t*>(d.lpSurface);
  const size_t rowBytes = static_cast<size_t>(Surface.Width()) * Surface.BitCount() / 8;
  for (int y = 0; y < Surface.Height(); ++y) {
    const uint8_t* row = base + static_cast<ptrdiff_t>(y) * d.lPitch;
    for (size_t i = 0; i + 8 <= rowBytes; i += 8) {
      uint64_t v;
      std::memcpy(&v, row + i, 8);
      Sum = (Sum ^ v) * 1099511628211ull;
    }
  }
  Surface.Unlock();
  return Sum;
}

// One whole run; returns the checksum of every drawn frame.
uint64_t RunFrames(const std::string& dataDir, int Sprites, int Frames) {
  RegisterDIBGraphicClass();
  TSpriteTestDisplay display;
  std::vector<std::unique_ptr<TDXImageList>> lists;
  std::vector<TPictureCollectionItem*> pictures;
  TPictureCollectionItem* backdrop = nullptr;
  for (const char* name : kArchives) {
    auto list = std::make_unique<TDXImageList>(nullptr);
    list->SetDXDraw(display.Draw);
    list->Items().LoadFromFile(dataDir + "/graphic/" + name);
    for (int i = 0; i < list->Items().Count(); ++i) {
      TPictureCollectionItem* item = list->Items().Items(i);
      if (item->GetPatternCount() < 1) continue;
      // Full-screen pictures would hide everything else.
      if (item->Width() >= 400 && item->Height() >= 300) continue;
      pictures.push_back(item);
      if (!backdrop && std::string(name) == "bg.dan") backdrop = item;
    }
    lists.push_back(std::move(list));
  }
  EXPECT_GT(pictures.size(), 50u);
  EXPECT_NE(backdrop, nullptr);

  TSpriteEngine* engine = display.Sprites->Engine();
  if (backdrop) {
    auto* bg = new TBackgroundSprite(engine);
    bg->SetMapSize(1, 1);
    bg->SetImage(backdrop);
    bg->Tile = true;
    bg->SetZ(-10);
  }
  TRandom random{20261210};
  for (int i = 0; i < Sprites; ++i) new TFlyer(engine, random, pictures);

  uint64_t sum = 1469598103934665603ull;
  for (int f = 0; f < Frames; ++f) {
    HeadlessAdvance(16);
    // The engine itself shakes now and then, as the game's screen does.
    engine->X = (f % 97 < 5) ? (f % 3) - 1 : 0;
    display.Sprites->Move(16);
    display.Sprites->FreeDead();
    display.Draw->Surface->Fill(0);
    display.Sprites->Draw();
    sum = HashSurface(*display.Draw->Surface, sum);
  }
  EXPECT_EQ(engine->SpriteCount(), Sprites + (backdrop ? 1 : 0));
  // The frames show pictures, not an empty screen.
  int lit = 0;
  for (int y = 0; y < 600; y += 4)
    for (int x = 0; x < 800; x += 4) lit += display.Draw->Surface->Pixel(x, y) != 0;
  EXPECT_GT(lit, 10000);
  return sum;
}

TEST(SpriteFrames, GamePicturesGiveTheSameFramesOnEveryRun) {
  const std::string dir = DataDir();
  ASSERT_TRUE(FileExists(dir + "/graphic/data.dan")) << dir << " holds no picture archives";
  const uint64_t first = RunFrames(dir, 200, 1000);
  const uint64_t second = RunFrames(dir, 200, 1000);
  EXPECT_EQ(first, second);
}

}  // namespace
