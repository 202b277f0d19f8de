#include "platform/gdi/gdi_draw.h"

#include <algorithm>
#include <map>

namespace {

// ---- Text layout ------------------------------------------------------------------

struct TTextLine {
  std::string Text;    // without prefix marks
  int Underline = -1;  // index in Text of the character "&" marked
};

TTextLine StripPrefix(const std::string& Line, bool Prefix) {
  TTextLine out;
  if (!Prefix) {
    out.Text = Line;
    return out;
  }
  for (size_t i = 0; i < Line.size(); ++i) {
    if (Line[i] == '&') {
      if (i + 1 < Line.size() && Line[i + 1] == '&') {
        out.Text += '&';
        ++i;
      } else if (i + 1 < Line.size()) {
        out.Underline = static_cast<int>(out.Text.size());
      }
      continue;
    }
    out.Text += Line[i];
  }
  return out;
}

struct TLayout {
  HDC DC;
  bool Tabs;
  int TabWidth;
  // Width of Text with tabs expanded from the line's start.
  int Width(const std::string& Text) const {
    if (!Tabs || Text.find('\t') == std::string::npos) return DC->TextExtent(Text).cx;
    int x = 0;
    size_t start = 0;
    while (true) {
      size_t tab = Text.find('\t', start);
      x += DC->TextExtent(Text.substr(start, tab - start)).cx;
      if (tab == std::string::npos) return x;
      x = TabWidth > 0 ? (x / TabWidth + 1) * TabWidth : x;
      start = tab + 1;
    }
  }
};

// Breaks one line into the lines that fit MaxWidth, between words; a word
// wider than the whole line stands alone.
std::vector<std::string> WrapLine(const TLayout& L, const std::string& Line, int MaxWidth) {
  std::vector<std::string> out;
  std::string rest = Line;
  while (!rest.empty()) {
    if (L.Width(rest) <= MaxWidth) {
      out.push_back(rest);
      break;
    }
    size_t cut = std::string::npos;
    for (size_t i = 1; i < rest.size(); ++i) {
      if (rest[i] != ' ') continue;
      if (L.Width(rest.substr(0, i)) <= MaxWidth)
        cut = i;
      else
        break;
    }
    if (cut == std::string::npos) {
      cut = rest.find(' ', 1);
      if (cut == std::string::npos) {
        out.push_back(rest);
        break;
      }
    }
    out.push_back(rest.substr(0, cut));
    size_t next = rest.find_first_not_of(' ', cut);
    rest = next == std::string::npos ? std::string() : rest.substr(next);
  }
  if (out.empty()) out.emplace_back();
  return out;
}

}  // namespace

int DrawTextA(HDC DC, const std::string& Text, int Count, TRect* Rect, uint32_t Format) {
  if (!DC || !Rect) return 0;
  std::string text = Count < 0 ? Text : Text.substr(0, std::min<size_t>(Text.size(), Count));
  TGdiTextMetric tm = GdiTextMetrics(DC->Font);
  TLayout layout{DC, (Format & DT_EXPANDTABS) != 0, tm.AveCharWidth * 8};
  bool prefix = !(Format & DT_NOPREFIX);

  std::vector<std::string> raw;
  if (Format & DT_SINGLELINE) {
    std::string one;
    for (char c : text)
      if (c != '\r' && c != '\n') one += c;
    raw.push_back(one);
  } else if (!text.empty()) {
    size_t start = 0;
    while (true) {
      size_t nl = text.find('\n', start);
      std::string line = text.substr(start, nl - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      raw.push_back(line);
      if (nl == std::string::npos) break;
      start = nl + 1;
    }
  }
  std::vector<TTextLine> lines;
  for (const std::string& r : raw) {
    TTextLine stripped = StripPrefix(r, prefix);
    if ((Format & DT_WORDBREAK) && !(Format & DT_SINGLELINE)) {
      // The marked character keeps its mark on whichever piece holds it.
      int mark = stripped.Underline;
      size_t pos = 0;
      for (std::string& piece : WrapLine(layout, stripped.Text, Rect->Width())) {
        size_t at = stripped.Text.find(piece, pos);
        TTextLine l{piece, -1};
        if (mark >= 0 && at != std::string::npos && static_cast<size_t>(mark) >= at &&
            static_cast<size_t>(mark) < at + piece.size())
          l.Underline = mark - static_cast<int>(at);
        if (at != std::string::npos) pos = at + piece.size();
        lines.push_back(l);
      }
    } else {
      lines.push_back(stripped);
    }
  }
  const int lineHeight = tm.Height;
  const int height = lineHeight * static_cast<int>(lines.size());
  if (Format & DT_CALCRECT) {
    int widest = 0;
    for (const TTextLine& l : lines) widest = std::max(widest, layout.Width(l.Text));
    Rect->Right = Rect->Left + widest;
    Rect->Bottom = Rect->Top + height;
    return height;
  }
  int y = Rect->Top;
  if (Format & DT_SINGLELINE) {
    if (Format & DT_BOTTOM)
      y = Rect->Bottom - lineHeight;
    else if (Format & DT_VCENTER)
      y = Rect->Top + (Rect->Height() - lineHeight) / 2;
  }
  TRect savedClip = DC->ClipRect();
  if (!(Format & DT_NOCLIP)) {
    DC->SetClipRect(TRect{std::max(savedClip.Left, Rect->Left), std::max(savedClip.Top, Rect->Top),
                          std::min(savedClip.Right, Rect->Right),
                          std::min(savedClip.Bottom, Rect->Bottom)});
  }
  for (const TTextLine& l : lines) {
    int w = layout.Width(l.Text);
    int x = Rect->Left;
    if (Format & DT_RIGHT)
      x = Rect->Right - w;
    else if (Format & DT_CENTER)
      x = Rect->Left + (Rect->Width() - w) / 2;
    if (layout.Tabs && l.Text.find('\t') != std::string::npos) {
      size_t start = 0;
      while (true) {
        size_t tab = l.Text.find('\t', start);
        std::string seg = l.Text.substr(start, tab - start);
        int segX = x + layout.Width(l.Text.substr(0, start));
        DC->TextOut(segX, y, seg);
        if (tab == std::string::npos) break;
        start = tab + 1;
      }
    } else {
      DC->TextOut(x, y, l.Text);
    }
    if (l.Underline >= 0 && static_cast<size_t>(l.Underline) < l.Text.size()) {
      int ux = x + layout.Width(l.Text.substr(0, static_cast<size_t>(l.Underline)));
      int uw = DC->TextExtent(l.Text.substr(static_cast<size_t>(l.Underline), 1)).cx;
      DC->FillSolid(TRect{ux, y + tm.Ascent + 1, ux + uw, y + tm.Ascent + 2}, DC->Font.Color);
    }
    y += lineHeight;
  }
  DC->SetClipRect(savedClip);
  return height;
}

// ---- Edges -------------------------------------------------------------------------

namespace {

void Ring(HDC DC, const TRect& R, TColor TopLeft, TColor BottomRight, uint32_t Flags) {
  if (R.Right <= R.Left || R.Bottom <= R.Top) return;
  if (Flags & BF_TOP) DC->FillSolid(TRect{R.Left, R.Top, R.Right, R.Top + 1}, TopLeft);
  if (Flags & BF_LEFT) DC->FillSolid(TRect{R.Left, R.Top, R.Left + 1, R.Bottom}, TopLeft);
  if (Flags & BF_BOTTOM) DC->FillSolid(TRect{R.Left, R.Bottom - 1, R.Right, R.Bottom}, BottomRight);
  if (Flags & BF_RIGHT) DC->FillSolid(TRect{R.Right - 1, R.Top, R.Right, R.Bottom}, BottomRight);
}

void Shrink(TRect& R, uint32_t Flags) {
  if (Flags & BF_LEFT) ++R.Left;
  if (Flags & BF_TOP) ++R.Top;
  if (Flags & BF_RIGHT) --R.Right;
  if (Flags & BF_BOTTOM) --R.Bottom;
}

}  // namespace

bool DrawEdge(HDC DC, TRect* Rect, uint32_t Edge, uint32_t Flags) {
  if (!DC || !Rect) return false;
  TRect r = *Rect;
  uint32_t outer = Edge & (BDR_RAISEDOUTER | BDR_SUNKENOUTER);
  uint32_t inner = Edge & (BDR_RAISEDINNER | BDR_SUNKENINNER);
  if (outer) {
    if (outer & BDR_RAISEDOUTER)
      Ring(DC, r, cl3DLight, cl3DDkShadow, Flags);
    else
      Ring(DC, r, clBtnShadow, clBtnHighlight, Flags);
    Shrink(r, Flags);
  }
  if (inner) {
    if (inner & BDR_RAISEDINNER)
      Ring(DC, r, clBtnHighlight, clBtnShadow, Flags);
    else
      Ring(DC, r, cl3DDkShadow, cl3DLight, Flags);
    Shrink(r, Flags);
  }
  if (Flags & BF_ADJUST) *Rect = r;
  return true;
}

void DrawFocusRect(HDC DC, const TRect& R) {
  if (!DC || R.Right <= R.Left || R.Bottom <= R.Top) return;
  auto invert = [&](int x, int y) {
    TColor c = DC->GetPixel(x, y);
    if (c == clNone) return;
    DC->SetPixel(x, y, ColorToRGB(c) ^ 0xFFFFFF);
  };
  // One dot in two along the frame, counted from the top-left corner.
  for (int x = R.Left; x < R.Right; x += 2) {
    invert(x, R.Top);
    if (R.Bottom - 1 > R.Top && ((R.Bottom - 1 - R.Top) % 2 == 0)) invert(x, R.Bottom - 1);
  }
  if (R.Bottom - 1 > R.Top && ((R.Bottom - 1 - R.Top) % 2 != 0))
    for (int x = R.Left + 1; x < R.Right; x += 2) invert(x, R.Bottom - 1);
  for (int y = R.Top + 2; y < R.Bottom - 1; y += 2) {
    invert(R.Left, y);
    if (R.Right - 1 > R.Left) invert(R.Right - 1, y);
  }
}

// ---- Raster operations --------------------------------------------------------------

namespace {

// Each bit of the result follows the operation's truth table, indexed by the
// pattern, source and destination bits (P = 0xF0, S = 0xCC, D = 0xAA).
uint32_t Rop3(uint8_t Index, uint32_t P, uint32_t S, uint32_t D) {
  uint32_t out = 0;
  for (int i = 0; i < 8; ++i) {
    if (!((Index >> i) & 1)) continue;
    uint32_t term = ((i & 4) ? P : ~P) & ((i & 2) ? S : ~S) & ((i & 1) ? D : ~D);
    out |= term;
  }
  return out & 0xFFFFFF;
}

bool UsesSource(uint8_t Index) {
  return ((Index >> 2) & 0x33) != (Index & 0x33);
}

}  // namespace

bool RopBlt(HDC Dest, int X, int Y, int W, int H, const TDeviceContext* Source, int SX, int SY,
            uint32_t Rop, const TPatternBrush* Pattern) {
  if (!Dest || !Dest->Bits() || W <= 0 || H <= 0) return false;
  uint8_t index = static_cast<uint8_t>(Rop >> 16);
  bool needSource = UsesSource(index);
  if (needSource && (!Source || !Source->Bits())) return false;
  const TRect clip = Dest->ClipRect();
  TPoint org = GetWindowOrg(Dest);
  uint32_t brush = static_cast<uint32_t>(ColorToRGB(Dest->Brush.Color));
  uint32_t text = static_cast<uint32_t>(ColorToRGB(Dest->Font.Color));
  uint32_t back = static_cast<uint32_t>(ColorToRGB(Dest->BkColor));
  bool monoSource = needSource && Source->Format().BitCount == 1;
  for (int j = 0; j < H; ++j) {
    int y = Y + j;
    if (y < clip.Top || y >= clip.Bottom) continue;
    int sy = SY + j;
    if (needSource && (sy < 0 || sy >= Source->Height())) continue;
    for (int i = 0; i < W; ++i) {
      int x = X + i;
      if (x < clip.Left || x >= clip.Right) continue;
      int sx = SX + i;
      uint32_t s = 0;
      if (needSource) {
        if (sx < 0 || sx >= Source->Width()) continue;
        uint32_t raw = Source->GetRawPixel(sx, sy);
        s = monoSource ? (raw ? back : text)
                       : static_cast<uint32_t>(ColorToRGB(Source->PixelToColor(raw)));
      }
      uint32_t p = brush;
      if (Pattern && Pattern->Width > 0 && Pattern->Height > 0 &&
          Pattern->Pixels.size() >= static_cast<size_t>(Pattern->Width * Pattern->Height)) {
        // Patterns line up with the device, not the logical origin.
        int px = ((x - org.X) % Pattern->Width + Pattern->Width) % Pattern->Width;
        int py = ((y - org.Y) % Pattern->Height + Pattern->Height) % Pattern->Height;
        p = static_cast<uint32_t>(
            ColorToRGB(Pattern->Pixels[static_cast<size_t>(py * Pattern->Width + px)]));
      }
      uint32_t d = static_cast<uint32_t>(ColorToRGB(Dest->PixelToColor(Dest->GetRawPixel(x, y))));
      Dest->SetRawPixel(x, y, Dest->ColorToPixel(static_cast<TColor>(Rop3(index, p, s, d))));
    }
  }
  return true;
}

std::vector<uint8_t> MonochromeMask(const TDeviceContext& Source, int SX, int SY, int W, int H,
                                    TColor Key, int& Pitch) {
  W = std::max(W, 0);
  H = std::max(H, 0);
  Pitch = ((W + 31) / 32) * 4;
  std::vector<uint8_t> bits(static_cast<size_t>(Pitch) * static_cast<size_t>(H), 0);
  TColor key = ColorToRGB(Key);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      TColor c = Source.GetPixel(SX + x, SY + y);
      if (c != clNone && ColorToRGB(c) == key)
        bits[static_cast<size_t>(y * Pitch + x / 8)] |= static_cast<uint8_t>(0x80 >> (x & 7));
    }
  return bits;
}

const RGBQUAD* MonochromeTable() {
  static const RGBQUAD table[2] = {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}};
  return table;
}

// ---- Saved state and origin ---------------------------------------------------------

namespace {

struct TSaved {
  TGdiPen Pen;
  TGdiBrush Brush;
  TGdiFont Font;
  TBkMode BkMode;
  TColor BkColor;
  TPoint PenPos;
  TRect Clip;  // device coordinates
  TPoint Org;
};

// What a context's memory was before its origin moved, and its saved states.
struct TDCState {
  void* Base = nullptr;
  int BaseWidth = 0, BaseHeight = 0;
  TPoint Org;
  void* Expected = nullptr;  // the context's bits while this record holds
  std::vector<TSaved> Stack;
};

std::map<HDC, TDCState>& States() {
  static auto* m = new std::map<HDC, TDCState>;
  return *m;
}

TDCState& StateOf(HDC DC) {
  TDCState& s = States()[DC];
  // A record left by a context that went away, or one whose memory was
  // pointed elsewhere since: start over from what the context shows now.
  if (s.Expected != DC->Bits()) {
    s = TDCState{};
    s.Base = DC->Bits();
    s.BaseWidth = DC->Width();
    s.BaseHeight = DC->Height();
    s.Expected = DC->Bits();
  }
  return s;
}

int BytesPerPixel(HDC DC) {
  return DC->Format().BitCount / 8;
}

TRect DeviceClip(HDC DC, const TDCState& s) {
  TRect c = DC->ClipRect();
  return TRect{c.Left - s.Org.X, c.Top - s.Org.Y, c.Right - s.Org.X, c.Bottom - s.Org.Y};
}

// Points the context so that logical Org shows at the device's (0, 0), and
// the clip (in device coordinates) stays within the memory.
void Apply(HDC DC, TDCState& s, TPoint Org, const TRect& DevClip) {
  auto base = reinterpret_cast<uintptr_t>(s.Base);
  intptr_t shift =
      static_cast<intptr_t>(Org.X) * BytesPerPixel(DC) + static_cast<intptr_t>(Org.Y) * DC->Pitch();
  void* bits = reinterpret_cast<void*>(base - static_cast<uintptr_t>(shift));
  DC->Rebind(bits, s.BaseWidth + Org.X, s.BaseHeight + Org.Y, DC->Pitch());
  s.Org = Org;
  s.Expected = bits;
  TRect c{std::max(DevClip.Left, 0), std::max(DevClip.Top, 0), std::min(DevClip.Right, s.BaseWidth),
          std::min(DevClip.Bottom, s.BaseHeight)};
  DC->SetClipRect(TRect{c.Left + Org.X, c.Top + Org.Y, c.Right + Org.X, c.Bottom + Org.Y});
}

}  // namespace

int SaveDC(HDC DC) {
  if (!DC) return 0;
  TDCState& s = StateOf(DC);
  s.Stack.push_back(TSaved{DC->Pen, DC->Brush, DC->Font, DC->BkMode, DC->BkColor, DC->PenPos,
                           DeviceClip(DC, s), s.Org});
  return static_cast<int>(s.Stack.size());
}

bool RestoreDC(HDC DC, int SavedDC) {
  if (!DC) return false;
  TDCState& s = StateOf(DC);
  int level = SavedDC < 0 ? static_cast<int>(s.Stack.size()) + 1 + SavedDC : SavedDC;
  if (level < 1 || level > static_cast<int>(s.Stack.size())) return false;
  TSaved saved = s.Stack[static_cast<size_t>(level - 1)];
  s.Stack.resize(static_cast<size_t>(level - 1));
  DC->Pen = saved.Pen;
  DC->Brush = saved.Brush;
  DC->Font = saved.Font;
  DC->BkMode = saved.BkMode;
  DC->BkColor = saved.BkColor;
  DC->PenPos = saved.PenPos;
  Apply(DC, s, saved.Org, saved.Clip);
  if (s.Stack.empty() && saved.Org == TPoint{}) States().erase(DC);
  return true;
}

bool SetWindowOrgEx(HDC DC, int X, int Y, TPoint* Old) {
  if (!DC) return false;
  TDCState& s = StateOf(DC);
  if (Old) *Old = s.Org;
  if (DC->Format().BitCount < 8) return false;
  Apply(DC, s, TPoint{X, Y}, DeviceClip(DC, s));
  return true;
}

TPoint GetWindowOrg(HDC DC) {
  if (!DC) return {};
  auto it = States().find(DC);
  if (it == States().end() || it->second.Expected != DC->Bits()) return {};
  return it->second.Org;
}

void IntersectClipRect(HDC DC, const TRect& R) {
  if (!DC) return;
  TRect c = DC->ClipRect();
  DC->SetClipRect(TRect{std::max(c.Left, R.Left), std::max(c.Top, R.Top),
                        std::min(c.Right, R.Right), std::min(c.Bottom, R.Bottom)});
}

void ReleaseDCState(HDC DC) {
  States().erase(DC);
}
