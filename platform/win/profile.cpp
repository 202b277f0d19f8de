#include "platform/win/profile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unordered_set>

#include "platform/win/casefold.h"
#include "platform/win/paths.h"
#include "platform/win/profile_seam.h"

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
std::string_view Content(std::string_view Raw) {
  std::string_view v(Raw);
  if (!v.empty() && v.back() == '\n') v.remove_suffix(1);
  if (!v.empty() && v.back() == '\r') v.remove_suffix(1);
  return v;
}

// A section header "[name]"; the name is what stands between the brackets
// (to the end of the line when the closing bracket is missing), trimmed.
bool SectionName(std::string_view Raw, std::string_view& Name) {
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
bool KeyValue(std::string_view Raw, std::string_view& Key, std::string_view& Value) {
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

// The text is kept as one string and walked line by line: a lookup reads the
// file at most once, so memory and time grow with the file's size and never
// with the square of its lines. The section last looked in is remembered
// with its keys, so that a run of lookups in one section walks it once.

namespace {

// The line that starts at Begin, its line end included.
std::string_view LineAt(const std::string& Text, size_t Begin) {
  size_t nl = Text.find('\n', Begin);
  size_t end = nl == std::string::npos ? Text.size() : nl + 1;
  return std::string_view(Text).substr(Begin, end - Begin);
}

// Names compared without case, as a key for a set of names already seen.
std::string Folded(std::string_view Name) {
  std::string out(Name);
  for (char& c : out) c = static_cast<char>(CaseFold(static_cast<uint8_t>(c)));
  return out;
}

// Names repeat in hand-edited files; each is listed once, as first spelt.
void AddOnce(std::vector<std::string>& Names, std::unordered_set<std::string>& Seen,
             std::string_view Name) {
  if (Seen.insert(Folded(Name)).second) Names.emplace_back(Name);
}

}  // namespace

void TProfileText::Parse(std::string_view Text) {
  bom_.clear();
  // A file saved by an editor that marks UTF-8 must still show its first
  // section.
  if (Text.substr(0, 3) == "\xEF\xBB\xBF") {
    bom_ = std::string(Text.substr(0, 3));
    Text.remove_prefix(3);
  }
  text_ = std::string(Text);
  cache_.Valid = false;
}

const TProfileText::TSectionCache& TProfileText::CachedSection(std::string_view Section,
                                                               bool Index) const {
  // Reading the settings asks for a dozen keys and more of a section in a
  // row; four lookups are taken for such a run.
  constexpr int kRun = 4;
  std::string name = Folded(TrimView(Section));
  if (cache_.Valid && cache_.Name == name) {
    if (++cache_.Lookups >= kRun) Index = true;
  } else {
    cache_ = TSectionCache();
    cache_.Valid = true;
    cache_.Name = std::move(name);
    cache_.Header = FindSection(Section);
  }
  if (!Index || cache_.Indexed || cache_.Header == npos) return cache_;
  cache_.Indexed = true;
  cache_.End = SectionEnd(cache_.Header);
  cache_.Append = cache_.Header + LineAt(text_, cache_.Header).size();
  for (size_t p = cache_.Append; p < cache_.End;) {
    std::string_view line = LineAt(text_, p), k, v;
    if (KeyValue(line, k, v)) cache_.Keys.emplace(Folded(k), p);
    p += line.size();
    if (!TrimView(Content(line)).empty()) cache_.Append = p;
  }
  return cache_;
}

void TProfileText::ShiftCache(size_t At, size_t Delta) {
  if (cache_.Header != npos && cache_.Header >= At) cache_.Header += Delta;
  if (cache_.End >= At) cache_.End += Delta;
  if (cache_.Append >= At) cache_.Append += Delta;
  for (auto& [key, line] : cache_.Keys)
    if (line >= At) line += Delta;
}

std::string TProfileText::Text() const {
  return bom_ + text_;
}

std::string TProfileText::Newline() const {
  size_t nl = text_.find('\n');
  if (nl == std::string::npos) return "\r\n";
  return nl > 0 && text_[nl - 1] == '\r' ? "\r\n" : "\n";
}

size_t TProfileText::FindSection(std::string_view Section) const {
  std::string_view want = TrimView(Section);
  for (size_t p = 0; p < text_.size();) {
    if (text_[p] == '\n') {  // blank lines may be millions; pass them cheaply
      ++p;
      continue;
    }
    std::string_view line = LineAt(text_, p), name;
    if (SectionName(line, name) && SameFolded(name, want)) return p;
    p += line.size();
  }
  return npos;
}

size_t TProfileText::SectionEnd(size_t Header) const {
  size_t p = Header + LineAt(text_, Header).size();
  while (p < text_.size()) {
    if (text_[p] == '\n') {
      ++p;
      continue;
    }
    std::string_view line = LineAt(text_, p), name;
    if (SectionName(line, name)) break;
    p += line.size();
  }
  return p;
}

template <class F>
void TProfileText::ForEachKeyLine(size_t Header, F&& Fn) const {
  const size_t end = SectionEnd(Header);
  for (size_t p = Header + LineAt(text_, Header).size(); p < end;) {
    std::string_view line = LineAt(text_, p), k, v;
    if (KeyValue(line, k, v) && !Fn(p, k, v)) return;
    p += line.size();
  }
}

size_t TProfileText::FindKey(size_t Header, std::string_view Key) const {
  std::string_view want = TrimView(Key);
  size_t found = npos;
  ForEachKeyLine(Header, [&](size_t p, std::string_view k, std::string_view) {
    if (!SameFolded(k, want)) return true;
    found = p;
    return false;
  });
  return found;
}

std::optional<std::string> TProfileText::Get(std::string_view Section, std::string_view Key) const {
  const TSectionCache& c = CachedSection(Section, false);
  if (c.Header == npos) return std::nullopt;
  size_t k = npos;
  if (c.Indexed) {
    auto found = c.Keys.find(Folded(TrimView(Key)));
    if (found != c.Keys.end()) k = found->second;
  } else {
    k = FindKey(c.Header, Key);
  }
  if (k == npos) return std::nullopt;
  std::string_view key, value;
  KeyValue(LineAt(text_, k), key, value);
  return Unquote(value);
}

template <class F>
void TProfileText::ForEachKey(std::string_view Section, F&& Fn) const {
  size_t h = FindSection(Section);
  if (h == npos) return;
  ForEachKeyLine(h, [&](size_t, std::string_view k, std::string_view v) {
    Fn(k, v);
    return true;
  });
}

std::vector<std::string> TProfileText::SectionNames() const {
  std::vector<std::string> out;
  std::unordered_set<std::string> seen;
  for (size_t p = 0; p < text_.size();) {
    if (text_[p] == '\n') {
      ++p;
      continue;
    }
    std::string_view line = LineAt(text_, p), name;
    if (SectionName(line, name)) AddOnce(out, seen, name);
    p += line.size();
  }
  return out;
}

std::vector<std::string> TProfileText::KeyNames(std::string_view Section) const {
  std::vector<std::string> out;
  std::unordered_set<std::string> seen;
  ForEachKey(Section, [&](std::string_view k, std::string_view) { AddOnce(out, seen, k); });
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
  const TSectionCache& c = CachedSection(Section, true);
  if (c.Header == npos) {
    if (!text_.empty() && text_.back() != '\n') text_ += nl;
    text_ += "[" + std::string(TrimView(Section)) + "]" + nl + line + nl;
    cache_.Valid = false;
    return;
  }
  auto found = c.Keys.find(Folded(key));
  if (found != c.Keys.end()) {
    // The key keeps its spelling and its line end.
    const size_t k = found->second;
    std::string_view raw = LineAt(text_, k), oldKey, oldValue;
    KeyValue(raw, oldKey, oldValue);
    const size_t content = Content(raw).size();
    const std::string replaced = std::string(oldKey) + "=" + std::string(TrimView(Value));
    text_.replace(k, content, replaced);
    ShiftCache(k + 1, replaced.size() - content);
  } else {
    // A new key goes after the section's last non-blank line.
    const size_t at = c.Append;
    std::string insert = line + nl;
    if (text_[at - 1] != '\n') insert = nl + insert;
    text_.insert(at, insert);
    ShiftCache(at, insert.size());
    cache_.Keys.emplace(Folded(key), at + insert.size() - line.size() - nl.size());
  }
  // A name or value that is not one line changes more than the cache knows.
  if (!ValidKey(Key) || !ValidValue(Value)) cache_.Valid = false;
}

bool TProfileText::DeleteKey(std::string_view Section, std::string_view Key) {
  size_t h = FindSection(Section);
  if (h == npos) return false;
  size_t k = FindKey(h, Key);
  if (k == npos) return false;
  text_.erase(k, LineAt(text_, k).size());
  cache_.Valid = false;
  return true;
}

bool TProfileText::DeleteSection(std::string_view Section) {
  size_t h = FindSection(Section);
  if (h == npos) return false;
  text_.erase(h, SectionEnd(h) - h);
  cache_.Valid = false;
  return true;
}

// ---- Files -------------------------------------------------------------------

namespace {

// A real game.INI holds a few kilobytes; anything this large is not one, and
// reading it would only cost time and memory.
constexpr off_t MaxProfileBytes = off_t{1} << 20;

enum class TProfileState { psMissing, psRead, psRefused };

// Only a regular file of sane size is read: a FIFO or a device would block
// or never end. Whatever is refused reads as empty and is never written.
TProfileState ReadProfile(const std::string& Path, TProfileText& Text) {
  Text.Parse("");
  // Not blocking, so opening a FIFO returns at once and fstat can refuse it.
  int fd = ::open(Path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? TProfileState::psMissing : TProfileState::psRefused;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > MaxProfileBytes) {
    ::close(fd);
    return TProfileState::psRefused;
  }
  std::string text;
  char buf[8192];
  bool ok = true;
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    text.append(buf, static_cast<size_t>(n));
    // The file may grow while it is read.
    if (text.size() > static_cast<size_t>(MaxProfileBytes)) {
      ok = false;
      break;
    }
  }
  ::close(fd);
  if (!ok) return TProfileState::psRefused;
  Text.Parse(text);
  return TProfileState::psRead;
}

TProfileText ReadProfileText(const std::string& FileName) {
  TProfileText t;
  ReadProfile(NativePath(FileName), t);
  return t;
}

// The file a write lands in: a symbolic link is followed (a game.INI kept
// elsewhere and linked stays linked), a dangling one to where it points.
bool WriteTarget(const std::string& Path, std::string& Target) {
  Target = Path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (::lstat(Target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
    std::vector<char> link(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
    ssize_t n = ::readlink(Target.c_str(), link.data(), link.size());
    if (n < 0 || static_cast<size_t>(n) >= link.size()) return false;
    std::string to(link.data(), static_cast<size_t>(n));
    if (to.empty()) return false;
    if (to.front() != '/') {
      size_t slash = Target.rfind('/');
      if (slash != std::string::npos) to = Target.substr(0, slash + 1) + to;
    }
    Target = to;
  }
  return false;  // a loop of links
}

std::function<void(TProfileWriteStep)>& WriteHook() {
  static std::function<void(TProfileWriteStep)> hook;
  return hook;
}

void Step(TProfileWriteStep S) {
  if (WriteHook()) WriteHook()(S);
}

TProfileFileCalls& FileCalls() {
  static TProfileFileCalls calls;
  return calls;
}

int LockFile(int Fd, int Operation) {
  const TProfileFileCalls& c = FileCalls();
  return c.Lock ? c.Lock(Fd, Operation) : ::flock(Fd, Operation);
}

bool WriteAll(int fd, const std::string& s) {
  const TProfileFileCalls& c = FileCalls();
  size_t done = 0;
  while (done < s.size()) {
    const void* from = s.data() + done;
    const size_t size = s.size() - done;
    ssize_t n = c.Write ? c.Write(fd, from, size) : ::write(fd, from, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// A write's temporary file: "." + the file's name + ".~tal-save-" + six
// letters or digits, beside the file. Only names of exactly this form are
// ever taken for leftovers, so a person's own ".game.INI.backup" or
// ".game.INI.old001" is never removed.
constexpr std::string_view kTempMark = ".~tal-save-";
constexpr size_t kTempRandom = 6;  // the letters and digits mkostemp fills in

std::string TempPrefix(const std::string& Base) {
  return "." + Base + std::string(kTempMark);
}

bool IsTempName(std::string_view Name, const std::string& Prefix) {
  if (Name.size() != Prefix.size() + kTempRandom || Name.substr(0, Prefix.size()) != Prefix)
    return false;
  for (char c : Name.substr(Prefix.size()))
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
  return true;
}

// True when the name still leads to the open file.
bool StillNamed(int Fd, const std::string& Path) {
  struct stat held, named;
  return ::fstat(Fd, &held) == 0 && ::lstat(Path.c_str(), &named) == 0 &&
         held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

// Where the file system keeps no locks, a leftover cannot be told from the
// file of a save running now by its lock. A save takes well under a second,
// so a file untouched for an hour is taken for a leftover. Its age is
// reckoned from this save's own temporary file, made just before on the same
// file system, so a file server whose clock differs from this machine's
// changes nothing.
constexpr time_t kUnlockedLeftoverAge = 60 * 60;

// A write killed before its rename leaves its temporary file behind; the
// next write removes it. A write holds a lock on its temporary file while it
// runs, so a file whose lock can be taken has no live writer, and a save
// running in another program at the same time keeps its file.
void RemoveLeftovers(const std::string& Dir, const std::string& Base, const std::string& Own,
                     const struct stat& OwnStat) {
  const std::string prefix = TempPrefix(Base);
  DIR* d = ::opendir(Dir.empty() ? "." : Dir.c_str());
  if (!d) return;
  while (const dirent* e = ::readdir(d)) {
    if (!IsTempName(e->d_name, prefix)) continue;
    const std::string path = Dir + e->d_name;
    if (path == Own) continue;
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st;
    bool leftover = false;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
      if (LockFile(fd, LOCK_EX | LOCK_NB) == 0)
        leftover = true;
      else if (errno != EWOULDBLOCK && errno != EINTR)  // no locks here
        leftover = OwnStat.st_mtime - st.st_mtime >= kUnlockedLeftoverAge;
    }
    if (leftover && StillNamed(fd, path)) ::unlink(path.c_str());
    ::close(fd);
  }
  ::closedir(d);
}

// A new temporary file, locked for the length of the write (see above).
// Where the file system keeps no locks (ENOLCK on a network mount without a
// lock service, EOPNOTSUPP where locks are not made at all), the save goes
// on without the lock, as saves did before they took one.
int CreateTemp(const std::string& Dir, const std::string& Base, std::string& Name) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    std::string tmpl = Dir + TempPrefix(Base) + "XXXXXX";
    int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0) return -1;
    int locked;
    do {
      locked = LockFile(fd, LOCK_EX);
    } while (locked != 0 && errno == EINTR);
    // Another program's clean-up may have taken it for a leftover between
    // its creation and the lock; then it is gone, and another one is made.
    if (locked == 0 && !StillNamed(fd, tmpl)) {
      ::close(fd);
      continue;
    }
    Name = tmpl;
    return fd;
  }
  return -1;
}

// The rename reaches the disk with the folder, not with the file, so the
// folder is synced after it. What a save promises when it reports success:
// the file holds the new text for every reader from then on, and the new
// text is on the disk. That the rename also outlives a power cut holds where
// the folder can be synced; where it cannot (a folder that cannot be opened,
// a file system that does not sync folders, an I/O error) the save still
// stands, since by then the old text is gone and the new one is in its
// place: a failure here would tell the player of a lost save that is there.
void SyncFolder(const std::string& Dir) {
  const TProfileFileCalls& c = FileCalls();
  const char* path = Dir.empty() ? "." : Dir.c_str();
  int fd = c.OpenFolder ? c.OpenFolder(path) : ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  if (c.SyncFolder)
    c.SyncFolder(fd);
  else
    ::fsync(fd);
  ::close(fd);
}

// Writes the whole text to a new file beside the old one and renames it over,
// so the file is either the old one or the new one, never half of each. No
// way out leaves the temporary file this write made.
bool WriteProfile(const std::string& Path, const TProfileText& Text) {
  std::string path;
  if (!WriteTarget(Path, path)) return false;
  size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  if (base.empty()) return false;
  struct stat st;
  mode_t mode;
  if (::stat(path.c_str(), &st) == 0) {
    // A read-only file keeps its content, as the platform's read-only
    // attribute would; the permission bits say so even to root, who may
    // write anything.
    if (!S_ISREG(st.st_mode) || (st.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0)
      return false;
    mode = st.st_mode & 07777;
  } else {
    if (errno != ENOENT) return false;
    mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  std::string name;
  int fd = CreateTemp(dir, base, name);
  if (fd < 0) return false;
  struct stat own;
  if (::fstat(fd, &own) == 0) RemoveLeftovers(dir, base, name, own);
  Step(pwsTempCreated);
  bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, Text.Text());
  if (ok) Step(pwsTempWritten);
  ok = ok && ::fsync(fd) == 0;
  if (ok) Step(pwsTempSynced);
  if (ok) ok = ::rename(name.c_str(), path.c_str()) == 0;
  // Closed only now: the lock lasts until the rename, so another program's
  // clean-up can never take this save's file for a leftover. What is synced
  // cannot be lost by the close.
  ::close(fd);
  if (!ok) {
    ::unlink(name.c_str());
    return false;
  }
  Step(pwsRenamed);
  SyncFolder(dir);
  return true;
}

}  // namespace

void SetProfileWriteHook(std::function<void(TProfileWriteStep)> Hook) {
  WriteHook() = std::move(Hook);
}

void SetProfileFileCalls(TProfileFileCalls Calls) {
  FileCalls() = std::move(Calls);
}

namespace {

// Read, edit, write back; nothing is written over a file that could not be
// read whole, so a refused file never loses its content.
template <class F>
bool EditProfile(const std::string& FileName, F&& Edit) {
  const std::string path = NativePath(FileName);
  TProfileText t;
  if (ReadProfile(path, t) == TProfileState::psRefused) return false;
  if (!Edit(t)) return true;
  return WriteProfile(path, t);
}

}  // namespace

bool ReadProfileFile(const std::string& FileName, TProfileText& Text) {
  return ReadProfile(NativePath(FileName), Text) != TProfileState::psRefused;
}

bool WriteProfileFile(const std::string& FileName, const TProfileText& Text) {
  return WriteProfile(NativePath(FileName), Text);
}

std::optional<std::string> ProfileReadString(const std::string& FileName,
                                             const std::string& Section, const std::string& Key) {
  return ReadProfileText(FileName).Get(Section, Key);
}

std::vector<std::string> ProfileSectionNames(const std::string& FileName) {
  return ReadProfileText(FileName).SectionNames();
}

std::vector<std::string> ProfileKeyNames(const std::string& FileName, const std::string& Section) {
  return ReadProfileText(FileName).KeyNames(Section);
}

std::vector<std::string> ProfileSectionLines(const std::string& FileName,
                                             const std::string& Section) {
  return ReadProfileText(FileName).SectionLines(Section);
}

bool ProfileWriteString(const std::string& FileName, const std::string& Section,
                        const std::string& Key, const std::string& Value) {
  if (!ValidSection(Section) || !ValidKey(Key) || !ValidValue(Value)) return false;
  return EditProfile(FileName, [&](TProfileText& t) {
    t.Set(Section, Key, Value);
    return true;
  });
}

bool ProfileDeleteKey(const std::string& FileName, const std::string& Section,
                      const std::string& Key) {
  return EditProfile(FileName, [&](TProfileText& t) { return t.DeleteKey(Section, Key); });
}

bool ProfileDeleteSection(const std::string& FileName, const std::string& Section) {
  return EditProfile(FileName, [&](TProfileText& t) { return t.DeleteSection(Section); });
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
