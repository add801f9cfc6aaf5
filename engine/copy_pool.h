// Several small files in flight while the copy pass walks on. Each file's
// own calls (open, create, write, rename, times) wait on the system one
// after the other; a few files at once overlap those waits, which is what
// makes copying many small files fast, on a local disk and more so on a
// share. The walker keeps everything that depends on the walk's order
// (folders, names, links, large files) and the judgement of each file (the
// other side's item, the update test: one query, cheaper done at once than
// handed over, so a no-change run stays on one thread); it hands each file
// to be copied of at most one transfer chunk to the pool, where a worker
// copies it exactly as the walker would have (engine/copy_pass.cpp gives the
// routine).
//
// What stays as with one thread:
// - a folder exists before any of its files is handed out (the walker
//   creates it first);
// - Pause holds every worker at its next stopping point (StopRequested
//   between files and between chunks), Resume lets them go on; a cancel
//   drops the files not yet started and each file in flight ends as a
//   cancelled copy does (scratch removed, previous version kept);
// - the counters are the job's atomic ones, so they add up exactly;
// - the report: each worker counts into a report of its own, added to the
//   job's once every file is done, and every failure is put back in the
//   place of the walk where its file was handed out, so that two runs of one
//   tree report alike whatever order the files ended in.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>

#include "base/wide_string.h"
#include "engine/backup_job.h"
#include "engine/file_transfer.h"

// The default: one file in flight per processor, but no more than this many;
// beyond it the system's own work per file, not the waits, sets the pace.
inline constexpr uint32_t kDefaultFilesInFlightLimit = 8;
// The most that "/threads:N" and the job's "Threads" accept.
inline constexpr uint32_t kMostFilesInFlight = 64;

// The number of files a pass of this job keeps in flight: job.threads, or
// the default for 0.
uint32_t FilesInFlight(const BackupJob& job);
uint32_t DefaultFilesInFlight();

// One folder of the walked tree while files of it are in flight.
struct FolderInFlight {
  WideString from;
  WideString to;
  // Set by the first file that found a folder of the pair gone (a removed
  // medium): no further file of the folder is started, the walker leaves
  // it, and the folder is reported once.
  std::atomic<bool> stopped{false};
};

// A file handed to the pool: the walker has judged it (names, skip mask,
// the other side's item, the update test); the copy is the worker's.
struct PooledFile {
  std::shared_ptr<FolderInFlight> folder;
  WideString fromItem;
  WideString toItem;
  WIN32_FIND_DATAW entry = {};
  bool moveAsideFirst = false;  // a folder or link bears the name (TransferFile)
  bool replacing = false;       // an item of that name is there (what the copy is told as)
  // Its place in the walk: the walker's own failures before it, then the
  // order of handing out.
  uint64_t failuresBefore = 0;
  uint64_t sequence = 0;
};

// What a worker does with one file; failures and counts go to slot.report.
using PooledFileRoutine = void (*)(BackupJob& job, TransferSlot& slot, PooledFile& file);

class CopyPool {
 public:
  // Starts threads workers; with fewer than 2 (or when no worker can be
  // started) the pool stays inactive and the walker copies every file itself.
  CopyPool(BackupJob& job, uint32_t threads, PooledFileRoutine routine);
  // Finishes the pool if the walker has not.
  ~CopyPool();
  CopyPool(const CopyPool&) = delete;
  CopyPool& operator=(const CopyPool&) = delete;

  bool Active() const { return state_ != nullptr; }
  uint32_t Workers() const;
  // Hands a file out, waiting while enough files are queued already.
  // failuresBefore and sequence are set here.
  void Submit(PooledFile&& file);
  // Waits until every file handed out so far is done (or dropped after a
  // cancel); the workers stay for more. The deletion pass deletes a folder
  // only after its files.
  void WaitUntilDone();
  // Waits until every file handed out is done (or dropped after a cancel),
  // ends the workers, adds their counts to the job's report and puts their
  // failures in their places among the walker's. Further calls do nothing.
  void Finish();
  // After Finish: whether a file found a folder of the pair gone.
  bool SomeFolderStopped() const { return someFolderStopped_; }

  struct State;

 private:
  BackupJob& job_;
  std::shared_ptr<State> state_;
  bool someFolderStopped_ = false;
};
