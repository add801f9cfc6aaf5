// A directory search together with the entry it stands on. The search never
// reports "." and "..", and can be narrowed to files, folders or non-links.
#pragma once

#include <windows.h>

#include <cstdint>

#include "engine/item_queries.h"

enum FindFilter : int {
  kFindEverything = 0,
  kFindSkipLinks = 1,
  kFindFilesOnly = 2,
  kFindFoldersOnly = 4,
};

class FindHandle {
 public:
  explicit FindHandle(int filterMode = kFindEverything) : filter(filterMode) {}
  ~FindHandle();
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;

  const wchar_t* Name() const { return entry.cFileName; }
  DWORD Attributes() const { return entry.dwFileAttributes; }
  uint64_t Size() const {
    return (static_cast<uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
  }
  // The directory entry carries the tag of a reparse point in its first
  // reserved word; for other entries that word means nothing.
  DWORD ReparseTag() const {
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? entry.dwReserved0 : 0;
  }
  bool IsFolder() const { return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
  bool IsLink() const { return IsLinkEntry(entry.dwFileAttributes, ReparseTag()); }
  // A folder that a walker enters.
  bool IsPlainFolder() const { return IsFolder() && !IsLink(); }

  WIN32_FIND_DATAW entry = {};
  HANDLE search = INVALID_HANDLE_VALUE;
  int filter = kFindEverything;
  // Why the search ended or could not start (the platform's error code).
  DWORD lastError = 0;
};

// Starts a search on a pattern such as folder + "\*" and stands on the first
// accepted entry; false when there is none.
bool FirstEntry(FindHandle& find, const wchar_t* pattern);
// Moves to the next accepted entry; at the end the search is closed and the
// handle set to -1.
bool NextEntry(FindHandle& find);
void EndSearch(FindHandle& find);
