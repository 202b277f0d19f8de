#include "engine/sound/wavelist.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/sound/sound_fixture.h"
#include "framework/filer.h"

namespace {

class WaveListTest : public SoundTest {
 protected:
  // A list on an initialised sound component holding one item.
  TWaveCollectionItem* MakeItem(int Ms, bool InitSound = true) {
    sound_ = MakeSound(InitSound);
    list_ = new TDXWaveList(form_.get());
    list_->SetDXSound(sound_);
    auto* item = static_cast<TWaveCollectionItem*>(list_->Items().Add());
    item->SetName("shot");
    MakeTone(item->Wave(), Ms);
    list_->Items().Restore();
    return item;
  }

  TDXSound* sound_ = nullptr;
  TDXWaveList* list_ = nullptr;
};

TEST_F(WaveListTest, VoicePolicySequence) {
  // Each row: the voices after the play, named by when they were made, and
  // the one that sounded.
  struct Step {
    std::vector<int> voices;
    int played;
  };
  struct Case {
    int max;
    std::vector<Step> steps;
  } cases[] = {
      {2, {{{0}, 0}, {{0, 1}, 1}, {{1, 0}, 0}, {{0, 1}, 1}}},
      {0, {{{0}, 0}, {{0, 1}, 1}, {{0, 1, 2}, 2}, {{0, 1, 2, 3}, 3}}},
      {1, {{{0}, 0}, {{0}, 0}, {{0}, 0}, {{0}, 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.max);
    TWaveCollectionItem* item = MakeItem(2000);
    item->SetMaxPlayingCount(c.max);
    std::vector<TDirectSoundBuffer*> made;
    for (const Step& s : c.steps) {
      item->Play();
      for (int i = 0; i < item->VoiceCount(); ++i)
        if (std::find(made.begin(), made.end(), item->Voices(i)) == made.end())
          made.push_back(item->Voices(i));
      std::vector<int> names;
      for (int i = 0; i < item->VoiceCount(); ++i)
        names.push_back(
            static_cast<int>(std::find(made.begin(), made.end(), item->Voices(i)) - made.begin()));
      EXPECT_EQ(names, s.voices);
      DWORD pos = 1;
      made[static_cast<size_t>(s.played)]->IDSBuffer()->GetCurrentPosition(&pos, nullptr);
      EXPECT_EQ(pos, 0u);  // restarted just now
      HeadlessAdvance(100);
    }
    delete list_;
  }
}

TEST_F(WaveListTest, FinishedVoicesAreReused) {
  TWaveCollectionItem* item = MakeItem(50);
  item->Play();
  HeadlessAdvance(200);
  item->Play();
  EXPECT_EQ(item->VoiceCount(), 1);
  EXPECT_TRUE(item->Voices(0)->Playing());
}

TEST_F(WaveListTest, LoopedItemRestartsItsMainBuffer) {
  TWaveCollectionItem* item = MakeItem(100);
  item->SetLooped(true);
  item->Play();
  HeadlessAdvance(250);  // past its end: still going round
  TDirectSoundBuffer* main = item->Buffer();
  EXPECT_EQ(main->GetStatus(), DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
  item->Play();
  DWORD pos = 1;
  main->IDSBuffer()->GetCurrentPosition(&pos, nullptr);
  EXPECT_EQ(pos, 0u);
  EXPECT_EQ(item->VoiceCount(), 0);
  item->SetLooped(false);  // stops it
  EXPECT_FALSE(main->Playing());
}

TEST_F(WaveListTest, WaitingPlayReturnsWhenTheSoundEnds) {
  TWaveCollectionItem* item = MakeItem(300);
  const DWORD start = timeGetTime();
  item->Play(true);
  const DWORD waited = timeGetTime() - start;
  EXPECT_GE(waited, 300u);
  EXPECT_LE(waited, 320u);
  EXPECT_FALSE(item->Voices(0)->Playing());

  // With time standing still the sound never ends; the wait still does.
  struct TFrozenClock : TClockSource {
    uint64_t us;
    int sleeps = 0;
    explicit TFrozenClock(uint64_t Us) : us(Us) {}
    uint64_t Microseconds() override { return us; }
    void Sleep(uint32_t) override { ++sleeps; }
  } frozen(HeadlessClock().Microseconds());
  SetClockSource(&frozen);
  item->Play(true);
  EXPECT_TRUE(item->Voices(0)->Playing());
  SetClockSource(&HeadlessClock());
  EXPECT_GE(frozen.sleeps, 30);
  EXPECT_LE(frozen.sleeps, 80);
}

TEST_F(WaveListTest, SettersReachTheMainBufferAndPlaysTheVoice) {
  TWaveCollectionItem* item = MakeItem(500);
  item->SetVolume(-1200);
  item->SetPan(300);
  LONG v = 0, p = 0;
  item->Buffer()->IDSBuffer()->GetVolume(&v);
  item->Buffer()->IDSBuffer()->GetPan(&p);
  EXPECT_EQ(v, -1200);
  EXPECT_EQ(p, 300);
  item->Frequency = 44100;
  item->Play();
  DWORD hz = 0;
  item->Voices(0)->IDSBuffer()->GetVolume(&v);
  item->Voices(0)->IDSBuffer()->GetFrequency(&hz);
  EXPECT_EQ(v, -1200);
  EXPECT_EQ(hz, 44100u);
  item->Stop();
  EXPECT_FALSE(item->Voices(0)->Playing());
}

TEST_F(WaveListTest, PlayedWaveReachesTheOutputWithItsVolumeAndPan) {
  TWaveCollectionItem* item = MakeItem(500);
  item->SetVolume(-600);
  item->SetPan(10000);  // right only
  TakeHeadlessAudio();
  item->Play();
  HeadlessAdvance(100);
  std::vector<int16_t> out = TakeHeadlessAudio();
  int left = 0, right = 0;
  for (size_t i = 0; i + 1 < out.size(); i += 2) {
    left = std::max(left, std::abs(int{out[i]}));
    right = std::max(right, std::abs(int{out[i + 1]}));
  }
  EXPECT_EQ(left, 0);
  EXPECT_NEAR(right, 20000 * std::pow(10.0, -0.3), 60);  // the tone's peak, 6 dB down
}

TEST_F(WaveListTest, EmptyWaveDoesNothing) {
  TWaveCollectionItem* item = MakeItem(100);
  item->Wave().Clear();
  item->Finalize();
  item->Initialize();
  EXPECT_TRUE(item->Initialized());
  EXPECT_EQ(item->Buffer(), nullptr);
  for (bool looped : {false, true}) {
    item->SetLooped(looped);
    EXPECT_NO_THROW(item->Play());
    EXPECT_NO_THROW(item->Stop());
    EXPECT_NO_THROW(item->SetPan(100));
    EXPECT_NO_THROW(item->SetVolume(-100));
  }
  EXPECT_EQ(item->VoiceCount(), 0);
}

TEST_F(WaveListTest, RefusedVoiceIsNotKept) {
  TWaveCollectionItem* item = MakeItem(500);
  DSoundFaults().Duplicate = DSERR_OUTOFMEMORY;
  EXPECT_NO_THROW(item->Play());
  EXPECT_EQ(item->VoiceCount(), 0);
  item->Play();  // the device takes it this time
  EXPECT_EQ(item->VoiceCount(), 1);
  EXPECT_TRUE(item->Voices(0)->Playing());
}

TEST_F(WaveListTest, LostBuffersAreRebuiltOnPlay) {
  TWaveCollectionItem* item = MakeItem(500);
  item->Play();
  HeadlessAdvance(600);
  sound_->DSound()->IDSound()->ForceAllLost();
  item->Play();
  ASSERT_EQ(item->VoiceCount(), 1);
  EXPECT_EQ(item->Voices(0)->GetStatus(), DSBSTATUS_PLAYING);
  EXPECT_FALSE(item->Buffer()->Lost());
  // And a voice lost on its own while the main buffer is fine.
  HeadlessAdvance(600);
  item->Voices(0)->IDSBuffer()->ForceLost();
  item->Play();
  EXPECT_EQ(item->Voices(0)->GetStatus(), DSBSTATUS_PLAYING);
}

TEST_F(WaveListTest, SilentWithoutAnInitialisedSoundComponent) {
  DSoundFaults().Create = DSERR_NODRIVER;
  TWaveCollectionItem* item = MakeItem(100);
  EXPECT_FALSE(item->Initialized());
  EXPECT_NO_THROW(item->Play());
  EXPECT_NO_THROW(item->Stop());
  EXPECT_EQ(item->Buffer(), nullptr);
}

TEST_F(WaveListTest, FindRaisesForUnknownNames) {
  TWaveCollectionItem* item = MakeItem(10);
  EXPECT_EQ(list_->Items().Find("SHOT"), item);
  try {
    list_->Items().Find("boom");
    ADD_FAILURE();
  } catch (const EWaveCollectionError& e) {
    EXPECT_EQ(e.Message(), "Wave 'boom' not found");
  }
}

TEST_F(WaveListTest, ArchiveKeepsStoredFieldsAndResetsTheRest) {
  TWaveCollectionItem* item = MakeItem(20, false);
  item->SetLooped(true);
  item->SetMaxPlayingCount(300);
  item->Frequency = 11025;
  item->SetPan(500);
  item->SetVolume(-700);
  auto* empty = static_cast<TWaveCollectionItem*>(list_->Items().Add());
  empty->SetName("silence");
  TMemoryStream m;
  list_->Items().SaveToStream(m);

  // Read into a list whose component is up: buffers are made at once.
  TDXSound* up = MakeSound();
  TDXWaveList other(nullptr);
  other.SetDXSound(up);
  m.SetPosition(0);
  other.Items().LoadFromStream(m);
  ASSERT_EQ(other.Items().Count(), 2);
  TWaveCollectionItem* back = other.Items().Find("shot");
  EXPECT_TRUE(back->Looped());
  EXPECT_EQ(back->MaxPlayingCount(), 300);
  EXPECT_EQ(back->Frequency, 0);
  EXPECT_EQ(back->Pan(), 0);
  EXPECT_EQ(back->Volume(), 0);
  ASSERT_EQ(back->Wave().Size(), item->Wave().Size());
  EXPECT_EQ(std::memcmp(back->Wave().Data(), item->Wave().Data(),
                        static_cast<size_t>(item->Wave().Size())),
            0);
  EXPECT_TRUE(back->Initialized());
  EXPECT_EQ(up->DSound()->BufferCount(), 2);  // the primary and "shot"
  EXPECT_EQ(other.Items().Find("silence")->Wave().Size(), 0);

  // Saved again, the bytes are the same.
  TMemoryStream again;
  other.Items().SaveToStream(again);
  // Frequency, pan and volume are not stored, so they cannot differ.
  EXPECT_EQ(again.Bytes(), m.Bytes());
  other.SetDXSound(nullptr);
  EXPECT_FALSE(back->Initialized());

  // Read into a list whose component is not up yet: buffers come with it.
  TDXSound* later = MakeSound(false);
  TDXWaveList third(nullptr);
  third.SetDXSound(later);
  m.SetPosition(0);
  third.Items().LoadFromStream(m);
  EXPECT_FALSE(third.Items().Find("shot")->Initialized());
  later->Initialize();
  EXPECT_TRUE(third.Items().Find("shot")->Initialized());
  EXPECT_EQ(later->DSound()->BufferCount(), 2);
}

TEST_F(WaveListTest, ArchiveHeaderAndBadInput) {
  TWaveCollectionItem* item = MakeItem(5, false);
  (void)item;
  TMemoryStream m;
  list_->Items().SaveToStream(m);
  const auto& b = m.Bytes();
  ASSERT_GT(b.size(), 40u);
  EXPECT_EQ(b[0], 0xFF);
  EXPECT_EQ(b[1], 10);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[3]), 22), "VALTORIXWAVECOLLECTION");

  std::vector<uint8_t> bad = b;
  bad[0] = 0;
  TByteStream s(bad.data(), bad.size());
  try {
    list_->Items().LoadFromStream(s);
    ADD_FAILURE();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Invalid stream format");
  }
  // A RIFF file broken inside the archive: the wave's own error.
  std::vector<uint8_t> broken = b;
  auto riff = std::search(broken.begin(), broken.end(), std::begin("RIFF"), std::end("RIFF") - 1);
  ASSERT_NE(riff, broken.end());
  riff[0] = 'X';
  TByteStream s2(broken.data(), broken.size());
  try {
    list_->Items().LoadFromStream(s2);
    ADD_FAILURE();
  } catch (const EWaveStreamError& e) {
    EXPECT_EQ(e.Message(), "Wave is invalid in wave 'shot'");
  }
}

}  // namespace
