// Libraries by name. The platform's multimedia services are built into the
// program as modules registered under the names the engine asks for
// ("DDraw.dll", "DSound.dll", "DInput.dll"); any other name is looked up as a
// shared library in the program's folder ("bass.dll" -> "libbass.so").
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/win/wintypes.h"

struct TModuleExport {
  std::string Name;
  FARPROC Proc;
};

// Registers (or replaces) a built-in module. Names compare without regard to
// case, as the platform's library names do.
void RegisterBuiltinModule(const std::string& Name, std::vector<TModuleExport> Exports);
// Removes a built-in module so that loading it fails (tests reach the
// "not loaded" paths this way). Handles already handed out stay valid.
void UnregisterBuiltinModule(const std::string& Name);
bool IsBuiltinModule(const std::string& Name);

// Loads a library by name; nullptr when it cannot be found. Each successful
// call must be matched by FreeLibrary.
HMODULE LoadLibraryA(const char* Name);
// nullptr when the module has no such export.
FARPROC GetProcAddress(HMODULE Module, const char* ProcName);
BOOL FreeLibrary(HMODULE Module);

// The shared-library file that stands for a library name: "bass.dll" ->
// "<program folder>/libbass.so". Names with a folder keep it.
std::string SharedLibraryPath(const std::string& Name);
// The folder of the running program, with a trailing '/'.
std::string ProgramFolder();
// Makes Folder stand for the program's folder (tests; "" puts the real one
// back).
void SetProgramFolder(const std::string& Folder);

// Casts an export to the function type the caller expects.
template <class F>
F ProcAs(FARPROC P) {
  return reinterpret_cast<F>(P);
}
