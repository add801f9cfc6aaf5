// The dialog that creates or changes one folder pair of the main window's
// list, and the folder picker its Browse buttons open.
#pragma once

#include <windows.h>

#include "base/wide_string.h"

class Application;

// Modes of FolderPairDialog besides a row number (0 or more: edit that row).
enum FolderPairMode : int {
  kNewPair = -1,      // "Add folder pair"
  kDroppedPair = -2,  // something dropped on the list; the dropped text comes along
};

// Runs the dialog on the main window's event loop. True when OK was accepted
// and the list changed; false on Cancel, a close, or the end of the loop.
bool FolderPairDialog(Application& app, int list, int mode, const wchar_t* dropped = nullptr);

// Lets the user pick a folder under the title, starting in initial (may be
// empty); no name is proposed. On OK result holds the folder (trailing
// backslashes removed, a drive as its root). False when the user cancelled.
bool BrowseForFolder(const wchar_t* initial, HWND owner, WideString& result, const wchar_t* title);

// --- The rules the dialog applies, open to tests ----------------------------

// The destination proposed for a source under a destination base: the base,
// a backslash and the source folder's name; a drive root ("D:\") has no name
// of its own and is proposed the base itself. Empty when that would be the
// source itself, hold it or lie inside it.
WideString ProposeDestination(const wchar_t* base, const wchar_t* source);
// The first validation message for the two texts (trailing backslashes
// already removed), or null when they are acceptable: what the runner would
// refuse, with its reason. Compares normalised full paths, so other spellings
// of one folder do not slip through.
const wchar_t* FolderPairProblem(const wchar_t* source, const wchar_t* destination);
// The same on the dialog's texts, which become the folders as the row keeps
// them and the runner reads them ("/", "." and ".." resolved, no long prefix);
// the first message, or null when the pair is accepted.
const wchar_t* NormalizeFolderPair(WideString& source, WideString& destination);
