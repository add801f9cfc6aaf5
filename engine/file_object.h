// An open file with the mode it was opened in. Text modes detect and write the
// byte-order mark; the raw mode leaves the bytes alone.
#pragma once

#include <windows.h>

#include <cstdint>

#include "engine/handle_holder.h"

enum FileMode : uint32_t {
  kFileAppend = 0x01,         // write access, open always, position at the end
  kFileTruncate = 0x02,       // write access, create always
  kFileExclusive = 0x04,      // no sharing
  kFileCreateParents = 0x08,  // create the missing parent folders first
  kFileRaw = 0x10,            // no byte-order mark handling
  kFileUtf16Le = 0x20,
  kFileUtf16Be = 0x40,
  kFileUtf8 = 0x80,
  // With kFileTruncate: fail when the name exists instead of truncating, so
  // that a scratch file can never overwrite anything.
  kFileCreateNew = 0x100,
  // Others may rename or delete the file while it is open: a finished scratch
  // file takes its final name while its own handle stays usable.
  kFileShareDelete = 0x200,
};

inline constexpr uint32_t kFileEncodingBits = kFileUtf16Le | kFileUtf16Be | kFileUtf8;
inline constexpr uint32_t kFileWriteBits = kFileAppend | kFileTruncate;

class FileObject {
 public:
  FileObject() = default;
  ~FileObject();
  FileObject(const FileObject&) = delete;
  FileObject& operator=(const FileObject&) = delete;

  bool IsOpen() const { return IsValidHandle(handle); }

  HANDLE handle = INVALID_HANDLE_VALUE;
  uint32_t mode = 0;  // may gain an encoding bit from the byte-order mark found
};

// Opens path in the given mode with the platform's flags-and-attributes word;
// returns the handle, or null (the object then holds -1). A handle still held
// is closed first.
HANDLE OpenFile(FileObject& file, const wchar_t* path, uint32_t mode, DWORD flagsAndAttributes);
void CloseFile(FileObject& file);
// Both answer the new position, or 0 when the object is closed or the call fails.
uint64_t SeekFromStart(FileObject& file, uint32_t offset);
uint64_t SeekFile(FileObject& file, int64_t distance, DWORD moveMethod);
// One read or write call; false when the object is closed or the call fails.
bool ReadFromFile(FileObject& file, void* buffer, DWORD size, DWORD* done);
bool WriteToFile(FileObject& file, const void* buffer, DWORD size, DWORD* done);
