// Test hook of the profile writer: it sees each step of replacing a file,
// so a test can stop a save there as a crash or a kill would.
#pragma once

#include <functional>

enum TProfileWriteStep {
  pwsTempCreated,  // the temporary file exists, empty
  pwsTempWritten,  // it holds the whole text, not yet on the disk
  pwsTempSynced,   // it is on the disk, not yet renamed
  pwsRenamed,      // it replaced the file; the folder is not yet synced
};

// Called at each step of every write; nil removes the hook.
void SetProfileWriteHook(std::function<void(TProfileWriteStep)> Hook);
