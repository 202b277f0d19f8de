#include "direct3d/direct3d_setup.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "direct3d/d2d.h"
#include "platform/backend/headless/headless_core.h"
#include "platform/backend/headless/headless_video.h"

namespace {

GUID Guid(uint32_t n) {
  return GUID{n, 0, 0, {1, 2, 3, 4, 5, 6, 7, 8}};
}

TD3DDeviceInfo Device(uint32_t Id, bool Hardware, uint32_t Depths, uint32_t ZDepths = DDBD_16,
                      uint32_t ColorModel = D3DCOLOR_RGB) {
  TD3DDeviceInfo d;
  d.Guid = Guid(0x1000 + Id);
  d.Description = d.Name = "device " + std::to_string(Id);
  D3DDEVICEDESC desc;
  desc.dcmColorModel = ColorModel;
  desc.dwDeviceRenderBitDepth = Depths;
  desc.dwDeviceZBufferBitDepth = ZDepths;
  desc.dpcTriCaps.dwTextureCaps = D3DPTEXTURECAPS_TRANSPARENCY;
  (Hardware ? d.HWDesc : d.HELDesc) = desc;
  return d;
}

TDDDriverInfo Driver(uint32_t Id, uint32_t VidMem, uint32_t SurfaceCaps = DDSCAPS_TEXTURE) {
  TDDDriverInfo d;
  d.HasGuid = Id != 0;
  d.Guid = Guid(Id);
  d.Caps.dwCaps = DDCAPS_3D;
  d.Caps.ddsCaps.dwCaps = SurfaceCaps;
  d.Caps.dwVidMemTotal = VidMem;
  return d;
}

class Direct3DSetUp : public ::testing::Test {
 protected:
  void SetUp() override {
    HeadlessInstall();
    HeadlessInstallVideo();
    DDRegisterModule();
    D3DResetMachine();
    InstallDirect3DPath();
    form = std::make_unique<TForm>(nullptr);
    form->SetBounds(0, 0, 64, 48);
    draw = new TDXDraw(form.get());
    draw->SetParent(form.get());
    draw->SetAutoSize(false);
    draw->SetBounds(0, 0, 64, 48);
    draw->SetSurfaceWidth(64);
    draw->SetSurfaceHeight(48);
  }
  void TearDown() override {
    form.reset();
    SetDirect3DPath(nullptr);
    D3DResetMachine();
    DDSetVideoOutput(nullptr);
    HeadlessUninstall();
  }
  void Stage(std::vector<TDDDriverInfo> Drivers, std::vector<std::vector<TD3DDeviceInfo>> Devices) {
    DDSetDrivers(std::move(Drivers));
    for (size_t i = 0; i < Devices.size(); ++i) D3DSetDevices(i, Devices[i]);
  }
  std::unique_ptr<TForm> form;
  TDXDraw* draw = nullptr;
};

TEST_F(Direct3DSetUp, DriverSelection) {
  struct Case {
    const char* What;
    std::vector<TDDDriverInfo> Drivers;
    std::vector<std::vector<TD3DDeviceInfo>> Devices;
    int DisplayBits;
    TDirect3DSetupOptions Options;
    int Bits;         // the display's bit count afterwards
    uint32_t Chosen;  // GUID number of the chosen driver; 0 the primary (or none)
  } cases[] = {
      {"only 24 bits, may change", {Driver(0, 8), Driver(7, 8)}, {{}, {Device(1, true, DDBD_24)}},
       16, soSelectDriver | soBitCount, 24, 7},
      {"only 24 bits, fixed", {Driver(0, 8), Driver(7, 8)}, {{}, {Device(1, true, DDBD_24)}}, 16,
       soSelectDriver, 16, 0},
      {"all depths from 8 bits",
       {Driver(0, 8), Driver(7, 8)},
       {{}, {Device(1, true, DDBD_16 | DDBD_24 | DDBD_32)}},
       8, soSelectDriver | soBitCount, 16, 7},
      {"equal drivers: the later one",
       {Driver(0, 8), Driver(7, 8), Driver(9, 8)},
       {{}, {Device(1, true, DDBD_16)}, {Device(2, true, DDBD_16)}},
       16, soSelectDriver, 16, 9},
      {"less video memory never replaces",
       {Driver(0, 8), Driver(7, 16), Driver(9, 8, DDSCAPS_TEXTURE | DDSCAPS_ZBUFFER | DDSCAPS_MIPMAP)},
       {{}, {Device(1, true, DDBD_16)}, {Device(2, true, DDBD_16)}},
       16, soSelectDriver, 16, 7},
      {"a card without textures is passed over",
       {Driver(0, 8), Driver(7, 8, 0)},
       {{}, {Device(1, true, DDBD_16)}},
       16, soSelectDriver, 16, 0},
      {"software devices do not count", {Driver(0, 8), Driver(7, 8)}, {{}, {Device(1, false, DDBD_16)}},
       16, soSelectDriver, 16, 0},
  };
  for (const Case& c : cases) {
    Stage(c.Drivers, c.Devices);
    draw->SetDriverGUID(nullptr);
    draw->Display()->SetBitCount(c.DisplayBits);
    SelectDisplayDriver(c.Options, draw);
    EXPECT_EQ(draw->Display()->BitCount(), c.Bits) << c.What;
    if (c.Chosen == 0) {
      EXPECT_EQ(draw->DriverGUID(), nullptr) << c.What;
    } else {
      ASSERT_NE(draw->DriverGUID(), nullptr) << c.What;
      EXPECT_EQ(draw->DriverGUID()->Data1, c.Chosen) << c.What;
    }
  }
}

TEST_F(Direct3DSetUp, DeviceSearchOnTheBackSurface) {
  struct Case {
    const char* What;
    std::vector<TD3DDeviceInfo> Devices;
    TDXDrawOptions Options;
    int HardwareFail;
    uint32_t Device;  // 0: set-up fails
    bool Hardware;
    int ZBits;
    const char* Error;
  } cases[] = {
      {"the last hardware device wins",
       {Device(1, false, DDBD_16), Device(2, true, DDBD_16), Device(3, false, DDBD_16)},
       {doDirectX7Mode, doHardware, do3D}, 0, 2, true, 0, nullptr},
      {"without hardware asked for, the last software one",
       {Device(1, false, DDBD_16), Device(2, true, DDBD_16), Device(3, false, DDBD_16)},
       {doDirectX7Mode, do3D}, 0, 3, false, 0, nullptr},
      {"a device not rendering at the surface's depth is skipped",
       {Device(1, true, DDBD_32), Device(2, false, DDBD_16)},
       {doDirectX7Mode, doHardware, do3D}, 0, 2, false, 0, nullptr},
      {"24 and 32-bit depths give a 24-bit Z-buffer",
       {Device(1, true, DDBD_16, DDBD_24 | DDBD_32)},
       {doDirectX7Mode, doHardware, do3D, doZBuffer}, 0, 1, true, 24, nullptr},
      {"a refused hardware device leaves the software one, reported as such",
       {Device(1, false, DDBD_16), Device(2, true, DDBD_16)},
       {doDirectX7Mode, doHardware, do3D}, 1, 1, false, 0, nullptr},
      {"the older interfaces take RGB devices only",
       {Device(1, false, DDBD_16, DDBD_16, D3DCOLOR_MONO), Device(2, false, DDBD_16)},
       {doHardware, do3D}, 0, 2, false, 0, nullptr},
      {"the reference rasterizer is never taken", {}, {doDirectX7Mode, doHardware, do3D}, 0, 0,
       false, 0, "3D device not found"},
      {"both devices refused",
       {Device(1, false, DDBD_16)},
       {doDirectX7Mode, doHardware, do3D}, 0, 0, false, 0, "IDirect3DDevice7 cannot be made"},
  };
  for (const Case& c : cases) {
    std::vector<TD3DDeviceInfo> devices = c.Devices;
    if (std::string(c.What).find("reference") != std::string::npos) {
      devices = {Device(1, false, DDBD_16)};
      devices[0].Guid = IID_IDirect3DRefDevice;
    }
    Stage({Driver(0, 8, DDSCAPS_TEXTURE | DDSCAPS_ZBUFFER)}, {devices});
    D3DFaults().FailCreateHardwareDevice = c.HardwareFail;
    if (std::string(c.What) == "both devices refused") D3DFaults().FailCreateDevice = 2;
    draw->SetOptions(c.Options);
    if (c.Error) {
      try {
        draw->Initialize();
        ADD_FAILURE() << c.What << ": no error";
      } catch (const EDXDrawError& e) {
        EXPECT_EQ(e.Message(), c.Error) << c.What;
      }
      EXPECT_EQ(draw->ZBuffer, nullptr) << c.What;
      D3DFaults() = TD3DFaults{};
      continue;
    }
    draw->Initialize();
    IDirect3DDevice* d = c.Options.Contains(doDirectX7Mode) ? draw->D3DDevice7.get() : draw->D3DDevice3.get();
    ASSERT_NE(d, nullptr) << c.What;
    EXPECT_EQ(d->Info().Guid.Data1, 0x1000 + c.Device) << c.What;
    EXPECT_EQ(draw->EffectiveOptions().Contains(doHardware), c.Hardware) << c.What;
    EXPECT_EQ(draw->EffectiveOptions().Contains(doZBuffer), c.ZBits != 0) << c.What;
    if (c.ZBits) {
      ASSERT_NE(draw->ZBuffer, nullptr);
      EXPECT_EQ(draw->ZBuffer->SurfaceDesc().ddpfPixelFormat.dwRGBBitCount, uint32_t(c.ZBits));
    }
    draw->Finalize();
    EXPECT_EQ(draw->ZBuffer, nullptr);
    EXPECT_EQ(draw->D3DDevice7, nullptr);
    D3DFaults() = TD3DFaults{};
  }
}

TEST_F(Direct3DSetUp, ZBufferHelpers) {
  std::unique_ptr<TDirectDrawSurface> none;
  FreeZBuffer(nullptr, none);  // nothing to free
  EXPECT_EQ(none, nullptr);
  struct Case {
    int Bits;
    uint32_t Flag;
  } flags[] = {{1, DDBD_1}, {2, DDBD_2}, {4, DDBD_4}, {8, DDBD_8}, {16, DDBD_16},
               {24, DDBD_24}, {32, DDBD_32}, {15, 0}, {0, 0}};
  for (const Case& c : flags) EXPECT_EQ(BitDepthFlag(c.Bits), c.Flag) << c.Bits;
}

}  // namespace
