// The main form on the headless backend: start-up, the frame loop with its
// overlays and brightness, the window timers and shut-down.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "framework/filer.h"
#include "framework/inifiles.h"
#include "framework/sysutils.h"
#include "game/core/game_fixture.h"
#include "game/play/play.h"
#include "game/screens/interface_sprite.h"
#include "platform/ddraw/ddraw_seam.h"
#include "platform/win/user_seam.h"

namespace {

using game_test::GameFixture;
namespace fs = std::filesystem;

std::string Missing(const std::string& Name) {
  return Utf8ToAnsi("Не найден файл \"" + Name + "\" !!!");
}
std::string Damaged(const std::string& Name) {
  return Utf8ToAnsi("Повреждён файл \"" + Name + "\" !!!");
}

// The texts of the boxes shown since the last take.
std::vector<std::string> TakeBoxTexts() {
  std::vector<std::string> t;
  for (const auto& b : TakeRecordedMessageBoxes()) t.push_back(b.Text);
  return t;
}

TEST(GameStartUp, SettingsAndArchivesAsFound) {
  const struct {
    const char* Name;
    std::set<std::string> MissingFiles;
    const char* Ini;  // nullptr: no file
    std::string Box;  // the one message shown, "" for none
    bool Ends;
    const char* Cut = nullptr;  // a sound archive cut to its first half
  } cases[] = {
      {"no file", {}, nullptr, "", false},
      {"setup only",
       {},
       "[Options]\r\nUDI=1\r\nFPS=1\r\nRocketSmoke=0\r\nBrightness=70\r\nSoundFxLevel=3\r\n"
       "MusicLevel=4\r\nRadioVoxLevel=5\r\nChannels=2\r\nSplinters=1\r\nControls=3\r\n"
       "Bumpiness=0\r\n[Keys]\r\nLeft=72\r\nRight=76\r\nPrimary=0\r\nSecondary=0\r\n",
       "",
       false},
      {"malformed",
       {},
       "[Options]\r\nBrightness=bright\r\nSoundFxLevel=\r\n[User]\r\nStatus=x\r\n"
       "[Table]\r\ns1=12x\r\nn1=Ann\r\n[TT]\r\nt5=--\r\n[eB]\r\ne=zz03\r\n",
       "",
       false},
      {"no snd.tor", {"snd.tor"}, nullptr, Missing("snd.tor"), false},
      {"vc.tor cut", {}, nullptr, Damaged("vc.tor"), false, "vc.tor"},
      {"no models.dan", {"models.dan"}, nullptr, Missing("models.dan"), true},
      {"no data.dan", {"data.dan"}, nullptr, Missing("data.dan"), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    GameFixture game(c.MissingFiles);
    if (c.Ini) game.WriteIni(c.Ini);
    if (c.Cut) {
      const fs::path archive = game.Root() / "data" / "sound" / c.Cut;
      const fs::path whole = fs::canonical(archive);
      fs::remove(archive);
      fs::copy_file(whole, archive);
      fs::resize_file(archive, fs::file_size(whole) / 2);
    }
    TMainForm* form = game.Create();
    Application->ProcessMessages();
    std::vector<std::string> boxes = TakeBoxTexts();
    if (c.Box.empty())
      EXPECT_TRUE(boxes.empty()) << boxes.front();
    else
      EXPECT_EQ(boxes, std::vector<std::string>{c.Box});
    EXPECT_EQ(Application->Terminated(), c.Ends);
    EXPECT_EQ(form->StartUpFailed, c.Ends);
    EXPECT_EQ(GetCurrentDir(), (game.Root() / "data").string());
    // Timers run once start-up is through; the 20-ms one from creation.
    for (TTimer* t : {form->PixelAnimationTimer, form->Timer1, form->playerFX,
                      form->PlayerDeathTimer, form->VideoTimer, form->ScoreTimer})
      EXPECT_EQ(t->Enabled(), !c.Ends);
    EXPECT_TRUE(form->WayPathTimer->Enabled());
    EXPECT_FALSE(form->Timer_stat->Enabled());
    EXPECT_EQ(CursorSprite != nullptr, !c.Ends);
    EXPECT_TRUE(GameOptions.Asteroids && GameOptions.PageFlip);
    EXPECT_TRUE(form->DXDraw->Options().Contains(doFlip));
    EXPECT_EQ(form->DXDraw->Cursor(), crNone);
    if (c.Ends) continue;

    const std::string name = c.Name;
    EXPECT_EQ(GameOptions.Brightness, name == "setup only" ? 70 : 50);
    EXPECT_EQ(GameOptions.SoundFxLevel, name == "setup only" ? 3 : 8);
    EXPECT_EQ(GameOptions.Channels, name == "setup only" ? 2 : 0);
    EXPECT_EQ(GameOptions.Controls, name == "setup only" ? 3 : 1);
    EXPECT_EQ(GameOptions.UDI, name == "setup only");
    EXPECT_EQ(GameOptions.RocketSmoke, name != "setup only");
    EXPECT_EQ(form->DXInput->Keyboard()->Assigns[ibLeft][0], name == "setup only" ? 72 : 0x25);
    EXPECT_EQ(Player.Status, 2);
    EXPECT_EQ(TopRanks[1].Name, name == "malformed" ? "Ann" : "");
    EXPECT_EQ(TopRanks[1].Score, 0);
    EXPECT_EQ(Player.BestTimes[5], 0);
    // The book: the entries' pictures, and the row shown.
    EXPECT_EQ(EnemyBookCount, name == "malformed" ? 1 : 0);
    EXPECT_EQ(BookEntryNames[1], name == "malformed" ? "b3" : "b0");
    EXPECT_EQ(BookEntryLitNames[1], name == "malformed" ? "b3_lighted" : "b0_lighted");
    EXPECT_EQ(BookEntries[1]->GetImage(), form->BookList->Items().Find(BookEntryNames[1]));
    EXPECT_EQ(EnemyBook[20], name == "malformed" ? 1 : 0);
    EXPECT_EQ(PausePanel->Y, 300 - PausePanel->Height / 2);
    EXPECT_EQ(PauseExitButton->Y, PausePanel->Y + 122);
    EXPECT_EQ(BookModel->Width, 114);
    EXPECT_FALSE(PauseOverlay->Visible);
  }
}

TEST(GameStartUp, WithoutTheAudioLibraryTheGameGoesOnSilent) {
  GameFixture game;
  std::filesystem::remove(game.Root() / "libbass.so");
  TMainForm* form = game.Create();
  form->Show();
  Application->ProcessMessages();
  EXPECT_EQ(TakeBoxTexts(), std::vector<std::string>{"BASS.DLL is not loaded."});
  ASSERT_NE(MusicPlayer, nullptr);
  EXPECT_EQ(MusicPlayer->BASSDLLVer(), "");
  EXPECT_FALSE(MusicPlayer->AudioReady);
  form->OpenMusic("music\\menu.mp3");
  EXPECT_EQ(TakeBoxTexts(), std::vector<std::string>{"Cannot open file (BassPlayer is not ready)"});
}

TEST(GameFrame, LagIsScaledByDifficulty) {
  const struct {
    int Difficulty, Lag, Moved;
  } cases[] = {{0, 1, 1},   {0, 4, 4},   {0, 5, 5},   {0, 10, 9},  {0, 15, 13},
               {0, 16, 14}, {0, 25, 23}, {1, 25, 25}, {2, 4, 4},   {2, 5, 6},
               {2, 16, 18}, {2, 25, 28}, {3, 16, -1}, {-1, 16, -1}};
  for (const auto& c : cases)
    EXPECT_EQ(ScaledLag(c.Lag, c.Difficulty), c.Moved) << c.Difficulty << "/" << c.Lag;
}

TEST(GameFrame, BrightnessRamp) {
  DDGAMMARAMP original;
  for (int i = 0; i < 256; ++i)
    original.red[i] = original.green[i] = original.blue[i] = static_cast<uint16_t>(i * 257);
  const struct {
    int Level, Index, Value;
  } cases[] = {
      {50, 100, 25700}, {49, 100, 25700 - 329},  {49, 1, 0},        {0, 200, 51400 - 16384},
      {0, 60, 0},       {100, 10, 2570 + 16383}, {100, 255, 65535}, {75, 0, 8191},
      {-200, 255, 0},   {150, 0, 32766}};
  for (const auto& c : cases) {
    DDGAMMARAMP r = BrightnessRamp(original, c.Level);
    EXPECT_EQ(r.red[c.Index], c.Value) << c.Level;
    EXPECT_EQ(r.green[c.Index], c.Value) << c.Level;
    EXPECT_EQ(r.blue[c.Index], c.Value) << c.Level;
  }
}

class GameRun : public ::testing::Test {
 protected:
  void SetUp() override {
    form_ = game_.Create();
    // No fade-in: the tests set the brightness themselves.
    ScreenFadeStep = 0;
    game_.RunFrames(3);
  }
  double MeanLight() {
    const TDDFrame& f = game_.Video().LastFrame();
    double sum = 0;
    for (uint32_t p : f.Pixels) sum += ((p >> 16) & 255) + ((p >> 8) & 255) + (p & 255);
    return f.Pixels.empty() ? 0 : sum / static_cast<double>(f.Pixels.size());
  }
  GameFixture game_;
  TMainForm* form_ = nullptr;
};

TEST_F(GameRun, PresentedFrameCarriesTheBrightness) {
  ASSERT_GT(game_.Video().FrameCount(), 0);
  BookBackground->Visible = true;
  auto lightAt = [&](int Level) {
    form_->UpdateBrightness(Level);
    game_.RunFrames(2);
    return MeanLight();
  };
  double normal = lightAt(50), dark = lightAt(25), bright = lightAt(100), black = lightAt(-200);
  EXPECT_GT(normal, 0);
  EXPECT_LT(dark, normal);
  EXPECT_GT(bright, normal);
  EXPECT_EQ(black, 0);
  EXPECT_EQ(lightAt(50), normal);
}

TEST_F(GameRun, OverlaysTouchOnlyTheirArea) {
  BookBackground->Visible = true;
  game_.RunFrames(2);
  const std::vector<uint32_t> before = game_.Video().LastFrame().Pixels;
  const uint32_t width = game_.Video().LastFrame().Width;
  ASSERT_EQ(width, 800u);

  GameState = "graphicoptions";
  GameOptions.Brightness = 50;
  game_.RunFrames(2);
  const std::vector<uint32_t>& after = game_.Video().LastFrame().Pixels;
  ASSERT_EQ(after.size(), before.size());
  struct TBox {
    int L, T, R, B;
    int Changed = 0;
  };
  // "Brightness" and its value, and the version in the corner.
  TBox boxes[] = {{255, 279, 420, 312}, {470, 279, 520, 312}, {660, 6, 800, 40}};
  int outside = 0;
  for (size_t i = 0; i < after.size(); ++i) {
    if (after[i] == before[i]) continue;
    int x = static_cast<int>(i % width), y = static_cast<int>(i / width);
    bool in = false;
    for (TBox& b : boxes)
      if (x >= b.L && x < b.R && y >= b.T && y < b.B) {
        ++b.Changed;
        in = true;
      }
    outside += !in;
  }
  EXPECT_EQ(outside, 0);
  for (const TBox& b : boxes) EXPECT_GT(b.Changed, 20) << b.L << "," << b.T;
}

TEST_F(GameRun, PointerIsHiddenOverTheDisplay) {
  PostMessageA(form_->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(100, 100));
  Application->ProcessMessages();
  EXPECT_FALSE(HeadlessCursorVisible());
}

TEST_F(GameRun, WindowTimersTickAtTheCoarseGranularity) {
  int fast = 0, ten = 0;
  // No frames in between: the loop then waits for the timers.
  form_->DXTimer->SetEnabled(false);
  form_->PixelAnimationTimer->SetOnTimer([&](TObject*) { ++fast; });
  form_->Timer1->SetOnTimer([&](TObject*) { ++ten; });
  game_.RunFor(1000);
  // 1000 ms / 15.625 ms = 64 ticks, give or take the one in progress.
  EXPECT_NEAR(fast, 64, 1);
  EXPECT_NEAR(ten, 64, 1);
  // Statistics run without music too.
  EXPECT_TRUE(form_->Timer_stat->Enabled());
}

bool SameSamples(const THeadlessWavePlay& Play, TWaveCollectionItem* Wave) {
  const TWave& w = Wave->Wave();
  return Play.Samples && Play.Samples->size() >= static_cast<size_t>(w.Size()) &&
         std::memcmp(Play.Samples->data(), w.Data(), static_cast<size_t>(w.Size())) == 0;
}

TEST_F(GameRun, ScoreRollsUpInStepsWithItsSound) {
  const struct {
    int64_t Gap, Step;
  } steps[] = {{1, 1},   {50, 1},   {51, 2},    {100, 2},  {101, 7},
               {200, 7}, {201, 12}, {1000, 12}, {1001, 17}};
  for (const auto& s : steps) EXPECT_EQ(ScoreStep(s.Gap), s.Step) << s.Gap;
  EXPECT_EQ(ScoreDigitsText(9), "0000009");
  EXPECT_EQ(ScoreDigitsText(99999), "0099999");
  EXPECT_EQ(ScoreDigitsText(1234567), "1234567");
  EXPECT_EQ(ScoreDigitsText(12345678), "12345678");

  GameOptions.SoundFxLevel = 7;
  GameOptions.Channels = 1;
  Player.Score = (1LL << 33) + 1001;
  DisplayedScore = 1LL << 33;
  HeadlessClearWavesPlayed();
  form_->ScoreTimerTimer(nullptr);
  EXPECT_EQ(DisplayedScore, (1LL << 33) + 17);
  std::vector<THeadlessWavePlay> played = HeadlessWavesPlayed();
  ASSERT_EQ(played.size(), 1u);
  EXPECT_EQ(played[0].Volume, 7 * 200 - 2000);
  EXPECT_EQ(played[0].Pan, 0);
  EXPECT_TRUE(SameSamples(played[0], form_->DXWaveList->Items().Find("score")));

  // Caught up: nothing moves and nothing sounds; at level 0 no sound at all.
  DisplayedScore = Player.Score;
  form_->ScoreTimerTimer(nullptr);
  GameOptions.SoundFxLevel = 0;
  DisplayedScore = 0;
  form_->ScoreTimerTimer(nullptr);
  EXPECT_EQ(HeadlessWavesPlayed().size(), 1u);
}

TEST_F(GameRun, MusicPlaysAndLoopsOnTheHeadlessDevice) {
  ASSERT_NE(MusicPlayer, nullptr);
  ASSERT_TRUE(MusicPlayer->AudioReady);
  EXPECT_EQ(MusicPlayer->StreamVolume(), GameOptions.MusicLevel * 10);
  // With no file, both read 0 and nothing seeks.
  form_->Timer_statTimer(nullptr);
  EXPECT_EQ(MusicPlayer->GetPlaybackPosition(), 0u);
  form_->OpenMusic("music\\menu.mp3");
  EXPECT_EQ(MusicPlayer->CurrentFile(), "music\\menu.mp3");
  ASSERT_EQ(MusicPlayer->PlayState(), psPlaying);
  const uint32_t length = MusicPlayer->GetPlaybackLength();
  EXPECT_GT(length, 20000u);
  const struct {
    uint32_t From, After;
  } cases[] = {{length - 55, 25}, {length - 1, 25}, {length - 56, length - 56}};
  for (const auto& c : cases) {
    MusicPlayer->SetPlaybackPosition(c.From);
    form_->Timer_statTimer(nullptr);
    EXPECT_NEAR(MusicPlayer->GetPlaybackPosition(), c.After, 1) << c.From;
  }
}

TEST_F(GameRun, OneSecondClocks) {
  GameState = "mainmenu";
  form_->VideoTimerTimer(nullptr);
  EXPECT_EQ(Player.LevelTime, 0);
  EXPECT_EQ(Player.GameTime, 0);
  GameState = "game";
  Player.GodTime = 2;
  form_->VideoTimerTimer(nullptr);
  EXPECT_EQ(Player.LevelTime, 1);
  EXPECT_EQ(Player.GameTime, 1);
  EXPECT_EQ(Player.GodTime, 1);

  GameState = "newlevel";
  int blink[4];
  for (int& b : blink) {
    form_->VideoTimerTimer(nullptr);
    b = ContinueBlink;
  }
  EXPECT_EQ(blink[0], 1);
  EXPECT_EQ(blink[1], -1);
  EXPECT_EQ(blink[3], -1);
  EXPECT_EQ(Player.LevelTime, 1);
}

TEST_F(GameRun, ShakeResetReachesTheEngineWithoutAShip) {
  TSpriteEngine* engine = form_->DXSpriteEngine->Engine();
  GameState = "game";
  ShakeCount = 3;
  ShakeAmplitude = 10;
  for (int i = 0; i < 2; ++i) {
    form_->PixelAnimationTimerTimer(nullptr);
    EXPECT_LE(engine->X, 0);
    EXPECT_GT(engine->X, -10);
  }
  form_->PixelAnimationTimerTimer(nullptr);
  EXPECT_EQ(engine->X, 0);
  EXPECT_EQ(engine->Y, 0);
  EXPECT_EQ(ShakeAmplitude, 0);
  // Left shaken by a screen change with no ship about: set straight anyway.
  engine->X = -4;
  GameState = "mainmenu";
  ASSERT_EQ(PlayerShip, nullptr);
  form_->PixelAnimationTimerTimer(nullptr);
  EXPECT_EQ(engine->X, 0);
}

TEST_F(GameRun, ShipPointersClearWhenTheShipGoes) {
  PlayerShip = new TPlayerSprite(form_->DXSpriteEngine->Engine());
  EngineFlames[2] = new TFxSprite(form_->DXSpriteEngine->Engine());
  PlayerShip->MarkDead();
  EngineFlames[2]->MarkDead();
  form_->DXSpriteEngine->FreeDead();
  EXPECT_EQ(PlayerShip, nullptr);
  EXPECT_EQ(EngineFlames[2], nullptr);
}

TEST_F(GameRun, ShipBanksTowardsItsMotion) {
  PlayerShip = new TPlayerSprite(form_->DXSpriteEngine->Engine());
  TPictureCollection& models = form_->ModelsList->Items();
  PlayerShip->SetImage(models.Find("player1left"));
  PlayerShip->AnimPos = 1;
  GameState = "game";
  ShipPrevX = 300;
  PlayerShip->X = 310;  // right by 10: one frame towards the right picture
  form_->Timer1Timer(nullptr);
  EXPECT_EQ(PlayerShip->GetImage(), models.Find("player1right"));
  EXPECT_EQ(PlayerShip->AnimPos, 2);
  PlayerShip->X = 410;  // by 100: c = Trunc(100 / 20 + 1) = 6
  form_->Timer1Timer(nullptr);
  EXPECT_EQ(PlayerShip->AnimPos, 8);
  form_->Timer1Timer(nullptr);  // still: settles half a frame back
  EXPECT_EQ(PlayerShip->AnimPos, 7);
  Player.GodTime = 3;
  PlayerShip->X = 400;
  form_->Timer1Timer(nullptr);
  EXPECT_EQ(PlayerShip->GetImage(), models.Find("player1left_god"));
}

TEST_F(GameRun, PathRecorderWritesItsFileWhenSwitchedOn) {
  PathRecorderDone = false;
  for (int i = 1; i <= 401; ++i) {
    MouseX = i;
    MouseY = 1000 + i;
    form_->WayPathTimerTimer(nullptr);
  }
  EXPECT_TRUE(PathRecorderDone);
  std::string want = "Memo1\r\nx(";
  for (int i = 1; i <= 400; ++i) want += IntToStr(i) + ",";
  want += ");y(";
  for (int i = 1; i <= 400; ++i) want += IntToStr(1000 + i) + ",";
  want += ");\r\n";
  std::ifstream in(game_.Root() / "data" / "enemy1.alg", std::ios::binary);
  std::stringstream got;
  got << in.rdbuf();
  EXPECT_EQ(got.str(), want);
}

TEST_F(GameRun, ClosingOpensTheHomePageOnlyWhenItExists) {
  form_->Close();
  EXPECT_TRUE(HeadlessShellOpened().empty());
  EXPECT_EQ(MusicPlayer, nullptr);
  std::ofstream(game_.Root() / "Homepage.url") << "[InternetShortcut]\r\n";
  form_->FormShow(nullptr);
  form_->Close();
  EXPECT_EQ(HeadlessShellOpened(),
            std::vector<std::string>{(game_.Root() / "Homepage.url").string()});
}

}  // namespace
