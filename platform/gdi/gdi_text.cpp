// Text output: faces found by fontconfig, glyphs rendered by FreeType with
// anti-aliasing, blended into the context's pixels.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <mutex>
#include <tuple>
#include <vector>

#include "platform/gdi/gdi.h"
#include "platform/gdi/gdi_fontres.h"
#include "platform/win/codepage.h"
#include "platform/win/paths.h"

namespace {

std::string Lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

struct TFamilyMap {
  const char* Windows;
  const char* Family;
  bool Condensed;
};

// Metric-compatible stand-ins for the classic Windows families; display
// faces take the nearest condensed bold face.
const TFamilyMap kFamilies[] = {
    {"ms sans serif", "Liberation Sans", false}, {"arial", "Liberation Sans", false},
    {"tahoma", "Liberation Sans", false},        {"verdana", "DejaVu Sans", false},
    {"helvetica", "Liberation Sans", false},     {"times new roman", "Liberation Serif", false},
    {"ms serif", "Liberation Serif", false},     {"courier new", "Liberation Mono", false},
    {"courier", "Liberation Mono", false},       {"impact", "DejaVu Sans", true},
    {"arial narrow", "DejaVu Sans", true},       {"arial black", "DejaVu Sans", true},
};

class TFontCache {
 public:
  static TFontCache& Get() {
    static TFontCache cache;
    return cache;
  }

  std::mutex Lock;

  std::string Resolve(const std::string& Name, TFontStyles Style) {
    auto key = std::make_pair(Lower(Name), Style);
    auto it = files_.find(key);
    if (it != files_.end()) return it->second;
    std::string family = Name.empty() ? "Liberation Sans" : Name;
    bool condensed = false;
    for (const auto& m : kFamilies) {
      if (key.first == m.Windows) {
        family = m.Family;
        condensed = m.Condensed;
      }
    }
    std::string file;
    if (!config_) config_ = FcInitLoadConfigAndFonts();
    if (config_) {
      FcPattern* pat = FcPatternCreate();
      FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
      FcPatternAddInteger(pat, FC_WEIGHT,
                          (Style & fsBold) || condensed ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
      FcPatternAddInteger(pat, FC_SLANT, (Style & fsItalic) ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
      if (condensed) FcPatternAddInteger(pat, FC_WIDTH, FC_WIDTH_CONDENSED);
      FcConfigSubstitute(config_, pat, FcMatchPattern);
      FcDefaultSubstitute(pat);
      FcResult res;
      FcPattern* match = FcFontMatch(config_, pat, &res);
      if (match) {
        FcChar8* path = nullptr;
        if (FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path)
          file = reinterpret_cast<const char*>(path);
        FcPatternDestroy(match);
      }
      FcPatternDestroy(pat);
    }
    files_[key] = file;
    return file;
  }

  // The face at the font's pixel size, or nil when no font file exists.
  FT_Face Face(const TGdiFont& Font) {
    if (!lib_ && FT_Init_FreeType(&lib_) != 0) return nullptr;
    std::string file = Resolve(Font.Name, Font.Style);
    if (file.empty()) return nullptr;
    auto it = faces_.find(file);
    FT_Face face = nullptr;
    if (it == faces_.end()) {
      if (FT_New_Face(lib_, file.c_str(), 0, &face) != 0) face = nullptr;
      faces_[file] = face;
    } else {
      face = it->second;
    }
    if (!face) return nullptr;
    int h = Font.Height == 0 ? -13 : Font.Height;
    FT_UInt em;
    if (h < 0) {
      em = static_cast<FT_UInt>(-h);
    } else {
      // A positive height is the cell: ascent plus descent.
      double cell = static_cast<double>(face->ascender - face->descender);
      em = static_cast<FT_UInt>(std::max(
          1L, std::lround(h * face->units_per_EM / (cell > 0 ? cell : face->units_per_EM))));
    }
    FT_Set_Pixel_Sizes(face, 0, std::max<FT_UInt>(em, 1));
    return face;
  }

  // Font files the program added, which font lookups find besides the
  // system's fonts.
  int AddFile(const std::string& File) {
    if (!config_) config_ = FcInitLoadConfigAndFonts();
    if (!config_ ||
        !FcConfigAppFontAddFile(config_, reinterpret_cast<const FcChar8*>(File.c_str())))
      return 0;
    added_.push_back(File);
    files_.clear();
    return 1;
  }

  bool RemoveFile(const std::string& File) {
    auto it = std::find(added_.begin(), added_.end(), File);
    if (it == added_.end() || !config_) return false;
    added_.erase(it);
    // The font library removes only all added files at once.
    FcConfigAppFontClear(config_);
    for (const auto& f : added_)
      FcConfigAppFontAddFile(config_, reinterpret_cast<const FcChar8*>(f.c_str()));
    files_.clear();
    return true;
  }

  ~TFontCache() {
    for (auto& [file, face] : faces_)
      if (face) FT_Done_Face(face);
    if (lib_) FT_Done_FreeType(lib_);
    if (config_) {
      FcConfigDestroy(config_);
      FcFini();
    }
  }

 private:
  FT_Library lib_ = nullptr;
  FcConfig* config_ = nullptr;
  std::map<std::pair<std::string, TFontStyles>, std::string> files_;
  std::map<std::string, FT_Face> faces_;
  std::vector<std::string> added_;
};

struct TLineMetrics {
  int Ascent = 0, Descent = 0;
};

TLineMetrics Metrics(FT_Face face) {
  TLineMetrics m;
  m.Ascent = static_cast<int>((face->size->metrics.ascender + 63) >> 6);
  m.Descent = static_cast<int>((-face->size->metrics.descender + 63) >> 6);
  return m;
}

}  // namespace

std::string GdiResolveFontFile(const std::string& Name, TFontStyles Style) {
  auto& cache = TFontCache::Get();
  std::lock_guard<std::mutex> g(cache.Lock);
  return cache.Resolve(Name, Style);
}

TGdiTextMetric GdiTextMetrics(const TGdiFont& Font) {
  auto& cache = TFontCache::Get();
  std::lock_guard<std::mutex> g(cache.Lock);
  TGdiTextMetric tm;
  FT_Face face = cache.Face(Font);
  if (!face) return tm;
  TLineMetrics m = Metrics(face);
  tm.Ascent = m.Ascent;
  tm.Descent = m.Descent;
  tm.Height = m.Ascent + m.Descent;
  tm.InternalLeading = std::max(0, tm.Height - static_cast<int>(face->size->metrics.y_ppem));
  tm.AveCharWidth = static_cast<int>((face->size->metrics.max_advance >> 6) / 2);
  return tm;
}

TSize TDeviceContext::TextExtent(const std::string& Text) {
  auto& cache = TFontCache::Get();
  std::lock_guard<std::mutex> g(cache.Lock);
  FT_Face face = cache.Face(Font);
  if (!face) return TSize{};
  TLineMetrics m = Metrics(face);
  int width = 0;
  for (unsigned char ch : Text) {
    if (FT_Load_Char(face, AnsiToCode(ch), FT_LOAD_DEFAULT) != 0) continue;
    width += static_cast<int>((face->glyph->advance.x + 32) >> 6);
  }
  return TSize{width, m.Ascent + m.Descent};
}

void TDeviceContext::TextOut(int X, int Y, const std::string& Text) {
  if (!bits_) return;
  TSize ext = TextExtent(Text);
  if (BkMode == OPAQUE) FillSolid(TRect{X, Y, X + ext.cx, Y + ext.cy}, BkColor);
  auto& cache = TFontCache::Get();
  std::lock_guard<std::mutex> g(cache.Lock);
  FT_Face face = cache.Face(Font);
  if (!face) return;
  TLineMetrics m = Metrics(face);
  int pen = X;
  int baseline = Y + m.Ascent;
  TColor color = ColorToRGB(Font.Color);
  for (unsigned char ch : Text) {
    if (FT_Load_Char(face, AnsiToCode(ch), FT_LOAD_RENDER) != 0) continue;
    FT_GlyphSlot gs = face->glyph;
    const FT_Bitmap& bm = gs->bitmap;
    int gx = pen + gs->bitmap_left, gy = baseline - gs->bitmap_top;
    for (unsigned r = 0; r < bm.rows; ++r) {
      const unsigned char* src = bm.buffer + static_cast<std::ptrdiff_t>(r) * bm.pitch;
      for (unsigned c = 0; c < bm.width; ++c) {
        uint8_t cov;
        if (bm.pixel_mode == FT_PIXEL_MODE_MONO)
          cov = (src[c >> 3] & (0x80 >> (c & 7))) ? 255 : 0;
        else
          cov = src[c];
        BlendPixel(gx + static_cast<int>(c), gy + static_cast<int>(r), color, cov);
      }
    }
    pen += static_cast<int>((gs->advance.x + 32) >> 6);
  }
  uint32_t p = ColorToPixel(color);
  if (Font.Style & fsUnderline) HLine(X, pen, baseline + 1, p);
  if (Font.Style & fsStrikeOut) HLine(X, pen, baseline - m.Ascent / 3, p);
}

int AddFontResourceA(const char* FileName) {
  if (!FileName || !*FileName) return 0;
  TFontCache& c = TFontCache::Get();
  std::lock_guard g(c.Lock);
  return c.AddFile(NativePath(FileName));
}

BOOL RemoveFontResourceA(const char* FileName) {
  if (!FileName || !*FileName) return FALSE;
  TFontCache& c = TFontCache::Get();
  std::lock_guard g(c.Lock);
  return c.RemoveFile(NativePath(FileName)) ? TRUE : FALSE;
}
