#include "engine/sound/wave.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "framework/filer.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void PutId(Bytes& b, const char* id) {
  b.insert(b.end(), id, id + 4);
}

// A chunk as it sits in a file: id, size, body and (when Pad) the pad byte
// after an odd body.
Bytes Chunk(const char* id, const Bytes& body, bool pad = true) {
  Bytes b;
  PutId(b, id);
  Put32(b, static_cast<uint32_t>(body.size()));
  b.insert(b.end(), body.begin(), body.end());
  if (pad && (body.size() & 1)) b.push_back(0);
  return b;
}

// 16-byte PCM format: mono, 8-bit, 11025 Hz.
Bytes Fmt16() {
  Bytes b;
  b.push_back(1), b.push_back(0);  // PCM
  b.push_back(1), b.push_back(0);  // mono
  Put32(b, 11025);
  Put32(b, 11025);
  b.push_back(1), b.push_back(0);  // block align
  b.push_back(8), b.push_back(0);  // bits
  return b;
}

Bytes Riff(const std::vector<Bytes>& chunks, const char* magic = "RIFF",
           const char* form = "WAVE") {
  Bytes body;
  for (const Bytes& c : chunks) body.insert(body.end(), c.begin(), c.end());
  Bytes b;
  PutId(b, magic);
  Put32(b, static_cast<uint32_t>(body.size() + 4));
  PutId(b, form);
  b.insert(b.end(), body.begin(), body.end());
  return b;
}

struct ParseCase {
  const char* name;
  Bytes file;
  std::optional<Bytes> samples;  // empty: an error is expected
  const char* error;             // its message
};

TEST(WaveReadTest, ParsesChunkLayouts) {
  const Bytes abc = {'a', 'b', 'c'};
  const Bytes fmt = Fmt16();
  Bytes short_fmt(fmt.begin(), fmt.begin() + 14);
  Bytes list_body = {'I', 'N', 'F', 'O', 'I', 'N', 'A', 'M', 5, 0, 0, 0, 't', 'o', 'n', 'e', 0};
  Bytes huge_data;  // declares more samples than the file holds
  PutId(huge_data, "data");
  Put32(huge_data, 0x7FFFFFF0);
  huge_data.insert(huge_data.end(), {1, 2});
  Bytes huge_fmt;
  PutId(huge_fmt, "fmt ");
  Put32(huge_fmt, 0xFFFFFFF0);
  Bytes cut_header = Riff({Chunk("fmt ", fmt), Chunk("data", abc)});
  cut_header.insert(cut_header.end(), {'j', 'u', 'n'});

  const ParseCase cases[] = {
      {"plain", Riff({Chunk("fmt ", fmt), Chunk("data", abc)}), abc, nullptr},
      {"LIST between format and data",
       Riff({Chunk("fmt ", fmt), Chunk("LIST", list_body), Chunk("data", abc)}), abc, nullptr},
      {"odd chunk followed by its pad byte",
       Riff({Chunk("fmt ", fmt), Chunk("junk", {1, 2, 3}), Chunk("data", abc)}), abc, nullptr},
      {"second data chunk wins",
       Riff({Chunk("fmt ", fmt), Chunk("data", {9, 9}), Chunk("data", abc)}), abc, nullptr},
      {"zero id ends the walk",
       Riff({Chunk("fmt ", fmt), Chunk("data", abc), Bytes(8, 0), Chunk("data", {7})}), abc,
       nullptr},
      {"header cut short at the end", cut_header, abc, nullptr},
      {"data beyond the end keeps what is there", Riff({Chunk("fmt ", fmt), huge_data}),
       Bytes{1, 2}, nullptr},
      {"no data chunk", Riff({Chunk("fmt ", fmt)}), Bytes{}, nullptr},
      {"bad magic", Riff({Chunk("fmt ", fmt), Chunk("data", abc)}, "RIFX"), std::nullopt,
       "Wave is invalid"},
      {"bad form", Riff({Chunk("fmt ", fmt), Chunk("data", abc)}, "RIFF", "AVI "), std::nullopt,
       "Wave is invalid"},
      {"missing format", Riff({Chunk("data", abc)}), std::nullopt, "Format is invalid"},
      {"short format", Riff({Chunk("fmt ", short_fmt), Chunk("data", abc)}), std::nullopt,
       "Format is invalid"},
      {"format larger than the file", Riff({huge_fmt}), std::nullopt, "Stream read error"},
      {"format larger than any format block",
       Riff({Chunk("fmt ", Bytes(18 + 0x10000, 0)), Chunk("data", abc)}), std::nullopt,
       "Format is invalid"},
      {"shorter than the RIFF header", Bytes{'R', 'I', 'F', 'F', 0, 0}, std::nullopt,
       "Stream read error"},
  };
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(c.name);
    TWave w;
    TByteStream s(c.file.data(), c.file.size());
    if (c.samples) {
      ASSERT_NO_THROW(w.LoadFromStream(s));
      EXPECT_EQ(w.FormatSize(), 16);
      EXPECT_EQ(Bytes(w.Data(), w.Data() + w.Size()), *c.samples);
    } else {
      try {
        w.LoadFromStream(s);
        ADD_FAILURE() << "loaded";
      } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), c.error);
      }
    }
  }
}

TEST(WaveWriteTest, SmallestWaveIsByteExactWithItsPadByte) {
  TWave w;
  w.SetFormatSize(16);
  Bytes fmt = Fmt16();
  std::memcpy(w.Format(), fmt.data(), 16);
  w.SetSize(3);
  std::memcpy(w.Data(), "abc", 3);
  TMemoryStream m;
  w.SaveToStream(m);
  // 12 + 8 + 16 + 8 + 3 and one pad byte; the data chunk keeps its true size.
  Bytes want = Riff({Chunk("fmt ", fmt), Chunk("data", {'a', 'b', 'c'})});
  ASSERT_EQ(want.size(), 48u);
  EXPECT_EQ(m.Bytes(), want);
  EXPECT_EQ(m.Bytes()[4], 40);
  EXPECT_EQ(m.Bytes()[40], 3);

  // An odd-sized format block is padded too, and it all reads back.
  TWave odd;
  odd.SetFormatSize(17);
  std::memcpy(odd.Format(), fmt.data(), 16);
  odd.Format()[16] = 0xEE;
  odd.SetSize(2);
  odd.Data()[0] = 5;
  odd.Data()[1] = 6;
  TMemoryStream m2;
  odd.SaveToStream(m2);
  EXPECT_EQ(m2.Size(), 12 + 8 + 18 + 8 + 2);
  m2.SetPosition(0);
  TWave back;
  back.LoadFromStream(m2);
  EXPECT_EQ(back.FormatSize(), 17);
  EXPECT_EQ(back.Format()[16], 0xEE);
  EXPECT_EQ(back.Size(), 2);
  EXPECT_EQ(back.Data()[1], 6);
}

TEST(WaveWriteTest, WaveInTheMiddleOfAStreamStartsAtItsPosition) {
  TWave w;
  w.SetFormatSize(16);
  std::memcpy(w.Format(), Fmt16().data(), 16);
  w.SetSize(4);
  std::memcpy(w.Data(), "wxyz", 4);
  TMemoryStream m;
  m.WriteBuffer("head", 4);
  w.SaveToStream(m);
  EXPECT_EQ(m.Position(), m.Size());
  EXPECT_EQ(m.Size(), 4 + 44 + 4);
  m.SetPosition(4);
  TWave back;
  back.LoadFromStream(m);
  EXPECT_EQ(Bytes(back.Data(), back.Data() + 4), Bytes({'w', 'x', 'y', 'z'}));
}

TEST(WaveTest, SizeGrowsInWholeBlocks) {
  TWave w;
  struct Step {
    int32_t size, capacity;
  } steps[] = {{1, 8096}, {8096, 8096}, {8097, 16192}, {-5, 0}, {20000, 24288}};
  for (const Step& s : steps) {
    w.SetSize(s.size);
    EXPECT_EQ(w.Capacity(), s.capacity) << s.size;
    EXPECT_EQ(w.Size(), std::max(s.size, 0));
  }
  // Contents up to the smaller size survive a change of capacity.
  w.SetSize(3);
  std::memcpy(w.Data(), "keep", 3);
  w.SetSize(9000);
  w.SetSize(2);
  EXPECT_EQ(std::memcmp(w.Data(), "ke", 2), 0);
}

TEST(WaveTest, AssignCopiesAndNilClears) {
  TWave a, b;
  a.SetFormatSize(16);
  std::memcpy(a.Format(), Fmt16().data(), 16);
  a.SetSize(3);
  std::memcpy(a.Data(), "xyz", 3);
  b.Assign(&a);
  EXPECT_EQ(b.FormatSize(), 16);
  EXPECT_EQ(Bytes(b.Data(), b.Data() + 3), Bytes({'x', 'y', 'z'}));
  b.Assign(&b);
  EXPECT_EQ(b.Size(), 3);
  b.Assign(nullptr);
  EXPECT_EQ(b.Size(), 0);
  EXPECT_EQ(b.FormatSize(), 0);
}

TEST(WaveStreamTest, MisuseRaises) {
  TMemoryStream m;
  TWaveStream ws(m);
  uint8_t buf[4];
  try {
    ws.ReadWave(buf, 4);
    ADD_FAILURE();
  } catch (const EWaveStreamError& e) {
    EXPECT_EQ(e.Message(), "Stream not opened");
  }
  try {
    ws.Open(true);
    ADD_FAILURE();
  } catch (const EWaveStreamError& e) {
    EXPECT_EQ(e.Message(), "Format is invalid");
  }
  ws.SetFormatSize(16);
  ws.Open(true);
  try {
    ws.Open(false);
    ADD_FAILURE();
  } catch (const EWaveStreamError& e) {
    EXPECT_EQ(e.Message(), "Stream is already open");
  }
}

TEST(WaveStreamTest, SeekAndReadStayInsideTheSamples) {
  Bytes file =
      Riff({Chunk("fmt ", Fmt16()), Chunk("data", {1, 2, 3, 4, 5}), Chunk("tail", {9, 9})});
  TByteStream s(file.data(), file.size());
  TWaveStream ws(s);
  ws.Open(false);
  EXPECT_EQ(ws.GetWaveSize(), 5);
  EXPECT_EQ(ws.Seek(-2, soEnd), 3);
  uint8_t buf[8] = {};
  EXPECT_EQ(ws.Read(buf, 8), 2);
  EXPECT_EQ(buf[0], 4);
  EXPECT_EQ(ws.Seek(100, soBeginning), 5);
  EXPECT_EQ(ws.Seek(-100, soCurrent), 0);
}

// The stored property: a whole RIFF file, or nothing for an empty wave, and
// an empty value reads back as an empty wave.
class TWaveHolder : public TComponent {
 public:
  using TComponent::TComponent;
  TWave Wave;
  bool ReadProperty(const std::string& Name, TReader& Reader) override {
    return Wave.ReadPropertyAs("Wave", Name, Reader) || TComponent::ReadProperty(Name, Reader);
  }
  void WriteProperties(TWriter& Writer) const override { Wave.WritePropertiesAs("Wave", Writer); }
};

TEST(WaveTest, StoredPropertyRoundTripsFullAndEmptyWaves) {
  for (int size : {0, 5}) {
    SCOPED_TRACE(size);
    TWaveHolder h(nullptr);
    if (size) {
      h.Wave.SetFormatSize(16);
      std::memcpy(h.Wave.Format(), Fmt16().data(), 16);
      h.Wave.SetSize(size);
      std::memset(h.Wave.Data(), 0x42, static_cast<size_t>(size));
    }
    TMemoryStream m;
    WriteComponent(m, h);
    m.SetPosition(0);
    TWaveHolder back(nullptr);
    back.Wave.SetSize(7);  // replaced by what is stored
    ReadComponent(m, back);
    EXPECT_EQ(back.Wave.Size(), size);
    EXPECT_EQ(back.Wave.FormatSize(), size ? 16 : 0);
  }
}

}  // namespace
