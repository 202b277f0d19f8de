#include "platform/win/process.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <map>
#include <thread>

#include "platform/win/casefold.h"
#include "platform/win/ipc.h"
#include "platform/win/library.h"

extern char** environ;

namespace {

struct TProcess {
  pid_t Pid = 0;
  bool Ended = false;
  DWORD ExitCode = STILL_ACTIVE;
};

thread_local DWORD gLastError = 0;

std::map<HANDLE, TProcess>& Processes() {
  static auto* m = new std::map<HANDLE, TProcess>;
  return *m;
}
// Children whose handle was closed before they ended.
std::vector<pid_t>& Orphans() {
  static auto* v = new std::vector<pid_t>;
  return *v;
}
uintptr_t gNextHandle = 0x5000;

void ReapOrphans() {
  auto& o = Orphans();
  std::erase_if(o, [](pid_t p) {
    int status;
    pid_t r = waitpid(p, &status, WNOHANG);
    return r == p || (r < 0 && errno == ECHILD);
  });
}

DWORD StatusToCode(int Status) {
  if (WIFEXITED(Status)) return static_cast<DWORD>(WEXITSTATUS(Status));
  if (WIFSIGNALED(Status)) return static_cast<DWORD>(128 + WTERMSIG(Status));
  return 0;
}

// Polls the child once; true when it has ended.
bool Poll(TProcess& P, bool Block) {
  if (P.Ended) return true;
  int status = 0;
  pid_t r;
  do {
    r = waitpid(P.Pid, &status, Block ? 0 : WNOHANG);
  } while (r < 0 && errno == EINTR);
  if (r == P.Pid) {
    P.Ended = true;
    P.ExitCode = StatusToCode(status);
    return true;
  }
  if (r < 0) {  // someone else reaped it: it has ended all the same
    P.Ended = true;
    P.ExitCode = 0;
    return true;
  }
  return false;
}

bool EndsWithExe(const std::string& Name) {
  return Name.size() > 4 && SameFolded(Name.substr(Name.size() - 4), ".exe");
}

// The file as named or, for "x.exe", as "x"; errno of the last look when
// neither is a regular file.
bool Probe(const std::string& Path, std::string& Found, int& Err) {
  std::vector<std::string> tries{Path};
  if (EndsWithExe(Path)) tries.push_back(Path.substr(0, Path.size() - 4));
  for (const std::string& t : tries) {
    struct stat st;
    if (::stat(t.c_str(), &st) == 0) {
      if (S_ISREG(st.st_mode)) {
        Found = t;
        return true;
      }
      Err = S_ISDIR(st.st_mode) ? EACCES : ENOEXEC;
    } else if (Err != ENOTDIR && Err != EACCES) {
      Err = errno;
    }
  }
  return false;
}

}  // namespace

DWORD ErrnoToWinError(int Errno) {
  switch (Errno) {
    case 0:
      return ERROR_SUCCESS;
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
      return ERROR_ACCESS_DENIED;
    case ENOMEM:
    case E2BIG:
      return ERROR_NOT_ENOUGH_MEMORY;
    case ENOEXEC:
      return ERROR_BAD_EXE_FORMAT;
    default:
      return 31;  // a device that does not work: a general failure
  }
}

std::vector<std::string> SplitCommandLine(const std::string& Line) {
  std::vector<std::string> out;
  size_t i = 0, n = Line.size();
  while (true) {
    while (i < n && (Line[i] == ' ' || Line[i] == '\t')) ++i;
    if (i >= n) break;
    std::string word;
    bool quoted = false;
    while (i < n) {
      char c = Line[i];
      if (!quoted && (c == ' ' || c == '\t')) break;
      if (c == '\\') {
        size_t count = 0;
        while (i < n && Line[i] == '\\') {
          ++count;
          ++i;
        }
        if (i < n && Line[i] == '"') {
          word.append(count / 2, '\\');
          if (count % 2) {
            word += '"';
            ++i;
          }
        } else {
          word.append(count, '\\');
        }
        continue;
      }
      if (c == '"') {
        // A doubled quote inside quotes is a literal quote.
        if (quoted && i + 1 < n && Line[i + 1] == '"') {
          word += '"';
          i += 2;
          continue;
        }
        quoted = !quoted;
        ++i;
        continue;
      }
      word += c;
      ++i;
    }
    out.push_back(word);
  }
  return out;
}

std::string FindProgram(const std::string& Name, DWORD& Error) {
  Error = ERROR_SUCCESS;
  std::string found;
  int err = ENOENT;
  if (Name.empty()) {
    Error = ERROR_FILE_NOT_FOUND;
    return {};
  }
  std::string name = Name;
  for (char& c : name)
    if (c == '\\') c = '/';
  if (name.find('/') != std::string::npos) {
    if (Probe(name, found, err)) return found;
    Error = ErrnoToWinError(err);
    return {};
  }
  std::vector<std::string> dirs{ProgramFolder(), "."};
  if (const char* path = std::getenv("PATH")) {
    std::string p = path;
    size_t start = 0;
    while (true) {
      size_t colon = p.find(':', start);
      std::string d = p.substr(start, colon - start);
      dirs.push_back(d.empty() ? "." : d);
      if (colon == std::string::npos) break;
      start = colon + 1;
    }
  }
  int firstErr = 0;
  for (const std::string& d : dirs) {
    if (d.empty()) continue;
    int e = ENOENT;
    if (Probe(d + "/" + name, found, e)) return found;
    // A file that is there but cannot run says more than one that is not.
    if (e != ENOENT && e != ENOTDIR && !firstErr) firstErr = e;
  }
  Error = ErrnoToWinError(firstErr ? firstErr : ENOENT);
  return {};
}

BOOL CreateProcessA(const char* ApplicationName, const char* CommandLine, BOOL, DWORD,
                    const char* CurrentDirectory, const STARTUPINFOA*,
                    PROCESS_INFORMATION* ProcessInformation) {
  ReapOrphans();
  if (ApplicationName || !CommandLine) {
    SetLastError(87);  // an invalid parameter
    return FALSE;
  }
  std::vector<std::string> words = SplitCommandLine(CommandLine);
  if (words.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  DWORD err;
  std::string path = FindProgram(words[0], err);
  if (path.empty()) {
    SetLastError(err);
    return FALSE;
  }
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // Only the three standard descriptors go to the child.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  if (CurrentDirectory) posix_spawn_file_actions_addchdir_np(&actions, CurrentDirectory);
  pid_t pid = 0;
  int rc = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    SetLastError(ErrnoToWinError(rc));
    return FALSE;
  }
  HANDLE h = reinterpret_cast<HANDLE>(gNextHandle++);
  Processes()[h] = TProcess{pid, false, STILL_ACTIVE};
  if (ProcessInformation) {
    ProcessInformation->hProcess = h;
    // There are no separate threads to hand out; closing this one is harmless.
    ProcessInformation->hThread = nullptr;
    ProcessInformation->dwProcessId = static_cast<DWORD>(pid);
    ProcessInformation->dwThreadId = static_cast<DWORD>(pid);
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE Process, DWORD Ms) {
  auto it = Processes().find(Process);
  if (it == Processes().end()) return WAIT_FAILED;
  if (Ms == INFINITE) {
    Poll(it->second, true);
    return WAIT_OBJECT_0;
  }
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(Ms);
  while (true) {
    if (Poll(it->second, false)) return WAIT_OBJECT_0;
    if (std::chrono::steady_clock::now() >= until) return WAIT_TIMEOUT;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

BOOL GetExitCodeProcess(HANDLE Process, DWORD* ExitCode) {
  auto it = Processes().find(Process);
  if (it == Processes().end()) return FALSE;
  Poll(it->second, false);
  if (ExitCode) *ExitCode = it->second.ExitCode;
  return TRUE;
}

BOOL CloseHandle(HANDLE Handle) {
  if (CloseIpcHandle(Handle)) return TRUE;
  auto it = Processes().find(Handle);
  if (it == Processes().end()) return Handle == nullptr ? FALSE : TRUE;
  if (!Poll(it->second, false)) Orphans().push_back(it->second.Pid);
  Processes().erase(it);
  ReapOrphans();
  return TRUE;
}

DWORD GetLastError() {
  return gLastError;
}

void SetLastError(DWORD Code) {
  gLastError = Code;
}
