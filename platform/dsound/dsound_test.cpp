#include "platform/dsound/dsound.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "platform/backend/headless/headless_audio.h"
#include "platform/win/clock.h"

namespace {

class MixerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetClockSource(&clock_);
    HeadlessInstallAudio();
    ASSERT_EQ(DirectSoundCreate(nullptr, &ds_, nullptr), DS_OK);
  }
  void TearDown() override {
    ds_.reset();
    UninstallHeadlessAudio();
    SetClockSource(nullptr);
  }

  // A buffer holding Samples as 16-bit frames of the given format.
  std::unique_ptr<IDirectSoundBuffer> MakeBuffer(const std::vector<int16_t>& samples,
                                                 uint16_t channels, uint32_t rate) {
    WAVEFORMATEX f;
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = 16;
    f.nBlockAlign = static_cast<uint16_t>(channels * 2);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    DSBUFFERDESC d;
    d.dwFlags = DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME;
    d.dwBufferBytes = static_cast<DWORD>(samples.size() * 2);
    d.lpwfxFormat = &f;
    std::unique_ptr<IDirectSoundBuffer> b;
    EXPECT_EQ(ds_->CreateSoundBuffer(&d, &b), DS_OK);
    void* p1;
    DWORD n1;
    EXPECT_EQ(b->Lock(0, d.dwBufferBytes, &p1, &n1, nullptr, nullptr, 0), DS_OK);
    std::memcpy(p1, samples.data(), n1);
    b->Unlock(p1, n1, nullptr, 0);
    return b;
  }

  // A full-scale square wave: +32767 and -32767 alternating every Half frames.
  static std::vector<int16_t> Square(size_t frames, size_t half) {
    std::vector<int16_t> s(frames);
    for (size_t i = 0; i < frames; ++i) s[i] = (i / half) % 2 ? -32767 : 32767;
    return s;
  }

  // Largest absolute sample of one channel in the first Frames frames.
  static int Peak(const std::vector<int16_t>& out, int channel, size_t frames) {
    int peak = 0;
    for (size_t i = 0; i < frames && 2 * i + 1 < out.size(); ++i)
      peak = std::max(peak, std::abs(int{out[2 * i + static_cast<size_t>(channel)]}));
    return peak;
  }

  static int SignChanges(const std::vector<int16_t>& out, size_t frames) {
    int n = 0;
    for (size_t i = 1; i < frames && 2 * i < out.size(); ++i)
      if ((out[2 * i] > 0) != (out[2 * i - 2] > 0)) ++n;
    return n;
  }

  TVirtualClock clock_{1000};
  std::unique_ptr<IDirectSound> ds_;
};

TEST_F(MixerTest, VolumeAndPanGiveTheLevelOfEachChannel) {
  // -600 hundredths of a decibel is a factor of 10^-0.3.
  const int half = static_cast<int>(std::lround(32767 * std::pow(10.0, -0.3)));
  struct Case {
    LONG pan;
    int left, right;
  } cases[] = {{0, half, half},
               {10000, 0, half},
               {-10000, half, 0},
               {-2000, half, static_cast<int>(std::lround(32767 * std::pow(10.0, -1.3)))}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pan);
    auto b = MakeBuffer(Square(44100, 50), 1, 44100);
    ASSERT_EQ(b->SetVolume(-600), DS_OK);
    ASSERT_EQ(b->SetPan(c.pan), DS_OK);
    TakeHeadlessAudio();
    ASSERT_EQ(b->Play(0, 0, 0), DS_OK);
    clock_.Advance(100);
    std::vector<int16_t> out = TakeHeadlessAudio();
    ASSERT_EQ(out.size(), 4410u * 2);
    EXPECT_NEAR(Peak(out, 0, 4410), c.left, 1);
    EXPECT_NEAR(Peak(out, 1, 4410), c.right, 1);
  }
}

TEST_F(MixerTest, OutOfRangeSettingsAreRefused) {
  auto b = MakeBuffer(Square(100, 10), 1, 22050);
  EXPECT_EQ(b->SetVolume(1), DSERR_INVALIDPARAM);
  EXPECT_EQ(b->SetVolume(-10001), DSERR_INVALIDPARAM);
  EXPECT_EQ(b->SetPan(10001), DSERR_INVALIDPARAM);
  EXPECT_EQ(b->SetFrequency(99), DSERR_INVALIDPARAM);
  EXPECT_EQ(b->SetFrequency(100001), DSERR_INVALIDPARAM);
  EXPECT_EQ(b->SetFrequency(0), DS_OK);
  DWORD hz;
  b->GetFrequency(&hz);
  EXPECT_EQ(hz, 22050u);
}

TEST_F(MixerTest, FrequencyChangesThePitchAndLength) {
  // 441 Hz at 44100 Hz: 50 frames per half period, one second long.
  auto b = MakeBuffer(Square(44100, 50), 1, 44100);
  b->Play(0, 0, 0);
  clock_.Advance(100);
  const int base = SignChanges(TakeHeadlessAudio(), 4410);
  b->Stop();
  b->SetCurrentPosition(0);
  ASSERT_EQ(b->SetFrequency(88200), DS_OK);
  b->Play(0, 0, 0);
  clock_.Advance(100);
  const int doubled = SignChanges(TakeHeadlessAudio(), 4410);
  EXPECT_NEAR(base, 88, 1);
  EXPECT_NEAR(doubled, 2 * base, 2);
  // Twice as fast, the one-second sound ends after half a second.
  DWORD status;
  clock_.Advance(350);
  b->GetStatus(&status);
  EXPECT_EQ(status, DSBSTATUS_PLAYING);
  clock_.Advance(100);
  b->GetStatus(&status);
  EXPECT_EQ(status, 0u);
}

TEST_F(MixerTest, DuplicatesShareSamplesAndPlayAtOnce) {
  auto a = MakeBuffer(Square(44100, 50), 1, 44100);
  std::unique_ptr<IDirectSoundBuffer> b;
  ASSERT_EQ(ds_->DuplicateSoundBuffer(a.get(), &b), DS_OK);
  a->SetVolume(-600);
  a->SetPan(-10000);  // left only
  b->SetVolume(-600);
  b->SetPan(10000);  // right only
  a->Play(0, 0, 0);
  b->Play(0, 0, 0);
  clock_.Advance(50);
  std::vector<int16_t> out = TakeHeadlessAudio();
  const int half = static_cast<int>(std::lround(32767 * std::pow(10.0, -0.3)));
  EXPECT_NEAR(Peak(out, 0, 2205), half, 1);
  EXPECT_NEAR(Peak(out, 1, 2205), half, 1);
  // Their own cursors: stopping one leaves the other running.
  a->Stop();
  DWORD sa, sb;
  a->GetStatus(&sa);
  b->GetStatus(&sb);
  EXPECT_EQ(sa, 0u);
  EXPECT_EQ(sb, DSBSTATUS_PLAYING);
  // Both play at once: the sum of two centred copies clips at full scale.
  a->SetPan(0);
  b->SetPan(0);
  a->SetVolume(0);
  b->SetVolume(0);
  a->SetCurrentPosition(0);
  b->SetCurrentPosition(0);
  a->Play(0, 0, 0);
  TakeHeadlessAudio();
  clock_.Advance(10);
  out = TakeHeadlessAudio();
  EXPECT_GE(Peak(out, 0, 441), 32767);
}

TEST_F(MixerTest, EightBitStereoAndLooping) {
  WAVEFORMATEX f;
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = 2;
  f.nSamplesPerSec = 11025;
  f.wBitsPerSample = 8;
  f.nBlockAlign = 2;
  f.nAvgBytesPerSec = 22050;
  DSBUFFERDESC d;
  d.dwBufferBytes = 200;  // 100 frames, about 9 ms
  d.lpwfxFormat = &f;
  std::unique_ptr<IDirectSoundBuffer> b;
  ASSERT_EQ(ds_->CreateSoundBuffer(&d, &b), DS_OK);
  void *p1, *p2;
  DWORD n1, n2;
  // A lock across the end wraps to the start.
  ASSERT_EQ(b->Lock(150, 100, &p1, &n1, &p2, &n2, 0), DS_OK);
  EXPECT_EQ(n1, 50u);
  EXPECT_EQ(n2, 50u);
  EXPECT_EQ(b->Lock(0, 10, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDCALL);  // one lock at a time
  b->Unlock(p1, n1, p2, n2);
  ASSERT_EQ(b->Lock(0, 200, &p1, &n1, &p2, &n2, 0), DS_OK);
  auto* s = static_cast<uint8_t*>(p1);
  for (int i = 0; i < 100; ++i) {
    s[2 * i] = 255;    // left: top
    s[2 * i + 1] = 0;  // right: bottom
  }
  b->Unlock(p1, n1, p2, n2);
  b->Play(0, 0, DSBPLAY_LOOPING);
  clock_.Advance(50);  // several times the buffer's length
  std::vector<int16_t> out = TakeHeadlessAudio();
  EXPECT_EQ(out[2 * 2000], 32512);  // 127/128 of full scale
  EXPECT_EQ(out[2 * 2000 + 1], -32768);
  DWORD status;
  b->GetStatus(&status);
  EXPECT_EQ(status, DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
}

TEST_F(MixerTest, LongClockLeapsKeepCursorsInStep) {
  // Only the last ten seconds of a leap are mixed; the cursors still cover
  // all of it. A 15-second one-shot has ended after a minute; a one-second
  // loop is 250 ms into a turn after 60.25 s.
  auto once = MakeBuffer(Square(15 * 2000, 50), 1, 2000);
  auto loop = MakeBuffer(Square(1000, 50), 1, 1000);
  once->Play(0, 0, 0);
  loop->Play(0, 0, DSBPLAY_LOOPING);
  clock_.Advance(60250);
  DWORD status = 1, pos = 0;
  once->GetStatus(&status);
  EXPECT_EQ(status, 0u);
  loop->GetCurrentPosition(&pos, nullptr);
  EXPECT_NEAR(static_cast<double>(pos), 250 * 2, 2);  // bytes: 250 frames of 16 bits
  loop->GetStatus(&status);
  EXPECT_EQ(status, DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
  EXPECT_EQ(TakeHeadlessAudio().size(), size_t{HeadlessAudioRate} * 10 * 2);
}

TEST_F(MixerTest, LostBuffersRefuseUntilRestored) {
  auto b = MakeBuffer(Square(4410, 50), 1, 44100);
  b->Play(0, 0, DSBPLAY_LOOPING);
  ds_->ForceAllLost();
  DWORD status;
  b->GetStatus(&status);
  EXPECT_EQ(status, DSBSTATUS_BUFFERLOST);
  EXPECT_EQ(b->Play(0, 0, 0), DSERR_BUFFERLOST);
  void* p1;
  DWORD n1;
  EXPECT_EQ(b->Lock(0, 4, &p1, &n1, nullptr, nullptr, 0), DSERR_BUFFERLOST);
  std::unique_ptr<IDirectSoundBuffer> dup;
  EXPECT_EQ(ds_->DuplicateSoundBuffer(b.get(), &dup), DSERR_BUFFERLOST);
  EXPECT_EQ(b->Restore(), DS_OK);
  EXPECT_EQ(b->Play(0, 0, 0), DS_OK);
}

TEST_F(MixerTest, BadDescriptionsAreRefused) {
  WAVEFORMATEX f;
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = 1;
  f.nSamplesPerSec = 22050;
  f.wBitsPerSample = 16;
  f.nBlockAlign = 2;
  struct Case {
    uint16_t tag, channels, bits, align;
    DWORD bytes;
    HRESULT want;
  } cases[] = {
      {1, 1, 16, 2, 100, DS_OK},           {2, 1, 16, 2, 100, DSERR_BADFORMAT},
      {1, 3, 16, 6, 100, DSERR_BADFORMAT}, {1, 1, 12, 2, 100, DSERR_BADFORMAT},
      {1, 2, 16, 2, 100, DSERR_BADFORMAT}, {1, 1, 16, 2, 0, DSERR_INVALIDPARAM},
  };
  for (const Case& c : cases) {
    f.wFormatTag = c.tag;
    f.nChannels = c.channels;
    f.wBitsPerSample = c.bits;
    f.nBlockAlign = c.align;
    DSBUFFERDESC d;
    d.dwBufferBytes = c.bytes;
    d.lpwfxFormat = &f;
    std::unique_ptr<IDirectSoundBuffer> b;
    EXPECT_EQ(ds_->CreateSoundBuffer(&d, &b), c.want)
        << c.tag << " " << c.channels << " " << c.bits;
    EXPECT_EQ(b != nullptr, c.want == DS_OK);
  }
}

}  // namespace
