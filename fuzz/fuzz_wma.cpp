// The wma reader on hostile files.
#include "fuzz/music_fuzz_file.h"
#include "music/stream_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string p = MusicFuzzFile(Data, Size, ".wma");
  TWMAfile w;
  w.ReadFromFile(p);
  return 0;
}
