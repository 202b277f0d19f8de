// What the music player's visualisation link needs of the platform, across
// processes: named shared memory and a named mutex, top-level windows found
// by class and title in other processes, and registered messages posted to
// them. Shared memory lives under POSIX shared memory, the mutex is a named
// semaphore, and a window published for other processes listens on a local
// socket named after its class and title.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win/process.h"
#include "platform/win/wintypes.h"

constexpr DWORD ERROR_ALREADY_EXISTS = 183;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_OWNER = 288;
constexpr DWORD PAGE_READONLY = 0x02;
constexpr DWORD PAGE_READWRITE = 0x04;
constexpr DWORD FILE_MAP_WRITE = 0x0002;
constexpr DWORD FILE_MAP_READ = 0x0004;
constexpr DWORD FILE_MAP_ALL_ACCESS = 0x000F001F;
inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(~uintptr_t{0});

// Every name below (mappings, mutexes, published windows) is taken within
// this namespace, so that separate runs (tests in parallel) never meet. Empty
// by default.
void SetIpcNamespace(const std::string& Namespace);
const std::string& IpcNamespace();

// A mapping on the paging file only (File must be INVALID_HANDLE_VALUE). A
// name that exists already gives a handle to that block and
// ERROR_ALREADY_EXISTS, unless its creator is gone (it held a lock on it for
// its lifetime): such a leftover is replaced by a new, zero-filled block.
HANDLE CreateFileMappingA(HANDLE File, void* Attributes, DWORD Protect, DWORD MaxSizeHigh,
                          DWORD MaxSizeLow, const char* Name);
// Opens an existing block by name; nullptr when there is none.
HANDLE OpenFileMappingA(DWORD Access, BOOL InheritHandle, const char* Name);
// Bytes 0 means the whole block.
void* MapViewOfFile(HANDLE Mapping, DWORD Access, DWORD OffsetHigh, DWORD OffsetLow, size_t Bytes);
BOOL UnmapViewOfFile(const void* View);
// Not initially owned unless asked; an existing name gives a handle to it
// and ERROR_ALREADY_EXISTS.
HANDLE CreateMutexA(void* Attributes, BOOL InitialOwner, const char* Name);
// FALSE with ERROR_NOT_OWNER when this handle does not own the mutex.
BOOL ReleaseMutex(HANDLE Mutex);
// Closes a mapping or mutex handle of this unit; false when Handle is none
// of them. CloseHandle (process.h) reaches it.
bool CloseIpcHandle(HANDLE Handle);

// Registered messages: one number per name within a process, from 0xC000.
UINT RegisterWindowMessageA(const char* Name);
// The name of a registered message; empty when Msg is none.
std::string RegisteredMessageName(UINT Msg);

// Lets other processes find Wnd by class and title. Posts that reach it
// from them arrive in its queue; a registered message arrives under this
// process's own number for its name. Undone by UnpublishWindow or when the
// window is destroyed.
BOOL PublishWindow(HWND Wnd, const char* ClassName, const char* Title);
void UnpublishWindow(HWND Wnd);
// A top-level window published by ClassName and Title, in this process or
// another; nullptr when none listens. A window of another process is a
// handle that only PostMessageA and IsRemoteWindow accept.
HWND FindWindowA(const char* ClassName, const char* Title);
bool IsRemoteWindow(HWND Wnd);
// PostMessageA (user.h) sends a post to another process's window here.
BOOL PostRemoteMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
