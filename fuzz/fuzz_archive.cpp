// Picture archives from untrusted bytes, loaded the way the game loads them:
// into an image list on an initialised display, so every picture is cut
// onto surfaces, then cut again after a lost display and drawn. Reading
// must end in a result or in one of the framework's exceptions, a picture
// the cutting bounds refuse is reported, and whatever was read must write
// back and read again to the same bytes.
//
// The cutting bounds let one picture fill 64 MiB of surfaces, which the game
// pays once; cut and drawn for every input, a few such pictures hold the
// fuzzer to a handful of inputs a second. So each input is read on its own
// first, and goes to the display only when what it would cut there stays
// within a budget: every check of the reader and of the cutting bounds still
// runs, on smaller pictures.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "engine/dib/dib.h"
#include "engine/draw/dxdraws.h"
#include "engine/draw/pictures.h"
#include "framework/classes.h"
#include "framework/forms.h"
#include "platform/backend/headless/headless_core.h"
#include "platform/backend/headless/headless_video.h"
#include "platform/ddraw/ddraw.h"
#include "platform/ddraw/ddraw_seam.h"
#include "platform/win/user_seam.h"

namespace {

// One display for the whole run, as the game has one, but small: it is
// restored and shown after every input, and the draws below fit in it.
constexpr int kDisplaySize = 64;

TDXDraw* Display() {
  static TDXDraw* draw = [] {
    RegisterDIBGraphicClass();
    HeadlessInstall();
    HeadlessInstallVideo();
    DDRegisterModule();
    auto* form = new TForm(nullptr);  // lives as long as the process
    form->SetBounds(0, 0, kDisplaySize, kDisplaySize);
    auto* d = new TDXDraw(form);
    d->SetParent(form);
    d->SetAutoSize(false);
    d->SetBounds(0, 0, kDisplaySize, kDisplaySize);
    d->SetSurfaceWidth(kDisplaySize);
    d->SetSurfaceHeight(kDisplaySize);
    d->SetOptions(TDXDrawOptions{doFlip, doDirectX7Mode, doHardware});
    form->Perform(WM_ACTIVATE, WA_ACTIVE, 0);
    d->Initialize();
    if (!d->Initialized()) std::abort();
    return d;
  }();
  return draw;
}

// What one input may have cut: surface pixels and patterns, each cut twice.
constexpr int64_t kCutPixelBudget = int64_t{1} << 16;
constexpr int64_t kCutPatternBudget = int64_t{1} << 10;

// Whether cutting List's pictures stays within the budget. A picture the
// cutting bounds refuse costs nothing: it is refused before anything is made.
bool Affordable(TPictureCollection& List) {
  int64_t pixels = 0, patterns = 0;
  for (int i = 0; i < List.Count(); ++i) {
    TPictureCollectionItem* item = List.Items(i);
    const TGraphic* g = item->Picture().Graphic();
    if (!g || g->Width() <= 0 || g->Height() <= 0) continue;
    try {
      CheckCut(g->Width(), g->Height(), item->Width(), item->Height(), item->SkipWidth,
               item->SkipHeight);
    } catch (const Exception&) {
      continue;
    }
    pixels += int64_t{g->Width()} * g->Height();
    patterns += item->GetPatternCount();
  }
  return pixels <= kCutPixelBudget && patterns <= kCutPatternBudget;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  {
    TPictureCollection alone;
    TByteStream in(Data, Size);
    try {
      alone.LoadFromStream(in);
    } catch (const Exception&) {
    }
    if (!Affordable(alone)) return 0;
  }
  TDXDraw* draw = Display();
  // A picture the display refuses is reported in a box and left out; the
  // record of them would only grow.
  (void)TakeRecordedMessageBoxes();
  TDXImageList images(nullptr);
  images.SetDXDraw(draw);
  TPictureCollection& list = images.Items();
  TByteStream in(Data, Size);
  try {
    list.LoadFromStream(in);
  } catch (const Exception&) {
    return 0;
  }
  DDLoseAllSurfaces();
  if (!draw->CanDraw()) std::abort();
  for (int i = 0; i < list.Count(); ++i) {
    TPictureCollectionItem* item = list.Items(i);
    const int count = item->GetPatternCount();
    if (item->SurfaceCount() > 0) {
      item->StretchDraw(draw->Surface.get(), Bounds(0, 0, 32, 32), 0);
      item->DrawAlpha(draw->Surface.get(), Bounds(8, 8, 16, 16), count - 1, 128);
    }
  }
  images.SetDXDraw(nullptr);
  list.MakeColorTable();

  TMemoryStream first;
  list.SaveToStream(first);
  TPictureCollection again;
  first.SetPosition(0);
  again.LoadFromStream(first);
  TMemoryStream second;
  again.SaveToStream(second);
  if (first.Bytes() != second.Bytes()) std::abort();
  return 0;
}
