// A program starter's settings, held by the music player for its owner.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/classes.h"
#include "framework/forms.h"

class TAppExec : public TComponent {
 public:
  TAL_CLASS_NAME(TAppExec)
  explicit TAppExec(TComponent* AOwner) : TComponent(AOwner) {}

  bool ChangeDir = true;
  bool Wait = false;
  std::string ExeName;
  int32_t ErrNo() const { return err_no_; }
  const std::vector<std::string>& ExeParams() const { return exe_params_; }
  void SetExeParams(const std::vector<std::string>& Lines) { exe_params_ = Lines; }
  const std::string& ExePath() const { return exe_path_; }
  // Drops one trailing backslash, except from "\" and a drive root ("C:\").
  void SetExePath(const std::string& Path);
  TWindowState WindowState() const { return window_state_; }
  int ShowCommand() const { return show_command_; }
  void SetWindowState(TWindowState State);

 private:
  int32_t err_no_ = -1;
  std::vector<std::string> exe_params_;
  std::string exe_path_;
  TWindowState window_state_ = wsNormal;
  int show_command_ = 1;
};
