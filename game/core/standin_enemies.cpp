// Stand-in until enemies lands: no enemy is ever made.
#include "game/core/main_form.h"
#include "game/play/play.h"

void LoadEnemies(int32_t) {}
void CreateEnemy(int32_t, int32_t, double, double, int32_t, bool, bool) {}
void CreateBoss(int32_t, int32_t, int32_t, int32_t, double, double) {}
double CheckAngle(double, double, double, double) {
  return 0;
}
