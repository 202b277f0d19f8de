// The screens' test fixture (a _test file so that it joins the test program).
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "engine/dib/dib.h"
#include "framework/random.h"
#include "framework/stdctrls.h"
#include "game/core/music_standin.h"
#include "game/play/play.h"
#include "game/screens/screen_kit.h"
#include "game/screens/screens_fixture.h"
#include "platform/backend/headless/headless_audio.h"
#include "platform/backend/headless/headless_core.h"
#include "platform/backend/headless/headless_input.h"
#include "platform/backend/headless/headless_video.h"
#include "platform/ddraw/ddraw.h"
#include "platform/dinput/input_host.h"
#include "platform/win/library.h"
#include "platform/win/user.h"

namespace {

void WriteIni(const std::string& Path) {
  std::ofstream f(Path);
  f << "[Options]\nUDI=0\nFPS=0\nBrightness=50\nSoundFxLevel=8\nMusicLevel=8\n"
       "RadioVoxLevel=8\nChannels=0\nSplinters=2\nRocketSmoke=1\nControls=1\nBumpiness=1\n"
       "[Keys]\nLeft=37\nRight=39\nPrimary=17\nSecondary=32\n[User]\nStatus=2\n[Table]\n";
  for (int i = 1; i <= 10; ++i) f << "n" << i << "=\ns" << i << "=0\n";
  f << "[TT]\n";
  for (int i = 1; i <= 100; ++i) f << "t" << i << "=0\n";
  f << "[eB]\ne=" << std::string(38, '0') << "\n";
}

// The game-wide state as a fresh program has it.
void ResetGameState() {
  GameState = "intro";
  PrevGameState.clear();
  GameOptions = TGameOptions();
  GameOptions.SoundFxLevel = 8;
  GameOptions.MusicLevel = 8;
  GameOptions.RadioVoxLevel = 8;
  GameOptions.Controls = GameOptions.SavedControls = 1;
  CurrentMission = 1;
  CurrentEpisode = 1;
  CurrentLevel = 0;
  DisplayedScore = 0;
  IntroSeconds = 0;
  ScreenFadeLevel = -200;
  ScreenFadeStep = 6;
  ShakeCount = ShakeAmplitude = 0;
  ShipRemoved = true;
  CheatBuffer.clear();
  CheatCountdown = -10;
  FaceTime = 0;
  StatStep = 0;
  ClickFlag = RightClickFlag = false;
  MouseX = MouseY = 0;
  Player = TPlayer();
  EnemyBook = {};
  EnemyBookCount = 0;
  EnemiesAlive = 0;
  FireLocked = false;
  DeathCountdown = -10;
  DoorState = "opened";
  GameCreated = false;
  MessageLines = {};
  for (auto* p : {&GameOverMainButton,
                  &GameOverExitButton,
                  &PauseOverlay,
                  &PausePanel,
                  &PauseLaptop,
                  &PauseResumeButton,
                  &PauseMainButton,
                  &PauseExitButton,
                  &ReadyBanner,
                  &EpisodeDigit,
                  &MissionDigit,
                  &LevelDigit,
                  &BookBackground,
                  &IncomingMessage,
                  &BookCloseButton,
                  &BookArt,
                  &BookModel,
                  &BookFx,
                  &BackdropSprite,
                  &DoorTop,
                  &DoorBottom,
                  &ConfirmPanel,
                  &NameEntryPanel,
                  &LeftPanel,
                  &FaceFx,
                  &FaceSprite,
                  &PrimaryIcon,
                  &SecondaryIcon,
                  &ExtraWeaponIcon,
                  &GodBar})
    *p = nullptr;
  CursorSprite = nullptr;
  BookEntries = {};
  MenuButtons = {};
  ScoreDigits = {};
  MissionDigits = {};
  LevelDigits = {};
  RocketDigits = {};
  ExtraTimeDigits = {};
  MusicBar = SoundBar = RadioVoxBar = TVolumeBar();
  BrightnessMinus = BrightnessPlus = nullptr;
  PlayerShip = nullptr;
  PrimaryMount = SecondaryMount = nullptr;
  ShipFire = nullptr;
  EngineFlames = {};
  ExtraWeaponMount = nullptr;
  ShipHitBoxes = {};
  MusicPlayer = nullptr;
}

template <class T = TInterFaceSprite>
T* Make(TDXImageList* List, const std::string& Name, double X, double Y, int Z) {
  return MakeInterfaceSprite<T>(List, Name, X, Y, Z, false);
}

// What the form's start-up makes, for as long as the form's own start-up
// does not yet: the archives, the interface sprites and the music player.
void CompleteStartUp(TMainForm* F) {
  const std::string data = std::string(TAL_BIN_DIR) + "/data/";
  const std::pair<TDXImageList*, const char*> lists[] = {{F->ImageList, "data.dan"},
                                                         {F->BookList, "info.dan"},
                                                         {F->VideoList, "video.dan"},
                                                         {F->ExplosionsList, "explosions.dan"},
                                                         {F->FxList, "fx.dan"},
                                                         {F->BonusesList, "bonuses.dan"},
                                                         {F->InterFaceList, "interface.dan"},
                                                         {F->BackGroundList, "bg.dan"},
                                                         {F->ModelsList, "models.dan"},
                                                         {F->WeaponsList, "weapons.dan"}};
  for (const auto& [list, file] : lists)
    if (list->Items().Count() == 0) list->Items().LoadFromFile(data + "graphic/" + file);
  if (F->DXWaveList->Items().Count() == 0)
    F->DXWaveList->Items().LoadFromFile(data + "sound/snd.tor");
  if (F->VoiceList->Items().Count() == 0) F->VoiceList->Items().LoadFromFile(data + "sound/vc.tor");
  if (!MusicPlayer) MusicPlayer = new TBASSPlayer(F);
  if (CursorSprite) return;
  CursorSprite = Make<TCursorImage>(F->ImageList, "cursor_image_v1_1", 0, 0, 100);
  CursorSprite->Alpha = 150;
  TDXImageList* ui = F->InterFaceList;
  GameOverMainButton = Make(ui, "gameovermain", 180, 515, 55);
  GameOverExitButton = Make(ui, "gameoverexit", 400, 515, 55);
  PauseOverlay = Make(ui, "1fx1", 0, 0, 47);
  PauseOverlay->Width = 800;
  PauseOverlay->Height = 600;
  PausePanel = Make(ui, "pausemenupanel", 0, 0, 48);
  PausePanel->Y = 300 - PausePanel->Height / 2;
  const double y = PausePanel->Y;
  PauseLaptop = Make(ui, "pausemenulaptop", 300, y + 8, 49);
  PauseResumeButton = Make(ui, "pausemenuresume", 300, y + 46, 49);
  PauseMainButton = Make(ui, "pausemenumain", 300, y + 84, 49);
  PauseExitButton = Make(ui, "pausemenuexit", 300, y + 122, 49);
  ReadyBanner = Make(ui, "ready", 800, 0, 45);
  EpisodeDigit = Make(ui, "newlevel_mission", 449, 145, 53);
  MissionDigit = Make(ui, "newlevel_mission", 388, 11, 53);
  LevelDigit = Make(ui, "newlevel_mission", 388, 49, 53);
  BookBackground = Make(F->BookList, "bg", 0, 0, 53);
  IncomingMessage = Make(F->BookList, "incoming_message", 80, 555, 50);
  BookCloseButton = Make(F->BookList, "close", 380, 10, 54);
  BookArt = Make(F->BookList, "art1", 65, 92, 54);
  BookModel = Make(F->ModelsList, "enemy1", 85, 317, 54);
  BookFx = Make(F->BookList, "fx", 85, 317, 55);
  for (int i = 1; i <= 19; ++i)
    BookEntries[static_cast<size_t>(i)] = Make(F->BookList, "b0", 606, 28 * i, 55);
}

}  // namespace

std::string Picture(const TImageSprite* Sprite) {
  return PictureName(Sprite);
}

void ScreensTest::SetUp() {
  scope_ = std::make_unique<TApplicationScope>();
  HeadlessInstall(1000);
  HeadlessInstallVideo();
  DDRegisterModule();
  InstallHeadlessAudio();
  InstallHeadlessInput();
  char pattern[] = "/tmp/tal_screens_XXXXXX";
  folder_ = mkdtemp(pattern);
  std::filesystem::create_directory_symlink(std::string(TAL_BIN_DIR) + "/data", folder_ + "/data");
  WriteIni(folder_ + "/game.INI");
  SetProgramFolder(folder_);
  ResetGameState();
  RandSeed = 20261210;
  Form = Application->CreateForm<TMainForm>();
  Form->Show();
  SetForegroundWindow(Form->Handle());
  CompleteStartUp(Form);
  OnScreenSound = [this](const std::string& Name, int32_t Volume, int32_t Pan) {
    Sounds.push_back({Name, Volume, Pan});
  };
  Pump();
}

void ScreensTest::TearDown() {
  OnScreenSound = nullptr;
  delete Form;
  Form = nullptr;
  ResetGameState();
  DDSetVideoOutput(nullptr);
  UninstallHeadlessAudio();
  InputHost().Reset();
  FreeDirectXLibraries();
  RegisterDirectInputModule();
  HeadlessUninstall();
  SetProgramFolder("");
  std::filesystem::remove_all(folder_);
  scope_.reset();
}

void ScreensTest::Pump() {
  Application->ProcessMessages();
}

void ScreensTest::Frame(int Ms) {
  Pump();
  Form->DXSpriteEngine->Move(Ms);
  Form->DXSpriteEngine->FreeDead();
}

void ScreensTest::MoveMouse(int X, int Y) {
  HeadlessMouseMoveTo(X, Y);
  Pump();
}

void ScreensTest::Click(int X, int Y) {
  HeadlessClick(X, Y);
  Frame();
}

void ScreensTest::ClickOn(const TImageSprite* Sprite) {
  ASSERT_NE(Sprite, nullptr);
  Click(static_cast<int>(Sprite->X) + Sprite->Width / 2,
        static_cast<int>(Sprite->Y) + Sprite->Height / 2);
}

void ScreensTest::Key(int Scancode) {
  HeadlessKeyDown(Scancode);
  HeadlessKeyUp(Scancode);
  Pump();
}

void ScreensTest::TypeCode(const std::string& Code) {
  for (size_t i = 0; i + 1 < Code.size(); i += 2) {
    const int vk = std::stoi(Code.substr(i, 2));
    Key(vk - 'A' + 4);  // letters: A is scancode 4
  }
}

void ScreensTest::EnterMainMenu() {
  GameState = "mainmenu";
  CreateMainMenu();
  ScreenFadeStep = 0;
  Frame();
  TakeSounds();
}

void ScreensTest::EnterPlay(int Alive) {
  EnterMainMenu();
  HideShowMainMenu(false);
  BackdropSprite->Visible = false;
  CreateHeadsUpDisplay();
  ShowSprite(CursorSprite, false);
  GameCreated = true;
  ShipRemoved = false;
  EnemiesAlive = Alive;
  GameState = "game";
  Frame();
  TakeSounds();
}

std::vector<TPlayedSound> ScreensTest::TakeSounds() {
  auto out = std::move(Sounds);
  Sounds.clear();
  return out;
}

int ScreensTest::CountSounds(const std::string& Name) {
  int n = 0;
  for (const auto& s : Sounds) n += s.Name == Name;
  return n;
}

int ScreensTest::InterfaceSpriteCount() const {
  int n = 0;
  TSpriteEngine* root = Form->DXSpriteEngine->Engine();
  for (int i = 0; i < root->Count(); ++i)
    n += dynamic_cast<TInterFaceSprite*>(root->Items(i)) != nullptr && !root->Items(i)->IsDead();
  return n;
}
