// The level flow: a new game, the level-complete and statistics screens
// between levels, the next level with its bonus chances and boss set-up, the
// mission advance and the game-over screen.
#include <string>

#include "framework/scope_exit.h"
#include "music/bass_player.h"
#include "game/play/play.h"
#include "game/play/ship_common.h"
#include "game/screens/interface_sprite.h"

int32_t FinishedMission = 0, FinishedLevel = 0;

namespace {

const char* const MainMusic = "music\\main.mp3";
const char* const BossMusic = "music\\boss.mp3";

void SetVisible(TSprite* Sprite, bool Visible) {
  if (Sprite) Sprite->Visible = Visible;
}

// The named picture, for a sprite that still exists.
void SetPictureOf(TImageSprite* Sprite, TDXImageList* List, const std::string& Name) {
  if (Sprite) SetPicture(Sprite, List, Name);
}

void SetFrame(TImageSprite* Sprite, int32_t Frame) {
  if (Sprite) Sprite->AnimPos = Frame;
}

std::string PictureOf(const TImageSprite* Sprite) {
  return Sprite && Sprite->GetImage() ? Sprite->GetImage()->Name() : std::string();
}

void PlayMusic(const std::string& FileName) {
  MainForm->OpenMusic(FileName);
  if (MusicPlayer) MusicPlayer->SetVolume(GameOptions.MusicLevel * 10);
}

// The main music, unless it is already what the player has open.
void EnsureMainMusic() {
  if (GameOptions.MusicLevel > 0 && (!MusicPlayer || MusicPlayer->CurrentFile() != MainMusic))
    PlayMusic(MainMusic);
}

void ShowTransitionDigits(bool Visible) {
  SetVisible(MissionDigit, Visible);
  SetVisible(LevelDigit, Visible);
  SetVisible(EpisodeDigit, Visible);
}

// The mission's number within its episode, as the door digits count it.
int32_t MissionDigitFrame() {
  return CurrentEpisode == 1 ? CurrentMission - 1 : CurrentMission - 6;
}

void SetPrimaryLevel(int32_t Level) {
  Player.PrimaryLevel = Level;
  if (!MainForm) return;
  SetPictureOf(PrimaryMount, MainForm->WeaponsList, "primary" + std::to_string(Level));
  SetPictureOf(PrimaryIcon, MainForm->InterFaceList, "primary" + std::to_string(Level));
}

void SetDigitPair(std::array<TInterFaceSprite*, 3>& Digits, int32_t First, int32_t Second) {
  SetFrame(Digits[1], First);
  SetFrame(Digits[2], Second);
  SetVisible(Digits[1], true);
  SetVisible(Digits[2], true);
}

// Level-10 bonus chances as a mission sets them; Keep leaves a chance as it
// stands, and Primary 0 leaves the weapon alone.
constexpr int32_t Keep = -1;
struct TLevelTenSetup {
  int32_t Mission;
  int32_t Bomb, Armor, God, Upgrade1, Upgrade2, Upgrade3, Rockets, ExtraWeapon1;
  int32_t Primary;
};

void ApplyChances(const TLevelTenSetup& S) {
  auto set = [](int32_t& Chance, int32_t Value) {
    if (Value != Keep) Chance = Value;
  };
  set(BonusChance.Bomb[10], S.Bomb);
  set(BonusChance.ArmorGod[1][10], S.Armor);
  set(BonusChance.ArmorGod[2][10], S.God);
  set(BonusChance.Upgrade[1][10], S.Upgrade1);
  set(BonusChance.Upgrade[2][10], S.Upgrade2);
  set(BonusChance.Upgrade[3][10], S.Upgrade3);
  set(BonusChance.Rockets[10], S.Rockets);
  set(BonusChance.Extra[1][10], S.ExtraWeapon1);
}

// Set after each of levels 1..9 without a boss; the weapon after level 9.
constexpr TLevelTenSetup AfterLevelSetups[] = {
    {2, 0, 80, 0, Keep, 0, Keep, 0, 0, 2},  {4, 0, 20, 0, Keep, 0, Keep, 0, 0, 2},
    {6, 0, 20, 0, Keep, 70, 0, 0, 0, 2},    {7, 0, 20, 0, Keep, 70, 0, 0, 0, 2},
    {8, 0, 20, 0, 70, 0, Keep, 0, 0, 2},    {9, 0, 20, 0, 90, 70, 0, 0, 0, 3},
};

// Set on entering a boss level. Mission 1's boss comes with extra weapon 1
// instead, and keeps its chances but the bomb.
constexpr TLevelTenSetup BossSetups[] = {
    {1, 0, Keep, Keep, Keep, Keep, Keep, Keep, Keep, 0},
    {3, 0, 2, 0, Keep, Keep, Keep, 0, 0, 5},
    {5, 0, 50, 0, Keep, 70, 0, 0, 0, 3},
    {10, 0, 50, 0, Keep, 70, 0, 0, 0, 3},
};

const TLevelTenSetup* SetupOf(const TLevelTenSetup* Begin, const TLevelTenSetup* End,
                              int32_t Mission) {
  for (const TLevelTenSetup* s = Begin; s != End; ++s)
    if (s->Mission == Mission) return s;
  return nullptr;
}

bool ValidPosition(int32_t Mission, int32_t Level) {
  return Mission >= 1 && Mission <= MissionCount && Level >= 1 && Level <= LevelsPerMission;
}

// Keeps the finished level's time as its best time, under that level's own
// slot: by the time the statistics come, a finished mission has already
// moved the position on to the next one.
void KeepFinishedLevelTime() {
  if (!ValidPosition(FinishedMission, FinishedLevel)) return;
  const int32_t mission = CurrentMission, level = CurrentLevel, episode = CurrentEpisode;
  const TScopeExit restore([=] {
    CurrentMission = mission;
    CurrentLevel = level;
    CurrentEpisode = episode;
  });
  CurrentMission = FinishedMission;
  CurrentLevel = FinishedLevel;
  CurrentEpisode = FinishedMission < 6 ? 1 : 2;
  FinishedLevel = 0;
  UpdateTime();
}

}  // namespace

void AnimateStvorki(const std::string& State) {
  DoorState = State;
  if (State == "open") {
    if (DoorTop) DoorTop->Y = -358;
    if (DoorBottom) DoorBottom->Y = 600;
  }
  SetVisible(DoorTop, true);
  SetVisible(DoorBottom, true);
}

void NewGame() {
  // In joystick mode the mouse is read only alongside a DirectInput joystick.
  if (GameOptions.Controls == 3) ApplyControls(3);
  if (GameOptions.MusicLevel > 0) PlayMusic(MainMusic);
  BonusesInFlight = 0;
  ClearEnemyDestroyedMass();
  SetVisible(CursorSprite, false);
  DisplayedScore = 0;
  FinishedMission = 0;
  FinishedLevel = 0;

  CreateShipCompanions();
  CreateHeadsUpDisplay();
  CreatePlayerShip();
  ShipRemoved = false;
  GameState = "game";
}

void ShowCompleteLevel(bool Show) {
  if (!Show) return;
  const bool last = CurrentLevel > 9 && CurrentMission > 9;
  FinishedMission = CurrentMission;
  FinishedLevel = CurrentLevel;

  if (CurrentLevel > 9) {
    ++CurrentMission;
    CurrentEpisode = CurrentMission < 6 ? 1 : 2;
    if (CurrentMission > Player.Status) Player.Status = CurrentMission;
    CurrentLevel = 0;
    // Every mission starts with the ship as new.
    Player.Armor = false;
    Player.GodTime = 0;
    Player.ShieldTime = 0;
    Player.SecondaryLevel = 1;
    Player.Rockets = 4;
    Player.ExtraWeapon1Time = 0;
    Player.ExtraWeapon2Time = 0;
    Player.ExtraWeaponCounter = 0;
    SetVisible(ExtraWeaponMount, false);
    SetPrimaryLevel(1);
    SetPictureOf(PlayerShip, MainForm->ModelsList, "player1left");
    SetVisible(ExtraWeaponIcon, false);
    SetVisible(ExtraTimeDigits[1], false);
    SetVisible(ExtraTimeDigits[2], false);
    if (GodBar) GodBar->Height = 0;
    EnsureMainMusic();
  }

  // The doors name the level that comes next.
  SetFrame(MissionDigit, MissionDigitFrame());
  SetFrame(EpisodeDigit, CurrentEpisode - 1);
  SetFrame(LevelDigit, CurrentLevel);
  ShowTransitionDigits(true);

  ShowShipGroup(false);
  BonusesInFlight = 0;

  DisplayedScore = Player.Score;
  GameState = "levelcomplete";
  StatStep = 0;
  AnimateStvorki("open");
  PlayEffect("finish", 0);

  if (last) {
    ShowTransitionDigits(false);
    // The last level has no statistics screen to keep its time.
    KeepFinishedLevelTime();
    gotovictory();
  }
}

void EnterNewLevelBg() {
  HidePauseMenu();
  StatStep = 0;
  KeepFinishedLevelTime();
  FireLocked = false;
  ShakeCount = 0;
  ShakeAmplitude = 0;
  Player.LevelScore = 0;
  Player.BonusesTaken = 0;
  Player.BonusesMissed = 0;
  Player.EnemiesDestroyed = 0;
  GameState = "newlevel";
}

void LoadLevel() {
  LoadEnemies(CurrentLevel);
}

void EnterNewLevel() {
  Player.ShieldTime = 0;

  const int32_t finished = CurrentLevel;
  if (finished >= 1 && finished <= 9 && ValidPosition(CurrentMission, finished) &&
      Episodes[CurrentMission].Levels[finished].BossKind == 0) {
    if (const TLevelTenSetup* s =
            SetupOf(std::begin(AfterLevelSetups), std::end(AfterLevelSetups), CurrentMission)) {
      ApplyChances(*s);
      if (finished == 9) {
        SetPrimaryLevel(s->Primary);
        Player.Rockets = 0;
      }
    }
  }

  ClickFlag = false;
  ClearEnemyDestroyedMass();
  BossDying = false;
  BossDeathCountdown = 0;
  ShowTransitionDigits(false);

  if (CurrentLevel < 10) ++CurrentLevel;
  const TLevel* level = ValidPosition(CurrentMission, CurrentLevel)
                            ? &Episodes[CurrentMission].Levels[CurrentLevel]
                            : nullptr;
  BossPartsAlive = level ? level->BossParts : 0;
  LoadLevel();
  GameState = "game";

  ShowShipGroup(true);
  SetPictureOf(SecondaryIcon, MainForm->InterFaceList,
               "secondary" + std::to_string(Player.SecondaryLevel));
  SWeaponTextout();

  LoadEpisode();
  EnsureMainMusic();

  if (CurrentLevel == 10) {
    SetDigitPair(LevelDigits, 1, 0);
    if (GameOptions.MusicLevel > 0) PlayMusic(BossMusic);
  } else {
    SetDigitPair(LevelDigits, 0, CurrentLevel);
  }
  if (CurrentMission == 10)
    SetDigitPair(MissionDigits, 1, 0);
  else
    SetDigitPair(MissionDigits, 0, CurrentEpisode == 1 ? CurrentMission : CurrentMission - 5);

  Player.GodTime = 0;
  if (GodBar) GodBar->Height = 0;
  if (CurrentLevel == 10) {
    Player.Armor = false;
    SetPictureOf(PlayerShip, MainForm->ModelsList, "player1left");
  }
  const std::string ship = PictureOf(PlayerShip);
  if (ship != "player1left_armor" && ship != "player1right_armor")
    SetPictureOf(PlayerShip, MainForm->ModelsList, "player1left");
  Player.ExtraWeapon1Time = 0;
  Player.ExtraWeapon2Time = 0;
  SetVisible(ExtraWeaponMount, false);
  TWeaponTextout(1);
  TWeaponTextout(2);
  SetVisible(ExtraWeaponIcon, false);

  if (level && level->BossKind != 0) {
    Player.Rockets = 0;
    SWeaponTextout();
    if (const TLevelTenSetup* s =
            SetupOf(std::begin(BossSetups), std::end(BossSetups), CurrentMission)) {
      ApplyChances(*s);
      if (s->Primary > 0) SetPrimaryLevel(s->Primary);
      if (CurrentMission == 1) {
        Player.ExtraWeapon1Time = 40;
        SetVisible(ExtraWeaponMount, true);
        TWeaponTextout(1);
        SetVisible(ExtraWeaponIcon, true);
      }
    }
  }
}

void ShowGameOver(bool Show) {
  if (Show) {
    AnimateStvorki("open");
    GameState = "gameover";
    // The statistics of the lost level are typed afresh once the doors close.
    StatStep = 0;
    UpdateStroka(0, "", "", "", "", "", "", "", "");
    PlayEffect("defeat", 0);
    SetVisible(CursorSprite, true);
    ShowTransitionDigits(true);
    // The doors name the level that was lost.
    SetFrame(MissionDigit, MissionDigitFrame());
    SetFrame(EpisodeDigit, CurrentEpisode - 1);
    SetFrame(LevelDigit, CurrentLevel - 1);
    return;
  }
  StatStep = 0;
  UpdateStroka(0, "", "", "", "", "", "", "", "");
  ShowTransitionDigits(false);
  SetVisible(GameOverMainButton, false);
  SetVisible(GameOverExitButton, false);
}
