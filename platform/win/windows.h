// Everything of the window system at once.
#pragma once

#include "platform/win/clock.h"
#include "platform/win/driver.h"
#include "platform/win/library.h"
#include "platform/win/paths.h"
#include "platform/win/profile.h"
#include "platform/win/user.h"
#include "platform/win/vkeys.h"
#include "platform/win/wintypes.h"
