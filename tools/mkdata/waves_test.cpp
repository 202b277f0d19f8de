#include "tools/mkdata/waves.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "engine/sound/dxsound.h"
#include "engine/sound/wave.h"
#include "engine/sound/wavelist.h"
#include "platform/dsound/dsound.h"

namespace {

// Every wave the game plays, by archive, spelled as the game builds the
// names: effects of the form's effect list and the pilot's radio voices.
std::vector<std::string> GameEffects() {
  std::vector<std::string> names = {"score",   "menu1",   "menu2",     "weapon1",
                                    "weapon2", "weapon3", "b_weapon1", "rockets",
                                    "message", "finish",  "defeat"};
  for (int i = 1; i <= 3; ++i) names.push_back("explosion" + std::to_string(i));
  for (int kind = 1; kind <= 8; ++kind) names.push_back("bonus" + std::to_string(kind));
  return names;
}

std::vector<std::string> GameVoices() {
  const int variants[] = {4, 3, 2, 1, 1, 2, 3, 3};  // per category 1..8
  std::vector<std::string> names;
  for (int c = 1; c <= 8; ++c)
    for (int v = 1; v <= variants[c - 1]; ++v)
      names.push_back(std::to_string(c) + "b" + std::to_string(v));
  return names;
}

std::vector<uint8_t> ReadFile(const std::filesystem::path& p) {
  TMemoryStream m;
  m.LoadFromFile(p.string());
  return m.Bytes();
}

class WaveArchivesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("tal_waves_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::filesystem::path dir_;
};

TEST_F(WaveArchivesTest, EveryNameTheGamePlaysResolves) {
  WriteWaveArchives(dir_.string());
  // The device is the judge of a format block: every wave must load into a
  // sound buffer.
  RegisterDirectSoundModule();
  TDirectSound device(nullptr);
  struct Case {
    const char* file;
    std::vector<std::string> names;
  } cases[] = {{"snd.tor", GameEffects()}, {"vc.tor", GameVoices()}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    TWaveCollection list(nullptr);
    list.LoadFromFile((dir_ / "sound" / c.file).string());
    for (const std::string& name : c.names) {
      SCOPED_TRACE(name);
      TWaveCollectionItem* item = nullptr;
      ASSERT_NO_THROW(item = list.Find(name));
      const TWave& w = item->Wave();
      ASSERT_GE(w.FormatSize(), 16);
      WAVEFORMATEX f;
      std::memcpy(&f, w.Format(), 16);
      EXPECT_EQ(f.wFormatTag, WAVE_FORMAT_PCM);
      // Long enough to hear, and not silent.
      EXPECT_GE(w.Size() / f.nBlockAlign * 1000 / static_cast<int>(f.nSamplesPerSec), 20);
      int peak = 0;
      for (int i = 0; i < w.Size() / f.nBlockAlign; ++i) {
        int v = f.wBitsPerSample == 16
                    ? static_cast<int16_t>(w.Data()[2 * i] | (w.Data()[2 * i + 1] << 8))
                    : (w.Data()[i] - 128) * 256;
        peak = std::max(peak, std::abs(v));
      }
      EXPECT_GT(peak, 16000);
      TDirectSoundBuffer buffer(&device);
      EXPECT_NO_THROW(buffer.LoadFromWave(w));
    }
    // Nothing in the archive that the game does not play.
    EXPECT_EQ(list.Count(), static_cast<int>(c.names.size()));
  }
}

TEST_F(WaveArchivesTest, WrittenReadAndWrittenAgainAreByteIdentical) {
  WriteWaveArchives(dir_.string());
  for (const char* file : {"snd.tor", "vc.tor"}) {
    SCOPED_TRACE(file);
    const std::vector<uint8_t> first = ReadFile(dir_ / "sound" / file);
    TWaveCollection list(nullptr);
    list.LoadFromFile((dir_ / "sound" / file).string());
    TMemoryStream again;
    list.SaveToStream(again);
    EXPECT_EQ(again.Bytes(), first);
  }
  // And a second run of the generator writes the same bytes.
  const std::filesystem::path second = dir_ / "second";
  WriteWaveArchives(second.string());
  for (const char* file : {"snd.tor", "vc.tor"})
    EXPECT_EQ(ReadFile(second / "sound" / file), ReadFile(dir_ / "sound" / file)) << file;
}

TEST(WaveTableTest, NamesAreUniqueWithinAnArchive) {
  std::set<std::string> seen;
  for (const TWaveRecipe& s : WaveTable())
    EXPECT_TRUE(seen.insert(std::string(s.Archive) + "/" + s.Name).second) << s.Name;
}

}  // namespace
