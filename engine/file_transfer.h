// Copying one file's contents and metadata so that the previous copy at the
// destination survives anything short of a complete new one.
#pragma once

#include <windows.h>

#include "engine/backup_job.h"

// What one thread copies with: a transfer buffer of kTransferBufferSize
// bytes, the two open files and the report its failures and counts go to.
// The walker's slot is the job's own (JobSlot); each worker of the copy
// pass's pool (engine/copy_pool.h) has one of its own.
struct TransferSlot {
  unsigned char* buffer;
  FileObject& source;
  FileObject& destination;
  PassReport& report;
};

inline TransferSlot JobSlot(BackupJob& job) {
  return TransferSlot{job.transferBuffer.Get(), job.sourceFile, job.destinationFile, job.report};
}

enum TransferOutcome {
  kTransferCopied,
  kTransferSourceUnreadable,  // nothing was touched at the destination
  kTransferFailed,            // the destination is as it was before
  kTransferCancelled,         // likewise
};

// The new contents go into a scratch file beside the destination
// (engine/scratch_names.h), which takes the destination's name only once
// every byte was written; a refused rename (read-only or protected file, a
// folder of that name) moves the old item aside first and deletes it only
// afterwards, as the link itself when it is a link. A read error, short write
// or cancel removes the scratch file and leaves the old destination
// untouched; a complete copy that cannot take the name after the old item is
// gone is kept under a name that carries the item's. The copy then gets the
// source entry's attributes and three times. Every failure is recorded in
// the slot's report, each copy counted there; progress goes to the job.
// moveAsideFirst: the name holds a folder or a link, which a replacing
// rename must never meet (Wine empties the folder a link points to when a
// file is renamed over the link).
TransferOutcome TransferFile(BackupJob& job, TransferSlot& slot, const wchar_t* fromItem,
                             const wchar_t* toFolder, const wchar_t* toItem,
                             const WIN32_FIND_DATAW& entry, bool moveAsideFirst);
