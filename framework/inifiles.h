// The INI-file class over the profile functions. Every call opens the file
// afresh; a failed write raises EIniFileException "Unable to write to %s".
#pragma once

#include <string>
#include <vector>

#include "framework/classes.h"
#include "platform/win/profile.h"

class TIniFile : public TObject {
 public:
  TAL_CLASS_NAME(TIniFile)
  explicit TIniFile(const std::string& FileName) : file_name_(FileName) {}
  const std::string& FileName() const { return file_name_; }

  // Values are read through a buffer of 2048 characters, so at most 2047 come back.
  std::string ReadString(const std::string& Section, const std::string& Ident,
                         const std::string& Default) const;
  // The integer read as decimal or hexadecimal ("$1F", "0x1F"); Default when
  // missing or not a number.
  int ReadInteger(const std::string& Section, const std::string& Ident, int Default) const;
  // "0" is false, any other integer true; Default when missing or not a number.
  bool ReadBool(const std::string& Section, const std::string& Ident, bool Default) const;
  void WriteString(const std::string& Section, const std::string& Ident, const std::string& Value);
  void WriteInteger(const std::string& Section, const std::string& Ident, int Value);
  void WriteBool(const std::string& Section, const std::string& Ident, bool Value);

  // Keys of a section / names of every section / "key=value" lines.
  void ReadSection(const std::string& Section, std::vector<std::string>& Strings) const;
  void ReadSections(std::vector<std::string>& Strings) const;
  void ReadSectionValues(const std::string& Section, std::vector<std::string>& Strings) const;
  bool SectionExists(const std::string& Section) const;
  bool ValueExists(const std::string& Section, const std::string& Ident) const;
  void EraseSection(const std::string& Section);
  void DeleteKey(const std::string& Section, const std::string& Ident);
  // Writes go straight to the file; nothing is buffered.
  void UpdateFile() {}

 private:
  std::string file_name_;
};

// The whole file read once; reads and writes work on the copy in memory, and
// UpdateFile replaces the file once with every change, so a program that
// dies while saving leaves either the old file or the new one. Sections and
// keys match without regard to case; other lines are kept as they are.
class TMemIniFile : public TObject {
 public:
  TAL_CLASS_NAME(TMemIniFile)
  // A missing or unreadable file reads as empty; an unreadable one is then
  // never written over.
  explicit TMemIniFile(const std::string& FileName);
  const std::string& FileName() const { return file_name_; }
  // True when the file is there but could not be read whole.
  bool Refused() const { return refused_; }

  // At most 2047 characters come back, as through the profile functions.
  std::string ReadString(const std::string& Section, const std::string& Ident,
                         const std::string& Default) const;
  bool ValueExists(const std::string& Section, const std::string& Ident) const;
  // A value holding a line break is refused with EIniFileException, since it
  // would plant lines of its own.
  void WriteString(const std::string& Section, const std::string& Ident, const std::string& Value);
  // Raises EIniFileException "Unable to write to %s" when the file cannot be
  // replaced; the file is then as it was.
  void UpdateFile();

 private:
  std::string file_name_;
  TProfileText text_;
  bool refused_;
};
