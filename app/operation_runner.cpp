#include "app/operation_runner.h"

#include <commctrl.h>

#include "app/application.h"
#include "app/completion_action.h"
#include "app/main_window.h"
#include "app/worker_wait.h"
#include "base/path.h"
#include "engine/handle_holder.h"
#include "engine/pair_passes.h"
#include "ui/spinner.h"

namespace {

constexpr wchar_t kEnumeratingStatus[] = L"Enumerating the items to copy, please wait...";
constexpr wchar_t kCopyingBackStatus[] = L"Copying files from destination to source, ";
constexpr wchar_t kCopyingStatus[] = L"Copying files from source to destination, ";
constexpr wchar_t kSecondPassStatus[] = L"Synchronizing source and destination, ";

constexpr int kSpinnerSize = 48;
constexpr uint32_t kSpinnerColour = 0xFF000000;
constexpr int kSpinnerSpeed = 80;
// While the action list is open its choice is not made yet.
constexpr DWORD kDropDownLook = 3;

// The row being run, as the window shows it.
struct RowRun {
  RunnerState* state = nullptr;
  WideString source;
  WideString destination;
  WideString pairText;  // "folder pair i of n..."
};

WorkerOutcome RunWorkerInWindow(void* context, WorkerRoutine routine, BackupJob& job) {
  RowRun& row = *static_cast<RowRun*>(context);
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
  } else {
    status.AssignConcat(kSecondPassStatus, row.pairText.CStr());
  }
  SetStatus(state, status.CStr());
}

bool RowChecked(UiWindow& main, int list, int row) {
  const LRESULT state =
      main.SendToControl(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK);
  return ((state & LVIS_STATEIMAGEMASK) >> 12) == 2;
}

void StartSpinner(ProgressWindow& progress) {
  SpinnerRecord* record = new SpinnerRecord;
  record->window = progress.window.ControlHandle(progress.spinnerHost);
  record->size = kSpinnerSize;
  record->colour = kSpinnerColour;
  record->speed = kSpinnerSpeed;
  // The spinner ends with its window; nothing waits for it.
  HandleHolder spinner(CreateThread(nullptr, 0, SpinnerThread, record, 0, nullptr));
  if (!spinner.Valid()) delete record;
}

// The user may still be choosing while the run ends.
int ChosenAction(RunnerState& state) {
  ProgressWindow& progress = state.progress;
  UiWindow& events = *progress.window.events;
  while (progress.window.SendToControl(progress.completionList, CB_GETDROPPEDSTATE, 0, 0)) {
    if (!PumpEvent(events, 1)) Sleep(kDropDownLook);
    if (events.eventCode == Quit) {
      state.quitSeen = true;
      state.quitCode = events.lastMessage.wParam;
      return static_cast<int>(CompletionAction::kDoNothing);
    }
  }
  return SelectedCompletionAction(progress);
}

}  // namespace

RunResult RunBackup(Application& app, BackupJob& job) {
  UiWindow& main = app.mainWindow;
  RunnerState state(app, job);
  state.quiet = app.runMode == kQuiet;
  ProgressWindow& progress = state.progress;
  ResumeJob(job);
  if (!BuildProgressWindow(app, job, progress)) {
    if (app.runMode != kInteractive) app.exitCode = kExitCancelled;
    return RunResult::kCancelled;
  }
  const int list = job.pairListControl;
  const int count = static_cast<int>(main.SendToControl(list, LVM_GETITEMCOUNT, 0, 0));
  if (count <= 0) {
    progress.window.Destroy();
    job.progressBar = nullptr;
    return RunResult::kNoRows;
  }
  { HandleHolder ticker(CreateThread(nullptr, 0, WakeTicker, progress.window.handle, 0, nullptr)); }
  if (!state.quiet) {
    ShowProgressWindow(progress);
    StartSpinner(progress);
  }

  RowRun row;
  row.state = &state;
  PassHooks hooks;
  hooks.runWorker = RunWorkerInWindow;
  hooks.phaseChanged = ShowPhase;
  hooks.context = &row;
  bool cancelled = false;
  bool incomplete = false;
  for (int i = 0; i < count && !cancelled; ++i) {
    if (!RowChecked(main, list, i)) continue;
    row.source = main.GetRowText(list, i, kSourceColumn);
    row.destination = main.GetRowText(list, i, kDestinationColumn);
    if (!row.source.CStr() || !row.destination.CStr()) {
      incomplete = true;
      continue;
    }
    TrimTrailingBackslashes(row.source);
    TrimTrailingBackslashes(row.destination);
    WideString number, total;
    number.FromInt(i + 1);
    total.FromInt(count);
    row.pairText.AssignConcat(L"folder pair ", number.CStr(), L" of ", total.CStr(), L"...");
    const PairOutcome outcome =
        RunPairPasses(job, row.source.CStr(), row.destination.CStr(), hooks);
    if (outcome == kPairCancelled || state.quitSeen) {
      cancelled = true;
    } else if (outcome != kPairFinished) {
      incomplete = true;
    }
  }

  RunResult result = RunResult::kCancelled;
  if (!cancelled) {
    const int action =
        state.quiet ? static_cast<int>(CompletionAction::kDoNothing) : ChosenAction(state);
    result = PerformCompletionAction(action, app.osVersion);
  }
  progress.window.Destroy();
  job.progressBar = nullptr;
  ResumeJob(job);  // the next run starts unpaused
  if (app.runMode != kInteractive)
    app.exitCode = cancelled ? kExitCancelled : incomplete ? kExitIncomplete : kExitAllDone;
  if (state.quitSeen) PostQuitMessage(static_cast<int>(state.quitCode));
  return result;
}
