// Stand-in until ship lands: the ship, weapon, bonus and effect routines do
// nothing.
#include "game/core/main_form.h"
#include "game/play/play.h"

void PlayerHit(TEnemyShoot*) {}
void TakeBonus(TBonusSprite*) {}
void PlayerShoot(int32_t, int32_t, int32_t, double, double) {}
void ClearEnemyDestroyedMass() {}
void CreateBonus(int32_t, int32_t, double, double) {}
int32_t GenerateBonus(int32_t, int32_t) {
  return 0;
}
void CreateExplosion(int32_t, const std::string&, double, double, const std::string&, int32_t,
                     int32_t, int32_t, int32_t) {}
void CreateShootFx(int32_t, const std::string&, double, double, int32_t, double,
                   const std::string&) {}
void CreateClipExplosion(int32_t, const std::string&, double, double, int32_t, double) {}
void CreateSplinters(int32_t, int32_t, double, double, int32_t) {}
void CreatePixels(const std::string&, const std::string&, double, double) {}
void LoadEpisode() {}

void TMainForm::PlayerDeathTimerTimer(TObject*) {}
void TMainForm::DXDrawMouseDown(TObject*, TMouseButton, TShiftState, int, int) {}
void TMainForm::DXDrawMouseUp(TObject*, TMouseButton, TShiftState, int, int) {}
void TMainForm::DXDrawMouseMove(TObject*, TShiftState, int, int) {}
