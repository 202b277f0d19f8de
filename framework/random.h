// The one seedable random generator of the program.
#pragma once

#include <cstdint>

// The generator's state; setting it replays the same sequence.
extern uint32_t RandSeed;
// Seeds from the performance counter (the tick count when it fails).
void Randomize();
// 0 .. Range - 1; 0 when Range is not positive.
int32_t Random(int32_t Range);
// [0, 1).
double RandomFloat();
