#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>

#include "engine/dib/dib.h"
#include "engine/draw/pictures.h"
#include "tools/mkdata/archives.h"
#include "tools/mkdata/painter.h"
#include "tools/mkdata/picture_table.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Every archive written once and read back, shared by the tests.
class Archives : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterDIBGraphicClass();
    for (const std::string& name : ArchiveNames()) {
      TPictureCollection built;
      BuildPictureArchive(name, built);
      TMemoryStream m;
      built.SaveToStream(m);
      bytes_[name] = m.Bytes();
      auto read = std::make_unique<TPictureCollection>();
      TByteStream in(bytes_[name].data(), bytes_[name].size());
      read->LoadFromStream(in);
      lists_[name] = std::move(read);
    }
  }
  static void TearDownTestSuite() {
    lists_.clear();
    bytes_.clear();
  }
  static std::map<std::string, Bytes> bytes_;
  static std::map<std::string, std::unique_ptr<TPictureCollection>> lists_;
};
std::map<std::string, Bytes> Archives::bytes_;
std::map<std::string, std::unique_ptr<TPictureCollection>> Archives::lists_;

struct TUse {
  std::string Archive, Name;
  int Frames;  // the most frames the game animates over (1: a still)
};

// The pictures the game looks up, by the image list it loads them from,
// with the frame counts it animates over.
std::vector<TUse> GameUses() {
  std::vector<TUse> u;
  auto add = [&](const std::string& a, const std::string& n, int f = 1) { u.push_back({a, n, f}); };
  auto button = [&](const std::string& a, const std::string& n) {
    add(a, n);
    add(a, n + "_lighted");
  };
  const std::string data = "data.dan", info = "info.dan", video = "video.dan",
                    expl = "explosions.dan", fx = "fx.dan", bon = "bonuses.dan",
                    ui = "interface.dan", bg = "bg.dan", mod = "models.dan", weap = "weapons.dan";
  // Start-up sprites, cursor, ship fire, asteroids.
  add(data, "cursor_image_v1_1");
  add(data, "Player1fire_fx", 5);
  add(data, "asteroid1", 16);
  add(data, "asteroid2", 16);
  // Enemy book.
  add(info, "bg");
  add(info, "incoming_message", 15);
  button(info, "close");
  add(info, "fx", 10);
  for (int t = 0; t <= 19; ++t) button(info, "b" + std::to_string(t));
  for (int t = 1; t <= 19; ++t) add(info, "art" + std::to_string(t));
  // Intro and the full-screen pictures behind the menus.
  for (const char* n : {"partner_logo", "quorvil", "logotip", "gamelogo", "background", "topranks",
                        "credits", "help", "finish_bg"})
    add(video, n);
  // Explosions and overlays.
  for (int i = 1; i <= 5; ++i) add(expl, "ExplosionFx" + std::to_string(i), 21);
  add(expl, "mesh1", 21);
  add(expl, "mesh2", 21);
  // Effects.
  for (const char* n : {"playersmoke1", "playersmoke2", "playersmoke4"}) add(fx, n, 15);
  for (const char* n : {"smokeshoot1", "smokeshoot2", "smokeshoot3"}) add(fx, n, 16);
  add(fx, "smoke0");
  add(fx, "smoke1", 7);
  add(fx, "smoke3", 7);
  add(fx, "pixel_smoke2", 50);
  add(fx, "pixel_smoke3", 50);
  add(fx, "playerthor1", 6);
  add(fx, "showhealth");
  for (int i = 1; i <= 8; ++i) add(fx, "splinter" + std::to_string(i));
  // Bonuses.
  for (int k = 1; k <= 8; ++k) add(bon, "bonus" + std::to_string(k), (k == 5 || k == 8) ? 10 : 20);
  add(bon, "bonus7splinter");
  // Interface: start-up sprites, menus, heads-up display.
  for (const char* n : {"gameovermain",
                        "gameoverexit",
                        "pausemenulaptop",
                        "pausemenuresume",
                        "pausemenumain",
                        "pausemenuexit",
                        "NewGameButton",
                        "TopRanksButton",
                        "OptionsButton",
                        "HelpButton",
                        "CreditsButton",
                        "ExitGameButton",
                        "BackButton",
                        "SoundOptionsButton",
                        "GraphicOptionsButton",
                        "ControlsOptionsButton",
                        "mouse",
                        "keyboard",
                        "joystick",
                        "ChooseEpisode1Button",
                        "ChooseEpisode2Button",
                        "ays_ok",
                        "ays_cancel",
                        "clear",
                        "easy",
                        "normal",
                        "hard",
                        "minus",
                        "plus"})
    button(ui, n);
  for (int i = 1; i <= 5; ++i) {
    add(ui, "mission" + std::to_string(i));
    add(ui, "mission" + std::to_string(i) + "lighted");
  }
  add(ui, "1fx1", 4);
  add(ui, "pausemenupanel");
  add(ui, "ready");
  add(ui, "newlevel_mission", 10);
  for (const char* n :
       {"stvorka1", "stvorka2", "ays_panel", "enter_name", "element", "element_checked",
        "radiovox_volume", "music_volume", "sound_volume", "leftpanel", "secondary0", "secondary1"})
    add(ui, n);
  add(ui, "scorefont", 10);
  add(ui, "scorefont2", 10);
  add(ui, "scorefont3", 10);
  add(ui, "face_fx", 10);
  for (const char* n : {"face_empty", "face_speak", "face_hit"}) add(ui, n, 40);
  for (int p = 1; p <= 5; ++p) add(ui, "primary" + std::to_string(p));
  add(ui, "godindicator", 10);
  // Background layers.
  for (int i = 1; i <= 5; ++i) add(bg, "back" + std::to_string(i));
  for (int i = 1; i <= 3; ++i) add(bg, "stars" + std::to_string(i));
  for (int i = 1; i <= 4; ++i) add(bg, "layer" + std::to_string(i));
  // Ship, hit boxes, enemies, bosses.
  for (const char* n : {"player1left", "player1right", "player1left_armor", "player1right_armor",
                        "player1left_god", "player1right_god"})
    add(mod, n, 10);
  for (int i = 1; i <= 3; ++i) add(mod, "collision" + std::to_string(i));
  add(mod, "addon1", 10);
  const std::pair<const char*, int> models[] = {
      {"enemy1", 10},   {"enemy2", 18},   {"enemy3", 14},  {"s_enemy1", 20}, {"s_enemy2", 20},
      {"enemy4", 10},   {"s_enemy3", 14}, {"enemy5", 20},  {"s_enemy4", 14}, {"enemy6", 10},
      {"enemy7", 18},   {"s_enemy5", 14}, {"enemy8", 20},  {"enemy9", 10},   {"s_enemy6", 10},
      {"s_enemy7", 10}, {"enemy10", 20},  {"enemy11", 20}, {"enemy12", 22}};
  for (const auto& [n, f] : models) add(mod, n, f);
  add(mod, "boss1");
  add(mod, "boss2");
  add(mod, "boss3", 10);
  add(mod, "boss1weapon1", 16);
  add(mod, "boss1creator");
  add(mod, "boss2generator");
  add(mod, "boss3generator", 10);
  // Shots, mounts, impacts. The player's shots are looked up as "Clip1",
  // "2Clip1" and so on; lookups ignore case.
  for (const auto& [n, f] : std::vector<std::pair<const char*, int>>{
           {"Clip1", 6},           {"Clip2", 6},           {"Clip3", 10},
           {"clip4", 8},           {"2Clip1", 10},         {"2Clip2", 20},
           {"3clip1", 5},          {"3clip2", 10},         {"clipexplosion1", 20},
           {"clipexplosion2", 20}, {"clipexplosion3", 20}, {"clipexplosion4", 11},
           {"secondary1", 10},     {"bomb2", 11},          {"enemy2clip", 1},
           {"special1", 8},        {"sphere2", 5},         {"enemy5clip", 6},
           {"enemy4clip", 8},      {"enemy7clip", 8},      {"enemy8clip", 8},
           {"enemy9clip", 11},     {"enemy10clip", 11},    {"enemy11clip", 1},
           {"enemy12clip", 8},     {"enemy14clip", 8},     {"enemy15clip", 10},
           {"enemy16clip", 10},    {"enemy17clip", 10},    {"enemy19clip", 11}})
    add(weap, n, f);
  for (int p = 1; p <= 5; ++p) add(weap, "primary" + std::to_string(p), 10);
  return u;
}

TEST_F(Archives, EveryPictureTheGameUsesResolvesWithItsFrames) {
  for (const TUse& use : GameUses()) {
    SCOPED_TRACE(use.Archive + " / " + use.Name);
    ASSERT_TRUE(lists_.count(use.Archive));
    TPictureCollectionItem* item = nullptr;
    try {
      item = lists_[use.Archive]->Find(use.Name);
    } catch (const EPictureCollectionError& e) {
      ADD_FAILURE() << e.Message();
      continue;
    }
    ASSERT_NE(item->Picture().Graphic(), nullptr);
    EXPECT_GE(item->GetPatternCount(), use.Frames);
  }
}

// Sizes that the game's fixed positions imply: a picture of another size
// would overlap its neighbours, leave a gap or stop short of the screen edge.
TEST_F(Archives, SizesFitTheGamesLayout) {
  const std::string video = "video.dan", ui = "interface.dan", mod = "models.dan";
  auto find = [&](const std::string& a, const std::string& n) { return lists_[a]->Find(n); };
  struct TSize {
    std::string Archive, Name;
    int W, H;  // 0: not fixed
  };
  std::vector<TSize> exact = {
      {"info.dan", "bg", 800, 600},
      // The ship rises until Y 538 and plays at Y 595 - height.
      {mod, "player1left", 0, 57},
      {mod, "player1right", 0, 57},
      // The doors rest just off screen (-358, 600) and meet at 0 and 278.
      {ui, "stvorka1", 800, 358},
      {ui, "stvorka2", 800, 322},
      // Ten pixels per second of god mode, 23 seconds, from Y 226 to 456.
      {ui, "godindicator", 0, 230},
      // The banner stops at X 154: centred.
      {ui, "ready", 492, 0},
      {ui, "pausemenupanel", 800, 0},
      {ui, "leftpanel", 0, 600},
  };
  for (const char* n : {"partner_logo", "quorvil", "logotip", "gamelogo", "background", "topranks",
                        "credits", "help", "finish_bg"})
    exact.push_back({video, n, 800, 600});
  for (const TSize& s : exact) {
    SCOPED_TRACE(s.Name);
    TPictureCollectionItem* item = find(s.Archive, s.Name);
    if (s.W) EXPECT_EQ(item->Width(), s.W);
    if (s.H) EXPECT_EQ(item->Height(), s.H);
  }

  // Pictures set side by side or stacked at fixed steps fit within the step.
  std::vector<TSize> atMost = {
      {ui, "scorefont", 11, 0},
      {ui, "scorefont2", 10, 0},
      {ui, "scorefont3", 12, 0},
      {ui, "element", 20, 0},
      {ui, "element_checked", 20, 0},
      {ui, "ays_ok", 140, 0},
      {ui, "easy", 0, 36},
      {ui, "normal", 0, 36},
      {ui, "hard", 0, 36},
      {ui, "pausemenulaptop", 0, 38},
      {ui, "pausemenuresume", 0, 38},
      {ui, "pausemenumain", 0, 38},
      {ui, "pausemenuexit", 0, 38},
      // The pilot's face sits inside the left panel at (10, 536).
      {ui, "face_empty", 90, 64},
      {ui, "face_speak", 90, 64},
      {ui, "face_hit", 90, 64},
  };
  for (const char* n :
       {"NewGameButton", "TopRanksButton", "OptionsButton", "HelpButton", "CreditsButton",
        "ExitGameButton", "SoundOptionsButton", "GraphicOptionsButton", "ControlsOptionsButton",
        "ChooseEpisode1Button", "ChooseEpisode2Button"})
    atMost.push_back({ui, n, 0, 40});
  for (int i = 1; i <= 5; ++i) atMost.push_back({ui, "mission" + std::to_string(i), 0, 40});
  for (int t = 0; t <= 19; ++t) atMost.push_back({"info.dan", "b" + std::to_string(t), 0, 28});
  // Formation enemies stand on a grid of 58 x 50, wave enemies on 80 x 60.
  for (const char* n :
       {"s_enemy1", "s_enemy2", "s_enemy3", "s_enemy4", "s_enemy5", "s_enemy6", "s_enemy7"})
    atMost.push_back({mod, n, 58, 50});
  for (const char* n : {"enemy1", "enemy2", "enemy3", "enemy4", "enemy5", "enemy6", "enemy7",
                        "enemy8", "enemy9", "enemy10", "enemy11", "enemy12"})
    atMost.push_back({mod, n, 80, 60});
  for (const TSize& s : atMost) {
    SCOPED_TRACE(s.Name);
    TPictureCollectionItem* item = find(s.Archive, s.Name);
    if (s.W) EXPECT_LE(item->Width(), s.W);
    if (s.H) EXPECT_LE(item->Height(), s.H);
  }

  // Parts placed at offsets (or hit boxes placed on the ship) end inside
  // what carries them.
  struct TPlaced {
    std::string Carrier, Part;
    int X, Y;
  } placed[] = {
      {"player1left", "collision1", 16, 0},
      {"player1left", "collision2", 0, 26},
      {"player1left", "collision3", 8, 20},
      {"player1right", "collision1", 16, 0},
      {"player1right", "collision2", 0, 26},
      {"player1right", "collision3", 8, 20},
      {"player1left_armor", "collision2", 0, 26},
      {"player1left_god", "collision2", 0, 26},
      // Every boss part at its offset on its body; a few of boss 3's stick
      // out past its top or left edge by design, none past the other two.
      {"boss1", "boss1weapon1", 18, 35},
      {"boss1", "boss1weapon1", 702, 20},
      {"boss1", "boss1creator", 115, 23},
      {"boss1", "boss1creator", 612, 23},
      {"boss2", "boss2generator", 40, 35},
      {"boss2", "boss2generator", 126, 42},
      {"boss2", "boss2generator", 243, 50},
      {"boss2", "boss2generator", 495, 50},
      {"boss2", "boss2generator", 613, 42},
      {"boss2", "boss2generator", 697, 35},
      {"boss3", "boss3generator", 37, -10},
      {"boss3", "boss3generator", -10, 80},
      {"boss3", "boss3generator", 60, 193},
      {"boss3", "boss3generator", 310, -10},
      {"boss3", "boss3generator", 345, 80},
      {"boss3", "boss3generator", 270, 193},
  };
  for (const TPlaced& p : placed) {
    SCOPED_TRACE(p.Carrier + " / " + p.Part);
    TPictureCollectionItem* carrier = find(mod, p.Carrier);
    TPictureCollectionItem* part = find(mod, p.Part);
    EXPECT_LE(p.X + part->Width(), carrier->Width());
    EXPECT_LE(p.Y + part->Height(), carrier->Height());
  }

  // Every form of the ship is as tall as the ship's lane expects, and
  // asteroids re-enter at a height drawn below 600 minus their width.
  for (const char* n :
       {"player1left_armor", "player1right_armor", "player1left_god", "player1right_god"})
    EXPECT_EQ(find(mod, n)->Height(), 57) << n;
  for (const char* n : {"asteroid1", "asteroid2"})
    EXPECT_LT(find("data.dan", n)->Width(), 600) << n;

  // After a lost display the first picture of the first list is stretched
  // over the whole screen: it must cover it, in the screen's shape.
  TPictureCollectionItem* first = lists_["data.dan"]->Items(0);
  EXPECT_FALSE(first->Transparent);
  EXPECT_EQ(first->GetPatternCount(), 1);
  EXPECT_EQ(first->Width() * 3, first->Height() * 4);
}

TEST_F(Archives, WrittenReadAndWrittenAgainIsByteIdentical) {
  for (const std::string& name : ArchiveNames()) {
    TMemoryStream again;
    lists_[name]->SaveToStream(again);
    EXPECT_TRUE(again.Bytes() == bytes_[name]) << name;
    // Drawing afresh gives the same bytes: the data folder is reproducible.
    TPictureCollection rebuilt;
    BuildPictureArchive(name, rebuilt);
    TMemoryStream fresh;
    rebuilt.SaveToStream(fresh);
    EXPECT_TRUE(fresh.Bytes() == bytes_[name]) << name;
  }
}

TEST_F(Archives, TableNamesAreUniqueAndShapesFitTheirPictures) {
  std::set<std::string> seen;
  for (const TPictureSpec& s : PictureTable()) {
    EXPECT_TRUE(seen.insert(s.Archive + "/" + LowerCase(s.Name)).second) << s.Name;
    EXPECT_GT(s.Width, 0) << s.Name;
    EXPECT_GT(s.Height, 0) << s.Name;
    TPictureCollectionItem* item = lists_[s.Archive]->Find(s.Name);
    EXPECT_EQ(item->GetPatternCount(), s.Frames) << s.Name;
    EXPECT_EQ(item->Width(), s.Width) << s.Name;
    EXPECT_EQ(item->Height(), s.Height) << s.Name;
    EXPECT_EQ(item->Transparent, s.Transparent) << s.Name;
    EXPECT_EQ(item->TransparentColor(), clBlack) << s.Name;
  }
}

int OpaqueInCell(TDIB& dib, int Cell, int W, int H) {
  int n = 0;
  for (int y = 0; y < H; ++y)
    for (int x = Cell * W; x < (Cell + 1) * W; ++x) n += dib.ScanLine(y)[x] != kTransparentIndex;
  return n;
}

// Enemy shots and the ship's hit boxes collide by pixels: every frame must
// have opaque pixels, the boxes must be solid, and sprites must keep a
// transparent surrounding.
TEST_F(Archives, PixelTestedPicturesHaveOpaqueShapesOnTransparentGround) {
  for (const TPictureSpec& s : PictureTable()) {
    if (s.Kind != pkShot && s.Kind != pkHitBox && s.Kind != pkShip && s.Kind != pkEnemy) continue;
    SCOPED_TRACE(s.Name);
    auto* dib = dynamic_cast<TDIB*>(lists_[s.Archive]->Find(s.Name)->Picture().Graphic());
    ASSERT_NE(dib, nullptr);
    ASSERT_EQ(dib->BitCount(), 8);
    for (int f = 0; f < s.Frames; ++f) {
      int opaque = OpaqueInCell(*dib, f, s.Width, s.Height);
      if (s.Kind == pkHitBox)
        EXPECT_EQ(opaque, s.Width * s.Height);
      else
        EXPECT_GT(opaque, 0) << "frame " << f;
      if (s.Kind == pkShip || s.Kind == pkEnemy) {
        EXPECT_EQ(dib->ScanLine(0)[f * s.Width], kTransparentIndex) << "frame " << f;
        EXPECT_LT(opaque, s.Width * s.Height) << "frame " << f;
      }
    }
  }
  // The transparent colour is black and no drawn colour is.
  const TRGBQuads& pal = PainterPalette();
  for (int i = 1; i < 256; ++i) {
    const RGBQUAD& q = pal[static_cast<size_t>(i)];
    if (i >= 16 && i < 128) EXPECT_GT(q.rgbRed + q.rgbGreen + q.rgbBlue, 0) << i;
  }
}

// The contrast measure the pictures are chosen by and the game's screens are
// checked with, on colours whose ratio is known.
TEST(Contrast, FollowsTheRelativeLuminanceOfBothColours) {
  EXPECT_DOUBLE_EQ(ContrastRatio(0x000000, 0xFFFFFF), 21.0);
  EXPECT_DOUBLE_EQ(ContrastRatio(0xFFFFFF, 0x000000), 21.0);
  EXPECT_DOUBLE_EQ(ContrastRatio(0x3A7BC8, 0x3A7BC8), 1.0);
  // Middle grey against white and black: 3.95 and 5.32.
  EXPECT_NEAR(ContrastRatio(0x808080, 0xFFFFFF), 3.95, 0.01);
  EXPECT_NEAR(ContrastRatio(0x808080, 0x000000), 5.32, 0.01);
  // Green weighs most, blue least.
  EXPECT_GT(RelativeLuminance(0x00FF00), RelativeLuminance(0xFF0000));
  EXPECT_GT(RelativeLuminance(0xFF0000), RelativeLuminance(0x0000FF));
}

// Every line of letters in every picture reads against the picture's own
// pixels around it (what lies under a transparent part is the screen's
// business, checked where the game shows it), in every frame, as the
// 16-bit display shows the colours.
TEST_F(Archives, EveryPicturesWordsReadAgainstThePictureAroundThem) {
  for (const TPictureSpec& s : PictureTable()) {
    std::vector<TTextRun> runs;
    const std::unique_ptr<TDIB> dib = PaintPicture(s, &runs);
    for (const TTextRun& r : runs) {
      double worst = 21;
      int wx = 0, wy = 0;
      for (int y = std::max(0, r.Y - 1); y < std::min(s.Height, r.Y + r.H + 1); ++y)
        for (int x = std::max(0, r.X - 1); x < std::min(s.Width, r.X + r.W + 1); ++x) {
          const uint8_t p = dib->ScanLine(y)[r.Frame * s.Width + x];
          if (p == r.Ink || p == kTransparentIndex) continue;
          if (InkContrast(r.Ink, p) < worst) {
            worst = InkContrast(r.Ink, p);
            wx = x;
            wy = y;
          }
        }
      EXPECT_GE(worst, kReadableContrast) << s.Archive << "/" << s.Name << " frame " << r.Frame
                                          << " \"" << r.Text << "\" at (" << wx << "," << wy << ")";
    }
  }
}

}  // namespace
