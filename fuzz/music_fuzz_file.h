// The music readers take file names: each input is written to a scratch file
// of this process first.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

inline std::string MusicFuzzFile(const uint8_t* Data, size_t Size, const char* Ext) {
  static const std::string path = "/tmp/tal_fuzz_music_" + std::to_string(getpid()) + Ext;
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(Data, 1, Size, f);
    std::fclose(f);
  }
  return path;
}
