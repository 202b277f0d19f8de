// The one case-fold table of the program lives with the platform layer, whose
// profile functions need it too; the framework uses the same one.
#pragma once

#include "platform/win/casefold.h"
