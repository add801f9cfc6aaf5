// Makes sure a folder exists, creating every missing parent on the way.
#pragma once

#include <windows.h>

#include "base/wide_string.h"

// True only when a folder (not a file) of that name exists at the end.
bool CreateDirectoryTree(const wchar_t* path);

bool PathIsFolder(const wchar_t* path);
bool PathExists(const wchar_t* path);
// The absolute form of a path, relative to the current folder and drive, with
// "." and ".." resolved; false for an empty or unusable path.
bool FullPathOf(const wchar_t* path, WideString& full);
