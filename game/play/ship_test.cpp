// The ship: hits and the death sequence, steering by mouse, keyboard and
// joystick, and the continue input between levels.
#include "game/play/ship_test_fixture.h"

namespace {

// SDL scancodes.
constexpr int kRight = 79, kLeft = 80, kA = 4;

class ShipTest : public TPlayFixture {
 protected:
  TEnemyShoot* MakeEnemyShot(double X, double Y) {
    auto* shot = new TEnemyShoot(Engine());
    SetPicture(shot, Form->WeaponsList, "enemy2clip");
    shot->X = X;
    shot->Y = Y;
    shot->SetZ(19);
    // It stands where it is put: its own flight is not under test here.
    shot->Moved = false;
    return shot;
  }
};

TEST_F(ShipTest, AHitCostsShieldArmorOrWeaponLevelAndAtLevelOneDestroysTheShip) {
  struct TCase {
    const char* Name;
    int32_t GodTime;
    bool Armor;
    int32_t Level;
    // After the hit:
    int32_t Shield;
    const char* Ship;
    int32_t NewLevel;
    int32_t Countdown;
    int32_t Controls;
    bool Locked;
    int32_t Explosions;  // sprites: each explosion is a picture and its overlay
    int32_t Flash;       // 0: none
  } cases[] = {
      {"god", 5, false, 3, 0, "player1left_god", 3, -10, 2, false, 2, 0},
      {"armor", 0, true, 1, 5, "player1left", 1, -10, 2, false, 2, 200},
      {"level 1", 0, false, 1, 5, "player1left", 1, 6, 0, true, 4, 500},
      {"level 3", 0, false, 3, 5, "player1left", 2, -10, 2, false, 2, 200},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Engine()->Clear();
    ResetPlay();
    GameOptions.Controls = 2;
    Player.GodTime = c.GodTime;
    Player.Armor = c.Armor;
    Player.PrimaryLevel = c.Level;
    MakeShip();
    SetPicture(PlayerShip, Form->ModelsList,
               c.Armor     ? "player1left_armor"
               : c.GodTime ? "player1left_god"
                           : "player1left");
    TEnemyShoot* shot = MakeEnemyShot(300, 500);
    FaceSprite = MakeInterface("face_empty");

    PlayerHit(shot);

    // The pilot winces unless god mode makes the hit harmless.
    EXPECT_EQ(FaceSprite->DXImageName, c.GodTime ? "face_empty" : "face_hit");
    if (!c.GodTime) EXPECT_DOUBLE_EQ(FaceSprite->AnimSpeed, 1.0 / 15);

    EXPECT_EQ(Player.ShieldTime, c.Shield);
    EXPECT_EQ(PlayerShip->DXImageName, c.Ship);
    EXPECT_FALSE(Player.Armor);
    EXPECT_EQ(Player.PrimaryLevel, c.NewLevel);
    EXPECT_EQ(PrimaryMount->DXImageName, "primary" + std::to_string(c.NewLevel));
    EXPECT_EQ(DeathCountdown, c.Countdown);
    EXPECT_EQ(GameOptions.Controls, c.Controls);
    EXPECT_EQ(GameOptions.SavedControls, c.Locked ? 2 : 1);
    EXPECT_EQ(FireLocked, c.Locked);
    EXPECT_EQ(shot->Y, 700);
    const auto blasts = All<TExplosionSprite>();
    ASSERT_EQ(static_cast<int32_t>(blasts.size()), c.Explosions);
    // The first explosion is centred on the shot.
    EXPECT_EQ(blasts[0]->DXImageName, c.GodTime ? "ExplosionFx4" : "ExplosionFx2");
    EXPECT_EQ(blasts[0]->X + blasts[0]->Width / 2, 300 + shot->Width / 2);
    EXPECT_EQ(blasts[1]->DXImageName, "mesh1");
    EXPECT_EQ(FlashActive, c.Flash > 0);
    if (c.Flash) EXPECT_EQ(FlashLevel, c.Flash);
    if (c.Locked) {
      // The ship's own explosion stands at its corner, above it.
      EXPECT_EQ(blasts[2]->X + blasts[2]->Width / 2, PlayerShip->X);
      EXPECT_EQ(blasts[2]->Z(), PlayerShip->Z() + 1);
      EXPECT_EQ(blasts[3]->DXImageName, "mesh2");
      EXPECT_EQ(ShakeCount, 44);
    }
  }
}

TEST_F(ShipTest, ShieldKeepsFurtherShotsOffTheShip) {
  MakeShip();
  Player.ShieldTime = 1;
  PlayerShip->X = 300;
  Frame(1);  // the hit boxes take their places
  TEnemyShoot* shot = MakeEnemyShot(ShipHitBoxes[2]->X + 10, ShipHitBoxes[2]->Y + 5);
  Frame(1);
  EXPECT_NE(shot->Y, 700);
  EXPECT_EQ(Player.PrimaryLevel, 1);

  Player.ShieldTime = 0;
  Frame(1);
  EXPECT_EQ(shot->Y, 700);
  EXPECT_EQ(Player.ShieldTime, 5);
  EXPECT_EQ(DeathCountdown, 6);
}

TEST_F(ShipTest, DeathSequenceShowsSixRoundsOfFourExplosionsThenGivesControlBack) {
  MakeShip();
  GameOptions.Controls = 3;
  PlayerHit(MakeEnemyShot(300, 500));
  Engine()->Clear();  // only the sequence's explosions are counted below
  ASSERT_EQ(GameOptions.Controls, 0);
  MakeShip();
  PlayerShip->X = 200;
  Engine()->X = -7;

  for (int tick = 1; tick <= 6; ++tick) {
    SCOPED_TRACE(tick);
    Form->PlayerDeathTimerTimer(nullptr);
    EXPECT_EQ(DeathCountdown, 6 - tick);
    const auto blasts = All<TExplosionSprite>();
    ASSERT_EQ(blasts.size(), 8u * tick);
    for (size_t i = blasts.size() - 8; i < blasts.size(); i += 2) {
      const double cx = blasts[i]->X + blasts[i]->Width / 2;
      const double cy = blasts[i]->Y + blasts[i]->Height / 2;
      EXPECT_GE(cx, 200);
      EXPECT_LT(cx, 200 + PlayerShip->Width);
      EXPECT_GE(cy, PlayerShip->Y);
      EXPECT_LT(cy, PlayerShip->Y + PlayerShip->Height);
      EXPECT_EQ(blasts[i + 1]->DXImageName, "mesh2");
    }
    EXPECT_TRUE(PlayerShip->Visible);
  }
  Form->PlayerDeathTimerTimer(nullptr);
  EXPECT_EQ(DeathCountdown, -10);
  EXPECT_EQ(GameOptions.Controls, 3);
  EXPECT_EQ(Engine()->X, 0);
  EXPECT_EQ(ShakeCount, 0);
  for (TImageSprite* s : std::initializer_list<TImageSprite*>{
           PlayerShip, PrimaryMount, SecondaryMount, ShipFire, EngineFlames[1], EngineFlames[2]})
    EXPECT_FALSE(s->Visible);
  EXPECT_EQ(All<TExplosionSprite>().size(), 48u);

  // Nothing more happens, nor while another screen shows.
  Form->PlayerDeathTimerTimer(nullptr);
  DeathCountdown = 3;
  GameState = "pause";
  Form->PlayerDeathTimerTimer(nullptr);
  EXPECT_EQ(DeathCountdown, 3);
  EXPECT_EQ(All<TExplosionSprite>().size(), 48u);
}

TEST_F(ShipTest, MouseMapsTheScreenOntoTheShipsLane) {
  MakeShip();
  for (const auto& [x, shipX] : {std::pair{0, 100}, {400, 415}, {799, 729}}) {
    Form->DXDrawMouseMove(nullptr, 0, x, 300);
    EXPECT_EQ(PlayerShip->X, shipX) << x;
    EXPECT_EQ(MouseY, 300);
  }
  // Outside play the mouse only points.
  GameState = "pause";
  Form->DXDrawMouseMove(nullptr, 0, 10, 20);
  EXPECT_EQ(MouseX, 100);
  EXPECT_EQ(PlayerShip->X, 729);
  // The keyboard mode ignores the mouse's position.
  GameState = "game";
  GameOptions.Controls = 2;
  Form->DXDrawMouseMove(nullptr, 0, 400, 300);
  EXPECT_EQ(PlayerShip->X, 729);

  Form->DXDrawMouseDown(nullptr, mbRight, ssRight, 0, 0);
  EXPECT_TRUE(RightClickFlag);
  EXPECT_FALSE(ClickFlag);
  Form->DXDrawMouseDown(nullptr, mbLeft, ssLeft, 0, 0);
  EXPECT_TRUE(ClickFlag);
  Form->DXDrawMouseUp(nullptr, mbRight, 0, 0, 0);
  EXPECT_FALSE(RightClickFlag);
}

TEST_F(ShipTest, KeyboardSteersOnlyWhileTheJoystickRestsAndStopsAtTheLaneEnds) {
  MakeShip();
  GameOptions.Controls = 2;
  const double right = 800 - PlayerShip->Width;
  struct TCase {
    int Key;
    int32_t Axis;
    double From, To;
  } cases[] = {
      {kLeft, 0, 300, 292},
      {kRight, 0, 300, 308},
      {kLeft, 20000, 300, 300},
      {kLeft, 0, 100, 100},
      {kLeft, 0, 101, 93},
      {kRight, 0, right, right},
      {kRight, 0, right - 1, right + 7},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Key << " axis " << c.Axis << " from " << c.From);
    Joystick->sample.Axes[0] = c.Axis;
    HeadlessKeyDown(c.Key);
    PollInput();
    PlayerShip->X = c.From;
    Frame(16);
    EXPECT_EQ(PlayerShip->X, c.To);
    HeadlessKeyUp(c.Key);
  }
  Joystick->sample.Axes[0] = 0;
  PollInput();

  // The joystick steers in its own mode, half a pixel per millisecond.
  GameOptions.Controls = 3;
  Joystick->sample.Axes[0] = 32767;
  PollInput();
  PlayerShip->X = 300;
  Frame(16);
  EXPECT_EQ(PlayerShip->X, 308);
  EXPECT_EQ(PlayerShip->Y, 595 - PlayerShip->Height);
}

TEST_F(ShipTest, FiringFollowsTheControlModesButtons) {
  MakeShip();
  Form->DXInput->Keyboard()->Assigns[ibButton3] = {'A', 0, 0};
  struct TCase {
    int32_t Controls;
    bool Key, Stick;
    bool Fires;
  } cases[] = {
      {2, true, false, true},  {2, false, true, false},  {3, false, true, true},
      {3, true, false, false}, {1, false, false, false}, {1, false, true, false},
      {0, true, true, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "controls " << c.Controls << " key " << c.Key << " stick " << c.Stick);
    GameOptions.Controls = c.Controls;
    if (c.Key) HeadlessKeyDown(kA);
    Joystick->sample.Buttons[0] = c.Stick;
    PollInput();
    Player.PrimaryReload = 10;
    PrimaryCounter = 10;
    const size_t before = All<TWeaponSprite>().size();
    Frame(1);
    EXPECT_EQ(All<TWeaponSprite>().size() > before, c.Fires);
    HeadlessKeyUp(kA);
    Joystick->sample.Buttons[0] = false;
    PollInput();
  }
}

TEST_F(ShipTest, ContinueTakesAClickAtOnceAndAKeyOnlyOnceThePromptBlinks) {
  MakeShip();
  Form->DXInput->Keyboard()->Assigns[ibButton3] = {'A', 0, 0};
  DoorTop = MakeInterface("stvorka1");
  ReadyBanner = MakeInterface("ready");
  ReadyBanner->Visible = false;

  // The level-complete screen, doors closed, ship sunk away.
  struct TCase {
    bool Click, Key;
    int32_t Blink;
    bool Continues;
  } cases[] = {
      {true, false, 0, true},  {true, false, 1, true},    {false, true, 1, false},
      {false, true, -1, true}, {false, false, -1, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "click " << c.Click << " key " << c.Key << " blink " << c.Blink);
    GameState = "levelcomplete";
    DoorTop->Y = 0;
    PlayerShip->Y = 660;
    ContinueBlink = c.Blink;
    ClickFlag = c.Click;
    if (c.Key) HeadlessKeyDown(kA);
    PollInput();
    PlayerShip->Move(1);
    EXPECT_EQ(ContinueBlink, c.Continues ? 0 : c.Blink);
    EXPECT_EQ(ClickFlag, c.Click && !c.Continues);
    HeadlessKeyUp(kA);
    PollInput();
  }

  // The statistics screen's continue starts the next level's "ready".
  GameState = "newlevel";
  ContinueBlink = -1;
  ClickFlag = true;
  Player.LevelTime = 30;
  PlayerShip->Move(1);
  EXPECT_EQ(GameState, "ready");
  // The level's music would start; without the audio library it cannot.
  const auto boxes = TakeRecordedMessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].Text, "Cannot open file (BassPlayer is not ready)");
  EXPECT_EQ(ScreenFadeStep, 16);
  EXPECT_EQ(Player.LevelTime, 0);
  EXPECT_TRUE(ReadyBanner->Visible);
  EXPECT_EQ(SecondaryMount->X, PlayerShip->X - 27);

  // The ship rises a quarter pixel per millisecond to 538, and play starts
  // on a click only once it is there and the doors stand open.
  PlayerShip->Y = 660;
  DoorTop->Y = -358;
  ScreenFadeStep = 0;
  ShakeCount = 5;
  ClickFlag = true;
  PlayerShip->Move(16);
  EXPECT_EQ(PlayerShip->Y, 656);
  EXPECT_EQ(GameState, "ready");
  EXPECT_FALSE(ClickFlag);
  PlayerShip->Y = 538;
  ClickFlag = true;
  PlayerShip->Move(16);
  EXPECT_EQ(GameState, "game");
  EXPECT_EQ(ShakeCount, 0);
}

TEST_F(ShipTest, AttachmentsRideOnTheShipByScreen) {
  MakeShip();
  PlayerShip->X = 300;
  PlayerShip->AnimPos = 4;  // bank frame 4: flame offsets 1 and 13
  const double y = PlayerShip->Y;
  const int32_t w = PlayerShip->Width, h = PlayerShip->Height;
  TFxSprite* f = EngineFlames[1];
  Frame(1);
  EXPECT_EQ(f->X, 300 - f->Width / 2 - 1);
  EXPECT_EQ(EngineFlames[2]->X, 300 + w - 13);
  EXPECT_EQ(f->Y, y + h - f->Height / 2 - 25);
  EXPECT_EQ(ShipFire->Y, y + 38);
  EXPECT_EQ(ExtraWeaponMount->X, 300 - 12);
  EXPECT_EQ(PrimaryMount->X, 300 + w / 2 - PrimaryMount->Width / 2);
  EXPECT_EQ(SecondaryMount->X, 300 - 14);

  // A rocket kicks the launcher down; it creeps back 4 pixels a frame.
  Player.SecondaryCounter = 50;
  RightClickFlag = true;
  Frame(1);
  RightClickFlag = false;
  EXPECT_EQ(SecondaryMount->Y, y + 40 - 4);
  Frame(1);
  EXPECT_EQ(SecondaryMount->Y, y + 40 - 8);
  EXPECT_EQ(Player.Rockets, 3);

  GameState = "levelcomplete";
  PlayerShip->Y = 600;
  PlayerShip->Move(4);
  EXPECT_EQ(PlayerShip->Y, 601);
  EXPECT_EQ(f->Y, 601 + h - f->Height / 2 - 34);
  EXPECT_EQ(ShipFire->Y, 601 + 55);
  EXPECT_EQ(SecondaryMount->Y, 601 + 8);
}

}  // namespace
