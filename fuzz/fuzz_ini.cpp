// The profile reader and editor on arbitrary bytes, long inputs included:
// parsing, lookups and an edit must neither crash nor lose the lines they do
// not touch. Each lookup scans the text, so lookups are sampled, fewer the
// longer the input: the target stays linear, and a long input costs about
// what a short one does.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/win/profile.h"

namespace {

// Bytes of scanning one input may ask for, beyond the few fixed lookups.
constexpr size_t kScanBudget = size_t{1} << 14;
// Sections, and keys in each, looked up in a short input.
constexpr size_t kMostSamples = 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  std::string_view text(reinterpret_cast<const char*>(Data), Size);
  TProfileText t(text);
  if (t.Text() != text) std::abort();
  // n sections of n keys each scan the text about n * n times.
  size_t samples = 1;
  while (samples < kMostSamples && (samples + 1) * (samples + 1) * (Size + 1) <= kScanBudget)
    ++samples;
  size_t sections = 0;
  for (const auto& section : t.SectionNames()) {
    if (++sections > samples) break;
    const auto keys = t.KeyNames(section);
    for (size_t i = 0; i < keys.size() && i < samples; ++i) (void)t.Get(section, keys[i]);
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
