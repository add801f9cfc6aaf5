// Starts one of the built programs (next to the test executable) and collects
// what it writes to its standard output and error.
#pragma once

#include <string>

struct ChildResult {
  bool started = false;
  unsigned long exitCode = 0;
  std::string output;  // standard output and error, as written (UTF-8)
};

// Runs program (a file name in the test executable's folder) with the given
// argument text and waits at most timeoutMs for it to end.
ChildResult RunSiblingProgram(const std::wstring& program, const std::wstring& arguments,
                              unsigned long timeoutMs = 60000);
