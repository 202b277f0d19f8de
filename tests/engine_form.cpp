#include "tests/engine_form.h"

#include <utility>

#include "engine/dib/dib.h"
#include "framework/sysutils.h"

TEngineForm::TEngineForm(TComponent* AOwner, std::string DataDir)
    : TDXForm(AOwner), data_dir_(std::move(DataDir)) {
  // The game's pictures hold bitmaps of the engine's own bitmap class.
  RegisterDIBGraphicClass();

  SetCaption("Taloren: Ostrime version 1.2");
  SetBorderStyle(bsNone);
  SetPosition(poScreenCenter);
  SetBounds(0, 0, 800, 600);
  SetKeyPreview(true);

  // The components as the form's stored description makes them: each is
  // created and given its settings while loading, and all are told they are
  // loaded once every one of them exists.
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

  DXTimer = make(new TDXTimer(this));
  DXTimer->SetInterval(0);
  DXTimer->SetEnabled(false);
  DXTimer->SetActiveOnly(false);
  DXTimer->OnTimer = [this](TObject* Sender, int LagCount) { DXTimerTimer(Sender, LagCount); };

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

  for (size_t i = 0; i < ImageLists.size(); ++i) {
    ImageLists[i] = make(new TDXImageList(this));
    ImageLists[i]->SetDXDraw(DXDraw);
  }
  DXWaveList = make(new TDXWaveList(this));
  DXWaveList->SetDXSound(DXSound);
  VoiceList = make(new TDXWaveList(this));
  VoiceList->SetDXSound(DXSound);

  for (TComponent* c : loading) c->EndLoading();

  OnCreate = [this](TObject* Sender) { FormCreate(Sender); };
}

TEngineForm::~TEngineForm() {
  // The window goes first, as it does on the original platform: its
  // WM_DESTROY finalises the display, whose handler stops the frame timer,
  // while every component and this form's handlers still exist. Then the
  // components, while the form is whole.
  if (HandleAllocated()) DestroyWindow(Handle());
  DestroyComponents();
}

TDXImageList* TEngineForm::ImageListOf(const std::string& Archive) const {
  for (size_t i = 0; i < PictureArchives.size(); ++i)
    if (SameText(Archive, PictureArchives[i])) return ImageLists[i];
  Raise<Exception>("No image list for %s", Archive);
  return nullptr;
}

void TEngineForm::PlaySound(const std::string& Name, int32_t Volume, int32_t Pan) {
  TWaveCollectionItem* wave = DXWaveList->Items().Find(Name);
  wave->SetVolume(Volume);
  wave->SetPan(Pan);
  wave->Play(false);
}

void TEngineForm::FormCreate(TObject*) {
  for (size_t i = 0; i < PictureArchives.size(); ++i)
    ImageLists[i]->Items().LoadFromFile(data_dir_ + "/graphic/" + PictureArchives[i]);
  DXWaveList->Items().LoadFromFile(data_dir_ + "/sound/snd.tor");
  VoiceList->Items().LoadFromFile(data_dir_ + "/sound/vc.tor");

  TPictureCollection& first = ImageLists[0]->Items();
  first.MakeColorTable();
  DXDraw->ColorTable = first.ColorTable;
  DXDraw->DefaultColorTable = first.ColorTable;
  DXDraw->UpdatePalette();
}

void TEngineForm::DXDrawInitialize(TObject*) {
  DXTimer->SetEnabled(true);
}

void TEngineForm::DXDrawFinalize(TObject*) {
  DXTimer->SetEnabled(false);
}

void TEngineForm::DXTimerTimer(TObject*, int LagCount) {
  if (!DXDraw->CanDraw()) return;
  DXInput->Update();
  DXSpriteEngine->Move(LagCount);
  moved_ += LagCount;
  DXSpriteEngine->FreeDead();
  DXDraw->Surface->Fill(0);
  DXSpriteEngine->Draw();
  if (OnFrameDrawn) OnFrameDrawn(frames_ + 1);
  DXDraw->Flip();
  ++frames_;
  if (OnFrameFlipped) OnFrameFlipped(frames_);
}
