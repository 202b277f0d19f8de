// Read-only files for the tag readers: closed when the handle goes. Only a
// regular file opens, and never by waiting on it (FileOpenRegular): a FIFO, a
// folder or a device is a file that cannot be read.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "platform/win/files.h"

using TReadFile = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

inline TReadFile OpenReadFile(const std::string& Path) {
  const int fd = FileOpenRegular(Path);
  std::FILE* f = fd >= 0 ? ::fdopen(fd, "rb") : nullptr;
  if (!f) FileClose(fd);
  return TReadFile(f, &std::fclose);
}

// The file's size, with the position back at the start; -1 when unknown.
inline long ReadFileSize(std::FILE* F) {
  if (std::fseek(F, 0, SEEK_END) != 0) return -1;
  const long n = std::ftell(F);
  return std::fseek(F, 0, SEEK_SET) == 0 ? n : -1;
}
