// Looking at and stopping other processes.
#pragma once

#include <windows.h>

#include "base/wide_string.h"

// The full path of a process's program file.
bool GetProcessImagePath(DWORD processId, WideString& path);
// Native forms to Win32 paths: "\SystemRoot\..." below the Windows folder,
// "\??\C:\..." as "C:\...". Other paths stay as they are.
void NormalizeImagePath(WideString& path);
// Stops the process, by terminating it and, when that does not suffice, its
// threads; true when it is gone afterwards. Works through one handle, so that
// a process that ended meanwhile cannot be confused with a new one of the same
// id; never stops the calling process or the system process.
bool KillProcess(DWORD processId);
