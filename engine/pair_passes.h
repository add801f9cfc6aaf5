// The sequence of passes that one folder pair goes through, shared by every
// front end: source check, destination creation, enumeration, the copy pass
// and, for Strict and Sync, the second pass. How a worker is waited for (an
// event loop with Pause and Cancel, or a plain wait) and what a phase change
// shows are the caller's, through PassHooks.
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
  kPhaseEnumerating,  // counting the source
  kPhaseCopying,      // the copy pass (from destination to source in Restore)
  kPhaseSecondPass,   // Strict's deletion pass or Sync's copy back
};

enum PairOutcome {
  kPairFinished,
  kPairSourceMissing,           // the source is not an existing folder
  kPairDestinationUnavailable,  // the destination cannot be created
  kPairFoldersOverlap,          // one folder lies inside the other (or they are one)
  kPairPassNotStarted,          // a pass could not get its thread
  kPairCancelled,
};

struct PassHooks {
  // Runs routine(&job) on a worker thread and returns once it has ended or
  // the user has cancelled it.
  WorkerOutcome (*runWorker)(void* context, WorkerRoutine routine, BackupJob& job) = nullptr;
  // Told before each phase starts, with the job's roots and flags already set
  // for that phase. May be null.
  void (*phaseChanged)(void* context, PairPhase phase, BackupJob& job) = nullptr;
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

// Runs the passes of the job's mode for one pair. The Strict bit is cleared
// for the copy pass and set again for the deletion pass (and is set again on
// every way out); Sync sets UpdateMethod. Counters are reset as each pass
// begins; the totals are those of the source plus 1.
PairOutcome RunPairPasses(BackupJob& job, const wchar_t* source, const wchar_t* destination,
                          const PassHooks& hooks);
