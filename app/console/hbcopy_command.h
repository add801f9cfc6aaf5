// The console front end of the engine: one folder pair, one mode, run through
// the same passes as a run from the main window.
//   hbcopy MODE SOURCE DESTINATION [/update] [/skiphidden] [/skipsystem] [/threads:N]
//          [/exclude:"PATTERN;PATTERN..."] [/versions[:DAYS]] [/guard:P] [/preview]
#pragma once

#include <cstdint>

#include "base/wide_string.h"
#include "jobfile/job_settings.h"

enum HbcopyExit : int {
  kHbcopyDone = 0,          // the passes ran and no item failed
  kHbcopyStopped = 1,       // cancelled (Ctrl+C) or a pass could not start; wins over failures
  kHbcopyBadArguments = 2,  // usage line printed (also for overlapping folders)
  kHbcopyFolders = 3,       // the folder to read is missing or the one to write not creatable
  kHbcopyItemsFailed = 4,   // finished, but items failed (or a folder vanished midway)
  kHbcopyGuardStopped = 5,  // the deletion guard stopped the deletion pass; nothing was deleted
};

struct HbcopyArguments {
  // The mode and options as a job file would hold them: a switch left out is
  // an option off (the update method and the skip mask too, unlike a job
  // file without the keys).
  JobSettings settings = NoOptions();
  // The same mode and options as the engine's bits, set from settings.
  uint32_t flags = 0;  // BackupMode bits
  uint32_t skipAttributes = 0;
  bool preview = false;  // /preview: tell what the run would do, change nothing
  WideString source;     // full paths
  WideString destination;

  static JobSettings NoOptions();
};

// argv[0] is the program; false for anything but a mode, two folders and the
// known switches (any case, "/" or "-").
bool ParseHbcopyArguments(int argc, const wchar_t* const* argv, HbcopyArguments& arguments);
// The whole program: parses, runs, prints the counters, a summary line per
// pass and each failed item after it; answers the exit code.
int RunHbcopy(int argc, const wchar_t* const* argv);
