// What the setup's tests share: a headless program with the setup's
// pictures, a scratch folder, input posted to windows, and pictures saved
// as PNG for a person to look at.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "framework/forms.h"
#include "platform/backend/headless/headless_core.h"
#include "platform/backend/headless/headless_input.h"
#include "platform/backend/headless/headless_paint.h"
#include "platform/win/library.h"
#include "setup/setup_resources.h"
#include "setup/testprog/png_writer.h"

namespace setup_test {

// A fresh folder under the system's temporary one, removed at the end.
class TScratchDir {
 public:
  TScratchDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "talsetupXXXXXX").string();
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    path_ = mkdtemp(buf.data());
  }
  ~TScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& Path() const { return path_; }
  std::string File(const std::string& Name) const { return path_ + "/" + Name; }

 private:
  std::string path_;
};

inline std::string ReadAll(const std::string& File) {
  std::ifstream in(File, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteAll(const std::string& File, const std::string& Text) {
  std::ofstream out(File, std::ios::binary | std::ios::trunc);
  out << Text;
}

// Handles everything queued as the program's loop does: an exception that
// escapes a handler is shown and the loop goes on.
inline void Pump() {
  while (true) {
    try {
      if (!Application->ProcessMessage()) return;
    } catch (...) {
      Application->HandleException(Application);
    }
  }
}

// Posts a message to a window and lets the loop handle everything queued.
inline void Post(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
  PostMessageA(Wnd, Msg, W, L);
  Pump();
}

inline void Key(TForm* Form, WORD Vk, bool Repeat = false) {
  NotifyKeyState(Vk, true);
  Post(Form->Handle(), WM_KEYDOWN, Vk, 1 | (Repeat ? (LPARAM{1} << 30) : 0));
  NotifyKeyState(Vk, false);
  Post(Form->Handle(), WM_KEYUP, Vk, static_cast<LPARAM>(0xC0000001u));
}

// A left click at a point of a control (in its own coordinates).
inline void Click(TControl* Control, int X, int Y) {
  TForm* form = GetParentForm(Control);
  TPoint p = Control->ClientToWindow(TPoint{X, Y});
  Post(form->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.X, p.Y));
  Post(form->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(p.X, p.Y));
}

inline void ClickCentre(TControl* Control) {
  Click(Control, Control->Width() / 2, Control->Height() / 2);
}

// The headless program every setup test runs in.
class THeadlessSetup {
 public:
  THeadlessSetup() {
    HeadlessInstall(1000);
    HeadlessInstallInput();
    HeadlessClearWindowPictures();
    RegisterSetupResources();
  }
  ~THeadlessSetup() { HeadlessUninstall(); }
};

}  // namespace setup_test
