// The WAV, Ogg Vorbis and WMA readers on files made in the test.
#include "music/stream_files.h"

#include <gtest/gtest.h>

#include <cstring>

#include "music/music_fixtures.h"

namespace mf = music_fixtures;

namespace {

TEST(WAVfile, HeaderTestsAndDuration) {
  struct TCase {
    const char* Name;
    uint16_t Channels;
    uint32_t Rate;
    const char* Riff;
    bool Valid;
    double Duration;
  };
  const TCase cases[] = {
      {"stereo 44100", 2, 44100, "RIFF", true, 1.0},
      {"mono 22050", 1, 22050, "RIFF", true, 4.0},
      {"96000 kept whole", 2, 96000, "RIFF", true, 176400.0 * 8 / 96000 / 16 / 2},
      {"three channels", 3, 44100, "RIFF", false, 0},
      {"not RIFF", 2, 44100, "RIFX", false, 0},
      {"zero rate", 2, 0, "RIFF", true, 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<uint8_t> bytes = mf::WavBytes(std::vector<int16_t>(88200, 0), c.Rate, c.Channels);
    std::memcpy(bytes.data(), c.Riff, 4);
    TWAVfile w;
    ASSERT_TRUE(w.ReadFromFile(mf::WriteBytes("t.wav", bytes)));
    EXPECT_EQ(w.Valid, c.Valid);
    if (c.Valid) {
      EXPECT_EQ(w.SampleRate, c.Rate);
      EXPECT_EQ(w.Channels, c.Channels);
      EXPECT_EQ(w.BitsPerSample, 16);
      EXPECT_EQ(w.FileSize, 44 + 176400);
    }
    EXPECT_DOUBLE_EQ(w.GetDuration(), c.Duration);
  }
  TWAVfile w;
  EXPECT_FALSE(w.ReadFromFile(mf::WriteBytes("short.wav", std::vector<uint8_t>(43, 0))));
  EXPECT_FALSE(w.ReadFromFile(mf::TempDir() + "/missing.wav"));
}

// A RIFF size of 0 or all ones (a writer that streamed the file) or beyond
// the file (a cut download) says nothing of the samples: they run to the end
// of the file. A true size still counts, trailing chunks or not.
TEST(WAVfile, ASizeTheFileCannotHoldGivesWayToTheFile) {
  const std::vector<uint8_t> wav = mf::WavBytes(std::vector<int16_t>(88200, 0));
  const int32_t whole = 44 + 176400;
  const struct {
    const char* Name;
    uint32_t Riff;
    size_t Trailing;  // bytes after the samples
    int32_t FileSize;
  } cases[] = {
      // clang-format off
      {"0", 0, 0, whole},
      {"all ones", 0xFFFFFFFF, 0, whole},
      {"twice the file", 2 * whole, 0, whole},
      {"one byte past the file", whole - 8 + 1, 0, whole},
      {"true, a chunk follows", whole - 8, 100, whole},
      {"true, taking in part of that chunk", whole - 8 + 50, 100, whole + 50},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<uint8_t> bytes = wav;
    for (int k = 0; k < 4; ++k) bytes[4 + k] = static_cast<uint8_t>(c.Riff >> 8 * k);
    bytes.resize(bytes.size() + c.Trailing, 0);
    TWAVfile w;
    ASSERT_TRUE(w.ReadFromFile(mf::WriteBytes("sizes.wav", bytes)));
    ASSERT_TRUE(w.Valid);
    EXPECT_EQ(w.FileSize, c.FileSize);
    EXPECT_DOUBLE_EQ(w.GetDuration(), (c.FileSize - 44) / 176400.0);
  }
}

TEST(OggVorbis, HeadersCommentsAndLength) {
  const std::string path = mf::WriteOgg(
      "tags.ogg", 10.0,
      {"TITLE=Title", "PERFORMER=Performer", "TRACKNUMBER=4/10", "DATE=2001", "GENRE=Game",
       "DESCRIPTION=Description", "album=\xD0\x90\xD0\xB1", "TITLE=Later title", "EMOJI=x"});
  TOggVorbis o;
  ASSERT_TRUE(o.ReadFromFile(path));
  EXPECT_TRUE(o.IsValid());
  EXPECT_EQ(o.Channels, 2);
  EXPECT_EQ(o.SampleRate, 44100u);
  EXPECT_EQ(o.Samples, 441000);
  EXPECT_DOUBLE_EQ(o.GetDuration(), 10.0);
  EXPECT_GT(o.GetBitRate(), 0);
  EXPECT_EQ(o.Title, "Later title");
  EXPECT_EQ(o.Artist, "Performer");
  EXPECT_EQ(o.Album, "\xC0\xE1") << "UTF-8 Cyrillic in code page 1251";
  EXPECT_EQ(o.Track, 4);
  EXPECT_EQ(o.Year, "2001");
  EXPECT_EQ(o.Genre, "Game");
  EXPECT_EQ(o.Comment, "Description");

  // 96 kHz keeps its rate.
  TOggVorbis hi;
  ASSERT_TRUE(hi.ReadFromFile(mf::WriteOgg("hi.ogg", 1.0, {}, 96000)));
  EXPECT_EQ(hi.SampleRate, 96000u);
  EXPECT_NEAR(hi.GetDuration(), 1.0, 1e-9);
}

TEST(OggVorbis, DurationWithoutTheLastPageComesFromTheNominalRate) {
  // Only the first two pages of a real file, then padding with no page.
  const std::string full = mf::WriteOgg("cut.ogg", 1.0, {"TITLE=x"});
  std::FILE* f = std::fopen(full.c_str(), "rb");
  std::vector<uint8_t> bytes(8000);
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
  std::fclose(f);
  // Keep the identification and comment pages; blank everything after.
  size_t second = 0;
  for (size_t i = 4; i + 4 < bytes.size(); ++i)
    if (!std::memcmp(&bytes[i], "OggS", 4)) {
      if (second) {
        std::fill(bytes.begin() + static_cast<ptrdiff_t>(i), bytes.end(), 0);
        break;
      }
      second = i;
    }
  bytes.resize(1280000, 0);
  TOggVorbis o;
  ASSERT_TRUE(o.ReadFromFile(mf::WriteBytes("nolast.ogg", bytes)));
  EXPECT_EQ(o.Samples, 0);
  ASSERT_GT(o.BitRateNominal, 0);
  EXPECT_DOUBLE_EQ(o.GetDuration(), 1280000.0 / o.BitRateNominal / 2 / 125 * 2);
}

TEST(OggVorbis, HostileFilesGiveFalse) {
  TOggVorbis o;
  EXPECT_FALSE(o.ReadFromFile(mf::TempDir() + "/missing.ogg")) << "no exception for a missing file";
  EXPECT_FALSE(o.ReadFromFile(mf::WriteBytes("tiny.ogg", {'O', 'g', 'g', 'S'})));
  EXPECT_EQ(o.FileSize, 0);
  // A comment count far beyond the file stops at its end.
  const std::string path = mf::WriteOgg("count.ogg", 0.5, {"TITLE=a"});
  std::FILE* f = std::fopen(path.c_str(), "rb");
  std::vector<uint8_t> bytes(200000);
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
  std::fclose(f);
  for (size_t i = 0; i + 7 < bytes.size(); ++i)
    if (bytes[i] == 3 && !std::memcmp(&bytes[i + 1], "vorbis", 6)) {
      const uint32_t vendor = bytes[i + 7] | bytes[i + 8] << 8;
      std::memset(&bytes[i + 11 + vendor], 0xFF, 4);
      break;
    }
  ASSERT_TRUE(o.ReadFromFile(mf::WriteBytes("count_bad.ogg", bytes)));
}

TEST(OggVorbis, Utf8DecodingStopsAtTheFirstBadSequence) {
  const struct {
    const char* In;
    std::u16string Out;
  } cases[] = {
      {"plain", u"plain"},         {"\xD0\x90", u"\u0410"},
      {"\xE2\x82\xAC", u"\u20AC"}, {"\xF0\x9F\x8E\xB5x", u"\U0001F3B5x"},
      {"ab\xC3", u"ab"},           {"ab\xE2\x82(", u"ab"},
      {"ab\x80z", u"ab"},
  };
  for (const auto& c : cases) EXPECT_EQ(VorbisUtf8ToWide(c.In), c.Out) << c.In;
}

TEST(WMAfile, MuxedFileReadsItsProperties) {
  const std::string path = mf::WriteWma("t.wma", 2.0, "Muxed");
  ASSERT_FALSE(path.empty());
  TWMAfile w;
  ASSERT_TRUE(w.ReadFromFile(path));
  EXPECT_TRUE(w.Valid);
  EXPECT_EQ(w.Channels, 2);
  EXPECT_EQ(w.SampleRate, 44100);
  EXPECT_EQ(w.Title, u"Muxed");
  EXPECT_GT(w.BitRate, 0);
  EXPECT_GT(w.Duration, 0.0);
}

// ASF header objects built by hand.
struct TAsf {
  std::vector<uint8_t> Objects;
  uint32_t Count = 0;
  void Add(const uint8_t (&guid)[16], const std::vector<uint8_t>& body) {
    Objects.insert(Objects.end(), guid, guid + 16);
    mf::Put32(Objects, static_cast<uint32_t>(24 + body.size()));
    mf::Put32(Objects, 0);
    Objects.insert(Objects.end(), body.begin(), body.end());
    ++Count;
  }
  std::vector<uint8_t> Bytes() const {
    static const uint8_t header[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                       0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
    std::vector<uint8_t> v(header, header + 16);
    mf::Put32(v, static_cast<uint32_t>(30 + Objects.size()));
    mf::Put32(v, 0);
    mf::Put32(v, Count);
    v.push_back(1);
    v.push_back(2);
    v.insert(v.end(), Objects.begin(), Objects.end());
    return v;
  }
};
const uint8_t kFileProps[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
const uint8_t kStreamProps[16] = {0x91, 0x07, 0xDC, 0xB7, 0xB7, 0xA9, 0xCF, 0x11,
                                  0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
const uint8_t kExtended[16] = {0x40, 0xA4, 0xD0, 0xD2, 0x07, 0xE3, 0xD2, 0x11,
                               0x97, 0xF0, 0x00, 0xA0, 0xC9, 0x5E, 0xA8, 0x50};

void PutWide(std::vector<uint8_t>& v, const std::u16string& s) {
  mf::Put16(v, static_cast<uint32_t>(s.size() * 2 + 2));
  for (char16_t c : s) mf::Put16(v, c);
  mf::Put16(v, 0);
}

TAsf Basic(uint32_t maxBitRate) {
  TAsf a;
  std::vector<uint8_t> fp(100 - 24, 0);
  mf::Put32(fp, maxBitRate);
  a.Add(kFileProps, fp);
  std::vector<uint8_t> sp(80 - 24, 0);
  mf::Put16(sp, 2);
  mf::Put32(sp, 44100);
  mf::Put32(sp, 16000);
  a.Add(kStreamProps, sp);
  return a;
}

TEST(WMAfile, DescriptorsOfOtherTypesAreSkipped) {
  TAsf a = Basic(128000);
  std::vector<uint8_t> ext;
  mf::Put16(ext, 3);
  PutWide(ext, u"WM/Track");
  mf::Put16(ext, 3);  // a 32-bit number
  mf::Put16(ext, 4);
  mf::Put32(ext, 7);
  PutWide(ext, u" wm/albumtitle ");
  mf::Put16(ext, 0);
  PutWide(ext, u"Album");
  PutWide(ext, u"WM/Year");
  mf::Put16(ext, 0);
  PutWide(ext, u"1998");
  a.Add(kExtended, ext);
  TWMAfile w;
  ASSERT_TRUE(w.ReadFromFile(mf::WriteBytes("ext.wma", a.Bytes())));
  ASSERT_TRUE(w.Valid);
  EXPECT_EQ(w.Track, 0);
  EXPECT_EQ(w.Album, u"Album");
  EXPECT_EQ(w.Year, u"1998");
  EXPECT_EQ(w.BitRate, 128);

  ASSERT_TRUE(w.ReadFromFile(mf::WriteBytes("zero.wma", Basic(0).Bytes())));
  EXPECT_FALSE(w.Valid) << "a maximum bit rate of 0";

  // An object claiming less than its own header, and a file cut short.
  TAsf bad = Basic(128000);
  std::vector<uint8_t> bytes = bad.Bytes();
  bytes[30 + 16] = 4;
  EXPECT_FALSE(w.ReadFromFile(mf::WriteBytes("small.wma", bytes)));
  bytes = Basic(128000).Bytes();
  bytes.resize(60);
  EXPECT_FALSE(w.ReadFromFile(mf::WriteBytes("cut.wma", bytes)));
}

}  // namespace
