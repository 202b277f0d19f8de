// The menus: the sprites of every menu screen, showing and hiding them, the
// two modal panels, the ways back from play, and the cursor's controller
// that turns hovering and clicking into pictures, sounds and screen changes.
#include <array>
#include <string>

#include "framework/stdctrls.h"
#include "game/core/main_form.h"
#include "game/play/play.h"
#include "game/screens/interface_sprite.h"
#include "game/screens/screen_kit.h"

TProgressSprite* BrightnessMinus = nullptr;
TProgressSprite* BrightnessPlus = nullptr;

namespace {

struct TButtonSpec {
  const char* Picture;
  int X, Y, Z;
  bool Visible;
};

const std::array<TButtonSpec, 27> kButtons = {{
    {"", 0, 0, 0, false},
    {"NewGameButton", 308, 180, 41, true},
    {"TopRanksButton", 308, 220, 41, true},
    {"OptionsButton", 308, 260, 41, true},
    {"HelpButton", 308, 300, 41, true},
    {"CreditsButton", 308, 340, 41, true},
    {"ExitGameButton", 308, 380, 41, true},
    {"BackButton", 308, 380, 41, false},
    {"SoundOptionsButton", 308, 180, 41, false},
    {"GraphicOptionsButton", 308, 220, 41, false},
    {"ControlsOptionsButton", 308, 260, 41, false},
    {"mouse", 325, 150, 41, false},
    {"keyboard", 325, 250, 41, false},
    {"joystick", 325, 350, 41, false},
    {"ChooseEpisode1Button", 310, 250, 41, false},
    {"ChooseEpisode2Button", 310, 290, 41, false},
    {"mission1", 310, 200, 41, false},
    {"mission2", 310, 240, 41, false},
    {"mission3", 310, 280, 41, false},
    {"mission4", 310, 320, 41, false},
    {"mission5", 310, 360, 41, false},
    {"ays_ok", 285, 309, 57, false},
    {"ays_cancel", 425, 309, 57, false},
    {"clear", 308, 20, 42, false},
    {"easy", 275, 246, 57, false},
    {"normal", 275, 282, 57, false},
    {"hard", 275, 318, 57, false},
}};

TInterFaceSprite* Btn(int I) {
  return MenuButtons[static_cast<size_t>(I)];
}
TInterFaceSprite* BackButton() {
  return Btn(mbBack);
}
void ShowButton(int I, bool Show) {
  ShowSprite(Btn(I), Show);
}
// The rule for button I of MenuButtons.
bool Clicked(int I) {
  return MenuButton(Btn(I), kButtons[static_cast<size_t>(I)].Picture);
}
std::string ControlPicture(int Mode) {
  return kButtons[static_cast<size_t>(mbMouse + Mode - 1)].Picture;
}
std::string MissionPicture(int I) {
  return "mission" + std::to_string(I);
}
bool MissionOpen(int I, int Episode) {
  return (Episode == 2 ? I + 5 : I) <= Player.Status;
}

void MakeButton(int I) {
  const TButtonSpec& b = kButtons[static_cast<size_t>(I)];
  MenuButtons[static_cast<size_t>(I)] = MakeInterfaceSprite<TInterFaceSprite>(
      MainForm->InterFaceList, b.Picture, b.X, b.Y, b.Z, b.Visible);
}

TProgressSprite* MakeBarSprite(const std::string& Picture, double X, double Y) {
  return MakeInterfaceSprite<TProgressSprite>(MainForm->InterFaceList, Picture, X, Y, 42, false);
}

void MakeBar(TVolumeBar& Bar, const std::string& Caption, double X, double Y, int32_t Level) {
  Bar.Level = Level;
  Bar.Caption = MakeBarSprite(Caption, X, Y);
  Bar.Minus = MakeBarSprite("minus", X + 50, Y + 32);
  Bar.Plus = MakeBarSprite("plus", X + 280, Y + 32);
  for (int i = 1; i <= 10; ++i)
    Bar.Elements[static_cast<size_t>(i)] =
        MakeBarSprite(i <= Level ? "element_checked" : "element", X + 54 + 20 * i, Y + 32);
}

void ShowBar(TVolumeBar& Bar, bool Show) {
  ShowSprite(Bar.Caption, Show);
  ShowSprite(Bar.Minus, Show);
  ShowSprite(Bar.Plus, Show);
  for (int i = 1; i <= 10; ++i) ShowSprite(Bar.Elements[static_cast<size_t>(i)], Show);
}

void SetBackdrop(const std::string& Picture) {
  if (BackdropSprite) SetPicture(BackdropSprite, MainForm->VideoList, Picture);
}

void PlaceBackButton(double X, double Y) {
  if (!BackButton()) return;
  if (X >= 0) BackButton()->X = X;
  if (Y >= 0) BackButton()->Y = Y;
}

// The play sprites NewGame made, marked dead and forgotten, so nothing
// reaches them once the sweep has freed them.
template <class T>
void Remove(T*& Sprite) {
  if (Sprite) Sprite->MarkDead();
  Sprite = nullptr;
}

void RemovePlaySprites() {
  Remove(LeftPanel);
  for (int i = 1; i <= 7; ++i) Remove(ScoreDigits[static_cast<size_t>(i)]);
  for (int i = 1; i <= 2; ++i) {
    Remove(MissionDigits[static_cast<size_t>(i)]);
    Remove(LevelDigits[static_cast<size_t>(i)]);
    Remove(RocketDigits[static_cast<size_t>(i)]);
    Remove(ExtraTimeDigits[static_cast<size_t>(i)]);
  }
  Remove(FaceFx);
  Remove(FaceSprite);
  Remove(PrimaryIcon);
  Remove(SecondaryIcon);
  Remove(ExtraWeaponIcon);
  Remove(GodBar);
  Remove(PlayerShip);
  for (int i = 1; i <= 3; ++i) Remove(ShipHitBoxes[static_cast<size_t>(i)]);
  Remove(PrimaryMount);
  Remove(SecondaryMount);
  ShipRemoved = true;
}

// The weapons a new game starts with.
void ResetWeapons() {
  Player.PrimaryLevel = 1;
  Player.PrimaryReload = 45;
  Player.SecondaryLevel = 1;
  Player.Rockets = 4;
  Player.SecondaryReload = 50;
  Player.RocketSpeed = 0.5;
  Player.Armor = false;
  Player.GodTime = 0;
  Player.ShieldTime = 0;
  Player.ExtraWeapon1Time = 0;
  Player.ExtraWeapon2Time = 0;
  ShowSprite(ExtraWeaponMount, false);
  PrimaryCounter = 0;
  Player.SecondaryCounter = 0;
  Player.ExtraWeaponCounter = 0;
  CurrentLevel = 0;
  CurrentMission = 1;
}

// ---- the controller, screen by screen ----------------------------------

void MainMenuBlock() {
  if (ScreenFadeStep > 0) return;  // the click waits for the fade-in
  if (Clicked(mbNewGame)) {
    HideShowMainMenu(false);
    ShowDKdifficulty(true);
  }
  if (Clicked(mbTopRanks)) {
    HideShowMainMenu(false);
    HideShowTopRanks(true);
    BackButton()->Y = 565;
    GameState = "topranks";
  }
  if (Clicked(mbOptions)) {
    HideShowMainMenu(false);
    HideShowOptions(true);
    GameState = "options";
  }
  if (Clicked(mbHelp)) {
    HideShowMainMenu(false);
    HideShowHelp(true);
    BackButton()->Y = 565;
    BackButton()->X = 600;
    GameState = "credits";
  }
  if (Clicked(mbCredits)) {
    HideShowMainMenu(false);
    HideShowCredits(true);
    BackButton()->Y = 565;
    GameState = "credits";
  }
  if (Clicked(mbExitGame)) ShowDKmessage(true);
  ClickFlag = false;
}

void MessageBlock() {
  if (Clicked(mbOk)) {
    if (PrevGameState == "mainmenu" || PrevGameState == "pause" || PrevGameState == "gameover") {
      AbsoluteClose();
    } else if (PrevGameState == "topranks") {
      ClearRecords();
      ShowDKmessage(false);
    }
  }
  if (Clicked(mbCancel)) ShowDKmessage(false);
  ClickFlag = false;
}

void OptionsBlock() {
  if (Clicked(mbSoundOptions)) {
    HideShowOptions(false);
    HideShowSoundOptions(true);
    GameState = "soundoptions";
  }
  if (Clicked(mbControlsOptions)) {
    HideShowOptions(false);
    HideShowControlsOptions(true);
    GameState = "controlsoptions";
  }
  if (Clicked(mbGraphicOptions)) {
    HideShowOptions(false);
    HideShowGraphicOptions(true);
    GameState = "graphicoptions";
  }
  if (Clicked(mbBack)) {
    HideShowOptions(false);
    HideShowMainMenu(true);
    GameState = "mainmenu";
  }
  ClickFlag = false;
}

void GraphicOptionsBlock() {
  if (MenuButton(BrightnessMinus, "minus")) {
    if (GameOptions.Brightness > 0) --GameOptions.Brightness;
    MainForm->UpdateBrightness(GameOptions.Brightness);
  }
  if (MenuButton(BrightnessPlus, "plus")) {
    if (GameOptions.Brightness < 100) ++GameOptions.Brightness;
    MainForm->UpdateBrightness(GameOptions.Brightness);
  }
  if (Clicked(mbBack)) {
    HideShowGraphicOptions(false);
    HideShowOptions(true);
    GameState = "options";
  }
  ClickFlag = false;
}

void SoundOptionsBlock() {
  if (Clicked(mbBack)) {
    HideShowSoundOptions(false);
    HideShowOptions(true);
    GameState = "options";
  }
  // Any other click belongs to the bars, which move after the cursor.
}

void ControlsOptionsBlock() {
  for (int mode = 1; mode <= 3; ++mode) {
    TInterFaceSprite* picture = Btn(mbMouse + mode - 1);
    if (!ClickFlag || !CursorOver(picture)) continue;
    ClickFlag = false;
    for (int m = 1; m <= 3; ++m)
      SetPicture(Btn(mbMouse + m - 1), MainForm->InterFaceList, ControlPicture(m));
    SetPicture(picture, MainForm->InterFaceList, ControlPicture(mode) + "_lighted");
    // The choice is the mode to come back to after every game, not just the
    // one in force until the next.
    GameOptions.Controls = mode;
    GameOptions.SavedControls = mode;
    ApplyControls(mode);
    PlayMenuSound("menu2");
  }
  if (Clicked(mbBack)) {
    HideShowControlsOptions(false);
    HideShowOptions(true);
    GameState = "options";
  }
  ClickFlag = false;
}

void ChooseEpisodeBlock() {
  if (Clicked(mbEpisode1)) {
    HideShowChooseEpisode(false);
    HideShowChooseMission(true, 1);
    CurrentEpisode = 1;
    GameState = "choosemission1";
  }
  if (Player.Status >= 6 && Clicked(mbEpisode2)) {
    HideShowChooseEpisode(false);
    HideShowChooseMission(true, 2);
    CurrentEpisode = 2;
    GameState = "choosemission2";
  }
  if (Clicked(mbBack)) {
    HideShowChooseEpisode(false);
    HideShowMainMenu(true);
    BackButton()->Y = 380;
    GameState = "mainmenu";
  }
  ClickFlag = false;
}

void ChooseMissionBlock(int Episode) {
  for (int i = 1; i <= 5; ++i) {
    TInterFaceSprite* button = Btn(mbMission1 + i - 1);
    if (!ClickFlag || !CursorOver(button) || !MissionOpen(i, Episode)) continue;
    ClickFlag = false;
    PlayMenuSound("menu2");
    HideShowChooseMission(false, Episode);
    BackButton()->Visible = false;
    BackButton()->Y = 380;
    BackdropSprite->Visible = false;
    if (!GameCreated) {
      NewGame();
      GameCreated = true;
    }
    CurrentMission = Episode == 2 ? i + 5 : i;
    CurrentLevel = 0;
    ShowCompleteLevel(true);
  }
  if (Clicked(mbBack)) {
    HideShowChooseMission(false, Episode);
    HideShowChooseEpisode(true);
    GameState = "chooseepisode";
  }
  ClickFlag = false;
}

void TopRanksBlock() {
  if (NameEntryPanel->Visible) return;
  if (Clicked(mbBack)) {
    HideShowTopRanks(false);
    HideShowMainMenu(true);
    BackButton()->Y = 380;
    GameState = "mainmenu";
  }
  if (Clicked(mbClear)) ShowDKmessage(true);
  ClickFlag = false;
}

void CreditsBlock() {
  if (Clicked(mbBack)) {
    HideShowCredits(false);
    HideShowMainMenu(true);
    BackButton()->Y = 380;
    GameState = "mainmenu";
  }
  ClickFlag = false;
}

void DifficultyBlock() {
  for (int d = 0; d <= 2; ++d) {
    if (!Clicked(mbEasy + d)) continue;
    ShowDKdifficulty(false);
    HideShowMainMenu(false);
    HideShowChooseEpisode(true);
    GameState = "chooseepisode";
    Player.Difficulty = d;
  }
  if (Clicked(mbBack)) {
    ShowDKdifficulty(false);
    HideShowMainMenu(true);
    BackButton()->Y = 380;
    GameState = "mainmenu";
  }
  ClickFlag = false;
}

void GameOverBlock() {
  if (MenuButton(GameOverMainButton, "gameovermain")) {
    ShowGameOver(false);
    GoToMainMenu();
  }
  if (MenuButton(GameOverExitButton, "gameoverexit")) ShowDKmessage(true);
  ClickFlag = false;
}

void PauseBlock() {
  if (MenuButton(PauseLaptop, "pausemenulaptop", false)) {
    HidePauseMenu();
    if (DoorTop->Y == -358) {
      ShakeCount = 0;
      ShakeAmplitude = 0;
      HideShowBook(true, EnemyBook[20]);
      GameState = "book";
      ShowSprite(IncomingMessage, false);
    } else {
      // With the menu closed the game must not stay frozen.
      GameState = "game";
    }
  }
  if (MenuButton(PauseResumeButton, "pausemenuresume", false)) {
    HidePauseMenu();
    GameState = "game";
  }
  if (MenuButton(PauseMainButton, "pausemenumain", false)) GoToMainMenu();
  if (MenuButton(PauseExitButton, "pausemenuexit", false)) ShowDKmessage(true);
  ClickFlag = false;
}

void BookBlock() {
  if (MenuButton(BookCloseButton, "close", false, MainForm->BookList)) {
    HideShowBook(false, 0);
    ShowPauseMenu();
  }
  for (int i = 1; i <= 19; ++i) {
    TInterFaceSprite* entry = BookEntries[static_cast<size_t>(i)];
    if (!entry || !entry->Visible) continue;
    const bool over = CursorOver(entry);
    const std::string& name =
        over ? BookEntryLitNames[static_cast<size_t>(i)] : BookEntryNames[static_cast<size_t>(i)];
    if (!name.empty()) SetPicture(entry, MainForm->BookList, name);
    const int32_t type = EnemyBook[static_cast<size_t>(i)];
    if (!over || !ClickFlag || type < 1 || type > EnemyTypeCount) continue;
    ClickFlag = false;
    EnemyBook[20] = i;
    ShowBookType(type);
  }
  ClickFlag = false;
}

}  // namespace

// ---- menu construction ----------------------------------------------------

void CreateMainMenu() {
  ShowSprite(CursorSprite, true);
  if (!BackdropSprite)
    BackdropSprite =
        MakeInterfaceSprite<TInterFaceSprite>(MainForm->VideoList, "background", 0, 0, 40, true);
  SetBackdrop("background");
  if (Btn(mbNewGame)) return;  // made once
  TDXImageList* ui = MainForm->InterFaceList;
  DoorTop = MakeInterfaceSprite<TInterFaceSprite>(ui, "stvorka1", 0, -358, 51, false);
  DoorBottom = MakeInterfaceSprite<TInterFaceSprite>(ui, "stvorka2", 0, 600, 52, false);
  ConfirmPanel = MakeInterfaceSprite<TInterFaceSprite>(ui, "ays_panel", 266, 260, 56, false);
  NameEntryPanel = MakeInterfaceSprite<TInterFaceSprite>(ui, "enter_name", 200, 240, 41, false);
  for (int i : {24, 25, 26, 23, 21, 22, 1,  2,  3,  4,  5,  6,  7,
                8,  9,  10, 14, 15, 11, 12, 13, 16, 17, 18, 19, 20})
    MakeButton(i);
  const int mode = GameOptions.Controls;
  if (mode >= 1 && mode <= 3)
    SetPicture(Btn(mbMouse + mode - 1), ui, ControlPicture(mode) + "_lighted");
  MakeBar(RadioVoxBar, "radiovox_volume", 235, 300, GameOptions.RadioVoxLevel);
  MakeBar(MusicBar, "music_volume", 235, 180, GameOptions.MusicLevel);
  BrightnessMinus = MakeBarSprite("minus", MusicBar.Caption->X + 180, MusicBar.Caption->Y + 94);
  BrightnessPlus = MakeBarSprite("plus", MusicBar.Caption->X + 290, MusicBar.Caption->Y + 94);
  MakeBar(SoundBar, "sound_volume", 238, 240, GameOptions.SoundFxLevel);
}

// ---- showing and hiding screens --------------------------------------------

void HideShowMainMenu(bool Show) {
  for (int i = mbNewGame; i <= mbExitGame; ++i) ShowButton(i, Show);
  if (Show) {
    SetBackdrop("background");
    PlaceBackButton(308, -1);
  }
}

void HideShowOptions(bool Show) {
  for (int i = mbSoundOptions; i <= mbControlsOptions; ++i) ShowButton(i, Show);
  ShowButton(mbBack, Show);
}

void HideShowSoundOptions(bool Show) {
  ShowBar(MusicBar, Show);
  ShowBar(SoundBar, Show);
  ShowBar(RadioVoxBar, Show);
  ShowButton(mbBack, Show);
}

void HideShowGraphicOptions(bool Show) {
  if (Show) ShowButton(mbBack, true);
  BackButton()->Y = 380;
  ShowSprite(BrightnessMinus, Show);
  ShowSprite(BrightnessPlus, Show);
}

void HideShowControlsOptions(bool Show) {
  for (int i = mbMouse; i <= mbMouse + 2; ++i) ShowButton(i, Show);
  if (Show) {
    ShowButton(mbBack, true);
    BackButton()->Y = 532;
  } else {
    BackButton()->Y = 380;
  }
}

void HideShowChooseEpisode(bool Show) {
  ShowButton(mbEpisode1, Show);
  ShowButton(mbEpisode2, Show);
  if (Show) ShowButton(mbBack, true);
}

void HideShowChooseMission(bool Show, int32_t Episode) {
  TDXImageList* ui = MainForm->InterFaceList;
  if (Show) {
    for (int i = 1; i <= 5; ++i) {
      ShowButton(mbMission1 + i - 1, true);
      if (MissionOpen(i, Episode))
        SetPicture(Btn(mbMission1 + i - 1), ui, MissionPicture(i) + "lighted");
    }
    ShowButton(mbBack, true);
    BackButton()->Y = 400;
  } else {
    BackButton()->Y = 380;
    for (int i = 1; i <= 5; ++i) {
      ShowButton(mbMission1 + i - 1, false);
      SetPicture(Btn(mbMission1 + i - 1), ui, MissionPicture(i));
    }
  }
}

void HideShowTopRanks(bool Show) {
  if (Show) SetBackdrop("topranks");
  ShowButton(mbBack, Show);
  ShowButton(mbClear, Show);
}

void HideShowCredits(bool Show) {
  if (Show) SetBackdrop("credits");
  ShowButton(mbBack, Show);
}

void HideShowHelp(bool Show) {
  if (Show) SetBackdrop("help");
  ShowButton(mbBack, Show);
}

void ShowDKdifficulty(bool Show) {
  if (Show) {
    PrevGameState = GameState;
    GameState = "difficulty";
    ConfirmPanel->Height = 120;
    ConfirmPanel->Y = 240;
  } else {
    GameState = PrevGameState;
    PrevGameState.clear();
    ConfirmPanel->Height = 80;
    ConfirmPanel->Y = 260;
  }
  ConfirmPanel->Visible = Show;
  for (int i = mbEasy; i <= mbEasy + 2; ++i) ShowButton(i, Show);
  ShowButton(mbBack, Show);
}

void ShowDKmessage(bool Show) {
  if (Show) {
    PrevGameState = GameState;
    GameState = "message";
  } else {
    GameState = PrevGameState;
    PrevGameState.clear();
  }
  ConfirmPanel->Visible = Show;
  ShowButton(mbOk, Show);
  ShowButton(mbCancel, Show);
}

// ---- leaving play ---------------------------------------------------------------

void GoToMainMenu() {
  DoorTop->Y = -358;
  DoorBottom->Y = 600;
  DoorTop->Visible = false;
  DoorBottom->Visible = false;
  ShowSprite(IncomingMessage, false);

  Player.GameTime = 0;
  GameState = "mainmenu";
  GameOptions.Controls = GameOptions.SavedControls;
  ApplyControls(GameOptions.Controls);
  FireLocked = false;
  DeathCountdown = -10;

  HideShowMainMenu(true);
  GameCreated = false;

  RemovePlaySprites();
  if (ReadyBanner) {
    ReadyBanner->X = 800;
    ReadyBanner->Visible = false;
  }

  HidePauseMenu();
  ShowSprite(CursorSprite, true);
  SetBackdrop("background");
  BackdropSprite->Visible = true;
  GameState = "mainmenu";
  ScreenFadeStep = 0;

  ResetWeapons();
  StartMenuMusic();
  UpdateRecords(false);
  Player.LevelScore = 0;
}

void gotovictory() {
  FireLocked = false;
  GameCreated = false;
  RemovePlaySprites();
  ShowSprite(CursorSprite, true);
  ScreenFadeStep = 0;
  ResetWeapons();
  StartMenuMusic();
  Player.LevelScore = 0;
  SetBackdrop("finish_bg");
  BackdropSprite->Visible = true;
  GameState = "victory";
}

void GoToEnterName() {
  HideShowMainMenu(false);
  HideShowTopRanks(true);
  PlaceBackButton(-1, 565);
  GameState = "topranks";
  if (MainForm) {
    MainForm->Edit1->SetText("");
    MainForm->Edit1->SetVisible(true);
    MainForm->Edit1->SetFocus();
  }
  ShowSprite(NameEntryPanel, true);
}

void ApplyControls(int32_t Mode) {
  if (Mode < 1 || Mode > 3) return;
  TDXInput* input = MainForm->DXInput;
  TMouse* mouse = input->Mouse();
  mouse->BindInputStates = Mode != 2;
  // Joystick mode reads the mouse only where the joystick goes through
  // DirectInput too; the menus work on the window's mouse messages anyway.
  const bool direct = Mode != 3 || GameOptions.UDI;
  const bool changed = mouse->Enabled() != direct;
  mouse->SetEnabled(direct);
  if (input->UseDirectInput() != direct)
    input->SetUseDirectInput(direct);
  else if (changed)
    input->Initialize();
}

// ---- the menu controller ------------------------------------------------------------

void TCursorImage::DoMove(int32_t) {
  if (GameState == "victory" && ClickFlag) {
    ClickFlag = false;
    GoToMainMenu();
  }
  if (GameState == "book") BookBlock();
  if (GameState == "message") MessageBlock();
  if (GameState == "mainmenu") MainMenuBlock();
  if (GameState == "options") OptionsBlock();
  if (GameState == "graphicoptions") GraphicOptionsBlock();
  if (GameState == "soundoptions") SoundOptionsBlock();
  if (GameState == "controlsoptions") ControlsOptionsBlock();
  if (GameState == "chooseepisode") ChooseEpisodeBlock();
  if (GameState == "choosemission1") ChooseMissionBlock(1);
  if (GameState == "choosemission2") ChooseMissionBlock(2);
  if (GameState == "topranks") TopRanksBlock();
  if (GameState == "credits") CreditsBlock();
  if (GameState == "difficulty") DifficultyBlock();
  if (GameState == "gameover") GameOverBlock();
  if (GameState == "pause") PauseBlock();
}

// ---- the sound-options controller ------------------------------------------------------

namespace {

enum TBarKind { bkMusic, bkSound, bkRadioVox };

int32_t& BarSetting(TBarKind Kind) {
  return Kind == bkMusic   ? GameOptions.MusicLevel
         : Kind == bkSound ? GameOptions.SoundFxLevel
                           : GameOptions.RadioVoxLevel;
}

void BarFeedback(TBarKind Kind, bool FromPlus) {
  switch (Kind) {
    case bkMusic:
      ApplyMusicVolume();
      if (FromPlus && !MusicFileOpen()) {
        MainForm->OpenMusic("music\\menu.mp3");
        ApplyMusicVolume();
      }
      break;
    case bkSound:
      if (GameOptions.SoundFxLevel > 0)
        PlayWave(MainForm->DXWaveList, "weapon2", GameOptions.SoundFxLevel * 200 - 2000);
      break;
    case bkRadioVox:
      if (GameOptions.RadioVoxLevel > 0)
        PlayWave(MainForm->VoiceList, "6b1", GameOptions.RadioVoxLevel * 200 - 2000);
      break;
  }
}

void BarStep(TVolumeBar& Bar, TBarKind Kind) {
  TDXImageList* ui = MainForm->InterFaceList;
  int32_t& setting = BarSetting(Kind);
  for (int i = 1; i <= 10; ++i) {
    if (!ClickFlag || !CursorOver(Bar.Elements[static_cast<size_t>(i)])) continue;
    ClickFlag = false;
    setting = i;
    for (int k = 1; k <= 10; ++k)
      SetPicture(Bar.Elements[static_cast<size_t>(k)], ui, k <= i ? "element_checked" : "element");
    BarFeedback(Kind, false);
  }
  if (MenuButton(Bar.Minus, "minus", false) && setting > 0) {
    --setting;
    if (setting + 1 >= 1 && setting + 1 <= 10)
      SetPicture(Bar.Elements[static_cast<size_t>(setting + 1)], ui, "element");
    BarFeedback(Kind, false);
  }
  if (MenuButton(Bar.Plus, "plus", false) && setting < 10) {
    ++setting;
    if (setting >= 1) SetPicture(Bar.Elements[static_cast<size_t>(setting)], ui, "element_checked");
    BarFeedback(Kind, true);
  }
}

}  // namespace

void TProgressSprite::DoMove(int32_t MoveCount) {
  TImageSprite::DoMove(MoveCount);
  if (GameState != "soundoptions") return;
  BarStep(MusicBar, bkMusic);
  BarStep(SoundBar, bkSound);
  BarStep(RadioVoxBar, bkRadioVox);
  ClickFlag = false;
}
