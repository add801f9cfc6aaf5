// The sequence of passes that one folder pair goes through, shared by every
// front end: the folder checks, creation of the side written, enumeration,
// the copy pass and, for Strict and Sync, the second pass. How a worker is
// waited for (an event loop with Pause and Cancel, or a plain wait), what a
// phase change shows and what becomes of each pass's report are the
// caller's, through PassHooks.
#pragma once

#include <windows.h>

#include "engine/backup_job.h"

using WorkerRoutine = DWORD(WINAPI*)(void*);

enum WorkerOutcome {
  kWorkerEnded,       // the routine ran to its end
  kWorkerNotStarted,  // no thread could be created
  kWorkerCancelled,   // the user cancelled while it ran
};

enum PairPhase {
  kPhaseEnumerating,        // counting the source
  kPhaseCopying,            // the copy pass (from destination to source in Restore)
  kPhaseSecondPass,         // Strict's deletion pass or Sync's copy back
  kPhaseCountingDeletions,  // the deletion guard counting what Strict would delete
  kPhasePruningVersions,    // removing run folders of the versions past their days
};

// How a pair ended. Only kPairFinished means that every pass ran to its
// end; even then items may have failed, which the reports handed to
// PassHooks::passEnded count. Every other outcome leaves the pair not done.
enum PairOutcome {
  kPairFinished,
  // The folder the first pass reads is not an existing folder: the source,
  // or in Restore the destination (the backup). Nothing was created.
  kPairReadSideMissing,
  // The folder the passes write cannot be created: the destination, or in
  // Restore the source.
  kPairWriteSideUnavailable,
  kPairFoldersOverlap,  // one folder lies inside the other (or they are one)
  kPairPassNotStarted,  // a pass could not get its thread
  kPairCancelled,
  // A folder text is empty, relative or drive-relative ("X:name"): it would
  // be taken from whatever the current folder happens to be.
  kPairNotFullPath,
  // A folder of the pair vanished during the first pass (a removed medium, a
  // dropped share), so the second pass did not run: Strict would mirror an
  // absent source, Sync would recreate it. The second pass's report holds
  // the missing folder as a failure (kListFolder, kReadSideMissing).
  kPairFolderVanished,
  // The copy pass ran to its end, but the deletion guard stopped Strict's
  // deletion pass before it deleted anything (job.guardCount says how much
  // it would have deleted). Not done: the destination holds extra items.
  kPairGuardStopped,
};

struct PassHooks {
  // Runs routine(&job) on a worker thread and returns once it has ended or
  // the user has cancelled it.
  WorkerOutcome (*runWorker)(void* context, WorkerRoutine routine, BackupJob& job) = nullptr;
  // Told before each phase starts, with the job's roots and flags already set
  // for that phase. May be null.
  void (*phaseChanged)(void* context, PairPhase phase, BackupJob& job) = nullptr;
  // Told after each copy pass and second pass that was started (also when it
  // was cancelled or stopped early), and for a second pass that the vanished
  // folder kept from starting (kPairFolderVanished), with that pass's counts
  // and failed items; the report stays valid until the next pass begins (it
  // is the job's). Never told for the enumeration. May be null.
  void (*passEnded)(void* context, PairPhase phase, const PassReport& report) = nullptr;
  // Asked when the deletion guard trips (job.guardCount holds the counts):
  // true lets the deletion pass run. Null, as in every unattended run,
  // answers no.
  bool (*confirmDeletions)(void* context, BackupJob& job) = nullptr;
  void* context = nullptr;
};

// Walks can be as deep as the longest path allows; the reservation costs
// address space only.
inline constexpr SIZE_T kWorkerStackReserve = 64u << 20;

// Creates a worker thread with the stack reserve above; null on failure.
HANDLE StartWorker(WorkerRoutine routine, BackupJob& job);
// A runWorker that simply waits for the thread to end.
WorkerOutcome RunWorkerAndWait(void* context, WorkerRoutine routine, BackupJob& job);

// True when, after trimming separators, one path equals the other or lies
// below it (case-insensitive, "\\?\" ignored). Copying a folder into itself
// would never end, and a Strict run would delete the source.
bool FoldersOverlap(const wchar_t* a, const wchar_t* b);

// Runs the passes of the job's mode for one pair. Both folder texts go
// through NormalizeFolderPath ("X:" is the root of X); the side read must
// exist and is never created, the side written is created (Restore reads the
// destination and writes the source). The Strict bit is cleared for the copy
// pass and set again for the deletion pass (and is set again on every way
// out); Sync sets UpdateMethod. Counters and the report are reset as each
// pass begins; the totals are those of the source plus 1. Before the second
// pass both folders are checked again.
//
// With job.versionDays set, what a pass replaces or deletes is moved into
// the versions folder of the side it writes, and at the end of the pair the
// run folders older than that many days are pruned on each side written
// (job.versionsTally). With job.deletionGuard set, Strict's deletion pass is
// counted first and may be stopped (kPairGuardStopped). With
// job.previewOnly set, nothing is created, written, moved or deleted: the
// passes tell through job.itemPlanned what they would do, and count it.
PairOutcome RunPairPasses(BackupJob& job, const wchar_t* source, const wchar_t* destination,
                          const PassHooks& hooks);
