#include "engine/copy_pass.h"

#include "base/path.h"
#include "engine/file_transfer.h"
#include "engine/find_handle.h"
#include "engine/force_delete.h"
#include "engine/item_queries.h"
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

// The error the last call left, or a stand-in when it left none.
DWORD ErrorOr(DWORD fallback) {
  DWORD error = GetLastError();
  return error ? error : fallback;
}

bool OtherSideIsLink(const wchar_t* toItem) {
  return IsLinkPath(toItem, GetFileAttributesW(toItem));
}

// The other side's folder of this level, created when missing; it gets the
// walked folder's attributes but keeps its own times.
bool PrepareOtherFolder(const wchar_t* from, const wchar_t* to, PassReport& report) {
  DWORD existing = GetFileAttributesW(to);
  if (existing != INVALID_FILE_ATTRIBUTES) {
    if (existing & FILE_ATTRIBUTE_DIRECTORY) return true;
    RecordRefusal(report, to, Refusal::kFileInTheWay);
    return false;
  }
  if (!CreateDirectoryW(to, nullptr)) {
    RecordFailure(report, to, FailureStep::kWrite, GetLastError());
    return false;
  }
  DWORD attributes = GetFileAttributesW(from);
  if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(to, SettableAttributes(attributes));
  return true;
}

}  // namespace

DWORD WINAPI CopyThread(void* argument) {
  if (!argument) return 0;
  BackupJob& job = *static_cast<BackupJob*>(argument);
  bool deletionPass = (job.flags & BackupMode::Strict) != 0;
  if (!deletionPass && !EnsureTransferBuffer(job)) {
    RecordFailure(job.report, job.fromRoot.CStr(), FailureStep::kRead, ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  WideString from(job.fromRoot.CStr());
  WideString to(job.toRoot.CStr());
  AddLongPathPrefix(from);  // trees deeper than the classic limit
  AddLongPathPrefix(to);
  if (!from.ok || !to.ok) {
    RecordRefusal(job.report, job.fromRoot.CStr(), Refusal::kPathTooLong);
    return 0;
  }
  return WalkTree(from.CStr(), to.CStr(), job) ? 1 : 0;
}

bool WalkTree(const wchar_t* from, const wchar_t* to, BackupJob& job) {
  const bool deletionPass = (job.flags & BackupMode::Strict) != 0;
  const bool updateTest = (job.flags & (BackupMode::UpdateMethod | BackupMode::Sync)) != 0;
  PassReport& report = job.report;
  if (!deletionPass && !PrepareOtherFolder(from, to, report)) return false;

  WideString pattern;
  JoinPath(pattern, from, L"*");
  FindHandle find;
  if (!pattern.ok) {
    RecordRefusal(report, from, Refusal::kPathTooLong);
    return false;
  }
  // An empty folder is done; a folder that cannot be listed is not.
  if (!FirstEntry(find, pattern.CStr())) {
    if (find.lastError == ERROR_NO_MORE_FILES || find.lastError == ERROR_FILE_NOT_FOUND)
      return true;
    RecordFailure(report, from, FailureStep::kListFolder, find.lastError);
    return false;
  }

  bool result = true;
  bool deletedHere = false;
  WideString fromItem;
  WideString toItem;
  do {
    if (Cancelled(job)) break;
    JoinPath(fromItem, from, find.Name());
    JoinPath(toItem, to, find.Name());
    ++job.itemsDone;
    UpdateProgress(job);
    if (!fromItem.ok || !toItem.ok) {
      RecordRefusal(report, find.Name(), Refusal::kPathTooLong);
      result = false;
      continue;
    }

    if (find.IsPlainFolder()) {
      // A link of that name on the other side is never written through: the
      // copies, and the forced replacements among them, would land in a tree
      // the pair was never given. Like a file in the way, it stays and the
      // folder is skipped.
      if (!deletionPass && OtherSideIsLink(toItem.CStr())) {
        RecordRefusal(report, toItem.CStr(), Refusal::kLinkInTheWay);
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
        RecordRefusal(report, from, Refusal::kPassStopped);
        result = false;
        break;
      }
      if (counterpart == kCounterpartMissing) {
        if (ForceDelete(fromItem.CStr(),
                        DeleteOption::DeleteRepairAccess | DeleteOption::DeleteNoShellNotice) !=
            DeleteResult::Failed) {
          ++report.counts.deleted;
          deletedHere = true;
        } else {
          RecordFailure(report, fromItem.CStr(), FailureStep::kDelete, GetLastError());
        }
      }
      continue;
    }

    // The remains of a copy that was killed halfway are no one's data; taken
    // for user files they would travel back into the source in Restore and
    // Sync. The deletion pass above clears them from the destination.
    if (IsScratchFileName(find.Name())) continue;
    if (job.skipAttributes && (find.Attributes() & job.skipAttributes)) {
      ++report.counts.skipped;
      continue;
    }
    if (updateTest && DestinationUpToDate(job, find, toItem.CStr())) {
      ++report.counts.upToDate;
      job.bytesDone += find.Size();
      UpdateProgress(job);
      continue;
    }
    if (find.IsLink()) {
      // Recreated as a link; the name is never replaced when it exists.
      if (PathExists(toItem.CStr()))
        ++report.counts.upToDate;
      else if (CopyReparsePoint(fromItem.CStr(), toItem.CStr()))
        ++report.counts.copied;
      else
        RecordFailure(report, toItem.CStr(), FailureStep::kWrite, ErrorOr(ERROR_NOT_SUPPORTED));
      continue;
    }

    TransferOutcome outcome = TransferFile(job, fromItem.CStr(), to, toItem.CStr(), find.entry);
    if ((outcome == kTransferFailed || outcome == kTransferCancelled) &&
        (!PathIsFolder(to) || !PathIsFolder(from))) {
      RecordRefusal(report, PathIsFolder(from) ? to : from, Refusal::kReadSideMissing);
      result = false;  // a removed medium ends the level
      break;
    }
  } while (NextEntry(find));
  if (find.lastError != ERROR_NO_MORE_FILES && find.lastError != 0 && !Cancelled(job)) {
    RecordFailure(report, from, FailureStep::kListFolder, find.lastError);
    result = false;
  }
  // One notice for the folder rather than one per deleted item.
  if (deletedHere) NotifyFolderChanged(from);
  return result;
}
