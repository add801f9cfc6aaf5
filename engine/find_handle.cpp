#include "engine/find_handle.h"

namespace {

bool IsDotEntry(const wchar_t* name) {
  return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

bool Accepted(const FindHandle& find) {
  if (IsDotEntry(find.entry.cFileName)) return false;
  switch (find.filter) {
    case kFindSkipLinks:
      return !find.IsLink();
    case kFindFilesOnly:
      return !find.IsFolder();
    case kFindFoldersOnly:
      return find.IsFolder();
    default:
      return true;
  }
}

// Steps over rejected entries, starting with the one just fetched.
bool SkipRejected(FindHandle& find) {
  while (!Accepted(find)) {
    if (!FindNextFileW(find.search, &find.entry)) {
      find.lastError = GetLastError();
      EndSearch(find);
      return false;
    }
  }
  return true;
}

}  // namespace

FindHandle::~FindHandle() { EndSearch(*this); }

bool FirstEntry(FindHandle& find, const wchar_t* pattern) {
  EndSearch(find);
  find.lastError = 0;
  // The basic level leaves out the short name, which nothing here uses, and
  // the large fetch cuts the round trips on big folders.
  find.search = FindFirstFileExW(pattern, FindExInfoBasic, &find.entry, FindExSearchNameMatch,
                                 nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (find.search == INVALID_HANDLE_VALUE) {
    find.lastError = GetLastError();
    return false;
  }
  return SkipRejected(find);
}

bool NextEntry(FindHandle& find) {
  if (find.search == INVALID_HANDLE_VALUE) return false;
  if (!FindNextFileW(find.search, &find.entry)) {
    find.lastError = GetLastError();
    EndSearch(find);
    return false;
  }
  return SkipRejected(find);
}

void EndSearch(FindHandle& find) {
  if (find.search != INVALID_HANDLE_VALUE) FindClose(find.search);
  find.search = INVALID_HANDLE_VALUE;
}
