// The level flow on the real main form, headless: what carries over from
// level to level and mission to mission, what the doors and the panel show,
// the music, and where the best times go.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>

#include "framework/forms.h"
#include "framework/inifiles.h"
#include "music/bass_player.h"
#include "game/play/play.h"
#include "game/screens/interface_sprite.h"
#include "platform/backend/headless/headless_audio.h"
#include "platform/backend/headless/headless_core.h"
#include "platform/backend/headless/headless_input.h"
#include "platform/backend/headless/headless_video.h"
#include "platform/ddraw/ddraw.h"
#include "platform/ddraw/ddraw_seam.h"
#include "platform/win/library.h"

namespace {

namespace fs = std::filesystem;

class FlowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("tal_flow_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    fs::create_directory_symlink(fs::path(TAL_BIN_DIR) / "data", folder_ / "data");
    for (const char* lib : {"libbass.so", "libbasswma.so"})
      fs::create_symlink(fs::path(TAL_BIN_DIR) / lib, folder_ / lib);
    SetProgramFolder(folder_.string() + "/");

    HeadlessInstall(1000);
    HeadlessInstallVideo();
    DDRegisterModule();
    HeadlessInstallAudio();
    HeadlessInstallInput();
    HeadlessSetIdlePace([] {
      HeadlessAdvance(16);
      Application->Terminate();
    });
    // The screen as the program starts, whatever a test before left.
    GameState = "intro";
    PrevGameState = "";
    GameCreated = false;
    DeathCountdown = -10;
    // The tables as the program fills them before its form exists.
    InitEnemyTexts();
    InitMissionTable();
    form_ = Application->CreateForm<TMainForm>();
    // One pass of the loop: the form is shown and its display started.
    Application->Run();
    ASSERT_TRUE(MusicPlayer) << "the form made no music player";
    // Each test plays a run of its own.
    savedChances_ = BonusChance;
    GameOptions.MusicLevel = 8;
    CreateMainMenu();
  }

  void TearDown() override {
    BonusChance = savedChances_;
    delete form_;
    DDSetVideoOutput(nullptr);
    UninstallHeadlessAudio();
    InputHost().Reset();
    FreeDirectXLibraries();
    HeadlessUninstall();
    SetProgramFolder("");
    fs::remove_all(folder_);
  }

  // The mission menu's choice: a new game, then the mission's first screen.
  void StartMission(int32_t Mission) {
    if (!GameCreated) {
      NewGame();
      GameCreated = true;
    }
    CurrentMission = Mission;
    CurrentEpisode = Mission < 6 ? 1 : 2;
    CurrentLevel = 0;
    ShowCompleteLevel(true);
  }

  // The continues between levels, as the ship's step makes them.
  void NextLevel() {
    ShowCompleteLevel(false);
    EnterNewLevelBg();
    AnimateStvorki("close");
    EnterNewLevel();
  }

  // Plays levels until the level given has started.
  void PlayTo(int32_t Mission, int32_t Level) {
    StartMission(Mission);
    while (CurrentLevel < Level) {
      NextLevel();
      if (CurrentLevel < Level) ShowCompleteLevel(true);
    }
  }

  static int Frame(const TImageSprite* Sprite) { return static_cast<int>(Sprite->AnimPos); }
  static std::string Picture(const TImageSprite* Sprite) {
    return Sprite->GetImage() ? Sprite->GetImage()->Name() : "";
  }

  fs::path folder_;
  TBonusChance savedChances_{};
  TApplicationScope scope_;
  TMainForm* form_ = nullptr;
};

TEST_F(FlowTest, MissionAdvanceUnlocksTheNextMissionWithAFreshShip) {
  Player.Status = 3;
  PlayTo(3, 10);
  Player.PrimaryLevel = 4;
  Player.Rockets = 9;
  Player.Armor = true;
  Player.ExtraWeapon2Time = 12;
  ShowCompleteLevel(true);

  EXPECT_EQ(GameState, "levelcomplete");
  EXPECT_EQ(CurrentMission, 4);
  EXPECT_EQ(CurrentEpisode, 1);
  EXPECT_EQ(CurrentLevel, 0);
  EXPECT_GE(Player.Status, 4);
  EXPECT_EQ(Player.PrimaryLevel, 1);
  EXPECT_EQ(Player.Rockets, 4);
  EXPECT_FALSE(Player.Armor);
  EXPECT_EQ(Player.ExtraWeapon2Time, 0);
  EXPECT_EQ(Picture(PrimaryMount), "primary1");
  EXPECT_EQ(Picture(PlayerShip), "player1left");
  EXPECT_FALSE(PlayerShip->Visible);
  // The doors name mission 4's first level.
  EXPECT_EQ(Frame(MissionDigit), 3);
  EXPECT_EQ(Frame(EpisodeDigit), 0);
  EXPECT_EQ(Frame(LevelDigit), 0);
  EXPECT_EQ(DoorState, "open");

  // An open mission stays open when an earlier one is finished again.
  Player.Status = 7;
  PlayTo(3, 10);
  ShowCompleteLevel(true);
  EXPECT_EQ(Player.Status, 7);
}

TEST_F(FlowTest, LevelTenChancesAndWeaponsFollowTheMissionTable) {
  const TBonusChance start = BonusChance;

  // Starting a mission changes no chance, in any mission.
  for (int32_t mission = 1; mission <= 10; ++mission) {
    StartMission(mission);
    NextLevel();
    EXPECT_EQ(CurrentLevel, 1);
  }
  EXPECT_EQ(BonusChance.ArmorGod, start.ArmorGod);
  EXPECT_EQ(BonusChance.Upgrade, start.Upgrade);
  EXPECT_EQ(BonusChance.Bomb, start.Bomb);

  // Mission 9, level 9 done: primary 3 and no rockets, whatever the ship had.
  PlayTo(9, 9);
  Player.PrimaryLevel = 5;
  Player.Rockets = 20;
  ShowCompleteLevel(true);
  NextLevel();
  EXPECT_EQ(CurrentLevel, 10);
  EXPECT_EQ(Player.PrimaryLevel, 3);
  EXPECT_EQ(Player.Rockets, 0);
  EXPECT_EQ(Picture(PrimaryMount), "primary3");
  EXPECT_EQ(Picture(PrimaryIcon), "primary3");
  EXPECT_EQ(BonusChance.Upgrade[1][10], 90);
  EXPECT_EQ(BonusChance.Upgrade[2][10], 70);
  EXPECT_EQ(BonusChance.Upgrade[3][10], 0);
  EXPECT_EQ(BonusChance.ArmorGod[1][10], 20);

  // Mission 2's level-10 armor chance holds when mission 1 is played next:
  // mission 1's boss takes only the bomb away.
  PlayTo(2, 5);
  EXPECT_EQ(BonusChance.ArmorGod[1][10], 80);
  EXPECT_EQ(BonusChance.Rockets[10], 0);
  PlayTo(1, 10);
  EXPECT_EQ(BonusChance.ArmorGod[1][10], 80);
  EXPECT_EQ(BonusChance.Bomb[10], 0);
  // Other levels keep their chances.
  EXPECT_EQ(BonusChance.ArmorGod[1][9], start.ArmorGod[1][9]);
}

TEST_F(FlowTest, BossLevelsArmTheShipByMission) {
  struct TCase {
    int32_t Mission;
    int32_t Primary;  // 0: as the ship had it
    int32_t Armor;
    int32_t Extra1Time;
  };
  const TCase cases[] = {{1, 0, -1, 40}, {3, 5, 2, 0}, {5, 3, 50, 0}, {10, 3, 50, 0}};
  for (const TCase& c : cases) {
    SCOPED_TRACE("mission " + std::to_string(c.Mission));
    PlayTo(c.Mission, 9);
    ShowCompleteLevel(true);
    Player.PrimaryLevel = 4;
    Player.Rockets = 12;
    const int32_t armorBefore = BonusChance.ArmorGod[1][10];
    NextLevel();
    ASSERT_EQ(CurrentLevel, 10);
    EXPECT_NE(Episodes[c.Mission].Levels[10].BossKind, 0);
    EXPECT_EQ(BossPartsAlive, Episodes[c.Mission].Levels[10].BossParts);
    EXPECT_EQ(Player.Rockets, 0);
    EXPECT_EQ(Player.PrimaryLevel, c.Primary ? c.Primary : 4);
    EXPECT_EQ(BonusChance.ArmorGod[1][10], c.Armor >= 0 ? c.Armor : armorBefore);
    EXPECT_EQ(BonusChance.Bomb[10], 0);
    EXPECT_EQ(Player.ExtraWeapon1Time, c.Extra1Time);
    EXPECT_EQ(ExtraWeaponMount->Visible, c.Extra1Time > 0);
    EXPECT_EQ(ExtraWeaponIcon->Visible, c.Extra1Time > 0);
    EXPECT_FALSE(Player.Armor);
    EXPECT_EQ(Picture(PlayerShip), "player1left");
    EXPECT_EQ(GameState, "game");
  }
}

TEST_F(FlowTest, PanelDigitsAndMusicNameTheLevel) {
  struct TCase {
    int32_t Mission, Level;
    int Mission1, Mission2, Level1, Level2;
  };
  const TCase cases[] = {{7, 3, 0, 2, 0, 3}, {10, 1, 1, 0, 0, 1}, {2, 10, 0, 2, 1, 0},
                         {6, 10, 0, 1, 1, 0}};
  for (const TCase& c : cases) {
    SCOPED_TRACE("mission " + std::to_string(c.Mission) + " level " + std::to_string(c.Level));
    PlayTo(c.Mission, c.Level - 1);
    if (c.Level > 1) ShowCompleteLevel(true);
    // Play music of its own: the level must not start the main music over.
    MusicPlayer->SetPlaybackPosition(1234);
    NextLevel();
    ASSERT_EQ(CurrentLevel, c.Level);
    EXPECT_EQ(Frame(MissionDigits[1]), c.Mission1);
    EXPECT_EQ(Frame(MissionDigits[2]), c.Mission2);
    EXPECT_EQ(Frame(LevelDigits[1]), c.Level1);
    EXPECT_EQ(Frame(LevelDigits[2]), c.Level2);
    EXPECT_TRUE(MissionDigits[1]->Visible && LevelDigits[2]->Visible);
    if (c.Level == 10) {
      // Every level 10 has the boss music, with or without a boss.
      EXPECT_EQ(MusicPlayer->CurrentFile(), "music\\boss.mp3");
    } else {
      EXPECT_EQ(MusicPlayer->CurrentFile(), "music\\main.mp3");
      EXPECT_GE(MusicPlayer->GetPlaybackPosition(), 1234u) << "the main music was opened again";
    }
    EXPECT_EQ(MusicPlayer->StreamVolume(), 80);
  }
  // After a boss the next mission brings the main music back.
  ShowCompleteLevel(true);
  EXPECT_EQ(MusicPlayer->CurrentFile(), "music\\main.mp3");
}

TEST_F(FlowTest, GameOverDoorsNameTheLostLevel) {
  struct TCase {
    int32_t Mission, Level;
    int MissionFrame, EpisodeFrame, LevelFrame;
  };
  const TCase cases[] = {{4, 6, 3, 0, 5}, {8, 1, 2, 1, 0}, {10, 10, 4, 1, 9}};
  for (const TCase& c : cases) {
    SCOPED_TRACE("mission " + std::to_string(c.Mission) + " level " + std::to_string(c.Level));
    PlayTo(c.Mission, c.Level);
    ShowGameOver(true);
    EXPECT_EQ(GameState, "gameover");
    EXPECT_EQ(DoorState, "open");
    EXPECT_TRUE(CursorSprite->Visible);
    EXPECT_TRUE(MissionDigit->Visible && EpisodeDigit->Visible && LevelDigit->Visible);
    EXPECT_EQ(Frame(MissionDigit), c.MissionFrame);
    EXPECT_EQ(Frame(EpisodeDigit), c.EpisodeFrame);
    EXPECT_EQ(Frame(LevelDigit), c.LevelFrame);

    MessageLines[3] = "Bonuses taken: 1/2";
    GameOverMainButton->Visible = true;
    ShowGameOver(false);
    EXPECT_FALSE(MissionDigit->Visible || EpisodeDigit->Visible || LevelDigit->Visible);
    EXPECT_FALSE(GameOverMainButton->Visible || GameOverExitButton->Visible);
    EXPECT_EQ(MessageLines[3], "");
    GoToMainMenu();
    form_->DXSpriteEngine->FreeDead();
  }
}

// A finished level's best time goes to that level's own slot, also when the
// mission has already moved on (after a level 10) and when the last level
// leads straight to the victory screen; starting a mission stores nothing.
TEST_F(FlowTest, BestTimesGoToTheFinishedLevel) {
  const std::string ini = folder_.string() + "/game.INI";
  auto stored = [&](int Slot) {
    TIniFile file(ini);
    return file.ReadString("TT", "t" + std::to_string(Slot), "none");
  };

  PlayTo(3, 9);
  Player.LevelTime = 41;
  ShowCompleteLevel(true);
  NextLevel();
  EXPECT_EQ(Player.BestTimes[29], 41);
  EXPECT_EQ(stored(29), "41");

  Player.LevelTime = 77;
  ShowCompleteLevel(true);
  ASSERT_EQ(CurrentMission, 4);
  ShowCompleteLevel(false);
  EnterNewLevelBg();
  EXPECT_EQ(Player.BestTimes[30], 77);
  EXPECT_EQ(stored(30), "77");
  // A slower time keeps the best one.
  PlayTo(3, 10);
  Player.LevelTime = 90;
  ShowCompleteLevel(true);
  ShowCompleteLevel(false);
  EnterNewLevelBg();
  EXPECT_EQ(Player.BestTimes[30], 77);

  // The mission's own start has no level behind it.
  const auto before = Player.BestTimes;
  StartMission(5);
  Player.LevelTime = 5;
  ShowCompleteLevel(false);
  EnterNewLevelBg();
  EXPECT_EQ(Player.BestTimes, before);

  PlayTo(10, 10);
  Player.LevelTime = 123;
  ShowCompleteLevel(true);
  EXPECT_EQ(GameState, "victory");
  EXPECT_EQ(Player.Status, 11);
  EXPECT_EQ(Player.BestTimes[100], 123);
  EXPECT_EQ(stored(100), "123");
}

// The last enemy dying after the ship's fatal hit must not end the level:
// the death sequence runs on to the game-over screen.
TEST_F(FlowTest, NoLevelCompleteWhileTheShipIsGoingDown) {
  PlayTo(2, 4);
  GameState = "game";
  EnemiesAlive = 0;
  BonusesInFlight = 0;
  DisplayedScore = Player.Score;
  DeathCountdown = 6;
  CheckLevelComplete();
  EXPECT_EQ(GameState, "game");
  DeathCountdown = 0;
  CheckLevelComplete();
  EXPECT_EQ(GameState, "game");
  DeathCountdown = -10;
  CheckLevelComplete();
  EXPECT_EQ(GameState, "levelcomplete");
}

}  // namespace
