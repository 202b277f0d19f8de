// Stand-in until screens lands: the screen routines do nothing.
#include "game/core/main_form.h"
#include "game/screens/interface_sprite.h"

void CreateMainMenu() {}
void HideShowMainMenu(bool) {}
void HideShowOptions(bool) {}
void HideShowSoundOptions(bool) {}
void HideShowGraphicOptions(bool) {}
void HideShowControlsOptions(bool) {}
void HideShowChooseEpisode(bool) {}
void HideShowChooseMission(bool, int32_t) {}
void HideShowTopRanks(bool) {}
void HideShowCredits(bool) {}
void HideShowHelp(bool) {}
void ShowDKdifficulty(bool) {}
void ShowDKmessage(bool) {}
void GoToMainMenu() {}
void gotovictory() {}
void GoToEnterName() {}
void ScoresTextout(const std::string&) {}
void SWeaponTextout() {}
void TWeaponTextout(int32_t) {}
void AnimAteFace(const std::string&, int32_t, double, int32_t, bool, const std::string&, int32_t) {}
void UpdateStroka(int32_t, const std::string&, const std::string&, const std::string&,
                  const std::string&, const std::string&, const std::string&, const std::string&,
                  const std::string&) {}
void Death() {}
void ShowPauseMenu() {}
void HidePauseMenu() {}
void HideShowBook(bool, int32_t) {}
void IntroScriptStep() {}
void StatisticsLinesStep() {}

void TMainForm::FormKeyDown(TObject*, WORD&, TShiftState) {}
void CreateHeadsUpDisplay() {}
