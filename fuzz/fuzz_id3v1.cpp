// The id3v1 reader on hostile files.
#include "fuzz/music_fuzz_file.h"
#include "music/mpeg_audio.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string p = MusicFuzzFile(Data, Size, ".mp3");
  TID3v1 t;
  t.ReadFromFile(p);
  (void)t.GetGenre();
  return 0;
}
