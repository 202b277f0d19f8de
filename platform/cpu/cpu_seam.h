// Test hook of the processor check: a test can hide features the processor
// has, to see what a processor without them gets. Nothing can be added: code
// for a feature the processor lacks would stop at its first instruction.
#pragma once

#include "platform/cpu/cpu.h"

// From now on CpuFeatures() reports what the processor has, less every
// feature set in Hidden; TCpuFeatures() shows them all again.
void CpuHideFeatures(const TCpuFeatures& Hidden);
