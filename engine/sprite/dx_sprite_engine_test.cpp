#include "engine/sprite/dx_sprite_engine.h"

#include <gtest/gtest.h>

#include "engine/sprite/background_sprite.h"
#include "engine/sprite/image_sprite.h"
#include "engine/sprite/sprite_display_fixture.h"
#include "framework/filer.h"

namespace {

using SpriteEngineComponent = TSpriteDisplayFixture;

TEST_F(SpriteEngineComponent, FollowsTheDisplay) {
  TSpriteEngine& e = Engine();
  EXPECT_EQ(e.OwnerComponent, Sprites);
  EXPECT_EQ(e.Surface(), Draw->Surface.get());
  EXPECT_EQ(e.SurfaceRect(), Rect(0, 0, 800, 600));
  EXPECT_EQ(e.Width, 800);
  auto* s = new TSprite(&e);
  s->Width = s->Height = 4;
  int drawn = 0;
  s->OnDraw = [&](TObject*) { ++drawn; };
  Sprites->Draw();
  EXPECT_EQ(drawn, 1);

  // Finalised: no surface, no drawing, but moving and freeing go on.
  Draw->Finalize();
  EXPECT_EQ(e.Surface(), nullptr);
  EXPECT_EQ(e.SurfaceRect(), Rect(0, 0, 800, 600));
  Sprites->Draw();
  EXPECT_EQ(drawn, 1);
  int moved = 0;
  s->OnMove = [&](TObject*, int32_t&) { ++moved; };
  Sprites->Move(5);
  EXPECT_EQ(moved, 1);
  s->MarkDead();
  Sprites->FreeDead();
  EXPECT_EQ(e.Count(), 0);

  Draw->Initialize();
  EXPECT_EQ(e.Surface(), Draw->Surface.get());
  // The display going away unbinds the component.
  delete Draw;
  Draw = nullptr;
  EXPECT_EQ(Sprites->DXDraw(), nullptr);
  Sprites->Draw();
}

TEST_F(SpriteEngineComponent, ItemsOwnTheirSpritesAndChangeTheirKind) {
  TSpriteCollection& items = Sprites->Items();
  TSpriteCollectionItem* item = items.Add();
  item->SetDisplayName("ship");
  ASSERT_NE(item->Sprite(), nullptr);
  EXPECT_EQ(item->Sprite()->Parent(), &Engine());
  item->Sprite()->X = 42;
  item->Sprite()->SetZ(3);
  int moved = 0;
  item->SetOnMove([&](TObject*, int32_t&) { ++moved; });
  item->SetKindSprite(stImageSprite);
  auto* image = dynamic_cast<TImageSprite*>(item->Sprite());
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->X, 42);
  EXPECT_EQ(image->Z(), 3);
  EXPECT_EQ(Engine().SpriteCount(), 1);
  Sprites->Move(1);
  EXPECT_EQ(moved, 1);

  TSpriteCollectionItem* other = items.Add();
  other->SetDisplayName("rock");
  try {
    other->SetDisplayName("SHIP");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Item duplicate name \"SHIP\" error");
  }
  other->SetDisplayName("Rock");  // only the letter case differs: allowed
  EXPECT_EQ(other->Name(), "Rock");

  items.Delete(0);
  EXPECT_EQ(Engine().SpriteCount(), 1);

  // An item whose sprite died and was freed makes a new one of its kind.
  other->SetKindSprite(stImageSpriteEx);
  other->Sprite()->MarkDead();
  Sprites->FreeDead();
  EXPECT_EQ(Engine().SpriteCount(), 0);
  EXPECT_NE(dynamic_cast<TImageSpriteEx*>(other->Sprite()), nullptr);
  EXPECT_EQ(Engine().SpriteCount(), 1);
}

TEST_F(SpriteEngineComponent, ItemsStreamWithTheirSprites) {
  TSpriteCollectionItem* item = Sprites->Items().Add();
  item->SetDisplayName("ground");
  item->SetKindSprite(stBackgroundSprite);
  auto* b = static_cast<TBackgroundSprite*>(item->Sprite());
  b->SetMapSize(2, 3);
  b->Tile = true;
  b->Y = 2.5;

  TMemoryStream out;
  TWriter w(out);
  w.WriteCollection("Items", Sprites->Items());
  w.WriteListEnd();

  TDXSpriteEngine copy(nullptr);
  out.SetPosition(0);
  TReader r(out);
  ASSERT_EQ(r.ReadStr(), "Items");
  r.ReadCollection(copy.Items());
  ASSERT_EQ(copy.Items().Count(), 1);
  TSpriteCollectionItem* back = copy.Items().Items(0);
  EXPECT_EQ(back->Name(), "ground");
  EXPECT_EQ(back->KindSprite(), stBackgroundSprite);
  auto* bb = dynamic_cast<TBackgroundSprite*>(back->Sprite());
  ASSERT_NE(bb, nullptr);
  EXPECT_EQ(bb->MapWidth(), 2);
  EXPECT_EQ(bb->MapHeight(), 3);
  EXPECT_TRUE(bb->Tile);
  EXPECT_EQ(bb->Y, 2.5);
  EXPECT_EQ(bb->Engine(), copy.Engine());
}

}  // namespace
