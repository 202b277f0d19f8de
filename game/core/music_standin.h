// Stand-in for the music player until the real one joins the game: the
// calls the main form makes, with no sound. It reports itself loaded and
// ready, keeps the file it was asked to open, and lets tests set the
// position and length the form's music loop reads.
#pragma once

#include <cstdint>
#include <string>

#include "framework/classes.h"

class TBASSPlayer : public TComponent {
 public:
  TAL_CLASS_NAME(TBASSPlayer)
  explicit TBASSPlayer(TComponent* AOwner) : TComponent(AOwner) {}

  // The library's version text; empty when the library is not loaded.
  std::string BASSDLLVer() const { return AudioReady ? "2.0" : ""; }
  bool AudioReady = true;

  bool OpenFile(const std::string& FileName) {
    OpenedFile = FileName;
    Length = 0;
    Position = 0;
    return true;
  }
  void Play() { Playing = !OpenedFile.empty(); }
  void SetVolume(int32_t Value) {
    if (Value >= 0) Volume = Value;
  }
  uint32_t GetPlaybackPosition() const { return Position; }
  uint32_t GetPlaybackLength() const { return Length; }
  void SetPlaybackPosition(uint32_t Value) { Position = Value; }
  void StopZerIdiput() { Stopped = true; }

  // What the stand-in was told, for tests.
  std::string OpenedFile;
  bool Playing = false;
  int32_t Volume = 0;
  uint32_t Position = 0;
  uint32_t Length = 0;
  bool Stopped = false;
};
