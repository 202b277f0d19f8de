// The plug-in host: loading and unloading, the output emulator's ring over a
// binding the test chooses, and a tone plug-in played end to end through the
// player on the virtual clock.
#include "music/plugin_ctrl.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <numeric>
#include <thread>

#include "music/bass_player.h"
#include "music/music_fixtures.h"
#include "music/player_fixture.h"
#include "music/testplugins/tone_calls.h"
#include "platform/dsound/mixer.h"
#include "platform/win/user.h"

namespace mf = music_fixtures;

namespace {

class HostTest : public PlayerTest {
 protected:
  void UsePluginFolder() { SetProgramFolder(TAL_TEST_PLUGIN_DIR); }
  static std::string Plugins() { return std::string(TAL_TEST_PLUGIN_DIR) + "/Plugins/"; }
  static bool Mapped(const std::string& file) {
    void* h = dlopen((Plugins() + file).c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (h) dlclose(h);
    return h != nullptr;
  }
};

TEST_F(HostTest, LoadAndUnloadAnswerWithTheirCodes) {
  EXPECT_EQ(LoadPlugin("tone.so"), plHostNotReady) << "no host without a ready player";
  TBASSPlayer player(nullptr);
  ASSERT_TRUE(player.AudioReady && HostReady());
  EXPECT_NE(player.HostWindow(), nullptr);
  UsePluginFolder();

  struct TCase {
    std::string Name;
    int Code;
  };
  const TCase loads[] = {
      {"missing.so", plCannotLoad},
      {"in_mp3.dll", plCannotLoad},  // a Windows plug-in cannot load
                                     // here
      {"noexport.so", plNotAPlugin},
      {"nilexport.so", plNotAPlugin},
      {"tone.so", plLoaded},
      {"tone.so", plAlreadyLoaded},
  };
  for (const TCase& c : loads) EXPECT_EQ(LoadPlugin(c.Name), c.Code) << c.Name;
  EXPECT_FALSE(Mapped("noexport.so")) << "a refused library is freed";
  EXPECT_FALSE(Mapped("nilexport.so"));
  EXPECT_EQ(ToneCalls(2), 1) << "Init after loading";

  const int slot = FindPlugin("tone.so");
  ASSERT_EQ(slot, 0);
  const TPluginInfo info = GetPluginInfo(slot);
  EXPECT_EQ(info.Name, "tone.so");
  EXPECT_EQ(info.Version, 0x100);
  EXPECT_EQ(info.Description, "Tone test plug-in");
  EXPECT_EQ(info.FileExtensions, "ton");
  EXPECT_EQ(info.Seekable, 1);
  EXPECT_NE(info.DLLHandle, nullptr);
  In_Module* m = GetPluginModule(slot);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->outMod, &EmulatorModule());
  EXPECT_EQ(m->SAGetMode(), 0);
  EXPECT_EQ(m->VSAGetMode(nullptr, nullptr), 0);
  EXPECT_EQ(m->dsp_isactive(), 0);
  EXPECT_EQ(m->dsp_dosamples(nullptr, 77, 16, 2, 44100), 77);
  EXPECT_EQ(GetPluginModule(-1), nullptr);
  EXPECT_EQ(GetPluginModule(kMaxPlugins), nullptr);
  EXPECT_EQ(GetPluginInfo(5).Name, "");
  EXPECT_EQ(SelectPlugin(5), -1);

  // The same library under seven more names fills the slots; a ninth name is
  // refused before any library is looked for.
  std::string name = "tone.so";
  for (int i = 1; i < kMaxPlugins; ++i) EXPECT_EQ(LoadPlugin(name = "./" + name), plLoaded);
  EXPECT_EQ(LoadPlugin("missing.so"), plNoSlot);

  EXPECT_EQ(UnloadPlugin("nothing.so"), plNotLoaded);
  ASSERT_EQ(SelectPlugin(slot), 0);
  EXPECT_EQ(UnloadPlugin("tone.so"), plInUse);
  EXPECT_EQ(FindPlugin("tone.so"), slot) << "the current plug-in stays";
  // Nothing in the system sends it, but the host window knows it.
  SendMessageA(GetHostWindow(), WM_PluginNotCurrent, 0, 0);
  EXPECT_EQ(CurrentPlugin(), -1);
  EXPECT_EQ(UnloadPlugin("tone.so"), plLoaded);
  EXPECT_EQ(FindPlugin("tone.so"), -1);
  EXPECT_EQ(LoadPlugin("tone.so"), plLoaded) << "a freed slot is taken again";
  EXPECT_EQ(FindPlugin("tone.so"), 0);
}

// ---- The emulator over a binding the test chooses ----------------------------

struct TFakeOut {
  static inline STREAMPROC Proc = nullptr;
  static inline BASS_DWORD CreateFlags = 0, CreateRate = 0, State = BASS_ACTIVE_STOPPED;
  static inline bool CreateFails = false;
  static inline BASS_QWORD Position = 0;
  static inline int Stops = 0, Pauses = 0, Resumes = 0;
  static inline std::vector<int> Plays;  // flush flag of each play
  static inline int32_t Pan = 0, Volumes[3] = {};
  static HSTREAM Create(BASS_DWORD rate, BASS_DWORD flags, STREAMPROC proc, void*) {
    if (CreateFails) return 0;
    CreateRate = rate, CreateFlags = flags, Proc = proc;
    return 0x77;
  }
  static BASS_DWORD IsActive(BASS_DWORD) { return State; }
  static BASS_QWORD GetPosition(BASS_DWORD) { return Position; }
  static BASS_BOOL Stop(BASS_DWORD) { return ++Stops, 1; }
  static BASS_BOOL Pause(BASS_DWORD) { return ++Pauses, 1; }
  static BASS_BOOL Resume(BASS_DWORD) { return ++Resumes, 1; }
  static BASS_BOOL Play(HSTREAM, BASS_BOOL flush, BASS_DWORD) { return Plays.push_back(flush), 1; }
  static BASS_BOOL Free(HSTREAM) { return 1; }
  static BASS_BOOL SetAttributes(BASS_DWORD, int32_t, int32_t, int32_t p) { return Pan = p, 1; }
  static void SetVolumes(int32_t a, int32_t b, int32_t c) {
    Volumes[0] = a, Volumes[1] = b, Volumes[2] = c;
  }
  static void Install() {
    RT_bass::BASS_StreamCreate = &Create;
    RT_bass::BASS_ChannelIsActive = &IsActive;
    RT_bass::BASS_ChannelGetPosition = &GetPosition;
    RT_bass::BASS_ChannelStop = &Stop;
    RT_bass::BASS_ChannelPause = &Pause;
    RT_bass::BASS_ChannelResume = &Resume;
    RT_bass::BASS_StreamPlay = &Play;
    RT_bass::BASS_StreamFree = &Free;
    RT_bass::BASS_ChannelSetAttributes = &SetAttributes;
    RT_bass::BASS_SetGlobalVolumes = &SetVolumes;
  }
};

class EmulatorTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    TFakeOut::Install();
    TWindowParams params;
    params.MessageOnly = true;
    player_ = CreateWindowHandle(params, [this](HWND, UINT m, WPARAM w, LPARAM l) -> LRESULT {
      Posted.push_back({m, w, l});
      return 0;
    });
    SetPlayerWindow(player_);
    ASSERT_TRUE(HostInit());
  }
  void TearDown() override {
    HostShutdown();
    SetPlayerWindow(nullptr);
    DestroyWindow(player_);
    HostTest::TearDown();
  }
  int32_t Write(size_t n, uint8_t first = 0) {
    std::vector<char> b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<char>(first + i);
    return Out.Write(b.data(), static_cast<int32_t>(n));
  }
  std::vector<uint8_t> Read(size_t n) {
    std::vector<uint8_t> b(n);
    b.resize(TFakeOut::Proc(0x77, b.data(), static_cast<BASS_DWORD>(n), nullptr));
    return b;
  }
  struct TPost {
    UINT Msg;
    WPARAM W;
    LPARAM L;
  };
  std::vector<TPost> Posted;
  HWND player_ = nullptr;
  Out_Module& Out = EmulatorModule();
};

TEST_F(EmulatorTest, OpenChoosesTheStreamAndThePrebuffer) {
  EXPECT_EQ(Out.GetOutputTime(), 0) << "before any open: the offset, no division by zero";
  EXPECT_EQ(Out.version, 0x10);
  EXPECT_STREQ(Out.description, "BASS Winamp output plug-in emulator");
  EXPECT_EQ(Out.id, 65537);
  struct TCase {
    int32_t Rate, Channels, Bits;
    BASS_DWORD Flags;
    int32_t Prebuffer;
  };
  const TCase cases[] = {
      {44100, 2, 16, 0, 35280},
      {22050, 1, 8, BASS_SAMPLE_8BITS | BASS_SAMPLE_MONO, 4410},
      {48000, 1, 16, BASS_SAMPLE_MONO, 19200},
  };
  for (const TCase& c : cases) {
    Posted.clear();
    ASSERT_EQ(Out.Open(c.Rate, c.Channels, c.Bits, -1, -1), 0);
    EXPECT_EQ(TFakeOut::CreateRate, static_cast<BASS_DWORD>(c.Rate));
    EXPECT_EQ(TFakeOut::CreateFlags, c.Flags);
    EXPECT_EQ(EmulatorState().PrebufferBytes, c.Prebuffer);
    Application->ProcessMessages();
    ASSERT_EQ(Posted.size(), 1u);
    EXPECT_EQ(Posted[0].Msg, WM_SetChannel);
    EXPECT_EQ(Posted[0].W, 0x77u);
  }
  TFakeOut::CreateFails = true;
  EXPECT_EQ(Out.Open(44100, 2, 16, -1, -1), -1);
  TFakeOut::CreateFails = false;
  EXPECT_EQ(Out.Open(44100, 2, 24, -1, -1), -1) << "a format the stream cannot carry";
  EmulatorModule().Quit();
  EXPECT_EQ(Out.Open(44100, 2, 16, -1, -1), -1) << "host not ready";
}

TEST_F(EmulatorTest, TheRingKeepsOneByteFreeWrapsAndStartsAfter400ms) {
  ASSERT_EQ(Out.Open(44100, 2, 16, -1, -1), 0);
  EXPECT_EQ(Out.CanWrite(), 88199);
  // A write of exactly the free space is refused, at once; the box comes from
  // the host window.
  EXPECT_EQ(Write(88200), 1);
  EXPECT_EQ(EmulatorState().WritePos, 0u);
  Application->ProcessMessages();
  const auto boxes = TakeRecordedMessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].Caption + ": " + boxes[0].Text, "Error: Write error : No Space");
  EXPECT_EQ(boxes[0].Type & MB_TYPEMASK, static_cast<UINT>(MB_OKCANCEL));

  // Pre-buffering: 200 ms is 35,280 bytes; output starts at twice that.
  Posted.clear();
  EXPECT_EQ(Write(35280), 0);
  EXPECT_EQ(Write(70559 - 35280), 0);
  EXPECT_TRUE(EmulatorState().Prebuffering);
  EXPECT_EQ(Write(1), 0);
  EXPECT_FALSE(EmulatorState().Prebuffering);
  Application->ProcessMessages();
  EXPECT_EQ(TFakeOut::Plays, std::vector<int>{0}) << "the host window starts the stream";
  ASSERT_EQ(Posted.size(), 1u);
  EXPECT_EQ(Posted[0].Msg, WM_PluginStartPlay);
  TPluginStartRecord rec;
  std::memcpy(&rec, reinterpret_cast<const void*>(Posted[0].L), sizeof(rec));
  const uint16_t bits = rec.BitsPerSample, channels = rec.Channels;
  const uint32_t rate = rec.SampleRate;
  EXPECT_EQ(bits, 16);
  EXPECT_EQ(rate, 44100u);
  EXPECT_EQ(channels, 2);

  // Reads and writes across the end of the ring keep the bytes in order.
  std::vector<uint8_t> all = Read(70560);
  ASSERT_EQ(all.size(), 70560u);
  EXPECT_EQ(all[70558], static_cast<uint8_t>(35278));
  EXPECT_EQ(all[35281], 1);
  EXPECT_EQ(Write(40000, 7), 0);
  EXPECT_EQ(EmulatorState().WritePos, 70560u + 40000 - 88200);
  const auto wrapped = Read(40000);
  ASSERT_EQ(wrapped.size(), 40000u);
  for (size_t i = 0; i < wrapped.size(); i += 997)
    EXPECT_EQ(wrapped[i], static_cast<uint8_t>(7 + i)) << i;
  // An empty ring gives what it has once the input has ended.
  SendMessageA(GetHostWindow(), WM_PluginEOF, 0, 0);
  EXPECT_TRUE(Read(4096).empty());
  EXPECT_EQ(Out.CanWrite(), 88199);
}

TEST_F(EmulatorTest, FlushPauseVolumeAndPan) {
  ASSERT_EQ(Out.Open(44100, 2, 16, -1, -1), 0);
  Write(1000);
  // Paused and no seek under way: a flush changes nothing.
  TFakeOut::State = BASS_ACTIVE_PAUSED;
  Out.Flush(5000);
  EXPECT_EQ(EmulatorState().WritePos, 1000u);
  EXPECT_EQ(TFakeOut::Stops, 0);
  MarkSeek();
  Out.Flush(5000);
  EXPECT_EQ(EmulatorState().WritePos, 0u);
  EXPECT_FALSE(EmulatorState().SeekPending);

  // Flush to 30,000 ms while playing, then 176,400 bytes (1 s) heard.
  TFakeOut::State = BASS_ACTIVE_PLAYING;
  Out.Flush(30000);
  const TEmulatorState s = EmulatorState();
  EXPECT_TRUE(s.Prebuffering);
  EXPECT_EQ(s.TimeOffset, 30000);
  EXPECT_EQ(s.WrittenBytes, 0u);
  TFakeOut::Position = 176400;
  EXPECT_EQ(Out.GetOutputTime(), 31000);
  Write(17640);
  EXPECT_EQ(Out.GetWrittenTime(), 30100);

  struct TPan {
    int32_t In, Out;
  };
  for (const TPan& p : {TPan{128, 100}, TPan{-128, -100}, TPan{0, 0}, TPan{64, 50}}) {
    Out.SetPan(p.In);
    EXPECT_EQ(TFakeOut::Pan, p.Out) << p.In;
  }
  for (const TPan& v : {TPan{255, 100}, TPan{0, 0}, TPan{128, 50}, TPan{-3, 99}}) {
    Out.SetVolume(v.In);
    EXPECT_EQ(TFakeOut::Volumes[0], v.Out) << v.In;
    EXPECT_EQ(TFakeOut::Volumes[1], v.Out);
    EXPECT_EQ(TFakeOut::Volumes[2], v.Out);
  }

  // Pause answers the earlier state.
  TFakeOut::Plays.clear();
  TFakeOut::State = BASS_ACTIVE_PLAYING;
  EXPECT_EQ(Out.Pause(1), 0);
  EXPECT_EQ(TFakeOut::Pauses, 1);
  TFakeOut::State = BASS_ACTIVE_PAUSED;
  EXPECT_EQ(Out.Pause(0), 1);
  EXPECT_EQ(TFakeOut::Resumes, 1);
  EXPECT_TRUE(EmulatorState().Resumed);
  TFakeOut::State = BASS_ACTIVE_STOPPED;
  EXPECT_EQ(Out.Pause(0), 0);
  EXPECT_EQ(TFakeOut::Plays, std::vector<int>{1}) << "restarted with a flush";
  EXPECT_EQ(Out.IsPlaying(), 0);

  Out.Config(nullptr);
  Out.About(nullptr);
  EXPECT_EQ(TakeBoxes(), (std::vector<std::string>{
                             "Confirm: No configuration is needed.",
                             "Confirm: This is a Winamp output plug-in emulator using BASS"}));
  EXPECT_EQ(SendMessageA(GetHostWindow(), 17, 0, 0), 1);
}

// ---- End to end: the player, the tone plug-in, the library's stream -------------

class PluginPlayTest : public HostTest {
 protected:
  // Lets Ms of virtual time pass in 10 ms steps, each once the plug-in has
  // buffered what the step will play: its thread runs on the real clock.
  void Play(uint32_t Ms) {
    for (uint32_t t = 0; t < Ms; t += 10) {
      HostAwaitOutput(10);
      HeadlessAdvance(10);
      Application->ProcessMessages();
      ProcAs<BASS_BOOL (*)()>(RT_bass::BASS_Update)();
    }
  }
  // Rising zero crossings per second of the left channel.
  static double Pitch(const std::vector<int16_t>& c) {
    int crossings = 0;
    for (size_t i = 2; i < c.size(); i += 2) crossings += c[i - 2] < 0 && c[i] >= 0;
    return c.size() < 4 ? 0 : crossings * 44100.0 / (c.size() / 2);
  }
};

TEST_F(PluginPlayTest, AToneFilePlaysSeeksAndEndsThroughThePlugIn) {
  auto player = std::make_unique<TBASSPlayer>(nullptr);
  ASSERT_TRUE(player->AudioReady);
  UsePluginFolder();
  ASSERT_EQ(LoadPlugin("tone.so"), plLoaded);
  const std::string file = mf::TempDir() + "/song.ton";
  std::ofstream(file) << "TON 44100 2 16 1000 1500\n";
  int ends = 0, starts = 0;
  player->OnPlayEnd = [&](TObject*) { ++ends; };
  player->OnPluginStartPlay = [&](TObject*, uint16_t ch, uint32_t rate) {
    ++starts;
    EXPECT_EQ(ch, 2);
    EXPECT_EQ(rate, 44100u);
  };

  ASSERT_TRUE(player->OpenFile(file)) << ::testing::PrintToString(TakeBoxes());
  EXPECT_EQ(player->SupportKind(), fsPlugin);
  EXPECT_EQ(player->ChannelKind(), ckPlugin);
  EXPECT_EQ(player->StreamInfo().Duration, 1500u);
  EXPECT_EQ(player->StreamInfo().Title, "song.ton");
  EXPECT_EQ(player->GetPlaybackLength(), 1500u);
  EXPECT_EQ(player->GetPlaybackPosition(), 0u);

  player->Play();
  ASSERT_EQ(player->PlayState(), psPlaying);
  TakeHeadlessAudio();
  EXPECT_TRUE(player->PluginOutputStarted());
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(player->Channel(), EmulatorState().EmuStream);
  EXPECT_GT(player->GetPlaybackPosition(), 200u);
  Play(200);
  const auto first = TakeHeadlessAudio();
  EXPECT_NEAR(Pitch(first), 1000, 30) << "the plug-in's tone is heard";
  const uint32_t before = player->GetPlaybackPosition();
  EXPECT_GT(before, 400u);
  EXPECT_LT(before, 900u);

  // A seek flushes the output, which restarts from the new time.
  player->SetPlaybackPosition(1000);
  EXPECT_FALSE(player->Busy());
  EXPECT_EQ(starts, 2) << "the output restarted";
  EXPECT_EQ(EmulatorState().TimeOffset, 1000);
  const uint32_t after = player->GetPlaybackPosition();
  EXPECT_GE(after, 1000u);
  EXPECT_LT(after, 1400u);
  EXPECT_EQ(ends, 0);

  // The end: the plug-in says so, the ring drains, the player stops.
  TakeHeadlessAudio();
  for (int i = 0; i < 300 && ends == 0; ++i) Play(10);
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(player->PlayState(), psStopped);
  EXPECT_EQ(player->Channel(), 0u);
  EXPECT_EQ(EmulatorState().EmuStream, 0u) << "the plug-in closed its output";
  const auto rest = TakeHeadlessAudio();
  size_t loud = 0;
  for (size_t i = 0; i < rest.size(); i += 2) loud += std::abs(rest[i]) > 1000;
  // What was left after the seek, give or take what the flush caught.
  EXPECT_GT(loud, 44100 * 0.2);
  EXPECT_LT(loud, 44100 * 0.6);
  player.reset();
  EXPECT_EQ(ToneCalls(3), -1) << "unloaded with the host";
}

// ---- Library calls the player binds but never makes ---------------------------

// A device that never plays: the library's own thread feeds it its buffer
// length ahead, and nothing is taken out.
class TIdleDevice : public TAudioOutput {};

// A user stream's source of silence, counting the bytes it gave.
BASS_DWORD GiveSilence(HSTREAM, void* buf, BASS_DWORD len, void* user) {
  std::memset(buf, 0, len);
  static_cast<std::atomic<uint64_t>*>(user)->fetch_add(len);
  return len;
}

void CountSync(HSYNC, BASS_DWORD, BASS_DWORD, void* user) {
  ++*static_cast<int*>(user);
}

TEST_F(HostTest, OutputControlsLevelsSyncsAndOutputTimesDoTheirJobs) {
  TBASSPlayer player(nullptr);
  ASSERT_TRUE(player.AudioReady);
  using namespace RT_bass;
  const auto pause = ProcAs<BASS_BOOL (*)()>(BASS_Pause);
  const auto stop = ProcAs<BASS_BOOL (*)()>(BASS_Stop);
  const auto cpu = ProcAs<float (*)()>(BASS_GetCPU);
  const auto setBuffer = ProcAs<BASS_DWORD (*)(float)>(BASS_SetBufferLength);
  const auto describe = ProcAs<const char* (*)(int32_t)>(BASS_GetDeviceDescription);
  const auto level = ProcAs<BASS_DWORD (*)(BASS_DWORD)>(BASS_ChannelGetLevel);
  const auto removeSync = ProcAs<BASS_BOOL (*)(BASS_DWORD, HSYNC)>(BASS_ChannelRemoveSync);

  // A second of a 1 kHz tone at half of full scale on the left, a quarter
  // on the right.
  std::vector<int16_t> tone = mf::Tone(1.0, 1000);
  for (size_t i = 1; i < tone.size(); i += 2) tone[i] = static_cast<int16_t>(tone[i] / 2);
  const std::string wav = mf::WriteBytes("calls.wav", mf::WavBytes(tone));
  const auto open = [&] { return BASS_StreamCreateFile(FALSE, wav.c_str(), 0, 0, 0); };
  // Frames heard so far; asking brings the library up to the clock.
  const auto heard = [&](HSTREAM h) { return BASS_ChannelGetPosition(h) / 4; };
  const auto silent = [](const std::vector<int16_t>& s) {
    return std::all_of(s.begin(), s.end(), [](int16_t x) { return x == 0; });
  };

  const struct {
    const char* Call;
    std::function<void()> Check;
  } rows[] = {
      {"BASS_Pause: a paused output plays nothing and moves no position until started",
       [&] {
         const HSTREAM h = open();
         ASSERT_TRUE(BASS_StreamPlay(h, FALSE, 0));
         HeadlessAdvance(100);
         EXPECT_EQ(heard(h), 4410u);
         ASSERT_TRUE(pause());
         EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_PAUSED);
         TakeHeadlessAudio();
         HeadlessAdvance(300);
         EXPECT_EQ(heard(h), 4410u);
         EXPECT_TRUE(silent(TakeHeadlessAudio()));
         ASSERT_TRUE(BASS_Start());
         EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_PLAYING) << "what the pause held plays on";
         HeadlessAdvance(100);
         EXPECT_EQ(heard(h), 8820u);
         EXPECT_TRUE(BASS_StreamFree(h));
       }},
      {"BASS_Stop: a stopped output stops its channels, which a start leaves stopped",
       [&] {
         const HSTREAM h = open();
         ASSERT_TRUE(BASS_StreamPlay(h, FALSE, 0));
         HeadlessAdvance(100);
         ASSERT_TRUE(stop());
         EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_STOPPED);
         HeadlessAdvance(300);
         EXPECT_EQ(heard(h), 4410u);
         EXPECT_FALSE(BASS_StreamPlay(h, FALSE, 0));
         EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_START);
         ASSERT_TRUE(BASS_Start());
         EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_STOPPED);
         ASSERT_TRUE(BASS_StreamPlay(h, FALSE, 0));
         HeadlessAdvance(100);
         EXPECT_EQ(heard(h), 8820u) << "played on from where it stopped";
         EXPECT_TRUE(BASS_StreamFree(h));
       }},
      {"BASS_GetCPU: decoding takes some of the time played, none while nothing plays",
       [&] {
         const HSTREAM h = open();
         ASSERT_TRUE(BASS_StreamPlay(h, FALSE, 0));
         HeadlessAdvance(100);
         heard(h);
         EXPECT_GT(cpu(), 0.0f);
         EXPECT_LE(cpu(), 100.0f);
         ASSERT_TRUE(BASS_ChannelStop(h));
         HeadlessAdvance(100);
         heard(h);
         EXPECT_EQ(cpu(), 0.0f);
         EXPECT_TRUE(BASS_StreamFree(h));
       }},
      {"BASS_GetDeviceDescription: names the one device, and no other",
       [&] {
         ASSERT_NE(describe(1), nullptr);
         EXPECT_STREQ(describe(1), "Default");
         EXPECT_EQ(describe(2), nullptr);
         EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DEVICE);
       }},
      {"BASS_ChannelGetAttributes: the rate, volume and pan in force",
       [&] {
         const HSTREAM h = open();
         BASS_DWORD freq = 0, volume = 0;
         int32_t pan = 1;
         ASSERT_TRUE(BASS_ChannelGetAttributes(h, &freq, &volume, &pan));
         EXPECT_EQ(freq, 44100u);
         EXPECT_EQ(volume, 100u);
         EXPECT_EQ(pan, 0);
         ASSERT_TRUE(BASS_ChannelSetAttributes(h, 22050, 40, -30));
         ASSERT_TRUE(BASS_ChannelSetAttributes(h, -1, -1, 101));  // each left as it is
         ASSERT_TRUE(BASS_ChannelGetAttributes(h, &freq, &volume, &pan));
         EXPECT_EQ(freq, 22050u);
         EXPECT_EQ(volume, 40u);
         EXPECT_EQ(pan, -30);
         ASSERT_TRUE(BASS_StreamPlay(h, FALSE, 0));
         HeadlessAdvance(100);
         EXPECT_EQ(heard(h), 2205u) << "at half the rate, half the file";
         EXPECT_FALSE(BASS_ChannelGetAttributes(0x7777, &freq, &volume, &pan));
         EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
         EXPECT_TRUE(BASS_StreamFree(h));
       }},
      {"BASS_ChannelGetLevel: the peaks of the tone about to be heard, 0 to 128 a side",
       [&] {
         const HSTREAM h = open();
         EXPECT_EQ(level(h), 0u) << "nothing decoded yet";
         ASSERT_TRUE(BASS_StreamPlay(h, FALSE, 0));
         HeadlessAdvance(50);
         heard(h);
         const BASS_DWORD l = level(h);
         EXPECT_NEAR(static_cast<int>(l & 0xFFFF), 64, 1);
         EXPECT_NEAR(static_cast<int>(l >> 16), 32, 1);
         HeadlessAdvance(1100);
         ASSERT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_STOPPED);
         EXPECT_EQ(level(h), 0u) << "the tone has ended";
         EXPECT_TRUE(BASS_StreamFree(h));
       }},
      {"BASS_ChannelRemoveSync: a removed sync no longer fires, the others do",
       [&] {
         const HSTREAM h = open();
         int removed = 0, kept = 0;
         const HSYNC a = BASS_ChannelSetSync(h, BASS_SYNC_END, 0, &CountSync, &removed);
         ASSERT_NE(BASS_ChannelSetSync(h, BASS_SYNC_END, 0, &CountSync, &kept), 0u);
         ASSERT_TRUE(removeSync(h, a));
         EXPECT_FALSE(removeSync(h, a));
         EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
         ASSERT_TRUE(BASS_StreamPlay(h, FALSE, 0));
         HeadlessAdvance(1100);
         ASSERT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_STOPPED);
         EXPECT_EQ(removed, 0);
         EXPECT_EQ(kept, 1);
         EXPECT_TRUE(BASS_StreamFree(h));
       }},
      {"BASS_SetBufferLength: how far ahead of a device the library decodes",
       [&] {
         EXPECT_EQ(setBuffer(0.001f), 50u) << "at least 50 ms";
         EXPECT_EQ(setBuffer(60.0f), 5000u) << "at most 5 s";
         EXPECT_EQ(setBuffer(NAN), 5000u) << "nothing to go by: unchanged";
         TSoundMixer::Instance().SetOutput(std::make_unique<TIdleDevice>());
         std::atomic<uint64_t> given{0};
         const HSTREAM h = BASS_StreamCreate(44100, 0, &GiveSilence, &given);
         ASSERT_NE(h, 0u);
         for (const float secs : {0.2f, 1.0f}) {
           SCOPED_TRACE(secs);
           EXPECT_EQ(setBuffer(secs), static_cast<BASS_DWORD>(secs * 1000));
           ASSERT_TRUE(BASS_StreamPlay(h, FALSE, 0));
           const uint64_t lead = static_cast<uint64_t>(secs * 44100) * 4;
           // The library's thread runs on the real clock.
           const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
           while (given < lead && std::chrono::steady_clock::now() < deadline)
             std::this_thread::sleep_for(std::chrono::milliseconds(5));
           std::this_thread::sleep_for(std::chrono::milliseconds(50));
           EXPECT_GE(given, lead);
           EXPECT_LT(given, lead + 2048 * 4) << "no more than a block past it";
         }
         EXPECT_TRUE(BASS_StreamFree(h));
         EXPECT_EQ(setBuffer(0.333f), 333u);
         HeadlessInstallAudio();
       }},
      {"HostOutputTime: the emulator's time heard, or the current plug-in's",
       [&] {
         Out_Module& out = EmulatorModule();
         const auto write = [&] {
           // Past the pre-buffer, so the host window starts the stream.
           std::vector<char> pcm(70564, 0);
           ASSERT_EQ(out.Write(pcm.data(), static_cast<int32_t>(pcm.size())), 0);
           Application->ProcessMessages();
         };
         ASSERT_EQ(out.Open(44100, 2, 16, -1, -1), 0);
         write();
         EXPECT_EQ(HostOutputTime(true), 0);
         HeadlessAdvance(100);
         EXPECT_EQ(HostOutputTime(true), 100);
         out.Flush(30000);  // as a seek to 30 s does
         EXPECT_EQ(HostOutputTime(true), 30000);
         write();
         HeadlessAdvance(100);
         EXPECT_EQ(HostOutputTime(true), 30100);
         EXPECT_EQ(HostOutputTime(false), 0) << "no current plug-in";
         UsePluginFolder();
         ASSERT_EQ(LoadPlugin("tone.so"), plLoaded);
         ASSERT_EQ(SelectPlugin(FindPlugin("tone.so")), 0);
         // The tone plug-in reports its output's time.
         EXPECT_EQ(HostOutputTime(false), 30100);
         out.Close();
       }},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.Call);
    r.Check();
  }
}

}  // namespace

namespace {

struct TAlwaysPlaying {
  static BASS_DWORD IsActive(BASS_DWORD) { return BASS_ACTIVE_PLAYING; }
};

TEST_F(HostTest, TheEndWaitGivesUpAfterTheRingsLengthAndASecond) {
  TBASSPlayer player(nullptr);
  ASSERT_TRUE(player.AudioReady);
  int ends = 0;
  player.OnPlayEnd = [&](TObject*) { ++ends; };
  TPluginStartRecord rec{16, 44100, 2};
  PostMessageA(player.MessageWindow(), WM_PluginStartPlay, 0, reinterpret_cast<LPARAM>(&rec));
  Application->ProcessMessages();
  ASSERT_TRUE(player.PluginOutputStarted());
  // An output that never stops playing.
  RT_bass::BASS_ChannelIsActive = &TAlwaysPlaying::IsActive;
  const uint32_t start = timeGetTime();
  SendMessageA(GetHostWindow(), WM_PluginEOF, 0, 0);
  Application->ProcessMessages();
  EXPECT_EQ(ends, 1);
  const uint32_t waited = timeGetTime() - start;
  EXPECT_GE(waited, 1500u) << "half a second of ring, and a second";
  EXPECT_LT(waited, 1700u);
}

TEST_F(HostTest, APlayerFreedWhileAPlugInPlaysClosesItsOutputFirst) {
  auto player = std::make_unique<TBASSPlayer>(nullptr);
  ASSERT_TRUE(player->AudioReady);
  SetProgramFolder(TAL_TEST_PLUGIN_DIR);
  ASSERT_EQ(LoadPlugin("tone.so"), plLoaded);
  const std::string file = mf::TempDir() + "/long.ton";
  std::ofstream(file) << "TON 22050 1 8 440 60000\n";
  // Played behind the player's back: only the host's shut-down stops it,
  // through the plug-in's Quit, which closes the emulator's stream.
  In_Module* m = GetPluginModule(0);
  ASSERT_EQ(m->Play(const_cast<char*>(file.c_str())), 0);
  ASSERT_NE(EmulatorState().EmuStream, 0u);
  EXPECT_EQ(EmulatorState().PrebufferBytes, 22050 * 2 / 10);
  player.reset();
  EXPECT_EQ(EmulatorState().EmuStream, 0u);
  EXPECT_FALSE(HostReady());
}

}  // namespace
