// The heads-up display, the pilot's face, the statistics lines and the
// shared move step of the interface sprites.
#include <string>

#include "framework/random.h"
#include "game/play/play.h"
#include "game/screens/screens_fixture.h"

namespace {

int Digit(const TInterFaceSprite* S) {
  return static_cast<int>(S->AnimPos);
}

TEST_F(ScreensTest, DisplayDigitsShowScoreRocketsAndExtraTime) {
  EnterPlay();
  struct ScoreCase {
    std::string Text;
    std::string Shown;
  } scores[] = {{"0000009", "0000009"}, {"1234567", "1234567"}, {"12345678", "9999999"}};
  for (const auto& c : scores) {
    SCOPED_TRACE(c.Text);
    ScoresTextout(c.Text);
    std::string shown;
    for (int i = 1; i <= 7; ++i)
      shown += std::to_string(Digit(ScoreDigits[static_cast<size_t>(i)]));
    EXPECT_EQ(shown, c.Shown);
  }
  struct RocketCase {
    int Rockets, First, Second;
    std::string Icon;
  } rockets[] = {{7, 0, 7, "secondary1"}, {99, 9, 9, "secondary1"}, {0, 0, 0, "secondary0"}};
  for (const auto& c : rockets) {
    SCOPED_TRACE(c.Rockets);
    Player.Rockets = c.Rockets;
    SWeaponTextout();
    EXPECT_EQ(Digit(RocketDigits[1]), c.First);
    EXPECT_EQ(Digit(RocketDigits[2]), c.Second);
    EXPECT_EQ(Picture(SecondaryIcon), c.Icon);
  }
  Player.ExtraWeapon2Time = 19;
  TWeaponTextout(2);
  EXPECT_TRUE(ExtraTimeDigits[1]->Visible);
  EXPECT_EQ(Digit(ExtraTimeDigits[1]), 1);
  EXPECT_EQ(Digit(ExtraTimeDigits[2]), 9);
  for (int t : {0, -3}) {
    Player.ExtraWeapon2Time = t;
    TWeaponTextout(2);
    EXPECT_FALSE(ExtraTimeDigits[1]->Visible);
    EXPECT_FALSE(ExtraTimeDigits[2]->Visible);
  }
}

TEST_F(ScreensTest, FaceSpeaksARandomVoiceAndReturns) {
  EnterPlay();
  struct Case {
    int Category, Channels, Variants;
    int32_t Pan;
  } cases[] = {{1, 0, 4, 0}, {2, 1, 3, -300}, {6, 2, 2, 300}, {4, 2, 1, 300}, {8, 1, 3, -300}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Category);
    GameOptions.Channels = c.Channels;
    GameOptions.RadioVoxLevel = 7;
    RandSeed = 777 + static_cast<uint32_t>(c.Category);
    const int v = c.Variants > 1 ? 1 + Random(c.Variants) : 1;
    RandSeed = 777 + static_cast<uint32_t>(c.Category);
    TakeSounds();
    AnimAteFace("face_speak", 40, 0.05, 4, true, "", c.Category);
    auto s = TakeSounds();
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0].Name, std::to_string(c.Category) + "b" + std::to_string(v));
    EXPECT_EQ(s[0].Pan, c.Pan);
    EXPECT_EQ(s[0].Volume, 7 * 200 - 2000);
    EXPECT_EQ(Picture(FaceSprite), "face_speak");
    EXPECT_EQ(FaceTime, VoiceDuration[static_cast<size_t>(c.Category)][static_cast<size_t>(v)]);
    EXPECT_EQ(FaceSprite->AnimSpeed,
              VoiceAnimSpeed[static_cast<size_t>(c.Category)][static_cast<size_t>(v)]);
    EXPECT_TRUE(FaceSprite->AnimLooped);
  }
  // Radio silenced: the face still speaks, for its time.
  GameOptions.RadioVoxLevel = 0;
  FaceTime = 0;
  AnimAteFace("face_speak", 40, 0.05, 4, true, "", 5);
  EXPECT_TRUE(TakeSounds().empty());
  EXPECT_EQ(Picture(FaceSprite), "face_speak");
  EXPECT_EQ(FaceTime, VoiceDuration[5][1]);
  FaceTime = 1;
  Frame();
  EXPECT_EQ(Picture(FaceSprite), "face_speak");
  FaceTime = 0;
  Frame();
  EXPECT_EQ(Picture(FaceSprite), "face_empty");
  EXPECT_EQ(FaceSprite->AnimSpeed, 0.02);

  // A hit plays its forty frames once, then the face is idle again.
  AnimAteFace("face_hit", 40, 1.0 / 15, 0, false, "", 0);
  EXPECT_EQ(Picture(FaceSprite), "face_hit");
  EXPECT_EQ(FaceTime, 0);
  EXPECT_TRUE(TakeSounds().empty());
  Frame(100);
  EXPECT_EQ(Picture(FaceSprite), "face_hit");
  for (int i = 0; i < 20; ++i) Frame(50);
  EXPECT_EQ(Picture(FaceSprite), "face_empty");
}

TEST_F(ScreensTest, StatisticsTypeOneCharacterPerStepOnceTheDoorsClose) {
  EnterPlay();
  UpdateStroka(30, std::string(42, '-'), "", "", "", "", "", "", "");
  EXPECT_EQ(MessageLines[1], std::string(30, '-'));
  UpdateStroka(0, "", "", "", "", "", "", "", "");
  EXPECT_EQ(MessageLines[1], "");

  GameState = "levelcomplete";
  Player.BonusesTaken = 3;
  Player.BonusesMissed = 2;
  DoorTop->Y = -1;
  StatisticsLinesStep();
  EXPECT_EQ(StatStep, 0);
  DoorTop->Y = 0;
  for (int i = 0; i < 17; ++i) StatisticsLinesStep();
  EXPECT_EQ(MessageLines[3], "Bonuses taken: 3/");
  StatisticsLinesStep();
  EXPECT_EQ(MessageLines[3], "Bonuses taken: 3/5");
  EXPECT_EQ(MessageLines[1], "Difficulty: Normal");
  for (int i = 0; i < 20; ++i) StatisticsLinesStep();
  EXPECT_EQ(StatStep, 30);
  EXPECT_EQ(MessageLines[2], std::string(30, '-'));
}

TEST_F(ScreensTest, BestLevelTimeComesFromTheLevelsSlot) {
  EnterPlay();
  GameState = "newlevel";
  CurrentMission = 3;
  CurrentLevel = 2;
  const int32_t slot = BestTimeSlot(CurrentMission, CurrentLevel);
  if (slot >= 1 && slot <= 100) Player.BestTimes[static_cast<size_t>(slot)] = 754;
  for (int i = 0; i < 30; ++i) StatisticsLinesStep();
  EXPECT_EQ(MessageLines[1], "TIME");
  EXPECT_EQ(MessageLines[4].substr(0, 17), "Best level time: ");
  EXPECT_EQ(MessageLines[4].substr(17),
            TranslateTime(slot >= 1 && slot <= 100 ? 754 : 0, 0).substr(0, 13));
}

TEST_F(ScreensTest, DoorsMoveOncePerInterfaceSprite) {
  EnterMainMenu();
  GameState = "levelcomplete";
  DoorState = "open";
  DoorTop->Y = -358;
  DoorBottom->Y = 600;
  const int menus = InterfaceSpriteCount();
  Frame(16);
  const double step = DoorTop->Y + 358;
  EXPECT_NEAR(step, menus * 16 / 95.0, 1e-9);
  EXPECT_NEAR(600 - DoorBottom->Y, menus * 16 / 95.0, 1e-9);

  CreateHeadsUpDisplay();
  EXPECT_EQ(InterfaceSpriteCount(), 90);
  DoorTop->Y = -358;
  Frame(16);
  EXPECT_NEAR(DoorTop->Y + 358, (menus + 22) * 16 / 95.0, 1e-9);
  // Closed: the top leaf stops at 0 and the game-over buttons appear.
  GameState = "gameover";
  for (int i = 0; i < 30; ++i) Frame(16);
  EXPECT_EQ(DoorTop->Y, 0);
  EXPECT_EQ(DoorBottom->Y, 278);
  EXPECT_TRUE(GameOverMainButton->Visible);
  // Opening in "ready": both leaves go back out of sight.
  GameState = "ready";
  DoorState = "close";
  for (int i = 0; i < 30; ++i) Frame(16);
  EXPECT_EQ(DoorTop->Y, -358);
  EXPECT_FALSE(DoorTop->Visible);
  EXPECT_EQ(DoorBottom->Y, 600);
  EXPECT_FALSE(DoorBottom->Visible);
  EXPECT_EQ(MissionDigit->Y, DoorTop->Y + 11);
}

}  // namespace
