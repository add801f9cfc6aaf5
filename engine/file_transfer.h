// Copying one file's contents and metadata so that the previous copy at the
// destination survives anything short of a complete new one.
#pragma once

#include <windows.h>

#include "engine/backup_job.h"

enum TransferOutcome {
  kTransferCopied,
  kTransferSourceUnreadable,  // nothing was touched at the destination
  kTransferFailed,            // the destination is as it was before
  kTransferCancelled,         // likewise
};

// The new contents go into a scratch file beside the destination, which takes
// the destination's name only once every byte was written; a refused rename
// (read-only or protected file, a folder of that name) forces the old item
// away first. A read error, short write or cancel removes the scratch file
// and leaves the old destination untouched. The copy then gets the source
// entry's attributes and three times.
TransferOutcome TransferFile(BackupJob& job, const wchar_t* fromItem, const wchar_t* toFolder,
                             const wchar_t* toItem, const WIN32_FIND_DATAW& entry);

// Whether a scratch file name is one that TransferFile makes.
bool IsScratchFileName(const wchar_t* name);
