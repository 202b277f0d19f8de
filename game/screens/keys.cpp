// The keyboard's fixed commands (typed codes, Enter for the name, F1 for the
// enemy book, Esc to skip the intro or pause) and the intro's script.
#include <string>

#include "framework/stdctrls.h"
#include "game/core/main_form.h"
#include "game/play/play.h"
#include "game/screens/interface_sprite.h"
#include "game/screens/screen_kit.h"
#include "platform/win/vkeys.h"

namespace {

// Each code is the decimal virtual-key codes of its letters, run together.
constexpr const char* kArmorCode = "6880667274867368";
constexpr const char* kGodCode = "75817088679066";
constexpr const char* kExtraWeapon1Code = "8772798985";
constexpr const char* kExtraWeapon2Code = "74868170906788668071";
constexpr const char* kPrimaryCode = "89687275877081866679";
constexpr const char* kRocketsCode = "8174906778718872688675";
constexpr const char* kMissionsCode = "908766817473";

bool TakeCode(const char* Code) {
  if (CheatBuffer != Code) return false;
  CheatBuffer.clear();
  CheatCountdown = -10;
  return true;
}

void Confirm() {
  PlayMenuSound("bonus2");
}

void SetShipPicture(const std::string& Picture) {
  SetPicture(PlayerShip, MainForm->ModelsList, Picture);
}

void ExtraWeapon(int Kind) {
  Player.ExtraWeapon1Time = Kind == 1 ? 20 : 0;
  Player.ExtraWeapon2Time = Kind == 2 ? 20 : 0;
  ShowSprite(ExtraWeaponMount, true);
  TWeaponTextout(1);
  TWeaponTextout(2);
  ShowSprite(ExtraWeaponIcon, true);
}

void PlayCodes() {
  if (TakeCode(kArmorCode)) {
    Player.Armor = true;
    Player.GodTime = 0;
    if (GodBar) GodBar->Height = 0;
    SetShipPicture("player1left_armor");
    Confirm();
  } else if (TakeCode(kGodCode)) {
    Player.GodTime = 23;
    if (GodBar) {
      GodBar->Height = 230;
      GodBar->Y = 226;
    }
    Player.Armor = false;
    SetShipPicture("player1left_god");
    Confirm();
  } else if (TakeCode(kExtraWeapon1Code)) {
    ExtraWeapon(1);
    Confirm();
  } else if (TakeCode(kExtraWeapon2Code)) {
    ExtraWeapon(2);
    Confirm();
  } else if (TakeCode(kPrimaryCode)) {
    if (Player.PrimaryLevel < 5) {
      ++Player.PrimaryLevel;
      const std::string picture = "primary" + std::to_string(Player.PrimaryLevel);
      SetPicture(PrimaryMount, MainForm->WeaponsList, picture);
      SetPicture(PrimaryIcon, MainForm->InterFaceList, picture);
    }
    Confirm();
  }
}

void SkipIntro() {
  GameState = "mainmenu";
  CreateMainMenu();
  ScreenFadeLevel = -200;
  ScreenFadeStep = 6;
  StartMenuMusic();
}

void FadeIn(const std::string& Picture, const std::string& State) {
  ScreenFadeLevel = -200;
  ScreenFadeStep = 6;
  if (!Picture.empty()) SetPicture(BackdropSprite, MainForm->VideoList, Picture);
  GameState = State;
}

}  // namespace

void TMainForm::FormKeyDown(TObject*, WORD& Key, TShiftState) {
  CheatBuffer += std::to_string(Key);
  CheatCountdown = 4;

  if (GameState == "game" || GameState == "pause") PlayCodes();
  if (TakeCode(kRocketsCode)) {
    Player.SecondaryLevel = 1;
    Player.Rockets = Player.Rockets > 95 ? 99 : Player.Rockets + 4;
    // Outside a game the display does not exist; the record still changes.
    if (SecondaryIcon) {
      SetPicture(SecondaryIcon, InterFaceList, "secondary1");
      SWeaponTextout();
    }
    Confirm();
  }
  if (GameState == "mainmenu" && TakeCode(kMissionsCode)) {
    Player.Status = 10;
    Confirm();
  }

  if (Key == VK_RETURN && GameState == "topranks" && NameEntryPanel && NameEntryPanel->Visible) {
    Player.Name = Edit1->Text().substr(0, 10);
    UpdateRecords(true);
    Edit1->SetVisible(false);
    Edit1->SetText("");
    NameEntryPanel->Visible = false;
    Player.Score = 0;
    Player.LevelScore = 0;
  }

  if (Key == VK_F1 && (GameState == "book" || GameState == "game")) {
    if (BookBackground && BookBackground->Visible) {
      HideShowBook(false, 0);
      GameState = "game";
    } else if (DoorTop && DoorTop->Y == -358) {
      ShakeCount = 0;
      ShakeAmplitude = 0;
      HideShowBook(true, EnemyBook[20]);
      GameState = "book";
      ShowSprite(IncomingMessage, false);
    }
  }

  if (Key == VK_ESCAPE) {
    if (GameState == "intro2" || GameState == "intro3" || GameState == "intro4") SkipIntro();
    if (EnemiesAlive > 0) {
      if (GameState == "game") {
        ShowPauseMenu();
      } else if (GameState == "pause") {
        HidePauseMenu();
        GameState = "game";
      }
    }
  }
}

void IntroScriptStep() {
  const std::string& s = GameState;
  if (s == "intro" || s == "partner_intro" || s == "intro2" || s == "intro3" || s == "intro4")
    ++IntroSeconds;
  if (IntroSeconds >= 4 && GameState == "intro") {
    if (!BackdropSprite)
      BackdropSprite = MakeInterfaceSprite<TInterFaceSprite>(MainForm->VideoList, "partner_logo", 0,
                                                             0, 40, true);
    GameState = "partner_intro";
    IntroSeconds = 4;
    StartMenuMusic();
  }
  if (IntroSeconds == 8 && GameState == "partner_intro") ScreenFadeStep = -6;
  if (IntroSeconds >= 10 && GameState == "partner_intro") FadeIn("quorvil", "intro2");
  if (IntroSeconds == 14 && GameState == "intro2") ScreenFadeStep = -6;
  if (IntroSeconds >= 16 && GameState == "intro2") FadeIn("logotip", "intro3");
  if (IntroSeconds == 20 && GameState == "intro3") ScreenFadeStep = -6;
  if (IntroSeconds >= 22 && GameState == "intro3") FadeIn("gamelogo", "intro4");
  if (IntroSeconds == 30 && GameState == "intro4") ScreenFadeStep = -6;
  if (IntroSeconds >= 32 && GameState == "intro4") {
    FadeIn("", "mainmenu");
    CreateMainMenu();
  }
}

void Death() {
  GoToMainMenu();
}
