#include "platform/win/paint.h"

#include <algorithm>
#include <map>

#include "platform/win/user.h"

namespace {

struct TUpdate {
  RECT Rect{0, 0, 0, 0};
  bool Erase = false;
  bool Posted = false;
};

// Handles are never reused, so a record of a window that went away is
// harmless; it is dropped when its WM_PAINT would have been taken.
std::map<HWND, TUpdate>& Updates() {
  static auto* m = new std::map<HWND, TUpdate>;
  return *m;
}

RECT Union(const RECT& A, const RECT& B) {
  if (A.right <= A.left || A.bottom <= A.top) return B;
  if (B.right <= B.left || B.bottom <= B.top) return A;
  return RECT{std::min(A.left, B.left), std::min(A.top, B.top), std::max(A.right, B.right),
              std::max(A.bottom, B.bottom)};
}

}  // namespace

POINT ClientOriginInTopLevel(HWND Wnd) {
  POINT p{0, 0};
  HWND h = Wnd;
  for (int depth = 0; depth < 1000 && h; ++depth) {
    HWND parent = GetParent(h);
    if (!parent) break;
    RECT r;
    if (GetWindowRect(h, &r)) {
      p.x += r.left;
      p.y += r.top;
    }
    h = parent;
  }
  return p;
}

BOOL InvalidateRect(HWND Wnd, const RECT* Rect, BOOL Erase) {
  if (!IsWindow(Wnd)) return FALSE;
  HWND top = GetAncestorWindow(Wnd);
  RECT client;
  GetClientRect(Wnd, &client);
  RECT r = Rect ? *Rect : client;
  POINT o = ClientOriginInTopLevel(Wnd);
  r = RECT{r.left + o.x, r.top + o.y, r.right + o.x, r.bottom + o.y};
  if (r.right <= r.left || r.bottom <= r.top) return TRUE;
  TUpdate& u = Updates()[top];
  u.Rect = Union(u.Rect, r);
  u.Erase = u.Erase || Erase;
  if (!u.Posted) {
    u.Posted = true;
    PostMessageA(top, WM_PAINT, 0, 0);
  }
  return TRUE;
}

BOOL GetUpdateRect(HWND Wnd, RECT* Rect) {
  auto it = Updates().find(GetAncestorWindow(Wnd));
  if (it == Updates().end() || it->second.Rect.right <= it->second.Rect.left) return FALSE;
  if (Rect) *Rect = it->second.Rect;
  return TRUE;
}

BOOL TakeUpdateRect(HWND Wnd, RECT* Rect, BOOL* Erase) {
  auto it = Updates().find(GetAncestorWindow(Wnd));
  if (it == Updates().end()) return FALSE;
  TUpdate u = it->second;
  Updates().erase(it);
  if (Rect) *Rect = u.Rect;
  if (Erase) *Erase = u.Erase;
  return u.Rect.right > u.Rect.left && u.Rect.bottom > u.Rect.top;
}

void ValidateWindow(HWND Wnd) {
  auto it = Updates().find(GetAncestorWindow(Wnd));
  if (it == Updates().end()) return;
  // The WM_PAINT already queued stays; it finds nothing to do.
  it->second.Rect = RECT{0, 0, 0, 0};
  it->second.Erase = false;
}

BOOL UpdateWindow(HWND Wnd) {
  HWND top = GetAncestorWindow(Wnd);
  if (!GetUpdateRect(top, nullptr)) return TRUE;
  SendMessageA(top, WM_PAINT, 0, 0);
  return TRUE;
}
