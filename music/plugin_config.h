// The dialog that loads, unloads, queries and configures input plug-ins and
// sets whether a plug-in is preferred for files the library plays too.
#pragma once

#include "framework/buttons.h"
#include "framework/checkbox.h"
#include "framework/forms.h"
#include "framework/grids.h"
#include "framework/label.h"
#include "framework/listbox.h"

class TPluginConfigForm : public TForm {
 public:
  TAL_CLASS_NAME(TPluginConfigForm)
  explicit TPluginConfigForm(TComponent* AOwner);

  // Owned by the form, in the order they were declared.
  TListBox* PluginList;
  TLabel* Label1;
  TLabel* Label2;
  TStringGrid* PluginGrid;
  TLabel* Label3;
  TButton* btnLoad;
  TButton* btnUnload;
  TButton* btnAbout;
  TButton* btnConfigure;
  TButton* btnClose;
  TLabel* Label4;
  TLabel* Label5;
  TCheckBox* PluginFirst;
  TLabel* Label6;
  TLabel* Label7;

  void btnLoadClick(TObject* Sender);
  void btnUnloadClick(TObject* Sender);
  void btnAboutClick(TObject* Sender);
  void btnConfigureClick(TObject* Sender);
  void btnCloseClick(TObject* Sender);
  void PluginFirstClick(TObject* Sender);
  void ClearPluginGrid();
  void FillPluginGrid();
};

// How many plug-ins the grid lists (rows 1 on).
int ListedPluginCount();
