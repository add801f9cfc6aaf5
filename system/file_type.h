// The ".hbak" file type: the program opens settings files from Explorer.
#pragma once

// Writes the file type machine-wide with the open command (a REG_EXPAND_SZ
// when it holds "%" references besides "%1"), removes the current user's
// overrides and makes it the user's choice. True when the three machine keys
// were written.
bool RegisterFileType(const wchar_t* openCommand);
// Removes the ".hbak" and "HarborlineFile" keys.
void UnregisterFileType();
// Whether ".hbak" files belong to the program.
bool IsFileTypeRegistered();
