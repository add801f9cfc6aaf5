#include "engine/backup_job.h"

#include <cwchar>

#include "base/path.h"

BackupJob::~BackupJob() { CloseJobFiles(*this); }

bool EnsureTransferBuffer(BackupJob& job) {
  if (!job.transferBuffer.Valid())
    job.transferBuffer.Reset(static_cast<unsigned char*>(
        VirtualAlloc(nullptr, kTransferBufferSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)));
  return job.transferBuffer.Valid();
}

bool StopRequested(BackupJob& job) {
  if (job.pauseRequested.load() && job.resumeGate.Valid())
    WaitForSingleObject(job.resumeGate.Get(), INFINITE);
  return job.cancelRequested.load(std::memory_order_relaxed) != 0;
}

// The gate closes before the flag is raised and opens before it is lowered,
// so a worker that sees the flag meets a closed gate unless a resume is
// already under way.
void PauseJob(BackupJob& job) {
  if (job.resumeGate.Valid()) ResetEvent(job.resumeGate.Get());
  job.pauseRequested.store(1);
}

void ResumeJob(BackupJob& job) {
  if (job.resumeGate.Valid()) SetEvent(job.resumeGate.Get());
  job.pauseRequested.store(0);
}

void CloseJobFiles(BackupJob& job) {
  CloseFile(job.sourceFile);
  CloseFile(job.destinationFile);
}

int32_t ProgressHalf(uint64_t done, uint64_t total) {
  if (total == 0 || done >= total) return total == 0 ? 0 : kProgressHalf;
  // done < total here, so the quotient stays below 500; only the product can
  // leave 64 bits, and only for totals beyond any real tree.
  if (done <= UINT64_MAX / kProgressHalf) return static_cast<int32_t>(done * kProgressHalf / total);
  uint64_t half = done / (total / kProgressHalf);
  return half > kProgressHalf ? kProgressHalf : static_cast<int32_t>(half);
}

// The counters only grow during a pass: whoever stores later read them later,
// so the bar never steps back and its last value is the exact one.
void UpdateProgress(BackupJob& job) {
  AcquireSRWLockExclusive(&job.progressLock);
  job.progress.store(
      ProgressHalf(job.bytesDone, job.bytesTotal) + ProgressHalf(job.itemsDone, job.itemsTotal),
      std::memory_order_relaxed);
  ReleaseSRWLockExclusive(&job.progressLock);
  if (job.progressObserver) job.progressObserver(job.observerContext, job);
}

bool IsExcludedItem(const BackupJob& job, const wchar_t* path, const wchar_t* name, bool folder) {
  if (job.exclusions.Empty()) return false;
  size_t length = wcslen(path);
  return job.exclusions.Excludes(path + (job.walkRootLength < length ? job.walkRootLength : length),
                                 name, folder);
}

void TellPlanned(BackupJob& job, PlannedAction action, const wchar_t* path, uint64_t bytes,
                 bool folder) {
  if (job.previewOnly && action == PlannedAction::kCopy && !folder && !job.secondPass)
    ++job.plannedNewFiles;
  if (!job.itemPlanned) return;
  PlannedItem item;
  item.action = action;
  item.path = wcsncmp(path, kLongPathPrefix, 4) == 0 ? path + 4 : path;
  item.bytes = bytes;
  item.folder = folder;
  job.itemPlanned(job.planContext, item);
}

const wchar_t* PlannedActionText(PlannedAction action) {
  switch (action) {
    case PlannedAction::kCopy:
      return L"copy";
    case PlannedAction::kUpdate:
      return L"update";
    case PlannedAction::kDelete:
      return L"delete";
    case PlannedAction::kCopyBack:
      return L"copy-back";
    case PlannedAction::kVersion:
      return L"version";
  }
  return L"";
}
