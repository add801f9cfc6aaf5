// Deleting files, folder trees and wildcard matches also when attributes or
// access lists stand in the way.
#pragma once

#include <cstdint>

#include "engine/access_list.h"

struct DeleteOption {
  enum : uint32_t {
    DeleteRetry = 0x01,         // as a last resort, delete at the next restart
    DeleteRepairAccess = 0x02,  // replace owner and access list of a refusing item
    DeleteKeepTop = 0x04,       // internal: a wildcard deletion keeps the folder itself
    // The caller tells the shell itself, once for a whole folder: naming each
    // deleted item makes some shells search the folder for it, a listing of
    // the folder per item.
    DeleteNoShellNotice = 0x08,
    // For items of a backup pair: inside a folder being deleted, a file that
    // resolves elsewhere (under Wine a host link to a file looks like a plain
    // file, and deleting it would delete its target) is left, and the
    // deletion fails. The caller checks the top item itself.
    DeleteOnlyInPlace = 0x10,
  };
};

enum class DeleteResult : int { Failed = 0, Deleted = 1, Scheduled = 2 };

// Any failure fails the whole; otherwise any scheduled deletion makes it
// scheduled.
DeleteResult CombineDeleteResults(DeleteResult a, DeleteResult b);

// Deletes a file, a folder with everything in it (a folder link as a link, its
// target untouched) or, for a last component with "*" or "?", the matches in
// the folder and in matching sub-folders while keeping the folder. A path that
// does not exist, or has no "\", counts as deleted.
DeleteResult ForceDelete(const wchar_t* path, uint32_t options);
// Tells the shell that a folder's contents changed.
void NotifyFolderChanged(const wchar_t* folder);
DeleteResult ForceDeleteFile(const wchar_t* path, uint32_t options, AccessList& list);
DeleteResult ForceRemoveFolder(const wchar_t* path, uint32_t options, AccessList& list);
DeleteResult ForceDeleteTree(const wchar_t* folder, const wchar_t* pattern, uint32_t options,
                             AccessList& list);
