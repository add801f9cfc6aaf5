// Starting programs, waiting for them and opening documents and addresses
// through the shell. Nothing here shows a message: failures are results.
#pragma once

#include <windows.h>

#include <cstdint>

#include "base/wide_string.h"
#include "engine/pending_messages.h"  // PumpMessages: the one message pump

// Bits of StartProcess and RunProcess.
enum ProcessStartFlags : uint32_t {
  kWaitForExit = 0x01,      // RunProcess waits and answers the exit code
  kNoFsRedirection = 0x02,  // WOW64 file-system redirection off around the start
};

// What RunProcess answers when the program could not be started and the
// caller waited for it.
inline constexpr int64_t kStartFailed = -1;

// The answer of IsWow64Process; false where the platform lacks it.
bool IsWow64(HANDLE process);

// Starts a program; the caller owns and closes the process handle. An empty
// command line or folder is passed as none. applicationName, when given, is
// the exact program file to start: no search, no guessing from the command
// line. Null on failure, also for a command line beyond the platform's limit.
HANDLE StartProcess(const wchar_t* commandLine, const wchar_t* folder, int showCommand,
                    uint32_t flags, const wchar_t* applicationName = nullptr);
// Without kWaitForExit: the new process's id, or 0. With it: its exit code
// (window messages of the calling thread are handled meanwhile), or
// kStartFailed when it did not start.
int64_t RunProcess(const wchar_t* commandLine, const wchar_t* folder, int showCommand,
                   uint32_t flags);
// Opens a file, folder or address as the shell would on a double click. The
// id of the process the shell started; 1 when it started none (the document
// went to a running program); 0 on failure.
DWORD ShellOpen(const wchar_t* target, const wchar_t* parameters = nullptr);
// Starts a command line whose program part may be unquoted and incomplete
// (see SplitCommandLine), with the program's folder as current folder,
// without waiting. The process id, or 0.
DWORD LaunchCommandLine(const wchar_t* commandLine, int showCommand);
