// How often the host called the tone plug-in's About (0), Config (1), Init
// (2) and Quit (3); -1 when the plug-in is not loaded.
#pragma once

#include <dlfcn.h>

#include <string>

inline int ToneCalls(int Which) {
  const std::string file = std::string(TAL_TEST_PLUGIN_DIR) + "/Plugins/tone.so";
  void* h = dlopen(file.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (!h) return -1;
  auto f = reinterpret_cast<int (*)(int)>(dlsym(h, "ToneCalls"));
  const int n = f ? f(Which) : -1;
  dlclose(h);
  return n;
}
