// Feeds arbitrary bytes to the RIFF WAVE reader and to the wave archive
// reader; both must end in an exception or a wave, never in a crash.
#include <cstddef>
#include <cstdint>

#include "engine/sound/wave.h"
#include "engine/sound/wavelist.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    TByteStream s(data, size);
    TWave w;
    w.LoadFromStream(s);
    TMemoryStream out;
    w.SaveToStream(out);
  } catch (const Exception&) {
  }
  try {
    TByteStream s(data, size);
    TWaveCollection c(nullptr);
    c.LoadFromStream(s);
    for (int i = 0; i < c.Count(); ++i) c.Items(i)->Play();
  } catch (const Exception&) {
  }
  return 0;
}
