// The game program.
#include "engine/directx/dxclass.h"
#include "framework/forms.h"
#include "platform/win/vkeys.h"
#include "programs/startup.h"

namespace {

// Stand-in for the game's main form until the game lands: an empty
// borderless window of the game's size that Escape closes.
class TStartForm : public TDXForm {
 public:
  explicit TStartForm(TComponent* AOwner) : TDXForm(AOwner) {
    SetCaption("Taloren: Ostrime version 1.2");
    SetBorderStyle(bsNone);
    SetPosition(poScreenCenter);
    SetBounds(0, 0, 800, 600);
    SetKeyPreview(true);
    OnKeyDown = [this](TObject*, WORD& Key, TShiftState) {
      if (Key == VK_ESCAPE) Close();
    };
  }
};

}  // namespace

int main() {
  if (!StartPlatform(dbGame)) return 1;
  Application->Initialize();
  Application->SetTitle("Taloren: Ostrime");
  Application->CreateForm<TStartForm>();
  Application->Run();
  StopPlatform();
  return 0;
}
