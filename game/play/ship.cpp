// The player's ship: its companions, steering and firing by mouse,
// keyboard or joystick, rising in and sinking away between levels, hits by
// enemy shots and the death sequence.
#include <algorithm>

#include "framework/random.h"
#include "framework/sysutils.h"
#include "game/core/main_form.h"
#include "game/play/play.h"
#include "game/play/ship_common.h"
#include "game/screens/interface_sprite.h"

namespace {

// The screens whose attachment places differ.
enum TShipPose { spReady, spLevelComplete, spGame };

TDXInputBits JoystickStates() {
  return MainForm->DXInput->Joystick()->States();
}

TDXInputBits CombinedStates() {
  return MainForm->DXInput->States;
}

// The keyboard's or joystick's continue: only once the prompt has blinked.
bool ContinuePressed() {
  return ClickFlag || (ContinueBlink == -1 && (JoystickStates().Contains(ibButton1) ||
                                               CombinedStates().Contains(ibButton3)));
}

// The ship's bank frame as an index of the flame offsets.
size_t Bank(const TPlayerSprite& Ship) {
  return static_cast<size_t>(std::clamp(Trunc(Ship.AnimPos), 1, 10));
}

void PlaceFlames(const TPlayerSprite& Ship, int32_t Lift) {
  const size_t bank = Bank(Ship);
  for (int i = 1; i <= 2; ++i) {
    TFxSprite* f = EngineFlames[static_cast<size_t>(i)];
    if (!f) continue;
    f->X = i == 1 ? Ship.X - f->Width / 2 - FlameOffsetsLeft[bank]
                  : Ship.X + Ship.Width - FlameOffsetsRight[bank];
    f->Y = Ship.Y + Ship.Height - f->Height / 2 - Lift;
  }
}

void PlaceShipFire(const TPlayerSprite& Ship, int32_t Below) {
  if (!ShipFire) return;
  ShipFire->X = Ship.X + Ship.Width / 2 - ShipFire->Width / 2 + 1;
  ShipFire->Y = Ship.Y + Below;
}

void PlaceMountsAtRest(const TPlayerSprite& Ship) {
  if (PrimaryMount) {
    PrimaryMount->X = Ship.X + Ship.Width / 2 - PrimaryMount->Width / 2;
    PrimaryMount->Y = Ship.Y - PrimaryMount->Height + 18;
    PrimaryMount->AnimLooped = false;
  }
  if (SecondaryMount) {
    SecondaryMount->X = Ship.X - 14;
    SecondaryMount->Y = Ship.Y + 8;
  }
}

void PlaceAttachments(const TPlayerSprite& Ship, TShipPose Pose) {
  if (Pose != spGame) PlaceMountsAtRest(Ship);
  PlaceFlames(Ship, Pose == spLevelComplete ? 34 : 25);
  PlaceShipFire(Ship, Pose == spReady ? 42 : Pose == spLevelComplete ? 55 : 38);
  if (ExtraWeaponMount) {
    ExtraWeaponMount->X = Ship.X - (Pose == spGame ? 12 : 14);
    ExtraWeaponMount->Y = Ship.Y - 2;
  }
}

void Fire(const TPlayerSprite& Ship) {
  // The gun recoils a little, less the faster it reloads.
  if (PrimaryMount)
    PrimaryMount->Y = Ship.Y - PrimaryMount->Height + 18 - 40.0 / Player.PrimaryReload;
  if (PrimaryCounter >= Player.PrimaryReload) PlayerShoot(1, Player.PrimaryLevel, 0, 0, 0);
  if (Player.ExtraWeaponCounter >= 25) {
    Player.ExtraWeaponCounter = 0;
    PlayerShoot(3, Player.PrimaryLevel, 0, 0, 0);
  }
}

void Hold(const TPlayerSprite& Ship) {
  if (!PrimaryMount) return;
  PrimaryMount->X = Ship.X + Ship.Width / 2 - PrimaryMount->Width / 2 + 1;
  PrimaryMount->Y = Ship.Y - PrimaryMount->Height + 18;
  PrimaryMount->AnimLooped = false;
}

void Rockets(const TPlayerSprite& Ship) {
  if (Player.SecondaryCounter < Player.SecondaryReload) return;
  Player.SecondaryCounter = 0;
  // The launcher kicks down and creeps back in the mount step.
  if (SecondaryMount) SecondaryMount->Y = Ship.Y + 40;
  PlayerShoot(2, Player.SecondaryLevel, 0, 0, 0);
}

int32_t PanOf(double X) {
  return Trunc(X * 2.5) - 1000;
}

template <class T>
T* Make(TCustomDXImageList* List, const std::string& Picture, int32_t Z) {
  auto* s = new T(PlayRoot());
  SetPicture(s, List, Picture);
  s->SetZ(Z);
  return s;
}

}  // namespace

// ---- the sprites ---------------------------------------------------------------

void ShowShipGroup(bool Show) {
  for (TImageSprite* s : std::initializer_list<TImageSprite*>{
           PlayerShip, PrimaryMount, SecondaryMount, ShipFire, EngineFlames[1], EngineFlames[2]})
    if (s) s->Visible = Show;
}

void PlaceShipAttachments() {
  if (PlayerShip) PlaceAttachments(*PlayerShip, spReady);
}

void CreateShipCompanions() {
  for (int i = 1; i <= 2; ++i) {
    auto* flame = Make<TFxSprite>(MainForm->FxList, "playerthor1", 13);
    StartAnimation(flame, 6, 1.0 / 22, true);
    EngineFlames[static_cast<size_t>(i)] = flame;
  }
  ShipFire = Make<TFxSprite>(MainForm->ImageList, "Player1fire_fx", 13);
  StartAnimation(ShipFire, 5, 1.0 / 30, true);
  ExtraWeaponMount = Make<TFxSprite>(MainForm->ModelsList, "addon1", 12);
  StartAnimation(ExtraWeaponMount, 10, 0.04, true);
  ExtraWeaponMount->Visible = Player.ExtraWeapon1Time > 0;
}

void CreatePlayerShip() {
  PlayerShip = Make<TPlayerSprite>(MainForm->ModelsList, "player1left", 15);
  PlayerShip->X = 350;
  PlayerShip->Y = 660;
  StartAnimation(PlayerShip, 10, 0, false);
  PlayerShip->AnimPos = 1;
  for (int i = 1; i <= 3; ++i) {
    auto* box =
        Make<TPlayerSpriteCollision>(MainForm->ModelsList, "collision" + std::to_string(i), 16);
    box->X = 350;
    box->Visible = false;
    ShipHitBoxes[static_cast<size_t>(i)] = box;
  }
  PrimaryMount = Make<TPlayerWeaponSprite>(MainForm->WeaponsList,
                                           "primary" + std::to_string(Player.PrimaryLevel), 14);
  PrimaryMount->X = 350;
  StartAnimation(PrimaryMount, 10, 0.1, false);
  SecondaryMount = Make<TPlayerWeaponSprite>(MainForm->WeaponsList, "secondary1", 14);
  SecondaryMount->X = 350;
  StartAnimation(SecondaryMount, 10, 0, false);
  SecondaryMount->Y = PlayerShip->Y - 42;
}

// ---- the ship's step -----------------------------------------------------------

void TPlayerSprite::DoMove(int32_t MoveCount) {
  TImageSprite::DoMove(MoveCount);
  const double m = MoveCount;
  if (GameState == "ready") {
    if (Y > 538) Y -= 0.25 * m;
    PlaceAttachments(*this, spReady);
    const bool pressed =
        ClickFlag || JoystickStates().Contains(ibButton1) || CombinedStates().Contains(ibButton3);
    if (pressed && ScreenFadeStep == 0 && Y <= 538 && DoorTop && DoorTop->Y == -358) {
      ContinueBlink = 0;
      ClickFlag = false;
      ShakeCount = 0;
      ShakeAmplitude = 0;
      GameState = "game";
    }
    ClickFlag = false;
  } else if (GameState == "levelcomplete") {
    if (Y < 660) Y += 0.25 * m;
    PlaceAttachments(*this, spLevelComplete);
    if (ContinuePressed() && Y >= 660 && DoorTop && DoorTop->Y == 0) {
      ContinueBlink = 0;
      ClickFlag = false;
      ShowCompleteLevel(false);
      EnterNewLevelBg();
    }
  } else if (GameState == "newlevel") {
    if (ScreenFadeStep == 0 && ContinuePressed()) StepIntoNextLevel();
  } else if (GameState == "game") {
    StepInPlay(m);
  }
}

void TPlayerSprite::StepIntoNextLevel() {
  ContinueBlink = 0;
  ClickFlag = false;
  AnimateStvorki("close");
  EnterNewLevel();
  // The next level may have changed the pictures; place everything afresh.
  PlaceFlames(*this, 34);
  PlaceShipFire(*this, 55);
  if (PrimaryMount) {
    PrimaryMount->X = X + Width / 2 - PrimaryMount->Width / 2 - 2;
    PrimaryMount->Y = Y - PrimaryMount->Height + 18;
    PrimaryMount->AnimLooped = false;
  }
  if (SecondaryMount) {
    SecondaryMount->X = X - 27;
    SecondaryMount->Y = Y + 26;
  }
  if (ReadyBanner) ReadyBanner->Visible = true;
  Player.LevelTime = 0;
  GameState = "ready";
  for (std::string& line : MessageLines) line.clear();
  if (FaceSprite) {
    SetPicture(FaceSprite, MainForm->InterFaceList, "face_empty");
    FaceSprite->AnimSpeed = 0.02;
    FaceSprite->AnimStart = 0;
    FaceSprite->AnimLooped = true;
  }
  ScreenFadeStep = 16;
}

void TPlayerSprite::StepInPlay(double m) {
  if (PrimaryCounter < Player.PrimaryReload) PrimaryCounter += m / 10;
  if (Player.ExtraWeaponCounter < 25) Player.ExtraWeaponCounter += m * 0.1;
  if (Player.SecondaryCounter < Player.SecondaryReload) Player.SecondaryCounter += m * 0.1;

  // The shield's blinking has ended.
  if (!Visible && Player.ShieldTime < 1) ShowShipGroup(true);

  const TDXInputBits joy = JoystickStates();
  if (GameOptions.Controls == 3) {
    if (joy.Contains(ibRight) && X < 800 - Width) X += m * ShipSpeed;
    if (joy.Contains(ibLeft) && X > 100) X -= m * ShipSpeed;
    if (joy.Contains(ibButton2)) Rockets(*this);
    if (joy.Contains(ibButton1))
      Fire(*this);
    else
      Hold(*this);
  }
  const TJoystick* stick = MainForm->DXInput->Joystick();
  if (stick->X() == 0 && stick->Y() == 0 && GameOptions.Controls == 2) {
    const TDXInputBits keys = CombinedStates();
    if (keys.Contains(ibLeft) && X > 100) X -= 0.5 * m;
    if (keys.Contains(ibRight) && X < 800 - Width) X += 0.5 * m;
    if (keys.Contains(ibButton4)) Rockets(*this);
    if (keys.Contains(ibButton3))
      Fire(*this);
    else
      Hold(*this);
  }
  PlaceAttachments(*this, spGame);
  if (GameOptions.Controls == 1) {
    if (CombinedStates().Contains(ibButton1) && !joy.Contains(ibButton1))
      Fire(*this);
    else
      Hold(*this);
    if (RightClickFlag) Rockets(*this);
  }
  Y = 595 - Height;
  ClickFlag = false;
}

void TPlayerWeaponSprite::DoMove(int32_t MoveCount) {
  TImageSprite::DoMove(MoveCount);
  if (GameState != "game" || !PlayerShip) return;
  const TPlayerSprite& ship = *PlayerShip;
  if (PrimaryMount) PrimaryMount->X = ship.X + ship.Width / 2 - PrimaryMount->Width / 2;
  if (SecondaryMount) {
    SecondaryMount->X = ship.X - 14;
    // After a rocket it climbs back 2 pixels per run, twice a frame.
    const double rest = ship.Y + 8;
    SecondaryMount->Y = rest >= SecondaryMount->Y ? rest : SecondaryMount->Y - 2;
  }
}

void TPlayerSpriteCollision::DoMove(int32_t MoveCount) {
  TImageSprite::DoMove(MoveCount);
  if (PlayerShip) {
    static constexpr int32_t offsets[4][2] = {{0, 0}, {16, 0}, {0, 26}, {8, 20}};
    for (size_t i = 1; i <= 3; ++i) {
      if (!ShipHitBoxes[i]) continue;
      ShipHitBoxes[i]->X = PlayerShip->X + offsets[i][0];
      ShipHitBoxes[i]->Y = PlayerShip->Y + offsets[i][1];
    }
  }
  Collision();
}

void TPlayerSpriteCollision::DoCollision(TSprite* Sprite, bool& Done) {
  if (auto* shot = dynamic_cast<TEnemyShoot*>(Sprite)) {
    if (Player.ShieldTime <= 0) PlayerHit(shot);
  } else if (auto* bonus = dynamic_cast<TBonusSprite*>(Sprite)) {
    TakeBonus(bonus);
  }
  Done = false;
}

// ---- hits and death --------------------------------------------------------------

void PlayerHit(TEnemyShoot* Shot) {
  if (!Shot) return;
  if (Player.GodTime < 1) AnimAteFace("face_hit", 40, 1.0 / 15, 0, false, "", 0);
  const double cx = Shot->X + Shot->Width / 2, cy = Shot->Y + Shot->Height / 2;
  const int32_t pan = PanOf(Shot->X);
  if (Player.GodTime > 0) {
    CreateExplosion(Shot->Z(), "ExplosionFx4", cx, cy, "mesh1", 0, 1, 1, pan);
  } else {
    // Five seconds in which no shot can hit; the ship blinks meanwhile.
    Player.ShieldTime = 5;
    CreateExplosion(Shot->Z(), "ExplosionFx2", cx, cy, "mesh1", 200, 1, 2, pan);
    if (Player.Armor) {
      Player.Armor = false;
      if (PlayerShip) {
        if (PlayerShip->DXImageName == "player1left_armor")
          SetPicture(PlayerShip, MainForm->ModelsList, "player1left");
        else if (PlayerShip->DXImageName == "player1right_armor")
          SetPicture(PlayerShip, MainForm->ModelsList, "player1right");
      }
    } else if (Player.PrimaryLevel < 2) {
      if (DeathCountdown < 0) DeathCountdown = 6;
      if (PlayerShip)
        CreateExplosion(PlayerShip->Z() + 1, "ExplosionFx2", PlayerShip->X, PlayerShip->Y, "mesh2",
                        500, 1, 1, pan);
      if (GameOptions.Bumpiness == 1) {
        ShakeCount = 44;
        ShakeAmplitude = 16;
      }
      GameOptions.SavedControls = GameOptions.Controls;
      GameOptions.Controls = 0;
      FireLocked = true;
    } else {
      // The weapon level is the ship's health.
      Player.PrimaryLevel -= 1;
    }
    const std::string picture = "primary" + std::to_string(Player.PrimaryLevel);
    if (PrimaryMount) SetPicture(PrimaryMount, MainForm->WeaponsList, picture);
    if (PrimaryIcon) SetPicture(PrimaryIcon, MainForm->InterFaceList, picture);
  }
  // Out of sight, where its own step removes it.
  Shot->Y = 700;
}

void TMainForm::PlayerDeathTimerTimer(TObject*) {
  if (GameState != "game" || DeathCountdown < 0) return;
  if (DeathCountdown > 0) {
    DeathCountdown -= 1;
    if (!PlayerShip) return;
    for (int i = 0; i < 4; ++i) {
      const int32_t dx = Random(PlayerShip->Width);
      const int32_t dy = Random(PlayerShip->Height);
      const int32_t picture = 1 + Random(3);
      CreateExplosion(PlayerShip->Z() + 1, "ExplosionFx" + std::to_string(picture),
                      PlayerShip->X + dx, PlayerShip->Y + dy, "mesh2", 250, 1, 1,
                      PanOf(PlayerShip->X));
    }
    return;
  }
  DeathCountdown = -10;
  ShakeCount = 0;
  ShakeAmplitude = 0;
  // Ends a shake still running.
  DXSpriteEngine->Engine()->X = 0;
  DXSpriteEngine->Engine()->Y = 0;
  GameOptions.Controls = GameOptions.SavedControls;
  ShowShipGroup(false);
  ShowGameOver(true);
}

// ---- the mouse -------------------------------------------------------------------

void TMainForm::DXDrawMouseDown(TObject*, TMouseButton, TShiftState Shift, int, int) {
  if (Shift & ssRight) RightClickFlag = true;
  if (Shift & ssLeft) ClickFlag = true;
}

void TMainForm::DXDrawMouseUp(TObject*, TMouseButton, TShiftState, int, int) {
  RightClickFlag = false;
}

void TMainForm::DXDrawMouseMove(TObject*, TShiftState, int X, int Y) {
  MouseX = X;
  MouseY = Y;
  if (CursorSprite) {
    CursorSprite->X = X;
    CursorSprite->Y = Y;
  }
  MouseX = std::clamp(MouseX, 100, 730);
  if (GameState == "game") {
    // The screen's 800 pixels map onto 100..729.
    MouseX = Trunc(X * 0.7875 + 100);
    if (GameOptions.Controls == 1 && PlayerShip) PlayerShip->X = MouseX;
  }
}

void CheckLevelComplete() {
  // A ship going down cannot finish the level: its death sequence ends the
  // game, and must not meet the next level with the controls taken away.
  if (EnemiesAlive <= 0 && BonusesInFlight <= 0 && CurrentMission <= 10 && CurrentLevel <= 10 &&
      DisplayedScore >= Player.Score && GameState != "gameover" && DeathCountdown < 0)
    ShowCompleteLevel(true);
}

// ---- helpers shared by the play sprites -------------------------------------------

TSprite* PlayRoot() {
  return MainForm->DXSpriteEngine->Engine();
}

void SetPicture(TImageSprite* Sprite, TCustomDXImageList* List, const std::string& Name) {
  Sprite->SetImage(List->Items().Find(Name));
}

void StartAnimation(TImageSprite* Sprite, int32_t Frames, double Speed, bool Looped) {
  Sprite->AnimCount = Frames;
  Sprite->AnimSpeed = Speed;
  Sprite->AnimLooped = Looped;
  Sprite->AnimStart = 0;
  Sprite->AnimPos = 0;
}
