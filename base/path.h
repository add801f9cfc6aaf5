// In-place operations on paths held in WideStrings ("\" is the only separator).
// Each changes the string it is given and returns it.
#pragma once

#include "base/wide_string.h"

inline constexpr wchar_t kLongPathPrefix[] = L"\\\\?\\";

WideString& TrimTrailingBackslashes(WideString& path);
// Prefixes drive paths with "\\?\" so that the file calls accept them beyond the
// classic length limit; network and already prefixed paths stay as they are.
WideString& AddLongPathPrefix(WideString& path);
WideString& ParentFolder(WideString& path, bool keepSeparator);
WideString& FileNamePart(WideString& path);
WideString& ExtensionPart(WideString& path);
WideString& JoinPath(WideString& path, const wchar_t* folder, const wchar_t* name);
