#include "setup/options_dialog.h"

#include <gtest/gtest.h>

#include "game/options/game_options.h"
#include "platform/win/user_seam.h"
#include "platform/win/vkeys.h"
#include "setup/setup_test_util.h"
#include "tests/main/real_clock.h"

using namespace setup_test;

namespace {

class OptionsDialog : public ::testing::Test {
 protected:
  void SetUp() override { SetProgramFolder(dir_.Path() + "/"); }
  void TearDown() override {
    app_.reset();
    SetProgramFolder("");
  }
  std::string Ini() const { return dir_.File("game.INI"); }
  // Makes both forms as the program does and shows the dialog.
  void Open() {
    app_ = std::make_unique<TApplicationScope>();
    CreateSetupForms();
    Form1->Show();
    Application->ProcessMessages();
  }
  // The texts of the boxes shown since the last take.
  static std::vector<std::string> TakeBoxes() {
    std::vector<std::string> out;
    for (const auto& b : TakeRecordedMessageBoxes()) out.push_back(b.Text);
    return out;
  }

  THeadlessSetup headless_;
  TScratchDir dir_;
  std::unique_ptr<TApplicationScope> app_;
};

const char kFullFile[] =
    "[Options]\r\nUDI=0\r\nFPS=0\r\nRocketSmoke=1\r\nBrightness=50\r\nSoundFxLevel=8\r\n"
    "MusicLevel=8\r\nRadioVoxLevel=8\r\nChannels=0\r\nSplinters=2\r\nControls=1\r\n"
    "Bumpiness=1\r\n[Keys]\r\nLeft=37\r\nRight=39\r\nPrimary=32\r\nSecondary=16\r\n";

std::string WithOption(const std::string& Key, const std::string& Value) {
  std::string s = kFullFile;
  size_t at = s.find("\n" + Key + "=");
  size_t end = s.find("\r\n", at + 1);
  return s.substr(0, at + 1) + Key + "=" + Value + s.substr(end);
}

TEST_F(OptionsDialog, LoadsAndShowsTheFileAndTheOddValuesAsStated) {
  struct TCase {
    const char* Key;
    const char* Value;
    std::function<void()> Check;
  };
  const TCase cases[] = {
      // Brightness beyond the bar is clamped, and the clamped value is kept.
      {"Brightness", "150",
       [] {
         EXPECT_EQ(Form1->CoolTrackBar1->Position(), 100);
         EXPECT_EQ(Form1->CoolTrackBar1->BarColor(), 200);
         EXPECT_EQ(Form1->Brightness, 100);
       }},
      // Controls 0 has no caption: the designed one stays; a click gives 1.
      {"Controls", "0",
       [] {
         EXPECT_EQ(Form1->BitBtn7->Caption(), "Mouse");
         Form1->BitBtn7Click(nullptr);
         EXPECT_EQ(Form1->Controls, 1);
         EXPECT_EQ(Form1->BitBtn7->Caption(), "Mouse");
       }},
      {"Splinters", "7",
       [] {
         EXPECT_EQ(Form1->BitBtn4->Caption(), "High");
         Form1->BitBtn4Click(nullptr);
         EXPECT_EQ(Form1->Splinters, 0);
         EXPECT_EQ(Form1->BitBtn4->Caption(), "Off");
       }},
      {"UDI", "5",
       [] {
         EXPECT_EQ(Form1->UDI, 1);
         EXPECT_EQ(Form1->BitBtn10->Caption(), "Use direct input for joystick: ON");
       }},
      {"SoundFxLevel", "3",
       [] {
         EXPECT_EQ(Form1->CoolTrackBar2->Position(), 3);
         EXPECT_EQ(Form1->CoolTrackBar2->BarColor(), 60);
       }},
      {"Channels", "2", [] { EXPECT_EQ(Form1->BitBtn9->Caption(), "Reverse"); }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Key) + "=" + c.Value);
    WriteAll(Ini(), WithOption(c.Key, c.Value));
    Open();
    EXPECT_EQ(TakeBoxes(), std::vector<std::string>());
    c.Check();
    Form1->SaveIniFile();
    // What is saved is what the dialog holds: clamped, flags as 0 and 1.
    TOptionValues saved = ReadOptionValues(Ini());
    EXPECT_EQ(saved[okUDI], Form1->UDI);
    EXPECT_EQ(saved[okBrightness], Form1->Brightness);
    EXPECT_EQ(saved[okControls], Form1->Controls);
    app_.reset();
  }
}

TEST_F(OptionsDialog, BrightnessAtTheDesignedPositionFiresNoChange) {
  WriteAll(Ini(), kFullFile);
  Open();
  EXPECT_EQ(Form1->CoolTrackBar1->Position(), 50);
  // No change event ran: the form's bar colour stays the designed one.
  EXPECT_EQ(Form1->CoolTrackBar1->BarColor(), 100);
  EXPECT_EQ(Form1->Brightness, 50);
}

TEST_F(OptionsDialog, AFirstSaveHoldsTheGamesOwnKeys) {
  Open();
  EXPECT_EQ(TakeBoxes(), std::vector<std::string>());
  Form1->SaveIniFile();
  EXPECT_NE(ReadAll(Ini()).find("[Keys]\r\nLeft=37\r\nRight=39\r\nPrimary=32\r\nSecondary=16\r\n"),
            std::string::npos)
      << ReadAll(Ini());
}

TEST_F(OptionsDialog, AFileThatCannotBeUsedIsReportedByKeyAndValueOrAsUnreadable) {
  const std::string noKeys =
      std::string(kFullFile).substr(0, std::string(kFullFile).find("[Keys]"));
  const std::vector<std::string> missingKeys = {
      "[Keys] Left is missing (default 37)", "[Keys] Right is missing (default 39)",
      "[Keys] Primary is missing (default 32)", "[Keys] Secondary is missing (default 16)"};
  std::vector<std::string> missingAll = {"[Options] UDI is missing (default 0)",
                                         "[Options] FPS is missing (default 0)",
                                         "[Options] RocketSmoke is missing (default 1)",
                                         "[Options] Brightness is missing (default 50)",
                                         "[Options] SoundFxLevel is missing (default 8)",
                                         "[Options] MusicLevel is missing (default 8)",
                                         "[Options] RadioVoxLevel is missing (default 8)",
                                         "[Options] Channels is missing (default 0)",
                                         "[Options] Splinters is missing (default 2)",
                                         "[Options] Controls is missing (default 1)",
                                         "[Options] Bumpiness is missing (default 1)"};
  missingAll.insert(missingAll.end(), missingKeys.begin(), missingKeys.end());
  std::string garbage(3000, '\0');
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>((i * 7919 + 13) % 251);
  std::vector<std::string> badAndMissing = {
      "[Options] Brightness = \"-\" is not a whole number (default 50)"};
  badAndMissing.insert(badAndMissing.end(), missingKeys.begin(), missingKeys.end());

  struct TCase {
    const char* Name;
    std::string Text;                // the file's content
    std::vector<std::string> Lines;  // the keys named, one a line
    bool Unreadable;
  } cases[] = {
      {"good", kFullFile, {}, false},
      {"no Keys section", noKeys, missingKeys, false},
      // A bad value takes the game's default, and reading goes on past it.
      {"bad value",
       WithOption("Controls", "abc"),
       {"[Options] Controls = \"abc\" is not a whole number (default 1)"},
       false},
      {"bad and missing", WithOption("Brightness", "-").substr(0, noKeys.size() - 1), badAndMissing,
       false},
      // A long value is cut short, and control bytes do not reach the box.
      {"long value",
       WithOption("Left", std::string(300, 'x') + "\x01"),
       {"[Keys] Left = \"" + std::string(40, 'x') + "...\" is not a whole number (default 37)"},
       false},
      {"control bytes",
       WithOption("Right", "4\x1b[2J"),
       {"[Keys] Right = \"4?[2J\" is not a whole number (default 39)"},
       false},
      // Bytes that hold no settings at all.
      {"garbage", garbage, missingAll, false},
      // Over the size a game.INI can have: refused whole, whatever it holds.
      {"huge", "[Options]\r\nControls=2\r\n" + std::string(2 << 20, ';'), {}, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    WriteAll(Ini(), c.Text);
    Open();
    std::vector<std::string> want;
    if (c.Unreadable) {
      want = {"The settings file \"" + Ini() +
              "\" could not be read; the default options are shown."};
    } else if (!c.Lines.empty()) {
      std::string text =
          "Some settings in \"" + Ini() + "\" could not be used; they keep their defaults:";
      for (const std::string& line : c.Lines) text += "\n" + line;
      want = {text};
    }
    EXPECT_EQ(TakeBoxes(), want);
    EXPECT_EQ(Form1->Controls, 1);
    EXPECT_EQ(Form1->Bumpiness, 1);
    EXPECT_EQ(Form1->KeySlot(ibLeft), VK_LEFT);
    EXPECT_EQ(Form1->KeySlot(ibButton3), VK_SPACE);
    app_.reset();
  }

  // A first run without the file: defaults, and no message.
  std::filesystem::remove(Ini());
  Open();
  EXPECT_EQ(TakeBoxes(), std::vector<std::string>());
  EXPECT_EQ(Form1->Controls, 1);
  EXPECT_EQ(Form1->Brightness, 50);
  EXPECT_EQ(Form1->RocketSmoke, 1);
  EXPECT_EQ(Form1->KeySlot(ibLeft), VK_LEFT);
}

TEST_F(OptionsDialog, OptionButtonsCycleThroughTheirCaptions) {
  WriteAll(Ini(), kFullFile);
  Open();
  struct TCase {
    TBitBtn* Button;
    std::vector<std::string> Captions;  // after each click
  };
  const TCase cases[] = {
      {Form1->BitBtn3, {"Off", "On"}},
      {Form1->BitBtn4, {"Off", "Medium", "High"}},
      {Form1->BitBtn5, {"Off", "On"}},
      {Form1->BitBtn6, {"On", "Off"}},
      {Form1->BitBtn7, {"Keyboard", "Joystick", "Mouse"}},
      {Form1->BitBtn9, {"Stereo", "Reverse", "Mono"}},
      {Form1->BitBtn10,
       {"Use direct input for joystick: ON", "Use direct input for joystick: OFF"}},
  };
  for (const TCase& c : cases) {
    Form1->PageControl1->SetActivePage(static_cast<TTabSheet*>(c.Button->Parent()));
    Application->ProcessMessages();
    for (const std::string& caption : c.Captions) {
      ClickCentre(c.Button);
      EXPECT_EQ(c.Button->Caption(), caption);
    }
  }
}

TEST_F(OptionsDialog, KeySequenceStoresEachKeyOnceEvenWhenHeldAndUnlocksAtTheEnd) {
  WriteAll(Ini(), kFullFile);
  Open();
  Form1->PageControl1->SetActivePage(Form1->TabSheet4);
  Application->ProcessMessages();
  ClickCentre(Form1->BitBtn8);
  EXPECT_EQ(Form1->KeyConfigStage, 1);
  EXPECT_FALSE(Form1->BitBtn1->Enabled());
  EXPECT_FALSE(Form1->BitBtn2->Enabled());
  EXPECT_FALSE(Form1->PageControl1->Enabled());
  EXPECT_TRUE(Form1->Label1->Visible());
  EXPECT_EQ(Form1->Label1->Caption(), "Moving left: -press a key-");

  Key(Form1, 'A');
  // Held down, the key repeats; the repeats fill no further step.
  Key(Form1, 'A', true);
  Key(Form1, 'A', true);
  EXPECT_EQ(Form1->KeyConfigStage, 2);
  EXPECT_EQ(Form1->Label1->Caption(), "Moving left: ok");
  EXPECT_EQ(Form1->Label2->Caption(), "Moving right: -press a key-");
  EXPECT_TRUE(Form1->Label2->Visible());
  Key(Form1, 'D');
  Key(Form1, VK_SHIFT);
  EXPECT_EQ(Form1->Label3->Caption(), "Primary attack: ok");
  EXPECT_EQ(Form1->Label4->Caption(), "Secondary attack: -press a key-");
  Key(Form1, VK_CONTROL);
  EXPECT_EQ(Form1->KeyConfigStage, 0);
  EXPECT_EQ(Form1->KeySlot(ibLeft), 'A');
  EXPECT_EQ(Form1->KeySlot(ibRight), 'D');
  EXPECT_EQ(Form1->KeySlot(ibButton3), 16);
  EXPECT_EQ(Form1->KeySlot(ibButton4), VK_CONTROL);
  EXPECT_TRUE(Form1->BitBtn1->Enabled());
  EXPECT_TRUE(Form1->PageControl1->Enabled());
  for (TLabel* l : {Form1->Label1, Form1->Label2, Form1->Label3, Form1->Label4})
    EXPECT_FALSE(l->Visible());
  // Keys outside the sequence are ignored.
  Key(Form1, 'Q');
  EXPECT_EQ(Form1->KeySlot(ibLeft), 'A');
}

TEST_F(OptionsDialog, QuitAsksAndSavesOrNotAndTheCloseBoxAsksToo) {
  for (bool save : {true, false}) {
    SCOPED_TRACE(save ? "Save" : "Don't save");
    WriteAll(Ini(), kFullFile);
    Open();
    Form1->BitBtn3Click(nullptr);  // rocket smoke off
    // The window manager's close box opens the prompt as "Quit" does.
    Post(Form1->Handle(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(Form2->Visible());
    EXPECT_FALSE(Form1->Enabled());
    EXPECT_FALSE(Application->Terminated());
    // The disabled dialog takes no clicks.
    ClickCentre(Form1->BitBtn2);
    ClickCentre(save ? Form2->BitBtn1 : Form2->BitBtn2);
    Application->ProcessMessages();
    EXPECT_TRUE(Application->Terminated());
    EXPECT_EQ(ReadOptionValues(Ini())[okRocketSmoke], save ? 0 : 1);
    app_.reset();
  }
}

TEST_F(OptionsDialog, ARefusedWriteKeepsTheWindowAndStartsNothing) {
  // A folder where the file should be: no user, root included, can replace
  // it with a file.
  std::filesystem::create_directory(Ini());
  Open();
  std::string marker = dir_.File("started");
  Form1->zcRunProg1->SetCmdLine("/bin/sh -c \"touch " + marker + "\"");
  ClickCentre(Form1->BitBtn1);
  Application->ProcessMessages();
  // Opening said the file could not be read; saving says it was not saved.
  const std::vector<std::string> boxes = TakeBoxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_NE(boxes[0].find("could not be read"), std::string::npos) << boxes[0];
  EXPECT_NE(boxes[1].find("Unable to write to"), std::string::npos) << boxes[1];
  EXPECT_FALSE(Application->Terminated());
  EXPECT_TRUE(Form1->Visible());
  usleep(100000);
  EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST_F(OptionsDialog, SaveAndStartWritesBesideTheProgramsAndStartsTheGameInTheCurrentFolder) {
  WriteAll(Ini(), kFullFile);
  Open();
  TScratchDir elsewhere;
  std::string here = std::filesystem::current_path().string();
  std::filesystem::current_path(elsewhere.Path());
  std::string record = dir_.File("record");
  Form1->zcRunProg1->SetCmdLine("/bin/sh -c \"pwd > " + record + "\"");
  Form1->BitBtn9Click(nullptr);  // stereo
  ClickCentre(Form1->BitBtn1);
  Application->ProcessMessages();
  std::filesystem::current_path(here);
  EXPECT_TRUE(Application->Terminated());
  EXPECT_EQ(ReadOptionValues(Ini())[okChannels], 1);
  EXPECT_FALSE(std::filesystem::exists(elsewhere.File("game.INI")));
  WaitOnRealClock([&] { return !ReadAll(record).empty(); });
  EXPECT_EQ(ReadAll(record), elsewhere.Path() + "\n");
}

TEST_F(OptionsDialog, AGameThatCannotStartIsReportedByNameAndReason) {
  WriteAll(Ini(), kFullFile);
  Open();
  Form1->zcRunProg1->SetCmdLine("no-such-game-here.exe");
  ClickCentre(Form1->BitBtn1);
  const std::vector<std::string> boxes = TakeBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find("talgame.exe"), std::string::npos);
  EXPECT_NE(boxes[0].find("not found"), std::string::npos) << boxes[0];
}

TEST_F(OptionsDialog, WhatTheSetupSavesTheGameReadsAndOtherSectionsSurviveByteForByte) {
  const std::string others =
      "[User]\r\nName=Pilot\r\nEpisode=3\r\n[Table]\r\nN1=Ace\r\nS1=12345\r\n"
      "[TT]\r\nT11=00:01:02\r\n[eB]\r\nE1=1\r\n";
  WriteAll(Ini(), others + kFullFile);
  Open();
  Form1->CoolTrackBar1->SetPosition(73);
  Form1->CoolTrackBar3->SetPosition(4);
  Form1->BitBtn6Click(nullptr);  // FPS on
  Form1->BitBtn7Click(nullptr);  // keyboard
  Form1->BitBtn8Click(nullptr);
  for (WORD k : {WORD{'A'}, WORD{'D'}, WORD{VK_SPACE}, WORD{VK_SHIFT}}) Key(Form1, k);
  Form1->SaveIniFile();

  TGameOptions options;
  TGameKeys keys;
  ApplyOptionValues(ReadOptionValues(Ini()), options, keys);
  EXPECT_EQ(options.Brightness, 73);
  EXPECT_EQ(options.MusicLevel, 4);
  EXPECT_TRUE(options.FPS);
  EXPECT_EQ(options.Controls, 2);
  EXPECT_EQ(options.SavedControls, 2);
  EXPECT_TRUE(options.RocketSmoke);
  EXPECT_EQ(keys.Left, 'A');
  EXPECT_EQ(keys.Right, 'D');
  EXPECT_EQ(keys.Primary, VK_SPACE);
  EXPECT_EQ(keys.Secondary, VK_SHIFT);
  std::string after = ReadAll(Ini());
  EXPECT_EQ(after.substr(0, others.size()), others);
}

TEST_F(OptionsDialog, TheDialogPaintsItsTabsAndControls) {
  WriteAll(Ini(), kFullFile);
  Open();
  const THeadlessPicture& main = HeadlessWindowPicture(Form1->Handle());
  ASSERT_EQ(main.Width, 529);
  ASSERT_EQ(main.Height, 445);
  // The silver form shows between the two buttons.
  EXPECT_EQ(main.Pixel(264, 430), 0xC0C0C0u);
  Form1->PageControl1->SetActivePage(Form1->TabSheet2);
  Application->ProcessMessages();
  const THeadlessPicture& graphic = HeadlessWindowPicture(Form1->Handle());
  // The brightness bar's fill: a red of twice the position.
  TPoint bar = Form1->CoolTrackBar1->ClientToWindow(TPoint{30, 12});
  EXPECT_EQ(graphic.Pixel(bar.X, bar.Y), 0x640000u);
  // Each tab and the prompt, for a person to look at.
  const std::pair<TTabSheet*, const char*> tabs[] = {
      {Form1->TabSheet2, "graphic"}, {Form1->TabSheet3, "sound"}, {Form1->TabSheet4, "controls"}};
  for (auto [sheet, name] : tabs) {
    Form1->PageControl1->SetActivePage(sheet);
    if (sheet == Form1->TabSheet4) Form1->BitBtn8Click(nullptr);
    Application->ProcessMessages();
    const THeadlessPicture& p = HeadlessWindowPicture(Form1->Handle());
    WritePng(std::string("talsetup-") + name + ".png", p.Pixels.data(), p.Width, p.Height);
  }
  Form1->Label1->Hide();
  Form1->BitBtn2Click(nullptr);
  Application->ProcessMessages();
  const THeadlessPicture& prompt = HeadlessWindowPicture(Form2->Handle());
  ASSERT_EQ(prompt.Width, 323);
  EXPECT_EQ(prompt.Pixel(160, 2), 0xCDCDCDu);
  WritePng("talsetup-prompt.png", prompt.Pixels.data(), prompt.Width, prompt.Height);
}

}  // namespace
