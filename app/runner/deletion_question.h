// The deletion guard's question in an interactive run: Strict's deletion
// pass would delete more of the destination than the job allows.
#pragma once

#include "app/window/run_preview.h"

class Application;

// "Strict mode would delete 9,512 of 10,000 files in D:\Backup. Delete
// them?" with Yes, No (the default, also for Escape and closing) and
// Preview, which shows what the pair's run would do and asks again. The
// counts are the job's guardCount; the options of the preview the job's.
bool AskDeletionGuard(Application& app, const BackupJob& job, const PreviewPair& pair);
