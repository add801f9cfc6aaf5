#include "app/runner/run_report.h"

#include <cwchar>

#include "app/application.h"
#include "app/runner/run_log.h"
#include "engine/backup_job.h"

namespace {

constexpr wchar_t kNewLine[] = L"\r\n";

std::wstring Number(uint64_t value) { return std::to_wstring(value); }

std::wstring TimeText(const SYSTEMTIME& t) {
  wchar_t text[32];
  swprintf(text, sizeof(text) / sizeof(text[0]), L"%04u-%02u-%02u %02u:%02u:%02u", t.wYear,
           t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
  return text;
}

const wchar_t* ModeName(uint32_t flags) {
  if (flags & BackupMode::Strict) return L"Strict";
  if (flags & BackupMode::Restore) return L"Restore";
  if (flags & BackupMode::Sync) return L"Sync";
  return L"Common";
}

std::wstring OptionsText(const RunRecord& run) {
  std::wstring options;
  auto add = [&options](const wchar_t* option) {
    if (!options.empty()) options += L", ";
    options += option;
  };
  if (run.flags & BackupMode::UpdateMethod) add(L"update method");
  if (run.skipAttributes & SkipAttribute::SkipHidden) add(L"skip hidden files");
  if (run.skipAttributes & SkipAttribute::SkipSystem) add(L"skip system files");
  if (run.versionDays)
    add((L"keep replaced and deleted files for " + Number(run.versionDays) + L" days").c_str());
  if (run.deletionGuard && (run.flags & BackupMode::Strict))
    add((L"deletion guard at " + Number(run.deletionGuard) + L" %").c_str());
  return options.empty() ? L"none" : options;
}

const wchar_t* RunModeText(uint8_t runMode, bool scheduled) {
  if (scheduled) {
    if (runMode == kQuiet) return L"scheduled (/Quiet)";
    if (runMode == kPassive) return L"scheduled (/Passive)";
    return L"scheduled";
  }
  if (runMode == kQuiet) return L"unattended (/Quiet)";
  if (runMode == kPassive) return L"unattended (/Passive)";
  return L"interactive";
}

std::wstring OutcomeText(const PairRecord& pair, bool restore) {
  if (pair.outcome == kPairGuardStopped)
    return L"not done: the deletion guard stopped the deletion pass, which would have deleted " +
           Number(pair.guard.filesToDelete) + L" of " + Number(pair.guard.filesOnSide) +
           L" files in " + pair.destination + L"; nothing was deleted";
  if (pair.unreadableRow) return L"skipped: the list did not give the row's folders";
  switch (pair.outcome) {
    case kPairFinished:
      return L"done";
    case kPairCancelled:
      return L"cancelled";
    case kPairReadSideMissing:
      return restore ? L"skipped: the destination folder to restore from does not exist"
                     : L"skipped: the source folder does not exist";
    case kPairWriteSideUnavailable:
      return restore ? L"skipped: the source folder cannot be created"
                     : L"skipped: the destination folder cannot be created";
    case kPairFoldersOverlap:
      return std::wstring(L"skipped: ") + kFoldersOverlapReason;
    case kPairPassNotStarted:
      return L"not done: a pass could not be started";
    case kPairNotFullPath:
      return std::wstring(L"skipped: ") + kNotFullPathReason;
    case kPairFolderVanished:
      return L"not done: a folder of the pair vanished during the first pass, so the second "
             L"pass did not run";
    case kPairGuardStopped:
      break;  // above, with the counts
  }
  return L"not done";
}

std::wstring CountsText(const PassCounts& c) {
  std::wstring text = L"copied " + Number(c.copied) + L", up to date " + Number(c.upToDate) +
                      L", deleted " + Number(c.deleted) + L", skipped by the options " +
                      Number(c.skipped) + L", failed " + Number(c.failed) + L", bytes copied " +
                      Number(c.bytesCopied);
  if (c.leftovers) text += L", leftovers of an interrupted run cleared " + Number(c.leftovers);
  if (c.versioned) text += L", moved to the versions folder " + Number(c.versioned);
  return text;
}

// The pair's folders in the order the data flowed: a Restore writes into the
// source, a Sync both ways.
std::wstring DirectionText(const PairRecord& pair, uint32_t flags) {
  if (flags & BackupMode::Restore)
    return pair.destination + L" -> " + pair.source + L" (from the destination to the source)";
  if (flags & BackupMode::Sync) return pair.source + L" <-> " + pair.destination + L" (both ways)";
  return pair.source + L" -> " + pair.destination;
}

// "  Versions in X: 12 files, 3456 bytes in 2 runs; pruned 4 files, 100 bytes in 1 run"
std::wstring VersionsText(const std::wstring& folder, const VersionsTally& t) {
  auto runs = [](uint64_t n) { return Number(n) + (n == 1 ? L" run" : L" runs"); };
  std::wstring text = L"  Versions in " + folder + L"\\" + kVersionsFolderName + L": " +
                      Number(t.files) + L" files, " + Number(t.bytes) + L" bytes in " +
                      runs(t.runFolders) + L"; pruned " + Number(t.prunedFiles) + L" files, " +
                      Number(t.prunedBytes) + L" bytes in " + runs(t.prunedFolders);
  if (t.failed) text += L"; " + runs(t.failed) + L" could not be pruned entirely";
  return text + kNewLine;
}

std::wstring RunOutcomeText(const RunRecord& run) {
  if (run.cancelled) return L"cancelled";
  if (FailedItems(run) == 0 && SkippedPairs(run) == 0) return L"finished";
  return L"finished, but not everything could be done (" + FailureCountsText(run) + L")";
}

}  // namespace

bool PairSkipped(const PairRecord& pair) {
  return pair.unreadableRow || (pair.outcome != kPairFinished && pair.outcome != kPairCancelled);
}

int SkippedPairs(const RunRecord& run) {
  int skipped = 0;
  for (const PairRecord& pair : run.pairs)
    if (PairSkipped(pair)) ++skipped;
  return skipped;
}

uint64_t FailedItems(const RunRecord& run) {
  uint64_t failed = 0;
  for (const PairRecord& pair : run.pairs) failed += pair.counts.failed;
  return failed;
}

void AddPass(PairRecord& pair, const PassReport& pass) {
  AddCounts(pair.counts, pass.counts);
  pair.failures.insert(pair.failures.end(), pass.failures.begin(), pass.failures.end());
}

std::wstring FailureCountsText(const RunRecord& run) {
  const uint64_t failed = FailedItems(run);
  const int skipped = SkippedPairs(run);
  return Number(failed) + (failed == 1 ? L" item failed, " : L" items failed, ") +
         Number(static_cast<uint64_t>(skipped)) +
         (skipped == 1 ? L" folder pair was skipped." : L" folder pairs were skipped.");
}

std::wstring FormatRunReport(const RunRecord& run) {
  const bool restore = (run.flags & BackupMode::Restore) != 0;
  std::wstring text = kRunHeading;
  text += L"started " + TimeText(run.started) + L" ====" + kNewLine;
  text += L"Ended: " + TimeText(run.ended) + kNewLine;
  text += L"Job file: " + run.jobFile + kNewLine;
  text += std::wstring(L"Run: ") + RunModeText(run.runMode, run.scheduled) + kNewLine;
  if (!run.notRunReason.empty()) {
    text += L"Outcome: nothing was run: " + run.notRunReason + kNewLine + kNewLine;
    return text;
  }
  text +=
      std::wstring(L"Mode: ") + ModeName(run.flags) + L"; options: " + OptionsText(run) + kNewLine;
  if (!run.exclude.empty()) text += L"Excluded: " + run.exclude + kNewLine;
  for (const std::wstring& pattern : run.ignoredPatterns)
    text += L"Note: the exclusion pattern \"" + pattern + L"\" names nothing and was ignored." +
            kNewLine;
  if (run.rowCount == 0) text += std::wstring(L"The list holds no folder pairs.") + kNewLine;
  text += L"Outcome: " + RunOutcomeText(run) + kNewLine;
  for (const PairRecord& pair : run.pairs) {
    text += kNewLine;
    text += L"Folder pair " + Number(static_cast<uint64_t>(pair.row) + 1) + L" of " +
            Number(static_cast<uint64_t>(run.rowCount)) + L": " + DirectionText(pair, run.flags) +
            kNewLine;
    text += L"  Outcome: " + OutcomeText(pair, restore) + kNewLine;
    if (pair.unreadableRow) continue;
    text += L"  Counts: " + CountsText(pair.counts) + kNewLine;
    if (run.versionDays && pair.outcome != kPairCancelled) {
      if (!restore) text += VersionsText(pair.destination, pair.versions[0]);
      if (restore || (run.flags & BackupMode::Sync))
        text += VersionsText(pair.source, pair.versions[1]);
    }
    for (const FailedItem& item : pair.failures) {
      WideString why;
      DescribeFailure(item, why);
      text += L"  Failed: " + item.path + L" (" + (why.CStr() ? why.CStr() : L"") + L")" + kNewLine;
    }
    if (pair.counts.failed > pair.failures.size())
      text += L"  " + Number(pair.counts.failed - pair.failures.size()) +
              L" more failed items are not listed." + kNewLine;
  }
  text += kNewLine;
  return text;
}
