// Strict's second pass: the backup is walked against the source, and what
// the source lacks is deleted from the backup.
#pragma once

#include "engine/backup_job.h"
#include "engine/copy_pool.h"

// Walks folder from (the backup) against folder to (the source) and deletes
// every item of from whose name the source definitely lacks. Only a definite
// "not found" in a source folder that is itself still there counts: a
// vanished source stops the pass, a name the source cannot judge is a
// failure, and below a source folder that is a link nothing is judged (the
// link may dangle, or point at another tree). Links in from go as links; an
// item that resolves elsewhere is never deleted. Items the job excludes are
// protected: counted as skipped, never deleted, and the folders holding them
// stay. False when a level stopped
// early; every item that should have gone and did not is in the report.
// With job.pool set, the plain files to delete are handed to it: a folder's
// files are all done before the folder itself goes.
bool PruneTree(const wchar_t* from, const wchar_t* to, BackupJob& job);

// The pool's routine for one plain file the source lacks (file.fromItem).
void DeletePooledFile(BackupJob& job, TransferSlot& slot, PooledFile& file);
