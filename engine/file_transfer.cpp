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

std::atomic<uint32_t> scratchCounter{0};

// Created new, never truncated: whatever already bears a candidate name (a
// file of the source that happens to look like one, or the remains of a run
// that was killed) is passed over.
bool OpenScratchFile(BackupJob& job, const wchar_t* toFolder, WideString& scratch) {
  wchar_t name[40];
  for (int attempt = 0; attempt < kScratchAttempts; ++attempt) {
    swprintf(name, sizeof(name) / sizeof(name[0]), L"%ls%08lx-%x%ls", kScratchPrefix,
             static_cast<unsigned long>(GetCurrentProcessId()),
             static_cast<unsigned>(scratchCounter.fetch_add(1, std::memory_order_relaxed)),
             kScratchSuffix);
    scratch.AssignConcat(toFolder, L"\\", name);
    if (!scratch.ok) return false;
    if (OpenFile(job.destinationFile, scratch.CStr(),
                 kFileTruncate | kFileExclusive | kFileRaw | kFileCreateNew | kFileShareDelete,
                 FILE_FLAG_WRITE_THROUGH | FILE_FLAG_BACKUP_SEMANTICS))
      return true;
    DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

TransferOutcome CopyContents(BackupJob& job) {
  for (;;) {
    DWORD got = 0;
    // A failed read is a failed copy: a truncated file must never look complete.
    if (!ReadFromFile(job.sourceFile, job.transferBuffer, kTransferBufferSize, &got))
      return kTransferFailed;
    if (got == 0) return kTransferCopied;
    DWORD written = 0;
    if (!WriteToFile(job.destinationFile, job.transferBuffer, got, &written) || written != got)
      return kTransferFailed;
    if (job.cancelRequested.load(std::memory_order_relaxed)) return kTransferCancelled;
    job.bytesDone += got;
    UpdateProgress(job);
  }
}

bool ReplaceWithScratch(const wchar_t* scratch, const wchar_t* toItem) {
  if (MoveFileExW(scratch, toItem, kReplaceFlags)) return true;
  if (ForceDelete(toItem, DeleteOption::DeleteRepairAccess) == DeleteResult::Failed) return false;
  return MoveFileExW(scratch, toItem, kReplaceFlags) != FALSE;
}

// Through the handle that wrote the file, which still stands for it under its
// final name: no further open. After the rename, so that no file system
// carries the old file's creation time over to the new one.
void GiveEntryMetadata(FileObject& file, const WIN32_FIND_DATAW& entry) {
  FILE_BASIC_INFO basic = {};
  basic.CreationTime.LowPart = entry.ftCreationTime.dwLowDateTime;
  basic.CreationTime.HighPart = static_cast<LONG>(entry.ftCreationTime.dwHighDateTime);
  basic.LastAccessTime.LowPart = entry.ftLastAccessTime.dwLowDateTime;
  basic.LastAccessTime.HighPart = static_cast<LONG>(entry.ftLastAccessTime.dwHighDateTime);
  basic.LastWriteTime.LowPart = entry.ftLastWriteTime.dwLowDateTime;
  basic.LastWriteTime.HighPart = static_cast<LONG>(entry.ftLastWriteTime.dwHighDateTime);
  basic.FileAttributes = SettableAttributes(entry.dwFileAttributes);
  SetFileInformationByHandle(file.handle, FileBasicInfo, &basic, sizeof(basic));
}

}  // namespace

bool IsScratchFileName(const wchar_t* name) {
  size_t length = wcslen(name);
  size_t prefix = wcslen(kScratchPrefix);
  size_t suffix = wcslen(kScratchSuffix);
  return length > prefix + suffix && wcsncmp(name, kScratchPrefix, prefix) == 0 &&
         wcscmp(name + length - suffix, kScratchSuffix) == 0;
}

TransferOutcome TransferFile(BackupJob& job, const wchar_t* fromItem, const wchar_t* toFolder,
                             const wchar_t* toItem, const WIN32_FIND_DATAW& entry) {
  if (!OpenFile(job.sourceFile, fromItem, kFileRaw,
                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN))
    return kTransferSourceUnreadable;
  WideString scratch;
  if (!OpenScratchFile(job, toFolder, scratch)) {
    CloseFile(job.sourceFile);
    return kTransferFailed;  // the name may belong to someone else's file: not deleted
  }
  TransferOutcome outcome = CopyContents(job);
  // The source is let go at once, so that it is not held open, and shared for
  // reading only, while the rest of the run goes on.
  CloseFile(job.sourceFile);
  if (outcome == kTransferCopied && !ReplaceWithScratch(scratch.CStr(), toItem))
    outcome = kTransferFailed;
  if (outcome != kTransferCopied) {
    CloseFile(job.destinationFile);
    DeleteFileW(scratch.CStr());
    return outcome;
  }
  GiveEntryMetadata(job.destinationFile, entry);
  CloseFile(job.destinationFile);
  return kTransferCopied;
}
