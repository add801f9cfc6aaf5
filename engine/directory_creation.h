// Makes sure a folder exists, creating every missing parent on the way.
#pragma once

#include <windows.h>

// True only when a folder (not a file) of that name exists at the end.
bool CreateDirectoryTree(const wchar_t* path);
