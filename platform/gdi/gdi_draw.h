// The drawing calls that dialogs and their controls use on top of a device
// context: formatted text, 3-D edges, focus rectangles, blits with any of the
// 256 ternary raster operations (pattern brushes included), monochrome
// masks, and saved state with a movable window origin.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/gdi/gdi.h"

// ---- Formatted text ----------------------------------------------------------
constexpr uint32_t DT_TOP = 0x0;
constexpr uint32_t DT_LEFT = 0x0;
constexpr uint32_t DT_CENTER = 0x1;
constexpr uint32_t DT_RIGHT = 0x2;
constexpr uint32_t DT_VCENTER = 0x4;
constexpr uint32_t DT_BOTTOM = 0x8;
constexpr uint32_t DT_WORDBREAK = 0x10;
constexpr uint32_t DT_SINGLELINE = 0x20;
constexpr uint32_t DT_EXPANDTABS = 0x40;
constexpr uint32_t DT_NOCLIP = 0x100;
constexpr uint32_t DT_CALCRECT = 0x400;
constexpr uint32_t DT_NOPREFIX = 0x800;
constexpr uint32_t DT_RTLREADING = 0x20000;

// Draws Count characters of Text (all of it when Count < 0) in Rect: lines
// broken at line feeds and, with DT_WORDBREAK, between words that would not
// fit; tabs expanded to eight average characters; "&x" underlines x and "&&"
// shows one "&" unless DT_NOPREFIX. With DT_CALCRECT nothing is drawn and
// Rect's right and bottom receive the extent. Returns the text's height.
int DrawTextA(HDC DC, const std::string& Text, int Count, TRect* Rect, uint32_t Format);

// ---- Edges and focus -------------------------------------------------------------
constexpr uint32_t BDR_RAISEDOUTER = 0x1;
constexpr uint32_t BDR_SUNKENOUTER = 0x2;
constexpr uint32_t BDR_RAISEDINNER = 0x4;
constexpr uint32_t BDR_SUNKENINNER = 0x8;
constexpr uint32_t EDGE_RAISED = BDR_RAISEDOUTER | BDR_RAISEDINNER;
constexpr uint32_t EDGE_SUNKEN = BDR_SUNKENOUTER | BDR_SUNKENINNER;
constexpr uint32_t BF_LEFT = 0x1;
constexpr uint32_t BF_TOP = 0x2;
constexpr uint32_t BF_RIGHT = 0x4;
constexpr uint32_t BF_BOTTOM = 0x8;
constexpr uint32_t BF_RECT = 0xF;
constexpr uint32_t BF_ADJUST = 0x2000;

// System colours as the framework names them (top byte 0xFF, then the index).
constexpr TColor clScrollBar = static_cast<TColor>(0xFF000000u);
constexpr TColor clWindow = static_cast<TColor>(0xFF000005u);
constexpr TColor clWindowText = static_cast<TColor>(0xFF000008u);
constexpr TColor clHighlight = static_cast<TColor>(0xFF00000Du);
constexpr TColor clHighlightText = static_cast<TColor>(0xFF00000Eu);
constexpr TColor clBtnFace = static_cast<TColor>(0xFF00000Fu);
constexpr TColor clBtnShadow = static_cast<TColor>(0xFF000010u);
constexpr TColor clGrayText = static_cast<TColor>(0xFF000011u);
constexpr TColor clBtnText = static_cast<TColor>(0xFF000012u);
constexpr TColor clBtnHighlight = static_cast<TColor>(0xFF000014u);
constexpr TColor cl3DDkShadow = static_cast<TColor>(0xFF000015u);
constexpr TColor cl3DLight = static_cast<TColor>(0xFF000016u);

// Draws the outer then the inner ring of Edge on the sides in Flags; with
// BF_ADJUST, Rect shrinks by the rings drawn.
bool DrawEdge(HDC DC, TRect* Rect, uint32_t Edge, uint32_t Flags);
// Inverts every other pixel of Rect's frame; drawing it twice removes it.
void DrawFocusRect(HDC DC, const TRect& Rect);

// ---- Raster operations -------------------------------------------------------------
constexpr uint32_t SRCPAINT = 0x00EE0086;
constexpr uint32_t SRCAND = 0x008800C6;
constexpr uint32_t SRCINVERT = 0x00660046;
constexpr uint32_t SRCERASE = 0x00440328;
constexpr uint32_t NOTSRCCOPY = 0x00330008;
constexpr uint32_t MERGECOPY = 0x00C000CA;
constexpr uint32_t PATCOPY = 0x00F00021;
constexpr uint32_t PATINVERT = 0x005A0049;
constexpr uint32_t DSTINVERT = 0x00550009;
constexpr uint32_t BLACKNESS = 0x00000042;
constexpr uint32_t WHITENESS = 0x00FF0062;
// Paints the brush where the source is white and keeps the destination
// where it is black: the embossing of disabled pictures.
constexpr uint32_t DSPDxax = 0x00E20746;

// A brush made from a picture: 0x00BBGGRR colours, tiled from the device's
// origin.
struct TPatternBrush {
  int Width = 0, Height = 0;
  std::vector<TColor> Pixels;
};

// Combines destination, Source (may be nullptr for raster operations that do
// not read it) and the pattern (the brush's colour, or Pattern when given)
// bit by bit as the operation's truth table says. Sizes are the same on both
// sides. A one-bit source maps its 0 pixels to the destination's text colour
// (Font.Color) and its 1 pixels to its BkColor; results go into the
// destination through its own colour conversion. Returns false when nothing
// could be drawn.
bool RopBlt(HDC Dest, int X, int Y, int W, int H, const TDeviceContext* Source, int SX, int SY,
            uint32_t Rop, const TPatternBrush* Pattern = nullptr);

// A one-bit mask of W x H pixels of Source from (SX, SY): 1 (white) where the
// pixel's colour equals Key, else 0 (black); rows padded to 32 bits as a
// device bitmap's are. Pitch receives the bytes per row.
std::vector<uint8_t> MonochromeMask(const TDeviceContext& Source, int SX, int SY, int W, int H,
                                    TColor Key, int& Pitch);
// The colour table of one-bit masks: black, white.
const RGBQUAD* MonochromeTable();

// ---- Saved state and window origin -------------------------------------------------
// Pen, brush, font, background, pen position, clip rectangle and window
// origin; RestoreDC with a level from SaveDC (or -1 for the last) brings them
// back and forgets the later ones.
int SaveDC(HDC DC);
bool RestoreDC(HDC DC, int SavedDC);
// The logical point Org shows at the device's (0, 0). Formats of 8 bits and
// more; others keep their origin at (0, 0).
bool SetWindowOrgEx(HDC DC, int X, int Y, TPoint* Old);
TPoint GetWindowOrg(HDC DC);
// Limits drawing further, in logical coordinates.
void IntersectClipRect(HDC DC, const TRect& Rect);
// Forgets what was kept for a context that is going away.
void ReleaseDCState(HDC DC);
