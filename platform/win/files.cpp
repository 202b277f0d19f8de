#include "platform/win/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/win/library.h"
#include "platform/win/paths.h"

std::string GetCurrentDir() {
  std::vector<char> buf(4096);
  for (;;) {
    if (::getcwd(buf.data(), buf.size())) return std::string(buf.data());
    if (errno != ERANGE || buf.size() > (1u << 20)) return std::string();
    buf.resize(buf.size() * 2);
  }
}

bool SetCurrentDir(const std::string& Dir) {
  return !Dir.empty() && ::chdir(NativePath(Dir).c_str()) == 0;
}

std::string ProgramFileName() {
  char buf[4096];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  std::string path = n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
  size_t slash = path.rfind('/');
  return ProgramFolder() + (slash == std::string::npos ? path : path.substr(slash + 1));
}

std::string ExtractFilePath(const std::string& FileName) {
  size_t p = FileName.find_last_of("\\/:");
  return p == std::string::npos ? std::string() : FileName.substr(0, p + 1);
}

bool FileIsRegular(const std::string& FileName) {
  struct stat st;
  return ::stat(NativePath(FileName).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& Dir) {
  struct stat st;
  return ::stat(NativePath(Dir).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateDir(const std::string& Dir) {
  return ::mkdir(NativePath(Dir).c_str(), 0777) == 0;
}

bool ReadFileText(const std::string& FileName, std::string& Text) {
  Text.clear();
  int fd = ::open(NativePath(FileName).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  char buf[8192];
  while (ok) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    Text.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  if (!ok) Text.clear();
  return ok;
}

namespace {

bool WriteAll(int fd, const std::string& s) {
  size_t done = 0;
  while (done < s.size()) {
    ssize_t n = ::write(fd, s.data() + done, s.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

bool ReplaceFileText(const std::string& FileName, const std::string& Text) {
  std::string path = NativePath(FileName);
  size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  if (base.empty()) return false;
  std::string tmpl = dir + "." + base + ".XXXXXX";
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  int fd = ::mkstemp(name.data());
  if (fd < 0) return false;
  struct stat st;
  mode_t mode;
  if (::stat(path.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, Text) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = ::rename(name.data(), path.c_str()) == 0;
  if (!ok) ::unlink(name.data());
  return ok;
}

int FileOpen(const std::string& FileName, TFileOpenMode Mode) {
  int flags = Mode == fomWrite ? O_WRONLY : Mode == fomReadWrite ? O_RDWR : O_RDONLY;
  return ::open(NativePath(FileName).c_str(), flags | O_CLOEXEC);
}

int FileCreate(const std::string& FileName) {
  return ::open(NativePath(FileName).c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}

int64_t FileRead(int Handle, void* Buffer, int64_t Count) {
  int64_t total = 0;
  auto* p = static_cast<uint8_t*>(Buffer);
  while (total < Count) {
    ssize_t n = ::read(Handle, p + total, static_cast<size_t>(Count - total));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    total += n;
  }
  return total;
}

int64_t FileWrite(int Handle, const void* Buffer, int64_t Count) {
  int64_t total = 0;
  auto* p = static_cast<const uint8_t*>(Buffer);
  while (total < Count) {
    ssize_t n = ::write(Handle, p + total, static_cast<size_t>(Count - total));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    total += n;
  }
  return total;
}

int64_t FileSeek(int Handle, int64_t Offset, int Origin) {
  int whence = Origin == 0 ? SEEK_SET : Origin == 1 ? SEEK_CUR : SEEK_END;
  off_t r = ::lseek(Handle, static_cast<off_t>(Offset), whence);
  return r < 0 ? -1 : static_cast<int64_t>(r);
}

bool FileTruncate(int Handle, int64_t Size) {
  return ::ftruncate(Handle, static_cast<off_t>(Size)) == 0;
}

void FileClose(int Handle) {
  if (Handle >= 0) ::close(Handle);
}

std::string LastFileError() {
  return std::strerror(errno);
}
