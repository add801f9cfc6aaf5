// Reads the program's command line: run mode, settings file, "/Uninstall",
// "/Schedule:" (which schedules the job and ends the program).
#pragma once

#include "app/application.h"

// What "/Uninstall" runs: the uninstaller (Application::RunUninstall), unless
// a test puts something else here. With none, "/Uninstall" still ends the
// process, and says that nothing was uninstalled.
using UninstallHandler = void (*)(Application& app);
void SetUninstallHandler(UninstallHandler handler);
UninstallHandler DefaultUninstallHandler();

// True to go on to the main window, false when the uninstaller ran or a
// schedule was applied (its exit code in app.exitCode) and the process is to
// end.
bool ParseCommandLine(Application& app, const wchar_t* commandLine);

// True when the argument ends in ".hbak" (any case), existing or not.
bool NamesSettingsFile(const wchar_t* argument);
// True when the argument names an existing file or folder whose name ends in
// ".hbak" (any case).
bool IsSettingsFileArgument(const wchar_t* argument);
