// Files and folders: the current directory, the program's own path, whole
// files read and replaced, and the handle calls the framework's file stream
// sits on. Paths may use '\' as the original platform does.
#pragma once

#include <cstdint>
#include <string>

// The current directory, with no trailing separator ("" when unknown).
std::string GetCurrentDir();
// False when Dir does not exist or cannot be entered.
bool SetCurrentDir(const std::string& Dir);

// The path of the running program file. It lies in ProgramFolder(), so tests
// that move the program folder move it too.
std::string ProgramFileName();

// Everything up to and including the last '\', '/' or ':' ("" when none).
std::string ExtractFilePath(const std::string& FileName);

// True for a regular file / for a folder.
bool FileIsRegular(const std::string& FileName);
bool DirectoryExists(const std::string& Dir);
bool CreateDir(const std::string& Dir);

// The whole content of a regular file; false when it cannot be read (a
// missing file, a folder).
bool ReadFileText(const std::string& FileName, std::string& Text);
// Writes Text to a new file beside FileName and renames it over, so FileName
// is either the old file or the new one, never half of each. False (and
// FileName untouched) when that cannot be done.
bool ReplaceFileText(const std::string& FileName, const std::string& Text);

// Handles of open files; -1 is no file.
enum TFileOpenMode { fomRead, fomWrite, fomReadWrite };
// Opens an existing file; -1 on failure.
int FileOpen(const std::string& FileName, TFileOpenMode Mode);
// Creates or truncates a file for reading and writing; -1 on failure.
int FileCreate(const std::string& FileName);
// Bytes moved; fewer than Count only at the end of the file or on an error.
int64_t FileRead(int Handle, void* Buffer, int64_t Count);
int64_t FileWrite(int Handle, const void* Buffer, int64_t Count);
// Origin 0 start, 1 current, 2 end; the new position, or -1.
int64_t FileSeek(int Handle, int64_t Offset, int Origin);
bool FileTruncate(int Handle, int64_t Size);
void FileClose(int Handle);
// The last failure of these calls as text.
std::string LastFileError();
