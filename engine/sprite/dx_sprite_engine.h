// The sprite engine component: owns one engine, gives it the display's back
// surface while the display is initialised, and keeps a design-time
// collection of named sprites.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "engine/directx/directx.h"
#include "engine/draw/dxdraws.h"
#include "engine/sprite/sprite.h"

class TCustomDXSpriteEngine;

enum TSpriteType : uint8_t { stSprite, stImageSprite, stImageSpriteEx, stBackgroundSprite };

// A new sprite of the kind's class under Parent.
TSprite* CreateSprite(TSpriteType Kind, TSprite* Parent);

class TSpriteCollection;

// A named sprite of the design-time collection. The item owns its sprite,
// made on the component's engine, and frees it with itself.
class TSpriteCollectionItem : public THashCollectionItem {
 public:
  TAL_CLASS_NAME(TSpriteCollectionItem)
  explicit TSpriteCollectionItem(TCollection* Collection);
  ~TSpriteCollectionItem() override;

  void Assign(TPersistent* Source) override;
  bool ReadProperty(const std::string& Name, TReader& Reader) override;
  void WriteProperties(TWriter& Writer) const override;

  TSpriteType KindSprite() const { return kind_; }
  // Remakes the sprite in the kind's class, keeping its state and handlers.
  void SetKindSprite(TSpriteType Value);
  // The item's sprite; made again in the item's kind when the old one was
  // freed (a sprite that marked itself dead).
  TSprite* Sprite();
  void SetSprite(TSprite* Value) { Sprite()->Assign(Value); }
  TCustomDXImageList* ImageList() { return Sprite()->DXImageList; }
  void SetImageList(TCustomDXImageList* Value) { Sprite()->DXImageList = Value; }
  // The sprite's handlers, reached through the item.
  const TDrawEvent& OnDraw() { return Sprite()->OnDraw; }
  void SetOnDraw(TDrawEvent Value) { Sprite()->OnDraw = std::move(Value); }
  const TMoveEvent& OnMove() { return Sprite()->OnMove; }
  void SetOnMove(TMoveEvent Value) { Sprite()->OnMove = std::move(Value); }
  const TCollisionEvent& OnCollision() { return Sprite()->OnCollision; }
  void SetOnCollision(TCollisionEvent Value) { Sprite()->OnCollision = std::move(Value); }
  const TGetImage& OnGetImage() { return Sprite()->OnGetImage; }
  void SetOnGetImage(TGetImage Value) { Sprite()->OnGetImage = std::move(Value); }
  // Raises Exception "Item duplicate name \"%s\" error" when another item
  // already has the name.
  void SetDisplayName(const std::string& Value);

 private:
  friend class TSprite;
  TSpriteCollection* SpriteCollection() const;
  TSprite* MakeSprite(TSpriteType Kind);
  TSprite* sprite_ = nullptr;
  TSpriteType kind_ = stSprite;
};

class TSpriteCollection : public THashCollection {
 public:
  TAL_CLASS_NAME(TSpriteCollection)
  TSpriteCollection(TCustomDXSpriteEngine* OwnerItem, TSpriteEngine* Engine);
  ~TSpriteCollection() override;

  TSpriteCollectionItem* Items(int Index) const {
    return static_cast<TSpriteCollectionItem*>(TCollection::Items(Index));
  }
  TSpriteCollectionItem* Add() { return static_cast<TSpriteCollectionItem*>(TCollection::Add()); }
  // Runs OnInitialize; False when it raised.
  bool Initialize(TSpriteEngine* Engine);

  TSpriteEngine* Engine() const { return engine_; }
  TCustomDXSpriteEngine* OwnerItem() const { return owner_item_; }
  std::function<void(TSpriteEngine* Engine)> OnInitialize;
  std::function<void(TSpriteEngine* Engine)> OnFinalize;

 protected:
  TCollectionItem* MakeItem() override { return new TSpriteCollectionItem(this); }

 private:
  TCustomDXSpriteEngine* owner_item_;
  TSpriteEngine* engine_;
};

class TCustomDXSpriteEngine : public TComponent {
 public:
  TAL_CLASS_NAME(TCustomDXSpriteEngine)
  explicit TCustomDXSpriteEngine(TComponent* AOwner);
  ~TCustomDXSpriteEngine() override;
  void Notification(TComponent* AComponent, bool Removing) override;

  void Move(int32_t MoveCount);
  void FreeDead();
  // Draws only while the display is set and initialised.
  void Draw();

  TCustomDXDraw* DXDraw() const { return dxdraw_; }
  void SetDXDraw(TCustomDXDraw* Value);
  TSpriteEngine* Engine() const { return engine_.get(); }
  TSpriteCollection& Items() { return *items_; }
  void SetItems(TSpriteCollection* Value) { items_->Assign(Value); }

 private:
  void DXDrawNotify(TCustomDXDraw* Sender, TDXDrawNotifyType NotifyType);
  TCustomDXDraw* dxdraw_ = nullptr;
  std::unique_ptr<TSpriteEngine> engine_;
  std::unique_ptr<TSpriteCollection> items_;
};

class TDXSpriteEngine : public TCustomDXSpriteEngine {
 public:
  TAL_CLASS_NAME(TDXSpriteEngine)
  using TCustomDXSpriteEngine::TCustomDXSpriteEngine;
};
