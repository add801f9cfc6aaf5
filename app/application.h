// The single application object: what start-up learns about the process and
// the user, and the state that lives from start to exit.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>

#include "base/wide_string.h"
#include "ui/ui_window.h"

enum RunMode : uint8_t { kInteractive = 0, kPassive = 1, kQuiet = 3 };

class Application {
 public:
  // Start-up, in this order: version, privileges, program path, console user,
  // default settings path (each learnt by its own unit of app/). Never fails:
  // whatever cannot be learnt falls back silently.
  Application();

  double osVersion = 0.0;
  uint8_t runMode = kInteractive;
  int minimizeButtonId = -1;
  int closeButtonId = -1;
  int helpLinkId = -1;
  int updateLinkId = -1;
  WideString programPath;
  WideString defaultSettingsPath;
  WideString currentSettingsPath;
  WideString consoleUserName;
  // An unattended start whose ".hbak" argument names no existing file runs
  // nothing: the argument, kept for the message.
  WideString missingSettingsFile;
  // The first argument that is neither a known switch nor names a ".hbak"
  // file: an unattended start runs nothing; an interactive one ignores it.
  WideString strayArgument;
  // Started by the job's scheduled task (its marker switch): the run report
  // names the run as such.
  bool scheduledRun = false;
  // "/Schedule:TEXT" given: the text after the colon. The program then
  // schedules the job and ends, without a window.
  bool scheduleRequested = false;
  WideString scheduleText;
  UiWindow mainWindow;
  // The one save question, for every way out of the program that the user
  // can still stop: asked when the open job has unsaved edits; true when the
  // program may end (nothing unsaved, saved, or the user chose not to save),
  // false when it stays. The main window plugs it in while its loop runs;
  // empty means there is nothing to ask.
  std::function<bool()> confirmLeave;
  // The install dialog of the main window's "  Settings" button, given the
  // program's own argument text and show command; true when the program must
  // end (an installed copy took over, or the main window was closed).
  bool RunInstallDialog(const wchar_t* commandLine, int showCommand);
  // The uninstaller: true when its first stage started the temporary copy;
  // after a confirmed removal it does not return.
  bool RunUninstall();

  // The process's exit code: unattended runs report their outcome through it
  // (set by the runner, and by start-up for a job file that does not exist).
  int exitCode = 0;
};

// Exit code of an unattended start that ran nothing because of its arguments:
// a job file that does not exist, cannot be read or is no job file, or an
// argument that is neither a switch nor a job file.
inline constexpr int kExitMissingSettingsFile = 3;
