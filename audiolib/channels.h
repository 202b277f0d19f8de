// Inside the library: how the add-on hands a decoded stream to the main
// library's channel table, and the guard every exported call runs in.
#pragma once

#include <memory>
#include <new>

#include "audiolib/bass.h"
#include "audiolib/decoder.h"

// Makes a stream channel of Decoder; 0 (and the error code set) when the
// device is not started.
__attribute__((visibility("default"))) HSTREAM BassAdoptDecoder(std::unique_ptr<TDecoder> Decoder);
// Sets the library's error code.
__attribute__((visibility("default"))) void BassSetError(int32_t Code);

// Runs the body of an exported call. No exception may leave the library: its
// callers are C code that cannot take one, and the process would end. One
// that reaches here becomes the call's failure, with the error code of what
// went wrong.
template <class R, class F>
R BassGuarded(R Failed, F&& Body) noexcept {
  try {
    return Body();
  } catch (const std::bad_alloc&) {
    BassSetError(BASS_ERROR_MEM);
  } catch (...) {
    BassSetError(BASS_ERROR_UNKNOWN);
  }
  return Failed;
}
