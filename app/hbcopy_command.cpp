#include "app/hbcopy_command.h"

#include <windows.h>

#include <atomic>
#include <cwchar>

#include "app/console_output.h"
#include "app/privileges.h"
#include "engine/backup_job.h"
#include "engine/directory_creation.h"
#include "engine/pair_passes.h"

namespace {

constexpr wchar_t kUsage[] =
    L"usage: hbcopy MODE SOURCE DESTINATION [/update] [/skiphidden] [/skipsystem]\r\n"
    L"  MODE is common, strict, restore or sync";

struct ModeName {
  const wchar_t* name;
  uint32_t bits;
};
constexpr ModeName kModes[] = {
    {L"common", BackupMode::Common},
    {L"strict", BackupMode::Strict},
    {L"restore", BackupMode::Restore},
    {L"sync", BackupMode::Sync},
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

bool ParseSwitch(const wchar_t* argument, HbcopyArguments& arguments) {
  if (argument[0] != L'/' && argument[0] != L'-') return false;
  const wchar_t* name = argument + 1;
  if (EqualsNoCase(name, L"update"))
    arguments.flags |= BackupMode::UpdateMethod;
  else if (EqualsNoCase(name, L"skiphidden"))
    arguments.skipAttributes |= SkipAttribute::SkipHidden;
  else if (EqualsNoCase(name, L"skipsystem"))
    arguments.skipAttributes |= SkipAttribute::SkipSystem;
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

void PrintProblem(const wchar_t* what, const wchar_t* path) {
  WideString line;
  line.AssignConcat(L"hbcopy: ", what, L": ", path);
  WriteStandardLine(STD_ERROR_HANDLE, line.CStr());
}

}  // namespace

bool ParseHbcopyArguments(int argc, const wchar_t* const* argv, HbcopyArguments& arguments) {
  if (argc < 4) return false;
  bool modeKnown = false;
  for (const ModeName& mode : kModes) {
    if (EqualsNoCase(argv[1], mode.name)) {
      arguments.flags = mode.bits;
      modeKnown = true;
    }
  }
  if (!modeKnown) return false;
  for (int i = 4; i < argc; ++i)
    if (!ParseSwitch(argv[i], arguments)) return false;
  return FullPathOf(argv[2], arguments.source) && FullPathOf(argv[3], arguments.destination);
}

int RunHbcopy(int argc, const wchar_t* const* argv) {
  HbcopyArguments arguments;
  if (!ParseHbcopyArguments(argc, argv, arguments)) {
    WriteStandardLine(STD_ERROR_HANDLE, kUsage);
    return kHbcopyBadArguments;
  }
  EnableBackupPrivileges();  // what is not granted simply stays off

  BackupJob job;
  job.flags = arguments.flags;
  job.skipAttributes = arguments.skipAttributes;
  if (!EnsureTransferBuffer(job)) {
    WriteStandardLine(STD_ERROR_HANDLE, L"hbcopy: not enough memory for the transfer buffer");
    return kHbcopyStopped;
  }
  g_runningJob = &job;
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  PassHooks hooks;
  hooks.runWorker = RunWorkerAndWait;
  PairOutcome outcome =
      RunPairPasses(job, arguments.source.CStr(), arguments.destination.CStr(), hooks);
  SetConsoleCtrlHandler(OnConsoleControl, FALSE);
  g_runningJob = nullptr;
  CloseJobFiles(job);

  switch (outcome) {
    case kPairFinished:
      PrintCounters(job);
      return kHbcopyDone;
    case kPairSourceMissing:
      PrintProblem(L"source folder not found", arguments.source.CStr());
      return kHbcopyFolders;
    case kPairDestinationUnavailable:
      PrintProblem(L"cannot create the destination folder", arguments.destination.CStr());
      return kHbcopyFolders;
    case kPairFoldersOverlap:
      PrintProblem(L"source and destination overlap", arguments.destination.CStr());
      WriteStandardLine(STD_ERROR_HANDLE, kUsage);
      return kHbcopyBadArguments;
    case kPairCancelled:
      PrintCounters(job);
      WriteStandardLine(STD_ERROR_HANDLE, L"hbcopy: cancelled");
      return kHbcopyStopped;
    default:
      WriteStandardLine(STD_ERROR_HANDLE, L"hbcopy: a pass could not be started");
      return kHbcopyStopped;
  }
}
