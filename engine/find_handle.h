// A directory search together with the entry it stands on. The search never
// reports "." and "..", and can be narrowed to files, folders or non-links.
#pragma once

#include <windows.h>

#include <cstdint>

enum FindFilter : int {
  kFindEverything = 0,
  kFindSkipLinks = 1,
  kFindFilesOnly = 2,
  kFindFoldersOnly = 4,
};

// Files that carry the reparse attribute although they hold their own data:
// deduplicated, tiered, compressed-by-overlay and cloud placeholder files.
// Opening one yields the data, so they are copied and walked like ordinary
// items; any other tag (including 0, and tags unknown here) marks a link.
bool IsDataBearingReparseTag(DWORD tag);
// A link is any reparse point whose tag does not bear data; links are never
// followed by a walker.
bool IsLinkEntry(DWORD attributes, DWORD reparseTag);

// The attributes of an entry that a copy can carry: the data-bearing marks
// (reparse, offline, recall) describe the source's storage, not the copy.
inline DWORD SettableAttributes(DWORD attributes) {
  constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                              FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                              FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  DWORD settable = attributes & kSettable;
  return settable ? settable : FILE_ATTRIBUTE_NORMAL;
}

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
