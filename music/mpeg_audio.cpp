#include "music/mpeg_audio.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "framework/filer.h"
#include "music/read_file.h"

namespace {

const char* const kGenres[148] = {"Blues",
                                  "Classic Rock",
                                  "Country",
                                  "Dance",
                                  "Disco",
                                  "Funk",
                                  "Grunge",
                                  "Hip-Hop",
                                  "Jazz",
                                  "Metal",
                                  "New Age",
                                  "Oldies",
                                  "Other",
                                  "Pop",
                                  "R&B",
                                  "Rap",
                                  "Reggae",
                                  "Rock",
                                  "Techno",
                                  "Industrial",
                                  "Alternative",
                                  "Ska",
                                  "Death Metal",
                                  "Pranks",
                                  "Soundtrack",
                                  "Euro-Techno",
                                  "Ambient",
                                  "Trip-Hop",
                                  "Vocal",
                                  "Jazz+Funk",
                                  "Fusion",
                                  "Trance",
                                  "Classical",
                                  "Instrumental",
                                  "Acid",
                                  "House",
                                  "Game",
                                  "Sound Clip",
                                  "Gospel",
                                  "Noise",
                                  "AlternRock",
                                  "Bass",
                                  "Soul",
                                  "Punk",
                                  "Space",
                                  "Meditative",
                                  "Instrumental Pop",
                                  "Instrumental Rock",
                                  "Ethnic",
                                  "Gothic",
                                  "Darkwave",
                                  "Techno-Industrial",
                                  "Electronic",
                                  "Pop-Folk",
                                  "Eurodance",
                                  "Dream",
                                  "Southern Rock",
                                  "Comedy",
                                  "Cult",
                                  "Gangsta",
                                  "Top 40",
                                  "Christian Rap",
                                  "Pop/Funk",
                                  "Jungle",
                                  "Native American",
                                  "Cabaret",
                                  "New Wave",
                                  "Psychadelic",
                                  "Rave",
                                  "Showtunes",
                                  "Trailer",
                                  "Lo-Fi",
                                  "Tribal",
                                  "Acid Punk",
                                  "Acid Jazz",
                                  "Polka",
                                  "Retro",
                                  "Musical",
                                  "Rock & Roll",
                                  "Hard Rock",
                                  "Folk",
                                  "Folk-Rock",
                                  "National Folk",
                                  "Swing",
                                  "Fast Fusion",
                                  "Bebob",
                                  "Latin",
                                  "Revival",
                                  "Celtic",
                                  "Bluegrass",
                                  "Avantgarde",
                                  "Gothic Rock",
                                  "Progessive Rock",
                                  "Psychedelic Rock",
                                  "Symphonic Rock",
                                  "Slow Rock",
                                  "Big Band",
                                  "Chorus",
                                  "Easy Listening",
                                  "Acoustic",
                                  "Humour",
                                  "Speech",
                                  "Chanson",
                                  "Opera",
                                  "Chamber Music",
                                  "Sonata",
                                  "Symphony",
                                  "Booty Bass",
                                  "Primus",
                                  "Porn Groove",
                                  "Satire",
                                  "Slow Jam",
                                  "Club",
                                  "Tango",
                                  "Samba",
                                  "Folklore",
                                  "Ballad",
                                  "Power Ballad",
                                  "Rhythmic Soul",
                                  "Freestyle",
                                  "Duet",
                                  "Punk Rock",
                                  "Drum Solo",
                                  "A capella",
                                  "Euro-House",
                                  "Dance Hall",
                                  "Goa",
                                  "Drum & Bass",
                                  "Club-House",
                                  "Hardcore",
                                  "Terror",
                                  "Indie",
                                  "BritPop",
                                  "Negerpunk",
                                  "Polsk Punk",
                                  "Beat",
                                  "Christian Gangsta Rap",
                                  "Heavy Metal",
                                  "Black Metal",
                                  "Crossover",
                                  "Contemporary Christian",
                                  "Christian Rock",
                                  "Merengue",
                                  "Salsa",
                                  "Trash Metal",
                                  "Anime",
                                  "JPop",
                                  "Synthpop"};

const char* const kModes[5] = {"Stereo", "Joint Stereo", "Dual Channel", "Mono", "Unknown"};

constexpr int kWindow = 3458;
constexpr int kMinWindow = 1729;

bool IsBlankOrControl(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}

std::string TrimRight(std::string s) {
  while (!s.empty() && IsBlankOrControl(s.back())) s.pop_back();
  return s;
}
std::string Trim(std::string s) {
  s = TrimRight(std::move(s));
  size_t i = 0;
  while (i < s.size() && IsBlankOrControl(s[i])) ++i;
  return s.substr(i);
}

std::string Field(const uint8_t* p, size_t n) {
  return TrimRight(std::string(reinterpret_cast<const char*>(p), n));
}

// UTF-16 after the encoding byte: the byte-order mark decides the byte
// order (little-endian without one); the text ends at a zero unit.
std::string Utf16Text(const uint8_t* p, size_t n) {
  bool big = false;
  if (n >= 2 && p[0] == 0xFE && p[1] == 0xFF) {
    big = true;
    p += 2;
    n -= 2;
  } else if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
    p += 2;
    n -= 2;
  }
  std::u16string w;
  for (size_t i = 0; i + 1 < n; i += 2) {
    const char16_t u = big ? static_cast<char16_t>(p[i] << 8 | p[i + 1])
                           : static_cast<char16_t>(p[i] | p[i + 1] << 8);
    if (u == 0) break;
    w.push_back(u);
  }
  return WideToAnsi(w);
}

// Text of a frame's content (encoding byte first).
std::string FrameText(const std::vector<uint8_t>& c) {
  if (c.empty()) return "";
  if (c[0] == 1) return Trim(Utf16Text(c.data() + 1, c.size() - 1));
  const auto end = std::find(c.begin() + 1, c.end(), 0);
  return Trim(std::string(c.begin() + 1, end));
}

int WholeNumberBeforeSlash(const std::string& s) {
  const std::string n = s.substr(0, s.find('/'));
  if (n.empty() || n.size() > 9) return 0;
  for (char ch : n)
    if (ch < '0' || ch > '9') return 0;
  return std::stoi(n);
}

const char* const kFrameNames[2][11] = {
    {"TT2", "TT1", "TP1", "TOA", "TAL", "TOT", "TRK", "TYE", "TOR", "TCO", "COM"},
    {"TIT2", "TIT1", "TPE1", "TOPE", "TALB", "TOAL", "TRCK", "TYER", "TDRC", "TCON", "COMM"}};
enum {
  fTitle,
  fTitle2,
  fArtist,
  fArtist2,
  fAlbum,
  fAlbum2,
  fTrack,
  fYear,
  fYear2,
  fGenre,
  fComment
};

}  // namespace

std::string ID3GenreName(unsigned GenreID) {
  return GenreID < 148 ? kGenres[GenreID] : "";
}

// ---- ID3v1 -----------------------------------------------------------------

void TID3v1::ResetData() {
  Exists = false;
  VersionID = 1;
  Title = Artist = Album = Year = Comment = "";
  Track = 0;
  GenreID = 255;
}

std::string TID3v1::GetGenre() const {
  return ID3GenreName(GenreID);
}

bool TID3v1::ReadFromFile(const std::string& FileName) {
  ResetData();
  TReadFile f = OpenReadFile(FileName);
  if (!f) return false;
  uint8_t t[128];
  if (std::fseek(f.get(), -128, SEEK_END) != 0 || std::fread(t, 1, 128, f.get()) != 128)
    return false;
  if (std::memcmp(t, "TAG", 3) != 0) return true;
  Exists = true;
  VersionID = ((t[125] == 0 && t[126] != 0) || (t[125] == ' ' && t[126] != ' ')) ? 2 : 1;
  Title = Field(t + 3, 30);
  Artist = Field(t + 33, 30);
  Album = Field(t + 63, 30);
  Year = Field(t + 93, 4);
  if (VersionID == 1) {
    Comment = Field(t + 97, 30);
  } else {
    Comment = Field(t + 97, 28);
    Track = t[126];
  }
  GenreID = t[127];
  return true;
}

// ---- ID3v2 -----------------------------------------------------------------

void TID3v2::ResetData() {
  Exists = false;
  VersionID = 0;
  Size = 0;
  Title = Artist = Album = Year = Genre = Comment = "";
  Track = 0;
}

bool TID3v2::ReadFromFile(const std::string& FileName) {
  ResetData();
  TReadFile f = OpenReadFile(FileName);
  if (!f) return false;
  const long size = ReadFileSize(f.get());
  uint8_t h[10];
  if (size < 10 || std::fread(h, 1, 10, f.get()) != 10) return false;
  if (std::memcmp(h, "ID3", 3) != 0) return true;
  Exists = true;
  VersionID = h[3];
  Size = ID3v2TagSize(h);
  if (Size > size) Size = 0;
  if (VersionID < 2 || VersionID > 4 || Size == 0) return true;

  const bool v22 = VersionID == 2;
  const int headLen = v22 ? 6 : 10;
  std::map<int, std::vector<uint8_t>> kept;
  long pos = 10;
  while (pos < Size) {
    uint8_t fh[10];
    if (std::fseek(f.get(), pos, SEEK_SET) != 0 ||
        std::fread(fh, 1, static_cast<size_t>(headLen), f.get()) != static_cast<size_t>(headLen))
      break;
    if (fh[0] < 'A' || fh[0] > 'Z') break;
    const std::string name(reinterpret_cast<char*>(fh), v22 ? 3 : 4);
    const uint32_t fsize = v22 ? (fh[3] << 16 | fh[4] << 8 | fh[5])
                               : (uint32_t{fh[4]} << 24 | fh[5] << 16 | fh[6] << 8 | fh[7]);
    std::vector<uint8_t> content(std::min<uint32_t>(fsize, 500));
    const size_t got = std::fread(content.data(), 1, content.size(), f.get());
    content.resize(got);
    const bool skip = !v22 && (fh[9] & 0x80);
    if (!skip && !content.empty() && (content[0] == 0 || content[0] == 1)) {
      for (int i = 0; i < 11; ++i)
        if (name == kFrameNames[v22 ? 0 : 1][i]) kept[i] = content;
    }
    if (got < content.size()) break;
    pos += headLen + static_cast<long>(fsize);
  }
  auto text = [&](int i) { return kept.count(i) ? FrameText(kept[i]) : std::string(); };
  auto either = [&](int a, int b) {
    std::string s = text(a);
    return s.empty() ? text(b) : s;
  };
  Title = either(fTitle, fTitle2);
  Artist = either(fArtist, fArtist2);
  Album = either(fAlbum, fAlbum2);
  Year = text(fYear);
  if (Year.empty()) Year = text(fYear2).substr(0, 4);
  Track = static_cast<uint16_t>(WholeNumberBeforeSlash(text(fTrack)));
  Genre = text(fGenre);
  if (const size_t p = Genre.rfind(')'); p != std::string::npos) Genre = Genre.substr(p + 1);
  if (kept.count(fComment)) {
    const std::vector<uint8_t>& c = kept[fComment];
    const uint8_t enc = c[0];
    std::vector<uint8_t> rest;
    if (c.size() > 4) {
      // The description ends at its terminator: two zero bytes on a 2-byte
      // step for UTF-16, one zero byte otherwise.
      size_t i = 4, start = c.size();
      if (enc == 1) {
        for (; i + 1 < c.size(); i += 2)
          if (c[i] == 0 && c[i + 1] == 0) {
            start = i + 2;
            break;
          }
      } else {
        for (; i < c.size(); ++i)
          if (c[i] == 0) {
            start = i + 1;
            break;
          }
      }
      rest.push_back(enc);
      if (start < c.size())
        rest.insert(rest.end(), c.begin() + static_cast<ptrdiff_t>(start), c.end());
    }
    Comment = FrameText(rest);
  }
  return true;
}

// ---- MPEG audio --------------------------------------------------------------

TFrameData DecodeMPEGFrameHeader(const uint8_t* b) {
  TFrameData f;
  static_cast<TMpegHeader&>(f) = ParseMPEGFrameHeader(b);
  std::memcpy(f.Data, b, 4);
  return f;
}

void TMPEGaudio::ResetData() {
  FileLength = 0;
  VBR = TVBRData{};
  Frame = TFrameData{};
  ID3v1.ResetData();
  ID3v2.ResetData();
}

namespace {

int32_t Be32(const uint8_t* p) {
  return static_cast<int32_t>(uint32_t{p[0]} << 24 | p[1] << 16 | p[2] << 8 | p[3]);
}

// The first frame whose successor is a frame header too. The window is
// zero-filled beyond what was read, and no test reaches past it.
bool FindFrame(const uint8_t* w, TFrameData& frame, TVBRData& vbr) {
  for (int p = 0; p <= kWindow - kMinWindow; ++p) {
    if (!IsMPEGFrameHeader(w + p)) continue;
    TFrameData f = DecodeMPEGFrameHeader(w + p);
    const uint16_t len = MPEGFrameLength(f);
    const int next = (p + len) & 0xFFFF;
    if (len == 0 || next + 4 > kWindow || !IsMPEGFrameHeader(w + next)) continue;
    f.Found = true;
    f.Position = p;
    f.Size = len;
    frame = f;
    const int q = p + MPEGXingOffset(f);
    if (q + 18 <= kWindow) {
      if (std::memcmp(w + q, "Xing", 4) == 0) {
        vbr.Found = true;
        std::memcpy(vbr.ID, "Xing", 4);
        vbr.Frames = Be32(w + q + 8);
        vbr.Bytes = Be32(w + q + 12);
      } else if (std::memcmp(w + q, "VBRI", 4) == 0) {
        vbr.Found = true;
        std::memcpy(vbr.ID, "VBRI", 4);
        vbr.Bytes = Be32(w + q + 10);
        vbr.Frames = Be32(w + q + 14);
      }
    }
    return true;
  }
  return false;
}

}  // namespace

bool TMPEGaudio::ReadFromFile(const std::string& FileName) {
  ResetData();
  if (!ID3v2.ReadFromFile(FileName) || !ID3v1.ReadFromFile(FileName)) {
    ResetData();
    return false;
  }
  TReadFile f = OpenReadFile(FileName);
  const long size = f ? ReadFileSize(f.get()) : -1;
  if (size < 0) {
    ResetData();
    return false;
  }
  FileLength = static_cast<int32_t>(std::min<long>(size, INT32_MAX));
  std::vector<uint8_t> w(kWindow, 0);
  if (std::fseek(f.get(), ID3v2.Size, SEEK_SET) != 0) {
    ResetData();
    return false;
  }
  size_t got = std::fread(w.data(), 1, kWindow, f.get());
  bool found = got >= static_cast<size_t>(kMinWindow) && FindFrame(w.data(), Frame, VBR);
  if (!found && got == static_cast<size_t>(kWindow)) {
    std::fill(w.begin(), w.end(), 0);
    if (std::fseek(f.get(), (FileLength - ID3v2.Size) / 2, SEEK_SET) == 0) {
      got = std::fread(w.data(), 1, kWindow, f.get());
      found = got >= static_cast<size_t>(kMinWindow) && FindFrame(w.data(), Frame, VBR);
    }
  }
  if (!found) ResetData();
  return true;
}

uint16_t TMPEGaudio::GetSampleRate() const {
  return MPEGSampleRate(Frame);
}

uint16_t TMPEGaudio::GetBitRate() const {
  if (VBR.Found && VBR.Frames > 0) {
    const double pad = Frame.PaddingBit ? (Frame.LayerID == 3 ? 4 : 1) : 0;
    const double rate = GetSampleRate();
    const double coefficient = MPEGFrameSamples(Frame) / 8.0;
    const double v =
        ((static_cast<double>(VBR.Bytes) / VBR.Frames) - pad) * rate / coefficient / 1000;
    if (!std::isfinite(v) || v < 0 || v > 65535) return 0;
    return static_cast<uint16_t>(std::nearbyint(v));
  }
  return MPEGBitRate(Frame);
}

double TMPEGaudio::GetDuration() const {
  if (!Frame.Found) return 0;
  const double rate = GetSampleRate();
  if (rate == 0) return 0;
  if (VBR.Found && VBR.Frames > 0)
    return static_cast<double>(MPEGFrameSamples(Frame)) * VBR.Frames / rate;
  const double br = MPEGBitRate(Frame);
  if (br == 0) return 0;
  const double audio =
      static_cast<double>(FileLength) - ID3v2.Size - (ID3v1.Exists ? 128 : 0) - Frame.Position;
  return audio / br / 1000 * 8;
}

std::string TMPEGaudio::GetChannelMode() const {
  return kModes[std::min<int>(Frame.ModeID, 4)];
}

bool TMPEGaudio::IsValid() const {
  const uint16_t br = GetBitRate();
  return Frame.Found && br >= 8 && br <= 448 && GetDuration() >= 0.1;
}
