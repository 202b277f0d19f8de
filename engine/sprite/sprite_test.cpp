#include "engine/sprite/sprite.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// An engine whose visibility window is set directly, without a display.
class TTestEngine : public TSpriteEngine {
 public:
  explicit TTestEngine(TRect r = Rect(0, 0, 800, 600)) { surfaceRect_ = r; }
};

// A sprite that records what the passes do to it in a shared log.
class TLogSprite : public TSprite {
 public:
  TLogSprite(TSprite* parent, std::string name, std::vector<std::string>* log)
      : TSprite(parent), name_(std::move(name)), log_(log) {
    Width = 10;
    Height = 10;
  }
  ~TLogSprite() override { log_->push_back("free " + name_); }
  void DoMove(int32_t m) override {
    log_->push_back("move " + name_);
    TSprite::DoMove(m);
  }
  void DoAnimate(int32_t) override { log_->push_back("anim " + name_); }
  void DoDraw() override { log_->push_back("draw " + name_); }
  void DoCollision(TSprite* s, bool& done) override {
    log_->push_back("hit " + static_cast<TLogSprite*>(s)->name_);
    TSprite::DoCollision(s, done);
  }
  const std::string& name() const { return name_; }

 private:
  std::string name_;
  std::vector<std::string>* log_;
};

std::vector<std::string> Only(const std::vector<std::string>& log, const std::string& prefix) {
  std::vector<std::string> out;
  for (const auto& l : log)
    if (l.rfind(prefix, 0) == 0) out.push_back(l.substr(prefix.size()));
  return out;
}

using Names = std::vector<std::string>;

TEST(SpriteTree, NewSpriteGoesBelowSiblingsOfEqualZ) {
  std::vector<std::string> log;
  TTestEngine e;
  auto* a = new TLogSprite(&e, "a", &log);
  new TLogSprite(&e, "b", &log);
  new TLogSprite(&e, "c", &log);
  new TLogSprite(&e, "d", &log);
  e.Draw();
  EXPECT_EQ(Only(log, "draw "), (Names{"d", "c", "b", "a"}));
  EXPECT_EQ(e.DrawCount(), 4);

  // Leaving and re-entering the list at Z 0 puts it below its equals again.
  a->SetZ(5);
  a->SetZ(0);
  log.clear();
  e.Draw();
  EXPECT_EQ(Only(log, "draw "), (Names{"a", "d", "c", "b"}));
  // Creation order never changes.
  EXPECT_EQ(e.Items(0), a);
}

TEST(SpriteTree, DrawsByAscendingZThenSubtrees) {
  std::vector<std::string> log;
  TTestEngine e;
  auto* hi = new TLogSprite(&e, "hi", &log);
  hi->SetZ(3);
  auto* lo = new TLogSprite(&e, "lo", &log);
  lo->SetZ(-2);
  auto* mid = new TLogSprite(&e, "mid", &log);
  mid->SetZ(1);
  new TLogSprite(lo, "lo.child", &log);
  auto* hidden = new TLogSprite(&e, "hidden", &log);
  new TLogSprite(hidden, "hidden.child", &log);
  hidden->Visible = false;
  e.Draw();
  EXPECT_EQ(Only(log, "draw "), (Names{"lo", "lo.child", "mid", "hi"}));
}

TEST(SpriteTree, SpritesAddedDuringMoveWaitForTheNextPass) {
  std::vector<std::string> log;
  TTestEngine e;
  auto* a = new TLogSprite(&e, "a", &log);
  auto* b = new TLogSprite(&e, "b", &log);
  b->SetZ(1);
  int made = 0;
  a->OnMove = [&](TObject*, int32_t&) {
    if (made++ == 0) {
      auto* n = new TLogSprite(&e, "new", &log);
      n->SetZ(1);
    }
  };
  e.Move(16);
  EXPECT_EQ(Only(log, "move "), (Names{"a", "b"}));
  log.clear();
  e.Draw();
  // Equal Z with b: the newcomer is drawn first.
  EXPECT_EQ(Only(log, "draw "), (Names{"a", "new", "b"}));
  log.clear();
  e.Move(16);
  EXPECT_EQ(Only(log, "move "), (Names{"a", "b", "new"}));
}

TEST(SpriteTree, MoveRunsDoMoveThenDoAnimateAndSkipsUnmovedSubtrees) {
  std::vector<std::string> log;
  TTestEngine e;
  auto* p = new TLogSprite(&e, "p", &log);
  new TLogSprite(p, "p.child", &log);
  auto* still = new TLogSprite(&e, "still", &log);
  new TLogSprite(still, "still.child", &log);
  still->Moved = false;
  int32_t seen = 0;
  p->OnMove = [&](TObject* sender, int32_t& m) {
    EXPECT_EQ(sender, p);
    seen = m;
    m = 999;  // discarded
  };
  e.Move(7);
  EXPECT_EQ(seen, 7);
  EXPECT_EQ(log, (Names{"move p", "anim p", "move p.child", "anim p.child"}));
}

TEST(SpriteTree, EdgeTouchingSpriteIsNotDrawn) {
  std::vector<std::string> log;
  TTestEngine e(Rect(0, 0, 100, 100));
  struct Case {
    const char* name;
    double x, y;
    bool drawn;
  } cases[] = {
      {"left", -10, 0, false},   {"right", 100, 0, false}, {"top", 0, -10, false},
      {"bottom", 0, 100, false}, {"in", 95, 95, true},     {"rounded.in", -9.5, 0, true},
  };
  for (const auto& c : cases) {
    auto* s = new TLogSprite(&e, c.name, &log);
    s->X = c.x;
    s->Y = c.y;
  }
  e.Draw();
  // Round(-9.5) is -10 (halves to even): the sprite only touches the edge.
  EXPECT_EQ(Only(log, "draw "), (Names{"in"}));
  EXPECT_EQ(e.DrawCount(), 1);
}

TEST(SpriteTree, WorldPositionAddsParentsAndEngine) {
  std::vector<std::string> log;
  TTestEngine e;
  e.X = 5;
  e.Y = -1;
  auto* p = new TLogSprite(&e, "p", &log);
  p->X = 10;
  auto* c = new TLogSprite(p, "c", &log);
  c->X = 1.5;
  c->Y = 2;
  EXPECT_DOUBLE_EQ(p->WorldX(), 15);
  EXPECT_DOUBLE_EQ(c->WorldX(), 16.5);
  EXPECT_DOUBLE_EQ(c->WorldY(), 1);
  EXPECT_EQ(c->GetBoundsRect(), Rect(16, 1, 26, 11));  // 16.5 rounds to even
  EXPECT_EQ(c->Engine(), &e);
  EXPECT_EQ(e.SpriteCount(), 2);
}

TEST(SpriteTree, ItemIndexErrors) {
  TTestEngine e;
  try {
    e.Items(0);
    FAIL();
  } catch (const ESpriteError& x) {
    EXPECT_EQ(x.Message(), "Index of the list exceeds the range. (0)");
  }
  new TSprite(&e);
  EXPECT_THROW(e.Items(1), EListError);
  EXPECT_THROW(e.Items(-1), EListError);
}

TEST(SpriteDeadList, DeadSpriteIsMovedAndCollidesUntilFreed) {
  std::vector<std::string> log;
  TTestEngine e;
  auto* a = new TLogSprite(&e, "a", &log);
  auto* b = new TLogSprite(&e, "b", &log);
  new TLogSprite(b, "b.child", &log);
  a->OnMove = [&](TObject*, int32_t&) { b->MarkDead(); };
  e.Move(1);
  EXPECT_TRUE(b->IsDead());
  EXPECT_EQ(Only(log, "move "), (Names{"a", "b", "b.child"}));
  // Others still find it; its own query finds nothing.
  EXPECT_EQ(a->Collision(), 2);
  EXPECT_EQ(b->Collision(), 0);
  EXPECT_EQ(e.DeadList(), (std::vector<TSprite*>{b}));
  e.FreeDead();
  // (The log line of a sprite comes before those of the children it frees.)
  EXPECT_EQ(Only(log, "free "), (Names{"b", "b.child"}));
  EXPECT_EQ(e.Count(), 1);
  EXPECT_EQ(e.SpriteCount(), 1);
  EXPECT_EQ(a->Collision(), 0);
}

TEST(SpriteDeadList, MarkedOnceAndFreedNewestFirst) {
  std::vector<std::string> log;
  TTestEngine e;
  auto* a = new TLogSprite(&e, "a", &log);
  auto* b = new TLogSprite(&e, "b", &log);
  auto* c = new TLogSprite(&e, "c", &log);
  a->MarkDead();
  c->MarkDead();
  a->MarkDead();
  b->MarkDead();
  EXPECT_EQ(e.DeadList(), (std::vector<TSprite*>{a, c, b}));
  e.MarkDead();  // the engine has no engine: nothing
  e.FreeDead();
  EXPECT_EQ(log, (Names{"free b", "free c", "free a"}));
  EXPECT_TRUE(e.DeadList().empty());
}

TEST(SpriteDeadList, DeadParentWithDeadChildFreesCleanly) {
  std::vector<std::string> log;
  TTestEngine e;
  auto* p = new TLogSprite(&e, "p", &log);
  auto* c = new TLogSprite(p, "c", &log);
  auto* other = new TLogSprite(&e, "other", &log);
  c->MarkDead();
  p->MarkDead();
  other->MarkDead();
  // Freeing the parent takes its dead child off the list as well.
  delete p;
  EXPECT_EQ(e.DeadList(), (std::vector<TSprite*>{other}));
  e.FreeDead();
  EXPECT_EQ(log, (Names{"free p", "free c", "free other"}));
  EXPECT_EQ(e.SpriteCount(), 0);
}

TEST(SpriteCollision, DoneStopsTheSubtreeButNotLaterSiblings) {
  std::vector<std::string> log;
  TTestEngine e;
  auto* s = new TLogSprite(&e, "s", &log);
  auto* t = new TLogSprite(&e, "t", &log);
  new TLogSprite(t, "t.child", &log);
  auto* u = new TLogSprite(&e, "u", &log);
  new TLogSprite(u, "u.child", &log);
  new TLogSprite(s, "s.child", &log);  // S's own subtree is walked
  auto* far = new TLogSprite(&e, "far", &log);
  far->X = 50;
  s->OnCollision = [&](TObject* other, bool& done) {
    if (other == t) done = true;
  };
  EXPECT_EQ(s->Collision(), 3);
  EXPECT_EQ(Only(log, "hit "), (Names{"s.child", "t", "u"}));
  EXPECT_EQ(e.HitCount(), 3);

  log.clear();
  s->OnCollision = nullptr;
  EXPECT_EQ(s->Collision(), 5);
  EXPECT_EQ(Only(log, "hit "), (Names{"s.child", "t", "t.child", "u", "u.child"}));
}

TEST(SpriteCollision, FlagsDecideWhoTakesPart) {
  std::vector<std::string> log;
  TTestEngine e;
  auto* s = new TLogSprite(&e, "s", &log);
  auto* off = new TLogSprite(&e, "off", &log);
  new TLogSprite(off, "off.child", &log);
  off->Collisioned = false;
  auto* hidden = new TLogSprite(&e, "hidden", &log);
  hidden->Visible = false;
  hidden->Moved = false;
  EXPECT_EQ(s->Collision(), 1);
  EXPECT_EQ(Only(log, "hit "), (Names{"hidden"}));
  // A sprite out of collisions asks nothing and leaves the last count alone.
  EXPECT_EQ(off->Collision(), 0);
  EXPECT_EQ(e.HitCount(), 1);
  // Losing Collisioned in the handler ends the walk below the hit sprite.
  auto* h = new TLogSprite(&e, "h", &log);
  new TLogSprite(h, "h.child", &log);
  log.clear();
  s->OnCollision = [&](TObject*, bool&) { s->Collisioned = false; };
  EXPECT_EQ(s->Collision(), 2);
  EXPECT_EQ(Only(log, "hit "), (Names{"hidden", "h"}));
}

TEST(SpriteGroups, GroupsSelectionAndShrinking) {
  TTestEngine e;
  auto* a = new TSprite(&e);
  auto* b = new TSprite(&e);
  EXPECT_EQ(e.GroupCount(), 10);
  a->SetGroupNumber(3);
  b->SetGroupNumber(3);
  b->SetGroupNumber(12);  // names no list
  EXPECT_EQ(*e.GetGroup(3), (std::vector<TSprite*>{a}));
  EXPECT_EQ(e.GetGroup(10), nullptr);
  a->SetSelected(true);
  b->SetSelected(true);
  EXPECT_TRUE(e.AnySelected());
  e.SetGroupCount(2);  // group 3 goes, and its members are deselected
  EXPECT_FALSE(a->Selected());
  EXPECT_TRUE(b->Selected());
  e.SetGroupCount(-1);
  EXPECT_EQ(e.GroupCount(), 2);
  e.DeselectAll();
  EXPECT_FALSE(e.AnySelected());
  EXPECT_FALSE(b->Selected());
  b->SetSelected(true);
  delete b;
  EXPECT_TRUE(e.SelectionList().empty());
  EXPECT_FALSE(e.AnySelected());
  // Without an engine nothing is recorded.
  TSprite loose(nullptr);
  loose.SetSelected(true);
  loose.SetGroupNumber(1);
  EXPECT_FALSE(loose.Selected());
  EXPECT_EQ(loose.GroupNumber(), -1);
}

TEST(SpriteAssign, CopiesStateAndKeepsDrawOrderSorted) {
  std::vector<std::string> log;
  TTestEngine e;
  auto* src = new TLogSprite(&e, "src", &log);
  src->SetZ(4);
  src->X = 3.5;
  src->Visible = false;
  src->Caption = "not copied";
  src->Tag = 9;
  src->SetGroupNumber(2);
  auto* low = new TLogSprite(&e, "low", &log);
  low->SetZ(1);
  auto* dst = new TLogSprite(&e, "dst", &log);
  dst->Assign(src);
  EXPECT_EQ(dst->Z(), 4);
  EXPECT_EQ(dst->X, 3.5);
  EXPECT_FALSE(dst->Visible);
  EXPECT_EQ(dst->Caption, "");
  EXPECT_EQ(dst->Tag, 0);
  EXPECT_EQ(dst->GroupNumber(), 2);
  EXPECT_EQ(e.GetGroup(2)->size(), 2u);
  // The copied Z places the sprite in its parent's draw order.
  auto* z2 = new TLogSprite(&e, "z2", &log);
  z2->SetZ(2);
  dst->Visible = true;
  src->Visible = true;
  e.Draw();
  EXPECT_EQ(Only(log, "draw "), (Names{"low", "z2", "dst", "src"}));
  TCollection other;
  EXPECT_THROW(dst->Assign(&other), EConvertError);

  // A copy of an unselected sprite outside any group leaves the selection
  // list and its group; the engine's lists must not keep it after it is freed.
  auto* plain = new TSprite(&e);
  auto* held = new TSprite(&e);
  held->SetSelected(true);
  held->SetGroupNumber(5);
  held->Assign(plain);
  EXPECT_FALSE(held->Selected());
  EXPECT_EQ(held->GroupNumber(), -1);
  EXPECT_TRUE(e.GetGroup(5)->empty());
  EXPECT_FALSE(e.AnySelected());
  delete held;
  e.DeselectAll();
}

TEST(SpriteWrap, WrapIntAndWrapFloat) {
  struct {
    int32_t a, b, want;
  } ints[] = {{850, 900, 850}, {-20, 900, 880}, {900, 900, 0}, {7, 0, 7}, {INT32_MIN, -1, 0}};
  for (auto c : ints) EXPECT_EQ(WrapInt(c.a, c.b), c.want) << c.a << " " << c.b;
  struct {
    int32_t n;
    double x, want;
  } floats[] = {{4, 7.5, 3.5}, {4, 4.0, 0}, {4, -0.5, 3.5}, {4, 2.0, 2.0}, {8, 17.25, 1.25}};
  for (auto c : floats) EXPECT_DOUBLE_EQ(WrapFloat(c.n, c.x), c.want) << c.n << " " << c.x;
  EXPECT_EQ(SpriteRect(2147483647.0, 0, 10, 10).Right, INT32_MAX);
}

}  // namespace
