// The force-feedback tree's stream ("Effects") and the key-assignment table
// ("Assigns") from hostile bytes: either reads or raises, never more.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/input/effects.h"
#include "engine/input/input.h"
#include "framework/sysutils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TForceFeedbackEffects effects(nullptr);
  TByteStream s(Data, Size);
  try {
    effects.LoadFromStream(s);
    TMemoryStream out;
    effects.SaveToStream(out);
  } catch (const Exception&) {
  }
  TKeyboard keyboard(nullptr);
  try {
    keyboard.SetAssignsBytes(std::vector<uint8_t>(Data, Data + Size));
  } catch (const Exception&) {
  }
  return 0;
}
