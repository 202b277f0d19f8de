#include "game/core/main_form.h"

std::string IniFileName() {
  return "game.INI";
}
std::string ReadIniValue(const std::string&, const std::string&) {
  return "xyz";
}
void WriteIniValue(const std::string&, const std::string&, const std::string&) {}
void LoadIniFile() {}
void SaveIniFile() {}
void AbsoluteClose() {}
void UpdateRecords(bool) {}
void ClearRecords() {}
void UpdateTime() {}
int32_t BestTimeSlot(int32_t, int32_t) {
  return 0;
}
std::string TranslateTime(int64_t, int) {
  return "";
}
void OpenShellFile(const std::string&) {}
void PlayEffect(const std::string&, int32_t) {}
