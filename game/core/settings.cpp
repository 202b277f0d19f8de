// game.INI: the settings, the highest open mission, the top-ten table, the
// best level times and the enemy book.
#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "framework/forms.h"
#include "framework/inifiles.h"
#include "framework/sysutils.h"
#include "game/core/main_form.h"
#include "platform/win/files.h"
#include "platform/win/library.h"
#include "platform/win/shell.h"

namespace {

// A stored number, or Default when it is missing or not a number.
int64_t ReadNumber(const TMemIniFile& Ini, const std::string& Section, const std::string& Ident,
                   int64_t Default) {
  int64_t v;
  if (!Ini.ValueExists(Section, Ident) || !TryStrToInt64(Ini.ReadString(Section, Ident, ""), v))
    return Default;
  return v;
}

// A name as it can stand on its line: a stray line break read from a
// damaged file would otherwise refuse the whole save.
std::string OneLine(std::string Text) {
  std::erase_if(Text, [](char c) { return c == '\r' || c == '\n' || c == '\0'; });
  return Text;
}

// Shows a failed write in the application's error box; the values stay in
// memory and reach the file at the next full save.
void ReportWriteFailure(const Exception& E) {
  if (Application) Application->ShowException(E);
}

}  // namespace

std::string IniFileName() {
  return ProgramFolder() + "game.INI";
}

std::string ReadIniValue(const std::string& Section, const std::string& Ident) {
  return TIniFile(IniFileName()).ReadString(Section, Ident, "xyz");
}

void WriteIniValue(const std::string& Section, const std::string& Ident, const std::string& Value) {
  TIniFile(IniFileName()).WriteString(Section, Ident, Value);
}

void ReadEnemyBook(const std::string& Text) {
  // Nineteen two-character fields. A field that is not a type 1..19, or
  // repeats an earlier one, is an empty place; the entries close up so the
  // book never shows a hole or the same type twice.
  EnemyBookCount = 0;
  for (int i = 1; i <= EnemyBookSize; ++i) EnemyBook[i] = 0;
  for (int i = 1; i <= EnemyBookSize; ++i) {
    size_t at = static_cast<size_t>(2 * (i - 1));
    if (at + 2 > Text.size()) break;
    int type;
    if (!TryStrToInt(Text.substr(at, 2), type) || type < 1 || type > EnemyTypeCount) continue;
    bool repeated = false;
    for (int j = 1; j <= EnemyBookCount; ++j) repeated = repeated || EnemyBook[j] == type;
    if (!repeated) EnemyBook[++EnemyBookCount] = type;
  }
}

std::string EnemyBookText() {
  std::string e;
  for (int i = 1; i <= EnemyBookSize; ++i) {
    int32_t v = EnemyBook[i];
    e += v >= 0 && v < 10 ? "0" + IntToStr(v) : IntToStr(v);
  }
  return e;
}

bool EnterEnemyBook(int32_t Type) {
  if (Type < 1 || Type > EnemyTypeCount || EnemyBookCount >= EnemyBookSize) return false;
  for (int i = 1; i <= EnemyBookCount; ++i)
    if (EnemyBook[i] == Type) return false;
  EnemyBook[++EnemyBookCount] = Type;
  EnemyBook[EnemyBookSize + 1] = EnemyBookCount;
  try {
    WriteIniValue("eB", "e", EnemyBookText());
  } catch (const EIniFileException& e) {
    ReportWriteFailure(e);
  }
  return true;
}

void LoadIniFile() {
  TMemIniFile ini(IniFileName());

  TGameKeys keys;
  ApplyOptionValues(ReadOptionValues(ini), GameOptions, keys);
  if (MainForm && MainForm->DXInput) {
    TDXInput* input = MainForm->DXInput;
    // Keyboard mode takes the mouse buttons out of the input states, so a
    // click cannot fire.
    if (GameOptions.Controls == 2) input->Mouse()->BindInputStates = false;
    TKeyAssignList& assigns = input->Keyboard()->Assigns;
    assigns[ibLeft][0] = keys.Left;
    assigns[ibRight][0] = keys.Right;
    assigns[ibButton3][0] = keys.Primary;
    assigns[ibButton4][0] = keys.Secondary;
  }

  // Status is kept as stored: 11 after the last mission opens every mission.
  int64_t status = ReadNumber(ini, "User", "Status", 2);
  Player.Status = status >= INT32_MIN && status <= INT32_MAX ? static_cast<int32_t>(status) : 2;

  // No play scores below 0 or takes a negative time: such a number was
  // edited in. A negative best time could never be beaten, so it reads as
  // no time yet, and a negative score as 0.
  for (int i = 1; i <= 10; ++i) {
    TopRanks[i].Name = ini.ReadString("Table", "n" + IntToStr(i), "");
    TopRanks[i].Score = std::max<int64_t>(0, ReadNumber(ini, "Table", "s" + IntToStr(i), 0));
  }
  for (int i = 1; i <= 100; ++i)
    Player.BestTimes[i] = std::max<int64_t>(0, ReadNumber(ini, "TT", "t" + IntToStr(i), 0));
  ReadEnemyBook(ini.ReadString("eB", "e", ""));
}

std::vector<TIniEntry> IniFileEntries() {
  std::vector<TIniEntry> e;
  TOptionValues values = OptionValuesOf(GameOptions, TGameKeys());
  // While control is taken away (a dying ship) Controls is 0; the chosen mode
  // is what the player set.
  if (GameOptions.Controls == 0) values[okControls] = GameOptions.SavedControls;
  for (TOptionKeyIndex k : GameWrittenOptionKeys)
    e.push_back({OptionKeys[k].Section, OptionKeys[k].Ident, IntToStr(values[k])});
  e.push_back({"User", "Status", IntToStr(Player.Status)});
  for (int i = 1; i <= 10; ++i) {
    e.push_back({"Table", "n" + IntToStr(i), OneLine(TopRanks[i].Name)});
    e.push_back({"Table", "s" + IntToStr(i), IntToStr(TopRanks[i].Score)});
  }
  for (int i = 1; i <= 100; ++i)
    e.push_back({"TT", "t" + IntToStr(i), IntToStr(Player.BestTimes[i])});
  e.push_back({"eB", "e", EnemyBookText()});
  return e;
}

void SaveIniFile() {
  TMemIniFile ini(IniFileName());
  for (const TIniEntry& e : IniFileEntries()) ini.WriteString(e.Section, e.Ident, e.Value);
  ini.UpdateFile();
}

void AbsoluteClose() {
  if (MainForm) MainForm->CloseFont("Fonts\\Ffxterm.ttf");
  try {
    SaveIniFile();
  } catch (const Exception& e) {
    // The player asked to leave: say what was not saved, then leave.
    ReportWriteFailure(e);
  }
  if (MainForm) MainForm->Close();
}

void UpdateRecords(bool Insert) {
  const int64_t s = Player.Score;
  if (!Insert) {
    bool qualifies = s >= TopRanks[1].Score;
    for (int k = 2; k <= 10 && !qualifies; ++k)
      qualifies = TopRanks[k].Score <= s && s < TopRanks[k - 1].Score;
    if (qualifies)
      GoToEnterName();
    else
      Player.Score = 0;
    return;
  }
  for (int k = 2; k <= 10; ++k) {
    if (TopRanks[k].Score <= s && s < TopRanks[k - 1].Score) {
      for (int r = 9; r >= k; --r) TopRanks[r + 1] = TopRanks[r];
      TopRanks[k] = {Player.Name, s};
    }
  }
  if (s >= TopRanks[1].Score) {
    for (int r = 9; r >= 1; --r) TopRanks[r + 1] = TopRanks[r];
    TopRanks[1] = {Player.Name, s};
  }
}

void ClearRecords() {
  // One save of the whole cleared table: a save cut short then leaves the
  // old table or the new one, never a mix of the two.
  for (int i = 1; i <= 10; ++i) TopRanks[i] = Trecords();
  SaveIniFile();
}

int32_t BestTimeSlot(int32_t Mission, int32_t Level) {
  if (Mission < 1 || Mission > MissionCount || Level < 1 || Level > LevelsPerMission) return 0;
  return (Mission - 1) * LevelsPerMission + Level;
}

void UpdateTime() {
  int32_t slot = BestTimeSlot(CurrentMission, CurrentLevel);
  if (slot == 0) return;
  int64_t& best = Player.BestTimes[slot];
  if (best == 0 || best > Player.LevelTime) best = Player.LevelTime;
  try {
    WriteIniValue("TT", "t" + IntToStr(slot), IntToStr(best));
  } catch (const EIniFileException& e) {
    ReportWriteFailure(e);
  }
}

std::string TranslateTime(int64_t Seconds, int Mode) {
  int64_t m = Seconds / 60, s = Seconds % 60;
  char buf[64];
  if (Mode == 0) {
    std::snprintf(buf, sizeof buf, "%02lld:%02lld", static_cast<long long>(m),
                  static_cast<long long>(s));
    return buf;
  }
  if (Mode == 1) {
    int64_t h = m / 60;
    m %= 60;
    std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", static_cast<long long>(h),
                  static_cast<long long>(m), static_cast<long long>(s));
    return buf;
  }
  return "";
}

void OpenShellFile(const std::string& FileName) {
  if (!FileExists(FileName)) return;
  ShellExecuteA(MainForm && MainForm->HandleAllocated() ? MainForm->Handle() : nullptr, "open",
                FileName.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void PlayEffect(const std::string& Name, int32_t Pan) {
  if (GameOptions.SoundFxLevel <= 0 || !MainForm) return;
  TWaveCollectionItem* wave = MainForm->DXWaveList->Items().Find(Name);
  wave->SetVolume(GameOptions.SoundFxLevel * 200 - 2000);
  wave->SetPan(GameOptions.Channels == 1 ? Pan : GameOptions.Channels == 2 ? -Pan : 0);
  wave->Play(false);
}
