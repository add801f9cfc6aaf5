// What a run did, pair by pair, as the run log keeps it: the engine's counts
// summed over each pair's passes, the items that failed with the step and the
// system's reason, and the pairs that did not run and why.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/pair_passes.h"
#include "engine/pass_report.h"
#include "engine/versions.h"

struct PairRecord {
  int row = 0;  // 0-based row of the pair list
  std::wstring source;
  std::wstring destination;
  // kPairFinished, a reason the pair did not run to its end, or kPairCancelled.
  PairOutcome outcome = kPairFinished;
  bool unreadableRow = false;  // the list would not give the row's texts
  PassCounts counts;           // summed over the pair's passes
  std::vector<FailedItem> failures;
  DeletionGuardCount guard;   // what the deletion guard counted, when it tripped
  VersionsTally versions[2];  // [0] the destination's versions folder, [1] the source's
};

struct RunRecord {
  SYSTEMTIME started{};
  SYSTEMTIME ended{};
  std::wstring jobFile;
  uint32_t flags = 0;  // BackupMode bits as the run was started
  uint32_t skipAttributes = 0;
  uint32_t versionDays = 0;    // 0: versions off
  uint32_t deletionGuard = 0;  // percent; 0: off
  uint8_t runMode = 0;
  bool scheduled = false;  // started by the job's scheduled task
  // The job's exclusion patterns as given, and the elements of it that were
  // ignored as malformed.
  std::wstring exclude;
  std::vector<std::wstring> ignoredPatterns;
  int rowCount = 0;
  bool cancelled = false;
  // Set when the run did not start at all: why (the job could not be trusted).
  std::wstring notRunReason;
  std::vector<PairRecord> pairs;  // checked rows, in order
};

// Why the runner refuses a pair before it runs, as the run log says it after
// "skipped: "; the folder pair dialog refuses the same with the same words.
inline constexpr wchar_t kNotFullPathReason[] =
    L"the folders must be full paths, such as C:\\Data or \\\\server\\share";
inline constexpr wchar_t kFoldersOverlapReason[] = L"one folder is the other or lies inside it";

// A pair that did not run to its end for a reason other than a cancel.
bool PairSkipped(const PairRecord& pair);
int SkippedPairs(const RunRecord& run);
uint64_t FailedItems(const RunRecord& run);

// Adds one pass's counts and failed items to the pair.
void AddPass(PairRecord& pair, const PassReport& pass);

// The run as text for the run log: it begins with the log's run heading and
// every line ends with "\r\n".
std::wstring FormatRunReport(const RunRecord& run);

// "N items failed, M folder pairs were skipped." (singular for one).
std::wstring FailureCountsText(const RunRecord& run);
