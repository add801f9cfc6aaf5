#include "engine/copy_pass.h"

#include <cwchar>
#include <string>
#include <unordered_set>

#include "base/path.h"
#include "engine/copy_pool.h"
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

uint64_t EntrySize(const WIN32_FIND_DATAW& entry) {
  return (static_cast<uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
}

// As FindHandle::IsLink, for an entry that has left its search.
bool EntryIsLink(const WIN32_FIND_DATAW& entry) {
  const bool reparse = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  return IsLinkEntry(entry.dwFileAttributes, reparse ? entry.dwReserved0 : 0);
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
bool UpToDate(const BackupJob& job, const WIN32_FIND_DATAW& walked, const OtherItem& other) {
  const int64_t walkedTime = TimeValue(walked.ftLastWriteTime);
  if (job.flags & BackupMode::Sync) {
    int64_t newer = walkedTime - other.lastWrite;
    if (newer > kTimeTolerance) return false;
    if (newer < -kTimeTolerance) return true;  // the other pass copies it the other way
    return other.size == EntrySize(walked) || job.secondPass;
  }
  if (walkedTime > other.lastWrite) return false;
  return other.size == EntrySize(walked);
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

enum class FileEnd {
  kGoOn,
  kFolderGone,  // a folder of the pair is no longer there: the level ends
};

// Sync and Restore write into folders the user works in.
bool WritesLiveSide(const BackupJob& job) {
  return (job.flags & (BackupMode::Sync | BackupMode::Restore)) != 0;
}

// The walker's part of a file or file link: what the other side holds, and
// the update test. True when the file is to be copied; moveAsideFirst then
// says that a folder or link bears its name. Links are recreated here. With
// the judgement on the walker and only the copies in the pool, a no-change
// run stays on one thread, where one query per file is cheaper than handing
// the file to another. otherFolderNew: this pass created the other side's
// folder, so no item can be in the way; asking would cost a search of the
// whole folder per file where names are matched without case (under Wine).
bool NeedsCopy(BackupJob& job, const wchar_t* fromItem, const wchar_t* toItem,
               const WIN32_FIND_DATAW& entry, bool otherFolderNew, bool& moveAsideFirst,
               bool& replacing) {
  const bool updateTest = (job.flags & (BackupMode::UpdateMethod | BackupMode::Sync)) != 0;
  const bool liveSide = WritesLiveSide(job);
  OtherItem other = otherFolderNew ? OtherItem() : LookAtOtherItem(toItem);
  if (other.exists && (other.hostLink || (liveSide && (other.folder || other.link)))) {
    // A folder here may hold documents that were never backed up: the
    // file in its way is what kept them from being copied.
    RecordRefusal(job.report, toItem,
                  other.link ? Refusal::kLinkInTheWay : Refusal::kFolderInTheWay);
    return false;
  }
  if (updateTest && other.exists && UpToDate(job, entry, other)) {
    ++job.report.counts.upToDate;
    job.bytesDone += EntrySize(entry);
    UpdateProgress(job);
    return false;
  }
  if (job.previewOnly) {
    if (EntryIsLink(entry) && other.exists)
      ++job.report.counts.upToDate;  // a link never replaces what is there
    else
      PlanCopy(job, toItem, EntryIsLink(entry) ? 0 : EntrySize(entry), other.exists);
    return false;
  }
  if (EntryIsLink(entry)) {
    CopyLink(job, fromItem, toItem, other);
    return false;
  }
  moveAsideFirst = other.exists && (other.folder || other.link);
  replacing = other.exists;
  return true;
}

// The copy of one file, on the walker's thread or on a worker of the pool.
FileEnd CopyOneFile(BackupJob& job, TransferSlot& slot, const wchar_t* from, const wchar_t* to,
                    const wchar_t* fromItem, const wchar_t* toItem, const WIN32_FIND_DATAW& entry,
                    bool moveAsideFirst, bool replacing) {
  TransferOutcome outcome = TransferFile(job, slot, fromItem, to, toItem, entry, moveAsideFirst);
  if (outcome == kTransferCopied)
    TellPlanned(job, CopyAction(job, replacing), toItem, EntrySize(entry));
  // A removed medium ends the level.
  if ((outcome == kTransferFailed || outcome == kTransferCancelled) &&
      (!PathIsFolder(to) || !PathIsFolder(from)))
    return FileEnd::kFolderGone;
  return FileEnd::kGoOn;
}

void RecordFolderGone(PassReport& report, const wchar_t* from, const wchar_t* to) {
  RecordFailure(report, PathIsFolder(from) ? to : from, FailureStep::kListFolder,
                ERROR_PATH_NOT_FOUND, Refusal::kReadSideMissing);
}

// The pool's routine: the same as on the walker's thread; the first file
// that finds its folder gone reports it, for the whole folder.
void CopyPooledFile(BackupJob& job, TransferSlot& slot, PooledFile& file) {
  FolderInFlight& folder = *file.folder;
  if (CopyOneFile(job, slot, folder.from.CStr(), folder.to.CStr(), file.fromItem.CStr(),
                  file.toItem.CStr(), file.entry, file.moveAsideFirst,
                  file.replacing) == FileEnd::kFolderGone &&
      !folder.stopped.exchange(true))
    RecordFolderGone(slot.report, folder.from.CStr(), folder.to.CStr());
}

bool CopyTree(const wchar_t* from, const wchar_t* to, BackupJob& job) {
  PassReport& report = job.report;
  bool created = false;
  if (!PrepareOtherFolder(from, to, report, created, job.previewOnly)) return false;
  // What an interrupted run left in the side written; the side walked
  // (which an interrupted Restore or Sync wrote) shows its own in the listing.
  if (!created && !job.previewOnly) ClearLeftovers(to, report);
  // Only where nothing but this pass writes: in a live folder the user may
  // have put something of that name there meanwhile.
  const bool otherFolderNew = created && !WritesLiveSide(job);
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
  // Made when the first file of this folder is handed to the pool.
  std::shared_ptr<FolderInFlight> inFlight;
  WideString fromItem;
  WideString toItem;
  do {
    if (StopRequested(job)) break;
    if (inFlight && inFlight->stopped.load()) {
      result = false;  // a file in flight found a folder of the pair gone
      break;
    }
    const wchar_t* name = find.Name();
    if (IsRootVersionsEntry(from, name, job.fromRoot.CStr())) continue;
    JoinPath(fromItem, from, name);
    JoinPath(toItem, to, name);
    if (fromItem.ok && IsExcludedItem(job, fromItem.CStr(), name, find.IsFolder())) {
      ++report.counts.skipped;
      continue;
    }
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
    bool moveAsideFirst = false;
    bool replacing = false;
    if (!NeedsCopy(job, fromItem.CStr(), toItem.CStr(), find.entry, otherFolderNew, moveAsideFirst,
                   replacing))
      continue;
    // A file of one chunk goes to the pool; a larger one stays here and is
    // copied chunk by chunk.
    if (job.pool && find.Size() <= kTransferBufferSize) {
      if (!inFlight) {
        inFlight = std::make_shared<FolderInFlight>();
        inFlight->from.Assign(from);
        inFlight->to.Assign(to);
      }
      PooledFile file;
      file.folder = inFlight;
      file.fromItem = std::move(fromItem);
      file.toItem = std::move(toItem);
      file.entry = find.entry;
      file.moveAsideFirst = moveAsideFirst;
      file.replacing = replacing;
      job.pool->Submit(std::move(file));
      continue;
    }
    TransferSlot own = JobSlot(job);
    if (CopyOneFile(job, own, from, to, fromItem.CStr(), toItem.CStr(), find.entry, moveAsideFirst,
                    replacing) == FileEnd::kFolderGone) {
      RecordFolderGone(report, from, to);
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
  job.pool = nullptr;  // a pass ended by force may have left its own
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
  // Every file handed out is done before the pass ends: the deletion pass
  // and the report come only after the last copy. The deletion pass hands
  // out its plain files to delete in the same way.
  // The item hook (a preview, or a run that lists what it does) keeps the
  // walker's thread and the walk's order: its lines are told one at a time.
  const bool oneAtATime = job.previewOnly || job.itemPlanned;
  CopyPool pool(job, oneAtATime ? 1 : FilesInFlight(job),
                deletionPass ? DeletePooledFile : CopyPooledFile);
  job.pool = pool.Active() ? &pool : nullptr;
  bool walked = WalkTree(from.CStr(), to.CStr(), job);
  job.pool = nullptr;
  pool.Finish();
  return walked && !pool.SomeFolderStopped() ? 1 : 0;
}

bool WalkTree(const wchar_t* from, const wchar_t* to, BackupJob& job) {
  if (job.flags & BackupMode::Strict) return PruneTree(from, to, job);
  job.walkRootLength = wcslen(from);
  return CopyTree(from, to, job);
}
