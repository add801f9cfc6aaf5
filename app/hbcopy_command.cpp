#include "app/hbcopy_command.h"

#include <windows.h>

#include <atomic>
#include <cwchar>
#include <vector>

#include "app/console_output.h"
#include "app/job_options.h"
#include "app/privileges.h"
#include "base/path.h"
#include "engine/backup_job.h"
#include "engine/pair_passes.h"

namespace {

constexpr wchar_t kUsage[] =
    L"usage: hbcopy MODE SOURCE DESTINATION [/update] [/skiphidden] [/skipsystem]\r\n"
    L"  MODE is common, strict, restore or sync";

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

bool ParseSwitch(const wchar_t* argument, JobSettings& settings) {
  if (argument[0] != L'/' && argument[0] != L'-') return false;
  const wchar_t* name = argument + 1;
  if (EqualsNoCase(name, L"update"))
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
    WriteStandardLine(STD_OUTPUT_HANDLE, line);
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
    if (!ParseSwitch(argv[i], settings)) return false;
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
  if (!EnsureTransferBuffer(job)) {
    WriteStandardLine(STD_ERROR_HANDLE, L"hbcopy: not enough memory for the transfer buffer");
    return kHbcopyStopped;
  }
  g_runningJob = &job;
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  RunSummary summary;
  summary.flags = job.flags;
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
      PrintCounters(job);
      PrintSummary(summary);
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
