#include "engine/file_transfer.h"

#include <cwchar>

#include "base/path.h"
#include "engine/find_handle.h"
#include "engine/force_delete.h"
#include "engine/item_queries.h"
#include "engine/scratch_names.h"
#include "engine/versions.h"

namespace {

constexpr int kScratchAttempts = 32;
constexpr DWORD kReplaceFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;

bool NameTaken(DWORD error) { return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS; }

// Created new, never truncated: whatever already bears a candidate name (a
// file of the source that happens to look like one, or the remains of a run
// that was killed) is passed over.
bool OpenScratchFile(TransferSlot& slot, const wchar_t* toFolder, WideString& scratch) {
  for (int attempt = 0; attempt < kScratchAttempts; ++attempt) {
    if (!MakePartialName(toFolder, scratch)) return false;
    if (OpenFile(slot.destination, scratch.CStr(),
                 kFileTruncate | kFileExclusive | kFileRaw | kFileCreateNew | kFileShareDelete,
                 FILE_FLAG_WRITE_THROUGH | FILE_FLAG_BACKUP_SEMANTICS))
      return true;
    if (!NameTaken(GetLastError())) return false;
  }
  return false;
}

// Sets the new, empty file's end at zero. On Windows that changes nothing.
// Linux file systems that allocate late (ext4 and others, reached through
// Wine) take a file cut to zero for one being rewritten and start writing it
// out as soon as it is closed; a large copy then goes to the disk while the
// next file is copied, instead of piling up for the system to write later.
// Only a hint: its failure changes nothing. Before the reservation, which a
// new end of file would give back.
void AskForEarlyWriteOut(FileObject& file) {
  FILE_END_OF_FILE_INFO end = {};
  SetFileInformationByHandle(file.handle, FileEndOfFileInfo, &end, sizeof(end));
}

// Reserves the file's whole length before the first byte is written: a
// destination without room says so at once (not after gigabytes), and the
// file system can lay the file out in one piece. Only a lack of room fails
// the copy; a file system that cannot reserve simply writes as it goes.
bool ReserveLength(FileObject& file, uint64_t size, DWORD& error) {
  if (size == 0) return true;
  FILE_ALLOCATION_INFO allocation = {};
  allocation.AllocationSize.QuadPart = static_cast<LONGLONG>(size);
  if (SetFileInformationByHandle(file.handle, FileAllocationInfo, &allocation, sizeof(allocation)))
    return true;
  error = GetLastError();
  return error != ERROR_DISK_FULL && error != ERROR_HANDLE_DISK_FULL;
}

// Renames an item to a scratch name that carries its original name, so that
// a run interrupted before the item's fate is settled gives it back next
// time. The move never replaces.
bool MoveAside(const wchar_t* folder, const wchar_t* item, WideString& aside) {
  WideString name(item);
  FileNamePart(name);
  for (int attempt = 0; attempt < kScratchAttempts; ++attempt) {
    if (!MakeAsideName(folder, name.CStr(), aside)) {
      SetLastError(ERROR_FILENAME_EXCED_RANGE);
      return false;
    }
    if (MoveFileExW(item, aside.CStr(), MOVEFILE_WRITE_THROUGH)) return true;
    if (!NameTaken(GetLastError())) return false;
  }
  return false;
}

// Where a copy went wrong, for the report.
struct TransferError {
  FailureStep step = FailureStep::kRead;
  DWORD code = 0;
  const wchar_t* path = nullptr;
};

TransferOutcome CopyContents(BackupJob& job, TransferSlot& slot, TransferError& error,
                             uint64_t& copied) {
  for (;;) {
    DWORD got = 0;
    // A failed read is a failed copy: a truncated file must never look complete.
    if (!ReadFromFile(slot.source, slot.buffer, kTransferBufferSize, &got)) {
      error.step = FailureStep::kRead;
      error.code = GetLastError();
      return kTransferFailed;
    }
    if (got == 0) return kTransferCopied;
    DWORD written = 0;
    if (!WriteToFile(slot.destination, slot.buffer, got, &written)) {
      error.step = FailureStep::kWrite;
      error.code = GetLastError();
      return kTransferFailed;
    }
    if (written != got) {
      // A short write without an error is the platform's way of saying full.
      error.step = FailureStep::kWrite;
      error.code = ERROR_HANDLE_DISK_FULL;
      return kTransferFailed;
    }
    copied += got;
    if (StopRequested(job)) return kTransferCancelled;
    job.bytesDone += got;
    UpdateProgress(job);
  }
}

// Removes the old item once the new copy bears its name. A link goes as the
// link itself; an item that looks plain but resolves elsewhere is left (and
// reported), since deleting it could delete what it points to.
void DropOldItem(TransferSlot& slot, const wchar_t* toFolder, const wchar_t* aside) {
  FolderFinalPath folder(toFolder);
  DWORD attributes = GetFileAttributesW(aside);
  bool removed;
  if (IsLinkPath(aside, attributes)) {
    removed = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(aside) != FALSE
                                                      : DeleteFileW(aside) != FALSE;
  } else if (!ResolvesInPlace(aside, folder)) {
    RecordRefusal(slot.report, aside, Refusal::kResolvesElsewhere);
    return;
  } else {
    removed =
        ForceDelete(aside, DeleteOption::DeleteRepairAccess | DeleteOption::DeleteOnlyInPlace |
                               DeleteOption::DeleteNoShellNotice) != DeleteResult::Failed;
  }
  // The new copy is in place; the old one keeps a name that carries its own,
  // and the next run reports it.
  if (!removed) RecordFailure(slot.report, aside, FailureStep::kDelete, GetLastError());
}

// With versions on, the old item (a file, a folder, a link as the link) is
// first moved into the versions folder; if it cannot be, the new copy is
// dropped and the old item stays as it was.
bool ReplaceKeepingVersion(BackupJob& job, TransferSlot& slot, const wchar_t* scratch,
                           const wchar_t* toItem) {
  bool kept = false;
  WideString keptAt;
  if (GetFileAttributesW(toItem) != INVALID_FILE_ATTRIBUTES) {
    if (!job.versions->Keep(toItem, slot.report, &keptAt)) return false;
    kept = true;
  }
  if (MoveFileExW(scratch, toItem, kReplaceFlags)) {
    if (kept) {
      ++slot.report.counts.versioned;
      TellPlanned(job, PlannedAction::kVersion, toItem);
    }
    return true;
  }
  DWORD error = GetLastError();
  // The old item gets its name back; should that fail, it is safe in the
  // versions folder, and the next run copies the item again.
  if (kept && !job.versions->PutBack(toItem, keptAt)) {
    ++slot.report.counts.versioned;
    TellPlanned(job, PlannedAction::kVersion, toItem);
  }
  RecordFailure(slot.report, toItem, FailureStep::kReplace, error);
  return false;
}

// Gives the complete new copy the item's name. A refused replacement (a
// read-only or protected file, a folder of that name, a file open elsewhere)
// moves the old item aside and deletes it only once the new file bears the
// name. False, with the reason recorded, when the new copy could not take
// the name; keepScratch then says that the new copy must stay, because it is
// the only complete version left on this side.
bool ReplaceWithScratch(BackupJob& job, TransferSlot& slot, const wchar_t* scratch,
                        const wchar_t* toFolder, const wchar_t* toItem, bool moveAsideFirst,
                        bool& keepScratch) {
  keepScratch = false;
  if (job.versions) return ReplaceKeepingVersion(job, slot, scratch, toItem);
  if (!moveAsideFirst && MoveFileExW(scratch, toItem, kReplaceFlags)) return true;
  DWORD error = moveAsideFirst ? ERROR_ACCESS_DENIED : GetLastError();
  // Moving or deleting an item that resolves elsewhere can move or delete
  // what it points to.
  FolderFinalPath folder(toFolder);
  if (!IsLinkPath(toItem, GetFileAttributesW(toItem)) && !ResolvesInPlace(toItem, folder)) {
    RecordRefusal(slot.report, toItem, Refusal::kResolvesElsewhere);
    return false;
  }
  WideString aside;
  if (MoveAside(toFolder, toItem, aside)) {
    if (MoveFileExW(scratch, toItem, kReplaceFlags)) {
      DropOldItem(slot, toFolder, aside.CStr());
      return true;
    }
    error = GetLastError();
    // The old item goes back; should even that fail, it keeps the name that
    // carries its own, and the next run gives it back.
    if (!MoveFileExW(aside.CStr(), toItem, MOVEFILE_WRITE_THROUGH))
      RecordFailure(slot.report, aside.CStr(), FailureStep::kReplace, GetLastError(),
                    Refusal::kLeftoverKept);
    RecordFailure(slot.report, toItem, FailureStep::kReplace, error);
    return false;
  }
  // Not even movable: only access repair can help, and it works on deletion.
  // The deletion may only be pending (another program holds the file), and
  // the old file goes when that program lets go: from then on the new copy
  // is the only one, and it is never deleted.
  if (ForceDelete(toItem, DeleteOption::DeleteRepairAccess | DeleteOption::DeleteOnlyInPlace |
                              DeleteOption::DeleteNoShellNotice) == DeleteResult::Failed) {
    RecordFailure(slot.report, toItem, FailureStep::kReplace, error);
    return false;
  }
  if (MoveFileExW(scratch, toItem, kReplaceFlags)) return true;
  error = GetLastError();
  keepScratch = true;
  RecordFailure(slot.report, toItem, FailureStep::kReplace, error);
  return false;
}

// The new copy, complete but unable to take its name, gets a name that
// carries it, so that the next run puts it in place, or, for a name too long
// to carry, a name that no run ever removes. Should even that rename fail,
// it stays a partial copy to the next run; the walked side still holds the
// same contents.
void KeepCompleteCopy(const wchar_t* scratch, const wchar_t* toFolder, const wchar_t* toItem) {
  WideString name(toItem);
  FileNamePart(name);
  WideString kept;
  if (MakeAsideName(toFolder, name.CStr(), kept) || MakeKeptName(toFolder, kept))
    MoveFileExW(scratch, kept.CStr(), MOVEFILE_WRITE_THROUGH);
}

// Through the handle that wrote the file, which still stands for it under its
// final name: no further open. After the rename, so that no file system
// carries the old file's creation time over to the new one.
bool GiveEntryMetadata(FileObject& file, const WIN32_FIND_DATAW& entry) {
  return GiveTimesAndAttributes(file.handle, entry.ftCreationTime, entry.ftLastAccessTime,
                                entry.ftLastWriteTime, entry.dwFileAttributes);
}

}  // namespace

TransferOutcome TransferFile(BackupJob& job, TransferSlot& slot, const wchar_t* fromItem,
                             const wchar_t* toFolder, const wchar_t* toItem,
                             const WIN32_FIND_DATAW& entry, bool moveAsideFirst) {
  if (!OpenFile(slot.source, fromItem, kFileRaw,
                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN)) {
    RecordFailure(slot.report, fromItem, FailureStep::kOpenSource, GetLastError());
    return kTransferSourceUnreadable;
  }
  WideString scratch;
  if (!OpenScratchFile(slot, toFolder, scratch)) {
    RecordFailure(slot.report, toItem, FailureStep::kCreateScratch, GetLastError());
    CloseFile(slot.source);
    return kTransferFailed;  // the name may belong to someone else's file: not deleted
  }
  DWORD reserveError = 0;
  uint64_t size = (static_cast<uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
  if (size > kTransferBufferSize) AskForEarlyWriteOut(slot.destination);
  if (!ReserveLength(slot.destination, size, reserveError)) {
    RecordFailure(slot.report, toItem, FailureStep::kCreateScratch, reserveError);
    CloseFile(slot.source);
    CloseFile(slot.destination);
    DeleteFileW(scratch.CStr());
    return kTransferFailed;
  }
  TransferError error;
  uint64_t copied = 0;
  TransferOutcome outcome = CopyContents(job, slot, error, copied);
  // The source is let go at once, so that it is not held open, and shared for
  // reading only, while the rest of the run goes on.
  CloseFile(slot.source);
  if (outcome == kTransferFailed)
    RecordFailure(slot.report, error.step == FailureStep::kRead ? fromItem : toItem, error.step,
                  error.code);
  bool keepScratch = false;
  if (outcome == kTransferCopied &&
      !ReplaceWithScratch(job, slot, scratch.CStr(), toFolder, toItem, moveAsideFirst, keepScratch))
    outcome = kTransferFailed;
  if (outcome != kTransferCopied) {
    CloseFile(slot.destination);
    if (keepScratch)
      KeepCompleteCopy(scratch.CStr(), toFolder, toItem);
    else
      DeleteFileW(scratch.CStr());
    return outcome;
  }
  // The contents are complete either way; without the source's times the
  // next update run would take the copy for out of date, so it is told.
  if (GiveEntryMetadata(slot.destination, entry))
    ++slot.report.counts.copied;
  else
    RecordFailure(slot.report, toItem, FailureStep::kSetTimes, GetLastError());
  CloseFile(slot.destination);
  slot.report.counts.bytesCopied += copied;
  return kTransferCopied;
}
