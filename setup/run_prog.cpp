#include "setup/run_prog.h"

#include "framework/forms.h"
#include "platform/win/process.h"

namespace {
// Between two looks at a program that runs on, the window's messages are
// handled and the thread rests this long.
constexpr DWORD kPollMs = 10;
}  // namespace

TzcRunError RunErrorFromCode(int32_t Code) {
  if (Code == 0) return zre_OK;
  if (Code == 1 || Code == 2) return zre_FileNotFound;
  if (Code == 3) return zre_PathNotFound;
  if (Code == 4) return zre_FileError;
  if (Code == 5) return zre_networkerror;
  if (Code >= 6 && Code <= 14) return zre_MemoryError;
  if (Code >= 15 && Code <= 31) return zre_FileError;
  if (Code >= 32 && Code <= 36) return zre_networkerror;
  if (Code >= 38 && Code <= 52) return zre_FileError;
  if (Code >= 53 && Code <= 55) return zre_networkerror;
  return zre_UnknownError;
}

TzcRunProg::TzcRunProg(TComponent* AOwner) : TComponent(AOwner) {}

TzcRunProg::~TzcRunProg() = default;

void TzcRunProg::Run() {
  RunCmdLine(cmd_line_);
}

void TzcRunProg::Fail(int32_t Code) {
  last_error_ = Code;
  last_result_ = RunErrorFromCode(Code);
  if (OnError) OnError(this, last_result_, last_error_);
}

void TzcRunProg::RunCmdLine(const std::string& Line) {
  return_code_ = 0;
  STARTUPINFOA si;
  si.cb = 68;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = visibility_;
  if (OnBeforeRun) OnBeforeRun(this);
  // A line the buffer cannot hold is refused, not cut into another command.
  if (Line.size() > MaxCmdLine) {
    Fail(206);  // the file name or extension is too long
    return;
  }
  PROCESS_INFORMATION pi;
  if (!CreateProcessA(nullptr, Line.c_str(), FALSE, CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS,
                      nullptr, &si, &pi)) {
    Fail(static_cast<int32_t>(GetLastError()));
    return;
  }
  if (wait_) {
    if (OnBeforeWait) OnBeforeWait(this);
    if (hard_wait_) {
      WaitForSingleObject(pi.hProcess, INFINITE);
    } else {
      // Waits on the process itself: a program whose exit code happens to be
      // the "still running" code ends the wait all the same.
      while (true) {
        if (WaitForSingleObject(pi.hProcess, kPollMs) == WAIT_OBJECT_0) {
          DWORD code = 0;
          GetExitCodeProcess(pi.hProcess, &code);
          return_code_ = static_cast<int32_t>(code);
          break;
        }
        if (Application) {
          Application->ProcessMessages();
          if (Application->Terminated()) break;
        }
      }
    }
    if (OnFinish) OnFinish(this);
  }
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  last_result_ = zre_OK;
  last_error_ = 0;
}
