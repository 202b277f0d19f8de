#include "engine/directx/directx.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "framework/forms.h"
#include "platform/backend/headless/headless_core.h"
#include "platform/win/library.h"

namespace {

int g_calls = 0;
void FakeCreate() {
  ++g_calls;
}

class DirectXLibraries : public ::testing::Test {
 protected:
  void SetUp() override {
    FreeDirectXLibraries();
    RegisterBuiltinModule("FakeDraw.dll", {{"DirectDrawCreate", &FakeCreate}});
  }
  void TearDown() override {
    FreeDirectXLibraries();
    UnregisterBuiltinModule("FakeDraw.dll");
  }
  static std::string ErrorOf(const std::string& lib, const std::string& proc) {
    try {
      LoadDirectXEntry(lib, proc);
    } catch (const Exception& e) {
      EXPECT_STREQ(e.ClassName(), "Exception");
      return e.Message();
    }
    return "";
  }
};

TEST_F(DirectXLibraries, EntryPointsBindByNameAndFailuresNameTheLibrary) {
  g_calls = 0;
  LoadDirectXEntryAs<void (*)()>("FakeDraw.dll", "DirectDrawCreate")();
  EXPECT_EQ(g_calls, 1);
  EXPECT_EQ(ErrorOf("FakeDraw.dll", "DirectDrawCreateEx"), "FakeDraw.dll is not loaded");
  EXPECT_EQ(ErrorOf("NoSuch.dll", "Anything"), "NoSuch.dll is not loaded");
}

TEST_F(DirectXLibraries, ARemovedLibraryFailsUntilItIsBack) {
  UnregisterBuiltinModule("FakeDraw.dll");
  EXPECT_EQ(ErrorOf("FakeDraw.dll", "DirectDrawCreate"), "FakeDraw.dll is not loaded");
  // Nothing was kept, so the next call tries again.
  RegisterBuiltinModule("FakeDraw.dll", {{"DirectDrawCreate", &FakeCreate}});
  EXPECT_NE(LoadDirectXEntry("FakeDraw.dll", "DirectDrawCreate"), nullptr);
}

TEST_F(DirectXLibraries, OtherLetterCaseReusesTheCachedLibrary) {
  EXPECT_NE(LoadDirectXEntry("FakeDraw.dll", "DirectDrawCreate"), nullptr);
  // Gone from the registry, still loaded: found through the cache.
  UnregisterBuiltinModule("FakeDraw.dll");
  EXPECT_NE(LoadDirectXEntry("FAKEDRAW.DLL", "DirectDrawCreate"), nullptr);
  FreeDirectXLibraries();
  EXPECT_EQ(ErrorOf("fakedraw.dll", "DirectDrawCreate"), "fakedraw.dll is not loaded");
}

TEST_F(DirectXLibraries, TheStartUpBindingToleratesMissingLibraries) {
  UnregisterBuiltinModule("DSound.dll");
  EXPECT_NO_THROW(LoadDirectXBinding(dbGame));
  EXPECT_NO_THROW(LoadDirectXBinding(dbSetup));
  FreeDirectXBinding();
}

TEST(SharedRoutines, AnglesRectsAndColours) {
  EXPECT_NEAR(SineStep(0), 0.0, 1e-15);
  EXPECT_DOUBLE_EQ(SineStep(64), 1.0);
  EXPECT_DOUBLE_EQ(CosineStep(0), 1.0);
  EXPECT_DOUBLE_EQ(CosineStep(128), -1.0);
  EXPECT_NEAR(CosineStep(32), std::sqrt(0.5), 1e-15);
  EXPECT_NEAR(SineStep(192), -1.0, 1e-15);

  struct {
    TRect a, b;
    bool overlap;
  } rects[] = {
      {Rect(0, 0, 10, 10), Rect(10, 0, 20, 10), false},  // touching edges
      {Rect(0, 0, 10, 10), Rect(9, 9, 20, 20), true},
      {Rect(0, 0, 10, 10), Rect(0, 10, 10, 20), false},
      {Rect(5, 5, 6, 6), Rect(0, 0, 10, 10), true},   // inside
      {Rect(0, 0, 0, 0), Rect(0, 0, 10, 10), false},  // empty
  };
  for (const auto& r : rects) {
    EXPECT_EQ(RectsOverlap(r.a, r.b), r.overlap);
    EXPECT_EQ(RectsOverlap(r.b, r.a), r.overlap);
  }

  EXPECT_EQ(D3DRGB(1.0f, 0.5f, 0.0f), 0xFFFF8000u);  // 127.5 rounds to the even 128
  EXPECT_EQ(D3DRGB(0.0f, 0.0f, 0.0f), 0xFF000000u);
  // Out-of-range fractions stay in their own byte.
  EXPECT_EQ(D3DRGB(2.0f, -1.0f, NAN), 0xFFFF0000u);
  EXPECT_EQ(RGBA_MAKE(1, 2, 3, 4), 0x04010203u);
  EXPECT_EQ(RGB_MAKE(0xAA, 0xBB, 0xCC), 0x00AABBCCu);

  TDirectX dx;
  struct TCounting : TDirectX {
    int checks = 0;
    void CheckResult() override { ++checks; }
  } counting;
  counting.SetResultCode(0);
  counting.SetResultCode(E_FAIL);
  EXPECT_EQ(counting.ResultCode(), E_FAIL);
  EXPECT_EQ(counting.checks, 1);
}

class Hooks : public ::testing::Test {
 protected:
  void SetUp() override { HeadlessInstall(); }
  void TearDown() override { HeadlessUninstall(); }
  TApplicationScope scope_;
};

TEST_F(Hooks, RemovedInAnyOrderWithoutBringingBackAFreedHook) {
  TForm* form = Application->CreateForm<TForm>();
  std::vector<std::string> seen;
  form->OnKeyDown = [&](TObject*, WORD&, TShiftState) { seen.push_back("form"); };
  auto make = [&](const char* name) {
    return std::make_unique<TControlSubClass>(
        form, [&seen, name](TMessage& m, const TWndMethod& Previous) {
          if (m.Msg == WM_KEYDOWN) seen.push_back(name);
          Previous(m);
        });
  };
  // Three components hook the same form: display, input, sound.
  auto display = make("display");
  auto input = make("input");
  auto sound = make("sound");
  form->Perform(WM_KEYDOWN, 'A', 0);
  EXPECT_EQ(seen, (std::vector<std::string>{"sound", "input", "display", "form"}));

  // The first installed goes first: the later ones stay in the path.
  display.reset();
  seen.clear();
  form->Perform(WM_KEYDOWN, 'A', 0);
  EXPECT_EQ(seen, (std::vector<std::string>{"sound", "input", "form"}));

  // The newest goes: the middle one is still called, nothing freed is.
  sound.reset();
  seen.clear();
  form->Perform(WM_KEYDOWN, 'A', 0);
  EXPECT_EQ(seen, (std::vector<std::string>{"input", "form"}));

  input.reset();
  seen.clear();
  form->Perform(WM_KEYDOWN, 'A', 0);
  EXPECT_EQ(seen, (std::vector<std::string>{"form"}));
}

TEST_F(Hooks, AHookMaySwallowAMessageOrOutliveItsControl) {
  auto* form = Application->CreateForm<TForm>();
  int form_keys = 0;
  form->OnKeyDown = [&](TObject*, WORD&, TShiftState) { ++form_keys; };
  auto swallow =
      std::make_unique<TControlSubClass>(form, [](TMessage& m, const TWndMethod& Previous) {
        if (m.Msg == WM_KEYDOWN && m.WParam == 'X') {
          m.Result = 1;
          return;
        }
        Previous(m);
      });
  EXPECT_EQ(form->Perform(WM_KEYDOWN, 'X', 0), 1);
  form->Perform(WM_KEYDOWN, 'Y', 0);
  EXPECT_EQ(form_keys, 1);
  delete form;
  swallow.reset();  // the form is gone: nothing to undo, nothing touched
}

}  // namespace
