#include "app/runner/operation_runner.h"

#include <commctrl.h>

#include <optional>

#include "app/application.h"
#include "app/runner/completion_action.h"
#include "app/runner/deletion_question.h"
#include "app/runner/run_log.h"
#include "app/runner/run_report.h"
#include "app/runner/worker_wait.h"
#include "base/path.h"
#include "engine/handle_holder.h"
#include "engine/pair_passes.h"
#include "jobfile/settings_file.h"
#include "ui/message_box.h"
#include "ui/modal_scope.h"
#include "ui/spinner.h"
#include "ui/wake_ticker.h"

namespace {

constexpr wchar_t kEnumeratingStatus[] = L"Enumerating the items to copy, please wait...";
constexpr wchar_t kCopyingBackStatus[] = L"Copying files from destination to source, ";
constexpr wchar_t kCopyingStatus[] = L"Copying files from source to destination, ";
constexpr wchar_t kSecondPassStatus[] = L"Synchronizing source and destination, ";
constexpr wchar_t kCountingStatus[] = L"Counting what strict mode would delete, ";
constexpr wchar_t kPruningStatus[] = L"Removing versions older than their days, ";

constexpr int kSpinnerSize = 48;
constexpr uint32_t kSpinnerColour = 0xFF000000;
constexpr int kSpinnerSpeed = 80;
// While the action list is open its choice is not made yet.
constexpr DWORD kDropDownLook = 3;

constexpr wchar_t kNotEverythingDone[] =
    L"The backup finished, but not everything could be done.\r\n\r\n";
constexpr wchar_t kDetails[] = L"\r\n\r\nDetails: ";
constexpr wchar_t kLogNotWritten[] = L"\r\n\r\nThe details could not be written to ";
constexpr int kEndMessageHeight = 170;
constexpr int kEndMessageWidth = 400;

// The row being run, as the window shows it.
struct RowRun {
  RunnerState* state = nullptr;
  WideString source;
  WideString destination;
  WideString pairText;  // "folder pair i of n..."
  PairRecord* record = nullptr;
};

WorkerOutcome RunWorkerInWindow(void* context, WorkerRoutine routine, BackupJob& job) {
  RowRun& row = *static_cast<RowRun*>(context);
  if (row.state->cancelAfterPass) return kWorkerCancelled;
  HandleHolder thread(StartWorker(routine, job));
  if (!thread.Valid()) return kWorkerNotStarted;
  return WaitForWorker(*row.state, thread.Get()) ? kWorkerEnded : kWorkerCancelled;
}

void ShowPhase(void* context, PairPhase phase, BackupJob& job) {
  RowRun& row = *static_cast<RowRun*>(context);
  RunnerState& state = *row.state;
  ProgressWindow& progress = state.progress;
  WideString status;
  if (phase == kPhaseEnumerating) {
    SetMarquee(progress, true);
    WideString label;
    progress.window.SetControlText(progress.source,
                                   label.AssignConcat(L"Source: ", row.source.CStr()).CStr());
    progress.window.SetControlText(
        progress.destination, label.AssignConcat(L"Destination: ", row.destination.CStr()).CStr());
    status.Assign(kEnumeratingStatus);
  } else if (phase == kPhaseCopying) {
    SetMarquee(progress, false);
    const bool restore = (job.flags & BackupMode::Restore) != 0;
    status.AssignConcat(restore ? kCopyingBackStatus : kCopyingStatus, row.pairText.CStr());
  } else if (phase == kPhaseCountingDeletions) {
    status.AssignConcat(kCountingStatus, row.pairText.CStr());
  } else if (phase == kPhasePruningVersions) {
    status.AssignConcat(kPruningStatus, row.pairText.CStr());
  } else {
    status.AssignConcat(kSecondPassStatus, row.pairText.CStr());
  }
  SetStatus(state, status.CStr());
}

// Only interactive runs ask; unattended ones leave the hook empty, and the
// guard then stops the deletion pass.
bool AskGuardInWindow(void* context, BackupJob& job) {
  RowRun& row = *static_cast<RowRun*>(context);
  PreviewPair pair{row.source.CStr(), row.destination.CStr()};
  return AskDeletionGuard(row.state->app, job, pair);
}

void NotePass(void* context, PairPhase, const PassReport& report) {
  RowRun& row = *static_cast<RowRun*>(context);
  if (row.record) AddPass(*row.record, report);
}

bool RowChecked(UiWindow& main, int list, int row) {
  const LRESULT state =
      main.SendToControl(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK);
  return ((state & LVIS_STATEIMAGEMASK) >> 12) == 2;
}

void StartSpinner(ProgressWindow& progress, BusySpinner& spinner) {
  spinner.Start(progress.window.ControlHandle(progress.spinnerHost), kSpinnerSize, kSpinnerColour,
                kSpinnerSpeed);
}

// The user may still be choosing while the run ends.
int ChosenAction(RunnerState& state) {
  ProgressWindow& progress = state.progress;
  UiWindow& events = *progress.window.events;
  while (progress.window.SendToControl(progress.completionList, CB_GETDROPPEDSTATE, 0, 0)) {
    const int code = PumpEvent(events, PumpMode::Poll);
    if (code == 0) Sleep(kDropDownLook);
    if (code == UiEventCode::Quit) {
      state.quitSeen = true;
      state.quitCode = events.lastMessage.wParam;
      return static_cast<int>(CompletionAction::kDoNothing);
    }
  }
  return SelectedCompletionAction(progress);
}

// Says at the end of an interactive run that something was left undone; the
// other completion actions and unattended runs never wait for anyone.
void ShowEndMessage(Application& app, const RunRecord& run, const std::wstring& logPath,
                    bool logWritten) {
  std::wstring text = kNotEverythingDone + FailureCountsText(run);
  text += (logWritten ? kDetails : kLogNotWritten) + logPath;
  if (!logWritten) text += L".";
  ShowMessageBox(app.mainWindow, text.c_str(), MessageBoxType::Ok, kEndMessageHeight,
                 kEndMessageWidth);
}

// Every checked row in order, each through the engine's pass sequence, until
// the end of the list or a cancel.
void RunCheckedRows(RunnerState& state, RunRecord& run) {
  UiWindow& main = state.app.mainWindow;
  BackupJob& job = state.job;
  const int list = job.pairListControl;
  const int count = run.rowCount;
  RowRun row;
  row.state = &state;
  PassHooks hooks;
  hooks.runWorker = RunWorkerInWindow;
  hooks.phaseChanged = ShowPhase;
  hooks.passEnded = NotePass;
  if (state.app.runMode == kInteractive) hooks.confirmDeletions = AskGuardInWindow;
  hooks.context = &row;
  run.pairs.reserve(static_cast<size_t>(count > 0 ? count : 0));
  for (int i = 0; i < count && !run.cancelled; ++i) {
    if (!RowChecked(main, list, i)) continue;
    // The user cancelled after the last pass had ended: a pair still to
    // come is what the cancel stops.
    if (state.cancelAfterPass) {
      run.cancelled = true;
      break;
    }
    run.pairs.emplace_back();
    PairRecord& pair = run.pairs.back();
    pair.row = i;
    row.record = &pair;
    // The whole cell, however long: a cut path would be walked as another folder.
    row.source = main.GetRowText(list, i, kSourceColumn);
    row.destination = main.GetRowText(list, i, kDestinationColumn);
    if (!row.source.CStr() || !row.destination.CStr()) {
      pair.unreadableRow = true;
      continue;
    }
    TrimFolderText(row.source);
    TrimFolderText(row.destination);
    pair.source = row.source.CStr();
    pair.destination = row.destination.CStr();
    WideString number, total;
    number.FromInt(i + 1);
    total.FromInt(count);
    row.pairText.AssignConcat(L"folder pair ", number.CStr(), L" of ", total.CStr(), L"...");
    pair.outcome = RunPairPasses(job, row.source.CStr(), row.destination.CStr(), hooks);
    pair.guard = job.guardCount;
    pair.versions[0] = job.versionsTally[0];
    pair.versions[1] = job.versionsTally[1];
    if (pair.outcome == kPairCancelled || state.quitSeen) {
      pair.outcome = kPairCancelled;
      run.cancelled = true;
    }
  }
}

void Now(SYSTEMTIME& time) { GetLocalTime(&time); }

}  // namespace

RunResult RunBackup(Application& app, BackupJob& job) {
  UiWindow& main = app.mainWindow;
  RunnerState state(app, job);
  state.quiet = app.runMode == kQuiet;
  ProgressWindow& progress = state.progress;
  RunRecord run;
  Now(run.started);
  run.jobFile = app.currentSettingsPath.CStr() ? app.currentSettingsPath.CStr() : L"";
  run.flags = job.flags;
  run.skipAttributes = job.skipAttributes;
  run.versionDays = job.versionDays;
  run.deletionGuard = job.deletionGuard;
  run.runMode = app.runMode;
  run.scheduled = app.scheduledRun;
  run.exclude = job.exclusions.Text();
  run.ignoredPatterns = job.exclusions.Malformed();
  job.runStart = run.started;
  ResumeJob(job);
  if (!BuildProgressWindow(app, job, progress)) {
    if (app.runMode != kInteractive) app.exitCode = kExitCancelled;
    return RunResult::kCancelled;
  }
  const int list = job.pairListControl;
  run.rowCount = static_cast<int>(main.SendToControl(list, LVM_GETITEMCOUNT, 0, 0));
  const int count = run.rowCount;
  RunResult result = RunResult::kNoRows;
  WakeTicker ticker;
  // Joined before the window goes (and long before GDI+ shuts down): the
  // spinner draws with GDI+ on the window's picture.
  BusySpinner spinner;
  if (count > 0) ticker.Start(progress.window.handle);
  // The main window waits, disabled, while the run's window is up.
  std::optional<ModalScope> modal;
  if (count > 0 && !state.quiet) {
    ShowProgressWindow(progress);
    modal.emplace(progress.window);
    StartSpinner(progress, spinner);
  }

  RunCheckedRows(state, run);

  int action = static_cast<int>(CompletionAction::kDoNothing);
  // A cancel answered after the work was done finishes the run, but the
  // user who asked to stop is not then logged off or shut down.
  if (count > 0 && !run.cancelled && !state.quiet && !state.cancelAfterPass)
    action = ChosenAction(state);
  spinner.Stop();
  ticker.Stop();
  modal.reset();
  progress.window.Destroy();
  job.progressBar = nullptr;
  ResumeJob(job);  // the next run starts unpaused

  Now(run.ended);
  const std::wstring logPath = RunLogPath(app.defaultSettingsPath.CStr());
  // A log that cannot be written never stops or fails the run.
  const bool logWritten = AppendToRunLog(logPath.c_str(), FormatRunReport(run));
  const bool incomplete = SkippedPairs(run) > 0 || FailedItems(run) > 0;
  if (app.runMode != kInteractive)
    app.exitCode = run.cancelled ? kExitCancelled : incomplete ? kExitIncomplete : kExitAllDone;
  if (count > 0) {
    if (run.cancelled) {
      result = RunResult::kCancelled;
    } else {
      if (incomplete && app.runMode == kInteractive &&
          action == static_cast<int>(CompletionAction::kDoNothing) && !state.quitSeen)
        ShowEndMessage(app, run, logPath, logWritten);
      // Chosen while the list was open at the end: the save question has
      // not been asked yet, and Cancel keeps the program open.
      if (EndsProgram(action) && app.runMode == kInteractive && app.confirmLeave &&
          !app.confirmLeave())
        action = static_cast<int>(CompletionAction::kDoNothing);
      result = PerformCompletionAction(action, app.osVersion);
    }
  }
  if (state.quitSeen) PostQuitMessage(static_cast<int>(state.quitCode));
  return result;
}
