// The audio library. Every channel is a fed voice of the process's one mixer
// (platform/dsound/mixer.h): the library decodes ahead of it as a feeder,
// never on the audio thread and never under the mixer's lock. On a device
// output a service thread keeps the lead; on a clock-driven output (headless
// runs, no device) decoding and syncs happen on the thread that asks, right
// before the mixer catches up with the clock.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <future>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "audiolib/bass.h"
#include "audiolib/channels.h"
#include "audiolib/effects.h"
#include "platform/dsound/mixer.h"

#define BASS_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr uint32_t kDeviceRate = 44100;
constexpr size_t kBlockFrames = 2048;
// How far a device output is fed ahead of what it plays, unless
// BASS_SetBufferLength says otherwise, and the bounds of what it may say.
constexpr uint32_t kDefaultBufferMs = 333;
constexpr uint32_t kMinBufferMs = 50;
constexpr uint32_t kMaxBufferMs = 5000;

enum class TKind { Stream, User, Music };

struct TSync {
  HSYNC Handle;
  SYNCPROC Proc;
  void* User;
};
struct TDsp {
  HDSP Handle;
  DSPPROC Proc;
  void* User;
};
struct TFx {
  HFX Handle;
  std::unique_ptr<TChannelEffect> Effect;
};

struct TChannel {
  BASS_DWORD Handle = 0;
  TKind Kind = TKind::Stream;
  std::unique_ptr<TDecoder> Decoder;
  STREAMPROC Proc = nullptr;
  void* User = nullptr;
  uint32_t Rate = 0;
  uint16_t Channels = 2;
  bool EightBit = false;
  uint64_t Length = 0;  // frames, 0 for user streams
  uint64_t Base = 0;    // frame at which the queue starts
  bool SourceDone = false;
  bool EndFired = false;
  bool Paused = false;
  bool OutputPaused = false;  // paused by BASS_Pause: BASS_Start resumes it
  int Volume = 100;           // channel attribute, 0..100
  int Pan = 0;                // -100..100
  TMixVoice Voice;
  std::vector<TSync> Syncs;
  std::vector<TDsp> Dsps;
  std::vector<TFx> Fx;
  uint64_t Fed = 0;  // frame the decoder gives next
  std::vector<int16_t> Raw, Block;
  std::vector<uint8_t> Layout;  // a block in the channel's own layout

  uint32_t FrameBytes() const { return Channels * (EightBit ? 1u : 2u); }
};

class TLibrary : public TMixFeeder {
 public:
  // The locks are taken in one order everywhere: the mixer's feeder lock
  // (TSoundMixer::FeedMutex, held while the mixer's service runs Feed and
  // Heard), then this one, then the mixer's own lock (TSoundMixer::Mutex).
  // A call that adds or removes the library as a feeder takes the feeder
  // lock first.
  std::recursive_mutex Lock;
  bool Initialised = false;
  bool Started = false;
  int MusicVolume = 100, SampleVolume = 100, StreamVolume = 100;
  // Shared, so that a feeding round keeps a channel that a callback frees
  // meanwhile until the round is over.
  std::map<BASS_DWORD, std::shared_ptr<TChannel>> Channels;
  BASS_DWORD NextHandle = 0x10000;
  // A device output's service thread, with a stop flag of its own: a thread
  // stopped from within one of its own callbacks runs on until the callback
  // returns, while BASS_Init may already have started the next one.
  std::thread Thread;
  std::shared_ptr<std::atomic<bool>> StopThread;
  // Stopped service threads not yet joined.
  std::vector<std::thread> Stopped;
  std::atomic<uint32_t> BufferMs{kDefaultBufferMs};
  // Percent of the playing time that the last feeding round took.
  std::atomic<float> Cpu{0.0f};

  ~TLibrary() override;
  void Feed(uint64_t Frames) override;
  void Heard() override;
  TChannel* Find(BASS_DWORD h) {
    auto it = Channels.find(h);
    return it == Channels.end() ? nullptr : it->second.get();
  }
  TChannel* FindBySub(BASS_DWORD sub) {
    for (auto& [h, c] : Channels) {
      for (auto& s : c->Syncs)
        if (s.Handle == sub) return c.get();
      for (auto& d : c->Dsps)
        if (d.Handle == sub) return c.get();
      for (auto& f : c->Fx)
        if (f.Handle == sub) return c.get();
    }
    return nullptr;
  }
  void ApplyVolume(TChannel& c);
  size_t FillOne(TChannel& c, uint64_t frames);
  void StartService();
  // Under both locks: the service thread is told to stop, and kept with
  // the stopped ones until someone can wait for it.
  void StopService();
  // The stopped threads that the calling thread can wait for: all but
  // itself, when it is one of them. To be joined without the locks, which
  // a thread finishing its round may be waiting for.
  std::vector<std::thread> TakeStopped();
};

void ServiceLoop(std::shared_ptr<std::atomic<bool>> stop);

TLibrary& Lib() {
  // Destroyed when the library is unloaded (or the program ends).
  static TLibrary lib;
  return lib;
}

thread_local int32_t t_error = BASS_OK;

template <class T>
T Fail(int32_t code, T result) {
  t_error = code;
  return result;
}
template <class T>
T Ok(T result) {
  t_error = BASS_OK;
  return result;
}

// Brings a clock-driven mixer up to now, so positions and states answer for
// what has been heard. Must be called without the library's lock.
void Catchup() {
  TSoundMixer& m = TSoundMixer::Instance();
  if (!m.ClockDriven()) return;
  m.Service();
  {
    std::lock_guard g(m.Mutex());
    m.Pump();
  }
  m.AfterService();
}

float Gain(int level) {
  return std::clamp(level, 0, 100) / 100.0f;
}

// Linear levels become the mixer's hundredths of a decibel.
int32_t Attenuation(float gain) {
  if (gain <= 0.0f) return -10000;
  return std::max(-10000, static_cast<int32_t>(std::lround(2000.0 * std::log10(gain))));
}

TLibrary::~TLibrary() {
  // Unloaded (or the program ends) without BASS_Free: the device goes now.
  TSoundMixer& m = TSoundMixer::Instance();
  {
    std::lock_guard f(m.FeedMutex());
    m.RemoveFeeder(this);
    StopService();
  }
  for (std::thread& t : Stopped) {
    // Only a library unloaded from its own callback is on one of them.
    if (t.get_id() == std::this_thread::get_id())
      t.detach();
    else
      t.join();
  }
  std::lock_guard g(m.Mutex());
  for (auto& [h, c] : Channels) m.Remove(&c->Voice);
}

void TLibrary::ApplyVolume(TChannel& c) {
  const int global = c.Kind == TKind::Music ? MusicVolume : StreamVolume;
  std::lock_guard g(TSoundMixer::Instance().Mutex());
  c.Voice.Volume = Attenuation(Gain(global) * Gain(c.Volume));
  c.Voice.Pan = std::clamp(c.Pan, -100, 100) * 100;
}

// Decodes one block into the channel's own layout (its sample size and
// channel count, as its flags tell them), hands that to the DSP chain, and
// queues it as the mixer's stereo 16-bit through the effects. Returns the
// frames queued.
size_t TLibrary::FillOne(TChannel& c, uint64_t frames) {
  const uint32_t frameBytes = c.FrameBytes();
  size_t got = 0;
  if (c.Kind == TKind::User) {
    const uint32_t want = static_cast<uint32_t>(frames * frameBytes);
    c.Layout.assign(want, 0);
    const BASS_DWORD r = std::min(c.Proc(c.Handle, c.Layout.data(), want, c.User), want);
    got = r / frameBytes;
    if (r < want) c.SourceDone = true;
  } else {
    // Never past the length: what the length says is what is heard. While
    // the decoder still counts it, its own end is the end.
    const uint64_t left = c.Decoder->LengthCount.valid() ? frames
                          : c.Length > c.Fed             ? c.Length - c.Fed
                                                         : 0;
    c.Raw.resize(frames * c.Channels);
    got = c.Decoder->Read(c.Raw.data(), static_cast<size_t>(std::min(frames, left)));
    c.Fed += got;
    if (got < frames) c.SourceDone = true;
    c.Layout.resize(got * frameBytes);
    for (size_t i = 0; i < got * c.Channels; ++i) {
      const auto s = static_cast<uint16_t>(c.Raw[i]);
      if (c.EightBit) {
        c.Layout[i] = static_cast<uint8_t>((s >> 8) ^ 0x80);
      } else {
        c.Layout[2 * i] = static_cast<uint8_t>(s);
        c.Layout[2 * i + 1] = static_cast<uint8_t>(s >> 8);
      }
    }
  }
  if (got > 0) {
    // A DSP may remove itself or another, or free the channel, as it runs:
    // each is called only while it is set on a channel that is still there.
    const std::vector<TDsp> dsps = c.Dsps;
    for (const TDsp& d : dsps) {
      const HDSP h = d.Handle;
      if (Find(c.Handle) != &c ||
          std::none_of(c.Dsps.begin(), c.Dsps.end(), [h](const TDsp& x) { return x.Handle == h; }))
        continue;
      d.Proc(d.Handle, c.Handle, c.Layout.data(), static_cast<BASS_DWORD>(got * frameBytes),
             d.User);
    }
  }
  c.Block.resize(got * 2);
  for (size_t i = 0; i < got * c.Channels; ++i) {
    const uint8_t* p = &c.Layout[c.EightBit ? i : 2 * i];
    const int16_t s = c.EightBit ? static_cast<int16_t>((p[0] - 128) * 256)
                                 : static_cast<int16_t>(p[0] | p[1] << 8);
    if (c.Channels == 2)
      c.Block[i] = s;
    else
      c.Block[2 * i] = c.Block[2 * i + 1] = s;
  }
  if (got > 0) {
    for (auto& f : c.Fx) f.Effect->Process(c.Block.data(), got);
  }
  std::lock_guard g(TSoundMixer::Instance().Mutex());
  c.Voice.Stream->Push(c.Block.data(), got);
  if (c.SourceDone) c.Voice.Stream->Ended = true;
  return got;
}

void TLibrary::Feed(uint64_t Frames) {
  std::lock_guard l(Lock);
  TSoundMixer& m = TSoundMixer::Instance();
  const bool clock = m.ClockDriven();
  const uint32_t out = m.Rate();
  const auto start = std::chrono::steady_clock::now();
  double produced = 0;  // seconds of sound queued this round
  bool playing = false;
  // A stream's callback or a DSP may free channels, or the whole library,
  // while the round goes on: the round keeps those it started with and
  // passes over the ones that are gone.
  std::vector<std::shared_ptr<TChannel>> round;
  round.reserve(Channels.size());
  for (const auto& [h, c] : Channels) round.push_back(c);
  const auto gone = [&](const TChannel& c) { return Find(c.Handle) != &c; };
  for (const std::shared_ptr<TChannel>& c : round) {
    uint32_t queued;
    {
      std::lock_guard g(m.Mutex());
      if (gone(*c) || !c->Voice.Playing || c->SourceDone) continue;
      queued = c->Voice.Stream->Queued();
    }
    playing = true;
    // Enough for what the clock has run up, plus a block; a device keeps
    // the buffer length ahead of its thread.
    const uint64_t need =
        clock ? Frames * c->Rate / out + 1 + kBlockFrames : uint64_t{c->Rate} * BufferMs / 1000;
    while (queued < need && !c->SourceDone) {
      try {
        produced += static_cast<double>(FillOne(*c, kBlockFrames)) / c->Rate;
      } catch (...) {
        // A decoder that fails (out of memory) ends its channel with what
        // was heard, and the others play on; nobody above this thread could
        // take the exception.
        c->SourceDone = true;
        std::lock_guard g(m.Mutex());
        c->Voice.Stream->Ended = true;
      }
      if (gone(*c)) break;
      std::lock_guard g(m.Mutex());
      queued = c->Voice.Stream->Queued();
    }
  }
  if (!playing) {
    Cpu = 0.0f;
  } else if (produced > 0) {
    const double spent =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    Cpu = static_cast<float>(std::min(100.0, 100.0 * spent / produced));
  }
}

void TLibrary::Heard() {
  std::vector<std::pair<TSync, BASS_DWORD>> fire;
  {
    std::lock_guard l(Lock);
    std::lock_guard g(TSoundMixer::Instance().Mutex());
    for (auto& [h, c] : Channels) {
      if (c->Voice.Stream->Drained && !c->EndFired) {
        c->EndFired = true;
        for (auto& s : c->Syncs) fire.push_back({s, h});
      }
    }
  }
  // Called without the lock, so a callback may call anything, BASS_Free
  // included; a sync whose channel an earlier callback freed, or that it
  // removed, is not called.
  for (const auto& [sync, ch] : fire) {
    {
      std::lock_guard l(Lock);
      const TChannel* c = Find(ch);
      const HSYNC h = sync.Handle;
      if (!c || std::none_of(c->Syncs.begin(), c->Syncs.end(),
                             [h](const TSync& x) { return x.Handle == h; }))
        continue;
    }
    sync.Proc(sync.Handle, ch, 0, sync.User);
  }
}

void TLibrary::StartService() {
  StopThread = std::make_shared<std::atomic<bool>>(false);
  Thread = std::thread(ServiceLoop, StopThread);
}

void TLibrary::StopService() {
  if (StopThread) *StopThread = true;
  if (Thread.joinable()) Stopped.push_back(std::move(Thread));
}

std::vector<std::thread> TLibrary::TakeStopped() {
  std::vector<std::thread> out;
  for (auto it = Stopped.begin(); it != Stopped.end();) {
    if (it->get_id() == std::this_thread::get_id()) {
      ++it;
    } else {
      out.push_back(std::move(*it));
      it = Stopped.erase(it);
    }
  }
  return out;
}

void ServiceLoop(std::shared_ptr<std::atomic<bool>> stop) {
  while (!*stop) {
    TSoundMixer& m = TSoundMixer::Instance();
    if (!m.ClockDriven()) {
      m.Service();
      m.AfterService();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

HSTREAM AddChannel(std::shared_ptr<TChannel> c) {
  TLibrary& lib = Lib();
  c->Handle = lib.NextHandle++;
  c->Voice.Stream = std::make_shared<TMixStream>();
  c->Voice.Frequency = c->Rate;
  c->Voice.Channels = 2;
  c->Voice.Bits = 16;
  c->Voice.Rate = c->Rate;
  c->Voice.BlockAlign = 4;
  TChannel* raw = c.get();
  lib.Channels[raw->Handle] = std::move(c);
  lib.ApplyVolume(*raw);
  std::lock_guard g(TSoundMixer::Instance().Mutex());
  TSoundMixer::Instance().Add(&raw->Voice);
  return raw->Handle;
}

void FreeChannel(BASS_DWORD h) {
  TLibrary& lib = Lib();
  auto it = lib.Channels.find(h);
  if (it == lib.Channels.end()) return;
  {
    std::lock_guard g(TSoundMixer::Instance().Mutex());
    TSoundMixer::Instance().Remove(&it->second->Voice);
  }
  lib.Channels.erase(it);
}

// Moves a channel to Frame: the queue is dropped and decoding starts there.
bool SeekChannel(TChannel& c, uint64_t frame) {
  if (c.Kind == TKind::User) return false;
  if (c.Length && frame > c.Length) return false;
  if (!c.Decoder->Seek(frame)) return false;
  std::lock_guard g(TSoundMixer::Instance().Mutex());
  c.Voice.Stream->Clear();
  c.Voice.Cursor = 0;
  c.Base = frame;
  c.Fed = frame;
  c.SourceDone = false;
  c.EndFired = false;
  return true;
}

bool StartChannel(TChannel& c, bool flush) {
  TLibrary& lib = Lib();
  if (!lib.Started) return false;
  if (flush) {
    uint64_t heard;
    {
      std::lock_guard g(TSoundMixer::Instance().Mutex());
      heard = c.Base + c.Voice.Stream->Heard;
    }
    if (c.Kind == TKind::User) {
      std::lock_guard g(TSoundMixer::Instance().Mutex());
      c.Base = heard;
      c.Voice.Stream->Clear();
      c.SourceDone = false;
    } else {
      SeekChannel(c, heard);
    }
  }
  bool drained;
  {
    std::lock_guard g(TSoundMixer::Instance().Mutex());
    drained = c.Voice.Stream->Drained;
  }
  // A stream that was heard to its end starts again at its start.
  if (drained && c.Kind != TKind::User) SeekChannel(c, 0);
  std::lock_guard g(TSoundMixer::Instance().Mutex());
  c.EndFired = false;
  c.Paused = false;
  c.Voice.Playing = true;
  return true;
}

std::string PathOf(const void* file) {
  return file ? static_cast<const char*>(file) : "";
}

BASS_DWORD NotAvailable() {
  return Fail<BASS_DWORD>(BASS_ERROR_NOTAVAIL, 0);
}

}  // namespace

void BassSetError(int32_t Code) {
  t_error = Code;
}

HSTREAM BassAdoptDecoder(std::unique_ptr<TDecoder> Decoder) {
  TLibrary& lib = Lib();
  std::lock_guard l(lib.Lock);
  if (!lib.Initialised) return Fail<HSTREAM>(BASS_ERROR_INIT, 0);
  if (!Decoder) return Fail<HSTREAM>(BASS_ERROR_FILEFORM, 0);
  auto c = std::make_shared<TChannel>();
  c->Kind = TKind::Stream;
  c->Rate = Decoder->Rate;
  c->Channels = Decoder->Channels;
  c->EightBit = Decoder->EightBit;
  c->Length = Decoder->Length;
  c->Decoder = std::move(Decoder);
  return Ok(AddChannel(std::move(c)));
}

// ---- Device ----------------------------------------------------------------

BASS_EXPORT BASS_DWORD BASS_GetVersion() {
  return BASS_VERSION_WORD;
}

BASS_EXPORT int32_t BASS_ErrorGetCode() {
  return t_error;
}

BASS_EXPORT BASS_BOOL BASS_Init(int32_t Device, BASS_DWORD Freq, BASS_DWORD Flags, void* Win) {
  return BassGuarded<BASS_BOOL>(0, [&]() -> BASS_BOOL {
    TLibrary& lib = Lib();
    TSoundMixer& m = TSoundMixer::Instance();
    std::vector<std::thread> stopped;
    {
      std::lock_guard f(m.FeedMutex());
      std::lock_guard l(lib.Lock);
      if (lib.Initialised) return Fail(BASS_ERROR_ALREADY, 0);
      if (Device != -1 && Device != 1) return Fail(BASS_ERROR_DEVICE, 0);
      // The device is the mixer's: without one behind it there is nothing
      // to play to.
      if (!m.HasDevice()) return Fail(BASS_ERROR_DRIVER, 0);
      lib.Initialised = true;
      lib.Started = false;
      m.AddFeeder(&lib);
      lib.StartService();
      stopped = lib.TakeStopped();
    }
    for (std::thread& t : stopped) t.join();
    return Ok(1);
  });
}

BASS_EXPORT BASS_BOOL BASS_Free() {
  return BassGuarded<BASS_BOOL>(0, [&]() -> BASS_BOOL {
    // Everything goes at once; the service thread ends once it has left
    // its round. From any other thread the call waits for that. Called on
    // the service thread itself, from a sync, a stream or a DSP callback,
    // it cannot wait for its own thread: the free is done all the same,
    // that thread ends once the callback returns to it, and the next
    // BASS_Init, BASS_Free or the unloading of the library waits for it.
    TLibrary& lib = Lib();
    TSoundMixer& m = TSoundMixer::Instance();
    std::vector<std::thread> stopped;
    {
      std::lock_guard f(m.FeedMutex());
      std::lock_guard l(lib.Lock);
      if (!lib.Initialised) return Fail(BASS_ERROR_INIT, 0);
      m.RemoveFeeder(&lib);
      lib.StopService();
      while (!lib.Channels.empty()) FreeChannel(lib.Channels.begin()->first);
      lib.Initialised = lib.Started = false;
      stopped = lib.TakeStopped();
    }
    for (std::thread& t : stopped) t.join();
    return Ok(1);
  });
}

BASS_EXPORT BASS_BOOL BASS_Start() {
  return BassGuarded<BASS_BOOL>(0, [&]() -> BASS_BOOL {
    // What was due so far is heard as things stood.
    Catchup();
    TLibrary& lib = Lib();
    std::lock_guard l(lib.Lock);
    if (!lib.Initialised) return Fail(BASS_ERROR_INIT, 0);
    lib.Started = true;
    // What the paused output held plays on.
    for (auto& [h, c] : lib.Channels) {
      if (c->OutputPaused) {
        c->OutputPaused = false;
        StartChannel(*c, false);
      }
    }
    return Ok(1);
  });
}

BASS_EXPORT BASS_BOOL BASS_Stop() {
  return BassGuarded<BASS_BOOL>(0, [&]() -> BASS_BOOL {
    // What was due so far is heard as things stood.
    Catchup();
    TLibrary& lib = Lib();
    std::lock_guard l(lib.Lock);
    if (!lib.Initialised) return Fail(BASS_ERROR_INIT, 0);
    std::lock_guard g(TSoundMixer::Instance().Mutex());
    for (auto& [h, c] : lib.Channels) {
      c->Voice.Playing = false;
      c->OutputPaused = false;
    }
    lib.Started = false;
    return Ok(1);
  });
}

BASS_EXPORT BASS_BOOL BASS_Pause() {
  return BassGuarded<BASS_BOOL>(0, [&]() -> BASS_BOOL {
    // What was due so far is heard as things stood.
    Catchup();
    TLibrary& lib = Lib();
    std::lock_guard l(lib.Lock);
    if (!lib.Initialised) return Fail(BASS_ERROR_INIT, 0);
    std::lock_guard g(TSoundMixer::Instance().Mutex());
    for (auto& [h, c] : lib.Channels) {
      if (c->Voice.Playing) {
        c->Voice.Playing = false;
        c->Paused = true;
        c->OutputPaused = true;
      }
    }
    lib.Started = false;
    return Ok(1);
  });
}

BASS_EXPORT BASS_BOOL BASS_GetInfo(BASS_INFO* Info) {
  return BassGuarded<BASS_BOOL>(0, [&]() -> BASS_BOOL {
    TLibrary& lib = Lib();
    std::lock_guard l(lib.Lock);
    if (!lib.Initialised) return Fail(BASS_ERROR_INIT, 0);
    if (!Info || Info->size < sizeof(BASS_INFO)) return Fail(BASS_ERROR_ILLPARAM, 0);
    *Info = BASS_INFO{};
    Info->size = sizeof(BASS_INFO);
    Info->minrate = 100;
    Info->maxrate = 100000;
    Info->dsver = 8;
    Info->latency = 20;
    Info->speakers = 2;
    return Ok(1);
  });
}

BASS_EXPORT const char* BASS_GetDeviceDescription(int32_t Device) {
  return BassGuarded<const char*>(nullptr, [&]() -> const char* {
    return Device == 1 ? "Default" : Fail<const char*>(BASS_ERROR_DEVICE, nullptr);
  });
}

// The share of the playing time that decoding, DSPs and effects took in the
// library's last feeding round, in percent; 0 while nothing plays.
BASS_EXPORT float BASS_GetCPU() {
  return Lib().Cpu.load();
}

// Sets how far ahead of a device the library decodes, in seconds, within
// 0.05 and 5; returns the length now in force, in milliseconds. A longer one
// rides out a busier machine; effects and DSPs are then heard that much
// later. A clock-driven output (no device, headless runs) is fed as its
// clock runs instead.
BASS_EXPORT BASS_DWORD BASS_SetBufferLength(float Length) {
  return BassGuarded<BASS_DWORD>(0, [&]() -> BASS_DWORD {
    TLibrary& lib = Lib();
    // Clamped before it is rounded: a length far out of range would
    // overflow the rounding.
    if (std::isfinite(Length))
      lib.BufferMs = static_cast<uint32_t>(
          std::lround(std::clamp<double>(Length * 1000.0, kMinBufferMs, kMaxBufferMs)));
    return Ok<BASS_DWORD>(lib.BufferMs);
  });
}

BASS_EXPORT BASS_BOOL BASS_Update() {
  return BassGuarded<BASS_BOOL>(0, [&]() -> BASS_BOOL {
    Catchup();
    return Ok(1);
  });
}

BASS_EXPORT void BASS_SetGlobalVolumes(int32_t Music, int32_t Sample, int32_t Stream) {
  BassGuarded(0, [&] {
    // What was due so far is heard as things stood.
    Catchup();
    TLibrary& lib = Lib();
    std::lock_guard l(lib.Lock);
    if (Music >= 0) lib.MusicVolume = std::min(Music, 100);
    if (Sample >= 0) lib.SampleVolume = std::min(Sample, 100);
    if (Stream >= 0) lib.StreamVolume = std::min(Stream, 100);
    for (auto& [h, c] : lib.Channels) lib.ApplyVolume(*c);
    t_error = BASS_OK;
    return 0;
  });
}

BASS_EXPORT void BASS_GetGlobalVolumes(BASS_DWORD* Music, BASS_DWORD* Sample, BASS_DWORD* Stream) {
  BassGuarded(0, [&] {
    TLibrary& lib = Lib();
    std::lock_guard l(lib.Lock);
    if (Music) *Music = static_cast<BASS_DWORD>(lib.MusicVolume);
    if (Sample) *Sample = static_cast<BASS_DWORD>(lib.SampleVolume);
    if (Stream) *Stream = static_cast<BASS_DWORD>(lib.StreamVolume);
    t_error = BASS_OK;
    return 0;
  });
}

// ---- Streams ---------------------------------------------------------------

BASS_EXPORT HSTREAM BASS_StreamCreateFile(BASS_BOOL Mem, const void* File, BASS_DWORD Offset,
                                          BASS_DWORD Length, BASS_DWORD Flags) {
  return BassGuarded<HSTREAM>(0, [&]() -> HSTREAM {
    {
      std::lock_guard l(Lib().Lock);
      if (!Lib().Initialised) return Fail<HSTREAM>(BASS_ERROR_INIT, 0);
    }
    if (Mem || !File) return Fail<HSTREAM>(BASS_ERROR_NOTAVAIL, 0);
    const TSourceFile file(PathOf(File));
    if (file.Error() != BASS_OK) return Fail<HSTREAM>(file.Error(), 0);
    // A WAV or Ogg file whose samples the library does not play is not
    // handed on: it would only be taken for noise.
    int32_t why = BASS_ERROR_FILEFORM;
    std::unique_ptr<TDecoder> d = OpenWaveDecoder(file.Path(), &why);
    if (!d && why != BASS_ERROR_FORMAT) d = OpenVorbisDecoder(file.Path(), &why);
    if (!d && why != BASS_ERROR_FORMAT) d = OpenMpegDecoder(file.Path());
    if (!d) return Fail<HSTREAM>(why, 0);
    return BassAdoptDecoder(std::move(d));
  });
}

BASS_EXPORT HSTREAM BASS_StreamCreate(BASS_DWORD Freq, BASS_DWORD Flags, STREAMPROC Proc,
                                      void* User) {
  return BassGuarded<HSTREAM>(0, [&]() -> HSTREAM {
    TLibrary& lib = Lib();
    std::lock_guard l(lib.Lock);
    if (!lib.Initialised) return Fail<HSTREAM>(BASS_ERROR_INIT, 0);
    if (!Proc || Freq < 100 || Freq > 100000) return Fail<HSTREAM>(BASS_ERROR_ILLPARAM, 0);
    auto c = std::make_shared<TChannel>();
    c->Kind = TKind::User;
    c->Proc = Proc;
    c->User = User;
    c->Rate = Freq;
    c->Channels = (Flags & BASS_SAMPLE_MONO) ? 1 : 2;
    c->EightBit = (Flags & BASS_SAMPLE_8BITS) != 0;
    return Ok(AddChannel(std::move(c)));
  });
}

BASS_EXPORT BASS_BOOL BASS_StreamFree(HSTREAM Handle) {
  return BassGuarded<BASS_BOOL>(0, [&]() -> BASS_BOOL {
    // What was due so far is heard as things stood.
    Catchup();
    TLibrary& lib = Lib();
    std::lock_guard l(lib.Lock);
    TChannel* c = lib.Find(Handle);
    if (!c || c->Kind == TKind::Music) return Fail(BASS_ERROR_HANDLE, 0);
    FreeChannel(Handle);
    return Ok(1);
  });
}

BASS_EXPORT BASS_QWORD BASS_StreamGetLength(HSTREAM Handle) {
  return BassGuarded<BASS_QWORD>(~BASS_QWORD{0}, [&]() -> BASS_QWORD {
    TLibrary& lib = Lib();
    std::lock_guard l(lib.Lock);
    TChannel* c = lib.Find(Handle);
    if (!c || c->Kind == TKind::Music) return Fail<BASS_QWORD>(BASS_ERROR_HANDLE, ~BASS_QWORD{0});
    if (c->Kind == TKind::User) return Fail<BASS_QWORD>(BASS_ERROR_NOTAVAIL, ~BASS_QWORD{0});
    return Ok<BASS_QWORD>(c->Length * c->FrameBytes());
  });
}

BASS_EXPORT BASS_BOOL BASS_StreamPlay(HSTREAM Handle, BASS_BOOL Flush, BASS_DWORD Flags) {
  return BassGuarded<BASS_BOOL>(0, [&]() -> BASS_BOOL {
    // What was due so far is heard as things stood.
    Catchup();
    TLibrary& lib = Lib();
    std::lock_guard l(lib.Lock);
    TChannel* c = lib.Find(Handle);
    if (!c || c->Kind == TKind::Music) return Fail(BASS_ERROR_HANDLE, 0);
    if (!StartChannel(*c, Flush != 0)) return Fail(BASS_ERROR_START, 0);
    return Ok(1);
  });
}

// ---- Module music ----------------------------------------------------------

BASS_EXPORT HMUSIC BASS_MusicLoad(BASS_BOOL Mem, const void* File, BASS_DWORD Offset,
                                  BASS_DWORD Length, BASS_DWORD Flags) {
  return BassGuarded<HMUSIC>(0, [&]() -> HMUSIC {
    {
      std::lock_guard l(Lib().Lock);
      if (!Lib().Initialised) return Fail<HMUSIC>(BASS_ERROR_INIT, 0);
    }
    if (!File) return Fail<HMUSIC>(BASS_ERROR_ILLPARAM, 0);
    std::unique_ptr<TDecoder> d;
    if (Mem) {
      if (Length == 0) return Fail<HMUSIC>(BASS_ERROR_ILLPARAM, 0);
      const uint8_t* p = static_cast<const uint8_t*>(File) + Offset;
      d = OpenModuleDecoder(std::vector<uint8_t>(p, p + Length), kDeviceRate);
      if (!d) return Fail<HMUSIC>(BASS_ERROR_FILEFORM, 0);
    } else {
      int32_t why = BASS_OK;
      d = LoadModuleFile(PathOf(File), Offset, Length, kDeviceRate, why);
      if (!d) return Fail<HMUSIC>(why, 0);
    }
    TLibrary& lib = Lib();
    std::lock_guard l(lib.Lock);
    auto c = std::make_shared<TChannel>();
    c->Kind = TKind::Music;
    c->Rate = d->Rate;
    c->Channels = 2;
    c->Length = d->Length;
    c->Decoder = std::move(d);
    return Ok(AddChannel(std::move(c)));
  });
}

BASS_EXPORT BASS_BOOL BASS_MusicFree(HMUSIC Handle) {
  return BassGuarded<BASS_BOOL>(0, [&]() -> BASS_BOOL {
    // What was due so far is heard as things stood.
    Catchup();
    TLibrary& lib = Lib();
    std::lock_guard l(lib.Lock);
    TChannel* c = lib.Find(Handle);
    if (!c || c->Kind != TKind::Music) return Fail(BASS_ERROR_HANDLE, 0);
    FreeChannel(Handle);
    return Ok(1);
  });
}

BASS_EXPORT BASS_DWORD BASS_MusicGetLength(HMUSIC Handle, BASS_BOOL Playlen) {
  return BassGuarded<BASS_DWORD>(~BASS_DWORD{0}, [&]() -> BASS_DWORD {
    TLibrary& lib = Lib();
    // A length still being counted is waited for without the library's
    // lock, so every channel plays on meanwhile; the channel may be freed
    // while it is waited for.
    std::shared_future<uint64_t> count;
    {
      std::lock_guard l(lib.Lock);
      TChannel* c = lib.Find(Handle);
      if (c && c->Kind == TKind::Music) count = c->Decoder->LengthCount;
    }
    if (count.valid()) count.wait();
    std::lock_guard l(lib.Lock);
    TChannel* c = lib.Find(Handle);
    if (!c || c->Kind != TKind::Music) return Fail<BASS_DWORD>(BASS_ERROR_HANDLE, ~BASS_DWORD{0});
    c->Length = c->Decoder->CountedLength();
    return Ok(static_cast<BASS_DWORD>(std::min<uint64_t>(c->Length * 4, 0xFFFFFFFEu)));
  });
}

BASS_EXPORT BASS_BOOL BASS_MusicPlay(HMUSIC Handle) {
  return BassGuarded<BASS_BOOL>(0, [&]() -> BASS_BOOL {
    // What was due so far is heard as things stood.
    Catchup();
    TLibrary& lib = Lib();
    std::lock_guard l(lib.Lock);
    TChannel* c = lib.Find(Handle);
    if (!c || c->Kind != TKind::Music) return Fail(BASS_ERROR_HANDLE, 0);
    if (!StartChannel(*c, false)) return Fail(BASS_ERROR_START, 0);
    return Ok(1);
  });
}

// ---- Channels --------------------------------------------------------------

BASS_EXPORT BASS_DWORD BASS_ChannelGetFlags(BASS_DWORD Handle) {
  return BassGuarded<BASS_DWORD>(~BASS_DWORD{0}, [&]() -> BASS_DWORD {
    TLibrary& lib = Lib();
    std::lock_guard l(lib.Lock);
    TChannel* c = lib.Find(Handle);
    if (!c) return Fail<BASS_DWORD>(BASS_ERROR_HANDLE, ~BASS_DWORD{0});
    BASS_DWORD f = 0;
    if (c->EightBit) f |= BASS_SAMPLE_8BITS;
    if (c->Channels == 1) f |= BASS_SAMPLE_MONO;
    return Ok(f);
  });
}

BASS_EXPORT BASS_BOOL BASS_ChannelStop(BASS_DWORD Handle) {
  return BassGuarded<BASS_BOOL>(0, [&]() -> BASS_BOOL {
    // What was due so far is heard as things stood.
    Catchup();
    TLibrary& lib = Lib();
    std::lock_guard l(lib.Lock);
    TChannel* c = lib.Find(Handle);
    if (!c) return Fail(BASS_ERROR_HANDLE, 0);
    std::lock_guard g(TSoundMixer::Instance().Mutex());
    c->Voice.Playing = false;
    c->Paused = false;
    c->OutputPaused = false;
    if (c->Kind == TKind::User) {
      // A user stream has no place to return to: what it had queued is
      // dropped, and its position counts again from what it is given next.
      c->Voice.Stream->Clear();
      c->Voice.Stream->Heard = 0;
      c->Voice.Cursor = 0;
      c->Base = 0;
      c->SourceDone = false;
      c->EndFired = false;
    }
    return Ok(1);
  });
}

BASS_EXPORT BASS_BOOL BASS_ChannelPause(BASS_DWORD Handle) {
  return BassGuarded<BASS_BOOL>(0, [&]() -> BASS_BOOL {
    // What was due so far is heard as things stood.
    Catchup();
    TLibrary& lib = Lib();
    std::lock_guard l(lib.Lock);
    TChannel* c = lib.Find(Handle);
    if (!c) return Fail(BASS_ERROR_HANDLE, 0);
    std::lock_guard g(TSoundMixer::Instance().Mutex());
    if (!c->Voice.Playing) return Fail(BASS_ERROR_NOPLAY, 0);
    c->Voice.Playing = false;
    c->Paused = true;
    return Ok(1);
  });
}

BASS_EXPORT BASS_BOOL BASS_ChannelResume(BASS_DWORD Handle) {
  return BassGuarded<BASS_BOOL>(0, [&]() -> BASS_BOOL {
    // What was due so far is heard as things stood.
    Catchup();
    TLibrary& lib = Lib();
    std::lock_guard l(lib.Lock);
    TChannel* c = lib.Find(Handle);
    if (!c) return Fail(BASS_ERROR_HANDLE, 0);
    if (!c->Paused) return Fail(BASS_ERROR_NOPAUSE, 0);
    if (!StartChannel(*c, false)) return Fail(BASS_ERROR_START, 0);
    return Ok(1);
  });
}

BASS_EXPORT BASS_DWORD BASS_ChannelIsActive(BASS_DWORD Handle) {
  return BassGuarded<BASS_DWORD>(BASS_ACTIVE_STOPPED, [&]() -> BASS_DWORD {
    Catchup();
    TLibrary& lib = Lib();
    std::lock_guard l(lib.Lock);
    TChannel* c = lib.Find(Handle);
    if (!c) return Fail<BASS_DWORD>(BASS_ERROR_HANDLE, BASS_ACTIVE_STOPPED);
    std::lock_guard g(TSoundMixer::Instance().Mutex());
    if (c->Voice.Playing) return Ok(BASS_ACTIVE_PLAYING);
    return Ok(c->Paused ? BASS_ACTIVE_PAUSED : BASS_ACTIVE_STOPPED);
  });
}

BASS_EXPORT BASS_BOOL BASS_ChannelSetAttributes(BASS_DWORD Handle, int32_t Freq, int32_t Volume,
                                                int32_t Pan) {
  return BassGuarded<BASS_BOOL>(0, [&]() -> BASS_BOOL {
    // What was due so far is heard as things stood.
    Catchup();
    TLibrary& lib = Lib();
    std::lock_guard l(lib.Lock);
    TChannel* c = lib.Find(Handle);
    if (!c) return Fail(BASS_ERROR_HANDLE, 0);
    if (Freq > 0) {
      std::lock_guard g(TSoundMixer::Instance().Mutex());
      c->Voice.Frequency = static_cast<uint32_t>(std::clamp(Freq, 100, 100000));
    }
    if (Volume >= 0) c->Volume = std::min(Volume, 100);
    if (Pan >= -100 && Pan <= 100) c->Pan = Pan;
    lib.ApplyVolume(*c);
    return Ok(1);
  });
}

BASS_EXPORT BASS_BOOL BASS_ChannelGetAttributes(BASS_DWORD Handle, BASS_DWORD* Freq,
                                                BASS_DWORD* Volume, int32_t* Pan) {
  return BassGuarded<BASS_BOOL>(0, [&]() -> BASS_BOOL {
    TLibrary& lib = Lib();
    std::lock_guard l(lib.Lock);
    TChannel* c = lib.Find(Handle);
    if (!c) return Fail(BASS_ERROR_HANDLE, 0);
    std::lock_guard g(TSoundMixer::Instance().Mutex());
    if (Freq) *Freq = c->Voice.Frequency;
    if (Volume) *Volume = static_cast<BASS_DWORD>(c->Volume);
    if (Pan) *Pan = c->Pan;
    return Ok(1);
  });
}

BASS_EXPORT BASS_QWORD BASS_ChannelGetPosition(BASS_DWORD Handle) {
  return BassGuarded<BASS_QWORD>(~BASS_QWORD{0}, [&]() -> BASS_QWORD {
    Catchup();
    TLibrary& lib = Lib();
    std::lock_guard l(lib.Lock);
    TChannel* c = lib.Find(Handle);
    if (!c) return Fail<BASS_QWORD>(BASS_ERROR_HANDLE, ~BASS_QWORD{0});
    std::lock_guard g(TSoundMixer::Instance().Mutex());
    return Ok<BASS_QWORD>((c->Base + c->Voice.Stream->Heard) * c->FrameBytes());
  });
}

BASS_EXPORT BASS_BOOL BASS_ChannelSetPosition(BASS_DWORD Handle, BASS_QWORD Pos) {
  return BassGuarded<BASS_BOOL>(0, [&]() -> BASS_BOOL {
    Catchup();
    TLibrary& lib = Lib();
    std::lock_guard l(lib.Lock);
    TChannel* c = lib.Find(Handle);
    if (!c) return Fail(BASS_ERROR_HANDLE, 0);
    if (c->Kind == TKind::Music) return Fail(BASS_ERROR_NOTAVAIL, 0);
    if (!SeekChannel(*c, Pos / c->FrameBytes())) return Fail(BASS_ERROR_POSITION, 0);
    return Ok(1);
  });
}

BASS_EXPORT float BASS_ChannelBytes2Seconds(BASS_DWORD Handle, BASS_QWORD Pos) {
  return BassGuarded<float>(-1.0f, [&]() -> float {
    TLibrary& lib = Lib();
    std::lock_guard l(lib.Lock);
    TChannel* c = lib.Find(Handle);
    if (!c) return Fail(BASS_ERROR_HANDLE, -1.0f);
    return Ok(static_cast<float>(static_cast<double>(Pos) / c->FrameBytes() / c->Rate));
  });
}

BASS_EXPORT BASS_QWORD BASS_ChannelSeconds2Bytes(BASS_DWORD Handle, float Pos) {
  return BassGuarded<BASS_QWORD>(~BASS_QWORD{0}, [&]() -> BASS_QWORD {
    TLibrary& lib = Lib();
    std::lock_guard l(lib.Lock);
    TChannel* c = lib.Find(Handle);
    if (!c) return Fail<BASS_QWORD>(BASS_ERROR_HANDLE, ~BASS_QWORD{0});
    if (!(Pos >= 0.0f)) return Fail<BASS_QWORD>(BASS_ERROR_ILLPARAM, ~BASS_QWORD{0});
    return Ok<BASS_QWORD>(static_cast<BASS_QWORD>(static_cast<double>(Pos) * c->Rate) *
                          c->FrameBytes());
  });
}

BASS_EXPORT HSYNC BASS_ChannelSetSync(BASS_DWORD Handle, BASS_DWORD Type, BASS_QWORD Param,
                                      SYNCPROC Proc, void* User) {
  return BassGuarded<HSYNC>(0, [&]() -> HSYNC {
    TLibrary& lib = Lib();
    std::lock_guard l(lib.Lock);
    TChannel* c = lib.Find(Handle);
    if (!c) return Fail<HSYNC>(BASS_ERROR_HANDLE, 0);
    if (Type != BASS_SYNC_END || !Proc) return Fail<HSYNC>(BASS_ERROR_ILLTYPE, 0);
    const HSYNC h = lib.NextHandle++;
    c->Syncs.push_back({h, Proc, User});
    return Ok(h);
  });
}

namespace {

// Removes the sync, DSP or effect Sub from the list Member of channel Handle.
template <class T>
BASS_BOOL RemoveFromChannel(BASS_DWORD Handle, std::vector<T> TChannel::*Member, BASS_DWORD Sub) {
  TLibrary& lib = Lib();
  std::lock_guard l(lib.Lock);
  TChannel* c = lib.Find(Handle);
  if (!c) return Fail(BASS_ERROR_HANDLE, 0);
  std::vector<T>& list = c->*Member;
  auto it = std::find_if(list.begin(), list.end(), [&](const T& x) { return x.Handle == Sub; });
  if (it == list.end()) return Fail(BASS_ERROR_HANDLE, 0);
  list.erase(it);
  return Ok(1);
}

}  // namespace

BASS_EXPORT BASS_BOOL BASS_ChannelRemoveSync(BASS_DWORD Handle, HSYNC Sync) {
  return BassGuarded<BASS_BOOL>(
      0, [&]() -> BASS_BOOL { return RemoveFromChannel(Handle, &TChannel::Syncs, Sync); });
}

BASS_EXPORT HDSP BASS_ChannelSetDSP(BASS_DWORD Handle, DSPPROC Proc, void* User) {
  return BassGuarded<HDSP>(0, [&]() -> HDSP {
    TLibrary& lib = Lib();
    std::lock_guard l(lib.Lock);
    TChannel* c = lib.Find(Handle);
    if (!c) return Fail<HDSP>(BASS_ERROR_HANDLE, 0);
    if (!Proc) return Fail<HDSP>(BASS_ERROR_ILLPARAM, 0);
    const HDSP h = lib.NextHandle++;
    c->Dsps.push_back({h, Proc, User});
    return Ok(h);
  });
}

BASS_EXPORT BASS_BOOL BASS_ChannelRemoveDSP(BASS_DWORD Handle, HDSP Dsp) {
  return BassGuarded<BASS_BOOL>(
      0, [&]() -> BASS_BOOL { return RemoveFromChannel(Handle, &TChannel::Dsps, Dsp); });
}

BASS_EXPORT HFX BASS_ChannelSetFX(BASS_DWORD Handle, BASS_DWORD Type) {
  return BassGuarded<HFX>(0, [&]() -> HFX {
    TLibrary& lib = Lib();
    std::lock_guard l(lib.Lock);
    TChannel* c = lib.Find(Handle);
    if (!c) return Fail<HFX>(BASS_ERROR_HANDLE, 0);
    auto fx = MakeChannelEffect(Type, c->Rate);
    if (!fx) return Fail<HFX>(BASS_ERROR_ILLTYPE, 0);
    const HFX h = lib.NextHandle++;
    c->Fx.push_back({h, std::move(fx)});
    return Ok(h);
  });
}

BASS_EXPORT BASS_BOOL BASS_ChannelRemoveFX(BASS_DWORD Handle, HFX Fx) {
  return BassGuarded<BASS_BOOL>(
      0, [&]() -> BASS_BOOL { return RemoveFromChannel(Handle, &TChannel::Fx, Fx); });
}

BASS_EXPORT BASS_BOOL BASS_FXSetParameters(HFX Handle, const void* Params) {
  return BassGuarded<BASS_BOOL>(0, [&]() -> BASS_BOOL {
    TLibrary& lib = Lib();
    std::lock_guard l(lib.Lock);
    TChannel* c = lib.FindBySub(Handle);
    if (!c || !Params) return Fail(c ? BASS_ERROR_ILLPARAM : BASS_ERROR_HANDLE, 0);
    for (auto& f : c->Fx)
      if (f.Handle == Handle) f.Effect->Set(Params);
    return Ok(1);
  });
}

BASS_EXPORT BASS_BOOL BASS_FXGetParameters(HFX Handle, void* Params) {
  return BassGuarded<BASS_BOOL>(0, [&]() -> BASS_BOOL {
    TLibrary& lib = Lib();
    std::lock_guard l(lib.Lock);
    TChannel* c = lib.FindBySub(Handle);
    if (!c || !Params) return Fail(c ? BASS_ERROR_ILLPARAM : BASS_ERROR_HANDLE, 0);
    for (auto& f : c->Fx)
      if (f.Handle == Handle) f.Effect->Get(Params);
    return Ok(1);
  });
}

BASS_EXPORT BASS_DWORD BASS_ChannelGetData(BASS_DWORD Handle, void* Buffer, BASS_DWORD Length) {
  return BassGuarded<BASS_DWORD>(BASS_DATA_FAILED, [&]() -> BASS_DWORD {
    Catchup();
    TLibrary& lib = Lib();
    std::lock_guard l(lib.Lock);
    TChannel* c = lib.Find(Handle);
    if (!c) return Fail(BASS_ERROR_HANDLE, BASS_DATA_FAILED);
    if (!Buffer) return Fail(BASS_ERROR_ILLPARAM, BASS_DATA_FAILED);
    // What is about to be heard.
    std::vector<int16_t> next;
    {
      std::lock_guard g(TSoundMixer::Instance().Mutex());
      const TMixStream& s = *c->Voice.Stream;
      const size_t n = std::min<size_t>(s.Queued(), 512);
      next.assign(s.Queue.begin() + static_cast<ptrdiff_t>(s.Read),
                  s.Queue.begin() + static_cast<ptrdiff_t>(s.Read + n * 2));
    }
    if (Length == BASS_DATA_FFT512) {
      Fft512(next.data(), next.size() / 2, static_cast<float*>(Buffer));
      return Ok<BASS_DWORD>(kFftBins * sizeof(float));
    }
    if (Length & 0x80000000u) return Fail(BASS_ERROR_ILLPARAM, BASS_DATA_FAILED);
    const size_t bytes = std::min<size_t>(Length & ~3u, next.size() * 2);
    std::memcpy(Buffer, next.data(), bytes);
    return Ok(static_cast<BASS_DWORD>(bytes));
  });
}

BASS_EXPORT BASS_DWORD BASS_ChannelGetLevel(BASS_DWORD Handle) {
  return BassGuarded<BASS_DWORD>(~BASS_DWORD{0}, [&]() -> BASS_DWORD {
    TLibrary& lib = Lib();
    std::lock_guard l(lib.Lock);
    TChannel* c = lib.Find(Handle);
    if (!c) return Fail(BASS_ERROR_HANDLE, ~BASS_DWORD{0});
    std::lock_guard g(TSoundMixer::Instance().Mutex());
    const TMixStream& s = *c->Voice.Stream;
    int l0 = 0, r0 = 0;
    for (size_t i = s.Read; i + 1 < s.Queue.size() && i < s.Read + 1024; i += 2) {
      l0 = std::max(l0, std::abs(static_cast<int>(s.Queue[i])));
      r0 = std::max(r0, std::abs(static_cast<int>(s.Queue[i + 1])));
    }
    return Ok(static_cast<BASS_DWORD>(std::min(l0, 32767) * 128 / 32768 |
                                      (std::min(r0, 32767) * 128 / 32768) << 16));
  });
}

// ---- Names bound but given no job here ------------------------------------
// They exist so a complete binding finds them; each answers "not available".

#define TAL_NOT_AVAILABLE(name, ret, ...)    \
  BASS_EXPORT ret name(__VA_ARGS__) {        \
    return static_cast<ret>(NotAvailable()); \
  }
#define TAL_NOT_AVAILABLE_PTR(name, ret, ...) \
  BASS_EXPORT ret name(__VA_ARGS__) {         \
    NotAvailable();                           \
    return nullptr;                           \
  }

TAL_NOT_AVAILABLE(BASS_SetLogCurves, BASS_BOOL, BASS_BOOL, BASS_BOOL)
TAL_NOT_AVAILABLE(BASS_Set3DAlgorithm, BASS_BOOL, BASS_DWORD)
TAL_NOT_AVAILABLE(BASS_SetVolume, BASS_BOOL, BASS_DWORD)
TAL_NOT_AVAILABLE(BASS_GetVolume, int32_t)
TAL_NOT_AVAILABLE(BASS_Set3DFactors, BASS_BOOL, float, float, float)
TAL_NOT_AVAILABLE(BASS_Get3DFactors, BASS_BOOL, float*, float*, float*)
TAL_NOT_AVAILABLE(BASS_Set3DPosition, BASS_BOOL, const void*, const void*, const void*, const void*)
TAL_NOT_AVAILABLE(BASS_Get3DPosition, BASS_BOOL, void*, void*, void*, void*)
TAL_NOT_AVAILABLE(BASS_Apply3D, BASS_BOOL)
TAL_NOT_AVAILABLE(BASS_SetEAXParameters, BASS_BOOL, int32_t, float, float, float)
TAL_NOT_AVAILABLE(BASS_GetEAXParameters, BASS_BOOL, BASS_DWORD*, float*, float*, float*)
TAL_NOT_AVAILABLE(BASS_MusicPlayEx, BASS_BOOL, HMUSIC, BASS_DWORD, int32_t, BASS_BOOL)
TAL_NOT_AVAILABLE(BASS_MusicSetAmplify, BASS_BOOL, HMUSIC, BASS_DWORD)
TAL_NOT_AVAILABLE(BASS_MusicSetPanSep, BASS_BOOL, HMUSIC, BASS_DWORD)
TAL_NOT_AVAILABLE(BASS_MusicSetPositionScaler, BASS_BOOL, HMUSIC, BASS_DWORD)
TAL_NOT_AVAILABLE(BASS_MusicSetChannelVol, BASS_BOOL, HMUSIC, BASS_DWORD, BASS_DWORD)
TAL_NOT_AVAILABLE(BASS_MusicGetChannelVol, BASS_DWORD, HMUSIC, BASS_DWORD)
TAL_NOT_AVAILABLE(BASS_MusicPreBuf, BASS_BOOL, HMUSIC)
TAL_NOT_AVAILABLE(BASS_SampleLoad, HSAMPLE, BASS_BOOL, const void*, BASS_DWORD, BASS_DWORD,
                  BASS_DWORD, BASS_DWORD)
TAL_NOT_AVAILABLE_PTR(BASS_SampleCreate, void*, BASS_DWORD, BASS_DWORD, BASS_DWORD, BASS_DWORD)
TAL_NOT_AVAILABLE(BASS_SampleCreateDone, HSAMPLE)
TAL_NOT_AVAILABLE(BASS_SampleFree, BASS_BOOL, HSAMPLE)
TAL_NOT_AVAILABLE(BASS_SampleGetInfo, BASS_BOOL, HSAMPLE, void*)
TAL_NOT_AVAILABLE(BASS_SampleSetInfo, BASS_BOOL, HSAMPLE, const void*)
TAL_NOT_AVAILABLE(BASS_SamplePlay, HCHANNEL, HSAMPLE)
TAL_NOT_AVAILABLE(BASS_SamplePlayEx, HCHANNEL, HSAMPLE, BASS_DWORD, int32_t, int32_t, int32_t,
                  BASS_BOOL)
TAL_NOT_AVAILABLE(BASS_SamplePlay3D, HCHANNEL, HSAMPLE, const void*, const void*, const void*)
TAL_NOT_AVAILABLE(BASS_SamplePlay3DEx, HCHANNEL, HSAMPLE, const void*, const void*, const void*,
                  BASS_DWORD, int32_t, int32_t, BASS_BOOL)
TAL_NOT_AVAILABLE(BASS_SampleStop, BASS_BOOL, HSAMPLE)
TAL_NOT_AVAILABLE(BASS_CDInit, BASS_BOOL, const char*, BASS_DWORD)
TAL_NOT_AVAILABLE(BASS_CDFree, BASS_BOOL)
TAL_NOT_AVAILABLE(BASS_CDInDrive, BASS_BOOL)
TAL_NOT_AVAILABLE(BASS_CDPlay, BASS_BOOL, BASS_DWORD, BASS_BOOL, BASS_BOOL)
TAL_NOT_AVAILABLE(BASS_CDGetTracks, BASS_DWORD)
TAL_NOT_AVAILABLE(BASS_CDGetTrackLength, BASS_DWORD, BASS_DWORD)
TAL_NOT_AVAILABLE_PTR(BASS_CDGetID, const char*, BASS_DWORD)
TAL_NOT_AVAILABLE(BASS_CDDoor, BASS_BOOL, BASS_BOOL)
TAL_NOT_AVAILABLE(BASS_ChannelSet3DAttributes, BASS_BOOL, BASS_DWORD, int32_t, float, float,
                  int32_t, int32_t, int32_t)
TAL_NOT_AVAILABLE(BASS_ChannelGet3DAttributes, BASS_BOOL, BASS_DWORD, BASS_DWORD*, float*, float*,
                  BASS_DWORD*, BASS_DWORD*, BASS_DWORD*)
TAL_NOT_AVAILABLE(BASS_ChannelSet3DPosition, BASS_BOOL, BASS_DWORD, const void*, const void*,
                  const void*)
TAL_NOT_AVAILABLE(BASS_ChannelGet3DPosition, BASS_BOOL, BASS_DWORD, void*, void*, void*)
TAL_NOT_AVAILABLE(BASS_ChannelSetEAXMix, BASS_BOOL, BASS_DWORD, float)
TAL_NOT_AVAILABLE(BASS_ChannelGetEAXMix, BASS_BOOL, BASS_DWORD, float*)
TAL_NOT_AVAILABLE(BASS_StreamCreateURL, HSTREAM, const char*, BASS_DWORD, BASS_DWORD, const char*)
TAL_NOT_AVAILABLE(BASS_StreamGetFilePosition, BASS_DWORD, HSTREAM, BASS_DWORD)
TAL_NOT_AVAILABLE(BASS_ChannelSetLink, BASS_BOOL, BASS_DWORD, BASS_DWORD)
TAL_NOT_AVAILABLE(BASS_ChannelRemoveLink, BASS_BOOL, BASS_DWORD, BASS_DWORD)
TAL_NOT_AVAILABLE(BASS_StreamPreBuf, BASS_BOOL, HSTREAM)
TAL_NOT_AVAILABLE_PTR(BASS_StreamGetTags, const char*, HSTREAM, BASS_DWORD)
BASS_EXPORT void BASS_SetCLSID(const void*) {
  NotAvailable();
}
TAL_NOT_AVAILABLE_PTR(BASS_GetDSoundObject, void*, BASS_DWORD)
TAL_NOT_AVAILABLE_PTR(BASS_MusicGetName, const char*, HMUSIC)
TAL_NOT_AVAILABLE_PTR(BASS_RecordGetDeviceDescription, const char*, BASS_DWORD)
TAL_NOT_AVAILABLE(BASS_RecordInit, BASS_BOOL, int32_t)
TAL_NOT_AVAILABLE(BASS_RecordFree, BASS_BOOL)
TAL_NOT_AVAILABLE(BASS_RecordGetInfo, BASS_BOOL, void*)
TAL_NOT_AVAILABLE(BASS_RecordStart, BASS_BOOL, BASS_DWORD, BASS_DWORD, void*, void*)
TAL_NOT_AVAILABLE_PTR(BASS_RecordGetInputName, const char*, int32_t)
TAL_NOT_AVAILABLE(BASS_RecordSetInput, BASS_BOOL, int32_t, BASS_DWORD)
TAL_NOT_AVAILABLE(BASS_RecordGetInput, BASS_DWORD, int32_t)
TAL_NOT_AVAILABLE(BASS_SetNetConfig, BASS_DWORD, BASS_DWORD, BASS_DWORD)
TAL_NOT_AVAILABLE(BASS_ChannelSlideAttributes, BASS_BOOL, BASS_DWORD, int32_t, int32_t, int32_t,
                  BASS_DWORD)
#ifndef TAL_BASS_LACKS_SLIDING
TAL_NOT_AVAILABLE(BASS_ChannelIsSliding, BASS_DWORD, BASS_DWORD)
#endif
