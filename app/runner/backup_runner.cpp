#include "app/runner/backup_runner.h"

namespace {
BackupRunner g_runner = nullptr;
}  // namespace

void SetBackupRunner(BackupRunner runner) { g_runner = runner; }

BackupRunner CurrentBackupRunner() { return g_runner; }
