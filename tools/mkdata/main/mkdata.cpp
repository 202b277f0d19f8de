// Writes the game's data folder: picture archives, wave archives and music.
// Usage: mkdata <data folder>
//        mkdata --setup-resources <source file>
#include <cstdio>
#include <exception>
#include <string>

#include "engine/dib/dib.h"
#include "tools/mkdata/archives.h"
#include "tools/mkdata/setup_resources.h"

#include "tools/mkdata/music.h"

#if __has_include("tools/mkdata/waves.h")
#include "tools/mkdata/waves.h"
#define TAL_MKDATA_WAVES 1
#endif

int main(int argc, char** argv) {
  // The setup program's pictures, as a source file the build compiles in.
  if (argc == 3 && std::string(argv[1]) == "--setup-resources") {
    try {
      WriteSetupResourceSource(argv[2]);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "mkdata: %s\n", e.what());
      return 1;
    }
    return 0;
  }
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <data folder>\n", argv[0]);
    return 2;
  }
  const std::string dataDir = argv[1];
  try {
    RegisterDIBGraphicClass();
    WritePictureArchives(dataDir);
#ifdef TAL_MKDATA_WAVES
    // The wave archives (sound/snd.tor, sound/vc.tor) come from waves.h.
    WriteWaveArchives(dataDir);
#endif
    WriteMusicFiles(dataDir);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "mkdata: %s\n", e.what());
    return 1;
  }
  return 0;
}
