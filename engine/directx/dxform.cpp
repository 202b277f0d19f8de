#include "engine/directx/dxclass.h"

namespace {
int g_dxform_count = 0;
}

TDXForm::TDXForm(TComponent* AOwner) : TForm(AOwner), app_(Application) {
  ++g_dxform_count;
  HWND app = app_->Handle();
  SetWindowLongA(
      app, GWL_EXSTYLE,
      static_cast<LONG>(static_cast<DWORD>(GetWindowLongA(app, GWL_EXSTYLE)) | WS_EX_TOOLWINDOW));
}

TDXForm::~TDXForm() {
  if (--g_dxform_count == 0) {
    HWND app = app_->Handle();
    SetWindowLongA(app, GWL_EXSTYLE,
                   static_cast<LONG>(static_cast<DWORD>(GetWindowLongA(app, GWL_EXSTYLE)) &
                                     ~WS_EX_TOOLWINDOW));
  }
}

int TDXForm::Count() {
  return g_dxform_count;
}

void TDXForm::CreateParams(TCreateParams& Params) {
  TForm::CreateParams(Params);
  Params.ExStyle |= WS_EX_APPWINDOW;
}

void TDXForm::WndProc(TMessage& Message) {
  if (Message.Msg == WM_SYSCOMMAND && (Message.WParam & 0xFFF0) == SC_MINIMIZE) {
    DefaultHandler(Message);
    SetWindowState(wsMinimized);
    return;
  }
  TForm::WndProc(Message);
}
