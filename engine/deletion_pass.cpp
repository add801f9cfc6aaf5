#include "engine/deletion_pass.h"

#include <cwchar>
#include <memory>
#include <string>

#include "base/path.h"
#include "engine/find_handle.h"
#include "engine/force_delete.h"
#include "engine/item_queries.h"
#include "engine/versions.h"

namespace {

enum class Counterpart {
  kPresent,      // the source has an item of that name
  kMissing,      // definitely not: the source folder is there and says so
  kLink,         // a link of that name: nothing below it is judged
  kUnjudgeable,  // the source cannot answer for this name; the folder is there
  kGone,         // the source folder itself is gone or unreachable
};

// The deletion pass mirrors only a definite "not found" of a source that is
// itself still there: an unplugged disk, a dropped share or a refused access
// says "no" as well, and must not cost the whole backup.
Counterpart FindCounterpart(const wchar_t* otherItem, const wchar_t* otherFolder) {
  DWORD attributes = GetFileAttributesW(otherItem);
  if (attributes != INVALID_FILE_ATTRIBUTES)
    return IsLinkPath(otherItem, attributes) ? Counterpart::kLink : Counterpart::kPresent;
  DWORD error = GetLastError();
  if (!PathIsFolder(otherFolder)) return Counterpart::kGone;
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return Counterpart::kMissing;
  return Counterpart::kUnjudgeable;
}

struct Level {
  const wchar_t* from;
  const wchar_t* to;
  // The source lacks this whole folder: every item below goes, unasked.
  bool sourceLacksAll;
};

enum class QuickDeletion { kNotDone, kDeleted, kResolvesElsewhere };

// The common case of a plain file, through one handle that both answers
// where the file lies and deletes it: as many calls as a plain deletion plus
// the check. kNotDone when the handle cannot do it (a read-only file, say):
// the caller goes the long way.
QuickDeletion DeleteFileInPlace(const wchar_t* item, FolderFinalPath& folder) {
  HandleHolder file(CreateFileW(item, DELETE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file.Valid()) return QuickDeletion::kNotDone;
  if (!HandleResolvesInPlace(file.Get(), item, folder)) return QuickDeletion::kResolvesElsewhere;
  FILE_DISPOSITION_INFO disposition = {TRUE};
  if (!SetFileInformationByHandle(file.Get(), FileDispositionInfo, &disposition,
                                  sizeof(disposition)))
    return QuickDeletion::kNotDone;
  return QuickDeletion::kDeleted;
}

// With versions on, an item the source lacks is moved into the versions
// folder instead (a rename, which reaches no link's target); a folder comes
// after its contents and goes once they have. A preview only tells it.
bool RemoveKeepingVersion(BackupJob& job, PassReport& report, const wchar_t* item, bool folder) {
  if (!job.previewOnly && !job.versions->Keep(item, report)) return false;
  ++report.counts.deleted;
  TellPlanned(job, PlannedAction::kDelete, item, 0, folder);
  if (job.versions) {
    ++report.counts.versioned;
    TellPlanned(job, PlannedAction::kVersion, item, 0, folder);
  }
  return true;
}

// Counts a deletion that was tried: done, or failed with the system's reason
// (the last error of the attempt). Answers gone.
bool Counted(BackupJob& job, PassReport& report, const wchar_t* item, bool gone, bool folder) {
  if (gone) {
    ++report.counts.deleted;
    TellPlanned(job, PlannedAction::kDelete, item, 0, folder);
  } else
    RecordFailure(report, item, FailureStep::kDelete, GetLastError());
  return gone;
}

// Deletes a plain file or folder in place, into report: the file through
// the quick handle when it can, else (and a folder always) after the check,
// by the forced deletion. True when it is gone.
bool DeleteInPlace(BackupJob& job, PassReport& report, const wchar_t* item, FolderFinalPath& folder,
                   bool plainFolder) {
  QuickDeletion quick = plainFolder ? QuickDeletion::kNotDone : DeleteFileInPlace(item, folder);
  bool gone = quick == QuickDeletion::kDeleted;
  if (!gone) {
    if (quick == QuickDeletion::kResolvesElsewhere || !ResolvesInPlace(item, folder)) {
      RecordRefusal(report, item, Refusal::kResolvesElsewhere);
      return false;
    }
    // A folder was emptied item by item just before, unless it refused to
    // be listed: the forced deletion repairs access then, and still leaves
    // every file inside that resolves elsewhere.
    gone = ForceDelete(item, DeleteOption::DeleteRepairAccess | DeleteOption::DeleteOnlyInPlace |
                                 DeleteOption::DeleteNoShellNotice) != DeleteResult::Failed;
  }
  return Counted(job, report, item, gone, plainFolder);
}

// Deletes one item the source lacks, never through a link and never an item
// that resolves elsewhere. True when it is gone.
bool DeleteItem(BackupJob& job, const FindHandle& find, const wchar_t* item,
                FolderFinalPath& folder) {
  PassReport& report = job.report;
  if (find.IsLink() && find.ReparseTag() == 0) {
    // A host system's link (see IsHostLinkPath): removing it would reach
    // its target.
    RecordRefusal(report, item, Refusal::kResolvesElsewhere);
    return false;
  }
  if (job.previewOnly || job.versions)
    return RemoveKeepingVersion(job, report, item, find.IsPlainFolder());
  if (!find.IsLink()) return DeleteInPlace(job, report, item, folder, find.IsFolder());
  bool gone = (find.IsFolder() ? RemoveDirectoryW(item) : DeleteFileW(item)) != FALSE;
  return Counted(job, report, item, gone, false);
}

// A level's folder while its files are in the pool, with the final path the
// walker found: each file's check starts from it with a copy of its own, so
// that a file that asks again changes no other's.
struct FolderToPrune : FolderInFlight {
  FolderToPrune(const wchar_t* folder, const wchar_t* finalPath)
      : text(folder), known(finalPath != nullptr), answer(finalPath ? finalPath : L"") {}
  const std::wstring text;
  const bool known;
  const std::wstring answer;
};

// kept: set when the level holds an item that stays on purpose (an excluded
// one), which keeps the folder itself from being deleted.
bool PruneLevel(const Level& level, BackupJob& job, bool& kept) {
  PassReport& report = job.report;
  WideString pattern;
  JoinPath(pattern, level.from, L"*");
  FindHandle find;
  if (!pattern.ok) {
    RecordRefusal(report, level.from, Refusal::kPathTooLong);
    return false;
  }
  if (!FirstEntry(find, pattern.CStr())) {
    if (find.lastError == ERROR_NO_MORE_FILES || find.lastError == ERROR_FILE_NOT_FOUND)
      return true;
    // A folder that goes as a whole is left to its deletion, which repairs
    // access, and reports it if even that fails.
    // Unless the job excludes items: the forced deletion would take them
    // unseen.
    if (level.sourceLacksAll && find.lastError == ERROR_ACCESS_DENIED && job.exclusions.Empty())
      return true;
    if (!job.exclusions.Empty()) kept = true;
    RecordFailure(report, level.from, FailureStep::kListFolder, find.lastError);
    return false;
  }

  bool result = true;
  bool deletedHere = false;
  FolderFinalPath folderFinal(level.from);
  // Made with the level's first file for the pool, whose workers read it.
  std::shared_ptr<FolderToPrune> pooled;
  WideString fromItem;
  WideString toItem;
  do {
    if (StopRequested(job)) break;
    const wchar_t* name = find.Name();
    if (IsRootVersionsEntry(level.from, name, job.fromRoot.CStr())) continue;
    JoinPath(fromItem, level.from, name);
    JoinPath(toItem, level.to, name);
    // Protected: what the job leaves out of the backup is not the backup's
    // to mirror, whatever the source holds.
    if (fromItem.ok && IsExcludedItem(job, fromItem.CStr(), name, find.IsFolder())) {
      ++report.counts.skipped;
      kept = true;
      continue;
    }
    ++job.itemsDone;
    UpdateProgress(job);
    if (!fromItem.ok || !toItem.ok) {
      RecordRefusal(report, level.from, Refusal::kPathTooLong);
      result = false;
      continue;
    }
    // The source's existence test would take these as patterns, and a
    // deletion by such a name would delete whatever matches.
    if (wcspbrk(name, L"*?")) {
      RecordRefusal(report, fromItem.CStr(), Refusal::kNameNotJudged);
      continue;
    }
    Counterpart counterpart =
        level.sourceLacksAll ? Counterpart::kMissing : FindCounterpart(toItem.CStr(), level.to);
    if (counterpart == Counterpart::kGone) {
      RecordFailure(report, level.to, FailureStep::kListFolder, ERROR_PATH_NOT_FOUND,
                    Refusal::kPassStopped);
      result = false;
      break;
    }
    if (counterpart == Counterpart::kUnjudgeable) {
      RecordFailure(report, fromItem.CStr(), FailureStep::kDelete, GetLastError(),
                    Refusal::kNameNotJudged);
      continue;
    }
    if (find.IsPlainFolder() &&
        (counterpart == Counterpart::kPresent || counterpart == Counterpart::kMissing)) {
      // The folder's contents first, so that a folder the source lacks is
      // emptied before it goes itself. A source item of that name that is
      // not a folder (a file) has nothing to compare the contents with: all
      // stays, as it does below a source link.
      bool sourceFolder = counterpart == Counterpart::kMissing || PathIsFolder(toItem.CStr());
      if (sourceFolder) {
        Level inner{fromItem.CStr(), toItem.CStr(), counterpart == Counterpart::kMissing};
        bool innerKept = false;
        if (!PruneLevel(inner, job, innerKept)) result = false;
        if (StopRequested(job)) break;
        if (innerKept) {
          // The folder stays for what it protects.
          kept = true;
          continue;
        }
      }
    }
    if (counterpart != Counterpart::kMissing) continue;
    if (job.pool && !find.IsLink() && !find.IsFolder()) {
      if (!pooled) {
        pooled = std::make_shared<FolderToPrune>(level.from,
                                                 folderFinal.Ask() ? folderFinal.Path() : nullptr);
      }
      PooledFile file;
      file.folder = pooled;
      file.fromItem.Assign(fromItem.CStr());
      if (!file.fromItem.ok) {
        RecordRefusal(report, level.from, Refusal::kPathTooLong);
        result = false;
        continue;
      }
      job.pool->Submit(std::move(file));
      deletedHere = true;
    } else if (DeleteItem(job, find, fromItem.CStr(), folderFinal)) {
      deletedHere = true;
    }
  } while (NextEntry(find));
  // Its files are gone (or failed) before the caller may delete the folder.
  if (pooled) job.pool->WaitUntilDone();
  if (find.lastError != ERROR_NO_MORE_FILES && find.lastError != 0) {
    RecordFailure(report, level.from, FailureStep::kListFolder, find.lastError);
    result = false;
  }
  // One notice for the folder rather than one per deleted item.
  if (deletedHere && !job.previewOnly) NotifyFolderChanged(level.from);
  return result;
}

}  // namespace

bool PruneTree(const wchar_t* from, const wchar_t* to, BackupJob& job) {
  if (!PathIsFolder(to)) {
    RecordFailure(job.report, to, FailureStep::kListFolder, ERROR_PATH_NOT_FOUND,
                  Refusal::kPassStopped);
    return false;
  }
  job.walkRootLength = wcslen(from);
  bool kept = false;
  return PruneLevel(Level{from, to, false}, job, kept);
}

void DeletePooledFile(BackupJob& job, TransferSlot& slot, PooledFile& file) {
  const auto& pruned = static_cast<const FolderToPrune&>(*file.folder);
  if (job.versions) {
    RemoveKeepingVersion(job, slot.report, file.fromItem.CStr(), false);
    return;
  }
  FolderFinalPath folder(pruned.text.c_str(), pruned.known ? pruned.answer.c_str() : nullptr);
  DeleteInPlace(job, slot.report, file.fromItem.CStr(), folder, false);
}
