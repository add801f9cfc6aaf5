// The main window: the folder-pair list, the backup modes and options, the
// file commands and "Start backup". It owns the application's event loop.
#pragma once

#include <windows.h>

#include "base/wide_string.h"

class Application;

// Builds the main window, loads the settings file and runs the event loop
// until the window closes (interactive) or the run is over (unattended).
// Returns the process's exit code (Application::exitCode).
int RunMainWindow(Application& app, HINSTANCE instance, const wchar_t* commandLine,
                  int showCommand);

// The arguments the installed copy is started with when it takes over after
// Settings -> Install: the job open now, so that the user goes on where they
// were. The default job needs none: the installed copy opens its own, which
// the installation copied from this one.
WideString HandOverArguments(Application& app);
