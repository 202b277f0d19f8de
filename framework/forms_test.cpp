#include "framework/forms.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/extctrls.h"
#include "platform/win/clock.h"
#include "platform/win/driver.h"
#include "platform/win/vkeys.h"

namespace {

struct TBox {
  std::string Text, Caption;
};

// Records message boxes; waiting and pacing move the virtual clock.
class TTestDriver : public TPlatformDriver {
 public:
  explicit TTestDriver(TVirtualClock& Clock, std::vector<TBox>& Boxes)
      : clock_(Clock), boxes_(Boxes) {}
  void WaitEvents(uint64_t TimeoutUs) override { clock_.Advance(1); }
  void IdlePace() override { clock_.Advance(1); }
  int MessageBox(HWND, const std::string& Text, const std::string& Caption, UINT) override {
    boxes_.push_back({Text, Caption});
    return IDOK;
  }

 private:
  TVirtualClock& clock_;
  std::vector<TBox>& boxes_;
};

class Forms : public ::testing::Test {
 protected:
  void SetUp() override {
    SetClockSource(&clock_);
    SetPlatformDriver(std::make_unique<TTestDriver>(clock_, boxes_));
    scope_ = std::make_unique<TApplicationScope>();
    Application->SetTitle("Taloren: Ostrime");
  }
  void TearDown() override {
    scope_.reset();
    SetPlatformDriver(nullptr);
    SetClockSource(nullptr);
  }
  // Runs the loop until the queue is empty once.
  void RunUntilIdle() {
    Application->OnIdle = [](TObject*, bool&) { Application->Terminate(); };
    Application->Run();
  }
  TVirtualClock clock_{0};
  std::vector<TBox> boxes_;
  std::unique_ptr<TApplicationScope> scope_;
};

TEST_F(Forms, AnEscapedExceptionIsShownUnderTheTitleAndTheLoopCarriesOn) {
  TForm* form = Application->CreateForm<TForm>();
  std::vector<WORD> keys;
  form->OnKeyDown = [&](TObject*, WORD& Key, TShiftState) {
    keys.push_back(Key);
    if (Key == 'A') throw EConvertError("'xyz' is not a valid integer value");
  };
  form->Show();
  PostMessageA(form->Handle(), WM_KEYDOWN, 'A', 0);
  PostMessageA(form->Handle(), WM_KEYDOWN, 'B', 0);
  RunUntilIdle();
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].Text, "'xyz' is not a valid integer value");
  EXPECT_EQ(boxes_[0].Caption, "Taloren: Ostrime");
  EXPECT_EQ(keys, (std::vector<WORD>{'A', 'B'}));
}

TEST_F(Forms, AFailingCreateHandlerIsReportedAndTheFormStillMade) {
  struct TFailing : TForm {
    explicit TFailing(TComponent* O) : TForm(O) {
      OnCreate = [](TObject*) { throw Exception("Gamma control not supported"); };
    }
  };
  TFailing* f = Application->CreateForm<TFailing>();
  EXPECT_EQ(Application->MainForm(), f);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].Text, "Gamma control not supported");
}

TEST_F(Forms, ShowFiresOnShowAndClosingTheMainFormEndsTheProgram) {
  TForm* main = Application->CreateForm<TForm>();
  TForm* other = Application->CreateForm<TForm>();
  int shows = 0;
  bool may_close = false;
  main->OnShow = [&](TObject*) { ++shows; };
  main->OnCloseQuery = [&](TObject*, bool& can) { can = may_close; };
  TCloseAction other_action = caNone;
  other->OnClose = [&](TObject*, TCloseAction& a) {
    other_action = a;
    a = caFree;
  };
  int pass = 0;
  Application->OnIdle = [&](TObject*, bool&) {
    // Closing the window by its close button, then Alt+F4 once allowed.
    if (pass == 0) PostMessageA(main->Handle(), WM_CLOSE, 0, 0);
    if (pass == 1) {
      may_close = true;
      PostMessageA(main->Handle(), WM_SYSKEYDOWN, VK_F4, 0);
    }
    if (++pass > 10) Application->Terminate();  // a guard
  };
  other->Show();
  other->Close();
  EXPECT_EQ(other_action, caHide);
  Application->Run();
  EXPECT_EQ(shows, 1);
  EXPECT_TRUE(Application->Terminated());
  // The released form went once the loop regained control.
  EXPECT_EQ(Application->ComponentCount(), 1);
}

TEST_F(Forms, AHandleAskedForWhileTheWindowIsMadeIsThatWindow) {
  // A component that hooks its form asks for the form's window when the
  // window announces itself, before the creation has returned.
  auto* form = new TForm(Application);
  HWND during = nullptr;
  int creates = 0;
  TWindowHookHandle hook = form->AddWindowHook([&](TMessage& Message, const TWndMethod& Previous) {
    Previous(Message);
    if (Message.Msg == WM_CREATE) {
      ++creates;
      during = form->Handle();
    }
  });
  HWND made = form->Handle();
  EXPECT_EQ(creates, 1);
  EXPECT_EQ(during, made);
  EXPECT_TRUE(IsWindow(made));
  delete form;
}

TEST_F(Forms, KeysReachTheFocusedControlAfterThePreview) {
  TForm* form = Application->CreateForm<TForm>();
  auto* edit = new TWinControl(form);
  edit->SetParent(form);
  std::vector<std::string> seen;
  form->OnKeyDown = [&](TObject*, WORD& Key, TShiftState) {
    seen.push_back("form " + std::to_string(Key));
    if (Key == VK_ESCAPE) Key = 0;  // swallowed
  };
  edit->OnKeyDown = [&](TObject*, WORD& Key, TShiftState) {
    seen.push_back("edit " + std::to_string(Key));
  };
  edit->OnKeyPress = [&](TObject*, char& Key) { seen.push_back(std::string("char ") + Key); };
  form->Show();
  edit->SetFocus();
  form->Perform(WM_KEYDOWN, 'A', 0);
  form->SetKeyPreview(true);
  form->Perform(WM_KEYDOWN, 'B', 0);
  form->Perform(WM_KEYDOWN, VK_ESCAPE, 0);
  form->Perform(WM_CHAR, 'x', 0);
  EXPECT_EQ(seen, (std::vector<std::string>{"edit 65", "form 66", "edit 66", "form 27", "char x"}));
}

TEST_F(Forms, MouseGoesToTheChildUnderIt) {
  TForm* form = Application->CreateForm<TForm>();
  auto* pad = new TWinControl(form);
  pad->SetParent(form);
  pad->SetBounds(100, 50, 200, 100);
  std::vector<std::string> seen;
  pad->OnMouseDown = [&](TObject*, TMouseButton b, TShiftState, int x, int y) {
    seen.push_back("down " + std::to_string(x) + "," + std::to_string(y));
  };
  pad->OnClick = [&](TObject*) { seen.push_back("click"); };
  form->OnMouseMove = [&](TObject*, TShiftState, int x, int y) {
    seen.push_back("form move " + std::to_string(x) + "," + std::to_string(y));
  };
  form->Perform(WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
  form->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(110, 60));
  form->Perform(WM_LBUTTONUP, 0, MAKELPARAM(120, 70));
  EXPECT_EQ(seen, (std::vector<std::string>{"form move 10,10", "down 10,10", "click"}));
  // alClient fills the form and follows its size.
  pad->SetAlign(alClient);
  form->SetBounds(0, 0, 640, 480);
  EXPECT_EQ(pad->BoundsRect(), Rect(0, 0, 640, 480));
}

TEST_F(Forms, MainWindowHooksSeeMessagesFirstNewestFirst) {
  std::vector<std::string> seen;
  uint64_t first = Application->HookMainWindow([&](TMessage& m) {
    if (m.Msg == CM_ACTIVATE || m.Msg == CM_DEACTIVATE) seen.push_back("first");
    return false;
  });
  uint64_t second = 0;
  second = Application->HookMainWindow([&](TMessage& m) {
    if (m.Msg == CM_ACTIVATE || m.Msg == CM_DEACTIVATE) {
      seen.push_back("second");
      Application->UnhookMainWindow(second);  // leaving from inside is safe
    }
    return false;
  });
  Application->OnDeactivate = [&](TObject*) { seen.push_back("app"); };
  EXPECT_TRUE(Application->Active());
  Application->SetActive(false);
  Application->SetActive(false);  // no change, nothing sent
  Application->SetActive(true);
  EXPECT_EQ(seen, (std::vector<std::string>{"second", "first", "app", "first"}));
  Application->UnhookMainWindow(first);
}

TEST_F(Forms, WindowTimerComponentFiresFromTheLoop) {
  TForm* form = Application->CreateForm<TForm>();
  auto* timer = new TTimer(form);
  timer->SetInterval(40);
  int ticks = 0;
  timer->SetOnTimer([&](TObject*) { ++ticks; });
  Application->OnIdle = [&](TObject*, bool&) {
    if (timeGetTime() >= 1000) Application->Terminate();
  };
  Application->Run();
  // 40 ms rounds up to three ticks of 15.625 ms.
  EXPECT_EQ(ticks, 21);
  timer->SetEnabled(false);
  int before = ticks;
  clock_.Advance(1000);
  Application->ProcessMessages();
  EXPECT_EQ(ticks, before);
}

}  // namespace

#include "framework/stdctrls.h"

namespace {

TEST_F(Forms, TheHiddenEditFieldTakesTypedNames) {
  TForm* form = Application->CreateForm<TForm>();
  form->SetKeyPreview(true);
  auto* edit = new TEdit(form);
  edit->SetParent(form);
  edit->SetMaxLength(10);
  edit->SetVisible(false);
  int enters = 0;
  form->OnKeyDown = [&](TObject*, WORD& Key, TShiftState) { enters += Key == VK_RETURN; };
  form->Show();
  edit->SetVisible(true);
  edit->SetFocus();
  for (char c : std::string("Commander Keen")) form->Perform(WM_CHAR, static_cast<uint8_t>(c), 0);
  EXPECT_EQ(edit->Text(), "Commander ");
  form->Perform(WM_CHAR, 8, 0);
  form->Perform(WM_CHAR, 13, 0);
  form->Perform(WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_EQ(edit->Text(), "Commander");
  EXPECT_EQ(enters, 1);

  TMemo memo(nullptr);
  memo.SetText("Memo1\r\nx(1,2,);y(3,4,);");
  EXPECT_EQ(memo.Lines, (std::vector<std::string>{"Memo1", "x(1,2,);y(3,4,);"}));
  EXPECT_EQ(memo.Text(), "Memo1\r\nx(1,2,);y(3,4,);\r\n");
}

}  // namespace
