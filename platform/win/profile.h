// The profile functions behind game.INI. Sections and keys are found without
// regard to case and the first match wins; values are trimmed (and a pair of
// surrounding quotes dropped). A write changes only the line it concerns, keeps
// every other line as it was (comments, foreign keys, line ends), creates the
// key, section or file when missing, and replaces the file atomically so that
// a crash never leaves a half-written file: the new file reaches the disk,
// is renamed over the old one, and the folder is synced so that the rename
// survives a power cut (where the folder cannot be synced, the write still
// stands: the file was replaced). Temporary files left beside the file by
// killed writes are removed by the next write; their names are of a form of
// the writer's own, so no other file beside game.INI is ever taken for one.
// Where the file system keeps no locks, writes go on without them and leave
// no temporary file of their own. Every read opens the file afresh.
// Only a regular file of at most 1 MiB is read or written; anything else (a
// FIFO, a device, a huge file) reads as empty and is never written. A file
// without write permission is never replaced, and a symbolic link is written
// through, so the link stays.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/win/wintypes.h"

// The text of a profile file held in memory: parsing and editing without any
// file access. Hostile input is fine: any bytes parse.
class TProfileText {
 public:
  TProfileText() = default;
  explicit TProfileText(std::string_view Text) { Parse(Text); }
  void Parse(std::string_view Text);
  std::string Text() const;

  std::optional<std::string> Get(std::string_view Section, std::string_view Key) const;
  std::vector<std::string> SectionNames() const;
  // Keys of the first matching section, in file order, each once.
  std::vector<std::string> KeyNames(std::string_view Section) const;
  // "key=value" lines of the first matching section, in file order.
  std::vector<std::string> SectionLines(std::string_view Section) const;
  void Set(std::string_view Section, std::string_view Key, std::string_view Value);
  // Removes the key's first occurrence; false when it was not there.
  bool DeleteKey(std::string_view Section, std::string_view Key);
  // Removes the first matching section with all its lines.
  bool DeleteSection(std::string_view Section);

 private:
  static constexpr size_t npos = std::string::npos;
  // Offsets into text_ of line starts; npos when absent.
  size_t FindSection(std::string_view Section) const;  // the header line
  size_t SectionEnd(size_t Header) const;              // first line past the section
  size_t FindKey(size_t Header, std::string_view Key) const;
  // Fn (line start, key, value) for each key line of the section at Header,
  // while Fn answers true.
  template <class F>
  void ForEachKeyLine(size_t Header, F&& Fn) const;
  // Fn (key, value) for each key line of the first matching section.
  template <class F>
  void ForEachKey(std::string_view Section, F&& Fn) const;
  std::string Newline() const;

  // The section last looked in, with where its keys are. Reading or saving
  // the settings asks for key after key of one section; without this each
  // would walk the text from its start. Set keeps it up to date as it edits;
  // every other change of the text drops it.
  struct TSectionCache {
    bool Valid = false;
    std::string Name;      // folded
    size_t Header = npos;  // the header line; npos when there is no such section
    // Worked out once a run of lookups in the section shows (or at the first
    // write), so that a few lookups here and there cost no more than a walk
    // each.
    int Lookups = 0;
    bool Indexed = false;
    size_t End = 0;     // the first line past the section
    size_t Append = 0;  // where a new key goes: past the last non-blank line
    std::unordered_map<std::string, size_t> Keys;  // folded name -> its first line
  };
  const TSectionCache& CachedSection(std::string_view Section, bool Index) const;
  // Moves the cached offsets from At on by Delta bytes, after an edit there.
  void ShiftCache(size_t At, size_t Delta);

  std::string text_;  // every line, with its line end, as read
  std::string bom_;   // a byte-order mark before the first line, kept as it was
  mutable TSectionCache cache_;
};

// The whole file at once, under the same rules. ReadProfileFile is false when
// the file exists but is refused (not regular, too large, unreadable): Text is
// then empty and must not be written back. WriteProfileFile replaces the file
// in one step and is false when it cannot.
bool ReadProfileFile(const std::string& FileName, TProfileText& Text);
bool WriteProfileFile(const std::string& FileName, const TProfileText& Text);

// File-level calls. FileName may use '\'; a missing file reads as empty.
std::optional<std::string> ProfileReadString(const std::string& FileName,
                                             const std::string& Section, const std::string& Key);
std::vector<std::string> ProfileSectionNames(const std::string& FileName);
std::vector<std::string> ProfileKeyNames(const std::string& FileName, const std::string& Section);
std::vector<std::string> ProfileSectionLines(const std::string& FileName,
                                             const std::string& Section);
// These return false when the file cannot be written or read whole; nothing
// is changed then.
bool ProfileWriteString(const std::string& FileName, const std::string& Section,
                        const std::string& Key, const std::string& Value);
bool ProfileDeleteKey(const std::string& FileName, const std::string& Section,
                      const std::string& Key);
bool ProfileDeleteSection(const std::string& FileName, const std::string& Section);

// The platform's own shapes of the same calls. A null Section lists section
// names and a null Key lists keys (each ended by '\0', the list by another
// '\0'); a null Key deletes the section and a null Value deletes the key.
DWORD GetPrivateProfileStringA(const char* Section, const char* Key, const char* Default,
                               char* ReturnedString, DWORD Size, const char* FileName);
UINT GetPrivateProfileIntA(const char* Section, const char* Key, int Default, const char* FileName);
BOOL WritePrivateProfileStringA(const char* Section, const char* Key, const char* Value,
                                const char* FileName);
