// The plug-in host: eight slots of input plug-ins loaded from the "Plugins"
// folder, the output emulator every plug-in writes to (a ring that a user
// stream of the audio library plays), and the host's hidden window, which
// turns plug-in and emulator events into messages for the player's window.
// One per process.
#pragma once

#include <cstdint>
#include <string>

#include "music/winamp_plugin.h"
#include "platform/win/wintypes.h"

// Messages between the emulator, the host window and the player's window.
constexpr UINT WM_PluginEOF = WINAMP_PLUGIN_EOF;  // WM_USER + 2, from a plug-in
constexpr UINT WM_PluginStartPlay = 1125;
constexpr UINT WM_PluginNotCurrent = 1127;
constexpr UINT WM_SetChannel = 1129;
// Shown by the host window for the emulator: a box on the plug-in's own
// thread would stall its decoding.
constexpr UINT WM_WriteNoSpace = 1130;
// From the configuration form to the player's window: lParam 1 prefers
// plug-ins.
constexpr UINT WM_SetPluginFirst = 1133;

// What the emulator reports with WM_PluginStartPlay (lParam points to it).
#pragma pack(push, 1)
struct TPluginStartRecord {
  uint16_t BitsPerSample;
  uint32_t SampleRate;
  uint16_t Channels;
};
#pragma pack(pop)

struct TPluginInfo {
  std::string Name;
  int32_t Version = 0;
  std::string Description;
  std::string FileExtensions;
  int32_t Seekable = 0;
  HMODULE DLLHandle = nullptr;
};

constexpr int kMaxPlugins = 8;
constexpr uint32_t kRingBytes = 88200;

// LoadPlugin's and UnloadPlugin's answers.
enum : int {
  plLoaded = 0,
  plHostNotReady = 1,
  plAlreadyLoaded = 2,
  plNoSlot = 3,
  plCannotLoad = 4,
  plNotAPlugin = 5,
  plCannotFree = 6,
  plNotLoaded = 7,
  plInUse = 8,
};

bool HostInit();
void HostShutdown();
bool HostReady();
int LoadPlugin(const std::string& Name);
int UnloadPlugin(const std::string& Name);
// The first slot holding a plug-in of that name, or -1.
int FindPlugin(const std::string& Name);
In_Module* GetPluginModule(int Slot);
TPluginInfo GetPluginInfo(int Slot);
// 0, or -1 when the slot holds no plug-in.
int SelectPlugin(int Slot);
int CurrentPlugin();
// Milliseconds of output: the emulator's own, or the current module's.
int32_t HostOutputTime(bool FromEmulator);
void MarkSeek();
void SetPlayerWindow(HWND Wnd);
HWND GetPlayerWindow();
HWND GetHostWindow();

// The output every plug-in gets.
Out_Module& EmulatorModule();
// Milliseconds of audio the ring holds at the format last opened.
uint32_t EmulatorRingMilliseconds();
// Waits (real time, at most four times Ms) until the emulator can feed Ms
// milliseconds of output ahead of what was heard: a plug-in decodes on its
// own thread, and a caller about to let that much playing time pass gives it
// the chance to keep up. Returns at once when the input has ended.
void HostAwaitOutput(uint32_t Ms);

// The emulator's state, for tests and diagnostics.
struct TEmulatorState {
  uint32_t ReadPos, WritePos;
  uint64_t WrittenBytes;
  int32_t SampleRate, BitsPerSample, NumChannels, PrebufferBytes, TimeOffset;
  uint32_t EmuStream;
  bool SeekPending, Prebuffering, InputEnded, Resumed;
};
TEmulatorState EmulatorState();
