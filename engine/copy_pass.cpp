#include "engine/copy_pass.h"

#include <cwchar>
#include <string>
#include <unordered_set>

#include "base/path.h"
#include "engine/deletion_pass.h"
#include "engine/file_transfer.h"
#include "engine/find_handle.h"
#include "engine/item_queries.h"
#include "engine/reparse_point.h"
#include "engine/scratch_names.h"
#include "engine/versions.h"

namespace {

// File systems that keep times in two-second steps (FAT) make a copy look up
// to two seconds older or newer than its original.
constexpr int64_t kTimeTolerance = 2 * 10000000LL;

int64_t TimeValue(const FILETIME& time) {
  return static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) |
                              time.dwLowDateTime);
}

// What the other side holds under a walked name; one attribute query.
struct OtherItem {
  bool exists = false;
  bool folder = false;
  bool link = false;
  bool hostLink = false;  // never renamed, replaced or deleted
  int64_t lastWrite = 0;
  uint64_t size = 0;
};

OtherItem LookAtOtherItem(const wchar_t* toItem) {
  OtherItem other;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(toItem, GetFileExInfoStandard, &data)) return other;
  other.exists = true;
  other.folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  other.link = IsLinkPath(toItem, data.dwFileAttributes);
  other.hostLink = other.link && IsHostLinkPath(toItem, data.dwFileAttributes);
  other.lastWrite = TimeValue(data.ftLastWriteTime);
  other.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return other;
}

// The update test; contents are never read. Common, Strict and Restore: up
// to date when the other side is at least as new and of the same size.
// Sync: the newer side wins, by more than the tolerance; within it a size
// difference goes to the source (the first pass copies, the copy back does
// not), so an older source never overwrites a newer edit.
bool UpToDate(BackupJob& job, const FindHandle& walked, const OtherItem& other) {
  job.compareTime = TimeValue(walked.entry.ftLastWriteTime);
  job.compareValue = other.lastWrite;
  if (job.flags & BackupMode::Sync) {
    int64_t newer = job.compareTime - job.compareValue;
    if (newer > kTimeTolerance) return false;
    if (newer < -kTimeTolerance) return true;  // the other pass copies it the other way
    job.compareValue = static_cast<int64_t>(other.size);
    return other.size == walked.Size() || job.secondPass;
  }
  if (job.compareTime > job.compareValue) return false;
  job.compareValue = static_cast<int64_t>(other.size);
  return other.size == walked.Size();
}

// The other side's folder of this level, created when missing; it gets the
// walked folder's attributes but keeps its own times.
// A preview creates nothing and goes on as if it had.
bool PrepareOtherFolder(const wchar_t* from, const wchar_t* to, PassReport& report, bool& created,
                        bool preview) {
  created = false;
  DWORD existing = GetFileAttributesW(to);
  if (existing != INVALID_FILE_ATTRIBUTES) {
    if (existing & FILE_ATTRIBUTE_DIRECTORY) return true;
    RecordRefusal(report, to, Refusal::kFileInTheWay);
    return false;
  }
  if (preview) {
    created = true;
    return true;
  }
  if (!CreateDirectoryW(to, nullptr)) {
    RecordFailure(report, to, FailureStep::kWrite, GetLastError());
    return false;
  }
  created = true;
  DWORD attributes = GetFileAttributesW(from);
  if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(to, SettableAttributes(attributes));
  return true;
}

// Names of one folder that differ only in case ("Notes.txt", "notes.txt"
// on a case-sensitive folder) land on one item of a side that cannot keep
// them apart; the first one handled keeps it.
class CaseTwins {
 public:
  bool FirstOfItsCase(const wchar_t* name) {
    int length = static_cast<int>(wcslen(name));
    std::wstring key(static_cast<size_t>(length), L'\0');
    if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, name, length, key.data(), length,
                      nullptr, nullptr, 0) != length)
      key.assign(name);
    return seen_.insert(std::move(key)).second;
  }

 private:
  std::unordered_set<std::wstring> seen_;
};

PlannedAction CopyAction(const BackupJob& job, bool replacing) {
  if (job.secondPass) return PlannedAction::kCopyBack;  // only Sync's copy back copies then
  return replacing ? PlannedAction::kUpdate : PlannedAction::kCopy;
}

// Recreates a link as a link; a name that exists on the other side is never
// replaced by one.
void CopyLink(BackupJob& job, const wchar_t* fromItem, const wchar_t* toItem,
              const OtherItem& other) {
  if (other.exists) {
    ++job.report.counts.upToDate;
    return;
  }
  LinkFailure failure;
  if (CopyReparsePoint(fromItem, toItem, &failure)) {
    ++job.report.counts.copied;
    TellPlanned(job, CopyAction(job, false), toItem, 0);
  } else {
    // Named by the link that was to be copied: it is what the user can look at.
    RecordFailure(job.report, fromItem, failure.step, failure.error, failure.reason);
  }
}

// The preview's copy: told and counted as the run would, nothing written.
void PlanCopy(BackupJob& job, const wchar_t* toItem, uint64_t bytes, bool replacing) {
  if (replacing && job.versions) {
    ++job.report.counts.versioned;
    TellPlanned(job, PlannedAction::kVersion, toItem);
  }
  TellPlanned(job, CopyAction(job, replacing), toItem, bytes);
  ++job.report.counts.copied;
  job.report.counts.bytesCopied += bytes;
  job.bytesDone += bytes;
  UpdateProgress(job);
}

bool CopyTree(const wchar_t* from, const wchar_t* to, BackupJob& job) {
  const bool updateTest = (job.flags & (BackupMode::UpdateMethod | BackupMode::Sync)) != 0;
  // Sync and Restore write into folders the user works in.
  const bool liveSide = (job.flags & (BackupMode::Sync | BackupMode::Restore)) != 0;
  PassReport& report = job.report;
  bool created = false;
  if (!PrepareOtherFolder(from, to, report, created, job.previewOnly)) return false;
  // What an interrupted run left in the side written; the side walked
  // (which an interrupted Restore or Sync wrote) shows its own in the listing.
  if (!created && !job.previewOnly) ClearLeftovers(to, report);
  bool walkedLeftovers = false;

  WideString pattern;
  JoinPath(pattern, from, L"*");
  FindHandle find;
  if (!pattern.ok) {
    RecordRefusal(report, from, Refusal::kPathTooLong);
    return false;
  }
  // An empty folder is done (a drive's root has not even "."); a folder that
  // cannot be listed is not.
  if (!FirstEntry(find, pattern.CStr())) {
    if (find.lastError == ERROR_NO_MORE_FILES || find.lastError == ERROR_FILE_NOT_FOUND)
      return true;
    RecordFailure(report, from, FailureStep::kListFolder, find.lastError);
    return false;
  }

  bool result = true;
  CaseTwins twins;
  WideString fromItem;
  WideString toItem;
  do {
    if (StopRequested(job)) break;
    const wchar_t* name = find.Name();
    if (IsRootVersionsEntry(from, name, job.fromRoot.CStr())) continue;
    JoinPath(fromItem, from, name);
    JoinPath(toItem, to, name);
    ++job.itemsDone;
    UpdateProgress(job);
    if (!fromItem.ok || !toItem.ok) {
      RecordRefusal(report, from, Refusal::kPathTooLong);
      result = false;
      continue;
    }
    // Cleared after the listing, or belonging to a run still going on:
    // never user data.
    if (IsScratchFileName(name)) {
      walkedLeftovers = true;
      continue;
    }
    // The other side cannot hold such a name, nor tell whether it has it.
    if (wcspbrk(name, L"*?")) {
      RecordRefusal(report, fromItem.CStr(), Refusal::kNameNotJudged);
      continue;
    }
    if (!twins.FirstOfItsCase(name)) {
      RecordRefusal(report, fromItem.CStr(), Refusal::kCaseTwin);
      continue;
    }

    if (find.IsPlainFolder()) {
      // A link of that name on the other side is never written through: the
      // copies, and the forced replacements among them, would land in a tree
      // the pair was never given. Like a file in the way, it stays and the
      // folder is skipped.
      if (IsLinkPath(toItem.CStr(), GetFileAttributesW(toItem.CStr()))) {
        RecordRefusal(report, toItem.CStr(), Refusal::kLinkInTheWay);
        result = false;
      } else if (!CopyTree(fromItem.CStr(), toItem.CStr(), job)) {
        result = false;
      }
      continue;
    }

    if (job.skipAttributes && (find.Attributes() & job.skipAttributes)) {
      ++report.counts.skipped;
      continue;
    }
    OtherItem other = LookAtOtherItem(toItem.CStr());
    if (other.exists && (other.hostLink || (liveSide && (other.folder || other.link)))) {
      // A folder here may hold documents that were never backed up: the
      // file in its way is what kept them from being copied.
      RecordRefusal(report, toItem.CStr(),
                    other.link ? Refusal::kLinkInTheWay : Refusal::kFolderInTheWay);
      continue;
    }
    if (updateTest && other.exists && UpToDate(job, find, other)) {
      ++report.counts.upToDate;
      job.bytesDone += find.Size();
      UpdateProgress(job);
      continue;
    }
    if (job.previewOnly) {
      if (find.IsLink() && other.exists)
        ++report.counts.upToDate;  // a link never replaces what is there
      else
        PlanCopy(job, toItem.CStr(), find.IsLink() ? 0 : find.Size(), other.exists);
      continue;
    }
    if (find.IsLink()) {
      CopyLink(job, fromItem.CStr(), toItem.CStr(), other);
      continue;
    }

    TransferOutcome outcome = TransferFile(job, fromItem.CStr(), to, toItem.CStr(), find.entry,
                                           other.exists && (other.folder || other.link));
    if (outcome == kTransferCopied)
      TellPlanned(job, CopyAction(job, other.exists), toItem.CStr(), find.Size());
    if ((outcome == kTransferFailed || outcome == kTransferCancelled) &&
        (!PathIsFolder(to) || !PathIsFolder(from))) {
      // A removed medium ends the level.
      RecordFailure(report, PathIsFolder(from) ? to : from, FailureStep::kListFolder,
                    ERROR_PATH_NOT_FOUND, Refusal::kReadSideMissing);
      result = false;
      break;
    }
  } while (NextEntry(find));
  if (find.lastError != ERROR_NO_MORE_FILES && find.lastError != 0) {
    RecordFailure(report, from, FailureStep::kListFolder, find.lastError);
    result = false;
  }
  if (walkedLeftovers && !job.previewOnly) ClearLeftovers(from, report);
  return result;
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
  if (job.flags & BackupMode::Strict) return PruneTree(from, to, job);
  return CopyTree(from, to, job);
}
