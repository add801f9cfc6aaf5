// Writing a line to the standard output or error of a program; a GUI program,
// which on Windows has no console of its own, borrows the parent's console
// when there is one.
#pragma once

#include <windows.h>

// which: STD_OUTPUT_HANDLE or STD_ERROR_HANDLE.
void WriteStandardLine(DWORD which, const wchar_t* text);
// A line on the standard error.
void WriteConsoleLine(const wchar_t* text);
