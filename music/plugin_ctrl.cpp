#include "music/plugin_ctrl.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <vector>

#include "framework/forms.h"
#include "music/rt_bass.h"
#include "platform/win/library.h"
#include "platform/win/user.h"

using namespace RT_bass;

namespace {

// ---- Slots and the host window ------------------------------------------

std::array<In_Module*, kMaxPlugins> Slots{};
std::array<TPluginInfo, kMaxPlugins> PluginInfos;
int Current = -1;
bool Ready = false;
std::atomic<HWND> HostWindow{nullptr};
std::atomic<HWND> PlayerWindow{nullptr};

int32_t HostPost(TPluginHostRecord*, uint32_t Msg, uintptr_t WParam, intptr_t LParam) {
  const HWND w = HostWindow.load();
  return w ? PostMessageA(w, Msg, static_cast<WPARAM>(WParam), static_cast<LPARAM>(LParam)) : 0;
}
TPluginHostRecord HostRecord{&HostPost};

// ---- The emulator's ring ------------------------------------------------
// Three threads meet here: the plug-in's (Open, Write, Flush...), the
// library's (the stream callback) and the window thread. One lock guards
// the ring and its state; waits are on the condition, never on flags.

std::mutex RingLock;
std::condition_variable RingChanged;
std::vector<uint8_t> Ring;
uint32_t ReadPos = 0, WritePos = 0;
uint64_t WrittenBytes = 0;
int32_t SampleRate = 0, BitsPerSample = 0, NumChannels = 0, PrebufferBytes = 0, TimeOffset = 0;
std::atomic<uint32_t> EmuStream{0};
bool SeekPending = false, Prebuffering = false, InputEnded = false, Resumed = false;
TPluginStartRecord StartRecord{};

uint32_t Buffered() {
  return (WritePos + kRingBytes - ReadPos) % kRingBytes;
}
// A write must leave one byte free: a full ring would look empty.
uint32_t FreeSpace() {
  return WritePos < ReadPos ? ReadPos - WritePos : ReadPos + kRingBytes - WritePos;
}
int32_t BytesPerSecond() {
  return (BitsPerSample / 8) * SampleRate * NumChannels;
}

int32_t Milliseconds(uint64_t bytes, int32_t offset) {
  const int32_t bps = BytesPerSecond();
  // Asked before any open there is no format: the time is the offset alone.
  if (bps <= 0) return offset;
  return static_cast<int32_t>(std::nearbyint(static_cast<double>(bytes) * 1000.0 / bps)) + offset;
}

BASS_DWORD StreamProc(HSTREAM, void* Buffer, BASS_DWORD Length, void*) {
  std::unique_lock lk(RingLock);
  if (!InputEnded) {
    // Up to 3 s for the plug-in to catch up; a seek under way does not wait.
    RingChanged.wait_for(lk, std::chrono::seconds(3),
                         [&] { return Buffered() >= Length || InputEnded || SeekPending; });
    Resumed = false;
  }
  const uint32_t n = Ring.empty() ? 0 : std::min<uint32_t>(Length, Buffered());
  if (n > 0) {
    auto* out = static_cast<uint8_t*>(Buffer);
    const uint32_t first = std::min(n, kRingBytes - ReadPos);
    std::memcpy(out, Ring.data() + ReadPos, first);
    if (n > first) std::memcpy(out + first, Ring.data(), n - first);
    ReadPos = (ReadPos + n) % kRingBytes;
  }
  if (Resumed && Buffered() < Length) {
    // Just resumed: give the writer up to 10 s to start again.
    RingChanged.wait_for(lk, std::chrono::seconds(10),
                         [&] { return Buffered() >= Length || InputEnded || SeekPending; });
    Resumed = false;
  }
  RingChanged.notify_all();
  return n;
}

void ShowBox(const char* Text, const char* Caption, UINT Type) {
  if (Application)
    Application->MessageBox(Text, Caption, Type);
  else
    MessageBoxA(nullptr, Text, Caption, Type);
}

// ---- The emulator's operations ---------------------------------------------

void EmuConfig(void*) {
  ShowBox("No configuration is needed.", "Confirm", MB_OK);
}
void EmuAbout(void*) {
  ShowBox("This is a Winamp output plug-in emulator using BASS", "Confirm", MB_OK);
}

LRESULT HostWndProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);

void EmuInit() {
  if (!HostWindow.load()) {
    TWindowParams params;
    params.MessageOnly = true;
    HostWindow = CreateWindowHandle(params, &HostWndProc);
  }
  Ready = HostWindow.load() != nullptr;
}
void EmuQuit() {
  if (HWND w = HostWindow.exchange(nullptr)) DestroyWindow(w);
  Ready = false;
}

int32_t EmuOpen(int32_t Rate, int32_t Channels, int32_t Bits, int32_t, int32_t) {
  if (!Ready || !BASS_StreamCreate) return -1;
  int32_t result = -1;
  if (Rate > 0 && (Channels == 1 || Channels == 2) && (Bits == 8 || Bits == 16)) {
    const BASS_DWORD flags =
        (Bits == 8 ? BASS_SAMPLE_8BITS : 0) | (Channels == 1 ? BASS_SAMPLE_MONO : 0);
    const HSTREAM s = BASS_StreamCreate(static_cast<BASS_DWORD>(Rate), flags, &StreamProc, nullptr);
    if (s) {
      {
        std::lock_guard l(RingLock);
        SampleRate = Rate;
        BitsPerSample = Bits;
        NumChannels = Channels;
        PrebufferBytes = (Bits / 8) * Rate * Channels * 2 / 10;
        TimeOffset = 0;
      }
      EmuStream = s;
      if (HWND p = PlayerWindow.load()) PostMessageA(p, WM_SetChannel, s, 0);
      result = 0;
    }
  }
  std::lock_guard l(RingLock);
  ReadPos = WritePos = 0;
  WrittenBytes = 0;
  SeekPending = InputEnded = false;
  Prebuffering = true;
  RingChanged.notify_all();
  return result;
}

void EmuClose() {
  const HSTREAM s = EmuStream.exchange(0);
  if (!s) return;
  if (BASS_ChannelIsActive(s) == BASS_ACTIVE_PLAYING) BASS_ChannelStop(s);
  BASS_StreamFree(s);
  std::lock_guard l(RingLock);
  RingChanged.notify_all();
}

int32_t EmuWrite(char* Buf, int32_t Len) {
  if (!Buf || Len < 0) return 1;
  bool refused = false, start = false;
  {
    std::lock_guard l(RingLock);
    const uint32_t len = static_cast<uint32_t>(Len);
    if (Ring.empty()) return 1;
    if (len < FreeSpace()) {
      const uint32_t first = std::min(len, kRingBytes - WritePos);
      std::memcpy(Ring.data() + WritePos, Buf, first);
      if (len > first) std::memcpy(Ring.data(), Buf + first, len - first);
      WritePos = (WritePos + len) % kRingBytes;
      WrittenBytes += len;
      RingChanged.notify_all();
    } else {
      refused = true;
    }
    if (Prebuffering) {
      const bool more =
          FreeSpace() > 8192 && Buffered() < 2u * static_cast<uint32_t>(PrebufferBytes);
      if (!more) {
        Prebuffering = false;
        if (EmuStream.load()) {
          StartRecord = {static_cast<uint16_t>(BitsPerSample), static_cast<uint32_t>(SampleRate),
                         static_cast<uint16_t>(NumChannels)};
          start = true;
        }
      }
    }
    // Posted before the lock goes: whoever sees the output ready finds the
    // notice already queued.
    const HWND host = HostWindow.load();
    if (refused && host) PostMessageA(host, WM_WriteNoSpace, 0, 0);
    if (start && host)
      PostMessageA(host, WM_PluginStartPlay, 0, reinterpret_cast<LPARAM>(&StartRecord));
  }
  return refused ? 1 : 0;
}

int32_t EmuCanWrite() {
  std::lock_guard l(RingLock);
  return static_cast<int32_t>(FreeSpace()) - 1;
}

int32_t EmuIsPlaying() {
  return BASS_ChannelIsActive(EmuStream) == BASS_ACTIVE_PLAYING ? 1 : 0;
}

int32_t EmuPause(int32_t Pause) {
  const HSTREAM s = EmuStream;
  const bool paused = BASS_ChannelIsActive(s) == BASS_ACTIVE_PAUSED;
  if (Pause == 0) {
    {
      std::lock_guard l(RingLock);
      Resumed = true;
    }
    if (paused)
      BASS_ChannelResume(s);
    else
      BASS_StreamPlay(s, TRUE, 0);
  } else if (!paused) {
    BASS_ChannelPause(s);
  }
  return paused ? 1 : 0;
}

void EmuSetVolume(int32_t Volume) {
  int32_t v = static_cast<int32_t>(std::nearbyint(Volume * 100.0 / 255.0));
  if (v < 0) v = 99;
  BASS_SetGlobalVolumes(v, v, v);
}

void EmuSetPan(int32_t Pan) {
  BASS_ChannelSetAttributes(EmuStream, -1, -1, static_cast<int32_t>(std::nearbyint(Pan * 0.78125)));
}

void EmuFlush(int32_t Time) {
  const HSTREAM s = EmuStream;
  const BASS_DWORD state = BASS_ChannelIsActive(s);
  {
    std::lock_guard l(RingLock);
    if (state == BASS_ACTIVE_PAUSED && !SeekPending) return;
  }
  // Outside the ring's lock: the library holds its own lock while it asks the
  // callback for data.
  BASS_ChannelStop(s);
  std::lock_guard l(RingLock);
  if (state == BASS_ACTIVE_PLAYING || state == 2) Prebuffering = true;
  TimeOffset = Time;
  ReadPos = WritePos = 0;
  WrittenBytes = 0;
  SeekPending = false;
  RingChanged.notify_all();
}

int32_t EmuGetOutputTime() {
  const HSTREAM s = EmuStream;
  BASS_QWORD pos = s && BASS_ChannelGetPosition ? BASS_ChannelGetPosition(s) : 0;
  if (pos == ~BASS_QWORD{0}) pos = 0;
  std::lock_guard l(RingLock);
  return Milliseconds(pos, TimeOffset);
}

int32_t EmuGetWrittenTime() {
  std::lock_guard l(RingLock);
  return Milliseconds(WrittenBytes, TimeOffset);
}

Out_Module Emulator{};

// ---- The host window ---------------------------------------------------------

LRESULT HostWndProc(HWND, UINT Msg, WPARAM WParam, LPARAM LParam) {
  switch (Msg) {
    case 17:  // WM_QUERYENDSESSION
      return 1;
    case WM_PluginEOF: {
      {
        std::lock_guard l(RingLock);
        InputEnded = true;
        RingChanged.notify_all();
      }
      if (HWND p = PlayerWindow.load()) PostMessageA(p, WM_PluginEOF, WParam, LParam);
      return 0;
    }
    case WM_PluginStartPlay:
      BASS_StreamPlay(EmuStream, FALSE, 0);
      {
        std::lock_guard l(RingLock);
        Resumed = false;
      }
      if (HWND p = PlayerWindow.load()) PostMessageA(p, WM_PluginStartPlay, WParam, LParam);
      return 0;
    case WM_PluginNotCurrent:
      Current = -1;
      return 0;
    case WM_WriteNoSpace:
      ShowBox("Write error : No Space", "Error", MB_OKCANCEL);
      return 0;
    default:
      return 0;
  }
}

// ---- What the host puts in place of a plug-in's visualisation and DSP ------

void StubSetInfo(int32_t, int32_t, int32_t, int32_t) {}
void StubSAVSAInit(int32_t, int32_t) {}
void StubSAVSADeInit() {}
void StubAddPCMData(void*, int32_t, int32_t, int32_t) {}
void StubSAAdd(void*, int32_t, int32_t) {}
void StubVSAAdd(void*, int32_t) {}
void StubVSASetInfo(int32_t, int32_t) {}
int32_t StubSAGetMode() {
  return 0;
}
int32_t StubVSAGetMode(int32_t*, int32_t*) {
  return 0;
}
int32_t StubDspIsActive() {
  return 0;
}
int32_t StubDspDoSamples(int16_t*, int32_t NumSamples, int32_t, int32_t, int32_t) {
  return NumSamples;
}

bool ValidSlot(int Slot) {
  return Slot >= 0 && Slot < kMaxPlugins;
}

}  // namespace

bool HostInit() {
  Slots.fill(nullptr);
  PluginInfos.fill(TPluginInfo{});
  Ready = false;
  {
    std::lock_guard l(RingLock);
    Ring.assign(kRingBytes, 0);
    ReadPos = WritePos = 0;
    WrittenBytes = 0;
    SampleRate = BitsPerSample = NumChannels = PrebufferBytes = TimeOffset = 0;
    SeekPending = Prebuffering = InputEnded = Resumed = false;
  }
  Emulator = Out_Module{};
  Emulator.version = 0x10;
  Emulator.description = const_cast<char*>("BASS Winamp output plug-in emulator");
  Emulator.id = 65537;
  Emulator.hMainWindow = Application ? Application->Handle() : nullptr;
  Emulator.hDllInstance = nullptr;
  Emulator.Config = &EmuConfig;
  Emulator.About = &EmuAbout;
  Emulator.Init = &EmuInit;
  Emulator.Quit = &EmuQuit;
  Emulator.Open = &EmuOpen;
  Emulator.Close = &EmuClose;
  Emulator.Write = &EmuWrite;
  Emulator.CanWrite = &EmuCanWrite;
  Emulator.IsPlaying = &EmuIsPlaying;
  Emulator.Pause = &EmuPause;
  Emulator.SetVolume = &EmuSetVolume;
  Emulator.SetPan = &EmuSetPan;
  Emulator.Flush = &EmuFlush;
  Emulator.GetOutputTime = &EmuGetOutputTime;
  Emulator.GetWrittenTime = &EmuGetWrittenTime;
  Emulator.Init();
  Current = -1;
  return Ready;
}

void HostShutdown() {
  for (int i = 0; i < kMaxPlugins; ++i) {
    if (!Slots[i]) continue;
    if (Slots[i]->Quit) Slots[i]->Quit();
    FreeLibrary(PluginInfos[i].DLLHandle);
    Slots[i] = nullptr;
    PluginInfos[i] = TPluginInfo{};
  }
  if (Emulator.Quit) Emulator.Quit();
  Current = -1;
  std::lock_guard l(RingLock);
  Ring.clear();
  Ring.shrink_to_fit();
}

bool HostReady() {
  return Ready;
}

int LoadPlugin(const std::string& Name) {
  if (!Ready) return plHostNotReady;
  if (FindPlugin(Name) >= 0) return plAlreadyLoaded;
  int slot = -1;
  for (int i = 0; i < kMaxPlugins && slot < 0; ++i)
    if (!Slots[i]) slot = i;
  if (slot < 0) return plNoSlot;
  const std::string path = ProgramFolder() + "Plugins\\" + Name;
  HMODULE lib = LoadLibraryA(path.c_str());
  if (!lib) return plCannotLoad;
  auto get = ProcAs<winampGetInModule2_t>(GetProcAddress(lib, WINAMP_GET_IN_MODULE2));
  In_Module* m = get ? get() : nullptr;
  if (!m) {
    FreeLibrary(lib);
    return plNotAPlugin;
  }
  m->hMainWindow = &HostRecord;
  m->hDllInstance = lib;
  m->outMod = &Emulator;
  if (m->Init) m->Init();
  m->SetInfo = &StubSetInfo;
  m->SAVSAInit = &StubSAVSAInit;
  m->SAVSADeInit = &StubSAVSADeInit;
  m->SAAddPCMData = &StubAddPCMData;
  m->SAAdd = &StubSAAdd;
  m->VSAAddPCMData = &StubAddPCMData;
  m->VSAAdd = &StubVSAAdd;
  m->VSASetInfo = &StubVSASetInfo;
  m->SAGetMode = &StubSAGetMode;
  m->VSAGetMode = &StubVSAGetMode;
  m->dsp_isactive = &StubDspIsActive;
  m->dsp_dosamples = &StubDspDoSamples;
  Slots[slot] = m;
  TPluginInfo& info = PluginInfos[slot];
  info.Name = Name;
  info.Version = m->version;
  info.Description = m->description ? m->description : "";
  // The list is pairs of zero-ended strings; the first names the extensions.
  info.FileExtensions = m->FileExtensions ? m->FileExtensions : "";
  info.Seekable = m->is_seekable;
  info.DLLHandle = lib;
  return plLoaded;
}

int UnloadPlugin(const std::string& Name) {
  const int slot = FindPlugin(Name);
  if (slot < 0) return plNotLoaded;
  if (slot == Current) return plInUse;
  if (Slots[slot]->Quit) Slots[slot]->Quit();
  if (!FreeLibrary(PluginInfos[slot].DLLHandle)) return plCannotFree;
  Slots[slot] = nullptr;
  PluginInfos[slot] = TPluginInfo{};
  return plLoaded;
}

int FindPlugin(const std::string& Name) {
  for (int i = 0; i < kMaxPlugins; ++i)
    if (Slots[i] && PluginInfos[i].Name == Name) return i;
  return -1;
}

In_Module* GetPluginModule(int Slot) {
  return ValidSlot(Slot) ? Slots[Slot] : nullptr;
}

TPluginInfo GetPluginInfo(int Slot) {
  return ValidSlot(Slot) && Slots[Slot] ? PluginInfos[Slot] : TPluginInfo{};
}

int SelectPlugin(int Slot) {
  if (!GetPluginModule(Slot)) return -1;
  Current = Slot;
  return 0;
}

int CurrentPlugin() {
  return Current;
}

int32_t HostOutputTime(bool FromEmulator) {
  if (FromEmulator) return EmuGetOutputTime();
  In_Module* m = GetPluginModule(Current);
  return m && m->GetOutputTime ? m->GetOutputTime() : 0;
}

void MarkSeek() {
  std::lock_guard l(RingLock);
  SeekPending = true;
  RingChanged.notify_all();
}

void SetPlayerWindow(HWND Wnd) {
  PlayerWindow = Wnd;
}

HWND GetPlayerWindow() {
  return PlayerWindow;
}

HWND GetHostWindow() {
  return HostWindow;
}

Out_Module& EmulatorModule() {
  return Emulator;
}

uint32_t EmulatorRingMilliseconds() {
  std::lock_guard l(RingLock);
  const int32_t bps = BytesPerSecond();
  return bps > 0 ? static_cast<uint32_t>(uint64_t{kRingBytes} * 1000 / static_cast<uint32_t>(bps))
                 : 500;
}

void HostAwaitOutput(uint32_t Ms) {
  std::unique_lock lk(RingLock);
  RingChanged.wait_for(lk, std::chrono::milliseconds(uint64_t{Ms} * 4), [&] {
    // A seek the plug-in has not taken up yet, an output not started: the
    // plug-in has work to do first.
    if (SeekPending) return false;
    if (InputEnded) return true;
    if (!EmuStream.load() || Prebuffering) return false;
    const uint64_t frame = static_cast<uint64_t>(std::max(1, (BitsPerSample / 8) * NumChannels));
    // What Ms of playing takes, plus the block the library decodes ahead.
    const uint64_t need =
        uint64_t{static_cast<uint32_t>(BytesPerSecond())} * Ms / 1000 + 2048 * frame;
    return Buffered() >= std::min<uint64_t>(need, kRingBytes - 1);
  });
}

TEmulatorState EmulatorState() {
  std::lock_guard l(RingLock);
  return {ReadPos,      WritePos,       WrittenBytes, SampleRate,       BitsPerSample,
          NumChannels,  PrebufferBytes, TimeOffset,   EmuStream.load(), SeekPending,
          Prebuffering, InputEnded,     Resumed};
}
