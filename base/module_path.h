// The full path of a loaded module (the program itself by default), however
// long it is.
#pragma once

#include <windows.h>

#include "base/wide_string.h"

// Empty (buf null) when the path cannot be read.
WideString ModulePath(HMODULE module = nullptr);
