// Test hooks of the profile writer: it shows each step of replacing a file,
// so a test can stop a save there as a crash or a kill would, and it lets a
// test stand in for the file-system calls whose failures a real disk seldom
// shows (no locks on a network mount, a folder that cannot be synced).
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>

enum TProfileWriteStep {
  pwsTempCreated,  // the temporary file exists, empty
  pwsTempWritten,  // it holds the whole text, not yet on the disk
  pwsTempSynced,   // it is on the disk, not yet renamed
  pwsRenamed,      // it replaced the file; the folder is not yet synced
};

// Called at each step of every write; nil removes the hook.
void SetProfileWriteHook(std::function<void(TProfileWriteStep)> Hook);

// Calls made in place of the system's own, with the same arguments and the
// same answers (-1 with errno set for a failure); an empty one is the
// system's. Set them all at once; a default TProfileFileCalls restores the
// system's.
struct TProfileFileCalls {
  std::function<int(int Fd, int Operation)> Lock{};   // flock, on temporary files
  std::function<int(const char* Path)> OpenFolder{};  // open of the file's folder to sync it
  std::function<int(int Fd)> SyncFolder{};            // fsync of that folder
  // write of the text into the temporary file (a full disk, an I/O error)
  std::function<ssize_t(int Fd, const void* Data, size_t Size)> Write{};
};
void SetProfileFileCalls(TProfileFileCalls Calls);
