// Writing a line to the standard error of a GUI program, which on Windows has
// no console of its own: the parent's console is borrowed when there is one.
#pragma once

void WriteConsoleLine(const wchar_t* text);
