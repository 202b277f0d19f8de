// Starting programs and waiting for them, shaped like the original
// platform's calls. A command line is split by that platform's rules; the
// program (its first word) is looked for in the starting program's folder,
// then the current directory, then PATH, and a name ending ".exe" also finds
// the file without it. The child gets the caller's environment and current
// directory (unless one is given) and only the three standard descriptors.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win/wintypes.h"

using HANDLE = void*;

struct STARTUPINFOA {
  DWORD cb = 0;
  DWORD dwFlags = 0;
  WORD wShowWindow = 0;
};
constexpr DWORD STARTF_USESHOWWINDOW = 0x1;
constexpr DWORD CREATE_NEW_CONSOLE = 0x10;
constexpr DWORD NORMAL_PRIORITY_CLASS = 0x20;

struct PROCESS_INFORMATION {
  HANDLE hProcess = nullptr;
  HANDLE hThread = nullptr;
  DWORD dwProcessId = 0;
  DWORD dwThreadId = 0;
};

// Error codes of the original platform that process start reports.
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_BAD_EXE_FORMAT = 193;

constexpr DWORD STILL_ACTIVE = 259;
constexpr DWORD INFINITE = 0xFFFFFFFFu;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;

// ApplicationName must be nullptr (the program is the command line's first
// word). CurrentDirectory nullptr = the caller's. FALSE with GetLastError
// set when the program cannot be started.
BOOL CreateProcessA(const char* ApplicationName, const char* CommandLine, BOOL InheritHandles,
                    DWORD CreationFlags, const char* CurrentDirectory,
                    const STARTUPINFOA* StartupInfo, PROCESS_INFORMATION* ProcessInformation);
// WAIT_OBJECT_0 once the process has ended, WAIT_TIMEOUT when Ms passed.
DWORD WaitForSingleObject(HANDLE Process, DWORD Ms);
// STILL_ACTIVE while it runs; a program ended by a signal gives 128 + the
// signal's number.
BOOL GetExitCodeProcess(HANDLE Process, DWORD* ExitCode);
// A process closed before it was seen to end is reaped later, without
// waiting, so no finished child lingers.
BOOL CloseHandle(HANDLE Handle);
DWORD GetLastError();
void SetLastError(DWORD Code);

// The words of a command line by the original platform's rules: blanks
// separate words outside quotes; 2n backslashes before a quote give n
// backslashes and the quote delimits; 2n+1 give n and a literal quote; other
// backslashes are literal.
std::vector<std::string> SplitCommandLine(const std::string& Line);
// Where a program name is found ("" when nowhere), and the error code when
// it is not.
std::string FindProgram(const std::string& Name, DWORD& Error);
// The platform error code for an errno value.
DWORD ErrnoToWinError(int Errno);
