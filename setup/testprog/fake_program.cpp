// A small program the setup's tests start: it appends to the file named by
// TAL_FAKE_RECORD its own path, its current directory, its arguments, the
// descriptors it was given and TAL_FAKE_MARK, then ends with the exit code
// given as "exit N" (0 otherwise).
#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  int code = 0;
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "exit") == 0) code = std::atoi(argv[i + 1]);
  const char* record = std::getenv("TAL_FAKE_RECORD");
  if (!record) return code;
  std::string out;
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  out += "exe=" + std::string(buf, n > 0 ? static_cast<size_t>(n) : 0) + "\n";
  out += "cwd=" + std::string(getcwd(buf, sizeof buf) ? buf : "?") + "\n";
  out += "argc=" + std::to_string(argc - 1) + "\n";
  for (int i = 1; i < argc; ++i) out += "arg=" + std::string(argv[i]) + "\n";
  int fds = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') ++fds;
    closedir(d);
    --fds;  // the listing's own
  }
  out += "fds=" + std::to_string(fds) + "\n";
  const char* mark = std::getenv("TAL_FAKE_MARK");
  out += "mark=" + std::string(mark ? mark : "") + "\n";
  if (FILE* f = std::fopen(record, "a")) {
    std::fputs(out.c_str(), f);
    std::fclose(f);
  }
  return code;
}
