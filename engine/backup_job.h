// The record that the user interface fills in, the runner drives and the
// worker passes read and update while they run.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "base/owner.h"
#include "base/wide_string.h"
#include "engine/deletion_guard.h"
#include "engine/exclusion_patterns.h"
#include "engine/file_object.h"
#include "engine/handle_holder.h"
#include "engine/pass_report.h"
#include "engine/run_plan.h"
#include "engine/versions.h"

class CopyPool;

// Mode and option bits of BackupJob::flags. Exactly one mode is chosen; Common
// is none of the three.
struct BackupMode {
  enum : uint32_t {
    Common = 0x00,
    Strict = 0x01,  // also the mark of the deletion pass while a pass runs
    Restore = 0x02,
    Sync = 0x04,
    UpdateMethod = 0x10,
    ModeBits = 0x07,
  };
};

// Bits of BackupJob::skipAttributes: the platform's attribute values.
struct SkipAttribute {
  enum : uint32_t {
    SkipHidden = FILE_ATTRIBUTE_HIDDEN,
    SkipSystem = FILE_ATTRIBUTE_SYSTEM,
  };
};

inline void ReleaseTransferBuffer(unsigned char* buffer) { VirtualFree(buffer, 0, MEM_RELEASE); }
using TransferBuffer = Owner<unsigned char*, ReleaseTransferBuffer>;

// One buffer for every file. 1 MiB, not more: large files copied through a
// buffer of 2 MiB took two to seven times as long as through 1 MiB, natively
// as well as under Wine, on a machine whose processor caches 2 MiB per core:
// the buffer no longer stays in the cache beside the data passing through
// it. Below 1 MiB the calls per chunk start to count.
inline constexpr uint32_t kTransferBufferSize = 0x100000;
inline constexpr int32_t kProgressHalf = 500;
inline constexpr int32_t kProgressFull = 2 * kProgressHalf;

class BackupJob {
 public:
  BackupJob() = default;
  ~BackupJob();
  BackupJob(const BackupJob&) = delete;
  BackupJob& operator=(const BackupJob&) = delete;

  uint64_t bytesTotal = 0;  // source side, counted by the enumeration, plus 1
  // The copy pass's workers (engine/copy_pool.h) count files of their own
  // beside the walker, so the counts that move during a pass are atomic.
  std::atomic<uint64_t> bytesDone{0};  // copied or found up to date in the current pass
  uint64_t itemsTotal = 0;             // source side entries, plus 1
  std::atomic<uint64_t> itemsDone{0};  // entries visited by the current pass
  // Set by the runner's thread, polled by the worker and its pool.
  std::atomic<int32_t> cancelRequested{0};
  std::atomic<int32_t> pauseRequested{0};  // set and cleared with resumeGate
  std::atomic<int32_t> progress{0};        // 0..1000
  uint32_t flags = BackupMode::Common;
  uint32_t skipAttributes = 0;
  int32_t pairListControl = -1;
  HWND progressBar = nullptr;
  void* ownerWindow = nullptr;  // the main window, opaque to the engine
  // No longer written: with several files compared at once, each thread
  // compares in variables of its own.
  int64_t compareTime = 0;
  int64_t compareValue = 0;
  // Files the copy pass (and the deletion pass) keeps in flight at once: 1
  // copies and deletes every file on the walker's thread; 0 takes one per
  // processor (at most
  // kDefaultFilesInFlightLimit, engine/copy_pool.h).
  uint32_t threads = 0;
  WideString fromRoot;
  WideString toRoot;
  TransferBuffer transferBuffer;  // allocated at the first start, kept for the job's life
  FileObject sourceFile;
  FileObject destinationFile;

  // What the current pass did, item by item (engine/pass_report.h). Cleared
  // by RunPairPasses as each pass begins, written by the worker, handed out
  // through PassHooks::passEnded once the worker has ended.
  PassReport report;
  // Set by RunPairPasses for the second pass of a pair (Strict's deletion
  // pass, Sync's copy back): Sync decides files of equal age but different
  // size for the source, so the copy back leaves them alone.
  bool secondPass = false;

  // Items that no pass counts, copies, compares or deletes; empty by
  // default. Set before a run, only read while the passes run.
  ExclusionPatterns exclusions;
  // Length of the root text of the tree being walked, so that a walker can
  // hand the matcher an item's path below the root; set by each walk's entry.
  size_t walkRootLength = 0;

  // Open while the worker may go on; closed by PauseJob. The worker waits at
  // its next stopping point rather than being suspended wherever it stands,
  // perhaps inside the heap's lock, which the window thread would then wait
  // for on its next allocation. It looks at the gate only while
  // pauseRequested is set: a wait on an open event still costs a call into
  // the kernel (under Wine a round trip to its server), and the stopping
  // points come once per entry and per transfer chunk.
  HandleHolder resumeGate{CreateEventW(nullptr, TRUE, TRUE, nullptr)};

  // The safety net. versionDays 0: replaced and deleted items are gone at
  // once. deletionGuard: the percentage of the destination's files above
  // which Strict's deletion pass asks first (0: never). previewOnly: the
  // passes decide as in a run and tell each item through itemPlanned, but
  // create, write, move and delete nothing.
  uint32_t versionDays = 0;
  uint32_t deletionGuard = 0;
  bool previewOnly = false;
  // Local time of the run's start, which names the run folders of the
  // versions; set by the front end once per run (all pairs share it). Left
  // zero, each pair takes the time it starts.
  SYSTEMTIME runStart{};
  // The versions of the side the current pass writes (set by RunPairPasses
  // for each pass); null while versions are off.
  VersionStore* versions = nullptr;
  VersionStore sideVersions[2];  // [0] destination, [1] source
  // Left by RunPairPasses for the front end: the guard's count of the
  // pair's deletion pass, and what each side's versions folder holds after
  // pruning ([0] destination, [1] source; zero for a side not written).
  DeletionGuardCount guardCount;
  VersionsTally versionsTally[2];
  // Files a preview's copy pass would add to the side it writes: the guard's
  // count of that side is taken from a side that does not hold them yet.
  uint64_t plannedNewFiles = 0;
  // Told on the worker thread for every item a pass copies, replaces,
  // deletes or keeps as a version, as it happens (in a preview: as it
  // would). May be null.
  void (*itemPlanned)(void* context, const PlannedItem& item) = nullptr;
  void* planContext = nullptr;

  // Called after every change of the progress counters, on the thread that
  // changed them: the walker's or, during a copy pass, one of its pool's
  // workers, so possibly on several threads at once. Lets a caller watch a
  // pass at exact points. Null by default.
  void (*progressObserver)(void* context, BackupJob& job) = nullptr;
  void* observerContext = nullptr;

  // The pool of the copy pass that is running, which the walker hands small
  // files to; null outside a copy pass and when it copies on one thread.
  CopyPool* pool = nullptr;
  // Progress is computed and stored under this lock, so that of two threads
  // that counted at once the later value is the one that stays.
  SRWLOCK progressLock = SRWLOCK_INIT;
};

// The worker's stopping point, between entries and between transfer chunks:
// waits while the job is paused, then answers whether the run is to end.
bool StopRequested(BackupJob& job);
// Called by the runner's thread. A paused worker finishes the step it is in
// and waits at its next stopping point; a cancel while paused must resume the
// worker so that it can see the flag.
void PauseJob(BackupJob& job);
void ResumeJob(BackupJob& job);

// True when the job's patterns exclude the item at path (below the root of
// the walk under way) with that name.
bool IsExcludedItem(const BackupJob& job, const wchar_t* path, const wchar_t* name, bool folder);
// Tells itemPlanned (when set) of one item; path may carry "\\?\".
void TellPlanned(BackupJob& job, PlannedAction action, const wchar_t* path, uint64_t bytes = 0,
                 bool folder = false);

// Allocates the transfer buffer if it is still missing; false when memory is short.
bool EnsureTransferBuffer(BackupJob& job);
void CloseJobFiles(BackupJob& job);
// progress = bytes half + items half, each 0..500 however the counters relate
// to the totals (second passes and Restore count against the source totals).
void UpdateProgress(BackupJob& job);
int32_t ProgressHalf(uint64_t done, uint64_t total);
