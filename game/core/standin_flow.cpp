// Stand-in until flow lands: the level flow routines do nothing.
#include "game/core/main_form.h"
#include "game/play/play.h"

void NewGame() {}
void ShowCompleteLevel(bool) {}
void EnterNewLevelBg() {}
void EnterNewLevel() {}
void LoadLevel() {}
void ShowGameOver(bool) {}
void AnimateStvorki(const std::string&) {}
