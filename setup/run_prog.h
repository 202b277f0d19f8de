// A component that starts another program from a command line and can wait
// for it to end.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "framework/classes.h"

enum TzcRunShow : uint8_t {
  zrs_HIDE,
  zrs_SHOWNORMAL,
  zrs_SHOWMINIMIZED,
  zrs_SHOWMAXIMIZED,
  zrs_SHOWNOACTIVATE,
  zrs_SHOW,
  zrs_MINIMIZE,
  zrs_SHOWMINNOACTIVE,
  zrs_SHOWNA,
  zrs_RESTORE,
  zrs_SHOWDEFAULT
};

enum TzcRunError : uint8_t {
  zre_OK,
  zre_MemoryError,
  zre_FileNotFound,
  zre_PathNotFound,
  zre_TaskError,
  zre_WrongOpSystem,
  zre_WrongFileFormat,
  zre_networkerror,
  zre_FileError,
  zre_UnknownError
};

using TzcError = std::function<void(TObject* Sender, TzcRunError Error, int32_t RealErrorCode)>;

// The result of a failed start, from the platform's error code.
TzcRunError RunErrorFromCode(int32_t Code);

class TzcRunProg : public TComponent {
 public:
  TAL_CLASS_NAME(TzcRunProg)
  // The longest command line a run takes; a longer one fails through
  // OnError instead of being cut.
  static constexpr size_t MaxCmdLine = 511;

  explicit TzcRunProg(TComponent* AOwner);
  ~TzcRunProg() override;

  virtual void Run();
  virtual void RunCmdLine(const std::string& Line);
  virtual int32_t GetRealErrorCode() { return last_error_; }

  TzcRunError LastResultCode() const { return last_result_; }
  // The form's stored value is ignored: the result belongs to the last run.
  void SetLastResultCode(TzcRunError) {}
  const std::string& CmdLine() const { return cmd_line_; }
  void SetCmdLine(const std::string& v) { cmd_line_ = v; }
  int32_t ReturnCode() const { return return_code_; }
  void SetReturnCode(int32_t) {}
  TzcRunShow Visiblility() const { return visibility_; }
  void SetVisiblility(TzcRunShow v) { visibility_ = v; }
  bool Wait() const { return wait_; }
  void SetWait(bool v) { wait_ = v; }
  bool HardWait() const { return hard_wait_; }
  void SetHardWait(bool v) { hard_wait_ = v; }

  TzcError OnError;
  TNotifyEvent OnBeforeRun;
  TNotifyEvent OnBeforeWait;
  TNotifyEvent OnFinish;

 private:
  void Fail(int32_t Code);
  TzcRunError last_result_ = zre_OK;
  std::string cmd_line_;
  int32_t return_code_ = 0;
  TzcRunShow visibility_ = zrs_SHOWNORMAL;
  bool wait_ = true;
  int32_t last_error_ = 0;
  bool hard_wait_ = false;
};
