#include "music/plugin_config.h"

#include "music/plugin_ctrl.h"
#include "platform/win/user.h"

namespace {

int NumListed = 0;

void Notice(const char* Text) {
  Application->MessageBox(Text, "Confirm", MB_OK);
}

template <class T>
T* Place(TPluginConfigForm* Form, int X, int Y, int W, int H, const char* Caption = nullptr) {
  auto* c = new T(Form);
  c->SetParent(Form);
  c->SetBounds(X, Y, W, H);
  if (Caption) c->SetCaption(Caption);
  return c;
}

void ShowRow(TStringGrid* Grid, int Row, const TPluginInfo& Info) {
  Grid->SetCells(0, Row, Info.Name);
  Grid->SetCells(1, Row, Info.Description);
  Grid->SetCells(2, Row, Info.FileExtensions);
}

// The name in the grid's selected row; "" when none.
std::string SelectedName(TStringGrid* Grid) {
  return Grid->Row() >= Grid->FixedRows() ? Grid->Cells(0, Grid->Row()) : "";
}

}  // namespace

int ListedPluginCount() {
  return NumListed;
}

TPluginConfigForm::TPluginConfigForm(TComponent* AOwner) : TForm(AOwner) {
  SetCaption("Plug-in Configuration");
  SetBorderStyle(bsDialog);
  SetPosition(poDesktopCenter);
  SetClientWidth(582);
  SetClientHeight(338);
  SetPaintClientArea(true);
  SetVisible(false);
  // A new form lists nothing yet.
  NumListed = 0;

  PluginList = Place<TListBox>(this, 8, 24, 140, 160);
  Label1 = Place<TLabel>(this, 8, 6, 60, 16, "Plug-ins");
  Label2 = Place<TLabel>(this, 8, 316, 400, 16,
                         "Note : Plug-ins must reside in <program_directory>\\Plugins directory");
  PluginGrid = Place<TStringGrid>(this, 160, 24, 414, 9 * 24 + 2);
  PluginGrid->SetColCount(3);
  PluginGrid->SetRowCount(9);
  PluginGrid->SetFixedRows(1);
  PluginGrid->SetColWidths(0, 84);
  PluginGrid->SetColWidths(1, 173);
  PluginGrid->SetColWidths(2, 151);
  Label3 = Place<TLabel>(this, 160, 6, 120, 16, "Loaded Plug-ins");
  btnLoad = Place<TButton>(this, 8, 190, 66, 25, "Load");
  btnUnload = Place<TButton>(this, 82, 190, 66, 25, "Unload");
  btnAbout = Place<TButton>(this, 160, 250, 75, 25, "About");
  btnConfigure = Place<TButton>(this, 243, 250, 75, 25, "Configure");
  btnClose = Place<TButton>(this, 499, 306, 75, 25, "Close");
  Label4 = Place<TLabel>(this, 8, 222, 150, 16, "Only Winamp 2 version is acceptable");
  Label5 = Place<TLabel>(this, 8, 240, 150, 16, "Maximum 8 plug-ins can be loaded");
  PluginFirst = Place<TCheckBox>(this, 160, 282, 97, 17, "Plugin First");
  Label6 =
      Place<TLabel>(this, 262, 282, 320, 16,
                    "( if checked then Winamp plug-in is applied for the file types which can");
  Label7 = Place<TLabel>(this, 270, 298, 300, 16, "be played by both BASS and Winamp plug-in )");

  btnLoad->OnClick = [this](TObject* s) { btnLoadClick(s); };
  btnUnload->OnClick = [this](TObject* s) { btnUnloadClick(s); };
  btnAbout->OnClick = [this](TObject* s) { btnAboutClick(s); };
  btnConfigure->OnClick = [this](TObject* s) { btnConfigureClick(s); };
  btnClose->OnClick = [this](TObject* s) { btnCloseClick(s); };
  PluginFirst->OnClick = [this](TObject* s) { PluginFirstClick(s); };
}

void TPluginConfigForm::btnLoadClick(TObject*) {
  if (PluginList->Items.empty()) return Notice("No plug-in to load");
  if (PluginList->ItemIndex() < 0) return Notice("Select plug-in to load first");
  const std::string name = PluginList->Items[static_cast<size_t>(PluginList->ItemIndex())];
  switch (LoadPlugin(name)) {
    case plLoaded:
      ++NumListed;
      ShowRow(PluginGrid, NumListed, GetPluginInfo(FindPlugin(name)));
      break;
    case plHostNotReady:
      return Notice("Load denied : Output plug-in is not ready");
    case plAlreadyLoaded:
      return Notice("Load denied : Already loaded before");
    case plNoSlot:
      return Notice("Load denied : No space to load");
    case plCannotLoad:
      return Notice("Load denied : Unknown Error");
    case plNotAPlugin:
      return Notice("Load denied : Not valid Winamp 2 input plug-in");
    default:
      break;
  }
}

void TPluginConfigForm::btnUnloadClick(TObject*) {
  if (NumListed == 0) return Notice("No plug-ins are loaded");
  const std::string name = SelectedName(PluginGrid);
  if (name.empty()) return Notice("Select plug-in to unload first");
  const int row = PluginGrid->Row();
  switch (UnloadPlugin(name)) {
    case plLoaded:
      if (row == NumListed) {
        PluginGrid->ClearRow(row);
        --NumListed;
      } else {
        ClearPluginGrid();
        FillPluginGrid();
      }
      break;
    case plCannotFree:
      return Notice("Cannot unload : Unknown Error");
    case plNotLoaded:
      return Notice("Cannot unload : Plug-in is not loaded");
    case plInUse:
      return Notice("Cannot unload : Plug-in is in use");
    default:
      break;
  }
}

void TPluginConfigForm::btnAboutClick(TObject*) {
  if (NumListed == 0) return Notice("No plug-ins to query are loaded");
  const std::string name = SelectedName(PluginGrid);
  if (name.empty()) return Notice("Select plug-in to query first");
  In_Module* m = GetPluginModule(FindPlugin(name));
  if (m && m->About) m->About(Handle());
}

void TPluginConfigForm::btnConfigureClick(TObject*) {
  if (NumListed == 0) return Notice("No plug-ins to configure are loaded");
  const std::string name = SelectedName(PluginGrid);
  if (name.empty()) return Notice("Select plug-in to configure first");
  In_Module* m = GetPluginModule(FindPlugin(name));
  if (m && m->Config) m->Config(Handle());
}

void TPluginConfigForm::btnCloseClick(TObject*) {
  Close();
}

void TPluginConfigForm::PluginFirstClick(TObject*) {
  if (HWND player = GetPlayerWindow())
    PostMessageA(player, WM_SetPluginFirst, 0, PluginFirst->Checked() ? 1 : 0);
}

void TPluginConfigForm::ClearPluginGrid() {
  for (int r = PluginGrid->FixedRows(); r < PluginGrid->RowCount(); ++r) PluginGrid->ClearRow(r);
  PluginGrid->Invalidate();
}

void TPluginConfigForm::FillPluginGrid() {
  NumListed = 0;
  for (int i = 0; i < kMaxPlugins; ++i) {
    if (!GetPluginModule(i)) continue;
    ++NumListed;
    ShowRow(PluginGrid, NumListed, GetPluginInfo(i));
  }
}
