// The player over the real audio library on the headless device, and over a
// binding whose answers the test chooses.
#include "music/bass_player.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <mpg123.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>

#include "framework/forms.h"
#include "music/music_fixtures.h"
#include "music/player_fixture.h"
#include "music/rt_bass.h"
#include "platform/backend/headless/headless_audio.h"
#include "platform/backend/headless/headless_core.h"
#include "platform/win/library.h"
#include "platform/win/user.h"

namespace mf = music_fixtures;

namespace {

// The game's music-loop step, run by a 50 ms window timer: near the end, seek
// back to 25 ms; a player the end sync stopped (the timer missed the window)
// is started again.
struct TGameLoop {
  TBASSPlayer& Player;
  HWND Window = nullptr;
  std::vector<std::pair<uint32_t, uint32_t>> Seeks;  // (time, position before)
  std::vector<uint32_t> After;                       // position right after
  explicit TGameLoop(TBASSPlayer& P) : Player(P) {
    TWindowParams params;
    params.MessageOnly = true;
    Window = CreateWindowHandle(params, [this](HWND, UINT m, WPARAM, LPARAM) -> LRESULT {
      if (m == WM_TIMER) Step();
      return 0;
    });
    SetTimer(Window, 1, 50);
  }
  ~TGameLoop() { DestroyWindow(Window); }
  void Step() {
    const uint32_t pos = Player.GetPlaybackPosition();
    if (pos >= Player.GetPlaybackLength() - 55) {
      Seeks.push_back({timeGetTime(), pos});
      Player.SetPlaybackPosition(25);
      After.push_back(Player.GetPlaybackPosition());
    }
    if (Player.PlayState() == psStopped) Player.Play();
  }
};

double Rms(const int16_t* s, size_t n) {
  double sum = 0;
  for (size_t i = 0; i < n; ++i) sum += static_cast<double>(s[i]) * s[i];
  return n ? std::sqrt(sum / n) : 0;
}

// The longest run of silent frames in a capture.
size_t LongestSilence(const std::vector<int16_t>& c) {
  size_t best = 0, run = 0;
  for (size_t i = 0; i + 1 < c.size(); i += 2) {
    run = (std::abs(c[i]) < 4 && std::abs(c[i + 1]) < 4) ? run + 1 : 0;
    best = std::max(best, run);
  }
  return best;
}

TEST_F(PlayerTest, GameMusicPlaysOnTheHeadlessDeviceAndLoops) {
  auto player = std::make_unique<TBASSPlayer>(nullptr);
  ASSERT_TRUE(player->AudioReady);
  EXPECT_EQ(player->BASSDLLVer(), "1.8");
  EXPECT_TRUE(player->DX8EffectReady());
  EXPECT_TRUE(player->WMAReady());
  const int musicLevel = 5;
  player->SetVolume(musicLevel * 10);
  // The form's OpenMusic: open, then play whatever the open gave.
  player->OpenFile("music\\menu.mp3");
  player->Play();
  ASSERT_EQ(player->PlayState(), psPlaying) << ::testing::PrintToString(TakeBoxes());
  EXPECT_EQ(player->CurrentFile(), "music\\menu.mp3");
  EXPECT_EQ(player->StreamInfo().Title, "Menu");
  const uint32_t length = player->GetPlaybackLength();
  EXPECT_NEAR(length, 24000, 60);
  TakeHeadlessAudio();

  // The position follows the clock.
  TGameLoop loop(*player);
  Run(1000);
  const std::vector<int16_t> first = TakeHeadlessAudio();
  EXPECT_NEAR(player->GetPlaybackPosition(), 1000, 70);

  // What was heard is the file at half level (MusicLevel × 10 of 100).
  const std::vector<int16_t> ref = mf::DecodeMp3("music/menu.mp3", 0, 44100);
  const size_t got = ref.size() * 2;
  ASSERT_GT(got, 0u);
  const size_t n = std::min(first.size(), got / 2) - 4410 * 2;
  ASSERT_GT(n, 44100u);
  EXPECT_NEAR(Rms(first.data(), n) / Rms(ref.data(), n), 0.5, 0.02);

  // Each loop seeks back: the music keeps playing past its length.
  Run(60000);
  EXPECT_GE(loop.Seeks.size(), 2u);
  for (auto [t, pos] : loop.Seeks) EXPECT_GE(pos + 55, length);
  EXPECT_EQ(player->PlayState(), psPlaying);
  EXPECT_LT(player->GetPlaybackPosition(), length);
  EXPECT_LT(LongestSilence(TakeHeadlessAudio()), 44100u / 16);
  player->StopZerIdiput();
  player.reset();
  EXPECT_EQ(TakeBoxes(), std::vector<std::string>());
  EXPECT_EQ(RT_bass::BASSHandle, nullptr);
  EXPECT_EQ(RT_bass::BASS_Init, nullptr);
}

TEST_F(PlayerTest, LoopNeverStopsLongerThanATickWhateverThePhase) {
  const std::string path = mf::WriteBytes("two.wav", mf::WavBytes(mf::Tone(2.0, 440)));
  int stalls = 0;
  for (uint32_t phase = 0; phase < 63; phase += 3) {
    SCOPED_TRACE(phase);
    auto player = std::make_unique<TBASSPlayer>(nullptr);
    ASSERT_TRUE(player->AudioReady);
    player->SetVolume(100);
    player->OnPlayEnd = [&](TObject*) { ++stalls; };
    TGameLoop loop(*player);
    Run(1);  // on a timer tick
    HeadlessAdvance(phase);
    ASSERT_TRUE(player->OpenFile(path));
    player->Play();
    TakeHeadlessAudio();
    Run(7000);
    const std::vector<int16_t> heard = TakeHeadlessAudio();
    EXPECT_GE(loop.Seeks.size(), 3u);
    // At most one timer period (4 ticks of the platform's 15.625 ms) of
    // silence, plus the few frames of a wrap.
    EXPECT_LE(LongestSilence(heard), 44100u * 625 / 10000 + 64);
    const uint32_t pos = player->GetPlaybackPosition();
    EXPECT_LT(pos, 2000u);
    for (uint32_t after : loop.After) EXPECT_NEAR(after, 25, 2) << "wraps to about 25 ms";
  }
  EXPECT_GT(stalls, 0) << "some phase must miss the window, or this shows nothing";
}

// ---- Readiness over a binding the test chooses ----------------------------

struct TFake {
  static inline BASS_DWORD Version = 0x80001;
  static inline bool InitOk = true, StartOk = true;
  static inline BASS_DWORD DsVer = 8;
  static inline int32_t Error = 0;
  static BASS_DWORD GetVersion() { return Version; }
  static BASS_BOOL Init(int32_t, BASS_DWORD, BASS_DWORD, void*) { return InitOk; }
  static BASS_BOOL Start() { return StartOk; }
  static BASS_BOOL Free() { return 1; }
  static BASS_BOOL GetInfo(BASS_INFO* i) {
    i->dsver = DsVer;
    return 1;
  }
  static int32_t ErrorGetCode() { return Error; }
};

TEST_F(PlayerTest, ReadinessFollowsTheLibrarysAnswers) {
  struct TCase {
    const char* Name;
    BASS_DWORD Version;
    bool InitOk, StartOk;
    BASS_DWORD DsVer;
    int32_t Error;
    bool Ready;
    const char* Ver;
    std::vector<std::string> Boxes;
  };
  const TCase cases[] = {
      {"1.8", 0x80001, true, true, 8, 0, true, "1.8", {}},
      {"version 0x80000",
       0x80000,
       true,
       true,
       8,
       3,
       false,
       "",
       {"Error: BASS version is not 1.8 or higher\r\n(error code: 3)"}},
      {"no device, code -1",
       0x80001,
       false,
       true,
       8,
       -1,
       false,
       "",
       {"Error: Can't initialize device\r\n(error code: 4294967295)"}},
      {"start fails", 0x80001, true, false, 8, 9, false, "", {}},
      {"DirectSound 7",
       0x80001,
       true,
       true,
       7,
       0,
       true,
       "1.8",
       {"Warning: DirectX Ver 8 are not installed.\r\nSound effects except flanger are disabled."}},
      {"high word 9", 0x90002, true, true, 8, 0, true, "2.9", {}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    ASSERT_TRUE(RT_bass::LoadBASS(ProgramFolder(), "bass.dll"));
    TFake::Version = c.Version;
    TFake::InitOk = c.InitOk;
    TFake::StartOk = c.StartOk;
    TFake::DsVer = c.DsVer;
    TFake::Error = c.Error;
    RT_bass::BASS_GetVersion = &TFake::GetVersion;
    RT_bass::BASS_Init = &TFake::Init;
    RT_bass::BASS_Start = &TFake::Start;
    RT_bass::BASS_Free = &TFake::Free;
    RT_bass::BASS_GetInfo = &TFake::GetInfo;
    RT_bass::BASS_ErrorGetCode = &TFake::ErrorGetCode;
    {
      TBASSPlayer player(nullptr);
      EXPECT_EQ(player.AudioReady, c.Ready);
      EXPECT_EQ(player.BASSDLLVer(), c.Ver);
      EXPECT_EQ(TakeBoxes(), c.Boxes);
      if (!c.Ready) {
        // Not ready: no file opens, and nothing else happens.
        EXPECT_FALSE(player.OpenFile("music\\menu.mp3"));
        EXPECT_EQ(TakeBoxes(), std::vector<std::string>{"Confirm: Player is not ready !"});
        player.Play();
        EXPECT_EQ(player.GetPlaybackLength(), 0u);
        EXPECT_EQ(player.GetPlaybackPosition(), 0u);
      }
    }
    EXPECT_EQ(RT_bass::BASSHandle, nullptr);
  }
}

// ---- The binding -----------------------------------------------------------

TEST_F(PlayerTest, BindingRefusesAnIncompleteLibraryAndLoadsOnce) {
  const std::string incomplete = std::string(TAL_BIN_DIR) + "/../test-lib/incomplete";
  EXPECT_FALSE(RT_bass::LoadBASS(incomplete, "bass.dll"));
  EXPECT_EQ(RT_bass::BASSHandle, nullptr);
  EXPECT_EQ(RT_bass::BASS_GetVersion, nullptr) << "nothing kept from a refused library";
  EXPECT_EQ(dlopen((incomplete + "/libbass.so").c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);

  SetProgramFolder(incomplete);
  {
    TBASSPlayer player(nullptr);
    EXPECT_FALSE(player.AudioReady);
    EXPECT_EQ(player.BASSDLLVer(), "") << "the game then shows its own box";
    EXPECT_EQ(TakeBoxes(), std::vector<std::string>());
  }
  SetProgramFolder(TAL_BIN_DIR);

  // A folder without its trailing separator gets one; a second load keeps
  // the first. The library is a private copy: once any test has loaded the
  // WMA add-on, the add-on (which the loader never unloads) holds the program
  // folder's library for the rest of the process, whatever ran first.
  const std::filesystem::path own =
      std::filesystem::temp_directory_path() / ("tal_bass_once_" + std::to_string(getpid()));
  std::filesystem::create_directories(own);
  std::filesystem::copy_file(std::string(TAL_BIN_DIR) + "/libbass.so", own / "libbass.so",
                             std::filesystem::copy_options::overwrite_existing);
  std::string folder = own.string();
  ASSERT_TRUE(RT_bass::LoadBASS(folder, "bass.dll"));
  HMODULE first = RT_bass::BASSHandle;
  auto version = RT_bass::BASS_GetVersion;
  ASSERT_TRUE(RT_bass::LoadBASS(folder + "\\", "bass.dll"));
  EXPECT_EQ(RT_bass::BASSHandle, first);
  EXPECT_EQ(RT_bass::BASS_GetVersion, version);
  RT_bass::FreeBASS();
  const std::string lib = (own / "libbass.so").string();
  void* still = dlopen(lib.c_str(), RTLD_NOW | RTLD_NOLOAD);
  EXPECT_EQ(still, nullptr) << "one unload frees the library: it was loaded once";
  if (still) dlclose(still);
  EXPECT_EQ(RT_bass::BASS_GetVersion, nullptr);
  std::filesystem::remove_all(own);
}

// ---- Files and channels ----------------------------------------------------

TEST_F(PlayerTest, OpenFileReportsEachFailureAndKeepsWhatIsLeft) {
  TBASSPlayer player(nullptr);
  ASSERT_TRUE(player.AudioReady);
  // Without a file: nothing to play, and the volume is the global one.
  EXPECT_EQ(player.GetPlaybackLength(), 0u);
  EXPECT_EQ(player.GetPlaybackPosition(), 0u);
  player.SetPlaybackPosition(10);
  player.Play();
  EXPECT_EQ(player.PlayState(), psNotOpened);
  for (auto [in, out] : {std::pair{150, 100}, {-5, 0}, {40, 40}}) {
    player.SetVolume(in);
    BASS_DWORD m, s, st;
    RT_bass::BASS_GetGlobalVolumes(&m, &s, &st);
    EXPECT_EQ(st, static_cast<BASS_DWORD>(out));
    EXPECT_EQ(player.StreamVolume(), out);
  }
  player.SetVolume(-1);
  EXPECT_EQ(player.StreamVolume(), -1);
  BASS_DWORD m, s, st;
  RT_bass::BASS_GetGlobalVolumes(&m, &s, &st);
  EXPECT_EQ(st, 40u) << "-1 leaves the library's volume";

  const std::string wav = mf::WriteBytes("one.wav", mf::WavBytes(mf::Tone(1.0, 440)));
  ASSERT_TRUE(player.OpenFile(wav));
  player.Play();
  ASSERT_EQ(player.PlayState(), psPlaying);
  const BASS_DWORD channel = player.Channel();
  int ends = 0;
  player.OnPlayEnd = [&](TObject*) { ++ends; };

  // Files the player's own readers refuse before the library sees them: the
  // code tells a file that would not open from one in no known format.
  const std::string bogus = mf::WriteBytes("bogus.mp3", std::vector<uint8_t>(4000, 0x55));
  const std::string empty = mf::WriteBytes("empty.mp3", {});
  const std::string none = empty.substr(0, empty.rfind('/') + 1) + "none.mp3";
  for (const auto& [file, code] : {std::pair{bogus, BASS_ERROR_FILEFORM},
                                   {empty, BASS_ERROR_FILEFORM},
                                   {none, BASS_ERROR_FILEOPEN}}) {
    SCOPED_TRACE(file);
    EXPECT_FALSE(player.OpenFile(file));
    EXPECT_EQ(TakeBoxes(),
              std::vector<std::string>{"Error: Invalid stream file(" + file +
                                       ") !\r\n(error code: " + std::to_string(code) + ")"});
  }
  EXPECT_EQ(player.Channel(), channel) << "the old channel stays";
  EXPECT_EQ(player.PlayState(), psPlaying);
  const std::string unknown = mf::WriteBytes("song.xyz", {1, 2, 3});
  EXPECT_FALSE(player.OpenFile(unknown));
  EXPECT_EQ(TakeBoxes(), std::vector<std::string>{
                             "Error: Invalid stream file(" + unknown +
                             ") !\r\n(error code: " + std::to_string(BASS_ERROR_FILEFORM) + ")"});

  // The end of the stream: stopped, the event once; Play seeks to 0 and
  // restarts the same channel without a second sync.
  Run(1200);
  EXPECT_EQ(player.PlayState(), psStopped);
  EXPECT_EQ(ends, 1);
  player.Play();
  EXPECT_EQ(player.PlayState(), psPlaying);
  EXPECT_EQ(player.Channel(), channel);
  EXPECT_LT(player.GetPlaybackPosition(), 20u);
  Run(1200);
  EXPECT_EQ(ends, 2);

  // A seek beyond the duration is ignored; to exactly the duration is made.
  player.Play();
  player.SetPlaybackPosition(1001);
  EXPECT_LT(player.GetPlaybackPosition(), 20u);
  player.SetPlaybackPosition(500);
  EXPECT_EQ(player.GetPlaybackPosition(), 500u);

  // An end posted for a channel that has since been replaced is ignored.
  const std::string wav2 = mf::WriteBytes("two_b.wav", mf::WavBytes(mf::Tone(1.0, 220)));
  ASSERT_TRUE(player.OpenFile(wav2));
  player.Play();
  PostMessageA(player.MessageWindow(), WM_PlayEnd, channel, 0);
  Application->ProcessMessages();
  EXPECT_EQ(player.PlayState(), psPlaying);

  // A WAV of 8-bit samples is refused.
  std::vector<uint8_t> eight = mf::WavBytes(mf::Tone(0.5, 440));
  eight[34] = 8;                                      // bits
  eight[32] = 2;                                      // block align
  eight[28] = 0x88, eight[29] = 0x58, eight[30] = 1;  // bytes per second
  EXPECT_FALSE(player.OpenFile(mf::WriteBytes("eight.wav", eight)));
  const auto boxes = TakeBoxes();
  ASSERT_FALSE(boxes.empty());
  EXPECT_EQ(boxes[0], "Error: Sound card does not support 16-bit sources.\r\n(error code: " +
                          std::to_string(BASS_ERROR_FORMAT) + ")");
  EXPECT_EQ(player.ChannelKind(), ckNone);
}

// When no call plays a file, the box shows the most telling answer: the
// stream call's word that a WAV's samples are of a form the library does not
// play, not the "no file of mine" of the WMA and module calls tried after
// it, which shows only when every call gives it. A WAV that holds MP3 plays.
TEST_F(PlayerTest, AFileNoCallPlaysShowsTheMostTellingAnswer) {
  TBASSPlayer player(nullptr);
  ASSERT_TRUE(player.AudioReady);
  const std::vector<uint8_t> wav = mf::WavBytes(mf::Tone(0.5, 440));
  std::vector<uint8_t> wav24 = wav, wavFloat = wav;
  wav24[34] = 24;     // bits
  wav24[32] = 6;      // block align
  wavFloat[20] = 3;   // IEEE float
  wavFloat[34] = 32;  // bits
  wavFloat[32] = 8;   // block align
  // A header whose data chunk is a list of names.
  std::vector<uint8_t> noSamples(wav.begin(), wav.begin() + 44);
  std::copy_n("LIST", 4, noSamples.begin() + 36);
  const struct {
    const char* Name;
    std::vector<uint8_t> Bytes;
    int32_t Code;
  } cases[] = {
      {"24-bit WAV", wav24, BASS_ERROR_FORMAT},
      {"floating-point WAV", wavFloat, BASS_ERROR_FORMAT},
      {"WAV without samples", noSamples, BASS_ERROR_FILEFORM},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_FALSE(player.OpenFile(mf::WriteBytes("refused.wav", c.Bytes)));
    EXPECT_EQ(TakeBoxes(), std::vector<std::string>{"Error: Can't play the file\r\n(error code: " +
                                                    std::to_string(c.Code) + ")"});
    EXPECT_EQ(player.ChannelKind(), ckNone);
  }

  // The game's menu music in a WAV, as Windows tools write MP3 into one.
  std::vector<uint8_t> mp3;
  if (std::FILE* f = std::fopen("music/menu.mp3", "rb")) {
    for (int ch; (ch = std::fgetc(f)) != EOF;) mp3.push_back(static_cast<uint8_t>(ch));
    std::fclose(f);
  }
  ASSERT_GT(mp3.size(), 10000u);
  std::vector<uint8_t> fmt;
  mf::Put16(fmt, 0x55);  // MP3
  mf::Put16(fmt, 2);
  mf::Put32(fmt, 44100);
  mf::Put32(fmt, 16000);  // bytes a second, roughly
  mf::Put16(fmt, 1);      // block align
  mf::Put16(fmt, 0);      // bits
  mf::Put16(fmt, 12);     // bytes that follow
  fmt.resize(fmt.size() + 12, 0);
  std::vector<uint8_t> holder{'R', 'I', 'F', 'F'};
  mf::Put32(holder, static_cast<uint32_t>(4 + 8 + fmt.size() + 8 + mp3.size()));
  holder.insert(holder.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  mf::Put32(holder, static_cast<uint32_t>(fmt.size()));
  holder.insert(holder.end(), fmt.begin(), fmt.end());
  holder.insert(holder.end(), {'d', 'a', 't', 'a'});
  mf::Put32(holder, static_cast<uint32_t>(mp3.size()));
  holder.insert(holder.end(), mp3.begin(), mp3.end());
  ASSERT_TRUE(player.OpenFile(mf::WriteBytes("holds_mp3.wav", holder)));
  EXPECT_EQ(player.ChannelKind(), ckStream);
  player.Play();
  Run(200);
  EXPECT_NEAR(player.GetPlaybackPosition(), 200, 70);
}

// Whatever its name promises, a path that is no file to read is answered at
// once with the box of a file that would not open, and the player goes on: a
// folder, a FIFO that nobody writes to, a device, and a file whose reads fail
// (the process's own memory, unreadable at address 0 whoever asks).
TEST_F(PlayerTest, PathsThatAreNoReadableFileAnswerAtOnce) {
  TBASSPlayer player(nullptr);
  ASSERT_TRUE(player.AudioReady);
  const std::string wav = mf::WriteBytes("kept.wav", mf::WavBytes(mf::Tone(1.0, 440)));
  ASSERT_TRUE(player.OpenFile(wav));
  const BASS_DWORD channel = player.Channel();
  const std::filesystem::path dir = mf::TempDir() + "/not_files";
  std::filesystem::create_directories(dir);
  std::vector<std::string> paths, fifos;
  for (const char* ext : {".mp3", ".wav", ".ogg", ".wma"}) {
    const std::string folder = (dir / (std::string("folder") + ext)).string();
    std::filesystem::create_directories(folder);
    fifos.push_back(mf::MakeFifo(std::string("nobody writes") + ext));
    for (const char* target : {"/dev/null", "/proc/self/mem"}) {
      const std::filesystem::path link =
          dir / (std::filesystem::path(target).filename().string() + ext);
      std::filesystem::create_symlink(target, link);
      paths.push_back(link.string());
    }
    paths.push_back(folder);
    paths.push_back(fifos.back());
  }
  mf::TFifoWatch watch(fifos);
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    EXPECT_FALSE(player.OpenFile(path));
    EXPECT_EQ(TakeBoxes(), std::vector<std::string>{
                               "Error: Invalid stream file(" + path +
                               ") !\r\n(error code: " + std::to_string(BASS_ERROR_FILEOPEN) + ")"});
  }
  EXPECT_FALSE(watch.Rescued()) << "the player waited on a FIFO";
  EXPECT_EQ(player.Channel(), channel) << "the old channel stays";
  EXPECT_EQ(player.PlayState(), psOpened);
}

// A WAV whose writer left its sizes 0 or too large (streamed, or cut short)
// lasts as long as its samples run, to the end of the file, so the player
// seeks in it as in any other.
TEST_F(PlayerTest, AWavWithoutItsTrueSizesLastsToTheEndOfItsFile) {
  TBASSPlayer player(nullptr);
  ASSERT_TRUE(player.AudioReady);
  for (const uint32_t size : {0u, 0xFFFFFFFFu, 2u * 176400}) {
    SCOPED_TRACE(size);
    std::vector<uint8_t> bytes = mf::WavBytes(mf::Tone(1.0, 440));
    for (const size_t at : {4, 40})  // the RIFF and data sizes
      for (int k = 0; k < 4; ++k) bytes[at + k] = static_cast<uint8_t>(size >> 8 * k);
    ASSERT_TRUE(player.OpenFile(mf::WriteBytes("unsized.wav", bytes)));
    EXPECT_EQ(player.StreamInfo().Duration, 1000u);
    EXPECT_EQ(player.GetPlaybackLength(), 1000u);
    player.Play();
    player.SetPlaybackPosition(600);
    EXPECT_EQ(player.GetPlaybackPosition(), 600u);
    Run(100);
    EXPECT_NEAR(player.GetPlaybackPosition(), 700, 70);
    player.Stop();
  }
}

TEST_F(PlayerTest, OggWmaAndModulesOpenThroughTheirReadersAndChannels) {
  TBASSPlayer player(nullptr);
  ASSERT_TRUE(player.AudioReady);
  const std::string ogg = mf::WriteOgg("tone.ogg", 2.0, {"TITLE=Tone", "TRACKNUMBER=4/10"});
  ASSERT_TRUE(player.OpenFile(ogg));
  EXPECT_EQ(player.ChannelKind(), ckStream);
  EXPECT_EQ(player.StreamInfo().Title, "Tone");
  EXPECT_EQ(player.StreamInfo().Track, 4);
  EXPECT_NEAR(player.GetPlaybackLength(), 2000, 2);

  const std::string wma = mf::WriteWma("tone.wma", 2.0, "Wma tone");
  ASSERT_FALSE(wma.empty());
  ASSERT_TRUE(player.OpenFile(wma));
  EXPECT_EQ(player.ChannelKind(), ckWMAStream);
  EXPECT_EQ(player.StreamInfo().Title, "Wma tone");
  EXPECT_NEAR(player.GetPlaybackLength(), 2000, 100);
  player.Play();
  Run(500);
  EXPECT_NEAR(player.GetPlaybackPosition(), 500, 70);

  // A module has no reader of its own: only a plug-in could vouch for it.
  EXPECT_FALSE(player.OpenFile(mf::WriteBytes("song.mod", mf::ModBytes())));
  EXPECT_EQ(TakeBoxes().size(), 1u);
}

TEST_F(PlayerTest, PluginNoticesReachThePlayer) {
  TBASSPlayer player(nullptr);
  ASSERT_TRUE(player.AudioReady);
  uint16_t channels = 0;
  uint32_t rate = 0;
  int ends = 0;
  player.OnPluginStartPlay = [&](TObject*, uint16_t c, uint32_t r) { channels = c, rate = r; };
  player.OnPlayEnd = [&](TObject*) { ++ends; };
  TPluginStartRecord rec{16, 22050, 1};
  PostMessageA(player.MessageWindow(), WM_PluginStartPlay, 0, reinterpret_cast<LPARAM>(&rec));
  PostMessageA(player.MessageWindow(), WM_SetPluginFirst, 0, 1);
  PostMessageA(player.MessageWindow(), WM_SetChannel, 77, 0);
  Application->ProcessMessages();
  EXPECT_EQ(channels, 1);
  EXPECT_EQ(rate, 22050u);
  EXPECT_EQ(player.StreamInfo().SampleRate, 22050);
  EXPECT_TRUE(player.PluginFirst);
  EXPECT_EQ(player.Channel(), 77u);
  // The plug-in's end: its output (no such channel) is not playing, so the
  // player stops at once and tells its owner.
  PostMessageA(player.MessageWindow(), WM_PluginEOF, 0, 0);
  Application->ProcessMessages();
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(SendMessageA(player.MessageWindow(), 17, 0, 0), 1) << "the session may end";
}

TEST_F(PlayerTest, WmaWithoutTheAddOnCannotBePlayed) {
  // Without the add-on a WMA file is offered to the stream and module
  // loaders, which cannot play it.
  {
    const std::string alone = mf::TempDir() + "/no_addon";
    std::filesystem::create_directories(alone);
    std::filesystem::copy_file(std::string(TAL_BIN_DIR) + "/libbass.so", alone + "/libbass.so",
                               std::filesystem::copy_options::overwrite_existing);
    SetProgramFolder(alone);
    TBASSPlayer bare(nullptr);
    SetProgramFolder(TAL_BIN_DIR);
    ASSERT_TRUE(bare.AudioReady);
    EXPECT_FALSE(bare.WMAReady());
    EXPECT_FALSE(bare.OpenFile(mf::WriteWma("alone.wma", 1.0, "t")));
    const auto boxes = TakeBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].rfind("Error: Can't play the file\r\n(error code: ", 0), 0u) << boxes[0];
    EXPECT_EQ(bare.ChannelKind(), ckNone);
  }
}

}  // namespace
