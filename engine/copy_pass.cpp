#include "engine/copy_pass.h"

#include "base/path.h"
#include "engine/directory_creation.h"
#include "engine/file_transfer.h"
#include "engine/find_handle.h"
#include "engine/force_delete.h"
#include "engine/reparse_point.h"

namespace {

enum Counterpart { kCounterpartPresent, kCounterpartMissing, kCounterpartUnknown };

int64_t TimeValue(const FILETIME& time) {
  return static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) |
                              time.dwLowDateTime);
}

bool Cancelled(BackupJob& job) { return StopRequested(job); }

// The deletion pass mirrors only a definite "not found" of a source that is
// itself still there: an unplugged disk, a dropped share or a refused access
// says "no" as well, and must not cost the whole backup.
Counterpart FindCounterpart(const wchar_t* otherItem, const wchar_t* otherFolder) {
  if (GetFileAttributesW(otherItem) != INVALID_FILE_ATTRIBUTES) return kCounterpartPresent;
  DWORD error = GetLastError();
  if ((error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) && PathIsFolder(otherFolder))
    return kCounterpartMissing;
  return kCounterpartUnknown;
}

// Up to date: the destination is at least as new and of the same size. One
// attribute query serves as the existence test too; contents are never read.
bool DestinationUpToDate(BackupJob& job, const FindHandle& source, const wchar_t* toItem) {
  WIN32_FILE_ATTRIBUTE_DATA destination;
  if (!GetFileAttributesExW(toItem, GetFileExInfoStandard, &destination)) return false;
  job.compareTime = TimeValue(source.entry.ftLastWriteTime);
  job.compareValue = TimeValue(destination.ftLastWriteTime);
  if (job.compareTime > job.compareValue) return false;
  job.compareValue = static_cast<int64_t>((static_cast<uint64_t>(destination.nFileSizeHigh) << 32) |
                                          destination.nFileSizeLow);
  return static_cast<uint64_t>(job.compareValue) == source.Size();
}

bool OtherSideIsLink(const wchar_t* toItem) {
  return IsLinkPath(toItem, GetFileAttributesW(toItem));
}

// The other side's folder of this level, created when missing; it gets the
// walked folder's attributes but keeps its own times.
bool PrepareOtherFolder(const wchar_t* from, const wchar_t* to) {
  if (PathExists(to)) return true;
  if (!CreateDirectoryW(to, nullptr)) return false;
  DWORD attributes = GetFileAttributesW(from);
  if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(to, SettableAttributes(attributes));
  return true;
}

}  // namespace

DWORD WINAPI CopyThread(void* argument) {
  if (!argument) return 0;
  BackupJob& job = *static_cast<BackupJob*>(argument);
  bool deletionPass = (job.flags & BackupMode::Strict) != 0;
  if (!deletionPass && !EnsureTransferBuffer(job)) return 0;
  WideString from(job.fromRoot.CStr());
  WideString to(job.toRoot.CStr());
  AddLongPathPrefix(from);  // trees deeper than the classic limit
  AddLongPathPrefix(to);
  if (!from.ok || !to.ok) return 0;
  return WalkTree(from.CStr(), to.CStr(), job) ? 1 : 0;
}

bool WalkTree(const wchar_t* from, const wchar_t* to, BackupJob& job) {
  const bool deletionPass = (job.flags & BackupMode::Strict) != 0;
  const bool updateTest = (job.flags & (BackupMode::UpdateMethod | BackupMode::Sync)) != 0;
  if (!deletionPass && !PrepareOtherFolder(from, to)) return false;

  WideString pattern;
  pattern.AssignConcat(from, L"\\*");
  FindHandle find;
  // An empty folder is done; a folder that cannot be listed is not.
  if (!pattern.ok) return false;
  if (!FirstEntry(find, pattern.CStr())) return find.lastError == ERROR_NO_MORE_FILES;

  bool result = true;
  bool deletedHere = false;
  WideString fromItem;
  WideString toItem;
  do {
    if (Cancelled(job)) break;
    fromItem.AssignConcat(from, L"\\", find.Name());
    toItem.AssignConcat(to, L"\\", find.Name());
    if (!fromItem.ok || !toItem.ok) {
      result = false;
      continue;
    }
    ++job.itemsDone;
    UpdateProgress(job);

    if (find.IsPlainFolder()) {
      // A link of that name on the other side is never written through: the
      // copies, and the forced replacements among them, would land in a tree
      // the pair was never given. Like a file in the way, it stays and the
      // folder is skipped.
      if (!deletionPass && OtherSideIsLink(toItem.CStr())) {
        result = false;
        continue;
      }
      // The folder's contents first, in the deletion pass too, so that a
      // folder the other side lacks is emptied before it goes itself.
      if (!WalkTree(fromItem.CStr(), toItem.CStr(), job)) result = false;
      if (!deletionPass || Cancelled(job)) continue;
    }

    if (deletionPass) {
      Counterpart counterpart = FindCounterpart(toItem.CStr(), to);
      if (counterpart == kCounterpartUnknown) {
        result = false;
        break;
      }
      if (counterpart == kCounterpartMissing &&
          ForceDelete(fromItem.CStr(),
                      DeleteOption::DeleteRepairAccess | DeleteOption::DeleteNoShellNotice) !=
              DeleteResult::Failed)
        deletedHere = true;
      continue;
    }

    // The remains of a copy that was killed halfway are no one's data; taken
    // for user files they would travel back into the source in Restore and
    // Sync. The deletion pass above clears them from the destination.
    if (IsScratchFileName(find.Name())) continue;
    if (job.skipAttributes && (find.Attributes() & job.skipAttributes)) continue;
    if (updateTest && DestinationUpToDate(job, find, toItem.CStr())) {
      job.bytesDone += find.Size();
      UpdateProgress(job);
      continue;
    }
    if (find.IsLink()) {
      // Recreated as a link; the name is never replaced when it exists.
      CopyReparsePoint(fromItem.CStr(), toItem.CStr());
      continue;
    }

    TransferOutcome outcome = TransferFile(job, fromItem.CStr(), to, toItem.CStr(), find.entry);
    if ((outcome == kTransferFailed || outcome == kTransferCancelled) &&
        (!PathIsFolder(to) || !PathIsFolder(from))) {
      result = false;  // a removed medium ends the level
      break;
    }
  } while (NextEntry(find));
  // One notice for the folder rather than one per deleted item.
  if (deletedHere) NotifyFolderChanged(from);
  return result;
}
