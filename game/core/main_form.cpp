#include "game/core/main_form.h"

#include <vector>

#include "engine/dib/dib.h"
#include "game/core/music_standin.h"
#include "game/play/play.h"
#include "game/screens/interface_sprite.h"

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
  OnKeyDown = [this](TObject* Sender, WORD& Key, TShiftState Shift) {
    FormKeyDown(Sender, Key, Shift);
  };
}

TMainForm::~TMainForm() {
  // The window goes first: its destruction finalises the display, whose
  // handler stops the frame timer, while every component and this form's
  // handlers still exist. Then the components, while the form is whole.
  if (HandleAllocated()) DestroyWindow(Handle());
  DestroyComponents();
  if (MainForm == this) MainForm = nullptr;
}

void TMainForm::FormCreate(TObject*) {}
void TMainForm::FormShow(TObject*) {}
void TMainForm::FormClose(TObject*, TCloseAction&) {}
void TMainForm::OpenMusic(const std::string&) {}
void TMainForm::UpdateBrightness(int) {}
void TMainForm::DXTimerTimer(TObject*, int) {}
void TMainForm::DXTimerActivate(TObject*) {}
void TMainForm::DXTimerDeactivate(TObject*) {}
void TMainForm::DXDrawInitialize(TObject*) {
  DXTimer->SetEnabled(true);
}
void TMainForm::DXDrawFinalize(TObject*) {
  DXTimer->SetEnabled(false);
}
void TMainForm::DXDrawInitializeSurface(TObject*) {}
void TMainForm::DXDrawRestoreSurface(TObject*) {}
void TMainForm::TConstrainedResizeEvent(TObject*) {}
void TMainForm::DXDrawClick(TObject*) {}
void TMainForm::TimerTimer(TObject*) {}
void TMainForm::TrackBar1Change(TObject*) {}
void TMainForm::Timer1Timer(TObject*) {}
void TMainForm::PixelAnimationTimerTimer(TObject*) {}
void TMainForm::ScoreTimerTimer(TObject*) {}
void TMainForm::Timer_statTimer(TObject*) {}
void TMainForm::playerFXTimer(TObject*) {}
void TMainForm::VideoTimerTimer(TObject*) {}
void TMainForm::WayPathTimerTimer(TObject*) {}
void TMainForm::LoadFont(const std::string&) {}
void TMainForm::CloseFont(const std::string&) {}
void TMainForm::LoadSounds() {}
