// The seam between the main window's "Start backup" and the operation runner:
// the main window calls whatever runner is plugged in, so that it does not
// depend on the progress window and tests can plug in a recording runner.
#pragma once

#include "engine/backup_job.h"

class Application;

// What a run ended with; the main window acts on it.
enum class RunResult : int {
  kNoRows = 0,            // the pair list is empty: nothing done, no completion action
  kCancelled = 1,         // the user cancelled
  kFinished = 2,          // finished, the program stays open
  kFinishedAndClose = 3,  // finished, the completion action closes the program
};

using BackupRunner = RunResult (*)(Application& app, BackupJob& job);

// Null until a runner is plugged in; Start must then say that no backup can
// run rather than pretend to run one.
void SetBackupRunner(BackupRunner runner);
BackupRunner CurrentBackupRunner();
