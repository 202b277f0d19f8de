#include "setup/options_dialog.h"

#include "framework/inifiles.h"
#include "framework/jpeg.h"
#include "framework/sysutils.h"
#include "game/options/game_options.h"
#include "platform/gdi/gdi_draw.h"
#include "platform/win/files.h"
#include "platform/win/library.h"
#include "platform/win/process.h"
#include "platform/win/resources.h"

TForm1* Form1 = nullptr;
TForm2* Form2 = nullptr;

namespace {

constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clMaroon = 0x000080;

const char* const kStartError[] = {
    "Moving left: ", "Moving right: ", "Primary attack: ", "Secondary attack: "};

// Why a program could not start, in words.
std::string StartFailure(int32_t Code) {
  switch (Code) {
    case ERROR_FILE_NOT_FOUND:
      return "the program file was not found";
    case ERROR_PATH_NOT_FOUND:
      return "its folder was not found";
    case ERROR_ACCESS_DENIED:
      return "access is denied";
    case ERROR_NOT_ENOUGH_MEMORY:
      return "there is not enough memory";
    case ERROR_BAD_EXE_FORMAT:
      return "it is not a program that can run here";
    default:
      return Format("error %d", static_cast<int>(Code));
  }
}

// A value from the file as it can stand in a message: short, one line.
std::string Quoted(const std::string& Text) {
  constexpr size_t kShown = 40;
  std::string out;
  for (char c : Text.substr(0, kShown)) out += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
  return "\"" + out + (Text.size() > kShown ? "...\"" : "\"");
}

// Each key that took its default, with what the file held instead.
std::string OptionFaultsText(const std::string& File, const std::vector<TOptionFault>& Faults) {
  std::string text =
      Format("Some settings in \"%s\" could not be used; they keep their defaults:", File);
  for (const TOptionFault& f : Faults) {
    const TOptionKey& k = OptionKeys[static_cast<size_t>(f.Key)];
    text += Format("\n[%s] %s ", k.Section, k.Ident);
    text +=
        f.Missing ? std::string("is missing") : "= " + Quoted(f.Text) + " is not a whole number";
    text += Format(" (default %d)", static_cast<int>(k.Default));
  }
  return text;
}

}  // namespace

std::string SetupIniFileName() {
  return ProgramFolder() + "game.INI";
}

// ---- TForm1 ----------------------------------------------------------------------

TForm1::TForm1(TComponent* AOwner) : TForm(AOwner) {
  Form1 = this;
  SetCaption("Taloren: ostrime Setup programm");
  SetBorderStyle(bsSingle);
  SetPosition(poScreenCenter);
  SetClientWidth(529);
  SetClientHeight(445);
  SetColor(clSilver);
  SetKeyPreview(true);
  SetPaintClientArea(true);

  auto button = [this](TWinControl* Parent, int L, int T, int W, int H, const char* Caption) {
    auto* b = new TBitBtn(this);
    b->SetParent(Parent);
    b->SetBounds(L, T, W, H);
    b->SetCaption(Caption);
    return b;
  };
  auto coolLabel = [this](TWinControl* Parent, int L, int T, int W, int H, const char* Caption,
                          bool Transparent) {
    auto* l = new TCoolLabel(this);
    l->SetAutoSize(false);
    l->SetParent(Parent);
    l->SetBounds(L, T, W, H);
    l->SetCaption(Caption);
    l->SetBevelInner(bvLowered);
    l->SetShadowSize(0);
    l->Font()->SetHeight(-19);
    l->SetTransparent(Transparent);
    return l;
  };
  auto bar = [this](TWinControl* Parent, int L, int T, int W, int H, int Max) {
    auto* b = new TCoolTrackBar(this);
    b->SetParent(Parent);
    b->SetBounds(L, T, W, H);
    b->SetMaxValue(Max);
    b->SetBevelInner(bvLowered);
    b->SetBevelOuter(bvRaised);
    return b;
  };

  PageControl1 = new TPageControl(this);
  PageControl1->SetParent(this);
  PageControl1->SetBounds(0, 0, 529, 409);
  auto sheet = [this](const char* Caption) {
    auto* s = new TTabSheet(this);
    s->SetCaption(Caption);
    s->SetPageControl(PageControl1);
    return s;
  };
  TabSheet1 = sheet("Main");
  TabSheet2 = sheet("Graphic");
  TabSheet3 = sheet("Sound");
  TabSheet4 = sheet("Controls");
  PageControl1->SetActivePage(TabSheet1);

  Image1 = new TImage(this);
  Image1->SetParent(TabSheet1);
  Image1->SetBounds(0, 0, 521, 385);
  Image1->SetStretch(true);
  {
    const uint8_t* data = nullptr;
    size_t size = 0;
    if (FindResourceData("TITLE_JPEG", data, size)) {
      auto jpeg = std::make_unique<TJPEGImage>();
      TMemoryStream s(std::vector<uint8_t>(data, data + size));
      try {
        jpeg->LoadFromStream(s);
        Image1->Picture()->TakeGraphic(std::move(jpeg));
      } catch (const Exception&) {
        // A damaged title picture leaves the tab empty; the options work.
      }
    }
  }

  BitBtn1 = button(this, 0, 416, 257, 25, "Save and start game");
  BitBtn2 = button(this, 272, 416, 257, 25, "Quit");

  CoolLabel1 = coolLabel(TabSheet2, 16, 13, 497, 28, "Brightness", true);
  CoolTrackBar1 = bar(TabSheet2, 168, 14, 337, 25, 100);
  CoolTrackBar1->SetPosition(50);
  CoolTrackBar1->SetBarColor(0xADF3A3);
  CoolLabel2 = coolLabel(TabSheet2, 16, 48, 497, 28, "Rocket smoke", true);
  BitBtn3 = button(TabSheet2, 168, 52, 337, 20, "On");
  CoolLabel3 = coolLabel(TabSheet2, 16, 83, 497, 28, "Splinters", true);
  BitBtn4 = button(TabSheet2, 168, 87, 337, 20, "High");
  CoolLabel4 = coolLabel(TabSheet2, 16, 118, 497, 28, "Bumpiness", false);
  BitBtn5 = button(TabSheet2, 168, 122, 337, 20, "On");
  CoolLabel5 = coolLabel(TabSheet2, 16, 152, 497, 28, "Show FPS", false);
  BitBtn6 = button(TabSheet2, 168, 156, 337, 20, "Off");
  for (TBitBtn* b : {BitBtn3, BitBtn4, BitBtn5}) {
    b->SetHint("Reduce this options for capacity.");
    b->SetShowHint(true);
  }

  CoolLabel6 = coolLabel(TabSheet3, 16, 16, 497, 28, "Sound Fx volume", false);
  CoolTrackBar2 = bar(TabSheet3, 208, 17, 297, 25, 10);
  CoolLabel7 = coolLabel(TabSheet3, 16, 56, 497, 28, "Music volume", false);
  CoolTrackBar3 = bar(TabSheet3, 208, 57, 297, 25, 10);
  CoolLabel9 = coolLabel(TabSheet3, 16, 96, 497, 28, "RadioVox level", false);
  CoolTrackBar4 = bar(TabSheet3, 208, 97, 297, 25, 10);
  CoolLabel10 = coolLabel(TabSheet3, 16, 136, 497, 28, "Channels", false);
  BitBtn9 = button(TabSheet3, 168, 140, 337, 20, "Mono");

  CoolLabel8 = coolLabel(TabSheet4, 8, 16, 505, 27, "Device", false);
  BitBtn7 = button(TabSheet4, 128, 19, 377, 20, "Mouse");
  BitBtn8 = button(TabSheet4, 8, 48, 169, 25, "Configure keys");
  BitBtn10 = button(TabSheet4, 184, 48, 329, 25, "Use direct input for joystick: off");
  TLabel** lines[] = {&Label1, &Label2, &Label3, &Label4};
  for (int i = 0; i < 4; ++i) {
    auto* l = new TLabel(this);
    l->SetParent(TabSheet4);
    l->SetBounds(16, 72 + 24 * i, 65, 23);
    l->Font()->SetHeight(-19);
    l->Font()->SetStyle(fsBold);
    l->SetCaption(std::string(kStartError[i]) + "-press a key-");
    l->SetVisible(false);
    *lines[i] = l;
  }

  DXInput = new TDXInput(this);
  DXInput->SetActiveOnly(true);
  DXInput->SetUseDirectInput(true);
  DXInput->Keyboard()->SetEnabled(true);
  DXInput->Joystick()->SetEnabled(true);
  DXInput->Mouse()->SetEnabled(false);
  // The four keys start as the game's own, so a first save keeps the game
  // playable from the keyboard.
  const TGameKeys own;
  DXInput->Keyboard()->Assigns[ibLeft][0] = own.Left;
  DXInput->Keyboard()->Assigns[ibRight][0] = own.Right;
  DXInput->Keyboard()->Assigns[ibButton3][0] = own.Primary;
  DXInput->Keyboard()->Assigns[ibButton4][0] = own.Secondary;
  try {
    DXInput->Loaded();
  } catch (const std::exception&) {
    // Without input devices the dialog still edits and saves the keys.
    if (Application) Application->HandleException(this);
  }

  Timer1 = new TTimer(this);
  Timer1->SetEnabled(false);
  Timer1->SetInterval(1);
  Timer1->SetOnTimer([this](TObject* s) { Timer1Timer(s); });

  zcRunProg1 = new TzcRunProg(this);
  zcRunProg1->SetCmdLine("talgame.exe");
  zcRunProg1->SetWait(false);
  zcRunProg1->OnBeforeRun = [this](TObject* s) { OnBeforeRun1(s); };
  zcRunProg1->OnError = [](TObject*, TzcRunError, int32_t Code) {
    Application->MessageBox(
        Format("The game \"%s\" could not be started: %s.", "talgame.exe", StartFailure(Code)),
        Application->Title(), MB_OK | MB_ICONERROR);
  };

  BitBtn1->OnClick = [this](TObject* s) { BitBtn1Click(s); };
  BitBtn2->OnClick = [this](TObject* s) { BitBtn2Click(s); };
  BitBtn3->OnClick = [this](TObject* s) { BitBtn3Click(s); };
  BitBtn4->OnClick = [this](TObject* s) { BitBtn4Click(s); };
  BitBtn5->OnClick = [this](TObject* s) { BitBtn5Click(s); };
  BitBtn6->OnClick = [this](TObject* s) { BitBtn6Click(s); };
  BitBtn7->OnClick = [this](TObject* s) { BitBtn7Click(s); };
  BitBtn8->OnClick = [this](TObject* s) { BitBtn8Click(s); };
  BitBtn9->OnClick = [this](TObject* s) { BitBtn9Click(s); };
  BitBtn10->OnClick = [this](TObject* s) { BitBtn10Click(s); };
  CoolTrackBar1->OnChange = [this](TObject* s) { CoolTrackBar1Change(s); };
  CoolTrackBar2->OnChange = [this](TObject* s) { CoolTrackBar2Change(s); };
  CoolTrackBar3->OnChange = [this](TObject* s) { CoolTrackBar3Change(s); };
  CoolTrackBar4->OnChange = [this](TObject* s) { CoolTrackBar4Change(s); };
  Label1->OnClick = [this](TObject* s) { Label1Click(s); };
  OnKeyDown = [this](TObject* s, WORD& Key, TShiftState Shift) { FormKeyDown(s, Key, Shift); };
  OnCreate = [this](TObject* s) { FormCreate(s); };
}

TForm1::~TForm1() {
  if (Form1 == this) Form1 = nullptr;
}

int32_t TForm1::KeySlot(int State) const {
  return DXInput->Keyboard()->Assigns[static_cast<size_t>(State)][0];
}

void TForm1::FormCreate(TObject*) {
  LoadIniFile();
  UpDateOptions();
}

void TForm1::LoadIniFile() {
  const std::string file = SetupIniFileName();
  TMemIniFile ini(file);
  // The shared reader gives every key, with the game's default where the
  // file has none or a bad one.
  std::vector<TOptionFault> faults;
  TOptionValues v = ReadOptionValues(ini, &faults);
  UDI = v[okUDI] != 0 ? 1 : 0;
  FPS = v[okFPS] != 0 ? 1 : 0;
  RocketSmoke = v[okRocketSmoke] != 0 ? 1 : 0;
  Brightness = v[okBrightness];
  SoundFxLevel = v[okSoundFxLevel];
  MusicLevel = v[okMusicLevel];
  RadioVoxLevel = v[okRadioVoxLevel];
  Channels = v[okChannels];
  Splinters = v[okSplinters];
  Controls = v[okControls];
  Bumpiness = v[okBumpiness];
  const std::pair<TOptionKeyIndex, int> keys[] = {
      {okLeft, ibLeft}, {okRight, ibRight}, {okPrimary, ibButton3}, {okSecondary, ibButton4}};
  for (auto [index, state] : keys)
    DXInput->Keyboard()->Assigns[static_cast<size_t>(state)][0] = v[index];
  // A first run without the file is no fault; a file that is there and
  // could not be used says what was wrong, in one box.
  if (ini.Refused()) {
    Application->MessageBox(
        Format("The settings file \"%s\" could not be read; the default options are shown.", file),
        Application->Title(), MB_OK | MB_ICONERROR);
  } else if (!faults.empty() && FileIsRegular(file)) {
    Application->MessageBox(OptionFaultsText(file, faults), Application->Title(),
                            MB_OK | MB_ICONWARNING);
  }
}

void TForm1::SaveIniFile() {
  TOptionValues v{};
  v[okUDI] = UDI == 1 ? 1 : 0;
  v[okFPS] = FPS == 1 ? 1 : 0;
  v[okRocketSmoke] = RocketSmoke == 1 ? 1 : 0;
  v[okBrightness] = Brightness;
  v[okSoundFxLevel] = SoundFxLevel;
  v[okMusicLevel] = MusicLevel;
  v[okRadioVoxLevel] = RadioVoxLevel;
  v[okChannels] = Channels;
  v[okSplinters] = Splinters;
  v[okControls] = Controls;
  v[okBumpiness] = Bumpiness;
  v[okLeft] = KeySlot(ibLeft);
  v[okRight] = KeySlot(ibRight);
  v[okPrimary] = KeySlot(ibButton3);
  v[okSecondary] = KeySlot(ibButton4);
  WriteOptionValues(SetupIniFileName(), v);
}

void TForm1::UpDateOptions() {
  auto caption = [](TBitBtn* b, int32_t value, std::initializer_list<const char*> captions,
                    int32_t first = 0) {
    int32_t i = value - first;
    if (i >= 0 && i < static_cast<int32_t>(captions.size())) b->SetCaption(*(captions.begin() + i));
  };
  caption(BitBtn3, RocketSmoke, {"Off", "On"});
  caption(BitBtn4, Splinters, {"Off", "Medium", "High"});
  caption(BitBtn5, Bumpiness, {"Off", "On"});
  caption(BitBtn6, FPS, {"Off", "On"});
  caption(BitBtn10, UDI,
          {"Use direct input for joystick: OFF", "Use direct input for joystick: ON"});
  caption(BitBtn7, Controls, {"Mouse", "Keyboard", "Joystick"}, 1);
  caption(BitBtn9, Channels, {"Mono", "Stereo", "Reverse"});
  CoolTrackBar1->SetPosition(Brightness);
  CoolTrackBar1->SetBarColor(CoolTrackBar1->Position() * 2);
  CoolTrackBar2->SetPosition(SoundFxLevel);
  CoolTrackBar2->SetBarColor(CoolTrackBar2->Position() * 20);
  CoolTrackBar3->SetPosition(MusicLevel);
  CoolTrackBar3->SetBarColor(CoolTrackBar3->Position() * 20);
  CoolTrackBar4->SetPosition(RadioVoxLevel);
  CoolTrackBar4->SetBarColor(CoolTrackBar4->Position() * 20);
}

void TForm1::BitBtn1Click(TObject*) {
  zcRunProg1->Run();
}

void TForm1::BitBtn2Click(TObject*) {
  Form2->Show();
  SetEnabled(false);
}

namespace {
void Toggle(int32_t& v) {
  v = v == 0 ? 1 : 0;
}
}  // namespace

void TForm1::BitBtn3Click(TObject*) {
  Toggle(RocketSmoke);
  UpDateOptions();
}
void TForm1::BitBtn6Click(TObject*) {
  Toggle(FPS);
  UpDateOptions();
}
void TForm1::BitBtn10Click(TObject*) {
  Toggle(UDI);
  UpDateOptions();
}
void TForm1::BitBtn5Click(TObject*) {
  Toggle(Bumpiness);
  UpDateOptions();
}
void TForm1::BitBtn4Click(TObject*) {
  Splinters = Splinters > 1 ? 0 : Splinters + 1;
  UpDateOptions();
}
void TForm1::BitBtn9Click(TObject*) {
  Channels = Channels > 1 ? 0 : Channels + 1;
  UpDateOptions();
}
void TForm1::BitBtn7Click(TObject*) {
  Controls = Controls > 2 ? 1 : Controls + 1;
  UpDateOptions();
}

void TForm1::CoolTrackBar1Change(TObject*) {
  CoolTrackBar1->SetBarColor(CoolTrackBar1->Position() * 2);
  Brightness = CoolTrackBar1->Position();
}
void TForm1::CoolTrackBar2Change(TObject*) {
  CoolTrackBar2->SetBarColor(CoolTrackBar2->Position() * 20);
  SoundFxLevel = CoolTrackBar2->Position();
}
void TForm1::CoolTrackBar3Change(TObject*) {
  CoolTrackBar3->SetBarColor(CoolTrackBar3->Position() * 20);
  MusicLevel = CoolTrackBar3->Position();
}
void TForm1::CoolTrackBar4Change(TObject*) {
  CoolTrackBar4->SetBarColor(CoolTrackBar4->Position() * 20);
  RadioVoxLevel = CoolTrackBar4->Position();
}

void TForm1::BitBtn8Click(TObject*) {
  KeyConfigStage = 1;
  BitBtn1->SetEnabled(false);
  BitBtn2->SetEnabled(false);
  PageControl1->SetEnabled(false);
  Label1->SetCaption("Moving left: -press a key-");
  Label1->Show();
}

void TForm1::WndProc(TMessage& Message) {
  if (Message.Msg == WM_KEYDOWN || Message.Msg == WM_SYSKEYDOWN)
    key_repeat_ = (Message.LParam & (LPARAM{1} << 30)) != 0;
  // The window manager's close box asks to save, as "Quit" does; while the
  // prompt is up (the dialog disabled) it does nothing. A signal (`kill`, a
  // logout) ends the program without a close, so it neither asks nor saves:
  // options the user has not saved may be ones they meant to drop, and the
  // file keeps what they last confirmed.
  if (Message.Msg == WM_CLOSE) {
    if (Enabled() && BitBtn2->Enabled()) BitBtn2Click(this);
    return;
  }
  TForm::WndProc(Message);
}

void TForm1::FormKeyDown(TObject*, WORD& Key, TShiftState) {
  // A key held down repeats: only its first press counts as a step.
  if (KeyConfigStage == 0 || key_repeat_) return;
  TLabel* lines[] = {Label1, Label2, Label3, Label4};
  const int states[] = {ibLeft, ibRight, ibButton3, ibButton4};
  int i = KeyConfigStage - 1;
  if (i < 0 || i > 3) return;
  DXInput->Keyboard()->Assigns[static_cast<size_t>(states[i])][0] = Key;
  lines[i]->SetCaption(std::string(kStartError[i]) + "ok");
  if (i < 3) {
    lines[i + 1]->SetCaption(std::string(kStartError[i + 1]) + "-press a key-");
    lines[i + 1]->Show();
    KeyConfigStage = i + 2;
    return;
  }
  KeyConfigStage = 0;
  BitBtn1->SetEnabled(true);
  BitBtn2->SetEnabled(true);
  PageControl1->SetEnabled(true);
  for (TLabel* l : lines) l->Hide();
}

void TForm1::Label1Click(TObject*) {
  Timer1->SetEnabled(true);
}

void TForm1::Timer1Timer(TObject*) {
  DXInput->Update();
}

void TForm1::OnBeforeRun1(TObject*) {
  SaveIniFile();
  Close();
}

// ---- TForm2 ----------------------------------------------------------------------

TForm2::TForm2(TComponent* AOwner) : TForm(AOwner) {
  Form2 = this;
  SetCaption("Taloren Setup programm");
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetClientWidth(323);
  SetClientHeight(71);
  SetColor(0xCDCDCD);
  SetPaintClientArea(true);
  Label1 = new TLabel(this);
  Label1->SetParent(this);
  Label1->SetBounds(8, 8, 65, 19);
  Label1->Font()->SetName("Courier");
  Label1->Font()->SetStyle(fsBold);
  Label1->Font()->SetColor(clMaroon);
  Label1->Font()->SetHeight(-16);
  Label1->SetCaption("Would you like to save options?");
  BitBtn1 = new TBitBtn(this);
  BitBtn1->SetParent(this);
  BitBtn1->SetBounds(8, 40, 145, 25);
  BitBtn1->SetCaption("Save");
  BitBtn2 = new TBitBtn(this);
  BitBtn2->SetParent(this);
  BitBtn2->SetBounds(168, 40, 145, 25);
  BitBtn2->SetCaption("Don't save");
  BitBtn1->OnClick = [this](TObject* s) { BitBtn1Click(s); };
  BitBtn2->OnClick = [this](TObject* s) { BitBtn2Click(s); };
}

TForm2::~TForm2() {
  if (Form2 == this) Form2 = nullptr;
}

void TForm2::BitBtn1Click(TObject*) {
  Form1->SaveIniFile();
  Close();
  Form1->Close();
}

void TForm2::BitBtn2Click(TObject*) {
  Close();
  Form1->Close();
}

void TForm2::WndProc(TMessage& Message) {
  // Closing the prompt from the window manager goes back to the dialog.
  if (Message.Msg == WM_CLOSE) {
    Hide();
    if (Form1) Form1->SetEnabled(true);
    return;
  }
  TForm::WndProc(Message);
}

void CreateSetupForms() {
  Application->SetTitle("Taloren Setup programm");
  Application->CreateForm<TForm1>();
  Application->CreateForm<TForm2>();
}
