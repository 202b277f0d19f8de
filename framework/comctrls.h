// The tab control with its pages: a row of tabs, and one page shown at a
// time below it.
#pragma once

#include <vector>

#include "framework/customctrls.h"

class TPageControl;

class TTabSheet : public TCustomControl {
 public:
  TAL_CLASS_NAME(TTabSheet)
  explicit TTabSheet(TComponent* AOwner);
  ~TTabSheet() override;
  TPageControl* PageControl() const { return page_control_; }
  void SetPageControl(TPageControl* Value);

 private:
  friend class TPageControl;
  TPageControl* page_control_ = nullptr;
};

class TPageControl : public TCustomControl {
 public:
  TAL_CLASS_NAME(TPageControl)
  explicit TPageControl(TComponent* AOwner);
  ~TPageControl() override;

  int PageCount() const { return static_cast<int>(pages_.size()); }
  TTabSheet* Pages(int i) const { return pages_.at(static_cast<size_t>(i)); }
  TTabSheet* ActivePage() const { return active_; }
  void SetActivePage(TTabSheet* Page);
  int ActivePageIndex() const;
  void SetActivePageIndex(int i);
  // Where the tab of page i is drawn, in the control's coordinates.
  TRect TabRect(int i);
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;

  TNotifyEvent OnChange;

  static constexpr int TabHeight = 20;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;

 private:
  friend class TTabSheet;
  void InsertPage(TTabSheet* Page);
  void RemovePage(TTabSheet* Page);
  void PlacePage(TTabSheet* Page);
  std::vector<TTabSheet*> pages_;
  TTabSheet* active_ = nullptr;
};
