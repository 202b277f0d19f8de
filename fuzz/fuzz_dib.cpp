// Feeds arbitrary bytes to the bitmap reader: BMP files, bitmap bodies (RLE
// included) and JPEG data. Whatever the reader accepts is expanded, written
// and read back: its own size bound keeps every accepted picture within
// libFuzzer's memory limit, so large headers are let through on purpose.
#include <cstddef>
#include <cstdint>

#include "engine/dib/dib.h"

namespace {
void Exercise(TDIB& d) {
  if (d.Empty()) return;
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
