// Read-only files for the tag readers: closed when the handle goes.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

using TReadFile = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

inline TReadFile OpenReadFile(const std::string& Path) {
  return TReadFile(std::fopen(Path.c_str(), "rb"), &std::fclose);
}

// The file's size, with the position back at the start; -1 when unknown.
inline long ReadFileSize(std::FILE* F) {
  if (std::fseek(F, 0, SEEK_END) != 0) return -1;
  const long n = std::ftell(F);
  return std::fseek(F, 0, SEEK_SET) == 0 ? n : -1;
}
