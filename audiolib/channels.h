// Inside the library: how the add-on hands a decoded stream to the main
// library's channel table.
#pragma once

#include <memory>

#include "audiolib/bass.h"
#include "audiolib/decoder.h"

// Makes a stream channel of Decoder; 0 (and the error code set) when the
// device is not started.
__attribute__((visibility("default"))) HSTREAM BassAdoptDecoder(std::unique_ptr<TDecoder> Decoder);
// Sets the library's error code.
__attribute__((visibility("default"))) void BassSetError(int32_t Code);
