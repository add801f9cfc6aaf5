// Starts one of the built programs (next to the test executable) and collects
// what it writes to its standard output and error.
#pragma once

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
