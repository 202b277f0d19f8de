// The profile reader and editor on arbitrary bytes: parsing, every lookup and
// an edit must neither crash nor lose the lines it does not touch.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/win/profile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  std::string_view text(reinterpret_cast<const char*>(Data), Size);
  TProfileText t(text);
  if (t.Text() != text) std::abort();
  for (const auto& section : t.SectionNames()) {
    for (const auto& key : t.KeyNames(section)) (void)t.Get(section, key);
    (void)t.SectionLines(section);
  }
  (void)t.Get("Options", "Music");
  TProfileText edited(text);
  edited.Set("Options", "Music", "5");
  if (edited.Get("Options", "Music") != std::optional<std::string>("5")) std::abort();
  edited.DeleteKey("Options", "Music");
  edited.DeleteSection("Keys");
  return 0;
}
