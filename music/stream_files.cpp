#include "music/stream_files.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "framework/filer.h"
#include "music/mpeg_audio.h"
#include "music/read_file.h"

namespace {

uint32_t Le32(const uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24;
}
uint16_t Le16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}

template <class S>
S TrimBoth(S s) {
  auto blank = [](auto c) { return static_cast<uint32_t>(c) <= ' '; };
  while (!s.empty() && blank(s.back())) s.pop_back();
  size_t i = 0;
  while (i < s.size() && blank(s[i])) ++i;
  return s.substr(i);
}

template <class S>
int WholeNumber(const S& s) {
  if (s.empty() || s.size() > 9) return 0;
  int v = 0;
  for (auto c : s) {
    if (c < '0' || c > '9') return 0;
    v = v * 10 + static_cast<int>(c - '0');
  }
  return v;
}

}  // namespace

// ---- WAV -------------------------------------------------------------------

void TWAVfile::ResetData() {
  Valid = false;
  Channels = 0;
  SampleRate = 0;
  BitsPerSample = 0;
  FileSize = 0;
}

bool TWAVfile::ReadFromFile(const std::string& FileName) {
  ResetData();
  TReadFile f = OpenReadFile(FileName);
  uint8_t h[44];
  if (!f || std::fread(h, 1, 44, f.get()) != 44) return false;
  const uint16_t ch = Le16(h + 22);
  if (std::memcmp(h, "RIFF", 4) || std::memcmp(h + 8, "WAVE", 4) ||
      std::memcmp(h + 12, "fmt ", 4) || (ch != 1 && ch != 2))
    return true;
  Valid = true;
  Channels = static_cast<uint8_t>(ch);
  SampleRate = Le32(h + 24);
  BitsPerSample = h[34];
  // A writer that streamed the file never came back to fill in its size (0,
  // or all ones), and a cut download claims more than it holds: the samples
  // then run to the end of the file, as the library plays them.
  const uint64_t riff = uint64_t{Le32(h + 4)} + 8;
  const long size = ReadFileSize(f.get());
  const bool unsized = Le32(h + 4) == 0 || (size >= 0 && riff > static_cast<uint64_t>(size));
  FileSize = static_cast<int32_t>(unsized && size >= 0 ? std::min<long>(size, INT32_MAX) : riff);
  return true;
}

double TWAVfile::GetDuration() const {
  // A header with a zero rate, width or channel count has no duration.
  if (!Valid || SampleRate == 0 || BitsPerSample == 0 || Channels == 0) return 0;
  return (static_cast<double>(FileSize) - 44) * 8 / SampleRate / BitsPerSample / Channels;
}

// ---- Ogg Vorbis --------------------------------------------------------------

void TOggVorbis::ResetData() {
  FileSize = 0;
  Channels = 0;
  SampleRate = 0;
  BitRateNominal = 0;
  Samples = 0;
  ID3v2Size = 0;
  Title = Artist = Album = Year = Genre = Comment = "";
  Track = 0;
}

std::u16string VorbisUtf8ToWide(const std::string& s) {
  std::u16string w;
  size_t i = 0;
  while (i < s.size()) {
    const uint8_t b = static_cast<uint8_t>(s[i]);
    if (b < 0x80) {
      w.push_back(b);
      ++i;
      continue;
    }
    int n;
    uint32_t cp;
    if (b >= 0xC0 && b < 0xE0) {
      n = 1;
      cp = b & 0x1F;
    } else if (b >= 0xE0 && b < 0xF0) {
      n = 2;
      cp = b & 0x0F;
    } else if (b >= 0xF0 && b < 0xF8) {
      n = 3;
      cp = b & 0x07;
    } else {
      break;
    }
    if (i + static_cast<size_t>(n) >= s.size()) break;
    bool ok = true;
    for (int k = 1; k <= n; ++k) {
      const uint8_t c = static_cast<uint8_t>(s[i + static_cast<size_t>(k)]);
      if (c < 0x80 || c > 0xBF) {
        ok = false;
        break;
      }
      cp = cp << 6 | (c & 0x3F);
    }
    if (!ok || cp > 0x10FFFF) break;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      w.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      w.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      w.push_back(static_cast<char16_t>(cp));
    }
    i += static_cast<size_t>(n) + 1;
  }
  return w;
}

bool TOggVorbis::ReadFromFile(const std::string& FileName) {
  ResetData();
  TReadFile f = OpenReadFile(FileName);
  if (!f) return false;
  std::FILE* fp = f.get();
  const long size = ReadFileSize(fp);
  if (size < 0) return false;
  FileSize = static_cast<int32_t>(std::min<long>(size, INT32_MAX));
  auto readAt = [&](long at, uint8_t* buf, size_t n) -> size_t {
    std::memset(buf, 0, n);
    if (at < 0 || std::fseek(fp, at, SEEK_SET) != 0) return 0;
    return std::fread(buf, 1, n, fp);
  };
  uint8_t head[10];
  if (readAt(0, head, 10) == 10 && std::memcmp(head, "ID3", 3) == 0) {
    ID3v2Size = ID3v2TagSize(head);
    if (ID3v2Size > FileSize) ID3v2Size = 0;
  }
  uint8_t page[282];
  uint8_t id[30];
  readAt(ID3v2Size, page, sizeof page);
  const long idAt = ID3v2Size + 27 + page[26];
  if (std::memcmp(page, "OggS", 4) != 0 || readAt(idAt, id, 30) != 30 || id[0] != 1 ||
      std::memcmp(id + 1, "vorbis", 6) != 0) {
    ResetData();
    return false;
  }
  Channels = id[11];
  SampleRate = Le32(id + 12);
  // Encoders write -1 for "no nominal rate"; that, like a rate beyond the
  // field, is no rate.
  const double nominal = std::nearbyint(static_cast<int32_t>(Le32(id + 20)) / 1000.0);
  BitRateNominal = nominal > 0 && nominal < 65536 ? static_cast<uint16_t>(nominal) : 0;

  // The comment header starts the second page.
  const long second = idAt + 30;
  readAt(second, page, sizeof page);
  uint8_t magic[7];
  const long comAt = second + 27 + page[26];
  if (std::memcmp(page, "OggS", 4) == 0 && readAt(comAt, magic, 7) == 7 && magic[0] == 3 &&
      std::memcmp(magic + 1, "vorbis", 6) == 0) {
    long at = comAt + 7;
    // One length-prefixed string; false at the end of the file.
    auto next = [&](std::string& out) {
      uint8_t len[4];
      if (readAt(at, len, 4) != 4) return false;
      const uint32_t n = Le32(len);
      uint8_t buf[250];
      const size_t take = std::min<uint32_t>(n, 250);
      if (readAt(at + 4, buf, take) != take) return false;
      out.assign(reinterpret_cast<char*>(buf), take);
      out = TrimBoth(out);
      at += 4 + static_cast<long>(n);
      return true;
    };
    std::string vendor;
    uint8_t cnt[4];
    if (next(vendor) && readAt(at, cnt, 4) == 4) {
      at += 4;
      const uint32_t count = Le32(cnt);
      std::string field, title, artist, performer, album, track, date, genre, comment, description;
      for (uint32_t i = 0; i < count && next(field); ++i) {
        const size_t eq = field.find('=');
        if (eq == std::string::npos) continue;
        std::string name = field.substr(0, eq);
        for (auto& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        const std::string value = WideToAnsi(VorbisUtf8ToWide(TrimBoth(field.substr(eq + 1))));
        if (name == "TITLE")
          title = value;
        else if (name == "ARTIST")
          artist = value;
        else if (name == "PERFORMER")
          performer = value;
        else if (name == "ALBUM")
          album = value;
        else if (name == "TRACKNUMBER")
          track = value;
        else if (name == "DATE")
          date = value;
        else if (name == "GENRE")
          genre = value;
        else if (name == "COMMENT")
          comment = value;
        else if (name == "DESCRIPTION")
          description = value;
      }
      Title = title;
      Artist = artist.empty() ? performer : artist;
      Album = album;
      Track = static_cast<uint8_t>(WholeNumber(track.substr(0, track.find('/'))));
      Year = date;
      Genre = genre;
      Comment = comment.empty() ? description : comment;
    }
  }

  // The last page's granule position; never before the start of the file.
  for (int i = 1; i <= 50; ++i) {
    const long at = static_cast<long>(FileSize) - i * 241L - 10;
    if (at < 0) break;
    uint8_t w[251];
    if (readAt(at, w, sizeof w) == 0) break;
    for (int o = 241; o >= 0; --o) {
      if (std::memcmp(w + o, "OggS", 4) == 0) {
        uint8_t ph[10];
        readAt(at + o, ph, sizeof ph);
        Samples = static_cast<int32_t>(Le32(ph + 6));
        i = 51;
        break;
      }
    }
  }
  return true;
}

double TOggVorbis::GetDuration() const {
  if (Samples > 0) return SampleRate ? static_cast<double>(Samples) / SampleRate : 0;
  if (BitRateNominal && Channels)
    return (static_cast<double>(FileSize) - ID3v2Size) / BitRateNominal / Channels / 125 * 2;
  return 0;
}

uint16_t TOggVorbis::GetBitRate() const {
  const double d = GetDuration();
  if (!(d > 0)) return 0;
  const double v = std::nearbyint((static_cast<double>(FileSize) - ID3v2Size) / d / 125);
  return v > 0 && v < 65536 ? static_cast<uint16_t>(v) : 0;
}

bool TOggVorbis::IsValid() const {
  return (Channels == 1 || Channels == 2) && SampleRate != 0 && GetDuration() > 0.1 &&
         GetBitRate() != 0;
}

// ---- WMA ---------------------------------------------------------------------

namespace {

const uint8_t kHeaderGuid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                 0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const uint8_t kFilePropertiesGuid[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                         0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
const uint8_t kStreamPropertiesGuid[16] = {0x91, 0x07, 0xDC, 0xB7, 0xB7, 0xA9, 0xCF, 0x11,
                                           0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
const uint8_t kContentDescriptionGuid[16] = {0x33, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                             0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const uint8_t kExtendedContentGuid[16] = {0x40, 0xA4, 0xD0, 0xD2, 0x07, 0xE3, 0xD2, 0x11,
                                          0x97, 0xF0, 0x00, 0xA0, 0xC9, 0x5E, 0xA8, 0x50};

// Reads of an ASF header; every read past the end is a failure.
struct TAsfReader {
  std::FILE* f;
  bool Read(void* p, size_t n) { return std::fread(p, 1, n, f) == n; }
  bool Skip(long n) { return std::fseek(f, n, SEEK_CUR) == 0; }
  bool U16(uint16_t& v) {
    uint8_t b[2];
    if (!Read(b, 2)) return false;
    v = Le16(b);
    return true;
  }
  bool U32(uint32_t& v) {
    uint8_t b[4];
    if (!Read(b, 4)) return false;
    v = Le32(b);
    return true;
  }
  // A string of n bytes: at most 250 characters kept, the rest skipped.
  bool Text(uint16_t n, std::u16string& out) {
    const size_t chars = std::min<size_t>(n / 2, 250);
    std::vector<uint8_t> b(chars * 2);
    if (!Read(b.data(), b.size())) return false;
    out.clear();
    for (size_t i = 0; i < chars; ++i) {
      const char16_t c = static_cast<char16_t>(b[2 * i] | b[2 * i + 1] << 8);
      if (c == 0) break;
      out.push_back(c);
    }
    return Skip(static_cast<long>(n - chars * 2));
  }
};

}  // namespace

void TWMAfile::ResetData() {
  Valid = false;
  FileSize = 0;
  Channels = 0;
  SampleRate = 0;
  Duration = 0;
  BitRate = 0;
  Title = Artist = Album = Year = Genre = Comment = u"";
  Track = 0;
}

bool TWMAfile::ReadFromFile(const std::string& FileName) {
  ResetData();
  TReadFile f = OpenReadFile(FileName);
  if (!f) return false;
  const long size = ReadFileSize(f.get());
  if (size < 0) return false;
  TAsfReader r{f.get()};
  uint32_t maxBitRate = 0, rate = 0, bytesPerSec = 0;
  uint16_t channels = 0;
  std::u16string tags[7];  // title, artist, album, track, year, genre, comment
  uint8_t guid[16];
  if (!r.Read(guid, 16)) return false;
  if (std::memcmp(guid, kHeaderGuid, 16) == 0) {
    uint32_t count = 0;
    if (!r.Skip(8) || !r.U32(count) || !r.Skip(2)) return false;
    for (uint32_t i = 0; i < count; ++i) {
      const long pos = std::ftell(f.get());
      uint32_t objSize = 0;
      if (!r.Read(guid, 16) || !r.U32(objSize) || !r.Skip(4)) return false;
      // An object smaller than its own header would never move the walk on.
      if (objSize < 24) return false;
      if (!std::memcmp(guid, kFilePropertiesGuid, 16)) {
        if (!r.Skip(100 - 24) || !r.U32(maxBitRate)) return false;
      } else if (!std::memcmp(guid, kStreamPropertiesGuid, 16)) {
        if (!r.Skip(80 - 24) || !r.U16(channels) || !r.U32(rate) || !r.U32(bytesPerSec))
          return false;
      } else if (!std::memcmp(guid, kContentDescriptionGuid, 16)) {
        uint16_t len[5];
        for (auto& l : len)
          if (!r.U16(l)) return false;
        std::u16string s[5];
        for (int k = 0; k < 5; ++k)
          if (!r.Text(len[k], s[k])) return false;
        tags[0] = s[0];
        tags[1] = s[1];
        tags[6] = s[3];
      } else if (!std::memcmp(guid, kExtendedContentGuid, 16)) {
        uint16_t n = 0;
        if (!r.U16(n)) return false;
        for (uint16_t k = 0; k < n; ++k) {
          uint16_t nameLen = 0, type = 0, valueLen = 0;
          std::u16string name, value;
          if (!r.U16(nameLen) || !r.Text(nameLen, name) || !r.U16(type) || !r.U16(valueLen))
            return false;
          if (type != 0) {
            if (!r.Skip(valueLen)) return false;
            continue;
          }
          if (!r.Text(valueLen, value)) return false;
          name = TrimBoth(name);
          for (auto& c : name)
            if (c >= 'a' && c <= 'z') c = static_cast<char16_t>(c - 'a' + 'A');
          static const char16_t* const kNames[7] = {
              u"WM/TITLE", u"WM/AUTHOR", u"WM/ALBUMTITLE", u"WM/TRACK",
              u"WM/YEAR",  u"WM/GENRE",  u"WM/DESCRIPTION"};
          for (int t = 0; t < 7; ++t)
            if (name == kNames[t]) tags[t] = value;
        }
      }
      if (std::fseek(f.get(), pos + static_cast<long>(objSize), SEEK_SET) != 0) return false;
    }
  }
  if (maxBitRate >= 1 && maxBitRate <= 319999 && (channels == 1 || channels == 2) && rate >= 8000 &&
      rate <= 96000 && bytesPerSec >= 1 && bytesPerSec <= 39999) {
    Valid = true;
    FileSize = static_cast<int32_t>(std::min<long>(size, INT32_MAX));
    Channels = static_cast<uint8_t>(channels);
    SampleRate = static_cast<int32_t>(rate);
    Duration = static_cast<double>(size) * 8 / maxBitRate;
    BitRate = static_cast<int32_t>(bytesPerSec * 8 / 1000);
    Title = TrimBoth(tags[0]);
    Artist = TrimBoth(tags[1]);
    Album = TrimBoth(tags[2]);
    Track = WholeNumber(TrimBoth(tags[3]));
    Year = TrimBoth(tags[4]);
    Genre = TrimBoth(tags[5]);
    Comment = TrimBoth(tags[6]);
  }
  return true;
}
