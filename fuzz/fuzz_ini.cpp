// The profile reader and editor on arbitrary bytes, long inputs included.
// The text reads back as it was; then a run of edits and lookups, drawn from
// the input, goes to the editor and to the rules spelt out without a cache
// (profile_model.h): after every edit the whole text must be the same, and
// the editor's cached lookups must give what a fresh reading gives, so a key
// put in the wrong place fails even where every value still reads right.
// Lookups and edits scan the text, so both are sampled, fewer the longer the
// input: the target stays linear, and a long input costs about what a short
// one does.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/profile_model.h"
#include "platform/win/profile.h"

namespace {

// Bytes of scanning one input may ask for.
constexpr size_t kScanBudget = size_t{1} << 18;
// Edits on a short input, and lookups after each.
constexpr size_t kMostSteps = 48;
constexpr size_t kLookups = 6;

// Names and values beside those of the input: the game's own, other
// spellings of them, and ones that would change the text's structure.
const char* const kSections[] = {"Options", "OPTIONS", " Keys ", "New", "New]x"};
const char* const kKeys[] = {"Music", "music", " Left ", "x", "", "a=b", "[k", ";k"};
const char* const kValues[] = {"",
                               "5",
                               "  padded  ",
                               "\"quoted\"",
                               "a much longer value than any before it",
                               "1\r\n[Planted]\r\nk=2"};

class TDraw {
 public:
  explicit TDraw(std::string_view Bytes) {
    for (unsigned char c : Bytes) seed_ = (seed_ ^ c) * 1099511628211ull;
  }
  size_t Below(size_t N) {
    seed_ = seed_ * 6364136223846793005ull + 1442695040888963407ull;
    return N == 0 ? 0 : static_cast<size_t>(seed_ >> 33) % N;
  }
  template <class T>
  const T& Of(const std::vector<T>& Items) {
    return Items[Below(Items.size())];
  }

 private:
  uint64_t seed_ = 14695981039346656037ull;
};

[[noreturn]] void Fail(const char* What, size_t Step, std::string_view Section,
                       std::string_view Key) {
  std::fprintf(stderr, "%s after step %zu, at [%.*s] %.*s\n", What, Step,
               static_cast<int>(Section.size()), Section.data(), static_cast<int>(Key.size()),
               Key.data());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  std::string_view text(reinterpret_cast<const char*>(Data), Size);
  TProfileText t(text);
  if (t.Text() != text) std::abort();
  TProfileModel fresh(text);
  TDraw draw(text);

  std::vector<std::string> sections(std::begin(kSections), std::end(kSections));
  std::vector<std::string> keys(std::begin(kKeys), std::end(kKeys));
  const std::vector<std::string> values(std::begin(kValues), std::end(kValues));
  const std::vector<std::string> found = t.SectionNames();
  for (size_t i = 0; i < found.size() && i < 4; ++i) {
    const std::string& section = found[draw.Below(found.size())];
    sections.push_back(section);
    (void)t.SectionLines(section);
    const std::vector<std::string> names = t.KeyNames(section);
    for (size_t j = 0; j < names.size() && j < 4; ++j) keys.push_back(draw.Of(names));
  }

  const size_t steps = std::max<size_t>(1, std::min(kMostSteps, kScanBudget / (Size + 1) / 16));
  for (size_t step = 0; step < steps; ++step) {
    const std::string& section = draw.Of(sections);
    const std::string& key = draw.Of(keys);
    switch (draw.Below(16)) {
      case 0:
      case 1:
        if (t.DeleteKey(section, key) != fresh.DeleteKey(section, key))
          Fail("DeleteKey answers otherwise", step, section, key);
        break;
      case 2:
        if (t.DeleteSection(section) != fresh.DeleteSection(section))
          Fail("DeleteSection answers otherwise", step, section, "");
        break;
      case 3:
      case 4:
      case 5:
      case 6:
      case 7:
      case 8:
      case 9: {
        const std::string& value = draw.Of(values);
        t.Set(section, key, value);
        fresh.Set(section, key, value);
        break;
      }
      default:
        break;  // lookups only
    }
    if (t.Text() != fresh.Text()) Fail("the text differs", step, section, key);
    // A run of lookups in one section, as reading the settings makes: the
    // editor keeps that section's keys at hand after the first few.
    for (size_t i = 0; i < kLookups; ++i) {
      const std::string& k = i == 0 ? key : draw.Of(keys);
      if (t.Get(section, k) != fresh.Get(section, k)) Fail("a lookup differs", step, section, k);
    }
  }
  // Whatever the text held, a value set is the value read.
  TProfileText edited(text);
  edited.Set("Options", "Music", "5");
  if (edited.Get("Options", "Music") != std::optional<std::string>("5")) std::abort();
  return 0;
}
