#include "app/console/hbcopy_command.h"

#include <windows.h>

#include <atomic>
#include <cwchar>
#include <vector>

#include "app/console/console_output.h"
#include "app/job_options.h"
#include "app/privileges.h"
#include "base/path.h"
#include "engine/backup_job.h"
#include "engine/copy_pool.h"
#include "engine/pair_passes.h"

namespace {

constexpr wchar_t kUsage[] =
    L"usage: hbcopy MODE SOURCE DESTINATION [/update] [/skiphidden] [/skipsystem] "
    L"[/threads:N]\r\n"
    L"              [/exclude:\"PATTERN;PATTERN...\"] [/versions[:DAYS]] [/guard:P] [/preview]\r\n"
    L"  MODE is common, strict, restore or sync; N files are copied at once (1 to 64; "
    L"default: one per processor, at most 8)";

struct ModeName {
  const wchar_t* name;
  JobMode mode;
};
constexpr ModeName kModes[] = {
    {L"common", JobMode::Common},
    {L"strict", JobMode::Strict},
    {L"restore", JobMode::Restore},
    {L"sync", JobMode::Sync},
};

// The console's Ctrl+C arrives on a thread of its own; the running job hears
// of it through its cancel flag, so that no half-written file is left behind.
std::atomic<BackupJob*> g_runningJob{nullptr};

BOOL WINAPI OnConsoleControl(DWORD) {
  BackupJob* job = g_runningJob.load();
  if (!job) return FALSE;
  job->cancelRequested = 1;
  return TRUE;
}

// "N" of "/threads:N": decimal digits only, 1..kMostFilesInFlight.
bool ParseThreadCount(const wchar_t* text, uint32_t& threads) {
  if (!*text || wcsspn(text, L"0123456789") != wcslen(text) || wcslen(text) > 3) return false;
  unsigned long value = wcstoul(text, nullptr, 10);
  if (value < 1 || value > kMostFilesInFlight) return false;
  threads = static_cast<uint32_t>(value);
  return true;
}

// Digits only, within limit.
bool ParseNumber(const wchar_t* text, uint32_t limit, uint32_t& value) {
  if (!text[0]) return false;
  uint64_t number = 0;
  for (const wchar_t* c = text; *c; ++c) {
    if (*c < L'0' || *c > L'9') return false;
    number = number * 10 + static_cast<uint64_t>(*c - L'0');
    if (number > limit) return false;
  }
  value = static_cast<uint32_t>(number);
  return true;
}

// "/name" or "/name:VALUE"; value is null without a colon.
bool SwitchNamed(const wchar_t* name, const wchar_t* expected, const wchar_t*& value) {
  const int n = static_cast<int>(wcslen(expected));
  if (static_cast<int>(wcslen(name)) < n ||
      CompareStringOrdinal(name, n, expected, n, TRUE) != CSTR_EQUAL)
    return false;
  if (name[n] == 0) {
    value = nullptr;
    return true;
  }
  if (name[n] != L':') return false;
  value = name + n + 1;
  return true;
}

constexpr wchar_t kExcludeSwitch[] = L"exclude:";

bool ParseSwitch(const wchar_t* argument, HbcopyArguments& arguments);

// The patterns of "/exclude:". A list that ends in a folder pattern, quoted
// as "...node_modules\"", reaches the program with a quote where the "\"
// was, and with the rest of the command line in the same argument: the
// command line takes a "\" before a quote as an escape and the quote as
// still open. The "\" is put back and the rest parsed as the switches it is.
bool TakeExclusions(const wchar_t* value, HbcopyArguments& arguments) {
  JobSettings& settings = arguments.settings;
  const wchar_t* quote = wcschr(value, L'"');
  if (!quote) {
    settings.exclude.assign(value);
    return true;
  }
  settings.exclude.assign(value, static_cast<size_t>(quote - value));
  settings.exclude += L'\\';
  SplitList rest(quote + 1, L" ");
  for (int i = 0; i < rest.Count(); ++i) {
    const wchar_t* piece = rest.Item(i);
    if (*piece && !ParseSwitch(piece, arguments)) return false;
  }
  return true;
}

bool ParseSwitch(const wchar_t* argument, HbcopyArguments& arguments) {
  JobSettings& settings = arguments.settings;
  if (argument[0] != L'/' && argument[0] != L'-') return false;
  const wchar_t* name = argument + 1;
  constexpr wchar_t kThreads[] = L"threads:";
  constexpr size_t kThreadsLength = sizeof(kThreads) / sizeof(kThreads[0]) - 1;
  if (wcslen(name) > kThreadsLength &&
      CompareStringOrdinal(name, kThreadsLength, kThreads, kThreadsLength, TRUE) == CSTR_EQUAL)
    return ParseThreadCount(name + kThreadsLength, settings.threads);
  const size_t excludeLength = wcslen(kExcludeSwitch);
  if (wcslen(name) >= excludeLength && _wcsnicmp(name, kExcludeSwitch, excludeLength) == 0)
    return TakeExclusions(name + excludeLength, arguments);
  const wchar_t* value = nullptr;
  if (SwitchNamed(name, L"versions", value)) {
    settings.versionDays = kNewJobVersionDays;
    // Zero days would keep nothing: not a way to switch versions off.
    return !value || (ParseNumber(value, kMaximumVersionDays, settings.versionDays) &&
                      settings.versionDays > 0);
  }
  if (SwitchNamed(name, L"guard", value))
    return value && ParseNumber(value, kMaximumGuardPercent, settings.deletionGuard);
  if (EqualsNoCase(name, L"preview"))
    arguments.preview = true;
  else if (EqualsNoCase(name, L"update"))
    settings.updateMethod = true;
  else if (EqualsNoCase(name, L"skiphidden"))
    settings.skipMask |= SettingsSkip::Hidden;
  else if (EqualsNoCase(name, L"skipsystem"))
    settings.skipMask |= SettingsSkip::System;
  else
    return false;
  return true;
}

void PrintCounters(const BackupJob& job) {
  wchar_t line[200];
  swprintf(line, sizeof(line) / sizeof(line[0]),
           L"bytesTotal=%llu bytesDone=%llu itemsTotal=%llu itemsDone=%llu progress=%d",
           static_cast<unsigned long long>(job.bytesTotal),
           static_cast<unsigned long long>(job.bytesDone),
           static_cast<unsigned long long>(job.itemsTotal),
           static_cast<unsigned long long>(job.itemsDone), static_cast<int>(job.progress.load()));
  WriteStandardLine(STD_OUTPUT_HANDLE, line);
}

// What the passes reported, kept until the end so that the counters line
// comes first, as scripts expect.
struct PassSummary {
  PairPhase phase;
  PassCounts counts;
  std::vector<WideString> lines;  // one per failed item kept
};

struct RunSummary {
  uint32_t flags = 0;
  bool versionsOn = false;
  std::vector<PassSummary> passes;
  uint64_t failed = 0;
};

void CollectReport(void* context, PairPhase phase, const PassReport& report) {
  RunSummary& summary = *static_cast<RunSummary*>(context);
  PassSummary pass;
  pass.phase = phase;
  pass.counts = report.counts;
  for (const FailedItem& item : report.failures) {
    WideString why;
    DescribeFailure(item, why);
    WideString line;
    line.AssignConcat(L"failed: ", item.path.c_str(), L" (", why.CStr(), L")");
    pass.lines.push_back(std::move(line));
  }
  summary.failed += report.counts.failed;
  summary.passes.push_back(std::move(pass));
}

// One line per item as the passes tell it: "copy PATH BYTES", "delete PATH".
void PrintPlanned(void*, const PlannedItem& item) {
  wchar_t bytes[32] = L"";
  if (item.action != PlannedAction::kDelete && item.action != PlannedAction::kVersion)
    swprintf(bytes, sizeof(bytes) / sizeof(bytes[0]), L" %llu",
             static_cast<unsigned long long>(item.bytes));
  WideString line;
  line.AssignConcat(PlannedActionText(item.action), L" ", item.path, bytes);
  WriteStandardLine(STD_OUTPUT_HANDLE, line.CStr());
}

void PrintVersions(const BackupJob& job) {
  static const wchar_t* const kSides[] = {L"destination", L"source"};
  const bool restore = (job.flags & BackupMode::Restore) != 0;
  const bool sync = (job.flags & BackupMode::Sync) != 0;
  for (int side = 0; side < 2; ++side) {
    if (side == 0 ? restore : !(restore || sync)) continue;
    const VersionsTally& t = job.versionsTally[side];
    wchar_t line[300];
    swprintf(line, sizeof(line) / sizeof(line[0]),
             L"versions side=%ls runs=%llu files=%llu bytes=%llu pruned-runs=%llu "
             L"pruned-files=%llu pruned-bytes=%llu",
             kSides[side], static_cast<unsigned long long>(t.runFolders),
             static_cast<unsigned long long>(t.files), static_cast<unsigned long long>(t.bytes),
             static_cast<unsigned long long>(t.prunedFolders),
             static_cast<unsigned long long>(t.prunedFiles),
             static_cast<unsigned long long>(t.prunedBytes));
    WriteStandardLine(STD_OUTPUT_HANDLE, line);
  }
}

void PrintGuard(const DeletionGuardCount& count) {
  wchar_t line[200];
  swprintf(line, sizeof(line) / sizeof(line[0]), L"guard: would delete %llu of %llu files",
           static_cast<unsigned long long>(count.filesToDelete),
           static_cast<unsigned long long>(count.filesOnSide));
  WriteStandardLine(STD_OUTPUT_HANDLE, line);
}

const wchar_t* PassName(PairPhase phase, uint32_t flags) {
  if (phase != kPhaseSecondPass) return L"copy";
  return (flags & BackupMode::Strict) ? L"delete" : L"copy-back";
}

void PrintSummary(RunSummary& summary) {
  for (PassSummary& pass : summary.passes) {
    const PassCounts& c = pass.counts;
    wchar_t line[300];
    swprintf(line, sizeof(line) / sizeof(line[0]),
             L"pass=%ls copied=%llu uptodate=%llu deleted=%llu skipped=%llu failed=%llu "
             L"bytes=%llu leftovers=%llu",
             PassName(pass.phase, summary.flags), static_cast<unsigned long long>(c.copied),
             static_cast<unsigned long long>(c.upToDate),
             static_cast<unsigned long long>(c.deleted), static_cast<unsigned long long>(c.skipped),
             static_cast<unsigned long long>(c.failed),
             static_cast<unsigned long long>(c.bytesCopied),
             static_cast<unsigned long long>(c.leftovers));
    WideString shown(line);
    if (summary.versionsOn) {
      // Only with versions on, so that the line stays as scripts know it.
      swprintf(line, sizeof(line) / sizeof(line[0]), L" versioned=%llu",
               static_cast<unsigned long long>(c.versioned));
      shown.Append(line);
    }
    WriteStandardLine(STD_OUTPUT_HANDLE, shown.CStr());
    for (WideString& failure : pass.lines) WriteStandardLine(STD_OUTPUT_HANDLE, failure.CStr());
    if (c.failed > pass.lines.size()) {
      swprintf(line, sizeof(line) / sizeof(line[0]), L"failed: %llu more not listed",
               static_cast<unsigned long long>(c.failed - pass.lines.size()));
      WriteStandardLine(STD_OUTPUT_HANDLE, line);
    }
  }
}

// "X:" is the root of X here as everywhere in the engine, not the current
// folder on X; other relative texts are taken from the current folder.
bool FolderArgument(const wchar_t* text, WideString& full) {
  WideString given(text);
  if (NormalizeFolderPath(given).ok) return FullPathOf(given.CStr(), full);
  return FullPathOf(text, full);
}

void PrintProblem(const wchar_t* what, const wchar_t* path) {
  WideString line;
  line.AssignConcat(L"hbcopy: ", what, L": ", path);
  WriteStandardLine(STD_ERROR_HANDLE, line.CStr());
}

}  // namespace

JobSettings HbcopyArguments::NoOptions() {
  JobSettings settings;
  settings.updateMethod = false;
  settings.skipMask = 0;
  return settings;
}

bool ParseHbcopyArguments(int argc, const wchar_t* const* argv, HbcopyArguments& arguments) {
  if (argc < 4) return false;
  JobSettings& settings = arguments.settings;
  bool modeKnown = false;
  for (const ModeName& mode : kModes) {
    if (EqualsNoCase(argv[1], mode.name)) {
      settings.mode = mode.mode;
      modeKnown = true;
    }
  }
  if (!modeKnown) return false;
  for (int i = 4; i < argc; ++i)
    if (!ParseSwitch(argv[i], arguments)) return false;
  arguments.flags = ModeFlags(settings);
  arguments.skipAttributes = settings.skipMask;
  if (!FolderArgument(argv[2], arguments.source) || !FolderArgument(argv[3], arguments.destination))
    return false;
  JobPair pair;
  pair.source = arguments.source.CStr();
  pair.destination = arguments.destination.CStr();
  settings.pairs.assign(1, pair);
  return true;
}

int RunHbcopy(int argc, const wchar_t* const* argv) {
  HbcopyArguments arguments;
  if (!ParseHbcopyArguments(argc, argv, arguments)) {
    WriteStandardLine(STD_ERROR_HANDLE, kUsage);
    return kHbcopyBadArguments;
  }
  EnableBackupPrivileges();  // what is not granted simply stays off

  BackupJob job;
  ApplyJobOptions(arguments.settings, job);
  for (const std::wstring& malformed : job.exclusions.Malformed()) {
    WideString line;
    line.AssignConcat(L"hbcopy: pattern ignored (no name to match): \"", malformed.c_str(), L"\"");
    WriteStandardLine(STD_ERROR_HANDLE, line.CStr());
  }
  job.previewOnly = arguments.preview;
  GetLocalTime(&job.runStart);
  if (arguments.preview) job.itemPlanned = PrintPlanned;
  if (!EnsureTransferBuffer(job)) {
    WriteStandardLine(STD_ERROR_HANDLE, L"hbcopy: not enough memory for the transfer buffer");
    return kHbcopyStopped;
  }
  g_runningJob = &job;
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  RunSummary summary;
  summary.flags = job.flags;
  summary.versionsOn = job.versionDays != 0;
  PassHooks hooks;
  hooks.runWorker = RunWorkerAndWait;
  hooks.passEnded = CollectReport;
  hooks.context = &summary;
  PairOutcome outcome =
      RunPairPasses(job, arguments.source.CStr(), arguments.destination.CStr(), hooks);
  SetConsoleCtrlHandler(OnConsoleControl, FALSE);
  g_runningJob = nullptr;
  CloseJobFiles(job);

  bool restore = (arguments.flags & BackupMode::Restore) != 0;
  const wchar_t* readSide = restore ? arguments.destination.CStr() : arguments.source.CStr();
  const wchar_t* writeSide = restore ? arguments.source.CStr() : arguments.destination.CStr();
  switch (outcome) {
    case kPairFinished:
    case kPairFolderVanished:
    case kPairGuardStopped:
      PrintCounters(job);
      PrintSummary(summary);
      if (job.guardCount.tripped) PrintGuard(job.guardCount);
      if (job.versionDays && !job.previewOnly) PrintVersions(job);
      if (outcome == kPairGuardStopped) {
        WriteStandardLine(STD_ERROR_HANDLE,
                          L"hbcopy: the deletion guard stopped the deletion pass; nothing was "
                          L"deleted");
        return kHbcopyGuardStopped;
      }
      if (outcome == kPairFolderVanished)
        WriteStandardLine(STD_ERROR_HANDLE,
                          L"hbcopy: a folder vanished during the first pass; the second pass "
                          L"did not run");
      if (summary.failed == 0) return kHbcopyDone;
      WriteStandardLine(STD_ERROR_HANDLE, L"hbcopy: finished, but items failed");
      return kHbcopyItemsFailed;
    case kPairReadSideMissing:
      PrintProblem(restore ? L"backup folder not found" : L"source folder not found", readSide);
      return kHbcopyFolders;
    case kPairWriteSideUnavailable:
      PrintProblem(
          restore ? L"cannot create the source folder" : L"cannot create the destination folder",
          writeSide);
      return kHbcopyFolders;
    case kPairFoldersOverlap:
      PrintProblem(L"source and destination overlap", arguments.destination.CStr());
      WriteStandardLine(STD_ERROR_HANDLE, kUsage);
      return kHbcopyBadArguments;
    case kPairNotFullPath:
      PrintProblem(L"not a full path", arguments.source.CStr());
      WriteStandardLine(STD_ERROR_HANDLE, kUsage);
      return kHbcopyBadArguments;
    case kPairCancelled:
      PrintCounters(job);
      PrintSummary(summary);
      WriteStandardLine(STD_ERROR_HANDLE, L"hbcopy: cancelled");
      return kHbcopyStopped;
    default:
      WriteStandardLine(STD_ERROR_HANDLE, L"hbcopy: a pass could not be started");
      return kHbcopyStopped;
  }
}
