// The names the engine gives its own items beside a file it replaces, and
// what a later run does with those that an interrupted run left behind.
//
//   partial copy:  "~hl" PPPPPPPP "-" C "-" MMMMMMMM ".tmp"
//   moved aside:   "~hl" PPPPPPPP "-" C "-" MMMMMMMM "~" original name
//   kept copy:     "~hl" PPPPPPPP "-" C "-" MMMMMMMM ".kept"
//
// P is the process id and C a counter (lower-case hexadecimal); M is a check
// mark computed from the rest of the name, so that a user's own file that
// merely looks like one of these is never taken for one: such a file is
// copied, and never removed, like any other.
#pragma once

#include "base/wide_string.h"
#include "engine/pass_report.h"

enum class ScratchKind {
  kNone,     // not a name this engine makes
  kPartial,  // a copy being written; only a complete one takes the final name
  kAside,    // an item moved out of the way, carrying its original name
  // A complete copy that could neither take its name nor carry it (the name
  // is too long): never removed, reported by every run that meets it.
  kKept,
};

// A new name in folder, never handed out before by this process.
bool MakePartialName(const wchar_t* folder, WideString& path);
// False when the original name is too long to be carried.
bool MakeAsideName(const wchar_t* folder, const wchar_t* originalName, WideString& path);
bool MakeKeptName(const wchar_t* folder, WideString& path);
// What a name is; for kAside, original (when given) receives the name the
// item had.
ScratchKind ParseScratchName(const wchar_t* name, WideString* original);
inline bool IsScratchFileName(const wchar_t* name) {
  return ParseScratchName(name, nullptr) != ScratchKind::kNone;
}

// Clears what an interrupted run of this program left in folder: partial
// copies are removed, items moved aside get their names back when the name
// is free. Each one cleared is counted (leftovers); one that cannot be is a
// failure (an item that cannot get its name back, or a kept copy:
// kLeftoverKept). Items of a run that is still going on (its process is
// alive) are left alone.
void ClearLeftovers(const wchar_t* folder, PassReport& report);
