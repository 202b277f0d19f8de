// The wav reader on hostile files.
#include "fuzz/music_fuzz_file.h"
#include "music/stream_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string p = MusicFuzzFile(Data, Size, ".wav");
  TWAVfile w;
  w.ReadFromFile(p);
  (void)w.GetDuration();
  return 0;
}
