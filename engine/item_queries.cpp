#include "engine/item_queries.h"

#include <cwchar>

#include "base/path.h"
#include "engine/find_handle.h"
#include "engine/handle_holder.h"

namespace {

using GetFinalPathFn = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);

constexpr DWORD kFinalPathFirstGuess = 2048;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Opened without the reparse flag: the handle stands for what the path
// resolves to.
HANDLE OpenResolved(const wchar_t* path) {
  return CreateFileW(path, 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                     nullptr);
}

bool FinalPathOfPath(const wchar_t* path, WideString& final) {
  HandleHolder item(OpenResolved(path));
  return item.Valid() && FinalPathOf(item.Get(), final);
}

}  // namespace

bool PathExists(const wchar_t* path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

bool PathIsFolder(const wchar_t* path) {
  DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsDataBearingReparseTag(DWORD tag) {
  switch (tag) {
    case static_cast<DWORD>(IO_REPARSE_TAG_HSM):
    case static_cast<DWORD>(IO_REPARSE_TAG_HSM2):
    case static_cast<DWORD>(IO_REPARSE_TAG_SIS):
    case static_cast<DWORD>(IO_REPARSE_TAG_DEDUP):
    case static_cast<DWORD>(IO_REPARSE_TAG_WOF):
    case static_cast<DWORD>(IO_REPARSE_TAG_FILE_PLACEHOLDER):
      return true;
    default:
      // The cloud tags differ only in the sub-type nibble.
      return (tag & ~static_cast<DWORD>(IO_REPARSE_TAG_CLOUD_MASK)) ==
             static_cast<DWORD>(IO_REPARSE_TAG_CLOUD);
  }
}

bool IsLinkEntry(DWORD attributes, DWORD reparseTag) {
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) && !IsDataBearingReparseTag(reparseTag);
}

bool IsLinkPath(const wchar_t* path, DWORD attributes) {
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return false;
  FindHandle find;
  // Some platforms describe the entry of a link by what it points to (Wine
  // shows a host link to a folder as a plain folder here, while its
  // attributes carry the reparse mark): that doubt counts as a link too.
  return !FirstEntry(find, path) || !(find.Attributes() & FILE_ATTRIBUTE_REPARSE_POINT) ||
         find.IsLink();
}

bool IsHostLinkPath(const wchar_t* path, DWORD attributes) {
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return false;
  FindHandle find;
  return !FirstEntry(find, path) || find.ReparseTag() == 0;
}

bool GiveTimesAndAttributes(HANDLE handle, const FILETIME& creation, const FILETIME& lastAccess,
                            const FILETIME& lastWrite, DWORD attributes) {
  auto large = [](const FILETIME& time) {
    LARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = static_cast<LONG>(time.dwHighDateTime);
    return value;
  };
  FILE_BASIC_INFO basic = {};
  basic.CreationTime = large(creation);
  basic.LastAccessTime = large(lastAccess);
  basic.LastWriteTime = large(lastWrite);
  basic.FileAttributes = SettableAttributes(attributes);
  return SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof(basic)) != FALSE;
}

bool FinalPathOf(HANDLE handle, WideString& path, DWORD form) {
  auto getFinalPath = KernelFunction<GetFinalPathFn>("GetFinalPathNameByHandleW");
  if (!getFinalPath) return false;
  DWORD capacity = kFinalPathFirstGuess;
  for (;;) {
    wchar_t* buffer = path.AssignN(static_cast<int32_t>(capacity), nullptr);
    if (!buffer) return false;
    DWORD length = getFinalPath(handle, buffer, capacity, form);
    if (length == 0) return false;
    if (length < capacity) {
      path.len = static_cast<int32_t>(length);
      return true;
    }
    capacity = length + 1;  // the answer was the size needed, terminator included
  }
}

bool FolderFinalPath::Ask() {
  if (!asked_) {
    asked_ = true;
    known_ = FinalPathOfPath(folder_, path_);
    if (known_) TrimTrailingBackslashes(path_);
  }
  return known_;
}

bool HandleResolvesInPlace(HANDLE handle, const wchar_t* item, FolderFinalPath& folder) {
  WideString itemFinal;
  // Without either answer there is nothing to compare; the link test of the
  // item's own attributes is all that is left.
  if (!FinalPathOf(handle, itemFinal) || !folder.Ask())
    return !IsLinkPath(item, GetFileAttributesW(item));
  WideString expected;
  WideString name(item);
  FileNamePart(name);
  expected.AssignConcat(folder.Path(), L"\\", name.CStr());
  return CompareStringOrdinal(expected.CStr(), -1, itemFinal.CStr(), -1, TRUE) == CSTR_EQUAL;
}

bool ResolvesInPlace(const wchar_t* item, FolderFinalPath& folder) {
  HandleHolder handle(OpenResolved(item));
  if (!handle.Valid()) return !IsLinkPath(item, GetFileAttributesW(item));
  return HandleResolvesInPlace(handle.Get(), item, folder);
}
