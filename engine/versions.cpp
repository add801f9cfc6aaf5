#include "engine/versions.h"

#include <cwchar>

#include "base/path.h"
#include "engine/directory_creation.h"
#include "engine/find_handle.h"
#include "engine/force_delete.h"
#include "engine/item_queries.h"

namespace {

constexpr int64_t kTicksPerDay = 864000000000LL;

// The text without "\\?\" and trailing separators, for comparing.
const wchar_t* WithoutPrefix(const wchar_t* path) {
  return wcsncmp(path, kLongPathPrefix, 4) == 0 ? path + 4 : path;
}

size_t TrimmedLength(const wchar_t* path) {
  size_t n = wcslen(path);
  while (n > 0 && path[n - 1] == L'\\') --n;
  return n;
}

bool SameFolderText(const wchar_t* a, const wchar_t* b) {
  a = WithoutPrefix(a);
  b = WithoutPrefix(b);
  size_t na = TrimmedLength(a);
  size_t nb = TrimmedLength(b);
  return na == nb && (na == 0 || CompareStringOrdinal(a, static_cast<int>(na), b,
                                                      static_cast<int>(nb), TRUE) == CSTR_EQUAL);
}

// A folder of ours that a version may be written into: a real folder, no
// link, which would send the version elsewhere.
bool PlainFolderThere(const wchar_t* path) {
  DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         !IsLinkPath(path, attributes);
}

int64_t TimeTicks(const SYSTEMTIME& time) {
  FILETIME file;
  if (!SystemTimeToFileTime(&time, &file)) return 0;
  return static_cast<int64_t>((static_cast<uint64_t>(file.dwHighDateTime) << 32) |
                              file.dwLowDateTime);
}

uint64_t EntrySize(const FindHandle& find) { return find.IsLink() ? 0 : find.Size(); }

// Counts what lies below folder; with remove set, deletes it on the way,
// links as links. False when anything stayed.
bool TallyTree(const wchar_t* folder, bool remove, uint64_t& files, uint64_t& bytes) {
  WideString pattern;
  JoinPath(pattern, folder, L"*");
  FindHandle find;
  bool whole = true;
  if (!pattern.ok) return false;
  if (FirstEntry(find, pattern.CStr())) {
    WideString child;
    do {
      JoinPath(child, folder, find.Name());
      if (!child.ok) {
        whole = false;
        continue;
      }
      if (find.IsPlainFolder()) {
        if (!TallyTree(child.CStr(), remove, files, bytes)) whole = false;
        continue;
      }
      ++files;
      bytes += EntrySize(find);
      if (!remove) continue;
      bool gone;
      if (find.IsLink()) {
        // A host system's link (tag 0) is removed through its target by the
        // platform's calls: left alone.
        gone = find.ReparseTag() != 0 &&
               (find.IsFolder() ? RemoveDirectoryW(child.CStr()) : DeleteFileW(child.CStr()));
      } else {
        gone = DeleteFileW(child.CStr()) ||
               ForceDelete(child.CStr(),
                           DeleteOption::DeleteRepairAccess | DeleteOption::DeleteOnlyInPlace |
                               DeleteOption::DeleteNoShellNotice) != DeleteResult::Failed;
      }
      if (!gone) whole = false;
    } while (NextEntry(find));
  }
  if (remove && whole) {
    SetFileAttributesW(folder, FILE_ATTRIBUTE_NORMAL);
    whole = RemoveDirectoryW(folder) != FALSE;
  }
  return whole;
}

}  // namespace

bool IsRootVersionsEntry(const wchar_t* folder, const wchar_t* name, const wchar_t* root) {
  return CompareStringOrdinal(name, -1, kVersionsFolderName, -1, TRUE) == CSTR_EQUAL && root &&
         SameFolderText(folder, root);
}

void VersionStampText(const SYSTEMTIME& time, WideString& text) {
  wchar_t stamp[32];
  swprintf(stamp, sizeof(stamp) / sizeof(stamp[0]), L"%04u-%02u-%02u %02u-%02u-%02u", time.wYear,
           time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond);
  text.Assign(stamp);
}

bool ParseVersionStamp(const wchar_t* name, SYSTEMTIME& time) {
  // Exactly the form VersionStampText writes, digit by digit.
  static constexpr wchar_t kShape[] = L"dddd-dd-dd dd-dd-dd";
  if (wcslen(name) != wcslen(kShape)) return false;
  for (size_t i = 0; kShape[i]; ++i) {
    if (kShape[i] == L'd' ? (name[i] < L'0' || name[i] > L'9') : name[i] != kShape[i]) return false;
  }
  auto number = [name](int at, int digits) {
    WORD value = 0;
    for (int i = 0; i < digits; ++i) value = static_cast<WORD>(value * 10 + (name[at + i] - L'0'));
    return value;
  };
  time = SYSTEMTIME{};
  time.wYear = number(0, 4);
  time.wMonth = number(5, 2);
  time.wDay = number(8, 2);
  time.wHour = number(11, 2);
  time.wMinute = number(14, 2);
  time.wSecond = number(17, 2);
  return TimeTicks(time) != 0;
}

void VersionStore::Begin(const wchar_t* root, const SYSTEMTIME& runStart) {
  root_.Assign(root);
  AddLongPathPrefix(root_);
  TrimTrailingBackslashes(root_);
  WideString stamp;
  VersionStampText(runStart, stamp);
  runFolder_.AssignConcat(root_.CStr(), L"\\", kVersionsFolderName, L"\\", stamp.CStr());
  lastParent_.Assign(L"");
  runFolderReady_ = false;
  active_ = root_.ok && runFolder_.ok;
}

bool VersionStore::PlaceOf(const wchar_t* item, WideString& place) {
  const wchar_t* plain = WithoutPrefix(item);
  const wchar_t* root = WithoutPrefix(root_.CStr());
  size_t n = wcslen(root);
  if (wcslen(plain) <= n + 1 || plain[n] != L'\\' ||
      CompareStringOrdinal(plain, static_cast<int>(n), root, static_cast<int>(n), TRUE) !=
          CSTR_EQUAL)
    return false;
  place.AssignConcat(runFolder_.CStr(), plain + n);
  return place.ok;
}

bool VersionStore::EnsureRunFolder(PassReport& report, const wchar_t* item) {
  if (runFolderReady_) return true;
  WideString top;
  top.AssignConcat(root_.CStr(), L"\\", kVersionsFolderName);
  if (CreateDirectoryW(top.CStr(), nullptr)) SetFileAttributesW(top.CStr(), FILE_ATTRIBUTE_HIDDEN);
  // A link or a file of that name would send the versions elsewhere, or nowhere.
  if (!PlainFolderThere(top.CStr())) {
    RecordFailure(report, item, FailureStep::kKeepVersion, ERROR_DIRECTORY,
                  Refusal::kVersionsFolderUnusable);
    return false;
  }
  if (!CreateDirectoryW(runFolder_.CStr(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    RecordFailure(report, item, FailureStep::kKeepVersion, GetLastError());
    return false;
  }
  if (!PlainFolderThere(runFolder_.CStr())) {
    RecordFailure(report, item, FailureStep::kKeepVersion, ERROR_DIRECTORY,
                  Refusal::kVersionsFolderUnusable);
    return false;
  }
  runFolderReady_ = true;
  return true;
}

bool VersionStore::EnsureParent(const WideString& place, PassReport& report, const wchar_t* item) {
  WideString parent;
  parent.Assign(const_cast<WideString&>(place).CStr());
  ParentFolder(parent, false);
  // Items come folder by folder: one creation per folder, not per item.
  if (lastParent_.ok && lastParent_.Length() == parent.Length() &&
      wcscmp(lastParent_.CStr(), parent.CStr()) == 0)
    return true;
  if (!CreateDirectoryTree(parent.CStr())) {
    RecordFailure(report, item, FailureStep::kKeepVersion, GetLastError());
    return false;
  }
  lastParent_.Assign(parent.CStr());
  return true;
}

bool VersionStore::Keep(const wchar_t* item, PassReport& report, WideString* keptAt) {
  WideString place;
  AcquireSRWLockExclusive(&lock_);
  const bool placed = active_ && PlaceOf(item, place);
  const bool ready = placed && EnsureRunFolder(report, item) && EnsureParent(place, report, item);
  ReleaseSRWLockExclusive(&lock_);
  if (!placed) {
    RecordFailure(report, item, FailureStep::kKeepVersion, ERROR_BAD_PATHNAME);
    return false;
  }
  if (!ready) return false;
  // Never MOVEFILE_COPY_ALLOWED: a version is a rename on the same volume,
  // or nothing. A link is renamed as the link itself.
  if (MoveFileExW(item, place.CStr(), MOVEFILE_WRITE_THROUGH)) {
    if (keptAt) keptAt->Assign(place.CStr());
    return true;
  }
  DWORD error = GetLastError();
  DWORD attributes = GetFileAttributesW(item);
  if ((error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) &&
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
      !IsLinkPath(item, attributes) && PlainFolderThere(place.CStr())) {
    // The folder's contents went before it; only the empty folder is left.
    SetFileAttributesW(item, FILE_ATTRIBUTE_NORMAL);
    if (RemoveDirectoryW(item)) return true;
    error = GetLastError();
    SetFileAttributesW(item, SettableAttributes(attributes));
  }
  RecordFailure(report, item, FailureStep::kKeepVersion, error);
  return false;
}

bool VersionStore::PutBack(const wchar_t* item, WideString& keptAt) {
  return keptAt.ok && keptAt.Length() > 0 &&
         MoveFileExW(keptAt.CStr(), item, MOVEFILE_WRITE_THROUGH);
}

void PruneVersions(const wchar_t* root, uint32_t days, const SYSTEMTIME& now,
                   VersionsTally& tally) {
  WideString top(root);
  AddLongPathPrefix(top);
  TrimTrailingBackslashes(top);
  top.Append(L"\\", kVersionsFolderName);
  if (!top.ok || !PlainFolderThere(top.CStr())) return;
  int64_t limit = TimeTicks(now) - static_cast<int64_t>(days) * kTicksPerDay;
  WideString pattern;
  JoinPath(pattern, top.CStr(), L"*");
  FindHandle find(kFindFoldersOnly);
  if (!pattern.ok || !FirstEntry(find, pattern.CStr())) return;
  WideString runFolder;
  do {
    SYSTEMTIME stamp;
    if (!find.IsPlainFolder() || !ParseVersionStamp(find.Name(), stamp)) continue;
    JoinPath(runFolder, top.CStr(), find.Name());
    if (!runFolder.ok) continue;
    bool old = days > 0 && TimeTicks(stamp) < limit;
    uint64_t files = 0, bytes = 0;
    bool whole = TallyTree(runFolder.CStr(), old, files, bytes);
    if (!old) {
      ++tally.runFolders;
      tally.files += files;
      tally.bytes += bytes;
    } else if (whole) {
      ++tally.prunedFolders;
      tally.prunedFiles += files;
      tally.prunedBytes += bytes;
    } else {
      // What is left stays counted as held; the next run tries again.
      ++tally.failed;
      uint64_t leftFiles = 0, leftBytes = 0;
      TallyTree(runFolder.CStr(), false, leftFiles, leftBytes);
      ++tally.runFolders;
      tally.files += leftFiles;
      tally.bytes += leftBytes;
      tally.prunedFiles += files - leftFiles;
      tally.prunedBytes += bytes - leftBytes;
    }
  } while (NextEntry(find));
}
