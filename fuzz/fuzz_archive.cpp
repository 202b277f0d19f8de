// Picture archives from untrusted bytes, loaded the way the game loads them:
// into an image list on an initialised display, so every picture is cut
// onto surfaces, then cut again after a lost display and drawn. Reading
// must end in a result or in one of the framework's exceptions, a picture
// the cutting bounds refuse is reported, and whatever was read must write
// back and read again to the same bytes.
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

namespace {

// One display for the whole run, as the game has one.
TDXDraw* Display() {
  static TDXDraw* draw = [] {
    RegisterDIBGraphicClass();
    HeadlessInstall();
    HeadlessInstallVideo();
    DDRegisterModule();
    auto* form = new TForm(nullptr);  // lives as long as the process
    form->SetBounds(0, 0, 800, 600);
    auto* d = new TDXDraw(form);
    d->SetParent(form);
    d->SetAutoSize(false);
    d->SetBounds(0, 0, 800, 600);
    d->SetSurfaceWidth(800);
    d->SetSurfaceHeight(600);
    d->SetOptions(TDXDrawOptions{doFlip, doDirectX7Mode, doHardware});
    form->Perform(WM_ACTIVATE, WA_ACTIVE, 0);
    d->Initialize();
    if (!d->Initialized()) std::abort();
    return d;
  }();
  return draw;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TDXDraw* draw = Display();
  HeadlessClearMessageBoxes();
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
