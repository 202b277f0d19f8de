#include "platform/win/library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <memory>
#include <set>

#include "platform/win/casefold.h"
#include "platform/win/paths.h"

namespace {

std::string Folded(const std::string& s) {
  std::string r(s);
  for (auto& c : r) c = static_cast<char>(CaseFold(static_cast<uint8_t>(c)));
  return r;
}

// One loaded library. Built-in modules keep a copy of their exports, so a
// module removed from the registry stays usable through handles already out.
struct TModuleRec {
  std::string Name;
  std::vector<TModuleExport> Exports;
  void* Dl = nullptr;
};

std::map<std::string, std::vector<TModuleExport>>& Registry() {
  static auto* r = new std::map<std::string, std::vector<TModuleExport>>;
  return *r;
}

std::set<TModuleRec*>& Live() {
  static auto* l = new std::set<TModuleRec*>;
  return *l;
}

std::string& FolderOverride() {
  static auto* f = new std::string;
  return *f;
}

}  // namespace

void RegisterBuiltinModule(const std::string& Name, std::vector<TModuleExport> Exports) {
  Registry()[Folded(Name)] = std::move(Exports);
}

void UnregisterBuiltinModule(const std::string& Name) {
  Registry().erase(Folded(Name));
}

bool IsBuiltinModule(const std::string& Name) {
  return Registry().count(Folded(Name)) != 0;
}

std::string ProgramFolder() {
  if (!FolderOverride().empty()) return FolderOverride();
  char buf[4096];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "./";
  std::string path(buf, static_cast<size_t>(n));
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "./" : path.substr(0, slash + 1);
}

void SetProgramFolder(const std::string& Folder) {
  std::string f = NativePath(Folder);
  if (!f.empty() && f.back() != '/') f += '/';
  FolderOverride() = f;
}

std::string SharedLibraryPath(const std::string& Name) {
  std::string path = NativePath(Name);
  size_t slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? ProgramFolder() : path.substr(0, slash + 1);
  std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string lower = Folded(file);
  if (lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".dll") == 0) {
    file = "lib" + lower.substr(0, lower.size() - 4) + ".so";
  }
  return folder + file;
}

HMODULE LoadLibraryA(const char* Name) {
  if (!Name || !*Name) return nullptr;
  auto rec = std::make_unique<TModuleRec>();
  rec->Name = Name;
  auto it = Registry().find(Folded(Name));
  if (it != Registry().end()) {
    rec->Exports = it->second;
  } else {
    rec->Dl = ::dlopen(SharedLibraryPath(Name).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!rec->Dl) return nullptr;
  }
  TModuleRec* raw = rec.release();
  Live().insert(raw);
  return reinterpret_cast<HMODULE>(raw);
}

FARPROC GetProcAddress(HMODULE Module, const char* ProcName) {
  auto* rec = reinterpret_cast<TModuleRec*>(Module);
  if (!rec || !ProcName || !Live().count(rec)) return nullptr;
  if (rec->Dl) return reinterpret_cast<FARPROC>(::dlsym(rec->Dl, ProcName));
  for (const auto& e : rec->Exports)
    if (e.Name == ProcName) return e.Proc;
  return nullptr;
}

BOOL FreeLibrary(HMODULE Module) {
  auto* rec = reinterpret_cast<TModuleRec*>(Module);
  if (!rec || !Live().erase(rec)) return FALSE;
  if (rec->Dl) ::dlclose(rec->Dl);
  delete rec;
  return TRUE;
}
