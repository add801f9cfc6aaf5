#include "engine/force_delete.h"

#include <shlobj.h>
#include <windows.h>

#include <cwchar>

#include "base/path.h"
#include "engine/find_handle.h"
#include "engine/item_queries.h"
#include "engine/pending_messages.h"

namespace {

constexpr DWORD kUnreadable = INVALID_FILE_ATTRIBUTES;
constexpr uint32_t kSingleProtected = kAccessProtected;
constexpr uint32_t kTreeProtected = kAccessTree | kAccessProtected;
constexpr BYTE kFolderInheritance = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

using RemoveFn = BOOL(WINAPI*)(LPCWSTR);

// Repairing access is for refusals only: a sharing violation or a missing
// medium must not leave an item owned by the administrators and open to
// everyone.
bool RepairAccess(DWORD error, const wchar_t* path, uint32_t options, uint32_t mode,
                  AccessList& list) {
  if (!(options & DeleteOption::DeleteRepairAccess) || error != ERROR_ACCESS_DENIED) return false;
  if (!AddRepairEntries(list)) return false;
  return ApplyAccessList(list, path, mode, list.Owner());
}

DeleteResult RemoveStubbornItem(const wchar_t* path, uint32_t options, AccessList& list,
                                RemoveFn remove, uint32_t repairMode) {
  if (remove(path)) return DeleteResult::Deleted;
  DWORD error = GetLastError();
  if (error == ERROR_FILE_NOT_FOUND) return DeleteResult::Deleted;

  DWORD attributes = GetFileAttributesW(path);
  constexpr DWORD kBlocking = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM;
  bool attributesCleared = false;
  if (attributes != kUnreadable && (attributes & kBlocking)) {
    attributesCleared = SetFileAttributesW(path, attributes & ~kBlocking) != FALSE;
    if (remove(path)) return DeleteResult::Deleted;
    error = GetLastError();
  }
  if (RepairAccess(error, path, options, repairMode, list) && remove(path))
    return DeleteResult::Deleted;
  if ((options & DeleteOption::DeleteRetry) &&
      MoveFileExW(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
    return DeleteResult::Scheduled;
  // The item stays as it was found, and the caller learns why.
  if (attributesCleared) SetFileAttributesW(path, attributes);
  SetLastError(error);
  return DeleteResult::Failed;
}

BOOL WINAPI RemoveFolderCall(LPCWSTR path) { return RemoveDirectoryW(path); }
BOOL WINAPI DeleteFileCall(LPCWSTR path) { return DeleteFileW(path); }

void NotifyShell(LONG event, const wchar_t* path) {
  WideString shown(path);
  // The shell knows items by their ordinary names.
  if (shown.Find(kLongPathPrefix, true, 1, 1, 4) == 1) shown.DropLeft(4);
  SHChangeNotify(event, SHCNF_PATHW, shown.CStr(), nullptr);
}

}  // namespace

DeleteResult CombineDeleteResults(DeleteResult a, DeleteResult b) {
  if (a == DeleteResult::Failed || b == DeleteResult::Failed) return DeleteResult::Failed;
  if (a == DeleteResult::Scheduled || b == DeleteResult::Scheduled) return DeleteResult::Scheduled;
  return DeleteResult::Deleted;
}

void NotifyFolderChanged(const wchar_t* folder) { NotifyShell(SHCNE_UPDATEDIR, folder); }

DeleteResult ForceDeleteFile(const wchar_t* path, uint32_t options, AccessList& list) {
  return RemoveStubbornItem(path, options, list, DeleteFileCall, kSingleProtected);
}

DeleteResult ForceRemoveFolder(const wchar_t* path, uint32_t options, AccessList& list) {
  return RemoveStubbornItem(path, options, list, RemoveFolderCall, kTreeProtected);
}

DeleteResult ForceDeleteTree(const wchar_t* folder, const wchar_t* pattern, uint32_t options,
                             AccessList& list) {
  bool keepTop = (options & DeleteOption::DeleteKeepTop) != 0;
  options &= ~static_cast<uint32_t>(DeleteOption::DeleteKeepTop);

  WideString search;
  JoinPath(search, folder, pattern);
  FindHandle find;
  bool found = search.ok && FirstEntry(find, search.CStr());
  if (!found && RepairAccess(find.lastError, folder, options, kTreeProtected, list))
    found = FirstEntry(find, search.CStr());

  DeleteResult result = DeleteResult::Deleted;
  WideString child;
  FolderFinalPath folderFinal(folder);
  if (found) {
    do {
      JoinPath(child, folder, find.Name());
      if (!child.ok) {
        result = DeleteResult::Failed;
        continue;
      }
      DeleteResult step;
      if (!find.IsFolder() && (options & DeleteOption::DeleteOnlyInPlace) && !find.IsLink() &&
          !ResolvesInPlace(child.CStr(), folderFinal))
        step = DeleteResult::Failed;
      else if (!find.IsFolder())
        step = ForceDeleteFile(child.CStr(), options, list);
      else if (find.IsLink())
        step = ForceRemoveFolder(child.CStr(), options, list);
      else
        step = ForceDeleteTree(child.CStr(), pattern, options, list);
      result = CombineDeleteResults(result, step);
      ProcessPendingMessages();
    } while (NextEntry(find));
  }
  if (!keepTop) result = CombineDeleteResults(result, ForceRemoveFolder(folder, options, list));
  return result;
}

DeleteResult ForceDelete(const wchar_t* path, uint32_t options) {
  WideString target(path);
  if (!target.ok) return DeleteResult::Failed;
  TrimTrailingBackslashes(target);
  int32_t separator = target.Find(L"\\", true, -1);
  if (separator == 0) return DeleteResult::Deleted;
  const wchar_t* name = target.CStr() + separator;
  bool wildcard = wcspbrk(name, L"*?") != nullptr;

  WideString folder;
  WideString pattern;
  bool isFolder = false;
  bool isLink = false;
  if (wildcard) {
    folder.Substring(target.CStr(), 1, separator - 1);
    AddLongPathPrefix(folder);
    pattern.Assign(name);
  } else {
    folder.Assign(target.CStr());
    AddLongPathPrefix(folder);
    // An unreadable path counts as a folder link: removing a folder never
    // descends, and a missing item then counts as deleted.
    DWORD attributes = GetFileAttributesW(folder.CStr());
    isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    isLink = attributes == kUnreadable || IsLinkPath(folder.CStr(), attributes);
    if (isFolder && !isLink) pattern.Assign(L"*");
  }
  if (!folder.ok) return DeleteResult::Failed;

  bool tellShell = !(options & DeleteOption::DeleteNoShellNotice);
  options &= ~static_cast<uint32_t>(DeleteOption::DeleteNoShellNotice);
  AccessList list;
  list.repairInheritance = (isFolder || wildcard) ? kFolderInheritance : 0;
  DeleteResult result;
  if (isFolder && isLink)
    result = ForceRemoveFolder(folder.CStr(), options, list);
  else if (wildcard || isFolder)
    result = ForceDeleteTree(folder.CStr(), pattern.CStr(),
                             wildcard ? options | DeleteOption::DeleteKeepTop : options, list);
  else
    result = ForceDeleteFile(folder.CStr(), options, list);

  if (result == DeleteResult::Deleted && !wildcard && tellShell)
    NotifyShell(isFolder ? SHCNE_RMDIR : SHCNE_DELETE, target.CStr());
  return result;
}
