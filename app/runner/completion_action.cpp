#include "app/runner/completion_action.h"

#include <powrprof.h>

namespace {

PowerCalls g_calls;

void SystemExitWindows(UINT flags, DWORD reason) { ExitWindowsEx(flags, reason); }

void SystemSuspend(bool hibernate, bool force, bool disableWakeEvents) {
  SetSuspendState(hibernate, force, disableWakeEvents);
}

void EndSession(UINT flags) {
  if (g_calls.exitWindows) g_calls.exitWindows(flags, 0);
}

void Suspend(bool hibernate) {
  if (g_calls.suspend) g_calls.suspend(hibernate, false, false);  // wake events stay enabled
}

}  // namespace

bool EndsProgram(int action) {
  switch (static_cast<CompletionAction>(action)) {
    case CompletionAction::kCloseApplication:
    case CompletionAction::kLogOff:
    case CompletionAction::kShutDown:
    case CompletionAction::kRestart:
      return true;
    default:
      return false;
  }
}

PowerCalls SystemPowerCalls() {
  PowerCalls calls;
  calls.exitWindows = SystemExitWindows;
  calls.suspend = SystemSuspend;
  return calls;
}

void SetPowerCalls(const PowerCalls& calls) { g_calls = calls; }

RunResult PerformCompletionAction(int action, double osVersion) {
  switch (static_cast<CompletionAction>(action)) {
    case CompletionAction::kDoNothing:
      return RunResult::kFinished;
    case CompletionAction::kCloseApplication:
      return RunResult::kFinishedAndClose;
    case CompletionAction::kLogOff:
      EndSession(EWX_LOGOFF);
      return RunResult::kFinishedAndClose;
    case CompletionAction::kSleep:
      Suspend(false);
      return RunResult::kFinished;
    case CompletionAction::kHibernate:
      Suspend(true);
      return RunResult::kFinished;
    case CompletionAction::kShutDown:
      EndSession(osVersion < kHybridShutdownVersion ? EWX_SHUTDOWN : kHybridShutdownFlags);
      return RunResult::kFinishedAndClose;
    case CompletionAction::kRestart:
      EndSession(EWX_REBOOT);
      return RunResult::kFinishedAndClose;
  }
  return RunResult::kFinishedAndClose;
}
