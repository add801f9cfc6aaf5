// In-place operations on paths held in WideStrings ("\" is the only separator).
// Each changes the string it is given and returns it.
#pragma once

#include <windows.h>

#include "base/wide_string.h"

inline constexpr wchar_t kLongPathPrefix[] = L"\\\\?\\";

WideString& TrimTrailingBackslashes(WideString& path);
// A folder as the user reads it: trailing backslashes removed, except that a
// drive is shown as its root, "X:\" ("X:" alone would read as the current
// folder on X, which is not what the program takes it for).
WideString& TrimFolderText(WideString& path);
// Prefixes drive paths with "\\?\" so that the file calls accept them beyond the
// classic length limit; network and already prefixed paths stay as they are.
// A bare drive becomes its root, "\\?\X:\": "\\?\X:" names the volume device,
// not the folder at its top.
WideString& AddLongPathPrefix(WideString& path);
// Drops "\\?\" and turns "\\?\UNC\server" back into "\\server", so that the
// text is one that a user knows, a link can store and that compares with
// ordinary paths.
WideString& DropLongPathPrefix(WideString& path);
// A folder as every pair check and walker takes it: "/" read as "\", the long
// prefix dropped, "." and ".." resolved and doubled separators dropped below
// the root (".." never climbs above "X:\" or "\\server\share"), trailing
// separators removed, except that a drive is always its root: "X:", "X:\",
// "\\?\X:" all become "X:\" (a bare "X:" would otherwise be read as the
// current folder on X, wherever that happens to be). The one normaliser of
// typed and stored folders: the long prefix that the file calls add later
// would make "." and ".." plain names. ok = the text is a full
// path ("X:\..." or "\\server\share..."); empty, relative and drive-relative
// ("X:name", "\name") texts fail.
WideString& NormalizeFolderPath(WideString& path);
// "X:\", with or without the long prefix.
bool IsDriveRoot(const wchar_t* path);
WideString& ParentFolder(WideString& path, bool keepSeparator);
WideString& FileNamePart(WideString& path);
WideString& ExtensionPart(WideString& path);
// folder + "\" + name; a folder that already ends in "\" (a drive root) gets
// no second one.
WideString& JoinPath(WideString& path, const wchar_t* folder, const wchar_t* name);
// The absolute form of a path, relative to the current folder and drive, with
// "." and ".." resolved; false for an empty or unusable path.
bool FullPathOf(const wchar_t* path, WideString& full);

// The normalised path of an open item, with every link, short name and
// letter case resolved, in the drive-letter form unless another form
// (VOLUME_NAME_NT) is asked for; false where the platform cannot tell.
bool FinalPathOf(HANDLE handle, WideString& path, DWORD form = 0);
