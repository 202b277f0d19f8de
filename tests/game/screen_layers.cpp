#include "tests/game/screen_layers.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <utility>

#include "engine/draw/dxdraws.h"
#include "engine/draw/pictures.h"
#include "framework/sysutils.h"
#include "game/core/main_form.h"
#include "game/screens/interface_sprite.h"
#include "game/screens/screen_kit.h"
#include "platform/gdi/pixel_channels.h"
#include "tools/mkdata/painter.h"
#include "tools/mkdata/picture_table.h"

namespace {

constexpr int kWidth = 800, kHeight = 600;
// Words need a pixel of room around them to read: their boxes grow by it.
constexpr int kClearance = 1;

TRect Grown(const TRect& R) {
  return TRect{R.Left - kClearance, R.Top - kClearance, R.Right + kClearance,
               R.Bottom + kClearance};
}

// ---- the back surface ------------------------------------------------------

TDirectDrawSurface* Back() {
  return MainForm->DXDraw->Surface.get();
}

// The pixels of Rect on the back surface as 0xRRGGBB.
std::vector<uint32_t> ReadBack(const TRect& Rect) {
  std::vector<uint32_t> out(static_cast<size_t>(Rect.Width()) * static_cast<size_t>(Rect.Height()));
  DDSURFACEDESC desc;
  if (!Back()->Lock(nullptr, desc)) return out;
  const DDPIXELFORMAT& f = desc.ddpfPixelFormat;
  const TPixelChannels ch = ChannelsFromMasks(f.dwRBitMask, f.dwGBitMask, f.dwBBitMask);
  const size_t bytes = f.dwRGBBitCount / 8;
  for (int y = Rect.Top; y < Rect.Bottom; ++y) {
    const auto* row =
        static_cast<const uint8_t*>(desc.lpSurface) + static_cast<ptrdiff_t>(y) * desc.lPitch;
    for (int x = Rect.Left; x < Rect.Right; ++x) {
      uint32_t p = 0;
      for (size_t b = 0; b < bytes; ++b)
        p |= uint32_t{row[static_cast<size_t>(x) * bytes + b]} << (8 * b);
      uint8_t r, g, bl;
      UnpackChannels(ch, p, r, g, bl);
      out[static_cast<size_t>(y - Rect.Top) * static_cast<size_t>(Rect.Width()) +
          static_cast<size_t>(x - Rect.Left)] = uint32_t{r} << 16 | uint32_t{g} << 8 | bl;
    }
  }
  Back()->Unlock();
  return out;
}

TRect Clip(TRect R) {
  R.Left = std::clamp(R.Left, 0, kWidth);
  R.Right = std::clamp(R.Right, R.Left, kWidth);
  R.Top = std::clamp(R.Top, 0, kHeight);
  R.Bottom = std::clamp(R.Bottom, R.Top, kHeight);
  return R;
}

// A colour as the back surface shows it.
uint32_t OnScreen(uint32_t Rgb) {
  Back()->Fill(Back()->ColorToPixel(RGB(Rgb >> 16 & 0xFF, Rgb >> 8 & 0xFF, Rgb & 0xFF)));
  return ReadBack(TRect{0, 0, 1, 1})[0];
}

// ---- what a sprite is ---------------------------------------------------------

std::string Base(std::string Name) {
  for (const char* lit : {"_lighted", "lighted"}) {
    const std::string l = lit;
    if (Name.size() > l.size() && Name.compare(Name.size() - l.size(), l.size(), l) == 0)
      return Name.substr(0, Name.size() - l.size());
  }
  return Name;
}

template <size_t N>
bool OneOf(const TSprite* S, const std::array<TInterFaceSprite*, N>& List) {
  return std::find(List.begin() + 1, List.end(), S) != List.end();
}

bool InBar(const TSprite* S, const TVolumeBar& Bar) {
  return S == Bar.Caption || S == Bar.Minus || S == Bar.Plus ||
         std::find(Bar.Elements.begin() + 1, Bar.Elements.end(), S) != Bar.Elements.end();
}

// The game's name for a sprite; play sprites go by their picture.
std::string NameOf(const TImageSprite* S) {
  const std::pair<const TSprite*, const char*> named[] = {
      {BackdropSprite, "BackdropSprite"},
      {DoorTop, "DoorTop"},
      {DoorBottom, "DoorBottom"},
      {ConfirmPanel, "ConfirmPanel"},
      {NameEntryPanel, "NameEntryPanel"},
      {LeftPanel, "LeftPanel"},
      {FaceFx, "FaceFx"},
      {FaceSprite, "FaceSprite"},
      {PrimaryIcon, "PrimaryIcon"},
      {SecondaryIcon, "SecondaryIcon"},
      {ExtraWeaponIcon, "ExtraWeaponIcon"},
      {GodBar, "GodBar"},
      {GameOverMainButton, "GameOverMainButton"},
      {GameOverExitButton, "GameOverExitButton"},
      {PauseOverlay, "PauseOverlay"},
      {PausePanel, "PausePanel"},
      {PauseLaptop, "PauseLaptop"},
      {PauseResumeButton, "PauseResumeButton"},
      {PauseMainButton, "PauseMainButton"},
      {PauseExitButton, "PauseExitButton"},
      {ReadyBanner, "ReadyBanner"},
      {EpisodeDigit, "EpisodeDigit"},
      {MissionDigit, "MissionDigit"},
      {LevelDigit, "LevelDigit"},
      {BookBackground, "BookBackground"},
      {IncomingMessage, "IncomingMessage"},
      {BookCloseButton, "BookCloseButton"},
      {BookArt, "BookArt"},
      {BookModel, "BookModel"},
      {BookFx, "BookFx"},
      {BrightnessMinus, "BrightnessMinus"},
      {BrightnessPlus, "BrightnessPlus"},
  };
  for (const auto& [sprite, name] : named)
    if (S == sprite) return name;
  if (OneOf(S, ScoreDigits)) return "ScoreDigits";
  if (OneOf(S, MissionDigits)) return "MissionDigits";
  if (OneOf(S, LevelDigits)) return "LevelDigits";
  if (OneOf(S, RocketDigits)) return "RocketDigits";
  if (OneOf(S, ExtraTimeDigits)) return "ExtraTimeDigits";
  if (OneOf(S, BookEntries)) return "BookEntries";
  if (InBar(S, MusicBar)) return "MusicBar";
  if (InBar(S, SoundBar)) return "SoundBar";
  if (InBar(S, RadioVoxBar)) return "RadioVoxBar";
  if (OneOf(S, MenuButtons)) return Base(PictureName(S));
  return "play:" + PictureName(S);
}

// Interface sprites carry the words a player reads; a bonus capsule's
// letter flies with it and is not checked.
bool CarriesWords(const std::string& Name) {
  return Name.rfind("play:", 0) != 0;
}

// The archive a sprite's picture came from.
std::string ArchiveOf(const TImageSprite* S) {
  const TPictureCollectionItem* item = S->GetImage();
  if (!item) return "";
  TMainForm* f = MainForm;
  const std::pair<TDXImageList*, const char*> lists[] = {
      {f->ImageList, "data.dan"},
      {f->BookList, "info.dan"},
      {f->VideoList, "video.dan"},
      {f->ExplosionsList, "explosions.dan"},
      {f->FxList, "fx.dan"},
      {f->BonusesList, "bonuses.dan"},
      {f->InterFaceList, "interface.dan"},
      {f->BackGroundList, "bg.dan"},
      {f->ModelsList, "models.dan"},
      {f->WeaponsList, "weapons.dan"},
  };
  for (const auto& [list, archive] : lists)
    if (list && item->PictureCollection() == &list->Items()) return archive;
  return "";
}

// Where the generator drew letters into a picture, by archive and name.
const std::vector<TTextRun>& RunsOf(const std::string& Archive, const std::string& Name) {
  static std::map<std::string, std::vector<TTextRun>> cache;
  const std::string key = Archive + "/" + Name;
  auto it = cache.find(key);
  if (it != cache.end()) return it->second;
  std::vector<TTextRun>& runs = cache[key];
  for (const TPictureSpec& spec : PictureTable())
    if (spec.Archive == Archive && spec.Name == Name) PaintPicture(spec, &runs);
  return runs;
}

TLayer SpriteLayer(TImageSprite* S) {
  TLayer l;
  l.Sprite = S;
  l.Name = NameOf(S);
  const TRect at = SpriteRect(S->WorldX(), S->WorldY(), S->Width, S->Height);
  l.Bounds = Clip(at);
  Back()->Fill(0);
  S->DoDraw();
  const std::vector<uint32_t> px = ReadBack(l.Bounds);
  l.Opaque.resize(px.size());
  for (size_t i = 0; i < px.size(); ++i) l.Opaque[i] = px[i] != 0;
  if (!CarriesWords(l.Name) || !S->GetImage()) return l;
  // The picture's letters, stretched with the picture to the sprite's size.
  const int pw = S->GetImage()->Width(), ph = S->GetImage()->Height();
  if (pw <= 0 || ph <= 0) return l;
  for (const TTextRun& r : RunsOf(ArchiveOf(S), PictureName(S))) {
    if (r.Frame != S->Frame()) continue;
    TRect box{at.Left + r.X * S->Width / pw, at.Top + r.Y * S->Height / ph,
              at.Left + ((r.X + r.W) * S->Width + pw - 1) / pw,
              at.Top + ((r.Y + r.H) * S->Height + ph - 1) / ph};
    box = Clip(Grown(box));
    if (box.Width() > 0 && box.Height() > 0)
      l.Texts.push_back({box, OnScreen(PaletteRgb(r.Ink)), r.Text});
  }
  return l;
}

TLayer TextLayer(const TOverlayText& T) {
  TLayer l;
  l.Name = "Overlay";
  Back()->Fill(0);
  TDirectDrawSurfaceCanvas* canvas = Back()->Canvas();
  canvas->Brush()->SetStyle(bsClear);
  canvas->Font()->SetName(OverlayFont);
  canvas->Font()->SetSize(T.Size);
  canvas->Font()->SetColor(T.Color);
  const TSize extent = canvas->TextExtent(T.Text);
  canvas->TextOut(T.X, T.Y, T.Text);
  canvas->Release();
  // Letters may reach a little outside the advance box.
  const TRect around = Clip(TRect{T.X - 4, T.Y - 4, T.X + extent.cx + 8, T.Y + extent.cy + 8});
  const std::vector<uint32_t> px = ReadBack(around);
  TRect ink{kWidth, kHeight, 0, 0};
  for (int y = around.Top; y < around.Bottom; ++y)
    for (int x = around.Left; x < around.Right; ++x)
      if (px[static_cast<size_t>(y - around.Top) * static_cast<size_t>(around.Width()) +
             static_cast<size_t>(x - around.Left)]) {
        ink.Left = std::min(ink.Left, x);
        ink.Top = std::min(ink.Top, y);
        ink.Right = std::max(ink.Right, x + 1);
        ink.Bottom = std::max(ink.Bottom, y + 1);
      }
  if (ink.Left >= ink.Right) return l;  // an empty line
  l.Bounds = ink;
  l.Opaque.resize(static_cast<size_t>(ink.Width()) * static_cast<size_t>(ink.Height()));
  for (int y = ink.Top; y < ink.Bottom; ++y)
    for (int x = ink.Left; x < ink.Right; ++x)
      l.Opaque[static_cast<size_t>(y - ink.Top) * static_cast<size_t>(ink.Width()) +
               static_cast<size_t>(x - ink.Left)] =
          px[static_cast<size_t>(y - around.Top) * static_cast<size_t>(around.Width()) +
             static_cast<size_t>(x - around.Left)] != 0;
  const uint32_t c = static_cast<uint32_t>(T.Color);  // 0x00BBGGRR
  l.Texts.push_back(
      {Clip(Grown(ink)), OnScreen((c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF)), T.Text});
  return l;
}

void Collect(TSprite* S, std::vector<TImageSprite*>& Out) {
  if (!S->Visible) return;
  if (auto* image = dynamic_cast<TImageSprite*>(S); image && image != CursorSprite)
    Out.push_back(image);
  for (TSprite* child : S->DrawList()) Collect(child, Out);
}

// ---- which overlaps are meant ------------------------------------------------

enum TMeant {
  mnGround,  // the words may stand on the other picture
  mnInside,  // the same, and the picture lies wholly inside the other
  mnCover,   // the other picture may lie over the words, hiding them wholly
  mnVeil,    // the other picture is a see-through veil over the words
};

struct TMeantOverlap {
  const char* Words;  // the layer with the words ('|' between names, "*" for any)
  const char* Other;
  TMeant Kind;
};

const TMeantOverlap kMeant[] = {
    // Full-screen pictures lie under everything of their screen.
    {"*", "BackdropSprite", mnGround},
    {"*", "BookBackground", mnGround},
    // The statistics are typed on the closed doors, the door digits ride on
    // the upper leaf, and the game-over buttons stand on the lower one.
    {"Overlay", "DoorBottom", mnGround},
    {"EpisodeDigit|MissionDigit|LevelDigit", "DoorTop", mnGround},
    {"GameOverMainButton|GameOverExitButton", "DoorBottom", mnGround},
    // The heads-up display on its panel.
    {"ScoreDigits|MissionDigits|LevelDigits|RocketDigits|ExtraTimeDigits|PrimaryIcon|"
     "SecondaryIcon|ExtraWeaponIcon",
     "LeftPanel", mnGround},
    // Buttons on their own panels.
    {"ays_ok|ays_cancel|easy|normal|hard", "ConfirmPanel", mnInside},
    {"PauseLaptop|PauseResumeButton|PauseMainButton|PauseExitButton", "PausePanel", mnInside},
    // The typed name in the name panel's field.
    {"Overlay", "NameEntryPanel", mnGround},
    // The modal panel hides what lies under it; while it holds the
    // difficulty buttons, its question hides behind the first of them.
    // The closed doors and the book's page hide the field and its panel.
    {"*", "ConfirmPanel", mnCover},
    {"*", "DoorTop|DoorBottom|BookBackground", mnCover},
    {"ConfirmPanel", "easy", mnCover},
    // The pause menu's scan lines over the frozen field.
    {"*", "PauseOverlay", mnVeil},
};

bool Matches(const char* Pattern, const std::string& Name) {
  const std::string p = Pattern;
  if (p == "*") return true;
  size_t from = 0;
  while (from <= p.size()) {
    const size_t bar = p.find('|', from);
    const size_t end = bar == std::string::npos ? p.size() : bar;
    if (p.compare(from, end - from, Name) == 0 && end - from == Name.size()) return true;
    if (bar == std::string::npos) break;
    from = bar + 1;
  }
  return false;
}

// The meant overlaps of words of W with picture O, most specific first.
std::vector<TMeant> MeantFor(const std::string& W, const std::string& O) {
  std::vector<TMeant> kinds;
  for (const TMeantOverlap& m : kMeant)
    if (Matches(m.Words, W) && Matches(m.Other, O)) kinds.push_back(m.Kind);
  return kinds;
}

bool Has(const std::vector<TMeant>& Kinds, TMeant K) {
  return std::find(Kinds.begin(), Kinds.end(), K) != Kinds.end();
}

std::string Describe(const TLayer& L, const TTextBox& T) {
  std::string text = T.Text.size() > 24 ? T.Text.substr(0, 24) + "..." : T.Text;
  return "\"" + L.Name + "\" (\"" + text + "\")";
}

std::string Where(const TRect& R) {
  return "(" + std::to_string(R.Left) + "," + std::to_string(R.Top) + ")-(" +
         std::to_string(R.Right) + "," + std::to_string(R.Bottom) + ")";
}

std::string Hex(uint32_t Rgb) {
  char b[8];
  std::snprintf(b, sizeof b, "#%06X", Rgb & 0xFFFFFF);
  return b;
}

}  // namespace

TScreenPicture TakeScreenApart() {
  TScreenPicture shot;
  std::vector<TImageSprite*> sprites;
  Collect(SpriteRoot(), sprites);
  for (TImageSprite* s : sprites) shot.Layers.push_back(SpriteLayer(s));
  for (const TOverlayText& t : OverlayTexts()) {
    TLayer l = TextLayer(t);
    if (!l.Texts.empty()) shot.Layers.push_back(std::move(l));
  }
  // The sprites alone, as the texts find them.
  Back()->Fill(0);
  const bool cursor = CursorSprite && CursorSprite->Visible;
  if (CursorSprite) CursorSprite->Visible = false;
  MainForm->DXSpriteEngine->Draw();
  if (CursorSprite) CursorSprite->Visible = cursor;
  shot.Sprites = ReadBack(TRect{0, 0, kWidth, kHeight});
  return shot;
}

std::vector<std::string> ScreenFaults(const TScreenPicture& Screen) {
  std::vector<std::string> faults;
  const std::vector<TLayer>& layers = Screen.Layers;
  // The topmost layer at each pixel, -1 where none covers it.
  std::vector<int> top(static_cast<size_t>(kWidth) * kHeight, -1);
  for (size_t i = 0; i < layers.size(); ++i) {
    const TLayer& l = layers[i];
    for (int y = l.Bounds.Top; y < l.Bounds.Bottom; ++y)
      for (int x = l.Bounds.Left; x < l.Bounds.Right; ++x)
        if (l.OpaqueAt(x, y))
          top[static_cast<size_t>(y) * kWidth + static_cast<size_t>(x)] = static_cast<int>(i);
  }

  // Whether all of Box lies under an opaque part of Layer.
  auto under = [](const TRect& Box, const TLayer& Layer) {
    for (int y = Box.Top; y < Box.Bottom; ++y)
      for (int x = Box.Left; x < Box.Right; ++x)
        if (!Layer.OpaqueAt(x, y)) return false;
    return true;
  };

  for (size_t t = 0; t < layers.size(); ++t) {
    const TLayer& words = layers[t];
    for (const TTextBox& text : words.Texts) {
      const TRect& b = text.Box;
      // Words hidden wholly by a picture meant to hide them are not seen at
      // all, whatever else lies over them.
      bool hidden = false;
      for (size_t o = t + 1; o < layers.size() && !hidden; ++o)
        hidden = Has(MeantFor(words.Name, layers[o].Name), mnCover) && under(b, layers[o]);
      if (hidden) continue;
      bool covered = false;
      for (size_t o = 0; o < layers.size(); ++o) {
        const TLayer& other = layers[o];
        // The parts of one display (the digits of a number, the entries of
        // a list) stand side by side.
        if (o == t || other.Name == words.Name) continue;
        if (b.Right <= other.Bounds.Left || other.Bounds.Right <= b.Left ||
            b.Bottom <= other.Bounds.Top || other.Bounds.Bottom <= b.Top)
          continue;
        // Over the words (a picture drawn later), or under them where it
        // shows (a picture drawn earlier, seen through the words' gaps).
        int n = 0;
        TRect hit{kWidth, kHeight, 0, 0};
        for (int y = b.Top; y < b.Bottom; ++y)
          for (int x = b.Left; x < b.Right; ++x) {
            const bool meets =
                o > t ? other.OpaqueAt(x, y)
                      : top[static_cast<size_t>(y) * kWidth + static_cast<size_t>(x)] ==
                            static_cast<int>(o);
            if (!meets) continue;
            ++n;
            hit = {std::min(hit.Left, x), std::min(hit.Top, y), std::max(hit.Right, x + 1),
                   std::max(hit.Bottom, y + 1)};
          }
        if (n == 0) continue;
        const std::vector<TMeant> meant = MeantFor(words.Name, other.Name);
        if (o > t) {
          covered = true;
          if (Has(meant, mnVeil)) continue;
          faults.push_back(Describe(words, text) + " is " +
                           (Has(meant, mnCover) ? "partly hidden by \"" : "covered by \"") +
                           other.Name + "\": " + std::to_string(n) + " pixels at " + Where(hit));
        } else if (!Has(meant, mnGround) && !Has(meant, mnInside)) {
          faults.push_back(Describe(words, text) + " stands on \"" + other.Name +
                           "\": " + std::to_string(n) + " pixels at " + Where(hit));
        }
      }
      if (covered) continue;
      // Contrast against everything under the words that is not their ink.
      double worst = 21;
      uint32_t under = 0;
      int wx = 0, wy = 0;
      for (int y = text.Box.Top; y < text.Box.Bottom; ++y)
        for (int x = text.Box.Left; x < text.Box.Right; ++x) {
          const uint32_t p =
              Screen.Sprites[static_cast<size_t>(y) * kWidth + static_cast<size_t>(x)];
          if (words.Sprite && p == text.Ink) continue;
          const double c = ContrastRatio(text.Ink, p);
          if (c < worst) {
            worst = c;
            under = p;
            wx = x;
            wy = y;
          }
        }
      if (worst < kReadableContrast) {
        char ratio[16];
        std::snprintf(ratio, sizeof ratio, "%.2f", worst);
        faults.push_back(Describe(words, text) + " in " + Hex(text.Ink) + " reads at " + ratio +
                         ":1 against " + Hex(under) + " at (" + std::to_string(wx) + "," +
                         std::to_string(wy) + ")");
      }
    }
  }

  // Buttons inside their panels.
  for (const TLayer& in : layers)
    for (const TLayer& panel : layers) {
      if (&in == &panel || !Has(MeantFor(in.Name, panel.Name), mnInside)) continue;
      int n = 0;
      for (int y = in.Bounds.Top; y < in.Bounds.Bottom; ++y)
        for (int x = in.Bounds.Left; x < in.Bounds.Right; ++x)
          n += in.OpaqueAt(x, y) && !panel.OpaqueAt(x, y);
      if (n > 0)
        faults.push_back("\"" + in.Name + "\" at " + Where(in.Bounds) + " reaches out of \"" +
                         panel.Name + "\" at " + Where(panel.Bounds) + " by " + std::to_string(n) +
                         " pixels");
    }
  return faults;
}
