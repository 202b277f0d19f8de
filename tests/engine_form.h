// A form put together the way the game's main form is: the display, the
// frame timer, the sprite engine, input, sound, the ten picture archives in
// image lists and the two wave archives in wave lists, all owned by the form,
// running the game's frame loop. Tests drive it on either backend.
#pragma once

#include <array>
#include <functional>
#include <string>

#include "engine/directx/dxclass.h"
#include "engine/draw/dxdraws.h"
#include "engine/draw/pictures.h"
#include "engine/input/input.h"
#include "engine/sound/dxsound.h"
#include "engine/sound/wavelist.h"
#include "engine/sprite/dx_sprite_engine.h"

class TEngineForm : public TDXForm {
 public:
  // The picture archives under "graphic", in the order the game loads them;
  // the first one's colour table becomes the display's palette.
  static constexpr std::array<const char*, 10> PictureArchives = {
      "data.dan", "models.dan",    "explosions.dan", "weapons.dan", "fx.dan",
      "bg.dan",   "interface.dan", "bonuses.dan",    "video.dan",   "info.dan"};

  // DataDir holds "graphic" and "sound" as the data generator writes them.
  TEngineForm(TComponent* AOwner, std::string DataDir);
  ~TEngineForm() override;

  TDXDraw* DXDraw = nullptr;
  TDXTimer* DXTimer = nullptr;
  TDXSpriteEngine* DXSpriteEngine = nullptr;
  TDXInput* DXInput = nullptr;
  TDXSound* DXSound = nullptr;
  // One per picture archive, in PictureArchives order.
  std::array<TDXImageList*, PictureArchives.size()> ImageLists{};
  TDXWaveList* DXWaveList = nullptr;  // "sound/snd.tor": effects
  TDXWaveList* VoiceList = nullptr;   // "sound/vc.tor": radio voices

  // The image list of an archive of PictureArchives ("bg.dan").
  TDXImageList* ImageListOf(const std::string& Archive) const;
  // Plays a wave of DXWaveList by name ("Wave '%s' not found" otherwise).
  void PlaySound(const std::string& Name, int32_t Volume, int32_t Pan);

  // Frames drawn and flipped so far.
  int FrameCount() const { return frames_; }
  // The lag counts handed to the sprite engine, summed.
  int64_t MovedTime() const { return moved_; }

  // Runs after each frame is drawn on the back surface, before its flip,
  // with the number of that frame (from 1).
  std::function<void(int Frame)> OnFrameDrawn;
  // Runs after each flip with the number of that frame (from 1).
  std::function<void(int Frame)> OnFrameFlipped;

 private:
  void FormCreate(TObject* Sender);
  void DXDrawInitialize(TObject* Sender);
  void DXDrawFinalize(TObject* Sender);
  void DXTimerTimer(TObject* Sender, int LagCount);

  std::string data_dir_;
  int frames_ = 0;
  int64_t moved_ = 0;
};
