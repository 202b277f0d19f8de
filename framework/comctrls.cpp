#include "framework/comctrls.h"

#include <algorithm>

#include "framework/label.h"
#include "platform/gdi/gdi_draw.h"

TTabSheet::TTabSheet(TComponent* AOwner) : TCustomControl(AOwner) {
  TControl::SetVisible(false);
}

TTabSheet::~TTabSheet() {
  SetPageControl(nullptr);
}

void TTabSheet::SetPageControl(TPageControl* Value) {
  if (page_control_ == Value) return;
  if (page_control_) page_control_->RemovePage(this);
  SetParent(Value);
  if (Value) Value->InsertPage(this);
}

TPageControl::TPageControl(TComponent* AOwner) : TCustomControl(AOwner) {
  SetBounds(0, 0, 289, 193);
  SetTabStop(true);
}

TPageControl::~TPageControl() {
  for (TTabSheet* p : std::vector<TTabSheet*>(pages_)) p->page_control_ = nullptr;
  pages_.clear();
}

void TPageControl::PlacePage(TTabSheet* Page) {
  Page->SetBounds(4, TabHeight + 4, std::max(Width() - 8, 0),
                  std::max(Height() - TabHeight - 8, 0));
}

void TPageControl::InsertPage(TTabSheet* Page) {
  pages_.push_back(Page);
  Page->page_control_ = this;
  PlacePage(Page);
  if (!active_) SetActivePage(Page);
  Invalidate();
}

void TPageControl::RemovePage(TTabSheet* Page) {
  auto it = std::find(pages_.begin(), pages_.end(), Page);
  if (it == pages_.end()) return;
  pages_.erase(it);
  Page->page_control_ = nullptr;
  if (active_ == Page) {
    active_ = nullptr;
    if (!pages_.empty()) SetActivePage(pages_.front());
  }
  Invalidate();
}

void TPageControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  TCustomControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  for (TTabSheet* p : pages_) PlacePage(p);
}

void TPageControl::SetActivePage(TTabSheet* Page) {
  if (Page && Page->page_control_ != this) return;
  if (active_ == Page) return;
  if (active_) active_->SetVisible(false);
  active_ = Page;
  if (active_) active_->SetVisible(true);
  Invalidate();
  if (OnChange) OnChange(this);
}

int TPageControl::ActivePageIndex() const {
  auto it = std::find(pages_.begin(), pages_.end(), active_);
  return it == pages_.end() ? -1 : static_cast<int>(it - pages_.begin());
}

void TPageControl::SetActivePageIndex(int i) {
  SetActivePage(i >= 0 && i < PageCount() ? pages_[static_cast<size_t>(i)] : nullptr);
}

TRect TPageControl::TabRect(int i) {
  HDC dc = MeasureDC();
  int x = 2;
  for (int k = 0; k < PageCount(); ++k) {
    dc->Font = Font()->Data();
    int w = dc->TextExtent(pages_[static_cast<size_t>(k)]->Caption()).cx + 12;
    if (k == i) return TRect{x, 2, x + w, TabHeight + 2};
    x += w;
  }
  return TRect{};
}

void TPageControl::Paint() {
  HDC dc = Canvas()->Handle();
  if (!dc) return;
  TRect page{0, TabHeight + 1, Width(), Height()};
  dc->FillSolid(TRect{0, 0, Width(), TabHeight + 1}, Parent() ? Parent()->Color() : clBtnFace);
  dc->FillSolid(page, clBtnFace);
  DrawEdge(dc, &page, EDGE_RAISED, BF_RECT);
  dc->BkMode = TRANSPARENT;
  for (int i = 0; i < PageCount(); ++i) {
    TRect t = TabRect(i);
    bool active = pages_[static_cast<size_t>(i)] == active_;
    if (active) t = TRect{t.Left - 2, t.Top - 2, t.Right + 2, t.Bottom + 1};
    dc->FillSolid(t, clBtnFace);
    TRect e = t;
    DrawEdge(dc, &e, EDGE_RAISED, BF_LEFT | BF_TOP | BF_RIGHT);
    dc->Font = Font()->Data();
    if (!EnabledInParents()) dc->Font.Color = clGrayText;
    TRect text = t;
    DrawTextA(dc, pages_[static_cast<size_t>(i)]->Caption(), -1, &text,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    if (active && Focused())
      DrawFocusRect(dc, TRect{t.Left + 3, t.Top + 3, t.Right - 3, t.Bottom - 2});
  }
}

void TPageControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft) {
    for (int i = 0; i < PageCount(); ++i) {
      TRect t = TabRect(i);
      if (X >= t.Left && X < t.Right && Y >= t.Top - 2 && Y < t.Bottom) {
        SetActivePage(pages_[static_cast<size_t>(i)]);
        if (CanFocus()) SetFocus();
        break;
      }
    }
  }
  TCustomControl::MouseDown(Button, Shift, X, Y);
}
