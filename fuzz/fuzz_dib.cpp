// Feeds arbitrary bytes to the bitmap reader: BMP files, bitmap bodies (RLE
// included, expanded when small enough) and JPEG data.
#include <cstddef>
#include <cstdint>

#include "engine/dib/dib.h"

namespace {
void Exercise(TDIB& d) {
  // Expanding RLE data allocates the whole picture; keep that small.
  if (d.Empty() || static_cast<int64_t>(d.Width()) * d.Height() > (int64_t{1} << 22)) return;
  d.GetPixel(d.Width() - 1, 0);
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
