#include "engine/directx/directx.h"

#include <cmath>
#include <utility>
#include <vector>

#include "platform/win/library.h"

// Floating point never traps here by default: invalid operations and
// divisions by zero already give NaN or infinity, which is what the engine
// expects, so nothing needs masking at start-up.
//
// Nor is the processor's clock rate measured at start: nothing reads it, and
// the measurement would cost a second at every start.

// ---- Libraries by name -------------------------------------------------------

namespace {

struct TCachedLibrary {
  std::string Key;  // the name, case-folded
  HMODULE Module;
};

std::vector<TCachedLibrary>& Cache() {
  static auto* c = new std::vector<TCachedLibrary>;
  return *c;
}

// The libraries stay loaded for the whole run and go at exit.
struct TFreeAtExit {
  ~TFreeAtExit() {
    FreeDirectXLibraries();
    FreeDirectXBinding();
  }
} g_free_at_exit;

}  // namespace

FARPROC LoadDirectXEntry(const std::string& LibraryName, const std::string& ProcName) {
  std::string key = LowerCase(LibraryName);
  HMODULE module = nullptr;
  for (const auto& c : Cache()) {
    if (c.Key == key) {
      module = c.Module;
      break;
    }
  }
  if (!module) {
    module = LoadLibraryA(LibraryName.c_str());
    if (!module) Raise<Exception>("%s is not loaded", LibraryName);
    Cache().push_back({key, module});
  }
  FARPROC proc = GetProcAddress(module, ProcName.c_str());
  if (!proc) Raise<Exception>("%s is not loaded", LibraryName);
  return proc;
}

void FreeDirectXLibraries() {
  auto& cache = Cache();
  for (const auto& c : cache) FreeLibrary(c.Module);
  cache.clear();
}

namespace {
std::vector<HMODULE>& Binding() {
  static auto* b = new std::vector<HMODULE>;
  return *b;
}
}  // namespace

void LoadDirectXBinding(TDirectXBindingSet Set) {
  FreeDirectXBinding();
  // The platform's setup library is found through a registry value that
  // does not exist here; its name stays empty and its load fails quietly.
  static const char* const kGame[] = {"DDraw.dll", "DInput.dll", "DPlayX.dll", "", "DSound.dll"};
  static const char* const kSetup[] = {"DDraw.dll", "D3DXOF.DLL", "DSound.dll", "DInput.dll"};
  auto load = [](const char* name) {
    if (HMODULE m = LoadLibraryA(name)) Binding().push_back(m);
  };
  if (Set == dbGame)
    for (const char* n : kGame) load(n);
  else
    for (const char* n : kSetup) load(n);
}

void FreeDirectXBinding() {
  for (HMODULE m : Binding()) FreeLibrary(m);
  Binding().clear();
}

// ---- Wrapper base ----------------------------------------------------------------

void TDirectX::SetResultCode(HRESULT Value) {
  result_code_ = Value;
  if (Value != 0) CheckResult();
}

// ---- Shared routines ----------------------------------------------------------------

const double (&CosineTable)[256] = TurnCosines();

double CosineStep(uint8_t Angle) {
  return TurnCosines()[Angle];
}

double SineStep(uint8_t Angle) {
  return TurnCosines()[(Angle + 192) & 255];
}

uint32_t D3DRGB(float R, float G, float B) {
  // A fraction outside 0..1 would spill into the neighbouring channel; each
  // channel is kept to its byte instead.
  auto channel = [](float f) -> uint32_t {
    int32_t v = Round(static_cast<double>(f) * 255.0);
    return static_cast<uint32_t>(v < 0 ? 0 : v > 255 ? 255 : v);
  };
  return 0xFF000000u | (channel(R) << 16) | (channel(G) << 8) | channel(B);
}

// ---- Window-procedure hook ---------------------------------------------------------

TControlSubClass::TControlSubClass(TControl* Control, THandler Handler) : control_(Control) {
  if (!control_) return;
  hook_ = control_->AddWindowHook(
      [handler = std::move(Handler)](TMessage& Message, const TWndMethod& Previous) {
        handler(Message, Previous);
      });
}
