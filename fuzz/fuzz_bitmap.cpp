// The framework bitmap's BMP reader on arbitrary bytes: it either loads a
// picture whose every pixel can be read, or raises its error and keeps the
// picture it had.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "framework/bitmap.h"
#include "framework/sysutils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TBitmap b;
  b.SetSize(2, 3);
  TMemoryStream s(std::vector<uint8_t>(Data, Data + Size));
  try {
    b.LoadFromStream(s);
  } catch (const EInvalidGraphic&) {
    if (b.Width() != 2 || b.Height() != 3) std::abort();
    return 0;
  }
  uint32_t sum = 0;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) sum += b.ScanLine(y)[x];
  (void)sum;
  TMemoryStream out;
  b.SaveToStream(out);
  return 0;
}
