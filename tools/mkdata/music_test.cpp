#include "tools/mkdata/music.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "music/mpeg_audio.h"

namespace {

std::vector<uint8_t> ReadAll(const std::filesystem::path& p) {
  std::vector<uint8_t> v(std::filesystem::file_size(p));
  std::FILE* f = std::fopen(p.string().c_str(), "rb");
  if (f) {
    v.resize(std::fread(v.data(), 1, v.size(), f));
    std::fclose(f);
  }
  return v;
}

TEST(MusicFiles, WrittenTwiceTheyAreTheSameValidLoopsOfWholeBars) {
  const auto base =
      std::filesystem::temp_directory_path() / ("tal_mkdata_music_" + std::to_string(::getpid()));
  WriteMusicFiles((base / "a").string());
  WriteMusicFiles((base / "b").string());
  for (const TMusicTheme& th : MusicThemes()) {
    SCOPED_TRACE(th.File);
    const auto a = ReadAll(base / "a" / th.File);
    EXPECT_EQ(a, ReadAll(base / "b" / th.File));
    const double loop = 60.0 / th.Bpm * 4 * th.Bars;
    EXPECT_GE(loop, 20.0);
    EXPECT_LE(loop, 40.0);
    EXPECT_EQ(SynthesizeTheme(th).size(), static_cast<size_t>(std::llround(loop * 44100)) * 2);
    TMPEGaudio m;
    ASSERT_TRUE(m.ReadFromFile((base / "a" / th.File).string()));
    EXPECT_TRUE(m.IsValid());
    EXPECT_TRUE(m.VBR.Found) << "a Xing header";
    EXPECT_TRUE(m.ID3v1.Exists);
    EXPECT_TRUE(m.ID3v2.Exists);
    EXPECT_EQ(m.ID3v1.Title, th.Title);
    // The encoder's padding aside, the file lasts the loop.
    EXPECT_NEAR(m.GetDuration(), loop, 0.1);
  }
  std::filesystem::remove_all(base);
}

}  // namespace
