#include "music/appexec.h"

void TAppExec::SetExePath(const std::string& Path) {
  if (Path == exe_path_) return;
  exe_path_ = Path;
  const bool root = exe_path_ == "\\" || (exe_path_.size() == 3 && exe_path_[1] == ':');
  if (!root && !exe_path_.empty() && exe_path_.back() == '\\') exe_path_.pop_back();
}

void TAppExec::SetWindowState(TWindowState State) {
  if (State == window_state_) return;
  window_state_ = State;
  // The show commands of normal, minimised and maximised windows.
  show_command_ = State == wsMinimized ? 2 : State == wsMaximized ? 3 : 1;
}
