// The audio library's test hooks. The library is loaded by name, so they are
// exported with C linkage for the tests to look up as the program looks up
// the library's calls; nothing else calls them.
#pragma once

#include <cstdint>

extern "C" {

// The steps of a module load at which memory can run out: the file read
// whole, the renderer that plays it, and the count of its length, which
// runs while it plays.
enum : int32_t {
  kModuleMemoryNone = 0,
  kModuleMemoryRead = 1,
  kModuleMemoryRenderer = 2,
  kModuleMemoryCount = 3,
};

// Makes memory run out the next time a module load comes to Step, as it does
// on a full machine; kModuleMemoryNone takes back a step not yet come to.
__attribute__((visibility("default"))) void BassFailModuleMemory(int32_t Step);
using TBassFailModuleMemory = void(int32_t Step);

}  // extern "C"
