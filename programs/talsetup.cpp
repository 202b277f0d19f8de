// The setup program.
#include "framework/forms.h"
#include "platform/win/vkeys.h"
#include "programs/startup.h"

namespace {

// Stand-in for the options dialog until the setup program lands.
class TStartForm : public TForm {
 public:
  explicit TStartForm(TComponent* AOwner) : TForm(AOwner) {
    SetCaption("Taloren Setup programm");
    SetBorderStyle(bsSingle);
    SetPosition(poScreenCenter);
    SetBounds(0, 0, 480, 360);
    SetKeyPreview(true);
    OnKeyDown = [this](TObject*, WORD& Key, TShiftState) {
      if (Key == VK_ESCAPE) Close();
    };
  }
};

}  // namespace

int main() {
  if (!StartPlatform(dbSetup)) return 1;
  Application->Initialize();
  Application->SetTitle("Taloren Setup programm");
  Application->CreateForm<TStartForm>();
  Application->Run();
  StopPlatform();
  return 0;
}
