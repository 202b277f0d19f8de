// The sprite tree: every game object is a node under one TSpriteEngine.
//
// A sprite made with a parent belongs to that parent (`new TSprite(parent)`
// hands it over) and is freed with it. During the move, collision and draw
// passes nothing may free a sprite: it calls MarkDead, stays in the tree
// (still moved, still found by other sprites' collision queries) and the
// engine's FreeDead frees it between the move pass and the draw pass.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "framework/classes.h"
#include "framework/sysutils.h"
#include "framework/types.h"

class TReader;
class TWriter;
class TPictureCollectionItem;
class TCustomDXImageList;
class TDirectDrawSurface;
class TCustomDXSpriteEngine;
class TSpriteEngine;
class TSpriteCollectionItem;

TAL_DECLARE_EXCEPTION(ESpriteError, Exception)

using TDrawEvent = std::function<void(TObject* Sender)>;
// The handler may write MoveCount; the pass ignores what it writes.
using TMoveEvent = std::function<void(TObject* Sender, int32_t& MoveCount)>;
using TCollisionEvent = std::function<void(TObject* Sender, bool& Done)>;
using TGetImage = std::function<void(TObject* Sender, TPictureCollectionItem*& Image)>;

// Truncating remainder of a by b, moved into [0, b) when negative. A zero b
// has no wrap extent: a comes back unchanged.
int32_t WrapInt(int32_t a, int32_t b);
// The rectangle at (Round(x), Round(y)) with w x h; far positions saturate.
TRect SpriteRect(double x, double y, int32_t w, int32_t h);

class TSprite : public TPersistent {
 public:
  TAL_CLASS_NAME(TSprite)
  explicit TSprite(TSprite* AParent);
  ~TSprite() override;
  TSprite(const TSprite&) = delete;
  TSprite& operator=(const TSprite&) = delete;

  void Assign(TPersistent* Source) override;
  bool ReadProperty(const std::string& Name, TReader& Reader) override;
  void WriteProperties(TWriter& Writer) const override;

  // The passes.
  void Move(int32_t MoveCount);
  void Draw();
  // Number of sprites of the tree that this one hits; 0 for a sprite without
  // an engine, a dead one or one that does not take part in collisions.
  int32_t Collision();
  void MarkDead();
  // Frees every child, the last made first.
  void Clear();

  TSpriteEngine* Engine() const { return engine_; }
  TSprite* Parent() const { return parent_; }
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  // Children in creation order.
  TSprite* Items(int32_t Index) const;
  // Children by ascending Z, the order of drawing.
  const std::vector<TSprite*>& DrawList() const { return drawList_; }
  bool IsDead() const { return isDead_; }
  int32_t Z() const { return z_; }
  void SetZ(int32_t Value);
  int32_t GroupNumber() const { return groupNumber_; }
  virtual void SetGroupNumber(int32_t Value);
  bool Selected() const { return selected_; }
  virtual void SetSelected(bool Value);
  double WorldX() const;
  double WorldY() const;
  TPictureCollectionItem* Image() const { return image_; }

  virtual void DoCollision(TSprite* Sprite, bool& Done);
  virtual void DoDraw();
  virtual void DoMove(int32_t MoveCount);
  // (Round(WorldX), Round(WorldY)) with Width x Height, right and bottom
  // exclusive.
  virtual TRect GetBoundsRect();
  virtual bool TestCollision(TSprite* Sprite);
  virtual void DoAnimate(int32_t MoveCount);

  double X = 0;
  double Y = 0;
  int32_t Width = 0;
  int32_t Height = 0;
  bool Collisioned = true;
  bool Moved = true;
  bool Visible = true;
  int32_t Tag = 0;
  std::string Caption;
  TCustomDXImageList* DXImageList = nullptr;
  std::string DXImageName;
  TDrawEvent OnDraw;
  TMoveEvent OnMove;
  TCollisionEvent OnCollision;
  TGetImage OnGetImage;

 protected:
  // Streams this class's properties, each name preceded by Prefix (the
  // design-time collection stores them as "Sprite.X").
  virtual void WriteSpriteProperties(TWriter& Writer, const std::string& Prefix) const;
  friend class TSpriteCollectionItem;

  // The picture; set through TImageSprite::SetImage.
  TPictureCollectionItem* image_ = nullptr;

 private:
  void AddChild(TSprite* Sprite);
  void RemoveChild(TSprite* Sprite);
  void InsertByZ(TSprite* Sprite);
  void CollisionWalk(TSprite* T);

  TSpriteEngine* engine_ = nullptr;
  TSprite* parent_ = nullptr;
  std::vector<TSprite*> items_;
  std::vector<TSprite*> drawList_;
  bool isDead_ = false;
  int32_t z_ = 0;
  bool selected_ = false;
  int32_t groupNumber_ = -1;
  // The design-time item holding this sprite, told when the sprite goes.
  TSpriteCollectionItem* collectionItem_ = nullptr;
};

// The root of the tree. Made without a parent; its own X and Y shift every
// sprite under it (the game shakes the screen that way).
class TSpriteEngine : public TSprite {
 public:
  TAL_CLASS_NAME(TSpriteEngine)
  TSpriteEngine();
  ~TSpriteEngine() override;

  // Counts the DoDraw calls of this pass in DrawCount.
  void Draw();
  // Frees the dead, the most recently marked first.
  void FreeDead();
  void DeselectAll();
  void DeselectGroup(int32_t GroupNumber);

  virtual void SetSurface(TDirectDrawSurface* Value);
  virtual void SetGroupCount(int32_t Value);
  // The group's sprites, or nullptr outside 0..GroupCount-1.
  virtual const std::vector<TSprite*>* GetGroup(int32_t Index) const;

  TCustomDXSpriteEngine* OwnerComponent = nullptr;

  int32_t SpriteCount() const { return spriteCount_; }
  int32_t HitCount() const { return hitCount_; }
  int32_t DrawCount() const { return drawCount_; }
  TDirectDrawSurface* Surface() const { return surface_; }
  // The draw pass's visibility window: the last surface's client rectangle.
  const TRect& SurfaceRect() const { return surfaceRect_; }
  bool AnySelected() const { return anySelected_; }
  int32_t GroupCount() const { return static_cast<int32_t>(groups_.size()); }
  const std::vector<TSprite*>& DeadList() const { return deadList_; }
  const std::vector<TSprite*>& SelectionList() const { return selectionList_; }

 protected:
  TRect surfaceRect_;

 private:
  friend class TSprite;
  int32_t spriteCount_ = 0;
  int32_t hitCount_ = 0;
  bool hitDone_ = false;
  TRect hitRect_;
  TSprite* hitSprite_ = nullptr;
  std::vector<TSprite*> deadList_;
  int32_t drawCount_ = 0;
  TDirectDrawSurface* surface_ = nullptr;
  bool anySelected_ = false;
  std::vector<std::vector<TSprite*>> groups_;
  std::vector<TSprite*> selectionList_;
};
