// The operation runner: one run of the job over the checked rows of the main
// window's folder-pair list, with the progress window, ending with the
// completion action. Plugged into the main window's Start through
// SetBackupRunner at program start.
#pragma once

#include "app/runner/backup_runner.h"

// Exit codes of unattended runs (Application::exitCode).
enum RunExitCode : int {
  kExitAllDone = 0,     // every checked pair ran and no item failed
  kExitCancelled = 1,   // cancelled; wins over failures
  kExitIncomplete = 2,  // finished, but a pair was skipped or an item failed
};

RunResult RunBackup(Application& app, BackupJob& job);
