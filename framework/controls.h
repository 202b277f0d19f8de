// Controls: the message record, the replaceable window procedure with its
// hook chain, and windowed controls with their handle and child controls.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/classes.h"
#include "framework/types.h"
#include "platform/gdi/gdi.h"
#include "platform/win/user.h"
#include "platform/win/wintypes.h"

struct TMessage {
  UINT Msg = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
  LRESULT Result = 0;
};

// The framework's own messages.
constexpr UINT CM_BASE = 0xB000;
constexpr UINT CM_ACTIVATE = 0xB000;
constexpr UINT CM_DEACTIVATE = 0xB001;
// Sent to the application's hidden window by the framework when a form
// releases itself (freed once the message loop regains control).
constexpr UINT CM_RELEASE = 0xB021;
// Told to a control when a property that changes its look changed.
constexpr UINT CM_PARENTCOLORCHANGED = 0xB009;
constexpr UINT CM_ENABLEDCHANGED = 0xB00C;
constexpr UINT CM_COLORCHANGED = 0xB00E;
constexpr UINT CM_FONTCHANGED = 0xB00F;
constexpr UINT CM_TEXTCHANGED = 0xB012;
constexpr UINT CM_MOUSEENTER = 0xB013;
constexpr UINT CM_MOUSELEAVE = 0xB014;

// Which keys a focused control wants before the dialog's own handling.
constexpr UINT WM_GETDLGCODE = 0x0087;
constexpr LRESULT DLGC_WANTARROWS = 0x1;

using TWndMethod = std::function<void(TMessage& Message)>;

using TShiftState = uint32_t;
constexpr TShiftState ssShift = 1u << 0;
constexpr TShiftState ssAlt = 1u << 1;
constexpr TShiftState ssCtrl = 1u << 2;
constexpr TShiftState ssLeft = 1u << 3;
constexpr TShiftState ssRight = 1u << 4;
constexpr TShiftState ssMiddle = 1u << 5;
constexpr TShiftState ssDouble = 1u << 6;

enum TMouseButton { mbLeft, mbRight, mbMiddle };

using TKeyEvent = std::function<void(TObject* Sender, WORD& Key, TShiftState Shift)>;
using TKeyPressEvent = std::function<void(TObject* Sender, char& Key)>;
using TMouseEvent =
    std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;

// Cursor shapes; crNone hides the cursor over the control.
using TCursor = int;
constexpr TCursor crDefault = 0;
constexpr TCursor crNone = -1;
constexpr TCursor crArrow = -2;

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

// A hook in a control's message path. It gets each message before the
// control's own window procedure, and Previous to pass it on (to the hook
// installed before it, or to WindowProc). Hooks are kept in a chain owned by
// the control, so they can be removed in any order: Previous is resolved
// when the message arrives, never saved, and a removed hook is never called.
using TWindowHook = std::function<void(TMessage& Message, const TWndMethod& Previous)>;

class TWindowHookChain;
// Removes its hook when destroyed or reset. Safe when the control has gone.
class TWindowHookHandle {
 public:
  TWindowHookHandle() = default;
  TWindowHookHandle(std::weak_ptr<TWindowHookChain> Chain, uint64_t Id)
      : chain_(std::move(Chain)), id_(Id) {}
  TWindowHookHandle(TWindowHookHandle&& Other) noexcept;
  TWindowHookHandle& operator=(TWindowHookHandle&& Other) noexcept;
  TWindowHookHandle(const TWindowHookHandle&) = delete;
  TWindowHookHandle& operator=(const TWindowHookHandle&) = delete;
  ~TWindowHookHandle() { Reset(); }
  void Reset();
  bool Active() const;

 private:
  std::weak_ptr<TWindowHookChain> chain_;
  uint64_t id_ = 0;
};

class TWinControl;

class TControl : public TComponent {
 public:
  TAL_CLASS_NAME(TControl)
  explicit TControl(TComponent* AOwner);
  ~TControl() override;

  // The control's window procedure; replaceable. By default it calls WndProc.
  TWndMethod WindowProc;
  // Installs a hook in front of the current message path; the newest hook
  // sees messages first.
  [[nodiscard]] TWindowHookHandle AddWindowHook(TWindowHook Hook);
  // Delivers Message through the hooks and WindowProc.
  void Dispatch(TMessage& Message);
  LRESULT Perform(UINT Msg, WPARAM WParam, LPARAM LParam);

  TWinControl* Parent() const { return parent_; }
  virtual void SetParent(TWinControl* AParent);

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetLeft(int v) { SetBounds(v, top_, width_, height_); }
  void SetTop(int v) { SetBounds(left_, v, width_, height_); }
  void SetWidth(int v) { SetBounds(left_, top_, v, height_); }
  void SetHeight(int v) { SetBounds(left_, top_, width_, v); }
  virtual void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
  TRect BoundsRect() const { return Bounds(left_, top_, width_, height_); }
  virtual int ClientWidth() const { return width_; }
  virtual int ClientHeight() const { return height_; }
  virtual void SetClientWidth(int v) { SetWidth(v); }
  virtual void SetClientHeight(int v) { SetHeight(v); }
  TRect ClientRect() const { return Rect(0, 0, ClientWidth(), ClientHeight()); }
  TAlign Align() const { return align_; }
  void SetAlign(TAlign v);

  bool Visible() const { return visible_; }
  virtual void SetVisible(bool v);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  bool Enabled() const { return enabled_; }
  virtual void SetEnabled(bool v);
  const std::string& Caption() const { return caption_; }
  virtual void SetCaption(const std::string& v);
  TCursor Cursor() const { return cursor_; }
  virtual void SetCursor(TCursor v) { cursor_ = v; }
  TColor Color() const { return color_; }
  void SetColor(TColor v);
  // Position of a point of this control in its top-level window's client area.
  TPoint ClientToWindow(TPoint P) const;

  // ---- Painting ----
  // Marks the control's area of its window for painting (erasing first).
  virtual void Invalidate();
  // Paints what is marked now instead of when the loop gets to it.
  void Update();
  void Repaint() {
    Invalidate();
    Update();
  }
  // Paints the control into DC, whose origin is the control's top-left
  // corner: WM_PAINT with the DC (windowed controls erase first and then
  // paint their children).
  virtual void PaintTo(HDC DC);
  // Enabled, and so is every parent: input reaches it.
  bool EnabledInParents() const;
  bool ShowingInParents() const;

  // A short help text shown when the pointer rests on the control.
  const std::string& Hint() const { return hint_; }
  void SetHint(const std::string& v) { hint_ = v; }
  bool ShowHint() const { return show_hint_; }
  void SetShowHint(bool v) { show_hint_ = v; }

  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TNotifyEvent OnResize;

 protected:
  // The class's own message handling; ends in DefaultHandler for what it
  // does not handle.
  virtual void WndProc(TMessage& Message);
  virtual void DefaultHandler(TMessage& Message) {}
  virtual void Click();
  virtual void DblClick();
  virtual void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void MouseMove(TShiftState Shift, int X, int Y);
  virtual void Resize();
  virtual void VisibleChanging() {}

 private:
  friend class TWinControl;
  std::shared_ptr<TWindowHookChain> hooks_;
  TWinControl* parent_ = nullptr;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  TAlign align_ = alNone;
  bool visible_ = true;
  bool enabled_ = true;
  std::string caption_;
  TCursor cursor_ = crDefault;
  TColor color_ = clDefault;
  bool mouse_down_[3] = {false, false, false};
  std::string hint_;
  bool show_hint_ = false;
};

// Key state helpers from a key or mouse message.
TShiftState KeyboardShiftState();
TShiftState KeysToShiftState(WPARAM Keys);

struct TCreateParams {
  std::string Caption;
  DWORD Style = 0;
  DWORD ExStyle = 0;
  int X = 0, Y = 0, Width = 0, Height = 0;
  HWND WndParent = nullptr;
};

// A control with a window handle and child controls. The handle is made on
// first use; messages to it come through Dispatch.
class TWinControl : public TControl {
 public:
  TAL_CLASS_NAME(TWinControl)
  explicit TWinControl(TComponent* AOwner);
  ~TWinControl() override;

  HWND Handle();
  bool HandleAllocated() const { return handle_ != nullptr; }
  void HandleNeeded() { Handle(); }
  virtual void DestroyHandle();

  int ControlCount() const { return static_cast<int>(controls_.size()); }
  TControl* Controls(int i) const { return controls_.at(static_cast<size_t>(i)); }
  // The visible, enabled child under a point of the client area (the one
  // placed last wins), or nullptr.
  TControl* ControlAtPos(TPoint P) const;
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  void SetVisible(bool v) override;
  void SetCaption(const std::string& v) override;
  bool Focused() const;
  virtual void SetFocus();
  // Showing, enabled with its parents, and a tab stop.
  virtual bool CanFocus() const;
  bool TabStop() const { return tab_stop_; }
  void SetTabStop(bool v) { tab_stop_ = v; }
  void RealignControls();
  void PaintTo(HDC DC) override;
  // Paints the non-windowed children into DC (origin at this control's
  // top-left), from First on when given.
  void PaintControls(HDC DC, TControl* First = nullptr);

  TKeyEvent OnKeyDown;
  TKeyEvent OnKeyUp;
  TKeyPressEvent OnKeyPress;
  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;

 protected:
  friend class TControl;
  virtual void CreateParams(TCreateParams& Params);
  virtual void CreateHandle();
  void WndProc(TMessage& Message) override;
  void DefaultHandler(TMessage& Message) override;
  // Return true when the key is consumed (Key set to 0 by a handler).
  virtual bool KeyDown(WORD& Key, TShiftState Shift);
  virtual bool KeyUp(WORD& Key, TShiftState Shift);
  virtual bool KeyPress(char& Key);
  virtual void DoEnter();
  virtual void DoExit();
  void InsertControl(TControl* C);
  void RemoveControl(TControl* C);

 private:
  bool RouteMouse(TMessage& Message);
  HWND handle_ = nullptr;
  std::vector<TControl*> controls_;
  TControl* mouse_capture_ = nullptr;
  bool tab_stop_ = false;
};
