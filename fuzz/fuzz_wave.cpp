// Feeds arbitrary bytes to the RIFF WAVE reader and to the wave archive
// reader; both must end in an exception or a wave, never in a crash. Every
// wave that loads is also made into a sound buffer and mixed, because its
// format block goes straight to the device.
#include <cstddef>
#include <cstdint>

#include "engine/sound/dxsound.h"
#include "engine/sound/wave.h"
#include "engine/sound/wavelist.h"
#include "platform/dsound/mixer.h"

namespace {

TDirectSound& Device() {
  static TDirectSound* ds = [] {
    RegisterDirectSoundModule();
    return new TDirectSound(nullptr);
  }();
  return *ds;
}

void PlayThrough(const TWave& Wave) {
  if (Wave.Size() <= 0) return;
  try {
    TDirectSoundBuffer b(&Device());
    b.LoadFromWave(Wave);
    b.SetFrequency(100000);
    b.Play(true);
    int16_t out[2 * 256];
    TSoundMixer::Instance().Mix(out, 256);
  } catch (const Exception&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    TByteStream s(data, size);
    TWave w;
    w.LoadFromStream(s);
    TMemoryStream out;
    w.SaveToStream(out);
    PlayThrough(w);
  } catch (const Exception&) {
  }
  try {
    TByteStream s(data, size);
    TWaveCollection c(nullptr);
    c.LoadFromStream(s);
    for (int i = 0; i < c.Count(); ++i) {
      c.Items(i)->Play();
      PlayThrough(c.Items(i)->Wave());
    }
  } catch (const Exception&) {
  }
  return 0;
}
