#include "platform/win/profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/win/casefold.h"
#include "platform/win/paths.h"

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view TrimView(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

// The line without its line end.
std::string_view Content(const std::string& Raw) {
  std::string_view v(Raw);
  if (!v.empty() && v.back() == '\n') v.remove_suffix(1);
  if (!v.empty() && v.back() == '\r') v.remove_suffix(1);
  return v;
}

bool HasLineEnd(const std::string& Raw) {
  return !Raw.empty() && Raw.back() == '\n';
}

// A section header "[name]"; the name is what stands between the brackets
// (to the end of the line when the closing bracket is missing), trimmed.
bool SectionName(const std::string& Raw, std::string_view& Name) {
  std::string_view c = TrimView(Content(Raw));
  if (c.empty() || c.front() != '[') return false;
  c.remove_prefix(1);
  size_t close = c.find(']');
  if (close != std::string_view::npos) c = c.substr(0, close);
  Name = TrimView(c);
  return true;
}

bool IsComment(std::string_view c) {
  return !c.empty() && c.front() == ';';
}

// A "key=value" line (comments are not keys).
bool KeyValue(const std::string& Raw, std::string_view& Key, std::string_view& Value) {
  std::string_view c = Content(Raw);
  std::string_view t = TrimView(c);
  if (t.empty() || IsComment(t) || t.front() == '[') return false;
  size_t eq = c.find('=');
  if (eq == std::string_view::npos) return false;
  Key = TrimView(c.substr(0, eq));
  Value = TrimView(c.substr(eq + 1));
  return true;
}

std::string Unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    v = v.substr(1, v.size() - 2);
  return std::string(v);
}

bool HasAny(std::string_view s, const char* chars) {
  return s.find_first_of(chars) != std::string_view::npos;
}

// Names and values that would change the file's structure are refused rather
// than written: a line break in a value would plant foreign lines.
bool ValidSection(std::string_view s) {
  return !HasAny(s, "]\r\n") && !TrimView(s).empty();
}
bool ValidKey(std::string_view s) {
  std::string_view t = TrimView(s);
  return !t.empty() && !HasAny(s, "=\r\n") && t.front() != '[' && t.front() != ';';
}
bool ValidValue(std::string_view s) {
  return !HasAny(s, "\r\n");
}

}  // namespace

void TProfileText::Parse(std::string_view Text) {
  lines_.clear();
  bom_.clear();
  // A file saved by an editor that marks UTF-8 must still show its first
  // section.
  if (Text.substr(0, 3) == "\xEF\xBB\xBF") {
    bom_ = std::string(Text.substr(0, 3));
    Text.remove_prefix(3);
  }
  size_t pos = 0;
  while (pos < Text.size()) {
    size_t nl = Text.find('\n', pos);
    size_t end = nl == std::string_view::npos ? Text.size() : nl + 1;
    lines_.push_back({std::string(Text.substr(pos, end - pos))});
    pos = end;
  }
}

std::string TProfileText::Text() const {
  std::string out = bom_;
  for (const auto& l : lines_) out += l.Raw;
  return out;
}

std::string TProfileText::Newline() const {
  for (const auto& l : lines_) {
    if (HasLineEnd(l.Raw))
      return l.Raw.size() >= 2 && l.Raw[l.Raw.size() - 2] == '\r' ? "\r\n" : "\n";
  }
  return "\r\n";
}

int TProfileText::FindSection(std::string_view Section) const {
  std::string_view want = TrimView(Section);
  for (size_t i = 0; i < lines_.size(); ++i) {
    std::string_view name;
    if (SectionName(lines_[i].Raw, name) && SameFolded(name, want)) return static_cast<int>(i);
  }
  return -1;
}

int TProfileText::SectionEnd(int Header) const {
  size_t i = static_cast<size_t>(Header) + 1;
  std::string_view name;
  while (i < lines_.size() && !SectionName(lines_[i].Raw, name)) ++i;
  return static_cast<int>(i);
}

int TProfileText::FindKey(int Header, std::string_view Key) const {
  std::string_view want = TrimView(Key);
  int end = SectionEnd(Header);
  for (int i = Header + 1; i < end; ++i) {
    std::string_view k, v;
    if (KeyValue(lines_[static_cast<size_t>(i)].Raw, k, v) && SameFolded(k, want)) return i;
  }
  return -1;
}

std::optional<std::string> TProfileText::Get(std::string_view Section, std::string_view Key) const {
  int h = FindSection(Section);
  if (h < 0) return std::nullopt;
  int k = FindKey(h, Key);
  if (k < 0) return std::nullopt;
  std::string_view key, value;
  KeyValue(lines_[static_cast<size_t>(k)].Raw, key, value);
  return Unquote(value);
}

namespace {

// Names repeat in hand-edited files; each is listed once, as first spelt.
void AddOnce(std::vector<std::string>& Names, std::string_view Name) {
  for (const auto& n : Names)
    if (SameFolded(n, Name)) return;
  Names.emplace_back(Name);
}

}  // namespace

template <class F>
void TProfileText::ForEachKey(std::string_view Section, F&& Fn) const {
  int h = FindSection(Section);
  if (h < 0) return;
  int end = SectionEnd(h);
  for (int i = h + 1; i < end; ++i) {
    std::string_view k, v;
    if (KeyValue(lines_[static_cast<size_t>(i)].Raw, k, v)) Fn(k, v);
  }
}

std::vector<std::string> TProfileText::SectionNames() const {
  std::vector<std::string> out;
  for (const auto& l : lines_) {
    std::string_view name;
    if (SectionName(l.Raw, name)) AddOnce(out, name);
  }
  return out;
}

std::vector<std::string> TProfileText::KeyNames(std::string_view Section) const {
  std::vector<std::string> out;
  ForEachKey(Section, [&](std::string_view k, std::string_view) { AddOnce(out, k); });
  return out;
}

std::vector<std::string> TProfileText::SectionLines(std::string_view Section) const {
  std::vector<std::string> out;
  ForEachKey(Section, [&](std::string_view k, std::string_view v) {
    out.push_back(std::string(k) + "=" + Unquote(v));
  });
  return out;
}

void TProfileText::Set(std::string_view Section, std::string_view Key, std::string_view Value) {
  std::string nl = Newline();
  std::string key(TrimView(Key));
  std::string line = key + "=" + std::string(TrimView(Value));
  int h = FindSection(Section);
  if (h < 0) {
    if (!lines_.empty() && !HasLineEnd(lines_.back().Raw)) lines_.back().Raw += nl;
    lines_.push_back({"[" + std::string(TrimView(Section)) + "]" + nl});
    lines_.push_back({line + nl});
    return;
  }
  int k = FindKey(h, Key);
  if (k >= 0) {
    // The key keeps its spelling and its line end.
    std::string& raw = lines_[static_cast<size_t>(k)].Raw;
    std::string_view oldKey, oldValue;
    KeyValue(raw, oldKey, oldValue);
    std::string end = raw.substr(Content(raw).size());
    raw = std::string(oldKey) + "=" + std::string(TrimView(Value)) + end;
    return;
  }
  // A new key goes after the section's last non-blank line.
  int at = SectionEnd(h);
  while (at - 1 > h && TrimView(Content(lines_[static_cast<size_t>(at - 1)].Raw)).empty()) --at;
  std::string& prev = lines_[static_cast<size_t>(at - 1)].Raw;
  if (!HasLineEnd(prev)) prev += nl;
  lines_.insert(lines_.begin() + at, TLine{line + nl});
}

bool TProfileText::DeleteKey(std::string_view Section, std::string_view Key) {
  int h = FindSection(Section);
  if (h < 0) return false;
  int k = FindKey(h, Key);
  if (k < 0) return false;
  lines_.erase(lines_.begin() + k);
  return true;
}

bool TProfileText::DeleteSection(std::string_view Section) {
  int h = FindSection(Section);
  if (h < 0) return false;
  lines_.erase(lines_.begin() + h, lines_.begin() + SectionEnd(h));
  return true;
}

// ---- Files -------------------------------------------------------------------

namespace {

TProfileText ReadProfile(const std::string& FileName) {
  TProfileText t;
  int fd = ::open(NativePath(FileName).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return t;
  struct stat st;
  std::string text;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    char buf[8192];
    for (;;) {
      ssize_t n = ::read(fd, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      text.append(buf, static_cast<size_t>(n));
    }
  }
  ::close(fd);
  t.Parse(text);
  return t;
}

bool WriteAll(int fd, const std::string& s) {
  size_t done = 0;
  while (done < s.size()) {
    ssize_t n = ::write(fd, s.data() + done, s.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Writes the whole text to a new file beside the old one and renames it over,
// so the file is either the old one or the new one, never half of each.
bool WriteProfile(const std::string& FileName, const TProfileText& Text) {
  std::string path = NativePath(FileName);
  size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  if (base.empty()) return false;
  std::string tmpl = dir + "." + base + ".XXXXXX";
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  int fd = ::mkstemp(name.data());
  if (fd < 0) return false;
  struct stat st;
  mode_t mode;
  if (::stat(path.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, Text.Text()) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = ::rename(name.data(), path.c_str()) == 0;
  if (!ok) ::unlink(name.data());
  return ok;
}

}  // namespace

std::optional<std::string> ProfileReadString(const std::string& FileName,
                                             const std::string& Section, const std::string& Key) {
  return ReadProfile(FileName).Get(Section, Key);
}

std::vector<std::string> ProfileSectionNames(const std::string& FileName) {
  return ReadProfile(FileName).SectionNames();
}

std::vector<std::string> ProfileKeyNames(const std::string& FileName, const std::string& Section) {
  return ReadProfile(FileName).KeyNames(Section);
}

std::vector<std::string> ProfileSectionLines(const std::string& FileName,
                                             const std::string& Section) {
  return ReadProfile(FileName).SectionLines(Section);
}

bool ProfileWriteString(const std::string& FileName, const std::string& Section,
                        const std::string& Key, const std::string& Value) {
  if (!ValidSection(Section) || !ValidKey(Key) || !ValidValue(Value)) return false;
  TProfileText t = ReadProfile(FileName);
  t.Set(Section, Key, Value);
  return WriteProfile(FileName, t);
}

bool ProfileDeleteKey(const std::string& FileName, const std::string& Section,
                      const std::string& Key) {
  TProfileText t = ReadProfile(FileName);
  if (!t.DeleteKey(Section, Key)) return true;
  return WriteProfile(FileName, t);
}

bool ProfileDeleteSection(const std::string& FileName, const std::string& Section) {
  TProfileText t = ReadProfile(FileName);
  if (!t.DeleteSection(Section)) return true;
  return WriteProfile(FileName, t);
}

namespace {

// Copies a list of names, each ended by '\0' and the list by another '\0',
// as far as it fits; returns the count the platform reports.
DWORD CopyList(const std::vector<std::string>& Names, char* Out, DWORD Size) {
  if (!Out || Size == 0) return 0;
  if (Size < 2) {
    Out[0] = '\0';
    return 0;
  }
  std::string all;
  for (const auto& n : Names) {
    all += n;
    all += '\0';
  }
  if (all.size() + 1 > Size) {
    std::memcpy(Out, all.data(), Size - 2);
    Out[Size - 2] = '\0';
    Out[Size - 1] = '\0';
    return Size - 2;
  }
  std::memcpy(Out, all.data(), all.size());
  Out[all.size()] = '\0';
  return static_cast<DWORD>(all.size());
}

DWORD CopyString(const std::string& S, char* Out, DWORD Size) {
  if (!Out || Size == 0) return 0;
  size_t n = S.size() < Size - 1 ? S.size() : Size - 1;
  std::memcpy(Out, S.data(), n);
  Out[n] = '\0';
  return static_cast<DWORD>(n);
}

}  // namespace

DWORD GetPrivateProfileStringA(const char* Section, const char* Key, const char* Default,
                               char* ReturnedString, DWORD Size, const char* FileName) {
  if (!FileName) return CopyString(Default ? Default : "", ReturnedString, Size);
  if (!Section) return CopyList(ProfileSectionNames(FileName), ReturnedString, Size);
  if (!Key) return CopyList(ProfileKeyNames(FileName, Section), ReturnedString, Size);
  auto v = ProfileReadString(FileName, Section, Key);
  return CopyString(v ? *v : std::string(TrimView(Default ? Default : "")), ReturnedString, Size);
}

UINT GetPrivateProfileIntA(const char* Section, const char* Key, int Default,
                           const char* FileName) {
  if (!Section || !Key || !FileName) return static_cast<UINT>(Default);
  auto v = ProfileReadString(FileName, Section, Key);
  if (!v) return static_cast<UINT>(Default);
  // Leading digits, optionally signed; nothing readable gives 0.
  const char* p = v->c_str();
  bool neg = false;
  if (*p == '-' || *p == '+') neg = (*p++ == '-');
  uint32_t n = 0;
  while (*p >= '0' && *p <= '9') n = n * 10u + static_cast<uint32_t>(*p++ - '0');
  return neg ? 0u - n : n;
}

BOOL WritePrivateProfileStringA(const char* Section, const char* Key, const char* Value,
                                const char* FileName) {
  if (!Section || !FileName) return FALSE;
  if (!Key) return ProfileDeleteSection(FileName, Section) ? TRUE : FALSE;
  if (!Value) return ProfileDeleteKey(FileName, Section, Key) ? TRUE : FALSE;
  return ProfileWriteString(FileName, Section, Key, Value) ? TRUE : FALSE;
}
