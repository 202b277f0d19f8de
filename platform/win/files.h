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

// Handles of open files; -1 is no file.
enum TFileOpenMode { fomRead, fomWrite, fomReadWrite };
// Opens an existing file; -1 on failure.
int FileOpen(const std::string& FileName, TFileOpenMode Mode);
// Opens an existing regular file for reading without ever waiting on it: a
// FIFO with no writer, a folder, a device, or a file whose first byte cannot
// be read (/proc/self/mem, whoever asks) gives -1 at once, as a missing file
// does. Unlike the calls above it takes the path as it stands, '\' and all:
// the audio library, which shares it, is given paths of this system.
int FileOpenRegular(const std::string& FileName);
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
