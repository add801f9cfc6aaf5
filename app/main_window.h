// The main window: the folder-pair list, the backup modes and options, the
// file commands and "Start backup". It owns the application's event loop.
#pragma once

#include <windows.h>

class Application;

// Builds the main window, loads the settings file and runs the event loop
// until the window closes (interactive) or the run is over (unattended).
// Returns the process's exit code (Application::exitCode).
int RunMainWindow(Application& app, HINSTANCE instance, const wchar_t* commandLine,
                  int showCommand);
