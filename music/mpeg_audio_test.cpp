// The MP3 readers on files built byte by byte in the test.
#include "music/mpeg_audio.h"

#include <gtest/gtest.h>
#include <mpg123.h>

#include <cstring>

#include "music/music_fixtures.h"

namespace mf = music_fixtures;

namespace {

std::vector<uint8_t> Id3v1(uint8_t b125, uint8_t b126, uint8_t genre) {
  std::vector<uint8_t> t(128, ' ');
  std::memcpy(t.data(), "TAG", 3);
  std::memcpy(t.data() + 3, "Title", 5);
  std::memcpy(t.data() + 33, "Artist\x01", 7);
  std::memcpy(t.data() + 93, "1999", 4);
  for (int i = 0; i < 30; ++i) t[97 + i] = static_cast<uint8_t>('a' + i % 26);
  t[125] = b125;
  t[126] = b126;
  t[127] = genre;
  return t;
}

TEST(ID3v1, VersionCommentTrackAndGenreFollowTheLastBytes) {
  struct TCase {
    uint8_t B125, B126, Genre;
    uint8_t Version;
    size_t CommentLength;
    uint8_t Track;
    const char* GenreName;
  };
  const TCase cases[] = {
      {0, 7, 147, 2, 28, 7, "Synthpop"},
      {0, 0, 0, 1, 28, 0, "Blues"},  // 30-byte field, trailing zeros trimmed
      {' ', 'x', 255, 2, 28, 'x', ""},
      {'y', 'z', 148, 1, 30, 0, ""},
  };
  for (const TCase& c : cases) {
    std::vector<uint8_t> file(500, 0);
    const std::vector<uint8_t> tag = Id3v1(c.B125, c.B126, c.Genre);
    file.insert(file.end(), tag.begin(), tag.end());
    TID3v1 r;
    ASSERT_TRUE(r.ReadFromFile(mf::WriteBytes("v1.mp3", file)));
    EXPECT_TRUE(r.Exists);
    EXPECT_EQ(r.VersionID, c.Version);
    EXPECT_EQ(r.Comment.size(), c.CommentLength);
    EXPECT_EQ(r.Track, c.Track);
    EXPECT_EQ(r.GetGenre(), c.GenreName);
    EXPECT_EQ(r.Title, "Title");
    EXPECT_EQ(r.Artist, "Artist") << "control characters trimmed";
    EXPECT_EQ(r.Year, "1999");
  }
  TID3v1 r;
  EXPECT_FALSE(r.ReadFromFile(mf::WriteBytes("short.mp3", std::vector<uint8_t>(127, 0))));
  EXPECT_FALSE(r.ReadFromFile(mf::TempDir() + "/missing.mp3"));
  ASSERT_TRUE(r.ReadFromFile(mf::WriteBytes("notag.mp3", std::vector<uint8_t>(200, 0))));
  EXPECT_FALSE(r.Exists);
  EXPECT_EQ(r.GenreID, 255);
}

// An ID3v2 tag of the given frames (name, content) behind a 10-byte header.
std::vector<uint8_t> Id3v2(uint8_t version,
                           const std::vector<std::pair<std::string, std::vector<uint8_t>>>& frames,
                           uint8_t flags = 0, int extraSize = 0) {
  std::vector<uint8_t> body;
  for (const auto& [name, content] : frames) {
    body.insert(body.end(), name.begin(), name.end());
    const uint32_t n = static_cast<uint32_t>(content.size());
    if (version == 2) {
      body.insert(body.end(), {uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)});
    } else {
      body.insert(body.end(),
                  {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n), 0, 0});
    }
    body.insert(body.end(), content.begin(), content.end());
  }
  body.resize(body.size() + 16, 0);
  const uint32_t size = static_cast<uint32_t>(body.size()) + static_cast<uint32_t>(extraSize);
  std::vector<uint8_t> t = {'I',
                            'D',
                            '3',
                            version,
                            0,
                            flags,
                            uint8_t((size >> 21) & 0x7F),
                            uint8_t((size >> 14) & 0x7F),
                            uint8_t((size >> 7) & 0x7F),
                            uint8_t(size & 0x7F)};
  t.insert(t.end(), body.begin(), body.end());
  if (flags & 0x10) t.resize(t.size() + 10, 0);
  return t;
}

std::vector<uint8_t> Latin(const std::string& s) {
  std::vector<uint8_t> v{0};
  v.insert(v.end(), s.begin(), s.end());
  return v;
}

TEST(ID3v2, FramesOfEachVersionFeedTheFields) {
  const std::vector<uint8_t> utf16 = {1,   0xFF, 0xFE, 'A', 0,
                                      'B', 0,    0xFF, 0};  // "ABÿ" with its BOM
  const std::vector<uint8_t> utf16be = {1, 0xFE, 0xFF, 0, 'C', 0, 'D'};
  // COMM: encoding 1, language, description "d" in UTF-16 (its terminator
  // starts on an odd offset of the content), then the text.
  const std::vector<uint8_t> comm = {1, 'e', 'n',  'g',  0xFF, 0xFE, 'd', 0,
                                     0, 0,   0xFF, 0xFE, 'h',  0,    'i', 0};
  for (uint8_t version : {3, 4}) {
    SCOPED_TRACE(version);
    const auto tag = Id3v2(version, {{"TIT2", utf16},
                                     {"TPE1", utf16be},
                                     {"TOPE", Latin("Other")},
                                     {"TALB", {}},
                                     {"TOAL", Latin("Original album")},
                                     {"TRCK", Latin("3/12")},
                                     {"TDRC", Latin("2004-05-06")},
                                     {"TCON", Latin("(17)Rock")},
                                     {"COMM", comm},
                                     {"TIT1", {3, 'x'}}});
    std::vector<uint8_t> file = tag;
    file.resize(file.size() + 300, 0);
    TID3v2 r;
    ASSERT_TRUE(r.ReadFromFile(mf::WriteBytes("v2.mp3", file)));
    EXPECT_TRUE(r.Exists);
    EXPECT_EQ(r.VersionID, version);
    EXPECT_EQ(r.Size, static_cast<int32_t>(tag.size()));
    // U+00FF is a letter, not a byte-order mark; code page 1251 has no
    // place for it and shows it as '?'.
    EXPECT_EQ(r.Title, "AB?");
    EXPECT_EQ(r.Artist, "CD");
    EXPECT_EQ(r.Album, "Original album");
    EXPECT_EQ(r.Track, 3);
    EXPECT_EQ(r.Year, "2004");
    EXPECT_EQ(r.Genre, "Rock");
    EXPECT_EQ(r.Comment, "hi");
  }
  // Version 2.2 names, a bare genre number and a track that is not a number.
  std::vector<uint8_t> file =
      Id3v2(2, {{"TT2", Latin("Two")}, {"TRK", Latin("x/12")}, {"TCO", Latin("(13)")}});
  file.resize(file.size() + 300, 0);
  TID3v2 r;
  ASSERT_TRUE(r.ReadFromFile(mf::WriteBytes("v22.mp3", file)));
  EXPECT_EQ(r.Title, "Two");
  EXPECT_EQ(r.Track, 0);
  EXPECT_EQ(r.Genre, "");
}

TEST(ID3v2, SizeCountsTheFooterAndMustFitTheFile) {
  std::vector<uint8_t> file = Id3v2(4, {{"TIT2", Latin("T")}}, 0x10);
  const size_t tagSize = file.size();
  file.resize(file.size() + 100, 0);
  TID3v2 r;
  ASSERT_TRUE(r.ReadFromFile(mf::WriteBytes("footer.mp3", file)));
  EXPECT_EQ(r.Size, static_cast<int32_t>(tagSize));
  EXPECT_EQ(r.Title, "T");

  std::vector<uint8_t> big = Id3v2(3, {{"TIT2", Latin("T")}}, 0, 100000);
  ASSERT_TRUE(r.ReadFromFile(mf::WriteBytes("big.mp3", big)));
  EXPECT_TRUE(r.Exists);
  EXPECT_EQ(r.Size, 0);
  EXPECT_EQ(r.Title, "");
  EXPECT_FALSE(r.ReadFromFile(mf::WriteBytes("nine.mp3", std::vector<uint8_t>(9, 'I'))));
}

// A frame header: MPEG version bits, layer bits, rate indexes, padding and
// mode; no CRC.
std::array<uint8_t, 4> Header(int ver, int layer, int br, int sr, bool pad, int mode) {
  return {0xFF, uint8_t(0xE0 | ver << 3 | layer << 1 | 1),
          uint8_t(br << 4 | sr << 2 | (pad ? 2 : 0)), uint8_t(mode << 6)};
}

TEST(MPEGaudio, FrameLengthsAndSamplesAgreeWithLibmpg123) {
  for (int ver : {0, 2, 3}) {
    for (int layer : {1, 2, 3}) {
      for (int br = 1; br <= 14; ++br) {
        for (int sr = 0; sr <= 2; ++sr) {
          for (bool pad : {false, true}) {
            // MPEG 1 Layer II allows its lowest rates in mono only and its
            // highest in stereo only.
            const int kbps =
                MPEGBitRate(DecodeMPEGFrameHeader(Header(ver, layer, br, sr, pad, 0).data()));
            const int mode = (ver == 3 && layer == 2 && (kbps <= 56 || kbps == 80)) ? 3 : 0;
            const auto h = Header(ver, layer, br, sr, pad, mode);
            const TFrameData f = DecodeMPEGFrameHeader(h.data());
            const uint16_t len = MPEGFrameLength(f);
            SCOPED_TRACE(testing::Message() << "version " << ver << " layer " << layer << " rate "
                                            << br << " sr " << sr << " pad " << pad);
            // Three frames of silence; libmpg123 parses the first.
            std::vector<uint8_t> data;
            for (int i = 0; i < 3; ++i) {
              data.insert(data.end(), h.begin(), h.end());
              data.resize(data.size() + len - 4, 0);
            }
            mpg123_handle* mh = mpg123_new(nullptr, nullptr);
            mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
            mpg123_open_feed(mh);
            mpg123_feed(mh, data.data(), data.size());
            off_t num;
            unsigned char* audio;
            size_t bytes;
            int r = mpg123_decode_frame(mh, &num, &audio, &bytes);
            if (r == MPG123_NEW_FORMAT) r = mpg123_decode_frame(mh, &num, &audio, &bytes);
            mpg123_frameinfo2 fi{};
            ASSERT_EQ(mpg123_info2(mh, &fi), MPG123_OK);
            EXPECT_EQ(len, fi.framesize);  // header included
            EXPECT_EQ(MPEGFrameSamples(f), mpg123_spf(mh));
            EXPECT_EQ(MPEGSampleRate(f), fi.rate);
            EXPECT_EQ(MPEGBitRate(f), fi.bitrate);
            mpg123_delete(mh);
          }
        }
      }
    }
  }
}

// A file of CBR frames of MPEG 1 Layer III at 128 kbit/s and 44100 Hz.
std::vector<uint8_t> CbrFrames(size_t bytes) {
  const auto h = Header(3, 1, 9, 0, false, 0);
  const uint16_t len = MPEGFrameLength(DecodeMPEGFrameHeader(h.data()));
  std::vector<uint8_t> v;
  while (v.size() < bytes) {
    v.insert(v.end(), h.begin(), h.end());
    v.resize(v.size() + len - 4, 0);
  }
  v.resize(bytes);
  return v;
}

TEST(MPEGaudio, DurationFromTheBitRateOrTheVbrHeader) {
  TMPEGaudio m;
  ASSERT_TRUE(m.ReadFromFile(mf::WriteBytes("cbr.mp3", CbrFrames(1000000))));
  EXPECT_TRUE(m.IsValid());
  EXPECT_EQ(m.Frame.Position, 0);
  EXPECT_EQ(m.GetBitRate(), 128);
  EXPECT_EQ(m.GetSampleRate(), 44100);
  EXPECT_DOUBLE_EQ(m.GetDuration(), 62.5);
  EXPECT_EQ(m.GetChannelMode(), "Stereo");

  // A Xing header of 1000 frames in the first frame.
  std::vector<uint8_t> x = CbrFrames(100000);
  std::memcpy(&x[4 + 32], "Xing\0\0\0\x0F\0\0\x03\xE8\0\x06\x1A\x80", 16);
  ASSERT_TRUE(m.ReadFromFile(mf::WriteBytes("xing.mp3", x)));
  EXPECT_TRUE(m.VBR.Found);
  EXPECT_EQ(m.VBR.Frames, 1000);
  EXPECT_EQ(m.VBR.Bytes, 400000);
  EXPECT_NEAR(m.GetDuration(), 1000 * 1152 / 44100.0, 1e-9);
  EXPECT_EQ(m.GetBitRate(), 122);  // 400 × 44100 / 144 / 1000 = 122.5, half to even

  // Layer I of MPEG 2: 4-byte slots and 384 samples a frame.
  const auto h1 = Header(2, 3, 8, 0, true, 3);
  const TFrameData f1 = DecodeMPEGFrameHeader(h1.data());
  EXPECT_EQ(MPEGFrameLength(f1), (12 * 128000 / 22050 + 1) * 4);
  EXPECT_EQ(MPEGFrameSamples(f1), 384);
}

TEST(MPEGaudio, SearchSkipsFalseHeadersAndNeverLooksPastItsWindow) {
  // A header whose successor is not a frame, then real frames.
  std::vector<uint8_t> v = {0xFF, 0xFB, 0x90, 0x00, 1, 2, 3};
  const std::vector<uint8_t> frames = CbrFrames(20000);
  v.insert(v.end(), frames.begin(), frames.end());
  TMPEGaudio m;
  ASSERT_TRUE(m.ReadFromFile(mf::WriteBytes("false.mp3", v)));
  EXPECT_TRUE(m.Frame.Found);
  EXPECT_EQ(m.Frame.Position, 7);

  // A lone frame header at the last searched position whose successor would
  // lie past the window: no frame, nothing read out of bounds.
  std::vector<uint8_t> edge(3458, 0);
  const auto h = Header(0, 2, 14, 2, true, 0);  // MPEG 2.5 Layer II, 2881 bytes
  std::memcpy(&edge[3458 - 1729], h.data(), 4);
  ASSERT_TRUE(m.ReadFromFile(mf::WriteBytes("edge.mp3", edge)));
  EXPECT_FALSE(m.Frame.Found);
  EXPECT_FALSE(m.IsValid());

  // The second window, half-way through the file.
  std::vector<uint8_t> late(200000, 0);
  const std::vector<uint8_t> some = CbrFrames(10000);
  std::copy(some.begin(), some.end(), late.begin() + 100000);
  ASSERT_TRUE(m.ReadFromFile(mf::WriteBytes("late.mp3", late)));
  EXPECT_TRUE(m.Frame.Found);

  EXPECT_FALSE(m.ReadFromFile(mf::WriteBytes("tiny.mp3", std::vector<uint8_t>(100, 0xFF))));
  EXPECT_FALSE(m.IsValid());
}

TEST(MPEGaudio, GeneratedMusicIsValid) {
  for (const char* name : {"menu", "main", "boss"}) {
    TMPEGaudio m;
    ASSERT_TRUE(m.ReadFromFile(std::string(TAL_BIN_DIR) + "/data/music/" + name + ".mp3"));
    EXPECT_TRUE(m.IsValid()) << name;
    EXPECT_TRUE(m.ID3v1.Exists);
    EXPECT_TRUE(m.ID3v2.Exists);
    EXPECT_TRUE(m.VBR.Found);
    EXPECT_EQ(std::string(m.VBR.ID, 4), "Xing");
    EXPECT_GE(m.GetDuration(), 20.0);
    EXPECT_LE(m.GetDuration(), 40.0);
  }
}

}  // namespace
