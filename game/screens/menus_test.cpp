// The menus as a player works them: clicks and hovering through the window
// messages, screen by screen.
#include <functional>
#include <string>
#include <vector>

#include "engine/input/input.h"
#include "game/core/music_standin.h"
#include "game/play/play.h"
#include "game/screens/screens_fixture.h"
#include "platform/backend/headless/headless_input.h"

namespace {

TInterFaceSprite* B(int I) {
  return MenuButtons[static_cast<size_t>(I)];
}

// The main menu alone, whatever screen was shown.
void BackToMainMenu() {
  for (int i = 1; i <= 26; ++i) B(i)->Visible = false;
  for (TVolumeBar* bar : {&MusicBar, &SoundBar, &RadioVoxBar}) {
    bar->Caption->Visible = bar->Minus->Visible = bar->Plus->Visible = false;
    for (int i = 1; i <= 10; ++i) bar->Elements[static_cast<size_t>(i)]->Visible = false;
  }
  BrightnessMinus->Visible = BrightnessPlus->Visible = false;
  ConfirmPanel->Visible = false;
  ConfirmPanel->Height = 80;
  ConfirmPanel->Y = 260;
  B(7)->Y = 380;
  PrevGameState.clear();
  GameState = "mainmenu";
  HideShowMainMenu(true);
}

// Every button of every menu screen: the clicks from the main menu, the
// screen they lead to and a sprite that shows there.
TEST_F(ScreensTest, EachButtonLeadsToItsScreen) {
  struct Case {
    std::vector<int> Path;  // MenuButtons numbers clicked in turn
    std::string State;
    std::function<const TImageSprite*()> Shown;
    std::function<const TImageSprite*()> Hidden;
  };
  const std::vector<Case> cases = {
      {{1}, "difficulty", [] { return B(24); }, [] { return B(1); }},
      {{2}, "topranks", [] { return B(23); }, [] { return B(2); }},
      {{3}, "options", [] { return B(8); }, [] { return B(3); }},
      {{4}, "credits", [] { return B(7); }, [] { return B(4); }},
      {{5}, "credits", [] { return B(7); }, [] { return B(5); }},
      {{6}, "message", [] { return B(21); }, [] { return B(24); }},
      {{6, 22}, "mainmenu", [] { return B(6); }, [] { return B(21); }},
      {{1, 7}, "mainmenu", [] { return B(1); }, [] { return B(24); }},
      {{1, 24}, "chooseepisode", [] { return B(14); }, [] { return ConfirmPanel; }},
      {{1, 26, 7}, "mainmenu", [] { return B(3); }, [] { return B(14); }},
      {{1, 25, 14}, "choosemission1", [] { return B(16); }, [] { return B(14); }},
      {{1, 25, 14, 7}, "chooseepisode", [] { return B(15); }, [] { return B(20); }},
      {{2, 7}, "mainmenu", [] { return B(2); }, [] { return B(23); }},
      {{2, 23}, "message", [] { return B(22); }, [] { return nullptr; }},
      {{2, 23, 22}, "topranks", [] { return B(23); }, [] { return B(21); }},
      {{4, 7}, "mainmenu", [] { return B(4); }, [] { return B(7); }},
      {{5, 7}, "mainmenu", [] { return B(5); }, [] { return B(7); }},
      {{3, 7}, "mainmenu", [] { return B(1); }, [] { return B(8); }},
      {{3, 8}, "soundoptions", [] { return MusicBar.Plus; }, [] { return B(8); }},
      {{3, 8, 7}, "options", [] { return B(9); }, [] { return SoundBar.Caption; }},
      {{3, 9}, "graphicoptions", [] { return BrightnessPlus; }, [] { return B(10); }},
      {{3, 9, 7}, "options", [] { return B(10); }, [] { return BrightnessMinus; }},
      {{3, 10}, "controlsoptions", [] { return B(12); }, [] { return B(9); }},
      {{3, 10, 7}, "options", [] { return B(8); }, [] { return B(13); }},
  };
  EnterMainMenu();
  for (const Case& c : cases) {
    std::string path;
    for (int b : c.Path) path += std::to_string(b) + " ";
    SCOPED_TRACE("buttons " + path);
    BackToMainMenu();
    for (int b : c.Path) ClickOn(B(b));
    EXPECT_EQ(GameState, c.State);
    ASSERT_NE(c.Shown(), nullptr);
    EXPECT_TRUE(c.Shown()->Visible);
    if (c.Hidden()) EXPECT_FALSE(c.Hidden()->Visible);
    EXPECT_FALSE(ClickFlag);
  }
}

TEST_F(ScreensTest, BackButtonTakesItsPlacePerScreen) {
  EnterMainMenu();
  ClickOn(B(4));  // help
  EXPECT_EQ(B(7)->X, 600);
  EXPECT_EQ(B(7)->Y, 565);
  EXPECT_EQ(Picture(BackdropSprite), "help");
  ClickOn(B(7));
  EXPECT_EQ(B(7)->X, 308);
  EXPECT_EQ(B(7)->Y, 380);
  EXPECT_EQ(Picture(BackdropSprite), "background");
  ClickOn(B(3));
  ClickOn(B(10));
  EXPECT_EQ(B(7)->Y, 532);
}

TEST_F(ScreensTest, HoverSoundsOnceOnEnteringAndAClickSoundsOnce) {
  EnterMainMenu();
  const TImageSprite* b = B(2);
  MoveMouse(static_cast<int>(b->X) + 5, static_cast<int>(b->Y) + 5);
  for (int i = 0; i < 5; ++i) Frame();
  EXPECT_EQ(Picture(b), "TopRanksButton_lighted");
  auto s = TakeSounds();
  ASSERT_EQ(s.size(), 1u);
  EXPECT_EQ(s[0].Name, "menu1");
  EXPECT_EQ(s[0].Volume, 8 * 200 - 2000);
  // Off and on again: one more.
  MoveMouse(10, 10);
  Frame();
  EXPECT_EQ(Picture(b), "TopRanksButton");
  MoveMouse(static_cast<int>(b->X + b->Width), static_cast<int>(b->Y + b->Height));  // edges count
  Frame();
  EXPECT_EQ(CountSounds("menu1"), 1);
  TakeSounds();
  ClickOn(b);
  EXPECT_EQ(CountSounds("menu2"), 1);
  EXPECT_EQ(CountSounds("menu1"), 0);
  // Silent at effect level 0.
  TakeSounds();
  GameOptions.SoundFxLevel = 0;
  ClickOn(B(7));
  EXPECT_EQ(GameState, "mainmenu");
  EXPECT_TRUE(TakeSounds().empty());
}

TEST_F(ScreensTest, AClickDuringTheMenuFadeInWaitsForItsEnd) {
  EnterMainMenu();
  ScreenFadeStep = 6;
  ClickOn(B(3));
  Frame();
  EXPECT_EQ(GameState, "mainmenu");
  EXPECT_TRUE(ClickFlag);
  ScreenFadeStep = 0;
  Frame();
  EXPECT_EQ(GameState, "options");
}

TEST_F(ScreensTest, ClosedMissionsAndTheSecondEpisodeFollowStatus) {
  Player.Status = 2;
  EnterMainMenu();
  ClickOn(B(1));
  ClickOn(B(24));
  ASSERT_EQ(GameState, "chooseepisode");
  // Status 5: the second episode neither lights nor reacts.
  Player.Status = 5;
  ClickOn(B(15));
  EXPECT_EQ(GameState, "chooseepisode");
  EXPECT_EQ(Picture(B(15)), "ChooseEpisode2Button");
  ClickOn(B(14));
  ASSERT_EQ(GameState, "choosemission1");
  EXPECT_EQ(Picture(B(16)), "mission1lighted");
  EXPECT_EQ(Picture(B(20)), "mission5lighted");  // 5 <= Status 5
  Player.Status = 2;
  ClickOn(B(7));
  ClickOn(B(14));
  EXPECT_EQ(Picture(B(17)), "mission2lighted");
  EXPECT_EQ(Picture(B(18)), "mission3");
  TakeSounds();
  ClickOn(B(18));  // closed: dropped, silent
  EXPECT_EQ(GameState, "choosemission1");
  EXPECT_FALSE(ClickFlag);
  EXPECT_TRUE(TakeSounds().empty());
  EXPECT_FALSE(GameCreated);
  // Status 6 opens the second episode and its first mission.
  Player.Status = 6;
  ClickOn(B(7));
  ClickOn(B(15));
  ASSERT_EQ(GameState, "choosemission2");
  EXPECT_EQ(CurrentEpisode, 2);
  EXPECT_EQ(Picture(B(16)), "mission1lighted");
  EXPECT_EQ(Picture(B(17)), "mission2");
  TakeSounds();
  ClickOn(B(16));
  EXPECT_TRUE(GameCreated);
  EXPECT_EQ(CurrentMission, 6);
  EXPECT_EQ(CurrentLevel, 0);
  EXPECT_FALSE(B(16)->Visible);
  EXPECT_FALSE(B(7)->Visible);
  EXPECT_EQ(B(7)->Y, 380);
  EXPECT_FALSE(BackdropSprite->Visible);
  EXPECT_EQ(Picture(B(16)), "mission1");
  EXPECT_EQ(CountSounds("menu2"), 1);
}

TEST_F(ScreensTest, ConfirmationPanelAnswersByTheScreenBelow) {
  EnterMainMenu();
  ClickOn(B(2));
  ClickOn(B(23));  // clear
  ASSERT_EQ(GameState, "message");
  EXPECT_EQ(PrevGameState, "topranks");
  ClickOn(B(21));  // OK clears the table and goes back
  EXPECT_EQ(GameState, "topranks");
  EXPECT_EQ(PrevGameState, "");
  EXPECT_FALSE(ConfirmPanel->Visible);
  ClickOn(B(23));
  ClickOn(B(22));  // cancel
  EXPECT_EQ(GameState, "topranks");
  // Opened from a screen OK does not know, it stays open.
  ShowDKmessage(true);
  PrevGameState = "options";
  ClickOn(B(21));
  EXPECT_EQ(GameState, "message");
}

TEST_F(ScreensTest, DifficultyPanelSetsTheDifficultyAndRestoresThePanel) {
  EnterMainMenu();
  ClickOn(B(1));
  EXPECT_EQ(ConfirmPanel->Height, 120);
  EXPECT_EQ(ConfirmPanel->Y, 240);
  EXPECT_EQ(PrevGameState, "mainmenu");
  ClickOn(B(26));
  EXPECT_EQ(Player.Difficulty, 2);
  EXPECT_EQ(GameState, "chooseepisode");
  EXPECT_EQ(PrevGameState, "");
  EXPECT_EQ(ConfirmPanel->Height, 80);
  EXPECT_EQ(ConfirmPanel->Y, 260);
  EXPECT_FALSE(B(1)->Visible);
}

TEST_F(ScreensTest, GoingToTheMainMenuEndsTheGame) {
  EnterPlay();
  Player.PrimaryLevel = 4;
  Player.Rockets = 40;
  Player.Armor = true;
  Player.GodTime = 5;
  Player.ExtraWeapon1Time = 7;
  Player.GameTime = 300;
  Player.LevelScore = 900;
  CurrentMission = 4;
  CurrentLevel = 6;
  FireLocked = true;
  DeathCountdown = 3;
  GameOptions.Controls = 0;
  GameOptions.SavedControls = 1;
  DoorTop->Y = -100;
  DoorTop->Visible = true;
  ReadyBanner->X = 300;
  ShowPauseMenu();
  GoToMainMenu();
  Frame();
  EXPECT_EQ(GameState, "mainmenu");
  EXPECT_EQ(GameOptions.Controls, 1);
  EXPECT_FALSE(FireLocked);
  EXPECT_EQ(DeathCountdown, -10);
  EXPECT_FALSE(GameCreated);
  EXPECT_TRUE(ShipRemoved);
  EXPECT_EQ(LeftPanel, nullptr);
  EXPECT_EQ(ScoreDigits[1], nullptr);
  EXPECT_EQ(FaceSprite, nullptr);
  EXPECT_EQ(InterfaceSpriteCount(), 68);  // the menus' count again
  EXPECT_EQ(DoorTop->Y, -358);
  EXPECT_FALSE(DoorTop->Visible);
  EXPECT_EQ(ReadyBanner->X, 800);
  EXPECT_FALSE(PausePanel->Visible);
  EXPECT_TRUE(CursorSprite->Visible);
  EXPECT_TRUE(BackdropSprite->Visible);
  EXPECT_EQ(Picture(BackdropSprite), "background");
  EXPECT_TRUE(B(1)->Visible);
  EXPECT_EQ(ScreenFadeStep, 0);
  EXPECT_EQ(Player.PrimaryLevel, 1);
  EXPECT_EQ(Player.Rockets, 4);
  EXPECT_FALSE(Player.Armor);
  EXPECT_EQ(Player.GodTime, 0);
  EXPECT_EQ(Player.ExtraWeapon1Time, 0);
  EXPECT_EQ(Player.GameTime, 0);
  EXPECT_EQ(Player.LevelScore, 0);
  EXPECT_EQ(CurrentMission, 1);
  EXPECT_EQ(CurrentLevel, 0);
}

TEST_F(ScreensTest, VictoryShowsTheFinishAndAClickReturns) {
  EnterPlay();
  gotovictory();
  Frame();
  EXPECT_EQ(GameState, "victory");
  EXPECT_EQ(Picture(BackdropSprite), "finish_bg");
  EXPECT_TRUE(BackdropSprite->Visible);
  EXPECT_EQ(LeftPanel, nullptr);
  Click(400, 300);
  EXPECT_EQ(GameState, "mainmenu");
  EXPECT_EQ(Picture(BackdropSprite), "background");
}

TEST_F(ScreensTest, VolumeBarsStopAtTheirEndsAndGiveFeedback) {
  GameOptions.SoundFxLevel = 1;
  GameOptions.MusicLevel = 0;
  GameOptions.RadioVoxLevel = 10;
  EnterMainMenu();
  ClickOn(B(3));
  ClickOn(B(8));
  ASSERT_EQ(GameState, "soundoptions");
  TakeSounds();
  // Effects at 1, minus: 0 and silent; plus from 0 plays at level 1.
  ClickOn(SoundBar.Minus);
  EXPECT_EQ(GameOptions.SoundFxLevel, 0);
  EXPECT_EQ(Picture(SoundBar.Elements[1]), "element");
  EXPECT_TRUE(TakeSounds().empty());
  ClickOn(SoundBar.Minus);
  EXPECT_EQ(GameOptions.SoundFxLevel, 0);
  ClickOn(SoundBar.Plus);
  EXPECT_EQ(GameOptions.SoundFxLevel, 1);
  EXPECT_EQ(Picture(SoundBar.Elements[1]), "element_checked");
  auto s = TakeSounds();
  ASSERT_EQ(s.size(), 1u);
  EXPECT_EQ(s[0].Name, "weapon2");
  EXPECT_EQ(s[0].Volume, 1 * 200 - 2000);
  // Radio at 10: plus does nothing; an element sets the level.
  ClickOn(RadioVoxBar.Plus);
  EXPECT_EQ(GameOptions.RadioVoxLevel, 10);
  EXPECT_TRUE(TakeSounds().empty());
  ClickOn(RadioVoxBar.Elements[4]);
  EXPECT_EQ(GameOptions.RadioVoxLevel, 4);
  EXPECT_EQ(Picture(RadioVoxBar.Elements[4]), "element_checked");
  EXPECT_EQ(Picture(RadioVoxBar.Elements[5]), "element");
  s = TakeSounds();
  ASSERT_EQ(s.size(), 1u);
  EXPECT_EQ(s[0].Name, "6b1");
  EXPECT_EQ(s[0].Volume, 4 * 200 - 2000);
  // A click beside every bar is dropped.
  Click(20, 20);
  EXPECT_FALSE(ClickFlag);
  EXPECT_EQ(GameState, "soundoptions");
}

TEST_F(ScreensTest, MusicPlusFromNothingStartsTheMenuMusicAnElementOnlySetsVolume) {
  GameOptions.MusicLevel = 0;
  EnterMainMenu();
  ClickOn(B(3));
  ClickOn(B(8));
  ClickOn(MusicBar.Elements[5]);
  EXPECT_EQ(GameOptions.MusicLevel, 5);
  EXPECT_EQ(MusicPlayer->Volume, 50);
  EXPECT_EQ(MusicPlayer->OpenedFile, "");
  ClickOn(MusicBar.Elements[1]);
  ClickOn(MusicBar.Minus);
  EXPECT_EQ(GameOptions.MusicLevel, 0);
  ClickOn(MusicBar.Plus);
  EXPECT_EQ(GameOptions.MusicLevel, 1);
  EXPECT_EQ(MusicPlayer->OpenedFile, "music\\menu.mp3");
  EXPECT_EQ(MusicPlayer->Volume, 10);
}

TEST_F(ScreensTest, BrightnessStopsAtItsLimits) {
  EnterMainMenu();
  ClickOn(B(3));
  ClickOn(B(9));
  for (int start : {0, 100}) {
    GameOptions.Brightness = start;
    ClickOn(start == 0 ? BrightnessMinus : BrightnessPlus);
    EXPECT_EQ(GameOptions.Brightness, start);
    ClickOn(start == 0 ? BrightnessPlus : BrightnessMinus);
    EXPECT_EQ(GameOptions.Brightness, start == 0 ? 1 : 99);
  }
}

TEST_F(ScreensTest, ChosenControlsOutliveAGameAndBringTheMouseBack) {
  EnterMainMenu();
  ClickOn(B(3));
  ClickOn(B(10));
  ClickOn(B(12));  // keyboard
  EXPECT_EQ(GameOptions.Controls, 2);
  EXPECT_EQ(GameOptions.SavedControls, 2);
  EXPECT_EQ(Picture(B(12)), "keyboard_lighted");
  EXPECT_EQ(Picture(B(11)), "mouse");
  EXPECT_FALSE(Form->DXInput->Mouse()->BindInputStates);
  // A game left through the pause menu keeps the keyboard.
  ClickOn(B(7));
  ClickOn(B(7));
  EnterPlay();
  ShowPauseMenu();
  ClickOn(PauseMainButton);
  EXPECT_EQ(GameState, "mainmenu");
  EXPECT_EQ(GameOptions.Controls, 2);
  EXPECT_FALSE(Form->DXInput->Mouse()->BindInputStates);

  // After joystick play without DirectInput the mouse was switched off;
  // choosing the mouse brings its buttons back.
  GameOptions.UDI = false;
  ApplyControls(3);
  EXPECT_FALSE(Form->DXInput->Mouse()->Enabled());
  ClickOn(B(3));
  ClickOn(B(10));
  ClickOn(B(11));
  EXPECT_EQ(GameOptions.Controls, 1);
  TMouse* mouse = Form->DXInput->Mouse();
  EXPECT_TRUE(mouse->Enabled());
  EXPECT_TRUE(mouse->Initialized());
  EXPECT_TRUE(mouse->BindInputStates);
  HeadlessMouseButton(0, true);
  Form->DXInput->Update();
  EXPECT_TRUE(Form->DXInput->States.Contains(ibButton1));
  HeadlessMouseButton(0, false);
}

}  // namespace
