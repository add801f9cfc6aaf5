// What the engine asks of a single item: does it exist, is it a folder or a
// link, where does it really lie; and the metadata a copy carries over.
#pragma once

#include <windows.h>

#include "base/wide_string.h"

bool PathExists(const wchar_t* path);
bool PathIsFolder(const wchar_t* path);

// Files that carry the reparse attribute although they hold their own data:
// deduplicated, tiered, compressed-by-overlay and cloud placeholder files.
// Opening one yields the data, so they are copied and walked like ordinary
// items; any other tag (including 0, and tags unknown here) marks a link.
bool IsDataBearingReparseTag(DWORD tag);
// A link is any reparse point whose tag does not bear data; links are never
// followed by a walker.
bool IsLinkEntry(DWORD attributes, DWORD reparseTag);
// The same test for an item known by its path; the tag comes from its
// directory entry. An item whose tag cannot be read counts as a link, so
// that doubt never leads through one.
bool IsLinkPath(const wchar_t* path, DWORD attributes);
// A link whose tag is 0 is no reparse point of the platform but a link of
// the host system below it (Wine shows host links to folders so): renaming
// or deleting it goes to what it points to (Wine moves the target folder
// when such a link is renamed), so it is never renamed, replaced or deleted.
bool IsHostLinkPath(const wchar_t* path, DWORD attributes);

// The attributes of an entry that a copy can carry: the data-bearing marks
// (reparse, offline, recall) describe the source's storage, not the copy.
inline DWORD SettableAttributes(DWORD attributes) {
  constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                              FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                              FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  DWORD settable = attributes & kSettable;
  return settable ? settable : FILE_ATTRIBUTE_NORMAL;
}

// Gives an open item the three times and the settable attributes in one call.
bool GiveTimesAndAttributes(HANDLE handle, const FILETIME& creation, const FILETIME& lastAccess,
                            const FILETIME& lastWrite, DWORD attributes);

// The functions of Kernel32 that older systems lack are looked up when
// needed. Kernel32 is loaded in every process: no load of its own.
template <typename Fn>
Fn KernelFunction(const char* name) {
  HMODULE kernel = GetModuleHandleW(L"Kernel32.dll");
  return kernel ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(kernel, name)))
                : nullptr;
}

// The final path of one folder, asked at most once, when the first check
// below needs it.
class FolderFinalPath {
 public:
  explicit FolderFinalPath(const wchar_t* folder) : folder_(folder) {}
  // With an answer found before (by another thread; null: none), which a
  // check may still ask again; without the memory for it, it asks itself.
  FolderFinalPath(const wchar_t* folder, const wchar_t* answer) : folder_(folder) {
    if (!answer) return;
    path_.Assign(answer);
    asked_ = known_ = path_.ok;
  }
  // False when the folder cannot say.
  bool Ask();
  // Asks once more: a drive letter mapped or removed since the first answer
  // can make the platform name the same folder by another drive (Wine
  // re-reads its drives at most once a second), and its items then seem to
  // lie elsewhere.
  bool AskAgain() {
    asked_ = false;
    return Ask();
  }
  const wchar_t* Path() { return path_.CStr(); }

 private:
  const wchar_t* folder_;
  bool asked_ = false;
  bool known_ = false;
  WideString path_;
};

// Whether an item lies where its path says: its final path equals the final
// path of its folder followed by its name. A link that looks like a plain
// item (under Wine a host link to a file does) resolves elsewhere, and
// deleting or replacing it could reach its target. The walked text is never
// compared itself: mapped and substituted drives, short names and shares
// make it differ from any final path. An item that cannot be opened answers
// by the link test of its attributes.
// item must lie directly in folder's folder.
bool ResolvesInPlace(const wchar_t* item, FolderFinalPath& folder);
// The same for an item already open (without the reparse flag) as handle.
bool HandleResolvesInPlace(HANDLE handle, const wchar_t* item, FolderFinalPath& folder);
