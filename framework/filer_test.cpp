#include "framework/filer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

using Bytes = std::vector<uint8_t>;

class TTestCollection : public TCollection {
 protected:
  TCollectionItem* MakeItem() override;
};

class TTestItem : public TCollectionItem {
 public:
  using TCollectionItem::TCollectionItem;
  std::string Name;
  int32_t Value = 0;
  std::unique_ptr<TTestCollection> Children = std::make_unique<TTestCollection>();

  bool ReadProperty(const std::string& N, TReader& R) override;
  void WriteProperties(TWriter& W) const override {
    W.WriteString("Name", Name);
    if (Value != 0) W.WriteInteger("Value", Value);
    if (Children->Count() > 0) W.WriteCollection("Children", *Children);
  }
};

TCollectionItem* TTestCollection::MakeItem() {
  return new TTestItem(this);
}

bool TTestItem::ReadProperty(const std::string& N, TReader& R) {
  if (N == "Name") {
    Name = R.ReadString();
    return true;
  }
  if (N == "Value") {
    Value = R.ReadInteger();
    return true;
  }
  if (N == "Children") {
    R.ReadCollection(*Children);
    return true;
  }
  return false;
}

class TTestRoot : public TComponent {
 public:
  TAL_CLASS_NAME(TTestRoot)
  TTestRoot() : TComponent(nullptr) {}
  int32_t Number = 0;
  bool Flag = false;
  std::string Text;
  std::string Ident;
  Bytes Blob;
  TTestCollection List;
  int32_t SubWidth = 0;
  bool Ignored = false;  // a property taken but not read: the reader must skip its value
  bool LoadedCalled = false;

  bool ReadProperty(const std::string& N, TReader& R) override {
    if (N == "Number")
      Number = R.ReadInteger();
    else if (N == "Flag")
      Flag = R.ReadBoolean();
    else if (N == "Text")
      Text = R.ReadString();
    else if (N == "Ident")
      Ident = R.ReadIdent();
    else if (N == "Blob")
      Blob = R.ReadBinary();
    else if (N == "List")
      R.ReadCollection(List);
    else if (N == "Sub.Width")
      SubWidth = R.ReadInteger();
    else if (N == "Old")
      Ignored = true;
    else
      return TComponent::ReadProperty(N, R);
    return true;
  }
  void WriteProperties(TWriter& W) const override {
    W.WriteInteger("Number", Number);
    W.WriteBoolean("Flag", Flag);
    W.WriteString("Text", Text);
    if (!Ident.empty()) W.WriteIdent("Ident", Ident);
    W.WriteBinary("Blob", Blob);
    W.WriteCollection("List", List);
    W.WriteInteger("Sub.Width", SubWidth);
  }
  void Loaded() override {
    TComponent::Loaded();
    LoadedCalled = true;
  }
};

Bytes Written(const std::function<void(TWriter&)>& f) {
  TMemoryStream m;
  TWriter w(m);
  f(w);
  return m.Bytes();
}

Bytes Str(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST(Filer, IntegersTakeTheSmallestType) {
  struct Case {
    int32_t v;
    Bytes bytes;
  } cases[] = {
      {0, {2, 0}},
      {127, {2, 0x7F}},
      {-128, {2, 0x80}},
      {128, {3, 0x80, 0x00}},
      {-129, {3, 0x7F, 0xFF}},
      {32767, {3, 0xFF, 0x7F}},
      {-32768, {3, 0x00, 0x80}},
      {32768, {4, 0x00, 0x80, 0x00, 0x00}},
      {INT32_MIN, {4, 0x00, 0x00, 0x00, 0x80}},
  };
  for (const auto& c : cases) {
    Bytes b = Written([&](TWriter& w) { w.WriteInteger(c.v); });
    EXPECT_EQ(b, c.bytes) << c.v;
    TByteStream s(b.data(), b.size());
    TReader r(s);
    EXPECT_EQ(r.ReadInteger(), c.v);
  }
}

TEST(Filer, FloatsAreExtendedOrSingleAndReadBack) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double v;
    Bytes bytes;  // type 5 and the 10-byte extended value
  } cases[] = {
      {0.0, {5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {-0.0, {5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80}},
      {1.0, {5, 0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F}},
      {-2.5, {5, 0, 0, 0, 0, 0, 0, 0, 0xA0, 0x00, 0xC0}},
      {0.1, {5, 0x00, 0xD0, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xFB, 0x3F}},
      {inf, {5, 0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x7F}},
      // The smallest subnormal double is a normal extended number.
      {std::numeric_limits<double>::denorm_min(), {5, 0, 0, 0, 0, 0, 0, 0, 0x80, 0xCD, 0x3B}},
      {std::numeric_limits<double>::max(),
       {5, 0x00, 0xF8, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0x43}},
  };
  for (const auto& c : cases) {
    Bytes b = Written([&](TWriter& w) { w.WriteFloat(c.v); });
    EXPECT_EQ(b, c.bytes) << c.v;
    TByteStream s(b.data(), b.size());
    TReader r(s);
    double back = r.ReadFloat();
    EXPECT_EQ(back, c.v) << c.v;
    EXPECT_EQ(std::signbit(back), std::signbit(c.v)) << c.v;
  }
  Bytes nan = Written([&](TWriter& w) { w.WriteFloat(std::nan("")); });
  TByteStream ns(nan.data(), nan.size());
  TReader nr(ns);
  EXPECT_TRUE(std::isnan(nr.ReadFloat()));

  // Extended values past a double's range saturate, and denormal extended
  // values flush towards zero, instead of misreading.
  struct Far {
    Bytes bytes;
    double want;
  } far[] = {
      {{5, 0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x5F}, inf},
      {{5, 0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0xDF}, -inf},
      {{5, 0, 0, 0, 0, 0, 0, 0, 0x80, 0x00, 0x20}, 0.0},
      {{5, 1, 0, 0, 0, 0, 0, 0, 0x00, 0x00, 0x00}, 0.0},
  };
  for (const auto& f : far) {
    TByteStream s(f.bytes.data(), f.bytes.size());
    TReader r(s);
    EXPECT_EQ(r.ReadFloat(), f.want);
  }

  // Singles are 4 bytes; either kind and integers read as either.
  Bytes single = Written([&](TWriter& w) { w.WriteSingle(-0.75f); });
  EXPECT_EQ(single, (Bytes{15, 0x00, 0x00, 0x40, 0xBF}));
  Bytes mixed = Cat({single, Written([&](TWriter& w) {
                       w.WriteFloat(3.0);
                       w.WriteInteger(-7);
                     })});
  TByteStream ms(mixed.data(), mixed.size());
  TReader mr(ms);
  EXPECT_EQ(mr.ReadFloat(), -0.75);
  EXPECT_EQ(mr.ReadSingle(), 3.0f);
  EXPECT_EQ(mr.ReadSingle(), -7.0f);

  // Cut short, or of another type.
  for (const Bytes& bad : {Bytes{5, 0, 0, 0}, Bytes{15, 0, 0}, Bytes{6, 1, 'x'}, Bytes{}}) {
    TByteStream s(bad.data(), bad.size());
    TReader r(s);
    EXPECT_THROW(r.ReadFloat(), EReadError);
  }
}

TEST(Filer, TextTakesShortLongOrUtf8) {
  std::string l300(300, 'x');
  std::string cyr = "\xCF\xF0\xE8";  // three Cyrillic letters in code page 1251
  struct Case {
    std::string text;
    Bytes bytes;
  } cases[] = {
      {"", {6, 0}},
      {"Ab", {6, 2, 'A', 'b'}},
      {l300, Cat({{12, 0x2C, 0x01, 0, 0}, Str(l300)})},
      {cyr, {20, 6, 0, 0, 0, 0xD0, 0x9F, 0xD1, 0x80, 0xD0, 0xB8}},
  };
  for (const auto& c : cases) {
    Bytes b = Written([&](TWriter& w) { w.WriteString(c.text); });
    EXPECT_EQ(b, c.bytes) << c.text;
    TByteStream s(b.data(), b.size());
    TReader r(s);
    EXPECT_EQ(r.ReadString(), c.text);
  }
}

TEST(Filer, WideTextBecomesCodePageText) {
  // "Ok" and a Cyrillic capital A (U+0410), and a character the code page lacks.
  Bytes b = {18, 4, 0, 0, 0, 'O', 0, 'k', 0, 0x10, 0x04, 0x00, 0x4E};
  TByteStream s(b.data(), b.size());
  TReader r(s);
  EXPECT_EQ(r.ReadString(), "Ok\xC0?");
}

TEST(Filer, EveryCodePageByteSurvivesUtf8) {
  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(all)), all);
  EXPECT_EQ(Utf8ToAnsi("a\xFF"
                       "b\xE2\x82"),
            "a?b??");  // stray and cut-off bytes
}

TEST(Filer, ComponentRoundTripsAndRewritesIdentically) {
  TTestRoot a;
  a.SetName("Carrier");
  a.Number = -70000;
  a.Flag = true;
  a.Text = "hello";
  a.Ident = "clFuchsia";
  a.Blob = {1, 2, 3, 0, 255};
  a.SubWidth = 640;
  auto* i0 = static_cast<TTestItem*>(a.List.Add());
  i0->Name = "first";
  i0->Value = 5;
  static_cast<TTestItem*>(i0->Children->Add())->Name = "child";
  static_cast<TTestItem*>(a.List.Add())->Name = "second";

  TMemoryStream m;
  WriteComponentResource(m, "a long resource name that goes beyond sixty-three characters in all",
                         a);
  m.SetPosition(0);
  TTestRoot b;
  static_cast<TTestItem*>(b.List.Add())->Name = "stale";
  ReadComponentResource(m, b);
  EXPECT_EQ(m.Position(), m.Size());
  EXPECT_EQ(b.Name(), "Carrier");
  EXPECT_EQ(b.Number, -70000);
  EXPECT_TRUE(b.Flag);
  EXPECT_EQ(b.Text, "hello");
  EXPECT_EQ(b.Ident, "clFuchsia");
  EXPECT_EQ(b.Blob, a.Blob);
  EXPECT_EQ(b.SubWidth, 640);
  ASSERT_EQ(b.List.Count(), 2);
  auto* r0 = static_cast<TTestItem*>(b.List.Items(0));
  EXPECT_EQ(r0->Name, "first");
  EXPECT_EQ(r0->Value, 5);
  ASSERT_EQ(r0->Children->Count(), 1);
  EXPECT_EQ(static_cast<TTestItem*>(r0->Children->Items(0))->Name, "child");
  EXPECT_EQ(static_cast<TTestItem*>(b.List.Items(1))->Name, "second");
  EXPECT_TRUE(b.LoadedCalled);
  EXPECT_FALSE(b.Has(csLoading));

  TMemoryStream again;
  WriteComponentResource(again,
                         "a long resource name that goes beyond sixty-three characters in all", b);
  EXPECT_EQ(again.Bytes(), m.Bytes());
}

TEST(Filer, ResourceHeaderBytes) {
  TTestRoot a;
  a.SetName("X");
  TMemoryStream m;
  WriteComponentResource(m, std::string(70, 'q'), a);
  const Bytes& b = m.Bytes();
  Bytes head = Cat({{0xFF, 10, 0}, Str(std::string(63, 'Q')), {0}, {0x30, 0x10}});
  ASSERT_GT(b.size(), head.size() + 4);
  EXPECT_TRUE(std::equal(head.begin(), head.end(), b.begin()));
  uint32_t size;
  std::memcpy(&size, b.data() + head.size(), 4);
  EXPECT_EQ(size, b.size() - head.size() - 4);
  EXPECT_EQ(std::string(b.begin() + head.size() + 4, b.begin() + head.size() + 8), "TPF0");
}

// A hand-built stream with what writers of other programs put there: a root
// flag prefix with a child position, order values on collection items, long
// and wide strings, and an item that is empty in the stream.
TEST(Filer, ReadsForeignButValidShapes) {
  Bytes s = Cat({Str("TPF0"),
                 {0xF2, 2, 3},
                 {9},
                 Str("TTestRoot"),
                 {2},
                 Str("_1"),
                 {4},
                 Str("Text"),
                 {18, 2, 0, 0, 0, 'h', 0, 'i', 0},
                 {4},
                 Str("List"),
                 {14, 3, 0x10, 0x00, 1, 4},
                 Str("Name"),
                 {12, 1, 0, 0, 0, 'z'},
                 {0},
                 {1, 0},  // an item with no properties keeps its defaults
                 {0},
                 {0},
                 {0}});
  TTestRoot r;
  TByteStream st(s.data(), s.size());
  ReadComponent(st, r);
  EXPECT_EQ(r.Name(), "_1");
  EXPECT_EQ(r.Text, "hi");
  ASSERT_EQ(r.List.Count(), 2);
  EXPECT_EQ(static_cast<TTestItem*>(r.List.Items(0))->Name, "z");
  EXPECT_EQ(static_cast<TTestItem*>(r.List.Items(1))->Name, "");
}

TEST(Filer, EmptyCollectionInStreamKeepsItems) {
  Bytes s = Cat({Str("TPF0"), {9}, Str("TTestRoot"), {0}, {4}, Str("List"), {14, 0}, {0}, {0}});
  TTestRoot r;
  static_cast<TTestItem*>(r.List.Add())->Name = "kept";
  TByteStream st(s.data(), s.size());
  ReadComponent(st, r);
  EXPECT_EQ(r.List.Count(), 1);
}

TEST(Filer, PropertyTakenButNotReadIsSkipped) {
  Bytes s = Cat({Str("TPF0"),
                 {9},
                 Str("TTestRoot"),
                 {0},
                 {3},
                 Str("Old"),
                 {10, 3, 0, 0, 0, 7, 8, 9},
                 {6},
                 Str("Number"),
                 {2, 42},
                 {0},
                 {0}});
  TTestRoot r;
  TByteStream st(s.data(), s.size());
  ReadComponent(st, r);
  EXPECT_TRUE(r.Ignored);
  EXPECT_EQ(r.Number, 42);
}

Bytes Root(const Bytes& props) {
  return Cat({Str("TPF0"), {9}, Str("TTestRoot"), {0}, props, {0}, {0}});
}
Bytes Res(const Bytes& body) {
  return Cat({{0xFF, 10, 0, 'N', 0, 0x30, 0x10, 0, 0, 0, 0}, body});
}

TEST(Filer, MalformedStreamsRaiseClearErrors) {
  struct Case {
    const char* what;
    Bytes bytes;
    bool resource;
    std::string cls;
    std::string message;
  } cases[] = {
      {"no resource marker", Cat({{0xFE, 10, 0}, Root({})}), true, "EInvalidImage",
       "Invalid stream format"},
      {"wrong resource type", Cat({{0xFF, 11, 0, 0}, Root({})}), true, "EInvalidImage",
       "Invalid stream format"},
      {"empty archive", {}, true, "EInvalidImage", "Invalid stream format"},
      {"name never ends", {0xFF, 10, 0, 'A', 'B'}, true, "EReadError", "Stream read error"},
      {"no signature", Res(Cat({Str("TPF1"), {0}})), true, "EReadError", "Invalid stream format"},
      {"short signature", Str("TP"), false, "EReadError", "Invalid stream format"},
      {"unknown property", Root(Cat({{4}, Str("Nope"), {2, 1}})), false, "EReadError",
       "Property Nope does not exist"},
      {"unknown value type", Root(Cat({{6}, Str("Number"), {16, 0, 0}})), false, "EReadError",
       "Invalid value type 16"},
      {"float for an integer",
       Root(Cat({{6}, Str("Number"), {5, 0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F}})), false,
       "EReadError", "Invalid property value"},
      {"wrong value type", Root(Cat({{6}, Str("Number"), {6, 1, 'x'}})), false, "EReadError",
       "Invalid property value"},
      {"boolean as integer", Root(Cat({{4}, Str("Flag"), {2, 1}})), false, "EReadError",
       "Invalid property value"},
      {"binary longer than input", Root(Cat({{4}, Str("Blob"), {10, 0xFF, 0xFF, 0xFF, 0x7F, 1}})),
       false, "EReadError", "Stream read error"},
      {"long string past end", Root(Cat({{4}, Str("Text"), {12, 9, 0, 0, 0, 'a'}})), false,
       "EReadError", "Stream read error"},
      {"wide string past end", Root(Cat({{4}, Str("Text"), {18, 0, 0, 0, 0x40, 'a', 0}})), false,
       "EReadError", "Stream read error"},
      {"short string past end", Root(Cat({{4}, Str("Text"), {6, 200, 'a'}})), false, "EReadError",
       "Stream read error"},
      {"name past end", Cat({Str("TPF0"), {9}, Str("TTestRoot"), {0}, {40}, Str("Num")}), false,
       "EReadError", "Stream read error"},
      {"integer cut off",
       Cat({Str("TPF0"), {9}, Str("TTestRoot"), {0}, {6}, Str("Number"), {4, 1}}), false,
       "EReadError", "Stream read error"},
      {"no end of properties", Cat({Str("TPF0"), {9}, Str("TTestRoot"), {0}}), false, "EReadError",
       "Stream read error"},
      {"item without list begin",
       Root(Cat({{4}, Str("List"), {14, 2, 0, 4}, Str("Name"), {6, 0, 0, 0}})), false, "EReadError",
       "Invalid property value"},
      {"child component",
       Cat({Str("TPF0"), {9}, Str("TTestRoot"), {0}, {0}, {6}, Str("TChild"), {0, 0, 0}}), false,
       "EClassNotFound", "Class TChild not found"},
  };
  for (const auto& c : cases) {
    TTestRoot r;
    TByteStream st(c.bytes.data(), c.bytes.size());
    try {
      if (c.resource)
        ReadComponentResource(st, r);
      else
        ReadComponent(st, r);
      ADD_FAILURE() << c.what << ": no error";
    } catch (const Exception& e) {
      EXPECT_EQ(std::string(e.ClassName()), c.cls) << c.what;
      EXPECT_EQ(e.Message(), c.message) << c.what;
    }
    EXPECT_FALSE(r.Has(csLoading)) << c.what;
  }
}

TEST(Filer, DeepNestingIsRefusedNotRecursedInto) {
  // Collections inside collections, deeper than any real stream.
  Bytes props;
  Bytes tail;
  for (int i = 0; i < 200; ++i) {
    props = Cat({props, i == 0 ? Cat({{4}, Str("List")}) : Cat({{8}, Str("Children")}), {14, 1}});
    tail = Cat({tail, {0, 0}});
  }
  Bytes s = Root(Cat({props, tail}));
  TTestRoot r;
  TByteStream st(s.data(), s.size());
  EXPECT_THROW(ReadComponent(st, r), EReadError);
}

}  // namespace
