// Reading and writing one INI-format settings file through the platform's
// profile functions, with buffers sized from what the file really holds and
// files created in UTF-16LE so that every path keeps its characters.
#pragma once

#include <vector>

#include "base/wide_string.h"

// The full path of a settings file: the profile functions look for a bare or
// relative name in the Windows folder, the file calls in the current folder.
// Not ok when the path is empty or cannot be resolved.
WideString FullSettingsPath(const wchar_t* path);

// The whole value of a key (fallback when absent); never cut short. Not ok
// when it could not be read whole.
WideString ReadProfileText(const wchar_t* path, const wchar_t* section, const wchar_t* key,
                           const wchar_t* fallback);

// The whole section as "key=value" lines, each ending in a zero, the last
// followed by a second zero. Empty (just the zeros) for a missing section or
// file. False when the section could not be read whole.
bool ReadProfileSection(const wchar_t* path, const wchar_t* section, std::vector<wchar_t>& lines);

// Writes one key (a null value removes it), all or nothing, creating the file
// in UTF-16LE when it is missing (jobfile/profile_edits.h: every write of a
// settings file goes through ApplyProfileEdits).
bool WriteProfileText(const wchar_t* path, const wchar_t* section, const wchar_t* key,
                      const wchar_t* value);

// When the file is 8-bit text and one of the texts has characters its code
// page cannot hold, rewrites the file as UTF-16LE with the same content, so
// that the writes that follow do not turn those characters into "?".
// True when the file can take the texts (or is missing).
bool MakeFileHoldText(const wchar_t* path, const std::vector<const wchar_t*>& texts);

// Leading decimal digits as an unsigned number (0 when there are none);
// values too large for 32 bits read as the largest one.
uint32_t ReadUnsignedNumber(const wchar_t* text);
// Blanks skipped, an optional sign, then decimal digits up to the first other
// character; saturates instead of wrapping.
int64_t ReadSignedNumber(const wchar_t* text);
