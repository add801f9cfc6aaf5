#include "engine/file_transfer.h"

#include <atomic>
#include <cwchar>

#include "engine/find_handle.h"
#include "engine/force_delete.h"

namespace {

constexpr int kScratchAttempts = 32;
constexpr DWORD kReplaceFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
constexpr wchar_t kScratchPrefix[] = L"~hl";
constexpr wchar_t kScratchSuffix[] = L".tmp";
constexpr wchar_t kLowerHexDigits[] = L"0123456789abcdef";

std::atomic<uint32_t> scratchCounter{0};

bool NameTaken(DWORD error) { return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS; }

// A name in folder that no earlier call has handed out in this process.
bool NextScratchName(const wchar_t* folder, WideString& path) {
  wchar_t name[40];
  swprintf(name, sizeof(name) / sizeof(name[0]), L"%ls%08lx-%x%ls", kScratchPrefix,
           static_cast<unsigned long>(GetCurrentProcessId()),
           static_cast<unsigned>(scratchCounter.fetch_add(1, std::memory_order_relaxed)),
           kScratchSuffix);
  path.AssignConcat(folder, L"\\", name);
  return path.ok;
}

// Created new, never truncated: whatever already bears a candidate name (a
// file of the source that happens to look like one, or the remains of a run
// that was killed) is passed over.
bool OpenScratchFile(BackupJob& job, const wchar_t* toFolder, WideString& scratch) {
  for (int attempt = 0; attempt < kScratchAttempts; ++attempt) {
    if (!NextScratchName(toFolder, scratch)) return false;
    if (OpenFile(job.destinationFile, scratch.CStr(),
                 kFileTruncate | kFileExclusive | kFileRaw | kFileCreateNew | kFileShareDelete,
                 FILE_FLAG_WRITE_THROUGH | FILE_FLAG_BACKUP_SEMANTICS))
      return true;
    if (!NameTaken(GetLastError())) return false;
  }
  return false;
}

// Gives the old item a scratch name of its own; the move never replaces.
bool MoveAside(const wchar_t* toFolder, const wchar_t* toItem, WideString& aside) {
  for (int attempt = 0; attempt < kScratchAttempts; ++attempt) {
    if (!NextScratchName(toFolder, aside)) return false;
    if (MoveFileExW(toItem, aside.CStr(), MOVEFILE_WRITE_THROUGH)) return true;
    if (!NameTaken(GetLastError())) return false;
  }
  return false;
}

// Where a copy went wrong, for the report.
struct TransferError {
  FailureStep step = FailureStep::kRead;
  DWORD code = 0;
};

TransferOutcome CopyContents(BackupJob& job, TransferError& error, uint64_t& copied) {
  for (;;) {
    DWORD got = 0;
    // A failed read is a failed copy: a truncated file must never look complete.
    if (!ReadFromFile(job.sourceFile, job.transferBuffer, kTransferBufferSize, &got)) {
      error = {FailureStep::kRead, GetLastError()};
      return kTransferFailed;
    }
    if (got == 0) return kTransferCopied;
    DWORD written = 0;
    if (!WriteToFile(job.destinationFile, job.transferBuffer, got, &written)) {
      error = {FailureStep::kWrite, GetLastError()};
      return kTransferFailed;
    }
    if (written != got) {
      // A short write without an error is the platform's way of saying full.
      error = {FailureStep::kWrite, ERROR_HANDLE_DISK_FULL};
      return kTransferFailed;
    }
    copied += got;
    if (StopRequested(job)) return kTransferCancelled;
    job.bytesDone += got;
    UpdateProgress(job);
  }
}

// A refused replacement (a read-only or protected file, a folder of that
// name, a file open elsewhere) moves the old item aside and deletes it only
// once the new file bears the name. Deleting it first can lose both: a file
// that someone holds open keeps its name until closed, so the new file cannot
// take it, and the old one disappears when the other program lets go.
bool ReplaceWithScratch(const wchar_t* scratch, const wchar_t* toFolder, const wchar_t* toItem) {
  if (MoveFileExW(scratch, toItem, kReplaceFlags)) return true;
  WideString aside;
  if (MoveAside(toFolder, toItem, aside)) {
    if (MoveFileExW(scratch, toItem, kReplaceFlags)) {
      // Should this fail, a scratch-named item stays: the copy passes never
      // take it for user data, and the deletion pass removes it.
      ForceDelete(aside.CStr(), DeleteOption::DeleteRepairAccess);
      return true;
    }
    MoveFileExW(aside.CStr(), toItem, MOVEFILE_WRITE_THROUGH);
    return false;
  }
  // Not even movable: only access repair can help, and it works on deletion.
  if (ForceDelete(toItem, DeleteOption::DeleteRepairAccess) == DeleteResult::Failed) return false;
  return MoveFileExW(scratch, toItem, kReplaceFlags) != FALSE;
}

// Through the handle that wrote the file, which still stands for it under its
// final name: no further open. After the rename, so that no file system
// carries the old file's creation time over to the new one.
bool GiveEntryMetadata(FileObject& file, const WIN32_FIND_DATAW& entry) {
  return GiveTimesAndAttributes(file.handle, entry.ftCreationTime, entry.ftLastAccessTime,
                                entry.ftLastWriteTime, entry.dwFileAttributes);
}

}  // namespace

bool IsScratchFileName(const wchar_t* name) {
  // Exactly what OpenScratchFile makes: the prefix, eight hexadecimal digits
  // of the process, "-", one to eight of the counter, the suffix. Anything
  // looser could pass over a user's own file.
  size_t prefix = wcslen(kScratchPrefix);
  if (wcsncmp(name, kScratchPrefix, prefix) != 0) return false;
  const wchar_t* at = name + prefix;
  size_t process = wcsspn(at, kLowerHexDigits);
  if (process != 8 || at[process] != L'-') return false;
  at += process + 1;
  size_t counter = wcsspn(at, kLowerHexDigits);
  if (counter == 0 || counter > 8) return false;
  return wcscmp(at + counter, kScratchSuffix) == 0;
}

TransferOutcome TransferFile(BackupJob& job, const wchar_t* fromItem, const wchar_t* toFolder,
                             const wchar_t* toItem, const WIN32_FIND_DATAW& entry) {
  if (!OpenFile(job.sourceFile, fromItem, kFileRaw,
                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN)) {
    RecordFailure(job.report, fromItem, FailureStep::kOpenSource, GetLastError());
    return kTransferSourceUnreadable;
  }
  WideString scratch;
  if (!OpenScratchFile(job, toFolder, scratch)) {
    RecordFailure(job.report, toItem, FailureStep::kCreateScratch, GetLastError());
    CloseFile(job.sourceFile);
    return kTransferFailed;  // the name may belong to someone else's file: not deleted
  }
  TransferError error;
  uint64_t copied = 0;
  TransferOutcome outcome = CopyContents(job, error, copied);
  // The source is let go at once, so that it is not held open, and shared for
  // reading only, while the rest of the run goes on.
  CloseFile(job.sourceFile);
  if (outcome == kTransferFailed)
    RecordFailure(job.report, error.step == FailureStep::kRead ? fromItem : toItem, error.step,
                  error.code);
  if (outcome == kTransferCopied && !ReplaceWithScratch(scratch.CStr(), toFolder, toItem)) {
    RecordFailure(job.report, toItem, FailureStep::kReplace, GetLastError());
    outcome = kTransferFailed;
  }
  if (outcome != kTransferCopied) {
    CloseFile(job.destinationFile);
    DeleteFileW(scratch.CStr());
    return outcome;
  }
  // The contents are complete either way; without the source's times the
  // next update run would take the copy for out of date, so it is told.
  if (GiveEntryMetadata(job.destinationFile, entry))
    ++job.report.counts.copied;
  else
    RecordFailure(job.report, toItem, FailureStep::kSetTimes, GetLastError());
  CloseFile(job.destinationFile);
  job.report.counts.bytesCopied += copied;
  return kTransferCopied;
}
