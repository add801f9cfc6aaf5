#include "engine/pair_passes.h"

#include "base/path.h"
#include "engine/copy_pass.h"
#include "engine/deletion_guard.h"
#include "engine/directory_creation.h"
#include "engine/enumeration_pass.h"
#include "engine/handle_holder.h"
#include "engine/item_queries.h"
#include "engine/reparse_point.h"

namespace {

// Puts the Strict bit back however the pair ends, so that the job leaves the
// pair with the mode it came with.
class StrictBitGuard {
 public:
  explicit StrictBitGuard(BackupJob& job)
      : job_(job), strictRun_((job.flags & BackupMode::Strict) != 0) {}
  ~StrictBitGuard() {
    if (strictRun_) job_.flags |= BackupMode::Strict;
  }
  bool StrictRun() const { return strictRun_; }

 private:
  BackupJob& job_;
  bool strictRun_;
};

// Points the job at the versions of the side each pass writes, and leaves
// it without any however the pair ends.
class VersionsScope {
 public:
  VersionsScope(BackupJob& job, const wchar_t* source, const wchar_t* destination) : job_(job) {
    job.versions = nullptr;
    if (job.versionDays == 0) return;
    SYSTEMTIME start = job.runStart;
    if (start.wYear == 0) GetLocalTime(&start);
    job.sideVersions[0].Begin(destination, start);
    job.sideVersions[1].Begin(source, start);
  }
  ~VersionsScope() {
    job_.versions = nullptr;
    job_.sideVersions[0].End();
    job_.sideVersions[1].End();
  }
  void Writing(bool sourceSide) {
    job_.versions = job_.versionDays ? &job_.sideVersions[sourceSide ? 1 : 0] : nullptr;
  }

 private:
  BackupJob& job_;
};

// Thread entry: prunes the versions of the sides this mode writes, with
// fromRoot the source and toRoot the destination.
DWORD WINAPI PruneVersionsThread(void* argument) {
  BackupJob& job = *static_cast<BackupJob*>(argument);
  SYSTEMTIME now;
  GetLocalTime(&now);
  const bool restore = (job.flags & BackupMode::Restore) != 0;
  if (!restore) PruneVersions(job.toRoot.CStr(), job.versionDays, now, job.versionsTally[0]);
  if (restore || (job.flags & BackupMode::Sync))
    PruneVersions(job.fromRoot.CStr(), job.versionDays, now, job.versionsTally[1]);
  return 1;
}

// The absolute text of a folder: no "\\?\", no "." or "..", no trailing
// separator. Empty when the path is unusable.
void ComparableForm(const wchar_t* path, WideString& form) {
  WideString plain(path);
  if (!NormalizeFolderPath(plain).ok || !FullPathOf(plain.CStr(), form)) form.Assign(L"");
  TrimTrailingBackslashes(form);
}

// Where a folder really lies: the final path of its nearest existing
// ancestor, which resolves short names, links and drive aliases, followed by
// the names below it that do not exist yet. False when no ancestor answers.
bool RealLocation(WideString& comparable, WideString& real) {
  WideString existing(comparable.CStr());
  AddLongPathPrefix(existing);
  WideString rest(L"");
  for (;;) {
    HandleHolder folder(CreateFileW(existing.CStr(), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (folder.Valid()) {
      if (!FinalPathOf(folder.Get(), real)) return false;
      DropLongPathPrefix(real);
      TrimTrailingBackslashes(real);
      real.Append(rest.CStr());
      return real.ok;
    }
    int32_t separator = existing.Find(L"\\", true, -1);
    if (separator <= 7) return false;  // nothing left above "\\?\C:"
    WideString name(existing.CStr() + separator - 1);
    name.Append(rest.CStr());
    rest.Assign(name.CStr());
    existing.Truncate(separator - 1);
  }
}

bool IsSameOrBelow(WideString& inner, WideString& outer) {
  int32_t n = outer.Length();
  if (n == 0 || inner.Length() < n) return false;
  if (CompareStringOrdinal(inner.CStr(), n, outer.CStr(), n, TRUE) != CSTR_EQUAL) return false;
  return inner.Length() == n || inner.buf[n] == L'\\';
}

bool Overlap(WideString& first, WideString& second) {
  return IsSameOrBelow(first, second) || IsSameOrBelow(second, first);
}

WorkerOutcome RunPass(const PassHooks& hooks, WorkerRoutine routine, BackupJob& job) {
  if (!hooks.runWorker) return kWorkerNotStarted;
  return hooks.runWorker(hooks.context, routine, job);
}

void AnnouncePhase(const PassHooks& hooks, PairPhase phase, BackupJob& job) {
  if (hooks.phaseChanged) hooks.phaseChanged(hooks.context, phase, job);
}

void AnnounceReport(const PassHooks& hooks, PairPhase phase, BackupJob& job) {
  if (hooks.passEnded) hooks.passEnded(hooks.context, phase, job.report);
}

// The folder itself, in the form that names it even at the top of a drive.
bool FolderThere(const wchar_t* root) {
  WideString probe(root);
  AddLongPathPrefix(probe);
  return PathIsFolder(probe.CStr());
}

bool Stopped(WorkerOutcome outcome, const BackupJob& job) {
  return outcome == kWorkerCancelled || job.cancelRequested.load(std::memory_order_relaxed) != 0;
}

// The end of a pair that ran: old run folders of the versions go. A preview
// removes nothing.
PairOutcome EndPair(BackupJob& job, const PassHooks& hooks, WideString& source,
                    WideString& destination, PairOutcome outcome) {
  if (job.versionDays == 0 || job.previewOnly) return outcome;
  job.fromRoot.Assign(source.CStr());
  job.toRoot.Assign(destination.CStr());
  AnnouncePhase(hooks, kPhasePruningVersions, job);
  WorkerOutcome pruned = RunPass(hooks, PruneVersionsThread, job);
  return Stopped(pruned, job) ? kPairCancelled : outcome;
}

// Counts what the deletion pass would delete, with the job set for it.
// kPairFinished lets it run.
PairOutcome ConsultGuard(BackupJob& job, const PassHooks& hooks) {
  if (job.deletionGuard == 0) return kPairFinished;
  AnnouncePhase(hooks, kPhaseCountingDeletions, job);
  WorkerOutcome outcome = RunPass(hooks, DeletionCountThread, job);
  if (outcome == kWorkerNotStarted) return kPairPassNotStarted;
  if (Stopped(outcome, job)) return kPairCancelled;
  DeletionGuardCount& count = job.guardCount;
  // A count that could not finish stops the pass as well: nothing says the
  // deletions are few.
  if (count.counted && !GuardTrips(job.deletionGuard, count.filesToDelete, count.filesOnSide))
    return kPairFinished;
  count.tripped = true;
  if (hooks.confirmDeletions && hooks.confirmDeletions(hooks.context, job)) return kPairFinished;
  count.stopped = true;
  return kPairGuardStopped;
}

}  // namespace

HANDLE StartWorker(WorkerRoutine routine, BackupJob& job) {
  return CreateThread(nullptr, kWorkerStackReserve, routine, &job,
                      STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
}

WorkerOutcome RunWorkerAndWait(void*, WorkerRoutine routine, BackupJob& job) {
  HandleHolder thread(StartWorker(routine, job));
  if (!thread.Valid()) return kWorkerNotStarted;
  WaitForSingleObject(thread.Get(), INFINITE);
  return kWorkerEnded;
}

bool FoldersOverlap(const wchar_t* a, const wchar_t* b) {
  WideString first, second;
  ComparableForm(a, first);
  ComparableForm(b, second);
  if (first.Length() == 0 || second.Length() == 0) return false;
  if (Overlap(first, second)) return true;
  // The same folder can go by other names: an 8.3 name, a link, a second
  // drive letter. Only what the file system itself says settles that.
  WideString realFirst, realSecond;
  return RealLocation(first, realFirst) && RealLocation(second, realSecond) &&
         Overlap(realFirst, realSecond);
}

PairOutcome RunPairPasses(BackupJob& job, const wchar_t* source, const wchar_t* destination,
                          const PassHooks& hooks) {
  WideString sourceRoot(source);
  WideString destinationRoot(destination);
  if (!NormalizeFolderPath(sourceRoot).ok || !NormalizeFolderPath(destinationRoot).ok)
    return kPairNotFullPath;
  bool restore = (job.flags & BackupMode::Restore) != 0;
  WideString& readRoot = restore ? destinationRoot : sourceRoot;
  WideString& writeRoot = restore ? sourceRoot : destinationRoot;
  if (!FolderThere(readRoot.CStr())) return kPairReadSideMissing;
  if (FoldersOverlap(sourceRoot.CStr(), destinationRoot.CStr())) return kPairFoldersOverlap;
  // A preview creates nothing; a side that is not there yet is as empty.
  const bool writeRootPlanned = job.previewOnly && !FolderThere(writeRoot.CStr());
  if (writeRootPlanned ? PathExists(writeRoot.CStr()) : !CreateDirectoryTree(writeRoot.CStr()))
    return kPairWriteSideUnavailable;

  StrictBitGuard strict(job);
  job.guardCount = DeletionGuardCount();
  job.plannedNewFiles = 0;
  job.versionsTally[0] = VersionsTally();
  job.versionsTally[1] = VersionsTally();
  VersionsScope versions(job, sourceRoot.CStr(), destinationRoot.CStr());
  job.secondPass = false;
  job.bytesDone = 0;
  job.itemsDone = 0;
  job.bytesTotal = 0;
  job.itemsTotal = 0;
  job.progress = 0;
  job.fromRoot.Assign(sourceRoot.CStr());
  job.toRoot.Assign(destinationRoot.CStr());
  AnnouncePhase(hooks, kPhaseEnumerating, job);
  // Without an enumeration thread the pass still runs, against totals of 1.
  if (Stopped(RunPass(hooks, EnumerationThread, job), job)) return kPairCancelled;
  job.bytesTotal += 1;
  job.itemsTotal += 1;

  job.fromRoot.Assign(readRoot.CStr());
  job.toRoot.Assign(writeRoot.CStr());
  if (strict.StrictRun())
    job.flags &= ~static_cast<uint32_t>(BackupMode::Strict);
  else if (job.flags & BackupMode::Sync)
    job.flags |= BackupMode::UpdateMethod;
  job.progress = 0;
  ClearReport(job.report);
  versions.Writing(restore);
  AnnouncePhase(hooks, kPhaseCopying, job);
  WorkerOutcome outcome = RunPass(hooks, CopyThread, job);
  if (outcome == kWorkerNotStarted) return kPairPassNotStarted;
  AnnounceReport(hooks, kPhaseCopying, job);
  if (Stopped(outcome, job)) return kPairCancelled;
  if (!strict.StrictRun() && !(job.flags & BackupMode::Sync))
    return EndPair(job, hooks, sourceRoot, destinationRoot, kPairFinished);

  job.bytesDone = 0;
  job.itemsDone = 0;
  job.progress = 0;
  job.secondPass = true;
  ClearReport(job.report);
  if (writeRootPlanned) {
    // The second pass would walk a destination holding only what the
    // first pass put there: nothing to delete, nothing to copy back.
    AnnounceReport(hooks, kPhaseSecondPass, job);
    job.secondPass = false;
    return kPairFinished;
  }
  // Strict would mirror a source that is no longer there, Sync would create
  // it anew and fill it from the backup: a vanished folder ends the pair.
  for (WideString* root : {&sourceRoot, &destinationRoot}) {
    if (!FolderThere(root->CStr())) {
      RecordFailure(job.report, root->CStr(), FailureStep::kListFolder, ERROR_PATH_NOT_FOUND,
                    Refusal::kReadSideMissing);
      AnnounceReport(hooks, kPhaseSecondPass, job);
      job.secondPass = false;
      return kPairFolderVanished;
    }
  }
  if (strict.StrictRun()) job.flags |= BackupMode::Strict;
  job.fromRoot.Assign(destinationRoot.CStr());
  job.toRoot.Assign(sourceRoot.CStr());
  if (strict.StrictRun()) {
    PairOutcome guard = ConsultGuard(job, hooks);
    if (guard != kPairFinished) {
      job.secondPass = false;
      if (guard != kPairGuardStopped) return guard;
      return EndPair(job, hooks, sourceRoot, destinationRoot, guard);
    }
    job.fromRoot.Assign(destinationRoot.CStr());
    job.toRoot.Assign(sourceRoot.CStr());
    job.itemsDone = 0;
    job.progress = 0;
  }
  versions.Writing(!strict.StrictRun());
  AnnouncePhase(hooks, kPhaseSecondPass, job);
  outcome = RunPass(hooks, CopyThread, job);
  job.secondPass = false;
  if (outcome == kWorkerNotStarted) return kPairPassNotStarted;
  AnnounceReport(hooks, kPhaseSecondPass, job);
  if (Stopped(outcome, job)) return kPairCancelled;
  return EndPair(job, hooks, sourceRoot, destinationRoot, kPairFinished);
}
