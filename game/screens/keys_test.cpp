// Typed codes, Enter, F1 and Esc as the keyboard sends them, and the intro.
#include <string>

#include "framework/stdctrls.h"
#include "music/bass_player.h"
#include "game/play/play.h"
#include "game/screens/screens_fixture.h"
#include "platform/backend/headless/headless_input.h"

namespace {

constexpr const char* kArmor = "6880667274867368";
constexpr const char* kGod = "75817088679066";
constexpr const char* kExtra1 = "8772798985";
constexpr const char* kExtra2 = "74868170906788668071";
constexpr const char* kPrimary = "89687275877081866679";
constexpr const char* kRockets = "8174906778718872688675";
constexpr const char* kMissions = "908766817473";

TEST_F(ScreensTest, CodesWorkOnlyOnTheirOwnScreens) {
  struct Case {
    std::string State;
    const char* Code;
    bool Works;
  } cases[] = {
      {"game", kArmor, true},      {"pause", kGod, true},      {"mainmenu", kArmor, false},
      {"options", kExtra1, false}, {"game", kMissions, false}, {"mainmenu", kMissions, true},
      {"options", kRockets, true}, {"game", kPrimary, true},   {"book", kPrimary, false},
  };
  EnterPlay();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.State + " " + c.Code);
    Player = TPlayer();
    GameState = c.State;
    CheatBuffer.clear();
    TakeSounds();
    TypeCode(c.Code);
    const bool changed = Player.Armor || Player.GodTime > 0 || Player.ExtraWeapon1Time > 0 ||
                         Player.Status == 10 || Player.Rockets == 8 || Player.PrimaryLevel == 2;
    EXPECT_EQ(changed, c.Works);
    EXPECT_EQ(CountSounds("bonus2"), c.Works ? 1 : 0);
    EXPECT_EQ(CheatBuffer.empty(), c.Works);
  }
}

TEST_F(ScreensTest, AStrayKeySpoilsACodeAndTheBufferExpires) {
  EnterPlay();
  Key(kScanX);
  TypeCode(kArmor);
  EXPECT_FALSE(Player.Armor);
  // The buffer's life is counted down by the 200-ms clock.
  for (int i = 0; i < 6; ++i) Form->playerFXTimer(nullptr);
  EXPECT_EQ(CheatBuffer, "");
  EXPECT_EQ(CheatCountdown, -10);
  TypeCode(kArmor);
  EXPECT_TRUE(Player.Armor);
}

TEST_F(ScreensTest, RocketsPrimaryArmorAndGodCodes) {
  EnterPlay();
  for (auto [before, after] : {std::pair{95, 99}, {96, 99}, {10, 14}}) {
    Player.Rockets = before;
    Player.SecondaryLevel = 0;
    TypeCode(kRockets);
    EXPECT_EQ(Player.Rockets, after);
    EXPECT_EQ(Player.SecondaryLevel, 1);
    EXPECT_EQ(Picture(SecondaryIcon), "secondary1");
    EXPECT_EQ(static_cast<int>(RocketDigits[1]->AnimPos), after / 10);
  }
  Player.PrimaryLevel = 4;
  TypeCode(kPrimary);
  EXPECT_EQ(Player.PrimaryLevel, 5);
  EXPECT_EQ(Picture(PrimaryIcon), "primary5");
  TakeSounds();
  TypeCode(kPrimary);  // at the top: only the sound
  EXPECT_EQ(Player.PrimaryLevel, 5);
  EXPECT_EQ(CountSounds("bonus2"), 1);

  TypeCode(kArmor);
  TypeCode(kGod);
  EXPECT_FALSE(Player.Armor);
  EXPECT_EQ(Player.GodTime, 23);
  EXPECT_EQ(GodBar->Height, 230);
  EXPECT_EQ(GodBar->Y, 226);
  TypeCode(kArmor);
  EXPECT_TRUE(Player.Armor);
  EXPECT_EQ(Player.GodTime, 0);
  EXPECT_EQ(GodBar->Height, 0);

  // Extra weapon 1 hides the seconds until the clock shows them; 2 shows 20.
  TypeCode(kExtra1);
  EXPECT_EQ(Player.ExtraWeapon1Time, 20);
  EXPECT_TRUE(ExtraWeaponIcon->Visible);
  EXPECT_FALSE(ExtraTimeDigits[1]->Visible);
  TypeCode(kExtra2);
  EXPECT_EQ(Player.ExtraWeapon1Time, 0);
  EXPECT_EQ(Player.ExtraWeapon2Time, 20);
  EXPECT_TRUE(ExtraTimeDigits[1]->Visible);
  EXPECT_EQ(static_cast<int>(ExtraTimeDigits[1]->AnimPos), 2);
}

TEST_F(ScreensTest, RocketsCodeOutsideAGameChangesOnlyThePlayer) {
  EnterPlay();
  GoToMainMenu();
  Frame();
  ASSERT_EQ(SecondaryIcon, nullptr);
  Player.Rockets = 4;
  TypeCode(kRockets);
  Frame();
  EXPECT_EQ(Player.Rockets, 8);
}

TEST_F(ScreensTest, EnterTakesTheTypedNameOnlyWhileThePanelShows) {
  EnterMainMenu();
  ClickOn(MenuButtons[2]);
  Player.Score = 500;
  Player.Name = "Player1";
  Key(kScanEnter);
  EXPECT_EQ(Player.Name, "Player1");
  EXPECT_EQ(Player.Score, 500);

  GoToEnterName();
  EXPECT_EQ(GameState, "topranks");
  EXPECT_TRUE(NameEntryPanel->Visible);
  EXPECT_EQ(MenuButtons[7]->Y, 565);
  HeadlessTypeText("Ace Pilot of Ostrime");
  Pump();
  Key(kScanEnter);
  EXPECT_EQ(Player.Name, "Ace Pilot ");
  EXPECT_EQ(TopRanks[6].Name, "Ace Pilot ");  // above the older 500
  EXPECT_EQ(TopRanks[6].Score, 500);
  EXPECT_EQ(TopRanks[7].Score, 500);
  EXPECT_FALSE(NameEntryPanel->Visible);
  EXPECT_FALSE(Form->Edit1->Visible());
  EXPECT_EQ(Form->Edit1->Text(), "");
  EXPECT_EQ(Player.Score, 0);
  EXPECT_EQ(Player.LevelScore, 0);
}

TEST_F(ScreensTest, IntroShowsItsPicturesOnTheSecondsAndEndsInTheMenu) {
  struct Step {
    int Second;
    std::string State;
    std::string Backdrop;
    int FadeStep;
  } steps[] = {
      {3, "intro", "", 6},
      {4, "partner_intro", "partner_logo", 6},
      {8, "partner_intro", "partner_logo", -6},
      {10, "intro2", "quorvil", 6},
      {14, "intro2", "quorvil", -6},
      {16, "intro3", "logotip", 6},
      {20, "intro3", "logotip", -6},
      {22, "intro4", "gamelogo", 6},
      {30, "intro4", "gamelogo", -6},
      {32, "mainmenu", "background", 6},
  };
  int second = 0;
  for (const auto& s : steps) {
    SCOPED_TRACE(s.Second);
    while (second < s.Second) {
      IntroScriptStep();
      ++second;
    }
    EXPECT_EQ(GameState, s.State);
    EXPECT_EQ(Picture(BackdropSprite), s.Backdrop);
    EXPECT_EQ(ScreenFadeStep, s.FadeStep);
  }
  EXPECT_NE(MenuButtons[1], nullptr);
  EXPECT_TRUE(MenuButtons[1]->Visible);
  EXPECT_EQ(ScreenFadeLevel, -200);
  EXPECT_EQ(MusicPlayer->CurrentFile(), "music\\menu.mp3");
}

TEST_F(ScreensTest, EscSkipsTheIntroOnlyFromTheSecondPicture) {
  for (int i = 0; i < 9; ++i) IntroScriptStep();
  ASSERT_EQ(GameState, "partner_intro");
  Key(kScanEscape);
  EXPECT_EQ(GameState, "partner_intro");
  EXPECT_EQ(MenuButtons[1], nullptr);
  IntroScriptStep();
  ASSERT_EQ(GameState, "intro2");
  MusicPlayer->OpenFile("music\\main.mp3");
  Key(kScanEscape);
  EXPECT_EQ(GameState, "mainmenu");
  EXPECT_NE(MenuButtons[1], nullptr);
  EXPECT_EQ(ScreenFadeLevel, -200);
  EXPECT_EQ(ScreenFadeStep, 6);
  EXPECT_EQ(Picture(BackdropSprite), "background");
  EXPECT_EQ(MusicPlayer->CurrentFile(), "music\\menu.mp3");
  // The intro's clock stops counting in the menu.
  const int seconds = IntroSeconds;
  IntroScriptStep();
  EXPECT_EQ(IntroSeconds, seconds);
}

}  // namespace
