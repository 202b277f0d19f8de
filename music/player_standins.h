// Stand-ins for the player's plug-in host and plug-in configuration form,
// which come later. Each keeps the name and the calls the player makes, and
// does the least that keeps the player's own behaviour whole: no plug-in is
// ever found.
#pragma once

#include <string>

#include "framework/classes.h"
#include "platform/win/wintypes.h"

// Stand-in: the plug-in configuration form, kept hidden.
class TPluginConfigForm : public TComponent {
 public:
  explicit TPluginConfigForm(TComponent* AOwner) : TComponent(AOwner) {}
};

// Stand-in: the plug-in host. It has no plug-ins in any of its eight slots.
struct TPluginHost {
  HWND Initialize(HWND PlayerWindow) { return nullptr; }
  void Shutdown() {}
  // The slot of a plug-in that plays Extension (upper case, with its dot),
  // with the title and length it reports; -1 when none does.
  int FindPlugin(const std::string& Extension, const std::string& FileName, std::string& Title,
                 int& LengthMs) {
    return -1;
  }
};
