// Looking at and stopping other processes.
#pragma once

#include <windows.h>

#include <vector>

#include "base/wide_string.h"

// The full path of a process's program file.
bool GetProcessImagePath(DWORD processId, WideString& path);
// The same for a process already open (with query rights).
bool ProcessImagePath(HANDLE process, WideString& path);
// Opens a process once for both checking its program and stopping it, so
// that what is stopped is what was checked: an id can name another process
// as soon as no handle holds the old one. canTerminate tells whether the
// handle may terminate; null when the process cannot even be checked.
HANDLE OpenProcessToCheck(DWORD processId, bool& canTerminate);
// The ids of the running processes; empty when the list cannot be read.
std::vector<DWORD> RunningProcessIds();
// Whether a process runs the program file (the calling one included).
bool ProgramIsRunning(const wchar_t* program);
// Native forms to Win32 paths: "\SystemRoot\..." below the Windows folder,
// "\??\C:\..." as "C:\...". Other paths stay as they are.
void NormalizeImagePath(WideString& path);
// Stops the process, by terminating it and, when that does not suffice, its
// threads; true when it is gone afterwards. Works through one handle, so that
// a process that ended meanwhile cannot be confused with a new one of the same
// id; never stops the calling process or the system process.
bool KillProcess(DWORD processId);
// The same through a handle opened by OpenProcessToCheck.
bool StopOpenProcess(HANDLE process, DWORD processId, bool canTerminate);
