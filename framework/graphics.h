// The graphic base class, the registry of graphic classes (by class name, by
// file extension and by clipboard format), the picture container, and the
// logical palettes that graphics hand out.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/classes.h"
#include "framework/types.h"
#include "platform/win/clipboard.h"

class TCanvas;
class TGraphic;

// ---- Colour-table and palette entries ---------------------------------------

// A palette entry of a logical palette: red, green, blue, flags (the same
// four bytes as a DirectDraw palette entry).
struct TPaletteEntry {
  uint8_t peRed = 0, peGreen = 0, peBlue = 0, peFlags = 0;
  friend bool operator==(const TPaletteEntry&, const TPaletteEntry&) = default;
};
static_assert(sizeof(TPaletteEntry) == 4);

// ---- Logical palettes ---------------------------------------------------------

// A logical palette object. Whoever creates one owns it and frees it with
// DeletePaletteHandle; nullptr stands for "no palette".
struct TLogicalPalette {
  uint16_t Version = 0x300;
  std::vector<TPaletteEntry> Entries;
};
using TPaletteHandle = TLogicalPalette*;

// Makes a palette of Count entries (at most 256; fewer than 1 gives nullptr).
TPaletteHandle CreatePaletteHandle(const TPaletteEntry* Entries, int Count);
void DeletePaletteHandle(TPaletteHandle Palette);
// Copies up to Count entries from Start; returns how many were copied.
int GetPaletteHandleEntries(TPaletteHandle Palette, int Start, int Count, TPaletteEntry* Out);

// ---- The graphic base ---------------------------------------------------------

class TGraphic : public TPersistent {
 public:
  TAL_CLASS_NAME(TGraphic)
  TGraphic() = default;
  ~TGraphic() override = default;
  TGraphic(const TGraphic&) = delete;
  TGraphic& operator=(const TGraphic&) = delete;

  bool Empty() const { return GetEmpty(); }
  int32_t Width() const { return GetWidth(); }
  int32_t Height() const { return GetHeight(); }
  void Width(int32_t Value) { SetWidth(Value); }
  void Height(int32_t Value) { SetHeight(Value); }

  virtual bool GetEmpty() const = 0;
  virtual int32_t GetWidth() const = 0;
  virtual int32_t GetHeight() const = 0;
  virtual void SetWidth(int32_t Value) = 0;
  virtual void SetHeight(int32_t Value) = 0;
  // The graphic keeps ownership of the handle it returns.
  virtual TPaletteHandle GetPalette() { return nullptr; }
  // The graphic takes ownership of the handle it is given.
  virtual void SetPalette(TPaletteHandle Value);

  // Draws the graphic stretched into Rect of the canvas.
  virtual void Draw(TCanvas* ACanvas, const TRect& Rect) = 0;

  virtual void LoadFromStream(TStream& Stream) = 0;
  virtual void SaveToStream(TStream& Stream) = 0;
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName);
  // The graphic's data as stored inside a picture property (no file header).
  virtual void ReadData(TStream& Stream) { LoadFromStream(Stream); }
  virtual void WriteData(TStream& Stream) { SaveToStream(Stream); }

  virtual void LoadFromClipboardFormat(uint16_t Format, const TClipboardData& Data,
                                       TPaletteHandle Palette);
  virtual void SaveToClipboardFormat(uint16_t& Format, TClipboardData& Data,
                                     TPaletteHandle& Palette);

  bool Modified() const { return modified_; }
  void SetModified(bool Value);
  bool PaletteModified() const { return palette_modified_; }
  void SetPaletteModified(bool Value) { palette_modified_ = Value; }
  bool Transparent() const { return transparent_; }
  virtual void SetTransparent(bool Value);

  TNotifyEvent OnChange;

 protected:
  // Marks the graphic modified and tells OnChange.
  virtual void Changed(TObject* Sender);

 private:
  bool modified_ = false;
  bool palette_modified_ = false;
  bool transparent_ = false;
};

// ---- Graphic classes ------------------------------------------------------------

struct TGraphicClass {
  std::string Name;  // the class name, as streamed in pictures
  std::function<std::unique_ptr<TGraphic>()> Create;
};

// Registers a class under its name; a later registration of the same name
// hides the earlier one until it is unregistered.
void RegisterGraphicClass(const std::string& Name,
                          std::function<std::unique_ptr<TGraphic>()> Create);
// Finds a class by exact name, the last registered first; nullptr if none.
const TGraphicClass* FindGraphicClass(const std::string& Name);

// ---- The picture container --------------------------------------------------------

// Holds one owned graphic (or none) and knows which graphic class serves a
// file extension or a clipboard format.
class TPicture : public TPersistent {
 public:
  TAL_CLASS_NAME(TPicture)
  TPicture() = default;
  ~TPicture() override;
  TPicture(const TPicture&) = delete;
  TPicture& operator=(const TPicture&) = delete;

  TGraphic* Graphic() const { return graphic_.get(); }
  // Copies Value into a new graphic of its class (nullptr empties the picture).
  void SetGraphic(TGraphic* Value);
  // Takes ownership of Value as the picture's graphic.
  void TakeGraphic(std::unique_ptr<TGraphic> Value);
  int32_t Width() const { return graphic_ ? graphic_->Width() : 0; }
  int32_t Height() const { return graphic_ ? graphic_->Height() : 0; }

  // Loads a file through the class registered for its extension; raises
  // EInvalidGraphic "Unknown picture file extension (.%s)" for others.
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName);
  // Raises EInvalidGraphic "Unsupported clipboard format" for unknown formats.
  void LoadFromClipboardFormat(uint16_t Format, const TClipboardData& Data, TPaletteHandle Palette);
  void SaveToClipboardFormat(uint16_t& Format, TClipboardData& Data, TPaletteHandle& Palette);
  static bool SupportsClipboardFormat(uint16_t Format);

  void Assign(TPersistent* Source) override;

  // Extensions are given without the dot and compared ignoring case.
  static void RegisterFileFormat(const std::string& Extension, const std::string& Description,
                                 const std::string& ClassName);
  static void RegisterClipboardFormat(uint16_t Format, const std::string& ClassName);
  // Removes every file and clipboard registration of the class and the class itself.
  static void UnregisterGraphicClass(const std::string& ClassName);
  // The class name registered for an extension ("" when none), the last registered first.
  static std::string FileFormatClass(const std::string& Extension);
  static std::string FileFormatDescription(const std::string& Extension);

  TNotifyEvent OnChange;

 protected:
  void AssignTo(TPersistent* Dest) override;

 private:
  void Changed();
  std::unique_ptr<TGraphic> graphic_;
};
