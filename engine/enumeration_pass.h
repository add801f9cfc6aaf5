// Counting what lies under the source folder of a pair before it is copied, so
// that the copy pass has totals for its progress.
#pragma once

#include <windows.h>

#include "engine/backup_job.h"

// Thread entry; the argument is the BackupJob. Counts fromRoot from zero into
// itemsTotal and bytesTotal; answers 1 when the count ran to its end.
DWORD WINAPI EnumerationThread(void* job);
// Every entry (file, folder, link) counts as an item; files add their size.
// Links are counted but never entered; items the job excludes are not
// counted at all. False when cancelled.
bool EnumerateTree(const wchar_t* folder, BackupJob& job);
