// The profile text's rules spelt out line by line, without a cache and
// without care for speed: the fresh reading and the plain editor that the
// fuzzers hold TProfileText to, lookups and the whole text alike. A section
// is found by its first header, a key by its first line in that section;
// names compare without case, values are trimmed and lose a pair of quotes.
// A changed key keeps its spelling and its line end; a new key goes after
// the last non-blank line of its section; a new section goes at the end.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win/casefold.h"

// The oracle is not what a fuzzer explores: kept out of the coverage, it
// neither steers the search nor slows the runs it checks.
#define TAL_ORACLE __attribute__((no_sanitize("coverage")))

class TProfileModel {
 public:
  TAL_ORACLE explicit TProfileModel(std::string_view Text) {
    if (Text.substr(0, 3) == "\xEF\xBB\xBF") {
      bom_ = Text.substr(0, 3);
      Text.remove_prefix(3);
    }
    text_ = Text;
  }

  TAL_ORACLE std::string Text() const { return bom_ + text_; }

  TAL_ORACLE std::optional<std::string> Get(std::string_view Section, std::string_view Key) const {
    const std::vector<TLine>& lines = Lines();
    const size_t h = FindSection(lines, Section);
    if (h == kNone) return std::nullopt;
    const size_t k = FindKey(lines, h, Key);
    if (k == kNone) return std::nullopt;
    std::string_view value = lines[k].Value;
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
      value = value.substr(1, value.size() - 2);
    return std::string(value);
  }

  TAL_ORACLE void Set(std::string_view Section, std::string_view Key, std::string_view Value) {
    const std::string nl = Newline();
    const std::string line = std::string(Trim(Key)) + "=" + std::string(Trim(Value));
    const std::vector<TLine>& lines = Lines();
    const size_t h = FindSection(lines, Section);
    if (h == kNone) {
      if (!text_.empty() && text_.back() != '\n') text_ += nl;
      text_ += "[" + std::string(Trim(Section)) + "]" + nl + line + nl;
      split_ = false;
      return;
    }
    const size_t k = FindKey(lines, h, Key);
    if (k != kNone) {
      text_.replace(lines[k].At, Content(lines[k].Raw).size(),
                    std::string(lines[k].Name) + "=" + std::string(Trim(Value)));
      split_ = false;
      return;
    }
    size_t at = lines[h].At + lines[h].Raw.size();
    for (size_t i = h + 1, end = SectionEnd(lines, h); i < end; ++i)
      if (!Trim(Content(lines[i].Raw)).empty()) at = lines[i].At + lines[i].Raw.size();
    text_.insert(at, (text_[at - 1] == '\n' ? "" : nl) + line + nl);
    split_ = false;
  }

  TAL_ORACLE bool DeleteKey(std::string_view Section, std::string_view Key) {
    const std::vector<TLine>& lines = Lines();
    const size_t h = FindSection(lines, Section);
    const size_t k = h == kNone ? kNone : FindKey(lines, h, Key);
    if (k == kNone) return false;
    text_.erase(lines[k].At, lines[k].Raw.size());
    split_ = false;
    return true;
  }

  TAL_ORACLE bool DeleteSection(std::string_view Section) {
    const std::vector<TLine>& lines = Lines();
    const size_t h = FindSection(lines, Section);
    if (h == kNone) return false;
    const size_t end = SectionEnd(lines, h);
    text_.erase(lines[h].At, (end < lines.size() ? lines[end].At : text_.size()) - lines[h].At);
    split_ = false;
    return true;
  }

 private:
  static constexpr size_t kNone = static_cast<size_t>(-1);

  struct TLine {
    size_t At;
    std::string_view Raw;  // with its line end
    bool Header = false, Key = false;
    std::string_view Name;  // of a header or a key
    std::string_view Value;
  };

  // The lines are split afresh after every edit.
  TAL_ORACLE const std::vector<TLine>& Lines() const {
    if (!split_) {
      lines_.clear();
      for (size_t at = 0; at < text_.size();) {
        const size_t nl = text_.find('\n', at);
        const size_t end = nl == std::string::npos ? text_.size() : nl + 1;
        TLine& line = lines_.emplace_back();
        line.At = at;
        line.Raw = std::string_view(text_).substr(at, end - at);
        line.Header = Header(line.Raw, line.Name);
        line.Key = KeyValue(line.Raw, line.Name, line.Value);
        at = end;
      }
      split_ = true;
    }
    return lines_;
  }

  TAL_ORACLE static std::string_view Trim(std::string_view S) {
    const char* blank = " \t\r\n\v\f";
    const size_t b = S.find_first_not_of(blank);
    if (b == std::string_view::npos) return {};
    return S.substr(b, S.find_last_not_of(blank) - b + 1);
  }
  TAL_ORACLE static std::string_view Content(std::string_view Raw) {
    if (!Raw.empty() && Raw.back() == '\n') Raw.remove_suffix(1);
    if (!Raw.empty() && Raw.back() == '\r') Raw.remove_suffix(1);
    return Raw;
  }
  TAL_ORACLE static bool Header(std::string_view Raw, std::string_view& Name) {
    std::string_view c = Trim(Content(Raw));
    if (c.empty() || c.front() != '[') return false;
    c.remove_prefix(1);
    const size_t close = c.find(']');
    Name = Trim(close == std::string_view::npos ? c : c.substr(0, close));
    return true;
  }
  TAL_ORACLE static bool KeyValue(std::string_view Raw, std::string_view& Key,
                                  std::string_view& Value) {
    const std::string_view c = Content(Raw), t = Trim(c);
    const size_t eq = c.find('=');
    if (t.empty() || t.front() == ';' || t.front() == '[' || eq == std::string_view::npos)
      return false;
    Key = Trim(c.substr(0, eq));
    Value = Trim(c.substr(eq + 1));
    return true;
  }

  TAL_ORACLE static size_t FindSection(const std::vector<TLine>& Lines, std::string_view Section) {
    for (size_t i = 0; i < Lines.size(); ++i)
      if (Lines[i].Header && SameFolded(Lines[i].Name, Trim(Section))) return i;
    return kNone;
  }
  TAL_ORACLE static size_t SectionEnd(const std::vector<TLine>& Lines, size_t H) {
    size_t i = H + 1;
    while (i < Lines.size() && !Lines[i].Header) ++i;
    return i;
  }
  TAL_ORACLE static size_t FindKey(const std::vector<TLine>& Lines, size_t H,
                                   std::string_view Key) {
    for (size_t i = H + 1, end = SectionEnd(Lines, H); i < end; ++i)
      if (Lines[i].Key && SameFolded(Lines[i].Name, Trim(Key))) return i;
    return kNone;
  }

  TAL_ORACLE std::string Newline() const {
    const size_t nl = text_.find('\n');
    if (nl == std::string::npos) return "\r\n";
    return nl > 0 && text_[nl - 1] == '\r' ? "\r\n" : "\n";
  }

  std::string bom_;
  std::string text_;
  mutable std::vector<TLine> lines_;
  mutable bool split_ = false;
};
