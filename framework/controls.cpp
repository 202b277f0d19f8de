#include "framework/controls.h"

#include <algorithm>

#include "framework/forms.h"
#include "platform/win/vkeys.h"

// ---- Hook chain ----------------------------------------------------------------

class TWindowHookChain {
 public:
  struct TEntry {
    uint64_t Id;
    TWindowHook Fn;
    bool Removed = false;
  };
  std::vector<std::shared_ptr<TEntry>> Entries;  // oldest first
  uint64_t Next = 1;

  void Remove(uint64_t Id) {
    for (auto it = Entries.begin(); it != Entries.end(); ++it) {
      if ((*it)->Id == Id) {
        // A dispatch in progress holds its own reference and skips it.
        (*it)->Removed = true;
        Entries.erase(it);
        return;
      }
    }
  }
};

TWindowHookHandle::TWindowHookHandle(TWindowHookHandle&& Other) noexcept
    : chain_(std::move(Other.chain_)), id_(Other.id_) {
  Other.id_ = 0;
}

TWindowHookHandle& TWindowHookHandle::operator=(TWindowHookHandle&& Other) noexcept {
  if (this != &Other) {
    Reset();
    chain_ = std::move(Other.chain_);
    id_ = Other.id_;
    Other.id_ = 0;
  }
  return *this;
}

void TWindowHookHandle::Reset() {
  if (auto c = chain_.lock()) c->Remove(id_);
  chain_.reset();
  id_ = 0;
}

bool TWindowHookHandle::Active() const {
  auto c = chain_.lock();
  if (!c || !id_) return false;
  for (const auto& e : c->Entries)
    if (e->Id == id_) return true;
  return false;
}

// ---- TControl ----------------------------------------------------------------------

TControl::TControl(TComponent* AOwner)
    : TComponent(AOwner), hooks_(std::make_shared<TWindowHookChain>()) {
  WindowProc = [this](TMessage& m) { WndProc(m); };
}

TControl::~TControl() {
  if (parent_) parent_->RemoveControl(this);
}

TWindowHookHandle TControl::AddWindowHook(TWindowHook Hook) {
  auto e = std::make_shared<TWindowHookChain::TEntry>();
  e->Id = hooks_->Next++;
  e->Fn = std::move(Hook);
  hooks_->Entries.push_back(e);
  return TWindowHookHandle(hooks_, e->Id);
}

namespace {
// Passes a message down the chain from entry i (newest is last) to the
// control's window procedure.
struct TChainCall {
  const std::vector<std::shared_ptr<TWindowHookChain::TEntry>>& Snapshot;
  TControl* Control;
  void Call(size_t i, TMessage& m) const {
    while (i > 0 && Snapshot[i - 1]->Removed) --i;
    if (i == 0) {
      if (Control->WindowProc) Control->WindowProc(m);
      return;
    }
    const auto& entry = Snapshot[i - 1];
    TWndMethod previous = [this, i](TMessage& msg) { Call(i - 1, msg); };
    entry->Fn(m, previous);
  }
};
}  // namespace

void TControl::Dispatch(TMessage& Message) {
  if (hooks_->Entries.empty()) {
    if (WindowProc) WindowProc(Message);
    return;
  }
  auto snapshot = hooks_->Entries;
  auto keep = hooks_;  // the chain outlives this call even if the control goes
  TChainCall{snapshot, this}.Call(snapshot.size(), Message);
}

LRESULT TControl::Perform(UINT Msg, WPARAM WParam, LPARAM LParam) {
  TMessage m{Msg, WParam, LParam, 0};
  Dispatch(m);
  return m.Result;
}

void TControl::SetParent(TWinControl* AParent) {
  if (parent_ == AParent) return;
  if (parent_) parent_->RemoveControl(this);
  if (AParent) AParent->InsertControl(this);
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  bool resized = AWidth != width_ || AHeight != height_;
  left_ = ALeft;
  top_ = ATop;
  width_ = AWidth;
  height_ = AHeight;
  if (resized) Resize();
}

void TControl::SetAlign(TAlign v) {
  align_ = v;
  if (parent_) parent_->RealignControls();
}

void TControl::SetVisible(bool v) {
  if (visible_ == v) return;
  VisibleChanging();
  visible_ = v;
}

TPoint TControl::ClientToWindow(TPoint P) const {
  const TControl* c = this;
  while (c && c->parent_) {
    P.X += c->left_;
    P.Y += c->top_;
    c = c->parent_;
  }
  return P;
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}

void TControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}

void TControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
}

void TControl::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
}

void TControl::MouseMove(TShiftState Shift, int X, int Y) {
  if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
}

void TControl::Resize() {
  if (OnResize) OnResize(this);
}

void TControl::WndProc(TMessage& Message) {
  int x = GET_X_LPARAM(Message.LParam), y = GET_Y_LPARAM(Message.LParam);
  TShiftState shift = KeysToShiftState(Message.WParam);
  auto down = [&](TMouseButton b, bool dbl) {
    if (!enabled_) return;
    mouse_down_[b] = true;
    MouseDown(b, shift | (dbl ? ssDouble : 0), x, y);
    if (dbl && b == mbLeft) DblClick();
  };
  auto up = [&](TMouseButton b) {
    if (!enabled_) return;
    bool was = mouse_down_[b];
    mouse_down_[b] = false;
    MouseUp(b, shift, x, y);
    // A click is a press and release of the left button over the control.
    if (b == mbLeft && was && x >= 0 && y >= 0 && x < width_ && y < height_) Click();
  };
  switch (Message.Msg) {
    case WM_MOUSEMOVE:
      if (enabled_) MouseMove(shift, x, y);
      return;
    case WM_LBUTTONDOWN:
      down(mbLeft, false);
      return;
    case WM_LBUTTONDBLCLK:
      down(mbLeft, true);
      return;
    case WM_RBUTTONDOWN:
      down(mbRight, false);
      return;
    case WM_RBUTTONDBLCLK:
      down(mbRight, true);
      return;
    case WM_MBUTTONDOWN:
      down(mbMiddle, false);
      return;
    case WM_LBUTTONUP:
      up(mbLeft);
      return;
    case WM_RBUTTONUP:
      up(mbRight);
      return;
    case WM_MBUTTONUP:
      up(mbMiddle);
      return;
    default:
      DefaultHandler(Message);
  }
}

TShiftState KeyboardShiftState() {
  TShiftState s = 0;
  if (GetKeyState(VK_SHIFT) < 0) s |= ssShift;
  if (GetKeyState(VK_CONTROL) < 0) s |= ssCtrl;
  if (GetKeyState(VK_MENU) < 0) s |= ssAlt;
  return s;
}

TShiftState KeysToShiftState(WPARAM Keys) {
  TShiftState s = 0;
  if (Keys & MK_SHIFT) s |= ssShift;
  if (Keys & MK_CONTROL) s |= ssCtrl;
  if (Keys & MK_LBUTTON) s |= ssLeft;
  if (Keys & MK_RBUTTON) s |= ssRight;
  if (Keys & MK_MBUTTON) s |= ssMiddle;
  if (GetKeyState(VK_MENU) < 0) s |= ssAlt;
  return s;
}

// ---- TWinControl ----------------------------------------------------------------

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner) {}

TWinControl::~TWinControl() {
  // Owned controls go while this control is still whole: they unlink
  // themselves from it and from its window.
  DestroyComponents();
  for (TControl* c : std::vector<TControl*>(controls_)) c->SetParent(nullptr);
  DestroyHandle();
}

HWND TWinControl::Handle() {
  if (handle_ && !IsWindow(handle_)) handle_ = nullptr;
  if (!handle_) CreateHandle();
  return handle_;
}

void TWinControl::CreateParams(TCreateParams& Params) {
  Params.Caption = Caption();
  Params.X = Left();
  Params.Y = Top();
  Params.Width = Width();
  Params.Height = Height();
  Params.Style = Visible() ? WS_VISIBLE : 0;
  if (Parent()) Params.WndParent = Parent()->Handle();
}

void TWinControl::CreateHandle() {
  TCreateParams cp;
  CreateParams(cp);
  TWindowParams wp;
  wp.Caption = cp.Caption;
  wp.Style = cp.Style & ~WS_VISIBLE;
  wp.ExStyle = cp.ExStyle;
  wp.X = cp.X;
  wp.Y = cp.Y;
  wp.Width = cp.Width;
  wp.Height = cp.Height;
  wp.Parent = cp.WndParent;
  handle_ =
      CreateWindowHandle(wp, [this](HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) -> LRESULT {
        // The window's first messages (WM_CREATE) arrive before the creation
        // returns; whoever asks for the handle then must get this window, not a
        // second one.
        if (!handle_) handle_ = Wnd;
        TMessage m{Msg, WParam, LParam, 0};
        Dispatch(m);
        return m.Result;
      });
  if (cp.Style & WS_VISIBLE) ShowWindow(handle_, SW_SHOW);
}

void TWinControl::DestroyHandle() {
  if (!handle_) return;
  HWND h = handle_;
  handle_ = nullptr;
  // No message reaches a control on its way out.
  SetWindowProc(h, nullptr);
  DestroyWindow(h);
}

TControl* TWinControl::ControlAtPos(TPoint P) const {
  for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
    TControl* c = *it;
    if (!c->Visible() || !c->Enabled()) continue;
    if (P.X >= c->Left() && P.Y >= c->Top() && P.X < c->Left() + c->Width() &&
        P.Y < c->Top() + c->Height())
      return c;
  }
  return nullptr;
}

void TWinControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  bool resized = AWidth != Width() || AHeight != Height();
  TControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  if (handle_ && IsWindow(handle_)) MoveWindow(handle_, ALeft, ATop, AWidth, AHeight, TRUE);
  if (resized) RealignControls();
}

void TWinControl::SetVisible(bool v) {
  if (v == Visible()) return;
  TControl::SetVisible(v);
  bool had = handle_ && IsWindow(handle_);
  // Showing a window makes it (its handle is made visible).
  if (v && !had && (!Parent() || Parent()->HandleAllocated())) {
    HandleNeeded();
    return;
  }
  if (had) ShowWindow(handle_, v ? SW_SHOW : SW_HIDE);
}

void TWinControl::SetCaption(const std::string& v) {
  TControl::SetCaption(v);
  if (handle_ && IsWindow(handle_)) SetWindowTextA(handle_, v.c_str());
}

bool TWinControl::Focused() const {
  TForm* f = GetParentForm(const_cast<TWinControl*>(this));
  return f && f->ActiveControl() == this;
}

void TWinControl::SetFocus() {
  if (TForm* f = GetParentForm(this)) {
    if (f != this) f->SetActiveControl(this);
  }
}

void TWinControl::RealignControls() {
  for (TControl* c : controls_)
    if (c->Align() == alClient) c->SetBounds(0, 0, ClientWidth(), ClientHeight());
}

void TWinControl::InsertControl(TControl* C) {
  controls_.push_back(C);
  C->parent_ = this;
  if (C->Align() == alClient) C->SetBounds(0, 0, ClientWidth(), ClientHeight());
}

void TWinControl::RemoveControl(TControl* C) {
  std::erase(controls_, C);
  if (mouse_capture_ == C) mouse_capture_ = nullptr;
  C->parent_ = nullptr;
  if (TForm* f = GetParentForm(this)) {
    if (f->ActiveControl() == C) f->SetActiveControl(nullptr);
  }
}

bool TWinControl::KeyDown(WORD& Key, TShiftState Shift) {
  if (OnKeyDown) OnKeyDown(this, Key, Shift);
  return Key == 0;
}

bool TWinControl::KeyUp(WORD& Key, TShiftState Shift) {
  if (OnKeyUp) OnKeyUp(this, Key, Shift);
  return Key == 0;
}

bool TWinControl::KeyPress(char& Key) {
  if (OnKeyPress) OnKeyPress(this, Key);
  return Key == 0;
}

bool TWinControl::RouteMouse(TMessage& Message) {
  bool is_mouse = Message.Msg >= WM_MOUSEMOVE && Message.Msg <= WM_MBUTTONUP;
  if (!is_mouse) return false;
  TPoint p = Point(GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam));
  TControl* target = mouse_capture_ ? mouse_capture_ : ControlAtPos(p);
  // The pointer takes the look of the control under it; a control with no
  // cursor draws its own.
  if (Message.Msg == WM_MOUSEMOVE && !Parent())
    SetPointerHidden((target ? target->Cursor() : Cursor()) == crNone);
  bool press = Message.Msg == WM_LBUTTONDOWN || Message.Msg == WM_RBUTTONDOWN ||
               Message.Msg == WM_MBUTTONDOWN || Message.Msg == WM_LBUTTONDBLCLK ||
               Message.Msg == WM_RBUTTONDBLCLK;
  bool release =
      Message.Msg == WM_LBUTTONUP || Message.Msg == WM_RBUTTONUP || Message.Msg == WM_MBUTTONUP;
  if (press && target) mouse_capture_ = target;
  if (release && !(Message.WParam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)))
    mouse_capture_ = nullptr;
  if (!target) return false;
  TMessage child = Message;
  child.LParam = MAKELPARAM(p.X - target->Left(), p.Y - target->Top());
  target->Dispatch(child);
  Message.Result = child.Result;
  return true;
}

void TWinControl::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
      WORD key = static_cast<WORD>(Message.WParam);
      if (!KeyDown(key, KeyboardShiftState()) && Message.Msg == WM_SYSKEYDOWN)
        DefaultHandler(Message);
      return;
    }
    case WM_KEYUP:
    case WM_SYSKEYUP: {
      WORD key = static_cast<WORD>(Message.WParam);
      KeyUp(key, KeyboardShiftState());
      return;
    }
    case WM_CHAR: {
      char c = static_cast<char>(Message.WParam);
      KeyPress(c);
      return;
    }
    case WM_SETFOCUS:
      if (OnEnter) OnEnter(this);
      return;
    case WM_KILLFOCUS:
      if (OnExit) OnExit(this);
      return;
    case WM_DESTROY:
      DefaultHandler(Message);
      handle_ = nullptr;
      return;
    default:
      if (RouteMouse(Message)) return;
      TControl::WndProc(Message);
  }
}

void TWinControl::DefaultHandler(TMessage& Message) {
  Message.Result = DefWindowProcA(handle_, Message.Msg, Message.WParam, Message.LParam);
}
