// Two libraries that are not input plug-ins: one without the entry point,
// one whose entry point gives nil.
#include "music/winamp_plugin.h"

#ifdef TAL_NIL_EXPORT
extern "C" __attribute__((visibility("default"))) In_Module* winampGetInModule2(void) {
  return nullptr;
}
#else
extern "C" __attribute__((visibility("default"))) int NotAPlugin(void) {
  return 1;
}
#endif
