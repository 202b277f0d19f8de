// The fixture of the tests of dialog controls: a form that paints its client
// area, a driver that keeps what windows present, and a virtual clock.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <vector>

#include "framework/forms.h"
#include "platform/win/clock.h"
#include "platform/win/driver.h"
#include "platform/win/user.h"

// Keeps what windows present; waiting moves a virtual clock.
class TPictureDriver : public TPlatformDriver {
 public:
  std::map<HWND, std::vector<uint32_t>> Pictures;
  std::map<HWND, int> Widths;
  void PresentWindow(HWND Wnd, const uint32_t* Pixels, int W, int H) override {
    Pictures[Wnd].assign(Pixels, Pixels + static_cast<size_t>(W) * static_cast<size_t>(H));
    Widths[Wnd] = W;
  }
  void WaitEvents(uint64_t) override {}
  int MessageBox(HWND, const std::string&, const std::string&, UINT) override { return IDOK; }
};

class DialogControls : public ::testing::Test {
 protected:
  void SetUp() override {
    auto d = std::make_unique<TPictureDriver>();
    driver_ = d.get();
    SetPlatformDriver(std::move(d));
    SetClockSource(&clock_);
    form_ = new TForm(Application);
    form_->SetPaintClientArea(true);
    form_->SetBounds(0, 0, 120, 80);
    form_->SetColor(0x0000FF);  // red
  }
  void TearDown() override {
    delete form_;
    SetPlatformDriver(nullptr);
    SetClockSource(nullptr);
  }
  uint32_t Pixel(int X, int Y) {
    auto& p = driver_->Pictures[form_->Handle()];
    return p.at(static_cast<size_t>(Y * driver_->Widths[form_->Handle()] + X));
  }
  void Post(UINT Msg, WPARAM W, LPARAM L) {
    PostMessageA(form_->Handle(), Msg, W, L);
    Application->ProcessMessages();
  }
  void Click(int X, int Y) {
    Post(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(X, Y));
    Post(WM_LBUTTONUP, 0, MAKELPARAM(X, Y));
  }

  TVirtualClock clock_{0};
  TApplicationScope app_;
  TPictureDriver* driver_ = nullptr;
  TForm* form_ = nullptr;
};
