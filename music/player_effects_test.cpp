// The player's effects and spectrum, over a binding whose answers the test
// chooses and over the real audio library on the headless device.
#include "music/player_effects.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "music/bass_player.h"
#include "music/music_fixtures.h"
#include "music/player_fixture.h"
#include "platform/win/user.h"

namespace mf = music_fixtures;

namespace {

// What the player asked of the effect calls.
struct TFakeFx {
  static inline HFX Next = 100;
  static inline int SetFXCalls = 0, SetDSPCalls = 0;
  static inline bool FailSetFX = false;
  static inline std::map<HFX, BASS_DWORD> Types;
  static inline std::map<HFX, std::vector<float>> Params;
  static inline std::vector<HFX> Removed;
  static void Reset() {
    Next = 100;
    SetFXCalls = SetDSPCalls = 0;
    FailSetFX = false;
    Types.clear();
    Params.clear();
    Removed.clear();
  }
  static HDSP SetDSP(BASS_DWORD, DSPPROC, void*) { return ++SetDSPCalls, Next++; }
  static BASS_BOOL RemoveDSP(BASS_DWORD, HDSP) { return 1; }
  static HFX SetFX(BASS_DWORD, BASS_DWORD Type) {
    ++SetFXCalls;
    if (FailSetFX) return 0;
    Types[Next] = Type;
    return Next++;
  }
  static BASS_BOOL RemoveFX(BASS_DWORD, HFX h) {
    Removed.push_back(h);
    return Types.erase(h) ? 1 : 0;
  }
  static size_t Floats(HFX h) { return Types[h] == BASS_FX_PARAMEQ ? 3 : 4; }
  static BASS_BOOL SetParams(HFX h, const void* p) {
    const auto* f = static_cast<const float*>(p);
    Params[h].assign(f, f + Floats(h));
    return 1;
  }
  static BASS_BOOL GetParams(HFX h, void* p) {
    if (Types[h] == BASS_FX_ECHO) *static_cast<BASS_FXECHO*>(p) = {50, 50, 333, 444, 0};
    if (Types[h] == BASS_FX_REVERB) *static_cast<BASS_FXREVERB*>(p) = {1, 2, 3, 4};
    return 1;
  }
  static void Install() {
    Reset();
    RT_bass::BASS_ChannelSetDSP = &SetDSP;
    RT_bass::BASS_ChannelRemoveDSP = &RemoveDSP;
    RT_bass::BASS_ChannelSetFX = &SetFX;
    RT_bass::BASS_ChannelRemoveFX = &RemoveFX;
    RT_bass::BASS_FXSetParameters = &SetParams;
    RT_bass::BASS_FXGetParameters = &GetParams;
  }
};

class EffectsTest : public PlayerTest {
 protected:
  std::string Wav(const std::vector<int16_t>& stereo, const char* name = "fx.wav") {
    return mf::WriteBytes(name, mf::WavBytes(stereo));
  }
};

TEST_F(EffectsTest, WithoutAChannelTheSetWaitsForTheNextOpen) {
  TBASSPlayer player(nullptr);
  ASSERT_TRUE(player.AudioReady);
  player.SetEffects(Flanger | Echo);
  EXPECT_EQ(player.Effects(), Flanger | Echo);
  EXPECT_EQ(player.FlangerDSPHandle(), 0u);
  EXPECT_EQ(player.FXHandles()[TBASSPlayer::kEchoSlot], 0u);
  ASSERT_TRUE(player.OpenFile(Wav(mf::Tone(0.5, 440))));
  EXPECT_NE(player.FlangerDSPHandle(), 0u) << "the open installs the stored set";
  EXPECT_NE(player.FXHandles()[TBASSPlayer::kEchoSlot], 0u);
}

TEST_F(EffectsTest, TheLibrarysEffectsGetTheirParametersAndKeepTheirHandles) {
  TBASSPlayer player(nullptr);
  ASSERT_TRUE(player.AudioReady && player.DX8EffectReady());
  ASSERT_TRUE(player.OpenFile(Wav(mf::Tone(0.5, 440))));
  TFakeFx::Install();
  player.SetEffects(Flanger | Equalizer | Echo | Reverb);
  const auto first = player.FXHandles();
  for (int i = 0; i < TBASSPlayer::kEQBands; ++i) {
    ASSERT_NE(first[i], 0u);
    EXPECT_EQ(TFakeFx::Types[first[i]], BASS_FX_PARAMEQ);
  }
  // Band 4 is the 1 kHz band, five semitones wide; gains start at 0 dB.
  EXPECT_EQ(TFakeFx::Params[first[4]], (std::vector<float>{1000, 5, 0}));
  EXPECT_EQ(TFakeFx::Params[first[9]], (std::vector<float>{14000, 3, 0}));
  // Echo: wet/dry 16 x 1.2, feedback 30, the library's delays kept.
  const auto& echo = TFakeFx::Params[first[TBASSPlayer::kEchoSlot]];
  ASSERT_EQ(echo.size(), 4u);
  EXPECT_FLOAT_EQ(echo[0], 19.2f);
  EXPECT_FLOAT_EQ(echo[1], 30.0f);
  EXPECT_FLOAT_EQ(echo[2], 333.0f);
  EXPECT_FLOAT_EQ(echo[3], 444.0f);
  EXPECT_EQ(TFakeFx::Params[first[TBASSPlayer::kReverbSlot]],
            (std::vector<float>{0.0f, -8.0f, 1000.0f, 0.1f}));
  EXPECT_EQ(TFakeFx::SetDSPCalls, 1);

  // On again: the same twelve handles, the parameters set again.
  player.EQGains()[2] = 6.0f;
  TFakeFx::Params.clear();
  const int calls = TFakeFx::SetFXCalls;
  player.SetEffects(Flanger | Equalizer | Echo | Reverb);
  EXPECT_EQ(player.FXHandles(), first);
  EXPECT_EQ(TFakeFx::SetFXCalls, calls);
  EXPECT_EQ(TFakeFx::SetDSPCalls, 1);
  EXPECT_EQ(TFakeFx::Params[first[2]], (std::vector<float>{310, 4, 6}));

  // Off: each removed and forgotten.
  player.SetEffects(0);
  EXPECT_EQ(TFakeFx::Removed.size(), 12u);
  EXPECT_EQ(player.FXHandles(), (std::array<HFX, 12>{}));
  EXPECT_EQ(player.FlangerDSPHandle(), 0u);

  // A library that cannot make an effect leaves it 0; the next call tries again.
  TFakeFx::FailSetFX = true;
  player.SetEffects(Echo);
  EXPECT_EQ(player.FXHandles()[TBASSPlayer::kEchoSlot], 0u);
  TFakeFx::FailSetFX = false;
  player.SetEffects(Echo);
  EXPECT_NE(player.FXHandles()[TBASSPlayer::kEchoSlot], 0u);
}

TEST_F(EffectsTest, WithoutDirectSound8OnlyTheFlangerIsInstalled) {
  ASSERT_TRUE(RT_bass::LoadBASS(ProgramFolder(), "bass.dll"));
  static RT_bass::BASS_GetInfo_t* real;
  real = RT_bass::BASS_GetInfo;
  RT_bass::BASS_GetInfo = [](BASS_INFO* i) -> BASS_BOOL {
    const BASS_BOOL r = real(i);
    i->dsver = 7;
    return r;
  };
  TBASSPlayer player(nullptr);
  ASSERT_TRUE(player.AudioReady);
  EXPECT_FALSE(player.DX8EffectReady());
  EXPECT_EQ(TakeBoxes(), std::vector<std::string>{"Warning: DirectX Ver 8 are not installed.\r\n"
                                                  "Sound effects except flanger are disabled."});
  ASSERT_TRUE(player.OpenFile(Wav(mf::Tone(0.5, 440))));
  TFakeFx::Install();
  player.SetEffects(Flanger | Equalizer | Echo | Reverb);
  EXPECT_NE(player.FlangerDSPHandle(), 0u);
  EXPECT_EQ(TFakeFx::SetFXCalls, 0);
  EXPECT_EQ(player.FXHandles(), (std::array<HFX, 12>{}));
}

// ---- The flanger itself ------------------------------------------------------

struct TFlags {
  static inline BASS_DWORD Value = 0;
  static BASS_DWORD Get(BASS_DWORD) { return Value; }
};

TEST(Flanger, AnImpulseComesBackHalfwayDownTheLineInEveryLayout) {
  auto* saved = RT_bass::BASS_ChannelGetFlags;
  RT_bass::BASS_ChannelGetFlags = &TFlags::Get;
  struct TCase {
    const char* Name;
    BASS_DWORD Flags;
    int Width;
  };
  for (const TCase& c : {TCase{"stereo", 0, 2}, TCase{"mono", BASS_SAMPLE_MONO, 1}}) {
    SCOPED_TRACE(c.Name);
    TFlags::Value = c.Flags;
    ResetFlanger();
    std::vector<int16_t> buf(400 * c.Width, 0);
    for (int k = 0; k < c.Width; ++k) buf[k] = 10000;
    // A stray odd byte at the end is left alone.
    FlangerDSP(1, 1, buf.data(), static_cast<BASS_DWORD>(buf.size() * 2 + 1), nullptr);
    EXPECT_EQ(buf[0], 10000) << "the dry signal passes at once";
    for (int k = 0; k < c.Width; ++k) {
      // 175 frames later the sweep stands at 175.35: 0.65 of the impulse.
      EXPECT_NEAR(buf[175 * c.Width + k], 6500, 3);
      EXPECT_NEAR(buf[174 * c.Width + k], 3480, 3);
    }
    int loud = 0;
    for (size_t i = c.Width; i < buf.size(); ++i) loud += buf[i] != 0;
    EXPECT_EQ(loud, 2 * c.Width) << "nothing else sounds";
  }
  // Clamped, not wrapped.
  TFlags::Value = 0;
  ResetFlanger();
  std::vector<int16_t> loud(400 * 2, 30000);
  FlangerDSP(1, 1, loud.data(), static_cast<BASS_DWORD>(loud.size() * 2), nullptr);
  EXPECT_EQ(loud[2 * 300], 32767);
  // 8-bit data is not bent.
  TFlags::Value = BASS_SAMPLE_8BITS;
  std::vector<uint8_t> bytes(64, 200);
  FlangerDSP(1, 1, bytes.data(), 64, nullptr);
  EXPECT_EQ(bytes, std::vector<uint8_t>(64, 200));
  RT_bass::BASS_ChannelGetFlags = saved;
}

TEST(Flanger, TheSweepTurnsAtTheEndOfTheLine) {
  auto* saved = RT_bass::BASS_ChannelGetFlags;
  RT_bass::BASS_ChannelGetFlags = &TFlags::Get;
  TFlags::Value = 0;
  ResetFlanger();
  EXPECT_FLOAT_EQ(FlangerState().SweepPos, 175.0f);
  std::vector<int16_t> block(2 * 500, 0);
  long frames = 0, turned = -1;
  while (frames < 100000 && turned < 0) {
    FlangerDSP(1, 1, block.data(), static_cast<BASS_DWORD>(block.size() * 2), nullptr);
    frames += 500;
    if (FlangerState().SweepStep < 0) turned = frames;
  }
  ASSERT_GT(turned, 0);
  EXPECT_NEAR(turned, 87500, 1000);
  RT_bass::BASS_ChannelGetFlags = saved;
}

// ---- Through the real library ---------------------------------------------------

double RmsOf(const std::vector<int16_t>& c, size_t from) {
  double sum = 0;
  size_t n = 0;
  for (size_t i = from; i < c.size(); ++i, ++n) sum += static_cast<double>(c[i]) * c[i];
  return n ? std::sqrt(sum / n) : 0;
}

TEST_F(EffectsTest, TheFlangerAndTheEqualiserAreHeard) {
  TBASSPlayer player(nullptr);
  ASSERT_TRUE(player.AudioReady);
  // An impulse: it and its flanged copy 175 frames later.
  std::vector<int16_t> impulse(2 * 4410, 0);
  impulse[0] = impulse[1] = 20000;
  player.SetEffects(Flanger);
  ASSERT_TRUE(player.OpenFile(Wav(impulse, "impulse.wav")));
  TakeHeadlessAudio();
  player.Play();
  Run(60);
  const auto heard = TakeHeadlessAudio();
  size_t at = 0;
  while (at < heard.size() && heard[at] == 0) at += 2;
  ASSERT_LT(at + 2 * 176, heard.size());
  EXPECT_NEAR(static_cast<double>(heard[at + 2 * 175]) / heard[at], 0.65, 0.01);
  EXPECT_NEAR(static_cast<double>(heard[at + 2 * 175 + 1]) / heard[at + 1], 0.65, 0.01);

  // A 1 kHz tone, flat and then with +12 dB on the 1 kHz band.
  double level[2];
  for (int pass = 0; pass < 2; ++pass) {
    player.EQGains()[4] = pass ? 12.0f : 0.0f;
    player.SetEffects(Equalizer);
    ASSERT_TRUE(player.OpenFile(Wav(mf::Tone(1.0, 1000, 0.05), "khz.wav")));
    player.Play();
    Run(300);
    TakeHeadlessAudio();
    Run(300);
    level[pass] = RmsOf(TakeHeadlessAudio(), 0);
  }
  ASSERT_GT(level[0], 100);
  EXPECT_NEAR(20 * std::log10(level[1] / level[0]), 12.0, 1.0);
}

// ---- The spectrum ----------------------------------------------------------------

struct TFakeSpectrum {
  static inline BASS_DWORD Active = BASS_ACTIVE_PLAYING;
  static inline bool Fail = false;
  static inline std::array<float, 256> Bins{};
  static BASS_DWORD IsActive(BASS_DWORD) { return Active; }
  static BASS_DWORD GetData(BASS_DWORD, void* b, BASS_DWORD len) {
    if (Fail || len != BASS_DATA_FFT512) return BASS_DATA_FAILED;
    std::memcpy(b, Bins.data(), sizeof(Bins));
    return 2048;
  }
};

TEST_F(EffectsTest, SpectrumBandsJumpUpAndFallByTwo) {
  TBASSPlayer player(nullptr);
  ASSERT_TRUE(player.AudioReady);
  ASSERT_TRUE(player.OpenFile(Wav(mf::Tone(0.5, 440))));
  int events = 0;
  TBandOut seen{};
  player.OnNewFFTData = [&](TObject*, const TBandOut& b) { ++events, seen = b; };
  RT_bass::BASS_ChannelIsActive = &TFakeSpectrum::IsActive;
  RT_bass::BASS_ChannelGetData = &TFakeSpectrum::GetData;
  TFakeSpectrum::Bins.fill(0);
  TFakeSpectrum::Bins[180] = 1.0f;  // the top of band 24
  TFakeSpectrum::Bins[1] = 0.5f;    // band 0 alone
  TFakeSpectrum::Bins[7] = 0.25f;   // the first bin of band 4
  player.SpectrumTimerTick();
  EXPECT_EQ(player.BandOut()[24], 368);
  EXPECT_EQ(player.BandOut()[0], 40);
  EXPECT_EQ(player.BandOut()[4], 32);  // 1.6 x 0.25 x 80
  EXPECT_EQ(player.BandOut()[3], 0);
  Application->ProcessMessages();
  EXPECT_EQ(events, 1);
  EXPECT_EQ(seen, player.BandOut());

  TFakeSpectrum::Bins.fill(0);
  player.SpectrumTimerTick();
  EXPECT_EQ(player.BandOut()[24], 366);
  EXPECT_EQ(player.BandOut()[0], 38);
  for (int i = 0; i < 200; ++i) player.SpectrumTimerTick();
  EXPECT_EQ(player.BandOut(), TBandOut{});

  // No data: all bands 0, and the timer keeps running.
  TFakeSpectrum::Bins[180] = 1.0f;
  player.SpectrumTimerTick();
  TFakeSpectrum::Fail = true;
  player.SpectrumTimerTick();
  EXPECT_EQ(player.BandOut(), TBandOut{});
  TFakeSpectrum::Fail = false;
}

TEST_F(EffectsTest, TheSpectrumTimerFollowsARealToneAndStopsWithTheChannel) {
  TBASSPlayer player(nullptr);
  ASSERT_TRUE(player.AudioReady);
  ASSERT_TRUE(player.OpenFile(Wav(mf::Tone(1.0, 1000, 0.5))));
  TBandOut last{};
  int events = 0;
  player.OnNewFFTData = [&](TObject*, const TBandOut& b) { ++events, last = b; };
  player.Play();
  EXPECT_TRUE(player.SpectrumTimerEnabled());
  Run(300);
  EXPECT_GT(events, 5);
  // 1 kHz is bin 11.6 of 512 at 44.1 kHz: band 4 holds bins 7 to 12.
  const auto loudest = std::max_element(last.begin(), last.end()) - last.begin();
  EXPECT_EQ(loudest, 4) << ::testing::PrintToString(last);
  player.Stop();
  Run(100);
  EXPECT_FALSE(player.SpectrumTimerEnabled());
}

}  // namespace
