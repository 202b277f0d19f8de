#include "engine/draw/pictures.h"

#include <gtest/gtest.h>

#include <cstring>

#include "engine/dib/dib.h"
#include "engine/draw/dxdraws.h"
#include "platform/backend/headless/headless_core.h"
#include "platform/backend/headless/headless_video.h"
#include "platform/ddraw/ddraw_seam.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Str(const std::string& s) {
  return Bytes(s.begin(), s.end());
}
Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
Bytes Short(const std::string& s) {
  return Cat({{static_cast<uint8_t>(s.size())}, Str(s)});
}
Bytes U32(uint32_t v) {
  return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

struct TRegisterDIB {
  TRegisterDIB() { RegisterDIBGraphicClass(); }
};
const TRegisterDIB registerDIB;

// A bitmap whose colour table is Colors, then black.
std::unique_ptr<TDIB> MakeDIB(int W, int H, int BitCount, const std::vector<RGBQUAD>& Colors = {}) {
  auto dib = std::make_unique<TDIB>();
  dib->ColorTable = TRGBQuads{};
  for (size_t i = 0; i < Colors.size() && i < 256; ++i) dib->ColorTable[i] = Colors[i];
  dib->SetSize(W, H, BitCount);
  dib->UpdatePalette();
  return dib;
}

RGBQUAD Quad(uint8_t R, uint8_t G, uint8_t B) {
  RGBQUAD q;
  q.rgbRed = R;
  q.rgbGreen = G;
  q.rgbBlue = B;
  return q;
}

// ---- Cutting ----------------------------------------------------------------------

TEST(PictureCut, CutsCellsTilesAndGaps) {
  struct Case {
    const char* what;
    int pw, ph, w, h, sw, sh;
    bool sysmem;
    std::vector<TRect> surfaces;
    std::vector<TPatternCut> some;  // patterns checked by index: Rect, Surface
    std::vector<int> someIndex;
    int count;
  } cases[] = {
      {"gaps: cells at 0, 35 and 70",
       100,
       20,
       30,
       20,
       5,
       0,
       false,
       {Rect(0, 0, 100, 20)},
       {{Rect(0, 0, 30, 20), 0}, {Rect(35, 0, 65, 20), 0}, {Rect(70, 0, 100, 20), 0}},
       {0, 1, 2},
       3},
      {"whole picture",
       50,
       40,
       50,
       40,
       7,
       9,
       false,
       {Rect(0, 0, 50, 40)},
       {{Rect(0, 0, 50, 40), 0}},
       {0},
       1},
      {"64-frame strip splits into two 2048 tiles",
       4096,
       64,
       64,
       64,
       0,
       0,
       false,
       {Rect(0, 0, 2048, 64), Rect(2048, 0, 4096, 64)},
       {{Rect(512, 0, 576, 64), 1}, {Rect(1984, 0, 2048, 64), 0}},
       {40, 31},
       64},
      {"vertical strip splits into rows of tiles",
       64,
       4096,
       64,
       64,
       0,
       0,
       false,
       {Rect(0, 0, 64, 2048), Rect(0, 2048, 64, 4096)},
       {{Rect(0, 512, 64, 576), 1}},
       {40},
       64},
      {"grid over four tiles, the last ones narrower",
       3000,
       3000,
       700,
       700,
       0,
       0,
       false,
       {Rect(0, 0, 2100, 2100), Rect(2100, 0, 3000, 2100), Rect(0, 2100, 2100, 3000),
        Rect(2100, 2100, 3000, 3000)},
       {{Rect(0, 0, 700, 700), 3},
        {Rect(1400, 0, 2100, 700), 0},
        {Rect(0, 1400, 700, 2100), 0},
        {Rect(0, 0, 700, 700), 2}},
       {15, 2, 8, 12},
       16},
      {"system memory keeps one surface",
       100,
       20,
       30,
       20,
       5,
       0,
       true,
       {Rect(0, 0, 100, 20)},
       {{Rect(70, 0, 100, 20), 0}},
       {2},
       3},
      {"rows with a gap below",
       10,
       50,
       10,
       10,
       0,
       10,
       false,
       {Rect(0, 0, 10, 50)},
       {{Rect(0, 20, 10, 30), 0}, {Rect(0, 40, 10, 50), 0}},
       {1, 2},
       3},
      {"gap bigger than what is left",
       100,
       20,
       30,
       20,
       6,
       0,
       false,
       {Rect(0, 0, 72, 20), Rect(72, 0, 100, 20)},
       {{Rect(36, 0, 66, 20), 0}},
       {1},
       2},
      {"picture smaller than a cell", 20, 20, 30, 20, 0, 0, false, {}, {}, {}, 0},
      {"empty picture", 0, 0, 0, 0, 0, 0, false, {}, {}, {}, 0},
      {"cell of no width", 100, 20, 0, 20, 0, 0, false, {}, {}, {}, 0},
      {"negative gap that would make the cell empty",
       100,
       20,
       30,
       20,
       -30,
       0,
       false,
       {},
       {},
       {},
       0},
      {"negative gap", 100, 20, 30, 20, -1, 0, false, {}, {}, {}, 0},
      {"negative cell", 100, 20, -30, 20, 0, 0, true, {}, {}, {}, 0},
      {"huge gap",
       100,
       20,
       30,
       20,
       INT32_MAX,
       INT32_MAX,
       false,
       {Rect(0, 0, 100, 20)},
       {{Rect(0, 0, 30, 20), 0}},
       {0},
       1},
  };
  for (const auto& c : cases) {
    TPictureCut cut = CutPicture(c.pw, c.ph, c.w, c.h, c.sw, c.sh, c.sysmem);
    EXPECT_EQ(cut.Surfaces, c.surfaces) << c.what;
    EXPECT_EQ(static_cast<int>(cut.Patterns.size()), c.count) << c.what;
    EXPECT_EQ(CountPatterns(c.pw, c.ph, c.w, c.h, c.sw, c.sh), c.count) << c.what;
    for (size_t i = 0; i < c.someIndex.size(); ++i) {
      size_t k = static_cast<size_t>(c.someIndex[i]);
      ASSERT_LT(k, cut.Patterns.size()) << c.what;
      EXPECT_EQ(cut.Patterns[k], c.some[i]) << c.what << " pattern " << k;
    }
    // Every pattern lies inside its surface's area.
    for (const auto& p : cut.Patterns) {
      ASSERT_LT(static_cast<size_t>(p.Surface), cut.Surfaces.size()) << c.what;
      const TRect& s = cut.Surfaces[static_cast<size_t>(p.Surface)];
      EXPECT_LE(p.Rect.Right, s.Width()) << c.what;
      EXPECT_LE(p.Rect.Bottom, s.Height()) << c.what;
    }
  }
}

TEST(PictureItem, PatternCountFillsZeroSizesAndSurvivesBadSizes) {
  TPictureCollection list;
  TPictureCollectionItem* item = list.Add();
  EXPECT_EQ(item->GetPatternCount(), 0);  // no picture
  item->Picture().TakeGraphic(MakeDIB(100, 20, 8));
  EXPECT_EQ(item->GetPatternCount(), 1);
  EXPECT_EQ(item->PatternWidth, 100);
  EXPECT_EQ(item->PatternHeight, 20);
  item->PatternWidth = 30;
  item->SkipWidth = 5;
  EXPECT_EQ(item->GetPatternCount(), 3);
  EXPECT_EQ(item->Width(), 30);
  item->SkipWidth = -30;
  EXPECT_EQ(item->GetPatternCount(), 0);
  item->SkipWidth = 0;
  item->PatternHeight = -4;
  EXPECT_EQ(item->GetPatternCount(), 0);
  EXPECT_EQ(item->GetPatternRect(0), TRect{});
  EXPECT_EQ(item->GetPatternSurface(-1), nullptr);
}

TEST(PictureCollection, FindIgnoresCaseAndNamesTheMissingPicture) {
  TPictureCollection list;
  list.Add()->SetName("Player1Left");
  list.Add()->SetName("enemy2");
  EXPECT_EQ(list.Find("player1LEFT"), list.Items(0));
  EXPECT_EQ(list.Find("ENEMY2"), list.Items(1));
  try {
    list.Find("enemy20");
    ADD_FAILURE() << "no error";
  } catch (const EPictureCollectionError& e) {
    EXPECT_EQ(e.Message(), "Image 'enemy20' not found");
  }
}

// ---- Colour table ----------------------------------------------------------------------

// A graphic that is not a bitmap but has a palette.
class TPaletteGraphic : public TGraphic {
 public:
  explicit TPaletteGraphic(std::vector<TPaletteEntry> e) {
    pal_ = CreatePaletteHandle(e.data(), static_cast<int>(e.size()));
  }
  ~TPaletteGraphic() override { DeletePaletteHandle(pal_); }
  bool GetEmpty() const override { return false; }
  int32_t GetWidth() const override { return 1; }
  int32_t GetHeight() const override { return 1; }
  void SetWidth(int32_t) override {}
  void SetHeight(int32_t) override {}
  TPaletteHandle GetPalette() override { return pal_; }
  void Draw(TCanvas*, const TRect&) override {}
  void LoadFromStream(TStream&) override {}
  void SaveToStream(TStream&) override {}

 private:
  TPaletteHandle pal_ = nullptr;
};

TEST(PictureCollection, MakeColorTable) {
  const RGBQUAD black = Quad(0, 0, 0), white = Quad(255, 255, 255), grey = Quad(192, 192, 192);
  const RGBQUAD a = Quad(10, 20, 30), b = Quad(40, 50, 60), c = Quad(70, 80, 90);

  {  // Nothing but the sixteen fixed entries.
    TPictureCollection list;
    list.Add()->Picture().TakeGraphic(MakeDIB(4, 4, 24));  // a 24-bit picture has no table to give
    list.Add();                                            // no picture at all
    list.MakeColorTable();
    EXPECT_EQ(list.ColorTable[0], black);
    EXPECT_EQ(list.ColorTable[1], Quad(128, 0, 0));
    EXPECT_EQ(list.ColorTable[7], grey);
    EXPECT_EQ(list.ColorTable[248], Quad(128, 128, 128));
    EXPECT_EQ(list.ColorTable[252], Quad(0, 0, 255));
    EXPECT_EQ(list.ColorTable[255], white);
    for (int i = 8; i < 248; ++i)
      EXPECT_EQ(list.ColorTable[static_cast<size_t>(i)], RGBQUAD{}) << i;
  }
  {  // New colours fill the free entries in order; known ones are skipped.
    TPictureCollection list;
    list.Add()->Picture().TakeGraphic(MakeDIB(2, 2, 8, {a, white, b, a}));
    list.Add()->Picture().TakeGraphic(std::make_unique<TPaletteGraphic>(
        std::vector<TPaletteEntry>{{90, 80, 70, 0}, {30, 20, 10, 0}}));  // red, green, blue order
    list.MakeColorTable();
    EXPECT_EQ(list.ColorTable[8], a);
    EXPECT_EQ(list.ColorTable[9], b);
    EXPECT_EQ(list.ColorTable[10], Quad(90, 80, 70));
    EXPECT_EQ(list.ColorTable[11], Quad(30, 20, 10));
    EXPECT_EQ(list.ColorTable[12], RGBQUAD{});
    (void)c;
  }
  {  // A full table stops after the item that filled it; the rest is dropped.
    std::vector<RGBQUAD> many;
    for (int i = 0; i < 256; ++i) many.push_back(Quad(static_cast<uint8_t>(i), 1, 2));
    TPictureCollection list;
    list.Add()->Picture().TakeGraphic(MakeDIB(1, 1, 8, many));
    list.Add()->Picture().TakeGraphic(MakeDIB(1, 1, 8, {c}));
    list.MakeColorTable();
    EXPECT_EQ(list.ColorTable[8], Quad(0, 1, 2));
    EXPECT_EQ(list.ColorTable[247], Quad(239, 1, 2));
    for (const auto& q : list.ColorTable) EXPECT_FALSE(q == c);
  }
}

// ---- Archives ---------------------------------------------------------------------------

Bytes Archive(const Bytes& items) {
  Bytes stream = Cat({Str("TPF0"),
                      Short("TPictureCollectionComponent"),
                      Short(""),
                      Short("List.ColorTable"),
                      {10},
                      U32(1024),
                      Bytes(1024, 0),
                      Short("List"),
                      {14},
                      items,
                      {0},
                      {0, 0}});
  return Cat({{0xFF, 10, 0},
              Str("VALTORIXPICTURECOLLECTION"),
              {0},
              {0x30, 0x10},
              U32(static_cast<uint32_t>(stream.size())),
              stream});
}

Bytes Saved(TPictureCollection& list) {
  TMemoryStream m;
  list.SaveToStream(m);
  return m.Bytes();
}

TEST(PictureArchive, SmallestArchivesHaveExactlyTheseBytes) {
  TPictureCollection empty;
  EXPECT_EQ(Saved(empty), Archive({}));

  TPictureCollection one;
  one.Add()->SetName("a");
  Bytes item = Cat({{1},
                    Short("Name"),
                    {6},
                    Short("a"),
                    Short("PatternHeight"),
                    {2, 0},
                    Short("PatternWidth"),
                    {2, 0},
                    Short("SystemMemory"),
                    {8},
                    Short("Transparent"),
                    {9},
                    Short("TransparentColor"),
                    {2, 0},
                    {0}});
  EXPECT_EQ(Saved(one), Archive(item));
}

TEST(PictureArchive, RoundTripKeepsEveryPropertyAndBytes) {
  TPictureCollection list;
  list.ColorTable[3] = Quad(1, 2, 3);
  TPictureCollectionItem* a = list.Add();
  a->SetName("strip");
  a->PatternWidth = 30;
  a->PatternHeight = 20;
  a->SkipWidth = 5;
  a->SkipHeight = 300;
  a->SystemMemory = true;
  a->Transparent = false;
  a->SetTransparentColor(0x123456);
  auto dib = MakeDIB(100, 20, 8, {Quad(9, 8, 7)});
  dib->ScanLine(3)[4] = 1;  // something other than blank rows
  a->Picture().TakeGraphic(std::move(dib));
  list.Add()->SetName("empty");

  Bytes first = Saved(list);
  TPictureCollection back;
  back.Add()->SetName("stale");
  TByteStream in(first.data(), first.size());
  back.LoadFromStream(in);
  ASSERT_EQ(back.Count(), 2);
  TPictureCollectionItem* r = back.Find("strip");
  EXPECT_EQ(r->PatternWidth, 30);
  EXPECT_EQ(r->PatternHeight, 20);
  EXPECT_EQ(r->SkipWidth, 5);
  EXPECT_EQ(r->SkipHeight, 300);
  EXPECT_TRUE(r->SystemMemory);
  EXPECT_FALSE(r->Transparent);
  EXPECT_EQ(r->TransparentColor(), 0x123456);
  ASSERT_NE(r->Picture().Graphic(), nullptr);
  EXPECT_EQ(std::string(r->Picture().Graphic()->ClassName()), "TDIB");
  EXPECT_EQ(r->Picture().Width(), 100);
  EXPECT_EQ(back.ColorTable[3], Quad(1, 2, 3));
  EXPECT_EQ(back.Find("empty")->Picture().Graphic(), nullptr);
  EXPECT_TRUE(back.Find("empty")->Transparent);
  EXPECT_EQ(Saved(back), first);
}

// Item bytes for a stream written by another program.
Bytes Item(const Bytes& props) {
  return Cat({{1}, props, {0}});
}

TEST(PictureArchive, ReadsColourNamesUnknownGraphicsAndAnyOrder) {
  Bytes unknown = Cat({Short("TMetafile"), {1, 2, 3, 4, 5}});
  Bytes s = Archive(Cat({
      Item(Cat({Short("TransparentColor"), {7}, Short("clRed"), Short("Name"), {6}, Short("one")})),
      Item(Cat({Short("Picture.Data"),
                {10},
                U32(static_cast<uint32_t>(unknown.size())),
                unknown,
                Short("Name"),
                {6},
                Short("two"),
                Short("TransparentColor"),
                {7},
                Short("clbtnface")})),
  }));
  TPictureCollection list;
  TByteStream in(s.data(), s.size());
  list.LoadFromStream(in);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Items(0)->Name(), "one");
  EXPECT_EQ(list.Items(0)->TransparentColor(), clRed);
  EXPECT_EQ(list.Items(1)->Picture().Graphic(), nullptr);
  EXPECT_EQ(list.Items(1)->TransparentColor(), static_cast<TColor>(0xFF00000F));
}

TEST(PictureArchive, MalformedArchivesRaiseTheirErrors) {
  Bytes goodItem = Item(Cat({Short("Name"), {6}, Short("ok")}));
  Bytes badDIB = Cat({Short("TDIB"), U32(77), Bytes(8, 0)});
  struct Case {
    const char* what;
    Bytes bytes;
    std::string cls, message;
  } cases[] = {
      {"no resource header", Cat({Str("TPF0")}), "EInvalidImage", "Invalid stream format"},
      {"missing file signature", Cat({{0xFF, 10, 0, 'A', 0, 0x30, 0x10}, U32(4), Str("TPF1")}),
       "EReadError", "Invalid stream format"},
      {"unknown item property", Archive(Cat({goodItem, Item(Cat({Short("Colour"), {2, 1}}))})),
       "EReadError", "Property Colour does not exist"},
      {"unknown colour name",
       Archive(Item(Cat({Short("TransparentColor"), {7}, Short("clTartan")}))), "EReadError",
       "Invalid property value in picture 0"},
      {"name that is not text", Archive(Item(Cat({Short("Name"), {2, 5}}))), "EReadError",
       "Invalid property value in picture 0"},
      {"class name longer than the data",
       Archive(Item(Cat({Short("Picture.Data"), {10}, U32(3), {40, 'T', 'D'}}))), "EReadError",
       "Stream read error in picture 0"},
      {"bitmap data that is not a bitmap",
       Archive(Item(
           Cat({Short("Picture.Data"), {10}, U32(static_cast<uint32_t>(badDIB.size())), badDIB}))),
       "EInvalidGraphic", "DIB is invalid in picture 0"},
      {"binary length beyond the file",
       Archive(Item(Cat({Short("Picture.Data"), {10}, U32(0x7FFFFFF0)}))), "EReadError",
       "Stream read error in picture 0"},
  };
  for (const auto& c : cases) {
    TPictureCollection list;
    TByteStream in(c.bytes.data(), c.bytes.size());
    try {
      list.LoadFromStream(in);
      ADD_FAILURE() << c.what << ": no error";
    } catch (const Exception& e) {
      EXPECT_EQ(std::string(e.ClassName()), c.cls) << c.what;
      EXPECT_EQ(e.Message(), c.message) << c.what;
    }
  }
  // What was read before the fault stays.
  TPictureCollection list;
  Bytes s = Archive(Cat({goodItem, Item(Cat({Short("Colour"), {2, 1}}))}));
  TByteStream in(s.data(), s.size());
  EXPECT_THROW(list.LoadFromStream(in), EReadError);
  ASSERT_GE(list.Count(), 1);
  EXPECT_EQ(list.Items(0)->Name(), "ok");
}

TEST(PictureArchive, MissingFileRaisesTheOpenError) {
  TPictureCollection list;
  EXPECT_THROW(list.LoadFromFile("no\\such\\folder\\data.dan"), EFOpenError);
}

// ---- On a display -----------------------------------------------------------------------

class PicturesOnDisplay : public ::testing::Test {
 protected:
  void SetUp() override {
    HeadlessInstall();
    HeadlessInstallVideo();
    DDRegisterModule();
    form = std::make_unique<TForm>(nullptr);
    form->SetBounds(0, 0, 800, 600);
    draw = new TDXDraw(form.get());
    draw->SetParent(form.get());
    draw->SetAutoSize(false);
    draw->SetBounds(0, 0, 800, 600);
    draw->SetSurfaceWidth(800);
    draw->SetSurfaceHeight(600);
    draw->SetOptions(TDXDrawOptions{doFlip, doDirectX7Mode, doHardware});
    form->Perform(WM_ACTIVATE, WA_ACTIVE, 0);
  }
  void TearDown() override {
    form.reset();
    DDSetVideoOutput(nullptr);
    HeadlessUninstall();
  }

  // A 64-frame strip of 64 x 64 cells; frame f is filled with colour index
  // f % 4 + 1 except a black (transparent) first column.
  static std::unique_ptr<TDIB> Strip() {
    auto dib = MakeDIB(
        4096, 64, 8,
        {Quad(0, 0, 0), Quad(255, 0, 0), Quad(0, 255, 0), Quad(0, 0, 255), Quad(255, 255, 0)});
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 4096; ++x)
        dib->ScanLine(y)[x] = (x % 64 == 0) ? 0 : static_cast<uint8_t>((x / 64) % 4 + 1);
    return dib;
  }

  std::unique_ptr<TForm> form;
  TDXDraw* draw = nullptr;  // owned by the form
};

TEST_F(PicturesOnDisplay, ListOnAnInitialisedDisplayIsCutAtOnceAndDrawsItsPatterns) {
  draw->Initialize();
  ASSERT_TRUE(draw->Initialized());
  TDXImageList list(nullptr);
  TPictureCollectionItem* item = list.Items().Add();
  item->SetName("strip");
  item->PatternWidth = 64;
  item->PatternHeight = 64;
  item->Picture().TakeGraphic(Strip());
  EXPECT_FALSE(item->Initialized());

  list.SetDXDraw(draw);
  ASSERT_TRUE(item->Initialized());
  ASSERT_EQ(item->SurfaceCount(), 2);
  EXPECT_EQ(item->GetPatternCount(), 64);
  EXPECT_EQ(item->GetPatternRect(40), Rect(512, 0, 576, 64));
  EXPECT_EQ(item->GetPatternSurface(40), item->Surfaces(1));
  EXPECT_EQ(item->Surfaces(1)->Width(), 2048);

  // Frame 41 is green: a stretched draw of it puts green where it is opaque
  // and leaves the transparent first column alone.
  TDirectDrawSurface* back = draw->Surface.get();
  back->Fill(0);
  item->StretchDraw(back, Bounds(100, 100, 64, 64), 41);
  EXPECT_EQ(back->Pixel(110, 110), back->ColorToPixel(clLime));
  EXPECT_EQ(back->Pixel(100, 110), 0u);
  // Patterns that do not exist draw nothing.
  item->StretchDraw(back, Bounds(300, 100, 64, 64), 64);
  item->StretchDraw(back, Bounds(300, 100, 64, 64), -1);
  EXPECT_EQ(back->Pixel(310, 110), 0u);

  // A new transparent colour re-keys the same surfaces.
  TDirectDrawSurface* before = item->Surfaces(0);
  item->SetTransparentColor(clRed);
  ASSERT_EQ(item->SurfaceCount(), 2);
  EXPECT_EQ(item->Surfaces(0), before);
  for (int i = 0; i < 2; ++i) {
    DDCOLORKEY key{};
    ASSERT_EQ(item->Surfaces(i)->ISurface()->GetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
    EXPECT_EQ(key.dwColorSpaceLowValue, item->Surfaces(i)->ColorToPixel(clRed));
  }

  // Finalising the display takes the surfaces; initialising cuts again.
  draw->Finalize();
  EXPECT_FALSE(item->Initialized());
  EXPECT_EQ(item->SurfaceCount(), 0);
  draw->Initialize();
  EXPECT_EQ(item->SurfaceCount(), 2);
  EXPECT_EQ(item->GetPatternCount(), 64);
}

TEST_F(PicturesOnDisplay, LoadingIntoAnInitialisedListCutsAndALostDisplayCutsAgain) {
  TPictureCollection source;
  source.Add()->SetName("strip");
  source.Items(0)->PatternWidth = 64;
  source.Items(0)->Picture().TakeGraphic(Strip());
  Bytes archive = Saved(source);

  draw->Initialize();
  TDXImageList list(nullptr);
  list.SetDXDraw(draw);
  TByteStream in(archive.data(), archive.size());
  list.Items().LoadFromStream(in);
  TPictureCollectionItem* item = list.Items().Find("STRIP");
  EXPECT_TRUE(item->Initialized());
  EXPECT_EQ(item->GetPatternCount(), 64);

  DDLoseAllSurfaces();
  ASSERT_TRUE(draw->CanDraw());
  EXPECT_EQ(item->SurfaceCount(), 2);
  draw->Surface->Fill(0);
  item->StretchDraw(draw->Surface.get(), Bounds(0, 0, 64, 64), 2);
  EXPECT_EQ(draw->Surface->Pixel(5, 5), draw->Surface->ColorToPixel(clBlue));
}

TEST_F(PicturesOnDisplay, AssignCopiesAllButTheNameAndCutsOnlyAnInitialisedItem) {
  draw->Initialize();
  TDXImageList list(nullptr);
  list.SetDXDraw(draw);
  TPictureCollectionItem* a = list.Items().Add();
  a->SetName("a");
  a->PatternWidth = 64;
  a->PatternHeight = 64;
  a->SkipHeight = 3;
  a->SystemMemory = true;
  a->Transparent = false;
  a->SetTransparentColor(clRed);
  a->Picture().TakeGraphic(Strip());
  TPictureCollectionItem* b = list.Items().Add();
  b->SetName("b");
  b->Picture().TakeGraphic(MakeDIB(8, 8, 8));
  b->Restore();
  ASSERT_EQ(b->GetPatternCount(), 1);

  b->Assign(a);
  EXPECT_EQ(b->Name(), "b");
  EXPECT_EQ(b->PatternWidth, 64);
  EXPECT_EQ(b->PatternHeight, 64);
  EXPECT_EQ(b->SkipHeight, 3);
  EXPECT_TRUE(b->SystemMemory);
  EXPECT_FALSE(b->Transparent);
  EXPECT_EQ(b->TransparentColor(), clRed);
  EXPECT_EQ(b->Picture().Width(), 4096);
  // It was cut before, so it is cut again at once, on one system-memory surface.
  EXPECT_TRUE(b->Initialized());
  EXPECT_EQ(b->SurfaceCount(), 1);
  EXPECT_EQ(b->GetPatternCount(), 64);
  EXPECT_EQ(b->GetPatternRect(40), Rect(2560, 0, 2624, 64));

  TPictureCollection loose;
  TPictureCollectionItem* c = loose.Add();
  c->Assign(a);
  EXPECT_FALSE(c->Initialized());
  EXPECT_EQ(c->SurfaceCount(), 0);
  EXPECT_EQ(c->GetPatternCount(), 64);
}

// Sizes from a damaged archive: the item keeps no patterns, counted or cut,
// and drawing it is harmless.
TEST_F(PicturesOnDisplay, NegativeSizesCutIntoNothing) {
  draw->Initialize();
  TDXImageList list(nullptr);
  list.SetDXDraw(draw);
  struct Case {
    int pw, ph, sw, sh;
  } cases[] = {{-30, 20, 0, 0}, {30, -20, 0, 0}, {30, 20, -31, 0}, {30, 20, 0, -20}};
  for (const auto& c : cases) {
    TPictureCollectionItem* item = list.Items().Add();
    item->PatternWidth = c.pw;
    item->PatternHeight = c.ph;
    item->SkipWidth = c.sw;
    item->SkipHeight = c.sh;
    item->Picture().TakeGraphic(MakeDIB(100, 20, 8));
    item->Restore();
    EXPECT_TRUE(item->Initialized());
    EXPECT_EQ(item->SurfaceCount(), 0) << c.pw << " " << c.ph << " " << c.sw << " " << c.sh;
    EXPECT_EQ(item->GetPatternCount(), 0);
    item->StretchDraw(draw->Surface.get(), Bounds(0, 0, 30, 20), 0);
  }
}

TEST_F(PicturesOnDisplay, InitialisingAgainstAnUninitialisedDisplayFails) {
  TPictureCollection list;
  try {
    list.Initialize(draw);
    ADD_FAILURE() << "no error";
  } catch (const EPictureCollectionError& e) {
    EXPECT_EQ(e.Message(), "TPictureCollection cannot be initialized");
  }
  EXPECT_FALSE(list.Initialized());
  EXPECT_THROW(list.Initialize(nullptr), EPictureCollectionError);
}

TEST_F(PicturesOnDisplay, ListAndDisplayMayGoInEitherOrder) {
  draw->Initialize();
  {
    TDXImageList list(nullptr);
    list.Items().Add()->Picture().TakeGraphic(MakeDIB(8, 8, 8));
    list.SetDXDraw(draw);
  }  // the list goes first and unregisters
  draw->Finalize();
  draw->Initialize();
  auto list = std::make_unique<TDXImageList>(nullptr);
  list->Items().Add()->Picture().TakeGraphic(MakeDIB(8, 8, 8));
  list->SetDXDraw(draw);
  form.reset();  // the display goes first and tells the list
  EXPECT_EQ(list->DXDraw(), nullptr);
  EXPECT_FALSE(list->Items().Items(0)->Initialized());
}

}  // namespace
