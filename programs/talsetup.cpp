// The setup program: edits the game's options and keys and starts the game.
#include "framework/forms.h"
#include "programs/startup.h"
#include "setup/options_dialog.h"
#include "setup/setup_resources.h"

int main() {
  if (!StartPlatform(dbSetup)) return 1;
  RegisterSetupResources();
  Application->Initialize();
  CreateSetupForms();
  Application->Run();
  StopPlatform();
  return 0;
}
