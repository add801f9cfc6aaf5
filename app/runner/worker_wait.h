// Waiting for a worker pass while the progress window stays alive: the bar
// follows the job's progress, Pause and Resume hold the worker at its next
// stopping point, and Cancel (the button, or a close request from any
// window) asks first and then stops the worker.
#pragma once

#include <windows.h>

#include "app/runner/progress_window.h"
#include "base/wide_string.h"

class Application;
class BackupJob;

// A worker that has not stopped this long after the cancel flag was set is
// terminated: it looks at the flag between entries and between transfer
// chunks, so only a platform call that hangs (a dead network share) can
// keep it that long.
inline constexpr DWORD kCancelBoundMs = 30000;

inline constexpr wchar_t kCancelBackupQuestion[] =
    L"Are you sure you want to cancel the backup operation?";
inline constexpr wchar_t kCancelRestoreQuestion[] =
    L"Are you sure you want to cancel the restore operation?";
inline constexpr int kCancelQuestionHeight = 130;
inline constexpr int kCancelQuestionWidth = 400;

// What the runner keeps between its waits.
struct RunnerState {
  RunnerState(Application& application, BackupJob& backupJob) : app(application), job(backupJob) {}
  Application& app;
  BackupJob& job;
  ProgressWindow progress;
  bool quiet = false;
  bool paused = false;
  WideString savedStatus;  // the status under the pause text
  // The application's loop was asked to end during the run: the run is
  // cancelled and the quit is posted again once the window is gone.
  bool quitSeen = false;
  WPARAM quitCode = 0;
  // Yes to the cancel question came after the pass had ended: that pass is
  // done, nothing further starts, and a run with nothing further finished.
  bool cancelAfterPass = false;
};

// Waits until the worker thread has ended (true) or the user cancelled
// (false: the worker has stopped, or was terminated as a last resort). A
// quit of the application's loop counts as a cancel without a question.
bool WaitForWorker(RunnerState& state, HANDLE thread);

// The status line, or the text under the pause text while paused.
void SetStatus(RunnerState& state, const wchar_t* text);
