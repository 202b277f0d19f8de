#include "music/rt_bass.h"

#include "platform/win/library.h"

namespace {

// Looks every name up in order; false (and nothing kept loaded) when one
// is missing.
template <class Bind>
bool Load(HMODULE& handle, const std::string& folder, const std::string& file, Bind bind) {
  if (handle) return true;
  std::string path = folder;
  if (path.empty() || path.back() != '\\') path += '\\';
  path += file;
  HMODULE m = LoadLibraryA(path.c_str());
  if (!m) return false;
  if (!bind(m)) {
    FreeLibrary(m);
    return false;
  }
  handle = m;
  return true;
}

}  // namespace

namespace RT_bass {
#define TAL_DEFINE_CALLED(name, type) name##_t* name = nullptr;
#define TAL_DEFINE_BOUND(name) FARPROC name = nullptr;
TAL_BASS_NAMES(TAL_DEFINE_CALLED, TAL_DEFINE_BOUND)
HMODULE BASSHandle = nullptr;

// Addresses into an unloaded library would point at nothing.
#define TAL_CLEAR_CALLED(name, type) name = nullptr;
#define TAL_CLEAR_BOUND(name) name = nullptr;
static void Clear() {
  TAL_BASS_NAMES(TAL_CLEAR_CALLED, TAL_CLEAR_BOUND)
}

bool LoadBASS(const std::string& Folder, const std::string& FileName) {
  return Load(BASSHandle, Folder, FileName, [](HMODULE m) {
    bool all = true;
#define TAL_BIND_CALLED(name, type) \
  all = (name = ProcAs<name##_t*>(GetProcAddress(m, #name))) && all;
#define TAL_BIND_BOUND(name) all = (name = GetProcAddress(m, #name)) && all;
    TAL_BASS_NAMES(TAL_BIND_CALLED, TAL_BIND_BOUND)
    if (!all) Clear();
    return all;
  });
}

void FreeBASS() {
  if (BASSHandle) {
    if (BASS_Free) BASS_Free();
    FreeLibrary(BASSHandle);
    Clear();
  }
  BASSHandle = nullptr;
}
}  // namespace RT_bass

namespace RT_BASSWMA {
TAL_BASSWMA_NAMES(TAL_DEFINE_CALLED, TAL_DEFINE_BOUND)
HMODULE BASSWMAHandle = nullptr;

static void Clear() {
  TAL_BASSWMA_NAMES(TAL_CLEAR_CALLED, TAL_CLEAR_BOUND)
}

bool LoadBASSWMA(const std::string& Folder, const std::string& FileName) {
  return Load(BASSWMAHandle, Folder, FileName, [](HMODULE m) {
    bool all = true;
    TAL_BASSWMA_NAMES(TAL_BIND_CALLED, TAL_BIND_BOUND)
    if (!all) Clear();
    return all;
  });
}

void FreeBASSWMA() {
  if (BASSWMAHandle) {
    FreeLibrary(BASSWMAHandle);
    Clear();
  }
  BASSWMAHandle = nullptr;
}
}  // namespace RT_BASSWMA
