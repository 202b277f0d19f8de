#include <gtest/gtest.h>

#include <string>

#include "engine/directx/directx.h"
#include "framework/filer.h"

namespace {

TEST(NameHash, Values) {
  struct {
    std::string name;
    int hash;
  } cases[] = {
      {"", 0},
      {"a", 16},
      {"Z", 16},
      {"ab", 226},   // 32 + 'a' + 'a'
      {"abc", 243},  // 48 + 'a' + 'b'
      {"ABC", 243},
      {"weapon2", (7 * 16 + 'w' + 'n') & 0xFF},
      {std::string(20, 'x'), (20 * 16 + 2 * 'x') & 0xFF},
      {"\xC0\xC1", (32 + 2 * 0xE0) & 0xFF},  // code page 1251 capitals fold too
  };
  for (const auto& c : cases) EXPECT_EQ(NameHash(c.name), c.hash) << c.name;
}

THashCollectionItem* Add(THashCollection& c, const std::string& name) {
  auto* item = static_cast<THashCollectionItem*>(c.Add());
  item->SetName(name);
  return item;
}

TEST(HashCollection, LookupAfterAddRenameDeleteAndMove) {
  THashCollection c;
  Add(c, "Ship");
  Add(c, "Enemy");
  Add(c, "Boss");
  struct TLookup {
    const char* name;
    int index;
  };
  auto expect = [&](std::initializer_list<TLookup> lookups) {
    for (const auto& l : lookups) EXPECT_EQ(c.IndexOfName(l.name), l.index) << l.name;
  };
  expect({{"Ship", 0}, {"ship", 0}, {"ENEMY", 1}, {"boss", 2}, {"Bos", -1}, {"", -1}});

  // Deleting the first item renumbers the others.
  c.Delete(0);
  expect({{"Ship", -1}, {"Enemy", 0}, {"Boss", 1}});

  // A rename relinks: the old name is gone, the new one found.
  static_cast<THashCollectionItem*>(c.Items(0))->SetName("Drone");
  expect({{"Enemy", -1}, {"drone", 0}, {"Boss", 1}});

  // Moving keeps every cached index equal to the position.
  Add(c, "Rocket");
  c.Items(2)->SetIndex(0);
  expect({{"Rocket", 0}, {"Drone", 1}, {"Boss", 2}});
  for (int i = 0; i < c.Count(); ++i) EXPECT_EQ(c.Items(i)->Index(), i);
}

TEST(HashCollection, EqualNamesLastLinkedWinsAndEmptyNames) {
  THashCollection c;
  Add(c, "Explosion");
  Add(c, "EXPLOSION");
  EXPECT_EQ(c.IndexOfName("explosion"), 1);
  EXPECT_EQ(c.IndexOfName("Explosion"), 1);
  // A rename in letter case only relinks too, making it the last linked.
  static_cast<THashCollectionItem*>(c.Items(0))->SetName("explosion");
  EXPECT_EQ(c.IndexOfName("Explosion"), 0);

  auto* unnamed = static_cast<THashCollectionItem*>(c.Add());
  EXPECT_EQ(c.IndexOfName(""), 2);
  EXPECT_EQ(unnamed->GetDisplayName(), unnamed->ClassName());
  unnamed->SetName("x");
  EXPECT_EQ(unnamed->GetDisplayName(), "x");
  EXPECT_EQ(c.IndexOfName(""), -1);
}

TEST(HashCollection, NamesThatCompareEqualAlwaysHashEqual) {
  // Every pair of single bytes that compares equal ignoring case must land
  // in the same bucket, or a lookup could miss an item it should find.
  for (int a = 1; a < 256; ++a) {
    for (int b = 1; b < 256; ++b) {
      std::string x = {'q', static_cast<char>(a), 'z'};
      std::string y = {'q', static_cast<char>(b), 'z'};
      std::string x2 = {static_cast<char>(a), 'z'};
      std::string y2 = {static_cast<char>(b), 'z'};
      if (SameText(x2, y2)) ASSERT_EQ(NameHash(x2), NameHash(y2)) << a << " " << b;
      if (SameText(x, y)) ASSERT_EQ(NameHash(x), NameHash(y)) << a << " " << b;
    }
  }
}

TEST(HashCollection, AssignCopiesNamesAndClearUnlinks) {
  THashCollection a, b;
  Add(a, "One");
  Add(a, "Two");
  b.Assign(&a);
  EXPECT_EQ(b.IndexOfName("two"), 1);
  auto* item = static_cast<THashCollectionItem*>(b.Items(0));
  TPersistent other;
  EXPECT_THROW(item->Assign(&other), EConvertError);
  b.Clear();
  EXPECT_EQ(b.IndexOfName("One"), -1);
  Add(b, "One");
  EXPECT_EQ(b.IndexOfName("one"), 0);
}

}  // namespace
