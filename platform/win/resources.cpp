#include "platform/win/resources.h"

#include <map>

#include "platform/win/casefold.h"

namespace {
struct TResource {
  const uint8_t* Data;
  size_t Size;
};
std::string Folded(const std::string& Name) {
  std::string out = Name;
  for (char& c : out) c = static_cast<char>(CaseFold(static_cast<uint8_t>(c)));
  return out;
}
std::map<std::string, TResource>& Table() {
  static auto* t = new std::map<std::string, TResource>;
  return *t;
}
}  // namespace

void RegisterResource(const std::string& Name, const uint8_t* Data, size_t Size) {
  Table()[Folded(Name)] = TResource{Data, Size};
}

bool FindResourceData(const std::string& Name, const uint8_t*& Data, size_t& Size) {
  auto it = Table().find(Folded(Name));
  if (it == Table().end()) return false;
  Data = it->second.Data;
  Size = it->second.Size;
  return true;
}
