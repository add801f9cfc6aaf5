// Turning a command line whose program part may be unquoted, incomplete or
// written with environment variables into the program to start and its
// arguments, by probing the file system, the search path and the App Paths
// registrations.
#pragma once

#include "base/wide_string.h"

// Expands %NAME% references; the text stays as it was when that fails.
bool ExpandEnvironment(WideString& text);
// A bare program name (no folder) to a full path: first the search path, then
// the App Paths registration of the name. The name is unchanged on failure.
bool FindProgramFile(WideString& name);
// Does the first length characters of the command line name an existing
// program? Then program holds it (quoted when it has blanks), the command line
// is rewritten as program + the remaining arguments, and an empty folder
// becomes the program's folder.
bool ResolveCommandProgram(WideString& commandLine, WideString& program, WideString& folder,
                           int32_t length);
// Tries the line up to its second double quote, then shorter and shorter
// parts that end before a blank, counted from the end of the line.
bool SplitCommandLine(WideString& commandLine, WideString& program, WideString& folder);
