#include "game/screens/screen_kit.h"

#include "engine/draw/pictures.h"
#include "engine/sound/wavelist.h"
#include "engine/sprite/image_sprite.h"
#include "game/core/main_form.h"
#include "game/core/music_standin.h"

std::function<void(const std::string&, int32_t, int32_t)> OnScreenSound;

void SetPicture(TImageSprite* Sprite, TDXImageList* List, const std::string& Name) {
  if (!Sprite) return;
  TPictureCollectionItem* item = List->Items().Find(Name);
  if (Sprite->GetImage() != item) Sprite->SetImage(item);
}

std::string PictureName(const TImageSprite* Sprite) {
  return Sprite && Sprite->GetImage() ? Sprite->GetImage()->Name() : std::string();
}

bool CursorOver(const TImageSprite* Sprite) {
  return Sprite && MouseX >= Sprite->X && MouseX <= Sprite->X + Sprite->Width &&
         MouseY >= Sprite->Y && MouseY <= Sprite->Y + Sprite->Height;
}

bool MenuButton(TImageSprite* Button, const std::string& Plain, bool Sounds, TDXImageList* List) {
  if (!Button) return false;
  if (!List) List = MainForm->InterFaceList;
  if (!CursorOver(Button)) {
    SetPicture(Button, List, Plain);
    return false;
  }
  if (Sounds && PictureName(Button) == Plain) PlayMenuSound("menu1");
  SetPicture(Button, List, Plain + "_lighted");
  if (!ClickFlag) return false;
  ClickFlag = false;
  if (Sounds) PlayMenuSound("menu2");
  return true;
}

void PlayWave(TDXWaveList* List, const std::string& Name, int32_t Volume, int32_t Pan) {
  TWaveCollectionItem* wave = List->Items().Find(Name);
  wave->SetVolume(Volume);
  if (Pan >= -10000 && Pan <= 10000) wave->SetPan(Pan);
  wave->Play(false);
  if (OnScreenSound) OnScreenSound(Name, Volume, wave->Pan());
}

void PlayMenuSound(const std::string& Name) {
  if (GameOptions.SoundFxLevel > 0)
    PlayWave(MainForm->DXWaveList, Name, GameOptions.SoundFxLevel * 200 - 2000);
}

void StartMenuMusic() {
  if (GameOptions.MusicLevel <= 0) return;
  MainForm->OpenMusic("music\\menu.mp3");
  ApplyMusicVolume();
}

void ApplyMusicVolume() {
  if (MusicPlayer) MusicPlayer->SetVolume(GameOptions.MusicLevel * 10);
}

bool MusicFileOpen() {
  return MusicPlayer && !MusicPlayer->OpenedFile.empty();
}

void ShowSprite(TImageSprite* Sprite, bool Visible) {
  if (Sprite) Sprite->Visible = Visible;
}

TSprite* SpriteRoot() {
  return MainForm->DXSpriteEngine->Engine();
}
