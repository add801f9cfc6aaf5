// The privileges the program works with: backup, restore, ownership,
// security, shutdown and the others of its list.
#pragma once

#include <windows.h>

#include <vector>

// The token's previous privilege state, as AdjustTokenPrivileges reports it
// (a TOKEN_PRIVILEGES record); empty when nothing was adjusted.
using PrivilegeState = std::vector<BYTE>;

// Enables those of the program's privileges that the process token holds; a
// privilege the system does not know is left out. Returns the previous state.
PrivilegeState EnableBackupPrivileges();
