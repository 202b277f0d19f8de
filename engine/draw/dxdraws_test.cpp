#include "engine/draw/dxdraws.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/dib/dib.h"
#include "framework/filer.h"
#include "platform/backend/headless/headless_core.h"
#include "platform/backend/headless/headless_video.h"
#include "platform/ddraw/ddraw_seam.h"
#include "platform/win/user_seam.h"

namespace {

const TDXDrawOptions kGameOptions{doFullScreen, doAllowReboot,  doWaitVBlank, doAllowPalette256,
                                  doStretch,    doCenter,       doFlip,       doDirectX7Mode,
                                  doHardware,   doSelectDriver, doZBuffer};

std::string Names(TDXDrawOptions o) {
  static const char* names[] = {
      "FullScreen",   "NoWindowChange", "AllowReboot", "WaitVBlank",   "AllowPalette256",
      "SystemMemory", "Stretch",        "Center",      "Flip",         "3D",
      "DirectX7Mode", "RetainedMode",   "Hardware",    "SelectDriver", "ZBuffer"};
  std::string s;
  for (int i = 0; i < 15; ++i)
    if (o.Contains(static_cast<TDXDrawOption>(i)))
      s += std::string(s.empty() ? "" : " ") + names[i];
  return s;
}

class DisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HeadlessInstall();
    video = &HeadlessInstallVideo();
    DDRegisterModule();
    SkipNextFlip = false;
    form = std::make_unique<TForm>(nullptr);
    form->SetBounds(0, 0, 800, 600);
  }
  void TearDown() override {
    form.reset();
    DDSetVideoOutput(nullptr);
    HeadlessUninstall();
  }

  // The display control as the game's form sets it up.
  TDXDraw* GameDraw() {
    auto* d = new TDXDraw(form.get());
    d->SetParent(form.get());
    d->SetAutoSize(false);
    d->SetBounds(0, 0, 800, 600);
    d->SetSurfaceWidth(800);
    d->SetSurfaceHeight(600);
    d->Display()->SetWidth(800);
    d->Display()->SetHeight(600);
    d->Display()->FixedBitCount = true;
    d->Display()->FixedRatio = true;
    d->Display()->FixedSize = false;
    d->SetOptions(kGameOptions);
    return d;
  }

  void Activate() { form->Perform(WM_ACTIVATE, WA_ACTIVE, 0); }

  THeadlessVideo* video = nullptr;
  std::unique_ptr<TForm> form;
};

// ---- Options ----------------------------------------------------------------------

TEST_F(DisplayTest, RequestedOptionsGiveTheOptionsInForce) {
  struct TCase {
    TDXDrawOptions Requested;
    const char* Effective;
  };
  const TCase cases[] = {
      {kGameOptions, "FullScreen AllowReboot WaitVBlank AllowPalette256 Stretch Center Flip"},
      {{doFlip}, ""},  // windowed: the Blt driver presents
      {{doFullScreen, doSystemMemory, doFlip}, "FullScreen SystemMemory"},
      {{doFullScreen, do3D, doDirectX7Mode, doRetainedMode, doHardware, doZBuffer},
       "FullScreen 3D DirectX7Mode ZBuffer"},
      {{do3D, doRetainedMode, doSelectDriver}, "3D RetainedMode SelectDriver"},
  };
  TDXDraw* d = GameDraw();
  for (const TCase& c : cases) {
    d->SetOptions(c.Requested);
    EXPECT_EQ(Names(d->EffectiveOptions()), c.Effective) << Names(c.Requested);
  }
}

TEST_F(DisplayTest, WhileInitialisedOnlyPresentationOptionsFollow) {
  TDXDraw* d = GameDraw();
  Activate();
  d->Initialize();
  ASSERT_TRUE(d->Initialized());
  d->SetOptions({doStretch});
  EXPECT_EQ(Names(d->EffectiveOptions()), "FullScreen AllowReboot AllowPalette256 Stretch Flip");
  // The device was made as the requested options asked, at the game's level.
  EXPECT_EQ(d->DDraw->GetIDirectDraw()->CooperativeLevel(), 0x53u);
  EXPECT_NE(d->DDraw->GetIDirectDraw7OrNil(), nullptr);
}

TEST_F(DisplayTest, WithoutADirect3DDeviceNoneOfItsOptionsStaysInForce) {
  struct TCase {
    TDXDrawOptions Requested;
    const char* Before;
    const char* After;
  };
  const TCase cases[] = {
      {{doFullScreen, doFlip, do3D, doDirectX7Mode, doSelectDriver, doZBuffer},
       "FullScreen Flip 3D DirectX7Mode SelectDriver ZBuffer",
       "FullScreen Flip 3D DirectX7Mode"},
      {{do3D, doRetainedMode, doZBuffer}, "3D RetainedMode ZBuffer", "3D"},  // Blt driver
  };
  for (const TCase& c : cases) {
    TDXDraw* d = GameDraw();
    d->SetOptions(c.Requested);
    EXPECT_EQ(Names(d->EffectiveOptions()), c.Before);
    Activate();
    d->Initialize();
    ASSERT_TRUE(d->Initialized());
    EXPECT_EQ(Names(d->EffectiveOptions()), c.After);
    EXPECT_TRUE(d->Surface->SurfaceDesc().ddsCaps.dwCaps & DDSCAPS_3DDEVICE);
    delete d;
  }
}

TEST_F(DisplayTest, DriverIdentifiersAreCopiedAndSpecialValuesKept) {
  TDXDraw* d = GameDraw();
  GUID g{0x12345678, 1, 2, {1, 2, 3, 4, 5, 6, 7, 8}};
  d->SetDriverGUID(&g);
  ASSERT_NE(d->DriverGUID(), nullptr);
  EXPECT_NE(d->DriverGUID(), &g);
  EXPECT_EQ(*d->DriverGUID(), g);
  const auto* hardwareOnly = reinterpret_cast<const GUID*>(uintptr_t{1});
  d->SetDriverGUID(hardwareOnly);
  EXPECT_EQ(d->DriverGUID(), hardwareOnly);
  d->SetDriverGUID(nullptr);
  EXPECT_EQ(d->DriverGUID(), nullptr);
}

// ---- Notifications ------------------------------------------------------------------

struct TTrace {
  std::vector<int> Kinds;
  TDXDrawNotifyProc Proc() {
    return [this](TCustomDXDraw*, TDXDrawNotifyType k) { Kinds.push_back(k); };
  }
};

TEST_F(DisplayTest, NotificationTraces) {
  TDXDraw* d = GameDraw();
  TTrace early, late;
  d->AddNotifyHandler(&early, early.Proc());
  EXPECT_EQ(early.Kinds, (std::vector<int>{dnSurfaceSizeChanged}));
  early.Kinds.clear();

  Activate();
  d->Initialize();
  EXPECT_EQ(early.Kinds, (std::vector<int>{dnInitializing, dnSurfaceSizeChanged, dnInitialize,
                                           dnInitializeSurface, dnRestore}));

  d->AddNotifyHandler(&late, late.Proc());
  EXPECT_EQ(late.Kinds,
            (std::vector<int>{dnSurfaceSizeChanged, dnInitialize, dnInitializeSurface, dnRestore}));
  // Registered again, it is told it left before it is told to start over.
  late.Kinds.clear();
  d->AddNotifyHandler(&late, late.Proc());
  EXPECT_EQ(late.Kinds, (std::vector<int>{dnFinalizeSurface, dnFinalize, dnSurfaceSizeChanged,
                                          dnInitialize, dnInitializeSurface, dnRestore}));
  late.Kinds.clear();
  d->RemoveNotifyHandler(&late);
  EXPECT_EQ(late.Kinds, (std::vector<int>{dnFinalizeSurface, dnFinalize}));

  early.Kinds.clear();
  d->Finalize();
  EXPECT_EQ(early.Kinds, (std::vector<int>{dnFinalizeSurface, dnFinalize}));
  EXPECT_TRUE(late.Kinds ==
              (std::vector<int>{dnFinalizeSurface, dnFinalize}));  // removed: heard nothing more
  early.Kinds.clear();
  form.reset();
  EXPECT_EQ(early.Kinds, (std::vector<int>{dnDestroying}));
}

TEST_F(DisplayTest, BroadcastReachesTheLastRegisteredFirstAndSurvivesRemovals) {
  TDXDraw* d = GameDraw();
  std::vector<std::string> order;
  int a, b, c;
  d->AddNotifyHandler(&a, [&](TCustomDXDraw*, TDXDrawNotifyType) { order.push_back("A"); });
  d->AddNotifyHandler(&b, [&](TCustomDXDraw* s, TDXDrawNotifyType k) {
    if (k != dnRestore) return;
    order.push_back("B");
    s->RemoveNotifyHandler(&b);  // leaves during the broadcast
  });
  d->AddNotifyHandler(&c, [&](TCustomDXDraw*, TDXDrawNotifyType) { order.push_back("C"); });
  order.clear();
  d->BroadcastNotify(dnRestore);
  EXPECT_EQ(order, (std::vector<std::string>{"C", "B", "A"}));
  order.clear();
  d->BroadcastNotify(dnRestore);
  EXPECT_EQ(order, (std::vector<std::string>{"C", "A"}));
  form.reset();
}

// ---- Restore ---------------------------------------------------------------------------

TEST_F(DisplayTest, ForcedSurfaceLossRestoresWithTheColourTablesInOrder) {
  TDXDraw* d = GameDraw();
  for (int i = 0; i < 256; ++i) {
    d->DefaultColorTable[static_cast<size_t>(i)] = RGBQUAD{0, 0, 1, 0};  // red 1
    d->ColorTable[static_cast<size_t>(i)] = RGBQUAD{0, 0, 2, 0};         // red 2
  }
  Activate();
  d->Initialize();
  std::vector<std::string> steps;
  auto red = [&] { return std::to_string(d->Palette->IPalette()->Entries()[100].peRed); };
  int listener;
  d->AddNotifyHandler(&listener, [&](TCustomDXDraw* s, TDXDrawNotifyType k) {
    if (k == dnRestore)
      steps.push_back("restore with table " + red() + (s->CanDraw() ? " drawable" : " held"));
  });
  d->OnRestoreSurface = [&](TObject*) { steps.push_back("event with table " + red()); };
  steps.clear();

  DDLoseAllSurfaces();
  EXPECT_EQ(d->Surface->ISurface()->IsLost(), DDERR_SURFACELOST);
  EXPECT_TRUE(d->CanDraw());
  EXPECT_EQ(steps, (std::vector<std::string>{"restore with table 1 held", "event with table 1"}));
  EXPECT_EQ(red(), "2");
  EXPECT_EQ(d->Surface->ISurface()->IsLost(), DD_OK);
  form.reset();
}

TEST_F(DisplayTest, AListenerThatFailsToRestoreIsReportedAndTheOthersStillRestore) {
  TDXDraw* d = GameDraw();
  Activate();
  d->Initialize();
  // Registered in this order, so told in the other: the failing one first.
  int later, failing;
  int restored = 0;
  bool fail = false;
  d->AddNotifyHandler(&later, [&](TCustomDXDraw*, TDXDrawNotifyType k) {
    if (k == dnRestore) ++restored;
  });
  d->AddNotifyHandler(&failing, [&](TCustomDXDraw*, TDXDrawNotifyType k) {
    if (k == dnRestore && fail) throw EFOpenError("Cannot open file \"graphic\\data.dan\"");
  });
  fail = true;
  restored = 0;
  DDLoseAllSurfaces();
  EXPECT_TRUE(d->CanDraw());
  EXPECT_EQ(restored, 1);
  const auto boxes = TakeRecordedMessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].Text, "Cannot open file \"graphic\\data.dan\"");
  EXPECT_FALSE(d->Updating());
  form.reset();
}

// ---- Failures --------------------------------------------------------------------------

TEST_F(DisplayTest, FailuresRaiseThePartsMessagesAndLeaveTheControlFinalised) {
  struct TCase {
    const char* Name;
    std::function<void()> Arrange;
    std::string Message;
  };
  const TCase cases[] = {
      {"no 16-bit modes",
       [&] {
         video->SetDisplayModes({{800, 600, 8}, {800, 600, 32}, {1024, 768, 32}});
       },
       "Display mode cannot be changed (800x600 16bit)"},
      {"no primary", [] { DDFaults().FailPrimary = 1; }, "Primary Surface cannot be made"},
      {"no back buffer", [] { DDFaults().FailAttachedSurface = 1; }, "Surface cannot be made"},
      {"no device", [] { DDFaults().FailCreateDevice = 1; }, "DirectDraw cannot be initialized"},
  };
  for (const TCase& c : cases) {
    TDXDraw* d = GameDraw();
    TTrace trace;
    d->AddNotifyHandler(&trace, trace.Proc());
    c.Arrange();
    try {
      d->Initialize();
      ADD_FAILURE() << c.Name << ": no exception";
    } catch (const EDirectDrawError& e) {
      EXPECT_EQ(e.Message(), c.Message) << c.Name;
    }
    EXPECT_FALSE(d->Initialized()) << c.Name;
    EXPECT_EQ(d->DDraw, nullptr) << c.Name;
    EXPECT_FALSE(d->CanDraw()) << c.Name;
    video->Reset();
    DDFaults() = TDDFaults{};
    delete d;
  }
}

TEST_F(DisplayTest, WithoutAFormThereIsNothingToInitialise) {
  auto* d = new TDXDraw(form.get());
  try {
    d->Initialize();
    ADD_FAILURE();
  } catch (const EDXDrawError& e) {
    EXPECT_EQ(e.Message(), "Form not found");
  }
}

TEST_F(DisplayTest, TheDisplayIsStoredWithTheControl) {
  TDXDraw* d = GameDraw();
  TMemoryStream stream;
  TWriter writer(stream);
  d->WriteProperties(writer);
  writer.WriteListEnd();
  stream.Seek(0, soBeginning);
  auto* copy = new TDXDraw(form.get());
  copy->Display()->FixedRatio = false;  // flags are stored whatever their value
  TReader reader(stream);
  reader.ReadProperties(*copy);
  TDXDrawDisplay* a = d->Display();
  TDXDrawDisplay* b = copy->Display();
  EXPECT_EQ(std::vector<int>({b->Width(), b->Height(), b->BitCount(), b->FixedBitCount,
                              b->FixedRatio, b->FixedSize}),
            std::vector<int>({a->Width(), a->Height(), a->BitCount(), a->FixedBitCount,
                              a->FixedRatio, a->FixedSize}));
  EXPECT_EQ(copy->SurfaceWidth(), 800);
  EXPECT_FALSE(copy->AutoSize());
}

TEST_F(DisplayTest, TheFormHookInitialisesOnFirstShowAndAroundMoves) {
  TDXDraw* d = GameDraw();
  form->Show();
  EXPECT_TRUE(d->Initialized());
  form->Perform(0x0231, 0, 0);  // WM_ENTERSIZEMOVE
  EXPECT_FALSE(d->Initialized());
  form->Perform(0x0232, 0, 0);  // WM_EXITSIZEMOVE
  EXPECT_TRUE(d->Initialized());
  d->Finalize();
  form->Hide();
  form->Show();  // a second show leaves the control as it is
  EXPECT_FALSE(d->Initialized());
  form->Perform(WM_ACTIVATE, WA_INACTIVE, 0);
}

// ---- Presentation ------------------------------------------------------------------------

TEST_F(DisplayTest, TheGammaRampOfThePrimaryIsWhatTheFrameShows) {
  TDXDraw* d = GameDraw();
  Activate();
  d->Initialize();
  ASSERT_NE(d->Primary->GammaControl(), nullptr);
  ASSERT_EQ(d->Surface->GammaControl(), nullptr);
  DDGAMMARAMP ramp;
  d->Primary->GammaControl()->GetGammaRamp(0, &ramp);
  for (int i = 0; i < 256; ++i) ramp.red[i] = static_cast<uint16_t>(ramp.red[i] / 2);
  d->Primary->GammaControl()->SetGammaRamp(0, &ramp);

  ASSERT_TRUE(d->CanDraw());
  d->Surface->Fill(d->Surface->ColorToPixel(clWhite));
  int before = video->FrameCount();
  d->Flip();
  ASSERT_EQ(video->FrameCount(), before + 1);
  EXPECT_EQ(video->LastFrame().Width, 800u);
  EXPECT_TRUE(video->LastFrame().FullScreen);
  EXPECT_EQ(video->Pixel(0, 0), 0x7FFFFFu);
  EXPECT_EQ(video->Pixel(799, 599), 0x7FFFFFu);

  SkipNextFlip = true;
  d->Flip();
  EXPECT_EQ(video->FrameCount(), before + 1);
  EXPECT_FALSE(SkipNextFlip);
}

TEST_F(DisplayTest, InTheBackgroundAFlipShowsNothingAndWaitsAFrame) {
  TDXDraw* d = GameDraw();
  Activate();
  d->Initialize();
  form->Perform(WM_ACTIVATE, WA_INACTIVE, 0);
  ASSERT_FALSE(form->Active());
  int before = video->FrameCount();
  DWORD t0 = timeGetTime();
  d->Flip();
  EXPECT_EQ(video->FrameCount(), before);
  EXPECT_EQ(d->Primary->ResultCode(), DD_OK);
  EXPECT_GE(timeGetTime() - t0, 16u);
}

TEST_F(DisplayTest, AWindowedControlBlitsItsBackSurfaceCentredOrStretched) {
  auto* d = new TDXDraw(form.get());
  d->SetParent(form.get());
  d->SetAutoSize(false);
  d->SetBounds(0, 0, 640, 480);
  d->SetSurfaceWidth(320);
  d->SetSurfaceHeight(240);
  d->SetOptions({doCenter});
  d->Initialize();
  ASSERT_EQ(d->Surface->Width(), 320);
  EXPECT_EQ(d->DDraw->GetIDirectDraw()->CooperativeLevel(), DDSCL_NORMAL);
  d->Surface->Fill(0xFFFF);
  d->Flip();
  EXPECT_EQ(video->Pixel(160, 120), 0xFFFFFFu);
  EXPECT_EQ(video->Pixel(479, 359), 0xFFFFFFu);
  EXPECT_EQ(video->Pixel(159, 120), 0u);
  EXPECT_EQ(video->Pixel(480, 360), 0u);
  d->SetOptions({doStretch});
  d->Flip();
  EXPECT_EQ(video->Pixel(0, 0), 0xFFFFFFu);
  EXPECT_EQ(video->Pixel(639, 479), 0xFFFFFFu);
  EXPECT_EQ(video->Pixel(640, 480), 0u);
  // The Blt driver resizes; a size of nothing still keeps one pixel.
  d->SetSurfaceSize(0, 0);
  EXPECT_EQ(d->Surface->Width(), 1);
  EXPECT_EQ(d->Surface->Height(), 1);
}

// ---- Surfaces ------------------------------------------------------------------------------

class SurfaceTest : public DisplayTest {
 protected:
  void SetUp() override {
    DisplayTest::SetUp();
    dd = std::make_unique<TDirectDraw>(nullptr);
  }
  void TearDown() override {
    dd.reset();
    DisplayTest::TearDown();
  }
  std::unique_ptr<TDirectDraw> dd;
};

TEST_F(SurfaceTest, LockDoesNotNest) {
  TDirectDrawSurface s(dd.get());
  DDSURFACEDESC d1, d2;
  EXPECT_FALSE(s.Lock(nullptr, d1));  // no surface yet
  s.SetSize(4, 4);
  ASSERT_TRUE(s.Lock(nullptr, d1));
  EXPECT_FALSE(s.Lock(nullptr, d2));
  EXPECT_EQ(s.LockCount(), 1);
  // Pixels need a lock of their own, so they read 0 while one is held.
  EXPECT_EQ(s.Pixel(0, 0), 0u);
  s.Unlock();
  EXPECT_EQ(s.LockCount(), 0);
  s.SetPixel(1, 1, 0xABCD);
  EXPECT_EQ(s.Pixel(1, 1), 0xABCDu);
  EXPECT_EQ(s.Pixel(4, 0), 0u);
}

TEST_F(SurfaceTest, PixelsSitWhereTheirDepthPutsThem) {
  struct TCase {
    uint32_t Bits;
    int X;
    uint32_t Value;
    std::vector<uint8_t> Row;  // the first bytes of row 0 afterwards
  };
  const TCase cases[] = {
      {1, 0, 1, {0x80, 0x00}},  // the leftmost pixel is the top bit
      {1, 9, 7, {0x00, 0x40}},  // any non-zero value sets the bit
      {4, 0, 0xA, {0xA0}},
      {4, 1, 0x5, {0x05}},
      {8, 2, 0x7F, {0, 0, 0x7F}},
      {16, 1, 0xABCD, {0, 0, 0xCD, 0xAB}},
      {24, 1, 0x123456, {0, 0, 0, 0x56, 0x34, 0x12}},
      {32, 1, 0x89ABCDEF, {0, 0, 0, 0, 0xEF, 0xCD, 0xAB, 0x89}},
  };
  for (const TCase& c : cases) {
    DDSURFACEDESC d;
    d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    d.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    d.dwWidth = 16;
    d.dwHeight = 2;
    d.ddpfPixelFormat = DDPixelFormat(c.Bits);
    TDirectDrawSurface s(dd.get());
    ASSERT_TRUE(s.CreateSurface(d));
    s.SetPixel(c.X, 0, c.Value);
    const uint32_t back = c.Bits == 1 ? 1 : c.Value;
    EXPECT_EQ(s.Pixel(c.X, 0), back) << c.Bits << " bits at " << c.X;
    EXPECT_EQ(s.Pixel(c.X, 1), 0u) << c.Bits;
    DDSURFACEDESC lock;
    ASSERT_TRUE(s.Lock(nullptr, lock));
    const auto* row = static_cast<const uint8_t*>(lock.lpSurface);
    EXPECT_EQ(std::vector<uint8_t>(row, row + c.Row.size()), c.Row) << c.Bits << " bits";
    s.Unlock();
    // Writing 0 clears just that pixel again.
    s.SetPixel(c.X, 0, 0);
    EXPECT_EQ(s.Pixel(c.X, 0), 0u) << c.Bits;
  }
}

TEST_F(SurfaceTest, SizesAndMemoryFallback) {
  TDirectDrawSurface s(dd.get());
  s.SetSize(0, 10);
  EXPECT_EQ(s.ISurface(), nullptr);
  EXPECT_EQ(s.Width(), 0);
  DDFaults().FailVideoMemory = 1;
  s.SetSize(8, 8);
  EXPECT_TRUE(s.SystemMemory());
  EXPECT_TRUE(s.SurfaceDesc().ddsCaps.dwCaps & DDSCAPS_SYSTEMMEMORY);
  DDFaults().FailSystemMemory = 1;
  try {
    s.SetSize(8, 8);
    ADD_FAILURE();
  } catch (const EDirectDrawSurfaceError& e) {
    EXPECT_EQ(e.Message(), "Surface cannot be made");
  }
  TDirectDrawSurface none(dd.get());
  EXPECT_THROW(none.Canvas()->FillRect(TRect{0, 0, 1, 1}), EDirectDrawSurfaceError);
}

TEST_F(SurfaceTest, StretchDrawKeysStretchesAndClipsToTheSurface) {
  const uint32_t K = 0x1234, A = 0xF800;
  TDirectDrawSurface src(dd.get()), dst(dd.get());
  src.SetSize(64, 64);
  src.Fill(A);
  for (int i = 0; i < 64; ++i) src.SetPixel(i, i, K);  // a keyed diagonal
  src.SetTransparentColor(K);
  dst.SetSize(100, 100);
  dst.Fill(0x0001);

  dst.StretchDraw(TRect{-10, -10, 54, 54}, src.ClientRect(), &src, true);
  EXPECT_EQ(dst.Pixel(0, 0), 0x0001u);  // on the keyed diagonal
  EXPECT_EQ(dst.Pixel(1, 0), A);
  EXPECT_EQ(dst.Pixel(53, 0), A);
  EXPECT_EQ(dst.Pixel(54, 0), 0x0001u);  // beyond the destination rectangle

  dst.Fill(0x0001);
  dst.StretchDraw(TRect{90, 90, 218, 218}, TRect{0, 0, 64, 64}, &src,
                  false);  // doubled, mostly outside
  EXPECT_EQ(dst.Pixel(89, 89), 0x0001u);
  EXPECT_EQ(dst.Pixel(90, 90), K);
  EXPECT_EQ(dst.Pixel(91, 91), K);
  EXPECT_EQ(dst.Pixel(92, 90), A);
  EXPECT_EQ(dst.Pixel(99, 99), K);

  // Empty rectangles and no source draw nothing.
  dst.Fill(0x0001);
  dst.StretchDraw(TRect{5, 5, 5, 50}, src.ClientRect(), &src, false);
  dst.StretchDraw(TRect{0, 0, 10, 10}, src.ClientRect(), nullptr, false);
  dst.DrawAdd(TRect{0, 0, 10, 10}, src.ClientRect(), &src, false, 0);
  EXPECT_EQ(dst.Pixel(6, 6), 0x0001u);
  EXPECT_EQ(dst.Pixel(0, 0), 0x0001u);
}

TEST_F(SurfaceTest, ColorToPixelIsThePixelABitmapOfThatColourLoadsAs) {
  struct TMode {
    uint32_t Bits;
    bool RGB555;
  };
  const TColor colours[] = {
      clWhite,          clBlack,         RGB(255, 0, 0), RGB(8, 4, 8), RGB(144, 130, 144),
      RGB(0, 128, 128), RGB(12, 200, 77)};
  for (TMode m : {TMode{16, false}, TMode{16, true}, TMode{8, false}}) {
    TDirectDrawSurface s(dd.get());
    DDSURFACEDESC d;
    d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    d.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    d.dwWidth = d.dwHeight = 4;
    d.ddpfPixelFormat = DDPixelFormat(m.Bits, m.RGB555);
    ASSERT_TRUE(s.CreateSurface(d));
    TDirectDrawPalette pal(dd.get());
    std::array<PALETTEENTRY, 256> entries{};
    for (size_t i = 0; i < 256; ++i)
      entries[i] = PALETTEENTRY{static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                                static_cast<uint8_t>(i / 2), 0};
    entries[7] = PALETTEENTRY{0, 128, 128, 0};
    pal.CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, entries.data());
    s.SetPalette(&pal);
    for (TColor c : colours) {
      TDIB dib;
      dib.SetSize(2, 2, 24);
      for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x) dib.SetPixel(x, y, c);  // 24-bit values read as colours
      TDirectDrawSurface pic(dd.get());
      if (m.Bits == 16 && !m.RGB555) {
        // The display's own format: the picture loads as the game's do.
        pic.LoadFromGraphicRect(&dib, 4, 4, TRect{0, 0, 2, 2});
      } else {
        // Other formats: the same copy from the bitmap's canvas that
        // loading makes, onto a surface of that format.
        ASSERT_TRUE(pic.CreateSurface(d));
        pic.SetPalette(&pal);
        pic.Canvas()->CopyRect(TRect{0, 0, 4, 4}, dib.Canvas(), TRect{0, 0, 2, 2});
        pic.Canvas()->Release();
      }
      EXPECT_EQ(s.ColorToPixel(c), pic.Pixel(1, 1))
          << m.Bits << (m.RGB555 ? " 555 " : " ") << std::hex << c;
    }
  }
}

TEST_F(SurfaceTest, CanvasTextChangesPixelsInsideItsBoxOnly) {
  TDirectDrawSurface s(dd.get());
  s.SetSize(200, 60);
  s.Fill(0);
  TDirectDrawSurfaceCanvas* c = s.Canvas();
  c->Brush()->SetStyle(bsClear);
  c->Font()->SetName("Impact");
  c->Font()->SetSize(16);
  c->Font()->SetColor(RGB(0, 255, 0));
  c->TextOut(20, 10, "Vers. 1.2");
  TSize ext = c->TextExtent("Vers. 1.2");
  c->Release();
  ASSERT_GT(ext.cx, 0);
  int inside = 0, outside = 0;
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 200; ++x) {
      bool in = x >= 20 && x < 20 + ext.cx && y >= 10 && y < 10 + ext.cy;
      if (s.Pixel(x, y) != 0) ++(in ? inside : outside);
    }
  EXPECT_GT(inside, 30);
  EXPECT_EQ(outside, 0);
}

TEST_F(SurfaceTest, DeviceFreesWhatIsLeftSurfacesFirst) {
  auto* s = new TDirectDrawSurface(dd.get());
  s->SetSize(2, 2);
  new TDirectDrawPalette(dd.get());
  new TDirectDrawClipper(dd.get());
  EXPECT_EQ(dd->SurfaceCount(), 1);
  EXPECT_EQ(dd->PaletteCount(), 1);
  EXPECT_EQ(dd->ClipperCount(), 1);
  dd.reset();  // the sanitizer reports anything left behind
}

TEST_F(SurfaceTest, ClipRectsBlockBoundsItsRectangles) {
  TDirectDrawClipper c(dd.get());
  TRect r{3, 4, 30, 40};
  c.SetClipRects(&r, 1);
  std::vector<TRect> got;
  ASSERT_EQ(c.IClipper()->GetClipList(got), DD_OK);
  EXPECT_EQ(got, std::vector<TRect>{r});
  EXPECT_EQ(c.IClipper()->Bound(), r);
  const TRect two[] = {{10, -5, 20, 8}, {-3, 2, 15, 30}};
  c.SetClipRects(two, 2);
  EXPECT_EQ(c.IClipper()->Bound(), (TRect{-3, -5, 20, 30}));
  TDirectDrawPalette p(dd.get());
  PALETTEENTRY e[1];
  EXPECT_FALSE(p.SetEntries(0, 1, e));
}

TEST_F(SurfaceTest, BlendedRotatedAndWaveDrawsReachTheSoftwareRenderer) {
  const uint32_t K = 0x1234, Under = 0x4208;
  TDirectDrawSurface src(dd.get()), dst(dd.get());
  src.SetSize(8, 8);
  src.Fill(0xFFFF);
  src.SetPixel(0, 0, K);
  src.SetTransparentColor(K);
  dst.SetSize(16, 16);
  const TRect r{0, 0, 8, 8};
  struct TCase {
    const char* Name;
    std::function<void()> Draw;
    uint32_t Inside, Keyed;  // at (1, 1) and at the keyed (0, 0)
  };
  const TCase cases[] = {
      {"add saturates", [&] { dst.DrawAdd(r, src.ClientRect(), &src, true, 255); }, 0xFFFF, Under},
      {"sub clears", [&] { dst.DrawSub(r, src.ClientRect(), &src, true, 255); }, 0x0000, Under},
      {"alpha 255 is a keyed copy", [&] { dst.DrawAlpha(r, src.ClientRect(), &src, true, 255); },
       0xFFFF, Under},
      {"alpha 0 draws nothing", [&] { dst.DrawAlpha(r, src.ClientRect(), &src, true, 0); }, Under,
       Under},
      {"rotate by 0 about the corner",
       [&] { dst.DrawRotate(0, 0, 8, 8, src.ClientRect(), &src, 0, 0, true, 0.4f); }, 0xFFFF,
       Under},
      {"rotate mirrored by a negative width",
       [&] { dst.DrawRotate(8, 0, -8, 8, src.ClientRect(), &src, 0, 0, true, 0); }, 0xFFFF, Under},
      {"rotate of width 0",
       [&] { dst.DrawRotate(0, 0, 0, 8, src.ClientRect(), &src, 0, 0, true, 0); }, Under, Under},
      {"flat wave", [&] { dst.DrawWaveX(0, 0, 8, 8, src.ClientRect(), &src, true, 0, 8, 0); },
       0xFFFF, Under},
  };
  for (const TCase& c : cases) {
    dst.Fill(Under);
    c.Draw();
    EXPECT_EQ(dst.Pixel(1, 1), c.Inside) << c.Name;
    EXPECT_EQ(dst.Pixel(0, 0), c.Keyed) << c.Name;
    EXPECT_EQ(dst.Pixel(12, 12), Under) << c.Name;
  }
}

TEST_F(SurfaceTest, RotatedAndWaveVariantsBlendLikeTheRectangleDraw) {
  // Unturned and unwaved, each variant must blend exactly as its rectangle
  // counterpart with the same alpha.
  TDirectDrawSurface src(dd.get()), dst(dd.get());
  src.SetSize(8, 8);
  src.Fill(0x8410);
  dst.SetSize(8, 8);
  const TRect r = src.ClientRect();
  using TDraw = std::function<void(int Alpha)>;
  struct TCase {
    const char* Name;
    TDraw Rect, Rotate, Wave;
  };
  const TCase cases[] = {
      {"add", [&](int a) { dst.DrawAdd(r, r, &src, false, a); },
       [&](int a) { dst.DrawRotateAdd(0, 0, 8, 8, r, &src, 0, 0, false, 0, a); },
       [&](int a) { dst.DrawWaveXAdd(0, 0, 8, 8, r, &src, false, 0, 8, 0, a); }},
      {"alpha", [&](int a) { dst.DrawAlpha(r, r, &src, false, a); },
       [&](int a) { dst.DrawRotateAlpha(0, 0, 8, 8, r, &src, 0, 0, false, 0, a); },
       [&](int a) { dst.DrawWaveXAlpha(0, 0, 8, 8, r, &src, false, 0, 8, 0, a); }},
      {"sub", [&](int a) { dst.DrawSub(r, r, &src, false, a); },
       [&](int a) { dst.DrawRotateSub(0, 0, 8, 8, r, &src, 0, 0, false, 0, a); },
       [&](int a) { dst.DrawWaveXSub(0, 0, 8, 8, r, &src, false, 0, 8, 0, a); }},
  };
  const auto after = [&](const TDraw& draw, int alpha) {
    dst.Fill(0x39E7);
    draw(alpha);
    return dst.Pixel(3, 3);
  };
  for (const TCase& c : cases)
    for (int alpha : {100, 255}) {
      const uint32_t want = after(c.Rect, alpha);
      EXPECT_NE(want, 0x39E7u) << c.Name << " " << alpha;
      EXPECT_EQ(after(c.Rotate, alpha), want) << c.Name << " rotate " << alpha;
      EXPECT_EQ(after(c.Wave, alpha), want) << c.Name << " wave " << alpha;
    }
}

TEST_F(SurfaceTest, OnAnIndexedDestinationEveryBlendIsAPlainCopy) {
  DDSURFACEDESC d;
  d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
  d.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
  d.dwWidth = d.dwHeight = 8;
  d.ddpfPixelFormat = DDPixelFormat(8);
  TDirectDrawSurface src(dd.get()), dst(dd.get());
  ASSERT_TRUE(src.CreateSurface(d));
  ASSERT_TRUE(dst.CreateSurface(d));
  src.Fill(5);
  for (int blend = 0; blend < 3; ++blend) {
    dst.Fill(3);
    if (blend == 0) dst.DrawAdd(src.ClientRect(), src.ClientRect(), &src, false, 128);
    if (blend == 1) dst.DrawSub(src.ClientRect(), src.ClientRect(), &src, false, 255);
    if (blend == 2) dst.DrawAlpha(src.ClientRect(), src.ClientRect(), &src, false, 10);
    EXPECT_EQ(dst.Pixel(2, 2), 5u) << blend;
  }
}

TEST_F(SurfaceTest, AssignToABitmapGivesAtLeast24Bits) {
  TDirectDrawSurface s(dd.get());
  s.SetSize(5, 3);
  s.Fill(0xF800);
  TDIB dib;
  dib.Assign(&s);  // the bitmap asks the surface to copy itself
  EXPECT_EQ(dib.Width(), 5);
  EXPECT_EQ(dib.Height(), 3);
  EXPECT_EQ(dib.BitCount(), 24);
  EXPECT_EQ(dib.Pixels(4, 2), 0x0000FF);  // pure red, as a colour value
}

// ---- Display modes -------------------------------------------------------------------------

TEST_F(DisplayTest, NearestModeSearch) {
  struct TCase {
    std::vector<TDDDisplayMode> Modes;
    bool FixedBitCount, FixedRatio, FixedSize;
    int W, H, Bits;
    bool Result;
    TDDDisplayMode Set;
  };
  const TCase cases[] = {
      {{{640, 480, 16}, {1024, 768, 16}, {1280, 1024, 16}},
       true,
       true,
       false,
       800,
       600,
       16,
       true,
       {1024, 768, 16}},
      {{{800, 600, 8}, {1024, 768, 16}}, false, false, false, 800, 600, 16, true, {1024, 768, 16}},
      {{{800, 600, 8}}, false, false, false, 800, 600, 16, false, {}},
      {{{800, 600, 16}, {800, 600, 32}}, false, false, true, 800, 600, 8, true, {800, 600, 32}},
      {{{1280, 1024, 32}, {1280, 1024, 16}},
       false,
       true,
       false,
       800,
       600,
       16,
       true,
       {1280, 1024, 16}},
      {{{800, 600, 16}}, false, true, true, 0, 600, 16, false, {}},
  };
  for (const TCase& c : cases) {
    TDXDraw* d = GameDraw();
    video->SetDisplayModes(c.Modes);
    d->DDraw = std::make_unique<TDirectDraw>(nullptr);
    TDXDrawDisplay* disp = d->Display();
    disp->FixedBitCount = c.FixedBitCount;
    disp->FixedRatio = c.FixedRatio;
    disp->FixedSize = c.FixedSize;
    disp->SetWidth(1);
    EXPECT_EQ(disp->SetNearestMode(c.W, c.H, c.Bits), c.Result)
        << c.W << "x" << c.H << "x" << c.Bits;
    if (c.Result)
      EXPECT_EQ((TDDDisplayMode{static_cast<uint32_t>(disp->Width()),
                                static_cast<uint32_t>(disp->Height()),
                                static_cast<uint32_t>(disp->BitCount())}),
                c.Set);
    else
      EXPECT_EQ(disp->Width(), 1);
    d->DDraw.reset();
    delete d;
  }
  TDXDrawDisplay disp(nullptr);
  disp.SetWidth(-5);
  EXPECT_EQ(disp.Width(), 0);
  EXPECT_THROW(disp.SetBitCount(15), EDirectDrawError);
}

TEST_F(DisplayTest, TheModeListIsReadOnceAndSorted) {
  TDXDraw* d = GameDraw();  // no device: the list comes from a temporary one
  video->SetDisplayModes({{1024, 768, 16}, {640, 480, 32}, {800, 600, 16}, {640, 480, 8}});
  TDXDrawDisplay* disp = d->Display();
  ASSERT_EQ(disp->Count(), 4);
  std::vector<std::string> got;
  for (int i = 0; i < disp->Count(); ++i) {
    TDXDrawDisplayMode* m = disp->Modes(i);
    EXPECT_EQ(m->Index(), i);
    got.push_back(std::to_string(m->Width()) + "x" + std::to_string(m->Height()) + "x" +
                  std::to_string(m->BitCount()));
  }
  EXPECT_EQ(got,
            (std::vector<std::string>{"640x480x8", "640x480x32", "800x600x16", "1024x768x16"}));
  EXPECT_EQ(disp->IndexOf(800, 600, 16), 2);
  EXPECT_EQ(disp->IndexOf(800, 600, 32), -1);
  // A later Count keeps the list it has; emptying it reads the driver again.
  video->SetDisplayModes({{800, 600, 16}});
  EXPECT_EQ(disp->Count(), 4);
  disp->ClearModes();
  EXPECT_EQ(disp->Count(), 1);
}

TEST(PaletteEntries, StaticColoursKeepTheirPlacesUnlessAllAreAllowed) {
  std::array<RGBQUAD, 256> table;
  table.fill(RGBQUAD{1, 2, 3, 9});  // blue 1, green 2, red 3
  RGBQUAD sys[256];
  GetSystemPaletteEntries(sys);
  for (bool all : {false, true}) {
    std::array<PALETTEENTRY, 256> e;
    DXDrawPaletteEntries(table, all, e);
    for (size_t i = 0; i < 256; ++i) {
      const bool fixed = !all && (i < 10 || i >= 246);
      const PALETTEENTRY want =
          fixed ? PALETTEENTRY{sys[i].rgbRed, sys[i].rgbGreen, sys[i].rgbBlue, 0x40}
                : PALETTEENTRY{3, 2, 1, 0x40};
      EXPECT_EQ(std::vector<int>({e[i].peRed, e[i].peGreen, e[i].peBlue, e[i].peFlags}),
                std::vector<int>({want.peRed, want.peGreen, want.peBlue, want.peFlags}))
          << i << (all ? " all allowed" : "");
    }
  }
}

}  // namespace
