#include "framework/classes.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

namespace {

TEST(Stream, ReadBufferRaisesPastTheEnd) {
  TMemoryStream s;
  s.WriteValue<uint32_t>(0x11223344);
  s.SetPosition(0);
  EXPECT_EQ(s.ReadValue<uint16_t>(), 0x3344);
  EXPECT_EQ(s.Remaining(), 2);
  uint32_t v;
  EXPECT_THROW(s.ReadBuffer(&v, 4), EReadError);
}

TEST(Stream, FileRoundTripWithBackslashPath) {
  auto dir = std::filesystem::temp_directory_path() / "tal_classes_test";
  std::filesystem::create_directories(dir / "sub");
  std::string win = (dir / "sub").string() + "\\f.bin";
  {
    TFileStream f(win, fmCreate);
    f.WriteBuffer("abc", 3);
  }
  EXPECT_TRUE(FileExists(win));
  TMemoryStream m;
  m.LoadFromFile(win);
  EXPECT_EQ(std::string(m.Bytes().begin(), m.Bytes().end()), "abc");
  try {
    TFileStream missing((dir / "nope").string(), fmOpenRead);
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_NE(e.Message().find("Cannot open file"), std::string::npos);
  }
  std::filesystem::remove_all(dir);
}

TEST(Component, OwnerFreesChildrenLastMadeFirst) {
  std::vector<std::string> freed;
  struct Probe : TComponent {
    Probe(TComponent* o, std::string n, std::vector<std::string>* log) : TComponent(o), log_(log) {
      SetName(n);
    }
    ~Probe() override { log_->push_back(Name()); }
    std::vector<std::string>* log_;
  };
  auto* root = new TComponent(nullptr);
  new Probe(root, "a", &freed);
  auto* b = new Probe(root, "b", &freed);
  new Probe(root, "c", &freed);
  EXPECT_EQ(root->FindComponent("B"), b);
  delete b;
  EXPECT_EQ(root->ComponentCount(), 2);
  delete root;
  EXPECT_EQ(freed, (std::vector<std::string>{"b", "c", "a"}));
}

TEST(Collection, ItemsMoveAndDelete) {
  TCollection c;
  auto* a = c.Add();
  auto* b = c.Add();
  auto* d = c.Add();
  d->SetIndex(0);
  EXPECT_EQ(c.Items(0), d);
  EXPECT_EQ(b->Index(), 2);
  c.Delete(1);  // a
  EXPECT_EQ(c.Count(), 2);
  EXPECT_EQ(c.IndexOf(a), -1);
  EXPECT_THROW(c.Items(5), EListError);
}

TEST(Arithmetic, RoundHalvesToEvenAndNaNHasADefinedResult) {
  struct Case {
    double v;
    int32_t round, trunc;
  } cases[] = {{0.5, 0, 0}, {1.5, 2, 1}, {2.5, 2, 2}, {-2.5, -2, -2}, {-1.7, -2, -1}, {127.5, 128, 127}};
  for (auto c : cases) {
    EXPECT_EQ(Round(c.v), c.round) << c.v;
    EXPECT_EQ(Trunc(c.v), c.trunc) << c.v;
  }
  EXPECT_EQ(ToInt32(std::nan("")), 0);
  EXPECT_EQ(ToInt32(1e300), INT32_MAX);
  EXPECT_EQ(ToInt32(-1.0 / 0.0), INT32_MIN);
}

TEST(Text, FormatAndCaseInsensitiveCompare) {
  EXPECT_EQ(Format("%s is not loaded", std::string("DDraw.dll")), "DDraw.dll is not loaded");
  EXPECT_EQ(Format("(%dx%d %dbit)", 800, 600, 16), "(800x600 16bit)");
  EXPECT_TRUE(SameText("Image", "iMAGE"));
  EXPECT_FALSE(SameText("Image", "Images"));
  EXPECT_EQ(StrToInt(" 42 "), 42);
  EXPECT_THROW(StrToInt("xyz"), EConvertError);
}

TEST(Text, TryStrToIntTakesDecimalValuesAndHexPatternsOf32Bits) {
  const struct {
    const char* Text;
    bool Ok;
    int Value;
  } cases[] = {{"2147483647", true, INT32_MAX}, {"-2147483648", true, INT32_MIN},
               {"2147483648", false, 0},       {"$FFFFFFFF", true, -1},
               {"-$1", true, -1},              {"0x7fffffff", true, INT32_MAX},
               {"$100000000", false, 0},       {"$FFFFFFFFFFFFFFFF", false, 0},
               {"-$FFFFFFFF", true, 1},        {"12a", false, 0}};
  for (const auto& c : cases) {
    int v = 0;
    EXPECT_EQ(TryStrToInt(c.Text, v), c.Ok) << c.Text;
    if (c.Ok) EXPECT_EQ(v, c.Value) << c.Text;
  }
}

TEST(Text, StrToInt64KeepsTheWholeRange) {
  const struct {
    const char* Text;
    bool Ok;
    int64_t Value;
  } cases[] = {
      {"2147483648", true, 2147483648LL},
      {" -9223372036854775808 ", true, INT64_MIN},
      {"9223372036854775807", true, INT64_MAX},
      {"9223372036854775808", false, 0},
      {"-9223372036854775809", false, 0},
      {"$FFFFFFFFFFFFFFFF", true, -1},
      {"$10000000000000000", false, 0},
      {"12x", false, 0},
      {"-", false, 0},
      {"", false, 0},
  };
  for (const auto& c : cases) {
    int64_t v = 0;
    EXPECT_EQ(TryStrToInt64(c.Text, v), c.Ok) << c.Text;
    if (c.Ok) EXPECT_EQ(v, c.Value) << c.Text;
  }
  EXPECT_THROW(StrToInt64("xyz"), EConvertError);
}

}  // namespace
