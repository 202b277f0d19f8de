#include "framework/inifiles.h"

#include "platform/win/files.h"
#include "platform/win/profile.h"

namespace {
// Values come back through a buffer of this many characters, terminator
// included.
constexpr size_t kValueBuffer = 2048;
}  // namespace

std::string TIniFile::ReadString(const std::string& Section, const std::string& Ident,
                                 const std::string& Default) const {
  auto v = ProfileReadString(file_name_, Section, Ident);
  std::string r = v ? *v : Default;
  if (r.size() > kValueBuffer - 1) r.resize(kValueBuffer - 1);
  return r;
}

int TIniFile::ReadInteger(const std::string& Section, const std::string& Ident, int Default) const {
  std::string s = ReadString(Section, Ident, "");
  // Hexadecimal written as C does is read too.
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s = "$" + s.substr(2);
  int v;
  return TryStrToInt(s, v) ? v : Default;
}

bool TIniFile::ReadBool(const std::string& Section, const std::string& Ident, bool Default) const {
  return ReadInteger(Section, Ident, Default ? 1 : 0) != 0;
}

void TIniFile::WriteString(const std::string& Section, const std::string& Ident,
                           const std::string& Value) {
  if (!ProfileWriteString(file_name_, Section, Ident, Value))
    Raise<EIniFileException>("Unable to write to %s", file_name_);
}

void TIniFile::WriteInteger(const std::string& Section, const std::string& Ident, int Value) {
  WriteString(Section, Ident, IntToStr(Value));
}

void TIniFile::WriteBool(const std::string& Section, const std::string& Ident, bool Value) {
  WriteString(Section, Ident, Value ? "1" : "0");
}

void TIniFile::ReadSection(const std::string& Section, std::vector<std::string>& Strings) const {
  Strings = ProfileKeyNames(file_name_, Section);
}

void TIniFile::ReadSections(std::vector<std::string>& Strings) const {
  Strings = ProfileSectionNames(file_name_);
}

void TIniFile::ReadSectionValues(const std::string& Section,
                                 std::vector<std::string>& Strings) const {
  Strings = ProfileSectionLines(file_name_, Section);
}

bool TIniFile::SectionExists(const std::string& Section) const {
  for (const auto& s : ProfileSectionNames(file_name_))
    if (SameText(s, Section)) return true;
  return false;
}

bool TIniFile::ValueExists(const std::string& Section, const std::string& Ident) const {
  return ProfileReadString(file_name_, Section, Ident).has_value();
}

void TIniFile::EraseSection(const std::string& Section) {
  if (!ProfileDeleteSection(file_name_, Section))
    Raise<EIniFileException>("Unable to write to %s", file_name_);
}

void TIniFile::DeleteKey(const std::string& Section, const std::string& Ident) {
  if (!ProfileDeleteKey(file_name_, Section, Ident))
    Raise<EIniFileException>("Unable to write to %s", file_name_);
}

// ---- TMemIniFile ----------------------------------------------------------------

TMemIniFile::TMemIniFile(const std::string& FileName) : file_name_(FileName) {
  std::string text;
  if (ReadFileText(FileName, text)) text_.Parse(text);
}

std::string TMemIniFile::ReadString(const std::string& Section, const std::string& Ident,
                                    const std::string& Default) const {
  auto v = text_.Get(Section, Ident);
  std::string r = v ? *v : Default;
  if (r.size() > kValueBuffer - 1) r.resize(kValueBuffer - 1);
  return r;
}

bool TMemIniFile::ValueExists(const std::string& Section, const std::string& Ident) const {
  return text_.Get(Section, Ident).has_value();
}

void TMemIniFile::WriteString(const std::string& Section, const std::string& Ident,
                              const std::string& Value) {
  if (Value.find_first_of("\r\n") != std::string::npos)
    Raise<EIniFileException>("Unable to write to %s", file_name_);
  text_.Set(Section, Ident, Value);
}

void TMemIniFile::UpdateFile() {
  if (!ReplaceFileText(file_name_, text_.Text()))
    Raise<EIniFileException>("Unable to write to %s", file_name_);
}
