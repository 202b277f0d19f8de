#include "framework/random.h"

#include "platform/win/clock.h"

uint32_t RandSeed = 0;

void Randomize() {
  int64_t counter = 0;
  if (QueryPerformanceCounter(&counter))
    RandSeed = static_cast<uint32_t>(counter);
  else
    RandSeed = GetTickCount();
}

namespace {
uint32_t Next() {
  RandSeed = RandSeed * 1664525u + 1013904223u;
  return RandSeed;
}
}  // namespace

int32_t Random(int32_t Range) {
  if (Range <= 0) return 0;
  // The high bits of the state are the well-mixed ones.
  return static_cast<int32_t>((uint64_t{Next()} * static_cast<uint64_t>(Range)) >> 32);
}

double RandomFloat() {
  return Next() / 4294967296.0;
}
