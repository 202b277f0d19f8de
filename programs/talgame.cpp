// The game program.
#include "direct3d/d2d.h"
#include "framework/forms.h"
#include "game/core/main_form.h"
#include "programs/startup.h"

int main() {
  if (!StartPlatform(dbGame)) return 1;
  // The game asks for no 3D drawing, but its display owns a drawer all the same.
  InstallDirect3DPath();
  TMainForm* form = CreateGame();
  // A start-up that ended the game has said why; no window follows, and the
  // status lets a launcher or a script tell it from a player's quit.
  if (!form->StartUpFailed) Application->Run();
  const bool failed = form->StartUpFailed;
  StopPlatform();
  return failed ? 1 : 0;
}
