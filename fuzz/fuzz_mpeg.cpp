// The mpeg reader on hostile files.
#include "fuzz/music_fuzz_file.h"
#include "music/mpeg_audio.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string p = MusicFuzzFile(Data, Size, ".mp3");
  TMPEGaudio m;
  m.ReadFromFile(p);
  (void)m.IsValid();
  (void)m.GetDuration();
  (void)m.GetChannelMode();
  return 0;
}
