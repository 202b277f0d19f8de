#include "framework/graphics.h"

#include <algorithm>

// ---- Logical palettes ---------------------------------------------------------

TPaletteHandle CreatePaletteHandle(const TPaletteEntry* Entries, int Count) {
  if (Count < 1 || !Entries) return nullptr;
  Count = std::min(Count, 256);
  auto* p = new TLogicalPalette;
  p->Entries.assign(Entries, Entries + Count);
  return p;
}

void DeletePaletteHandle(TPaletteHandle Palette) {
  delete Palette;
}

int GetPaletteHandleEntries(TPaletteHandle Palette, int Start, int Count, TPaletteEntry* Out) {
  if (!Palette || !Out || Start < 0 || Count <= 0) return 0;
  const int have = static_cast<int>(Palette->Entries.size());
  if (Start >= have) return 0;
  const int n = std::min(Count, have - Start);
  std::copy_n(Palette->Entries.begin() + Start, n, Out);
  return n;
}

// ---- TGraphic -------------------------------------------------------------------

void TGraphic::SetPalette(TPaletteHandle Value) {
  DeletePaletteHandle(Value);
}

void TGraphic::LoadFromFile(const std::string& FileName) {
  TFileStream s(FileName, fmOpenRead);
  LoadFromStream(s);
}

void TGraphic::SaveToFile(const std::string& FileName) {
  TFileStream s(FileName, fmCreate);
  SaveToStream(s);
}

void TGraphic::LoadFromClipboardFormat(uint16_t, const TClipboardData&, TPaletteHandle) {
  Raise<EInvalidGraphic>("Unsupported clipboard format");
}

void TGraphic::SaveToClipboardFormat(uint16_t&, TClipboardData&, TPaletteHandle&) {
  Raise<EInvalidGraphic>("Unsupported clipboard format");
}

void TGraphic::SetModified(bool Value) {
  if (Value)
    Changed(this);
  else
    modified_ = false;
}

void TGraphic::SetTransparent(bool Value) {
  if (Value != transparent_) {
    transparent_ = Value;
    Changed(this);
  }
}

void TGraphic::Changed(TObject*) {
  modified_ = true;
  if (OnChange) OnChange(this);
}

// ---- Registries -----------------------------------------------------------------

namespace {
struct TFileFormat {
  std::string Extension, Description, ClassName;
};
struct TClipFormat {
  uint16_t Format;
  std::string ClassName;
};
struct TRegistry {
  std::vector<TGraphicClass> Classes;
  std::vector<TFileFormat> Files;
  std::vector<TClipFormat> Clips;
};
TRegistry& Registry() {
  static TRegistry r;
  return r;
}

std::unique_ptr<TGraphic> CreateGraphic(const std::string& ClassName) {
  const TGraphicClass* c = FindGraphicClass(ClassName);
  if (!c) Raise<EInvalidGraphic>("Unknown graphic class %s", ClassName);
  return c->Create();
}

std::string ExtensionOf(const std::string& FileName) {
  const auto slash = FileName.find_last_of("/\\");
  const auto dot = FileName.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return FileName.substr(dot + 1);
}
}  // namespace

void RegisterGraphicClass(const std::string& Name,
                          std::function<std::unique_ptr<TGraphic>()> Create) {
  Registry().Classes.push_back(TGraphicClass{Name, std::move(Create)});
}

const TGraphicClass* FindGraphicClass(const std::string& Name) {
  auto& v = Registry().Classes;
  for (auto it = v.rbegin(); it != v.rend(); ++it)
    if (it->Name == Name) return &*it;
  return nullptr;
}

void TPicture::RegisterFileFormat(const std::string& Extension, const std::string& Description,
                                  const std::string& ClassName) {
  // Kept as given: this runs during start-up, and lookups ignore case anyway.
  Registry().Files.push_back(TFileFormat{Extension, Description, ClassName});
}

void TPicture::RegisterClipboardFormat(uint16_t Format, const std::string& ClassName) {
  Registry().Clips.push_back(TClipFormat{Format, ClassName});
}

void TPicture::UnregisterGraphicClass(const std::string& ClassName) {
  auto& r = Registry();
  std::erase_if(r.Files, [&](const TFileFormat& f) { return f.ClassName == ClassName; });
  std::erase_if(r.Clips, [&](const TClipFormat& f) { return f.ClassName == ClassName; });
  std::erase_if(r.Classes, [&](const TGraphicClass& c) { return c.Name == ClassName; });
}

std::string TPicture::FileFormatClass(const std::string& Extension) {
  auto& v = Registry().Files;
  for (auto it = v.rbegin(); it != v.rend(); ++it)
    if (SameText(it->Extension, Extension)) return it->ClassName;
  return "";
}

std::string TPicture::FileFormatDescription(const std::string& Extension) {
  auto& v = Registry().Files;
  for (auto it = v.rbegin(); it != v.rend(); ++it)
    if (SameText(it->Extension, Extension)) return it->Description;
  return "";
}

bool TPicture::SupportsClipboardFormat(uint16_t Format) {
  auto& v = Registry().Clips;
  return std::any_of(v.begin(), v.end(), [&](const TClipFormat& f) { return f.Format == Format; });
}

// ---- TPicture ---------------------------------------------------------------------

TPicture::~TPicture() = default;

void TPicture::Changed() {
  if (OnChange) OnChange(this);
}

void TPicture::TakeGraphic(std::unique_ptr<TGraphic> Value) {
  graphic_ = std::move(Value);
  Changed();
}

void TPicture::SetGraphic(TGraphic* Value) {
  if (!Value) {
    TakeGraphic(nullptr);
    return;
  }
  auto g = CreateGraphic(Value->ClassName());
  g->Assign(Value);
  TakeGraphic(std::move(g));
}

void TPicture::LoadFromFile(const std::string& FileName) {
  const std::string ext = ExtensionOf(FileName);
  const std::string cls = FileFormatClass(ext);
  if (cls.empty()) Raise<EInvalidGraphic>("Unknown picture file extension (.%s)", ext);
  auto g = CreateGraphic(cls);
  g->LoadFromFile(FileName);
  TakeGraphic(std::move(g));
}

void TPicture::SaveToFile(const std::string& FileName) {
  if (graphic_) graphic_->SaveToFile(FileName);
}

void TPicture::LoadFromClipboardFormat(uint16_t Format, const TClipboardData& Data,
                                       TPaletteHandle Palette) {
  auto& v = Registry().Clips;
  for (auto it = v.rbegin(); it != v.rend(); ++it) {
    if (it->Format != Format) continue;
    auto g = CreateGraphic(it->ClassName);
    g->LoadFromClipboardFormat(Format, Data, Palette);
    TakeGraphic(std::move(g));
    return;
  }
  Raise<EInvalidGraphic>("Unsupported clipboard format");
}

void TPicture::SaveToClipboardFormat(uint16_t& Format, TClipboardData& Data,
                                     TPaletteHandle& Palette) {
  if (graphic_) graphic_->SaveToClipboardFormat(Format, Data, Palette);
}

void TPicture::Assign(TPersistent* Source) {
  if (!Source) {
    TakeGraphic(nullptr);
  } else if (auto* p = dynamic_cast<TPicture*>(Source)) {
    SetGraphic(p->Graphic());
  } else if (auto* g = dynamic_cast<TGraphic*>(Source)) {
    SetGraphic(g);
  } else {
    TPersistent::Assign(Source);
  }
}

void TPicture::AssignTo(TPersistent* Dest) {
  if (graphic_)
    Dest->Assign(graphic_.get());
  else
    TPersistent::AssignTo(Dest);
}
