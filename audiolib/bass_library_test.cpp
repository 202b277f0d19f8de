// The audio library as a program loads it: through dlopen, on the headless
// device and the virtual clock.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.h>
#include <mpg123.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "audiolib/bass.h"
#include "audiolib/bass_seam.h"
#include "audiolib/mpeg_frame.h"
#include "music/music_fixtures.h"
#include "music/rt_bass.h"
#include "platform/backend/headless/headless_audio.h"
#include "platform/backend/headless/headless_core.h"
#include "platform/backend/sdl/sdl_audio.h"
#include "tests/main/test_program.h"
#include "tools/mkdata/music.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

namespace mf = music_fixtures;

namespace {

// The calls that open a file.
enum TOpen { oStream, oWma, oMusic };

// The library's functions, looked up by name.
struct TLib {
  void* Dl = nullptr;
  void* WmaDl = nullptr;
  template <class F>
  F* Get(const char* name, void* dl = nullptr) {
    return reinterpret_cast<F*>(dlsym(dl ? dl : Dl, name));
  }
};

class LibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HeadlessInstall(1000);
    lib_.Dl = dlopen((std::string(TAL_BIN_DIR) + "/libbass.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    lib_.WmaDl =
        dlopen((std::string(TAL_BIN_DIR) + "/libbasswma.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib_.Dl, nullptr) << dlerror();
    ASSERT_NE(lib_.WmaDl, nullptr) << dlerror();
#define TAL_GET(name) name = lib_.Get<RT_bass::name##_t>(#name)
    TAL_GET(BASS_Init);
    TAL_GET(BASS_Free);
    TAL_GET(BASS_Start);
    TAL_GET(BASS_ErrorGetCode);
    TAL_GET(BASS_GetVersion);
    TAL_GET(BASS_GetInfo);
    TAL_GET(BASS_SetGlobalVolumes);
    TAL_GET(BASS_GetGlobalVolumes);
    TAL_GET(BASS_StreamCreateFile);
    TAL_GET(BASS_StreamCreate);
    TAL_GET(BASS_StreamFree);
    TAL_GET(BASS_StreamGetLength);
    TAL_GET(BASS_StreamPlay);
    TAL_GET(BASS_ChannelGetPosition);
    TAL_GET(BASS_ChannelSetPosition);
    TAL_GET(BASS_ChannelBytes2Seconds);
    TAL_GET(BASS_ChannelSeconds2Bytes);
    TAL_GET(BASS_ChannelGetFlags);
    TAL_GET(BASS_ChannelSetSync);
    TAL_GET(BASS_ChannelIsActive);
    TAL_GET(BASS_ChannelPause);
    TAL_GET(BASS_ChannelResume);
    TAL_GET(BASS_ChannelStop);
    TAL_GET(BASS_ChannelSetAttributes);
    TAL_GET(BASS_ChannelSetDSP);
    TAL_GET(BASS_ChannelRemoveDSP);
    TAL_GET(BASS_ChannelGetData);
    TAL_GET(BASS_ChannelSetFX);
    TAL_GET(BASS_ChannelRemoveFX);
    TAL_GET(BASS_FXGetParameters);
    TAL_GET(BASS_FXSetParameters);
    TAL_GET(BASS_MusicLoad);
    TAL_GET(BASS_MusicPlay);
    TAL_GET(BASS_MusicGetLength);
    TAL_GET(BASS_MusicFree);
    TAL_GET(BASS_ChannelGetAttributes);
#undef TAL_GET
    BASS_WMA_StreamCreateFile =
        lib_.Get<RT_BASSWMA::BASS_WMA_StreamCreateFile_t>("BASS_WMA_StreamCreateFile", lib_.WmaDl);
    BASS_WMA_ChannelSetSync =
        lib_.Get<RT_BASSWMA::BASS_WMA_ChannelSetSync_t>("BASS_WMA_ChannelSetSync", lib_.WmaDl);
  }
  void TearDown() override {
    if (BASS_Free) BASS_Free();
    if (lib_.WmaDl) dlclose(lib_.WmaDl);
    if (lib_.Dl) dlclose(lib_.Dl);
    UninstallHeadlessAudio();
    HeadlessUninstall();
  }
  void StartDevice() {
    HeadlessInstallAudio();
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr));
    ASSERT_TRUE(BASS_Start());
  }
  // Moves the clock on; the library hears it when next asked.
  std::vector<int16_t> Advance(uint32_t ms) {
    HeadlessAdvance(ms);
    return TakeHeadlessAudio();
  }
  // The open, play, length and free calls of each kind of channel.
  BASS_DWORD OpenWith(TOpen open, const std::string& path) {
    switch (open) {
      case oStream:
        return BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
      case oWma:
        return BASS_WMA_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
      case oMusic:
        return BASS_MusicLoad(FALSE, path.c_str(), 0, 0, BASS_MUSIC_CALCLEN);
    }
    return 0;
  }
  BASS_BOOL PlayWith(TOpen open, BASS_DWORD h) {
    return open == oMusic ? BASS_MusicPlay(h) : BASS_StreamPlay(h, FALSE, 0);
  }
  BASS_QWORD LengthWith(TOpen open, BASS_DWORD h) {
    return open == oMusic ? BASS_MusicGetLength(h, TRUE) : BASS_StreamGetLength(h);
  }
  BASS_BOOL FreeWith(TOpen open, BASS_DWORD h) {
    return open == oMusic ? BASS_MusicFree(h) : BASS_StreamFree(h);
  }
  // Bytes of one frame in the channel's own layout.
  BASS_QWORD FrameBytes(BASS_DWORD h) {
    const BASS_DWORD flags = BASS_ChannelGetFlags(h);
    return ((flags & BASS_SAMPLE_8BITS) ? 1 : 2) * ((flags & BASS_SAMPLE_MONO) ? 1 : 2);
  }
  // Plays a channel from where it stands until it stops by itself; what was
  // heard, silence after the end included.
  std::vector<int16_t> HearToEnd(BASS_DWORD h) {
    std::vector<int16_t> all;
    for (int i = 0; i < 120 && BASS_ChannelIsActive(h) == BASS_ACTIVE_PLAYING; ++i) {
      const std::vector<int16_t> s = Advance(250);
      all.insert(all.end(), s.begin(), s.end());
    }
    return all;
  }

  TLib lib_;
  RT_bass::BASS_Init_t* BASS_Init;
  RT_bass::BASS_Free_t* BASS_Free = nullptr;
  RT_bass::BASS_Start_t* BASS_Start;
  RT_bass::BASS_ErrorGetCode_t* BASS_ErrorGetCode;
  RT_bass::BASS_GetVersion_t* BASS_GetVersion;
  RT_bass::BASS_GetInfo_t* BASS_GetInfo;
  RT_bass::BASS_SetGlobalVolumes_t* BASS_SetGlobalVolumes;
  RT_bass::BASS_GetGlobalVolumes_t* BASS_GetGlobalVolumes;
  RT_bass::BASS_StreamCreateFile_t* BASS_StreamCreateFile;
  RT_bass::BASS_StreamCreate_t* BASS_StreamCreate;
  RT_bass::BASS_StreamFree_t* BASS_StreamFree;
  RT_bass::BASS_StreamGetLength_t* BASS_StreamGetLength;
  RT_bass::BASS_StreamPlay_t* BASS_StreamPlay;
  RT_bass::BASS_ChannelGetPosition_t* BASS_ChannelGetPosition;
  RT_bass::BASS_ChannelSetPosition_t* BASS_ChannelSetPosition;
  RT_bass::BASS_ChannelBytes2Seconds_t* BASS_ChannelBytes2Seconds;
  RT_bass::BASS_ChannelSeconds2Bytes_t* BASS_ChannelSeconds2Bytes;
  RT_bass::BASS_ChannelGetFlags_t* BASS_ChannelGetFlags;
  RT_bass::BASS_ChannelSetSync_t* BASS_ChannelSetSync;
  RT_bass::BASS_ChannelIsActive_t* BASS_ChannelIsActive;
  RT_bass::BASS_ChannelPause_t* BASS_ChannelPause;
  RT_bass::BASS_ChannelResume_t* BASS_ChannelResume;
  RT_bass::BASS_ChannelStop_t* BASS_ChannelStop;
  RT_bass::BASS_ChannelSetAttributes_t* BASS_ChannelSetAttributes;
  RT_bass::BASS_ChannelSetDSP_t* BASS_ChannelSetDSP;
  RT_bass::BASS_ChannelRemoveDSP_t* BASS_ChannelRemoveDSP;
  RT_bass::BASS_ChannelGetData_t* BASS_ChannelGetData;
  RT_bass::BASS_ChannelSetFX_t* BASS_ChannelSetFX;
  RT_bass::BASS_ChannelRemoveFX_t* BASS_ChannelRemoveFX;
  RT_bass::BASS_FXGetParameters_t* BASS_FXGetParameters;
  RT_bass::BASS_FXSetParameters_t* BASS_FXSetParameters;
  RT_bass::BASS_MusicLoad_t* BASS_MusicLoad;
  RT_bass::BASS_MusicPlay_t* BASS_MusicPlay;
  RT_bass::BASS_MusicGetLength_t* BASS_MusicGetLength;
  RT_bass::BASS_MusicFree_t* BASS_MusicFree;
  RT_bass::BASS_ChannelGetAttributes_t* BASS_ChannelGetAttributes;
  RT_BASSWMA::BASS_WMA_StreamCreateFile_t* BASS_WMA_StreamCreateFile;
  RT_BASSWMA::BASS_WMA_ChannelSetSync_t* BASS_WMA_ChannelSetSync;
};

double Rms(const std::vector<int16_t>& s, int channel) {
  double sum = 0;
  size_t n = 0;
  for (size_t i = static_cast<size_t>(channel); i < s.size(); i += 2, ++n)
    sum += double(s[i]) * s[i];
  return n ? std::sqrt(sum / n) : 0;
}

// Interleaved stereo frames of a rising sweep, a different one on each side:
// no stretch of it repeats, so a stretch found in it has one place.
std::vector<int16_t> Sweep(double seconds) {
  const size_t n = static_cast<size_t>(seconds * 44100);
  std::vector<int16_t> s(n * 2);
  double pl = 0, pr = 0;
  for (size_t i = 0; i < n; ++i) {
    const double t = double(i) / n;
    pl += 2 * M_PI * (200 + 3000 * t) / 44100;
    pr += 2 * M_PI * (330 + 1700 * t) / 44100;
    s[2 * i] = static_cast<int16_t>(std::lrint(std::sin(pl) * 12000));
    s[2 * i + 1] = static_cast<int16_t>(std::lrint(std::sin(pr) * 9000));
  }
  return s;
}

// A mono WAV of 8-bit samples: the left side of Stereo.
std::vector<uint8_t> Wav8Mono(const std::vector<int16_t>& stereo) {
  std::vector<uint8_t> v;
  const uint32_t data = static_cast<uint32_t>(stereo.size() / 2);
  v.insert(v.end(), {'R', 'I', 'F', 'F'});
  mf::Put32(v, 36 + data);
  v.insert(v.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  mf::Put32(v, 16);
  mf::Put16(v, 1);
  mf::Put16(v, 1);
  mf::Put32(v, 44100);
  mf::Put32(v, 44100);
  mf::Put16(v, 1);
  mf::Put16(v, 8);
  v.insert(v.end(), {'d', 'a', 't', 'a'});
  mf::Put32(v, data);
  for (size_t i = 0; i < stereo.size(); i += 2)
    v.push_back(static_cast<uint8_t>((stereo[i] >> 8) + 128));
  return v;
}

std::vector<uint8_t> Cat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Ogg Vorbis of Seconds of a stereo 440 Hz tone whose first Packets of
// audio share the page of its last header.
std::vector<uint8_t> OggAudioOnTheHeaderPage(double seconds, int packets, int serial = 1) {
  return mf::OggBytes(seconds, {}, 44100, 2, serial, packets);
}
// Where in Whole the frames of Part begin, searched from Near outwards; none
// when they are nowhere within Reach frames of it.
std::optional<int64_t> FindFrames(const std::vector<int16_t>& whole,
                                  const std::vector<int16_t>& part, int64_t near, int64_t reach) {
  const int64_t frames = static_cast<int64_t>(whole.size() / 2);
  const int64_t len = static_cast<int64_t>(part.size() / 2);
  for (int64_t d = 0; d <= reach; ++d) {
    for (const int64_t at : {near + d, near - d}) {
      if (at < 0 || at + len > frames) continue;
      if (std::equal(part.begin(), part.end(), whole.begin() + 2 * at)) return at - near;
    }
  }
  return std::nullopt;
}

TEST_F(LibraryTest, DeviceStartsOnlyWithSomethingBehindTheMixer) {
  EXPECT_EQ(BASS_GetVersion(), 0x00080001u);
  // The default output plays into nothing: no device.
  EXPECT_FALSE(BASS_Init(-1, 44100, 0, nullptr));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DRIVER);
  EXPECT_FALSE(BASS_StreamCreateFile(FALSE, "x.mp3", 0, 0, 0));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
  StartDevice();
  EXPECT_FALSE(BASS_Init(-1, 44100, 0, nullptr));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
  BASS_INFO info{};
  info.size = sizeof info;
  ASSERT_TRUE(BASS_GetInfo(&info));
  EXPECT_EQ(info.dsver, 8u);
  BASS_SetGlobalVolumes(30, -1, 70);
  BASS_DWORD m, s, st;
  BASS_GetGlobalVolumes(&m, &s, &st);
  EXPECT_EQ(m, 30u);
  EXPECT_EQ(s, 100u);
  EXPECT_EQ(st, 70u);
}

TEST_F(LibraryTest, FileStreamsHaveExactLengthsPositionsAndSeeks) {
  StartDevice();
  const std::string mp3 = std::string(TAL_BIN_DIR) + "/data/music/boss.mp3";
  mpg123_handle* mh = mpg123_new(nullptr, nullptr);
  ASSERT_EQ(mpg123_open(mh, mp3.c_str()), MPG123_OK);
  ASSERT_EQ(mpg123_scan(mh), MPG123_OK);
  const off_t samples = mpg123_length(mh);
  mpg123_close(mh);
  mpg123_delete(mh);

  const struct {
    std::string Path;
    BASS_QWORD Bytes;
  } files[] = {
      {mp3, static_cast<BASS_QWORD>(samples) * 4},
      {mf::WriteOgg("lib.ogg", 1.5, {}), 66150 * 4},
      {mf::WriteBytes("lib.wav", mf::WavBytes(mf::Tone(0.5, 440))), 22050 * 4},
  };
  for (const auto& f : files) {
    SCOPED_TRACE(f.Path);
    const HSTREAM h = BASS_StreamCreateFile(FALSE, f.Path.c_str(), 0, 0, 0);
    ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
    EXPECT_EQ(BASS_StreamGetLength(h), f.Bytes);
    EXPECT_EQ(BASS_ChannelGetFlags(h), 0u);
    EXPECT_FLOAT_EQ(BASS_ChannelBytes2Seconds(h, 44100 * 4), 1.0f);
    EXPECT_EQ(BASS_ChannelSeconds2Bytes(h, 0.25f), 11025u * 4);
    ASSERT_TRUE(BASS_StreamPlay(h, FALSE, 0));
    Advance(200);
    EXPECT_EQ(BASS_ChannelGetPosition(h), 8820u * 4) << "what 200 ms of the clock played";
    ASSERT_TRUE(BASS_ChannelSetPosition(h, 4 * 10001));
    EXPECT_EQ(BASS_ChannelGetPosition(h), 4u * 10001);
    EXPECT_FALSE(BASS_ChannelSetPosition(h, f.Bytes + 4));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_POSITION);
    EXPECT_TRUE(BASS_StreamFree(h));
    EXPECT_FALSE(BASS_StreamFree(h));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
  }
  // Samples right after a seek are the file's own at that point.
  const HSTREAM a = BASS_StreamCreateFile(FALSE, mp3.c_str(), 0, 0, 0);
  BASS_SetGlobalVolumes(-1, -1, 100);
  ASSERT_TRUE(BASS_ChannelSetPosition(a, 4 * 100000));
  ASSERT_TRUE(BASS_StreamPlay(a, FALSE, 0));
  const std::vector<int16_t> heard = Advance(10);
  const std::vector<int16_t> ref = mf::DecodeMp3(mp3, 100000, 441);
  ASSERT_EQ(heard.size(), ref.size());
  EXPECT_EQ(heard, ref);

  EXPECT_FALSE(BASS_StreamCreateFile(
      FALSE, mf::WriteBytes("junk.mp3", std::vector<uint8_t>(5000, 0x42)).c_str(), 0, 0, 0));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
  EXPECT_FALSE(BASS_StreamCreateFile(FALSE, "/nonexistent/x.mp3", 0, 0, 0));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
}

// Every kind of file the library opens: its length is the frames it plays,
// and a seek lands on the very frame it reports.
TEST_F(LibraryTest, LengthsAreTheDecodedFramesAndSeeksLandOnTheFrame) {
  StartDevice();
  const std::vector<int16_t> sweep = Sweep(2.5);
  const TMusicTheme theme{"edge.mp3", "edge", 120, 1, 0, false, 0};
  const std::vector<uint8_t> vbr = EncodeMp3(sweep, theme);
  const std::vector<uint8_t> cut(vbr.begin(),
                                 vbr.begin() + static_cast<ptrdiff_t>(vbr.size() * 2 / 5));
  const std::vector<uint8_t> mod = mf::ModBytes();
  const struct {
    const char* Name;
    std::string Path;
    TOpen Open;
  } files[] = {
      {"WAV, 16-bit stereo", mf::WriteBytes("edge.wav", mf::WavBytes(sweep)), oStream},
      {"WAV, 8-bit mono", mf::WriteBytes("edge8.wav", Wav8Mono(sweep)), oStream},
      {"MP3, constant rate", mf::WriteBytes("cbr.mp3", EncodeMp3(sweep, theme, 128)), oStream},
      {"MP3, variable rate", mf::WriteBytes("vbr.mp3", vbr), oStream},
      {"MP3, cut short", mf::WriteBytes("cut.mp3", cut), oStream},
      {"Ogg Vorbis", mf::WriteOgg("edge.ogg", 2.5, {}), oStream},
      {"Ogg Vorbis, audio on the page of its last header",
       mf::WriteBytes("edge_header.ogg", OggAudioOnTheHeaderPage(2.5, 12)), oStream},
      {"Ogg Vorbis, chained, audio on the pages of the last headers",
       mf::WriteBytes("edge_header_chain.ogg",
                      Cat(OggAudioOnTheHeaderPage(1.5, 5, 1), OggAudioOnTheHeaderPage(1.0, 3, 2))),
       oStream},
      {"WMA", mf::WriteWma("edge.wma", 2.5, "edge"), oWma},
      {"module", mf::WriteBytes("edge.mod", mod), oMusic},
  };
  for (const auto& f : files) {
    SCOPED_TRACE(f.Name);
    ASSERT_FALSE(f.Path.empty());
    const auto open = [&] { return OpenWith(f.Open, f.Path); };
    const auto play = [&](BASS_DWORD h) { return PlayWith(f.Open, h); };
    const auto release = [&](BASS_DWORD h) { return FreeWith(f.Open, h); };
    BASS_DWORD h = open();
    ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
    const BASS_QWORD frameBytes = FrameBytes(h);
    const BASS_QWORD length = LengthWith(f.Open, h) / frameBytes;

    // Heard from the start to the end.
    ASSERT_TRUE(play(h));
    const std::vector<int16_t> whole = HearToEnd(h);
    ASSERT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_STOPPED);
    const BASS_QWORD decoded = BASS_ChannelGetPosition(h) / frameBytes;
    EXPECT_EQ(length, decoded);
    ASSERT_GE(whole.size() / 2, decoded);
    ASSERT_TRUE(release(h));
    if (f.Open == oMusic) continue;  // module music is not seekable

    // Heard after seeks into the first packets, the middle and near the end.
    h = open();
    ASSERT_TRUE(play(h));
    for (const BASS_QWORD target : {BASS_QWORD{333}, decoded / 2 + 333, decoded - 6000}) {
      SCOPED_TRACE(target);
      ASSERT_TRUE(BASS_ChannelSetPosition(h, target * frameBytes));
      const BASS_QWORD at = BASS_ChannelGetPosition(h) / frameBytes;
      EXPECT_EQ(at, target);
      const std::vector<int16_t> heard = Advance(100);
      ASSERT_LE(at + heard.size() / 2, decoded);
      const std::optional<int64_t> off = FindFrames(whole, heard, static_cast<int64_t>(at), 30000);
      EXPECT_EQ(off, std::optional<int64_t>(0)) << "frames the seek landed away from its position";
      EXPECT_EQ(BASS_ChannelGetPosition(h) / frameBytes, at + heard.size() / 2);
    }
    HearToEnd(h);
    EXPECT_EQ(BASS_ChannelGetPosition(h) / frameBytes, length) << "never past the length";

    // Past the data there is nowhere to go.
    EXPECT_FALSE(BASS_ChannelSetPosition(h, (length + 1) * frameBytes));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_POSITION);
    ASSERT_TRUE(release(h));
  }
}

struct TSyncLog {
  int Count = 0;
  BASS_DWORD Channel = 0;
  static void Proc(HSYNC, BASS_DWORD ch, BASS_DWORD, void* user) {
    auto* self = static_cast<TSyncLog*>(user);
    ++self->Count;
    self->Channel = ch;
  }
};

TEST_F(LibraryTest, EndSyncFiresOnceAndStateFollowsPauseAndResume) {
  StartDevice();
  const std::string wav = mf::WriteBytes("end.wav", mf::WavBytes(mf::Tone(0.3, 440)));
  const HSTREAM h = BASS_StreamCreateFile(FALSE, wav.c_str(), 0, 0, 0);
  TSyncLog log;
  ASSERT_NE(BASS_ChannelSetSync(h, BASS_SYNC_END, 0, &TSyncLog::Proc, &log), 0u);
  EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_STOPPED);
  ASSERT_TRUE(BASS_StreamPlay(h, FALSE, 0));
  EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_PLAYING);
  Advance(100);
  ASSERT_TRUE(BASS_ChannelPause(h));
  EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_PAUSED);
  const BASS_QWORD paused = BASS_ChannelGetPosition(h);
  Advance(500);
  EXPECT_EQ(BASS_ChannelGetPosition(h), paused);
  ASSERT_TRUE(BASS_ChannelResume(h));
  Advance(150);
  EXPECT_EQ(log.Count, 0);
  Advance(100);
  EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_STOPPED);
  EXPECT_EQ(log.Count, 1);
  EXPECT_EQ(log.Channel, h);
  Advance(1000);
  EXPECT_EQ(log.Count, 1) << "once";
  // Played again, it ends again.
  ASSERT_TRUE(BASS_StreamPlay(h, FALSE, 0));
  Advance(400);
  EXPECT_EQ(log.Count, 2);
}

struct TUser {
  int Calls = 0;
  uint32_t Left = 0;  // bytes it still gives
  static BASS_DWORD Proc(HSTREAM, void* buf, BASS_DWORD len, void* user) {
    auto* self = static_cast<TUser*>(user);
    ++self->Calls;
    const BASS_DWORD n = std::min(len, self->Left);
    auto* s = static_cast<int16_t*>(buf);
    for (BASS_DWORD i = 0; i < n / 2; ++i) s[i] = 8000;
    self->Left -= n;
    return n;
  }
};

TEST_F(LibraryTest, UserStreamsEndOnAShortReturnOnceDrained) {
  StartDevice();
  TUser user;
  user.Left = 44100 * 2 / 10;  // 0.1 s of mono 16-bit
  const HSTREAM h = BASS_StreamCreate(44100, BASS_SAMPLE_MONO, &TUser::Proc, &user);
  ASSERT_NE(h, 0u);
  EXPECT_EQ(BASS_ChannelGetFlags(h), BASS_SAMPLE_MONO);
  TSyncLog log;
  BASS_ChannelSetSync(h, BASS_SYNC_END, 0, &TSyncLog::Proc, &log);
  ASSERT_TRUE(BASS_StreamPlay(h, FALSE, 0));
  const std::vector<int16_t> first = Advance(50);
  EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_PLAYING) << "queued data is still heard";
  EXPECT_NEAR(Rms(first, 0), 8000, 1);
  Advance(100);
  EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_STOPPED);
  EXPECT_EQ(log.Count, 1);
  EXPECT_EQ(BASS_ChannelGetPosition(h), 44100u * 2 / 10);
  const int calls = user.Calls;
  Advance(500);
  EXPECT_EQ(user.Calls, calls) << "an ended stream is not asked again";
}

struct TZeroRight {
  static void Proc(HDSP, BASS_DWORD, void* buf, BASS_DWORD len, void*) {
    auto* s = static_cast<int16_t*>(buf);
    for (BASS_DWORD i = 1; i < len / 2; i += 2) s[i] = 0;
  }
};

// Keeps what a DSP is handed; with Hush, makes it the 8-bit silence.
struct TDspTap {
  std::vector<uint8_t> Bytes;
  bool Hush = false;
  static void Proc(HDSP, BASS_DWORD, void* buf, BASS_DWORD len, void* user) {
    auto* self = static_cast<TDspTap*>(user);
    auto* p = static_cast<uint8_t*>(buf);
    self->Bytes.insert(self->Bytes.end(), p, p + len);
    if (self->Hush) std::fill(p, p + len, uint8_t{128});
  }
};

TEST_F(LibraryTest, DspsOfAnEightBitWaveGetTheSamplesItsFlagsDescribe) {
  StartDevice();
  const std::vector<uint8_t> wav = Wav8Mono(Sweep(0.5));
  const std::string path = mf::WriteBytes("dsp8.wav", wav);
  const std::vector<uint8_t> samples(wav.begin() + 44, wav.end());
  const HSTREAM h = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
  ASSERT_NE(h, 0u);
  ASSERT_EQ(BASS_ChannelGetFlags(h), BASS_SAMPLE_8BITS | BASS_SAMPLE_MONO);
  TDspTap tap;
  ASSERT_NE(BASS_ChannelSetDSP(h, &TDspTap::Proc, &tap), 0u);
  ASSERT_TRUE(BASS_StreamPlay(h, FALSE, 0));
  EXPECT_GT(Rms(Advance(100), 0), 1000);
  ASSERT_GE(tap.Bytes.size(), 4410u);
  ASSERT_LE(tap.Bytes.size(), samples.size());
  EXPECT_TRUE(std::equal(tap.Bytes.begin(), tap.Bytes.end(), samples.begin()))
      << "one unsigned byte a frame, as the file holds them";

  // What the DSP leaves is what is heard.
  tap.Hush = true;
  ASSERT_TRUE(BASS_ChannelSetPosition(h, 0));
  const std::vector<int16_t> hushed = Advance(100);
  EXPECT_EQ(Rms(hushed, 0), 0);
  EXPECT_EQ(Rms(hushed, 1), 0);
}

TEST_F(LibraryTest, PanDspFftAndEffectsShapeWhatIsHeard) {
  StartDevice();
  const std::string wav = mf::WriteBytes("fx.wav", mf::WavBytes(mf::Tone(3.0, 1000)));
  const HSTREAM h = BASS_StreamCreateFile(FALSE, wav.c_str(), 0, 0, 0);
  ASSERT_TRUE(BASS_StreamPlay(h, FALSE, 0));
  const double full = Rms(Advance(100), 0);
  ASSERT_GT(full, 10000);

  // Pan hard left: the right side falls silent.
  ASSERT_TRUE(BASS_ChannelSetAttributes(h, -1, -1, -100));
  std::vector<int16_t> s = Advance(100);
  EXPECT_NEAR(Rms(s, 0), full, full * 0.01);
  EXPECT_LT(Rms(s, 1), 1);
  ASSERT_TRUE(BASS_ChannelSetAttributes(h, -1, 50, 0));
  EXPECT_NEAR(Rms(Advance(100), 1), full / 2, full * 0.01);
  ASSERT_TRUE(BASS_ChannelSetAttributes(h, -1, 100, 0));

  // A DSP that clears the right channel, then removed.
  const HDSP dsp = BASS_ChannelSetDSP(h, &TZeroRight::Proc, nullptr);
  ASSERT_NE(dsp, 0u);
  ASSERT_TRUE(BASS_ChannelSetPosition(h, 0));
  s = Advance(100);
  EXPECT_LT(Rms(s, 1), 1);
  EXPECT_GT(Rms(s, 0), 10000);
  ASSERT_TRUE(BASS_ChannelRemoveDSP(h, dsp));
  EXPECT_FALSE(BASS_ChannelRemoveDSP(h, dsp));

  // FFT of a 1 kHz tone peaks in its bin.
  // Its byte count is what it wrote: 256 magnitudes, nothing past them.
  float fft[512];
  std::fill(std::begin(fft), std::end(fft), -1.0f);
  ASSERT_EQ(BASS_ChannelGetData(h, fft, BASS_DATA_FFT512), 256 * sizeof(float));
  EXPECT_TRUE(std::all_of(fft + 256, fft + 512, [](float v) { return v == -1.0f; }));
  const int peak = static_cast<int>(std::max_element(fft, fft + 256) - fft);
  EXPECT_NEAR(peak, 1000.0 * 512 / 44100, 1);

  // Effects: records round-trip; the echo adds to the tone after its delay.
  const HFX eq = BASS_ChannelSetFX(h, BASS_FX_PARAMEQ);
  const HFX echo = BASS_ChannelSetFX(h, BASS_FX_ECHO);
  const HFX rev = BASS_ChannelSetFX(h, BASS_FX_REVERB);
  ASSERT_TRUE(eq && echo && rev);
  EXPECT_EQ(BASS_ChannelSetFX(h, 99), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLTYPE);
  BASS_FXPARAMEQ p{1000.0f, 12.0f, -15.0f};
  ASSERT_TRUE(BASS_FXSetParameters(eq, &p));
  BASS_FXPARAMEQ back{};
  ASSERT_TRUE(BASS_FXGetParameters(eq, &back));
  EXPECT_EQ(back.fGain, -15.0f);
  BASS_FXECHO e{};
  ASSERT_TRUE(BASS_FXGetParameters(echo, &e));
  e.fWetDryMix = 0;
  ASSERT_TRUE(BASS_FXSetParameters(echo, &e));
  BASS_FXREVERB r{};
  ASSERT_TRUE(BASS_FXGetParameters(rev, &r));
  r.fReverbMix = -96;
  ASSERT_TRUE(BASS_FXSetParameters(rev, &r));
  ASSERT_TRUE(BASS_ChannelSetPosition(h, 0));
  Advance(100);
  EXPECT_LT(Rms(Advance(100), 0), full / 3) << "a 15 dB cut at the tone";
  ASSERT_TRUE(BASS_ChannelRemoveFX(h, eq));
  ASSERT_TRUE(BASS_ChannelRemoveFX(h, echo));
  ASSERT_TRUE(BASS_ChannelRemoveFX(h, rev));
  EXPECT_FALSE(BASS_ChannelRemoveFX(h, rev));
}

// ---- Files as people have them ------------------------------------------------

constexpr uint16_t kTagPcm = 1, kTagAdpcm = 2, kTagFloat = 3, kTagMuLaw = 7;

// A WAV of a 440 Hz tone at 44100 Hz. Tag is the format tag, or, with
// Extensible, the sub-format of an extensible header. DataSize, when given,
// is written in the data chunk (and the RIFF size is left 0, as a writer
// that streamed the file leaves it) in place of the true sizes.
std::vector<uint8_t> WavOf(uint16_t tag, uint16_t channels, uint16_t bits, double seconds,
                           bool extensible = false, std::optional<uint32_t> dataSize = {}) {
  const std::vector<int16_t> tone = mf::Tone(seconds, 440);
  const uint32_t frames = static_cast<uint32_t>(tone.size() / 2);
  const uint16_t align = static_cast<uint16_t>(std::max(1, channels * bits / 8));
  std::vector<uint8_t> data;
  for (uint32_t i = 0; i < frames; ++i) {
    for (uint16_t c = 0; c < channels; ++c) {
      const int16_t s = tone[2 * i + (c & 1)];
      if (bits == 8) data.push_back(static_cast<uint8_t>((s >> 8) + 128));
      if (bits == 16) mf::Put16(data, static_cast<uint16_t>(s));
      if (bits > 16) data.insert(data.end(), bits / 8, 0);
    }
  }
  if (bits < 8) data.resize(frames / 2 * channels);
  std::vector<uint8_t> fmt;
  mf::Put16(fmt, extensible ? 0xFFFE : tag);
  mf::Put16(fmt, channels);
  mf::Put32(fmt, 44100);
  mf::Put32(fmt, 44100u * align);
  mf::Put16(fmt, align);
  mf::Put16(fmt, bits);
  if (extensible) {
    mf::Put16(fmt, 22);
    mf::Put16(fmt, bits);                   // valid bits
    mf::Put32(fmt, channels == 1 ? 4 : 3);  // speakers
    mf::Put16(fmt, tag);
    fmt.insert(fmt.end(), {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38,
                           0x9B, 0x71});
  }
  std::vector<uint8_t> v{'R', 'I', 'F', 'F'};
  mf::Put32(v, dataSize ? 0 : static_cast<uint32_t>(4 + 8 + fmt.size() + 8 + data.size()));
  v.insert(v.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  mf::Put32(v, static_cast<uint32_t>(fmt.size()));
  v.insert(v.end(), fmt.begin(), fmt.end());
  v.insert(v.end(), {'d', 'a', 't', 'a'});
  mf::Put32(v, dataSize.value_or(static_cast<uint32_t>(data.size())));
  v.insert(v.end(), data.begin(), data.end());
  return v;
}

// The fixtures of the table below, each a path.
std::string AFolder() {
  const std::string p = mf::TempDir() + "/a folder.wav";
  std::filesystem::create_directories(p);
  return p;
}
std::string AFifo() {
  return mf::MakeFifo("a fifo.wav");
}
std::string DevNull() {
  return "/dev/null";
}
// A file that every read fails on with EIO: the process's memory read at
// address 0. (A file without read rights would not do: the tests may run
// as root.)
std::string Unreadable() {
  return "/proc/self/mem";
}
std::string Missing() {
  return mf::TempDir() + "/missing.wav";
}
std::string Empty() {
  return mf::WriteBytes("empty.wav", {});
}
std::string Wav16Extensible() {
  return mf::WriteBytes("ext16.wav", WavOf(kTagPcm, 2, 16, 0.5, true));
}
std::string Wav8MonoExtensible() {
  return mf::WriteBytes("ext8.wav", WavOf(kTagPcm, 1, 8, 0.5, true));
}
std::string WavDataSize0() {
  return mf::WriteBytes("size0.wav", WavOf(kTagPcm, 2, 16, 0.25, false, 0));
}
std::string WavDataSizeHuge() {
  return mf::WriteBytes("sizeff.wav", WavOf(kTagPcm, 2, 16, 0.25, false, 0xFFFFFFFF));
}
std::string Wav24() {
  return mf::WriteBytes("24.wav", WavOf(kTagPcm, 2, 24, 0.1));
}
std::string Wav24Extensible() {
  return mf::WriteBytes("ext24.wav", WavOf(kTagPcm, 2, 24, 0.1, true));
}
std::string WavFloat() {
  return mf::WriteBytes("float.wav", WavOf(kTagFloat, 2, 32, 0.1));
}
std::string WavFloatExtensible() {
  return mf::WriteBytes("extfloat.wav", WavOf(kTagFloat, 2, 32, 0.1, true));
}
std::string WavMuLaw() {
  return mf::WriteBytes("ulaw.wav", WavOf(kTagMuLaw, 1, 8, 0.1));
}
std::string WavAdpcm() {
  return mf::WriteBytes("adpcm.wav", WavOf(kTagAdpcm, 1, 4, 0.1));
}
std::string Wav6Channels() {
  return mf::WriteBytes("six.wav", WavOf(kTagPcm, 6, 16, 0.1));
}
std::string Ogg4Channels() {
  return mf::WriteBytes("four.ogg", mf::OggBytes(0.1, {}, 44100, 4));
}
// Chained Ogg: a second stream after the first, with another serial number.
std::string OggChained(uint32_t rate2, int channels2) {
  std::vector<uint8_t> v = mf::OggBytes(1.0, {}, 44100, 2, 1);
  const std::vector<uint8_t> second = mf::OggBytes(0.5, {}, rate2, channels2, 2);
  v.insert(v.end(), second.begin(), second.end());
  return mf::WriteBytes("chain" + std::to_string(rate2) + "_" + std::to_string(channels2) + ".ogg",
                        v);
}
std::string OggChainedSameFormat() {
  return OggChained(44100, 2);
}
std::string OggChainedToMono() {
  return OggChained(22050, 1);
}
std::string OggChainedTo48k() {
  return OggChained(48000, 2);
}

// A looped 8-bit sample whose loop holds the bytes -1, -5, 4, 64: those of a
// free-format MPEG frame header, as the loops of real modules' samples often
// do. To a reader that resynchronises on anything, the header coming back
// every 256 bytes is a stream of free-format frames.
std::vector<uint8_t> LoopedSample() {
  std::vector<uint8_t> loop(256);
  for (size_t i = 0; i < loop.size(); ++i)
    loop[i] = static_cast<uint8_t>(std::lrint(100 * std::sin(2 * M_PI * double(i) / 256)));
  std::copy_n("\xFF\xFB\x04\x40", 4, loop.begin() + 100);
  std::vector<uint8_t> v;
  for (int i = 0; i < 150; ++i) v.insert(v.end(), loop.begin(), loop.end());
  return v;
}

// A module's header of Size bytes with its mark at At, then sample data.
std::vector<uint8_t> ModuleLike(size_t size, size_t at, const std::string& mark) {
  std::vector<uint8_t> v(size, 0);
  std::copy(mark.begin(), mark.end(), v.begin() + static_cast<ptrdiff_t>(at));
  return Cat(v, LoopedSample());
}

// A JFIF picture whose colour profile holds the same bytes.
std::vector<uint8_t> JpegLike() {
  std::vector<uint8_t> v = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F',
                            0,    1,    1,    0,    0, 1,  0,   1,   0,   0};
  std::vector<uint8_t> icc(std::begin("ICC_PROFILE\0\1\1"), std::end("ICC_PROFILE\0\1\1") - 1);
  const std::vector<uint8_t> loop = LoopedSample();
  icc.insert(icc.end(), loop.begin(), loop.begin() + 30000);
  const size_t n = icc.size() + 2;
  v.insert(v.end(), {0xFF, 0xE2, uint8_t(n >> 8), uint8_t(n)});
  v = Cat(v, icc);
  v.insert(v.end(), {0xFF, 0xD9});
  return v;
}

// An ID3v2.4 tag of Body bytes of padding, with or without its footer.
std::vector<uint8_t> Id3v2Tag(uint32_t body, bool footer) {
  const std::vector<uint8_t> size = {uint8_t(body >> 21 & 0x7F), uint8_t(body >> 14 & 0x7F),
                                     uint8_t(body >> 7 & 0x7F), uint8_t(body & 0x7F)};
  std::vector<uint8_t> v = {'I', 'D', '3', 4, 0, uint8_t(footer ? 0x10 : 0)};
  v = Cat(Cat(v, size), std::vector<uint8_t>(body, 0));
  if (footer) v = Cat(Cat(v, {'3', 'D', 'I', 4, 0, 0x10}), size);
  return v;
}

// Frames of digital silence in MPEG 2 Layer III, 22050 Hz mono, 32 kbit/s.
std::vector<uint8_t> SilentMonoFrames(int count) {
  std::vector<uint8_t> v;
  for (int i = 0; i < count; ++i) {
    v.insert(v.end(), {0xFF, 0xF3, 0x40, 0xC0});
    v.resize(v.size() + 72 * 32000 / 22050 - 4, 0);
  }
  return v;
}

// An MP3 of a sweep as the game's music is made: an ID3v2 tag, a LAME header
// with the encoder's delay and padding, the frames and an ID3v1 tag.
const std::vector<uint8_t>& Song() {
  static const std::vector<uint8_t> song =
      EncodeMp3(Sweep(1.5), TMusicTheme{"chain.mp3", "chain", 120, 1, 0, false, 0});
  return song;
}
// Its frames alone, the tags cut off.
std::vector<uint8_t> SongFrames() {
  const std::vector<uint8_t>& song = Song();
  const size_t tag = 10 + (song[6] << 21 | song[7] << 14 | song[8] << 7 | song[9]);
  return std::vector<uint8_t>(song.begin() + static_cast<ptrdiff_t>(tag), song.end() - 128);
}
// What libmpg123 makes of the song on its own, delay and padding trimmed.
const std::vector<int16_t>& SongSound() {
  static const std::vector<int16_t> sound =
      mf::DecodeMp3(mf::WriteBytes("song.mp3", Song()), 0, 44100 * 2);
  return sound;
}

std::string ModuleMod() {
  return mf::WriteBytes("like.mod", ModuleLike(1084, 1080, "M.K."));
}
std::string ModuleIt() {
  return mf::WriteBytes("like.it", ModuleLike(192, 0, "IMPM"));
}
std::string ModuleXm() {
  return mf::WriteBytes("like.xm", ModuleLike(336, 0, "Extended Module: "));
}
std::string ModuleS3m() {
  return mf::WriteBytes("like.s3m", ModuleLike(96, 44, "SCRM"));
}
std::string Jpeg() {
  return mf::WriteBytes("picture.jpg", JpegLike());
}
std::string Mp3AfterALargeId3v2() {
  return mf::WriteBytes("large_id3.mp3", Cat(Id3v2Tag(256 << 10, false), SongFrames()));
}
std::string Mp3AfterAnId3v2WithAFooter() {
  return mf::WriteBytes("footer.mp3", Cat(Id3v2Tag(3000, true), SongFrames()));
}
std::string Mp3ThenMono() {
  return mf::WriteBytes("then_mono.mp3", Cat(SongFrames(), SilentMonoFrames(60)));
}
std::string Mp3WithJunk() {
  std::vector<uint8_t> damaged = SongFrames();
  damaged.insert(damaged.begin() + static_cast<ptrdiff_t>(damaged.size() / 2), 700, 0x5A);
  return mf::WriteBytes("junk.mp3", damaged);
}
std::string Mp3Cut() {
  const std::vector<uint8_t>& song = Song();
  return mf::WriteBytes(
      "cut.mp3",
      std::vector<uint8_t>(song.begin(), song.begin() + static_cast<ptrdiff_t>(song.size() / 3)));
}
std::string Mp3Joined() {
  return mf::WriteBytes("joined.mp3", Cat(Song(), Song()));
}

std::string OggAudioOnTheHeaderPage() {
  return mf::WriteBytes("header_audio.ogg", OggAudioOnTheHeaderPage(1.5, 12));
}
std::string OggChainedAudioOnTheHeaderPages() {
  return mf::WriteBytes("header_audio_chain.ogg", Cat(OggAudioOnTheHeaderPage(1.0, 5, 1),
                                                      OggAudioOnTheHeaderPage(0.5, 3, 2)));
}

// The song's frames, one by one: the first is its LAME header.
std::vector<std::vector<uint8_t>> SongFrameList() {
  const std::vector<uint8_t> frames = SongFrames();
  std::vector<std::vector<uint8_t>> list;
  for (size_t at = 0; at + 4 <= frames.size();) {
    const size_t len = MPEGFrameLength(ParseMPEGFrameHeader(&frames[at]));
    if (len == 0 || at + len > frames.size()) break;
    list.emplace_back(frames.begin() + static_cast<ptrdiff_t>(at),
                      frames.begin() + static_cast<ptrdiff_t>(at + len));
    at += len;
  }
  return list;
}
// The song's first Whole audio frames, and then the first half of the next.
std::vector<uint8_t> SongAudioFrames(size_t whole, bool cut) {
  const std::vector<std::vector<uint8_t>> list = SongFrameList();
  std::vector<uint8_t> v;
  for (size_t i = 1; i <= whole; ++i) v = Cat(v, list.at(i));
  const std::vector<uint8_t>& next = list.at(whole + 1);
  if (cut) v.insert(v.end(), next.begin(), next.begin() + static_cast<ptrdiff_t>(next.size() / 2));
  return v;
}

// Bytes that look like no format: an LCG's.
std::vector<uint8_t> Junk(size_t n, uint32_t seed) {
  std::vector<uint8_t> v(n);
  for (uint8_t& b : v) b = static_cast<uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24);
  return v;
}

// A RIFF WAVE file of the given chunks, each an id and its bytes.
std::vector<uint8_t> Riff(const std::vector<std::pair<std::string, std::vector<uint8_t>>>& chunks) {
  std::vector<uint8_t> body{'W', 'A', 'V', 'E'};
  for (const auto& [id, bytes] : chunks) {
    body.insert(body.end(), id.begin(), id.end());
    mf::Put32(body, static_cast<uint32_t>(bytes.size()));
    body = Cat(body, bytes);
    if (bytes.size() & 1) body.push_back(0);
  }
  std::vector<uint8_t> v{'R', 'I', 'F', 'F'};
  mf::Put32(v, static_cast<uint32_t>(body.size()));
  return Cat(v, body);
}
// The format chunk of a WAV that holds MPEG audio (tag 0x55 for MP3, 0x50
// for Layer I or II), with as many bytes of the format's own as Windows
// writes after it.
std::vector<uint8_t> MpegFormat(uint16_t tag) {
  std::vector<uint8_t> f;
  mf::Put16(f, tag);
  mf::Put16(f, 2);
  mf::Put32(f, 44100);
  mf::Put32(f, 16000);  // bytes a second, roughly
  mf::Put16(f, 1);      // block align
  mf::Put16(f, 0);      // bits
  const uint16_t extra = tag == 0x55 ? 12 : 22;
  mf::Put16(f, extra);
  f.resize(f.size() + extra, 0);
  return f;
}
// A WAV holding MPEG audio as Windows tools write one: the format, a fact
// chunk (a sample count nothing here reads), the data, and a list of names.
std::vector<uint8_t> WavAroundMpeg(const std::vector<uint8_t>& mpeg, uint16_t tag) {
  return Riff({{"fmt ", MpegFormat(tag)},
               {"fact", {0, 0, 1, 0}},
               {"data", mpeg},
               {"LIST", Cat({'I', 'N', 'F', 'O', 'I', 'S', 'F', 'T', 6, 0, 0, 0},
                            {'L', 'a', 'v', 'f', '5', 0})}});
}
std::string WavHoldingMp3() {
  return mf::WriteBytes("holds_mp3.wav", WavAroundMpeg(Song(), 0x55));
}
std::string WavHoldingNoMp3() {
  return mf::WriteBytes("holds_nothing.wav", WavAroundMpeg(Junk(20000, 7), 0x55));
}
// A PCM WAV of the tone, with its chunks in another order or its block align
// and byte rate left 0.
std::string WavDataFirst() {
  const std::vector<uint8_t> wav = WavOf(kTagPcm, 2, 16, 0.5);
  const std::vector<uint8_t> fmt(wav.begin() + 20, wav.begin() + 36);
  const std::vector<uint8_t> data(wav.begin() + 44, wav.end());
  return mf::WriteBytes("data_first.wav", Riff({{"data", data}, {"fmt ", fmt}}));
}
std::string WavAlignZero() {
  std::vector<uint8_t> wav = WavOf(kTagPcm, 2, 16, 0.5);
  std::fill(wav.begin() + 28, wav.begin() + 34, 0);  // byte rate, block align
  return mf::WriteBytes("align0.wav", wav);
}
std::string Mp3AfterZeros() {
  return mf::WriteBytes("after_zeros.mp3", Cat(std::vector<uint8_t>(200 << 10, 0), SongFrames()));
}
std::string Mp3AfterJunk() {
  return mf::WriteBytes("after_junk.mp3", Cat(Junk(300 << 10, 1), SongFrames()));
}
std::string Mp3OneFrame() {
  return mf::WriteBytes("one_frame.mp3", SongAudioFrames(1, false));
}
std::string Mp3TwoFramesCut() {
  return mf::WriteBytes("two_frames_cut.mp3", SongAudioFrames(2, true));
}
std::string Mp3ThreeFramesCut() {
  return mf::WriteBytes("three_frames_cut.mp3", SongAudioFrames(3, true));
}
// A file that ends in a hole the size of a disc image: the sparse tail of a
// download written in place, or a mistaken copy.
std::string Mp3ThenSparseZeros() {
  const std::string path = mf::WriteBytes("sparse.mp3", Song());
  std::filesystem::resize_file(path, Song().size() + (uint64_t{4} << 30));
  return path;
}

// MPEG-1 Layer I frames at 44.1 kHz, stereo, 384 kbit/s: Silent ones of
// nothing but their header, then Sounding ones whose four lowest subbands
// carry a wave, as an encoder lays them out.
std::vector<uint8_t> LayerIFrames(int silent, int sounding) {
  constexpr size_t kBytes = 12 * 384000 / 44100 * 4;
  std::vector<uint8_t> v;
  for (int f = 0; f < silent + sounding; ++f) {
    std::vector<uint8_t> frame{0xFF, 0xFF, 0xC0, 0x00};
    frame.resize(kBytes, 0);
    if (f >= silent) {
      size_t bit = 32;
      const auto put = [&](uint32_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i, ++bit)
          if (value >> i & 1) frame[bit / 8] |= static_cast<uint8_t>(0x80 >> bit % 8);
      };
      for (int sb = 0; sb < 32; ++sb)
        for (int ch = 0; ch < 2; ++ch) put(sb < 4 ? 3 : 0, 4);  // 4-bit samples
      for (int i = 0; i < 8; ++i) put(20, 6);                   // scale factors
      for (int s = 0; s < 12; ++s)
        for (int i = 0; i < 8; ++i)
          put(static_cast<uint32_t>(7 + std::lrint(6 * std::sin(s + f + i))), 4);
    }
    v = Cat(v, frame);
  }
  return v;
}
std::string LayerISilentThenSound() {
  return mf::WriteBytes("layer1.mp3", LayerIFrames(20, 40));
}

// Files that are no audio but hold runs of what reads as frame headers at
// even steps, as machine code, tables and pictures do: Layer I headers
// (FF FF ...) every 192 bytes of code, Layer I headers over nothing, a table
// of one 4-byte word that reads as MPEG-1 Layer II headers, and the rows of
// a cursor's picture, each a grey pixel and clear ones, that read as MPEG
// 2.5 Layer II.
std::string CodeLikeLayerI() {
  std::vector<uint8_t> v = Junk(5000, 3);
  for (size_t at = 1000; at < 1000 + 12 * 192; at += 192)
    std::copy_n("\xFF\xFF\x48\x89", 4, v.begin() + static_cast<ptrdiff_t>(at));
  return mf::WriteBytes("code.so", v);
}
std::string SilentLayerIRun() {
  return mf::WriteBytes("silent_run.o", Cat(Junk(500, 4), LayerIFrames(100, 0)));
}
std::string TableLikeLayerII() {
  std::vector<uint8_t> v = Junk(1000, 5);
  for (int i = 0; i < 400; ++i) v = Cat(v, {0xFF, 0xFC, 0x18, 0xFF});
  return mf::WriteBytes("table.bin", Cat(v, Junk(1000, 6)));
}
std::string CursorLikeMpeg25() {
  std::vector<uint8_t> v = Junk(1000, 8);
  for (int row = 0; row < 8; ++row) {
    v = Cat(v, {0xFF, 0xE5, 0xE5, 0xE5});  // one grey pixel, then clear ones
    v.resize(v.size() + 1916, 0);
  }
  return mf::WriteBytes("cursor.bin", Cat(v, Junk(1000, 9)));
}

// A compressed file whose last bytes read as one MP3 frame that would take
// its data from frames before it.
std::string EndsLikeAFrame() {
  std::vector<uint8_t> v = Junk(800, 10);
  std::copy_n("\xFF\xFB\x90\x00\xA5", 5, v.end() - 417);
  return mf::WriteBytes("ends_like_a_frame.gz", v);
}

// What a channel plays: a tone of a given length, the song above, whole, in
// part, or with more after it, or a few frames of MPEG audio.
enum TPlays {
  pTone,         // the tone of the WAV or Ogg, to its end
  pToneLate,     // the same, less some frames at its start that the reader never gives
  pSong,         // the song, sample for sample
  pSongLength,   // as long as the song
  pSongStart,    // the song's start, and less than the whole
  pSongAndMore,  // the song, then more
  pFrames        // Frames of MPEG audio, as libmpg123 alone decodes the file
};

// One file given to one open call, and what it answers: an error code, or a
// channel whose length is what it plays, and what that is.
struct TOpenCase {
  const char* Name;
  TOpen Open;
  std::string (*Make)();
  int32_t Error;
  TPlays Plays = pTone;
  uint64_t Frames = 0;  // of a tone
};

// clang-format off
const TOpenCase kOpenCases[] = {
    {"stream call, a folder", oStream, &AFolder, BASS_ERROR_FILEOPEN},
    {"stream call, a FIFO without a writer", oStream, &AFifo, BASS_ERROR_FILEOPEN},
    {"stream call, /dev/null", oStream, &DevNull, BASS_ERROR_FILEOPEN},
    {"stream call, a file whose reads fail", oStream, &Unreadable, BASS_ERROR_FILEOPEN},
    {"stream call, a missing file", oStream, &Missing, BASS_ERROR_FILEOPEN},
    {"stream call, an empty file", oStream, &Empty, BASS_ERROR_FILEFORM},
    {"WMA call, a folder", oWma, &AFolder, BASS_ERROR_FILEOPEN},
    {"WMA call, a FIFO without a writer", oWma, &AFifo, BASS_ERROR_FILEOPEN},
    {"WMA call, /dev/null", oWma, &DevNull, BASS_ERROR_FILEOPEN},
    {"WMA call, a file whose reads fail", oWma, &Unreadable, BASS_ERROR_FILEOPEN},
    {"WMA call, a missing file", oWma, &Missing, BASS_ERROR_FILEOPEN},
    {"WMA call, an empty file", oWma, &Empty, BASS_ERROR_FILEFORM},
    {"module call, a folder", oMusic, &AFolder, BASS_ERROR_FILEOPEN},
    {"module call, a FIFO without a writer", oMusic, &AFifo, BASS_ERROR_FILEOPEN},
    {"module call, /dev/null", oMusic, &DevNull, BASS_ERROR_FILEOPEN},
    {"module call, a file whose reads fail", oMusic, &Unreadable, BASS_ERROR_FILEOPEN},
    {"module call, a missing file", oMusic, &Missing, BASS_ERROR_FILEOPEN},
    {"module call, an empty file", oMusic, &Empty, BASS_ERROR_FILEFORM},
    {"WAV, 24-bit", oStream, &Wav24, BASS_ERROR_FORMAT},
    {"WAV, extensible, 24-bit", oStream, &Wav24Extensible, BASS_ERROR_FORMAT},
    {"WAV, float", oStream, &WavFloat, BASS_ERROR_FORMAT},
    {"WAV, extensible, float", oStream, &WavFloatExtensible, BASS_ERROR_FORMAT},
    {"WAV, mu-law", oStream, &WavMuLaw, BASS_ERROR_FORMAT},
    {"WAV, ADPCM", oStream, &WavAdpcm, BASS_ERROR_FORMAT},
    {"WAV, six channels", oStream, &Wav6Channels, BASS_ERROR_FORMAT},
    {"Ogg, four channels", oStream, &Ogg4Channels, BASS_ERROR_FORMAT},
    {"stream call, a module (.mod)", oStream, &ModuleMod, BASS_ERROR_FILEFORM},
    {"stream call, a module (.it)", oStream, &ModuleIt, BASS_ERROR_FILEFORM},
    {"stream call, a module (.xm)", oStream, &ModuleXm, BASS_ERROR_FILEFORM},
    {"stream call, a module (.s3m)", oStream, &ModuleS3m, BASS_ERROR_FILEFORM},
    {"stream call, a JPEG picture", oStream, &Jpeg, BASS_ERROR_FILEFORM},
    {"WAV, extensible, 16-bit stereo", oStream, &Wav16Extensible, BASS_OK, pTone, 22050},
    {"WAV, extensible, 8-bit mono", oStream, &Wav8MonoExtensible, BASS_OK, pTone, 22050},
    {"WAV, data size 0", oStream, &WavDataSize0, BASS_OK, pTone, 11025},
    {"WAV, data size past the file", oStream, &WavDataSizeHuge, BASS_OK, pTone, 11025},
    {"Ogg, chained, same format", oStream, &OggChainedSameFormat, BASS_OK, pTone, 66150},
    {"Ogg, chained, then mono at 22050 Hz: ends at the change", oStream, &OggChainedToMono, BASS_OK, pTone, 44100},
    {"Ogg, chained, then 48000 Hz: ends at the change", oStream, &OggChainedTo48k, BASS_OK, pTone, 44100},
    {"MP3, 44.1 kHz stereo, then 22.05 kHz mono: ends at the change", oStream, &Mp3ThenMono, BASS_OK, pSong},
    {"MP3 after an ID3v2 tag of 256 KiB", oStream, &Mp3AfterALargeId3v2, BASS_OK, pSong},
    {"MP3 after an ID3v2 tag with a footer", oStream, &Mp3AfterAnId3v2WithAFooter, BASS_OK, pSong},
    {"MP3 with 700 bytes of junk amid its frames", oStream, &Mp3WithJunk, BASS_OK, pSongLength},
    {"MP3 cut short of its LAME header's count", oStream, &Mp3Cut, BASS_OK, pSongStart},
    {"MP3 joined to itself", oStream, &Mp3Joined, BASS_OK, pSongAndMore},
    {"Ogg, audio on the page of its last header", oStream, &OggAudioOnTheHeaderPage, BASS_OK, pToneLate, 66150},
    {"Ogg, chained, audio on the pages of the last headers", oStream, &OggChainedAudioOnTheHeaderPages, BASS_OK, pToneLate, 66150},
    {"WAV holding MP3 (format tag 0x55)", oStream, &WavHoldingMp3, BASS_OK, pSong},
    {"WAV holding MP3 whose data is no MPEG audio", oStream, &WavHoldingNoMp3, BASS_ERROR_FILEFORM},
    {"WAV, data chunk before the format chunk", oStream, &WavDataFirst, BASS_OK, pTone, 22050},
    {"WAV, block align and byte rate 0", oStream, &WavAlignZero, BASS_OK, pTone, 22050},
    {"MP3 after 200 KiB of zeros", oStream, &Mp3AfterZeros, BASS_OK, pSong},
    {"MP3 after 300 KiB of junk", oStream, &Mp3AfterJunk, BASS_OK, pSong},
    {"MP3 of one frame", oStream, &Mp3OneFrame, BASS_OK, pFrames, 1152},
    {"MP3 of two frames and part of the next", oStream, &Mp3TwoFramesCut, BASS_OK, pFrames, 2304},
    {"MP3 of three frames and part of the next", oStream, &Mp3ThreeFramesCut, BASS_OK, pFrames, 3456},
    {"MP3, then 4 GiB of sparse zeros", oStream, &Mp3ThenSparseZeros, BASS_OK, pSong},
    {"MPEG Layer I, silent at first", oStream, &LayerISilentThenSound, BASS_OK, pFrames, 60 * 384},
    {"stream call, code with Layer I headers in step", oStream, &CodeLikeLayerI, BASS_ERROR_FILEFORM},
    {"stream call, Layer I headers over nothing", oStream, &SilentLayerIRun, BASS_ERROR_FILEFORM},
    {"stream call, a file whose end reads as one frame", oStream, &EndsLikeAFrame, BASS_ERROR_FILEFORM},
    {"stream call, a table of Layer II headers", oStream, &TableLikeLayerII, BASS_ERROR_FILEFORM},
    {"stream call, pixels that read as MPEG 2.5 Layer II", oStream, &CursorLikeMpeg25, BASS_ERROR_FILEFORM},
};
// clang-format on

// The last frame of Heard with sound in it (louder than -50 dBFS), or -1.
int64_t LastSound(const std::vector<int16_t>& heard) {
  for (size_t i = heard.size() / 2; i-- > 0;)
    if (std::abs(heard[2 * i]) > 100 || std::abs(heard[2 * i + 1]) > 100)
      return static_cast<int64_t>(i);
  return -1;
}

// Every open call answers what cannot be read with an error and goes on; the
// WAV and Ogg forms people have open, or answer clearly why not; the stream
// call takes a file for MPEG audio only when its frames chain, and then plays
// the frames of its first stream with the encoder's delay trimmed; and a
// channel's length is what it plays, to the end and no further.
TEST_F(LibraryTest, OpenCallsAnswerTheFilesPeopleHave) {
  StartDevice();
  BASS_SetGlobalVolumes(-1, -1, 100);
  ASSERT_GT(SongSound().size(), 44100u * 2) << "the song as libmpg123 decodes it";
  mf::TFifoWatch watch({AFifo()});
  for (const TOpenCase& c : kOpenCases) {
    SCOPED_TRACE(c.Name);
    const std::string path = c.Make();
    const BASS_DWORD h = OpenWith(c.Open, path);
    const int32_t error = BASS_ErrorGetCode();
    if (c.Error != BASS_OK) {
      EXPECT_EQ(h, 0u);
      EXPECT_EQ(error, c.Error);
      continue;
    }
    ASSERT_NE(h, 0u) << error;
    const BASS_QWORD frameBytes = FrameBytes(h);
    const uint64_t length = LengthWith(c.Open, h) / frameBytes;
    const bool tone = c.Plays == pTone || c.Plays == pToneLate;
    if (c.Plays == pTone || c.Plays == pFrames) {
      EXPECT_EQ(length, c.Frames);
    }
    if (c.Plays == pToneLate) {
      EXPECT_LT(length, c.Frames);
      EXPECT_GT(length + 44100 / 2, c.Frames) << "a few pages' worth at most";
    }
    if (!tone) {
      EXPECT_EQ(BASS_ChannelGetFlags(h), 0u) << "the song's 44.1 kHz stereo";
    }
    BASS_DWORD rate = 0;
    ASSERT_TRUE(BASS_ChannelGetAttributes(h, &rate, nullptr, nullptr));
    ASSERT_TRUE(PlayWith(c.Open, h));
    std::vector<int16_t> heard = HearToEnd(h);
    EXPECT_EQ(BASS_ChannelGetPosition(h) / frameBytes, length) << "the length is what plays";
    const std::vector<int16_t>& song = SongSound();
    const uint64_t songLength = song.size() / 2;
    if (tone) {
      // Heard at the device's rate: the tone goes on to the end, and
      // nothing follows it.
      const int64_t end = static_cast<int64_t>(length * HeadlessAudioRate / rate);
      EXPECT_GT(LastSound(heard), end - 200);
      EXPECT_LT(LastSound(heard), end);
    } else {
      // The song's rate is the device's: heard as it was decoded.
      ASSERT_GE(heard.size(), length * 2);
      heard.resize(length * 2);
    }
    switch (c.Plays) {
      case pSong:
        EXPECT_EQ(heard, song);
        break;
      case pSongLength:
        EXPECT_EQ(length, songLength);
        break;
      case pSongStart:
        ASSERT_LT(length, songLength);
        EXPECT_TRUE(std::equal(heard.begin(), heard.end(), song.begin()));
        break;
      case pSongAndMore:
        ASSERT_GT(length, 2 * songLength);
        EXPECT_TRUE(std::equal(song.begin(), song.end(), heard.begin()));
        break;
      case pFrames:
        EXPECT_EQ(heard, mf::DecodeMp3(path, 0, c.Frames, true));
        break;
      case pTone:
      case pToneLate:
        break;
    }
    EXPECT_TRUE(FreeWith(c.Open, h));
  }
  EXPECT_FALSE(watch.Rescued()) << "an open call waited on a FIFO";
}

// MPEG-1 Layer II audio of the samples from libavcodec's encoder, frame
// after frame as an .mp2 file holds them; empty without the encoder.
std::vector<uint8_t> Mp2Bytes(const std::vector<int16_t>& stereo) {
  std::vector<uint8_t> out;
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MP2);
  AVCodecContext* ctx = codec ? avcodec_alloc_context3(codec) : nullptr;
  AVFrame* frame = av_frame_alloc();
  AVPacket* pkt = av_packet_alloc();
  if (ctx && frame && pkt) {
    ctx->sample_rate = 44100;
    ctx->sample_fmt = AV_SAMPLE_FMT_S16;
    av_channel_layout_default(&ctx->ch_layout, 2);
    ctx->bit_rate = 192000;
  }
  if (ctx && frame && pkt && avcodec_open2(ctx, codec, nullptr) >= 0) {
    const auto drain = [&] {
      while (avcodec_receive_packet(ctx, pkt) == 0) {
        out.insert(out.end(), pkt->data, pkt->data + pkt->size);
        av_packet_unref(pkt);
      }
    };
    const auto step = static_cast<size_t>(ctx->frame_size);
    for (size_t at = 0; at + step <= stereo.size() / 2; at += step) {
      frame->nb_samples = ctx->frame_size;
      frame->format = ctx->sample_fmt;
      frame->sample_rate = ctx->sample_rate;
      if (av_channel_layout_copy(&frame->ch_layout, &ctx->ch_layout) < 0 ||
          av_frame_get_buffer(frame, 0) < 0)
        break;
      std::memcpy(frame->data[0], &stereo[2 * at], step * 4);
      const int sent = avcodec_send_frame(ctx, frame);
      av_frame_unref(frame);
      if (sent < 0) break;
      drain();
    }
    avcodec_send_frame(ctx, nullptr);
    drain();
  }
  av_packet_free(&pkt);
  av_frame_free(&frame);
  avcodec_free_context(&ctx);
  return out;
}

// A WAV that holds MPEG audio plays the very frames of the MPEG file inside
// it, for either format tag, and with a data size of 0 (a writer that
// streamed the file) to the end of the file.
TEST_F(LibraryTest, WavsHoldingMpegPlayTheFramesOfTheBareFile) {
  StartDevice();
  BASS_SetGlobalVolumes(-1, -1, 100);
  const std::vector<int16_t> sweep = Sweep(1.5);
  const std::vector<uint8_t> cbr =
      EncodeMp3(sweep, TMusicTheme{"wrap.mp3", "wrap", 120, 1, 0, false, 0}, 128);
  const std::vector<uint8_t> mp2 = Mp2Bytes(sweep);
  ASSERT_GT(mp2.size(), 10000u) << "libavcodec's MP2 encoder";
  std::vector<uint8_t> streamed = Riff({{"fmt ", MpegFormat(0x55)}, {"data", cbr}});
  std::fill(streamed.end() - static_cast<ptrdiff_t>(cbr.size()) - 4,
            streamed.end() - static_cast<ptrdiff_t>(cbr.size()), 0);
  const struct {
    const char* Name;
    std::vector<uint8_t> Bare, Wav;
  } cases[] = {
      {"MP3 with tags and a LAME header, tag 0x55", Song(), WavAroundMpeg(Song(), 0x55)},
      {"MP3 at a constant rate, data size 0", cbr, streamed},
      {"MPEG-1 Layer II, tag 0x50", mp2, WavAroundMpeg(mp2, 0x50)},
  };
  // The frames heard from a file, from its start to its end.
  const auto play = [&](const std::string& path) {
    const HSTREAM h = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
    EXPECT_NE(h, 0u) << BASS_ErrorGetCode();
    const BASS_QWORD length = BASS_StreamGetLength(h) / 4;
    EXPECT_TRUE(BASS_StreamPlay(h, FALSE, 0));
    std::vector<int16_t> heard = HearToEnd(h);
    EXPECT_EQ(BASS_ChannelGetPosition(h) / 4, length) << "the length is what plays";
    heard.resize(length * 2);
    BASS_StreamFree(h);
    return heard;
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::vector<int16_t> bare = play(mf::WriteBytes("bare.mpg", c.Bare));
    const std::vector<int16_t> wrapped = play(mf::WriteBytes("wrapped.wav", c.Wav));
    EXPECT_GT(bare.size(), 44100u * 2);
    EXPECT_EQ(wrapped, bare);
  }
}

// A LAME file lasts exactly what was encoded, at a constant or a variable
// bit rate, with or without a CRC after each frame header (which moves the
// frame's side information, but not where LAME puts its header), and plays
// as libmpg123 alone decodes it.
TEST_F(LibraryTest, LameFilesLastWhatWasEncoded) {
  StartDevice();
  BASS_SetGlobalVolumes(-1, -1, 100);
  const std::vector<int16_t> sweep = Sweep(1.5);
  const uint64_t frames = sweep.size() / 2;
  const TMusicTheme theme{"lame.mp3", "lame", 120, 1, 0, false, 0};
  const struct {
    const char* Name;
    TMp3Form Form;
  } cases[] = {
      {"variable rate", {}},
      {"variable rate, CRC", {0, false, true}},
      {"constant rate, Info frame", {128, true, false}},
      {"constant rate, Info frame, CRC", {128, true, true}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string path = mf::WriteBytes("lame.mp3", EncodeMp3(sweep, theme, c.Form));
    const HSTREAM h = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
    ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
    EXPECT_EQ(BASS_StreamGetLength(h) / 4, frames);
    ASSERT_TRUE(BASS_StreamPlay(h, FALSE, 0));
    std::vector<int16_t> heard = HearToEnd(h);
    EXPECT_EQ(BASS_ChannelGetPosition(h) / 4, frames);
    heard.resize(frames * 2);
    EXPECT_EQ(heard, mf::DecodeMp3(path, 0, frames));
    BASS_StreamFree(h);
  }
}

// The read calls this process has made (the kernel's count); -1 where the
// kernel keeps none.
int64_t ReadCalls() {
  std::ifstream io("/proc/self/io");
  std::string key;
  int64_t value = 0;
  while (io >> key >> value)
    if (key == "syscr:") return value;
  return -1;
}

// A file overwritten with zeros in place under a playing channel ends the
// channel at once, whether it plays on or is sought first: what is left of
// the file is not searched for a frame a byte at a time (for a long file,
// minutes inside the library's lock).
TEST_F(LibraryTest, AFileOverwrittenUnderAPlayingChannelEndsIt) {
  StartDevice();
  std::vector<uint8_t> mp3;
  for (int i = 0; i < 12; ++i) mp3 = Cat(mp3, Song());
  const struct {
    const char* Name;
    std::vector<uint8_t> Bytes;
    bool Seek;
  } cases[] = {
      {"MP3, sought and played again", mp3, true},
      {"MP3, playing on", mp3, false},
      {"WAV holding MP3, sought and played again", WavAroundMpeg(mp3, 0x55), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string path = mf::WriteBytes("overwritten.mp3", c.Bytes);
    const HSTREAM h = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
    ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
    const BASS_QWORD length = BASS_StreamGetLength(h);
    TSyncLog log;
    ASSERT_NE(BASS_ChannelSetSync(h, BASS_SYNC_END, 0, &TSyncLog::Proc, &log), 0u);
    ASSERT_TRUE(BASS_StreamPlay(h, FALSE, 0));
    Advance(500);
    const int fd = ::open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    const std::vector<uint8_t> zeros(c.Bytes.size(), 0);
    ASSERT_EQ(::pwrite(fd, zeros.data(), zeros.size(), 0), static_cast<ssize_t>(zeros.size()));
    ::close(fd);

    const int64_t before = ReadCalls();
    if (c.Seek) {
      BASS_ChannelSetPosition(h, length / 2 / 4 * 4);  // either answer will do
      BASS_StreamPlay(h, FALSE, 0);
    }
    Advance(3000);
    if (before >= 0) {
      EXPECT_LT(ReadCalls() - before, 100) << "reads of the zeros";
    }
    EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(log.Count, 1);
    EXPECT_TRUE(BASS_StreamFree(h));
  }
}

// Programs and shared libraries, as every Debian system has them, are no
// format the stream call knows: none is taken for a run of MPEG frames.
TEST_F(LibraryTest, ProgramsAndLibrariesAreNoAudio) {
  StartDevice();
  std::vector<std::string> opened;
  size_t tried = 0;
  for (const char* dir : {"/usr/bin", "/usr/lib/x86_64-linux-gnu"}) {
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec)) {
      if (e.is_symlink(ec) || !e.is_regular_file(ec)) continue;
      ++tried;
      const HSTREAM h = BASS_StreamCreateFile(FALSE, e.path().c_str(), 0, 0, 0);
      if (h) opened.push_back(e.path().string());
      if (h) BASS_StreamFree(h);
    }
  }
  ASSERT_GT(tried, 100u) << "programs and libraries to try";
  EXPECT_EQ(opened, std::vector<std::string>{});
}

// A module plays to the renderer's own end, which lies past the renderer's
// estimate of the song's length, and that is its length, asked while the
// song plays (when it may still be being counted) or after; played again it
// is the same. A long module plays while its length is counted, and goes
// cleanly in the meantime, freed or left to BASS_Free and the unloading of
// the library.
TEST_F(LibraryTest, ModulesPlayToTheRenderersOwnEnd) {
  StartDevice();
  const std::vector<uint8_t> mod = mf::ModBytes();
  openmpt_module* ref = openmpt_module_create_from_memory2(
      mod.data(), mod.size(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(ref, nullptr);
  const double estimate = openmpt_module_get_duration_seconds(ref);
  std::vector<int16_t> block(4096 * 2);
  uint64_t rendered = 0;
  for (size_t n; (n = openmpt_module_read_interleaved_stereo(ref, 44100, 4096, block.data())) > 0;)
    rendered += n;
  openmpt_module_destroy(ref);
  ASSERT_GT(rendered, std::llround(estimate * 44100)) << "the fixture sounds past the estimate";

  const HMUSIC m =
      BASS_MusicLoad(FALSE, mf::WriteBytes("end.mod", mod).c_str(), 0, 0, BASS_MUSIC_CALCLEN);
  ASSERT_NE(m, 0u) << BASS_ErrorGetCode();
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    ASSERT_TRUE(BASS_MusicPlay(m));
    std::vector<int16_t> heard = Advance(250);
    EXPECT_EQ(BASS_MusicGetLength(m, TRUE), rendered * 4);
    const std::vector<int16_t> rest = HearToEnd(m);
    heard.insert(heard.end(), rest.begin(), rest.end());
    EXPECT_EQ(BASS_ChannelGetPosition(m), rendered * 4);
    // The renderer ramps its last notes down over a few milliseconds.
    EXPECT_GT(LastSound(heard), static_cast<int64_t>(rendered) - 441) << "sound to the end";
    EXPECT_LT(LastSound(heard), static_cast<int64_t>(rendered));
  }
  EXPECT_TRUE(BASS_MusicFree(m));

  const std::string song = mf::WriteBytes("long.mod", mf::ModBytes(128));  // 16 minutes
  const HMUSIC freed = BASS_MusicLoad(FALSE, song.c_str(), 0, 0, BASS_MUSIC_CALCLEN);
  const HMUSIC kept = BASS_MusicLoad(FALSE, song.c_str(), 0, 0, BASS_MUSIC_CALCLEN);
  ASSERT_NE(freed, 0u);
  ASSERT_NE(kept, 0u);
  ASSERT_TRUE(BASS_MusicPlay(freed));
  ASSERT_TRUE(BASS_MusicPlay(kept));
  EXPECT_GT(Rms(Advance(250), 0), 100);
  EXPECT_TRUE(BASS_MusicFree(freed));
  EXPECT_EQ(BASS_MusicGetLength(freed, TRUE), ~BASS_DWORD{0});
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
  EXPECT_GT(Rms(Advance(250), 0), 100) << "the one kept plays on";
  // BASS_Free takes the one kept, playing and counted, with it: it falls
  // silent and its handle is gone, and the library starts afresh.
  ASSERT_TRUE(BASS_Free());
  EXPECT_EQ(Rms(Advance(250), 0), 0);
  EXPECT_EQ(BASS_ChannelIsActive(kept), BASS_ACTIVE_STOPPED);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
  EXPECT_EQ(BASS_MusicGetLength(kept, TRUE), ~BASS_DWORD{0});
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
  ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr));
  ASSERT_TRUE(BASS_Start());
  const HMUSIC again = BASS_MusicLoad(FALSE, song.c_str(), 0, 0, BASS_MUSIC_CALCLEN);
  ASSERT_NE(again, 0u);
  ASSERT_TRUE(BASS_MusicPlay(again));
  EXPECT_GT(Rms(Advance(250), 0), 100);
}

// Memory that runs out as a module loads is told as such: the load answers
// BASS_ERROR_MEM, never that the file holds no module. A count of its length
// that runs out leaves the length unknown (BASS_ERROR_MEM), never 0, and the
// song still plays to its end. A large file that is no module is refused
// from its first bytes: its whole, whose reading would run out here, is
// never read.
TEST_F(LibraryTest, ModuleLoadsShortOfMemoryAnswerSo) {
  StartDevice();
  auto* failAt = lib_.Get<TBassFailModuleMemory>("BassFailModuleMemory");
  ASSERT_NE(failAt, nullptr);
  const std::vector<uint8_t> mod = mf::ModBytes();
  const std::string song = mf::WriteBytes("memory.mod", mod);
  const std::string zeros = mf::WriteBytes("zeros.mod", {});
  std::filesystem::resize_file(zeros, 200 << 20);  // sparse
  const auto load = [&](bool inMemory, const std::string& path) {
    return inMemory ? BASS_MusicLoad(TRUE, mod.data(), 0, static_cast<BASS_DWORD>(mod.size()),
                                     BASS_MUSIC_CALCLEN)
                    : BASS_MusicLoad(FALSE, path.c_str(), 0, 0, BASS_MUSIC_CALCLEN);
  };
  const struct {
    const char* Name;
    int32_t Step;
    bool InMemory;
    std::string Path;
    int32_t Error;
  } rows[] = {
      {"a module, read whole", kModuleMemoryRead, false, song, BASS_ERROR_MEM},
      {"a module, its renderer made", kModuleMemoryRenderer, false, song, BASS_ERROR_MEM},
      {"a module in memory, its renderer made", kModuleMemoryRenderer, true, "", BASS_ERROR_MEM},
      {"200 MB of zeros, read whole", kModuleMemoryRead, false, zeros, BASS_ERROR_FILEFORM},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.Name);
    failAt(r.Step);
    EXPECT_EQ(load(r.InMemory, r.Path), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), r.Error);
    failAt(kModuleMemoryNone);
  }

  const HMUSIC whole = load(false, song);
  ASSERT_NE(whole, 0u);
  const BASS_DWORD length = BASS_MusicGetLength(whole, TRUE);
  ASSERT_TRUE(BASS_MusicFree(whole));
  failAt(kModuleMemoryCount);
  const HMUSIC m = load(false, song);
  ASSERT_NE(m, 0u) << BASS_ErrorGetCode();
  EXPECT_EQ(BASS_MusicGetLength(m, TRUE), ~BASS_DWORD{0});
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_MEM);
  ASSERT_TRUE(BASS_MusicPlay(m));
  EXPECT_GT(Rms(HearToEnd(m), 0), 100);
  EXPECT_EQ(BASS_ChannelGetPosition(m), length) << "played to its end";
  EXPECT_EQ(BASS_MusicGetLength(m, TRUE), ~BASS_DWORD{0}) << "still unknown";
  failAt(kModuleMemoryNone);
}

// How far ahead of a device the library decodes, however far out of range
// the length asked for.
TEST_F(LibraryTest, BufferLengthsAreClampedBeforeTheyAreRounded) {
  auto* setBuffer = lib_.Get<BASS_DWORD(float)>("BASS_SetBufferLength");
  const struct {
    float Seconds;
    BASS_DWORD Ms;
  } rows[] = {{1e16f, 5000}, {FLT_MAX, 5000}, {-1e16f, 50},  {-FLT_MAX, 50},
              {0.0504f, 50}, {4.9996f, 5000}, {0.1234f, 123}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.Seconds);
    EXPECT_EQ(setBuffer(r.Seconds), r.Ms);
  }
  EXPECT_EQ(setBuffer(0.333f), 333u);
}

// A callback that the library's own thread runs, once, and what it answered.
struct TOnTheLibrarysThread {
  std::function<void()> Body;
  std::atomic<bool> Done{false};
  std::atomic<bool> ElsewhereThanTheTest{false};
  std::thread::id Test = std::this_thread::get_id();

  void Run() {
    if (Done) return;
    ElsewhereThanTheTest = std::this_thread::get_id() != Test;
    Body();
    Done = true;
  }
  static void Sync(HSYNC, BASS_DWORD, BASS_DWORD, void* self) {
    static_cast<TOnTheLibrarysThread*>(self)->Run();
  }
  static void Dsp(HDSP, BASS_DWORD, void*, BASS_DWORD, void* self) {
    static_cast<TOnTheLibrarysThread*>(self)->Run();
  }
  // A stream of a tenth of a second of silence, which runs the callback as
  // it is first asked.
  std::atomic<BASS_DWORD> Left{44100 / 10 * 4};
  static BASS_DWORD Stream(HSTREAM, void* buf, BASS_DWORD len, void* self) {
    auto* t = static_cast<TOnTheLibrarysThread*>(self);
    const BASS_DWORD n = std::min(len, t->Left.load());
    std::memset(buf, 0, n);
    t->Left -= n;
    return n;
  }
  static BASS_DWORD StreamThatCalls(HSTREAM h, void* buf, BASS_DWORD len, void* self) {
    static_cast<TOnTheLibrarysThread*>(self)->Run();
    return Stream(h, buf, len, self);
  }
};

// On a device the library's own thread feeds the channels and calls the
// syncs, and a callback there may call any of the library's calls, BASS_Free
// and BASS_Init included: the free is done at once, the thread ends once the
// callback returns to it, and the library plays on after a new BASS_Init.
// Run by the test below in a process of its own, which a call that ended the
// process would end alone.
TEST_F(LibraryTest, DISABLED_CallbacksOnTheLibrarysThreadMayFreeIt) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  ASSERT_TRUE(SdlInstallAudio());
  ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr));
  ASSERT_TRUE(BASS_Start());
  // Real time on a loaded machine: only a hang misses the deadline.
  const auto wait = [](const std::atomic<bool>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return done.load();
  };
  enum TFrom { fSync, fStream, fDsp };
  BASS_BOOL a = FALSE, b = FALSE, c = FALSE;
  HSTREAM h = 0;
  HDSP dsp = 0, after = 0;
  std::atomic<int> afterCalls{0};
  const struct {
    const char* Name;
    TFrom From;
    std::function<void()> Body;
    bool Freed;  // the library is freed when it is done
  } rows[] = {
      {"an END sync calls BASS_Free", fSync, [&] { a = b = c = BASS_Free(); }, true},
      {"an END sync calls BASS_Free, BASS_Init and BASS_Start", fSync,
       [&] {
         a = BASS_Free();
         b = BASS_Init(-1, 44100, 0, nullptr);
         c = BASS_Start();
       },
       false},
      {"a stream's callback calls BASS_Free", fStream, [&] { a = b = c = BASS_Free(); }, true},
      {"a DSP removes itself and the DSP after it, and frees its channel", fDsp,
       [&] {
         a = BASS_ChannelRemoveDSP(h, dsp);
         b = BASS_ChannelRemoveDSP(h, after);
         c = BASS_StreamFree(h);
       },
       false},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.Name);
    a = b = c = FALSE;
    TOnTheLibrarysThread call;
    call.Body = r.Body;
    h = BASS_StreamCreate(
        44100, 0,
        r.From == fStream ? &TOnTheLibrarysThread::StreamThatCalls : &TOnTheLibrarysThread::Stream,
        &call);
    ASSERT_NE(h, 0u);
    if (r.From == fSync) {
      ASSERT_NE(BASS_ChannelSetSync(h, BASS_SYNC_END, 0, &TOnTheLibrarysThread::Sync, &call), 0u);
    }
    if (r.From == fDsp) {
      ASSERT_NE(dsp = BASS_ChannelSetDSP(h, &TOnTheLibrarysThread::Dsp, &call), 0u);
      ASSERT_NE(after = BASS_ChannelSetDSP(
                    h,
                    [](HDSP, BASS_DWORD, void*, BASS_DWORD, void* n) {
                      ++*static_cast<std::atomic<int>*>(n);
                    },
                    &afterCalls),
                0u);
    }
    ASSERT_TRUE(BASS_StreamPlay(h, FALSE, 0));
    ASSERT_TRUE(wait(call.Done));
    EXPECT_TRUE(call.ElsewhereThanTheTest);
    EXPECT_TRUE(a && b && c) << a << b << c;
    EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE) << "the channel is gone";
    EXPECT_EQ(afterCalls, 0) << "a DSP removed before its turn";
    if (r.Freed) {
      ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr));
      ASSERT_TRUE(BASS_Start());
    }
    // The library plays on, on its thread.
    TOnTheLibrarysThread next;
    next.Body = [] {};
    const HSTREAM more = BASS_StreamCreate(44100, 0, &TOnTheLibrarysThread::Stream, &next);
    ASSERT_NE(more, 0u);
    ASSERT_NE(BASS_ChannelSetSync(more, BASS_SYNC_END, 0, &TOnTheLibrarysThread::Sync, &next), 0u);
    ASSERT_TRUE(BASS_StreamPlay(more, FALSE, 0));
    EXPECT_TRUE(wait(next.Done));
    EXPECT_TRUE(BASS_StreamFree(more));
  }
  EXPECT_TRUE(BASS_Free());
  UninstallSdlAudio();
}

TEST_F(LibraryTest, CallbacksOnTheLibrarysThreadMayFreeIt) {
  const TTestProgramRun run =
      RunThisTestProgram("LibraryTest.DISABLED_CallbacksOnTheLibrarysThreadMayFreeIt", 300);
  ASSERT_TRUE(run.Ended) << run.Output;
  EXPECT_EQ(run.ExitCode, 0) << run.Output;
  EXPECT_NE(run.Output.find("[  PASSED  ] 1 test"), std::string::npos) << run.Output;
}

TEST_F(LibraryTest, ModuleMusicAndWmaStreamsPlay) {
  StartDevice();
  const std::vector<uint8_t> mod = mf::ModBytes();
  const HMUSIC m =
      BASS_MusicLoad(TRUE, mod.data(), 0, static_cast<BASS_DWORD>(mod.size()), BASS_MUSIC_CALCLEN);
  ASSERT_NE(m, 0u) << BASS_ErrorGetCode();
  // The song, and what the renderer gives past its end.
  const double secs = BASS_ChannelBytes2Seconds(m, BASS_MusicGetLength(m, TRUE));
  EXPECT_NEAR(secs, 64 * 6 * 0.02, 0.15);
  ASSERT_TRUE(BASS_MusicPlay(m));
  EXPECT_GT(Rms(Advance(100), 0), 100);
  EXPECT_TRUE(BASS_MusicFree(m));
  EXPECT_EQ(BASS_MusicLoad(FALSE, mf::WriteBytes("bad.mod", {1, 2, 3}).c_str(), 0, 0, 0), 0u);

  const std::string wma = mf::WriteWma("lib.wma", 1.0, "t");
  ASSERT_FALSE(wma.empty());
  EXPECT_EQ(BASS_StreamCreateFile(FALSE, wma.c_str(), 0, 0, 0), 0u) << "only the add-on opens WMA";
  const HSTREAM w = BASS_WMA_StreamCreateFile(FALSE, wma.c_str(), 0, 0, 0);
  ASSERT_NE(w, 0u) << BASS_ErrorGetCode();
  EXPECT_NEAR(BASS_ChannelBytes2Seconds(w, BASS_StreamGetLength(w)), 1.0, 0.1);
  TSyncLog log;
  ASSERT_NE(BASS_WMA_ChannelSetSync(w, BASS_SYNC_END, 0, &TSyncLog::Proc, &log), 0u);
  ASSERT_TRUE(BASS_StreamPlay(w, FALSE, 0));
  EXPECT_GT(Rms(Advance(300), 0), 1000);
  Advance(1000);
  EXPECT_EQ(log.Count, 1);
  EXPECT_EQ(BASS_WMA_StreamCreateFile(
                FALSE, mf::WriteBytes("bad.wma", std::vector<uint8_t>(100, 7)).c_str(), 0, 0, 0),
            0u);
}

// Calls an export with zeros in every argument, through a pointer of another
// type: only the error code it leaves is read.
__attribute__((no_sanitize("function"))) void CallWithZeros(void* p) {
  using TAny = uintptr_t(uintptr_t, uintptr_t, uintptr_t, uintptr_t, uintptr_t, uintptr_t,
                         uintptr_t, uintptr_t);
  reinterpret_cast<TAny*>(p)(0, 0, 0, 0, 0, 0, 0, 0);
}

TEST_F(LibraryTest, NamesWithoutAJobAnswerNotAvailable) {
  StartDevice();
  // Each is called with zeros in every argument; all answer the same way.
  const char* const bass[] = {"BASS_SetLogCurves",
                              "BASS_Set3DAlgorithm",
                              "BASS_SetVolume",
                              "BASS_GetVolume",
                              "BASS_Set3DFactors",
                              "BASS_Get3DFactors",
                              "BASS_Set3DPosition",
                              "BASS_Get3DPosition",
                              "BASS_Apply3D",
                              "BASS_SetEAXParameters",
                              "BASS_GetEAXParameters",
                              "BASS_MusicGetName",
                              "BASS_MusicPlayEx",
                              "BASS_MusicSetAmplify",
                              "BASS_MusicSetPanSep",
                              "BASS_MusicSetPositionScaler",
                              "BASS_MusicSetChannelVol",
                              "BASS_MusicGetChannelVol",
                              "BASS_MusicPreBuf",
                              "BASS_SampleLoad",
                              "BASS_SampleCreate",
                              "BASS_SampleCreateDone",
                              "BASS_SampleFree",
                              "BASS_SampleGetInfo",
                              "BASS_SampleSetInfo",
                              "BASS_SamplePlay",
                              "BASS_SamplePlayEx",
                              "BASS_SamplePlay3D",
                              "BASS_SamplePlay3DEx",
                              "BASS_SampleStop",
                              "BASS_CDInit",
                              "BASS_CDFree",
                              "BASS_CDInDrive",
                              "BASS_CDPlay",
                              "BASS_CDGetTracks",
                              "BASS_CDGetTrackLength",
                              "BASS_CDGetID",
                              "BASS_CDDoor",
                              "BASS_ChannelSet3DAttributes",
                              "BASS_ChannelGet3DAttributes",
                              "BASS_ChannelSet3DPosition",
                              "BASS_ChannelGet3DPosition",
                              "BASS_ChannelSetEAXMix",
                              "BASS_ChannelGetEAXMix",
                              "BASS_StreamCreateURL",
                              "BASS_StreamGetFilePosition",
                              "BASS_ChannelSetLink",
                              "BASS_ChannelRemoveLink",
                              "BASS_StreamPreBuf",
                              "BASS_StreamGetTags",
                              "BASS_SetCLSID",
                              "BASS_GetDSoundObject",
                              "BASS_RecordGetDeviceDescription",
                              "BASS_RecordInit",
                              "BASS_RecordFree",
                              "BASS_RecordGetInfo",
                              "BASS_RecordStart",
                              "BASS_RecordGetInputName",
                              "BASS_RecordSetInput",
                              "BASS_RecordGetInput",
                              "BASS_SetNetConfig",
                              "BASS_ChannelSlideAttributes",
                              "BASS_ChannelIsSliding"};
  const char* const wma[] = {"BASS_WMA_GetIWMReader",     "BASS_WMA_EncodeGetRates",
                             "BASS_WMA_EncodeOpenFile",   "BASS_WMA_EncodeOpenNetwork",
                             "BASS_WMA_EncodeGetPort",    "BASS_WMA_EncodeSetNotify",
                             "BASS_WMA_EncodeGetClients", "BASS_WMA_EncodeSetTag",
                             "BASS_WMA_EncodeWrite",      "BASS_WMA_EncodeClose"};
  for (auto [names, count, dl] :
       {std::tuple{bass, std::size(bass), lib_.Dl}, {wma, std::size(wma), lib_.WmaDl}}) {
    for (size_t i = 0; i < count; ++i) {
      SCOPED_TRACE(names[i]);
      void* f = dlsym(dl, names[i]);
      ASSERT_NE(f, nullptr);
      BASS_SetGlobalVolumes(-1, -1, -1);  // clears the error code
      CallWithZeros(f);
      EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOTAVAIL);
    }
  }
}

}  // namespace
