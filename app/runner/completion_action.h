// What the progress window does once a run has finished: the choices of its
// action list, and the session and power calls they lead to. Those calls go
// through a seam: the program plugs in the system's calls at start, tests
// plug in a recorder, and with nothing plugged in they are not made at all,
// so that no test can ever log off, sleep or shut down the machine it runs on.
#pragma once

#include <windows.h>

#include "app/runner/backup_runner.h"

// The action list's entries, by index.
enum class CompletionAction : int {
  kDoNothing = 0,
  kCloseApplication = 1,
  kLogOff = 2,
  kSleep = 3,
  kHibernate = 4,
  kShutDown = 5,
  kRestart = 6,
};

// The list's text, split at the line breaks; index 0 is preselected.
inline constexpr wchar_t kCompletionActionItems[] =
    L"Do nothing\nClose application\nLog off\nSleep\nHibernate\nShut down\nRestart";

// From this version on, "Shut down" asks for a hybrid shutdown (fast start-up).
inline constexpr double kHybridShutdownVersion = 6.2;
inline constexpr UINT kHybridShutdownFlags = EWX_SHUTDOWN | 0x00400000;  // EWX_HYBRID_SHUTDOWN

// The choices after which the program ends (the session or the machine with
// it): the open job's unsaved edits must be answered for before them.
bool EndsProgram(int action);

struct PowerCalls {
  // ExitWindowsEx: log off, shut down, restart.
  void (*exitWindows)(UINT flags, DWORD reason) = nullptr;
  // SetSuspendState: sleep or hibernate.
  void (*suspend)(bool hibernate, bool force, bool disableWakeEvents) = nullptr;
};

// The system's own calls, for the program.
PowerCalls SystemPowerCalls();
void SetPowerCalls(const PowerCalls& calls);

// Performs the action (its results are not checked: the session or the
// machine is going away) and answers the run's result: the program closes
// after "Close application", log off, shut down and restart, and stays open
// after "Do nothing", sleep and hibernate.
RunResult PerformCompletionAction(int action, double osVersion);
