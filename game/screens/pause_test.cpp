// The pause menu and the enemy book.
#include "engine/input/input.h"
#include "game/play/play.h"
#include "game/screens/screens_fixture.h"
#include "platform/win/library.h"
#include "platform/win/user.h"

namespace {

bool PauseShown() {
  return PausePanel->Visible && PauseResumeButton->Visible && PauseOverlay->Visible &&
         CursorSprite->Visible;
}

TEST_F(ScreensTest, EscPausesOnlyWhileEnemiesLive) {
  EnterPlay(1);
  ShakeCount = 10;
  Form->DXSpriteEngine->Engine()->X = -5;
  Key(kScanEscape);
  EXPECT_EQ(GameState, "pause");
  EXPECT_TRUE(PauseShown());
  EXPECT_EQ(ShakeCount, 0);
  EXPECT_EQ(Form->DXSpriteEngine->Engine()->X, 0);
  Key(kScanEscape);
  EXPECT_EQ(GameState, "game");
  EXPECT_FALSE(PausePanel->Visible);
  EXPECT_FALSE(CursorSprite->Visible);

  EnemiesAlive = 0;
  Key(kScanEscape);
  EXPECT_EQ(GameState, "game");
  // The pause menu's own buttons.
  EnemiesAlive = 2;
  Key(kScanEscape);
  ClickOn(PauseResumeButton);
  EXPECT_EQ(GameState, "game");
  EXPECT_FALSE(PausePanel->Visible);
  Key(kScanEscape);
  ClickOn(PauseExitButton);
  EXPECT_EQ(GameState, "message");
  EXPECT_EQ(PrevGameState, "pause");
  ClickOn(MenuButtons[22]);
  EXPECT_EQ(GameState, "pause");
}

TEST_F(ScreensTest, MinimisingTheWindowPausesPlayOnly) {
  EnterMainMenu();
  PostMessageA(Form->Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
  Pump();
  EXPECT_EQ(GameState, "mainmenu");
  PostMessageA(Form->Handle(), WM_SYSCOMMAND, SC_RESTORE, 0);
  Pump();
  Form->SetWindowState(wsNormal);
  EnterPlay(0);
  PostMessageA(Form->Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
  Pump();
  EXPECT_EQ(GameState, "pause");
  EXPECT_TRUE(PauseShown());
}

TEST_F(ScreensTest, JoystickPauseLendsTheMouseAndTakesItBack) {
  for (bool libraryMissing : {false, true}) {
    SCOPED_TRACE(libraryMissing ? "DInput.dll missing" : "DirectInput present");
    if (libraryMissing) {
      FreeDirectXLibraries();
      UnregisterBuiltinModule("DInput.dll");
    }
    EnterPlay(1);
    GameOptions.Controls = GameOptions.SavedControls = 3;
    GameOptions.UDI = false;
    ApplyControls(3);
    TDXInput* input = Form->DXInput;
    EXPECT_FALSE(input->UseDirectInput());
    EXPECT_FALSE(input->Mouse()->Enabled());
    Key(kScanEscape);
    EXPECT_EQ(GameState, "pause");
    EXPECT_TRUE(input->Mouse()->Enabled());
    EXPECT_TRUE(input->Mouse()->Initialized());
    ClickOn(PauseResumeButton);  // the mouse works the menu
    EXPECT_EQ(GameState, "game");
    EXPECT_FALSE(input->Mouse()->Enabled());
    EXPECT_FALSE(input->UseDirectInput());
    Key(kScanEscape);
    Key(kScanEscape);
    EXPECT_EQ(GameState, "game");
    EXPECT_FALSE(input->Mouse()->Enabled());
    GoToMainMenu();
    Frame();
  }
}

TEST_F(ScreensTest, AnEmptyBookShowsOnlyItsPage) {
  EnterPlay();
  Key(kScanF1);
  EXPECT_EQ(GameState, "book");
  EXPECT_TRUE(BookBackground->Visible);
  EXPECT_TRUE(BookCloseButton->Visible);
  EXPECT_TRUE(CursorSprite->Visible);
  EXPECT_FALSE(BookArt->Visible);
  EXPECT_FALSE(BookEntries[1]->Visible);
  // F1 again: straight back to play.
  Key(kScanF1);
  EXPECT_EQ(GameState, "game");
  EXPECT_FALSE(BookBackground->Visible);
  EXPECT_FALSE(CursorSprite->Visible);
}

TEST_F(ScreensTest, BookEntriesSelectKnownTypesAndKeepTheRow) {
  EnterPlay();
  for (int i = 1; i <= 5; ++i) EnemyBook[static_cast<size_t>(i)] = 10 + i;
  EnemyBook[20] = 1;
  EnemyBookCount = 5;
  Key(kScanF1);
  ASSERT_EQ(GameState, "book");
  EXPECT_EQ(Picture(BookArt), "art11");
  EXPECT_EQ(Picture(BookEntries[5]), "b15");
  EXPECT_EQ(Picture(BookEntries[7]), "b0");
  ClickOn(BookEntries[7]);  // empty place: nothing
  EXPECT_EQ(EnemyBook[20], 1);
  EXPECT_EQ(Picture(BookArt), "art11");
  EXPECT_FALSE(ClickFlag);
  ClickOn(BookEntries[3]);
  EXPECT_EQ(EnemyBook[20], 3);
  EXPECT_EQ(Picture(BookArt), "art13");
  EXPECT_EQ(Picture(BookEntries[3]), "b13_lighted");
  // Closed to the pause menu; the laptop opens the same row again.
  ClickOn(BookCloseButton);
  EXPECT_EQ(GameState, "pause");
  EXPECT_TRUE(PauseShown());
  EXPECT_FALSE(BookBackground->Visible);
  ClickOn(PauseLaptop);
  EXPECT_EQ(GameState, "book");
  EXPECT_FALSE(PausePanel->Visible);
  EXPECT_EQ(Picture(BookArt), "art13");
  // A stored row or type outside the tables shows the empty page.
  Key(kScanF1);
  EnemyBook[20] = 25;
  Key(kScanF1);
  EXPECT_EQ(GameState, "book");
  EXPECT_FALSE(BookEntries[1]->Visible);
}

TEST_F(ScreensTest, F1WaitsForOpenDoors) {
  EnterPlay();
  DoorTop->Y = -100;
  Key(kScanF1);
  EXPECT_EQ(GameState, "game");
  EXPECT_FALSE(BookBackground->Visible);
  // The laptop during a transition closes the menu and play goes on.
  Key(kScanEscape);
  ASSERT_EQ(GameState, "pause");
  ClickOn(PauseLaptop);
  EXPECT_EQ(GameState, "game");
  EXPECT_FALSE(PausePanel->Visible);
  EXPECT_FALSE(BookBackground->Visible);
}

}  // namespace
