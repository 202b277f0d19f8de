// The audio library's decoders on hostile files: each one that takes the
// input is read, sought to its middle and its end, and read again. Module
// music goes through the library's own load path, from the file.
#include <memory>
#include <vector>

#include "audiolib/decoder.h"
#include "fuzz/music_fuzz_file.h"

namespace {

void Exercise(std::unique_ptr<TDecoder> d) {
  if (!d) return;
  std::vector<int16_t> out(4096 * 2);
  for (int i = 0; i < 3 && d->Read(out.data(), 4096) > 0; ++i) {
  }
  const uint64_t length = d->CountedLength();
  for (const uint64_t at : {length / 2, length}) {
    if (d->Seek(at)) d->Read(out.data(), 4096);
  }
  d->Seek(length + 1);
}

}  // namespace

// libvorbisfile (1.3.7) loses a few bytes inside itself when a chained file
// breaks off in a later part, whatever its caller does. Leaks from within it
// are not ours to find here; the library's own tests, which suppress
// nothing, show that every decoder it opens is closed.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libvorbisfile.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string p = MusicFuzzFile(Data, Size, ".snd");
  Exercise(OpenWaveDecoder(p));
  Exercise(OpenVorbisDecoder(p));
  Exercise(OpenMpegDecoder(p));
  Exercise(OpenAsfDecoder(p));
  int32_t error = 0;
  Exercise(LoadModuleFile(p, 0, 0, 44100, error));
  return 0;
}
