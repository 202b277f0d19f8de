#include "platform/win/ipc.h"

#include <fcntl.h>
#include <poll.h>
#include <semaphore.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/win/user.h"

namespace {

struct TMapping {
  int Fd = -1;
  size_t Size = 0;
  std::string Name;
  bool Creator = false;  // holds the lock that tells the block is alive
};
struct TMutex {
  sem_t* Sem = nullptr;
  std::string Name;
  bool Creator = false;
  int Owned = 0;
};

struct TIpc {
  std::mutex Lock;
  std::string Namespace;
  std::map<HANDLE, std::unique_ptr<TMapping>> Mappings;
  std::map<HANDLE, std::unique_ptr<TMutex>> Mutexes;
  std::map<const void*, size_t> Views;
  std::map<std::string, UINT> Messages;
  UINT NextMessage = 0xC000;
};

TIpc& Ipc() {
  static auto* ipc = new TIpc;
  return *ipc;
}

std::string ShmName(const char* name) {
  return "/" + Ipc().Namespace + name;
}

HANDLE Fail(DWORD code) {
  SetLastError(code);
  return nullptr;
}

DWORD ErrnoCode(int e) {
  switch (e) {
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
      return ERROR_ACCESS_DENIED;
    case ENOMEM:
    case ENOSPC:
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      return 87;  // an invalid parameter
  }
}

HANDLE AddMapping(int fd, size_t size, const std::string& name, bool creator) {
  auto m = std::make_unique<TMapping>();
  m->Fd = fd;
  m->Size = size;
  m->Name = name;
  m->Creator = creator;
  HANDLE h = m.get();
  std::lock_guard l(Ipc().Lock);
  Ipc().Mappings[h] = std::move(m);
  return h;
}

// ---- Published windows ---------------------------------------------------

constexpr size_t kMaxName = 256;

// What crosses the socket for one post: a registered message goes by its
// name, any other by its number.
struct TWirePost {
  uint32_t Msg;
  uint32_t NameLength;
  int64_t WParam;
  int64_t LParam;
};

std::string SocketName(const std::string& cls, const std::string& title) {
  return "tal-window:" + Ipc().Namespace + ":" + cls + ":" + title;
}

bool SocketAddress(const std::string& name, sockaddr_un& a, socklen_t& len) {
  std::memset(&a, 0, sizeof(a));
  a.sun_family = AF_UNIX;
  // An abstract name: nothing is left in the file system by a crash.
  if (name.size() + 1 > sizeof(a.sun_path)) return false;
  std::memcpy(a.sun_path + 1, name.data(), name.size());
  len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
  return true;
}

bool ReadAll(int fd, void* p, size_t n) {
  auto* b = static_cast<char*>(p);
  while (n > 0) {
    const ssize_t r = ::read(fd, b, n);
    if (r <= 0) {
      if (r < 0 && errno == EINTR) continue;
      return false;
    }
    b += r;
    n -= static_cast<size_t>(r);
  }
  return true;
}

class TPublished {
 public:
  TPublished(HWND wnd, int listen_fd) : wnd_(wnd), listen_(listen_fd) {
    if (::pipe2(wake_, O_CLOEXEC) != 0) wake_[0] = wake_[1] = -1;
    thread_ = std::thread([this] { Serve(); });
  }
  ~TPublished() {
    if (wake_[1] >= 0) (void)!::write(wake_[1], "x", 1);
    thread_.join();
    ::close(listen_);
    for (int fd : clients_) ::close(fd);
    if (wake_[0] >= 0) ::close(wake_[0]);
    if (wake_[1] >= 0) ::close(wake_[1]);
  }

 private:
  void Serve() {
    for (;;) {
      std::vector<pollfd> fds{{wake_[0], POLLIN, 0}, {listen_, POLLIN, 0}};
      for (int c : clients_) fds.push_back({c, POLLIN, 0});
      if (::poll(fds.data(), fds.size(), -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (fds[0].revents) return;
      if (fds[1].revents & POLLIN) {
        const int c = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        if (c >= 0) clients_.push_back(c);
      }
      for (size_t i = 2; i < fds.size(); ++i) {
        if (!fds[i].revents) continue;
        if (!Receive(fds[i].fd)) {
          ::close(fds[i].fd);
          std::erase(clients_, fds[i].fd);
        }
      }
    }
  }
  // One post from another process; a malformed one ends that connection.
  bool Receive(int fd) {
    TWirePost p{};
    if (!ReadAll(fd, &p, sizeof(p)) || p.NameLength > kMaxName) return false;
    std::string name(p.NameLength, '\0');
    if (p.NameLength && !ReadAll(fd, name.data(), name.size())) return false;
    UINT msg = p.Msg;
    if (!name.empty()) {
      if (name.find('\0') != std::string::npos) return false;
      msg = RegisterWindowMessageA(name.c_str());
    } else if (msg >= 0xC000) {
      return false;  // a registered number means nothing here without its name
    }
    PostMessageA(wnd_, msg, static_cast<WPARAM>(p.WParam), static_cast<LPARAM>(p.LParam));
    return true;
  }

  HWND wnd_;
  int listen_;
  int wake_[2] = {-1, -1};
  std::vector<int> clients_;
  std::thread thread_;
};

struct TWindows {
  std::mutex Lock;
  // Local windows published, by socket name.
  std::map<std::string, HWND> ByName;
  std::map<HWND, std::pair<std::string, std::unique_ptr<TPublished>>> Published;
  // Windows of other processes: a connection each, by socket name.
  std::map<std::string, uintptr_t> RemoteByName;
  std::map<uintptr_t, int> Remote;
  uintptr_t NextRemote = 0x7E000000;
};

TWindows& Windows() {
  static auto* w = new TWindows;
  return *w;
}

}  // namespace

void SetIpcNamespace(const std::string& Namespace) {
  std::lock_guard l(Ipc().Lock);
  Ipc().Namespace = Namespace;
}

const std::string& IpcNamespace() {
  return Ipc().Namespace;
}

HANDLE CreateFileMappingA(HANDLE File, void*, DWORD Protect, DWORD MaxSizeHigh, DWORD MaxSizeLow,
                          const char* Name) {
  if (File != INVALID_HANDLE_VALUE || !Name || !*Name || std::strchr(Name, '/') || MaxSizeHigh ||
      MaxSizeLow == 0 || Protect != PAGE_READWRITE)
    return Fail(87);
  const std::string name = ShmName(Name);
  const size_t size = MaxSizeLow;
  for (int attempt = 0; attempt < 2; ++attempt) {
    int fd = ::shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
      // The lock says "alive" for as long as this process has the handle.
      if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ftruncate(fd, static_cast<off_t>(size)) != 0) {
        const int e = errno;
        ::close(fd);
        ::shm_unlink(name.c_str());
        return Fail(ErrnoCode(e));
      }
      SetLastError(ERROR_SUCCESS);
      return AddMapping(fd, size, name, true);
    }
    if (errno != EEXIST) return Fail(ErrnoCode(errno));
    fd = ::shm_open(name.c_str(), O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) continue;  // gone meanwhile: try to create it again
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      // Nobody holds it: its creator ended without closing it.
      ::close(fd);
      ::shm_unlink(name.c_str());
      continue;
    }
    struct stat st {};
    const size_t have = ::fstat(fd, &st) == 0 ? static_cast<size_t>(st.st_size) : 0;
    SetLastError(ERROR_ALREADY_EXISTS);
    HANDLE h = AddMapping(fd, std::min(have, size), name, false);
    SetLastError(ERROR_ALREADY_EXISTS);
    return h;
  }
  return Fail(ERROR_ACCESS_DENIED);
}

HANDLE OpenFileMappingA(DWORD Access, BOOL, const char* Name) {
  if (!Name || !*Name || std::strchr(Name, '/')) return Fail(87);
  const std::string name = ShmName(Name);
  const bool write = (Access & FILE_MAP_WRITE) != 0;
  const int fd = ::shm_open(name.c_str(), (write ? O_RDWR : O_RDONLY) | O_CLOEXEC, 0);
  if (fd < 0) return Fail(ErrnoCode(errno));
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    ::close(fd);
    return Fail(ERROR_ACCESS_DENIED);
  }
  SetLastError(ERROR_SUCCESS);
  return AddMapping(fd, static_cast<size_t>(st.st_size), name, false);
}

void* MapViewOfFile(HANDLE Mapping, DWORD Access, DWORD OffsetHigh, DWORD OffsetLow, size_t Bytes) {
  std::lock_guard l(Ipc().Lock);
  auto it = Ipc().Mappings.find(Mapping);
  if (it == Ipc().Mappings.end()) return Fail(ERROR_INVALID_HANDLE);
  const TMapping& m = *it->second;
  if (OffsetHigh || OffsetLow || Bytes > m.Size) return Fail(ERROR_ACCESS_DENIED);
  const size_t n = Bytes ? Bytes : m.Size;
  if (n == 0) return Fail(ERROR_ACCESS_DENIED);
  const int prot = (Access & FILE_MAP_WRITE) ? PROT_READ | PROT_WRITE : PROT_READ;
  void* p = ::mmap(nullptr, n, prot, MAP_SHARED, m.Fd, 0);
  if (p == MAP_FAILED) return Fail(ERROR_ACCESS_DENIED);
  Ipc().Views[p] = n;
  SetLastError(ERROR_SUCCESS);
  return p;
}

BOOL UnmapViewOfFile(const void* View) {
  std::lock_guard l(Ipc().Lock);
  auto it = Ipc().Views.find(View);
  if (it == Ipc().Views.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  ::munmap(const_cast<void*>(View), it->second);
  Ipc().Views.erase(it);
  return TRUE;
}

HANDLE CreateMutexA(void*, BOOL InitialOwner, const char* Name) {
  if (!Name || !*Name || std::strchr(Name, '/')) return Fail(87);
  const std::string name = ShmName(Name);
  bool creator = true;
  sem_t* s = ::sem_open(name.c_str(), O_CREAT | O_EXCL, 0600, 1);
  if (s == SEM_FAILED && errno == EEXIST) {
    creator = false;
    s = ::sem_open(name.c_str(), 0);
  }
  if (s == SEM_FAILED) return Fail(ErrnoCode(errno));
  auto m = std::make_unique<TMutex>();
  m->Sem = s;
  m->Name = name;
  m->Creator = creator;
  if (InitialOwner && ::sem_trywait(s) == 0) m->Owned = 1;
  HANDLE h = m.get();
  {
    std::lock_guard l(Ipc().Lock);
    Ipc().Mutexes[h] = std::move(m);
  }
  SetLastError(creator ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS);
  return h;
}

BOOL ReleaseMutex(HANDLE Mutex) {
  std::lock_guard l(Ipc().Lock);
  auto it = Ipc().Mutexes.find(Mutex);
  if (it == Ipc().Mutexes.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (it->second->Owned == 0) {
    SetLastError(ERROR_NOT_OWNER);
    return FALSE;
  }
  --it->second->Owned;
  ::sem_post(it->second->Sem);
  return TRUE;
}

bool CloseIpcHandle(HANDLE Handle) {
  std::unique_ptr<TMapping> mapping;
  std::unique_ptr<TMutex> mutex;
  {
    std::lock_guard l(Ipc().Lock);
    if (auto it = Ipc().Mappings.find(Handle); it != Ipc().Mappings.end()) {
      mapping = std::move(it->second);
      Ipc().Mappings.erase(it);
    } else if (auto mt = Ipc().Mutexes.find(Handle); mt != Ipc().Mutexes.end()) {
      mutex = std::move(mt->second);
      Ipc().Mutexes.erase(mt);
    } else {
      return false;
    }
  }
  if (mapping) {
    // The creator takes the name with it, so nothing is left behind; views
    // already made stay valid.
    if (mapping->Creator) ::shm_unlink(mapping->Name.c_str());
    ::close(mapping->Fd);
  }
  if (mutex) {
    for (; mutex->Owned > 0; --mutex->Owned) ::sem_post(mutex->Sem);
    ::sem_close(mutex->Sem);
    if (mutex->Creator) ::sem_unlink(mutex->Name.c_str());
  }
  return true;
}

UINT RegisterWindowMessageA(const char* Name) {
  if (!Name || !*Name) return 0;
  std::lock_guard l(Ipc().Lock);
  auto [it, added] = Ipc().Messages.try_emplace(Name, Ipc().NextMessage);
  if (added) ++Ipc().NextMessage;
  return it->second;
}

std::string RegisteredMessageName(UINT Msg) {
  std::lock_guard l(Ipc().Lock);
  for (const auto& [name, n] : Ipc().Messages)
    if (n == Msg) return name;
  return "";
}

BOOL PublishWindow(HWND Wnd, const char* ClassName, const char* Title) {
  if (!Wnd || !ClassName || !Title) return FALSE;
  const std::string name = SocketName(ClassName, Title);
  sockaddr_un a;
  socklen_t len;
  if (!SocketAddress(name, a, len)) return FALSE;
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return FALSE;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), len) != 0 || ::listen(fd, 8) != 0) {
    ::close(fd);
    return FALSE;
  }
  TWindows& w = Windows();
  std::lock_guard l(w.Lock);
  w.ByName[name] = Wnd;
  w.Published[Wnd] = {name, std::make_unique<TPublished>(Wnd, fd)};
  return TRUE;
}

void UnpublishWindow(HWND Wnd) {
  std::unique_ptr<TPublished> gone;
  {
    TWindows& w = Windows();
    std::lock_guard l(w.Lock);
    auto it = w.Published.find(Wnd);
    if (it == w.Published.end()) return;
    w.ByName.erase(it->second.first);
    gone = std::move(it->second.second);
    w.Published.erase(it);
  }
}

HWND FindWindowA(const char* ClassName, const char* Title) {
  if (!ClassName || !Title) return nullptr;
  const std::string name = SocketName(ClassName, Title);
  TWindows& w = Windows();
  std::lock_guard l(w.Lock);
  if (auto it = w.ByName.find(name); it != w.ByName.end()) return it->second;
  // Asked afresh each time: a window that went away is not found again.
  if (auto it = w.RemoteByName.find(name); it != w.RemoteByName.end()) {
    ::close(w.Remote[it->second]);
    w.Remote.erase(it->second);
    w.RemoteByName.erase(it);
  }
  sockaddr_un a;
  socklen_t len;
  if (!SocketAddress(name, a, len)) return nullptr;
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return nullptr;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), len) != 0) {
    ::close(fd);
    return nullptr;
  }
  const uintptr_t h = w.NextRemote++;
  w.Remote[h] = fd;
  w.RemoteByName[name] = h;
  return reinterpret_cast<HWND>(h);
}

bool IsRemoteWindow(HWND Wnd) {
  TWindows& w = Windows();
  std::lock_guard l(w.Lock);
  return w.Remote.count(reinterpret_cast<uintptr_t>(Wnd)) != 0;
}

BOOL PostRemoteMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  TWindows& w = Windows();
  std::lock_guard l(w.Lock);
  auto it = w.Remote.find(reinterpret_cast<uintptr_t>(Wnd));
  if (it == w.Remote.end()) return FALSE;
  const std::string name = RegisteredMessageName(Msg);
  if (Msg >= 0xC000 && name.empty()) return FALSE;
  TWirePost p{Msg, static_cast<uint32_t>(name.size()), static_cast<int64_t>(WParam),
              static_cast<int64_t>(LParam)};
  std::string wire(reinterpret_cast<const char*>(&p), sizeof(p));
  wire += name;
  const ssize_t n = ::send(it->second, wire.data(), wire.size(), MSG_NOSIGNAL);
  return n == static_cast<ssize_t>(wire.size()) ? TRUE : FALSE;
}
