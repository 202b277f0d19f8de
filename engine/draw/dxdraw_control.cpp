// Display modes, presentation drivers and the display control.
#include <algorithm>
#include <exception>

#include "engine/draw/dxdraws.h"
#include "framework/filer.h"
#include "framework/forms.h"
#include "framework/scope_exit.h"
#include "platform/win/clock.h"

namespace {

// Window messages the control's form hook reacts to.
namespace msg {
constexpr UINT WM_INITMENU = 0x0116;
constexpr UINT WM_ENTERSIZEMOVE = 0x0231;
constexpr UINT WM_EXITSIZEMOVE = 0x0232;
}  // namespace msg

// A vertical-blank period: how long a frame that presents nothing waits.
constexpr DWORD kFramePeriodMs = 16;

DDSURFACEDESC Desc(uint32_t Flags, uint32_t Caps) {
  DDSURFACEDESC d;
  d.dwSize = DDSURFACEDESC_SIZE;
  d.dwFlags = Flags;
  d.ddsCaps.dwCaps = Caps;
  return d;
}

template <class T>
void FreeAndNil(T*& p) {
  T* q = p;
  p = nullptr;
  delete q;
}

}  // namespace

// ---- Display modes ----------------------------------------------------------------

TDXDrawDisplay::TDXDrawDisplay(TCustomDXDraw* DXDraw) : dxdraw_(DXDraw) {}

TDXDrawDisplay::~TDXDrawDisplay() = default;

void TDXDrawDisplay::SetBitCount(int Value) {
  if (Value != 8 && Value != 16 && Value != 24 && Value != 32)
    Raise<EDirectDrawError>("Display requires 8, 16, 24 or 32 bits");
  bit_count_ = Value;
}

void TDXDrawDisplay::Assign(TPersistent* Source) {
  if (auto* d = dynamic_cast<TDXDrawDisplay*>(Source)) {
    if (d != this) {
      bit_count_ = d->bit_count_;
      height_ = d->height_;
      width_ = d->width_;
      FixedBitCount = d->FixedBitCount;
      FixedRatio = d->FixedRatio;
      FixedSize = d->FixedSize;
    }
    return;
  }
  TPersistent::Assign(Source);
}

void TDXDrawDisplay::ClearModes() {
  modes_.Clear();
}

int TDXDrawDisplay::Count() {
  if (modes_.Count() == 0) LoadDisplayModes();
  return modes_.Count();
}

TDXDrawDisplayMode* TDXDrawDisplay::Modes(int Index) {
  if (modes_.Count() == 0) LoadDisplayModes();
  return static_cast<TDXDrawDisplayMode*>(modes_.Items(Index));
}

int TDXDrawDisplay::IndexOf(int AWidth, int AHeight, int ABitCount) {
  for (int i = 0; i < Count(); ++i) {
    TDXDrawDisplayMode* m = Modes(i);
    if (m->Width() == AWidth && m->Height() == AHeight && m->BitCount() == ABitCount) return i;
  }
  return -1;
}

void TDXDrawDisplay::LoadDisplayModes() {
  modes_.Clear();
  std::vector<DDSURFACEDESC> found;
  auto collect = [&](const DDSURFACEDESC& d) {
    found.push_back(d);
    return DDENUMRET_OK;
  };
  if (dxdraw_->DDraw) {
    TDirectDraw* dd = dxdraw_->DDraw.get();
    dd->SetResultCode(dd->GetIDirectDraw()->EnumDisplayModes(0, nullptr, collect));
  } else {
    TDirectDraw dd(dxdraw_->DriverGUID());
    dd.SetResultCode(dd.GetIDirectDraw()->EnumDisplayModes(0, nullptr, collect));
  }
  std::stable_sort(found.begin(), found.end(), [](const DDSURFACEDESC& a, const DDSURFACEDESC& b) {
    return std::tuple(a.dwWidth, a.dwHeight, a.ddpfPixelFormat.dwRGBBitCount) <
           std::tuple(b.dwWidth, b.dwHeight, b.ddpfPixelFormat.dwRGBBitCount);
  });
  for (const DDSURFACEDESC& d : found) (new TDXDrawDisplayMode(&modes_))->SurfaceDesc = d;
}

bool TDXDrawDisplay::DoSetDisplayMode(int AWidth, int AHeight, int ABitCount) {
  TDirectDraw* dd = dxdraw_->DDraw.get();
  if (!dd) return false;
  HRESULT r = dd->GetIDirectDraw()->SetDisplayMode(static_cast<uint32_t>(AWidth),
                                                   static_cast<uint32_t>(AHeight),
                                                   static_cast<uint32_t>(ABitCount));
  dd->SetResultCode(r);
  if (r != DD_OK) return false;
  width_ = AWidth;
  height_ = AHeight;
  bit_count_ = ABitCount;
  return true;
}

bool TDXDrawDisplay::SetNearestMode(int W, int H, int Bits) {
  if (W <= 0 || H <= 0 || (Bits != 8 && Bits != 16 && Bits != 24 && Bits != 32)) return false;
  if (DoSetDisplayMode(W, H, Bits)) return true;
  auto search = [&](bool ratio) {
    int bestW = 2147483647, bestH = 2147483647, bestBits = Bits;
    bool any = false;
    for (int i = 0; i < Count(); ++i) {
      TDXDrawDisplayMode* m = Modes(i);
      int mw = m->Width(), mh = m->Height(), mb = m->BitCount();
      if (mw > bestW || mh > bestH) continue;
      if (ratio && static_cast<long double>(mw) / mh != static_cast<long double>(W) / H) continue;
      if (FixedSize ? (mw != W || mh != H) : (mw < W || mh < H)) continue;
      if (FixedBitCount) {
        if (mb != Bits) continue;
      } else if ((mb < 9 || Bits < 9) && mb < Bits) {
        continue;
      }
      bestW = mw;
      bestH = mh;
      bestBits = mb;
      any = true;
    }
    if (!any) return false;
    if (bestBits != Bits && IndexOf(bestW, bestH, Bits) >= 0) bestBits = Bits;
    return DoSetDisplayMode(bestW, bestH, bestBits);
  };
  if (FixedRatio && search(true)) return true;
  return search(false);
}

// ---- Presentation drivers ------------------------------------------------------------

void DXDrawPaletteEntries(const std::array<RGBQUAD, 256>& ColorTable, bool AllowAll,
                          std::array<PALETTEENTRY, 256>& Entries) {
  for (size_t i = 0; i < 256; ++i)
    Entries[i] =
        PALETTEENTRY{ColorTable[i].rgbRed, ColorTable[i].rgbGreen, ColorTable[i].rgbBlue, 0};
  if (!AllowAll) {
    RGBQUAD sys[256];
    GetSystemPaletteEntries(sys);
    for (size_t i :
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 246, 247, 248, 249, 250, 251, 252, 253, 254, 255})
      Entries[i] = PALETTEENTRY{sys[i].rgbRed, sys[i].rgbGreen, sys[i].rgbBlue, 0};
  }
  for (auto& e : Entries) e.peFlags = 0x40;
}

TDXDrawDriver::TDXDrawDriver(TCustomDXDraw* DXDraw) : dxdraw_(DXDraw) {
  TDXDrawOptions o = dxdraw_->Options();
  const bool full3D = o.Contains(doFullScreen) && o.Contains(do3D) && o.Contains(doHardware) &&
                      !o.Contains(doSystemMemory);
  if (full3D && Direct3DPath()) {
    TDirect3DSetupOptions request = 0;
    if (o.Contains(doSelectDriver)) request |= soSelectDriver;
    if (!dxdraw_->Display()->FixedBitCount) request |= soBitCount;
    if (o.Contains(doHardware)) request |= soHardware;
    if (o.Contains(doRetainedMode)) request |= soRetainedMode;
    if (o.Contains(doZBuffer)) request |= soZBuffer;
    Direct3DPath()->SelectDisplayDriver(request, dxdraw_);
  }
  const GUID* guid =
      (o.Contains(doFullScreen) && o.Contains(doHardware) && !o.Contains(doSystemMemory))
          ? dxdraw_->DriverGUID()
          : nullptr;
  dxdraw_->DDraw = std::make_unique<TDirectDraw>(guid, o.Contains(doDirectX7Mode));
}

TDXDrawDriver::~TDXDrawDriver() {
  Finalize();
  dxdraw_->DDraw.reset();
}

void TDXDrawDriver::Finalize() {
  TCustomDXDraw* c = dxdraw_;
  for (PDirect3DDevice* d : {&c->D3DDevice, &c->D3DDevice2, &c->D3DDevice3, &c->D3DDevice7})
    d->reset();
  for (PDirect3D* d : {&c->D3D, &c->D3D2, &c->D3D3, &c->D3D7}) d->reset();
  if (Direct3DPath()) Direct3DPath()->FreeZBuffer(c);
  c->ZBuffer.reset();
  c->Clipper.reset();
  c->Palette.reset();
  c->Surface.reset();
  c->Primary.reset();
}

bool TDXDrawDriver::Restore() {
  bool ok = dxdraw_->Primary->Restore() && dxdraw_->Surface->Restore();
  if (ok) {
    dxdraw_->Primary->Fill(0);
    dxdraw_->Surface->Fill(0);
  }
  return ok;
}

void TDXDrawDriver::MakePalette(uint32_t Caps) {
  std::array<PALETTEENTRY, 256> entries;
  DXDrawPaletteEntries(dxdraw_->ColorTable, dxdraw_->EffectiveOptions().Contains(doAllowPalette256),
                       entries);
  dxdraw_->Palette = std::make_unique<TDirectDrawPalette>(dxdraw_->DDraw.get());
  dxdraw_->Palette->CreatePalette(Caps, entries.data());
}

void TDXDrawDriver::Initialize3D() {
  TCustomDXDraw* c = dxdraw_;
  const TDXDrawOptions asked = c->Options();
  TDirect3DSetupOptions achieved = 0;
  // Without the Direct3D path no device is made, so none of the options it
  // would be asked for is achieved.
  if (Direct3DPath()) {
    TDirect3DSetupOptions request = 0;
    if (asked.Contains(doHardware)) request |= soHardware;
    if (c->EffectiveOptions().Contains(doRetainedMode)) request |= soRetainedMode;
    if (asked.Contains(doSelectDriver)) request |= soSelectDriver;
    if (asked.Contains(doZBuffer)) request |= soZBuffer;
    achieved = Direct3DPath()->Initialize3D(c, asked.Contains(doDirectX7Mode), request);
  }
  TDXDrawOptions& o = c->NowOptions();
  for (auto x : {doRetainedMode, doHardware, doSelectDriver, doZBuffer}) o.Exclude(x);
  if (achieved & soHardware) o.Include(doHardware);
  if (achieved & soRetainedMode) o.Include(doRetainedMode);
  if (achieved & soSelectDriver) o.Include(doSelectDriver);
  if (achieved & soZBuffer) o.Include(doZBuffer);
}

void TDXDrawDriverBlt::Initialize() {
  TCustomDXDraw* c = dxdraw_;
  c->Primary = std::make_unique<TDirectDrawSurface>(c->DDraw.get());
  if (!c->Primary->CreateSurface(Desc(DDSD_CAPS, DDSCAPS_PRIMARYSURFACE)))
    Raise<EDXDrawError>("%s cannot be made", "Primary Surface");
  c->Surface = std::make_unique<TDirectDrawSurface>(c->DDraw.get());
  c->Clipper = std::make_unique<TDirectDrawClipper>(c->DDraw.get());
  c->Clipper->SetHandle(c->Handle());
  c->Primary->SetClipper(c->Clipper.get());
  MakePalette(DDPCAPS_8BIT | DDPCAPS_INITIALIZE |
              (c->EffectiveOptions().Contains(doAllowPalette256) ? DDPCAPS_ALLOW256 : 0));
  c->Primary->SetPalette(c->Palette.get());
  CreateBackSurface();
}

void TDXDrawDriverBlt::CreateBackSurface() {
  TCustomDXDraw* c = dxdraw_;
  c->Surface->SetIDirectDrawSurface(nullptr);
  c->NowOptions().Exclude(doSystemMemory);
  bool threeD = c->EffectiveOptions().Contains(do3D);
  DDSURFACEDESC d = Desc(DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH,
                         DDSCAPS_OFFSCREENPLAIN |
                             (c->Options().Contains(doSystemMemory) ? DDSCAPS_SYSTEMMEMORY : 0) |
                             (threeD ? DDSCAPS_3DDEVICE : 0));
  d.dwWidth = static_cast<uint32_t>(Max(c->surface_width_, 1));
  d.dwHeight = static_cast<uint32_t>(Max(c->surface_height_, 1));
  if (!c->Surface->CreateSurface(d)) {
    d.ddsCaps.dwCaps |= DDSCAPS_SYSTEMMEMORY;
    if (!c->Surface->CreateSurface(d)) Raise<EDXDrawError>("%s cannot be made", "Surface");
  }
  if (!(c->Surface->SurfaceDesc().ddsCaps.dwCaps & DDSCAPS_VIDEOMEMORY))
    c->NowOptions().Include(doSystemMemory);
  c->Surface->SetPalette(c->Palette.get());
  c->Surface->Fill(0);
  if (threeD) Initialize3D();
}

void TDXDrawDriverBlt::Flip() {
  TCustomDXDraw* c = dxdraw_;
  TPoint origin = c->ClientToWindow(TPoint{0, 0});
  TRect target;
  TDXDrawOptions o = c->EffectiveOptions();
  if (o.Contains(doStretch)) {
    target = TRect{origin.X, origin.Y, origin.X + c->ClientWidth(), origin.Y + c->ClientHeight()};
  } else {
    if (o.Contains(doCenter)) {
      origin.X += (c->Width() - c->Surface->Width()) / 2;
      origin.Y += (c->Height() - c->Surface->Height()) / 2;
    }
    target =
        TRect{origin.X, origin.Y, origin.X + c->Surface->Width(), origin.Y + c->Surface->Height()};
  }
  if (o.Contains(doWaitVBlank))
    c->DDraw->SetResultCode(
        c->DDraw->GetIDirectDraw()->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr));
  DDBLTFX fx;
  fx.dwSize = 100;
  c->Primary->Blt(&target, nullptr, DDBLT_WAIT, fx, c->Surface.get());
}

bool TDXDrawDriverBlt::SetSize(int AWidth, int AHeight) {
  TCustomDXDraw* c = dxdraw_;
  c->surface_width_ = Max(AWidth, 1);
  c->surface_height_ = Max(AHeight, 1);
  ++c->hold_restore_;
  const TScopeExit hold([c] { --c->hold_restore_; });
  c->BroadcastNotify(dnFinalizeSurface);
  if (c->called_do_initialize_surface_) {
    c->called_do_initialize_surface_ = false;
    c->DoFinalizeSurface();
  }
  CreateBackSurface();
  c->BroadcastNotify(dnInitializeSurface);
  c->called_do_initialize_surface_ = true;
  c->DoInitializeSurface();
  return true;
}

void TDXDrawDriverFlip::Initialize() {
  TCustomDXDraw* c = dxdraw_;
  bool threeD = c->EffectiveOptions().Contains(do3D);
  DDSURFACEDESC d =
      Desc(DDSD_CAPS | DDSD_BACKBUFFERCOUNT, DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP |
                                                 DDSCAPS_COMPLEX | (threeD ? DDSCAPS_3DDEVICE : 0));
  d.dwBackBufferCount = 1;
  c->Primary = std::make_unique<TDirectDrawSurface>(c->DDraw.get());
  if (!c->Primary->CreateSurface(d)) Raise<EDXDrawError>("%s cannot be made", "Primary Surface");
  c->Surface = std::make_unique<TDirectDrawSurface>(c->DDraw.get());
  DDSCAPS caps{DDSCAPS_BACKBUFFER};
  PDirectDrawSurface back;
  HRESULT r = c->Primary->GetIDirectDrawSurface()->GetAttachedSurface(&caps, &back);
  c->Primary->SetResultCode(r);
  // Without its back buffer the chain would show a black screen for good:
  // better to say so.
  if (r != DD_OK || !back) Raise<EDXDrawError>("%s cannot be made", "Surface");
  c->Surface->SetIDirectDrawSurface(back);
  c->NowOptions().Exclude(doSystemMemory);
  if (c->Surface->SurfaceDesc().ddsCaps.dwCaps & DDSCAPS_SYSTEMMEMORY)
    c->NowOptions().Include(doSystemMemory);
  c->Clipper = std::make_unique<TDirectDrawClipper>(c->DDraw.get());
  MakePalette(DDPCAPS_8BIT |
              (c->EffectiveOptions().Contains(doAllowPalette256) ? DDPCAPS_ALLOW256 : 0));
  c->Primary->SetPalette(c->Palette.get());
  c->Surface->SetPalette(c->Palette.get());
  if (threeD) Initialize3D();
}

void TDXDrawDriverFlip::Flip() {
  TCustomDXDraw* c = dxdraw_;
  TForm* form = c->ParentForm();
  if (form && form->Active()) {
    c->Primary->SetResultCode(c->Primary->GetIDirectDrawSurface()->Flip(nullptr, DDFLIP_WAIT));
  } else {
    c->Primary->SetResultCode(DD_OK);
    // Nothing is shown, so nothing waits for the vertical blank: wait here
    // instead, or the frame loop would spin flat out while in the background.
    Sleep(kFramePeriodMs);
  }
}

// ---- Display control ----------------------------------------------------------------------

TCustomDXDraw::TCustomDXDraw(TComponent* AOwner) : TWinControl(AOwner) {
  display_ = std::make_unique<TDXDrawDisplay>(this);
  SetOptions(
      {doAllowReboot, doWaitVBlank, doCenter, do3D, doDirectX7Mode, doHardware, doSelectDriver});
  RGBQUAD sys[256];
  GetSystemPaletteEntries(sys);
  std::copy(sys, sys + 256, ColorTable.begin());
  DefaultColorTable = ColorTable;
  TWinControl::SetBounds(Left(), Top(), 100, 100);
  SetColor(clBlack);
  if (Direct3DPath()) d2d_ = Direct3DPath()->MakeD2D(this);
  CurrentD2D = d2d_.get();
  traces_ = std::make_unique<TTraces>(this);
}

TCustomDXDraw::~TCustomDXDraw() {
  try {
    Finalize();
  } catch (...) {
    // A failing listener must not stop the control from going away.
  }
  try {
    BroadcastNotify(dnDestroying);
  } catch (...) {
  }
  display_.reset();
  sub_class_.reset();
  handlers_.clear();
  if (CurrentD2D == d2d_.get()) CurrentD2D = nullptr;
  d2d_.reset();
  traces_.reset();
}

void TCustomDXDraw::Notify(const THandler& H, TDXDrawNotifyType NotifyType) {
  if (NotifyType != dnRestore) {
    H.Proc(this, NotifyType);
    return;
  }
  // Each listener (an image list per archive) restores on its own: one that
  // fails is reported and the others still get their surfaces.
  try {
    H.Proc(this, NotifyType);
  } catch (...) {
    Application->HandleException(this);
  }
}

void TCustomDXDraw::AddNotifyHandler(const void* Object, TDXDrawNotifyProc Handler) {
  // A listener registered again is first told it is leaving, so it never
  // hears "initialise" twice without a "finalise" between.
  RemoveNotifyHandler(Object);
  handlers_.push_back(THandler{Object, std::move(Handler), next_handler_id_++});
  // Copy: the handler may remove itself while told.
  THandler h = handlers_.back();
  Notify(h, dnSurfaceSizeChanged);
  if (initialized_) {
    Notify(h, dnInitialize);
    if (called_do_initialize_surface_) Notify(h, dnInitializeSurface);
    if (hold_restore_ == 0) Notify(h, dnRestore);
  }
}

void TCustomDXDraw::RemoveNotifyHandler(const void* Object) {
  auto it = std::find_if(handlers_.begin(), handlers_.end(),
                         [&](const THandler& h) { return h.Object == Object; });
  if (it == handlers_.end()) return;
  THandler h = std::move(*it);
  handlers_.erase(it);
  if (called_do_initialize_surface_) Notify(h, dnFinalizeSurface);
  if (initialized_) Notify(h, dnFinalize);
}

void TCustomDXDraw::BroadcastNotify(TDXDrawNotifyType NotifyType) {
  // The last registered hears first. Handlers may remove themselves or
  // others while told: each is looked up again before its call, so a
  // removal never skips or repeats anyone.
  std::vector<uint64_t> ids;
  ids.reserve(handlers_.size());
  for (auto it = handlers_.rbegin(); it != handlers_.rend(); ++it) ids.push_back(it->Id);
  for (uint64_t id : ids) {
    auto it = std::find_if(handlers_.begin(), handlers_.end(),
                           [&](const THandler& h) { return h.Id == id; });
    if (it == handlers_.end()) continue;
    THandler h = *it;
    Notify(h, NotifyType);
  }
}

void TCustomDXDraw::DeriveOptions(TDXDrawOptions Value) {
  if (!initialized_) {
    TDXDrawOptions o = Value;
    if (!o.Contains(doFullScreen))
      for (auto x : {doNoWindowChange, doAllowReboot, doAllowPalette256, doFlip}) o.Exclude(x);
    if (!o.Contains(do3D))
      for (auto x : {doDirectX7Mode, doRetainedMode, doHardware, doSelectDriver, doZBuffer})
        o.Exclude(x);
    if (o.Contains(doSystemMemory)) o.Exclude(doFlip);
    if (o.Contains(doDirectX7Mode)) o.Exclude(doRetainedMode);
    o.Exclude(doHardware);
    now_options_ = o;
  } else {
    constexpr uint16_t follow =
        (1u << doWaitVBlank) | (1u << doStretch) | (1u << doCenter) | 0x8000u;
    TDXDrawOptions o = TDXDrawOptions::FromBits(
        static_cast<uint16_t>((now_options_.Bits() & ~follow) | (Value.Bits() & follow)));
    if (!o.Contains(do3D))
      for (auto x : {doRetainedMode, doHardware, doSelectDriver, doZBuffer}) o.Exclude(x);
    now_options_ = o;
  }
}

void TCustomDXDraw::SetOptions(TDXDrawOptions Value) {
  options_ = Value;
  DeriveOptions(Value);
}

void TCustomDXDraw::DoFinalize() {
  if (OnFinalize) OnFinalize(this);
}
void TCustomDXDraw::DoFinalizeSurface() {
  if (OnFinalizeSurface) OnFinalizeSurface(this);
}
void TCustomDXDraw::DoInitialize() {
  if (OnInitialize) OnInitialize(this);
}
void TCustomDXDraw::DoInitializeSurface() {
  // Only a device that refuses the back surface costs a frame.
  if (d2d_) SkipNextFlip = D3DDevice7 && !d2d_->SelectBackSurface();
  if (OnInitializeSurface) OnInitializeSurface(this);
}
void TCustomDXDraw::DoInitializing() {
  if (OnInitializing) OnInitializing(this);
}
void TCustomDXDraw::DoRestoreSurface() {
  if (OnRestoreSurface) OnRestoreSurface(this);
}

void TCustomDXDraw::SetCooperativeLevel() {
  HWND window = parent_form_ ? parent_form_->Handle() : Handle();
  uint32_t flags;
  if (!now_options_.Contains(doFullScreen)) {
    flags = DDSCL_NORMAL;
  } else {
    flags = DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE | DDSCL_ALLOWMODEX;
    if (now_options_.Contains(doNoWindowChange)) flags |= DDSCL_NOWINDOWCHANGES;
    if (now_options_.Contains(doAllowReboot)) flags |= DDSCL_ALLOWREBOOT;
  }
  DDraw->SetResultCode(DDraw->GetIDirectDraw()->SetCooperativeLevel(window, flags));
}

void TCustomDXDraw::Initialize() {
  initialize_called_ = true;
  Finalize();
  if (!parent_form_) Raise<EDXDrawError>("Form not found");
  try {
    DoInitializing();
    updating_ = true;
    internal_initialized_ = true;
    {
      const TScopeExit done([this] { updating_ = false; });
      BroadcastNotify(dnInitializing);
      if (now_options_.Contains(doFlip))
        driver_ = std::make_unique<TDXDrawDriverFlip>(this);
      else
        driver_ = std::make_unique<TDXDrawDriverBlt>(this);
      SetCooperativeLevel();
      if (now_options_.Contains(doFullScreen) &&
          !display_->SetNearestMode(display_->Width(), display_->Height(), display_->BitCount()))
        Raise<EDXDrawError>("Display mode cannot be changed (%dx%d %dbit)", display_->Width(),
                            display_->Height(), display_->BitCount());
      if (auto_size_) {
        surface_width_ = Width();
        surface_height_ = Height();
      }
      driver_->Initialize();
      initialized_ = true;
      ++hold_restore_;
    }
  } catch (...) {
    Finalize();
    throw;
  }
  {
    const TScopeExit hold([this] { --hold_restore_; });
    BroadcastNotify(dnSurfaceSizeChanged);
    BroadcastNotify(dnInitialize);
    called_do_initialize_ = true;
    DoInitialize();
    BroadcastNotify(dnInitializeSurface);
    called_do_initialize_surface_ = true;
    DoInitializeSurface();
  }
  if (!d2d_ && Direct3DPath()) d2d_ = Direct3DPath()->MakeD2D(this);
  if (d2d_) CurrentD2D = d2d_.get();
  RestoreSurface();
}

void TCustomDXDraw::Finalize() {
  std::exception_ptr failure;
  auto guarded = [&](auto&& step) {
    try {
      step();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  };
  if (internal_initialized_) {
    if (Surface && Surface->ISurface()) {
      surface_width_ = Surface->Width();
      surface_height_ = Surface->Height();
    }
    display_->ClearModes();
    updating_ = true;
    guarded([&] {
      if (called_do_initialize_surface_) {
        called_do_initialize_surface_ = false;
        DoFinalizeSurface();
      }
    });
    guarded([&] { BroadcastNotify(dnFinalizeSurface); });
    guarded([&] {
      if (called_do_initialize_) {
        called_do_initialize_ = false;
        DoFinalize();
      }
    });
    guarded([&] { BroadcastNotify(dnFinalize); });
    internal_initialized_ = false;
    initialized_ = false;
    DeriveOptions(options_);
    driver_.reset();
    updating_ = false;
  }
  if (CurrentD2D == d2d_.get()) CurrentD2D = nullptr;
  d2d_.reset();
  if (failure) std::rethrow_exception(failure);
}

bool TCustomDXDraw::CanDraw() {
  return initialized_ && !updating_ && Surface && Surface->ISurface() && CheckSurfaces();
}

void TCustomDXDraw::Flip() {
  if (initialized_ && !updating_ && CheckSurfaces() && !SkipNextFlip) driver_->Flip();
  SkipNextFlip = false;
}

bool TCustomDXDraw::CheckSurfaces() {
  if (!initialized_ || updating_ || !Primary || !Primary->ISurface()) return false;
  auto lost = [](TDirectDrawSurface* s) {
    return s && s->ISurface() && s->ISurface()->IsLost() == DDERR_SURFACELOST;
  };
  if (!lost(Primary.get()) && !lost(Surface.get())) return true;
  if (d2d_) d2d_->ClearTextureCache();
  RestoreSurface();
  auto ok = [](TDirectDrawSurface* s) {
    return s && s->ISurface() && s->ISurface()->IsLost() == DD_OK;
  };
  return ok(Primary.get()) && ok(Surface.get());
}

void TCustomDXDraw::RestoreSurface() {
  if (!initialized_ || updating_) return;
  updating_ = true;
  // Whatever a listener raises (a picture archive gone missing), the
  // control must come out of the restore able to draw again.
  try {
    if (!driver_->Restore()) {
      updating_ = false;
      return;
    }
    Primary->SetPalette(Palette.get());
    Surface->SetPalette(Palette.get());
    SetColorTable(DefaultColorTable);
    BroadcastNotify(dnRestore);
    DoRestoreSurface();
    SetColorTable(ColorTable);
  } catch (...) {
    updating_ = false;
    try {
      SetColorTable(ColorTable);
    } catch (...) {
    }
    throw;
  }
  updating_ = false;
}

void TCustomDXDraw::UpdatePalette() {
  if (initialized_ && now_options_.Contains(doWaitVBlank) &&
      !(DDraw->DriverCaps.dwPalCaps & DDPCAPS_VSYNC))
    DDraw->GetIDirectDraw()->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr);
  SetColorTable(ColorTable);
}

void TCustomDXDraw::SetColorTable(const std::array<RGBQUAD, 256>& Table) {
  if (!initialized_ || !Palette) return;
  std::array<PALETTEENTRY, 256> entries;
  DXDrawPaletteEntries(Table, now_options_.Contains(doAllowPalette256), entries);
  Palette->SetEntries(0, 256, entries.data());
}

int TCustomDXDraw::SurfaceWidth() const {
  return Surface && Surface->ISurface() ? Surface->Width() : surface_width_;
}
int TCustomDXDraw::SurfaceHeight() const {
  return Surface && Surface->ISurface() ? Surface->Height() : surface_height_;
}

void TCustomDXDraw::SetSurfaceWidth(int Value) {
  if (ComponentState() & (csLoading | csReading))
    surface_width_ = Value;
  else
    SetSurfaceSize(Value, SurfaceHeight());
}

void TCustomDXDraw::SetSurfaceHeight(int Value) {
  if (ComponentState() & (csLoading | csReading))
    surface_height_ = Value;
  else
    SetSurfaceSize(SurfaceWidth(), Value);
}

void TCustomDXDraw::SetSurfaceSize(int AWidth, int AHeight) {
  if ((AWidth == SurfaceWidth() && AHeight == SurfaceHeight()) || updating_) return;
  if (initialized_) {
    try {
      if (!driver_->SetSize(AWidth, AHeight)) return;
    } catch (...) {
      try {
        Finalize();
      } catch (...) {
      }
      throw;
    }
  } else {
    surface_width_ = AWidth;
    surface_height_ = AHeight;
  }
  BroadcastNotify(dnSurfaceSizeChanged);
}

void TCustomDXDraw::SetAutoSize(bool Value) {
  if (auto_size_ == Value) return;
  auto_size_ = Value;
  if (Value) SetSurfaceSize(Width(), Height());
}

void TCustomDXDraw::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  TWinControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  if (auto_size_ && !updating_ && display_) SetSurfaceSize(AWidth, AHeight);
}

void TCustomDXDraw::SetDriverGUID(const GUID* Value) {
  // nil and DirectDraw's special driver values (small numbers passed as a
  // pointer) are no memory to read: they are kept as they are.
  if (reinterpret_cast<uintptr_t>(Value) < 0x10000) {
    driver_guid_ = Value;
    return;
  }
  driver_guid_store_ = *Value;
  driver_guid_ = &driver_guid_store_;
}

void TCustomDXDraw::SetMirrorFlip(TRenderMirrorFlips Value) {
  if (options_.Contains(do3D) && d2d_) d2d_->SetMirrorFlip(Value);
}

void TCustomDXDraw::SetTextureFilter(int Value) {
  if (options_.Contains(do3D) && d2d_)
    d2d_->SetTextureFilter(static_cast<TD2DTextureFilter>(std::clamp(Value, 0, 4)));
}

void TCustomDXDraw::Loaded() {
  TWinControl::Loaded();
  if (auto_size_) {
    surface_width_ = Width();
    surface_height_ = Height();
  }
  BroadcastNotify(dnSurfaceSizeChanged);
  if (AutoInitialize && !(ComponentState() & csDesigning) && !sub_class_) Initialize();
}

void TCustomDXDraw::SetParent(TWinControl* AParent) {
  TWinControl::SetParent(AParent);
  parent_form_ = nullptr;
  sub_class_.reset();
  if (ComponentState() & csDesigning) return;
  for (TWinControl* p = Parent(); p; p = p->Parent()) {
    if (auto* f = dynamic_cast<TForm*>(p)) {
      parent_form_ = f;
      sub_class_ = std::make_unique<TControlSubClass>(
          f, [this](TMessage& Message, const TWndMethod& Previous) {
            FormWndProc(Message, Previous);
          });
      break;
    }
  }
}

void TCustomDXDraw::WndProc(TMessage& Message) {
  TWinControl::WndProc(Message);
  if (Message.Msg == WM_CREATE && initialized_ && !updating_) {
    if (Clipper) Clipper->SetHandle(Handle());
    SetCooperativeLevel();
  } else if (Message.Msg == WM_PAINT) {
    Paint();
  }
}

void TCustomDXDraw::FormWndProc(TMessage& Message, const TWndMethod& Previous) {
  switch (Message.Msg) {
    case WM_ACTIVATE:
      if (LOWORD(Message.WParam) != WA_INACTIVE) break;
      [[fallthrough]];
    case msg::WM_INITMENU:
      if (initialized_ && now_options_.Contains(doFullScreen) && now_options_.Contains(doFlip))
        DDraw->GetIDirectDraw()->FlipToGDISurface();
      break;
    case WM_SHOWWINDOW:
      Previous(Message);
      if (Message.WParam && AutoInitialize && !initialize_called_) Initialize();
      return;
    case msg::WM_ENTERSIZEMOVE:
      if (ComponentState() & csLoading) break;
      [[fallthrough]];
    case WM_DESTROY:
      Finalize();
      break;
    case msg::WM_EXITSIZEMOVE:
      if (!(ComponentState() & csLoading)) Initialize();
      break;
    default:
      break;
  }
  Previous(Message);
}

void TCustomDXDraw::Paint() {
  if (ComponentState() & csDesigning) return;
  const TDXDrawOptions saved = now_options_;
  const TScopeExit restore([&] { now_options_ = saved; });
  now_options_.Exclude(doWaitVBlank);
  Flip();
}

bool TCustomDXDraw::PaletteChanged(bool Foreground) {
  if (!Foreground) return false;
  RestoreSurface();
  return true;
}

bool TCustomDXDraw::ReadProperty(const std::string& Name, TReader& Reader) {
  TDXDrawDisplay* d = display_.get();
  if (Name == "Display.Width")
    d->SetWidth(Reader.ReadInteger());
  else if (Name == "Display.Height")
    d->SetHeight(Reader.ReadInteger());
  else if (Name == "Display.BitCount")
    d->SetBitCount(Reader.ReadInteger());
  else if (Name == "Display.FixedBitCount")
    d->FixedBitCount = Reader.ReadBoolean();
  else if (Name == "Display.FixedRatio")
    d->FixedRatio = Reader.ReadBoolean();
  else if (Name == "Display.FixedSize")
    d->FixedSize = Reader.ReadBoolean();
  else if (Name == "AutoInitialize")
    AutoInitialize = Reader.ReadBoolean();
  else if (Name == "AutoSize")
    auto_size_ = Reader.ReadBoolean();
  else if (Name == "SurfaceWidth")
    surface_width_ = Reader.ReadInteger();
  else if (Name == "SurfaceHeight")
    surface_height_ = Reader.ReadInteger();
  else if (Name == "Traces")
    Reader.ReadCollection(*traces_);
  else
    return TWinControl::ReadProperty(Name, Reader);
  return true;
}

void TCustomDXDraw::WriteProperties(TWriter& Writer) const {
  TWinControl::WriteProperties(Writer);
  if (!AutoInitialize) Writer.WriteBoolean("AutoInitialize", false);
  if (!auto_size_) Writer.WriteBoolean("AutoSize", false);
  const TDXDrawDisplay* d = display_.get();
  // The flags have no stored default: they are always written.
  if (d->BitCount() != 16) Writer.WriteInteger("Display.BitCount", d->BitCount());
  Writer.WriteBoolean("Display.FixedBitCount", d->FixedBitCount);
  Writer.WriteBoolean("Display.FixedRatio", d->FixedRatio);
  Writer.WriteBoolean("Display.FixedSize", d->FixedSize);
  if (d->Height() != 480) Writer.WriteInteger("Display.Height", d->Height());
  if (d->Width() != 640) Writer.WriteInteger("Display.Width", d->Width());
  if (SurfaceHeight() != 480) Writer.WriteInteger("SurfaceHeight", SurfaceHeight());
  if (SurfaceWidth() != 640) Writer.WriteInteger("SurfaceWidth", SurfaceWidth());
  Writer.WriteCollection("Traces", *traces_);
}
