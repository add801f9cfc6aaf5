#include "engine/file_object.h"

#include "base/path.h"
#include "engine/directory_creation.h"

namespace {

constexpr unsigned char kUtf8Mark[] = {0xEF, 0xBB, 0xBF};
constexpr unsigned char kUtf16LeMark[] = {0xFF, 0xFE};
constexpr unsigned char kUtf16BeMark[] = {0xFE, 0xFF};

bool CreateParentFolder(const wchar_t* path) {
  WideString parent(path);
  if (!parent.ok) return false;
  if (parent.Find(L"\\", true) == 0) return true;
  ParentFolder(parent, false);
  return parent.Length() <= 2 || CreateDirectoryTree(parent.CStr());
}

DWORD Disposition(uint32_t mode) {
  if (mode & kFileTruncate) return (mode & kFileCreateNew) ? CREATE_NEW : CREATE_ALWAYS;
  if (mode & kFileAppend) return OPEN_ALWAYS;
  return OPEN_EXISTING;
}

bool WriteMark(FileObject& file) {
  const unsigned char* mark = kUtf16BeMark;
  DWORD length = 2;
  if (file.mode & kFileUtf8) {
    mark = kUtf8Mark;
    length = 3;
  } else if (file.mode & kFileUtf16Le) {
    mark = kUtf16LeMark;
  }
  DWORD written = 0;
  return WriteToFile(file, mark, length, &written) && written == length;
}

// Reads the first bytes, takes the encoding from a byte-order mark and leaves
// the position where the text begins (or at the end for appending).
void DetectMark(FileObject& file) {
  unsigned char head[3] = {};
  DWORD got = 0;
  if (!ReadFromFile(file, head, 3, &got)) got = 0;
  DWORD markLength = 0;
  uint32_t encoding = 0;
  if (got >= 2 && head[0] == 0xFF && head[1] == 0xFE) {
    encoding = kFileUtf16Le;
    markLength = 2;
  } else if (got >= 2 && head[0] == 0xFE && head[1] == 0xFF) {
    encoding = kFileUtf16Be;
    markLength = 2;
  } else if (got == 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) {
    encoding = kFileUtf8;
    markLength = 3;
  }
  if (encoding) file.mode = (file.mode & ~kFileEncodingBits) | encoding;
  if (file.mode & kFileAppend)
    SeekFile(file, 0, FILE_END);
  else if (got != markLength)
    SeekFromStart(file, markLength);
}

}  // namespace

FileObject::~FileObject() { CloseFile(*this); }

HANDLE OpenFile(FileObject& file, const wchar_t* path, uint32_t mode, DWORD flagsAndAttributes) {
  CloseFile(file);
  file.mode = mode;
  if ((mode & kFileCreateParents) && !CreateParentFolder(path)) return nullptr;

  DWORD access = (mode & kFileWriteBits) ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
  DWORD sharing = (mode & kFileExclusive) ? 0 : FILE_SHARE_READ;
  if (mode & kFileShareDelete) sharing |= FILE_SHARE_DELETE;
  HANDLE handle =
      CreateFileW(path, access, sharing, nullptr, Disposition(mode), flagsAndAttributes, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  file.handle = handle;

  if (mode & kFileRaw) {
    if (mode & kFileAppend) SeekFile(file, 0, FILE_END);
    return handle;
  }
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(handle, &size)) size.QuadPart = 0;
  if (size.QuadPart == 0) {
    if ((mode & kFileEncodingBits) && (mode & kFileWriteBits) && !WriteMark(file)) {
      CloseFile(file);
      return nullptr;
    }
    return handle;
  }
  // A truncating open has just emptied the file, so only the other opens can
  // meet an existing mark.
  if (!(mode & kFileTruncate)) DetectMark(file);
  return handle;
}

void CloseFile(FileObject& file) {
  if (file.IsOpen()) CloseHandle(file.handle);
  file.handle = INVALID_HANDLE_VALUE;
  file.mode = 0;
}

uint64_t SeekFromStart(FileObject& file, uint32_t offset) {
  return SeekFile(file, static_cast<int64_t>(offset), FILE_BEGIN);
}

uint64_t SeekFile(FileObject& file, int64_t distance, DWORD moveMethod) {
  if (!file.IsOpen()) return 0;
  LARGE_INTEGER move;
  move.QuadPart = distance;
  LARGE_INTEGER position = {};
  if (!SetFilePointerEx(file.handle, move, &position, moveMethod)) return 0;
  return static_cast<uint64_t>(position.QuadPart);
}

bool ReadFromFile(FileObject& file, void* buffer, DWORD size, DWORD* done) {
  *done = 0;
  if (!file.IsOpen()) return false;
  return ReadFile(file.handle, buffer, size, done, nullptr) != FALSE;
}

bool WriteToFile(FileObject& file, const void* buffer, DWORD size, DWORD* done) {
  *done = 0;
  if (!file.IsOpen()) return false;
  return WriteFile(file.handle, buffer, size, done, nullptr) != FALSE;
}
