// Forms and the application object with its idle-driven message loop.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/controls.h"

enum TCloseAction { caNone, caHide, caFree, caMinimize };
enum TWindowState { wsNormal, wsMinimized, wsMaximized };
enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TPosition { poDesigned, poDefault, poScreenCenter, poDesktopCenter, poMainFormCenter };

using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;

// A top-level window: a native window under SDL, a plain handle in headless
// runs. A derived form sets its events and properties in its constructor;
// OnCreate fires once the form is complete (Application->CreateForm, or
// AfterConstruction for a form made by hand).
class TForm : public TWinControl {
 public:
  TAL_CLASS_NAME(TForm)
  explicit TForm(TComponent* AOwner);
  ~TForm() override;

  // Fires OnCreate; call once after constructing a form by hand.
  void AfterConstruction();

  void Show();
  void Hide() { SetVisible(false); }
  // Asks OnCloseQuery, then OnClose; the main form's closing ends the
  // application.
  void Close();
  // Frees the form once the message loop regains control.
  void Release();
  bool CloseQuery();

  TFormBorderStyle BorderStyle() const { return border_style_; }
  void SetBorderStyle(TFormBorderStyle v);
  TPosition Position() const { return position_; }
  void SetPosition(TPosition v) { position_ = v; }
  TWindowState WindowState() const { return window_state_; }
  void SetWindowState(TWindowState v);
  bool KeyPreview() const { return key_preview_; }
  void SetKeyPreview(bool v) { key_preview_ = v; }
  TWinControl* ActiveControl() const { return active_control_; }
  void SetActiveControl(TWinControl* C);
  bool Active() const { return active_; }
  void SetClientWidth(int v) override { SetWidth(v); }
  void SetClientHeight(int v) override { SetHeight(v); }

  // A form drawn with the framework's controls keeps its client area as a
  // picture: WM_PAINT paints the form and its controls into it and shows it
  // in the window. Off for forms that show their own frames.
  bool PaintClientArea() const { return paint_client_area_; }
  void SetPaintClientArea(bool v);
  // The picture of the client area as last painted (0x00RRGGBB rows).
  const std::vector<uint32_t>& ClientPixels() const { return client_pixels_; }
  // Paints the whole client area now and shows it.
  void PaintWindow();
  // The hint being shown ("" when none).
  const std::string& ShownHint() const { return hint_text_; }
  // How long the pointer rests on a control before its hint shows.
  static constexpr UINT HintPauseMs = 500;

  TNotifyEvent OnCreate;
  TNotifyEvent OnDestroy;
  TNotifyEvent OnShow;
  TNotifyEvent OnHide;
  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;
  TNotifyEvent OnPaint;
  // The window's size is about to change, minimising included.
  TNotifyEvent OnConstrainedResize;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;

 protected:
  void CreateParams(TCreateParams& Params) override;
  void CreateHandle() override;
  void WndProc(TMessage& Message) override;
  void VisibleChanging() override;
  virtual void DoCreate();
  virtual void DoShow();
  virtual void DoHide();
  virtual void DoClose(TCloseAction& Action);
  virtual void Activate();
  virtual void Deactivate();
  bool KeyDown(WORD& Key, TShiftState Shift) override;
  bool KeyUp(WORD& Key, TShiftState Shift) override;
  bool KeyPress(char& Key) override;

 private:
  friend class TApplication;
  friend class TWinControl;
  TFormBorderStyle border_style_ = bsSizeable;
  TPosition position_ = poDesigned;
  TWindowState window_state_ = wsNormal;
  bool key_preview_ = false;
  bool active_ = false;
  bool created_ = false;
  bool shown_once_ = false;
  TWinControl* active_control_ = nullptr;
  bool paint_client_area_ = false;
  std::vector<uint32_t> client_pixels_;
  // Hints of the controls of a form that paints its client area.
  bool HintMessage(TMessage& Message);
  void HideHint();
  TControl* hint_control_ = nullptr;
  std::string hint_text_;
  TPoint hint_at_;
  TPoint pointer_;
};

using TIdleEvent = std::function<void(TObject* Sender, bool& Done)>;
using TExceptionEvent = std::function<void(TObject* Sender, const std::exception& E)>;
// A hook on the application's messages; returns true when it handled one.
using TApplicationHook = std::function<bool(TMessage& Message)>;

class TApplication : public TComponent {
 public:
  TAL_CLASS_NAME(TApplication)
  TApplication();
  ~TApplication() override;

  void Initialize() {}
  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& v);
  // The program file's full path.
  std::string ExeName() const;
  // The hidden window that receives the application's own messages.
  HWND Handle();
  TForm* MainForm() const { return main_form_; }
  bool Terminated() const { return terminated_; }
  bool Active() const { return active_; }

  // Makes a form owned by the application; the first one becomes MainForm.
  template <class T, class... A>
  T* CreateForm(A&&... args) {
    T* f = new T(this, std::forward<A>(args)...);
    RegisterForm(f);
    return f;
  }

  // Runs the message loop until Terminate. Exceptions that escape a handler
  // are shown by HandleException and the loop carries on.
  void Run();
  // Handles every pending message, then returns.
  void ProcessMessages();
  // One turn of the loop: a message if there is one, else an idle pass.
  void HandleMessage();
  // Handles one message; false when there was none.
  bool ProcessMessage();
  // The idle pass: OnIdle with Done preset to true. When Done stays true the
  // loop waits for the next message; when a handler clears it, the loop turns
  // again at once, paced so it never runs ahead of the clock.
  void Idle();
  // Ends the loop once the messages already queued are handled.
  void Terminate();

  // Shows the exception being handled (call inside a catch) in a message box
  // captioned with the title, or passes it to OnException.
  void HandleException(TObject* Sender);
  void ShowException(const std::exception& E);
  int MessageBox(const std::string& Text, const std::string& Caption, UINT Flags);

  // The main-window hook list: each hook sees the application's messages
  // before the application handles them, newest first.
  uint64_t HookMainWindow(TApplicationHook Hook);
  void UnhookMainWindow(uint64_t Id);

  // Activation of the program as a whole (backends post WM_ACTIVATEAPP to
  // Handle). Sends CM_ACTIVATE or CM_DEACTIVATE through the hooks.
  void SetActive(bool Active);

  TIdleEvent OnIdle;
  TExceptionEvent OnException;
  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;

 private:
  friend class TForm;
  void RegisterForm(TForm* Form);
  void FormDestroyed(TForm* Form);
  void WndProc(TMessage& Message);
  std::string title_;
  HWND handle_ = nullptr;
  TForm* main_form_ = nullptr;
  bool terminated_ = false;
  bool active_ = true;
  struct THook {
    uint64_t Id;
    TApplicationHook Fn;
  };
  std::vector<std::shared_ptr<THook>> hooks_;
  uint64_t next_hook_ = 1;
  std::vector<TForm*> release_;
};

// The program's application object.
extern TApplication* Application;

// Swaps in a fresh application object for the lifetime of the guard (tests).
class TApplicationScope {
 public:
  TApplicationScope();
  ~TApplicationScope();
  TApplicationScope(const TApplicationScope&) = delete;
  TApplicationScope& operator=(const TApplicationScope&) = delete;

 private:
  std::unique_ptr<TApplication> app_;
  TApplication* saved_;
};

// The desktop, as far as the programs ask.
struct TScreen {
  int Width() const;
  int Height() const;
};
extern TScreen* Screen;

// The form a control sits on (the control itself when it is a form).
TForm* GetParentForm(TControl* Control);

// Shows Text in a box captioned with the application's title.
void ShowMessage(const std::string& Text);
