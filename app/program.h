// What the program does once the Application exists: read the command line and
// hand over to the main window.
#pragma once

#include "app/application.h"

int RunProgram(Application& app, const wchar_t* commandLine, int showCommand);
