// What one pass did: items counted by what became of them, and every item it
// meant to copy or delete but did not, with the place, the step and the
// reason. The run report, hbcopy's summary and the exit codes are built from
// exactly these numbers.
//
// The worker thread writes the report of the job (BackupJob::report) while
// its pass runs; the caller reads it only after the worker has ended, when
// PassHooks::passEnded hands it out (see engine/pair_passes.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/wide_string.h"

// What was being done when an item failed.
enum class FailureStep : uint8_t {
  kListFolder,     // listing a folder (or reaching it at all)
  kOpenSource,     // opening the file to read
  kCreateScratch,  // creating the new copy beside the old one (no room, no access)
  kRead,           // reading the file's contents
  kWrite,          // writing the new copy
  kReplace,        // giving the new copy the item's name
  kSetTimes,       // giving the copy its times and attributes (the data is complete)
  kDelete,         // deleting an item the other side lacks
  kKeepVersion,    // moving the old item into the versions folder (it stays in place)
  kCreateLink,     // recreating a link on the other side
  kRefuse,         // nothing failed: the engine chose not to touch the item (see Refusal)
};

// Why an item was refused on purpose; kNone for a failure of the platform.
enum class Refusal : uint8_t {
  kNone,
  // Sync and Restore write into live folders, where a folder is never
  // replaced by a file: it may hold documents that were never backed up.
  kFolderInTheWay,
  // A file on the other side bears the name of a walked folder.
  kFileInTheWay,
  // A link on the other side bears the name of a walked folder or file;
  // writing through it would change a tree the pair was never given.
  kLinkInTheWay,
  // The item resolves to somewhere other than its folder plus its name (a
  // link that looks like a plain item): deleting or replacing it could reach
  // the target.
  kResolvesElsewhere,
  // A name whose case-only twin was already handled in this folder; the
  // other side may not keep the two apart.
  kCaseTwin,
  // The other side cannot tell whether the name exists ("*", "?").
  kNameNotJudged,
  // The other side of a deletion pass stopped answering; nothing more of
  // this folder was judged.
  kPassStopped,
  // An item that an interrupted run moved aside could not get its name back
  // (the name is taken again); it keeps its scratch name.
  kLeftoverKept,
  // The folder the pass reads is missing (a removed medium, a dropped share).
  kReadSideMissing,
  // The path grew beyond what a text can hold.
  kPathTooLong,
  // The versions folder at the root is a link or a file: no version is
  // written through or into it, so nothing is replaced or deleted.
  kVersionsFolderUnusable,
  // Not a refusal but what the system did not say: it answered that a link
  // was made and none is there (Wine's CreateSymbolicLinkW does so).
  kLinkNotMade,
};

struct FailedItem {
  std::wstring path;  // as the user knows it: no "\\?\" prefix
  FailureStep step = FailureStep::kRefuse;
  uint32_t error = 0;  // the platform's error code; 0 for a refusal
  Refusal reason = Refusal::kNone;
};

struct PassCounts {
  uint64_t copied = 0;       // files and links written to the other side
  uint64_t upToDate = 0;     // files the update test left alone
  uint64_t deleted = 0;      // items removed by a deletion pass
  uint64_t skipped = 0;      // files left out by the options (hidden, system)
  uint64_t failed = 0;       // items meant to be copied or deleted that were not
  uint64_t bytesCopied = 0;  // bytes written by completed copies
  // Remains of an interrupted run that this pass cleared: partial copies it
  // could prove were its own, removed, and items moved aside, given their
  // names back. Those it could not clear are failures (kLeftoverKept).
  uint64_t leftovers = 0;
  // Items moved into the versions folder before being replaced or deleted.
  uint64_t versioned = 0;
};

// Enough for a person to read through and to see a pattern in; a broken disk
// can fail a million items, and the count says that.
inline constexpr size_t kKeptFailures = 300;

struct PassReport {
  PassCounts counts;
  std::vector<FailedItem> failures;  // the first kKeptFailures, in the order they happened
};

void ClearReport(PassReport& report);
// Counts a failure of the platform and keeps it while there is room; a
// reason may say more than the error code (a folder that is gone).
void RecordFailure(PassReport& report, const wchar_t* path, FailureStep step, uint32_t error,
                   Refusal reason = Refusal::kNone);
// Counts an item the engine refused on purpose (step kRefuse).
void RecordRefusal(PassReport& report, const wchar_t* path, Refusal reason);
void AddCounts(PassCounts& sum, const PassCounts& part);

// Short English texts for reports: "list folder", "open source", ... and the
// reason of a refusal ("a folder of that name is in the way", ...); a refusal
// of kNone gives an empty text.
const wchar_t* FailureStepText(FailureStep step);
const wchar_t* RefusalText(Refusal reason);
// The platform's message for an error code (without the trailing line
// break), or "error N" when it has none; for a disk-full code, always a text
// that says the disk is full.
void ErrorText(uint32_t error, WideString& text);
// The one line a report gives a failed item: step, then the system's message
// or the refusal's reason.
void DescribeFailure(const FailedItem& item, WideString& text);
