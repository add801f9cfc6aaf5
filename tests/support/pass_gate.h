// Holds a worker pass at an exact point so that a test can act while the
// worker stands still: the point is decided on the worker thread, inside the
// job's progress observer, and the worker waits there until released.
// Every wait is bounded.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>

#include "engine/backup_job.h"
#include "engine/handle_holder.h"
#include "engine/pair_passes.h"

inline constexpr DWORD kBoundedWait = 60000;

class PassGate {
 public:
  using Condition = std::function<bool(const BackupJob&)>;
  PassGate(BackupJob& job, Condition holdWhen);
  ~PassGate();
  PassGate(const PassGate&) = delete;
  PassGate& operator=(const PassGate&) = delete;

  // Runs routine(&job) on a worker thread.
  bool Start(WorkerRoutine routine);
  // True once the worker stands at the point.
  bool WaitHeld();
  void Release();
  // True once the worker has ended; exitCode gets its answer.
  bool WaitEnded(DWORD* exitCode);
  HANDLE Thread() const { return thread_.Get(); }

 private:
  static void Observe(void* context, BackupJob& job);

  BackupJob& job_;
  Condition holdWhen_;
  HandleHolder held_;
  HandleHolder released_;
  HandleHolder thread_;
  // The observer may be told on several threads at once (the copy pass's
  // pool): one of them holds.
  std::atomic<bool> fired_{false};
};
