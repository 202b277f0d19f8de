// Stand-ins for the player's effects, spectrum, visualisation link, program
// starter, plug-in host and plug-in configuration form, which come later.
// Each keeps the name and the calls the player makes, and does the least
// that keeps the player's own behaviour whole: no plug-in is ever found, no
// effect is installed, the shared block is never mapped.
#pragma once

#include <string>

#include "framework/classes.h"
#include "platform/win/wintypes.h"

// Stand-in: the shared-memory link to an outside visualisation program.
class TfisSharedMemory : public TComponent {
 public:
  explicit TfisSharedMemory(TComponent* AOwner) : TComponent(AOwner) {}
  std::string ShareName;
  int Size = 0;
  std::string TargetApp;
  // Stand-in: the mapping is never opened.
  bool OpenMapping() { return false; }
  void* MapView() { return nullptr; }
  void UnmapView(void*) {}
  void CloseMapping() {}
  // Stand-in: the player-closing notice goes nowhere.
  void SendClosing() {}
};

// Stand-in: the program starter.
class TAppExec : public TComponent {
 public:
  explicit TAppExec(TComponent* AOwner) : TComponent(AOwner) {}
};

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
