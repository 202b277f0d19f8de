// The pause menu over the frozen play field, and the enemy book's page.
#include <string>

#include "game/core/main_form.h"
#include "game/play/play.h"
#include "game/screens/interface_sprite.h"
#include "game/screens/screen_kit.h"

namespace {

TInterFaceSprite* const* PauseSprites[] = {&PauseOverlay, &PausePanel,      &PauseResumeButton,
                                           &PauseLaptop,  &PauseMainButton, &PauseExitButton};

bool JoystickWithoutDirectInput() {
  return GameOptions.Controls == 3 && !GameOptions.UDI;
}

}  // namespace

void ShowPauseMenu() {
  TDXInput* input = MainForm->DXInput;
  if (GameOptions.Controls == 3 && !input->UseDirectInput()) {
    // Enabling first: switching DirectInput on then starts the mouse with
    // the other devices, so the menu can be worked.
    input->Mouse()->SetEnabled(true);
    input->SetUseDirectInput(true);
  }
  GameState = "pause";
  ShakeCount = 0;
  ShakeAmplitude = 0;
  SpriteRoot()->X = 0;
  SpriteRoot()->Y = 0;
  ShowSprite(CursorSprite, true);
  for (auto* s : PauseSprites) ShowSprite(*s, true);
  if (CursorSprite) CursorSprite->AnimLooped = true;
  PlaceShipAttachments();
}

void HidePauseMenu() {
  if (JoystickWithoutDirectInput()) {
    TDXInput* input = MainForm->DXInput;
    input->Mouse()->SetEnabled(false);
    input->SetUseDirectInput(false);
  }
  ShowSprite(CursorSprite, false);
  for (auto* s : PauseSprites) ShowSprite(*s, false);
}

void ShowBookType(int32_t Type) {
  const TEnemyType& type = EnemyTypes[static_cast<size_t>(Type)];
  SetPicture(BookArt, MainForm->BookList, "art" + std::to_string(Type));
  if (BookModel && !type.Model.empty()) {
    SetPicture(BookModel, MainForm->ModelsList, type.Model);
    BookModel->AnimLooped = true;
    BookModel->AnimCount = type.ModelFrames;
    BookModel->AnimSpeed = type.ModelSpeed;
    BookModel->AnimStart = 0;
    BookModel->AnimPos = 0;
  }
}

void HideShowBook(bool Show, int32_t Row) {
  if (!Show) {
    for (TInterFaceSprite* s : {BookCloseButton, BookBackground, BookArt, BookModel, BookFx})
      ShowSprite(s, false);
    ShowSprite(CursorSprite, false);
    for (int i = 1; i <= EnemyBookSize; ++i) ShowSprite(BookEntries[static_cast<size_t>(i)], false);
    return;
  }
  ShowSprite(BookBackground, true);
  ShowSprite(CursorSprite, true);
  ShowSprite(BookCloseButton, true);
  // A row or a type from game.INI outside the tables shows the empty page.
  if (Row < 1 || Row > EnemyBookSize) return;
  const int32_t shown = EnemyBook[static_cast<size_t>(Row)];
  if (shown >= 1 && shown <= EnemyTypeCount) {
    ShowBookType(shown);
    ShowSprite(BookArt, true);
    ShowSprite(BookModel, true);
    ShowSprite(BookFx, true);
  }
  for (int i = 1; i <= EnemyBookSize; ++i) {
    TInterFaceSprite* entry = BookEntries[static_cast<size_t>(i)];
    int32_t type = EnemyBook[static_cast<size_t>(i)];
    if (type < 1 || type > EnemyTypeCount) type = 0;
    const std::string name = "b" + std::to_string(type);
    BookEntryNames[static_cast<size_t>(i)] = name;
    BookEntryLitNames[static_cast<size_t>(i)] = name + "_lighted";
    if (!entry) continue;
    entry->Visible = true;
    SetPicture(entry, MainForm->BookList, name);
  }
}
