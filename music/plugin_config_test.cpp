// The plug-in configuration form: its controls and texts, the boxes of each
// handler, the grid as plug-ins come and go, and the "Plugin First" notice.
#include "music/plugin_config.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include "music/bass_player.h"
#include "music/player_fixture.h"
#include "music/testplugins/tone_calls.h"
#include "platform/win/user.h"

namespace {

class ConfigFormTest : public PlayerTest {
 protected:
  void SetUp() override {
    PlayerTest::SetUp();
    player_ = std::make_unique<TBASSPlayer>(nullptr);
    ASSERT_TRUE(player_->AudioReady);
    SetProgramFolder(TAL_TEST_PLUGIN_DIR);
    form_ = player_->ConfigForm();
    ASSERT_NE(form_, nullptr);
  }
  void TearDown() override {
    player_.reset();
    PlayerTest::TearDown();
  }
  // The boxes a handler shows.
  std::vector<std::string> Run(void (TPluginConfigForm::*Handler)(TObject*)) {
    (form_->*Handler)(nullptr);
    return TakeBoxes();
  }
  void Select(int Index) { form_->PluginList->SetItemIndex(Index); }
  std::vector<std::string> Row(int R) {
    return {form_->PluginGrid->Cells(0, R), form_->PluginGrid->Cells(1, R),
            form_->PluginGrid->Cells(2, R)};
  }
  using TBoxes = std::vector<std::string>;
  std::unique_ptr<TBASSPlayer> player_;
  TPluginConfigForm* form_ = nullptr;
};

TEST_F(ConfigFormTest, TheFormIsMadeHiddenWithItsControlsAndTexts) {
  EXPECT_FALSE(form_->Visible());
  EXPECT_EQ(form_->Caption(), "Plug-in Configuration");
  EXPECT_EQ(form_->BorderStyle(), bsDialog);
  EXPECT_EQ(form_->Position(), poDesktopCenter);
  EXPECT_EQ(form_->ClientWidth(), 582);
  EXPECT_EQ(form_->ClientHeight(), 338);
  const std::vector<std::string> texts = {
      "Plug-ins",
      "Note : Plug-ins must reside in <program_directory>\\Plugins directory",
      "Loaded Plug-ins",
      "Load",
      "Unload",
      "About",
      "Configure",
      "Close",
      "Only Winamp 2 version is acceptable",
      "Maximum 8 plug-ins can be loaded",
      "Plugin First",
      "( if checked then Winamp plug-in is applied for the file types which can",
      "be played by both BASS and Winamp plug-in )"};
  std::vector<std::string> seen;
  for (int i = 0; i < form_->ControlCount(); ++i)
    if (!form_->Controls(i)->Caption().empty()) seen.push_back(form_->Controls(i)->Caption());
  EXPECT_EQ(seen, texts);
  TStringGrid* g = form_->PluginGrid;
  EXPECT_EQ(g->ColCount(), 3);
  EXPECT_EQ(g->RowCount(), 9);
  EXPECT_EQ(g->FixedRows(), 1);
  EXPECT_EQ((std::vector<int>{g->ColWidths(0), g->ColWidths(1), g->ColWidths(2)}),
            (std::vector<int>{84, 173, 151}));
  EXPECT_EQ(Row(0), (std::vector<std::string>{"", "", ""})) << "a header without text";
  EXPECT_TRUE(form_->PluginList->Items.empty()) << "nothing fills it";
}

TEST_F(ConfigFormTest, EachHandlerSaysWhatWentWrong) {
  // Nothing listed or loaded yet.
  EXPECT_EQ(Run(&TPluginConfigForm::btnLoadClick), TBoxes{"Confirm: No plug-in to load"});
  EXPECT_EQ(Run(&TPluginConfigForm::btnUnloadClick), TBoxes{"Confirm: No plug-ins are loaded"});
  EXPECT_EQ(Run(&TPluginConfigForm::btnAboutClick),
            TBoxes{"Confirm: No plug-ins to query are loaded"});
  EXPECT_EQ(Run(&TPluginConfigForm::btnConfigureClick),
            TBoxes{"Confirm: No plug-ins to configure are loaded"});

  form_->PluginList->Items = {"missing.so", "noexport.so", "tone.so", "./tone.so"};
  form_->PluginList->Changed();
  EXPECT_EQ(Run(&TPluginConfigForm::btnLoadClick), TBoxes{"Confirm: Select plug-in to load first"});
  struct TLoad {
    int Index;
    std::string Box;
  };
  const TLoad loads[] = {
      {0, "Confirm: Load denied : Unknown Error"},
      {1, "Confirm: Load denied : Not valid Winamp 2 input plug-in"},
      {2, ""},
      {2, "Confirm: Load denied : Already loaded before"},
      {3, ""},
  };
  for (const TLoad& l : loads) {
    Select(l.Index);
    EXPECT_EQ(Run(&TPluginConfigForm::btnLoadClick), l.Box.empty() ? TBoxes{} : TBoxes{l.Box})
        << l.Index;
  }
  EXPECT_EQ(ListedPluginCount(), 2);
  EXPECT_EQ(Row(1), (std::vector<std::string>{"tone.so", "Tone test plug-in", "ton"}));
  EXPECT_EQ(Row(2)[0], "./tone.so");

  // About and Configure reach the plug-in with the form's window.
  form_->PluginGrid->SetRow(1);
  const int about = ToneCalls(0), config = ToneCalls(1);
  EXPECT_EQ(Run(&TPluginConfigForm::btnAboutClick), TBoxes{});
  EXPECT_EQ(Run(&TPluginConfigForm::btnConfigureClick), TBoxes{});
  EXPECT_EQ(ToneCalls(0), about + 1);
  EXPECT_EQ(ToneCalls(1), config + 1);
  form_->PluginGrid->SetRow(5);
  EXPECT_EQ(Run(&TPluginConfigForm::btnAboutClick),
            TBoxes{"Confirm: Select plug-in to query first"});
  EXPECT_EQ(Run(&TPluginConfigForm::btnConfigureClick),
            TBoxes{"Confirm: Select plug-in to configure first"});
  EXPECT_EQ(Run(&TPluginConfigForm::btnUnloadClick),
            TBoxes{"Confirm: Select plug-in to unload first"});

  // Unload: a name no longer loaded, the plug-in in use, then for real.
  form_->PluginGrid->SetCells(0, 5, "ghost.so");
  EXPECT_EQ(Run(&TPluginConfigForm::btnUnloadClick),
            TBoxes{"Confirm: Cannot unload : Plug-in is not loaded"});
  form_->PluginGrid->ClearRow(5);
  form_->PluginGrid->SetRow(1);
  SelectPlugin(FindPlugin("tone.so"));
  EXPECT_EQ(Run(&TPluginConfigForm::btnUnloadClick),
            TBoxes{"Confirm: Cannot unload : Plug-in is in use"});
  SendMessageA(GetHostWindow(), WM_PluginNotCurrent, 0, 0);

  // The first of two rows: the grid is filled again from the slots.
  EXPECT_EQ(Run(&TPluginConfigForm::btnUnloadClick), TBoxes{});
  EXPECT_EQ(ListedPluginCount(), 1);
  EXPECT_EQ(Row(1)[0], "./tone.so");
  EXPECT_EQ(Row(2)[0], "");
  // The last row: its cells are cleared.
  EXPECT_EQ(Run(&TPluginConfigForm::btnUnloadClick), TBoxes{});
  EXPECT_EQ(ListedPluginCount(), 0);
  EXPECT_EQ(Row(1), (std::vector<std::string>{"", "", ""}));

  // Eight slots taken: a ninth is refused; with the host gone, nothing loads.
  std::string name = "tone.so";
  for (int i = 0; i < kMaxPlugins; ++i, name = "./" + name) ASSERT_EQ(LoadPlugin(name), plLoaded);
  Select(0);
  EXPECT_EQ(Run(&TPluginConfigForm::btnLoadClick),
            TBoxes{"Confirm: Load denied : No space to load"});
  HostShutdown();
  EXPECT_EQ(Run(&TPluginConfigForm::btnLoadClick),
            TBoxes{"Confirm: Load denied : Output plug-in is not ready"});
}

TEST_F(ConfigFormTest, DrivenByTheMouseItLoadsAndSetsPluginFirst) {
  form_->PluginList->Items = {"tone.so"};
  form_->PluginList->Changed();
  form_->Show();
  Application->ProcessMessages();
  auto click = [&](TControl* c, int dx, int dy) {
    const LPARAM at = MAKELPARAM(c->Left() + dx, c->Top() + dy);
    PostMessageA(form_->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageA(form_->Handle(), WM_LBUTTONUP, 0, at);
    Application->ProcessMessages();
  };
  click(form_->PluginList, 20, 6);
  EXPECT_EQ(form_->PluginList->ItemIndex(), 0);
  click(form_->btnLoad, 10, 10);
  EXPECT_EQ(FindPlugin("tone.so"), 0);
  EXPECT_EQ(form_->PluginGrid->Cells(0, 1), "tone.so");

  // "Plugin First" tells the player through its window: 1133, lParam 1 or 0.
  EXPECT_FALSE(player_->PluginFirst);
  click(form_->PluginFirst, 5, 8);
  EXPECT_TRUE(form_->PluginFirst->Checked());
  EXPECT_TRUE(player_->PluginFirst);
  click(form_->PluginFirst, 5, 8);
  EXPECT_FALSE(player_->PluginFirst);

  click(form_->btnClose, 10, 10);
  EXPECT_FALSE(form_->Visible());
}

}  // namespace
