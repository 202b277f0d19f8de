// The setup program's two forms: the options dialog with its four tabs, and
// the prompt that asks whether to save before quitting.
#pragma once

#include <cstdint>
#include <string>

#include "engine/input/input.h"
#include "framework/buttons.h"
#include "framework/comctrls.h"
#include "framework/extctrls.h"
#include "framework/forms.h"
#include "framework/image.h"
#include "framework/label.h"
#include "setup/cool_label.h"
#include "setup/cool_trackbar.h"
#include "setup/run_prog.h"

// The settings file both programs use: game.INI in the programs' folder.
std::string SetupIniFileName();

class TForm1 : public TForm {
 public:
  TAL_CLASS_NAME(TForm1)
  explicit TForm1(TComponent* AOwner);
  ~TForm1() override;

  // The option variables, as stored in game.INI.
  int32_t UDI = 0, FPS = 0, RocketSmoke = 0, Brightness = 0, SoundFxLevel = 0, MusicLevel = 0,
          RadioVoxLevel = 0, Channels = 0, Splinters = 0, Controls = 0, Bumpiness = 0;
  int32_t KeyConfigStage = 0;

  void FormCreate(TObject* Sender);
  void LoadIniFile();
  // Raises EIniFileException "Unable to write to %s" when the file cannot
  // be written; the file is then as it was.
  void SaveIniFile();
  void UpDateOptions();
  void BitBtn1Click(TObject* Sender);
  void BitBtn2Click(TObject* Sender);
  void BitBtn3Click(TObject* Sender);
  void BitBtn4Click(TObject* Sender);
  void BitBtn5Click(TObject* Sender);
  void BitBtn6Click(TObject* Sender);
  void BitBtn7Click(TObject* Sender);
  void BitBtn8Click(TObject* Sender);
  void BitBtn9Click(TObject* Sender);
  void BitBtn10Click(TObject* Sender);
  void CoolTrackBar1Change(TObject* Sender);
  void CoolTrackBar2Change(TObject* Sender);
  void CoolTrackBar3Change(TObject* Sender);
  void CoolTrackBar4Change(TObject* Sender);
  void FormKeyDown(TObject* Sender, WORD& Key, TShiftState Shift);
  void Label1Click(TObject* Sender);
  void Timer1Timer(TObject* Sender);
  void OnBeforeRun1(TObject* Sender);

  // The key code in slot 0 of an input state.
  int32_t KeySlot(int State) const;

  TPageControl* PageControl1;
  TTabSheet *TabSheet1, *TabSheet2, *TabSheet3, *TabSheet4;
  TImage* Image1;
  TBitBtn *BitBtn1, *BitBtn2, *BitBtn3, *BitBtn4, *BitBtn5, *BitBtn6, *BitBtn7, *BitBtn8, *BitBtn9,
      *BitBtn10;
  TCoolLabel *CoolLabel1, *CoolLabel2, *CoolLabel3, *CoolLabel4, *CoolLabel5, *CoolLabel6,
      *CoolLabel7, *CoolLabel8, *CoolLabel9, *CoolLabel10;
  TCoolTrackBar *CoolTrackBar1, *CoolTrackBar2, *CoolTrackBar3, *CoolTrackBar4;
  TLabel *Label1, *Label2, *Label3, *Label4;
  TDXInput* DXInput;
  TTimer* Timer1;
  TzcRunProg* zcRunProg1;

 protected:
  void WndProc(TMessage& Message) override;

 private:
  bool key_repeat_ = false;
};

class TForm2 : public TForm {
 public:
  TAL_CLASS_NAME(TForm2)
  explicit TForm2(TComponent* AOwner);
  ~TForm2() override;
  void BitBtn1Click(TObject* Sender);
  void BitBtn2Click(TObject* Sender);

  TLabel* Label1;
  TBitBtn *BitBtn1, *BitBtn2;

 protected:
  void WndProc(TMessage& Message) override;
};

extern TForm1* Form1;
extern TForm2* Form2;

// What the program does before its loop: title, the dialog (the main form)
// and the hidden prompt.
void CreateSetupForms();
