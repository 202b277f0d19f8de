// The game's settings reader and writer on any text in game.INI: every key
// takes a value or its default, the enemy book holds only types 1..19, each
// once, and what is read saves and reads back the same. The save, made
// through the settings text's cached editor, must be exactly the file the
// rules spelt out without a cache (profile_model.h) make from the same
// writes, every line in its place; and the cached lookups of the saved text,
// key after key as the game reads them, must give what a fresh reading
// gives.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "fuzz/profile_model.h"
#include "game/core/main_form.h"
#include "platform/win/library.h"
#include "platform/win/profile.h"

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

[[noreturn]] void Fail(const std::string& What) {
  std::fprintf(stderr, "%s\n", What.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string input(reinterpret_cast<const char*>(Data), Size);
  SetProgramFolder(Folder());
  std::ofstream(IniFileName(), std::ios::binary | std::ios::trunc) << input;
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
  const std::vector<TIniEntry> entries = IniFileEntries();
  SaveIniFile();

  std::ostringstream file;
  file << std::ifstream(IniFileName(), std::ios::binary).rdbuf();
  const std::string saved = file.str();
  TProfileModel expected(input);
  for (const TIniEntry& e : entries) expected.Set(e.Section, e.Ident, e.Value);
  const std::string want = expected.Text();
  if (saved != want) {
    const auto at = std::mismatch(want.begin(), want.end(), saved.begin(), saved.end()).first;
    Fail("the saved text differs from the rules' at byte " + std::to_string(at - want.begin()));
  }
  const TProfileText cached(saved);
  for (const TIniEntry& e : entries)
    if (cached.Get(e.Section, e.Ident) != expected.Get(e.Section, e.Ident))
      Fail("a lookup differs at [" + e.Section + "] " + e.Ident);

  LoadIniFile();
  for (int i = 1; i <= 10; ++i)
    if (TopRanks[i].Score != ranks[i].Score) std::abort();
  for (int i = 1; i <= 100; ++i)
    if (Player.BestTimes[i] != times[i]) std::abort();
  if (GameOptions.Brightness != options.Brightness || GameOptions.Splinters != options.Splinters)
    std::abort();
  return 0;
}
