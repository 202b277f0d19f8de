#include "framework/forms.h"

#include <algorithm>

#include "platform/win/driver.h"
#include "platform/win/files.h"
#include "platform/win/library.h"
#include "platform/win/vkeys.h"

// ---- TForm ---------------------------------------------------------------------

TForm::TForm(TComponent* AOwner) : TWinControl(AOwner) {
  // A form starts hidden; Show (or the application's Run for the main form)
  // makes it visible.
  TControl::SetVisible(false);
  SetBounds(0, 0, 800, 600);
}

TForm::~TForm() {
  if (OnDestroy) {
    try {
      OnDestroy(this);
    } catch (...) {
      if (Application) Application->HandleException(this);
    }
  }
  // The components go while the form is whole: a component that hooked the
  // form's messages unhooks itself from a live form.
  DestroyComponents();
  if (Application) Application->FormDestroyed(this);
}

void TForm::AfterConstruction() {
  if (created_) return;
  created_ = true;
  DoCreate();
}

void TForm::DoCreate() {
  if (!OnCreate) return;
  // A failing create handler is reported and the form is made all the same.
  try {
    OnCreate(this);
  } catch (...) {
    if (Application) Application->HandleException(this);
  }
}

void TForm::Show() {
  SetVisible(true);
  if (HandleAllocated()) SetForegroundWindow(Handle());
}

void TForm::VisibleChanging() {}

void TForm::DoShow() {
  if (OnShow) OnShow(this);
}

void TForm::DoHide() {
  if (OnHide) OnHide(this);
}

void TForm::DoClose(TCloseAction& Action) {
  if (OnClose) OnClose(this, Action);
}

bool TForm::CloseQuery() {
  bool can = true;
  if (OnCloseQuery) OnCloseQuery(this, can);
  return can;
}

void TForm::Close() {
  if (!CloseQuery()) return;
  TCloseAction action = caHide;
  DoClose(action);
  if (action == caNone) return;
  if (Application && Application->MainForm() == this) {
    Application->Terminate();
  } else if (action == caHide) {
    Hide();
  } else if (action == caMinimize) {
    SetWindowState(wsMinimized);
  } else {
    Release();
  }
}

void TForm::Release() {
  if (Application)
    PostMessageA(Application->Handle(), CM_RELEASE, 0, reinterpret_cast<LPARAM>(this));
}

void TForm::SetBorderStyle(TFormBorderStyle v) {
  border_style_ = v;
  if (HandleAllocated()) {
    TCreateParams cp;
    CreateParams(cp);
    SetWindowLongA(Handle(), GWL_STYLE, static_cast<LONG>(cp.Style & ~WS_VISIBLE));
  }
}

void TForm::SetWindowState(TWindowState v) {
  if (window_state_ == v) return;
  window_state_ = v;
  if (HandleAllocated() && Visible())
    ShowWindow(Handle(), v == wsMinimized   ? SW_MINIMIZE
                         : v == wsMaximized ? SW_SHOWMAXIMIZED
                                            : SW_RESTORE);
}

void TForm::SetActiveControl(TWinControl* C) {
  if (active_control_ == C) return;
  TWinControl* old = active_control_;
  active_control_ = C;
  if (old) old->Perform(WM_KILLFOCUS, 0, 0);
  if (C) C->Perform(WM_SETFOCUS, 0, 0);
}

void TForm::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  Params.WndParent = nullptr;
  switch (border_style_) {
    case bsNone:
      Params.Style |= WS_POPUP;
      break;
    case bsSizeable:
    case bsSizeToolWin:
      Params.Style |= WS_OVERLAPPEDWINDOW;
      break;
    default:
      Params.Style |= WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
      break;
  }
  if (position_ == poScreenCenter || position_ == poDesktopCenter ||
      (position_ == poMainFormCenter && (!Application || !Application->MainForm()))) {
    Params.X = (GetSystemMetrics(SM_CXSCREEN) - Width()) / 2;
    Params.Y = (GetSystemMetrics(SM_CYSCREEN) - Height()) / 2;
  }
}

void TForm::CreateHandle() {
  TWinControl::CreateHandle();
}

void TForm::Activate() {
  active_ = true;
  if (OnActivate) OnActivate(this);
}

void TForm::Deactivate() {
  active_ = false;
  if (OnDeactivate) OnDeactivate(this);
}

bool TForm::KeyDown(WORD& Key, TShiftState Shift) {
  return TWinControl::KeyDown(Key, Shift);
}
bool TForm::KeyUp(WORD& Key, TShiftState Shift) {
  return TWinControl::KeyUp(Key, Shift);
}
bool TForm::KeyPress(char& Key) {
  return TWinControl::KeyPress(Key);
}

void TForm::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP: {
      // The key goes to the focused control; with KeyPreview the form sees
      // it first and may swallow it by clearing it.
      bool is_down = Message.Msg == WM_KEYDOWN || Message.Msg == WM_SYSKEYDOWN;
      WORD key = static_cast<WORD>(Message.WParam);
      TShiftState shift = KeyboardShiftState();
      TWinControl* target =
          active_control_ && active_control_->Visible() ? active_control_ : nullptr;
      if (key_preview_ || !target) {
        bool eaten = is_down ? KeyDown(key, shift) : KeyUp(key, shift);
        if (eaten) return;
      }
      if (target) {
        target->Perform(Message.Msg == WM_SYSKEYDOWN ? WM_KEYDOWN
                        : Message.Msg == WM_SYSKEYUP ? WM_KEYUP
                                                     : Message.Msg,
                        key, Message.LParam);
      }
      if (Message.Msg == WM_SYSKEYDOWN) DefaultHandler(Message);
      return;
    }
    case WM_CHAR: {
      char c = static_cast<char>(Message.WParam);
      TWinControl* target =
          active_control_ && active_control_->Visible() ? active_control_ : nullptr;
      if (key_preview_ || !target) {
        if (KeyPress(c)) return;
      }
      if (target) target->Perform(WM_CHAR, static_cast<uint8_t>(c), Message.LParam);
      return;
    }
    case WM_CLOSE:
      Close();
      return;
    case WM_ACTIVATE:
      if (LOWORD(Message.WParam) == WA_INACTIVE)
        Deactivate();
      else
        Activate();
      return;
    case WM_ACTIVATEAPP:
      if (Application) Application->SetActive(Message.WParam != 0);
      return;
    case WM_PAINT:
      if (OnPaint) OnPaint(this);
      return;
    case WM_SHOWWINDOW:
      if (Message.WParam)
        DoShow();
      else
        DoHide();
      return;
    case WM_SIZE: {
      int w = LOWORD(static_cast<uintptr_t>(Message.LParam)),
          h = HIWORD(static_cast<uintptr_t>(Message.LParam));
      if (w != Width() || h != Height()) TWinControl::SetBounds(Left(), Top(), w, h);
      return;
    }
    case WM_SYSCOMMAND:
      if ((Message.WParam & 0xFFF0) == SC_CLOSE) {
        Close();
        return;
      }
      TWinControl::WndProc(Message);
      return;
    default:
      TWinControl::WndProc(Message);
  }
}

TForm* GetParentForm(TControl* Control) {
  TControl* c = Control;
  while (c && c->Parent()) c = c->Parent();
  return dynamic_cast<TForm*>(c);
}

// ---- TApplication ----------------------------------------------------------------

namespace {
TApplication& DefaultApplication() {
  static TApplication app;
  return app;
}
}  // namespace

TApplication* Application = &DefaultApplication();

TApplication::TApplication() : TComponent(nullptr) {}

TApplication::~TApplication() {
  // Forms first, while the application is still there for them.
  DestroyComponents();
  if (handle_) {
    HWND h = handle_;
    handle_ = nullptr;
    SetWindowProc(h, nullptr);
    DestroyWindow(h);
  }
}

void TApplication::SetTitle(const std::string& v) {
  title_ = v;
  if (handle_) SetWindowTextA(handle_, v.c_str());
}

std::string TApplication::ExeName() const { return ProgramFileName(); }

HWND TApplication::Handle() {
  if (handle_ && !IsWindow(handle_)) handle_ = nullptr;
  if (!handle_) {
    TWindowParams p;
    p.Caption = title_;
    p.MessageOnly = true;
    handle_ =
        CreateWindowHandle(p, [this](HWND, UINT Msg, WPARAM WParam, LPARAM LParam) -> LRESULT {
          TMessage m{Msg, WParam, LParam, 0};
          WndProc(m);
          return m.Result;
        });
  }
  return handle_;
}

void TApplication::RegisterForm(TForm* Form) {
  if (!main_form_) main_form_ = Form;
  Form->AfterConstruction();
}

void TApplication::FormDestroyed(TForm* Form) {
  if (main_form_ == Form) main_form_ = nullptr;
  std::erase(release_, Form);
}

uint64_t TApplication::HookMainWindow(TApplicationHook Hook) {
  auto h = std::make_shared<THook>(THook{next_hook_++, std::move(Hook)});
  hooks_.push_back(h);
  return h->Id;
}

void TApplication::UnhookMainWindow(uint64_t Id) {
  std::erase_if(hooks_, [Id](const std::shared_ptr<THook>& h) { return h->Id == Id; });
}

void TApplication::WndProc(TMessage& Message) {
  // Hooks see the message first, newest first; one that handles it ends it.
  auto snapshot = hooks_;
  for (auto it = snapshot.rbegin(); it != snapshot.rend(); ++it) {
    bool still = std::any_of(hooks_.begin(), hooks_.end(), [&](const auto& h) { return h == *it; });
    if (still && (*it)->Fn(Message)) return;
  }
  switch (Message.Msg) {
    case WM_ACTIVATEAPP:
      SetActive(Message.WParam != 0);
      return;
    case CM_ACTIVATE:
      if (OnActivate) OnActivate(this);
      return;
    case CM_DEACTIVATE:
      if (OnDeactivate) OnDeactivate(this);
      return;
    case CM_RELEASE: {
      auto* form = reinterpret_cast<TForm*>(Message.LParam);
      // Only a form that still exists and is ours.
      for (int i = 0; i < ComponentCount(); ++i) {
        if (Components(i) == form) {
          delete form;
          break;
        }
      }
      return;
    }
    default:
      Message.Result = DefWindowProcA(handle_, Message.Msg, Message.WParam, Message.LParam);
  }
}

void TApplication::SetActive(bool Active) {
  if (active_ == Active) return;
  active_ = Active;
  if (!Active) ResetKeyboardState();
  SendMessageA(Handle(), Active ? CM_ACTIVATE : CM_DEACTIVATE, 0, 0);
}

void TApplication::Run() {
  if (main_form_ && !main_form_->Visible()) {
    try {
      main_form_->Show();
    } catch (...) {
      HandleException(this);
    }
  }
  while (!terminated_) {
    try {
      HandleMessage();
    } catch (...) {
      HandleException(this);
    }
  }
}

bool TApplication::ProcessMessage() {
  MSG msg;
  if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  if (msg.message == WM_QUIT) {
    terminated_ = true;
    return true;
  }
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
  return true;
}

void TApplication::ProcessMessages() {
  while (ProcessMessage()) {
  }
}

void TApplication::HandleMessage() {
  if (!ProcessMessage()) Idle();
}

void TApplication::Idle() {
  bool done = true;
  // A copy: the handler may replace or remove itself (a frame timer that is
  // switched off from its own tick does).
  if (TIdleEvent idle = OnIdle) idle(this, done);
  if (terminated_) return;
  if (done)
    WaitMessage();
  else
    PlatformDriver().IdlePace();
}

void TApplication::Terminate() {
  // The loop ends when it takes the quit message, after what is queued.
  PostQuitMessage(0);
}

void TApplication::HandleException(TObject* Sender) {
  if (!std::current_exception()) return;
  try {
    throw;
  } catch (const std::exception& e) {
    if (OnException)
      OnException(Sender, e);
    else
      ShowException(e);
  } catch (...) {
    Exception e("Unknown exception");
    if (OnException)
      OnException(Sender, e);
    else
      ShowException(e);
  }
}

void TApplication::ShowException(const std::exception& E) {
  MessageBox(E.what(), title_, MB_OK | MB_ICONERROR);
}

int TApplication::MessageBox(const std::string& Text, const std::string& Caption, UINT Flags) {
  HWND owner = main_form_ && main_form_->HandleAllocated() ? main_form_->Handle() : nullptr;
  return MessageBoxA(owner, Text.c_str(), Caption.c_str(), Flags);
}

TApplicationScope::TApplicationScope()
    : app_(std::make_unique<TApplication>()), saved_(Application) {
  Application = app_.get();
}

TApplicationScope::~TApplicationScope() {
  app_.reset();
  Application = saved_;
}

// ---- Screen -----------------------------------------------------------------------

int TScreen::Width() const {
  return GetSystemMetrics(SM_CXSCREEN);
}
int TScreen::Height() const {
  return GetSystemMetrics(SM_CYSCREEN);
}

namespace {
TScreen g_screen;
}
TScreen* Screen = &g_screen;

void ShowMessage(const std::string& Text) {
  Application->MessageBox(Text, Application->Title(), MB_OK);
}
