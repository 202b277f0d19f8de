#include "platform/win/paths.h"

#include <algorithm>

std::string NativePath(const std::string& Path) {
  std::string p(Path);
  std::replace(p.begin(), p.end(), '\\', '/');
  return p;
}
