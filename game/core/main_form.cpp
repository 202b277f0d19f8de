#include "game/core/main_form.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "engine/dib/dib.h"
#include "framework/filer.h"
#include "framework/random.h"
#include "framework/sysutils.h"
#include "game/play/play.h"
#include "game/screens/interface_sprite.h"
#include "music/bass_player.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/gdi_fontres.h"
#include "platform/win/files.h"
#include "platform/win/library.h"

namespace {

TTimer* MakeTimer(TMainForm* Form, UINT Interval, bool Enabled,
                  void (TMainForm::*Handler)(TObject*)) {
  auto* timer = new TTimer(Form);
  timer->SetEnabled(Enabled);
  timer->SetInterval(Interval);
  timer->SetOnTimer([Form, Handler](TObject* Sender) { (Form->*Handler)(Sender); });
  return timer;
}

}  // namespace

TMainForm::TMainForm(TComponent* AOwner) : TDXForm(AOwner) {
  MainForm = this;
  // The game's pictures hold bitmaps of the engine's own bitmap class.
  RegisterDIBGraphicClass();

  SetCaption("Taloren: Ostrime version 1.2");
  SetBorderStyle(bsNone);
  SetPosition(poScreenCenter);
  SetBounds(0, 0, 800, 600);
  SetKeyPreview(true);

  // The components as the form's stored description makes them: each is
  // given its settings while loading, and all are told they are loaded once
  // every one of them exists.
  std::vector<TComponent*> loading;
  auto make = [&](auto* Component) {
    Component->BeginLoading();
    loading.push_back(Component);
    return Component;
  };

  DXDraw = make(new TDXDraw(this));
  DXDraw->SetParent(this);
  DXDraw->SetAutoSize(false);
  DXDraw->SetBounds(0, 0, 800, 600);
  DXDraw->SetSurfaceWidth(800);
  DXDraw->SetSurfaceHeight(600);
  DXDraw->Display()->SetWidth(800);
  DXDraw->Display()->SetHeight(600);
  DXDraw->Display()->FixedBitCount = true;
  DXDraw->Display()->FixedRatio = true;
  DXDraw->Display()->FixedSize = false;
  DXDraw->SetOptions({doFullScreen, doAllowReboot, doWaitVBlank, doAllowPalette256, doStretch,
                      doCenter, doFlip, doDirectX7Mode, doHardware, doSelectDriver, doZBuffer});
  DXDraw->OnInitialize = [this](TObject* Sender) { DXDrawInitialize(Sender); };
  DXDraw->OnFinalize = [this](TObject* Sender) { DXDrawFinalize(Sender); };
  DXDraw->OnInitializeSurface = [this](TObject* Sender) { DXDrawInitializeSurface(Sender); };
  DXDraw->OnRestoreSurface = [this](TObject* Sender) { DXDrawRestoreSurface(Sender); };
  DXDraw->OnClick = [this](TObject* Sender) { DXDrawClick(Sender); };
  DXDraw->OnMouseDown = [this](TObject* Sender, TMouseButton Button, TShiftState Shift, int X,
                               int Y) { DXDrawMouseDown(Sender, Button, Shift, X, Y); };
  DXDraw->OnMouseUp = [this](TObject* Sender, TMouseButton Button, TShiftState Shift, int X,
                             int Y) { DXDrawMouseUp(Sender, Button, Shift, X, Y); };
  DXDraw->OnMouseMove = [this](TObject* Sender, TShiftState Shift, int X, int Y) {
    DXDrawMouseMove(Sender, Shift, X, Y);
  };

  DXTimer = make(new TDXTimer(this));
  DXTimer->SetInterval(0);
  DXTimer->SetEnabled(false);
  DXTimer->SetActiveOnly(false);
  DXTimer->OnTimer = [this](TObject* Sender, int LagCount) { DXTimerTimer(Sender, LagCount); };
  DXTimer->OnActivate = [this](TObject* Sender) { DXTimerActivate(Sender); };
  DXTimer->OnDeactivate = [this](TObject* Sender) { DXTimerDeactivate(Sender); };

  DXSpriteEngine = make(new TDXSpriteEngine(this));
  DXSpriteEngine->SetDXDraw(DXDraw);

  DXInput = make(new TDXInput(this));
  DXInput->SetActiveOnly(true);
  DXInput->SetUseDirectInput(true);
  for (TCustomInput* device : {static_cast<TCustomInput*>(DXInput->Keyboard()),
                               static_cast<TCustomInput*>(DXInput->Mouse()),
                               static_cast<TCustomInput*>(DXInput->Joystick())}) {
    device->SetEnabled(true);
    device->BindInputStates = true;
  }
  TJoystick* joystick = DXInput->Joystick();
  joystick->SetForceFeedback(true);
  joystick->SetAutoCenter(true);
  joystick->SetID(0);
  joystick->SetDeadZoneX(50);
  joystick->SetDeadZoneY(50);
  joystick->SetDeadZoneZ(50);
  joystick->SetRangeX(300);
  joystick->SetRangeY(300);
  joystick->SetRangeZ(300);
  // The form's own key table, not the engine's: the arrows and the numeric
  // pad steer, the game's two attack keys fire and F2 is button 9. No letter
  // is bound, so none steers, and none presses button 1, which fires in
  // mouse mode. game.INI replaces the first key of left, right and the two
  // attacks.
  const TGameKeys own;
  TKeyAssignList& assigns = DXInput->Keyboard()->Assigns;
  assigns = {};
  SetKeyAssign(assigns, ibUp, {VK_UP, 0, VK_NUMPAD0 + 8});
  SetKeyAssign(assigns, ibDown, {VK_DOWN, VK_NUMPAD0 + 2});
  SetKeyAssign(assigns, ibLeft, {own.Left, VK_NUMPAD0 + 4});
  SetKeyAssign(assigns, ibRight, {own.Right, VK_NUMPAD0 + 6});
  SetKeyAssign(assigns, ibButton3, {own.Primary});
  SetKeyAssign(assigns, ibButton4, {own.Secondary});
  SetKeyAssign(assigns, ibButton9, {VK_F1 + 1});

  DXSound = make(new TDXSound(this));

  for (TDXImageList** list :
       {&ImageList, &ModelsList, &ExplosionsList, &WeaponsList, &FxList, &BackGroundList,
        &InterFaceList, &BonusesList, &VideoList, &BookList, &MainList}) {
    *list = make(new TDXImageList(this));
    (*list)->SetDXDraw(DXDraw);
  }
  for (TDXWaveList** list : {&DXWaveList, &VoiceList, &IntroWaveList}) {
    *list = make(new TDXWaveList(this));
    (*list)->SetDXSound(DXSound);
  }

  PixelAnimationTimer = make(MakeTimer(this, 1, false, &TMainForm::PixelAnimationTimerTimer));
  Timer1 = make(MakeTimer(this, 10, false, &TMainForm::Timer1Timer));
  WayPathTimer = make(MakeTimer(this, 20, true, &TMainForm::WayPathTimerTimer));
  ScoreTimer = make(MakeTimer(this, 40, false, &TMainForm::ScoreTimerTimer));
  Timer_stat = make(MakeTimer(this, 50, false, &TMainForm::Timer_statTimer));
  playerFX = make(MakeTimer(this, 200, false, &TMainForm::playerFXTimer));
  PlayerDeathTimer = make(MakeTimer(this, 550, false, &TMainForm::PlayerDeathTimerTimer));
  VideoTimer = make(MakeTimer(this, 1000, false, &TMainForm::VideoTimerTimer));

  Edit1 = make(new TEdit(this));
  Edit1->SetParent(this);
  Edit1->SetBounds(0, 2000, 121, 21);
  Edit1->SetMaxLength(10);
  Edit1->SetVisible(false);

  Memo1 = make(new TMemo(this));
  Memo1->SetParent(this);
  Memo1->SetBounds(0, 2100, 185, 89);
  Memo1->SetVisible(false);
  Memo1->WordWrap = false;
  Memo1->Lines = {"Memo1"};

  for (TComponent* c : loading) c->EndLoading();

  OnCreate = [this](TObject* Sender) { FormCreate(Sender); };
  OnShow = [this](TObject* Sender) { FormShow(Sender); };
  OnClose = [this](TObject* Sender, TCloseAction& Action) { FormClose(Sender, Action); };
  OnConstrainedResize = [this](TObject* Sender) { TConstrainedResizeEvent(Sender); };
  OnKeyDown = [this](TObject* Sender, WORD& Key, TShiftState Shift) {
    FormKeyDown(Sender, Key, Shift);
  };
}

TMainForm::~TMainForm() {
  // The window goes first: its destruction finalises the display, whose
  // handler stops the frame timer, while every component and this form's
  // handlers still exist. Then the components, while the form is whole.
  if (HandleAllocated()) DestroyWindow(Handle());
  delete MusicPlayer;
  MusicPlayer = nullptr;
  DestroyComponents();
  // The sprites went with the sprite engine.
  ForgetGameSprites();
  if (MainForm == this) MainForm = nullptr;
}

namespace {

// Which archive let start-up down, and whether the player should look for
// it or replace it: one that is not there, or one that is there but cannot
// be read. Written here as UTF-8 and shown in the game's 8-bit code page.
std::string ArchiveMessage(const std::string& Path, const std::string& Name) {
  const char* what = FileExists(Path) ? "Повреждён" : "Не найден";
  return Utf8ToAnsi(std::string(what) + " файл \"" + Name + "\" !!!");
}

TInterFaceSprite* MakeInterfaceSprite(TMainForm* Form, TDXImageList* List,
                                      const std::string& Picture, double X, double Y, int Z) {
  auto* s = new TInterFaceSprite(Form->DXSpriteEngine->Engine());
  s->SetImage(List->Items().Find(Picture));
  s->X = X;
  s->Y = Y;
  s->SetZ(Z);
  s->Visible = false;
  return s;
}

void Animate(TImageSprite* S, int32_t Frames, double Speed, bool Looped) {
  S->AnimCount = Frames;
  S->AnimSpeed = Speed;
  S->AnimLooped = Looped;
}

const char* const kMenuScreens[] = {"mainmenu",      "options",         "graphicoptions",
                                    "soundoptions",  "controlsoptions", "difficulty",
                                    "chooseepisode", "choosemission1",  "choosemission2"};

constexpr int kRecordsY[11] = {0, 155, 191, 227, 263, 299, 340, 378, 415, 447, 484};

}  // namespace

void TMainForm::FormCreate(TObject*) {
  Randomize();
  SetCurrentDir(ProgramFolder() + "data");
  DXDraw->SetCursor(crNone);
  GameOptions.Controls = 1;

  LoadIniFile();

  TDXDrawOptions options = DXDraw->Options();
  if (GameOptions.PageFlip)
    options.Include(doFlip);
  else
    options.Exclude(doFlip);
  DXDraw->SetOptions(options);

  // Without its pictures the game has nothing to show and no way to be left:
  // say which archive let start-up down and end.
  const struct {
    TDXImageList* List;
    const char* Name;
  } archives[] = {{ImageList, "data.dan"},
                  {BookList, "info.dan"},
                  {VideoList, "video.dan"},
                  {ExplosionsList, "explosions.dan"},
                  {FxList, "fx.dan"},
                  {BonusesList, "bonuses.dan"},
                  {InterFaceList, "interface.dan"},
                  {BackGroundList, "bg.dan"},
                  {ModelsList, "models.dan"},
                  {WeaponsList, "weapons.dan"}};
  for (const auto& a : archives) {
    const std::string path = std::string("graphic\\") + a.Name;
    try {
      a.List->Items().LoadFromFile(path);
    } catch (const Exception&) {
      ShowMessage(ArchiveMessage(path, a.Name));
      FailStartUp();
      return;
    }
  }
  const struct {
    TDXWaveList* List;
    const char* Name;
  } waves[] = {{DXWaveList, "snd.tor"}, {VoiceList, "vc.tor"}};
  for (const auto& w : waves) {
    const std::string path = std::string("sound\\") + w.Name;
    try {
      w.List->Items().LoadFromFile(path);
    } catch (const Exception&) {
      ShowMessage(ArchiveMessage(path, w.Name));
    }
  }

  TPictureCollection& colours = ImageList->Items();
  colours.MakeColorTable();
  DXDraw->ColorTable = colours.ColorTable;
  DXDraw->DefaultColorTable = colours.ColorTable;
  DXDraw->UpdatePalette();

  // An archive that reads but lacks a picture the screens need is as broken
  // as one that does not read.
  try {
    CreateInterfaceSprites();
  } catch (const Exception& e) {
    Application->ShowException(e);
    FailStartUp();
    return;
  }

  for (TTimer* t : {PixelAnimationTimer, Timer1}) t->SetEnabled(true);
  DXTimer->SetEnabled(true);
  for (TTimer* t : {playerFX, PlayerDeathTimer, VideoTimer, ScoreTimer}) t->SetEnabled(true);
}

void TMainForm::CreateInterfaceSprites() {
  CursorSprite = new TCursorImage(DXSpriteEngine->Engine());
  CursorSprite->SetImage(ImageList->Items().Find("cursor_image_v1_1"));
  CursorSprite->SetZ(100);
  CursorSprite->Alpha = 150;
  CursorSprite->Visible = false;

  GameOverMainButton = MakeInterfaceSprite(this, InterFaceList, "gameovermain", 180, 515, 55);
  GameOverExitButton = MakeInterfaceSprite(this, InterFaceList, "gameoverexit", 400, 515, 55);
  PauseOverlay = MakeInterfaceSprite(this, InterFaceList, "1fx1", 0, 0, 47);
  PauseOverlay->Width = 800;
  PauseOverlay->Height = 600;
  Animate(PauseOverlay, 4, 1.0 / 45, true);
  PausePanel = MakeInterfaceSprite(this, InterFaceList, "pausemenupanel", 0, 0, 48);
  PausePanel->Y = 300 - PausePanel->Height / 2;
  const double panelY = PausePanel->Y;
  PauseLaptop = MakeInterfaceSprite(this, InterFaceList, "pausemenulaptop", 300, panelY + 8, 49);
  PauseResumeButton =
      MakeInterfaceSprite(this, InterFaceList, "pausemenuresume", 300, panelY + 46, 49);
  PauseMainButton = MakeInterfaceSprite(this, InterFaceList, "pausemenumain", 300, panelY + 84, 49);
  PauseExitButton =
      MakeInterfaceSprite(this, InterFaceList, "pausemenuexit", 300, panelY + 122, 49);
  ReadyBanner = MakeInterfaceSprite(this, InterFaceList, "ready", 800, 0, 45);
  ReadyBanner->Y = 300 - ReadyBanner->Height / 2.0;
  EpisodeDigit = MakeInterfaceSprite(this, InterFaceList, "newlevel_mission", 449, 145, 53);
  Animate(EpisodeDigit, 10, 0, false);
  EpisodeDigit->AnimPos = CurrentEpisode;
  MissionDigit = MakeInterfaceSprite(this, InterFaceList, "newlevel_mission", 388, 11, 53);
  Animate(MissionDigit, 10, 0, false);
  MissionDigit->AnimPos = CurrentMission - 1;
  LevelDigit = MakeInterfaceSprite(this, InterFaceList, "newlevel_mission", 388, 49, 53);
  Animate(LevelDigit, 10, 0, false);
  LevelDigit->AnimPos = CurrentLevel - 1;

  BookBackground = MakeInterfaceSprite(this, BookList, "bg", 0, 0, 53);
  IncomingMessage = MakeInterfaceSprite(this, BookList, "incoming_message", 80, 555, 50);
  Animate(IncomingMessage, 15, 1.0 / 55, true);
  BookCloseButton = MakeInterfaceSprite(this, BookList, "close", 380, 10, 54);
  BookArt = MakeInterfaceSprite(this, BookList, "art1", 65, 92, 54);
  const TEnemyType& first = EnemyTypes[1];
  BookModel = MakeInterfaceSprite(this, ModelsList, first.Model, 85, 317, 54);
  BookModel->Width = 114;
  BookModel->Height = 116;
  Animate(BookModel, first.ModelFrames, first.ModelSpeed, true);
  BookFx = MakeInterfaceSprite(this, BookList, "fx", 85, 317, 55);
  Animate(BookFx, 10, 0.04, true);
  for (int i = 1; i <= EnemyBookSize; ++i) {
    std::string name = "b" + IntToStr(EnemyBook[i]);
    BookEntries[i] = MakeInterfaceSprite(this, BookList, name, 606, 28 * i, 55);
    BookEntryNames[i] = name.substr(0, 20);
    BookEntryLitNames[i] = (name + "_lighted").substr(0, 20);
  }
  EnemyBook[EnemyBookSize + 1] = EnemyBook[1] != 0 ? 1 : 0;
}

void TMainForm::FormShow(TObject*) {
  MusicPlayer = new TBASSPlayer(this);
  // The statistics lines run on this timer too, so it runs with or without
  // music; only its music loop needs a ready player.
  Timer_stat->SetEnabled(true);
  if (MusicPlayer->BASSDLLVer().empty()) {
    Application->MessageBox("BASS.DLL is not loaded.", "Confirm", MB_OK);
    return;
  }
  MusicPlayer->SetVolume(GameOptions.MusicLevel * 10);
}

void TMainForm::FormClose(TObject*, TCloseAction&) {
  OpenShellFile(ProgramFolder() + "Homepage.url");
  if (MusicPlayer) {
    MusicPlayer->StopZerIdiput();
    delete MusicPlayer;
    MusicPlayer = nullptr;
  }
}

void TMainForm::OpenMusic(const std::string& FileName) {
  if (MusicPlayer && MusicPlayer->AudioReady) {
    MusicPlayer->OpenFile(FileName);
    MusicPlayer->Play();
  } else {
    Application->MessageBox("Cannot open file (BassPlayer is not ready)", "Confirm", MB_OK);
  }
}

DDGAMMARAMP BrightnessRamp(const DDGAMMARAMP& Original, int Level) {
  DDGAMMARAMP r;
  auto adjust = [Level](uint16_t o) -> uint16_t {
    int64_t v;
    if (Level >= 50) {
      v = o + static_cast<int64_t>(std::trunc((Level - 50) * 327.66));
      return static_cast<uint16_t>(v > 65535 ? 65535 : v);
    }
    v = o + static_cast<int64_t>(std::trunc(Level * 327.66)) - 16384;
    return static_cast<uint16_t>(v < 0 ? 0 : v);
  };
  for (int i = 0; i < 256; ++i) {
    r.red[i] = adjust(Original.red[i]);
    r.green[i] = adjust(Original.green[i]);
    r.blue[i] = adjust(Original.blue[i]);
  }
  return r;
}

void TMainForm::UpdateBrightness(int Level) {
  if (!DXDraw->Primary || !DXDraw->Primary->GammaControl()) return;
  DDGAMMARAMP ramp = BrightnessRamp(OriginalGammaRamp, Level);
  DXDraw->Primary->GammaControl()->SetGammaRamp(0, &ramp);
}

int32_t ScaledLag(int32_t LagCount, int32_t Difficulty) {
  switch (Difficulty) {
    case 0:
      return LagCount - Round(LagCount * 0.1);
    case 1:
      return LagCount;
    case 2:
      return LagCount + Round(LagCount * 0.12);
    default:
      return -1;
  }
}

void TMainForm::DXTimerTimer(TObject*, int LagCount) {
  if (!DXDraw->CanDraw()) return;
  if (DXInput->Mouse()->Effects()) DXInput->Mouse()->Effects()->Start();
  DXInput->Update();
  int32_t lag = ScaledLag(LagCount, Player.Difficulty);
  if (lag >= 0) DXSpriteEngine->Move(lag);
  DXSpriteEngine->FreeDead();
  DXDraw->Surface->Fill(0);
  DXSpriteEngine->Draw();
  TDirectDrawSurfaceCanvas* canvas = DXDraw->Surface->Canvas();
  canvas->Brush()->SetStyle(bsClear);
  canvas->Font()->SetSize(10);
  canvas->Font()->SetName(OverlayFont);
  DrawOverlays(canvas);
  canvas->Release();
  DXDraw->Flip();
}

std::vector<TOverlayText> OverlayTexts() {
  std::vector<TOverlayText> out;
  int size = 10;
  TColor color = clBlack;
  auto font = [&](int Size, TColor Color) {
    size = Size;
    color = Color;
  };
  auto text = [&](int X, int Y, const std::string& Text) {
    out.push_back({X, Y, Text, size, color});
  };
  const TColor green = RGB(0, 128, 0);

  if (GameState == "book" && EnemyBookCount > 0) {
    int32_t row = EnemyBook[EnemyBookSize + 1];
    int32_t t = row >= 1 && row <= EnemyBookSize ? EnemyBook[row] : 0;
    if (t >= 1 && t <= EnemyTypeCount) {
      const TSpriteInfo& info = EnemyTypes[t].Info;
      font(t == 14 ? 11 : 12, RGB(0, 128, 128));
      text(241, 100, "Name: " + EnemyNames[t]);
      text(241, 120, "Price: " + IntToStr(info.Points) + " points");
      for (int i = 1; i <= DescriptionLines; ++i) text(250, 280 + 20 * i, EnemyDescriptions[t][i]);
      // The seven spaces are the book's own: they set "Health:" in under
      // "Reload speed:" so the two bars of dashes read as a pair.
      text(236, 145, "       Health: " + std::string(static_cast<size_t>(info.Health / 5), '-'));
      int32_t reload = 12 - info.Reload / 100;
      std::string bars = t != 7 && reload > 0 ? std::string(static_cast<size_t>(reload), '-') : "";
      text(241, 160, "Reload speed: " + bars);
    }
  }
  if (GameState == "victory") {
    font(18, green);
    static const char* const names[] = {"Difficulty: Easy", "Difficulty: Normal",
                                        "Difficulty: Hard"};
    if (Player.Difficulty >= 0 && Player.Difficulty <= 2) text(400, 400, names[Player.Difficulty]);
    text(400, 450, "Scores: " + IntToStr(Player.Score));
    text(400, 500, "(left click for exit)");
  }
  if (GameState == "levelcomplete" || GameState == "gameover" || GameState == "newlevel") {
    font(12, green);
    static const int pos[9][2] = {{0, 0},     {228, 345}, {123, 365}, {128, 385}, {128, 415},
                                  {123, 435}, {128, 455}, {128, 485}, {123, 505}};
    for (int i = 1; i <= 8; ++i) {
      if (i == 1 && (Player.Difficulty < 0 || Player.Difficulty > 2)) continue;
      text(pos[i][0], pos[i][1], MessageLines[i]);
    }
  }
  if (GameState == "graphicoptions") {
    font(16, RGB(255, 255, 255));
    text(255, 279, "Brightness");
    text(470, 279, IntToStr(GameOptions.Brightness));
  }
  if (GameState == "topranks") {
    font(14, green);
    if (NameEntryPanel && NameEntryPanel->Visible) {
      text(292, 294, MainForm->Edit1->Text());
    } else {
      for (int i = 1; i <= 10; ++i) {
        text(238, kRecordsY[i], TopRanks[i].Name);
        if (TopRanks[i].Score != 0) text(431, kRecordsY[i], IntToStr(TopRanks[i].Score));
      }
    }
  }
  if (GameState == "game" && GameOptions.FPS) {
    font(15, RGB(255, 255, 0));
    text(720, 580, "FPS:" + IntToStr(MainForm->DXTimer->FrameRate()));
  }
  bool menu = GameState == "message" && PrevGameState == "mainmenu";
  for (const char* m : kMenuScreens) menu = menu || GameState == m;
  if (menu) {
    font(16, green);
    text(660, 6, "Vers. 1.2");
  }
  return out;
}

void TMainForm::DrawOverlays(TCanvas* Canvas) {
  for (const TOverlayText& t : OverlayTexts()) {
    Canvas->Font()->SetName(OverlayFont);
    Canvas->Font()->SetSize(t.Size);
    Canvas->Font()->SetColor(t.Color);
    Canvas->TextOut(t.X, t.Y, t.Text);
  }
}

void TMainForm::DXTimerActivate(TObject*) {
  SetCaption(Application->Title());
}

void TMainForm::DXTimerDeactivate(TObject*) {
  SetCaption(Application->Title() + " [Pause]");
}

void TMainForm::DXDrawInitialize(TObject*) {
  DXTimer->SetEnabled(true);
}

void TMainForm::DXDrawFinalize(TObject*) {
  DXTimer->SetEnabled(false);
}

void TMainForm::DXDrawInitializeSurface(TObject*) {
  try {
    if (!DXDraw->Primary || !DXDraw->Primary->GammaControl())
      Raise<Exception>("Gamma control not supported");
    DXDraw->Primary->GammaControl()->GetGammaRamp(0, &OriginalGammaRamp);
    UpdateBrightness(GameOptions.Brightness);
  } catch (const Exception& e) {
    Application->ShowException(e);
    FailStartUp();
  }
}

TMainForm* CreateGame() {
  InitEnemyTexts();
  InitMissionTable();
  Application->Initialize();
  Application->SetTitle("Taloren: Ostrime");
  return Application->CreateForm<TMainForm>();
}

void TMainForm::FailStartUp() {
  StartUpFailed = true;
  Application->Terminate();
}

void TMainForm::DXDrawRestoreSurface(TObject*) {
  TDirectDrawSurface* back = DXDraw->Surface.get();
  if (!back) return;
  if (ImageList->Items().Count() > 0)
    ImageList->Items().Items(0)->StretchDraw(back, Rect(0, 0, back->Width(), back->Height()), 0);
  TDirectDrawSurfaceCanvas* canvas = back->Canvas();
  canvas->Brush()->SetStyle(bsClear);
  TDXDrawDisplay* d = DXDraw->Display();
  canvas->TextOut(0, 0, Format("%dx%d %d bit color", d->Width(), d->Height(), d->BitCount()));
  canvas->Release();
  DXDraw->Flip();
}

void TMainForm::TConstrainedResizeEvent(TObject*) {
  if (GameState == "game") ShowPauseMenu();
}

void TMainForm::DXDrawClick(TObject*) {}
void TMainForm::TimerTimer(TObject*) {}
void TMainForm::TrackBar1Change(TObject*) {}

void TMainForm::PixelAnimationTimerTimer(TObject*) {
  // The shake moves the whole sprite tree through the engine's own offset.
  TSpriteEngine* engine = DXSpriteEngine->Engine();
  if (GameState == "game" && ShakeCount > 0) {
    engine->X = -Random(ShakeAmplitude);
    engine->Y = -Random(ShakeAmplitude);
    --ShakeCount;
    if (ShakeCount <= 0) {
      engine->X = 0;
      engine->Y = 0;
      ShakeAmplitude = 0;
    }
  }
  if (ShakeCount <= 0 && (engine->X != 0 || engine->Y != 0)) {
    engine->X = 0;
    engine->Y = 0;
  }
}

void TMainForm::Timer1Timer(TObject*) {
  const int brightness = GameOptions.Brightness;
  if (GameState != "intro" && CursorSprite && CursorSprite->Visible) {
    if (CursorSprite->Alpha >= 250 || CursorSprite->Alpha < 149) CursorPulseStep = -CursorPulseStep;
    CursorSprite->Alpha += CursorPulseStep;
  }
  if (ScreenFadeStep > 0) {
    if (brightness > ScreenFadeLevel) {
      ScreenFadeLevel += ScreenFadeStep;
      UpdateBrightness(ScreenFadeLevel);
    } else {
      ScreenFadeStep = 0;
      UpdateBrightness(brightness);
    }
  }
  if (FlashActive) {
    if (brightness < FlashLevel) {
      FlashLevel -= 25;
      UpdateBrightness(FlashLevel);
    } else {
      FlashActive = false;
      UpdateBrightness(brightness);
    }
  }
  if (GameState == "partner_intro" || GameState == "intro2" || GameState == "intro3" ||
      GameState == "intro4") {
    if (ScreenFadeLevel < brightness && ScreenFadeStep > 0) {
      ScreenFadeLevel += 2 * ScreenFadeStep;
      UpdateBrightness(ScreenFadeLevel);
    }
    if (ScreenFadeLevel > -200 && ScreenFadeStep < 0) {
      ScreenFadeLevel += 3 * ScreenFadeStep;
      UpdateBrightness(ScreenFadeLevel);
    }
  }
  if (GameState == "mainmenu" && ScreenFadeStep > 0) {
    if (ScreenFadeLevel < brightness) {
      ScreenFadeLevel += 2 * ScreenFadeStep;
      UpdateBrightness(ScreenFadeLevel);
    } else {
      ScreenFadeStep = 0;
    }
  }
  if (GameState == "game" && PlayerShip) BankShip();
}

void TMainForm::BankShip() {
  TPlayerSprite* ship = PlayerShip;
  const double x = ship->X;
  const double d = std::fabs(x - ShipPrevX);
  const int32_t c = d > 40 ? Trunc(d / 20 + 1) : 1;
  std::string left = "player1left", right = "player1right";
  if (Player.Armor) {
    left += "_armor";
    right += "_armor";
  } else if (Player.GodTime > 0) {
    left += "_god";
    right += "_god";
  }
  TPictureCollectionItem* leftPic = ModelsList->Items().Find(left);
  TPictureCollectionItem* rightPic = ModelsList->Items().Find(right);
  auto bank = [&](TPictureCollectionItem* Away, TPictureCollectionItem* Toward, bool Strict) {
    ship->AnimCount = 10;
    ship->SetImage(ship->GetImage());
    bool room = Strict ? ship->AnimPos - c > 1 : ship->AnimPos - c >= 1;
    if (ship->GetImage() == Away && room) {
      ship->AnimPos -= c;
    } else {
      ship->SetImage(Toward);
      if (ship->AnimPos + c < 10) ship->AnimPos += c;
    }
  };
  if (ShipPrevX < x)
    bank(leftPic, rightPic, false);
  else if (ShipPrevX > x)
    bank(rightPic, leftPic, true);
  if (d <= 1 && ship->AnimPos > 1) ship->AnimPos = Trunc(ship->AnimPos - 0.5);
  ShipPrevX = x;
}

std::string ScoreDigitsText(int64_t Score) {
  char digits[32];
  std::snprintf(digits, sizeof digits, "%07lld", static_cast<long long>(Score));
  return digits;
}

int64_t ScoreStep(int64_t Gap) {
  return Gap > 1000 ? 17 : Gap > 200 ? 12 : Gap > 100 ? 7 : Gap > 50 ? 2 : 1;
}

void TMainForm::ScoreTimerTimer(TObject*) {
  if (Player.Score <= DisplayedScore) return;
  DisplayedScore += ScoreStep(Player.Score - DisplayedScore);
  PlayEffect("score", 0);
  ScoresTextout(ScoreDigitsText(DisplayedScore));
  CheckLevelComplete();
}

void TMainForm::Timer_statTimer(TObject*) {
  StatisticsLinesStep();
  if (!MusicPlayer || !MusicPlayer->AudioReady) return;
  // Unsigned, as the player reports them: with no file both read 0 and the
  // end mark wraps far above any position.
  uint32_t length = MusicPlayer->GetPlaybackLength();
  if (MusicPlayer->GetPlaybackPosition() >= length - 55u) MusicPlayer->SetPlaybackPosition(25);
  // A tick that missed the window finds the music ended and stopped; start
  // it again, or it stays silent.
  if (MusicPlayer->PlayState() == psStopped) MusicPlayer->Play();
}

void TMainForm::playerFXTimer(TObject*) {
  if (GameState == "game" || GameState == "levelcomplete" || GameState == "ready" ||
      GameState == "gameover" || GameState == "pause") {
    if (FaceTime > 0) --FaceTime;
  }
  if (CheatCountdown > 0) {
    --CheatCountdown;
  } else {
    CheatCountdown = -10;
    CheatBuffer.clear();
  }
  if (GameState == "game" && Player.ShieldTime > 0 && PlayerShip) {
    bool shown = !PlayerShip->Visible;
    PlayerShip->Visible = shown;
    for (TSprite* s : std::initializer_list<TSprite*>{PrimaryMount, SecondaryMount, ShipFire,
                                                      EngineFlames[1], EngineFlames[2]})
      if (s) s->Visible = shown;
  }
}

void TMainForm::VideoTimerTimer(TObject*) {
  if (GameState == "newlevel" || GameState == "levelcomplete") {
    if (ContinueBlink >= 0) ContinueBlink = ContinueBlink < 1 ? ContinueBlink + 1 : -1;
  }
  if (GameState == "game") {
    ++Player.LevelTime;
    ++Player.GameTime;
  }
  if (GameState == "game" && BossDying) {
    if (BossDeathCountdown > 0) {
      --BossDeathCountdown;
      PlayEffect("explosion3", 0);
    }
    if (BossDeathCountdown <= 0) {
      FlashLevel = GameOptions.Brightness;
      FlashActive = false;
      UpdateBrightness(GameOptions.Brightness);
    }
  }
  IntroScriptStep();
  if (GameState != "game") return;
  if (Player.ExtraWeapon1Time > 0) {
    --Player.ExtraWeapon1Time;
    TWeaponTextout(1);
  }
  if (Player.ExtraWeapon2Time > 0) {
    --Player.ExtraWeapon2Time;
    TWeaponTextout(2);
  }
  if (Player.ExtraWeapon1Time <= 0 && Player.ExtraWeapon2Time <= 0) {
    if (ExtraWeaponIcon) ExtraWeaponIcon->Visible = false;
    if (ExtraWeaponMount) ExtraWeaponMount->Visible = false;
  }
  if (Player.ShieldTime > 0) --Player.ShieldTime;
  if (Player.GodTime > 0) {
    --Player.GodTime;
    if (GodBar) {
      GodBar->Height = Player.GodTime * 10;
      GodBar->Y = 456 - Player.GodTime * 10;
    }
    return;
  }
  if (!PlayerShip) return;
  TPictureCollection& models = ModelsList->Items();
  if (PlayerShip->GetImage() == models.Find("player1left_god"))
    PlayerShip->SetImage(models.Find("player1left"));
  else if (PlayerShip->GetImage() == models.Find("player1right_god"))
    PlayerShip->SetImage(models.Find("player1right"));
}

void TMainForm::WayPathTimerTimer(TObject*) {
  if (PathRecorderDone) return;
  if (PathRecorderCount < 400) {
    ++PathRecorderCount;
    RecordedPathX[PathRecorderCount] = MouseX;
    RecordedPathY[PathRecorderCount] = MouseY;
    return;
  }
  PathRecorderDone = true;
  std::string line = "x(";
  for (int i = 1; i <= 400; ++i) line += IntToStr(RecordedPathX[i]) + ",";
  line += ");y(";
  for (int i = 1; i <= 400; ++i) line += IntToStr(RecordedPathY[i]) + ",";
  line += ");";
  Memo1->Lines.push_back(line);
  Memo1->SaveToFile("enemy1.alg");
}

void TMainForm::LoadFont(const std::string& FileName) {
  std::string path = ProgramFolder() + "data\\" + FileName;
  if (!FileExists(path)) {
    ShowMessage(Utf8ToAnsi("Невозможно установить шрифты в систему"));
    return;
  }
  FontInstalled = AddFontResourceA(path.c_str()) > 0;
}

void TMainForm::CloseFont(const std::string& FileName) {
  if (!FontInstalled) return;
  RemoveFontResourceA((ProgramFolder() + "data\\" + FileName).c_str());
}

void TMainForm::LoadSounds() {
  const struct {
    TDXWaveList* List;
    const char* Folder;
    const char* Archive;
  } lists[] = {{DXWaveList, "sounds/", "snd.tor"}, {VoiceList, "voices/", "vc.tor"}};
  for (const auto& l : lists) {
    TWaveCollection& items = l.List->Items();
    for (int i = 0; i < items.Count(); ++i)
      items.Items(i)->Wave().LoadFromFile(l.Folder + items.Items(i)->Name() + ".wav");
    items.SaveToFile(l.Archive);
    items.LoadFromFile(l.Archive);
  }
}
