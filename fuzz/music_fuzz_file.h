// The music readers take file names: each input is written to a scratch file
// of this process first, removed when the process ends.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

inline std::string MusicFuzzFile(const uint8_t* Data, size_t Size, const char* Ext) {
  struct TScratch {
    std::string Path;
    explicit TScratch(const char* ext)
        : Path("/tmp/tal_fuzz_music_" + std::to_string(getpid()) + ext) {}
    ~TScratch() { std::remove(Path.c_str()); }
  };
  static const TScratch scratch(Ext);
  if (std::FILE* f = std::fopen(scratch.Path.c_str(), "wb")) {
    std::fwrite(Data, 1, Size, f);
    std::fclose(f);
  }
  return scratch.Path;
}
