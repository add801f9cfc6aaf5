// The walker that does the work of every pass of a run: copying the walked
// tree to the other side, or, with the Strict bit set, deleting from the
// walked tree what the other side lacks.
#pragma once

#include <windows.h>

#include "engine/backup_job.h"

// Thread entry; the argument is the BackupJob. Walks fromRoot against toRoot;
// answers 1 when every level finished.
DWORD WINAPI CopyThread(void* job);
// Walks folder from against folder to (see the pass table in the runner).
// Links are recreated, never followed; the update test compares last-write
// time and size only. Items the job excludes are counted as skipped and
// never entered. False when a level stopped early.
bool WalkTree(const wchar_t* from, const wchar_t* to, BackupJob& job);
