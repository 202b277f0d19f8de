// Feeds arbitrary bytes to the bitmap reader: BMP files, bitmap bodies (RLE
// included) and JPEG data. Whatever the reader accepts is expanded, written
// and read back, up to a budget: the reader lets a picture have 64 MiB of
// pixels, and one such picture expanded on every input would hold the fuzzer
// to a few inputs a second. Large headers still reach the reader, whose size
// bound runs on every input; that the bound keeps memory down is the
// hostile-data test's business.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "engine/dib/dib.h"

namespace {

// Pixels one input may have expanded: far more than any case the code
// tells apart, and a few hundred inputs a second.
constexpr int64_t kExpandPixelBudget = int64_t{1} << 16;

void Exercise(TDIB& d) {
  if (d.Empty()) return;
  if (std::abs(int64_t{d.Width()}) * std::abs(int64_t{d.Height()}) > kExpandPixelBudget) return;
  d.GetPixel(d.Width() - 1, 0);  // expands packed data: the whole picture
  TMemoryStream out;
  d.SaveToStream(out);
  TDIB back;
  out.SetPosition(0);
  back.LoadFromStream(out);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  {
    TDIB d;
    TByteStream s(data, size);
    try {
      d.LoadFromStream(s);
      Exercise(d);
    } catch (const Exception&) {
    }
  }
  {
    TDIB d;
    TByteStream s(data, size);
    try {
      d.ReadData(s);
      Exercise(d);
    } catch (const Exception&) {
    }
  }
  return 0;
}
