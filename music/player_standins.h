// Stand-in for the plug-in configuration form, which comes later: the
// player creates it hidden and never shows it.
#pragma once

#include <string>

#include "framework/classes.h"
#include "platform/win/wintypes.h"

// Stand-in: the plug-in configuration form, kept hidden.
class TPluginConfigForm : public TComponent {
 public:
  explicit TPluginConfigForm(TComponent* AOwner) : TComponent(AOwner) {}
};
