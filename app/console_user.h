// The user of the active console session: the default settings file is named
// after them, and processes run for them use their token.
#pragma once

#include "base/owner.h"
#include "base/wide_string.h"

// Fills name with the user of the active console session (empty when there is
// none) and returns a token of one of that user's processes in that session,
// or no handle.
HandleHolder GetConsoleUserName(WideString& name);
