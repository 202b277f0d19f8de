// The game program.
#include "direct3d/d2d.h"
#include "framework/forms.h"
#include "game/core/enemy_table.h"
#include "game/core/main_form.h"
#include "game/core/mission_table.h"
#include "programs/startup.h"

int main() {
  if (!StartPlatform(dbGame)) return 1;
  // The game asks for no 3D drawing, but its display owns a drawer all the same.
  InstallDirect3DPath();
  InitEnemyTexts();
  InitMissionTable();
  Application->Initialize();
  Application->SetTitle("Taloren: Ostrime");
  Application->CreateForm<TMainForm>();
  Application->Run();
  StopPlatform();
  return 0;
}
