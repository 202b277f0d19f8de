// The profile reader and editor on arbitrary bytes, long inputs included:
// parsing, lookups and an edit must neither crash nor lose the lines they do
// not touch. Lookups are sampled so that the target itself stays linear.
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
  size_t sections = 0;
  for (const auto& section : t.SectionNames()) {
    if (++sections > 16) break;
    const auto keys = t.KeyNames(section);
    for (size_t i = 0; i < keys.size() && i < 16; ++i) (void)t.Get(section, keys[i]);
    if (!keys.empty()) (void)t.Get(section, keys.back());
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
