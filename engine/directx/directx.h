// The floor of the engine: binding the multimedia libraries by name, the
// common base of their object wrappers, and the small shared routines (rect
// overlap, the angle tables, colour packing, window-procedure hooks, hashed
// named collections).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "framework/classes.h"
#include "framework/controls.h"
#include "framework/sysutils.h"
#include "framework/types.h"
#include "platform/win/wintypes.h"

// ---- Libraries by name -------------------------------------------------------

// The entry point ProcName of LibraryName. The library is loaded on first use
// and kept (names compare without regard to case). Raises Exception
// "%s is not loaded" with the library name when the library cannot be loaded
// or lacks the entry point; nothing is kept then, so a later call tries again.
FARPROC LoadDirectXEntry(const std::string& LibraryName, const std::string& ProcName);
// Frees every library loaded by LoadDirectXEntry. Runs at program exit.
void FreeDirectXLibraries();

// The start-up binding of the multimedia libraries: loads them by name and
// keeps them until FreeDirectXBinding. Nothing calls through these handles
// and a library that is missing is simply not loaded; the game's set differs
// from the setup program's.
enum TDirectXBindingSet { dbGame, dbSetup };
void LoadDirectXBinding(TDirectXBindingSet Set);
void FreeDirectXBinding();

template <class F>
F LoadDirectXEntryAs(const std::string& LibraryName, const std::string& ProcName) {
  return reinterpret_cast<F>(LoadDirectXEntry(LibraryName, ProcName));
}

// ---- Wrapper base --------------------------------------------------------------

class TDirectX : public TPersistent {
 public:
  TAL_CLASS_NAME(TDirectX)
  HRESULT ResultCode() const { return result_code_; }
  // Stores Value; a failure code (non-zero) calls CheckResult. Raises nothing
  // itself.
  void SetResultCode(HRESULT Value);

 protected:
  virtual void CheckResult() {}

 private:
  HRESULT result_code_ = 0;
};

// ---- Shared routines --------------------------------------------------------------

// The cosine of i / 256 of a turn, i = 0..255. Start-up code that runs
// before main uses CosineStep and SineStep, which are always ready.
extern const double (&CosineTable)[256];
double CosineStep(uint8_t Angle);
double SineStep(uint8_t Angle);

constexpr uint32_t RGBA_MAKE(uint8_t R, uint8_t G, uint8_t B, uint8_t A) {
  return (uint32_t{A} << 24) | (uint32_t{R} << 16) | (uint32_t{G} << 8) | uint32_t{B};
}
constexpr uint32_t RGB_MAKE(uint8_t R, uint8_t G, uint8_t B) {
  return (uint32_t{R} << 16) | (uint32_t{G} << 8) | uint32_t{B};
}
// Opaque colour from three fractions, each rounded to nearest with halves to
// even; out-of-range fractions are clamped to a byte.
uint32_t D3DRGB(float R, float G, float B);

// ---- Window-procedure hook ---------------------------------------------------------

// Takes every message of a control before the control does. The handler
// gets the message and the procedure to pass it on to, and decides whether
// and when to call it. Freeing the hook puts the control's message path back
// as it would be without this hook, whatever other hooks came or went since.
class TControlSubClass {
 public:
  using THandler = std::function<void(TMessage& Message, const TWndMethod& DefWindowProc)>;
  TControlSubClass(TControl* Control, THandler Handler);
  ~TControlSubClass() = default;
  TControlSubClass(const TControlSubClass&) = delete;
  TControlSubClass& operator=(const TControlSubClass&) = delete;
  TControl* Control() const { return control_; }

 private:
  TControl* control_;
  TWindowHookHandle hook_;
};

// ---- Hashed named collections ---------------------------------------------------

// The bucket (0..255) of a name: (length shl 4) plus, for names of two or
// more characters, the case-folded codes of the first and second-to-last
// characters; the low 8 bits.
int NameHash(const std::string& Name);

class THashCollection;

class THashCollectionItem : public TCollectionItem {
 public:
  TAL_CLASS_NAME(THashCollectionItem)
  explicit THashCollectionItem(TCollection* Collection);
  ~THashCollectionItem() override;

  const std::string& Name() const { return name_; }
  void SetName(const std::string& Value);
  void Assign(TPersistent* Source) override;
  std::string GetDisplayName() const override;
  void SetIndex(int NewIndex) override;
  bool ReadProperty(const std::string& Name, TReader& Reader) override;
  void WriteProperties(TWriter& Writer) const override;

 private:
  friend class THashCollection;
  void AddHash();
  void DeleteHash();
  THashCollection* HashCollection() const;
  int hash_ = 0;
  int index_ = 0;
  std::string name_;
  THashCollectionItem* left_ = nullptr;   // previous in the bucket
  THashCollectionItem* right_ = nullptr;  // next in the bucket
};

class THashCollection : public TCollection {
 public:
  TAL_CLASS_NAME(THashCollection)
  explicit THashCollection(TPersistent* Owner = nullptr);
  ~THashCollection() override;
  // The index of the item named Name (case ignored; of equal names the one
  // linked last), or -1.
  int IndexOfName(const std::string& Name) const;

 protected:
  TCollectionItem* MakeItem() override { return new THashCollectionItem(this); }

 private:
  friend class THashCollectionItem;
  void Reindex();
  THashCollectionItem* buckets_[256] = {};
};
