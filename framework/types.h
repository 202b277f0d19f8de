// Geometry and colour types shared by every layer, and the framework's event.
#pragma once

#include <functional>

#include "platform/win/geometry.h"

class TObject;
using TNotifyEvent = std::function<void(TObject* Sender)>;
