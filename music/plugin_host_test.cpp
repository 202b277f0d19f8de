// The plug-in host: loading and unloading, the output emulator's ring over a
// binding the test chooses, and a tone plug-in played end to end through the
// player on the virtual clock.
#include "music/plugin_ctrl.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <numeric>

#include "music/bass_player.h"
#include "music/music_fixtures.h"
#include "music/player_fixture.h"
#include "music/testplugins/tone_calls.h"
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
