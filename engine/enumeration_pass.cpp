#include "engine/enumeration_pass.h"

#include <cwchar>

#include "base/path.h"
#include "engine/file_size.h"
#include "engine/find_handle.h"
#include "engine/versions.h"

DWORD WINAPI EnumerationThread(void* argument) {
  if (!argument) return 0;
  BackupJob& job = *static_cast<BackupJob*>(argument);
  job.bytesTotal = 0;
  job.itemsTotal = 0;
  WideString root(job.fromRoot.CStr());
  AddLongPathPrefix(root);  // trees deeper than the classic limit
  if (!root.ok) return 0;
  return EnumerateTree(root.CStr(), job) ? 1 : 0;
}

namespace {

bool CountLevel(const wchar_t* folder, BackupJob& job) {
  WideString pattern;
  JoinPath(pattern, folder, L"*");
  FindHandle find;
  if (!pattern.ok || !FirstEntry(find, pattern.CStr())) return true;
  WideString child;
  do {
    if (IsRootVersionsEntry(folder, find.Name(), job.fromRoot.CStr())) continue;
    if (!job.exclusions.Empty()) {
      JoinPath(child, folder, find.Name());
      if (child.ok && IsExcludedItem(job, child.CStr(), find.Name(), find.IsFolder())) continue;
    }
    ++job.itemsTotal;
    if (find.IsPlainFolder()) {
      JoinPath(child, folder, find.Name());
      if (child.ok && !CountLevel(child.CStr(), job)) return false;
    } else if (find.IsLink()) {
      // Counted with what it resolves to: a file's size, 0 for a folder.
      JoinPath(child, folder, find.Name());
      if (child.ok) job.bytesTotal += QueryFileSize(child.CStr());
    } else {
      // The listing already holds the size; asking each file again would
      // cost an open per file for the same number.
      job.bytesTotal += find.Size();
    }
    if (StopRequested(job)) return false;
  } while (NextEntry(find));
  return true;
}

}  // namespace

bool EnumerateTree(const wchar_t* folder, BackupJob& job) {
  job.walkRootLength = wcslen(folder);
  return CountLevel(folder, job);
}
