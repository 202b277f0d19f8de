#include "engine/draw/pictures.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "engine/dib/dib.h"
#include "engine/directx/load_report.h"

// ---- Cutting -------------------------------------------------------------------

namespace {

// Whole cells across Size: a last cell counts without its trailing gap.
int64_t CellCount(int64_t Size, int64_t Cell, int64_t Skip) {
  return (Size + Skip) / (Cell + Skip);
}

bool CuttableShape(int32_t PW, int32_t PH, int32_t W, int32_t H, int32_t SW, int32_t SH) {
  // An empty picture or cell, or a negative gap, would divide by zero or run
  // the cells backwards; such a picture simply has no patterns.
  return PW > 0 && PH > 0 && W > 0 && H > 0 && SW >= 0 && SH >= 0;
}

}  // namespace

int32_t CountPatterns(int32_t PW, int32_t PH, int32_t W, int32_t H, int32_t SW, int32_t SH) {
  if (!CuttableShape(PW, PH, W, H, SW, SH)) return 0;
  int64_t n = CellCount(PW, W, SW) * CellCount(PH, H, SH);
  return static_cast<int32_t>(std::min<int64_t>(n, INT32_MAX));
}

void CheckCut(int32_t PW, int32_t PH, int32_t W, int32_t H, int32_t SW, int32_t SH) {
  if (!CuttableShape(PW, PH, W, H, SW, SH)) return;
  const int64_t patterns = CellCount(PW, W, SW) * CellCount(PH, H, SH);
  if (patterns > MaxCutPatterns)
    Raise<EReadError>(
        "Invalid stream format: a picture of %d x %d cut into cells of %d x %d makes %lld "
        "patterns, more than %lld",
        PW, PH, W, H, static_cast<long long>(patterns), static_cast<long long>(MaxCutPatterns));
  // The surfaces of a cut cover the picture exactly once, whatever the tiles.
  if (int64_t{PW} * PH > MaxCutPixels)
    Raise<EReadError>(
        "Invalid stream format: a picture of %d x %d needs surfaces of more than %lld "
        "pixels",
        PW, PH, static_cast<long long>(MaxCutPixels));
}

TPictureCut CutPicture(int32_t PW, int32_t PH, int32_t W, int32_t H, int32_t SW, int32_t SH,
                       bool SystemMemory) {
  TPictureCut cut;
  if (!CuttableShape(PW, PH, W, H, SW, SH)) return cut;
  if (W == PW && H == PH) {
    cut.Surfaces.push_back(Rect(0, 0, PW, PH));
    cut.Patterns.push_back({Rect(0, 0, PW, PH), 0});
    return cut;
  }
  const int64_t cw = int64_t{W} + SW, ch = int64_t{H} + SH;
  const int64_t cols = CellCount(PW, W, SW), rows = CellCount(PH, H, SH);
  if (SystemMemory) {
    cut.Surfaces.push_back(Rect(0, 0, PW, PH));
    for (int64_t r = 0; r < rows; ++r)
      for (int64_t c = 0; c < cols; ++c)
        cut.Patterns.push_back(
            {Bounds(static_cast<int32_t>(c * cw), static_cast<int32_t>(r * ch), W, H), 0});
    return cut;
  }
  // Tiles: the most whole cells that fit in 2047 + one cell, but no more
  // cells than the picture has.
  const int64_t tw = std::min(cw * ((cw + 2047) / cw), cw * cols);
  const int64_t th = std::min(ch * ((ch + 2047) / ch), ch * rows);
  if (tw == 0 || th == 0) return cut;
  const int64_t tc = (PW + tw - 1) / tw, tr = (PH + th - 1) / th;
  for (int64_t y = 0; y < tr; ++y)
    for (int64_t x = 0; x < tc; ++x) {
      int64_t w = std::min(tw, PW - tw * x), h = std::min(th, PH - th * y);
      if (w == 0) w = tw;
      if (h == 0) h = th;
      cut.Surfaces.push_back(Bounds(static_cast<int32_t>(tw * x), static_cast<int32_t>(th * y),
                                    static_cast<int32_t>(w), static_cast<int32_t>(h)));
    }
  for (int64_t r = 0; r < rows; ++r)
    for (int64_t c = 0; c < cols; ++c)
      cut.Patterns.push_back(
          {Bounds(static_cast<int32_t>((c * cw) % tw), static_cast<int32_t>((r * ch) % th), W, H),
           static_cast<int>((c * cw) / tw + tc * ((r * ch) / th))});
  return cut;
}

// ---- Colour names ----------------------------------------------------------------

namespace {
struct TColorName {
  TColor Value;
  const char* Name;
};
constexpr TColorName kColorNames[] = {
    {0x000000, "clBlack"},
    {0x000080, "clMaroon"},
    {0x008000, "clGreen"},
    {0x008080, "clOlive"},
    {0x800000, "clNavy"},
    {0x800080, "clPurple"},
    {0x808000, "clTeal"},
    {0x808080, "clGray"},
    {0xC0C0C0, "clSilver"},
    {0x0000FF, "clRed"},
    {0x00FF00, "clLime"},
    {0x00FFFF, "clYellow"},
    {0xFF0000, "clBlue"},
    {0xFF00FF, "clFuchsia"},
    {0xFFFF00, "clAqua"},
    {0xC0C0C0, "clLtGray"},
    {0x808080, "clDkGray"},
    {0xFFFFFF, "clWhite"},
    {0xC0DCC0, "clMoneyGreen"},
    {0xF0CAA6, "clSkyBlue"},
    {0xF0FBFF, "clCream"},
    {0xA4A0A0, "clMedGray"},
    {0x1FFFFFFF, "clNone"},
    {0x20000000, "clDefault"},
    {TColor(0xFF000000), "clScrollBar"},
    {TColor(0xFF000001), "clBackground"},
    {TColor(0xFF000002), "clActiveCaption"},
    {TColor(0xFF000003), "clInactiveCaption"},
    {TColor(0xFF000004), "clMenu"},
    {TColor(0xFF000005), "clWindow"},
    {TColor(0xFF000006), "clWindowFrame"},
    {TColor(0xFF000007), "clMenuText"},
    {TColor(0xFF000008), "clWindowText"},
    {TColor(0xFF000009), "clCaptionText"},
    {TColor(0xFF00000A), "clActiveBorder"},
    {TColor(0xFF00000B), "clInactiveBorder"},
    {TColor(0xFF00000C), "clAppWorkSpace"},
    {TColor(0xFF00000D), "clHighlight"},
    {TColor(0xFF00000E), "clHighlightText"},
    {TColor(0xFF00000F), "clBtnFace"},
    {TColor(0xFF000010), "clBtnShadow"},
    {TColor(0xFF000011), "clGrayText"},
    {TColor(0xFF000012), "clBtnText"},
    {TColor(0xFF000013), "clInactiveCaptionText"},
    {TColor(0xFF000014), "clBtnHighlight"},
    {TColor(0xFF000015), "cl3DDkShadow"},
    {TColor(0xFF000016), "cl3DLight"},
    {TColor(0xFF000017), "clInfoText"},
    {TColor(0xFF000018), "clInfoBk"},
    {TColor(0xFF00001A), "clHotLight"},
    {TColor(0xFF00001B), "clGradientActiveCaption"},
    {TColor(0xFF00001C), "clGradientInactiveCaption"},
    {TColor(0xFF00001D), "clMenuHighlight"},
    {TColor(0xFF00001E), "clMenuBar"},
};
}  // namespace

bool IdentToColor(const std::string& Ident, TColor& Color) {
  for (const auto& c : kColorNames)
    if (SameText(Ident, c.Name)) {
      Color = c.Value;
      return true;
    }
  return false;
}

// ---- Picture item ----------------------------------------------------------------

TPictureCollectionItem::TPictureCollectionItem(TCollection* Collection)
    : THashCollectionItem(Collection), picture_(std::make_unique<TPicture>()) {}

TPictureCollectionItem::~TPictureCollectionItem() {
  initialized_ = false;
  ClearSurfaces();
}

TPictureCollection* TPictureCollectionItem::PictureCollection() const {
  return dynamic_cast<TPictureCollection*>(Collection());
}

void TPictureCollectionItem::Assign(TPersistent* Source) {
  auto* src = dynamic_cast<TPictureCollectionItem*>(Source);
  if (!src) {
    THashCollectionItem::Assign(Source);
    return;
  }
  if (src == this) return;
  bool was = initialized_;
  Finalize();
  PatternHeight = src->PatternHeight;
  PatternWidth = src->PatternWidth;
  SkipHeight = src->SkipHeight;
  SkipWidth = src->SkipWidth;
  SystemMemory = src->SystemMemory;
  Transparent = src->Transparent;
  transparent_color_ = src->transparent_color_;
  picture_->Assign(src->picture_.get());
  if (was) Restore();
}

bool TPictureCollectionItem::ReadProperty(const std::string& Name, TReader& Reader) {
  try {
    return ReadItemProperty(Name, Reader);
  } catch (Exception& e) {
    // The name usually comes first; before it, the item's place says which.
    AddFailurePlace(e, this->Name().empty() ? Format("picture %d", Index())
                                            : Format("picture '%s'", this->Name()));
    throw;
  }
}

bool TPictureCollectionItem::ReadItemProperty(const std::string& Name, TReader& Reader) {
  if (Name == "PatternHeight") {
    PatternHeight = Reader.ReadInteger();
  } else if (Name == "PatternWidth") {
    PatternWidth = Reader.ReadInteger();
  } else if (Name == "SkipHeight") {
    SkipHeight = Reader.ReadInteger();
  } else if (Name == "SkipWidth") {
    SkipWidth = Reader.ReadInteger();
  } else if (Name == "SystemMemory") {
    SystemMemory = Reader.ReadBoolean();
  } else if (Name == "Transparent") {
    Transparent = Reader.ReadBoolean();
  } else if (Name == "TransparentColor") {
    if (Reader.NextValue() == vaIdent) {
      std::string ident = Reader.ReadIdent();
      TColor c;
      if (!IdentToColor(ident, c)) Raise<EReadError>("Invalid property value");
      transparent_color_ = c;
    } else {
      transparent_color_ = Reader.ReadInteger();
    }
  } else if (Name == "Picture.Data") {
    std::vector<uint8_t> bytes = Reader.ReadBinary();
    TByteStream s(bytes.data(), bytes.size());
    if (bytes.empty()) {
      picture_->SetGraphic(nullptr);
      return true;
    }
    uint8_t n = bytes[0];
    if (size_t{n} + 1 > bytes.size()) Raise<EReadError>("Stream read error");
    std::string cls(reinterpret_cast<const char*>(bytes.data()) + 1, n);
    s.Seek(1 + n, soBeginning);
    const TGraphicClass* gc = FindGraphicClass(cls);
    if (!gc) {
      // A graphic class this program does not know: the picture stays empty
      // and the rest of its data is passed over.
      picture_->SetGraphic(nullptr);
      return true;
    }
    std::unique_ptr<TGraphic> g = gc->Create();
    g->ReadData(s);
    picture_->TakeGraphic(std::move(g));
  } else {
    return THashCollectionItem::ReadProperty(Name, Reader);
  }
  return true;
}

void TPictureCollectionItem::WriteProperties(TWriter& Writer) const {
  THashCollectionItem::WriteProperties(Writer);
  Writer.WriteInteger("PatternHeight", PatternHeight);
  Writer.WriteInteger("PatternWidth", PatternWidth);
  if (TGraphic* g = picture_->Graphic()) {
    Writer.WriteBinary("Picture.Data", [g](TStream& s) {
      std::string cls = g->ClassName();
      if (cls.size() > 63) cls.resize(63);
      uint8_t n = static_cast<uint8_t>(cls.size());
      s.WriteBuffer(&n, 1);
      s.WriteBuffer(cls.data(), n);
      g->WriteData(s);
    });
  }
  if (SkipHeight != 0) Writer.WriteInteger("SkipHeight", SkipHeight);
  if (SkipWidth != 0) Writer.WriteInteger("SkipWidth", SkipWidth);
  Writer.WriteBoolean("SystemMemory", SystemMemory);
  Writer.WriteBoolean("Transparent", Transparent);
  Writer.WriteInteger("TransparentColor", transparent_color_);
}

int32_t TPictureCollectionItem::Width() const {
  return PatternWidth > 0 ? PatternWidth : picture_->Width();
}
int32_t TPictureCollectionItem::Height() const {
  return PatternHeight > 0 ? PatternHeight : picture_->Height();
}

int32_t TPictureCollectionItem::GetPatternCount() {
  if (!surfaces_.empty()) return static_cast<int32_t>(patterns_.size());
  if (PatternWidth == 0) PatternWidth = picture_->Width();
  if (PatternHeight == 0) PatternHeight = picture_->Height();
  return CountPatterns(picture_->Width(), picture_->Height(), PatternWidth, PatternHeight,
                       SkipWidth, SkipHeight);
}

const TPictureCollectionItemPattern* TPictureCollectionItem::Pattern(int Index) const {
  if (Index < 0 || Index >= static_cast<int>(patterns_.size())) return nullptr;
  return &patterns_[static_cast<size_t>(Index)];
}

TRect TPictureCollectionItem::GetPatternRect(int Index) const {
  const TPictureCollectionItemPattern* p = Pattern(Index);
  return p ? p->Rect : TRect{};
}

TDirectDrawSurface* TPictureCollectionItem::GetPatternSurface(int Index) const {
  const TPictureCollectionItemPattern* p = Pattern(Index);
  return p ? p->Surface : nullptr;
}

void TPictureCollectionItem::ClearSurfaces() {
  patterns_.clear();
  surfaces_.clear();
}

void TPictureCollectionItem::Initialize() {
  Finalize();
  TPictureCollection* c = PictureCollection();
  initialized_ = c && c->Initialized();
}

void TPictureCollectionItem::Finalize() {
  if (!initialized_) return;
  initialized_ = false;
  ClearSurfaces();
}

const TPictureCollectionItemPattern* TPictureCollectionItem::DrawPattern(
    const TDirectDrawSurface* Dest, int PatternIndex) const {
  return Dest && initialized_ ? Pattern(PatternIndex) : nullptr;
}

// ---- Collection ----------------------------------------------------------------------

TPictureCollection::TPictureCollection(TPersistent* Owner) : THashCollection(Owner) {}

TPictureCollection::~TPictureCollection() {
  Finalize();
}

TPictureCollectionItem* TPictureCollection::Find(const std::string& Name) const {
  int i = IndexOfName(Name);
  if (i < 0) Raise<EPictureCollectionError>("Image '%s' not found", Name);
  return Items(i);
}

void TPictureCollection::MakeColorTable() {
  ColorTable = TRGBQuads{};
  bool used[256] = {};
  int count = 0;
  struct {
    int Index;
    uint8_t R, G, B;
  } fixed[] = {{0, 0, 0, 0},         {1, 128, 0, 0},     {2, 0, 128, 0},     {3, 128, 128, 0},
               {4, 0, 0, 128},       {5, 128, 0, 128},   {6, 0, 128, 128},   {7, 192, 192, 192},
               {248, 128, 128, 128}, {249, 255, 0, 0},   {250, 0, 255, 0},   {251, 255, 255, 0},
               {252, 0, 0, 255},     {253, 255, 0, 255}, {254, 0, 255, 255}, {255, 255, 255, 255}};
  for (const auto& f : fixed) {
    RGBQUAD& q = ColorTable[static_cast<size_t>(f.Index)];
    q.rgbRed = f.R;
    q.rgbGreen = f.G;
    q.rgbBlue = f.B;
    used[f.Index] = true;
    ++count;
  }
  auto add = [&](const RGBQUAD& c) {
    for (int j = 0; j < 256; ++j)
      if (used[j] && ColorTable[static_cast<size_t>(j)] == c) return;
    for (int j = 0; j < 256; ++j)
      if (!used[j]) {
        ColorTable[static_cast<size_t>(j)] = c;
        used[j] = true;
        ++count;
        return;
      }
  };
  for (int i = 0; i < Count() && count < 256; ++i) {
    TGraphic* g = Items(i)->Picture().Graphic();
    if (!g) continue;
    if (auto* dib = dynamic_cast<TDIB*>(g)) {
      // A bitmap of more than 8 bits has no colour table to give.
      if (dib->BitCount() <= 8 && dib->Image())
        for (const RGBQUAD& c : dib->Image()->ColorTable) add(c);
    } else if (TPaletteHandle pal = g->GetPalette()) {
      TPaletteEntries entries{};
      int n = GetPaletteHandleEntries(pal, 0, 256, entries.data());
      TRGBQuads quads{};
      PaletteEntriesToRGBQuads(entries, quads);
      for (int k = 0; k < n; ++k) add(quads[static_cast<size_t>(k)]);
    }
  }
}

void TPictureCollection::LoadFromFile(const std::string& FileName) {
  TFileStream f(FileName, fmOpenRead);
  Load(f, FileName);
}

void TPictureCollection::LoadFromStream(TStream& Stream) {
  Load(Stream, "");
}

void TPictureCollection::Load(TStream& Stream, const std::string& Source) {
  Clear();
  source_name_ = Source;
  // The items read before a fault are kept, and made usable like the rest:
  // a damaged end of an archive must not silence its beginning.
  std::exception_ptr failure;
  try {
    TPictureCollectionComponent carrier;
    carrier.List = this;
    ReadComponentResource(Stream, carrier);
  } catch (Exception& e) {
    AddFailurePlace(e, Source);
    failure = std::current_exception();
  }
  if (Initialized()) {
    Initialize(dxdraw_);
    Restore();
  }
  if (failure) std::rethrow_exception(failure);
}

void TPictureCollection::SaveToFile(const std::string& FileName) {
  TFileStream f(FileName, fmCreate);
  SaveToStream(f);
}

void TPictureCollection::SaveToStream(TStream& Stream) {
  TPictureCollectionComponent carrier;
  carrier.List = this;
  WriteComponentResource(Stream, "ValtorixPictureCollection", carrier);
}

// ---- Carrier ----------------------------------------------------------------------------

bool TPictureCollectionComponent::ReadProperty(const std::string& Name, TReader& Reader) {
  if (Name == "List.ColorTable") {
    std::vector<uint8_t> bytes = Reader.ReadBinary();
    if (bytes.size() < sizeof(TRGBQuads)) Raise<EReadError>("Stream read error");
    if (List) std::memcpy(List->ColorTable.data(), bytes.data(), sizeof(TRGBQuads));
    return true;
  }
  if (Name == "List") {
    if (List) Reader.ReadCollection(*List);
    return true;  // without a list the reader passes the value over
  }
  return TComponent::ReadProperty(Name, Reader);
}

void TPictureCollectionComponent::WriteProperties(TWriter& Writer) const {
  if (!List) return;
  Writer.WriteBinary("List.ColorTable", List->ColorTable.data(), sizeof(TRGBQuads));
  Writer.WriteCollection("List", *List);
}
