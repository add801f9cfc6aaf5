// Starts one of the built programs (next to the test executable) and collects
// what it writes to its standard output and error.
#pragma once

#include <windows.h>

#include <string>

struct ChildResult {
  bool started = false;
  unsigned long exitCode = 9999;
  std::string output;  // standard output, as written (UTF-8)
  std::string errors;  // standard error
};

// Runs program (a file name in the test executable's folder) with the given
// argument text, in the given folder (empty: the test's own), and waits at most
// timeoutMs for it to end.
// The full path of a program in the test executable's folder.
std::wstring SiblingProgramPath(const std::wstring& program);
// Runs the program at that full path, otherwise like RunSiblingProgram.
ChildResult RunProgramAt(const std::wstring& path, const std::wstring& arguments,
                         const std::wstring& folder = L"", unsigned long timeoutMs = 120000);
ChildResult RunSiblingProgram(const std::wstring& program, const std::wstring& arguments,
                              const std::wstring& folder = L"", unsigned long timeoutMs = 120000);

// Runs program (as above) through the host system's shell, so that the
// shell can first limit the process: shellBefore is shell text put before
// the start, such as "ulimit -f 1024; trap '' XFSZ;", and wrapper a command
// the start goes through, such as "setpriv --inh-caps=-all ...". With a
// prefix folder of its own (a host path, or empty for the test's), the
// child has its own wine server. Only under Wine; whyNot says otherwise.
struct HostChildResult {
  ChildResult result;
  std::string whyNot;
};
HostChildResult RunSiblingOnHost(const std::wstring& program, const std::wstring& arguments,
                                 const std::wstring& shellBefore, const std::wstring& wrapper,
                                 const std::wstring& ownPrefix, const std::wstring& scratchFolder,
                                 unsigned long timeoutMs = 120000);
// The same for the program at that full path.
HostChildResult RunProgramAtOnHost(const std::wstring& path, const std::wstring& arguments,
                                   const std::wstring& shellBefore, const std::wstring& wrapper,
                                   const std::wstring& ownPrefix, const std::wstring& scratchFolder,
                                   unsigned long timeoutMs = 120000);
// A running sibling program, for tests that must act while it runs; the
// caller closes the handle.
HANDLE StartSiblingProgram(const std::wstring& program, const std::wstring& arguments);
