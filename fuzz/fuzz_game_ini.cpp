// The game's settings reader on any text in game.INI: every key takes a
// value or its default, the enemy book holds only types 1..19, each once,
// and what is read saves and reads back the same.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "game/core/main_form.h"
#include "platform/win/library.h"

namespace {

std::string Folder() {
  static const std::string folder = [] {
    char tmpl[] = "/tmp/tal_fuzz_game_ini_XXXXXX";
    const char* made = ::mkdtemp(tmpl);
    if (!made) std::abort();
    return std::string(made) + "/";
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  SetProgramFolder(Folder());
  std::ofstream(IniFileName(), std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(Data), static_cast<std::streamsize>(Size));
  EnemyBook = {};
  LoadIniFile();
  if (EnemyBookCount < 0 || EnemyBookCount > EnemyBookSize) std::abort();
  for (int i = 1; i <= EnemyBookSize; ++i) {
    int32_t t = EnemyBook[i];
    if (i <= EnemyBookCount ? t < 1 || t > EnemyTypeCount : t != 0) std::abort();
    for (int j = 1; j < i; ++j)
      if (t != 0 && EnemyBook[j] == t) std::abort();
  }
  const auto ranks = TopRanks;
  const auto times = Player.BestTimes;
  const TGameOptions options = GameOptions;
  SaveIniFile();
  LoadIniFile();
  for (int i = 1; i <= 10; ++i)
    if (TopRanks[i].Score != ranks[i].Score) std::abort();
  for (int i = 1; i <= 100; ++i)
    if (Player.BestTimes[i] != times[i]) std::abort();
  if (GameOptions.Brightness != options.Brightness || GameOptions.Splinters != options.Splinters)
    std::abort();
  return 0;
}
