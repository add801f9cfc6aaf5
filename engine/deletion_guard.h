// The deletion guard: before Strict's deletion pass deletes anything, what it
// would delete is counted, and more than the job's percentage of the files
// on the destination side (and more than kGuardMinimumFiles) stops it unless
// someone agrees.
#pragma once

#include <windows.h>

#include <cstdint>

inline constexpr uint32_t kMaximumGuardPercent = 100;
// A few deletions never need asking about, however small the backup.
inline constexpr uint64_t kGuardMinimumFiles = 10;

struct DeletionGuardCount {
  uint64_t filesToDelete = 0;  // files and links the deletion pass would remove
  uint64_t filesOnSide = 0;    // files and links on the destination side (versions left out)
  bool counted = false;        // the count ran to its end
  bool tripped = false;        // above the threshold: asked, or stopped unattended
  bool stopped = false;        // the deletion pass did not run because of it
};

// Whether toDelete of onSide files is more than percent % (and more than
// the minimum); percent 0 never trips.
bool GuardTrips(uint32_t percent, uint64_t toDelete, uint64_t onSide);

// Thread entry; the argument is the BackupJob, with its roots and flags set
// for the deletion pass. Walks the deletion pass as a preview and fills the
// job's guardCount; the report and the plan hook are the job's again after.
DWORD WINAPI DeletionCountThread(void* job);
