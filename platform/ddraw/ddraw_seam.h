// The display layer's seam to the backends and its test hooks: what a
// backend installs to show frames, and the faults a test can inject. The
// engine calls only what ddraw.h declares.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ddraw/ddraw.h"

// The picture a presented frame carries: 0x00RRGGBB pixels, the gamma ramp
// already applied.
struct TDDFrame {
  uint32_t Width = 0, Height = 0;
  // The device asked for full screen (a borderless desktop-sized window).
  bool FullScreen = false;
  std::vector<uint32_t> Pixels;
};

// What a backend offers to show frames.
class IDDVideoOutput {
 public:
  virtual ~IDDVideoOutput() = default;
  // Shows one logical frame; a backend with vertical sync waits here.
  virtual void Present(const TDDFrame& Frame) = 0;
  // The display modes the layer advertises.
  virtual std::vector<TDDDisplayMode> DisplayModes() const = 0;
};

// Installs the backend's output (nil: frames go nowhere). Not owned.
void DDSetVideoOutput(IDDVideoOutput* Output);
IDDVideoOutput* DDVideoOutput();

// Converts a primary surface's pixels into a frame through the gamma ramp
// (and the palette at 8 bits). Exposed so backends and benchmarks share it.
void DDComposeFrame(const IDirectDrawSurface& Primary, const DDGAMMARAMP& Ramp, TDDFrame& Frame);
// Test hook: the widest vectors (in bits: 512, 256, or 0 for none) that
// blitting and composing may use where the processor has them, so every
// path is tested.
void DDLimitVectors(int Bits);
// The width those paths take now: the processor's widest within the limit.
int DDVectorBits();

// Fault injection for tests: each counter makes that many of the next calls
// fail with the given result.
struct TDDFaults {
  int FailVideoMemory = 0;   // CreateSurface without DDSCAPS_SYSTEMMEMORY: DDERR_OUTOFVIDEOMEMORY
  int FailSystemMemory = 0;  // CreateSurface with DDSCAPS_SYSTEMMEMORY: DDERR_OUTOFMEMORY
  int FailPrimary = 0;       // CreateSurface of a primary: DDERR_GENERIC
  int FailAttachedSurface = 0;  // GetAttachedSurface: DDERR_NOTFOUND
  int FailCreateDevice = 0;     // DirectDrawCreate(Ex): DDERR_GENERIC
  int FailCreateClipper = 0;    // CreateClipper: DDERR_GENERIC
  int FailAddAttachedSurface = 0;  // AddAttachedSurface: DDERR_GENERIC
  bool NoPrimaryGamma = false;  // GetCaps leaves out DDCAPS2_PRIMARYGAMMA
};
TDDFaults& DDFaults();

// The display drivers that DirectDrawEnumerateA reports and DirectDrawCreate
// accepts, so tests can stage a machine with several cards. The first entry
// is the primary display driver (no GUID); its caps are what GetCaps gives
// (the primary gamma ramp is added unless NoPrimaryGamma is set).
struct TDDDriverInfo {
  bool HasGuid = false;
  GUID Guid{};
  std::string Description = "Primary Display Driver";
  std::string Name = "display";
  DDCAPS Caps;
};
void DDSetDrivers(std::vector<TDDDriverInfo> Drivers);
const std::vector<TDDDriverInfo>& DDDrivers();
// The drivers every run starts with: one display driver with a 3D card.
std::vector<TDDDriverInfo> DDDefaultDrivers();
// Makes every surface of every live device lost.
void DDLoseAllSurfaces();
