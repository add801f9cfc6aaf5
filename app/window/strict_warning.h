// The confirmation asked before a Strict run, which deletes from the
// destination whatever the source lacks.
#pragma once

#include <vector>

#include "app/window/run_preview.h"

class Application;

// True to go on with the Strict run. Unattended runs, and users who chose
// "Don't ask again", are not asked. The warning says how many files the run
// of pairs with the options would delete, and its "Preview" button shows the
// run item by item.
bool ConfirmStrictBackup(Application& app, const std::vector<PreviewPair>& pairs,
                         const BackupJob& options);
