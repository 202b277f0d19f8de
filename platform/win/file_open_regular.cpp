// Built into the shared audio core, so the audio library, which is loaded by
// name and links no other part of the platform, opens files the same way.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/win/files.h"

int FileOpenRegular(const std::string& FileName) {
  // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
  const int fd = ::open(FileName.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st {};
  uint8_t first;
  ssize_t r = -1;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    while ((r = ::pread(fd, &first, 1, 0)) < 0 && errno == EINTR) {
    }
  }
  // Reads of a regular file then block as usual, so a slow disk is a slow
  // read, not a failed one.
  if (r < 0 || ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}
