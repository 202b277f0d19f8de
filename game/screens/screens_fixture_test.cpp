// The screens' test fixture (a _test file so that it joins the test program).
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "engine/dib/dib.h"
#include "framework/random.h"
#include "framework/stdctrls.h"
#include "game/core/game_fixture.h"
#include "music/bass_player.h"
#include "game/play/play.h"
#include "game/screens/screen_kit.h"
#include "game/screens/screens_fixture.h"
#include "platform/backend/headless/headless_audio.h"
#include "platform/backend/headless/headless_core.h"
#include "platform/backend/headless/headless_input.h"
#include "platform/backend/headless/headless_video.h"
#include "platform/ddraw/ddraw.h"
#include "platform/ddraw/ddraw_seam.h"
#include "platform/dinput/input_host.h"
#include "platform/win/library.h"
#include "platform/win/user.h"

namespace {

void WriteIni(const std::string& Path) {
  std::ofstream f(Path);
  f << "[Options]\nUDI=0\nFPS=0\nBrightness=50\nSoundFxLevel=8\nMusicLevel=8\n"
       "RadioVoxLevel=8\nChannels=0\nSplinters=2\nRocketSmoke=1\nControls=1\nBumpiness=1\n"
       "[Keys]\nLeft=37\nRight=39\nPrimary=17\nSecondary=32\n[User]\nStatus=2\n[Table]\n";
  // A table a score of 0 does not enter, so leaving a game goes to the menu.
  for (int i = 1; i <= 10; ++i)
    f << "n" << i << "=Ace" << i << "\ns" << i << "=" << 1100 - 100 * i << "\n";
  f << "[TT]\n";
  for (int i = 1; i <= 100; ++i) f << "t" << i << "=0\n";
  f << "[eB]\ne=" << std::string(38, '0') << "\n";
}

// The game-wide state as a fresh program has it, with the levels of the
// fixture's game.INI.
void ResetGameState() {
  game_test::ResetGame();
  GameOptions.SoundFxLevel = 8;
  GameOptions.MusicLevel = 8;
  GameOptions.RadioVoxLevel = 8;
  GameOptions.Controls = GameOptions.SavedControls = 1;
  ForgetGameSprites();
  BrightnessMinus = BrightnessPlus = nullptr;
  MusicPlayer = nullptr;
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
  HeadlessInstallAudio();
  HeadlessInstallInput();
  char pattern[] = "/tmp/tal_screens_XXXXXX";
  folder_ = mkdtemp(pattern);
  std::filesystem::create_directory_symlink(std::string(TAL_BIN_DIR) + "/data", folder_ + "/data");
  // The audio library beside the program, as it ships.
  for (const char* lib : {"libbass.so", "libbasswma.so"})
    std::filesystem::create_symlink(std::string(TAL_BIN_DIR) + "/" + lib, folder_ + "/" + lib);
  WriteIni(folder_ + "/game.INI");
  SetProgramFolder(folder_);
  ResetGameState();
  RandSeed = 20261210;
  Form = Application->CreateForm<TMainForm>();
  Form->Show();
  SetForegroundWindow(Form->Handle());
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
