#include "app/runner/worker_wait.h"

#include "app/application.h"
#include "app/install/shell_links.h"
#include "app/runner/completion_action.h"
#include "engine/backup_job.h"
#include "ui/message_box.h"

namespace {

// How often a wait without events looks at the worker again.
constexpr DWORD kLookInterval = 20;

bool Running(HANDLE thread) { return WaitForSingleObject(thread, 0) == WAIT_TIMEOUT; }

UiWindow& EventsOf(RunnerState& state) { return *state.progress.window.events; }

void NoteQuit(RunnerState& state) {
  state.quitSeen = true;
  state.quitCode = EventsOf(state).lastMessage.wParam;
}

// Hands every queued message to its window without waiting. A quit is noted,
// not acted on; answers whether a close request came by.
bool PumpPending(RunnerState& state) {
  UiWindow& events = EventsOf(state);
  bool closeRequested = false;
  MSG peeked;
  while (!state.quitSeen && PeekMessageW(&peeked, nullptr, 0, 0, PM_NOREMOVE)) {
    const int code = PumpEvent(events, PumpMode::Poll);
    if (code == UiEventCode::Quit)
      NoteQuit(state);
    else if (code == UiEventCode::Close)
      closeRequested = true;
  }
  return closeRequested;
}

// Sets the flag and waits for the worker to see it, still serving the
// windows; a worker that does not stop within the bound is terminated.
bool StopWorker(RunnerState& state, HANDLE thread) {
  BackupJob& job = state.job;
  job.cancelRequested = 1;
  // A paused worker (by the Pause button or by the question) must wake to
  // see the flag.
  ResumeJob(job);
  const ULONGLONG deadline = GetTickCount64() + kCancelBoundMs;
  while (Running(thread)) {
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) {
      // Last resort: its open handles and a scratch file stay behind.
      TerminateThread(thread, 0);
      WaitForSingleObject(thread, kCancelBoundMs);
      break;
    }
    const DWORD left = static_cast<DWORD>(deadline - now);
    if (state.quitSeen) {
      WaitForSingleObject(thread, left);
    } else {
      PumpPending(state);
      MsgWaitForMultipleObjects(1, &thread, FALSE, left < kLookInterval ? left : kLookInterval,
                                QS_ALLINPUT);
    }
  }
  return false;
}

// The cancel question; true when the run is to end. The copy stands still
// while the question is open: what the user wants to stop must not go on
// behind it.
bool ConfirmCancel(RunnerState& state) {
  if (state.quiet) return true;
  ProgressWindow& progress = state.progress;
  ShowWindow(progress.window.handle, SW_HIDE);
  if (!state.paused) PauseJob(state.job);
  const bool restore = (state.job.flags & BackupMode::Restore) != 0;
  const MessageBoxAnswer answer =
      ShowMessageBox(progress.window, restore ? kCancelRestoreQuestion : kCancelBackupQuestion,
                     MessageBoxType::YesNo, kCancelQuestionHeight, kCancelQuestionWidth);
  if (answer == MessageBoxAnswer::LoopEnded) NoteQuit(state);
  if (answer == MessageBoxAnswer::Yes || answer == MessageBoxAnswer::LoopEnded) return true;
  if (!state.paused) ResumeJob(state.job);
  ShowProgressWindow(progress);
  return false;
}

void TogglePause(RunnerState& state) {
  ProgressWindow& progress = state.progress;
  UiWindow& w = progress.window;
  if (!state.paused) {
    PauseJob(state.job);
    state.savedStatus = w.GetControlText(progress.status);
    w.SetControlText(progress.status, kPausedStatus);
  } else {
    ResumeJob(state.job);
    w.SetControlText(progress.status, state.savedStatus.CStr() ? state.savedStatus.CStr() : L"");
  }
  state.paused = !state.paused;
  ShowPauseButtonAs(progress, state.paused);
}

// A choice that ends the program asks about the job's unsaved edits now,
// while the user is there, not when the run is over; Cancel takes the choice
// back.
void AskBeforeAnEndingChoice(RunnerState& state) {
  ProgressWindow& progress = state.progress;
  if (!EndsProgram(SelectedCompletionAction(progress)) || !state.app.confirmLeave) return;
  if (!state.app.confirmLeave())
    SelectCompletionAction(progress, static_cast<int>(CompletionAction::kDoNothing));
  ShowProgressWindow(progress);
}

// Quiet: no window, no questions; the messages are still served, or the
// wake-up ticks of hours of copying would fill the queue.
bool WaitQuietly(RunnerState& state, HANDLE thread) {
  while (Running(thread)) {
    const bool closeRequested = PumpPending(state);
    if (state.quitSeen || closeRequested) return StopWorker(state, thread);
    MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT);
  }
  return true;
}

}  // namespace

void SetStatus(RunnerState& state, const wchar_t* text) {
  if (state.paused)
    state.savedStatus.Assign(text);
  else
    state.progress.window.SetControlText(state.progress.status, text);
}

bool WaitForWorker(RunnerState& state, HANDLE thread) {
  if (!IsValidHandle(thread)) return true;
  if (state.quitSeen) return StopWorker(state, thread);
  if (state.quiet) return WaitQuietly(state, thread);
  ProgressWindow& progress = state.progress;
  UiWindow& events = EventsOf(state);
  UiEvent event;
  while (Running(thread)) {
    if (!NextShellEvent(state.app, events, event)) {
      NoteQuit(state);
      return StopWorker(state, thread);
    }
    // A close request of any window (the main window's close button among
    // them) asks, like the Cancel button.
    if (event.Is(UiEventCode::Close) || event.IsCommand(progress.window, progress.cancel)) {
      if (!ConfirmCancel(state)) continue;
      // The pass ended while the question was open (it had no stopping
      // point left): it is done, and only what would come after it is
      // cancelled.
      if (!Running(thread) && !state.quitSeen) {
        state.cancelAfterPass = true;
        ResumeJob(state.job);
        return true;
      }
      return StopWorker(state, thread);
    } else if (event.IsCommand(progress.window, progress.pause)) {
      TogglePause(state);
    } else if (event.Is(UiEventCode::SelectionChanged) && event.IsFrom(progress.window) &&
               event.param1 == progress.completionList) {
      AskBeforeAnEndingChoice(state);
    } else {
      RefreshBar(progress, state.job.progress.load(std::memory_order_relaxed));
    }
  }
  return true;
}
